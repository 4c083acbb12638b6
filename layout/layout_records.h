// The layout's records in memory: texts, lines and boxes, pictures and chart
// entries (each beginning with a ReportItemHead), the colour table, and the
// document's layout tables. Item tables keep every record in its own block,
// so a pointer held by another record (the vertical-order links, the current
// item, a tracker) stays valid while a table grows or shrinks.
#pragma once

#include "foundation/band_lines.h"
#include "foundation/units.h"
#include "core/fields.h"
#include "platform/win/gdi.h"
#include "platform/win/window.h"
#include "platform/image/image_library.h"
#include "layout/container_items.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

class CKmComposite;

// Colour codes index the table; 255 is "no colour".
struct ColorEntry {
  WORD nameId;
  COLORREF color;
};
constexpr int kColorCount = 16;
constexpr BYTE kNoColour = 255;
extern const ColorEntry ColorTable[kColorCount];
// The table's value; codes outside it give black.
COLORREF ColorTableValue(BYTE code);
// A code as the screen and the charts show it: 0 the system's window-text
// colour, 15 and "no colour" the system's window colour, others the table's.
COLORREF ColorFromCode(BYTE code);

// Hints passed to the document's views; each pane acts on its own.
enum ViewHint : int {
  kHintOleItemRect = 100,
  kHintHorizontalRuler = 101,
  kHintVerticalRuler = 102,
  kHintLayoutAll = 103,
  kHintLayoutAndVerticalRuler = 104,
  kHintLayoutAndHorizontalRuler = 105,
  kHintStoredRect = 106,
  kHintRulerSpacing = 107,
  kHintBandPane = 108,
  kHintFromPreview = 109,
  kHintPreviewRect = 110,
};

// Alignment bytes of texts, lines, boxes and pictures (high nibble).
constexpr BYTE kAlignLeft = 0x10;
constexpr BYTE kAlignCentre = 0x20;
constexpr BYTE kAlignRight = 0x30;

// Borders word of lines and boxes.
constexpr WORD kBorderLeft = 0x1;
constexpr WORD kBorderRight = 0x2;
constexpr WORD kBorderTop = 0x4;
constexpr WORD kBorderBottom = 0x8;
constexpr WORD kBorderVertical = 0x40;
constexpr WORD kBorderDrawnAsLine = 0x80;
constexpr WORD kNewBoxBorders = 0x000F;

constexpr BYTE kNoPattern = 255;
constexpr uint32_t kItemLineOrBox = kItemKindLine | kItemKindBox;
// Flags of a picture at creation: picture, fixed position.
constexpr uint32_t kNewPictureFlags = kItemKindPicture | kItemFixedPosition;

inline bool IsGraphicItem(const ReportItemHead& h) { return (h.flags & kItemGraphicKinds) != 0; }
inline bool IsTextLike(const ReportItemHead& h) { return !IsGraphicItem(h); }
inline bool IsLineOrBox(const ReportItemHead& h) { return (h.flags & kItemLineOrBox) != 0; }

struct TextItem {
  ReportItemHead head;
  TextItem* nextText = nullptr;
  BYTE alignment = kAlignLeft;
  char* text = nullptr;  // separate zero-ended block; its length is the width
};

struct LineBoxItem {
  ReportItemHead head;
  BYTE alignment = kAlignLeft;
  WORD borders = 0;
  BYTE thickness = 1;  // 1, 2, 4, 6 or 8
  BYTE pattern = kNoPattern;
  BYTE borderColour = 0;
  BYTE foreColour = 0;
  BYTE backColour = kNoColour;
};
// A line (from the line tool's remembered borders word) or a box, as the
// tools make them.
LineBoxItem MakeNewLine(WORD rememberedBorders);
LineBoxItem MakeNewBox();

