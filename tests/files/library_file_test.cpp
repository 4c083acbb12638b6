#include "foundation/library_file.h"
#include "foundation/library_file_io.h"
#include "platform/win/heap.h"

#include "library_test_util.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace libtest;

namespace {

constexpr UINT kWriteMode = lib_of::ShareDenyWrite;
constexpr UINT kRW = lib_of::ReadWrite;

std::string MemberBytes(LibraryFile& eng, LibFileControlBlock* f, const char* name, size_t n) {
  LibMember* m = eng.LibFindMember(f, name);
  if (m == nullptr) return "<missing>";
  eng.LibRewind(f, m->firstRecord);
  std::string s(n, '\0');
  int rc = eng.LibRead(f, static_cast<DWORD>(n), &s[0]);
  FreeLibMemberList(m);
  return rc == 0 ? s : "<read failed>";
}

// Writes a member the way report saving does: a new chain, then the entry.
int SaveMember(LibraryFile& eng, LibFileControlBlock* f, const char* name, const std::string& data) {
  DWORD first = eng.LibAllocRecord(f);
  if (first == 0) return 1;
  eng.LibRewind(f, first);
  if (eng.LibWrite(f, static_cast<DWORD>(data.size()), data.data(), FALSE, FALSE) != 0) return 1;
  LibMember* m = NewLibMember(name, first);
  int rc = eng.LibAddMember(f, m);
  FreeLibMemberList(m);
  return rc;
}

std::vector<std::string> Names(LibraryFile& eng, LibFileControlBlock* f) {
  std::vector<std::string> out;
  LibMember* list = eng.LibListMembers(f);
  for (LibMember* m = list; m; m = m->next) out.push_back(m->name);
  FreeLibMemberList(list);
  return out;
}

std::string Pattern(size_t n, int seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + seed) & 0xFF);
  return s;
}

}  // namespace

TEST(LibraryFile, NewLibrariesHaveTheExactBytes) {
  LibraryFile eng;
  std::string p = FreshPath("new512.QB6");
  LibFileControlBlock* f = eng.LibFileCreate(p.c_str(), kWriteMode, nullptr, kLibKindReport, 512);
  ASSERT_NE(f, nullptr);
  LibMember* list = eng.LibListMembers(f);
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(eng.LibLastError(), 0u);
  EXPECT_EQ(eng.LibFileClose(f), 0);
  Bytes b = ReadAll(p);
  ASSERT_EQ(b.size(), 1024u);
  const uint8_t head[] = {0, 0, 0, 1, 3, 0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 2, 8, 0};
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 23), Bytes(std::begin(head), std::end(head)));
  for (size_t i = 23; i < b.size(); ++i) ASSERT_EQ(b[i], 0) << i;

  std::string u = FreshPath("kmw.udf");
  f = eng.LibFileCreate(u.c_str(), kWriteMode, nullptr, kLibKindUserFunctions, 32);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(eng.LibFileClose(f), 0);
  b = ReadAll(u);
  ASSERT_EQ(b.size(), 512u);
  const uint8_t udf[] = {0, 0, 0, 1, 3, 0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0x20, 0, 0, 0};
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 23), Bytes(std::begin(udf), std::end(udf)));
  for (size_t i = 23; i < b.size(); ++i) ASSERT_EQ(b[i], 0) << i;

  EXPECT_EQ(LibRoundRecordLength(600), 512);
  EXPECT_EQ(LibRoundRecordLength(63), 32);
  EXPECT_EQ(LibRoundRecordLength(64), 64);
  EXPECT_EQ(LibRoundRecordLength(100), 64);
  EXPECT_EQ(LibRoundRecordLength(0), 32);

  // Creating over an existing file is refused with "file exists".
  EXPECT_EQ(eng.LibFileCreate(u.c_str(), kWriteMode, nullptr, 0, 32), nullptr);
  EXPECT_EQ(eng.LibLastError(), 262u);
  EXPECT_EQ(eng.LibSystemError(), 17);
  EXPECT_STREQ(eng.LibErrorText(), "Library error (cannot open file)");
}

