// A memo column takes the width kmw.ini's [Database] MemoLimit gives it (and
// wraps as MemoWrap says) once the program hands its settings to the model.
#include "app/document.h"
#include "core/composite.h"
#include "data/data_access.h"
#include "data/table_fields.h"
#include "foundation/settings.h"
#include "tests/app/sample_db_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using MemoColumnSettings = sample_test::SampleDbTest;
using sample_test::Capture;

FieldDef* BodyField(CKmComposite* m, uint32_t slot) {
  for (FieldDef* f = m->tableSlots[slot]->firstField; f; f = f->next)
    if (std::strcmp(f->name, "body") == 0) return f;
  return nullptr;
}

TEST_F(MemoColumnSettings, MemoLimitAndWrapReachTheFieldList) {
  int status = -1;
  Capture("sqlite3 '" + dir_ + "/sample.db' \"create table notes (id integer, body text); "
          "insert into notes values (1, 'first line' || char(10) || 'second line');\" 2>&1",
          &status);
  ASSERT_EQ(status, 0);
  CKmDoc doc;
  ASSERT_TRUE(doc.CreateReportTables());
  CKmComposite* m = doc.m_pModel;
  DataAccess* data = GetDataAccess(m);
  ASSERT_EQ(data->ConnectDataSource("VortelleSample", false, true, nullptr), 1);
  data->SelectDataSource("VortelleSample");

  // Built in: 30 cells, wrapped.
  uint32_t slot = m->AddTableSlot("notes", "", 0, 0, nullptr);
  ASSERT_EQ(BuildSqlFieldList(m, slot, nullptr, nullptr, nullptr, true, nullptr, 0), 0);
  FieldDef* body = BodyField(m, slot);
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(body->head.width, 30);
  EXPECT_EQ(body->formatCode, 0x140u);

  DocSettings s = doc.m_settings;
  s.memoLimit = 120;
  s.memoWrap = 0;
  ApplySqlColumnLimits(m, s);
  ASSERT_EQ(BuildSqlFieldList(m, slot, nullptr, nullptr, nullptr, true, nullptr, 0), 0);
  body = BodyField(m, slot);
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(body->head.width, 120);
  EXPECT_EQ(body->formatCode, 0x11u);

  // A limit of nothing keeps the one in force; a width never outgrows an item.
  s.memoLimit = 0;
  s.memoWrap = 1;
  ApplySqlColumnLimits(m, s);
  s.memoLimit = 100000;
  ApplySqlColumnLimits(m, s);
  ASSERT_EQ(BuildSqlFieldList(m, slot, nullptr, nullptr, nullptr, true, nullptr, 0), 0);
  body = BodyField(m, slot);
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(body->head.width, 254);
  EXPECT_EQ(body->formatCode, 0x140u);
}

}  // namespace
