// Windows, classes, procedures, the message queue and timers over Qt.
#include "platform/win/window.h"

#include "platform/win/beep.h"
#include "platform/win/dialog.h"
#include "platform/win/fileio.h"
#include "platform/win/hook.h"
#include "platform/win/ui_app.h"
#include "platform/win/ui_internal.h"
#include "platform/win/common_controls.h"
#include "platform/win/window_from_point.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QWheelEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <strings.h>
#include <unordered_set>
#include <cctype>

namespace {
std::vector<std::unique_ptr<WindowClassRec>> g_classes;
std::vector<HWND> g_windows;             // live windows in creation order
std::unordered_set<HWND> g_live;
std::vector<std::unique_ptr<HWND__>> g_dead;  // never reused, so stale handles stay invalid
HWND g_focus = nullptr;
HWND g_active = nullptr;
HWND__ g_desktop{};
int g_modalDepth = 0;
Qt::KeyboardModifiers g_mods;

std::deque<MSG> g_queue;
int g_manualDepth = 0;  // >0 while GetMessageA/PeekMessageA take the queue themselves
bool g_pumpScheduled = false;

DWORD Now() {
  static QElapsedTimer clock;
  if (!clock.isValid()) clock.start();
  return static_cast<DWORD>(clock.elapsed());
}

const QEvent::Type kPumpEvent = static_cast<QEvent::Type>(QEvent::User + 0x5157);

void DrainWindowMessages();

class Pump : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() == kPumpEvent) {
      g_pumpScheduled = false;
      if (g_manualDepth == 0) DrainWindowMessages();
      return true;
    }
    return QObject::event(e);
  }
};

Pump* ThePump() {
  static Pump* pump = nullptr;
  if (pump == nullptr) {
    UiStartApplication();
    pump = new Pump;
  }
  return pump;
}

bool HasWindowMessages() {
  return std::any_of(g_queue.begin(), g_queue.end(), [](const MSG& m) { return m.hwnd != nullptr; });
}

void SchedulePump() {
  if (g_pumpScheduled || !HasWindowMessages()) return;
  g_pumpScheduled = true;
  QCoreApplication::postEvent(ThePump(), new QEvent(kPumpEvent));
}

void DrainWindowMessages() {
  size_t budget = g_queue.size();
  while (budget-- > 0 && g_manualDepth == 0) {
    auto it = std::find_if(g_queue.begin(), g_queue.end(), [](const MSG& m) { return m.hwnd != nullptr; });
    if (it == g_queue.end()) break;
    MSG m = *it;
    g_queue.erase(it);
    DispatchMessageA(&m);
  }
  SchedulePump();
}

struct TimerKey {
  HWND hwnd;
  UINT_PTR id;
  bool operator<(const TimerKey& o) const { return hwnd != o.hwnd ? hwnd < o.hwnd : id < o.id; }
};
std::map<TimerKey, QTimer*> g_timers;
UINT_PTR g_nextTimerId = 0x7000;

void KillWindowTimers(HWND hwnd) {
  for (auto it = g_timers.begin(); it != g_timers.end();) {
    if (it->first.hwnd == hwnd) {
      it->second->stop();
      it->second->deleteLater();
      it = g_timers.erase(it);
    } else {
      ++it;
    }
  }
}

WindowClassRec* FindClass(LPCSTR name) {
  if (name == nullptr || IS_INTRESOURCE(name)) return nullptr;
  for (auto& c : g_classes)
    if (strcasecmp(c->name.c_str(), name) == 0) return c.get();
  return nullptr;
}

void RegisterBuiltins() {
  if (!g_classes.empty()) return;
  struct B {
    const char* name;
    WNDPROC proc;
  } builtins[] = {{"BUTTON", vt_ui::ButtonProc},       {"EDIT", vt_ui::EditProc},
                  {"STATIC", vt_ui::StaticProc},       {"LISTBOX", vt_ui::ListBoxProc},
                  {"COMBOBOX", vt_ui::ComboBoxProc},   {"SCROLLBAR", vt_ui::ScrollBarProc},
                  {kUpDownClassName, vt_ui::UpDownProc}, {kTrackBarClassName, vt_ui::TrackBarProc},
                  {kDialogClassName, vt_ui::DialogClassProc}};
  for (const B& b : builtins) {
    auto rec = std::make_unique<WindowClassRec>();
    rec->name = b.name;
    rec->proc = b.proc;
    rec->style = 0;
    rec->cbWndExtra = std::strcmp(b.name, kDialogClassName) == 0 ? 0 : 0;
    rec->background = nullptr;
    rec->icon = nullptr;
    rec->builtin = std::strcmp(b.name, kDialogClassName) != 0;
    g_classes.push_back(std::move(rec));
  }
}

bool IsDescendant(HWND ancestor, HWND w) {
  for (HWND p = w; p != nullptr; p = p->parent)
    if (p == ancestor) return true;
  return false;
}


bool IsModal(QWidget* w) {
  if (w->isModal()) return true;
  HWND h = vt_ui::FromWidget(w);
  return h != nullptr && h->dlg && h->dlg->modal;
}

// The modal window working over a window it disabled, through any window
// between them it disabled too (a message over a dialog over the frame).
QWidget* ModalOver(const QWindow* owner) {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (!w->isVisible() || w->windowHandle() == nullptr || w->windowHandle()->transientParent() != owner) continue;
    if (w->isEnabled() && IsModal(w)) return w;
    if (!w->isEnabled())
      if (QWidget* above = ModalOver(w->windowHandle())) return above;
  }
  return nullptr;
}

// A click on a window a modal dialog disabled does not take the keys from
// the dialog: the dialog comes to the front and keeps them, as the user
// must answer it first.
void HandActivationToModal(QWidget* window) {
  QWidget* modal = window->isEnabled() || window->windowHandle() == nullptr ? nullptr : ModalOver(window->windowHandle());
  if (modal == nullptr) return;
  QTimer::singleShot(0, modal, [modal]() {
    if (!modal->isVisible() || !modal->isEnabled()) return;
    modal->raise();
    if (HWND h = vt_ui::FromWidget(modal)) SetActiveWindow(h);
    else modal->activateWindow();
  });
}
}  // namespace

