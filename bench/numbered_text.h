// The benchmarks' layout texts: "Item N" on a band line at a column, in a
// face and size, keeping the place it is given.
#pragma once

#include "engine/doc_upkeep.h"
#include "layout/fonts.h"
#include "layout/layout_records.h"

#include <cstdio>
#include <cstring>

inline TextItem* AddNumberedText(KmDocBase* doc, int number, int bandLine, int column, int32_t points,
                                 const char* face) {
  char text[32];
  std::snprintf(text, sizeof text, "Item %d", number);
  const size_t n = std::strlen(text);
  TextItem* x = NewTextItem(doc, static_cast<uint32_t>(n + 1));
  std::memcpy(x->text, text, n);
  x->head.bandLine = static_cast<uint8_t>(bandLine);
  x->head.column = column;
  x->head.width = static_cast<uint8_t>(n);
  x->head.pointSize = points;
  x->head.faceAtom = AddFaceAtom(face);
  x->head.flags |= kItemFixedPosition;
  return x;
}
