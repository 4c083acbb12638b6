#include "app/open_report.h"
#include "app/print_run.h"

#include "app/app.h"
#include "app/chart_commands.h"
#include "app/named_data_source.h"
#include "layout/page_metrics.h"
#include "app/save_report.h"

#include "engine/doc_upkeep.h"

#include "app/document.h"
#include "app/main_frame.h"
#include "app/file_checks.h"
#include "data/data_access.h"
#include "layout/band_line_layout.h"
#include "layout/fonts.h"
#include "layout/layout_records.h"
#include "expr/udf_library.h"
#include "foundation/library_file.h"
#include "foundation/library_file_io.h"
#include "files/report_io.h"
#include "foundation/heap_strings.h"
#include "foundation/startup.h"
#include "foundation/startup_hooks.h"
#include "foundation/text_helpers.h"
#include "foundation/message_dialog.h"
#include "core/composite.h"
#include "data/master_joins.h"
#include "data/query_desc.h"
#include "designer/design_view.h"
#include "designer/layout_editing.h"
#include "dialogs/edit_text.h"
#include "platform/ole/compound_file.h"
#include "platform/win/fileio.h"
#include "platform/win/beep.h"
#include "platform/win/caret.h"
#include "platform/win/message_box.h"
#include "platform/win/wsprintf.h"

#include <new>
#include <string>

namespace {

ReportOpenDialogs g_defaultDialogs;
ReportOpenDialogs* g_dialogs = nullptr;
NewReportSteps g_defaultSteps;
NewReportSteps* g_steps = nullptr;

constexpr UINT kIdsInUseCopy = 1174;
constexpr UINT kIdsReadingReport = 721;
constexpr UINT kIdsNotAReport = 62304;
constexpr UINT kIdsBadRevision = 722;
constexpr UINT kIdsFailedToOpen = 61712;
constexpr UINT kIdsSaveChanges = 92;

void ShowText(CKmDoc& doc, const std::string& text) { ShowDocMessage(doc, text, MB_ICONEXCLAMATION); }

// A text being typed in place when the question came keeps its typing.
void FocusTextEditor(CKmDoc& doc) {
  if (doc.m_pView == nullptr || doc.m_pView->TextEditor() == nullptr) return;
  HWND editor = doc.m_pView->TextEditor()->Window();
  if (IsWindow(editor)) SetFocus(editor);
}

// The same file on disk, however the two names spell it.
bool SamePath(const std::string& a, const char* b) {
  if (a.empty() || b == nullptr) return false;
  return NativePath(a) == NativePath(b) || LibOsSameFile(a.c_str(), b);
}

// Drops a temporary copy made for an earlier open: it was never saved into.
void DropTemporaryCopy(CKmDoc& doc) {
  if (doc.m_strTempFile.empty()) return;
  DeleteFileA(doc.m_strTempFile.c_str());
  doc.m_strTempFile.clear();
}

// The run settings of a report about to be read or made; whether it counts
// as changed is for the read or the New command to say.
void ResetReportRunSettings(CKmDoc& doc) {
  const BOOL modified = doc.IsModified();
  ResetRunSettings(&doc);
  doc.SetModifiedFlag(modified);
}

// The document's own report file object behind the entries the open path calls.
class RepIOEntries : public ReportFileIO {
 public:
  explicit RepIOEntries(CKmDoc& doc) : doc_(doc) {}
  int Load(CKmDoc& doc, const vt_ole::Storage& root) override {
    // The file object only reads the storage.
    int rc = doc.m_pRepIO->Load(const_cast<vt_ole::Storage&>(root));
    // A picture found elsewhere than stored changed the report.
    modified_ = doc.IsModified() || doc.m_pRepIO->m_stream.modifiedByLoading;
    return rc;
  }
  int WriteReport(CKmDoc& doc, vt_ole::Storage& root) override { return doc.m_pRepIO->WriteReport(root); }
  int ReadLibraryMember(CKmDoc& doc, const char* library) override {
    LibraryFile* engine = doc.LibraryEngine();
    if (engine == nullptr) return kReadFailed;
    int rc = doc.m_pRepIO->OpenLibraryMember(*engine, library, doc.m_szReportName2);
    modified_ = doc.IsModified() || doc.m_pRepIO->m_stream.modifiedByLoading;
    return rc;
  }
  int SaveToLibrary(CKmDoc& doc, const char* library, const char* member) override {
    LibraryFile* engine = doc.LibraryEngine();
    return engine != nullptr ? doc.m_pRepIO->SaveToLibrary(*engine, library, member) : 0;
  }
  BOOL ModifiedByLoading() const override { return modified_; }
  const char* LibErrorText() override { return doc_.m_pRepIO->LibErrorText(); }
  void ResetProperties(CKmDoc& doc) override { doc.m_pRepIO->ResetProperties(); }
  void SetKeepOverride(BOOL keep) override { doc_.m_pRepIO->m_bKeepOverride = keep; }
  void SetConnectWhileReading(BOOL connect) override { doc_.m_pRepIO->m_stream.connect = connect != FALSE; }

