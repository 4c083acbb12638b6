#include "foundation/library_file.h"

#include "foundation/library_file_io.h"
#include "foundation/byte_order.h"
#include "foundation/heap_strings.h"
#include "platform/win/codepage.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
// String-table ids of the engine's texts.
constexpr UINT IDS_LIB_ERROR_CODE = 61200;
constexpr UINT IDS_LIB_ERROR_TEXT = 61201;
constexpr UINT IDS_LIB_NO_MEMORY = 61202;
constexpr UINT IDS_LIB_DISK_ERROR = 61203;
constexpr UINT IDS_LIB_DISK_FULL = 61204;
constexpr UINT IDS_LIB_CANNOT_OPEN = 61205;
constexpr UINT IDS_LIB_BAD_REVISION = 61206;
constexpr UINT IDS_LIB_NAME_IN_USE = 61207;
constexpr UINT IDS_LIB_NO_SUCH_NAME = 61208;
constexpr UINT IDS_LIB_DAMAGED = 62306;
constexpr UINT IDS_LIB_FULL = 62307;

constexpr WORD kDataStart = 3;
constexpr UINT kEntryHead = 5;
constexpr WORD kMaxDirectoryCount = 0xFFFF;

// The link: high byte first, then the low word little-endian.
DWORD GetLink(const BYTE* rec) {
  return (static_cast<DWORD>(rec[0]) << 16) | static_cast<DWORD>(rec[1]) |
         (static_cast<DWORD>(rec[2]) << 8);
}
void PutLink(BYTE* rec, DWORD link) {
  rec[0] = static_cast<BYTE>(link >> 16);
  rec[1] = static_cast<BYTE>(link);
  rec[2] = static_cast<BYTE>(link >> 8);
}

size_t BoundedLength(const char* text, size_t limit) {
  size_t n = 0;
  while (n < limit && text[n] != '\0') ++n;
  return n;
}

bool HasExtension(const char* path) {
  const char* base = path;
  for (const char* p = path; *p; ++p)
    if (*p == '/' || *p == '\\') base = p + 1;
  return std::strchr(base, '.') != nullptr;
}
}  // namespace

bool LibNamesEqual(const char* a, const char* b) { return CompareAnsiNoCase(a, b) == 0; }

WORD LibRoundRecordLength(UINT requested) {
  if (requested < 64) return 32;
  if (requested < 128) return 64;
  if (requested < 256) return 128;
  if (requested < 512) return 256;
  return 512;
}

LibMember* NewLibMember(const char* name, DWORD firstRecord) {
  auto* m = static_cast<LibMember*>(HeapAllocZero(0, sizeof(LibMember)));
  if (m == nullptr) return nullptr;
  size_t n = BoundedLength(name, kLibMaxNameLength);
  std::memcpy(m->name, name, n);
  m->name[n] = '\0';
  m->firstRecord = firstRecord;
  return m;
}

void FreeLibMemberList(LibMember* list) {
  while (list != nullptr) {
    LibMember* next = list->next;
    HeapFreeBlock(list->reportInfo);
    HeapFreeBlock(list->comments);
    HeapFreeBlock(list);
    list = next;
  }
}

LibraryFile::LibraryFile() = default;

LibraryFile::~LibraryFile() { LibFreeBuffers(); }

bool LibraryFile::AllocCache() {
  if (m_cache != nullptr) return true;
  m_cache = static_cast<PageCacheBuffer*>(
      HeapAllocZero(0, static_cast<DWORD>(sizeof(PageCacheBuffer) * kLibCacheBuffers)));
  if (m_cache == nullptr) return false;
  for (UINT i = 0; i < kLibCacheBuffers; ++i) m_cache[i].owner = -1;
  m_useCounter = 0;
  return true;
}

void LibraryFile::LibFreeBuffers() {
  HeapFreeBlock(m_cache);
  m_cache = nullptr;
}

// ---------------------------------------------------------------------------
// Pages and records

bool LibraryFile::WriteBuffer(PageCacheBuffer* buffer) {
  if (!LibOsWritePage(buffer->owner, buffer->pageNumber, buffer->data)) return false;
  buffer->dirty = 0;
  return true;
}

