// Sorting inside the program: the sort records (a header, payload words and
// one key segment per key), their order, run formation in a memory pool and
// the merge of the runs, plus the record sort that orders the selected master
// records into a file of record positions. The driver that runs the two
// phases is RunExternalSort (model/external_sort.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/byte_order.h"
#include "model/work_files.h"

class CKmComposite;
struct FieldDef;

// Key kinds, chosen from the key field's type bits.
enum SortKeyKind : uint32_t {
  kSortKeyText = 0,
  kSortKeyNumber = 1,
  kSortKeyDate = 2,
  kSortKeyLogical = 3,
  kSortKeyDateTime = 4,
  kSortKeyTime = 5,
};
SortKeyKind SortKeyKindOf(uint32_t fieldFlags);

// Key segment tag bits.
constexpr uint8_t kSortKeyPresent = 0x80;
constexpr uint8_t kSortKeyNull = 0x08;
constexpr uint8_t kSortKeyClassBits = 0x07;
// A text key whose text lost characters to the code page: what its '?'
// stood for follows the text (at most kMaxSortKeyLost bytes and a NUL).
constexpr uint8_t kSortKeyLost = 0x40;
constexpr uint32_t kMaxSortKeyLost = 1000;
// Where a value's three status bits (kSortKeyClassBits) put it among the
// values of its key; values with status bits of one rank sort as equals.
// 1 is the rank of a value without status bits.
int StatusClassRank(uint8_t status);

constexpr int kMaxSortKeys = 8;
constexpr uint32_t kMaxSortKeyText = 1000;
// The most bytes one key segment takes when its texts hold at most
// textChars characters: the tag, the text and its NUL, what it lost and a NUL.
constexpr uint32_t SortKeySegmentRoom(uint32_t textChars) { return 1 + textChars + 1 + kMaxSortKeyLost + 1; }
constexpr uint32_t kDefaultSortPoolSize = 524288;
constexpr uint32_t kMinSortPoolSize = 10000;
constexpr int kMaxMergeFanIn = 20;
constexpr int kRunFileObjects = 21;  // 20 inputs and the output of a merge step

struct SortContext;
typedef int (*SortBeginProc)(SortContext& ctx);
typedef void (*SortEndProc)(SortContext& ctx);
// 0 a record is ready; 3075 no more; 3074 stopped; anything else an engine code.
typedef int (*SortNextProc)(SortContext& ctx);
// Builds the current record's sort record at area (room bytes): writes the
// length and payload and the key segments, raises ctx.longest; 0 when it
// fits, non-zero when not.
typedef int (*SortKeyProc)(SortContext& ctx, uint8_t* area, uint32_t room);
// Receives the records in sorted order; file may hold no file. 0 done.
typedef int (*SortOutputProc)(SortContext& ctx, WorkFile& file, const uint8_t* record);

// The state of one sort.
struct SortContext {
  CKmComposite* model = nullptr;
  void* user = nullptr;  // the caller's own state

  // Keys, most significant first.
  int keyCount = 0;
  uint32_t keyKinds[kMaxSortKeys] = {};
  uint32_t ascending[kMaxSortKeys] = {};
  uint32_t payloadWords = 1;
  uint32_t keyOffset = 12;

  // Comparison settings.
  int32_t nullOrder = 0;          // 0 lowest, 1 highest, 2 always first, 3 always last
  int32_t nullNumbersAsZero = 1;  // null numbers and times compare as 0.0
  int32_t caseCombined = 1;       // fold case in text keys
  int32_t collation = 0;          // use the collation rules for text keys
  uint32_t textKeyLimit = kMaxSortKeyText;  // characters of a text a key holds
  // A key the server ranks (FieldDef::serverRanked) compares by its rank, a
  // number: the records' own keys, not values read back from elsewhere.
  bool serverRanks = false;

  uint32_t poolSize = kDefaultSortPoolSize;
  uint32_t phase = 3;
  uint32_t longest = 0;
  uint32_t sequence = 0;
  int32_t lastRun = -1;
  int32_t stopped = 0;
  bool phaseShown = false;
  std::string outputName;  // empty: the output call-back gets no file

  WorkFile runFiles[kRunFileObjects];

