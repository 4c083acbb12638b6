// The xBase table (dBase III): a header with one 32-byte descriptor per
// column, fixed-width records, and memo texts in a .DBT file of 512-byte
// blocks beside it.
#include "export/row_library.h"

#include "core/fields.h"
#include "expr/calendar.h"
#include "expr/number_text.h"
#include "foundation/byte_order.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

constexpr size_t kHeaderSize = 32;
constexpr size_t kDescriptorSize = 32;
constexpr size_t kMemoBlock = 512;
constexpr uint32_t kMaxCharWidth = 254;
constexpr uint32_t kMaxNumberWidth = 20;
constexpr uint8_t kCodePageAnsi = 0x57;  // language driver: Windows ANSI

bool IsEmptyDay(uint32_t d) { return d == 0x80000000u || d == 0x7FFFFFFFu || d == 0x80000001u; }

std::string MemoPath(const std::string& dbf) {
  size_t slash = dbf.find_last_of("/\\");
  size_t dot = dbf.find_last_of('.');
  std::string base = dot != std::string::npos && (slash == std::string::npos || dot > slash) ? dbf.substr(0, dot) : dbf;
  bool lower = dot != std::string::npos && dot + 1 < dbf.size() && std::islower(static_cast<unsigned char>(dbf[dot + 1]));
  return base + (lower ? ".dbt" : ".DBT");
}

class XbaseLibrary : public RowExportLibrary {
 protected:
  bool WriteHeader(ExportJobRecord* job) override {
    std::vector<std::string> taken;
    recordSize_ = 1;
    hasMemo_ = false;
    for (ExportColumn& c : columns_) {
      c.name = UniqueColumnName(c.desc.name, 10, &taken);
      switch (c.desc.type) {
        case 'N':
          c.desc.width = std::clamp<uint32_t>(c.desc.width, 1, kMaxNumberWidth);
          c.desc.decimals = std::min<uint32_t>(c.desc.decimals, c.desc.width > 2 ? c.desc.width - 2 : 0);
          break;
        case 'D': c.desc.width = 8; c.desc.decimals = 0; break;
        case 'L': c.desc.width = 1; c.desc.decimals = 0; break;
        case 'M': c.desc.width = 10; c.desc.decimals = 0; hasMemo_ = true; break;
        default:
          c.desc.type = 'C';
          c.desc.width = std::clamp<uint32_t>(c.desc.width, 1, kMaxCharWidth);
          c.desc.decimals = 0;
          break;
      }
      recordSize_ += c.desc.width;
    }
    headerSize_ = kHeaderSize + kDescriptorSize * columns_.size() + 1;
    std::vector<uint8_t> h(headerSize_, 0);
    h[0] = hasMemo_ ? 0x83 : 0x03;
    std::time_t now = std::time(nullptr);
    std::tm tm {};
    localtime_r(&now, &tm);
    h[1] = static_cast<uint8_t>(tm.tm_year);
    h[2] = static_cast<uint8_t>(tm.tm_mon + 1);
    h[3] = static_cast<uint8_t>(tm.tm_mday);
    PutU16(&h[8], static_cast<uint16_t>(headerSize_));
    PutU16(&h[10], static_cast<uint16_t>(recordSize_));
    h[29] = kCodePageAnsi;
    for (size_t i = 0; i < columns_.size(); ++i) {
      uint8_t* d = &h[kHeaderSize + i * kDescriptorSize];
      std::memcpy(d, columns_[i].name.data(), std::min<size_t>(columns_[i].name.size(), 10));
      d[11] = columns_[i].desc.type;
      d[16] = static_cast<uint8_t>(columns_[i].desc.width);
      d[17] = static_cast<uint8_t>(columns_[i].desc.decimals);
    }
    h[headerSize_ - 1] = 0x0D;
    if (recordSize_ > 0xFFFF || headerSize_ > 0xFFFF) return false;
    if (hasMemo_) {
      if (!memo_.Open(MemoPath(job->fileName))) return false;
      std::vector<uint8_t> block(kMemoBlock, 0);
      PutU32(block.data(), 1);
      block[16] = 0x03;
      memo_.Write(block.data(), block.size());
      nextBlock_ = 1;
    }
    return out_.Write(h.data(), h.size());
  }

  bool WriteRow(ExportJobRecord*) override {
    std::string rec(recordSize_, ' ');
    size_t at = 1;
    for (size_t i = 0; i < columns_.size(); ++i) {
      const ExportColumn& c = columns_[i];
      std::string v = Cell(c, row_[i]);
      if (v.size() > c.desc.width) v.resize(c.desc.width);
      // Numbers stand right in their width, everything else left.
      size_t pad = c.desc.type == 'N' || c.desc.type == 'M' ? c.desc.width - v.size() : 0;
      std::memcpy(&rec[at + pad], v.data(), v.size());
      at += c.desc.width;
    }
    return out_.Write(rec) && (!hasMemo_ || memo_.Ok());
  }

  bool Finish(ExportJobRecord* job) override {
    const uint8_t eof = 0x1A;
    out_.Write(&eof, 1);
    uint8_t count[4];
    PutU32(count, job->count);
    out_.WriteAt(4, count, 4);
    if (!hasMemo_) return out_.Ok();
    uint8_t next[4];
    PutU32(next, nextBlock_);
    memo_.WriteAt(0, next, 4);
    // The table is put in place last, so a failed memo file leaves neither.
    return memo_.Ok() && out_.Ok() && memo_.Commit();
  }

 private:
  std::string Cell(const ExportColumn& c, const ExportCell& cell) {
    if (!cell.set || cell.empty) return std::string();
    char buf[64];
    switch (c.desc.type) {
      case 'N': {
        double d = ExportNumber(cell.raw);
        if (!std::isfinite(d)) return std::string();
        // Rounded as the report and the delimited files round it (a half away from zero).
        std::string text = FormatFixed(d, static_cast<int>(c.desc.decimals));
        if (text.size() > c.desc.width) return std::string(c.desc.width, '*');
        return text;
      }
      case 'D': {
        uint32_t day = static_cast<uint32_t>(ExportDay(cell.raw));
        DateParts p;
        if (IsEmptyDay(day) || JulianToYMD(static_cast<DayNumber>(static_cast<int32_t>(day)), p) != 0 ||
            p.year < 0 || p.year > 9999)
          return std::string();
        std::snprintf(buf, sizeof buf, "%04d%02d%02d", static_cast<int>(p.year), p.month, p.day);
        return buf;
      }
      case 'L': return cell.raw[0] ? "T" : "F";
      case 'M': return WriteMemo(cell.text);
      default: return cell.text;
    }
  }

  // The memo's blocks: its text, then two end marks; the record holds the
  // first block's number.
  std::string WriteMemo(const std::string& text) {
    if (text.empty()) return std::string();
    std::string body = text;
    body.erase(std::remove(body.begin(), body.end(), '\x1A'), body.end());
    body += "\x1A\x1A";
    size_t blocks = (body.size() + kMemoBlock - 1) / kMemoBlock;
    body.resize(blocks * kMemoBlock, '\0');
    const uint32_t first = nextBlock_;
    memo_.Write(body);
    nextBlock_ += static_cast<uint32_t>(blocks);
    return std::to_string(first);
  }

  ExportOutputFile memo_;
  size_t headerSize_ = 0, recordSize_ = 0;
  bool hasMemo_ = false;
  uint32_t nextBlock_ = 1;
};

}  // namespace

std::unique_ptr<ExportLibrary> CreateXbaseLibrary() { return std::make_unique<XbaseLibrary>(); }
