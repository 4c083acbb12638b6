// Literal templates, text and number constants, table name shortening and
// the query calls on the SQLite test database.
#include "data/data_access.h"
#include "data/db_errors.h"
#include "data/sql_literals.h"
#include "data/table_fields.h"
#include "expr/calendar.h"
#include "core/composite.h"
#include "tests/support/odbc_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

int32_t DayOf(int y, int mo, int d) {
  DateParts p;
  p.year = y;
  p.month = static_cast<uint8_t>(mo);
  p.day = static_cast<uint8_t>(d);
  DayNumber n = 0;
  YMDToJulian(p, n);
  return n;
}

struct Model {
  Model() { da = GetDataAccess(&m); }
  CKmComposite m{nullptr};
  DataAccess* da;
};

}  // namespace

TEST(LiteralTemplate, CodesLongestFirstAndOthersKept) {
  EXPECT_EQ(ExpandLiteralTemplate("'%yyyy-%mm-%dd'", 1998, 3, 5, 0, 0, 0), "'1998-03-05'");
  EXPECT_EQ(ExpandLiteralTemplate("%yy/%YY", 2005, 1, 1, 0, 0, 0), "05/05");
  EXPECT_EQ(ExpandLiteralTemplate("%yy", 1998, 1, 1, 0, 0, 0), "98");
  EXPECT_EQ(ExpandLiteralTemplate("%h:%m:%s %MM", 1998, 7, 1, 9, 5, 7), "09:05:07 07");
  EXPECT_EQ(ExpandLiteralTemplate("100%x%", 1998, 1, 1, 0, 0, 0), "100%x%");
  EXPECT_EQ(ExpandLiteralTemplate("%%Y", 1998, 1, 1, 0, 0, 0), "%%Y");
}

TEST(LiteralTemplate, FixedFormsWithoutATemplate) {
  Model x;  // no kmwsql.ini, no connection
  std::string out;
  FormatSqlDateLiteral(&x.m, DayOf(1998, 3, 5), &out);
  EXPECT_EQ(out, "[d'1998-03-05 00:00:00.000000']");
  FormatSqlTimeLiteral(&x.m, (3600.0 * 13 + 61.25) * 1e6, &out);
  EXPECT_EQ(out, "[t'0000-00-00 13:01:01.250000']");
  FormatSqlTimestampLiteral(&x.m, DayOf(2000, 2, 29), 1.0, &out);
  EXPECT_EQ(out, "[dt'2000-02-29 00:00:00.000001']");
  FormatSqlTimeLiteral(&x.m, kNullNumber, &out);  // never a garbage time
  EXPECT_EQ(out, "[t'0000-00-00 00:00:00.000000']");
}

TEST(TextAndNumberConstants, QuotesDoubledDigitsKept) {
  std::string out;
  AppendSqlTextLiteral(&out, "O'Brien'); drop table x; --", TextLiteralForm::kStandard);
  EXPECT_EQ(out, "'O''Brien''); drop table x; --'");
  out.clear();
  AppendSqlTextLiteral(&out, "", TextLiteralForm::kStandard);
  EXPECT_EQ(out, "''");
  // A trailing backslash never takes the closing quote, whichever way the
  // data source reads backslashes.
  const char* value = "C:\\dir\\'); drop table x; --\\";
  out.clear();
  AppendSqlTextLiteral(&out, value, TextLiteralForm::kStandard);
  EXPECT_EQ(out, "'C:\\dir\\''); drop table x; --\\'");
  out.clear();
  AppendSqlTextLiteral(&out, value, TextLiteralForm::kBackslashes);
  EXPECT_EQ(out, "'C:\\\\dir\\\\''); drop table x; --\\\\'");
  out.clear();
  AppendSqlTextLiteral(&out, value, TextLiteralForm::kEscapeString);
  EXPECT_EQ(out, "E'C:\\\\dir\\\\''); drop table x; --\\\\'");
  EXPECT_EQ(FormatSqlNumber(0.1), "0.1");
  EXPECT_EQ(FormatSqlNumber(123456789.123456789), "123456789.12345679");
  EXPECT_EQ(std::strtod(FormatSqlNumber(1.0 / 3).c_str(), nullptr), 1.0 / 3);
  EXPECT_EQ(FormatSqlNumber(-42), "-42");
  EXPECT_EQ(FormatSqlNumber(1e300), "1E+300");
}

TEST(TableNames, ShortFormWithoutQuoteOrPrefixIsUnchanged) {
  Model x;
  EXPECT_EQ(StripTablePath(&x.m, "public.orders"), "public.orders");
  EXPECT_EQ(GetTableDriveMask(&x.m), 0u);
}

TEST(QueryCalls, TemplatesFromTheShippedFileAndALimitedSelect) {
  if (!odbc_test::HaveSqliteDriver()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
  Model x;
  x.da->sqlIniPath = VT_SOURCE_DIR "/samples/kmwsql.ini";
  ASSERT_EQ(x.da->ConnectDataSource(odbc_test::kSqliteDsn, false, true, nullptr), 1) << DbLastErrorText();
  x.da->SelectDataSource(odbc_test::kSqliteDsn);
  std::string lit;
  FormatSqlDateLiteral(&x.m, DayOf(1998, 3, 5), &lit);
  EXPECT_EQ(lit, "date('1998-03-05')");
  FormatSqlTimestampLiteral(&x.m, DayOf(1998, 3, 5), 3600e6, &lit);
  EXPECT_EQ(lit, "datetime('1998-03-05 01:00:00')");
  std::string sql = "select 1 where '1998-03-05 01:00:00' = " + lit;
  ASSERT_EQ(x.da->ExecSql(sql.c_str()), 0);
  EXPECT_EQ(x.da->FetchNext(), 0);
  x.da->EndStatement();
  EXPECT_EQ(ReadSqlTemplate(&x.m, "div"), "%1 * 1.0 / nullif(%2, 0)");
  EXPECT_EQ(ReadSqlTemplate(&x.m, "NoSuchKey"), "");
  char message[600] = {};
  EXPECT_EQ(ExecSqlWithWait(&x.m, "select 1", message, sizeof message), 0);
  EXPECT_NE(ExecSqlWithWait(&x.m, "select nothing from nowhere", message, sizeof message), 0);
  EXPECT_NE(message[0], '\0') << "the driver's words come back";

  SetRecordLimit(&x.m, 2);
  EXPECT_EQ(GetRecordLimit(&x.m), 2);
  ASSERT_EQ(ExecuteSelect(&x.m, "select 1 union all select 2 union all select 3", 0, 1, false), 0);
  EXPECT_EQ(FetchNextRow(&x.m), 0);
  EXPECT_EQ(FetchNextRow(&x.m), 0);
  EXPECT_EQ(FetchNextRow(&x.m), 1);
  EndSelect(&x.m);
  EXPECT_EQ(ExecuteSelect(&x.m, "select * from no_such_table", 0, 0, false), 1);
}
