// A report prints the same rows, in the same order, with the same values,
// whether its filter and its sort are carried by the SELECT or computed by
// the program. Each shape of filter, sort and group is built twice over a
// table with missing values, negative numbers, equal keys and dates around
// the century's end: once as a user writes it (what the SELECT can carry
// goes there), once with the same conditions joined by OR to one the
// database cannot compute (the whole filter is then the program's) and a
// first sort key the database cannot order by (the whole sort is then the
// program's; some shapes leave the order to the SELECT, so that the program
// tests the filter on the rows as the report reads them; others read the
// table through the user's own SELECT, which the program filters itself).
// Both are printed here and exported by the program (/G) to a delimited
// file; the texts and files must be identical, the records those the
// database's own WHERE and ORDER BY give, the groups as many as its GROUP BY
// gives, PREVIOUS() the record printed before and RECNO() the place of the
// record in the report. On SQLite and on the private PostgreSQL server.
#include "app/document.h"
#include "core/condition_code.h"
#include "data/master_joins.h"
#include "data/open_tables.h"
#include "data/select_builder.h"
#include "data/sql_literals.h"
#include "tests/app/filterrun/database_run.h"
#include "tests/app/roundtrip/report_maker.h"

#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace filter_run;
using roundtrip::ReportMaker;

// The ledger: 40 lines over 4 customers of 3 regions, some without one; a
// text with missing, empty, blank and blank-ended values, a text that is
// never missing whose values sort apart by their trailing blanks and a tab,
// and columns of types the server compares by its own rules (on PostgreSQL
// an enum, an address, jsonb, json, uuid, an interval and money; on SQLite
// texts and a number), written as the server writes them out.
std::string LedgerScript(bool postgres) {
  const char* names[] = {"Alder", "Brook", "Cafe", "Dune", "Brook", "Elm", "Fjord", "", "Naïve", "Glen", "Holt", "Alder"};
  const char* notes[] = {"Use the side gate", "Front desk", nullptr, "", "Gate code 42"};
  const char* words[] = {nullptr, "", "  ", "x", "x  ", "y"};
  const char* tags[] = {"'a'", postgres ? "'a' || chr(9) || 'x'" : "'a' || char(9) || 'x'", "'a '", "'b'"};
  const char* intervals[] = {"1 day", "02:00:00", "3 days", "1 day 02:00:00"};
  std::string s =
      "drop table if exists ledger;\ndrop table if exists ledger_cust;\n"
      "create table ledger_cust (cust_id integer primary key, region varchar(10));\n"
      "insert into ledger_cust values (1, 'North');\ninsert into ledger_cust values (2, 'South');\n"
      "insert into ledger_cust values (3, 'North');\ninsert into ledger_cust values (4, 'East');\n"
      "create table ledger (l_id integer primary key, cust_id integer, cat varchar(4), qty integer, amount ";
  s += postgres ? "double precision" : "double";
  s += ", ldate date, name varchar(20), note text, word varchar(8), tag varchar(6) not null, ";
  s += postgres ? "md lmood, ip inet, js jsonb, jn json, id uuid, iv interval, mo money);\n"
                : "md varchar(4), ip varchar(16), js text, jn text, id varchar(36), iv text, mo numeric);\n";
  if (postgres) s = "drop table if exists ledger;\ndrop type if exists lmood;\ncreate type lmood as enum ('c', 'b', 'a');\n" + s;
  for (int i = 1; i <= 40; ++i) {
    char date[16];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", 1994 + i % 10, i % 12 + 1, i * 3 % 28 + 1);
    if (i == 10) std::snprintf(date, sizeof date, "1999-12-31");
    if (i == 21) std::snprintf(date, sizeof date, "2000-01-01");
    char amount[32];
    std::snprintf(amount, sizeof amount, "%.2f", ((i * 17) % 41 - 12) * 2.5);
    const std::string name = std::string("'") + names[i % 12] + "'";
    const char* note = notes[i % 5];
    s += "insert into ledger values (" + std::to_string(i) + ", " +
         (i % 11 == 0 ? "null" : std::to_string(i % 5 == 4 ? 9 : i % 4 + 1)) + ", '" + "ABC"[i % 3] + "', " +
         (i % 9 == 0 ? "null" : std::to_string(i * 7 % 23 - 6)) + ", " + (i % 13 == 0 ? "null" : amount) + ", " +
         (i % 17 == 0 ? "null" : std::string("'") + date + "'") + ", " + (i % 10 == 7 ? "null" : name) + ", " +
         (note == nullptr ? "null" : std::string("'") + note + "'") + ", " +
         (words[i % 6] == nullptr ? "null" : std::string("'") + words[i % 6] + "'") + ", " + tags[i % 4] + ", " +
         (i % 9 == 4 ? "null" : std::string("'") + "abc"[i % 3] + "'") + ", " +
         (i % 11 == 6 ? "null" : "'10.0.0." + std::to_string(i % 12 + 1) + "'") + ", " +
         (i % 10 == 3 ? "null" : "'" + std::to_string(i % 4 * 4 + 1) + "'") + ", " +
         (i % 10 == 5 ? "null" : "'" + std::to_string(i % 3 * 5) + "'") + ", " +
         (i % 8 == 1 ? "null" : "'00000000-0000-0000-0000-0000000000" + std::to_string(10 + i % 7) + "'") + ", " +
         (i % 13 == 2 ? "null" : std::string("'") + intervals[i % 4] + "'") + ", " +
         (i % 7 == 3 ? "null" : "'" + std::to_string(i % 5 - 2) + ".25'") + ");\n";
  }
  return s;
}

