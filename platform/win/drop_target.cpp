#include "platform/win/drop_target.h"

#include "platform/win/clipboard_formats.h"
#include "platform/win/fileio.h"
#include "platform/win/ui_internal.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <memory>

namespace {

DWORD KeysOf(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons) {
  DWORD keys = 0;
  if (buttons & Qt::LeftButton) keys |= MK_LBUTTON;
  if (mods & Qt::ShiftModifier) keys |= MK_SHIFT;
  if (mods & Qt::ControlModifier) keys |= MK_CONTROL;
  if (mods & Qt::AltModifier) keys |= MK_ALT;
  return keys;
}

Qt::KeyboardModifiers ModifiersOf(DWORD keys) {
  Qt::KeyboardModifiers mods;
  if (keys & MK_SHIFT) mods |= Qt::ShiftModifier;
  if (keys & MK_CONTROL) mods |= Qt::ControlModifier;
  if (keys & MK_ALT) mods |= Qt::AltModifier;
  return mods;
}

Qt::DropAction ActionOf(DWORD effect) {
  if (effect & DROPEFFECT_MOVE) return Qt::MoveAction;
  if (effect & DROPEFFECT_COPY) return Qt::CopyAction;
  if (effect & DROPEFFECT_LINK) return Qt::LinkAction;
  return Qt::IgnoreAction;
}

DWORD EffectOf(Qt::DropAction action) {
  switch (action) {
    case Qt::CopyAction: return DROPEFFECT_COPY;
    case Qt::MoveAction: return DROPEFFECT_MOVE;
    case Qt::LinkAction: return DROPEFFECT_LINK;
    default: return DROPEFFECT_NONE;
  }
}

DropData FromMime(const QMimeData* m) {
  DropData d;
  if (m == nullptr) return d;
  for (const QUrl& u : m->urls())
    if (u.isLocalFile()) d.files.push_back(ProgramFileName(u.toLocalFile().toUtf8().toStdString()));
  for (const QString& type : m->formats())
    if (type.startsWith(QLatin1String("application/x-"))) {
      const QByteArray bytes = m->data(type);
      d.formats[type.toStdString()].assign(bytes.begin(), bytes.end());
    }
  return d;
}

QMimeData* ToMime(const DropData& d) {
  auto* m = new QMimeData;
  QList<QUrl> urls;
  for (const std::string& f : d.files) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(OsFileName(f))));
  if (!urls.isEmpty()) m->setUrls(urls);
  for (const auto& [type, bytes] : d.formats)
    m->setData(QString::fromStdString(type),
               QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
  return m;
}

POINT PointOf(const QDropEvent* e) {
  const QPoint p = e->position().toPoint();
  return POINT{p.x(), p.y()};
}

}  // namespace

bool DropData::HasFormat(UINT format) const { return Format(format) != nullptr; }

const std::vector<unsigned char>* DropData::Format(UINT format) const {
  const std::string type = ClipboardFormatMimeType(format);
  auto it = type.empty() ? formats.end() : formats.find(type);
  return it == formats.end() ? nullptr : &it->second;
}

void DropData::SetFormat(UINT format, const void* data, size_t size) {
  const std::string type = ClipboardFormatMimeType(format);
  if (type.empty()) return;
  const auto* p = static_cast<const unsigned char*>(data);
  formats[type].assign(p, p + (p != nullptr ? size : 0));
}

BOOL RegisterDropTarget(HWND hwnd, DropTarget* target) {
  if (!IsWindow(hwnd) || target == nullptr || !hwnd->widget) return FALSE;
  hwnd->dropTarget = target;
  hwnd->widget->setAcceptDrops(true);
  return TRUE;
}

void RevokeDropTarget(HWND hwnd) {
  if (!IsWindow(hwnd)) return;
  hwnd->dropTarget = nullptr;
  if (hwnd->widget) hwnd->widget->setAcceptDrops(false);
}

namespace vt_ui {
bool DragEventToTarget(QWidget* widget, QEvent* e) {
  HWND h = FromWidget(widget);
  DropTarget* target = h != nullptr ? h->dropTarget : nullptr;
  if (target == nullptr) return false;
  switch (e->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* d = static_cast<QDragMoveEvent*>(e);
      const DropData data = FromMime(d->mimeData());
      const DWORD keys = KeysOf(d->modifiers(), d->buttons());
      const DWORD effect = e->type() == QEvent::DragEnter ? target->OnDragEnter(data, keys, PointOf(d))
                                                          : target->OnDragOver(data, keys, PointOf(d));
      const Qt::DropAction action = ActionOf(effect);
      if (action != Qt::IgnoreAction && (d->possibleActions() & action)) {
        d->setDropAction(action);
        d->accept();
      } else {
        d->ignore();
      }
      return true;
    }
    case QEvent::DragLeave:
      target->OnDragLeave();
      e->accept();
      return true;
    case QEvent::Drop: {
      auto* d = static_cast<QDropEvent*>(e);
      const DWORD effect = EffectOf(d->dropAction());
      if (target->OnDrop(FromMime(d->mimeData()), effect, PointOf(d))) {
        d->setDropAction(ActionOf(effect));
        d->accept();
      } else {
        d->ignore();
      }
      return true;
    }
    default:
      return false;
  }
}
}  // namespace vt_ui

DWORD DragDataOntoWindow(HWND hwnd, const DropData& data, POINT point, DWORD keys) {
  if (!IsWindow(hwnd) || !hwnd->widget || hwnd->dropTarget == nullptr) return DROPEFFECT_NONE;
  QWidget* w = hwnd->widget.data();
  std::unique_ptr<QMimeData> mime(ToMime(data));
  const QPoint at(point.x, point.y);
  const Qt::DropActions allowed = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
  const Qt::MouseButtons buttons = (keys & MK_LBUTTON) ? Qt::LeftButton : Qt::NoButton;
  QDragEnterEvent enter(at, allowed, mime.get(), buttons, ModifiersOf(keys));
  QApplication::sendEvent(w, &enter);
  if (!IsWindow(hwnd)) return DROPEFFECT_NONE;
  if (!enter.isAccepted() || enter.dropAction() == Qt::IgnoreAction) {
    // A refused drag still leaves the target, as the pointer moves on (the
    // toolkit sends no leave to a window that refused the enter).
    if (hwnd->dropTarget != nullptr) hwnd->dropTarget->OnDragLeave();
    return DROPEFFECT_NONE;
  }
  QDropEvent drop(QPointF(at), allowed, mime.get(), buttons, ModifiersOf(keys));
  drop.setDropAction(enter.dropAction());
  QApplication::sendEvent(w, &drop);
  return drop.isAccepted() ? EffectOf(drop.dropAction()) : DROPEFFECT_NONE;
}
