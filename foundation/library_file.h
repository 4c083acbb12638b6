// The paged library file: report libraries, template libraries and the
// user-function library all keep their members in it. A file is a run of
// 512-byte pages cut into fixed records; members, the directory and the free
// list are chains of records joined by 3-byte links.
//
// One engine serves every library a document has open: the six page buffers,
// the header-dirty flag, the last error and the scratch of a directory
// operation are shared, and each operation makes its file current first.
#pragma once

#include "platform/win/win_types.h"

// Open and share flags in the values the callers pass (they are or-ed).
namespace lib_of {
constexpr UINT Read = 0x0000;
constexpr UINT Write = 0x0001;
constexpr UINT ReadWrite = 0x0002;
constexpr UINT ShareExclusive = 0x0010;
constexpr UINT ShareDenyWrite = 0x0020;
constexpr UINT ShareDenyRead = 0x0030;
constexpr UINT ShareDenyNone = 0x0040;
constexpr UINT Create = 0x1000;
constexpr UINT Exist = 0x4000;
}  // namespace lib_of

// Library kinds as stored in the header (the engine never interprets them).
constexpr WORD kLibKindReport = 8;
constexpr WORD kLibKindOldReport = 2;
constexpr WORD kLibKindUserFunctions = 0;

// Last-error codes.
enum LibError : UINT {
  LIBERR_NONE = 0,
  LIBERR_BAD_RECORD = 256,
  LIBERR_CHAIN_END = 257,
  LIBERR_NO_MEMORY = 258,
  LIBERR_PAST_EOF = 259,
  LIBERR_DISK_ERROR = 260,
  LIBERR_DISK_FULL = 261,
  LIBERR_CANNOT_OPEN = 262,
  LIBERR_FILE_FULL = 263,
  LIBERR_BAD_REVISION = 264,
  LIBERR_BAD_DIRECTORY = 512,
  LIBERR_NAME_IN_USE = 513,
  LIBERR_NO_SUCH_NAME = 514,
};

constexpr UINT kLibPageSize = 512;
constexpr DWORD kLibMaxRecord = 0xFFFFFF;
constexpr UINT kLibMaxNameLength = 80;
constexpr UINT kLibCacheBuffers = 6;
constexpr UINT kLibMaxPages = 0xFFFF;

// One open library file.
struct LibFileControlBlock {
  int handle;            // file descriptor
  DWORD freeListHead;    // header offset 5
  DWORD directoryRecord; // header offset 9
  DWORD nextNewRecord;   // header offset 13
  WORD pageCount;        // header offset 17
  DWORD cursorRecord;    // 0: no position
  WORD cursorOffset;     // 3..recordLength
  WORD kind;             // header offset 21
  WORD recordLength;
  BYTE recordsPerPage;
  // Not in the header: whether the handle may write, and how many links the
  // cursor has followed since the last rewind (bounds every walk of a chain).
  BOOL writable;
  DWORD linksFollowed;
  BOOL freeListChecked;  // the free list was walked once and found sound
};

struct PageCacheBuffer {
  BYTE dirty;
  DWORD pageNumber;
  DWORD useStamp;  // 0 when empty
  int owner;       // -1 when empty
  BYTE data[kLibPageSize];
};

// One directory entry as listed in memory.
struct LibMember {
  LibMember* next;
  DWORD firstRecord;
  BYTE* reportInfo;  // owned heap block, filled by the library Open dialog
  char* comments;    // owned heap block, filled by the library Open dialog
  char dataSource[32];
  char name[kLibMaxNameLength + 1];
};

// A new zero-filled entry holding name (cut at 80 bytes); null when memory runs out.
LibMember* NewLibMember(const char* name, DWORD firstRecord);
// Frees every entry of the list with what each owns; a null list is ignored.
void FreeLibMemberList(LibMember* list);

// Case-insensitive equality of two Windows-1252 texts, as member names compare.
bool LibNamesEqual(const char* a, const char* b);

// Record lengths that a header may hold: 0 (older files, meaning 32) and the
// powers of two from 32 to 512.
WORD LibRoundRecordLength(UINT requested);

class LibraryFile {
 public:
  LibraryFile();
  ~LibraryFile();
  LibraryFile(const LibraryFile&) = delete;
  LibraryFile& operator=(const LibraryFile&) = delete;

