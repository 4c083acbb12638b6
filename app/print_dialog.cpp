#include "app/print_dialog.h"

#include "app/default_settings_dialog.h"
#include "app/document.h"
#include "app/print_run.h"
#include "files/report_io.h"
#include "foundation/dialog_runner.h"
#include "foundation/startup_hooks.h"
#include "foundation/text_helpers.h"
#include "foundation/units.h"
#include "layout/page_metrics.h"
#include "layout/page_setup.h"
#include "layout/fonts.h"
#include "platform/printer/printer_info.h"
#include "platform/win/dialog.h"
#include "platform/win/fileio.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

enum : int {
  kPrintToFile = 1040, kCollate = 1041, kAll = 1056, kPages = 1058, kPrinterName = 1139, kPrintWhat = 1140,
  kFromPage = 1152, kToPage = 1153, kCopies = 1154, kFileName = 1155, kPreview = 1026, kHelp = 1038,
  kPrintWhatLabel = 1200, kFileNameLabel = 1201
};
constexpr WORD kHelpContext = 1023;
constexpr unsigned kAllPagesLast = 65535;
constexpr unsigned kPageLimit = 65534;
constexpr size_t kPrintFileLimit = 260;  // the document's settings hold no more

std::string ItemText(HWND dialog, int id, int limit = 260) {
  std::string buf(static_cast<size_t>(limit) + 1, '\0');
  GetDlgItemTextA(dialog, id, buf.data(), limit + 1);
  return buf.c_str();
}

ReportSettings* SettingsOf(CKmDoc& doc) { return doc.m_pRepIO ? &doc.m_pRepIO->m_stream.settings : nullptr; }

void PageRange(CKmDoc& doc, unsigned* first, unsigned* last) {
  const ReportSettings* s = SettingsOf(doc);
  *first = s ? s->firstPage : 1;
  *last = s ? s->lastPage : kAllPagesLast;
}

void SetPageRange(CKmDoc& doc, unsigned first, unsigned last) {
  if (ReportSettings* s = SettingsOf(doc)) {
    s->firstPage = first;
    s->lastPage = last;
  }
}

void MarkChanged(HWND dialog, CKmPrintDialog& p) {
  SetDlgItemTextA(dialog, IDCANCEL, "Clos&e");
  p.Changed = 1;
}

