// Page totals over the records a page holds: a record counts on the page it
// prints on, and a row of records across counts on the page the row goes to.
#pragma once

struct RunCalcState;

// The record being output has its page: it counts in the page totals the
// record pass handed over for it, and the calculations resting on page
// totals are worked out again. Records across: a record that starts a row
// first keeps the figures as they stand before the row.
void TakeRecordPageTotals(RunCalcState* calc);

// Records across, the row being sent goes to the next page: the page it
// leaves closes with the figures it had before the row (kept for its
// footer, as ClosePageFigures keeps them)...
void LeaveRowToNextPage(RunCalcState* calc);
// ...and, once the next page has begun, that page starts with the row's
// records.
void StartPageWithRow(RunCalcState* calc);
// The row is sent (or given up): its figures are of no more use.
void ForgetRowFigures(RunCalcState* calc);
