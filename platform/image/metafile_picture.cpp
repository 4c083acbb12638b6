#include "platform/image/metafile_picture.h"

#include "platform/image/paint_cost.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7u;
constexpr uint32_t kEmfSignature = 0x464D4520u;  // " EMF"
constexpr int kPlaceableSize = 22;
constexpr int kWmfHeaderSize = 18;
constexpr int kMaxSide = 4000;
constexpr size_t kMaxObjects = 4096;   // a file may ask for more: it gets no more
constexpr size_t kMaxPoints = 100000;  // points of one record
// The work one picture may ask for (records, points, characters): a file
// that asks for more is damaged, not a picture to spend minutes on.
constexpr size_t kMaxWork = 400000;
// The painting one picture may ask for, as the painter's time the cost model
// counts (nanoseconds): a second, and more for a large picture, whose
// painting covers more. A sound picture takes a small part of that; one
// whose pens, points and fonts ask for more is damaged.
constexpr double kLeastPaintNs = 1e9;
constexpr double kPaintNsPerPixel = 64;

// Little-endian reads that answer 0 past the end; ok() tells.
class Bytes {
 public:
  Bytes(const uint8_t* d, size_t n) : d_(d), n_(n) {}
  bool Has(size_t at, size_t count) const { return at <= n_ && count <= n_ - at; }
  uint16_t U16(size_t at) const { return Has(at, 2) ? static_cast<uint16_t>(d_[at] | (d_[at + 1] << 8)) : 0; }
  int16_t S16(size_t at) const { return static_cast<int16_t>(U16(at)); }
  uint32_t U32(size_t at) const {
    return Has(at, 4) ? static_cast<uint32_t>(d_[at]) | (static_cast<uint32_t>(d_[at + 1]) << 8) |
                            (static_cast<uint32_t>(d_[at + 2]) << 16) | (static_cast<uint32_t>(d_[at + 3]) << 24)
                      : 0;
  }
  int32_t S32(size_t at) const { return static_cast<int32_t>(U32(at)); }
  uint8_t U8(size_t at) const { return Has(at, 1) ? d_[at] : 0; }
  size_t size() const { return n_; }
  const uint8_t* at(size_t i) const { return d_ + i; }

 private:
  const uint8_t* d_;
  size_t n_;
};

QColor ColorOf(uint32_t ref) { return QColor(ref & 0xFF, (ref >> 8) & 0xFF, (ref >> 16) & 0xFF); }

// One drawing object of the file's table.
struct GdiObject {
  enum Kind { kNone, kPen, kBrush, kFont } kind = kNone;
  QPen pen;
  QBrush brush;
  QFont font;
  int fontHeight = 0;  // logical units; negative: character height
};

// The drawing state both kinds of file share.
// Without a painter it only counts: what the picture would cost is known
// before anything of it is drawn.
class Player {
 public:
  Player(QPainter* p, int width, int height)
      : p_(p), width_(width), height_(height), far_(4.0 * std::max(width, height)), widest_(std::max(width, height)),
        cost_(width, height) {
    pen_ = QPen(Qt::black);
    brush_ = QBrush(Qt::white);
    objects_.reserve(16);
  }

  // Logical to image pixels.
  void SetWindow(double ox, double oy, double ex, double ey) {
    ox_ = ox, oy_ = oy;
    if (ex != 0) ex_ = ex;
    if (ey != 0) ey_ = ey;
  }
  void SetWindowOrg(double x, double y) { ox_ = x, oy_ = y; }
  void SetWindowExt(double x, double y) {
    if (x != 0) ex_ = x;
    if (y != 0) ey_ = y;
  }
  // A point far outside the picture is drawn at a bounded distance from it:
  // what lies beyond never shows, and the painter's work stays bounded.
  QPointF Map(double x, double y) const {
    return QPointF(std::clamp((x - ox_) * width_ / ex_, -far_, width_ + far_),
                   std::clamp((y - oy_) * height_ / ey_, -far_, height_ + far_));
  }
  double ScaleX(double v) const { return std::min(std::fabs(v * width_ / ex_), far_); }
  double ScaleY(double v) const { return std::min(std::fabs(v * height_ / ey_), far_); }

