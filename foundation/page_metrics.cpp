#include "foundation/page_metrics.h"

#include "app/shell_standins.h"
#include "expr/calendar.h"
#include "foundation/heap_strings.h"
#include "foundation/startup.h"
#include "foundation/units.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {
// Record values are 32-bit; the conversions take 16-bit measures.
WORD Measure16(int32_t v) { return static_cast<WORD>(v < 0 ? 0 : v > 65535 ? 65535 : v); }

bool Metric(const CKmDoc& doc) { return doc.m_measure == 0; }

// A length in the report's measure as hundredths of an inch.
int32_t UnitToHundredths(const CKmDoc& doc, int32_t v) {
  return Metric(doc) ? static_cast<int32_t>(ConvertMeasure(Measure16(v), kMeasureHundredths, kMeasureTenthsMm, 10, 0))
                     : v;
}
int32_t TenthsToHundredths(int32_t v) {
  return static_cast<int32_t>(ConvertMeasure(Measure16(v), kMeasureHundredths, kMeasureTenthsMm, 10, 0));
}

LayoutMetrics Screen(const CKmDoc& doc) {
  LayoutMetrics m;
  m.dpiX = g_screen.dpiX;
  m.dpiY = g_screen.dpiY;
  m.pitch = doc.m_settings.rulPit;
  m.linesPerInch = doc.m_settings.vRulPit;
  m.snapping = doc.m_settings.snapTo != 0;
  m.metric = Metric(doc);
  return m;
}

class Writer {
 public:
  Writer(char* buffer, size_t size) : buf_(buffer), size_(size) {
    if (size_) buf_[0] = '\0';
  }
  void Put(char c) {
    if (len_ + 1 < size_) {
      buf_[len_++] = c;
      buf_[len_] = '\0';
    }
  }
  void Puts(const char* s, size_t max = static_cast<size_t>(-1)) {
    for (size_t i = 0; s[i] && i < max; ++i) Put(s[i]);
  }
  void Number(const char* format, int v) {
    char t[16];
    std::snprintf(t, sizeof t, format, v);
    Puts(t);
  }
  int Length() const { return static_cast<int>(len_); }

 private:
  char* buf_;
  size_t size_;
  size_t len_ = 0;
};
}  // namespace

int CalcPrintableWidth(CKmDoc& doc) {
  const PageSetupRec* p = doc.m_pPageSetup;
  if (p == nullptr) return 0;
  const int pitch = doc.m_settings.rulPit;
  const int unit = Metric(doc) ? kMeasureTenthsMm : kMeasureHundredths;
  const long page = ConvertMeasure(Measure16(p->PaperWidth), kMeasureChars, kMeasureTenthsMm, pitch, 0);
  const long margins = static_cast<long>(ConvertMeasure(Measure16(p->LeftMargin), kMeasureChars, unit, pitch, 0)) +
                       ConvertMeasure(Measure16(p->RightMargin), kMeasureChars, unit, pitch, 0);
  const long width = page - margins;
  doc.m_pageMetrics.printableWidth = static_cast<int32_t>(width < 0 ? 0 : width);
  return doc.m_pageMetrics.printableWidth;
}

void CalcPageMetrics(CKmDoc& doc) {
  const PageSetupRec* p = doc.m_pPageSetup;
  if (p == nullptr) return;
  PageMetrics& m = doc.m_pageMetrics;
  const int32_t height = TenthsToHundredths(p->PaperLength);
  const int32_t width = TenthsToHundredths(p->PaperWidth);
  m.pageHeight720 = height * 720 / 100;
  m.pageWidth720 = width * 720 / 100;
  m.pageWidthPixels = HundredthsToPixelsX(Screen(doc), width);
  m.bottomMargin720 = UnitToHundredths(doc, p->BottomMargin) * 720 / 100;
  CalcPrintableWidth(doc);
}

int FormatDateByPictureEx(const CKmDoc& doc, int month, int day, int year, int useLong, char* buffer,
                          size_t size, int fourDigitYear) {
  Writer out(buffer, size);
  const char* pic = useLong ? doc.m_intl.sLongDate : doc.m_intl.sShortDate;
  const bool empty = month == 255;
  int weekday = -1;
  auto weekdayOf = [&]() {
    if (weekday < 0) {
      DateParts parts;
      parts.year = year;
      parts.month = static_cast<uint8_t>(month);
      parts.day = static_cast<uint8_t>(day);
      DayNumber julian = 0;
      DateParts back;
      weekday = (YMDToJulian(parts, julian) == 0 && JulianToYMD(julian, back) == 0) ? back.weekday : 7;
    }
    return weekday;
  };
  const size_t picLength = strnlen(pic, useLong ? sizeof doc.m_intl.sLongDate : sizeof doc.m_intl.sShortDate);
  for (size_t i = 0; i < picLength;) {
    const char c = pic[i];
    if (c == '\'' || c == '"') {
      size_t j = i + 1;
      while (j < picLength && pic[j] != c) out.Put(pic[j++]);
      i = j < picLength ? j + 1 : j;
      continue;
    }
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower != 'd' && lower != 'm' && lower != 'y') {
      out.Put(c);
      ++i;
      continue;
    }
    // A run of the letter in either case.
    int run = 1;
    while (i + run < picLength && std::tolower(static_cast<unsigned char>(pic[i + run])) == lower) ++run;
    i += run;
    if (run > 4) run = 4;
    if (lower == 'y') {
      const bool four = run == 4 || fourDigitYear;
      if (empty) out.Puts(four ? "****" : "**");
      else out.Number(four ? "%04d" : "%02d", four ? year : ((year % 100) + 100) % 100);
      continue;
    }
    if (empty) {
      for (int k = 0; k < run; ++k) out.Put('*');
      continue;
    }
    const int value = lower == 'd' ? day : month;
    if (run <= 2) {
      out.Number(run == 1 ? "%d" : "%02d", value);
      continue;
    }
    const char* name = lower == 'd' ? GetDayName(weekdayOf()) : GetMonthName(month);
    out.Puts(name, run == 3 ? 3 : static_cast<size_t>(-1));
  }
  return out.Length();
}

int FormatDateByPicture(const CKmDoc& doc, int month, int day, int year, int useLong, char* buffer,
                        size_t size) {
  return FormatDateByPictureEx(doc, month, day, year, useLong, buffer, size, 0);
}
