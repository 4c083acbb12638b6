// The records through which every subsystem sees a report's data: one field
// (FieldDef), the header in front of a memo value (ValueHeader), one master or
// lookup table (TableSlot) and a block of linking-field pairs (JoinLink), with
// their flag bits. In memory these are plain records with real pointers; the
// file subsystem writes them field by field, so no member order here is a
// byte layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct FieldBinding;
struct TableSqlState;

// The common head of every layout item (fields, texts, lines, boxes, pictures,
// charts). Fields begin with one; the layout code reads and writes the rest.
struct ReportItemHead {
  uint8_t bandLine = 0;
  int32_t column = 0;
  uint8_t width = 0;         // columns; at most 254 for fields
  uint8_t fontStyle = 0;     // 1 bold, 2 italic, 4 underline, 8 strikeout
  uint32_t flags = 0;        // ItemKind bits (kItemKind*) and state bits
  int32_t pointSize = 0;     // tenths of a point
  int32_t measuredWidth = 0;
  int32_t descent = 0;       // pixels below the baseline
  int32_t fontIndex = 0;
  int32_t left = 0, top = 0, right = 0, bottom = 0;  // layout pixels, inclusive
  int32_t height = 0;
  void* fontHandle = nullptr;
  uint8_t colour = 0;
  uint16_t faceAtom = 0;
  ReportItemHead* nextInOrder = nullptr;  // the item list in vertical order
  ReportItemHead* prevInOrder = nullptr;
  int32_t lineOffset = 0;
  int32_t savedLeft = 0;
};

// ItemKind bits of ReportItemHead::flags.
constexpr uint32_t kItemSelected = 0x1;
constexpr uint32_t kItemFixedPosition = 0x2;
constexpr uint32_t kItemDeleted = 0x4;
constexpr uint32_t kItemKindPicture = 0x10;
constexpr uint32_t kItemInClipboard = 0x20;
constexpr uint32_t kItemKindLine = 0x40;
constexpr uint32_t kItemKindField = 0x80;
constexpr uint32_t kItemKindBox = 0x100;
constexpr uint32_t kItemKindOle = 0x200;
constexpr uint32_t kItemKindChart = 0x400;
constexpr uint32_t kItemGraphicKinds = 0x750;
// Every kind bit, graphic or field; an item carries at most one kind (a line
// or box may carry both of its own), and the kind says which record holds it.
constexpr uint32_t kItemKindBits = kItemGraphicKinds | kItemKindField;

// The record an item head belongs to, as its kind bits say.
enum class ItemShape : uint8_t { Text, Field, LineBox, Picture, Chart, Ole, Mixed };
constexpr ItemShape ShapeOfFlags(uint32_t flags) {
  const uint32_t k = flags & kItemKindBits;
  return k == 0                             ? ItemShape::Text
         : k == kItemKindField              ? ItemShape::Field
         : (k & ~(kItemKindLine | kItemKindBox)) == 0 ? ItemShape::LineBox
         : k == kItemKindPicture            ? ItemShape::Picture
         : k == kItemKindChart              ? ItemShape::Chart
         : k == kItemKindOle                ? ItemShape::Ole
                                            : ItemShape::Mixed;
}
// What a message calls an item of that shape.
const char* ItemShapeName(ItemShape shape);

// FieldDef::flags.
constexpr uint32_t kFieldPreviousRelated = 0x1;
constexpr uint32_t kFieldAlias = 0x2;
constexpr uint32_t kFieldNumeric = 0x4;
constexpr uint32_t kFieldCalculation = 0x8;
constexpr uint32_t kFieldRemoveMark = 0x10;
constexpr uint32_t kFieldRemovePropagated = 0x20;
constexpr uint32_t kFieldTotalRelated = 0x40;
constexpr uint32_t kFieldItem = 0x80;
constexpr uint32_t kFieldLogical = 0x100;
constexpr uint32_t kFieldDate = 0x200;
constexpr uint32_t kFieldRecordNumber = 0x400;
constexpr uint32_t kFieldPageNumber = 0x800;
constexpr uint32_t kFieldJoin = 0x1000;
constexpr uint32_t kFieldMemo = 0x2000;
constexpr uint32_t kFieldDoubleWidth = 0x4000;  // also: keeps its previous value
constexpr uint32_t kFieldNeeded = 0x8000;
constexpr uint32_t kFieldDateTime = 0x10000;
constexpr uint32_t kFieldTime = 0x20000;
constexpr uint32_t kFieldKindMask = 0x32304;  // 0 is text

// FieldDef::flags2.
constexpr uint32_t kField2FilterText = 0x8;
constexpr uint32_t kField2KeepRefNumber = 0x80;
constexpr uint32_t kField2NotInTable = 0x100;
constexpr uint32_t kField2UsedByFilter = 0x800;
constexpr uint32_t kField2ValueSetElsewhere = 0x4000;
constexpr uint32_t kField2UsedByChart = 0x10000;

