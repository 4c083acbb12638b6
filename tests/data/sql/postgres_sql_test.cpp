// Column kinds, fetched values, generated SELECTs and translated expressions
// against the private PostgreSQL server.
#include "data/data_access.h"
#include "data/db_errors.h"
#include "data/expr_to_sql.h"
#include "data/filter_text.h"
#include "data/select_builder.h"
#include "data/sql_literals.h"
#include "data/table_fields.h"
#include "expr/calendar.h"
#include "model/field_compile.h"
#include "core/compiled_code.h"
#include "core/composite.h"
#include "model/record_filter.h"
#include "model/record_pass.h"
#include "tests/model/recordpass/condition_writer.h"
#include "tests/support/odbc_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

class PgSql : public testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!odbc_test::StartPostgres(&why)) GTEST_SKIP() << why;
    da = GetDataAccess(&m);
    da->sqlIniPath = VT_SOURCE_DIR "/samples/kmwsql.ini";
    ASSERT_EQ(da->ConnectDataSource(odbc_test::kPgDsn, false, true, nullptr), 1) << DbLastErrorText();
    da->SelectDataSource(odbc_test::kPgDsn);
    // The tables are made by the server's own client: the program only reads.
    bool made = false;
    const std::string said = odbc_test::RunPostgresSql(
        "drop table if exists vt_lines; drop table if exists vt_heads; "
        "create table vt_heads (id integer primary key, title varchar(40), total numeric(25,4), "
        "fine numeric(18,17), day date, at time, stamp timestamp, note text); "
        "insert into vt_heads values (1, 'Stra\xc3\x9f" "e', 12345.6789, 1.25, '1998-03-05', '10:20:30.25', "
        "'2001-12-31 23:59:58.25', 'a\r\nb'), (2, 'O''Hara', -1, 0, null, null, null, null), "
        "(3, 'x', null, null, null, null, null, null); "
        "create table vt_lines (head integer not null, qty integer); insert into vt_lines values (1, 3), (1, 4), (2, 5);",
        &made);
    ASSERT_TRUE(made) << said;
  }
  FieldDef* Find(const char* name) {
    for (FieldDef* f = m.fieldList; f; f = f->next)
      if (std::strcmp(f->name, name) == 0) return f;
    std::string all; for (FieldDef* f = m.fieldList; f; f = f->next) all += std::string(f->name) + ",";
    ADD_FAILURE() << name << " in " << all;
    return nullptr;
  }
  std::vector<std::string> Rows(const std::string& sql) {
    std::vector<std::string> rows;
    EXPECT_EQ(da->ExecSql(sql.c_str()), 0) << sql;
    int n = da->GetColumnCount();
    while (da->FetchNext() == 0) rows.push_back(da->GetColumnText(1, n, '|'));
    da->EndStatement();
    std::sort(rows.begin(), rows.end());
    return rows;
  }
  CKmComposite m{nullptr};
  DataAccess* da = nullptr;
};

double Number(const uint8_t* v) {
  double d;
  std::memcpy(&d, v, 8);
  return d;
}
double Time(const uint8_t* v) { return Number(v + 4); }

}  // namespace

