// The record filter as an SQL condition, run on the SQLite test database.
#include "data/data_access.h"
#include "data/db_errors.h"
#include "data/expr_to_sql.h"
#include "data/select_builder.h"
#include "data/sql_literals.h"
#include "data/table_fields.h"
#include "expr/collation.h"
#include "core/composite.h"
#include "data/filter_text.h"
#include "model/field_compile.h"
#include "model/record_filter.h"
#include "tests/support/odbc_env.h"
#include "tests/model/recordpass/condition_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

class Filter : public testing::Test {
 protected:
  void SetUp() override {
    if (!odbc_test::HaveSqliteDriver()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    da = GetDataAccess(&m);
    da->sqlIniPath = VT_SOURCE_DIR "/samples/kmwsql.ini";
    ASSERT_EQ(da->ConnectDataSource(odbc_test::kSqliteDsn, false, true, nullptr), 1) << DbLastErrorText();
    da->SelectDataSource(odbc_test::kSqliteDsn);
    uint32_t t = m.AddTableSlot("customers", "C", 0, 0, nullptr);
    ASSERT_EQ(BuildSqlFieldList(&m, t, nullptr, nullptr, nullptr, true, nullptr, 0), 0);
    calc = m.AddField(kFieldCalculation | kFieldNumeric);  // no SQL form
  }
  void TearDown() override {
    FreeFilterCode(&m);
    std::free(m.conditionCode);
    m.conditionCode = nullptr;
    SetActiveCollation(nullptr, nullptr);
  }
  uint32_t F(const char* name) {
    for (FieldDef* f = m.fieldList; f; f = f->next)
      if (std::strcmp(f->name, name) == 0) return m.GetFieldIndex(f);
    ADD_FAILURE() << name;
    return 0;
  }
  bool Write(Cond c, std::string* out) {
    c.Op(0);
    FreeFilterCode(&m);
    std::free(m.conditionCode);
    m.conditionCode = static_cast<uint8_t*>(std::malloc(c.b.size()));
    std::memcpy(m.conditionCode, c.b.data(), c.b.size());
    m.conditionLength = static_cast<uint16_t>(c.b.size());
    EXPECT_EQ(RebuildConditionCode(&m), 0);
    out->clear();
    return FilterToText(&m, out, "where");
  }
  std::string Ids(const std::string& where) {
    std::string sql = "select \"id\" from customers " + where + " order by 1";
    EXPECT_EQ(da->ExecSql(sql.c_str()), 0) << sql;
    std::string ids;
    while (da->FetchNext() == 0) ids += std::string(da->GetColumnText(1, 1, '|')) + " ";
    da->EndStatement();
    return ids;
  }
  CKmComposite m{nullptr};
  DataAccess* da = nullptr;
  FieldDef* calc = nullptr;
};

}  // namespace

TEST_F(Filter, QuotesDoubledAndCaseFoldedLikeTheProgram) {
  std::string sql;
  Cond c;
  c.Field(F("name")).Op(kCondEqual).Text("o'HARA").EndMark();
  // SQLite's lower() folds only ASCII: the program compares without case itself.
  EXPECT_TRUE(Write(c, &sql));
  EXPECT_EQ(sql, "");
  EXPECT_FALSE(CaseTemplateMapsAsTheProgram(&m, "LOWER"));
  BuildSelectStatement(&m, 0);
  EXPECT_TRUE(GetSelectResult(&m)->engineFilterNeeded);
  m.CompareCaseCombined = 0;
  EXPECT_FALSE(Write(c, &sql));
  // The exact test cuts trailing blanks; the pattern keeps the column's index.
  EXPECT_EQ(sql, "where ((customers.\"name\" glob 'o''HARA*' and rtrim(replace(customers.\"name\", '\xB7', ' ')) = "
                 "'o''HARA')) ");
  EXPECT_EQ(Ids(sql), "");
}

