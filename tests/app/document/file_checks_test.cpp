#include "document_fixture.h"

#include "data/query_desc.h"
#include "data/data_access.h"

#include <cstring>


namespace doc_test {
namespace {

TEST(FileNames, ExtensionTestsTakeExactlyThreeCharactersAfterTheLastDot) {
  struct Case {
    const char* name;
    BOOL library, templ, query;
  } cases[] = {
      {"sales.qb6", TRUE, FALSE, FALSE},     {"C:\\R\\OLD.QB3", TRUE, FALSE, FALSE},
      {"sales.QB66", FALSE, FALSE, FALSE},   {"sales", FALSE, FALSE, FALSE},
      {"sales.", FALSE, FALSE, FALSE},       {"dir.qb6/sales", FALSE, FALSE, FALSE},
      {"forms.Qn6", FALSE, TRUE, FALSE},     {"hand.kwq", FALSE, FALSE, TRUE},
      {"a.b.kmw", FALSE, FALSE, FALSE},      {"", FALSE, FALSE, FALSE},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsReportLibraryName(c.name), c.library) << c.name;
    EXPECT_EQ(IsTemplateLibraryName(c.name), c.templ) << c.name;
    EXPECT_EQ(EndsWithTemplateLibraryExt(c.name), c.templ) << c.name;
    EXPECT_EQ(IsQueryFileName(c.name), c.query) << c.name;
  }
  EXPECT_FALSE(IsReportLibraryName(nullptr));
}

TEST_F(DocumentTest, OnlyACompoundFileIsAReportFile) {
  std::string report = WriteReportFile("r.kmw", "F a\n");
  std::ofstream(Path("lib.qb6")) << "member|F a";
  std::ofstream(Path("fake.kmw")) << "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1 but nothing after the signature";
  EXPECT_TRUE(IsCompoundFile(report.c_str()));
  EXPECT_FALSE(IsCompoundFile(Path("lib.qb6").c_str()));
  EXPECT_FALSE(IsCompoundFile(Path("fake.kmw").c_str()));
  EXPECT_FALSE(IsCompoundFile(Path("missing.kmw").c_str()));
  EXPECT_FALSE(IsCompoundFile(""));
}

TEST_F(DocumentTest, AFileHeldByAnotherProcessIsInUseUntilItLetsGo) {
  std::string report = WriteReportFile("held.kmw", "F a\n");
  EXPECT_FALSE(IsCompoundFileInUse(report.c_str()));
  EXPECT_FALSE(IsCompoundFileInUse(Path("missing.kmw").c_str()));
  int release = -1;
  pid_t child = HoldInChild(report, &release);
  ASSERT_GT(child, 0);
  EXPECT_TRUE(IsCompoundFileInUse(report.c_str()));
  EndChild(child, release);
  EXPECT_FALSE(IsCompoundFileInUse(report.c_str()));
}

TEST_F(DocumentTest, CopiesOfAFileInUseNeverReplaceAnExistingFile) {
  std::string report = WriteReportFile("q.kmw", "F a\n");
  std::ofstream(Path("Copy of q.kmw")) << "the user's own file";
  std::string copy = MakeInUseCopy(report.c_str());
  EXPECT_EQ(copy, Path("Copy (2) of q.kmw"));
  EXPECT_EQ(ReadBytes(copy), ReadBytes(report));
  EXPECT_EQ(ReadBytes(Path("Copy of q.kmw")), "the user's own file");
  EXPECT_EQ(MakeInUseCopy(report.c_str()), Path("Copy (3) of q.kmw"));
  EXPECT_EQ(MakeInUseCopy(Path("missing.kmw").c_str()), "");
}

TEST_F(DocumentTest, TitleJoinsDataSourceNameAndApplicationTitle) {
  doc.UpdateTitle(TRUE);
  EXPECT_EQ(doc.GetWindowText(), "Untitled - VORTELLE Report Designer");

  std::string report = WriteReportFile("sales.kmw", "F a\n");
  CopyBounded(doc.m_szReportName, sizeof doc.m_szReportName, report.c_str());
  CopyBounded(doc.m_files.currentFile, sizeof doc.m_files.currentFile, report.c_str());
  doc.UpdateTitle(TRUE);
  EXPECT_EQ(doc.GetWindowText(), "sales.kmw - VORTELLE Report Designer");
  EXPECT_EQ(doc.GetTitle(), "sales.kmw");
  doc.UpdateTitle(FALSE);
  EXPECT_EQ(doc.GetWindowText(), "Untitled - VORTELLE Report Designer");

  // A library member is shown by its own name; library mode keeps the
  // framework from renaming it, an explicit title update still does.
  std::ofstream(Path("r.qb6")) << "x";
  CopyBounded(doc.m_files.currentFile, sizeof doc.m_files.currentFile, Path("r.qb6").c_str());
  CopyBounded(doc.m_szReportName, sizeof doc.m_szReportName, "Monthly Sales");
  doc.m_bLibraryMode = TRUE;
  doc.SetTitle("r.qb6");
  doc.UpdateTitle(TRUE);
  EXPECT_EQ(doc.GetTitle(), "Monthly Sales");
  doc.SetTitle("something else");
  EXPECT_EQ(doc.GetTitle(), "Monthly Sales");
}

TEST_F(DocumentTest, StartFileGivesMasterTableAndConnectionOverrides) {
  ASSERT_TRUE(doc.CreateReportTables());
  char master[262] = "unchanged";
  BOOL read = TRUE;
  EXPECT_FALSE(doc.ReadStartFile(Path("none.ini").c_str(), master, sizeof master, &read));
  EXPECT_FALSE(read);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Cannot open script file\r\n" + Path("none.ini"));
  EXPECT_STREQ(master, "unchanged");

  std::ofstream(Path("empty.ini")) << "[Report]\nDataSource=Other\n";
  EXPECT_FALSE(doc.ReadStartFile(Path("empty.ini").c_str(), master, sizeof master, &read));
  EXPECT_TRUE(read);  // the caller's "No master table specified" is right here
  EXPECT_EQ(messages.size(), 1u);

  // Values longer than their fields are cut, never written past them.
  std::ofstream(Path("long.ini")) << "[Report]\nMasterTable=" << std::string(5000, 'M') << "\nDataSource="
                                  << std::string(300, 'D') << "\n";
  char small[16];
  EXPECT_TRUE(doc.ReadStartFile(Path("long.ini").c_str(), small, sizeof small, &read));
  EXPECT_EQ(std::string(small), std::string(15, 'M'));
  EXPECT_EQ(std::strlen(doc.m_files.masterTable), 261u);
  EXPECT_EQ(std::strlen(GetDataAccess(doc.m_pModel)->GetDataSourceOverride()), 80u);

  std::ofstream(Path("s.ini")) << "[report]\nmastertable=CUSTOMERS\nDataSource=Shop\nUserName=ann\nPassword=pw\n";
  EXPECT_TRUE(doc.ReadStartFile(Path("s.ini").c_str(), master, sizeof master, &read));
  EXPECT_STREQ(master, "CUSTOMERS");
  EXPECT_STREQ(doc.m_files.masterTable, "CUSTOMERS");
  EXPECT_EQ(std::string(doc.m_files.startFile), Path("s.ini"));
  DataAccess* data = GetDataAccess(doc.m_pModel);
  EXPECT_STREQ(data->GetDataSourceOverride(), "Shop");
  EXPECT_STREQ(data->GetUserName(), "ann");
  EXPECT_STREQ(data->GetPassword(), "pw");
}

TEST_F(DocumentTest, QueryFileIsDeletedOnlyOnceItParses) {
  ASSERT_TRUE(doc.CreateReportTables());
  std::ofstream(Path("bad.kwq")) << "not a query";
  EXPECT_FALSE(doc.LoadQueryFile(Path("bad.kwq").c_str()));
  EXPECT_TRUE(std::filesystem::exists(Path("bad.kwq")));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Error in Rudizo Voruro Query definition");

  QueryDesc q;
  q.name = "Orders";
  q.dataSource = "NoSuchSource";
  q.query = "SELECT * FROM ORDERS";
  q.connect = "DSN=NoSuchSource";
  std::vector<unsigned char> packed(static_cast<size_t>(q.GetPackedSize()));
  ASSERT_TRUE(q.Pack(packed.data(), packed.size()));
  std::ofstream(Path("good.kwq"), std::ios::binary).write(reinterpret_cast<const char*>(packed.data()),
                                                          static_cast<std::streamsize>(packed.size()));
  EXPECT_TRUE(doc.LoadQueryFile(Path("good.kwq").c_str()));
  EXPECT_FALSE(std::filesystem::exists(Path("good.kwq")));
  EXPECT_EQ(doc.m_pQuery->query, "SELECT * FROM ORDERS");
  EXPECT_FALSE(doc.LoadQueryFile(Path("good.kwq").c_str()));
}

}  // namespace
}  // namespace doc_test
