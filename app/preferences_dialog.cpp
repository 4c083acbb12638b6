#include "app/preferences_dialog.h"

#include "dialogs/insert_field_dialog.h"

#include "app/document.h"
#include "data/data_access.h"
#include "foundation/dialog_runner.h"
#include "foundation/settings.h"
#include "platform/win/dialog.h"
#include "platform/win/profile.h"

#include <cstdio>
#include <string>

namespace {

constexpr char kIniWriteError[] = "Error writing to program initialization file";
constexpr char kPreferences[] = "Preferences";
constexpr char kDefaults[] = "Defaults";

enum : int { kFileNewFirst = 200, kFileNewLast = 204, kHorzScroll = 206, kVertScroll = 207, kListsFirst = 212,
             kListsLast = 214, kHelp = 300 };
enum : int { kAllowNew = 200, kAlwaysNew = 201, kSourceList = 202, kAllowRead = 203, kAlwaysRead = 204 };
constexpr WORD kPrefsHelp = 1033;
constexpr WORD kSourcePrefsHelp = 1077;

struct PreferencesState {
  CKmDoc* doc = nullptr;
  int fileNew = 0;
  int fieldLists = 0;
};

void CheckOne(HWND dialog, int first, int last, int chosen) {
  for (int id = first; id <= last; ++id) CheckDlgButton(dialog, id, id == chosen ? BST_CHECKED : BST_UNCHECKED);
}

int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// The layout view follows the scroll-bar switches at once.
void ApplyScrollBars(CKmDoc& doc) {
  if (!doc.m_bReportOpen) return;
  if (doc.m_pMainFrame != nullptr) doc.m_pMainFrame->m_wndRulerView.RepositionBars();
  doc.UpdateViewsByHint(107, nullptr);
}

bool OnPreferencesOk(HWND dialog, PreferencesState& s) {
  CKmDoc& doc = *s.doc;
  DocSettings& set = doc.m_settings;
  const bool listsChanged = s.fieldLists != set.fieldLists;
  if (!WriteIniInt(kPreferences, "FileNew", s.fileNew) || !WriteIniInt(kPreferences, "FieldLists", s.fieldLists)) {
    doc.ErrorBoxOwner(dialog, kIniWriteError);
    return false;
  }
  if (!WritePreferenceSwitch(dialog, kHorzScroll, "ScrBarHz", &set.scrBarHz)) return false;
  if (!WritePreferenceSwitch(dialog, kVertScroll, "ScrBarVt", &set.scrBarVt)) return false;
  set.fileNew = s.fileNew;
  set.fieldLists = s.fieldLists;
  // An open field palette shows the other wording from now on.
  if (listsChanged) NotifyInsertFieldDialog(-1);
  ApplyScrollBars(doc);
  return true;
}

struct SourcePrefsState {
  CKmDoc* doc = nullptr;
};

void SelectDefaultSource(HWND dialog, CKmDoc& doc) {
  SendDlgItemMessageA(dialog, kSourceList, CB_SETCURSEL,
                      static_cast<WPARAM>(SendDlgItemMessageA(dialog, kSourceList, CB_FINDSTRINGEXACT,
                                                              static_cast<WPARAM>(-1),
                                                              reinterpret_cast<LPARAM>(doc.m_settings.defaultDataSource))),
                      0);
}

LRESULT SourceCount(HWND dialog) { return SendDlgItemMessageA(dialog, kSourceList, CB_GETCOUNT, 0, 0); }

void OnSourcePrefsInit(HWND dialog, CKmDoc& doc) {
  doc.CenterDialogOnOwner(dialog);
  if (DataAccess* da = GetDataAccess(doc.m_pModel)) {
    if (da->InitDatabaseLibrary())
      while (const char* name = da->NextDataSourceName())
        SendDlgItemMessageA(dialog, kSourceList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  }
  const DocSettings& s = doc.m_settings;
  if (s.newReportAlwaysUseSameDS) SelectDefaultSource(dialog, doc);
  CheckDlgButton(dialog, kAlwaysNew, s.newReportAlwaysUseSameDS ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, kAllowNew, s.newReportAlwaysUseSameDS ? BST_UNCHECKED : BST_CHECKED);
  CheckDlgButton(dialog, kAlwaysRead, s.readReportAlwaysUseSameDS ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, kAllowRead, s.readReportAlwaysUseSameDS ? BST_UNCHECKED : BST_CHECKED);
  EnableWindow(GetDlgItem(dialog, kSourceList), s.newReportAlwaysUseSameDS ? TRUE : FALSE);
  if (s.newReportAlwaysUseSameDS && SourceCount(dialog) == 0) EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
}

void OnSourcePrefsOk(HWND dialog, CKmDoc& doc) {
  DocSettings& s = doc.m_settings;
  s.newReportAlwaysUseSameDS = IsDlgButtonChecked(dialog, kAlwaysNew) == BST_CHECKED ? 1 : 0;
  s.readReportAlwaysUseSameDS = IsDlgButtonChecked(dialog, kAlwaysRead) == BST_CHECKED ? 1 : 0;
  char name[32] = {};
  GetDlgItemTextA(dialog, kSourceList, name, sizeof name);
  std::snprintf(s.defaultDataSource, sizeof s.defaultDataSource, "%s", name);
  const std::string ini = SettingsIniPath();
  WritePrivateProfileStringA(kDefaults, "DefaultDataSource", s.defaultDataSource, ini.c_str());
  WritePrivateProfileStringA(kDefaults, "NewReportAlwaysUseSameDS", s.newReportAlwaysUseSameDS ? "1" : "0",
                             ini.c_str());
  WritePrivateProfileStringA(kDefaults, "ReadReportAlwaysUseSameDS", s.readReportAlwaysUseSameDS ? "1" : "0",
                             ini.c_str());
}

}  // namespace

int WritePreferenceSwitch(HWND dialog, int switchId, const char* key, int32_t* value) {
  const int v = IsDlgButtonChecked(dialog, switchId) == BST_CHECKED ? 1 : 0;
  if (WriteIniInt(kPreferences, key, v)) {
    *value = v;
    return 1;
  }
  if (KmDocBase* doc = GetActiveDocBase()) doc->ErrorBoxOwner(dialog, kIniWriteError);
  return 0;
}

INT_PTR PreferencesDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* s = reinterpret_cast<PreferencesState*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      s = reinterpret_cast<PreferencesState*>(lParam);
      const DocSettings& set = s->doc->m_settings;
      s->doc->CenterDialogOnOwner(dialog);
      s->fileNew = Clamp(set.fileNew, 0, 4);
      s->fieldLists = Clamp(set.fieldLists, 0, 2);
      CheckOne(dialog, kFileNewFirst, kFileNewLast, kFileNewFirst + s->fileNew);
      CheckOne(dialog, kListsFirst, kListsLast, kListsFirst + s->fieldLists);
      CheckDlgButton(dialog, kHorzScroll, set.scrBarHz ? BST_CHECKED : BST_UNCHECKED);
      CheckDlgButton(dialog, kVertScroll, set.scrBarVt ? BST_CHECKED : BST_UNCHECKED);
      return TRUE;
    }
    case WM_COMMAND: {
      if (s == nullptr) break;
      const int id = LOWORD(wParam);
      if (id >= kFileNewFirst && id <= kFileNewLast) {
        s->fileNew = id - kFileNewFirst;
        return TRUE;
      }
      if (id >= kListsFirst && id <= kListsLast) {
        s->fieldLists = id - kListsFirst;
        return TRUE;
      }
      switch (id) {
        case IDOK: {
          s->doc->SetWaitCursor(1);
          const bool ok = OnPreferencesOk(dialog, *s);
          s->doc->SetWaitCursor(0);
          if (ok) EndDialog(dialog, 0);
          return TRUE;
        }
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
        case kHelp:
          s->doc->ShowDialogHelp(dialog, kPrefsHelp);
          return TRUE;
      }
      break;
    }
  }
  return FALSE;
}

