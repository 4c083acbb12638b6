// The report wizard link, with a stand-in wizard program: File New's wizard
// route writes the input script (system values, the table's fields, sample
// rows), starts the program directly with its one argument, keeps the
// frame disabled while it runs, and builds and prints the report the
// wizard's script describes once it signals. A cancelled wizard leaves no
// report and the frame enabled again; a late signal changes nothing.
#include "tests/app/sample_db_fixture.h"

#include "app/main_frame.h"
#include "app/open_report.h"
#include "app/wizard_link.h"
#include "data/data_access.h"
#include "foundation/settings.h"
#include "platform/win/profile.h"
#include "platform/win/unattended.h"
#include "platform/win/window.h"
#include "platform/win/window_picture.h"
#include "tests/support/screens.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

namespace {

// The data source of the sample, connected without a dialog.
struct SampleSteps : NewReportSteps {
  BOOL EnsureDataSource(CKmDoc& doc, BOOL, int, BOOL) override {
    DataAccess* data = GetDataAccess(doc.m_pModel);
    if (data->ConnectDataSource("VortelleSample", false, true, nullptr) != 1) return FALSE;
    data->SelectDataSource("VortelleSample");
    std::snprintf(doc.m_files.masterTable, sizeof doc.m_files.masterTable, "%s", master.c_str());
    return TRUE;
  }
  std::string master = "order_lines";
};

bool PumpUntil(const std::function<bool()>& done, int seconds = 20) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    if (done()) return true;
    ::usleep(10000);
  }
  return done();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class WizardLink : public sample_test::SampleDbTest {
 protected:
  void SetUp() override {
    SampleDbTest::SetUp();
    if (IsSkipped()) return;
    WritePrivateProfileStringA("Special", "WizardEXE", VT_STANDIN_WIZARD, SettingsIniPath().c_str());
    WritePrivateProfileStringA("Special", "WizardRecordLimit", "4", SettingsIniPath().c_str());
    log_ = dir_ + "/wizard.log";
    setenv("VT_WIZARD_LOG", log_.c_str(), 1);
    SetNewReportSteps(&steps_);
    // Messages go to standard error: nothing may wait for an answer here.
    SetUnattendedRun(true);
    ASSERT_TRUE(frame_.Create(&doc(), kAppTitle));
  }
  void TearDown() override {
    if (frame_.m_hWnd != nullptr) DestroyWindow(frame_.m_hWnd);
    SetUnattendedRun(false);
    SetNewReportSteps(nullptr);
    unsetenv("VT_WIZARD_MODE");
    unsetenv("VT_WIZARD_LOG");
    SampleDbTest::TearDown();
  }
  CKmDoc& doc() { return sample_.doc; }
  // Starts the wizard in the mode and waits until it is no longer running.
  void RunWizardIn(const char* mode) {
    setenv("VT_WIZARD_MODE", mode, 1);
    // The report before is not to be saved: no question.
    doc().SetModifiedFlag(FALSE);
    ASSERT_TRUE(doc().StartReportWizard());
    EXPECT_TRUE(doc().WizardRunning());
    EXPECT_FALSE(IsWindowEnabled(frame_.m_hWnd));
    // A second start while one runs is refused.
    EXPECT_FALSE(doc().StartReportWizard());
    ASSERT_TRUE(PumpUntil([&] { return !doc().WizardRunning(); }));
    EXPECT_TRUE(IsWindowEnabled(frame_.m_hWnd));
  }

  SampleSteps steps_;
  sample_test::SampleReportDoc sample_;
  CMainFrame frame_;
  std::string log_;
};