// A window of a registered class: Qt events become the window's messages.
class GenericWindowWidget : public QWidget {
 public:
  explicit GenericWindowWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_NoSystemBackground, false);
    setMouseTracking(false);
  }

 protected:
  void paintEvent(QPaintEvent* e) override {
    HWND h = vt_ui::FromWidget(this);
    if (h == nullptr) return;
    QPainter p(this);
    const QRect u = e->rect();
    h->paintRect = RECT{u.left(), u.top(), u.left() + u.width(), u.top() + u.height()};
    vt_ui::EnterPaint();
    if (h->dlg) {
      p.fillRect(rect(), palette().window());
    } else if (h->cls && h->cls->background) {
      HDC dc = vt_ui::CreatePainterDC(&p, h);
      RECT r{0, 0, width(), height()};
      FillRect(dc, &r, h->cls->background);
      ReleaseDC(nullptr, dc);
    }
    h->paintPainter = &p;
    SendMessageA(h, WM_PAINT, 0, 0);
    if (IsWindow(h)) {
      h->paintPainter = nullptr;
      vt_ui::ReplayOverlay(h, &p);
      vt_ui::PaintCaret(h, &p);
    }
    vt_ui::LeavePaint();
  }
  void keyPressEvent(QKeyEvent* e) override { Key(e, true); }
  void keyReleaseEvent(QKeyEvent* e) override { Key(e, false); }
  void mousePressEvent(QMouseEvent* e) override { Mouse(e, e->button() == Qt::RightButton ? WM_RBUTTONDOWN : WM_LBUTTONDOWN); }
  void mouseReleaseEvent(QMouseEvent* e) override { Mouse(e, e->button() == Qt::RightButton ? WM_RBUTTONUP : WM_LBUTTONUP); }
  void mouseDoubleClickEvent(QMouseEvent* e) override { Mouse(e, WM_LBUTTONDBLCLK); }
  void mouseMoveEvent(QMouseEvent* e) override { Mouse(e, WM_MOUSEMOVE); }
  void wheelEvent(QWheelEvent* e) override {
    HWND h = vt_ui::FromWidget(this);
    if (h == nullptr) return;
    vt_ui::NoteModifiers(e->modifiers());
    WORD keys = 0;
    if (e->modifiers() & Qt::ShiftModifier) keys |= 4;
    if (e->modifiers() & Qt::ControlModifier) keys |= 8;
    const int delta = e->angleDelta().y() != 0 ? e->angleDelta().y() : e->angleDelta().x();
    const QPoint g = e->globalPosition().toPoint();
    e->accept();
    SendMessageA(h, WM_MOUSEWHEEL, MAKEWPARAM(keys, static_cast<WORD>(static_cast<short>(delta))),
                 MAKELPARAM(static_cast<WORD>(g.x()), static_cast<WORD>(g.y())));
  }
  void focusInEvent(QFocusEvent*) override {
    HWND h = vt_ui::FromWidget(this);
    if (h) vt_ui::NoteFocus(h);
  }
  void focusOutEvent(QFocusEvent*) override {
    HWND h = vt_ui::FromWidget(this);
    if (h) SendMessageA(h, WM_KILLFOCUS, 0, 0);
  }
  void closeEvent(QCloseEvent* e) override {
    // The close box asks the window; it goes away only when its procedure destroys it.
    e->ignore();
    HWND h = vt_ui::FromWidget(this);
    if (h) SendMessageA(h, WM_CLOSE, 0, 0);
  }
  void changeEvent(QEvent* e) override {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isWindow() && isActiveWindow()) HandActivationToModal(this);
  }
  void contextMenuEvent(QContextMenuEvent* e) override { vt_ui::SendContextMenu(vt_ui::FromWidget(this), e); }
  void dragEnterEvent(QDragEnterEvent* e) override { vt_ui::DragEventToTarget(this, e); }
  void dragMoveEvent(QDragMoveEvent* e) override { vt_ui::DragEventToTarget(this, e); }
  void dragLeaveEvent(QDragLeaveEvent* e) override { vt_ui::DragEventToTarget(this, e); }
  void dropEvent(QDropEvent* e) override { vt_ui::DragEventToTarget(this, e); }

 private:
  void Key(QKeyEvent* e, bool down) {
    HWND h = vt_ui::FromWidget(this);
    if (h == nullptr) return;
    e->accept();  // keys never travel on to the parent, as window messages do not
    if (down && vt_ui::PreTranslateKey(h, e)) return;
    vt_ui::RouteKey(h, e, down);
  }
  void Mouse(QMouseEvent* e, UINT msg) {
    HWND h = vt_ui::FromWidget(this);
    if (h == nullptr) return;
    vt_ui::NoteModifiers(e->modifiers());
    WPARAM keys = 0;
    if (e->buttons() & Qt::LeftButton) keys |= 1;
    if (e->buttons() & Qt::RightButton) keys |= 2;
    if (e->modifiers() & Qt::ShiftModifier) keys |= 4;
    if (e->modifiers() & Qt::ControlModifier) keys |= 8;
    QPoint p = e->position().toPoint();
    SendMessageA(h, msg, keys, MAKELPARAM(static_cast<WORD>(p.x()), static_cast<WORD>(p.y())));
  }
};

namespace vt_ui {
HWND FromWidget(const QWidget* widget) {
  for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
    QVariant v = w->property("vtHwnd");
    if (v.isValid()) {
      HWND h = reinterpret_cast<HWND>(v.value<quintptr>());
      return g_live.count(h) ? h : nullptr;
    }
    if (w->isWindow()) break;
  }
  return nullptr;
}

const std::vector<HWND>& AllWindows() { return g_windows; }

int ExecModalOver(QDialog& dialog, HWND root) {
  if (root != nullptr && root->widget) {
    dialog.winId();
    root->widget->winId();
    if (dialog.windowHandle() != nullptr) dialog.windowHandle()->setTransientParent(root->widget->windowHandle());
  }
  const bool reenable = root && IsWindowEnabled(root);
  if (reenable) EnableWindow(root, FALSE);
  const int saved = SwapManualPumpDepth(0);
  const int result = dialog.exec();
  SwapManualPumpDepth(saved);
  if (reenable && IsWindow(root)) EnableWindow(root, TRUE);
  // The keys go back to the window the dialog was over, not to whichever
  // window the window manager picks once the dialog is gone.
  if (IsWindow(root) && IsWindowEnabled(root) && IsWindowVisible(root)) SetActiveWindow(root);
  return result;
}
int ModalLoopDepth() { return g_modalDepth; }
void SetModalLoopDepth(int depth) { g_modalDepth = depth; }
int SwapManualPumpDepth(int depth) {
  int old = g_manualDepth;
  g_manualDepth = depth;
  if (depth == 0) SchedulePump();
  return old;
}