 private:
  CKmDoc& doc_;
  BOOL modified_ = FALSE;
};

}  // namespace

ReportFileIO* CKmDoc::FileIO() {
  if (m_pFileIO != nullptr) return m_pFileIO;
  if (m_pRepIO == nullptr) return nullptr;
  if (m_pRepIOEntries == nullptr) {
    m_pRepIOEntries = new (std::nothrow) RepIOEntries(*this);
  }
  return m_pRepIOEntries;
}

ReportOpenDialogs& GetReportOpenDialogs() { return g_dialogs ? *g_dialogs : g_defaultDialogs; }
void SetReportOpenDialogs(ReportOpenDialogs* dialogs) { g_dialogs = dialogs; }
bool ReportOpenDialogsSet() { return g_dialogs != nullptr; }
BOOL ReportOpenDialogs::SaveModified(CKmDoc& doc) { return doc.SaveModified(); }

BOOL CKmDoc::SaveModified() {
  if (m_pRun != nullptr) {
    // Not while the report prints.
    MessageBeep(0);
    return FALSE;
  }
  if (!m_bReportOpen || !IsModified()) return TRUE;
  std::string question =
      FormatDocString(kIdsSaveChanges, m_szReportName[0] ? m_szReportName : GetResString(120, 0));
  int answer = MessageBoxA(GetOwnerWindow(), question.c_str(), GetAppCaption(), MB_YESNOCANCEL | MB_ICONQUESTION);
  if (answer == IDNO) return TRUE;
  // File Save: a library member is written back, a report without a file
  // name asks for one.
  if (answer == IDYES) OnFileSave(*this);
  if (answer == IDYES && !IsModified()) return TRUE;
  // The report stays: the frame is not closing after all, and the status
  // line and caret are the report's again.
  if (m_pMainFrame != nullptr) m_pMainFrame->m_bClosing = FALSE;
  if (m_pView != nullptr) m_pView->UpdateCaretAndStatus(0);
  FocusTextEditor(*this);
  return FALSE;
}

void NewReportSteps::InitReportState(CKmDoc& doc) { ::InitReportState(&doc, false); }
BOOL NewReportSteps::EnsureDataSource(CKmDoc& doc, BOOL prompt, int passThrough, BOOL blank) {
  const CKmApp* app = AfxGetKmApp();
  if (app != nullptr && !app->CommandLineDsn().empty()) return EnsureCommandLineDataSource(doc);
  return doc.EnsureDataSource(prompt, passThrough != 0, blank);
}
BOOL NewReportSteps::OpenMasterTable(CKmDoc& doc, BOOL blank) { return doc.OpenMasterTable(blank); }
int NewReportSteps::SetupSqlMaster(CKmDoc& doc) { return doc.SetupStatementMaster(); }
BOOL NewReportSteps::RunWizard(CKmDoc& doc) { return doc.RunWizard(); }
BOOL NewReportSteps::RunReportScript(CKmDoc& doc) { return doc.RunReportScript(); }

NewReportSteps& GetNewReportSteps() { return g_steps ? *g_steps : g_defaultSteps; }
void SetNewReportSteps(NewReportSteps* steps) { g_steps = steps; }
bool NewReportStepsSet() { return g_steps != nullptr; }

