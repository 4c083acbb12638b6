// Sort Order and Group Order: the fields the report's records are sorted by
// and the levels they are grouped by, each ascending or descending. A group
// level sorts by its field first, so the group fields lead the sort order in
// their level order. Both check the order against the totals before they
// change the model.
#pragma once

#include <cstdint>

#include "platform/win/window.h"

class CKmComposite;
class KmDocBase;

enum OrderDialogKind : int { kOrderSort = 0, kOrderGroup = 1 };

struct OrderDialogParams {
  KmDocBase* doc = nullptr;
  CKmComposite* model = nullptr;
  int kind = kOrderSort;
  bool changed = false;  // out
  // Out, for Group Order: the levels that were not there before (bit per level).
  uint8_t newLevels = 0;
};

// Control ids of template DOrder.
enum : int {
  kOrderList = 300, kOrderFieldList = 301, kOrderAdd = 302, kOrderRemove = 303, kOrderDescending = 304,
  kOrderUp = 305, kOrderDown = 306,
  // Group Order's options of the selected level.
  kOrderPrintOnce = 307, kOrderResetPage = 308, kOrderSwapHeader = 309, kOrderSwapFooter = 313,
  kOrderRepeatHeader = 314
};

INT_PTR OrderDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR RunOrderDialog(HWND owner, OrderDialogParams* params);
