// Reading index pages into the levels of a path and reading entries off them:
// key counts, leaf tests, children, and the two compressed leaf layouts.
// Every offset comes from the file, so every access is checked against the
// page before it is made.
#include "data/xbase_index_engine.h"

#include "data/block_io.h"
#include "foundation/byte_order.h"
#include "platform/win/fileio.h"

#include <cstring>

namespace {

uint32_t GetBE32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

// Where a page starts in the file, in the kind's addressing.
uint64_t PageOffset(const IndexCursor* c, uint32_t page) {
  switch (c->kind) {
    case kIndexNdx:
    case kIndexWdx:
    case kIndexMdx:
      return static_cast<uint64_t>(page) * 512;
    case kIndex20DA:
      return (static_cast<uint64_t>(page) + 1) * 1024;
    default:
      return page;
  }
}

bool Fits(const IndexCursor* c, int64_t offset, int64_t length) {
  return offset >= 0 && length >= 0 && offset + length <= c->pageSize;
}

uint32_t RawCount(const IndexCursor* c, const uint8_t* p) {
  switch (c->kind) {
    case kIndex20DA:
      return p[1];
    case kIndexIdx:
    case kIndexCompactIdx:
    case kIndexCdx:
    case kIndexNsx:
      return GetU16(p + 2);
    default:
      return GetU16(p);
  }
}

bool RawIsLeaf(const IndexCursor* c, const uint8_t* p, uint32_t count) {
  switch (c->kind) {
    case kIndexNdx:
    case kIndexWdx:
      return GetU32(p + 4) == 0;
    case kIndexNtx: {
      const uint32_t at = GetU16(p + 2);
      return !Fits(c, at, 4) || GetU32(p + at) == 0;
    }
    case kIndexMdx: {
      const int64_t at = 8 + static_cast<int64_t>(count) * c->entrySize;
      return !Fits(c, at, 4) || GetU32(p + at) == 0;
    }
    case kIndex20DA:
      return p[0] != 0;
    case kIndexNsx:
      return (p[0] & 2) != 0;
    default:
      return (GetU16(p) & 2) != 0;
  }
}

// The interior entry layout of kind 8: record width 4 on interior pages.
int32_t NsxInteriorStep(const IndexCursor* c) { return c->keyLength + 8; }

}  // namespace

IndexEngineState::~IndexEngineState() { delete[] sharedPage; }

IndexCursor::~IndexCursor() {
  for (PagePosition& l : levels) {
    delete[] l.ownBuffer;
    delete[] l.keyBuffer;
  }
  if (file >= 0) CloseFileHandle(file);
}

int LoadLevelPage(IndexEngineState* e, uint32_t page, bool reset, bool mayTakeBuffer) {
  IndexCursor* c = e->current;
  if (c == nullptr) return IndexFail(e, kIndexErrNoIndex);
  PagePosition& l = c->levels[e->currentLevel];
  const bool hadBuffer = l.ownBuffer != nullptr;
  if (l.ownBuffer == nullptr) {
    if (c->quota > 0) {
      l.ownBuffer = new (std::nothrow) uint8_t[c->pageSize]();
      if (l.ownBuffer != nullptr) --c->quota;
    } else if (mayTakeBuffer) {
      for (int k = 0; k < e->currentLevel; ++k) {
        if (c->levels[k].ownBuffer == nullptr) continue;
        l.ownBuffer = c->levels[k].ownBuffer;
        c->levels[k].ownBuffer = nullptr;
        break;
      }
    }
  }
  if (l.ownBuffer == nullptr && e->sharedPage == nullptr) return IndexFail(e, kIndexErrMemory);
  uint8_t* buffer = l.ownBuffer != nullptr ? l.ownBuffer : e->sharedPage;
  // A buffer just given to the level holds nothing of its own yet.
  const bool alreadyHeld = l.held && l.page == page &&
                           (l.ownBuffer != nullptr ? hadBuffer : (e->sharedOwner == c && e->sharedPageNumber == page));
  if (!alreadyHeld) {
    const uint64_t offset = PageOffset(c, page);
    l.held = false;
    if (l.ownBuffer == nullptr) e->sharedOwner = nullptr;
    // A page past the end of the file is a damaged link, not a short read to trust.
    if (offset + static_cast<uint64_t>(c->pageSize) > c->fileLength) return IndexFail(e, kIndexErrRead);
    if (SeekFileHandle(c->file, static_cast<int64_t>(offset), SeekFrom::kStart) != static_cast<int64_t>(offset) ||
        zread(c->file, buffer, static_cast<size_t>(c->pageSize)) != c->pageSize)
      return IndexFail(e, kIndexErrRead);
    if (l.ownBuffer == nullptr) {
      e->sharedOwner = c;
      e->sharedPageNumber = page;
    }
  }
  l.page = page;
  l.held = true;
  l.count = RawCount(c, buffer);
  if (l.keyBuffer == nullptr) {
    l.keyBuffer = new (std::nothrow) uint8_t[kIndexKeyBuffer]();
    if (l.keyBuffer == nullptr) return IndexFail(e, kIndexErrMemory);
    l.keyEntry = -1;
  }
  if (reset) {
    l.entry = 0;
    l.keyEntry = -1;
    std::memset(l.keyBuffer, 0, kIndexKeyBuffer);
  }
  return kIndexKeyFound;
}

