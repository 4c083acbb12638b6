// A report open while the measurement system changes: the pictures' shown
// sizes follow the new system and the layout is laid out again.
#include "app/document.h"
#include "app/open_report_conversion.h"
#include "core/composite.h"
#include "layout/layout_records.h"
#include "platform/win/ui_app.h"

#include <gtest/gtest.h>

namespace {

TEST(OpenReportConversion, PictureSizesFollowTheMeasurementSystemBothWays) {
  UiStartApplication();
  CKmDoc doc;
  ASSERT_TRUE(doc.CreateReportTables());
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

}  // namespace
