// The progress dialogs of a run: the record counters shown while data is
// read, Cancel stopping the run, the "Printing" dialog's texts and progress,
// and what an unattended run shows.
#include "app/run_status.h"
#include "app/run_hooks.h"
#include "model/record_pass.h"
#include "engine/run_output.h"

#include "app/app.h"
#include "app/print_run.h"
#include "app/document.h"
#include "engine/doc_upkeep.h"
#include "engine/output_messages.h"
#include "engine/printer_library.h"
#include "engine/report_run.h"
#include "engine/run_report.h"
#include "core/composite.h"
#include "platform/win/dialog.h"
#include "platform/win/ui_app.h"
#include "platform/win/window_picture.h"
#include "tests/support/screens.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string Text(HWND dialog, int control) {
  char buf[256] = {};
  GetDlgItemTextA(dialog, control, buf, sizeof buf);
  return buf;
}

void PressCancel(HWND dialog) { SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0); }

class RunStatusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UiStartApplication();
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "RunStatusTestFrame";
    RegisterClassA(&wc);
    frame = CreateWindowA("RunStatusTestFrame", "frame", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                          nullptr, nullptr);
    doc.m_hOwnerWnd = frame;
    doc.m_pPageSetup = &setup;
    InstallRunShell(&AppRunShell());
  }
  void TearDown() override {
    CloseRunStatus(doc);
    ClosePrintingDialog(doc);
    InstallRunShell(nullptr);
    doc.m_pPageSetup = nullptr;
    DestroyWindow(frame);
  }

 public:
  CKmDoc doc;
  PageSetupRec setup{};
  HWND frame = nullptr;
};

TEST_F(RunStatusTest, CountersShowEveryTenthRecordUntilShownInFull) {
  CKmComposite model(&doc);
  ResetRecordCounters(&model);
  HWND dialog = RunStatusWindow();
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(IsWindowEnabled(frame));
  EXPECT_EQ(Text(dialog, 200), "Records Read:");
  EXPECT_EQ(Text(dialog, 201), "Selected:");
  for (int i = 0; i < 25; ++i) ASSERT_EQ(CountRecordRead(&model), 0);
  EXPECT_EQ(Text(dialog, 203), "20");
  EXPECT_EQ(Text(dialog, 204), "0");
  CountSelected(&model, false);
  ShowCounters(&model);
  EXPECT_EQ(Text(dialog, 203), "25");
  EXPECT_EQ(Text(dialog, 204), "1");

  // The group-totals counter has its own line; hiding clears them all.
  ResetGroupTotalsCounter(&model);
  CountGroupTotalRead(&model);
  EXPECT_EQ(Text(dialog, 202), "Group totals read:");
  EXPECT_EQ(Text(dialog, 205), "1");
  EXPECT_EQ(Text(dialog, 203), "25");
  // The totals sort counts through the record pass's link the program installs.
  InstallRunHooks(nullptr);
  ASSERT_NE(GetRecordPassHooks().groupTotalsCounter, nullptr);
  GetRecordPassHooks().groupTotalsCounter(&model, 0);
  EXPECT_EQ(Text(dialog, 205), "");
  for (int i = 0; i < 12; ++i) GetRecordPassHooks().groupTotalsCounter(&model, 1);
  EXPECT_EQ(Text(dialog, 202), "Group totals read:");
  EXPECT_EQ(Text(dialog, 205), "12");
  RemoveRunHooks();
  InstallRunShell(&AppRunShell());
  ClearStatusCounters(&model);
  for (int control = 200; control <= 205; ++control) EXPECT_EQ(Text(dialog, control), "") << control;

  CloseRunStatus(doc);
  EXPECT_EQ(RunStatusWindow(), nullptr);
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_TRUE(IsWindowEnabled(frame));
}

TEST_F(RunStatusTest, LabelIdsKeepSetOrEmptyAndCaptionFollows) {
  ShowRunStatus(doc, 315, 217, 218, 219, "1", "2", "3");
  HWND dialog = RunStatusWindow();
  ASSERT_NE(dialog, nullptr);
  ShowRunStatus(doc, 0, 0, -1, 0, nullptr, "9", nullptr);
  char caption[64] = {};
  GetWindowTextA(dialog, caption, sizeof caption);
  EXPECT_STREQ(caption, "Export");
  EXPECT_EQ(Text(dialog, 200), "Records Read:");
  EXPECT_EQ(Text(dialog, 201), "");
  EXPECT_EQ(Text(dialog, 202), "Merge files remaining:");
  EXPECT_EQ(Text(dialog, 203), "1");
  EXPECT_EQ(Text(dialog, 204), "9");
  EXPECT_EQ(RunStatusWindow(), dialog);  // one dialog, reused
}

