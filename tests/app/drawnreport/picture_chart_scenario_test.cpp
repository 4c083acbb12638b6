// Pictures and charts as a user places them: a picture keeps the size its
// Picture Properties show through save and reopen and through a library
// round trip, and a width typed there prints that wide; Cancel in Chart Properties right after a chart is drawn takes
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
  // Saved as the member name of a new library, closed and opened from it.
  void ThroughALibrary(const std::string& library, const char* member) {
    fs::remove(library);
    answers.File("Save As", library);
    answers.On("Save Report", [member](HWND d) {
      SetDlgItemTextA(d, 200, member);
      Press(d, IDOK);
    });
    Command(kCmdFileSaveAs);
    Command(kCmdFileClose);
    answers.File("Open Report", library);
    answers.On("Open Report", [member](HWND d) {
      SelectListed(d, 200, member);
      Press(d, IDOK);
    });
    Command(kCmdFileOpen);
  }
  // The widest run of the logo's blue on page 1 printed at the printer's 600
  // pixels an inch: the picture's printed width in printer pixels.
  int PrintedLogoWidth(const std::string& pdf) {
    const std::string png = dir_ + "/logo";
    // The page's top four inches, where the title line prints.
    Capture("pdftoppm -r 600 -f 1 -l 1 -x 0 -y 0 -W 5100 -H 2400 -png -singlefile '" + pdf + "' '" + png + "'");
    QImage page(QString::fromStdString(png + ".png"));
    fs::remove(png + ".png");
    int widest = 0;
    for (int y = 0; y < page.height(); y += 4) {
      int first = -1, last = -1;
      const QRgb* row = reinterpret_cast<const QRgb*>(page.constScanLine(y));
      for (int x = 0; x < page.width(); ++x) {
        const QColor c = QColor::fromRgb(row[x]);
        if (c.blue() > 200 && c.green() < 80 && c.red() < 80) {
          if (first < 0) first = x;
          last = x;
        }
      }
      if (first >= 0) widest = std::max(widest, last - first + 1);
    }
    return widest;
  }
};

// Widths typed in Picture Properties are kept: shown again after OK, after
// save and reopen and after a round trip through a library, and printed
// that wide to within one of the printer's pixels.
TEST_F(PlacedObjects, ATypedPictureWidthIsKeptToPaper) {
  const std::string report = StartOnCopy("typed");
  ASSERT_FALSE(report.empty());
  LayoutTables& layout = *doc->m_pLayout;
  const int top = Top(LineOfKind(kBandTitle));
  InsertLogo(400, top, 499, top + 49);
  ASSERT_EQ(layout.pictures.Count(), 1);
  for (const char* width : {"1.50", "1.37", "2.03"}) {
    SCOPED_TRACE(width);
    frame->m_wndLayoutView.ClearSelection();
    frame->m_wndLayoutView.SelectObject(layout.pictures.At(0)->head, true);
    answers.On("Picture Properties", [width](HWND d) {
      SetDlgItemTextA(d, 1001, width);
      SetDlgItemTextA(d, 1002, "0.50");
      CheckDlgButton(d, 1008, BST_UNCHECKED);
      CheckDlgButton(d, 1010, BST_CHECKED);  // Stretch
      Press(d, IDOK);
    });
    Command(kCmdFormatProperties);
    const std::string typed = std::string(width) + " x 0.50";
    EXPECT_EQ(PictureSizeShown(), typed) << "after OK";
    SaveAndReopen(report);
    ASSERT_EQ(layout.pictures.Count(), 1);
    EXPECT_EQ(PictureSizeShown(), typed) << "saved and opened again";
    ThroughALibrary(dir_ + "/typed.qb6", "Typed");
    ASSERT_TRUE(doc->m_bReportOpen);
    ASSERT_EQ(layout.pictures.Count(), 1);
    EXPECT_EQ(PictureSizeShown(), typed) << "through a library";
    const std::string text = PrintedBy(kCmdPrint, "typed");
    EXPECT_NE(text.find("Orders by customer"), std::string::npos) << text;
    const int expected = std::atoi(width) * 600 + std::atoi(width + 2) * 6;
    EXPECT_NEAR(PrintedLogoWidth(dir_ + "/typed.pdf"), expected, 1) << "printer pixels";
    // Back to the report file for the next width.
    answers.File("Open Report", report);
    Command(kCmdFileClose);
    Command(kCmdFileOpen);
    ASSERT_EQ(layout.pictures.Count(), 1);
  }
  // Zoom with only room to spare downwards: the width typed rules the shape and is kept.
  frame->m_wndLayoutView.ClearSelection();
  frame->m_wndLayoutView.SelectObject(layout.pictures.At(0)->head, true);
  answers.On("Picture Properties", [](HWND d) {
    SetDlgItemTextA(d, 1001, "1.50");
    SetDlgItemTextA(d, 1002, "5.00");
    CheckDlgButton(d, 1010, BST_UNCHECKED);
    CheckDlgButton(d, 1008, BST_CHECKED);  // Zoom
    Press(d, IDOK);
  });
  Command(kCmdFormatProperties);
  EXPECT_EQ(PictureSizeShown().substr(0, 4), "1.50");
  SaveAndReopen(report);
  EXPECT_EQ(PictureSizeShown().substr(0, 4), "1.50");
  PrintedBy(kCmdPrint, "typed");
  EXPECT_NEAR(PrintedLogoWidth(dir_ + "/typed.pdf"), 900, 1) << "printer pixels";
}

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
  ThroughALibrary(dir_ + "/pictures.qb6", "Logo");
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
