// Table names in the SELECT for the data-source kinds with their own name
// rules, on the SQLite test connection with its kind switched.
#include "data/data_access.h"
#include "data/data_source_settings.h"
#include "data/db_errors.h"
#include "data/select_builder.h"
#include "data/table_fields.h"
#include "core/composite.h"
#include "tests/support/odbc_env.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

class KindTableNames : public testing::Test {
 protected:
  void SetUp() override {
    if (!odbc_test::HaveSqliteDriver()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    da = GetDataAccess(&m);
    da->sqlIniPath = VT_SOURCE_DIR "/samples/kmwsql.ini";
    ASSERT_EQ(da->ConnectDataSource(odbc_test::kSqliteDsn, false, true, nullptr), 1) << DbLastErrorText();
    da->SelectDataSource(odbc_test::kSqliteDsn);
    ASSERT_NE(da->Current(), nullptr);
    std::snprintf(da->Current()->identifierQuote, sizeof da->Current()->identifierQuote, "\"");
  }
  void Kind(uint32_t kind, bool useFileExt) {
    DataSourceSettings* s = da->Current();
    s->flags &= ~(DS_KIND_SQLSERVER | DS_KIND_BTRIEVE | DS_KIND_DBASE | DS_KIND_PARADOX | DS_USE_FILE_EXT);
    s->flags |= kind | (useFileExt ? uint32_t{DS_USE_FILE_EXT} : 0u);
  }
  std::string Name(const char* path) {
    const uint32_t t = m.AddTableSlot(path, "T", 1, 0, nullptr);
    std::string out = TableNameForSql(&m, m.tableSlots[t], false);
    m.FreeTableSlot(t);
    return out;
  }
  CKmComposite m{nullptr};
  DataAccess* da = nullptr;
};

TEST_F(KindTableNames, SqlServerKeepsNamesOutsideTheMastersDatabase) {
  Kind(DS_KIND_SQLSERVER, true);
  m.AddTableSlot("sales.dbo.orders", "O", 0, 0, nullptr);
  // The master's database is made current: its own prefix goes.
  EXPECT_EQ(Name("sales.dbo.customers"), "dbo.customers");
  EXPECT_EQ(Name("SALES.dbo.customers"), "dbo.customers");
  // Another database, or a name that merely starts alike, stays whole.
  EXPECT_EQ(Name("stock.dbo.items"), "stock.dbo.items");
  EXPECT_EQ(Name("salesarchive.dbo.items"), "salesarchive.dbo.items");
  EXPECT_EQ(Name("sales"), "sales");
  m.FreeTableSlot(0);
  // A master without a database part: every name as it is.
  m.AddTableSlot("orders", "O", 0, 0, nullptr);
  EXPECT_EQ(Name("sales.dbo.customers"), "sales.dbo.customers");
  // Other kinds cut the qualifier as before.
  Kind(0, true);
  EXPECT_EQ(Name("sales.dbo.customers"), "dbo.customers");
}

TEST_F(KindTableNames, BtrieveQuotedTablePartBecomesOneQuotedName) {
  Kind(DS_KIND_BTRIEVE, true);
  EXPECT_EQ(Name("owner.\"orders\""), "\"owner.orders\"");
  EXPECT_EQ(Name("\"orders\""), "\"orders\"");
  EXPECT_EQ(Name("orders"), "orders");
  // The moved name is one identifier: its dot is no extension to cut.
  Kind(DS_KIND_BTRIEVE, false);
  EXPECT_EQ(Name("owner.\"orders\""), "\"owner.orders\"");
  EXPECT_EQ(Name("\"orders.dat\""), "\"orders\"");
  EXPECT_EQ(Name("orders.dat"), "orders");
  // Without the kind the quote stays where it is.
  Kind(0, true);
  EXPECT_EQ(Name("owner.\"orders\""), "owner.\"orders\"");
}

TEST_F(KindTableNames, SqlServerApproximateBoundIsTakenWithoutTrailingBlanks) {
  Kind(DS_KIND_SQLSERVER, true);
  FieldDef* city[2];
  for (int k = 0; k < 2; ++k) {
    const uint32_t t = m.AddTableSlot("customers", k ? "D" : "C", 0, k ? 0x44 : 0, nullptr);
    ASSERT_EQ(BuildSqlFieldList(&m, t, nullptr, nullptr, nullptr, true, nullptr, 0), 0);
    FieldDef* f = m.tableSlots[t]->firstField;
    for (uint32_t n = 0; n < m.tableSlots[t]->fieldCount; ++n, f = f->next) {
      f->flags &= ~kFieldNeeded;
      if (std::string(f->name) == "city") city[k] = f;
    }
  }
  m.tableSlots[1]->link.pairs[0][0] = m.GetFieldIndex(city[0]);
  m.tableSlots[1]->link.pairs[0][1] = m.GetFieldIndex(city[1]);
  city[0]->flags |= kFieldNeeded;
  BuildSelectStatement(&m, 0);
  const std::string sql = GetSelectResult(&m)->mainStatement;
  // Only the bound is trimmed; the sub-select's own column stays bare.
  EXPECT_NE(sql.find("(select min(rtrim(\"city\")) from customers k_m_s_u_b_1 where "
                     "k_m_s_u_b_1.\"city\" >= C.\"city\")"),
            std::string::npos)
      << sql;
  EXPECT_EQ(da->ExecSql(sql.c_str()), 0) << sql;
  da->EndStatement();
}

}  // namespace
