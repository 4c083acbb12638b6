// The common file dialogs (Open and Save As) over the toolkit's own file
// dialog; names in and out are the program's text (Windows-1252), converted
// here to and from the system's.
#pragma once

#include "platform/win/common_controls.h"
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
  // With OFN_SHOWHELP and a help file: a Help button (and F1) opens the help
  // file at the context.
  LPCSTR lpstrHelpFile = nullptr;
  DWORD dwHelpContext = 0;
  // With OFN_ENABLETEMPLATE: the dialog template whose controls are added
  // below the file dialog's own, run by lpfnHook (WM_INITDIALOG gets this
  // structure; WM_NOTIFY brings the CDN_ notices in an OFNOTIFYA).
  LPCSTR lpTemplateName = nullptr;
  DLGPROC lpfnHook = nullptr;
  LPARAM lCustData = 0;
};

// The notices a template's procedure gets. CDN_INITDONE comes once the
// dialog is set up and placed, before it shows; CDN_SELCHANGE whenever the
// file under the cursor changes (picked in the list or typed); CDN_FILEOK
// when the user presses OK: a nonzero DWLP_MSGRESULT keeps the dialog open.
enum : UINT { CDN_INITDONE = static_cast<UINT>(-601), CDN_SELCHANGE = static_cast<UINT>(-602),
              CDN_HELP = static_cast<UINT>(-605), CDN_FILEOK = static_cast<UINT>(-606) };
struct OFNOTIFYA {
  NMHDR hdr;  // hwndFrom: the template's window
  OPENFILENAMEA* lpOFN;
};

// From a template's procedure: the file dialog ends as if a file were chosen,
// with an empty name (a choice the template's controls made instead).
BOOL EndFileDialogWithoutFile(HWND templateWindow);
// From a template's procedure: the full path of the file under the cursor
// (the name typed or picked, taken in the folder shown; "" when none) into
// buffer. The length the path needs with its null, so a short buffer can be
// told; -1 outside a file dialog.
int GetFileDialogFilePath(HWND templateWindow, LPSTR buffer, int size);
// From a template's procedure: places the whole file dialog over the middle
// of the window (of the screen when there is none).
BOOL CenterFileDialogOver(HWND templateWindow, HWND over);

// TRUE when the user chose a file (its full path in lpstrFile); FALSE on
// Cancel, in an unattended run, or when the path does not fit the buffer.
BOOL GetOpenFileNameA(OPENFILENAMEA* ofn);
BOOL GetSaveFileNameA(OPENFILENAMEA* ofn);

// The folder chooser: it starts at the initial folder (selected) and shows
// folders only. TRUE with the chosen folder in pszPath; FALSE on Cancel, in
// an unattended run, or when the path does not fit.
struct BROWSEINFOA {
  HWND hwndOwner = nullptr;
  LPCSTR lpszTitle = nullptr;
  LPCSTR lpszInitialDir = nullptr;
  LPSTR pszPath = nullptr;
  DWORD nMaxPath = 0;
  LPCSTR lpstrHelpFile = nullptr;  // a Help button when given with a context
  DWORD dwHelpContext = 0;
};
BOOL BrowseForFolderA(BROWSEINFOA* bi);