struct Condition {
  uint8_t joining;  // 0 first, 1 and, 2 or
  const char* field;
  uint8_t op;
  const char* values;
};
struct SortKey {
  const char* field;
  bool descending;
};

// One shape: the filter, sort and group as the user writes them, and the
// same selection and order in the database's SQL (over ledger l left
// joined to ledger_cust c). Missing values sort as the lowest.
struct Shape {
  const char* name;
  std::vector<Condition> filter;
  const char* group;  // field of group level 0 (sorted ascending first)
  std::vector<SortKey> sort;
  const char* where;
  const char* order;
  bool join = false;
  bool placeDate = false;   // the date is on the layout
  bool preTotal = false;    // the group header shows a pre-processed total
  bool limited = false;     // the query has a record limit
  bool unattended = false;  // printed by the program too, as written (and pre-fetched)
  bool sortKept = false;    // the second way leaves the order to the SELECT
  // Where the program tests even the filter as written (1 SQLite, 2
  // PostgreSQL): a comparison ignoring case, which SQLite's lower() cannot
  // make as the program does, or one on a number that may carry rounding.
  int programFilter = 0;
  // The second way reads the user's own SELECT of the table, which the
  // program filters itself.
  bool statement = false;
  const char* postgresWhere = nullptr;  // where PostgreSQL's differs
  // The group key as the database's GROUP BY takes it: the report prints as
  // many groups as it gives.
  const char* groupBy = nullptr;
};

