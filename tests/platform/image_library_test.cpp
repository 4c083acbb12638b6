#include "platform/image/image_library.h"
#include "platform/image/metafile_picture.h"
#include "tests/files/fuzz/mutator.h"
#include "tests/support/metafile_bytes.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QGuiApplication>
#include <QImage>

#include <climits>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <random>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

class ImageLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vt_images_XXXXXX";
    dir_ = ::mkdtemp(tmpl);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string dir_;
};

TEST_F(ImageLibraryTest, PictureFilesBecomeImagesThePrinterCanDraw) {
  QImage source(3, 2, QImage::Format_RGB32);
  source.fill(QColor(10, 200, 30));
  source.setPixelColor(2, 1, QColor(250, 0, 0));
  ASSERT_TRUE(source.save(QString::fromStdString(dir_ + "/Logo.png")));

  ImageLibrary library;
  int error = 1;
  // Stored names may come with backslashes and another case.
  void* image = library.ImgDecompressFile((dir_ + "\\logo.PNG").c_str(), &error);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(error, 0);
  int width = 0, height = 0, bits = 0;
  ASSERT_TRUE(library.ImgBitmapInfo(image, &width, &height, &bits));
  EXPECT_EQ(width, 3);
  EXPECT_EQ(height, 2);
  EXPECT_GE(bits, 24);
  EXPECT_EQ(library.ImgSetCropRect(image, 0, 0, 2, 1), 0);

  // The printer library's entry gives the pixels, 32-bit ARGB.
  const PageDriverImageFuncs funcs = ImageLibrary::PrinterEntries();
  ASSERT_NE(funcs.getImage, nullptr);
  PageDriverImage pixels;
  ASSERT_TRUE(funcs.getImage(image, &pixels));
  EXPECT_EQ(pixels.width, 3);
  EXPECT_EQ(pixels.height, 2);
  ASSERT_GE(pixels.stride, 12);
  const auto pixel = [&](int x, int y) {
    const unsigned char* p = pixels.pixels + y * pixels.stride + x * 4;
    return static_cast<unsigned>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<unsigned>(p[3]) << 24);
  };
  EXPECT_EQ(pixel(0, 0), 0xFF0AC81Eu);
  EXPECT_EQ(pixel(2, 1), 0xFFFA0000u);
  EXPECT_FALSE(funcs.getImage(nullptr, &pixels));

  library.ImgDeleteBitmap(image);
  EXPECT_EQ(library.Count(), 0);
  EXPECT_FALSE(library.ImgBitmapInfo(image, &width, &height, &bits));
}

TEST_F(ImageLibraryTest, MissingAndUnreadableFilesGiveTheirCodes) {
  ImageLibrary library;
  int error = 0;
  EXPECT_EQ(library.ImgDecompressFile((dir_ + "/none.png").c_str(), &error), nullptr);
  EXPECT_EQ(error, kImgErrorCannotOpen);
  EXPECT_EQ(library.ImgDecompressFile(nullptr, &error), nullptr);
  EXPECT_EQ(error, kImgErrorCannotOpen);
  std::ofstream(dir_ + "/text.png") << "not a picture at all";
  EXPECT_EQ(library.ImgDecompressFile((dir_ + "/text.png").c_str(), &error), nullptr);
  EXPECT_EQ(error, kImgErrorFormat);
  // A truncated picture is refused, not read past its end.
  QImage big(64, 64, QImage::Format_RGB32);
  big.fill(Qt::blue);
  ASSERT_TRUE(big.save(QString::fromStdString(dir_ + "/big.png")));
  fs::resize_file(dir_ + "/big.png", 40);
  EXPECT_EQ(library.ImgDecompressFile((dir_ + "/big.png").c_str(), &error), nullptr);
  EXPECT_EQ(error, kImgErrorFormat);
  EXPECT_EQ(library.Count(), 0);
  // A handle of no picture of this library is left alone.
  int dummy = 0;
  EXPECT_LT(library.ImgSetCropRect(&dummy, 0, 0, 1, 1), 0);
  library.ImgDeleteBitmap(&dummy);
}

}  // namespace

