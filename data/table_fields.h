// Report fields made from SQL result columns, and the per-row conversion of
// fetched column buffers into the fields' value buffers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/fields.h"
#include "core/model_attachment.h"

class CKmComposite;
struct FieldDef;
struct TableSlot;

// FieldDef::flags2 bits owned here.
constexpr uint32_t kField2SqlCondition = 0x200;  // usable in SQL conditions
constexpr uint32_t kField2ServerComputed = 0x4000;
// A calculation the server computes as a column of its own. The bit alone
// never makes one: it comes back from a file, and on a data column or an
// alias it would change the shape of the fetch.
inline bool IsServerComputed(const FieldDef* f) {
  return (f->flags2 & kField2ServerComputed) != 0 && (f->flags & (kFieldCalculation | kFieldAlias)) == kFieldCalculation;
}
// TableSlot flag kept in the table's data state: every column has a supported type.
constexpr uint32_t kTableAllColumnsSupported = 0x10;
// The table's name was rebuilt from a Btrieve "(TABLENAME='" reference.
constexpr uint32_t kTableBtrieveName = 0x400;

// What a data field knows of its result column (hangs from FieldDef::dataBinding).
struct FieldBinding {
  uint8_t columnType = 0;   // database library column kind (1..10)
  long dbType = 0;          // database type number
  bool serversOwnType = false;  // see DataAccess::ColumnTypeIsServersOwn
  bool ordersAsText = false;    // see DataAccess::ColumnOrdersAsText
  bool neverMissing = false;    // see DataAccess::ColumnNeverMissing
  uint32_t precision = 0;
  uint32_t scale = 0;
  uint8_t* fetchBuffer = nullptr;  // owned
  uint32_t fetchSize = 0;
  int32_t fetchedLength = 0;       // the bound length cell
  // The field's GetFieldStorageSize when its buffer was bound (0: not known):
  // every fetched row's value is cut to it.
  uint32_t storageSize = 0;
  // The date text a row gave last and its day (length 0: none yet).
  char lastDateText[40] = {};
  uint8_t lastDateLength = 0;
  uint32_t lastDay = 0;
  // The result column it is bound to (from 1), and the characters the
  // current row's text lost to the code page (FieldDef::lostChars) when the
  // row came from the record cache.
  int column = 0;
  std::string lostChars;
  // Its field groups or sorts the report: a text that lost characters to the
  // code page keeps them (FieldDef::lostChars).
  bool keepsLostChars = false;
  // Its field is a key the SELECT ranks (FieldDef::serverRanked): the rank's
  // buffer and length cell.
  bool ranked = false;
  uint8_t rankBuffer[8] = {};
  int32_t rankLength = 0;
};

// Per-table state of the data layer (hangs from TableSlot::dataState).
// Frees a table slot with the data layer's state of it.
void FreeTableSlotAndState(CKmComposite* model, uint32_t slot);

struct TableSqlState {
  uint32_t flags = 0;
};

// Settings and run state of the SQL side of one model.
struct SqlRunState : ModelAttachment {
  static constexpr AttachmentSlot kSlot = AttachmentSlot::kSqlRun;
  SqlRunState();

  uint32_t longCharLimit = 80;
  int longCharWrap = 0;
  uint32_t memoLimit = 30;
  int memoWrap = 1;
  int charRaw = 0;
  int asciiEditor = 1;
  uint32_t longestValue = 255;        // longest value a field buffer holds, NUL included
  uint32_t fetchMask = 0x8000;        // flag bits that mark fetched fields
  uint8_t queryTables[101] = {};      // table numbers in query order, 255 ends
  int queryTableCount = 0;
  // Query calls.
  long recordLimit = 0;
  int sortColumnCount = 0;
  // Shared dummy target of leading columns that are no fields.
  char dummy[2] = {};
  int32_t dummyLength = 0;
  std::string typeText;
};

// The bindings of the model's fields and the states of its tables: they go
// with this attachment, which the run state makes, so with the model; a
// document drops it early, while its fields and tables still exist.
struct SqlFieldState : ModelAttachment {
  static constexpr AttachmentSlot kSlot = AttachmentSlot::kSqlFields;
  explicit SqlFieldState(CKmComposite* owner) : model(owner) {}
  ~SqlFieldState() override;
  CKmComposite* model;
};

SqlRunState* GetSqlRunState(CKmComposite* model);
// The kmw.ini [Database] and [Special] column settings the field lists use:
// widths of long character and memo columns, their wrapping, raw text.
struct DocSettings;
void ApplySqlColumnLimits(CKmComposite* model, const DocSettings& settings);
FieldBinding* GetFieldBinding(FieldDef* field, bool create);
TableSqlState* GetTableSqlState(TableSlot* table, bool create);

// Where the error dialogs of this layer go (null: nowhere).
void SetSqlMessageSink(void (*sink)(const char* text, bool warning));
void ShowSqlMessage(const char* text, bool warning);

// Gives table slot `table` its field list from a zero-row SELECT over the
// table, a user SELECT or a procedure call. 0 success, 1 failure.
int BuildSqlFieldList(CKmComposite* model, uint32_t table, const char* userSql,
                      const char* substitutions, const char* const* columnNames, bool quiet,
                      char* errBuf, int errSize);
int ReadColumnInfo(CKmComposite* model, const char* sql, FieldDef* field, int setType,
                   bool reportErrors);
int BindResultColumns(CKmComposite* model, bool allocate, int leadingColumns);
// Marks the keys the built SELECT ranks (and no other field) as ranked.
void MarkServerRankedKeys(CKmComposite* model);
// The fields bound to the query's columns in column order, each with the size
// of its fetch buffer; a nonzero answer of fn ends the walk and is returned.
int ForEachBoundField(CKmComposite* model, const std::function<int(FieldDef*, uint32_t)>& fn);
int ConvertFetchedRow(CKmComposite* model);
// Whether the field is one of the report's group or sort keys (an alias
// stands for its field): its texts keep what they lost to the code page.
bool IsGroupOrSortKey(CKmComposite* model, const FieldDef* field);
// The first `limit` characters of a character column as the last fetch
// brought them, line breaks and other control characters as they were (the
// field's value has them folded); false when the field fetched no text.
bool FetchedColumnText(CKmComposite* model, FieldDef* field, size_t limit, std::string* text);
void ConvertFetchedValue(CKmComposite* model, FieldDef* field);
void FreeFieldValueBuffer(FieldDef* field);
const char* GetFieldTypeText(CKmComposite* model, FieldDef* field);

// Number kind, display width, decimals and format of a numeric column type
// (3 decimal and 10 money use precision p and scale s; a floating-point
// column of type 6 or 7 uses the scale s when it has one).
void SetNumericFieldKind(FieldDef* f, int type, uint32_t p, uint32_t s, bool floating = false);

// Fractional-second digits after a point as microseconds (".250" is 250000).
uint32_t FractionToMicroseconds(const char* digits);
