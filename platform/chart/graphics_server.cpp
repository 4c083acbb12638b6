#include "platform/chart/graphics_server.h"

#include "platform/win/ui_app.h"
#include "platform/win/ui_internal.h"

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPicture>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace {

constexpr int kSlots = 8;
constexpr int kParts = 4;
constexpr double kBaseFontPixels = 11.0;

struct FontSlot {
  std::string face = "Arial";
  int sizePercent = 100;
  bool bold = false;
  bool italic = false;
};

struct Window {
  int width = 0, height = 0;
  QPicture picture;
  bool shown = false;
};

std::vector<std::string> Texts(int count, const char* const* labels) {
  std::vector<std::string> out;
  if (labels == nullptr || count <= 0) return out;
  for (int i = 0; i < count; ++i) out.emplace_back(labels[i] ? labels[i] : "");
  return out;
}

std::string Number(double v) {
  char b[48];
  std::snprintf(b, sizeof b, "%g", v);
  return b;
}

// A step of 1, 2 or 5 times a power of ten giving about `parts` steps.
double NiceStep(double span, int parts) {
  if (!(span > 0)) return 1;
  const double raw = span / std::max(1, parts);
  const double p = std::pow(10.0, std::floor(std::log10(raw)));
  const double f = raw / p;
  return (f <= 1 ? 1 : f <= 2 ? 2 : f <= 5 ? 5 : 10) * p;
}

}  // namespace

struct GraphicsServer::State {
  std::map<int, Window> windows;
  int nextWindow = 1;
  int current = 0;  // the window AGShow draws into
  int palette = 0;
  bool open = false;
  FontSlot fontSlots[kSlots];
  int partSlot[kParts] = {1, 2, 3, 4};
  int partSize[kParts] = {100, 100, 100, 100};
  std::string title, titleX, titleY, titleYR;
  bool titleBackground = false;
  COLORREF background = 0;
  int dataLabelMode = -1;  // -1 none
  std::vector<std::string> dataLabels;
  std::vector<int> colours;
  bool userAxis = false;
  int ticks = 0;
  double axisMax = 0, axisMin = 0;
  std::vector<std::string> labels, legend;
  int categories = 0, series = 0;
  std::vector<double> values;

  void ResetChart() {
    title.clear(), titleX.clear(), titleY.clear(), titleYR.clear();
    titleBackground = false;
    dataLabelMode = -1;
    dataLabels.clear(), colours.clear(), labels.clear(), legend.clear(), values.clear();
    userAxis = false;
    categories = series = 0;
  }

  QFont Font(int part, bool vertical = false) const {
    const FontSlot& f = fontSlots[std::clamp(partSlot[part], 0, kSlots - 1)];
    const double px = std::max(4.0, kBaseFontPixels * partSize[part] / 100.0);
    HFONT h = CreateFontA(-static_cast<int>(std::lround(px)), 0, vertical ? 900 : 0, 0,
                          f.bold || part == kAgTitleFont ? FW_BOLD : FW_NORMAL, f.italic, 0, 0, ANSI_CHARSET, 0, 0,
                          0, VARIABLE_PITCH | FF_SWISS, f.face.c_str());
    QFont q = vt_ui::FontOf(h);
    DeleteObject(h);
    return q;
  }

  QColor Colour(int i) const {
    const int n = colours.empty() ? 32 + (i % 6) * 16 : colours[static_cast<size_t>(i) % colours.size()];
    const COLORREF c = PaletteColour(palette, n);
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
  }

  double Value(int c, int s) const {
    const size_t i = static_cast<size_t>(c) * static_cast<size_t>(series) + static_cast<size_t>(s);
    return i < values.size() && std::isfinite(values[i]) ? values[i] : 0.0;
  }

  std::string DataLabel(int c, int s) const {
    if (dataLabelMode == 1) return Number(Value(c, s));
    const size_t i = static_cast<size_t>(c) * static_cast<size_t>(series) + static_cast<size_t>(s);
    return dataLabelMode == 0 && i < dataLabels.size() ? dataLabels[i] : std::string();
  }

  void Draw(QPainter& p, const Window& w, int type, int style);
  void DrawPie(QPainter& p, QRectF area, int type);
  void DrawAxes(QPainter& p, QRectF area, int type, int style);
};

static QString Q(const std::string& s) { return vt_ui::FromAnsi(s); }