const Shape kShapes[] = {
    {"number_compare", {{0, "qty", kCondGreater, "3"}}, nullptr, {{"name", false}, {"l_id", false}}, "qty > 3",
     "name, l.l_id", false, false, false, false, true, true},
    {"text_compare_not_null", {{0, "name", kCondGreaterEqual, "'G'"}, {1, "qty", kCondNotEqual, ""}}, nullptr,
     {{"qty", true}, {"l_id", false}}, "name >= 'G' and qty is not null", "qty desc, l.l_id"},
    {"date_compare_sort_placed", {{0, "ldate", kCondLess, "{1/1/2000}"}}, nullptr, {{"ldate", false}, {"l_id", true}},
     "ldate < '2000-01-01'", "ldate, l.l_id desc", false, true},
    {"range_sort_unplaced", {{0, "amount", kCondBetween, "-10,20"}}, nullptr, {{"ldate", true}, {"l_id", false}},
     "amount between -10 and 20", "ldate desc nulls last, l.l_id"},
    {"not_between_or_list",
     {{0, "qty", kCondNotBetween, "0,5"}, {2, "qty", kCondOneOf, "1,3"}, {2, "amount", kCondNoneOf, "-30,-27.5"}},
     nullptr, {{"l_id", true}}, "qty not between 0 and 5 or qty in (1, 3) or amount not in (-30, -27.5)",
     "l.l_id desc", false, false, false, false, false, true},
    {"like", {{0, "name", kCondLike, "'B*'"}, {2, "name", kCondNotLike, "'*e'"}}, nullptr,
     {{"name", true}, {"l_id", false}}, "name like 'B%' or name not like '%e'", "name desc, l.l_id", false, false,
     false, false, false, false, 1},
    {"and_or_grouped",
     {{0, "qty", kCondGreater, "0"}, {1, "ldate", kCondGreaterEqual, "{1/1/2000}"}, {2, "name", kCondEqual, "'Alder'"}},
     "cat", {{"l_id", false}}, "qty > 0 and ldate >= '2000-01-01' or name = 'Alder'", "cat, l.l_id", false, false,
     false, false, false, false, 1},
    {"calculation", {{0, "NET", kCondGreater, "10"}}, nullptr, {{"NET", true}, {"l_id", false}},
     "amount - qty * 2 > 10", "amount - qty * 2 desc nulls last, l.l_id", false, false, false, false, false, false,
     3},
    // Missing values in the sort keys: a missing number just before 0, a
    // missing date lowest, a calculation over a missing value (flagged)
    // after every value.
    {"missing_in_sort_keys", {{0, "l_id", kCondLess, "30"}}, nullptr, {{"qty", false}, {"ldate", true}, {"l_id", false}},
     "l.l_id < 30", "coalesce(qty, 0), case when qty is null then 0 else 1 end, ldate desc nulls last, l.l_id", false,
     true},
    // Functions the database computes through the shipped templates: the
    // divisor's sign for MOD, LEN of a missing text, UPPER of an accented
    // letter (the program's on SQLite), a date less days.
    {"functions", {{0, "NLEN", kCondLess, "3"}, {2, "M4", kCondEqual, "1"}, {2, "UP", kCondEqual, "'NA\xCFVE'"}}, "M4",
     {{"l_id", false}}, "length(coalesce(note, '')) < 3 or ((qty % 4) + 4) % 4 = 1 or name = 'Na\xC3\xAFve'",
     "qty is null, ((qty % 4) + 4) % 4, l.l_id", false, false, false, false, false, false, 1},
    {"days_back", {{0, "BACK", kCondGreaterEqual, "{1/1/2000}"}}, nullptr, {{"BACK", true}, {"l_id", false}},
     "ldate >= '2000-01-08'", "ldate desc, l.l_id"},
    {"flagged_calculation_sort", {{0, "l_id", kCondGreater, "5"}}, nullptr, {{"NET", false}, {"l_id", true}},
     "l.l_id > 5", "(amount - qty * 2) is null, amount - qty * 2, l.l_id desc"},
    {"joined_field", {{0, "region", kCondEqual, "'North'"}, {1, "qty", kCondLess, "12"}}, nullptr,
     {{"region", false}, {"amount", true}, {"l_id", false}}, "region = 'North' and qty < 12",
     "region, amount desc nulls last, l.l_id", true},
    {"memo", {{0, "note", kCondLike, "'*side*'"}, {1, "qty", kCondGreater, "-3"}}, nullptr, {{"l_id", true}},
     "note like '%side%' and qty > -3", "l.l_id desc"},
    {"group_on_calculation", {{0, "amount", kCondEqual, ""}, {2, "qty", kCondLess, "5"}}, "KIND",
     {{"l_id", true}}, "amount is null or qty < 5", "'K' || cat, l.l_id desc"},
    // A filter on a pre-processed total, records sorted (by the program in
    // the second way, and always when the query is limited).
    {"preprocessed_total", {{0, "CTOTAL", kCondGreater, "200"}}, "cat", {{"l_id", true}},
     "cat in (select cat from ledger group by cat having sum(amount) > 200)", "cat, l.l_id desc", false, false, true,
     false, true},
    {"preprocessed_total_limited", {{0, "CTOTAL", kCondGreater, "200"}}, "cat", {{"l_id", true}},
     "cat in (select cat from ledger group by cat having sum(amount) > 200)", "cat, l.l_id desc", false, false, true,
     true},
    // A key without an SQL form first, then one not on the layout.
    {"calculation_then_unplaced", {{0, "qty", kCondNotEqual, ""}}, nullptr,
     {{"TENS", false}, {"ldate", true}, {"l_id", false}}, "qty is not null", "qty / 10, ldate desc nulls last, l.l_id",
     false, false, false, false, true},
    // Columns of the server's own types compared as the program reads them:
    // by their texts (a money amount as a number).
    {"server_types_equal",
     {{0, "md", kCondNotEqual, "'c'"}, {1, "ip", kCondNoneOf, "'10.0.0.3','10.0.0.4'"}, {1, "iv", kCondEqual, "'1 day'"},
      {1, "mo", kCondNotEqual, "0.25"}},
     nullptr, {{"l_id", false}}, "md <> 'c' and ip not in ('10.0.0.3', '10.0.0.4') and iv = '1 day' and mo <> 0.25",
     "l.l_id", false, false, false, false, false, false, 0, true,
     "cast(md as text) <> 'c' and host(ip) not in ('10.0.0.3', '10.0.0.4') and cast(iv as text) = '1 day' and "
     "cast(mo as numeric) <> 0.25"},
    {"server_types_order",
     {{0, "md", kCondLess, "'c'"}, {1, "ip", kCondGreater, "'10.0.0.2'"}, {1, "iv", kCondBetween, "'02:00:00','1 day'"},
      {1, "mo", kCondGreater, "-2"}, {1, "js", kCondOneOf, "'1','5','9','13'"}},
     nullptr, {{"l_id", true}},
     "md < 'c' and ip > '10.0.0.2' and iv between '02:00:00' and '1 day' and mo > -2 and js in ('1', '5', '9', '13')",
     "l.l_id desc", false, false, false, false, false, false, 0, true,
     "cast(md as text) < 'c' and host(ip) > '10.0.0.2' and cast(iv as text) between '02:00:00' and '1 day' and "
     "cast(mo as numeric) > -2 and cast(js as text) in ('1', '5', '9', '13')"},
    {"server_types_like",
     {{0, "ip", kCondLike, "'10.0.0.1*'"}, {1, "id", kCondLike, "'*1?'"}, {1, "jn", kCondNoneOf, "'0','20'"},
      {1, "md", kCondOneOf, "'a','b'"}, {1, "mo", kCondBetween, "-3,3"}},
     nullptr, {{"l_id", false}},
     "ip like '10.0.0.1%' and id like '%1_' and jn not in ('0', '20') and md in ('a', 'b') and mo between -3 and 3",
     "l.l_id", false, false, false, false, false, false, 0, true,
     "host(ip) like '10.0.0.1%' and cast(id as text) like '%1_' and cast(jn as text) not in ('0', '20') and "
     "cast(md as text) in ('a', 'b') and cast(mo as numeric) between -3 and 3"},
    // An empty text item is what the group break takes as one value: a
    // missing text, '' and blanks.
    {"empty_text_in_list", {{0, "word", kCondOneOf, "'','x'"}}, nullptr, {{"l_id", false}},
     "word is null or rtrim(word) in ('', 'x')", "l.l_id", false, false, false, false, false, false, 1, true},
    {"empty_text_equal_or_none_of", {{0, "word", kCondNoneOf, "'','y'"}, {2, "word", kCondEqual, ""}}, nullptr,
     {{"l_id", true}}, "rtrim(word) not in ('', 'y') or word is null or rtrim(word) = ''", "l.l_id desc", false,
     false, false, false, false, false, 1, true},
    {"empty_text_not_equal", {{0, "word", kCondNotEqual, ""}, {1, "word", kCondNotEqual, "'x'"}}, nullptr,
     {{"l_id", false}}, "rtrim(word) not in ('', 'x')", "l.l_id", false, false, false, false, false, false, 0, true},
    // A text that is never missing: 'a', 'a<TAB>x' and 'a ' make two groups.
    {"never_missing_text_group", {{0, "l_id", kCondGreater, "2"}}, "tag", {{"l_id", false}}, "l.l_id > 2",
     "rtrim(tag), l.l_id", false, false, false, false, false, false, 0, false, nullptr, "rtrim(tag)"},
};

