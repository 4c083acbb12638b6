#include "app/splash.h"

#include "app/document.h"
#include "app/main_frame.h"
#include "data/sql_literals.h"
#include "foundation/settings.h"
#include "platform/win/dialog.h"
#include "platform/win/muldiv.h"
#include "platform/win/placement.h"
#include "platform/win/profile.h"
#include "platform/win/resources.h"

#include <cstdio>
#include <cstring>

namespace {
BOOL g_splashEnabled = TRUE;
constexpr const char* kTitleClass = "KmTitleWindow";
constexpr int kTitleWidth = 480;
constexpr int kTitleHeight = 260;

// The title picture: the product's name on a dark panel, with the version
// lettering where the picture leaves room for it.
void PaintTitle(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT r{0, 0, kTitleWidth, kTitleHeight};
  HBRUSH panel = CreateSolidBrush(RGB(0x20, 0x30, 0x60));
  FillRect(dc, &r, panel);
  DeleteObject(panel);
  HBRUSH band = CreateSolidBrush(RGB(0x40, 0x60, 0xA0));
  RECT stripe{0, 150, kTitleWidth, 156};
  FillRect(dc, &stripe, band);
  DeleteObject(band);
  SetBkMode(dc, TRANSPARENT);

  HFONT big = nullptr;
  CreateSplashFont(dc, &big, 30, TRUE);
  HGDIOBJ old = SelectObject(dc, big);
  SetTextColor(dc, RGB(0xFF, 0xFF, 0xFF));
  RECT name{0, 50, kTitleWidth, 100};
  DrawTextA(dc, "VORTELLE", -1, &name, DT_CENTER | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  SelectObject(dc, old);
  DeleteObject(big);

  HFONT small = nullptr;
  CreateSplashFont(dc, &small, 12, FALSE);
  old = SelectObject(dc, small);
  RECT sub{0, 100, kTitleWidth, 130};
  std::string product = LoadResString(2);
  const char* cut = std::strstr(product.c_str(), " Version");
  std::string line = cut ? product.substr(0, static_cast<size_t>(cut - product.c_str())) : product;
  DrawTextA(dc, line.c_str(), -1, &sub, DT_CENTER | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  SelectObject(dc, old);
  DeleteObject(small);

  HFONT version = nullptr;
  CreateSplashFont(dc, &version, 14, TRUE);
  old = SelectObject(dc, version);
  SetTextColor(dc, 0xC0C0C0);
  std::string v = TitleVersionText();
  TextOutA(dc, 320, 190, v.c_str(), static_cast<int>(v.size()));
  SelectObject(dc, old);
  DeleteObject(version);
  EndPaint(hwnd, &ps);
}

LRESULT TitleWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_PAINT) {
    PaintTitle(hwnd);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

const char* RegisterTitleClass() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA wc{};
    wc.style = 0x2000;  // CS_BYTEALIGNWINDOW
    wc.lpfnWndProc = TitleWndProc;
    wc.lpszClassName = kTitleClass;
    registered = RegisterClassA(&wc) != 0;
  }
  return registered ? kTitleClass : nullptr;
}
}  // namespace

BOOL SplashEnabled() { return g_splashEnabled; }
void SetSplashEnabled(BOOL enabled) { g_splashEnabled = enabled ? TRUE : FALSE; }

BOOL ShowSplashSetting() {
  return GetPrivateProfileIntA("Preferences", "ShowSplash", 1, SettingsIniPath().c_str()) != 0;
}

UINT SplashDelayMs() {
  return GetPrivateProfileIntA("Preferences", "Splash", 1, SettingsIniPath().c_str()) == 0 ? 100u : 3000u;
}

std::string TitleVersionText() {
  char buf[64];
  std::string format = LoadResString(320);
  std::snprintf(buf, sizeof buf, format.c_str(), LoadResString(838).c_str());
  return buf;
}

std::string AboutVersionLine() { return LoadResString(2) + " " + LoadResString(838); }

void ShowTitleWindow(CMainFrame* frame, BOOL show) {
  if (!g_splashEnabled || frame == nullptr) return;
  if (!show) {
    g_splashEnabled = FALSE;  // hidden at most once
    if (InfoCloseStartup() == 0 && frame->m_pTitleWnd) {
      DestroyWindow(frame->m_pTitleWnd);
      frame->m_pTitleWnd = nullptr;
    }
    return;
  }
  if (InfoShowStartup() != 0 || frame->m_pTitleWnd) return;
  frame->m_pszTitleClass = RegisterTitleClass();
  if (frame->m_pszTitleClass == nullptr) return;
  // Centred on the desktop; topmost and disabled, owned by the frame.
  RECT desk;
  GetClientRect(GetDesktopWindow(), &desk);
  int x = (desk.right - desk.left) / 2 - kTitleWidth / 2;
  int y = (desk.bottom - desk.top) / 2 - kTitleHeight / 2;
  HWND h = CreateWindowExA(WS_EX_TOPMOST, frame->m_pszTitleClass, "", WS_POPUP | WS_DISABLED, x, y, kTitleWidth,
                           kTitleHeight, frame->GetSafeHwnd(), nullptr, nullptr, nullptr);
  if (h == nullptr) return;
  ApplyTopLevelStyles(h);
  ShowWindow(h, SW_SHOWNOACTIVATE);
  frame->m_pTitleWnd = h;
  InvalidateRect(h, nullptr, FALSE);
  UpdateWindow(h);
}

BOOL CreateSplashFont(HDC dc, HFONT* font, int points, BOOL bold) {
  if (font == nullptr) return FALSE;
  LOGFONTA lf{};
  lf.lfHeight = -MulDiv(GetDeviceCaps(dc, LOGPIXELSY), points, 72);
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  lf.lfCharSet = 0;
  lf.lfOutPrecision = 5;
  lf.lfClipPrecision = 0;
  lf.lfQuality = 1;
  lf.lfPitchAndFamily = 0x22;
  std::strcpy(lf.lfFaceName, "MS Sans Serif");
  *font = CreateFontIndirectA(&lf);
  return *font != nullptr;
}

int InfoShowAboutBox(HWND) { return 0; }
int InfoShowStartup() { return 0; }
int InfoCloseStartup() { return 0; }

INT_PTR AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    SetWindowTextA(dialog, LoadResString(834).c_str());
    CKmDoc* doc = GetActiveKmDoc();
    if (doc) doc->CenterDialogOnOwner(dialog);
    SetDlgItemTextA(dialog, 200, AboutVersionLine().c_str());
    const char* dbVersion = (doc && doc->m_pModel) ? GetDatabaseLibraryVersion(doc->m_pModel) : nullptr;
    std::string db = LoadResString(266) + " " + (dbVersion ? dbVersion : "");
    SetDlgItemTextA(dialog, 207, db.c_str());
    return TRUE;
  }
  if (message == WM_COMMAND) {
    if (LOWORD(wParam) == 300) return TRUE;
    EndDialog(dialog, 0);
    return TRUE;
  }
  return FALSE;
}

void ShowAboutBox(HWND owner) {
  if (InfoShowAboutBox(owner) != 0) return;
  CKmDoc* doc = GetActiveKmDoc();
  if (doc) doc->DoModalDialogNoParam(owner, AboutDlgProc, "DAbout");
  else DialogBoxParamA(nullptr, "DAbout", owner, AboutDlgProc, 0);
}
