#include "platform/win/system_notices.h"

#include "platform/win/ui_app.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QSessionManager>

namespace {
HWND g_target = nullptr;

void Tell(UINT msg, WPARAM wParam) {
  if (IsWindow(g_target)) SendMessageA(g_target, msg, wParam, 0);
}

// The toolkit's application-wide events become the window's messages.
class NoticeFilter : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (watched == qApp) {
      if (e->type() == QEvent::ApplicationFontChange) Tell(WM_FONTCHANGE, 0);
      if (e->type() == QEvent::ApplicationPaletteChange) Tell(WM_SYSCOLORCHANGE, 0);
    }
    return QObject::eventFilter(watched, e);
  }
};

void Install() {
  static bool done = false;
  if (done || qApp == nullptr) return;
  done = true;
  qApp->installEventFilter(new NoticeFilter);
  QObject::connect(qApp, &QGuiApplication::applicationStateChanged, [](Qt::ApplicationState state) {
    Tell(WM_ACTIVATEAPP, state == Qt::ApplicationActive ? 1 : 0);
    // Becoming active is when a program realises its colours again.
    if (state == Qt::ApplicationActive) Tell(WM_QUERYNEWPALETTE, 0);
  });
  // A screen came, went or became the primary one: its colours may differ.
  auto screens = [](QScreen*) { Tell(WM_PALETTECHANGED, 0); };
  QObject::connect(qApp, &QGuiApplication::screenAdded, screens);
  QObject::connect(qApp, &QGuiApplication::screenRemoved, screens);
  QObject::connect(qApp, &QGuiApplication::primaryScreenChanged, screens);
  QObject::connect(qApp, &QGuiApplication::commitDataRequest, [](QSessionManager& manager) {
    if (!IsWindow(g_target)) return;
    const bool mayEnd = SendMessageA(g_target, WM_QUERYENDSESSION, 0, 0) != 0;
    if (!mayEnd) manager.cancel();
    SendMessageA(g_target, WM_ENDSESSION, mayEnd ? 1 : 0, 0);
  });
}
}  // namespace

void SetSystemNoticeWindow(HWND topLevel) {
  UiStartApplication();
  Install();
  g_target = topLevel;
}
