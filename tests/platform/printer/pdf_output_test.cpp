// Pages drawn through the printer library to the PDF printer and to the
// preview, read back with the PDF tools.
#include "tests/platform/printer/printer_fixture.h"

#include "platform/printer/escape_stream.h"
#include "platform/printer/line_layout.h"
#include "platform/printer/page_record.h"

#include <QDataStream>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <fstream>
#include <sstream>

namespace {

constexpr int kLineHeight = 120;  // decipoints: six lines per inch

// One text line at the current position: down by the line, draw, no depth.
void PutLine(PdfRun& run, const LineBuilder& line) {
  ASSERT_EQ(run.driver->AdvanceBeforeLine(&run.state, kLineHeight, 1), 1);
  ASSERT_EQ(run.driver->OutputLine(&run.state, line.data(), line.size()), 1);
  ASSERT_EQ(run.driver->AdvanceAfterLine(&run.state, 0, 1), 1);
}

// Columns in a 10-point fixed face are 1/12 inch: 8 screen pixels.
LineBuilder ColumnsLine(int n) {
  LineBuilder b;
  b.Esc(kEscFont, 0, 0, 100).Esc(kEscColour, 0, 0, 0);
  b.Esc(kEscPosition, 0).Text("Row" + std::to_string(100 + n));
  b.Esc(kEscPosition, 96).Text("Boston");
  // Right-aligned amount ending at column 60, centred city on column 40.
  b.Bare(kEscRightOpen).Text("10.00").Esc(kEscRightClose, 480);
  b.Bare(kEscCentreOpen).Text("MID").Esc(kEscCentreClose, 320);
  return b;
}

void DrawSamplePage(PdfRun& run, int lines) {
  ASSERT_EQ(run.driver->BeginPage(&run.state, 360, 1), 1);
  for (int i = 1; i <= lines; ++i) PutLine(run, ColumnsLine(i));
  LineBoxRecord box;
  box.left = 0;
  box.right = 3000;
  box.top = 5400;
  box.bottom = 6000;
  box.penWidth = 24;
  box.attributes = 0x0F;
  box.lineColourShown = 0x000000FF;  // red
  box.fillColourShown = 0x00E0E0E0;
  ASSERT_EQ(run.driver->DrawBox(&run.state, &box), 1);
  LineBoxRecord rule;
  rule.left = 0;
  rule.right = 4800;
  rule.top = rule.bottom = 6300;
  rule.penWidth = 12;
  ASSERT_EQ(run.driver->DrawLine(&run.state, &rule), 1);
}

int PdfPages(const std::string& pdf) {
  std::istringstream in(RunCommand("pdfinfo '" + pdf + "' 2>/dev/null"));
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("Pages:", 0) == 0) return std::stoi(line.substr(6));
  return -1;
}

TEST(PdfOutput, SixtyLinesFitALetterPageAndKeepTheirColumns) {
  std::string pdf = TempPath("columns.pdf");
  PdfRun run;
  ASSERT_GT(StartPrinterDoc(run.device, "Columns", pdf.c_str()), 0);
  ASSERT_EQ(run.driver->BeginPage(&run.state, 360, 1), 1);
  int lines = 0;
  // The report's own loop: ask for room above a half-inch bottom margin.
  while (run.driver->SpaceLeft(&run.state, 360) >= kLineHeight) {
    PutLine(run, ColumnsLine(++lines));
    ASSERT_LE(lines, 100);
  }
  EXPECT_EQ(lines, 60);
  EXPECT_EQ(run.driver->CurrentY(&run.state), 7920 - 360);
  ASSERT_GT(run.driver->EndPage(&run.state, 1), 0);
  run.driver->CloseDevice(&run.state, 1);
  ASSERT_GT(EndPrinterDoc(run.device), 0);
  ASSERT_EQ(PdfPages(pdf), 1);

  // Six points a column: the width of the 10-point fixed face.
  std::string text = RunCommand("pdftotext -layout -fixed 6 '" + pdf + "' - 2>/dev/null");
  std::istringstream in(text);
  std::string line;
  int found = 0;
  while (std::getline(in, line)) {
    size_t row = line.find("Row1");
    if (row == std::string::npos) continue;
    ++found;
    size_t boston = line.find("Boston"), amount = line.find("10.00"), mid = line.find("MID");
    ASSERT_NE(boston, std::string::npos) << line;
    ASSERT_NE(amount, std::string::npos) << line;
    ASSERT_NE(mid, std::string::npos) << line;
    EXPECT_EQ(boston - row, 12u) << line;
    EXPECT_EQ(amount + 5 - row, 60u) << line;  // ends at column 60
    EXPECT_NEAR(static_cast<double>(mid) + 1.5 - row, 40.0, 1.0) << line;
  }
  EXPECT_EQ(found, 60);
  EXPECT_NE(text.find("Row160"), std::string::npos);
}

