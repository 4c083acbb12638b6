// The whole road of a report: built in code and printed to a PDF in this
// process, saved by the program's writer, then opened and printed by the
// program itself in a fresh process (/G). Both PDFs must read the same, on
// SQLite and on the private PostgreSQL server, and what they show must agree
// with the databases' own ORDER BY, WHERE and aggregates.
#include "app/document.h"
#include "app/print_run.h"
#include "core/condition_code.h"
#include "engine/field_text_lines.h"
#include "engine/printer_library.h"
#include "engine/run_report.h"
#include "expr/compiler_state.h"
#include "expr/date_settings.h"
#include "expr/functions_common.h"
#include "expr/udf.h"
#include "expr/udf_library.h"
#include "foundation/settings.h"
#include "platform/printer/printer_info.h"
#include "platform/win/ui_app.h"
#include "layout/field_width.h"
#include "tests/app/roundtrip/print_here.h"
#include "tests/app/roundtrip/report_maker.h"
#include "data/open_tables.h"
#include "tests/support/odbc_env.h"
#include "tests/support/program_run.h"
#include "tests/support/sample_folder.h"

#include "app/run_hooks.h"
#include "engine/run_output.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using roundtrip::ReportMaker;

using program_run::Capture;
using program_run::ProgramPath;

// ---- The data: the same rows in both databases.

const char* const kRegions[] = {"North", "South", "West"};
const char* const kCustomers[] = {"Aster", "Birch", "Cedar", "Dogwood", "Elm"};
constexpr int kRows = 30;

std::string DayText(int offset) {
  // Days from 1998-01-01, by the civil calendar.
  int y = 1998, m = 1, d = 1 + offset;
  auto length = [](int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
  };
  while (d > length(y, m)) {
    d -= length(y, m);
    if (++m > 12) m = 1, ++y;
  }
  char b[40];  // room for any int
  std::snprintf(b, sizeof b, "%04d-%02d-%02d", y, m, d);
  return b;
}

std::string DataScript(const char* doubleType, const char* memoType) {
  std::ostringstream s;
  s << "drop table if exists rt_sales;\n"
    << "create table rt_sales (id integer, region varchar(12), customer varchar(20), sold date, qty integer, "
    << "price " << doubleType << ", note varchar(200), remark " << memoType << ");\n";
  for (int i = 0; i < kRows; ++i) {
    const double price = 10.25 + (i * 37) % 90 + (i % 2 ? 0.5 : 0.0);
    char p[32];
    std::snprintf(p, sizeof p, "%.2f", price);
    s << "insert into rt_sales values (" << i + 1 << ", '" << kRegions[i % 3] << "', '" << kCustomers[(i * 7) % 5]
      << "', '" << DayText(i * 23) << "', " << 1 + (i * 5) % 12 << ", " << p << ", '"
      << (i % 4 == 0 ? "Delivered to the back door of the warehouse after the second call, signed by the "
                       "night porter who keeps the keys"
                     : "Delivered")
      << "', '" << (i % 3 == 0 ? "Call ahead.\nUse the side gate; the dog is friendly but loud." : "None")
      << "');\n";
  }
  return s.str();
}

// The filter in SQL, as the report's selection rows give it.
const char* const kWhere = "region in ('North', 'West') and sold between '1998-03-01' and '1999-06-30'";

struct Database {
  const char* name;
  std::string dsn;
  // Runs a query; rows of '|'-separated columns.
  std::string (*query)(const std::string& sql);
};

std::string SqliteQuery(const std::string& sql) {
  return Capture("sqlite3 '" + odbc_test::Dir() + "/test.db' \"" + sql + "\" 2>&1");
}
std::string PostgresQuery(const std::string& sql) { return odbc_test::RunPostgresSql(sql + ";\n"); }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line))
    if (!line.empty()) out.push_back(line);
  return out;
}

std::string Figure(const std::string& sqlNumber) {
  char b[64];
  std::snprintf(b, sizeof b, "%.2f", std::atof(sqlNumber.c_str()));
  return b;
}

// The word after a label on each line that holds it, in page order.
std::vector<std::string> WordsAfter(const std::string& text, const std::string& label) {
  std::vector<std::string> out;
  for (const std::string& line : Lines(text)) {
    const size_t at = line.find(label);
    if (at == std::string::npos) continue;
    std::istringstream rest(line.substr(at + label.size()));
    std::string word;
    rest >> word;
    out.push_back(word);
  }
  return out;
}

