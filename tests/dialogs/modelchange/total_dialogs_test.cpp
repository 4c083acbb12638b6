#include "dialogs/total_field_dialogs.h"

#include "tests/expr/expr_model_fixture.h"
#include "tests/platform/ui/ui_test_util.h"
#include "app/document.h"
#include "platform/win/message_box.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using ui_test::WhenRunning;

FieldDef* AddTotal(TestModel& t, const char* name, FieldDef* of, uint8_t reset, uint8_t kind) {
  FieldDef* f = t.Add(name, kFieldNumeric);
  f->totalFlags = kTotalIsTotal;
  f->totalReset = reset;
  f->totalFunction = kind;
  f->refField = t.Number(of);
  return f;
}

std::vector<std::string> g_errors;
void RecordError(CKmComposite*, const char* text) { g_errors.push_back(text); }
bool FilterUsesAll(CKmComposite*, const FieldDef*) { return true; }

void SelectAndOk(HWND d, int from, int to) {
  SendDlgItemMessageA(d, 200, CB_SETCURSEL, static_cast<WPARAM>(from), 0);
  SendDlgItemMessageA(d, 201, CB_SETCURSEL, static_cast<WPARAM>(to), 0);
  ui_test::Click(GetDlgItem(d, IDOK));
}

}  // namespace

TEST(TotalNumbering, ContinuesBelowTheLowestThenAboveTheHighest) {
  AutoTotalNumbering n;
  NoteAutoTotalName(&n, "Total00005");
  NoteAutoTotalName(&n, "TOTAL00009");
  NoteAutoTotalName(&n, "Total0007x");  // not a number: ignored
  NoteAutoTotalName(&n, "Tot");
  NoteAutoTotalName(&n, "Total00000");
  std::vector<uint32_t> got;
  for (int i = 0; i < 6; ++i) got.push_back(NextAutoTotalNumber(&n));
  EXPECT_EQ(got, (std::vector<uint32_t>{1, 2, 3, 4, 10, 11}));

  AutoTotalNumbering fresh;
  EXPECT_EQ(NextAutoTotalNumber(&fresh), 1u);
  EXPECT_EQ(NextAutoTotalNumber(&fresh), 2u);

  AutoTotalNumbering full;
  NoteAutoTotalName(&full, "Total00001");
  NoteAutoTotalName(&full, "Total99998");
  full.next = 2;  // numbers below the lowest are used up
  EXPECT_TRUE(CanAllocateAutoNumbers(full, 1));
  EXPECT_FALSE(CanAllocateAutoNumbers(full, 2));
  EXPECT_EQ(full.high, 99998u);  // the trial gives its numbers back
  EXPECT_EQ(NextAutoTotalNumber(&full), 99999u);
  EXPECT_EQ(NextAutoTotalNumber(&full), 0u);
}

