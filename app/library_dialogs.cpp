#include "app/library_dialogs.h"

#include "app/document.h"
#include "app/file_checks.h"
#include "app/file_dialogs.h"
#include "app/save_report.h"
#include "data/data_access.h"
#include "expr/file_date_text.h"
#include "expr/udf_library.h"
#include "files/member_source.h"
#include "files/report_io.h"
#include "foundation/heap_strings.h"
#include "foundation/library_file.h"
#include "foundation/text_helpers.h"
#include "platform/win/codepage.h"
#include "platform/win/dialog.h"
#include "platform/win/wsprintf.h"
#include "platform/win/fileio.h"
#include "platform/win/help.h"
#include "platform/win/message_box.h"

#include <algorithm>
#include <cstring>
#include <strings.h>
#include <vector>

namespace {

constexpr UINT kLibErrCannotOpen = 262;
constexpr UINT kLibErrNoSuchName = 514;
constexpr WORD kKindReport = 8;
constexpr WORD kKindOlder = 2;
constexpr int kMemberNameLimit = 30;

enum : UINT {
  kIdsCannotOpenLibrary = 62400, kIdsErrorOpening = 62401, kIdsInvalidLibrary = 62402, kIdsNoMemory = 62403,
  kIdsInvalidName = 62404, kIdsOverwrite = 62405, kIdsDeleteQuestion = 62406, kIdsSaveChanges = 62407,
  kIdsNotCurrentLibrary = 62408, kIdsWriting = 62409, kIdsDeleting = 62410, kIdsCopyFilter = 62411,
  kIdsCopyTitle = 62412, kIdsDeleteTitle = 62413, kIdsOpenTitle = 62414, kIdsStatusFormat = 62415,
  kIdsLibraryWord = 62416, kIdsSaveFilter = 85, kIdsOpenFilter = 228, kIdsOpenReport = 229,
  kIdsOpenTemplate = 1108, kIdsUntitled = 120, kIdsNone = 48, kIdsNotAvailable = 1119, kIdsSaveCaption = 231
};
constexpr UINT kHelpOpen = 1031, kHelpSave = 1032, kHelpCopyName = 1067, kHelpSwitch = 1055;

std::string Format(UINT id, const std::string& a, const std::string& b = std::string()) {
  return FormatDocString(id, a.c_str(), b.c_str());
}

int Ask(HWND owner, const std::string& text, UINT captionId, UINT type) {
  return MessageBoxA(owner, text.c_str(), GetResString(captionId, 0), type);
}

void Error(CKmDoc& doc, HWND owner, const std::string& text) {
  MessageBoxA(owner != nullptr ? owner : doc.GetOwnerWindow(), text.c_str(), doc.GetAppCaption(), MB_OK | MB_ICONSTOP);
}

void ShowLibraryStatus(CKmDoc& doc, const std::string& library) {
  doc.SetStatusText(Format(kIdsStatusFormat, GetResString(kIdsLibraryWord, 0), GetDisplayFileName(library.c_str())).c_str());
}

// What one library dialog holds while it runs.
struct LibraryDialog {
  CKmDoc* doc = nullptr;
  LibraryFile* engine = nullptr;
  std::string library;           // the library shown
  LibFileControlBlock* open = nullptr;
  LibMember* list = nullptr;
  std::vector<LibMember*> sorted;
  BOOL older = FALSE;
  bool combo = false;
  bool sourceUnavailable = false;
  bool fromLibrary = false;
  bool reportFileChosen = false;
  std::vector<std::string> sources;  // the installed data sources
  // DREPCOPYNAME
  std::string copyDestination;
  std::string copySource;
};

LibraryDialog* State(HWND d) { return reinterpret_cast<LibraryDialog*>(GetWindowLongPtrA(d, DWLP_USER)); }

void FreeLists(LibraryDialog& s) {
  s.sorted.clear();
  FreeLibMemberList(s.list);
  s.list = nullptr;
}

void CloseLibrary(LibraryDialog& s) {
  if (s.open != nullptr) s.engine->LibFileClose(s.open);
  s.open = nullptr;
}

std::string ItemText(HWND d, int id) {
  char text[300] = {};
  GetDlgItemTextA(d, id, text, sizeof text);
  return text;
}

LRESULT Selection(HWND d, const LibraryDialog& s) {
  return SendDlgItemMessageA(d, 200, s.combo ? UINT{CB_GETCURSEL} : UINT{LB_GETCURSEL}, 0, 0);
}

LibMember* Selected(HWND d, const LibraryDialog& s) {
  const LRESULT i = Selection(d, s);
  return i >= 0 && static_cast<size_t>(i) < s.sorted.size() ? s.sorted[static_cast<size_t>(i)] : nullptr;
}

// Lists the library's members, sorted by name, into box 200; the library
// stays open. false after ending the dialog with a message.
bool FillLibraryList(HWND d, LibraryDialog& s, const std::string& path) {
  FreeLists(s);
  CloseLibrary(s);
  s.doc->SetWaitCursor(1);
  std::string p = path;
  if (!OpenReportLibrary(*s.doc, d, &p, &s.open, kLibOpenRead, &s.older)) {
    s.doc->SetWaitCursor(0);
    if (p.empty()) Error(*s.doc, d, GetResString(kIdsInvalidLibrary, 0));
    EndDialog(d, 0);
    return false;
  }
  s.list = s.engine->LibListMembers(s.open);
  if (s.list == nullptr && s.engine->LibLastError() != 0) {
    const std::string text = s.engine->LibErrorText();
    CloseLibrary(s);
    s.doc->SetWaitCursor(0);
    Error(*s.doc, d, text);
    EndDialog(d, 0);
    return false;
  }
  // Each member's last-saved date, user and comments.
  if (s.list != nullptr && ReadLibraryReportInfo(s.engine, s.open, s.list) != 0) {
    const std::string text = s.engine->LibErrorText();
    FreeLists(s);
    CloseLibrary(s);
    s.doc->SetWaitCursor(0);
    Error(*s.doc, d, text);
    EndDialog(d, 0);
    return false;
  }
  for (LibMember* m = s.list; m != nullptr; m = m->next) {
    const std::string source = ReadMemberDataSourceName(*s.engine, s.open, m->firstRecord);
    CopyBounded(m->dataSource, sizeof m->dataSource, source.c_str());
    s.sorted.push_back(m);
  }
  std::stable_sort(s.sorted.begin(), s.sorted.end(),
                   [](const LibMember* a, const LibMember* b) { return strcasecmp(a->name, b->name) < 0; });
  SendDlgItemMessageA(d, 200, s.combo ? UINT{CB_RESETCONTENT} : UINT{LB_RESETCONTENT}, 0, 0);
  for (LibMember* m : s.sorted) {
    // Older libraries keep their names in the DOS character set.
    if (s.older) OemToCharA(m->name, m->name);
    SendDlgItemMessageA(d, 200, s.combo ? UINT{CB_ADDSTRING} : UINT{LB_ADDSTRING}, 0, reinterpret_cast<LPARAM>(m->name));
  }
  if (!s.combo && !s.sorted.empty()) SendDlgItemMessageA(d, 200, LB_SETCURSEL, 0, 0);
  SetDlgItemTextA(d, 201, GetDisplayFileName(path.c_str()).c_str());
  s.library = path;
  s.doc->SetWaitCursor(0);
  return true;
}

// The name typed into box 200 (at most 30 characters, trailing blanks
// dropped); false after "Invalid report name" for an empty one.
bool TakeMemberName(HWND d, LibraryDialog& s, std::string* name) {
  *name = ItemText(d, 200).substr(0, kMemberNameLimit);
  while (!name->empty() && name->back() == ' ') name->pop_back();
  if (!name->empty()) return true;
  Error(*s.doc, d, GetResString(kIdsInvalidName, 0));
  SetFocus(GetDlgItem(d, 200));
  return false;
}

void ShowMemberInfo(HWND d, LibraryDialog& s) {
  LibMember* m = Selected(d, s);
  s.doc->SetStatusText(m == nullptr ? s.doc->m_szReportName : m->comments != nullptr ? m->comments : m->name);
  SetDlgItemTextA(d, 208, "");
  SetDlgItemTextA(d, 209, "");
  if (m != nullptr && m->reportInfo != nullptr && !s.combo) {
    const BYTE* info = m->reportInfo;
    DateParts date;
    date.year = static_cast<int32_t>(info[0] | (info[1] << 8) | (info[2] << 16) | (static_cast<uint32_t>(info[3]) << 24));
    date.month = info[4];
    date.day = info[5];
    TimeParts time;
    time.hours = info[7];
    time.minutes = info[8];
    time.seconds = info[9];
    // The header's text is the platform the member was written on, not who
    // wrote it: a member that names no user shows none.
    const char* user = reinterpret_cast<const char*>(info + 10);
    FillFileDateTime(date, time, std::strncmp(user, "Windows", 8) == 0 ? "" : user, d, 208, 209, nullptr);
  }
  if (s.combo || s.doc->m_settings.readReportAlwaysUseSameDS || m == nullptr) return;
  HWND box = GetDlgItem(d, 206);
  if (box == nullptr) return;
  // Only one entry the dialog added itself at a time.
  SendMessageA(box, CB_RESETCONTENT, 0, 0);
  for (const std::string& n : s.sources) SendMessageA(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(n.c_str()));
  s.sourceUnavailable = false;
  std::string stored = m->dataSource;
  if (stored.empty()) stored = GetResString(kIdsNone, 0);
  LRESULT at = SendMessageA(box, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(stored.c_str()));
  if (at == CB_ERR) {
    const bool none = stored == GetResString(kIdsNone, 0);
    const std::string shown = none ? stored : stored + GetResString(kIdsNotAvailable, 0);
    at = SendMessageA(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(shown.c_str()));
    s.sourceUnavailable = !none;
  }
  SendMessageA(box, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
}

void EnableMemberButtons(HWND d, const LibraryDialog& s) {
  const BOOL any = s.sorted.empty() ? FALSE : TRUE;
  EnableWindow(GetDlgItem(d, IDOK), any);
  EnableWindow(GetDlgItem(d, 203), any);
  EnableWindow(GetDlgItem(d, 205), any);
}

// Open File / Open Library: another library (1), a report file (-1), or a failure (0).
int SwitchLibrary(HWND d, LibraryDialog& s, bool saving) {
  CKmDoc& doc = *s.doc;
  doc.SetStatusText(doc.m_szReportName);
  const bool tmpl = doc.m_bTemplateMode != FALSE;
  if (!RunOpenFileDialog(doc, d, nullptr, GetLibDirSlash(doc).c_str(), saving ? kIdsSaveFilter : kIdsOpenFilter,
                         tmpl ? "QN6" : "KMW", tmpl ? kIdsOpenTemplate : kIdsOpenReport, kHelpSwitch))
    return 1;
  const std::string chosen = doc.m_files.chosenPath;
  if (strcasecmp(chosen.c_str(), s.library.c_str()) == 0) return 1;
  if (saving && !TestReportLibrary(doc, d, chosen.c_str(), kLibOpenWrite)) return 0;
  CloseLibrary(s);
  FreeLists(s);
  SendDlgItemMessageA(d, 200, s.combo ? UINT{CB_RESETCONTENT} : UINT{LB_RESETCONTENT}, 0, 0);
  if (IsCompoundFile(chosen.c_str())) {
    CopyBounded(doc.m_files.currentFile, sizeof doc.m_files.currentFile, chosen.c_str());
    return -1;
  }
  if (!FillLibraryList(d, s, chosen)) return 0;
  CopyBounded(doc.m_files.currentFile, sizeof doc.m_files.currentFile, chosen.c_str());
  SetFocus(GetDlgItem(d, 200));
  return 1;
}

// Asks to save a changed report before another library is listed; false on Cancel.
bool AskSaveBeforeSwitch(HWND d, LibraryDialog& s) {
  CKmDoc& doc = *s.doc;
  if (!doc.IsModified() || !doc.m_bReportOpen) return true;
  ShowLibraryStatus(doc, s.library);
  const int answer = Ask(d, Format(kIdsSaveChanges, doc.m_szReportName[0] ? doc.m_szReportName : GetResString(kIdsUntitled, 0)),
                         kIdsOpenTitle, MB_YESNOCANCEL | MB_ICONQUESTION);
  if (answer == IDCANCEL) return false;
  if (answer == IDNO) return true;
  CloseLibrary(s);
  FreeLists(s);
  const BOOL saved = SaveCurrentReport(doc, FALSE);
  FillLibraryList(d, s, s.library);
  return saved != FALSE;
}

void DeleteLibraryReport(HWND d, LibraryDialog& s) {
  LibMember* m = Selected(d, s);
  if (m == nullptr) return;
  const std::string name = m->name;
  if (Ask(d, Format(kIdsDeleteQuestion, name), kIdsDeleteTitle, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  CKmDoc& doc = *s.doc;
  doc.SetWaitCursor(1);
  CloseLibrary(s);
  FreeLists(s);
  std::string path = s.library;
  LibFileControlBlock* lib = nullptr;
  BOOL older = FALSE;
  if (OpenReportLibrary(doc, d, &path, &lib, kLibOpenDelete, &older)) {
    LibMember* entry = s.engine->LibFindMember(lib, name.c_str());
    if (entry == nullptr || s.engine->LibDeleteMember(lib, entry) != 0) {
      Error(doc, d, Format(kIdsDeleting, s.engine->LibErrorText()));
    } else if (doc.m_bReportOpen && strcasecmp(doc.m_szReportName, name.c_str()) == 0) {
      // Its stored copy is gone: the report is only in the document now.
      doc.SetModifiedFlag(TRUE);
    }
    FreeLibMemberList(entry);
    s.engine->LibFileClose(lib);
  }
  doc.SetWaitCursor(0);
  FillLibraryList(d, s, s.library);
  SetFocus(GetDlgItem(d, 200));
}

INT_PTR CopyReportNameDlgProc(HWND d, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(d, DWLP_USER, lParam);
      LibraryDialog& s = *State(d);
      SendDlgItemMessageA(d, 200, EM_LIMITTEXT, kMemberNameLimit, 0);
      SetDlgItemTextA(d, 200, s.copySource.c_str());
      SetDlgItemTextA(d, 201, GetDisplayFileName(s.library.c_str()).c_str());
      SetDlgItemTextA(d, 202, GetDisplayFileName(s.copyDestination.c_str()).c_str());
      s.doc->CenterDialogOnOwner(d);
      return TRUE;
    }
    case WM_COMMAND: {
      LibraryDialog& s = *State(d);
      switch (LOWORD(wParam)) {
        case IDOK: {
          std::string name;
          if (!TakeMemberName(d, s, &name)) return TRUE;
          CopyLibraryReport(*s.doc, s.open, s.copyDestination.c_str(), s.copySource.c_str(), name.c_str());
          EndDialog(d, 1);
          return TRUE;
        }
        case IDCANCEL:
          EndDialog(d, 0);
          return TRUE;
        case 300:
          s.doc->ShowDialogHelp(d, kHelpCopyName);
          return TRUE;
        default:
          return FALSE;
      }
    }
    default:
      return FALSE;
  }
}

void CopyReportToLibrary(HWND d, LibraryDialog& s) {
  LibMember* m = Selected(d, s);
  if (m == nullptr) return;
  CKmDoc& doc = *s.doc;
  const bool tmpl = EndsWithTemplateLibraryExt(s.library.c_str()) != FALSE;
  for (;;) {
    if (!RunOpenFileDialog(doc, d, nullptr, GetLibDirSlash(doc).c_str(), kIdsCopyFilter, tmpl ? "QN6" : "QB6",
                           kIdsCopyTitle, 1066))
      return;
    const std::string destination = doc.m_files.chosenPath;
    if (strcasecmp(destination.c_str(), s.library.c_str()) == 0 ||
        NativePath(FullPathOfExisting(destination)) == NativePath(FullPathOfExisting(s.library))) {
      ShowLibraryStatus(doc, destination);
      Error(doc, d, GetResString(kIdsNotCurrentLibrary, 0));
      doc.SetStatusText("");
      continue;
    }
    if (!TestReportLibrary(doc, d, destination.c_str(), kLibOpenWrite)) continue;
    s.copyDestination = destination;
    s.copySource = m->name;
    DialogBoxParamA(nullptr, "DREPCOPYNAME", d, CopyReportNameDlgProc, reinterpret_cast<LPARAM>(&s));
    return;
  }
}

INT_PTR LibraryOpenDlgProc(HWND d, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(d, DWLP_USER, lParam);
      LibraryDialog& s = *State(d);
      if (!FillLibraryList(d, s, s.library)) return TRUE;
      EnableMemberButtons(d, s);
      const LRESULT at = SendDlgItemMessageA(d, 200, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                             reinterpret_cast<LPARAM>(s.doc->m_szReportName));
      if (at != LB_ERR) SendDlgItemMessageA(d, 200, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
      if (!s.doc->m_settings.readReportAlwaysUseSameDS) {
        DataAccess* data = GetDataAccess(s.doc->m_pModel);
        if (data->InitDatabaseLibrary())
          while (const char* n = data->NextDataSourceName()) s.sources.push_back(n);
        SendDlgItemMessageA(d, 206, CB_LIMITTEXT, 32, 0);
      } else {
        // No Data Source box: each member is read over its own.
        ShowWindow(GetDlgItem(d, 206), SW_HIDE);
        ShowWindow(GetDlgItem(d, 207), SW_HIDE);
      }
      ShowMemberInfo(d, s);
      s.doc->CenterDialogOnOwner(d);
      return TRUE;
    }
    case WM_COMMAND: {
      LibraryDialog& s = *State(d);
      const int id = LOWORD(wParam);
      const int code = HIWORD(wParam);
      switch (id) {
        case 200:
          if (code == LBN_SELCHANGE) ShowMemberInfo(d, s);
          if (code == LBN_DBLCLK) SendMessageA(d, WM_COMMAND, IDOK, 0);
          return TRUE;
        case 206:
          if (code == CBN_SELCHANGE) s.sourceUnavailable = false;
          return TRUE;
        case IDOK: {
          LibMember* m = Selected(d, s);
          if (m == nullptr) return TRUE;
          std::string source;
          if (s.doc->m_settings.readReportAlwaysUseSameDS || s.sourceUnavailable) {
            source = m->dataSource;
          } else {
            source = ItemText(d, 206).substr(0, 31);
            if (source == GetResString(kIdsNone, 0)) source.clear();
          }
          s.doc->SetWaitCursor(1);
          const BOOL ok = SetReportDataSource(*s.doc, source.c_str());
          s.doc->SetWaitCursor(0);
          if (!ok) return TRUE;
          s.doc->RefreshDataSourceTitle();
          CopyBounded(s.doc->m_szReportName2, sizeof s.doc->m_szReportName2, m->name);
          s.doc->m_nLibEntry2 = static_cast<int>(m->firstRecord);
          // The reader opens the library again by its path.
          CloseLibrary(s);
          FreeLists(s);
          EndDialog(d, 1);
          return TRUE;
        }
        case IDCANCEL:
          s.doc->m_nLibEntry2 = -1;
          CloseLibrary(s);
          FreeLists(s);
          EndDialog(d, 0);
          return TRUE;
        case 202: {
          if (!AskSaveBeforeSwitch(d, s)) return TRUE;
          const int r = SwitchLibrary(d, s, false);
          if (r == -1) {
            s.reportFileChosen = true;
            EndDialog(d, 2);
            return TRUE;
          }
          s.fromLibrary = true;
          EnableMemberButtons(d, s);
          SetFocus(GetDlgItem(d, 200));
          ShowMemberInfo(d, s);
          return TRUE;
        }
        case 203:
          DeleteLibraryReport(d, s);
          EnableMemberButtons(d, s);
          ShowMemberInfo(d, s);
          return TRUE;
        case 205:
          CopyReportToLibrary(d, s);
          SetFocus(GetDlgItem(d, 200));
          ShowMemberInfo(d, s);
          return TRUE;
        case 300:
          s.doc->ShowDialogHelp(d, kHelpOpen);
          return TRUE;
        default:
          return FALSE;
      }
    }
    default:
      return FALSE;
  }
}

// The name the Save As dialog proposes: the report's name, or its file's
// title without ".KMW", or "Untitled". A member's name is in the code page:
// a file name kept in the system's spelling gives its letters, and "?" for
// those the code page lacks.
std::string ProposedName(const LibraryDialog& s) {
  const CKmDoc& doc = *s.doc;
  if (s.fromLibrary || doc.m_bLibraryMode) return doc.m_szReportName;
  if (doc.m_szReportName[0] == 0) return GetResString(kIdsUntitled, 0);
  std::string name = Utf8ToAnsi(FileNameText(GetDisplayFileName(doc.m_szReportName)));
  if (name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".KMW") == 0) name.resize(name.size() - 4);
  return name;
}

