// Placement over Qt: the normal rectangle is remembered apart from the
// current one, so a maximised window still knows where it goes back to.
#include "platform/win/placement.h"

#include "platform/win/ui_internal.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindowStateChangeEvent>

#include <cstdint>
#include <map>

namespace {
std::map<HWND, RECT> g_normal;

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

RECT NormalRect(HWND hwnd) {
  if (!(hwnd->style & (WS_MAXIMIZE | WS_MINIMIZE))) return hwnd->rect;
  auto it = g_normal.find(hwnd);
  return it != g_normal.end() ? it->second : hwnd->rect;
}

void SendSize(HWND hwnd) {
  RECT c;
  GetClientRect(hwnd, &c);
  WPARAM type = (hwnd->style & WS_MINIMIZE) ? SIZE_MINIMIZED : (hwnd->style & WS_MAXIMIZE) ? SIZE_MAXIMIZED : SIZE_RESTORED;
  SendMessageA(hwnd, WM_SIZE, type, MAKELPARAM(static_cast<WORD>(c.right), static_cast<WORD>(c.bottom)));
}

// Takes the widget's geometry (the client area on the screen) back into the window record.
class GeometryTracker : public QObject {
 public:
  GeometryTracker(QObject* parent, HWND hwnd) : QObject(parent), hwnd_(hwnd) {}
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (!IsWindow(hwnd_) || watched != hwnd_->widget.data()) return QObject::eventFilter(watched, e);
    switch (e->type()) {
      case QEvent::WindowStateChange: {
        Qt::WindowStates s = hwnd_->widget->windowState();
        if (!(hwnd_->style & (WS_MAXIMIZE | WS_MINIMIZE))) g_normal[hwnd_] = hwnd_->rect;
        hwnd_->style &= ~static_cast<DWORD>(WS_MAXIMIZE | WS_MINIMIZE);
        if (s & Qt::WindowMinimized) hwnd_->style |= WS_MINIMIZE;
        else if (s & Qt::WindowMaximized) hwnd_->style |= WS_MAXIMIZE;
        SendSize(hwnd_);
        break;
      }
      case QEvent::Resize:
      case QEvent::Move: {
        if (!hwnd_->widget->isVisible()) break;
        RECT in = vt_ui::NonClientInsets(hwnd_);
        QRect g = hwnd_->widget->geometry();
        RECT r{g.left() - in.left, g.top() - in.top, g.left() + g.width() + in.right, g.top() + g.height() + in.bottom};
        if (SameRect(r, hwnd_->rect)) break;
        bool sized = (r.right - r.left) != (hwnd_->rect.right - hwnd_->rect.left) ||
                     (r.bottom - r.top) != (hwnd_->rect.bottom - hwnd_->rect.top);
        hwnd_->rect = r;
        if (sized) SendSize(hwnd_);
        else SendMessageA(hwnd_, WM_MOVE, 0, 0);
        break;
      }
      default:
        break;
    }
    return QObject::eventFilter(watched, e);
  }

 private:
  HWND hwnd_;
};
}  // namespace

BOOL IsZoomed(HWND hwnd) { return IsWindow(hwnd) && (hwnd->style & WS_MAXIMIZE) != 0; }

BOOL GetWindowPlacement(HWND hwnd, WINDOWPLACEMENT* wp) {
  if (!IsWindow(hwnd) || wp == nullptr || (hwnd->style & WS_CHILD)) return FALSE;
  wp->flags = 0;
  wp->showCmd = (hwnd->style & WS_MINIMIZE) ? SW_SHOWMINIMIZED : (hwnd->style & WS_MAXIMIZE) ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
  wp->ptMinPosition = POINT{-1, -1};
  wp->ptMaxPosition = POINT{-1, -1};
  wp->rcNormalPosition = NormalRect(hwnd);
  return TRUE;
}

BOOL SetWindowPlacement(HWND hwnd, const WINDOWPLACEMENT* wp) {
  if (!IsWindow(hwnd) || wp == nullptr || (hwnd->style & WS_CHILD)) return FALSE;
  const RECT& n = wp->rcNormalPosition;
  const int64_t width = static_cast<int64_t>(n.right) - n.left, height = static_cast<int64_t>(n.bottom) - n.top;
  if (width < 0 || height < 0 || width > 65535 || height > 65535) return FALSE;
  bool wasZoomed = (hwnd->style & (WS_MAXIMIZE | WS_MINIMIZE)) != 0;
  if (wasZoomed) {
    hwnd->style &= ~static_cast<DWORD>(WS_MAXIMIZE | WS_MINIMIZE);
    if (hwnd->widget) hwnd->widget->showNormal();
  }
  SetWindowPos(hwnd, nullptr, n.left, n.top, static_cast<int>(width), static_cast<int>(height), SWP_NOZORDER | SWP_NOACTIVATE);
  g_normal[hwnd] = n;
  int cmd = static_cast<int>(wp->showCmd);
  if (cmd == SW_SHOWMAXIMIZED) {
    ShowWindow(hwnd, SW_SHOW);
    hwnd->style |= WS_MAXIMIZE;
    if (hwnd->widget) hwnd->widget->showMaximized();
    SendSize(hwnd);
  } else if (cmd != SW_HIDE) {
    ShowWindow(hwnd, cmd);
  }
  return TRUE;
}

void TrackWindowGeometry(HWND hwnd) {
  if (!IsWindow(hwnd) || !hwnd->widget || (hwnd->style & WS_CHILD)) return;
  hwnd->widget->installEventFilter(new GeometryTracker(hwnd->widget, hwnd));
}

void ApplyTopLevelStyles(HWND hwnd) {
  if (!IsWindow(hwnd) || !hwnd->widget || (hwnd->style & WS_CHILD)) return;
  QWidget* w = hwnd->widget;
  bool popup = (hwnd->style & WS_POPUP) && (hwnd->style & WS_CAPTION) != WS_CAPTION;
  if (popup) w->setWindowFlag(Qt::FramelessWindowHint, true);
  if (hwnd->exStyle & WS_EX_TOPMOST) w->setWindowFlag(Qt::WindowStaysOnTopHint, true);
  if (hwnd->style & WS_VISIBLE) w->show();  // changing the flags hides a window
}

void vt_ui::CenterOverWindow(QWidget& window, HWND over, bool fitFirst) {
  HWND root = IsWindow(over) ? GetAncestor(over, GA_ROOT) : nullptr;
  QRect frame;
  if (root != nullptr && root->widget)
    frame = root->widget->frameGeometry();
  else if (QScreen* screen = QGuiApplication::primaryScreen())
    frame = screen->availableGeometry();
  if (frame.isNull()) return;
  if (fitFirst) window.adjustSize();
  window.move(frame.center() - QPoint(window.width() / 2, window.height() / 2));
}
