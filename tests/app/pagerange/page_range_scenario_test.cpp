// Page ranges and runs that must end as asked, on SQLite and PostgreSQL, as
// a user meets them: an invoice report with every band kind, a chained join,
// totals on two group levels, DATE() and PAGENO() and a picture, printed
// whole and by ranges through the Print dialog, previewed and printed from
// the preview, and printed unattended with its range stored; a page header
// and footer that fill the page; unattended query files whose statement
// cannot make a report; and a stored database the server lacks.
#include "app/app.h"
#include "app/document.h"
#include "app/main_frame.h"
#include "app/open_report.h"
#include "app/preview_view.h"
#include "app/print_run.h"
#include "data/master_joins.h"
#include "data/open_tables.h"
#include "data/query_desc.h"
#include "export/export_library.h"
#include "expr/functions_common.h"
#include "files/report_io.h"
#include "layout/page_setup.h"
#include "platform/printer/printer_info.h"
#include "platform/win/ui_app.h"
#include "tests/app/options/dialog_steps.h"
#include "tests/app/options/sample_setup.h"
#include "tests/app/roundtrip/report_maker.h"
#include "tests/platform/ui/ui_test_util.h"
#include "tests/support/odbc_env.h"
#include "tests/support/pdf_words.h"
#include "tests/support/program_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using options_test::DialogSteps;
using options_test::Press;
using roundtrip::ReportMaker;

constexpr uint32_t kWrappedText = 0x140;  // a text field's format that wraps within its width
constexpr int kPrinterCombo = 1139, kPrintToFile = 1040, kFileName = 1155, kAll = 1056, kPages = 1058,
              kFromPage = 1152, kToPage = 1153;

// Ten customers, thirty orders of two to four lines; the notes of the lines
// wrap over up to four lines, so pages end inside the Record band.
std::string Tables(const char* realType, const char* blobType) {
  const char* companies[] = {"Alder & Sons", "Birch Ltd",   "Cedar Co",    "Dogwood Inc", "Elm Works",
                             "Fir Trading",  "Gum Supply",  "Hazel Goods", "Ivy Stores",  "Juniper Ltd"};
  const char* products[] = {"Canvas tent", "Sleeping bag", "Trail boots", "Rain jacket", "Camp stove", "Wool socks"};
  const char* notes[] = {"", "Gift wrapped", "Deliver to the side door after noon and ring twice",
                         "Part of a standing order renewed each quarter until the buyer cancels it in writing",
                         "Fragile"};
  std::ostringstream sql;
  sql << "drop table if exists pr_lines;\ndrop table if exists pr_orders;\ndrop table if exists pr_customers;\n"
         "drop table if exists pr_pictures;\n"
         "create table pr_customers (cust_id integer, company varchar(30));\n"
         "create table pr_orders (order_id integer, cust_id integer, order_date date);\n"
         "create table pr_lines (line_id integer, order_id integer, product varchar(20), note varchar(120), "
         "qty integer, price "
      << realType << ");\n"
      << "create table pr_pictures (id integer, photo " << blobType << ");\n"
      << "insert into pr_pictures values (1, null);\n";
  for (int c = 9; c >= 0; --c) sql << "insert into pr_customers values (" << c + 1 << ", '" << companies[c] << "');\n";
  int line = 1;
  for (int o = 0; o < 30; ++o) {
    sql << "insert into pr_orders values (" << 1001 + o << ", " << (o * 7) % 10 + 1 << ", '1998-" << (o % 12) + 1
        << "-" << (o % 27) + 1 << "');\n";
    for (int k = 0; k < 2 + o % 3; ++k, ++line)
      sql << "insert into pr_lines values (" << line << ", " << 1001 + o << ", '" << products[(o + k) % 6] << "', '"
          << notes[(o * 3 + k) % 5] << "', " << (o + k) % 9 + 1 << ", " << 5 + (o * 13 + k * 7) % 40 << ".25);\n";
  }
  return sql.str();
}

// A one-pixel picture for the title.
void WriteLogo(const std::string& path) {
  const unsigned char png[] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0,    0,    0,    0x0D, 0x49, 0x48,
                               0x44, 0x52, 0,    0,    0,    1,    0,    0,    0,    1,    8,    6,    0,    0,
                               0,    0x1F, 0x15, 0xC4, 0x89, 0,    0,    0,    0x0D, 0x49, 0x44, 0x41, 0x54, 0x78,
                               0x9C, 0x63, 0xF8, 0xCF, 0xC0, 0xF0, 0x1F, 0,    0x05, 0x00, 0x01, 0xFF, 0x89, 0x99,
                               0x3D, 0x1D, 0,    0,    0,    0,    0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(png), sizeof png);
}