INT_PTR LibrarySaveDlgProc(HWND d, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(d, DWLP_USER, lParam);
      LibraryDialog& s = *State(d);
      s.doc->CenterDialogOnOwner(d);
      SendDlgItemMessageA(d, 200, CB_LIMITTEXT, kMemberNameLimit, 0);
      if (!FillLibraryList(d, s, s.library)) return TRUE;
      SetDlgItemTextA(d, 200, ProposedName(s).c_str());
      return TRUE;
    }
    case WM_COMMAND: {
      LibraryDialog& s = *State(d);
      switch (LOWORD(wParam)) {
        case 200:
          if (HIWORD(wParam) == CBN_SELCHANGE) ShowMemberInfo(d, s);
          return TRUE;
        case IDOK: {
          std::string name;
          if (!TakeMemberName(d, s, &name)) return TRUE;
          for (LibMember* m : s.sorted) {
            if (!LibNamesEqual(m->name, name.c_str())) continue;
            if (Ask(d, Format(kIdsOverwrite, m->name), kIdsSaveCaption, MB_YESNOCANCEL | MB_ICONEXCLAMATION) != IDYES) {
              SetFocus(GetDlgItem(d, 200));
              return TRUE;
            }
          }
          CopyBounded(s.doc->m_szReportName2, sizeof s.doc->m_szReportName2, name.c_str());
          CloseLibrary(s);
          FreeLists(s);
          EndDialog(d, 1);
          return TRUE;
        }
        case IDCANCEL:
          CloseLibrary(s);
          FreeLists(s);
          EndDialog(d, 0);
          return TRUE;
        case 202:
          if (SwitchLibrary(d, s, true) == 1) SetDlgItemTextA(d, 200, ProposedName(s).c_str());
          SetFocus(GetDlgItem(d, 200));
          return TRUE;
        case 300:
          s.doc->ShowDialogHelp(d, kHelpSave);
          return TRUE;
        default:
          return FALSE;
      }
    }
    default:
      return FALSE;
  }
}

