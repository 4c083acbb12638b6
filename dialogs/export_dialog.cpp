#include "dialogs/export_dialog.h"

#include "foundation/band_lines.h"
#include "foundation/doc_base.h"
#include "foundation/message_dialog.h"
#include "layout/layout_records.h"
#include "platform/win/dialog.h"
#include "platform/win/resources.h"
#include "platform/win/window.h"

#include <cstdio>
#include <set>
#include <string>

const int kExportDialogFormats[8] = {kExportText,     kExportXbase,     kExportWorksheet, kExportRtf,
                                     kExportDataFile, kExportWordMerge, kExportHtml,      kExportViewer};

namespace {

constexpr int kFormatList = 201, kFileEdit = 203, kOptionsButton = 204, kFileNote = 212;
constexpr int kOemCheck = 220;
constexpr int kBandCombo = 231;
constexpr int kTypeComma = 241, kTypeTab = 242, kTypeFixed = 243, kTypeUser = 244;
constexpr int kSeparatorEdit = 246, kNamesCheck = 247;
constexpr int kHtmlDir = 251, kHtmlFile = 253, kHtmlTitle = 255, kHtmlPerPage = 256, kHtmlBorder = 257;
constexpr int kHtmlBorderWidth = 258, kHtmlImageFormat = 260, kHtmlBackground = 262;
constexpr UINT kIdFormatNames = 6410;
constexpr UINT kIdBandTitle = 6420, kIdBandRecord = 6421, kIdBandSummary = 6422;
constexpr UINT kIdGroupHeader = 6423, kIdGroupFooter = 6424;
constexpr UINT kIdNoFile = 6425, kIdBadSeparator = 6426;

ExportDialogParams* ParamsOf(HWND dialog) {
  return reinterpret_cast<ExportDialogParams*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

std::string ItemText(HWND dialog, int id) {
  char buf[1024] = {};
  GetDlgItemTextA(dialog, id, buf, sizeof buf);
  return buf;
}

int FormatNameId(int format) {
  for (int i = 0; i < 8; ++i)
    if (kExportDialogFormats[i] == format) return static_cast<int>(kIdFormatNames) + i;
  return static_cast<int>(kIdFormatNames);
}

bool HasOptions(int format) { return format != kExportRtf && format != kExportViewer; }

int SelectedFormat(HWND dialog) {
  LRESULT sel = SendDlgItemMessageA(dialog, kFormatList, LB_GETCURSEL, 0, 0);
  if (sel == LB_ERR) return -1;
  return static_cast<int>(SendDlgItemMessageA(dialog, kFormatList, LB_GETITEMDATA, static_cast<WPARAM>(sel), 0));
}

// The output file box shows the chosen format's own name.
void ShowFormat(HWND dialog, CKmExport& e) {
  SetDlgItemTextA(dialog, kFileEdit, e.OutputPath().c_str());
  EnableWindow(GetDlgItem(dialog, kOptionsButton), HasOptions(e.format) ? TRUE : FALSE);
  SetDlgItemTextA(dialog, kFileNote, e.format == kExportHtml ? e.html.outputDirectory.c_str() : "");
}

// --- the band choice of the data formats ---

std::string BandName(int band) {
  char buf[64];
  if (band == kBandTitle) return LoadResString(kIdBandTitle);
  if (band == kBandSummary) return LoadResString(kIdBandSummary);
  if (band >= kBandGroupHeader && band < kBandGroupHeader + 8) {
    std::snprintf(buf, sizeof buf, LoadResString(kIdGroupHeader).c_str(), band - kBandGroupHeader + 1);
    return buf;
  }
  if (band >= kBandGroupFooter && band < kBandGroupFooter + 8) {
    std::snprintf(buf, sizeof buf, LoadResString(kIdGroupFooter).c_str(), band - kBandGroupFooter + 1);
    return buf;
  }
  return LoadResString(kIdBandRecord);
}

// The bands of the report whose values can be exported: every band it has
// but the page header and footer, and always the Record band.
void FillBands(HWND dialog, KmDocBase* doc, int chosen) {
  std::set<int> bands = {kBandRecord};
  if (doc && doc->m_pLayout) {
    const BandLineTable& t = doc->m_pLayout->Lines();
    for (int i = 0; i <= t.lastUsed && i < kBandLineCount; ++i)
      if (t.lines[i].kind != kBandPageHeader && t.lines[i].kind != kBandPageFooter && t.lines[i].kind != kBandFree)
        bands.insert(t.lines[i].kind);
  }
  bands.insert(chosen);
  SendDlgItemMessageA(dialog, kBandCombo, CB_RESETCONTENT, 0, 0);
  for (int b : bands) {
    LRESULT at = SendDlgItemMessageA(dialog, kBandCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(BandName(b).c_str()));
    SendDlgItemMessageA(dialog, kBandCombo, CB_SETITEMDATA, static_cast<WPARAM>(at), b);
    if (b == chosen) SendDlgItemMessageA(dialog, kBandCombo, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
  }
}

int ChosenBandOf(HWND dialog, int fallback) {
  LRESULT sel = SendDlgItemMessageA(dialog, kBandCombo, CB_GETCURSEL, 0, 0);
  if (sel == CB_ERR) return fallback;
  return static_cast<int>(SendDlgItemMessageA(dialog, kBandCombo, CB_GETITEMDATA, static_cast<WPARAM>(sel), 0));
}

void EnableSeparator(HWND dialog) {
  const BOOL user = IsDlgButtonChecked(dialog, kTypeUser) == BST_CHECKED ? TRUE : FALSE;
  EnableWindow(GetDlgItem(dialog, kSeparatorEdit), user);
}

INT_PTR OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  ExportDialogParams* p = ParamsOf(dialog);
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      p = reinterpret_cast<ExportDialogParams*>(lParam);
      if (p->doc) p->doc->CenterDialogOnOwner(dialog);
      CKmExport& e = *p->settings;
      switch (e.format) {
        case kExportText:
          CheckDlgButton(dialog, kOemCheck, (e.textFlags & 1) ? BST_CHECKED : BST_UNCHECKED);
          break;
        case kExportXbase:
        case kExportWorksheet:
          FillBands(dialog, p->doc, e.ChosenBand());
          break;
        case kExportDataFile:
        case kExportWordMerge: {
          const bool six = e.format == kExportDataFile;
          FillBands(dialog, p->doc, e.ChosenBand());
          const int type = six ? e.dataFileType : e.wordMergeType;
          CheckDlgButton(dialog, kTypeComma + (type >= 1 && type <= 4 ? type - 1 : 0), BST_CHECKED);
          SetDlgItemTextA(dialog, kSeparatorEdit, (six ? e.dataFileSeparator : e.wordMergeSeparator).c_str());
          SendDlgItemMessageA(dialog, kSeparatorEdit, EM_LIMITTEXT, 1, 0);
          const uint8_t flags = six ? e.dataFileFlags : e.wordMergeFlags;
          CheckDlgButton(dialog, kNamesCheck, (flags & kDelimitedNamesLine) ? BST_CHECKED : BST_UNCHECKED);
          EnableSeparator(dialog);
          break;
        }
        case kExportHtml: {
          SetDlgItemTextA(dialog, kHtmlDir, e.html.outputDirectory.c_str());
          SetDlgItemTextA(dialog, kHtmlFile, e.html.fileName.c_str());
          SetDlgItemTextA(dialog, kHtmlTitle, e.html.title.c_str());
          CheckDlgButton(dialog, kHtmlPerPage, (e.html.options & kHtmlPagePerPage) ? BST_CHECKED : BST_UNCHECKED);
          CheckDlgButton(dialog, kHtmlBorder, e.html.borderFlag ? BST_CHECKED : BST_UNCHECKED);
          SetDlgItemInt(dialog, kHtmlBorderWidth, e.html.borderWidth, FALSE);
          SetDlgItemTextA(dialog, kHtmlBackground, e.html.backgroundImage.c_str());
          for (const ImageFormatEntry& f : ImageFormatTable())
            SendDlgItemMessageA(dialog, kHtmlImageFormat, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(f.name));
          SendDlgItemMessageA(dialog, kHtmlImageFormat, CB_SETCURSEL, e.html.imageFormat, 0);
          break;
        }
        default:
          break;
      }
      return TRUE;
    }
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (id >= kTypeComma && id <= kTypeUser) {
        EnableSeparator(dialog);
        return TRUE;
      }
      if (id == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      if (id != IDOK) return FALSE;
      CKmExport& e = *p->settings;
      switch (e.format) {
        case kExportText:
          e.textFlags = static_cast<uint8_t>((e.textFlags & ~1) | (IsDlgButtonChecked(dialog, kOemCheck) == BST_CHECKED ? 1 : 0));
          break;
        case kExportXbase:
          e.xbaseBand = static_cast<uint8_t>(ChosenBandOf(dialog, e.xbaseBand));
          break;
        case kExportWorksheet:
          e.worksheetBand = static_cast<uint8_t>(ChosenBandOf(dialog, e.worksheetBand));
          break;
        case kExportDataFile:
        case kExportWordMerge: {
          int type = kFileTypeComma;
          for (int t = kTypeComma; t <= kTypeUser; ++t)
            if (IsDlgButtonChecked(dialog, t) == BST_CHECKED) type = t - kTypeComma + 1;
          const std::string sep = ItemText(dialog, kSeparatorEdit);
          if (type == kFileTypeUserSeparator && sep.size() != 1) {
            if (p->doc) p->doc->ShowErrorId(kIdBadSeparator, nullptr);
            SetFocus(GetDlgItem(dialog, kSeparatorEdit));
            return TRUE;
          }
          const uint8_t names = IsDlgButtonChecked(dialog, kNamesCheck) == BST_CHECKED ? kDelimitedNamesLine : 0;
          if (e.format == kExportDataFile) {
            e.dataFileBand = static_cast<uint8_t>(ChosenBandOf(dialog, e.dataFileBand));
            e.dataFileType = static_cast<uint8_t>(type);
            if (!sep.empty()) e.dataFileSeparator = sep;
            e.dataFileFlags = static_cast<uint8_t>((e.dataFileFlags & ~kDelimitedNamesLine) | names);
          } else {
            e.wordMergeBand = static_cast<uint8_t>(ChosenBandOf(dialog, e.wordMergeBand));
            e.wordMergeType = static_cast<uint8_t>(type);
            if (!sep.empty()) e.wordMergeSeparator = sep;
            e.wordMergeFlags = static_cast<uint8_t>((e.wordMergeFlags & ~kDelimitedNamesLine) | names);
          }
          break;
        }
        case kExportHtml: {
          e.html.outputDirectory = ItemText(dialog, kHtmlDir);
          e.html.fileName = ItemText(dialog, kHtmlFile);
          e.html.title = ItemText(dialog, kHtmlTitle);
          e.html.options = (e.html.options & ~kHtmlPagePerPage) |
                           (IsDlgButtonChecked(dialog, kHtmlPerPage) == BST_CHECKED ? kHtmlPagePerPage : 0);
          e.html.borderFlag = IsDlgButtonChecked(dialog, kHtmlBorder) == BST_CHECKED ? 1 : 0;
          BOOL ok = FALSE;
          UINT w = GetDlgItemInt(dialog, kHtmlBorderWidth, &ok, FALSE);
          if (ok && w <= 100) e.html.borderWidth = w;
          e.html.backgroundImage = ItemText(dialog, kHtmlBackground);
          LRESULT f = SendDlgItemMessageA(dialog, kHtmlImageFormat, CB_GETCURSEL, 0, 0);
          if (f != CB_ERR) e.html.imageFormat = static_cast<uint32_t>(f);
          break;
        }
        default:
          break;
      }
      EndDialog(dialog, IDOK);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

const char* OptionsTemplate(int format) {
  switch (format) {
    case kExportText: return "DEXPTEXT";
    case kExportXbase:
    case kExportWorksheet: return "DEXPDATA";
    case kExportDataFile:
    case kExportWordMerge: return "DEXPDELIM";
    case kExportHtml: return "DEXPHTML";
    default: return nullptr;
  }
}

}  // namespace

INT_PTR RunExportOptionsDialog(ExportDialogParams* params, HWND owner) {
  const char* name = OptionsTemplate(params->settings->format);
  if (name == nullptr || params->doc == nullptr) return IDCANCEL;
  return params->doc->DoModalDialog(owner, OptionsDialogProc, name, reinterpret_cast<LPARAM>(params));
}

INT_PTR ExportDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  ExportDialogParams* p = ParamsOf(dialog);
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      p = reinterpret_cast<ExportDialogParams*>(lParam);
      if (p->doc) p->doc->CenterDialogOnOwner(dialog);
      CKmExport& e = *p->settings;
      for (int format : kExportDialogFormats) {
        if (e.grayed[format]) continue;
        const std::string name = LoadResString(static_cast<UINT>(FormatNameId(format)));
        LRESULT at = SendDlgItemMessageA(dialog, kFormatList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
        SendDlgItemMessageA(dialog, kFormatList, LB_SETITEMDATA, static_cast<WPARAM>(at), format);
        if (format == e.format) SendDlgItemMessageA(dialog, kFormatList, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
      }
      if (SendDlgItemMessageA(dialog, kFormatList, LB_GETCURSEL, 0, 0) == LB_ERR) {
        SendDlgItemMessageA(dialog, kFormatList, LB_SETCURSEL, 0, 0);
        const int f = SelectedFormat(dialog);
        if (f >= 0) e.format = static_cast<uint8_t>(f);
      }
      ShowFormat(dialog, e);
      return TRUE;
    }
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      CKmExport& e = *p->settings;
      if (id == kFormatList && HIWORD(wParam) == LBN_SELCHANGE) {
        // The name typed for the format left stays with it.
        e.SetOutputPath(ItemText(dialog, kFileEdit));
        const int f = SelectedFormat(dialog);
        if (f >= 0) e.format = static_cast<uint8_t>(f);
        ShowFormat(dialog, e);
        return TRUE;
      }
      if (id == kOptionsButton) {
        e.SetOutputPath(ItemText(dialog, kFileEdit));
        if (RunExportOptionsDialog(p, dialog) == IDOK) ShowFormat(dialog, e);
        return TRUE;
      }
      if (id == IDOK) {
        const std::string path = ItemText(dialog, kFileEdit);
        if (path.empty()) {
          if (p->doc) p->doc->ShowErrorId(kIdNoFile, nullptr);
          SetFocus(GetDlgItem(dialog, kFileEdit));
          return TRUE;
        }
        e.SetOutputPath(path);
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (id == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

INT_PTR RunExportDialog(ExportDialogParams* params, HWND owner) {
  if (params->doc == nullptr || params->settings == nullptr) return IDCANCEL;
  return params->doc->DoModalDialog(owner, ExportDialogProc, "DEXPORT", reinterpret_cast<LPARAM>(params));
}
