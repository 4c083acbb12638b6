#include "dialogs/total_dialog.h"

#include "tests/expr/expr_model_fixture.h"
#include "tests/platform/ui/ui_test_util.h"
#include "app/document.h"
#include "platform/win/message_box.h"
#include "platform/win/window_picture.h"
#include "tests/support/screens.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using ui_test::WhenRunning;

constexpr int kName = 200, kList = 201, kReset = 202, kAccum = 203, kRunning = 240, kPre = 241;
constexpr int kCount = 220, kSum = 221;

std::vector<std::string> g_errors;
void RecordError(CKmComposite*, const char* text) { g_errors.push_back(text); }
std::vector<int> g_removedLines;
int NewLine(CKmComposite*, uint8_t reset) { return reset == kResetGrand ? 40 : 41; }
void RemoveLine(CKmComposite*, int line) { g_removedLines.push_back(line); }
bool FilterUsesAll(CKmComposite*, const FieldDef*) { return true; }

void SelectSource(HWND d, const char* name) {
  const LRESULT at = SendDlgItemMessageA(d, kList, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(name));
  SendDlgItemMessageA(d, kList, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
  SendMessageA(d, WM_COMMAND, MAKEWPARAM(kList, LBN_SELCHANGE), 0);
}
void SelectCombo(HWND d, int id, int entry) {
  SendDlgItemMessageA(d, id, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
  SendMessageA(d, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), 0);
}
void Kind(HWND d, int id) { ui_test::Click(GetDlgItem(d, id)); }
void Ok(HWND d) { ui_test::Click(GetDlgItem(d, IDOK)); }
void Cancel(HWND d) { ui_test::Click(GetDlgItem(d, IDCANCEL)); }

void ToClient(HWND d, RECT* r) {
  ScreenToClient(d, reinterpret_cast<POINT*>(&r->left));
  ScreenToClient(d, reinterpret_cast<POINT*>(&r->right));
}

FieldDef* Find(CKmComposite& m, const char* name) {
  for (FieldDef* f = m.fieldList; f; f = f->next)
    if (std::strcmp(f->name, name) == 0) return f;
  return nullptr;
}

class TotalDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_test::Start();
    g_errors.clear();
    g_removedLines.clear();
    SetMessageBoxResponder([](const MessageBoxRecord&) { return IDOK; });
    amount->displayWidth = 8;
    amount->displayDecimals = 2;
    amount->formatCode = 0x1234;
    params.doc = &doc;
    params.model = &t.m;
    t.m.owner = &doc;  // the condition editor is the document's
    params.showError = RecordError;
    params.numbering = &numbering;
    params.insertTotalLine = NewLine;
    params.removeTotalLine = RemoveLine;
  }
  void TearDown() override {
    t.m.owner = nullptr;
    SetMessageBoxResponder(nullptr);
  }
  // The condition typed into the expression editor the Condition button
  // opens; false when the editor refused it (it is then cancelled).
  bool TypeCondition(HWND d, const char* text) {
    bool taken = false;
    WhenRunning([&] {
      HWND e = ui_test::ActiveDialog();
      ASSERT_NE(e, d);
      SetDlgItemTextA(e, 201, text);
      // A refused text is told in a message over the editor, answered here.
      WhenRunning([d, e] {
        HWND box = ui_test::ActiveDialog();
        if (box != nullptr && box != d && box != e) ui_test::Click(GetDlgItem(box, IDOK));
      });
      ui_test::Click(GetDlgItem(e, IDOK));
      taken = ui_test::Text(GetDlgItem(e, 207)).empty();  // the editor's message line
      if (!taken) ui_test::Click(GetDlgItem(e, IDCANCEL));
    });
    ui_test::Click(GetDlgItem(d, 250));
    return taken;
  }
  FieldDef* AddTotal(const char* name, FieldDef* of, uint8_t reset, uint8_t kind) {
    FieldDef* f = t.Add(name, kFieldNumeric);
    f->totalFlags = kTotalIsTotal;
    f->totalReset = reset;
    f->totalFunction = kind;
    f->totalLevel = kAccumulateEvery;
    f->refField = t.Number(of);
    return f;
  }

  CKmDoc doc;
  TestModel t;
  int ord = t.AddTable("ORD");
  FieldDef* amount = t.Add("AMOUNT", kFieldNumeric, static_cast<uint8_t>(ord));
  FieldDef* label = t.Add("LABEL", 0, static_cast<uint8_t>(ord));
  AutoTotalNumbering numbering;
  TotalDialogParams params;
};

}  // namespace