int RunLibraryDialog(CKmDoc& doc, const char* library, const char* templ, DLGPROC proc, bool combo, HWND owner) {
  LibraryDialog s;
  s.doc = &doc;
  s.engine = doc.LibraryEngine();
  s.library = library != nullptr ? library : "";
  s.combo = combo;
  if (s.engine == nullptr || !doc.CreateReportTables()) return 0;
  INT_PTR r = DialogBoxParamA(nullptr, templ, owner, proc, reinterpret_cast<LPARAM>(&s));
  CloseLibrary(s);
  FreeLists(s);
  if (r == -1) MessageBoxA(owner, GetResString(62417, 0), doc.GetAppCaption(), MB_OK | MB_ICONSTOP);
  if (r == 2 && !s.reportFileChosen) r = 0;
  return r < 0 ? 0 : static_cast<int>(r);
}

}  // namespace

int OpenReportLibrary(CKmDoc& doc, HWND owner, std::string* path, LibFileControlBlock** out, int mode, BOOL* older) {
  *out = nullptr;
  if (path->empty()) return 0;
  LibraryFile* engine = doc.LibraryEngine();
  if (engine == nullptr) return 0;
  const UINT access = mode == kLibOpenRead ? lib_of::Read : lib_of::ReadWrite;
  WORD kind = kKindReport;
  LibFileControlBlock* lib = engine->LibFileOpen(path->c_str(), lib_of::ShareDenyWrite, access, &kind, 512);
  if (lib == nullptr) {
    ShowLibraryStatus(doc, *path);
    const UINT id = engine->LibLastError() == kLibErrCannotOpen ? kIdsCannotOpenLibrary : kIdsErrorOpening;
    Error(doc, owner, Format(id, GetDisplayFileName(path->c_str())));
    path->clear();
    return 0;
  }
  const BOOL isOlder = kind == kKindOlder ? TRUE : FALSE;
  if (older != nullptr) *older = isOlder;
  if (doc.m_pRepIO != nullptr) doc.m_pRepIO->m_bOlderLibrary = isOlder;
  if (kind == kKindReport || (kind == kKindOlder && mode != kLibOpenWrite)) {
    *out = lib;
    return 1;
  }
  engine->LibFileClose(lib);
  path->clear();
  return 0;
}