constexpr int kPictureNameSize = 260;
constexpr WORD kScaleZoom = 0;
constexpr WORD kScaleCrop = 1;
constexpr WORD kScaleStretch = 2;
inline HBITMAP NoScreenBitmap() { return reinterpret_cast<HBITMAP>(static_cast<intptr_t>(-1)); }

struct PictureItem {
  ReportItemHead head;
  BYTE alignment = kAlignLeft;
  BYTE fromClipboard = 0;
  int32_t shownWidth = 0;   // hundredths of the document's measure
  int32_t shownHeight = 0;
  void* image = nullptr;    // the image library's handle
  int32_t source[4] = {};   // left, top, right, bottom of the shown part of the image
  char fileName[kPictureNameSize] = {};
  WORD scaling = kScaleZoom;
  HBITMAP screenBitmap = NoScreenBitmap();
  BYTE screenBitmapFailed = 0;  // the last try made none: the view does not try again
};

// The chart object of a chart entry (the charts layer's CKmChart). Each
// entry owns its own: a copied entry gets a copy of the chart.
class ChartObject {
 public:
  virtual ~ChartObject() = default;
  virtual std::unique_ptr<ChartObject> Clone() const = 0;
};

class OwnedChart {
 public:
  OwnedChart() = default;
  explicit OwnedChart(std::unique_ptr<ChartObject> chart) : p_(std::move(chart)) {}
  OwnedChart(const OwnedChart& o) : p_(o.p_ ? o.p_->Clone() : nullptr) {}
  OwnedChart& operator=(const OwnedChart& o) {
    if (this != &o) p_ = o.p_ ? o.p_->Clone() : nullptr;
    return *this;
  }
  OwnedChart(OwnedChart&&) noexcept = default;
  OwnedChart& operator=(OwnedChart&&) noexcept = default;
  ChartObject* get() const { return p_.get(); }
  void reset(std::unique_ptr<ChartObject> chart = nullptr) { p_ = std::move(chart); }

 private:
  std::unique_ptr<ChartObject> p_;
};

// The pictures drawn for a chart, newest last. A recording never changes,
// so copies of an entry share them.
class ChartPictures {
 public:
  HENHMETAFILE Newest() const { return list_.empty() ? nullptr : list_.back().get(); }
  void Push(HENHMETAFILE picture) {
    if (picture != nullptr) list_.emplace_back(picture, [](HENHMETAFILE m) { DeleteEnhMetaFile(m); });
  }
  // The designer keeps one; the page has copied what it drew.
  void KeepNewest() {
    if (list_.size() > 1) list_.erase(list_.begin(), list_.end() - 1);
  }
  void Clear() { list_.clear(); }
  size_t Count() const { return list_.size(); }

 private:
  std::vector<std::shared_ptr<HENHMETAFILE__>> list_;
};

struct ChartTableEntry {
  ReportItemHead head;
  uint32_t sizeWords[2] = {0, 0};  // width, height: hundredths of an inch, tenths of a mm when metric
  OwnedChart chart;              // the chart object
  ChartPictures metafileCache;   // its drawn pictures
};

