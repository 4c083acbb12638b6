// User-defined functions: a heading such as 'AGEBAND(N_YEARS, C_SEX)' and a
// body expression over the parameters. The model keeps them in one list of
// UdfNode records; expressions call them by id (opcode 36), and the body's
// code reads its arguments through the evaluator's frames (opcodes 35, 37).
#pragma once

#include <cstddef>
#include <cstdint>

class CKmComposite;
struct FieldDef;

constexpr uint32_t kUdfNameMax = 20;
constexpr uint32_t kUdfHeadingMax = 256;
constexpr uint32_t kUdfParamPieceMax = 11;
constexpr uint32_t kUdfMaxId = 0x7FFF;  // the call word carries 15 bits

// UdfNode::flags beyond the value type bits (kFieldKindMask).
constexpr uint32_t kUdfMarkCompiles = 0x10;
constexpr uint32_t kUdfMarkBroken = 0x20;
constexpr uint32_t kUdfJoin = 0x1000;
constexpr uint32_t kUdfUsed = 0x8000;

// Type byte of a parameter that the body uses as a previous value.
constexpr uint8_t kUdfArgPrevious = 0x20;

struct UdfNode {
  UdfNode* next;
  uint32_t id;
  uint32_t flags;
  uint8_t resultType;
  uint32_t argumentCount;
  int32_t reserved16;       // from the library, -1 when absent
  char* name;               // kUdfNameMax + 1 bytes
  char* heading;            // kUdfHeadingMax + 1 bytes
  uint8_t* argumentList;    // count byte, then one type byte per parameter
  char* body;               // heap, padded with blanks
  uint8_t* code;            // heap, null when the body did not compile
  uint32_t codeLength;
};

// Heading errors.
enum UdfHeadingError {
  kUdfOk = 0,
  kUdfNameInUse = 1,
  kUdfNoOpenParen = 2,
  kUdfBadArgumentName = 3,
  kUdfNoCloseParen = 4,
  kUdfBadName = 5,
  kUdfArgumentInUse = 6,
  kUdfNoMemory = 7,
  kUdfMissingArgument = 8,
  kUdfPrefixNotUnique = 9,
};

// Result type byte from the value type bits of a flag word.
uint8_t UdfResultTypeOf(uint32_t flags);

// A zero-filled node with the next id, appended to the model's list; null when
// memory runs out or no id is left (nothing is appended then).
UdfNode* NewUdf(CKmComposite* m);
void FreeUdfText(CKmComposite* m, UdfNode* node);
// Unlinks the node when it is listed and frees it with everything it owns.
void DeleteUdf(CKmComposite* m, UdfNode* node);
void DeleteAllUdfs(CKmComposite* m);

// Checks a heading and, on success, leaves the parameters as the model's
// field list (RestoreReportFields puts the report's back). nameOut takes
// kUdfNameMax + 1 bytes. id -1 skips the name-in-use checks.
int ParseUdfDefinition(CKmComposite* m, const char* heading, char* nameOut,
                       uint32_t* argumentCountOut, int32_t* errorPosition, int32_t id,
                       uint8_t** argumentListOut);
// 0 when valid, 1 when not.
int IsValidUdfParameterName(const char* name);
void BindUdfParameters(CKmComposite* m, UdfNode* node);
void RestoreReportFields(CKmComposite* m);

UdfNode* FindUdfById(CKmComposite* m, uint32_t callWord);
// Case-insensitive whole name, or (prefix) the first whose name begins with
// the text, case-sensitively.
UdfNode* FindUdfByName(CKmComposite* m, const char* name, size_t length, bool prefix);
// 1 when a function not marked yet was marked.
int MarkUdfsInCode(CKmComposite* m, const uint8_t* code, size_t length);
void MarkUsedUdfs(CKmComposite* m);

// Compiles a node's body against its heading: parse, compile, bind, restore.
// On success the node holds code, flags (storedFlags' join bit kept) and its
// result type, and the body padded by the compiler's text slack. Returns 0, a
// heading error (as 100 + code), or the compiler's error code; *errorPosition
// is set on failure. changing: the function exists already (not a new one).
int CompileUdfNode(CKmComposite* m, UdfNode* node, const char* heading, const char* body,
                   uint32_t storedFlags, int32_t* errorPosition, bool changing = false);

// Connects the evaluators' id look-up to the model's function list. Safe to
// call more than once.
void InstallUdfHooks(CKmComposite* m);

// The compiler's look-ups: a function by name, whole name ignoring case or
// (prefix) the first whose name begins with the text, case-sensitively; and
// what it needs of a function by id (the one being defined answers too).
struct UdfInfo;
bool FindUdfIdByName(CKmComposite* m, const char* name, size_t length, bool prefix, uint32_t* id);
bool GetUdfInfo(CKmComposite* m, uint32_t id, UdfInfo* out);

// Per-model state of the functions: the report's field list set aside while a
// heading is parsed, the open library, the library's stamp. It goes with the
// model, and so do the functions, whether or not a state was ever made.
struct UdfState;
UdfState* GetUdfState(CKmComposite* m);

// Two-phase definition of one function: DefineUdf compiles the new heading and
// body into a pending copy and changes nothing visible; CommitUdfDefinition
// makes it the function's definition (a new node joins the list); Cancel
// drops it. Define returns 0, a heading error (100 + code) or a compile error.
int DefineUdf(CKmComposite* m, UdfNode* existing, const char* heading, const char* body,
              int32_t* errorPosition);
// The committed node (the existing one, or the new one), null without a pending definition.
UdfNode* CommitUdfDefinition(CKmComposite* m);
void CancelUdfDefinition(CKmComposite* m);