TEST(LibraryFile, MemberSpansRecordsAndReadsBack) {
  LibraryFile eng;
  std::string p = FreshPath("span.QB6");
  LibFileControlBlock* f = eng.LibFileCreate(p.c_str(), kWriteMode, nullptr, kLibKindReport, 512);
  ASSERT_NE(f, nullptr);
  DWORD first = eng.LibAllocRecord(f);
  EXPECT_EQ(first, 2u);
  std::string data = Pattern(1000, 3);
  eng.LibRewind(f, first);
  ASSERT_EQ(eng.LibWrite(f, 1000, data.data(), FALSE, FALSE), 0);
  LibMember* m = NewLibMember("Sales", first);
  ASSERT_EQ(eng.LibAddMember(f, m), 0);
  FreeLibMemberList(m);
  ASSERT_EQ(eng.LibFileClose(f), 0);

  Bytes b = ReadAll(p);
  ASSERT_EQ(b.size(), 4u * 512);
  // Record 2 holds 509 bytes and links to record 3, which holds the other 491.
  EXPECT_EQ(Bytes(b.begin() + 1024, b.begin() + 1027), (Bytes{0, 3, 0}));
  EXPECT_EQ(std::string(b.begin() + 1027, b.begin() + 1536), data.substr(0, 509));
  EXPECT_EQ(Bytes(b.begin() + 1536, b.begin() + 1539), (Bytes{0, 0, 0}));
  EXPECT_EQ(std::string(b.begin() + 1539, b.begin() + 1539 + 491), data.substr(509));

  WORD kind = 99;
  f = eng.LibFileOpen(p.c_str(), kWriteMode, lib_of::Read, &kind, 0);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(kind, kLibKindReport);
  m = eng.LibFindMember(f, "SALES");
  ASSERT_NE(m, nullptr);
  EXPECT_STREQ(m->name, "Sales");
  eng.LibRewind(f, m->firstRecord);
  std::string back(1000, '\0');
  // Read in uneven pieces: the cursor carries across calls and records.
  ASSERT_EQ(eng.LibRead(f, 300, &back[0]), 0);
  ASSERT_EQ(eng.LibRead(f, 600, &back[300]), 0);
  // The last record holds 100 more bytes and 18 unused ones; past them the chain ends.
  char extra[119];
  EXPECT_EQ(eng.LibRead(f, 119, extra), 1);
  EXPECT_EQ(eng.LibLastError(), 257u);
  // The failed read left the cursor where it was.
  ASSERT_EQ(eng.LibRead(f, 100, &back[900]), 0);
  EXPECT_EQ(back, data);
  FreeLibMemberList(m);
  eng.LibFileClose(f);
}

TEST(LibraryFile, DirectoryOperationsIgnoreCase) {
  LibraryFile eng;
  std::string p = FreshPath("dir.QB6");
  LibFileControlBlock* f = eng.LibFileCreate(p.c_str(), kWriteMode, nullptr, kLibKindReport, 512);
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(SaveMember(eng, f, "SALES", "sales data"), 0);
  ASSERT_EQ(SaveMember(eng, f, "Costs", "costs data"), 0);
  ASSERT_EQ(SaveMember(eng, f, "\xC9t\xE9", "accented"), 0);

  EXPECT_EQ(SaveMember(eng, f, "sales", "again"), 1);
  EXPECT_EQ(eng.LibLastError(), 513u);
  EXPECT_STREQ(eng.LibErrorText(), "Library error (name in use)");
  EXPECT_EQ(MemberBytes(eng, f, "\xC9T\xC9", 8), "accented");

  LibMember* absent = NewLibMember("nothing", 0);
  EXPECT_EQ(eng.LibDeleteMember(f, absent), 1);
  EXPECT_EQ(eng.LibLastError(), 514u);
  EXPECT_STREQ(eng.LibErrorText(), "Library error (no such name)");
  EXPECT_EQ(eng.LibRenameMember(f, absent, "x"), 1);
  EXPECT_EQ(eng.LibLastError(), 514u);
  FreeLibMemberList(absent);

  // Rename: onto another member's name is refused, a change of case is not.
  LibMember* costs = NewLibMember("COSTS", 0);
  EXPECT_EQ(eng.LibRenameMember(f, costs, "Sales"), 1);
  EXPECT_EQ(eng.LibLastError(), 513u);
  EXPECT_EQ(eng.LibRenameMember(f, costs, "costs"), 0);
  FreeLibMemberList(costs);
  EXPECT_EQ(Names(eng, f), (std::vector<std::string>{"SALES", "\xC9t\xE9", "costs"}));
  EXPECT_EQ(eng.LibUnusedEntries(), 0u);
  LibMember* sales = NewLibMember("sales", 0);
  ASSERT_EQ(eng.LibRenameMember(f, sales, "Revenue"), 0);
  EXPECT_EQ(sales->firstRecord, 0u);
  FreeLibMemberList(sales);
  EXPECT_EQ(MemberBytes(eng, f, "REVENUE", 10), "sales data");
  EXPECT_EQ(eng.LibFindMember(f, "sales"), nullptr);
  EXPECT_EQ(eng.LibLastError(), 514u);

  // Replacing a member's data: new chain, relink, free the old chain.
  LibMember* rev = eng.LibFindMember(f, "revenue");
  ASSERT_NE(rev, nullptr);
  DWORD oldFirst = rev->firstRecord;
  DWORD fresh = eng.LibAllocRecord(f);
  eng.LibRewind(f, fresh);
  ASSERT_EQ(eng.LibWrite(f, 7, "changed", FALSE, FALSE), 0);
  rev->firstRecord = fresh;
  ASSERT_EQ(eng.LibRelinkMember(f, rev), 0);
  ASSERT_EQ(eng.LibFreeChain(f, oldFirst), 0);
  FreeLibMemberList(rev);
  EXPECT_EQ(MemberBytes(eng, f, "Revenue", 7), "changed");

  // Names must be 1 to 80 bytes.
  EXPECT_EQ(SaveMember(eng, f, "", "x"), 1);
  EXPECT_NE(eng.LibLastError(), 0u);
  std::string longName(81, 'N');
  LibMember* c2 = NewLibMember("costs", 0);
  EXPECT_EQ(eng.LibRenameMember(f, c2, longName.c_str()), 1);
  FreeLibMemberList(c2);
  EXPECT_EQ(eng.LibFindMember(f, longName.c_str()), nullptr);
  EXPECT_EQ(eng.LibLastError(), 514u);
  ASSERT_EQ(eng.LibFileClose(f), 0);

  // Everything survives a reopen.
  WORD kind = 0;
  f = eng.LibFileOpen(p.c_str(), kWriteMode, lib_of::Read, &kind, 0);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(Names(eng, f), (std::vector<std::string>{"\xC9t\xE9", "costs", "Revenue"}));
  eng.LibFileClose(f);
}

