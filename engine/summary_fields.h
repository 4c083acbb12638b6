// Total ("summary") fields: Count, Sum, Average, Minimum, Maximum, Std
// Deviation and Variance, reset per group level, per page or never; the
// group-break test that compares each record's group values with the
// previous record's; the page-space test for a group change and the
// group-break handler that runs before each record.
#pragma once

#include <cstdint>

class CKmComposite;
struct FieldDef;
struct ReportRun;
struct RunCalcState;

// Kinds of a total (FieldDef::totalFunction).
constexpr uint8_t kSummaryCount = 0;
constexpr uint8_t kSummarySum = 1;
constexpr uint8_t kSummaryAverage = 2;
constexpr uint8_t kSummaryMinimum = 3;
constexpr uint8_t kSummaryMaximum = 4;
constexpr uint8_t kSummaryStdDeviation = 5;
constexpr uint8_t kSummaryVariance = 6;
// Reset levels besides the group levels 0-7.
constexpr uint8_t kSummaryResetPage = 254;
constexpr uint8_t kSummaryResetNever = 255;
// Accumulate levels from this one on take a value on every record.
constexpr uint8_t kSummaryEveryRecord = 252;
// A source field's format word bit: a numeric zero counts as no value.
constexpr uint32_t kFormatZeroIsEmpty = 0x200;
// The no value yet mark of a date Minimum or Maximum.
constexpr uint32_t kNoDayValue = 0x80000001u;

// The record pass's summary call (RecordPassHooks::updateSummaries): phase 1 before a
// record, 2 after its calculated fields, any other AddSummaryValue(total).
// 0, or an engine code that ends the record step.
int UpdateSummaries(CKmComposite* model, FieldDef* total, int phase);
int UpdateSummariesOf(RunCalcState* calc, FieldDef* total, int phase);

void AddSummaryValue(RunCalcState* calc, FieldDef* total);
void ResetSummary(RunCalcState* calc, FieldDef* total);
// Resets every total (pass start).
void FinishSummaries(RunCalcState* calc);
// Resets the page totals (reset level 254) and keeps their values as previous.
void ResetPageTotals(RunCalcState* calc);
// The page ends before the record being read takes a place on it: the page's
// figures (its totals and the page list) are kept in their previous buffers
// for its footer, and its totals start again for the next page.
void ClosePageFigures(RunCalcState* calc);

// Empties the previous group values: the next record breaks every level.
void ClearGroupValues(RunCalcState* calc);
// The first used level whose group value changed marks itself and every
// deeper level break pending and takes the new value; true then.
bool DetectGroupBreak(RunCalcState* calc);
// Fills the previous group values with 0x1F and clears (or, with
// setPending, sets) the break-pending bit of every used level.
void ResetGroupBreaks(RunCalcState* calc, int setPending);
// Whether the headers and footers of the breaking levels and the record do
// not fit above the page footer; pageBreakLine is set when one of them has
// a page-break line.
bool GroupChangeDoesNotFit(RunCalcState* calc, int* pageBreakLine);
// Before each record: footers, a new page when the headers would not stay
// with their record, headers. 1 stops the pass.
int HandleGroupBreak(RunCalcState* calc);
// After the last record: feeds the chart-flagged values of every level.
void FeedChartsAtLevel(RunCalcState* calc);

// Whether a field's current value is empty (null number, null or invalid
// date, blank text; logicals never are).
bool IsSummarySourceEmpty(const FieldDef* field);