void GraphicsServer::State::Draw(QPainter& p, const Window& w, int type, int style) {
  p.setRenderHint(QPainter::Antialiasing, true);
  p.fillRect(QRectF(0, 0, w.width, w.height), Qt::white);
  QRectF area(4, 4, w.width - 8, w.height - 8);
  if (!title.empty()) {
    p.setFont(Font(kAgTitleFont));
    const double h = QFontMetricsF(p.font()).height() + 2;
    QRectF band(area.left(), area.top(), area.width(), h);
    if (titleBackground)
      p.fillRect(band, QColor(GetRValue(background), GetGValue(background), GetBValue(background)));
    p.setPen(Qt::black);
    p.drawText(band, Qt::AlignCenter, Q(title));
    area.setTop(area.top() + h + 4);
  }
  const bool pie = type == kAgPie || type == kAgPie3D;
  if (!legend.empty()) {
    p.setFont(Font(kAgLegendFont));
    QFontMetricsF fm(p.font());
    double tw = 0;
    for (const auto& t : legend) tw = std::max(tw, fm.horizontalAdvance(Q(t)));
    const double lw = std::min(area.width() / 2, tw + 18);
    double y = area.top() + 4;
    for (size_t i = 0; i < legend.size() && y + fm.height() <= area.bottom(); ++i, y += fm.height() + 2) {
      const double x = area.right() - lw;
      p.fillRect(QRectF(x, y + 2, 10, fm.height() - 4), Colour(static_cast<int>(i)));
      p.setPen(Qt::black);
      p.drawText(QRectF(x + 14, y, lw - 14, fm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                 fm.elidedText(Q(legend[i]), Qt::ElideRight, lw - 14));
    }
    area.setRight(area.right() - lw - 6);
  }
  if (area.width() < 8 || area.height() < 8) return;
  if (pie) DrawPie(p, area, type);
  else DrawAxes(p, area, type, style);
}

void GraphicsServer::State::DrawPie(QPainter& p, QRectF area, int type) {
  // Several series of one category: one slice per series; else the first series by category.
  const bool bySeries = series > 1 && categories == 1;
  const int n = bySeries ? series : categories;
  double total = 0;
  for (int i = 0; i < n; ++i) total += std::max(0.0, bySeries ? Value(0, i) : Value(i, 0));
  p.setFont(Font(kAgLabelFont));
  QFontMetricsF fm(p.font());
  const double labelRoom = labels.empty() ? 4 : fm.height() * 1.6;
  const double d = std::max(8.0, std::min(area.width() - 2 * labelRoom, area.height() - 2 * labelRoom));
  QRectF box(area.center().x() - d / 2, area.center().y() - d / 2, d, d);
  if (type == kAgPie3D) box.setHeight(d * 0.75), box.moveTop(box.top() + d * 0.1);
  if (!(total > 0)) {
    p.setPen(Qt::black);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(box);
    return;
  }
  if (type == kAgPie3D) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(128, 128, 128));
    p.drawEllipse(box.translated(0, d * 0.08));
  }
  double start = 90.0;
  for (int i = 0; i < n; ++i) {
    const double v = std::max(0.0, bySeries ? Value(0, i) : Value(i, 0));
    if (v <= 0) continue;
    const double sweep = -360.0 * v / total;
    p.setPen(QPen(Qt::black, 0.6));
    p.setBrush(Colour(i));
    p.drawPie(box, static_cast<int>(std::lround(start * 16)), static_cast<int>(std::lround(sweep * 16)));
    const double mid = (start + sweep / 2) * M_PI / 180.0;
    const QPointF c = box.center();
    const double rx = box.width() / 2, ry = box.height() / 2;
    p.setPen(Qt::black);
    const std::string value = bySeries ? DataLabel(0, i) : DataLabel(i, 0);
    if (!value.empty()) {
      const QPointF at(c.x() + std::cos(mid) * rx * 0.6, c.y() - std::sin(mid) * ry * 0.6);
      p.drawText(QRectF(at.x() - 60, at.y() - fm.height() / 2, 120, fm.height()), Qt::AlignCenter, Q(value));
    }
    if (static_cast<size_t>(i) < labels.size() && !labels[static_cast<size_t>(i)].empty()) {
      const QPointF at(c.x() + std::cos(mid) * (rx + 4), c.y() - std::sin(mid) * (ry + fm.height() / 2));
      const QString t = Q(labels[static_cast<size_t>(i)]);
      const double tw = fm.horizontalAdvance(t) + 1;
      // Left of the pie the name ends at the rim, right of it it starts there.
      const double x = std::cos(mid) < -0.2 ? at.x() - tw : std::cos(mid) > 0.2 ? at.x() : at.x() - tw / 2;
      p.drawText(QRectF(x, at.y() - fm.height() / 2, tw, fm.height()), Qt::AlignCenter, t);
    }
    start += sweep;
  }
}

