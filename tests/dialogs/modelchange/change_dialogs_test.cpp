#include "dialogs/calc_field_dialog.h"
#include "dialogs/dependency_warning.h"

#include "tests/expr/expr_model_fixture.h"
#include "dialog_guard.h"
#include "app/document.h"
#include "model/calc_fields.h"
#include "platform/win/message_box.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using ui_test::WhenRunning;

int g_shown = 0;
int g_code = 0;
void RecordError(CKmComposite*, int code, const char*) {
  ++g_shown;
  g_code = code;
}

class ChangeDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_test::Start();
    g_shown = g_code = 0;
    SetMessageBoxResponder([](const MessageBoxRecord&) { return IDOK; });
    params.doc = &doc;
    params.model = &t.m;
    params.showError = RecordError;
  }
  void TearDown() override {
    InstallDependencyWarningDialog(nullptr);
    SetMessageBoxResponder(nullptr);
  }
  void Type(HWND d, const char* name, const char* text) {
    SetDlgItemTextA(d, 200, name);
    SetDlgItemTextA(d, 201, text);
  }

  CKmDoc doc;
  TestModel t;
  FieldDef* qty = t.Add("QTY", kFieldNumeric);
  CalcFieldDialogParams params;
  DialogGuard guard;
};

}  // namespace

TEST_F(ChangeDialogsTest, NewFieldVerifiedRefusedThenAccepted) {
  const uint32_t before = t.m.fieldCount;
  WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    ASSERT_NE(d, nullptr);
    Type(d, "NET", "QTY *");
    ui_test::Click(GetDlgItem(d, 202));
    EXPECT_EQ(g_shown, 1);
    EXPECT_EQ(t.m.fieldCount, before);
    Type(d, "or", "QTY * 2");
    ui_test::Click(GetDlgItem(d, IDOK));
    EXPECT_EQ(g_code, kCalcBadName);
    EXPECT_EQ(ui_test::ActiveDialog(), d);
    EXPECT_EQ(t.m.fieldCount, before);
    Type(d, "NET", "QTY * 2");
    ui_test::Click(GetDlgItem(d, IDOK));
  });
  EXPECT_EQ(RunCalcFieldDialog(nullptr, &params), IDOK);
  ASSERT_NE(params.field, nullptr);
  EXPECT_STREQ(params.field->name, "NET");
  EXPECT_EQ(t.m.fieldCount, before + 1);
}

TEST_F(ChangeDialogsTest, WarningListsBrokenUsersAndCancelKeepsTheOldDefinition) {
  FieldDef* net = t.AddCalc("NET", "QTY * 2");
  t.AddCalc("GROSS", "NET + 1");
  ASSERT_EQ(t.lastError, 0);
  InstallDependencyWarningDialog(&doc);
  params.field = net;
  int listed = -1;
  WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    ASSERT_NE(d, nullptr);
    Type(d, "NET", "\"text\"");
    // The warning runs inside OK: answer it with Cancel once it shows.
    WhenRunning([&, d] {
      HWND w = ui_test::ActiveDialog();
      ASSERT_NE(w, nullptr);
      ASSERT_NE(w, d);
      listed = static_cast<int>(SendDlgItemMessageA(w, 201, LB_GETCOUNT, 0, 0));
      ui_test::Click(GetDlgItem(w, IDCANCEL));
    });
    ui_test::Click(GetDlgItem(d, IDOK));
    EXPECT_TRUE(IsWindow(d));  // the editor stays open
    ui_test::Click(GetDlgItem(d, IDCANCEL));
  });
  EXPECT_EQ(RunCalcFieldDialog(nullptr, &params), IDCANCEL);
  EXPECT_EQ(listed, 1);
  EXPECT_TRUE(net->flags & kFieldNumeric);
  EXPECT_FALSE(HasPendingCalcDefinition(params.pending));
  for (FieldDef* g = t.m.fieldList; g; g = g->next) EXPECT_EQ(g->flags & 0x30, 0u) << g->name;
}
