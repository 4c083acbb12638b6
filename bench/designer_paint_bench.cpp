// A full repaint of the design view at 1280 x 900 on a report of 500 band
// lines and 2,000 texts (four to a line), with and without the dotted grid,
// and a page scrolled and repainted. Goal: a full repaint under 20 ms.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>

#include "bench/numbered_text.h"
#include "designer/design_view.h"
#include "designer/layout_drawing.h"
#include "designer/ruler_view.h"
#include "engine/doc_upkeep.h"
#include "foundation/doc_base.h"
#include "layout/fonts.h"
#include "platform/win/gdi.h"
#include "platform/win/ui_app.h"

namespace {

constexpr int kWidth = 1280, kHeight = 900;
constexpr int kLines = 500, kPerLine = 4;

struct Report {
  Report() {
    UiStartApplication();
    lines.reset(new BandLineRec[kBandLineTableRecords]);
    doc.m_bandLines.lines = lines.get();
    ClearBandLineTable(doc.m_bandLines);
    layout.AttachBandLineTable(&doc.m_bandLines);
    doc.m_pLayout = &layout;
    doc.m_pFonts = &fonts;
    EnumPrinterFonts(fonts, layout.metrics, nullptr);
    // 500 lines: a title, a page header, record lines and a summary; the
    // band line table holds 256, so the rest are sized lines' text rows.
    const BYTE kinds[] = {kBandTitle, kBandPageHeader, kBandRecord, kBandSummary};
    int used = 0;
    for (int i = 0; i < kBandLineCount && used < kLines; ++i) {
      BandLineRec& r = lines[i];
      r = BandLineRec{};
      r.kind = kinds[i == 0 ? 0 : i == 1 ? 1 : i == kBandLineCount - 1 ? 3 : 2];
      r.objectId = -1;
      // Every other record line is two text rows high, so 500 rows fit the table.
      r.heightMode = (i % 2 == 0 && i > 1) ? 1 : 0;
      r.height = r.heightMode ? 240 : 0;
      doc.m_bandLines.lastUsed = i;
      used += r.heightMode ? 2 : 1;
    }
    int items = 0;
    for (int i = 0; i <= doc.m_bandLines.lastUsed && items < kLines * kPerLine; ++i)
      for (int k = 0; k < kPerLine * (lines[i].heightMode ? 2 : 1) && items < kLines * kPerLine; ++k, ++items) {
        TextItem* x = AddNumberedText(&doc, items, i, (k % kPerLine) * 20, (k % 3 == 0) ? 120 : 100,
                                      k % 2 ? "Times New Roman" : "Arial");
        x->head.fontStyle = (k % 4 == 1) ? 1 : 0;
      }
    RecalcObjectExtents(layout, fonts, false, false, true);
    BuildLayoutItemOrder(layout);
    doc.m_bReportOpen = TRUE;

    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "PaintBenchTop";
    RegisterClassA(&wc);
    top = CreateWindowExA(0, "PaintBenchTop", "", WS_POPUP, 0, 0, kWidth + 40, kHeight + 40, nullptr, nullptr,
                          nullptr, nullptr);
    ruler.Create(top, 1, &view, &doc);
    view.AttachFrameAndDocument(&doc, nullptr);
    MoveWindow(ruler.m_hWnd, 0, 0, kWidth + 40, kHeight + 40, TRUE);
    ruler.ShowBar(ruler.HorizontalBar(), true);
    ruler.ShowBar(ruler.VerticalBar(), true);
    MoveWindow(view.m_hWnd, 0, 0, kWidth, kHeight, TRUE);
    dc = CreateCompatibleDC(nullptr);
    bitmap = CreateCompatibleBitmap(nullptr, kWidth, kHeight);
    SelectObject(dc, bitmap);
  }
  ~Report() {
    DeleteDC(dc);
    DeleteObject(bitmap);
    if (IsWindow(top)) DestroyWindow(top);
    FreeTextItems(&doc);
    ReleaseObjectFonts(layout, fonts, false, false);
    FreeFontTable(fonts);
    doc.m_pLayout = nullptr;
    doc.m_pFonts = nullptr;
  }
  void Paint() {
    RECT all{0, 0, kWidth, kHeight};
    FillRect(dc, &all, GetSysColorBrush(COLOR_WINDOW));
    DrawLayoutView(view, dc, all);
    // The picture is finished only when the painter lets it go.
    GetPixel(dc, 0, 0);
  }

  KmDocBase doc;
  LayoutTables layout;
  DocFonts fonts;
  std::unique_ptr<BandLineRec[]> lines;
  HWND top = nullptr;
  CRulerView ruler;
  CKmView view;
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
};

Report& Shared() {
  static Report* r = new Report;  // lives to the end of the program with the window layer
  return *r;
}

void BM_FullRepaint(benchmark::State& state) {
  Report& r = Shared();
  r.doc.m_settings.shGrd = static_cast<BYTE>(state.range(0));
  r.layout.scrollY = 0;
  for (auto _ : state) r.Paint();
  state.SetLabel(state.range(0) ? "grid shown" : "no grid");
}
BENCHMARK(BM_FullRepaint)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ScrollAPageAndRepaint(benchmark::State& state) {
  Report& r = Shared();
  r.doc.m_settings.shGrd = 1;
  r.layout.scrollY = 0;
  for (auto _ : state) {
    if (!r.view.VScrollLayout(3 /* a page down */, 0)) r.layout.scrollY = 0;
    r.Paint();
  }
}
BENCHMARK(BM_ScrollAPageAndRepaint)->Unit(benchmark::kMillisecond);

}  // namespace
