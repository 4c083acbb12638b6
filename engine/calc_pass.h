// The calculation side of a report run: the calculated fields and totals of
// one band list (a group level, the page or the whole report), the totals
// pre-pass that writes pre-processed totals into the "TOT" work file, and the
// state block the run keeps for summaries and group breaks (ReportRun::calc).
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "core/fields.h"
#include "model/record_sort.h"

class CKmComposite;
class KmDocBase;
struct ReportRun;

constexpr int kRunGroupLevels = 8;
constexpr int kGroupSlotBytes = 255;  // a group value's text: at most 254 characters and a NUL
// One previous group value, kept as its key (the record sort's own form, so
// that a group is exactly a run of the sort's ties): a text's at most 254
// characters and what they lost to the code page.
constexpr uint32_t kGroupKeyBytes = SortKeySegmentRoom(kGroupSlotBytes - 1);
// Fills the slots when the breaks are reset: no key starts with it, so a slot
// of the fill holds no value and the next record breaks every level.
constexpr uint8_t kGroupSlotFill = 0x1F;
static_assert((kGroupSlotFill & kSortKeyPresent) == 0, "a filled slot must read as holding no key");

// Band lists of the calculated-fields pass besides the group levels 0-7.
constexpr int kPageList = 254;
constexpr int kReportList = 255;

// Group options of a level.
constexpr uint8_t kGroupResetPage = 0x02;
constexpr uint8_t kGroupPrintOnce = 0x04;
constexpr uint8_t kGroupSwapFooter = 0x08;
constexpr uint8_t kGroupSwapHeader = 0x10;
constexpr uint8_t kGroupRepeatHeader = 0x20;
// Run bits of a level (the three low ones are cleared after every record).
constexpr uint8_t kRunBreakPending = 0x01;
constexpr uint8_t kRunHeaderBusy = 0x02;
constexpr uint8_t kRunHeaderRepeated = 0x04;

struct RunGroupLevel {
  uint32_t field = kNoField;  // all ones: unused, ends the used levels
  uint8_t options = 0;
  uint8_t runBits = 0;
};

// Running figures of one total (Average, Std Deviation, Variance). The
// deviation is kept as the sum of squared distances from the running mean,
// so that equal or large values never give a negative variance.
struct SummaryAccum {
  int32_t count = 0;
  double sum = 0.0;
  double mean = 0.0;
  double squares = 0.0;
};

// One total's figure at one moment: its value, status and running figures.
struct TotalFigure {
  FieldDef* total = nullptr;
  std::vector<uint8_t> value;
  uint8_t status = 0;
  bool running = false;  // it had running figures (accum)
  SummaryAccum accum;
};

// The run's calculation and group-break state (ReportRun::calc).
struct RunCalcState {
  CKmComposite* model = nullptr;
  ReportRun* run = nullptr;  // the run whose page mechanics and bands the group breaks drive
  RunGroupLevel levels[kRunGroupLevels];
  int32_t levelsUsed = 0;  // leading used levels (0-8)
  // The group values of the last record that broke, one slot of
  // kGroupKeyBytes per level; the next record's keys are compared with them.
  uint8_t previousGroup[kRunGroupLevels * kGroupKeyBytes] = {};
  // The record sort's settings the group break builds and compares keys
  // with, brought up to date before each record (kept here so that a record
  // costs no sort state of its own; no sort runs on it).
  SortContext groupSort;
  int32_t brokenLevel = -1;  // the outermost level of the last break
  int32_t recordsOutputPrepass = 0;  // the pre-pass's own "a record was output"
  // Group sequencing marks (set here before each record, read by band sequencing).
  int groupBreakPending = 0;
  int pageAffectingBreak = 0;
  int pageResetPending = 0;
  int swapHeaderPending = 0;
  int swapHeaderDone = 0;
  int footerSwap = 0;
  int32_t headerSpace = 0;
  int32_t reservedFooterSpace = 0;
  // The page that the record does not fit on was closed before the record
  // counted: its page totals and page-list figures wait in their previous
  // buffers for that page's footer.
  int pageFiguresKept = 0;
  int bandInProgress = 0;
  // Page totals count a record on the page it prints on: the record pass
  // hands over those the record counts in, and the run adds the record to
  // them once its page is settled (TakeRecordPageTotals).
  std::vector<FieldDef*> recordPageTotals;
  // Records across: the page totals as they stood before the row being
  // collected, and over the records of that row alone. A row that goes to the
  // next page leaves the first to the page it leaves and starts the next
  // page with the second.
  std::vector<TotalFigure> beforeRow, ofRow;
  // Band lists: the calculated fields and totals shown in the bands of each
  // group level (0-7), of the page (8) and of the report (9).
  std::vector<FieldDef*> bandLists[kRunGroupLevels + 2];
  bool bandListsBuilt = false;  // else made from the run's layout at the first pass
  // Totals: running figures, by total field.
  std::unordered_map<const FieldDef*, SummaryAccum> accum;
  // The totals pre-pass: the report's sort fields (all ones ends them; taken
  // from the model's sort slots) with their directions, and the pre-pass's own work.
  uint32_t sortFields[kRunGroupLevels] = {kNoField, kNoField, kNoField, kNoField,
                                          kNoField, kNoField, kNoField, kNoField};
  uint16_t sortAscending[kRunGroupLevels] = {1, 1, 1, 1, 1, 1, 1, 1};  // 0: descending
  struct TotalsWork* totalsWork = nullptr;
  int totalsFileExists = 0;
};

