// Filters on calculations the database computes, and LIKE, print exactly the
// rows the program's own meaning lets through, with status 0, through
// `vortelle /G`, on SQLite and on the private PostgreSQL server: a MOD of a
// negative number, a date moved back by days, the length of a missing text,
// accented capitals, a case-sensitive LIKE, the year of a missing date,
// rounding to tens, and a division by zero in the report's ORDER BY.
#include "app/document.h"
#include "core/condition_code.h"
#include "data/select_builder.h"
#include "expr/collation.h"
#include "tests/app/roundtrip/report_maker.h"
#include "tests/app/sample_db_fixture.h"
#include "tests/support/odbc_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using roundtrip::ReportMaker;
using sample_test::Capture;
using sample_test::ProgramPath;

constexpr const char* kDsn = "VortelleSample";

// One line of the table; a missing value is an empty optional or a null text.
struct Line {
  int id;
  std::optional<int> qty;
  std::optional<double> amount;
  const char* note;  // UTF-8
  const char* date;  // yyyy-mm-dd
};
const Line kLines[] = {
    {1, 1, 10.0, "ZZ Top", "1999-12-31"},      {2, -3, 15.0, "zz top", "2000-01-01"},
    {3, 5, 4.9, "na\xc3\xafve", "2000-01-08"}, {4, -7, -20.0, "NA\xc3\x8fVE", "2000-01-07"},
    {5, {}, 3.0, "Zebra", nullptr},            {6, 0, 12.0, "", "1994-06-15"},
    {7, 9, 95.0, "ab", "2003-12-31"},          {8, 13, 14.5, "Zz", "2100-01-01"},
    {9, -15, 25.0, nullptr, "1899-12-31"},     {10, 2, {}, "   ", "2000-02-29"},
    {11, 4, 5.0, "Top", nullptr},              {12, 3, 44.0, "Z*x", "2001-01-01"},
    {13, -1, 7.0, "zebra", "1999-01-01"},      {14, 17, -5.0, "ZZ Top  ", "2000-01-15"},
    {15, 8, 0.0, "xy", "2000-01-09"},
};

std::string TableSql(bool postgres) {
  std::string sql = std::string("drop table if exists q6_lines;\ncreate table q6_lines (l_id integer primary key, qty "
                                "integer, amount ") +
                    (postgres ? "numeric(10,2)" : "real") + ", note varchar(40), ldate date);\n";
  for (const Line& l : kLines) {
    char amount[32] = "null";
    if (l.amount) std::snprintf(amount, sizeof amount, "%.2f", *l.amount);
    sql += "insert into q6_lines values (" + std::to_string(l.id) + ", " +
           (l.qty ? std::to_string(*l.qty) : "null") + ", " + amount + ", " +
           (l.note ? "'" + std::string(l.note) + "'" : "null") + ", " +
           (l.date ? "'" + std::string(l.date) + "'" : "null") + ");\n";
  }
  return sql;
}

std::string Trimmed(const char* s) {
  std::string t = s ? s : "";
  t.erase(t.find_last_not_of(' ') + 1);
  return t;
}

struct FilterCase {
  const char* name;
  const char* calculation;  // null: the condition is on the note column itself
  uint8_t op;
  const char* value;         // as typed in the selection row (Windows-1252)
  std::function<bool(const Line&)> passes;  // the program's meaning
  bool inSelect = true;      // on PostgreSQL the SELECT carries the condition
  bool inSqliteSelect = true;
};

