#include "dialogs/purge_dialog.h"

#include "tests/expr/expr_model_fixture.h"
#include "tests/platform/ui/ui_test_util.h"
#include "app/document.h"
#include "core/engine_errors.h"
#include "model/field_dependencies.h"
#include "platform/win/message_box.h"

#include <gtest/gtest.h>


namespace {

using ui_test::WhenRunning;

struct PurgeModel : TestModel {
  int ord = AddTable("ORD");
  FieldDef* qty = Add("QTY", kFieldNumeric, static_cast<uint8_t>(ord));
  FieldDef* used = AddCalc("USED", "QTY * 2");
  FieldDef* unused = AddCalc("SPARE", "QTY * 3");
  FieldDef* unusedUser = AddCalc("SPARE2", "SPARE + 1");
  PurgeModel() {
    qty->flags |= kFieldNeeded;
    used->flags |= kFieldNeeded;
  }
  bool Has(const char* name) const {
    for (FieldDef* g = m.fieldList; g; g = g->next)
      if (std::strcmp(g->name, name) == 0) return true;
    return false;
  }
};

int g_confirms = 0;
bool g_confirmAnswer = true;
int g_errors = 0;
int g_lastError = 0;
// The user's answers to the model's own questions, recorded.
bool Confirm(CKmComposite*, const DependencyWarning&) {
  ++g_confirms;
  return g_confirmAnswer;
}
int ShowError(void*, const char* text) {
  ++g_errors;
  g_lastError = std::strstr(text, "SPARE") != nullptr ? kEngineDeleteJoinField : -1;
  return 0;
}

class PurgeDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_test::Start();
    g_confirms = g_errors = g_lastError = 0;
    g_confirmAnswer = true;
    SetMessageBoxResponder([](const MessageBoxRecord&) { return IDOK; });
    params.doc = &doc;
    params.model = &t.m;
    SetDependencyWarningHook(Confirm);
    SetEngineErrorDisplay(ShowError);
  }
  void TearDown() override {
    SetDependencyWarningHook(nullptr);
    SetEngineErrorDisplay(nullptr);
    SetMessageBoxResponder(nullptr);
  }

  CKmDoc doc;
  PurgeModel t;
  PurgeDialogParams params;
};

}  // namespace

TEST(PurgeModelOps, KindsMarksAndJoinRefusal) {
  PurgeModel t;
  EXPECT_EQ(PurgeUnusedCalcs(&t.m, nullptr), kPurgeCalculated);
  FieldDef* total = t.Add("SUMQ", kFieldNumeric);
  total->totalFlags = kTotalIsTotal;
  total->refField = t.Number(t.qty);
  EXPECT_EQ(PurgeUnusedCalcs(&t.m, nullptr), kPurgeCalculated | kPurgeTotals);
  ASSERT_EQ(MarkUnusedCalcs(&t.m, kPurgeTotals), 0);
  EXPECT_NE(total->flags & 0x30, 0u);
  EXPECT_EQ(t.unused->flags & 0x30, 0u);
  ClearRemovalMarks(&t.m);
  // An unused calculation that links a table cannot go: nothing stays marked.
  t.unused->flags |= kFieldJoin;
  EXPECT_EQ(MarkUnusedCalcs(&t.m, kPurgeCalculated), kEngineDeleteJoinField);
  for (FieldDef* g = t.m.fieldList; g; g = g->next) EXPECT_EQ(g->flags & 0x30, 0u) << g->name;
}

TEST_F(PurgeDialogTest, NothingToPurgeClosesWithoutChange) {
  t.unused->flags |= kFieldNeeded;
  t.unusedUser->flags |= kFieldNeeded;
  bool disabled = false;
  WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    ASSERT_NE(d, nullptr);
    disabled = !IsWindowEnabled(GetDlgItem(d, 200)) && !IsWindowEnabled(GetDlgItem(d, 201));
    ui_test::Click(GetDlgItem(d, IDOK));
  });
  EXPECT_EQ(RunPurgeDialog(nullptr, &params), IDOK);
  EXPECT_TRUE(disabled);
  EXPECT_FALSE(params.modified);
  EXPECT_EQ(g_confirms, 0);
}

TEST_F(PurgeDialogTest, ConfirmedPurgeRemovesUnusedAndTheirUsers) {
  g_confirmAnswer = false;
  WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, 200)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, 201)));
    ui_test::Click(GetDlgItem(d, 200));
    ui_test::Click(GetDlgItem(d, IDOK));  // the warning says no: the dialog stays
    EXPECT_EQ(ui_test::ActiveDialog(), d);
    EXPECT_TRUE(t.Has("SPARE"));
    g_confirmAnswer = true;
    ui_test::Click(GetDlgItem(d, IDOK));
  });
  EXPECT_EQ(RunPurgeDialog(nullptr, &params), IDOK);
  EXPECT_EQ(g_confirms, 2);
  EXPECT_TRUE(params.modified);
  EXPECT_FALSE(t.Has("SPARE"));
  EXPECT_FALSE(t.Has("SPARE2"));
  EXPECT_TRUE(t.Has("USED"));
  for (FieldDef* g = t.m.fieldList; g; g = g->next) EXPECT_EQ(g->flags & 0x30, 0u) << g->name;
}

TEST_F(PurgeDialogTest, JoinFieldIsRefusedAndNothingReportedDone) {
  t.unused->flags |= kFieldJoin;
  WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    ASSERT_NE(d, nullptr);
    ui_test::Click(GetDlgItem(d, 200));
    ui_test::Click(GetDlgItem(d, IDOK));
    EXPECT_EQ(ui_test::ActiveDialog(), d);  // still open
    ui_test::Click(GetDlgItem(d, IDCANCEL));
  });
  EXPECT_EQ(RunPurgeDialog(nullptr, &params), IDCANCEL);
  EXPECT_EQ(g_errors, 1);
  EXPECT_EQ(g_lastError, kEngineDeleteJoinField);
  EXPECT_EQ(g_confirms, 0);
  EXPECT_FALSE(params.modified);
  EXPECT_TRUE(t.Has("SPARE"));
}
