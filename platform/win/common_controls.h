// The spin (up-down) and track bar controls of dialogs: their class names,
// messages, styles and the notification a spin sends before it moves.
#pragma once

#include "platform/win/window.h"

constexpr const char* kUpDownClassName = "msctls_updown32";
constexpr const char* kTrackBarClassName = "msctls_trackbar32";

constexpr UINT WM_NOTIFY = 0x004E;

// The head of every WM_NOTIFY (lParam).
struct NMHDR {
  HWND hwndFrom;
  uintptr_t idFrom;
  UINT code;
};

// Spins. A click or an arrow key first sends WM_NOTIFY with UDN_DELTAPOS to
// the parent; a nonzero answer keeps the position. Then the position moves
// within the range, a buddy edit with UDS_SETBUDDYINT shows it, and the
// parent gets WM_VSCROLL (SB_THUMBPOSITION, position) from the spin.
enum : UINT {
  UDM_SETRANGE = WM_USER + 101,  // lParam MAKELONG(max, min)
  UDM_GETRANGE = WM_USER + 102,
  UDM_SETPOS = WM_USER + 103,    // lParam position; answers the old one
  UDM_GETPOS = WM_USER + 104,
  UDM_SETBUDDY = WM_USER + 105,  // wParam the buddy; answers the old one
  UDM_GETBUDDY = WM_USER + 106,
  UDM_SETRANGE32 = WM_USER + 111,  // wParam min, lParam max
  UDM_GETRANGE32 = WM_USER + 112,  // wParam, lParam: int* min and max
  UDM_SETPOS32 = WM_USER + 113,
  UDM_GETPOS32 = WM_USER + 114,
};
enum : DWORD { UDS_WRAP = 0x1, UDS_SETBUDDYINT = 0x2, UDS_ALIGNRIGHT = 0x4, UDS_AUTOBUDDY = 0x10, UDS_ARROWKEYS = 0x20 };
constexpr UINT UDN_DELTAPOS = static_cast<UINT>(-722);

struct NMUPDOWN {
  NMHDR hdr;
  int iPos;    // the position before the step
  int iDelta;  // +1 up, -1 down
};

// Track bars. The thumb moves by itself (keys, clicks, dragging) and the
// parent hears WM_HSCROLL (WM_VSCROLL with TBS_VERT) with a TB_ code and the
// control; TBM_GETPOS gives where it is.
enum : UINT {
  TBM_GETPOS = WM_USER,
  TBM_GETRANGEMIN = WM_USER + 1,
  TBM_GETRANGEMAX = WM_USER + 2,
  TBM_SETPOS = WM_USER + 5,     // wParam redraw, lParam position
  TBM_SETRANGE = WM_USER + 6,   // wParam redraw, lParam MAKELONG(min, max)
  TBM_SETTICFREQ = WM_USER + 20,
  TBM_SETPAGESIZE = WM_USER + 21,  // lParam size; answers the old one
  TBM_GETPAGESIZE = WM_USER + 22,
  TBM_SETLINESIZE = WM_USER + 23,
  TBM_GETLINESIZE = WM_USER + 24,
};
enum : DWORD { TBS_AUTOTICKS = 0x1, TBS_VERT = 0x2 };
enum : WORD {
  TB_LINEUP = 0, TB_LINEDOWN = 1, TB_PAGEUP = 2, TB_PAGEDOWN = 3, TB_THUMBPOSITION = 4, TB_THUMBTRACK = 5,
  TB_TOP = 6, TB_BOTTOM = 7, TB_ENDTRACK = 8
};