  LibFileControlBlock* LibFileCreate(const char* path, UINT openMode, char* pathOut, WORD kind,
                                     UINT recordLength);
  LibFileControlBlock* LibFileOpen(const char* path, UINT shareMode, UINT openMode, WORD* kind,
                                   UINT recordLength);
  // Writes back and drops the file's pages; 1 when a page could not be written
  // (the file is closed all the same). A null file is ignored.
  int LibFileClose(LibFileControlBlock* file);
  const char* LibErrorText();
  void LibRewind(LibFileControlBlock* file, DWORD record);
  int LibRead(LibFileControlBlock* file, DWORD count, void* destination);
  int LibWrite(LibFileControlBlock* file, DWORD count, const void* source, BOOL flush, BOOL follow);
  DWORD LibAllocRecord(LibFileControlBlock* file);
  int LibFreeChain(LibFileControlBlock* file, DWORD firstRecord);
  LibMember* LibListMembers(LibFileControlBlock* file);
  LibMember* LibFindMember(LibFileControlBlock* file, const char* name);
  int LibAddMember(LibFileControlBlock* file, LibMember* entry);
  int LibSetMemberStart(LibFileControlBlock* file, LibMember* entry);
  int LibDeleteMember(LibFileControlBlock* file, LibMember* entry);
  int LibRenameMember(LibFileControlBlock* file, LibMember* entry, const char* newName);
  void LibFreeBuffers();
  // Copies every data byte of the chain at sourceFirst into a new chain of
  // destination (another open library, or the same one) and returns its first
  // record; 0 on failure, with the new chain freed again.
  DWORD LibCopyChain(LibFileControlBlock* source, DWORD sourceFirst,
                     LibFileControlBlock* destination);

  // The names the expression language's callers use for the same operations.
  int LibAddDirEntry(LibFileControlBlock* file, LibMember* entry) { return LibAddMember(file, entry); }
  int LibRelinkMember(LibFileControlBlock* file, LibMember* entry) {
    return LibSetMemberStart(file, entry);
  }
  int LibRemoveMember(LibFileControlBlock* file, LibMember* entry) {
    return LibDeleteMember(file, entry);
  }

  UINT LibLastError() const { return m_lastError; }
  void LibSetLastError(UINT code) { m_lastError = code; }
  // The system error of the last failed open or create (2, 13, 17, 24, ...).
  int LibSystemError() const { return m_systemError; }
  // Unused entries met by the last listing.
  UINT LibUnusedEntries() const { return m_unusedEntries; }

 private:
  bool AllocCache();
  void MakeCurrent(LibFileControlBlock* file) { m_current = file; }
  bool BeginChange(LibFileControlBlock* file);
  BYTE* LibLocateRecord(DWORD record, PageCacheBuffer** buffer);
  PageCacheBuffer* LibGetPage(DWORD page);
  bool WriteBuffer(PageCacheBuffer* buffer);
  bool FlushFile(LibFileControlBlock* file, bool drop);
  bool LibWriteHeader();
  bool LibInitNewFile(WORD kind, WORD recordLength);
  // A control block with its handle open (262 and the system error when the
  // handle cannot be had), and the undoing of a create or open that failed.
  LibFileControlBlock* OpenControlBlock(const char* path, UINT flags, bool create);
  LibFileControlBlock* AbandonFile(LibFileControlBlock* f);
  DWORD TakeRecord();
  bool CheckFreeList();
  bool ReadLink(DWORD record, DWORD* link);
  bool SetLink(DWORD record, DWORD link);
  bool FollowLink(LibFileControlBlock* file, DWORD* record);
  int ReadDirectoryEntry(LibFileControlBlock* file, char* name);
  int LibSearchDirectory(LibFileControlBlock* file, const char* name);
  // Leaves the directory cursor on the named entry; false (no such name, or
  // the read's own error) when it cannot.
  bool FindEntry(LibFileControlBlock* file, const char* name);
  int WriteEntryHead(LibFileControlBlock* file, DWORD firstRecord);
  int AppendEntry(LibFileControlBlock* file, const char* name, DWORD firstRecord);
  int RemoveEntry(LibFileControlBlock* file, LibMember* entry, bool freeData);
  int LibCompactDirectory(LibFileControlBlock* file);
  void Fail(UINT code) {
    if (m_lastError == 0) m_lastError = code;
  }

  PageCacheBuffer* m_cache = nullptr;  // kLibCacheBuffers buffers
  DWORD m_useCounter = 0;
  BOOL m_headerDirty = FALSE;
  UINT m_lastError = 0;
  int m_systemError = 0;
  char m_errorText[128] = {};
  LibFileControlBlock* m_current = nullptr;

  // Scratch of one directory operation.
  BYTE m_entryNameLength = 0;
  DWORD m_entryFirstRecord = 0;
  DWORD m_entryRecord = 0;
  WORD m_entryOffset = 0;
  char m_entryName[kLibMaxNameLength + 1] = {};
  WORD m_entryCount = 0;
  UINT m_unusedEntries = 0;
};