TEST_F(Filter, UntranslatablePartsAreLeftOutAndReported) {
  std::string sql;
  Cond a;  // balance > 0 and calc = 1: only the first goes to the database
  a.Field(F("balance")).Op(kCondGreater).Number(0).EndMark().Op(kCondAnd).Field(m.GetFieldIndex(calc));
  a.Op(kCondEqual).Number(1).EndMark();
  EXPECT_TRUE(Write(a, &sql));
  EXPECT_EQ(sql, "where ((customers.\"balance\" > 0)) ");
  EXPECT_EQ(Ids(sql), "1 5 ");
  Cond o;  // an "or" with an untranslatable part is left out whole
  o.Field(F("balance")).Op(kCondGreater).Number(0).EndMark().Op(kCondOr).Field(m.GetFieldIndex(calc));
  o.Op(kCondEqual).Number(1).EndMark();
  EXPECT_TRUE(Write(o, &sql));
  EXPECT_EQ(sql, "");
  char user[] = "select * from customers";
  m.statementText = user;
  EXPECT_TRUE(Write(a, &sql));
  EXPECT_EQ(sql, "");
  m.statementText = nullptr;
}

TEST_F(Filter, ListsNullsLogicalsAndNumbers) {
  std::string sql;
  m.CompareCaseCombined = 0;
  Cond in;
  in.Field(F("city")).Op(kCondOneOf).Text("Oslo").Text("Lyon").EndMark();
  EXPECT_FALSE(Write(in, &sql));
  EXPECT_EQ(sql, "where (rtrim(replace(customers.\"city\", '\xB7', ' ')) in ('Oslo','Lyon')) ");
  EXPECT_EQ(Ids(sql), "1 4 5 ");
  Cond withNull;
  withNull.Field(F("city")).Op(kCondOneOf).Text("Lyon").Text("").EndMark();
  EXPECT_FALSE(Write(withNull, &sql));
  // The empty text is a missing city too, as the group break takes it.
  EXPECT_EQ(sql,
            "where ((rtrim(replace(customers.\"city\", '\xB7', ' ')) = 'Lyon' or (customers.\"city\" is null or "
            "rtrim(replace(customers.\"city\", '\xB7', ' ')) = ''))) ");
  EXPECT_EQ(Ids(sql), "3 4 ");
  Cond yes;
  yes.Field(F("active")).Op(kCondEqual).Logical(1).EndMark();
  EXPECT_FALSE(Write(yes, &sql));
  EXPECT_EQ(sql, "where (customers.\"active\" <> 0) ");
  EXPECT_EQ(Ids(sql), "1 4 ");
  Cond no;
  no.Field(F("active")).Op(kCondEqual).Logical(0).EndMark();
  EXPECT_FALSE(Write(no, &sql));
  EXPECT_EQ(sql, "where (customers.\"active\" = 0) ");
  Cond exact;
  exact.Field(F("balance")).Op(kCondEqual).Number(99.99).EndMark();
  EXPECT_FALSE(Write(exact, &sql));
  EXPECT_EQ(sql, "where (customers.\"balance\" = 99.99) ");
  EXPECT_EQ(Ids(sql), "5 ");
}

TEST_F(Filter, LikePatternsWithEscapedWildcardsCarryAnEscapeClause) {
  bool esc = false;
  EXPECT_EQ(ConvertLikePattern("a*b?c", 0, '\\', &esc), "a%b_c");
  EXPECT_FALSE(esc);
  EXPECT_EQ(ConvertLikePattern("100~% *", '~', '\\', &esc), "100\\% %");
  EXPECT_TRUE(esc);
  EXPECT_EQ(ConvertLikePattern("~*~?x~", '~', '\\', &esc), "*?x~");
  EXPECT_FALSE(esc);
  EXPECT_EQ(ConvertLikePattern("a\\b*", 0, '\\', &esc), "a\\\\b%");
  EXPECT_TRUE(esc);
  // Without alternative wildcards '%' and '_' are the program's literals.
  EXPECT_EQ(ConvertLikePattern("5%_#", 0, '\\', &esc, 0, '#'), "5\\%\\__");
  EXPECT_EQ(ConvertGlobPattern("a*b?c%d_e[f]~*", '~', '%', '_'), "a*b?c*d?e[[]f][*]");

  SortOrderTables tables;
  tables.escapeChar = '~';
  SetActiveCollation(&tables, nullptr);
  m.CompareCaseCombined = 0;
  std::string sql;
  Cond c;
  c.Field(F("notes")).Op(kCondLike).Text("100~% *").EndMark();
  EXPECT_FALSE(Write(c, &sql));
  EXPECT_EQ(sql, "where (rtrim(replace(customers.\"notes\", '\xB7', ' ')) glob '100% *') ");
  EXPECT_EQ(Ids(sql), "5 ");
  EXPECT_TRUE(MatchWildcard("100~% *", "100% sure"));
  Cond trailing;  // an escape at the end matches nothing in the program
  trailing.Field(F("notes")).Op(kCondLike).Text("x~").EndMark();
  EXPECT_TRUE(Write(trailing, &sql));
  EXPECT_EQ(sql, "");
}

