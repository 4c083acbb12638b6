#include "app/app.h"

#include "app/open_report.h"

#include "app/save_report.h"

#include "app/print_run.h"
#include "app/document.h"
#include "data/data_access.h"
#include "data/db_errors.h"
#include "data/report_dictionary.h"
#include "data/table_fields.h"
#include "engine/output_messages.h"
#include "engine/printer_library.h"
#include "expr/collation.h"
#include "expr/compiler_state.h"
#include "expr/date_settings.h"
#include "expr/functions_common.h"
#include "expr/udf_library.h"
#include "layout/layout_records.h"
#include "files/report_io.h"
#include "files/report_stream.h"
#include "foundation/heap_strings.h"
#include "foundation/message_dialog.h"
#include "foundation/settings.h"
#include "foundation/startup.h"
#include "foundation/startup_hooks.h"
#include "core/composite.h"
#include "core/engine_errors.h"
#include "model/record_pass.h"
#include "platform/win/tempdir.h"
#include "platform/printer/printer_info.h"
#include "platform/win/codepage_text.h"
#include "platform/win/dialog.h"
#include "platform/win/profile.h"
#include "platform/win/resources.h"
#include "platform/win/ui_app.h"
#include "platform/win/window.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

int g_nGoSwitch = 0;

namespace {

CKmApp* g_app = nullptr;

constexpr int kShowMinNoActive = 7;
constexpr unsigned kGoNeedsReport = 618;
constexpr unsigned kReportNotPrinted = 17001;
constexpr UINT kAnswerTimerMs = 50;

// ---- Where messages go ----

bool Unattended() { return g_app != nullptr && g_app->IsUnattended(); }

// An unattended run has nobody to read a dialog: the text goes to standard
// error, in UTF-8 like every text leaving the program.
void WriteToStderr(const char* caption, const char* text) {
  std::string line = "vortelle: ";
  if (caption != nullptr && *caption != '\0') line += AnsiToUtf8(std::string(caption)) + ": ";
  std::string body = AnsiToUtf8(std::string(text != nullptr ? text : ""));
  for (char& c : body)
    if (c == '\r' || c == '\n') c = ' ';
  line += body;
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

void ShowError(const char* text, const char* caption) {
  CKmDoc* doc = GetActiveKmDoc();
  if (Unattended() || doc == nullptr) {
    WriteToStderr(caption, text);
    return;
  }
  const std::string shown = caption != nullptr && *caption != '\0' ? caption : doc->GetAppCaption();
  doc->ShowMessageDialog(doc->GetOwnerWindow(), text, shown.c_str(), kMsgError);
}

void DbErrorToUser(const char* text) { ShowError(text, nullptr); }

// The question's default button is Cancel, which is what nobody answers.
bool DbQuestionToUser(const char* text) {
  CKmDoc* doc = GetActiveKmDoc();
  if (Unattended() || doc == nullptr) {
    WriteToStderr(nullptr, text);
    return false;
  }
  return doc->ShowMessageDialog(doc->GetOwnerWindow(), text, doc->GetAppCaption(), kMsgOkCancel) == IDOK;
}

void OutputMessageToUser(const std::string& text, const std::string& caption) {
  ShowError(text.c_str(), caption.c_str());
}

void PassMessageToUser(const char* text) { ShowError(text, nullptr); }

int EngineErrorToUser(void* /*owner*/, const char* text) {
  ShowError(text, nullptr);
  return 0;
}

// In an unattended run every modal dialog that comes up is answered with its
// default button after its texts are written to standard error.
void AnswerWaitingDialog(HWND, UINT, UINT_PTR, DWORD) {
  HWND dialog = GetActiveWindow();
  if (dialog == nullptr) return;
  char cls[16] = {};
  GetClassNameA(dialog, cls, sizeof cls);
  if (std::strcmp(cls, kDialogClassName) != 0) return;
  char caption[128] = {}, text[600] = {};
  GetWindowTextA(dialog, caption, sizeof caption);
  GetDlgItemTextA(dialog, 200, text, sizeof text);
  WriteToStderr(caption, text);
  int id = IDCANCEL;
  HWND focus = GetFocus();
  char focusCls[16] = {};
  if (focus != nullptr && GetParent(focus) == dialog && GetClassNameA(focus, focusCls, sizeof focusCls) > 0 &&
      std::strcmp(focusCls, "Button") == 0) {
    id = GetDlgCtrlID(focus);
  } else {
    const LRESULT def = SendMessageA(dialog, DM_GETDEFID, 0, 0);
    if (HIWORD(def) == DC_HASDEFID) id = LOWORD(def);
  }
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
  if (IsWindow(dialog) && IsWindowVisible(dialog)) EndDialog(dialog, id);
}

// ---- The start-up steps the foundation calls ----

class AppStartupHooks : public StartupHooks {
 public:
  bool InitCompiler(KmDocBase& doc, unsigned workArea, unsigned longestString) override {
    // Without a model there is nothing to prepare yet.
    return doc.m_pModel == nullptr || ::InitCompiler(doc.m_pModel, workArea, longestString) == 0;
  }
  void FreeCompiler(KmDocBase& doc) override {
    if (doc.m_pModel) doc.m_pModel->DropAttachment(AttachmentSlot::kCompiler);
  }
  void Warning(KmDocBase& doc, const char* text) override {
    if (Unattended()) WriteToStderr(nullptr, text);
    else StartupHooks::Warning(doc, text);
  }
  void Error(KmDocBase& doc, const char* text) override {
    if (Unattended()) WriteToStderr(nullptr, text);
    else StartupHooks::Error(doc, text);
  }
  void GetDefaultPrinter(KmDocBase& doc) override {
    StartupHooks::GetDefaultPrinter(doc);
    ::GetDefaultPrinter(&GetPrintRunContext().printer, 1);
  }
  void EnumPrinterFonts(KmDocBase& /*doc*/) override {
    PrintRunContext& ctx = GetPrintRunContext();
    ctx.page.fontFaces.clear();
    if (ctx.printer.printerName.empty()) return;
    for (const PrinterFontFamily& f : GetPrinterFontFamilies(ctx.printer.printerName.c_str()))
      ctx.page.fontFaces.push_back(f.face);
  }
  void LoadSortOrderFile(KmDocBase& /*doc*/) override {
    CExplicitLibraryManager* m = AppLibraryManager();
    const std::string path = m ? m->GetSortTablePath() : std::string("kmw.srt");
    ::LoadSortOrderFile(path, tables_, switches_, [](const std::string& message) {
      ShowError(message.c_str(), nullptr);
    });
    SetActiveCollation(&tables_, &switches_);
  }
  const CollationSwitches& Switches() const { return switches_; }

 private:
  SortOrderTables tables_;
  CollationSwitches switches_;
};

AppStartupHooks g_startupHooks;

// The model takes the regional dates, the sort order and the user-function
// library the settings gave.
void ApplySettingsToModel(CKmDoc& doc) {
  CKmComposite* model = doc.m_pModel;
  if (model == nullptr) return;
  ApplyIntlDateSettings(doc.m_intl, ModelDateSettings(model));
  ApplyCollationToModel(model, g_startupHooks.Switches());
  CExplicitLibraryManager* m = AppLibraryManager();
  const std::string udf = m ? m->FindInProgramDir("kmw.udf") : std::string("kmw.udf");
  SetUdfLibraryPath(model, udf.c_str());
  DataAccess* data = GetDataAccess(model);
  data->sqlIniPath = m ? m->GetSqlIniPath() : std::string("kmwsql.ini");
  data->ini.useQeConnect = doc.m_settings.useQeConnect;
  data->ini.qeTraceFile = doc.m_settings.qeTraceFile;
  data->ini.qeTraceOptions = static_cast<uint16_t>(doc.m_settings.qeTraceOptions);
  data->ini.useDefaultDatabase = doc.m_settings.useDefaultDatabase;
  data->ini.alwaysLocalLog = doc.m_settings.alwaysLocalLog;
  data->ini.queryTimeout = doc.m_settings.queryTimeout;
}

// ---- The document and report-file steps of the command line ----

class DocumentCommandLineActions : public CommandLineActions {
 public:
  explicit DocumentCommandLineActions(CKmDoc& doc) : doc_(doc) {}

  bool ReadStartFile(const char* path, std::string* masterTable) override {
    char master[262] = {};
    BOOL fileRead = FALSE;
    doc_.ReadStartFile(path, master, sizeof master, &fileRead);
    *masterTable = master;
    return fileRead != FALSE;
  }
  BOOL DoFileNew(const char* masterTable, int passThrough, int ask, int fromQuery, int startMode) override {
    const int saved = doc_.m_nStartMode;
    doc_.m_nStartMode = startMode;
    const BOOL result = doc_.DoFileNew(masterTable, passThrough, ask, fromQuery);
    doc_.m_nStartMode = saved;
    return result;
  }
  bool LoadQueryFile(const char* path) override { return doc_.LoadQueryFile(path) != FALSE; }
  void PrepareForOpen() override {
    if (doc_.m_pRepIO != nullptr) doc_.m_pRepIO->m_bOlderLibrary = 0;
    ::GetDefaultPrinter(&GetPrintRunContext().printer, 1);
  }
  int OpenReport(const char* path) override {
    // Nobody is asked for a data source while the command line opens a report.
    DocSettings& s = doc_.m_settings;
    const int32_t savedNew = s.newReportAlwaysUseSameDS, savedRead = s.readReportAlwaysUseSameDS;
    s.newReportAlwaysUseSameDS = s.readReportAlwaysUseSameDS = 1;
    // The report's own data source is connected while it is read.
    if (doc_.m_pRepIO != nullptr) doc_.m_pRepIO->m_stream.connect = true;
    const int result = doc_.OpenReport(path);
    s.newReportAlwaysUseSameDS = savedNew;
    s.readReportAlwaysUseSameDS = savedRead;
    return result;
  }
  void FinishOpen(const char* reportName) override {
    std::snprintf(doc_.m_szReportName, sizeof doc_.m_szReportName, "%s", reportName);
    std::snprintf(doc_.m_szReportName2, sizeof doc_.m_szReportName2, "%s", reportName);
    PrintRunContext& ctx = GetPrintRunContext();
    if (doc_.m_pRepIO != nullptr) ctx.printToFile = doc_.m_pRepIO->m_stream.settings.printFileName;
    if (doc_.m_pPageSetup != nullptr) doc_.m_pPageSetup->OutputDestination = ctx.printToFile.empty() ? 0 : 2;
    doc_.FinishReportLoad(FALSE);
    doc_.m_nRunMode = 0;
  }
  void ShowError(UINT id, const char* a1, const char* a2) override {
    char text[600];
    std::snprintf(text, sizeof text, LoadResString(id).c_str(), a1 ? a1 : "", a2 ? a2 : "");
    ::ShowError(text, nullptr);
  }

 private:
  CKmDoc& doc_;
};

// The report reader reaches the data layer through these: the data source a
// table names is connected and made current while a report is read.
class AppStreamHooks : public StreamHooks {
 public:
  bool ConnectSource(KmDocBase& doc, const TableSourceGroup& group, bool /*check*/) override {
    if (doc.m_pModel == nullptr || group.sourceName.empty()) return true;
    DataAccess* data = GetDataAccess(doc.m_pModel);
    const char* name = group.sourceName.c_str();
    if (!data->IsConnected(name)) {
      const char* extra = g_app != nullptr && !g_app->GetConnectText().empty() ? g_app->GetConnectText().c_str() : nullptr;
      // Nobody can answer a log-on prompt in an unattended run.
      if (data->ConnectDataSource(name, !Unattended(), true, extra) != 1) return false;
    }
    data->SelectDataSource(name);
    return true;
  }
  // The table's columns as the data source lists them now; the stored
  // fields are then matched to them by name.
  bool OpenTable(KmDocBase& doc, uint32_t slot) override {
    CKmComposite* model = doc.m_pModel;
    if (model == nullptr || slot >= static_cast<uint32_t>(kMaxTables) || model->tableSlots[slot] == nullptr)
      return false;
    DataAccess* data = GetDataAccess(model);
    if (data->Current() == nullptr) return false;
    const char* statement = slot == 0 ? model->statementText : nullptr;
    FieldDef* last = nullptr;
    for (FieldDef* f = model->fieldList; f != nullptr; f = f->next) last = f;
    if (BuildSqlFieldList(model, slot, statement, nullptr, nullptr, true, nullptr, 0) != 0) return false;
    // The dictionary's entries join the columns; the reader keeps the field order.
    FieldDef* firstNew = last != nullptr ? last->next : model->fieldList;
    if (firstNew != nullptr) ReadReportDictionary(model, &firstNew, model->tableSlots[slot]->alias, slot, true);
    // Only the fields the report names are on its layout; the reader places them.
    for (FieldDef* f = model->fieldList; f != nullptr; f = f->next)
      if (f->table == slot && !(f->flags & kFieldAlias)) f->head.flags &= ~kItemKindField;
    return true;
  }
  void ShowError(KmDocBase& doc, const std::string& text) override {
    if (Unattended()) WriteToStderr(nullptr, text.c_str());
    else StreamHooks::ShowError(doc, text);
  }
  void ShowWarning(KmDocBase& doc, const std::string& text) override {
    if (Unattended()) WriteToStderr(nullptr, text.c_str());
    else StreamHooks::ShowWarning(doc, text);
  }
};

AppStreamHooks g_streamHooks;

// The run-and-end switch, told from an absolute path that merely begins with "/g".
bool IsGoToken(const char* arg) {
  return arg != nullptr && arg[0] == '/' && (arg[1] == 'G' || arg[1] == 'g') && !NamesExistingFile(arg);
}

}  // namespace

CKmApp* AfxGetKmApp() { return g_app; }

namespace {
// A display the windows could open on: an X server's local socket (a remote
// server is taken on trust) or a Wayland socket.
bool DisplayReachable() {
  const char* x = std::getenv("DISPLAY");
  if (x != nullptr && *x != '\0') {
    const char* colon = std::strrchr(x, ':');
    if (colon == nullptr) return false;
    if (colon != x && !(colon - x == 4 && std::strncmp(x, "unix", 4) == 0)) return true;
    const std::string number(colon + 1, std::strcspn(colon + 1, "."));
    if (!number.empty() && std::filesystem::exists("/tmp/.X11-unix/X" + number)) return true;
  }
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (wayland != nullptr && *wayland != '\0') {
    if (wayland[0] == '/') return std::filesystem::exists(wayland);
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime != nullptr && std::filesystem::exists(std::string(runtime) + "/" + wayland);
  }
  return false;
}
}  // namespace

BOOL DispatchFileCommand(CKmDoc& doc, UINT id) {
  switch (id) {
    case kCmdFileNew:
      doc.NewReportCommand(TRUE, FALSE);
      return TRUE;
    case kCmdFileNewUserSql:
      doc.NewReportCommand(TRUE, TRUE);
      return TRUE;
    case kCmdFileOpen:
      doc.OnFileOpen();
      return TRUE;
    case kCmdFilePrint:
      if (doc.m_bReportOpen) PrintCommand(doc);
      return TRUE;
    case kCmdFilePreview:
      if (doc.m_bReportOpen) PreviewCommand(doc);
      return TRUE;
    default:
      return DispatchSaveCommand(doc, id);
  }
}

void ChooseWindowPlatform() {
  // The toolkit wants a private runtime folder; without one from the session
  // (a server, a cron job) the program's own private folder serves.
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime == nullptr || *runtime == '\0') {
    const std::string own = PrivateTempDirectory();
    if (!own.empty()) setenv("XDG_RUNTIME_DIR", own.substr(0, own.size() - 1).c_str(), 1);
  }
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform != nullptr && *platform != '\0') return;
  if (!DisplayReachable()) setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

