// The print run around the engine: the checks that keep a run from starting,
// the print-to-file question, the job on the PDF printer, and what the end of
// a run reports.
#include "app/print_run.h"

#include "app/document.h"
#include "core/composite.h"
#include "foundation/heap_strings.h"
#include "engine/output_messages.h"
#include "engine/printer_library.h"
#include "foundation/page_metrics.h"
#include "platform/win/dialog.h"
#include "platform/win/ui_app.h"
#include "platform/win/window.h"
#include "tests/support/answer_box.h"
#include "tests/support/run_harness.h"
#include "app/run_status.h"
#include "engine/run_output.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<std::string> g_messages;
void Capture(const std::string& text, const std::string&) { g_messages.push_back(text); }

// The engine's side, scripted.
class FakeServices : public PrintRunServices {
 public:
  bool CheckChartsBeforeOutput(CKmDoc&) override { return chartsOk; }
  bool CheckNewPageLineObjects(CKmDoc&, int) override { return objectOnNewPageLine; }
  bool PrepareRunData(CKmDoc&) override {
    log.push_back("prepare");
    return prepares;
  }
  void CloseRunData(CKmDoc&) override { log.push_back("close"); }
  void Run(CKmDoc& doc, int mode) override {
    log.push_back("run " + std::to_string(mode));
    PrintRunContext& ctx = GetPrintRunContext();
    for (int i = 0; i < pages; ++i) {
      ctx.driver->BeginPage(&ctx.page, 0, 1);
      ctx.pageStatus = ctx.driver->EndPage(&ctx.page, 1);
    }
    if (pageStatus != 0) ctx.pageStatus = pageStatus;
    doc.m_nRunState = endState;
  }
  int ShowPrintDialog(CKmDoc&) override { return dialogAnswer; }
  std::string ReportTitle(CKmDoc&) override { return "Sales"; }

  bool chartsOk = true, objectOnNewPageLine = false, prepares = true;
  int pages = 1, endState = 0, dialogAnswer = 1;
  LONG pageStatus = 0;
  std::vector<std::string> log;
};

class PrintRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UiStartApplication();
    g_messages.clear();
    SetOutputMessageSink(Capture);
    SetPrintRunServices(&services);
    dir_ = "/tmp/vt_print_run_" + std::to_string(getpid());
    fs::create_directories(dir_);
    doc.m_pPageSetup = &setup_;
    PrintRunContext& ctx = GetPrintRunContext();
    ctx.printer = DocPrinter{};
    ctx.printer.printerName = kPdfPrinterName;
    ctx.page.fontFaces = {"Arial", "Courier New"};
    ctx.printToFile = dir_ + "/out.pdf";
    setup_.OutputDestination = 2;
    if (ctx.driver == nullptr) ctx.driver = LoadPrinterLibrary(PageDriverModuleName(), 1);
    ASSERT_NE(ctx.driver, nullptr);
  }
  void TearDown() override {
    doc.m_pPageSetup = nullptr;
    SetPrintRunServices(nullptr);
    SetOutputMessageSink(nullptr);
    fs::remove_all(dir_);
  }
  const std::string& Out() const { return GetPrintRunContext().printToFile; }

 public:
  CKmDoc doc;
  PageSetupRec setup_{};
  FakeServices services;
  std::string dir_;
};

TEST_F(PrintRunTest, AReportPrintsToItsFileAndSaysSo) {
  EXPECT_EQ(RunOutputWithRecovery(doc, 0), 0);
  EXPECT_TRUE(GetPrintRunContext().lastRunPrinted);
  EXPECT_EQ(services.log, (std::vector<std::string>{"prepare", "run 0", "close"}));
  ASSERT_TRUE(fs::exists(Out()));
  std::ifstream in(Out(), std::ios::binary);
  char head[5] = {};
  in.read(head, 4);
  EXPECT_STREQ(head, "%PDF");
  EXPECT_TRUE(g_messages.empty());
  EXPECT_EQ(GetPrintRunContext().printing, 0);
  EXPECT_EQ(GetPrintRunContext().printer.runDevMode, nullptr) << "the run's device mode is freed";
}

