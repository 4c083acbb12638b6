// Replacing a report's master table by one whose columns are partly renamed:
// the check counts what would go, a cancel puts the old table back, and the
// commit keeps the matched fields with the calculation over them; each
// state is printed.
#include "app/chart_commands.h"
#include "app/document.h"
#include "app/sample_report.h"
#include "charts/chart.h"
#include "core/composite.h"
#include "data/master_joins.h"
#include "data/open_tables.h"
#include "files/report_io.h"
#include "model/calc_fields.h"
#include "model/field_dependencies.h"
#include "tests/app/sample_db_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

using ReplaceTableRun = sample_test::SampleDbTest;
using sample_test::Capture;

FieldDef* Named(CKmComposite* m, const char* name) {
  for (FieldDef* f = m->fieldList; f; f = f->next)
    if (std::strcmp(f->name, name) == 0) return f;
  return nullptr;
}

uint32_t NumberOf(CKmComposite* m, const char* name) { return m->GetFieldIndex(Named(m, name)); }

TEST_F(ReplaceTableRun, RenamedColumnsGoMatchedOnesStayAndCancelRestores) {
  int status = -1;
  Capture("sqlite3 '" + dir_ + "/sample.db' 'create table lines_b (company varchar(40), country varchar(20), "
          "order_id integer, order_date date, item varchar(30), quantity integer, unit_price double, amount double); "
          "insert into lines_b select * from order_lines' 2>&1",
          &status);
  ASSERT_EQ(status, 0);
  sample_test::SampleReportDoc sample;
  CKmDoc& doc = sample.doc;
  std::string error;
  ASSERT_TRUE(sample.Build(&error)) << error;
  CKmComposite* m = doc.m_pModel;
  CalcDefRequest calc;
  calc.name = "Doubled";
  calc.text = "amount * 2";
  PendingCalcDefinition pendingCalc;
  uint32_t count = 0;
  ASSERT_EQ(DefineCalcField(m, &calc, &count, &pendingCalc), 0);
  CommitCalcDefinition(m, nullptr, &calc, &pendingCalc);
  sample_test::PlaceOnRecordLine(doc, calc.field);
  PropagateFieldDependencies(m);
  // A chart over the amounts must follow the amount column to the new table.
  ChartTableEntry* chart = AddChart(doc, RECT{40, 10, 400, 150});
  ASSERT_NE(chart, nullptr);
  ChartOf(*chart)->Settings().series = {{NumberOf(m, "amount"), ""}};
  ChartOf(*chart)->Settings().labelField = NumberOf(m, "company");
  const std::string first = PrintInProcess(doc, "first.pdf");
  ASSERT_NE(first.find("2599.00"), std::string::npos) << first;  // 1299.50 doubled

  TableOverrideContext ctx;
  MasterSourceRequest r;
  r.path = "lines_b";
  r.alias = "L";  // the master takes an alias with the new table
  MasterChange change;
  ASSERT_EQ(ChangeMasterTable(m, &r, ctx, nullptr, &change), 0);
  EXPECT_EQ(r.result, 1u);  // the product column has no match: the user is told
  CancelMasterChange(m, &change);
  EXPECT_STREQ(m->tableSlots[0]->path, "order_lines");
  ASSERT_NE(Named(m, "product"), nullptr);
  const std::string cancelled = PrintInProcess(doc, "cancelled.pdf");
  EXPECT_NE(cancelled.find("Canvas tent"), std::string::npos) << cancelled;
  EXPECT_NE(cancelled.find("2599.00"), std::string::npos) << cancelled;

  ASSERT_EQ(ChangeMasterTable(m, &r, ctx, nullptr, &change), 0);
  CommitMasterChange(m, &r, &change);
  EXPECT_STREQ(m->tableSlots[0]->path, "lines_b");
  EXPECT_EQ(Named(m, "product"), nullptr);
  ASSERT_NE(Named(m, "amount"), nullptr);
  FieldDef* doubled = Named(m, "Doubled");
  ASSERT_NE(doubled, nullptr);
  EXPECT_EQ(ChartOf(*chart)->Settings().series[0].field, NumberOf(m, "amount"));
  EXPECT_EQ(ChartOf(*chart)->Settings().labelField, NumberOf(m, "company"));
  EXPECT_EQ(ChartOf(*chart)->CheckSettings(), 0);
  EXPECT_NE(doubled->code, nullptr);
  const std::string replaced = PrintInProcess(doc, "replaced.pdf");
  EXPECT_EQ(replaced.find("Canvas tent"), std::string::npos) << replaced;
  EXPECT_NE(replaced.find("1299.50"), std::string::npos) << replaced;
  EXPECT_NE(replaced.find("2599.00"), std::string::npos) << replaced;
  EXPECT_NE(replaced.find("1/19/98"), std::string::npos) << replaced;
  // The groups keep their sort: each customer once.
  const size_t alder = replaced.find("Alder & Sons");
  EXPECT_EQ(replaced.find("Alder & Sons", alder + 1), std::string::npos) << replaced;
}

}  // namespace
