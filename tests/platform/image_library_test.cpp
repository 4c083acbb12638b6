#include "platform/image/image_library.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <cstdlib>
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