// A printed line: where it stands (its words' bottom, in points) and its
// words. The PDF writer may pick another font for one print than for
// another, so the text is compared by words and places, not as laid out.
struct PrintedLine {
  double y;
  double x;
  std::string text;
};
using PrintedPage = std::vector<PrintedLine>;

std::vector<PrintedPage> Pages(const std::string& pdf) {
  std::vector<PrintedPage> pages;
  for (const PdfWord& w : ReadPdfWords(pdf)) {
    if (w.page < 0) continue;
    if (pages.size() <= static_cast<size_t>(w.page)) pages.resize(static_cast<size_t>(w.page) + 1);
    PrintedPage& page = pages[static_cast<size_t>(w.page)];
    auto line = std::find_if(page.begin(), page.end(), [&](const PrintedLine& l) { return std::fabs(l.y - w.yMax) < 1.5; });
    if (line == page.end()) page.push_back({w.yMax, w.xMin, w.text});
    else line->text += " " + w.text;
  }
  return pages;
}

// The pages of a range against the same pages of the whole print.
void ExpectSamePages(const std::vector<PrintedPage>& got, const std::vector<PrintedPage>& whole, int from, int to) {
  ASSERT_EQ(got.size(), static_cast<size_t>(to - from + 1)) << "pages " << from << " to " << to;
  for (size_t i = 0; i < got.size(); ++i) {
    const PrintedPage& a = got[i];
    const PrintedPage& b = whole[static_cast<size_t>(from - 1) + i];
    const std::string where = "page " + std::to_string(from + static_cast<int>(i)) + " of " + std::to_string(from) +
                              " to " + std::to_string(to);
    ASSERT_EQ(a.size(), b.size()) << where;
    for (size_t l = 0; l < a.size(); ++l) {
      EXPECT_EQ(a[l].text, b[l].text) << where;
      EXPECT_NEAR(a[l].y, b[l].y, 1.5) << where << ": " << a[l].text;
      EXPECT_NEAR(a[l].x, b[l].x, 1.5) << where << ": " << a[l].text;
    }
  }
}

bool Says(const PrintedPage& page, const std::string& text) {
  return std::any_of(page.begin(), page.end(), [&](const PrintedLine& l) { return l.text.find(text) != std::string::npos; });
}

