// Reports generated from seeds over a table whose group columns hold missing
// values, zero, negative numbers and empty texts: one to three group levels
// on columns and on a calculation, sorts inside the groups, filters on
// fields, calculations and a pre-processed total, Count, Sum, Minimum,
// Maximum and Average in every footer, a pre-processed total in the first
// header (sometimes the order of the groups), one or three records across,
// the order left to the database or taken by the program; page totals under
// cover titles, repeated headers, Reset Page and new pages before and after
// bands, each page's against the database's over the records it holds.
// Each is saved and printed by the program (/G) on SQLite and on the private
// PostgreSQL server, and what it prints is compared with the database's own answer:
// its GROUP BY for every group's figures (a missing and an empty text as one
// group, a missing number as a group of its own), its ORDER BY for the
// records, each group one run of records.
//
// VT_REPORT_SEED=<n> runs that one report (on both databases), for a failure.
#include "app/document.h"
#include "core/condition_code.h"
#include "core/stack_value.h"
#include "dialogs/total_field_dialogs.h"
#include "engine/calc_pass.h"
#include "engine/doc_upkeep.h"
#include "tests/app/filterrun/database_run.h"
#include "tests/app/roundtrip/report_maker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace filter_run;
using roundtrip::ReportMaker;

constexpr int kRows = 64;
// Seeds 1 to 160 in shards small enough that each test program stays short
// on a busy machine.
constexpr int kShards = 16;
constexpr int kReportsPerShard = 10;

// The table: id, group columns with missing values (gn a number with 0 and
// negatives, gt a text with empty ones, gd a date, sn a small number), a
// name to sort by, an amount in quarters (sums are exact), a quantity and a
// fixed-width code; then columns of types the server orders by its own rules
// (on PostgreSQL a time, money, an enum, an address, a jsonb value, a json
// text and an interval; on SQLite a time and plain ones), whose texts order
// otherwise (enum c, b, a; 10.0.0.10 after 10.0.0.9; jsonb 10 after 9) and
// some of which the server calls equal (jsonb 1 and 1.0, '1 day' and '24 hours').
std::string TableScript(bool postgres) {
  // A text of blanks is the empty one, "b  " is "b": the trailing blanks do not count.
  const char* texts[] = {"a", "", "b  ", nullptr, "c", "  ", "a", nullptr, "b"};
  const char* intervals[] = {"1 day", "24 hours", "2 hours", "", "3 days"};
  const char* names[] = {"Ada", "Bo", "Cy", "Di", "Ed", "Flo", "Gus", "Hal", "Ivy", "Jo", "Kit"};
  std::string s = "drop table if exists gen;\n";
  if (postgres) s += "drop type if exists gmood;\ncreate type gmood as enum ('c', 'b', 'a');\n";
  s += "create table gen (id integer primary key, gn integer, gt varchar(8), gd date, sn integer, name varchar(10), "
       "amount ";
  s += postgres ? "double precision" : "double";
  s += ", qty integer, code char(6), tm time, ";
  s += postgres ? "mo money, md gmood, ip inet, js jsonb, jn json, iv interval);\n"
                : "mo numeric, md varchar(4), ip varchar(16), js text, jn text, iv text);\n";
  for (int i = 1; i <= kRows; ++i) {
    const int g = i * 7 % 11;
    const std::string gn = g == 1 || g == 6 || g == 9 ? "null" : g == 2 || g == 8 ? "0" : std::to_string(g % 4 - 1);
    const char* gt = texts[i * 5 % 9];
    char date[16];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", 1995 + i % 3, i % 4 * 3 + 1, i % 2 * 14 + 1);
    const std::string json = i % 10 == 7   ? "null"
                             : i % 11 == 5 ? "'1.0'"
                             : i % 13 == 4 ? "'10'"
                                           : "'" + std::to_string(i % 3 * 4 + 1) + "'";
    const std::string amount = i % 10 == 3 ? "null" : i % 9 == 0 ? "0" : std::to_string((i * 37 % 29 - 9) * 0.25);
    s += "insert into gen values (" + std::to_string(i) + ", " + gn + ", " +
         (gt == nullptr ? "null" : std::string("'") + gt + "'") + ", " +
         (i % 8 == 5 ? "null" : std::string("'") + date + "'") + ", " +
         (i % 7 == 0 ? "null" : std::to_string(i % 3)) + ", '" + names[i * 3 % 11] + "', " + amount + ", " +
         (i % 6 == 1 ? "null" : std::to_string(i * 5 % 13 - 4)) + ", " +
         (i % 5 == 2 ? "null" : i % 5 == 0 ? "'abcdef'" : i % 5 == 1 ? "''" : "'ab'") + ", " +
         (i % 6 == 0 ? "null" : i % 9 == 4 ? "'00:00:00'" : "'" + std::to_string(i * 5 % 7 + 10) + ":30:00'") + ", " +
         (i % 7 == 3 ? "null" : i % 5 == 0 ? "'0'" : "'" + std::to_string(i % 4 - 1) + ".25'") + ", " +
         (i % 8 == 2 ? "null" : std::string("'") + "abc"[i % 3] + "'") + ", " +
         (i % 9 == 1 ? "null" : "'10.0.0." + std::to_string(i % 12 + 1) + "'") + ", " + json + ", " + json + ", " +
         (i % 5 == 3 ? "null" : std::string("'") + intervals[i % 5] + "'") + ");\n";
  }
  return s;
}

// A group key: the field (a column or a calculation of the report), its SQL
// with "@." before each column, and how the program orders its missing values
// (kOwn: a type the server orders by its own rules; a missing value lowest).
enum class KeyKind { kNumber, kText, kDate, kFlagged, kOwn };
struct Key {
  const char* field;
  const char* sql;
  KeyKind kind;
};
const Key kKeys[] = {
    {"gn", "@.gn", KeyKind::kNumber},
    {"gt", "@.gt", KeyKind::kText},
    {"gd", "@.gd", KeyKind::kDate},
    {"sn", "@.sn", KeyKind::kNumber},
    {"M3", "(((@.qty % 3) + 3) % 3)", KeyKind::kFlagged},  // MOD(qty, 3): flagged where qty is missing
    // Only in the fixed cases below.
    {"tm", "@.tm", KeyKind::kOwn},
    {"mo", "@.mo", KeyKind::kOwn},
    {"md", "@.md", KeyKind::kOwn},
    {"ip", "@.ip", KeyKind::kOwn},
    {"js", "@.js", KeyKind::kOwn},
    // The server hands an empty fixed-width text over as blanks.
    {"code", "@.code", KeyKind::kText},
    {"G1", "substr(@.gt, 1, 1)", KeyKind::kText},  // LEFT(gt, 1): a blank, an empty text or NULL
    {"jn", "cast(@.jn as text)", KeyKind::kText},  // json: ordered by its text
    {"iv", "@.iv", KeyKind::kOwn},
};

// A filter condition and its SQL on each database (null: the same as SQLite's).
struct Condition {
  const char* field;
  uint8_t op;
  const char* values;
  const char* sql;
  const char* postgresSql;
};
const Condition kConditions[] = {
    {"qty", kCondGreater, "2", "@.qty > 2", nullptr},
    {"gn", kCondEqual, "0", "@.gn = 0", nullptr},
    {"gn", kCondNotEqual, "1", "@.gn <> 1", nullptr},
    {"gt", kCondEqual, "'a'", "@.gt = 'a'", nullptr},
    {"gt", kCondEqual, "'b'", "rtrim(@.gt) = 'b'", nullptr},
    {"gt", kCondLessEqual, "'b'", "rtrim(@.gt) <= 'b'", nullptr},
    {"gt", kCondOneOf, "'b','  '", "@.gt is null or rtrim(@.gt) in ('b', '')", nullptr},
    {"gt", kCondNoneOf, "'b','c'", "rtrim(@.gt) not in ('b', 'c')", nullptr},
    {"amount", kCondBetween, "-1,5", "@.amount between -1 and 5", nullptr},
    {"gn", kCondIsNull, "", "@.gn is null", nullptr},
    {"gt", kCondIsNotNull, "", "rtrim(@.gt) <> ''", nullptr},  // an empty or blank text is missing too
    {"A2", kCondEqual, "0", "@.amount * 2 = 0", nullptr},
    {"A2", kCondIsNull, "", "@.amount is null", nullptr},
    {"A2", kCondNotEqual, "0", "@.amount * 2 <> 0", nullptr},
    {"A2", kCondGreater, "3", "@.amount * 2 > 3", nullptr},
    // Whole numbers: the database tests the condition as the program does.
    {"Q2", kCondEqual, "0", "@.qty * 2 = 0", nullptr},
    {"Q2", kCondIsNull, "", "@.qty is null", nullptr},
    {"Q2", kCondNotEqual, "4", "@.qty * 2 <> 4", nullptr},
    // A date 30 days back: before 1 February 1996 is before 2 March 1996.
    {"LD", kCondLess, "{2/1/1996}", "@.gd < '1996-03-02'", nullptr},
    // The server pads a fixed-width text to its width; SQLite keeps it as stored.
    {"CLEN", kCondEqual, "6", "length(@.code) = 6", "@.code is not null"},
    // Calculations whose translation grows past its limit: the program's.
    {"Q24", kCondEqual, "1", "@.qty between 1 and 24", nullptr},
    {"R7", kCondGreater, "1", "@.amount * 1.5 > 1", nullptr},
};