TEST_F(TotalDialogTest, NewSumTakesItsSettingsAndFormat) {
  std::string title;
  bool labelListedForSum = true;
  WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    ASSERT_NE(d, nullptr);
    title = ui_test::Text(d);
    Kind(d, kSum);
    labelListedForSum = SendDlgItemMessageA(d, kList, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                            reinterpret_cast<LPARAM>("LABEL")) != LB_ERR;
    SelectSource(d, "AMOUNT");
    SetDlgItemTextA(d, kName, "SUMAMT");
    TypeCondition(d, "AMOUNT > 5");
    EXPECT_EQ(ui_test::Text(GetDlgItem(d, 251)), "AMOUNT > 5");
    Ok(d);
  });
  ASSERT_EQ(OpenTotalDialog(nullptr, &params), IDOK);
  EXPECT_EQ(title, "New Total");
  EXPECT_FALSE(labelListedForSum);
  FieldDef* total = Find(t.m, "SUMAMT");
  ASSERT_NE(total, nullptr);
  EXPECT_EQ(params.lastDefined, total);
  EXPECT_EQ(total->totalFunction, kTotalSum);
  EXPECT_EQ(total->refField, t.Number(amount));
  EXPECT_EQ(total->totalFlags, kTotalIsTotal | 1);
  EXPECT_EQ(total->head.flags, 130u);
  EXPECT_EQ(total->totalReset, kResetGrand);
  EXPECT_EQ(total->totalLevel, kAccumulateEvery);
  EXPECT_EQ(total->table, amount->table);
  EXPECT_EQ(total->displayWidth, 9u);
  EXPECT_EQ(total->formatCode, 0x1234u);
  ASSERT_NE(total->conditionText, nullptr);
  EXPECT_EQ(std::string(total->conditionText).substr(0, 10), "AMOUNT > 5");
  EXPECT_NE(total->conditionCode, nullptr);
  EXPECT_TRUE(g_errors.empty());
  for (FieldDef* f = t.m.fieldList; f; f = f->next) EXPECT_EQ(f->flags & 0x30, 0u) << f->name;
}

// A field placed twice on the layout is one field to total: it is listed
// once, for every kind, and a placed copy selected proposes the field. The
// list shows whole in the dialog before and after the options open.
TEST_F(TotalDialogTest, ScreensNewTotalListsAPlacedCopysFieldOnceAndWhole) {
  FieldDef* copy = t.m.AddFieldAlias(amount);
  ASSERT_NE(copy, nullptr);
  params.selectedField = copy;
  int countListed = 0, sumListed = 0;
  std::string selected;
  RECT list{}, client{}, openedList{}, opened{};
  WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    ASSERT_NE(d, nullptr);
    auto listed = [&] {
      int n = 0;
      char text[64];
      for (int i = 0; i < SendDlgItemMessageA(d, kList, LB_GETCOUNT, 0, 0); ++i) {
        SendDlgItemMessageA(d, kList, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        if (std::strcmp(text, "AMOUNT") == 0) ++n;
      }
      return n;
    };
    countListed = listed();
    Kind(d, kSum);
    sumListed = listed();
    char text[64] = {};
    const LRESULT at = SendDlgItemMessageA(d, kList, LB_GETCURSEL, 0, 0);
    if (at >= 0) SendDlgItemMessageA(d, kList, LB_GETTEXT, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(text));
    selected = text;
    GetWindowRect(GetDlgItem(d, kList), &list);
    GetClientRect(d, &client);
    ToClient(d, &list);
    EXPECT_TRUE(SaveWindowPicture(d, ScreenPath("dialog-new-total").c_str()));
    ui_test::Click(GetDlgItem(d, 230));  // Options >>
    GetWindowRect(GetDlgItem(d, kList), &openedList);
    ToClient(d, &openedList);
    GetClientRect(d, &opened);
    EXPECT_TRUE(SaveWindowPicture(d, ScreenPath("dialog-new-total-options").c_str()));
    Cancel(d);
  });
  EXPECT_EQ(OpenTotalDialog(nullptr, &params), IDCANCEL);
  EXPECT_EQ(countListed, 1);
  EXPECT_EQ(sumListed, 1);
  EXPECT_EQ(selected, "AMOUNT");
  EXPECT_GT(list.bottom, list.top);
  EXPECT_LT(list.bottom, client.bottom) << "the list ends inside the dialog";
  EXPECT_LT(openedList.bottom, opened.bottom);
  EXPECT_GT(opened.bottom, client.bottom) << "the options part shows below";
}

