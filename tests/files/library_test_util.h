// Helpers for the library-file tests: a scratch folder, whole-file access and
// a small independent builder of library images, so that hostile files can be
// made byte by byte without going through the engine.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace libtest {

using Bytes = std::vector<uint8_t>;

inline std::string ScratchDir() {
  static std::string dir;
  if (dir.empty()) {
    char tmpl[] = "/tmp/vt_lib_XXXXXX";
    char* made = mkdtemp(tmpl);
    dir = made != nullptr ? made : "/tmp";
  }
  return dir;
}

inline std::string FreshPath(const std::string& name) {
  std::string p = ScratchDir() + "/" + name;
  std::remove(p.c_str());
  return p;
}

inline Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline void Put16(Bytes& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint32_t Get16(const Bytes& b, size_t at) { return b[at] | (b[at + 1] << 8); }
inline uint32_t Get32(const Bytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

// Builds a library image record by record.
class Image {
 public:
  explicit Image(uint32_t recordLength, uint16_t kind = 8) : r_(recordLength), kind_(kind) {
    Ensure(1);
    next_ = 2;  // record 1 is the directory
  }
  uint32_t R() const { return r_; }
  uint32_t NewRecord() {
    Ensure(next_);
    return next_++;
  }
  size_t Offset(uint32_t rec) const { return static_cast<size_t>(rec) * r_; }
  void SetLink(uint32_t rec, uint32_t link) {
    size_t at = Offset(rec);
    bytes_[at] = static_cast<uint8_t>(link >> 16);
    bytes_[at + 1] = static_cast<uint8_t>(link);
    bytes_[at + 2] = static_cast<uint8_t>(link >> 8);
  }
  // Writes data as a chain starting at first (more records taken as needed).
  void WriteChain(uint32_t first, const Bytes& data) {
    uint32_t rec = first;
    size_t pos = 0;
    for (;;) {
      size_t take = std::min<size_t>(r_ - 3, data.size() - pos);
      for (size_t i = 0; i < take; ++i) bytes_[Offset(rec) + 3 + i] = data[pos + i];
      pos += take;
      if (pos >= data.size()) {
        SetLink(rec, 0);
        return;
      }
      uint32_t next = NewRecord();
      SetLink(rec, next);
      rec = next;
    }
  }
  uint32_t AddChain(const Bytes& data) {
    uint32_t first = NewRecord();
    WriteChain(first, data);
    return first;
  }
  Bytes& Raw() { return bytes_; }
  uint32_t NextNew() const { return next_; }
  // Finishes the header and gives the file's bytes.
  Bytes Finish(uint32_t freeHead = 0, uint32_t directory = 1) {
    Bytes out = bytes_;
    out[3] = 1;
    out[4] = 3;
    Put32(out, 5, freeHead);
    Put32(out, 9, directory);
    Put32(out, 13, next_);
    Put16(out, 17, static_cast<uint32_t>(out.size() / 512));
    Put16(out, 19, r_);
    Put16(out, 21, kind_);
    return out;
  }

 private:
  void Ensure(uint32_t rec) {
    size_t need = (static_cast<size_t>(rec) * r_ / 512 + 1) * 512;
    if (bytes_.size() < need) bytes_.resize(need, 0);
  }
  uint32_t r_;
  uint16_t kind_;
  uint32_t next_ = 1;
  Bytes bytes_;
};

// Directory data: u16 count, then {u8 length, u32 first, name} per entry.
struct DirEntry {
  std::string name;
  uint32_t first;
  int lengthByte = -1;  // override of the stored length, for hostile files
};
inline Bytes DirectoryData(const std::vector<DirEntry>& entries, int countOverride = -1) {
  Bytes d(2, 0);
  Put16(d, 0, countOverride >= 0 ? static_cast<uint32_t>(countOverride)
                                 : static_cast<uint32_t>(entries.size()));
  for (const DirEntry& e : entries) {
    d.push_back(static_cast<uint8_t>(e.lengthByte >= 0 ? e.lengthByte : e.name.size()));
    for (int i = 0; i < 4; ++i) d.push_back(static_cast<uint8_t>(e.first >> (8 * i)));
    d.insert(d.end(), e.name.begin(), e.name.end());
  }
  return d;
}

}  // namespace libtest
