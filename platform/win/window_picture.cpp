#include "platform/win/window_picture.h"

#include "platform/win/ui_internal.h"

#include <QCoreApplication>
#include <QPixmap>
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
