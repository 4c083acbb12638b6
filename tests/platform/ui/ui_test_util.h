// Helpers for driving windows and dialogs headless: keys and clicks are sent
// as Qt events to the widgets behind the windows, and work meant to happen
// while a modal dialog runs is queued before the dialog starts.
#pragma once

#include "platform/win/dialog.h"
#include "platform/win/ui_app.h"
#include "platform/win/ui_internal.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QTimer>

#include <functional>
#include <string>

namespace ui_test {
inline void Start() { UiStartApplication(); }

// Runs fn once the next modal loop is running (or the current loop turns).
inline void WhenRunning(std::function<void()> fn) { QTimer::singleShot(0, qApp, std::move(fn)); }
// The toolkit's file dialog shown modally and not answered yet: pick gets
// its title and gives the file to choose ("" cancels); false when pick
// passes. True when a dialog was answered.
inline bool AnswerFileDialog(const std::function<bool(const std::string& title, std::string* file)>& pick) {
  auto* fd = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
  // Marked on the object: a later dialog may take the same address.
  if (fd == nullptr || fd->property("vtAnswered").toBool() || !fd->isVisible()) return false;
  std::string file;
  if (!pick(fd->windowTitle().toStdString(), &file)) return false;
  fd->setProperty("vtAnswered", true);
  if (file.empty()) {
    fd->reject();
  } else {
    fd->selectFile(QString::fromStdString(file));
    static_cast<QDialog*>(fd)->accept();
  }
  return true;
}
// True the first time it is asked of a window: a step answers a window once.
inline bool TakeAnswerMark(HWND h) {
  if (!h->widget || h->widget->property("vtAnswered").toBool()) return false;
  h->widget->setProperty("vtAnswered", true);
  return true;
}
// Closes a modal toolkit window left open; its title, or "" when none.
inline std::string CloseModalWindow() {
  QWidget* w = QApplication::activeModalWidget();
  if (w == nullptr) return "";
  std::string title = w->windowTitle().toStdString();
  w->close();
  return title;
}
// fn on the event loop after ms milliseconds.
inline void After(int ms, std::function<void()> fn) { QTimer::singleShot(ms, qApp, std::move(fn)); }

inline void Key(HWND target, int qtKey, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = QString()) {
  if (!IsWindow(target) || !target->widget) return;
  QWidget* w = target->widget->focusProxy() ? target->widget->focusProxy() : target->widget.data();
  QKeyEvent press(QEvent::KeyPress, qtKey, mods, text);
  QApplication::sendEvent(w, &press);
  if (!IsWindow(target)) return;
  QKeyEvent release(QEvent::KeyRelease, qtKey, mods, text);
  QApplication::sendEvent(w, &release);
}

inline void KeyToFocus(int qtKey, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = QString()) {
  Key(GetFocus(), qtKey, mods, text);
}

inline void Click(HWND button) {
  auto* b = qobject_cast<QAbstractButton*>(button->widget.data());
  if (b) b->click();
}

// Lets posted messages and timers run for a few turns of the event loop.
inline void Pump(int turns = 5) {
  for (int i = 0; i < turns; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

inline std::string Text(HWND hwnd) {
  char buf[1024];
  GetWindowTextA(hwnd, buf, sizeof buf);
  return buf;
}

// The running dialog: the active window when it is a dialog.
inline HWND ActiveDialog() {
  HWND a = GetActiveWindow();
  return a && a->dlg ? a : nullptr;
}

std::string ScreenshotDir();
// Ends every running dialog with -99: the safety net that keeps a failed test from hanging.
void EndAllDialogs();
// Safety net only: ends every dialog when a test has run far too long, so a
// failed expectation cannot leave a modal loop waiting forever.
class Watchdog {
 public:
  void arm() {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [] { EndAllDialogs(); });
    timer_.start(20000);
  }

 private:
  QTimer timer_;
};

// Writes the dialog with a drawn caption bar as a PNG for a person to look at.
void SaveScreenshot(HWND dialog, const std::string& name);
}  // namespace ui_test