// The fields of the report by name (columns and calculations).
using FieldMap = std::map<std::string, FieldDef*>;

class DatabaseOrProgram : public DatabaseRunTest {
 protected:
  std::string Tables() const override { return LedgerScript(db_.postgres()); }

  // The report of the shape; program: every condition and the whole sort
  // are the program's.
  bool Build(CKmDoc& doc, CKmRepIO& io, const Shape& s, bool program, std::string* error) {
    ReportMaker r(doc, io);
    const std::vector<const char*> columns = {"l_id", "cust_id", "cat", "qty", "amount", "ldate", "name", "note",
                                              "word", "tag", "md", "ip", "js", "jn", "id", "iv", "mo"};
    std::string select = "select ";
    for (const char* c : columns) select += std::string(select.size() > 7 ? ", " : "") + c;
    const bool begun = program && s.statement ? r.BeginStatement(kDsn, (select + " from ledger").c_str(), error)
                                              : r.Begin(kDsn, "ledger", columns, error);
    if (!begun) return false;
    FieldMap f;
    for (const char* c : columns) f[c] = r.Column(c);
    if (s.join) {
      std::snprintf(r.M().tableSlots[0]->alias, sizeof r.M().tableSlots[0]->alias, "LEDG");
      JoinLinkEntry links[] = {{f["cust_id"], "cust_id", 0}, {}};
      JoinRequest join;
      join.links = links;
      join.path = "ledger_cust";
      join.alias = "CUST";
      if (AddJoin(&r.M(), &join, TableOverrideContext(), nullptr) != 0) return *error = "no join", false;
      for (int i = 1; i < kMaxTables; ++i)
        if (r.M().tableSlots[i] != nullptr) io.m_stream.settings.sources[i].sourceName = kDsn;
      for (FieldDef* g = r.M().fieldList; g != nullptr; g = g->next)
        if (g->table != 0 && g->table < kMaxTables && std::string(g->name) == "region") f["region"] = g;
    }
    // No database computes MONLEN: a condition or a sort key on ZERO is the program's.
    f["ZERO"] = r.Calc("ZERO", "MONLEN({1/1/2000}) * 0");
    f["NET"] = r.Calc("NET", "amount - qty * 2");
    f["TENS"] = r.Calc("TENS", "INT(qty / 10)");
    f["KIND"] = r.Calc("KIND", "'K' + cat");
    f["PREV"] = r.Calc("PREV", "PREVIOUS(l_id)");
    f["RNO"] = r.Calc("RNO", "RECNO()");
    f["M4"] = r.Calc("M4", "MOD(qty, 4)");
    f["NLEN"] = r.Calc("NLEN", "LEN(note)");
    f["UP"] = r.Calc("UP", "UPPER(name)");
    f["BACK"] = r.Calc("BACK", "ldate + -7");
    // Only what is placed below is on the layout.
    for (const char* c : {"ZERO", "NET", "TENS", "KIND", "PREV", "RNO", "M4", "NLEN", "UP", "BACK"})
      if (f[c] != nullptr) f[c]->head.flags &= ~kItemKindField;
    f["CNT"] = r.Total("CNT", f["l_id"], kSummaryCount, 0);
    f["SUM"] = r.Total("SUM", f["amount"], kSummarySum, 0);
    f["GCNT"] = r.Total("GCNT", f["l_id"], kSummaryCount, kSummaryResetNever);
    f["GSUM"] = r.Total("GSUM", f["amount"], kSummarySum, kSummaryResetNever);
    if (s.preTotal) f["CTOTAL"] = r.Total("CTOTAL", f["amount"], kSummarySum, 0, true);
    for (const auto& e : f)
      if (e.second == nullptr) return *error = "no field " + e.first, false;

    std::vector<SelectConditionRow> rows;
    for (const Condition& c : s.filter) rows.push_back(r.Row(c.joining, f[c.field], c.op, c.values));
    if (program && !rows.empty()) rows.push_back(r.Row(2, f["ZERO"], kCondGreater, "1"));
    if (!rows.empty() && !r.Filter(rows, error)) return false;
    int slot = 0;
    if (program && !s.sortKept) r.Sort(slot++, f["ZERO"], false);
    if (s.group != nullptr) {
      r.M().groupFields[0] = r.M().GetFieldIndex(f[s.group]);
      r.M().groupFlags[0] = 1;
      r.Sort(slot++, f[s.group], false);
    }
    for (const SortKey& k : s.sort) r.Sort(slot++, f[k.field], k.descending);

    if (s.group != nullptr) {
      const int header = r.Line(kBandGroupHeader);
      r.Text(header, 0, "Group");
      r.Place(f[s.group], header, 6, 10, 2);
      if (s.preTotal) {
        r.Text(header, 20, "total");
        r.Place(f["CTOTAL"], header, 26, 10, 2);
      }
    }
    const int record = r.Line(kBandRecord);
    r.Text(record, 0, "Rec");
    r.Place(f["l_id"], record, 4, 4, 0);
    r.Text(record, 9, "no");
    r.Place(f["RNO"], record, 12, 4, 0);
    r.Text(record, 17, "after");
    r.Place(f["PREV"], record, 23, 4, 0);
    r.Text(record, 28, "|");
    r.Place(f["name"], record, 30, 10);
    r.Place(f["qty"], record, 41, 5, 0);
    r.Place(f["amount"], record, 47, 9, 2);
    if (s.placeDate) r.Place(f["ldate"], record, 57, 10);
    // The count and the sum of the records of a group, and of the report.
    auto totals = [&](BYTE band, const char* label, FieldDef* count, FieldDef* sum) {
      const int line = r.Line(band);
      r.Text(line, 0, label);
      r.Place(count, line, 6, 4, 0);
      r.Text(line, 12, "sum");
      r.Place(sum, line, 16, 10, 2);
    };
    if (s.group != nullptr) totals(kBandGroupFooter, "Count", f["CNT"], f["SUM"]);
    totals(kBandSummary, "Grand", f["GCNT"], f["GSUM"]);
    r.Finish();
    if (s.limited) SetRecordLimit(&r.M(), 1000);
    return true;
  }

