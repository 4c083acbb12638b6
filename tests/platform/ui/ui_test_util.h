// Helpers for driving windows and dialogs headless: keys and clicks are sent
// as Qt events to the widgets behind the windows, and work meant to happen
// while a modal dialog runs is queued before the dialog starts.
#pragma once

#include "platform/win/dialog.h"
#include "platform/win/ui_app.h"
#include "platform/win/ui_internal.h"

#include <QAbstractButton>
#include <QApplication>
#include <QAbstractItemView>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QImage>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The toolkit's own way to mark an event as the window system's.
class QSpontaneKeyEvent {
 public:
  static void Mark(QEvent* e) { e->setSpontaneous(); }
};

namespace ui_test {
inline void Start() { UiStartApplication(); }

// Runs fn once the next modal loop is running (or the current loop turns).
inline void WhenRunning(std::function<void()> fn) { QTimer::singleShot(0, qApp, std::move(fn)); }

// A toolkit file dialog seen by a test without its toolkit types; empty when
// no dialog was found. The dialog may close under it: every call then does nothing.
class FileDialogHandle {
 public:
  // The file dialog shown modally and not answered yet, with this title ("":
  // any title); it is marked answered, for a later dialog may take the same
  // address.
  static FileDialogHandle TakeActive(const std::string& title = "") {
    auto* fd = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (fd == nullptr || !fd->isVisible() || fd->property("vtAnswered").toBool() ||
        (!title.empty() && fd->windowTitle().toStdString() != title))
      return {};
    fd->setProperty("vtAnswered", true);
    FileDialogHandle h;
    h.fd_ = fd;
    return h;
  }
  explicit operator bool() const { return !fd_.isNull(); }
  // The folder it shows.
  std::string Folder() const { return fd_ ? fd_->directory().absolutePath().toStdString() : ""; }
  // The first file or folder selected in it ("" when none).
  std::string Selected() const { return fd_ ? fd_->selectedFiles().value(0).toStdString() : ""; }
  // True when it chooses folders rather than files.
  bool FoldersOnly() const { return fd_ && fd_->fileMode() == QFileDialog::Directory; }
  // The file-type filter chosen, as shown.
  std::string NameFilter() const { return fd_ ? fd_->selectedNameFilter().toStdString() : ""; }
  // The window of the program's own controls added to it.
  HWND AddedControls() const {
    if (!fd_) return nullptr;
    for (HWND h : vt_ui::AllWindows())
      if (IsWindow(h) && h->dlg && h->widget && h->widget->window() == fd_.data()) return h;
    return nullptr;
  }
  // Clicks its Help button; false when it has none.
  bool ClickHelp() const {
    auto* box = fd_ ? fd_->findChild<QDialogButtonBox*>() : nullptr;
    auto* help = box != nullptr ? box->findChild<QPushButton*>("vtHelp") : nullptr;
    if (help == nullptr) return false;
    help->click();
    return true;
  }
  // Selects a file or folder (a name alone is taken in the folder shown),
  // as the user puts the cursor on it, and leaves the dialog open.
  void Select(const std::string& path) const {
    if (!fd_) return;
    const QString chosen = QString::fromStdString(path);
    fd_->selectFile(chosen);
    auto* name = fd_->findChild<QLineEdit*>("fileNameEdit");
    // Before its folder is listed the dialog may not take the selection:
    // the name is then typed, as a user would.
    if (fd_->selectedFiles().value(0).isEmpty()) {
      if (name != nullptr) name->setText(chosen);
      return;
    }
    // The toolkit leaves the name box as it is while the box has the focus,
    // which it may have taken by then: the name is put in as typed.
    const QString typed = QFileInfo(chosen).fileName();
    if (name != nullptr && name->hasFocus() && !typed.isEmpty() && name->text() != typed) name->setText(typed);
  }
  // Selects a file or folder and accepts once the dialog takes that path as
  // its choice. The toolkit drops a file the list still has selected (the
  // name it was opened with) only while its name box has the focus, and the
  // list's selection outweighs the name typed: the path is then put in the
  // name box whole, with nothing selected in the list. A dialog that takes
  // neither fails the test and is cancelled rather than accepted.
  void Choose(const std::string& path) const {
    if (!fd_) return;
    Select(path);
    const QString chosen = QString::fromStdString(path);
    const QString wanted =
        QDir::cleanPath(QDir::isAbsolutePath(chosen) ? chosen : fd_->directory().absoluteFilePath(chosen));
    if (!Takes(wanted)) {
      if (auto* list = fd_->findChild<QAbstractItemView*>("listView"); list && list->selectionModel())
        list->selectionModel()->clearSelection();
      if (auto* name = fd_->findChild<QLineEdit*>("fileNameEdit")) name->setText(wanted);
    }
    if (!Takes(wanted)) {
      ADD_FAILURE() << "the file dialog \"" << fd_->windowTitle().toStdString() << "\" takes \""
                    << fd_->selectedFiles().value(0).toStdString() << "\", not " << path;
      Cancel();
      return;
    }
    Accept();
  }
  // Accepts what it holds now.
  void Accept() const {
    if (fd_) static_cast<QDialog*>(fd_.data())->accept();
  }
  void Cancel() const {
    if (fd_) fd_->reject();
  }
  // True when accepting now would choose this path (the default suffix added or not).
  bool Takes(const QString& wanted) const {
    const QString first = QDir::cleanPath(fd_->selectedFiles().value(0));
    return first == wanted || (!fd_->defaultSuffix().isEmpty() && first == wanted + "." + fd_->defaultSuffix());
  }
  // Writes it as the toolkit draws it to a PNG; false when that fails.
  bool SavePicture(const std::string& pngPath) const {
    return fd_ && fd_->grab().save(QString::fromStdString(pngPath), "PNG");
  }

