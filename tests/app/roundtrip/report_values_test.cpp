// What a report prints at its page and group ends, read back from the PDF
// and held against the database's own figures on SQLite and on the private
// PostgreSQL server: page totals, the values a group's footer and its
// repeated header show, groups over missing values and over names the code
// page cannot spell, and the empty lines of a wrapped text.
#include "engine/doc_upkeep.h"
#include "tests/app/roundtrip/values_run.h"
#include "tests/support/pdf_words.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using roundtrip::Lines;
using roundtrip::Money;
using roundtrip::Pages;
using roundtrip::RowsAfter;
using roundtrip::ReportMaker;
using roundtrip::Words;

// The rows: amounts in quarters, so that every sum is exact.
std::string DataScript(bool postgres) {
  const char* real = postgres ? "double precision" : "double";
  std::ostringstream s;
  s << "drop table if exists rv_lines;\n"
    << "create table rv_lines (id integer, grp varchar(8), amount " << real << ");\n";
  for (int i = 1; i <= 64; ++i)
    s << "insert into rv_lines values (" << i << ", '" << (i <= 23 ? "A" : i <= 50 ? "B" : "C") << "', "
      << (i * 37 % 100) * 0.25 + i << ");\n";
  // Quantities whose calculated group (ABS) differs from their own order.
  s << "drop table if exists rv_qty;\n"
    << "create table rv_qty (id integer, qty integer);\n";
  const int qty[] = {1, -1, 2, -2, 2, 3, -3, 3, 4};
  for (int i = 0; i < 9; ++i) s << "insert into rv_qty values (" << i + 1 << ", " << qty[i] << ");\n";
  // Customers with and without a credit, and with credit 0.
  s << "drop table if exists rv_credit;\n"
    << "create table rv_credit (id integer, customer varchar(20), credit integer);\n";
  const char* credit[] = {"NULL", "0", "NULL", "5", "NULL", "0", "5", "NULL", "5"};
  for (int i = 0; i < 9; ++i)
    s << "insert into rv_credit values (" << i + 1 << ", 'C" << i + 1 << "', " << credit[i] << ");\n";
  // Names that differ only in letters the code page lacks.
  s << "drop table if exists rv_names;\n"
    << "create table rv_names (id integer, customer varchar(20), amount " << real << ");\n";
  const char* names[] = {"Ωmega", "Дmega", "Ωmega", "Alpha", "Дmega", "Дmega", "Дmega?", "Zeta"};
  for (int i = 0; i < 8; ++i)
    s << "insert into rv_names values (" << i + 1 << ", '" << names[i] << "', " << (i + 1) * 10.25 << ");\n";
  // Texts with an empty line and with a lone line feed.
  const char* lf = postgres ? "chr(10)" : "char(10)";
  s << "drop table if exists rv_texts;\n"
    << "create table rv_texts (id integer, body varchar(120));\n"
    << "insert into rv_texts values (1, 'alpha' || " << lf << " || " << lf << " || 'beta');\n"
    << "insert into rv_texts values (2, 'gamma' || " << lf << " || 'delta');\n"
    << "insert into rv_texts values (3, 'aaaa bbbb cccc dddd eeee ffff');\n";
  return s.str();
}

class ReportValues : public roundtrip::ValuesRun {
 protected:
  ReportValues() : ValuesRun(DataScript, "values") {}
};

// Each page's totals against its own record lines: "Row id amount" lines
// and one "Page total count sum average" line.
void ExpectPageTotalsOfTheirOwnLines(const std::string& text, size_t rows, double allSum) {
  const std::vector<std::string> pages = Pages(text);
  ASSERT_GE(pages.size(), 3u) << text;
  size_t seen = 0;
  double seenSum = 0;
  for (const std::string& page : pages) {
    int count = 0;
    double sum = 0;
    std::vector<std::string> footer;
    for (const std::string& line : Lines(page)) {
      const std::vector<std::string> w = Words(line);
      if (w.size() == 3 && w[0] == "Row") {
        ++count;
        sum += std::atof(w[2].c_str());
      }
      if (w.size() == 5 && w[0] == "Page" && w[1] == "total") footer = w;
    }
    ASSERT_EQ(footer.size(), 5u) << page;
    EXPECT_EQ(footer[2], std::to_string(count)) << page;
    EXPECT_EQ(footer[3], Money(sum)) << page;
    EXPECT_EQ(footer[4], Money(count > 0 ? sum / count : 0)) << page;
    seen += static_cast<size_t>(count);
    seenSum += sum;
  }
  EXPECT_EQ(seen, rows);
  EXPECT_EQ(Money(seenSum), Money(allSum));
}

