// Menus over Qt: the menu records are ours; a window's menu bar is a QMenuBar
// rebuilt from them, and every popup is filled afresh when it opens, after
// its window has had WM_INITMENUPOPUP.
#include "platform/win/menu.h"

#include "platform/win/ui_internal.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>

#include <functional>

#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

struct MenuItemRec {
  UINT flags = 0;
  UINT id = 0;
  HMENU popup = nullptr;
  std::string text;  // Windows-1252
};

struct HMENU__ {
  bool isPopup = false;
  std::vector<MenuItemRec> items;
  HWND window = nullptr;  // the window whose bar this is
};

namespace {
std::unordered_set<HMENU> g_menus;

struct Found {
  HMENU menu = nullptr;
  int pos = -1;
};

// Win32 finds an item by command in the menu and then in its popups.
Found FindItem(HMENU menu, UINT item, UINT flags) {
  if (!IsMenu(menu)) return {};
  if (flags & MF_BYPOSITION) {
    if (item >= menu->items.size()) return {};
    return {menu, static_cast<int>(item)};
  }
  for (size_t i = 0; i < menu->items.size(); ++i) {
    const MenuItemRec& r = menu->items[i];
    if (!(r.flags & MF_POPUP) && !(r.flags & MF_SEPARATOR) && r.id == item) return {menu, static_cast<int>(i)};
  }
  for (const MenuItemRec& r : menu->items)
    if (r.flags & MF_POPUP) {
      Found f = FindItem(r.popup, item, flags);
      if (f.menu) return f;
    }
  return {};
}

MenuItemRec MakeItem(UINT flags, UINT_PTR idOrPopup, LPCSTR text) {
  MenuItemRec r;
  r.flags = flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_POPUP | MF_SEPARATOR);
  if (flags & MF_POPUP) {
    r.popup = reinterpret_cast<HMENU>(idOrPopup);
  } else {
    r.id = static_cast<UINT>(idOrPopup & 0xFFFF);
  }
  if (text && !(flags & MF_SEPARATOR)) r.text = text;
  return r;
}

// Popups inside the tree, so a popup is never hung under itself.
bool Contains(HMENU tree, HMENU menu) {
  if (tree == menu) return true;
  for (const MenuItemRec& r : tree->items)
    if ((r.flags & MF_POPUP) && IsMenu(r.popup) && Contains(r.popup, menu)) return true;
  return false;
}

void FillQtMenu(QMenu* qm, HMENU menu, HWND hwnd);

QMenuBar* BarOf(HWND hwnd) {
  if (!IsWindow(hwnd) || !hwnd->widget) return nullptr;
  return hwnd->widget->findChild<QMenuBar*>(QStringLiteral("vtMenuBar"), Qt::FindDirectChildrenOnly);
}

// A backspace before the key hint right-aligns it, as a tab does.
QString ItemText(const std::string& text) {
  QString t = vt_ui::FromProgramText(text);
  t.replace(QLatin1Char('\b'), QLatin1Char('\t'));
  return t;
}

QAction* CommandAction(QObject* parent, const MenuItemRec& r, HWND hwnd) {
  auto* a = new QAction(ItemText(r.text), parent);
  a->setProperty("vtId", r.id);
  a->setEnabled(!(r.flags & (MF_GRAYED | MF_DISABLED)));
  if (r.flags & MF_CHECKED) {
    a->setCheckable(true);
    a->setChecked(true);
  }
  UINT id = r.id;
  QObject::connect(a, &QAction::triggered, [hwnd, id]() {
    if (IsWindow(hwnd)) PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0);
  });
  return a;
}

// A popup under a bar or another popup: its window hears of it and it is filled when it opens.
QMenu* PopupMenu(QWidget* parent, const MenuItemRec& r, int index, HWND hwnd) {
  auto* qm = new QMenu(vt_ui::FromProgramText(r.text), parent);
  qm->setEnabled(!(r.flags & (MF_GRAYED | MF_DISABLED)));
  HMENU sub = r.popup;
  QObject::connect(qm, &QMenu::aboutToShow, qm, [qm, sub, index, hwnd]() {
    if (!IsMenu(sub) || !IsWindow(hwnd)) return;
    SendMessageA(hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(sub), MAKELPARAM(static_cast<WORD>(index), 0));
    if (IsMenu(sub)) FillQtMenu(qm, sub, hwnd);
  });
  // Until it opens the first time it still holds its items, so it can be inspected.
  FillQtMenu(qm, sub, hwnd);
  return qm;
}

