// The worksheet (WKS): a stream of typed records, a row of field names, then
// one row per exported line; numbers, dates and times as numbers carrying a
// display format, everything else as labels.
#include "export/row_library.h"

#include "expr/calendar.h"
#include "foundation/byte_order.h"
#include "platform/win/codepage.h"

#include <algorithm>
#include <cmath>
#include <vector>
#include <cstring>

namespace {

constexpr uint16_t kRecBof = 0x00, kRecEof = 0x01, kRecRange = 0x06, kRecColumnWidth = 0x08;
constexpr uint16_t kRecNumber = 0x0E, kRecLabel = 0x0F;
constexpr size_t kMaxLabel = 240;
// Rows 0 to 8,191: the field names and 8,191 rows of values.
constexpr uint32_t kMaxRows = 8192;
constexpr uint8_t kFormatDefault = 0xFF;
constexpr uint8_t kFormatGeneral = 0x71;

bool IsEmptyDay(uint32_t d) { return d == 0x80000000u || d == 0x7FFFFFFFu || d == 0x80000001u; }

// Days from 1899-12-30, the worksheet's day 0 as every current reader counts it.
double SerialOfDay(int32_t day, bool* ok) {
  DateParts p;
  *ok = JulianToYMD(day, p) == 0;
  if (!*ok) return 0;
  int64_t y = p.year, m = p.month, d = p.day;
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t unixDays = era * 146097 + doe - 719468;
  return static_cast<double>(unixDays + 25569);
}

uint8_t FormatByte(uint32_t code, uint32_t decimals) {
  const uint8_t dec = static_cast<uint8_t>(decimals > 15 ? 15 : decimals);
  switch (code) {
    case 1: return 0x10 | dec;
    case 2: return kFormatGeneral;
    case 3: return 0x30 | dec;
    case 4: return 0x00 | dec;
    case 5: return 0x20 | dec;
    case 6: return 0x40 | dec;
    case 7: return 0x74;
    case 8: return 0x73;
    case 9: return 0x72;
    case 10: return 0x79;
    case 11: return 0x7A;
    case 12: return 0x77;
    case 13: return 0x78;
    case 15: return 0x7B;
    default: return kFormatDefault;
  }
}

class WorksheetLibrary : public RowExportLibrary {
 protected:
  bool WriteHeader(ExportJobRecord*) override {
    uint8_t bof[2];
    PutU16(bof, 0x0404);
    Record(kRecBof, bof, 2);
    rangeAt_ = out_.Tell() + 4;
    uint8_t range[8] = {};
    Record(kRecRange, range, 8);
    for (size_t i = 0; i < columns_.size(); ++i) {
      uint8_t w[3];
      PutU16(w, static_cast<uint16_t>(i));
      w[2] = static_cast<uint8_t>(std::min<uint32_t>(std::max<uint32_t>(columns_[i].desc.width + 1, 4), 72));
      Record(kRecColumnWidth, w, 3);
    }
    for (size_t i = 0; i < columns_.size(); ++i) Label(static_cast<uint16_t>(i), 0, columns_[i].desc.name);
    row_index_ = 1;
    return out_.Ok();
  }

  bool WriteRow(ExportJobRecord* job) override {
    if (row_index_ >= kMaxRows) {
      job->reason = "A worksheet holds at most 8,191 rows below its field names; this export has more, and " +
                    job->fileName + " was not written. Export to delimited text or xBase for more rows.";
      return false;
    }
    const uint16_t row = static_cast<uint16_t>(row_index_);
    for (size_t i = 0; i < columns_.size(); ++i) {
      const ExportColumn& c = columns_[i];
      const ExportCell& cell = row_[i];
      const uint16_t col = static_cast<uint16_t>(i);
      if (!cell.set || cell.empty) continue;
      const uint8_t format = FormatByte(c.desc.worksheetCode, c.desc.decimals);
      switch (c.desc.type) {
        case 'N': Number(col, row, ExportNumber(cell.raw), format); break;
        case 'L': Label(col, row, cell.raw[0] ? "T" : "F"); break;
        case 'T': Number(col, row, ExportDateTimeMicros(cell.raw) / 86400e6, format); break;
        case 'D':
        case kDescDateTime: {
          const uint32_t day = static_cast<uint32_t>(ExportDay(cell.raw));
          bool ok = false;
          double serial = IsEmptyDay(day) ? 0 : SerialOfDay(static_cast<int32_t>(day), &ok);
          if (!ok) break;
          if (c.desc.type == kDescDateTime) {
            const double t = ExportDateTimeMicros(cell.raw);
            if (t >= 0 && t < 86400e6) serial += t / 86400e6;
          }
          Number(col, row, serial, format);
          break;
        }
        default: Label(col, row, cell.text); break;
      }
    }
    ++row_index_;
    return out_.Ok();
  }

  bool Finish(ExportJobRecord*) override {
    Record(kRecEof, nullptr, 0);
    uint8_t range[8] = {};
    PutU16(range + 4, static_cast<uint16_t>(columns_.empty() ? 0 : columns_.size() - 1));
    PutU16(range + 6, static_cast<uint16_t>(row_index_ > 0 ? row_index_ - 1 : 0));
    out_.WriteAt(rangeAt_, range, 8);
    return out_.Ok();
  }

 private:
  void Record(uint16_t type, const uint8_t* data, size_t n) {
    uint8_t head[4];
    PutU16(head, type);
    PutU16(head + 2, static_cast<uint16_t>(n));
    out_.Write(head, 4);
    if (n) out_.Write(data, n);
  }
  void Number(uint16_t col, uint16_t row, double v, uint8_t format) {
    if (!std::isfinite(v)) return;
    uint8_t b[13];
    b[0] = format;
    PutU16(b + 1, col);
    PutU16(b + 3, row);
    PutF64(b + 5, v);
    Record(kRecNumber, b, sizeof b);
  }
  void Label(uint16_t col, uint16_t row, const std::string& text) {
    // Worksheet labels are in the DOS character set.
    std::string t = text.substr(0, kMaxLabel);
    CharToOemBuffA(t.c_str(), t.data(), static_cast<DWORD>(t.size()));
    std::vector<uint8_t> b(5 + 1 + t.size() + 1, 0);
    b[0] = kFormatDefault;
    PutU16(b.data() + 1, col);
    PutU16(b.data() + 3, row);
    b[5] = '\'';
    std::memcpy(b.data() + 6, t.data(), t.size());
    Record(kRecLabel, b.data(), b.size());
  }

  long rangeAt_ = 0;
  uint32_t row_index_ = 0;
};

}  // namespace

std::unique_ptr<ExportLibrary> CreateWorksheetLibrary() { return std::make_unique<WorksheetLibrary>(); }
