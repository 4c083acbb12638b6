// The painter's time a picture's drawing will take, counted from its shapes
// in the picture's pixels before anything is drawn, so that the metafile
// reader can refuse a picture that would keep the painter for seconds.
// Counts, not clocks: a picture is counted the same on every machine. The
// figures are nanoseconds of the plain build, measured against the painter
// itself by platform/image/bench/paint_cost_bench.cpp; the painter's time
// grows faster than the pixels it covers where its fill walks long slanted
// edges once for every band of rows its work area holds, and that is counted.
#pragma once

#include <QPointF>
#include <QPolygonF>
#include <QRectF>

#include <vector>

// A pen as the painter strokes it: a pen at most a pixel wide is drawn
// pixel by pixel along the line; a wider one as an outline filled.
struct CostPen {
  double width = 1;  // pixels
  bool none = false;
  bool dashed = false;
  bool roundEnds = true;  // ends and joins; otherwise flat or square
};

class PaintCost {
 public:
  PaintCost(int width, int height);

  // Points of a shape read from the picture's records.
  void Points(size_t count);
  // A pen along a line (each stretch of a polyline is one).
  void Line(QPointF a, QPointF b, const CostPen& pen);
  // A box or an ellipse, filled when filled, outlined by the pen.
  void Box(const QRectF& box, bool ellipse, bool filled, const CostPen& pen);
  // One fill of the outlines of a shape (a polygon, or the polygons of one
  // record filled together).
  void Fill(const std::vector<QPolygonF>& shape);
  // Whether letters so many pixels high are filled as outlines (not drawn
  // from the painter's kept glyphs): their count needs their outline.
  static bool FillsLetters(double pixels);
  // Letters of a font so many pixels high, written at once; outline: their
  // glyphs as polygons in the picture's pixels, where FillsLetters (the area
  // and the edges the letters really have, "W" far more than "i").
  void Letters(size_t count, double pixels, const std::vector<QPolygonF>& outline = {});
  // A font the painter looks for and loads for the first time.
  void FontLoaded();

  double ns() const { return ns_; }

 private:
  class Outline;
  void StrokeOutline(QPointF a, QPointF b, const CostPen& pen, Outline& o) const;
  void Dashes(double length, const QRectF& on, double covered, const CostPen& pen);
  double OnPicture(QPointF a, QPointF b) const;
  QRectF Picture() const { return QRectF(0, 0, width_, height_); }

  double width_, height_;
  double ns_;
};
