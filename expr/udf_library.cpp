#include "expr/udf_library.h"

#include "expr/udf.h"
#include "expr/udf_state.h"
#include "foundation/library_file.h"
#include "foundation/library_file_io.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"
#include "platform/win/codepage.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {
// String-table ids of the library's messages.
constexpr UINT IDS_UDF_INVALID = 21620;
constexpr UINT IDS_UDF_NOT_CURRENT = 21621;
constexpr UINT IDS_UDF_READING = 21622;
constexpr UINT IDS_UDF_CREATING = 21623;
constexpr UINT IDS_UDF_OPENING = 21624;
constexpr UINT IDS_UDF_WRITING = 21625;
constexpr UINT IDS_UDF_DELETING = 21626;
constexpr UINT IDS_UDF_NO_ACCESS = 21627;
constexpr UINT IDS_UDF_ACCESS_ERROR = 21628;

constexpr uint32_t kKindMask = 0x32304;
constexpr UINT kLongestReportRecord = 700;

UdfState* State(CKmComposite* m) {
  UdfState* st = GetUdfState(m);
  if (st->engine == nullptr) {
    if (!st->ownEngine) st->ownEngine.reset(new LibraryFile);
    st->engine = st->ownEngine.get();
  }
  if (st->path.empty()) st->path = "kmw.udf";
  return st;
}

void SetNodeName(UdfState* st, const char* name) {
  size_t n = strnlen(name, kUdfNameMax);
  std::memcpy(st->nodeName, name, n);
  st->nodeName[n] = '\0';
}

// The texts of a member come in the OEM code page unless its header says otherwise.
void FromOem(std::string& text) {
  if (!text.empty()) OemToCharA(&text[0], &text[0]);
}

// Reads a member record's data of an expected most length; false (the member
// is bad) when it is longer, so nothing is copied past a buffer.
bool ReadData(LibraryFile* e, LibFileControlBlock* f, uint16_t length, uint16_t most, void* out) {
  if (length > most) return false;
  return e->LibRead(f, length, out) == 0;
}

// One report record (u16 type, u16 length, data) of a report library member;
// false when it cannot be read or is longer than the reader's buffer.
bool ReadReportRecord(LibraryFile* e, LibFileControlBlock* f, uint16_t* type,
                      std::vector<uint8_t>* data) {
  uint8_t head[4];
  if (e->LibRead(f, 4, head) != 0) return false;
  *type = static_cast<uint16_t>(head[0] | (head[1] << 8));
  uint16_t length = static_cast<uint16_t>(head[2] | (head[3] << 8));
  if (length > kLongestReportRecord) return false;
  data->resize(length);
  return length == 0 || e->LibRead(f, length, data->data()) == 0;
}
}  // namespace

void SetUdfLibraryPath(CKmComposite* m, const char* path) { GetUdfState(m)->path = path; }

void SetUdfLibraryEngine(CKmComposite* m, LibraryFile* engine) { GetUdfState(m)->engine = engine; }

LibraryFile* UdfLibraryEngine(CKmComposite* m) { return State(m)->engine; }

LibFileControlBlock* UdfLibraryHandle(CKmComposite* m) { return State(m)->library; }

DWORD GetFileStamp(int handle) { return LibOsHandleStamp(handle); }