void GraphicsServer::State::DrawAxes(QPainter& p, QRectF area, int type, int style) {
  const bool bars = !(type == kAgLine || type == kAgLineRightAxis || type == kAgArea || type == kAgAreaRightAxis);
  const bool area3 = type == kAgArea || type == kAgAreaRightAxis;
  const bool horizontal = bars && (style & kAgHorizontal) == kAgHorizontal;
  const bool percent = (bars && (style & kAgPercent)) || (area3 && (style & kAgAreaPercent));
  const bool stacked = percent || ((bars || area3) && (style & kAgStacked));
  const int C = std::max(0, categories), S = std::max(1, series);
  auto shown = [&](int c, int s) {
    if (!percent) return Value(c, s);
    double sum = 0;
    for (int k = 0; k < S; ++k) sum += std::fabs(Value(c, k));
    return sum > 0 ? Value(c, s) * 100.0 / sum : 0.0;
  };
  // The value range.
  double lo = 0, hi = 0;
  bool any = false;
  for (int c = 0; c < C; ++c) {
    double pos = 0, neg = 0;
    for (int s = 0; s < S; ++s) {
      const double v = shown(c, s);
      if (stacked) (v >= 0 ? pos : neg) += v;
      else if (!any) lo = hi = v, any = true;
      else lo = std::min(lo, v), hi = std::max(hi, v);
    }
    if (stacked) {
      if (!any) lo = neg, hi = pos, any = true;
      else lo = std::min(lo, neg), hi = std::max(hi, pos);
    }
  }
  if ((style & kAgZeroBase) || bars || area3) lo = std::min(lo, 0.0), hi = std::max(hi, 0.0);
  double step;
  if (userAxis && axisMax > axisMin) {
    lo = axisMin, hi = axisMax;
    step = (hi - lo) / std::max(1, ticks);
  } else {
    if (hi <= lo) hi = lo + 1;
    step = NiceStep(hi - lo, 5);
    lo = std::floor(lo / step) * step;
    hi = std::ceil(hi / step) * step;
    if (hi <= lo) hi = lo + step;
  }
  // Room for titles and labels.
  const QFont labelFont = Font(kAgLabelFont), axisFont = Font(kAgAxisTitleFont);
  QFontMetricsF lfm(labelFont), afm(axisFont);
  double valueWidth = 0;
  for (double t = lo; t <= hi + step / 2; t += step) valueWidth = std::max(valueWidth, lfm.horizontalAdvance(Q(Number(t))));
  QRectF plot = area;
  const std::string& under = titleX;  // the title under the plot
  const std::string& beside = titleY;
  if (!under.empty()) plot.setBottom(plot.bottom() - afm.height() - 2);
  if (!beside.empty()) plot.setLeft(plot.left() + afm.height() + 2);
  if (!titleYR.empty()) plot.setRight(plot.right() - afm.height() - 2);
  double categoryWidth = 0;
  for (const auto& l : labels) categoryWidth = std::max(categoryWidth, lfm.horizontalAdvance(Q(l)));
  if (horizontal) {
    plot.setLeft(plot.left() + std::min(categoryWidth + 4, plot.width() / 3));
    plot.setBottom(plot.bottom() - lfm.height() - 2);
  } else {
    plot.setLeft(plot.left() + valueWidth + 4);
    plot.setBottom(plot.bottom() - lfm.height() - 2);
  }
  plot.setTop(plot.top() + lfm.height() / 2 + (dataLabelMode >= 0 ? lfm.height() : 0));
  plot.setRight(plot.right() - valueWidth / 2);
  if (plot.width() < 4 || plot.height() < 4) return;
  p.setPen(Qt::black);
  p.setFont(axisFont);
  if (!under.empty()) p.drawText(QRectF(plot.left(), area.bottom() - afm.height(), plot.width(), afm.height()), Qt::AlignCenter, Q(under));
  auto vertical = [&](const std::string& t, double x) {
    p.save();
    p.translate(x, plot.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-plot.height() / 2, 0, plot.height(), afm.height()), Qt::AlignCenter, Q(t));
    p.restore();
  };
  if (!beside.empty()) vertical(beside, area.left());
  if (!titleYR.empty()) vertical(titleYR, area.right() - afm.height());
  // Value axis and grid: values run up, or right for horizontal bars.
  const double span = hi - lo;
  auto at = [&](double v) {
    return horizontal ? plot.left() + (v - lo) / span * plot.width() : plot.bottom() - (v - lo) / span * plot.height();
  };
  p.setFont(labelFont);
  for (double t = lo; t <= hi + step / 2; t += step) {
    const double q = at(t);
    const QString text = Q(Number(std::fabs(t) < step * 1e-9 ? 0.0 : t));
    if (horizontal) {
      if (style & kAgGridLines) p.setPen(QColor(200, 200, 200)), p.drawLine(QPointF(q, plot.top()), QPointF(q, plot.bottom()));
      p.setPen(Qt::black);
      p.drawText(QRectF(q - 40, plot.bottom() + 2, 80, lfm.height()), Qt::AlignHCenter | Qt::AlignTop, text);
    } else {
      if (style & kAgGridLines) p.setPen(QColor(200, 200, 200)), p.drawLine(QPointF(plot.left(), q), QPointF(plot.right(), q));
      p.setPen(Qt::black);
      p.drawText(QRectF(area.left(), q - lfm.height() / 2, plot.left() - area.left() - 3, lfm.height()),
                 Qt::AlignRight | Qt::AlignVCenter, text);
    }
  }
  p.setPen(QPen(Qt::black, 1));
  p.drawLine(plot.bottomLeft(), plot.bottomRight());
  p.drawLine(plot.topLeft(), plot.bottomLeft());
  if (C == 0) return;
  const double band = (horizontal ? plot.height() : plot.width()) / C;
  const double base = at(std::clamp(0.0, lo, hi));
  for (int c = 0; c < C; ++c) {
    const QString name = static_cast<size_t>(c) < labels.size() ? Q(labels[static_cast<size_t>(c)]) : QString();
    if (name.isEmpty()) continue;
    if (horizontal)
      p.drawText(QRectF(area.left(), plot.top() + band * c, plot.left() - area.left() - 3, band),
                 Qt::AlignRight | Qt::AlignVCenter, lfm.elidedText(name, Qt::ElideRight, plot.left() - area.left() - 3));
    else
      p.drawText(QRectF(plot.left() + band * c, plot.bottom() + 2, band, lfm.height()), Qt::AlignHCenter | Qt::AlignTop,
                 lfm.elidedText(name, Qt::ElideRight, band));
  }
  const bool depth = (style & kAgDepth) != 0;
  auto label = [&](const std::string& text, QPointF point) {
    if (text.empty()) return;
    p.setPen(Qt::black);
    const QString t = Q(text);
    const double w = lfm.horizontalAdvance(t) + 2;
    if (horizontal) p.drawText(QRectF(point.x() + 2, point.y() - lfm.height() / 2, w, lfm.height()), Qt::AlignLeft | Qt::AlignVCenter, t);
    else p.drawText(QRectF(point.x() - w / 2, point.y() - lfm.height() - 1, w, lfm.height()), Qt::AlignCenter, t);
  };
  if (bars) {
    for (int c = 0; c < C; ++c) {
      double pos = 0, neg = 0;
      const double inner = band * 0.7;
      const double width = stacked ? inner : (style & kAgOverlap) ? inner / (S + 1) * 2 : inner / S;
      const double step2 = stacked ? 0 : (style & kAgOverlap) ? inner / (S + 1) : width;
      for (int s = 0; s < S; ++s) {
        const double v = shown(c, s);
        double from = 0, to = v;
        if (stacked) (v >= 0 ? (from = pos, to = pos += v) : (from = neg, to = neg += v));
        const double a = at(from), b = at(to);
        const double off = band * c + band * 0.15 + step2 * s;
        QRectF r = horizontal ? QRectF(std::min(a, b), plot.top() + off, std::fabs(b - a), width)
                              : QRectF(plot.left() + off, std::min(a, b), width, std::fabs(b - a));
        if (depth) p.fillRect(r.translated(3, -3), Colour(s).darker(150));
        p.setPen(QPen(Qt::black, 0.5));
        p.setBrush(Colour(S == 1 ? c : s));
        if (S == 1 && colours.size() < 2) p.setBrush(Colour(0));
        p.drawRect(r);
        label(DataLabel(c, s), horizontal ? QPointF(r.right(), r.center().y()) : QPointF(r.center().x(), r.top()));
      }
    }
    return;
  }
  // Lines and areas: one point per category at the band's middle.
  std::vector<double> below(static_cast<size_t>(C), 0.0);
  for (int s = 0; s < S; ++s) {
    QPolygonF line;
    std::vector<double> top(below);
    for (int c = 0; c < C; ++c) {
      const double v = shown(c, s) + (stacked ? below[static_cast<size_t>(c)] : 0.0);
      top[static_cast<size_t>(c)] = v;
      line << QPointF(plot.left() + band * (c + 0.5), at(v));
    }
    if (area3) {
      QPolygonF shape(line);
      for (int c = C - 1; c >= 0; --c)
        shape << QPointF(plot.left() + band * (c + 0.5), stacked ? at(below[static_cast<size_t>(c)]) : base);
      p.setPen(QPen(Qt::black, 0.5));
      p.setBrush(Colour(s));
      p.drawPolygon(shape);
    } else {
      p.setPen(QPen(Colour(s), 2));
      p.setBrush(Qt::NoBrush);
      p.drawPolyline(line);
      for (const QPointF& q : line) p.fillRect(QRectF(q.x() - 2, q.y() - 2, 4, 4), Colour(s));
    }
    for (int c = 0; c < C; ++c) label(DataLabel(c, s), line[c]);
    if (stacked) below = top;
  }
}