// Page totals (Count, Sum, Average reset every page) in the Page Footer
// count each page's own record lines, with pages that end where the Record
// band no longer fits and where a group with Reset Page ends.
TEST_P(ReportValues, PageTotalsCountTheirOwnPage) {
  const std::vector<std::string> all = Lines(Query("select count(*), sum(amount) from rv_lines"));
  ASSERT_EQ(all.size(), 1u);
  const size_t rows = static_cast<size_t>(std::atoi(all[0].c_str()));
  const double sum = std::atof(all[0].substr(all[0].find('|') + 1).c_str());
  margins_ = 430;  // a dozen or so record lines to a page
  for (bool resetPage : {false, true}) {
    const std::string text =
        Print(resetPage ? "reset_pages" : "pages", "rv_lines", {"id", "grp", "amount"}, [&](ReportMaker& r, CKmDoc&) {
          FieldDef* id = r.Column("id");
          FieldDef* grp = r.Column("grp");
          FieldDef* amount = r.Column("amount");
          if (!id || !grp || !amount) return false;
          if (resetPage) {
            r.Group(0, grp, false);
            r.M().groupFlags[0] |= kGroupResetPage;
            r.Sort(1, id, false);
            const int foot = r.Line(kBandGroupFooter);
            r.Text(foot, 0, "End of");
            r.Place(grp, foot, 8, 4);
          } else {
            r.Sort(0, id, false);
          }
          const int rec = r.Line(kBandRecord);
          r.Text(rec, 0, "Row");
          r.Place(id, rec, 5, 4, 0);
          r.Place(amount, rec, 12, 10, 2);
          FieldDef* count = r.Total("PCOUNT", amount, kSummaryCount, kSummaryResetPage);
          FieldDef* total = r.Total("PSUM", amount, kSummarySum, kSummaryResetPage);
          FieldDef* average = r.Total("PAVG", amount, kSummaryAverage, kSummaryResetPage);
          const int foot = r.Line(kBandPageFooter);
          r.Text(foot, 0, "Page total");
          r.Place(count, foot, 12, 4, 0);
          r.Place(total, foot, 20, 10, 2);
          r.Place(average, foot, 32, 10, 2);
          return true;
        });
    ASSERT_FALSE(text.empty());
    ExpectPageTotalsOfTheirOwnLines(text, rows, sum);
    if (resetPage) {
      // Each group starts a page of its own.
      for (const std::string& page : Pages(text)) {
        const size_t end = page.find("End of");
        if (end != std::string::npos) {
          EXPECT_EQ(page.find("Row", end), std::string::npos) << page;
        }
      }
    }
  }
}

