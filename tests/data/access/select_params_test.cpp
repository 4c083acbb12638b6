#include "data/db_errors.h"
#include "data/select_params.h"
#include "foundation/heap_strings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Sub(const char* sql, const char* list) {
  char* r = SubstituteSelectParameters(sql, list);
  if (!r) return "<null>";
  std::string s(r);
  HeapFreeBlock(r);
  return s;
}

std::string Layout(const char* sql) {
  std::string out = "junk";
  MakeLayoutOnlySelectAll(out, sql);
  return out;
}

class SelectParams : public testing::Test {
 protected:
  void SetUp() override { DbClearErrorRecord(); }
};

}  // namespace

TEST_F(SelectParams, DefaultsAndListValues) {
  const char* sql = "select * from t where a = <<1>>";
  EXPECT_EQ(Sub(sql, nullptr), "select * from t where a = 1");
  EXPECT_EQ(Sub(sql, ""), "select * from t where a = 1");
  EXPECT_EQ(Sub(sql, "<<5>>"), "select * from t where a = 5");
  EXPECT_EQ(DbErrorCount(), 0);

  const char* two = "select * from t where a = <<1>> and b < <<x>>";
  EXPECT_EQ(Sub(two, ",<<7>>"), "select * from t where a = 1 and b < 7");
  EXPECT_EQ(Sub(two, " <<2>> ,\t<<3>>"), "select * from t where a = 2 and b < 3");
  EXPECT_EQ(Sub(two, "<<2>> <<3>>"), "select * from t where a = 2 and b < 3");  // comma missing
  EXPECT_EQ(Sub("select a from t where a < 3 and b = <<z>>", nullptr), "select a from t where a < 3 and b = z");
}

TEST_F(SelectParams, ListErrorsAreShownWithThePrefix) {
  const char* sql = "select * from t where a = <<1>>";
  EXPECT_EQ(Sub(sql, "<<5>>,<<6>>"), "<null>");
  EXPECT_EQ(DbLastErrorText(), "SELECT parameter substitution: too many replacement parameters on RI_REPLACE line");
  EXPECT_EQ(Sub("select <<a>>, <<b>> from t", "<<1>>"), "<null>");
  EXPECT_EQ(DbLastErrorText(), "SELECT parameter substitution: too few replacement parameters on RI_REPLACE line");
  DbClearErrorRecord();
  EXPECT_EQ(Sub(sql, "x<<5>>"), "<null>");
  EXPECT_EQ(DbLastErrorText(), "SELECT parameter substitution: non-whitespace found between commas");
  EXPECT_EQ(DbErrorCount(), 1);  // one message, not a second one about the count
  EXPECT_EQ(Sub(sql, "<<5"), "<null>");
  EXPECT_EQ(DbLastErrorText(), "SELECT parameter substitution: unexpected end of line");
  EXPECT_EQ(Sub(sql, "<"), "<null>");
  EXPECT_EQ(DbLastErrorText(), "SELECT parameter substitution: unexpected end of line");
  EXPECT_EQ(Sub("select <<a from t", nullptr), "<null>");
  EXPECT_EQ(DbLastErrorText(), "SELECT parameter substitution: unmatched parameter delimiters");

  SelectParameter table[1] = {};
  EXPECT_EQ(SubstituteParameters('<', '>', 6, "x", table, 1, false), nullptr);
  EXPECT_EQ(DbLastErrorText(), "Unreasonable number of delimiter repeats");
  EXPECT_EQ(SubstituteParameters('<', '>', 2, "x", table, 101, false), nullptr);
  EXPECT_EQ(DbLastErrorText(), "SELECT parameter substitution: too many parameters");
}

TEST_F(SelectParams, CountsOnlyCompleteMarkers) {
  EXPECT_EQ(CountParameterMarkers('<', '>', 2, "a < b and <<1>> and <<2>> and <<3"), 2);
  EXPECT_EQ(CountParameterMarkers('<', '>', 2, ""), 0);
  EXPECT_EQ(CountParameterMarkers('[', ']', 3, "[[[x]]] [[y]]"), 1);
}

TEST_F(SelectParams, LayoutOnlySelect) {
  EXPECT_EQ(Layout("select a from t order by a"), "select a from t  where 1 = 2 order by a");
  EXPECT_EQ(Layout("select a from t where b = 1 group by a"),
            "select a from t where  ( 1 = 2 ) and ( b = 1  ) group by a");
  EXPECT_EQ(Layout("select a from t"), "select a from t where 1 = 2 ");
  EXPECT_EQ(Layout("select a from t union select b from u where c = 2"),
            "select a from t  where 1 = 2 union select b from u where  ( 1 = 2 ) and ( c = 2 ) ");
  // A word that merely ends in a keyword is not that keyword.
  EXPECT_EQ(Layout("select somewhere from t"), "select somewhere from t where 1 = 2 ");
  const char* rest = nullptr;
  std::string out;
  MakeLayoutOnlySelect(out, "select a from t union select b from u", &rest);
  ASSERT_NE(rest, nullptr);
  EXPECT_STREQ(rest, "union select b from u");
}

