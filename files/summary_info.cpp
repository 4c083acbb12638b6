#include "files/summary_info.h"

#include "foundation/byte_order.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

const char kSummaryStreamName[] = "\005SummaryInformation";

namespace {

const uint8_t kFmtId[16] = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10,
                            0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
constexpr uint32_t kVtLpstr = 30;
constexpr uint32_t kVtFiletime = 64;
constexpr uint32_t kHeaderSize = 48;
constexpr uint32_t kSectionHead = 88;  // size, count and ten id/offset pairs
constexpr uint32_t kPropertyCount = 10;
// The reader's text buffer holds counts below this.
constexpr uint32_t kMaxTextCount = 1024;

void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put64(std::vector<uint8_t>& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Set32(std::vector<uint8_t>& out, size_t at, uint32_t v) { PutU32(out.data() + at, v); }

// Reads at offset only when the whole value lies inside the stream.
bool Get16(const std::vector<uint8_t>& s, uint64_t at, uint16_t& v) {
  if (at + 2 > s.size()) return false;
  v = GetU16(s.data() + at);
  return true;
}
bool Get32(const std::vector<uint8_t>& s, uint64_t at, uint32_t& v) {
  if (at + 4 > s.size()) return false;
  v = GetU32(s.data() + at);
  return true;
}

struct Value {
  uint32_t id;
  bool is_time;
  std::string text;
  uint64_t time;
};

void PutText(std::vector<uint8_t>& out, const std::string& text, bool empty_is_zero) {
  Put32(out, kVtLpstr);
  size_t len = std::min(std::strlen(text.c_str()), kSummaryMaxText);
  if (len == 0 && empty_is_zero) {
    Put32(out, 0);
    return;
  }
  uint32_t count = static_cast<uint32_t>((len + 4) / 4 * 4);
  Put32(out, count);
  out.insert(out.end(), text.begin(), text.begin() + static_cast<long>(len));
  out.resize(out.size() + (count - len), 0);
}

}  // namespace

uint64_t CurrentFileTime() {
  using namespace std::chrono;
  // 11644473600 seconds lie between 1601-01-01 and 1970-01-01.
  auto since_epoch = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
  return static_cast<uint64_t>(since_epoch) * 10 + 116444736000000000ull;
}

std::vector<uint8_t> EncodeSummaryInformation(SummaryProperties& props, uint64_t now) {
  props.revision += 1;
  if (props.create_time_flag == 0 || props.create_time == 0) {
    props.create_time = now;
    props.create_time_flag = 1;
  }
  const std::string revision = std::to_string(props.revision);
  struct Item {
    uint32_t id;
    const std::string* text;
    uint64_t time;
  };
  const Item items[kPropertyCount] = {
      {2, &props.title, 0},       {3, &props.subject, 0},  {4, &props.author, 0},
      {5, &props.keywords, 0},    {6, &props.comments, 0}, {8, &props.last_author, 0},
      {9, &revision, 0},          {12, nullptr, props.create_time},
      {13, nullptr, now},         {18, nullptr, 0},
  };
  static const std::string kAppName = "K&M";

  std::vector<uint8_t> out;
  Put16(out, 0xFFFE);
  Put16(out, 0);
  Put32(out, 0x00020004);  // originating system: version word of the platform, high word 2
  out.insert(out.end(), kFmtId, kFmtId + 16);
  Put32(out, 1);
  out.insert(out.end(), kFmtId, kFmtId + 16);
  Put32(out, kHeaderSize);

  const size_t section = out.size();
  Put32(out, 0);  // size, filled in below
  Put32(out, kPropertyCount);
  const size_t pairs = out.size();
  out.resize(out.size() + kPropertyCount * 8, 0);
  for (uint32_t i = 0; i < kPropertyCount; ++i) {
    Set32(out, pairs + i * 8, items[i].id);
    Set32(out, pairs + i * 8 + 4, static_cast<uint32_t>(out.size() - section));
    if (items[i].id == 18) {
      PutText(out, kAppName, false);
    } else if (items[i].text != nullptr) {
      PutText(out, *items[i].text, items[i].id == 6);
    } else {
      Put32(out, kVtFiletime);
      Put64(out, items[i].time);
    }
  }
  Set32(out, section, static_cast<uint32_t>(out.size() - section));
  return out;
}

void DecodeSummaryInformation(const std::vector<uint8_t>& s, SummaryProperties& props) {
  if (s.size() < kHeaderSize) return;
  uint16_t order = 0, format = 0;
  Get16(s, 0, order);
  Get16(s, 2, format);
  if (order != 0xFFFE || format != 0) return;
  if (std::memcmp(&s[8], kFmtId, 4) != 0 || std::memcmp(&s[28], kFmtId, 4) != 0) return;
  uint32_t section = 0;
  Get32(s, 44, section);
  if (static_cast<uint64_t>(section) + kSectionHead > s.size()) return;
  uint32_t count = 0;
  Get32(s, section + 4, count);
  const uint32_t n = std::min(count, kPropertyCount);
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t id = 0, offset = 0, type = 0;
    Get32(s, section + 8 + i * 8, id);
    Get32(s, section + 12 + i * 8, offset);
    const uint64_t at = static_cast<uint64_t>(section) + offset;
    if (id == 2 || id == 3 || id == 4 || id == 5 || id == 9) {
      uint32_t len = 0;
      if (!Get32(s, at, type) || type != kVtLpstr || !Get32(s, at + 4, len)) return;
      if (len >= kMaxTextCount || at + 8 + len > s.size()) return;
      const char* begin = reinterpret_cast<const char*>(&s[at + 8]);
      std::string text(begin, strnlen(begin, len));
      switch (id) {
        case 2: props.title = text; break;
        case 3: props.subject = text; break;
        case 4: props.author = text; break;
        case 5: props.keywords = text; break;
        default: props.revision = static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10)); break;
      }
    } else if (id == 12) {
      if (!Get32(s, at, type) || type != kVtFiletime || at + 12 > s.size()) return;
      uint64_t t = 0;
      for (int k = 7; k >= 0; --k) t = (t << 8) | s[at + 4 + k];
      // Keeping the read time lets every later save carry the true creation time.
      if (t != 0) {
        props.create_time = t;
        props.create_time_flag = 1;
      }
    }
  }
}
