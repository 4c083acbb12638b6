// A picture's size on the layout: layout pixels and hundredths of an inch,
// the size kept in the report's measure, and the shape its scaling mode gives
// it inside a box.
#pragma once

#include "layout/layout_records.h"

// Layout pixels to hundredths of an inch: the layout's cells and lines are
// screen inches at the grid's pitch and line rate.
int ToHundredthsX(const LayoutMetrics& m, int x);
int ToHundredthsY(const LayoutMetrics& m, int y);
// Hundredths of an inch back to layout pixels (the inverse of the two above).
int FromHundredthsX(const LayoutMetrics& m, int hundredths);
int FromHundredthsY(const LayoutMetrics& m, int hundredths);
// Half-up rounding of a * b / c; a when c is 0.
int MulDivHalfUp(int a, int b, int c);
// The width and height (in any unit the two share) made the image's shape:
// the side that would stretch it is shortened, rounded half up.
void KeepImageShape(int imageWidth, int imageHeight, int* width, int* height);
// The picture's own size: the size its file gives it (a metafile's frame),
// or one layout pixel for each of its pixels; in layout pixels, and in
// hundredths of an inch.
void NaturalPictureSize(const LayoutTables& t, const void* image, int* width, int* height);
void NaturalPictureHundredths(const LayoutTables& t, const void* image, int* width, int* height);
// The shown size in the picture's scaling mode inside a box of that size at
// (x, y): zoom keeps the image's aspect, crop shows at most the image at its
// own size, stretch fills the box. The rectangle, the size in hundredths and the crop follow.
void FitPictureAspect(LayoutTables& t, PictureItem& p, int x, int y, int boxWidth, int boxHeight);
// The picture placed at (x, y) at exactly that size, the whole image shown.
void PlaceWholePicture(LayoutTables& t, PictureItem& p, int x, int y, int width, int height);
// The record's size in hundredths of an inch (tenths of a millimetre in a
// metric report) from its rectangle.
void StorePictureSize(LayoutTables& t, PictureItem& p);