TEST(TotalFields, SourcesLevelsAndFormats) {
  TestModel t;
  FieldDef* amount = t.Add("AMOUNT", kFieldNumeric);
  FieldDef* name = t.Add("NAME", 0);
  FieldDef* flag = t.Add("PAID", kFieldLogical);
  FieldDef* memo = t.Add("NOTES", kFieldMemo);
  EXPECT_TRUE(IsTotalableField(amount, kTotalSum));
  EXPECT_FALSE(IsTotalableField(name, kTotalSum));
  EXPECT_TRUE(IsTotalableField(name, kTotalMaximum));
  EXPECT_TRUE(IsTotalableField(flag, kTotalVariance));
  EXPECT_FALSE(IsTotalableField(memo, kTotalCount));
  name->flags2 |= kField2NotInTable;
  EXPECT_FALSE(IsTotalableField(name, kTotalCount));

  // A total of a level-1 total may reset at level 1, page or grand, not at level 2.
  FieldDef* level1 = AddTotal(t, "SUM1", amount, 0, kTotalSum);
  EXPECT_TRUE(CheckResetLevel(&t.m, 0, level1));
  EXPECT_TRUE(CheckResetLevel(&t.m, kResetGrand, level1));
  EXPECT_TRUE(CheckResetLevel(&t.m, kResetPage, level1));
  EXPECT_FALSE(CheckResetLevel(&t.m, 1, level1));
  FieldDef* share = t.Add("SHARE", kFieldNumeric | kFieldCalculation | kFieldTotalRelated);
  share->refField = t.Number(level1);
  EXPECT_FALSE(CheckResetLevel(&t.m, 3, share));
  EXPECT_TRUE(CheckResetLevel(&t.m, 7, amount));

  FieldDef* total = AddTotal(t, "T", amount, kResetGrand, kTotalSum);
  amount->displayWidth = 8;
  amount->displayDecimals = 2;
  amount->formatCode = 0x1234;
  SetTotalFormat(total, amount, kTotalSum);
  EXPECT_EQ(total->displayWidth, 9u);
  EXPECT_EQ(total->formatCode, 0x1234u);
  amount->displayWidth = 18;
  SetTotalFormat(total, amount, kTotalSum);
  EXPECT_EQ(total->displayWidth, 18u);
  SetTotalFormat(total, amount, kTotalCount);
  EXPECT_EQ(total->displayWidth, 3u);
  EXPECT_EQ(total->formatCode, 0x3005u);
  SetTotalFormat(total, flag, kTotalAverage);
  EXPECT_EQ(total->formatCode, 0x3005u);
}

class BatchResetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_test::Start();
    g_errors.clear();
    SetMessageBoxResponder([](const MessageBoxRecord&) { return IDOK; });
    params.doc = &doc;
    params.model = &t.m;
    params.showError = RecordError;
  }
  void TearDown() override { SetMessageBoxResponder(nullptr); }

  CKmDoc doc;
  TestModel t;
  FieldDef* amount = t.Add("AMOUNT", kFieldNumeric);
  BatchResetParams params;
};

TEST_F(BatchResetTest, MovesTotalsOfOneLevel) {
  FieldDef* a = AddTotal(t, "A", amount, 2, kTotalSum);
  FieldDef* b = AddTotal(t, "B", amount, 2, kTotalAverage);
  FieldDef* c = AddTotal(t, "C", amount, 5, kTotalSum);
  b->totalFlags |= kTotalPreprocessed;
  WhenRunning([&] { SelectAndOk(ui_test::ActiveDialog(), 4, 0); });
  EXPECT_EQ(OpenBatchResetDialog(nullptr, &params), IDOK);
  EXPECT_EQ(a->totalReset, kResetGrand);
  EXPECT_EQ(b->totalReset, kResetGrand);
  EXPECT_EQ(c->totalReset, 5);
  EXPECT_TRUE(params.modified);
  EXPECT_TRUE(g_errors.empty());
}

TEST_F(BatchResetTest, NothingAtTheLevelClosesUnchanged) {
  AddTotal(t, "A", amount, 5, kTotalSum);
  WhenRunning([&] { SelectAndOk(ui_test::ActiveDialog(), 4, 0); });
  EXPECT_EQ(OpenBatchResetDialog(nullptr, &params), IDOK);
  EXPECT_FALSE(params.modified);
}

TEST_F(BatchResetTest, RefusalKeepsTheDialogAndEachTotalsOwnKindCounts) {
  params.filterDependsOn = FilterUsesAll;
  FieldDef* sum = AddTotal(t, "SUMA", amount, 2, kTotalSum);
  FieldDef* avg = AddTotal(t, "AVGA", amount, 2, kTotalAverage);
  WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    SelectAndOk(d, 4, 0);
    // The running Sum is exempt at grand total; the running Average is not.
    ASSERT_EQ(g_errors.size(), 1u);
    EXPECT_EQ(g_errors[0], "AVGA: Change would cause invalid running total filter");
    EXPECT_EQ(ui_test::ActiveDialog(), d);
    ui_test::Click(GetDlgItem(d, IDCANCEL));
  });
  EXPECT_EQ(OpenBatchResetDialog(nullptr, &params), IDCANCEL);
  EXPECT_EQ(sum->totalReset, 2);
  EXPECT_EQ(avg->totalReset, 2);
  EXPECT_FALSE(params.modified);
}