PageCacheBuffer* LibraryFile::LibGetPage(DWORD page) {
  LibFileControlBlock* f = m_current;
  PageCacheBuffer* hit = nullptr;
  for (UINT i = 0; i < kLibCacheBuffers; ++i) {
    if (m_cache[i].owner == f->handle && m_cache[i].useStamp != 0 && m_cache[i].pageNumber == page) {
      hit = &m_cache[i];
      break;
    }
  }
  if (hit == nullptr) {
    if (page > f->pageCount) {
      Fail(LIBERR_PAST_EOF);
      return nullptr;
    }
    if (page == f->pageCount) {
      // Growing: a reader never grows a file, and the page count is 16 bits.
      if (!f->writable) {
        Fail(LIBERR_PAST_EOF);
        return nullptr;
      }
      if (f->pageCount >= kLibMaxPages) {
        Fail(LIBERR_FILE_FULL);
        return nullptr;
      }
    }
    PageCacheBuffer* victim = &m_cache[0];
    for (UINT i = 1; i < kLibCacheBuffers; ++i)
      if (m_cache[i].useStamp < victim->useStamp) victim = &m_cache[i];
    if (victim->dirty && !WriteBuffer(victim)) {
      // The page stays cached and dirty; the caller learns of the lost write.
      Fail(LIBERR_DISK_FULL);
      return nullptr;
    }
    std::memset(victim->data, 0, kLibPageSize);
    victim->owner = -1;
    victim->useStamp = 0;
    if (page < f->pageCount) {
      if (!LibOsReadPage(f->handle, page, victim->data)) {
        std::memset(victim->data, 0, kLibPageSize);
        Fail(LIBERR_DISK_ERROR);
        return nullptr;
      }
    } else {
      if (!LibOsWritePage(f->handle, page, victim->data)) {
        Fail(LIBERR_DISK_FULL);
        return nullptr;
      }
      ++f->pageCount;
      m_headerDirty = TRUE;
    }
    victim->pageNumber = page;
    victim->owner = f->handle;
    victim->dirty = 0;
    hit = victim;
  }
  hit->useStamp = ++m_useCounter;
  if (m_useCounter > 0x80000000u) {
    // Replace the stamps by their ranks so the counter never wraps.
    DWORD ranks[kLibCacheBuffers];
    for (UINT i = 0; i < kLibCacheBuffers; ++i) {
      DWORD r = 1;
      for (UINT j = 0; j < kLibCacheBuffers; ++j) {
        if (m_cache[j].useStamp < m_cache[i].useStamp ||
            (m_cache[j].useStamp == m_cache[i].useStamp && j < i))
          ++r;
      }
      ranks[i] = r;
    }
    for (UINT i = 0; i < kLibCacheBuffers; ++i) m_cache[i].useStamp = ranks[i];
    m_useCounter = kLibCacheBuffers + 1;
  }
  return hit;
}

BYTE* LibraryFile::LibLocateRecord(DWORD record, PageCacheBuffer** buffer) {
  LibFileControlBlock* f = m_current;
  // Only records below the next-new number exist.
  if (record > kLibMaxRecord || record >= f->nextNewRecord) {
    Fail(LIBERR_BAD_RECORD);
    return nullptr;
  }
  PageCacheBuffer* b = LibGetPage(record / f->recordsPerPage);
  if (b == nullptr) return nullptr;
  if (buffer != nullptr) *buffer = b;
  return b->data + (record % f->recordsPerPage) * f->recordLength;
}

bool LibraryFile::FlushFile(LibFileControlBlock* file, bool drop) {
  bool ok = true;
  for (UINT i = 0; i < kLibCacheBuffers; ++i) {
    PageCacheBuffer* b = &m_cache[i];
    if (b->owner != file->handle || b->useStamp == 0) continue;
    if (b->dirty && !WriteBuffer(b)) ok = false;
    if (drop) {
      b->dirty = 0;
      b->owner = -1;
      b->useStamp = 0;
    }
  }
  if (!ok) Fail(LIBERR_DISK_FULL);
  return ok;
}

bool LibraryFile::LibWriteHeader() {
  if (!m_headerDirty) return true;
  LibFileControlBlock* f = m_current;
  PageCacheBuffer* b = nullptr;
  BYTE* h = LibLocateRecord(0, &b);
  if (h == nullptr) return false;
  h[3] = 1;
  if (h[4] != 2) h[4] = 3;
  PutU32(h + 5, f->freeListHead);
  PutU32(h + 9, f->directoryRecord);
  PutU32(h + 13, f->nextNewRecord);
  PutU16(h + 17, f->pageCount);
  PutU16(h + 19, f->recordLength);
  PutU16(h + 21, f->kind);
  b->dirty = 1;
  if (!WriteBuffer(b)) {
    Fail(LIBERR_DISK_FULL);
    return false;
  }
  m_headerDirty = FALSE;
  return true;
}

bool LibraryFile::ReadLink(DWORD record, DWORD* link) {
  BYTE* rec = LibLocateRecord(record, nullptr);
  if (rec == nullptr) return false;
  *link = GetLink(rec);
  return true;
}

bool LibraryFile::SetLink(DWORD record, DWORD link) {
  PageCacheBuffer* b = nullptr;
  BYTE* rec = LibLocateRecord(record, &b);
  if (rec == nullptr) return false;
  PutLink(rec, link);
  b->dirty = 1;
  return true;
}

// Moves *record along its link for a cursor walk; a link of 0 is the chain's
// end, and a walk longer than the file has records is a loop.
bool LibraryFile::FollowLink(LibFileControlBlock* file, DWORD* record) {
  DWORD link = 0;
  if (!ReadLink(*record, &link)) return false;
  if (link == 0) {
    Fail(LIBERR_CHAIN_END);
    return false;
  }
  if (link >= file->nextNewRecord || ++file->linksFollowed >= file->nextNewRecord) {
    Fail(LIBERR_BAD_RECORD);
    return false;
  }
  *record = link;
  return true;
}

