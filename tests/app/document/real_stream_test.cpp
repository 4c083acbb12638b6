// The document's open and save over the real report writer and reader.
#include "document_fixture.h"

#include "files/report_io.h"
#include "tests/files/reportstream/report_fixture.h"

namespace doc_test {
namespace {

TEST_F(DocumentTest, FullReportSavedAndOpenedByTheDocumentKeepsItsContents) {
  SetReportOwnerName("Tester");
  std::string path = Path("full.kmw");
  size_t fields = 0;
  int texts = 0, boxes = 0;
  {
    rs_test::Doc a;
    rs_test::BuildFullReport(a);
    CKmRepIO io(&a.doc);
    io.m_stream.settings = a.st.settings;
    io.m_stream.hooks = &a.hooks;
    a.doc.m_pRepIO = &io;
    a.doc.m_bReportOpen = TRUE;
    ASSERT_TRUE(a.doc.OnSaveDocument(path.c_str())) << (a.hooks.errors.empty() ? "" : a.hooks.errors[0]);
    fields = a.M().fieldCount;
    texts = a.L().textCount;
    boxes = a.L().linesBoxes.Count();
    a.doc.ForgetCompoundFile();
  }
  ASSERT_GT(texts, 0);

  // A document as start-up leaves it: band lines and page set-up in place.
  std::vector<BandLineRec> lines(kBandLineTableRecords);
  doc.m_bandLines.lines = lines.data();
  ClearBandLineTable(doc.m_bandLines);
  doc.m_pPageSetup = AllocPageSetup();
  doc.m_pFileIO = nullptr;
  CKmRepIO io(&doc);
  rs_test::RecordingHooks hooks;
  io.m_stream.hooks = &hooks;
  doc.m_pRepIO = &io;

  ASSERT_TRUE(doc.ReadReport(path.c_str())) << (hooks.errors.empty() ? "" : hooks.errors[0]);
  EXPECT_EQ(doc.m_pModel->fieldCount, fields);
  EXPECT_EQ(doc.m_pLayout->textCount, texts);
  EXPECT_EQ(doc.m_pLayout->linesBoxes.Count(), boxes);
  EXPECT_EQ(doc.GetWindowText(), "full.kmw - VORTELLE Report Designer");

  // Cleared, opened again and closed with the document: nothing is left behind.
  doc.ClearReport(TRUE);
  EXPECT_EQ(doc.m_pLayout->textHead, nullptr);
  ASSERT_TRUE(doc.ReadReport(path.c_str()));
  EXPECT_EQ(doc.m_pLayout->textCount, texts);
  FreePageSetup(doc.m_pPageSetup);
  doc.m_pPageSetup = nullptr;
}

}  // namespace
}  // namespace doc_test
