// GDI over QPainter: device contexts of windows, memory bitmaps and metafiles,
// pens, brushes, fonts, text measuring and drawing, system metrics, colours
// and icons. The logical resolution is fixed at 96 pixels per inch.
#pragma once

#include "platform/win/window.h"

struct HMETAFILE__;
using HMETAFILE = HMETAFILE__*;

inline COLORREF RGB(BYTE r, BYTE g, BYTE b) {
  return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}
inline BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c & 0xFF); }
inline BYTE GetGValue(COLORREF c) { return static_cast<BYTE>((c >> 8) & 0xFF); }
inline BYTE GetBValue(COLORREF c) { return static_cast<BYTE>((c >> 16) & 0xFF); }

constexpr int LF_FACESIZE = 32;
struct LOGFONTA {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  CHAR lfFaceName[LF_FACESIZE];
};

struct TEXTMETRICA {
  LONG tmHeight;
  LONG tmAscent;
  LONG tmDescent;
  LONG tmInternalLeading;
  LONG tmExternalLeading;
  LONG tmAveCharWidth;
  LONG tmMaxCharWidth;
  LONG tmWeight;
  LONG tmOverhang;
  LONG tmDigitizedAspectX;
  LONG tmDigitizedAspectY;
  BYTE tmFirstChar;
  BYTE tmLastChar;
  BYTE tmDefaultChar;
  BYTE tmBreakChar;
  BYTE tmItalic;
  BYTE tmUnderlined;
  BYTE tmStruckOut;
  BYTE tmPitchAndFamily;
  BYTE tmCharSet;
};

struct PAINTSTRUCT {
  HDC hdc;
  BOOL fErase;
  RECT rcPaint;
  BOOL fRestore;
  BOOL fIncUpdate;
  BYTE rgbReserved[32];
};

enum : int {
  FW_DONTCARE = 0, FW_THIN = 100, FW_LIGHT = 300, FW_NORMAL = 400, FW_MEDIUM = 500, FW_SEMIBOLD = 600,
  FW_BOLD = 700, FW_HEAVY = 900
};
enum : BYTE { ANSI_CHARSET = 0, DEFAULT_CHARSET = 1, SYMBOL_CHARSET = 2, OEM_CHARSET = 255 };
enum : BYTE {
  DEFAULT_PITCH = 0, FIXED_PITCH = 1, VARIABLE_PITCH = 2, FF_DONTCARE = 0x00, FF_ROMAN = 0x10,
  FF_SWISS = 0x20, FF_MODERN = 0x30, FF_SCRIPT = 0x40, FF_DECORATIVE = 0x50
};

// Stock objects.
enum : int {
  WHITE_BRUSH = 0, LTGRAY_BRUSH = 1, GRAY_BRUSH = 2, DKGRAY_BRUSH = 3, BLACK_BRUSH = 4, NULL_BRUSH = 5,
  HOLLOW_BRUSH = 5, WHITE_PEN = 6, BLACK_PEN = 7, NULL_PEN = 8, OEM_FIXED_FONT = 10, ANSI_FIXED_FONT = 11,
  ANSI_VAR_FONT = 12, SYSTEM_FONT = 13, DEFAULT_GUI_FONT = 17
};
enum : int { PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_DASHDOT = 3, PS_DASHDOTDOT = 4, PS_NULL = 5 };
enum : int { TRANSPARENT = 1, OPAQUE = 2 };
enum : UINT {
  TA_LEFT = 0, TA_RIGHT = 2, TA_CENTER = 6, TA_TOP = 0, TA_BOTTOM = 8, TA_BASELINE = 24
};

// DrawTextA flags.
enum : UINT {
  DT_TOP = 0x0, DT_LEFT = 0x0, DT_CENTER = 0x1, DT_RIGHT = 0x2, DT_VCENTER = 0x4, DT_BOTTOM = 0x8,
  DT_WORDBREAK = 0x10, DT_SINGLELINE = 0x20, DT_EXPANDTABS = 0x40, DT_TABSTOP = 0x80, DT_NOCLIP = 0x100,
  DT_EXTERNALLEADING = 0x200, DT_CALCRECT = 0x400, DT_NOPREFIX = 0x800
};

// GetDeviceCaps.
enum : int {
  HORZRES = 8, VERTRES = 10, BITSPIXEL = 12, PLANES = 14, NUMCOLORS = 24, LOGPIXELSX = 88, LOGPIXELSY = 90
};
constexpr int kScreenDpi = 96;

// GetSystemMetrics.
enum : int {
  SM_CXSCREEN = 0, SM_CYSCREEN = 1, SM_CXVSCROLL = 2, SM_CYHSCROLL = 3, SM_CYCAPTION = 4, SM_CXBORDER = 5,
  SM_CYBORDER = 6, SM_CXDLGFRAME = 7, SM_CYDLGFRAME = 8, SM_CXICON = 11, SM_CYICON = 12, SM_CXCURSOR = 13,
  SM_CYCURSOR = 14, SM_CYMENU = 15, SM_CXFULLSCREEN = 16, SM_CYFULLSCREEN = 17, SM_CXFRAME = 32,
  SM_CYFRAME = 33, SM_CXFIXEDFRAME = 7, SM_CYFIXEDFRAME = 8, SM_CXMAXIMIZED = 61, SM_CYMAXIMIZED = 62
};

