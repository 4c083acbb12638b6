// Generated SELECT text for report models on the SQLite test database, and
// the rows it returns against hand-written reference queries.
#include "data/data_access.h"
#include "data/db_errors.h"
#include "data/select_builder.h"
#include "data/sql_literals.h"
#include "data/table_fields.h"
#include "core/composite.h"
#include "data/expr_to_sql.h"
#include "model/field_compile.h"
#include "model/record_pass.h"
#include "tests/support/odbc_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

class Select : public testing::Test {
 protected:
  void SetUp() override {
    if (!odbc_test::HaveSqliteDriver()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    da = GetDataAccess(&m);
    da->sqlIniPath = VT_SOURCE_DIR "/samples/kmwsql.ini";
    ASSERT_EQ(da->ConnectDataSource(odbc_test::kSqliteDsn, false, true, nullptr), 1) << DbLastErrorText();
    da->SelectDataSource(odbc_test::kSqliteDsn);
  }
  // A table slot with its fields, none of them selected.
  uint32_t Table(const char* name, const char* alias, uint8_t bits) {
    uint32_t t = m.AddTableSlot(name, alias, 0, bits, nullptr);
    EXPECT_EQ(BuildSqlFieldList(&m, t, nullptr, nullptr, nullptr, true, nullptr, 0), 0);
    FieldDef* f = m.tableSlots[t]->firstField;
    for (uint32_t k = 0; k < m.tableSlots[t]->fieldCount; ++k, f = f->next) f->flags &= ~kFieldNeeded;
    return t;
  }
  FieldDef* Field(uint32_t t, const char* name, bool select = false) {
    FieldDef* f = m.tableSlots[t]->firstField;
    for (uint32_t k = 0; k < m.tableSlots[t]->fieldCount; ++k, f = f->next)
      if (std::strcmp(f->name, name) == 0) {
        if (select) f->flags |= kFieldNeeded;
        return f;
      }
    ADD_FAILURE() << name;
    return nullptr;
  }
  void Link(uint32_t lookup, FieldDef* parent, FieldDef* key) {
    m.tableSlots[lookup]->link.pairs[0][0] = m.GetFieldIndex(parent);
    m.tableSlots[lookup]->link.pairs[0][1] = m.GetFieldIndex(key);
  }
  std::vector<std::string> Rows(const std::string& sql) {
    std::vector<std::string> rows;
    EXPECT_EQ(da->ExecSql(sql.c_str()), 0) << sql;
    int n = da->GetColumnCount();
    while (da->FetchNext() == 0) rows.push_back(da->GetColumnText(1, n, '|'));
    da->EndStatement();
    return rows;
  }
  std::string Main(int form = 0) {
    BuildSelectStatement(&m, form);
    return GetSelectResult(&m)->mainStatement;
  }
  CKmComposite m{nullptr};
  DataAccess* da = nullptr;
};

}  // namespace

TEST_F(Select, MasterOnlyWithSortAndTheFallbackColumn) {
  uint32_t o = Table("orders", "O", 0);
  EXPECT_EQ(Main(), "select \"id\" from orders  ");  // nothing used: the first field
  Field(o, "id", true);
  Field(o, "amount", true);
  SelectInputs* in = GetSelectInputs(&m);
  in->sortKeys[0] = Field(o, "amount");
  in->sortAscending[0] = 0;
  std::string sql = Main();
  // A missing amount is a value of its own just before 0.
  EXPECT_EQ(sql,
            "select  \"id\", \"amount\" from orders  order by  coalesce(\"amount\", 0) desc, case when \"amount\" is "
            "null then 0 else 1 end desc");
  EXPECT_EQ(Rows(sql), Rows("select id, amount from orders order by amount desc"));
  EXPECT_EQ(Main(2),
            "select\n \"id\", \"amount\"\nfrom orders  \norder by\n  coalesce(\"amount\", 0) desc, case when "
            "\"amount\" is null then 0 else 1 end desc");
  EXPECT_EQ(Main(4), "select  \"id\", \"amount\" from orders  ");
  // Sorting folded to lower case puts the wrapped key at the head of the list.
  in->sortKeys[0] = Field(o, "id");
  in->sortCase = true;
  FieldDef* c = Field(o, "id");
  c->flags &= ~kFieldNumeric;  // as if a text column
  // A missing text sorts with the empty ones.
  EXPECT_EQ(Main(), "select rtrim(coalesce(lower(orders.\"id\"), '')), \"id\", \"amount\" from orders  order by 1 desc");
}

