// A full report through the report writer and reader, in a report file and
// in a library member, and damaged report files fed to the reader.
#include "../files/library_test_util.h"
#include "../reportstream/report_fixture.h"
#include "files/library_file.h"
#include "files/report_file.h"
#include "files/report_io.h"
#include "platform/ole/compound_file.h"

#include <random>

namespace {

using libtest::FreshPath;
using rs_test::BuildFullReport;
using rs_test::Doc;
using rs_test::WithoutTime;

// The report file object of a fixture document, set up from its state.
struct FileObject {
  explicit FileObject(Doc& d) : io(&d.doc) {
    io.m_stream.settings = d.st.settings;
    io.m_stream.hooks = &d.hooks;
    io.m_summary.m_strComments = d.st.settings.comments;
  }
  CKmRepIO io;
};

std::vector<uint8_t> ContentsOf(const std::string& path) {
  vt_ole::Storage root;
  EXPECT_EQ(vt_ole::ReadStorageFile(path, root), vt_ole::StorageError::kNone);
  const vt_ole::Stream* s = root.FindStream("Contents");
  return s ? s->data : std::vector<uint8_t>{};
}

std::vector<uint8_t> MemberOf(LibraryFile& engine, const std::string& lib, const char* name, size_t n) {
  WORD kind = 0;
  LibFileControlBlock* f = engine.LibFileOpen(lib.c_str(), lib_of::ShareDenyWrite, lib_of::Read, &kind, 0);
  std::vector<uint8_t> out(n);
  LibMember* m = f ? engine.LibFindMember(f, name) : nullptr;
  if (m == nullptr) out.clear();
  else {
    engine.LibRewind(f, m->firstRecord);
    if (engine.LibRead(f, static_cast<DWORD>(n), out.data()) != 0) out.clear();
  }
  FreeLibMemberList(m);
  engine.LibFileClose(f);
  return out;
}

TEST(RealStream, ReportFileRoundTripIsByteIdenticalWhenSavedAgain) {
  SetReportOwnerName("Ann Owner");
  SetReportStreamCodec(ReportStreamCodec{nullptr, nullptr});
  Doc a;
  BuildFullReport(a);
  FileObject fa(a);
  fa.io.m_summary.m_strTitle = "Orders";
  const std::string first = FreshPath("full.kmw");
  ASSERT_EQ(fa.io.SaveReportFile(first.c_str()), 0) << (a.hooks.errors.empty() ? "" : a.hooks.errors[0]);

  Doc b;
  FileObject fb(b);
  ASSERT_EQ(fb.io.OpenReportFile(first.c_str()), 0) << (b.hooks.errors.empty() ? "" : b.hooks.errors[0]);
  EXPECT_EQ(b.M().fieldCount, a.M().fieldCount);
  EXPECT_EQ(b.L().textCount, a.L().textCount);
  EXPECT_EQ(fb.io.m_summary.m_strComments, "Monthly orders");
  EXPECT_EQ(fb.io.m_summary.m_strTitle, "Orders");
  EXPECT_EQ(fb.io.m_oleItemList, kEmptyOleItemList);

  const std::string second = FreshPath("full2.kmw");
  ASSERT_EQ(fb.io.SaveReportFile(second.c_str()), 0);
  const std::vector<uint8_t> c1 = ContentsOf(first), c2 = ContentsOf(second);
  ASSERT_FALSE(c1.empty());
  EXPECT_EQ(WithoutTime(c1), WithoutTime(c2)) << rs_test::FirstDifference(WithoutTime(c1), WithoutTime(c2));

  // Opened with another data source chosen, the report is saved naming it.
  std::string stored, chosen;
  ASSERT_TRUE(ReadReportFileInfo(second.c_str(), &stored));
  Doc c;
  FileObject fc(c);
  std::snprintf(fc.io.m_szDataSource, sizeof fc.io.m_szDataSource, "OTHER");
  fc.io.m_bKeepOverride = TRUE;
  ASSERT_EQ(fc.io.OpenReportFile(second.c_str()), 0);
  const std::string third = FreshPath("full3.kmw");
  ASSERT_EQ(fc.io.SaveReportFile(third.c_str()), 0);
  ASSERT_TRUE(ReadReportFileInfo(third.c_str(), &chosen));
  EXPECT_NE(stored, "OTHER");
  EXPECT_EQ(chosen, "OTHER");
}

TEST(RealStream, LibraryMemberRoundTripIsByteIdenticalWhenSavedAgain) {
  SetReportOwnerName("Ann Owner");
  SetReportStreamCodec(ReportStreamCodec{nullptr, nullptr});
  LibraryFile engine;
  const std::string lib = FreshPath("full.kml");
  LibFileControlBlock* f = engine.LibFileCreate(lib.c_str(), lib_of::ReadWrite, nullptr, kLibKindReport, 64);
  ASSERT_NE(f, nullptr);
  engine.LibFileClose(f);

  Doc a;
  BuildFullReport(a);
  int written = -1;
  const size_t n = a.Write(StreamMode::Library, &written).size();
  ASSERT_EQ(written, 0);
  FileObject fa(a);
  ASSERT_EQ(fa.io.SaveToLibrary(engine, lib.c_str(), "FULL"), 1) << (a.hooks.errors.empty() ? "" : a.hooks.errors[0]);

  Doc b;
  FileObject fb(b);
  ASSERT_EQ(fb.io.OpenLibraryMember(engine, lib.c_str(), "full"), 0)
      << (b.hooks.errors.empty() ? "" : b.hooks.errors[0]);
  EXPECT_EQ(b.M().fieldCount, a.M().fieldCount);
  EXPECT_EQ(fb.io.m_summary.m_strComments, "Monthly orders");
  ASSERT_EQ(fb.io.SaveToLibrary(engine, lib.c_str(), "AGAIN"), 1);
  const std::vector<uint8_t> m1 = MemberOf(engine, lib, "FULL", n), m2 = MemberOf(engine, lib, "AGAIN", n);
  ASSERT_EQ(m1.size(), n);
  EXPECT_EQ(WithoutTime(m1), WithoutTime(m2)) << rs_test::FirstDifference(WithoutTime(m1), WithoutTime(m2));
}

// Bounded random damage to the Contents of a real report: every open ends
// with a result, never outside a buffer, and a failed one guards the file.
TEST(RealStream, DamagedContentsNeverCrashTheReader) {
  SetReportOwnerName("Ann Owner");
  SetReportStreamCodec(ReportStreamCodec{nullptr, nullptr});
  Doc a;
  BuildFullReport(a);
  int written = -1;
  const std::vector<uint8_t> good = a.Write(StreamMode::Storage, &written);
  ASSERT_EQ(written, 0);
  std::mt19937 rng(77);
  const std::string path = FreshPath("damaged.kmw");
  int failed = 0;
  for (int i = 0; i < 60; ++i) {
    std::vector<uint8_t> bad = good;
    const int hits = 1 + static_cast<int>(rng() % 8);
    for (int h = 0; h < hits; ++h) bad[4 + rng() % (bad.size() - 4)] = static_cast<uint8_t>(rng());
    if (i % 4 == 0) bad.resize(rng() % bad.size());
    vt_ole::Storage root;
    root.PutStream("Contents", bad);
    ASSERT_EQ(vt_ole::WriteStorageFile(path, root), vt_ole::StorageError::kNone);
    Doc b;
    FileObject fb(b);
    const int rc = fb.io.OpenReportFile(path.c_str());
    if (rc != 0) {
      ++failed;
      EXPECT_TRUE(fb.io.OpenFailed());
    }
  }
  EXPECT_GT(failed, 0);
}

}  // namespace