void OnInit(HWND dialog, CKmPrintDialog& p, const PrinterDevMode& mode) {
  CKmDoc& doc = *p.Document;
  PrintRunContext& ctx = GetPrintRunContext();
  doc.CenterDialogOnOwner(dialog);
  for (const std::string& name : EnumPrinterNames())
    SendDlgItemMessageA(dialog, kPrinterName, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  const LRESULT at = SendDlgItemMessageA(dialog, kPrinterName, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(ctx.printer.printerName.c_str()));
  SendDlgItemMessageA(dialog, kPrinterName, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
  for (const char* what : {"Report", "Test Pattern", "Report Specification"})
    SendDlgItemMessageA(dialog, kPrintWhat, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(what));
  SendDlgItemMessageA(dialog, kPrintWhat, CB_SETCURSEL, static_cast<WPARAM>(ctx.printWhat), 0);
  unsigned first = 1, last = kAllPagesLast;
  PageRange(doc, &first, &last);
  const bool all = PrintsAllPages(first, last);
  CheckDlgButton(dialog, all ? kAll : kPages, BST_CHECKED);
  SetDlgItemInt(dialog, kFromPage, first > kAllPagesLast ? kAllPagesLast : first, FALSE);
  SetDlgItemInt(dialog, kToPage, last > kAllPagesLast ? kAllPagesLast : last, FALSE);
  SetDlgItemInt(dialog, kCopies, static_cast<UINT>(mode.copies > 0 ? mode.copies : 1), FALSE);
  const PageSetupRec* ps = doc.m_pPageSetup;
  CheckDlgButton(dialog, kCollate, ps && ps->Collate > 0 ? BST_CHECKED : BST_UNCHECKED);
  const bool toFile = ps && ps->OutputDestination == 2;
  CheckDlgButton(dialog, kPrintToFile, toFile ? BST_CHECKED : BST_UNCHECKED);
  EnableWindow(GetDlgItem(dialog, kFileName), toFile ? TRUE : FALSE);
  if (toFile) SetDlgItemTextA(dialog, kFileName, ctx.printToFile.c_str());
  p.Initialised = 1;
}

// OK's checks; false keeps the dialog (the message was shown).
bool OnOk(HWND dialog, CKmPrintDialog& p, bool fromButton) {
  CKmDoc& doc = *p.Document;
  PrintRunContext& ctx = GetPrintRunContext();
  if (fromButton) p.PreviewRequested = 0;
  if (IsDlgButtonChecked(dialog, kPrintToFile) == BST_CHECKED) {
    // Read past the limit so that a longer name is refused, not cut short
    // into a file the user never named.
    const std::string name = ItemText(dialog, kFileName, kPrintFileLimit + 1);
    if (name.empty()) {
      doc.ErrorBoxOwner(dialog, "Please enter a print-to-file name");
      SetFocus(GetDlgItem(dialog, kFileName));
      return false;
    }
    if (name.size() > kPrintFileLimit || !CanCreateFile(name.c_str())) {
      doc.ErrorBoxOwner1(dialog, "Cannot open file: %s", name.c_str());
      SetFocus(GetDlgItem(dialog, kFileName));
      return false;
    }
    ctx.printToFile = name;
    if (ReportSettings* s = SettingsOf(doc)) s->printFileName = name;
  }
  ctx.printWhat = static_cast<int>(SendDlgItemMessageA(dialog, kPrintWhat, CB_GETCURSEL, 0, 0));
  if (ctx.printWhat < 0) ctx.printWhat = 0;
  if (IsDlgButtonChecked(dialog, kPages) == BST_CHECKED) {
    unsigned long pages[2] = {0, 0};
    const int ids[2] = {kFromPage, kToPage};
    for (int i = 0; i < 2; ++i) {
      const std::string t = ItemText(dialog, ids[i], 20);
      if (t.empty()) continue;
      pages[i] = std::strtoul(t.c_str(), nullptr, 10);
      if (pages[i] > kPageLimit) {
        doc.ErrorBoxOwner(dialog,
                          "The page number is too large.  Please enter a value less than or equal to 65534.");
        SetFocus(GetDlgItem(dialog, ids[i]));
        return false;
      }
    }
    // A range that ends before it starts would print nothing: the last
    // page is the number to mend.
    if (pages[0] > 0 && pages[1] > 0 && pages[1] < pages[0]) {
      doc.ErrorBoxOwner(dialog,
                        "The To page comes before the From page.  Please enter a To page greater than or equal to "
                        "the From page.");
      SetFocus(GetDlgItem(dialog, kToPage));
      SendDlgItemMessageA(dialog, kToPage, EM_SETSEL, 0, -1);
      return false;
    }
  }
  if (p.Result < 0) p.Result = 1;
  return true;
}

// What the dialog leaves in the document once it has ended through OK.
// before: the printer's settings as the dialog opened.
void StoreChoices(HWND dialog, CKmPrintDialog& p, const PrinterDevMode& before) {
  CKmDoc& doc = *p.Document;
  PrintRunContext& ctx = GetPrintRunContext();
  PageSetupRec* ps = doc.m_pPageSetup;
  char name[260] = {};
  const LRESULT sel = SendDlgItemMessageA(dialog, kPrinterName, CB_GETCURSEL, 0, 0);
  if (sel >= 0)
    SendDlgItemMessageA(dialog, kPrinterName, CB_GETLBTEXT, static_cast<WPARAM>(sel), reinterpret_cast<LPARAM>(name));
  const bool printerChanged = *name != '\0' && ctx.printer.printerName != name;
  if (printerChanged) {
    ctx.printer.printerName = name;
    const bool pdf = std::strcmp(name, kPdfPrinterName) == 0;
    ctx.printer.driverName = pdf ? kPdfPrinterName : "CUPS";
    ctx.printer.portName = pdf ? "PDF:" : "CUPS:";
    std::snprintf(doc.m_szPrinterDevice, sizeof doc.m_szPrinterDevice, "%s", name);
    std::snprintf(doc.m_szPrinterPort, sizeof doc.m_szPrinterPort, "%s", ctx.printer.portName.c_str());
  }
  unsigned first = 1, last = kAllPagesLast;
  if (IsDlgButtonChecked(dialog, kPages) == BST_CHECKED) {
    BOOL ok = FALSE;
    first = GetDlgItemInt(dialog, kFromPage, &ok, FALSE);
    if (!ok || first == 0) first = 1;
    last = GetDlgItemInt(dialog, kToPage, &ok, FALSE);
    if (!ok || last == 0) last = kAllPagesLast;
  }
  SetPageRange(doc, first, last);
  if (ps != nullptr) {
    ps->Collate = IsDlgButtonChecked(dialog, kCollate) == BST_CHECKED ? 1 : 0;
    ps->OutputDestination = IsDlgButtonChecked(dialog, kPrintToFile) == BST_CHECKED ? 2 : 0;
    BOOL ok = FALSE;
    const UINT copies = GetDlgItemInt(dialog, kCopies, &ok, FALSE);
    ps->Copies = ok && copies > 0 ? static_cast<int32_t>(copies > 9999 ? 9999 : copies) : 1;
  }
  // Another resolution or print quality gives other font metrics too.
  PrinterDevMode after;
  const bool resolutionChanged =
      PrinterDocumentProperties(ctx.printer.printerName.c_str(), &after, ctx.printer.storedDevMode) == 1 &&
      (after.yResolution != before.yResolution || after.printQuality != before.printQuality);
  if (printerChanged || resolutionChanged) {
    // The layout measures its text with the printer's fonts.
    GetStartupHooks().EnumPrinterFonts(doc);
    if (doc.m_pLayout && doc.m_pFonts) ReloadFonts(*doc.m_pLayout, *doc.m_pFonts, doc.m_szPrinterDevice, doc.m_bReportOpen != 0);
    doc.SetModifiedFlag(TRUE);
  }
}

struct PrintDialogRun {
  CKmPrintDialog* p = nullptr;
  PrinterDevMode mode;
  bool stored = false;
};

}  // namespace

bool PrintsAllPages(unsigned firstPage, unsigned lastPage) { return firstPage < 2 && lastPage >= kAllPagesLast; }

// The controls this dialog adds to the printer's, with their help contexts.
constexpr std::pair<int, DWORD> kAddedControlHelp[] = {
    {kPrintWhat, 1109}, {kPrintWhatLabel, 1109}, {kFileName, 1110}, {kFileNameLabel, 1110}, {kPreview, 1111}};

INT_PTR PrintDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* run = reinterpret_cast<PrintDialogRun*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_HELP: {
      const auto* info = reinterpret_cast<const HELPINFO*>(lParam);
      for (const auto& [id, context] : kAddedControlHelp)
        if (OnContextHelp(info, id, context)) return TRUE;
      if (run != nullptr) run->p->Document->ShowDialogHelp(dialog, kHelpContext);
      return TRUE;
    }
    case WM_CONTEXTMENU:
      for (const auto& [id, context] : kAddedControlHelp)
        if (OnContextMenuHelp(dialog, reinterpret_cast<HWND>(wParam), lParam, id, context)) return TRUE;
      break;
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      run = reinterpret_cast<PrintDialogRun*>(lParam);
      OnInit(dialog, *run->p, run->mode);
      return TRUE;
    case WM_COMMAND: {
      if (run == nullptr) break;
      CKmPrintDialog& p = *run->p;
      const int id = LOWORD(wParam);
      const int code = HIWORD(wParam);
      switch (id) {
        case kPreview:
          p.PreviewRequested = 1;
          PostMessageA(dialog, WM_COMMAND, IDOK, 0);
          return TRUE;
        case IDOK:
          if (!OnOk(dialog, p, lParam != 0)) return TRUE;
          StoreChoices(dialog, p, run->mode);
          run->stored = true;
          EndDialog(dialog, IDOK);
          return TRUE;
        case IDCANCEL:
          p.PreviewRequested = 0;
          p.Result = 0;
          if (p.Changed) {
            // Close keeps what was changed and prints nothing.
            p.Document->SetModifiedFlag(TRUE);
            PostMessageA(dialog, WM_COMMAND, IDOK, 0);
            return TRUE;
          }
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        case kHelp:
          p.Document->ShowDialogHelp(dialog, kHelpContext);
          return TRUE;
        case kPrintToFile:
          if (code != BN_CLICKED) break;
          MarkChanged(dialog, p);
          if (IsDlgButtonChecked(dialog, kPrintToFile) == BST_CHECKED) {
            EnableWindow(GetDlgItem(dialog, kFileName), TRUE);
            SetDlgItemTextA(dialog, kFileName, GetPrintRunContext().printToFile.c_str());
            SetFocus(GetDlgItem(dialog, kFileName));
          } else {
            SetDlgItemTextA(dialog, kFileName, "");
            EnableWindow(GetDlgItem(dialog, kFileName), FALSE);
          }
          return TRUE;
        case kCollate:
        case kAll:
        case kPages:
          if (code == BN_CLICKED) MarkChanged(dialog, p);
          return TRUE;
        case kPrinterName:
          if (code == CBN_SELCHANGE) MarkChanged(dialog, p);
          return TRUE;
        case kFromPage:
        case kToPage:
        case kCopies:
          if (code == EN_CHANGE && p.Initialised) {
            MarkChanged(dialog, p);
            if (id != kCopies) {
              CheckDlgButton(dialog, kAll, BST_UNCHECKED);
              CheckDlgButton(dialog, kPages, BST_CHECKED);
            }
          }
          return TRUE;
      }
      break;
    }
  }
  return FALSE;
}

