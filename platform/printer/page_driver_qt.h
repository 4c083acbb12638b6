// The printer library's Qt side, for the window layer and the printer tests:
// replaying stored preview pages onto any painter.
#pragma once

#include "platform/printer/page_driver.h"

#include <QBrush>
#include <QColor>
#include <QPainter>
#include <QPen>
#include <QRectF>

PageDriver* CreateQtPageDriver();

// Pages the preview has stored so far.
int StoredPreviewPageCount(const PageOutputState* s);
// What the stored pages take in memory (see PageOutputState::previewStoreLimit).
size_t StoredPreviewBytes(const PageOutputState* s);
// Draws stored page index (or, with index -1, the page just finished) so that
// the paper fills paperRect of the painter. False when there is no such page.
bool ReplayPreviewPage(const PageOutputState* s, int index, QPainter* painter, const QRectF& paperRect);
// The paper of the open device in decipoints.
QSizeF DriverPaperDecipoints(const PageOutputState* s);
// Whether a run writing straight into a PDF file leaves the layout of its
// lines to the file writer's thread (on unless switched off, for the tests
// comparing the two).
void SetPageDriverDefersLines(bool defer);

// A line or box record drawn from corner a to corner b with a pen penWidth
// wide, in the canvas's units: the canvas has Line(pen, from, to) and
// Fill(rect, brush) (the page record, or a painter's adapter).
template <class Canvas>
void PaintLineOrBox(Canvas& c, const LineBoxRecord& rec, const QPointF& a, const QPointF& b, double penWidth,
                    bool box) {
  auto colour = [](COLORREF v) { return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF); };
  QPen pen(colour(rec.lineColourShown), penWidth);
  pen.setCapStyle(Qt::FlatCap);
  static const Qt::PenStyle kStyles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine,
                                         Qt::DashDotDotLine, Qt::NoPen};
  pen.setStyle(rec.penStyle < 6 ? kStyles[rec.penStyle] : Qt::SolidLine);
  if (!box) {
    c.Line(pen, a, b);
    return;
  }
  const QRectF rect = QRectF(a, b).normalized();
  if (rec.fillColourShown != 0xFF000000) c.Fill(rect, QBrush(colour(rec.fillColourShown)));
  static const Qt::BrushStyle kHatch[] = {Qt::HorPattern, Qt::VerPattern, Qt::FDiagPattern,
                                          Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
  if (rec.styleExtra < 6) c.Fill(rect, QBrush(colour(rec.secondColourShown), kHatch[rec.styleExtra]));
  // Sides: 1 left, 2 right, 4 top, 8 bottom; a box cut by a page end loses
  // its bottom, and its continuation its top.
  if (rec.attributes & 1) c.Line(pen, rect.topLeft(), rect.bottomLeft());
  if (rec.attributes & 2) c.Line(pen, rect.topRight(), rect.bottomRight());
  if (rec.attributes & 4) c.Line(pen, rect.topLeft(), rect.topRight());
  if (rec.attributes & 8) c.Line(pen, rect.bottomLeft(), rect.bottomRight());
}