// Metafile pictures drawn by our own reader: the picture's size from its
// placeable box or its frame, the records drawn where they say, and damaged
// or hostile records ending the drawing without reading past the bytes.
namespace {

int CountColour(const QImage& image, QColor want, QRect area) {
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (image.pixelColor(x, y) == want) ++n;
  return n;
}

TEST_F(ImageLibraryTest, MetafilePicturesAreDrawnByTheirRecords) {
  // 1,440 units to the inch, a 2,880 by 1,440 box: 5,080 by 2,540 hundredths of a millimetre.
  const std::vector<uint8_t> wmf = metafile_bytes::PlaceableWmf(1440, 2880, 1440, 0xFF0000, 1440, 0, 2880, 1440);
  int w = 0, h = 0;
  ASSERT_TRUE(MetafilePictureSize(wmf.data(), wmf.size(), &w, &h));
  EXPECT_EQ(w, 5080);
  EXPECT_EQ(h, 2540);
  QImage drawn;
  ASSERT_TRUE(DrawMetafilePicture(wmf.data(), wmf.size(), 100, &drawn));
  ASSERT_EQ(drawn.width(), 200);
  ASSERT_EQ(drawn.height(), 100);
  // The rectangle is the right half, in blue (0x00BBGGRR).
  EXPECT_GT(CountColour(drawn, QColor(0, 0, 255), QRect(105, 5, 90, 90)), 8000);
  EXPECT_EQ(CountColour(drawn, QColor(0, 0, 255), QRect(0, 0, 95, 100)), 0);

  const std::vector<uint8_t> emf = metafile_bytes::Emf(5080, 2540, 0x0000FF, 0, 0, 100, 100);
  ASSERT_TRUE(MetafilePictureSize(emf.data(), emf.size(), &w, &h));
  EXPECT_EQ(w, 5080);
  ASSERT_TRUE(DrawMetafilePicture(emf.data(), emf.size(), 100, &drawn));
  ASSERT_EQ(drawn.width(), 200);
  EXPECT_GT(CountColour(drawn, QColor(255, 0, 0), QRect(5, 5, 90, 90)), 8000);
  EXPECT_EQ(CountColour(drawn, QColor(255, 0, 0), QRect(105, 0, 95, 100)), 0);

  // Through the picture library, as a report's picture file.
  ASSERT_TRUE(metafile_bytes::WriteFile(dir_ + "/Chart.WMF", wmf));
  ImageLibrary library;
  int error = 1;
  void* image = library.ImgDecompressFile((dir_ + "/chart.wmf").c_str(), &error);
  ASSERT_NE(image, nullptr) << error;
  int bits = 0;
  ASSERT_TRUE(library.ImgBitmapInfo(image, &w, &h, &bits));
  EXPECT_EQ(w, 600);  // two inches at the printer's fineness
  EXPECT_EQ(h, 300);
  PageDriverImage pixels;
  ASSERT_TRUE(ImageLibrary::PrinterEntries().getImage(image, &pixels));
  const uint32_t right = *reinterpret_cast<const uint32_t*>(pixels.pixels + 150 * pixels.stride + 450 * 4);
  EXPECT_EQ(right & 0xFFFFFF, 0x0000FFu);  // ARGB: blue
  // Its own size is the one the file gives, in hundredths of an inch; a
  // frame larger than any paper is brought down to one, its shape kept.
  ASSERT_TRUE(library.ImgNaturalSize(image, &w, &h));
  EXPECT_EQ(w, 200);
  EXPECT_EQ(h, 100);
  ASSERT_TRUE(metafile_bytes::WriteFile(dir_ + "/vast.emf",
                                        metafile_bytes::Emf(2000000000, 1000000000, 0x0000FF, 0, 0, 100, 100)));
  void* vast = library.ImgDecompressFile((dir_ + "/vast.emf").c_str(), &error);
  ASSERT_NE(vast, nullptr) << error;
  ASSERT_TRUE(library.ImgNaturalSize(vast, &w, &h));
  EXPECT_EQ(w, 10000);
  EXPECT_EQ(h, 5000);
}

TEST_F(ImageLibraryTest, HostileMetafileBytesStayWithinTheFile) {
  std::vector<uint8_t> wmf = metafile_bytes::PlaceableWmf(1440, 2880, 1440, 0xFF0000, 0, 0, 2880, 1440);
  QImage drawn;
  // Not a metafile at all, and headers cut short: no picture.
  const std::vector<uint8_t> junk(64, 0x5A);
  EXPECT_FALSE(DrawMetafilePicture(junk.data(), junk.size(), 100, &drawn));
  EXPECT_FALSE(DrawMetafilePicture(wmf.data(), 30, 100, &drawn));
  const std::vector<uint8_t> emf = metafile_bytes::Emf(5080, 2540, 0x0000FF, 0, 0, 100, 100);
  EXPECT_FALSE(DrawMetafilePicture(emf.data(), 60, 100, &drawn));
  // Every cut of the record list draws what is whole and stops.
  for (size_t cut = 40; cut < wmf.size(); ++cut) EXPECT_TRUE(DrawMetafilePicture(wmf.data(), cut, 50, &drawn)) << cut;
  for (size_t cut = 88; cut < emf.size(); ++cut) EXPECT_TRUE(DrawMetafilePicture(emf.data(), cut, 50, &drawn)) << cut;
  // A record claiming more words than there are, a huge polygon count and
  // an object slot far past the table.
  std::vector<uint8_t> bad = wmf;
  const size_t first = 22 + 18;
  bad[first] = 0xFF, bad[first + 1] = 0xFF, bad[first + 2] = 0xFF, bad[first + 3] = 0x7F;
  EXPECT_TRUE(DrawMetafilePicture(bad.data(), bad.size(), 50, &drawn));
  std::vector<uint8_t> poly(wmf.begin(), wmf.begin() + first);
  for (int v : {4, 0, 0x24, 0x03, 0xFF, 0xFF, 4, 0, 0x2D, 0x01, 0xFF, 0xFF}) poly.push_back(static_cast<uint8_t>(v));
  EXPECT_TRUE(DrawMetafilePicture(poly.data(), poly.size(), 50, &drawn));
  std::vector<uint8_t> slot = emf;
  slot[88 + 8] = 0xFF, slot[88 + 9] = 0xFF, slot[88 + 10] = 0xFF, slot[88 + 11] = 0x7F;  // brush slot 2^31 - 1
  EXPECT_TRUE(DrawMetafilePicture(slot.data(), slot.size(), 50, &drawn));
  // A damaged picture file is refused as no picture, not half read.
  ASSERT_TRUE(metafile_bytes::WriteFile(dir_ + "/cut.wmf", std::vector<uint8_t>(wmf.begin(), wmf.begin() + 30)));
  ImageLibrary library;
  int error = 0;
  EXPECT_EQ(library.ImgDecompressFile((dir_ + "/cut.wmf").c_str(), &error), nullptr);
  EXPECT_EQ(error, kImgErrorFormat);
  // A box of zero units per inch cannot be sized: a damaged picture too. A
  // huge box is bounded.
  std::vector<uint8_t> zero = metafile_bytes::PlaceableWmf(0, 2880, 1440, 0xFF0000, 0, 0, 10, 10);
  int w = 0, h = 0;
  EXPECT_FALSE(MetafilePictureSize(zero.data(), zero.size(), &w, &h));
  ASSERT_TRUE(metafile_bytes::WriteFile(dir_ + "/zero.wmf", zero));
  error = 0;
  EXPECT_EQ(library.ImgDecompressFile((dir_ + "/zero.wmf").c_str(), &error), nullptr);
  EXPECT_EQ(error, kImgErrorFormat);
  std::vector<uint8_t> huge = metafile_bytes::PlaceableWmf(1, 32000, 32000, 0xFF0000, 0, 0, 10, 10);
  ASSERT_TRUE(DrawMetafilePicture(huge.data(), huge.size(), 1200, &drawn));
  EXPECT_LE(drawn.width(), 4000);
  EXPECT_LE(drawn.height(), 4000);
}

// Records put into an enhanced metafile before its end record.
void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}
std::vector<uint8_t> EmfWith(std::vector<uint8_t> emf, const std::vector<std::vector<uint32_t>>& records) {
  std::vector<uint8_t> added;
  for (const std::vector<uint32_t>& r : records) {
    const size_t at = added.size();
    added.resize(at + 4 * r.size());
    for (size_t i = 0; i < r.size(); ++i) PutU32(added, at + 4 * i, r[i]);
  }
  emf.insert(emf.end() - 20, added.begin(), added.end());  // the end record is the last 20 bytes
  return emf;
}
// A polyline record (type 4) of 32-bit points.
std::vector<uint32_t> Polyline(const std::vector<std::pair<int32_t, int32_t>>& points) {
  std::vector<uint32_t> r = {4, static_cast<uint32_t>(28 + 8 * points.size()), 0, 0, 0, 0,
                             static_cast<uint32_t>(points.size())};
  for (const auto& [x, y] : points) r.push_back(static_cast<uint32_t>(x)), r.push_back(static_cast<uint32_t>(y));
  return r;
}