// FieldDef::dictFlags.
constexpr uint32_t kFieldDictFormula = 0x1;       // a formula from the report dictionary
constexpr uint32_t kFieldDictFilterHidden = 0x2;  // left out of the filter lists
constexpr uint32_t kFieldDictInsertHidden = 0x4;  // left out of the Insert Field lists

// FieldDef::totalFlags, the field's display flags.
constexpr uint8_t kTotalHidden = 1;  // not on the layout: neither drawn, selectable nor printed
constexpr uint8_t kTotalIsTotal = 2;
constexpr uint8_t kTotalNullValue = 8;  // the fetched value is SQL NULL
constexpr uint8_t kTotalPreprocessed = 16;
constexpr uint8_t kTotalWarned = 32;
constexpr uint8_t kTotalLevelZero = 64;

// FieldDef::table special values.
constexpr uint8_t kTableBeingReplaced = 240;
constexpr uint8_t kTableDerivedColumn = 252;
constexpr uint8_t kTablePerRecord = 254;
constexpr uint8_t kTableNone = 255;

constexpr uint32_t kNoField = 0xFFFFFFFFu;

// One report field: data, calculated, total or alias.
struct FieldDef {
  ReportItemHead head;
  FieldDef* next = nullptr;       // field list, creation order
  FieldDef* orderNext = nullptr;  // chains built by the dependency pass
  uint32_t flags = 0;
  uint32_t flags2 = 0;
  uint32_t flags3word = 0;
  uint8_t totalFlags = 0;
  uint8_t declLengthLow = 0;
  char name[130] = {};
  uint8_t* value = nullptr;  // current value buffer (null outside a pass)
  char* text = nullptr;      // heap, owned: the field's description (comment)
  // From the report dictionary: the extended switch, the security level and
  // the dictionary flags (kFieldDict*).
  uint8_t extended = 0;
  int32_t security = 0;
  uint32_t dictFlags = 0;
  uint8_t reserved[9] = {};
  uint8_t table = 0;  // records start zero-filled: slot 0 until set
  uint8_t joinUses = 0;
  uint32_t refField = 0;
  uint32_t needsPrevious = 0;
  uint8_t* previous = nullptr;
  uint8_t passWork1[21] = {};
  uint32_t width = 0;  // declared width of a data field's value
  uint8_t passWork2[16] = {};
  char* exprText = nullptr;   // calculation text (heap, owned)
  uint8_t* code = nullptr;    // CompiledCode (heap, owned)
  uint32_t codeLength = 0;
  uint8_t declLengthHigh = 0;
  char* sqlText = nullptr;    // heap, owned; null when not translatable
  // Totals: reset level, group level (252/253 special), condition and its code.
  uint8_t totalReset = 0;
  uint8_t totalLevel = 0;
  uint8_t totalFunction = 0;
  char* conditionText = nullptr;      // heap, owned
  uint8_t* conditionCode = nullptr;   // heap, owned
  uint32_t conditionLength = 0;
  // Memo data fields: the two position words of the value in the data row.
  uint32_t memoPosition1 = 0;
  uint32_t memoPosition2 = 0;
  uint8_t passWork3[22] = {};
  uint8_t needed = 0;       // set before a run for fields an evaluation chain needs
  uint32_t displayWidth = 0;
  uint8_t displayDecimals = 0;
  uint32_t formatCode = 0;
  uint32_t timeFormat = 0;
  uint8_t valueStatus = 0;     // low 3 bits current; bits 3-5 those of the value kept in the second half
  uint8_t previousStatus = 0;
  // kTotalNullValue of the value kept as the previous one: the record before
  // was SQL NULL in this field.
  bool previousNull = false;
  // SQL NULL of the values in the previous buffer: bit 0 its own, bit 1 the
  // one kept in its second half (a group's pass exchanges them with the
  // current ones).
  uint8_t previousBufferNulls = 0;
  // Owned by the data-access layer for its per-field state.
  FieldBinding* dataBinding = nullptr;
  // A fetched text whose characters the code page lacks shows them as '?':
  // what each '?' of the value stood for (the text's own '?' as itself), in
  // order, as UTF-8, so that groups and sorts tell such texts apart. Empty
  // when the value lost no character.
  std::string lostChars;
  // A key whose order and equality only the server knows (a type of its
  // own): the query gives, beside the value, its rank among the key's values
  // (equal values one rank, a missing value lowest), and the program's sort
  // and group break compare that rank. Set while such a query is bound.
  bool serverRanked = false;
  double serverRank = 0;
};

