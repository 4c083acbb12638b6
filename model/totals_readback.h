// Totals read back by group: the totals file of the pre-pass ("TOT", one
// record per group break) read sequentially or through its index, values of
// pre-processed totals restored at each break, and the selection field that
// the record step tests.
#pragma once

#include <cstdint>
#include <string>

class CKmComposite;
struct FieldDef;

// Opens the totals file and, when named, its index (made by this run:
// removed with the work files). 0, 3185 or 3186.
int OpenTotalsFiles(CKmComposite* model, const std::string& totalsFile, const std::string& indexFile);

// Reads one totals record: level 255 reads the level byte, any other level
// skips it. 0, 1 the end of the file, 2 a read error or a damaged record,
// 3 a last-key record (its group count and flag follow).
int ReadTotalsRecord(CKmComposite* model, int level);
// The same for the totals sort: the key values go into their fields' value
// buffers too, and the record's level is given back.
int ReadTotalsRecordWithKeys(CKmComposite* model, int* level);
// Reads records up to the next last-key record; its group's start in the
// components file and its count. 0, 3075 at the end, 3186 or 3200.
int ReadNextTotalsGroup(CKmComposite* model, uint32_t* mark, uint32_t* count);
// Pre-processed totals: current values into their previous buffers.
void SavePreprocessedValues(CKmComposite* model);

// Compiles the report's selection condition into model->selectionField
// (an empty text: none). 0, 3122 when it does not compile, 3123 when it is
// not logical or rests on a total that is not pre-processed at the lowest
// pre-processed level, 3121 without memory.
int CompileSelectionField(CKmComposite* model, const char* selectionText);
void RemoveSelectionField(CKmComposite* model);

// At a group break of the report run: reads the totals records of the levels
// from firstLevel (0 at the start of the file) to the last key level into
// the pre-processed totals, then evaluates again what rests on them. 0, or
// 3200 on a read error. Nothing is read in the totals pre-pass, without a
// totals file, or while the groups come from the totals file itself.
int LoadPreprocessedTotals(CKmComposite* model, int firstLevel);
// Evaluates again the needed calculations of a chain (through orderNext).
void RecalculatePreprocessed(CKmComposite* model, FieldDef* chain);
// Evaluates again the fields that show group-break values (flag 0x800), for
// the current record and, with the buffers exchanged, for the previous one.
void SwapValueBuffers(CKmComposite* model);