INT_PTR DataSourcePrefsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* s = reinterpret_cast<SourcePrefsState*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      OnSourcePrefsInit(dialog, *reinterpret_cast<SourcePrefsState*>(lParam)->doc);
      return TRUE;
    case WM_COMMAND: {
      if (s == nullptr) break;
      switch (LOWORD(wParam)) {
        case kAllowNew:
          SendDlgItemMessageA(dialog, kSourceList, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
          EnableWindow(GetDlgItem(dialog, kSourceList), FALSE);
          EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
          return TRUE;
        case kAlwaysNew: {
          char text[32] = {};
          GetDlgItemTextA(dialog, kSourceList, text, sizeof text);
          if (*text == '\0') SelectDefaultSource(dialog, *s->doc);
          EnableWindow(GetDlgItem(dialog, IDOK), SourceCount(dialog) > 0 ? TRUE : FALSE);
          EnableWindow(GetDlgItem(dialog, kSourceList), TRUE);
          return TRUE;
        }
        case kSourceList:
          if (HIWORD(wParam) == CBN_SELCHANGE) EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
          return TRUE;
        case IDOK:
          OnSourcePrefsOk(dialog, *s->doc);
          EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
        case kHelp:
          s->doc->ShowDialogHelp(dialog, kSourcePrefsHelp);
          return TRUE;
      }
      break;
    }
  }
  return FALSE;
}

INT_PTR EditPreferences(CKmDoc& doc) {
  PreferencesState s;
  s.doc = &doc;
  return doc.DoModalDialog(doc.GetOwnerWindow(), PreferencesDlgProc, "DKMPref", reinterpret_cast<LPARAM>(&s));
}

INT_PTR EditDataSourcePreferences(CKmDoc& doc) {
  SourcePrefsState s;
  s.doc = &doc;
  HWND owner = GetActiveWindow();
  return doc.DoModalDialog(owner ? owner : doc.GetOwnerWindow(), DataSourcePrefsDlgProc, "DLogPrefs",
                           reinterpret_cast<LPARAM>(&s));
}
