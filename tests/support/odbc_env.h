// A private ODBC set-up for the data-access tests: odbc.ini and odbcinst.ini
// of their own (through ODBCINI and ODBCSYSINI), a SQLite database made from
// a script, and, on demand, a private PostgreSQL server on 127.0.0.1.
#pragma once

#include <string>

namespace odbc_test {

// The folder of the private files; the SQLite data source names.
const std::string& Dir();
bool HaveSqliteDriver();
extern const char* const kSqliteDsn;   // the test database
extern const char* const kBrokenDsn;   // a PostgreSQL source on a closed port
extern const char* const kMissingDsn;  // a SQLite source whose database file is missing

// Starts the private PostgreSQL server once (bounded in time) and adds its
// data source; false with a reason when it cannot run here.
bool StartPostgres(std::string* why);
extern const char* const kPgDsn;
// Runs SQL text on the private server with psql (as the postgres user on
// 127.0.0.1); its output, or empty with *ok false when it failed.
std::string RunPostgresSql(const std::string& sql, bool* ok = nullptr);
// Runs a query on the private server through one psql session the process
// keeps: its rows (columns separated by '|') or its errors.
std::string QueryPostgres(const std::string& sql);
// The private server's port on 127.0.0.1 (0 before it started).
int PostgresPort();
// Runs SQL text on the test database of kSqliteDsn with sqlite3; its output,
// or empty with *ok false when it failed. The program's own connections
// only read: a test's tables are made this way, as with RunPostgresSql.
std::string RunSqliteSql(const std::string& sql, bool* ok = nullptr);

// A copy of the shipped kmwsql.ini under Dir() named name, with lines added
// at the head of section ("[SQLite]"); returns its path.
std::string SqlIniWith(const std::string& name, const std::string& section, const std::string& lines);

// Writes a file under Dir(); returns its path.
std::string WriteFile(const std::string& name, const std::string& text);

}  // namespace odbc_test
