// Dialogs from the templates under res/dialogs and the standard controls
// (button, edit, static, list box, combo box, scroll bar) with the Win32
// control messages and notifications.
#pragma once

#include "platform/win/window.h"

// Dialog calls. A template is found by name ignoring case; one that is missing
// or cannot be built gives -1.
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param);
inline INT_PTR DialogBoxA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc) {
  return DialogBoxParamA(instance, templateName, owner, proc, 0);
}
// A modeless dialog; null when the template is missing.
HWND CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param);
BOOL EndDialog(HWND dialog, INT_PTR result);
LRESULT DefDlgProcA(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND hwnd);
LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int size);
BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned);
// translated is set to FALSE (and 0 returned) when the text is not a number in range.
UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);
BOOL MapDialogRect(HWND dialog, RECT* rect);
// Base units of the system dialog font: low word width, high word height.
LONG GetDialogBaseUnits();

// Dialog styles and messages.
enum : DWORD { DS_SETFONT = 0x40, DS_MODALFRAME = 0x80, DS_CENTER = 0x0800 };
enum : UINT { DM_GETDEFID = WM_USER + 0, DM_SETDEFID = WM_USER + 1, DC_HASDEFID = 0x534B };
enum : UINT {
  DLGC_WANTARROWS = 0x01, DLGC_WANTTAB = 0x02, DLGC_WANTALLKEYS = 0x04, DLGC_HASSETSEL = 0x08,
  DLGC_DEFPUSHBUTTON = 0x10, DLGC_UNDEFPUSHBUTTON = 0x20, DLGC_WANTCHARS = 0x80, DLGC_STATIC = 0x100,
  DLGC_BUTTON = 0x2000
};

// Buttons.
enum : DWORD {
  BS_PUSHBUTTON = 0, BS_DEFPUSHBUTTON = 1, BS_CHECKBOX = 2, BS_AUTOCHECKBOX = 3, BS_RADIOBUTTON = 4,
  BS_3STATE = 5, BS_AUTO3STATE = 6, BS_GROUPBOX = 7, BS_AUTORADIOBUTTON = 9, BS_TYPEMASK = 0xF
};
enum : UINT {
  BM_GETCHECK = 0x00F0, BM_SETCHECK = 0x00F1, BM_GETSTATE = 0x00F2, BM_SETSTATE = 0x00F3,
  BM_SETSTYLE = 0x00F4, BM_CLICK = 0x00F5
};
enum : UINT { BST_UNCHECKED = 0, BST_CHECKED = 1, BST_INDETERMINATE = 2, BST_PUSHED = 4, BST_FOCUS = 8 };
enum : WORD { BN_CLICKED = 0 };

// Statics.
enum : DWORD {
  SS_LEFT = 0, SS_CENTER = 1, SS_RIGHT = 2, SS_ICON = 3, SS_BLACKRECT = 4, SS_GRAYRECT = 5,
  SS_WHITERECT = 6, SS_BLACKFRAME = 7, SS_GRAYFRAME = 8, SS_WHITEFRAME = 9, SS_SIMPLE = 0xB,
  SS_LEFTNOWORDWRAP = 0xC, SS_ETCHEDFRAME = 0x12, SS_TYPEMASK = 0x1F, SS_NOPREFIX = 0x80
};
enum : UINT { STM_SETICON = 0x0170, STM_GETICON = 0x0171 };

// Edits.
enum : DWORD {
  ES_LEFT = 0, ES_CENTER = 1, ES_RIGHT = 2, ES_MULTILINE = 4, ES_UPPERCASE = 8, ES_LOWERCASE = 0x10,
  ES_PASSWORD = 0x20, ES_AUTOVSCROLL = 0x40, ES_AUTOHSCROLL = 0x80, ES_READONLY = 0x800,
  ES_WANTRETURN = 0x1000, ES_NUMBER = 0x2000
};
enum : UINT {
  EM_GETSEL = 0x00B0, EM_SETSEL = 0x00B1, EM_GETMODIFY = 0x00B8, EM_SETMODIFY = 0x00B9,
  EM_REPLACESEL = 0x00C2, EM_LIMITTEXT = 0x00C5, EM_SETREADONLY = 0x00CF
};
enum : WORD { EN_SETFOCUS = 0x0100, EN_KILLFOCUS = 0x0200, EN_CHANGE = 0x0300 };

// List boxes.
enum : DWORD { LBS_NOTIFY = 1, LBS_SORT = 2, LBS_MULTIPLESEL = 8, LBS_OWNERDRAWFIXED = 0x10, LBS_HASSTRINGS = 0x40,
               LBS_NOINTEGRALHEIGHT = 0x100, LBS_EXTENDEDSEL = 0x800, LBS_STANDARD = 0xA00003 };
