#include "app/text_file_command.h"
#include "app/app.h"
#include "dialogs/band_line_dialogs.h"
#include "app/builtin_document_state.h"
#include "app/export_command.h"

#include "app/chart_commands.h"
#include "app/field_commands.h"
#include "app/option_commands.h"
#include "app/frame_bars.h"
#include "app/open_report.h"

#include "app/save_report.h"
#include "app/file_commands.h"
#include "app/recent_files.h"
#include "app/data_source_choice.h"
#include "dialogs/table_list_dialog.h"

#include "app/picture_images.h"
#include "app/print_run.h"
#include "app/install_links.h"
#include "app/run_hooks.h"
#include "app/document.h"
#include "app/library_dialogs.h"
#include "data/data_access.h"
#include "data/db_errors.h"
#include "data/report_dictionary.h"
#include "data/reportview.h"
#include "data/table_fields.h"
#include "dialogs/table_chooser.h"
#include "app/reselect_on_open.h"
#include "app/file_dialogs.h"
#include "data/master_joins.h"
#include "data/open_tables.h"
#include "model/reselect_tables.h"
#include "app/table_places_on_open.h"
#include "app/open_report_conversion.h"
#include "expr/udf.h"
#include "layout/fonts.h"
#include "platform/win/help.h"
#include "engine/output_messages.h"
#include "engine/printer_library.h"
#include "expr/collation.h"
#include "expr/compiler_state.h"
#include "expr/date_settings.h"
#include "expr/functions_common.h"
#include "expr/udf_library.h"
#include "layout/layout_records.h"
#include "files/member_source.h"
#include "files/report_io.h"
#include "files/report_stream.h"
#include "foundation/heap_strings.h"
#include "foundation/library_file.h"
#include "foundation/message_dialog.h"
#include "foundation/settings.h"
#include "foundation/startup.h"
#include "foundation/startup_hooks.h"
#include "platform/win/wsprintf.h"
#include "core/composite.h"
#include "core/engine_errors.h"
#include "model/record_pass.h"
#include "model/record_sort.h"
#include "data/select_builder.h"
#include "platform/win/tempdir.h"
#include "platform/printer/printer_info.h"
#include "platform/win/codepage_text.h"
#include "platform/win/dialog.h"
#include "platform/win/profile.h"
#include "platform/win/settings_watch.h"
#include "platform/win/resources.h"
#include "platform/win/ui_app.h"
#include "engine/report_run.h"
#include "platform/win/unattended.h"
#include "platform/win/window.h"

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <filesystem>

int g_nGoSwitch = 0;