const uint8_t* LevelPageData(IndexEngineState* e, int level) {
  IndexCursor* c = e->current;
  if (c == nullptr || level < 0 || level >= kIndexLevels) return nullptr;
  PagePosition& l = c->levels[level];
  if (!l.held) return nullptr;
  if (l.ownBuffer != nullptr) return l.ownBuffer;
  if (e->sharedOwner == c && e->sharedPageNumber == l.page) return e->sharedPage;
  // Another level read into the shared page since: read this one again.
  const int saved = e->currentLevel;
  e->currentLevel = level;
  const int32_t entry = l.entry;
  const int r = LoadLevelPage(e, l.page, false, false);
  l.entry = entry;
  e->currentLevel = saved;
  if (r != kIndexKeyFound) return nullptr;
  return l.ownBuffer != nullptr ? l.ownBuffer : e->sharedPage;
}

bool IsLeafPage(IndexEngineState* e, int level) {
  const uint8_t* p = LevelPageData(e, level);
  if (p == nullptr) return true;
  return RawIsLeaf(e->current, p, e->current->levels[level].count);
}

bool GetChildPage(IndexEngineState* e, int level, int32_t position, uint32_t* out) {
  const IndexCursor* c = e->current;
  const uint8_t* p = LevelPageData(e, level);
  if (p == nullptr) return false;
  const int64_t kl = c->keyLength;
  int64_t at = -1;
  bool bigEndian = false;
  if (position < 1) {
    e->lastError = kIndexErrRead;
    return false;
  }
  switch (c->kind) {
    case kIndexNdx:
    case kIndexWdx:
      at = 4 + static_cast<int64_t>(position - 1) * c->entrySize;
      break;
    case kIndexNtx:
      if (Fits(c, 2 * static_cast<int64_t>(position), 2)) at = GetU16(p + 2 * position);
      break;
    case kIndexIdx:
      at = 12 + static_cast<int64_t>(position - 1) * (kl + 4) + kl;
      bigEndian = true;
      break;
    case kIndexMdx:
      at = 8 + static_cast<int64_t>(position - 1) * c->entrySize;
      break;
    case kIndex20DA:
      at = 2 + static_cast<int64_t>(position - 1) * c->entrySize;
      break;
    case kIndexCompactIdx:
    case kIndexCdx:
      at = 12 + static_cast<int64_t>(position - 1) * (kl + 8) + kl + 4;
      bigEndian = true;
      break;
    case kIndexNsx:
      at = position == 1 ? 4 : 8 + static_cast<int64_t>(position - 2) * NsxInteriorStep(c);
      break;
  }
  if (!Fits(c, at, 4)) {
    e->lastError = kIndexErrRead;
    return false;
  }
  *out = bigEndian ? GetBE32(p + at) : GetU32(p + at);
  return true;
}