// GetSysColor.
enum : int {
  COLOR_SCROLLBAR = 0, COLOR_BACKGROUND = 1, COLOR_ACTIVECAPTION = 2, COLOR_WINDOW = 5, COLOR_WINDOWFRAME = 6,
  COLOR_WINDOWTEXT = 8, COLOR_BTNFACE = 15, COLOR_BTNSHADOW = 16, COLOR_GRAYTEXT = 17, COLOR_BTNTEXT = 18,
  COLOR_BTNHIGHLIGHT = 20, COLOR_HIGHLIGHT = 13, COLOR_HIGHLIGHTTEXT = 14
};

// System icons.
enum : uintptr_t {
  IDI_APPLICATION = 32512, IDI_HAND = 32513, IDI_QUESTION = 32514, IDI_EXCLAMATION = 32515,
  IDI_ASTERISK = 32516, IDI_ERROR = 32513, IDI_WARNING = 32515, IDI_INFORMATION = 32516
};

HDC GetDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC dc);
HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps);
HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
// A bitmap holding a copy of 32-bit pixels (0xAARRGGBB words, top row first).
HBITMAP CreateBitmapFromPixels(int width, int height, const uint32_t* pixels, int stride);
// Records into a picture; CloseMetaFile ends it and gives the metafile.
HDC CreateMetaFileA(LPCSTR fileName);
HMETAFILE CloseMetaFile(HDC dc);
BOOL PlayMetaFile(HDC dc, HMETAFILE metafile);
BOOL DeleteMetaFile(HMETAFILE metafile);
// Enhanced metafiles: a recorded picture with its frame (the recording's
// extent in its own logical units), played scaled into a rectangle.
struct HENHMETAFILE__;
using HENHMETAFILE = HENHMETAFILE__*;
HDC CreateEnhMetaFileA(HDC reference, LPCSTR fileName, const RECT* frame, LPCSTR description);
HENHMETAFILE CloseEnhMetaFile(HDC dc);
BOOL PlayEnhMetaFile(HDC dc, HENHMETAFILE metafile, const RECT* rect);
HENHMETAFILE CopyEnhMetaFileA(HENHMETAFILE metafile, LPCSTR fileName);
BOOL DeleteEnhMetaFile(HENHMETAFILE metafile);
// The frame a picture was recorded in (left, top, right, bottom).
BOOL GetEnhMetaFileFrame(HENHMETAFILE metafile, RECT* frame);

HGDIOBJ GetStockObject(int index);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
BOOL DeleteObject(HGDIOBJ object);
HPEN CreatePen(int style, int width, COLORREF color);
HBRUSH CreateSolidBrush(COLORREF color);
HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                  DWORD quality, DWORD pitchAndFamily, LPCSTR faceName);
HFONT CreateFontIndirectA(const LOGFONTA* lf);
int GetObjectA(HGDIOBJ object, int size, LPVOID out);

COLORREF SetTextColor(HDC dc, COLORREF color);
COLORREF SetBkColor(HDC dc, COLORREF color);
int SetBkMode(HDC dc, int mode);
UINT SetTextAlign(HDC dc, UINT align);
int GetDeviceCaps(HDC dc, int index);

BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int length, SIZE* size);
BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* tm);
BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int length);
// Length -1 means up to the terminating zero. Returns the text height.
int DrawTextA(HDC dc, LPCSTR text, int length, RECT* rect, UINT format);
BOOL MoveToEx(HDC dc, int x, int y, POINT* previous);
BOOL LineTo(HDC dc, int x, int y);
BOOL Rectangle(HDC dc, int left, int top, int right, int bottom);
BOOL Ellipse(HDC dc, int left, int top, int right, int bottom);
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
int FrameRect(HDC dc, const RECT* rect, HBRUSH brush);
BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop);
enum : DWORD { SRCCOPY = 0x00CC0020, DSTINVERT = 0x00550009, PATCOPY = 0x00F00021 };

// Hatch styles of CreateHatchBrush.
enum : int { HS_HORIZONTAL = 0, HS_VERTICAL = 1, HS_FDIAGONAL = 2, HS_BDIAGONAL = 3, HS_CROSS = 4, HS_DIAGCROSS = 5 };
// A hatch of that style in the colour; where the DC's background mode is
// OPAQUE its background colour fills between the hatch lines.
HBRUSH CreateHatchBrush(int style, COLORREF color);
BOOL SetBrushOrgEx(HDC dc, int x, int y, POINT* previous);
// Raster operations of SetROP2 (others act as R2_COPYPEN).
enum : int { R2_NOT = 6, R2_NOTXORPEN = 10, R2_COPYPEN = 13 };
int SetROP2(HDC dc, int mode);
// PatBlt with PATCOPY fills with the DC's brush; DSTINVERT inverts the pixels.
BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);
// Memory DCs only; CLR_INVALID elsewhere or outside the bitmap.
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;
COLORREF GetPixel(HDC dc, int x, int y);
COLORREF GetNearestColor(HDC dc, COLORREF color);
// ExtTextOut options: the rectangle clips the text and, opaque, is filled
// with the background colour first.
enum : UINT { ETO_OPAQUE = 0x0002, ETO_CLIPPED = 0x0004 };
BOOL ExtTextOutA(HDC dc, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT length, const int* dx);
// The DC's clip rectangle: the update rectangle while a window paints.
enum : int { NULLREGION = 1, SIMPLEREGION = 2, ERROR_REGION = 0 };
int GetClipBox(HDC dc, RECT* rect);
int IntersectClipRect(HDC dc, int left, int top, int right, int bottom);
int SaveDC(HDC dc);
BOOL RestoreDC(HDC dc, int saved);

int GetSystemMetrics(int index);
DWORD GetSysColor(int index);
HBRUSH GetSysColorBrush(int index);

// Only the system icons (instance 0) are known.
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
BOOL DrawIcon(HDC dc, int x, int y, HICON icon);