GraphicsServer::GraphicsServer() : s_(new State) {}
GraphicsServer::~GraphicsServer() = default;

int GraphicsServer::GSOpenChildWin(int width, int height) {
  if (width <= 0 || height <= 0 || width > 20000 || height > 20000) return -1;
  UiStartApplication();
  const int n = s_->nextWindow++;
  Window& w = s_->windows[n];
  w.width = width, w.height = height;
  s_->current = n;
  return n;
}

int GraphicsServer::GSCloseWin(int window) {
  if (s_->windows.erase(window) == 0) return -1;
  if (s_->current == window) s_->current = 0;
  return 0;
}

int GraphicsServer::GSSelectPalette(int palette) {
  s_->palette = palette;
  return 0;
}

int GraphicsServer::GSSetRFontFace(int slot, const char* face) {
  if (slot < 0 || slot >= kSlots || face == nullptr) return -1;
  s_->fontSlots[slot].face = *face ? face : "Arial";
  return 0;
}

int GraphicsServer::GSLoadRFont(int slot, int bold, int sizePercent, int italic) {
  if (slot < 0 || slot >= kSlots) return -1;
  s_->fontSlots[slot].bold = bold != 0;
  s_->fontSlots[slot].italic = italic != 0;
  s_->fontSlots[slot].sizePercent = sizePercent > 0 ? sizePercent : 100;
  return 0;
}

