// Embedded objects kept in a report: each is the object's own stored bytes
// (which no server here can open) and a layout record, so the designer can
// place, select, size and print it like any other item. Their picture is a
// framed placeholder naming the object's type.
#pragma once

#include "core/fields.h"
#include "foundation/units.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The item's stored record after the object's own data.
constexpr uint32_t kOleItemMagic = 0x70700608;
constexpr uint32_t kOleItemVersion = 110;
constexpr size_t kOleItemRecordSize = 114;
constexpr size_t kOleLayoutRecordSize = 70;

// What kind of object an item holds, in the order of their names (string
// 7010 onwards: "Unknown", "Link", "Embedded", "Static").
enum : uint8_t { kOleTypeUnknown = 0, kOleTypeLink = 1, kOleTypeEmbedded = 2, kOleTypeStatic = 3 };

struct CKmCntrItem {
  ReportItemHead head;
  int32_t lastExtent[2] = {0, 0};  // HIMETRIC, as last read from a server
  uint8_t sizeTag = 16;
  int32_t sizeWidth = 0, sizeHeight = 0;  // hundredths of the document's measure
  int32_t natural[2] = {40, 40};          // pixels
  int32_t shown[2] = {40, 40};
  uint16_t scaling = 0;  // 0 zoom, 1 crop, 2 stretch

  std::string typeName;         // the object's type as its storage names it; empty when unknown
  uint8_t objectType = kOleTypeUnknown;  // what its storage says it is
  std::vector<uint8_t> stored;  // the object's data and record as read, written back as they came
  // Where the record put it (left, offset above its line's bottom, right,
  // height), so an item the user left alone keeps its bytes.
  int32_t loadedPlace[4] = {0, 0, 0, 0};
  uint8_t loadedLine = 0;
  uint16_t loadedScaling = 0;
};

// The record's place inside an item's stored bytes.
inline size_t OleRecordOffset(const CKmCntrItem& item) { return item.stored.size() - kOleItemRecordSize; }

// Reads the 114-byte record at p (magic and version checked) into the item's
// layout fields; false when it is not such a record. Coordinates are kept
// inside the layout's reach, whatever the bytes say.
bool DecodeOleRecord(const uint8_t* p, size_t size, CKmCntrItem* item);
// The record of the item as it is now, over its stored one: only the words
// this program keeps are replaced, and the stored handle and link words are
// cleared (they meant something only to the program that wrote them).
void EncodeOleRecord(const CKmCntrItem& item, int32_t lineBottom, uint8_t* p);
// True when the item was moved or sized since it was read (lineBottom: the
// bottom of its band line now).
bool OleItemChanged(const CKmCntrItem& item, int32_t lineBottom);
// Puts a read item on its line (the top stands its offset above the line's
// bottom) and remembers that place.
void PlaceLoadedOleItem(CKmCntrItem& item, int32_t lineBottom);

// The size block from the rectangle at the layout's grid.
void RefreshOleSizeBlock(CKmCntrItem& item, const LayoutMetrics& m);
// After reading: the item takes the size its size block gives at this
// screen's grid, with its natural and shown sizes scaled alike.
void RescaleOleItem(CKmCntrItem& item, const LayoutMetrics& m);
// The item's new size by its scaling mode: zoom keeps the natural shape,
// crop never shows more than the natural size, stretch takes it as given.
void SetOleItemSize(CKmCntrItem& item, int width, int height, const LayoutMetrics& m);
// What the placeholder says: the type name, or the general name when unknown.
std::string OleItemLabel(const CKmCntrItem& item, const char* generalName);
