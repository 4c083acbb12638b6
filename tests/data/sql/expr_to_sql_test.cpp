// Expressions written as SQL through the shipped SQLite templates, run on the
// test database and compared with the program's own arithmetic.
#include "data/data_access.h"
#include "model/field_compile.h"
#include "data/db_errors.h"
#include "data/expr_to_sql.h"
#include "data/select_builder.h"
#include "data/sql_literals.h"
#include "data/table_fields.h"
#include "expr/builtin_table.h"
#include "core/compiled_code.h"
#include "expr/udf.h"
#include "core/composite.h"
#include "tests/support/odbc_env.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

bool OnlySome(const char* name, void*) {
  return std::strcmp(name, "LCASE") == 0 || std::strcmp(name, "LEFT") == 0 || std::strcmp(name, "UCASE") == 0;
}

}  // namespace

TEST(SqlTemplates, PlaceholdersPercentAndEnd) {
  std::string args[3] = {"a", "b", "c"};
  std::string out;
  ASSERT_TRUE(FillSqlTemplate("mod(%1, %2) %% 3", args, 2, &out));
  EXPECT_EQ(out, "mod(a, b) % 3");
  ASSERT_TRUE(FillSqlTemplate("%1%0 rest", args, 1, &out));
  EXPECT_EQ(out, "a");
  ASSERT_TRUE(FillSqlTemplate("%x%2%", args, 2, &out));
  EXPECT_EQ(out, "b");
  EXPECT_FALSE(FillSqlTemplate("f(%1, %3)", args, 2, &out));
}

TEST(SqlTemplates, OdbcEscapesWrapNestedSupportedCalls) {
  EXPECT_EQ(WrapOdbcScalarFunctions("LCASE(%1)", OnlySome, nullptr), "{fn LCASE(%1)}");
  EXPECT_EQ(WrapOdbcScalarFunctions("UCASE(LEFT(%1, (%2)))", OnlySome, nullptr),
            "{fn UCASE({fn LEFT(%1, (%2))})}");
  EXPECT_EQ(WrapOdbcScalarFunctions("SOUNDEX(%1)", OnlySome, nullptr), "");
  EXPECT_EQ(WrapOdbcScalarFunctions("{d '%yyyy-%mm-%dd'}", OnlySome, nullptr), "{d '%yyyy-%mm-%dd'}");
}

