// Opening an index file: recognising its layout from the extension and the
// header, finding a tag of a multi-tag file, checking the header's values,
// and the page buffers shared by the indexes in use.
#include "data/xbase_index_engine.h"

#include "data/block_io.h"
#include "foundation/byte_order.h"
#include "platform/win/codepage.h"
#include "platform/win/fileio.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

uint32_t GetBE32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

bool EqualNoCaseAscii(const std::string& a, const char* b) {
  const size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The text at p, at most max bytes, ending at a NUL.
std::string FixedText(const uint8_t* p, size_t max) {
  return std::string(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), max));
}

// Length of the key expression with its trailing blanks removed.
int32_t ExpressionLength(const uint8_t* p, size_t max) {
  size_t n = strnlen(reinterpret_cast<const char*>(p), max);
  while (n > 0 && p[n - 1] == ' ') --n;
  return static_cast<int32_t>(n);
}

// Exactly count bytes at offset, or false.
bool ReadAt(int file, uint64_t offset, uint8_t* buffer, size_t count) {
  if (SeekFileHandle(file, static_cast<int64_t>(offset), SeekFrom::kStart) != static_cast<int64_t>(offset)) return false;
  return zread(file, buffer, count) == static_cast<long>(count);
}

bool FileLength(int file, uint64_t* out) {
  FileInfo info;
  if (!GetFileInfoByHandle(file, &info)) return false;
  *out = info.size;
  return true;
}

int OpenIndexHandle(IndexEngineState* e, const std::string& path) {
  // Index files are only read; the open mode's sharing bits have no
  // counterpart in an open without locks.
  return OpenExistingFile(path, kFileRead | kFileAnyCase);
}

void AddTag(IndexEngineState* e, std::string name) {
  std::string converted = name;
  if (e->charsetSwitch == 0 && !converted.empty())
    OemToCharBuffA(converted.c_str(), &converted[0], static_cast<DWORD>(converted.size()));
  e->tags.push_back(IndexTag{converted, 0});
}

// Walks the compound header's own compact index: its keys are the tag
// names, its record numbers the offsets of the tag headers.
int ReadCdxTagDirectory(IndexEngineState* e, IndexCursor* c, const uint8_t* header) {
  IndexCursor walker;
  walker.kind = kIndexCdx;
  walker.pageSize = 512;
  walker.file = c->file;
  walker.fileLength = c->fileLength;
  walker.keyLength = GetU16(header + 12);
  walker.keyType = 'C';
  if (walker.keyLength < 1 || walker.keyLength > kIndexMaxKey) {
    walker.file = -1;
    return IndexFail(e, kIndexErrRead);
  }
  IndexCursor* saved = e->current;
  const int32_t savedLevel = e->currentLevel;
  std::unique_ptr<uint8_t[]> page(new (std::nothrow) uint8_t[512]());
  int rc = page ? kIndexKeyFound : IndexFail(e, kIndexErrMemory);
  uint32_t at = GetU32(header);
  // Down the leftmost path, then along the leaves; every page at most once.
  const uint64_t pageLimit = c->fileLength / 512 + 1;
  uint64_t pagesRead = 0;
  bool leaf = false;
  while (rc == kIndexKeyFound && !leaf) {
    if (++pagesRead > pageLimit || static_cast<uint64_t>(at) + 512 > c->fileLength || !ReadAt(c->file, at, page.get(), 512)) {
      rc = IndexFail(e, kIndexErrRead);
      break;
    }
    leaf = (GetU16(page.get()) & 2) != 0;
    if (!leaf) {
      const uint32_t childAt = 12 + static_cast<uint32_t>(walker.keyLength) + 4;
      if (childAt + 4 > 512) rc = IndexFail(e, kIndexErrRead);
      else at = GetBE32(page.get() + childAt);
    }
  }
  e->current = &walker;
  e->currentLevel = 0;
  walker.levels[0].ownBuffer = page.get();
  while (rc == kIndexKeyFound) {
    // The page is already in the buffer: hand it to the leaf decoder.
    PagePosition& l = walker.levels[0];
    l.page = at;
    l.held = true;
    l.count = GetU16(page.get() + 2);
    l.keyEntry = -1;
    if (l.keyBuffer == nullptr) l.keyBuffer = new (std::nothrow) uint8_t[kIndexKeyBuffer]();
    if (l.keyBuffer == nullptr) {
      rc = IndexFail(e, kIndexErrMemory);
      break;
    }
    for (uint32_t i = 1; i <= l.count && rc == kIndexKeyFound; ++i) {
      uint8_t key[kIndexKeyBuffer];
      uint32_t record = 0;
      const int32_t savedSwitch = e->charsetSwitch;
      e->charsetSwitch = 1;  // AddTag converts the name itself
      const bool ok = ReadStoredKey(e, 0, static_cast<int32_t>(i), key, &record);
      e->charsetSwitch = savedSwitch;
      if (!ok) {
        rc = IndexFail(e, kIndexErrRead);
        break;
      }
      int32_t n = walker.keyLength;
      while (n > 0 && (key[n - 1] == ' ' || key[n - 1] == 0)) --n;
      AddTag(e, std::string(reinterpret_cast<const char*>(key), static_cast<size_t>(n)));
      e->tags.back().position = record;
    }
    if (rc != kIndexKeyFound) break;
    const uint32_t next = GetU32(page.get() + 8);
    if (next == 0xFFFFFFFFu) break;
    at = next;
    if (++pagesRead > pageLimit || static_cast<uint64_t>(at) + 512 > c->fileLength || !ReadAt(c->file, at, page.get(), 512) ||
        (GetU16(page.get()) & 2) == 0) {
      rc = IndexFail(e, kIndexErrRead);
      break;
    }
  }
  walker.levels[0].ownBuffer = nullptr;
  walker.file = -1;
  e->current = saved;
  e->currentLevel = savedLevel;
  return rc;
}