TEST(PdfOutput, PreviewPageReplaysLikeThePrintedPage) {
  std::string pdf = TempPath("replay.pdf");
  {
    PdfRun run;
    ASSERT_GT(StartPrinterDoc(run.device, "Replay", pdf.c_str()), 0);
    DrawSamplePage(run, 30);
    ASSERT_GT(run.driver->EndPage(&run.state, 1), 0);
    run.driver->CloseDevice(&run.state, 1);
    ASSERT_GT(EndPrinterDoc(run.device), 0);
  }
  PdfRun preview(true);
  DrawSamplePage(preview, 30);
  ASSERT_GT(preview.driver->EndPage(&preview.state, 1), 0);
  ASSERT_EQ(preview.driver->StorePage(&preview.state, nullptr, 0), 1);
  ASSERT_EQ(StoredPreviewPageCount(&preview.state), 1);

  const int dpi = 50;
  QImage shown(612 * dpi / 72, 792 * dpi / 72, QImage::Format_RGB32);
  shown.fill(Qt::white);
  {
    QPainter p(&shown);
    p.setRenderHint(QPainter::Antialiasing);
    ASSERT_TRUE(ReplayPreviewPage(&preview.state, 0, &p, QRectF(0, 0, shown.width(), shown.height())));
  }
  std::string base = TempPath("replay_page");
  RunCommand("pdftoppm -r " + std::to_string(dpi) + " -png -singlefile '" + pdf + "' '" + base + "'");
  QImage printed(QString::fromStdString(base + ".png"));
  ASSERT_FALSE(printed.isNull());
  ASSERT_EQ(printed.size(), shown.size());
  shown.save(QString::fromStdString(TempPath("replay_preview.png")));

  // Compare 5x5-pixel blocks by mean grey level: rasterisers differ in
  // glyph edges, not in where things are.
  auto grey = [](const QImage& img, int x, int y) { return qGray(img.pixel(x, y)); };
  int blocks = 0, off = 0;
  double worst = 0;
  for (int by = 0; by + 5 <= shown.height(); by += 5)
    for (int bx = 0; bx + 5 <= shown.width(); bx += 5) {
      double a = 0, b = 0;
      for (int y = by; y < by + 5; ++y)
        for (int x = bx; x < bx + 5; ++x) {
          a += grey(shown, x, y);
          b += grey(printed, x, y);
        }
      double d = std::fabs(a - b) / 25;
      worst = std::max(worst, d);
      ++blocks;
      if (d > 40) ++off;
    }
  EXPECT_LT(off, blocks / 100) << "worst block difference " << worst;
  // The page is not blank: the red frame is there in both.
  int red = 0;
  for (int x = 0; x < shown.width(); ++x) {
    QRgb c = shown.pixel(x, 5400 * dpi / 600);
    if (qRed(c) > 180 && qGreen(c) < 100) ++red;
  }
  EXPECT_GT(red, 100);
}

