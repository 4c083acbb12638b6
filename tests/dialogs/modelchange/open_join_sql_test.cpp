// Tables opened and joined on the SQLite test database.
#include "data/data_access.h"
#include "data/db_errors.h"
#include "data/table_fields.h"
#include "core/composite.h"
#include "core/engine_errors.h"
#include "data/master_joins.h"
#include "data/open_tables.h"
#include "model/relation_wording.h"
#include "data/replace_table.h"
#include "data/reportview.h"
#include "foundation/doc_base.h"
#include "data/select_builder.h"
#include "expr/code_walks.h"
#include "tests/support/odbc_env.h"
#include "tests/expr/expr_model_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class SqlTables : public testing::Test {
 protected:
  void SetUp() override {
    if (!odbc_test::HaveSqliteDriver()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    da = GetDataAccess(&t.m);
    ASSERT_EQ(da->ConnectDataSource(odbc_test::kSqliteDsn, false, true, nullptr), 1) << DbLastErrorText();
    da->SelectDataSource(odbc_test::kSqliteDsn);
    ctx.owner = "1";
  }
  // The bindings go while the fields and tables they hang from still exist.
  void TearDown() override { t.m.DropAttachment(AttachmentSlot::kSqlFields); }
  FieldDef* Find(int slot, const char* name) {
    for (FieldDef* f = t.m.fieldList; f; f = f->next)
      if (f->table == slot && std::strcmp(f->name, name) == 0) return f;
    return nullptr;
  }
  TestModel t;
  DataAccess* da = nullptr;
  TableOverrideContext ctx;
};

}  // namespace

TEST_F(SqlTables, MasterOpensAndLookupJoinsByColumnName) {
  uint32_t master = 0;
  ASSERT_EQ(OpenTable(&t.m, "orders", &master, true, nullptr, nullptr, nullptr, ctx), 0);
  EXPECT_EQ(master, 0u);
  EXPECT_STREQ(t.m.tableSlots[0]->alias, "orders");
  FieldDef* customer = Find(0, "customer");
  ASSERT_NE(customer, nullptr);

  JoinLinkEntry links[] = {{customer, "ID", 0}, {}};
  JoinRequest r;
  r.links = links;
  r.path = "customers";
  r.alias = "Orders";  // the master's alias in other letters
  EXPECT_EQ(AddJoin(&t.m, &r, ctx, nullptr), kEngineDuplicateAlias);
  EXPECT_EQ(r.focus, kJoinFocusAlias);
  r.alias = "C";
  JoinLinkEntry wrong[] = {{customer, "no_such_column", 0}, {}};
  r.links = wrong;
  const uint32_t fieldsBefore = t.m.fieldCount;
  EXPECT_EQ(AddJoin(&t.m, &r, ctx, nullptr), -1);
  EXPECT_EQ(r.focus, kJoinFocusLinks);
  EXPECT_EQ(t.m.fieldCount, fieldsBefore);
  EXPECT_EQ(t.m.tableCount, 1u);
  r.path = "no_such_table";
  r.links = links;
  EXPECT_EQ(AddJoin(&t.m, &r, ctx, nullptr), kEngineCannotOpenTable);
  EXPECT_EQ(r.focus, kJoinFocusTable);
  EXPECT_EQ(t.m.tableCount, 1u);

  r.path = "customers";
  ASSERT_EQ(AddJoin(&t.m, &r, ctx, nullptr), 0);
  ASSERT_NE(Find(1, "city"), nullptr);
  EXPECT_EQ(CountJoinFields(&t.m, t.m.tableSlots[1]->order), 1);
  std::string text;
  ASSERT_EQ(FormatRelationExpression(&t.m, t.m.tableSlots[1]->order, text), 0);
  EXPECT_NE(text.find("customer"), std::string::npos) << text;
  EXPECT_NE(text.find("id"), std::string::npos) << text;

  // Read back, the request is the relation as it stands.
  JoinRequest back;
  JoinInfoStorage st;
  ASSERT_EQ(GetJoinInfo(&t.m, &back, t.m.tableSlots[1]->order, &st), 0);
  EXPECT_EQ(IsJoinUnchanged(&t.m, back, t.m.tableSlots[1]->order), 0);
}

