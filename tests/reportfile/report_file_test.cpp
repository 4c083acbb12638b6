#include "files/report_file.h"

#include "files/report_io.h"
#include "files/summary_info.h"
#include "platform/ole/compound_file.h"
#include "reportfile_test_util.h"

#include <gtest/gtest.h>

#include <csignal>
#include <random>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace rftest;

namespace {

class ReportFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetReportOwnerName("Ann Owner");
    InstallFakeStream();
    io.ResetProperties();
  }

  // A report in memory saved to path.
  void SaveSample(const std::string& path, const std::string& body = "BODY") {
    g_report = FakeReport{"SALES", body};
    ASSERT_EQ(io.SaveReportFile(path.c_str()), 0);
  }

  CKmDoc doc;
  CKmRepIO io{&doc};
};

vt_ole::Storage ReadTree(const std::string& path) {
  vt_ole::Storage root;
  EXPECT_EQ(vt_ole::ReadStorageFile(path, root), vt_ole::StorageError::kNone);
  return root;
}

TEST_F(ReportFileTest, SaveAndOpenKeepRecordsItemsAndSummary) {
  const std::string path = FreshPath("round.kmw");
  io.m_summary.m_strTitle = "Sales";
  io.m_summary.m_strSubject = "Quarter";
  io.m_summary.m_strKeywords = "north";
  io.m_summary.m_strComments = "draft";
  // OLE items carried as bytes: the list after the records and a storage.
  io.m_oleItemList = {1, 0, 9, 9, 9};
  io.m_oleStorages.push_back(vt_ole::Storage{"Embedding 1", {{"\001Ole", {7, 7}}}, {}});
  SaveSample(path);
  EXPECT_EQ(io.m_stream.saved, 1);

  const vt_ole::Storage tree = ReadTree(path);
  const vt_ole::Stream* contents = tree.FindStream("Contents");
  ASSERT_NE(contents, nullptr);
  ASSERT_NE(tree.FindStream(kSummaryStreamName), nullptr);
  const size_t records = RecordStreamLength(contents->data.data(), contents->data.size());
  ASSERT_NE(records, 0u);
  EXPECT_EQ(Bytes(contents->data.begin() + records, contents->data.end()), (Bytes{1, 0, 9, 9, 9}));

  CKmDoc doc2;
  CKmRepIO io2(&doc2);
  g_report = FakeReport{};
  ASSERT_EQ(io2.OpenReportFile(path.c_str()), 0);
  EXPECT_EQ(g_report.dataSource, "SALES");
  EXPECT_EQ(g_report.body, "BODY");
  EXPECT_EQ(io2.m_summary.m_strTitle, "Sales");
  EXPECT_EQ(io2.m_summary.m_strSubject, "Quarter");
  EXPECT_EQ(io2.m_summary.m_strAuthor, "Ann Owner");
  EXPECT_EQ(io2.m_summary.m_strKeywords, "north");
  EXPECT_EQ(io2.m_summary.m_strComments, "draft");
  EXPECT_EQ(io2.m_summary.m_nRevision, 1u);
  EXPECT_EQ(io2.m_oleItemList, (Bytes{1, 0, 9, 9, 9}));
  ASSERT_EQ(io2.m_oleStorages.size(), 1u);
  EXPECT_EQ(io2.m_oleStorages[0].name, "Embedding 1");

  // Saved again unchanged, the Contents stream is the same bytes.
  const std::string again = FreshPath("round2.kmw");
  ASSERT_EQ(io2.SaveReportFile(again.c_str()), 0);
  const vt_ole::Storage tree2 = ReadTree(again);
  ASSERT_NE(tree2.FindStream("Contents"), nullptr);
  EXPECT_EQ(tree2.FindStream("Contents")->data, contents->data);
  ASSERT_NE(tree2.FindStorage("Embedding 1"), nullptr);
}