TEST_F(TotalDialogTest, RefusalsInOrderLeaveNothingMade) {
  FieldDef* level1 = AddTotal("SUM1", amount, 0, kTotalSum);
  level1->flags |= kFieldTotalRelated;
  const uint32_t before = t.m.fieldCount;
  WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    ASSERT_NE(d, nullptr);
    SelectSource(d, "AMOUNT");
    Ok(d);  // no name
    SetDlgItemTextA(d, kName, "label");
    Ok(d);  // a field's name
    SetDlgItemTextA(d, kName, "1X");
    Ok(d);
    SetDlgItemTextA(d, kName, "T2");
    SelectSource(d, "SUM1");
    SelectCombo(d, kReset, 3);  // group level 2 comes after the source's level 1
    Ok(d);
    SelectCombo(d, kReset, 2);
    // The editor itself keeps a condition that does not compile.
    EXPECT_FALSE(TypeCondition(d, "AMOUNT >"));
    EXPECT_EQ(ui_test::Text(GetDlgItem(d, 251)), "");
    Cancel(d);
  });
  EXPECT_EQ(OpenTotalDialog(nullptr, &params), IDCANCEL);
  ASSERT_EQ(g_errors.size(), 4u);
  EXPECT_EQ(g_errors[0], "Field name required");
  EXPECT_EQ(g_errors[1], "Field name already used");
  EXPECT_EQ(g_errors[2], "Not a valid report field name");
  EXPECT_EQ(g_errors[3], "Reset level inconsistent with field SUM1");
  EXPECT_EQ(t.m.fieldCount, before);
  EXPECT_EQ(Find(t.m, "T2"), nullptr);
  EXPECT_FALSE(params.modified);
}

TEST_F(TotalDialogTest, PageTotalForcesRunningAndCountOnlyDisablesSums) {
  bool runningForced = false, preDisabled = false, sumEnabled = true, countChecked = false;
  amount->flags = kFieldItem;  // no field can be summed now
  FieldDef* avg = AddTotal("AVG1", label, kResetGrand, kTotalAverage);
  avg->flags = kFieldItem;  // as stored over a text source
  params.total = avg;
  WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    sumEnabled = IsWindowEnabled(GetDlgItem(d, kSum));
    countChecked = IsDlgButtonChecked(d, kCount);
    ui_test::Click(GetDlgItem(d, kPre));
    SelectCombo(d, kReset, 1);  // Page total
    runningForced = IsDlgButtonChecked(d, kRunning) && !IsDlgButtonChecked(d, kPre);
    preDisabled = !IsWindowEnabled(GetDlgItem(d, kPre));
    Cancel(d);
  });
  EXPECT_EQ(OpenTotalDialog(nullptr, &params), IDCANCEL);
  EXPECT_FALSE(sumEnabled);
  EXPECT_TRUE(countChecked);  // an Average shown as Count
  EXPECT_TRUE(runningForced);
  EXPECT_TRUE(preDisabled);
  EXPECT_EQ(avg->totalFunction, kTotalAverage);  // Cancel changed nothing
}

