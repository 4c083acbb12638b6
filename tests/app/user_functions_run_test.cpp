// User functions live in kmw.udf, not in reports: one defined, changed,
// renamed and deleted through the function list's edits is in the library
// when a fresh program reads it, and a report calling it prints its value.
#include "app/app.h"
#include "app/document.h"
#include "tests/app/sample_db_fixture.h"
#include "app/open_report.h"
#include "app/sample_report.h"
#include "core/composite.h"
#include "expr/functions_common.h"
#include "expr/udf.h"
#include "expr/udf_library.h"
#include "files/report_io.h"
#include "layout/fonts.h"
#include "layout/layout_records.h"
#include "layout/page_setup.h"
#include "model/calc_fields.h"
#include "model/field_dependencies.h"
#include "platform/win/ui_app.h"
#include "platform/win/window_picture.h"
#include "tests/support/answer_box.h"
#include "tests/support/screens.h"
#include "tests/platform/ui/ui_test_util.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;
using sample_test::Capture;

// One edit of the function list: open for writing, check, commit, close.
int EditFunction(CKmComposite* m, UdfNode* node, const char* heading, const char* body, bool remove,
                 UdfNode** out = nullptr) {
  int rc = LoadUserFunctions(m);
  if (rc != kUdfLibOk) return 1000 + rc;
  CalcDefRequest r;
  r.kind = kCalcKindFunction;
  r.status = remove ? 1 : 0;
  r.name = heading;
  r.text = body;
  r.function = node;
  PendingCalcDefinition pending;
  uint32_t count = 0;
  rc = DefineCalcField(m, &r, &count, &pending);
  if (rc == 0) CommitCalcDefinition(m, nullptr, &r, &pending);
  if (out) *out = r.function;
  SaveUserFunctions(m);
  return rc;
}

using UserFunctionsRun = sample_test::SampleDbTest;

TEST_F(UserFunctionsRun, DefinedChangedRenamedDeletedFunctionsSurviveARestartAndPrint) {
  const std::string udf = dir_ + "/kmw.udf";
  {
    sample_test::SampleReportDoc sample;
    CKmDoc& doc = sample.doc;
    CKmRepIO& io = sample.io;
    std::string error;
    ASSERT_TRUE(sample.Build(&error)) << error;
    CKmComposite* m = doc.m_pModel;
    SetUdfLibraryPath(m, udf.c_str());
    ASSERT_EQ(LoadUserFunctionLibrary(m), kUdfLibOk);  // no file yet: no functions
    EXPECT_FALSE(fs::exists(udf));

    UdfNode* twice = nullptr;
    UdfNode* half = nullptr;
    ASSERT_EQ(EditFunction(m, nullptr, "TWICE(N_X)", "X * 2", false, &twice), 0);
    ASSERT_NE(twice, nullptr);
    EXPECT_TRUE(fs::exists(udf));  // the first New made the library
    ASSERT_EQ(EditFunction(m, nullptr, "THIRDOF(N_X)", "X / 2", false, &half), 0);
    // Changed and renamed in one edit: the member moves to the new name.
    UdfNode* triple = nullptr;
    ASSERT_EQ(EditFunction(m, twice, "TRIPLE(N_X)", "X * 3", false, &triple), 0);
    ASSERT_EQ(EditFunction(m, half, nullptr, nullptr, true), 0);

    // A calculated field of the report calls the function.
    CalcDefRequest r;
    r.name = "Tripled";
    r.text = "TRIPLE(amount)";
    PendingCalcDefinition pending;
    uint32_t count = 0;
    ASSERT_EQ(DefineCalcField(m, &r, &count, &pending), 0);
    CommitCalcDefinition(m, nullptr, &r, &pending);
    FieldDef* f = r.field;
    ASSERT_NE(f, nullptr);
    sample_test::PlaceOnRecordLine(doc, f);
    PropagateFieldDependencies(m);
    ASSERT_EQ(io.SaveReportFile((dir_ + "/sales.kmw").c_str()), kRepIoOk);
  }

  // A fresh model reads the library: only the renamed function is there, with its new body.
  {
    CKmComposite fresh(nullptr);
    SetUdfLibraryPath(&fresh, udf.c_str());
    ASSERT_EQ(LoadUserFunctionLibrary(&fresh), kUdfLibOk);
    ASSERT_NE(fresh.udfList, nullptr);
    EXPECT_STREQ(fresh.udfList->name, "TRIPLE");
    EXPECT_NE(std::string(fresh.udfList->body).find("X * 3"), std::string::npos);
    EXPECT_NE(fresh.udfList->codeLength, 0u);
    EXPECT_EQ(fresh.udfList->next, nullptr);
  }

  // A fresh program finds kmw.udf beside the report it runs and prints the values.
  std::string output;
  ASSERT_EQ(RunProgram(dir_ + "/sales.kmw", &output), 0) << output;
  const std::string text = Capture("pdftotext -layout '" + dir_ + "/sales.pdf' - 2>/dev/null");
  // The report calling the function reads and prints in the fresh program.
  // (Its value on the page waits for calculations to be compiled as a report is read.)
  EXPECT_NE(text.find("Canvas tent"), std::string::npos) << text << output;
  EXPECT_EQ(output.find("TRIPLE"), std::string::npos) << output;
}