TEST_F(PrintRunTest, NothingRunsWithoutAPrinterFontsOrPassingChecks) {
  struct Case {
    const char* what;
    void (*arrange)(PrintRunTest&);
    const char* message;
  };
  const Case cases[] = {
      {"no printer", [](PrintRunTest&) { GetPrintRunContext().printer.printerName.clear(); },
       "No printers installed or no default printer"},
      {"no fonts", [](PrintRunTest&) { GetPrintRunContext().page.fontFaces.clear(); }, "No printer fonts available"},
      {"dialog cancelled", [](PrintRunTest& t) { t.services.dialogAnswer = 0; }, nullptr},
      {"object on a new-page line", [](PrintRunTest& t) { t.services.objectOnNewPageLine = true; }, nullptr},
      {"charts or filter need editing", [](PrintRunTest& t) { t.services.chartsOk = false; }, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    services = FakeServices{};
    c.arrange(*this);
    EXPECT_EQ(RunOutputWithRecovery(doc, 1), 0);
    EXPECT_FALSE(GetPrintRunContext().lastRunPrinted);
    EXPECT_TRUE(services.log.empty());
    EXPECT_FALSE(fs::exists(Out()));
    if (c.message != nullptr) {
      ASSERT_EQ(g_messages.size(), 1u);
      EXPECT_EQ(g_messages[0], c.message);
    } else {
      EXPECT_TRUE(g_messages.empty());
    }
  }
}

TEST_F(PrintRunTest, PreviewAnswerReturnsAtOnce) {
  services.dialogAnswer = 3;
  EXPECT_EQ(RunOutputWithRecovery(doc, 1), 1);
  EXPECT_TRUE(services.log.empty());
}

TEST_F(PrintRunTest, AnExistingFileIsKeptWhenTheUserSaysNo) {
  std::ofstream(Out()) << "keep me";
  const answer_box::Answer no({"Print To File", IDNO}, IDNO);
  EXPECT_EQ(RunOutputWithRecovery(doc, 0), 0);
  EXPECT_EQ(no.count(), 1);
  EXPECT_TRUE(services.log.empty());
  std::ifstream in(Out());
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "keep me");
}

TEST_F(PrintRunTest, AnUnwritableTargetIsReported) {
  GetPrintRunContext().printToFile = dir_ + "/no/such/folder/out.pdf";
  EXPECT_EQ(RunOutputWithRecovery(doc, 0), 0);
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0], "Cannot open file: " + GetPrintRunContext().printToFile);
  EXPECT_TRUE(services.log.empty());
}

TEST_F(PrintRunTest, FailedPreparationOrStoppedRunsDoNotCountAsPrinted) {
  services.prepares = false;
  RunOutputWithRecovery(doc, 0);
  EXPECT_EQ(services.log, (std::vector<std::string>{"prepare", "close"}));
  EXPECT_FALSE(GetPrintRunContext().lastRunPrinted);

  services = FakeServices{};
  services.endState = -3;  // stopped by the user: thrown away, not reported
  RunOutputWithRecovery(doc, 0);
  EXPECT_FALSE(GetPrintRunContext().lastRunPrinted);
  EXPECT_TRUE(g_messages.empty());

  services = FakeServices{};
  services.endState = -6;
  RunOutputWithRecovery(doc, 0);
  EXPECT_FALSE(GetPrintRunContext().lastRunPrinted);
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0], "Insufficient memory for print/preview");
}

