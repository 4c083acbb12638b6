// The mouse cursor shown over the program's windows: the arrow and the wait
// (hour-glass) cursor, as the Win32 calls name them.
#pragma once

#include "platform/win/window.h"

// Cursor ids for LoadCursorA with a null instance.
#define IDC_ARROW (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(32512)))
#define IDC_WAIT (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(32514)))
#define IDC_CROSS (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(32515)))
#define IDC_SIZENWSE (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(32642)))
#define IDC_SIZENESW (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(32643)))
#define IDC_SIZEWE (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(32644)))
#define IDC_SIZENS (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(32645)))
#define IDC_SIZEALL (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(32646)))

// The shared system cursor for an id; null for one the layer lacks.
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR id);
// Shows the cursor over the program's windows until another is set (null and
// the arrow give each window its own again) and returns the one it replaced
// (null when none was set yet).
HCURSOR SetCursor(HCURSOR cursor);
HCURSOR GetCursor();
