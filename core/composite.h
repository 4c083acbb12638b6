// CKmComposite, the report's data model: one per document, alive for the
// whole run. It holds the field list, the table slots and their relations, the
// report items in vertical order, the record-pass state, and the expression
// work area that the compiler and the two evaluators share.
//
// Operations of other subsystems that work on the model are free functions
// taking the composite as their first argument; the state they keep for the
// model hangs from it as attachments (model_attachment.h), which it owns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <type_traits>

#include "core/fields.h"
#include "core/model_attachment.h"

class KmDocBase;
class CKmComposite;
struct SortKeyTable;
struct UdfNode;
struct ValueCell;

// Asked after the calculations of every record; non-zero stops the pass (3074).
typedef int (*RecordCallback)(CKmComposite* model);

// Frees a block from HeapAllocZero: the blocks the model owns are held with it.
struct HeapBlockRelease {
  void operator()(void* block) const;
};
template <class T>
using OwnedHeapBlock = std::unique_ptr<T, HeapBlockRelease>;

// The active text comparison (collation): a, b compared with the strictness
// and case-folding switches; negative, 0 or positive.
typedef int (*CompareTextFn)(CKmComposite* model, const char* a, const char* b, int identical,
                             int casefold);

// What the evaluators need of one user-defined function.
struct UdfCallTarget {
  const uint8_t* code = nullptr;  // null when the function has no compiled code
  uint8_t resultType = 1;         // built-in result type codes (1, 4, 7, 22, 23, 65)
};
// Finds a user function by id; false when none has that id.
typedef bool (*FindUdfFn)(CKmComposite* model, uint32_t id, UdfCallTarget* out);

// Equality of a text with a long-text (memo) field's value, as the record filter
// matches it; 1 equal, 0 not.
typedef int (*MatchLongTextFn)(CKmComposite* model, const char* pattern, FieldDef* memo,
                               bool previous);

// The report's filter as text; false when the report has no filter.
typedef bool (*DescribeFilterFn)(CKmComposite* model, std::string* out);

// Called after a field has been deleted, with its former number.
typedef void (*FieldRemovedHook)(CKmComposite* model, uint32_t fieldNumber);

// Capacities of the expression work area.
constexpr uint32_t kStringWorkSize = 8000;
constexpr uint32_t kEvalStackBytes = 23976;  // (50,000 - 2 x 1,024) / 2
constexpr int kMaxUdfCalls = 128;
constexpr int kMaxUdfFrames = 127;
constexpr int kMaxUdfArgSlots = 128;
constexpr uint32_t kHighestBuiltinSlot = 135;

// Pass phases (passPhase).
constexpr int32_t kPhaseIdle = 0;
constexpr int32_t kPhaseTotalsPrepass = 1;
constexpr int32_t kPhaseChartPrepass = 2;
constexpr int32_t kPhaseReportRun = 3;

// The record counters the run status shows.
struct RunCounters {
  uint32_t recordsRead = 0;
  uint32_t selected = 0;
  uint32_t selectedPending = 0;
  uint32_t groupTotalsRead = 0;
  uint32_t lastShownRead = 0;
  int32_t force = 0;      // show on the next call whatever the count
  int32_t cancelled = 0;  // sticky: a cancel seen once stays seen
  char readText[11] = {}, selectedText[11] = {}, groupText[11] = {};
};

class CKmComposite {
 public:
  explicit CKmComposite(KmDocBase* owner);
  ~CKmComposite();
  CKmComposite(const CKmComposite&) = delete;
  CKmComposite& operator=(const CKmComposite&) = delete;

  // ---- 1. Owner and general state
  KmDocBase* owner = nullptr;
  int32_t chartsInUse = 0;
  int32_t optionWord0 = 0;
  int32_t IdenticalCompare = 0;
  int32_t CompareCaseCombined = 1;
  int32_t optionWord3 = 0;
  int32_t optionWord4 = 0;
  int32_t optionWord5 = 0;
  int32_t passPhase = kPhaseIdle;
  int32_t SortCaseCombined = 1;
  int32_t SpaceDotChar = 183;
  uint8_t* conditionCode = nullptr;  // record filter's stored condition code
  uint16_t conditionLength = 0;
  int32_t totalsPrepassNeeded = 1;
  std::string generalText;
  uint8_t generalBytes[8] = {};
  int32_t optionBlock0 = 0;
  int32_t floatTolerance = 3;  // 3 = equal within 2 units in the last place
  double toleranceRatio = 0.0;
  int32_t exactNumbers = 0;
  int32_t nullOrdering = 0;  // positive: a null date sorts above others

