// The expression editor in its three uses, the calculated-field list, the
// Sort and Group Order dialogs and the Filter dialog, each on a small model:
// what OK stores, what a refusal and Cancel leave alone; and the pictures of
// every dialog for scripts/screens.
#include "dialogs/alignment_dialog.h"
#include "dialogs/calc_field_dialog.h"
#include "dialogs/dependency_warning.h"
#include "dialogs/field_dialog.h"
#include "dialogs/field_format_dialog.h"
#include "dialogs/field_list_box.h"
#include "dialogs/filter_dialog.h"
#include "dialogs/font_dialog.h"
#include "dialogs/insert_field_dialog.h"
#include "dialogs/order_dialogs.h"
#include "dialogs/sql_dialogs.h"

#include "app/document.h"
#include "core/condition_code.h"
#include "expr/udf.h"
#include "model/filter_spec.h"
#include "model/group_levels.h"
#include "model/selection_conditions.h"
#include "platform/win/message_box.h"
#include "platform/win/window_picture.h"
#include "tests/dialogs/fieldeditors/dialog_steps.h"
#include "tests/expr/expr_model_fixture.h"
#include "tests/support/screens.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using ui_test::Click;
using ui_test::WhenRunning;

using dialog_steps::Message;
using dialog_steps::OnDialog;

int Pick(HWND d, int id, const FieldDef* f, bool combo = false) {
  const int count = static_cast<int>(SendDlgItemMessageA(d, id, combo ? UINT{CB_GETCOUNT} : UINT{LB_GETCOUNT}, 0, 0));
  for (int i = 0; i < count; ++i)
    if (GetListedField(d, id, i) == f) {
      SendDlgItemMessageA(d, id, combo ? UINT{CB_SETCURSEL} : UINT{LB_SETCURSEL}, static_cast<WPARAM>(i), 0);
      SendMessageA(d, WM_COMMAND, MAKEWPARAM(id, combo ? UINT{CBN_SELCHANGE} : UINT{LBN_SELCHANGE}), 0);
      return i;
    }
  ADD_FAILURE() << f->name << " is not listed";
  return -1;
}

struct EditorModel : TestModel {
  int ord = AddTable("ORD");
  FieldDef* qty = Add("QTY", kFieldNumeric, static_cast<uint8_t>(ord));
  FieldDef* price = Add("PRICE", kFieldNumeric, static_cast<uint8_t>(ord));
  FieldDef* region = Add("REGION", 0, static_cast<uint8_t>(ord));
  FieldDef* due = Add("DUE", kFieldDate, static_cast<uint8_t>(ord));
  FieldDef* start = Add("START", kFieldTime, static_cast<uint8_t>(ord));
  FieldDef* stamp = Add("STAMP", kFieldDateTime, static_cast<uint8_t>(ord));
  ~EditorModel() {
    if (m.conditionCode) HeapFreeBlock(m.conditionCode);
    m.conditionCode = nullptr;
  }
};

class FieldEditors : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_test::Start();
    doc.m_pModel = &t.m;
    t.m.owner = &doc;
  }
  void TearDown() override {
    doc.m_pModel = nullptr;
    t.m.owner = nullptr;
  }
  CalcFieldDialogParams Params(int kind) {
    CalcFieldDialogParams p;
    p.doc = &doc;
    p.model = &t.m;
    p.kind = kind;
    return p;
  }

  CKmDoc doc;
  EditorModel t;
};

}  // namespace