// qty = 1 .OR. qty = 2 ... .OR. qty = 24, and ROUND nested seven deep.
std::string LongCalculation(bool rounds) {
  std::string t;
  if (rounds) {
    t = "amount * 1.5";
    for (int i = 0; i < 7; ++i) t = "ROUND(" + t + ", 2)";
    return t;
  }
  for (int i = 1; i <= 24; ++i) t += (i > 1 ? " .OR. " : "") + std::string("qty = ") + std::to_string(i);
  return "IIF(" + t + ", 1, 0)";
}

// The report a seed makes.
struct Spec {
  unsigned seed = 0;
  std::vector<std::pair<int, bool>> groups;  // key, descending
  int inner = 0;                             // 0 none, 1 name, 2 amount descending, 3 qty
  std::vector<std::pair<int, uint8_t>> filter;  // condition, joining (0 first, 1 and, 2 or)
  bool headerTotal = false;  // the first header shows a pre-processed total of its group
  bool totalFilter = false;  // and the filter keeps the groups whose total passes 3
  bool totalOrder = false;   // and the groups are sorted by that total, descending
  int across = 1;
  bool programSorts = false;
  bool programFilters = false;  // the filter is ORed with a condition only the program can test
  // What the bands show beside the groups' figures.
  bool pageTotals = false;       // Count, Sum and Maximum reset every page, on short pages
  bool printOnce = false;        // the first group's value on its records, Print Once
  bool footerFunctions = false;  // functions of the group's last record in every footer
  bool previousErrors = false;   // PREVIOUS of a calculation that is in error on every third record
  bool textCut = false;          // a text calculation far wider than its field
  bool errorTotal = false;       // the filter keeps the groups whose pre-processed Maximum in error passes >= 0
  // How the pages fall.
  int titleLines = 0;         // a Title band of so many lines, a cover page when it fills the first
  int headerLines = 1;        // the first level's header, whose lines may leave a record no room
  bool repeatHeader = false;  // and it repeats at the top of each page of its group
  bool resetPage = false;     // each group of the first level starts a page numbered 1
  int newPage = 0;            // a new page before the first header (1), after its footer (2), before a record (3)
  // Pages that end after a footer, and records over page ends.
  bool newPageBoth = false;   // a new page after the first footer and before the first header: no page between
  int recordLines = 1;        // the Record band's lines: the second and third hold wrapped texts
  bool pagePerGroup = false;  // each first-level group fits a page: as many pages as groups
  bool firstRecordCut = false;  // a page ends inside a group's first record
};

Spec Generate(unsigned seed) {
  std::mt19937 rng(seed);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  Spec s;
  s.seed = seed;
  const int levels = 1 + pick(3);
  std::vector<int> keys = {0, 1, 2, 3, 4};
  std::shuffle(keys.begin(), keys.end(), rng);
  // Most reports group first on the columns holding 0 and missing values.
  if (pick(2) == 0) std::swap(keys[0], *std::find(keys.begin(), keys.end(), pick(2)));
  for (int i = 0; i < levels; ++i) s.groups.push_back({keys[i], pick(4) == 0});
  s.inner = pick(4);
  s.headerTotal = pick(3) == 0;
  s.totalFilter = s.headerTotal && pick(2) == 0;
  s.totalOrder = s.headerTotal && !s.totalFilter && pick(2) == 0;
  if (!s.totalFilter) {
    const int conditions = pick(3);
    for (int i = 0; i < conditions; ++i)
      s.filter.push_back({pick(static_cast<int>(std::size(kConditions))), static_cast<uint8_t>(i == 0 ? 0 : 1 + pick(2))});
  }
  s.across = pick(3) == 0 ? 3 : 1;
  s.programSorts = pick(2) == 0;
  s.programFilters = pick(2) == 0;
  s.pageTotals = pick(3) == 0;
  s.printOnce = pick(3) == 0;
  s.footerFunctions = pick(3) == 0;
  // The record's order is read from the lines only one across.
  s.previousErrors = s.across == 1 && pick(3) == 0;
  s.textCut = s.across == 1 && pick(3) == 0;
  s.titleLines = pick(3) == 0 ? 12 + pick(24) : 0;
  s.repeatHeader = pick(3) == 0;
  s.headerLines = 1 + pick(4);
  s.resetPage = pick(4) == 0;
  s.newPage = pick(4) == 0 ? 1 + pick(s.across == 1 ? 3 : 2) : 0;
  s.newPageBoth = s.newPage == 2 && pick(2) == 0;
  s.recordLines = 1 + pick(3);
  return s;
}

std::string Describe(const Spec& s) {
  std::string d = "seed " + std::to_string(s.seed) + ": groups";
  for (const auto& g : s.groups) d += std::string(" ") + kKeys[g.first].field + (g.second ? " desc" : "");
  d += ", inner " + std::to_string(s.inner) + ", filter";
  for (const auto& c : s.filter)
    d += std::string(c.second == 2 ? " or " : c.second == 1 ? " and " : " ") + kConditions[c.first].sql;
  if (s.headerTotal) d += ", header total";
  if (s.totalFilter) d += " > 3";
  if (s.errorTotal) d += ", a Maximum in error >= 0";
  if (s.totalOrder) d += " sorting the groups";
  d += ", " + std::to_string(s.across) + " across";
  d += s.programSorts ? ", the program sorts" : ", the database sorts";
  if (s.programFilters && (!s.filter.empty() || s.totalFilter)) d += ", the program filters";
  if (s.pageTotals) d += ", page totals";
  if (s.printOnce) d += ", Print Once";
  if (s.footerFunctions) d += ", functions in footers";
  if (s.previousErrors) d += ", PREVIOUS of errors";
  if (s.textCut) d += ", a text cut";
  if (s.titleLines) d += ", a title of " + std::to_string(s.titleLines) + " lines";
  d += ", " + std::to_string(s.headerLines) + " header lines";
  if (s.repeatHeader) d += " repeated";
  if (s.resetPage) d += ", Reset Page";
  const char* newPage[] = {"", ", a new page before the header", ", a new page after the footer",
                           ", a new page before a record"};
  d += newPage[s.newPage];
  if (s.newPageBoth) d += " and before the header";
  if (s.recordLines > 1) d += ", " + std::to_string(s.recordLines) + " record lines";
  return d;
}

std::string Replace(std::string s, const std::string& from, const std::string& to) {
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
    s.replace(at, from.size(), to);
  return s;
}

// What was printed: group headers and footers by level, records, the grand
// line and the page footers, each with its page; a record with what it
// shows beside its id.
struct Event {
  char kind;  // 'H', 'F', 'X' (a footer's second line), 'R', 'G', 'P'
  int level = 0;
  std::string id;
  std::map<std::string, std::string> figures;  // label -> printed text ("" when blank)
  int page = 0;
};

// The labels a line of each kind gives its figures by.
const std::set<std::string>& LabelsOf(char kind) {
  static const std::map<char, std::set<std::string>> labels = {
      {'H', {"t", "i"}},      {'F', {"n", "s", "lo", "hi", "av"}}, {'X', {"u", "l", "z", "q", "d"}},
      {'G', {"n", "s", "c"}}, {'P', {"n", "s", "lo", "hi", "r"}},  {'R', {"o", "p", "t", "|", "v"}}};
  return labels.at(kind);
}

std::vector<Event> ReadPrint(const std::string& text) {
  std::vector<Event> events;
  int page = 0;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    page += static_cast<int>(std::count(line.begin(), line.end(), '\f'));
    std::vector<std::string> w = Columns(Words(Replace(line, "\f", " ")), ' ');
    for (size_t i = 0; i < w.size(); ++i) {
      const std::string& t = w[i];
      const bool levelled =
          t.size() == 2 && (t[0] == 'H' || t[0] == 'F' || t[0] == 'X') && std::isdigit(static_cast<unsigned char>(t[1]));
      const bool record = t == "R" && i + 1 < w.size();
      if (!levelled && !record && t != "G" && t != "P") continue;
      Event e{t[0], levelled ? t[1] - '0' : 0, "", {}, page};
      size_t j = i + 1;
      if (record) e.id = w[j++];
      // Labelled figures to the end of the line (a record's to the next
      // record); a blank figure is no word.
      const std::set<std::string>& labels = LabelsOf(e.kind);
      for (; j < w.size() && !(record && w[j] == "R"); ++j) {
        if (!labels.count(w[j])) continue;
        const bool value = j + 1 < w.size() && !labels.count(w[j + 1]) && w[j + 1] != "R";
        e.figures[w[j]] = value ? w[j + 1] : "";
      }
      events.push_back(e);
      if (!record) break;
      i = j - 1;
    }
  }
  return events;
}