  // ---- 2. Field list
  FieldDef* fieldList = nullptr;
  uint32_t fieldCount = 0;
  FieldDef** fieldIndex = nullptr;
  FieldDef* prefetchCalcList = nullptr;
  FieldDef* calcOrderList = nullptr;
  FieldDef* levelTotalChains[10] = {};  // 8 levels, report (254), running (255)
  FieldDef* selectionField = nullptr;
  FieldRemovedHook fieldRemovedHook = nullptr;
  FieldDef* dialogFieldList = nullptr;
  UdfNode* udfList = nullptr;

  // ---- 3. Table slots and relations
  TableSlot* tableSlots[kMaxTables + 1] = {};
  uint32_t tableCount = 0;
  char* statementText = nullptr;
  std::string reportViewName = "RESULT";
  uint32_t statementOffset = 0;
  std::string statementRefusal;  // why the last statement given was refused (its whole message)
  OwnedHeapBlock<char*[]> reportViewNames;  // null-terminated, names after the pointers
  uint32_t tableWords[kMaxTables + 1] = {};
  int32_t useSelectNames = 0;  // qualify names with the table's name in the SELECT
  int32_t noFetchState = 0;

  // ---- 4. Report item order
  ReportItemHead* itemListHead = nullptr;
  ReportItemHead* itemListTail = nullptr;
  int32_t layoutWidthWord = 0;  // the document's layout width, key of the item order

  // ---- 5. Record pass state
  uint32_t scanMask = 0;
  int32_t lastEngineError = 0;
  int32_t engineComputedFields = 0;  // some field in use is computed by the engine (all of 0xE000)
  OwnedHeapBlock<uint8_t[]> compiledFilter;  // made from conditionCode
  FieldDef* errorField = nullptr;
  char errorName[132] = {};
  FieldDef* evalErrorField = nullptr;
  int32_t evalErrorKind = 0;
  int32_t maxMatchLength = 0;
  RecordCallback recordCallback = nullptr;
  int32_t stopRequested = 0;
  uint32_t recordNumber = 0;
  // The place of the current record among the records the pass accepted (1
  // for the first): RECNO() counts the report's records, not the rows its
  // query returned, whether the database or the program tested the filter
  // and made the order.
  uint32_t reportRecordNumber = 0;
  uint32_t recordsDone = 0;
  uint32_t passCount = 0;
  int32_t tmpPassActive = 0;
  // The report's group and sort slots (the document's settings, kept with
  // the model so that the record stream, the run and field editing share one
  // copy). A slot of all ones ends each list.
  uint32_t groupFields[8] = {kNoField, kNoField, kNoField, kNoField,
                             kNoField, kNoField, kNoField, kNoField};
  uint8_t groupFlags[8] = {};  // each group slot's flag byte (its options)
  uint32_t sortFields[8] = {kNoField, kNoField, kNoField, kNoField,
                            kNoField, kNoField, kNoField, kNoField};
  uint16_t sortWords[8] = {};  // direction and options of each sort slot
  uint16_t sortLengths[8] = {1, 1, 1, 1, 1, 1, 1, 1};  // key lengths
  uint32_t recordRepeatField = kNoField;  // the field whose value repeats each record
  uint32_t currentField = kNoField;       // the designer's current field
  int32_t queryValue = 0;                 // what QUERY() answers in this run
  RunCounters counters;
  SortKeyTable* sortKeyTable = nullptr;  // the totals work's, while it lasts
  uint32_t sortKeyCount = 0;
  int32_t totalsSortWord = 0;
  int32_t preprocessedTotalDeleted = 0;  // set when such a total is deleted
  OwnedHeapBlock<uint8_t[]> ownedPassBlock;