int DocumentCommandState(const CKmDoc& doc, UINT id, BOOL inPlaceEdit) {
  switch (id) {
    case kCmdFileNew:
    case kCmdFileOpen:
      return inPlaceEdit ? 0 : 1;
    case kCmdFileSave:
    case kCmdFileSaveAs:
    case kCmdFilePageSetup:
    case kCmdFileExport:
    case kCmdFileSendMail:
      return doc.m_bReportOpen && !inPlaceEdit ? 1 : 0;
    case 30610:
    case 30620:
      // A user SELECT has no joins or sort order of the report's own.
      return doc.m_pModel != nullptr && IsSqlReport(doc.m_pModel) ? 0 : -1;
    case kCmdDataSources:
      // Nothing to choose when both new and opened reports keep their source.
      return doc.m_settings.newReportAlwaysUseSameDS && doc.m_settings.readReportAlwaysUseSameDS ? 0 : 1;
    case kCmdFileNewUserSql:
    case kCmdFileProperties:
    case kCmdShowSql:
    case kCmdLimitResult:
    case kCmdOptionsDataSource:
      return 1;
    case kCmdEditPasteLink:
    case kCmdEditLinks:
    case kCmdEditConvert:
    case kCmdObjectVerbs:
      // This platform holds no linked or embedded objects.
      return 0;
    default:
      return -1;
  }
}

BOOL CKmDoc::OpenReportDialog(BOOL* noOverrideOut) {
  SetWaitCursor(1);
  ReportOpenDialogs& dialogs = GetReportOpenDialogs();
  if (!dialogs.RunReportOpenDialog(*this, noOverrideOut) || !dialogs.SaveModified(*this)) {
    SetWaitCursor(0);
    return FALSE;
  }
  char path[261];
  CopyBounded(path, sizeof path, m_files.chosenPath);
  CopyBounded(m_files.currentFile, sizeof m_files.currentFile, path);
  ReportFileIO* io = FileIO();
  if (io) {
    io->SetKeepOverride(TRUE);
    io->SetConnectWhileReading(FALSE);
  }
  BOOL result = ReadReport(path);
  if (io) {
    io->SetKeepOverride(FALSE);
    io->SetConnectWhileReading(TRUE);
  }
  return result;
}

void CKmDoc::OnFileOpen() {
  if (OpenReportDialog(nullptr)) {
    UpdateViewsByHint(0, nullptr);
  } else if (!m_bReportOpen) {
    m_nBandPaneWidth = 0;
  }
}

BOOL CKmDoc::ReadReport(const char* path) {
  if (path == nullptr || *path == 0) return FALSE;
  if (!IsCompoundFile(path)) {
    CopyBounded(m_files.currentFile, sizeof m_files.currentFile, path);
    const int chosen = GetReportOpenDialogs().ChooseLibraryMember(*this, path);
    // The library's Open File button chose a report file instead.
    if (chosen == kLibraryChoseReportFile && IsCompoundFile(m_files.currentFile)) {
      const std::string file = m_files.currentFile;
      return ReadReport(file.c_str());
    }
    if (chosen < 1 && m_nLibEntry2 == -1) return FALSE;
  }
  SetModifiedFlag(FALSE);
  int opened = OpenReport(path);
  if (opened == 0) return FALSE;
  SetWaitCursor(1);
  if (opened == -1) {
    if (m_pModel) m_pModel->fieldRemovedHook = nullptr;
    EmptyModel();
    ClearReport(FALSE);
    SetWaitCursor(0);
    return FALSE;
  }
  FinishReportLoad(m_bTemplateMode);
  if (m_pView) m_pView->UpdateCaretAndStatus(0);
  ResetPageOrigin(GetPrintRunContext().page);
  SetWaitCursor(0);
  return TRUE;
}