int ShowPrintDialog(CKmDoc& doc) {
  CKmPrintDialog p;
  p.Document = &doc;
  PrintRunContext& ctx = GetPrintRunContext();
  PrintDialogRun run;
  run.p = &p;
  if (PrinterDocumentProperties(ctx.printer.printerName.c_str(), &run.mode, ctx.printer.storedDevMode) != 1) {
    doc.ShowErrorText("Error retrieving printer information", nullptr);
    return kPrintAnswerNothing;
  }
  if (doc.m_pPageSetup != nullptr && doc.m_pPageSetup->Copies > 0)
    run.mode.copies = static_cast<SHORT>(doc.m_pPageSetup->Copies);
  const INT_PTR r =
      doc.DoModalDialog(doc.GetOwnerWindow(), PrintDlgProc, "CommonPrintDlg", reinterpret_cast<LPARAM>(&run));
  if (r == -1) {
    doc.ShowErrorText("Cannot display Windows common dialog", nullptr);
    return kPrintAnswerNothing;
  }
  if (!run.stored) return kPrintAnswerNothing;
  // The chosen printer must still be there to print on.
  PrinterDevMode check;
  if (PrinterDocumentProperties(ctx.printer.printerName.c_str(), &check, nullptr) != 1) {
    doc.ShowErrorText("Error retrieving printer information", nullptr);
    return kPrintAnswerNothing;
  }
  doc.m_nRunMode = ctx.printWhat;
  if (p.PreviewRequested) return kPrintAnswerPreview;
  return p.Result > 0 ? kPrintAnswerPrint : kPrintAnswerNothing;
}

