// Window placement of top-level windows: the normal-position rectangle and the
// show state (normal, minimised, maximised), and the Win32 messages for a
// window the user moves, sizes, maximises or minimises with the window manager.
#pragma once

#include "platform/win/window.h"

struct WINDOWPLACEMENT {
  UINT length;
  UINT flags;
  UINT showCmd;
  POINT ptMinPosition;
  POINT ptMaxPosition;
  RECT rcNormalPosition;
};
enum : int { SW_SHOWMINNOACTIVE = 7, SW_MAXIMIZE = 3 };
constexpr DWORD WS_EX_TOPMOST = 0x00000008;
enum : WPARAM { SIZE_RESTORED = 0, SIZE_MINIMIZED = 1, SIZE_MAXIMIZED = 2 };

// showCmd is SW_SHOWNORMAL, SW_SHOWMINIMIZED or SW_SHOWMAXIMIZED; the normal
// rectangle is the one the window has when neither minimised nor maximised.
BOOL GetWindowPlacement(HWND hwnd, WINDOWPLACEMENT* placement);
// Moves the window to the normal rectangle, then shows it with showCmd
// (SW_HIDE leaves it hidden).
BOOL SetWindowPlacement(HWND hwnd, const WINDOWPLACEMENT* placement);
BOOL IsZoomed(HWND hwnd);
// A top-level window created hidden takes the look its styles ask for before
// it first shows: a popup without a caption has no frame from the window
// manager, WS_EX_TOPMOST keeps it above the other windows.
void ApplyTopLevelStyles(HWND hwnd);
// From now on the window's rectangle follows what the window manager does to
// it, with WM_SIZE and WM_MOVE, as a Win32 window's does.
void TrackWindowGeometry(HWND hwnd);
