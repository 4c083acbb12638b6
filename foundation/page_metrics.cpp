#include "foundation/page_metrics.h"

#include "foundation/doc_base.h"
#include "foundation/startup.h"
#include "foundation/units.h"

namespace {
// Record values are 32-bit; the conversions take 16-bit measures.
WORD Measure16(int32_t v) { return static_cast<WORD>(v < 0 ? 0 : v > 65535 ? 65535 : v); }

bool Metric(const KmDocBase& doc) { return doc.m_measure == 0; }

// A length in the report's measure as hundredths of an inch.
int32_t UnitToHundredths(const KmDocBase& doc, int32_t v) {
  return Metric(doc) ? static_cast<int32_t>(ConvertMeasure(Measure16(v), kMeasureHundredths, kMeasureTenthsMm, 10, 0))
                     : v;
}
int32_t TenthsToHundredths(int32_t v) {
  return static_cast<int32_t>(ConvertMeasure(Measure16(v), kMeasureHundredths, kMeasureTenthsMm, 10, 0));
}

int32_t ConvertVert(int32_t v, int to, int from) {
  return static_cast<int32_t>(ConvertVertMeasure(Measure16(v), to, from, 0));
}

LayoutMetrics Screen(const KmDocBase& doc) {
  LayoutMetrics m;
  m.dpiX = g_screen.dpiX;
  m.dpiY = g_screen.dpiY;
  m.pitch = doc.m_settings.rulPit;
  m.snapping = doc.m_settings.snapTo != 0;
  m.metric = Metric(doc);
  return m;
}

}  // namespace

int CalcPrintableWidth(KmDocBase& doc) {
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

int32_t RecordPitch720(const KmDocBase& doc) {
  const PageSetupRec* p = doc.m_pPageSetup;
  if (p == nullptr || p->RecordHeight <= 0) return 0;
  return UnitToHundredths(doc, p->RecordHeight) * 720 / 100;
}

int32_t RecordWidthHundredths(const KmDocBase& doc) {
  const PageSetupRec* p = doc.m_pPageSetup;
  if (p == nullptr || p->RecordWidth <= 0) return 0;
  return UnitToHundredths(doc, p->RecordWidth);
}

int32_t LeftMarginHundredths(const KmDocBase& doc) {
  const PageSetupRec* p = doc.m_pPageSetup;
  return p == nullptr || p->LeftMargin <= 0 ? 0 : UnitToHundredths(doc, p->LeftMargin);
}

void CalcPageSizes(KmDocBase& doc) {
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

void ConvertMarginUnits(KmDocBase& doc, int oldSystem, int newSystem) {
  PageSetupRec* p = doc.m_pPageSetup;
  if (p == nullptr || oldSystem == newSystem) return;
  const int vFrom = oldSystem ? kVertHundredths : kVertTenthsMm, vTo = newSystem ? kVertHundredths : kVertTenthsMm;
  const int hFrom = oldSystem ? kMeasureHundredths : kMeasureTenthsMm;
  const int hTo = newSystem ? kMeasureHundredths : kMeasureTenthsMm;
  p->TopMargin = ConvertVert(p->TopMargin, vTo, vFrom);
  p->BottomMargin = ConvertVert(p->BottomMargin, vTo, vFrom);
  p->RecordHeight = ConvertVert(p->RecordHeight, vTo, vFrom);
  for (int32_t* v : {&p->LeftMargin, &p->RightMargin, &p->RecordWidth}) {
    const UINT r = ConvertMeasure(Measure16(*v), hTo, hFrom, doc.m_settings.rulPit, p->Landscape);
    *v = static_cast<int32_t>(r > 65535 ? 65535 : r);
  }
}

void ConvertBandLineUnits(KmDocBase& doc, int oldSystem, int newSystem) {
  BandLineTable& t = doc.m_bandLines;
  if (t.lines == nullptr || oldSystem == newSystem) return;
  LayoutMetrics m = Screen(doc);
  m.metric = newSystem == 0;
  const int from = oldSystem ? kVertHundredths : kVertTenthsMm, to = newSystem ? kVertHundredths : kVertTenthsMm;
  for (int i = 0; i <= t.lastUsed && i < kBandLineCount; ++i) {
    BandLineRec& r = t.lines[i];
    if (r.kind == kBandFree || r.heightMode == 0 || r.heightMode == 1) continue;
    r.height = ConvertVertMeasure(static_cast<WORD>(r.height & 0xFFFF), to, from, 0);
    r.pixelHeight = MeasureToPixelsY(m, r.height, r.heightMode);
  }
}

void SetBandLineHeight(KmDocBase& doc, int line, int pixels) {
  BandLineTable& t = doc.m_bandLines;
  if (t.lines == nullptr || line < 0 || line >= kBandLineCount) return;
  BandLineRec& r = t.lines[line];
  r.heightMode = 2;
  r.height = PixelsToDisplayUnits(Screen(doc), 2, pixels);
  r.pixelHeight = pixels;
}
