#include "app/run_status.h"

#include "app/app.h"
#include "app/document.h"
#include "app/main_frame.h"
#include "app/print_run.h"
#include "engine/doc_upkeep.h"
#include "engine/report_run.h"
#include "engine/run_output.h"
#include "engine/run_report.h"
#include "app/preview_view.h"
#include "platform/win/dialog.h"
#include "platform/win/gdi.h"
#include "platform/win/resources.h"

#include <cstdio>
#include <string>

namespace {

constexpr int kIdPrintCopy = 25;      // "Now Printing Copy %d of"
constexpr int kIdPrinterOnPort = 26;  // "%s on %s"
constexpr int kIdFile = 63;
constexpr int kIdUntitled = 120;
constexpr int kIdTestPattern = 117;
constexpr int kIdReportSpec = 205;
constexpr int kIdNowExporting = 311;
constexpr int kIdExport = 315;
constexpr int kIdRecordsExported = 1126;

constexpr uint32_t kLabelRecordsRead = 217;
constexpr uint32_t kLabelSelected = 218;
constexpr uint32_t kHideLine = 0xFFFFFFFFu;
constexpr int kRunCancelled = -3;

// The run status dialog's pending set-up, applied by its own message.
struct RunStatusSetup {
  int captionId = 0;
  int labelIds[3] = {};
  std::string texts[3];
  bool hasText[3] = {};
};

struct DialogState {
  HWND runStatus = nullptr;
  HWND printing = nullptr;
  HWND previewPrint = nullptr;
  RunStatusSetup setup;
  char previewStatus[101] = {};
};
DialogState g_dialogs;

HWND FrameWindow(const CKmDoc& doc) {
  HWND frame = doc.GetOwnerWindow();
  return frame ? frame : doc.m_hOwnerWnd;
}

// Nobody is there to read progress or press Cancel.
bool Unattended() {
  CKmApp* app = AfxGetKmApp();
  return app != nullptr && app->IsUnattended();
}

CKmDoc* DocOf(HWND dialog) { return reinterpret_cast<CKmDoc*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

void SetLabel(HWND dialog, int control, int id) {
  if (id > 0) SetDlgItemTextA(dialog, control, LoadResString(static_cast<UINT>(id)).c_str());
  else if (id < 0) SetDlgItemTextA(dialog, control, "");
}

// The main frame usable again; the focus comes back only when the program
// still holds the active window, so another program is not interrupted.
void GiveFrameBack(CKmDoc& doc) {
  HWND frame = FrameWindow(doc);
  if (frame == nullptr || !IsWindow(frame)) return;
  EnableWindow(frame, TRUE);
  HWND active = GetActiveWindow();
  if (active == nullptr || active == frame || GetAncestor(active, GA_ROOTOWNER) == frame) SetFocus(frame);
  UpdateWindow(frame);
}

void ForgetWindow(HWND dialog) {
  if (g_dialogs.runStatus == dialog) g_dialogs.runStatus = nullptr;
  if (g_dialogs.printing == dialog) g_dialogs.printing = nullptr;
  if (g_dialogs.previewPrint == dialog) g_dialogs.previewPrint = nullptr;
}

// Creation and destruction, alike for every progress dialog: the document
// kept with the window, the focus on Cancel, the pointer forgotten at the end.
bool HandleLifetime(HWND dialog, UINT message, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    SetFocus(GetDlgItem(dialog, IDCANCEL));
    return true;
  }
  if (message == WM_DESTROY) {
    ForgetWindow(dialog);
    return true;
  }
  return false;
}

bool IsCancel(UINT message, WPARAM wParam) { return message == WM_COMMAND && LOWORD(wParam) == IDCANCEL; }

INT_PTR RunStatusProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (HandleLifetime(dialog, message, lParam)) return FALSE;
  if (IsCancel(message, wParam)) {
    CKmDoc* doc = DocOf(dialog);
    ForgetWindow(dialog);
    if (doc != nullptr) {
      doc->m_nRunState = kRunCancelled;
      // The frame was disabled for the dialog; a stopped run must not leave it so.
      GiveFrameBack(*doc);
    }
    DestroyWindow(dialog);
    return TRUE;
  }
  switch (message) {
    case kMsgApplyRunStatus: {
      const RunStatusSetup& s = g_dialogs.setup;
      if (s.captionId > 0) SetWindowTextA(dialog, LoadResString(static_cast<UINT>(s.captionId)).c_str());
      else if (s.captionId < 0) SetWindowTextA(dialog, "");
      for (int i = 0; i < 3; ++i) {
        SetLabel(dialog, 200 + i, s.labelIds[i]);
        if (s.hasText[i]) SetDlgItemTextA(dialog, 203 + i, s.texts[i].c_str());
      }
      return TRUE;
    }
    default:
      return FALSE;
  }
}

