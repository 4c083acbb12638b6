// The picture library: picture files decoded into images kept by handle, and
// the entries the printer library uses to draw them.
#pragma once

#include "platform/printer/page_driver.h"
#include "platform/win/window.h"

#include <cstdint>

#include <memory>
#include <vector>

// Error codes of the picture library (negative answers).
constexpr int kImgErrorMemory = -1;
constexpr int kImgErrorCannotOpen = -2;
constexpr int kImgErrorCannotCreate = -6;
constexpr int kImgErrorFormat = -7;
constexpr int kImgErrorDiskFull = -9;

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
  // The size the picture file gives the image, in hundredths of an inch (a
  // metafile's frame); false for a bitmap, whose own size is its pixels,
  // and for a foreign handle.
  bool ImgNaturalSize(const void* image, int* width, int* height) const;
  // The part of the image that is shown; negative for a foreign handle.
  int ImgSetCropRect(void* image, int left, int top, int right, int bottom);
  // Frees an image of this library; other handles are left alone.
  void ImgDeleteBitmap(void* image);
  // A new image of the same pixels, crop and depth; null for a foreign handle.
  void* ImgCopy(const void* image);
  // A new image from 32-bit pixels (blue, green, red, alpha; top row first);
  // null when the size and the block do not match.
  void* ImgCreateHandle(int width, int height, const uint8_t* bgra, size_t bytes);
  // A screen bitmap of the image's shown part at that size; null on failure.
  HBITMAP ImgDibToDdb(const void* image, int width, int height);
  // Writes the image in the form its path's extension names (BMP, PNG, JPG,
  // GIF, TIF...); 0, or -6 when the file cannot be made, -7 for an unknown
  // form, -9 when the disk is full.
  int ImgSaveBitmap(const void* image, const char* path);
  int Count() const { return static_cast<int>(images_.size()); }

  // The entries handed to the printer library ("pwImgFuncs"): an image of
  // any library turns into its pixels.
  static PageDriverImageFuncs PrinterEntries();

  struct Image;

 private:
  Image* Find(const void* image) const;
  std::vector<std::unique_ptr<Image>> images_;
};