const FilterCase kCases[] = {
    // The program's MOD takes the divisor's sign: MOD(-3, 4) is 1.
    {"mod", "MOD(QTY, 4)", kCondEqual, "1",
     [](const Line& l) { return l.qty && ((*l.qty % 4) + 4) % 4 == 1; }},
    {"days_back", "LDATE + -7", kCondGreaterEqual, "{1/1/2000}",
     [](const Line& l) { return l.date && std::string(l.date) >= "2000-01-08"; }},
    // A missing note is an empty text, of length 0.
    {"length", "LEN(NOTE)", kCondLess, "3",
     [](const Line& l) { return std::string(l.note ? l.note : "").size() < 3; }},
    // Accented capitals; SQLite's upper() has none, so there the program tests.
    {"upper_accented", "UPPER(NOTE)", kCondEqual, "'NA\xCFVE'",
     [](const Line& l) { return l.id == 3 || l.id == 4; }, true, false},
    // Case matters, trailing blanks do not.
    {"like_case", nullptr, kCondLike, "'Z*'",
     [](const Line& l) { return l.note && l.note[0] == 'Z'; }},
    {"like_one_character", nullptr, kCondLike, "'ZZ?Top'",
     [](const Line& l) { return Trimmed(l.note) == "ZZ Top"; }},
    // Stored trailing blanks do not count under any comparison; a text of
    // blanks is the empty text, and a missing one satisfies none.
    {"equal_trailing", nullptr, kCondEqual, "'ZZ Top'", [](const Line& l) { return Trimmed(l.note) == "ZZ Top"; }},
    {"not_equal_trailing", nullptr, kCondNotEqual, "'ZZ Top'",
     [](const Line& l) { return l.note && Trimmed(l.note) != "ZZ Top"; }},
    {"less_equal_trailing", nullptr, kCondLessEqual, "'ZZ Top'",
     [](const Line& l) { return l.note && Trimmed(l.note) <= "ZZ Top"; }},
    {"greater_trailing", nullptr, kCondGreater, "'ZZ Top'",
     [](const Line& l) { return l.note && Trimmed(l.note) > "ZZ Top"; }},
    {"between_trailing", nullptr, kCondBetween, "'Top','ZZ Top'",
     [](const Line& l) { return l.note && Trimmed(l.note) >= "Top" && Trimmed(l.note) <= "ZZ Top"; }},
    {"in_trailing", nullptr, kCondOneOf, "'ZZ Top','ab'",
     [](const Line& l) { return Trimmed(l.note) == "ZZ Top" || Trimmed(l.note) == "ab"; }},
    {"not_in_trailing", nullptr, kCondNoneOf, "'ZZ Top','ab'",
     [](const Line& l) { return l.note && Trimmed(l.note) != "ZZ Top" && Trimmed(l.note) != "ab"; }},
    // Blanks are the empty text, which a missing note is too (as the group break takes them).
    {"equal_blanks", nullptr, kCondEqual, "'  '", [](const Line& l) { return !l.note || Trimmed(l.note).empty(); }},
    // The year of a missing date is 0.
    {"year_missing", "YEAR(LDATE)", kCondEqual, "0", [](const Line& l) { return l.date == nullptr; }},
    // Rounding to tens, half away from zero; a missing amount rounds to 0.
    {"round_tens", "ROUND(AMOUNT, -1)", kCondEqual, "10",
     [](const Line& l) { return l.amount && std::fabs(*l.amount) >= 5 && std::fabs(*l.amount) < 15 && *l.amount > 0; }},
    // A quotient may carry rounding: the program tests it; a division by zero is 0.
    {"quotient", "AMOUNT / QTY", kCondGreater, "5",
     [](const Line& l) { return l.amount && l.qty && *l.qty != 0 && *l.amount / *l.qty > 5; }, false, false},
};

class TranslatedFilterRun : public ::testing::TestWithParam<std::tuple<int, int>> {
 protected:
  void SetUp() override {
    if (!fs::exists(ProgramPath())) GTEST_SKIP() << "the program is not built";
    if (Capture("command -v sqlite3").empty() || Capture("command -v pdftotext").empty())
      GTEST_SKIP() << "sqlite3 or pdftotext is missing";
    if (Capture("ls /usr/lib/*/odbc/libsqlite3odbc.so 2>/dev/null").empty())
      GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    postgres_ = std::get<0>(GetParam()) == 1;
    if (!postgres_) {
      dir_ = sample_folder::MakeFresh();
      ASSERT_FALSE(dir_.empty()) << "the sample could not be made";
      int status = -1;
      const std::string out =
          Capture("sqlite3 '" + dir_ + "/sample.db' <<'EOF'\n" + TableSql(false) + "\nEOF\n", &status);
      ASSERT_EQ(status, 0) << out;
    } else {
      if (Capture("command -v psql").empty()) GTEST_SKIP() << "psql is missing";
      std::string why;
      if (!odbc_test::StartPostgres(&why)) GTEST_SKIP() << why;
      dir_ = odbc_test::Dir() + "/translated_pg";
      int status = -1;
      const std::string made = sample_folder::MakeOnPostgres(dir_, odbc_test::PostgresPort(), &status);
      ASSERT_EQ(status, 0) << made;
      setenv("ODBCINI", (dir_ + "/odbc.ini").c_str(), 1);
      setenv("ODBCSYSINI", dir_.c_str(), 1);
      setenv("VORTELLE_WINDIR", dir_.c_str(), 1);
      bool ok = false;
      const std::string out = odbc_test::RunPostgresSql(TableSql(true), &ok);
      ASSERT_TRUE(ok) << out;
    }
    UiStartApplication();
    InstallBuiltinFunctionHandlers();
  }
  void TearDown() override {
    unsetenv("VORTELLE_WINDIR");
    if (!postgres_ && !dir_.empty()) sample_folder::Clear();
  }

  // The report: each line's number and note, filtered and sorted by the
  // caller; saved for the program, with the SELECT it would send.
  void Make(const std::string& path, const std::function<void(ReportMaker&, FieldDef* id)>& filterAndSort,
            std::string* select, bool* programTests) {
    roundtrip::MakeReportFile(kDsn, path, "q6_lines", {"l_id", "qty", "amount", "note", "ldate"}, [&](ReportMaker& r) {
      // The comparison switches the program takes without a sort-order file.
      ApplyCollationToModel(&r.M(), CollationSwitches());
      FieldDef* id = r.Column("l_id");
      filterAndSort(r, id);
      const int record = r.Line(kBandRecord);
      r.Text(record, 0, "Line");
      r.Place(id, record, 5, 5, 0);
      r.Place(r.Column("note"), record, 12, 20);
      BuildSelectStatement(&r.M(), 0);
      *select = GetSelectResult(&r.M())->mainStatement;
      *programTests = GetSelectResult(&r.M())->engineFilterNeeded;
    });
  }