// A total field; an alias standing for a total carries the bit too.
inline bool IsTotal(const FieldDef* f) { return (f->totalFlags & kTotalIsTotal) != 0; }
// A total field itself, not an alias of one; false for null.
inline bool IsTotalNotAlias(const FieldDef* f) { return f != nullptr && IsTotal(f) && (f->flags & kFieldAlias) == 0; }
// A field on the layout: a field item whose display flags do not hide it.
// A hidden field keeps its place values; placing it clears the flag.
inline bool IsHiddenField(const FieldDef* f) { return (f->totalFlags & kTotalHidden) != 0; }
inline bool IsPlacedField(const FieldDef* f) {
  return ShapeOfFlags(f->head.flags) == ItemShape::Field && !IsHiddenField(f);
}
// The field an item head belongs to; null for an item of any other kind, so
// a head is never taken for a record it is not.
inline FieldDef* FieldOfItem(ReportItemHead* h) {
  return h != nullptr && ShapeOfFlags(h->flags) == ItemShape::Field ? reinterpret_cast<FieldDef*>(h) : nullptr;
}
inline const FieldDef* FieldOfItem(const ReportItemHead* h) { return FieldOfItem(const_cast<ReportItemHead*>(h)); }
// Off the layout until a user places it: neither drawn, selectable nor printed.
inline void MarkFieldUnplaced(FieldDef* f) {
  f->head.flags &= ~kItemKindField;
  f->totalFlags = static_cast<uint8_t>(f->totalFlags | kTotalHidden);
}
inline void MarkFieldPlaced(FieldDef* f) {
  f->head.flags |= kItemKindField;
  f->totalFlags = static_cast<uint8_t>(f->totalFlags & ~kTotalHidden);
}
// An alias: its value is another field's.
inline bool IsAlias(const FieldDef* f) { return (f->flags & kFieldAlias) != 0; }
// A calculated field that is not a total.
inline bool IsCalc(const FieldDef* f) { return (f->flags & kFieldCalculation) != 0 && !IsTotal(f); }
inline uint32_t FieldKind(const FieldDef* f) { return f->flags & kFieldKindMask; }
inline uint32_t DeclaredLength(const FieldDef* f) {
  return static_cast<uint32_t>(f->declLengthLow) | (static_cast<uint32_t>(f->declLengthHigh) << 8);
}
inline void SetDeclaredLength(FieldDef* f, uint32_t n) {
  f->declLengthLow = static_cast<uint8_t>(n & 0xFF);
  f->declLengthHigh = static_cast<uint8_t>((n >> 8) & 0xFF);
}

// The 67-byte header in front of a memo value (memo buffers only). The byte
// form is given by the offsets below; the memo reader keeps its running
// state in the work bytes.
constexpr size_t kValueHeaderSize = 67;
constexpr size_t kMemoBufferSize = 577;
constexpr size_t kMemoValueBytes = 510;
constexpr size_t kMemoReadBlockSize = 1020;
namespace value_header {
constexpr size_t kInsertField = 0;     // u32
constexpr size_t kReadBlock = 4;       // pointer (8 bytes in this build: 4..11)
constexpr size_t kDoubleSize = 12;     // u32, 577 or 0
constexpr size_t kStateBits = 20;      // u8, 1 after allocation
constexpr size_t kFirstPosition = 31;  // u32
constexpr size_t kSavedPosition = 35;  // u32
constexpr size_t kSecondPosition = 39; // u32
constexpr size_t kReaderWork = 43;     // 24 bytes of reader work
}  // namespace value_header

// Linking-field pairs of a relation: five pairs (parent-side field, key
// field; all ones ends the list) and the next block.
struct JoinLink {
  uint32_t pairs[5][2];
  JoinLink* next;
};

constexpr size_t kTablePathSize = 260;

// One master (slot 0) or lookup table (slots 1-99).
struct TableSlot {
  uint8_t order = 255;       // lookup order (0 master; 255 not yet ordered)
  JoinLink link{};           // the first link block, inline
  uint8_t relationBits = 0;  // 0x10 set, 4/2 approximate kinds, 0x20/0x40/0x60 type, 0x80/1 kept
  uint32_t fieldNumber = kNoField;  // renumbered with the fields
  uint32_t word50 = 0;
  uint32_t word54 = 0;
  uint8_t byte58 = 0;
  char alias[9] = {};
  uint32_t word68 = 0;
  FieldDef* firstField = nullptr;
  uint32_t fieldCount = 0;
  int32_t dataSourceEntry = -1;  // the data source entry the table was chosen from; -1 none
  char path[kTablePathSize] = {};
  uint32_t word344 = 0;
  TableSqlState* dataState = nullptr;  // the data-access layer's per-table state
};

constexpr uint8_t kRelationSet = 0x10;
constexpr uint8_t kRelationApproxNext = 0x4;   // kind 1
constexpr uint8_t kRelationApproxPrev = 0x2;   // kind 2
constexpr uint8_t kRelationKeptBits = 0x89;

constexpr int kMaxTables = 100;

// Copies the file-name part of a path (after the last ':' or '\', '/' too)
// in upper case; an empty path gives an empty text.
void MakeUpperBaseName(const char* path, char* out, size_t outSize);

// The kind of a field from its flags: 8 numeric, 11 logical, 12 memo, 10 date,
// 800 date-time, 801 time, 9 anything else.
int ObjectKindCode(uint32_t flags);

// The warning for a stored field its table no longer has (by name and
// kind): "Joining ..." for a join field.
std::string FieldGoneFromTableText(uint32_t flags, const char* name, const char* table);