// Reads the tag directory of a multi-tag kind into the engine's tag list.
int ReadTagDirectory(IndexEngineState* e, IndexCursor* c, const uint8_t* header, int tagCount) {
  e->tags.clear();
  switch (c->kind) {
    case kIndexWdx: {
      std::vector<uint8_t> names(static_cast<size_t>(tagCount) * 10);
      if (!names.empty() && !ReadAt(c->file, 14, names.data(), names.size())) return IndexFail(e, kIndexErrRead);
      for (int k = 0; k < tagCount; ++k) {
        AddTag(e, FixedText(names.data() + k * 10, 10));
        e->tags.back().position = static_cast<uint32_t>(k);
      }
      return kIndexKeyFound;
    }
    case kIndexMdx: {
      std::vector<uint8_t> table(static_cast<size_t>(tagCount) * 32);
      if (!ReadAt(c->file, 544, table.data(), table.size())) return IndexFail(e, kIndexErrRead);
      for (int k = 0; k < tagCount; ++k) {
        const uint8_t* t = table.data() + k * 32;
        AddTag(e, FixedText(t + 4, 28));
        e->tags.back().position = GetU32(t);
      }
      return kIndexKeyFound;
    }
    case kIndexNsx:
      for (int k = 0; k < tagCount; ++k) {
        const uint8_t* t = header + 14 + k * 16;
        AddTag(e, FixedText(t, 12));
        e->tags.back().position = GetU32(t + 12);
      }
      return kIndexKeyFound;
    case kIndexCdx:
      return ReadCdxTagDirectory(e, c, header);
    default:
      return kIndexKeyFound;
  }
}

std::string Extension(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  const size_t sep = path.find_last_of("\\/:");
  if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return "";
  return path.substr(dot + 1);
}

