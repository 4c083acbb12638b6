#include <cmath>
#include <string>

#include "runcalc_fixture.h"

namespace {

using Summary = RunCalcTest;

TEST_F(Summary, DeviationsArePopulationFiguresAndNeverNegative) {
  FieldDef* x = Field("X", kFieldNumeric);
  FieldDef* sd = Total("SD", x, kSummaryStdDeviation);
  FieldDef* var = Total("VAR", x, kSummaryVariance);
  for (double v : {2, 4, 4, 4, 5, 5, 7, 9}) {
    SetNumber(x, v);
    AddSummaryValue(calc, sd);
    AddSummaryValue(calc, var);
  }
  EXPECT_DOUBLE_EQ(Number(sd), 2.0);
  EXPECT_DOUBLE_EQ(Number(var), 4.0);

  // Equal values: the difference of two sums would round below zero.
  ResetSummary(calc, var);
  ResetSummary(calc, sd);
  for (int i = 0; i < 1000; ++i) {
    SetNumber(x, 0.1);
    AddSummaryValue(calc, var);
    AddSummaryValue(calc, sd);
  }
  EXPECT_GE(Number(var), 0.0);
  EXPECT_LT(Number(var), 1e-20);
  EXPECT_FALSE(std::isnan(Number(sd)));

  // Large values with a small spread keep their spread.
  ResetSummary(calc, var);
  Feed(x, var, {1e9 + 1, 1e9 + 2, 1e9 + 3});
  EXPECT_NEAR(Number(var), 2.0 / 3.0, 1e-6);

  // One record: no spread.
  ResetSummary(calc, sd);
  Feed(x, sd, {42});
  EXPECT_EQ(Number(sd), 0.0);
}

TEST_F(Summary, ZeroIsEmptyAndAverageOfNothing) {
  FieldDef* x = Field("X", kFieldNumeric);
  FieldDef* avg = Total("AVG", x, kSummaryAverage);
  FieldDef* count = Total("COUNT", x, kSummaryCount);
  FieldDef* sum = Total("SUM", x, kSummarySum);
  auto feed = [&](std::initializer_list<double> values) {
    for (FieldDef* t : {avg, count, sum}) ResetSummary(calc, t);
    for (double v : values) {
      SetNumber(x, v);
      for (FieldDef* t : {avg, count, sum}) AddSummaryValue(calc, t);
    }
  };
  feed({0, 10});
  EXPECT_EQ(Number(avg), 5.0);
  EXPECT_EQ(Number(count), 2.0);
  x->formatCode |= kFormatZeroIsEmpty;
  feed({0, 10});
  EXPECT_EQ(Number(avg), 10.0);
  EXPECT_EQ(Number(count), 1.0);
  EXPECT_EQ(Number(sum), 10.0);  // the zero still adds nothing to the sum
}

// Numbers are checked against SQLite in the grouped-totals test.
TEST_F(Summary, MinimumAndMaximumOfDates) {
  // All empty keeps the no value mark.
  FieldDef* d = Field("D", kFieldDate);
  FieldDef* dmax = Total("DMAX", d, kSummaryMaximum);
  for (uint32_t day : {0x80000001u, 0x7FFFFFFFu, 0x80000000u}) {
    SetDay(d, day);
    AddSummaryValue(calc, dmax);
  }
  EXPECT_EQ(DayOf(dmax), kNoDayValue);
  FieldDef* dmin = Total("DMIN", d, kSummaryMinimum);
  for (uint32_t day : {730000u, 0x80000001u, 729000u, 731000u}) {
    SetDay(d, day);
    AddSummaryValue(calc, dmin);
    AddSummaryValue(calc, dmax);
  }
  EXPECT_EQ(DayOf(dmin), 729000u);
  EXPECT_EQ(DayOf(dmax), 731000u);

  // Date-times: the date first, then the time.
  FieldDef* dt = Field("DT", kFieldDateTime);
  FieldDef* dtmin = Total("DTMIN", dt, kSummaryMinimum);
  FieldDef* dtmax = Total("DTMAX", dt, kSummaryMaximum);
  for (auto [day, t] : {std::pair<uint32_t, double>{100, 0.5}, {100, 0.25}, {101, 0.1}, {99, 0.9}}) {
    SetDayTime(dt, day, t);
    AddSummaryValue(calc, dtmin);
    AddSummaryValue(calc, dtmax);
  }
  EXPECT_EQ(DayOf(dtmin), 99u);
  EXPECT_EQ(TimeOf(dtmin), 0.9);
  EXPECT_EQ(DayOf(dtmax), 101u);
}

TEST_F(Summary, TextExtremesFollowTheCollationAndSkipBlanks) {
  UseCaseFoldingCollation();
  FieldDef* s = Field("S", 0, 20);
  FieldDef* smin = Total("SMIN", s, kSummaryMinimum);
  FieldDef* smax = Total("SMAX", s, kSummaryMaximum);
  for (const char* v : {"beta", "   ", "", "Alpha", "ALPHA", "gamma", "Gamma"}) {
    SetText(s, v);
    AddSummaryValue(calc, smin);
    AddSummaryValue(calc, smax);
  }
  // Case folded, "Alpha" sorts before "beta" (byte order would put "ALPHA"
  // first); equal values are not taken again.
  EXPECT_EQ(Text(smin), "Alpha");
  EXPECT_EQ(Text(smax), "gamma");
  // A text longer than the total holds is cut to it.
  SetText(s, std::string(40, 'A').c_str());
  ResetSummary(calc, smin);
  AddSummaryValue(calc, smin);
  EXPECT_EQ(Text(smin).size(), 20u);
}

TEST_F(Summary, ErrorStateLevelsAndPreprocessedTotals) {
  FieldDef* x = Field("X", kFieldNumeric);
  FieldDef* sum = Total("SUM", x, kSummarySum);
  FieldDef* count = Total("COUNT", x, kSummaryCount);
  Feed(x, sum, {1});
  SetNumber(x, 2);
  x->valueStatus = 1;  // in error
  AddSummaryValue(calc, sum);
  AddSummaryValue(calc, count);
  EXPECT_EQ(sum->valueStatus & 7, 1);
  EXPECT_EQ(Number(count), 1.0);  // a count goes on
  x->valueStatus = 0;
  Feed(x, sum, {5});
  EXPECT_EQ(Number(sum), 1.0);  // an erroneous total stays until its reset
  ResetSummary(calc, sum);
  EXPECT_EQ(sum->valueStatus & 7, 0);
  Feed(x, sum, {5});
  EXPECT_EQ(Number(sum), 5.0);

  // Once per group of level 0: only records where level 0 breaks.
  FieldDef* g = Field("G", kFieldNumeric);
  UseGroups({g});
  FieldDef* perGroup = Total("PERGROUP", x, kSummaryCount, kSummaryResetNever, 0);
  Feed(x, perGroup, {1, 2});
  EXPECT_EQ(Number(perGroup), 0.0);
  calc->levels[0].runBits = kRunBreakPending;
  Feed(x, perGroup, {3});
  EXPECT_EQ(Number(perGroup), 1.0);

  // Pre-processed totals come from the totals file during the run.
  sum->totalFlags |= kTotalPreprocessed;
  model.passPhase = kPhaseReportRun;
  Feed(x, sum, {100});
  EXPECT_EQ(Number(sum), 5.0);
  model.passPhase = kPhaseTotalsPrepass;
  Feed(x, sum, {100});
  EXPECT_EQ(Number(sum), 105.0);
}

}  // namespace
