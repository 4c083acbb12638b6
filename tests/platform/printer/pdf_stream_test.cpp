// The PDF file writer taking pages as they end: the file is complete only
// when finished, a failed write leaves nothing behind, and the pages already
// written read back as the pages they were.
#include "tests/platform/printer/printer_fixture.h"

#include "platform/printer/line_layout.h"
#include "platform/printer/page_record.h"
#include "platform/printer/pdf_file_writer.h"

#include <QBrush>
#include <QFont>
#include <QPen>

#include <csignal>
#include <filesystem>
#include <memory>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr double kLetterW = 6120, kLetterH = 7920;

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A page of text lines in two faces, a dotted rule and a grey box.
void FillPage(PageRecord& page, int number, int lines) {
  static QFont sans = [] {
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(100);
    return f;
  }();
  static QFont bold = [] {
    QFont f(QStringLiteral("Liberation Serif"));
    f.setPixelSize(120);
    f.setBold(true);
    return f;
  }();
  page.Text(&bold, bold, QColor(0x80, 0x10, 0x33), QPointF(360, 500),
            QString::fromLatin1("Page %1 (caf\xE9) back\\slash").arg(number));
  for (int i = 0; i < lines; ++i)
    page.Text(&sans, sans, Qt::black, QPointF(360 + (i % 3) * 5.25, 700 + i * 120),
              QString::fromLatin1("line %1 of page %2 \xA3%3.50").arg(i).arg(number).arg(i * 7));
  page.Line(QPen(QBrush(Qt::blue), 3, Qt::DotLine, Qt::RoundCap), QPointF(360, 650), QPointF(5000, 650));
  page.Fill(QRectF(360, 7000, 2000, 300), QBrush(QColor(0xE0, 0xE0, 0xE0)));
}

TEST(PdfStream, PagesGoToTheFileAsTheyEndAndTheFileAppearsWhenFinished) {
  TestApplication();
  const std::string dir = TempPath("stream");
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string pdf = dir + "/out.pdf";
  PdfFileWriter w;
  ASSERT_TRUE(w.Open(pdf, "Streamed", kLetterW, kLetterH));
  uintmax_t before = 0;
  for (int n = 1; n <= 300; ++n) {
    PageRecord page;
    FillPage(page, n, 50);
    ASSERT_TRUE(w.AddPage(page));
    if (n == 250) {
      // Half the pages are in the temporary file already; the target is untouched.
      EXPECT_FALSE(FileExists(pdf));
      std::error_code ec;
      for (const auto& e : std::filesystem::directory_iterator(dir, ec)) before += e.file_size();
    }
  }
  EXPECT_GT(before, 64u * 1024u) << "pages are written as they end, not kept";
  ASSERT_TRUE(w.Finish());
  EXPECT_EQ(w.PageCount(), 300u);
  std::string info = RunCommand("pdfinfo '" + pdf + "' 2>&1");
  const size_t pages = info.find("Pages:");
  ASSERT_NE(pages, std::string::npos) << info;
  EXPECT_EQ(std::stoi(info.substr(pages + 6)), 300) << info;
  EXPECT_EQ(info.find("rror"), std::string::npos) << info;
  std::string text = RunCommand("pdftotext -layout -f 300 -l 300 '" + pdf + "' - 2>/dev/null");
  EXPECT_NE(text.find("Page 300 (caf\xC3\xA9) back\\slash"), std::string::npos) << text;
  EXPECT_NE(text.find("line 49 of page 300 \xC2\xA3" "343.50"), std::string::npos) << text;
  size_t files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) files += e.path() != pdf;
  EXPECT_EQ(files, 0u) << "no temporary file left";
}

// A child process whose files may not grow past a limit, as on a full disk:
// the writer fails, and neither the file nor its temporary one remains.
void FailingWriteLeavesNoFile(bool inBackground) {
  TestApplication();
  const std::string dir = TempPath("full");
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string pdf = dir + "/out.pdf";
  std::ofstream(pdf) << "the old file";
  PageRecord warm;  // the fonts are made before the fork
  FillPage(warm, 0, 1);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{64 * 1024, 64 * 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    PdfFileWriter w;
    int failedAt = 0;
    if (!w.Open(pdf, "Full", kLetterW, kLetterH)) _exit(3);
    for (int n = 1; n <= 400 && failedAt == 0; ++n) {
      auto page = std::make_shared<PageRecord>();
      FillPage(*page, n, 60);
      if (!(inBackground ? w.AddPageInBackground(page) : w.AddPage(*page))) failedAt = n;
    }
    const bool finished = w.Finish();
    _exit(finished ? 0 : failedAt > 0 ? 1 : 2);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_NE(WEXITSTATUS(status), 0) << "a failed write is reported";
  EXPECT_NE(WEXITSTATUS(status), 3);
  EXPECT_EQ(Bytes(pdf), "the old file");
  size_t files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) files += e.path() != pdf;
  EXPECT_EQ(files, 0u) << "the temporary file is removed";
}

TEST(PdfStream, AWriteThatFailsPartWayLeavesNoFile) {
  FailingWriteLeavesNoFile(false);
  FailingWriteLeavesNoFile(true);
}

