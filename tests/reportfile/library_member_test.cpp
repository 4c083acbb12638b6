#include "files/library_file.h"
#include "files/report_io.h"
#include "reportfile_test_util.h"

#include <gtest/gtest.h>

using namespace rftest;

namespace {

class LibraryMemberTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetReportOwnerName("Ann Owner");
    InstallFakeStream();
    io.ResetProperties();
    path = FreshPath("reports.kml");
    LibFileControlBlock* f = engine.LibFileCreate(path.c_str(), lib_of::ReadWrite, nullptr, kLibKindReport, 64);
    ASSERT_NE(f, nullptr);
    engine.LibFileClose(f);
  }

  // The member's raw bytes, n of them.
  Bytes MemberBytes(const char* name, size_t n) {
    WORD kind = 0;
    LibFileControlBlock* f = engine.LibFileOpen(path.c_str(), lib_of::ShareDenyWrite, lib_of::Read, &kind, 0);
    if (f == nullptr) return {};
    LibMember* m = engine.LibFindMember(f, name);
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

  // Writes raw bytes as a member, the way a foreign program might.
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

  int Narrowed(Bytes& out) {
    bool overflow = false;
    return FakeWrite(doc, io, true, out, &overflow);
  }

  CKmDoc doc;
  CKmRepIO io{&doc};
  LibraryFile engine;
  std::string path;
};

TEST_F(LibraryMemberTest, SaveAddsThenReplacesAndOpensBack) {
  io.m_summary.m_strComments = "monthly";
  g_report = FakeReport{"SALES", "FIRST"};
  ASSERT_EQ(io.SaveToLibrary(engine, path.c_str(), "Monthly"), 1);
  Bytes first;
  ASSERT_EQ(Narrowed(first), 0);
  EXPECT_EQ(MemberBytes("MONTHLY", first.size()), first) << "names ignore case; the narrowed stream is stored";

  g_report.body = "SECOND";
  ASSERT_EQ(io.SaveToLibrary(engine, path.c_str(), "monthly"), 1);
  WORD kind = 0;
  LibFileControlBlock* f = engine.LibFileOpen(path.c_str(), lib_of::ShareDenyWrite, lib_of::Read, &kind, 0);
  ASSERT_NE(f, nullptr);
  LibMember* list = engine.LibListMembers(f);
  int count = 0;
  for (LibMember* m = list; m; m = m->next) ++count;
  FreeLibMemberList(list);
  engine.LibFileClose(f);
  EXPECT_EQ(count, 1) << "saving under the same name replaces the member";

  CKmDoc doc2;
  CKmRepIO io2(&doc2);
  g_report = FakeReport{};
  ASSERT_EQ(io2.OpenLibraryMember(engine, path.c_str(), "Monthly"), 0);
  EXPECT_EQ(g_report.body, "SECOND");
  EXPECT_EQ(g_report.dataSource, "SALES");
  EXPECT_EQ(io2.m_summary.m_strComments, "monthly");
  EXPECT_EQ(io2.m_summary.m_strTitle, "Untitled") << "a member carries only the comments";
  EXPECT_EQ(io2.m_bOlderLibrary, 0u);

  // Saved again from what was read, the member holds the same bytes.
  Bytes before = MemberBytes("Monthly", first.size() + 1);
  ASSERT_EQ(io2.SaveToLibrary(engine, path.c_str(), "Monthly"), 1);
  EXPECT_EQ(MemberBytes("Monthly", first.size() + 1), before);
}

TEST_F(LibraryMemberTest, LossyNarrowingKeepsTheOldMember) {
  g_report = FakeReport{"SALES", "KEPT"};
  ASSERT_EQ(io.SaveToLibrary(engine, path.c_str(), "R"), 1);
  Bytes stored;
  ASSERT_EQ(Narrowed(stored), 0);

  g_report.body.assign(70000, 'x');
  EXPECT_EQ(io.SaveToLibrary(engine, path.c_str(), "R"), 0);
  EXPECT_EQ(MemberBytes("R", stored.size()), stored);
  EXPECT_EQ(io.SaveToLibrary(engine, path.c_str(), "NEW"), 0);
  EXPECT_TRUE(MemberBytes("NEW", 1).empty());
}

TEST_F(LibraryMemberTest, FailedReadMayNotBeSavedOverItsMember) {
  g_report = FakeReport{"SALES", "REAL"};
  ASSERT_EQ(io.SaveToLibrary(engine, path.c_str(), "R"), 1);
  Bytes stored;
  ASSERT_EQ(Narrowed(stored), 0);
  g_forcedReadResult = kRepIoDataSource;
  EXPECT_EQ(io.OpenLibraryMember(engine, path.c_str(), "R"), kRepIoDataSource);
  EXPECT_EQ(io.SaveToLibrary(engine, path.c_str(), "r"), 0);
  EXPECT_EQ(io.LastMessageId(), 61304u);
  EXPECT_NE(io.SaveReportFile(path.c_str()), 0) << "nor a report file over the library";
  EXPECT_EQ(MemberBytes("R", stored.size()), stored);
  EXPECT_EQ(io.SaveToLibrary(engine, path.c_str(), "OTHER"), 1);
}

TEST_F(LibraryMemberTest, MissingOrHostileMembersNeverReachTheReader) {
  g_report = FakeReport{"KEEP", "OPEN REPORT"};
  EXPECT_EQ(io.SaveToLibrary(engine, FreshPath("absent.kml").c_str(), "R"), 0);
  EXPECT_EQ(io.LastMessageId(), 735u);
  // Reading leaves the message to the caller, with the engine's text.
  EXPECT_EQ(io.OpenLibraryMember(engine, FreshPath("absent.kml").c_str(), "R"), kRepIoLibraryError);
  EXPECT_EQ(io.OpenLibraryMember(engine, path.c_str(), "NOPE"), kRepIoLibraryError);
  EXPECT_STRNE(io.LibErrorText(), "");

  // A record that claims more bytes than the member's chain holds.
  Bytes overChain;
  PutRecord(overChain, 1, Header());
  overChain.insert(overChain.end(), {150, 0, 0x00, 0x40, 'a', 'b'});
  PutMember("OVER", overChain);
  EXPECT_EQ(io.OpenLibraryMember(engine, path.c_str(), "OVER"), kRepIoLibraryError);
  EXPECT_STRNE(io.LibErrorText(), "");

  // Records that stop before the end record.
  Bytes noEnd;
  PutRecord(noEnd, 1, Header());
  PutRecord(noEnd, 91, "SALES");
  PutMember("NOEND", noEnd);
  EXPECT_EQ(io.OpenLibraryMember(engine, path.c_str(), "NOEND"), kRepIoLibraryError);

  EXPECT_EQ(g_reads, 0);
  EXPECT_EQ(g_report.body, "OPEN REPORT");
}

}  // namespace