TEST_F(RunStatusTest, CancelStopsTheRunAndGivesTheFrameBack) {
  CKmComposite model(&doc);
  ResetRecordCounters(&model);
  HWND dialog = RunStatusWindow();
  ASSERT_NE(dialog, nullptr);
  PressCancel(dialog);
  EXPECT_EQ(doc.m_nRunState, -3);
  EXPECT_EQ(RunStatusWindow(), nullptr);
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_TRUE(IsWindowEnabled(frame));
  EXPECT_EQ(CheckRunCancelled(), -3);
  EXPECT_NE(CountRecordRead(&model), 0);
  // Counters after the stop bring no dialog back.
  for (int i = 0; i < 20; ++i) CountRecordRead(&model);
  ShowCounters(&model);
  EXPECT_EQ(RunStatusWindow(), nullptr);
}

TEST_F(RunStatusTest, UnattendedRunShowsNoDialog) {
  CKmApp app;
  app.SetUnattended(TRUE);
  CKmComposite model(&doc);
  ResetRecordCounters(&model);
  for (int i = 0; i < 15; ++i) EXPECT_EQ(CountRecordRead(&model), 0);
  EXPECT_EQ(RunStatusWindow(), nullptr);
  EXPECT_EQ(OpenPrintingDialog(doc, 0), 0);
  EXPECT_EQ(PrintingWindow(), nullptr);
  EXPECT_TRUE(IsWindowEnabled(frame));
}

class PrintingDialogTest : public RunStatusTest {
 protected:
  void SetUp() override {
    RunStatusTest::SetUp();
    PrintRunContext& ctx = GetPrintRunContext();
    ctx.printer = DocPrinter{};
    ctx.printer.printerName = "Office";
    ctx.printer.portName = "lp0";
    ctx.preview = 0;
    ctx.passCount = 1;
    ctx.page.abortWord = 0;
    doc.SetTitleAlways("Sales");
  }
  void TearDown() override {
    doc.m_nRunMode = 0;
    GetPrintRunContext().page.abortWord = 0;
    RunStatusTest::TearDown();
  }
};

TEST_F(PrintingDialogTest, TextsByRunModeAndDestination) {
  setup.OutputDestination = 0;
  ASSERT_EQ(OpenPrintingDialog(doc, 0), 1);
  HWND dialog = PrintingWindow();
  EXPECT_EQ(Text(dialog, 200), "\"Sales\"");
  EXPECT_EQ(Text(dialog, 201), "Office on lp0");
  EXPECT_EQ(Text(dialog, 204), "Records Processed:");
  ClosePrintingDialog(doc);
  EXPECT_FALSE(IsWindow(dialog));

  setup.OutputDestination = 2;
  doc.m_nRunMode = 1;
  doc.SetTitleAlways("");
  ASSERT_EQ(OpenPrintingDialog(doc, 0), 1);
  dialog = PrintingWindow();
  EXPECT_EQ(Text(dialog, 200), "Test Pattern");
  EXPECT_EQ(Text(dialog, 201), "Office on File");
  EXPECT_EQ(Text(dialog, 204), "");
  EXPECT_EQ(Text(dialog, 205), "");
  ClosePrintingDialog(doc);

  doc.m_nRunMode = 0;
  ASSERT_EQ(OpenPrintingDialog(doc, 1), 1);
  dialog = PrintingWindow();
  char caption[64] = {};
  GetWindowTextA(dialog, caption, sizeof caption);
  EXPECT_STREQ(caption, "Export");
  EXPECT_EQ(Text(dialog, 206), "Now Exporting");
  EXPECT_EQ(Text(dialog, 200), "\"Untitled\"");
  EXPECT_EQ(Text(dialog, 204), "Records Processed:");
  ClosePrintingDialog(doc);
}

TEST_F(PrintingDialogTest, ExportShowsItsFileAndCountLabels) {
  ASSERT_EQ(OpenPrintingDialog(doc, 1, 0, "/tmp/a.txt"), 1);
  EXPECT_EQ(Text(PrintingWindow(), 201), "/tmp/a.txt");
  EXPECT_EQ(Text(PrintingWindow(), 204), "Records Processed:");
  ClosePrintingDialog(doc);

  const std::string deep = "/home/user/" + std::string(150, 'd') + "/exports/sales.dbf";
  ASSERT_EQ(OpenPrintingDialog(doc, 1, 1, deep.c_str()), 1);
  EXPECT_EQ(Text(PrintingWindow(), 201), "sales.dbf");
  EXPECT_EQ(Text(PrintingWindow(), 204), "Records Read:");
  EXPECT_EQ(Text(PrintingWindow(), 205), "Records Exported:");

  EXPECT_EQ(ExportNameShown("C:sales.txt"), "sales.txt");
  EXPECT_EQ(ExportNameShown("D:\\out\\sales.txt"), "sales.txt");
  EXPECT_EQ(ExportNameShown(std::string(300, 'x')), "File");
}