class RoundTrip : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    if (!fs::exists(ProgramPath())) GTEST_SKIP() << "the program is not built";
    if (Capture("command -v pdftotext").empty() || Capture("command -v sqlite3").empty())
      GTEST_SKIP() << "pdftotext or sqlite3 is missing";
    if (!odbc_test::HaveSqliteDriver()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    if (GetParam() == 0) {
      db_ = {"SQLite", odbc_test::kSqliteDsn, SqliteQuery};
      std::ofstream(odbc_test::Dir() + "/rt_sales.sql") << DataScript("double", "longvarchar");
      ASSERT_EQ(std::system(("sqlite3 '" + odbc_test::Dir() + "/test.db' < '" + odbc_test::Dir() +
                             "/rt_sales.sql'")
                                .c_str()),
                0);
    } else {
      std::string why;
      if (!odbc_test::StartPostgres(&why)) GTEST_SKIP() << why;
      db_ = {"PostgreSQL", odbc_test::kPgDsn, PostgresQuery};
      bool ok = false;
      const std::string out = odbc_test::RunPostgresSql(DataScript("double precision", "text"), &ok);
      ASSERT_TRUE(ok) << out;
    }
    dir_ = odbc_test::Dir() + "/roundtrip_" + db_.name;
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    // The program's own folder of settings: dates day first, no splash.
    std::ofstream(dir_ + "/win.ini") << "[intl]\nsShortDate=dd.MM.yyyy\niDate=1\nsDate=.\n";
    std::ofstream(dir_ + "/kmw.ini") << "[Preferences]\nShowSplash=0\n";
    // A one-pixel picture for the title.
    const unsigned char png[] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0x0D, 0x49, 0x48, 0x44,
                                 0x52, 0, 0, 0, 1, 0, 0, 0, 1, 8, 6, 0, 0, 0, 0x1F, 0x15, 0xC4, 0x89, 0, 0, 0,
                                 0x0D, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0xF8, 0xCF, 0xC0, 0xF0, 0x1F,
                                 0, 0x05, 0x00, 0x01, 0xFF, 0x89, 0x99, 0x3D, 0x1D, 0, 0, 0, 0, 0x49, 0x45,
                                 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
    std::ofstream(dir_ + "/logo.png", std::ios::binary).write(reinterpret_cast<const char*>(png), sizeof png);
    fs::copy_file(VT_SOURCE_DIR "/samples/kmwsql.ini", dir_ + "/kmwsql.ini");
    setenv("VORTELLE_WINDIR", dir_.c_str(), 1);
    UiStartApplication();
    InstallBuiltinFunctionHandlers();
    // The program's links from the record pass to the run and the memo
    // texts; no dialog watches the prints made here.
    InstallRunHooks(nullptr);
    InstallRunShell(nullptr);
    MakeUserFunctions();
  }
  void TearDown() override { RemoveRunHooks(); }

  // kmw.udf in the report's folder, where the program finds it when it
  // runs there: one function, as the function editor saves it.
  void MakeUserFunctions() {
    CKmComposite m(nullptr);
    InstallUdfHooks(&m);
    SetUdfLibraryPath(&m, (dir_ + "/kmw.udf").c_str());
    ASSERT_EQ(OpenUdfLibrary(&m, true), 0);
    int32_t pos = 0;
    ASSERT_EQ(DefineUdf(&m, nullptr, "TWICE(N_X)", "X * 2", &pos), 0);
    UdfNode* node = CommitUdfDefinition(&m);
    ASSERT_EQ(SaveUdf(&m, node, nullptr), 0);
    CloseUdfLibrary(&m);
  }

  // Builds the report, prints it here, saves it; the text of that print.
 public:
  using BuildStep = bool (RoundTrip::*)(CKmDoc&, CKmRepIO&, std::string*);
  std::string BuildPrintAndSave(const std::string& path, std::string* error, BuildStep build = &RoundTrip::Build,
                                int runMode = 0) {
    roundtrip::MadeDocument made;
    CKmDoc& doc = made.doc;
    CKmRepIO& io = made.io;
    ReadIntlSettings(doc);
    doc.m_strUdfPath = dir_ + "/kmw.udf";
    // The names the report has once saved, which REPNAME() prints.
    std::snprintf(doc.m_szReportName, sizeof doc.m_szReportName, "%s", path.c_str());
    doc.SetTitleAlways(fs::path(path).filename().c_str());
    std::string text;
    if ((this->*build)(doc, io, error)) {
      text = PrintHere(doc, error, runMode);
      if (io.SaveReportFile(path.c_str()) != kRepIoOk) *error = "the report was not saved";
    }
    return text;
  }

 public:
  bool Build(CKmDoc& doc, CKmRepIO& io, std::string* error) {
    ReportMaker r(doc, io);
    if (!r.Begin(db_.dsn.c_str(), "rt_sales", {"region", "customer", "sold", "qty", "price", "note"}, error))
      return false;
    ApplyIntlDateSettings(doc.m_intl, ModelDateSettings(&r.M()));
    SetUdfLibraryPath(&r.M(), doc.m_strUdfPath.c_str());
    if (LoadUserFunctionLibrary(&r.M()) != kUdfLibOk) {
      *error = "kmw.udf did not load";
      return false;
    }
    FieldDef* region = r.Column("region");
    FieldDef* customer = r.Column("customer");
    FieldDef* sold = r.Column("sold");
    FieldDef* qty = r.Column("qty");
    FieldDef* price = r.Column("price");
    FieldDef* note = r.Column("note");
    if (!region || !customer || !sold || !qty || !price || !note) return false;
    // The filter first: the rows name the fields by their numbers now.
    if (!r.Filter({r.Row(0, region, kCondOneOf, "'North','West'"),
                   r.Row(1, sold, kCondBetween, "{01.03.1998},{30.06.1999}")},
                  error))
      return false;
    // Calculations of each result type, one over a user function.
    FieldDef* amount = r.Calc("AMOUNT", "qty * price");
    FieldDef* label = r.Calc("LABEL", "TRIM(customer) + '-' + region");
    FieldDef* due = r.Calc("DUE", "sold + 30");
    FieldDef* big = r.Calc("BIG", "qty > 6");
    FieldDef* twice = r.Calc("TWICEQ", "TWICE(qty)");
    FieldDef* page = r.Calc("PG", "PAGENO()");
    FieldDef* name = r.Calc("RN", "REPNAME()");
    if (!amount || !label || !due || !big || !twice || !page || !name) return false;
    // Totals of every kind at the group levels and the report, a running
    // total on the record line and a pre-processed one in a group header.
    FieldDef* lines = r.Total("RLINES", amount, kSummaryCount, 0, true);
    FieldDef* running = r.Total("RUNNING", amount, kSummarySum, kSummaryResetNever);
    FieldDef* csum = r.Total("CSUM", amount, kSummarySum, 1);
    FieldDef* ccount = r.Total("CCOUNT", amount, kSummaryCount, 1);
    FieldDef* rsum = r.Total("RSUM", amount, kSummarySum, 0);
    FieldDef* ravg = r.Total("RAVG", amount, kSummaryAverage, 0);
    FieldDef* rmin = r.Total("RMIN", amount, kSummaryMinimum, 0);
    FieldDef* rmax = r.Total("RMAX", amount, kSummaryMaximum, 0);
    FieldDef* gsum = r.Total("GSUM", amount, kSummarySum, kSummaryResetNever);
    FieldDef* gcount = r.Total("GCOUNT", amount, kSummaryCount, kSummaryResetNever);
    FieldDef* gstd = r.Total("GSTD", amount, kSummaryStdDeviation, kSummaryResetNever);
    FieldDef* gvar = r.Total("GVAR", amount, kSummaryVariance, kSummaryResetNever);
    // Region ascending, customer descending within it, then the date.
    r.Group(0, region, false);
    r.Group(1, customer, true);
    r.Sort(2, sold, true);

    const int title = r.Line(kBandTitle);
    r.Text(title, 1, "Sales round trip");
    r.Box(title, 0, 20);
    r.Picture(title, 22, dir_ + "/logo.png");
    const int header = r.Line(kBandPageHeader);
    r.Text(header, 0, "Sold");
    r.Text(header, 12, "Qty");
    r.Text(header, 18, "Amount");
    r.Text(header, 30, "Label");
    const int rule = r.Line(kBandPageHeader);
    r.Rule(rule, 0, 70);
    const int regionHead = r.Line(kBandGroupHeader);
    r.Text(regionHead, 0, "Region:");
    r.Place(region, regionHead, 8, 10);
    r.Text(regionHead, 20, "lines");
    r.Place(lines, regionHead, 26, 6, 0);
    const int customerHead = r.Line(kBandGroupHeader + 1);
    r.Text(customerHead, 2, "Customer:");
    r.Place(customer, customerHead, 12, 12);
    const int record = r.Line(kBandRecord);
    r.Place(sold, record, 0, 11);
    r.Place(qty, record, 12, 4, 0);
    r.Place(amount, record, 17, 9, 2);
    r.Place(label, record, 30, 16);
    r.Place(due, record, 47, 11);
    r.Place(big, record, 59, 2);
    r.Place(twice, record, 62, 4, 0);
    r.Place(running, record, 67, 10, 2);
    const int noteLine = r.Line(kBandRecord);
    r.Place(note, noteLine, 2, 40);
    r.Place(price, noteLine, 44, 9, 2);
    const int customerFoot = r.Line(kBandGroupFooter + 1);
    r.Text(customerFoot, 2, "Customer total");
    r.Place(ccount, customerFoot, 12, 4, 0);
    r.Place(csum, customerFoot, 17, 9, 2);
    const int regionFoot = r.Line(kBandGroupFooter);
    r.Text(regionFoot, 0, "Region sum");
    r.Place(rsum, regionFoot, 17, 9, 2);
    const int summary = r.Line(kBandSummary);
    r.Text(summary, 0, "Grand total");
    r.Place(gcount, summary, 12, 4, 0);
    r.Place(gsum, summary, 17, 9, 2);
    // Labelled figures after the sums: label, then the total four cells on.
    const struct {
      int line, column;
      const char* label;
      FieldDef* total;
    } labelled[] = {{regionFoot, 27, "avg", ravg}, {regionFoot, 41, "min", rmin}, {regionFoot, 55, "max", rmax},
                    {summary, 27, "std", gstd},    {summary, 41, "var", gvar}};
    for (const auto& l : labelled) {
      r.Text(l.line, l.column, l.label);
      r.Place(l.total, l.line, l.column + 4, l.total == gvar ? 12 : 9, 2);
    }
    const int footer = r.Line(kBandPageFooter);
    r.Text(footer, 0, "Page");
    r.Place(page, footer, 5, 4, 0);
    r.Place(name, footer, 12, 30);
    r.Finish();
    return true;
  }

  // Two records across the page, a word-wrapped text and a memo field.
 public:
  bool BuildAcross(CKmDoc& doc, CKmRepIO& io, std::string* error) {
    ReportMaker r(doc, io);
    if (!r.Begin(db_.dsn.c_str(), "rt_sales", {"id", "customer", "region", "note", "remark"}, error)) return false;
    FieldDef* id = r.Column("id");
    FieldDef* customer = r.Column("customer");
    FieldDef* region = r.Column("region");
    FieldDef* note = r.Column("note");
    FieldDef* remark = r.Column("remark");
    if (!id || !customer || !region || !note || !remark) return false;
    // A long text column of a SQL source is read as a text field that wraps.
    remark->formatCode = (remark->formatCode & ~0xF0u) | 0x40;
    r.Sort(0, id, false);
    const int header = r.Line(kBandPageHeader);
    r.Text(header, 0, "Delivery cards");
    const int first = r.Line(kBandRecord);
    r.Place(id, first, 0, 4, 0);
    r.Place(customer, first, 5, 10);
    r.Place(region, first, 16, 8);
    const int wrapped = r.Line(kBandRecord);
    r.Place(note, wrapped, 2, 22);
    note->formatCode = (note->formatCode & ~0xF0u) | 0x40;  // word-wrapped
    note->flags3word |= kFieldMeasuredWidth;                // as wide as its font makes it
    SetFieldWidth(*note, 22, false, 1, 10);                 // kept in inches, as the program keeps a text's width
    const int memo = r.Line(kBandRecord);
    r.Place(remark, memo, 2, 22);
    r.Line(kBandRecord);
    FieldDef* pageNumber = r.Calc("PG", "PAGENO()");
    if (pageNumber == nullptr) return false;
    // A total that starts again on every page.
    FieldDef* onPage = r.Total("ONPAGE", id, kSummaryCount, kSummaryResetPage);
    const int footer = r.Line(kBandPageFooter);
    r.Text(footer, 0, "Page");
    r.Place(pageNumber, footer, 5, 4, 0);
    r.Text(footer, 12, "on page");
    r.Place(onPage, footer, 18, 4, 0);
    r.Finish();
    PageSetupRec& page = *doc.m_pPageSetup;
    page.TopMargin = page.BottomMargin = 300;  // short pages: the cards take more than one
    SetLabelArrangement(page, 2, false);  // filled across: two records side by side
    page.RecordWidth = 300;  // three inches a record
    CalcPageMetrics(doc);
    return true;
  }

 protected:
  // The print run of the program, in this process, to a PDF file.
  std::string PrintHere(CKmDoc& doc, std::string* error, int runMode = 0) {
    const std::string pdf = dir_ + "/here.pdf";
    if (!roundtrip::PrintToPdfHere(doc, pdf, runMode)) {
      *error = "the report did not print in this process";
      return "";
    }
    return Capture("pdftotext -layout '" + pdf + "' - 2>/dev/null");
  }

  // The rows of `pdfimages -list` (one per image drawn), without its heading.
  std::vector<std::string> PdfImages(const std::string& pdf) {
    std::vector<std::string> rows = Lines(Capture("pdfimages -list '" + pdf + "' 2>/dev/null"));
    rows.erase(rows.begin(), rows.begin() + std::min<size_t>(2, rows.size()));
    return rows;
  }

  // The program opens the saved report and prints it unattended.
  std::string PrintWithProgram(const std::string& path, std::string* output) {
    int status = -1;
    *output = Capture("cd '" + dir_ + "' && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" + dir_ +
                          "' timeout 120 '" + ProgramPath() + "' /G '" + path + "' 2>&1",
                      &status);
    const std::string pdf = fs::path(path).replace_extension(".pdf").string();
    if (status != 0 || !fs::exists(pdf)) {
      *output += " (status " + std::to_string(status) + ")";
      return "";
    }
    return Capture("pdftotext -layout '" + pdf + "' - 2>/dev/null");
  }

  // Columns the server computes (SQLEXP) beside the table's own.
 public:
  bool BuildServerColumns(CKmDoc& doc, CKmRepIO& io, std::string* error) {
    ReportMaker r(doc, io);
    if (!r.Begin(db_.dsn.c_str(), "rt_sales", {"id", "customer", "qty"}, error)) return false;
    FieldDef* id = r.Column("id");
    FieldDef* customer = r.Column("customer");
    FieldDef* qty = r.Column("qty");
    FieldDef* shout = r.Calc("SHOUT", "SQLEXP(\"upper(customer)\")");
    FieldDef* twice = r.Calc("TWICEQ", "SQLEXP(\"qty * 2\")");
    if (!id || !customer || !qty || !shout || !twice) return false;
    r.Sort(0, id, false);
    const int rec = r.Line(kBandRecord);
    r.Text(rec, 0, "Row");
    r.Place(id, rec, 4, 4, 0);
    r.Place(shout, rec, 10, 20);
    r.Text(rec, 32, "x2:");
    r.Place(twice, rec, 36, 6, 0);
    r.Finish();
    return true;
  }

  // A word-wrapped text above other items, and a page-break line between
  // two of them.
  bool BuildStretch(CKmDoc& doc, CKmRepIO& io, std::string* error) {
    ReportMaker r(doc, io);
    if (!r.Begin(db_.dsn.c_str(), "rt_sales", {"id", "note"}, error)) return false;
    FieldDef* id = r.Column("id");
    FieldDef* note = r.Column("note");
    if (!id || !note) return false;
    if (!r.Filter({r.Row(0, id, kCondOneOf, "1,2")}, error)) return false;
    r.Sort(0, id, false);
    const int first = r.Line(kBandRecord);
    r.Text(first, 0, "Card");
    r.Place(id, first, 5, 4, 0);
    r.Place(note, first, 10, 20);
    note->formatCode = (note->formatCode & ~0xF0u) | 0x40;  // word-wrapped
    const int under = r.Line(kBandRecord);
    r.Text(under, 12, "Under-the-note");
    const int below = r.Line(kBandRecord);
    r.Text(below, 12, "Below-that");
    r.Line(kBandRecord, 0);
    doc.m_bandLines.lines[r.Line(kBandRecord)].flags |= 0x01;  // a new page
    const int next = r.Line(kBandRecord);
    r.Text(next, 12, "Next-page");
    r.Finish();
    return true;
  }

 protected:

  // Both prints of the report, which must read the same; the second.
  std::string PrintBeforeAndAfterSaving(const char* name, BuildStep build) {
    const std::string path = dir_ + "/" + name;
    std::string error;
    const std::string before = BuildPrintAndSave(path, &error, build);
    EXPECT_TRUE(error.empty()) << error;
    EXPECT_FALSE(before.empty());
    std::string output;
    const std::string after = PrintWithProgram(path, &output);
    EXPECT_FALSE(after.empty()) << output;
    EXPECT_EQ(before, after) << "before saving:\n" << before << "\nafter:\n" << after << "\n" << output;
    return after;
  }

  Database db_;
  std::string dir_;
};