  // Printed here (the PDF's text); saved to be exported by the program to
  // a delimited file, and to be printed by it.
  std::string PrintAndSave(const Shape& s, bool program, const std::string& base, std::string* error) {
    SCOPED_TRACE(program ? "by the program" : "as written");
    ReportDocument d;
    if (!Build(d.doc, d.io, s, program, error)) return "";
    const std::string text = sample_test::PrintDocToPdf(d.doc, base + "_here.pdf");
    // The SELECT carries what it can as written, nothing of the filter and
    // the order when the program is to compute them.
    const SelectResult* select = GetSelectResult(d.doc.m_pModel);
    const bool sqlFilter = !program && !s.preTotal && !(s.programFilter & (db_.postgres() ? 2 : 1));
    const bool sqlSort = (!program || s.sortKept) && std::string(s.sort[0].field) != "TENS";
    EXPECT_EQ(select->mainStatement.find(" where ") != std::string::npos, sqlFilter) << select->mainStatement;
    EXPECT_EQ(select->mainStatement.find("order by") != std::string::npos, sqlSort) << select->mainStatement;
    if (program && !s.filter.empty()) {
      EXPECT_TRUE(select->engineFilterNeeded);
    }
    if (d.io.SaveReportFile((base + ".kmw").c_str()) != kRepIoOk) *error = "the report was not saved";
    if (!d.SaveAsExport(base + "_export.kmw", base + ".csv")) *error = "the export report was not saved";
    return text;
  }