TEST(LibraryFile, DeletedRecordsAreZeroedAndReusedFirst) {
  LibraryFile eng;
  std::string p = FreshPath("reuse.udf");
  LibFileControlBlock* f = eng.LibFileCreate(p.c_str(), kWriteMode, nullptr, 0, 32);
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(SaveMember(eng, f, "A", Pattern(100, 1)), 0);  // 4 records of 29 bytes
  ASSERT_EQ(SaveMember(eng, f, "B", Pattern(50, 2)), 0);
  LibMember* a = eng.LibFindMember(f, "a");
  ASSERT_NE(a, nullptr);
  DWORD aFirst = a->firstRecord;
  ASSERT_EQ(eng.LibDeleteMember(f, a), 0);
  EXPECT_EQ(a->firstRecord, 0u);
  FreeLibMemberList(a);
  EXPECT_EQ(Names(eng, f), std::vector<std::string>{"B"});
  EXPECT_EQ(eng.LibUnusedEntries(), 0u);
  ASSERT_EQ(eng.LibFileClose(f), 0);

  Bytes b = ReadAll(p);
  uint32_t freeHead = Get32(b, 5);
  uint32_t nextNew = Get32(b, 13);
  EXPECT_NE(freeHead, 0u);
  // Every record on the free list has zero data; A's records are among them.
  // Every record on the free list has zero data: A's other three records and
  // the old directory record (the new directory took A's first).
  int onList = 0;
  for (uint32_t r = freeHead; r != 0 && onList < 100; ++onList) {
    for (size_t i = 3; i < 32; ++i) ASSERT_EQ(b[r * 32 + i], 0) << r;
    r = (b[r * 32] << 16) | b[r * 32 + 1] | (b[r * 32 + 2] << 8);
  }
  EXPECT_EQ(onList, 4);
  EXPECT_EQ(Get32(b, 9), aFirst);

  // The next member takes freed records before the file grows.
  f = eng.LibFileOpen(p.c_str(), kWriteMode, kRW, nullptr, 0);
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(SaveMember(eng, f, "C", Pattern(90, 5)), 0);
  EXPECT_EQ(MemberBytes(eng, f, "c", 90), Pattern(90, 5));
  EXPECT_EQ(MemberBytes(eng, f, "b", 50), Pattern(50, 2));
  ASSERT_EQ(eng.LibFileClose(f), 0);
  EXPECT_EQ(Get32(ReadAll(p), 13), nextNew);
}

TEST(LibraryFile, RemovalThatCannotCompactKeepsTheDirectorySound) {
  // No memory for the compaction's listing: the removal stands, the
  // directory keeps an unused entry, and every other member is intact.
  LibraryFile eng;
  std::string p = FreshPath("nomem.udf");
  LibFileControlBlock* f = eng.LibFileCreate(p.c_str(), kWriteMode, nullptr, 0, 32);
  ASSERT_NE(f, nullptr);
  for (const char* n : {"A", "B", "C"}) ASSERT_EQ(SaveMember(eng, f, n, std::string(40, *n)), 0);
  LibMember* b = NewLibMember("B", 0);
  HeapFailAfter(1);
  EXPECT_EQ(eng.LibRenameMember(f, b, "BEE"), 0);
  HeapFailAfter(0);
  FreeLibMemberList(b);
  LibMember* a = NewLibMember("A", 0);
  HeapFailAfter(1);
  EXPECT_EQ(eng.LibDeleteMember(f, a), 1);
  EXPECT_EQ(eng.LibLastError(), 258u);
  HeapFailAfter(0);
  FreeLibMemberList(a);
  EXPECT_EQ(Names(eng, f), (std::vector<std::string>{"C", "BEE"}));
  EXPECT_EQ(eng.LibUnusedEntries(), 2u);
  EXPECT_EQ(MemberBytes(eng, f, "bee", 40), std::string(40, 'B'));
  // The next removal compacts them all away.
  LibMember* c = NewLibMember("C", 0);
  ASSERT_EQ(eng.LibDeleteMember(f, c), 0);
  FreeLibMemberList(c);
  EXPECT_EQ(Names(eng, f), std::vector<std::string>{"BEE"});
  EXPECT_EQ(eng.LibUnusedEntries(), 0u);
  EXPECT_EQ(eng.LibFileClose(f), 0);
}

