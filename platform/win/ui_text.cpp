// Windows-1252 <-> Qt text at the window boundary, through the code-page tables.
#include "platform/win/codepage.h"
#include "platform/win/fileio.h"
#include "platform/win/ui_internal.h"

#include <cstring>

namespace vt_ui {
QString FromAnsi(const char* text, int length) {
  if (text == nullptr) return QString();
  size_t n = length < 0 ? std::strlen(text) : static_cast<size_t>(length);
  QString out;
  out.reserve(static_cast<int>(n));
  for (size_t i = 0; i < n; ++i) out.append(QChar(static_cast<char16_t>(AnsiToUnicode(static_cast<unsigned char>(text[i])))));
  return out;
}

QString FromAnsi(const std::string& text) { return FromAnsi(text.data(), static_cast<int>(text.size())); }

QString FromProgramText(const char* text, int length) {
  if (text == nullptr) return QString();
  const size_t n = length < 0 ? std::strlen(text) : static_cast<size_t>(length);
  for (size_t i = 0; i < n; ++i)
    if (static_cast<unsigned char>(text[i]) >= 0x80) {
      const std::string shown = FileNameText(std::string(text, n));
      return QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
    }
  return FromAnsi(text, static_cast<int>(n));
}

QString FromProgramText(const std::string& text) { return FromProgramText(text.data(), static_cast<int>(text.size())); }

std::string ToAnsi(const QString& text) {
  std::string out;
  out.reserve(static_cast<size_t>(text.size()));
  for (QChar q : text) {
    int b = UnicodeToAnsi(q.unicode());
    out.push_back(b < 0 ? '?' : static_cast<char>(b));
  }
  return out;
}
}  // namespace vt_ui