BOOL TestReportLibrary(CKmDoc& doc, HWND owner, const char* path, int mode) {
  std::string p = path != nullptr ? path : "";
  LibFileControlBlock* lib = nullptr;
  BOOL older = FALSE;
  if (!OpenReportLibrary(doc, owner, &p, &lib, mode, &older)) {
    if (p.empty()) Error(doc, owner, GetResString(kIdsInvalidLibrary, 0));
    return FALSE;
  }
  doc.LibraryEngine()->LibFileClose(lib);
  return TRUE;
}

int ChooseLibraryMember(CKmDoc& doc, const char* library) {
  return RunLibraryDialog(doc, library, "DREPREAD", LibraryOpenDlgProc, false, doc.GetOwnerWindow());
}

int ChooseSaveMember(CKmDoc& doc, const char* library) {
  HWND owner = doc.m_pMainFrame != nullptr ? doc.m_pMainFrame->m_hWnd : doc.GetOwnerWindow();
  return RunLibraryDialog(doc, library, "DREPSAVE", LibrarySaveDlgProc, true, owner) == 1 ? 1 : 0;
}

BOOL CopyLibraryReport(CKmDoc& doc, LibFileControlBlock* source, const char* destination, const char* sourceName,
                       const char* destinationName) {
  LibraryFile* engine = doc.LibraryEngine();
  if (engine == nullptr || source == nullptr) return FALSE;
  doc.SetWaitCursor(1);
  struct Cursor {
    CKmDoc& doc;
    ~Cursor() { doc.SetWaitCursor(0); }
  } cursor{doc};
  HWND owner = GetActiveWindow();
  LibMember* from = engine->LibFindMember(source, sourceName);
  if (from == nullptr) {
    Error(doc, owner, Format(kIdsWriting, engine->LibErrorText()));
    return FALSE;
  }
  const DWORD first = from->firstRecord;
  FreeLibMemberList(from);
  // Only a report is copied: its first record is the report's header.
  BYTE head[4] = {};
  engine->LibRewind(source, first);
  if (engine->LibRead(source, 4, head) != 0 || (head[0] | (head[1] << 8)) != 1) return FALSE;

  std::string path = destination;
  LibFileControlBlock* lib = nullptr;
  BOOL older = FALSE;
  if (!OpenReportLibrary(doc, owner, &path, &lib, kLibOpenWrite, &older)) return FALSE;
  BOOL ok = FALSE;
  LibMember* existing = engine->LibFindMember(lib, destinationName);
  do {
    if (existing != nullptr) {
      if (Ask(owner, Format(kIdsOverwrite, destinationName), kIdsCopyTitle, MB_YESNO | MB_ICONEXCLAMATION) != IDYES) break;
    } else if (engine->LibLastError() != kLibErrNoSuchName) {
      Error(doc, owner, Format(kIdsWriting, engine->LibErrorText()));
      break;
    }
    // The copy is whole before the directory names it.
    const DWORD copied = engine->LibCopyChain(source, first, lib);
    if (copied == 0) {
      Error(doc, owner, Format(kIdsWriting, engine->LibErrorText()));
      break;
    }
    if (existing != nullptr) {
      const DWORD old = existing->firstRecord;
      existing->firstRecord = copied;
      if (engine->LibSetMemberStart(lib, existing) != 0 || engine->LibFreeChain(lib, old) != 0) {
        Error(doc, owner, Format(kIdsWriting, engine->LibErrorText()));
        break;
      }
    } else {
      LibMember* entry = NewLibMember(destinationName, copied);
      if (entry == nullptr || engine->LibAddMember(lib, entry) != 0) {
        Error(doc, owner, Format(kIdsWriting, engine->LibErrorText()));
        engine->LibFreeChain(lib, copied);
        FreeLibMemberList(entry);
        break;
      }
      FreeLibMemberList(entry);
    }
    ok = TRUE;
  } while (false);
  FreeLibMemberList(existing);
  if (engine->LibFileClose(lib) != 0) ok = FALSE;
  return ok;
}

