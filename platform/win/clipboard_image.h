// A bitmap on the clipboard: whether one is there, reading it as 32-bit
// pixels, and putting one there. No toolkit type appears here.
#pragma once

#include "platform/win/win_types.h"

#include <cstdint>
#include <vector>

struct ClipboardImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bgra;  // top row first, 4 bytes a pixel: blue, green, red, alpha
};

constexpr int kClipboardUnavailable = -1;
constexpr int kClipboardNoBitmap = -14;

// True when the clipboard holds a bitmap.
bool IsClipboardImageAvailable();
// 1 with the image, kClipboardUnavailable when the clipboard cannot be
// reached, kClipboardNoBitmap when it holds no bitmap.
int ReadClipboardImage(ClipboardImage* out);
// False when the image is empty, its pixel block does not match its size, or
// the clipboard cannot be reached.
bool SetClipboardImage(const ClipboardImage& image);
void ClearClipboard();
