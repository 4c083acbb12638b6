// The document-side services the run shares with the designer: the record
// counters of the run status, the run-time field marks, keeping field numbers
// right when a field goes, and the checks of QUERY and SQLEXP in expressions.
#pragma once

#include <cstddef>
#include <cstdint>

class KmDocBase;
class CKmComposite;
struct RunCounters;
struct FieldDef;

// ---- Record counters, shown in the run status dialog of the model's
// document (RunShell::ShowCounter): "Records Read:", "Selected:", "Group
// totals read:" and the "LIMITED " marker.

// The model's record counters (CKmComposite::counters).
RunCounters& CountersOf(CKmComposite* m);

// The record pass's status call-back: counts one record read. Nonzero stops.
int CountRecordRead(CKmComposite* m);
void ResetRecordCounters(CKmComposite* m);
void ResetReadCounter(CKmComposite* m);
void CountSelected(CKmComposite* m, bool force);
void ResetGroupTotalsCounter(CKmComposite* m);
void CountGroupTotalRead(CKmComposite* m);
void ClearStatusCounters(CKmComposite* m);
// The three above as the totals sort steps through them (the record pass's
// hook): 0 reset, 1 count one group, 2 take the counters down.
void GroupTotalsCounterStep(CKmComposite* m, int step);
// The record sort's counters (RecordPassHooks::selectedCounter).
void SelectedCounterStep(CKmComposite* m, int step);
// limited: the query's record limit is set.
void ShowLimitedCounts(CKmComposite* m, bool sortedTotals, bool limited);
void ShowCounters(CKmComposite* m);

// ---- Run-time field lists.
// Marks every field the report needs as in use (0x8000) and repeats the
// dependency marking until nothing changes.
void RebuildRunLists(KmDocBase* doc, int repeatArg, bool all);
void ResolveQueryFields(KmDocBase* doc);
bool UsesMemoFields(CKmComposite* m);
bool IsGroupSlotField(CKmComposite* m, uint32_t index);
// A data field that a used total summarises.
bool IsTotalSource(CKmComposite* m, uint32_t index);

// ---- Field references held by the document.
// The model's field-deletion call-back: the document's band lines follow
// the numbers down (the model moves its own references).
void OnFieldDeleted(CKmComposite* m, uint32_t id);
void RenumberFieldRefs(KmDocBase* doc, uint32_t oldId, uint32_t newId);
// Connects the model to the document: OnFieldDeleted as its deletion
// call-back and RebuildRunLists for its in-use checks.
void InstallRunListHooks(CKmComposite* m);

int GetLineHeightUnit(const KmDocBase* doc, int heightMode);

// ---- QUERY and SQLEXP.
// The first call of function in the code: the model's QUERY value in *value;
// *error 0 when the code is only that call, else 56. False without a call.
bool FindQueryCall(CKmComposite* m, const uint8_t* code, size_t length, uint32_t function,
                   int32_t* value, int* error);
// 0, 56, 57, 59 or 60 (compile errors) for a field whose code was just
// made (none: a function or plain expression); listed is the field of the
// list that field stands for, when field is a copy.
int CheckFieldForExpression(CKmComposite* m, FieldDef* field, const uint8_t* code, size_t length,
                            int32_t* value, const FieldDef* listed = nullptr);
// Makes the compiler run CheckFieldForExpression over every code it makes.
void InstallExpressionChecks(CKmComposite* m);
bool IsFilterOnField(CKmComposite* m, uint32_t id);
// The code is a block whose body is exactly one SQLEXP call.
bool IsSingleCallCode(const uint8_t* code, size_t length);

// ---- The document's report set-up.
struct TextItem;
// A new or cleared report: filter, run counters, pages, sort and group
// slots, page set-up (word 18 = 1), band lines, record repeat field, grid
// steps and text items; the document is marked modified.
void ResetRunSettings(KmDocBase* doc);
// No sort order and no groups: field numbers of another report mean nothing here.
void ResetSortAndGroups(CKmComposite* m);
// The report state of a report just opened (opened) or made new: the
// model's field-deletion and run-list hooks; for a new report also the
// first band line (a Record line), hidden fields, and the page set-up's
// paper and margins from the settings, with the page metrics.
void InitReportState(KmDocBase* doc, bool opened);
// Fields marked for removal are hidden again (the designer's deletes made
// final), their marks cleared.
void CommitMarkedFields(KmDocBase* doc);

// Text items of the layout (the document's list).
TextItem* AppendTextItem(KmDocBase* doc);
// With a zeroed text block of size bytes; null (nothing kept) on failure.
TextItem* NewTextItem(KmDocBase* doc, uint32_t textSize);
// False when the item is not in the list (an internal error).
bool DeleteTextItem(KmDocBase* doc, TextItem* item);
void FreeTextItems(KmDocBase* doc);

// A copy of a field: an alias with its format and item head, shown.
FieldDef* DuplicateField(KmDocBase* doc, FieldDef* field);
// The alignment (0 left, 1 centre, 2 right) of a layout item: graphic items
// by their alignment byte, fields by their format's alignment nibble.
struct ReportItemHead;
int GetObjectAlignment(KmDocBase* doc, const ReportItemHead* object);

