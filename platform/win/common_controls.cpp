#include "platform/win/common_controls.h"

#include "platform/win/dialog.h"
#include "platform/win/ui_internal.h"

#include <QKeyEvent>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Keys reach the control's procedure as WM_KEYDOWN, after the dialog's own
// keys (Tab, Enter, Escape) had their turn.
template <class Base>
class KeyRouted : public Base {
 public:
  using Base::Base;

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    HWND h = vt_ui::FromWidget(this);
    if (h == nullptr) return Base::keyPressEvent(e);
    if (!vt_ui::PreTranslateKey(h, e)) vt_ui::RouteKey(h, e, true);
    e->accept();
  }
  void keyReleaseEvent(QKeyEvent* e) override {
    HWND h = vt_ui::FromWidget(this);
    if (h == nullptr) return Base::keyReleaseEvent(e);
    vt_ui::RouteKey(h, e, false);
    e->accept();
  }
  void focusInEvent(QFocusEvent* e) override {
    Base::focusInEvent(e);
    if (HWND h = vt_ui::FromWidget(this)) vt_ui::NoteFocus(h);
  }
};

class SpinWidget : public KeyRouted<QWidget> {
 public:
  explicit SpinWidget(QWidget* parent) : KeyRouted<QWidget>(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < 2; ++i) {
      auto* b = new QToolButton(this);
      b->setArrowType(i == 0 ? Qt::UpArrow : Qt::DownArrow);
      b->setAutoRepeat(true);
      b->setFocusPolicy(Qt::NoFocus);
      b->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
      layout->addWidget(b);
      const int delta = i == 0 ? 1 : -1;
      QObject::connect(b, &QToolButton::clicked, this, [this, delta] { Step(delta); });
      (i == 0 ? up : down) = b;
    }
  }
  void Step(int delta);
  int Position();

  int minimum = 0, maximum = 100, position = 0;
  HWND buddy = nullptr;
  QToolButton* up = nullptr;
  QToolButton* down = nullptr;
};

class TrackWidget : public KeyRouted<QSlider> {
 public:
  explicit TrackWidget(Qt::Orientation o, QWidget* parent) : KeyRouted<QSlider>(o, parent) {}
};

SpinWidget* SpinOf(HWND h) { return h ? dynamic_cast<SpinWidget*>(h->widget.data()) : nullptr; }
TrackWidget* TrackOf(HWND h) { return h ? dynamic_cast<TrackWidget*>(h->widget.data()) : nullptr; }

bool BuddyInt(HWND h) { return (GetWindowLongA(h, GWL_STYLE) & UDS_SETBUDDYINT) != 0; }

int SpinWidget::Position() {
  HWND h = vt_ui::FromWidget(this);
  // A number typed into the buddy is the position, as long as it is in range.
  if (h != nullptr && BuddyInt(h) && IsWindow(buddy)) {
    char text[32] = {};
    GetWindowTextA(buddy, text, sizeof text);
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end != text && v >= std::min(minimum, maximum) && v <= std::max(minimum, maximum))
      position = static_cast<int>(v);
  }
  return position;
}

void SpinWidget::Step(int delta) {
  HWND h = vt_ui::FromWidget(this);
  if (h == nullptr || !IsWindowEnabled(h)) return;
  const int before = Position();
  NMUPDOWN n{{h, static_cast<uintptr_t>(GetDlgCtrlID(h)), UDN_DELTAPOS}, before, delta};
  HWND parent = GetParent(h);
  if (parent != nullptr && SendMessageA(parent, WM_NOTIFY, n.hdr.idFrom, reinterpret_cast<LPARAM>(&n)) != 0) return;
  if (!IsWindow(h)) return;
  const int lo = std::min(minimum, maximum), hi = std::max(minimum, maximum);
  int next = position + (minimum <= maximum ? n.iDelta : -n.iDelta);
  if (next > hi) next = (GetWindowLongA(h, GWL_STYLE) & UDS_WRAP) ? lo : hi;
  if (next < lo) next = (GetWindowLongA(h, GWL_STYLE) & UDS_WRAP) ? hi : lo;
  if (next == position) return;
  position = next;
  if (BuddyInt(h) && IsWindow(buddy)) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", position);
    SetWindowTextA(buddy, text);
  }
  if (parent != nullptr)
    SendMessageA(parent, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, static_cast<WORD>(position)),
                 reinterpret_cast<LPARAM>(h));
}

// The control made just before this one, under the same parent.
HWND PreviousSibling(HWND h) {
  HWND before = nullptr;
  for (HWND w : vt_ui::AllWindows()) {
    if (w == h) return before;
    if (IsWindow(w) && w->parent == h->parent) before = w;
  }
  return nullptr;
}

void NotifyTrack(HWND h, WORD code) {
  TrackWidget* t = TrackOf(h);
  HWND parent = GetParent(h);
  if (t == nullptr || parent == nullptr) return;
  SendMessageA(parent, (GetWindowLongA(h, GWL_STYLE) & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL,
               MAKEWPARAM(code, static_cast<WORD>(t->sliderPosition())), reinterpret_cast<LPARAM>(h));
}

}  // namespace