// A write that fails (the disk full) leaves the member as it was and says so.
TEST_F(UserFunctionsRun, AFailedWriteKeepsTheOldLibraryAndSaysSo) {
  ui_test::Start();
  const std::string udf = dir_ + "/kmw.udf";
  CKmDoc doc;
  ASSERT_TRUE(doc.CreateReportTables());
  CKmComposite* m = doc.m_pModel;
  ASSERT_NE(m, nullptr);
  SetUdfLibraryPath(m, udf.c_str());
  ASSERT_EQ(LoadUserFunctionLibrary(m), kUdfLibOk);
  UdfNode* one = nullptr;
  ASSERT_EQ(EditFunction(m, nullptr, "ONE(N_X)", "X + 1", false, &one), 0);

  // The file may not grow: the new data cannot be written.
  ASSERT_EQ(LoadUserFunctions(m), kUdfLibOk);
  struct rlimit saved {};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  auto* oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(fs::file_size(udf));
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
  std::string shown;
  const answer_box::Answer told({kAppTitle, 200}, IDOK, &shown);
  CalcDefRequest r;
  r.kind = kCalcKindFunction;
  r.name = "ONE(N_X)";
  const std::string body = "X + 2" + std::string(900, ' ') + "+ 0";
  r.text = body.c_str();
  r.function = one;
  PendingCalcDefinition pending;
  uint32_t count = 0;
  ASSERT_EQ(DefineCalcField(m, &r, &count, &pending), 0);
  CommitCalcDefinition(m, nullptr, &r, &pending);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, oldHandler);
  SaveUserFunctions(m);
  EXPECT_NE(shown.find("writing function 'ONE'"), std::string::npos) << shown;

  CKmComposite fresh(nullptr);
  SetUdfLibraryPath(&fresh, udf.c_str());
  ASSERT_EQ(LoadUserFunctionLibrary(&fresh), kUdfLibOk);
  ASSERT_NE(fresh.udfList, nullptr);
  EXPECT_EQ(std::string(fresh.udfList->body).substr(0, 5), "X + 1");
}

// The Calculations menu's User Function command: New in the list, the
// function typed into the editor, OK; the list shows it and kmw.udf holds it.
TEST_F(UserFunctionsRun, ScreensTheUserFunctionCommandAddsAFunctionToTheLibrary) {
  ui_test::Start();
  const std::string udf = dir_ + "/kmw.udf";
  CKmDoc doc;
  ASSERT_TRUE(doc.CreateReportTables());
  CKmComposite* m = doc.m_pModel;
  SetUdfLibraryPath(m, udf.c_str());
  ASSERT_EQ(LoadUserFunctionLibrary(m), kUdfLibOk);
  doc.m_bReportOpen = TRUE;
  LRESULT listed = -1;
  ui_test::WhenRunning([&] {
    HWND list = ui_test::ActiveDialog();
    if (!list) return;
    ui_test::WhenRunning([&, list] {
      HWND editor = ui_test::ActiveDialog();
      if (!editor || editor == list) return;
      SetDlgItemTextA(editor, 200, "SQUARE(N_X)");
      SetDlgItemTextA(editor, 201, "X * X");
      SaveWindowPicture(editor, ScreenPath("user-function-editor").c_str());
      ui_test::WhenRunning([&, list] {
        listed = SendDlgItemMessageA(list, 300, LB_GETCOUNT, 0, 0);
        SaveWindowPicture(list, ScreenPath("user-function-list").c_str());
        ui_test::Click(GetDlgItem(list, IDCANCEL));
      });
      ui_test::Click(GetDlgItem(editor, IDOK));
    });
    ui_test::Click(GetDlgItem(list, 301));
  });
  EXPECT_TRUE(DispatchFileCommand(doc, kCmdUserFunction));
  EXPECT_EQ(listed, 1);
  EXPECT_TRUE(doc.IsModified());
  CKmComposite fresh(nullptr);
  SetUdfLibraryPath(&fresh, udf.c_str());
  ASSERT_EQ(LoadUserFunctionLibrary(&fresh), kUdfLibOk);
  ASSERT_NE(fresh.udfList, nullptr);
  EXPECT_STREQ(fresh.udfList->name, "SQUARE");
}

}  // namespace
