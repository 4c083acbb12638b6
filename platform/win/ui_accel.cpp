// Accelerators over Qt: an application event filter offers the key presses of
// a registered window tree to its filter before any window sees them.
#include "platform/win/accel.h"

#include "platform/win/menu.h"
#include "platform/win/ui_internal.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>

#include <algorithm>
#include <map>
#include <strings.h>
#include <unordered_set>
#include <vector>

struct HACCEL__ {
  std::vector<ACCEL> entries;
};

namespace {
std::unordered_set<HACCEL> g_tables;
std::map<HWND, std::function<BOOL(MSG*)>> g_filters;

bool Held(int vk) { return GetKeyState(vk) < 0; }

// The popup holding the command, searched through the menu's popups.
HMENU PopupHolding(HMENU menu, UINT cmd) {
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    if (GetMenuItemID(menu, i) == cmd) return menu;
    if (HMENU sub = GetSubMenu(menu, i))
      if (HMENU found = PopupHolding(sub, cmd)) return found;
  }
  return nullptr;
}

class KeyFilter : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* e) override {
    // A key no window takes travels on to the parents and is offered again:
    // the answer is the same, since the filters look at the key alone.
    if (e->type() != QEvent::KeyPress || g_filters.empty()) return QObject::eventFilter(watched, e);
    auto* w = qobject_cast<QWidget*>(watched);
    // While the user moves through the menu bar its keys are the menu's (Esc
    // leaves it), as no accelerator works in a menu.
    if (auto* bar = qobject_cast<QMenuBar*>(w); bar != nullptr && bar->activeAction() != nullptr) return false;
    HWND h = w ? vt_ui::FromWidget(w) : nullptr;
    if (h == nullptr) return false;
    auto it = g_filters.find(GetAncestor(h, GA_ROOT));
    if (it == g_filters.end()) return false;
    auto* ke = static_cast<QKeyEvent*>(e);
    vt_ui::NoteModifiers(ke->modifiers());
    int vk = vt_ui::VirtualKey(ke);
    if (vk == 0) return false;
    MSG msg{h, static_cast<UINT>((ke->modifiers() & Qt::AltModifier) ? WM_SYSKEYDOWN : WM_KEYDOWN),
            static_cast<WPARAM>(vk), 1, 0, {0, 0}};
    std::function<BOOL(MSG*)> filter = it->second;  // the filter may replace itself
    return filter(&msg) != 0;
  }
};

void EnsureKeyFilter() {
  static KeyFilter* filter = nullptr;
  if (filter == nullptr && qApp != nullptr) {
    filter = new KeyFilter;
    qApp->installEventFilter(filter);
  }
}
}  // namespace

HACCEL CreateAcceleratorTableA(const ACCEL* entries, int count) {
  if (entries == nullptr || count <= 0) return nullptr;
  auto* t = new HACCEL__;
  t->entries.assign(entries, entries + count);
  g_tables.insert(t);
  return t;
}

BOOL DestroyAcceleratorTable(HACCEL table) {
  if (g_tables.erase(table) == 0) return FALSE;
  delete table;
  return TRUE;
}

HACCEL LoadAcceleratorsA(HINSTANCE, LPCSTR name) {
  if (name == nullptr || IS_INTRESOURCE(name)) return nullptr;
  for (unsigned i = 0; i < vt_res::kAccelCount; ++i) {
    const vt_res::AccelTableData& d = vt_res::kAccelTable[i];
    if (d.name == nullptr || strcasecmp(d.name, name) != 0) continue;
    std::vector<ACCEL> entries;
    for (int k = 0; k < d.itemCount; ++k) entries.push_back(ACCEL{d.items[k].flags, d.items[k].key, d.items[k].cmd});
    return CreateAcceleratorTableA(entries.data(), static_cast<int>(entries.size()));
  }
  return nullptr;
}

int CopyAcceleratorTableA(HACCEL table, ACCEL* out, int count) {
  if (g_tables.count(table) == 0) return 0;
  int n = static_cast<int>(table->entries.size());
  if (out == nullptr) return n;
  int copied = std::min(n, count);
  for (int i = 0; i < copied; ++i) out[i] = table->entries[static_cast<size_t>(i)];
  return copied;
}

int TranslateAcceleratorA(HWND hwnd, HACCEL table, MSG* msg) {
  if (!IsWindow(hwnd) || g_tables.count(table) == 0 || msg == nullptr) return 0;
  if (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN) return 0;
  BYTE state = static_cast<BYTE>(FVIRTKEY | (Held(VK_SHIFT) ? FSHIFT : 0) | (Held(VK_CONTROL) ? FCONTROL : 0) |
                                 (Held(VK_MENU) ? FALT : 0));
  for (const ACCEL& a : table->entries) {
    if (!(a.fVirt & FVIRTKEY) || a.key != msg->wParam) continue;
    if ((a.fVirt & (FVIRTKEY | FSHIFT | FCONTROL | FALT)) != state) continue;
    if (HMENU menu = GetMenu(hwnd)) {
      if (HMENU popup = PopupHolding(menu, a.cmd)) {
        SendMessageA(hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0);
        if (!IsWindow(hwnd)) return 1;
        if (GetMenuState(popup, a.cmd, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)) return 1;
      }
    }
    SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(a.cmd, 1), 0);
    return 1;
  }
  return 0;
}

void SetPreTranslateFilter(HWND topLevel, std::function<BOOL(MSG*)> filter) {
  if (!filter) {
    g_filters.erase(topLevel);
    return;
  }
  if (!IsWindow(topLevel)) return;
  EnsureKeyFilter();
  g_filters[topLevel] = std::move(filter);
}
