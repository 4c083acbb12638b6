#include "platform/image/paint_cost.h"

#include <algorithm>
#include <cmath>

namespace {

// What the painter spends, in nanoseconds (see the header).
// The picture's pixels made white (and, the first time, found in memory);
// each point of a shape read, placed and counted.
constexpr double kGroundPixelNs = 1.5;
constexpr double kPointNs = 100;
// A pen at most a pixel wide: each line, each pixel along it, each edge of
// a curve flattened.
constexpr double kThinLineNs = 250;
constexpr double kThinPixelNs = 35;
constexpr double kThinCurveEdgeNs = 100;
// A wider pen with flat or square ends, drawn straight as a band of rows.
constexpr double kFlatLineNs = 250;
constexpr double kFlatRowNs = 95;
// A wider pen with round ends, or dashed: its outline made, then filled;
// each dash of a dashed one made as an outline of its own.
constexpr double kStrokeNs = 1500;
constexpr double kDashNs = 3300;
// A fill: the call, each edge of its outline, each edge again for each band
// of rows (every band walks every edge), each row of an edge for each band
// it reaches into (a slanted edge's rows cost far more than an upright
// one's), each cell (a pixel an edge crosses) and each pixel covered.
constexpr double kFillNs = 700;
constexpr double kEdgeNs = 50;
constexpr double kBandEdgeNs = 6;
constexpr double kSlantRowNs = 25;
constexpr double kUprightRowNs = 1;
constexpr double kCellNs = 2;
constexpr double kCoveredPixelNs = 0.45;
// The fill's work area: it starts at 8 KB, holding a pointer for each row
// of a band and a cell record for each cell; it is doubled (to 1 MB) only
// when a single row's cells do not fit. Bands start at 42 rows (at most 39
// of them) and are halved while their cells do not fit.
constexpr double kPoolBytes = 8192;
constexpr double kLargestPoolBytes = 1 << 20;
constexpr double kRowBytes = 8;
constexpr double kCellBytes = 24;
constexpr double kFirstBandRows = 42;
constexpr double kMostFirstBands = 39;
// Text: each text written (its layout and measures); each letter of a size
// the painter keeps drawn, by the pixels of its square; larger letters are
// one outline of all their glyphs, filled at once: each letter made, and the
// fill counted as any fill of those edges and that area, twice over (the
// glyphs' curves are flattened finer than a polygon's edges are walked).
constexpr double kTextNs = 3000;
constexpr double kGlyphNs = 100;
constexpr double kGlyphPixelNs = 0.7;
constexpr double kCachedGlyphPixels = 64;
constexpr double kLargeGlyphNs = 18000;
constexpr double kGlyphFillShare = 2;
// A font looked for among the system's fonts and loaded.
constexpr double kFontNs = 250000;

// Edges of a round end or join, or of a quarter of an ellipse, as the
// painter flattens its curve.
double CurveEdges(double size) { return 4 + std::sqrt(std::max(0.0, size)); }

}  // namespace

// The outline of one fill: its edges in the picture's pixels.
class PaintCost::Outline {
 public:
  explicit Outline(double height) : height_(height) {}

  void Edge(QPointF a, QPointF b) {
    const double rows = std::fabs(b.y() - a.y()), dx = std::fabs(b.x() - a.x());
    const double lo = std::max(std::min(a.y(), b.y()), 0.0), hi = std::min(std::max(a.y(), b.y()), height_);
    const double onPicture = std::max(0.0, hi - lo);
    const double cells = onPicture + (rows > 0 ? dx * onPicture / rows : (lo <= hi ? dx : 0));
    Edges(1, rows, onPicture, cells, dx < 1.0 / 64, lo, hi);
  }
  // count edges alike: each spanning rows, onPicture of them on the picture
  // between top and bottom, and crossing cells.
  void Edges(double count, double rows, double onPicture, double cells, bool upright, double top, double bottom) {
    edges_ += count;
    if (top > bottom) return;  // above or below the picture: passed over
    top_ = std::min(top_, top), bottom_ = std::max(bottom_, bottom);
    cells_ += count * cells;
    walked_[upright] += count * rows;
    deep_[upright] += count * rows * onPicture;
  }