enum : UINT {
  LB_ADDSTRING = 0x0180, LB_INSERTSTRING = 0x0181, LB_DELETESTRING = 0x0182, LB_RESETCONTENT = 0x0184,
  LB_SETSEL = 0x0185, LB_SETCURSEL = 0x0186, LB_GETSEL = 0x0187, LB_GETCURSEL = 0x0188,
  LB_GETTEXT = 0x0189, LB_GETTEXTLEN = 0x018A, LB_GETCOUNT = 0x018B, LB_FINDSTRING = 0x018F,
  LB_FINDSTRINGEXACT = 0x01A2, LB_GETITEMDATA = 0x0199, LB_SETITEMDATA = 0x019A, LB_GETSELCOUNT = 0x0190
};
enum : WORD { LBN_SELCHANGE = 1, LBN_DBLCLK = 2 };
constexpr LRESULT LB_ERR = -1;

// Combo boxes.
enum : DWORD { CBS_SIMPLE = 1, CBS_DROPDOWN = 2, CBS_DROPDOWNLIST = 3, CBS_OWNERDRAWFIXED = 0x10, CBS_HASSTRINGS = 0x200,
               CBS_SORT = 0x100 };

// Owner-drawn combo box items: the parent measures (WM_MEASUREITEM) and
// draws (WM_DRAWITEM) each item of the open list; wParam is the control id.
enum : UINT { WM_DRAWITEM = 0x002B, WM_MEASUREITEM = 0x002C };
enum : UINT {
  ODT_LISTBOX = 2, ODT_COMBOBOX = 3, ODA_DRAWENTIRE = 1, ODS_SELECTED = 1, ODS_FOCUS = 0x10, ODS_COMBOBOXEDIT = 0x1000
};
struct DRAWITEMSTRUCT {
  UINT CtlType;
  UINT CtlID;
  UINT itemID;
  UINT itemAction;
  UINT itemState;
  HWND hwndItem;
  HDC hDC;
  RECT rcItem;
  ULONG_PTR itemData;
};
struct MEASUREITEMSTRUCT {
  UINT CtlType;
  UINT CtlID;
  UINT itemID;
  UINT itemWidth;
  UINT itemHeight;
  ULONG_PTR itemData;
};
enum : UINT {
  CB_GETEDITSEL = 0x0140, CB_LIMITTEXT = 0x0141, CB_ADDSTRING = 0x0143, CB_DELETESTRING = 0x0144,
  CB_GETCOUNT = 0x0146, CB_GETCURSEL = 0x0147, CB_GETLBTEXT = 0x0148, CB_GETLBTEXTLEN = 0x0149,
  CB_INSERTSTRING = 0x014A, CB_RESETCONTENT = 0x014B, CB_FINDSTRING = 0x014C, CB_SETCURSEL = 0x014E,
  CB_GETITEMDATA = 0x0150, CB_SETITEMDATA = 0x0151, CB_FINDSTRINGEXACT = 0x0158
};
enum : WORD { CBN_SELCHANGE = 1, CBN_EDITCHANGE = 5 };
constexpr LRESULT CB_ERR = -1;

// Scroll bars.
enum : DWORD { SBS_HORZ = 0, SBS_VERT = 1 };
enum : int { SB_HORZ = 0, SB_VERT = 1, SB_CTL = 2 };
enum : WORD {
  SB_LINEUP = 0, SB_LINEDOWN = 1, SB_PAGEUP = 2, SB_PAGEDOWN = 3, SB_THUMBPOSITION = 4, SB_THUMBTRACK = 5,
  SB_TOP = 6, SB_BOTTOM = 7, SB_ENDSCROLL = 8
};
enum : UINT { SBM_SETPOS = 0x00E0, SBM_GETPOS = 0x00E1, SBM_SETRANGE = 0x00E2, SBM_GETRANGE = 0x00E3 };
int SetScrollPos(HWND hwnd, int bar, int pos, BOOL redraw);
int GetScrollPos(HWND hwnd, int bar);
BOOL SetScrollRange(HWND hwnd, int bar, int minPos, int maxPos, BOOL redraw);

// Compiled dialog templates (res/dialogs): sizes in dialog units.
namespace vt_res {
struct DialogItemData {
  int id;
  const char* className;  // "BUTTON", "EDIT", "STATIC", "LISTBOX", "COMBOBOX", "SCROLLBAR" or a registered class
  DWORD style;
  DWORD exStyle;
  int x, y, cx, cy;
  const char* text;  // Windows-1252
};
struct DialogTemplateData {
  const char* name;
  DWORD style;
  int x, y, cx, cy;
  int pointSize;
  const char* faceName;
  const char* caption;
  int itemCount;
  const DialogItemData* items;
};
extern const DialogTemplateData kDialogTable[];
extern const unsigned kDialogCount;
// By name ignoring case; null when there is none.
const DialogTemplateData* FindDialogTemplate(LPCSTR name);
}  // namespace vt_res