namespace {

enum : int { kPsPaper = 200, kPsTop = 201, kPsBottom = 203, kPsLeft = 205, kPsRight = 207, kPsMargins = 209,
             kPsSource = 220, kPsPortrait = 230, kPsLandscape = 231, kPsHelp = 300 };
constexpr WORD kPageSetupHelp = 1014;

// Paper sources by their printer codes.
const std::pair<const char*, int> kSources[] = {
    {"Automatically Select", 7}, {"Upper Tray", 1}, {"Lower Tray", 2}, {"Manual Feed", 4}};

struct PageSetupRun {
  CKmDoc* doc = nullptr;
  std::vector<PrinterPaper> papers;
  SHORT paperShown = 0;        // the paper code selected when the dialog opened
  int sourceShown = 0;         // the source selected when the dialog opened
  bool sourceListed = false;   // whether that was the report's own source
};

void SetTwoDecimals(HWND dialog, int id, int32_t v, char decimal) {
  char text[16];
  FormatScaledInt(static_cast<WORD>(v < 0 ? 0 : v > 0xFFFF ? 0xFFFF : v), text, sizeof text, 2, decimal);
  SetDlgItemTextA(dialog, id, text);
}

void OnPageSetupInit(HWND dialog, PageSetupRun& r) {
  CKmDoc& doc = *r.doc;
  const PageSetupRec& ps = *doc.m_pPageSetup;
  doc.CenterDialogOnOwner(dialog);
  r.papers = FillPaperSizeCombo(doc, dialog, kPsPaper);
  // The paper shown is the report's: when the printer's paper is not of the
  // report's size (another report chose it), the paper that is.
  auto reportSize = [&ps](const PrinterPaper& p) {
    return std::abs(p.heightTenthsMm - ps.PaperLength) <= 2 && std::abs(p.widthTenthsMm - ps.PaperWidth) <= 2;
  };
  int paperAt = FindPaperIndex(r.papers, GetPrintRunContext().printer.paperCode);
  if (!r.papers.empty() && !reportSize(r.papers[static_cast<size_t>(paperAt)]))
    for (size_t i = 0; i < r.papers.size(); ++i)
      if (r.papers[i].code != kDmPaperUser && reportSize(r.papers[i])) {
        paperAt = static_cast<int>(i);
        break;
      }
  r.paperShown = r.papers.empty() ? GetPrintRunContext().printer.paperCode : r.papers[static_cast<size_t>(paperAt)].code;
  SendDlgItemMessageA(dialog, kPsPaper, CB_SETCURSEL, static_cast<WPARAM>(paperAt), 0);
  int sourceAt = 0;
  r.sourceListed = false;
  for (size_t i = 0; i < std::size(kSources); ++i) {
    SendDlgItemMessageA(dialog, kPsSource, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kSources[i].first));
    if (kSources[i].second == ps.PaperSource) {
      sourceAt = static_cast<int>(i);
      r.sourceListed = true;
    }
  }
  r.sourceShown = sourceAt;
  SendDlgItemMessageA(dialog, kPsSource, CB_SETCURSEL, static_cast<WPARAM>(sourceAt), 0);
  CheckDlgButton(dialog, ps.Landscape == 1 ? kPsLandscape : kPsPortrait, BST_CHECKED);
  SetDlgItemTextA(dialog, kPsMargins, doc.m_measure == 1 ? "Margins (Inches)" : "Margins (Centimeters)");
  SetTwoDecimals(dialog, kPsLeft, ps.LeftMargin, doc.m_cDecimal);
  SetTwoDecimals(dialog, kPsRight, ps.RightMargin, doc.m_cDecimal);
  SetTwoDecimals(dialog, kPsTop, ps.TopMargin, doc.m_cDecimal);
  SetTwoDecimals(dialog, kPsBottom, ps.BottomMargin, doc.m_cDecimal);
  for (int id : {kPsLeft, kPsRight, kPsTop, kPsBottom}) {
    SendDlgItemMessageA(dialog, id, EM_LIMITTEXT, 5, 0);
    SubclassMeasureEdit(dialog, id);
  }
}

