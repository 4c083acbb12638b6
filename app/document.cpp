#include "app/document.h"
#include "model/filter_spec.h"

#include "app/file_checks.h"
#include "app/install_links.h"
#include "app/frame_bars.h"
#include "app/open_report.h"
#include "data/compiler_data_hooks.h"
#include "engine/doc_upkeep.h"
#include "data/open_tables.h"
#include "data/query_desc.h"
#include "layout/fonts.h"
#include "layout/item_tables.h"
#include "layout/layout_records.h"
#include "foundation/library_file.h"
#include "files/report_io.h"
#include "files/report_reader.h"
#include "foundation/heap_strings.h"
#include "foundation/startup.h"
#include "foundation/startup_hooks.h"
#include "foundation/text_helpers.h"
#include "core/composite.h"
#include "model/record_filter.h"
#include "platform/ole/compound_file.h"
#include "platform/win/cursor.h"
#include "platform/win/fileio.h"
#include "platform/win/gdi.h"
#include "platform/win/message_box.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {
// Which of the report tables the document made (and so frees).
constexpr BOOL kOwnsModel = 1;
constexpr BOOL kOwnsLayout = 2;
constexpr BOOL kOwnsFonts = 4;

// The framework's message for a save that failed.
constexpr UINT kIdsFailedToSave = 61713;
// A save aimed at the temporary copy of a report held elsewhere.
constexpr UINT kIdsSaveIntoCopy = 1175;
}  // namespace

// Every document the program makes is a CKmDoc.
CKmDoc* GetActiveKmDoc() { return static_cast<CKmDoc*>(GetActiveDocBase()); }

CKmDoc::~CKmDoc() {
  m_pInsertField.reset();
  // Fonts first: the items that hold them go next.
  if (m_bOwnsTables & kOwnsFonts) {
    ReleaseReportFonts();
    // The default fonts the table made go with the font table itself.
    FreeFontTable(*m_pFonts);
  }
  if (m_bOwnsTables & kOwnsLayout) FreeLayoutItems();
  if (m_bOwnsTables & kOwnsModel) {
    EmptyModel();
    delete m_pModel;
    m_pModel = nullptr;
  }
  if (m_bOwnsTables & kOwnsLayout) {
    delete m_pLayout;
    m_pLayout = nullptr;
  }
  if (m_bOwnsTables & kOwnsFonts) {
    delete m_pFonts;
    m_pFonts = nullptr;
  }
  ForgetCompoundFile();
  delete m_pRootStorage;
  m_pRootStorage = nullptr;
  if (!m_strTempFile.empty()) DeleteFileA(m_strTempFile.c_str());
  delete m_pRepIOEntries;
  delete m_pLibEngine;
  delete m_pQuery;
  if (m_pSqlText != nullptr) HeapFreeBlock(m_pSqlText);
}

HWND CKmDoc::GetOwnerWindow() const { return m_pMainFrame ? m_pMainFrame->m_hWnd : nullptr; }

void CKmDoc::HideTitleWindow() {
  if (m_pMainFrame) m_pMainFrame->ShowTitleWindow(FALSE);
}

void CKmDoc::SetFrameModal(bool modal) {
  if (!m_pMainFrame) return;
  if (modal) m_pMainFrame->m_wState |= 0x8000;
  else m_pMainFrame->m_wState &= static_cast<WORD>(~0x8000);
}

void CKmDoc::ShowStatusReportName() {
  if (m_pMainFrame) m_pMainFrame->m_wndStatusBar.ShowReportName();
}

void CKmDoc::UpdateViewCaret() {
  if (m_pView) m_pView->UpdateCaretAndStatus(FALSE);
}

void CKmDoc::SetStatusText(const char* text) {
  if (m_pMainFrame) m_pMainFrame->m_wndStatusBar.SetText(text);
}

void CKmDoc::UpdateFormatBar() {
  if (m_pBars != nullptr) m_pBars->UpdateFormatBar();
}

bool CKmDoc::GetModelTolerance(double* ratio) const {
  if (m_pModel == nullptr) return false;
  *ratio = m_pModel->toleranceRatio;
  return true;
}

void CKmDoc::SetModelTolerance(int32_t units, double ratio) {
  if (m_pModel == nullptr) return;
  m_pModel->floatTolerance = units;
  m_pModel->toleranceRatio = ratio;
}