// The free list is walked once per open before its first record is handed
// out: a loop or a record with data on it would hand one record out twice.
bool LibraryFile::CheckFreeList() {
  LibFileControlBlock* f = m_current;
  DWORD r = f->freeListHead;
  DWORD steps = 0;
  while (r != 0) {
    if (r >= f->nextNewRecord || ++steps >= f->nextNewRecord) {
      Fail(LIBERR_BAD_RECORD);
      return false;
    }
    BYTE* rec = LibLocateRecord(r, nullptr);
    if (rec == nullptr) return false;
    for (UINT i = kDataStart; i < f->recordLength; ++i) {
      if (rec[i] != 0) {
        Fail(LIBERR_BAD_RECORD);
        return false;
      }
    }
    r = GetLink(rec);
  }
  f->freeListChecked = TRUE;
  return true;
}

DWORD LibraryFile::TakeRecord() {
  LibFileControlBlock* f = m_current;
  DWORD record;
  DWORD oldHead = f->freeListHead;
  DWORD oldNext = f->nextNewRecord;
  if (f->freeListHead != 0 && !f->freeListChecked && !CheckFreeList()) return 0;
  if (f->freeListHead != 0) {
    // A free record must lie inside the file and hold zero data; anything
    // else means the free list crosses live data, so nothing is handed out.
    record = f->freeListHead;
    BYTE* rec = LibLocateRecord(record, nullptr);
    if (rec == nullptr) return 0;
    DWORD link = GetLink(rec);
    bool clean = link < f->nextNewRecord;
    for (UINT i = kDataStart; clean && i < f->recordLength; ++i) clean = rec[i] == 0;
    if (!clean) {
      Fail(LIBERR_BAD_RECORD);
      return 0;
    }
    f->freeListHead = link;
  } else {
    if (f->nextNewRecord > kLibMaxRecord) {
      Fail(LIBERR_FILE_FULL);
      return 0;
    }
    record = f->nextNewRecord++;
  }
  if (!SetLink(record, 0)) {
    f->freeListHead = oldHead;
    f->nextNewRecord = oldNext;
    return 0;
  }
  m_headerDirty = TRUE;
  f->cursorRecord = record;
  f->cursorOffset = kDataStart;
  return record;
}

// ---------------------------------------------------------------------------
// Create, open, close

bool LibraryFile::LibInitNewFile(WORD kind, WORD recordLength) {
  LibFileControlBlock* f = m_current;
  f->freeListHead = 0;
  f->directoryRecord = 1;
  f->nextNewRecord = 2;
  f->pageCount = 0;
  f->cursorRecord = 0;
  f->cursorOffset = kDataStart;
  f->kind = kind;
  f->recordLength = recordLength;
  f->recordsPerPage = static_cast<BYTE>(kLibPageSize / recordLength);
  if (recordLength == kLibPageSize) {
    if (LibGetPage(0) == nullptr) return false;
    PageCacheBuffer* b = LibGetPage(1);
    if (b == nullptr) return false;
    if (!WriteBuffer(b)) {
      Fail(LIBERR_DISK_FULL);
      return false;
    }
  }
  m_headerDirty = TRUE;
  return LibWriteHeader();
}

LibFileControlBlock* LibraryFile::LibFileCreate(const char* path, UINT openMode, char* pathOut,
                                                WORD kind, UINT recordLength) {
  m_lastError = 0;
  m_systemError = 0;
  if (!AllocCache()) {
    Fail(LIBERR_NO_MEMORY);
    return nullptr;
  }
  WORD r = LibRoundRecordLength(recordLength);
  if (pathOut != nullptr) {
    size_t n = BoundedLength(path, MAX_PATH - 1);
    std::memcpy(pathOut, path, n);
    pathOut[n] = '\0';
  }
  if (LibOsExists(path)) {
    m_systemError = kSysFileExists;
    errno = kSysFileExists;
    Fail(LIBERR_CANNOT_OPEN);
    return nullptr;
  }
  LibFileControlBlock* f = OpenControlBlock(path, openMode | lib_of::ReadWrite, true);
  if (f == nullptr) return nullptr;
  f->writable = TRUE;
  f->freeListChecked = TRUE;
  if (!LibInitNewFile(kind, r)) return AbandonFile(f);
  return f;
}

LibFileControlBlock* LibraryFile::OpenControlBlock(const char* path, UINT flags, bool create) {
  auto* f = static_cast<LibFileControlBlock*>(HeapAllocZero(0, sizeof(LibFileControlBlock)));
  if (f == nullptr) {
    Fail(LIBERR_NO_MEMORY);
    return nullptr;
  }
  int sys = 0;
  f->handle = LibOsOpen(path, flags, create, &sys);
  if (f->handle < 0) {
    m_systemError = sys;
    errno = sys;
    HeapFreeBlock(f);
    Fail(LIBERR_CANNOT_OPEN);
    return nullptr;
  }
  MakeCurrent(f);
  return f;
}

