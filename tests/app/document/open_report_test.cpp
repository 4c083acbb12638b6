#include "document_fixture.h"

namespace doc_test {
namespace {

using Names = std::vector<std::string>;

TEST_F(DocumentTest, ReportFileOpensIntoModelAndLayoutAndSavesBack) {
  std::string path = WriteReportFile("sales.kmw", "F Name\nF Total\nB 2\n");
  ASSERT_TRUE(doc.ReadReport(path.c_str()));
  EXPECT_EQ(FieldNames(), (Names{"Name", "Total"}));
  EXPECT_EQ(doc.m_pLayout->linesBoxes.Count(), 2);
  EXPECT_TRUE(doc.m_bReportOpen);
  EXPECT_FALSE(doc.m_bLibraryMode);
  EXPECT_FALSE(doc.IsModified());
  EXPECT_EQ(doc.GetPathName(), path);
  EXPECT_EQ(std::string(doc.m_szReportName), path);
  EXPECT_EQ(doc.GetWindowText(), "sales.kmw - VORTELLE Report Designer");
  // The open file is held, so another copy of the program sees it in use.
  EXPECT_TRUE(IsCompoundFileInUse(path.c_str()));

  doc.m_pModel->AddField(0)->name[0] = 'X';
  doc.m_pLayout->linesBoxes.Append(MakeNewBox());
  doc.SetModifiedFlag(TRUE);
  ASSERT_TRUE(doc.OnSaveDocument(path.c_str()));
  EXPECT_FALSE(doc.IsModified());
  // Saving into the file it came from keeps the streams the records do not cover.
  vt_ole::Storage saved;
  ASSERT_EQ(vt_ole::ReadStorageFile(path, saved), vt_ole::StorageError::kNone);
  EXPECT_NE(saved.FindStream("\005SummaryInformation"), nullptr);
  EXPECT_TRUE(IsCompoundFileInUse(path.c_str()));

  CKmDoc other;
  FakeFileIO io2;
  other.m_pFileIO = &io2;
  other.m_strUdfPath = Path("kmw.udf");
  doc.ClearReport(TRUE);
  ASSERT_TRUE(other.ReadReport(path.c_str()));
  EXPECT_EQ(FakeFileIO::Text(other), "F Name\nF Total\nF X\nB 3\n");
}

TEST_F(DocumentTest, OpeningAnotherReportReplacesTheFirstWholly) {
  std::string first = WriteReportFile("a.kmw", "F A1\nF A2\nB 4\n");
  std::string second = WriteReportFile("b.kmw", "F B1\nB 1\n");
  ASSERT_TRUE(doc.ReadReport(first.c_str()));
  ASSERT_TRUE(doc.ReadReport(second.c_str()));
  EXPECT_EQ(FieldNames(), (Names{"B1"}));
  EXPECT_EQ(doc.m_pLayout->linesBoxes.Count(), 1);
  EXPECT_EQ(doc.GetPathName(), second);
  EXPECT_FALSE(IsCompoundFileInUse(first.c_str()));
  // Opening the open file again, under any spelling of its name, is no "in
  // use by another" case.
  ASSERT_TRUE(doc.ReadReport(second.c_str()));
  ASSERT_TRUE(doc.ReadReport(Path("B.KMW").c_str()));
  EXPECT_TRUE(messages.empty());
}

TEST_F(DocumentTest, FailedOpenLeavesNoReportThatASaveCouldWriteOverTheFile) {
  std::string previous = WriteReportFile("prev.kmw", "F P\n");
  std::string path = WriteReportFile("orig.kmw", "F A\nF B\nB 1\n");
  std::string before = ReadBytes(path);
  ASSERT_TRUE(doc.ReadReport(previous.c_str()));

  io.result = kReadFailed;  // the stored data source did not connect
  EXPECT_FALSE(doc.ReadReport(path.c_str()));
  EXPECT_FALSE(doc.m_bReportOpen);
  EXPECT_FALSE(doc.CanSaveReport());
  EXPECT_EQ(doc.GetPathName(), "");
  EXPECT_STREQ(doc.m_szReportName, "");
  EXPECT_STREQ(doc.m_files.currentFile, "");
  EXPECT_TRUE(FieldNames().empty());
  EXPECT_EQ(doc.m_pLayout->linesBoxes.Count(), 0);
  EXPECT_EQ(doc.GetWindowText(), "VORTELLE Report Designer");
  EXPECT_FALSE(IsCompoundFileInUse(path.c_str()));

  EXPECT_FALSE(doc.OnSaveDocument(path.c_str()));
  EXPECT_EQ(ReadBytes(path), before);
}

TEST_F(DocumentTest, ReaderResultsShowTheirMessageAndLeaveTheDocumentEmpty) {
  std::string path = WriteReportFile("r.kmw", "F A\n");
  struct Case {
    int result;
    std::string message;
  } cases[] = {{kReadLibraryError, "No such report reading report " + path},
               {kReadBadRevision, "Invalid report revision"},
               {kReadFailed, ""},
               {7, ""}};
  for (const Case& c : cases) {
    messages.clear();
    io.result = c.result;
    EXPECT_FALSE(doc.ReadReport(path.c_str())) << c.result;
    EXPECT_EQ(messages, c.message.empty() ? Names{} : Names{c.message}) << c.result;
    EXPECT_FALSE(doc.m_bReportOpen);
    EXPECT_TRUE(FieldNames().empty());
  }
  // A file the storage layer cannot read is the framework's failure.
  std::ofstream(Path("bad.kmw")) << "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1 truncated";
  io.result = kReadOk;
  messages.clear();
  EXPECT_FALSE(doc.ReadReport(Path("bad.kmw").c_str()));
  EXPECT_FALSE(doc.m_bReportOpen);
}

TEST_F(DocumentTest, LibraryMemberOpensByItsName) {
  std::string lib = Path("reports.qb6");
  std::ofstream(lib) << "Other|F O\nMonthly|F Region;B 3\n";
  dialogs.member = "Monthly";
  ASSERT_TRUE(doc.ReadReport(lib.c_str()));
  EXPECT_TRUE(doc.m_bLibraryMode);
  EXPECT_EQ(FieldNames(), (Names{"Region"}));
  EXPECT_EQ(doc.m_pLayout->linesBoxes.Count(), 3);
  EXPECT_EQ(doc.GetPathName(), lib);
  EXPECT_STREQ(doc.m_szReportName, "Monthly");
  EXPECT_EQ(doc.GetTitle(), "Monthly");

  // Without a way to write members the library is left alone.
  std::string before = ReadBytes(lib);
  doc.SetModifiedFlag(TRUE);
  EXPECT_FALSE(doc.OnSaveDocument(lib.c_str()));
  EXPECT_EQ(ReadBytes(lib), before);
  EXPECT_TRUE(doc.IsModified());

  dialogs.member.clear();  // the library's dialog cancelled
  EXPECT_FALSE(doc.ReadReport(lib.c_str()));
  EXPECT_EQ(io.loads, 1);
}

TEST_F(DocumentTest, OpenDialogCancelChangesNothing) {
  std::string path = WriteReportFile("r.kmw", "F A\n");
  ASSERT_TRUE(doc.ReadReport(path.c_str()));
  EXPECT_FALSE(doc.OpenReportDialog(nullptr));
  EXPECT_TRUE(doc.m_bReportOpen);
  EXPECT_EQ(FieldNames(), (Names{"A"}));

  std::string second = WriteReportFile("s.kmw", "F S\n");
  dialogs.chosen = second;
  EXPECT_TRUE(doc.OpenReportDialog(nullptr));
  EXPECT_EQ(FieldNames(), (Names{"S"}));
}

TEST_F(DocumentTest, ClosingTheReportFreesItsTablesAndLetsGoOfTheFile) {
  std::string path = WriteReportFile("r.kmw", "F A\nF B\nF C\nB 5\n");
  ASSERT_TRUE(doc.ReadReport(path.c_str()));
  doc.m_pModel->AddTableSlot("ORDERS", "ORDERS", 0, 0, doc.m_pModel->fieldList);
  doc.ClearReport(TRUE);
  EXPECT_EQ(doc.m_pModel->fieldList, nullptr);
  EXPECT_EQ(doc.m_pModel->fieldCount, 0u);
  EXPECT_EQ(doc.m_pModel->tableCount, 0u);
  EXPECT_EQ(doc.m_pLayout->linesBoxes.Count(), 0);
  EXPECT_FALSE(IsCompoundFileInUse(path.c_str()));
  EXPECT_FALSE(doc.IsModified());
}

class InUseTest : public DocumentTest {
 protected:
  void SetUp() override {
    DocumentTest::SetUp();
    path = WriteReportFile("held.kmw", "F H\nB 1\n");
    child = HoldInChild(path, &release);
    ASSERT_GT(child, 0);
  }
  void TearDown() override {
    EndChild(child, release);
    DocumentTest::TearDown();
  }
  std::string path;
  pid_t child = -1;
  int release = -1;
};

TEST_F(InUseTest, DecliningTheCopyOpensNothing) {
  answer = IDNO;
  EXPECT_FALSE(doc.ReadReport(path.c_str()));
  EXPECT_EQ(messages, (Names{path + " is being used. Do you want to make a copy?"}));
  EXPECT_FALSE(std::filesystem::exists(Path("Copy of held.kmw")));
  EXPECT_FALSE(doc.m_bReportOpen);
  EXPECT_EQ(io.loads, 0);
}

TEST_F(InUseTest, TheCopyIsNewIsNeverSavedIntoAndGoesWithTheDocument) {
  std::ofstream(Path("Copy of held.kmw")) << "the user's own file";
  answer = IDYES;
  std::string copy = Path("Copy (2) of held.kmw");
  {
    CKmDoc d;
    d.m_pFileIO = &io;
    d.m_strUdfPath = Path("kmw.udf");
    ASSERT_TRUE(d.ReadReport(path.c_str()));
    EXPECT_TRUE(std::filesystem::exists(copy));
    EXPECT_EQ(d.m_strTempFile, copy);
    EXPECT_STREQ(d.m_szReportName, copy.c_str());
    EXPECT_EQ(d.GetWindowText(), "Copy (2) of held.kmw - VORTELLE Report Designer");
    // No path name, so File Save asks for a name; the copy itself is refused.
    EXPECT_EQ(d.GetPathName(), "");
    messages.clear();
    EXPECT_FALSE(d.OnSaveDocument(copy.c_str()));
    EXPECT_EQ(messages.size(), 1u);
    std::string kept = Path("kept.kmw");
    EXPECT_TRUE(d.OnSaveDocument(kept.c_str()));
    EXPECT_TRUE(std::filesystem::exists(kept));
  }
  EXPECT_FALSE(std::filesystem::exists(copy));
  EXPECT_TRUE(std::filesystem::exists(Path("kept.kmw")));
  EXPECT_EQ(ReadBytes(Path("Copy of held.kmw")), "the user's own file");
}

TEST_F(InUseTest, AnotherOpenDropsTheEarlierCopy) {
  answer = IDYES;
  ASSERT_TRUE(doc.ReadReport(path.c_str()));
  std::string copy = Path("Copy of held.kmw");
  EXPECT_TRUE(std::filesystem::exists(copy));
  std::string other = WriteReportFile("other.kmw", "F O\n");
  ASSERT_TRUE(doc.ReadReport(other.c_str()));
  EXPECT_FALSE(std::filesystem::exists(copy));
  EXPECT_TRUE(doc.m_strTempFile.empty());

  // A copy whose report does not read is not kept either.
  io.result = kReadFailed;
  EXPECT_FALSE(doc.ReadReport(path.c_str()));
  EXPECT_FALSE(std::filesystem::exists(copy));
}



TEST_F(DocumentTest, ChangedReportIsOfferedForSavingBeforeAnotherOpens) {
  std::string first = WriteReportFile("first.kmw", "F A\n");
  std::string second = WriteReportFile("second.kmw", "F B\n");
  dialogs.chosen = second;
  ASSERT_TRUE(doc.ReadReport(first.c_str()));
  doc.m_pModel->AddField(0)->name[0] = 'N';
  doc.SetModifiedFlag(TRUE);

  answer = IDCANCEL;
  EXPECT_FALSE(doc.OpenReportDialog(nullptr));
  EXPECT_EQ(messages, (Names{"Save changes to report '" + first + "'?"}));
  EXPECT_EQ(FieldNames(), (Names{"A", "N"}));

  answer = IDYES;
  EXPECT_TRUE(doc.OpenReportDialog(nullptr));
  EXPECT_EQ(FieldNames(), (Names{"B"}));
  doc.ClearReport(TRUE);
  ASSERT_TRUE(doc.ReadReport(first.c_str()));
  EXPECT_EQ(FieldNames(), (Names{"A", "N"}));

  // Unchanged: no question.
  messages.clear();
  EXPECT_TRUE(doc.OpenReportDialog(nullptr));
  EXPECT_TRUE(messages.empty());
}

TEST_F(InUseTest, YesToSavingACopyKeepsItOpenForSaveAs) {
  answer = IDYES;
  ASSERT_TRUE(doc.ReadReport(path.c_str()));
  doc.SetModifiedFlag(TRUE);
  EXPECT_FALSE(doc.SaveModified());
  EXPECT_TRUE(doc.m_bReportOpen);
  answer = IDNO;
  EXPECT_TRUE(doc.SaveModified());
}

}  // namespace
}  // namespace doc_test