// One data source for the whole road (the driver manager keeps the first
// one it read): a report from the wizard, then a cancelled wizard and a
// late signal, then a wizard whose script has an error.
TEST_F(WizardLink, ScreensTheWizardsScriptBecomesThePrintedReportCancelAndErrorLeaveNone) {
  RunWizardIn("done");
  // What the wizard was given: one argument, and the input script.
  const std::string got = ReadFile(log_);
  EXPECT_NE(got.find("argc=2\n"), std::string::npos) << got;
  const size_t arg = got.find("argument=");
  ASSERT_NE(arg, std::string::npos);
  const std::string argument = got.substr(arg + 9, got.find('\n', arg) - arg - 9);
  EXPECT_NE(argument.find("/WZI"), std::string::npos) << argument;
  EXPECT_NE(argument.find(";"), std::string::npos) << argument;
  EXPECT_EQ(argument.substr(argument.size() - 13), ";order_lines;") << argument;
  for (const char* line : {"[System]\r\n", "Product=1\r\n", "Pitch=10\r\n", "PageWidth=", "Window=/",
                           "[TableDef]\r\n", "company=0,", "amount=1,", "order_date=2,", "[Row1]\r\n",
                           "[Row4]\r\n"})
    EXPECT_NE(got.find(line), std::string::npos) << line << "\n" << got;
  // WizardRecordLimit is 4.
  EXPECT_EQ(got.find("[Row5]"), std::string::npos);
  EXPECT_NE(got.find("company=Alder & Sons\r\n"), std::string::npos) << got;

  ASSERT_TRUE(doc().m_bReportOpen);
  // The output script was read and removed.
  const std::string out = argument.substr(argument.find(';') + 1, argument.find(';', argument.find(';') + 1) -
                                                                      argument.find(';') - 1);
  EXPECT_FALSE(std::filesystem::exists(out)) << out;
  // The designer shows the wizard's report.
  ShowWindow(frame_.m_hWnd, SW_SHOWNORMAL);
  MoveWindow(frame_.m_hWnd, 0, 0, 900, 600, TRUE);
  PumpUntil([] { return false; }, 1);
  EXPECT_TRUE(SaveWindowPicture(frame_.m_hWnd, ScreenPath("designer-wizard-report").c_str()));
  const std::string text = PrintInProcess(doc(), "wizard.pdf");
  for (const char* w : {"Made by the wizard from order_lines", "Alder & Sons", "Brightwater Ltd", "1299.50"})
    EXPECT_NE(text.find(w), std::string::npos) << w << "\n" << text;

  RunWizardIn("cancel");
  // No report, and none in the title: no data source is named there.
  EXPECT_FALSE(doc().m_bReportOpen);
  char title[200] = {};
  GetWindowTextA(frame_.m_hWnd, title, sizeof title);
  EXPECT_STREQ(title, kAppTitle);
  // Only the new report's one blank line: nothing of the wizard's.
  EXPECT_EQ(doc().m_bandLines.lines[0].kind, kBandRecord);
  EXPECT_EQ(doc().m_bandLines.lines[1].kind, kBandFree);
  EXPECT_EQ(doc().m_pLayout->textHead, nullptr);
  // The wizard's signal after it was given up: nothing happens, whether
  // it comes through the frame or the document.
  PostMessageA(frame_.m_hWnd, kWizardDoneMessage, 1, 0);
  PumpUntil([] { return false; }, 1);
  doc().OnWizardDone(1);
  EXPECT_EQ(doc().m_bandLines.lines[1].kind, kBandFree);
  EXPECT_EQ(doc().m_pLayout->textHead, nullptr);
  EXPECT_TRUE(IsWindowEnabled(frame_.m_hWnd));
  // The channel it would have used is gone.
  const std::string cancelled = ReadFile(log_);
  const size_t w = cancelled.find("Window=");
  ASSERT_NE(w, std::string::npos);
  const std::string channel = cancelled.substr(w + 7, cancelled.find('\r', w) - w - 7);
  EXPECT_FALSE(SendChannelMessage(channel.c_str(), 1));

  testing::internal::CaptureStderr();
  RunWizardIn("bad");
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Invalid parameter: NoSuchKeyword=1"), std::string::npos) << err;
  EXPECT_FALSE(doc().m_bReportOpen);

  // The samples are the table's rows: a logical column is described by its
  // own code and gives its value as the report prints it.
  steps_.master = "orders";
  RunWizardIn("cancel");
  const std::string orders = ReadFile(log_);
  EXPECT_NE(orders.find("\r\npaid=3,1\r\n"), std::string::npos) << orders;
  const size_t row1 = orders.find("[Row1]"), row4 = orders.find("[Row4]");
  ASSERT_NE(row1, std::string::npos) << orders;
  ASSERT_NE(row4, std::string::npos) << orders;
  // Orders 1001 to 1003 are paid, 1004 is not.
  EXPECT_EQ(orders.find("order_id=1001\r\n", row1), orders.find("order_id=", row1)) << orders;
  EXPECT_EQ(orders.find("paid=T\r\n", row1), orders.find("paid=", row1)) << orders;
  EXPECT_EQ(orders.find("paid=F\r\n", row4), orders.find("paid=", row4)) << orders;
  EXPECT_NE(orders.find("order_date=", row1), orders.find("order_date=\r\n", row1)) << orders;

  // Each control character of a sample value is one blank: a line break
  // (CR LF) two, a tab one.
  int status = -1;
  sample_test::Capture("sqlite3 '" + dir_ + "/sample.db' \"CREATE TABLE notes(id INTEGER, body TEXT); "
                       "INSERT INTO notes VALUES (1, 'one' || char(13) || char(10) || 'two' || char(9) || 'three');\" 2>&1",
                       &status);
  ASSERT_EQ(status, 0);
  steps_.master = "notes";
  RunWizardIn("cancel");
  const std::string notes = ReadFile(log_);
  EXPECT_NE(notes.find("\r\nbody=one  two three\r\n"), std::string::npos) << notes;
}

TEST(WizardArgument, TheOneArgumentAndTheSampleValues) {
  std::string a;
  EXPECT_TRUE(BuildWizardArgument("/t/my dir/WZI1.TMP", "/t/my dir/WZO2.TMP", "orders", &a));
  EXPECT_EQ(a, "/t/my dir/WZI1.TMP;/t/my dir/WZO2.TMP;orders;");
  EXPECT_FALSE(BuildWizardArgument("/t/WZI1.TMP", "/t/WZO2.TMP", "a;b", &a));
  // A line end in a value would start a line, even a section, of its own.
  EXPECT_EQ(WizardSampleValue("one\r\n[Row2]\tx"), "one  [Row2] x");
  EXPECT_EQ(WizardSampleValue(std::string(80, 'v').c_str()), std::string(50, 'v'));
}

}  // namespace
