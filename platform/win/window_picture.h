// Pictures of windows for people to look at (scripts/screens): the window as
// the toolkit draws it, children included, written as a PNG.
#pragma once

#include "platform/win/window.h"

// Paints pending updates first. False when the window has no surface or the
// file cannot be written.
BOOL SaveWindowPicture(HWND hwnd, const char* pngPath);
