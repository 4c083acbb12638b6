// Purge Calculations: removes in one step the calculated or total fields that
// nothing in the report uses, after the user has seen the list.
#pragma once

#include <cstdint>

#include "platform/win/window.h"

class CKmComposite;
class KmDocBase;

constexpr int kPurgeCalculated = 1;
constexpr int kPurgeTotals = 2;

// Rebuilds the use marks (when rebuild is given) and returns which kinds have unused fields.
int PurgeUnusedCalcs(CKmComposite* m, void (*rebuild)(CKmComposite* m));
// Marks the unused fields of the kinds and what uses them; 0, or 3126 when a
// linking field would go (then nothing stays marked).
int MarkUnusedCalcs(CKmComposite* m, int kinds);
void ClearRemovalMarks(CKmComposite* m);
void DeleteMarkedCalcs(CKmComposite* m);

struct PurgeDialogParams {
  KmDocBase* doc = nullptr;
  CKmComposite* model = nullptr;
  void (*rebuildRunLists)(CKmComposite* m) = nullptr;
  bool modified = false;  // out: fields were removed
};

INT_PTR PurgeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Runs the dialog; IDOK when it closed through OK.
INT_PTR RunPurgeDialog(HWND owner, PurgeDialogParams* params);