TEST(LibraryFile, ManyMembersAcrossDirectoryRecords) {
  LibraryFile eng;
  std::string p = FreshPath("many.udf");
  LibFileControlBlock* f = eng.LibFileCreate(p.c_str(), kWriteMode, nullptr, 0, 32);
  ASSERT_NE(f, nullptr);
  std::vector<std::string> expect;
  for (int i = 0; i < 150; ++i) {
    std::string name = "FUNCTION_" + std::to_string(i);
    ASSERT_EQ(SaveMember(eng, f, name.c_str(), Pattern(40 + i, i)), 0) << i;
  }
  for (int i = 0; i < 150; ++i) {
    std::string name = "function_" + std::to_string(i);
    if (i % 3 == 0) {
      LibMember* m = NewLibMember(name.c_str(), 0);
      ASSERT_EQ(eng.LibDeleteMember(f, m), 0) << i;
      FreeLibMemberList(m);
    } else {
      expect.push_back("FUNCTION_" + std::to_string(i));
    }
  }
  ASSERT_EQ(eng.LibFileClose(f), 0);
  f = eng.LibFileOpen(p.c_str(), kWriteMode, lib_of::Read, nullptr, 0);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(Names(eng, f), expect);
  for (int i = 1; i < 150; i += 3) {
    std::string name = "Function_" + std::to_string(i);
    EXPECT_EQ(MemberBytes(eng, f, name.c_str(), 40 + i), Pattern(40 + i, i)) << i;
  }
  eng.LibFileClose(f);
}

TEST(LibraryFile, CopyingMembersBetweenLibraries) {
  // Two files share the six page buffers, each needing more pages than that.
  LibraryFile eng;
  std::string p1 = FreshPath("from.QB6"), p2 = FreshPath("to.udf");
  LibFileControlBlock* src = eng.LibFileCreate(p1.c_str(), kWriteMode, nullptr, 8, 512);
  LibFileControlBlock* dst = eng.LibFileCreate(p2.c_str(), kWriteMode, nullptr, 0, 32);
  ASSERT_NE(src, nullptr);
  ASSERT_NE(dst, nullptr);
  ASSERT_EQ(SaveMember(eng, src, "REPORT", Pattern(1500, 4)), 0);
  LibMember* m = eng.LibFindMember(src, "report");
  ASSERT_NE(m, nullptr);
  // Into another library with another record length, and within the same one.
  DWORD copied = eng.LibCopyChain(src, m->firstRecord, dst);
  ASSERT_NE(copied, 0u);
  LibMember* entry = NewLibMember("COPY", copied);
  ASSERT_EQ(eng.LibAddMember(dst, entry), 0);
  FreeLibMemberList(entry);
  DWORD twin = eng.LibCopyChain(src, m->firstRecord, src);
  ASSERT_NE(twin, 0u);
  entry = NewLibMember("TWIN", twin);
  ASSERT_EQ(eng.LibAddMember(src, entry), 0);
  FreeLibMemberList(entry);
  FreeLibMemberList(m);
  EXPECT_EQ(MemberBytes(eng, dst, "copy", 1500), Pattern(1500, 4));
  EXPECT_EQ(MemberBytes(eng, src, "twin", 1500), Pattern(1500, 4));
  // The copies are independent: deleting the original leaves them whole.
  LibMember* orig = NewLibMember("REPORT", 0);
  ASSERT_EQ(eng.LibDeleteMember(src, orig), 0);
  FreeLibMemberList(orig);
  ASSERT_EQ(SaveMember(eng, src, "NEWER", Pattern(1500, 8)), 0);
  EXPECT_EQ(MemberBytes(eng, src, "twin", 1500), Pattern(1500, 4));
  EXPECT_EQ(eng.LibFileClose(src), 0);
  EXPECT_EQ(eng.LibFileClose(dst), 0);
}

