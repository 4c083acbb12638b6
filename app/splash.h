// The title (splash) window shown while the program starts, the About dialog,
// and the entries of the optional attribute library that may show its own.
#pragma once

#include "platform/win/gdi.h"
#include "platform/win/window.h"

#include <string>

class CMainFrame;

// The application's splash-enabled flag: 1 until the settings switch the
// title window off or it has been hidden once.
BOOL SplashEnabled();
void SetSplashEnabled(BOOL enabled);
// kmw.ini [Preferences] "ShowSplash" (default 1): whether the title window shows at all.
BOOL ShowSplashSetting();
// The delay of the deferred start: 3000 ms, or 100 ms when [Preferences] "Splash" is 0.
UINT SplashDelayMs();

// Shows (TRUE) or hides (FALSE) the frame's title window; nothing happens
// while the splash-enabled flag is 0, and hiding clears it.
void ShowTitleWindow(CMainFrame* frame, BOOL show);
// A font of that many points for the device context (the title's lettering).
BOOL CreateSplashFont(HDC dc, HFONT* font, int points, BOOL bold);

// The attribute library's own screens; 0 when it did not show or close one
// (this build loads no attribute library, so the program's own screens show).
int InfoShowAboutBox(HWND owner);
int InfoShowStartup();
int InfoCloseStartup();

INT_PTR AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// The About box: the attribute library's, else "DAbout" owned by the window.
void ShowAboutBox(HWND owner);

// The texts the About box and the title window show.
std::string AboutVersionLine();     // "VORTELLE Report Designer Version 1.0.09"
std::string TitleVersionText();     // "Version 1.0.09"
