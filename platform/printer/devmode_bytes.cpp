// The stored form of a device mode, read and written byte by byte.
#include "platform/printer/printer_info.h"

#include <cstring>

namespace {

constexpr size_t kNameSize = 32;
constexpr size_t kOffSpecVersion = 32;
constexpr size_t kOffSize = 36;
constexpr size_t kOffFields = 40;
constexpr size_t kOffOrientation = 44;
constexpr size_t kOffPaperSize = 46;
constexpr size_t kOffPaperLength = 48;
constexpr size_t kOffPaperWidth = 50;
constexpr size_t kOffCopies = 54;
constexpr size_t kOffDefaultSource = 56;
constexpr size_t kOffPrintQuality = 58;
constexpr size_t kOffYResolution = 64;
constexpr size_t kOffCollate = 68;
constexpr size_t kMinimumSize = 70;  // through the collate member
constexpr WORD kSpecVersion = 0x0401;

WORD Get16(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }
DWORD Get32(const BYTE* p) { return Get16(p) | (static_cast<DWORD>(Get16(p + 2)) << 16); }
void Put16(BYTE* p, WORD v) {
  p[0] = static_cast<BYTE>(v);
  p[1] = static_cast<BYTE>(v >> 8);
}
void Put32(BYTE* p, DWORD v) {
  Put16(p, static_cast<WORD>(v));
  Put16(p + 2, static_cast<WORD>(v >> 16));
}

}  // namespace

bool DecodeDevMode(const BYTE* bytes, size_t size, PrinterDevMode* out) {
  if (!bytes || !out || size < kMinimumSize) return false;
  size_t own = Get16(bytes + kOffSize);
  if (own < kMinimumSize) return false;
  PrinterDevMode m;
  std::memcpy(m.deviceName, bytes, kNameSize - 1);
  m.deviceName[kNameSize - 1] = 0;
  m.fields = Get32(bytes + kOffFields);
  m.orientation = static_cast<SHORT>(Get16(bytes + kOffOrientation));
  m.paperSize = static_cast<SHORT>(Get16(bytes + kOffPaperSize));
  m.paperLength = static_cast<SHORT>(Get16(bytes + kOffPaperLength));
  m.paperWidth = static_cast<SHORT>(Get16(bytes + kOffPaperWidth));
  m.copies = static_cast<SHORT>(Get16(bytes + kOffCopies));
  m.defaultSource = static_cast<SHORT>(Get16(bytes + kOffDefaultSource));
  m.printQuality = static_cast<SHORT>(Get16(bytes + kOffPrintQuality));
  m.yResolution = static_cast<SHORT>(Get16(bytes + kOffYResolution));
  m.collate = static_cast<SHORT>(Get16(bytes + kOffCollate));
  *out = m;
  return true;
}

void EncodeDevMode(const PrinterDevMode& m, BYTE* out) {
  std::memset(out, 0, kDevModeStoredSize);
  std::memcpy(out, m.deviceName, kNameSize - 1);
  Put16(out + kOffSpecVersion, kSpecVersion);
  Put16(out + kOffSize, static_cast<WORD>(kDevModeStoredSize));
  Put32(out + kOffFields, m.fields);
  Put16(out + kOffOrientation, static_cast<WORD>(m.orientation));
  Put16(out + kOffPaperSize, static_cast<WORD>(m.paperSize));
  Put16(out + kOffPaperLength, static_cast<WORD>(m.paperLength));
  Put16(out + kOffPaperWidth, static_cast<WORD>(m.paperWidth));
  Put16(out + kOffCopies, static_cast<WORD>(m.copies));
  Put16(out + kOffDefaultSource, static_cast<WORD>(m.defaultSource));
  Put16(out + kOffPrintQuality, static_cast<WORD>(m.printQuality));
  Put16(out + kOffYResolution, static_cast<WORD>(m.yResolution));
  Put16(out + kOffCollate, static_cast<WORD>(m.collate));
}