LibFileControlBlock* LibraryFile::AbandonFile(LibFileControlBlock* f) {
  FlushFile(f, true);
  LibOsClose(f->handle);
  HeapFreeBlock(f);
  m_current = nullptr;
  return nullptr;
}

LibFileControlBlock* LibraryFile::LibFileOpen(const char* path, UINT shareMode, UINT openMode,
                                              WORD* kind, UINT recordLength) {
  m_lastError = 0;
  m_systemError = 0;
  if (!AllocCache()) {
    Fail(LIBERR_NO_MEMORY);
    return nullptr;
  }
  char full[MAX_PATH + 8];
  size_t n = BoundedLength(path, MAX_PATH - 1);
  std::memcpy(full, path, n);
  full[n] = '\0';
  if (!HasExtension(full)) std::strcat(full, ".QB6");

  LibFileControlBlock* f = OpenControlBlock(full, shareMode | openMode, false);
  if (f == nullptr) return nullptr;
  UINT access = openMode & 3;
  f->writable = (access == lib_of::Write || access == lib_of::ReadWrite) ? TRUE : FALSE;
  auto fail = [&]() { return AbandonFile(f); };

  long long size = LibOsFileSize(f->handle);
  if (size < 0) {
    Fail(LIBERR_DISK_ERROR);
    return fail();
  }
  if (size > 0) {
    // A provisional geometry reads record 0 before the header says more.
    f->recordLength = 32;
    f->recordsPerPage = 16;
    f->pageCount = 1;
    f->nextNewRecord = 1;
    BYTE* h = LibLocateRecord(0, nullptr);
    if (h == nullptr) {
      Fail(LIBERR_DISK_ERROR);
      return fail();
    }
    if (h[3] != 1 || (h[4] != 2 && h[4] != 3)) {
      Fail(LIBERR_BAD_REVISION);
      return fail();
    }
    WORD r = GetU16(h + 19);
    if (r == 0) r = 32;
    // Any other length would give records that overlap pages or hold no data.
    bool geometryOk = r == 32 || r == 64 || r == 128 || r == 256 || r == 512;
    DWORD nextNew = GetU32(h + 13);
    WORD pages = GetU16(h + 17);
    if (!geometryOk || pages == 0 || nextNew == 0 || nextNew > kLibMaxRecord + 1) {
      Fail(LIBERR_BAD_REVISION);
      return fail();
    }
    f->freeListHead = GetU32(h + 5);
    f->directoryRecord = GetU32(h + 9);
    f->nextNewRecord = nextNew;
    f->pageCount = pages;
    f->cursorRecord = 0;
    f->kind = GetU16(h + 21);
    f->recordLength = r;
    f->recordsPerPage = static_cast<BYTE>(kLibPageSize / r);
    // The provisional page 0 was read with a 32-byte view; the page is the same.
    if (kind != nullptr) *kind = f->kind;
    m_headerDirty = FALSE;
    return f;
  }
  if (!f->writable) {
    // An empty file cannot become a library through a read-only handle.
    Fail(LIBERR_BAD_REVISION);
    return fail();
  }
  if (!LibInitNewFile(kind != nullptr ? *kind : 0, LibRoundRecordLength(recordLength))) return fail();
  return f;
}

int LibraryFile::LibFileClose(LibFileControlBlock* file) {
  if (file == nullptr) return 0;
  m_lastError = 0;
  int rc = 0;
  if (m_cache != nullptr) {
    MakeCurrent(file);
    if (!FlushFile(file, true)) rc = 1;
  }
  LibOsClose(file->handle);
  if (m_current == file) m_current = nullptr;
  HeapFreeBlock(file);
  return rc;
}

const char* LibraryFile::LibErrorText() {
  UINT word = 0;
  switch (m_lastError) {
    case LIBERR_NO_MEMORY: word = IDS_LIB_NO_MEMORY; break;
    case LIBERR_DISK_ERROR: word = IDS_LIB_DISK_ERROR; break;
    case LIBERR_DISK_FULL: word = IDS_LIB_DISK_FULL; break;
    case LIBERR_CANNOT_OPEN: word = IDS_LIB_CANNOT_OPEN; break;
    case LIBERR_BAD_REVISION: word = IDS_LIB_BAD_REVISION; break;
    case LIBERR_NAME_IN_USE: word = IDS_LIB_NAME_IN_USE; break;
    case LIBERR_NO_SUCH_NAME: word = IDS_LIB_NO_SUCH_NAME; break;
    // A number means nothing to the user: these say the file itself is at fault.
    case LIBERR_BAD_RECORD:
    case LIBERR_CHAIN_END:
    case LIBERR_PAST_EOF:
    case LIBERR_BAD_DIRECTORY: word = IDS_LIB_DAMAGED; break;
    case LIBERR_FILE_FULL: word = IDS_LIB_FULL; break;
    default: break;
  }
  char format[256];
  if (word != 0) {
    std::snprintf(format, sizeof format, "%s", GetResString(IDS_LIB_ERROR_TEXT, 0));
    std::snprintf(m_errorText, sizeof m_errorText, format, GetResString(word, 1));
  } else {
    std::snprintf(format, sizeof format, "%s", GetResString(IDS_LIB_ERROR_CODE, 0));
    std::snprintf(m_errorText, sizeof m_errorText, format, m_lastError);
  }
  return m_errorText;
}