  // The line numbers the program printed, in order; empty with the reason
  // in output when it did not print.
  std::vector<int> Printed(const std::string& report, std::string* output) {
    int status = -1;
    *output = Capture("cd '" + dir_ + "' && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" + dir_ +
                          "' timeout 120 '" + ProgramPath() + "' /G '" + report + "' 2>&1",
                      &status);
    const std::string pdf = fs::path(report).replace_extension(".pdf").string();
    std::vector<int> ids;
    if (status != 0 || !fs::exists(pdf)) {
      *output += " (status " + std::to_string(status) + ")";
      return ids;
    }
    std::istringstream text(Capture("pdftotext -layout '" + pdf + "' - 2>/dev/null"));
    std::string word;
    for (std::string line; std::getline(text, line);) {
      std::istringstream words(line);
      int id = 0;
      if (words >> word && word == "Line" && words >> id) ids.push_back(id);
    }
    return ids;
  }

  bool postgres_ = false;
  std::string dir_;
};

TEST_P(TranslatedFilterRun, PrintsTheRowsTheProgramsMeaningLetsThrough) {
  const FilterCase& c = kCases[std::get<1>(GetParam())];
  const std::string report = dir_ + "/" + c.name + ".kmw";
  std::string select;
  bool programTests = true;
  Make(
      report,
      [&](ReportMaker& r, FieldDef* id) {
        FieldDef* f = c.calculation ? r.Calc("CHECKED", c.calculation) : r.Column("note");
        std::string error;
        ASSERT_TRUE(r.Filter({r.Row(0, f, c.op, c.value)}, &error)) << error;
        r.Sort(0, id, false);
      },
      &select, &programTests);
  EXPECT_EQ(programTests, !(postgres_ ? c.inSelect : c.inSqliteSelect)) << select;
  std::vector<int> expected;
  for (const Line& l : kLines)
    if (c.passes(l)) expected.push_back(l.id);
  ASSERT_FALSE(expected.empty());
  std::string output;
  EXPECT_EQ(Printed(report, &output), expected) << output << "\n" << select;
}

// Grouped on MOD(QTY, 4), each group prints once; sorted on a quotient whose
// divisor is zero in one row, every row prints and PostgreSQL does not fail.
class TranslatedSortRun : public TranslatedFilterRun {};

TEST_P(TranslatedSortRun, SortsOnCalculationsTheDatabaseComputes) {
  const std::string grouped = dir_ + "/grouped.kmw";
  std::string select;
  bool programTests = true;
  Make(
      grouped,
      [&](ReportMaker& r, FieldDef* id) {
        FieldDef* mod = r.Calc("REMAINDER", "MOD(QTY, 4)");
        std::string error;
        ASSERT_TRUE(r.Filter({r.Row(0, r.Column("qty"), kCondGreater, "-100")}, &error)) << error;
        r.Group(0, mod, false);
        r.Sort(1, id, false);
      },
      &select, &programTests);
  std::vector<std::pair<int, int>> order;  // remainder, line
  for (const Line& l : kLines)
    if (l.qty) order.push_back({((*l.qty % 4) + 4) % 4, l.id});
  std::sort(order.begin(), order.end());
  std::vector<int> expected;
  for (const auto& o : order) expected.push_back(o.second);
  std::string output;
  EXPECT_EQ(Printed(grouped, &output), expected) << output << "\n" << select;

  const std::string divided = dir_ + "/divided.kmw";
  Make(
      divided,
      [&](ReportMaker& r, FieldDef* id) {
        r.Sort(0, r.Calc("PER_UNIT", "AMOUNT / QTY"), false);
        r.Sort(1, id, false);
      },
      &select, &programTests);
  std::vector<int> printed = Printed(divided, &output);
  std::sort(printed.begin(), printed.end());
  std::vector<int> all;
  for (const Line& l : kLines) all.push_back(l.id);
  EXPECT_EQ(printed, all) << output << "\n" << select;
}

INSTANTIATE_TEST_SUITE_P(BothDatabases, TranslatedFilterRun,
                         ::testing::Combine(::testing::Values(0, 1),
                                            ::testing::Range(0, static_cast<int>(std::size(kCases)))),
                         [](const ::testing::TestParamInfo<std::tuple<int, int>>& i) {
                           return std::string(std::get<0>(i.param) == 0 ? "SQLite_" : "PostgreSQL_") +
                                  kCases[std::get<1>(i.param)].name;
                         });
INSTANTIATE_TEST_SUITE_P(BothDatabases, TranslatedSortRun,
                         ::testing::Combine(::testing::Values(0, 1), ::testing::Values(0)),
                         [](const ::testing::TestParamInfo<std::tuple<int, int>>& i) {
                           return std::get<0>(i.param) == 0 ? "SQLite" : "PostgreSQL";
                         });

}  // namespace
