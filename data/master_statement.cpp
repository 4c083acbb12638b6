#include "data/master_statement.h"

#include "data/sql_literals.h"

#include "core/composite.h"
#include "core/engine_errors.h"
#include "data/data_access.h"
#include "data/master_joins.h"
#include "data/reportview.h"
#include "data/select_builder.h"
#include "data/table_fields.h"
#include "data/user_statement.h"
#include "foundation/heap_strings.h"

#include <cstring>

namespace {

// The report's own statement gives its REPORTVIEW name, offset and names again.
void RestoreStatementPositions(CKmComposite* m) {
  FreeReportViewNames(m);
  m->statementOffset = 0;
  if (m->statementText == nullptr) return;
  uint32_t position = 0;
  ParseReportViewStatement(m, m->statementText, &position, GetDataAccess(m)->UsePassExec() != 0);
}

}  // namespace

int TakePendingStatement(CKmComposite* m, const char* statement, MasterChange* pending) {
  pending->statementPending = false;
  pending->statement = statement ? statement : "";
  if (pending->statement.empty()) return kEngineEmptyStatement;
  uint32_t position = 0;
  const int rc =
      ParseReportViewStatement(m, pending->statement.c_str(), &position, GetDataAccess(m)->UsePassExec() != 0);
  if (rc) {
    RestoreStatementPositions(m);
    pending->statement.clear();
    return rc;
  }
  pending->statementPending = true;
  return 0;
}

void DiscardPendingStatement(CKmComposite* m, MasterChange* pending) {
  if (!pending->statementPending) return;
  pending->statementPending = false;
  pending->statement.clear();
  RestoreStatementPositions(m);
}

void CommitPendingStatement(CKmComposite* m, MasterChange* pending) {
  if (!pending->statementPending) return;
  const size_t length = pending->statement.size();
  char* copy = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(length + 1)));
  if (copy == nullptr) {
    // Without memory for the text the report keeps its old statement.
    DiscardPendingStatement(m, pending);
    return;
  }
  std::memcpy(copy, pending->statement.c_str(), length + 1);
  if (m->statementText) HeapFreeBlock(m->statementText);
  m->statementText = copy;
  pending->statementPending = false;
  pending->statement.clear();
}

void GetMasterSource(const CKmComposite* m, MasterSourceRequest* r, MasterSourceText* storage) {
  r->result = 0;
  *storage = MasterSourceText();
  if (IsSqlReport(m)) {
    storage->statement = m->statementText;
  } else if (const TableSlot* master = m->tableSlots[0]) {
    storage->path = master->path;
    storage->alias = master->alias;
  }
  r->path = storage->path.c_str();
  r->alias = storage->alias.c_str();
  r->statement = storage->statement.c_str();
}

int RefreshSqlAfterJoinChange(CKmComposite* m) {
  DataAccess* da = GetDataAccess(m);
  if (da->Current() == nullptr || m->tableSlots[0] == nullptr) return 0;
  BuildSelectStatement(m, 0);
  std::string sql = GetSelectResult(m)->mainStatement;
  // A REPORTVIEW statement runs from its SELECT.
  if (IsSqlReport(m) && m->statementOffset < std::strlen(m->statementText)) sql = m->statementText + m->statementOffset;
  if (sql.empty()) return 0;
  if (IsSqlReport(m) && !CheckReadingStatement(da, m->statementText, nullptr, 0, false)) return 1;
  char error[600] = {};
  const int rc = ExecSqlWithWait(m, sql.c_str(), error, sizeof error);
  if (rc != 0) ShowSqlMessage(error[0] ? error : "Error executing SELECT statement", true);
  return rc != 0 ? 1 : 0;
}
