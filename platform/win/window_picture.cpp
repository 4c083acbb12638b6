#include "platform/win/window_picture.h"

#include "platform/win/ui_internal.h"

#include <QApplication>
#include <QCoreApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QPixmap>
#include <QToolTip>
#include <QWidget>

BOOL SaveWindowPicture(HWND hwnd, const char* pngPath) {
  if (!IsWindow(hwnd) || !pngPath) return FALSE;
  QWidget* w = hwnd->widget.data();
  if (!w) return FALSE;
  QCoreApplication::processEvents();
  QPixmap shot = w->grab();
  if (shot.isNull()) return FALSE;
  return shot.save(QString::fromLocal8Bit(pngPath), "PNG") ? TRUE : FALSE;
}

BOOL SaveWindowPictureWithToolTip(HWND hwnd, int x, int y, const char* pngPath) {
  if (!IsWindow(hwnd) || !pngPath) return FALSE;
  QWidget* w = hwnd->widget.data();
  if (!w) return FALSE;
  QCoreApplication::processEvents();
  // What the toolkit does once the mouse has rested there.
  const QPoint local(x, y);
  QHelpEvent rest(QEvent::ToolTip, local, w->mapToGlobal(local));
  QApplication::sendEvent(w, &rest);
  QCoreApplication::processEvents();
  QWidget* tip = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets())
    if (top->isVisible() && top->inherits("QTipLabel")) tip = top;
  if (tip == nullptr) return FALSE;
  const QPixmap window = w->grab();
  const QPixmap label = tip->grab();
  const QPoint at = w->mapFromGlobal(tip->pos());
  // The canvas holds both, the window at its place and the tip at its own.
  const QRect all = QRect(QPoint(0, 0), window.size()).united(QRect(at, label.size()));
  QPixmap canvas(all.size());
  canvas.fill(Qt::white);
  {
    QPainter p(&canvas);
    p.drawPixmap(-all.topLeft(), window);
    p.drawPixmap(at - all.topLeft(), label);
  }
  QToolTip::hideText();
  return canvas.save(QString::fromLocal8Bit(pngPath), "PNG") ? TRUE : FALSE;
}
