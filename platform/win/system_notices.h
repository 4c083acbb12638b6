// What the system tells a program's main window: the program becoming
// active or inactive, the desktop's fonts, colours and settings changing,
// the screen's colours to be realised again, and the session ending
// (WM_ACTIVATEAPP, WM_FONTCHANGE, WM_SYSCOLORCHANGE, WM_SETTINGCHANGE,
// WM_QUERYNEWPALETTE, WM_PALETTECHANGED, WM_QUERYENDSESSION and WM_ENDSESSION).
#pragma once

#include "platform/win/window.h"

// The top-level window that hears of them from now on (null: none).
void SetSystemNoticeWindow(HWND topLevel);
