// The common file dialogs (Open and Save As) over the toolkit's own file
// dialog; names in and out are the program's text (Windows-1252), converted
// here to and from the system's.
#pragma once

#include "platform/win/window.h"

enum : DWORD {
  OFN_READONLY = 0x1, OFN_OVERWRITEPROMPT = 0x2, OFN_HIDEREADONLY = 0x4, OFN_NOCHANGEDIR = 0x8,
  OFN_SHOWHELP = 0x10, OFN_ENABLEHOOK = 0x20, OFN_ENABLETEMPLATE = 0x40, OFN_PATHMUSTEXIST = 0x800,
  OFN_FILEMUSTEXIST = 0x1000, OFN_NOTESTFILECREATE = 0x10000, OFN_EXPLORER = 0x80000
};

struct OPENFILENAMEA {
  HWND hwndOwner = nullptr;
  // Pairs of texts, each ended by a null, the list by a second null:
  // "Report Files (*.KMW)\0*.KMW\0\0".
  LPCSTR lpstrFilter = nullptr;
  DWORD nFilterIndex = 0;  // 1-based; the chosen group comes back here
  LPSTR lpstrFile = nullptr;  // in: the initial name; out: the chosen path
  DWORD nMaxFile = 0;
  LPCSTR lpstrInitialDir = nullptr;
  LPCSTR lpstrTitle = nullptr;
  DWORD Flags = 0;
  LPCSTR lpstrDefExt = nullptr;  // added to a typed name without an extension
};

// TRUE when the user chose a file (its full path in lpstrFile); FALSE on
// Cancel, in an unattended run, or when the path does not fit the buffer.
BOOL GetOpenFileNameA(OPENFILENAMEA* ofn);
BOOL GetSaveFileNameA(OPENFILENAMEA* ofn);
