// The report document: the message and dialog wrappers, settings, the
// printer, the model and the layout tables of the open report.
#pragma once

#include "app/layout_view.h"
#include "app/main_frame.h"

#include "foundation/band_lines.h"
#include "foundation/intl_settings.h"
#include "foundation/message_dialog_args.h"
#include "foundation/page_metrics.h"
#include "foundation/settings.h"
#include "platform/mfc/afxwin.h"
#include "platform/win/hook.h"
#include "platform/win/window.h"

class CKmDoc;
struct LayoutTables;
struct DocFonts;
struct ReportRun;

class CKmDoc {
 public:
  CKmDoc();
  ~CKmDoc();

  // --- message dialog (foundation/message_dialog.cpp) ---
  INT_PTR ShowMessageDialog(HWND owner, const char* text, const char* caption, int style);
  void SystemModalMessage(const char* text);
  int ShowErrorText(const char* text, CWnd* owner);
  int ShowErrorId(UINT id, CWnd* owner);
  int ShowErrorTwoIds(UINT id1, UINT id2);
  int MessageBoxId(UINT id, CWnd* owner, UINT type);
  int ShowErrorFmt1(const char* format, MsgArg a1);
  int ShowErrorFmt2(const char* format, MsgArg a1, MsgArg a2);
  int ShowErrorFmt3(const char* format, MsgArg a1, MsgArg a2, MsgArg a3);
  int ShowErrorFmt4(const char* format, MsgArg a1, MsgArg a2, MsgArg a3, MsgArg a4);
  int ShowErrorFmt5(const char* format, MsgArg a1, MsgArg a2, MsgArg a3, MsgArg a4, MsgArg a5);
  int ShowErrorFmtNum(const char* format, long n);
  int ShowErrorFmtNum2(const char* format, long n1, long n2);
  int ShowErrorFmtChar(const char* format, int ch);
  INT_PTR ErrorBox(const char* format);
  INT_PTR ErrorBox1(const char* format, MsgArg a1);
  INT_PTR ErrorBox2(const char* format, MsgArg a1, MsgArg a2);
  INT_PTR ErrorBox3(const char* format, MsgArg a1, MsgArg a2, MsgArg a3);
  INT_PTR ErrorBox4(const char* format, MsgArg a1, MsgArg a2, MsgArg a3, MsgArg a4);
  INT_PTR ErrorBox5(const char* format, MsgArg a1, MsgArg a2, MsgArg a3, MsgArg a4, MsgArg a5);
  INT_PTR ErrorBox1NoResult(const char* format, MsgArg a1);
  INT_PTR ErrorBox2NoResult(const char* format, MsgArg a1, MsgArg a2);
  INT_PTR ErrorBoxChar(const char* format, int ch);
  void ErrorBoxActive(const char* format);
  void ErrorBoxOwner(HWND owner, const char* format);
  void ErrorBoxOwner1(HWND owner, const char* format, MsgArg a1);
  INT_PTR WarningBox(const char* format);
  INT_PTR WarningBox1(const char* format, MsgArg a1);
  INT_PTR WarningBox2(const char* format, MsgArg a1, MsgArg a2);
  INT_PTR WarningBox3(const char* format, MsgArg a1, MsgArg a2, MsgArg a3);
  void WarningBoxOwner(HWND owner, const char* format);
  void WarningBoxOwner1(HWND owner, const char* format, MsgArg a1);
  void InternalErrorBox(int code);
  void InternalErrorBox2(int code1, int code2);

  // --- dialog runner (foundation/dialog_runner.cpp) ---
  INT_PTR DoModalDialog(HWND owner, DLGPROC proc, const char* templateName, LPARAM param);
  INT_PTR DoModalDialogNoParam(HWND owner, DLGPROC proc, const char* templateName);
  void BeginModalState();
  void EndModalState();
  void CenterDialogOnOwner(HWND dialog);
  void ShowDialogHelp(HWND dialog, WORD context);