  // The records the database selects, in its order.
  std::vector<std::string> Expected(const Shape& s) {
    return db_.Query(std::string("select l.l_id from ledger l left join ledger_cust c on c.cust_id = l.cust_id ") +
                     "where " + Where(s) + " order by " + s.order);
  }
  std::string Where(const Shape& s) const { return db_.postgres() && s.postgresWhere ? s.postgresWhere : s.where; }

  // The record lines of a print: the database's records in order, each
  // numbered by its place (RECNO()) and showing the one before (PREVIOUS()).
  void ExpectRecords(const std::string& text, const std::vector<std::string>& expected, const char* how) {
    SCOPED_TRACE(how);
    std::vector<std::string> ids, numbers, befores, places, previous;
    for (const std::string& line : Lines(text)) {
      const auto w = Columns(Words(line), ' ');
      if (w.empty() || w[0] != "Rec") continue;
      ASSERT_GE(w.size(), 6u) << line;
      previous.push_back(ids.empty() ? "" : ids.back());
      ids.push_back(w[1]);
      numbers.push_back(w[3]);
      befores.push_back(w[5] == "|" ? "" : w[5]);
      places.push_back(std::to_string(ids.size()));
    }
    EXPECT_EQ(ids, expected) << text;
    EXPECT_EQ(numbers, places) << "RECNO()";
    EXPECT_EQ(befores, previous) << "PREVIOUS()";
    bool grand = false;
    for (const std::string& line : Lines(text))
      if (Words(line).rfind("Grand ", 0) == 0) {
        grand = true;
        EXPECT_EQ(Columns(Words(line), ' ')[1], std::to_string(expected.size())) << line;
      }
    EXPECT_TRUE(grand) << text;
  }