// Verify reports the compiler's message and puts the caret where it stopped;
// the lists paste a field, a call and an operator at the caret; OK stores.
TEST_F(FieldEditors, VerifyShowsTheOffsetAndTheListsBuildTheExpression) {
  CalcFieldDialogParams p = Params(kEditCalcField);
  std::string message, line, built, syntax;
  DWORD caret = 0;
  OnDialog([&](HWND d) {
    EXPECT_EQ(ui_test::Text(d), "Calculated Field");
    SetDlgItemTextA(d, kCalcNameEdit, "NET");
    SetDlgItemTextA(d, kCalcTextEdit, "QTY * (2 + PRICE");
    message = Message([&] { Click(GetDlgItem(d, kCalcVerify)); });
    line = ui_test::Text(GetDlgItem(d, kCalcMessageLine));
    SendDlgItemMessageA(d, kCalcTextEdit, EM_GETSEL, reinterpret_cast<WPARAM>(&caret), 0);
    // An expression that does not compile is not stored by OK either.
    Message([&] { Click(GetDlgItem(d, IDOK)); });
    EXPECT_EQ(ui_test::ActiveDialog(), d);
    SetDlgItemTextA(d, kCalcTextEdit, "");
    Pick(d, kCalcFieldList, t.price);
    Click(GetDlgItem(d, kCalcPaste));
    const int ops = static_cast<int>(SendDlgItemMessageA(d, kCalcOperatorList, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < ops; ++i) {
      char op[16] = {};
      SendDlgItemMessageA(d, kCalcOperatorList, LB_GETTEXT, i, reinterpret_cast<LPARAM>(op));
      if (std::strcmp(op, "*") == 0) SendDlgItemMessageA(d, kCalcOperatorList, LB_SETCURSEL, i, 0);
    }
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(kCalcOperatorList, LBN_DBLCLK), 0);
    const LRESULT abs = SendDlgItemMessageA(d, kCalcFunctionList, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                            reinterpret_cast<LPARAM>("ABS"));
    ASSERT_GE(abs, 0);
    SendDlgItemMessageA(d, kCalcFunctionList, LB_SETCURSEL, abs, 0);
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(kCalcFunctionList, LBN_SELCHANGE), 0);
    syntax = ui_test::Text(GetDlgItem(d, kCalcSyntaxLine));
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(kCalcFunctionList, LBN_DBLCLK), 0);
    Pick(d, kCalcFieldList, t.qty);
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(kCalcFieldList, LBN_DBLCLK), 0);
    built = ui_test::Text(GetDlgItem(d, kCalcTextEdit));
    Click(GetDlgItem(d, IDOK));
  }, [&] { EXPECT_EQ(RunCalcFieldDialog(nullptr, &p), IDOK); });
  EXPECT_FALSE(message.empty());
  EXPECT_NE(line.find(message), std::string::npos);
  EXPECT_EQ(caret, p.errorOffset);
  EXPECT_GT(caret, 0u);
  EXPECT_EQ(built, "PRICE * ABS(QTY)");
  EXPECT_EQ(syntax.rfind("ABS(", 0), 0u) << syntax;
  ASSERT_NE(p.field, nullptr);
  EXPECT_STREQ(p.field->name, "NET");
  EXPECT_TRUE(p.changed);
}

// The total's condition: a condition that does not compile stays out of the
// buffer; a good one goes in; the editor has no name then.
TEST_F(FieldEditors, ConditionIsStoredOnlyWhenItCompiles) {
  std::string condition = "QTY > 1";
  CalcFieldDialogParams p = Params(kEditTotalCondition);
  p.condition = &condition;
  OnDialog([&](HWND d) {
    EXPECT_EQ(ui_test::Text(d), "Total Condition");
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(d, kCalcNameEdit)));
    EXPECT_EQ(ui_test::Text(GetDlgItem(d, kCalcTextEdit)), "QTY > 1");
    SetDlgItemTextA(d, kCalcTextEdit, "QTY >");
    Message([&] { Click(GetDlgItem(d, IDOK)); });
    EXPECT_EQ(condition, "QTY > 1");
    SetDlgItemTextA(d, kCalcTextEdit, "REGION = \"N\"");
    Click(GetDlgItem(d, IDOK));
  }, [&] { EXPECT_EQ(RunCalcFieldDialog(nullptr, &p), IDOK); });
  EXPECT_EQ(condition, "REGION = \"N\"");
  // Cancel leaves the text as it was.
  OnDialog([&](HWND d) {
    SetDlgItemTextA(d, kCalcTextEdit, "QTY < 3");
    Click(GetDlgItem(d, IDCANCEL));
  }, [&] { EXPECT_EQ(RunCalcFieldDialog(nullptr, &p), IDCANCEL); });
  EXPECT_EQ(condition, "REGION = \"N\"");
}

