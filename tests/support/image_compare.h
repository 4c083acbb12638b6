// Comparing two pictures of a page (a window picture and a rendered PDF
// page), and counting a colour in a picture.
#pragma once

#include <string>
#include <vector>

// The share (0 to 1) of the pixels of a's region (left, top, width, height)
// whose grey differs by more than tolerance from b's pixel at (x - left,
// y - top), the region cut to what both pictures hold; -1 when a file
// cannot be read or less than 100 x 100 pixels remain.
double PixelDifference(const std::string& a, int left, int top, int width, int height, const std::string& b,
                       int tolerance);

// Pixels of the picture's region (left, top, width, height; cut to the
// picture) whose colour is 0xRRGGBB; -1 when the file cannot be read.
int CountColourPixels(const std::string& path, int left, int top, int width, int height, unsigned rgb);

// For each colour 0xRRGGBB, the pixels of the picture whose colour is within
// tolerance of it in each of red, green and blue: how many, and the box
// they lie in (left, top, right, bottom, inclusive). count -1 when the file
// cannot be read.
struct ColourSpread {
  int count = -1;
  int left = 0, top = 0, right = -1, bottom = -1;
  int width() const { return right - left + 1; }
  int height() const { return bottom - top + 1; }
};
std::vector<ColourSpread> FindColourPixels(const std::string& path, const std::vector<unsigned>& colours,
                                           int tolerance);