  double Cost(double covered) const {
    double ns = kFillNs + edges_ * kEdgeNs;
    if (top_ > bottom_) return ns;
    const double rows = std::max(1.0, bottom_ - top_), perRow = cells_ / rows;
    double pool = kPoolBytes;
    while (kRowBytes + kCellBytes * perRow > pool && pool < kLargestPoolBytes) pool *= 2;
    const double fit = std::max(1.0, pool / (kRowBytes + kCellBytes * perRow));
    double band = std::min(rows, std::max(rows / kMostFirstBands, kFirstBandRows));
    while (band > fit && band > 1) band = std::max(1.0, band / 2);
    const double bands = rows / band;
    ns += bands * edges_ * kBandEdgeNs + cells_ * kCellNs + covered * kCoveredPixelNs;
    ns += kSlantRowNs * (walked_[0] + deep_[0] / band) + kUprightRowNs * (walked_[1] + deep_[1] / band);
    return ns;
  }

 private:
  double height_;
  double edges_ = 0, cells_ = 0;
  double top_ = 1e300, bottom_ = -1e300;
  double walked_[2] = {}, deep_[2] = {};  // [upright]: rows; rows times rows on the picture
};

PaintCost::PaintCost(int width, int height)
    : width_(width), height_(height), ns_(kGroundPixelNs * width * height) {}

void PaintCost::Points(size_t count) { ns_ += static_cast<double>(count) * kPointNs; }

// The share of the line that lies on the picture (or a pixel round it).
double PaintCost::OnPicture(QPointF a, QPointF b) const {
  double t0 = 0, t1 = 1;
  const double d[2] = {b.x() - a.x(), b.y() - a.y()}, from[2] = {a.x(), a.y()}, to[2] = {width_ + 1, height_ + 1};
  for (int axis = 0; axis < 2; ++axis) {
    if (d[axis] == 0) {
      if (from[axis] < -1 || from[axis] > to[axis]) return 0;
      continue;
    }
    double e0 = (-1 - from[axis]) / d[axis], e1 = (to[axis] - from[axis]) / d[axis];
    if (e0 > e1) std::swap(e0, e1);
    t0 = std::max(t0, e0), t1 = std::min(t1, e1);
  }
  return std::max(0.0, t1 - t0);
}

// A wide pen's outline along a line: its two sides and its two ends.
void PaintCost::StrokeOutline(QPointF a, QPointF b, const CostPen& pen, Outline& o) const {
  const double w = pen.width, length = std::hypot(b.x() - a.x(), b.y() - a.y());
  const QPointF n = length > 0 ? QPointF(a.y() - b.y(), b.x() - a.x()) * (w / 2 / length) : QPointF(0, w / 2);
  o.Edge(a + n, b + n);
  o.Edge(b - n, a - n);
  for (const QPointF& end : {a, b}) {
    if (!pen.roundEnds) {
      o.Edge(end + n, end - n);
      continue;
    }
    // A half circle: its curve spans the pen's width of rows.
    const double k = CurveEdges(w), top = std::max(end.y() - w / 2, 0.0), bottom = std::min(end.y() + w / 2, height_);
    o.Edges(k, w / k, std::max(0.0, bottom - top) / k, 1.6 * w / k, false, top, bottom);
  }
}

void PaintCost::Line(QPointF a, QPointF b, const CostPen& pen) {
  if (pen.none) return;
  const double w = pen.width, length = std::hypot(b.x() - a.x(), b.y() - a.y());
  if (w <= 1) {
    // Each pixel along the longer axis, each step aside twice: a slanted
    // line costs more than an upright one.
    const double dx = std::fabs(b.x() - a.x()), dy = std::fabs(b.y() - a.y());
    ns_ += kThinLineNs + kThinPixelNs * OnPicture(a, b) * (std::max(dx, dy) + 2 * std::min(dx, dy));
    return;
  }
  const QRectF on = QRectF(a, b).normalized().adjusted(-w / 2, -w / 2, w / 2, w / 2).intersected(Picture());
  if (on.isEmpty()) {
    ns_ += kStrokeNs;  // made, and found to lie off the picture
    return;
  }
  const double covered = std::min((length + w) * w, on.width() * on.height());
  if (pen.dashed) {
    Dashes(OnPicture(a, b) * length, on, covered, pen);
  } else if (!pen.roundEnds) {
    ns_ += kFlatLineNs + on.height() * kFlatRowNs + covered * kCoveredPixelNs;
  } else {
    Outline o(height_);
    StrokeOutline(a, b, pen, o);
    ns_ += kStrokeNs + o.Cost(covered);
  }
}