std::string Format2(int id, const char* a, const char* b) {
  char text[600];
  std::snprintf(text, sizeof text, LoadResString(static_cast<UINT>(id)).c_str(), a, b);
  return text;
}

// Whether a text fits its static control in the control's font: on one line
// when short, else word-wrapped within the control's height.
bool FitsControl(HWND control, const std::string& text) {
  RECT client{};
  if (control == nullptr || !GetClientRect(control, &client)) return true;
  HDC dc = GetDC(control);
  if (dc == nullptr) return true;
  HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0));
  HGDIOBJ old = font != nullptr ? SelectObject(dc, font) : nullptr;
  RECT r = client;
  const UINT format = DT_CALCRECT | DT_NOPREFIX | (text.size() <= 80 ? DT_SINGLELINE : DT_WORDBREAK);
  DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, format);
  if (old != nullptr) SelectObject(dc, old);
  ReleaseDC(control, dc);
  return r.right - r.left <= client.right - client.left && r.bottom - r.top <= client.bottom - client.top;
}

// Export kinds whose own pages carry the records: their dialog keeps the
// printing labels.
bool IsPageImageExport(int kind) { return kind == 0 || kind == 5 || kind == 8 || kind == 9; }

void SetupPrintingDialog(HWND dialog, CKmDoc& doc, int isExport, int exportKind, const char* exportFile) {
  PrintRunContext& ctx = GetPrintRunContext();
  std::string title = GetPrintRunServices().ReportTitle(doc);
  if (title.empty()) title = LoadResString(kIdUntitled);
  const std::string quoted = "\"" + title + "\"";
  if (isExport) {
    SetWindowTextA(dialog, LoadResString(kIdExport).c_str());
    SetDlgItemTextA(dialog, 206, LoadResString(kIdNowExporting).c_str());
    SetDlgItemTextA(dialog, 200, quoted.c_str());
    if (!IsPageImageExport(exportKind)) {
      SetDlgItemTextA(dialog, 204, LoadResString(kLabelRecordsRead).c_str());
      SetDlgItemTextA(dialog, 205, LoadResString(kIdRecordsExported).c_str());
    }
    const std::string name = exportFile != nullptr ? exportFile : "";
    const std::string shown = FitsControl(GetDlgItem(dialog, 201), name) ? name : ExportNameShown(name);
    SetDlgItemTextA(dialog, 201, shown.c_str());
    return;
  }
  if (doc.m_nRunMode == 1) SetDlgItemTextA(dialog, 200, LoadResString(kIdTestPattern).c_str());
  else if (doc.m_nRunMode == 2) SetDlgItemTextA(dialog, 200, LoadResString(kIdReportSpec).c_str());
  else SetDlgItemTextA(dialog, 200, quoted.c_str());
  const bool toFile = !ctx.preview && doc.m_pPageSetup != nullptr && doc.m_pPageSetup->OutputDestination != 0;
  const std::string port = toFile ? LoadResString(kIdFile) : ctx.printer.portName;
  SetDlgItemTextA(dialog, 201, Format2(kIdPrinterOnPort, ctx.printer.printerName.c_str(), port.c_str()).c_str());
  if (doc.m_nRunMode == 1 || doc.m_nRunMode == 2) {
    SetDlgItemTextA(dialog, 204, "");
    SetDlgItemTextA(dialog, 205, "");
  }
}

