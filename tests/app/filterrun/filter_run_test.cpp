// Filters print exactly the rows they let through, whatever part of them the
// report's SELECT can carry: a condition on a column (in the SELECT), one on
// a calculation the database cannot compute, the two together, one on a
// pre-processed total, the filter of a report whose master is the user's own
// SELECT, a report with a lookup table, and LIKE on a long text. Each report
// is built in code over the sample database, printed here, saved and printed
// by the program (/G), and exported by the program to a delimited file; the
// printed and exported rows, the group and grand totals are compared with
// the database's own WHERE, on SQLite and on the private PostgreSQL server.
#include "app/document.h"
#include "core/condition_code.h"
#include "data/master_joins.h"
#include "data/open_tables.h"
#include "data/select_builder.h"
#include "tests/app/filterrun/database_run.h"
#include "tests/app/roundtrip/report_maker.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace filter_run;
using roundtrip::ReportMaker;

// A long text beside each order line, for LIKE.
const char* const kRemarks =
    "alter table order_lines add column remark text;\n"
    "update order_lines set remark = case when order_id in (1001, 1002, 1006) then 'Use the side gate' "
    "else 'Front desk' end;\n";

// The fields every filtered report shows and filters on.
struct Fields {
  FieldDef* company = nullptr;
  FieldDef* orderId = nullptr;
  FieldDef* product = nullptr;
  FieldDef* amount = nullptr;
  FieldDef* remark = nullptr;
  // The amount again through a function the databases are not given as
  // SQL: a filter on it is the program's to test.
  FieldDef* local = nullptr;
  FieldDef* customerTotal = nullptr;  // pre-processed sum of a customer's amounts
};

struct FilterCase {
  const char* name;
  const char* where;  // the same selection in SQL, over order_lines
  // The filter's rows; false when they were refused.
  std::function<bool(ReportMaker&, const Fields&, std::string*)> filter;
  bool userSelect = false;
  bool join = false;
  bool preTotal = false;
  bool programTests = true;  // the SELECT cannot carry the whole filter
};

// Amounts above 600 in four ways; the other cases mix the kinds.
const FilterCase kCases[] = {
    {"column", "amount > 600",
     [](ReportMaker& r, const Fields& f, std::string* e) {
       return r.Filter({r.Row(0, f.amount, kCondGreater, "600")}, e);
     },
     false, false, false, false},
    {"calculation", "amount > 600",
     [](ReportMaker& r, const Fields& f, std::string* e) {
       return r.Filter({r.Row(0, f.local, kCondGreater, "600")}, e);
     }},
    {"column_and_calculation", "amount > 300 and amount > 600",
     [](ReportMaker& r, const Fields& f, std::string* e) {
       return r.Filter({r.Row(0, f.amount, kCondGreater, "300"), r.Row(1, f.local, kCondGreater, "600")}, e);
     }},
    {"preprocessed_total",
     "company in (select company from order_lines group by company having sum(amount) > 1000)",
     [](ReportMaker& r, const Fields& f, std::string* e) {
       return r.Filter({r.Row(0, f.customerTotal, kCondGreater, "1000")}, e);
     },
     false, false, true},
    {"user_select", "amount > 300 and amount < 1400",
     [](ReportMaker& r, const Fields& f, std::string* e) {
       return r.Filter({r.Row(0, f.amount, kCondGreater, "300"), r.Row(1, f.local, kCondLess, "1400")}, e);
     },
     true},
    {"lookup_table", "order_id in (select order_id from orders where cust_id between 2 and 5) and amount > 300",
     [](ReportMaker& r, const Fields& f, std::string* e) {
       FieldDef* customer = nullptr;
       for (FieldDef* g = r.M().fieldList; g != nullptr; g = g->next)
         if (g->table != 0 && g->table < kMaxTables && std::string(g->name) == "cust_id") customer = g;
       if (customer == nullptr) {
         *e = "the lookup table has no cust_id";
         return false;
       }
       return r.Filter({r.Row(0, customer, kCondBetween, "2,5"), r.Row(1, f.local, kCondGreater, "300")}, e);
     },
     false, true},
    {"long_text_like", "remark like '%gate%' and amount > 350",
     [](ReportMaker& r, const Fields& f, std::string* e) {
       return r.Filter({r.Row(0, f.remark, kCondLike, "'*gate*'"), r.Row(1, f.local, kCondGreater, "350")}, e);
     }},
};

class FilterRun : public DatabaseRunTest {
 protected:
  std::string Tables() const override { return kRemarks; }
  void SetUp() override {
    DatabaseRunTest::SetUp();
    dir_ = db_.dir();
  }

