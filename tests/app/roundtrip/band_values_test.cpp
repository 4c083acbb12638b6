// What the bands of a report print, read back from the PDF (and from the
// program's own export where the band is exported) and held against what the
// database computes over the same rows, on SQLite and on the private
// PostgreSQL server: a group footer, moved or not, shows its group's last
// record, functions of its fields too; page totals are over the records of
// their own page, three records across and on a page that holds only a
// moved footer; Print Once shows the group on a page's first record across;
// PREVIOUS() of a value in error keeps its state; a text that may grow is
// cut where its field ends.
#include "engine/doc_upkeep.h"
#include "layout/page_setup.h"
#include "tests/app/roundtrip/values_run.h"
#include "tests/support/pdf_words.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using roundtrip::CsvRows;
using roundtrip::ExportTo;
using roundtrip::Lines;
using roundtrip::Money;
using roundtrip::Pages;
using roundtrip::ReportMaker;
using roundtrip::Words;

// Orders of five cities, some without a tag, one tag with blanks around it;
// lines of five groups (one of a single line), amounts in quarters.
std::string DataScript(bool postgres) {
  const char* real = postgres ? "double precision" : "double";
  std::ostringstream s;
  s << "drop table if exists bv_orders;\n"
    << "create table bv_orders (o_id integer, city varchar(12), tag varchar(10), amount " << real << ");\n";
  const char* cities[] = {"Abel", "Brest", "Lyon", "Metz", "Nice"};
  const char* tags[] = {"blue", " red ", "green", "ox"};
  for (int i = 1; i <= 40; ++i)
    s << "insert into bv_orders values (" << 1000 + i << ", '" << cities[i * 7 % 5] << "', "
      << (i % 3 == 0 ? std::string("NULL") : std::string("'") + tags[i % 4] + "'") << ", "
      << (i * 37 % 100) * 0.25 + i << ");\n";
  s << "drop table if exists bv_lines;\n"
    << "create table bv_lines (id integer, grp varchar(8), amount " << real << ");\n";
  for (int i = 1; i <= 160; ++i)
    s << "insert into bv_lines values (" << i << ", '"
      << (i <= 23 ? "A" : i <= 50 ? "B" : i <= 51 ? "C" : i <= 120 ? "D" : "E") << "', " << (i * 37 % 100) * 0.25 + i
      << ");\n";
  return s.str();
}

class BandValues : public roundtrip::ValuesRun {
 protected:
  BandValues() : ValuesRun(DataScript, "bands") {}

  // The database's Count and Sum of the amount and Maximum of the id over
  // the lines of ids (a list of numbers): as a page total line prints them.
  std::vector<std::string> PageFigures(const std::string& ids) {
    if (ids.empty()) return {"0", "0.00"};  // no line: no maximum
    const std::vector<std::string> db =
        Lines(Query("select count(*), sum(amount), max(id) from bv_lines where id in (" + ids + ")"));
    if (db.size() != 1) return {"?"};
    return {db[0].substr(0, db[0].find('|')), Money(std::atof(db[0].substr(db[0].find('|') + 1).c_str())),
            db[0].substr(db[0].rfind('|') + 1)};
  }
};

// A Page Footer line "Page total": Count and Sum of the amount and Maximum
// of the id, reset every page.
void PlacePageTotals(ReportMaker& r, FieldDef* amount, FieldDef* id) {
  const int foot = r.Line(kBandPageFooter);
  r.Text(foot, 0, "Page total");
  r.Place(r.Total("PCOUNT", amount, kSummaryCount, kSummaryResetPage), foot, 12, 4, 0);
  r.Place(r.Total("PSUM", amount, kSummarySum, kSummaryResetPage), foot, 20, 10, 2);
  r.Place(r.Total("PMAX", id, kSummaryMaximum, kSummaryResetPage), foot, 32, 6, 0);
}

// A row of the database's answer or of a read export: its columns.
std::vector<std::string> Split(const std::string& row) {
  std::vector<std::string> out;
  std::istringstream in(row + "|");
  for (std::string cell; std::getline(in, cell, '|');) out.push_back(cell);
  return out;
}

