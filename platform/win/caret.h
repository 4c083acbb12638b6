// The caret: one per program, owned by one window, drawn by the window layer
// over that window's painting as an inverted bar.
#pragma once

#include "platform/win/window.h"

// bitmap is unused (a solid caret); a new caret replaces the old one, hidden.
BOOL CreateCaret(HWND hwnd, HBITMAP bitmap, int width, int height);
BOOL DestroyCaret();
BOOL SetCaretPos(int x, int y);
// FALSE when there is no caret.
BOOL GetCaretPos(POINT* pt);
BOOL ShowCaret(HWND hwnd);
BOOL HideCaret(HWND hwnd);
// The caret's window and client rectangle while it is shown; FALSE otherwise.
BOOL GetShownCaret(HWND* hwnd, RECT* rect);