void CKmDoc::SetTitle(const char* title) {
  if (m_bLibraryMode) return;
  SetTitleAlways(title);
}

void CKmDoc::SetPathName(const char* path) {
  m_strPathName = path ? path : "";
  if (!m_strPathName.empty()) SetTitle(FileNamePart(m_strPathName.c_str()));
}

bool CKmDoc::CreateReportTables() {
  if (m_pModel == nullptr) {
    m_pModel = new (std::nothrow) CKmComposite(this);
    if (m_pModel == nullptr) return false;
    m_bOwnsTables |= kOwnsModel;
    InstallModelLinks(m_pModel);
  }
  if (m_pLayout == nullptr) {
    m_pLayout = new (std::nothrow) LayoutTables();
    if (m_pLayout == nullptr) return false;
    m_bOwnsTables |= kOwnsLayout;
    m_pLayout->model = m_pModel;
    // The design view answers what the layout tables ask of it from the start.
    if (m_pView != nullptr) m_pView->InstallLayoutHooks();
  }
  // The band-line block may come after the tables (start-up makes it).
  if (m_bandLines.lines != nullptr && &m_pLayout->Lines() != &m_bandLines) m_pLayout->AttachBandLineTable(&m_bandLines);
  if (m_pFonts == nullptr) {
    m_pFonts = new (std::nothrow) DocFonts();
    if (m_pFonts == nullptr) return false;
    m_bOwnsTables |= kOwnsFonts;
  }
  return true;
}

int CKmDoc::Serialize(vt_ole::Storage& root, bool storing) {
  if (!m_bCompoundFile) return 0;
  ReportFileIO* io = FileIO();
  if (io == nullptr) return -1;
  // The embedded objects follow the records; the report reader and writer keep them.
  return storing ? io->WriteReport(*this, root) : io->Load(*this, root);
}

LibraryFile* CKmDoc::LibraryEngine() {
  if (m_pLibEngine == nullptr) m_pLibEngine = new (std::nothrow) LibraryFile();
  return m_pLibEngine;
}

void CKmDoc::ForgetCompoundFile() {
  if (m_bTemplatePending && CountClientItems() > 0) return;
  delete m_pRootStorage;
  m_pRootStorage = nullptr;
  ReleaseReportFile(m_hHeldFile);
  m_hHeldFile = -1;
}

int CKmDoc::CountClientItems() const {
  if (m_pLayout == nullptr) return 0;
  int n = 0;
  for (int i = 0; i < m_pLayout->oleItems.Count(); ++i)
    if ((m_pLayout->oleItems.At(i)->head.flags & (kItemDeleted | kItemInClipboard)) == 0) ++n;
  return n;
}

void CKmDoc::EmptyModel() {
  // The palette lists the fields that go now.
  DestroyInsertFieldPalette(*this);
  CKmComposite* m = m_pModel;
  if (m == nullptr) return;
  m->fieldRemovedHook = nullptr;
  // The data layer's bindings of fields and tables go while both still exist.
  m->DropAttachment(AttachmentSlot::kSqlFields);
  while (m->fieldList != nullptr)
    if (!m->DeleteField(m->fieldList, 2 | 4)) break;
  for (uint32_t s = 0; s < static_cast<uint32_t>(kMaxTables); ++s) m->FreeTableSlot(s);
  // The next report starts without the text table and memo readers of this one.
  CloseTextTable(m);
  m->DropAttachment(AttachmentSlot::kMemoReaders);
  // Rows kept of this report's query are of no use to the next report.
  m->DropAttachment(AttachmentSlot::kRecordCache);
  if (m->statementText != nullptr) HeapFreeBlock(m->statementText);
  m->statementText = nullptr;
  HeapFreeBlock(m->conditionCode);  // the stored filter
  m->conditionCode = nullptr;
  m->conditionLength = 0;
  FreeFilterCode(m);
  for (uint32_t& g : m->groupFields) g = kNoField;
  m->reportViewName = "RESULT";
  m->itemListHead = m->itemListTail = nullptr;
  if (m_pLayout != nullptr) {
    m_pLayout->orderHead = m_pLayout->orderTail = nullptr;
    m_pLayout->currentItem = nullptr;
  }
}