class PageRanges : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    if (!fs::exists(program_run::ProgramPath())) GTEST_SKIP() << "the program is not built";
    if (!program_run::Have("pdftotext") || !program_run::Have("sqlite3"))
      GTEST_SKIP() << "pdftotext or sqlite3 is missing";
    if (!odbc_test::HaveSqliteDriver()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    if (GetParam() == 0) {
      dsn_ = odbc_test::kSqliteDsn;
      const std::string script = odbc_test::WriteFile("page_ranges.sql", Tables("double", "blob"));
      int status = -1;
      const std::string out = program_run::Capture(
          "sqlite3 '" + odbc_test::Dir() + "/test.db' < '" + script + "' 2>&1", &status);
      ASSERT_EQ(status, 0) << out;
    } else {
      std::string why;
      if (!odbc_test::StartPostgres(&why)) GTEST_SKIP() << why;
      dsn_ = odbc_test::kPgDsn;
      bool ok = false;
      const std::string out = odbc_test::RunPostgresSql(Tables("double precision", "bytea"), &ok);
      ASSERT_TRUE(ok) << out;
    }
    dir_ = odbc_test::Dir() + "/ranges_" + std::to_string(GetParam());
    roundtrip::MakeSettingsFolder(dir_);
    WriteLogo(dir_ + "/logo.png");
    UiStartApplication();
    InstallBuiltinFunctionHandlers();
  }

  // The lookup table of the path joined to the report on the links; its slot.
  int Join(ReportMaker& r, const char* path, const char* alias, FieldDef* from, const char* column) {
    CKmComposite& m = r.M();
    JoinLinkEntry links[] = {{from, column, 0}, {}};
    JoinRequest join;
    join.links = links;
    join.path = path;
    join.alias = alias;
    EXPECT_EQ(AddJoin(&m, &join, TableOverrideContext(), nullptr), 0) << path;
    for (int i = 1; i < kMaxTables; ++i)
      if (m.tableSlots[i] != nullptr && std::string(m.tableSlots[i]->alias) == alias) {
        r.Io().m_stream.settings.sources[i].sourceName = dsn_;
        return i;
      }
    ADD_FAILURE() << alias;
    return 0;
  }
  static FieldDef* Field(CKmComposite& m, int slot, const char* name) {
    for (FieldDef* f = m.fieldList; f; f = f->next)
      if (f->table == static_cast<uint32_t>(slot) && std::string(f->name) == name) return f;
    ADD_FAILURE() << name;
    return nullptr;
  }

  // The invoices: the lines of each order under its customer, both found
  // through the chain lines -> orders -> customers.
  void MakeInvoices(const std::string& path) {
    roundtrip::MakeReportFile(
        dsn_.c_str(), path, "pr_lines", {"line_id", "order_id", "product", "note", "qty", "price"},
        [&](ReportMaker& r) {
          CKmComposite& m = r.M();
          const int orders = Join(r, "pr_orders", "ORD", r.Column("order_id"), "order_id");
          const int customers = Join(r, "pr_customers", "CUS", Field(m, orders, "cust_id"), "cust_id");
          FieldDef* company = Field(m, customers, "company");
          FieldDef* date = Field(m, orders, "order_date");
          FieldDef* note = r.Column("note");
          FieldDef* amount = r.Calc("AMOUNT", "qty * price");
          FieldDef* today = r.Calc("TODAY", "DATE()");
          FieldDef* page = r.Calc("PG", "PAGENO()");
          FieldDef* orderTotal = r.Total("ORDERTOTAL", amount, kSummarySum, 1);
          FieldDef* customerTotal = r.Total("CUSTTOTAL", amount, kSummarySum, 0);
          FieldDef* grandTotal = r.Total("GRANDTOTAL", amount, kSummarySum, kSummaryResetNever);
          ASSERT_TRUE(company && date && amount && today && page);
          r.Group(0, company, false);
          r.Group(1, r.Column("order_id"), false);
          r.Sort(2, r.Column("line_id"), false);

          const int title = r.Line(kBandTitle);
          r.Text(title, 1, "Invoices by customer");
          r.Picture(title, 30, dir_ + "/logo.png");
          const int header = r.Line(kBandPageHeader);
          r.Text(header, 0, "Invoice list of");
          r.Place(today, header, 17, 11);
          const int customerHead = r.Line(kBandGroupHeader);
          r.Text(customerHead, 0, "Customer:");
          r.Place(company, customerHead, 10, 20);
          const int orderHead = r.Line(kBandGroupHeader + 1);
          r.Text(orderHead, 2, "Order");
          r.Place(r.Column("order_id"), orderHead, 8, 6, 0);
          r.Place(date, orderHead, 16, 11);
          const int record = r.Line(kBandRecord);
          r.Place(r.Column("product"), record, 4, 14);
          r.Place(r.Column("qty"), record, 20, 4, 0);
          r.Place(r.Column("price"), record, 26, 8, 2);
          r.Place(amount, record, 36, 9, 2);
          const int noteLine = r.Line(kBandRecord);
          r.Place(note, noteLine, 6, 24);
          note->formatCode = kWrappedText;
          const int orderFoot = r.Line(kBandGroupFooter + 1);
          r.Text(orderFoot, 4, "Order total");
          r.Place(orderTotal, orderFoot, 36, 9, 2);
          const int customerFoot = r.Line(kBandGroupFooter);
          r.Text(customerFoot, 0, "Customer total");
          r.Place(customerTotal, customerFoot, 36, 9, 2);
          const int summary = r.Line(kBandSummary);
          r.Text(summary, 0, "Grand total");
          r.Place(grandTotal, summary, 36, 9, 2);
          const int footer = r.Line(kBandPageFooter);
          r.Text(footer, 30, "Page");
          r.Place(page, footer, 35, 4, 0);
        });
  }

  // The program up, driven through its frame.
  struct Program : options_test::DrivenProgram {
    // The Print dialog answered for the PDF printer into the file, with the
    // range (0 to 0: all pages).
    void PrintDialog(const std::string& pdf, int from, int to) {
      steps.Dialog("Print", [pdf, from, to](HWND d) {
        options_test::Choose(d, kPrinterCombo, options_test::Find(d, kPrinterCombo, kPdfPrinterName));
        CheckDlgButton(d, kPrintToFile, BST_CHECKED);
        Press(d, kPrintToFile);
        options_test::SetText(d, kFileName, pdf);
        if (from == 0) {
          CheckDlgButton(d, kPages, BST_UNCHECKED);
          CheckDlgButton(d, kAll, BST_CHECKED);
          Press(d, kAll);
        } else {
          options_test::SetText(d, kFromPage, std::to_string(from));
          options_test::SetText(d, kToPage, std::to_string(to));
        }
        Press(d, IDOK);
      });
    }
    // File > Print of the range into a fresh file; a message the run
    // should end with is answered (any other fails the test).
    void Print(const std::string& pdf, int from, int to, const std::string& message = std::string()) {
      fs::remove(pdf);
      PrintDialog(pdf, from, to);
      if (!message.empty()) steps.Message(message);
      Command(kCmdFilePrint);
    }
  };

  // The program run on a file with /G: its standard error is read up to
  // twenty lines, and a run that says more (the same things again and
  // again) is ended there, so the test never waits on the clock (the time
  // limit only keeps a run that says nothing from holding it). The run's
  // status and lines.
  std::string Unattended(const std::string& file, int* status) {
    const std::string run = dir_ + "/run", kept = dir_ + "/status", pid = dir_ + "/pid";
    fs::create_directories(run);
    fs::permissions(run, fs::perms::owner_all);
    fs::remove(kept);
    const std::string out = program_run::Capture(
        "cd '" + dir_ + "' && { env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" + run + "' " +
        program_run::ProgramLeakOptions() + " timeout 600 '" + program_run::ProgramPath() + "' /G '" + file +
        "' 2>&1 >/dev/null & echo $! > '" + pid + "'; wait $!; echo $? > '" + kept + "'; } | { head -n 20; kill $(cat '" +
        pid + "') 2>/dev/null; cat >/dev/null; }");
    std::ifstream in(kept);
    *status = -1;
    in >> *status;
    return out;
  }
  static int Lines(const std::string& out) {
    int lines = 0;
    for (size_t at = out.find("vortelle: "); at != std::string::npos; at = out.find("vortelle: ", at + 1)) ++lines;
    return lines;
  }

  std::string dsn_;
  std::string dir_;
};