TEST_P(RoundTrip, ASavedReportPrintsWhatItPrintedBeforeAndWhatTheDatabaseSays) {
  const std::string after = PrintBeforeAndAfterSaving("sales.kmw", &RoundTrip::Build);
  ASSERT_FALSE(after.empty());

  // The filter: only the rows of the same WHERE, in the database's order
  // of region ascending, customer descending.
  const std::vector<std::string> groups =
      Lines(db_.query("select distinct region, customer from rt_sales where " + std::string(kWhere) +
                      " order by region, customer desc"));
  ASSERT_FALSE(groups.empty());
  std::vector<std::string> regions, customers;
  for (const std::string& g : groups) {
    const std::string region = g.substr(0, g.find('|'));
    if (regions.empty() || regions.back() != region) regions.push_back(region);
    customers.push_back(g.substr(g.find('|') + 1));
  }
  EXPECT_EQ(WordsAfter(after, "Region:"), regions) << after;
  EXPECT_EQ(WordsAfter(after, "Customer:"), customers) << after;
  EXPECT_EQ(after.find("-South"), std::string::npos) << after;
  // Every record in the order of the database's ORDER BY with the same
  // directions: region ascending, customer and date descending.
  std::vector<std::string> expectedDays, printedDays;
  for (const std::string& row : Lines(db_.query("select sold from rt_sales where " + std::string(kWhere) +
                                                " order by region, customer desc, sold desc"))) {
    const std::string iso = row.substr(0, 10);
    expectedDays.push_back(iso.substr(8, 2) + "." + iso.substr(5, 2) + "." + iso.substr(0, 4));
  }
  for (const std::string& line : Lines(after)) {
    std::istringstream words(line);
    std::string first;
    words >> first;
    if (first.size() == 10 && first[2] == '.' && first[5] == '.') printedDays.push_back(first);
  }
  EXPECT_EQ(printedDays, expectedDays) << after;
  const std::string count = Lines(db_.query("select count(*) from rt_sales where " + std::string(kWhere)))[0];
  size_t labelled = 0;
  for (const std::string& line : Lines(after))
    if (line.find("-North") != std::string::npos || line.find("-West") != std::string::npos) ++labelled;
  EXPECT_EQ(std::to_string(labelled), count) << after;

  // Totals against the database's aggregates.
  const std::vector<std::string> grand = Lines(
      db_.query("select count(*), sum(qty * price) from rt_sales where " + std::string(kWhere)));
  ASSERT_EQ(grand.size(), 1u);
  const std::string grandSum = Figure(grand[0].substr(grand[0].find('|') + 1));
  bool foundGrand = false;
  for (const std::string& line : Lines(after))
    if (line.find("Grand total") != std::string::npos) {
      foundGrand = true;
      EXPECT_NE(line.find(grandSum), std::string::npos) << line << " / " << grandSum;
      EXPECT_NE(line.find(" " + count + " "), std::string::npos) << line << " / " << count;
    }
  EXPECT_TRUE(foundGrand) << after;
  const std::vector<std::string> perRegion =
      Lines(db_.query("select sum(qty * price), min(qty * price), max(qty * price) from rt_sales where " +
                      std::string(kWhere) + " group by region order by region"));
  std::vector<std::string> regionLines;
  for (const std::string& line : Lines(after))
    if (line.find("Region sum") != std::string::npos) regionLines.push_back(line);
  ASSERT_EQ(regionLines.size(), perRegion.size()) << after;
  for (size_t i = 0; i < perRegion.size(); ++i) {
    std::istringstream cols(perRegion[i]);
    std::string cell;
    while (std::getline(cols, cell, '|'))
      EXPECT_NE(regionLines[i].find(Figure(cell)), std::string::npos) << regionLines[i] << " / " << cell;
  }
  // Dates follow the [intl] setting; the footer names the page and report;
  // the user function doubled the quantity.
  EXPECT_NE(after.find("11.03.1998"), std::string::npos) << after;
  const std::vector<std::string> pages = WordsAfter(after, "Page ");
  ASSERT_FALSE(pages.empty()) << after;
  EXPECT_EQ(pages.front(), "1") << after;
  EXPECT_NE(after.find("sales"), std::string::npos) << after;
  EXPECT_EQ(after.find("/1998"), std::string::npos) << after;
  // The title's picture prints, before saving and after: its one pixel.
  for (const char* pdf : {"/here.pdf", "/sales.pdf"}) {
    const std::vector<std::string> images = PdfImages(dir_ + pdf);
    ASSERT_FALSE(images.empty()) << pdf;
    std::istringstream row(images.front());
    std::string page, num, type, width, height;
    row >> page >> num >> type >> width >> height;
    EXPECT_EQ(page, "1") << images.front();
    EXPECT_EQ(width + "x" + height, "1x1") << images.front();
  }
}

