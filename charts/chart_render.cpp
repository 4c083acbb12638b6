#include "charts/chart_render.h"

#include "layout/layout_records.h"
#include "platform/chart/graphics_server.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

std::vector<const char*> Pointers(const std::vector<std::string>& v) {
  std::vector<const char*> out;
  out.reserve(v.size());
  for (const auto& s : v) out.push_back(s.c_str());
  return out;
}

std::string SampleLabel(int i) {
  if (i < 26) return std::string(1, static_cast<char>('A' + i));
  return std::string(2, static_cast<char>('A' + (i - 26)));
}

// Every call answers 0; the first failure skips the rest of the drawing.
class Calls {
 public:
  bool ok = true;
  template <class F>
  void operator()(F f) {
    if (ok && f() != 0) ok = false;
  }
};

}  // namespace

std::vector<int> ChartColourNumbers(int scheme, int count) {
  std::vector<int> out;
  for (int i = 0; i < count; ++i) {
    int n;
    switch (scheme) {
      case 1: n = (i % 6) * 16 + 32; break;
      case 2: n = (i % 6) * 16 - (i / 16) % 13 + 44; break;
      case 3: n = (i % 6) * 16 - (i / 16) % 12 + 47; break;
      case 5: case 6: case 7: case 8: case 9: case 10: n = 127 - (i % 8) * 8; break;
      default: n = (i % 6) * 8 + (i / 8) % 8 + 32; break;  // 4, and schemes outside 1-10
    }
    out.push_back(n);
  }
  return out;
}

int ChartAxisTicks(double minimum, double maximum) {
  double span = maximum - minimum;
  if (!(span > 0) || !std::isfinite(span)) return 1;
  while (span < 10) span *= 10;
  // A span too large for an integer count gets the library's own spacing.
  if (span > 1e9) return 10;
  long t = static_cast<long>(span);
  while (t > 100) t /= 10;
  long ticks = (t % 5 == 0 && t / 5 <= 10) ? t / 5 : (t % 10 == 0 ? t / 10 : t);
  const long first = ticks;
  for (long d = 2; d <= 49 && ticks > 10; ++d)
    if (first % d == 0) ticks = first / d;
  return static_cast<int>(std::max(1L, ticks));
}

std::string ChartFontFace(const std::string& defaultFace, const std::string& face) {
  if (!face.empty()) return face;
  if (!defaultFace.empty()) return defaultFace;
  return "Arial";
}

ChartArrays ChartSampleData(int type, int subStyle, int seriesCount, bool seriesLabelsShown) {
  ChartArrays a;
  const bool pie = type == 1 || type == 2;
  const bool bars = type == 3 || type == 4;
  const bool lines = type == 6 || type == 13;
  const bool areas = type == 8 || type == 14;
  const bool sampled = pie || (bars && subStyle >= 1 && subStyle <= 4) ||
                       (lines && (subStyle == 2 || subStyle == 3 || subStyle == 5)) || areas;
  if (!sampled) return a;
  int series = std::min(seriesCount, kChartMaxSeries);
  if (series < 2 && (pie || (bars && subStyle >= 2))) series = 4;
  else if (series == 0) series = 4;
  else if (series == 1 && seriesLabelsShown) series = 4;
  a.categoryCount = pie ? 1 : bars ? 2 : 4;
  a.seriesCount = series;
  static const double kBase[4] = {300, 600, 400, 500};
  for (int c = 0; c < a.categoryCount; ++c)
    for (int s = 0; s < series; ++s) {
      if (pie) a.values.push_back((s + 1) * 5.0);
      else a.values.push_back(kBase[c] / ((((c == 2) ? series - s : s) + 1) * 0.8 + c + 1));
    }
  for (int i = 0; i < 40; ++i) {
    if (i < a.categoryCount) a.categoryLabels.push_back(SampleLabel(i));
    if (i < series) a.seriesLabels.push_back(SampleLabel(i));
  }
  return a;
}

