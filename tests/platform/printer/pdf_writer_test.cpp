// The PDF printer's own file writer: documents of text, lines and fills are
// written directly; a page with a step it does not write sends the whole
// document through the painter.
#include "tests/platform/printer/printer_fixture.h"

#include "platform/printer/escape_stream.h"
#include "platform/printer/page_record.h"
#include "platform/printer/pdf_file_writer.h"
#include "tests/support/folder_faults.h"

#include <QBrush>
#include <QFont>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Every in-use entry of the cross-reference table points at the start of
// its own object, and startxref at the table.
void ExpectExactXref(const std::string& pdf) {
  size_t start = pdf.rfind("startxref\n");
  ASSERT_NE(start, std::string::npos);
  size_t xref = std::stoul(pdf.substr(start + 10));
  ASSERT_LT(xref, pdf.size());
  ASSERT_EQ(pdf.compare(xref, 5, "xref\n"), 0);
  std::istringstream table(pdf.substr(xref + 5));
  size_t first = 0, count = 0;
  table >> first >> count;
  ASSERT_EQ(first, 0u);
  ASSERT_GT(count, 4u);
  std::string line;
  std::getline(table, line);
  for (size_t n = 0; n < count; ++n) {
    std::string offset, gen, kind;
    table >> offset >> gen >> kind;
    if (n == 0) {
      EXPECT_EQ(kind, "f");
      continue;
    }
    ASSERT_EQ(kind, "n") << n;
    ASSERT_EQ(offset.size(), 10u);
    std::string head = std::to_string(n) + " 0 obj";
    EXPECT_EQ(pdf.compare(std::stoul(offset), head.size(), head), 0) << "object " << n;
  }
}

void PutLine(PdfRun& run, const LineBuilder& line) {
  ASSERT_EQ(run.driver->AdvanceBeforeLine(&run.state, 120, 1), 1);
  ASSERT_EQ(run.driver->OutputLine(&run.state, line.data(), line.size()), 1);
  ASSERT_EQ(run.driver->AdvanceAfterLine(&run.state, 0, 1), 1);
}

void PutBox(PdfRun& run) {
  LineBoxRecord box;
  box.left = 0;
  box.right = 3000;
  box.top = 5400;
  box.bottom = 6000;
  box.penWidth = 24;
  box.penStyle = 1;  // dashed
  box.attributes = 0x0F;
  box.lineColourShown = 0x000000FF;
  box.fillColourShown = 0x00E0E0E0;
  ASSERT_EQ(run.driver->DrawBox(&run.state, &box), 1);
}

std::string Text(const std::string& pdf) {
  return RunCommand("pdftotext -layout '" + pdf + "' - 2>/dev/null");
}