TEST_P(RoundTrip, RecordsAcrossWrappedTextAndMemosPrintTheSameAfterSaving) {
  const std::string after = PrintBeforeAndAfterSaving("cards.kmw", &RoundTrip::BuildAcross);
  ASSERT_FALSE(after.empty());
  // Every row once, two to a band line, in the order of the ids.
  const size_t one = after.find("Aster"), two = after.find("Cedar");
  ASSERT_NE(one, std::string::npos) << after;
  ASSERT_NE(two, std::string::npos) << after;
  EXPECT_EQ(after.substr(0, after.find('\n', one)).rfind('\n', one), after.substr(0, after.find('\n', two)).rfind('\n', two))
      << "the first two records share a line\n" << after;
  // Each page's footer has its own number.
  const size_t pages = static_cast<size_t>(std::count(after.begin(), after.end(), '\f'));
  EXPECT_GE(pages, 2u) << after;
  std::vector<std::string> numbers;
  for (size_t i = 1; i <= pages; ++i) numbers.push_back(std::to_string(i));
  EXPECT_EQ(WordsAfter(after, "Page "), numbers) << after;
  // One page total in each footer.
  EXPECT_EQ(WordsAfter(after, "on page").size(), pages) << after;
  // The wrapped text and the memo go on to the band's next line (a row of
  // records across keeps the Record band's lines).
  // The measured field fills its width in its font, more than the 22
  // characters it is placed with, and goes on to the next line.
  const std::vector<std::string> lines = Lines(after);
  const auto measured = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
    return l.find("Delivered to the back door of the") != std::string::npos;
  });
  ASSERT_NE(measured, lines.end()) << after;
  ASSERT_NE(measured + 1, lines.end()) << after;
  EXPECT_NE((measured + 1)->find("warehouse after the second call,"), std::string::npos) << after;
  EXPECT_NE(after.find("side gate; the dog is"), std::string::npos) << after;
}