void CKmApp::CreateHelpers(CKmDoc& doc) {
  doc.CreateReportTables();
  if (doc.m_pRepIO == nullptr) {
    m_pRepIO.reset(new CKmRepIO(&doc));
    doc.m_pRepIO = m_pRepIO.get();
  }
  if (doc.m_pRepIO->m_stream.hooks == nullptr) doc.m_pRepIO->m_stream.hooks = &g_streamHooks;
  m_pDocActions.reset(new DocumentCommandLineActions(doc));
  if (m_pActions == &m_defaultActions) m_pActions = m_pDocActions.get();
}

CKmApp::CKmApp() : m_pLibraryManager(new CExplicitLibraryManager) {
  g_app = this;
  SetAppLibraryManager(m_pLibraryManager.get());
}

CKmApp::~CKmApp() {
  FreeOptionalDll();
  if (GetPrintRunContext().driver != nullptr) {
    FreePrinterLibrary(GetPrintRunContext().driver);
    GetPrintRunContext().driver = nullptr;
  }
  if (AppLibraryManager() == m_pLibraryManager.get()) SetAppLibraryManager(nullptr);
  if (g_app == this) g_app = nullptr;
}

int CKmApp::ReportCommandLineError(UINT id) {
  CKmAppCommandLine::ReportCommandLineError(id);
  const std::string text = LoadResString(id);
  ShowError(text.c_str(), nullptr);
  return 0;
}