namespace {

CKmApp* g_app = nullptr;

constexpr int kShowMinNoActive = 7;
constexpr unsigned kGoNeedsReport = 618;
constexpr unsigned kReportNotPrinted = 17001;
constexpr unsigned kLibraryUnreadable = 62305;
constexpr unsigned kInvalidLibrary = 62402;  // "Invalid report library"

// ---- Where messages go ----

bool Unattended() { return IsUnattendedRun(); }

void WriteToStderr(const char* caption, const char* text) { WriteUnattendedMessage(caption, text); }

void ShowError(const char* text, const char* caption) { ShowProgramError(text, caption); }

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
  // The status line keeps its last message, so that a redraw shows it again.
  void AttachStatusBuffer(KmDocBase& doc) override {
    CKmDoc* d = dynamic_cast<CKmDoc*>(&doc);
    if (d != nullptr && d->m_pMainFrame != nullptr) d->m_pMainFrame->m_wndStatusBar.Attach(d);
  }
  void FreeStatusBuffer(KmDocBase& doc) override {
    CKmDoc* d = dynamic_cast<CKmDoc*>(&doc);
    if (d != nullptr && d->m_pMainFrame != nullptr) d->m_pMainFrame->m_wndStatusBar.FreeBuffer();
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
  void ConvertOpenReport(KmDocBase& doc, int oldSystem, int newSystem) override {
    ConvertOpenReportLayout(doc, oldSystem, newSystem);
  }
  // Shut-down: help is told to close, the fonts the objects hold and the user functions go.
  void QuitHelp(KmDocBase& doc) override { WinHelpA(doc.GetOwnerWindow(), doc.GetHelpFileName(), HELP_QUIT, 0); }
  void ReleaseObjectFonts(KmDocBase& doc) override {
    if (doc.m_pLayout != nullptr && doc.m_pFonts != nullptr) ::ReleaseObjectFonts(*doc.m_pLayout, *doc.m_pFonts, false, false);
  }
  // The model is emptied at exit: its query closed, the run's work files
  // removed, its fields, tables, statement and text table gone.
  void ClearModel(KmDocBase& doc) override {
    CKmDoc* d = dynamic_cast<CKmDoc*>(&doc);
    if (d == nullptr || d->m_pModel == nullptr) return;
    if (d->m_pModel->FindAttachment<DataAccess>() != nullptr) CloseReportQuery(d->m_pModel);
    ::RemoveWorkFiles(d->m_pModel);
    d->EmptyModel();
  }
  void DeleteAllUdfs(KmDocBase& doc) override {
    if (doc.m_pModel != nullptr) ::DeleteAllUdfs(doc.m_pModel);
  }
  void ResetPageOrigin(KmDocBase& /*doc*/) override { ::ResetPageOrigin(GetPrintRunContext().page); }
  void FreeTextItems(KmDocBase& doc) override {
    if (CKmDoc* d = dynamic_cast<CKmDoc*>(&doc)) d->FreeTextItems();
  }
  // The printer's font families go; the document's own font table stays
  // with the document, which frees it.
  void FreePrinterFonts(KmDocBase& /*doc*/) override { GetPrintRunContext().page.fontFaces.clear(); }
  void FreePicturesAndItems(KmDocBase& doc) override {
    if (CKmDoc* d = dynamic_cast<CKmDoc*>(&doc)) d->FreePicturesAndItems();
  }
  void FreeLinesAndBoxes(KmDocBase& doc) override {
    if (CKmDoc* d = dynamic_cast<CKmDoc*>(&doc)) d->FreeLinesAndBoxes();
  }
  void ReleaseCharts(KmDocBase& doc) override {
    if (CKmDoc* d = dynamic_cast<CKmDoc*>(&doc)) d->ReleaseCharts();
  }
  void ClearExportFormats(KmDocBase& doc) override {
    if (CKmDoc* d = dynamic_cast<CKmDoc*>(&doc)) d->ClearExportFormats();
  }
  void RemoveWorkFiles(KmDocBase& doc) override {
    if (doc.m_pModel != nullptr) ::RemoveWorkFiles(doc.m_pModel);
  }
  void FreeConnectOverrides(KmDocBase& doc) override {
    if (doc.m_pModel != nullptr && doc.m_pModel->FindAttachment<DataAccess>() != nullptr)
      GetDataAccess(doc.m_pModel)->FreeConnectOverrides();
  }
  const CollationSwitches& Switches() const { return switches_; }

 private:
  SortOrderTables tables_;
  CollationSwitches switches_;
};

AppStartupHooks g_startupHooks;
}  // namespace

StartupHooks& GetAppStartupHooks() { return g_startupHooks; }