// A calculated field that is only SQLEXP("...") prints the server's value of
// the expression, before and after the report is saved and read back.
TEST_P(RoundTrip, ServerComputedColumnsPrintTheDatabasesValues) {
  const std::string after = PrintBeforeAndAfterSaving("server.kmw", &RoundTrip::BuildServerColumns);
  ASSERT_FALSE(after.empty());
  std::vector<std::string> expected, printed;
  for (const std::string& row : Lines(db_.query("select id, upper(customer), qty * 2 from rt_sales order by id")))
    expected.push_back(row);
  ASSERT_FALSE(expected.empty());
  std::istringstream rows(after);
  for (std::string line; std::getline(rows, line);) {
    std::istringstream words(line);
    std::string row, id, shout, mark, twice;
    if (!(words >> row >> id >> shout >> mark >> twice) || row != "Row" || mark != "x2:") continue;
    printed.push_back(id + "|" + shout + "|" + twice);
  }
  EXPECT_EQ(printed, expected) << after;
}

// Items under a wrapped text print below its last line in their order, and
// an item past a page-break line prints on the next page.
TEST_P(RoundTrip, ItemsUnderAWrappedTextMoveDownAndAPageBreakLineStillBreaks) {
  const std::string after = PrintBeforeAndAfterSaving("stretch.kmw", &RoundTrip::BuildStretch);
  ASSERT_FALSE(after.empty());
  std::vector<std::string> pages;
  std::istringstream all(after);
  for (std::string page; std::getline(all, page, '\f');)
    if (page.find_first_not_of(" \n") != std::string::npos) pages.push_back(page);
  // Record 1 breaks after its first part; Next-page opens page 2, where
  // record 2 follows and breaks again.
  ASSERT_EQ(pages.size(), 3u) << after;
  const std::string& p1 = pages[0];
  const size_t keys = p1.rfind("keys"), under = p1.find("Under-the-note"), below = p1.find("Below-that");
  ASSERT_NE(keys, std::string::npos) << p1;
  ASSERT_NE(under, std::string::npos) << p1;
  ASSERT_NE(below, std::string::npos) << p1;
  EXPECT_LT(keys, under) << "the items under the note print below its last line\n" << p1;
  EXPECT_LT(under, below) << p1;
  EXPECT_EQ(p1.find("Next-page"), std::string::npos) << p1;
  // The lines under the note follow its last line directly.
  const std::vector<std::string> lines1 = Lines(p1);
  const auto keyLine = std::find_if(lines1.begin(), lines1.end(),
                                    [](const std::string& l) { return l.find("keys") != std::string::npos; });
  ASSERT_NE(keyLine, lines1.end()) << p1;
  ASSERT_LT(keyLine + 1, lines1.end()) << p1;
  EXPECT_NE((keyLine + 1)->find("Under-the-note"), std::string::npos) << p1;
  const std::string& p2 = pages[1];
  const size_t next = p2.find("Next-page"), card = p2.find("Card");
  ASSERT_NE(next, std::string::npos) << p2;
  ASSERT_NE(card, std::string::npos) << p2;
  EXPECT_LT(next, card) << p2;
  EXPECT_NE(p2.find("Below-that", card), std::string::npos) << p2;
  EXPECT_EQ(p2.find("Next-page", card), std::string::npos) << p2;
  EXPECT_NE(pages[2].find("Next-page"), std::string::npos) << pages[2];
}

