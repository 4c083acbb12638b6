#include "app/named_data_source.h"

#include "app/app.h"
#include "app/document.h"
#include "app/open_report.h"
#include "core/composite.h"
#include "data/data_access.h"
#include "data/db_errors.h"
#include "data/table_fields.h"
#include "files/report_io.h"
#include "engine/output_messages.h"
#include "platform/win/wsprintf.h"

BOOL EnsureCommandLineDataSource(CKmDoc& doc) {
  const CKmApp* app = AfxGetKmApp();
  if (app == nullptr || app->CommandLineDsn().empty()) return FALSE;
  std::string error;
  if (ConnectNamedDataSource(doc, app->CommandLineDsn().c_str(), doc.m_files.masterTable, !app->IsUnattended(),
                             &error))
    return TRUE;
  ShowOutputError(error);
  return FALSE;
}

bool ConnectNamedDataSource(CKmDoc& doc, const char* source, const char* masterTable, bool allowPrompt,
                            std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  if (source == nullptr || *source == 0) {
    *error = "no data source is named";
    return false;
  }
  if (!doc.CreateReportTables() || doc.m_pModel == nullptr) {
    *error = "the document has no report tables";
    return false;
  }
  CKmComposite* m = doc.m_pModel;
  DataAccess* data = GetDataAccess(m);
  if (!data->IsConnected(source) && data->ConnectDataSource(source, allowPrompt, true, nullptr) != 1) {
    *error = "cannot connect to the data source " + std::string(source) + ": " + DbLastErrorText();
    return false;
  }
  data->SelectDataSource(source);
  if (doc.m_pRepIO != nullptr) {
    CopyBounded(doc.m_pRepIO->m_szDataSource, sizeof doc.m_pRepIO->m_szDataSource, source);
    doc.m_pRepIO->m_stream.settings.sources[0].sourceName = source;
  }
  if (masterTable == nullptr || *masterTable == 0) return true;
  if (m->tableSlots[0] == nullptr) {
    if (m->AddTableSlot(masterTable, "", 0, 0, nullptr) != 0 || m->tableSlots[0] == nullptr) {
      *error = "cannot add the table " + std::string(masterTable);
      return false;
    }
  } else {
    CopyBounded(m->tableSlots[0]->path, sizeof m->tableSlots[0]->path, masterTable);
  }
  if (BuildSqlFieldList(m, 0, nullptr, nullptr, nullptr, true, nullptr, 0) != 0) {
    *error = "cannot read the columns of " + std::string(masterTable) + ": " + DbLastErrorText();
    m->FreeTableSlot(0);
    return false;
  }
  CopyBounded(doc.m_files.masterTable, sizeof doc.m_files.masterTable, masterTable);
  return true;
}