// A group on a calculation of the record, shown by copies of it (as a
// field placed a second time is) in its header and footer and by itself on
// the Record band: each footer, and a header repeated above a footer moved
// to the next page, shows the group that ends there, in print and in the
// text export.
TEST_P(ReportValues, AGroupsCalculatedValueAtItsEndIsItsOwn) {
  const std::vector<std::string> expected = Lines(Query("select abs(qty), count(*) from rv_qty group by abs(qty) order by 1"));
  ASSERT_EQ(expected.size(), 4u);
  auto layout = [](int footerLines) {
    return [footerLines](ReportMaker& r, CKmDoc& doc) {
      FieldDef* id = r.Column("id");
      FieldDef* qty = r.Column("qty");
      FieldDef* g = r.Calc("G", "ABS(qty) * INT(1)");
      if (!id || !qty || !g) return false;
      r.Group(0, g, false);
      r.M().groupFlags[0] |= kGroupRepeatHeader;
      r.Sort(1, id, false);
      const int head = r.Line(kBandGroupHeader);
      r.Text(head, 0, "Group");
      r.Place(DuplicateField(&doc, g), head, 8, 4, 0);
      const int rec = r.Line(kBandRecord);
      r.Text(rec, 0, "Row");
      r.Place(id, rec, 5, 4, 0);
      r.Place(qty, rec, 10, 4, 0);
      r.Place(g, rec, 16, 4, 0);
      FieldDef* lines = r.Total("GLINES", id, kSummaryCount, 0);
      const int foot = r.Line(kBandGroupFooter);
      r.Text(foot, 0, "Footer");
      FieldDef* copy = DuplicateField(&doc, g);
      r.Place(copy, foot, 8, 4, 0);
      r.Place(lines, foot, 14, 4, 0);
      for (int i = 1; i < footerLines; ++i) r.Text(r.Line(kBandGroupFooter), 2, "more");
      return true;
    };
  };
  // Footers and the headers above them agree with the database's groups.
  auto check = [&](const std::string& text) {
    std::vector<std::string> got;
    for (const std::vector<std::string>& w : RowsAfter(text, "Footer")) got.push_back(w.size() >= 2 ? w[0] + "|" + w[1] : "?");
    EXPECT_EQ(got, expected) << text;
    std::string lastGroup;
    for (const std::string& line : Lines(text)) {
      const std::vector<std::string> w = Words(line);
      if (w.size() >= 2 && w[0] == "Group") lastGroup = w[1];
      if (w.size() >= 2 && w[0] == "Footer") {
        EXPECT_EQ(w[1], lastGroup) << text;
      }
    }
  };
  // Page lengths that move a footer, after the last record of its group,
  // to the next page below the group's repeated header.
  bool moved = false;
  for (margins_ = 470; margins_ <= 520 && !moved && !HasFailure(); margins_ += 2) {
    const std::string text = Print("calc_group", "rv_qty", {"id", "qty"}, layout(3));
    ASSERT_FALSE(text.empty());
    check(text);
    for (const std::string& page : Pages(text)) {
      const std::vector<std::string> lines = Lines(page);
      if (lines.size() >= 2 && Words(lines[0])[0] == "Group" && Words(lines[1])[0] == "Footer") moved = true;
    }
  }
  EXPECT_TRUE(moved) << "no page length moved a footer below a repeated header";
  margins_ = 0;
  // The text export of the program's own run shows the same footers.
  const std::string txt = dir_ + "/calc_group.txt";
  fs::remove(txt);
  Print("calc_export", "rv_qty", {"id", "qty"}, layout(1), [&](CKmDoc& doc, CKmRepIO& io) {
    CKmExport e;
    e.format = kExportText;
    e.SetOutputPath(txt);
    e.StoreTo(&io.m_stream.settings);
    doc.m_pPageSetup->word12 = 255;
  });
  int status = -1;
  const std::string output = RunProgram("calc_export", &status);
  ASSERT_EQ(status, 0) << output;
  std::ifstream in(txt);
  const std::string exported((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  check(exported);
}

// A group on a calculation over a missing value holds the records without a
// value (printed as asterisks) apart from those whose value is 0, each with
// the count that the database's GROUP BY gives.
TEST_P(ReportValues, MissingValuesGroupApartFromZero) {
  std::vector<std::string> expected;
  for (const std::string& row : Lines(Query("select credit * 2, count(*) from rv_credit group by credit * 2")))
    expected.push_back((row[0] == '|' ? std::string("none") : row.substr(0, row.find('|'))) + "|" +
                       row.substr(row.find('|') + 1));
  std::sort(expected.begin(), expected.end());
  ASSERT_EQ(expected.size(), 3u);
  const std::string text = Print("credit", "rv_credit", {"id", "customer", "credit"}, [](ReportMaker& r, CKmDoc&) {
    FieldDef* credit = r.Column("credit");
    FieldDef* customer = r.Column("customer");
    FieldDef* twice = r.Calc("TWICE", "credit * 2");
    if (!credit || !customer || !twice) return false;
    r.Group(0, twice, false);
    const int head = r.Line(kBandGroupHeader);
    r.Text(head, 0, "Credit");
    r.Place(twice, head, 8, 6, 0);
    const int rec = r.Line(kBandRecord);
    r.Place(customer, rec, 2, 8);
    FieldDef* lines = r.Total("CLINES", customer, kSummaryCount, 0);
    const int foot = r.Line(kBandGroupFooter);
    r.Text(foot, 0, "Customers");
    r.Place(lines, foot, 12, 4, 0);
    return true;
  });
  ASSERT_FALSE(text.empty());
  const std::vector<std::vector<std::string>> heads = RowsAfter(text, "Credit"), feet = RowsAfter(text, "Customers");
  ASSERT_EQ(heads.size(), feet.size()) << text;
  std::vector<std::string> got;
  for (size_t i = 0; i < heads.size(); ++i) {
    ASSERT_FALSE(heads[i].empty() || feet[i].empty()) << text;
    const bool asterisks = heads[i][0].find_first_not_of('*') == std::string::npos;
    got.push_back((asterisks ? std::string("none") : heads[i][0]) + "|" + feet[i][0]);
  }
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, expected) << text;
}

// Customers whose names differ only in letters the code page lacks print as
// groups of their own with their own totals, as the database groups them,
// whether the database sorts the records or the program does.
TEST_P(ReportValues, NamesOutsideTheCodePageGroupApart) {
  std::vector<std::string> expected;
  for (const std::string& row : Lines(Query("select count(*), sum(amount) from rv_names group by customer"))) {
    const size_t bar = row.find('|');
    expected.push_back(row.substr(0, bar) + "|" + Money(std::atof(row.substr(bar + 1).c_str())));
  }
  std::sort(expected.begin(), expected.end());
  ASSERT_EQ(expected.size(), 5u);
  for (bool programSorts : {false, true}) {
    const std::string text = Print(programSorts ? "names_here" : "names", "rv_names", {"id", "customer", "amount"},
                                   [&](ReportMaker& r, CKmDoc&) {
      FieldDef* customer = r.Column("customer");
      FieldDef* amount = r.Column("amount");
      if (!customer || !amount) return false;
      int level = 0;
      if (programSorts) {
        // A first key the database cannot sort by leaves every key to the program.
        FieldDef* one = r.Calc("ONE", "RECNO() * 0");
        if (!one) return false;
        MarkFieldUnplaced(one);
        r.Group(level++, one, false);
      }
      r.Group(level, customer, false);
      const int head = r.Line(kBandGroupHeader + level);
      r.Text(head, 0, "Customer");
      r.Place(customer, head, 10, 10);
      const int rec = r.Line(kBandRecord);
      r.Place(amount, rec, 4, 10, 2);
      FieldDef* lines = r.Total("NLINES", amount, kSummaryCount, static_cast<uint8_t>(level));
      FieldDef* total = r.Total("NSUM", amount, kSummarySum, static_cast<uint8_t>(level));
      const int foot = r.Line(kBandGroupFooter + level);
      r.Text(foot, 0, "Total");
      r.Place(lines, foot, 8, 4, 0);
      r.Place(total, foot, 14, 10, 2);
      return true;
    });
    ASSERT_FALSE(text.empty());
    std::vector<std::string> got;
    for (const std::vector<std::string>& w : RowsAfter(text, "Total")) got.push_back(w.size() >= 2 ? w[0] + "|" + w[1] : "?");
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, expected) << (programSorts ? "sorted by the program\n" : "sorted by the database\n") << text;
    // The names print in the code page: a letter it lacks is a "?".
    EXPECT_EQ(RowsAfter(text, "Customer").size(), 5u) << text;
    EXPECT_NE(text.find("?mega"), std::string::npos) << text;
  }
}

