// Filter: the selection conditions a record must meet, one row each (a
// field, an operator and its values, joined by And or Or), checked together
// before they become the report's condition code.
#pragma once

#include "platform/win/window.h"

class CKmComposite;
class KmDocBase;

struct FilterDialogParams {
  KmDocBase* doc = nullptr;
  CKmComposite* model = nullptr;
  bool changed = false;  // out
  int lastError = 0;     // out: the check code last shown
};

// Control ids of template DFilter.
enum : int {
  kFilterRows = 300, kFilterField = 301, kFilterOperator = 302, kFilterValue = 303, kFilterAnd = 304,
  kFilterOr = 305, kFilterAdd = 306, kFilterReplace = 307, kFilterDelete = 308, kFilterClear = 309,
  kFilterMessage = 315
};

INT_PTR FilterDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR RunFilterDialog(HWND owner, FilterDialogParams* params);
