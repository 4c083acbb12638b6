// Dialect settings from the driver and kmwsql.ini; statements, columns and
// the date-time parsers, against the SQLite test database.
#include "data/data_access.h"
#include "data/db_errors.h"
#include "tests/support/odbc_env.h"
#include "platform/qe/odbc_direct.h"
#include "platform/qe/qe.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

class Dialect : public testing::Test {
 protected:
  void SetUp() override {
    if (!odbc_test::HaveSqliteDriver()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    DbClearErrorRecord();
  }
  // Connects the test database with the given kmwsql.ini text and makes it current.
  void ConnectWith(const std::string& sqlIni) {
    da.sqlIniPath = odbc_test::WriteFile("kmwsql.ini", sqlIni);
    ASSERT_EQ(da.ConnectDataSource(odbc_test::kSqliteDsn, false, true, nullptr), 1) << DbLastErrorText();
    da.SelectDataSource(odbc_test::kSqliteDsn);
  }
  DataAccess da;
};

}  // namespace

TEST_F(Dialect, DriverFactsAndDefaultsWithoutPlatform) {
  EXPECT_EQ(da.GetOuterJoinStyle(), OJ_NONE);  // no connection
  EXPECT_EQ(da.GetIdentifierCase(), 0);
  ConnectWith("");
  DataSourceSettings* r = da.Current();
  EXPECT_STREQ(r->dbmsName, "SQLite");
  EXPECT_STRNE(r->driverName, "");
  EXPECT_STREQ(r->platform, "");
  EXPECT_STREQ(da.GetPlatformName(), "SQLite");
  EXPECT_STREQ(r->identifierQuote, "\"");
  EXPECT_EQ(da.GetOuterJoinStyle(), OJ_ESCAPE);
  EXPECT_EQ(da.GetIdentifierCase(), 1);
  EXPECT_EQ(da.AddWhereFalse(), 1);
  EXPECT_EQ(da.UseFileExt(), 1);
  EXPECT_EQ(da.SupportsMaxRows(), 1);
  EXPECT_EQ(da.UseApprox(), 1);
  EXPECT_EQ(da.CanModifySelect(), 1);
  EXPECT_EQ(da.LikeWithExpression(), 1);
  EXPECT_EQ(da.UsePassExec(), 1);
  EXPECT_EQ(da.ListSystemTables(), 1);
  EXPECT_EQ(da.AlwaysQualifyColList(), 0);
  EXPECT_EQ(da.QSwitch(), 0);
  EXPECT_EQ(da.AlwaysPreFetch(), 0);
  EXPECT_EQ(da.IsOracle() + da.IsDBase() + da.IsSqlServer(), 0);
  EXPECT_EQ(da.GetTableFileFilterId(), 294);
  EXPECT_STREQ(da.GetTableFileExtension(), "");
  EXPECT_FALSE(da.UsesFileTables());
  EXPECT_EQ(da.dbAnsi, 1);
}

TEST_F(Dialect, PlatformMatchingKindsAndSettings) {
  std::string driver;
  {
    DataAccess probe;
    ASSERT_EQ(probe.ConnectDataSource(odbc_test::kSqliteDsn, false, true, nullptr), 1);
    probe.SelectDataSource(odbc_test::kSqliteDsn);
    driver = probe.GetDriverName();
  }
  std::string upper = driver;
  for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  ConnectWith("[Platforms]\nNoMatch=Oracle\nLite=Oracle\nAll=dBASE\n\n"
              "[NoMatch]\nDataSourceDBMS=Other\n\n"
              "[Lite]\nDataSourceDriver=other.so:" + upper + "\nDataSourceOuterJoinStyle=4\n"
              "AlwaysUseTableAlias=1\nAddWhereFalse=0\nDBAnsi=0\nDataSourceProcVerb=exec\nAlwaysPreFetch=1\n"
              "DataSourceDBTerm=Database\nJoinAcrossDir=3\n");
  EXPECT_STREQ(da.Current()->platform, "Lite");
  EXPECT_EQ(da.IsOracle(), 1);
  EXPECT_EQ(da.IsDBase(), 0);
  EXPECT_EQ(da.GetOuterJoinStyle(), OJ_ESCAPE);  // 4 reads as 0, the driver has outer joins
  EXPECT_EQ(da.AlwaysUseTableAlias(), 1);
  EXPECT_EQ(da.AddWhereFalse(), 0);
  EXPECT_EQ(da.AlwaysPreFetch(), 1);
  EXPECT_STREQ(da.GetProcVerb(), "exec");
  EXPECT_EQ(da.dbAnsi, 0);
  char term[31];
  da.GetDataSourceDBTerm(term, sizeof term);
  EXPECT_STREQ(term, "Database");
  EXPECT_EQ(da.JoinAcrossDir(), 3);
  da.TermDatabaseLibrary();

  // A listed section without matching keys matches every source; a style of 2 is kept.
  ConnectWith("[Platforms]\nAny=Text\n[Any]\nDataSourceOuterJoinStyle=2\nDataSourceLikeWithExpression=0\n");
  EXPECT_STREQ(da.GetPlatformName(), "Any");
  EXPECT_EQ(da.Current()->flags & DS_KIND_MASK, 0u);
  EXPECT_EQ(da.LikeWithExpression(), 0);
  EXPECT_EQ(da.GetOuterJoinStyle(), OJ_PLUS_MARKER);
  da.TermDatabaseLibrary();

  // No [Platforms]: the section named after the DBMS, and no kind.
  ConnectWith("[SQLite]\nQSwitch=1\n");
  EXPECT_STREQ(da.Current()->platform, "");
  EXPECT_EQ(da.QSwitch(), 1);
  EXPECT_EQ(da.Current()->flags & DS_KIND_MASK, 0u);
}

