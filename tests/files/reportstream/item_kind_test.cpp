// An item's kind bits come from the file: a record whose bits name another
// kind of item fails the read with a message naming the item, in both forms,
// and the layout never holds an item whose bits disagree with its table.
#include "report_fixture.h"

#include <gmock/gmock.h>

#include <set>

namespace {

using rs_test::BuildFullReport;
using rs_test::Doc;
using testing::HasSubstr;

// The payload offset of the nth record of a type, or 0 when there is none.
size_t PayloadOf(const std::vector<uint8_t>& b, uint16_t type, int nth, StreamMode mode) {
  const uint16_t mask = mode == StreamMode::Storage ? 0x3FFF : 0x7FFF;
  for (size_t at = 0; at + 4 <= b.size();) {
    const uint16_t t = static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
    const size_t n = static_cast<size_t>(b[at + 2] | (b[at + 3] << 8));
    if ((t & mask) == type && nth-- == 0) return at + 4;
    at += 4 + n;
  }
  return 0;
}

// The first record of `after` type that follows the first record of `type`.
size_t PayloadAfter(const std::vector<uint8_t>& b, uint16_t type, uint16_t after, StreamMode mode) {
  const size_t first = PayloadOf(b, type, 0, mode);
  for (int i = 0;; ++i) {
    const size_t at = PayloadOf(b, after, i, mode);
    if (at == 0 || at > first) return at;
  }
}

void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

TEST(ItemKinds, ARecordWhoseKindBitsNameAnotherItemFailsTheReadNamingIt) {
  std::vector<uint8_t> wide, narrow;
  {
    Doc d;
    BuildFullReport(d);
    wide = d.Write(StreamMode::Storage);
    narrow = d.Write(StreamMode::Library);
  }
  struct Case {
    const char* what;
    StreamMode mode;
    std::function<void(std::vector<uint8_t>&)> damage;
    const char* item;
    const char* storedAs;
  };
  const StreamMode W = StreamMode::Storage, N = StreamMode::Library;
  const std::vector<Case> cases = {
      {"wide text as a field", W, [](auto& b) { b[PayloadOf(b, rec::WideText, 0, StreamMode::Storage) + 2] |= 0x80; },
       "the text 'Orders", "stored as a field."},
      {"wide text as a picture", W,
       [](auto& b) { b[PayloadOf(b, rec::WideText, 0, StreamMode::Storage) + 2] |= 0x10; }, "the text 'Orders",
       "stored as a picture."},
      {"wide field as a picture", W,
       [](auto& b) { b[PayloadOf(b, rec::FieldItem, 0, StreamMode::Storage) + 2] |= 0x10; }, "the field 'ORDNO'",
       "stored as an item of several kinds."},
      {"wide box without its kind", W, [](auto& b) { PutU32(b, PayloadOf(b, rec::WideBox, 0, StreamMode::Storage), 0x80); },
       "the line or box 1", "stored as a text."},
      {"chart without its kind", W, [](auto& b) { PutU32(b, PayloadOf(b, rec::Chart, 0, StreamMode::Storage) + 4, 0x10); },
       "the chart 1", "stored as a text."},
      {"narrowed text as a field", N,
       [](auto& b) { b[PayloadAfter(b, rec::TextItem, rec::ObjectFlags, StreamMode::Library)] = 0x80; },
       "the text 1", "stored as a field."},
      {"narrowed field as a picture", N,
       [](auto& b) { b[PayloadAfter(b, rec::DbField, rec::ObjectFlags, StreamMode::Library)] = 0x10; },
       "the field 'ORDNO'", "stored as an item of several kinds."},
      {"narrowed box without its kind", N, [](auto& b) {
         const size_t at = PayloadOf(b, rec::Box, 0, StreamMode::Library);
         b[at] = 0x02;
         b[at + 1] = 0;
       },
       "the line or box 1", "stored as a text."},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> b = c.mode == W ? wide : narrow;
    c.damage(b);
    Doc d;
    EXPECT_EQ(d.Read(b, c.mode), -1) << c.what;
    ASSERT_EQ(d.hooks.errors.size(), 1u) << c.what;
    EXPECT_THAT(d.hooks.errors[0], HasSubstr("Error reading report: ")) << c.what;
    EXPECT_THAT(d.hooks.errors[0], HasSubstr(c.item)) << c.what;
    EXPECT_THAT(d.hooks.errors[0], HasSubstr(c.storedAs)) << c.what;
  }
  // The undamaged streams read, and selection or holding bits from a file are
  // dropped: no item comes back selected, deleted or in the clipboard.
  for (StreamMode mode : {W, N}) {
    std::vector<uint8_t> b = mode == W ? wide : narrow;
    if (mode == W) {
      b[PayloadOf(b, rec::WideText, 0, W) + 2] |= kItemDeleted | kItemInClipboard | kItemSelected;
      PutU32(b, PayloadOf(b, rec::WideBox, 0, W), kItemKindBox | kItemDeleted);
    }
    Doc d;
    ASSERT_EQ(d.Read(b, mode), 0);
    int items = 0;
    ForEachLayoutItem(d.L(), [&](ReportItemHead& h) {
      ++items;
      EXPECT_EQ(h.flags & (kItemDeleted | kItemInClipboard | kItemSelected), 0u);
    });
    EXPECT_GE(items, 8);
  }
}

// Whatever set them, kind bits that disagree with the item's table keep the
// item out of every walk over the layout, so no user takes its head for
// another record.
TEST(ItemKinds, ItemsWhoseKindDisagreesWithTheirTableAreLeftOutOfTheLayout) {
  Doc d;
  BuildFullReport(d);
  int before = 0;
  ForEachLayoutItem(d.L(), [&](ReportItemHead&) { ++before; });
  d.L().textHead->head.flags |= kItemKindField;          // a text taken for a field
  d.L().linesBoxes.At(0)->head.flags = kItemKindPicture;  // a box taken for a picture
  d.L().charts.At(0)->head.flags |= kItemKindField;      // a chart of two kinds
  d.M().fieldList->head.flags |= kItemKindPicture;        // a field of two kinds
  int after = 0;
  ForEachLayoutItem(d.L(), [&](ReportItemHead& h) {
    ++after;
    EXPECT_NE(ShapeOfFlags(h.flags), ItemShape::Mixed);
  });
  EXPECT_EQ(after, before - 4);
  BuildLayoutItemOrder(d.L());
  for (ReportItemHead* h = d.L().orderHead; h != nullptr; h = h->nextInOrder) {
    EXPECT_NE(h, &d.L().textHead->head);
    EXPECT_NE(h, &d.M().fieldList->head);
  }
  // The checked accessors give nothing for a head of another kind.
  EXPECT_EQ(TextOfItem(&d.L().textHead->head), nullptr);
  EXPECT_EQ(PictureOfItem(&d.M().fieldList->head), nullptr);
  EXPECT_EQ(FieldOfItem(&d.M().fieldList->head), nullptr);
  EXPECT_EQ(ChartOfItem(&d.L().charts.At(0)->head), nullptr);
}

// Reading a report frees the items of the one before; the vertical order
// that linked them goes with them.
TEST(ItemKinds, ReadingAReportLeavesNoOrderOverTheItemsItFreed) {
  Doc d;
  BuildFullReport(d);
  BuildLayoutItemOrder(d.L());
  ASSERT_NE(d.L().orderHead, nullptr);
  const std::vector<uint8_t> b = d.Write(StreamMode::Storage);
  ASSERT_EQ(d.Read(b, StreamMode::Storage), 0);
  std::set<const ReportItemHead*> live;
  ForEachLayoutItem(d.L(), [&](ReportItemHead& h) { live.insert(&h); });
  int walked = 0;
  for (ReportItemHead* h = d.M().itemListHead; h != nullptr && walked < 1000; h = h->nextInOrder, ++walked)
    EXPECT_TRUE(live.count(h));
  for (ReportItemHead* h = d.L().orderHead; h != nullptr && walked < 1000; h = h->nextInOrder, ++walked)
    EXPECT_TRUE(live.count(h));
  BuildLayoutItemOrder(d.L());
  EXPECT_NE(d.L().orderHead, nullptr);
}

}  // namespace
