#include "layout/page_metrics.h"

#include "app/document.h"
#include "foundation/paper_sizes.h"
#include "foundation/startup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class PageMetricsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(&page, 0, sizeof page);
    doc.m_pPageSetup = &page;
    page.PaperWidth = 2159;
    page.PaperLength = 2794;
    page.LeftMargin = page.RightMargin = page.BottomMargin = 50;
  }
  void TearDown() override {
    doc.m_pPageSetup = nullptr;
    g_screen = ScreenInfo();
  }
  PageSetupRec page;
  CKmDoc doc;
};

TEST_F(PageMetricsTest, LetterPageAt96And120PixelsPerInchInBothSystems) {
  struct Case {
    WORD dpi;
    BYTE measure;
    int32_t margin;
    int32_t pixels;
  };
  for (Case c : {Case{96, 1, 50, 816}, Case{120, 1, 50, 1020}, Case{96, 0, 127, 816}, Case{120, 0, 127, 1020}}) {
    SCOPED_TRACE(std::to_string(c.dpi) + (c.measure ? " inches" : " metric"));
    g_screen.dpiX = g_screen.dpiY = c.dpi;
    doc.m_measure = c.measure;
    page.LeftMargin = page.RightMargin = page.BottomMargin = c.margin;
    CalcPageMetrics(doc);
    EXPECT_EQ(doc.m_pageMetrics.pageWidth720, 6120);
    EXPECT_EQ(doc.m_pageMetrics.pageHeight720, 7920);
    EXPECT_EQ(doc.m_pageMetrics.pageWidthPixels, c.pixels);
    EXPECT_EQ(doc.m_pageMetrics.bottomMargin720, 360);
    EXPECT_EQ(doc.m_pageMetrics.printableWidth, 75);
  }
}

TEST_F(PageMetricsTest, PrintableWidthFollowsThePitchAndNeverGoesBelowZero) {
  doc.m_settings.rulPit = 12;
  EXPECT_EQ(CalcPrintableWidth(doc), 102 - 12);
  page.LeftMargin = 800;
  page.RightMargin = 200;
  EXPECT_EQ(CalcPrintableWidth(doc), 0);
  page.LeftMargin = -5;  // out of range values are held within 16 bits, not wrapped
  page.RightMargin = 100000;
  EXPECT_EQ(CalcPrintableWidth(doc), 0);
}

TEST_F(PageMetricsTest, UnitChangeConvertsMarginsAndMeasuredBandLines) {
  page.TopMargin = 100;
  page.RecordWidth = 400;
  ConvertMarginUnits(doc, 1, 1);
  EXPECT_EQ(page.TopMargin, 100);
  ConvertMarginUnits(doc, 1, 0);
  EXPECT_EQ(page.TopMargin, 254);
  EXPECT_EQ(page.LeftMargin, 127);
  EXPECT_EQ(page.RecordWidth, 1016);
  ConvertMarginUnits(doc, 0, 1);
  EXPECT_EQ(page.TopMargin, 100);
  EXPECT_EQ(page.RightMargin, 50);

  BandLineRec recs[kBandLineTableRecords];
  doc.m_bandLines.lines = recs;
  ClearBandLineTable(doc.m_bandLines);
  for (int i = 0; i < 3; ++i) recs[i].kind = kBandRecord;
  recs[1].heightMode = 2;
  recs[1].height = 100;
  recs[2].heightMode = 1;
  recs[2].height = 120;
  recs[2].pixelHeight = 16;
  RenumberBandLines(doc.m_bandLines);
  for (WORD dpi : {96, 120}) {
    g_screen.dpiY = dpi;
    ConvertBandLineUnits(doc, 1, 0);
    EXPECT_EQ(recs[1].height, 254u);
    EXPECT_EQ(recs[1].pixelHeight, dpi) << "an inch is an inch";
    EXPECT_EQ(recs[2].height, 120u) << "heights in points stay";
    EXPECT_EQ(recs[2].pixelHeight, 16);
    ConvertBandLineUnits(doc, 0, 1);
    EXPECT_EQ(recs[1].height, 100u);
  }
  SetBandLineHeight(doc, 0, 48);
  EXPECT_EQ(recs[0].heightMode, 2);
  EXPECT_EQ(recs[0].height, 50u) << "48 pixels at 120 per inch round up to three 20-pixel lines";
  doc.m_bandLines.lines = nullptr;
}