void NoteModifiers(Qt::KeyboardModifiers mods) { g_mods = mods; }

void SendContextMenu(HWND h, const QContextMenuEvent* e) {
  if (h == nullptr) return;
  // From the keyboard the position is -1, -1.
  LPARAM pos = e->reason() == QContextMenuEvent::Keyboard
                   ? MAKELPARAM(0xFFFF, 0xFFFF)
                   : MAKELPARAM(static_cast<WORD>(e->globalPos().x()), static_cast<WORD>(e->globalPos().y()));
  SendMessageA(h, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(h), pos);
}

void NoteFocus(HWND h) {
  HWND old = g_focus;
  g_focus = h;
  GetAncestor(h, GA_ROOT)->lastFocus = h;
  if (old != h) SendMessageA(h, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
}

RECT NonClientInsets(HWND hwnd) {
  RECT r{0, 0, 0, 0};
  if (hwnd == nullptr || (hwnd->style & WS_CHILD)) return r;
  int f = 0;
  if (hwnd->style & WS_THICKFRAME)
    f = 4;
  else if ((hwnd->style & WS_DLGFRAME) || (hwnd->exStyle & WS_EX_DLGMODALFRAME) || (hwnd->dlg && (hwnd->style & DS_MODALFRAME)))
    f = GetSystemMetrics(SM_CXFIXEDFRAME);
  else if (hwnd->style & WS_BORDER)
    f = GetSystemMetrics(SM_CXBORDER);
  r.left = r.top = r.right = r.bottom = f;
  if ((hwnd->style & WS_CAPTION) == WS_CAPTION) r.top += GetSystemMetrics(SM_CYCAPTION);
  return r;
}

void SyncGeometry(HWND hwnd) {
  if (!hwnd->widget) return;
  RECT in = NonClientInsets(hwnd);
  int w = std::max<LONG>(0, hwnd->rect.right - hwnd->rect.left - in.left - in.right);
  int h = std::max<LONG>(0, hwnd->rect.bottom - hwnd->rect.top - in.top - in.bottom);
  // A drop-down combo box's height counts its open list; closed it is one line high.
  if (hwnd->cls && strcasecmp(hwnd->cls->name.c_str(), "COMBOBOX") == 0 && (hwnd->style & 3) != CBS_SIMPLE)
    h = std::min(h, hwnd->widget->sizeHint().height());
  // A top-level window without a sizing border keeps the size the program
  // gives it: the window manager, told so, offers no resize handle for it.
  if (!(hwnd->style & WS_CHILD) && !(hwnd->style & WS_THICKFRAME)) hwnd->widget->setFixedSize(w, h);
  hwnd->widget->setGeometry(hwnd->rect.left + in.left, hwnd->rect.top + in.top, w, h);
  FitListRows(hwnd);
}

// Win32 virtual-key code of a Qt key.
int VirtualKey(const QKeyEvent* e) {
  int k = e->key();
  if (k >= Qt::Key_A && k <= Qt::Key_Z) return 'A' + (k - Qt::Key_A);
  if (k >= Qt::Key_0 && k <= Qt::Key_9) return '0' + (k - Qt::Key_0);
  if (k >= Qt::Key_F1 && k <= Qt::Key_F24) return VK_F1 + (k - Qt::Key_F1);
  switch (k) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab: case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Return: case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: return VK_MENU;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    default: return 0;
  }
}

bool InDialog(HWND hwnd) {
  for (HWND p = hwnd; p != nullptr; p = p->parent)
    if (p->dlg) return true;
  return false;
}

namespace {

bool IsClass(HWND w, const char* name) { return w->cls && strcasecmp(w->cls->name.c_str(), name) == 0; }

// The letter a label's "&" marks ("&&" is a plain ampersand), upper-cased; 0 without one.
int MnemonicOf(const std::string& text) {
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] != '&') return std::toupper(static_cast<unsigned char>(text[i + 1]));
    ++i;
  }
  return 0;
}

// Alt with a label's marked letter moves the focus to the control that
// follows the label, as a dialog's labels promise; buttons' own letters are
// the toolkit's and never get here.
bool LabelMnemonic(HWND focus, int vk) {
  HWND dlg = focus;
  while (dlg != nullptr && !dlg->dlg) dlg = dlg->parent;
  if (dlg == nullptr) return false;
  bool armed = false;
  for (HWND w : AllWindows()) {
    if (w->parent != dlg || !(w->style & WS_VISIBLE)) continue;
    const bool label = IsClass(w, "STATIC");
    if (!armed) {
      armed = label && !(w->style & SS_NOPREFIX) && MnemonicOf(w->text) == vk;
      continue;
    }
    if (label || !(w->style & WS_TABSTOP) || (w->style & WS_DISABLED)) continue;
    SetFocus(w);
    if (IsClass(w, "EDIT")) SendMessageA(w, EM_SETSEL, 0, -1);
    return true;
  }
  return false;
}

}  // namespace

bool PreTranslateKey(HWND hwnd, QKeyEvent* e) {
  NoteModifiers(e->modifiers());
  int vk = VirtualKey(e);
  if (!InDialog(hwnd)) return false;
  MSG msg{hwnd, WM_KEYDOWN, static_cast<WPARAM>(vk), 1, Now(), {0, 0}};
  if (CallMsgFilterA(&msg, MSGF_DIALOGBOX)) return true;
  if (!IsWindow(hwnd)) return true;
  if ((vk == VK_RETURN || vk == VK_ESCAPE) && DialogKey(hwnd, vk)) return true;
  if ((e->modifiers() & Qt::AltModifier) && !(e->modifiers() & Qt::ControlModifier) &&
      ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) && LabelMnemonic(hwnd, vk))
    return true;
  return false;
}