int OpenUdfLibrary(CKmComposite* m, bool allowCreate) {
  UdfState* st = State(m);
  LibraryFile* e = st->engine;
  if (st->library != nullptr) CloseUdfLibrary(m);
  // A file made by someone else between our look and our create sends us
  // back to opening it; a few rounds are plenty.
  for (int round = 0; round < 4; ++round) {
    WORD kind = kLibKindUserFunctions;
    UINT mode = allowCreate ? lib_of::ReadWrite : lib_of::Read;
    LibFileControlBlock* f = e->LibFileOpen(st->path.c_str(), lib_of::ShareDenyWrite, mode, &kind, 32);
    if (f != nullptr) {
      if (kind != kLibKindUserFunctions) {
        e->LibFileClose(f);
        return kUdfLibInvalid;
      }
      if (allowCreate && GetFileStamp(f->handle) != st->stamp) {
        e->LibFileClose(f);
        return kUdfLibNotCurrent;
      }
      st->library = f;
      return kUdfLibOk;
    }
    if (e->LibLastError() != LIBERR_CANNOT_OPEN) return kUdfLibOpenError;
    int sys = e->LibSystemError();
    if (sys == kSysAccessDenied) return kUdfLibNoAccess;
    if (sys == kSysTooManyFiles) return kUdfLibOpenError;
    if (sys != kSysNoSuchFile) return kUdfLibAccessError;
    if (!allowCreate) return kUdfLibOk;
    f = e->LibFileCreate(st->path.c_str(), lib_of::ShareDenyWrite, nullptr, kLibKindUserFunctions, 32);
    if (f != nullptr) {
      st->library = f;
      return kUdfLibOk;
    }
    if (e->LibLastError() != LIBERR_CANNOT_OPEN || e->LibSystemError() != kSysFileExists)
      return kUdfLibCreateError;
  }
  return kUdfLibOpenError;
}

void CloseUdfLibrary(CKmComposite* m) {
  UdfState* st = State(m);
  if (st->library == nullptr) return;
  // The close tidies up after an operation; the error that ended it stays
  // for the message.
  UINT err = st->engine->LibLastError();
  if (st->engine->LibFileClose(st->library) == 0) st->engine->LibSetLastError(err);
  st->library = nullptr;
  st->stamp = LibOsFileStamp(st->path.c_str());
}

int ReadUdfMember(CKmComposite* m, const LibMember* member, bool keepUncompiled) {
  UdfState* st = State(m);
  LibraryFile* e = st->engine;
  LibFileControlBlock* f = st->library;
  UdfNode* node = NewUdf(m);
  if (node == nullptr) return 1;
  e->LibRewind(f, member->firstRecord);

  bool headerSeen = false, ansi = false, endHasData = false;
  uint32_t storedFlags = 0;
  std::string heading, body;
  int32_t reserved = -1;
  auto bad = [&]() {
    DeleteUdf(m, node);
    return 1;
  };
  for (;;) {
    uint8_t head[3];
    if (e->LibRead(f, 3, head) != 0) return bad();
    uint8_t type = head[0];
    uint16_t length = static_cast<uint16_t>(head[1] | (head[2] << 8));
    if (!headerSeen && type != kUdfRecHeader) return bad();
    if (type == kUdfRecEnd) {
      endHasData = length != 0;
      break;
    }
    uint8_t small[9] = {};
    switch (type) {
      case kUdfRecHeader:
        if (length == 0 || !ReadData(e, f, length, 9, small) || small[0] != 1) return bad();
        headerSeen = true;
        ansi = length >= 9 && small[8] == 1;
        break;
      case kUdfRecId:
        if (!ReadData(e, f, length, 2, small)) return bad();
        break;
      case kUdfRecFlags16:
      case kUdfRecFlags32:
        if (!ReadData(e, f, length, type == kUdfRecFlags16 ? 2 : 4, small)) return bad();
        storedFlags = 0;
        for (uint16_t i = 0; i < length; ++i) storedFlags |= static_cast<uint32_t>(small[i]) << (8 * i);
        break;
      case kUdfRecHeading:
        heading.assign(length, '\0');
        if (!ReadData(e, f, length, kUdfHeadingMax, &heading[0])) return bad();
        heading.resize(strnlen(heading.c_str(), length));
        break;
      case kUdfRecBody:
        body.assign(length, '\0');
        if (length != 0 && e->LibRead(f, length, &body[0]) != 0) return bad();
        body.resize(strnlen(body.c_str(), length));
        while (!body.empty() && body.back() == ' ') body.pop_back();
        break;
      case kUdfRecReserved:
        if (length != 2 || !ReadData(e, f, 2, 2, small)) return bad();
        reserved = static_cast<int16_t>(small[0] | (small[1] << 8));
        break;
      default:
        return bad();
    }
  }

  std::string name(member->name, strnlen(member->name, kUdfNameMax));
  if (!ansi) {
    FromOem(heading);
    FromOem(body);
    FromOem(name);
  }
  std::memcpy(node->name, name.c_str(), name.size() + 1);

  bool compiled = false;
  if (!endHasData) {
    int32_t pos = -1;
    if (CompileUdfNode(m, node, heading.c_str(), body.c_str(), storedFlags, &pos) == 0) {
      compiled = CompareAnsiNoCase(node->name, name.c_str()) == 0 &&
                 (node->flags & kKindMask) == (storedFlags & kKindMask);
    }
  }
  if (!compiled) {
    if (!keepUncompiled) return bad();
    // Kept without code, so the user can still see and mend it.
    FreeUdfText(m, node);
    HeapFreeBlock(node->argumentList);
    node->argumentList = nullptr;
    node->argumentCount = 0;
    node->body = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(body.size() + 1)));
    if (node->body == nullptr) return bad();
    std::memcpy(node->body, body.c_str(), body.size() + 1);
    size_t hl = heading.size() < kUdfHeadingMax ? heading.size() : kUdfHeadingMax;
    std::memcpy(node->heading, heading.data(), hl);
    node->heading[hl] = '\0';
    std::memcpy(node->name, name.c_str(), name.size() + 1);
    node->flags = storedFlags & ~(kUdfMarkCompiles | kUdfMarkBroken | kUdfUsed);
    node->resultType = UdfResultTypeOf(node->flags);
  }
  node->reserved16 = reserved;
  return 0;
}