  std::vector<std::string> Query(const std::string& sql) { return db_.Query(sql); }
  std::string PrintWithProgram(const std::string& report, std::string* output) {
    return db_.PrintWithProgram(report, output);
  }
  int RunProgram(const std::string& report, std::string* output) { return db_.RunProgram(report, output); }

  // The report of a case: printed in this process (the text of that print),
  // then saved twice, to print and to export to a delimited file.
  std::string BuildPrintAndSave(const FilterCase& c, const std::string& report, const std::string& exported,
                                const std::string& exportFile, std::string* error) {
    ReportDocument d;
    std::string text;
    if (Build(d.doc, d.io, c, error)) {
      text = sample_test::PrintDocToPdf(d.doc, dir_ + "/" + c.name + "_here.pdf");
      // What the SELECT could not carry was the program's to test.
      EXPECT_EQ(GetSelectResult(d.doc.m_pModel)->engineFilterNeeded, c.programTests) << c.name;
      if (d.io.SaveReportFile(report.c_str()) != kRepIoOk) *error = "the report was not saved";
      if (!d.SaveAsExport(exported, exportFile)) *error = "the export report was not saved";
    }
    return text;
  }

  bool Build(CKmDoc& doc, CKmRepIO& io, const FilterCase& c, std::string* error) {
    ReportMaker r(doc, io);
    const bool begun =
        c.userSelect ? r.BeginStatement(kDsn,
                                        "select company, order_id, order_date, product, amount, remark "
                                        "from order_lines",
                                        error)
                     : r.Begin(kDsn, "order_lines", {"company", "order_id", "order_date", "product", "amount", "remark"},
                               error);
    if (!begun) return false;
    Fields f;
    f.company = r.Column("company");
    f.orderId = r.Column("order_id");
    f.product = r.Column("product");
    f.amount = r.Column("amount");
    f.remark = r.Column("remark");
    if (!f.company || !f.orderId || !f.product || !f.amount || !f.remark) return false;
    f.local = r.Calc("LOCALAMT", "amount + MONLEN(order_date) * 0");
    if (f.local == nullptr) return false;
    if (c.join) {
      // The two tables share column names: the master's are known by its alias.
      std::snprintf(r.M().tableSlots[0]->alias, sizeof r.M().tableSlots[0]->alias, "LINES");
      JoinLinkEntry links[] = {{f.orderId, "order_id", 0}, {}};
      JoinRequest join;
      join.links = links;
      join.path = "orders";
      join.alias = "ORD";
      if (AddJoin(&r.M(), &join, TableOverrideContext(), nullptr) != 0) {
        *error = "the lookup table was not added";
        return false;
      }
      for (int i = 1; i < kMaxTables; ++i)
        if (r.M().tableSlots[i] != nullptr) io.m_stream.settings.sources[i].sourceName = kDsn;
    }
    FieldDef* count = r.Total("CCOUNT", f.amount, kSummaryCount, 0);
    FieldDef* sum = r.Total("CSUM", f.amount, kSummarySum, 0);
    FieldDef* grandCount = r.Total("GCOUNT", f.amount, kSummaryCount, kSummaryResetNever);
    FieldDef* grandSum = r.Total("GSUM", f.amount, kSummarySum, kSummaryResetNever);
    if (c.preTotal) f.customerTotal = r.Total("CTOTAL", f.amount, kSummarySum, 0, true);
    if (!c.filter(r, f, error)) return false;
    r.Group(0, f.company, false);
    r.Sort(1, f.orderId, false);
    r.Sort(2, f.product, false);

    const int header = r.Line(kBandGroupHeader);
    r.Text(header, 0, "Customer:");
    r.Place(f.company, header, 10, 20);
    if (f.customerTotal != nullptr) {
      r.Text(header, 32, "Total");
      r.Place(f.customerTotal, header, 38, 10, 2);
    }
    const int record = r.Line(kBandRecord);
    r.Text(record, 0, "Line");
    r.Place(f.orderId, record, 5, 5, 0);
    r.Place(f.product, record, 12, 16);
    r.Place(f.amount, record, 30, 10, 2);
    const int footer = r.Line(kBandGroupFooter);
    r.Text(footer, 0, "Customer count");
    r.Place(count, footer, 15, 4, 0);
    r.Text(footer, 22, "sum");
    r.Place(sum, footer, 26, 10, 2);
    const int summary = r.Line(kBandSummary);
    r.Text(summary, 0, "Grand count");
    r.Place(grandCount, summary, 15, 4, 0);
    r.Text(summary, 22, "sum");
    r.Place(grandSum, summary, 26, 10, 2);
    r.Finish();
    return true;
  }

