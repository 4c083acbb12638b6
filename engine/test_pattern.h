// The Test Pattern run: one page of Record bands, column by column, without
// reading any record, so that the layout can be lined up on pre-printed
// forms and label stock.
#pragma once

class KmDocBase;
struct ReportRun;

// Run mode 1: one pass with page count 1. Returns the run state.
int RunTestPattern(ReportRun* run);
// One pass: Record bands down each column until the next does not fit.
void TestPatternPass(ReportRun* run);