  // Counts work done; false once the picture has asked for more than any
  // sound one does, and nothing more is drawn.
  bool Spend(size_t units) {
    work_ += units;
    return !OverBudget();
  }
  // The painter's time counted so far (by a player that counts, without a
  // painter), and the same test of it.
  double PaintNs() const { return cost_.ns(); }
  bool OverBudget() const { return TooMuchWork() || cost_.ns() > paintBudget_; }
  bool TooMuchWork() const { return work_ > kMaxWork; }
  // What the picture's painting may ask for (see DrawMetafilePicture).
  void AllowPainting(double ns) { paintBudget_ = ns; }

  // The table: a new object takes the first free slot (Windows metafiles)
  // or its given slot (enhanced ones); slots past the bound are refused.
  // The free slots are kept in order, so that a file making objects by the
  // hundred thousand does not search the table for each one.
  void Put(size_t slot, GdiObject o) {
    if (slot >= kMaxObjects) return;
    for (size_t i = objects_.size(); i < slot; ++i) free_.insert(i);
    if (slot >= objects_.size()) objects_.resize(slot + 1);
    objects_[slot] = std::move(o);
    free_.erase(slot);
  }
  size_t FirstFree() const { return free_.empty() ? objects_.size() : *free_.begin(); }
  void Select(size_t slot) {
    if (slot >= objects_.size()) return;
    const GdiObject& o = objects_[slot];
    if (o.kind == GdiObject::kPen) pen_ = o.pen;
    if (o.kind == GdiObject::kBrush) brush_ = o.brush;
    if (o.kind == GdiObject::kFont) font_ = o, hasFont_ = true;
  }
  void Delete(size_t slot) {
    if (slot < objects_.size()) objects_[slot] = GdiObject(), free_.insert(slot);
  }
  void SelectStock(uint32_t code) {
    switch (code & 0x7FFFFFFF) {
      case 0: brush_ = QBrush(Qt::white); break;       // white brush
      case 4: brush_ = QBrush(Qt::black); break;       // black brush
      case 5: brush_ = QBrush(Qt::NoBrush); break;     // hollow brush
      case 6: pen_ = QPen(Qt::white); break;
      case 7: pen_ = QPen(Qt::black); break;
      case 8: pen_ = QPen(Qt::NoPen); break;
      default: break;
    }
  }

