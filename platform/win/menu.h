// Menus: menu bars and popups with the Win32 calls, shown as a Qt menu bar on
// a top-level window. Opening a popup sends WM_INITMENUPOPUP to the window
// first (so its owner can enable, check and rename items); choosing an item
// posts WM_COMMAND with the item's id.
#pragma once

#include "platform/win/window.h"

#include <functional>

enum : UINT {
  MF_STRING = 0x0000, MF_ENABLED = 0x0000, MF_UNCHECKED = 0x0000, MF_BYCOMMAND = 0x0000,
  MF_GRAYED = 0x0001, MF_DISABLED = 0x0002, MF_CHECKED = 0x0008, MF_POPUP = 0x0010,
  MF_BYPOSITION = 0x0400, MF_SEPARATOR = 0x0800
};
enum : UINT { WM_INITMENU = 0x0116, WM_INITMENUPOPUP = 0x0117 };
constexpr UINT kMenuItemMissing = 0xFFFFFFFFu;

HMENU CreateMenu();
HMENU CreatePopupMenu();
// Destroys the menu and its popups; a menu set on a window leaves it first.
BOOL DestroyMenu(HMENU menu);
BOOL IsMenu(HMENU menu);
// Appends an item; with MF_POPUP, idOrPopup is the popup's handle.
BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR idOrPopup, LPCSTR text);
// Inserts an item before position (MF_BYPOSITION; popups are not inserted).
BOOL InsertMenuA(HMENU menu, UINT position, UINT flags, UINT_PTR idOrPopup, LPCSTR text);
// Replaces an item's flags, id and text (found by command or by position).
BOOL ModifyMenuA(HMENU menu, UINT item, UINT flags, UINT_PTR idOrPopup, LPCSTR text);
BOOL DeleteMenu(HMENU menu, UINT item, UINT flags);
int GetMenuItemCount(HMENU menu);
UINT GetMenuItemID(HMENU menu, int position);  // kMenuItemMissing for popups and bad positions
HMENU GetSubMenu(HMENU menu, int position);
// The previous enable state (MF_GRAYED | MF_DISABLED bits), or kMenuItemMissing.
UINT EnableMenuItem(HMENU menu, UINT item, UINT flags);
// The previous check state (MF_CHECKED or 0), or kMenuItemMissing.
DWORD CheckMenuItem(HMENU menu, UINT item, UINT flags);
// The item's flags, or kMenuItemMissing; items are found in popups too.
UINT GetMenuState(HMENU menu, UINT item, UINT flags);
int GetMenuStringA(HMENU menu, UINT item, LPSTR buffer, int size, UINT flags);

// Popup menus at screen x, y: the owner gets WM_INITMENUPOPUP first, then
// WM_COMMAND with the chosen item (TPM_RETURNCMD: the id is the answer).
enum : UINT { TPM_LEFTALIGN = 0x0000, TPM_RIGHTBUTTON = 0x0002, TPM_RETURNCMD = 0x0100 };
BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND owner, const RECT* noDismiss);
// Stands in for the user while set: it sees the menu as it would open and
// answers the chosen id (0: none), so no menu runs its own loop.
void SetTrackPopupMenuHook(std::function<UINT(HMENU menu, int x, int y)> hook);
// The popup as it would show, written as a PNG.
BOOL SaveMenuPicture(HMENU menu, const char* pngPath);

// The window's menu bar; a window shows at most one. SetMenu with null removes it.
BOOL SetMenu(HWND hwnd, HMENU menu);
HMENU GetMenu(HWND hwnd);
BOOL DrawMenuBar(HWND hwnd);
// Height in pixels of the menu bar across the top of the window's client area
// (0 without one); the window lays its children out below it.
int GetMenuBarHeight(HWND hwnd);

// A menu from the compiled resources (res/dialogs): by number
// (MAKEINTRESOURCEA) or by name; null when there is none.
HMENU LoadMenuA(HINSTANCE instance, LPCSTR name);

namespace vt_res {
// One item of a compiled menu, in order; level 0 items are the bar's.
struct MenuItemData {
  int level;
  UINT flags;  // MF_POPUP, MF_SEPARATOR, MF_GRAYED, MF_CHECKED
  int id;
  const char* text;  // Windows-1252
};
struct MenuTemplateData {
  int id;
  int itemCount;
  const MenuItemData* items;
};
extern const MenuTemplateData kMenuTable[];
extern const unsigned kMenuCount;
}  // namespace vt_res