// A user function's Verify tries the definition and takes it back: a
// heading that does not parse is told, and Cancel leaves no function.
TEST_F(FieldEditors, FunctionVerifyLeavesNoFunctionBehind) {
  CalcFieldDialogParams p = Params(kEditUserFunction);
  std::string bad;
  OnDialog([&](HWND d) {
    EXPECT_EQ(ui_test::Text(d), "User Function");
    EXPECT_EQ(ui_test::Text(GetDlgItem(d, kCalcNameLabel)), "&Heading:");
    SetDlgItemTextA(d, kCalcNameEdit, "HALF(");
    SetDlgItemTextA(d, kCalcTextEdit, "X / 2");
    bad = Message([&] { Click(GetDlgItem(d, kCalcVerify)); });
    Click(GetDlgItem(d, IDCANCEL));
  }, [&] { EXPECT_EQ(RunCalcFieldDialog(nullptr, &p), IDCANCEL); });
  EXPECT_FALSE(bad.empty());
  EXPECT_NE(p.lastError, 0);
  EXPECT_EQ(t.m.udfList, nullptr);
}

// The calculated-field list deletes a field that something uses only after
// the warning, and both go; Cancel at the question keeps them.
TEST_F(FieldEditors, DeleteAsksAndTakesTheUsersAlong) {
  FieldDef* net = t.AddCalc("NET", "QTY * PRICE");
  t.AddCalc("GROSS", "NET * 2");
  ASSERT_EQ(t.lastError, 0);
  const uint32_t before = t.m.fieldCount;
  int changes = 0;
  InstallDependencyWarningDialog(&doc);
  FieldDialogHooks hooks;
  hooks.changed = [](KmDocBase*) {};
  auto remove = [&](int answer) {
    OnDialog([&](HWND d) {
      EXPECT_EQ(SendDlgItemMessageA(d, kFieldListBoxId, LB_GETCOUNT, 0, 0), 2);
      Pick(d, kFieldListBoxId, net);
      OnDialog([&](HWND q) { Click(GetDlgItem(q, answer)); }, [&] { Click(GetDlgItem(d, kFieldDeleteButton)); });
      Click(GetDlgItem(d, IDCANCEL));
    }, [&] { changes += RunFieldDialog(&doc, nullptr, kFieldDialogCalculated, hooks) == IDOK; });
  };
  remove(IDCANCEL);
  EXPECT_EQ(t.m.fieldCount, before);
  remove(IDOK);
  EXPECT_EQ(t.m.fieldCount, before - 2);
  EXPECT_EQ(changes, 1);
  InstallDependencyWarningDialog(nullptr);
}