 private:
  QPointer<QFileDialog> fd_;
};

// The toolkit's file dialog shown modally and not answered yet: pick gets
// its title and gives the file to choose ("" cancels); false when pick
// passes. True when a dialog was answered.
inline bool AnswerFileDialog(const std::function<bool(const std::string& title, std::string* file)>& pick) {
  auto* fd = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
  if (fd == nullptr || fd->property("vtAnswered").toBool() || !fd->isVisible()) return false;
  std::string file;
  if (!pick(fd->windowTitle().toStdString(), &file)) return false;
  FileDialogHandle h = FileDialogHandle::TakeActive();
  if (file.empty())
    h.Cancel();
  else
    h.Choose(file);
  return true;
}
// Whether a step has answered the window already.
inline bool HasAnswerMark(HWND h) { return h->widget && h->widget->property("vtAnswered").toBool(); }
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

// The toolkit's message box, answered with the button of that text whenever
// it shows while the answerer lives; where it stood is kept.
class ToolkitBoxAnswer {
 public:
  explicit ToolkitBoxAnswer(QMessageBox::StandardButton button) : button_(button) { Schedule(); }
  ~ToolkitBoxAnswer() { *alive_ = false; }
  QRect at;
  std::string text;
  int count = 0;

 private:
  void Schedule() {
    std::shared_ptr<bool> alive = alive_;
    ui_test::After(20, [this, alive] {
      if (!*alive) return;
      Schedule();
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->isVisible() || box->property("vtAnswered").toBool()) return;
      box->setProperty("vtAnswered", true);
      at = box->frameGeometry();
      text = box->text().toStdString();
      ++count;
      if (QAbstractButton* b = box->button(button_)) b->click();
    });
  }
  QMessageBox::StandardButton button_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

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

// A key by its virtual-key code (letters, digits, Return, Escape, Tab), with
// Alt held when asked: for tests that keep clear of the toolkit's key names.
inline void PressKey(HWND target, UINT vk, bool alt = false) {
  int qtKey = static_cast<int>(vk);  // letters and digits share their codes
  if (vk == VK_RETURN) qtKey = Qt::Key_Return;
  if (vk == VK_ESCAPE) qtKey = Qt::Key_Escape;
  if (vk == VK_TAB) qtKey = Qt::Key_Tab;
  Key(target, qtKey, alt ? Qt::AltModifier : Qt::NoModifier);
}

// A click of the left button as the window system gives it: the toolkit
// moves the keyboard focus on such a press, as on a real click.
inline void SpontaneousClick(QWidget* w, QPoint at) {
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QMouseEvent e(type, at, w->mapToGlobal(at), Qt::LeftButton,
                  type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QSpontaneKeyEvent::Mark(&e);
    qApp->notify(w, &e);  // sendEvent would take the mark away
  }
}

// The middle of the item of a menu, or of the title on a menu bar, whose text
// without its "&" begins with text.
inline QPoint MenuItemAt(QWidget* menu, const QString& text) {
  for (QAction* a : menu->actions())
    if (a->text().remove('&').startsWith(text)) {
      if (auto* m = qobject_cast<QMenu*>(menu)) return m->actionGeometry(a).center();
      if (auto* bar = qobject_cast<QMenuBar*>(menu)) return bar->actionGeometry(a).center();
    }
  ADD_FAILURE() << "no menu item " << text.toStdString();
  return QPoint();
}

// Letters typed where the toolkit has the focus, as the window system sends them.
inline void TypeToToolkitFocus(const std::string& word) {
  for (char c : word) {
    QWidget* to = QApplication::focusWidget();
    ASSERT_NE(to, nullptr);
    const int key = Qt::Key_A + (std::toupper(static_cast<unsigned char>(c)) - 'A');
    for (QEvent::Type t : {QEvent::KeyPress, QEvent::KeyRelease}) {
      QKeyEvent e(t, key, Qt::NoModifier, QString(QChar(c)));
      QApplication::sendEvent(to, &e);
    }
  }
}

// Runs fn every ms milliseconds for as long as it lives.
class Every {
 public:
  Every(int ms, std::function<void()> fn) {
    QObject::connect(&timer_, &QTimer::timeout, std::move(fn));
    timer_.start(ms);
  }