TEST(PdfOutput, MeasuresFollowTheFontsOfTheLine) {
  PdfRun run;
  // 10-point fixed face: 6 points a character, 120 twips.
  EXPECT_EQ(run.driver->CharWidth(&run.state, 'M', 0, 0, 100), 120);
  EXPECT_EQ(run.driver->CharWidth(&run.state, 'i', 0, 1, 100), 120);
  // A font without a face of its own is drawn in the default face, whose
  // letters are no box characters, also when no face draws them.
  run.state.lineDrawFace.clear();
  run.state.fontFaces.push_back("");
  EXPECT_EQ(run.driver->CharWidth(&run.state, 0xC4, 3, 0, 100), run.driver->CharWidth(&run.state, 0xC4, 1, 0, 100));
  run.state.fontFaces.pop_back();
  run.state.lineDrawFace = PageOutputState().lineDrawFace;
  int h10 = run.driver->FontLineHeight(&run.state, 1, 0, 100, 0);
  int h20 = run.driver->FontLineHeight(&run.state, 1, 0, 200, 0);
  EXPECT_GT(h10, 100);
  EXPECT_LT(h10, 130);
  EXPECT_NEAR(h20, 2 * h10, 2);

  LineBuilder small, mixed;
  small.Esc(kEscFont, 1, 0, 100).Text("abc");
  mixed.Esc(kEscFont, 1, 0, 100).Text("abc").Esc(kEscFont, 1, 0, 200).Text("BIG");
  DWORD ms = run.driver->MeasureLine(&run.state, small.data(), small.size(), 0);
  DWORD mm = run.driver->MeasureLine(&run.state, mixed.data(), mixed.size(), 0);
  EXPECT_NEAR(LOWORD(ms) + HIWORD(ms), h10, 1);
  EXPECT_GT(LOWORD(mm), LOWORD(ms));
  EXPECT_GE(HIWORD(mm), HIWORD(ms));
  // A line without text measures nothing, so the caller's default applies.
  LineBuilder none;
  none.Esc(kEscPosition, 10).Esc(kEscFont, 1, 0, 300);
  EXPECT_EQ(run.driver->MeasureLine(&run.state, none.data(), none.size(), 0), 0u);
  // A line cut off inside a sequence is measured up to the cut.
  LineBuilder cut = small;
  cut.bytes.push_back(0x1B);
  cut.bytes.push_back(kEscFont);
  cut.bytes.push_back(1);
  EXPECT_EQ(run.driver->MeasureLine(&run.state, cut.data(), cut.size(), 0), ms);
}

TEST(PdfOutput, PagePositionsMovesAndSecondPageStart) {
  PdfRun run;
  EXPECT_EQ(run.driver->MoveDown(&run.state, 100, 1), 0);  // no page open
  ASSERT_EQ(run.driver->BeginPage(&run.state, 720, 1), 1);
  EXPECT_EQ(run.driver->CurrentY(&run.state), 720);
  ASSERT_EQ(run.driver->MoveDown(&run.state, 480, 1), 1);
  // A second page start while the page is open keeps the page and position.
  ASSERT_EQ(run.driver->BeginPage(&run.state, 360, 1), 1);
  EXPECT_EQ(run.driver->CurrentY(&run.state), 1200);
  EXPECT_EQ(run.driver->SpaceLeft(&run.state, 720), 7920 - 720 - 1200);
  ASSERT_EQ(run.driver->MoveDown(&run.state, -5000, 1), 1);
  EXPECT_EQ(run.driver->CurrentY(&run.state), 0);  // never above the page
  ASSERT_EQ(run.driver->MoveDown(&run.state, 9000, 1), 1);
  EXPECT_EQ(run.driver->SpaceLeft(&run.state, 360), 0);
}

TEST(PdfOutput, JobsStartEndAndAbortCleanly) {
  {
    // The PDF printer needs a file to write.
    PdfRun run;
    EXPECT_LE(StartPrinterDoc(run.device, "No file", nullptr), 0);
    EXPECT_NE(PrinterDeviceLastError(run.device), kPrintErrorNone);
  }
  std::string empty = TempPath("empty.pdf");
  {
    // A job that sends no page leaves no file behind.
    PdfRun run;
    ASSERT_GT(StartPrinterDoc(run.device, "Empty", empty.c_str()), 0);
    ASSERT_EQ(run.driver->BeginPage(&run.state, 360, 0), 1);
    PutLine(run, ColumnsLine(1));
    EXPECT_GT(run.driver->EndPage(&run.state, 0), 0);  // a page before the start page
    run.driver->CloseDevice(&run.state, 1);
    EndPrinterDoc(run.device);
    EXPECT_EQ(PrinterDevicePageCount(run.device), 0);
  }
  EXPECT_FALSE(FileExists(empty));

  std::string aborted = TempPath("aborted.pdf");
  {
    PdfRun run;
    ASSERT_GT(StartPrinterDoc(run.device, "Aborted", aborted.c_str()), 0);
    DrawSamplePage(run, 3);
    ASSERT_GT(run.driver->EndPage(&run.state, 1), 0);
    EXPECT_EQ(PrinterDevicePageCount(run.device), 1);
    run.driver->CloseDevice(&run.state, -3);
    AbortPrinterDoc(run.device);
  }
  EXPECT_FALSE(FileExists(aborted));

  std::string two = TempPath("two.pdf");
  {
    PdfRun run;
    ASSERT_GT(StartPrinterDoc(run.device, "Two", two.c_str()), 0);
    for (int page = 0; page < 2; ++page) {
      DrawSamplePage(run, 2);
      ASSERT_GT(run.driver->EndPage(&run.state, 1), 0);
    }
    run.driver->CloseDevice(&run.state, 1);
    ASSERT_GT(EndPrinterDoc(run.device), 0);
  }
  EXPECT_EQ(PdfPages(two), 2);
}