// The record an item head belongs to, when its kind says it is that record;
// null otherwise, so a head whose kind bits disagree is never cast.
template <class Record>
Record* ItemRecordOf(ReportItemHead* h, ItemShape shape) {
  static_assert(offsetof(Record, head) == 0, "every item record begins with its head");
  return h != nullptr && ShapeOfFlags(h->flags) == shape ? reinterpret_cast<Record*>(h) : nullptr;
}
template <class Record>
const Record* ItemRecordOf(const ReportItemHead* h, ItemShape shape) {
  return ItemRecordOf<Record>(const_cast<ReportItemHead*>(h), shape);
}
inline TextItem* TextOfItem(ReportItemHead* h) { return ItemRecordOf<TextItem>(h, ItemShape::Text); }
inline const TextItem* TextOfItem(const ReportItemHead* h) { return ItemRecordOf<TextItem>(h, ItemShape::Text); }
inline LineBoxItem* LineBoxOfItem(ReportItemHead* h) { return ItemRecordOf<LineBoxItem>(h, ItemShape::LineBox); }
inline const LineBoxItem* LineBoxOfItem(const ReportItemHead* h) {
  return ItemRecordOf<LineBoxItem>(h, ItemShape::LineBox);
}
inline PictureItem* PictureOfItem(ReportItemHead* h) { return ItemRecordOf<PictureItem>(h, ItemShape::Picture); }
inline const PictureItem* PictureOfItem(const ReportItemHead* h) {
  return ItemRecordOf<PictureItem>(h, ItemShape::Picture);
}
inline ChartTableEntry* ChartOfItem(ReportItemHead* h) { return ItemRecordOf<ChartTableEntry>(h, ItemShape::Chart); }
inline const ChartTableEntry* ChartOfItem(const ReportItemHead* h) {
  return ItemRecordOf<ChartTableEntry>(h, ItemShape::Chart);
}

// A growable table of fixed records with a 16-bit count. Records never move.
template <class T>
class ItemTable {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  T* At(int i) { return i >= 0 && i < Count() ? items_[i].get() : nullptr; }
  const T* At(int i) const { return i >= 0 && i < Count() ? items_[i].get() : nullptr; }
  // Null when the table is full or memory runs out; nothing is added then.
  T* Append(const T& record) {
    if (Count() >= 0xFFFF) return nullptr;
    try {
      items_.reserve(items_.size() + 1);
      items_.push_back(std::make_unique<T>(record));
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
    return items_.back().get();
  }
  bool RemoveAt(int i) {
    if (i < 0 || i >= Count()) return false;
    items_.erase(items_.begin() + i);
    return true;
  }
  // Index of the record, or -1 when it is not in the table.
  int Find(const void* record) const {
    for (int i = 0; i < Count(); ++i)
      if (static_cast<const void*>(items_[i].get()) == record) return i;
    return -1;
  }
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<T>> items_;
};

// What the layout tables need from the design view above them: picture
// bitmaps, redraws, the status line and the modified flag. The document's
// view installs its own when the document makes its tables.
class LayoutHooks {
 public:
  virtual ~LayoutHooks() = default;
  // Builds picture.screenBitmap; false when no bitmap could be made.
  virtual bool BuildPictureBitmap(PictureItem& /*picture*/) { return false; }
  virtual void RedrawAllPanes() {}
  // Stores the rectangle and sends the stored-rectangle hint.
  virtual void InvalidateViewRect(const RECT& /*rect*/) {}
  virtual void ClearStatusText() {}
  virtual void UpdateScrollBars() {}
  virtual void SetModified() {}
  virtual void ForgetUndoDelete() {}
  // The item is about to be freed (a field the model deletes): whatever the
  // view keeps of it goes first.
  virtual void ForgetItem(const ReportItemHead& /*item*/) {}
  // The layout was measured afresh: the caret starts at the left edge, and
  // shows there.
  virtual void ResetCaretX() {}
};

// What Clear holds for Undo and what Cut and Copy hold for Paste (the last
// move's undo record is the view's). Held items keep their records
// (flag kItemDeleted or kItemInClipboard); only band lines are copied here.
struct EditHoldings {
  int held = 0;                          // items Clear holds for Undo
  std::vector<BandLineRec> savedLines;   // lines Clear removed, with their former indexes
  int clipboardItems = 0;                // items Cut or Copy hold
  std::vector<BandLineRec> clipboardLines;
};

// The document's layout tables.
struct LayoutTables {
  LayoutTables();
  LayoutTables(const LayoutTables&) = delete;
  LayoutTables& operator=(const LayoutTables&) = delete;

  // The band-line table: the tables' own until the document's is attached.
  BandLineRec* bandRecords = ownRecords;
  BandLineTable& Lines() { return *table; }
  const BandLineTable& Lines() const { return *table; }
  // Works on the document's table (its block of kBandLineTableRecords
  // records) from now on; a table without a block is refused.
  bool AttachBandLineTable(BandLineTable* documentTable);