TEST_F(ReportFileTest, FailedSaveLeavesTheOldFileAndTheNextRevision) {
  const std::string path = FreshPath("atomic.kmw");
  SaveSample(path, "OLD");
  const Bytes before = ReadAll(path);

  // The new file cannot be made beside the old one.
  const std::string beside = path + ".~new";
  ASSERT_EQ(mkdir(beside.c_str(), 0700), 0);
  g_report.body = "NEW";
  EXPECT_NE(io.SaveReportFile(path.c_str()), 0);
  EXPECT_EQ(io.LastMessageId(), 61303u);
  EXPECT_EQ(io.m_stream.saved, 0);
  EXPECT_EQ(ReadAll(path), before);
  rmdir(beside.c_str());

  // The file system refuses part-way through the write.
  signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 700;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int rc = io.SaveReportFile(path.c_str());
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_NE(rc, 0);
  EXPECT_EQ(ReadAll(path), before);
  struct stat st{};
  EXPECT_NE(stat(beside.c_str(), &st), 0) << "the partial file is removed";

  // Neither failure counted as a save.
  ASSERT_EQ(io.SaveReportFile(path.c_str()), 0);
  SummaryProperties props;
  DecodeSummaryInformation(ReadTree(path).FindStream(kSummaryStreamName)->data, props);
  EXPECT_EQ(props.revision, 2u);
}

TEST_F(ReportFileTest, WriterFailureWritesNothing) {
  const std::string path = FreshPath("toolarge.kmw");
  SaveSample(path, "OLD");
  const Bytes before = ReadAll(path);
  g_report.body.assign(70000, 'x');
  EXPECT_NE(io.SaveReportFile(path.c_str()), 0);
  EXPECT_EQ(ReadAll(path), before);
}

TEST_F(ReportFileTest, FailedReadMayNotBeSavedOverItsFile) {
  const std::string path = FreshPath("dsn.kmw");
  SaveSample(path);
  const Bytes before = ReadAll(path);

  // The data source cannot be connected: the reader empties the report.
  g_forcedReadResult = kRepIoDataSource;
  EXPECT_EQ(io.OpenReportFile(path.c_str()), kRepIoDataSource);
  EXPECT_TRUE(io.OpenFailed());
  EXPECT_TRUE(g_report.body.empty());

  EXPECT_EQ(io.SaveReportFile(path.c_str()), kRepIoRefused);
  EXPECT_EQ(io.LastMessageId(), 61304u);
  // The same file under another spelling is refused too.
  const std::string spelt = ScratchDir() + "/./dsn.kmw";
  EXPECT_EQ(io.SaveReportFile(spelt.c_str()), kRepIoRefused);
  EXPECT_EQ(ReadAll(path), before);

  // Elsewhere it may be saved; a new report lifts the refusal.
  EXPECT_EQ(io.SaveReportFile(FreshPath("other.kmw").c_str()), 0);
  io.ResetProperties();
  EXPECT_FALSE(io.OpenFailed());

  // A revision the reader does not know is a failed open as well.
  g_forcedReadResult = kRepIoBadRevision;
  EXPECT_EQ(io.OpenReportFile(path.c_str()), kRepIoBadRevision);
  EXPECT_TRUE(io.OpenFailed());
}

TEST_F(ReportFileTest, FilesThatAreNotReportsLeaveTheOpenReport) {
  g_report = FakeReport{"KEEP", "OPEN REPORT"};
  struct Case {
    const char* name;
    Bytes data;
    UINT message;
  };
  Bytes signatureOnly = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  signatureOnly.resize(1536, 0xFF);
  std::vector<Case> cases = {
      {"empty.kmw", {}, 61301},
      {"text.kmw", Bytes{'h', 'e', 'l', 'l', 'o'}, 61301},
      {"signature.kmw", signatureOnly, 61302},
  };
  // A compound file without Contents, and one whose Contents is a storage.
  for (int variant = 0; variant < 2; ++variant) {
    const std::string p = FreshPath(variant ? "storage.kmw" : "nocontents.kmw");
    vt_ole::Storage root;
    if (variant) root.PutStorage("Contents");
    else root.PutStream("Other", {1, 2, 3});
    ASSERT_EQ(vt_ole::WriteStorageFile(p, root), vt_ole::StorageError::kNone);
    cases.push_back({variant ? "storage.kmw" : "nocontents.kmw", ReadAll(p), 61301});
  }
  // A real report file cut short.
  const std::string whole = FreshPath("whole.kmw");
  SaveSample(whole);
  g_report = FakeReport{"KEEP", "OPEN REPORT"};
  Bytes cut = ReadAll(whole);
  cut.resize(cut.size() / 2);
  cases.push_back({"cut.kmw", cut, 61302});

  for (const Case& c : cases) {
    const std::string p = FreshPath(c.name);
    WriteAll(p, c.data);
    EXPECT_NE(io.OpenReportFile(p.c_str()), 0) << c.name;
    EXPECT_EQ(io.LastMessageId(), c.message) << c.name;
    EXPECT_FALSE(io.OpenFailed()) << c.name << ": nothing was read, so nothing is at risk";
  }
  EXPECT_EQ(io.OpenReportFile(FreshPath("missing.kmw").c_str()), kRepIoNoFile);
  EXPECT_EQ(io.LastMessageId(), 61300u);
  EXPECT_EQ(g_reads, 0);
  EXPECT_EQ(g_report.body, "OPEN REPORT");
}

