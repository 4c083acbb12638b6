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

#include <string>

class CKmDoc;
struct LayoutTables;
struct DocFonts;
struct ReportRun;
class ReportFileIO;
namespace vt_ole {
struct Storage;
}

// The file settings of the open report: the file it came from and the names
// the file dialogs and the start file hand over.
struct FileSettings {
  char currentFile[261] = {};  // the report file or library path
  char chosenPath[261] = {};   // the answer of the last file dialog
  char masterTable[262] = {};
  char startFile[261] = {};    // the start file (/S) the report was made from
};

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

  // --- the report document (app/document.cpp, app/open_report.cpp, app/file_checks.cpp) ---
  BOOL IsModified() const { return m_bModified; }
  void SetModifiedFlag(BOOL modified) { m_bModified = modified; }
  // The framework's title; ignored while a library is open, so a save into a
  // member keeps the member's name.
  void SetTitle(const char* title);
  // The same without the library-mode block, for those who set it on purpose.
  void SetTitleAlways(const char* title) { m_strTitle = title ? title : ""; }
  const std::string& GetTitle() const { return m_strTitle; }
  const std::string& GetPathName() const { return m_strPathName; }
  void SetPathName(const char* path);
  // Makes the model, layout tables and fonts when they are missing; the
  // document frees only what it made itself.
  bool CreateReportTables();
  // Loads (storing false) or stores the report records through the file
  // object; 0 on success. Without the compound-file flag nothing is done.
  int Serialize(vt_ole::Storage& root, bool storing);
  // Releases the report file the document holds open, so that it can be
  // replaced or opened again.
  void ForgetCompoundFile();
  int CountClientItems() const;
  // Empties the model: fields, table slots, statement and item order.
  void EmptyModel();
  // Gives back the fonts the layout's items hold (their faces are kept).
  void ReleaseReportFonts();
  // Frees the layout's text items, pictures, lines and boxes and charts.
  void FreeLayoutItems();
  // The file commands' common condition: a report is loaded.
  BOOL CanSaveReport() const { return m_bReportOpen; }

  // New and open (app/open_report.cpp).
  void OnFileOpen();
  BOOL OpenReportDialog(BOOL* noOverrideOut);
  BOOL ReadReport(const char* path);  // the document's open of a path
  int OpenReport(const char* path);   // 1 opened, 0 copy declined, -1 failed
  void FinishReportLoad(BOOL isTemplate);
  void ClearReport(BOOL closeModel);
  void StartNewReport();
  void ApplyRulerSettings();
  void NewReportCommand(BOOL ask, BOOL userSql);
  BOOL DoFileNew(const char* masterTable, int passThrough, BOOL ask, BOOL fromQuery);
  BOOL ChooseNewReportMaster(const char* masterTable, int passThrough, BOOL blank, BOOL forTemplate,
                             BOOL fromQuery);
  BOOL PrepareNewReport();
  BOOL NewReportFromTemplate(const char* masterTable, int passThrough);
  // Asks whether to save a changed report before it is replaced; TRUE to go
  // on. Yes runs File Save (app/save_report.h), which asks for a name when the
  // report has none; FALSE while the report is still unsaved afterwards.
  BOOL SaveModified();
  // Writes the report file at path (the framework's save of a report file).
  BOOL OnSaveDocument(const char* path);

  // File checks, titles and start files (app/file_checks.cpp).
  void UpdateTitle(BOOL useName);
  BOOL GetReportFileName(char* buffer, int size);
  // fileRead (optional) tells whether the file was there to read, so the
  // caller blames a missing master table only on a file that was read.
  BOOL ReadStartFile(const char* path, char* masterTable, int size, BOOL* fileRead = nullptr);
  BOOL LoadQueryFile(const char* path);
  BOOL ConnectQueryDataSource();
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
  class QueryDesc* m_pQuery = nullptr;
  char* m_pSqlText = nullptr;  // the file object's SQL buffer (heap, 10,240 bytes)
  vt_ole::Storage* m_pRootStorage = nullptr;  // the report file's storage while it is held
  int m_hHeldFile = -1;        // lock on the report file while it is held
  ReportFileIO* m_pFileIO = nullptr;  // the file object's entries (not owned)
  // The entries in force: m_pFileIO when set, else those of m_pRepIO; null
  // when the document has neither.
  ReportFileIO* FileIO();
  // The library engine the document reads and writes libraries with (made
  // on first use).
  class LibraryFile* LibraryEngine();
  ReportFileIO* m_pRepIOEntries = nullptr;  // owned: the entries over m_pRepIO
  class LibraryFile* m_pLibEngine = nullptr;  // owned
  BOOL m_bOwnsTables = FALSE;

  // --- layout tables (designer/layout_records.h, designer/fonts.h) ---
  // Items, lines and boxes, pictures, charts and the fonts; the layout works
  // on m_bandLines once attached (LayoutTables::AttachBandLineTable).
  LayoutTables* m_pLayout = nullptr;
  DocFonts* m_pFonts = nullptr;
  // --- end of layout tables ---
};

// The document the program's dialogs and message boxes belong to (the last one created).
CKmDoc* GetActiveKmDoc();