TEST_F(PrintingDialogTest, ProgressArrivesWhenMessagesAreLetThrough) {
  ReportRun run;
  doc.m_pRun = &run;
  ASSERT_EQ(OpenPrintingDialog(doc, 0), 1);
  HWND dialog = PrintingWindow();
  GetPrintRunContext().passCount = 2;
  run.recordsOutput = 25;
  PostRecordCount(doc, 0);  // 25 is not a tenth record
  run.pageCount = 3;
  run.startPage = 4;
  PostPageNumber(doc);  // before the starting page
  PostCopyNumber(doc, 1);
  EXPECT_EQ(Text(dialog, 206), "Printing");  // posted, not yet delivered
  CheckRunCancelled();
  EXPECT_EQ(Text(dialog, 202), "");
  EXPECT_EQ(Text(dialog, 203), "");
  EXPECT_EQ(Text(dialog, 206), "Now Printing Copy 2 of");
  PostRecordCount(doc, 1);
  EXPECT_EQ(Text(dialog, 202), "25");
  run.recordsOutput = 30;
  PostRecordCount(doc, 0);
  run.pageCount = 4;
  PostPageNumber(doc);
  CheckRunCancelled();
  EXPECT_EQ(Text(dialog, 202), "30");
  EXPECT_EQ(Text(dialog, 203), "4");

  // The program's shell, as the engine reaches it.
  run.recordsOutput = 40;
  AppRunShell().PostRecordCount(doc, 1);
  run.pageCount = 7;
  AppRunShell().PostPageNumber(doc);
  CheckRunCancelled();
  EXPECT_EQ(Text(dialog, 202), "40");
  EXPECT_EQ(Text(dialog, 203), "7");
  doc.m_pRun = nullptr;
}

TEST_F(PrintingDialogTest, ExportCountGoesToThePageValueEveryTenth) {
  ASSERT_EQ(OpenPrintingDialog(doc, 1, 6, "/tmp/sales.csv"), 1);
  HWND dialog = PrintingWindow();
  PostExportCount(doc, 25, 0);
  CheckRunCancelled();
  EXPECT_EQ(Text(dialog, 203), "");
  PostExportCount(doc, 30, 0);
  CheckRunCancelled();
  EXPECT_EQ(Text(dialog, 203), "30");
  PostExportCount(doc, 31, 1);
  EXPECT_EQ(Text(dialog, 203), "31");
  ClosePrintingDialog(doc);
  PostExportCount(doc, 40, 1);  // no dialog: nothing to do
}

TEST_F(PrintingDialogTest, ScreensRunStatusPrintingAndPreviewDialogs) {
  ReportRun run;
  doc.m_pRun = &run;
  ShowRunStatus(doc, 0, 217, 0, 0, "      1200", nullptr, nullptr);
  ASSERT_NE(RunStatusWindow(), nullptr);
  EXPECT_TRUE(SaveWindowPicture(RunStatusWindow(), ScreenPath("run_status").c_str()));
  CloseRunStatus(doc);
  ASSERT_EQ(OpenPrintingDialog(doc, 0), 1);
  run.recordsOutput = 120;
  PostRecordCount(doc, 1);
  run.pageCount = 3;
  PostPageNumber(doc);
  CheckRunCancelled();
  EXPECT_TRUE(SaveWindowPicture(PrintingWindow(), ScreenPath("printing_dialog").c_str()));
  ClosePrintingDialog(doc);
  ASSERT_EQ(OpenPrintingDialog(doc, 1, 6, "/tmp/exports/sales.csv"), 1);
  PostExportCount(doc, 50, 1);
  EXPECT_TRUE(SaveWindowPicture(PrintingWindow(), ScreenPath("export_dialog").c_str()));
  ClosePrintingDialog(doc);
  HWND preview = OpenPreviewPrintDialog(doc);
  ASSERT_NE(preview, nullptr);
  EXPECT_TRUE(SaveWindowPicture(preview, ScreenPath("preview_print_dialog").c_str()));
  ClosePreviewPrintDialog();
  doc.m_pRun = nullptr;
}

TEST_F(PrintingDialogTest, CancelAbortsTheDriverAndStopsTheRun) {
  ASSERT_EQ(OpenPrintingDialog(doc, 0), 1);
  HWND dialog = PrintingWindow();
  PressCancel(dialog);
  EXPECT_EQ(GetPrintRunContext().page.abortWord, 1);
  EXPECT_EQ(doc.m_nRunState, -3);
  EXPECT_EQ(PrintingWindow(), nullptr);
  EXPECT_FALSE(IsWindow(dialog));
  // Progress after the stop goes nowhere.
  AppRunShell().PostRecordCount(doc, 0);
  CheckRunCancelled();
}