namespace {

// The model takes the regional dates, the sort order, the user-function
// library and the record sort's pool size the settings gave.
void ApplySettingsToModel(CKmDoc& doc) {
  CKmComposite* model = doc.m_pModel;
  if (model == nullptr) return;
  ApplyIntlDateSettings(doc.m_intl, ModelDateSettings(model));
  TakeBuiltinDocumentState(doc);
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
  ApplySqlColumnLimits(model, doc.m_settings);
  // Null order and null numbers keep the model's own defaults.
  SetRecordSortSettings(model, static_cast<int32_t>(doc.m_settings.sortPoolSize), 0, 1);
}

// ---- The document and report-file steps of the command line ----

bool ConnectStoredSource(KmDocBase& doc, const std::string& name);

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
  // The library named on the command line: its members are listed and looked
  // up; the member chosen is then read by the document's library reader.
  // The library opened read-only, as the library's Open dialog opens it:
  // its messages ("Cannot open library file" with the file's name) and the
  // kinds it takes.
  bool OpenCommandLineLibrary(const char* path) override {
    CloseLibrary();
    engine_ = doc_.LibraryEngine();
    if (engine_ == nullptr || path == nullptr || *path == '\0') {
      libError_ = "cannot open file";
      return FailLibrary(path);
    }
    std::string opened = path;
    BOOL older = FALSE;
    if (!OpenReportLibrary(doc_, doc_.GetOwnerWindow(), &opened, &lib_, kLibOpenRead, &older)) {
      lib_ = nullptr;
      // Opened but of a kind that holds no reports: said here.
      if (engine_->LibLastError() == 0) ShowError(kInvalidLibrary, nullptr, nullptr);
      return false;
    }
    return true;
  }
  void CloseLibrary() override {
    if (engine_ != nullptr && lib_ != nullptr) engine_->LibFileClose(lib_);
    lib_ = nullptr;
  }
  bool ListMembers(std::vector<std::string>* names) override {
    if (lib_ == nullptr) return false;
    LibMember* list = engine_->LibListMembers(lib_);
    for (LibMember* m = list; m != nullptr; m = m->next) names->push_back(m->name);
    FreeLibMemberList(list);
    return true;
  }
  bool FindMember(const char* name, long* firstRecord, std::string* errorText) override {
    if (lib_ == nullptr) return false;
    LibMember* entry = engine_->LibFindMember(lib_, name);
    if (entry == nullptr) {
      *errorText = engine_->LibErrorText();
      return false;
    }
    *firstRecord = static_cast<long>(entry->firstRecord);
    member_ = entry->name;
    memberSource_ = ReadMemberDataSourceName(*engine_, lib_, entry->firstRecord);
    FreeLibMemberList(entry);
    CloseLibrary();
    return true;
  }
  void SetLibraryEntry(long /*firstRecord*/) override {
    // The library reader finds the member again by the name the document holds.
    std::snprintf(doc_.m_szReportName2, sizeof doc_.m_szReportName2, "%s", member_.c_str());
    // A member is read over the data source it was saved with, connected
    // first, as the library's Open dialog does with the stored name.
    if (!memberSource_.empty()) ConnectStoredSource(doc_, memberSource_);
  }
  ~DocumentCommandLineActions() override { CloseLibrary(); }
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
    // A data source named with /N stands for the one the report names.
    CKmRepIO* io = doc_.m_pRepIO;
    const bool override = io != nullptr && g_app != nullptr && !g_app->CommandLineDsn().empty();
    if (override) {
      CopyBounded(io->m_szDataSource, sizeof io->m_szDataSource, g_app->CommandLineDsn().c_str());
      io->m_bKeepOverride = TRUE;
    }
    const int result = doc_.OpenReport(path);
    if (override) io->m_bKeepOverride = FALSE;
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
  bool FailLibrary(const char* path) {
    ShowError(kLibraryUnreadable, path != nullptr ? path : "", libError_.c_str());
    return false;
  }
  CKmDoc& doc_;
  LibraryFile* engine_ = nullptr;
  LibFileControlBlock* lib_ = nullptr;
  std::string member_;
  std::string memberSource_;
  std::string libError_;
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
      // Nobody can answer a log-on prompt in an unattended run.
      if (data->ConnectDataSource(name, !Unattended(), true, nullptr) != 1) return false;
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
    // A statement's master lists the columns of what it sends (the SELECT
    // of a REPORTVIEW, named by its list), as the reader parsed it.
    const bool sql = slot == 0 && model->statementText != nullptr && model->statementText[0] != 0;
    const char* statement =
        sql ? model->statementText + std::min<size_t>(model->statementOffset, std::strlen(model->statementText))
            : nullptr;
    const char* const* names = sql ? ReportViewNames(model) : nullptr;
    FieldDef* last = nullptr;
    size_t before = 0;
    for (FieldDef* f = model->fieldList; f != nullptr; f = f->next) {
      last = f;
      before += f->table == slot;
    }
    // A lookup table that has gone may be chosen again from the table list:
    // the question stands in for the driver's message then.
    const bool mayReselect = slot != 0 && !Unattended() && !data->IsFileDataSource();
    char error[600] = {};
    // A desktop file stored beside the master is looked for there first.
    if (slot != 0 && data->IsFileDataSource() &&
        OpenTableFromStoredPlaces(doc, slot, [&] {
          return BuildSqlFieldList(model, slot, statement, nullptr, names, true, nullptr, 0) == 0;
        })) {
      ReadOpenedTableFields(doc, slot, last);
      return true;
    }
    while (BuildSqlFieldList(model, slot, statement, nullptr, names, true, mayReselect ? error : nullptr,
                             mayReselect ? static_cast<int>(sizeof error) : 0) != 0) {
      std::string path = model->tableSlots[slot]->path;
      if (!mayReselect) return false;
      // That question is the only one: anything but a table chosen ends the reading.
      if (!ReselectRelatedTable(&doc, &path)) {
        if (doc.m_pRepIO != nullptr) doc.m_pRepIO->m_stream.tableDeclined = true;
        return false;
      }
      std::snprintf(model->tableSlots[slot]->path, sizeof model->tableSlots[slot]->path, "%s", path.c_str());
      doc.SetModifiedFlag(TRUE);
    }
    // The result's names are checked as when the statement is typed; the
    // read ends with that one message.
    if (const int rc = sql ? CheckResultFieldNames(model, slot, before) : 0) {
      ShowError(doc, model->GetEngineErrorText(rc));
      if (doc.m_pRepIO != nullptr) doc.m_pRepIO->m_stream.tableDeclined = true;
      return false;
    }
    ReadOpenedTableFields(doc, slot, last);
    return true;
  }
  static void ReadOpenedTableFields(KmDocBase& doc, uint32_t slot, FieldDef* last) {
    CKmComposite* model = doc.m_pModel;
    // The dictionary's entries join the columns; the reader keeps the field order.
    FieldDef* firstNew = last != nullptr ? last->next : model->fieldList;
    if (slot == 0 && model->statementText != nullptr && model->statementText[0] != 0) LoadReportDictionary(model, true);
    else if (firstNew != nullptr) ReadReportDictionary(model, &firstNew, model->tableSlots[slot]->alias, slot, true);
    // Only the fields the report names are on its layout; the reader places
    // them. The others stay hidden, also in the file when it is saved.
    for (FieldDef* f = model->fieldList; f != nullptr; f = f->next)
      if (f->table == slot && !(f->flags & kFieldAlias)) MarkFieldUnplaced(f);
  }
  std::string AskForPictureFile(KmDocBase& doc, const std::string& stored) override {
    return AskForPictureOnOpen(doc, stored);
  }
  // A picture found on open gets its image, so it shows and prints.
  void LoadPicture(KmDocBase& doc, PictureItem& picture) override {
    LoadPictureImage(doc, picture);
  }
  bool ReselectTable(KmDocBase& doc, uint32_t slot) override {
    return ReselectTableOnOpen(doc, slot, TypedTableChooser());
  }
  // "Try another Data Source?", then the data source choice.
  bool AskAnotherDataSource(KmDocBase& doc) override {
    auto* d = dynamic_cast<CKmDoc*>(&doc);
    if (d == nullptr || doc.m_pModel == nullptr) return false;
    DataAccess* data = GetDataAccess(doc.m_pModel);
    const char* current = data->GetCurrentDataSourceName();
    const std::string remembered = current != nullptr ? current : "";
    DataSourceQuestion q;
    q.doc = &doc;
    q.promptSuppressed = Unattended();
    q.sqlReport = IsSqlReport(doc.m_pModel);
    q.masterPath = doc.m_pModel->tableSlots[0] != nullptr ? doc.m_pModel->tableSlots[0]->path : "";
    q.currentSource = remembered.c_str();
    q.context = d;
    q.choose = [](void* c) { return static_cast<CKmDoc*>(c)->ChooseDataSource(TRUE); };
    q.select = [](void* c, const char* name) {
      GetDataAccess(static_cast<CKmDoc*>(c)->m_pModel)->SelectDataSource(name != nullptr && *name ? name : nullptr);
    };
    return ::AskAnotherDataSource(q) == 0 && data->Current() != nullptr;
  }
  // The message, then the Open dialog in the data folder.
  bool AskForTextFile(KmDocBase& doc, std::string* path, int code) override {
    auto* d = dynamic_cast<CKmDoc*>(&doc);
    if (d == nullptr || Unattended()) return StreamHooks::AskForTextFile(doc, path, code);
    ReselectServices s;
    s.doc = &doc;
    s.model = doc.m_pModel;
    s.context = d;
    s.status = [](void* c, const char* text) { static_cast<CKmDoc*>(c)->SetStatusText(text); };
    s.openFile = [](void* c, const char* title, const char* filter, const char* dir, std::string* chosen) {
      CKmDoc& owner = *static_cast<CKmDoc*>(c);
      if (!RunOpenFileDialogText(owner, owner.GetOwnerWindow(), dir, filter, title)) return false;
      *chosen = owner.m_files.chosenPath;
      return true;
    };
    s.showError = [](void* c, const char* text) { static_cast<CKmDoc*>(c)->ErrorBox1("%s", text); };
    return ::AskForTextFile(s, path, code, d->m_settings.dataDir) == 0;
  }
  void ShowError(KmDocBase& doc, const std::string& text) override {
    if (Unattended()) {
      WriteToStderr(nullptr, text.c_str());
      return;
    }
    // The user is told which report could not be read.
    const std::string name = doc.m_szReportName2;
    StreamHooks::ShowError(doc, name.empty() || text.find(name) != std::string::npos ? text : text + "\r\n" + name);
  }
  // The data source's table list, once it is there; null: the typed name.
  void ShowWarning(KmDocBase& doc, const std::string& text) override {
    if (Unattended()) WriteToStderr(nullptr, text.c_str());
    else StreamHooks::ShowWarning(doc, text);
  }
};