  SortBeginProc begin = nullptr;
  SortEndProc end = nullptr;
  SortNextProc next = nullptr;
  SortKeyProc key = nullptr;
  SortOutputProc output = nullptr;

  // Figures of the last sort, for tests and benchmarks.
  uint32_t runsWritten = 0;
  uint32_t mergeSteps = 0;
};

// The kind of a key of the sort: a number for a key the server ranks.
SortKeyKind SortKeyKindOf(const SortContext& ctx, const FieldDef* field);

// Shows a message of the sort ("Cannot create sort temporary file" and the
// like) where the record pass shows its own (RecordPassHooks::message).
void ShowSortMessage(const char* text);

// ---- Sort records
inline uint32_t SortRecordLength(const uint8_t* r) { return GetU32(r); }
// The longest sort record that keys of these kinds can make.
uint32_t MaxSortRecordLength(const SortContext& ctx);

// Appends one key segment at p (room bytes left); returns the bytes written or
// 0 when it does not fit. Texts: pads become blanks, trailing blanks go, at
// most 1,000 characters, then a NUL.
uint32_t PutTextKey(uint8_t* p, uint32_t room, uint8_t tag, const char* text, size_t length,
                    unsigned char pad);
uint32_t PutNumberKey(uint8_t* p, uint32_t room, uint8_t tag, double v);
uint32_t PutDateKey(uint8_t* p, uint32_t room, uint8_t tag, uint32_t day);
uint32_t PutLogicalKey(uint8_t* p, uint32_t room, uint8_t tag, uint8_t v);
uint32_t PutDateTimeKey(uint8_t* p, uint32_t room, uint8_t tag, uint32_t day, double time);
uint32_t PutTimeKey(uint8_t* p, uint32_t room, uint8_t tag, double time);

// The order of two texts that read the same in the code page by what their
// '?' stood for (FieldDef::lostChars, null or empty for a text that lost
// none: its own '?' then stand for themselves); 0 when neither lost any.
int CompareLostChars(const char* a, size_t lengthA, const char* lostA, const char* b, size_t lengthB,
                     const char* lostB);

// Appends the key segments of the fields' current values after the header
// and payload (ctx.keyOffset); the record's end, or 0 when it does not fit.
uint32_t BuildFieldKeys(SortContext& ctx, FieldDef* const* fields, uint8_t* area, uint32_t room);

// The one key segment of a field's current value (tag and value), as the
// settings' sort builds it, at area (room bytes; SortKeySegmentRoom of the
// settings' text limit always does): the bytes written, or 0 when it does not fit.
uint32_t FieldSortKey(const SortContext& settings, const FieldDef* field, uint8_t* area, uint32_t room);

// The order of two key segments of one kind (each its tag, then its value),
// ascending: negative, 0 or positive. *always is set when the order holds
// whatever the key's direction. The record sort and the group break both
// read it: a group is exactly a run of the sort's ties.
int CompareSortKey(const SortContext& ctx, uint32_t kind, const uint8_t* a, const uint8_t* b, bool* always);

// The program's record sort settings of this model (null order, case, collation).
void InitRecordSortContext(CKmComposite* model, SortContext* ctx);

// 1 when a is to come before b. Equal keys: the earlier arrival comes first.
int CompareSortRecords(const SortContext& ctx, const uint8_t* a, const uint8_t* b);

// ---- The two phases
// Run formation: 0 with ctx.lastRun the last run written (-1: none, every
// record already went to the output call-back), 1 on failure.
int WriteSortRun(SortContext& ctx);
// Merges runs 0..ctx.lastRun into the output; 0 or 1.
int MergeSortRuns(SortContext& ctx);
// Deletes run files 0..last (those not already gone).
void DeleteSortRuns(int32_t last);

// ---- The record sort
// Orders the master records the selection accepts by the key fields (null
// ended, at most 8) and directions (non-zero ascending) into the file of
// 32-bit record positions named in outName; 0 or 1 (outName then empty).
int SortRecords(CKmComposite* model, FieldDef* const* keyFields, const uint32_t* ascending,
                std::string* outName);
// The record sort's settings: pool size (kmw.ini [Special] SortPoolSize;
// 0 or less means the default), null order and null numbers as zero.
void SetRecordSortSettings(CKmComposite* model, int32_t poolSize, int32_t nullOrder,
                           int32_t nullNumbersAsZero);