namespace {

// A compressed leaf is decoded entry after entry: from the key cached on the
// level when it is the entry before the one asked for, else from the start.
enum class DecodeStart { kCached, kResume, kFromStart };
DecodeStart WhereToDecode(const PagePosition& l, int32_t to) {
  if (l.keyPage != l.page) return DecodeStart::kFromStart;
  if (l.keyEntry == to) return DecodeStart::kCached;
  return l.keyEntry >= 1 && l.keyEntry < to ? DecodeStart::kResume : DecodeStart::kFromStart;
}

// FoxPro compact leaf: walks entries from `from` (with the key and the
// key-byte position left by entry from - 1) up to entry `to`.
bool DecodeCompactLeaf(IndexEngineState* e, PagePosition& l, const uint8_t* p, int32_t to) {
  const IndexCursor* c = e->current;
  const int32_t kl = c->keyLength;
  const uint32_t recMask = GetU32(p + 14);
  const uint8_t dupMask = p[18], trailMask = p[19], recBits = p[20], dupBits = p[21], perEntry = p[23];
  if (perEntry == 0 || recBits > 32 || dupBits >= 32) return false;
  const uint8_t pad = IsCharacterKey(c) ? ' ' : 0;
  int32_t from = 1;
  uint32_t back = static_cast<uint32_t>(c->pageSize);
  const DecodeStart start = WhereToDecode(l, to);
  if (start == DecodeStart::kCached) return true;
  if (start == DecodeStart::kResume) {
    from = l.keyEntry + 1;
    back = l.decodeOffset;
  } else {
    std::memset(l.keyBuffer, 0, kIndexKeyBuffer);
  }
  const int64_t entriesEnd = 24 + static_cast<int64_t>(l.count) * perEntry;
  for (int32_t i = from; i <= to; ++i) {
    const int64_t at = 24 + static_cast<int64_t>(i - 1) * perEntry;
    const int64_t infoAt = at + recBits / 8;
    if (!Fits(c, at, 4) || !Fits(c, infoAt, 4)) return false;
    const uint32_t record = GetU32(p + at) & recMask;
    const uint32_t info = GetU32(p + infoAt) >> (recBits % 8);
    const int32_t dup = static_cast<int32_t>(info & dupMask);
    const int32_t trail = static_cast<int32_t>((info >> dupBits) & trailMask);
    const int32_t fresh = kl - dup - trail;
    if (fresh < 0 || static_cast<int64_t>(back) - fresh < entriesEnd) return false;
    back -= static_cast<uint32_t>(fresh);
    std::memcpy(l.keyBuffer + dup, p + back, static_cast<size_t>(fresh));
    std::memset(l.keyBuffer + dup + fresh, pad, static_cast<size_t>(trail));
    l.keyRecord = record;
    l.keyEntry = i;
    l.keyPage = l.page;
    l.decodeOffset = back;
  }
  return true;
}

// The key of the interior entry just before the path to the leaf at `level`:
// the first key of that leaf is stored against it.
bool NsxLeftNeighbourKey(IndexEngineState* e, int level, uint8_t* out, bool* found) {
  const IndexCursor* c = e->current;
  *found = false;
  for (int k = level - 1; k >= 0; --k) {
    const int32_t pos = c->levels[k].entry;
    if (pos == 1) continue;
    if (pos < 2) return true;
    const uint8_t* p = LevelPageData(e, k);
    if (p == nullptr) return false;
    const int64_t at = 16 + static_cast<int64_t>(pos - 2) * NsxInteriorStep(c);
    if (!Fits(c, at, c->keyLength)) return false;
    std::memcpy(out, p + at, static_cast<size_t>(c->keyLength));
    *found = true;
    return true;
  }
  return true;
}

uint32_t ReadRecordBytes(const uint8_t* p, int width) {
  if (width == 2) return GetU16(p);
  if (width == 3) return GetU16(p) | (static_cast<uint32_t>(p[2]) << 16);
  return GetU32(p);
}

bool DecodeNsxLeaf(IndexEngineState* e, int level, int32_t to) {
  IndexCursor* c = e->current;
  PagePosition& l = c->levels[level];
  const int32_t kl = c->keyLength;
  int32_t from = 1;
  uint32_t at = 6;
  const DecodeStart start = WhereToDecode(l, to);
  if (start == DecodeStart::kCached) return true;
  if (start == DecodeStart::kResume) {
    from = l.keyEntry + 1;
    at = l.decodeOffset;
  } else {
    uint8_t left[kIndexKeyBuffer] = {};
    bool found = false;
    if (!NsxLeftNeighbourKey(e, level, left, &found)) return false;
    std::memcpy(l.keyBuffer, left, kIndexKeyBuffer);
  }
  const uint8_t* p = LevelPageData(e, level);
  if (p == nullptr) return false;
  // The record-number width; a page that gives none uses four bytes.
  const int r = p[0] == 1 || p[1] == 0 ? 4 : p[1];
  if (r < 2 || r > 4) return false;
  const uint8_t pad = IsCharacterKey(c) ? ' ' : 0;
  for (int32_t i = from; i <= to; ++i) {
    if (!Fits(c, at, r + 1)) return false;
    const uint32_t record = ReadRecordBytes(p + at, r);
    const int length = p[at + r];
    if (length < r + 1 || !Fits(c, at, length)) return false;
    if (length > r + 1) {
      if (length < r + 2) return false;
      const int shared = p[at + r + 1];
      if (shared > kl) return false;
      uint8_t key[kIndexKeyBuffer];
      std::memcpy(key, l.keyBuffer, static_cast<size_t>(shared));
      int out = shared;
      uint32_t k = at + static_cast<uint32_t>(r) + 2;
      const uint32_t end = at + static_cast<uint32_t>(length);
      while (k < end) {
        const uint8_t b = p[k++];
        if (b != 255) {
          if (out >= kl) return false;
          key[out++] = b;
          continue;
        }
        if (k >= end) return false;
        const int n = p[k++];
        if (n == 1) {
          if (out >= kl) return false;
          key[out++] = 255;
          continue;
        }
        if (k >= end || out + n > kl) return false;
        std::memset(key + out, p[k++], static_cast<size_t>(n));
        out += n;
      }
      std::memset(key + out, pad, static_cast<size_t>(kl - out));
      std::memcpy(l.keyBuffer, key, static_cast<size_t>(kl));
    }
    l.keyRecord = record;
    l.keyEntry = i;
    l.keyPage = l.page;
    at += static_cast<uint32_t>(length);
    l.decodeOffset = at;
  }
  return true;
}

}  // namespace