TEST(LibraryFile, OpeningRules) {
  LibraryFile eng;
  std::string dir = ScratchDir() + "/with.dot";
  mkdir(dir.c_str(), 0700);
  std::string base = dir + "/SALES";
  std::remove((base + ".QB6").c_str());
  LibFileControlBlock* f = eng.LibFileCreate((base + ".QB6").c_str(), kWriteMode, nullptr, 8, 512);
  ASSERT_NE(f, nullptr);
  eng.LibFileClose(f);
  // No extension in the file name: .QB6 is added (the folder's dot does not count).
  f = eng.LibFileOpen(base.c_str(), kWriteMode, lib_of::Read, nullptr, 0);
  ASSERT_NE(f, nullptr);
  eng.LibFileClose(f);
  // Windows spelling: backslashes, and a name differing in case.
  std::string windows = dir + "\\sales";
  f = eng.LibFileOpen(windows.c_str(), kWriteMode, lib_of::Read, nullptr, 0);
  ASSERT_NE(f, nullptr);
  eng.LibFileClose(f);

  EXPECT_EQ(eng.LibFileOpen((dir + "/absent.QB6").c_str(), kWriteMode, 0, nullptr, 0), nullptr);
  EXPECT_EQ(eng.LibLastError(), 262u);
  EXPECT_EQ(eng.LibSystemError(), 2);

  // One library under other spellings is still one file.
  std::string linked = dir + "/LINKED.QB6";
  std::remove(linked.c_str());
  ASSERT_EQ(link((base + ".QB6").c_str(), linked.c_str()), 0);
  EXPECT_TRUE(LibOsSameFile((base + ".QB6").c_str(), linked.c_str()));
  EXPECT_TRUE(LibOsSameFile((dir + "/../with.dot/sales.qb6").c_str(), (base + ".QB6").c_str()));
  EXPECT_FALSE(LibOsSameFile((base + ".QB6").c_str(), (dir + "/absent.QB6").c_str()));

  // An empty file becomes a new library of the caller's kind and length.
  std::string empty = FreshPath("empty.udf");
  WriteAll(empty, {});
  WORD kind = 0;
  f = eng.LibFileOpen(empty.c_str(), kWriteMode, kRW, &kind, 20);
  ASSERT_NE(f, nullptr);
  eng.LibFileClose(f);
  Bytes b = ReadAll(empty);
  ASSERT_EQ(b.size(), 512u);
  EXPECT_EQ(Get16(b, 19), 32u);
  EXPECT_EQ(Get16(b, 21), 0u);
}

