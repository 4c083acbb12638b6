// A report whose master table was renamed in the database: opening it asks
// whether to re-select the table, takes the typed name, reads the report's
// fields from it, and the report saved afterwards prints in a fresh program.
#include "app/app.h"
#include "app/document.h"
#include "tests/app/sample_db_fixture.h"
#include "app/sample_report.h"
#include "core/composite.h"
#include "expr/functions_common.h"
#include "files/report_io.h"
#include "files/report_stream.h"
#include "layout/page_setup.h"
#include "platform/win/ui_app.h"
#include "platform/win/window_picture.h"
#include "tests/support/screens.h"
#include "tests/platform/ui/ui_test_util.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using sample_test::Capture;

// Answers every dialog the open shows: the re-select question with the
// answer given, the table name with the new name, anything else with OK.
struct Answerer {
  bool reselect = true;
  std::string newName;
  std::vector<std::string> seen;
};
Answerer* g_answerer = nullptr;

void Answer(HWND, UINT, UINT_PTR, DWORD) {
  HWND d = ui_test::ActiveDialog();
  if (d == nullptr || g_answerer == nullptr) return;
  const std::string caption = ui_test::Text(d);
  if (caption == "Master Table") {
    g_answerer->seen.push_back("name: " + ui_test::Text(GetDlgItem(d, 200)));
    SetDlgItemTextA(d, 200, g_answerer->newName.c_str());
    SaveWindowPicture(d, ScreenPath("reselect-table-name").c_str());
    ui_test::Click(GetDlgItem(d, IDOK));
    return;
  }
  const std::string text = ui_test::Text(GetDlgItem(d, 200));
  g_answerer->seen.push_back(text);
  if (text.find("Re-select table") != std::string::npos) {
    SaveWindowPicture(d, ScreenPath("reselect-table-question").c_str());
    EndDialog(d, g_answerer->reselect ? IDYES : IDNO);
    return;
  }
  EndDialog(d, IDOK);
}

class ReselectOnOpen : public sample_test::SampleDbTest {
 protected:
  void TearDown() override {
    g_answerer = nullptr;
    SampleDbTest::TearDown();
  }
};

TEST_F(ReselectOnOpen, ScreensARenamedTableIsReselectedByNameAndTheReportPrintsAfter) {
  const std::string report = dir_ + "/sales.kmw";
  {
    sample_test::SampleReportDoc sample;
    std::string error;
    ASSERT_TRUE(sample.Write(report, &error)) << error;
  }
  int status = -1;
  Capture("sqlite3 '" + dir_ + "/sample.db' 'alter table order_lines rename to lines_1998' 2>&1", &status);
  ASSERT_EQ(status, 0);

  Answerer answers;
  answers.newName = "lines_1998";
  g_answerer = &answers;
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, Answer);
  {
    CKmDoc doc;
    std::vector<BandLineRec> lines(kBandLineTableRecords);
    doc.m_bandLines.lines = lines.data();
    ClearBandLineTable(doc.m_bandLines);
    doc.m_pPageSetup = AllocPageSetup();
    CKmRepIO io(&doc);
    io.m_stream.hooks = &GetAppStreamHooks();
    io.m_stream.connect = true;
    doc.m_pRepIO = &io;
    ASSERT_TRUE(doc.ReadReport(report.c_str()));
    ASSERT_NE(doc.m_pModel->tableSlots[0], nullptr);
    EXPECT_STREQ(doc.m_pModel->tableSlots[0]->path, "lines_1998");
    EXPECT_TRUE(doc.IsModified());
    bool asked = false;
    for (const std::string& s : answers.seen) asked |= s.find("Re-select table order_lines?") != std::string::npos;
    EXPECT_TRUE(asked);
    ASSERT_GE(answers.seen.size(), 2u);
    EXPECT_EQ(answers.seen.back(), "name: order_lines");  // the present name offered for editing
    ASSERT_EQ(io.SaveReportFile(report.c_str()), kRepIoOk);
    doc.m_pRepIO = nullptr;
    FreePageSetup(doc.m_pPageSetup);
    doc.m_pPageSetup = nullptr;
  }
  KillTimer(nullptr, timer);

  std::string output;
  ASSERT_EQ(RunProgram(report, &output), 0) << output;
  const std::string text = Capture("pdftotext -layout '" + dir_ + "/sales.pdf' - 2>/dev/null");
  for (const char* expected : {"Canvas tent", "Brightwater Ltd", "5962.15"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
}

}  // namespace
