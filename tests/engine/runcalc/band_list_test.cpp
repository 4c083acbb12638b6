// The band-list pass: calculated fields of a footer see the record that
// ended the group and keep their results as previous values.
#include <string>
#include "model/field_compile.h"

#include "foundation/band_lines.h"
#include "core/engine_errors.h"
#include "expr/functions_common.h"
#include "runcalc_fixture.h"

namespace {

class BandList : public RunCalcTest {
 protected:
  BandList() {
    region = Field("REGION", 0, 10);
    amount = Field("AMOUNT", kFieldNumeric);
    twice = CompileField(&model, "TWICE", "AMOUNT * 2", false, nullptr);
    EXPECT_NE(twice, nullptr);
    if (twice != nullptr) {
      twice->flags |= kFieldNeeded;
      Attach(twice);
    }
    UseGroups({region});
    ResetGroupBreaks(calc, 0);
    run.recordsOutput = 0;
  }
  void Record(const char* r, double a) {
    SaveFieldValues(&model);
    ++model.recordNumber;  // the fetch of a record the pass accepts
    ++model.reportRecordNumber;
    SetText(region, r);
    SetNumber(amount, a);
    EvaluateCalculation(&model, twice);  // the record's own calculations come first
    ASSERT_EQ(UpdateSummariesOf(calc, nullptr, 1), 0);
    ++run.recordsOutput;
    for (auto& level : calc->levels) level.runBits &= ~7;
  }
  FieldDef *region = nullptr, *amount = nullptr, *twice = nullptr;
};

TEST_F(BandList, FooterCalculationsUseTheRecordThatEndedTheGroup) {
  ASSERT_NE(twice, nullptr);
  calc->bandLists[0] = {twice};
  Record("East", 10);
  Record("East", 21);
  Record("West", 5);  // the break: the footer of East
  EXPECT_EQ(Number(twice, true), 42.0);
  // The record's own buffers are back: the new record and its calculation.
  EXPECT_EQ(Number(amount), 5.0);
  EXPECT_EQ(Text(region), "West");
  EXPECT_EQ(Number(twice), 10.0);  // the new record's own figure stays
  // The page list computes but keeps no previous value.
  calc->bandLists[kRunGroupLevels] = {twice};
  SetNumber(twice, 0);
  SetNumber(amount, 7);
  std::memset(twice->previous, 0, 8);
  EXPECT_EQ(CalcBandFields(&model, kPageList), 0);
  EXPECT_EQ(Number(twice, true), 0.0);
}

// RECNO() in a footer is computed after the next record was fetched, like
// every footer calculation: it is the number of the record that ended the
// group, and the record keeps its own number.
TEST_F(BandList, RecordNumberInAFooterIsTheOneOfTheRecordThatEndedTheGroup) {
  InstallBuiltinFunctionHandlers();
  FieldDef* number = CompileField(&model, "LASTNO", "RECNO()", false, nullptr);
  FieldDef* next = CompileField(&model, "NEXTNO", "RECNO() + 100", false, nullptr);
  ASSERT_NE(number, nullptr);
  ASSERT_NE(next, nullptr);
  for (FieldDef* f : {number, next}) {
    f->flags |= kFieldNeeded;
    Attach(f);
  }
  calc->bandLists[0] = {number};
  Record("East", 10);
  Record("East", 21);
  Record("East", 4);
  Record("West", 5);  // the break: the footer of East
  EXPECT_EQ(Number(number, true), 3.0);
  EXPECT_EQ(model.reportRecordNumber, 4u);
  EvaluateCalculation(&model, next);  // the new record's own calculations
  EXPECT_EQ(Number(next), 104.0);
  Record("North", 6);
  EXPECT_EQ(Number(number, true), 4.0);
  // A page list too computes with the record before.
  calc->bandLists[kRunGroupLevels] = {next};
  EXPECT_EQ(CalcBandFields(&model, kPageList), 0);
  EXPECT_EQ(Number(next), 104.0);
  EXPECT_EQ(model.reportRecordNumber, 5u);
}

TEST_F(BandList, BuiltFromTheLayoutAndFailingWithARealCode) {
  ASSERT_NE(twice, nullptr);
  BandLineRec lines[4] = {};
  lines[0].kind = kBandPageHeader;
  lines[1].kind = kBandGroupFooter + 0;
  lines[2].kind = kBandRecord;
  lines[3].kind = kBandSummary;
  FieldDef* grand = Total("GRAND", amount, kSummarySum);
  twice->head.flags |= kItemKindField;
  twice->head.bandLine = 1;
  grand->head.flags |= kItemKindField;
  grand->head.bandLine = 3;
  amount->head.flags |= kItemKindField;  // data fields are on no list
  amount->head.bandLine = 1;
  region->head.flags |= kItemKindField;
  region->head.bandLine = 200;  // beyond the table: ignored
  BuildBandLists(calc, lines, 4);
  EXPECT_EQ(calc->bandLists[0], std::vector<FieldDef*>({twice}));
  EXPECT_EQ(calc->bandLists[BandListIndex(kReportList)], std::vector<FieldDef*>({grand}));
  EXPECT_TRUE(calc->bandLists[BandListIndex(kPageList)].empty());
  EXPECT_EQ(BandListIndex(60), -1);
  EXPECT_EQ(CalcBandFields(&model, 60), 0);

  // An evaluation that fails stops with the evaluation's engine code.
  static const uint8_t bad[] = {0xFE, 0xFE, 0};
  uint8_t* code = twice->code;
  twice->code = const_cast<uint8_t*>(bad);
  const int r = CalcBandFields(&model, 0);
  twice->code = code;
  EXPECT_EQ(r, kEngineEvalError);
}



TEST_F(BandList, ReleasingARelationGivesUpItsLinkingFields) {
  FieldDef* link = CompileField(&model, "LINK", "AMOUNT + 1", false, nullptr);
  ASSERT_NE(link, nullptr);
  link->flags &= ~kFieldItem;  // made for the relation alone
  const uint32_t a = model.AddTableSlot("A", "A", 1, 0, nullptr);
  const uint32_t b = model.AddTableSlot("B", "B", 1, 0, nullptr);
  const uint32_t regionNo = model.GetFieldIndex(region);
  const uint32_t pairsA[] = {regionNo, model.GetFieldIndex(amount), model.GetFieldIndex(link), regionNo,
                             kNoField, kNoField};
  const uint32_t pairsB[] = {regionNo, model.GetFieldIndex(amount), kNoField, kNoField};
  ASSERT_EQ(model.SetRelation(a, 0, 0, pairsA), 0);
  ASSERT_EQ(model.SetRelation(b, 0, 0, pairsB), 0);
  EXPECT_EQ(region->joinUses, 2);
  const uint32_t before = model.fieldCount;
  ReleaseFieldDependencies(&model, a);
  EXPECT_EQ(region->joinUses, 1);
  EXPECT_TRUE(region->flags & kFieldJoin);  // still used by B
  EXPECT_EQ(model.fieldCount, before - 1);  // the link calculation went with its relation
  EXPECT_EQ(model.tableSlots[a]->link.pairs[0][0], kNoField);
  ReleaseFieldDependencies(&model, b);
  EXPECT_FALSE(region->flags & kFieldJoin);
  EXPECT_TRUE(IsGroupField(&model, regionNo));
  EXPECT_FALSE(IsSortField(&model, regionNo));
  EXPECT_FALSE(HasTotalOfField(&model, model.GetFieldIndex(amount)));
}

}  // namespace