TEST(DialectText, QuoteTablePathAndTextIsEight) {
  DataAccess da;
  auto* r = new DataSourceSettings();
  std::strcpy(r->name, "q");
  std::strcpy(r->identifierQuote, "\"");
  std::strcpy(r->qualifierSeparator, "\\");
  ASSERT_TRUE(da.AddConnection(r));
  da.SelectDataSource("q");
  EXPECT_EQ(da.QuoteTablePath("C:\\data\\sales\\orders"), "\"C:\\data\\sales\"\\\"orders\"");
  EXPECT_EQ(da.QuoteTablePath("orders"), "\"orders\"");
  EXPECT_EQ(da.QuoteTablePath("\"my dir\"\\\"my table\""), "\"my dir\"\\\"my table\"");
  // A lone closing quote stays in the name, doubled: the identifier ends where it should.
  EXPECT_EQ(da.QuoteTablePath("orders\""), "\"orders\"\"\"");
  EXPECT_EQ(da.QuoteTablePath("my\"dir\\or\"ders"), "\"my\"\"dir\"\\\"or\"\"ders\"");
  std::strcpy(r->identifierQuote, "");
  EXPECT_EQ(da.QuoteTablePath("a\\b"), "a\\b");
  EXPECT_TRUE(DataAccess::TextIsEight("8.00.194"));
  EXPECT_FALSE(DataAccess::TextIsEight("18"));
  EXPECT_FALSE(DataAccess::TextIsEight(nullptr));
  da.RemoveConnection(r);
}

TEST_F(Dialect, StatementsColumnsAndTables) {
  ConnectWith("");
  EXPECT_EQ(da.ExecSql("select id, name from customers order by id"), 0);
  uint16_t first = da.Current()->statement;
  ASSERT_NE(first, 0);
  EXPECT_EQ(da.ExecSql("select id, name, city from customers order by id"), 0);
  EXPECT_NE(qeFetchNext(first), 0);  // the first statement was ended
  EXPECT_EQ(qeErr(), QE_BAD_HANDLE);
  ASSERT_EQ(da.FetchNext(), 0);
  EXPECT_STREQ(da.GetColumnText(1, -1, ','), "1,Anders,Oslo");
  EXPECT_STREQ(da.GetColumnText(2, 2, ','), "Anders");
  EXPECT_EQ(da.GetColumnCount(), 3);
  int rows = 1;
  while (da.FetchNext() == 0) ++rows;
  EXPECT_EQ(rows, 5);
  EXPECT_EQ(da.FetchNext(), 1);
  EXPECT_EQ(DbErrorCount(), 0);
  EXPECT_EQ(da.FetchRandom(3), 0);
  EXPECT_STREQ(da.GetColumnText(1, 1, ','), "3");

  ASSERT_EQ(da.ExecSql("select id, name, balance, since, seen, opens, active, notes, photo from customers"), 0);
  int types[9];
  for (int c = 1; c <= 9; ++c) types[c - 1] = da.GetColumnType(c);
  EXPECT_EQ(types[0], 4);
  EXPECT_EQ(types[1], 1);
  EXPECT_EQ(types[2], 7);
  EXPECT_EQ(types[3], 8);
  EXPECT_EQ(types[6], 9);   // a bit column is logical
  EXPECT_EQ(types[8], -1);  // binary is not supported
  EXPECT_TRUE(da.GetColumnDateRange(4));
  EXPECT_FALSE(da.GetColumnDateRange(5));
  EXPECT_TRUE(da.IsTimeColumn(6));
  EXPECT_TRUE(da.IsMemoColumn(8));
  EXPECT_FALSE(da.IsMemoColumn(2));
  char name[130];
  EXPECT_EQ(da.GetColumnName(name, 3), 0);
  EXPECT_STREQ(name, "balance");
  int32_t cell = 77;
  char text[41];
  EXPECT_EQ(da.BindColumn(2, text, sizeof text, &cell), 0);
  EXPECT_EQ(cell, 77);  // given back after the call
  ASSERT_EQ(da.FetchNext(), 0);
  EXPECT_EQ(cell, 6);
  EXPECT_STREQ(text, "Anders");

  EXPECT_FALSE(da.ListTables(nullptr));
  bool customers = false, view = false;
  while (da.FetchNext() == 0) {
    std::string row = da.GetColumnText(2, -1, '\x01');
    customers = customers || row == "customers\x01" "0";
    view = view || row == "big_orders\x01" "0";
  }
  EXPECT_TRUE(customers);
  EXPECT_TRUE(view);

  EXPECT_EQ(da.SetMaxRows(2), 0);
  ASSERT_EQ(da.ExecSql("select id from customers"), 0);
  rows = 0;
  while (da.FetchNext() == 0) ++rows;
  EXPECT_EQ(rows, 2);
  da.SetMaxRows(0);
  da.SetQueryTimeout(5);
  EXPECT_FALSE(da.SetSelectOptions());
  da.EndStatement();
  EXPECT_EQ(da.Current()->statement, 0);
  EXPECT_EQ(da.FetchNext(), -1);  // no statement
}