// What a hostile metafile asks for is bounded: a frame wider than an int
// sizes the picture without overflow, a point moved far outside and a pen
// wider than the picture are drawn at the program's fineness in bounded
// work, and a picture asking for more work than any sound one is refused
// as damaged.
TEST_F(ImageLibraryTest, HostileMetafileExtentsPointsAndWorkAreBounded) {
  const std::vector<uint8_t> emf = metafile_bytes::Emf(5080, 2540, 0x0000FF, 0, 0, 100, 100);
  std::vector<uint8_t> wide = emf;
  PutU32(wide, 24, static_cast<uint32_t>(-2000000000));
  PutU32(wide, 32, 2000000000u);
  int w = 0, h = 0;
  ASSERT_TRUE(MetafilePictureSize(wide.data(), wide.size(), &w, &h));
  EXPECT_EQ(w, INT_MAX);
  QImage drawn;
  EXPECT_TRUE(DrawMetafilePicture(wide.data(), wide.size(), kMetafileDpi, &drawn));

  // A dashed pen, one point far away; a pen wider than any picture.
  const std::vector<uint8_t> far = EmfWith(emf, {{38, 28, 2, 1, 1, 0, 0x000000},
                                                 {37, 12, 2},
                                                 Polyline({{0, 0}, {2000000000, 1999999999}, {100, 0}}),
                                                 {38, 28, 3, 0, 2000000000, 0, 0x00FF00},
                                                 {37, 12, 3},
                                                 Polyline({{10, 10}, {-2000000000, 40}})});
  ASSERT_TRUE(DrawMetafilePicture(far.data(), far.size(), kMetafileDpi, &drawn));
  EXPECT_EQ(drawn.width(), 600);

  // Five records of the most points one may have: more than a picture does.
  std::vector<std::pair<int32_t, int32_t>> many;
  for (int i = 0; i < 100000; ++i) many.emplace_back(i % 100, i % 97);
  std::vector<std::vector<uint32_t>> heavy(5, Polyline(many));
  const std::vector<uint8_t> busy = EmfWith(emf, heavy);
  EXPECT_FALSE(DrawMetafilePicture(busy.data(), busy.size(), kMetafileDpi, &drawn));
  ASSERT_TRUE(metafile_bytes::WriteFile(dir_ + "/busy.emf", busy));
  ImageLibrary library;
  int error = 0;
  EXPECT_EQ(library.ImgDecompressFile((dir_ + "/busy.emf").c_str(), &error), nullptr);
  EXPECT_EQ(error, kImgErrorFormat);
}