// Group Order puts the group fields first in the sort order with their
// directions; Sort Order keeps its own; Cancel changes nothing.
TEST_F(FieldEditors, GroupLevelsLeadTheSortOrder) {
  t.m.sortFields[0] = t.Number(t.price);
  OrderDialogParams p;
  p.doc = &doc;
  p.model = &t.m;
  p.kind = kOrderGroup;
  OnDialog([&](HWND d) {
    EXPECT_EQ(ui_test::Text(d), "Group Order");
    Pick(d, kOrderFieldList, t.region);
    Click(GetDlgItem(d, kOrderAdd));
    Pick(d, kOrderFieldList, t.due);
    Click(GetDlgItem(d, kOrderAdd));
    Click(GetDlgItem(d, kOrderAdd));  // twice the same field is refused
    EXPECT_EQ(SendDlgItemMessageA(d, kOrderList, LB_GETCOUNT, 0, 0), 2);
    CheckDlgButton(d, kOrderDescending, BST_CHECKED);
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(kOrderDescending, BN_CLICKED), 0);
    Click(GetDlgItem(d, IDOK));
  }, [&] { EXPECT_EQ(RunOrderDialog(nullptr, &p), IDOK); });
  EXPECT_EQ(p.newLevels, 3);
  EXPECT_EQ(t.m.groupFields[0], t.Number(t.region));
  EXPECT_EQ(t.m.groupFields[1], t.Number(t.due));
  EXPECT_EQ(t.m.sortFields[0], t.Number(t.region));
  EXPECT_EQ(t.m.sortFields[1], t.Number(t.due));
  EXPECT_EQ(t.m.sortFields[2], t.Number(t.price));
  EXPECT_TRUE(SortSlotAscending(t.m.sortWords[0]));
  EXPECT_FALSE(SortSlotAscending(t.m.sortWords[1]));

  p.kind = kOrderSort;
  OnDialog([&](HWND d) {
    EXPECT_EQ(SendDlgItemMessageA(d, kOrderList, LB_GETCOUNT, 0, 0), 3);
    SendDlgItemMessageA(d, kOrderList, LB_SETCURSEL, 2, 0);
    Click(GetDlgItem(d, kOrderRemove));
    Click(GetDlgItem(d, IDCANCEL));
  }, [&] { EXPECT_EQ(RunOrderDialog(nullptr, &p), IDCANCEL); });
  EXPECT_EQ(t.m.sortFields[2], t.Number(t.price));
}

// Filter rows with a date range and a list become the condition; a bad date
// or a text without quotes is refused on Add with the reason, which stays
// under the list until the value is put right; a row changed into a wrong
// one is refused on Replace and the row keeps its value.
TEST_F(FieldEditors, FilterRowsWithDatesAndListsAreCheckedBeforeTheyAreStored) {
  FilterDialogParams p;
  p.doc = &doc;
  p.model = &t.m;
  std::string refusal, unquoted, replaced, shownAfterRefusal, shownAfterFix;
  LRESULT rowsAfterRefusal = -1;
  OnDialog([&](HWND d) {
    Pick(d, kFilterField, t.due, true);
    SendDlgItemMessageA(d, kFilterOperator, CB_SETCURSEL, kCondBetween - 1, 0);
    SetDlgItemTextA(d, kFilterValue, "{02/30/1999},{12/31/1999}");
    refusal = Message([&] { Click(GetDlgItem(d, kFilterAdd)); });
    rowsAfterRefusal = SendDlgItemMessageA(d, kFilterRows, LB_GETCOUNT, 0, 0);
    shownAfterRefusal = ui_test::Text(GetDlgItem(d, kFilterMessage));
    SetDlgItemTextA(d, kFilterValue, "{01/01/1999},{12/31/1999}");
    Click(GetDlgItem(d, kFilterAdd));
    shownAfterFix = ui_test::Text(GetDlgItem(d, kFilterMessage));
    CheckDlgButton(d, kFilterOr, BST_CHECKED);
    CheckDlgButton(d, kFilterAnd, BST_UNCHECKED);
    Pick(d, kFilterField, t.region, true);
    SendDlgItemMessageA(d, kFilterOperator, CB_SETCURSEL, kCondNotEqual - 1, 0);
    SetDlgItemTextA(d, kFilterValue, "O'Brien");
    unquoted = Message([&] { Click(GetDlgItem(d, kFilterAdd)); });
    SendDlgItemMessageA(d, kFilterOperator, CB_SETCURSEL, kCondOneOf - 1, 0);
    SetDlgItemTextA(d, kFilterValue, "'N','S'");
    Click(GetDlgItem(d, kFilterAdd));
    // The first row changed into a bad date: refused, and it stays as it was.
    SendDlgItemMessageA(d, kFilterRows, LB_SETCURSEL, 0, 0);
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(kFilterRows, LBN_SELCHANGE), 0);
    SetDlgItemTextA(d, kFilterValue, "{01/01/1999},{13/45/1999}");
    replaced = Message([&] { Click(GetDlgItem(d, kFilterReplace)); });
    Click(GetDlgItem(d, IDOK));
  }, [&] { EXPECT_EQ(RunFilterDialog(nullptr, &p), IDOK); });
  EXPECT_EQ(refusal, "The date is not valid");
  EXPECT_EQ(rowsAfterRefusal, 0) << "a refused row is not added";
  EXPECT_EQ(shownAfterRefusal, "The date is not valid");
  EXPECT_EQ(shownAfterFix, "") << "the reason goes once the value is right";
  EXPECT_FALSE(unquoted.empty()) << "a text value without quotes is refused on Add";
  EXPECT_EQ(replaced, "The date is not valid");
  EXPECT_TRUE(p.changed);
  std::string text;
  ASSERT_TRUE(DescribeFilter(&t.m, &text));
  EXPECT_NE(text.find("DUE in the range {01/01/1999},{12/31/1999}"), std::string::npos) << text;
  EXPECT_NE(text.find("REGION in the list 'N','S'"), std::string::npos) << text;
  EXPECT_NE(text.find("or "), std::string::npos) << text;

  // Opened again, the rows come back; Clear All and OK remove the filter.
  OnDialog([&](HWND d) {
    EXPECT_EQ(SendDlgItemMessageA(d, kFilterRows, LB_GETCOUNT, 0, 0), 2);
    Click(GetDlgItem(d, kFilterClear));
    Click(GetDlgItem(d, IDOK));
  }, [&] { EXPECT_EQ(RunFilterDialog(nullptr, &p), IDOK); });
  EXPECT_EQ(t.m.conditionCode, nullptr);
}