namespace {

class ExprSql : public testing::Test {
 protected:
  void SetUp() override {
    if (!odbc_test::HaveSqliteDriver()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    da = GetDataAccess(&m);
    da->sqlIniPath = VT_SOURCE_DIR "/samples/kmwsql.ini";
    ASSERT_EQ(da->ConnectDataSource(odbc_test::kSqliteDsn, false, true, nullptr), 1) << DbLastErrorText();
    da->SelectDataSource(odbc_test::kSqliteDsn);
    t = m.AddTableSlot("customers", "C", 0, 0, nullptr);
    ASSERT_EQ(BuildSqlFieldList(&m, t, nullptr, nullptr, nullptr, true, nullptr, 0), 0);
  }
  void TearDown() override { m.udfList = nullptr; }
  uint32_t FieldNo(const char* name) {
    for (FieldDef* f = m.fieldList; f; f = f->next)
      if (std::strcmp(f->name, name) == 0) return m.GetFieldIndex(f);
    return kNoField;
  }
  int Translate(CodeWriter& w, std::string* out) {
    w.End();
    return ExpressionToSql(&m, w.data(), w.size(), nullptr, false, out);
  }
  std::string First(const std::string& sql) {
    EXPECT_EQ(da->ExecSql(sql.c_str()), 0) << sql;
    std::string v = da->FetchNext() == 0 ? da->GetColumnText(1, 1, '|') : "(none)";
    da->EndStatement();
    return v;
  }
  CKmComposite m{nullptr};
  DataAccess* da = nullptr;
  uint32_t t = 0;
};

}  // namespace

TEST_F(ExprSql, OperatorsAreBracketedAndDivisionIsNotWhole) {
  CodeWriter w;
  w.Field(FieldNo("id"));
  w.Number(2);
  w.Op(OP_DIV);
  w.Op(OP_NEG);
  std::string sql;
  ASSERT_EQ(Translate(w, &sql), 0);
  // A division by zero is the program's null flag, written as 0.
  EXPECT_EQ(sql, "coalesce(-((customers.\"id\" * 1.0 / nullif(2, 0))), 0)");
  EXPECT_EQ(std::strtod(First("select " + sql + " from customers where id = 1").c_str(), nullptr), -0.5);
}

TEST_F(ExprSql, ConstantsKeepQuotesAndDigits) {
  m.CompareCaseCombined = 0;  // texts compared as they are
  CodeWriter w;
  w.Field(FieldNo("name"));
  w.String("O'Hara");
  w.Op(OP_EQ);
  std::string sql;
  ASSERT_EQ(Translate(w, &sql), 0);
  // A missing text is an empty one; texts compare without trailing blanks.
  EXPECT_EQ(sql, "case when (rtrim(replace(coalesce(customers.\"name\", ''), '\xB7', ' ')) = 'O''Hara') then 1 else 0 end");
  EXPECT_EQ(First("select id from customers where " + sql), "2");

  CodeWriter n;
  n.Number(123456789.123456789, 2);
  n.Number(5, 2);
  n.Op(OP_ADD);
  ASSERT_EQ(Translate(n, &sql), 0);
  EXPECT_EQ(sql, "(123456789.12345679 + 5.00)");
}

TEST_F(ExprSql, OmittedLastArgumentAndFunctionsWithoutTemplate) {
  CodeWriter w;
  w.Field(FieldNo("city"));
  w.Number(2);
  w.Op(OP_EMPTY_ARG);
  w.Call(12, 3);  // SUBSTR
  std::string sql;
  ASSERT_EQ(Translate(w, &sql), 0);
  EXPECT_NE(sql.find("substr(coalesce(customers.\"city\", ''), floor(2 + 0.5), floor(1000 + 0.5))"), std::string::npos)
      << sql;  // without a length, at most the program's thousand characters
  EXPECT_EQ(First("select " + sql + " from customers where id = 1"), "slo");

  CodeWriter c;
  c.Field(FieldNo("since"));
  c.Call(19, 1);  // CDOW: no SQL form, stays with the program
  EXPECT_EQ(Translate(c, &sql), 1);

  FieldDef* calc = m.AddField(kFieldCalculation);
  calc->sqlText = nullptr;
  CodeWriter bad;
  bad.Field(FieldNo("name"));
  bad.String("x");
  bad.Op(OP_POW);  // oexp has no template here
  bad.End();
  EXPECT_EQ(ExpressionToSql(&m, bad.data(), bad.size(), calc, true, nullptr), 1);
  EXPECT_EQ(calc->sqlText, nullptr);
  CodeWriter good;
  good.Field(FieldNo("balance"));
  good.Number(1);
  good.Op(OP_ADD);
  good.End();
  ASSERT_EQ(ExpressionToSql(&m, good.data(), good.size(), calc, true, nullptr), 0);
  EXPECT_STREQ(calc->sqlText, "coalesce((customers.\"balance\" + 1), 0)");
}

TEST_F(ExprSql, CompiledFieldsGetTheirTranslationThroughTheHook) {
  InstallSqlTranslation(&m);
  FieldDef* f = CompileField(&m, "Half", "BALANCE / 2", false, nullptr);
  ASSERT_NE(f, nullptr);
  ASSERT_NE(f->sqlText, nullptr);
  EXPECT_STREQ(f->sqlText, "coalesce((customers.\"balance\" * 1.0 / nullif(2, 0)), 0)");
  EXPECT_EQ(std::strtod(First(std::string("select ") + f->sqlText + " from customers where id = 2").c_str(), nullptr),
            -8.625);
}

// A built-in's template key is its name in the built-in table: NOW() takes
// the NOW template, and PERCOMP, in the slot before it, stays with the program.
TEST_F(ExprSql, BuiltinTemplatesAreFoundByTheFunctionsOwnSlot) {
  da->sqlIniPath = odbc_test::SqlIniWith("expr_to_sql_now.ini", "[SQLite]", "NOW=datetime('now')\nPERCOMP=%1\n");
  m.DropAttachment(AttachmentSlot::kSqlTemplates);  // the templates are read again from the new file

  CodeWriter now;
  now.Call(static_cast<uint32_t>(FindBuiltinExact("NOW", 3)), 0);
  std::string sql;
  ASSERT_EQ(Translate(now, &sql), 0);
  EXPECT_EQ(sql, "datetime('now')");
  CodeWriter percomp;
  percomp.Field(FieldNo("balance"));
  percomp.Call(static_cast<uint32_t>(FindBuiltinExact("PERCOMP", 7)), 1);
  EXPECT_EQ(Translate(percomp, &sql), 1);
}

TEST_F(ExprSql, UserFunctionsInlineAndEndlessOnesStayWithTheProgram) {
  CodeWriter body;  // twice(x) = x + x
  body.Param(0);
  body.Param(0);
  body.Op(OP_ADD);
  body.End();
  UdfNode twice{};
  twice.id = 7;
  twice.code = const_cast<uint8_t*>(body.data());
  twice.codeLength = static_cast<uint32_t>(body.size());
  CodeWriter self;  // loop(x) = loop(x)
  self.Param(0);
  self.UdfCall(8, 1);
  self.End();
  UdfNode loop{};
  loop.id = 8;
  loop.code = const_cast<uint8_t*>(self.data());
  loop.codeLength = static_cast<uint32_t>(self.size());
  twice.next = &loop;
  m.udfList = &twice;

  CodeWriter w;
  w.Field(FieldNo("id"));
  w.UdfCall(7, 1);
  std::string sql;
  ASSERT_EQ(Translate(w, &sql), 0);
  EXPECT_EQ(sql, "coalesce((customers.\"id\" + customers.\"id\"), 0)");
  CodeWriter r;
  r.Number(1);
  r.UdfCall(8, 1);
  EXPECT_EQ(Translate(r, &sql), 1);
}

TEST_F(ExprSql, UserSelectReportsAndBrokenCodeAreNotTranslated) {
  CodeWriter w;
  w.Number(1);
  char text[] = "select 1";
  m.statementText = text;
  std::string sql;
  EXPECT_EQ(Translate(w, &sql), 1);
  m.statementText = nullptr;
  const uint8_t truncated[] = {OP_NUMBER, 0, 1, 2};
  EXPECT_EQ(ExpressionToSql(&m, truncated, sizeof truncated, nullptr, false, &sql), 1);
  const uint8_t underflow[] = {OP_ADD, OP_END};
  EXPECT_EQ(ExpressionToSql(&m, underflow, sizeof underflow, nullptr, false, &sql), 1);
}
