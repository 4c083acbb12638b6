#include "platform/win/settings_watch.h"

#include "platform/win/ui_internal.h"
#include "platform/win/window.h"
#include "platform/win/windir.h"

#include <QFileInfo>
#include <QDateTime>
#include <QFileSystemWatcher>
#include <QString>

#include <memory>
#include <vector>

namespace {

struct WinIniWatch {
  QFileSystemWatcher watcher;
  QString file;
  qint64 size = -1;
  qint64 modified = -1;  // ms since the epoch; -1 while the file is absent

  void Note() {
    const QFileInfo info(file);
    size = info.exists() ? info.size() : -1;
    modified = info.exists() ? info.lastModified().toMSecsSinceEpoch() : -1;
  }
  // Editors often write a new file and rename it over the old one: the
  // folder's change tells of that, and the file is watched again.
  void Changed() {
    if (!watcher.files().contains(file) && QFileInfo::exists(file)) watcher.addPath(file);
    const qint64 oldSize = size, oldModified = modified;
    Note();
    if (size != oldSize || modified != oldModified) BroadcastWinIniChange();
  }
};

std::unique_ptr<WinIniWatch> g_watch;

}  // namespace

void WatchWinIni() {
  if (g_watch) return;
  g_watch.reset(new WinIniWatch);
  const QString dir = QString::fromUtf8(WindowsDirectory().c_str());
  g_watch->file = dir + QStringLiteral("/win.ini");
  g_watch->Note();
  g_watch->watcher.addPath(dir);
  if (QFileInfo::exists(g_watch->file)) g_watch->watcher.addPath(g_watch->file);
  WinIniWatch* w = g_watch.get();
  QObject::connect(&w->watcher, &QFileSystemWatcher::fileChanged, [w](const QString&) { w->Changed(); });
  QObject::connect(&w->watcher, &QFileSystemWatcher::directoryChanged, [w](const QString&) { w->Changed(); });
}

void StopWatchingWinIni() { g_watch.reset(); }

void BroadcastWinIniChange() {
  std::vector<HWND> tops;
  for (HWND h : vt_ui::AllWindows())
    if (IsWindow(h) && h->parent == nullptr) tops.push_back(h);
  for (HWND h : tops) PostMessageA(h, WM_WININICHANGE, 0, 0);
}
