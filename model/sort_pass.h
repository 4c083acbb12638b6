// The sort pass of a report run: the totals pre-pass (which lives with the
// engine and is reached through RecordPassHooks::totalsPrepass), then, when the
// pre-pass left its totals file to be ordered, the totals sort into the
// totals index.
#pragma once

#include <cstdint>

class CKmComposite;

// What the pre-pass tells the sort pass.
struct TotalsPrepassResult {
  int sortTotals = 0;           // the totals file waits to be sorted into an index
  int haveDirections = 0;       // ascending holds one word per sort key
  uint32_t ascending[16] = {};  // non-zero: ascending
  int needsReopen = 0;          // the query must run again for the report pass
};


// Runs the pre-pass with the two arguments; when it asks for it, shows
// "Sorting Totals" and sorts the totals. 0 on success (the mark left by the
// deletion of a pre-processed total is then cleared), else the pre-pass's or
// the sort's code. needsReopen (optional) receives the pre-pass's answer.
int RunSortPass(CKmComposite* model, int progressArg1, int progressArg2, int* needsReopen = nullptr);