int GraphicsServer::GSPicWrite(int window, int, HENHMETAFILE* out) {
  auto it = s_->windows.find(window);
  if (out == nullptr || it == s_->windows.end() || !it->second.shown) return -1;
  *out = vt_ui::NewEnhMetaFile(it->second.picture, QRectF(0, 0, it->second.width, it->second.height));
  return *out ? 0 : -1;
}

int GraphicsServer::AGOpen() {
  s_->ResetChart();
  s_->open = true;
  return 0;
}

int GraphicsServer::AGClose() {
  s_->ResetChart();
  s_->open = false;
  return 0;
}

int GraphicsServer::AGFontStyle(int part, int slot, int, int sizePercent) {
  if (part < 0 || part >= kParts || slot < 0 || slot >= kSlots) return -1;
  s_->partSlot[part] = slot;
  s_->partSize[part] = sizePercent > 0 ? sizePercent : 100;
  return 0;
}

int GraphicsServer::AGTitleG(const char* t) { return s_->open ? (s_->title = t ? t : "", 0) : -1; }
int GraphicsServer::AGTitleX(const char* t) { return s_->open ? (s_->titleX = t ? t : "", 0) : -1; }
int GraphicsServer::AGTitleY(const char* t) { return s_->open ? (s_->titleY = t ? t : "", 0) : -1; }
int GraphicsServer::AGTitleYR(const char* t) { return s_->open ? (s_->titleYR = t ? t : "", 0) : -1; }

