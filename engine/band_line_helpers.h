// Helpers of the output that decide which band lines print, how much room
// the page has left, the fixed advance of a labels' record, and which group
// level a placed field belongs to (for Print Once). The report run, band
// output and the data exports all decide these here.
#pragma once

#include "platform/win/win_types.h"

#include <cstdint>

class CKmComposite;
class KmDocBase;
struct ReportRun;
struct ItemOutput;

// 1 when an item of the model's item list lies on band line `line`.
int LineHasItems(KmDocBase* doc, int line);
// Whether band line `line` prints under its condition: always in the Test
// Pattern and for a line without a condition; otherwise when the condition
// field's value is set (the current value for a negative valueSource, else
// the value band valueSource shows), or, with the line's invert flag (8),
// when it is not.
int IsLineShown(KmDocBase* doc, int line, int valueSource);
// The first line of the band kind (that is shown, with checkCondition); 0
// when there is none.
int FindBandLine(KmDocBase* doc, int bandKind, int checkCondition);
// 1 when a line of the band has the page-break flag (1) and, unless
// skipCondition, is shown.
int BandHasFlaggedLine(KmDocBase* doc, int bandKind, int skipCondition);
// The height (1/720 inch) of the empty lines at the bottom of the band:
// from the last line up, page-break lines passed over, until a line of the
// band holding items; with checkCondition only shown lines count, and once
// something was added a line of another band or one not shown ends it.
int32_t TrailingBandHeight(KmDocBase* doc, int bandKind, int checkCondition);

// Room left on the page above the run's page bottom, less reserve, never
// below 0; 0 when the printer library has no space-left entry.
LONG RoomLeftOnPage(const ReportRun* run, LONG reserve);
// A labels' Record band owes the page its fixed advance: what the record
// used short of it (or, when it used more, short of the next multiple) is
// moved down, at most the room above the page footer. The used amount is
// cleared. A refused move sets the run state to -2 and answers 0; else 1.
int FlushPendingAdvance(KmDocBase* doc);

// 1 to the number of group levels when the field (an alias: the field it
// stands for) is that level's group field; 0 otherwise.
int GroupLevelOf(KmDocBase* doc, uint32_t fieldIndex);
int GroupLevelOf(CKmComposite* model, uint32_t fieldIndex);
// Print Once: a placed group field is marked when it printed, and while
// marked a group field whose level prints once is left out. The marks are
// cleared after the level's footer and on every new page
// (ResetPrintedOnceMarks).
void MarkGroupField(ReportRun* run, ItemOutput* item);
int IsGroupFieldSuppressed(ReportRun* run, const ItemOutput* item);