  TextItem* textHead = nullptr;  // texts are owned by their allocator
  int textCount = 0;
  ItemTable<LineBoxItem> linesBoxes;
  ItemTable<PictureItem> pictures;
  ImageLibrary images;  // the pictures' images, freed with them
  int colorDepth = 0;          // the screen's bits per pixel x planes; 0 until measured
  bool paletteRealised = false;  // a picture's palette is realised on the screen
  ItemTable<ChartTableEntry> charts;
  ItemTable<CKmCntrItem> oleItems;  // the embedded objects kept in the report

  int currentPicture = 0;
  int currentChart = 0;
  int currentLineBox = 0;
  ReportItemHead* currentItem = nullptr;
  int currentLine = 0;
  int caretY = 0;
  WORD modeWord = 0;
  int scrollX = 0, scrollY = 0;
  LayoutMetrics metrics;   // dpi, pitch, line rate, snapping, measure
  int32_t defaultPointSize = 100;  // tenths of a point, for items with size 0

  // The items in vertical order (mirrored into the model when one is set).
  ReportItemHead* orderHead = nullptr;
  ReportItemHead* orderTail = nullptr;

  CKmComposite* model = nullptr;  // fields live there
  LayoutHooks* hooks = nullptr;
  EditHoldings holdings;

  LayoutHooks& Hooks();

 private:
  BandLineRec ownRecords[kBandLineTableRecords];
  BandLineTable ownTable;
  BandLineTable* table = &ownTable;

 public:
  // The default band-line height: a sixth of an inch.
  int DefaultLineHeight() const { return metrics.dpiY / 6; }
};

// Calls fn(head) for every item on the layout: fields placed on it, texts,
// lines and boxes, pictures, charts and OLE items. Items held for undo or in
// the designer's clipboard are left out.
template <class Fn>
void ForEachLayoutItem(LayoutTables& t, Fn fn);

// The vertical order: band line, then the baseline of a text or field or
// the top of another object, then left, then kind.
bool ItemOrderBefore(const ReportItemHead& a, const ReportItemHead& b);
// Relinks every layout item in that order.
void BuildLayoutItemOrder(LayoutTables& t);

// --- implementation of the template ---
std::vector<ReportItemHead*> PlacedFields(CKmComposite* model);

template <class Fn>
void ForEachLayoutItem(LayoutTables& t, Fn fn) {
  // An item whose kind bits are not those of its own table is left out: every
  // user of the item would take its head for a record of another size.
  auto live = [](const ReportItemHead& h, ItemShape table) {
    return (h.flags & (kItemDeleted | kItemInClipboard)) == 0 && ShapeOfFlags(h.flags) == table;
  };
  for (ReportItemHead* f : PlacedFields(t.model))
    if (live(*f, ItemShape::Field)) fn(*f);
  for (TextItem* x = t.textHead; x != nullptr; x = x->nextText)
    if (live(x->head, ItemShape::Text)) fn(x->head);
  for (int i = 0; i < t.linesBoxes.Count(); ++i)
    if (live(t.linesBoxes.At(i)->head, ItemShape::LineBox)) fn(t.linesBoxes.At(i)->head);
  for (int i = 0; i < t.pictures.Count(); ++i)
    if (live(t.pictures.At(i)->head, ItemShape::Picture)) fn(t.pictures.At(i)->head);
  for (int i = 0; i < t.charts.Count(); ++i)
    if (live(t.charts.At(i)->head, ItemShape::Chart)) fn(t.charts.At(i)->head);
  for (int i = 0; i < t.oleItems.Count(); ++i)
    if (live(t.oleItems.At(i)->head, ItemShape::Ole)) fn(t.oleItems.At(i)->head);
}