TEST_F(PrintingDialogTest, PreviewPrintCancelAbortsAndFreesTheFrame) {
  PrintRunContext& ctx = GetPrintRunContext();
  ctx.preview = 1;
  EnableWindow(frame, FALSE);
  HWND dialog = OpenPreviewPrintDialog(doc);
  ASSERT_NE(dialog, nullptr);
  char caption[64] = {};
  GetWindowTextA(dialog, caption, sizeof caption);
  EXPECT_STREQ(caption, "Office on lp0");
  EXPECT_EQ(Text(dialog, 200), "Printing current page...");
  PressCancel(dialog);
  EXPECT_EQ(ctx.page.abortWord, 1);
  EXPECT_TRUE(IsWindowEnabled(frame));
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_EQ(doc.m_nRunState, 0);  // the preview itself goes on
  ClosePreviewPrintDialog();
  ctx.preview = 0;
}

TEST_F(PrintingDialogTest, StatusTextFormatAndPreviewCopy) {
  EXPECT_EQ(FormatStatusText(0, 0, "x", "y", 315), "Export");
  EXPECT_EQ(FormatStatusText(217, 218, "12", "3", 0), "Records Read: 12   Selected: 3");
  EXPECT_EQ(FormatStatusText(217, 218, "12", "3", 315), "ExportRecords Read: 12   Selected: 3");

  PrintRunContext& ctx = GetPrintRunContext();
  ctx.preview = 1;
  const std::string longText(300, 'n');
  ShowStatusText(doc, 217, 218, longText.c_str(), "1", 0);
  EXPECT_EQ(std::string(PreviewStatusText()), ("Records Read: " + longText).substr(0, 100));
  doc.m_nRunState = -3;  // a stopped run leaves the line alone
  ShowStatusText(doc, 0, 0, nullptr, nullptr, 315);
  EXPECT_EQ(std::string(PreviewStatusText()).size(), 100u);
  doc.m_nRunState = 0;
  ctx.preview = 0;
}

// A whole print run: the "Printing" dialog is up while the pages are made and
// gone afterwards; a Cancel from it ends the run with no spooler message.
class CancellingRun : public PrintRunServices {
 public:
  bool PrepareRunData(CKmDoc&) override { return true; }
  void Run(CKmDoc& doc, int) override {
    shownDuringRun = PrintingWindow() != nullptr;
    ShowRunStatus(doc, 0, 217, 0, 0, "10", nullptr, nullptr);
    PrintRunContext& ctx = GetPrintRunContext();
    ctx.driver->BeginPage(&ctx.page, 0, 1);
    if (cancel && PrintingWindow()) PressCancel(PrintingWindow());
    ctx.pageStatus = cancel ? (-0x4000 | 0x4000) : ctx.driver->EndPage(&ctx.page, 1);
    stateAfter = doc.m_nRunState;
  }
  bool cancel = false, shownDuringRun = false;
  int stateAfter = 0;
};

std::vector<std::string> g_messages;
void Capture(const std::string& text, const std::string&) { g_messages.push_back(text); }

TEST_F(PrintingDialogTest, PrintRunShowsItAndCancelEndsQuietly) {
  CancellingRun services;
  SetPrintRunServices(&services);
  SetOutputMessageSink(Capture);
  PrintRunContext& ctx = GetPrintRunContext();
  ctx.printer.printerName = kPdfPrinterName;
  ctx.page.fontFaces = {"Arial"};
  ctx.printToFile = "/tmp/vt_runstatus_" + std::to_string(getpid()) + ".pdf";
  setup.OutputDestination = 2;
  if (ctx.driver == nullptr) ctx.driver = LoadPrinterLibrary(PageDriverModuleName(), 1);
  ASSERT_NE(ctx.driver, nullptr);

  for (bool cancel : {false, true}) {
    services.cancel = cancel;
    g_messages.clear();
    std::remove(ctx.printToFile.c_str());  // no overwrite question
    RunOutputWithRecovery(doc, 0);
    EXPECT_TRUE(services.shownDuringRun) << cancel;
    EXPECT_EQ(PrintingWindow(), nullptr) << cancel;
    EXPECT_EQ(RunStatusWindow(), nullptr) << cancel;
    EXPECT_TRUE(IsWindowEnabled(frame)) << cancel;
    EXPECT_EQ(services.stateAfter, cancel ? -3 : 0);
    EXPECT_EQ(ctx.lastRunPrinted, !cancel);
    EXPECT_TRUE(g_messages.empty()) << (g_messages.empty() ? "" : g_messages.front());
    ctx.page.abortWord = 0;
  }
  std::remove(ctx.printToFile.c_str());
  SetOutputMessageSink(nullptr);
  SetPrintRunServices(nullptr);
}

}  // namespace