// A calculation that is only a number column sorts as the column does: its
// missing values a value of their own just before 0, as the program sorts.
TEST_F(Select, ACalculationThatIsANumberColumnSortsAsItsColumn) {
  InstallSqlTranslation(&m);
  uint32_t o = Table("orders", "O", 0);
  Field(o, "id", true);
  FieldDef* k = CompileField(&m, "K", "amount", false, nullptr);
  ASSERT_NE(k, nullptr);
  ASSERT_NE(k->sqlText, nullptr);
  SelectInputs* in = GetSelectInputs(&m);
  in->sortKeys[0] = k;
  in->sortAscending[0] = 0;
  const std::string text = k->sqlText;
  const std::string sql = Main();
  // This driver orders by the select list's places.
  EXPECT_EQ(sql, "select  coalesce(" + text + ", 0), case when " + text +
                     " is null then 0 else 1 end, \"id\" from orders  order by 1 desc,2 desc");
  std::vector<std::string> ids;
  for (const std::string& row : Rows(sql)) ids.push_back(row.substr(row.rfind('|') + 1));
  EXPECT_EQ(ids, Rows("select id from orders order by coalesce(amount, 0) desc, amount is not null desc"));
}

TEST_F(Select, ExactInnerJoinInWhere) {
  uint32_t o = Table("orders", "O", 0);
  uint32_t c = Table("customers", "C", 0x40);
  Link(c, Field(o, "customer"), Field(c, "id"));
  Field(o, "id", true);
  Field(c, "name", true);
  std::string sql = Main();
  EXPECT_EQ(sql, "select  orders.\"id\", customers.\"name\" from orders, customers  where orders.\"customer\" = "
                 "customers.\"id\" ");
  auto rows = Rows(sql);
  std::sort(rows.begin(), rows.end());
  auto ref = Rows("select o.id, c.name from orders o join customers c on o.customer = c.id order by 1");
  EXPECT_EQ(rows, ref);
  BuildSelectStatement(&m, 1);
  EXPECT_EQ(GetSelectResult(&m)->secondStatement,
            "select  orders.\"id\", customers.\"name\" from orders, customers  where orders.\"customer\" = "
            "customers.\"id\" and (1 = 2)");
}

TEST_F(Select, OuterJoinsEachKeepTheirCondition) {
  uint32_t c = Table("customers", "C", 0);
  uint32_t o = Table("orders", "O", 0x20);
  uint32_t b = Table("big_orders", "B", 0x20);
  Link(o, Field(c, "id"), Field(o, "customer"));
  Link(b, Field(c, "id"), Field(b, "customer"));
  Field(c, "id", true);
  Field(o, "id", true);
  Field(b, "amount", true);
  std::string sql = Main();
  EXPECT_EQ(sql,
            "select  customers.\"id\", orders.\"id\", big_orders.\"amount\" from {oj customers  left outer join "
            "orders on customers.\"id\" = orders.\"customer\" left outer join big_orders on customers.\"id\" = "
            "big_orders.\"customer\" } ");
  auto rows = Rows(sql);
  auto ref = Rows("select c.id, o.id, b.amount from customers c left join orders o on c.id = o.customer "
                  "left join big_orders b on c.id = b.customer");
  std::sort(rows.begin(), rows.end());
  std::sort(ref.begin(), ref.end());
  EXPECT_EQ(rows, ref);
  EXPECT_EQ(rows.size(), 8u);  // 3 + 1 + 1 + 1 + 1 + ... never the cross product
}

TEST_F(Select, InnerLookupBeforeAnOuterPairAndRepeatedTablesGetAliases) {
  uint32_t mst = Table("orders", "M", 0);
  uint32_t a = Table("customers", "A", 0x40);
  uint32_t b = Table("orders", "B", 0x20);
  Link(a, Field(mst, "customer"), Field(a, "id"));
  Link(b, Field(mst, "id"), Field(b, "id"));
  Field(mst, "id", true);
  Field(a, "name", true);
  Field(b, "amount", true);
  std::string sql = Main();
  EXPECT_EQ(sql,
            "select  customers.\"name\", M.\"id\", B.\"amount\" from customers, {oj orders M  left outer join "
            "orders B on M.\"id\" = B.\"id\" } where customers.\"id\" = M.\"customer\" ");
  auto rows = Rows(sql);
  EXPECT_EQ(rows.size(), 3u);
}