  QPen MakePen(uint32_t style, double width, uint32_t colour) const {
    if ((style & 0xF) == 5) return QPen(Qt::NoPen);
    QPen pen(ColorOf(colour));
    // A pen wider than the picture covers no more of it.
    pen.setWidthF(std::clamp(ScaleX(width), 1.0, widest_));
    // Ends and joins are round unless the pen asks otherwise.
    pen.setCapStyle((style & 0xF00) == 0x100 ? Qt::SquareCap : (style & 0xF00) == 0x200 ? Qt::FlatCap : Qt::RoundCap);
    pen.setJoinStyle((style & 0xF000) == 0x1000 ? Qt::BevelJoin : (style & 0xF000) == 0x2000 ? Qt::MiterJoin
                                                                                            : Qt::RoundJoin);
    switch (style & 0xF) {
      case 1: pen.setStyle(Qt::DashLine); break;
      case 2: pen.setStyle(Qt::DotLine); break;
      case 3: pen.setStyle(Qt::DashDotLine); break;
      case 4: pen.setStyle(Qt::DashDotDotLine); break;
      default: break;
    }
    return pen;
  }
  static QBrush MakeBrush(uint32_t style, uint32_t colour, uint32_t hatch) {
    if (style == 1) return QBrush(Qt::NoBrush);
    if (style == 2) {
      static const Qt::BrushStyle kHatch[] = {Qt::HorPattern, Qt::VerPattern, Qt::FDiagPattern,
                                              Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
      return QBrush(ColorOf(colour), hatch < 6 ? kHatch[hatch] : Qt::SolidPattern);
    }
    return QBrush(ColorOf(colour));
  }
  GdiObject MakeFont(int height, int weight, bool italic, bool underline, bool strike, const QString& face) const {
    GdiObject o;
    o.kind = GdiObject::kFont;
    o.font = QFont(face.isEmpty() ? QStringLiteral("Arial") : face);
    o.font.setBold(weight >= 600);
    o.font.setItalic(italic);
    o.font.setUnderline(underline);
    o.font.setStrikeOut(strike);
    o.fontHeight = height;
    return o;
  }

  void MoveTo(double x, double y) { cur_ = Map(x, y); }
  void LineTo(double x, double y) {
    const QPointF to = Map(x, y);
    const QPointF from = cur_;
    cur_ = to;
    if (Counting()) {
      cost_.Line(from, to, LinePen());
      return;
    }
    p_->setPen(pen_);
    p_->drawLine(from, to);
  }
  void Rect(double l, double t, double r, double b, bool ellipse, double rx = 0, double ry = 0) {
    const QRectF rect = QRectF(Map(l, t), Map(r, b)).normalized();
    if (Counting()) {
      CostPen outline = LinePen();
      outline.roundEnds = pen_.joinStyle() == Qt::RoundJoin;
      cost_.Box(rect, ellipse, brush_.style() != Qt::NoBrush, outline);
      return;
    }
    p_->setPen(pen_);
    p_->setBrush(brush_);
    if (ellipse) p_->drawEllipse(rect);
    else if (rx > 0 || ry > 0) p_->drawRoundedRect(rect, ScaleX(rx) / 2, ScaleY(ry) / 2);
    else p_->drawRect(rect);
  }
  void Poly(const QPolygonF& pts, bool closed) {
    if (pts.size() < 2 || !Spend(static_cast<size_t>(pts.size()))) return;
    if (Counting()) {
      cost_.Points(static_cast<size_t>(pts.size()));
      if (closed && brush_.style() != Qt::NoBrush) cost_.Fill({pts});
      OutlineCost(pts, closed);
      return;
    }
    if (closed && brush_.style() != Qt::NoBrush) {
      p_->setPen(Qt::NoPen);
      p_->setBrush(brush_);
      p_->drawPolygon(pts, fillWinding_ ? Qt::WindingFill : Qt::OddEvenFill);
    }
    Outline(pts, closed);
  }
  void PolyPoly(const std::vector<QPolygonF>& polys) {
    QPainterPath path;
    path.setFillRule(fillWinding_ ? Qt::WindingFill : Qt::OddEvenFill);
    for (const QPolygonF& q : polys) {
      if (!Spend(static_cast<size_t>(q.size()))) return;
      if (!Counting()) {
        if (q.size() >= 2) path.addPolygon(q), path.closeSubpath();
        continue;
      }
      cost_.Points(static_cast<size_t>(q.size()));
      if (q.size() >= 2) OutlineCost(q, true);
    }
    if (Counting()) {
      if (brush_.style() != Qt::NoBrush) cost_.Fill(polys);
      return;
    }
    if (brush_.style() != Qt::NoBrush) {
      p_->setPen(Qt::NoPen);
      p_->setBrush(brush_);
      p_->drawPath(path);
    }
    for (const QPolygonF& q : polys)
      if (q.size() >= 2) Outline(q, true);
  }
  void Text(double x, double y, const QString& text) {
    if (!Spend(static_cast<size_t>(text.size()))) return;
    QFont f = hasFont_ ? font_.font : QFont(QStringLiteral("Arial"));
    const double h = hasFont_ && font_.fontHeight != 0 ? std::min(ScaleY(font_.fontHeight), widest_) : 12.0;
    const int pixels = std::max(1, static_cast<int>(std::lround(h)));
    f.setPixelSize(pixels);
    QPointF at = Map(x, y);
    // Text is placed by its top unless the alignment asks for the baseline.
    if ((textAlign_ & 0x18) == 0) at.ry() += QFontMetricsF(f).ascent();
    if ((textAlign_ & 0x06) == 0x06) at.rx() -= QFontMetricsF(f).horizontalAdvance(text) / 2;
    else if (textAlign_ & 0x02) at.rx() -= QFontMetricsF(f).horizontalAdvance(text);
    if (Counting()) {
      // The painter makes a font for each face, size, weight and slant it
      // writes in, looking for the face among the system's fonts: a picture
      // of a new font for each letter asks for that many.
      if (fontsUsed_.emplace(f.family().toStdString(), pixels, f.bold(), f.italic()).second) cost_.FontLoaded();
      std::vector<QPolygonF> outline;
      if (PaintCost::FillsLetters(h)) {
        // Large letters cost by what their glyphs cover: the outline the
        // painter will fill, from the same font at the same place.
        QPainterPath path;
        path.addText(at, f, text);
        const QList<QPolygonF> polygons = path.toFillPolygons();
        outline.assign(polygons.begin(), polygons.end());
      }
      cost_.Letters(static_cast<size_t>(text.size()), h, outline);
      return;
    }
    p_->setFont(f);
    p_->setPen(QPen(textColour_));
    p_->drawText(at, text);
  }

  QColor textColour_ = Qt::black;
  uint32_t textAlign_ = 0;
  bool fillWinding_ = false;

 private:
  // A player without a painter counts what the painting would cost; the
  // one with a painter draws what its count let through.
  bool Counting() const { return p_ == nullptr; }
  // The pen as the cost model sees it along a line.
  CostPen LinePen() const {
    CostPen c;
    c.width = pen_.widthF();
    c.none = pen_.style() == Qt::NoPen;
    c.dashed = pen_.style() != Qt::SolidLine;
    c.roundEnds = pen_.capStyle() == Qt::RoundCap;
    return c;
  }
  // A shape's outline is drawn a stretch at a time (see Outline).
  void OutlineCost(const QPolygonF& pts, bool closed) {
    const CostPen pen = LinePen();
    for (int i = 1; i < pts.size(); ++i) cost_.Line(pts[i - 1], pts[i], pen);
    if (closed && pts.size() > 2) cost_.Line(pts.back(), pts.front(), pen);
  }
  // Lines of many points are drawn one stretch at a time: the painter's work
  // on each stays what its cost says, however the stretches cross.
  void Outline(const QPolygonF& pts, bool closed) {
    if (pen_.style() == Qt::NoPen) return;
    p_->setPen(pen_);
    for (int i = 1; i < pts.size(); ++i) p_->drawLine(pts[i - 1], pts[i]);
    if (closed && pts.size() > 2) p_->drawLine(pts.back(), pts.front());
  }

  QPainter* p_;
  int width_, height_;
  double far_;     // how far outside the picture a point may be drawn
  double widest_;  // the picture's longer side
  PaintCost cost_;
  double paintBudget_ = std::numeric_limits<double>::infinity();
  size_t work_ = 0;
  std::set<std::tuple<std::string, int, bool, bool>> fontsUsed_;
  double ox_ = 0, oy_ = 0, ex_ = 1, ey_ = 1;
  QPen pen_;
  QBrush brush_;
  GdiObject font_;
  bool hasFont_ = false;
  QPointF cur_;
  std::vector<GdiObject> objects_;
  std::set<size_t> free_;
};

// ---- Windows metafiles.

struct WmfLayout {
  size_t start = 0;  // the metafile header
  bool placeable = false;
  int left = 0, top = 0, right = 0, bottom = 0, unitsPerInch = 0;
};

bool ReadWmfLayout(const Bytes& b, WmfLayout* w) {
  size_t at = 0;
  if (b.U32(0) == kPlaceableKey) {
    if (!b.Has(0, kPlaceableSize)) return false;
    w->placeable = true;
    w->left = b.S16(6), w->top = b.S16(8), w->right = b.S16(10), w->bottom = b.S16(12);
    w->unitsPerInch = b.U16(14);
    // Nothing can be sized without the units per inch: a damaged picture.
    if (w->unitsPerInch == 0) return false;
    at = kPlaceableSize;
  }
  // The header: type 1 or 2, header size of 9 words, a version of 0x100 or 0x300.
  if (!b.Has(at, kWmfHeaderSize)) return false;
  const uint16_t type = b.U16(at), words = b.U16(at + 2), version = b.U16(at + 4);
  if ((type != 1 && type != 2) || words != 9 || (version != 0x100 && version != 0x300)) return false;
  w->start = at;
  return true;
}

QString WmfText(const Bytes& b, size_t at, size_t count) {
  if (!b.Has(at, count)) count = at < b.size() ? b.size() - at : 0;
  return QString::fromLatin1(reinterpret_cast<const char*>(b.at(at)), static_cast<int>(count));
}

void PlayWmf(const Bytes& b, const WmfLayout& w, Player& pl) {
  if (w.placeable) pl.SetWindow(w.left, w.top, w.right - w.left, w.bottom - w.top);
  size_t at = w.start + kWmfHeaderSize;
  while (b.Has(at, 6)) {
    const uint64_t words = b.U32(at);
    const uint16_t fn = b.U16(at + 4);
    if (words < 3 || !b.Has(at, words * 2)) break;  // a record past the end ends the picture
    if (!pl.Spend(1)) return;
    const size_t p = at + 6, end = at + static_cast<size_t>(words) * 2;
    auto points = [&](size_t from, size_t count) {
      QPolygonF q;
      count = std::min(count, kMaxPoints);
      for (size_t i = 0; i < count && from + i * 4 + 4 <= end; ++i)
        q << pl.Map(b.S16(from + i * 4), b.S16(from + i * 4 + 2));
      return q;
    };
    switch (fn) {
      case 0x0000: return;  // end of the picture
      case 0x020B: pl.SetWindowOrg(b.S16(p + 2), b.S16(p)); break;
      case 0x020C: pl.SetWindowExt(b.S16(p + 2), b.S16(p)); break;
      case 0x0209: pl.textColour_ = ColorOf(b.U32(p)); break;
      case 0x012E: pl.textAlign_ = b.U16(p); break;
      case 0x0106: pl.fillWinding_ = b.U16(p) == 2; break;
      case 0x02FA: {  // pen: style, width, colour
        GdiObject o;
        o.kind = GdiObject::kPen;
        o.pen = pl.MakePen(b.U16(p), b.S16(p + 2), b.U32(p + 6));
        pl.Put(pl.FirstFree(), o);
        break;
      }
      case 0x02FC: {  // brush: style, colour, hatch
        GdiObject o;
        o.kind = GdiObject::kBrush;
        o.brush = Player::MakeBrush(b.U16(p), b.U32(p + 2), b.U16(p + 6));
        pl.Put(pl.FirstFree(), o);
        break;
      }
      case 0x02FB: {  // font: height, ..., weight, italic, underline, strike-out, ..., face
        size_t faceLength = 0;
        while (p + 18 + faceLength < end && faceLength < 32 && b.U8(p + 18 + faceLength) != 0) ++faceLength;
        pl.Put(pl.FirstFree(), pl.MakeFont(b.S16(p), b.S16(p + 8), b.U8(p + 10) != 0, b.U8(p + 11) != 0,
                                           b.U8(p + 12) != 0, WmfText(b, p + 18, faceLength)));
        break;
      }
      case 0x00F7: case 0x06FF: case 0x0142: case 0x01F9:  // palettes, regions, pattern brushes: a slot each
        pl.Put(pl.FirstFree(), GdiObject{GdiObject::kBrush, QPen(), QBrush(Qt::NoBrush), QFont(), 0});
        break;
      case 0x012D: pl.Select(b.U16(p)); break;
      case 0x01F0: pl.Delete(b.U16(p)); break;
      case 0x0214: pl.MoveTo(b.S16(p + 2), b.S16(p)); break;
      case 0x0213: pl.LineTo(b.S16(p + 2), b.S16(p)); break;
      case 0x041B: pl.Rect(b.S16(p + 6), b.S16(p + 4), b.S16(p + 2), b.S16(p), false); break;
      case 0x0418: pl.Rect(b.S16(p + 6), b.S16(p + 4), b.S16(p + 2), b.S16(p), true); break;
      case 0x061C:
        pl.Rect(b.S16(p + 10), b.S16(p + 8), b.S16(p + 6), b.S16(p + 4), false, b.S16(p + 2), b.S16(p));
        break;
      case 0x0324: pl.Poly(points(p + 2, b.U16(p)), true); break;
      case 0x0325: pl.Poly(points(p + 2, b.U16(p)), false); break;
      case 0x0538: {  // several polygons: their counts, then all points
        const size_t n = b.U16(p);
        std::vector<QPolygonF> polys;
        size_t from = p + 2 + n * 2;
        for (size_t i = 0; i < n && p + 2 + i * 2 + 2 <= end && from < end; ++i) {
          const size_t count = b.U16(p + 2 + i * 2);
          polys.push_back(points(from, count));
          from += count * 4;
        }
        pl.PolyPoly(polys);
        break;
      }
      case 0x0521: {  // text: length, characters (even), y, x
        const size_t n = b.U16(p);
        const size_t after = p + 2 + ((n + 1) & ~static_cast<size_t>(1));
        if (after + 4 <= end) pl.Text(b.S16(after + 2), b.S16(after), WmfText(b, p + 2, n));
        break;
      }
      case 0x0A32: {  // text at y, x: length, options, [rectangle], characters
        const size_t n = b.U16(p + 4);
        const uint16_t options = b.U16(p + 6);
        const size_t text = p + 8 + ((options & 0x0006) ? 8 : 0);
        if (text + n <= end) pl.Text(b.S16(p + 2), b.S16(p), WmfText(b, text, n));
        break;
      }
      default: break;  // other records draw nothing here
    }
    at = end;
  }
}

// ---- Enhanced metafiles.

struct EmfLayout {
  int frame[4] = {};   // 0.01 mm
  int device[2] = {};  // reference device, pixels
  int mm[2] = {};      // reference device, millimetres
};

bool ReadEmfLayout(const Bytes& b, EmfLayout* e) {
  if (b.U32(0) != 1 || b.U32(40) != kEmfSignature) return false;
  const uint32_t headerSize = b.U32(4);
  if (headerSize < 88 || !b.Has(0, headerSize)) return false;
  for (int i = 0; i < 4; ++i) e->frame[i] = b.S32(24 + i * 4);
  e->device[0] = b.S32(72), e->device[1] = b.S32(76);
  e->mm[0] = b.S32(80), e->mm[1] = b.S32(84);
  return e->frame[2] > e->frame[0] && e->frame[3] > e->frame[1];
}

QString EmfText(const Bytes& b, size_t at, size_t count, size_t end) {
  QString s;
  for (size_t i = 0; i < count && at + i * 2 + 2 <= end; ++i) s += QChar(b.U16(at + i * 2));
  return s;
}

void PlayEmf(const Bytes& b, const EmfLayout& e, Player& pl) {
  // Logical units are the reference device's pixels until the file says otherwise;
  // the frame in 0.01 mm is where they land on the picture.
  const double pxPer001X = e.device[0] > 0 && e.mm[0] > 0 ? e.device[0] / (e.mm[0] * 100.0) : 96 / 2540.0;
  const double pxPer001Y = e.device[1] > 0 && e.mm[1] > 0 ? e.device[1] / (e.mm[1] * 100.0) : 96 / 2540.0;
  const double fx = e.frame[0] * pxPer001X, fy = e.frame[1] * pxPer001Y;
  const double fw = (static_cast<double>(e.frame[2]) - e.frame[0]) * pxPer001X, fh = (static_cast<double>(e.frame[3]) - e.frame[1]) * pxPer001Y;
  pl.SetWindow(fx, fy, fw, fh);
  // Window and viewport, when set, map logical units to device pixels first.
  double wox = 0, woy = 0, wex = 0, wey = 0, vox = 0, voy = 0, vex = 0, vey = 0;
  auto remap = [&]() {
    if (wex == 0 || wey == 0 || vex == 0 || vey == 0) return;
    // device = (l - wo) * ve / we + vo, and device to picture as the frame says.
    const double sx = vex / wex, sy = vey / wey;
    pl.SetWindow(wox + (fx - vox) / sx, woy + (fy - voy) / sy, fw / sx, fh / sy);
  };
  size_t at = b.U32(4);
  while (b.Has(at, 8)) {
    const uint32_t type = b.U32(at), size = b.U32(at + 4);
    if (size < 8 || (size & 3) != 0 || !b.Has(at, size)) break;
    if (!pl.Spend(1)) return;
    const size_t p = at + 8, end = at + size;
    auto points16 = [&](size_t from, size_t count) {
      QPolygonF q;
      count = std::min<size_t>(count, kMaxPoints);
      for (size_t i = 0; i < count && from + i * 4 + 4 <= end; ++i)
        q << pl.Map(b.S16(from + i * 4), b.S16(from + i * 4 + 2));
      return q;
    };
    auto points32 = [&](size_t from, size_t count) {
      QPolygonF q;
      count = std::min<size_t>(count, kMaxPoints);
      for (size_t i = 0; i < count && from + i * 8 + 8 <= end; ++i)
        q << pl.Map(b.S32(from + i * 8), b.S32(from + i * 8 + 4));
      return q;
    };
    switch (type) {
      case 14: return;  // end of the picture
      case 9: wex = b.S32(p), wey = b.S32(p + 4), remap(); break;
      case 10: wox = b.S32(p), woy = b.S32(p + 4), remap(); break;
      case 11: vex = b.S32(p), vey = b.S32(p + 4), remap(); break;
      case 12: vox = b.S32(p), voy = b.S32(p + 4), remap(); break;
      case 24: pl.textColour_ = ColorOf(b.U32(p)); break;
      case 22: pl.textAlign_ = b.U32(p); break;
      case 19: pl.fillWinding_ = b.U32(p) == 2; break;
      case 38: {  // pen: slot, style, width, colour
        GdiObject o;
        o.kind = GdiObject::kPen;
        o.pen = pl.MakePen(b.U32(p + 4), b.S32(p + 8), b.U32(p + 16));
        pl.Put(b.U32(p), o);
        break;
      }
      case 39: {  // brush: slot, style, colour, hatch
        GdiObject o;
        o.kind = GdiObject::kBrush;
        o.brush = Player::MakeBrush(b.U32(p + 4), b.U32(p + 8), b.U32(p + 12));
        pl.Put(b.U32(p), o);
        break;
      }
      case 82: {  // font: slot, then the font's height, width, ..., weight, italic, underline, strike-out, face
        const size_t lf = p + 4;
        pl.Put(b.U32(p), pl.MakeFont(b.S32(lf), b.S32(lf + 16), b.U8(lf + 20) != 0, b.U8(lf + 21) != 0,
                                     b.U8(lf + 22) != 0, EmfText(b, lf + 28, 32, end).section(QChar(0), 0, 0)));
        break;
      }
      case 37: {
        const uint32_t slot = b.U32(p);
        if (slot & 0x80000000u) pl.SelectStock(slot);
        else pl.Select(slot);
        break;
      }
      case 40: pl.Delete(b.U32(p)); break;
      case 27: pl.MoveTo(b.S32(p), b.S32(p + 4)); break;
      case 54: pl.LineTo(b.S32(p), b.S32(p + 4)); break;
      case 43: pl.Rect(b.S32(p), b.S32(p + 4), b.S32(p + 8), b.S32(p + 12), false); break;
      case 42: pl.Rect(b.S32(p), b.S32(p + 4), b.S32(p + 8), b.S32(p + 12), true); break;
      case 44: pl.Rect(b.S32(p), b.S32(p + 4), b.S32(p + 8), b.S32(p + 12), false, b.S32(p + 16), b.S32(p + 20)); break;
      case 3: pl.Poly(points32(p + 20, b.U32(p + 16)), true); break;
      case 4: pl.Poly(points32(p + 20, b.U32(p + 16)), false); break;
      case 86: pl.Poly(points16(p + 20, b.U32(p + 16)), true); break;
      case 87: pl.Poly(points16(p + 20, b.U32(p + 16)), false); break;
      case 91: {  // several 16-bit polygons: bounds, count, total points, counts, points
        const size_t n = std::min<size_t>(b.U32(p + 16), kMaxPoints);
        std::vector<QPolygonF> polys;
        size_t from = p + 24 + n * 4;
        for (size_t i = 0; i < n && p + 24 + i * 4 + 4 <= end && from < end; ++i) {
          const size_t count = b.U32(p + 24 + i * 4);
          polys.push_back(points16(from, count));
          from += std::min<size_t>(count, kMaxPoints) * 4;
        }
        pl.PolyPoly(polys);
        break;
      }
      case 84: {  // wide text: bounds, mode, scales, then the text's reference, length and offset
        const size_t t = p + 28;
        const size_t count = b.U32(t + 8), offset = b.U32(t + 12);
        if (offset >= 8 && offset <= size) pl.Text(b.S32(t), b.S32(t + 4), EmfText(b, at + offset, count, end));
        break;
      }
      default: break;
    }
    at = end;
  }
}

int Clamp(double v) { return static_cast<int>(std::max(1.0, std::min<double>(kMaxSide, std::ceil(v)))); }

}  // namespace