int CKmDoc::OpenReport(const char* path) {
  SetWaitCursor(1);
  m_nLibEntry = m_nLibEntry2;
  if (m_bReportOpen) {
    DestroyInsertFieldPalette(*this);
    ForgetEditHoldings();
    // Fonts first: the text items that hold them go with the layout items.
    ReleaseReportFonts();
    FreeLayoutItems();
  }
  ReportFileIO* io = FileIO();
  if (!CreateReportTables() || io == nullptr) {
    SetWaitCursor(0);
    return -1;
  }
  if (!m_strUdfPath.empty()) SetUdfLibraryPath(m_pModel, m_strUdfPath.c_str());
  int udf = LoadUserFunctionLibrary(m_pModel);
  if (udf != kUdfLibOk) {
    ShowText(*this, UdfLibraryErrorText(m_pModel, udf));
    SetWaitCursor(0);
    return -1;
  }
  // Nothing of the report before is left for a file that does not set it.
  ResetReportRunSettings(*this);
  m_nRunState = 0;
  m_nRunMode = 0;

  int read = kReadFailed;
  if (!IsCompoundFile(path) && !IsReportLibraryName(path) && !IsTemplateLibraryName(path)) {
    // Neither a report file nor a library by its name: a damaged or cut-off
    // report is not read as a library.
    ShowText(*this, FormatDocString(kIdsNotAReport, path));
    SetWaitCursor(0);
    return -1;
  }
  if (!IsCompoundFile(path)) {
    ForgetCompoundFile();
    m_bLibraryMode = TRUE;
    read = io->ReadLibraryMember(*this, path);
    if (read == kReadOk) {
      DropTemporaryCopy(*this);
      SetPathName(path);
      SetTitleAlways(m_szReportName2);
    }
  } else {
    std::string openPath = path;
    bool copied = false;
    bool alreadyOpen = SamePath(m_strPathName, path);
    if (!alreadyOpen && IsCompoundFileInUse(path)) {
      // The data source chosen for the report is the copy's too: emptying
      // the document must not leave the copy's tables without one.
      DataAccess* data = m_pModel->FindAttachment<DataAccess>() != nullptr ? GetDataAccess(m_pModel) : nullptr;
      const char* current = data != nullptr ? data->GetCurrentDataSourceName() : nullptr;
      const std::string source = current != nullptr ? current : "";
      ClearReport(TRUE);
      std::string question = FormatDocString(kIdsInUseCopy, path);
      if (MessageBoxA(GetOwnerWindow(), question.c_str(), GetAppCaption(), MB_YESNO | MB_ICONQUESTION) != IDYES) {
        SetWaitCursor(0);
        return 0;
      }
      if (data != nullptr && !source.empty()) data->SelectDataSource(source.c_str());
      std::string copy = MakeInUseCopy(path);
      if (!copy.empty()) {
        // The earlier copy was never saved into; only one is kept.
        DropTemporaryCopy(*this);
        m_strTempFile = copy;
        CopyBounded(m_szReportName, sizeof m_szReportName, copy.c_str());
        CopyBounded(m_szReportName2, sizeof m_szReportName2, copy.c_str());
        openPath = copy;
        copied = true;
      } else {
        CopyBounded(m_szReportName2, sizeof m_szReportName2, path);
      }
    } else {
      CopyBounded(m_szReportName2, sizeof m_szReportName2, path);
    }
    if (!copied) DropTemporaryCopy(*this);

    // The framework's open: release the old file, read the new one whole.
    ForgetCompoundFile();
    std::string file = ResolveExistingPath(NativePath(openPath));
    auto* root = new (std::nothrow) vt_ole::Storage();
    if (root == nullptr || file.empty() || vt_ole::ReadStorageFile(file, *root) != vt_ole::StorageError::kNone) {
      delete root;
      ShowText(*this, GetResString(kIdsFailedToOpen, 0));
      if (copied) DropTemporaryCopy(*this);
      SetWaitCursor(0);
      return -1;
    }
    m_pRootStorage = root;
    m_hHeldFile = HoldReportFile(openPath.c_str());
    if (m_pRepIO != nullptr) m_pRepIO->SetReportLocation(openPath);
    read = Serialize(*root, false);
    if (read == kReadOk) {
      SetModifiedFlag(io->ModifiedByLoading());
      m_bLibraryMode = FALSE;
      CopyBounded(m_files.currentFile, sizeof m_files.currentFile, openPath.c_str());
      if (copied) {
        // No path name: File Save asks for a name instead of writing into
        // the copy, which goes when the program ends.
        m_strPathName.clear();
        SetTitle(FileNamePart(openPath.c_str()));
      } else {
        SetPathName(openPath.c_str());
      }
    } else if (copied) {
      ForgetCompoundFile();
      DropTemporaryCopy(*this);
    }
  }

  SetWaitCursor(0);
  switch (read) {
    case kReadOk:
      return 1;
    case kReadLibraryError:
      ShowText(*this, FormatDocString(kIdsReadingReport, io->LibErrorText(), m_szReportName2));
      return -1;
    case kReadBadRevision:
      ShowText(*this, GetResString(kIdsBadRevision, 0));
      return -1;
    default:
      // -1, and any result the reader does not name, is a failed read.
      return -1;
  }
}