std::string Joined(const std::vector<std::string>& cells) {
  std::string out;
  for (const std::string& cell : cells) out += (out.empty() ? "" : "|") + cell;
  return out;
}

std::string Trimmed(const std::string& s) {
  const size_t a = s.find_first_not_of(' ');
  if (a == std::string::npos) return std::string();
  return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

// The fields of a line after label, as the ";" texts between them part them.
std::vector<std::string> Cells(const std::string& line, const std::string& label) {
  std::vector<std::string> out;
  std::string rest = line.substr(line.find(label) + label.size());
  for (size_t at; (at = rest.find(';')) != std::string::npos; rest = rest.substr(at + 1))
    out.push_back(Trimmed(rest.substr(0, at)));
  return out;
}

// Places the fields on the line from column, a ";" after each.
void PlaceCells(ReportMaker& r, int line, int column, const std::vector<std::pair<FieldDef*, int>>& fields) {
  for (const auto& f : fields) {
    r.Place(f.first, line, column, f.second, f.first->flags & kFieldNumeric ? 2 : -1);
    column += f.second;
    r.Text(line, column, ";");
    column += 2;
  }
}

// "2003-01-04" as the program prints the date: 1/4/03.
std::string ShortDate(const std::string& iso) {
  if (iso.size() < 10) return iso;
  return std::to_string(std::atoi(iso.c_str() + 5)) + "/" + std::to_string(std::atoi(iso.c_str() + 8)) + "/" +
         iso.substr(2, 2);
}

bool AllStars(const std::string& s) { return !s.empty() && s.find_first_not_of("*/.") == std::string::npos && s[0] == '*'; }

// Each city's footer, moved to the next page below the group's repeated
// header or not, shows the values of the city's last order: the tag, whether
// it is NULL, its upper case, length and trimmed form, and a calculation over
// the amount, by the program and by the server (SQLEXP); in print and in the
// delimited export of the footer band.
TEST_P(BandValues, FootersShowTheirGroupsLastRecord) {
  std::vector<std::string> expected;
  for (const std::string& row : Lines(Query(
           "select city, coalesce(trim(tag), ''), case when tag is null then 'T' else 'F' end, "
           "coalesce(upper(trim(tag)), ''), coalesce(length(tag), 0), coalesce(trim(tag), ''), amount * 2, amount * 2 "
           "from bv_orders o where o_id = (select max(o_id) from bv_orders i where i.city = o.city) order by city"))) {
    std::vector<std::string> c = Split(row);
    ASSERT_EQ(c.size(), 8u) << row;
    c[6] = Money(std::atof(c[6].c_str()));
    c[7] = Money(std::atof(c[7].c_str()));
    expected.push_back(Joined(c));
  }
  ASSERT_EQ(expected.size(), 5u);
  auto layout = [](int footerLines) {
    return [footerLines](ReportMaker& r, CKmDoc& doc) {
      FieldDef* id = r.Column("o_id");
      FieldDef* city = r.Column("city");
      FieldDef* tag = r.Column("tag");
      FieldDef* amount = r.Column("amount");
      FieldDef* isNull = r.Calc("TNULL", "ISNULL(tag)");
      FieldDef* upper = r.Calc("TUP", "UPPER(TRIM(tag))");
      FieldDef* length = r.Calc("TLEN", "LEN(tag)");
      FieldDef* trim = r.Calc("TTRIM", "TRIM(tag)");
      FieldDef* twice = r.Calc("TWICE", "amount * 2");
      FieldDef* server = r.Calc("SERVER", "SQLEXP(\"amount * 2\")");
      if (!id || !city || !tag || !amount || !isNull || !upper || !length || !trim || !twice || !server) return false;
      r.Group(0, city, false);
      r.M().groupFlags[0] |= kGroupRepeatHeader;
      r.Sort(1, id, false);
      const int head = r.Line(kBandGroupHeader);
      r.Text(head, 0, "Group");
      r.Place(DuplicateField(&doc, city), head, 8, 8);
      const int rec = r.Line(kBandRecord);
      r.Text(rec, 0, "Row");
      r.Place(id, rec, 5, 6, 0);
      r.Place(amount, rec, 12, 8, 2);
      const int foot = r.Line(kBandGroupFooter);
      r.Text(foot, 0, "Foot");
      PlaceCells(r, foot, 5,
                 {{DuplicateField(&doc, city), 7}, {DuplicateField(&doc, tag), 7}, {isNull, 2}, {upper, 7},
                  {length, 3}, {trim, 7}, {twice, 8}, {server, 8}});
      length->displayDecimals = 0;
      for (int i = 1; i < footerLines; ++i) r.Text(r.Line(kBandGroupFooter), 2, "more");
      return true;
    };
  };
  auto check = [&](const std::string& text) {
    std::vector<std::string> got;
    for (const std::string& line : Lines(text)) {
      if (line.find("Foot") == std::string::npos) continue;
      std::vector<std::string> c = Cells(line, "Foot");
      if (c.size() == 8) c[7] = Money(std::atof(c[7].c_str()));  // the server's number as it gave it
      got.push_back(Joined(c));
    }
    EXPECT_EQ(got, expected) << text;
  };
  check(Print("footers", "bv_orders", {"o_id", "city", "tag", "amount"}, layout(1)));
  // Page lengths that move a footer, after its group's last order, to the
  // next page below the group's repeated header.
  bool moved = false;
  for (margins_ = 300; margins_ <= 520 && !moved && !HasFailure(); margins_ += 4) {
    const std::string text = Print("moved_footers", "bv_orders", {"o_id", "city", "tag", "amount"}, layout(3));
    check(text);
    for (const std::string& page : Pages(text)) {
      const std::vector<std::string> lines = Lines(page);
      if (lines.size() >= 2 && Words(lines[0])[0] == "Group" && Words(lines[1])[0] == "Foot") moved = true;
    }
  }
  EXPECT_TRUE(moved) << "no page length moved a footer below a repeated header";
  margins_ = 0;

  // The program's export of the footer band: the same values.
  const std::string csv = dir_ + "/footers.csv";
  std::filesystem::remove(csv);
  Print("footers_export", "bv_orders", {"o_id", "city", "tag", "amount"}, layout(1),
        [&](CKmDoc& doc, CKmRepIO& io) { ExportTo(doc, io, csv, kExportDataFile, kBandGroupFooter); });
  int status = -1;
  const std::string output = RunProgram("footers_export", &status);
  ASSERT_EQ(status, 0) << output;
  std::vector<std::string> exported = CsvRows(csv);
  for (std::string& row : exported) {
    // A logical goes out as the program spells it; a number as a number.
    std::vector<std::string> c = Split(row);
    if (c.size() == 8) {
      c[6] = Money(std::atof(c[6].c_str()));
      c[7] = Money(std::atof(c[7].c_str()));
      c[4] = std::to_string(std::atoi(c[4].c_str()));
      if (c[2] == "1" || c[2] == "0") c[2] = c[2] == "1" ? "T" : "F";
    }
    row = Joined(c);
  }
  EXPECT_EQ(exported, expected) << roundtrip::ReadFile(csv);
}

// PREVIOUS() of a calculation in error (a division by zero, a date over one)
// prints and exports as the calculation itself did on the record before: in
// asterisks, not as 0, 0.00 or the first day of the calendar.
TEST_P(BandValues, PreviousOfAnErrorKeepsItsState) {
  const std::string date = Postgres() ? "cast(date '2003-01-02' + 2 / (o_id % 3) as varchar)"
                                      : "date('2003-01-02', '+' || (2 / (o_id % 3)) || ' days')";
  const std::vector<std::string> rows = Lines(Query(
      "select o_id, e, d, lag(o_id) over (order by o_id), lag(e) over (order by o_id), lag(d) over (order by o_id) "
      "from (select o_id, case when o_id % 3 = 0 then null else 100.0 / (o_id % 3) end e, case when o_id % 3 = 0 "
      "then null else " + date + " end d from bv_orders) t order by o_id"));
  ASSERT_EQ(rows.size(), 40u);
  const std::string csv = dir_ + "/previous.csv";
  std::filesystem::remove(csv);
  const std::string text =
      Print("previous", "bv_orders", {"o_id"}, [](ReportMaker& r, CKmDoc&) {
        FieldDef* id = r.Column("o_id");
        FieldDef* e = r.Calc("E", "100 / MOD(o_id, 3)");
        FieldDef* p = r.Calc("P", "PREVIOUS(E)");
        FieldDef* d = r.Calc("D", "CTOD('01/02/2003') + 2 / MOD(o_id, 3)");
        FieldDef* pd = r.Calc("PD", "PREVIOUS(D)");
        if (!id || !e || !p || !d || !pd) return false;
        r.Sort(0, id, false);
        const int rec = r.Line(kBandRecord);
        r.Text(rec, 0, "Row");
        PlaceCells(r, rec, 4, {{id, 5}, {e, 7}, {p, 7}, {d, 8}, {pd, 8}});
        id->displayDecimals = 0;
        return true;
      }, [&](CKmDoc& doc, CKmRepIO& io) { ExportTo(doc, io, csv, kExportDataFile, kBandRecord); });
  std::vector<std::vector<std::string>> printed;
  for (const std::string& line : Lines(text))
    if (line.find("Row") != std::string::npos) printed.push_back(Cells(line, "Row"));
  ASSERT_EQ(printed.size(), rows.size()) << text;
  for (size_t i = 0; i < rows.size(); ++i) {
    const std::vector<std::string> db = Split(rows[i]);
    ASSERT_EQ(db.size(), 6u) << rows[i];
    const std::vector<std::string>& got = printed[i];
    ASSERT_EQ(got.size(), 5u) << text;
    EXPECT_EQ(got[0], db[0]);
    // The current value: its figure, or asterisks in error.
    if (db[1].empty()) {
      EXPECT_TRUE(AllStars(got[1]) && AllStars(got[3])) << got[1] << " " << got[3];
    } else {
      EXPECT_TRUE(got[1] == Money(std::atof(db[1].c_str())) && got[3] == ShortDate(db[2])) << rows[i];
    }
    // The previous one: blank before the first record, else as it printed.
    if (db[3].empty()) {
      EXPECT_TRUE(got[2].empty() && got[4].empty()) << got[2] << " " << got[4];
    } else if (db[4].empty()) {
      EXPECT_TRUE(AllStars(got[2]) && AllStars(got[4])) << db[0] << ": " << got[2] << " " << got[4];
    } else {
      EXPECT_TRUE(got[2] == Money(std::atof(db[4].c_str())) && got[4] == ShortDate(db[5])) << rows[i];
    }
  }

  // The export: each PREVIOUS() goes out as its value did on the row before.
  int status = -1;
  const std::string output = RunProgram("previous", &status);
  ASSERT_EQ(status, 0) << output;
  const std::vector<std::string> exported = CsvRows(csv);
  ASSERT_EQ(exported.size(), rows.size()) << roundtrip::ReadFile(csv);
  for (size_t i = 1; i < exported.size(); ++i) {
    const std::vector<std::string> now = Split(exported[i]), before = Split(exported[i - 1]);
    ASSERT_EQ(now.size(), 5u) << exported[i];
    ASSERT_EQ(before.size(), 5u) << exported[i - 1];
    EXPECT_EQ(now[2], before[1]) << exported[i - 1] << "\n" << exported[i];
    EXPECT_EQ(now[4], before[3]) << exported[i - 1] << "\n" << exported[i];
  }
}

// A text calculation whose operand is not on the layout may grow past its
// field: it prints cut where its field ends, in error (asterisks) too; the
// text export holds it cut as well.
TEST_P(BandValues, TextCalculationsAreCutAtTheirFieldsWidth) {
  const std::string repeat = Postgres() ? "repeat('ab', 40)" : "replace(hex(zeroblob(40)), '00', 'ab')";
  std::map<std::string, std::string> values;  // o_id: the text in full, "" in error
  for (const std::string& row : Lines(Query("select o_id, case when o_id % 3 = 0 then '' else case when amount > 20 "
                                            "then " + repeat + " else 'no' end end from bv_orders"))) {
    const size_t bar = row.find('|');
    values[row.substr(0, bar)] = row.substr(bar + 1);
  }
  ASSERT_EQ(values.size(), 40u);
  double fieldWidth = 0;  // points
  const std::string txt = dir_ + "/cut.txt";
  std::filesystem::remove(txt);
  const std::string text = Print("cut", "bv_orders", {"o_id", "amount"}, [](ReportMaker& r, CKmDoc&) {
    FieldDef* id = r.Column("o_id");
    FieldDef* wide = r.Calc("WIDE", "IIF(amount > 20, REPLICATE('ab', 40), 'no') + REPLICATE('b', 1 / MOD(o_id, 3) * 0)");
    if (!id || !wide) return false;
    r.Sort(0, id, false);
    const int rec = r.Line(kBandRecord);
    r.Text(rec, 0, "Row");
    r.Place(id, rec, 4, 5, 0);
    r.Place(wide, rec, 10, 12);
    r.Text(rec, 30, "|");
    return true;
  }, [&](CKmDoc& doc, CKmRepIO& io) {
    for (FieldDef* f = doc.m_pModel->fieldList; f != nullptr; f = f->next)
      if (std::string(f->name) == "WIDE") fieldWidth = (f->head.right - f->head.left + 1) * 72.0 / 100.0;
    ExportTo(doc, io, txt, kExportText);
  });
  ASSERT_GT(fieldWidth, 10.0);
  // The words of each record's line, left to right: "Row", the number, the
  // text, "|".
  std::map<std::pair<int, long>, std::vector<PdfWord>> lines;
  for (const PdfWord& w : ReadPdfWords(pdf_)) lines[{w.page, std::lround(w.yMax)}].push_back(w);
  size_t seen = 0;
  for (auto& line : lines) {
    std::vector<PdfWord>& w = line.second;
    std::sort(w.begin(), w.end(), [](const PdfWord& a, const PdfWord& b) { return a.xMin < b.xMin; });
    if (w[0].text != "Row") continue;
    ASSERT_EQ(w.size(), 4u) << w[1].text;
    const PdfWord& number = w[1];
    const PdfWord& cut = w[2];
    ASSERT_TRUE(values.count(number.text)) << number.text;
    const std::string& full = values[number.text];
    ++seen;
    EXPECT_EQ(w[3].text, "|") << number.text << ": " << cut.text;
    EXPECT_LE(cut.xMax - cut.xMin, fieldWidth + 1.0) << number.text << ": " << cut.text;
    if (full.empty()) {
      EXPECT_TRUE(AllStars(cut.text)) << number.text << ": " << cut.text;
    } else {
      EXPECT_EQ(full.compare(0, cut.text.size(), cut.text), 0) << number.text << ": " << cut.text;
      EXPECT_GE(cut.text.size(), std::min<size_t>(full.size(), 8)) << number.text << ": " << cut.text;
    }
  }
  EXPECT_EQ(seen, values.size()) << text;

  int status = -1;
  const std::string output = RunProgram("cut", &status);
  ASSERT_EQ(status, 0) << output;
  // The text export: the same texts, each before the "|" that follows its
  // field, that "|" where it stands on every line.
  size_t exported = 0, bar = std::string::npos;
  for (const std::string& line : Lines(roundtrip::ReadFile(txt))) {
    const std::vector<std::string> w = Words(line);
    if (w.empty() || w[0] != "Row") continue;
    ++exported;
    ASSERT_EQ(w.size(), 4u) << line;
    ASSERT_TRUE(values.count(w[1])) << line;
    const std::string& full = values[w[1]];
    EXPECT_TRUE(full.empty() ? AllStars(w[2]) : full.compare(0, w[2].size(), w[2]) == 0) << line;
    if (bar == std::string::npos) bar = line.find('|');
    EXPECT_EQ(line.find('|'), bar) << line;
    EXPECT_LT(line.find(w[2]) + w[2].size(), bar) << line;
  }
  EXPECT_EQ(exported, values.size());
}

// One record of a page of records across: its group (shown or not) and id.
struct Placed {
  std::string group;
  int id;
};

// The records of each page (in the order they fill the rows) and its page
// total line's words after "Page total".
void ReadAcrossPages(const std::string& text, std::vector<std::vector<Placed>>* records,
                     std::vector<std::vector<std::string>>* totals) {
  for (const std::string& page : Pages(text)) {
    records->emplace_back();
    totals->emplace_back();
    for (const std::string& line : Lines(page)) {
      const std::vector<std::string> w = Words(line);
      if (w.size() >= 2 && w[0] == "Page" && w[1] == "total") totals->back().assign(w.begin() + 2, w.end());
      for (size_t i = 0; i + 1 < w.size(); ++i) {
        if (w[i] != "Row") continue;
        Placed p;
        if (std::isalpha(static_cast<unsigned char>(w[i + 1][0]))) p.group = w[++i];
        p.id = i + 1 < w.size() ? std::atoi(w[i + 1].c_str()) : 0;
        records->back().push_back(p);
      }
    }
  }
}

// Three records across with Count, Sum and Maximum reset every page: each
// page's Page Footer gives the database's figures over the records printed
// on that page, grouped (the rows of a group end at its footer) or not; a
// group printed Print Once shows on the page's first record and on its own
// first record, nowhere else; in print and in the text export.
TEST_P(BandValues, PageTotalsAcrossAreOverTheirOwnPage) {
  std::map<int, std::string> groupOf;
  std::set<int> groupFirst;
  for (const std::string& row : Lines(Query("select id, grp, id = (select min(id) from bv_lines i where i.grp = "
                                            "o.grp) from bv_lines o"))) {
    const std::vector<std::string> c = Split(row);
    ASSERT_EQ(c.size(), 3u) << row;
    groupOf[std::atoi(c[0].c_str())] = c[1];
    if (c[2] == "1" || c[2] == "t") groupFirst.insert(std::atoi(c[0].c_str()));
  }
  ASSERT_EQ(groupOf.size(), 160u);
  margins_ = 400;  // some fifty records to a page
  const std::string txt = dir_ + "/across.txt";
  for (bool grouped : {false, true}) {
    const std::string text = Print(grouped ? "across_groups" : "across", "bv_lines", {"id", "grp", "amount"},
                                   [&](ReportMaker& r, CKmDoc& doc) {
      FieldDef* id = r.Column("id");
      FieldDef* grp = r.Column("grp");
      FieldDef* amount = r.Column("amount");
      if (!id || !grp || !amount) return false;
      const int rec = r.Line(kBandRecord);
      r.Text(rec, 0, "Row");
      if (grouped) {
        r.Group(0, grp, false);
        r.M().groupFlags[0] |= kGroupPrintOnce;
        r.Sort(1, id, false);
        r.Place(grp, rec, 4, 2);
        const int foot = r.Line(kBandGroupFooter);
        r.Text(foot, 0, "End of");
        r.Place(DuplicateField(&doc, grp), foot, 8, 4);
      } else {
        r.Sort(0, id, false);
      }
      r.Place(id, rec, 6, 4, 0);
      r.Place(amount, rec, 11, 8, 2);
      PlacePageTotals(r, amount, id);
      SetLabelArrangement(*doc.m_pPageSetup, 3, false);
      doc.m_pPageSetup->RecordWidth = 250;
      return true;
    }, [&](CKmDoc& doc, CKmRepIO& io) { ExportTo(doc, io, txt, kExportText); });
    // The print, and the text export of the program's own run: the same pages.
    std::filesystem::remove(txt);
    int status = -1;
    const std::string output = RunProgram(grouped ? "across_groups" : "across", &status);
    ASSERT_EQ(status, 0) << output;
    for (const std::string& read : {text, roundtrip::ReadFile(txt)}) {
      std::vector<std::vector<Placed>> records;
      std::vector<std::vector<std::string>> totals;
      ReadAcrossPages(read, &records, &totals);
      ASSERT_GE(records.size(), 3u) << read;
      std::set<int> all;
      for (size_t p = 0; p < records.size(); ++p) {
        std::string ids;
        for (const Placed& r : records[p]) {
          ids += (ids.empty() ? "" : ",") + std::to_string(r.id);
          EXPECT_TRUE(all.insert(r.id).second) << r.id << " printed twice";
        }
        ASSERT_FALSE(ids.empty()) << "page " << p + 1 << "\n" << read;
        EXPECT_EQ(totals[p], PageFigures(ids)) << "page " << p + 1 << "\n" << read;
        if (!grouped) continue;
        for (size_t i = 0; i < records[p].size(); ++i) {
          const Placed& r = records[p][i];
          const bool shown = i == 0 || groupFirst.count(r.id) > 0;
          EXPECT_EQ(r.group, shown ? groupOf[r.id] : std::string()) << "page " << p + 1 << ", record " << r.id;
        }
      }
      EXPECT_EQ(all.size(), groupOf.size());
    }
  }
}

// A group with Reset Page whose footer does not fit after its last line
// goes on a page of its own: that page's totals count no record (the next
// group's first line prints, and counts, on the page after it); every page's
// totals are the database's over the lines printed on it.
TEST_P(BandValues, APageHoldingOnlyAMovedFooterCountsNoRecord) {
  bool footerAlone = false;
  for (margins_ = 300; margins_ <= 560 && !footerAlone && !HasFailure(); margins_ += 4) {
    const std::string text = Print("footer_alone", "bv_lines", {"id", "grp", "amount"}, [](ReportMaker& r, CKmDoc&) {
      FieldDef* id = r.Column("id");
      FieldDef* grp = r.Column("grp");
      FieldDef* amount = r.Column("amount");
      if (!id || !grp || !amount) return false;
      r.Group(0, grp, false);
      r.M().groupFlags[0] |= kGroupResetPage;
      r.Sort(1, id, false);
      const int rec = r.Line(kBandRecord);
      r.Text(rec, 0, "Row");
      r.Place(id, rec, 5, 4, 0);
      r.Place(amount, rec, 12, 10, 2);
      r.Text(r.Line(kBandGroupFooter), 0, "End of group");
      r.Text(r.Line(kBandGroupFooter), 2, "more");
      r.Text(r.Line(kBandGroupFooter), 2, "more");
      PlacePageTotals(r, amount, id);
      return true;
    });
    ASSERT_FALSE(text.empty());
    size_t rows = 0;
    for (const std::string& page : Pages(text)) {
      std::string ids;
      std::vector<std::string> total;
      bool footer = false;
      for (const std::string& line : Lines(page)) {
        const std::vector<std::string> w = Words(line);
        if (w.size() >= 2 && w[0] == "Row") ids += (ids.empty() ? "" : ",") + w[1];
        if (w.size() >= 2 && w[0] == "Page" && w[1] == "total") total.assign(w.begin() + 2, w.end());
        footer = footer || line.find("End of group") != std::string::npos;
      }
      if (ids.empty()) footerAlone = footerAlone || footer;
      else rows += static_cast<size_t>(std::count(ids.begin(), ids.end(), ',') + 1);
      EXPECT_EQ(total, PageFigures(ids)) << "margins " << margins_ << "\n" << page;
    }
    EXPECT_EQ(rows, 160u);
  }
  EXPECT_TRUE(footerAlone) << "no page length left a footer on a page of its own";
}

INSTANTIATE_TEST_SUITE_P(BothDatabases, BandValues, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& i) {
                           return i.param == 0 ? std::string("SQLite") : std::string("PostgreSQL");
                         });

}  // namespace
