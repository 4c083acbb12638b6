// Settings that change where and in what order a report prints, followed
// from the setting to the printed page: the sort-order file's case folding
// reaches the database's order, and metric margins print where the same
// length in inches does.
#include "app/document.h"
#include "core/composite.h"
#include "layout/page_setup.h"

#include "tests/app/sample_db_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

using sample_test::Capture;
using PrintSettingsRun = sample_test::SampleDbTest;

// The left edge, in points, of the first word "text" on the PDF's first page.
double LeftOf(const std::string& pdf, const std::string& text) {
  const std::string boxes = Capture("pdftotext -bbox -l 1 '" + pdf + "' - 2>/dev/null");
  const size_t end = boxes.find(">" + text + "</word>");
  const size_t at = end == std::string::npos ? end : boxes.rfind("xMin=\"", end);
  return at == std::string::npos ? -1 : std::atof(boxes.c_str() + at + 6);
}

}  // namespace

// A customer written in lower case sorts among the others once kmw.srt folds
// case in sorting; without the file the database's own order stands, which
// puts lower case after every capital.
TEST_F(PrintSettingsRun, SortCaseCombinedOrdersTheGroupsWithoutRegardToCase) {
  {
    sample_test::SampleReportDoc sample;
    std::string error;
    ASSERT_TRUE(sample.Write(dir_ + "/sales.kmw", &error)) << error;
  }
  int status = -1;
  Capture("sqlite3 '" + dir_ + "/sample.db' \"update order_lines set company = 'esker Outfitters' "
          "where company = 'Esker Outfitters'\" 2>&1",
          &status);
  ASSERT_EQ(status, 0);

  std::string output;
  ASSERT_EQ(RunProgram(dir_ + "/sales.kmw", &output), 0) << output;
  std::string text = Capture("pdftotext -layout '" + dir_ + "/sales.pdf' - 2>/dev/null");
  ASSERT_NE(text.find("esker Outfitters"), std::string::npos) << text;
  EXPECT_GT(text.find("esker Outfitters"), text.find("Fennick Tools")) << text;

  std::ofstream(dir_ + "/kmw.srt") << "SORTCASE=COMBINED\n";
  ASSERT_EQ(RunProgram(dir_ + "/sales.kmw", &output), 0) << output;
  text = Capture("pdftotext -layout '" + dir_ + "/sales.pdf' - 2>/dev/null");
  const size_t esker = text.find("esker Outfitters");
  ASSERT_NE(esker, std::string::npos) << text;
  EXPECT_LT(text.find("Castell Trading"), esker) << text;
  EXPECT_LT(esker, text.find("Fennick Tools")) << text;
  // The group is one group: its lines stay together under one heading.
  EXPECT_EQ(text.find("esker Outfitters", esker + 1), text.npos) << text;
}

// The page set-up's margins are kept in the document's unit: a left margin
// of 2.54 cm in a metric document prints where 1 inch does in an inch one.
TEST_F(PrintSettingsRun, AMetricLeftMarginPrintsAtItsOwnLength) {
  sample_test::SampleReportDoc sample;
  CKmDoc& doc = sample.doc;
  std::string error;
  ASSERT_TRUE(sample.Build(&error)) << error;

  doc.m_measure = 1;
  doc.m_pPageSetup->LeftMargin = 100;  // hundredths of an inch
  ASSERT_NE(PrintInProcess(doc, "inches.pdf").find("Orders by customer"), std::string::npos);
  const double inches = LeftOf(dir_ + "/inches.pdf", "Orders");

  doc.m_measure = 0;
  doc.m_pPageSetup->LeftMargin = 254;  // tenths of a millimetre
  ASSERT_NE(PrintInProcess(doc, "metric.pdf").find("Orders by customer"), std::string::npos);
  const double metric = LeftOf(dir_ + "/metric.pdf", "Orders");

  ASSERT_GT(inches, 0);
  EXPECT_NEAR(metric, inches, 1.0);
}
