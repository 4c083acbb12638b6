#include "foundation/band_lines.h"

#include <cstring>

namespace {
bool IsFree(const BandLineRec& r) { return r.kind == kBandFree; }
bool IsFooter(int kind) { return kind >= kBandGroupFooter && kind <= kBandGroupFooter + 7; }
bool ValidIndex(int index) { return index >= 0 && index < kBandLineCount; }
// The used records run from 0 to the last used index; an empty table has none.
int UsedEnd(const BandLineTable& t) { return IsFree(t.lines[0]) ? 0 : t.lastUsed + 1; }
void ScrollRangesChanged(BandLineTable& t) {
  if (t.host) t.host->UpdateScrollBars();
}
}  // namespace

void ClearBandLineTable(BandLineTable& t) {
  for (int i = 0; i < kBandLineTableRecords; ++i) {
    std::memset(&t.lines[i], 0, sizeof(BandLineRec));
    t.lines[i].kind = kBandFree;
    t.lines[i].objectId = -1;
  }
  t.lastUsed = 0;
}

void RenumberBandLines(BandLineTable& t) {
  int last = kBandLineCount - 1;
  for (int i = 0; i < kBandLineCount; ++i)
    if (IsFree(t.lines[i])) {
      last = i == 0 ? 0 : i - 1;
      break;
    }
  if (last != t.lastUsed) {
    t.lastUsed = last;
    ScrollRangesChanged(t);
  }
}

void ClearBandLine(BandLineTable& t, int index) {
  if (!ValidIndex(index)) return;
  BandLineRec& r = t.lines[index];
  r.objectId = -1;
  r.flags = 0;
  r.heightMode = 0;
  r.height = 0;
}

int InsertBandLines(BandLineTable& t, BYTE kind, int upTo) {
  if (!ValidIndex(upTo)) return 0;
  bool changed = false;
  if (t.lastUsed <= upTo && IsFree(t.lines[0])) {
    t.lines[0].kind = kind;
    ClearBandLine(t, 0);
    t.lastUsed = 0;
    changed = true;
  }
  for (int i = upTo; i > t.lastUsed; --i) {
    if (!IsFree(t.lines[i])) continue;
    t.lines[i].kind = t.lines[t.lastUsed].kind;
    ClearBandLine(t, i);
    changed = true;
  }
  if (!changed) return 0;
  if (t.lastUsed != upTo) {
    t.lastUsed = upTo;
    ScrollRangesChanged(t);
  }
  return 1;
}

int FindBandLineRange(const BandLineTable& t, BYTE kind, int* index, int toEnd) {
  const int end = UsedEnd(t);
  int first = -1, last = -1;
  for (int i = 0; i < end; ++i)
    if (t.lines[i].kind == kind) {
      if (first < 0) first = i;
      last = i;
    }
  if (first >= 0) {
    *index = toEnd ? last + 1 : first;
    return 1;
  }
  // One scan with a per-record test, so footers stay in descending order
  // whatever order they are added in.
  int at = end;
  for (int i = 0; i < end; ++i) {
    const int k = t.lines[i].kind;
    const bool stop = (IsFooter(kind) && IsFooter(k)) ? (k < kind || k > 109) : k > kind;
    if (stop) {
      at = i;
      break;
    }
  }
  *index = at;
  return 0;
}

int InsertBandLineAt(BandLineTable& t, int index) {
  // Record 255 in use means there is no room: the spare record is not a line.
  if (!ValidIndex(index) || !IsFree(t.lines[kBandLineCount - 1])) return 0;
  const int end = UsedEnd(t);
  if (t.host) t.host->MoveItemsDown(index);
  if (index < end)
    std::memmove(&t.lines[index + 1], &t.lines[index], (end - index) * sizeof(BandLineRec));
  if (t.host) t.host->BuildItemOrder();
  return 1;
}

int BandAtY(const BandLineTable& t, int y) {
  // Unused lines are laid out too (one default height each): a point below
  // the last used line belongs to the empty line drawn there.
  for (int i = 0; i < kBandLineCount; ++i) {
    const BandLineRec& r = t.lines[i];
    if (y >= r.bottom - r.pixelHeight && y <= r.bottom) return i;
  }
  return y < t.lines[0].bottom ? 0 : 255;
}

int IsFieldOnBandLines(const BandLineTable& t, int32_t id) {
  const int end = UsedEnd(t);
  for (int i = 0; i < end; ++i) {
    const int32_t obj = t.lines[i].objectId;
    if (obj == -1) continue;
    if (obj == id) return 1;
    if (t.host && t.host->ReferredFieldOf(obj) == id) return 1;
  }
  return 0;
}

int ValidateBandLineObjects(const BandLineTable& t) {
  if (!t.host) return 1;
  const int end = UsedEnd(t);
  for (int i = 0; i < end; ++i) {
    const int32_t obj = t.lines[i].objectId;
    if (obj != -1 && t.host->ObjectExists(obj) && !t.host->IsBandFieldValid(obj)) return 0;
  }
  return 1;
}

int GetBandFlagMask(int v) {
  static const int kMap[8] = {0, 1, 4, 2, 5, 3, 6, 7};
  return kMap[v & 7];
}