bool ReadStoredKey(IndexEngineState* e, int level, int32_t entry, uint8_t* keyOut, uint32_t* recordOut) {
  IndexCursor* c = e->current;
  const uint8_t* p = LevelPageData(e, level);
  PagePosition& l = c->levels[level];
  const int64_t kl = c->keyLength;
  if (p == nullptr || entry < 1 || static_cast<uint32_t>(entry) > l.count) {
    e->lastError = kIndexErrRead;
    return false;
  }
  const bool leaf = RawIsLeaf(c, p, l.count);
  int64_t keyAt = -1, recordAt = -1;
  bool bigEndian = false;
  uint32_t recordAdd = 0;
  switch (c->kind) {
    case kIndexNdx:
    case kIndexWdx: {
      const int64_t at = 4 + static_cast<int64_t>(entry - 1) * c->entrySize;
      recordAt = at + 4;
      keyAt = at + 8;
      break;
    }
    case kIndexNtx:
      if (Fits(c, 2 * static_cast<int64_t>(entry), 2)) {
        const int64_t at = GetU16(p + 2 * entry);
        recordAt = at + 4;
        keyAt = at + 8;
      }
      break;
    case kIndexIdx:
      keyAt = 12 + static_cast<int64_t>(entry - 1) * (kl + 4);
      recordAt = keyAt + kl;
      bigEndian = true;
      break;
    case kIndexMdx: {
      const int64_t at = 8 + static_cast<int64_t>(entry - 1) * c->entrySize;
      recordAt = at;
      keyAt = at + 4;
      break;
    }
    case kIndex20DA: {
      const int64_t at = 2 + static_cast<int64_t>(entry - 1) * c->entrySize;
      recordAt = at + 4;
      keyAt = at + 8;
      recordAdd = 1;
      break;
    }
    case kIndexCompactIdx:
    case kIndexCdx:
      if (leaf) {
        if (!DecodeCompactLeaf(e, l, p, entry)) {
          e->lastError = kIndexErrRead;
          return false;
        }
      } else {
        keyAt = 12 + static_cast<int64_t>(entry - 1) * (kl + 8);
        recordAt = keyAt + kl;
        bigEndian = true;
      }
      break;
    case kIndexNsx:
      if (leaf) {
        if (!DecodeNsxLeaf(e, level, entry)) {
          e->lastError = kIndexErrRead;
          return false;
        }
      } else {
        const int64_t at = 8 + static_cast<int64_t>(entry - 1) * NsxInteriorStep(c);
        recordAt = at + 4;
        keyAt = at + 8;
      }
      break;
  }
  const bool decoded = (c->kind == kIndexCompactIdx || c->kind == kIndexCdx || c->kind == kIndexNsx) && leaf;
  if (decoded) {
    std::memcpy(keyOut, l.keyBuffer, static_cast<size_t>(kl));
    *recordOut = l.keyRecord;
  } else {
    if (!Fits(c, keyAt, kl) || !Fits(c, recordAt, 4)) {
      e->lastError = kIndexErrRead;
      return false;
    }
    std::memcpy(keyOut, p + keyAt, static_cast<size_t>(kl));
    *recordOut = (bigEndian ? GetBE32(p + recordAt) : GetU32(p + recordAt)) + recordAdd;
  }
  keyOut[kl] = 0;
  if (IsCharacterKey(c)) ConvertKeyFromOem(e, keyOut, static_cast<int32_t>(kl));
  return true;
}
