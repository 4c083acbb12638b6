// How a connection's server reads SQL text, and the transactions that keep
// what a report sends from changing anything on PostgreSQL.
#include "data/data_access.h"

#include "data/db_errors.h"
#include "foundation/heap_strings.h"
#include "platform/qe/qe.h"
#include "platform/win/wsprintf.h"

#include <string>
#include <strings.h>

namespace {

constexpr unsigned kIdSessionLost = 62382;

SqlServer ServerOf(const DataSourceSettings* record) {
  if (record == nullptr) return SqlServer::kOther;
  if (strcasecmp(record->dbmsName, "SQLite") == 0) return SqlServer::kSqlite;
  if (strcasecmp(record->dbmsName, "PostgreSQL") == 0) return SqlServer::kPostgres;
  return SqlServer::kOther;
}

// The first column of the first row a statement gives; empty when it fails.
std::string OneValue(QEHANDLE connection, const char* sql) {
  const QEHANDLE h = qeExecSQL(connection, sql);
  if (h == 0) return std::string();
  char value[64] = {};
  if (qeFetchNext(h) == QE_OK) qeValCharBuf(h, value, 1, "", sizeof value);
  qeEndSQL(h);
  return value;
}

// Runs a statement of the program's own that gives no rows.
bool RunOwn(QEHANDLE connection, const char* sql) {
  const QEHANDLE h = qeExecSQL(connection, sql);
  const bool ok = h != 0 && qeErr() == QE_OK;
  if (h != 0) qeEndSQL(h);
  return ok;
}

// The program sends UTF-8 and its check reads the text as the server does
// only in an encoding where no byte of a character can be a quote or a
// backslash: the session is set to UTF8 (a data source's or a database's
// own setting, a multibyte one such as GBK or SJIS above all, is not
// trusted) and then asked what it reads.
bool RequireUtf8(QEHANDLE connection) {
  return RunOwn(connection, "set client_encoding = 'UTF8'") &&
         strcasecmp(OneValue(connection, "show client_encoding").c_str(), "UTF8") == 0;
}

}  // namespace

SqlServer DataAccess::Server() const { return ServerOf(current_); }

bool DataAccess::LoadReadingRules(DataSourceSettings* record) {
  const SqlServer server = ServerOf(record);
  const char* section = record->platform[0] ? record->platform : record->dbmsName;
  record->refusedFunctions = DefaultRefusedFunctions(server);
  if (section[0]) AddRefusedFunctions(SqlIniString(section, "RefusedFunctions", "", 4000), &record->refusedFunctions);
  switch (server) {
    case SqlServer::kSqlite:
      record->backslashInStrings = 0;
      break;
    case SqlServer::kPostgres: {
      if (!RequireUtf8(record->libConnection)) return false;
      // The server's setting decides; the program's own literals are
      // written so that either reads them alike.
      const std::string standard = OneValue(record->libConnection, "show standard_conforming_strings");
      record->backslashInStrings = strcasecmp(standard.c_str(), "on") == 0    ? 0
                                   : strcasecmp(standard.c_str(), "off") == 0 ? 1
                                                                               : -1;
      break;
    }
    case SqlServer::kOther: {
      const int escapes = section[0] ? SqlIniInt(section, "BackslashEscapes", -1) : -1;
      record->backslashInStrings = escapes < 0 ? -1 : escapes > 0 ? 1 : 0;
      break;
    }
  }
  return true;
}

SqlCheckRules DataAccess::SqlRules() const {
  SqlCheckRules rules;
  rules.lex.server = ServerOf(current_);
  if (current_ == nullptr) {
    rules.refusedFunctions = DefaultRefusedFunctions(SqlServer::kOther);
    return rules;
  }
  rules.lex.backslashInStrings = current_->backslashInStrings;
  rules.procVerb = current_->procVerb;
  rules.passExec = UsePassExec() != 0;
  rules.refusedFunctions = current_->refusedFunctions;
  return rules;
}

bool DataAccess::BeginStatementTransaction(bool procedure, char* errBuf, int errSize) {
  if (current_ == nullptr || ServerOf(current_) != SqlServer::kPostgres) return true;
  if (current_->sessionLost) {
    const char* why = GetResString(kIdSessionLost, 1);
    if (errBuf != nullptr && errSize > 0) CopyBounded(errBuf, static_cast<size_t>(errSize), why);
    else DbErrorBox(why);
    return false;
  }
  // A procedure is the database's own: it runs as the server runs a call
  // on its own, read-write whatever the session's read-only setting says,
  // its work committed as it returns (one that commits itself may), with
  // the driver's time-out.
  if (procedure) {
    if (!RunOwn(current_->libConnection, "set session characteristics as transaction read write")) {
      ReportDbError(errBuf, errSize, nullptr);
      return false;
    }
    current_->statementTransaction = 2;
    qeSetQueryTimeout(current_->libConnection, current_->transactionTimeout);
    return true;
  }
  // A reading statement runs where nothing it does can stay, whatever the
  // session's settings.
  if (!RunOwn(current_->libConnection, "start transaction read only")) {
    ReportDbError(errBuf, errSize, nullptr);
    RunOwn(current_->libConnection, "rollback");
    return false;
  }
  current_->statementTransaction = 1;
  if (current_->transactionTimeout > 0) {
    const std::string timeout = "set local statement_timeout = " + std::to_string(current_->transactionTimeout * 1000);
    if (!RunOwn(current_->libConnection, timeout.c_str())) {
      ReportDbError(errBuf, errSize, nullptr);
      EndStatementTransaction();
      return false;
    }
  }
  return true;
}

void DataAccess::EndStatementTransaction() {
  if (current_ == nullptr || current_->statementTransaction == 0) return;
  const bool procedure = current_->statementTransaction == 2;
  current_->statementTransaction = 0;
  if (!procedure) {
    RunOwn(current_->libConnection, "rollback");
    return;
  }
  // What the driver kept open for the call's rows is committed (with none
  // open the server only warns); the session reads only again, and what
  // the procedure set for it does not change how the next statement is read.
  RunOwn(current_->libConnection, "commit");
  qeSetQueryTimeout(current_->libConnection, 0);
  if ((!current_->readOnlyStatement.empty() && !RunOwn(current_->libConnection, current_->readOnlyStatement.c_str())) ||
      !RequireUtf8(current_->libConnection))
    current_->sessionLost = true;
}
