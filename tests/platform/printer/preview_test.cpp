// The preview's page store and replay, pictures, and the less common stream
// codes as the library draws them.
#include "tests/platform/printer/printer_fixture.h"

#include "platform/printer/escape_stream.h"
#include "platform/printer/page_record.h"

#include <QImage>
#include <QPainter>

#include <cstdlib>
#include <sstream>
#include <string>

namespace {

// Darkest column of a row band, to find where something was drawn.
int InkColumns(const QImage& img, int top, int bottom, int* first, int* last) {
  int count = 0;
  *first = -1;
  *last = -1;
  for (int x = 0; x < img.width(); ++x) {
    bool ink = false;
    for (int y = top; y < bottom && !ink; ++y) ink = qGray(img.pixel(x, y)) < 128;
    if (ink) {
      if (*first < 0) *first = x;
      *last = x;
      ++count;
    }
  }
  return count;
}

void OnePage(PdfRun& run, const std::string& text, int x) {
  ASSERT_EQ(run.driver->BeginPage(&run.state, 720, 1), 1);
  LineBuilder b;
  b.Esc(kEscFont, 1, 0, 200).Esc(kEscPosition, static_cast<WORD>(x)).Text(text);
  ASSERT_EQ(run.driver->AdvanceBeforeLine(&run.state, 200, 1), 1);
  ASSERT_EQ(run.driver->OutputLine(&run.state, b.data(), b.size()), 1);
  ASSERT_GT(run.driver->EndPage(&run.state, 1), 0);
}

TEST(Preview, PagesAreShownStoredAndReplayedOnTheWindowPainter) {
  PdfRun run(true);
  // A page before the start page: finished, never stored.
  OnePage(run, "SKIPPED", 0);
  run.driver->PreviewPageFinished(&run.state);
  EXPECT_EQ(run.state.pageShown, 0);
  // The first shown page is on screen before it is stored.
  OnePage(run, "FIRST", 0);
  run.driver->PreviewPageFinished(&run.state);
  EXPECT_EQ(run.state.pageShown, 0);
  EXPECT_EQ(run.state.pagesProduced, 1);
  QImage window(300, 400, QImage::Format_RGB32);
  window.fill(Qt::white);
  QPainter painter(&window);
  run.state.previewDC = &painter;
  run.state.wholePage = {20, 10, 20 + 255, 10 + 330};
  PageRect clip{0, 0, 300, 400};
  ASSERT_EQ(run.driver->ReplayPage(&run.state, &clip), 1);
  ASSERT_EQ(run.driver->StorePage(&run.state, nullptr, 0), 1);
  ASSERT_EQ(run.driver->StorePage(&run.state, nullptr, 0), 1);  // once only
  EXPECT_EQ(StoredPreviewPageCount(&run.state), 1);

  OnePage(run, "SECOND", 96);
  run.driver->PreviewPageFinished(&run.state);
  EXPECT_EQ(run.state.pageShown, 1);
  EXPECT_EQ(run.state.pagesProduced, 2);
  ASSERT_EQ(run.driver->StorePage(&run.state, nullptr, 0), 1);
  EXPECT_EQ(StoredPreviewPageCount(&run.state), 2);
  painter.end();

  // Going back shows the first page again, drawn inside the paper rectangle.
  window.fill(Qt::white);
  painter.begin(&window);
  run.state.pageShown = 0;
  ASSERT_EQ(run.driver->ReplayPage(&run.state, &clip), 1);
  painter.end();
  int first, last;
  // The text's line lies 0.9 to 1.3 inch down the 11-inch paper.
  int top = 10 + 330 * 600 / 7920, bottom = 10 + 330 * 960 / 7920;
  EXPECT_GT(InkColumns(window, top, bottom, &first, &last), 10);
  EXPECT_GE(first, 20);
  EXPECT_LT(first, 30);
  // At level 1 the paper is the zoom record's size at minus its scroll.
  window.fill(Qt::white);
  painter.begin(&window);
  run.state.pageShown = 1;
  run.state.zoomLevel = 1;
  run.state.zoom[0] = {1320, 1020, 100, 0};
  run.state.currentZoom = &run.state.zoom[0];
  ASSERT_EQ(run.driver->ReplayPage(&run.state, &clip), 1);
  painter.end();
  // "SECOND" starts an inch in: 120 pixels of a 1020-pixel-wide paper, less the scroll.
  top = 1320 * 600 / 7920;
  bottom = 1320 * 960 / 7920;
  EXPECT_GT(InkColumns(window, top, bottom, &first, &last), 10);
  EXPECT_NEAR(first, 1020 / 8.5 - 100, 3);
}

const BYTE kRedPixels[4 * 4 * 4] = {
#define R 0x00, 0x00, 0xFF, 0xFF
    R, R, R, R, R, R, R, R, R, R, R, R, R, R, R, R
#undef R
};

bool RedImage(void* handle, PageDriverImage* out) {
  if (handle != reinterpret_cast<void*>(0x42)) return false;
  out->width = 4;
  out->height = 4;
  out->stride = 16;
  out->pixels = kRedPixels;
  return true;
}

TEST(Preview, PicturesAreDrawnFromThePictureLibrary) {
  PdfRun run(true);
  PageDriverImageFuncs funcs;
  funcs.getImage = RedImage;
  run.driver->SetImageFuncs(funcs);
  ASSERT_EQ(run.driver->BeginPage(&run.state, 360, 1), 1);
  PictureRecord pic;
  pic.image = reinterpret_cast<void*>(0x42);
  pic.x = 96;        // one inch in
  pic.width = 96;    // one inch wide
  pic.height = 48;   // half an inch high
  pic.y = 1200;      // bottom two inches down (600 dpi)
  ASSERT_EQ(run.driver->DrawPicture(&run.state, &pic), 1);
  PictureRecord unknown = pic;
  unknown.image = reinterpret_cast<void*>(0x43);
  unknown.x = 400;
  EXPECT_EQ(run.driver->DrawPicture(&run.state, &unknown), 1);  // nothing to draw is no failure
  ASSERT_GT(run.driver->EndPage(&run.state, 1), 0);
  QImage page(85, 110, QImage::Format_RGB32);  // 10 pixels an inch
  page.fill(Qt::white);
  QPainter p(&page);
  ASSERT_TRUE(ReplayPreviewPage(&run.state, -1, &p, QRectF(0, 0, 85, 110)));
  p.end();
  QRgb inside = page.pixel(15, 17);
  EXPECT_GT(qRed(inside), 200);
  EXPECT_LT(qGreen(inside), 60);
  EXPECT_EQ(page.pixel(15, 12), qRgb(255, 255, 255));  // above the picture
  EXPECT_EQ(page.pixel(45, 17), qRgb(255, 255, 255));  // the unknown handle
}

TEST(Preview, CentredFieldRaisedTextAndCodePageBytes) {
  std::string pdf = TempPath("codes.pdf");
  PdfRun run;
  ASSERT_GT(StartPrinterDoc(run.device, "Codes", pdf.c_str()), 0);
  ASSERT_EQ(run.driver->BeginPage(&run.state, 360, 1), 1);
  LineBuilder b;
  b.Esc(kEscFont, 0, 0, 100);
  // A centred field: 6 characters in a 24-column box starting at column 12.
  b.Esc(kEscPosition, 96).Esc(kEscCentreField, 192).Text("Centre").Bare(kEscCentreField);
  // Windows-1252 bytes for the euro sign and an e acute.
  b.Esc(kEscPosition, 320).Text("\x80 caf\xE9");
  ASSERT_EQ(run.driver->AdvanceBeforeLine(&run.state, 120, 1), 1);
  ASSERT_EQ(run.driver->OutputLine(&run.state, b.data(), b.size()), 1);
  // Raised text sits higher than the line's baseline by the offset.
  LineBuilder raised;
  raised.Esc(kEscFont, 0, 0, 100).Esc(kEscVerticalOffset, 240).Esc(kEscPosition, 0).Text("UP");
  // The offset belongs to one item: the next sits on the baseline again.
  raised.Esc(kEscPosition, 320).Text("ZERO").Esc(kEscPosition, 480).Text("BASE");
  ASSERT_EQ(run.driver->AdvanceBeforeLine(&run.state, 600, 1), 1);
  ASSERT_EQ(run.driver->OutputLine(&run.state, raised.data(), raised.size()), 1);
  ASSERT_GT(run.driver->EndPage(&run.state, 1), 0);
  run.driver->CloseDevice(&run.state, 1);
  ASSERT_GT(EndPrinterDoc(run.device), 0);

  std::string text = RunCommand("pdftotext -layout -fixed 6 '" + pdf + "' - 2>/dev/null");
  std::istringstream in(text);
  std::string line;
  std::vector<std::string> lines;
  while (std::getline(in, line))
    if (line.find_first_not_of(" \f") != std::string::npos) lines.push_back(line);
  ASSERT_EQ(lines.size(), 3u) << text;
  EXPECT_EQ(lines[0].find("Centre"), 12u + 9u) << lines[0];
  EXPECT_NE(lines[0].find("\xE2\x82\xAC caf\xC3\xA9"), std::string::npos) << lines[0];
  // 600 decipoints down, 240 up: the raised text is 360 decipoints (three
  // lines of six to the inch) below the first line, not five.
  size_t upLine = text.find("UP");
  size_t centreLine = text.find("Centre");
  ASSERT_NE(upLine, std::string::npos);
  int newlines = 0;
  for (size_t i = centreLine; i < upLine; ++i) newlines += text[i] == '\n';
  EXPECT_GE(newlines, 3);
  EXPECT_LE(newlines, 4);
  size_t zero = text.find("ZERO"), base = text.find("BASE");
  ASSERT_NE(zero, std::string::npos);
  ASSERT_NE(base, std::string::npos);
  ASSERT_LT(zero, base);
  EXPECT_EQ(text.substr(zero, base - zero).find('\n'), std::string::npos);  // one line
  int below = 0;
  for (size_t i = upLine; i < zero; ++i) below += text[i] == '\n';
  EXPECT_GE(below, 2);
}

// A page of every kind of step, played at a size where each one shows.
QImage Played(const PageRecord& page) {
  QImage img(306, 396, QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  p.scale(306.0 / 6120, 396.0 / 7920);
  page.Play(&p);
  return img;
}

void EveryKindOfStep(PageRecord* page) {
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPixelSize(240);
  const QString line = QStringLiteral("Alder & Sons  1,234.50");
  page->Text(&font, font, Qt::black, QPointF(720, 1200), line, 0, 11);
  page->Text(&font, font, Qt::blue, QPointF(3000, 1200), line, 13, 9);
  page->Line(QPen(Qt::red, 20, Qt::DashLine), QPointF(720, 1400), QPointF(5400, 1400));
  page->Fill(QRectF(720, 1600, 2000, 600), QBrush(Qt::green, Qt::DiagCrossPattern));
  QImage red(4, 4, QImage::Format_ARGB32);
  red.fill(Qt::red);
  page->Image(QRectF(3000, 1600, 800, 800), red, QRectF(0, 0, 4, 4));
  if (QPainter* chart = page->BeginForeign()) {
    chart->fillRect(QRectF(720, 3000, 1500, 1500), Qt::magenta);
    page->EndForeign();
  }
  page->Text(&font, font, Qt::black, QPointF(720, 5000), QStringLiteral("after the picture"));
}

TEST(Preview, ASavedPageLoadsToTheSameDrawingAndBadBytesAreRefused) {
  PageRecord page;
  EveryKindOfStep(&page);
  const QByteArray bytes = page.Save();
  PageRecord loaded;
  ASSERT_TRUE(loaded.Load(bytes));
  EXPECT_EQ(loaded.StepCount(), page.StepCount());
  const QImage want = Played(page);
  EXPECT_TRUE(Played(loaded) == want) << "the loaded page draws alike";
  EXPECT_EQ(loaded.Save(), bytes) << "and saves to the same bytes";

  // Cut short anywhere, or with a step pointing past its list: refused,
  // the page left empty.
  for (qsizetype n : {qsizetype(0), qsizetype(3), qsizetype(40), bytes.size() / 2, bytes.size() - 1}) {
    PageRecord cut;
    EXPECT_FALSE(cut.Load(bytes.left(n))) << n;
    EXPECT_EQ(cut.StepCount(), 0u);
  }
  QByteArray bad = bytes;
  bad[bad.size() - 1] = 99;  // the last step's index
  EXPECT_FALSE(loaded.Load(bad));
  EXPECT_EQ(loaded.StepCount(), 0u);
  EXPECT_FALSE(loaded.Load(bytes + QByteArray("x"))) << "bytes after the page";
}

TEST(Preview, PagesPastTheBoundAreKeptOutOfMemoryAndReplayAlike) {
  PdfRun run(true);
  run.state.previewStoreLimit = 0;  // every page goes past the bound
  QImage window(300, 400, QImage::Format_RGB32);
  QPainter painter;
  run.state.wholePage = {20, 10, 20 + 255, 10 + 330};
  PageRect clip{0, 0, 300, 400};
  auto shown = [&] {
    window.fill(Qt::white);
    painter.begin(&window);
    run.state.previewDC = &painter;
    const int ok = run.driver->ReplayPage(&run.state, &clip);
    painter.end();
    return ok == 1 ? window : QImage();
  };
  std::vector<QImage> fresh;
  for (int i = 0; i < 3; ++i) {
    OnePage(run, "PAGE " + std::to_string(i + 1), 96 * i);
    run.driver->PreviewPageFinished(&run.state);
    EXPECT_EQ(run.state.pageShown, i);
    fresh.push_back(shown());
    ASSERT_EQ(run.driver->StorePage(&run.state, nullptr, 0), 1);
  }
  EXPECT_EQ(StoredPreviewPageCount(&run.state), 3);
  EXPECT_EQ(StoredPreviewBytes(&run.state), 0u) << "nothing kept in memory";
  // Back and forth: each kept page is the page shown when it was made.
  for (int i : {0, 2, 1, 1, 0}) {
    run.state.pageShown = i;
    const QImage again = shown();
    ASSERT_FALSE(again.isNull()) << i;
    EXPECT_TRUE(again == fresh[static_cast<size_t>(i)]) << i;
  }

  // Where no file can be made, a page past the bound is refused.
  PdfRun nowhere(true);
  nowhere.state.previewStoreLimit = 0;
  const char* old = std::getenv("TMPDIR");
  const std::string kept = old ? old : "";
  setenv("TMPDIR", "/nonexistent/vortelle", 1);
  OnePage(nowhere, "REFUSED", 0);
  nowhere.driver->PreviewPageFinished(&nowhere.state);
  EXPECT_EQ(nowhere.driver->StorePage(&nowhere.state, nullptr, 0), 0);
  if (old) setenv("TMPDIR", kept.c_str(), 1);
  else unsetenv("TMPDIR");
}

}  // namespace