void CKmDoc::ReleaseReportFonts() {
  if (m_pLayout != nullptr && m_pFonts != nullptr) ReleaseObjectFonts(*m_pLayout, *m_pFonts, false, m_bReportOpen != FALSE);
}

void CKmDoc::FreeTextItems() {
  // Texts are the reader's blocks.
  if (m_pLayout != nullptr) FreeReportTextItems(*this);
}

void CKmDoc::FreePicturesAndItems() {
  if (m_pLayout == nullptr) return;
  while (m_pLayout->pictures.Count() > 0) DeletePicture(*m_pLayout, m_pLayout->pictures.Count() - 1, false);
  m_pLayout->oleItems.Clear();
  m_pLayout->currentPicture = 0;
}

void CKmDoc::ReleaseCharts() {
  if (m_pLayout == nullptr) return;
  while (m_pLayout->charts.Count() > 0) DeleteChart(*m_pLayout, m_pLayout->charts.Count() - 1, false);
  m_pLayout->currentChart = 0;
}

void CKmDoc::FreeLinesAndBoxes() {
  if (m_pLayout == nullptr) return;
  ::FreeLinesAndBoxes(*m_pLayout);
  m_pLayout->currentLineBox = 0;
}

void CKmDoc::ClearExportFormats() {
  if (m_pRepIO != nullptr) m_pRepIO->m_stream.settings.exportDefinitions.clear();
}

void CKmDoc::FreeLayoutItems() {
  // Nothing of the report's layout outlives it.
  FreeTextItems();
  FreePicturesAndItems();
  ReleaseCharts();
  FreeLinesAndBoxes();
}

BOOL CKmDoc::OnSaveDocument(const char* path) {
  // An empty document (a failed open, no report) is never written, so it
  // cannot replace the report file whose name it may still carry.
  if (!m_bReportOpen || path == nullptr || *path == 0) return FALSE;
  std::string target = NativePath(path);
  if (!m_strTempFile.empty() && target == NativePath(m_strTempFile)) {
    // The copy is deleted when the program ends; saving there would lose the work.
    ShowDocMessage(*this, FormatDocString(kIdsSaveIntoCopy, FileNamePart(path)), MB_ICONEXCLAMATION);
    return FALSE;
  }
  // An existing file that is not a report file is a library: the report goes
  // into its member, never over the library.
  std::string existing = ResolveExistingPath(target);
  FileInfo info;
  if (!existing.empty() && GetFileInfoByPath(existing, &info) && info.size > 0 && !IsCompoundFile(existing.c_str())) {
    ReportFileIO* io = FileIO();
    if (io == nullptr || CountClientItems() > 0 || m_szReportName[0] == 0 ||
        io->SaveToLibrary(*this, existing.c_str(), m_szReportName) != 1)
      return FALSE;
    SetModifiedFlag(FALSE);
    return TRUE;
  }
  // Into the storage that was loaded, the streams the records do not cover
  // (summary information) are kept; a new file starts empty.
  bool sameAsLoad = m_pRootStorage != nullptr && !m_strPathName.empty() &&
                    NativePath(m_strPathName) == target;
  vt_ole::Storage root = sameAsLoad ? *m_pRootStorage : vt_ole::Storage{};
  // Pictures beside the report are stored as such, for the file's own folder.
  if (m_pRepIO != nullptr) m_pRepIO->SetReportLocation(target);
  if (Serialize(root, true) != 0) {
    ShowDocMessage(*this, GetResString(kIdsFailedToSave, 0), MB_ICONEXCLAMATION);
    return FALSE;
  }
  if (vt_ole::WriteStorageFile(target, root) != vt_ole::StorageError::kNone) {
    ShowDocMessage(*this, GetResString(kIdsFailedToSave, 0), MB_ICONEXCLAMATION);
    return FALSE;
  }
  // The saved file is the document's file from now on (a rewrite is a new
  // file on disk, so the hold is taken again as well).
  ForgetCompoundFile();
  m_pRootStorage = new (std::nothrow) vt_ole::Storage(std::move(root));
  m_hHeldFile = HoldReportFile(target.c_str());
  SetModifiedFlag(FALSE);
  return TRUE;
}