// The painter's own work is bounded by the picture's size, counted before
// anything is drawn: a thin pen that the window widens to the picture's
// size over a polyline of a hundred points, or a polygon of crossing edges,
// asks for more than a picture of a square metre may and is refused as
// damaged; the same polyline with a hairline pen, and a polygon of fewer
// edges, are drawn, each stretch of the line in place.
TEST_F(ImageLibraryTest, ThePaintersWorkIsBoundedByThePicturesSize) {
  QImage drawn;
  for (const int points : {100, 300}) {
    const std::vector<uint8_t> widened = metafile_bytes::EmfPolyline(points, 1, 1000000, 100000);
    EXPECT_FALSE(DrawMetafilePicture(widened.data(), widened.size(), kMetafileDpi, &drawn)) << points;
  }
  const std::vector<uint8_t> crossing = metafile_bytes::EmfCrossingPolygon(2000, 100000);
  EXPECT_FALSE(DrawMetafilePicture(crossing.data(), crossing.size(), kMetafileDpi, &drawn));

  const std::vector<uint8_t> sound = metafile_bytes::EmfPolyline(300, 0, 3937, 100000);
  ASSERT_TRUE(DrawMetafilePicture(sound.data(), sound.size(), 30, &drawn));
  // Corner to corner and back: both diagonals are drawn, the middle of a
  // side is not.
  const int side = drawn.width();
  EXPECT_LT(qGray(drawn.pixel(side / 4, side / 4)), 128);
  EXPECT_LT(qGray(drawn.pixel(side / 4, side - 1 - side / 4)), 128);
  EXPECT_EQ(qGray(drawn.pixel(side / 2, side / 8)), 255);
  const std::vector<uint8_t> fewer = metafile_bytes::EmfCrossingPolygon(60, 5080);
  EXPECT_TRUE(DrawMetafilePicture(fewer.data(), fewer.size(), kMetafileDpi, &drawn));
}