// A word-wrapped text keeps its empty line (one line height between "alpha"
// and "beta" stays empty); a lone line feed of a fetched text is a word
// break, unless kmw.ini's AsciiEditor=0 keeps every line break.
TEST_P(ReportValues, WrappedTextsKeepTheirEmptyLines) {
  const std::string text = Print("texts", "rv_texts", {"id", "body"}, [](ReportMaker& r, CKmDoc&) {
    FieldDef* id = r.Column("id");
    FieldDef* body = r.Column("body");
    if (!id || !body) return false;
    r.Sort(0, id, false);
    const int rec = r.Line(kBandRecord);
    r.Text(rec, 0, "Text");
    r.Place(id, rec, 5, 4, 0);
    r.Place(body, rec, 10, 20);
    body->formatCode = (body->formatCode & ~0xF0u) | 0x40;  // word-wrapped
    return true;
  }, [](CKmDoc&, CKmRepIO&) {});
  ASSERT_FALSE(text.empty());
  auto top = [](const std::vector<PdfWord>& words, const char* word) {
    for (const PdfWord& w : words)
      if (w.text == word) return w.yMin;
    ADD_FAILURE() << "no " << word;
    return 0.0;
  };
  const std::vector<PdfWord> here = ReadPdfWords(pdf_);
  // One line's height: a text wrapped at its width goes on one line lower.
  const double pitch = top(here, "eeee") - top(here, "aaaa");
  ASSERT_GT(pitch, 5.0);
  EXPECT_NEAR(top(here, "beta") - top(here, "alpha"), 2 * pitch, 1.0) << text;
  EXPECT_NEAR(top(here, "delta"), top(here, "gamma"), 1.0) << text;
  // The empty line keeps its place but prints nothing.
  EXPECT_EQ(text.find("\xC2\xB7"), std::string::npos) << text;

  std::ofstream(dir_ + "/kmw.ini") << "[Preferences]\nShowSplash=0\n[Special]\nAsciiEditor=0\n";
  int status = -1;
  const std::string output = RunProgram("texts", &status);
  ASSERT_EQ(status, 0) << output;
  const std::vector<PdfWord> kept = ReadPdfWords(dir_ + "/texts.pdf");
  EXPECT_NEAR(top(kept, "beta") - top(kept, "alpha"), 2 * pitch, 1.0);
  EXPECT_NEAR(top(kept, "delta") - top(kept, "gamma"), pitch, 1.0);
}

INSTANTIATE_TEST_SUITE_P(BothDatabases, ReportValues, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& i) {
                           return i.param == 0 ? std::string("SQLite") : std::string("PostgreSQL");
                         });

}  // namespace