void FillQtMenu(QMenu* qm, HMENU menu, HWND hwnd) {
  qm->clear();
  for (QObject* child : qm->children())
    if (auto* old = qobject_cast<QMenu*>(child)) old->deleteLater();
  for (size_t i = 0; i < menu->items.size(); ++i) {
    const MenuItemRec& r = menu->items[i];
    if (r.flags & MF_SEPARATOR) {
      qm->addSeparator();
    } else if (r.flags & MF_POPUP) {
      if (IsMenu(r.popup)) qm->addMenu(PopupMenu(qm, r, static_cast<int>(i), hwnd));
    } else {
      qm->addAction(CommandAction(qm, r, hwnd));
    }
  }
}

// Keeps the bar across the top of the window as the window changes size.
class BarSizer : public QObject {
 public:
  explicit BarSizer(QMenuBar* bar) : QObject(bar), bar_(bar) {}
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() == QEvent::Resize) Place();
    return QObject::eventFilter(watched, e);
  }
  void Place() {
    QWidget* host = bar_->parentWidget();
    if (host) bar_->setGeometry(0, 0, host->width(), bar_->sizeHint().height());
  }

 private:
  QMenuBar* bar_;
};

void RebuildBar(HWND hwnd) {
  HMENU menu = GetMenu(hwnd);
  QMenuBar* bar = BarOf(hwnd);
  if (menu == nullptr) {
    if (bar) bar->deleteLater();
    if (bar) bar->setObjectName(QString());
    return;
  }
  if (bar == nullptr) {
    bar = new QMenuBar(hwnd->widget);
    bar->setObjectName(QStringLiteral("vtMenuBar"));
    bar->setNativeMenuBar(false);
    auto* sizer = new BarSizer(bar);
    hwnd->widget->installEventFilter(sizer);
  }
  bar->clear();
  for (QObject* child : bar->children())
    if (auto* old = qobject_cast<QMenu*>(child)) old->deleteLater();
  for (size_t i = 0; i < menu->items.size(); ++i) {
    const MenuItemRec& r = menu->items[i];
    if (r.flags & MF_SEPARATOR) continue;
    if (r.flags & MF_POPUP) {
      if (IsMenu(r.popup)) bar->addMenu(PopupMenu(bar, r, static_cast<int>(i), hwnd));
    } else {
      bar->addAction(CommandAction(bar, r, hwnd));
    }
  }
  for (QObject* f : bar->children())
    if (auto* sizer = dynamic_cast<BarSizer*>(f)) sizer->Place();
  bar->show();
}

HMENU NewMenu(bool popup) {
  auto* m = new HMENU__;
  m->isPopup = popup;
  g_menus.insert(m);
  return m;
}

// Menus are few and live with their windows, so a window's menu is looked up by scan.
HMENU MenuOfWindow(HWND hwnd) {
  for (HMENU m : g_menus)
    if (m->window == hwnd) return m;
  return nullptr;
}
}  // namespace

HMENU CreateMenu() { return NewMenu(false); }
HMENU CreatePopupMenu() { return NewMenu(true); }
BOOL IsMenu(HMENU menu) { return menu != nullptr && g_menus.count(menu) != 0; }

BOOL DestroyMenu(HMENU menu) {
  if (!IsMenu(menu)) return FALSE;
  HWND window = menu->window;
  std::vector<HMENU> popups;
  for (const MenuItemRec& r : menu->items)
    if (r.flags & MF_POPUP) popups.push_back(r.popup);
  g_menus.erase(menu);
  delete menu;
  for (HMENU p : popups) DestroyMenu(p);
  if (window) RebuildBar(window);
  return TRUE;
}

BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR idOrPopup, LPCSTR text) {
  if (!IsMenu(menu)) return FALSE;
  if (flags & MF_POPUP) {
    HMENU sub = reinterpret_cast<HMENU>(idOrPopup);
    if (!IsMenu(sub) || Contains(sub, menu)) return FALSE;
  }
  menu->items.push_back(MakeItem(flags, idOrPopup, text));
  return TRUE;
}

BOOL InsertMenuA(HMENU menu, UINT position, UINT flags, UINT_PTR idOrPopup, LPCSTR text) {
  if (!IsMenu(menu) || (flags & MF_POPUP)) return FALSE;
  // Only by position; a position past the end appends, as Win32 does.
  const size_t at = position < menu->items.size() ? position : menu->items.size();
  menu->items.insert(menu->items.begin() + static_cast<long>(at), MakeItem(flags & ~MF_BYPOSITION, idOrPopup, text));
  return TRUE;
}

