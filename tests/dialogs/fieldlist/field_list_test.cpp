// The field list the dialogs share: its entries, the field behind each, the
// type-ahead on names (not on the type letter) and the description choice.
#include "dialogs/field_list_box.h"
#include "dialogs/joins_dialog.h"

#include "tests/expr/expr_model_fixture.h"
#include "tests/platform/ui/ui_test_util.h"
#include "platform/win/dialog.h"

#include <gtest/gtest.h>

#include <string>

namespace {

INT_PTR PlainProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG ? TRUE : FALSE; }

std::string Entry(HWND dialog, int control, int i) {
  char text[200] = {};
  SendDlgItemMessageA(dialog, control, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
  return text;
}

const char* Describe(KmDocBase*, const FieldDef* f) { return std::string(f->name) == "QTY" ? "Quantity" : ""; }

class FieldListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_test::Start();
    orders = t.AddTable("ORDERS");
    items = t.AddTable("ITEMS");
    qty = t.Add("QTY", kFieldNumeric, static_cast<uint8_t>(orders));
    placed = t.Add("PLACED", kFieldDate, static_cast<uint8_t>(orders));
    note = t.Add("NOTE", 0, static_cast<uint8_t>(items));
    code = t.Add("CODE", 0, static_cast<uint8_t>(items));
    // Any template with a list box serves: the DDELCON list 201.
    dialog = CreateDialogParamA(nullptr, "DDELCON", nullptr, PlainProc, 0);
    ASSERT_NE(dialog, nullptr);
  }
  void TearDown() override {
    SetFieldListShow(kFieldListNames);
    SetFieldDescriptionSource(nullptr);
    if (IsWindow(dialog)) DestroyWindow(dialog);
  }
  TestModel t;
  int orders = 0, items = 0;
  FieldDef *qty = nullptr, *placed = nullptr, *note = nullptr, *code = nullptr;
  HWND dialog = nullptr;
};

TEST_F(FieldListTest, EntriesCarryTheirFieldAndTheTableWhenThereAreSeveral) {
  EXPECT_EQ(FillFieldListForTable(dialog, 201, &t.m, static_cast<uint32_t>(items), "code", nullptr, nullptr), 2);
  EXPECT_EQ(Entry(dialog, 201, 0), "C NOTE (ITEMS)");
  EXPECT_EQ(GetListedField(dialog, 201, -1), code) << "the selection is found ignoring case";
  EXPECT_EQ(FillFieldListBox(dialog, 201, &t.m, nullptr, nullptr, nullptr), 4);
  EXPECT_EQ(Entry(dialog, 201, 1), "D PLACED (ORDERS)");
  EXPECT_EQ(GetListedField(dialog, 201, 0), qty);
  EXPECT_EQ(GetListedField(dialog, 201, -1), nullptr) << "nothing selected";

  char out[12];
  FormatFieldListEntry(out, "A_VERY_LONG_NAME", qty, sizeof out, nullptr);
  EXPECT_STREQ(out, "N A_VERY_LO") << "cut to the buffer, no table without a model";
}

TEST_F(FieldListTest, TypingSelectsByNameNotByTypeLetter) {
  FillFieldListBox(dialog, 201, &t.m, nullptr, nullptr, nullptr);
  HWND list = GetDlgItem(dialog, 201);
  SubclassFieldList(list);
  SubclassFieldList(list);  // twice is once
  SendMessageA(list, WM_CHAR, 'c', 0);
  EXPECT_EQ(GetListedField(dialog, 201, -1), code) << "'C' is the type letter of NOTE, not its name";
  SendMessageA(list, WM_CHAR, 'n', 0);
  EXPECT_EQ(GetListedField(dialog, 201, -1), note);
  SendMessageA(list, WM_CHAR, 'z', 0);
  EXPECT_EQ(GetListedField(dialog, 201, -1), note) << "no match keeps the selection";
}

TEST_F(FieldListTest, DescriptionsShowWhereTheSourceHasThem) {
  SetFieldDescriptionSource(Describe);
  SetFieldListShow(kFieldListDescriptions);
  FillFieldListForTable(dialog, 201, &t.m, static_cast<uint32_t>(orders), nullptr, nullptr, nullptr);
  EXPECT_EQ(Entry(dialog, 201, 0), "N Quantity (ORDERS)");
  EXPECT_EQ(Entry(dialog, 201, 1), "D PLACED (ORDERS)") << "without a description the name shows";
  SetFieldListShow(kFieldListBoth);
  FillFieldListForTable(dialog, 201, &t.m, static_cast<uint32_t>(orders), nullptr, nullptr, nullptr);
  EXPECT_EQ(Entry(dialog, 201, 0), "N QTY - Quantity (ORDERS)");
}

// With no other source set, the description is the field's own comment,
// where opening a table puts the report dictionary's entry.
TEST_F(FieldListTest, TheDictionaryCommentIsTheDescriptionByDefault) {
  static char comment[] = "Quantity bought";
  qty->text = comment;
  SetFieldListShow(kFieldListBoth);
  FillFieldListForTable(dialog, 201, &t.m, static_cast<uint32_t>(orders), nullptr, nullptr, nullptr);
  qty->text = nullptr;  // not the model's to free
  EXPECT_EQ(Entry(dialog, 201, 0), "N QTY - Quantity bought (ORDERS)");
  EXPECT_EQ(Entry(dialog, 201, 1), "D PLACED (ORDERS)");
}

TEST(JoinCandidates, ToFieldsFollowTheFromFieldsKind) {
  FieldDef number, date, text, memo, calc;
  number.flags = kFieldNumeric;
  date.flags = kFieldDate;
  memo.flags = kFieldMemo;
  calc.flags = kFieldCalculation;
  EXPECT_TRUE(AddJoinFieldCandidate(&number, &number));
  EXPECT_FALSE(AddJoinFieldCandidate(&date, &number));
  EXPECT_FALSE(AddJoinFieldCandidate(&number, &text)) << "a text from-field takes text only";
  EXPECT_TRUE(AddJoinFieldCandidate(&text, &text));
  EXPECT_FALSE(AddJoinFieldCandidate(&memo, nullptr));
  EXPECT_FALSE(AddJoinFieldCandidate(&calc, nullptr));
  EXPECT_TRUE(IsJoinableField(&number));
  EXPECT_FALSE(IsJoinableField(&calc)) << "a calculation without an SQL form cannot link";
}

}  // namespace