AppStreamHooks g_streamHooks;
}  // namespace

StreamHooks& GetAppStreamHooks() { return g_streamHooks; }

namespace {

// Connects and selects a data source the way a report being read does.
bool ConnectStoredSource(KmDocBase& doc, const std::string& name) {
  TableSourceGroup group;
  group.sourceName = name;
  return g_streamHooks.ConnectSource(doc, group, false);
}

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
      doc.m_nStartMode = FileNewPreference();
      doc.NewReportCommand(TRUE, FALSE);
      return TRUE;
    case kCmdFileNewUserSql:
      // The preference decides how a user-SQL report starts.
      doc.m_nStartMode = FileNewPreference();
      doc.NewReportCommand(FALSE, TRUE);
      return TRUE;
    case kCmdFileOpen:
      doc.OnFileOpen();
      return TRUE;
    case kCmdFilePrint:
      // The report's data source is connected and current before it runs.
      if (doc.m_bReportOpen && HaveDataSource(doc)) PrintCommand(doc);
      return TRUE;
    case kCmdFilePrintNow:
      if (doc.m_bReportOpen && HaveDataSource(doc)) PrintButtonCommand(doc);
      return TRUE;
    case kCmdFileExport:
      OnFileExport(doc);
      return TRUE;
    case kCmdFilePreview:
      if (doc.m_bReportOpen && HaveDataSource(doc)) PreviewCommand(doc);
      return TRUE;
    default:
      if (DispatchOptionCommand(doc, id)) return TRUE;
      if (DispatchDataCommand(doc, id) || DispatchFieldCommand(doc, id) || DispatchFileListCommand(doc, id)) return TRUE;
      return DispatchChartCommand(doc, id) || DispatchTextFileCommand(doc, id) || DispatchSaveCommand(doc, id);
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
  m_pDocActions.reset(new DocumentCommandLineActions(doc));
  m_pBandLineDialogs.reset(new DocBandLineDialogs(doc));
  if (m_pActions == &m_defaultActions) m_pActions = m_pDocActions.get();
}

