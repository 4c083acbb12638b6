// The painter's cost model (platform/image/paint_cost.h) against the painter
// itself: families of the shapes the metafile reader draws, each drawn as
// the reader draws it (antialiased, on opaque pixels, lines a stretch at a
// time) and timed, beside what the model counts for them. Counters:
// model_ms (the model's count), ratio (the model over the time measured:
// near 1 is calibrated; above 1 counts dearer than it is, which keeps the
// bound safe; well below 1 would let a dear picture through). The figures
// are for the plain build; the model's constants come from these. The time
// is the drawing thread's own processor time, so that other work on a busy
// machine does not count as the painter's.
#include <benchmark/benchmark.h>

#include "platform/image/paint_cost.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <time.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

// The shapes a case draws, given once to the model and once to the painter.
class Canvas {
 public:
  virtual ~Canvas() = default;
  virtual void Line(QPointF a, QPointF b, const CostPen& pen) = 0;
  virtual void Box(const QRectF& box, bool ellipse, bool filled, const CostPen& pen) = 0;
  virtual void Fill(const std::vector<QPolygonF>& shape) = 0;
  virtual void Text(QPointF at, const QString& text, double pixels, const QString& face) = 0;
};

class ModelCanvas : public Canvas {
 public:
  ModelCanvas(int w, int h) : cost(w, h) {}
  void Line(QPointF a, QPointF b, const CostPen& pen) override { cost.Line(a, b, pen); }
  void Box(const QRectF& box, bool ellipse, bool filled, const CostPen& pen) override {
    cost.Box(box, ellipse, filled, pen);
  }
  void Fill(const std::vector<QPolygonF>& shape) override { cost.Fill(shape); }
  void Text(QPointF at, const QString& text, double pixels, const QString& face) override {
    if (face != last) cost.FontLoaded(), last = face;
    std::vector<QPolygonF> outline;
    if (PaintCost::FillsLetters(pixels)) {
      QFont f(face);
      f.setPixelSize(static_cast<int>(std::lround(pixels)));
      QPainterPath path;
      path.addText(at + QPointF(0, QFontMetricsF(f).ascent()), f, text);
      const QList<QPolygonF> polygons = path.toFillPolygons();
      outline.assign(polygons.begin(), polygons.end());
    }
    cost.Letters(static_cast<size_t>(text.size()), pixels, outline);
  }
  PaintCost cost;
  QString last;
};

class PainterCanvas : public Canvas {
 public:
  explicit PainterCanvas(QImage* image) : p(image) { p.setRenderHint(QPainter::Antialiasing, true); }
  static QPen PenOf(const CostPen& c) {
    if (c.none) return QPen(Qt::NoPen);
    QPen pen(QColor(20, 40, 160));
    pen.setWidthF(c.width);
    pen.setCapStyle(c.roundEnds ? Qt::RoundCap : Qt::FlatCap);
    pen.setJoinStyle(c.roundEnds ? Qt::RoundJoin : Qt::MiterJoin);
    if (c.dashed) pen.setStyle(Qt::DotLine);
    return pen;
  }
  void Line(QPointF a, QPointF b, const CostPen& pen) override {
    p.setPen(PenOf(pen));
    p.drawLine(a, b);
  }
  void Box(const QRectF& box, bool ellipse, bool filled, const CostPen& pen) override {
    p.setPen(PenOf(pen));
    p.setBrush(filled ? QBrush(QColor(200, 60, 40)) : QBrush(Qt::NoBrush));
    if (ellipse) p.drawEllipse(box);
    else p.drawRect(box);
  }
  void Fill(const std::vector<QPolygonF>& shape) override {
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    for (const QPolygonF& q : shape) path.addPolygon(q), path.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 160, 60));
    p.drawPath(path);
  }
  void Text(QPointF at, const QString& text, double pixels, const QString& face) override {
    QFont f(face);
    f.setPixelSize(static_cast<int>(std::lround(pixels)));
    p.setFont(f);
    p.setPen(Qt::black);
    at.ry() += QFontMetricsF(f).ascent();
    p.drawText(at, text);
  }
  QPainter p;
};

struct Case {
  std::string name;
  int width, height;
  std::function<void(Canvas&, int)> draw;  // the run's number, for fonts never seen before
};

CostPen Pen(double width, bool round = true, bool dashed = false) {
  CostPen c;
  c.width = width, c.roundEnds = round, c.dashed = dashed;
  return c;
}