bool MetafilePictureSize(const uint8_t* data, size_t size, int* width001mm, int* height001mm) {
  if (data == nullptr) return false;
  const Bytes b(data, size);
  EmfLayout e;
  if (ReadEmfLayout(b, &e)) {
    // The frame may span more than an int holds.
    constexpr int64_t kMost = std::numeric_limits<int>::max();
    *width001mm = static_cast<int>(std::min<int64_t>(int64_t{e.frame[2]} - e.frame[0], kMost));
    *height001mm = static_cast<int>(std::min<int64_t>(int64_t{e.frame[3]} - e.frame[1], kMost));
    return true;
  }
  WmfLayout w;
  if (!ReadWmfLayout(b, &w)) return false;
  if (w.placeable && w.unitsPerInch > 0 && w.right != w.left && w.bottom != w.top) {
    *width001mm = static_cast<int>(std::abs(w.right - w.left) * 2540LL / w.unitsPerInch);
    *height001mm = static_cast<int>(std::abs(w.bottom - w.top) * 2540LL / w.unitsPerInch);
    return true;
  }
  // Without a usable box the window's extent counts at 96 to the inch; a
  // file that never sets one is a 10 mm square.
  size_t at = w.start + kWmfHeaderSize;
  while (b.Has(at, 6)) {
    const uint64_t words = b.U32(at);
    if (words < 3 || !b.Has(at, words * 2)) break;
    if (b.U16(at + 4) == 0x020C) {
      *width001mm = std::abs(b.S16(at + 8)) * 2540 / 96;
      *height001mm = std::abs(b.S16(at + 6)) * 2540 / 96;
      if (*width001mm > 0 && *height001mm > 0) return true;
    }
    at += static_cast<size_t>(words) * 2;
  }
  *width001mm = *height001mm = 1000;
  return true;
}

