// The embedded-object list after a report's records, built from its byte
// layout: objects split out with their layout and written back byte for
// byte, damaged lists refused whole and kept, type names paired with the
// object storages, and the sizes the scaling modes allow.
#include "files/ole_item_list.h"
#include "reportfile_test_util.h"
#include "foundation/byte_order.h"
#include "layout/layout_records.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// One object: opaque data of its own, then its record.
std::vector<uint8_t> Object(const std::vector<uint8_t>& data, uint8_t line, int32_t offset, int32_t left,
                            int32_t width, int32_t height, uint16_t scaling) {
  std::vector<uint8_t> b = data;
  std::vector<uint8_t> r(kOleItemRecordSize, 0);
  PutU32(r.data(), kOleItemMagic);
  PutU32(r.data() + 4, kOleItemVersion);
  uint8_t* h = r.data() + 8;
  h[0] = line;
  PutU32(h + 1, static_cast<uint32_t>(offset));
  PutU32(h + 7, 0x202);
  PutU32(h + 27, static_cast<uint32_t>(left));
  PutU32(h + 31, 100);
  PutU32(h + 35, static_cast<uint32_t>(left + width));
  PutU32(h + 39, static_cast<uint32_t>(100 + height));
  PutU32(h + 43, static_cast<uint32_t>(height + 1));
  PutU32(h + 47, 0xDEADBEEF);  // a handle of the program that wrote it
  r[78] = 16;
  PutU32(r.data() + 80, static_cast<uint32_t>(width * 100 / 100));   // at 10 cells of 10 px an inch
  PutU32(r.data() + 84, static_cast<uint32_t>(height * 100 / 96));   // at 6 lines of 16 px
  PutU32(r.data() + 88, static_cast<uint32_t>(width));
  PutU32(r.data() + 92, static_cast<uint32_t>(height));
  PutU32(r.data() + 96, static_cast<uint32_t>(width));
  PutU32(r.data() + 100, static_cast<uint32_t>(height));
  PutU16(r.data() + 104, scaling);
  b.insert(b.end(), r.begin(), r.end());
  return b;
}

std::vector<uint8_t> List(const std::vector<std::vector<uint8_t>>& objects, const std::vector<uint8_t>& trailer) {
  std::vector<uint8_t> b(2);
  PutU16(b.data(), static_cast<uint16_t>(objects.size()));
  for (const auto& o : objects) b.insert(b.end(), o.begin(), o.end());
  b.insert(b.end(), trailer.begin(), trailer.end());
  return b;
}

class OleItemListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    t.bandRecords[0].kind = 5;
    t.bandRecords[0].bottom = 300;
    t.bandRecords[1].kind = 60;
    t.bandRecords[1].bottom = 400;
  }
  // Reads the list into the tables as a report file's reader does.
  OleListRead Take(const std::vector<uint8_t>& list) {
    std::vector<std::unique_ptr<CKmCntrItem>> items;
    const OleListRead r = ReadOleItemList(list, &items, &trailer);
    for (auto& i : items) {
      PlaceLoadedOleItem(*i, t.bandRecords[i->head.bandLine].bottom);
      t.oleItems.Append(*i);
    }
    return r;
  }
  LayoutTables t;
  std::vector<uint8_t> trailer;
};

TEST_F(OleItemListTest, ObjectsAreSplitPlacedAndWrittenBackByteForByte) {
  const std::vector<uint8_t> a = Object({1, 2, 3, 4, 5, 6, 7}, 0, 40, 30, 200, 48, 0);
  const std::vector<uint8_t> b = Object({9, 9}, 1, 16, 500, 80, 16, 2);
  const std::vector<uint8_t> list = List({a, b}, {0xAA, 0xBB});
  ASSERT_EQ(Take(list), OleListRead::kItems);
  ASSERT_EQ(t.oleItems.Count(), 2);
  const CKmCntrItem& first = *t.oleItems.At(0);
  EXPECT_EQ(first.head.flags, kItemKindOle | kItemFixedPosition);
  EXPECT_EQ(first.head.left, 30);
  EXPECT_EQ(first.head.top, 260) << "its offset above the line's bottom";
  EXPECT_EQ(first.head.bottom, 308);
  EXPECT_EQ(t.oleItems.At(1)->scaling, 2);
  EXPECT_EQ(trailer, (std::vector<uint8_t>{0xAA, 0xBB}));
  EXPECT_EQ(WriteOleItemList(t, trailer), list);
}

