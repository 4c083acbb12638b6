// Windows, window classes, window procedures and the message queue, hosted by
// Qt widgets. Message numbers, styles and calls are the Win32 ones, so window
// and dialog procedures read as they would on Windows.
#pragma once

#include "platform/win/win_types.h"

struct HWND__;
using HWND = HWND__*;
struct HMENU__;
using HMENU = HMENU__*;
struct HICON__;
using HICON = HICON__*;
using HCURSOR = HICON;
struct HGDIOBJ__;
using HGDIOBJ = HGDIOBJ__*;
using HBRUSH = HGDIOBJ;
using HFONT = HGDIOBJ;
using HPEN = HGDIOBJ;
using HBITMAP = HGDIOBJ;
struct HDC__;
using HDC = HDC__*;

using INT_PTR = intptr_t;
using UINT_PTR = uintptr_t;
using LONG_PTR = intptr_t;
using ULONG_PTR = uintptr_t;
using DWORD_PTR = uintptr_t;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

struct POINT {
  LONG x;
  LONG y;
};
struct SIZE {
  LONG cx;
  LONG cy;
};
struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};
using LPRECT = RECT*;

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};

struct WNDCLASSA {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
};

struct CREATESTRUCTA {
  LPVOID lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  LPCSTR lpszName;
  LPCSTR lpszClass;
  DWORD dwExStyle;
};

struct HELPINFO {
  UINT cbSize;
  int iContextType;
  int iCtrlId;
  HANDLE hItemHandle;
  DWORD_PTR dwContextId;
  POINT MousePos;
};
constexpr int HELPINFO_WINDOW = 1;

inline LPCSTR MAKEINTRESOURCEA(uintptr_t id) { return reinterpret_cast<LPCSTR>(id); }
inline bool IS_INTRESOURCE(LPCSTR p) { return (reinterpret_cast<uintptr_t>(p) >> 16) == 0; }
inline WPARAM MAKEWPARAM(WORD lo, WORD hi) { return MAKELONG(lo, hi); }
inline LPARAM MAKELPARAM(WORD lo, WORD hi) { return static_cast<LPARAM>(MAKELONG(lo, hi)); }
inline short GET_X_LPARAM(LPARAM l) { return static_cast<short>(LOWORD(static_cast<uintptr_t>(l))); }
inline short GET_Y_LPARAM(LPARAM l) { return static_cast<short>(HIWORD(static_cast<uintptr_t>(l))); }

// Messages.
enum : UINT {
  WM_NULL = 0x0000, WM_CREATE = 0x0001, WM_DESTROY = 0x0002, WM_MOVE = 0x0003, WM_SIZE = 0x0005,
  WM_ACTIVATE = 0x0006, WM_SETFOCUS = 0x0007, WM_KILLFOCUS = 0x0008, WM_ENABLE = 0x000A,
  WM_SETTEXT = 0x000C, WM_GETTEXT = 0x000D, WM_GETTEXTLENGTH = 0x000E, WM_PAINT = 0x000F,
  WM_CLOSE = 0x0010, WM_QUIT = 0x0012, WM_ERASEBKGND = 0x0014, WM_SHOWWINDOW = 0x0018,
  WM_WININICHANGE = 0x001A,
  WM_SETFONT = 0x0030, WM_GETFONT = 0x0031, WM_COPY = 0x0301, WM_PASTE = 0x0302, WM_HELP = 0x0053, WM_CONTEXTMENU = 0x007B,
  WM_NCCREATE = 0x0081, WM_NCDESTROY = 0x0082, WM_GETDLGCODE = 0x0087,
  WM_KEYDOWN = 0x0100, WM_KEYUP = 0x0101, WM_CHAR = 0x0102, WM_SYSKEYDOWN = 0x0104,
  WM_INITDIALOG = 0x0110, WM_COMMAND = 0x0111, WM_SYSCOMMAND = 0x0112, WM_TIMER = 0x0113,
  WM_HSCROLL = 0x0114, WM_VSCROLL = 0x0115,
  WM_CTLCOLORSTATIC = 0x0138,
  WM_MOUSEMOVE = 0x0200, WM_LBUTTONDOWN = 0x0201, WM_LBUTTONUP = 0x0202, WM_LBUTTONDBLCLK = 0x0203,
  WM_MOUSEWHEEL = 0x020A, WM_SETCURSOR = 0x0020, WM_CTLCOLOREDIT = 0x0133,
  WM_QUERYENDSESSION = 0x0011, WM_ENDSESSION = 0x0016, WM_SYSCOLORCHANGE = 0x0015, WM_SETTINGCHANGE = 0x001A,
  WM_ACTIVATEAPP = 0x001C, WM_FONTCHANGE = 0x001D, WM_QUERYNEWPALETTE = 0x030F, WM_PALETTECHANGED = 0x0311,
  WM_RBUTTONDOWN = 0x0204, WM_RBUTTONUP = 0x0205,
  WM_USER = 0x0400
};

// Window styles.
enum : DWORD {
  WS_OVERLAPPED = 0x00000000, WS_POPUP = 0x80000000, WS_CHILD = 0x40000000, WS_MINIMIZE = 0x20000000,
  WS_VISIBLE = 0x10000000, WS_DISABLED = 0x08000000, WS_CLIPSIBLINGS = 0x04000000,
  WS_CLIPCHILDREN = 0x02000000, WS_MAXIMIZE = 0x01000000, WS_CAPTION = 0x00C00000,
  WS_BORDER = 0x00800000, WS_DLGFRAME = 0x00400000, WS_VSCROLL = 0x00200000, WS_HSCROLL = 0x00100000,
  WS_SYSMENU = 0x00080000, WS_THICKFRAME = 0x00040000, WS_GROUP = 0x00020000, WS_TABSTOP = 0x00010000,
  WS_MINIMIZEBOX = 0x00020000, WS_MAXIMIZEBOX = 0x00010000,
  WS_OVERLAPPEDWINDOW = 0x00CF0000,
  WS_EX_DLGMODALFRAME = 0x00000001, WS_EX_CLIENTEDGE = 0x00000200
};