BOOL CKmApp::InitInstance(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (IsGoToken(argv[i])) m_bUnattended = TRUE;
  ChooseWindowPlatform();
  UiStartApplication(&argc, argv);
  InstallBuiltinFunctionHandlers();
  SetStartupHooks(&g_startupHooks);
  SetDbErrorSink(DbErrorToUser);
  SetDbQuestionSink(DbQuestionToUser);
  SetOutputMessageSink(OutputMessageToUser);
  SetRecordPassMessageSink(PassMessageToUser);
  SetEngineErrorDisplay(EngineErrorToUser);
  if (m_bUnattended) SetTimer(nullptr, 0, kAnswerTimerMs, AnswerWaitingDialog);

  if (GetPrivateProfileIntA("Preferences", "ShowSplash", 1, SettingsIniPath().c_str()) == 0)
    m_bSplashEnabled = FALSE;

  m_pDoc = GetActiveKmDoc();
  if (m_pDoc == nullptr) {
    m_pOwnDoc.reset(new CKmDoc);
    m_pDoc = m_pOwnDoc.get();
  }
  // The frame and its view are made hidden; the start-up decides when they show.
  m_pFrame.reset(new CKmMainFrame);
  if (m_pFrame->Create(m_pDoc, m_szTitle)) {
    AfxGetThread()->m_pMainWnd = m_pFrame.get();
    CKmDoc* doc = m_pDoc;
    if (!m_pFrame->m_hooks.startChoice)
      m_pFrame->m_hooks.startChoice = [doc](CKmMainFrame&) { doc->DoFileNew(nullptr, 1, TRUE, FALSE); };
    if (!m_pFrame->m_hooks.command)
      m_pFrame->m_hooks.command = [doc](CKmMainFrame&, UINT id) { return DispatchFileCommand(*doc, id); };
  } else {
    m_pFrame.reset();
  }
  CreateHelpers(*m_pDoc);
  const std::string line = CommandLineFromArgs(argc, argv);
  const BOOL ok = FirstStartup(*m_pDoc, line.c_str(), 1);
  if (!ok && !m_bRunAndEnd && m_nExitCode == 0) m_nExitCode = 1;
  // A program that is not to run on takes its frame down now, which writes
  // the settings back.
  if (!ok && m_pFrame && IsWindow(m_pFrame->m_hWnd)) DestroyWindow(m_pFrame->m_hWnd);
  return ok;
}