void RouteKey(HWND hwnd, QKeyEvent* e, bool down) {
  int vk = VirtualKey(e);
  QKeyEvent* saved = hwnd->pendingKey;
  hwnd->pendingKey = e;
  SendMessageA(hwnd, down ? WM_KEYDOWN : WM_KEYUP, static_cast<WPARAM>(vk), 1);
  if (down && IsWindow(hwnd)) {
    QString text = e->text();
    if (!text.isEmpty() && !(e->modifiers() & Qt::ControlModifier) && vk != VK_RETURN && vk != VK_ESCAPE &&
        vk != VK_TAB) {
      std::string a = ToAnsi(text);
      for (char c : a) {
        if (!IsWindow(hwnd)) break;
        SendMessageA(hwnd, WM_CHAR, static_cast<unsigned char>(c), 1);
      }
    }
  }
  if (IsWindow(hwnd)) hwnd->pendingKey = saved;
}

bool DialogKey(HWND focus, int vk) {
  HWND dlg = focus;
  while (dlg != nullptr && !dlg->dlg) dlg = dlg->parent;
  if (dlg == nullptr) return false;
  LRESULT code = SendMessageA(focus, WM_GETDLGCODE, static_cast<WPARAM>(vk), 0);
  if (code & DLGC_WANTALLKEYS) return false;
  if (vk == VK_ESCAPE) {
    HWND cancel = GetDlgItem(dlg, IDCANCEL);
    if (cancel != nullptr && !IsWindowEnabled(cancel)) {
      MessageBeep(0);
      return true;
    }
    SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
    return true;
  }
  int id;
  if (focus != dlg && (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))) {
    id = GetDlgCtrlID(focus);
  } else {
    LRESULT def = SendMessageA(dlg, DM_GETDEFID, 0, 0);
    id = HIWORD(static_cast<uintptr_t>(def)) == DC_HASDEFID ? static_cast<int>(LOWORD(static_cast<uintptr_t>(def))) : static_cast<int>(IDOK);
  }
  HWND button = GetDlgItem(dlg, id);
  if (button != nullptr && !IsWindowEnabled(button)) {
    MessageBeep(0);
    return true;
  }
  SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED), reinterpret_cast<LPARAM>(button));
  return true;
}

QWidget* CreateGenericWidget(HWND hwnd, QWidget* parentWidget) {
  auto* w = new GenericWindowWidget(parentWidget);
  // A dialog passes the focus to its controls; other windows take it themselves.
  w->setFocusPolicy(hwnd->dlg ? Qt::NoFocus : Qt::StrongFocus);
  if (hwnd->dlg) {
    w->setWindowFlag(Qt::Dialog, true);
    w->setAutoFillBackground(false);
    // The title bar holds the buttons the dialog's style asks for: a modal
    // dialog has a close button, and no minimize or maximize button.
    if (parentWidget == nullptr && (hwnd->style & WS_CAPTION) == WS_CAPTION) {
      Qt::WindowFlags f = w->windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
      f.setFlag(Qt::WindowCloseButtonHint, (hwnd->style & WS_SYSMENU) != 0);
      f.setFlag(Qt::WindowMinimizeButtonHint, (hwnd->style & WS_MINIMIZEBOX) != 0);
      f.setFlag(Qt::WindowMaximizeButtonHint, (hwnd->style & WS_MAXIMIZEBOX) != 0);
      w->setWindowFlags(f);
    }
  }
  return w;
}
}  // namespace vt_ui

// --- classes and windows ---

