// Pictures and charts as a user places them: a picture keeps the size its
// Picture Properties show through save and reopen and through a library
// round trip, a width typed there prints that wide, and Zoom keeps the
// picture's shape in inches; Cancel in Chart Properties right after a chart
// is drawn takes the chart back; a printed report with a chart goes into a
// library; a picture dragged by its corner keeps its shape in inches; a
// metafile's own size is the one its file gives; a resized chart plays the
// picture it kept. Each ends printed and read back by pdftotext.
#include "tests/app/drawnreport/drawn_report_fixture.h"

#include "app/chart_commands.h"
#include "designer/design_view.h"
#include "designer/layout_drawing.h"
#include "designer/ruler_view.h"

#include <algorithm>
#include <functional>
#include <vector>

namespace newuser_test {
namespace {

constexpr UINT kCmdFormatProperties = 30504, kCmdInsertPicture = 30460, kCmdVerticalRuler = 30212;

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
  // The logo's blue on page 1 printed at the printer's 600 pixels an inch:
  // its widest and its tallest run, the picture's printed size in printer pixels.
  struct Box {
    int width = 0, height = 0;
  };
  Box PrintedLogo(const std::string& pdf) {
    const std::string png = dir_ + "/logo";
    // The page's top four inches, where the title line prints.
    Capture("pdftoppm -r 600 -f 1 -l 1 -x 0 -y 0 -W 5100 -H 2400 -png -singlefile '" + pdf + "' '" + png + "'");
    QImage page(QString::fromStdString(png + ".png"));
    fs::remove(png + ".png");
    auto blue = [&page](int x, int y) {
      const QColor c = page.pixelColor(x, y);
      return c.blue() > 200 && c.green() < 80 && c.red() < 80;
    };
    // The longest run of blue along a line of pixels.
    auto longest = [&blue](int count, const std::function<bool(int)>& at) {
      int first = -1, last = -1;
      for (int i = 0; i < count; ++i)
        if (at(i)) {
          if (first < 0) first = i;
          last = i;
        }
      return first < 0 ? 0 : last - first + 1;
    };
    Box b;
    for (int y = 0; y < page.height(); y += 4)
      b.width = std::max(b.width, longest(page.width(), [&](int x) { return blue(x, y); }));
    for (int x = 0; x < page.width(); x += 4)
      b.height = std::max(b.height, longest(page.height(), [&](int y) { return blue(x, y); }));
    return b;
  }
  int PrintedLogoWidth(const std::string& pdf) { return PrintedLogo(pdf).width; }
  // The layout painted as the view paints it: the colour at that point of
  // the view.
  COLORREF PaintedAt(int x, int y) {
    CKmView& view = frame->m_wndLayoutView;
    const int w = view.ClientWidth(), h = view.ClientHeight();
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(nullptr, w, h);
    HGDIOBJ old = SelectObject(dc, bitmap);
    const RECT all{0, 0, w, h};
    FillRect(dc, &all, GetSysColorBrush(COLOR_WINDOW));
    DrawLayoutView(view, dc, all);
    const COLORREF c = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
    return c;
  }
  // Picture Properties of the only picture: a size typed, a scaling chosen.
  void TypePictureSize(const char* width, const char* height, int scaling) {
    frame->m_wndLayoutView.ClearSelection();
    frame->m_wndLayoutView.SelectObject(doc->m_pLayout->pictures.At(0)->head, true);
    answers.On("Picture Properties", [=](HWND d) {
      SetDlgItemTextA(d, 1001, width);
      SetDlgItemTextA(d, 1002, height);
      for (int radio : {1008, 1009, 1010}) CheckDlgButton(d, radio, radio == scaling ? BST_CHECKED : BST_UNCHECKED);
      Press(d, IDOK);
    });
    Command(kCmdFormatProperties);
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

  // The ruler spacings confirmed as shown, from Format > Rulers and from a
  // double-click on the vertical ruler, change nothing: the report is not
  // marked changed and the picture prints as it did.
  Command(kCmdFileSave);
  PrintedBy(kCmdPrint, "ruled");
  const Box printed = PrintedLogo(dir_ + "/ruled.pdf");
  ASSERT_GT(printed.height, 0);
  const LayoutMetrics grid = layout.metrics;
  HWND view = frame->m_wndLayoutView.m_hWnd;
  CRulerBar& ruler = frame->m_wndRulerView.VerticalBar();
  if (!ruler.Shown()) Command(kCmdVerticalRuler);
  ASSERT_TRUE(ruler.Shown());
  for (int road = 0; road < 2; ++road) {
    int seen = 0;
    answers.On("Ruler Spacing", [&seen](HWND d) {
      ++seen;
      Press(d, IDOK);
    });
    if (road == 0) ui_test::Key(view, Qt::Key_F8);
    else ui_test::MouseClick(ruler.m_hWnd->widget.data(), QPoint(6, 40), true);
    EXPECT_EQ(seen, 1) << road;
    EXPECT_FALSE(doc->IsModified()) << road;
    EXPECT_EQ(layout.metrics.linesPerInch, grid.linesPerInch) << road;
    EXPECT_EQ(layout.metrics.pitch, grid.pitch) << road;
  }
  PrintedBy(kCmdPrint, "ruled");
  const Box again = PrintedLogo(dir_ + "/ruled.pdf");
  EXPECT_EQ(again.width, printed.width);
  EXPECT_EQ(again.height, printed.height);

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

// Zoom keeps the picture's own shape on paper: a size typed in inches is
// fitted to the image's proportions in inches, not in the layout's pixels
// (fewer down an inch than across), through save and reopen, and it prints
// in that shape to within one of the printer's pixels.
TEST_F(PlacedObjects, ZoomKeepsThePicturesShapeInInches) {
  const std::string report = StartOnCopy("shape");
  ASSERT_FALSE(report.empty());
  const int top = Top(LineOfKind(kBandTitle));
  InsertLogo(400, top, 499, top + 49);  // a logo twice as wide as high
  ASSERT_EQ(doc->m_pLayout->pictures.Count(), 1);
  TypePictureSize("1.50", "0.75", 1008);
  EXPECT_EQ(PictureSizeShown(), "1.50 x 0.75") << "the logo's own shape is kept as typed";
  TypePictureSize("1.50", "0.60", 1008);
  EXPECT_EQ(PictureSizeShown(), "1.20 x 0.60") << "too wide for the logo: the width gives way";
  SaveAndReopen(report);
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_EQ(PictureSizeShown(), "1.20 x 0.60");
  const std::string text = PrintedBy(kCmdPrint, "shape");
  EXPECT_NE(text.find("Orders by customer"), std::string::npos) << text;
  const Box printed = PrintedLogo(dir_ + "/shape.pdf");
  EXPECT_NEAR(printed.width, 720, 1) << "printer pixels";
  EXPECT_NEAR(printed.height, printed.width / 2.0, 1) << "printer pixels: " << printed.width << " x " << printed.height;
}

// A report with a chart, once printed (which marks the fields the chart
// draws, a mark of the run), still goes into a new library, one named with
// accents too, and comes back from it with its chart.
TEST_F(PlacedObjects, APrintedReportWithAChartGoesIntoALibraryNamedWithAccents) {
  const std::string report = StartOnCopy("chartlib");
  ASSERT_FALSE(report.empty());
  DrawPieInSummary("Shares");
  ASSERT_EQ(doc->m_pLayout->charts.Count(), 1);
  std::string text = PrintedBy(kCmdPrint, "chartlib-first");
  EXPECT_NE(text.find("Shares"), std::string::npos) << text;
  bool marked = false;
  for (const FieldDef* f = doc->m_pModel->fieldList; f != nullptr; f = f->next)
    marked = marked || (f->flags2 & kField2UsedByChart) != 0;
  EXPECT_TRUE(marked) << "the print marks the chart's fields";

  const std::string library = dir_ + "/B\xC3\xBC" "cher.qb6";
  messages.clear();
  ThroughALibrary(library, "Anteile");
  EXPECT_EQ(messages, std::vector<std::string>{});
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_TRUE(doc->m_bLibraryMode);
  EXPECT_TRUE(fs::exists(library));
  EXPECT_EQ(doc->m_pLayout->charts.Count(), 1);
  text = PrintedBy(kCmdPrint, "chartlib");
  EXPECT_NE(text.find("Shares"), std::string::npos) << text;
  EXPECT_NE(text.find("Grand total"), std::string::npos) << text;
}

// A picture dragged larger by its corner keeps the image's shape on paper:
// in inches, not in the layout's pixels (fewer down an inch than across);
// it prints in that shape.
TEST_F(PlacedObjects, ADraggedCornerKeepsThePicturesShapeInInches) {
  const std::string report = StartOnCopy("dragged");
  ASSERT_FALSE(report.empty());
  const int top = Top(LineOfKind(kBandTitle));
  InsertLogo(400, top, 499, top + 49);  // a logo twice as wide as high
  ASSERT_EQ(doc->m_pLayout->pictures.Count(), 1);
  PictureItem& logo = *doc->m_pLayout->pictures.At(0);
  frame->m_wndLayoutView.ClearSelection();
  frame->m_wndLayoutView.SelectObject(logo.head, true);
  // Pulled to five pixels square, too small to take: the picture stays
  // exactly as it was.
  const RECT placed{logo.head.left, logo.head.top, logo.head.right, logo.head.bottom};
  const int placedWidth = logo.shownWidth, placedHeight = logo.shownHeight;
  ASSERT_EQ(placed.right - placed.left + 1, 100);
  ASSERT_EQ(placed.bottom - placed.top + 1, 50);
  Drag(placed.right + 1, placed.bottom + 1, placed.left + 5, placed.top + 5);
  EXPECT_EQ(logo.head.left, placed.left);
  EXPECT_EQ(logo.head.top, placed.top);
  EXPECT_EQ(logo.head.right, placed.right);
  EXPECT_EQ(logo.head.bottom, placed.bottom);
  EXPECT_EQ(logo.shownWidth, placedWidth);
  EXPECT_EQ(logo.shownHeight, placedHeight);
  const int before = logo.head.right - logo.head.left;
  // The bottom right corner's handle, pulled right and down.
  Drag(logo.head.right + 1, logo.head.bottom + 1, logo.head.right + 141, logo.head.bottom + 41);
  ASSERT_GT(logo.head.right - logo.head.left, before + 50) << "made larger";
  EXPECT_NEAR(logo.shownWidth, 2 * logo.shownHeight, 2) << logo.shownWidth << " x " << logo.shownHeight;
  // The view shows it at its new size: blue up to its new corner (inside
  // the corner's handle).
  const COLORREF corner = PaintedAt(logo.head.right - 8 - doc->m_pLayout->scrollX, logo.head.bottom - 8 - doc->m_pLayout->scrollY);
  EXPECT_GT(GetBValue(corner), 200) << std::hex << corner;
  EXPECT_LT(GetRValue(corner), 80) << std::hex << corner;

  SaveAndReopen(report);
  ASSERT_EQ(doc->m_pLayout->pictures.Count(), 1);
  const PictureItem& back = *doc->m_pLayout->pictures.At(0);
  EXPECT_NEAR(back.shownWidth, 2 * back.shownHeight, 2);
  const std::string text = PrintedBy(kCmdPrint, "dragged");
  EXPECT_NE(text.find("Orders by customer"), std::string::npos) << text;
  const Box printed = PrintedLogo(dir_ + "/dragged.pdf");
  ASSERT_GT(printed.width, 600) << "printer pixels";
  EXPECT_NEAR(printed.height * 2.0, printed.width, printed.width / 100.0)
      << "printer pixels: " << printed.width << " x " << printed.height;
}

// A metafile picture placed with a click takes the size its file gives it,
// three inches by two, and so does its Original Size; cropped, it shows that
// part of the image at its own size. Saved, read back and printed.
TEST_F(PlacedObjects, AMetafilesOwnSizeIsTheSizeItsFileGives) {
  const std::string report = StartOnCopy("natural");
  ASSERT_FALSE(report.empty());
  const std::string file = dir_ + "/three-by-two.wmf";
  ASSERT_TRUE(metafile_bytes::WriteFile(file, metafile_bytes::PlaceableWmf(1440, 4320, 2880, 0xFF0000, 0, 0, 4320, 2880)));
  const int top = Top(LineOfKind(kBandTitle));
  answers.File("Picture File", file);
  Command(kCmdInsertPicture);
  Drag(20, top + 2, 20, top + 2);  // a click: the picture at its own size
  ASSERT_EQ(doc->m_pLayout->pictures.Count(), 1);
  EXPECT_EQ(PictureSizeShown(), "3.00 x 2.00");

  // Original Size gives the same, after another size was typed.
  std::string original;
  answers.On("Picture Properties", [&original](HWND d) {
    SetDlgItemTextA(d, 1001, "1.00");
    Press(d, 1005);
    original = ui_test::Text(GetDlgItem(d, 1001)) + " x " + ui_test::Text(GetDlgItem(d, 1002));
    Press(d, IDCANCEL);
  });
  Command(kCmdFormatProperties);
  EXPECT_EQ(original, "3.00 x 2.00");

  // Cropped to half its width and height: the image's top left quarter.
  TypePictureSize("1.50", "1.00", 1009);
  const PictureItem& p = *doc->m_pLayout->pictures.At(0);
  int iw = 0, ih = 0;
  ASSERT_TRUE(doc->m_pLayout->images.ImgBitmapInfo(p.image, &iw, &ih, nullptr));
  EXPECT_NEAR(p.source[2], iw / 2, 1);
  EXPECT_NEAR(p.source[3], ih / 2, 1);
  EXPECT_EQ(PictureSizeShown(), "1.50 x 1.00");

  SaveAndReopen(report);
  ASSERT_EQ(doc->m_pLayout->pictures.Count(), 1);
  EXPECT_EQ(PictureSizeShown(), "1.50 x 1.00");
  const std::string text = PrintedBy(kCmdPrint, "natural");
  EXPECT_NE(text.find("Orders by customer"), std::string::npos) << text;
  const Box printed = PrintedLogo(dir_ + "/natural.pdf");
  EXPECT_NEAR(printed.width, 900, 6) << "printer pixels";
  EXPECT_NEAR(printed.height, 600, 6) << "printer pixels";
}

// A chart is drawn once and kept: made larger by its corner, the kept
// picture is played into the new rectangle, not drawn again.
TEST_F(PlacedObjects, AResizedChartPlaysThePictureItKept) {
  const std::string report = StartOnCopy("chartsize");
  ASSERT_FALSE(report.empty());
  DrawPieInSummary("Shares");
  ASSERT_EQ(doc->m_pLayout->charts.Count(), 1);
  ChartTableEntry& chart = *doc->m_pLayout->charts.At(0);
  CKmView& view = frame->m_wndLayoutView;
  PaintedAt(0, 0);
  const HENHMETAFILE drawn = chart.metafileCache.Newest();
  ASSERT_NE(drawn, nullptr);
  view.ClearSelection();
  view.SelectObject(chart.head, true);
  const int before = chart.head.right - chart.head.left;
  Drag(chart.head.right + 1, chart.head.bottom + 1, chart.head.right + 101, chart.head.bottom + 1);
  ASSERT_GT(chart.head.right - chart.head.left, before + 50) << "made wider";
  PaintedAt(0, 0);
  EXPECT_EQ(chart.metafileCache.Newest(), drawn) << "the kept picture, played into the new rectangle";
  EXPECT_EQ(chart.metafileCache.Count(), 1u);

  SaveAndReopen(report);
  ASSERT_EQ(doc->m_pLayout->charts.Count(), 1);
  const std::string text = PrintedBy(kCmdPrint, "chartsize");
  EXPECT_NE(text.find("Shares"), std::string::npos) << text;
}

}  // namespace
}  // namespace newuser_test