  // ---- 6. Dependency-warning list
  uint8_t* warningList = nullptr;
  uint32_t warningCount = 0;
  uint32_t warningFirstShown = 0;
  uint32_t warningShown = 0;

  // ---- 7. Engine message buffer
  char engineMessage[512] = {};

  // ---- 10. Expression stack area (shared by the compiler and both evaluators)
  uint8_t* evalStackBase = nullptr;
  uint8_t* evalStackLimit = nullptr;
  uint8_t* evalStackTop = nullptr;
  int32_t evalStackOverflow = 0;
  const uint8_t* codePointer = nullptr;
  uint32_t argumentCount = 0;
  int32_t resultLogical = 0;
  int32_t lastResultLogical = 0;
  uint32_t valueFlags = 0;
  uint32_t stringWorkSize = kStringWorkSize;
  char* stringWork1 = nullptr;    // stringWorkSize + 1 bytes
  char* stringWork2 = nullptr;    // stringWorkSize + 1 bytes
  char* stringScratch = nullptr;  // stringWorkSize + 5 bytes
  uint8_t* rotateBuffer = nullptr;  // one whole cell of the largest size
  uint32_t highestBuiltinSlot = kHighestBuiltinSlot;
  int32_t evaluating = 0;
  const uint8_t* returnStack[kMaxUdfCalls] = {};
  int32_t callDepth = 0;
  int32_t frameDepth = 0;
  uint8_t frameTable[kMaxUdfFrames] = {};     // argument count | 0x80 when logical
  uint8_t* frameSlots[kMaxUdfArgSlots] = {};  // end of each argument cell
  int32_t currentFrame = -1;                  // first slot index of the current frame
  int32_t frameSlotsUsed = 0;                 // argument slots of all active frames
  uint8_t* frameBase[kMaxUdfFrames] = {};     // where each frame's first argument begins
  uint32_t udfCallBudget = 0;                 // calls left in this evaluation
  // Type evaluator: 30-byte steps from evalStackBase.
  ValueCell* typeStack = nullptr;
  uint32_t typeStackCapacity = 0;
  uint32_t typeStackCount = 0;
  int32_t typeStackOverflow = 0;
  uint8_t* codeWorkBuffer = nullptr;
  uint32_t defaultTextWidth = 254;
  int32_t doubleWidthWord = 0;
  int32_t logicalWidth = 1;  // copy of the document's width of a logical value
  int32_t stackWord1 = 1;
  // Collation, user functions, memo matching and filter text come from their
  // own subsystems; these hooks are set when those subsystems start.
  CompareTextFn compareText = nullptr;  // null: byte order, or ASCII case folding
  FindUdfFn findUdf = nullptr;
  MatchLongTextFn matchLongText = nullptr;
  DescribeFilterFn describeFilter = nullptr;
  // Releases a data field's fetched-value buffer when the field is deleted.
  void (*releaseFieldData)(CKmComposite* model, FieldDef* field) = nullptr;
  // The data layer's per-table state goes with its slot, however the slot is freed.
  void (*releaseTableData)(TableSlot* table) = nullptr;
  // The expression's SQL text (heap, owned by the field) or null when it
  // cannot be translated; set by the data-access layer.
  char* (*translateToSql)(CKmComposite* model, FieldDef* field) = nullptr;
  // Whether the data source's dialect compares nulls as values in the record
  // filter; set by the data-access layer when it attaches to the model.
  bool (*nullsCompareAsValues)(const CKmComposite* model) = nullptr;
  // Marks the fields the report needs as in use (the document's run lists).
  void (*rebuildRunLists)(CKmComposite* model) = nullptr;
  // Renumbers references held outside the model (filter and sort settings,
  // charts, the document's slots) when SwapFieldRecords replaces a field.
  void (*swapFieldHook)(CKmComposite* model, uint32_t oldNumber, uint32_t newNumber) = nullptr;

  // ---- 11. Compile state
  int32_t compileWord = 1;
  uint32_t compileExtraLength1 = 0;
  uint32_t compileExtraLength2 = 0;