BOOL CKmApp::FirstStartup(CKmDoc& doc, const char* commandLine, int showCommand) {
  m_pDoc = &doc;
  std::string owner, organisation;
  ReadRegisteredUser(&owner, &organisation);
  // A value that would not fit with its terminator is not taken.
  if (owner.size() + 1 < sizeof m_szRegisteredOwner)
    std::snprintf(m_szRegisteredOwner, sizeof m_szRegisteredOwner, "%s", owner.c_str());
  else
    m_szRegisteredOwner[0] = '\0';

  if (!InitSettings(doc)) return FALSE;
  // The band-line table exists only now; the layout works on it from here.
  if (doc.m_pLayout != nullptr && doc.m_bandLines.lines != nullptr) doc.m_pLayout->AttachBandLineTable(&doc.m_bandLines);
  ApplySettingsToModel(doc);
  SetLibraryFolder(doc.m_settings.libDir);

  PrintRunContext& ctx = GetPrintRunContext();
  if (ctx.driver == nullptr) {
    ctx.driver = LoadPrinterLibrary(m_pLibraryManager->GetPageDriverPath().c_str(), kPageDriverApiVersion);
    if (ctx.driver == nullptr) return FALSE;
  }

  BOOL fileGiven = FALSE;
  if (!ParseCommandLine(commandLine, &fileGiven)) return FALSE;
  CKmMainFrame* frame = doc.m_pMainFrame;
  const bool splash = !fileGiven && g_nGoSwitch == 0 && showCommand != kShowMinNoActive && m_bSplashEnabled;
  if (splash && frame != nullptr) frame->ShowTitleWindow(TRUE);
  ApplyLibraryArgument();
  LoadCommandLineDll();
  if (frame != nullptr) {
    frame->m_wndStatusBar.ShowReportName();
    if (frame->m_hWnd != nullptr) SetWindowTextA(frame->m_hWnd, m_szTitle);
  }
  auto showFrame = [&] {
    if (frame == nullptr) return;
    frame->RestorePlacement();
    frame->m_wndStatusBar.SetSinglePane(FALSE);
  };
  if (!splash) showFrame();

  RunCommandLine();

  if (m_bReportLoaded || !splash) {
    showFrame();
    if (doc.m_pView != nullptr) doc.m_pView->UpdateCaretAndStatus(0);
  } else if (frame != nullptr) {
    const UINT delay =
        GetPrivateProfileIntA("Preferences", "Splash", 1, SettingsIniPath().c_str()) == 0 ? 100 : 3000;
    if (!frame->BeginDeferredStart(delay)) {
      // Shown at once; the title window goes too, or it would stay on top.
      frame->ShowTitleWindow(FALSE);
      showFrame();
      if (frame->m_hooks.startChoice) frame->m_hooks.startChoice(*frame);
    }
  }

  if (g_nGoSwitch != 0) {
    if (m_bReportLoaded) {
      doc.m_nRunMode = 0;
      m_bRunAndEnd = TRUE;
      RunOutputWithRecovery(doc, 0);
      if (!ctx.lastRunPrinted) {
        ShowError(LoadResString(kReportNotPrinted).c_str(), nullptr);
        m_nExitCode = 1;
      }
      return FALSE;
    }
    ShowError(LoadResString(kGoNeedsReport).c_str(), nullptr);
    // Nobody is there to make the start choice: the run ends, unprinted.
    if (m_bUnattended) {
      m_nExitCode = 1;
      return FALSE;
    }
  }
  return TRUE;
}

int CKmApp::Run() {
  MSG msg;
  while (AfxGetThread()->GetMainWnd() != nullptr && GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return m_nExitCode;
}

int CKmApp::ExitInstance() {
  // Without a frame nobody else writes the settings back.
  if (m_pDoc != nullptr && m_pDoc->m_bSettingsRead) SaveSettingsOnExit(*m_pDoc);
  SetStartupHooks(nullptr);
  SetDbErrorSink(nullptr);
  SetDbQuestionSink(nullptr);
  SetOutputMessageSink(nullptr);
  SetRecordPassMessageSink(nullptr);
  SetEngineErrorDisplay(nullptr);
  // The frame goes before the document it shows; then the report itself.
  m_pFrame.reset();
  if (m_pOwnDoc) {
    m_pDoc = nullptr;
    m_pOwnDoc.reset();
  }
  return m_nExitCode;
}
