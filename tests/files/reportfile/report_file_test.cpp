#include "files/report_file.h"

#include "files/summary_info.h"
#include "reportfile_test_util.h"
#include "tests/support/folder_faults.h"

#include <csignal>
#include <filesystem>
#include <random>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace rftest;
using rs_test::WithoutTime;

namespace {

TEST(ReportFile, FullReportRoundTripKeepsItemsSummaryAndBytes) {
  Report a;
  a.io.m_summary.m_strTitle = "Orders";
  // OLE items are carried as bytes: the list after the records and a storage.
  a.io.m_oleItemList = {1, 0, 9, 9, 9};
  a.io.m_oleStorages.push_back(vt_ole::Storage{"Embedding 1", {{"\001Ole", {7, 7}}}, {}});
  const std::string first = FreshPath("full.kmw");
  ASSERT_EQ(a.io.SaveReportFile(first.c_str()), 0) << a.FirstError();
  EXPECT_EQ(a.io.m_stream.saved, 1);

  Report b(false);
  ASSERT_EQ(b.io.OpenReportFile(first.c_str()), 0) << b.FirstError();
  EXPECT_EQ(b.d.M().fieldCount, a.d.M().fieldCount);
  EXPECT_EQ(b.d.L().textCount, a.d.L().textCount);
  EXPECT_EQ(b.io.m_summary.m_strComments, "Monthly orders");
  EXPECT_EQ(b.io.m_summary.m_strTitle, "Orders");
  EXPECT_EQ(b.io.m_oleItemList, (Bytes{1, 0, 9, 9, 9}));
  ASSERT_EQ(b.io.m_oleStorages.size(), 1u);

  // Saved again unchanged: the same Contents bytes but for the save time.
  const std::string second = FreshPath("full2.kmw");
  ASSERT_EQ(b.io.SaveReportFile(second.c_str()), 0);
  const Bytes c1 = ContentsOf(first), c2 = ContentsOf(second);
  EXPECT_EQ(WithoutTime(c1), WithoutTime(c2)) << rs_test::FirstDifference(WithoutTime(c1), WithoutTime(c2));
  vt_ole::Storage tree;
  ASSERT_EQ(vt_ole::ReadStorageFile(second, tree), vt_ole::StorageError::kNone);
  EXPECT_NE(tree.FindStorage("Embedding 1"), nullptr);

  // Opened with another data source chosen, the report is saved naming it.
  std::string stored, chosen;
  ASSERT_TRUE(ReadReportFileInfo(second.c_str(), &stored));
  Report c(false);
  std::snprintf(c.io.m_szDataSource, sizeof c.io.m_szDataSource, "OTHER");
  c.io.m_bKeepOverride = TRUE;
  ASSERT_EQ(c.io.OpenReportFile(second.c_str()), 0);
  const std::string third = FreshPath("full3.kmw");
  ASSERT_EQ(c.io.SaveReportFile(third.c_str()), 0);
  ASSERT_TRUE(ReadReportFileInfo(third.c_str(), &chosen));
  EXPECT_EQ(stored, "Orders DB");
  EXPECT_EQ(chosen, "OTHER");
}

TEST(ReportFile, FailedSaveLeavesTheOldFileAndTheNextRevision) {
  Report a;
  const std::string path = FreshPath("atomic.kmw");
  ASSERT_EQ(a.io.SaveReportFile(path.c_str()), 0);
  const Bytes before = ReadAll(path);

  // The new file cannot be made beside the old one: a read-only folder.
  {
    FaultyFolder folder(FaultyFolder::kReadOnly);
    if (folder.Unavailable().empty()) {
      const std::string inside = folder.Path() + "/atomic.kmw";
      std::filesystem::copy_file(path, inside);
      ASSERT_TRUE(folder.Arm());
      EXPECT_NE(a.io.SaveReportFile(inside.c_str()), 0);
      EXPECT_EQ(a.io.LastMessageId(), 61303u);
      EXPECT_EQ(a.io.m_stream.saved, 0);
      EXPECT_EQ(ReadAll(inside), before);
    }
  }

  // The file system refuses part-way through the write.
  signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 700;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int rc = a.io.SaveReportFile(path.c_str());
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_NE(rc, 0);
  EXPECT_EQ(ReadAll(path), before);
  const std::string folderOfPath = std::filesystem::path(path).parent_path().string();
  for (const auto& entry : std::filesystem::directory_iterator(folderOfPath))
    EXPECT_EQ(entry.path().filename().string().rfind(".atomic.kmw.~", 0), std::string::npos)
        << "the partial file is removed";

  // The writer refuses (no report is open): nothing is written.
  CKmDoc bare;
  CKmRepIO none(&bare);
  EXPECT_NE(none.SaveReportFile(path.c_str()), 0);
  EXPECT_EQ(ReadAll(path), before);

  // None of the failures counted as a save.
  ASSERT_EQ(a.io.SaveReportFile(path.c_str()), 0);
  vt_ole::Storage tree;
  ASSERT_EQ(vt_ole::ReadStorageFile(path, tree), vt_ole::StorageError::kNone);
  SummaryProperties props;
  DecodeSummaryInformation(tree.FindStream(kSummaryStreamName)->data, props);
  EXPECT_EQ(props.revision, 2u);
}

// The reader's data-source connection fails.
struct RefusingHooks : rs_test::RecordingHooks {
  bool ConnectSource(KmDocBase&, const TableSourceGroup&, bool) override { return false; }
};

TEST(ReportFile, FailedReadMayNotBeSavedOverItsFile) {
  Report a;
  const std::string path = FreshPath("dsn.kmw");
  ASSERT_EQ(a.io.SaveReportFile(path.c_str()), 0);
  const Bytes before = ReadAll(path);

  Report b(false);
  RefusingHooks refusing;
  b.io.m_stream.hooks = &refusing;
  b.io.m_stream.connect = true;
  EXPECT_EQ(b.io.OpenReportFile(path.c_str()), kRepIoDataSource);
  EXPECT_TRUE(b.io.OpenFailed());
  EXPECT_EQ(b.io.SaveReportFile(path.c_str()), kRepIoRefused);
  EXPECT_EQ(b.io.LastMessageId(), 61304u);
  // The same file under another spelling is refused too.
  EXPECT_EQ(b.io.SaveReportFile((ScratchDir() + "/./DSN.KMW").c_str()), kRepIoRefused);
  EXPECT_EQ(ReadAll(path), before);

  // Elsewhere it may be saved; a new report lifts the refusal.
  EXPECT_EQ(b.io.SaveReportFile(FreshPath("other.kmw").c_str()), 0);
  b.io.ResetProperties();
  EXPECT_FALSE(b.io.OpenFailed());

  // A revision the reader does not know is a failed open as well.
  Bytes v9;
  PutRecord(v9, 1, Header(9));
  PutRecord(v9, 2, "");
  EXPECT_EQ(b.io.OpenReportFile(FileWithContents("v9.kmw", v9).c_str()), kRepIoBadRevision);
  EXPECT_TRUE(b.io.OpenFailed());
}

TEST(ReportFile, FilesThatAreNotReportsLeaveTheOpenReport) {
  Report open;
  const uint32_t fields = open.d.M().fieldCount;
  Bytes signatureOnly = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  signatureOnly.resize(1536, 0xFF);
  vt_ole::Storage noContents, storageContents;
  noContents.PutStream("Other", {1, 2, 3});
  storageContents.PutStorage("Contents");
  ASSERT_EQ(vt_ole::WriteStorageFile(FreshPath("nocontents.kmw"), noContents), vt_ole::StorageError::kNone);
  ASSERT_EQ(vt_ole::WriteStorageFile(FreshPath("storage.kmw"), storageContents), vt_ole::StorageError::kNone);
  const std::string whole = FreshPath("whole.kmw");
  ASSERT_EQ(open.io.SaveReportFile(whole.c_str()), 0);
  Bytes cut = ReadAll(whole);
  cut.resize(cut.size() / 2);

  struct Case {
    std::string name;
    UINT message;
  };
  WriteAll(FreshPath("empty.kmw"), {});
  WriteAll(FreshPath("text.kmw"), Bytes{'h', 'e', 'l', 'l', 'o'});
  WriteAll(FreshPath("signature.kmw"), signatureOnly);
  WriteAll(FreshPath("cut.kmw"), cut);
  const Case cases[] = {{"empty.kmw", 61301},      {"text.kmw", 61301}, {"signature.kmw", 61302},
                        {"nocontents.kmw", 61301}, {"storage.kmw", 61301}, {"cut.kmw", 61302},
                        {"missing.kmw", 61300}};
  std::remove((ScratchDir() + "/missing.kmw").c_str());
  for (const Case& c : cases) {
    const std::string p = ScratchDir() + "/" + c.name;
    EXPECT_NE(open.io.OpenReportFile(p.c_str()), 0) << c.name;
    EXPECT_EQ(open.io.LastMessageId(), c.message) << c.name;
    EXPECT_FALSE(open.io.OpenFailed()) << c.name << ": nothing was read, so nothing is at risk";
    EXPECT_EQ(open.d.M().fieldCount, fields) << c.name;
  }
}

// Bounded random damage to the Contents of a real report: every open ends
// with a result and never reads outside a buffer; a failed one guards its file.
TEST(ReportFile, DamagedContentsNeverCrashTheReader) {
  Report a;
  int written = -1;
  const Bytes good = a.d.Write(StreamMode::Storage, &written);
  ASSERT_EQ(written, 0);
  std::mt19937 rng(77);
  int failed = 0;
  for (int i = 0; i < 60; ++i) {
    Bytes bad = good;
    const int hits = 1 + static_cast<int>(rng() % 8);
    for (int h = 0; h < hits; ++h) bad[4 + rng() % (bad.size() - 4)] = static_cast<uint8_t>(rng());
    if (i % 4 == 0) bad.resize(rng() % bad.size());
    Report b(false);
    if (b.io.OpenReportFile(FileWithContents("damaged.kmw", bad).c_str()) != 0) {
      ++failed;
      EXPECT_TRUE(b.io.OpenFailed());
    }
  }
  EXPECT_GT(failed, 0);
}

// --- the file dialogs' reader ---

TEST(ReportFileInfo, DataSourceUserAndDriver) {
  Report a;
  const std::string path = FreshPath("info.kmw");
  ASSERT_EQ(a.io.SaveReportFile(path.c_str()), 0);
  std::string dsn, user, driver;
  ASSERT_TRUE(ReadReportFileInfo(path.c_str(), &dsn, &user, &driver));
  EXPECT_EQ(dsn, "Orders DB");
  EXPECT_EQ(user, "UID=a;PWD=b");
  EXPECT_EQ(driver, "SQLite3");

  // A data-source record with no payload.
  Bytes none;
  PutRecord(none, 1, Header());
  PutRecord(none, 91, "");
  EXPECT_TRUE(ReadReportFileInfo(FileWithContents("none.kmw", none).c_str(), &dsn));
  EXPECT_EQ(dsn, " (None)");

  // A master-table record before any data source ends the search.
  Bytes master;
  PutRecord(master, 1, Header());
  PutRecord(master, 0x4000 | 52, std::string("C:\\DATA\\T.DBF\0", 14));
  PutRecord(master, 0x4000 | 91, std::string("LATE\0", 5));
  EXPECT_FALSE(ReadReportFileInfo(FileWithContents("master.kmw", master).c_str(), &dsn));
  EXPECT_EQ(dsn, "");

  // Not a compound file: false and the out untouched.
  const std::string lib = FreshPath("lib.kml");
  WriteAll(lib, Bytes(1024, 0));
  dsn = "untouched";
  EXPECT_FALSE(ReadReportFileInfo(lib.c_str(), &dsn));
  EXPECT_EQ(dsn, "untouched");
}

TEST(ReportFileInfo, HostileContents) {
  std::string dsn;
  Bytes noHeader;
  PutRecord(noHeader, 0x4000 | 91, std::string("X\0", 2));
  EXPECT_FALSE(ReadReportFileInfo(FileWithContents("nohead.kmw", noHeader).c_str(), &dsn));
  // A length past the stream's end; a name without its NUL at the very end.
  Bytes over;
  PutRecord(over, 1, Header());
  over.insert(over.end(), {0x5B, 0x40, 0xFF, 0xFF, 'A'});
  EXPECT_FALSE(ReadReportFileInfo(FileWithContents("over.kmw", over).c_str(), &dsn));
  Bytes noNul;
  PutRecord(noNul, 1, Header());
  PutRecord(noNul, 0x4000 | 91, "ABC");
  EXPECT_TRUE(ReadReportFileInfo(FileWithContents("nonul.kmw", noNul).c_str(), &dsn));
  EXPECT_EQ(dsn, "ABC");

  Report a;
  int written = -1;
  const Bytes good = a.d.Write(StreamMode::Storage, &written);
  std::mt19937 rng(1234);
  for (int i = 0; i < 100; ++i) {
    Bytes bad = good;
    for (int h = 1 + static_cast<int>(rng() % 6); h > 0; --h) bad[rng() % bad.size()] = static_cast<uint8_t>(rng());
    if (i % 3 == 0) bad.resize(rng() % bad.size());
    std::string d, u, v;
    ReadReportFileInfo(FileWithContents("fuzz.kmw", bad).c_str(), &d, &u, &v);
  }
}

}  // namespace
