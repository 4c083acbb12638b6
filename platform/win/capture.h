// Mouse capture: while a window holds it, it gets every mouse message.
#pragma once

#include "platform/win/window.h"

// Returns the window that held the capture before (null when none).
HWND SetCapture(HWND hwnd);
BOOL ReleaseCapture();
HWND GetCapture();
