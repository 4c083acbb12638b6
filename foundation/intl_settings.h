// The user's regional conventions (numbers, currency, dates, times,
// measurement), read from the [intl] section of win.ini with the Windows
// defaults when a key or the whole file is missing. The document keeps its
// own copy; formatting reads that copy, never the C library's locale.
#pragma once

#include <cstdint>

// Time-format flags of the document.
constexpr uint16_t kTimeFlagSeconds = 1;  // always set by the reader
constexpr uint16_t kTimeFlag24Hour = 2;
constexpr uint16_t kTimeFlagLeadingZero = 4;

struct IntlSettings {
  char sDecimal = '.';
  char sThousand = ',';
  int32_t currencyBefore = 1;  // the symbol goes in front of the number
  char sCurrency[16] = "$";    // with the blank that iCurrency asks for
  int32_t currencyLength = 1;
  uint8_t iNegCurr = 0;
  char sShortDate[80] = "M/D/Y";
  char sLongDate[80] = "MMMM d, yyyy";
  char s1159[8] = "am";
  char s2359[8] = "pm";
  char sTime = ':';
  uint16_t timeFlags = kTimeFlagSeconds | kTimeFlagLeadingZero;
  int32_t iMeasure = 1;  // 0 metric, 1 inches
};

// Each reader fills its part of settings from win.ini [intl].
void ReadIntlNumberSettings(IntlSettings& settings);
void ReadIntlDateSettings(IntlSettings& settings);
void ReadIntlTimeSettings(IntlSettings& settings);
// The whole [intl] read in the document's order: measurement, dates, times,
// the negative-currency form, numbers. Returns the measurement system read;
// the document converts its measures when it differs from the one it had.
int32_t ReadIntlSettings(IntlSettings& settings);