void CKmDoc::FinishReportLoad(BOOL isTemplate) {
  // A field item of no characters was never placed by a user (earlier
  // versions kept a joined table's columns so, at the layout's origin, where
  // they showed but could not be selected): it stays off the layout.
  if (m_pModel != nullptr)
    for (FieldDef* f = m_pModel->fieldList; f != nullptr; f = f->next)
      if (IsPlacedField(f) && f->head.width == 0) MarkFieldUnplaced(f);
  if (m_pLayout) BuildLayoutItemOrder(*m_pLayout);
  // The report's own printer gives the fonts; their sizes give the items'
  // extents and the band lines' heights.
  if (m_pLayout && m_pFonts) {
    m_pFonts->settingsFace = m_settings.faceName;
    m_pFonts->settingsSize = m_settings.pts;
    ReloadFonts(*m_pLayout, *m_pFonts, m_szPrinterDevice, true);
  }
  m_bReportOpen = TRUE;
  m_nChartWord = OnNewReportCharts();
  if (!isTemplate) {
    CopyBounded(m_szReportName, sizeof m_szReportName, m_szReportName2);
    GetSaveDialogs().AddRecentFile(*this, m_files.currentFile);
    ApplyRulerSettings();
    UpdateTitle(TRUE);
  } else {
    m_szReportName[0] = 0;
    UpdateTitle(FALSE);
  }
  if (m_bandLines.lines != nullptr) RenumberBandLines(m_bandLines);
  // The page's size and margins as the run measures them.
  CalcPageMetrics(*this);
  UpdateViewsByHint(108, nullptr);
  if (m_pMainFrame != nullptr) m_pMainFrame->FitBandPane();
  ShowNormalStatusPanes();
}

void CKmDoc::DropTextEditor() {
  if (m_pView != nullptr && m_pView->EditorOpen()) m_pView->EndTextEdit(false);
}

void CKmDoc::ForgetEditHoldings() {
  DropTextEditor();
  if (m_pLayout == nullptr) return;
  if (m_pView != nullptr && m_bReportOpen) {
    ForgetUndoDelete(*m_pView, true);
    ClearInternalClipboard(*m_pView);
  }
  m_pLayout->holdings = EditHoldings{};
  if (m_pView != nullptr) m_pView->ForgetMoveSnapshot();
}

void CKmDoc::ClearReport(BOOL closeModel) {
  ForgetEditHoldings();
  m_bLibraryMode = FALSE;
  m_bTemplatePending = FALSE;
  ForgetCompoundFile();
  m_strPathName.clear();
  DestroyInsertFieldPalette(*this);
  if (closeModel && m_bReportOpen) {
    if (m_pModel) m_pModel->fieldRemovedHook = nullptr;
    ReleaseReportFonts();
    EmptyModel();
  }
  SetModifiedFlag(FALSE);
  FreeLayoutItems();
  // The closed report's export formats are not the next report's.
  ClearExportFormats();
  if (m_pModel != nullptr && m_pModel->FindAttachment<DataAccess>() != nullptr) GetDataAccess(m_pModel)->SelectDataSource(nullptr);
  m_bReportOpen = FALSE;
  m_nChartWord = 0;
  m_nBandPaneWidth = 0;
  // An empty document carries no report's name, so nothing can be saved
  // under the name of the report that failed to open.
  m_szReportName[0] = 0;
  m_szReportName2[0] = 0;
  m_files.currentFile[0] = 0;
  m_strTitle.clear();
  m_strWindowText = m_szAppCaption;
  if (m_pMainFrame != nullptr && m_pMainFrame->m_hWnd != nullptr)
    SetWindowTextA(m_pMainFrame->m_hWnd, m_strWindowText.c_str());
  // No caret and no position on an empty layout: the status line is one
  // empty pane until a report is loaded again.
  DestroyCaret();
  if (m_pView != nullptr) m_pView->ForgetShownPosition();
  UpdateViewsByHint(107, nullptr);
  UpdateViewsByHint(108, nullptr);
  if (m_pMainFrame != nullptr) {
    m_pMainFrame->m_wndStatusBar.SetText("");
    m_pMainFrame->m_wndStatusBar.SetPaneString(1, "", 0);
    m_pMainFrame->m_wndStatusBar.SetSinglePane(TRUE);
  }
}

