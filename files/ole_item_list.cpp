#include "files/ole_item_list.h"

#include "foundation/byte_order.h"
#include "layout/layout_records.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>

namespace {

constexpr size_t kCountSize = 2;
constexpr uint16_t kNoCount = 0xFFFF;  // a longer count form this reader does not take

// Where the next record starts at or after from, or npos.
size_t FindRecord(const std::vector<uint8_t>& b, size_t from) {
  for (size_t at = from; at + kOleItemRecordSize <= b.size(); ++at)
    if (GetU32(b.data() + at) == kOleItemMagic && GetU32(b.data() + at + 4) == kOleItemVersion) return at;
  return std::string::npos;
}

// The storage's number, for "Embedding 12" 12; names without one come last.
long StorageNumber(const std::string& name) {
  size_t i = name.size();
  while (i > 0 && std::isdigit(static_cast<unsigned char>(name[i - 1]))) --i;
  if (i == name.size() || name.size() - i > 9) return -1;
  return std::stol(name.substr(i));
}

}  // namespace

OleListRead ReadOleItemList(const std::vector<uint8_t>& list, std::vector<std::unique_ptr<CKmCntrItem>>* items,
                            std::vector<uint8_t>* trailer) {
  items->clear();
  trailer->clear();
  if (list.size() < kCountSize) return list.empty() ? OleListRead::kEmpty : OleListRead::kUnreadable;
  const uint16_t count = GetU16(list.data());
  if (count == 0) return OleListRead::kEmpty;
  // Each object ends in a whole record, so the count cannot ask for more than the bytes hold.
  if (count == kNoCount || static_cast<size_t>(count) * kOleItemRecordSize > list.size() - kCountSize)
    return OleListRead::kUnreadable;
  std::vector<std::unique_ptr<CKmCntrItem>> found;
  size_t at = kCountSize;
  for (uint16_t i = 0; i < count; ++i) {
    const size_t record = FindRecord(list, at);
    if (record == std::string::npos) return OleListRead::kUnreadable;
    auto item = std::unique_ptr<CKmCntrItem>(new (std::nothrow) CKmCntrItem());
    if (item == nullptr || !DecodeOleRecord(list.data() + record, kOleItemRecordSize, item.get()))
      return OleListRead::kUnreadable;
    const size_t end = record + kOleItemRecordSize;
    item->stored.assign(list.begin() + static_cast<std::ptrdiff_t>(at), list.begin() + static_cast<std::ptrdiff_t>(end));
    found.push_back(std::move(item));
    at = end;
  }
  trailer->assign(list.begin() + static_cast<std::ptrdiff_t>(at), list.end());
  *items = std::move(found);
  return OleListRead::kItems;
}

std::vector<uint8_t> WriteOleItemList(const LayoutTables& t, const std::vector<uint8_t>& trailer) {
  std::vector<uint8_t> out(kCountSize, 0);
  uint16_t count = 0;
  for (int i = 0; i < t.oleItems.Count() && count < kNoCount - 1; ++i) {
    const CKmCntrItem& item = *t.oleItems.At(i);
    if (item.head.flags & (kItemDeleted | kItemInClipboard)) continue;
    if (item.stored.size() < kOleItemRecordSize) continue;  // nothing of its own to write back
    const size_t start = out.size();
    out.insert(out.end(), item.stored.begin(), item.stored.end());
    const int32_t lineBottom = t.Lines().lines[item.head.bandLine].bottom;
    if (OleItemChanged(item, lineBottom)) EncodeOleRecord(item, lineBottom, out.data() + start + OleRecordOffset(item));
    ++count;
  }
  PutU16(out.data(), count);
  out.insert(out.end(), trailer.begin(), trailer.end());
  return out;
}

std::string OleTypeFromCompObj(const std::vector<uint8_t>& data) {
  constexpr size_t kHeader = 28;  // reserved, version, reserved
  if (data.size() < kHeader + 4) return "";
  const uint32_t length = GetU32(data.data() + kHeader);
  // The length counts the closing zero; a name past the stream or implausibly long is damage.
  if (length == 0 || length > 256 || length > data.size() - kHeader - 4) return "";
  const char* text = reinterpret_cast<const char*>(data.data() + kHeader + 4);
  std::string name(text, strnlen(text, length));
  for (char& c : name)
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  return name;
}

uint8_t OleObjectTypeOf(const vt_ole::Storage& object) {
  // The classes of the two static picture objects, metafile and bitmap.
  static const uint8_t kStatic[2][16] = {
      {0x15, 0x03, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46},
      {0x16, 0x03, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  for (const uint8_t* id : kStatic)
    if (std::memcmp(object.classId, id, sizeof object.classId) == 0) return kOleTypeStatic;
  // The "\1Ole" stream: a version word, then flags whose lowest bit marks a link.
  const vt_ole::Stream* ole = object.FindStream("\001Ole");
  if (ole != nullptr && ole->data.size() >= 8 && (GetU32(ole->data.data() + 4) & 1) != 0) return kOleTypeLink;
  return kOleTypeEmbedded;
}

void NameOleItemTypes(const vt_ole::Storage& root, std::vector<std::unique_ptr<CKmCntrItem>>& items) {
  std::vector<const vt_ole::Storage*> objects;
  for (const vt_ole::Storage& s : root.storages)
    if (s.FindStream("\001CompObj") != nullptr) objects.push_back(&s);
  // Which storage is whose is the objects' own data; one per object in
  // number order is the only pairing this reader trusts.
  if (objects.size() != items.size()) return;
  std::stable_sort(objects.begin(), objects.end(), [](const vt_ole::Storage* a, const vt_ole::Storage* b) {
    const long x = StorageNumber(a->name), y = StorageNumber(b->name);
    if ((x < 0) != (y < 0)) return y < 0;
    return x < y;
  });
  for (size_t i = 0; i < items.size(); ++i) {
    items[i]->typeName = OleTypeFromCompObj(objects[i]->FindStream("\001CompObj")->data);
    items[i]->objectType = OleObjectTypeOf(*objects[i]);
  }
}