  // ---- Field list (records are made with new by AddField; DeleteField, or
  // delete after unlinking, frees them)
  FieldDef* AddField(uint32_t flags);
  // An alias of a field: its name, value buffer, table and kind, referring to it by number.
  FieldDef* AddFieldAlias(FieldDef* aliased);
  void SyncAliasNames();
  FieldDef* GetFieldAt(uint32_t n) const;
  // The field an alias finally stands for (its value's status is that
  // field's); any other field, or an alias whose chain is broken, is itself.
  const FieldDef* AliasedField(const FieldDef* field) const;
  uint32_t GetFieldIndex(const FieldDef* field) const;
  bool BuildFieldIndex();
  void FreeFieldIndex();
  // Options: 2 keeps link pair numbers, 4 keeps other fields' references.
  // Returns false (internal error 2818 reported) when the field is not listed.
  bool DeleteField(FieldDef* field, uint32_t options);
  // Field n went: the group and sort slots holding it close up (later slots
  // move up with their options), and the numbers above n move down.
  void RemoveFieldFromSlots(uint32_t n);
  uint32_t GetFieldWidth(const FieldDef* field) const;
  uint32_t GetFieldStorageSize(const FieldDef* field) const;
  void FormatQualifiedFieldName(const FieldDef* field, char* out, size_t outSize) const;
  void NormalizeDateKind(FieldDef* field);
  void SwapFieldRecords(FieldDef* oldField, FieldDef* newField);
  // Memo value headers.
  static void CopyValueHeader(uint8_t* toValue, const uint8_t* fromValue);
  static uint8_t* GetValueHeader(uint8_t* value);
  void ResetMemoBuffers();

  // ---- Table slots
  uint32_t AddTableSlot(const char* name, const char* alias, uint8_t order, uint8_t relationBits,
                        FieldDef* firstField);
  void FreeTableSlot(uint32_t n);
  // pairs: field-number pairs ended by all ones. 0, or 3121 out of memory.
  int32_t SetRelation(uint32_t slot, int kind, uint8_t typeBits, const uint32_t* pairs);
  void GetTableOrder(uint8_t map[100]) const;
  void ComputeTableOrder();

  // ---- Report item order
  void UnlinkItem(ReportItemHead* item);
  void InsertItemByPosition(ReportItemHead* item);
  void RelinkItemBackPointers();
  int64_t ItemPosition(const ReportItemHead* item) const;
  void CheckItemPosition(ReportItemHead* item);

  // ---- Engine error codes
  const char* GetEngineErrorText(int32_t code);
  // Shows the text in the error style (never for 3091, whose text is still
  // returned); null for the silent codes.
  const char* ShowEngineError(int32_t code);
  const char* ShowEngineErrorFor(void* ownerWindow, int32_t code);
  static bool IsReportableError(int32_t code);

  // ---- Expression work area and the two evaluators
  // Sets up the evaluation stack and the string work buffers; false when
  // memory is exhausted. The evaluators call it themselves when needed.
  bool InitEvalArea();
  void FreeEvalArea();

  // ---- Attachments: a state type T derives from ModelAttachment and names
  // its slot in T::kSlot. Find answers null while there is none; Get makes
  // it on first use (from the model when T takes one) and answers null only
  // when memory runs out.
  template <class T>
  T* FindAttachment() const {
    return static_cast<T*>(attachments_[static_cast<size_t>(T::kSlot)].get());
  }
  template <class T>
  T* GetAttachment() {
    ModelAttachment* held = attachments_[static_cast<size_t>(T::kSlot)].get();
    return static_cast<T*>(held != nullptr ? held : Attach(T::kSlot, &MakeAttachment<T>));
  }
  // Releases a state before the model goes (nothing when there is none).
  void DropAttachment(AttachmentSlot slot);

 private:
  template <class T>
  static ModelAttachment* MakeAttachment(CKmComposite* model) {
    if constexpr (std::is_constructible<T, CKmComposite*>::value) return new (std::nothrow) T(model);
    else return new (std::nothrow) T();
  }
  // The first use of a slot, kept out of the callers' way.
  ModelAttachment* Attach(AttachmentSlot slot, ModelAttachment* (*make)(CKmComposite* model));

  std::unique_ptr<ModelAttachment> attachments_[kAttachmentSlots];
};