// ---------------------------------------------------------------------------
// Cursor reads and writes

// Starts an operation that changes the file. A file opened for reading is
// refused before anything changes, so the cache never holds changes that
// cannot reach the disk.
bool LibraryFile::BeginChange(LibFileControlBlock* file) {
  m_lastError = 0;
  MakeCurrent(file);
  if (file->writable) return true;
  Fail(LIBERR_DISK_FULL);
  return false;
}

void LibraryFile::LibRewind(LibFileControlBlock* file, DWORD record) {
  m_lastError = 0;
  file->cursorRecord = record;
  file->cursorOffset = kDataStart;
  file->linksFollowed = 0;
}

int LibraryFile::LibRead(LibFileControlBlock* file, DWORD count, void* destination) {
  m_lastError = 0;
  MakeCurrent(file);
  if (count == 0) return 0;
  if (file->cursorRecord == 0) {
    Fail(LIBERR_CHAIN_END);
    return 1;
  }
  DWORD c = file->cursorRecord;
  WORD o = file->cursorOffset;
  DWORD savedLinks = file->linksFollowed;
  auto* out = static_cast<BYTE*>(destination);
  DWORD left = count;
  bool ok = true;
  while (ok && left > 0) {
    if (o >= file->recordLength) {
      ok = FollowLink(file, &c);
      o = kDataStart;
      continue;
    }
    BYTE* rec = LibLocateRecord(c, nullptr);
    if (rec == nullptr) {
      ok = false;
      break;
    }
    DWORD take = file->recordLength - o;
    if (take > left) take = left;
    std::memcpy(out, rec + o, take);
    out += take;
    left -= take;
    o = static_cast<WORD>(o + take);
  }
  if (!ok) {
    file->linksFollowed = savedLinks;
    return 1;
  }
  file->cursorRecord = c;
  file->cursorOffset = o;
  return LibWriteHeader() ? 0 : 1;
}

int LibraryFile::LibWrite(LibFileControlBlock* file, DWORD count, const void* source, BOOL flush,
                          BOOL follow) {
  m_lastError = 0;
  MakeCurrent(file);
  if (count == 0) {
    if (flush && !FlushFile(file, false)) return 1;
    return 0;
  }
  if (!BeginChange(file)) return 1;
  if (file->cursorRecord == 0) {
    Fail(LIBERR_CHAIN_END);
    return 1;
  }
  DWORD c = file->cursorRecord;
  WORD o = file->cursorOffset;
  auto* in = static_cast<const BYTE*>(source);
  DWORD left = count;
  bool ok = true;
  while (ok && left > 0) {
    if (o >= file->recordLength) {
      DWORD next = 0;
      if (follow) {
        if (!ReadLink(c, &next)) {
          ok = false;
          break;
        }
        if (next != 0) {
          ok = FollowLink(file, &c);
          o = kDataStart;
          continue;
        }
        follow = FALSE;
      }
      next = TakeRecord();
      if (next == 0 || !SetLink(c, next)) {
        ok = false;
        break;
      }
      c = next;
      o = kDataStart;
      continue;
    }
    PageCacheBuffer* b = nullptr;
    BYTE* rec = LibLocateRecord(c, &b);
    if (rec == nullptr) {
      ok = false;
      break;
    }
    DWORD take = file->recordLength - o;
    if (take > left) take = left;
    std::memcpy(rec + o, in, take);
    b->dirty = 1;
    in += take;
    left -= take;
    o = static_cast<WORD>(o + take);
  }
  // Bytes written so far stay written; the cursor ends where writing stopped.
  file->cursorRecord = c;
  file->cursorOffset = o;
  UINT err = m_lastError;
  bool headerOk = LibWriteHeader();
  if (!ok) {
    m_lastError = err != 0 ? err : m_lastError;
    return 1;
  }
  if (!headerOk) return 1;
  if (flush && !FlushFile(file, false)) return 1;
  return 0;
}

DWORD LibraryFile::LibAllocRecord(LibFileControlBlock* file) {
  if (!BeginChange(file)) return 0;
  DWORD r = TakeRecord();
  if (!LibWriteHeader() || r == 0) return 0;
  file->linksFollowed = 0;
  return r;
}

