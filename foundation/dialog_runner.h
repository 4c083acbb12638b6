// The modal dialog runner (KmDocBase::DoModalDialog and the modal state, in
// foundation/doc_base.h) and the helpers every dialog procedure uses.
#pragma once

#include "foundation/doc_base.h"
#include "platform/win/gdi.h"
#include "platform/win/window.h"

// The WH_MSGFILTER hook of the outermost modal dialog: F1 becomes the Help command (300).
LRESULT DialogMsgFilterProc(int code, WPARAM wParam, LPARAM lParam);
// How many program dialogs are running one inside the other.
int ModalNestingCount();

void DrawDialogIcon(HWND dialog, int controlId, UINT iconId);
HFONT GetAnsiVarFont();
BOOL OnContextHelp(const HELPINFO* info, int controlId, DWORD context);
BOOL OnContextMenuHelp(HWND dialog, HWND clicked, LPARAM screenPos, int controlId, DWORD context);

void SpinDecimalField(HWND dialog, int controlId, int minimum, int maximum, int direction);

void SubclassMeasureEdit(HWND dialog, int controlId);
LRESULT MeasureEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam);
void UnsubclassMeasureEdit(HWND edit);