// The Print dialog's Test Pattern: one page of Record bands, no record read,
// each field showing its format's picture (numbers their digits, texts an
// alignment mark and an x a column) where the data would print.
TEST_P(RoundTrip, TheTestPatternFillsOnePageWithEachFieldsPicture) {
  std::string error;
  const std::string text = BuildPrintAndSave(dir_ + "/pattern.kmw", &error, &RoundTrip::Build, 1);
  ASSERT_TRUE(error.empty()) << error;
  ASSERT_FALSE(text.empty());
  EXPECT_LE(std::count(text.begin(), text.end(), '\f'), 1) << text;
  EXPECT_EQ(text.find("-North"), std::string::npos) << text;
  size_t texts = 0, numbers = 0;
  std::istringstream words(text);
  for (std::string w; words >> w;) {
    if (w.size() > 3 && w.find_first_not_of('x', 1) == std::string::npos) ++texts;
    if (w.size() > 3 && w.find_first_not_of("9.,-()") == std::string::npos && w.find('9') != std::string::npos) ++numbers;
  }
  EXPECT_GE(texts, 3u) << text;
  EXPECT_GE(numbers, 3u) << text;
}

// ---- Long texts: a memo of several kilobytes prints whole, wrapped and
// continued over pages, its single line ends as blanks and its blank lines
// as paragraph breaks.

constexpr int kMemoParagraphs = 14;

std::string LongMemoText() {
  static const char* const kWords[] = {"harbour", "lantern", "meadow", "copper", "willow", "granite"};
  std::string s;
  for (int p = 1; p <= kMemoParagraphs; ++p) {
    s += "P" + std::to_string(p) + "START";
    for (int w = 0; w < 44; ++w) s += std::string(w == 22 ? "\n" : " ") + kWords[(p + w) % 6];
    s += " P" + std::to_string(p) + "END";
    if (p < kMemoParagraphs) s += "\n\n";
  }
  return s;
}

class LongMemo : public RoundTrip {
 public:
  // Runs the script on the test's database; empty, or what went wrong.
  std::string RunMemoSql(const std::string& sql) {
    if (GetParam() == 0) {
      std::ofstream(odbc_test::Dir() + "/rt_memo.sql") << sql;
      const std::string cmd = "sqlite3 '" + odbc_test::Dir() + "/test.db' < '" + odbc_test::Dir() + "/rt_memo.sql'";
      return std::system(cmd.c_str()) == 0 ? std::string() : "sqlite3 failed";
    }
    bool ok = false;
    const std::string out = odbc_test::RunPostgresSql(sql, &ok);
    return ok ? std::string() : out;
  }
  bool BuildMemo(CKmDoc& doc, CKmRepIO& io, std::string* error) {
    ReportMaker r(doc, io);
    if (!r.Begin(db_.dsn.c_str(), "rt_memo", {"id", "body"}, error)) return false;
    FieldDef* id = r.Column("id");
    FieldDef* body = r.Column("body");
    if (!id || !body) return false;
    r.Sort(0, id, false);
    const int header = r.Line(kBandPageHeader);
    r.Text(header, 0, "Letters");
    const int record = r.Line(kBandRecord);
    r.Place(id, record, 0, 4, 0);
    r.Place(body, record, 6, 50);
    body->formatCode = (body->formatCode & ~0xF0u) | 0x40;
    r.Finish();
    doc.m_pPageSetup->TopMargin = doc.m_pPageSetup->BottomMargin = 250;
    CalcPageMetrics(doc);
    return true;
  }
};

