// The open path over the document's real report file object, with a record
// codec that stores field names (record 100) between the header and the end.
#include "document_fixture.h"
#include "names_codec.h"

#include "foundation/library_file.h"
#include "files/report_io.h"

namespace doc_test {
namespace {

class RepIOOpenTest : public DocumentTest {
 protected:
  void SetUp() override {
    DocumentTest::SetUp();
    SetReportOwnerName("Tester");
    SetReportStreamCodec(ReportStreamCodec{&NamesWrite, &NamesRead});
    g_namesReadResult = 0;
    doc.m_pFileIO = nullptr;
    doc.m_pRepIO = &repio;
    ASSERT_TRUE(doc.CreateReportTables());
  }
  void TearDown() override {
    SetReportStreamCodec(ReportStreamCodec{nullptr, nullptr});
    DocumentTest::TearDown();
  }
  CKmRepIO repio{&doc};
};

TEST_F(RepIOOpenTest, LibraryMemberRoundTripsThroughTheLibraryEngine) {
  std::string lib = Path("reports.qb6");
  LibraryFile* engine = doc.LibraryEngine();
  LibFileControlBlock* f = engine->LibFileCreate(lib.c_str(), lib_of::ReadWrite, nullptr, kLibKindReport, 64);
  ASSERT_NE(f, nullptr);
  engine->LibFileClose(f);
  CopyBounded(doc.m_pModel->AddField(0)->name, 130, "Region");
  ASSERT_EQ(repio.SaveToLibrary(*engine, lib.c_str(), "Quarterly"), 1);
  doc.ClearReport(TRUE);

  dialogs.member = "Quarterly";
  ASSERT_TRUE(doc.ReadReport(lib.c_str()));
  EXPECT_EQ(FieldNames(), (std::vector<std::string>{"Region"}));
  EXPECT_TRUE(doc.m_bLibraryMode);
  EXPECT_EQ(doc.GetWindowText(), "Quarterly - VORTELLE Report Designer");

  // Saved by the document, the report goes back into its member.
  CopyBounded(doc.m_pModel->AddField(0)->name, 130, "Branch");
  doc.SetModifiedFlag(TRUE);
  ASSERT_TRUE(doc.OnSaveDocument(lib.c_str()));
  EXPECT_FALSE(doc.IsModified());
  EXPECT_FALSE(IsCompoundFile(lib.c_str()));
  ASSERT_TRUE(doc.ReadReport(lib.c_str()));
  EXPECT_EQ(FieldNames(), (std::vector<std::string>{"Region", "Branch"}));

  dialogs.member = "Nowhere";
  messages.clear();
  EXPECT_FALSE(doc.ReadReport(lib.c_str()));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("reading report Nowhere"), std::string::npos);
}

TEST_F(RepIOOpenTest, SavedReportOpensAndARefusedDataSourceLeavesTheFileUntouchedAndUnnamed) {
  CopyBounded(doc.m_pModel->AddField(0)->name, 130, "A");
  CopyBounded(doc.m_pModel->AddField(0)->name, 130, "B");
  doc.m_bReportOpen = TRUE;
  std::string path = Path("keep.kmw");
  ASSERT_TRUE(doc.OnSaveDocument(path.c_str()));
  ASSERT_TRUE(IsCompoundFile(path.c_str()));
  doc.ClearReport(TRUE);
  std::string before = ReadBytes(path);
  ASSERT_TRUE(doc.ReadReport(path.c_str()));
  EXPECT_EQ(FieldNames(), (std::vector<std::string>{"A", "B"}));
  EXPECT_FALSE(doc.IsModified());

  g_namesReadResult = kRepIoDataSource;
  EXPECT_FALSE(doc.ReadReport(path.c_str()));
  EXPECT_FALSE(doc.m_bReportOpen);
  EXPECT_EQ(doc.GetPathName(), "");
  EXPECT_TRUE(FieldNames().empty());
  EXPECT_FALSE(doc.OnSaveDocument(path.c_str()));
  EXPECT_EQ(ReadBytes(path), before);
}

}  // namespace
}  // namespace doc_test