BOOL ModifyMenuA(HMENU menu, UINT item, UINT flags, UINT_PTR idOrPopup, LPCSTR text) {
  Found f = FindItem(menu, item, flags);
  if (f.menu == nullptr) return FALSE;
  if (flags & MF_POPUP) {
    HMENU sub = reinterpret_cast<HMENU>(idOrPopup);
    if (!IsMenu(sub) || Contains(sub, f.menu)) return FALSE;
  }
  f.menu->items[static_cast<size_t>(f.pos)] = MakeItem(flags, idOrPopup, text);
  return TRUE;
}

BOOL DeleteMenu(HMENU menu, UINT item, UINT flags) {
  Found f = FindItem(menu, item, flags);
  if (f.menu == nullptr) return FALSE;
  MenuItemRec r = f.menu->items[static_cast<size_t>(f.pos)];
  f.menu->items.erase(f.menu->items.begin() + f.pos);
  if (r.flags & MF_POPUP) DestroyMenu(r.popup);
  return TRUE;
}

int GetMenuItemCount(HMENU menu) { return IsMenu(menu) ? static_cast<int>(menu->items.size()) : -1; }

UINT GetMenuItemID(HMENU menu, int position) {
  if (!IsMenu(menu) || position < 0 || static_cast<size_t>(position) >= menu->items.size()) return kMenuItemMissing;
  const MenuItemRec& r = menu->items[static_cast<size_t>(position)];
  if (r.flags & MF_POPUP) return kMenuItemMissing;
  return (r.flags & MF_SEPARATOR) ? 0 : r.id;
}

HMENU GetSubMenu(HMENU menu, int position) {
  if (!IsMenu(menu) || position < 0 || static_cast<size_t>(position) >= menu->items.size()) return nullptr;
  const MenuItemRec& r = menu->items[static_cast<size_t>(position)];
  return (r.flags & MF_POPUP) ? r.popup : nullptr;
}

UINT EnableMenuItem(HMENU menu, UINT item, UINT flags) {
  Found f = FindItem(menu, item, flags);
  if (f.menu == nullptr) return kMenuItemMissing;
  MenuItemRec& r = f.menu->items[static_cast<size_t>(f.pos)];
  UINT old = r.flags & (MF_GRAYED | MF_DISABLED);
  r.flags = (r.flags & ~static_cast<UINT>(MF_GRAYED | MF_DISABLED)) | (flags & (MF_GRAYED | MF_DISABLED));
  return old;
}

DWORD CheckMenuItem(HMENU menu, UINT item, UINT flags) {
  Found f = FindItem(menu, item, flags);
  if (f.menu == nullptr) return kMenuItemMissing;
  MenuItemRec& r = f.menu->items[static_cast<size_t>(f.pos)];
  DWORD old = r.flags & MF_CHECKED;
  r.flags = (r.flags & ~static_cast<UINT>(MF_CHECKED)) | (flags & MF_CHECKED);
  return old;
}

UINT GetMenuState(HMENU menu, UINT item, UINT flags) {
  Found f = FindItem(menu, item, flags);
  if (f.menu == nullptr) return kMenuItemMissing;
  const MenuItemRec& r = f.menu->items[static_cast<size_t>(f.pos)];
  if ((r.flags & MF_POPUP) && IsMenu(r.popup))
    return (static_cast<UINT>(r.popup->items.size() & 0xFF) << 8) | (r.flags & 0xFF);
  return r.flags;
}

