#include "app/open_report.h"

#include "app/document.h"
#include "app/file_checks.h"
#include "data/data_access.h"
#include "designer/layout_records.h"
#include "expr/udf_library.h"
#include "files/library_file.h"
#include "files/report_io.h"
#include "foundation/heap_strings.h"
#include "foundation/startup_hooks.h"
#include "foundation/text_helpers.h"
#include "foundation/message_dialog.h"
#include "model/composite.h"
#include "platform/ole/compound_file.h"
#include "platform/win/fileio.h"
#include "platform/win/message_box.h"
#include "platform/win/wsprintf.h"

#include <new>
#include <string>

namespace {

ReportOpenDialogs g_defaultDialogs;
ReportOpenDialogs* g_dialogs = nullptr;

constexpr UINT kIdsInUseCopy = 1174;
constexpr UINT kIdsReadingReport = 721;
constexpr UINT kIdsBadRevision = 722;
constexpr UINT kIdsFailedToOpen = 61712;

void ShowText(CKmDoc& doc, const std::string& text) { ShowDocMessage(doc, text, MB_ICONEXCLAMATION); }

bool SamePath(const std::string& a, const char* b) {
  return !a.empty() && b != nullptr && NativePath(a) == NativePath(b);
}

// Drops a temporary copy made for an earlier open: it was never saved into.
void DropTemporaryCopy(CKmDoc& doc) {
  if (doc.m_strTempFile.empty()) return;
  DeleteFileA(doc.m_strTempFile.c_str());
  doc.m_strTempFile.clear();
}

// The document's own report file object behind the entries the open path calls.
class RepIOEntries : public ReportFileIO {
 public:
  explicit RepIOEntries(CKmDoc& doc) : doc_(doc) {}
  int Load(CKmDoc& doc, const vt_ole::Storage& root) override {
    // The file object only reads the storage.
    int rc = doc.m_pRepIO->Load(const_cast<vt_ole::Storage&>(root));
    modified_ = doc.IsModified();
    return rc;
  }
  int WriteReport(CKmDoc& doc, vt_ole::Storage& root) override { return doc.m_pRepIO->WriteReport(root); }
  int ReadLibraryMember(CKmDoc& doc, const char* library) override {
    LibraryFile* engine = doc.LibraryEngine();
    if (engine == nullptr) return kReadFailed;
    int rc = doc.m_pRepIO->OpenLibraryMember(*engine, library, doc.m_szReportName2);
    modified_ = doc.IsModified();
    return rc;
  }
  BOOL ModifiedByLoading() const override { return modified_; }
  const char* LibErrorText() override { return doc_.m_pRepIO->LibErrorText(); }
  void ResetProperties(CKmDoc& doc) override { doc.m_pRepIO->ResetProperties(); }
  void SetKeepOverride(BOOL keep) override { doc_.m_pRepIO->m_bKeepOverride = keep; }

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
    // What the reader changes while it reads (a picture found elsewhere)
    // marks the document modified.
    SetReportModifiedHook([](CKmDoc* doc, BOOL modified) {
      if (doc) doc->SetModifiedFlag(modified);
    });
  }
  return m_pRepIOEntries;
}

ReportOpenDialogs& GetReportOpenDialogs() { return g_dialogs ? *g_dialogs : g_defaultDialogs; }
void SetReportOpenDialogs(ReportOpenDialogs* dialogs) { g_dialogs = dialogs; }

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

BOOL CKmDoc::ReadReport(const char* path) {
  if (path == nullptr || *path == 0) return FALSE;
  if (!IsCompoundFile(path)) {
    CopyBounded(m_files.currentFile, sizeof m_files.currentFile, path);
    if (GetReportOpenDialogs().ChooseLibraryMember(*this, path) < 1 && m_nLibEntry2 == -1) return FALSE;
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
  GetStartupHooks().ResetPageOrigin(*this);
  SetWaitCursor(0);
  return TRUE;
}

int CKmDoc::OpenReport(const char* path) {
  SetWaitCursor(1);
  m_nLibEntry = m_nLibEntry2;
  if (m_bReportOpen) {
    FreeLayoutItems();
    GetStartupHooks().ReleaseObjectFonts(*this);
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
  m_nRunState = 0;
  m_nRunMode = 0;

  int read = kReadFailed;
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
      ClearReport(TRUE);
      std::string question = FormatDocString(kIdsInUseCopy, path);
      if (MessageBoxA(GetOwnerWindow(), question.c_str(), GetAppCaption(), MB_YESNO | MB_ICONQUESTION) != IDYES) {
        SetWaitCursor(0);
        return 0;
      }
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
  if (m_pLayout) BuildLayoutItemOrder(*m_pLayout);
  m_bReportOpen = TRUE;
  if (!isTemplate) {
    CopyBounded(m_szReportName, sizeof m_szReportName, m_szReportName2);
    ApplyRulerSettings();
    UpdateTitle(TRUE);
  } else {
    m_szReportName[0] = 0;
    UpdateTitle(FALSE);
  }
  if (m_bandLines.lines != nullptr) RenumberBandLines(m_bandLines);
  UpdateViewsByHint(108, nullptr);
}

void CKmDoc::ClearReport(BOOL closeModel) {
  m_bLibraryMode = FALSE;
  m_bTemplatePending = FALSE;
  ForgetCompoundFile();
  m_strPathName.clear();
  GetStartupHooks().DestroyInsertFieldPalette(*this);
  if (closeModel && m_bReportOpen) {
    if (m_pModel) m_pModel->fieldRemovedHook = nullptr;
    GetStartupHooks().ReleaseObjectFonts(*this);
    EmptyModel();
  }
  SetModifiedFlag(FALSE);
  FreeLayoutItems();
  if (m_pModel != nullptr && m_pModel->dataAccessState != nullptr) GetDataAccess(m_pModel)->SelectDataSource(nullptr);
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
  UpdateViewsByHint(107, nullptr);
  UpdateViewsByHint(108, nullptr);
  if (m_pMainFrame != nullptr) m_pMainFrame->m_wndStatusBar.SetText("");
}

void CKmDoc::StartNewReport() {
  ForgetCompoundFile();
  m_strPathName.clear();
  SetTitleAlways(GetResString(120, 0));
  if (ReportFileIO* io = FileIO()) io->ResetProperties(*this);
  if (m_pSqlText != nullptr && m_pSqlText[0] != 0) {
    m_bReportOpen = TRUE;
    SetModifiedFlag(TRUE);
  }
  ApplyRulerSettings();
  UpdateTitle(FALSE);
  if (m_pView) m_pView->UpdateCaretAndStatus(0);
  GetStartupHooks().ResetPageOrigin(*this);
  SetWaitCursor(0);
}

void CKmDoc::ApplyRulerSettings() {
  if (!m_settings.scrBarHz && !m_settings.scrBarVt) UpdateViewsByHint(107, nullptr);
}