// Fills the cursor from the (tag) header of its kind.
void ReadHeaderValues(IndexCursor* c, const uint8_t* h) {
  switch (c->kind) {
    case kIndexNdx:
    case kIndexWdx:
      c->pageSize = 512;
      c->root = GetU32(h);
      c->keyLength = GetU16(h + 12);
      c->keyType = GetU16(h + 16) != 0 ? 'N' : 'C';
      c->entrySize = GetU16(h + 18);
      c->expressionLength = ExpressionLength(h + 24, 512 - 24);
      break;
    case kIndexNtx:
      c->pageSize = 1024;
      c->root = GetU32(h + 4);
      c->keyLength = GetU16(h + 14);
      c->entrySize = GetU16(h + 16);
      c->keyType = 'C';
      c->descending = GetU16(h + 280) != 0;
      c->expressionLength = ExpressionLength(h + 22, 256);
      break;
    case kIndexIdx:
      c->pageSize = 512;
      c->root = GetU32(h);
      c->keyLength = GetU16(h + 12);
      c->keyType = 'C';
      c->expressionLength = ExpressionLength(h + 16, 220);
      break;
    case kIndexMdx:
      c->pageSize = 1024;
      c->root = GetU32(h);
      c->descending = (h[8] & 0x08) != 0;
      c->keyType = h[9];
      c->keyLength = GetU16(h + 12);
      c->entrySize = GetU16(h + 18);
      c->expressionLength = ExpressionLength(h + 24, 512 - 24);
      break;
    case kIndex20DA: {
      c->pageSize = 1024;
      c->root = GetU32(h + 2);
      c->keyLength = GetU16(h + 52);
      c->entrySize = GetU16(h + 56);
      const uint32_t code = h[64];
      c->keyType = (code == 1 ? 'C' : code == 2 ? 'D' : 'N') | (code << 8);
      c->expressionLength = ExpressionLength(h + 112, 1024 - 112);
      break;
    }
    case kIndexCompactIdx:
    case kIndexCdx:
      c->pageSize = 512;
      c->root = GetU32(h);
      c->keyLength = GetU16(h + 12);
      c->keyType = 'C';
      c->descending = c->kind == kIndexCdx && (h[502] & 1) != 0;
      c->expressionLength = ExpressionLength(h + 512, 512);
      break;
    case kIndexNsx: {
      c->pageSize = 1024;
      c->root = GetU32(h + 2);
      const uint16_t code = GetU16(h + 6);
      c->keyType = code == 0x08 ? 'N' : code == 0x20 ? 'D' : code == 0x80 ? 'L' : 'C';
      c->keyLength = GetU16(h + 8);
      c->descending = GetU16(h + 12) != 0;
      c->expressionLength = ExpressionLength(h + 14, 1024 - 14);
      break;
    }
  }
}

// The layouts' fixed entry areas must hold a key of the stated length.
bool EntriesHoldKeys(const IndexCursor* c) {
  switch (c->kind) {
    case kIndexNdx:
    case kIndexWdx:
    case kIndex20DA:
      return c->entrySize >= c->keyLength + 8 && 4 + c->entrySize + 4 <= c->pageSize;
    case kIndexMdx:
      return c->entrySize >= c->keyLength + 4 && 8 + c->entrySize + 4 <= c->pageSize;
    case kIndexNtx:
      return c->keyLength + 8 + 4 <= c->pageSize;
    case kIndexIdx:
      return 12 + c->keyLength + 4 <= c->pageSize;
    case kIndexCompactIdx:
    case kIndexCdx:
      return 12 + c->keyLength + 8 <= c->pageSize;
    default:
      return 16 + c->keyLength + 8 <= c->pageSize;
  }
}

int DecideKind(const std::string& ext, const uint8_t* h) {
  if (EqualNoCaseAscii(ext, "wdx")) return kIndexWdx;
  if (EqualNoCaseAscii(ext, "cdx")) return kIndexCdx;
  if (EqualNoCaseAscii(ext, "nsx")) return kIndexNsx;
  if (EqualNoCaseAscii(ext, "idx") && (h[14] & 0x20) != 0) return kIndexCompactIdx;
  if (GetU16(h) == 0x20DA) {
    const size_t n = strnlen(reinterpret_cast<const char*>(h + 112), 1024 - 112);
    if (((n + 2) & ~static_cast<size_t>(1)) == GetU16(h + 60)) return kIndex20DA;
  }
  if (h[22] != 0 && ((h[0] & 0xCE) == 0x0E || (h[0] & 0xCE) == 0x06)) return kIndexNtx;
  if (h[16] >= 2) return kIndexIdx;
  if (GetU16(h + 12) == 0 || EqualNoCaseAscii(ext, "mdx")) return kIndexMdx;
  return kIndexNdx;
}

// Page and key buffers exist only while the index is in use.
void ReleaseLevelBuffers(IndexCursor* c) {
  for (PagePosition& l : c->levels) {
    delete[] l.ownBuffer;
    l.ownBuffer = nullptr;
    delete[] l.keyBuffer;
    l.keyBuffer = nullptr;
    l.keyEntry = -1;
    l.held = false;
  }
}