TEST_F(Select, ApproximateJoinsNumberTheirSubSelects) {
  uint32_t o = Table("orders", "O", 0);
  uint32_t c = Table("customers", "C", 0x44);
  uint32_t d = Table("customers", "D", 0x42);
  Link(c, Field(o, "amount"), Field(c, "balance"));
  Link(d, Field(o, "amount"), Field(d, "balance"));
  Field(o, "id", true);
  Field(c, "name", true);
  std::string sql = Main();
  EXPECT_NE(sql.find("where C.\"balance\" = (select min(\"balance\") from customers k_m_s_u_b_1 where "
                     "k_m_s_u_b_1.\"balance\" >= orders.\"amount\") "),
            std::string::npos)
      << sql;
  EXPECT_NE(sql.find("and D.\"balance\" = (select max(\"balance\") from customers k_m_s_u_b_2 where "
                     "k_m_s_u_b_2.\"balance\" <= orders.\"amount\") "),
            std::string::npos)
      << sql;
  auto rows = Rows(sql);
  auto ref = Rows("select o.id, c.name from orders o, customers c, customers d where c.balance = (select "
                  "min(balance) from customers where balance >= o.amount) and d.balance = (select max(balance) "
                  "from customers where balance <= o.amount)");
  std::sort(rows.begin(), rows.end());
  std::sort(ref.begin(), ref.end());
  EXPECT_EQ(rows, ref);
  EXPECT_FALSE(rows.empty());
}

TEST_F(Select, UserSelectIsKeptAndOpenedQueriesFetch) {
  uint32_t o = Table("orders", "O", 0);
  (void)o;
  char text[] = "select id from orders\r\nwhere amount > 10";
  m.statementText = text;
  EXPECT_EQ(BuildSelectStatement(&m, 2), 0);
  EXPECT_EQ(GetSelectResult(&m)->mainStatement, "select id from orders\nwhere amount > 10");
  EXPECT_TRUE(GetSelectResult(&m)->engineFilterNeeded);
  m.statementText = nullptr;
}

TEST_F(Select, ProbeAndExtraCondition) {
  uint32_t o = Table("orders", "O", 0);
  Field(o, "id", true);
  GetSelectInputs(&m)->extraCondition = "amount > 10";
  EXPECT_EQ(Main(), "select  \"id\" from orders  where(amount > 10) ");
  EXPECT_EQ(Rows(Main()).size(), 2u);
  FieldDef probe;
  EXPECT_EQ(BuildProbeSelect(&m, "amount * 2", &probe, 1, false), 0);
  EXPECT_EQ(GetSelectResult(&m)->secondStatement, "select amount * 2 from orders   where 1 = 2");
  delete static_cast<FieldBinding*>(probe.dataBinding);
  probe.dataBinding = nullptr;
}

TEST_F(Select, OpenedQueryFetchesIntoTheFieldsInSelectOrder) {
  uint32_t c = Table("customers", "C", 0);
  uint32_t o = Table("orders", "O", 0x40);
  Link(o, Field(c, "id"), Field(o, "customer"));
  FieldDef* name = Field(c, "name", true);
  FieldDef* amount = Field(o, "amount", true);
  FieldDef* placed = Field(o, "placed", true);
  SelectInputs* in = GetSelectInputs(&m);
  in->sortKeys[0] = name;  // folded: a leading column that is no field
  in->sortKeys[1] = amount;
  in->sortAscending[1] = 0;
  in->sortCase = true;
  ASSERT_EQ(OpenReportQuery(&m), 0) << GetSelectResult(&m)->mainStatement;
  EXPECT_EQ(GetSelectResult(&m)->mainStatement,
            "select rtrim(coalesce(lower(customers.\"name\"), '')), customers.\"name\", orders.\"amount\", orders.\"placed\" "
            "from customers, orders  where customers.\"id\" = orders.\"customer\" order by 1, "
            "coalesce(orders.\"amount\", 0) desc, case when orders.\"amount\" is null then 0 else 1 end desc");
  SqlRowSource rows(&m);
  std::vector<std::string> got;
  while (rows.FetchNextRow() == 0) {
    rows.ConvertFetchedRow(&m);
    double a;
    std::memcpy(&a, amount->value, 8);
    ASSERT_NE(placed->value, nullptr);
    got.push_back(std::string(reinterpret_cast<char*>(name->value)) + "|" + std::to_string(static_cast<int>(a)));
  }
  CloseReportQuery(&m);
  m.DropAttachment(AttachmentSlot::kRecordPass);
  EXPECT_EQ(got, (std::vector<std::string>{"Anders|30", "Anders|20", "O'Hara|5"}));
}