namespace vt_ui {

QWidget* CreateCommonControlWidget(HWND h, QWidget* parent) {
  const std::string& cls = h->cls->name;
  if (cls == kUpDownClassName) return new SpinWidget(parent);
  if (cls == kTrackBarClassName) {
    auto* t = new TrackWidget((h->style & TBS_VERT) ? Qt::Vertical : Qt::Horizontal, parent);
    t->setRange(0, 100);
    t->setPageStep(20);
    t->setSingleStep(1);
    if (h->style & TBS_AUTOTICKS) t->setTickPosition(QSlider::TicksBelow);
    QObject::connect(t, &QAbstractSlider::actionTriggered, t, [t](int action) {
      WORD code = TB_ENDTRACK;
      if (!SliderActionCode(action, &code)) return;
      HWND h = FromWidget(t);
      NotifyTrack(h, code);
      if (code != TB_THUMBTRACK && IsWindow(h)) NotifyTrack(h, TB_ENDTRACK);
    });
    QObject::connect(t, &QAbstractSlider::sliderReleased, t, [t] {
      HWND h = FromWidget(t);
      NotifyTrack(h, TB_THUMBPOSITION);
      if (IsWindow(h)) NotifyTrack(h, TB_ENDTRACK);
    });
    return t;
  }
  return nullptr;
}

LRESULT UpDownProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  SpinWidget* s = SpinOf(h);
  if (s == nullptr) return DefWindowProcA(h, msg, wParam, lParam);
  switch (msg) {
    case WM_CREATE:
      if (h->style & UDS_AUTOBUDDY) s->buddy = PreviousSibling(h);
      return 0;
    case WM_ENABLE:
      s->up->setEnabled(wParam != 0);
      s->down->setEnabled(wParam != 0);
      return DefWindowProcA(h, msg, wParam, lParam);
    case WM_KEYDOWN:
      if (wParam == VK_UP) s->Step(1);
      else if (wParam == VK_DOWN) s->Step(-1);
      return 0;
    case UDM_SETRANGE:
      s->maximum = static_cast<SHORT>(LOWORD(static_cast<uintptr_t>(lParam)));
      s->minimum = static_cast<SHORT>(HIWORD(static_cast<uintptr_t>(lParam)));
      return 0;
    case UDM_SETRANGE32:
      s->minimum = static_cast<int>(wParam);
      s->maximum = static_cast<int>(lParam);
      return 0;
    case UDM_GETRANGE:
      return static_cast<LRESULT>(MAKELONG(static_cast<WORD>(s->maximum), static_cast<WORD>(s->minimum)));
    case UDM_GETRANGE32:
      if (wParam) *reinterpret_cast<int*>(wParam) = s->minimum;
      if (lParam) *reinterpret_cast<int*>(lParam) = s->maximum;
      return 0;
    case UDM_SETPOS:
    case UDM_SETPOS32: {
      const int old = s->Position();
      const int lo = std::min(s->minimum, s->maximum), hi = std::max(s->minimum, s->maximum);
      s->position = std::clamp(static_cast<int>(lParam), lo, hi);
      if (BuddyInt(h) && IsWindow(s->buddy)) {
        char text[16];
        std::snprintf(text, sizeof text, "%d", s->position);
        SetWindowTextA(s->buddy, text);
      }
      return old;
    }
    case UDM_GETPOS:
    case UDM_GETPOS32:
      return s->Position();
    case UDM_SETBUDDY: {
      HWND old = s->buddy;
      s->buddy = reinterpret_cast<HWND>(wParam);
      return reinterpret_cast<LRESULT>(old);
    }
    case UDM_GETBUDDY:
      return reinterpret_cast<LRESULT>(s->buddy);
    default:
      return DefWindowProcA(h, msg, wParam, lParam);
  }
}

LRESULT TrackBarProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  TrackWidget* t = TrackOf(h);
  if (t == nullptr) return DefWindowProcA(h, msg, wParam, lParam);
  switch (msg) {
    case WM_KEYDOWN:
      switch (wParam) {
        case VK_LEFT:
        case VK_UP: t->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
        case VK_RIGHT:
        case VK_DOWN: t->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
        case VK_PRIOR: t->triggerAction(QAbstractSlider::SliderPageStepSub); break;
        case VK_NEXT: t->triggerAction(QAbstractSlider::SliderPageStepAdd); break;
        case VK_HOME: t->triggerAction(QAbstractSlider::SliderToMinimum); break;
        case VK_END: t->triggerAction(QAbstractSlider::SliderToMaximum); break;
        default: break;
      }
      return 0;
    case TBM_GETPOS:
      return t->sliderPosition();
    case TBM_GETRANGEMIN:
      return t->minimum();
    case TBM_GETRANGEMAX:
      return t->maximum();
    case TBM_SETPOS: {
      QSignalBlocker quiet(t);
      t->setSliderPosition(static_cast<int>(lParam));
      return 0;
    }
    case TBM_SETRANGE: {
      QSignalBlocker quiet(t);
      t->setRange(static_cast<SHORT>(LOWORD(static_cast<uintptr_t>(lParam))),
                  static_cast<SHORT>(HIWORD(static_cast<uintptr_t>(lParam))));
      return 0;
    }
    case TBM_SETTICFREQ:
      t->setTickInterval(static_cast<int>(wParam));
      if (t->tickPosition() == QSlider::NoTicks) t->setTickPosition(QSlider::TicksBelow);
      return 0;
    case TBM_SETPAGESIZE: {
      const int old = t->pageStep();
      t->setPageStep(static_cast<int>(lParam));
      return old;
    }
    case TBM_GETPAGESIZE:
      return t->pageStep();
    case TBM_SETLINESIZE: {
      const int old = t->singleStep();
      t->setSingleStep(static_cast<int>(lParam));
      return old;
    }
    case TBM_GETLINESIZE:
      return t->singleStep();
    default:
      return DefWindowProcA(h, msg, wParam, lParam);
  }
}

}  // namespace vt_ui