int LibraryFile::LibFreeChain(LibFileControlBlock* file, DWORD firstRecord) {
  if (!BeginChange(file)) return 1;
  if (firstRecord == 0) return 0;
  if (firstRecord >= file->nextNewRecord) {
    Fail(LIBERR_BAD_RECORD);
    return 1;
  }
  // Walk the chain once to prove it ends inside the file without a loop, so a
  // bad chain never becomes a looping free list.
  DWORD r = firstRecord;
  DWORD steps = 0;
  for (;;) {
    DWORD link = 0;
    if (!ReadLink(r, &link)) return 1;
    if (link == 0) break;
    if (link >= file->nextNewRecord || ++steps >= file->nextNewRecord) {
      Fail(LIBERR_BAD_RECORD);
      return 1;
    }
    r = link;
  }
  DWORD oldHead = file->freeListHead;
  r = firstRecord;
  for (;;) {
    PageCacheBuffer* b = nullptr;
    BYTE* rec = LibLocateRecord(r, &b);
    if (rec == nullptr) return 1;
    DWORD link = GetLink(rec);
    std::memset(rec + kDataStart, 0, file->recordLength - kDataStart);
    if (link == 0) PutLink(rec, oldHead);
    b->dirty = 1;
    if (link == 0) break;
    r = link;
  }
  file->freeListHead = firstRecord;
  // A hostile chain can end inside the free list and close it into a loop;
  // the next allocation walks the list again.
  file->freeListChecked = FALSE;
  m_headerDirty = TRUE;
  return LibWriteHeader() ? 0 : 1;
}

DWORD LibraryFile::LibCopyChain(LibFileControlBlock* source, DWORD sourceFirst,
                                LibFileControlBlock* destination) {
  if (sourceFirst == 0 || sourceFirst >= source->nextNewRecord) {
    m_lastError = LIBERR_BAD_RECORD;
    return 0;
  }
  // The source's records as they were: within one file the copy's own new
  // records must not lengthen the walk of a looping chain.
  const DWORD sourceRecords = source->nextNewRecord;
  DWORD first = LibAllocRecord(destination);
  if (first == 0) return 0;
  // Reader and writer keep their own cursors, as source and destination may
  // be the same file.
  struct Cursor {
    DWORD record;
    WORD offset;
    DWORD links;
  };
  Cursor in{sourceFirst, kDataStart, 0}, out{first, kDataStart, 0};
  auto load = [](LibFileControlBlock* f, const Cursor& c) {
    f->cursorRecord = c.record;
    f->cursorOffset = c.offset;
    f->linksFollowed = c.links;
  };
  auto save = [](const LibFileControlBlock* f, Cursor& c) {
    c = {f->cursorRecord, f->cursorOffset, f->linksFollowed};
  };
  auto fail = [&]() -> DWORD {
    UINT err = m_lastError;
    LibFreeChain(destination, first);
    m_lastError = err;
    return 0;
  };
  // One source record at a time: the read that finds no next record is the end.
  BYTE data[kLibPageSize];
  const DWORD step = source->recordLength - kDataStart;
  for (DWORD copied = 0;; ++copied) {
    if (copied >= sourceRecords) {
      m_lastError = LIBERR_BAD_RECORD;
      return fail();
    }
    load(source, in);
    if (LibRead(source, step, data) != 0) {
      if (m_lastError == LIBERR_CHAIN_END && copied > 0) break;
      return fail();
    }
    save(source, in);
    load(destination, out);
    if (LibWrite(destination, step, data, FALSE, FALSE) != 0) return fail();
    save(destination, out);
  }
  if (LibWrite(destination, 0, nullptr, TRUE, FALSE) != 0) return 0;
  m_lastError = 0;
  return first;
}

// ---------------------------------------------------------------------------
// Directory

// Reads the next entry at the cursor into the scratch and name; 0 or 1.
int LibraryFile::ReadDirectoryEntry(LibFileControlBlock* file, char* name) {
  m_entryRecord = file->cursorRecord;
  m_entryOffset = file->cursorOffset;
  BYTE head[kEntryHead];
  if (LibRead(file, kEntryHead, head) != 0) return 1;
  BYTE len = head[0];
  if (len == 0 || len > kLibMaxNameLength) return 1;
  if (LibRead(file, len, name) != 0) return 1;
  name[len] = '\0';
  m_entryNameLength = len;
  m_entryFirstRecord = GetU32(head + 1);
  return 0;
}

// 1 found (scratch holds the entry), 0 not found (cursor past the last
// entry), -1 when the directory cannot be read (512).
int LibraryFile::LibSearchDirectory(LibFileControlBlock* file, const char* name) {
  LibRewind(file, file->directoryRecord);
  BYTE countBytes[2];
  if (LibRead(file, 2, countBytes) != 0) {
    m_lastError = LIBERR_BAD_DIRECTORY;
    return -1;
  }
  m_entryCount = GetU16(countBytes);
  char stored[kLibMaxNameLength + 1];
  for (UINT i = 0; i < m_entryCount; ++i) {
    if (ReadDirectoryEntry(file, stored) != 0) {
      m_lastError = LIBERR_BAD_DIRECTORY;
      return -1;
    }
    if (m_entryFirstRecord != 0 && LibNamesEqual(stored, name)) {
      std::memcpy(m_entryName, stored, m_entryNameLength + 1u);
      return 1;
    }
  }
  m_lastError = 0;
  return 0;
}

