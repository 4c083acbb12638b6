// File > Export to Text as the user does it: the program up on the sample
// report, the menu command, the Text format chosen in the Export dialog, and
// the written file read as the character-mode page it is: the report's text
// in order, on plain lines of character columns, a page per form feed.
#include "app/app.h"
#include "app/document.h"
#include "app/main_frame.h"
#include "app/sample_report.h"
#include "export/export_settings.h"
#include "expr/functions_common.h"
#include "platform/win/dialog.h"
#include "platform/win/ui_app.h"
#include "platform/win/window.h"
#include "tests/support/answer_box.h"
#include "tests/support/program_run.h"
#include "tests/support/sample_document.h"
#include "tests/app/sample_db_fixture.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr UINT kCmdExport = 30060;
constexpr int kFormatList = 201, kFileEdit = 203;

// Chooses Text in the Export dialog, names the file and exports.
void ExportAsText(HWND dialog, const std::string& outputFile) {
  const LRESULT n = SendDlgItemMessageA(dialog, kFormatList, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < n; ++i)
    if (SendDlgItemMessageA(dialog, kFormatList, LB_GETITEMDATA, static_cast<WPARAM>(i), 0) == kExportText) {
      SendDlgItemMessageA(dialog, kFormatList, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
      SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(kFormatList, LBN_SELCHANGE), 0);
    }
  SetDlgItemTextA(dialog, kFileEdit, outputFile.c_str());
  answer_box::Click(dialog, IDOK);
}

using TextExportScenario = sample_test::SampleDbTest;

TEST_F(TextExportScenario, FileExportToTextWritesTheReportAsCharacterLines) {
  const std::string dir = dir_;
  int status = -1;
  std::string report = dir + "/sales.kmw";
  {
    SampleDocument scratch;
    std::string error;
    ASSERT_TRUE(WriteSampleReport(scratch.doc, scratch.io, "VortelleSample", report.c_str(), &error)) << error;
  }

  CKmApp app;
  std::string program = "vortelle";
  char* argv[] = {program.data(), report.data(), nullptr};
  ASSERT_TRUE(app.InitInstance(2, argv));
  auto* frame = static_cast<CMainFrame*>(AfxGetThread()->m_pMainWnd);
  ASSERT_NE(frame, nullptr);

  {
    // Named by its OK button too: the export's progress box is also "Export".
    const answer_box::Answer exporting({"Export", IDOK},
                                       [&](HWND d) { ExportAsText(d, dir + "/orders"); });
    SendMessageA(frame->m_hWnd, WM_COMMAND, kCmdExport, 0);
    ASSERT_EQ(exporting.count(), 1);
  }

  // The Text format gave the file its extension.
  const std::string file = dir + "/orders.TXT";
  ASSERT_TRUE(fs::exists(file));
  const std::string check = program_run::Capture("/usr/bin/python3 '" VT_SOURCE_DIR
                                                 "/tests/app/exportrun/check_export.py' sample 0 '" +
                                                     file + "' '" + dir + "/sample.db' 2>&1",
                                                 &status);
  EXPECT_EQ(status, 0) << check;

  std::ifstream in(file, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  const std::string text = all.str();
  // Plain characters only: no printer escapes reach a character page.
  for (unsigned char c : text)
    EXPECT_TRUE(c >= 0x20 || c == '\r' || c == '\n' || c == '\f') << "byte " << int(c);
  // Lines end in CR LF; the page is laid out in character columns: a
  // group's total line starts in the column of the product names above it,
  // and numbers aligned right end in the same column on every line.
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (end < text.size()) {
      EXPECT_TRUE(!line.empty() && line.back() == '\r') << line;
      if (!line.empty() && line.back() == '\r') line.pop_back();
    }
    lines.push_back(line);
    at = end + 1;
  }
  auto columnOf = [&](const std::string& what, bool endColumn) -> long {
    for (const std::string& line : lines) {
      const size_t at = line.find(what);
      if (at != std::string::npos) return static_cast<long>(endColumn ? at + what.size() : at);
    }
    return -1;
  };
  ASSERT_GE(columnOf("Canvas tent", false), 0) << text;
  EXPECT_EQ(columnOf("Customer total", false), columnOf("Canvas tent", false)) << text;
  EXPECT_EQ(columnOf("858.75", true), columnOf("378.00", true)) << text;
  EXPECT_EQ(columnOf("5962.15", true), columnOf("378.00", true)) << text;
  EXPECT_EQ(columnOf("Orders by customer", false), 0) << text;
  app.ExitInstance();
}

}  // namespace