// Limit Result takes a whole number from 0; anything else is refused and
// the limit stays as it was.
TEST_F(FieldEditors, LimitResultRefusesWhatIsNoCount) {
  long limit = 25;
  std::vector<std::string> refusals;
  OnDialog([&](HWND d) {
    EXPECT_EQ(ui_test::Text(GetDlgItem(d, kLimitEdit)), "25");
    for (const char* bad : {"-5", "12abc", "99999999999"}) {
      SetDlgItemTextA(d, kLimitEdit, bad);
      refusals.push_back(Message([&] { Click(GetDlgItem(d, IDOK)); }));
      EXPECT_EQ(limit, 25);
    }
    SetDlgItemTextA(d, kLimitEdit, " 100 ");
    Click(GetDlgItem(d, IDOK));
  }, [&] { EXPECT_EQ(RunLimitResultDialog(&doc, nullptr, &limit), IDOK); });
  EXPECT_EQ(limit, 100);
  ASSERT_EQ(refusals.size(), 3u);
  for (const std::string& r : refusals) EXPECT_NE(r.find("from 0"), std::string::npos) << r;
}

// The alignment byte shows as its button and takes the chosen code on OK only.
TEST_F(FieldEditors, AlignmentTakesItsCodeOnOkOnly) {
  uint8_t alignment = 0x20;
  OnDialog([&](HWND d) {
    EXPECT_EQ(IsDlgButtonChecked(d, kAlignCenterButton), static_cast<UINT>(BST_CHECKED));
    CheckDlgButton(d, kAlignCenterButton, BST_UNCHECKED);
    CheckDlgButton(d, kAlignRightButton, BST_CHECKED);
    Click(GetDlgItem(d, IDCANCEL));
  }, [&] { EXPECT_EQ(RunAlignmentDialog(&doc, nullptr, &alignment), IDCANCEL); });
  EXPECT_EQ(alignment, 0x20);
  OnDialog([&](HWND d) {
    CheckDlgButton(d, kAlignCenterButton, BST_UNCHECKED);
    CheckDlgButton(d, kAlignRightButton, BST_CHECKED);
    Click(GetDlgItem(d, IDOK));
  }, [&] { EXPECT_EQ(RunAlignmentDialog(&doc, nullptr, &alignment), IDOK); });
  EXPECT_EQ(alignment, 0x30);
}