// The text of a PDF, a line for each row of words that share their top on
// a page (within a few points), left to right, pages ended by a form feed:
// unlike the layout reader, a word in another font stays on its line.
std::string PrintedText(const std::string& pdf) {
  std::istringstream in(Capture("pdftotext -bbox '" + pdf + "' - 2>/dev/null"));
  struct Word {
    double x, y;
    std::string text;
  };
  std::string text;
  std::vector<Word> page;
  auto endPage = [&] {
    std::stable_sort(page.begin(), page.end(), [](const Word& a, const Word& b) { return a.y < b.y; });
    for (size_t i = 0; i < page.size();) {
      size_t j = i;
      while (j < page.size() && page[j].y - page[i].y < 3.0) ++j;
      std::stable_sort(page.begin() + static_cast<long>(i), page.begin() + static_cast<long>(j),
                       [](const Word& a, const Word& b) { return a.x < b.x; });
      for (size_t k = i; k < j; ++k) text += (k > i ? " " : "") + page[k].text;
      text += "\n";
      i = j;
    }
    text += "\f";
    page.clear();
  };
  for (std::string line; std::getline(in, line);) {
    if (line.find("</page>") != std::string::npos) endPage();
    const size_t at = line.find("<word ");
    if (at == std::string::npos) continue;
    auto number = [&](const char* key) {
      const size_t k = line.find(key, at);
      return k == std::string::npos ? 0.0 : std::atof(line.c_str() + k + std::strlen(key));
    };
    const size_t open = line.find('>', at), close = line.find("</word>", at);
    if (open == std::string::npos || close == std::string::npos) continue;
    std::string word = line.substr(open + 1, close - open - 1);
    word = Replace(Replace(Replace(word, "&lt;", "<"), "&gt;", ">"), "&amp;", "&");
    page.push_back({number("xMin=\""), number("yMin=\""), word});
  }
  return text;
}

// A printed figure as a number ("" stays "").
std::string Printed(const std::string& figure) {
  if (figure.empty()) return "";
  std::string f = Replace(figure, ",", "");
  if (f.front() == '(' && f.back() == ')') f = "-" + f.substr(1, f.size() - 2);
  return Figure(f);
}

class GeneratedReports : public DatabaseRunTest {
 protected:
  std::string Tables() const override { return TableScript(db_.postgres()); }

  // A total with the format the Total dialog gives it.
  static FieldDef* Total(ReportMaker& r, const char* name, FieldDef* source, uint8_t kind, uint8_t reset,
                         bool preprocessed = false) {
    FieldDef* t = r.Total(name, source, kind, reset, preprocessed);
    SetTotalFormat(t, source, kind);
    return t;
  }

  // A line of the band: its label, then each total after its own label
  // (the totals named by the line's and their labels).
  struct Labelled {
    const char* label;
    FieldDef* source;
    uint8_t kind;
  };
  static int TotalsLine(ReportMaker& r, BYTE band, const char* label, uint8_t reset,
                        std::initializer_list<Labelled> totals) {
    const int line = r.Line(band);
    r.Text(line, 0, label);
    int column = 4;
    for (const Labelled& t : totals) {
      r.Text(line, column, t.label);
      const std::string name = std::string(label) + t.label;
      r.Place(Total(r, name.c_str(), t.source, t.kind, reset), line, column + 3, 9, 2);
      column += 13;
    }
    return line;
  }

  bool Build(CKmDoc& doc, CKmRepIO& io, const Spec& s, std::string* error) {
    ReportMaker r(doc, io);
    const std::vector<const char*> columns = {"id",   "gn", "gt", "gd", "sn", "name", "amount", "qty",
                                              "code", "tm", "mo", "md", "ip", "js", "jn",   "iv"};
    if (!r.Begin(kDsn, "gen", columns, error)) return false;
    std::map<std::string, FieldDef*> f;
    for (const char* c : columns) f[c] = r.Column(c);
    f["M3"] = r.Calc("M3", "MOD(qty, 3)");
    f["A2"] = r.Calc("A2", "amount * 2");
    f["Q2"] = r.Calc("Q2", "qty * 2");
    f["LD"] = r.Calc("LD", "gd - 30");
    f["CLEN"] = r.Calc("CLEN", "LEN(code)");
    f["ZERO"] = r.Calc("ZERO", "MONLEN({1/1/2000}) * 0");  // no database computes it
    f["G1"] = r.Calc("G1", "LEFT(gt, 1)");
    f["DE"] = r.Calc("DE", "DAYSBTWN(gd, gd)");  // in error where gd is missing
    f["Q24"] = r.Calc("Q24", LongCalculation(false).c_str());
    f["R7"] = r.Calc("R7", LongCalculation(true).c_str());
    for (const char* c : {"M3", "A2", "Q2", "LD", "CLEN", "G1", "DE", "ZERO", "Q24", "R7"})
      if (f[c] != nullptr) f[c]->head.flags &= ~kItemKindField;
    if (s.headerTotal) f["CT"] = Total(r, "CT", f["amount"], kSummarySum, 0, true);
    if (s.errorTotal) f["XT"] = Total(r, "XT", f["DE"], kSummaryMaximum, 0, true);
    for (const auto& e : f)
      if (e.second == nullptr) return *error = "no field " + e.first, false;

    std::vector<SelectConditionRow> rows;
    for (const auto& c : s.filter) {
      const Condition& k = kConditions[c.first];
      rows.push_back(r.Row(c.second, f[k.field], k.op, k.values));
    }
    if (s.totalFilter) rows.push_back(r.Row(0, f["CT"], kCondGreater, "3"));
    if (s.errorTotal) rows.push_back(r.Row(rows.empty() ? 0 : 1, f["XT"], kCondGreaterEqual, "0"));
    // Always false: the same records, but the whole filter is the program's.
    if (s.programFilters && !rows.empty()) rows.push_back(r.Row(2, f["ZERO"], kCondGreater, "1"));
    if (!rows.empty() && !r.Filter(rows, error)) return false;

    int slot = 0;
    if (s.programSorts) r.Sort(slot++, f["ZERO"], false);
    if (s.totalOrder) r.Sort(slot++, f["CT"], true);
    for (size_t level = 0; level < s.groups.size(); ++level) {
      FieldDef* g = f[kKeys[s.groups[level].first].field];
      r.M().groupFields[level] = r.M().GetFieldIndex(g);
      r.M().groupFlags[level] = 1;
      r.Sort(slot++, g, s.groups[level].second);
    }
    if (s.inner == 1) r.Sort(slot++, f["name"], false);
    if (s.inner == 2) r.Sort(slot++, f["amount"], true);
    if (s.inner == 3) r.Sort(slot++, f["qty"], false);
    r.Sort(slot++, f["id"], false);

    // A new page where a band's line asks for one.
    auto newPageLine = [&](BYTE band) { doc.m_bandLines.lines[r.Line(band)].flags |= 1; };
    for (int i = 0; i < s.titleLines; ++i) r.Text(r.Line(kBandTitle), 0, "cover");
    for (size_t level = 0; level < s.groups.size(); ++level) {
      if (level == 0 && (s.newPage == 1 || s.newPageBoth)) newPageLine(kBandGroupHeader);
      const int line = r.Line(static_cast<BYTE>(kBandGroupHeader + level));
      r.Text(line, 0, ("H" + std::to_string(level)).c_str());
      if (level > 0) continue;
      if (s.headerTotal) {
        r.Text(line, 4, "t");
        r.Place(f["CT"], line, 6, 10, 2);
      }
      r.Text(line, 18, "i");
      r.Place(DuplicateField(&doc, f["id"]), line, 20, 6, 0);
      for (int more = 1; more < s.headerLines; ++more) r.Text(r.Line(kBandGroupHeader), 2, "-");
    }
    if (!s.groups.empty()) {
      if (s.repeatHeader) r.M().groupFlags[0] |= kGroupRepeatHeader;
      if (s.resetPage) r.M().groupFlags[0] |= kGroupResetPage;
    }
    if (s.newPage == 3) newPageLine(kBandRecord);
    const int record = r.Line(kBandRecord);
    r.Text(record, 0, "R");
    r.Place(f["id"], record, 2, 4, 0);
    if (s.printOnce) {
      r.M().groupFlags[0] |= kGroupPrintOnce;
      r.Text(record, 7, "o");
      r.Place(f[kKeys[s.groups[0].first].field], record, 9, 8, 0);
    }
    if (s.previousErrors) {
      FieldDef* e = r.Calc("E3", "100 / MOD(id, 3)");
      FieldDef* p = r.Calc("PE3", "PREVIOUS(E3)");
      if (e == nullptr || p == nullptr) return *error = "no PREVIOUS", false;
      e->head.flags &= ~kItemKindField;
      r.Text(record, 18, "p");
      r.Place(p, record, 20, 8, 2);
    }
    if (s.textCut) {
      // Its operands are not on the layout: the text may grow past the field.
      FieldDef* t = r.Calc("WIDE", "IIF(amount > 2, REPLICATE('ab', 40), 'no') + REPLICATE('b', 1 / MOD(id, 3) * 0)");
      if (t == nullptr) return *error = "no text calculation", false;
      r.Text(record, 29, "t");
      r.Place(t, record, 31, 12);
      r.Text(record, 44, "|");
    }
    // PREVIOUS(qty) on the record, and in the footers itself and as a copy
    // of the record's field.
    FieldDef* previousQty = s.footerFunctions ? r.Calc("PQ", "PREVIOUS(qty)") : nullptr;
    if (s.footerFunctions && previousQty == nullptr) return *error = "no PREVIOUS(qty)", false;
    if (previousQty != nullptr && s.across == 1) {
      r.Text(record, 47, "v");
      r.Place(previousQty, record, 49, 5, 0);
    } else if (previousQty != nullptr) {
      previousQty->head.flags &= ~kItemKindField;
    }
    // Texts that wrap over the lines of a record, and over page ends.
    for (int more = 1; more < s.recordLines; ++more) {
      FieldDef* w = r.Calc(("W" + std::to_string(more)).c_str(),
                           more == 1 ? "REPLICATE(LOWER(name) + ' ', 1 + MOD(id, 4))" : "REPLICATE('w ', MOD(id, 3) * 5)");
      if (w == nullptr) return *error = "no wrapped text", false;
      r.Place(w, r.Line(kBandRecord), 2, 8);
      w->formatCode = (w->formatCode & ~0xF0u) | 0x40;
    }
    for (size_t level = s.groups.size(); level-- > 0;) {
      const std::string l = std::to_string(level);
      TotalsLine(r, static_cast<BYTE>(kBandGroupFooter + level), ("F" + l).c_str(), static_cast<uint8_t>(level),
                 {{"n", f["amount"], kSummaryCount},
                  {"s", f["amount"], kSummarySum},
                  {"lo", f["amount"], kSummaryMinimum},
                  {"hi", f["amount"], kSummaryMaximum},
                  {"av", f["amount"], kSummaryAverage}});
      if (s.footerFunctions) {
        const int more = r.Line(static_cast<BYTE>(kBandGroupFooter + level));
        r.Text(more, 0, ("X" + std::to_string(level)).c_str());
        const std::pair<const char*, const char*> shown[] = {
            {"u", "UPPER(name)"}, {"l", "LEN(name)"}, {"z", "IIF(ISNULL(gt), 'yes', 'no')"}};
        int at = 4;
        for (const auto& e : shown) {
          const std::string name = std::string("X") + e.first + std::to_string(level);
          FieldDef* x = r.Calc(name.c_str(), e.second);
          if (x == nullptr) return *error = e.second, false;
          r.Text(more, at, e.first);
          r.Place(x, more, at + 2, 8, 0);
          at += 12;
        }
        FieldDef* q = r.Calc(("XQ" + std::to_string(level)).c_str(), "PREVIOUS(qty)");
        if (q == nullptr) return *error = "no PREVIOUS(qty)", false;
        r.Text(more, at, "q");
        r.Place(q, more, at + 2, 5, 0);
        r.Text(more, at + 8, "d");
        r.Place(DuplicateField(&doc, previousQty), more, at + 10, 5, 0);
      }
      if (level == 0 && s.newPage == 2) newPageLine(kBandGroupFooter);
    }
    if (s.pageTotals) {
      const int line = TotalsLine(r, kBandPageFooter, "P", kSummaryResetPage,
                                  {{"n", f["amount"], kSummaryCount},
                                   {"s", f["amount"], kSummarySum},
                                   {"lo", f["amount"], kSummaryMinimum},
                                   {"hi", f["id"], kSummaryMaximum}});
      r.Text(line, 56, "r");
      r.Place(DuplicateField(&doc, f["id"]), line, 58, 6, 0);
    }
    TotalsLine(r, kBandSummary, "G", kSummaryResetNever,
               {{"n", f["amount"], kSummaryCount}, {"s", f["amount"], kSummarySum}, {"c", f["id"], kSummaryCount}});
    r.Finish();
    PageSetupRec& page = *doc.m_pPageSetup;
    if (s.across > 1) {
      SetLabelArrangement(page, s.across, false);
      page.RecordWidth = 200;
    }
    if (s.pageTotals) page.TopMargin = page.BottomMargin = 330;  // some twenty lines to a page
    CalcPageMetrics(doc);
    return true;
  }