ATOM RegisterClassA(const WNDCLASSA* wc) {
  RegisterBuiltins();
  if (wc == nullptr || wc->lpszClassName == nullptr || wc->lpfnWndProc == nullptr) return 0;
  if (FindClass(wc->lpszClassName) != nullptr) return 0;
  auto rec = std::make_unique<WindowClassRec>();
  rec->name = wc->lpszClassName;
  rec->proc = wc->lpfnWndProc;
  rec->style = wc->style;
  rec->cbWndExtra = std::max(0, wc->cbWndExtra);
  rec->background = wc->hbrBackground;
  rec->icon = wc->hIcon;
  rec->builtin = false;
  g_classes.push_back(std::move(rec));
  return static_cast<ATOM>(0xC000 + g_classes.size());
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
  WindowClassRec* c = FindClass(className);
  if (c == nullptr || c->builtin || c->name == kDialogClassName) return FALSE;
  for (HWND h : g_windows)
    if (h->cls == c) return FALSE;
  g_classes.erase(std::remove_if(g_classes.begin(), g_classes.end(), [c](auto& p) { return p.get() == c; }),
                  g_classes.end());
  return TRUE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menuOrId, HINSTANCE instance, LPVOID param) {
  UiStartApplication();
  RegisterBuiltins();
  WindowClassRec* cls = FindClass(className);
  if (cls == nullptr) return nullptr;
  bool child = (style & WS_CHILD) != 0;
  if (child && !IsWindow(parent)) return nullptr;
  if (parent != nullptr && !IsWindow(parent)) return nullptr;

  auto rec = std::make_unique<HWND__>();
  HWND h = rec.get();
  h->magic = vt_ui::kWindowMagic;
  h->cls = cls;
  h->proc = cls->proc;
  h->parent = child ? parent : nullptr;
  h->owner = child ? nullptr : (parent ? GetAncestor(parent, GA_ROOT) : nullptr);
  h->style = style;
  h->exStyle = exStyle;
  h->id = child ? static_cast<LONG_PTR>(reinterpret_cast<uintptr_t>(menuOrId)) : 0;
  h->userData = 0;
  h->extra.assign(static_cast<size_t>(cls->cbWndExtra + 7) / 8, 0);
  h->rect = RECT{x, y, x + std::max(0, width), y + std::max(0, height)};
  h->font = nullptr;
  h->icon = nullptr;
  h->paintPainter = nullptr;
  h->paintRect = RECT{0, 0, 0, 0};
  h->pendingKey = nullptr;
  h->destroying = false;
  h->lastFocus = nullptr;
  if (std::strcmp(cls->name.c_str(), kDialogClassName) == 0) h->dlg = std::make_unique<DialogRec>();
  rec.release();
  g_live.insert(h);
  g_windows.push_back(h);

  QWidget* parentWidget = child ? parent->widget.data() : nullptr;
  QWidget* w = cls->builtin ? vt_ui::CreateControlWidget(h, parentWidget) : vt_ui::CreateGenericWidget(h, parentWidget);
  w->setProperty("vtHwnd", QVariant::fromValue<quintptr>(reinterpret_cast<quintptr>(h)));
  h->widget = w;
  vt_ui::SyncGeometry(h);

  CREATESTRUCTA cs{param, instance, menuOrId, parent, height, width, y, x, static_cast<LONG>(style), windowName,
                   className, exStyle};
  if (!SendMessageA(h, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) ||
      SendMessageA(h, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow(h);
    return nullptr;
  }
  if (!IsWindow(h)) return nullptr;
  if (h->style & WS_DISABLED) w->setEnabled(false);
  if (child) w->setVisible((h->style & WS_VISIBLE) != 0);
  else if (h->style & WS_VISIBLE) ShowWindow(h, SW_SHOW);
  return h;
}

BOOL DestroyWindow(HWND hwnd) {
  if (!IsWindow(hwnd) || hwnd->destroying) return FALSE;
  hwnd->destroying = true;
  if (g_focus != nullptr && IsDescendant(hwnd, g_focus)) g_focus = nullptr;
  if (g_active == hwnd) g_active = nullptr;
  if (hwnd->widget && !(hwnd->style & WS_CHILD)) {
    hwnd->widget->hide();
    // The window system lets go of the window on the next turn of the queue
    // (not inside its own event): a late activation of it, the window
    // manager answering an earlier request, would otherwise send the keys
    // to a window nobody sees until the widget is deleted.
    QPointer<QWidget> gone = hwnd->widget.data();
    QTimer::singleShot(0, qApp, [gone] {
      if (gone != nullptr && gone->windowHandle() != nullptr) gone->windowHandle()->destroy();
    });
  }
  SendMessageA(hwnd, WM_DESTROY, 0, 0);
  // Children, and top-level windows this one owns, go with it.
  std::vector<HWND> dependants;
  for (HWND w : g_windows)
    if (w != hwnd && (w->parent == hwnd || w->owner == hwnd)) dependants.push_back(w);
  for (HWND w : dependants) DestroyWindow(w);
  SendMessageA(hwnd, WM_NCDESTROY, 0, 0);

  KillWindowTimers(hwnd);
  vt_ui::DropCaretOf(hwnd);
  g_queue.erase(std::remove_if(g_queue.begin(), g_queue.end(), [hwnd](const MSG& m) { return m.hwnd == hwnd; }),
                g_queue.end());
  g_live.erase(hwnd);
  g_windows.erase(std::remove(g_windows.begin(), g_windows.end(), hwnd), g_windows.end());
  if (hwnd->widget) {
    hwnd->widget->setProperty("vtHwnd", QVariant());
    hwnd->widget->hide();
    hwnd->widget->deleteLater();
  }
  hwnd->widget = nullptr;
  hwnd->overlay.clear();
  if (hwnd->dlg && hwnd->dlg->ownsFont) DeleteObject(hwnd->dlg->font);
  hwnd->dlg.reset();
  hwnd->magic = 0;
  g_dead.emplace_back(hwnd);
  return TRUE;
}

BOOL IsWindow(HWND hwnd) { return hwnd != nullptr && (hwnd == &g_desktop || g_live.count(hwnd) != 0); }

LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return proc ? proc(hwnd, message, wParam, lParam) : 0;
}

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!IsWindow(hwnd) || hwnd == &g_desktop) return 0;
  return CallWindowProcA(hwnd->proc, hwnd, message, wParam, lParam);
}

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!IsWindow(hwnd)) return 0;
  switch (message) {
    case WM_NCCREATE: {
      auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
      if (cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName)) SetWindowTextA(hwnd, cs->lpszName);
      return TRUE;
    }
    case WM_SETTEXT: {
      const char* t = reinterpret_cast<const char*>(lParam);
      hwnd->text = t ? t : "";
      // A window's title names the file it shows, which may keep the
      // system's spelling when the code page cannot hold it.
      if (hwnd->widget && !(hwnd->style & WS_CHILD)) hwnd->widget->setWindowTitle(vt_ui::FromProgramText(hwnd->text));
      return TRUE;
    }
    case WM_GETTEXT: {
      char* buf = reinterpret_cast<char*>(lParam);
      if (buf == nullptr || wParam == 0) return 0;
      size_t n = std::min<size_t>(hwnd->text.size(), wParam - 1);
      std::memcpy(buf, hwnd->text.data(), n);
      buf[n] = '\0';
      return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(hwnd->text.size());
    case WM_SETFONT:
      hwnd->font = reinterpret_cast<HFONT>(wParam);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(hwnd->font);
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_KEYDOWN:
      if (wParam == VK_F1) {
        HELPINFO hi{sizeof(HELPINFO), HELPINFO_WINDOW, static_cast<int>(hwnd->id), hwnd, 0, {0, 0}};
        SendMessageA(hwnd, WM_HELP, 0, reinterpret_cast<LPARAM>(&hi));
      }
      return 0;
    case WM_HELP:
    case WM_CONTEXTMENU:
      // Children pass these up until a window handles them.
      if (hwnd->parent) return SendMessageA(hwnd->parent, message, wParam, lParam);
      return 0;
    case WM_GETDLGCODE:
      return 0;
    default:
      return 0;
  }
}

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) {
  if (!IsWindow(hwnd) || hwnd == &g_desktop) return 0;
  switch (index) {
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(hwnd->proc);
    case GWL_STYLE: return static_cast<LONG_PTR>(hwnd->style);
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(hwnd->exStyle);
    case GWLP_ID: return hwnd->id;
    case GWLP_USERDATA: return hwnd->userData;
    case GWLP_HWNDPARENT: return reinterpret_cast<LONG_PTR>(hwnd->parent ? hwnd->parent : hwnd->owner);
    default: break;
  }
  if (hwnd->dlg && index >= 0) {
    if (index == DWLP_MSGRESULT) return hwnd->dlg->msgResult;
    if (index == DWLP_DLGPROC) return reinterpret_cast<LONG_PTR>(hwnd->dlg->proc);
    if (index == DWLP_USER) return hwnd->userData;
    return 0;
  }
  if (index >= 0 && index % 8 == 0 && static_cast<size_t>(index / 8) < hwnd->extra.size())
    return hwnd->extra[static_cast<size_t>(index / 8)];
  return 0;
}

LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
  if (!IsWindow(hwnd) || hwnd == &g_desktop) return 0;
  LONG_PTR old = GetWindowLongPtrA(hwnd, index);
  switch (index) {
    case GWLP_WNDPROC: hwnd->proc = reinterpret_cast<WNDPROC>(value); return old;
    case GWL_STYLE: hwnd->style = static_cast<DWORD>(value); return old;
    case GWL_EXSTYLE: hwnd->exStyle = static_cast<DWORD>(value); return old;
    case GWLP_ID: hwnd->id = value; return old;
    case GWLP_USERDATA: hwnd->userData = value; return old;
    default: break;
  }
  if (hwnd->dlg && index >= 0) {
    if (index == DWLP_MSGRESULT) hwnd->dlg->msgResult = value;
    else if (index == DWLP_DLGPROC) hwnd->dlg->proc = reinterpret_cast<DLGPROC>(value);
    else if (index == DWLP_USER) hwnd->userData = value;
    return old;
  }
  if (index >= 0 && index % 8 == 0 && static_cast<size_t>(index / 8) < hwnd->extra.size())
    hwnd->extra[static_cast<size_t>(index / 8)] = value;
  return old;
}

LONG GetWindowLongA(HWND hwnd, int index) { return static_cast<LONG>(GetWindowLongPtrA(hwnd, index)); }
LONG SetWindowLongA(HWND hwnd, int index, LONG value) {
  if (index == GWLP_WNDPROC) return 0;  // a 64-bit procedure does not fit
  return static_cast<LONG>(SetWindowLongPtrA(hwnd, index, value));
}

int GetClassNameA(HWND hwnd, LPSTR buffer, int size) {
  if (!IsWindow(hwnd) || buffer == nullptr || size <= 0) return 0;
  const std::string name = hwnd == &g_desktop ? std::string("#32769") : hwnd->cls->name;
  size_t n = std::min<size_t>(name.size(), static_cast<size_t>(size - 1));
  std::memcpy(buffer, name.data(), n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

HWND GetParent(HWND hwnd) {
  if (!IsWindow(hwnd) || hwnd == &g_desktop) return nullptr;
  return hwnd->parent ? hwnd->parent : hwnd->owner;
}

HWND GetAncestor(HWND hwnd, UINT flags) {
  if (!IsWindow(hwnd) || hwnd == &g_desktop) return nullptr;
  if (flags == GA_PARENT) return hwnd->parent ? hwnd->parent : &g_desktop;
  HWND h = hwnd;
  while (h->parent) h = h->parent;
  if (flags == GA_ROOTOWNER)
    while (h->owner) h = h->owner;
  return h;
}

HWND GetDesktopWindow() {
  UiStartApplication();
  g_desktop.magic = vt_ui::kWindowMagic;
  QScreen* s = QGuiApplication::primaryScreen();
  QRect g = s ? s->geometry() : QRect(0, 0, 800, 600);
  g_desktop.rect = RECT{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
  g_desktop.style = WS_VISIBLE;
  return &g_desktop;
}

HWND GetActiveWindow() { return IsWindow(g_active) ? g_active : nullptr; }

HWND SetActiveWindow(HWND hwnd) {
  HWND old = GetActiveWindow();
  if (!IsWindow(hwnd)) return old;
  hwnd = GetAncestor(hwnd, GA_ROOT);
  g_active = hwnd;
  if (hwnd->widget) hwnd->widget->activateWindow();
  // The window gets back the focus it had when it was last active.
  if (g_focus == nullptr || GetAncestor(g_focus, GA_ROOT) != hwnd) {
    HWND last = hwnd->lastFocus;
    if (IsWindow(last) && IsChild(hwnd, last) && IsWindowEnabled(last)) SetFocus(last);
  }
  return old;
}

HWND GetFocus() { return IsWindow(g_focus) ? g_focus : nullptr; }

HWND SetFocus(HWND hwnd) {
  HWND old = GetFocus();
  if (hwnd == nullptr) {
    g_focus = nullptr;
    return old;
  }
  if (!IsWindow(hwnd) || hwnd == &g_desktop) return nullptr;
  HWND root = GetAncestor(hwnd, GA_ROOT);
  if (root != g_active) SetActiveWindow(root);
  g_focus = hwnd;
  root->lastFocus = hwnd;
  if (hwnd->widget) {
    QWidget* target = hwnd->widget->focusProxy() ? hwnd->widget->focusProxy() : hwnd->widget.data();
    target->setFocus(Qt::OtherFocusReason);
  }
  return old;
}

BOOL IsChild(HWND parent, HWND hwnd) {
  if (!IsWindow(parent) || !IsWindow(hwnd) || parent == hwnd) return FALSE;
  for (HWND p = hwnd->parent; p; p = p->parent)
    if (p == parent) return TRUE;
  return FALSE;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
  if (!IsWindow(hwnd) || hwnd == &g_desktop) return FALSE;
  BOOL wasDisabled = (hwnd->style & WS_DISABLED) != 0;
  if (enable) hwnd->style &= ~static_cast<DWORD>(WS_DISABLED);
  else hwnd->style |= WS_DISABLED;
  if (hwnd->widget) hwnd->widget->setEnabled(enable != 0);
  if (!enable && g_focus != nullptr && IsDescendant(hwnd, g_focus) && hwnd->parent) g_focus = nullptr;
  if (wasDisabled == (enable == 0)) return wasDisabled;
  // The toolkit drops the focus of a window it disables and, when the window
  // is active again, gives it to the first child that takes the focus: a
  // window enabled again keeps the child that had the keys for that moment.
  HWND last = hwnd->lastFocus;
  if (enable && hwnd->widget && hwnd->widget->isWindow() && IsWindow(last) && IsChild(hwnd, last) && last->widget &&
      IsWindowVisible(last) && IsWindowEnabled(last)) {
    QWidget* target = last->widget->focusProxy() ? last->widget->focusProxy() : last->widget.data();
    if (!target->hasFocus()) target->setFocus(Qt::OtherFocusReason);
  }
  SendMessageA(hwnd, WM_ENABLE, enable ? 1 : 0, 0);
  return wasDisabled;
}

BOOL IsWindowEnabled(HWND hwnd) {
  if (!IsWindow(hwnd)) return FALSE;
  return (hwnd->style & WS_DISABLED) == 0;
}

namespace {
// An owned window is kept above its owner by the window manager, as Windows
// keeps it: a click on the owner (disabled while the owned window works)
// does not bury a dialog or a progress box the user must answer.
void KeepAboveOwner(HWND hwnd) {
  HWND owner = hwnd->owner;
  // An owner not shown yet (a dialog that asks something while it starts)
  // cannot hold the window up: the nearest shown window it belongs to does.
  while (owner != nullptr && IsWindow(owner) && !(owner->style & WS_VISIBLE) && owner->owner != nullptr)
    owner = owner->owner;
  if (owner == nullptr || !IsWindow(owner) || !owner->widget || !hwnd->widget) return;
  hwnd->widget->winId();
  owner->widget->winId();
  QWindow* own = hwnd->widget->windowHandle();
  QWindow* above = owner->widget->windowHandle();
  if (own != nullptr && above != nullptr && own->transientParent() != above) own->setTransientParent(above);
}
}  // namespace

BOOL ShowWindow(HWND hwnd, int command) {
  if (!IsWindow(hwnd) || hwnd == &g_desktop) return FALSE;
  BOOL was = (hwnd->style & WS_VISIBLE) != 0;
  bool show = command != SW_HIDE;
  if (show) hwnd->style |= WS_VISIBLE;
  else hwnd->style &= ~static_cast<DWORD>(WS_VISIBLE);
  if (command == SW_MINIMIZE || command == SW_SHOWMINIMIZED) hwnd->style |= WS_MINIMIZE;
  if (command == SW_SHOWNORMAL || command == SW_RESTORE || command == SW_SHOW) {
    if (command != SW_SHOW) hwnd->style &= ~static_cast<DWORD>(WS_MINIMIZE | WS_MAXIMIZE);
  }
  if (hwnd->widget) {
    if (!show) {
      hwnd->widget->hide();
    } else if (hwnd->style & WS_CHILD) {
      hwnd->widget->show();
    } else {
      KeepAboveOwner(hwnd);
      if (hwnd->style & WS_MINIMIZE) hwnd->widget->showMinimized();
      else hwnd->widget->showNormal();
      if (command != SW_SHOWNOACTIVATE) SetActiveWindow(hwnd);
    }
  }
  if (was != (show ? 1 : 0)) SendMessageA(hwnd, WM_SHOWWINDOW, show ? 1 : 0, 0);
  return was;
}

BOOL IsWindowVisible(HWND hwnd) {
  if (!IsWindow(hwnd)) return FALSE;
  for (HWND p = hwnd; p; p = p->parent)
    if (!(p->style & WS_VISIBLE)) return FALSE;
  return TRUE;
}

BOOL IsIconic(HWND hwnd) { return IsWindow(hwnd) && (hwnd->style & WS_MINIMIZE) != 0; }

BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
  if (!IsWindow(hwnd)) return FALSE;
  return SendMessageA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : "")) != 0;
}