// The server-computed bit comes back from a report file on any field; on a
// data column it changes neither the statement nor the bindings, and binding
// again in the middle of the rows goes on from the row reached.
TEST_F(Select, AStoredStateBitNeverChangesTheShapeOfTheFetch) {
  uint32_t o = Table("orders", "O", 0);
  FieldDef* id = Field(o, "id", true);
  FieldDef* amount = Field(o, "amount", true);
  auto run = [&](bool rebindAfterFirst) {
    EXPECT_EQ(OpenReportQuery(&m), 0) << GetSelectResult(&m)->mainStatement;
    const std::string sql = GetSelectResult(&m)->mainStatement;
    SqlRowSource rows(&m);
    std::vector<std::string> got;
    while (rows.FetchNextRow() == 0) {
      rows.ConvertFetchedRow(&m);
      double a, i;
      std::memcpy(&a, amount->value, 8);
      std::memcpy(&i, id->value, 8);
      got.push_back(std::to_string(static_cast<int>(i)) + "|" + std::to_string(static_cast<int>(a)));
      if (rebindAfterFirst && got.size() == 1) {
        EXPECT_EQ(BindResultColumns(&m, true, 0), 0);
      }
    }
    CloseReportQuery(&m);
    m.DropAttachment(AttachmentSlot::kRecordPass);
    return sql + " -> " + ::testing::PrintToString(got);
  };
  const std::string plain = run(false);
  id->flags2 |= kField2ServerComputed;
  amount->flags2 |= kField2ServerComputed;
  EXPECT_EQ(run(false), plain);
  EXPECT_EQ(run(true), plain);
}

TEST_F(Select, IdentifierCaseLeavesExpressionsAndQuotedNamesAlone) {
  uint32_t o = Table("orders", "O", 0);
  FieldDef* f = m.AddField(kFieldNeeded | kFieldCalculation);
  f->flags2 |= kField2ServerComputed;
  char expr[] = "coalesce(Amount, 'N/A')";
  f->exprText = expr;
  FieldDef* id = Field(o, "id");
  std::strcpy(id->name, "Id");
  da->Current()->flags = (da->Current()->flags & ~DS_IDENTIFIER_CASE_MASK) | 0x1000;  // lower case
  EXPECT_EQ(QualifiedColumnName(&m, f, nullptr), "coalesce(Amount, 'N/A')");
  EXPECT_EQ(QualifiedColumnName(&m, id, m.tableSlots[o]), "orders.\"Id\"");
  da->Current()->identifierQuote[0] = 0;  // unquoted names are folded
  EXPECT_EQ(QualifiedColumnName(&m, id, m.tableSlots[o]), "orders.id");
  da->Current()->flags &= ~DS_IDENTIFIER_CASE_MASK;  // upper case
  EXPECT_EQ(QualifiedColumnName(&m, id, m.tableSlots[o]), "ORDERS.ID");
  f->exprText = nullptr;
}

// The fields a SELECT fetches are the report's run lists' choice, asked anew
// for each statement; a driver that sorts only by columns it returns gets
// the sort fields too, and the report's own setting is back afterwards.
TEST_F(Select, SelectedFieldsComeFromTheRunListsAndTheSortFields) {
  uint32_t o = Table("orders", "O", 0);
  FieldDef* id = Field(o, "id");
  FieldDef* amount = Field(o, "amount");
  static FieldDef* wanted = nullptr;
  static int asked = 0;
  wanted = id;
  asked = 0;
  m.rebuildRunLists = [](CKmComposite* model) {
    ++asked;
    for (FieldDef* f = model->fieldList; f; f = f->next) f->flags &= ~kFieldNeeded;
    wanted->flags |= kFieldNeeded;
  };
  m.sortFields[0] = m.GetFieldIndex(amount);
  EXPECT_EQ(Main(), "select  \"id\" from orders  ");
  EXPECT_EQ(asked, 1);
  const uint32_t before = da->Current()->flags2;
  da->Current()->flags2 |= DS2_SELECT_SORT_FIELDS;
  EXPECT_EQ(Main(), "select  \"id\", \"amount\" from orders  ");
  da->Current()->flags2 = before;
  EXPECT_EQ(Main(), "select  \"id\" from orders  ");
  m.rebuildRunLists = nullptr;
}