CKmApp::CKmApp() : m_pLibraryManager(new CExplicitLibraryManager), m_pRecentFiles(new CKmRecentFileList) {
  static_assert(sizeof kAppTitle <= sizeof m_szTitle, "the title field holds the title");
  std::memcpy(m_szTitle, kAppTitle, sizeof kAppTitle);
  g_app = this;
  SetAppLibraryManager(m_pLibraryManager.get());
}

void CKmApp::DropBars() {
  if (!m_pBars) return;
  if (m_pDoc != nullptr && m_pDoc->m_pBars == m_pBars.get()) m_pDoc->m_pBars = nullptr;
  m_pBars.reset();
}

CKmApp::~CKmApp() {
  RemoveFileCommands();
  if (&GetBandLineDialogs() == m_pBandLineDialogs.get()) SetBandLineDialogs(nullptr);
  // As in ExitInstance: the frame shows the document, so it goes first
  // (members alone would free the document before its frame).
  DropBars();
  m_pFrame.reset();
  if (m_pOwnDoc) {
    m_pDoc = nullptr;
    m_pOwnDoc.reset();
  }
  FreeOptionalDll();
  if (GetPrintRunContext().driver != nullptr) {
    FreePrinterLibrary(GetPrintRunContext().driver);
    GetPrintRunContext().driver = nullptr;
  }
  if (AppLibraryManager() == m_pLibraryManager.get()) SetAppLibraryManager(nullptr);
  if (g_app == this) g_app = nullptr;
  if (m_bUnattended) SetUnattendedRun(false);
}