TEST_F(PgSql, ColumnKindsAndExactValues) {
  uint32_t t = m.AddTableSlot("vt_heads", "H", 0, 0, nullptr);
  ASSERT_EQ(BuildSqlFieldList(&m, t, nullptr, nullptr, nullptr, true, nullptr, 0), 0);
  FieldDef* total = Find("total");
  EXPECT_EQ(FieldKind(total), kFieldNumeric);
  EXPECT_EQ(total->displayWidth, 19u);
  EXPECT_EQ(total->displayDecimals, 0);
  EXPECT_EQ(total->width, 26u);
  FieldDef* fine = Find("fine");
  EXPECT_EQ(fine->displayWidth, 16u);
  EXPECT_EQ(fine->displayDecimals, 15);
  EXPECT_EQ(FieldKind(Find("day")), kFieldDate);
  EXPECT_EQ(FieldKind(Find("at")), kFieldTime);
  EXPECT_EQ(FieldKind(Find("stamp")), kFieldDateTime);
  std::vector<std::vector<uint8_t>> buffers;
  for (FieldDef* f = m.fieldList; f; f = f->next) {
    buffers.emplace_back(m.GetFieldStorageSize(f) + 16, 0);
    f->value = buffers.back().data();
  }
  SqlRunState* st = GetSqlRunState(&m);
  st->queryTables[0] = static_cast<uint8_t>(t);
  st->queryTableCount = 1;
  ASSERT_EQ(da->ExecSql("select * from vt_heads order by id"), 0);
  ASSERT_EQ(BindResultColumns(&m, true, 0), 0);
  ASSERT_EQ(da->FetchNext(), 0);
  ConvertFetchedRow(&m);
  EXPECT_DOUBLE_EQ(Number(total->value), 12345.6789);
  EXPECT_DOUBLE_EQ(Number(fine->value), 1.25);
  EXPECT_STREQ(reinterpret_cast<char*>(Find("title")->value), "Stra\xdf" "e");
  EXPECT_DOUBLE_EQ(Time(Find("at")->value), (10 * 3600 + 20 * 60 + 30) * 1e6);
  EXPECT_DOUBLE_EQ(Time(Find("stamp")->value), (23 * 3600 + 59 * 60 + 58.25) * 1e6);
  EXPECT_STREQ(reinterpret_cast<char*>(Find("note")->value), "a b");
  ASSERT_EQ(da->FetchNext(), 0);
  ConvertFetchedRow(&m);
  EXPECT_DOUBLE_EQ(Number(total->value), -1.0);
  EXPECT_TRUE(Find("day")->totalFlags & kTotalNullValue);
  da->EndStatement();
}

TEST_F(PgSql, GeneratedSelectsReturnTheReferenceRows) {
  uint32_t h = m.AddTableSlot("vt_heads", "H", 0, 0, nullptr);
  ASSERT_EQ(BuildSqlFieldList(&m, h, nullptr, nullptr, nullptr, true, nullptr, 0), 0);
  uint32_t l = m.AddTableSlot("vt_lines", "L", 0, 0x20, nullptr);
  ASSERT_EQ(BuildSqlFieldList(&m, l, nullptr, nullptr, nullptr, true, nullptr, 0), 0);
  for (FieldDef* f = m.fieldList; f; f = f->next) f->flags &= ~kFieldNeeded;
  Find("title")->flags |= kFieldNeeded;
  Find("qty")->flags |= kFieldNeeded;
  m.tableSlots[l]->link.pairs[0][0] = m.GetFieldIndex(Find("id"));
  m.tableSlots[l]->link.pairs[0][1] = m.GetFieldIndex(Find("head"));
  BuildSelectStatement(&m, 0);
  std::string sql = GetSelectResult(&m)->mainStatement;
  EXPECT_EQ(sql, "select  vt_heads.\"title\", vt_lines.\"qty\" from {oj vt_heads  left outer join vt_lines on "
                 "vt_heads.\"id\" = vt_lines.\"head\" } ");
  EXPECT_EQ(Rows(sql), Rows("select h.title, l.qty from vt_heads h left join vt_lines l on h.id = l.head"));
  // A key the driver reports as holding no NULL is sent as it stands, so that
  // its index serves; one that may be missing keeps its terms, as does a key
  // of an outer lookup, which the join may leave without a value.
  SelectInputs* in = GetSelectInputs(&m);
  in->sortKeys[0] = Find("id");
  in->sortKeys[1] = Find("title");
  in->sortKeys[2] = Find("head");
  BuildSelectStatement(&m, 0);
  sql = GetSelectResult(&m)->mainStatement;
  EXPECT_EQ(sql.substr(sql.find("order by")),
            "order by  vt_heads.\"id\", rtrim(coalesce(vt_heads.\"title\", '')), coalesce(vt_lines.\"head\", 0), case when "
            "vt_lines.\"head\" is null then 0 else 1 end");
  in->sortKeys[0] = in->sortKeys[1] = in->sortKeys[2] = nullptr;

  // A calculation sent to the database divides in doubles as the program does,
  // a division by zero giving the program's 0 instead of failing the query.
  CodeWriter w;
  w.Field(m.GetFieldIndex(Find("qty")));
  w.Number(2);
  w.Op(OP_DIV);
  w.End();
  std::string text;
  ASSERT_EQ(ExpressionToSql(&m, w.data(), w.size(), nullptr, false, &text), 0);
  EXPECT_EQ(text, "coalesce((cast(vt_lines.\"qty\" as float8) / nullif(2, 0)), 0)");
  EXPECT_EQ(Rows("select " + text + " from vt_lines where qty = 3")[0].substr(0, 3), "1.5");

  // Date literals in the shipped form compare with stored dates.
  std::string lit;
  DateParts p;
  p.year = 1998;
  p.month = 3;
  p.day = 5;
  DayNumber day = 0;
  YMDToJulian(p, day);
  FormatSqlDateLiteral(&m, day, &lit);
  EXPECT_EQ(lit, "DATE '1998-03-05'");
  EXPECT_EQ(Rows("select id from vt_heads where day = " + lit), std::vector<std::string>{"1"});
}