// Text records need the fonts of an application: one for the test, unless
// there is one.
std::unique_ptr<QGuiApplication> ApplicationForFonts() {
  static int argc = 1;
  static char name[] = "test_platform";
  static char* argv[] = {name, nullptr};
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (QCoreApplication::instance() != nullptr) return nullptr;
  return std::make_unique<QGuiApplication>(argc, argv);
}

// Ordinary charts and maps as drawing programs write them are counted well
// within what a picture may take, the same on every machine, and drawn; a
// picture of a new font for each of 30,000 letters is counted as the
// seconds the painter would spend looking for and loading the fonts, and
// refused, where one of twenty fonts is drawn.
TEST_F(ImageLibraryTest, OrdinaryPicturesAreDrawnAndAFontFloodIsRefused) {
  const std::unique_ptr<QGuiApplication> app = ApplicationForFonts();
  using namespace metafile_bytes;
  const std::pair<std::vector<uint8_t>, uint32_t> ordinary[] = {
      {EmfBarChart(300), kBarColour},        {EmfScatterPlot(3000), kDotColour}, {EmfOutlineMap(20000), kMapColours[1]},
      {EmfLineChart(20000), kLineColour}, {EmfSineCurve(500), kSineColour}};
  for (const auto& [bytes, colour] : ordinary) {
    MetafilePaintCount count, again;
    ASSERT_TRUE(CountMetafilePicture(bytes.data(), bytes.size(), kMetafileDpi, &count));
    ASSERT_TRUE(CountMetafilePicture(bytes.data(), bytes.size(), kMetafileDpi, &again));
    EXPECT_EQ(count.paintNs, again.paintNs);
    EXPECT_FALSE(count.tooMuchWork);
    EXPECT_LT(count.paintNs, count.allowedNs / 5) << std::hex << colour;
    QImage drawn;
    ASSERT_TRUE(DrawMetafilePicture(bytes.data(), bytes.size(), kMetafileDpi, &drawn)) << std::hex << colour;
    EXPECT_GT(CountColour(drawn, QColor::fromRgb(colour), drawn.rect()), 2000) << std::hex << colour;
  }
  QImage drawn;
  const std::vector<uint8_t> flood = EmfFontFlood(30000);
  MetafilePaintCount count;
  ASSERT_TRUE(CountMetafilePicture(flood.data(), flood.size(), kMetafileDpi, &count));
  EXPECT_FALSE(count.tooMuchWork);  // few records: the fonts are what is dear
  EXPECT_GT(count.paintNs, count.allowedNs);
  EXPECT_FALSE(DrawMetafilePicture(flood.data(), flood.size(), kMetafileDpi, &drawn));
  const std::vector<uint8_t> some = EmfFontFlood(20);
  ASSERT_TRUE(DrawMetafilePicture(some.data(), some.size(), kMetafileDpi, &drawn));
  EXPECT_GT(CountColour(drawn, QColor::fromRgb(kFloodColour), drawn.rect()), 20);
}

