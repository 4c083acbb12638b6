// The tool tip a window shows while the mouse rests on it; a window that
// paints several tools changes it as the mouse moves from one to the next.
#pragma once

#include "platform/win/window.h"

// text null or empty: no tool tip.
BOOL SetWindowToolTipA(HWND hwnd, LPCSTR text);
// The tool tip set, "" for none.
int GetWindowToolTipA(HWND hwnd, LPSTR buffer, int size);