// The time and date-time sheets store their pictures only on OK; a date-time
// field must show a part; a character field's width is checked.
TEST_F(FieldEditors, TimeAndDateTimeSheetsStorePicturesOnOkOnly) {
  std::vector<FieldDef*> times{t.start}, stamps{t.stamp}, texts{t.region};
  t.start->timeFormat = 0x8000;
  OnDialog([&](HWND d) {
    EXPECT_EQ(ui_test::Text(d), "Time Field Properties");
    SendDlgItemMessageA(d, kFormatStyle, CB_SETCURSEL, 4, 0);  // hh:mm:ss 24-hour
    Click(GetDlgItem(d, IDCANCEL));
  }, [&] { EXPECT_EQ(ShowTimeFieldProperties(&doc, nullptr, times), IDCANCEL); });
  EXPECT_EQ(t.start->timeFormat, 0x8000u);
  OnDialog([&](HWND d) {
    SendDlgItemMessageA(d, kFormatStyle, CB_SETCURSEL, 4, 0);
    Click(GetDlgItem(d, IDOK));
  }, [&] { EXPECT_EQ(ShowTimeFieldProperties(&doc, nullptr, times), IDOK); });
  EXPECT_EQ(t.start->timeFormat & 0x8007, 7u);

  t.stamp->formatCode = 0x1000;
  t.stamp->timeFormat = 0x30;
  std::string refusal;
  OnDialog([&](HWND d) {
    EXPECT_EQ(ui_test::Text(d), "Date/Time Field Properties");
    EXPECT_EQ(IsDlgButtonChecked(d, kFormatShowDate), static_cast<UINT>(BST_CHECKED));
    CheckDlgButton(d, kFormatShowDate, BST_UNCHECKED);
    CheckDlgButton(d, kFormatShowTime, BST_UNCHECKED);
    SendDlgItemMessageA(d, kFormatStyle, CB_SETCURSEL, 2, 0);  // dd.mm.yy
    refusal = Message([&] { Click(GetDlgItem(d, IDOK)); });
    EXPECT_EQ(t.stamp->formatCode, 0x1000u) << "nothing changes on a refusal";
    CheckDlgButton(d, kFormatShowTime, BST_CHECKED);
    SendDlgItemMessageA(d, kFormatTimeStyle, CB_SETCURSEL, 3, 0);  // hh:mm 24-hour
    Click(GetDlgItem(d, IDOK));
  }, [&] { ShowDateTimeFieldProperties(&doc, nullptr, stamps); });
  EXPECT_FALSE(refusal.empty());
  EXPECT_EQ(t.stamp->formatCode & 0xF00F, 0x3000u);
  EXPECT_EQ(t.stamp->timeFormat & 0x30, 0x20u) << "the time alone";
  EXPECT_EQ(t.stamp->timeFormat & 0x8007, 6u);

  t.region->displayWidth = 12;
  OnDialog([&](HWND d) {
    SetDlgItemTextA(d, kFormatWidth, "300");
    refusal = Message([&] { Click(GetDlgItem(d, IDOK)); });
    // Word wrap with justified text; the alignment is left to the selection.
    SetDlgItemTextA(d, kFormatWidth, "20");
    CheckDlgButton(d, kFormatWrap, BST_CHECKED);
    SendDlgItemMessageA(d, kFormatAlignment, CB_SETCURSEL, 3, 0);
    Click(GetDlgItem(d, IDOK));
  }, [&] {
    ItemPropertyChoice choice;
    EXPECT_EQ(ShowCharFieldProperties(&doc, nullptr, texts, &choice), IDOK);
    EXPECT_EQ(choice.alignment, 3);
    EXPECT_EQ(choice.trim, BST_INDETERMINATE) << "an untouched trim keeps each item's";
  });
  EXPECT_EQ(t.region->displayWidth, 20u);
  EXPECT_EQ((t.region->formatCode >> 4) & 0xF, 4u);
}

