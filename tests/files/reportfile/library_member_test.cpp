#include "foundation/library_file.h"
#include "reportfile_test_util.h"
#include "tests/support/folder_faults.h"

#include <filesystem>

using namespace rftest;
using rs_test::WithoutTime;

namespace {

class LibraryMemberTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = FreshPath("reports.kml");
    LibFileControlBlock* f = engine.LibFileCreate(path.c_str(), lib_of::ReadWrite, nullptr, kLibKindReport, 64);
    ASSERT_NE(f, nullptr);
    engine.LibFileClose(f);
  }

  // The first n bytes of a member; empty when it is missing or shorter.
  Bytes MemberBytes(const char* name, size_t n) {
    WORD kind = 0;
    LibFileControlBlock* f = engine.LibFileOpen(path.c_str(), lib_of::ShareDenyWrite, lib_of::Read, &kind, 0);
    LibMember* m = f ? engine.LibFindMember(f, name) : nullptr;
    Bytes out(n);
    if (m == nullptr) out.clear();
    else {
      engine.LibRewind(f, m->firstRecord);
      if (engine.LibRead(f, static_cast<DWORD>(n), out.data()) != 0) out.clear();
    }
    FreeLibMemberList(m);
    engine.LibFileClose(f);
    return out;
  }

  int MemberCount() {
    WORD kind = 0;
    LibFileControlBlock* f = engine.LibFileOpen(path.c_str(), lib_of::ShareDenyWrite, lib_of::Read, &kind, 0);
    LibMember* list = engine.LibListMembers(f);
    int count = 0;
    for (LibMember* m = list; m; m = m->next) ++count;
    FreeLibMemberList(list);
    engine.LibFileClose(f);
    return count;
  }

  // Raw bytes as a member, the way a damaged or foreign library holds them.
  void PutMember(const char* name, const Bytes& data) {
    WORD kind = 0;
    LibFileControlBlock* f = engine.LibFileOpen(path.c_str(), lib_of::ShareExclusive, lib_of::ReadWrite, &kind, 0);
    ASSERT_NE(f, nullptr);
    DWORD first = engine.LibAllocRecord(f);
    engine.LibRewind(f, first);
    ASSERT_EQ(engine.LibWrite(f, static_cast<DWORD>(data.size()), data.data(), FALSE, FALSE), 0);
    LibMember* m = NewLibMember(name, first);
    ASSERT_EQ(engine.LibAddMember(f, m), 0);
    FreeLibMemberList(m);
    engine.LibFileClose(f);
  }

  LibraryFile engine;
  std::string path;
};

TEST_F(LibraryMemberTest, SaveAddsThenReplacesAndRoundTripsByteForByte) {
  Report a;
  int written = -1;
  const size_t n = a.d.Write(StreamMode::Library, &written).size();
  ASSERT_EQ(written, 0);
  ASSERT_EQ(a.io.SaveToLibrary(engine, path.c_str(), "Monthly"), 1) << a.FirstError();
  ASSERT_EQ(a.io.SaveToLibrary(engine, path.c_str(), "MONTHLY"), 1);
  EXPECT_EQ(MemberCount(), 1) << "saving under the same name replaces the member";

  Report b(false);
  ASSERT_EQ(b.io.OpenLibraryMember(engine, path.c_str(), "monthly"), 0) << b.FirstError();
  EXPECT_EQ(b.d.M().fieldCount, a.d.M().fieldCount);
  EXPECT_EQ(b.io.m_summary.m_strComments, "Monthly orders");
  EXPECT_EQ(b.io.m_summary.m_strTitle, "Untitled") << "a member carries only the comments";
  EXPECT_EQ(b.io.m_bOlderLibrary, 0u);
  ASSERT_EQ(b.io.SaveToLibrary(engine, path.c_str(), "AGAIN"), 1);
  const Bytes m1 = MemberBytes("Monthly", n), m2 = MemberBytes("AGAIN", n);
  ASSERT_EQ(m1.size(), n);
  EXPECT_EQ(WithoutTime(m1), WithoutTime(m2)) << rs_test::FirstDifference(WithoutTime(m1), WithoutTime(m2));
}