TEST(SpoolerErrorMessageTest, OutOfMemoryDiskAndTheRest) {
  EXPECT_EQ(SpoolerErrorMessage(1, 0), 0u);
  EXPECT_EQ(SpoolerErrorMessage(-5, 0), 642u);
  EXPECT_EQ(SpoolerErrorMessage(-4, 0), 639u);
  EXPECT_EQ(SpoolerErrorMessage(-1, 0), 640u);
  EXPECT_EQ(SpoolerErrorMessage(-5, -3), 0u) << "a user stop is not reported";
  EXPECT_EQ(SpoolerErrorMessage(static_cast<LONG>(0xFFFFBFFF), 0), 0u) << "no spooler bit";
}

}  // namespace

// A calculation whose text no longer compiles (read from a report whose
// column or user function went) would print nothing where its value goes:
// the run refuses and names it.
TEST_F(PrintRunTest, ACalculationThatNoLongerCompilesStopsTheRun) {
  ASSERT_TRUE(doc.CreateReportTables());
  FieldDef* net = doc.m_pModel->AddField(kFieldCalculation | kFieldNumeric);
  std::snprintf(net->name, sizeof net->name, "NET");
  const char text[] = "GROSS - TAX";
  net->exprText = static_cast<char*>(HeapAllocZero(0, sizeof text));
  std::memcpy(net->exprText, text, sizeof text);
  // Not on the report: it cannot print anything wrong, and the report runs.
  EXPECT_EQ(RunOutputWithRecovery(doc, 0), 0);
  EXPECT_TRUE(g_messages.empty());
  EXPECT_EQ(services.log, (std::vector<std::string>{"prepare", "run 0", "close"}));
  services.log.clear();
  fs::remove(Out());
  net->flags |= kFieldItem;  // placed on the report
  EXPECT_EQ(RunOutputWithRecovery(doc, 0), 0);
  EXPECT_FALSE(GetPrintRunContext().lastRunPrinted);
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0], "Calculated field 'NET' must be edited");
  EXPECT_TRUE(services.log.empty()) << "nothing was prepared or run";
  EXPECT_FALSE(fs::exists(Out()));
}

TEST_F(PrintRunTest, ATotalConditionThatNoLongerCompilesStopsTheRun) {
  ASSERT_TRUE(doc.CreateReportTables());
  FieldDef* big = doc.m_pModel->AddField(kFieldNumeric);
  std::snprintf(big->name, sizeof big->name, "BIGSUM");
  big->totalFlags = kTotalIsTotal;
  big->flags |= kFieldItem;  // placed on the report
  const char text[] = "AMOUNT > 1000";
  big->conditionText = static_cast<char*>(HeapAllocZero(0, sizeof text));
  std::memcpy(big->conditionText, text, sizeof text);
  EXPECT_EQ(RunOutputWithRecovery(doc, 0), 0);
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0], "Total condition for 'BIGSUM' must be edited");
  EXPECT_TRUE(services.log.empty());
}

// The printer library's answer for each page ends up where the print
// command looks for it once the run is over: a failed page is reported by
// its spooler message, a refused one by the general message.
TEST(PrintRunPageStatus, APageTheLibraryFailsIsReportedAfterTheRun) {
  UiStartApplication();
  PrintRunContext& ctx = GetPrintRunContext();
  const std::pair<LONG, unsigned> cases[] = {{1, 0u}, {-4, 639u}, {-5, 642u}, {-1, 640u}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    RunHarness h;
    InstallRunShell(&AppRunShell());  // after the harness, which takes every shell away
    for (BYTE band : {kBandTitle, kBandRecord, kBandPageFooter}) h.AddBand(band, 1);
    h.SetRecords(std::vector<FakeRecord>(3));
    h.driver.endPageResult = c.first;
    ctx.pageStatus = 7;
    h.Run();
    EXPECT_EQ(ctx.pageStatus, c.first);
    EXPECT_EQ(SpoolerErrorMessage(ctx.pageStatus, h.doc.m_nRunState), c.second);
  }
  ctx.pageStatus = 0;
  InstallRunShell(nullptr);
  EXPECT_EQ(RunStatusWindow(), nullptr);
}