// The Font dialog refuses a size the font cannot take and keeps what the
// user did not touch.
TEST_F(FieldEditors, FontDialogKeepsWhatIsUntouched) {
  FontDialogParams p;
  p.faces = {"Arial", "Fixed"};
  p.font = -1;
  p.styles[1] = BST_INDETERMINATE;
  p.parseSize = [](const std::string& text, int font) {
    const int points = std::atoi(text.c_str());
    return points >= 4 && points <= 500 && (font != 1 || points == 10) ? points * 10 : -1;
  };
  std::string refusal;
  OnDialog([&](HWND d) {
    SendDlgItemMessageA(d, kFontFace, CB_SETCURSEL, 1, 0);
    SetDlgItemTextA(d, kFontSize, "12");
    refusal = Message([&] { Click(GetDlgItem(d, IDOK)); });
    SetDlgItemTextA(d, kFontSize, "10");
    Click(GetDlgItem(d, IDOK));
  }, [&] { EXPECT_EQ(RunFontDialog(&doc, nullptr, &p), IDOK); });
  EXPECT_FALSE(refusal.empty());
  EXPECT_EQ(p.font, 1);
  EXPECT_EQ(p.size, 100);
  EXPECT_EQ(p.styles[1], BST_INDETERMINATE);
  OnDialog([&](HWND d) { Click(GetDlgItem(d, IDOK)); }, [&] { RunFontDialog(&doc, nullptr, &p); });
  EXPECT_EQ(p.size, -1) << "the size shown, untouched, keeps each item's";
}

// Group Order's options belong to the selected level and reach the model on OK.
TEST_F(FieldEditors, GroupOptionsFollowTheSelectedLevel) {
  OrderDialogParams p;
  p.doc = &doc;
  p.model = &t.m;
  p.kind = kOrderGroup;
  OnDialog([&](HWND d) {
    Pick(d, kOrderFieldList, t.region);
    Click(GetDlgItem(d, kOrderAdd));
    Pick(d, kOrderFieldList, t.due);
    Click(GetDlgItem(d, kOrderAdd));
    CheckDlgButton(d, kOrderRepeatHeader, BST_CHECKED);
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(kOrderRepeatHeader, BN_CLICKED), 0);
    SendDlgItemMessageA(d, kOrderList, LB_SETCURSEL, 0, 0);
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(kOrderList, LBN_SELCHANGE), 0);
    EXPECT_EQ(IsDlgButtonChecked(d, kOrderRepeatHeader), static_cast<UINT>(BST_UNCHECKED));
    CheckDlgButton(d, kOrderPrintOnce, BST_CHECKED);
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(kOrderPrintOnce, BN_CLICKED), 0);
    Click(GetDlgItem(d, IDOK));
  }, [&] { EXPECT_EQ(RunOrderDialog(nullptr, &p), IDOK); });
  EXPECT_EQ(t.m.groupFlags[0], 1 | 0x04);
  EXPECT_EQ(t.m.groupFlags[1], 1 | 0x20);
}