 private:
  QTimer timer_;
};

inline void Click(HWND button) {
  auto* b = qobject_cast<QAbstractButton*>(button->widget.data());
  if (b) b->click();
}

// Lets posted messages and timers run for a few turns of the event loop.
// A click (or a double-click) of the left button at a point of a widget, as
// the mouse makes it.
inline void MouseClick(QWidget* w, QPoint at, bool twice) {
  std::vector<QEvent::Type> types = {QEvent::MouseButtonPress, QEvent::MouseButtonRelease};
  if (twice) types.insert(types.end(), {QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease});
  for (QEvent::Type type : types) {
    QMouseEvent e(type, at, w->mapToGlobal(at), Qt::LeftButton,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
  }
}

// Double-clicks the row of a list whose text, past its first `skip`
// characters (a marker column), is `name`. False when no row holds it.
inline bool DoubleClickListRow(HWND list, const std::string& name, size_t skip = 0) {
  auto* lw = list ? qobject_cast<QListWidget*>(list->widget.data()) : nullptr;
  if (lw == nullptr) return false;
  for (int i = 0; i < lw->count(); ++i) {
    const std::string text = lw->item(i)->text().toStdString();
    if (text.size() > skip && text.substr(skip) == name) {
      lw->scrollToItem(lw->item(i));
      MouseClick(lw->viewport(), lw->visualItemRect(lw->item(i)).center(), true);
      return true;
    }
  }
  return false;
}

inline void Pump(int turns = 5) {
  for (int i = 0; i < turns; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

inline std::string Text(HWND hwnd) {
  char buf[1024];
  GetWindowTextA(hwnd, buf, sizeof buf);
  return buf;
}

// A program text as the screen shows it (a title, a menu item, a message,
// the status line), in UTF-8.
inline std::string Shown(const std::string& programText) {
  return vt_ui::FromProgramText(programText).toUtf8().toStdString();
}

// The running dialog: the latest dialog window made, not ended, that takes
// input (a dialog under one of its own is disabled), the one a step queued
// for its loop (WhenRunning) is meant for, even while it sets itself up.
// Found as such, not as the active window, which on a loaded machine may be
// another. Scenario steps that answer a window by its caption use
// tests/support/answer_box.h.
inline HWND ActiveDialog() {
  const std::vector<HWND>& all = vt_ui::AllWindows();
  for (auto it = all.rbegin(); it != all.rend(); ++it) {
    HWND h = *it;
    if (IsWindow(h) && h->dlg && h->parent == nullptr && !h->dlg->ended && IsWindowEnabled(h)) return h;
  }
  return nullptr;
}

std::string ScreenshotDir();

// Writes the dialog with a drawn caption bar as a PNG for a person to look at.
void SaveScreenshot(HWND dialog, const std::string& name);
}  // namespace ui_test