// Window long indices.
enum : int {
  GWLP_WNDPROC = -4, GWL_WNDPROC = -4, GWLP_HINSTANCE = -6, GWLP_HWNDPARENT = -8, GWL_STYLE = -16,
  GWL_EXSTYLE = -20, GWLP_USERDATA = -21, GWL_USERDATA = -21, GWLP_ID = -12, GWL_ID = -12,
  DWLP_MSGRESULT = 0, DWLP_DLGPROC = 8, DWLP_USER = 16
};

// ShowWindow, SetWindowPos, GetAncestor, GetWindow.
enum : int {
  SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_NORMAL = 1, SW_SHOWMINIMIZED = 2, SW_SHOWMAXIMIZED = 3,
  SW_SHOWNOACTIVATE = 4, SW_SHOW = 5, SW_MINIMIZE = 6, SW_RESTORE = 9
};
enum : UINT {
  SWP_NOSIZE = 0x0001, SWP_NOMOVE = 0x0002, SWP_NOZORDER = 0x0004, SWP_NOREDRAW = 0x0008,
  SWP_NOACTIVATE = 0x0010, SWP_SHOWWINDOW = 0x0040, SWP_HIDEWINDOW = 0x0080
};
enum : UINT { GA_PARENT = 1, GA_ROOT = 2, GA_ROOTOWNER = 3 };

// Message-queue calls.
enum : UINT { PM_NOREMOVE = 0, PM_REMOVE = 1 };

// Virtual keys.
enum : int {
  VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10, VK_CONTROL = 0x11, VK_MENU = 0x12,
  VK_ESCAPE = 0x1B, VK_SPACE = 0x20, VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23, VK_HOME = 0x24,
  VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28, VK_INSERT = 0x2D, VK_DELETE = 0x2E,
  VK_F1 = 0x70, VK_F2 = 0x71, VK_F3 = 0x72
};

// Standard command ids.
enum : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

// The class name of dialog windows.
constexpr const char* kDialogClassName = "#32770";

// --- Window classes and windows ---
ATOM RegisterClassA(const WNDCLASSA* wc);
BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance);
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menuOrId, HINSTANCE instance, LPVOID param);
inline HWND CreateWindowA(LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                          int height, HWND parent, HMENU menuOrId, HINSTANCE instance, LPVOID param) {
  return CreateWindowExA(0, className, windowName, style, x, y, width, height, parent, menuOrId, instance, param);
}
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LONG_PTR GetWindowLongPtrA(HWND hwnd, int index);
LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value);
// The 32-bit forms serve the non-pointer indices; a window procedure needs the Ptr forms.
LONG GetWindowLongA(HWND hwnd, int index);
LONG SetWindowLongA(HWND hwnd, int index, LONG value);
int GetClassNameA(HWND hwnd, LPSTR buffer, int size);

HWND GetParent(HWND hwnd);
HWND GetAncestor(HWND hwnd, UINT flags);
HWND GetDesktopWindow();
HWND GetActiveWindow();
HWND SetActiveWindow(HWND hwnd);
HWND GetFocus();
HWND SetFocus(HWND hwnd);
BOOL IsChild(HWND parent, HWND hwnd);
BOOL EnableWindow(HWND hwnd, BOOL enable);
BOOL IsWindowEnabled(HWND hwnd);
BOOL ShowWindow(HWND hwnd, int command);
BOOL IsWindowVisible(HWND hwnd);
BOOL IsIconic(HWND hwnd);
BOOL SetWindowTextA(HWND hwnd, LPCSTR text);
int GetWindowTextA(HWND hwnd, LPSTR buffer, int size);
int GetWindowTextLengthA(HWND hwnd);

// --- Geometry: window rectangles in screen coordinates, client rectangles from 0,0 ---
BOOL GetWindowRect(HWND hwnd, RECT* rect);
BOOL GetClientRect(HWND hwnd, RECT* rect);
BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint);
BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL ScreenToClient(HWND hwnd, POINT* pt);
BOOL ClientToScreen(HWND hwnd, POINT* pt);
BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase);
BOOL UpdateWindow(HWND hwnd);
BOOL PtInRect(const RECT* rect, POINT pt);
BOOL SetRect(RECT* rect, int left, int top, int right, int bottom);

// --- Messages ---
LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// hwnd 0 posts a thread message, which only GetMessageA/PeekMessageA see.
BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
// Posted messages are dispatched by Qt's event loop unless a GetMessageA or
// PeekMessageA loop is taking them itself.
BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax);
BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags);
LRESULT DispatchMessageA(const MSG* msg);
BOOL TranslateMessage(const MSG* msg);

// --- Timers: WM_TIMER arrives through the queue, at most one pending per timer ---
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc);
BOOL KillTimer(HWND hwnd, UINT_PTR id);

// The key state as of the input event being handled: negative when held.
SHORT GetKeyState(int virtKey);
// The key state at this moment (only Shift, Ctrl and Alt are known): negative when held.
SHORT GetAsyncKeyState(int virtKey);