TEST(DateTimeText, ParsersReadFieldsAndNeverBeforeTheStart) {
  DateTimeParts v;
  DataAccess::ParseTimestampText("1999-08-24 13:05:09.250", &v);
  EXPECT_EQ(v.year, 1999);
  EXPECT_EQ(v.month, 8);
  EXPECT_EQ(v.day, 24);
  EXPECT_EQ(v.hour, 13);
  EXPECT_EQ(v.minute, 5);
  EXPECT_EQ(v.second, 9);
  EXPECT_EQ(v.fraction, 250);  // the text's digits as they stand
  DataAccess::ParseTimestampText("1999-08-24 13:05:09.250000", &v);
  EXPECT_EQ(v.fraction, 250000);  // the library always gives microseconds
  DateTimeParts t;
  DataAccess::ParseTimeOfDayText("17:45:30", &t);
  EXPECT_EQ(t.hour, 17);
  EXPECT_EQ(t.minute, 45);
  EXPECT_EQ(t.second, 30);
  EXPECT_EQ(t.fraction, 0);
  DataAccess::ParseTimeOfDayText("7", &t);
  EXPECT_EQ(t.second, 7);
  EXPECT_EQ(t.minute, 0);
  EXPECT_EQ(t.hour, 0);
  DataAccess::ParseTimeOfDayText(".5", &t);
  EXPECT_EQ(t.fraction, 5);
  EXPECT_EQ(t.second, 0);
  DateTimeParts d;
  DataAccess::ParseDateText("2020-02-29", &d);
  EXPECT_EQ(d.year, 2020);
  EXPECT_EQ(d.month, 2);
  EXPECT_EQ(d.day, 29);
  DataAccess::ParseDateText("-1", &d);
  EXPECT_EQ(d.month, 0);
  DataAccess::ParseDateText("x", &d);
  EXPECT_EQ(d.year, 0);
}

TEST_F(Dialect, ShippedSampleDatabaseAndSettings) {
  // The sample script and odbc.ini template, filled in as the README does.
  std::string dir = odbc_test::Dir();
  ASSERT_EQ(std::system(("sqlite3 '" + dir + "/sample.db' < '" VT_SOURCE_DIR "/samples/sample_db.sql'").c_str()), 0);
  std::ifstream in(VT_SOURCE_DIR "/samples/odbc.ini.template");
  std::string tmpl((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_NE(tmpl.find("@SAMPLE_DIR@"), std::string::npos);
  for (size_t at; (at = tmpl.find("@SAMPLE_DIR@")) != std::string::npos;) tmpl.replace(at, 12, dir);
  // Entered through the installer, which also keeps the driver manager's view of the file fresh.
  std::istringstream lines(tmpl);
  std::string section;
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      continue;
    }
    size_t eq = line.find('=');
    ASSERT_NE(eq, std::string::npos);
    ASSERT_TRUE(OdbcWritePrivateProfileString(section.c_str(), line.substr(0, eq).c_str(),
                                              line.substr(eq + 1).c_str(), "odbc.ini"));
  }
  ASSERT_EQ(section, "VortelleSample");
  da.sqlIniPath = VT_SOURCE_DIR "/samples/kmwsql.ini";
  ASSERT_EQ(da.ConnectDataSource("VortelleSample", false, true, nullptr), 1) << DbLastErrorText();
  da.SelectDataSource("VortelleSample");
  char term[31];
  da.GetDataSourceDBTerm(term, sizeof term);
  EXPECT_STREQ(term, "Database");
  EXPECT_EQ(da.AddWhereFalse(), 1);
  ASSERT_EQ(da.ExecSql("select count(*) from orders o, order_items i where o.order_id = i.order_id"), 0);
  ASSERT_EQ(da.FetchNext(), 0);
  EXPECT_STREQ(da.GetColumnText(1, 1, ','), "10");
}