int LoadUserFunctionLibrary(CKmComposite* m) {
  UdfState* st = State(m);
  LibraryFile* e = st->engine;
  InstallUdfHooks(m);
  int rc = OpenUdfLibrary(m, false);
  if (rc != kUdfLibOk) return rc;
  DWORD current = st->library != nullptr ? GetFileStamp(st->library->handle) : 0;
  if (current == st->stamp) {
    CloseUdfLibrary(m);
    return kUdfLibOk;
  }
  DeleteAllUdfs(m);
  if (st->library == nullptr) {
    st->stamp = 0;
    return kUdfLibOk;
  }
  LibMember* list = e->LibListMembers(st->library);
  if (list == nullptr) {
    bool failed = e->LibLastError() != 0;
    CloseUdfLibrary(m);
    return failed ? kUdfLibReadError : kUdfLibOk;
  }
  std::vector<const LibMember*> waiting;
  for (LibMember* p = list; p != nullptr; p = p->next) waiting.push_back(p);
  // A function that calls one stored after it loads in a later pass.
  bool progress = true;
  while (progress && !waiting.empty()) {
    progress = false;
    std::vector<const LibMember*> still;
    for (const LibMember* p : waiting) {
      if (ReadUdfMember(m, p, false) == 0) {
        progress = true;
        continue;
      }
      if (e->LibLastError() != 0) {
        FreeLibMemberList(list);
        CloseUdfLibrary(m);
        return kUdfLibReadError;
      }
      still.push_back(p);
    }
    waiting.swap(still);
  }
  for (const LibMember* p : waiting) ReadUdfMember(m, p, true);
  FreeLibMemberList(list);
  CloseUdfLibrary(m);
  return kUdfLibOk;
}

int WriteUdfRecord(CKmComposite* m, uint8_t type, uint16_t length, const void* data) {
  UdfState* st = State(m);
  uint8_t head[3] = {type, static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8)};
  if (st->engine->LibWrite(st->library, 3, head, FALSE, FALSE) != 0) return 1;
  if (length != 0 && st->engine->LibWrite(st->library, length, data, FALSE, FALSE) != 0) return 1;
  return 0;
}