int GetWindowTextA(HWND hwnd, LPSTR buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  buffer[0] = '\0';
  if (!IsWindow(hwnd)) return 0;
  return static_cast<int>(SendMessageA(hwnd, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthA(HWND hwnd) { return static_cast<int>(SendMessageA(hwnd, WM_GETTEXTLENGTH, 0, 0)); }

// --- geometry ---

namespace {
// Screen position of a window's client origin.
POINT ClientOrigin(HWND hwnd) {
  POINT p{0, 0};
  for (HWND w = hwnd; w != nullptr && w != &g_desktop; w = w->parent) {
    RECT in = vt_ui::NonClientInsets(w);
    p.x += w->rect.left + in.left;
    p.y += w->rect.top + in.top;
  }
  return p;
}
}  // namespace

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
  if (!IsWindow(hwnd) || rect == nullptr) return FALSE;
  if (hwnd == &g_desktop) {
    GetDesktopWindow();
    *rect = g_desktop.rect;
    return TRUE;
  }
  POINT o = hwnd->parent ? ClientOrigin(hwnd->parent) : POINT{0, 0};
  *rect = RECT{hwnd->rect.left + o.x, hwnd->rect.top + o.y, hwnd->rect.right + o.x, hwnd->rect.bottom + o.y};
  return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
  if (!IsWindow(hwnd) || rect == nullptr) return FALSE;
  if (hwnd == &g_desktop) {
    GetDesktopWindow();
    *rect = RECT{0, 0, g_desktop.rect.right - g_desktop.rect.left, g_desktop.rect.bottom - g_desktop.rect.top};
    return TRUE;
  }
  RECT in = vt_ui::NonClientInsets(hwnd);
  *rect = RECT{0, 0, std::max<LONG>(0, hwnd->rect.right - hwnd->rect.left - in.left - in.right),
               std::max<LONG>(0, hwnd->rect.bottom - hwnd->rect.top - in.top - in.bottom)};
  return TRUE;
}

BOOL SetWindowPos(HWND hwnd, HWND, int x, int y, int cx, int cy, UINT flags) {
  if (!IsWindow(hwnd) || hwnd == &g_desktop) return FALSE;
  RECT r = hwnd->rect;
  if (!(flags & SWP_NOMOVE)) {
    r.right += x - r.left;
    r.bottom += y - r.top;
    r.left = x;
    r.top = y;
  }
  if (!(flags & SWP_NOSIZE)) {
    r.right = r.left + std::max(0, cx);
    r.bottom = r.top + std::max(0, cy);
  }
  bool sized = (r.right - r.left) != (hwnd->rect.right - hwnd->rect.left) ||
               (r.bottom - r.top) != (hwnd->rect.bottom - hwnd->rect.top);
  bool moved = r.left != hwnd->rect.left || r.top != hwnd->rect.top;
  hwnd->rect = r;
  vt_ui::SyncGeometry(hwnd);
  if (flags & SWP_SHOWWINDOW) ShowWindow(hwnd, (flags & SWP_NOACTIVATE) ? SW_SHOWNOACTIVATE : SW_SHOW);
  if (flags & SWP_HIDEWINDOW) ShowWindow(hwnd, SW_HIDE);
  if (moved) SendMessageA(hwnd, WM_MOVE, 0, 0);
  if (sized) {
    RECT c;
    GetClientRect(hwnd, &c);
    SendMessageA(hwnd, WM_SIZE, 0, MAKELPARAM(static_cast<WORD>(c.right), static_cast<WORD>(c.bottom)));
  }
  return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL) {
  return SetWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL ScreenToClient(HWND hwnd, POINT* pt) {
  if (!IsWindow(hwnd) || pt == nullptr) return FALSE;
  POINT o = hwnd == &g_desktop ? POINT{0, 0} : ClientOrigin(hwnd);
  pt->x -= o.x;
  pt->y -= o.y;
  return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT* pt) {
  if (!IsWindow(hwnd) || pt == nullptr) return FALSE;
  POINT o = hwnd == &g_desktop ? POINT{0, 0} : ClientOrigin(hwnd);
  pt->x += o.x;
  pt->y += o.y;
  return TRUE;
}

namespace {
bool ScreenRectHolds(HWND w, POINT pt) {
  RECT r;
  return GetWindowRect(w, &r) && pt.x >= r.left && pt.x < r.right && pt.y >= r.top && pt.y < r.bottom;
}
}  // namespace

HWND WindowFromPoint(POINT pt) {
  // The windows made last lie on top: owned windows over their owners,
  // later children over earlier ones.
  HWND found = nullptr;
  for (auto it = g_windows.rbegin(); it != g_windows.rend() && found == nullptr; ++it)
    if ((*it)->parent == nullptr && IsWindowVisible(*it) && ScreenRectHolds(*it, pt)) found = *it;
  for (bool deeper = found != nullptr; deeper;) {
    deeper = false;
    for (auto it = g_windows.rbegin(); it != g_windows.rend(); ++it)
      if ((*it)->parent == found && IsWindowVisible(*it) && ScreenRectHolds(*it, pt)) {
        found = *it;
        deeper = true;
        break;
      }
  }
  return found;
}

BOOL InvalidateRect(HWND hwnd, const RECT*, BOOL erase) {
  if (!IsWindow(hwnd) || hwnd == &g_desktop) return FALSE;
  // What was drawn through GetDC lasts until the window is repainted.
  if (erase) hwnd->overlay.clear();
  if (hwnd->widget && vt_ui::PaintDepth() == 0) hwnd->widget->update();
  return TRUE;
}

BOOL UpdateWindow(HWND hwnd) { return IsWindow(hwnd); }

BOOL PtInRect(const RECT* r, POINT pt) {
  return r && pt.x >= r->left && pt.x < r->right && pt.y >= r->top && pt.y < r->bottom;
}

BOOL SetRect(RECT* r, int left, int top, int right, int bottom) {
  if (!r) return FALSE;
  *r = RECT{left, top, right, bottom};
  return TRUE;
}

// --- the queue ---

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (hwnd != nullptr && (!IsWindow(hwnd) || hwnd == &g_desktop)) return FALSE;
  ThePump();
  g_queue.push_back(MSG{hwnd, message, wParam, lParam, Now(), {0, 0}});
  SchedulePump();
  return TRUE;
}

void PostQuitMessage(int exitCode) { PostMessageA(nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0); }

namespace {
bool Matches(const MSG& m, HWND hwnd, UINT lo, UINT hi) {
  if (hwnd != nullptr && m.hwnd != hwnd && !(m.hwnd && IsChild(hwnd, m.hwnd))) return false;
  if (lo == 0 && hi == 0) return true;
  return m.message >= lo && m.message <= hi;
}

bool TakeMessage(MSG* out, HWND hwnd, UINT lo, UINT hi, bool remove) {
  for (auto it = g_queue.begin(); it != g_queue.end(); ++it) {
    if (!Matches(*it, hwnd, lo, hi)) continue;
    *out = *it;
    if (remove) g_queue.erase(it);
    return true;
  }
  return false;
}
}  // namespace

BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  if (msg == nullptr) return -1;
  ThePump();
  ++g_manualDepth;
  while (!TakeMessage(msg, hwnd, filterMin, filterMax, true))
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  --g_manualDepth;
  SchedulePump();
  return msg->message != WM_QUIT;
}

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags) {
  if (msg == nullptr) return FALSE;
  ThePump();
  ++g_manualDepth;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  bool got = TakeMessage(msg, hwnd, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0);
  --g_manualDepth;
  SchedulePump();
  return got;
}