void SetNumber(HWND dialog, int control, LPARAM value) {
  char text[24];
  std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(static_cast<DWORD>(value)));
  SetDlgItemTextA(dialog, control, text);
}

INT_PTR PrintingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (HandleLifetime(dialog, message, lParam)) return FALSE;
  if (IsCancel(message, wParam)) {
    CKmDoc* doc = DocOf(dialog);
    // The driver stops drawing at once; the print run throws the job away
    // because the run state says the user stopped it.
    GetPrintRunContext().page.abortWord = 1;
    if (doc != nullptr) doc->m_nRunState = kRunCancelled;
    ForgetWindow(dialog);
    DestroyWindow(dialog);
    return TRUE;
  }
  switch (message) {
    case kMsgShowPageNumber:
      SetNumber(dialog, 203, lParam);
      return TRUE;
    case kMsgShowRecordCount:
      SetNumber(dialog, 202, lParam);
      return TRUE;
    case kMsgShowCopyNumber: {
      char text[200];
      std::snprintf(text, sizeof text, LoadResString(kIdPrintCopy).c_str(), static_cast<int>(wParam));
      SetDlgItemTextA(dialog, 206, text);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

INT_PTR PreviewPrintProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (HandleLifetime(dialog, message, lParam)) return FALSE;
  if (!IsCancel(message, wParam)) return FALSE;
  CKmDoc* doc = DocOf(dialog);
  PrintRunContext& ctx = GetPrintRunContext();
  if (doc != nullptr && ctx.preview) GiveFrameBack(*doc);
  ctx.page.abortWord = 1;
  ForgetWindow(dialog);
  DestroyWindow(dialog);
  return TRUE;
}

void PostToPrinting(UINT message, WPARAM wParam, LPARAM lParam) {
  if (g_dialogs.printing != nullptr) PostMessageA(g_dialogs.printing, message, wParam, lParam);
}

// The record counters' display: each counter keeps its own line.
void ShowCounter(CKmDoc& doc, uint32_t label, const char* text) {
  if (label == kHideLine) {
    ShowRunStatus(doc, 0, -1, -1, -1, "", "", "");
    return;
  }
  const int id = static_cast<int>(label);
  if (label == kLabelRecordsRead) ShowRunStatus(doc, 0, id, 0, 0, text, nullptr, nullptr);
  else if (label == kLabelSelected) ShowRunStatus(doc, 0, 0, id, 0, nullptr, text, nullptr);
  else ShowRunStatus(doc, 0, 0, 0, id, nullptr, nullptr, text);
}

class ProgramRunShell : public RunShell {
 public:
  void PostRecordCount(KmDocBase& doc, int sync) override { ::PostRecordCount(static_cast<CKmDoc&>(doc), sync); }
  void PostPageNumber(KmDocBase& doc) override { ::PostPageNumber(static_cast<CKmDoc&>(doc)); }
  void PostCopyNumber(KmDocBase& doc, int pass) override { ::PostCopyNumber(static_cast<CKmDoc&>(doc), pass); }
  void PostExportCount(KmDocBase& doc, uint32_t count, int sync) override {
    ::PostExportCount(static_cast<CKmDoc&>(doc), count, sync);
  }
  void PreviewPageDone(KmDocBase& doc, int lastPage) override { ::PreviewPageDone(&doc, lastPage); }
  void PageEnded(KmDocBase&, int32_t pageStatus) override { GetPrintRunContext().pageStatus = pageStatus; }
  void ShowCounter(KmDocBase& doc, uint32_t label, const char* text) override {
    ::ShowCounter(static_cast<CKmDoc&>(doc), label, text);
  }
  void ShowRunNote(KmDocBase& doc, const std::string& text) override {
    ::ShowRunNote(static_cast<CKmDoc&>(doc), text);
  }
};

}  // namespace

HWND RunStatusWindow() { return g_dialogs.runStatus; }
HWND PrintingWindow() { return g_dialogs.printing; }