  // --- shell services ---
  HWND GetOwnerWindow() const;  // the main frame's window, 0 without a frame
  void UpdateViewsByHint(int hint, void* sender);
  void SetWaitCursor(int on);
  const char* GetAppCaption() const { return m_szAppCaption; }
  const char* GetHelpFileName() const { return m_szHelpFile; }

  // Message dialog state, written just before a message dialog runs.
  const char* m_pszMsgCaption = nullptr;
  UINT m_uMsgIcon = 0;
  UINT m_uMsgFocusId = 0;

  // Modal state.
  HHOOK m_hMsgFilterHook = nullptr;
  HOOKPROC m_pfnMsgFilter = nullptr;
  CWnd* m_pInsertFieldPalette = nullptr;  // the modeless Insert Field palette, when open
  HWND m_hOwnerWnd = nullptr;             // owner of help and of the system message box

  CKmMainFrame* m_pMainFrame = nullptr;
  CKmView* m_pView = nullptr;
  BOOL m_bReportOpen = FALSE;
  BOOL m_bShowNameOnly = FALSE;  // the further flag that makes the status line show the report name
  BOOL m_bViewUpdate = FALSE;
  char m_cDecimal = '.';
  char m_szReportName[261] = {};
  char m_szAppCaption[64] = "VORTELLE";
  char m_szHelpFile[261] = "kmw.hlp";

  int m_viewHints = 0;     // views updated with hint 101
  int m_waitCursorOff = 0;

  // --- settings and start-up (foundation/settings.cpp, foundation/startup.cpp) ---
  DocSettings m_settings;
  IntlSettings m_intl;
  BYTE m_measure = 1;   // the document's measurement system: 1 inches, 0 metric
  BYTE m_measure2 = 1;  // its second copy, kept equal
  bool m_intlReadOnce = false;
  BOOL m_bSettingsRead = FALSE;
  BOOL m_bDeleteUiFont = FALSE;
  BandLineTable m_bandLines;     // the table block itself is m_bandLines.lines
  PageSetupRec* m_pPageSetup = nullptr;
  PageMetrics m_pageMetrics;
  BYTE* m_pSmallPage = nullptr;  // 16 bytes
  BYTE* m_pDocPaths = nullptr;   // 4436 bytes: Library32 and the pending file name
  BYTE* m_pExportFile = nullptr; // the export's output file object
  BYTE* m_pPageDriver = nullptr; // 570-byte block for the page driver's entries
  WORD m_nPictures = 0;
  char m_cWildAny = 0;   // SQL wildcard for any run of characters
  char m_cWildOne = 0;   // SQL wildcard for one character
  int m_layoutWidth = 0; // 254 character cells, in pixels
  BOOL m_bWaitCursor = FALSE;
  HCURSOR m_hCursorBeforeWait = nullptr;
  char m_szPrinterDevice[64] = {};
  char m_szPrinterPort[64] = {};
  class CKmComposite* m_pModel = nullptr;

  // --- report runs (engine) ---
  int m_nRunState = 0;  // 0 running, -1 stop, -2 printer refused, -3 cancelled, -6 out of memory
  int m_nRunMode = 0;   // 0 the report, 1 the Test Pattern, 2 the Report Specification
  ReportRun* m_pRun = nullptr;  // the engine's state while a run is in progress

  // --- report file object (files) ---
  class CKmRepIO* m_pRepIO = nullptr;

  // --- layout tables (designer/layout_records.h, designer/fonts.h) ---
  // Items, lines and boxes, pictures, charts and the fonts; the layout works
  // on m_bandLines once attached (LayoutTables::AttachBandLineTable).
  LayoutTables* m_pLayout = nullptr;
  DocFonts* m_pFonts = nullptr;
  // --- end of layout tables ---
};

// The document the program's dialogs and message boxes belong to (the last one created).
CKmDoc* GetActiveKmDoc();