  // The first column of each row of the delimited file.
  static std::vector<std::string> ExportedRecords(const std::string& file, std::string* whole) {
    std::ifstream in(file);
    std::vector<std::string> ids;
    for (std::string line; std::getline(in, line);) {
      *whole += line + "\n";
      if (!line.empty()) ids.push_back(Words(Columns(line, ',')[0]));
    }
    return ids;
  }
};

TEST_P(DatabaseOrProgram, PrintsAndExportsTheSameRowsOrderAndValues) {
  const Shape& s = kShapes[std::get<1>(GetParam())];
  const std::vector<std::string> expected = Expected(s);
  ASSERT_FALSE(expected.empty()) << s.where;
  std::string texts[2], exports[2];
  for (int way = 0; way < 2; ++way) {
    SCOPED_TRACE(way == 0 ? "as written" : "by the program");
    const std::string base = db_.dir() + "/" + s.name + (way == 0 ? "_sql" : "_program");
    std::string error;
    texts[way] = PrintAndSave(s, way == 1, base, &error);
    ASSERT_TRUE(error.empty()) << error;
    ExpectRecords(texts[way], expected, "printed here");
    if (s.groupBy != nullptr) {
      const std::vector<std::string> groups =
          db_.Query(std::string("select count(*) from ledger l where ") + Where(s) + " group by " + s.groupBy);
      size_t printed = 0;
      for (const std::string& line : Lines(texts[way])) printed += Words(line).rfind("Group ", 0) == 0 ? 1 : 0;
      EXPECT_EQ(printed, groups.size()) << texts[way];
    }
    std::string output;
    ASSERT_EQ(db_.RunProgram(base + "_export.kmw", &output), 0) << output;
    EXPECT_EQ(ExportedRecords(base + ".csv", &exports[way]), expected) << exports[way];
  }
  EXPECT_EQ(texts[1], texts[0]);
  EXPECT_EQ(exports[1], exports[0]);
  if (!s.unattended) return;

  // Printed unattended as written: status 0 and the same records; then with
  // a data source that always pre-fetches, where the program sorts them.
  const std::string report = db_.dir() + "/" + s.name + "_sql.kmw";
  std::string output;
  ExpectRecords(db_.PrintWithProgram(report, &output), expected, ("printed by /G " + output).c_str());
  db_.AlwaysPreFetch();
  ExpectRecords(db_.PrintWithProgram(report, &output), expected, ("pre-fetched, printed by /G " + output).c_str());
}