TEST_F(TotalDialogTest, EditRenamesKeepsAliasesInStepAndRefusalRestores) {
  FieldDef* total = AddTotal("SUMA", amount, 0, kTotalSum);
  total->displayWidth = 9;
  FieldDef* alias = t.m.AddFieldAlias(total);
  FieldDef* user = t.AddCalc("HALF", "SUMA / 2");
  ASSERT_EQ(t.lastError, 0);
  params.total = total;
  std::string title;
  WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    title = ui_test::Text(d);
    // The total's own users cannot become its source.
    EXPECT_EQ(SendDlgItemMessageA(d, kList, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                  reinterpret_cast<LPARAM>("HALF")), LB_ERR);
    Kind(d, kCount);
    SetDlgItemTextA(d, kName, "CNTA");
    Ok(d);
  });
  ASSERT_EQ(OpenTotalDialog(nullptr, &params), IDOK);
  EXPECT_EQ(title, "Edit Total");
  EXPECT_STREQ(total->name, "CNTA");
  EXPECT_STREQ(alias->name, "CNTA");
  EXPECT_EQ(total->totalFunction, kTotalCount);
  EXPECT_EQ(total->displayWidth, 3u);
  EXPECT_EQ(alias->displayWidth, 3u);
  ASSERT_NE(user->exprText, nullptr);
  EXPECT_NE(std::string(user->exprText).find("CNTA"), std::string::npos) << user->exprText;

  // A refused condition leaves the edited total as it was.
  g_errors.clear();
  WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    Kind(d, kSum);
    SelectCombo(d, kReset, 0);
    EXPECT_FALSE(TypeCondition(d, "(("));
    Cancel(d);
  });
  EXPECT_EQ(OpenTotalDialog(nullptr, &params), IDCANCEL);
  EXPECT_TRUE(g_errors.empty());
  EXPECT_EQ(total->totalFunction, kTotalCount);
  EXPECT_EQ(total->totalReset, 0);
  EXPECT_EQ(total->displayWidth, 3u);
}

TEST_F(TotalDialogTest, EditRefusedByTheFilterUnlessAGrandCountOrSum) {
  FieldDef* total = AddTotal("AVGA", amount, 0, kTotalAverage);
  params.total = total;
  params.filterDependsOn = FilterUsesAll;
  WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    Ok(d);  // a running Average at level 1
    Kind(d, kSum);
    SelectCombo(d, kReset, 0);
    Ok(d);  // a grand Sum is exempt
  });
  EXPECT_EQ(OpenTotalDialog(nullptr, &params), IDOK);
  ASSERT_EQ(g_errors.size(), 1u);
  EXPECT_EQ(g_errors[0], "Change would cause invalid running total filter");
  EXPECT_EQ(total->totalFunction, kTotalSum);
  EXPECT_EQ(total->totalReset, kResetGrand);
}

TEST_F(TotalDialogTest, AutoTotalNamesEachFieldAndGivesNumbersBackOnRefusal) {
  FieldDef* qty = t.Add("QTY", kFieldNumeric, static_cast<uint8_t>(ord));
  amount->head.column = 12;
  qty->head.column = 30;
  params.items = {amount, label, qty};
  bool nameDisabled = false;
  FieldDef* clash = t.Add("Total00002", kFieldNumeric);  // not read from a file: not noted
  WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    nameDisabled = !IsWindowEnabled(GetDlgItem(d, kName));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, kSum)));  // LABEL cannot be summed
    Ok(d);
    EXPECT_EQ(ui_test::ActiveDialog(), d);
    std::snprintf(clash->name, sizeof clash->name, "OTHER");
    Ok(d);
  });
  ASSERT_EQ(OpenAutoTotalDialog(nullptr, &params), IDOK);
  EXPECT_TRUE(nameDisabled);
  ASSERT_EQ(g_errors.size(), 1u);
  EXPECT_EQ(g_errors[0], "Field name already used");
  EXPECT_EQ(g_removedLines, std::vector<int>{40});
  ASSERT_EQ(params.made.size(), 3u);
  const char* names[] = {"Total00001", "Total00002", "Total00003"};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_STREQ(params.made[i]->name, names[i]);
    EXPECT_EQ(params.made[i]->totalFlags, kTotalIsTotal);  // the new bit is cleared
    EXPECT_EQ(params.made[i]->head.bandLine, 40);
    EXPECT_EQ(params.made[i]->totalLevel, kAccumulateEvery);
  }
  EXPECT_EQ(params.made[0]->head.column, 12);
  EXPECT_EQ(params.made[2]->head.column, 30);
  EXPECT_EQ(NextAutoTotalNumber(&numbering), 4u);
}