TEST_P(LongMemo, SeveralKilobytesWithLineBreaksPrintWholeOverPages) {
  const std::string text = LongMemoText();
  ASSERT_GT(text.size(), 3000u);
  const std::string sql = "drop table if exists rt_memo;\ncreate table rt_memo (id integer, body " +
                          std::string(GetParam() == 0 ? "text" : "text") + ");\ninsert into rt_memo values (1, '" +
                          text + "');\ninsert into rt_memo values (2, 'Short one.');\n";
  ASSERT_EQ(RunMemoSql(sql), "");
  const std::string after = PrintBeforeAndAfterSaving("letters.kmw", static_cast<BuildStep>(&LongMemo::BuildMemo));
  ASSERT_FALSE(after.empty());
  // Every paragraph's first and last word, in order, far past 254 characters.
  size_t at = 0;
  for (int p = 1; p <= kMemoParagraphs; ++p)
    for (const char* end : {"START", "END"}) {
      const std::string mark = "P" + std::to_string(p) + end;
      const size_t found = after.find(mark, at);
      ASSERT_NE(found, std::string::npos) << mark << "\n" << after;
      at = found;
    }
  // Continued over pages: the last paragraph is not on the first page, and
  // the second record follows the whole text.
  EXPECT_GE(std::count(after.begin(), after.end(), '\f'), 2) << after;
  EXPECT_GT(after.find("P" + std::to_string(kMemoParagraphs) + "END"), after.find('\f')) << after;
  EXPECT_GT(after.find("Short one."), at) << after;
  // A blank line of the text starts a new line: the next paragraph begins
  // one; a single line end is only a word break.
  const size_t end1 = after.find("P1END\n");
  ASSERT_NE(end1, std::string::npos) << after;
  const std::string next = after.substr(end1 + 6, after.find('\n', end1 + 6) - end1 - 6);
  EXPECT_EQ(next.find_first_not_of(' '), next.find("P2START")) << after;
}

// A memo's style codes change the look of the characters that follow them on
// the page, and a text far beyond 64 KB still prints to its last word.
TEST_P(LongMemo, StyleCodesChangeThePrintedFontAndLongTextsPrintWhole) {
  std::string text = "Plain opening <B>BOLDRUN words<R> then <I>SLANTED<R> and plain again.\n\n";
  int lines = 0;
  while (text.size() < 70000) text += "L" + std::to_string(++lines) + " copper willow granite meadow lantern\n";
  text += "\nTAILMARK";
  const std::string sql = "drop table if exists rt_memo;\ncreate table rt_memo (id integer, body text);\n"
                          "insert into rt_memo values (1, '" + text + "');\n";
  ASSERT_EQ(RunMemoSql(sql), "");
  const std::string after = PrintBeforeAndAfterSaving("styled.kmw", static_cast<BuildStep>(&LongMemo::BuildMemo));
  ASSERT_FALSE(after.empty());
  // The codes themselves never print; the words around them do.
  EXPECT_EQ(after.find("<B>"), std::string::npos) << after.substr(0, 2000);
  EXPECT_NE(after.find("BOLDRUN words"), std::string::npos) << after.substr(0, 2000);
  EXPECT_NE(after.find("L" + std::to_string(lines)), std::string::npos);  // the last, far past 64 KB
  EXPECT_NE(after.find("TAILMARK"), std::string::npos) << after.substr(after.size() > 600 ? after.size() - 600 : 0);
  // The bold and italic runs were set in their own faces.
  const std::string fonts = Capture("pdffonts '" + dir_ + "/styled.pdf' 2>&1");
  EXPECT_NE(fonts.find("Bold"), std::string::npos) << fonts;
  EXPECT_TRUE(fonts.find("Italic") != std::string::npos || fonts.find("Oblique") != std::string::npos) << fonts;
}

INSTANTIATE_TEST_SUITE_P(BothDatabases, LongMemo, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& i) {
                           return i.param == 0 ? std::string("SQLite") : std::string("PostgreSQL");
                         });

// ---- A text table: a form letter whose sections are long texts, with the
// fields of each record put in where the letter names them.

class TextTable : public RoundTrip {
 public:
  bool BuildLetter(CKmDoc& doc, CKmRepIO& io, std::string* error) {
    ReportMaker r(doc, io);
    if (!r.Begin(db_.dsn.c_str(), "rt_sales", {"id", "customer", "region"}, error)) return false;
    FieldDef* id = r.Column("id");
    if (!id) return false;
    r.Sort(0, id, false);
    if (OpenTextTable(&r.M(), letter_.c_str(), "LETTER") != 0) {
      *error = "the letter did not open";
      return false;
    }
    FieldDef* greeting = nullptr;
    FieldDef* body = nullptr;
    for (FieldDef* f = r.M().fieldList; f; f = f->next) {
      if (std::strcmp(f->name, "GREETING") == 0) greeting = f;
      if (std::strcmp(f->name, "BODY") == 0) body = f;
    }
    if (!greeting || !body) return false;
    if (unwrapped_) greeting->formatCode = 0x11;  // one line: the text's start
    const int first = r.Line(kBandRecord);
    r.Place(id, first, 0, 4, 0);
    r.Place(greeting, first, 6, 50);
    const int second = r.Line(kBandRecord);
    r.Place(body, second, 6, 50);
    r.Finish();
    return true;
  }
  std::string letter_;
  bool unwrapped_ = false;
};

TEST_P(TextTable, ALetterPrintsWholeWithTheRecordsFieldsOverPages) {
  letter_ = dir_ + "/letter.txt";
  std::string text = ".GREETING\r\n{Dear \\customer of region \\region\\,}\r\n.BODY\r\n{";
  for (int p = 1; p <= 12; ++p) {
    text += "T" + std::to_string(p) + "BEGIN";
    for (int w = 0; w < 30; ++w) text += w == 15 ? "\r\nparcel" : " parcel";
    text += " T" + std::to_string(p) + "FINISH\r\n\r\n";
  }
  text += "}\r\n";
  std::ofstream(letter_, std::ios::binary) << text;
  const std::string after = PrintBeforeAndAfterSaving("letter.kmw", static_cast<BuildStep>(&TextTable::BuildLetter));
  ASSERT_FALSE(after.empty());
  // The field codes are the record's values; the body runs to its end on
  // later pages.
  EXPECT_NE(after.find("Dear Aster of region North,"), std::string::npos) << after;
  EXPECT_NE(after.find("T12FINISH"), std::string::npos) << after;
  EXPECT_GE(std::count(after.begin(), after.end(), '\f'), 2) << after;

  // A letter cut short since the report was opened prints what is left and says so.
  std::ofstream(letter_, std::ios::binary) << text.substr(0, 300);
  std::string output;
  const std::string cut = PrintWithProgram(dir_ + "/letter.kmw", &output);
  EXPECT_NE(output.find("Cannot read memo file: letter.txt"), std::string::npos) << output;
}