  // The filter in SQL over the table named by alias; with the total's
  // condition taken as true (as the totals are worked out) or left out.
  std::string FilterSql(const Spec& s, const std::string& alias) const {
    std::string sql;
    for (const auto& c : s.filter) {
      const Condition& k = kConditions[c.first];
      const char* text = db_.postgres() && k.postgresSql != nullptr ? k.postgresSql : k.sql;
      sql += std::string(c.second == 2 ? " or " : c.second == 1 ? " and " : "") + "(" + Replace(text, "@", alias) +
             ")";
    }
    return sql.empty() ? "1 = 1" : sql;
  }

  std::string KeySql(int key, const std::string& alias) const { return Replace(kKeys[key].sql, "@", alias); }
  // A key as text that tells every group apart: a missing text is an empty
  // one; values the server calls equal are one group (named by the least text
  // among them).
  std::string KeyText(int key, const std::string& alias) const {
    const std::string k = KeySql(key, alias);
    if (kKeys[key].kind == KeyKind::kText) return "rtrim(coalesce(" + k + ", ''))";
    if (kKeys[key].kind == KeyKind::kOwn && db_.postgres())
      return "coalesce((select min(cast(" + KeySql(key, "eq") + " as text)) from gen eq where " + KeySql(key, "eq") +
             " = " + k + "), 'missing')";
    return "coalesce(cast(" + k + " as varchar(20)), 'missing')";
  }
  // The same group on two rows.
  std::string SameGroup(int key, const std::string& a, const std::string& b) const {
    return KeyText(key, a) + " = " + KeyText(key, b);
  }

  // The group's total of the first level, over the rows the filter lets
  // through with its total's condition taken as true.
  std::string GroupTotal(const Spec& s) const {
    return "(select sum(x.amount) from gen x where " + SameGroup(s.groups[0].first, "x", "gen") + " and (" +
           FilterSql(s, "x") + "))";
  }

  std::string WhereSql(const Spec& s) const {
    std::string w = FilterSql(s, "gen");
    if (s.totalFilter) w = "(" + w + ") and " + GroupTotal(s) + " > 3";
    // A group holding a missing gd has its Maximum of DAYSBTWN in error.
    if (s.errorTotal)
      w = "(" + w + ") and not exists (select 1 from gen x where " + SameGroup(s.groups[0].first, "x", "gen") +
          " and (" + FilterSql(s, "x") + ") and x.gd is null)";
    return w;
  }

  // The order the program is to print the records in, as SQL.
  std::string OrderSql(const Spec& s) const {
    std::string o;
    auto add = [&o](const std::string& term) { o += (o.empty() ? "" : ", ") + term; };
    if (s.totalOrder) add("coalesce(" + GroupTotal(s) + ", 0) desc");
    for (const auto& g : s.groups) {
      const std::string k = KeySql(g.first, "gen");
      const std::string d = g.second ? " desc" : "";
      // SQLite keeps money as a plain number.
      const bool plainNumber = !db_.postgres() && std::strcmp(kKeys[g.first].field, "mo") == 0;
      switch (plainNumber ? KeyKind::kNumber : kKeys[g.first].kind) {
        case KeyKind::kNumber:  // a missing number just before 0
          add("coalesce(" + k + ", 0)" + d);
          add("case when " + k + " is null then 0 else 1 end" + d);
          break;
        case KeyKind::kText: add("rtrim(coalesce(" + k + ", ''))" + d); break;
        case KeyKind::kDate:
        case KeyKind::kOwn: add("case when " + k + " is null then 0 else 1 end" + d); add(k + d); break;
        case KeyKind::kFlagged:  // flagged values after every value
          add("case when " + k + " is null then 1 else 0 end" + d);
          add(k + d);
          break;
      }
    }
    if (s.inner == 1) add("gen.name");
    if (s.inner == 2) add("coalesce(gen.amount, 0) desc, case when gen.amount is null then 0 else 1 end desc");
    if (s.inner == 3) add("coalesce(gen.qty, 0), case when gen.qty is null then 0 else 1 end");
    add("gen.id");
    return o;
  }

