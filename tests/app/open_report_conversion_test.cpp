// A report open while the measurement system changes: the pictures' shown
// sizes follow the new system and the layout is laid out again.
#include "app/document.h"
#include "app/open_report_conversion.h"
#include "core/composite.h"
#include "layout/page_metrics.h"
#include "layout/container_items.h"
#include "layout/layout_records.h"
#include "platform/win/ui_app.h"

#include <gtest/gtest.h>

namespace {

class OpenReportConversion : public ::testing::Test {
 protected:
  void SetUp() override {
    UiStartApplication();
    ASSERT_TRUE(doc.CreateReportTables());
  }
  CKmDoc doc;
};

TEST_F(OpenReportConversion, PictureSizesFollowTheMeasurementSystemBothWays) {
  PictureItem p;
  p.head.flags = kItemKindPicture;
  p.shownWidth = 100;   // an inch
  p.shownHeight = 50;
  PictureItem unsized;  // not sized yet: stays so
  ASSERT_NE(doc.m_pLayout->pictures.Append(p), nullptr);
  ASSERT_NE(doc.m_pLayout->pictures.Append(unsized), nullptr);
  ConvertOpenReportLayout(doc, 1, 0);
  PictureItem* q = doc.m_pLayout->pictures.At(0);
  EXPECT_EQ(q->shownWidth, 254);  // tenths of a millimetre
  EXPECT_EQ(q->shownHeight, 127);
  EXPECT_EQ(doc.m_pLayout->pictures.At(1)->shownWidth, 0);
  ConvertOpenReportLayout(doc, 0, 1);
  EXPECT_EQ(q->shownWidth, 100);
  EXPECT_EQ(q->shownHeight, 50);
  ConvertOpenReportLayout(doc, 1, 1);  // no change of system: nothing moves
  EXPECT_EQ(q->shownWidth, 100);
}

TEST_F(OpenReportConversion, ChartAndObjectSizesFollowTooButNotWhileAReportIsRead) {
  ChartTableEntry chart;
  chart.head.flags = kItemKindChart;
  chart.sizeWords[0] = 200, chart.sizeWords[1] = 100;
  CKmCntrItem item;
  item.head.flags = kItemKindOle;
  item.sizeWidth = 300, item.sizeHeight = 150;
  ASSERT_NE(doc.m_pLayout->charts.Append(chart), nullptr);
  ASSERT_NE(doc.m_pLayout->oleItems.Append(item), nullptr);
  ConvertObjectUnits(doc, 1, 0, true);
  EXPECT_EQ(doc.m_pLayout->charts.At(0)->sizeWords[0], 200u) << "the file object is reading";
  EXPECT_EQ(doc.m_pLayout->oleItems.At(0)->sizeWidth, 300);
  ConvertOpenReportLayout(doc, 1, 0);
  EXPECT_EQ(doc.m_pLayout->charts.At(0)->sizeWords[0], 508u);
  EXPECT_EQ(doc.m_pLayout->charts.At(0)->sizeWords[1], 254u);
  EXPECT_EQ(doc.m_pLayout->oleItems.At(0)->sizeWidth, 762);
  EXPECT_EQ(doc.m_pLayout->oleItems.At(0)->sizeHeight, 381);
}

}  // namespace
