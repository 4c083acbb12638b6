// Pictures and charts as a user places them: a picture keeps the size its
// Picture Properties show through save and reopen and through a library
// round trip; Cancel in Chart Properties right after a chart is drawn takes
// the chart back. Each ends printed and read back by pdftotext.
#include "tests/app/drawnreport/drawn_report_fixture.h"

#include "app/chart_commands.h"

#include <vector>

namespace newuser_test {
namespace {

constexpr UINT kCmdFormatProperties = 30504;

class PlacedObjects : public DrawnReport {
 protected:
  // The picture selected alone and its properties read (width and height
  // as the dialog shows them), the dialog cancelled.
  std::string PictureSizeShown() {
    frame->m_wndLayoutView.ClearSelection();
    frame->m_wndLayoutView.SelectObject(doc->m_pLayout->pictures.At(0)->head, true);
    std::string shown;
    answers.On("Picture Properties", [&shown](HWND d) {
      shown = ui_test::Text(GetDlgItem(d, 1001)) + " x " + ui_test::Text(GetDlgItem(d, 1002));
      Press(d, IDCANCEL);
    });
    Command(kCmdFormatProperties);
    return shown;
  }
};

TEST_F(PlacedObjects, APictureKeepsItsSizeThroughSaveReopenAndALibrary) {
  const std::string report = StartOnCopy("sized");
  ASSERT_FALSE(report.empty());
  LayoutTables& layout = *doc->m_pLayout;
  // Outlined a hundred pixels wide on the title line.
  const int top = Top(LineOfKind(kBandTitle));
  InsertLogo(400, top, 499, top + 49);
  ASSERT_EQ(layout.pictures.Count(), 1);
  const PictureItem& placed = *layout.pictures.At(0);
  const int width = placed.head.right - placed.head.left, height = placed.head.bottom - placed.head.top;
  EXPECT_EQ(width, 99);
  const std::string before = PictureSizeShown();
  ASSERT_FALSE(before.empty());

  // Saved and opened again: the same size.
  SaveAndReopen(report);
  ASSERT_TRUE(doc->m_bReportOpen);
  ASSERT_EQ(layout.pictures.Count(), 1);
  EXPECT_EQ(layout.pictures.At(0)->head.right - layout.pictures.At(0)->head.left, width);
  EXPECT_EQ(layout.pictures.At(0)->head.bottom - layout.pictures.At(0)->head.top, height);
  EXPECT_EQ(PictureSizeShown(), before);

  // Into a library and back out: still the same.
  const std::string library = dir_ + "/pictures.qb6";
  fs::remove(library);
  answers.File("Save As", library);
  answers.On("Save Report", [](HWND d) {
    SetDlgItemTextA(d, 200, "Logo");
    Press(d, IDOK);
  });
  Command(kCmdFileSaveAs);
  Command(kCmdFileClose);
  answers.File("Open Report", library);
  answers.On("Open Report", [](HWND d) {
    SelectListed(d, 200, "Logo");
    Press(d, IDOK);
  });
  Command(kCmdFileOpen);
  ASSERT_TRUE(doc->m_bReportOpen);
  ASSERT_EQ(layout.pictures.Count(), 1);
  EXPECT_EQ(layout.pictures.At(0)->head.right - layout.pictures.At(0)->head.left, width);
  EXPECT_EQ(PictureSizeShown(), before);
  const std::string text = PrintedBy(kCmdPrint, "sized");
  EXPECT_NE(text.find("Orders by customer"), std::string::npos) << text;
}

TEST_F(PlacedObjects, CancelInChartPropertiesTakesTheNewChartBack) {
  const std::string report = StartOnCopy("nochart");
  ASSERT_FALSE(report.empty());
  LayoutTables& layout = *doc->m_pLayout;
  const BandLineTable& lines = layout.Lines();
  const int lastUsed = lines.lastUsed;
  std::vector<BYTE> kinds;
  for (int i = 0; i <= lastUsed + 20; ++i) kinds.push_back(lines.lines[i].kind);
  bool sheetSeen = false;
  answers.On("Chart Properties", [&](HWND d) {
    sheetSeen = true;
    Press(d, IDCANCEL);
  });
  // Drawn from the summary line far below the report's end, then cancelled.
  const BandLineRec& summary = LineOfKind(kBandSummary);
  Command(kCmdInsertChart);
  Drag(2, Top(summary) + 2, 290, Top(summary) + 146);
  ASSERT_TRUE(sheetSeen);
  EXPECT_EQ(layout.charts.Count(), 0);
  EXPECT_EQ(lines.lastUsed, lastUsed);
  for (int i = 0; i <= lastUsed + 20; ++i) EXPECT_EQ(lines.lines[i].kind, kinds[static_cast<size_t>(i)]) << i;
  EXPECT_FALSE(doc->IsModified());

  // Saved, reopened and printed: no chart anywhere.
  SaveAndReopen(report);
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_EQ(layout.charts.Count(), 0);
  const std::string text = PrintedBy(kCmdPrint, "nochart");
  EXPECT_NE(text.find("Grand total"), std::string::npos) << text;
}

}  // namespace
}  // namespace newuser_test