  // What the printed text must show for the case, from the database.
  void ExpectPrinted(const FilterCase& c, const std::string& text, const char* how) {
    SCOPED_TRACE(std::string(c.name) + ", " + how);
    const std::string where = c.where;
    std::vector<std::string> expected, printed;
    for (const std::string& row :
         Query("select order_id, product, amount from order_lines where " + where + " order by company, order_id, product")) {
      const auto col = Columns(row);
      if (col.size() == 3) expected.push_back("Line " + col[0] + " " + col[1] + " " + Figure(col[2]));
    }
    ASSERT_FALSE(expected.empty());
    for (const std::string& line : Lines(text))
      if (Words(line).rfind("Line ", 0) == 0) printed.push_back(Words(line));
    EXPECT_EQ(printed, expected) << text;

    // The group totals count only the rows that pass; a pre-processed total
    // reads back the customer's whole sum, on which the filter decided.
    std::vector<std::string> groups, shownGroups, totals, shownTotals;
    for (const std::string& row : Query("select company, count(*), sum(amount) from order_lines where " + where +
                                        " group by company order by company")) {
      const auto col = Columns(row);
      if (col.size() != 3) continue;
      groups.push_back("Customer count " + col[1] + " sum " + Figure(col[2]));
      if (c.preTotal) {
        const auto whole =
            Query("select sum(amount) from order_lines where company = '" + col[0] + "'");
        if (!whole.empty()) totals.push_back(Figure(whole[0]));
      }
    }
    for (const std::string& line : Lines(text)) {
      const std::string w = Words(line);
      if (w.rfind("Customer count ", 0) == 0) shownGroups.push_back(w);
      const size_t at = w.find(" Total ");
      if (at != std::string::npos) shownTotals.push_back(w.substr(at + 7));
    }
    EXPECT_EQ(shownGroups, groups) << text;
    if (c.preTotal) {
      EXPECT_EQ(shownTotals, totals) << text;
    }
    const auto grand = Query("select count(*), sum(amount) from order_lines where " + where);
    ASSERT_EQ(grand.size(), 1u);
    const auto g = Columns(grand[0]);
    ASSERT_EQ(g.size(), 2u);
    bool found = false;
    for (const std::string& line : Lines(text))
      if (Words(line).rfind("Grand count ", 0) == 0) {
        found = true;
        EXPECT_EQ(Words(line), "Grand count " + g[0] + " sum " + Figure(g[1]));
      }
    EXPECT_TRUE(found) << text;
  }

  // The delimited file holds the passing rows' record fields, in order.
  void ExpectExported(const FilterCase& c, const std::string& file) {
    SCOPED_TRACE(std::string(c.name) + ", export");
    std::vector<std::string> expected, written;
    for (const std::string& row :
         Query("select order_id, product, amount from order_lines where " + std::string(c.where) +
               " order by company, order_id, product")) {
      const auto col = Columns(row);
      if (col.size() == 3) expected.push_back(col[0] + "|" + col[1] + "|" + Figure(col[2]));
    }
    std::ifstream in(file);
    ASSERT_TRUE(in.good()) << file;
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty()) continue;
      std::vector<std::string> cells = Columns(line, ',');
      for (std::string& cell : cells) {
        cell = Words(cell);
        if (cell.size() >= 2 && cell.front() == '"' && cell.back() == '"') cell = cell.substr(1, cell.size() - 2);
      }
      ASSERT_EQ(cells.size(), 3u) << line;
      written.push_back(Words(cells[0]) + "|" + cells[1] + "|" + Figure(cells[2]));
    }
    EXPECT_EQ(written, expected);
  }

  std::string dir_;
};

TEST_P(FilterRun, PrintsAndExportsOnlyTheRowsTheFilterLetsThrough) {
  const FilterCase& c = kCases[std::get<1>(GetParam())];
  const std::string report = dir_ + "/" + c.name + ".kmw";
  const std::string exported = dir_ + "/" + c.name + "_export.kmw";
  const std::string file = dir_ + "/" + c.name + ".csv";
  std::string error;
  const std::string here = BuildPrintAndSave(c, report, exported, file, &error);
  ASSERT_TRUE(error.empty()) << error;
  ExpectPrinted(c, here, "printed here");

  std::string output;
  const std::string printed = PrintWithProgram(report, &output);
  ASSERT_FALSE(printed.empty()) << output;
  ExpectPrinted(c, printed, "printed by /G");

  ASSERT_EQ(RunProgram(exported, &output), 0) << output;
  ExpectExported(c, file);
}

INSTANTIATE_TEST_SUITE_P(BothDatabases, FilterRun, OnBothDatabases(std::size(kCases)), CaseNames(kCases));

}  // namespace