TEST_F(TotalDialogTest, AutoTotalOfOneFieldProposesANameAndCancelReturnsIt) {
  params.items = {amount};
  std::string proposed;
  WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    proposed = ui_test::Text(GetDlgItem(d, kName));
    Cancel(d);
  });
  EXPECT_EQ(OpenAutoTotalDialog(nullptr, &params), IDCANCEL);
  EXPECT_EQ(proposed, "Total00001");
  EXPECT_EQ(NextAutoTotalNumber(&numbering), 1u);
}

TEST_F(TotalDialogTest, SelectionRulesAndBoundedSourceChains) {
  AutoTotalNumbering full;
  full.low = 1;
  full.high = 99999;
  full.next = 1;
  EXPECT_TRUE(CheckAutoTotalSelection({amount, label}, 0, numbering, true));
  EXPECT_FALSE(CheckAutoTotalSelection({amount}, 0, full, true));  // no number left
  FieldDef* page = t.Add("PAGE", kFieldPageNumber | kFieldNumeric);
  EXPECT_FALSE(CheckAutoTotalSelection({amount, page}, 0, numbering, true));
  EXPECT_EQ(GetSelectedTotalField(&t.m, {t.m.AddFieldAlias(amount)}, 0), amount);

  FieldDef* ofPage = AddTotal("OP", page, kResetGrand, kTotalCount);
  EXPECT_TRUE(PageNumberInSourceChain(&t.m, ofPage));
  // A reference cycle ends.
  FieldDef* a = AddTotal("A", amount, kResetGrand, kTotalSum);
  FieldDef* b = AddTotal("B", a, kResetPage, kTotalSum);
  a->refField = t.Number(b);
  EXPECT_FALSE(PageNumberInSourceChain(&t.m, a));
  FieldDef* c = t.Add("C", kFieldNumeric | kFieldCalculation | kFieldTotalRelated);
  FieldDef* d = t.Add("D", kFieldNumeric | kFieldCalculation | kFieldTotalRelated);
  c->refField = t.Number(d);
  d->refField = t.Number(c);
  EXPECT_EQ(ImpliedAccumulation(&t.m, c), kAccumulateEvery);
  EXPECT_EQ(ImpliedAccumulation(&t.m, b), kAccumulatePage);
}

