// Pictures of windows for people to look at (scripts/screens): the window as
// the toolkit draws it, children included, written as a PNG.
#pragma once

#include "platform/win/window.h"

// Paints pending updates first. False when the window has no surface or the
// file cannot be written.
BOOL SaveWindowPicture(HWND hwnd, const char* pngPath);
// The window with the tool tip it shows while the mouse rests at client point
// (x, y), the tip drawn where it stands. False when no tip comes up there.
BOOL SaveWindowPictureWithToolTip(HWND hwnd, int x, int y, const char* pngPath);