  static std::string Number(const std::string& v) { return v.empty() ? "" : Figure(v); }

  // The database's PREVIOUS(qty) of each record: lag() over the printed order.
  std::map<std::string, std::string> PreviousQty(const Spec& s) {
    std::map<std::string, std::string> lag;
    for (const std::string& row : db_.Query("select gen.id, lag(gen.qty) over (order by " + OrderSql(s) +
                                            ") from gen where " + WhereSql(s))) {
      std::vector<std::string> c = Columns(row);
      c.resize(2);
      lag[c[0]] = c[1];
    }
    return lag;
  }

  // Every printed group, record and figure against the database.
  void Check(const Spec& s, const std::string& text) {
    SCOPED_TRACE(Describe(s));
    const std::vector<Event> events = ReadPrint(text);
    const std::string where = WhereSql(s);
    const size_t levels = s.groups.size();

    // The records in the database's order.
    std::vector<std::string> printed;
    for (const Event& e : events)
      if (e.kind == 'R') printed.push_back(e.id);
    std::vector<std::string> expected =
        db_.Query("select gen.id from gen where " + where + " order by " + OrderSql(s));
    std::map<std::string, size_t> placeOf;  // id -> place in the database's order
    for (size_t i = 0; i < expected.size(); ++i) placeOf[expected[i]] = i;
    auto first = [&placeOf](const std::vector<std::string>& ids) {
      return *std::min_element(ids.begin(), ids.end(),
                               [&](const std::string& a, const std::string& b) { return placeOf[a] < placeOf[b]; });
    };
    CheckRecordValues(s, events, first);
    EXPECT_EQ(printed, expected) << text;
    std::map<std::string, std::string> previousQty;
    if (s.footerFunctions) previousQty = PreviousQty(s);

    // Each record's group keys, as the database groups them.
    std::string keyColumns;
    for (size_t l = 0; l < levels; ++l) keyColumns += ", " + KeyText(s.groups[l].first, "gen");
    std::map<std::string, std::vector<std::string>> keysOf;  // id -> keys by level
    for (const std::string& row : db_.Query("select gen.id" + keyColumns + " from gen where " + where)) {
      std::vector<std::string> c = Columns(row);
      c.resize(levels + 1);
      keysOf[c[0]] = std::vector<std::string>(c.begin() + 1, c.end());
    }

    std::set<std::string> onceFirst;  // the first record of each first-level group
    for (size_t level = 0; level < levels; ++level) {
      SCOPED_TRACE("level " + std::to_string(level));
      // The database's figures of each group of this level.
      std::string groupBy, select;
      for (size_t l = 0; l <= level; ++l) {
        groupBy += (l ? ", " : "") + KeyText(s.groups[l].first, "gen");
        select += KeyText(s.groups[l].first, "gen") + ", ";
      }
      std::map<std::string, std::vector<std::string>> figures;
      for (const std::string& row :
           db_.Query("select " + select + "count(gen.amount), sum(gen.amount), min(gen.amount), max(gen.amount), " +
                     "avg(gen.amount), count(*) from gen where " + where + " group by " + groupBy)) {
        std::vector<std::string> c = Columns(row);
        c.resize(level + 7);
        std::string key;
        for (size_t l = 0; l <= level; ++l) key += c[l] + "\x1f";
        figures[key] = std::vector<std::string>(c.begin() + static_cast<long>(level) + 1, c.end());
      }
      // The printed runs: a header, its records, its footer.
      std::set<std::string> seen;
      std::vector<std::string> run;
      bool open = false;
      std::string headerTotal, headerId, lastOfRun;
      for (size_t at = 0; at < events.size(); ++at) {
        const Event& e = events[at];
        if (e.kind == 'X' && e.level == static_cast<int>(level)) {
          // The footer shows the group's last record.
          ASSERT_FALSE(lastOfRun.empty()) << "a footer's line without its group\n" << text;
          const std::vector<std::string> last = Columns(
              db_.Query("select upper(name), length(name), case when gt is null then 'yes' else 'no' end from gen "
                        "where id = " + lastOfRun).front());
          EXPECT_EQ(e.figures.at("u"), last[0]) << "UPPER(name) in the footer of " << lastOfRun;
          EXPECT_EQ(Printed(e.figures.at("l")), Figure(last[1])) << "LEN(name) in the footer of " << lastOfRun;
          EXPECT_EQ(e.figures.at("z"), last[2]) << "ISNULL(gt) in the footer of " << lastOfRun;
          // PREVIOUS of the group's last record, as the footer's other fields show that record.
          EXPECT_EQ(Printed(e.figures.count("q") ? e.figures.at("q") : "?"), Number(previousQty[lastOfRun])) << "PREVIOUS(qty) in the footer of " << lastOfRun;
          EXPECT_EQ(Printed(e.figures.count("d") ? e.figures.at("d") : "?"), Number(previousQty[lastOfRun]))
              << "the record's PREVIOUS(qty) copied in the footer of " << lastOfRun;
          continue;
        }
        if (e.kind == 'H' && e.level == static_cast<int>(level)) {
          if (level == 0 && s.repeatHeader && (open || RepeatedAfterFooter(events, at))) continue;
          EXPECT_FALSE(open) << "a header inside an open group\n" << text;
          open = true;
          run.clear();
          headerTotal = e.figures.count("t") ? e.figures.at("t") : "";
          headerId = e.figures.count("i") ? e.figures.at("i") : "(none)";
        } else if (e.kind == 'R') {
          EXPECT_TRUE(open) << "record " << e.id << " outside a group\n" << text;
          run.push_back(e.id);
        } else if (e.kind == 'F' && e.level == static_cast<int>(level)) {
          EXPECT_TRUE(open) << "a footer without its header\n" << text;
          open = false;
          ASSERT_FALSE(run.empty()) << "a group without records\n" << text;
          lastOfRun = *std::max_element(run.begin(), run.end(), [&](const std::string& a, const std::string& b) {
            return placeOf[a] < placeOf[b];
          });
          if (level == 0 && s.printOnce) onceFirst.insert(first(run));
          // The group's header shows its first record.
          if (level == 0) {
            EXPECT_EQ(Printed(headerId), Printed(first(run))) << "the header of " << first(run) << "\n" << text;
          }
          std::string key;
          for (size_t l = 0; l <= level; ++l) key += keysOf[run[0]][l] + "\x1f";
          for (const std::string& id : run)
            for (size_t l = 0; l <= level; ++l)
              EXPECT_EQ(keysOf[id][l], keysOf[run[0]][l]) << "record " << id << " in the group of " << run[0];
          EXPECT_TRUE(seen.insert(key).second) << "the group of record " << run[0] << " prints in pieces\n" << text;
          auto it = figures.find(key);
          ASSERT_NE(it, figures.end()) << "no such group in the database: " << key;
          const std::vector<std::string>& d = it->second;
          EXPECT_EQ(std::to_string(run.size()), d[5]) << "records of the group of " << run[0];
          EXPECT_EQ(Printed(e.figures.at("n")), Figure(d[0])) << "count, group of " << run[0];
          EXPECT_EQ(Printed(e.figures.at("s")), Figure(d[1].empty() ? "0" : d[1])) << "sum, group of " << run[0];
          EXPECT_EQ(Printed(e.figures.at("lo")), Number(d[2])) << "minimum, group of " << run[0];
          EXPECT_EQ(Printed(e.figures.at("hi")), Number(d[3])) << "maximum, group of " << run[0];
          EXPECT_NEAR(std::atof(Printed(e.figures.at("av")).c_str()), std::atof(d[4].c_str()), 0.0051)
              << "average, group of " << run[0];
          if (level == 0 && s.headerTotal) {
            const std::vector<std::string> total =
                db_.Query("select coalesce(sum(x.amount), 0) from gen x, gen y where y.id = " + run[0] + " and " +
                          SameGroup(s.groups[0].first, "x", "y") + " and (" + FilterSql(s, "x") + ")");
            ASSERT_EQ(total.size(), 1u);
            EXPECT_EQ(Printed(headerTotal), Figure(total[0])) << "header total of " << run[0];
          }
        }
      }
      EXPECT_FALSE(open) << "a group without its footer\n" << text;
      EXPECT_EQ(seen.size(), figures.size()) << "groups printed and in the database\n" << text;
    }

    // Records whose first group value prints blank (a flagged one prints stars).
    std::set<std::string> blank;
    if (levels > 0 && kKeys[s.groups[0].first].kind != KeyKind::kFlagged)
      for (const auto& k : keysOf)
        if (k.second[0] == "missing" || k.second[0].empty()) blank.insert(k.first);
    CheckPages(s, events, first, onceFirst, blank, text);

    // The grand totals.
    const std::vector<std::string> grand =
        Columns(db_.Query("select count(gen.amount), coalesce(sum(gen.amount), 0), count(*) from gen where " + where)
                    .front());
    bool found = false;
    for (const Event& e : events) {
      if (e.kind != 'G') continue;
      found = true;
      EXPECT_EQ(Printed(e.figures.at("n")), Figure(grand[0]));
      EXPECT_EQ(Printed(e.figures.at("s")), Figure(grand[1]));
      EXPECT_EQ(Printed(e.figures.at("c")), Figure(grand[2]));
    }
    if (!expected.empty()) {
      EXPECT_TRUE(found) << text;
    }
  }