TEST_F(SqlTables, ReplacedTableKeepsMatchedFieldsAndTheirUsers) {
  uint32_t master = 0;
  ASSERT_EQ(OpenTable(&t.m, "orders", &master, true, nullptr, nullptr, nullptr, ctx), 0);
  FieldDef* net = t.AddCalc("NET", "amount * 2");
  FieldDef* when = t.AddCalc("WHEN", "placed");
  ASSERT_EQ(t.lastError, 0);
  (void)when;

  // A failed open puts the old fields back.
  TableReplacement pending;
  EXPECT_EQ(ReplaceTable(&t.m, &pending, 0, "no_such_table", nullptr, nullptr, nullptr, ctx), kEngineCannotOpenTable);
  EXPECT_FALSE(pending.active);
  EXPECT_NE(Find(0, "placed"), nullptr);
  EXPECT_STREQ(t.m.tableSlots[0]->path, "orders");

  ASSERT_EQ(ReplaceTable(&t.m, &pending, 0, "orders", "select id, customer, amount from orders", nullptr, nullptr, ctx),
            0);
  uint32_t count = 0;
  ASSERT_EQ(FinishReplaceTable(&t.m, &pending, false, &count), 0);
  EXPECT_EQ(count, 2u);  // "placed" has no match, and WHEN uses it
  ASSERT_EQ(FinishReplaceTable(&t.m, &pending, true, &count), 0);
  EXPECT_FALSE(pending.active);
  EXPECT_EQ(Find(0, "placed"), nullptr);
  bool whenLeft = false;
  for (FieldDef* f = t.m.fieldList; f; f = f->next) whenLeft = whenLeft || std::strcmp(f->name, "WHEN") == 0;
  EXPECT_FALSE(whenLeft);
  // NET now reads the new amount column.
  FieldDef* amount = Find(0, "amount");
  ASSERT_NE(amount, nullptr);
  EXPECT_TRUE(ExpressionReferencesField(net->code, net->codeLength, t.m.GetFieldIndex(amount)));
}

TEST_F(SqlTables, MasterChangeWarnsCancelsAndCommits) {
  uint32_t master = 0;
  ASSERT_EQ(OpenTable(&t.m, "orders", &master, true, nullptr, nullptr, nullptr, ctx), 0);
  FieldDef* net = t.AddCalc("NET", "amount * 2");
  FieldDef* key = t.AddCalc("KEY", "id + 1");
  ASSERT_EQ(t.lastError, 0);

  MasterSourceRequest r;
  MasterChange pending;
  r.path = "orders";
  r.alias = "1st";
  EXPECT_EQ(ChangeMasterTable(&t.m, &r, ctx, nullptr, &pending), kEngineInvalidAlias);
  EXPECT_EQ(r.result, 2u);
  // The same table and alias: nothing to do.
  r.alias = "orders";
  EXPECT_EQ(ChangeMasterTable(&t.m, &r, ctx, nullptr, &pending), 0);
  EXPECT_EQ(r.result, 0u);
  EXPECT_FALSE(CommitMasterChange(&t.m, &r, &pending));

  // To customers: id matches, amount does not.
  r.path = "customers";
  r.alias = "cust";
  ASSERT_EQ(ChangeMasterTable(&t.m, &r, ctx, nullptr, &pending), 0);
  EXPECT_EQ(r.result, 1u);
  CancelMasterChange(&t.m, &pending);
  EXPECT_STREQ(t.m.tableSlots[0]->path, "orders");
  EXPECT_NE(Find(0, "amount"), nullptr);
  for (FieldDef* f = t.m.fieldList; f; f = f->next) EXPECT_EQ(f->flags & 0x30, 0u) << f->name;

  ASSERT_EQ(ChangeMasterTable(&t.m, &r, ctx, nullptr, &pending), 0);
  EXPECT_TRUE(CommitMasterChange(&t.m, &r, &pending));
  EXPECT_STREQ(t.m.tableSlots[0]->path, "customers");
  EXPECT_STREQ(t.m.tableSlots[0]->alias, "cust");
  EXPECT_NE(Find(0, "city"), nullptr);
  bool netLeft = false, keyLeft = false;
  for (FieldDef* f = t.m.fieldList; f; f = f->next) {
    netLeft = netLeft || f == net;
    keyLeft = keyLeft || f == key;
  }
  EXPECT_FALSE(netLeft);
  EXPECT_TRUE(keyLeft);
  EXPECT_TRUE(ExpressionReferencesField(key->code, key->codeLength, t.m.GetFieldIndex(Find(0, "id"))));
}