int GetMenuStringA(HMENU menu, UINT item, LPSTR buffer, int size, UINT flags) {
  Found f = FindItem(menu, item, flags);
  if (f.menu == nullptr) return 0;
  const std::string& t = f.menu->items[static_cast<size_t>(f.pos)].text;
  if (buffer == nullptr || size <= 0) return static_cast<int>(t.size());
  size_t n = std::min(t.size(), static_cast<size_t>(size - 1));
  std::memcpy(buffer, t.data(), n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

BOOL SetMenu(HWND hwnd, HMENU menu) {
  if (!IsWindow(hwnd) || (hwnd->style & WS_CHILD)) return FALSE;
  if (menu != nullptr && (!IsMenu(menu) || menu->isPopup)) return FALSE;
  if (menu != nullptr && menu->window != nullptr && menu->window != hwnd) return FALSE;
  if (HMENU old = MenuOfWindow(hwnd)) old->window = nullptr;
  if (menu) {
    menu->window = hwnd;
    // A window's menu goes with the window.
    QObject::connect(hwnd->widget.data(), &QObject::destroyed, [menu, hwnd]() {
      if (IsMenu(menu) && menu->window == hwnd) {
        menu->window = nullptr;
        DestroyMenu(menu);
      }
    });
  }
  RebuildBar(hwnd);
  return TRUE;
}

HMENU GetMenu(HWND hwnd) { return IsWindow(hwnd) ? MenuOfWindow(hwnd) : nullptr; }

BOOL DrawMenuBar(HWND hwnd) {
  if (GetMenu(hwnd) == nullptr) return FALSE;
  RebuildBar(hwnd);
  return TRUE;
}

int GetMenuBarHeight(HWND hwnd) {
  QMenuBar* bar = BarOf(hwnd);
  return bar ? bar->sizeHint().height() : 0;
}

HMENU LoadMenuA(HINSTANCE, LPCSTR name) {
  if (name == nullptr) return nullptr;
  int id = -1;
  if (IS_INTRESOURCE(name)) {
    id = static_cast<int>(reinterpret_cast<uintptr_t>(name));
  } else if (name[0] == '#') {
    id = std::atoi(name + 1);
  } else {
    char* end = nullptr;
    long v = std::strtol(name, &end, 10);
    if (end != name && *end == '\0') id = static_cast<int>(v);
  }
  const vt_res::MenuTemplateData* t = nullptr;
  for (unsigned i = 0; i < vt_res::kMenuCount; ++i)
    if (vt_res::kMenuTable[i].id == id && id >= 0) t = &vt_res::kMenuTable[i];
  if (t == nullptr) return nullptr;
  HMENU bar = CreateMenu();
  // stack[level] is the menu that receives items of that level.
  std::vector<HMENU> stack{bar};
  for (int i = 0; i < t->itemCount; ++i) {
    const vt_res::MenuItemData& d = t->items[i];
    if (d.level < 0 || static_cast<size_t>(d.level) >= stack.size()) continue;  // malformed: skip
    stack.resize(static_cast<size_t>(d.level) + 1);
    HMENU into = stack.back();
    if (d.flags & MF_POPUP) {
      HMENU sub = CreatePopupMenu();
      AppendMenuA(into, d.flags, reinterpret_cast<UINT_PTR>(sub), d.text);
      stack.push_back(sub);
    } else {
      AppendMenuA(into, d.flags, static_cast<UINT_PTR>(d.id), d.text);
    }
  }
  return bar;
}

namespace {
std::function<UINT(HMENU, int, int)> g_trackHook;
}

void SetTrackPopupMenuHook(std::function<UINT(HMENU menu, int x, int y)> hook) { g_trackHook = std::move(hook); }

BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*) {
  if (!IsMenu(menu)) return FALSE;
  if (IsWindow(owner)) SendMessageA(owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), 0);
  if (!IsMenu(menu)) return FALSE;
  UINT chosen = 0;
  if (g_trackHook) {
    chosen = g_trackHook(menu, x, y);
    // A disabled item cannot be chosen.
    UINT state = chosen ? GetMenuState(menu, chosen, MF_BYCOMMAND) : kMenuItemMissing;
    if (state == kMenuItemMissing || (state & (MF_GRAYED | MF_DISABLED))) chosen = 0;
    if (chosen && !(flags & TPM_RETURNCMD) && IsWindow(owner))
      PostMessageA(owner, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(chosen), 0), 0);
  } else {
    QMenu qm;
    FillQtMenu(&qm, menu, (flags & TPM_RETURNCMD) ? nullptr : owner);
    if (QAction* a = qm.exec(QPoint(x, y))) chosen = a->property("vtId").toUInt();
  }
  return (flags & TPM_RETURNCMD) ? static_cast<BOOL>(chosen) : TRUE;
}

BOOL SaveMenuPicture(HMENU menu, const char* pngPath) {
  if (!IsMenu(menu) || pngPath == nullptr) return FALSE;
  QMenu qm;
  FillQtMenu(&qm, menu, nullptr);
  qm.ensurePolished();
  qm.adjustSize();
  QPixmap shot = qm.grab();
  if (shot.isNull()) return FALSE;
  return shot.save(QString::fromLocal8Bit(pngPath), "PNG") ? TRUE : FALSE;
}
