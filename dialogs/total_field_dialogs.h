// Total fields as the total dialogs set them up: automatic "Total" numbers,
// which fields can be totaled, reset levels consistent with a source, the
// default format, and the Edit Reset dialog that moves totals between levels.
#pragma once

#include <cstdint>

#include "platform/win/window.h"

class CKmComposite;
class KmDocBase;
struct FieldDef;

enum TotalKind : uint8_t {
  kTotalCount = 0, kTotalSum, kTotalAverage, kTotalMinimum, kTotalMaximum, kTotalStdDeviation, kTotalVariance
};
constexpr uint8_t kResetGrand = 255;
constexpr uint8_t kResetPage = 254;

// The three numbering words of the document.
struct AutoTotalNumbering {
  uint32_t low = 0, high = 0, next = 1;
};
// 0 when no number is left.
uint32_t NextAutoTotalNumber(AutoTotalNumbering* n);
bool CanAllocateAutoNumbers(const AutoTotalNumbering& n, int count);
// Notes a field read from a report whose name is "Total" and five digits.
void NoteAutoTotalName(AutoTotalNumbering* n, const char* name);

// Sum, Average, Std Deviation and Variance need a numeric or logical field.
bool IsTotalableField(const FieldDef* field, uint8_t kind);
// True when the level does not come after the reset level of the total the source rests on.
bool CheckResetLevel(CKmComposite* m, uint8_t level, const FieldDef* source);
// The format a new total (or one whose kind or source type changed) takes.
void SetTotalFormat(FieldDef* total, const FieldDef* source, uint8_t kind);

struct BatchResetParams {
  KmDocBase* doc = nullptr;
  CKmComposite* model = nullptr;
  // The total is placed on a band line (page totals cannot control printing).
  bool (*onBandLines)(CKmComposite* m, const FieldDef* total) = nullptr;
  // The record filter would become invalid with the total running at level.
  bool (*filterDependsOn)(CKmComposite* m, const FieldDef* total) = nullptr;
  void (*showError)(CKmComposite* m, const char* text) = nullptr;
  bool modified = false;  // out
};
INT_PTR BatchResetDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR OpenBatchResetDialog(HWND owner, BatchResetParams* params);
// The reset level of an entry of the level lists (0 grand total, 1 page total, 2.. groups).
uint8_t ResetLevelOfEntry(int entry);