TEST(PdfOutput, AbortProcedureStopsTheJob) {
  std::string pdf = TempPath("stopped.pdf");
  PdfRun run;
  SetPrinterAbortProc(run.device, [](PrinterDevice*, int) -> BOOL { return FALSE; });
  ASSERT_GT(StartPrinterDoc(run.device, "Stopped", pdf.c_str()), 0);
  DrawSamplePage(run, 1);
  EXPECT_EQ(run.driver->EndPage(&run.state, 1), -3);
  AbortPrinterDoc(run.device);
  EXPECT_FALSE(FileExists(pdf));
}

// Lines the PDF file writer lays out on its own thread make the file the
// same, byte for byte, as lines laid out as they are printed.
struct DeferralSwitch {
  explicit DeferralSwitch(bool defer) { SetPageDriverDefersLines(defer); }
  ~DeferralSwitch() { SetPageDriverDefersLines(true); }
};

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Faces 0-2 are the fixture's; 3 is another name of face 1's standard font,
// 4 the line-draw face.
LineBuilder MixedLine(int n) {
  LineBuilder b;
  b.Esc(kEscFont, 1, 0, 100).Esc(kEscColour, 0, 0, 0).Esc(kEscPosition, 0).Text("Item " + std::to_string(n));
  b.Esc(kEscFont, 2, n % 4, 80 + (n % 5) * 20).Esc(kEscPosition, 80).Text("caf\xE9 \x80" "5 (a) b\\c \x93q\x94");
  b.Esc(kEscFont, 3, 0, 100).Text(" tail");  // no position: follows the text before
  b.Esc(kEscFont, 0, 0, 100).Esc(kEscPosition, 240).Esc(kEscCentreField, 120).Text("c" + std::to_string(n * 7));
  b.Bare(kEscCentreField);
  b.Esc(kEscColour, 200, 20, 0).Bare(kEscRightOpen).Esc(kEscFont, 1, 1, 120).Text(std::to_string(n * 31) + ".50");
  b.Esc(kEscRightClose, 520);
  b.Esc(kEscVerticalOffset, 40).Esc(kEscFont, 2, 2, 70).Esc(kEscPosition, 540).Text("up");
  b.Esc(kEscColour, 0, 0, 300).Bare(kEscCentreOpen).Esc(kEscFont, 3, 1, 90).Text("mid").Esc(kEscCentreClose, 660);
  if (n % 6 == 0) b.Esc(kEscFont, 1, 0, 300);  // a font after the last text counts for nothing
  return b;
}