// n lines of the length at angles all round, inside a 2,000 pixel square.
Case Lines(const std::string& name, int n, double length, CostPen pen) {
  return {name, 2000, 2000, [=](Canvas& c, int) {
            for (int i = 0; i < n; ++i) {
              const QPointF from(1000 + 700 * std::cos(i * 0.1), 1000 + 700 * std::sin(i * 0.13));
              c.Line(from, from + QPointF(length * std::cos(i * 0.7), length * std::sin(i * 0.7)), pen);
            }
          }};
}

// n lines of the length at one angle (degrees), spread over a 2,000 pixel square.
Case Parallel(const std::string& name, int n, double length, double degrees, CostPen pen) {
  return {name, 2000, 2000, [=](Canvas& c, int) {
            const QPointF along(length * std::cos(degrees / 57.29578), length * std::sin(degrees / 57.29578));
            for (int i = 0; i < n; ++i) {
              const QPointF from(300.5 + (i * 37) % 1300, 300.5 + (i * 91) % 1300);
              c.Line(from, from + along, pen);
            }
          }};
}

// A polyline of n points, as a long line chart: each stretch a step right
// and up or down.
Case Chart(const std::string& name, int n, double rise, CostPen pen) {
  return {name, 1800, 1200, [=](Canvas& c, int) {
            QPointF at(100, 600);
            for (int i = 1; i < n; ++i) {
              const QPointF to(100 + 1600.0 * i / n, 600 + 400 * std::sin(i * 0.01) + rise * std::sin(i * 1.3));
              c.Line(at, to, pen);
              at = to;
            }
          }};
}

Case Boxes(const std::string& name, int n, double w, double h, bool ellipse, CostPen pen) {
  return {name, 2000, 2000, [=](Canvas& c, int) {
            for (int i = 0; i < n; ++i)
              c.Box(QRectF(50.3 + (i * 37) % 1800, 1950.6 - h - (i * 91) % std::max(1, static_cast<int>(1900 - h)), w, h), ellipse,
                    true, pen);
          }};
}

QPolygonF Circle(QPointF centre, double radius, int points, double wiggle) {
  QPolygonF q;
  for (int i = 0; i < points; ++i) {
    const double a = i * 6.2832 / points, r = radius * (1 + wiggle * std::sin(a * 37));
    q << centre + QPointF(r * std::cos(a), r * std::sin(a));
  }
  return q;
}

Case Crossing(const std::string& name, int n, double radius) {
  return {name, 4000, 4000, [=](Canvas& c, int) {
            QPolygonF q;
            for (int i = 0; i < n; ++i) q << QPointF(2000 + radius * std::cos(i * 2.39996), 2000 + radius * std::sin(i * 2.39996));
            c.Fill({q});
          }};
}

// A map: cells x cells regions of k points each, filled as one shape.
Case Map(const std::string& name, int cells, int k) {
  return {name, 2400, 1800, [=](Canvas& c, int) {
            std::vector<QPolygonF> shape;
            const double side = 1700.0 / cells;
            for (int r = 0; r < cells; ++r)
              for (int col = 0; col < cells; ++col)
                shape.push_back(Circle(QPointF(350 + side * (col + 0.5), 50 + side * (r + 0.5)), side * 0.45, k, 0.1));
            c.Fill(shape);
          }};
}

Case Letters(const std::string& name, int texts, double pixels, const char* text = "Sample 1234") {
  return {name, 2000, 2000, [=](Canvas& c, int) {
            for (int i = 0; i < texts; ++i)
              c.Text(QPointF(20 + (i % 10) * 180, 20 + (i / 10 % 20) * 90), text, pixels, "Liberation Sans");
          }};
}

