#include "dialogs/calc_field_dialog.h"
#include "dialogs/dependency_warning.h"

#include "tests/expr/expr_model_fixture.h"
#include "tests/platform/ui/ui_test_util.h"
#include "app/document.h"
#include "model/calc_fields.h"
#include "model/field_dependencies.h"
#include "platform/win/message_box.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using ui_test::WhenRunning;


class ChangeDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_test::Start();
    SetMessageBoxResponder([](const MessageBoxRecord&) { return IDOK; });
    params.doc = &doc;
    params.model = &t.m;
  }
  void TearDown() override {
    InstallDependencyWarningDialog(nullptr);
    SetMessageBoxResponder(nullptr);
  }
  // The next message shown over the editor d is read and closed; an
  // unexpected one is left to the dialog watchdog.
  void AnswerNextMessage(HWND d) {
    WhenRunning([this, d] {
      HWND m = ui_test::ActiveDialog();
      if (m == nullptr || m == d) return;
      ++shown;
      said = ui_test::Text(GetDlgItem(m, 200));
      SendMessageA(m, WM_COMMAND, IDOK, 0);
    });
  }
  void Type(HWND d, const char* name, const char* text) {
    SetDlgItemTextA(d, 200, name);
    SetDlgItemTextA(d, 201, text);
  }
  // Edits the field to text through the real editor and its warning: OK,
  // Cancel at the warning, then Cancel in the editor, which stays open
  // between. Returns how many users the warning listed (-1: no warning).
  int CancelAtTheWarning(FieldDef* field, const char* text) {
    InstallDependencyWarningDialog(&doc);
    params.field = field;
    int listed = -1;
    WhenRunning([&] {
      HWND d = ui_test::ActiveDialog();
      ASSERT_NE(d, nullptr);
      Type(d, field->name, text);
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
    return listed;
  }

  CKmDoc doc;
  TestModel t;
  FieldDef* qty = t.Add("QTY", kFieldNumeric);
  CalcFieldDialogParams params;
  int shown = 0;     // messages answered by AnswerNextMessage
  std::string said;  // the last one's text
};

}  // namespace

TEST_F(ChangeDialogsTest, NewFieldVerifiedRefusedThenAccepted) {
  const uint32_t before = t.m.fieldCount;
  WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    ASSERT_NE(d, nullptr);
    Type(d, "NET", "QTY *");
    AnswerNextMessage(d);
    ui_test::Click(GetDlgItem(d, 202));
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(t.m.fieldCount, before);
    Type(d, "or", "QTY * 2");
    AnswerNextMessage(d);
    ui_test::Click(GetDlgItem(d, IDOK));
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(params.lastError, kCalcBadName);
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

TEST_F(ChangeDialogsTest, AFieldWithoutANameIsAskedForOne) {
  const uint32_t before = t.m.fieldCount;
  WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    ASSERT_NE(d, nullptr);
    Type(d, "   ", "QTY * 2");
    AnswerNextMessage(d);
    ui_test::Click(GetDlgItem(d, IDOK));
    EXPECT_EQ(ui_test::ActiveDialog(), d) << "the dialog stays for the name";
    ui_test::Click(GetDlgItem(d, IDCANCEL));
  });
  EXPECT_EQ(RunCalcFieldDialog(nullptr, &params), IDCANCEL);
  EXPECT_EQ(said, "Field name required") << "not the name check's \"Not a valid report field name\"";
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(t.m.fieldCount, before);
}

TEST_F(ChangeDialogsTest, WarningListsBrokenUsersAndCancelKeepsTheOldDefinition) {
  FieldDef* net = t.AddCalc("NET", "QTY * 2");
  t.AddCalc("GROSS", "NET + 1");
  ASSERT_EQ(t.lastError, 0);
  EXPECT_EQ(CancelAtTheWarning(net, "\"text\""), 1);
  EXPECT_TRUE(net->flags & kFieldNumeric);
  EXPECT_FALSE(HasPendingCalcDefinition(params.pending));
  for (FieldDef* g = t.m.fieldList; g; g = g->next) EXPECT_EQ(g->flags & 0x30, 0u) << g->name;
}

// OK compiles the new text, which marks the field (here: resting on a total
// computed ahead), breaks one user and passes the mark to another; Cancel at
// the warning must leave every field exactly as it was, marks included.
TEST_F(ChangeDialogsTest, CancelAtTheWarningAfterAGoodCompileLeavesTheFieldsAsTheyWere) {
  FieldDef* total = t.Add("TOT", kFieldNumeric);
  total->totalFlags = kTotalIsTotal | kTotalPreprocessed;
  total->refField = t.Number(qty);
  FieldDef* net = t.AddCalc("NET", "QTY * 2");
  FieldDef* gross = t.AddCalc("GROSS", "NET + 1");
  ASSERT_EQ(t.lastError, 0);
  FieldDef* kept = t.AddCalc("KEPT", "IIF(NET = NET, 1, 2)");  // compiles with either type
  ASSERT_EQ(t.lastError, 0);
  PropagateFieldDependencies(&t.m);
  struct Snapshot {
    uint32_t flags, flags2, refField;
    uint8_t totalFlags, table;
    std::string text, code;
    explicit Snapshot(const FieldDef* f)
        : flags(f->flags), flags2(f->flags2), refField(f->refField), totalFlags(f->totalFlags), table(f->table),
          text(f->exprText ? f->exprText : ""),
          code(f->code ? std::string(reinterpret_cast<const char*>(f->code), f->codeLength) : "") {}
    void Expect(const FieldDef* f) const {
      SCOPED_TRACE(f->name);
      EXPECT_EQ(f->flags, flags);
      EXPECT_EQ(f->flags2, flags2);
      EXPECT_EQ(f->totalFlags, totalFlags);
      EXPECT_EQ(f->refField, refField);
      EXPECT_EQ(f->table, table);
      EXPECT_EQ(f->exprText ? f->exprText : "", text);
      EXPECT_EQ(f->code ? std::string(reinterpret_cast<const char*>(f->code), f->codeLength) : "", code);
    }
  };
  const Snapshot netBefore(net), grossBefore(gross), keptBefore(kept);
  EXPECT_EQ(CancelAtTheWarning(net, "STR(TOT)"), 1);  // GROSS breaks, KEPT does not
  EXPECT_FALSE(HasPendingCalcDefinition(params.pending));
  netBefore.Expect(net);
  grossBefore.Expect(gross);
  keptBefore.Expect(kept);
}