namespace {

// The picture's pixels at that fineness, at most kMaxSide a side: a picture
// too big for the bound keeps its shape.
bool PictureSize(const uint8_t* data, size_t size, int dpi, int* width, int* height) {
  int w001 = 0, h001 = 0;
  if (!MetafilePictureSize(data, size, &w001, &h001)) return false;
  dpi = std::max(24, std::min(dpi, 1200));
  *width = Clamp(static_cast<double>(w001) * dpi / 2540.0), *height = Clamp(static_cast<double>(h001) * dpi / 2540.0);
  const double shrink = std::min({1.0, double(kMaxSide) / *width, double(kMaxSide) / *height});
  *width = Clamp(*width * shrink), *height = Clamp(*height * shrink);
  return true;
}

void Play(const Bytes& b, int width, int height, Player& player) {
  EmfLayout e;
  WmfLayout wl;
  if (ReadEmfLayout(b, &e)) {
    PlayEmf(b, e, player);
  } else if (ReadWmfLayout(b, &wl)) {
    player.SetWindow(0, 0, width, height);
    PlayWmf(b, wl, player);
  }
}

}  // namespace

bool CountMetafilePicture(const uint8_t* data, size_t size, int dpi, MetafilePaintCount* count) {
  int width = 0, height = 0;
  if (count == nullptr || !PictureSize(data, size, dpi, &width, &height)) return false;
  // Counting stops where the picture asks for more than it may.
  count->allowedNs = kLeastPaintNs + kPaintNsPerPixel * width * height;
  Player counting(nullptr, width, height);
  counting.AllowPainting(count->allowedNs);
  Play(Bytes(data, size), width, height, counting);
  count->paintNs = counting.PaintNs();
  count->tooMuchWork = counting.TooMuchWork();
  return true;
}

bool DrawMetafilePicture(const uint8_t* data, size_t size, int dpi, QImage* out) {
  int width = 0, height = 0;
  MetafilePaintCount count;
  // The whole picture is counted first; one over the bounds draws nothing.
  if (out == nullptr || !CountMetafilePicture(data, size, dpi, &count) || count.tooMuchWork ||
      count.paintNs > count.allowedNs)
    return false;
  PictureSize(data, size, dpi, &width, &height);
  // Opaque pixels: the painter blends into them many times faster than into
  // pixels of their own transparency, and a white ground leaves none.
  QImage image(width, height, QImage::Format_RGB32);
  if (image.isNull()) return false;
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    Player drawing(&painter, width, height);
    Play(Bytes(data, size), width, height, drawing);
  }
  *out = std::move(image);
  return true;
}