// --- the file dialogs' reader ---

std::string MakeInfoFile(const std::string& name, const Bytes& contents) {
  const std::string p = FreshPath(name);
  vt_ole::Storage root;
  root.PutStream("Contents", contents);
  EXPECT_EQ(vt_ole::WriteStorageFile(p, root), vt_ole::StorageError::kNone);
  return p;
}

TEST(ReportFileInfo, DataSourceUserAndDriver) {
  std::string dsn = "untouched", user, driver;
  ASSERT_TRUE(ReadReportFileInfo(MakeInfoFile("info.kmw", WideStream("SALES", "B")).c_str(), &dsn, &user, &driver));
  EXPECT_EQ(dsn, "SALES");
  EXPECT_EQ(user, "UID=ann;PWD=pw");
  EXPECT_EQ(driver, "SQLite3");

  // A data-source record with no payload.
  Bytes none;
  PutRecord(none, 1, Header());
  PutRecord(none, 91, "");
  PutRecord(none, 2, "");
  EXPECT_TRUE(ReadReportFileInfo(MakeInfoFile("none.kmw", none).c_str(), &dsn));
  EXPECT_EQ(dsn, " (None)");

  // A master-table record before any data source ends the search.
  Bytes master;
  PutRecord(master, 1, Header());
  PutRecord(master, 0x4000 | 52, std::string("C:\\DATA\\T.DBF\0", 14));
  PutRecord(master, 0x4000 | 91, std::string("LATE\0", 5));
  PutRecord(master, 2, "");
  EXPECT_FALSE(ReadReportFileInfo(MakeInfoFile("master.kmw", master).c_str(), &dsn));
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
  // Not starting with a header record.
  Bytes noHeader;
  PutRecord(noHeader, 0x4000 | 91, std::string("X\0", 2));
  EXPECT_FALSE(ReadReportFileInfo(MakeInfoFile("nohead.kmw", noHeader).c_str(), &dsn));
  // A length past the stream's end; a name without its NUL at the very end.
  Bytes over;
  PutRecord(over, 1, Header());
  over.insert(over.end(), {0x5B, 0x40, 0xFF, 0xFF, 'A'});
  EXPECT_FALSE(ReadReportFileInfo(MakeInfoFile("over.kmw", over).c_str(), &dsn));
  Bytes noNul;
  PutRecord(noNul, 1, Header());
  PutRecord(noNul, 0x4000 | 91, "ABC");
  EXPECT_TRUE(ReadReportFileInfo(MakeInfoFile("nonul.kmw", noNul).c_str(), &dsn));
  EXPECT_EQ(dsn, "ABC");

  // Bounded random damage to a real stream never reads outside it.
  std::mt19937 rng(1234);
  const Bytes good = WideStream("SALES", std::string(40, 'b'));
  for (int i = 0; i < 150; ++i) {
    Bytes bad = good;
    const int hits = 1 + static_cast<int>(rng() % 6);
    for (int h = 0; h < hits; ++h) bad[rng() % bad.size()] = static_cast<uint8_t>(rng());
    if (i % 3 == 0) bad.resize(rng() % bad.size());
    std::string d, u, v;
    ReadReportFileInfo(MakeInfoFile("fuzz.kmw", bad).c_str(), &d, &u, &v);
  }
}

}  // namespace