HENHMETAFILE RenderChartMetafile(const CKmChart& chart, int width, int height, const ChartArrays* given) {
  if (chart.IsForeign() || chart.IsDamaged() || width <= 0 || height <= 0) return nullptr;
  const ChartSettings& s = chart.Settings();
  const bool sample = given == nullptr;
  ChartArrays data = sample ? ChartSampleData(s.type, s.subStyle, chart.CountSeries(), s.seriesLabelProperty != -1)
                            : *given;
  if (!sample) {
    // A pie of one category shows its series as slices.
    data.seriesCount = std::max(1, data.seriesCount);
  }
  GraphicsServer gs;
  const int win = gs.GSOpenChildWin(width, height);
  if (win == -1) return nullptr;
  Calls call;
  call([&] { return gs.GSSelectPalette(s.colourScheme); });
  call([&] { return gs.AGOpen(); });
  call([&] { return gs.GSSetRFontFace(2, "Arial"); });
  const std::string& base = s.faces[0];
  auto font = [&](int faceSlot, int sizeSlot, int slot, int part) {
    const int size = chart.GetFontSize(sizeSlot);
    call([&] { return gs.GSSetRFontFace(slot, ChartFontFace(base, s.faces[faceSlot]).c_str()); });
    call([&] { return gs.GSLoadRFont(slot, 0, size, 0); });
    call([&] { return gs.AGFontStyle(part, slot, 0, size); });
  };
  font(1, 0, 1, kAgTitleFont);
  call([&] { return gs.AGTitleG(s.titles[0].c_str()); });
  std::vector<std::string> labelTexts;
  if (s.dataLabels) {
    font(3, 2, 3, kAgLabelFont);
    if (!sample && s.seriesLabelProperty != -1) {
      for (double v : data.values) {
        char b[48] = "";
        if (v != 0.0) std::snprintf(b, sizeof b, "%g", v);
        labelTexts.emplace_back(b);
      }
      auto p = Pointers(labelTexts);
      call([&] { return gs.AGDataLabels(0, static_cast<int>(p.size()), p.data()); });
    } else {
      call([&] { return gs.AGDataLabels(1, 0, nullptr); });
    }
  }
  int style = 0;
  bool zeroBase = true;
  const int t = s.type;
  const bool horizontal = s.orientation == 1;
  auto switches = [&] {
    if (s.gridLines) style |= kAgGridLines;
    if (s.depth) style |= kAgDepth;
  };
  auto background = [&] {
    if (s.titleBackground > 0) call([&] { return gs.AGTitleBG(ColorFromCode(s.titleBackground), 0); });
  };
  if (t == 1 || t == 2) {
    style = static_cast<int>(s.pieOptions);
  } else if (t == 3 || t == 4) {
    switches();
    if (s.subStyle == 1) zeroBase = false;
    if (s.subStyle == 2) style |= kAgStacked;
    if (s.subStyle == 3) style |= kAgPercent;
    if (s.subStyle == 4) style |= kAgOverlap;
    font(2, 1, 2, kAgAxisTitleFont);
    if (horizontal) {
      style |= kAgHorizontal;
      call([&] { return gs.AGTitleX(s.titles[2].c_str()); });
      background();
      call([&] { return gs.AGTitleY(s.titles[1].c_str()); });
    } else {
      call([&] { return gs.AGTitleX(s.titles[1].c_str()); });
      background();
      call([&] { return gs.AGTitleY(s.titles[2].c_str()); });
    }
    if (t == 4) call([&] { return gs.AGTitleYR(s.titles[3].c_str()); });
  } else if (t == 6 || t == 13 || t == 8 || t == 14) {
    switches();
    if ((t == 6 || t == 13) && s.subStyle == 5) zeroBase = false;
    if ((t == 8 || t == 14) && s.subStyle == 3) style |= kAgStacked;
    if ((t == 8 || t == 14) && s.subStyle == 5) style |= kAgAreaPercent, zeroBase = false;
    font(2, 1, 2, kAgAxisTitleFont);
    call([&] { return gs.AGTitleX(s.titles[1].c_str()); });
    background();
    call([&] { return gs.AGTitleY(s.titles[2].c_str()); });
    if (t == 14) call([&] { return gs.AGTitleYR(s.titles[3].c_str()); });
  }
  if (zeroBase) style |= kAgZeroBase;
  const int colourCount = data.seriesCount == 1 ? data.categoryCount : data.seriesCount;
  const std::vector<int> colours = ChartColourNumbers(s.colourScheme, std::max(1, colourCount));
  call([&] { return gs.AGClr(static_cast<int>(colours.size()), colours.data()); });
  if (chart.IsAxisChart() && !sample && s.rangeMode == 1) {
    const double mn = zeroBase ? 0.0 : s.rangeMin;
    const int ticks = ChartAxisTicks(mn, s.rangeMax);
    if (s.rangeMax - mn > 0) call([&] { return gs.AGYAxisStyle(28, ticks, 0, s.rangeMax, mn); });
  }
  const bool pie = t == 1 || t == 2;
  auto categories = Pointers(data.categoryLabels);
  auto series = Pointers(data.seriesLabels);
  if (pie && data.seriesCount > 1 && data.categoryCount == 1) {
    if ((s.pieOptions & 0x1800) != 0x1800) call([&] { return gs.AGLabels(static_cast<int>(series.size()), series.data()); });
    call([&] { return gs.AGAmp(data.seriesCount, 1, data.values.data()); });
  } else {
    font(3, 2, 3, kAgLabelFont);
    if (!pie || (s.pieOptions & 0x1800) != 0x1800)
      call([&] { return gs.AGLabels(static_cast<int>(categories.size()), categories.data()); });
    if (s.legend && !series.empty() && !pie) {
      font(4, 3, 4, kAgLegendFont);
      call([&] { return gs.AGLegend(static_cast<int>(series.size()), series.data()); });
    }
    call([&] { return gs.AGAmp(data.categoryCount, data.seriesCount, data.values.data()); });
  }
  const bool plain = t == 1 || t == 2 || t == 4 || t == 13 || t == 14;
  call([&] { return gs.AGShow(t, style, plain ? 0 : 0x20); });
  HENHMETAFILE picture = nullptr;
  call([&] { return gs.GSPicWrite(win, 2, &picture); });
  gs.GSCloseWin(win);
  gs.AGClose();
  if (!call.ok && picture != nullptr) {
    DeleteEnhMetaFile(picture);
    picture = nullptr;
  }
  return picture;
}

bool DrawChartItem(ChartTableEntry& entry, HDC dc, const RECT& r) {
  const CKmChart* chart = ChartOf(entry);
  if (chart == nullptr || dc == nullptr) return false;
  if (entry.metafileCache.Newest() == nullptr) {
    const ReportItemHead& h = entry.head;
    entry.metafileCache.Push(
        RenderChartMetafile(*chart, std::max(1, h.right - h.left + 1), std::max(1, h.bottom - h.top + 1), nullptr));
  }
  entry.metafileCache.KeepNewest();
  HENHMETAFILE picture = entry.metafileCache.Newest();
  return picture != nullptr && PlayEnhMetaFile(dc, picture, &r);
}

bool RenderChartToImageFile(const CKmChart& chart, int width, int height, const ChartArrays* values,
                            const char* path) {
  HENHMETAFILE picture = RenderChartMetafile(chart, width, height, values);
  if (picture == nullptr) return false;
  const bool ok = RenderPictureToBitmap(picture, width, height, path);
  DeleteEnhMetaFile(picture);
  return ok;
}
