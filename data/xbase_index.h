// A read-only engine for the index files of the xBase family: it recognises
// nine layouts, opens one index (or one tag of a multi-tag file), reads its
// tree pages on demand into a small pool of buffers, and seeks and steps
// through the keys. Nothing is ever written to an index file. The working
// state hangs from the report model; every operation takes the model first.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CKmComposite;

// Index layouts: the file extension decides first, the header then.
enum IndexKind : int32_t {
  kIndexNdx = 0,         // single index, 512-byte pages numbered
  kIndexNtx = 1,         // single index, 1024-byte pages at byte offsets
  kIndexIdx = 2,         // single index, uncompressed, 512-byte pages
  kIndexMdx = 3,         // multiple index, 1024-byte pages in 512-byte blocks
  kIndex20DA = 4,        // single index whose header begins with 0x20DA
  kIndexCompactIdx = 5,  // single compact index
  kIndexCdx = 6,         // compound compact index
  kIndexWdx = 7,         // directory of tag files, each laid out as kind 0
  kIndexNsx = 8,         // multi-tag index with compressed leaves
};

// The model's last error after a failed operation.
enum IndexError : int32_t {
  kIndexErrNone = 0,
  kIndexErrMemory = 1,     // out of memory
  kIndexErrBadIndex = 2,   // header values out of range
  kIndexErrRead = 3,       // read or seek failure, or a damaged page
  kIndexErrNoSlot = 4,     // all index slots in use
  kIndexErrNoIndex = 6,    // no index given
  kIndexErrOpen = 7,       // the index or tag file cannot be opened
  kIndexErrTag = 9,        // no tag name, or the tag is not in the index
  kIndexErrBlockSize = 10, // multiple index whose block size is not 1024
};

// Results of the cursor operations.
enum IndexResult : int32_t {
  kIndexKeyFound = 0,    // key and record delivered (seek: exact key)
  kIndexFailed = 1,      // the last error says why
  kIndexNoKey = 7,       // empty page or index; or nothing not less than the sought key
  kIndexGreater = 8,     // seek stopped on the first greater key
  kIndexPastEnd = 9,     // stepped past the last key
  kIndexBeforeFirst = 11 // stepped before the first key
};

constexpr int kIndexLevels = 32;
constexpr int kIndexSlots = 100;
constexpr int kIndexPageBuffers = 20;
constexpr int kIndexMaxKey = 250;
// A key buffer handed to the cursor operations: room for any key, the
// decoded forms and the ending NUL.
constexpr int kIndexKeyBuffer = 256;

// One level of an index's path from the root.
struct PagePosition {
  uint32_t page = 0;         // page held (in the kind's addressing)
  bool held = false;         // a page has been loaded at this level
  uint32_t count = 0;        // keys on that page
  int32_t entry = 0;         // 1-based; 0 before the first; count + 1 after the last
  uint8_t* ownBuffer = nullptr;  // null: the level reads into the shared page
  uint8_t* keyBuffer = nullptr;  // the last key decoded on this level (raw bytes)
  uint32_t keyPage = 0;      // page and entry of that key; entry -1: none
  int32_t keyEntry = -1;
  uint32_t keyRecord = 0;
  uint32_t decodeOffset = 0;  // where the next compressed entry's bytes lie
};

struct IndexCursor {
  ~IndexCursor();
  int32_t kind = 0;
  int32_t pageSize = 512;
  int file = -1;
  uint64_t fileLength = 0;
  int32_t keyLength = 0;
  int32_t entrySize = 0;
  uint32_t keyType = 'C';  // low byte the letter; kind 4: the header's type code in the second byte
  uint32_t root = 0;
  PagePosition levels[kIndexLevels];
  int32_t savedLevel = 0;
  int32_t slot = -1;
  int32_t quota = 0;
  uint32_t tagPosition = 0;
  int32_t descending = 0;
  int32_t expressionLength = 0;
};

// One tag of a multi-tag index.
struct IndexTag {
  std::string name;
  uint32_t position = 0;
};

// The engine state of one model.
struct IndexEngineState;
IndexEngineState* GetIndexEngine(CKmComposite* m);

// The model's last error (IndexError).
int32_t IndexLastError(CKmComposite* m);
// The file-open flags of index files (0x40: read-only, others may read and write).
void SetIndexOpenMode(CKmComposite* m, uint32_t mode);
uint32_t IndexOpenMode(CKmComposite* m);

// Opens an index (a multi-tag kind needs the tag name): false with *out set,
// true with the last error on failure. OpenIndexFile leaves the tag
// directory it read in the engine's tag list; OpenIndex frees it.
bool OpenIndexFile(CKmComposite* m, const char* path, IndexCursor** out, const char* tagName);
bool OpenIndex(CKmComposite* m, const char* path, IndexCursor** out, const char* tagName);
void CloseIndex(CKmComposite* m, IndexCursor* cursor);

// Bracket a series of searches over the given indexes: page buffers exist
// only in between. Begin returns false (last error 1) when memory runs out.
bool BeginIndexUse(CKmComposite* m, IndexCursor* const* cursors, int count);
void EndIndexUse(CKmComposite* m, IndexCursor* const* cursors, int count);

// Makes the cursor current; unless noLoad, its current level's page is read again.
int SelectIndex(CKmComposite* m, IndexCursor* cursor, bool noLoad);

// Seeks a key: the search value is key-length bytes (a double for numeric
// keys, text for kind 1 numbers). Results as IndexResult.
int SeekKey(CKmComposite* m, IndexCursor* cursor, const void* searchValue, uint32_t* recordOut);
int SeekKeyN(CKmComposite* m, IndexCursor* cursor, const void* searchValue, uint32_t* recordOut, int32_t length);
// The key at the cursor, and stepping in index order. keyOut holds
// kIndexKeyBuffer bytes: character keys blank-padded and NUL-ended, numeric
// and date keys as a double.
int GetCurrentKey(CKmComposite* m, IndexCursor* cursor, uint8_t* keyOut, uint32_t* recordOut);
int NextKey(CKmComposite* m, IndexCursor* cursor, uint8_t* keyOut, uint32_t* recordOut);
int PreviousKey(CKmComposite* m, IndexCursor* cursor, uint8_t* keyOut, uint32_t* recordOut);

// The 12-byte packed decimal form of numeric keys of kind 3: 0, or 1 when
// the exponent is out of range (the key is then twelve zero bytes).
int PackNumericKey(double value, uint8_t out[12]);
void UnpackNumericKey(const uint8_t key[12], double* valueOut);