// Pages handed to the writer's own thread make the same file, in the same
// order, as pages written by the caller; reading back in between waits for
// the pages still on their way.
TEST(PdfStream, PagesWrittenInTheBackgroundMakeTheSameFile) {
  TestApplication();
  const std::string inLine = TempPath("inline.pdf"), behind = TempPath("behind.pdf");
  PdfFileWriter a, b;
  ASSERT_TRUE(a.Open(inLine, "Same", kLetterW, kLetterH));
  ASSERT_TRUE(b.Open(behind, "Same", kLetterW, kLetterH));
  for (int n = 1; n <= 120; ++n) {
    auto page = std::make_shared<PageRecord>();
    FillPage(*page, n, 20 + n % 7);
    ASSERT_TRUE(a.AddPage(*page));
    ASSERT_TRUE(b.AddPageInBackground(std::move(page)));
    if (n == 60) {
      int seen = 0;
      ASSERT_TRUE(b.ReadBackPages([&](const PageRecord&) { return ++seen > 0; }));
      EXPECT_EQ(seen, 60);
    }
  }
  ASSERT_TRUE(a.Finish());
  ASSERT_TRUE(b.Finish());
  const std::string x = Bytes(inLine), y = Bytes(behind);
  ASSERT_GT(x.size(), 10000u);
  EXPECT_TRUE(x == y) << "the background thread wrote a different file";
  // Abandoned with pages still queued: nothing is left behind.
  PdfFileWriter c;
  ASSERT_TRUE(c.Open(TempPath("dropped.pdf"), "Drop", kLetterW, kLetterH));
  for (int n = 1; n <= 10; ++n) {
    auto page = std::make_shared<PageRecord>();
    FillPage(*page, n, 40);
    ASSERT_TRUE(c.AddPageInBackground(std::move(page)));
  }
  c.Abandon();
  EXPECT_FALSE(FileExists(TempPath("dropped.pdf")));
}

// A deferred line judged writable whose text the standard fonts have no
// character for fails the file, even as its last page: nothing is left at
// the path rather than a file without the page.
TEST(PdfStream, ADeferredLineTheFontsCannotWriteFailsTheFile) {
  TestApplication();
  PageOutputState state;
  state.fontFaces = {"Arial"};
  state.printerResX = 720;
  state.screenPpiX = 72;
  const auto kept = LayoutStateOf(state, nullptr, false);
  LineBuilder good, odd;
  good.Esc(kEscFont, 0, 0, 100).Esc(kEscPosition, 10).Text("fine (text) \\ here");
  odd.Esc(kEscFont, 0, 0, 100).Esc(kEscPosition, 10).Text("odd\x81");
  for (bool last : {true, false}) {
    SCOPED_TRACE(last);
    const std::string path = TempPath("refused_deferred.pdf");
    PdfFileWriter w;
    ASSERT_TRUE(w.Open(path, "Odd", kLetterW, kLetterH));
    auto page = std::make_shared<PageRecord>();
    page->DeferredLine(good.data(), good.size(), 500, kept, true);
    ASSERT_TRUE(w.AddPageInBackground(page));
    page = std::make_shared<PageRecord>();
    page->DeferredLine(good.data(), good.size(), 500, kept, true);
    page->DeferredLine(odd.data(), odd.size(), 620, kept, true);
    ASSERT_TRUE(w.AddPageInBackground(page));
    if (!last) {
      page = std::make_shared<PageRecord>();
      page->DeferredLine(good.data(), good.size(), 500, kept, true);
      // Refused now or, had the writer not got to the page before, at the end.
      if (!w.AddPageInBackground(page)) {
        w.Abandon();
        EXPECT_FALSE(FileExists(path));
        continue;
      }
    }
    EXPECT_FALSE(w.Finish());
    EXPECT_FALSE(FileExists(path));
  }
}

// Pages read back from the file are the pages written: writing them again
// gives the same file, byte for byte.
TEST(PdfStream, WrittenPagesReadBackAsTheyWere) {
  TestApplication();
  const std::string first = TempPath("first.pdf"), second = TempPath("second.pdf");
  PdfFileWriter a;
  ASSERT_TRUE(a.Open(first, "Again", kLetterW, kLetterH));
  static QFont mono = [] {
    QFont f(QStringLiteral("Liberation Mono"));
    f.setPixelSize(90);
    return f;
  }();
  for (int n = 1; n <= 3; ++n) {
    PageRecord page;
    FillPage(page, n, 30);
    // Texts placed by their moves from the one before on their line read
    // back at the very hundredths they were written at, however the moves
    // add up in floating point.
    for (int i = 0; n == 2 && i < 300; ++i)
      page.Text(&mono, mono, Qt::black, QPointF(0.07 * (i % 7) * i + 0.004 * (i % 3), 9000 - 29.99 * (i / 7) + 0.005),
                QString::number(i));
    ASSERT_TRUE(a.AddPage(page));
  }
  PdfFileWriter b;
  ASSERT_TRUE(b.Open(second, "Again", kLetterW, kLetterH));
  int seen = 0;
  ASSERT_TRUE(a.ReadBackPages([&](const PageRecord& page) {
    ++seen;
    return b.AddPage(page);
  }));
  EXPECT_EQ(seen, 3);
  // The first writer goes on where it was.
  PageRecord last;
  FillPage(last, 4, 10);
  ASSERT_TRUE(a.AddPage(last));
  ASSERT_TRUE(b.AddPage(last));
  ASSERT_TRUE(a.Finish());
  ASSERT_TRUE(b.Finish());
  const std::string x = Bytes(first), y = Bytes(second);
  ASSERT_GT(x.size(), 1000u);
  EXPECT_TRUE(x == y) << "the pages read back differ from those written";
  // A visit that stops the reading is told apart from a finished one.
  PdfFileWriter c;
  ASSERT_TRUE(c.Open(TempPath("third.pdf"), "Stop", kLetterW, kLetterH));
  PageRecord page;
  FillPage(page, 1, 1);
  ASSERT_TRUE(c.AddPage(page));
  EXPECT_FALSE(c.ReadBackPages([](const PageRecord&) { return false; }));
  c.Abandon();
  EXPECT_FALSE(FileExists(TempPath("third.pdf")));
}

}  // namespace