bool OnPageSetupOk(HWND dialog, PageSetupRun& r) {
  CKmDoc& doc = *r.doc;
  PrintRunContext& ctx = GetPrintRunContext();
  PageSetupRec& ps = *doc.m_pPageSetup;
  long margins[4] = {};
  const int ids[4] = {kPsLeft, kPsRight, kPsTop, kPsBottom};
  for (int i = 0; i < 4; ++i) {
    std::string t = ItemText(dialog, ids[i], 5);
    size_t k = 0;
    while (k < t.size() && t[k] == ' ') ++k;
    WORD v = 0;
    if (k == t.size() || strToInt(t.c_str() + k, &v, 2, doc.m_cDecimal) < 0) {
      doc.ErrorBoxOwner(dialog, "Invalid numeric value or value out of range");
      SetFocus(GetDlgItem(dialog, ids[i]));
      return false;
    }
    margins[i] = v;
  }
  const LRESULT sel = SendDlgItemMessageA(dialog, kPsPaper, CB_GETCURSEL, 0, 0);
  const PrinterPaper* paper =
      sel >= 0 && static_cast<size_t>(sel) < r.papers.size() ? &r.papers[static_cast<size_t>(sel)] : nullptr;
  const bool landscape = IsDlgButtonChecked(dialog, kPsLandscape) == BST_CHECKED;
  const long length = paper ? paper->heightTenthsMm : (ps.PaperLength > 0 ? ps.PaperLength : 2794);
  const long width = paper ? paper->widthTenthsMm : (ps.PaperWidth > 0 ? ps.PaperWidth : 2159);
  // A landscape page is as long as the paper is wide.
  const MarginFault fault = CheckMarginsOnPaper(margins[2], margins[3], margins[0], margins[1], doc.m_measure == 1,
                                                width, length, landscape, kPsTop, kPsLeft);
  if (fault.text != nullptr) {
    doc.ErrorBoxOwner(dialog, fault.text);
    SetFocus(GetDlgItem(dialog, fault.control));
    return false;
  }
  ps.LeftMargin = static_cast<int32_t>(margins[0]);
  ps.RightMargin = static_cast<int32_t>(margins[1]);
  ps.TopMargin = static_cast<int32_t>(margins[2]);
  ps.BottomMargin = static_cast<int32_t>(margins[3]);
  ps.Landscape = landscape ? 1 : 0;
  // A source the list does not offer (none set yet, or a printer's own bin)
  // stays unless the user picks another.
  const LRESULT source = SendDlgItemMessageA(dialog, kPsSource, CB_GETCURSEL, 0, 0);
  const bool sourcePicked = r.sourceListed || source != r.sourceShown;
  if (sourcePicked && source >= 0 && static_cast<size_t>(source) < std::size(kSources))
    ps.PaperSource = kSources[source].second;
  if (paper != nullptr) {
    ctx.printer.paperCode = paper->code;
    ps.PaperLength = static_cast<int32_t>(paper->heightTenthsMm);
    ps.PaperWidth = static_cast<int32_t>(paper->widthTenthsMm);
  }
  return true;
}

}  // namespace

