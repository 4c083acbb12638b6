// Objects held by their distance from their band line's bottom while the
// lines are laid out again or read from a file, and positions stored at
// another layout resolution brought to this one.
#pragma once

#include <cstdint>
#include <vector>

class CKmComposite;
class LayoutTables;
struct BandLineTable;
struct ReportItemHead;

// An item read with its distance from its band line's bottom: to its
// baseline (fields, texts) or, with top set, to its top (graphics, whose
// height is given; 0 or less: as high as the line).
struct BandOffsetPlace {
  ReportItemHead* head;  // null: the item was dropped
  int32_t offset;
  bool top;
  int32_t height;
};

// Every item keeps, in its line offset, how far above its band line's bottom
// it stands (texts and fields by their baseline, the rest by their top), so
// that it moves with the line when the lines are measured again. A line or
// box as high as its line of automatic height becomes a full-height one.
void ShiftObjectsToBandTop(LayoutTables& t);

// Places the items read from a file by their offsets once the lines are
// laid out: texts and fields by their bottoms, graphics by their tops.
void ShiftObjectsFromBandTop(const BandLineTable& lines, const std::vector<BandOffsetPlace>& places);

// Positions stored in other layout units (per axis, a percentage of ours;
// 0 or 100 mean ours) are scaled to ours: left and right across, top and
// bottom down, for every field, text, line, box, picture, chart and OLE item.
void RescaleObjectsToGrid(LayoutTables* t, CKmComposite* model, uint32_t unitX, uint32_t unitY);