TEST(PdfWriter, CodePageTextStandardFontsAndBoxesInAValidFile) {
  std::string pdf = TempPath("direct.pdf");
  {
    PdfRun run;
    ASSERT_GT(StartPrinterDoc(run.device, "Caf\xE9 (list) \x80", pdf.c_str()), 0);
    for (int page = 1; page <= 2; ++page) {
      ASSERT_EQ(run.driver->BeginPage(&run.state, 360, 1), 1);
      LineBuilder a;
      // e acute, euro, curly quotes, a dash; and the string delimiters.
      a.Esc(kEscFont, 1, 0, 100).Esc(kEscColour, 0, 0, 0).Esc(kEscPosition, 0);
      a.Text("Caf\xE9 \x80" "5 \x93quoted\x94 \x96 a(b)c\\d page " + std::to_string(page));
      PutLine(run, a);
      LineBuilder b;
      b.Esc(kEscFont, 2, 1, 120).Esc(kEscPosition, 0).Text("TimesBold");
      b.Esc(kEscFont, 0, 2, 100).Esc(kEscPosition, 200).Text("CourierItalic");
      b.Esc(kEscFont, 1, 3, 100).Esc(kEscPosition, 400).Text("SansBoldItalic");
      PutLine(run, b);
      PutBox(run);
      ASSERT_GT(run.driver->EndPage(&run.state, 1), 0);
    }
    EXPECT_FALSE(FileExists(pdf)) << "written when the document ends";
    run.driver->CloseDevice(&run.state, 1);
    ASSERT_GT(EndPrinterDoc(run.device), 0);
    EXPECT_EQ(PrinterDevicePageCount(run.device), 2);
  }
  std::string bytes = ReadAll(pdf);
  ASSERT_EQ(bytes.compare(0, 5, "%PDF-"), 0);
  EXPECT_NE(bytes.find("/WinAnsiEncoding"), std::string::npos) << "not our own writer";
  ExpectExactXref(bytes);

  std::string info = RunCommand("pdfinfo '" + pdf + "' 2>&1");
  size_t pages = info.find("Pages:");
  ASSERT_NE(pages, std::string::npos) << info;
  EXPECT_EQ(std::stoi(info.substr(pages + 6)), 2) << info;
  EXPECT_NE(info.find("612 x 792 pts"), std::string::npos) << info;
  EXPECT_NE(info.find("Caf\xC3\xA9 (list) \xE2\x82\xAC"), std::string::npos) << info;
  EXPECT_EQ(info.find("Syntax Error"), std::string::npos) << info;

  std::string text = Text(pdf);
  EXPECT_NE(text.find("Caf\xC3\xA9 \xE2\x82\xAC" "5 \xE2\x80\x9Cquoted\xE2\x80\x9D \xE2\x80\x93 a(b)c\\d page 1"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("page 2"), std::string::npos);
  std::string fonts = RunCommand("pdffonts '" + pdf + "' 2>&1");
  for (const char* f : {"Helvetica ", "Times-Bold ", "Courier-Oblique ", "Helvetica-BoldOblique "})
    EXPECT_NE(fonts.find(f), std::string::npos) << f << "\n" << fonts;

  // Text stands where the painter put it: y runs downward on the record and
  // upward in the file. The first line's baseline is about 0.5 + 1/6 inch
  // down; the box's grey fills from 9 to 10 inches down.
  std::string bbox = RunCommand("pdftotext -bbox -f 1 -l 1 '" + pdf + "' - 2>/dev/null");
  size_t word = bbox.find(">page<");
  ASSERT_NE(word, std::string::npos) << bbox;
  size_t yMax = bbox.rfind("yMax=\"", word);
  ASSERT_NE(yMax, std::string::npos);
  double baseline = std::stod(bbox.substr(yMax + 6));
  EXPECT_NEAR(baseline, 48.0, 4.0);  // points from the top, a little below the text's baseline
  std::string ppm = TempPath("direct");
  RunCommand("pdftoppm -r 20 -f 1 -l 1 -png '" + pdf + "' '" + ppm + "'");
  QImage img(QString::fromStdString(ppm + "-1.png"));
  ASSERT_FALSE(img.isNull());
  QColor grey = img.pixelColor(img.width() * 2 / 17, img.height() * 95 / 110);  // 1 x 9.5 inches
  EXPECT_NEAR(grey.red(), 0xE0, 12);
  EXPECT_NEAR(grey.green(), 0xE0, 12);
  QColor above = img.pixelColor(img.width() * 2 / 17, img.height() * 85 / 110);
  EXPECT_GT(above.red(), 0xF0);
}

const BYTE kBluePixels[4 * 4 * 4] = {
#define B 0xFF, 0x00, 0x00, 0xFF
    B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B
#undef B
};

bool BlueImage(void*, PageDriverImage* out) {
  out->width = 4;
  out->height = 4;
  out->stride = 16;
  out->pixels = kBluePixels;
  return true;
}

TEST(PdfWriter, APictureOnALaterPageSendsEveryPageThroughThePainter) {
  std::string pdf = TempPath("picture.pdf");
  {
    PdfRun run;
    PageDriverImageFuncs funcs;
    funcs.getImage = BlueImage;
    run.driver->SetImageFuncs(funcs);
    ASSERT_GT(StartPrinterDoc(run.device, "Picture", pdf.c_str()), 0);
    for (int page = 1; page <= 3; ++page) {
      ASSERT_EQ(run.driver->BeginPage(&run.state, 360, 1), 1);
      LineBuilder a;
      a.Esc(kEscFont, 1, 0, 100).Esc(kEscPosition, 0).Text("Before caf\xE9 " + std::to_string(page));
      PutLine(run, a);
      if (page == 2) {
        PictureRecord pic;
        pic.image = reinterpret_cast<void*>(0x42);
        pic.x = 96;
        pic.width = 96;
        pic.height = 96;
        pic.y = 2400;
        ASSERT_EQ(run.driver->DrawPicture(&run.state, &pic), 1);
      }
      ASSERT_GT(run.driver->EndPage(&run.state, 1), 0);
    }
    run.driver->CloseDevice(&run.state, 1);
    ASSERT_GT(EndPrinterDoc(run.device), 0);
  }
  EXPECT_EQ(ReadAll(pdf).find("/WinAnsiEncoding"), std::string::npos) << "the painter writes this file";
  std::string text = Text(pdf);
  for (const char* t : {"Before caf\xC3\xA9 1", "Before caf\xC3\xA9 2", "Before caf\xC3\xA9 3"})
    EXPECT_NE(text.find(t), std::string::npos) << t << "\n" << text;
  std::string images = RunCommand("pdfimages -list '" + pdf + "' 2>/dev/null");
  EXPECT_NE(images.find("\n   2 "), std::string::npos) << images;  // the picture is on page 2
  std::string ppm = TempPath("picture");
  RunCommand("pdftoppm -r 20 -f 2 -l 2 -png '" + pdf + "' '" + ppm + "'");
  QImage img(QString::fromStdString(ppm + "-2.png"));
  ASSERT_FALSE(img.isNull());
  QColor c = img.pixelColor(img.width() * 3 / 17, img.height() * 35 / 110);  // 1.5 x 3.5 inches
  EXPECT_GT(c.blue(), 200);
  EXPECT_LT(c.red(), 60);
}

TEST(PdfWriter, AbortAndAnUnwritableFolderLeaveNoFile) {
  std::string dir = TempPath("gone");
  std::filesystem::create_directories(dir);
  std::string pdf = dir + "/out.pdf";
  PdfRun run;
  LineBuilder a;
  a.Esc(kEscFont, 1, 0, 100).Esc(kEscPosition, 0).Text("text");

  ASSERT_GT(StartPrinterDoc(run.device, "Aborted", pdf.c_str()), 0);
  ASSERT_EQ(run.driver->BeginPage(&run.state, 360, 1), 1);
  PutLine(run, a);
  ASSERT_GT(run.driver->EndPage(&run.state, 1), 0);
  AbortPrinterDoc(run.device);
  EXPECT_FALSE(FileExists(pdf));

  ASSERT_GT(StartPrinterDoc(run.device, "Lost folder", pdf.c_str()), 0);
  ASSERT_EQ(run.driver->BeginPage(&run.state, 360, 1), 1);
  PutLine(run, a);
  ASSERT_GT(run.driver->EndPage(&run.state, 1), 0);
  std::filesystem::remove_all(dir);
  EXPECT_LT(EndPrinterDoc(run.device), 0);
  EXPECT_EQ(PrinterDeviceLastError(run.device), kPrintErrorWrite);
  EXPECT_FALSE(FileExists(pdf));

  // The device takes the next document from the start: a job that ends
  // without pages writes nothing.
  std::filesystem::create_directories(dir);
  ASSERT_GT(StartPrinterDoc(run.device, "Empty", pdf.c_str()), 0);
  EXPECT_GT(EndPrinterDoc(run.device), 0);
  EXPECT_FALSE(FileExists(pdf));
  EXPECT_TRUE(std::filesystem::is_empty(dir)) << "no temporary file left behind";

  // On a full disk the painter's document (a picture on its first page)
  // ends at the page whose write failed, not after every page is painted,
  // and the earlier file stays.
  FaultyFolder full(FaultyFolder::kFull, 64 * 1024);
  if (!full.Mounted()) return;
  const std::string onFull = full.Path() + "/full.pdf";
  std::ofstream(onFull) << "earlier";
  ASSERT_TRUE(full.Arm());
  PageDriverImageFuncs funcs;
  funcs.getImage = BlueImage;
  run.driver->SetImageFuncs(funcs);
  ASSERT_GT(StartPrinterDoc(run.device, "Full", onFull.c_str()), 0);
  int painted = 0;
  for (; painted < 50; ++painted) {
    ASSERT_EQ(run.driver->BeginPage(&run.state, 360, 1), 1);
    PutLine(run, a);
    PictureRecord pic;
    pic.image = reinterpret_cast<void*>(0x42);
    pic.width = pic.height = 96;
    ASSERT_EQ(run.driver->DrawPicture(&run.state, &pic), 1);
    if (run.driver->EndPage(&run.state, 1) <= 0) break;
  }
  EXPECT_EQ(painted, 0) << "pages painted after the disk was full";
  EXPECT_EQ(PrinterDeviceLastError(run.device), kPrintErrorWrite);
  EXPECT_LT(EndPrinterDoc(run.device), 0);
  EXPECT_EQ(ReadAll(onFull), "earlier");
  for (const auto& e : std::filesystem::directory_iterator(full.Path()))
    EXPECT_TRUE(e.path() == onFull || e.path().filename() == ".filler") << e.path();
}

TEST(PdfWriter, StepsWithoutAStandardFormAreRefused) {
  QFont sans(QStringLiteral("Liberation Sans"));
  sans.setPixelSize(100);
  auto check = [](auto draw) {
    PageRecord page;
    draw(page);
    return PdfFileCanWrite(page);
  };
  EXPECT_TRUE(check([&](PageRecord& p) {
    p.Text(&sans, sans, Qt::black, QPointF(0, 100), QString::fromLatin1("plain \xE9"));
    p.Fill(QRectF(0, 0, 10, 10), QBrush(Qt::red));
    p.Line(QPen(Qt::blue, 2, Qt::DotLine), QPointF(0, 0), QPointF(10, 0));
  }));
  EXPECT_FALSE(check([&](PageRecord& p) {
    p.Text(&sans, sans, Qt::black, QPointF(0, 100), QString(QChar(0x0100)));  // no code page byte
  }));
  EXPECT_FALSE(check([&](PageRecord& p) {
    p.Text(&sans, sans, Qt::black, QPointF(0, 100), QString(QChar(0x2500)));  // line-draw glyph
  }));
  QFont under = sans;
  under.setUnderline(true);
  EXPECT_FALSE(check([&](PageRecord& p) { p.Text(&under, under, Qt::black, QPointF(0, 100), "u"); }));
  QFont other(QStringLiteral("DejaVu Sans Mono"));
  EXPECT_FALSE(check([&](PageRecord& p) { p.Text(&other, other, Qt::black, QPointF(0, 100), "x"); }));
  EXPECT_FALSE(check([&](PageRecord& p) { p.Fill(QRectF(0, 0, 10, 10), QBrush(Qt::black, Qt::CrossPattern)); }));
  EXPECT_FALSE(check([&](PageRecord& p) { p.Fill(QRectF(0, 0, 10, 10), QBrush(QColor(0, 0, 0, 128))); }));
  EXPECT_FALSE(check([&](PageRecord& p) { p.Image(QRectF(0, 0, 10, 10), QImage(2, 2, QImage::Format_ARGB32), QRectF()); }));
}

}  // namespace
