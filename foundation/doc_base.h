// The document as the layers below the application see it: its message and
// dialog services, settings, page set-up and band lines, and the state of the
// open report (model, layout tables, file object, run). The application's
// CKmDoc derives from it and adds the commands, the frame and the view.
#pragma once

#include "foundation/band_lines.h"
#include "foundation/intl_settings.h"
#include "foundation/message_dialog_args.h"
#include "foundation/page_metrics.h"
#include "foundation/settings.h"
#include "platform/mfc/afxwin.h"
#include "platform/win/hook.h"
#include "platform/win/window.h"

#include <cstdint>
#include <string>

class CKmComposite;
class CKmRepIO;
class LibraryFile;
class QueryDesc;
class ReportFileIO;
struct LayoutTables;
struct DocFonts;
struct ReportRun;
namespace vt_ole {
struct Storage;
}

// The product's title: the main window's text and every message box's caption.
inline constexpr char kAppTitle[] = "VORTELLE Report Designer";

// The file settings of the open report: the file it came from and the names
// the file dialogs and the start file hand over.
struct FileSettings {
  char currentFile[261] = {};  // the report file or library path
  char chosenPath[261] = {};   // the answer of the last file dialog
  char masterTable[262] = {};
  char startFile[261] = {};    // the start file (/S) the report was made from
  char pictureDir[261] = {};   // where the last picture file was chosen
};

// The views of the document: every redraw hint reaches them through this.
class DocViews {
 public:
  virtual ~DocViews() = default;
  virtual void UpdateAllViews(int hint, void* sender) = 0;
};

class KmDocBase {
 public:
  KmDocBase();
  virtual ~KmDocBase();
  KmDocBase(const KmDocBase&) = delete;
  KmDocBase& operator=(const KmDocBase&) = delete;

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
  // The main frame's window, 0 without a frame.
  virtual HWND GetOwnerWindow() const { return nullptr; }
  void UpdateViewsByHint(int hint, void* sender);
  void SetWaitCursor(int on);

  // What messages and modal dialogs do to the windows of the application
  // that shows the report; without those windows there is nothing to do.
  // A message dialog hides the start-up title window.
  virtual void HideTitleWindow() {}
  // The frame's modal bit while a program dialog runs.
  virtual void SetFrameModal(bool /*modal*/) {}
  // After the last modal dialog: the status line shows the report name.
  virtual void ShowStatusReportName() {}
  // After the last modal dialog: the view's caret and status line.
  virtual void UpdateViewCaret() {}
  // A text on the status line.
  virtual void SetStatusText(const char* /*text*/) {}
  // The format bar shows the selection's formatting again.
  virtual void UpdateFormatBar() {}
  // The model's comparison tolerance, which the settings read and set; a
  // document without a model has none.
  virtual bool GetModelTolerance(double* /*ratio*/) const { return false; }
  virtual void SetModelTolerance(int32_t /*units*/, double /*ratio*/) {}
  // The Open file dialog over owner; TRUE on OK with the answer in
  // m_files.chosenPath. Without the application's file dialogs none runs.
  virtual BOOL RunOpenFileDialog(HWND /*owner*/, const char* /*initialName*/, const char* /*initialDir*/,
                                 UINT /*filterId*/, const char* /*defaultExt*/, UINT /*titleId*/,
                                 UINT /*helpContext*/) {
    return FALSE;
  }
  // The folder a file of the report is looked for in first, with its
  // separator; empty when there is none.
  virtual std::string GetReportFolder() const { return std::string(); }

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
  // A print or preview run keeps the palette off until it ends: the dialogs
  // and messages of the run do not give it back.
  BOOL m_bRunHoldsPalette = FALSE;
  HWND m_hOwnerWnd = nullptr;             // owner of help and of the system message box

  BOOL m_bReportOpen = FALSE;
  BOOL m_bShowNameOnly = FALSE;  // the further flag that makes the status line show the report name
  BOOL m_bViewUpdate = FALSE;
  char m_cDecimal = '.';
  char m_szReportName[261] = {};
  char m_szAppCaption[64] = {};  // kAppTitle, set by the constructor
  char m_szHelpFile[261] = "kmw.hlp";