// Three pages of mixed lines measured and printed as the engine does, with
// rules between some; the state the layout reads changes between pages and
// within one. A line of refusedPage ends in refused, text the PDF file
// writer does not take.
void PrintMixedReport(const std::string& pdf, bool defer, int refusedPage = -1, const LineBuilder& refused = {}) {
  DeferralSwitch deferral(defer);
  PdfRun run;
  run.state.fontFaces.push_back("Helvetica");
  run.state.fontFaces.push_back(run.state.lineDrawFace);
  ASSERT_GT(StartPrinterDoc(run.device, "Mixed", pdf.c_str()), 0);
  for (int page = 0; page < 3; ++page) {
    run.state.leftMargin = page * 30;
    ASSERT_EQ(run.driver->BeginPage(&run.state, 360, 1), 1);
    for (int i = 0; i < 40; ++i) {
      const int n = page * 40 + i;
      if (i == 20 && page == 2) run.state.fontFaces[3] = "Times New Roman";
      LineBuilder b = n % 13 == 5 ? LineBuilder() : MixedLine(n);
      if (page == refusedPage && i == 7) b.bytes.insert(b.bytes.end(), refused.bytes.begin(), refused.bytes.end());
      // Now and then the line measured is not the one printed.
      const LineBuilder measured = n % 11 == 2 ? MixedLine(n + 1) : b;
      const DWORD h = run.driver->MeasureLine(&run.state, measured.data(), measured.size(), 1);
      ASSERT_EQ(run.driver->AdvanceBeforeLine(&run.state, h ? LOWORD(h) : 120, 1), 1);
      ASSERT_EQ(run.driver->OutputLine(&run.state, b.data(), b.size()), 1);
      ASSERT_EQ(run.driver->AdvanceAfterLine(&run.state, HIWORD(h), 1), 1);
      if (i % 9 == 4) {
        LineBoxRecord rule;
        rule.right = 4800;
        rule.top = rule.bottom = static_cast<WORD>(run.driver->CurrentY(&run.state) * 600 / 720);
        rule.penWidth = 3;
        ASSERT_EQ(run.driver->DrawLine(&run.state, &rule), 1);
      }
    }
    ASSERT_GT(run.driver->EndPage(&run.state, 1), 0);
  }
  run.driver->CloseDevice(&run.state, 1);
  ASSERT_GT(EndPrinterDoc(run.device), 0);
}

TEST(DeferredLines, TheWriterThreadsLayoutMakesTheSameFile) {
  const std::string now = TempPath("laid_now.pdf"), later = TempPath("laid_later.pdf");
  PrintMixedReport(now, false);
  PrintMixedReport(later, true);
  const std::string a = FileBytes(now), b = FileBytes(later);
  ASSERT_GT(a.size(), 5000u);
  EXPECT_TRUE(a == b) << "the deferred layout wrote a different file";
  EXPECT_EQ(PdfPages(later), 3);
  const std::string text = RunCommand("pdftotext '" + later + "' - 2>/dev/null");
  for (const char* want : {"Item 0", "Item 119", "caf\xC3\xA9 \xE2\x82\xAC" "5 (a) b\\c", "3689.50", "mid"})
    EXPECT_NE(text.find(want), std::string::npos) << want;
}

// Lines in one font, the state's line-draw face turning to that font's face
// and back between them: each line is checked for the file writer as the
// state then has it, in memory or deferred alike.
std::string PrintLineDrawTurns(const std::string& pdf, bool defer) {
  DeferralSwitch deferral(defer);
  PdfRun run;
  const std::string lineDraw = run.state.lineDrawFace;
  EXPECT_GT(StartPrinterDoc(run.device, "Turns", pdf.c_str()), 0);
  for (int page = 0; page < 2; ++page) {
    EXPECT_EQ(run.driver->BeginPage(&run.state, 360, 1), 1);
    for (int i = 0; i < 12; ++i) {
      run.state.lineDrawFace = i % 4 == 2 ? run.state.fontFaces[1] : lineDraw;
      LineBuilder b;
      b.Esc(kEscFont, 1, 0, 100).Esc(kEscPosition, 0).Text("row " + std::to_string(page * 12 + i) + " \xC4\xB3\xC4");
      const DWORD h = run.driver->MeasureLine(&run.state, b.data(), b.size(), 1);
      EXPECT_EQ(run.driver->AdvanceBeforeLine(&run.state, LOWORD(h), 1), 1);
      EXPECT_EQ(run.driver->OutputLine(&run.state, b.data(), b.size()), 1);
      EXPECT_EQ(run.driver->AdvanceAfterLine(&run.state, HIWORD(h), 1), 1);
    }
    EXPECT_GT(run.driver->EndPage(&run.state, 1), 0);
  }
  run.driver->CloseDevice(&run.state, 1);
  EXPECT_GT(EndPrinterDoc(run.device), 0);
  return RunCommand("pdftotext -layout '" + pdf + "' - 2>/dev/null");
}

TEST(DeferredLines, AFontTurningIntoTheLineDrawFaceIsCheckedAsItIsThen) {
  const std::string now = PrintLineDrawTurns(TempPath("turns_now.pdf"), false);
  const std::string later = PrintLineDrawTurns(TempPath("turns_later.pdf"), true);
  EXPECT_NE(later.find("row 23"), std::string::npos);
  EXPECT_EQ(now, later);
}

