#include "foundation/page_metrics.h"

#include "app/shell_standins.h"
#include "expr/value_format.h"
#include "foundation/heap_strings.h"
#include "foundation/startup.h"
#include "foundation/units.h"

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
  if (buffer == nullptr || size == 0) return 0;
  // The value formatter walks the pictures; here its text is bounded by the
  // caller's buffer.
  FormatSettings settings;
  settings.intl = doc.m_intl;
  char text[256];
  ::FormatDateByPicture(settings, month, day, year, useLong != 0, text, fourDigitYear != 0);
  std::snprintf(buffer, size, "%s", text);
  return static_cast<int>(std::strlen(buffer));
}

int FormatDateByPicture(const CKmDoc& doc, int month, int day, int year, int useLong, char* buffer,
                        size_t size) {
  return FormatDateByPictureEx(doc, month, day, year, useLong, buffer, size, 0);
}
