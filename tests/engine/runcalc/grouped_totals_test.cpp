// Totals over two group levels through the model's record pass, checked
// against the same figures computed by SQLite.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "runcalc_fixture.h"

namespace {

struct Row {
  const char* region;  // null: no value
  double category;
  bool amountNull;
  double amount;
};

class Rows : public TestRows<Row> {
 public:
  FieldDef *region = nullptr, *category = nullptr, *amount = nullptr;
  void ConvertFetchedRow(CKmComposite*) override {
    const Row& r = rows[current];
    const char* text = r.region != nullptr ? r.region : "";
    std::memcpy(region->value, text, std::strlen(text) + 1);
    std::memcpy(category->value, &r.category, 8);
    const double a = r.amountNull ? GetNullNumber() : r.amount;
    std::memcpy(amount->value, &a, 8);
  }
};

// One group's figures: count, sum, average, minimum, maximum, variance.
struct Figures {
  double v[6];
};

// The same grouping in SQLite (average, minimum and maximum of a group
// without values are NULL there; read as nan).
std::vector<Figures> SqliteFigures(const std::vector<Row>& rows, const char* groupBy) {
  char dir[] = "/tmp/runcalcXXXXXX";
  if (mkdtemp(dir) == nullptr) return {};
  const std::string script = std::string(dir) + "/t.sql";
  std::ofstream out(script);
  out.precision(17);
  out << "CREATE TABLE t(region TEXT, category REAL, amount REAL);\n";
  for (const Row& r : rows) {
    out << "INSERT INTO t VALUES(" << (r.region ? "'" + std::string(r.region) + "'" : "NULL") << ","
        << r.category << ",";
    if (r.amountNull) out << "NULL);\n";
    else out << r.amount << ");\n";
  }
  out << ".separator |\n.nullvalue nan\n";
  out << "SELECT count(amount), total(amount), avg(amount), min(amount), max(amount),"
         " avg(amount*amount) - avg(amount)*avg(amount) FROM t"
      << (groupBy[0] ? std::string(" GROUP BY ") + groupBy + " ORDER BY " + groupBy : std::string()) << ";\n";
  out.close();
  const std::string cmd = "sqlite3 -batch < " + script + " 2>/dev/null";
  std::vector<Figures> result;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char line[512];
    while (std::fgets(line, sizeof line, p) != nullptr) {
      Figures f{};
      std::stringstream ss(line);
      std::string cell;
      for (double& v : f.v) {
        std::getline(ss, cell, '|');
        v = cell.rfind("nan", 0) == 0 ? std::nan("") : std::stod(cell);
      }
      result.push_back(f);
    }
    pclose(p);
  }
  std::remove(script.c_str());
  rmdir(dir);
  return result;
}

class GroupedTotals : public RunCalcTest {
 protected:
  GroupedTotals() {
    rows.region = region = Field("REGION", 0, 20);
    rows.category = category = Field("CATEGORY", kFieldNumeric);
    rows.amount = amount = Field("AMOUNT", kFieldNumeric);
    for (FieldDef* f : {region, category, amount}) {
      f->value = nullptr;  // the pass makes its own buffers
      f->previous = nullptr;
    }
    const uint8_t kinds[6] = {kSummaryCount, kSummarySum, kSummaryAverage, kSummaryMinimum, kSummaryMaximum,
                              kSummaryVariance};
    FieldDef** tail = &model.calcOrderList;
    for (int level = 0; level < 3; ++level) {
      for (int k = 0; k < 6; ++k) {
        FieldDef* t = Total("T", amount, kinds[k], level < 2 ? level : kSummaryResetNever);
        t->value = t->previous = nullptr;
        t->needsPrevious = 1;
        totals[level][k] = t;
        *tail = t;
        tail = &t->orderNext;
        calc->bandLists[level < 2 ? level : kRunGroupLevels + 1].push_back(t);
      }
    }
    UseGroups({region, category});
  }
  ~GroupedTotals() override { model.calcOrderList = nullptr; }

  // Runs the pass as the report run does and gives each finished group's figures.
  void Run(std::vector<Figures> out[3]) {
    RecordPassState* st = GetRecordPassState(&model);
    st->rows = &rows;
    st->summaries = true;
    ASSERT_EQ(OpenScan(&model), 0);
    model.passPhase = kPhaseReportRun;
    ResetGroupBreaks(calc, 0);
    FinishSummaries(calc);
    run.recordsOutput = 0;
    auto take = [&](int level) {
      Figures f;
      for (int k = 0; k < 6; ++k) std::memcpy(&f.v[k], totals[level][k]->previous, 8);
      out[level].push_back(f);
    };
    int r;
    while ((r = RunRecordPass(&model, nullptr)) == 0) {
      if (calc->groupBreakPending)
        for (int level = 1; level >= 0; --level)
          if (calc->levels[level].runBits & kRunBreakPending) take(level);
      ++run.recordsOutput;
      for (auto& level : calc->levels) level.runBits &= ~7;
    }
    ASSERT_EQ(r, 3075);
    // The end: every level breaks, then the report list.
    ResetGroupBreaks(calc, 1);
    for (int level = 1; level >= 0; --level) {
      ASSERT_EQ(CalcBandFields(&model, level), 0);
      take(level);
    }
    ASSERT_EQ(CalcBandFields(&model, kReportList), 0);
    take(2);
  }

  static void Expect(const std::vector<Figures>& ours, const std::vector<Figures>& sql) {
    ASSERT_EQ(ours.size(), sql.size());
    for (size_t g = 0; g < ours.size(); ++g) {
      for (int k = 0; k < 6; ++k) {
        double want = sql[g].v[k];
        const double got = ours[g].v[k];
        if (std::isnan(want)) {
          // No values: minimum and maximum keep no value, the average and variance 0.
          if (k == 3 || k == 4) EXPECT_TRUE(IsNullNumber(got)) << g << " " << k;
          else EXPECT_EQ(got, 0.0) << g << " " << k;
          continue;
        }
        if (k == 5 && want < 0) want = 0;
        EXPECT_NEAR(got, want, 1e-9 * (1 + std::fabs(want))) << "group " << g << " figure " << k;
      }
    }
  }

  Rows rows;
  FieldDef *region = nullptr, *category = nullptr, *amount = nullptr;
  FieldDef* totals[3][6] = {};
};

TEST_F(GroupedTotals, EqualSqliteOverTwoLevelsWithNulls) {
  if (system("command -v sqlite3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "sqlite3 is not installed";
  // Sorted as SQLite sorts them: no region first.
  rows.rows = {
      {nullptr, 1, false, 4.5},  {nullptr, 1, true, 0},    {nullptr, 2, false, -3},
      {"East", 1, false, 10},    {"East", 1, false, 20},   {"East", 1, true, 0},
      {"East", 2, true, 0},      {"East", 2, true, 0},     {"East", 3, false, 0.1},
      {"East", 3, false, 0.1},   {"East", 3, false, 0.1},  {"West", 1, false, 1e6 + 0.5},
      {"West", 1, false, 1e6 + 1.5}, {"West", 1, false, 7}, {"West", 4, false, 2},
  };
  std::vector<Figures> ours[3];
  Run(ours);
  Expect(ours[1], SqliteFigures(rows.rows, "region, category"));
  Expect(ours[0], SqliteFigures(rows.rows, "region"));
  Expect(ours[2], SqliteFigures(rows.rows, ""));
}

}  // namespace