// A page the file writer does not take goes through the painter, its lines
// laid out first; the pages before it are read back into the same document.
TEST(DeferredLines, APageTheWriterRefusesIsLaidOutForThePainter) {
  // A face without a standard font, an underline, and a byte of the code
  // page that has no character in a standard font.
  LineBuilder box, under, odd;
  box.Esc(kEscFont, 4, 0, 100).Esc(kEscPosition, 700).Text("\xC4\xC4\xB3 box");
  under.Esc(kEscFont, 1, 4, 100).Esc(kEscPosition, 700).Text("under");
  odd.Esc(kEscFont, 1, 0, 100).Esc(kEscPosition, 700).Text("odd\x81");
  int n = 0;
  for (const LineBuilder* refused : {&box, &under, &odd}) {
    SCOPED_TRACE(++n);
    const std::string now = TempPath("refused_now.pdf"), later = TempPath("refused_later.pdf");
    PrintMixedReport(now, false, 1, *refused);
    PrintMixedReport(later, true, 1, *refused);
    EXPECT_EQ(PdfPages(now), 3);
    EXPECT_EQ(PdfPages(later), 3);
    const std::string a = RunCommand("pdftotext -layout '" + now + "' - 2>/dev/null");
    const std::string b = RunCommand("pdftotext -layout '" + later + "' - 2>/dev/null");
    EXPECT_NE(b.find("Item 119"), std::string::npos);
    EXPECT_EQ(a, b);
  }
}

// A preview keeps its pages with their lines left unlaid out and lays out
// the page it shows: each page, kept in memory or in the spill file, draws
// as the page laid out as it was made, and prints so from the preview.
struct PreviewedReport {
  std::vector<QImage> shown;  // each page as it was shown when made
  std::vector<QImage> kept;   // each page replayed from the store at the end
  std::string current;        // the text of page 2 printed from the preview
};

QImage ShownPreviewPage(PdfRun& run) {
  QImage window(306, 396, QImage::Format_RGB32);
  window.fill(Qt::white);
  QPainter painter(&window);
  run.state.previewDC = &painter;
  run.state.wholePage = {0, 0, 306, 396};
  PageRect clip{0, 0, 306, 396};
  const int ok = run.driver->ReplayPage(&run.state, &clip);
  painter.end();
  run.state.previewDC = nullptr;
  return ok == 1 ? window : QImage();
}

PreviewedReport PreviewMixedReport(bool defer, size_t storeLimit) {
  DeferralSwitch deferral(defer);
  PreviewedReport out;
  PdfRun run(true);
  run.state.previewStoreLimit = storeLimit;
  run.state.fontFaces.push_back("Helvetica");
  run.state.fontFaces.push_back(run.state.lineDrawFace);
  for (int page = 0; page < 3; ++page) {
    run.state.leftMargin = page * 30;
    EXPECT_EQ(run.driver->BeginPage(&run.state, 360, 1), 1);
    for (int i = 0; i < 30; ++i) {
      if (i == 20 && page == 2) run.state.fontFaces[3] = "Times New Roman";
      const LineBuilder b = MixedLine(page * 30 + i);
      const DWORD h = run.driver->MeasureLine(&run.state, b.data(), b.size(), 1);
      run.driver->AdvanceBeforeLine(&run.state, LOWORD(h), 1);
      run.driver->OutputLine(&run.state, b.data(), b.size());
      run.driver->AdvanceAfterLine(&run.state, HIWORD(h), 1);
    }
    EXPECT_GT(run.driver->EndPage(&run.state, 1), 0);
    run.driver->PreviewPageFinished(&run.state);
    out.shown.push_back(ShownPreviewPage(run));
    EXPECT_EQ(run.driver->StorePage(&run.state, nullptr, 0), 1);
  }
  for (int page : {2, 0, 1}) {
    run.state.pageShown = page;
    out.kept.push_back(ShownPreviewPage(run));
  }
  const std::string pdf = TempPath(defer ? "current_later.pdf" : "current_now.pdf");
  EXPECT_GT(StartPrinterDoc(run.device, "Current", pdf.c_str()), 0);
  run.state.pageShown = 1;
  EXPECT_EQ(run.driver->ReplayPage(&run.state, nullptr), 1);
  EXPECT_GT(EndPrinterDoc(run.device), 0);
  out.current = RunCommand("pdftotext -layout '" + pdf + "' - 2>/dev/null");
  return out;
}