INSTANTIATE_TEST_SUITE_P(BothDatabases, DatabaseOrProgram, OnBothDatabases(std::size(kShapes)), CaseNames(kShapes));

// A sort larger than kmw.ini's pool: 12,000 records the program sorts (the
// data source pre-fetches) in a pool of 10,000 bytes go through run files
// and their merge, and are exported in the database's own order.
class PoolSort : public DatabaseOrProgram {
 protected:
  std::string Tables() const override {
    return "drop table if exists pooled;\ncreate table pooled (id integer, k varchar(8));\n"
           "insert into pooled with recursive n(i) as (select 1 union all select i + 1 from n where i < 12000) "
           "select i, printf('k%04d', i * 37 % 5003) from n;\n";
  }
};

TEST_P(PoolSort, RunFilesMergeInTheDatabasesOrder) {
  const std::string base = db_.dir() + "/pooled", work = db_.dir() + "/vortelle";
  {
    ReportDocument d;
    ReportMaker r(d.doc, d.io);
    std::string error;
    ASSERT_TRUE(r.Begin(kDsn, "pooled", {"id", "k"}, &error)) << error;
    const int record = r.Line(kBandRecord);
    r.Place(r.Column("id"), record, 0, 6, 0);
    r.Place(r.Column("k"), record, 8, 6);
    r.Sort(0, r.Column("k"), false);
    r.Sort(1, r.Column("id"), true);
    r.Finish();
    ASSERT_TRUE(d.SaveAsExport(base + ".kmw", base + ".csv"));
  }
  db_.AlwaysPreFetch();
  std::ofstream(db_.dir() + "/kmw.ini", std::ios::app) << "\n[Special]\nSortPoolSize=10000\n";
  // The files the run makes in its private folder under XDG_RUNTIME_DIR, run
  // files named ".#" and their number.
  ASSERT_EQ(::mkdir(work.c_str(), 0700), 0);
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(inotify_add_watch(watch, work.c_str(), IN_CREATE), 0);
  std::string output, exported;
  ASSERT_EQ(db_.RunProgram(base + ".kmw", &output), 0) << output;
  int runs = 0;
  alignas(inotify_event) char events[64 * 1024];
  for (ssize_t n; (n = ::read(watch, events, sizeof events)) > 0;)
    for (char* e = events; e < events + n; e += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(e)->len)
      runs += std::string(reinterpret_cast<inotify_event*>(e)->name).find(".#") != std::string::npos;
  ::close(watch);
  EXPECT_GT(runs, 20) << "more runs than one merge takes";
  EXPECT_EQ(ExportedRecords(base + ".csv", &exported), db_.Query("select id from pooled order by k, id desc"));
}

INSTANTIATE_TEST_SUITE_P(SQLite, PoolSort, ::testing::Combine(::testing::Values(0), ::testing::Values(0)));

}  // namespace
