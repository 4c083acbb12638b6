#include "tests/platform/support/dialog_watchdog.h"

#include "platform/win/dialog.h"
#include "platform/win/ui_internal.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QVariant>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace dialog_watchdog {
namespace {

constexpr int kTurnMs = 100;
constexpr char kSerial[] = "vtWatchSerial";
int g_patience = 200;  // twenty seconds or more of a running event loop

// The dialog waiting innermost: the latest seen of the program's running
// modal dialogs and the toolkit's modal window.
struct Waiting {
  QPointer<QWidget> widget;
  HWND hwnd = nullptr;  // set for the program's own dialogs
  qlonglong serial = 0;
};

qlonglong SerialOf(QWidget* w) {
  static qlonglong next = 0;
  QVariant v = w->property(kSerial);
  if (!v.isValid()) {
    v = ++next;
    w->setProperty(kSerial, v);
  }
  return v.toLongLong();
}

Waiting Innermost() {
  Waiting best;
  for (HWND h : vt_ui::AllWindows()) {
    if (!IsWindow(h) || !h->dlg || !h->dlg->modal || h->dlg->loop == nullptr || h->dlg->ended || !h->widget) continue;
    const qlonglong s = SerialOf(h->widget.data());
    if (s > best.serial) best = {h->widget, h, s};
  }
  if (QWidget* w = QApplication::activeModalWidget()) {
    const qlonglong s = SerialOf(w);
    if (s > best.serial) best = {w, nullptr, s};
  }
  return best;
}

std::string Describe(const Waiting& w) {
  if (w.hwnd != nullptr && IsWindow(w.hwnd)) {
    char caption[256] = {}, text[512] = {};
    GetWindowTextA(w.hwnd, caption, sizeof caption);
    GetDlgItemTextA(w.hwnd, 200, text, sizeof text);  // a message's text, where the dialog has one
    return "\"" + std::string(caption) + "\"" + (text[0] ? " (" + std::string(text) + ")" : "") +
           (IsWindowEnabled(w.hwnd) ? "" : ", disabled") + (IsWindowVisible(w.hwnd) ? "" : ", hidden");
  }
  if (!w.widget) return "(gone)";
  std::string d = "\"" + w.widget->windowTitle().toStdString() + "\"";
  if (auto* box = qobject_cast<QMessageBox*>(w.widget.data())) d += " (" + box->text().toStdString() + ")";
  return d;
}

void Close(const Waiting& w) {
  if (w.hwnd != nullptr && IsWindow(w.hwnd)) {
    EndDialog(w.hwnd, -99);
  } else if (auto* d = qobject_cast<QDialog*>(w.widget.data())) {
    d->reject();
  } else if (w.widget) {
    w.widget->close();
  }
}

class Watch : public QObject {
 public:
  explicit Watch(QObject* parent) : QObject(parent) {
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { Turn(); });
    timer_.start(kTurnMs);
  }

 private:
  void Turn() {
    const Waiting now = Innermost();
    if (now.serial != serial_) {
      serial_ = now.serial;
      turns_ = 0;
      failed_ = false;
      return;
    }
    if (serial_ == 0 || ++turns_ < g_patience) return;
    turns_ = 0;
    const std::string name = Describe(now);
    if (failed_) {
      // Closing it did not end its loop: the process ends rather than hang.
      std::fprintf(stderr, "The modal dialog %s could not be closed; the test program ends.\n", name.c_str());
      std::fflush(nullptr);
      std::_Exit(3);
    }
    failed_ = true;
    ADD_FAILURE() << "The modal dialog " << name << " was left waiting: no step of the test answered it.";
    Close(now);
  }

  QTimer timer_;
  qlonglong serial_ = 0;
  int turns_ = 0;
  bool failed_ = false;
};

void Start() {
  // Once per application object; it goes with it.
  new Watch(QCoreApplication::instance());
}

}  // namespace

void Install() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  qAddPreRoutine(&Start);
}

int SetPatience(int turns) {
  const int old = g_patience;
  g_patience = turns;
  return old;
}

}  // namespace dialog_watchdog