  // A first-level header repeated on a page of its group; also at the top
  // of the page a footer's last line, a new page, began: the next group's
  // own header follows before any record.
  static bool RepeatedAfterFooter(const std::vector<Event>& events, size_t at) {
    for (size_t i = at + 1; i < events.size() && events[i].kind != 'R'; ++i)
      if (events[i].kind == 'H' && events[i].level == 0) return true;
    return false;
  }

  using First = std::function<std::string(const std::vector<std::string>&)>;

  // Each page's totals over its own records; Print Once on the first record
  // of each first-level group and of each page.
  // (A missing or empty group value prints blank wherever it prints.)
  void CheckPages(const Spec& s, const std::vector<Event>& events, const First& first,
                  const std::set<std::string>& groupFirst, const std::set<std::string>& blank,
                  const std::string& text) {
    std::map<int, std::vector<std::string>> idsOf;
    size_t records = 0;
    for (const Event& e : events)
      if (e.kind == 'R') idsOf[e.page].push_back(e.id), ++records;
    if (s.printOnce) {
      std::set<std::string> shown, expected;
      for (const std::string& id : groupFirst)
        if (!blank.count(id)) expected.insert(id);
      for (const auto& p : idsOf)
        if (!blank.count(first(p.second))) expected.insert(first(p.second));
      for (const Event& e : events)
        if (e.kind == 'R' && e.figures.count("o") && !e.figures.at("o").empty()) shown.insert(e.id);
      EXPECT_EQ(shown, expected) << "the records showing the group Print Once\n" << text;
    }
    // A new page after each first-level footer and before its header: no
    // page holds such a header without a record or a footer after it.
    if (s.newPageBoth) {
      std::map<int, bool> headerLast;  // page -> nothing of its group follows its last first-level header
      for (const Event& e : events) {
        if (e.kind == 'H' && e.level == 0) headerLast[e.page] = true;
        if (e.kind == 'R' || e.kind == 'F') headerLast[e.page] = false;
      }
      for (const auto& p : headerLast)
        EXPECT_FALSE(p.second) << "page " << p.first + 1 << " holds only a header of its group\n" << text;
    }
    if (s.pagePerGroup) {
      const std::string groups = db_.Query("select count(distinct " + KeyText(s.groups[0].first, "gen") +
                                           ") from gen where " + WhereSql(s)).front();
      EXPECT_EQ(std::to_string(std::count(text.begin(), text.end(), '\f')), groups) << "a page for each group\n" << text;
    }
    if (!s.pageTotals) return;
    // A page that ends after a group's footer (of any level, on any road):
    // its Page Footer shows that group's last record.
    std::string lastRecord;
    bool footerAfter = false;  // a footer printed after the last record
    bool afterHeader = false, groupFirst = false;  // the last record is the first after a header
    int footers = 0, cutFirsts = 0;
    // The pages that begin with the rest of a record: no labelled line first.
    std::vector<bool> begunInRecord;
    std::istringstream pages(text);
    for (std::string page; std::getline(pages, page, '\f');) {
      page.erase(0, page.find_first_not_of('\n'));
      begunInRecord.push_back(!page.empty() && ReadPrint(page.substr(0, page.find('\n'))).empty());
    }
    for (const Event& e : events) {
      if (e.kind == 'R') lastRecord = e.id, footerAfter = false, groupFirst = afterHeader, afterHeader = false;
      if (e.kind == 'H') afterHeader = true;
      if (e.kind == 'F') footerAfter = true;
      if (e.kind != 'P') continue;
      ++footers;
      std::vector<std::string> d = {"0", "0", "", ""};
      if (idsOf.count(e.page)) {
        std::string in;
        for (const std::string& id : idsOf[e.page]) in += (in.empty() ? "" : ", ") + id;
        d = Columns(db_.Query("select count(amount), coalesce(sum(amount), 0), min(amount), max(id) from gen "
                              "where id in (" + in + ")").front());
        d.resize(4);
      }
      SCOPED_TRACE("page " + std::to_string(e.page + 1));
      EXPECT_EQ(Printed(e.figures.at("n")), Figure(d[0])) << text;
      EXPECT_EQ(Printed(e.figures.at("s")), Figure(d[1])) << text;
      EXPECT_EQ(Printed(e.figures.at("lo")), Number(d[2])) << text;
      EXPECT_EQ(Printed(e.figures.at("hi")), Number(d[3])) << text;
      if (footerAfter) {
        EXPECT_EQ(Printed(e.figures.count("r") ? e.figures.at("r") : "?"), Printed(lastRecord)) << "the Page Footer after a group\n" << text;
      } else if (s.across == 1 && idsOf.count(e.page) && idsOf[e.page].back() == lastRecord) {
        // A page ended inside its last record shows that record; one ended
        // before the next record, that one or the next: never the last
        // record of a group finished before.
        const std::string r = Printed(e.figures.count("r") ? e.figures.at("r") : "?");
        const bool cut = static_cast<size_t>(e.page) + 1 < begunInRecord.size() && begunInRecord[e.page + 1];
        auto next = std::find_if(events.begin(), events.end(), [&](const Event& n) { return n.kind == 'R' && n.page > e.page; });
        cutFirsts += cut && groupFirst ? 1 : 0;
        EXPECT_TRUE(r == Printed(lastRecord) || (!cut && next != events.end() && r == Printed(next->id)))
            << "the Page Footer after record " << lastRecord << " shows " << r << "\n" << text;
      }
    }
    if (s.firstRecordCut) {
      EXPECT_GT(cutFirsts, 0) << "no page ends inside a group's first record\n" << text;
    }
    if (records >= 30 * static_cast<size_t>(s.across)) {
      EXPECT_GE(footers, 2) << "the report is to take several pages\n" << text;
    }
  }

  // PREVIOUS of a value in error is in error; a text wider than its field
  // is cut at it.
  void CheckRecordValues(const Spec& s, const std::vector<Event>& events, const First&) {
    const bool previousQty = s.footerFunctions && s.across == 1;
    if (!s.previousErrors && !s.textCut && !previousQty) return;
    std::map<std::string, std::string> lag;
    if (previousQty) lag = PreviousQty(s);
    std::map<std::string, std::string> amountOf;
    for (const std::string& row : db_.Query("select id, amount from gen")) {
      std::vector<std::string> c = Columns(row);
      c.resize(2);
      amountOf[c[0]] = c[1];
    }
    std::string before;
    for (const Event& e : events) {
      if (e.kind != 'R') continue;
      SCOPED_TRACE("record " + e.id);
      if (s.previousErrors) {
        const std::string p = e.figures.count("p") ? e.figures.at("p") : "(none)";
        if (before.empty()) EXPECT_EQ(p, "") << "PREVIOUS on the first record";
        else if (std::atoi(before.c_str()) % 3 == 0) EXPECT_EQ(p.substr(0, 1), "*") << "PREVIOUS of an error";
        else EXPECT_EQ(Printed(p), Figure(std::to_string(100.0 / (std::atoi(before.c_str()) % 3))));
      }
      if (s.textCut) {
        const std::string t = e.figures.count("t") ? e.figures.at("t") : "(none)";
        EXPECT_TRUE(e.figures.count("|")) << "the text after the field";
        const std::string& amount = amountOf[e.id];
        const bool error = std::atoi(e.id.c_str()) % 3 == 0 || amount.empty();
        const std::string value = error ? std::string(t.size(), '*') : std::atof(amount.c_str()) > 2 ? "abababababababababab" : "no";
        EXPECT_EQ(t, value.substr(0, t.size())) << "a prefix of its value";
        EXPECT_TRUE(!t.empty() && t.size() <= 16) << t;
      }
      if (previousQty) {
        EXPECT_EQ(Printed(e.figures.count("v") ? e.figures.at("v") : "?"), Number(lag[e.id])) << "PREVIOUS(qty)";
      }
      before = e.id;
    }
  }

