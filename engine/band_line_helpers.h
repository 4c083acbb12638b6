// Helpers of the output that decide which band lines print and how much room
// the page has left.
#pragma once

#include "platform/printer/page_driver.h"
#include "platform/win/win_types.h"

#include <vector>

// Room left above pageBottom (decipoints kept free at the page's end, as the
// library's ordinal 10 takes it), less reserve, never below 0; 0 when the
// library has no such entry.
LONG RoomLeftOnPage(PageDriver* driver, PageOutputState* state, LONG pageBottom, LONG reserve);

// A fixed advance between records: what the last record used short of it
// (or, when it used more, short of the next multiple) is moved down, at most
// the room left. The used amount is cleared. A refused move sets runState
// to -2 and returns 0; otherwise 1.
struct PendingAdvance {
  LONG fixedAdvance = 0;
  LONG used = 0;
};
int FlushPendingAdvance(PageDriver* driver, PageOutputState* state, PendingAdvance* advance,
                        LONG pageBottom, LONG pageReserve, int render, LONG* runState);

// What the band-line helpers read of one band line.
struct BandLineView {
  int bandKind = 0;
  BYTE flags = 0;              // 1: skipped by the trailing-height walk; 8: inverted condition
  LONG conditionObject = -1;   // -1: no condition
  bool hasItems = false;
};

// Tests a condition object's field value for being set.
using ConditionIsSet = bool (*)(void* context, LONG conditionObject, int valueSource);
// The height of an empty line in decipoints (the run's line-height rule).
using LineHeightOf = LONG (*)(void* context, int line);

struct BandLineSet {
  std::vector<BandLineView> lines;  // index 0 to the last used line
  int runMode = 0;
  void* context = nullptr;
  ConditionIsSet isSet = nullptr;
  LineHeightOf lineHeight = nullptr;
};

int IsLineShown(const BandLineSet& set, int line, int valueSource);
int FindBandLine(const BandLineSet& set, int bandKind, int checkCondition);
int BandHasFlaggedLine(const BandLineSet& set, int bandKind, int skipCondition);
LONG TrailingBandHeight(const BandLineSet& set, int bandKind, int checkCondition);