TEST_F(SqlTables, RelationChangesCommitOrCancel) {
  uint32_t master = 0;
  ASSERT_EQ(OpenTable(&t.m, "orders", &master, true, nullptr, nullptr, nullptr, ctx), 0);
  FieldDef* customer = Find(0, "customer");
  JoinLinkEntry links[] = {{customer, "id", 0}, {}};
  JoinRequest r;
  r.links = links;
  r.path = "customers";
  r.alias = "C";
  ASSERT_EQ(AddJoin(&t.m, &r, ctx, nullptr), 0);
  const int number = t.m.tableSlots[1]->order;
  FieldDef* city = Find(1, "city");
  ASSERT_NE(city, nullptr);

  // The relation as it stands: no change.
  uint32_t count = 99;
  RelationChange pending;
  ASSERT_EQ(ChangeJoin(&t.m, &r, number, &count, ctx, &pending), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(ChangeJoinTable(&t.m, &r, &pending));

  // Another alias of a slot in use is refused; an unknown column too.
  r.alias = "orders";
  EXPECT_EQ(ChangeJoin(&t.m, &r, number, &count, ctx, &pending), kEngineDuplicateAlias);
  EXPECT_EQ(r.focus, kJoinFocusAlias);
  r.alias = "C";
  JoinLinkEntry bad[] = {{customer, "nope", 0}, {}};
  r.links = bad;
  EXPECT_EQ(ChangeJoin(&t.m, &r, number, &count, ctx, &pending), -1);
  EXPECT_EQ(r.focus, kJoinFocusLinks);
  EXPECT_EQ(ChangeJoin(&t.m, &r, 42, &count, ctx, &pending), 1);

  // The skip rule, then cancel: the relation stays related-blank.
  r.links = links;
  r.rule = 1;
  ASSERT_EQ(ChangeJoin(&t.m, &r, number, &count, ctx, &pending), 0);
  CancelRelationChange(&t.m, &pending);
  EXPECT_EQ(t.m.tableSlots[1]->relationBits & 0x60, 0x20);
  for (FieldDef* f = t.m.fieldList; f; f = f->next) EXPECT_EQ(f->flags & 0x30, 0u) << f->name;
  ASSERT_EQ(ChangeJoin(&t.m, &r, number, &count, ctx, &pending), 0);
  EXPECT_TRUE(ChangeJoinTable(&t.m, &r, &pending));
  EXPECT_EQ(t.m.tableSlots[1]->relationBits & 0x60, 0x40);
  EXPECT_EQ(Find(1, "city"), city);
  EXPECT_EQ(CountJoinFields(&t.m, number), 1);
}

TEST_F(SqlTables, ReportViewBecomesTheMaster) {
  const char* statement = "define reportview Town (Place, Customers) as select city, count(*) from customers group by city";
  ASSERT_EQ(SetupSqlMaster(&t.m, statement, false, ctx), 0) << t.m.errorName;
  EXPECT_TRUE(IsSqlReport(&t.m));
  EXPECT_NE(Find(0, "Place"), nullptr);
  EXPECT_NE(Find(0, "Customers"), nullptr);
  EXPECT_EQ(t.m.reportViewName, "Town");
  FreeSqlMaster(&t.m);

  // Two result columns of one name are refused and leave no statement.
  TestModel other;
  DataAccess* da2 = GetDataAccess(&other.m);
  ASSERT_EQ(da2->ConnectDataSource(odbc_test::kSqliteDsn, false, true, nullptr), 1);
  da2->SelectDataSource(odbc_test::kSqliteDsn);
  EXPECT_EQ(SetupSqlMaster(&other.m, "select city, city from customers", false, ctx), kEngineDuplicateResultName);
  EXPECT_FALSE(IsSqlReport(&other.m));
  EXPECT_EQ(other.m.tableSlots[0], nullptr);
  EXPECT_EQ(SetupSqlMaster(&other.m, "define reportview T as select 1", false, ctx), kEngineInvalidViewNames);
  other.m.DropAttachment(AttachmentSlot::kSqlFields);
}

TEST_F(SqlTables, OwnerOverrideShownWhenAsked) {
  TableOverrideContext debug;
  debug.owner = "main";
  debug.debug = true;
  uint32_t slot = 0;
  DbClearErrorRecord();
  // SQLite knows its tables under the schema "main".
  ASSERT_EQ(OpenTable(&t.m, "temp.orders", &slot, true, nullptr, nullptr, nullptr, debug), 0);
  EXPECT_STREQ(t.m.tableSlots[slot]->path, "main.orders");
  EXPECT_EQ(DbLastErrorText(), "Orig data source: temp.orders\r New data source: main.orders");
}

TEST_F(SqlTables, AStatementMasterChangesItsStatementCancelsAndCommits) {
  const char* first = "define reportview Town (Place, Customers) as select city, count(*) from customers group by city";
  ASSERT_EQ(SetupSqlMaster(&t.m, first, false, ctx), 0) << t.m.errorName;
  FieldDef* place = Find(0, "Place");
  ASSERT_NE(place, nullptr);
  FieldDef* twice = t.AddCalc("TWICE", "Customers");
  ASSERT_EQ(t.lastError, 0);
  const uint32_t offset = t.m.statementOffset;

  MasterSourceRequest r;
  MasterSourceText text;
  GetMasterSource(&t.m, &r, &text);
  EXPECT_STREQ(r.statement, first);

  // A statement the parser refuses changes nothing.
  MasterChange pending;
  r.statement = "define reportview as select 1";
  EXPECT_NE(ChangeMasterTable(&t.m, &r, ctx, nullptr, &pending), 0);
  EXPECT_EQ(t.m.reportViewName, "Town");
  EXPECT_EQ(t.m.statementOffset, offset);
  EXPECT_STREQ(t.m.statementText, first);

  // Place stays, Customers (and the calculation on it) would go: cancelled.
  const char* second = "define reportview Town (Place, Total) as select city, sum(balance) from customers group by city";
  r.statement = second;
  ASSERT_EQ(ChangeMasterTable(&t.m, &r, ctx, nullptr, &pending), 0) << t.m.errorName;
  EXPECT_EQ(r.result, 1u);
  CancelMasterChange(&t.m, &pending);
  EXPECT_STREQ(t.m.statementText, first);
  EXPECT_NE(Find(0, "Customers"), nullptr);
  EXPECT_EQ(ReportViewNames(&t.m)[1], std::string("Customers"));

  // Committed: the new statement is the report's, Place is the same field.
  ASSERT_EQ(ChangeMasterTable(&t.m, &r, ctx, nullptr, &pending), 0);
  EXPECT_TRUE(CommitMasterChange(&t.m, &r, &pending));
  EXPECT_STREQ(t.m.statementText, second);
  EXPECT_NE(Find(0, "Place"), nullptr);
  EXPECT_NE(Find(0, "Total"), nullptr);
  bool twiceLeft = false;
  for (FieldDef* f = t.m.fieldList; f; f = f->next) twiceLeft = twiceLeft || f == twice;
  EXPECT_FALSE(twiceLeft);
  GetMasterSource(&t.m, &r, &text);
  EXPECT_STREQ(r.statement, second);

  // The SELECT of the changed report runs.
  EXPECT_EQ(RefreshSqlAfterJoinChange(&t.m), 0) << GetSelectResult(&t.m)->mainStatement;
  FreeSqlMaster(&t.m);


  // A table report whose SELECT fails is told and the refresh says so.
  TestModel other;
  DataAccess* da2 = GetDataAccess(&other.m);
  ASSERT_EQ(da2->ConnectDataSource(odbc_test::kSqliteDsn, false, true, nullptr), 1);
  da2->SelectDataSource(odbc_test::kSqliteDsn);
  uint32_t master = 0;
  ASSERT_EQ(OpenTable(&other.m, "orders", &master, true, nullptr, nullptr, nullptr, ctx), 0);
  EXPECT_EQ(RefreshSqlAfterJoinChange(&other.m), 0) << GetSelectResult(&other.m)->mainStatement;
  std::snprintf(other.m.tableSlots[0]->path, sizeof other.m.tableSlots[0]->path, "no_such_table");
  EXPECT_EQ(RefreshSqlAfterJoinChange(&other.m), 1);
  other.m.DropAttachment(AttachmentSlot::kSqlFields);
}

TEST(BtrieveReference, TheTableNamePartBecomesTheQuotedNameAfterTheDirectory) {
  std::string out;
  EXPECT_TRUE(RewriteBtrieveReference("C:\\DATA\\FILE.DDF  (TABLENAME='Parts')", '"', &out));
  EXPECT_EQ(out, "C:\\DATA\\\"Parts\"");
  EXPECT_TRUE(RewriteBtrieveReference("D:(TABLENAME='Stock Items')", '`', &out));
  EXPECT_EQ(out, "D:`Stock Items`");
  EXPECT_TRUE(RewriteBtrieveReference("(TABLENAME='x')", 0, &out));
  EXPECT_EQ(out, "x");
  // No closing quote, or no such part: the reference stays.
  EXPECT_FALSE(RewriteBtrieveReference("C:\\DATA\\(TABLENAME='Parts", '"', &out));
  EXPECT_FALSE(RewriteBtrieveReference("C:\\DATA\\PARTS.DAT", '"', &out));
}

TEST_F(SqlTables, TheMasterNameReachesTheDocument) {
  KmDocBase doc;
  t.m.owner = &doc;
  uint32_t master = 0;
  ASSERT_EQ(OpenTable(&t.m, "orders", &master, true, nullptr, nullptr, nullptr, ctx), 0);
  EXPECT_STREQ(doc.m_files.masterTable, "orders");
  uint32_t lookup = 0;
  ASSERT_EQ(OpenTable(&t.m, "customers", &lookup, true, nullptr, nullptr, "C", ctx), 0);
  EXPECT_STREQ(doc.m_files.masterTable, "orders");
  t.m.owner = nullptr;
}