// Words are read as the server reads them: those in literals, quoted names,
// comments and subqueries are not the branch's keywords, and a branch that
// is no SELECT stays as it is. Each of these once looped for ever.
TEST_F(SelectParams, LayoutOnlySelectReadsWordsWhereTheyStand) {
  SqlLexRules pg;
  pg.server = SqlServer::kPostgres;
  pg.backslashInStrings = 0;
  const struct {
    const char* sql;
    const char* layout;
  } cases[] = {
      {"select a from t where c <> 'union x'", "select a from t where  ( 1 = 2 ) and ( c <> 'union x' ) "},
      {"select a from t /* union */ where \"union \" = 1 -- union\n",
       "select a from t /* union */ where  ( 1 = 2 ) and ( \"union \" = 1 -- union\n ) "},
      {"select a from t union values (1)", "select a from t  where 1 = 2 union values (1)"},
      {"select a from t where b = 2 union all table u order by 1",
       "select a from t where  ( 1 = 2 ) and ( b = 2  ) union all table u order by 1"},
      {"(select a from t where b = 1) union (select c from u)",
       "(select a from t where  ( 1 = 2 ) and ( b = 1 ) ) union (select c from u where 1 = 2 )"},
      {"select (select max(x) from u where y = 1) from t order by 1",
       "select (select max(x) from u where y = 1) from t  where 1 = 2 order by 1"},
      {"select $$ union $$ from t", "select $$ union $$ from t where 1 = 2 "},
      {"select a from t where b = 1 -- union", "select a from t where  ( 1 = 2 ) and ( b = 1 -- union\n ) "},
      {"union", "union"},
      // Every clause that may follow WHERE ends the condition.
      {"select a from t limit 2", "select a from t  where 1 = 2 limit 2"},
      {"select a from t where b = 1 limit 2 offset 1", "select a from t where  ( 1 = 2 ) and ( b = 1  ) limit 2 offset 1"},
      {"select a from t offset 1 rows fetch first 2 rows only",
       "select a from t  where 1 = 2 offset 1 rows fetch first 2 rows only"},
      {"select a from t where fetch = 1 fetch next 1 row only",
       "select a from t where  ( 1 = 2 ) and ( fetch = 1  ) fetch next 1 row only"},
      {"select rank() over w from t where window = 1 window w as (order by a)",
       "select rank() over w from t where  ( 1 = 2 ) and ( window = 1  ) window w as (order by a)"},
      {"select count(*) from t having count(*) > 1", "select count(*) from t  where 1 = 2 having count(*) > 1"},
      {"select a from t; -- done", "select a from t where 1 = 2 ; -- done"},
      {"select a from t where b = 1 except select a from u intersect select 1",
       "select a from t where  ( 1 = 2 ) and ( b = 1  ) except select a from u  where 1 = 2 intersect select 1 where 1 = 2 "},
      {"((select a from t limit 1) union (select b from u))",
       "((select a from t  where 1 = 2 limit 1) union (select b from u where 1 = 2 ))"},
      // Text whose reading is not sure goes as it stands.
      {"select 'open union", "select 'open union"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    std::string out;
    MakeLayoutOnlySelectAll(out, c.sql, pg);
    EXPECT_EQ(out, c.layout);
  }
  const char* rest = "";
  std::string out;
  MakeLayoutOnlySelect(out, "select a from t where c <> 'union x'", &rest, pg);
  EXPECT_EQ(rest, nullptr);
  // SQLite takes OFFSET only after LIMIT: elsewhere it is a name.
  SqlLexRules lite;
  lite.server = SqlServer::kSqlite;
  MakeLayoutOnlySelectAll(out, "select offset from t where offset > 1 limit 1 offset 1", lite);
  EXPECT_EQ(out, "select offset from t where  ( 1 = 2 ) and ( offset > 1  ) limit 1 offset 1");
}

// A clause word counts at the level the search starts at, up to the
// bracket that closes that level.
TEST_F(SelectParams, KeywordSearch) {
  std::vector<SqlToken> t;
  std::string why;
  ASSERT_TRUE(ReadSqlTokens("select (select x from u order by x) from t ORDER\tBY 1", SqlLexRules(), &t, &why));
  EXPECT_EQ(FindSqlKeywordPair(t, 1, t.size(), "order", "by"), 12u);
  EXPECT_EQ(FindSqlKeywordPair(t, 2, t.size(), "order", "by"), 6u) << "the subquery's own";
  EXPECT_EQ(FindSqlKeyword(t, 7, t.size(), "from"), 9u) << "the subquery's closing bracket";
  EXPECT_EQ(FindSqlKeyword(t, 1, t.size(), "where|from"), 10u);
  EXPECT_EQ(FindSqlKeyword(t, 1, 10, "where"), 10u);
}