// Makes the block for a run on the model (levels from the group fields of
// the model); DeleteRunCalcState frees it with its totals work.
RunCalcState* NewRunCalcState(CKmComposite* model);
void DeleteRunCalcState(RunCalcState* calc);
// The block of the run the model's document is running (null outside a run).
// The document's run comes first; a model without one (a run driven from
// outside the document) finds the block bound to it.
RunCalcState* RunCalcOf(CKmComposite* model);
void BindRunCalc(CKmComposite* model, RunCalcState* calc);  // null unbinds

// The band lists from the layout: each calculated field or total placed on a
// band line goes to the list of that band (group header and footer: their
// level; page header and footer: the page; title and summary: the report).
// lines: the band-line table (count records).
struct BandLineRec;
void BuildBandLists(RunCalcState* calc, const BandLineRec* lines, int count);
// Index of a band list (0-7, 254, 255) in RunCalcState::bandLists; -1 none.
int BandListIndex(int list);

// Evaluates the calculated fields and totals of one band list (0-7, 254,
// 255) with the values of the record that ended the group, and keeps them as
// previous values. 0, or an engine code.
int CalcBandFields(CKmComposite* model, int list);

// Reads all records once and writes the pre-processed totals of every group
// into the totals work file, which is left open for the run to read back
// (through its index when groups are sorted by totals; the records then come
// by group from the components file). needsReopen is set when the caller
// must run the query again for the report pass. 0, or an engine code (3121,
// 3188, 3190-3194, 3197, 3201, or the record pass's own).
int RunTotalsPrepass(CKmComposite* model, int progressArg1, int progressArg2, int* needsReopen);

// In the pre-pass, before the totals of the breaking levels restart: keeps
// the figures of the groups that just ended for the totals file.
void KeepFinishedTotals(RunCalcState* calc);

// The field's value into its previous buffer (with its status).
void KeepValueAsPrevious(CKmComposite* model, FieldDef* field);
// A total that starts again on every page.
bool IsPageTotal(const FieldDef* field);
// Whether the Page Footer shows the field's previous value because it is a
// figure of the page that was closed before the current record.
bool ShowsClosedPageFigure(const RunCalcState* calc, const FieldDef* field);
// A page total, or a field of the page's band list.
bool IsPageFigure(const RunCalcState* calc, const FieldDef* field);

// Closes the totals file and frees the pre-pass's level lists.
void ReleaseTotalsWork(CKmComposite* model);
void ReleaseTotalsWorkOf(RunCalcState* calc);
// Clears the break-pending bit of each leading used group level.
void ClearGroupBreakFlags(CKmComposite* model);

// Predicates for field and relation editing.
bool IsSortField(CKmComposite* model, uint32_t id);
bool IsGroupField(CKmComposite* model, uint32_t id);
bool HasTotalOfField(CKmComposite* model, uint32_t id);
bool HasAliasOfField(CKmComposite* model, uint32_t id);
// Gives up the linking fields of a table's relation: each parent-side field
// loses one use (its join mark goes with the last); link calculations made
// for the relation alone (no layout item) are deleted with their last use.
// The relation is left without pairs.
void ReleaseFieldDependencies(CKmComposite* model, uint32_t tableSlot);