TEST_F(PageMetricsTest, DatePictures) {
  std::strcpy(doc.m_intl.sShortDate, "dd/MM/yy");
  std::strcpy(doc.m_intl.sLongDate, "dddd, MMMM d, yyyy 'at' \"ddd\" ddd MMM yyyyyy");
  char out[100];
  EXPECT_EQ(FormatDateByPicture(doc, 3, 5, 2001, 0, out, sizeof out), 8);
  EXPECT_STREQ(out, "05/03/01");
  FormatDateByPicture(doc, 255, 0, 0, 0, out, sizeof out);
  EXPECT_STREQ(out, "**/**/**");
  FormatDateByPictureEx(doc, 3, 5, 2001, 0, out, sizeof out, 1);
  EXPECT_STREQ(out, "05/03/2001");
  FormatDateByPicture(doc, 3, 5, 2001, 1, out, sizeof out);
  EXPECT_STREQ(out, "Monday, March 5, 2001 at ddd Mon Mar 2001");
  FormatDateByPicture(doc, 255, 0, 0, 1, out, sizeof out);
  EXPECT_STREQ(out, "****, **** *, **** at ddd *** *** ****");
  std::strcpy(doc.m_intl.sShortDate, "M/D/Y");
  FormatDateByPicture(doc, 12, 31, 1999, 0, out, sizeof out);
  EXPECT_STREQ(out, "12/31/99");
  EXPECT_EQ(FormatDateByPicture(doc, 12, 31, 1999, 0, out, 5), 4) << "cut to the buffer";
  EXPECT_STREQ(out, "12/3");
  std::strcpy(doc.m_intl.sShortDate, "d 'open");
  FormatDateByPicture(doc, 1, 2, 2000, 0, out, sizeof out);
  EXPECT_STREQ(out, "2 open");
}

TEST_F(PageMetricsTest, PapersOfThePdfPrinter) {
  std::strcpy(doc.m_szPrinterDevice, "PDF");
  char name[64];
  long length = 0, width = 0;
  ASSERT_EQ(GetPrinterPaperSizes(doc, 9, name, sizeof name, &length, &width), 1);
  EXPECT_EQ(length, 2970);
  EXPECT_EQ(width, 2100);
  EXPECT_EQ(GetPrinterPaperSizes(doc, 1, nullptr, 0, &length, &width), 1);
  EXPECT_EQ(width, 2159);
  EXPECT_EQ(GetPrinterPaperSizes(doc, 4242, name, sizeof name, &length, &width), 0);
  std::strcpy(doc.m_szPrinterDevice, "No Such Printer");
  EXPECT_EQ(GetPrinterPaperSizes(doc, 9, name, sizeof name, &length, &width), 0);
}

}  // namespace

#include "platform/win/cursor.h"

namespace {

TEST(WaitCursor, NestedCallsBringBackTheCursorFromBeforeTheFirst) {
  CKmDoc doc;
  HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW), wait = LoadCursorA(nullptr, IDC_WAIT);
  ASSERT_NE(arrow, wait);
  HCURSOR own = reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(7));
  SetCursor(own);
  doc.SetWaitCursor(1);
  EXPECT_EQ(GetCursor(), wait);
  doc.SetWaitCursor(1);
  doc.SetWaitCursor(0);
  EXPECT_EQ(GetCursor(), own) << "not the wait cursor the second call replaced";
  doc.SetWaitCursor(0);
  EXPECT_EQ(GetCursor(), arrow) << "nothing remembered: the normal cursor";
  EXPECT_EQ(doc.m_waitCursorOff, 2);
}

}  // namespace