void ShowRunStatus(CKmDoc& doc, int captionId, int labelId200, int labelId201, int labelId202,
                   const char* text203, const char* text204, const char* text205) {
  if (doc.m_nRunState != 0 || Unattended()) return;
  if (g_dialogs.runStatus == nullptr) {
    HWND frame = FrameWindow(doc);
    g_dialogs.runStatus =
        CreateDialogParamA(nullptr, "10013", frame, RunStatusProc, reinterpret_cast<LPARAM>(&doc));
    if (g_dialogs.runStatus == nullptr) return;
    ShowWindow(g_dialogs.runStatus, SW_SHOW);
    if (frame != nullptr) EnableWindow(frame, FALSE);
  }
  RunStatusSetup& s = g_dialogs.setup;
  s.captionId = captionId;
  const int ids[3] = {labelId200, labelId201, labelId202};
  const char* texts[3] = {text203, text204, text205};
  for (int i = 0; i < 3; ++i) {
    s.labelIds[i] = ids[i];
    s.hasText[i] = texts[i] != nullptr;
    s.texts[i] = texts[i] != nullptr ? texts[i] : "";
  }
  SendMessageA(g_dialogs.runStatus, kMsgApplyRunStatus, 0, 0);
}

void CloseRunStatus(CKmDoc& doc) {
  GiveFrameBack(doc);
  HWND dialog = g_dialogs.runStatus;
  g_dialogs.runStatus = nullptr;
  if (dialog != nullptr && IsWindow(dialog)) DestroyWindow(dialog);
}

std::string ExportNameShown(const std::string& path) {
  const size_t cut = path.find_last_of("\\/:");
  return cut == std::string::npos ? LoadResString(kIdFile) : path.substr(cut + 1);
}

int OpenPrintingDialog(CKmDoc& doc, int isExport, int exportKind, const char* exportFile) {
  if (Unattended()) return 0;
  if (g_dialogs.printing != nullptr) return 1;
  HWND dialog = CreateDialogParamA(nullptr, "10016", FrameWindow(doc), PrintingProc, reinterpret_cast<LPARAM>(&doc));
  if (dialog == nullptr) return 0;
  g_dialogs.printing = dialog;
  SetupPrintingDialog(dialog, doc, isExport, exportKind, exportFile);
  ShowWindow(dialog, SW_SHOW);
  return 1;
}

void ClosePrintingDialog(CKmDoc& doc) {
  GiveFrameBack(doc);
  HWND dialog = g_dialogs.printing;
  g_dialogs.printing = nullptr;
  if (dialog != nullptr && IsWindow(dialog)) DestroyWindow(dialog);
}

HWND OpenPreviewPrintDialog(CKmDoc& doc) {
  if (Unattended()) return nullptr;
  if (g_dialogs.previewPrint != nullptr) return g_dialogs.previewPrint;
  HWND dialog =
      CreateDialogParamA(nullptr, "10015", FrameWindow(doc), PreviewPrintProc, reinterpret_cast<LPARAM>(&doc));
  if (dialog == nullptr) return nullptr;
  const DocPrinter& printer = GetPrintRunContext().printer;
  if (!printer.printerName.empty())
    SetWindowTextA(dialog,
                   Format2(kIdPrinterOnPort, printer.printerName.c_str(), printer.portName.c_str()).c_str());
  g_dialogs.previewPrint = dialog;
  ShowWindow(dialog, SW_SHOW);
  return dialog;
}

void ClosePreviewPrintDialog() {
  HWND dialog = g_dialogs.previewPrint;
  g_dialogs.previewPrint = nullptr;
  if (dialog != nullptr && IsWindow(dialog)) DestroyWindow(dialog);
}

void PostRecordCount(CKmDoc& doc, int sync) {
  if (g_dialogs.printing == nullptr || GetPrintRunContext().preview) return;
  const ReportRun* r = doc.m_pRun;
  const uint32_t count = r != nullptr ? r->recordsOutput : 0;
  if (sync) SendMessageA(g_dialogs.printing, kMsgShowRecordCount, 0, static_cast<LPARAM>(count));
  else if (count % 10 == 0) PostToPrinting(kMsgShowRecordCount, 0, static_cast<LPARAM>(count));
}