void CKmDoc::ShowNormalStatusPanes() {
  if (m_pMainFrame == nullptr) return;
  m_pMainFrame->m_wndStatusBar.SetSinglePane(FALSE);
  m_pMainFrame->m_wndStatusBar.Refresh();
}

void CKmDoc::StartNewReport() {
  ForgetCompoundFile();
  m_strPathName.clear();
  SetTitleAlways(GetResString(120, 0));
  if (ReportFileIO* io = FileIO()) io->ResetProperties(*this);
  if (m_pSqlText != nullptr && m_pSqlText[0] != 0) {
    m_bReportOpen = TRUE;
    m_nChartWord = OnNewReportCharts();
    SetModifiedFlag(TRUE);
  }
  ApplyRulerSettings();
  UpdateTitle(FALSE);
  if (m_pView) m_pView->UpdateCaretAndStatus(0);
  ResetPageOrigin(GetPrintRunContext().page);
  ShowNormalStatusPanes();
  SetWaitCursor(0);
}

void CKmDoc::ApplyRulerSettings() {
  if (!m_settings.scrBarHz && !m_settings.scrBarVt) UpdateViewsByHint(107, nullptr);
}

// --- File New ---

void CKmDoc::NewReportCommand(BOOL ask, BOOL userSql) {
  BOOL savedUserSql = m_bUserSql;
  m_bUserSql = userSql;
  if (DoFileNew(nullptr, 0, ask, FALSE)) {
    UpdateViewsByHint(0, nullptr);
    return;
  }
  m_bUserSql = savedUserSql;
  if (!m_bReportOpen) m_nBandPaneWidth = 0;
}

namespace {
bool HasSqlText(const CKmDoc& doc) { return doc.m_pSqlText != nullptr && doc.m_pSqlText[0] != 0; }

// Leaves no data source current after a failed start of a new report.
void DropCurrentDataSource(CKmDoc& doc) {
  if (doc.m_pModel != nullptr && doc.m_pModel->FindAttachment<DataAccess>() != nullptr)
    GetDataAccess(doc.m_pModel)->SelectDataSource(nullptr);
  doc.UpdateTitle(FALSE);
}

// Sets the SQL statement up as the master, choosing another master table as
// often as the setup asks for one; false when the user gives up.
bool SetupSqlMasterUntilDone(CKmDoc& doc) {
  NewReportSteps& steps = GetNewReportSteps();
  for (;;) {
    int r = steps.SetupSqlMaster(doc);
    if (r == 0) return true;
    if (r < 0 || !HasSqlText(doc)) return false;
    if (!steps.EnsureDataSource(doc, TRUE, 0, FALSE)) return false;
  }
}
}  // namespace