// Acts on the preview once it waits on a page, then stops looking.
class WhenPreviewWaits {
 public:
  explicit WhenPreviewWaits(std::function<void(CPreview&)> act) : act_(std::move(act)) { Schedule(); }
  ~WhenPreviewWaits() { *alive_ = false; }
  bool acted = false;

 private:
  void Schedule() {
    std::shared_ptr<bool> alive = alive_;
    ui_test::After(30, [this, alive] {
      if (!*alive || acted) return;
      if (CPreview* v = ActivePreview(); v != nullptr && v->m_bWaiting && !v->m_bBusy) {
        acted = true;
        act_(*v);
        return;
      }
      Schedule();
    });
  }
  std::function<void(CPreview&)> act_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Every range prints exactly the pages the whole print has there: those
// ending inside a record, in a group footer or on the last page; a range
// beyond the end says so and writes nothing. A reversed range is refused in
// the dialog. The range kept with the report shows in the preview and the
// Print dialog, and governs the preview's Print Report and an unattended run.
TEST_P(PageRanges, EveryRangePrintsThePagesOfTheWholePrint) {
  const std::string report = dir_ + "/invoices.kmw";
  MakeInvoices(report);
  std::vector<PrintedPage> pages;
  {
    Program p;
    ASSERT_NE(p.frame, nullptr);
    p.Open(report);
    ASSERT_TRUE(p.doc->m_bReportOpen);
    p.Print(dir_ + "/whole.pdf", 0, 0);
    pages = Pages(dir_ + "/whole.pdf");
    ASSERT_GE(pages.size(), 4u);
    EXPECT_TRUE(Says(pages.front(), "Invoices by customer"));
    EXPECT_TRUE(Says(pages.back(), "Grand total"));
    const int last = static_cast<int>(pages.size());
    for (const auto& [from, to] : std::vector<std::pair<int, int>>{{1, 1}, {2, 2}, {2, 3}, {3, 3}, {last, last}}) {
      const std::string pdf = dir_ + "/pages_" + std::to_string(from) + "_" + std::to_string(to) + ".pdf";
      p.Print(pdf, from, to);
      ExpectSamePages(Pages(pdf), pages, from, to);
    }
    const std::string beyond = dir_ + "/beyond.pdf";
    p.Print(beyond, last + 1, last + 2, "Starting page too large");
    EXPECT_FALSE(fs::exists(beyond));

    // From 3 to 2: refused with the To page to mend; mended, it prints.
    const std::string mended = dir_ + "/mended.pdf";
    fs::remove(mended);
    p.steps.Dialog("Print", [mended](HWND d) {
      CheckDlgButton(d, kPrintToFile, BST_CHECKED);
      Press(d, kPrintToFile);
      options_test::SetText(d, kFileName, mended);
      options_test::SetText(d, kFromPage, "3");
      options_test::SetText(d, kToPage, "2");
      options_test::Post(d, IDOK);
    });
    p.steps.Message("The To page comes before the From page");
    p.steps.Dialog("Print", [](HWND d) {
      EXPECT_EQ(GetFocus(), GetDlgItem(d, kToPage));
      options_test::SetText(d, kToPage, "4");
      Press(d, IDOK);
    });
    p.Command(kCmdFilePrint);
    ExpectSamePages(Pages(mended), pages, 3, 4);

    // Pages 2 to 3 kept: the preview starts on page 2 and says which
    // pages it shows; its Print Report prints them.
    const std::string kept = dir_ + "/kept.pdf";
    p.Print(kept, 2, 3);
    ASSERT_TRUE(fs::exists(kept));
    fs::remove(kept);
    std::string shownPage, shownRange;
    {
      WhenPreviewWaits printing([&](CPreview& v) {
        shownPage = v.StatusText();
        shownRange = p.doc->m_pMainFrame->m_wndStatusBar.GetPaneText(0);
        v.OnPreviewCommand(kCmdPreviewPrintReport);
      });
      p.Command(kCmdFilePreview);
      EXPECT_TRUE(printing.acted) << "no preview page";
    }
    EXPECT_EQ(shownPage, "Page:  2");
    EXPECT_NE(shownRange.find("Page range 2 to 3"), std::string::npos) << shownRange;
    ExpectSamePages(Pages(kept), pages, 2, 3);
    // The Print dialog opens on the range.
    p.steps.Dialog("Print", [](HWND d) {
      EXPECT_TRUE(options_test::Checked(d, kPages));
      EXPECT_EQ(options_test::ControlText(d, kFromPage), "2");
      EXPECT_EQ(options_test::ControlText(d, kToPage), "3");
      Press(d, IDCANCEL);
    });
    p.Command(kCmdFilePrint);
    p.Command(kCmdFileSave);
    // A viewer file exported while the range is kept holds those pages.
    const std::string viewer = dir_ + "/viewer.pdf";
    fs::remove(viewer);
    p.steps.Dialog("Export", [viewer](HWND d) {
      constexpr int kFormatList = 201, kFileEdit = 203;
      const LRESULT n = SendDlgItemMessageA(d, kFormatList, LB_GETCOUNT, 0, 0);
      for (LRESULT i = 0; i < n; ++i)
        if (SendDlgItemMessageA(d, kFormatList, LB_GETITEMDATA, static_cast<WPARAM>(i), 0) == kExportViewer) {
          SendDlgItemMessageA(d, kFormatList, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
          SendMessageA(d, WM_COMMAND, MAKEWPARAM(kFormatList, LBN_SELCHANGE), 0);
        }
      options_test::SetText(d, kFileEdit, viewer);
      Press(d, IDOK);
    });
    p.Command(kCmdFileExport);
    ExpectSamePages(Pages(viewer), pages, 2, 3);
  }

  // Unattended, the range stored with the report prints, into its file.
  const std::string kept = dir_ + "/kept.pdf";
  fs::remove(kept);
  int status = -1;
  const std::string err = Unattended(report, &status);
  EXPECT_EQ(status, 0) << err;
  EXPECT_EQ(Lines(err), 0) << err;
  ExpectSamePages(Pages(kept), pages, 2, 3);
}

// A page header and footer taller than the page leave no room for a
// record: print, preview and an unattended run stop before the first page
// with the reason, and nothing is written.
TEST_P(PageRanges, AHeaderAndFooterThatFillThePagePrintNothing) {
  const std::string report = dir_ + "/tall.kmw";
  roundtrip::MakeReportFile(dsn_.c_str(), report, "pr_lines", {"product", "qty"}, [&](ReportMaker& r) {
    for (int i = 0; i < 40; ++i) r.Text(r.Line(kBandPageHeader), 0, ("Heading line " + std::to_string(i)).c_str());
    const int record = r.Line(kBandRecord);
    r.Place(r.Column("product"), record, 0, 14);
    r.Place(r.Column("qty"), record, 16, 4, 0);
    for (int i = 0; i < 40; ++i) r.Text(r.Line(kBandPageFooter), 0, ("Footing line " + std::to_string(i)).c_str());
  });
  const std::string pdf = dir_ + "/tall.pdf";
  const std::string reason = "The page header and page footer fill the page and leave no room for the report";
  {
    Program p;
    ASSERT_NE(p.frame, nullptr);
    p.Open(report);
    ASSERT_TRUE(p.doc->m_bReportOpen);
    p.Print(pdf, 0, 0, reason);
    EXPECT_FALSE(fs::exists(pdf));
    {
      WhenPreviewWaits page([](CPreview& v) { v.OnPreviewCommand(kCmdPreviewClose); });
      p.steps.Message(reason);
      p.Command(kCmdFilePreview);
      EXPECT_FALSE(page.acted) << "a preview page was shown";
    }
    p.Command(kCmdFileSave);
  }
  fs::remove(pdf);
  int status = -1;
  const std::string err = Unattended(report, &status);
  EXPECT_EQ(status, 1) << err;
  EXPECT_EQ(Lines(err), 1) << err;
  EXPECT_NE(err.find(reason), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(pdf));
}

// An unattended query file whose statement cannot make a report (a column
// of an unsupported type, a table that is not there) ends by itself with
// status 1 and its reason once: the SQL Select dialog, which would give the
// same statement back, is not answered.
TEST_P(PageRanges, AnUnattendedQueryFileThatCannotMakeAReportEndsWithItsReasonOnce) {
  const struct {
    const char* query;
    const char* reason;
  } cases[] = {{"select id, photo from pr_pictures", "Select statement would return unsupported data type"},
               {"select * from pr_missing", "pr_missing"}};
  for (const auto& c : cases) {
    QueryDesc q;
    q.name = "Pictures";
    q.dataSource = dsn_;
    q.connect = "DSN=" + dsn_;
    q.query = c.query;
    std::string bytes(static_cast<size_t>(q.GetPackedSize()), '\0');
    ASSERT_TRUE(q.Pack(reinterpret_cast<unsigned char*>(&bytes[0]), bytes.size()));
    const std::string file = dir_ + "/pictures.kwq";
    std::ofstream(file, std::ios::binary) << bytes;
    int status = -1;
    const std::string err = Unattended(file, &status);
    EXPECT_EQ(status, 1) << c.query << "\n" << err;
    EXPECT_EQ(Lines(err), 1) << c.query << "\n" << err;
    EXPECT_NE(err.find(c.reason), std::string::npos) << err;
  }
}

// A database the report names that the server does not have: the read
// says so, and the unattended run ends with that one line, not a second
// one when the run tries the name again. (A SQLite source's database is its
// file: the name is not used, and the report prints.)
TEST_P(PageRanges, ADatabaseTheServerLacksIsSaidOnce) {
  const std::string report = dir_ + "/elsewhere.kmw";
  roundtrip::MakeReportFile(dsn_.c_str(), report, "pr_lines", {"product", "qty"}, [&](ReportMaker& r) {
    const int record = r.Line(kBandRecord);
    r.Place(r.Column("product"), record, 0, 14);
    r.Place(r.Column("qty"), record, 16, 4, 0);
    r.Io().m_stream.settings.databaseName = "vt_no_such_database";
  });
  int status = -1;
  const std::string err = Unattended(report, &status);
  if (GetParam() == 0) {
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(Lines(err), 0) << err;
    return;
  }
  EXPECT_EQ(status, 1) << err;
  EXPECT_EQ(Lines(err), 1) << err;
  EXPECT_NE(err.find("vt_no_such_database"), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(BothDatabases, PageRanges, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(info.param == 0 ? "SQLite" : "PostgreSQL");
                         });

}  // namespace