INT_PTR PageSetupDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* r = reinterpret_cast<PageSetupRun*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      OnPageSetupInit(dialog, *reinterpret_cast<PageSetupRun*>(lParam));
      return TRUE;
    case WM_COMMAND:
      if (r == nullptr) break;
      switch (LOWORD(wParam)) {
        case IDOK:
          if (!OnPageSetupOk(dialog, *r)) return TRUE;
          [[fallthrough]];
        case IDCANCEL:
          for (int id : {kPsLeft, kPsRight, kPsTop, kPsBottom}) UnsubclassMeasureEdit(GetDlgItem(dialog, id));
          EndDialog(dialog, LOWORD(wParam) == IDOK ? 1 : 0);
          return TRUE;
        case kPsHelp:
          r->doc->ShowDialogHelp(dialog, kPageSetupHelp);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

int OnFilePageSetup(CKmDoc& doc) {
  if (doc.m_pPageSetup == nullptr) return 0;
  PrintRunContext& ctx = GetPrintRunContext();
  PrinterDevMode mode;
  if (PrinterDocumentProperties(ctx.printer.printerName.c_str(), &mode, ctx.printer.storedDevMode) != 1) return 0;
  const PageSetupRec before = *doc.m_pPageSetup;
  PageSetupRun r;
  r.doc = &doc;
  const INT_PTR result =
      doc.DoModalDialog(doc.GetOwnerWindow(), PageSetupDlgProc, "DPageSetup", reinterpret_cast<LPARAM>(&r));
  if (result != 1) return 0;
  // Changed is what differs from the report's paper as the dialog showed it.
  const SHORT paperBefore = r.paperShown;
  CalcPageMetrics(doc);
  if (doc.m_settings.shHzRul) doc.UpdateViewsByHint(101, nullptr);
  if (ctx.printer.paperCode != paperBefore || doc.m_pPageSetup->Landscape != before.Landscape)
    ResetPageOrigin(ctx.page);
  if (ctx.printer.paperCode != paperBefore || !PageSetupEqual(before, *doc.m_pPageSetup)) doc.SetModifiedFlag(TRUE);
  return 1;
}