  // Builds, saves and prints the report of the spec with the program; with
  // exported, also exports its records to a delimited file.
  void Run(const Spec& s, bool exported = false) {
    SCOPED_TRACE(Describe(s));
    const std::string base = db_.dir() + "/seed" + std::to_string(s.seed) + (s.programSorts ? "p" : "d");
    {
      ReportDocument d;
      std::string error;
      ASSERT_TRUE(Build(d.doc, d.io, s, &error)) << error;
      ASSERT_EQ(d.io.SaveReportFile((base + ".kmw").c_str()), kRepIoOk);
      if (exported) {
        ASSERT_TRUE(d.SaveAsExport(base + "_export.kmw", base + ".csv"));
      }
    }
    std::string output;
    const int status = db_.RunProgram(base + ".kmw", &output);
    const std::string text = status == 0 ? PrintedText(base + ".pdf") : std::string();
    const std::string where = WhereSql(s);
    const bool none = db_.Query("select count(*) from gen where " + where).front() == "0";
    if (none) {
      EXPECT_NE(output.find("No records found"), std::string::npos) << output;
      return;
    }
    ASSERT_FALSE(text.empty()) << output;
    if (std::getenv("VT_REPORT_SEED") != nullptr) {
      // The report and its print stay for a look at the failure.
      std::printf("%s\n%s\n", Describe(s).c_str(), text.c_str());
      std::filesystem::copy_file(base + ".kmw", "/tmp/vt_report_seed.kmw", std::filesystem::copy_options::overwrite_existing);
      std::filesystem::copy_file(base + ".pdf", "/tmp/vt_report_seed.pdf", std::filesystem::copy_options::overwrite_existing);
    }
    Check(s, text);
    // No page holds nothing but its Page Footer.
    std::istringstream pages(text);
    int page = 0;
    for (std::string content; std::getline(pages, content, '\f'); ++page) {
      bool shown = false;
      std::istringstream lines(content);
      for (std::string line; std::getline(lines, line) && !shown;) shown = !line.empty() && line.rfind("P ", 0) != 0;
      EXPECT_TRUE(shown) << "page " << page + 1 << " holds only its Page Footer\n" << text;
    }
    if (!exported) return;
    // The exported records: the database's rows in its order.
    ASSERT_EQ(db_.RunProgram(base + "_export.kmw", &output), 0) << output;
    std::ifstream in(base + ".csv");
    std::vector<std::string> ids;
    for (std::string line; std::getline(in, line);)
      if (!line.empty()) ids.push_back(Words(Columns(line, ',')[0]));
    EXPECT_EQ(ids, db_.Query("select gen.id from gen where " + where + " order by " + OrderSql(s)));
  }
};

int KeyOf(const char* field) {
  for (size_t i = 0; i < std::size(kKeys); ++i)
    if (std::strcmp(kKeys[i].field, field) == 0) return static_cast<int>(i);
  return -1;
}
int ConditionOf(const char* field, uint8_t op) {
  for (size_t i = 0; i < std::size(kConditions); ++i)
    if (std::strcmp(kConditions[i].field, field) == 0 && kConditions[i].op == op) return static_cast<int>(i);
  return -1;
}

// Reports that printed other groups or rows than the database holds.
struct FixedCase {
  const char* name;
  std::vector<std::pair<const char*, bool>> groups;
  int inner;
  std::vector<std::pair<const char*, uint8_t>> conditions;  // joined by AND
  bool totalOrder;
  bool errorTotal = false;
};
const FixedCase kFixedCases[] = {
    {"number_group_with_zero_and_missing", {{"gn", false}}, 1, {}, false},
    {"text_group_with_empty_and_missing", {{"gt", false}, {"gn", false}}, 0, {}, false},
    {"groups_sorted_by_their_total", {{"gt", false}}, 1, {}, true},
    {"two_levels_sorted_by_the_first_ones_total", {{"gn", false}, {"sn", true}}, 2, {}, true},
    {"calculation_over_missing_equals_zero", {{"gt", false}}, 0, {{"A2", kCondEqual}}, false},
    {"calculation_over_missing_is_null", {{"gn", false}}, 0, {{"A2", kCondIsNull}}, false},
    {"whole_calculation_over_missing_equals_zero", {{"gt", false}}, 0, {{"Q2", kCondEqual}}, false},
    {"whole_calculation_over_missing_is_null", {{"sn", false}}, 0, {{"Q2", kCondIsNull}}, false},
    {"date_less_days_before", {{"gn", true}}, 0, {{"LD", kCondLess}}, false},
    {"fixed_width_text_length", {{"gt", false}}, 0, {{"CLEN", kCondEqual}}, false},
    {"fixed_width_text_group_with_empty_and_missing", {{"code", false}}, 1, {}, false},
    {"first_letter_group_blank_empty_and_missing", {{"G1", true}, {"gt", false}}, 0, {}, false},
    {"trailing_blanks_under_every_comparison", {{"gt", false}}, 1, {{"gt", kCondLessEqual}, {"gt", kCondNoneOf}}, false},
    {"total_in_error_fails_its_condition", {{"gn", false}}, 0, {}, false, true},
    {"calculations_past_the_translation_limit", {{"gn", false}}, 3, {{"Q24", kCondEqual}, {"R7", kCondGreater}},
     false},
    // Types the server orders by its own rules.
    {"time_group", {{"tm", false}}, 1, {}, false},
    {"money_group_descending", {{"mo", true}, {"sn", false}}, 0, {}, false},
    {"enum_and_address_groups", {{"md", false}, {"ip", true}}, 0, {}, false},
    {"json_group", {{"js", false}}, 3, {}, false},
    {"json_text_and_interval_groups", {{"jn", true}, {"iv", false}}, 1, {}, false},
};

class GroupCases : public GeneratedReports {};

TEST_P(GroupCases, PrintAndExportWhatTheDatabaseHoldsWhoeverSorts) {
  const FixedCase& c = kFixedCases[std::get<1>(GetParam())];
  Spec s;
  s.seed = 1000 + static_cast<unsigned>(std::get<1>(GetParam()));
  for (const auto& g : c.groups) s.groups.push_back({KeyOf(g.first), g.second});
  s.inner = c.inner;
  for (const auto& k : c.conditions)
    s.filter.push_back({ConditionOf(k.first, k.second), static_cast<uint8_t>(s.filter.empty() ? 0 : 1)});
  s.headerTotal = s.totalOrder = c.totalOrder;
  s.errorTotal = c.errorTotal;
  for (bool program : {false, true}) {
    s.programSorts = program && !c.totalOrder;
    s.programFilters = program;
    if (program && c.totalOrder) db_.AlwaysPreFetch();
    Run(s, true);
  }
}

INSTANTIATE_TEST_SUITE_P(BothDatabases, GroupCases, OnBothDatabases(std::size(kFixedCases)), CaseNames(kFixedCases));

// A cover title, or a first-level header repeated on each page, of about a
// page's length: the record that band output then moves to the next page
// counts in that page's totals, with or without Reset Page. A test each for
// the title and the header, so that each program stays short.
class PageCases : public GeneratedReports {};

TEST_P(PageCases, PageTotalsAreOverTheRecordsOfTheirPage) {
  const bool title = std::get<1>(GetParam()) / 2 == 0;
  for (int lines = 22; lines <= 30; ++lines) {
    Spec s;
    s.seed = 2000 + static_cast<unsigned>(lines * 2 + title);
    s.groups = {{KeyOf("gn"), false}};
    s.pageTotals = true;
    s.resetPage = std::get<1>(GetParam()) % 2 == 1;
    s.titleLines = title ? lines : 0;
    s.repeatHeader = !title;
    s.headerLines = title ? 1 : lines;
    Run(s);
  }
}

INSTANTIATE_TEST_SUITE_P(BothDatabases, PageCases, OnBothDatabases(4),
                         [](const ::testing::TestParamInfo<std::tuple<int, int>>& i) {
                           return std::string(std::get<0>(i.param) == 0 ? "SQLite" : "PostgreSQL") +
                                  (std::get<1>(i.param) / 2 == 0 ? "_Title" : "_RepeatHeader") +
                                  (std::get<1>(i.param) % 2 == 1 ? "_ResetPage" : "");
                         });

// Pages that end where a group of dates ends or begins: a new page after
// each footer and before each header, with the header repeated or not (a
// page for each group, none holding only a header); a group's first record
// over a page end, its Page Footer showing that record.
struct PageEnd {
  const char* name;
  bool repeatHeader;
  bool newPageBoth;
  int headerLines;
  int recordLines;
};
const PageEnd kPageEnds[] = {
    {"new_page_after_footer_and_before_header", false, true, 1, 1},
    {"same_with_the_header_repeated", true, true, 1, 1},
    {"first_record_of_a_group_over_a_page_end", false, false, 4, 3},
};

class PageEndCases : public GeneratedReports {};

TEST_P(PageEndCases, OneRoadForEachPageEnd) {
  const PageEnd& c = kPageEnds[std::get<1>(GetParam())];
  Spec s;
  s.seed = 3000 + static_cast<unsigned>(std::get<1>(GetParam()));
  s.groups = {{KeyOf("gd"), false}};
  s.pageTotals = true;
  s.repeatHeader = c.repeatHeader;
  s.newPage = c.newPageBoth ? 2 : 0;
  s.newPageBoth = c.newPageBoth;
  s.pagePerGroup = c.newPageBoth;
  s.headerLines = c.headerLines;
  s.recordLines = c.recordLines;
  s.firstRecordCut = c.recordLines > 1;
  Run(s);
}