// A save that cannot be finished (a full disk) leaves the library byte for
// byte as it was, with no records appended; a link to it stays a link.
TEST_F(LibraryMemberTest, AFailedSaveLeavesTheLibraryAsItWas) {
  FaultyFolder folder(FaultyFolder::kFull, 256 * 1024);
  if (!folder.Unavailable().empty()) GTEST_SKIP() << folder.Unavailable();
  const std::string lib = folder.Path() + "/full.qb6";
  std::filesystem::copy_file(path, lib);
  Report a;
  ASSERT_EQ(a.io.SaveToLibrary(engine, lib.c_str(), "First"), 1) << a.FirstError();
  const Bytes before = ReadAll(lib);
  ASSERT_TRUE(folder.Arm());
  EXPECT_EQ(a.io.SaveToLibrary(engine, lib.c_str(), "Second"), 0);
  EXPECT_EQ(ReadAll(lib), before);
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
    EXPECT_EQ(entry.path().filename().string().rfind(".full.qb6.~", 0), std::string::npos);

  const std::string link = FreshPath("linked.qb6");
  std::filesystem::remove(link);
  std::filesystem::create_symlink(path, link);
  ASSERT_EQ(a.io.SaveToLibrary(engine, link.c_str(), "ThroughLink"), 1) << a.FirstError();
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(MemberCount(), 1);
}

TEST_F(LibraryMemberTest, LossyNarrowingKeepsTheOldMember) {
  Report a;
  int written = -1;
  const Bytes stored = a.d.Write(StreamMode::Library, &written);
  ASSERT_EQ(a.io.SaveToLibrary(engine, path.c_str(), "R"), 1);

  // A position beyond what the narrowed form holds.
  a.d.L().textHead->head.left = 70000;
  EXPECT_EQ(a.io.SaveToLibrary(engine, path.c_str(), "R"), 0);
  EXPECT_FALSE(a.d.hooks.errors.empty()) << "the writer says why";
  EXPECT_EQ(WithoutTime(MemberBytes("R", stored.size())), WithoutTime(stored));
  EXPECT_EQ(a.io.SaveToLibrary(engine, path.c_str(), "NEW"), 0);
  EXPECT_EQ(MemberCount(), 1);
  // The report file holds it.
  EXPECT_EQ(a.io.SaveReportFile(FreshPath("wide.kmw").c_str()), 0);
}

TEST_F(LibraryMemberTest, MissingOrHostileMembersLeaveTheOpenReport) {
  Report open;
  const uint32_t fields = open.d.M().fieldCount;
  EXPECT_EQ(open.io.SaveToLibrary(engine, FreshPath("absent.kml").c_str(), "R"), 0);
  EXPECT_EQ(open.io.LastMessageId(), 735u);
  // Reading leaves the message to the caller, with the engine's text.
  EXPECT_EQ(open.io.OpenLibraryMember(engine, FreshPath("absent.kml").c_str(), "R"), kRepIoLibraryError);
  EXPECT_EQ(open.io.OpenLibraryMember(engine, path.c_str(), "NOPE"), kRepIoLibraryError);
  EXPECT_STRNE(open.io.LibErrorText(), "");

  // A record that claims more bytes than the member's chain holds, and
  // records that stop before the end record.
  Bytes overChain;
  PutRecord(overChain, 1, Header());
  overChain.insert(overChain.end(), {150, 0, 0x00, 0x40, 'a', 'b'});
  PutMember("OVER", overChain);
  Bytes noEnd;
  PutRecord(noEnd, 1, Header());
  PutRecord(noEnd, 91, "SALES");
  PutMember("NOEND", noEnd);
  for (const char* name : {"OVER", "NOEND"}) {
    EXPECT_EQ(open.io.OpenLibraryMember(engine, path.c_str(), name), kRepIoLibraryError) << name;
    EXPECT_STRNE(open.io.LibErrorText(), "");
  }
  EXPECT_EQ(open.d.M().fieldCount, fields);
  EXPECT_FALSE(open.io.OpenFailed());
}

TEST_F(LibraryMemberTest, FailedReadMayNotBeSavedOverItsMember) {
  Bytes v9;
  PutRecord(v9, 1, Header(9));
  PutRecord(v9, 2, "");
  PutMember("R", v9);
  Report b(false);
  EXPECT_EQ(b.io.OpenLibraryMember(engine, path.c_str(), "R"), kRepIoBadRevision);
  EXPECT_EQ(b.io.SaveToLibrary(engine, path.c_str(), "r"), 0);
  EXPECT_EQ(b.io.LastMessageId(), 61304u);
  EXPECT_NE(b.io.SaveReportFile(path.c_str()), 0) << "nor a report file over the library";
  EXPECT_EQ(MemberBytes("R", v9.size()), v9);
  EXPECT_EQ(b.io.SaveToLibrary(engine, path.c_str(), "OTHER"), 1);
}

}  // namespace
