// Metafile pictures: a picture file written as a list of drawing records
// (an enhanced metafile, a Windows metafile, or a Windows metafile behind a
// placeable header) drawn by our own reader into pixels. Every count, size
// and offset read from the file is checked against the bytes there are.
#pragma once

#include <cstddef>
#include <cstdint>

class QImage;

// The picture's size in hundredths of a millimetre, as the file gives it
// (the placeable box, the enhanced header's frame, or the window extent at
// 96 to the inch); false when the bytes are no metafile of these kinds.
bool MetafilePictureSize(const uint8_t* data, size_t size, int* width001mm, int* height001mm);

// The fineness metafile pictures are drawn at for the printer.
constexpr int kMetafileDpi = 300;

// What drawing the picture at that fineness asks of the painter, counted
// from its records before anything is drawn: the painter's time as
// platform/image/paint_cost.h counts it (counted no further once it is more
// than the picture may take), what a picture of its size may take, and
// whether it asks for more records, points and letters than any sound
// picture has. False when the bytes are no metafile.
struct MetafilePaintCount {
  double paintNs = 0;
  double allowedNs = 0;
  bool tooMuchWork = false;
};
bool CountMetafilePicture(const uint8_t* data, size_t size, int dpi, MetafilePaintCount* count);

// Draws the records into a new image (white ground) of about dpi pixels to
// the inch, at most 4,000 pixels a side. False when the bytes are no
// metafile, or ask for more work or painting than a sound picture does (a
// damaged one); records that are damaged end the drawing where they begin, and
// points far outside the picture are drawn at its edge's distance.
bool DrawMetafilePicture(const uint8_t* data, size_t size, int dpi, QImage* out);