// A wide dashed pen along a length of which the part on the picture spans
// the rows of on: counted as the densest pattern (a dot, then twice its
// length of gap). Past ten thousand dashes the painter draws a solid line.
void PaintCost::Dashes(double length, const QRectF& on, double covered, const CostPen& pen) {
  const double w = pen.width, dashes = std::min(10000.0, length / (3 * w) + 1);
  if (!pen.roundEnds) {
    ns_ += dashes * kFlatLineNs + on.height() * kFlatRowNs + covered * kCoveredPixelNs;
    return;
  }
  ns_ += dashes * kDashNs;
  // All the dashes are one fill: each dash two sides and two round ends,
  // each of them spanning at most the pen's width of rows.
  const double edges = 2 + 2 * CurveEdges(w);
  Outline o(height_);
  o.Edges(dashes * edges, 4 * w / edges, 4 * w / edges, 5 * w / edges, false, on.top(), on.bottom());
  ns_ += kStrokeNs + o.Cost(covered);
}

void PaintCost::Box(const QRectF& box, bool ellipse, bool filled, const CostPen& pen) {
  const QRectF on = box.intersected(Picture());
  const double k = CurveEdges(std::max(box.width(), box.height()) / 2);
  // Both sides of a box or ellipse span its rows: an ellipse's as curves, a
  // box's as upright edges.
  auto sides = [&](Outline& o, const QRectF& r) {
    const double top = std::max(r.top(), 0.0), bottom = std::min(r.bottom(), height_);
    const double onPicture = std::max(0.0, bottom - top);
    if (ellipse) {
      o.Edges(4 * k, r.height() / (2 * k), onPicture / (2 * k), (r.width() + r.height()) / (2 * k), false, top, bottom);
    } else {
      o.Edges(2, r.height(), onPicture, onPicture, true, top, bottom);
      o.Edges(2, 0, 0, r.width(), true, top, bottom);
    }
  };
  if (filled && !on.isEmpty()) {
    Outline o(height_);
    sides(o, box);
    ns_ += o.Cost(on.width() * on.height() * (ellipse ? 0.79 : 1));
  }
  if (pen.none) return;
  const double w = pen.width;
  const QRectF reach = box.adjusted(-w / 2, -w / 2, w / 2, w / 2).intersected(Picture());
  const double perimeter = ellipse ? 1.6 * (box.width() + box.height()) : 2 * (box.width() + box.height());
  // What of the outline lies on the picture, about.
  const double shown = box.width() * box.height() > 0 ? perimeter * std::min(1.0, reach.width() * reach.height() /
                                                                                     (box.width() * box.height()))
                                                      : perimeter;
  if (w <= 1) {
    if (!ellipse) {
      const QPointF c[4] = {box.topLeft(), box.topRight(), box.bottomRight(), box.bottomLeft()};
      for (int i = 0; i < 4; ++i) Line(c[i], c[(i + 1) % 4], pen);
    } else {
      ns_ += kThinLineNs + 4 * k * kThinCurveEdgeNs + 1.5 * shown * kThinPixelNs;  // the curve flattened
    }
    return;
  }
  if (reach.isEmpty()) {
    ns_ += kStrokeNs;
    return;
  }
  const double covered = std::min(shown * w, reach.width() * reach.height());
  if (pen.dashed) {
    Dashes(shown, reach, covered, pen);
    return;
  }
  // A wide pen's closed outline: the shape grown and shrunk by half the pen,
  // with a curve at each corner where the joins are round.
  Outline o(height_);
  sides(o, box.adjusted(-w / 2, -w / 2, w / 2, w / 2));
  sides(o, box.adjusted(w / 2, w / 2, -w / 2, -w / 2).normalized());
  if (!ellipse && pen.roundEnds) o.Edges(4 * CurveEdges(w), w / 2, w / 2, w, false, reach.top(), reach.bottom());
  ns_ += kStrokeNs + o.Cost(covered);
}

void PaintCost::Fill(const std::vector<QPolygonF>& shape) {
  Outline o(height_);
  const QRectF picture = Picture();
  double covered = 0;
  for (const QPolygonF& q : shape) {
    if (q.size() < 2) continue;
    for (int i = 0; i < q.size(); ++i) o.Edge(q[i], q[(i + 1) % q.size()]);
    const QRectF on = q.boundingRect().intersected(picture);
    covered += on.width() * on.height();
  }
  ns_ += o.Cost(std::min(covered, width_ * height_));
}

bool PaintCost::FillsLetters(double pixels) { return pixels > kCachedGlyphPixels; }

void PaintCost::Letters(size_t count, double pixels, const std::vector<QPolygonF>& outline) {
  const double n = static_cast<double>(count);
  ns_ += kTextNs;
  if (!FillsLetters(pixels)) {
    ns_ += n * (kGlyphNs + pixels * pixels * kGlyphPixelNs);
    return;
  }
  const double before = ns_;
  Fill(outline);
  ns_ = before + (ns_ - before) * kGlyphFillShare + n * kLargeGlyphNs;
}

void PaintCost::FontLoaded() { ns_ += kFontNs; }
