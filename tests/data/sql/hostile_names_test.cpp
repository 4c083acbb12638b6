// Table names taken from report, query and start files go into SQL as
// names: a name holding a statement separator is refused before any SQL is
// built, and an odd but harmless one is quoted by the source's own rules.
// Run on SQLite and on the private PostgreSQL server, with a canary table
// that must survive.
#include "data/data_access.h"
#include "data/db_errors.h"
#include "data/select_builder.h"
#include "data/sql_names.h"
#include "data/table_fields.h"
#include "core/composite.h"
#include "tests/support/odbc_env.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

class HostileNames : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    const bool pg = GetParam();
    std::string why;
    if (pg && !odbc_test::StartPostgres(&why)) GTEST_SKIP() << why;
    if (!pg && !odbc_test::HaveSqliteDriver()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    dsn_ = pg ? odbc_test::kPgDsn : odbc_test::kSqliteDsn;
    da = GetDataAccess(&m);
    da->sqlIniPath = VT_SOURCE_DIR "/samples/kmwsql.ini";
    ASSERT_EQ(da->ConnectDataSource(dsn_, false, true, nullptr), 1) << DbLastErrorText();
    da->SelectDataSource(dsn_);
    Exec("drop table if exists vt_canary");
    Exec("create table vt_canary (id integer)");
    Exec("insert into vt_canary values (7)");
    Exec("drop table if exists \"vt odd\"\"name\"");
    Exec("create table \"vt odd\"\"name\" (a integer)");
  }
  // The tables are made by the database's own client: the program only reads.
  void Exec(const char* sql) {
    bool ok = false;
    const std::string said = GetParam() ? odbc_test::RunPostgresSql(std::string(sql) + ";", &ok)
                                         : odbc_test::RunSqliteSql(std::string(sql) + ";", &ok);
    ASSERT_TRUE(ok) << sql << ": " << said;
  }
  bool CanaryAlive() {
    if (da->ExecSql("select id from vt_canary") != 0) return false;
    const bool row = da->FetchNext() == 0;
    da->EndStatement();
    return row;
  }
  const char* dsn_ = nullptr;
  CKmComposite m{nullptr};
  DataAccess* da = nullptr;
};

TEST_P(HostileNames, SeparatorsAreRefusedAndOddNamesQuoted) {
  for (const char* name : {"vt_canary; DROP TABLE vt_canary; --", "x;drop table vt_canary",
                           "vt_canary\n; drop table vt_canary"}) {
    SCOPED_TRACE(name);
    DbClearErrorRecord();
    const uint32_t t = m.AddTableSlot(name, "T", 0, 0, nullptr);
    EXPECT_NE(BuildSqlFieldList(&m, t, nullptr, nullptr, nullptr, false, nullptr, 0), 0);
    EXPECT_NE(DbLastErrorText().find("cannot be used in SQL"), std::string::npos) << DbLastErrorText();
    // The SELECT of a run is not built either, and the run fails.
    EXPECT_NE(OpenReportQuery(&m), 0);
    m.FreeTableSlot(t);
    EXPECT_TRUE(CanaryAlive());
  }
  // A name with a blank and a quote is one identifier, quote doubled.
  const uint32_t t = m.AddTableSlot("vt odd\"name", "T", 0, 0, nullptr);
  ASSERT_EQ(BuildSqlFieldList(&m, t, nullptr, nullptr, nullptr, true, nullptr, 0), 0) << DbLastErrorText();
  EXPECT_EQ(TableNameForSql(&m, m.tableSlots[t], true), "\"vt odd\"\"name\"");
  EXPECT_NE(m.fieldList, nullptr);
  EXPECT_TRUE(CanaryAlive());
}