TEST(DeferredLines, APreviewLaysOutThePageItShowsAlikeInMemoryOrSpilled) {
  const PreviewedReport want = PreviewMixedReport(false, size_t(64) << 20);
  ASSERT_EQ(want.shown.size(), 3u);
  EXPECT_NE(want.current.find("Item 59"), std::string::npos) << want.current;
  for (size_t limit : {size_t(64) << 20, size_t(0)}) {
    SCOPED_TRACE(limit);
    const PreviewedReport got = PreviewMixedReport(true, limit);
    ASSERT_EQ(got.shown.size(), 3u);
    ASSERT_EQ(got.kept.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
      EXPECT_FALSE(got.shown[i].isNull()) << i;
      EXPECT_TRUE(got.shown[i] == want.shown[i]) << "page " << i + 1 << " as shown";
      EXPECT_TRUE(got.kept[i] == want.kept[i]) << "kept page " << i;
    }
    EXPECT_EQ(got.current, want.current);
  }
}

// A kept page's unlaid-out lines go through its saved bytes whole; bytes
// whose lines or state lie outside them are refused.
TEST(DeferredLines, ASavedPageKeepsItsLinesAndRefusesBadOnes) {
  PdfRun run(true);
  const LineBuilder b = MixedLine(3);
  const auto state = LayoutStateOf(run.state, nullptr, false);
  PageRecord page;
  page.Line(QPen(Qt::black, 7), QPointF(0, 900), QPointF(4000, 900));
  page.DeferredLine(b.data(), b.size(), 1234.5, state, true);
  page.DeferredLine(b.data(), b.size(), 1500.25, state, true);
  const QByteArray bytes = page.Save();
  PageRecord loaded;
  ASSERT_TRUE(loaded.Load(bytes));
  EXPECT_TRUE(loaded.HasDeferredLines());
  EXPECT_EQ(loaded.Save(), bytes);
  DriverFontCache fonts;
  page.ResolveLines(&fonts);
  loaded.ResolveLines(&fonts);
  EXPECT_FALSE(loaded.HasDeferredLines());
  EXPECT_EQ(loaded.StepCount(), page.StepCount());
  EXPECT_GT(loaded.StepCount(), 3u);
  EXPECT_EQ(loaded.Save(), page.Save()) << "laid out alike";

  for (qsizetype n = 0; n < bytes.size(); ++n) {
    PageRecord cut;
    EXPECT_FALSE(cut.Load(bytes.left(n))) << n;
  }
  // The first line's offset and count lie just before its baseline.
  QByteArray y;
  QDataStream(&y, QIODevice::WriteOnly) << 1234.5;
  const qsizetype at = bytes.indexOf(y);
  ASSERT_GT(at, 8);
  auto patched = [&](qsizetype where, qint32 value) {
    QByteArray v;
    QDataStream(&v, QIODevice::WriteOnly) << value;
    QByteArray bad = bytes;
    bad.replace(where, 4, v);
    return bad;
  };
  for (const QByteArray& bad : {patched(at - 4, 0x7FFFFFF0), patched(at - 8, 0x7FFFFFF0), patched(at - 8, -1),
                                patched(at - 4, -5), patched(at + 8, 1)}) {
    PageRecord refused;
    EXPECT_FALSE(refused.Load(bad));
    EXPECT_FALSE(refused.HasDeferredLines());
  }
}

}  // namespace

namespace {

TEST(PrinterFonts, InstalledFamiliesAndTheOfficeFaces) {
  std::vector<PrinterFontFamily> fonts = GetPrinterFontFamilies(kPdfPrinterName);
  bool courierNew = false, liberation = false;
  for (const PrinterFontFamily& f : fonts) {
    courierNew |= f.face == "Courier New" && f.fixedPitch;
    liberation |= f.face == "Liberation Sans";
  }
  EXPECT_TRUE(courierNew);
  EXPECT_TRUE(liberation);
  EXPECT_GT(fonts.size(), 3u);
}

}  // namespace
