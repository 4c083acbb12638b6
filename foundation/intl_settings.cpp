#include "foundation/intl_settings.h"

#include "platform/win/profile.h"

#include <cstring>

namespace {
constexpr const char* kIntl = "intl";

void ReadText(const char* key, const char* def, char* out, unsigned size) {
  GetProfileStringA(kIntl, key, def, out, size);
}
// The first character of a value, or the default for an empty or missing key.
char ReadChar(const char* key, char def) {
  char buf[8];
  const char d[2] = {def, 0};
  ReadText(key, d, buf, sizeof buf);
  return buf[0] ? buf[0] : def;
}
void LowerAscii(char* s) {
  for (; *s; ++s)
    if (*s >= 'A' && *s <= 'Z') *s = static_cast<char>(*s + 32);
}
}  // namespace

void ReadIntlNumberSettings(IntlSettings& s) {
  s.sDecimal = ReadChar("sDecimal", '.');
  s.sThousand = ReadChar("sThousand", ',');
  int iCurrency = static_cast<int>(GetProfileIntA(kIntl, "iCurrency", 0));
  s.currencyBefore = (iCurrency == 0 || iCurrency == 2) ? 1 : 0;
  char symbol[16];
  ReadText("sCurrency", "$", symbol, sizeof symbol);
  // Room for the symbol and its blank inside the 16-byte field.
  symbol[14] = 0;
  if (iCurrency == 3) {
    s.sCurrency[0] = ' ';
    std::strcpy(s.sCurrency + 1, symbol);
  } else {
    std::strcpy(s.sCurrency, symbol);
    if (iCurrency == 2) std::strcat(s.sCurrency, " ");
  }
  s.currencyLength = static_cast<int32_t>(std::strlen(s.sCurrency));
}

void ReadIntlDateSettings(IntlSettings& s) {
  ReadText("sShortDate", "M/D/Y", s.sShortDate, sizeof s.sShortDate);
  char longDate[80];
  ReadText("sLongDate", "MMMM d, yyyy", longDate, sizeof longDate);
  // A picture that begins with a quoted blank loses those three characters.
  const char* from = std::strncmp(longDate, "' '", 3) == 0 ? longDate + 3 : longDate;
  std::memmove(s.sLongDate, from, std::strlen(from) + 1);
}

void ReadIntlTimeSettings(IntlSettings& s) {
  ReadText("s1159", "am", s.s1159, sizeof s.s1159);
  ReadText("s2359", "pm", s.s2359, sizeof s.s2359);
  LowerAscii(s.s1159);
  LowerAscii(s.s2359);
  char sep[8];
  ReadText("sTime", ":", sep, sizeof sep);
  s.sTime = sep[0] ? sep[0] : ' ';
  uint16_t flags = kTimeFlagSeconds;
  if (GetProfileIntA(kIntl, "iTime", 0) != 0) flags |= kTimeFlag24Hour;
  if (GetProfileIntA(kIntl, "iTLZero", 1) != 0) flags |= kTimeFlagLeadingZero;
  s.timeFlags = flags;
}

int32_t ReadIntlSettings(IntlSettings& s) {
  s.iMeasure = static_cast<int32_t>(GetProfileIntA(kIntl, "iMeasure", 1));
  ReadIntlDateSettings(s);
  ReadIntlTimeSettings(s);
  s.iNegCurr = static_cast<uint8_t>(GetProfileIntA(kIntl, "iNegCurr", 0));
  ReadIntlNumberSettings(s);
  return s.iMeasure;
}