// Large letters are counted by what their glyphs cover: as many texts of
// letters as wide as they are high and made of slanted strokes ("WWWW")
// would keep the painter for seconds and are refused, where the same number
// of narrow ones ("llll") is drawn.
TEST_F(ImageLibraryTest, LargeLettersAreCountedByWhatTheyCover) {
  const std::unique_ptr<QGuiApplication> app = ApplicationForFonts();
  const std::vector<uint8_t> wide = metafile_bytes::EmfLargeLetters(300, "WWWW");
  const std::vector<uint8_t> narrow = metafile_bytes::EmfLargeLetters(300, "llll");
  MetafilePaintCount wideCount, narrowCount;
  ASSERT_TRUE(CountMetafilePicture(wide.data(), wide.size(), kMetafileDpi, &wideCount));
  ASSERT_TRUE(CountMetafilePicture(narrow.data(), narrow.size(), kMetafileDpi, &narrowCount));
  EXPECT_GT(wideCount.paintNs, wideCount.allowedNs);
  EXPECT_LT(narrowCount.paintNs, narrowCount.allowedNs);
  EXPECT_GT(wideCount.paintNs, 10 * narrowCount.paintNs);
  QImage drawn;
  EXPECT_FALSE(DrawMetafilePicture(wide.data(), wide.size(), kMetafileDpi, &drawn));
  ASSERT_TRUE(DrawMetafilePicture(narrow.data(), narrow.size(), kMetafileDpi, &drawn));
  EXPECT_GT(CountColour(drawn, QColor::fromRgb(metafile_bytes::kLettersColour), drawn.rect()), 2000);
}

// The metafile reader's fuzz target, at the fineness pictures print at: the
// program's own kinds of file and hostile ones (a thin pen's polyline of
// thousands of points widened by the picture's window, a pen wider than any
// picture, a polygon whose edges all cross), changed the ways damaged files
// differ. The
// sanitizers find what the reader does wrong; the painter's bound keeps each
// run short.
TEST_F(ImageLibraryTest, MetafileFuzzAtThePrintersFineness) {
  const std::unique_ptr<QGuiApplication> app = ApplicationForFonts();
  const std::vector<uint8_t> emf = metafile_bytes::Emf(5080, 2540, 0x0000FF, 0, 0, 100, 100);
  const std::vector<fuzz::Bytes> seeds = {
      metafile_bytes::PlaceableWmf(1440, 2880, 1440, 0xFF0000, 1440, 0, 2880, 1440), emf,
      EmfWith(emf, {{38, 28, 2, 1, 3, 0, 0x000000}, {37, 12, 2}, Polyline({{0, 0}, {90000, 50}, {100, 0}}),
                    {42, 24, 10, 10, 50, 60}, {84, 84, 0, 0, 0, 0, 1, 0, 0, 20, 30, 3, 76, 0, 0, 0, 0, 0, 0, 0x420041, 0x43}}),
      metafile_bytes::EmfPolyline(4000, 1, 1000000, 2540), metafile_bytes::EmfPolyline(100, 1, 100, 2540),
      metafile_bytes::EmfPolyline(40, 2000000000, 100, 2540), metafile_bytes::EmfCrossingPolygon(20, 2540)};
  std::mt19937 rng(0x3E7A0000u);
  const long runs = fuzz::Runs(1500);
  QImage drawn;
  long drawnCount = 0;
  for (long i = 0; i < runs; ++i) {
    const fuzz::Bytes b = fuzz::Mutate(seeds[static_cast<size_t>(rng() % seeds.size())], rng);
    if (DrawMetafilePicture(b.data(), b.size(), kMetafileDpi, &drawn)) ++drawnCount;
  }
  EXPECT_GT(drawnCount, 0);
}

}  // namespace