// A memo printed on one line takes its value by a scan of the master
// table's current record: the start of its section with the record's fields
// put in, the same before and after saving.
TEST_P(TextTable, AnUnwrappedMemoPrintsTheStartOfItsSection) {
  letter_ = dir_ + "/short.txt";
  unwrapped_ = true;
  const std::string text = ".GREETING\r\n{Dear \\customer of region \\region\\,}\r\n.BODY\r\n{Short body.}\r\n";
  std::ofstream(letter_, std::ios::binary) << text;
  const std::string after = PrintBeforeAndAfterSaving("short.kmw", static_cast<BuildStep>(&TextTable::BuildLetter));
  EXPECT_NE(after.find("Dear Aster of region North,"), std::string::npos) << after;
  EXPECT_NE(after.find("Short body."), std::string::npos) << after;
}

INSTANTIATE_TEST_SUITE_P(SQLite, TextTable, ::testing::Values(0));

INSTANTIATE_TEST_SUITE_P(BothDatabases, RoundTrip, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& i) {
                           return i.param == 0 ? std::string("SQLite") : std::string("PostgreSQL");
                         });


// ---- The sample report of the README on the private PostgreSQL server, and
// the switches that name a data source and a master table.

class ProgramRuns : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(ProgramPath())) GTEST_SKIP() << "the program is not built";
    if (Capture("command -v pdftotext").empty() || Capture("command -v psql").empty())
      GTEST_SKIP() << "pdftotext or psql is missing";
    std::string why;
    if (!odbc_test::StartPostgres(&why)) GTEST_SKIP() << why;
    dir_ = odbc_test::Dir() + "/sample_pg";
    int status = -1;
    const std::string made = sample_folder::MakeOnPostgres(dir_, odbc_test::PostgresPort(), &status);
    ASSERT_EQ(status, 0) << made;
  }
  // The program run with the sample's settings; its output and status.
  std::string Run(const std::string& args, int* status, const char* timeout = "120") {
    return Capture("cd '" + dir_ + "' && . ./env && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" + dir_ +
                       "' timeout " + timeout + " '" + ProgramPath() + "' " + args + " 2>&1",
                   status);
  }
  std::string dir_;
};

TEST_F(ProgramRuns, TheSampleReportPrintsFromPostgreSQL) {
  int status = -1;
  const std::string made =
      Capture("cd '" + dir_ + "' && . ./env && '" + fs::path(ProgramPath()).replace_filename("make-sample-report").string() +
                  "' VortelleSample '" + dir_ + "/sales.kmw' 2>&1",
              &status);
  ASSERT_EQ(status, 0) << made;
  const std::string output = Run("/G '" + dir_ + "/sales.kmw'", &status);
  ASSERT_EQ(status, 0) << output;
  const std::string text = Capture("pdftotext -layout '" + dir_ + "/sales.pdf' - 2>/dev/null");
  for (const char* expected : {"Orders by customer", "Alder & Sons", "Fennick Tools", "Customer total", "858.75",
                               "3424.50", "Grand total", "5962.15"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  EXPECT_LT(text.find("Alder & Sons"), text.find("Brightwater Ltd"));

  // /N names the data source the report reads instead of its own: a source
  // that cannot be reached stops the run, it is not ignored.
  const std::string broken = Run("/N" + std::string(odbc_test::kBrokenDsn) + " /G '" + dir_ + "/sales.kmw'", &status);
  EXPECT_NE(status, 0) << broken;
  EXPECT_NE(status, 124) << broken;
  // The report's own data source takes the further connection text (/E) too.
  const std::string refused = Run("/EPort=1 /G '" + dir_ + "/sales.kmw'", &status);
  EXPECT_EQ(status, 1) << refused;
  fs::remove(dir_ + "/sales.pdf");
  const std::string taken = Run("/EFetch=50 /G '" + dir_ + "/sales.kmw'", &status);
  EXPECT_EQ(status, 0) << taken;
  EXPECT_TRUE(fs::exists(dir_ + "/sales.pdf")) << taken;
}

TEST_F(ProgramRuns, BlankAndInstantReportsConnectToTheNamedSourceAndTable) {
  int status = -1;
  // Without /N the default data source of kmw.ini serves, as for File New.
  std::string out = Run("/Torder_lines /G", &status);
  EXPECT_EQ(status, 0) << out;
  // A table the source does not have is said so, and nothing prints.
  out = Run("/NVortelleSample /Tno_such_table /G", &status);
  EXPECT_NE(status, 0) << out;
  EXPECT_NE(out.find("no_such_table"), std::string::npos) << out;
  // The named source and table open a new report and /G runs it.
  for (const char* sw : {"/T", "/I"}) {
    fs::remove(dir_ + "/Untitled.pdf");
    out = Run(std::string("/NVortelleSample ") + sw + "order_lines /G", &status);
    EXPECT_EQ(status, 0) << sw << ": " << out;
    EXPECT_TRUE(fs::exists(dir_ + "/Untitled.pdf")) << sw << ": " << out;
  }
  // Further connection text (/E) goes after the named source's own: a port
  // no server listens on stops the run, a harmless attribute changes nothing.
  fs::remove(dir_ + "/Untitled.pdf");
  out = Run("/NVortelleSample /EFetch=50 /Iorder_lines /G", &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_TRUE(fs::exists(dir_ + "/Untitled.pdf")) << out;
  out = Run("/NVortelleSample /EPort=1 /Iorder_lines /G", &status);
  EXPECT_EQ(status, 1) << out;
  // Without /G the report stays open for the user: the program is still
  // running when the time is up, having said nothing.
  out = Run("/NVortelleSample /Torder_lines", &status, "8");
  EXPECT_EQ(status, 124) << out;
  EXPECT_EQ(out.find("vortelle:"), std::string::npos) << out;
}

}  // namespace