int GraphicsServer::AGTitleBG(COLORREF background, int) {
  if (!s_->open) return -1;
  s_->titleBackground = true;
  s_->background = background;
  return 0;
}

int GraphicsServer::AGDataLabels(int mode, int count, const char* const* labels) {
  if (!s_->open || mode < 0 || mode > 1) return -1;
  s_->dataLabelMode = mode;
  s_->dataLabels = Texts(count, labels);
  return 0;
}

int GraphicsServer::AGClr(int count, const int* numbers) {
  if (!s_->open) return -1;
  s_->colours.clear();
  for (int i = 0; numbers != nullptr && i < count; ++i) s_->colours.push_back(numbers[i]);
  return 0;
}

int GraphicsServer::AGYAxisStyle(int, int ticks, int, double maximum, double minimum) {
  if (!s_->open || !std::isfinite(maximum) || !std::isfinite(minimum)) return -1;
  s_->userAxis = true;
  s_->ticks = std::max(1, ticks);
  s_->axisMax = maximum;
  s_->axisMin = minimum;
  return 0;
}

int GraphicsServer::AGLabels(int count, const char* const* labels) {
  if (!s_->open) return -1;
  s_->labels = Texts(count, labels);
  return 0;
}

int GraphicsServer::AGLegend(int count, const char* const* labels) {
  if (!s_->open) return -1;
  s_->legend = Texts(count, labels);
  return 0;
}

int GraphicsServer::AGAmp(int categories, int series, const double* values) {
  if (!s_->open || categories < 0 || series < 0 || categories > 100000 || series > 1000) return -1;
  s_->categories = categories;
  s_->series = series;
  s_->values.assign(values ? values : nullptr, values ? values + static_cast<size_t>(categories) * series : nullptr);
  if (values == nullptr) s_->values.assign(static_cast<size_t>(categories) * series, 0.0);
  return 0;
}

int GraphicsServer::AGShow(int type, int style, int) {
  auto it = s_->windows.find(s_->current);
  if (!s_->open || it == s_->windows.end()) return -1;
  Window& w = it->second;
  w.picture = QPicture();
  QPainter p(&w.picture);
  s_->Draw(p, w, type, style);
  p.end();
  w.shown = true;
  return 0;
}

COLORREF GraphicsServer::PaletteColour(int palette, int number) {
  // 16 hue bands of 8 shades; the palette turns the wheel so each palette
  // gives the same numbers other colours.
  const int n = std::clamp(number, 0, kAgPaletteSize - 1);
  const int band = n / 8, shade = n % 8;
  const int hue = (band * 135 + std::max(0, palette) * 37) % 360;  // neighbouring bands far apart
  QColor c = QColor::fromHsv(hue, 200 - shade * 12, 235 - shade * 10);
  return RGB(static_cast<BYTE>(c.red()), static_cast<BYTE>(c.green()), static_cast<BYTE>(c.blue()));
}

namespace {

// The chart picture played onto a white image of width x height pixels.
bool PlayPicture(HENHMETAFILE picture, int width, int height, QImage* image) {
  if (picture == nullptr || width <= 0 || height <= 0 || width > 20000 || height > 20000) return false;
  UiStartApplication();
  *image = QImage(width, height, QImage::Format_RGB32);
  image->fill(Qt::white);
  QPainter p(image);
  vt_ui::PlayEnhMetaFileOn(&p, picture, QRectF(0, 0, width, height));
  return true;
}

}  // namespace

bool RenderPictureToBitmap(HENHMETAFILE picture, int width, int height, const char* path) {
  QImage image;
  return path != nullptr && PlayPicture(picture, width, height, &image) && image.save(QString::fromLocal8Bit(path));
}

bool RenderPictureToBytes(void* picture, int width, int height, const char* format, std::string* bytes) {
  QImage image;
  if (format == nullptr || bytes == nullptr || !PlayPicture(static_cast<HENHMETAFILE>(picture), width, height, &image))
    return false;
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, format)) return false;
  bytes->assign(data.constData(), static_cast<size_t>(data.size()));
  return true;
}
