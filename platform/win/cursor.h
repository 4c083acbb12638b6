// The mouse cursor shown over the program's windows: the arrow and the wait
// (hour-glass) cursor, as the Win32 calls name them.
#pragma once

#include "platform/win/window.h"

// Cursor ids for LoadCursorA with a null instance.
#define IDC_ARROW (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(32512)))
#define IDC_WAIT (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(32514)))

// The shared system cursor for an id; null for one the layer lacks.
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR id);
// Shows the cursor (null hides none: the arrow is shown) and returns the one
// it replaced (null when none was set yet).
HCURSOR SetCursor(HCURSOR cursor);
HCURSOR GetCursor();