void PostPageNumber(CKmDoc& doc) {
  const ReportRun* r = doc.m_pRun;
  if (doc.m_nRunState != 0 || r == nullptr || GetPrintRunContext().preview) return;
  if (r->pageCount >= r->startPage) PostToPrinting(kMsgShowPageNumber, 0, static_cast<LPARAM>(r->pageCount));
}

void PostExportCount(CKmDoc& /*doc*/, uint32_t count, int sync) {
  if (g_dialogs.printing == nullptr) return;
  if (sync) SendMessageA(g_dialogs.printing, kMsgShowPageNumber, 0, static_cast<LPARAM>(count));
  else if (count % 10 == 0) PostToPrinting(kMsgShowPageNumber, 0, static_cast<LPARAM>(count));
}

void PostCopyNumber(CKmDoc& /*doc*/, int pass) {
  if (GetPrintRunContext().passCount > 1) PostToPrinting(kMsgShowCopyNumber, static_cast<WPARAM>(pass + 1), 0);
}

void ShowRunStatusPhase(CKmDoc& doc, const char* text) {
  if (doc.m_nRunState != 0 || Unattended()) return;
  ShowRunStatus(doc, 0, 0, 0, 0, nullptr, nullptr, nullptr);
  if (g_dialogs.runStatus != nullptr) SetWindowTextA(g_dialogs.runStatus, text != nullptr ? text : "");
}

void ShowRunStatusCount(CKmDoc& doc, const char* label, uint32_t value) {
  if (doc.m_nRunState != 0 || Unattended()) return;
  if (label == nullptr) {
    ShowRunStatus(doc, 0, 0, 0, -1, nullptr, nullptr, "");
    return;
  }
  ShowRunStatus(doc, 0, 0, 0, 0, nullptr, nullptr, nullptr);
  if (g_dialogs.runStatus == nullptr) return;
  char number[24];
  std::snprintf(number, sizeof number, "%u", static_cast<unsigned>(value));
  SetDlgItemTextA(g_dialogs.runStatus, 202, label);
  SetDlgItemTextA(g_dialogs.runStatus, 205, number);
}

void ShowRunNote(CKmDoc& doc, const std::string& text) {
  if (Unattended()) {
    std::fprintf(stderr, "%s\n", text.c_str());
    return;
  }
  if (GetPrintRunContext().preview) {
    std::snprintf(g_dialogs.previewStatus, sizeof g_dialogs.previewStatus, "%s", text.c_str());
    return;
  }
  if (doc.m_pMainFrame != nullptr) doc.m_pMainFrame->SetStatusText(text.c_str());
}

RunShell& AppRunShell() {
  static ProgramRunShell shell;
  return shell;
}

std::string FormatStatusText(int id1, int id2, const char* text1, const char* text2, int prefixId) {
  std::string text = prefixId != 0 ? LoadResString(static_cast<UINT>(prefixId)) : std::string();
  if (id1 == 0) return text;
  text += LoadResString(static_cast<UINT>(id1));
  text += ' ';
  text += text1 != nullptr ? text1 : "";
  text += "   ";
  text += id2 != 0 ? LoadResString(static_cast<UINT>(id2)) : std::string();
  text += ' ';
  text += text2 != nullptr ? text2 : "";
  return text;
}

void ShowStatusText(CKmDoc& doc, int id1, int id2, const char* text1, const char* text2, int prefixId) {
  if (doc.m_nRunState != 0) return;
  const std::string text = FormatStatusText(id1, id2, text1, text2, prefixId);
  if (GetPrintRunContext().preview) {
    std::snprintf(g_dialogs.previewStatus, sizeof g_dialogs.previewStatus, "%s", text.c_str());
    return;
  }
  if (doc.m_pMainFrame != nullptr) doc.m_pMainFrame->SetStatusText(text.c_str());
}

const char* PreviewStatusText() { return g_dialogs.previewStatus; }

