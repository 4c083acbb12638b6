// The document's data source and master table: connecting the report's data
// source or letting the user choose one, asking for the master table, the
// title and the Database menu, and the Database and File commands that open
// the data dialogs.
#include "app/data_source_choice.h"

#include "app/document.h"
#include "app/file_dialogs.h"
#include "app/open_report.h"
#include "core/composite.h"
#include "data/data_access.h"
#include "data/master_joins.h"
#include "designer/design_view.h"
#include "designer/layout_editing.h"
#include "dialogs/data_source_dialogs.h"
#include "dialogs/joins_dialog.h"
#include "dialogs/master_table_dialog.h"
#include "dialogs/report_sources.h"
#include "dialogs/table_list_dialog.h"
#include "foundation/heap_strings.h"
#include "platform/win/fileio.h"
#include "platform/win/menu.h"
#include "platform/win/wsprintf.h"

#include <cstring>
#include <string>

namespace {
constexpr UINT kStrNoDefaultSource = 3294;
constexpr UINT kStrNoStatementMemory = 3234;
constexpr UINT kStrSqlSelectItem = 17103;
constexpr UINT kStrMasterTableItem = 17104;
constexpr UINT kCmdMasterTable = 30600;
constexpr UINT kCmdJoins = 30610;
constexpr UINT kCmdSortOrder = 30620;

DataAccess* Data(CKmDoc& doc) {
  InstallLogonPrompt(&doc, GetDataAccess(doc.m_pModel));
  return GetDataAccess(doc.m_pModel);
}

bool ReportNamesSource(CKmDoc& doc, std::string* name) {
  if (doc.m_pModel == nullptr || !doc.m_bReportOpen || doc.m_pModel->tableSlots[0] == nullptr) return false;
  *name = SlotSourceName(&doc, 0);
  return true;
}
}  // namespace

BOOL HaveDataSource(CKmDoc& doc) {
  if (doc.m_pModel == nullptr) return FALSE;
  if (Data(doc)->Current() != nullptr) return TRUE;
  return doc.EnsureDataSource(FALSE, FALSE, FALSE);
}

void CKmDoc::RefreshDataSourceTitle() { UpdateTitle(m_bReportOpen && m_szReportName[0] != 0); }

void CKmDoc::UpdateDatabaseMenu() {
  if (m_pMainFrame == nullptr || m_pMainFrame->m_hWnd == nullptr) return;
  HMENU menu = GetMenu(m_pMainFrame->m_hWnd);
  if (menu == nullptr) return;
  const bool sql = m_pModel != nullptr && IsSqlReport(m_pModel);
  ModifyMenuA(menu, kCmdMasterTable, MF_BYCOMMAND | MF_STRING, kCmdMasterTable,
              GetResString(sql ? kStrSqlSelectItem : kStrMasterTableItem, 0));
  EnableMenuItem(menu, kCmdJoins, MF_BYCOMMAND | (sql ? MF_GRAYED : MF_ENABLED));
  EnableMenuItem(menu, kCmdSortOrder, MF_BYCOMMAND | (sql ? MF_GRAYED : MF_ENABLED));
}

int CKmDoc::ChooseDataSource(BOOL selectMode) {
  if (!CreateReportTables()) return 1;
  DataAccess* data = Data(*this);
  int r;
  if (data->GetConnectionCount() == 0) r = ShowDataSourcesDialog(this, GetOwnerWindow(), selectMode != FALSE, &m_nListedSources);
  else r = ShowConnectedSourcesDialog(this, GetOwnerWindow(), selectMode != FALSE);
  if (r != 0 && selectMode) data->SelectDataSource(nullptr);
  RefreshDataSourceTitle();
  return r;
}

BOOL CKmDoc::ConnectAndSelect(const char* name) {
  DataAccess* data = Data(*this);
  SetWaitCursor(1);
  int r = data->ConnectDataSource(name, false, false, nullptr);
  SetWaitCursor(0);
  if (r == 0) r = data->ConnectDataSource(name, true, true, nullptr);
  if (r < 1) {
    data->SelectDataSource(nullptr);
    RefreshDataSourceTitle();
    return FALSE;
  }
  data->SelectDataSource(name);
  RefreshDataSourceTitle();
  return TRUE;
}

BOOL CKmDoc::EnsureDataSource(BOOL openMaster, BOOL singleOnly, BOOL dialogMode) {
  if (!CreateReportTables()) return FALSE;
  DataAccess* data = Data(*this);
  std::string named;
  if (ReportNamesSource(*this, &named)) {
    if (named.empty()) {
      ErrorBox(GetResString(kStrNoDefaultSource, 0));
      return FALSE;
    }
    if (data->IsConnected(named.c_str())) data->SelectDataSource(named.c_str());
    else if (!ConnectAndSelect(named.c_str())) return FALSE;
  } else if (data->GetConnectionCount() == 1 && (!singleOnly || m_nListedSources == 1)) {
    data->RewindConnections();
    if (DataSourceSettings* only = data->NextConnection()) data->SelectDataSource(only->name);
  } else if (ChooseDataSource(TRUE) != 0 || data->Current() == nullptr) {
    return FALSE;
  }
  RefreshDataSourceTitle();
  return openMaster ? OpenMasterTable(dialogMode) : TRUE;
}

