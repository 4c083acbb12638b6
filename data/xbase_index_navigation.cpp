// Seeking a key from the root and stepping through the keys in index order.
// A path never grows past the level stack, so a page that links back to
// itself or to an ancestor ends in an error instead of a loop.
#include "data/xbase_index_engine.h"

#include "foundation/byte_order.h"

#include <cstring>

namespace {

bool IsInteriorWithoutKeysAllowed(const IndexCursor* c) {
  return c->kind == kIndexNdx || c->kind == kIndexWdx || c->kind == kIndexNsx;
}

// Goes one level down to the page at child, before its first entry.
int Descend(IndexEngineState* e, uint32_t child) {
  if (e->currentLevel + 1 >= kIndexLevels) return IndexFail(e, kIndexErrRead);
  ++e->currentLevel;
  return LoadLevelPage(e, child, true, true);
}

// The key of entry on the level, decoded into the caller's form.
int ReadEntryKey(IndexEngineState* e, int level, int32_t entry, uint8_t* keyOut, uint32_t* recordOut) {
  IndexCursor* c = e->current;
  uint8_t key[kIndexKeyBuffer] = {};
  uint32_t record = 0;
  if (!ReadStoredKey(e, level, entry, key, &record)) return kIndexFailed;
  if (DecodeStoredKey(e, key, c) != 0) return IndexFail(e, kIndexErrRead);
  if (keyOut != nullptr) std::memcpy(keyOut, key, kIndexKeyBuffer);
  if (recordOut != nullptr) *recordOut = record;
  return kIndexKeyFound;
}

bool PageHoldsKeys(IndexEngineState* e, int level) {
  const IndexCursor* c = e->current;
  return c->levels[level].count > 0 || (!IsLeafPage(e, level) && IsInteriorWithoutKeysAllowed(c));
}

int32_t PositionLimit(IndexEngineState* e, int level) {
  const IndexCursor* c = e->current;
  const bool interior = !IsLeafPage(e, level);
  return static_cast<int32_t>(c->levels[level].count) + (interior && HasExtraPointer(c->kind) ? 1 : 0);
}

// Makes the level current with its page in a buffer.
int Rise(IndexEngineState* e, int level) {
  IndexCursor* c = e->current;
  e->currentLevel = level;
  PagePosition& l = c->levels[level];
  const int32_t entry = l.entry;
  const int r = LoadLevelPage(e, l.page, false, true);
  l.entry = entry;
  return r;
}

int StepForward(IndexEngineState* e, uint8_t* keyOut, uint32_t* recordOut) {
  IndexCursor* c = e->current;
  // Each pass either goes down a level or up to a level with a next
  // position; positions only grow, so the walk ends.
  for (int guard = 0; guard < 4096; ++guard) {
    const int level = e->currentLevel;
    PagePosition& l = c->levels[level];
    const bool leaf = IsLeafPage(e, level);
    if (LevelPageData(e, level) == nullptr) return kIndexFailed;
    if (PageHoldsKeys(e, level) && l.entry < PositionLimit(e, level)) {
      ++l.entry;
      if (leaf) return ReadEntryKey(e, level, l.entry, keyOut, recordOut);
      uint32_t child = 0;
      if (!GetChildPage(e, level, l.entry, &child)) return kIndexFailed;
      if (Descend(e, child) != kIndexKeyFound) return kIndexFailed;
      continue;
    }
    int up = -1;
    for (int k = level - 1; k >= 0 && up < 0; --k) {
      const PagePosition& a = c->levels[k];
      if (!a.held) continue;
      if (InteriorKeysAreKeys(c->kind) ? (a.entry >= 1 && a.entry <= static_cast<int32_t>(a.count))
                                       : a.entry < static_cast<int32_t>(a.count) + (HasExtraPointer(c->kind) ? 1 : 0))
        up = k;
    }
    if (up < 0) {
      l.entry = static_cast<int32_t>(l.count) + 1;
      return kIndexPastEnd;
    }
    if (Rise(e, up) != kIndexKeyFound) return kIndexFailed;
    if (InteriorKeysAreKeys(c->kind)) return ReadEntryKey(e, up, c->levels[up].entry, keyOut, recordOut);
  }
  return IndexFail(e, kIndexErrRead);
}

// Down the child at the level's position to the last key beneath it.
int DescendToLast(IndexEngineState* e, uint8_t* keyOut, uint32_t* recordOut) {
  IndexCursor* c = e->current;
  for (int guard = 0; guard <= kIndexLevels; ++guard) {
    const int level = e->currentLevel;
    if (IsLeafPage(e, level)) {
      PagePosition& l = c->levels[level];
      if (l.count == 0) return kIndexNoKey;
      l.entry = static_cast<int32_t>(l.count);
      return ReadEntryKey(e, level, l.entry, keyOut, recordOut);
    }
    uint32_t child = 0;
    if (!GetChildPage(e, level, c->levels[level].entry, &child)) return kIndexFailed;
    if (child == 0xFFFFFFFFu) return IndexFail(e, kIndexErrRead);
    if (Descend(e, child) != kIndexKeyFound) return kIndexFailed;
    PagePosition& d = c->levels[e->currentLevel];
    d.entry = PositionLimit(e, e->currentLevel);
  }
  return IndexFail(e, kIndexErrRead);
}

int StepBackward(IndexEngineState* e, uint8_t* keyOut, uint32_t* recordOut) {
  IndexCursor* c = e->current;
  int level = e->currentLevel;
  if (LevelPageData(e, level) == nullptr) return kIndexFailed;
  if (!PageHoldsKeys(e, level)) return kIndexNoKey;
  PagePosition& l = c->levels[level];
  if (l.entry <= 0) return kIndexBeforeFirst;
  if (IsLeafPage(e, level)) {
    if (l.entry > 1) {
      if (l.entry > static_cast<int32_t>(l.count) + 1) l.entry = static_cast<int32_t>(l.count) + 1;
      --l.entry;
      return ReadEntryKey(e, level, l.entry, keyOut, recordOut);
    }
    do {
      --level;
    } while (level > 0 && c->levels[level].entry <= 1);
    if (level < 0) return kIndexBeforeFirst;
    if (Rise(e, level) != kIndexKeyFound) return kIndexFailed;
    PagePosition& a = c->levels[level];
    --a.entry;
    if (a.entry <= 0) {
      a.entry = 0;
      return kIndexBeforeFirst;
    }
    if (InteriorKeysAreKeys(c->kind)) return ReadEntryKey(e, level, a.entry, keyOut, recordOut);
  }
  return DescendToLast(e, keyOut, recordOut);
}

struct SearchOutcome {
  int result;
  int comparison;
};

int SearchLevel(IndexEngineState* e, uint32_t page, const uint8_t* work, uint32_t* recordOut, int32_t length,
                bool inexact) {
  IndexCursor* c = e->current;
  const bool inverted = IsInverted(c);
  for (int guard = 0; guard <= kIndexLevels; ++guard) {
    if (LoadLevelPage(e, page, true, true) != kIndexKeyFound) return kIndexFailed;
    const int level = e->currentLevel;
    PagePosition& l = c->levels[level];
    const bool leaf = IsLeafPage(e, level);
    if (l.count == 0 && !(!leaf && IsInteriorWithoutKeysAllowed(c))) return kIndexNoKey;
    bool stopped = false;
    int cmp = 0;
    uint32_t record = 0;
    for (uint32_t i = 1; i <= l.count; ++i) {
      l.entry = static_cast<int32_t>(i);
      uint8_t key[kIndexKeyBuffer] = {};
      if (!ReadStoredKey(e, level, l.entry, key, &record)) return kIndexFailed;
      cmp = CompareKeys(e, c, key, work, length);
      if (cmp == 0 && inexact) cmp = (work[0] & 0x80) ? -1 : 1;
      if (inverted ? cmp > 0 : cmp >= 0) {
        stopped = true;
        break;
      }
    }
    if (!stopped && inverted && l.count > 0) {
      stopped = true;
      if (!leaf && c->kind == kIndexNsx) l.entry = static_cast<int32_t>(l.count) + 1;
    }
    if (stopped) {
      if (!leaf) {
        uint32_t child = 0;
        if (!GetChildPage(e, level, l.entry, &child)) return kIndexFailed;
        if (e->currentLevel + 1 >= kIndexLevels) return IndexFail(e, kIndexErrRead);
        ++e->currentLevel;
        page = child;
        continue;
      }
      if (cmp == 0) {
        if (recordOut != nullptr) *recordOut = record;
        return kIndexKeyFound;
      }
      return inverted && cmp < 0 ? kIndexPastEnd : kIndexGreater;
    }
    if (leaf) {
      if (InteriorKeysAreKeys(c->kind)) {
        // The key after a leaf's last is the interior key above it.
        for (int k = level - 1; k >= 0; --k) {
          const PagePosition& a = c->levels[k];
          if (a.entry < 1 || a.entry > static_cast<int32_t>(a.count)) continue;
          if (Rise(e, k) != kIndexKeyFound) return kIndexFailed;
          uint8_t key[kIndexKeyBuffer] = {};
          if (!ReadStoredKey(e, k, a.entry, key, &record)) return kIndexFailed;
          if (CompareKeys(e, c, key, work, length) != 0) return kIndexGreater;
          if (recordOut != nullptr) *recordOut = record;
          return kIndexKeyFound;
        }
        return kIndexNoKey;
      }
      return inverted ? kIndexGreater : kIndexNoKey;
    }
    if (!HasExtraPointer(c->kind)) return inverted ? kIndexGreater : kIndexNoKey;
    l.entry = static_cast<int32_t>(l.count) + 1;
    uint32_t child = 0;
    if (!GetChildPage(e, level, l.entry, &child)) return kIndexFailed;
    if (e->currentLevel + 1 >= kIndexLevels) return IndexFail(e, kIndexErrRead);
    ++e->currentLevel;
    page = child;
  }
  return IndexFail(e, kIndexErrRead);
}

}  // namespace