int FindTag(IndexEngineState* e, const char* tagName, uint32_t* position) {
  for (const IndexTag& t : e->tags)
    if (EqualNoCaseAscii(t.name, tagName)) {
      *position = t.position;
      return kIndexKeyFound;
    }
  return IndexFail(e, kIndexErrTag);
}

}  // namespace

IndexEngineState* GetIndexEngine(CKmComposite* m) { return m->GetAttachment<IndexEngineState>(); }

int32_t IndexLastError(CKmComposite* m) { return GetIndexEngine(m)->lastError; }
void SetIndexOpenMode(CKmComposite* m, uint32_t mode) { GetIndexEngine(m)->openMode = mode; }
uint32_t IndexOpenMode(CKmComposite* m) { return GetIndexEngine(m)->openMode; }

bool OpenIndexFile(CKmComposite* m, const char* path, IndexCursor** out, const char* tagName) {
  IndexEngineState* e = GetIndexEngine(m);
  if (e == nullptr) return true;
  *out = nullptr;
  e->lastError = kIndexErrNone;
  const std::string p = path != nullptr ? path : "";
  const std::string ext = Extension(p);
  const bool directory = EqualNoCaseAscii(ext, "wdx");
  int slot = -1;
  for (int i = 0; i < kIndexSlots && slot < 0; ++i)
    if (!e->slotInUse[i]) slot = i;
  if (slot < 0) return IndexFail(e, kIndexErrNoSlot) != 0;

  std::unique_ptr<IndexCursor> c(new (std::nothrow) IndexCursor);
  if (!c) return IndexFail(e, kIndexErrMemory) != 0;
  c->file = OpenIndexHandle(e, p);
  if (c->file < 0) return IndexFail(e, kIndexErrOpen) != 0;
  uint8_t header[1024] = {};
  const size_t headerSize = directory ? 14 : 1024;
  if (!FileLength(c->file, &c->fileLength) || !ReadAt(c->file, 0, header, headerSize)) return IndexFail(e, kIndexErrRead) != 0;

  c->kind = DecideKind(ext, header);
  int tagCount = 0;
  if (c->kind == kIndexWdx) {
    if (header[0] != 0x33) return IndexFail(e, kIndexErrBadIndex) != 0;
    tagCount = header[3];
  } else if (c->kind == kIndexNsx) {
    tagCount = header[2];
    if (tagCount < 1 || tagCount > 47) return IndexFail(e, kIndexErrBadIndex) != 0;
  } else if (c->kind == kIndexMdx) {
    tagCount = header[28];
    if (tagCount < 1 || tagCount > 47) return IndexFail(e, kIndexErrBadIndex) != 0;
    if (GetU16(header + 22) != 1024) return IndexFail(e, kIndexErrBlockSize) != 0;
  }

  const bool multiTag = c->kind == kIndexWdx || c->kind == kIndexCdx || c->kind == kIndexMdx || c->kind == kIndexNsx;
  if (multiTag) {
    if (tagName == nullptr || tagName[0] == 0) return IndexFail(e, kIndexErrTag) != 0;
    if (ReadTagDirectory(e, c.get(), header, tagCount) != kIndexKeyFound) return true;
    if (FindTag(e, tagName, &c->tagPosition) != kIndexKeyFound) return true;
    if (c->kind == kIndexWdx) {
      // Tag k lives in its own file beside the directory: base name + ".Wkk".
      const std::string base = FixedText(header + 4, 8);
      const size_t sep = p.find_last_of("\\/:");
      const std::string dir = sep == std::string::npos ? "" : p.substr(0, sep + 1);
      char name[32];
      std::snprintf(name, sizeof name, ".W%02u", static_cast<unsigned>(c->tagPosition));
      CloseFileHandle(c->file);
      c->file = OpenIndexHandle(e, dir + base + name);
      if (c->file < 0) return IndexFail(e, kIndexErrOpen) != 0;
      std::memset(header, 0, sizeof header);
      if (!FileLength(c->file, &c->fileLength) || !ReadAt(c->file, 0, header, 1024)) return IndexFail(e, kIndexErrRead) != 0;
    } else {
      std::memset(header, 0, sizeof header);
      const bool read = c->kind == kIndexMdx ? ReadBlock(c->file, c->tagPosition, header) == 0
                                             : ReadAt(c->file, c->tagPosition, header, 1024);
      if (!read) return IndexFail(e, kIndexErrRead) != 0;
    }
  }
  ReadHeaderValues(c.get(), header);
  if (c->fileLength == 0 || c->fileLength % static_cast<uint64_t>(c->pageSize) > 1 || c->expressionLength < 1 ||
      c->expressionLength > 254 || c->keyLength < 1 || c->keyLength > kIndexMaxKey || !EntriesHoldKeys(c.get()))
    return IndexFail(e, kIndexErrBadIndex) != 0;
  c->levels[0].page = 0;
  c->levels[0].entry = 0;
  c->savedLevel = 0;
  c->slot = slot;
  e->slotInUse[slot] = true;
  *out = c.release();
  return false;
}