// A column's name is one quoted identifier however it reads, and a table
// alias from a file is refused unless it is an identifier: neither ends the
// statement, comments out its conditions or adds another.
TEST_P(HostileNames, ColumnNamesAndAliasesCannotChangeTheStatement) {
  const std::string column = "company\" from vt_canary; drop table vt_canary; --";
  Exec("drop table if exists vt_cols");
  std::string create = "create table vt_cols (\"";
  for (char c : column) create += c == '"' ? std::string("\"\"") : std::string(1, c);
  create += "\" varchar(20), n integer)";
  Exec(create.c_str());
  Exec("insert into vt_cols values ('first', 1)");
  Exec("insert into vt_cols values ('second', 2)");
  Exec("insert into vt_cols values ('third', 3)");
  const uint32_t t = m.AddTableSlot("vt_cols", "", 0, 0, nullptr);
  ASSERT_EQ(BuildSqlFieldList(&m, t, nullptr, nullptr, nullptr, true, nullptr, 0), 0) << DbLastErrorText();
  FieldDef* odd = m.tableSlots[t]->firstField;
  ASSERT_NE(odd, nullptr);
  EXPECT_EQ(std::string(odd->name), column);
  for (FieldDef* f = odd; f != nullptr; f = f->next) f->flags |= kFieldNeeded;
  ASSERT_EQ(OpenReportQuery(&m), 0) << GetSelectResult(&m)->mainStatement << ": " << DbLastErrorText();
  int rows = 0;
  while (da->FetchNext() == 0) ++rows;
  CloseReportQuery(&m);
  EXPECT_EQ(rows, 3);
  EXPECT_TRUE(CanaryAlive());

  // A condition on the rows, and aliases that would comment it out or send a
  // second statement: refused with their own message, nothing run.
  GetSelectInputs(&m)->extraCondition = "n = 2";
  for (const char* alias : {"T--", "T;drop table vt_canary", "T drop", "2T"}) {
    SCOPED_TRACE(alias);
    std::snprintf(m.tableSlots[t]->alias, sizeof m.tableSlots[t]->alias, "%s", alias);
    DbClearErrorRecord();
    EXPECT_NE(OpenReportQuery(&m), 0) << GetSelectResult(&m)->mainStatement;
    EXPECT_NE(DbLastErrorText().find("alias"), std::string::npos) << DbLastErrorText();
    EXPECT_TRUE(CanaryAlive());
  }
  // An identifier alias keeps the condition.
  std::snprintf(m.tableSlots[t]->alias, sizeof m.tableSlots[t]->alias, "%s", "Cols_1");
  ASSERT_EQ(OpenReportQuery(&m), 0) << GetSelectResult(&m)->mainStatement << ": " << DbLastErrorText();
  rows = 0;
  while (da->FetchNext() == 0) ++rows;
  CloseReportQuery(&m);
  EXPECT_EQ(rows, 1);
  Exec("drop table vt_cols");
}

// A "file\table" name attaches the file only when it is there: no report
// makes the driver create a file at a path it names.
TEST_P(HostileNames, TableNamesNeverMakeTheDriverCreateFiles) {
  const std::string missing = testing::TempDir() + "/vt_made_by_attach_" + std::to_string(getpid()) + ".db";
  std::remove(missing.c_str());
  for (const std::string& name : {missing + "\\orders", missing + "\\x;drop table vt_canary"}) {
    SCOPED_TRACE(name);
    const uint32_t t = m.AddTableSlot(name.c_str(), "", 0, 0, nullptr);
    BuildSqlFieldList(&m, t, nullptr, nullptr, nullptr, false, nullptr, 0);
    OpenReportQuery(&m);
    CloseReportQuery(&m);
    m.FreeTableSlot(t);
    EXPECT_NE(access(missing.c_str(), F_OK), 0) << "the driver made " << missing;
    EXPECT_TRUE(CanaryAlive());
  }
}

INSTANTIATE_TEST_SUITE_P(SqliteAndPostgres, HostileNames, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& i) { return i.param ? "Postgres" : "Sqlite"; });

TEST(SqlNames, PartsAreQuotedOnlyWhereNeeded) {
  std::string out;
  ASSERT_TRUE(QuoteSqlNameParts("public.orders", "\"", &out));
  EXPECT_EQ(out, "public.orders");
  ASSERT_TRUE(QuoteSqlNameParts("\"My Schema\".orders", "\"", &out));
  EXPECT_EQ(out, "\"My Schema\".orders");
  ASSERT_TRUE(QuoteSqlNameParts("order lines", "`", &out));
  EXPECT_EQ(out, "`order lines`");
  // A quoted part followed by more text, an unclosed quote, an empty part:
  // none of them is passed on as it stands.
  EXPECT_FALSE(QuoteSqlNameParts("\"x\" union select 1", "\"", &out));
  EXPECT_FALSE(QuoteSqlNameParts("\"x", "\"", &out));
  EXPECT_FALSE(QuoteSqlNameParts("a..b", "\"", &out));
  EXPECT_FALSE(QuoteSqlNameParts("a b", "", &out)) << "no quote character: refused";
  EXPECT_FALSE(SqlNameUsable("t;x"));
  EXPECT_FALSE(SqlNameUsable("t\x01"));
  EXPECT_TRUE(SqlNameUsable("t x"));
}

}  // namespace