// A font of a face never asked for before for each letter.
Case Fonts(const std::string& name, int fonts) {
  return {name, 600, 300, [=](Canvas& c, int run) {
            for (int i = 0; i < fonts; ++i)
              c.Text(QPointF(i % 500, i % 200), "A", 30, QString("Face %1 %2").arg(run).arg(i));
          }};
}

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      Lines("thin_lines_2000x5", 2000, 5, Pen(1)),
      Lines("thin_lines_2000x50", 2000, 50, Pen(1)),
      Lines("thin_lines_2000x500", 2000, 500, Pen(1)),
      Parallel("thin_across_2000x500", 2000, 500, 0, Pen(1)),
      Parallel("thin_down_2000x500", 2000, 500, 90, Pen(1)),
      Parallel("thin_slant_2000x500", 2000, 500, 30, Pen(1)),
      Lines("thin_dotted_2000x500", 2000, 500, Pen(1, true, true)),
      Chart("thin_chart_20000", 20000, 10, Pen(1)),
      Lines("round_3px_2000x5", 2000, 5, Pen(3)),
      Lines("round_3px_2000x50", 2000, 50, Pen(3)),
      Lines("round_3px_2000x500", 2000, 500, Pen(3)),
      Parallel("round_3px_down_2000x500", 2000, 500, 90, Pen(3)),
      Parallel("round_3px_across_2000x500", 2000, 500, 0, Pen(3)),
      Lines("round_20px_2000x50", 2000, 50, Pen(20)),
      Lines("round_20px_500x500", 500, 500, Pen(20)),
      Lines("round_200px_200x500", 200, 500, Pen(200)),
      Lines("round_1000px_20x2500", 20, 2500, Pen(1000)),
      Chart("round_3px_chart_20000", 20000, 10, Pen(3)),
      Chart("round_6px_chart_500", 500, 0, Pen(6)),
      Lines("flat_3px_2000x50", 2000, 50, Pen(3, false)),
      Lines("flat_20px_2000x500", 2000, 500, Pen(20, false)),
      Lines("dotted_round_3px_200x500", 200, 500, Pen(3, true, true)),
      Lines("dotted_round_20px_100x1500", 100, 1500, Pen(20, true, true)),
      Lines("dotted_flat_3px_200x500", 200, 500, Pen(3, false, true)),
      Boxes("bars_300_thin_outline", 300, 4.2, 1000, false, Pen(1)),
      Boxes("boxes_2000x10_no_pen", 2000, 10.5, 10.5, false, CostPen{1, true}),
      Boxes("boxes_200x300_thin_outline", 200, 300.5, 300.5, false, Pen(1)),
      Boxes("boxes_200x300_6px_outline", 200, 300.5, 300.5, false, Pen(6)),
      Boxes("dots_3000x7_thin_outline", 3000, 7.2, 7.2, true, Pen(1)),
      Boxes("ellipses_200x300_thin_outline", 200, 300.5, 300.5, true, Pen(1)),
      Boxes("ellipses_200x300_6px_outline", 200, 300.5, 300.5, true, Pen(6)),
      {"circles_100x1000", 2000, 2000,
       [](Canvas& c, int) {
         for (int i = 0; i < 100; ++i) c.Fill({Circle(QPointF(300 + i * 14, 1000), 250, 1000, 0.05)});
       }},
      {"circle_10000_r1800", 4000, 4000, [](Canvas& c, int) { c.Fill({Circle(QPointF(2000, 2000), 1800, 10000, 0.05)}); }},
      Crossing("crossing_60_r300", 60, 300),
      Crossing("crossing_200_r300", 200, 300),
      Crossing("crossing_60_r1000", 60, 1000),
      Map("map_8x8_k200", 8, 200),
      Map("map_16x16_k80", 16, 80),
      Letters("letters_12px_200x11", 200, 12),
      Letters("letters_40px_200x11", 200, 40),
      Letters("letters_100px_50x11", 50, 100),
      Letters("letters_200px_20x11", 20, 200),
      // Letters as wide as they are high, made of slanted strokes.
      Letters("wide_letters_1000px_10x4", 10, 1000, "WWWW"),
      Letters("wide_letters_400px_20x8", 20, 400, "WWWWWWWW"),
      Fonts("new_faces_200", 200),
  };
  return cases;
}

double ThreadSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

// The application the fonts need, kept to the end of the process.
void StartOffscreen() {
  static int argc = 1;
  static char name[] = "bench";
  static char* argv[] = {name, nullptr};
  if (QGuiApplication::instance() != nullptr) return;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  new QGuiApplication(argc, argv);
}

void ModelAgainstPainter(benchmark::State& state) {
  StartOffscreen();
  const Case& c = Cases()[static_cast<size_t>(state.range(0))];
  state.SetLabel(c.name);
  ModelCanvas model(c.width, c.height);
  c.draw(model, -1);
  QImage image(c.width, c.height, QImage::Format_RGB32);
  double measured = 0;
  int run = 0;
  for (auto _ : state) {
    image.fill(Qt::white);
    const double start = ThreadSeconds();
    {
      PainterCanvas painter(&image);
      c.draw(painter, run++);
    }
    const double seconds = ThreadSeconds() - start;
    state.SetIterationTime(seconds);
    measured += seconds;
  }
  // The shapes' count, without the picture's white ground (not timed here).
  const double shapesNs = model.cost.ns() - PaintCost(c.width, c.height).ns();
  state.counters["model_ms"] = shapesNs / 1e6;
  state.counters["ratio"] = shapesNs / 1e9 / (measured / std::max(1, run));
}

}  // namespace

BENCHMARK(ModelAgainstPainter)->DenseRange(0, 42)->UseManualTime()->Unit(benchmark::kMillisecond);