bool OpenIndex(CKmComposite* m, const char* path, IndexCursor** out, const char* tagName) {
  const bool failed = OpenIndexFile(m, path, out, tagName);
  if (IndexEngineState* e = GetIndexEngine(m)) e->tags.clear();
  return failed;
}

void CloseIndex(CKmComposite* m, IndexCursor* cursor) {
  IndexEngineState* e = GetIndexEngine(m);
  if (cursor == nullptr || e == nullptr) return;
  if (e->current == cursor) e->current = nullptr;
  if (e->sharedOwner == cursor) e->sharedOwner = nullptr;
  if (cursor->slot >= 0 && cursor->slot < kIndexSlots) e->slotInUse[cursor->slot] = false;
  e->lastError = kIndexErrNone;
  if (cursor->file >= 0 && !CloseFileHandle(cursor->file)) e->lastError = kIndexErrRead;
  cursor->file = -1;
  delete cursor;
}

bool BeginIndexUse(CKmComposite* m, IndexCursor* const* cursors, int count) {
  IndexEngineState* e = GetIndexEngine(m);
  if (e == nullptr) return false;
  if (e->sharedPage == nullptr) {
    e->sharedPage = new (std::nothrow) uint8_t[1024]();
    if (e->sharedPage == nullptr) {
      e->lastError = kIndexErrMemory;
      return false;
    }
  }
  e->sharedOwner = nullptr;
  int n = 0;
  for (int i = 0; i < count; ++i)
    if (cursors[i] != nullptr) ++n;
  int k = 0;
  for (int i = 0; i < count; ++i) {
    IndexCursor* c = cursors[i];
    if (c == nullptr) continue;
    ReleaseLevelBuffers(c);
    c->quota = kIndexPageBuffers / n + (k < kIndexPageBuffers % n ? 1 : 0);
    ++k;
  }
  return true;
}

void EndIndexUse(CKmComposite* m, IndexCursor* const* cursors, int count) {
  IndexEngineState* e = GetIndexEngine(m);
  if (e == nullptr) return;
  for (int i = 0; i < count; ++i) {
    IndexCursor* c = cursors[i];
    if (c == nullptr) continue;
    ReleaseLevelBuffers(c);
    c->quota = 0;
  }
  delete[] e->sharedPage;
  e->sharedPage = nullptr;
  e->sharedOwner = nullptr;
}

int SelectIndex(CKmComposite* m, IndexCursor* cursor, bool noLoad) {
  IndexEngineState* e = GetIndexEngine(m);
  if (e == nullptr) return kIndexFailed;
  if (cursor == nullptr) return IndexFail(e, kIndexErrNoIndex);
  if (e->current != cursor) {
    if (e->current != nullptr) e->current->savedLevel = e->currentLevel;
    e->current = cursor;
    e->currentLevel = cursor->savedLevel;
    e->currentKind = cursor->kind == kIndexWdx ? kIndexNdx : cursor->kind;
  }
  if (noLoad) return kIndexKeyFound;
  PagePosition& l = cursor->levels[e->currentLevel];
  if (!l.held) {
    // Nothing read yet: the path starts at the root, before its first entry.
    e->currentLevel = 0;
    return LoadLevelPage(e, cursor->root, true, false);
  }
  const int32_t entry = l.entry;
  const int r = LoadLevelPage(e, l.page, false, false);
  l.entry = entry;
  return r;
}
