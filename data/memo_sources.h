// Where the program's memo texts come from: a text table's sections, read
// from its file, and long text columns, read from the whole text the last
// fetch brought. The printed and exported texts come through it, and the
// record pass reaches it through RecordPassHooks::memoReader.
#pragma once

#include <cstddef>
#include <cstdint>

class CKmComposite;
struct FieldDef;
struct MemoReader;

// Fetch buffer of a long text column: its whole text up to this many bytes
// (as much as a memo prints; the buffer is made once per run).
constexpr uint32_t kMemoFetchBytes = 1u << 20;

// Whether the field is a long text column of the database (fetched whole).
bool IsLongTextColumn(const FieldDef* field);

// The reader of a memo field or long text column positioned on its current
// text; null when the field has no memo text to read.
MemoReader* MemoReaderFor(CKmComposite* model, FieldDef* field);

// Marks needed (0x8000) the fields that the field codes of the needed text
// table sections name, so the query fetches them for the texts.
void MarkMemoFieldCodes(CKmComposite* model);