int SeekKeyN(CKmComposite* m, IndexCursor* cursor, const void* searchValue, uint32_t* recordOut, int32_t length) {
  IndexEngineState* e = GetIndexEngine(m);
  if (e == nullptr) return kIndexFailed;
  if (cursor == nullptr) return IndexFail(e, kIndexErrNoIndex);
  if (SelectIndex(m, cursor, true) != kIndexKeyFound) return kIndexFailed;
  e->currentLevel = 0;
  const int32_t type = static_cast<int32_t>(cursor->keyType & 0xFF);
  // Numbers and dates come as a double whatever their stored width; kind 1
  // keeps its numbers as text.
  const bool numeric = type != 'C' && cursor->kind != kIndexNtx;
  if (length < 0) length = 0;
  if (length > kIndexMaxKey) length = kIndexMaxKey;
  uint8_t work[kIndexKeyBuffer] = {};
  std::memcpy(work, searchValue, numeric ? 8 : static_cast<size_t>(length));
  bool inexact = false;
  if (cursor->kind == kIndexMdx && type == 'N') {
    const double v = GetF64(work);
    PackNumericKey(v, work);
  } else if (cursor->kind != kIndexNdx && cursor->kind != kIndexWdx && cursor->kind != kIndexMdx) {
    EncodeSearchKey(e, work, cursor, &inexact);
  }
  if (numeric) length = cursor->keyLength;
  int r = SearchLevel(e, cursor->root, work, recordOut, length, inexact);
  if (!IsInverted(cursor) || r == kIndexKeyFound || r == kIndexFailed) return r;
  uint8_t key[kIndexKeyBuffer] = {};
  r = r == kIndexPastEnd ? GetCurrentKey(m, cursor, key, recordOut) : StepBackward(e, key, recordOut);
  if (r == kIndexFailed) return r;
  if (r == kIndexNoKey || r == kIndexBeforeFirst) return kIndexNoKey;
  if (r != kIndexKeyFound) return r;
  // Compare the found key in its stored form with the sought one.
  uint8_t stored[kIndexKeyBuffer] = {};
  uint32_t record = 0;
  if (!ReadStoredKey(e, e->currentLevel, cursor->levels[e->currentLevel].entry, stored, &record)) return kIndexFailed;
  return CompareKeys(e, cursor, stored, work, length) == 0 && !inexact ? kIndexKeyFound : kIndexGreater;
}