TEST_F(OleItemListTest, DamagedListsAreRefusedWholeAndEmptyOnesTakeNothing) {
  std::vector<std::unique_ptr<CKmCntrItem>> items;
  std::vector<uint8_t> rest;
  EXPECT_EQ(ReadOleItemList({0, 0}, &items, &rest), OleListRead::kEmpty);
  EXPECT_EQ(ReadOleItemList({}, &items, &rest), OleListRead::kEmpty);
  EXPECT_EQ(ReadOleItemList({5}, &items, &rest), OleListRead::kUnreadable);
  // More objects than the bytes can hold; a count naming a second record that is not there.
  EXPECT_EQ(ReadOleItemList(List({Object({}, 0, 0, 0, 10, 10, 0)}, {}), &items, &rest), OleListRead::kItems);
  std::vector<uint8_t> lying = List({Object({}, 0, 0, 0, 10, 10, 0)}, std::vector<uint8_t>(200, 0));
  PutU16(lying.data(), 2);
  EXPECT_EQ(ReadOleItemList(lying, &items, &rest), OleListRead::kUnreadable);
  EXPECT_TRUE(items.empty());
  PutU16(lying.data(), 0xFFFF);
  EXPECT_EQ(ReadOleItemList(lying, &items, &rest), OleListRead::kUnreadable);
  // A record cut short at the end of the stream.
  std::vector<uint8_t> cut = List({Object({1}, 0, 0, 0, 10, 10, 0)}, {});
  cut.resize(cut.size() - 1);
  EXPECT_EQ(ReadOleItemList(cut, &items, &rest), OleListRead::kUnreadable);
  // Coordinates far off the layout are kept within its reach.
  std::vector<uint8_t> far = List({Object({}, 0, -5, -900, 10, 10, 0)}, {});
  PutU32(far.data() + 2 + 8 + 39, 0x7FFFFFFF);
  ASSERT_EQ(ReadOleItemList(far, &items, &rest), OleListRead::kItems);
  EXPECT_EQ(items[0]->head.left, 0);
  EXPECT_EQ(items[0]->head.column, 0);
  EXPECT_LE(items[0]->head.height, 1 << 20);
}

TEST(OleTypeNames, TakenFromTheObjectStoragesInNumberOrderWhenEachObjectHasOne) {
  auto compObj = [](const std::string& name) {
    // The header, the name's length and the name with its null.
    std::vector<uint8_t> s(28 + 4 + name.size() + 1, 0);
    PutU32(s.data() + 28, static_cast<uint32_t>(name.size() + 1));
    std::copy(name.begin(), name.end(), s.begin() + 32);
    return s;
  };
  vt_ole::Storage root;
  root.PutStorage("Embedding 10").PutStream("\001CompObj", compObj("Second Kind"));
  root.PutStorage("Embedding 2").PutStream("\001CompObj", compObj("First Kind"));
  std::vector<std::unique_ptr<CKmCntrItem>> items;
  items.push_back(std::make_unique<CKmCntrItem>());
  items.push_back(std::make_unique<CKmCntrItem>());
  NameOleItemTypes(root, items);
  EXPECT_EQ(items[0]->typeName, "First Kind");
  EXPECT_EQ(items[1]->typeName, "Second Kind");
  EXPECT_EQ(items[0]->objectType, kOleTypeEmbedded);
  // One storage for two objects: no pairing is trusted.
  items[0]->typeName.clear();
  root.storages.pop_back();
  NameOleItemTypes(root, items);
  EXPECT_EQ(items[0]->typeName, "");
  // A name longer than its stream is not read past the stream.
  std::vector<uint8_t> bad = compObj("Short");
  PutU32(bad.data() + 28, 4000);
  EXPECT_EQ(OleTypeFromCompObj(bad), "");
  EXPECT_EQ(OleTypeFromCompObj({1, 2, 3}), "");
}

