#include "files/file_properties.h"

#include "app/document.h"
#include "files/report_io.h"
#include "tests/platform/ui/ui_test_util.h"
#include "platform/win/dialog.h"
#include "platform/win/message_box.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using ui_test::WhenRunning;

class PropertiesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_test::Start();
    SetReportOwnerName("Ann Owner");
    SetMessageBoxResponder([](const MessageBoxRecord&) { return IDOK; });
    doc.SetModifiedFlag(FALSE);
    doc.SetTitleAlways("SALES.KMW");
    io.ResetProperties();
    io.m_summary.m_strTitle = "Old title";
    io.m_summary.m_strComments = "Old comments";
  }
  void TearDown() override {
    SetMessageBoxResponder(nullptr);
  }

  CKmDoc doc;
  CKmRepIO io{&doc};
};

TEST(ReportProperties, ResetGivesTheNewReportDefaults) {
  SetReportOwnerName("Ann Owner");
  CKmDoc doc;
  CKmRepIO io(&doc);
  EXPECT_EQ(io.m_summary.m_strLastAuthor, "Ann Owner");
  EXPECT_EQ(io.m_summary.m_strTitle, "");
  io.m_summary.m_strLastAuthor = "Previous";
  io.m_summary.m_strKeywords = "k";
  io.m_summary.m_strComments = "c";
  io.ResetProperties();
  EXPECT_EQ(io.m_summary.m_strTitle, "Untitled");
  EXPECT_EQ(io.m_summary.m_strAuthor, "Ann Owner");
  EXPECT_EQ(io.m_summary.m_strLastAuthor, "Previous");
  EXPECT_EQ(io.m_summary.m_strKeywords, "");
  EXPECT_EQ(io.m_summary.m_strComments, "");
  // A new report begins its own history of saves.
  io.m_summary.m_nRevision = 5;
  io.m_summary.m_bCreatedKnown = 1;
  io.ResetProperties();
  EXPECT_EQ(io.m_summary.m_nRevision, 0u);
  EXPECT_EQ(io.m_summary.m_bCreatedKnown, 0u);
}

TEST_F(PropertiesTest, OkCopiesTheFiveTextsBackAndMarksTheDocument) {
  std::string shown;
  LRESULT limit = 0;
  WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    ASSERT_NE(d, nullptr);
    shown = ui_test::Text(GetDlgItem(d, IDC_FP_REPORT));
    EXPECT_EQ(ui_test::Text(GetDlgItem(d, IDC_FP_TITLE)), "Old title");
    EXPECT_EQ(ui_test::Text(GetDlgItem(d, IDC_FP_COMMENTS)), "Old comments");
    EXPECT_EQ(ui_test::Text(GetDlgItem(d, IDC_FP_AUTHOR)), "Ann Owner");
    SetDlgItemTextA(d, IDC_FP_TITLE, "New title");
    SetDlgItemTextA(d, IDC_FP_SUBJECT, "Subject");
    SetDlgItemTextA(d, IDC_FP_KEYWORDS, "k1 k2");
    // Longer than the limit: only 255 characters are kept.
    SendDlgItemMessageA(d, IDC_FP_AUTHOR, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(std::string(300, 'a').c_str()));
    limit = static_cast<LRESULT>(ui_test::Text(GetDlgItem(d, IDC_FP_AUTHOR)).size());
    SendMessageA(d, WM_COMMAND, IDOK, 0);
  });
  EXPECT_EQ(io.RunPropertiesDialog(), 1);
  EXPECT_EQ(shown, "SALES.KMW");
  EXPECT_EQ(doc.GetTitle(), "SALES.KMW") << "the document title is shown only";
  EXPECT_EQ(io.m_summary.m_strTitle, "New title");
  EXPECT_EQ(io.m_summary.m_strSubject, "Subject");
  EXPECT_EQ(io.m_summary.m_strKeywords, "k1 k2");
  EXPECT_EQ(io.m_summary.m_strComments, "Old comments");
  EXPECT_LE(limit, 255);
  EXPECT_LE(io.m_summary.m_strAuthor.size(), 255u);
  EXPECT_TRUE(doc.IsModified());
}

TEST_F(PropertiesTest, CancelChangesNothing) {
  WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    ASSERT_NE(d, nullptr);
    SetDlgItemTextA(d, IDC_FP_TITLE, "Thrown away");
    SendMessageA(d, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_EQ(io.RunPropertiesDialog(), 0);
  EXPECT_EQ(io.m_summary.m_strTitle, "Old title");
  EXPECT_FALSE(doc.IsModified());
}

}  // namespace

namespace {

// A report with a name whose title property was never set offers its name
// as the title, not the placeholder of a new report; OK keeps it.
TEST_F(PropertiesTest, ANamedReportWithoutATitleOffersItsName) {
  io.m_summary.m_strTitle = "Untitled";
  std::string shown;
  WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    ASSERT_NE(d, nullptr);
    shown = ui_test::Text(GetDlgItem(d, IDC_FP_TITLE));
    SendMessageA(d, WM_COMMAND, IDOK, 0);
  });
  EXPECT_EQ(io.RunPropertiesDialog(), 1);
  EXPECT_EQ(shown, "SALES");
  EXPECT_EQ(io.m_summary.m_strTitle, "SALES");
}

}  // namespace