int LibraryFile::WriteEntryHead(LibFileControlBlock* file, DWORD firstRecord) {
  BYTE head[kEntryHead];
  head[0] = m_entryNameLength;
  PutU32(head + 1, firstRecord);
  file->cursorRecord = m_entryRecord;
  file->cursorOffset = m_entryOffset;
  file->linksFollowed = 0;
  return LibWrite(file, kEntryHead, head, TRUE, TRUE);
}

// Appends an entry at the cursor (the directory's end, after a search that
// found nothing) and counts it.
int LibraryFile::AppendEntry(LibFileControlBlock* file, const char* name, DWORD firstRecord) {
  size_t len = std::strlen(name);
  BYTE entry[kEntryHead + kLibMaxNameLength];
  entry[0] = static_cast<BYTE>(len);
  PutU32(entry + 1, firstRecord);
  std::memcpy(entry + kEntryHead, name, len);
  if (LibWrite(file, static_cast<DWORD>(kEntryHead + len), entry, FALSE, FALSE) != 0) return 1;
  BYTE countBytes[2];
  PutU16(countBytes, static_cast<WORD>(m_entryCount + 1));
  LibRewind(file, file->directoryRecord);
  return LibWrite(file, 2, countBytes, TRUE, TRUE);
}

static bool ValidNewName(const char* name) {
  size_t n = BoundedLength(name, kLibMaxNameLength + 1);
  return n >= 1 && n <= kLibMaxNameLength;
}

int LibraryFile::LibAddMember(LibFileControlBlock* file, LibMember* entry) {
  if (!BeginChange(file)) return 1;
  // The length goes into one byte and readers refuse more than 80.
  if (!ValidNewName(entry->name)) {
    Fail(LIBERR_BAD_DIRECTORY);
    return 1;
  }
  int found = LibSearchDirectory(file, entry->name);
  if (found < 0) return 1;
  if (found > 0) {
    m_lastError = LIBERR_NAME_IN_USE;
    return 1;
  }
  if (m_entryCount == kMaxDirectoryCount) {
    Fail(LIBERR_FILE_FULL);
    return 1;
  }
  return AppendEntry(file, entry->name, entry->firstRecord);
}

int LibraryFile::LibSetMemberStart(LibFileControlBlock* file, LibMember* entry) {
  if (!BeginChange(file)) return 1;
  if (!FindEntry(file, entry->name)) return 1;
  return WriteEntryHead(file, entry->firstRecord);
}

bool LibraryFile::FindEntry(LibFileControlBlock* file, const char* name) {
  int found = LibSearchDirectory(file, name);
  if (found < 0) return false;
  if (found == 0) {
    m_lastError = LIBERR_NO_SUCH_NAME;
    return false;
  }
  return true;
}

int LibraryFile::RemoveEntry(LibFileControlBlock* file, LibMember* entry, bool freeData) {
  if (!FindEntry(file, entry->name)) return 1;
  DWORD first = m_entryFirstRecord;
  if (WriteEntryHead(file, 0) != 0) return 1;
  int rc = 0;
  UINT err = 0;
  if (freeData && LibFreeChain(file, first) != 0) {
    // The entry is gone already; its records are lost but nothing shares them.
    rc = 1;
    err = m_lastError;
  }
  entry->firstRecord = 0;
  // The entry is out; a directory that could not be compacted keeps it as an
  // unused entry, which readers skip.
  if (LibCompactDirectory(file) != 0) return 2;
  if (rc != 0) m_lastError = err;
  return rc;
}

int LibraryFile::LibDeleteMember(LibFileControlBlock* file, LibMember* entry) {
  if (!BeginChange(file)) return 1;
  return RemoveEntry(file, entry, true) != 0 ? 1 : 0;
}

int LibraryFile::LibRenameMember(LibFileControlBlock* file, LibMember* entry, const char* newName) {
  if (!BeginChange(file)) return 1;
  if (!ValidNewName(newName)) {
    Fail(LIBERR_BAD_DIRECTORY);
    return 1;
  }
  if (!FindEntry(file, entry->name)) return 1;
  DWORD first = m_entryFirstRecord;
  if (!LibNamesEqual(newName, entry->name)) {
    int found = LibSearchDirectory(file, newName);
    if (found < 0) return 1;
    if (found > 0) {
      m_lastError = LIBERR_NAME_IN_USE;
      return 1;
    }
  } else if (LibSearchDirectory(file, "") < 0) {
    // No entry has an empty name: this leaves the cursor at the directory's end.
    return 1;
  }
  if (m_entryCount == kMaxDirectoryCount) {
    Fail(LIBERR_FILE_FULL);
    return 1;
  }
  if (AppendEntry(file, newName, first) != 0) return 1;
  entry->firstRecord = 0;
  // The old entry precedes the new one, so the search finds it first.
  int removed = RemoveEntry(file, entry, false);
  if (removed == 1) {
    // Two entries must never share one chain: take the new one out again.
    UINT err = m_lastError;
    if (LibSearchDirectory(file, newName) > 0 && m_entryFirstRecord == first) WriteEntryHead(file, 0);
    entry->firstRecord = first;
    m_lastError = err;
    return 1;
  }
  // Removed but not compacted: the rename stands all the same.
  m_lastError = 0;
  return 0;
}

