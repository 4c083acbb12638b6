// The picture library: picture files decoded into images kept by handle, and
// the entries the printer library uses to draw them.
#pragma once

#include "platform/printer/page_driver.h"

#include <memory>
#include <vector>

// Error codes of the picture library (negative answers).
constexpr int kImgErrorMemory = -1;
constexpr int kImgErrorCannotOpen = -2;
constexpr int kImgErrorFormat = -7;

class ImageLibrary {
 public:
  ImageLibrary();
  ~ImageLibrary();
  ImageLibrary(const ImageLibrary&) = delete;
  ImageLibrary& operator=(const ImageLibrary&) = delete;

  // The picture file decoded into a new image; null with *error set to a
  // negative code when the file cannot be opened or holds no picture.
  void* ImgDecompressFile(const char* path, int* error);
  // Width, height and bits per pixel of an image of this library; false for
  // any other handle.
  bool ImgBitmapInfo(const void* image, int* width, int* height, int* bitsPerPixel) const;
  // The part of the image that is shown; negative for a foreign handle.
  int ImgSetCropRect(void* image, int left, int top, int right, int bottom);
  // Frees an image of this library; other handles are left alone.
  void ImgDeleteBitmap(void* image);
  int Count() const { return static_cast<int>(images_.size()); }

  // The entries handed to the printer library ("pwImgFuncs"): an image of
  // any library turns into its pixels.
  static PageDriverImageFuncs PrinterEntries();

  struct Image;

 private:
  Image* Find(const void* image) const;
  std::vector<std::unique_ptr<Image>> images_;
};
