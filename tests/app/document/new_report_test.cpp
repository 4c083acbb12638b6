#include "document_fixture.h"

namespace doc_test {
namespace {

class Steps : public NewReportSteps {
 public:
  int RunStartDialog(CKmDoc&) override {
    calls += "dialog ";
    return dialogAnswer;
  }
  BOOL RunWizard(CKmDoc&) override {
    calls += "wizard ";
    return wizard;
  }
  BOOL EnsureDataSource(CKmDoc&, BOOL prompt, int, BOOL blank) override {
    calls += std::string("ensure(") + (prompt ? "ask" : "given") + (blank ? ",blank" : "") + ") ";
    return ensure;
  }
  BOOL BuildInstantReport(CKmDoc&) override {
    calls += "instant ";
    return instant;
  }
  BOOL RunReportScript(CKmDoc&) override {
    calls += "script ";
    return script;
  }
  void InitReportState(CKmDoc&) override { calls += "init "; }
  int dialogAnswer = 0;
  BOOL wizard = TRUE, ensure = TRUE, instant = TRUE, script = TRUE;
  std::string calls;
};

class NewReportTest : public DocumentTest {
 protected:
  void SetUp() override {
    DocumentTest::SetUp();
    SetNewReportSteps(&steps);
  }
  void TearDown() override {
    SetNewReportSteps(nullptr);
    DocumentTest::TearDown();
  }
  Steps steps;
};

TEST_F(NewReportTest, StartModesWithoutAReportOpen) {
  struct Case {
    const char* what;
    int startMode;
    BOOL userSql;
    int dialogAnswer;
    BOOL wizard, ensure, instant, script;
    BOOL result, loaded, modified;
    std::string calls;
  } cases[] = {
      {"blank", 3, FALSE, 0, 1, 1, 1, 1, TRUE, TRUE, FALSE, "ensure(ask,blank) init "},
      {"instant", 2, FALSE, 0, 1, 1, 1, 1, TRUE, TRUE, TRUE, "ensure(ask) init instant "},
      {"instant failing gives blank", 2, FALSE, 0, 1, 1, 0, 1, TRUE, TRUE, TRUE, "ensure(ask) init instant "},
      {"ask, cancelled", 0, FALSE, 0, 1, 1, 1, 1, FALSE, FALSE, FALSE, "dialog "},
      {"ask, blank chosen", 0, FALSE, 3, 1, 1, 1, 1, TRUE, TRUE, FALSE, "dialog ensure(ask,blank) init "},
      {"wizard", 1, FALSE, 0, 1, 1, 1, 1, TRUE, FALSE, FALSE, "ensure(ask) init wizard "},
      {"wizard with user SQL asks", 1, TRUE, 3, 1, 1, 1, 1, TRUE, TRUE, FALSE, "dialog ensure(ask,blank) init "},
      {"wizard cannot start", 1, FALSE, 0, 0, 1, 1, 1, FALSE, FALSE, FALSE, "ensure(ask) init wizard "},
      {"no data source", 3, FALSE, 0, 1, 0, 1, 1, FALSE, FALSE, FALSE, "ensure(ask,blank) "},
      {"script", 10, FALSE, 0, 1, 1, 1, 1, TRUE, TRUE, TRUE, "ensure(ask) init script "},
      {"script failing", 10, FALSE, 0, 1, 1, 1, 0, FALSE, FALSE, FALSE, "ensure(ask) init script "},
  };
  for (const Case& c : cases) {
    CKmDoc d;
    d.m_pFileIO = &io;
    d.m_strUdfPath = Path("kmw.udf");
    d.m_nStartMode = c.startMode;
    d.m_bUserSql = c.userSql;
    steps.calls.clear();
    steps.dialogAnswer = c.dialogAnswer;
    steps.wizard = c.wizard;
    steps.ensure = c.ensure;
    steps.instant = c.instant;
    steps.script = c.script;
    EXPECT_EQ(d.DoFileNew(nullptr, 0, FALSE, FALSE), c.result) << c.what;
    EXPECT_EQ(d.m_bReportOpen, c.loaded) << c.what;
    EXPECT_EQ(d.IsModified(), c.modified) << c.what;
    EXPECT_EQ(steps.calls, c.calls) << c.what;
    if (c.result && c.loaded && c.startMode != 10) {
      EXPECT_EQ(d.GetWindowText(), "Untitled - VORTELLE Report Designer") << c.what;
    }
  }
}

TEST_F(NewReportTest, AGivenMasterTableIsNotAskedFor) {
  doc.m_nStartMode = 3;
  EXPECT_TRUE(doc.DoFileNew("ORDERS", 0, FALSE, FALSE));
  EXPECT_EQ(steps.calls, "ensure(given,blank) init ");
  EXPECT_STREQ(doc.m_files.masterTable, "ORDERS");
}

TEST_F(NewReportTest, ANewReportOverAnOpenOneAsksToSaveFirst) {
  struct Ask : ReportOpenDialogs {
    BOOL SaveModified(CKmDoc&) override { return answer; }
    BOOL answer = FALSE;
  } ask;
  std::string path = WriteReportFile("r.kmw", "F A\nB 2\n");
  ASSERT_TRUE(doc.ReadReport(path.c_str()));
  SetReportOpenDialogs(&ask);
  doc.m_nStartMode = 3;
  EXPECT_FALSE(doc.DoFileNew(nullptr, 0, FALSE, FALSE));
  EXPECT_EQ(FieldNames(), (std::vector<std::string>{"A"}));
  EXPECT_EQ(doc.GetPathName(), path);

  ask.answer = TRUE;
  EXPECT_TRUE(doc.DoFileNew(nullptr, 0, FALSE, FALSE));
  EXPECT_TRUE(FieldNames().empty());
  EXPECT_EQ(doc.m_pLayout->linesBoxes.Count(), 0);
  EXPECT_EQ(doc.GetPathName(), "");
  EXPECT_TRUE(doc.m_bReportOpen);
  EXPECT_FALSE(IsCompoundFileInUse(path.c_str()));
}

TEST_F(NewReportTest, FileCommandsFollowTheReportAndInPlaceEntry) {
  const UINT always[] = {kCmdFileNew, kCmdFileOpen};
  const UINT withReport[] = {kCmdFileSave, kCmdFileSaveAs, kCmdFilePageSetup, kCmdFileExport, kCmdFileSendMail};
  for (BOOL loaded : {FALSE, TRUE}) {
    doc.m_bReportOpen = loaded;
    for (UINT id : always) {
      EXPECT_EQ(DocumentCommandState(doc, id, FALSE), 1) << id;
      EXPECT_EQ(DocumentCommandState(doc, id, TRUE), 0) << id;
    }
    for (UINT id : withReport) {
      EXPECT_EQ(DocumentCommandState(doc, id, FALSE), loaded ? 1 : 0) << id;
      EXPECT_EQ(DocumentCommandState(doc, id, TRUE), 0) << id;
    }
  }
  EXPECT_EQ(DocumentCommandState(doc, kCmdEditLinks, FALSE), 0);
  EXPECT_EQ(DocumentCommandState(doc, 12345, FALSE), -1);
  EXPECT_EQ(DocumentCommandState(doc, kCmdDataSources, FALSE), 1);
  doc.m_settings.newReportAlwaysUseSameDS = doc.m_settings.readReportAlwaysUseSameDS = 1;
  EXPECT_EQ(DocumentCommandState(doc, kCmdDataSources, FALSE), 0);
}

TEST_F(NewReportTest, AFailedWriteLeavesTheFileAsItWas) {
  std::string path = WriteReportFile("w.kmw", "F A\n");
  ASSERT_TRUE(doc.ReadReport(path.c_str()));
  std::string before = ReadBytes(path);
  doc.SetModifiedFlag(TRUE);
  io.failWrite = true;
  EXPECT_FALSE(doc.OnSaveDocument(path.c_str()));
  EXPECT_EQ(messages, (std::vector<std::string>{"Failed to save document."}));
  EXPECT_TRUE(doc.IsModified());
  EXPECT_EQ(ReadBytes(path), before);
}

}  // namespace
}  // namespace doc_test