BOOL CKmDoc::DoFileNew(const char* masterTable, int passThrough, BOOL ask, BOOL fromQuery) {
  NewReportSteps& steps = GetNewReportSteps();
  m_bTemplatePending = FALSE;
  if (m_pSqlText != nullptr) m_pSqlText[0] = 0;
  int mode = m_nStartMode;
  if (m_bUserSql && mode == 1) mode = 0;
  m_nRunState = 0;
  m_nRunMode = 0;
  if (mode == 0 || ask) {
    mode = steps.RunStartDialog(*this);
    if (mode == 0) return FALSE;
  }
  if (!CreateReportTables()) return FALSE;
  auto fail = [this](bool clear) {
    if (clear) ClearReport(TRUE);
    SetWaitCursor(0);
    return FALSE;
  };
  const bool haveMaster = masterTable != nullptr && *masterTable != 0;

  if (!m_bReportOpen) {
    DataAccess* data = GetDataAccess(m_pModel);
    const char* override = data->GetDataSourceOverride();
    if (mode == 4) {
      if (!NewReportFromTemplate(masterTable, passThrough)) return fail(true);
      m_bTemplatePending = TRUE;
    } else if (mode == 5 && ask) {
      return OpenReportDialog(nullptr);
    } else if (mode == 10 && override != nullptr && *override != 0) {
      std::string name = override;
      if (data->ConnectDataSource(name.c_str(), true, true, nullptr) != 1) return fail(true);
      data->SelectDataSource(name.c_str());
      if (!PrepareNewReport()) {
        DropCurrentDataSource(*this);
        return fail(false);
      }
    } else if (!ChooseNewReportMaster(masterTable, passThrough, mode == 3, FALSE, fromQuery) ||
               !PrepareNewReport()) {
      DropCurrentDataSource(*this);
      return fail(false);
    }
  } else {
    if (!GetReportOpenDialogs().SaveModified(*this)) return fail(false);
    if (mode != 4 && !ChooseNewReportMaster(masterTable, passThrough, mode == 3, FALSE, fromQuery))
      return fail(true);
    DropTextEditor();
    m_pModel->fieldRemovedHook = nullptr;
    ReleaseReportFonts();
    EmptyModel();
    if (fromQuery && m_pQuery != nullptr) m_pModel->reportViewName = m_pQuery->name;
    SetModifiedFlag(FALSE);
    ForgetCompoundFile();
    // The new report is not the library member or file that was open
    // before: the save question and File Save must not name it.
    m_bLibraryMode = FALSE;
    m_szReportName[0] = 0;
    m_szReportName2[0] = 0;
    UpdateViewsByHint(0, nullptr);
    if (mode == 4) {
      if (!NewReportFromTemplate(masterTable, passThrough)) return fail(true);
      m_bTemplatePending = TRUE;
    } else {
      if (haveMaster) CopyBounded(m_files.masterTable, sizeof m_files.masterTable, masterTable);
      if (!PrepareNewReport()) return fail(true);
    }
  }

  SetWaitCursor(1);
  switch (mode) {
    case 1:
      if (!steps.RunWizard(*this)) {
        m_bReportOpen = TRUE;
        return fail(true);
      }
      // The wizard's end is awaited by the frame's timer.
      return TRUE;
    case 2:
      m_bReportOpen = TRUE;
      if (steps.BuildInstantReport(*this)) break;
      // A failed instant report leaves a blank one.
      [[fallthrough]];
    case 3:
      m_bReportOpen = TRUE;
      if (m_bandLines.lines != nullptr) RenumberBandLines(m_bandLines);
      // The Record line takes its height, baseline and bottom from the fonts.
      if (m_pLayout != nullptr && m_bandLines.lines != nullptr) RelayoutAfterFontChange(*m_pLayout, false, kNoAnchor);
      if (m_settings.shHzRul || m_settings.shVtRul) UpdateViewsByHint(101, nullptr);
      break;
    case 10:
      if (!steps.RunReportScript(*this)) {
        m_bReportOpen = TRUE;
        return fail(true);
      }
      m_bReportOpen = TRUE;
      break;
    default:
      break;
  }
  if (m_bReportOpen) m_nChartWord = OnNewReportCharts();
  if (mode != 10) {
    StartNewReport();
    m_bTemplatePending = FALSE;
  } else if (m_szReportName[0] != 0) {
    UpdateTitle(TRUE);
  }
  if (mode != 3) SetModifiedFlag(TRUE);
  // Every way in (the menu, the start dialog, the command line) shows the new
  // report at once, not at the view's next paint.
  UpdateViewsByHint(0, nullptr);
  SetWaitCursor(0);
  return TRUE;
}

