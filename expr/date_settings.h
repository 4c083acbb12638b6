// The regional date and time settings that reading and writing dates follow,
// as the document keeps them (its copy of the [intl] values), together with
// the order and separator derived from the short-date picture.
#pragma once

#include <cstdint>

struct DateSettings {
  char shortDate[81] = "M/D/Y";  // short-date picture
  char timeSeparator = ':';      // first character of sTime; a blank when empty
  char morningMarker[9] = "am";  // lower-cased
  char afternoonMarker[9] = "pm";
  // Bit 0 always; 2: 24-hour clock; 4: leading zero; 0x8000 only from a report.
  uint16_t timeFlags = 0x5;
  // Derived by GetDateOrder; a separator of 0 counts as absent from every text.
  char dateSeparator = 0;
  char dateOrder[3] = {'m', 'd', 'y'};
  // The model's pad character: blanks inside string literals, read as blanks in dates.
  char padChar = static_cast<char>(0xB7);
};

// Takes the date and time part of the document's [intl] copy.
struct IntlSettings;
void ApplyIntlDateSettings(const IntlSettings& intl, DateSettings& out);
