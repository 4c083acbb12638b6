// Windows-1252 <-> Qt text at the window boundary. The five bytes Windows
// leaves undefined map to the C1 controls of the same value, so every byte
// survives a round trip.
#include "platform/win/ui_internal.h"

#include <cstring>

namespace {
const char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t ToUnicode(unsigned char c) {
  return (c >= 0x80 && c < 0xA0) ? kHigh[c - 0x80] : static_cast<char16_t>(c);
}
}  // namespace

namespace vt_ui {
QString FromAnsi(const char* text, int length) {
  if (text == nullptr) return QString();
  size_t n = length < 0 ? std::strlen(text) : static_cast<size_t>(length);
  QString out;
  out.reserve(static_cast<int>(n));
  for (size_t i = 0; i < n; ++i) out.append(QChar(ToUnicode(static_cast<unsigned char>(text[i]))));
  return out;
}

QString FromAnsi(const std::string& text) { return FromAnsi(text.data(), static_cast<int>(text.size())); }

std::string ToAnsi(const QString& text) {
  std::string out;
  out.reserve(static_cast<size_t>(text.size()));
  for (QChar q : text) {
    char16_t u = q.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
      out.push_back(static_cast<char>(u));
      continue;
    }
    char c = '?';
    for (int i = 0; i < 32; ++i) {
      if (kHigh[i] == u) {
        c = static_cast<char>(0x80 + i);
        break;
      }
    }
    out.push_back(c);
  }
  return out;
}
}  // namespace vt_ui