INSTANTIATE_TEST_SUITE_P(BothDatabases, PageEndCases, OnBothDatabases(std::size(kPageEnds)), CaseNames(kPageEnds));

TEST_P(GeneratedReports, PrintWhatTheDatabaseGroups) {
  const int shard = std::get<1>(GetParam());
  if (const char* one = std::getenv("VT_REPORT_SEED")) {
    if (shard != 0) GTEST_SKIP() << "VT_REPORT_SEED runs one report";
    Run(Generate(static_cast<unsigned>(std::strtoul(one, nullptr, 10))));
    return;
  }
  for (int i = 0; i < kReportsPerShard; ++i) Run(Generate(static_cast<unsigned>(1 + shard * kReportsPerShard + i)));
}

INSTANTIATE_TEST_SUITE_P(BothDatabases, GeneratedReports, OnBothDatabases(kShards),
                         [](const ::testing::TestParamInfo<std::tuple<int, int>>& i) {
                           return std::string(std::get<0>(i.param) == 0 ? "SQLite_" : "PostgreSQL_") + "shard" +
                                  std::to_string(std::get<1>(i.param));
                         });


// ---- Reports on the user's own SELECT whose table or view changed between
// save and print (/G): each stored field prints the column of its name as
// the database selects it now; a field whose column is gone, or holds
// another kind now, is named in a warning and prints nowhere. The Summary
// shows the last record's note word-wrapped, itself and a duplicate of it,
// every word of it.
struct StatementChange {
  const char* name;
  const char* statement;
  const char* change;    // made after the report is saved
  const char* printed;   // the columns the record prints, as the database has them now
  const char* warning;   // the warning the print gives ("" none)
  bool postgresOnly = false;  // a form or change SQLite does not take (below)
  bool whileOpen = false;     // changed while the report is open, printed by it there
};
const char* const kStatementTables =
    "drop view if exists tv;\ndrop table if exists tw;\ndrop table if exists tw0;\n"
    "create table tw0 (a varchar(8), b varchar(8), n integer, note varchar(80));\n"
    "insert into tw0 values ('a1', 'b1', 1, 'one two');\n"
    "insert into tw0 values ('a2', 'b2', 2, 'uno dos tres');\n"
    "insert into tw0 values ('a3', 'b3', 3, 'alpha beta gamma delta epsilon zeta eta theta iota kappa');\n"
    "create table tw (a varchar(8), b varchar(8), n integer, note varchar(80));\n"
    "insert into tw select * from tw0;\ncreate view tv as select a, b, n, note from tw;\n";
const char* const kColumnInFront =
    "drop view tv;\ndrop table tw;\ncreate table tw (z varchar(8), a varchar(8), b varchar(8), n integer, note "
    "varchar(80));\ninsert into tw select 'z' || a, a, b, n, note from tw0;";
const StatementChange kStatementChanges[] = {
    {"column_added_in_front", "select * from tw", kColumnInFront, "a, b, n", ""},
    {"with_list", "with w as (select * from tw) select * from w", kColumnInFront, "a, b, n", ""},
    {"line_comment_first", "-- the lines\nselect * from tw", kColumnInFront, "a, b, n", ""},
    {"block_comment_first", "/* the lines */ select * from tw", kColumnInFront, "a, b, n", ""},
    {"bracketed", "(select * from tw)", kColumnInFront, "a, b, n", "", true},
    {"view_reorders_its_columns", "select * from tv",
     "drop view tv;\ncreate view tv as select note, n, b, a from tw;", "a, b, n", ""},
    {"listed_columns_of_a_view_that_reorders", "select b, a, n, note from tv",
     "drop view tv;\ncreate view tv as select n, note, a, b from tw;", "a, b, n", ""},
    {"column_gone", "select * from tw",
     "drop view tv;\ndrop table tw;\ncreate table tw (note varchar(80), n integer, a varchar(8));\n"
     "insert into tw select note, n, a from tw0;",
     "a, n",
     "Character field 'b' is no longer in table"},
    {"number_now_a_text", "select * from tw",
     "drop view tv;\ndrop table tw;\ncreate table tw (n varchar(8), a varchar(8), b varchar(8), note varchar(80));\n"
     "insert into tw select 'x' || n, a, b, note from tw0;",
     "a, b",
     "Numeric field 'n' is no longer in table"},
    {"number_now_a_text_while_open", "select * from tw",
     "drop view tv;\ndrop table tw;\ncreate table tw (n varchar(8), a varchar(8), b varchar(8), note varchar(80));\n"
     "insert into tw select 'x' || n, a, b, note from tw0;",
     "a, b", "Numeric field 'n' is no longer in table", true, true},
};
std::string g_sqlMessages;

class StatementChanges : public GeneratedReports {
 protected:
  std::string Tables() const override { return kStatementTables; }
};

TEST_P(StatementChanges, EachFieldPrintsTheColumnOfItsName) {
  const StatementChange& c = kStatementChanges[std::get<1>(GetParam())];
  // SQLite takes no bracketed statement; a table another connection changed
  // is described to an open report as it was (the names, not the rows).
  if (c.postgresOnly && !db_.postgres()) GTEST_SKIP() << "not a form for SQLite";
  const std::string report = db_.dir() + "/statement.kmw";
  std::string output, text;
  {
    ReportDocument d;
    ReportMaker r(d.doc, d.io);
    std::string error;
    ASSERT_TRUE(r.BeginStatement(kDsn, c.statement, &error)) << error;
    const int record = r.Line(kBandRecord);
    r.Text(record, 0, "R");
    int at = 2;
    for (const char* name : {"a", "b", "n"}) {
      r.Place(r.Column(name), record, at, 6, 0);
      at += 8;
    }
    r.Sort(0, r.Column("a"), false);
    FieldDef* note = r.Column("note");
    ASSERT_NE(note, nullptr);
    int line = r.Line(kBandSummary);
    r.Text(line, 0, "W1");
    r.Place(note, line, 4, 8);
    line = r.Line(kBandSummary);
    r.Text(line, 0, "W2");
    FieldDef* copy = DuplicateField(&d.doc, note);
    r.Place(copy, line, 4, 8);
    for (FieldDef* f : {note, copy}) f->formatCode = kFormatLongText;
    r.Finish();
    ASSERT_EQ(d.io.SaveReportFile(report.c_str()), kRepIoOk);
    if (c.whileOpen) {
      // The open checked the fields against the table as it was: the run's
      // own binding finds the change.
      ASSERT_TRUE(db_.Execute(c.change));
      g_sqlMessages.clear();
      SetSqlMessageSink([](const char* message, bool) { g_sqlMessages += std::string(message) + "\n"; });
      text = sample_test::PrintDocToPdf(d.doc, db_.dir() + "/statement.pdf");
      SetSqlMessageSink(nullptr);
      output = g_sqlMessages;
    }
  }
  if (!c.whileOpen) {
    ASSERT_TRUE(db_.Execute(c.change));
    text = db_.PrintWithProgram(report, &output);
  }
  ASSERT_FALSE(text.empty()) << output;
  if (*c.warning) {
    EXPECT_NE(output.find(c.warning), std::string::npos) << output;
  } else {
    EXPECT_EQ(output.find("no longer in table"), std::string::npos) << output;
  }
  const std::string source = std::strcmp(c.statement, "select * from tv") == 0 ? "tv" : "tw";
  std::vector<std::string> expected;
  for (const std::string& row : db_.Query(std::string("select ") + c.printed + " from " + source + " order by a"))
    expected.push_back(Words(Replace(row, "|", " ")));
  // The records, then the Summary: the note and its duplicate, one under
  // the other (the labels W1 and W2 do not move with the wrapped lines).
  std::vector<std::string> printed;
  std::string wrapped;
  bool summary = false;
  int lineCount = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const std::string words = Words(Replace(line, "\f", " "));
    if (words.rfind("R ", 0) == 0) printed.push_back(words.substr(2));
    summary = summary || words.rfind("W1", 0) == 0;
    if (!summary || words.empty()) continue;
    ++lineCount;
    for (const std::string& w : Columns(words, ' '))
      if (w != "W1" && w != "W2") wrapped += (wrapped.empty() ? "" : " ") + w;
  }
  EXPECT_EQ(printed, expected) << text;
  const std::string last = db_.Query("select note from tw0 where a = 'a3'").front();
  EXPECT_EQ(wrapped, last + " " + last) << "the note, then its duplicate\n" << text;
  EXPECT_GT(lineCount, 2) << "word-wrapped\n" << text;
}

INSTANTIATE_TEST_SUITE_P(BothDatabases, StatementChanges, OnBothDatabases(std::size(kStatementChanges)),
                         CaseNames(kStatementChanges));

}  // namespace