BOOL CKmDoc::ChooseNewReportMaster(const char* masterTable, int passThrough, BOOL blank, BOOL forTemplate,
                                   BOOL fromQuery) {
  if (fromQuery) return ConnectQueryDataSource();
  const bool haveMaster = masterTable != nullptr && *masterTable != 0;
  if (haveMaster) CopyBounded(m_files.masterTable, sizeof m_files.masterTable, masterTable);
  NewReportSteps& steps = GetNewReportSteps();
  BOOL ok = forTemplate ? steps.OpenMasterTable(*this, blank)
                        : steps.EnsureDataSource(*this, haveMaster ? FALSE : TRUE, passThrough, blank);
  if (!ok && !m_bReportOpen && m_pModel != nullptr && m_pModel->FindAttachment<DataAccess>() != nullptr)
    GetDataAccess(m_pModel)->SelectDataSource(nullptr);
  return ok;
}

BOOL CKmDoc::PrepareNewReport() {
  SetWaitCursor(1);
  ForgetEditHoldings();
  FreeLayoutItems();
  if (!CreateReportTables()) {
    SetWaitCursor(0);
    return FALSE;
  }
  if (!m_strUdfPath.empty()) SetUdfLibraryPath(m_pModel, m_strUdfPath.c_str());
  int udf = LoadUserFunctionLibrary(m_pModel);
  if (udf != kUdfLibOk) {
    ShowText(*this, UdfLibraryErrorText(m_pModel, udf));
    SetWaitCursor(0);
    return FALSE;
  }
  if (!HasSqlText(*this) && m_bCreateWithoutMaster) m_files.masterTable[0] = 0;
  if (HasSqlText(*this) && !SetupSqlMasterUntilDone(*this)) {
    SetWaitCursor(0);
    return FALSE;
  }
  if (!HasSqlText(*this) && !OpenNewReportMaster()) {
    SetWaitCursor(0);
    return FALSE;
  }
  // The sort order, groups and page set-up of the report before are not
  // this one's (they name its fields by number).
  ResetReportRunSettings(*this);
  m_nRunState = 0;
  m_nLibEntry = -1;
  GetStartupHooks().GetDefaultPrinter(*this);
  GetNewReportSteps().InitReportState(*this);
  // Every field of the new report takes the default face and size.
  LoadSettingsFonts();
  if (m_pModel != nullptr && m_pLayout != nullptr && m_pFonts != nullptr)
    for (FieldDef* f = m_pModel->fieldList; f; f = f->next) {
      f->head.pointSize = 0;
      AttachObjectFont(*m_pLayout, *m_pFonts, f->head, false);
    }
  SetWaitCursor(0);
  return TRUE;
}

void CKmDoc::LoadSettingsFonts() {
  if (m_pLayout == nullptr || m_pFonts == nullptr) return;
  m_pFonts->settingsFace = m_settings.faceName;
  m_pFonts->settingsSize = m_settings.pts;
  ReloadFonts(*m_pLayout, *m_pFonts, m_szPrinterDevice, false);
}

BOOL CKmDoc::NewReportFromTemplate(const char* masterTable, int passThrough) {
  BOOL withoutMaster = m_bCreateWithoutMaster;
  m_bTemplateMode = TRUE;
  BOOL opened = OpenReportDialog(nullptr);
  m_bTemplateMode = FALSE;
  if (!opened) return FALSE;
  m_nLibEntry = -1;
  if (m_files.masterTable[0] == 0) {
    if (withoutMaster) m_bCreateWithoutMaster = TRUE;
    if (!ChooseNewReportMaster(masterTable, passThrough, FALSE, TRUE, FALSE)) return FALSE;
    for (;;) {
      int r = GetNewReportSteps().SetupSqlMaster(*this);
      if (r == 0) break;
      if (r < 0 || !HasSqlText(*this)) return FALSE;
      if (!ChooseNewReportMaster(nullptr, passThrough, FALSE, TRUE, FALSE)) return FALSE;
    }
  }
  if (m_pModel != nullptr) MakeMasterAliasUnique(m_pModel);
  return TRUE;
}
