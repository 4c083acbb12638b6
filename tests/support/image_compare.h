// Comparing two pictures of a page (a window picture and a rendered PDF
// page), and counting a colour in a picture.
#pragma once

#include <string>

// The share (0 to 1) of the pixels of a's region (left, top, width, height)
// whose grey differs by more than tolerance from b's pixel at (x - left,
// y - top), the region cut to what both pictures hold; -1 when a file
// cannot be read or less than 100 x 100 pixels remain.
double PixelDifference(const std::string& a, int left, int top, int width, int height, const std::string& b,
                       int tolerance);

// Pixels of the picture's region (left, top, width, height; cut to the
// picture) whose colour is 0xRRGGBB; -1 when the file cannot be read.
int CountColourPixels(const std::string& path, int left, int top, int width, int height, unsigned rgb);
