// The data layer's check of SQLEXP's column, as the compiler runs it once
// the hooks are installed, on the SQLite test database.
#include "core/composite.h"
#include "data/compiler_data_hooks.h"
#include "data/data_access.h"
#include "data/db_errors.h"
#include "data/select_builder.h"
#include "data/table_fields.h"
#include "expr/code_walks.h"
#include "expr/compiler.h"
#include "expr/compiler_state.h"
#include "tests/support/odbc_env.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class DerivedColumn : public testing::Test {
 protected:
  void SetUp() override {
    if (!odbc_test::HaveSqliteDriver()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    da = GetDataAccess(&m);
    da->sqlIniPath = VT_SOURCE_DIR "/samples/kmwsql.ini";
    ASSERT_EQ(da->ConnectDataSource(odbc_test::kSqliteDsn, false, true, nullptr), 1) << DbLastErrorText();
    da->SelectDataSource(odbc_test::kSqliteDsn);
    const uint32_t t = m.AddTableSlot("orders", "O", 0, 0, nullptr);
    ASSERT_EQ(BuildSqlFieldList(&m, t, nullptr, nullptr, nullptr, true, nullptr, 0), 0);
    ASSERT_EQ(InitCompiler(&m, 50000, 8000), 0);
    InstallCompilerDataHooks(&m);
  }
  CKmComposite m{nullptr};
  DataAccess* da = nullptr;
};

}  // namespace

// A column the server refuses is refused with its message (once, not once
// per type tried); one it takes gives the field its kind, while the field
// keeps its look and bindings.
TEST_F(DerivedColumn, ServerJudgesTheColumnOnce) {
  FieldDef* f = m.AddField(kFieldItem);
  std::strcpy(f->name, "DERIVED");
  f->flags |= kFieldCalculation;
  f->displayWidth = 7;
  CompileOutput out;
  uint32_t pos = 9;
  ASSERT_EQ(CompileExpression(&m, "SQLEXP('amount')", &pos, &out, f, nullptr, 2), 0);
  EXPECT_EQ(out.typeFlags & kFieldKindMask, kFieldNumeric);
  EXPECT_EQ(f->flags & kFieldKindMask, 0u);
  EXPECT_EQ(f->displayWidth, 7u) << "a described field keeps its look";
  EXPECT_EQ(f->dataBinding, nullptr);
  EXPECT_EQ(GetSelectResult(&m)->secondStatement, "select amount from orders   where 1 = 2");
  // One just made, not described yet, takes the column's.
  FieldDef* fresh = m.AddField(kFieldItem);
  fresh->flags |= kFieldCalculation;
  ASSERT_EQ(CompileExpression(&m, "SQLEXP(\"amount || 'x'\")", &pos, &out, fresh, nullptr, 1), 0);
  EXPECT_EQ(out.typeFlags & kFieldKindMask, 0u);
  EXPECT_GT(fresh->displayWidth, 1u);
  EXPECT_EQ(fresh->formatCode, 0x11u);

  DbClearErrorRecord();
  EXPECT_EQ(CompileExpression(&m, "SQLEXP('no_such_column + 1')", &pos, &out, f, nullptr, 2), 1);
  EXPECT_EQ(pos, 1u);
  EXPECT_TRUE(out.code.empty());
  EXPECT_EQ(DbErrorCount(), 1);
  EXPECT_NE(DbLastErrorText().find("no_such_column"), std::string::npos) << DbLastErrorText();
  // The model's own walk over kept code does not ask.
  DependencyScan d;
  FieldDef* kept = m.AddField(kFieldItem);
  kept->flags |= kFieldCalculation;
  ASSERT_EQ(CompileExpression(&m, "SQLEXP('amount')", &pos, &out, kept, nullptr, 1), 0);
  GetSelectResult(&m)->secondStatement.clear();
  EXPECT_EQ(ScanExpressionDependencies(&m, out.code.data(), out.code.size(), &d, kept, false, 0), 0);
  EXPECT_TRUE(GetSelectResult(&m)->secondStatement.empty());
  // With no data source there is nobody to ask.
  da->SelectDataSource(nullptr);
  EXPECT_EQ(CompileExpression(&m, "SQLEXP('no_such_column + 1')", &pos, &out, f, nullptr, 2), 0);
  EXPECT_EQ(DbErrorCount(), 1);
  da->SelectDataSource(odbc_test::kSqliteDsn);
  DbClearErrorRecord();
}