int SaveUdf(CKmComposite* m, UdfNode* node, const char* oldName) {
  UdfState* st = State(m);
  LibraryFile* e = st->engine;
  LibFileControlBlock* f = st->library;
  SetNodeName(st, node->name);
  if (f == nullptr) return 1;
  const bool same = oldName != nullptr && CompareAnsiNoCase(oldName, node->name) == 0;
  std::string body = node->body != nullptr ? node->body : "";
  while (!body.empty() && body.back() == ' ') body.pop_back();
  size_t headingLength = strnlen(node->heading, kUdfHeadingMax);
  if (body.size() > 0xFFFF) return 1;

  DWORD first = e->LibAllocRecord(f);
  if (first == 0) return 1;
  // Nothing of the old member changes until the new data is complete.
  auto fail = [&]() {
    UINT err = e->LibLastError();
    e->LibFreeChain(f, first);
    e->LibSetLastError(err);
    return 1;
  };
  DWORD oldFirst = 0;
  if (same) {
    LibMember* old = e->LibFindMember(f, oldName);
    if (old == nullptr) return fail();
    oldFirst = old->firstRecord;
    FreeLibMemberList(old);
  }
  e->LibRewind(f, first);

  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  int year = local.tm_year + 1900;
  uint8_t header[9] = {1,
                       static_cast<uint8_t>(year),
                       static_cast<uint8_t>(year >> 8),
                       static_cast<uint8_t>(local.tm_mon + 1),
                       static_cast<uint8_t>(local.tm_mday),
                       static_cast<uint8_t>(local.tm_hour),
                       static_cast<uint8_t>(local.tm_min),
                       static_cast<uint8_t>(local.tm_sec),
                       1};
  uint8_t id[2] = {static_cast<uint8_t>(node->id), static_cast<uint8_t>(node->id >> 8)};
  uint8_t flags[4];
  for (int i = 0; i < 4; ++i) flags[i] = static_cast<uint8_t>(node->flags >> (8 * i));
  bool wide = (node->flags >> 16) != 0;
  if (WriteUdfRecord(m, kUdfRecHeader, 9, header) != 0 ||
      WriteUdfRecord(m, kUdfRecId, 2, id) != 0 ||
      WriteUdfRecord(m, wide ? kUdfRecFlags32 : kUdfRecFlags16, wide ? 4 : 2, flags) != 0 ||
      WriteUdfRecord(m, kUdfRecHeading, static_cast<uint16_t>(headingLength), node->heading) != 0 ||
      WriteUdfRecord(m, kUdfRecBody, static_cast<uint16_t>(body.size()), body.data()) != 0 ||
      WriteUdfRecord(m, kUdfRecEnd, 0, nullptr) != 0)
    return fail();
  // The engine keeps pages in its cache: the new data must be on disk before
  // the member points at it, or a full disk would show only at the close.
  if (e->LibWrite(f, 0, nullptr, TRUE, FALSE) != 0) return fail();

  LibMember* entry = NewLibMember(node->name, first);
  if (entry == nullptr) return fail();
  int rc = 0;
  if (same) {
    if (e->LibSetMemberStart(f, entry) != 0) {
      rc = fail();
    } else if (e->LibFreeChain(f, oldFirst) != 0) {
      rc = 1;  // the member is current; only the old records are lost
    }
  } else if (e->LibAddMember(f, entry) != 0) {
    rc = fail();
  } else if (oldName != nullptr) {
    LibMember* old = NewLibMember(oldName, 0);
    rc = old == nullptr || e->LibDeleteMember(f, old) != 0 ? 1 : 0;
    FreeLibMemberList(old);
  }
  FreeLibMemberList(entry);
  if (rc == 0 && e->LibWrite(f, 0, nullptr, TRUE, FALSE) != 0) rc = 1;
  return rc;
}

int DeleteUdfFromLibrary(CKmComposite* m, UdfNode* node) {
  UdfState* st = State(m);
  SetNodeName(st, node->name);
  if (st->library == nullptr) return 1;
  LibMember* entry = NewLibMember(node->name, 0);
  if (entry == nullptr) return 1;
  int rc = st->engine->LibDeleteMember(st->library, entry) != 0 ? 1 : 0;
  FreeLibMemberList(entry);
  if (rc == 0 && st->engine->LibWrite(st->library, 0, nullptr, TRUE, FALSE) != 0) rc = 1;
  return rc;
}