int SeekKey(CKmComposite* m, IndexCursor* cursor, const void* searchValue, uint32_t* recordOut) {
  if (cursor == nullptr) return SeekKeyN(m, cursor, searchValue, recordOut, 0);
  return SeekKeyN(m, cursor, searchValue, recordOut, cursor->keyLength);
}

int GetCurrentKey(CKmComposite* m, IndexCursor* cursor, uint8_t* keyOut, uint32_t* recordOut) {
  IndexEngineState* e = GetIndexEngine(m);
  if (e == nullptr) return kIndexFailed;
  if (SelectIndex(m, cursor, false) != kIndexKeyFound) return kIndexFailed;
  const int level = e->currentLevel;
  const PagePosition& l = cursor->levels[level];
  if (l.count == 0) return kIndexNoKey;
  if (l.entry <= 0) return kIndexBeforeFirst;
  if (l.entry > static_cast<int32_t>(l.count)) return kIndexPastEnd;
  return ReadEntryKey(e, level, l.entry, keyOut, recordOut);
}

int NextKey(CKmComposite* m, IndexCursor* cursor, uint8_t* keyOut, uint32_t* recordOut) {
  IndexEngineState* e = GetIndexEngine(m);
  if (e == nullptr) return kIndexFailed;
  if (cursor == nullptr) return IndexFail(e, kIndexErrNoIndex);
  if (SelectIndex(m, cursor, false) != kIndexKeyFound) return kIndexFailed;
  if (!IsInverted(cursor)) return StepForward(e, keyOut, recordOut);
  // A descending index stored in ascending order: before its first key is
  // after the last stored one.
  if (e->currentLevel == 0 && cursor->levels[0].entry == 0) {
    if (cursor->levels[0].count == 0 && IsLeafPage(e, 0)) return kIndexNoKey;
    cursor->levels[0].entry = PositionLimit(e, 0);
    return DescendToLast(e, keyOut, recordOut);
  }
  return StepBackward(e, keyOut, recordOut);
}

int PreviousKey(CKmComposite* m, IndexCursor* cursor, uint8_t* keyOut, uint32_t* recordOut) {
  IndexEngineState* e = GetIndexEngine(m);
  if (e == nullptr) return kIndexFailed;
  if (cursor == nullptr) return IndexFail(e, kIndexErrNoIndex);
  if (SelectIndex(m, cursor, false) != kIndexKeyFound) return kIndexFailed;
  return IsInverted(cursor) ? StepForward(e, keyOut, recordOut) : StepBackward(e, keyOut, recordOut);
}