BOOL CKmDoc::OpenMasterTable(BOOL dialogMode) {
  RefreshDataSourceTitle();
  // A source whose tables are files, with the common file dialog preferred:
  // the master is a file of the source's folder.
  DataAccess* data = Data(*this);
  if (data->IsFileDataSource() && m_settings.useCommonDlg) {
    char folder[261] = {};
    if (!data->GetDatabaseName(folder, sizeof folder)) folder[0] = 0;
    // A source whose database is one file keeps its tables beside it.
    if (folder[0] != 0 && !IsDirectoryPath(folder)) {
      char* cut = std::strrchr(folder, '/');
      if (cut == nullptr) cut = std::strrchr(folder, '\\');
      if (cut != nullptr) *(cut == folder ? cut + 1 : cut) = 0;
    }
    BeginModalState();
    const UINT filter = MasterTableFileFilter(data);
    const char* ext = data->GetTableFileExtension();
    const BOOL chosen =
        dialogMode ? RunMasterTableOpenDialog(*this, GetOwnerWindow(), nullptr, folder, filter, ext, kStrMasterTableTitle,
                                              kMasterTableFileHelp)
                   : ::RunOpenFileDialog(*this, GetOwnerWindow(), nullptr, folder, filter, ext, kStrMasterTableTitle,
                                       kMasterTableFileHelp);
    if (!chosen) {
      EndModalState();
      return FALSE;
    }
    SetWaitCursor(1);
    CopyBounded(m_files.masterTable, sizeof m_files.masterTable, m_files.chosenPath);
    EndModalState();
    return TRUE;
  }
  if (m_pSqlText == nullptr) {
    m_pSqlText = static_cast<char*>(HeapAllocZero(0, kStatementBufferSize));
    if (m_pSqlText == nullptr) {
      ErrorBox(GetResString(kStrNoStatementMemory, 0));
      return FALSE;
    }
  }
  TableListRequest request;
  request.kind = 1;
  request.allowNoMaster = TRUE;
  request.statementMode = m_bUserSql != FALSE;
  request.statement = m_pSqlText;
  request.reference = m_files.masterTable;
  if (ShowTableListDialog(this, GetOwnerWindow(), &request) != 1) return FALSE;
  if (request.statementMode) {
    m_files.masterTable[0] = 0;
  } else {
    m_bCreateWithoutMaster = request.withoutMaster ? TRUE : FALSE;
    CopyBounded(m_files.masterTable, sizeof m_files.masterTable, request.withoutMaster ? "" : request.reference.c_str());
  }
  return TRUE;
}

BOOL CKmDoc::OpenNewReportMaster() {
  if (m_pModel == nullptr || m_pModel->tableSlots[0] != nullptr || m_files.masterTable[0] == 0) return TRUE;
  // The master is read from the current data source; without one it waits for one.
  if (Data(*this)->Current() == nullptr) return TRUE;
  const int rc = OpenReportMaster(this, m_files.masterTable, nullptr);
  if (rc == 0) return TRUE;
  m_pModel->ShowEngineError(rc);
  return FALSE;
}

int CKmDoc::SetupStatementMaster() {
  const bool statement = m_pSqlText != nullptr && m_pSqlText[0] != 0;
  // Without a statement the master table chosen is opened as the master.
  if (!statement && (m_pModel == nullptr || m_files.masterTable[0] == 0)) return -1;
  const int rc = statement ? OpenReportMaster(this, nullptr, m_pSqlText) : OpenReportMaster(this, m_files.masterTable, nullptr);
  if (rc == 0) return 0;
  m_pModel->ShowEngineError(rc);
  return 1;
}

BOOL DispatchDataCommand(CKmDoc& doc, UINT id) {
  switch (id) {
    case kCmdDataSources:
      // With a report open the chosen connection becomes current: the
      // report's tables are then chosen from it.
      if (doc.CreateReportTables()) {
        DataAccess* data = GetDataAccess(doc.m_pModel);
        const char* current = data->GetCurrentDataSourceName();
        const std::string before = current != nullptr ? current : "";
        // Cancel leaves the report on the data source it had.
        if (doc.ChooseDataSource(doc.m_bReportOpen) != 0 && !before.empty() && data->IsConnected(before.c_str())) {
          data->SelectDataSource(before.c_str());
          doc.RefreshDataSourceTitle();
        }
      }
      return TRUE;
    case kCmdMasterTable:
      if (!doc.m_bReportOpen) return TRUE;
      if (HaveDataSource(doc)) {
        bool replaced = false;
        if (RunMasterTableDialog(&doc, doc.GetOwnerWindow(), &replaced)) doc.UpdateDatabaseMenu();
        // Nothing selected, marked, held for Undo or cut stays from before
        // the change of table: the items may have gone with it.
        if (replaced && doc.m_pView != nullptr) {
          doc.m_pView->ClearSelection();
          doc.m_pView->UnmarkAllLines();
          ForgetUndoDelete(*doc.m_pView, true);
          ClearInternalClipboard(*doc.m_pView);
          doc.m_pView->UpdateCaretAndStatus(0);
        }
      }
      doc.RefreshDataSourceTitle();
      return TRUE;
    case kCmdJoins:
      if (!doc.m_bReportOpen || doc.m_pModel == nullptr || IsSqlReport(doc.m_pModel)) return TRUE;
      if (HaveDataSource(doc)) RunJoinsDialog(&doc, doc.GetOwnerWindow());
      return TRUE;
    default:
      return FALSE;
  }
}