TEST(LibraryFile, SecondWriterIsRefused) {
  LibraryFile eng;
  std::string p = FreshPath("shared.QB6");
  LibFileControlBlock* w = eng.LibFileCreate(p.c_str(), kWriteMode, nullptr, 8, 512);
  ASSERT_NE(w, nullptr);

  // Inside the process a second open is refused while the writer holds it.
  LibraryFile eng2;
  EXPECT_EQ(eng2.LibFileOpen(p.c_str(), kWriteMode, kRW, nullptr, 0), nullptr);
  EXPECT_EQ(eng2.LibLastError(), 262u);
  EXPECT_EQ(eng2.LibSystemError(), 13);
  EXPECT_EQ(eng2.LibFileOpen(p.c_str(), kWriteMode, lib_of::Read, nullptr, 0), nullptr);

  // And from another process.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    LibraryFile e;
    LibFileControlBlock* g = e.LibFileOpen(p.c_str(), kWriteMode, kRW, nullptr, 0);
    _exit(g == nullptr && e.LibLastError() == 262 && e.LibSystemError() == 13 ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_EQ(eng.LibFileClose(w), 0);

  // Readers share; a writer is refused while a reader holds the file.
  LibFileControlBlock* r1 = eng.LibFileOpen(p.c_str(), kWriteMode, lib_of::Read, nullptr, 0);
  LibFileControlBlock* r2 = eng2.LibFileOpen(p.c_str(), kWriteMode, lib_of::Read, nullptr, 0);
  EXPECT_NE(r1, nullptr);
  EXPECT_NE(r2, nullptr);
  LibraryFile eng3;
  EXPECT_EQ(eng3.LibFileOpen(p.c_str(), kWriteMode, kRW, nullptr, 0), nullptr);
  eng.LibFileClose(r1);
  eng2.LibFileClose(r2);
  LibFileControlBlock* again = eng3.LibFileOpen(p.c_str(), kWriteMode, kRW, nullptr, 0);
  EXPECT_NE(again, nullptr);
  eng3.LibFileClose(again);
}

TEST(LibraryFile, ReadOnlyHandleRefusesChanges) {
  LibraryFile eng;
  std::string p = FreshPath("ro.udf");
  LibFileControlBlock* f = eng.LibFileCreate(p.c_str(), kWriteMode, nullptr, 0, 32);
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(SaveMember(eng, f, "A", "abc"), 0);
  eng.LibFileClose(f);
  Bytes before = ReadAll(p);

  f = eng.LibFileOpen(p.c_str(), kWriteMode, lib_of::Read, nullptr, 0);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(eng.LibAllocRecord(f), 0u);
  EXPECT_EQ(eng.LibLastError(), 261u);
  LibMember* a = eng.LibFindMember(f, "A");
  ASSERT_NE(a, nullptr);
  eng.LibRewind(f, a->firstRecord);
  EXPECT_EQ(eng.LibWrite(f, 3, "xyz", TRUE, TRUE), 1);
  EXPECT_EQ(eng.LibDeleteMember(f, a), 1);
  FreeLibMemberList(a);
  EXPECT_EQ(MemberBytes(eng, f, "a", 3), "abc");
  EXPECT_EQ(eng.LibFileClose(f), 0);
  EXPECT_EQ(ReadAll(p), before);
}

TEST(LibraryFile, FailedGrowthLeavesMembersIntact) {
  // The file may not grow (a full disk); a save that needs new pages fails
  // and the library still holds what it held.
  std::string p = FreshPath("grow.QB6");
  {
    LibraryFile eng;
    LibFileControlBlock* f = eng.LibFileCreate(p.c_str(), kWriteMode, nullptr, 8, 512);
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(SaveMember(eng, f, "KEEP", Pattern(600, 9)), 0);
    ASSERT_EQ(eng.LibFileClose(f), 0);
  }
  long long size = static_cast<long long>(ReadAll(p).size());
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = {static_cast<rlim_t>(size), static_cast<rlim_t>(size)};
    setrlimit(RLIMIT_FSIZE, &lim);
    LibraryFile eng;
    LibFileControlBlock* f = eng.LibFileOpen(p.c_str(), kWriteMode, kRW, nullptr, 0);
    if (f == nullptr) _exit(2);
    int rc = SaveMember(eng, f, "NEW", Pattern(5000, 1));
    UINT err = eng.LibLastError();
    eng.LibFileClose(f);
    _exit(rc == 1 && err == 261 ? 0 : 3);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  LibraryFile eng;
  LibFileControlBlock* f = eng.LibFileOpen(p.c_str(), kWriteMode, lib_of::Read, nullptr, 0);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(Names(eng, f), std::vector<std::string>{"KEEP"});
  EXPECT_EQ(MemberBytes(eng, f, "keep", 600), Pattern(600, 9));
  eng.LibFileClose(f);
}

// ---------------------------------------------------------------------------
// Hostile files

namespace {
struct OpenResult {
  LibFileControlBlock* file;
  UINT error;
};
OpenResult OpenImage(LibraryFile& eng, const std::string& name, const Bytes& bytes,
                     UINT mode = lib_of::Read) {
  std::string p = FreshPath(name);
  WriteAll(p, bytes);
  LibFileControlBlock* f = eng.LibFileOpen(p.c_str(), kWriteMode, mode, nullptr, 0);
  return {f, eng.LibLastError()};
}
}  // namespace

TEST(LibraryFileHostile, BadHeadersAreRefused) {
  LibraryFile eng;
  Image img(32, 0);
  img.WriteChain(1, DirectoryData({}));
  Bytes good = img.Finish();

  Bytes b = good;
  b[3] = 2;
  OpenResult r = OpenImage(eng, "sig.udf", b);
  EXPECT_EQ(r.file, nullptr);
  EXPECT_EQ(r.error, 264u);
  EXPECT_STREQ(eng.LibErrorText(), "Library error (invalid file revision)");
  b = good;
  b[4] = 4;
  EXPECT_EQ(OpenImage(eng, "rev.udf", b).error, 264u);
  for (uint32_t badR : {1u, 3u, 100u, 1024u, 0xFFFFu}) {
    b = good;
    Put16(b, 19, badR);
    EXPECT_EQ(OpenImage(eng, "len.udf", b).error, 264u) << badR;
  }
  b = good;
  Put16(b, 17, 0);  // no pages: growing page 0 would overwrite the header
  EXPECT_EQ(OpenImage(eng, "pages.udf", b, kRW).error, 264u);
  EXPECT_EQ(ReadAll(ScratchDir() + "/pages.udf"), b);

  // Truncated inside the header page.
  EXPECT_EQ(OpenImage(eng, "short.udf", Bytes(good.begin(), good.begin() + 40)).error, 260u);

  // Revision 2 and record length 0 are the older format, read with 32-byte records.
  b = good;
  b[4] = 2;
  Put16(b, 19, 0);
  r = OpenImage(eng, "old.udf", b, kRW);
  ASSERT_NE(r.file, nullptr);
  EXPECT_EQ(r.file->recordLength, 32);
  ASSERT_EQ(SaveMember(eng, r.file, "X", "y"), 0);
  eng.LibFileClose(r.file);
  Bytes after = ReadAll(ScratchDir() + "/old.udf");
  EXPECT_EQ(after[4], 2);
}

TEST(LibraryFileHostile, DirectoryFaultsGive512) {
  for (int badLength : {0, 81, 255}) {
    LibraryFile eng;
    Image img(32, 0);
    uint32_t a = img.AddChain({'a'});
    img.WriteChain(1, DirectoryData({{"A", a}, {"B", a, badLength}}));
    OpenResult r = OpenImage(eng, "baddir.udf", img.Finish(), kRW);
    ASSERT_NE(r.file, nullptr);
    LibFileControlBlock* f = r.file;
    EXPECT_EQ(eng.LibListMembers(f), nullptr);
    EXPECT_EQ(eng.LibLastError(), 512u) << badLength;
    EXPECT_EQ(eng.LibFindMember(f, "zz"), nullptr);
    EXPECT_EQ(eng.LibLastError(), 512u);
    EXPECT_STREQ(eng.LibErrorText(), "Library error (the file is damaged)");
    EXPECT_EQ(SaveMember(eng, f, "C", "c"), 1);
    EXPECT_EQ(eng.LibLastError(), 512u);
    // A member found before the bad entry can be read, but deleting it must
    // not rebuild the directory from a partial listing.
    LibMember* m = eng.LibFindMember(f, "a");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(eng.LibDeleteMember(f, m), 1);
    EXPECT_EQ(eng.LibLastError(), 512u);
    FreeLibMemberList(m);
    eng.LibFileClose(f);
  }

  // Counts beyond the entries, and a directory record outside the file.
  LibraryFile eng;
  Image img(32, 0);
  img.WriteChain(1, DirectoryData({{"A", 1}}, 65535));
  OpenResult r = OpenImage(eng, "count.udf", img.Finish());
  ASSERT_NE(r.file, nullptr);
  EXPECT_EQ(eng.LibListMembers(r.file), nullptr);
  EXPECT_EQ(eng.LibLastError(), 512u);
  eng.LibFileClose(r.file);
  Image img2(32, 0);
  img2.WriteChain(1, DirectoryData({}));
  r = OpenImage(eng, "dirout.udf", img2.Finish(0, 0x123456));
  ASSERT_NE(r.file, nullptr);
  EXPECT_EQ(eng.LibFindMember(r.file, "A"), nullptr);
  EXPECT_EQ(eng.LibLastError(), 512u);
  eng.LibFileClose(r.file);
}

TEST(LibraryFileHostile, LinksAreThreeBytesHighByteFirst) {
  // Bytes 01 34 12 name record 0x011234 = 70,196, far out in a sparse file.
  LibraryFile eng;
  Image img(32, 0);
  uint32_t first = img.AddChain(Bytes(29, 'A'));
  img.Raw().resize((70196 / 16 + 1) * 512, 0);
  Bytes& raw = img.Raw();
  raw[first * 32] = 0x01;
  raw[first * 32 + 1] = 0x34;
  raw[first * 32 + 2] = 0x12;
  for (int i = 3; i < 32; ++i) raw[70196 * 32 + i] = 'B';
  img.WriteChain(1, DirectoryData({{"M", first}}));
  Bytes b = img.Finish();
  Put32(b, 13, 70197);
  OpenResult r = OpenImage(eng, "link.udf", b);
  ASSERT_NE(r.file, nullptr);
  EXPECT_EQ(MemberBytes(eng, r.file, "m", 58), std::string(29, 'A') + std::string(29, 'B'));
  eng.LibFileClose(r.file);
  // The same link in a file whose records end earlier is refused.
  Put32(b, 13, 70196);
  r = OpenImage(eng, "link2.udf", b);
  ASSERT_NE(r.file, nullptr);
  LibMember* m = eng.LibFindMember(r.file, "M");
  ASSERT_NE(m, nullptr);
  eng.LibRewind(r.file, m->firstRecord);
  char buf[58];
  EXPECT_EQ(eng.LibRead(r.file, 58, buf), 1);
  EXPECT_EQ(eng.LibLastError(), 256u);
  FreeLibMemberList(m);
  eng.LibFileClose(r.file);
}

TEST(LibraryFileHostile, LoopsEndWithAnError) {
  LibraryFile eng;
  Image img(32, 0);
  uint32_t a = img.AddChain(Bytes(40, 'x'));  // two records
  uint32_t b2 = a + 1;
  img.SetLink(b2, a);                         // member loops
  uint32_t f1 = img.NewRecord(), f2 = img.NewRecord();
  img.SetLink(f1, f2);
  img.SetLink(f2, f1);                        // free list loops
  img.WriteChain(1, DirectoryData({{"LOOP", a}}));
  OpenResult r = OpenImage(eng, "loop.udf", img.Finish(f1), kRW);
  ASSERT_NE(r.file, nullptr);
  LibFileControlBlock* f = r.file;
  LibMember* m = eng.LibFindMember(f, "loop");
  ASSERT_NE(m, nullptr);
  eng.LibRewind(f, a);
  std::vector<char> big(100000);
  EXPECT_EQ(eng.LibRead(f, static_cast<DWORD>(big.size()), big.data()), 1);
  EXPECT_EQ(eng.LibLastError(), 256u);
  // Reading in small steps is bounded the same way.
  eng.LibRewind(f, a);
  int calls = 0;
  while (eng.LibRead(f, 7, big.data()) == 0) ASSERT_LT(++calls, 1000);
  EXPECT_EQ(eng.LibLastError(), 256u);
  // Freeing the looping chain is refused and leaves the free list alone.
  EXPECT_EQ(eng.LibFreeChain(f, a), 1);
  EXPECT_EQ(eng.LibLastError(), 256u);
  EXPECT_EQ(f->freeListHead, f1);
  // The looping free list hands nothing out.
  EXPECT_EQ(eng.LibAllocRecord(f), 0u);
  EXPECT_EQ(eng.LibLastError(), 256u);
  FreeLibMemberList(m);
  eng.LibFileClose(f);
}

TEST(LibraryFileHostile, CopyOfALoopingChainGivesItsRecordsBack) {
  LibraryFile eng;
  Image img(32, 0);
  uint32_t a = img.AddChain(Bytes(40, 'x'));
  img.SetLink(a + 1, a);
  img.WriteChain(1, DirectoryData({{"LOOP", a}}));
  OpenResult r = OpenImage(eng, "copyloop.udf", img.Finish(), kRW);
  ASSERT_NE(r.file, nullptr);
  EXPECT_EQ(eng.LibCopyChain(r.file, a, r.file), 0u);
  EXPECT_EQ(eng.LibLastError(), 256u);
  // Every record the copy took is on the free list, with zero data.
  DWORD taken = r.file->nextNewRecord - img.NextNew();
  EXPECT_GT(taken, 0u);
  DWORD onList = 0;
  while (r.file->freeListHead != 0 && onList <= taken) {
    DWORD rec = r.file->freeListHead;
    eng.LibRewind(r.file, rec);
    char data[29];
    ASSERT_EQ(eng.LibRead(r.file, 29, data), 0);
    EXPECT_EQ(std::string(data, 29), std::string(29, '\0'));
    ASSERT_EQ(eng.LibAllocRecord(r.file), rec);  // taking the head walks the list
    ++onList;
  }
  EXPECT_EQ(onList, taken);
  eng.LibFileClose(r.file);
}

TEST(LibraryFileHostile, FreeListOverLiveDataIsRefused) {
  LibraryFile eng;
  Image img(32, 0);
  uint32_t a = img.AddChain(Bytes(10, 'x'));
  img.WriteChain(1, DirectoryData({{"A", a}}));
  OpenResult r = OpenImage(eng, "freelive.udf", img.Finish(a), kRW);
  ASSERT_NE(r.file, nullptr);
  EXPECT_EQ(eng.LibAllocRecord(r.file), 0u);
  EXPECT_EQ(eng.LibLastError(), 256u);
  EXPECT_EQ(MemberBytes(eng, r.file, "A", 10), std::string(10, 'x'));
  eng.LibFileClose(r.file);
}

TEST(LibraryFileHostile, DirectoryCountAtItsLimit) {
  // 65,535 entries: the listing holds them all and one more add is refused.
  LibraryFile eng;
  Image img(512, 8);
  std::vector<DirEntry> entries;
  uint32_t data = img.AddChain({'d'});
  for (int i = 0; i < 65535; ++i) entries.push_back({"N" + std::to_string(i), data});
  img.WriteChain(1, DirectoryData(entries));
  OpenResult r = OpenImage(eng, "full.QB6", img.Finish(), kRW);
  ASSERT_NE(r.file, nullptr);
  LibMember* list = eng.LibListMembers(r.file);
  int n = 0;
  for (LibMember* m = list; m; m = m->next) ++n;
  FreeLibMemberList(list);
  EXPECT_EQ(n, 65535);
  EXPECT_EQ(SaveMember(eng, r.file, "ONE_MORE", "x"), 1);
  EXPECT_EQ(eng.LibLastError(), 263u);
  EXPECT_STREQ(eng.LibErrorText(), "Library error (the library has no room for more records)");
  eng.LibFileClose(r.file);
}

TEST(LibraryFileHostile, RandomBytesNeverEscapeTheBuffers) {
  // A valid library mutated at random, and plain noise: every operation must
  // end, with an answer or an error, under the sanitizers.
  LibraryFile maker;
  std::string p = FreshPath("seed.udf");
  LibFileControlBlock* f = maker.LibFileCreate(p.c_str(), kWriteMode, nullptr, 0, 32);
  ASSERT_NE(f, nullptr);
  for (int i = 0; i < 12; ++i)
    SaveMember(maker, f, ("F" + std::to_string(i)).c_str(), Pattern(20 + 17 * i, i));
  maker.LibFileClose(f);
  Bytes seed = ReadAll(p);

  uint32_t state = 12345;
  auto rnd = [&state]() {
    state = state * 1103515245u + 12345u;
    return state >> 8;
  };
  for (int round = 0; round < 300; ++round) {
    Bytes b = seed;
    if (round % 10 == 9) {
      b.assign(512 * (1 + rnd() % 4), 0);
      for (auto& c : b) c = static_cast<uint8_t>(rnd());
      b[3] = 1;
      b[4] = 3;
    } else {
      int flips = 1 + rnd() % 8;
      for (int k = 0; k < flips; ++k) b[rnd() % b.size()] = static_cast<uint8_t>(rnd());
      if (round % 7 == 0) b.resize(rnd() % b.size());
    }
    LibraryFile eng;
    OpenResult r = OpenImage(eng, "fuzz.udf", b, kRW);
    if (r.file == nullptr) continue;
    LibMember* list = eng.LibListMembers(r.file);
    for (LibMember* m = list; m; m = m->next) {
      eng.LibRewind(r.file, m->firstRecord);
      char buf[400];
      eng.LibRead(r.file, sizeof buf, buf);
    }
    FreeLibMemberList(list);
    SaveMember(eng, r.file, "NEW", Pattern(70, round));
    LibMember* victim = NewLibMember("F3", 0);
    eng.LibDeleteMember(r.file, victim);
    FreeLibMemberList(victim);
    LibMember* ren = NewLibMember("F5", 0);
    eng.LibRenameMember(r.file, ren, "F55");
    FreeLibMemberList(ren);
    eng.LibFileClose(r.file);
  }
}