// What an object is: a link by the first flag of its "\1Ole" stream, a
// static picture by its storage's class, otherwise embedded; a short stream
// is read no further than it goes.
TEST(OleTypeNames, LinksAndStaticPicturesAreToldFromEmbeddedObjects) {
  vt_ole::Storage object;
  EXPECT_EQ(OleObjectTypeOf(object), kOleTypeEmbedded);
  std::vector<uint8_t> ole(20, 0);
  PutU32(ole.data(), 0x02000001);
  object.PutStream("\001Ole", ole);
  EXPECT_EQ(OleObjectTypeOf(object), kOleTypeEmbedded);
  PutU32(ole.data() + 4, 1);
  object.PutStream("\001Ole", ole);
  EXPECT_EQ(OleObjectTypeOf(object), kOleTypeLink);
  object.PutStream("\001Ole", {1, 0, 0, 2, 1, 0});
  EXPECT_EQ(OleObjectTypeOf(object), kOleTypeEmbedded);
  for (uint8_t kind : {0x15, 0x16}) {
    const uint8_t cls[16] = {kind, 0x03, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
    std::copy(cls, cls + 16, object.classId);
    EXPECT_EQ(OleObjectTypeOf(object), kOleTypeStatic) << int(kind);
  }
}

TEST(OleItemSize, ZoomKeepsTheNaturalShapeCropNeverShowsMoreStretchTakesAll) {
  LayoutMetrics m;
  CKmCntrItem item;
  item.natural[0] = 100;
  item.natural[1] = 50;
  item.head.left = 10;
  item.head.top = 20;
  SetOleItemSize(item, 200, 200, m);
  EXPECT_EQ(item.head.right - item.head.left, 200);
  EXPECT_EQ(item.head.bottom - item.head.top, 100);
  EXPECT_EQ(item.sizeWidth, 200) << "hundredths of an inch at 100 px an inch";
  item.scaling = 1;
  SetOleItemSize(item, 300, 30, m);
  EXPECT_EQ(item.shown[0], 100);
  EXPECT_EQ(item.shown[1], 30);
  item.scaling = 2;
  SetOleItemSize(item, 300, 30, m);
  EXPECT_EQ(item.head.right - item.head.left, 300);
  // A metric report keeps its size block in tenths of a millimetre; read
  // back, the object keeps its size instead of growing by 2.54.
  LayoutMetrics metric;
  metric.metric = true;
  CKmCntrItem mm;
  mm.head.right = 200;
  mm.head.bottom = 96;
  RefreshOleSizeBlock(mm, metric);
  EXPECT_NEAR(mm.sizeWidth, 508, 1);
  RescaleOleItem(mm, metric);
  EXPECT_NEAR(mm.head.right - mm.head.left, 200, 1);
  EXPECT_NEAR(mm.head.bottom - mm.head.top, 96, 1);
  // No natural size: nothing to divide by.
  item.scaling = 0;
  item.natural[0] = item.natural[1] = 0;
  SetOleItemSize(item, 40, 20, m);
  EXPECT_EQ(item.head.right - item.head.left, 40);
}

}  // namespace

namespace {

using rftest::Report;

TEST(OleItemsInReportFile, AListThatCannotBeSplitWarnsOnceAndGoesBackAsItCame) {
  Report a;
  a.io.m_oleItemList = {3, 0, 1, 2, 3};
  const std::string first = rftest::FreshPath("damaged.kmw");
  ASSERT_EQ(a.io.SaveReportFile(first.c_str()), 0);
  Report b(false);
  ASSERT_EQ(b.io.OpenReportFile(first.c_str()), 0);
  EXPECT_EQ(b.d.L().oleItems.Count(), 0);
  ASSERT_EQ(b.d.hooks.warnings.size(), 1u);
  EXPECT_NE(b.d.hooks.warnings[0].find("cannot be read here"), std::string::npos);
  const std::string second = rftest::FreshPath("damaged2.kmw");
  ASSERT_EQ(b.io.SaveReportFile(second.c_str()), 0);
  const std::vector<uint8_t> c = rftest::ContentsOf(second);
  EXPECT_EQ(std::vector<uint8_t>(c.end() - 5, c.end()), (std::vector<uint8_t>{3, 0, 1, 2, 3}));
}

}  // namespace
