// The open path over the document's real report file object, with a record
// codec that stores field names (record 100) between the header and the end.
#include "document_fixture.h"

#include "files/library_file.h"
#include "files/report_io.h"

namespace doc_test {
namespace {

int g_readResult = 0;  // what the codec's reader answers after its first field

void Put(std::vector<uint8_t>& out, uint16_t type, const std::string& payload) {
  out.push_back(static_cast<uint8_t>(type));
  out.push_back(static_cast<uint8_t>(type >> 8));
  out.push_back(static_cast<uint8_t>(payload.size()));
  out.push_back(static_cast<uint8_t>(payload.size() >> 8));
  out.insert(out.end(), payload.begin(), payload.end());
}

int NamesWrite(CKmDoc& doc, CKmRepIO&, bool, std::vector<uint8_t>& out, bool* overflow) {
  *overflow = false;
  Put(out, 1, std::string(1, '\x08'));
  for (FieldDef* f = doc.m_pModel->fieldList; f; f = f->next) Put(out, 100, f->name);
  Put(out, 2, "");
  return 0;
}

int NamesRead(CKmDoc& doc, CKmRepIO&, bool, const uint8_t* data, size_t size) {
  doc.EmptyModel();
  size_t at = 0;
  while (size - at >= 4) {
    uint16_t type = static_cast<uint16_t>(data[at] | data[at + 1] << 8);
    size_t length = static_cast<size_t>(data[at + 2] | data[at + 3] << 8);
    if (size - at - 4 < length) return -1;
    std::string payload(reinterpret_cast<const char*>(data + at + 4), length);
    at += 4 + length;
    if (type == 2) return 0;
    if (type == 100) {
      CopyBounded(doc.m_pModel->AddField(0)->name, sizeof(FieldDef::name), payload.c_str());
      if (g_readResult != 0) return g_readResult;
    }
  }
  return -1;
}

class RepIOOpenTest : public DocumentTest {
 protected:
  void SetUp() override {
    DocumentTest::SetUp();
    SetReportOwnerName("Tester");
    SetReportStreamCodec(ReportStreamCodec{&NamesWrite, &NamesRead});
    g_readResult = 0;
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
  EXPECT_EQ(doc.GetWindowText(), "Quarterly - VORTELLE");

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

  g_readResult = kRepIoDataSource;
  EXPECT_FALSE(doc.ReadReport(path.c_str()));
  EXPECT_FALSE(doc.m_bReportOpen);
  EXPECT_EQ(doc.GetPathName(), "");
  EXPECT_TRUE(FieldNames().empty());
  EXPECT_FALSE(doc.OnSaveDocument(path.c_str()));
  EXPECT_EQ(ReadBytes(path), before);
}

}  // namespace
}  // namespace doc_test