void CKmApp::AddToRecentFileList(const char* path) { m_pRecentFiles->Add(path); }

int CKmApp::ReportCommandLineError(UINT id) {
  CKmAppCommandLine::ReportCommandLineError(id);
  const std::string text = LoadResString(id);
  ShowError(text.c_str(), nullptr);
  return 0;
}

BOOL CKmApp::InitInstance(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (IsGoToken(argv[i])) m_bUnattended = TRUE;
  // Before anything can show a message: no box or dialog may wait for an answer.
  if (m_bUnattended) SetUnattendedRun(true);
  ChooseWindowPlatform();
  UiStartApplication(&argc, argv);
  StartPrinterSupport();
  InstallBuiltinFunctionHandlers();

  if (GetPrivateProfileIntA("Preferences", "ShowSplash", 1, SettingsIniPath().c_str()) == 0)
    m_bSplashEnabled = FALSE;

  m_pDoc = GetActiveKmDoc();
  if (m_pDoc == nullptr) {
    m_pOwnDoc.reset(new CKmDoc);
    m_pDoc = m_pOwnDoc.get();
  }
  // The frame and its view are made hidden; the start-up decides when they show.
  m_pFrame.reset(new CMainFrame);
  if (m_pFrame->Create(m_pDoc, m_szTitle)) {
    // Regional settings edited while the program runs reach the frame. A run
    // that ends the program has no use for it, and taking the watch down
    // again waits on the system for milliseconds.
    if (!m_bUnattended) WatchWinIni();
    AfxGetThread()->m_pMainWnd = m_pFrame.get();
    CKmDoc* doc = m_pDoc;
    m_pBars.reset(new FrameBars);
    if (m_pBars->Create(*m_pFrame, *doc)) {
      doc->m_pBars = m_pBars.get();
    } else {
      m_pBars.reset();
    }
  } else {
    m_pFrame.reset();
  }
  CreateHelpers(*m_pDoc);
  InstallProgramLinks(*m_pDoc, m_pBandLineDialogs.get());
  InstallFileCommands(*this);
  const std::string line = CommandLineFromArgs(argc, argv);
  const BOOL ok = FirstStartup(*m_pDoc, line.c_str(), 1);
  if (ok && m_bUnattended && m_pFrame) WatchWinIni();  // /G without a report: the program goes on
  if (m_pBars) m_pBars->ApplySettings();
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
    const PageDriverImageFuncs images = ImageLibrary::PrinterEntries();
    ctx.driver = LoadPrinterLibrary(m_pLibraryManager->GetPageDriverPath().c_str(), kPageDriverApiVersion, &images);
    if (ctx.driver == nullptr) return FALSE;
  }

  BOOL fileGiven = FALSE;
  if (!ParseCommandLine(commandLine, &fileGiven)) return FALSE;
  // The /E text goes with every connection the program makes from now on.
  if (doc.m_pModel != nullptr) GetDataAccess(doc.m_pModel)->appConnectText = GetConnectText();
  CMainFrame* frame = doc.m_pMainFrame;
  // Without a file the start choice is owed once the frame shows; the title
  // window shows meanwhile unless the settings switch it off.
  const bool startChoiceOwed = !fileGiven && g_nGoSwitch == 0 && showCommand != kShowMinNoActive;
  const bool splash = startChoiceOwed && m_bSplashEnabled;
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

  const long saidBeforeOpen = UnattendedMessagesWritten();
  RunCommandLine();

  if (m_bReportLoaded || !splash) {
    showFrame();
    if (doc.m_pView != nullptr) doc.m_pView->UpdateCaretAndStatus(0);
  }
  if (!m_bReportLoaded && startChoiceOwed && frame != nullptr) {
    const UINT delay = !splash || GetPrivateProfileIntA("Preferences", "Splash", 1, SettingsIniPath().c_str()) == 0
                           ? 100
                           : 3000;
    if (!frame->BeginDeferredStart(delay)) {
      // Shown at once; the title window goes too, or it would stay on top.
      frame->ShowTitleWindow(FALSE);
      showFrame();
      OfferStartChoice(doc);
    }
  }

  if (g_nGoSwitch != 0) {
    if (m_bReportLoaded) {
      doc.m_nRunMode = 0;
      m_bRunAndEnd = TRUE;
      // The program ends after this run: one copy reads its rows once.
      ctx.onlyRun = doc.m_pPageSetup == nullptr || doc.m_pPageSetup->Copies <= 1;
      // A report whose output is an export writes its file instead.
      const bool exported = ReportOutputIsExport(doc);
      if (exported) {
        if (!RunReportExport(doc)) m_nExitCode = 1;
        ctx.onlyRun = false;
        return FALSE;
      }
      const long said = UnattendedMessagesWritten();
      RunOutputWithRecovery(doc, 0);
      ctx.onlyRun = false;
      if (!ctx.lastRunPrinted) {
        // The run's own reason, when it gave one, is the only line.
        if (UnattendedMessagesWritten() == said) ShowError(LoadResString(kReportNotPrinted).c_str(), nullptr);
        m_nExitCode = ctx.lastRunMessage == kMsgNoRecords           ? kExitNoRecords
                      : ctx.lastRunMessage == kMsgStartPageTooLarge ? kExitStartPageTooLarge
                                                                    : kExitFailed;
      }
      return FALSE;
    }
    // A report that failed to open has said why; the switch's own text is
    // for a command line that named none.
    if (UnattendedMessagesWritten() == saidBeforeOpen || !m_bUnattended)
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
  StopWatchingWinIni();
  // Without a frame nobody else writes the settings back.
  if (m_pDoc != nullptr && m_pDoc->m_bSettingsRead) SaveSettingsOnExit(*m_pDoc);
  RemoveProgramLinks();
  RemoveFileCommands();
  // The bars and frame go before the document they show; then the report itself.
  DropBars();
  m_pFrame.reset();
  if (m_pOwnDoc) {
    m_pDoc = nullptr;
    m_pOwnDoc.reset();
  }
  return m_nExitCode;
}