namespace {

// Comparing without case (COMPARECASE 1), the condition goes to the server
// through the shipped LOWER, which folds accented capitals as the program does.
TEST_F(PgSql, ConditionsWithoutCaseFoldEveryLetterOnTheServer) {
  uint32_t t = m.AddTableSlot("vt_heads", "H", 0, 0, nullptr);
  ASSERT_EQ(BuildSqlFieldList(&m, t, nullptr, nullptr, nullptr, true, nullptr, 0), 0);
  m.CompareCaseCombined = 1;
  EXPECT_TRUE(CaseTemplateMapsAsTheProgram(&m, "LOWER"));
  EXPECT_TRUE(CaseTemplateMapsAsTheProgram(&m, "UPPER"));
  Cond c;  // STRASSE with the sharp s, in capitals but for it
  c.Field(m.GetFieldIndex(Find("title"))).Op(kCondEqual).Text("STRA\xdf" "E").EndMark();
  c.Op(0);
  m.conditionCode = static_cast<uint8_t*>(std::malloc(c.b.size()));
  std::memcpy(m.conditionCode, c.b.data(), c.b.size());
  m.conditionLength = static_cast<uint16_t>(c.b.size());
  ASSERT_EQ(RebuildConditionCode(&m), 0);
  std::string where;
  EXPECT_FALSE(FilterToText(&m, &where, "where"));
  EXPECT_NE(where.find("translate("), std::string::npos) << where;
  EXPECT_EQ(Rows("select id from vt_heads " + where), std::vector<std::string>{"1"}) << where;
  FreeFilterCode(&m);
  std::free(m.conditionCode);
  m.conditionCode = nullptr;
}

}  // namespace

namespace {

// With AlwaysEngineEval the server computes a condition the program would
// write as one byte; the server gives it as a number, which fills that byte.
TEST_F(PgSql, ATruthComputedByTheServerFillsItsOneByte) {
  da->sqlIniPath = odbc_test::SqlIniWith("pg_engine_eval.ini", "[PostgreSQL]", "AlwaysEngineEval=1\n");
  da->DisconnectDataSource(odbc_test::kPgDsn);
  ASSERT_EQ(da->ConnectDataSource(odbc_test::kPgDsn, false, true, nullptr), 1) << DbLastErrorText();
  da->SelectDataSource(odbc_test::kPgDsn);
  uint32_t t = m.AddTableSlot("vt_heads", "H", 0, 0, nullptr);
  ASSERT_EQ(BuildSqlFieldList(&m, t, nullptr, nullptr, nullptr, true, nullptr, 0), 0);
  for (FieldDef* f = m.fieldList; f; f = f->next) f->flags &= ~kFieldNeeded;
  Find("id")->flags |= kFieldNeeded;
  InstallSqlTranslation(&m);
  FieldDef* big = CompileField(&m, "BIG", "ID > 1", false, nullptr);
  ASSERT_TRUE(big != nullptr && big->sqlText != nullptr);
  ASSERT_TRUE(big->flags & kFieldLogical);
  big->flags |= kFieldNeeded;
  GetRecordPassState(&m)->alwaysEngineEval = 1;
  ASSERT_EQ(OpenReportQuery(&m), 0) << GetSelectResult(&m)->mainStatement;
  SqlRowSource rows(&m);
  std::string got;
  while (rows.FetchNextRow() == 0) {
    rows.ConvertFetchedRow(&m);
    got += std::to_string(big->value[0]);
  }
  CloseReportQuery(&m);
  m.DropAttachment(AttachmentSlot::kRecordPass);
  EXPECT_EQ(got, "011");
}

}  // namespace