// The program's LIKE keeps case (COMPARECASE 0) and ignores trailing blanks;
// SQLite's LIKE ignores case, so the condition goes as GLOB. The program's
// own match of each name decides which rows the database must return.
TEST_F(Filter, LikeKeepsCaseOnSqliteAsTheProgramDoes) {
  m.CompareCaseCombined = 0;
  const std::pair<const char*, const char*> names[] = {
      {"1", "Anders"}, {"2", "O'Hara"}, {"4", "A name that is much longer than forty characters in all"}, {"5", "Eve"}};
  std::string sql;
  for (const char* pattern : {"o*", "O*", "*a*", "?ve", "Eve   ", "*s", "a_*"}) {
    Cond c;
    c.Field(F("name")).Op(kCondLike).Text(pattern).EndMark();
    EXPECT_FALSE(Write(c, &sql)) << pattern;
    std::string trimmed = pattern;
    trimmed.erase(trimmed.find_last_not_of(' ') + 1);
    std::string program;
    for (const auto& n : names)
      if (MatchWildcard(trimmed.c_str(), n.second)) program += std::string(n.first) + " ";
    EXPECT_EQ(Ids(sql), program) << pattern << ": " << sql;
  }
  Cond unlike;
  unlike.Field(F("name")).Op(kCondNotLike).Text("a*").EndMark();
  EXPECT_FALSE(Write(unlike, &sql));
  EXPECT_EQ(Ids(sql), "1 2 4 5 ");  // a missing name is neither like nor unlike
}

// A condition on a calculation goes to the database only where the database
// compares as the program does: texts without trailing blanks and by equality
// only, numbers free of rounding, no empty value standing for a missing one.
TEST_F(Filter, ConditionsOnCalculationsCompareAsTheProgramCompares) {
  m.CompareCaseCombined = 0;
  InstallSqlTranslation(&m);
  FieldDef* town = CompileField(&m, "TOWN", "CITY + '  '", false, nullptr);
  FieldDef* half = CompileField(&m, "HALF", "BALANCE / 2", false, nullptr);
  FieldDef* year = CompileField(&m, "JOINED", "YEAR(SINCE)", false, nullptr);
  ASSERT_TRUE(town && town->sqlText && half && half->sqlText && year && year->sqlText);
  std::string sql;
  Cond same;
  same.Field(m.GetFieldIndex(town)).Op(kCondEqual).Text("Oslo  ").EndMark();
  EXPECT_FALSE(Write(same, &sql));
  EXPECT_EQ(Ids(sql), "1 5 ") << sql;
  Cond missingYear;  // the year of a missing date is 0
  missingYear.Field(m.GetFieldIndex(year)).Op(kCondEqual).Number(0).EndMark();
  EXPECT_FALSE(Write(missingYear, &sql));
  EXPECT_EQ(Ids(sql), "3 ") << sql;
  Cond before;  // the order of texts is the database's collation
  before.Field(m.GetFieldIndex(town)).Op(kCondLess).Text("P").EndMark();
  EXPECT_TRUE(Write(before, &sql));
  Cond rounded;  // the program compares quotients within two units of the last place
  rounded.Field(m.GetFieldIndex(half)).Op(kCondGreater).Number(0).EndMark();
  EXPECT_TRUE(Write(rounded, &sql));
  Cond empty;  // a calculated text is never missing: empty is not "is null"
  empty.Field(m.GetFieldIndex(town)).Op(kCondEqual).Text("").EndMark();
  EXPECT_TRUE(Write(empty, &sql));
  EXPECT_EQ(sql, "");
}