  int m_viewHints = 0;     // views updated with hint 101
  DocViews* m_pViews = nullptr;  // the frame's panes, when they exist
  int m_waitCursorOff = 0;

  // --- settings and start-up (foundation/settings.cpp, foundation/startup.cpp) ---
  DocSettings m_settings;
  IntlSettings m_intl;
  BYTE m_measure = 1;   // the document's measurement system: 1 inches, 0 metric
  BYTE m_measure2 = 1;  // its second copy, kept equal
  bool m_intlReadOnce = false;
  BOOL m_bSettingsRead = FALSE;
  HFONT m_hUiFont = nullptr;  // the bold interface font of the frame's panes
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
  CKmComposite* m_pModel = nullptr;

  // --- report runs (engine) ---
  int m_nRunState = 0;  // 0 running, -1 stop, -2 printer refused, -3 cancelled, -6 out of memory
  int m_nRunMode = 0;   // 0 the report, 1 the Test Pattern, 2 the Report Specification
  ReportRun* m_pRun = nullptr;  // the engine's state while a run is in progress

  // --- report file object (files) ---
  CKmRepIO* m_pRepIO = nullptr;

  // --- the report document ---
  BOOL IsModified() const { return m_bModified; }
  void SetModifiedFlag(BOOL modified) { m_bModified = modified; }
  // The same without the library-mode block, for those who set it on purpose.
  void SetTitleAlways(const char* title) { m_strTitle = title ? title : ""; }
  const std::string& GetTitle() const { return m_strTitle; }
  const std::string& GetPathName() const { return m_strPathName; }
  const std::string& GetWindowText() const { return m_strWindowText; }

  BOOL m_bModified = FALSE;
  BOOL m_bCompoundFile = TRUE;   // report records live in the file's Contents stream
  BOOL m_bLibraryMode = FALSE;   // the report is a member of a library
  BOOL m_bTemplateMode = FALSE;  // the Open dialog works on template libraries
  BOOL m_bTemplatePending = FALSE;
  BOOL m_bUserSql = FALSE;
  BOOL m_bCreateWithoutMaster = FALSE;
  int m_nStartMode = 0;
  char m_szDefLibExt[4] = "QB6";
  char m_szReportName2[261] = {};  // second copy of the current report name
  int m_nLibEntry = -1;            // member number of a report read from a library
  int m_nLibEntry2 = -1;
  int m_nChartWord = 0;
  int m_nBandPaneWidth = 0;
  FileSettings m_files;
  std::string m_strTempFile;  // the "Copy of" file this document made; deleted with it
  std::string m_strPathName;
  std::string m_strTitle;
  std::string m_strWindowText;
  std::string m_strUdfPath;  // the user-function library; empty: the program's own
  QueryDesc* m_pQuery = nullptr;
  char* m_pSqlText = nullptr;  // the file object's SQL buffer (heap, 10,240 bytes)
  vt_ole::Storage* m_pRootStorage = nullptr;  // the report file's storage while it is held
  int m_hHeldFile = -1;        // lock on the report file while it is held
  ReportFileIO* m_pFileIO = nullptr;  // the file object's entries (not owned)
  ReportFileIO* m_pRepIOEntries = nullptr;  // owned: the entries over m_pRepIO
  LibraryFile* m_pLibEngine = nullptr;  // owned
  BOOL m_bOwnsTables = FALSE;

  // --- layout tables (layout/layout_records.h, layout/fonts.h) ---
  // Items, lines and boxes, pictures, charts and the fonts; the layout works
  // on m_bandLines once attached (LayoutTables::AttachBandLineTable).
  LayoutTables* m_pLayout = nullptr;
  DocFonts* m_pFonts = nullptr;
  // --- end of layout tables ---
};

// The document the program's dialogs and message boxes belong to (the last one created).
KmDocBase* GetActiveDocBase();
