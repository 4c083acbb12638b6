#include "engine/band_line_helpers.h"

#include <algorithm>

namespace {

constexpr BYTE kLineFlagSkip = 1;
constexpr BYTE kLineFlagInvert = 8;
constexpr int kRunModeTestPattern = 1;

}  // namespace

LONG RoomLeftOnPage(PageDriver* driver, PageOutputState* state, LONG pageBottom, LONG reserve) {
  if (!driver || !driver->HasEntry(10)) return 0;
  return std::max<LONG>(0, driver->SpaceLeft(state, pageBottom) - reserve);
}

int FlushPendingAdvance(PageDriver* driver, PageOutputState* state, PendingAdvance* advance,
                        LONG pageBottom, LONG pageReserve, int render, LONG* runState) {
  const LONG fixed = advance->fixedAdvance, used = advance->used;
  if (fixed != 0 && used != 0 && fixed != used) {
    LONG move = used < fixed ? fixed - used : fixed - used % fixed;
    move = std::min(move, RoomLeftOnPage(driver, state, pageBottom, pageReserve));
    if (move > 0 && driver && driver->HasEntry(13) && !driver->MoveDown(state, move, render)) {
      if (runState) *runState = -2;
      return 0;
    }
  }
  advance->used = 0;
  return 1;
}

int IsLineShown(const BandLineSet& set, int line, int valueSource) {
  if (set.runMode == kRunModeTestPattern) return 1;
  if (line < 0 || static_cast<size_t>(line) >= set.lines.size()) return 0;
  const BandLineView& l = set.lines[line];
  if (l.conditionObject == -1) return 1;
  bool isSet = set.isSet && set.isSet(set.context, l.conditionObject, valueSource);
  return (l.flags & kLineFlagInvert) ? !isSet : isSet;
}

int FindBandLine(const BandLineSet& set, int bandKind, int checkCondition) {
  for (size_t i = 0; i < set.lines.size(); ++i)
    if (set.lines[i].bandKind == bandKind && (!checkCondition || IsLineShown(set, static_cast<int>(i), -1)))
      return static_cast<int>(i);
  return 0;
}

int BandHasFlaggedLine(const BandLineSet& set, int bandKind, int skipCondition) {
  for (size_t i = 0; i < set.lines.size(); ++i) {
    const BandLineView& l = set.lines[i];
    if (l.bandKind == bandKind && (l.flags & kLineFlagSkip) &&
        (skipCondition || IsLineShown(set, static_cast<int>(i), -1)))
      return 1;
  }
  return 0;
}

LONG TrailingBandHeight(const BandLineSet& set, int bandKind, int checkCondition) {
  LONG sum = 0;
  bool added = false;
  for (int i = static_cast<int>(set.lines.size()) - 1; i >= 0; --i) {
    const BandLineView& l = set.lines[i];
    if (l.flags & kLineFlagSkip) continue;
    bool ofBand = l.bandKind == bandKind;
    if (ofBand && l.hasItems) break;
    bool shown = !checkCondition || IsLineShown(set, i, -1);
    if (ofBand && shown) {
      sum += set.lineHeight ? set.lineHeight(set.context, i) : 0;
      added = true;
    } else if (added) {
      break;
    }
  }
  return sum;
}