BOOL SetReportDataSource(CKmDoc& doc, const char* name) {
  if (!doc.CreateReportTables()) return FALSE;
  DataAccess* data = GetDataAccess(doc.m_pModel);
  const std::string none = GetResString(kIdsNone, 0);
  std::string chosen = name != nullptr ? name : "";
  if (!chosen.empty() && chosen != none) {
    if (data->IsConnected(chosen.c_str())) {
      data->SelectDataSource(chosen.c_str());
    } else if (!data->CheckDataSourceExists(chosen.c_str(), nullptr, nullptr) ||
               data->ConnectDataSource(chosen.c_str(), true, true, nullptr) != 1) {
      return FALSE;
    }
  } else if (data->ConnectDataSource("", false, false, nullptr) > 0) {
    chosen = data->Current() != nullptr ? data->Current()->name : "";
  } else {
    if (!doc.EnsureDataSource(FALSE, FALSE, FALSE) || data->Current() == nullptr) return FALSE;
    chosen = data->Current()->name;
  }
  if (doc.m_pRepIO != nullptr) CopyBounded(doc.m_pRepIO->m_szDataSource, sizeof doc.m_pRepIO->m_szDataSource, chosen.c_str());
  data->SelectDataSource(chosen.c_str());
  return TRUE;
}

BOOL CreateReportLibrary(CKmDoc& doc, const char* path) {
  LibraryFile* engine = doc.LibraryEngine();
  if (engine == nullptr) return FALSE;
  char made[MAX_PATH + 8] = {};
  LibFileControlBlock* lib = engine->LibFileCreate(path, lib_of::ReadWrite, made, kKindReport, 512);
  if (lib == nullptr) {
    Error(doc, nullptr, Format(kIdsCannotOpenLibrary, GetDisplayFileName(path)));
    return FALSE;
  }
  return engine->LibFileClose(lib) == 0 ? TRUE : FALSE;
}