LibMember* LibraryFile::LibListMembers(LibFileControlBlock* file) {
  m_lastError = 0;
  MakeCurrent(file);
  m_unusedEntries = 0;
  LibRewind(file, file->directoryRecord);
  BYTE countBytes[2];
  if (LibRead(file, 2, countBytes) != 0) {
    m_lastError = LIBERR_BAD_DIRECTORY;
    return nullptr;
  }
  m_entryCount = GetU16(countBytes);
  LibMember* head = nullptr;
  LibMember** tail = &head;
  char name[kLibMaxNameLength + 1];
  for (UINT i = 0; i < m_entryCount; ++i) {
    if (ReadDirectoryEntry(file, name) != 0) {
      FreeLibMemberList(head);
      m_lastError = LIBERR_BAD_DIRECTORY;
      return nullptr;
    }
    if (m_entryFirstRecord == 0) {
      ++m_unusedEntries;
      continue;
    }
    LibMember* m = NewLibMember(name, m_entryFirstRecord);
    if (m == nullptr) {
      FreeLibMemberList(head);
      m_lastError = LIBERR_NO_MEMORY;
      return nullptr;
    }
    *tail = m;
    tail = &m->next;
  }
  m_lastError = 0;
  return head;
}

LibMember* LibraryFile::LibFindMember(LibFileControlBlock* file, const char* name) {
  m_lastError = 0;
  MakeCurrent(file);
  LibMember* m = NewLibMember(name, 0);
  if (m == nullptr) {
    Fail(LIBERR_NO_MEMORY);
    return nullptr;
  }
  int found = BoundedLength(name, kLibMaxNameLength + 1) > kLibMaxNameLength
                  ? 0
                  : LibSearchDirectory(file, name);
  if (found <= 0) {
    FreeLibMemberList(m);
    if (found == 0) m_lastError = LIBERR_NO_SUCH_NAME;
    return nullptr;
  }
  m->firstRecord = m_entryFirstRecord;
  std::memcpy(m->name, m_entryName, m_entryNameLength + 1u);
  return m;
}

int LibraryFile::LibCompactDirectory(LibFileControlBlock* file) {
  LibMember* list = LibListMembers(file);
  if (m_lastError != 0) {
    // A directory that cannot be listed is kept as it stands: its unused
    // entry is valid, and rebuilding from a partial list would lose members.
    return 1;
  }
  int rc = 0;
  if (m_unusedEntries > 0) {
    // The new directory goes into fresh records and replaces the old one
    // only when complete, so a failure leaves the old directory in place.
    DWORD oldDirectory = file->directoryRecord;
    DWORD fresh = LibAllocRecord(file);
    BYTE bytes[2] = {0, 0};
    WORD count = 0;
    if (fresh == 0 || LibWrite(file, 2, bytes, FALSE, FALSE) != 0) rc = 1;
    for (LibMember* m = list; rc == 0 && m != nullptr; m = m->next) {
      BYTE entry[kEntryHead + kLibMaxNameLength];
      size_t len = std::strlen(m->name);
      entry[0] = static_cast<BYTE>(len);
      PutU32(entry + 1, m->firstRecord);
      std::memcpy(entry + kEntryHead, m->name, len);
      if (LibWrite(file, static_cast<DWORD>(kEntryHead + len), entry, FALSE, FALSE) != 0) rc = 1;
      ++count;
    }
    if (rc == 0) {
      PutU16(bytes, count);
      LibRewind(file, fresh);
      if (LibWrite(file, 2, bytes, TRUE, TRUE) != 0) rc = 1;
    }
    if (rc == 0) {
      file->directoryRecord = fresh;
      m_headerDirty = TRUE;
      if (!LibWriteHeader()) rc = 1;
      // The member operation is complete; a damaged old chain only leaks.
      else if (LibFreeChain(file, oldDirectory) != 0) m_lastError = 0;
    } else if (fresh != 0) {
      UINT err = m_lastError;
      LibFreeChain(file, fresh);
      m_lastError = err;
    }
  }
  FreeLibMemberList(list);
  if (rc == 0) {
    m_headerDirty = TRUE;
    if (!LibWriteHeader() || !FlushFile(file, false)) rc = 1;
  }
  return rc;
}