const char* UdfLibraryErrorText(CKmComposite* m, int code) {
  UdfState* st = State(m);
  char format[256];
  auto load = [&](UINT id) { std::snprintf(format, sizeof format, "%s", GetResString(id, 0)); };
  switch (code) {
    case kUdfLibOk:
      st->message[0] = '\0';
      break;
    case kUdfLibInvalid:
    case kUdfLibNotCurrent:
    case kUdfLibNoAccess:
      load(code == kUdfLibInvalid ? IDS_UDF_INVALID
                                  : code == kUdfLibNotCurrent ? IDS_UDF_NOT_CURRENT : IDS_UDF_NO_ACCESS);
      std::snprintf(st->message, sizeof st->message, "%s", format);
      break;
    case kUdfLibReadError:
    case kUdfLibCreateError:
    case kUdfLibOpenError:
      load(code == kUdfLibReadError ? IDS_UDF_READING
                                    : code == kUdfLibCreateError ? IDS_UDF_CREATING : IDS_UDF_OPENING);
      std::snprintf(st->message, sizeof st->message, format, st->engine->LibErrorText());
      // The user is told which file: the library is looked for in more than one place.
      if (!st->path.empty()) {
        const size_t used = std::strlen(st->message);
        std::snprintf(st->message + used, sizeof st->message - used, " %s", st->path.c_str());
      }
      break;
    case kUdfLibWriteError:
    case kUdfLibDeleteError:
      load(code == kUdfLibWriteError ? IDS_UDF_WRITING : IDS_UDF_DELETING);
      std::snprintf(st->message, sizeof st->message, format, st->engine->LibErrorText(),
                    st->nodeName);
      break;
    default:
      load(IDS_UDF_ACCESS_ERROR);
      std::snprintf(st->message, sizeof st->message, "%s", format);
      break;
  }
  return st->message;
}

int ReadLibraryReportInfo(LibraryFile* engine, LibFileControlBlock* library, LibMember* list) {
  std::vector<uint8_t> data;
  for (LibMember* member = list; member != nullptr; member = member->next) {
    engine->LibRewind(library, member->firstRecord);
    uint16_t type = 0;
    bool header = ReadReportRecord(engine, library, &type, &data) && type == 1 && data.size() >= 9;
    DWORD size = header ? static_cast<DWORD>(data.size() + 2) : 11;
    auto* info = static_cast<uint8_t*>(HeapAllocZero(0, size));
    if (info == nullptr) {
      engine->LibSetLastError(LIBERR_NO_MEMORY);
      return 1;
    }
    HeapFreeBlock(member->reportInfo);
    member->reportInfo = info;
    if (!header) {
      info[0] = info[1] = info[2] = info[3] = 0xFF;
      continue;
    }
    uint32_t year = static_cast<uint32_t>(data[2] | (data[3] << 8));
    for (int i = 0; i < 4; ++i) info[i] = static_cast<uint8_t>(year >> (8 * i));
    info[4] = data[4];
    info[5] = data[5];
    info[7] = data[6];
    info[8] = data[7];
    info[9] = data[8];
    size_t textLength = strnlen(reinterpret_cast<const char*>(data.data()) + 9, data.size() - 9);
    std::memcpy(info + 10, data.data() + 9, textLength);

    if (ReadReportRecord(engine, library, &type, &data) && type == 98 && !data.empty() &&
        data[0] != 0) {
      size_t n = strnlen(reinterpret_cast<const char*>(data.data()), data.size());
      auto* text = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(n + 1)));
      if (text == nullptr) {
        engine->LibSetLastError(LIBERR_NO_MEMORY);
        return 1;
      }
      std::memcpy(text, data.data(), n);
      HeapFreeBlock(member->comments);
      member->comments = text;
    }
  }
  engine->LibSetLastError(0);
  return 0;
}