TEST_F(TotalDialogTest, AccumulationFollowsTheSource) {
  FieldDef* grand = AddTotal("GSUM", amount, kResetGrand, kTotalSum);
  grand->flags |= kFieldTotalRelated;
  FieldDef* level1 = AddTotal("L1SUM", amount, 0, kTotalSum);
  params.selectedField = grand;
  bool endShown = false, comboHidden = false, grew = false;
  WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    // The single selected layout field is proposed.
    const LRESULT sel = SendDlgItemMessageA(d, kList, LB_GETCURSEL, 0, 0);
    char text[64] = {};
    SendDlgItemMessageA(d, kList, LB_GETTEXT, static_cast<WPARAM>(sel), reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, "GSUM");
    RECT before{}, after{};
    GetWindowRect(d, &before);
    ui_test::Click(GetDlgItem(d, 230));
    GetWindowRect(d, &after);
    grew = after.bottom - after.top > before.bottom - before.top;
    endShown = IsWindowVisible(GetDlgItem(d, 204));
    comboHidden = !IsWindowVisible(GetDlgItem(d, kAccum));
    SetDlgItemTextA(d, kName, "OFGRAND");
    Ok(d);
  });
  ASSERT_EQ(OpenTotalDialog(nullptr, &params), IDOK);
  EXPECT_TRUE(grew);
  EXPECT_TRUE(endShown);
  EXPECT_TRUE(comboHidden);
  FieldDef* made = Find(t.m, "OFGRAND");
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->totalLevel, kAccumulateReport);
  EXPECT_NE(made->flags & kFieldTotalRelated, 0u);

  // Every record over a source that itself rests on a total is refused.
  g_errors.clear();
  FieldDef* share = t.Add("SHARE", kFieldNumeric | kFieldCalculation | kFieldTotalRelated);
  share->refField = t.Number(level1);
  params.selectedField = share;
  WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    SetDlgItemTextA(d, kName, "OFSHARE");
    SelectCombo(d, kAccum, 0);
    Ok(d);
    EXPECT_EQ(ui_test::ActiveDialog(), d);
    SelectCombo(d, kAccum, 1);  // once per group of level 1
    Ok(d);
  });
  ASSERT_EQ(OpenTotalDialog(nullptr, &params), IDOK);
  ASSERT_EQ(g_errors.size(), 1u);
  EXPECT_EQ(g_errors[0], "Invalid frequency for this total");
  FieldDef* ofShare = Find(t.m, "OFSHARE");
  ASSERT_NE(ofShare, nullptr);
  EXPECT_EQ(ofShare->totalLevel, 0);
}

TEST_F(TotalDialogTest, ConditionThroughTheExpressionEditor) {
  WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    SelectSource(d, "AMOUNT");
    SetDlgItemTextA(d, kName, "CONDSUM");
    WhenRunning([&] {
      HWND e = ui_test::ActiveDialog();
      ASSERT_NE(e, d);
      SetDlgItemTextA(e, 201, "AMOUNT > 1");
      ui_test::Click(GetDlgItem(e, IDOK));
    });
    ui_test::Click(GetDlgItem(d, 250));
    EXPECT_EQ(ui_test::Text(GetDlgItem(d, 251)), "AMOUNT > 1");
    Ok(d);
  });
  EXPECT_EQ(OpenTotalDialog(nullptr, &params), IDOK);
  FieldDef* total = Find(t.m, "CONDSUM");
  ASSERT_NE(total, nullptr);
  ASSERT_NE(total->conditionText, nullptr);
  EXPECT_EQ(std::string(total->conditionText).substr(0, 10), "AMOUNT > 1");
}

// Columns of the same name in two tables of the report are told apart by
// their table, as every field list shows them; the one chosen is totalled.
TEST_F(TotalDialogTest, SameNamedColumnsOfTwoTablesAreListedWithTheirTable) {
  const int cust = t.AddTable("CUST");
  FieldDef* other = t.Add("AMOUNT", kFieldNumeric, static_cast<uint8_t>(cust));
  std::vector<std::string> listed;
  WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    ASSERT_NE(d, nullptr);
    Kind(d, kSum);
    const LRESULT n = SendDlgItemMessageA(d, kList, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
      char text[100] = {};
      SendDlgItemMessageA(d, kList, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
      listed.push_back(text);
    }
    SelectSource(d, "AMOUNT (CUST)");
    SetDlgItemTextA(d, kName, "SUMCUST");
    Ok(d);
  });
  ASSERT_EQ(OpenTotalDialog(nullptr, &params), IDOK);
  EXPECT_NE(std::find(listed.begin(), listed.end(), "AMOUNT (ORD)"), listed.end());
  EXPECT_NE(std::find(listed.begin(), listed.end(), "AMOUNT (CUST)"), listed.end());
  EXPECT_EQ(std::find(listed.begin(), listed.end(), "AMOUNT"), listed.end());
  FieldDef* total = Find(t.m, "SUMCUST");
  ASSERT_NE(total, nullptr);
  EXPECT_EQ(total->refField, t.Number(other));
}
