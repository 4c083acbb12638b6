// Inside the xBase index engine: the per-model state and the page readers
// that the opening, key and navigation files share.
#pragma once

#include "core/composite.h"
#include "data/xbase_index.h"

#include <cstdint>

struct IndexEngineState : ModelAttachment {
  static constexpr AttachmentSlot kSlot = AttachmentSlot::kIndexEngine;
  explicit IndexEngineState(CKmComposite* model) : model(model) {}
  ~IndexEngineState() override;
  CKmComposite* model;
  int32_t charsetSwitch = 0;  // 0: character keys and tag names come from OEM
  int32_t collation = 0;
  uint8_t* sharedPage = nullptr;  // 1024 bytes, for levels without a buffer of their own
  const IndexCursor* sharedOwner = nullptr;  // whose page the shared page holds
  uint32_t sharedPageNumber = 0;
  int32_t lastError = 0;
  IndexCursor* current = nullptr;
  int32_t currentLevel = 0;
  bool slotInUse[kIndexSlots] = {};
  int32_t currentKind = 0;  // kind 7 is read as kind 0
  std::vector<IndexTag> tags;
  uint32_t openMode = 0;
};

// Fails with the given last error; the return value is what callers return.
inline int IndexFail(IndexEngineState* e, int32_t error) {
  e->lastError = error;
  return kIndexFailed;
}

inline bool IsCharacterKey(const IndexCursor* c) {
  if (c->kind == kIndex20DA) return ((c->keyType >> 8) & 0xFF) == 1;
  return (c->keyType & 0xFF) == 'C';
}
// Kinds whose interior pages hold one more child than keys.
inline bool HasExtraPointer(int32_t kind) {
  return kind != kIndexIdx && kind != kIndexCompactIdx && kind != kIndexCdx;
}
// Kinds whose interior keys are keys of their own, not copies of leaf keys.
inline bool InteriorKeysAreKeys(int32_t kind) { return kind == kIndexNtx || kind == kIndexNsx; }
// Descending indexes of these kinds are searched and stepped inverted; the
// other two reverse their comparison instead.
inline bool IsInverted(const IndexCursor* c) {
  return c->descending != 0 && c->kind != kIndexNtx && c->kind != kIndexMdx;
}

// ---- Pages (xbase_index_pages.cpp). All work on the current index's
// current level unless a level is given; every failure sets last error 3.
// Reads the page into the current level (reset: position before the first
// entry, no cached key). kIndexKeyFound or kIndexFailed.
int LoadLevelPage(IndexEngineState* e, uint32_t page, bool reset, bool mayTakeBuffer);
// The bytes of the level's page, reading it again when its buffer was reused.
const uint8_t* LevelPageData(IndexEngineState* e, int level);
bool IsLeafPage(IndexEngineState* e, int level);
// The child at the level's position (1-based); false on a damaged page.
bool GetChildPage(IndexEngineState* e, int level, int32_t position, uint32_t* out);
// The stored key (key-length raw bytes) and record of entry (1-based) on the
// level's page, compressed leaves decoded; false on a damaged page.
bool ReadStoredKey(IndexEngineState* e, int level, int32_t entry, uint8_t* keyOut, uint32_t* recordOut);

// ---- Keys (xbase_index_keys.cpp)
// Converts a caller's value (key-length bytes) into the stored form; sets
// *inexact for integer keys that cannot hold the value.
void EncodeSearchKey(IndexEngineState* e, uint8_t* key, const IndexCursor* c, bool* inexact);
// The stored key into the caller's form; 1 for a damaged kind-1 number.
int DecodeStoredKey(IndexEngineState* e, uint8_t* key, const IndexCursor* c);
// Entry key against search key over length bytes: negative, 0 or positive.
int CompareKeys(IndexEngineState* e, const IndexCursor* c, const uint8_t* entry, const uint8_t* search, int32_t length);
// Character bytes of a key from the OEM code page, when the switch says so.
void ConvertKeyFromOem(IndexEngineState* e, uint8_t* bytes, int32_t length);
