// Format > Record Layout: the record area's size and columns, a label stock,
// the record-area switches and the copies of each record.
#pragma once

#include "platform/win/window.h"

class CKmDoc;

constexpr UINT kCmdRecordLayout = 30514;

// The dialog procedure of "DRecOpts" (lParam of WM_INITDIALOG: the document).
INT_PTR RecordLayoutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Runs the dialog; the report is marked modified when OK changed anything.
// Cancel leaves the report as it was. Answers the dialog's result.
INT_PTR EditRecordLayout(CKmDoc& doc);