// Every dialog of the field and object dialogs in its first state.
TEST_F(FieldEditors, ScreensFieldDialogs) {
  t.AddCalc("NET", "QTY * PRICE");
  auto picture = [&](const char* name) {
    return [name](HWND d) {
      EXPECT_TRUE(SaveWindowPicture(d, ScreenPath(name).c_str()));
      EndDialog(d, IDCANCEL);
    };
  };
  CalcFieldDialogParams calc = Params(kEditCalcField);
  OnDialog(picture("dialog-calculated-field"), [&] { RunCalcFieldDialog(nullptr, &calc); });
  CalcFieldDialogParams udf = Params(kEditUserFunction);
  OnDialog(picture("dialog-user-function"), [&] { RunCalcFieldDialog(nullptr, &udf); });
  std::string condition = "QTY > 1";
  CalcFieldDialogParams cond = Params(kEditTotalCondition);
  cond.condition = &condition;
  OnDialog(picture("dialog-total-condition"), [&] { RunCalcFieldDialog(nullptr, &cond); });
  FieldDialogHooks hooks;
  OnDialog(picture("dialog-calculated-fields"), [&] { RunFieldDialog(&doc, nullptr, kFieldDialogCalculated, hooks); });
  OrderDialogParams order;
  order.doc = &doc;
  order.model = &t.m;
  t.m.sortFields[0] = t.Number(t.region);
  OnDialog(picture("dialog-sort-order"), [&] { RunOrderDialog(nullptr, &order); });
  order.kind = kOrderGroup;
  t.m.groupFields[0] = t.Number(t.region);
  t.m.groupFlags[0] = 1 | 0x04;
  OnDialog(picture("dialog-group-order"), [&] { RunOrderDialog(nullptr, &order); });
  t.m.groupFields[0] = kNoField;
  t.m.groupFlags[0] = 0;
  FilterDialogParams filter;
  filter.doc = &doc;
  filter.model = &t.m;
  OnDialog(picture("dialog-filter"), [&] { RunFilterDialog(nullptr, &filter); });
  std::vector<FieldDef*> numbers{t.qty}, dates{t.due};
  OnDialog(picture("dialog-numeric-field-properties"), [&] { ShowNumericFieldProperties(&doc, nullptr, numbers); });
  OnDialog(picture("dialog-date-field-properties"), [&] { ShowDateFieldProperties(&doc, nullptr, dates); });
  std::vector<FieldDef*> texts{t.region}, times{t.start}, stamps{t.stamp};
  ItemPropertyChoice withFont;
  withFont.chooseFont = [](HWND) { return false; };
  OnDialog(picture("dialog-character-field-properties"), [&] { ShowCharFieldProperties(&doc, nullptr, texts, &withFont); });
  OnDialog(picture("dialog-time-field-properties"), [&] { ShowTimeFieldProperties(&doc, nullptr, times); });
  OnDialog(picture("dialog-date-time-field-properties"), [&] { ShowDateTimeFieldProperties(&doc, nullptr, stamps); });
  std::vector<ReportItemHead*> heads{&t.region->head};
  OnDialog(picture("dialog-text-properties"), [&] { ShowTextObjectProperties(&doc, nullptr, heads, &withFont); });
  FontDialogParams font;
  font.faces = {"Arial", "Courier New", "Times New Roman"};
  font.sizes = {"8", "10", "12"};
  font.font = 0;
  font.sizeText = "10";
  font.styles[0] = BST_INDETERMINATE;
  OnDialog(picture("dialog-font"), [&] { RunFontDialog(&doc, nullptr, &font); });
  uint8_t alignment = 0x10;
  OnDialog(picture("dialog-alignment"), [&] { RunAlignmentDialog(&doc, nullptr, &alignment); });
  long limit = 0;
  OnDialog(picture("dialog-limit-result"), [&] { RunLimitResultDialog(&doc, nullptr, &limit); });
  OnDialog(picture("dialog-show-sql"), [&] {
    RunShowSqlDialog(&doc, nullptr, "SELECT ORD.QTY, ORD.PRICE\nFROM ORD\nORDER BY ORD.REGION", "");
  });
  InsertFieldPalette palette(&doc, InsertFieldHooks{});
  ASSERT_TRUE(palette.Show(nullptr));
  EXPECT_GT(SendDlgItemMessageA(palette.m_hWnd, kInsertFieldList, LB_GETCOUNT, 0, 0), 4);
  EXPECT_EQ(doc.m_pInsertFieldPalette, &palette);
  EXPECT_TRUE(SaveWindowPicture(palette.m_hWnd, ScreenPath("dialog-insert-field").c_str()));
  palette.Close();
  EXPECT_EQ(doc.m_pInsertFieldPalette, nullptr);
}