LRESULT DispatchMessageA(const MSG* msg) {
  if (msg == nullptr || !IsWindow(msg->hwnd)) return 0;
  if (msg->message == WM_TIMER && msg->lParam != 0) {
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, Now());
    return 0;
  }
  return SendMessageA(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

// --- timers ---

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
  if (hwnd != nullptr && !IsWindow(hwnd)) return 0;
  ThePump();
  if (hwnd == nullptr) id = ++g_nextTimerId;
  TimerKey key{hwnd, id};
  QTimer*& t = g_timers[key];
  if (t == nullptr) t = new QTimer(ThePump());
  t->disconnect();
  t->setInterval(static_cast<int>(std::max<UINT>(elapseMs, 1)));
  QObject::connect(t, &QTimer::timeout, [key, proc]() {
    bool pending = std::any_of(g_queue.begin(), g_queue.end(), [&](const MSG& m) {
      return m.message == WM_TIMER && m.hwnd == key.hwnd && m.wParam == key.id;
    });
    if (pending) return;
    if (key.hwnd == nullptr) {
      if (proc) proc(nullptr, WM_TIMER, key.id, Now());
      return;
    }
    PostMessageA(key.hwnd, WM_TIMER, key.id, reinterpret_cast<LPARAM>(proc));
  });
  t->start();
  return hwnd == nullptr ? id : (id == 0 ? 1 : id);
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  auto it = g_timers.find(TimerKey{hwnd, id});
  if (it == g_timers.end()) return FALSE;
  it->second->stop();
  it->second->deleteLater();
  g_timers.erase(it);
  g_queue.erase(std::remove_if(g_queue.begin(), g_queue.end(),
                               [&](const MSG& m) { return m.message == WM_TIMER && m.hwnd == hwnd && m.wParam == id; }),
                g_queue.end());
  return TRUE;
}

namespace {
Qt::KeyboardModifier ModifierOf(int virtKey) {
  return virtKey == VK_SHIFT ? Qt::ShiftModifier
         : virtKey == VK_CONTROL ? Qt::ControlModifier
         : virtKey == VK_MENU ? Qt::AltModifier
                              : Qt::NoModifier;
}
}  // namespace

SHORT GetKeyState(int virtKey) {
  Qt::KeyboardModifier m = ModifierOf(virtKey);
  return (m != Qt::NoModifier && (g_mods & m)) ? static_cast<SHORT>(-128) : 0;
}

SHORT GetAsyncKeyState(int virtKey) {
  Qt::KeyboardModifier m = ModifierOf(virtKey);
  if (m == Qt::NoModifier || !UiApplicationRunning()) return 0;
  return (QGuiApplication::queryKeyboardModifiers() & m) ? static_cast<SHORT>(-32768) : 0;
}
