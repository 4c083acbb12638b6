// Reports whose database changed under them, as a user meets them on SQLite
// and on PostgreSQL: opened through File > Open with the questions and
// warnings answered, then previewed and printed from the frame, and printed
// with /G. A filter whose field has left its table, a numeric join field that
// has left its table, a lookup table dropped from the database, and a join
// whose lookup table nothing uses deleted.
#include "app/app.h"
#include "app/document.h"
#include "app/main_frame.h"
#include "app/open_report.h"
#include "app/preview_view.h"
#include "app/print_run.h"
#include "core/condition_code.h"
#include "data/data_access.h"
#include "data/master_joins.h"
#include "data/open_tables.h"
#include "expr/functions_common.h"
#include "files/report_io.h"
#include "layout/page_setup.h"
#include "model/relation_wording.h"
#include "model/selection_conditions.h"
#include "platform/printer/printer_info.h"
#include "platform/win/ui_app.h"
#include "tests/app/options/dialog_steps.h"
#include "tests/app/options/sample_setup.h"
#include "tests/app/roundtrip/report_maker.h"
#include "tests/platform/ui/ui_test_util.h"
#include "tests/support/odbc_env.h"
#include "tests/support/program_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using options_test::DialogSteps;
using options_test::Press;
using roundtrip::ReportMaker;

constexpr UINT kCmdJoins = 30610;
constexpr int kJoinList = 200, kJoinDelete = 201;

// Ten order lines, three of them Alder & Sons', in two regions.
const char* const kTables =
    "drop table if exists stale_lines;\n"
    "drop table if exists stale_regions;\n"
    "create table stale_regions (region_id integer, region_name varchar(20));\n"
    "insert into stale_regions values (1, 'North');\n"
    "insert into stale_regions values (2, 'South');\n"
    "create table stale_lines (line_id integer, company varchar(30), region_id integer, qty integer);\n"
    "insert into stale_lines values (1, 'Alder & Sons', 1, 4);\n"
    "insert into stale_lines values (2, 'Birch Ltd', 2, 7);\n"
    "insert into stale_lines values (3, 'Cedar Co', 1, 2);\n"
    "insert into stale_lines values (4, 'Alder & Sons', 2, 9);\n"
    "insert into stale_lines values (5, 'Dogwood', 2, 1);\n"
    "insert into stale_lines values (6, 'Elm Works', 1, 5);\n"
    "insert into stale_lines values (7, 'Alder & Sons', 1, 3);\n"
    "insert into stale_lines values (8, 'Fir & Co', 2, 8);\n"
    "insert into stale_lines values (9, 'Gum Trading', 1, 6);\n"
    "insert into stale_lines values (10, 'Hazel Inc', 2, 2);\n";

// The first word of each line's company, as every line prints.
const std::vector<std::string> kAllLines = {"Alder", "Birch", "Cedar", "Alder", "Dogwood",
                                            "Elm",   "Alder", "Fir",   "Gum",   "Hazel"};

// Watches for a preview window the run should not have opened, and closes it
// so that a failing test ends instead of waiting on the preview's page.
class PreviewGuard {
 public:
  PreviewGuard() { Schedule(); }
  ~PreviewGuard() { *alive_ = false; }
  bool opened = false;

 private:
  void Schedule() {
    std::shared_ptr<bool> alive = alive_;
    ui_test::After(30, [this, alive] {
      if (!*alive) return;
      if (CPreview* v = ActivePreview(); v != nullptr && v->m_bWaiting && !v->m_bBusy) {
        opened = true;
        v->OnPreviewCommand(kCmdPreviewClose);
      }
      Schedule();
    });
  }
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

class StaleData : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    if (!fs::exists(program_run::ProgramPath())) GTEST_SKIP() << "the program is not built";
    if (!program_run::Have("pdftotext") || !program_run::Have("sqlite3")) GTEST_SKIP() << "pdftotext or sqlite3 is missing";
    if (!odbc_test::HaveSqliteDriver()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    if (GetParam() == 0) {
      dsn_ = odbc_test::kSqliteDsn;
    } else {
      std::string why;
      if (!odbc_test::StartPostgres(&why)) GTEST_SKIP() << why;
      dsn_ = odbc_test::kPgDsn;
    }
    ASSERT_TRUE(Sql(kTables));
    dir_ = odbc_test::Dir() + "/stale_" + std::to_string(GetParam());
    roundtrip::MakeSettingsFolder(dir_);
    UiStartApplication();
    InstallBuiltinFunctionHandlers();
  }

  // SQL run on the test's database from outside the program.
  bool Sql(const std::string& sql) {
    if (GetParam() != 0) {
      bool ok = false;
      const std::string out = odbc_test::RunPostgresSql(sql, &ok);
      EXPECT_TRUE(ok) << out;
      return ok;
    }
    const std::string script = odbc_test::WriteFile("stale.sql", sql);
    int status = -1;
    const std::string out =
        program_run::Capture("sqlite3 '" + odbc_test::Dir() + "/test.db' < '" + script + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
    return status == 0;
  }

  // The order lines with their company and quantity on the record line;
  // with a join to the regions on region_id, its name placed when asked;
  // with the filter company = "Alder & Sons".
  struct Shape {
    bool join = false;
    bool placeRegion = false;
    bool filter = false;
  };
  void MakeReport(const std::string& path, Shape shape) {
    roundtrip::MakeReportFile(dsn_.c_str(), path, "stale_lines", {"company", "region_id", "qty"}, [&](ReportMaker& r) {
      CKmComposite& m = r.M();
      const int line = r.Line(kBandRecord);
      r.Place(r.Column("company"), line, 0, 16);
      r.Place(r.Column("qty"), line, 20, 4, 0);
      if (shape.join) {
        JoinLinkEntry links[] = {{r.Column("region_id"), "region_id", 0}, {}};
        JoinRequest join;
        join.links = links;
        join.path = "stale_regions";
        join.alias = "REG";
        ASSERT_EQ(AddJoin(&m, &join, TableOverrideContext(), nullptr), 0);
        int slot = 0;
        for (int i = 1; i < kMaxTables && slot == 0; ++i)
          if (m.tableSlots[i] != nullptr && std::string(m.tableSlots[i]->alias) == "REG") slot = i;
        ASSERT_GT(slot, 0);
        r.Io().m_stream.settings.sources[slot].sourceName = dsn_;
        if (shape.placeRegion)
          for (FieldDef* f = m.fieldList; f; f = f->next)
            if (f->table == static_cast<uint32_t>(slot) && std::string(f->name) == "region_name") r.Place(f, line, 26, 8);
      }
      if (shape.filter) {
        std::string error;
        ASSERT_TRUE(r.Filter({r.Row(0, r.Column("company"), kCondEqual, "'Alder & Sons'")}, &error)) << error;
      }
    });
  }

  // The first word of each company printed, in order.
  static std::vector<std::string> Lines(const std::string& pdf) {
    std::istringstream in(program_run::Capture("pdftotext '" + pdf + "' - 2>/dev/null"));
    std::vector<std::string> out;
    for (std::string w; in >> w;)
      for (const std::string& first : kAllLines)
        if (w == first) {
          out.push_back(w);
          break;
        }
    return out;
  }

  // The program run on the report with /G: its standard error, its status.
  std::string PrintUnattended(const std::string& report, int* status) {
    const std::string run = dir_ + "/run";
    fs::create_directories(run);
    fs::permissions(run, fs::perms::owner_all);
    return program_run::Capture("cd '" + dir_ + "' && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" + run +
                                    "' " + program_run::ProgramLeakOptions() + " timeout 120 '" +
                                    program_run::ProgramPath() + "' /G '" + report + "' 2>&1 >/dev/null",
                                status);
  }
  std::vector<std::string> Pdfs() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir_))
      if (e.path().extension() == ".pdf") out.push_back(e.path().string());
    return out;
  }

  // The program up, driven through its frame.
  struct Program : options_test::DrivenProgram {
    // The Print dialog answered for the PDF printer into the file.
    void PrintDialog(const std::string& pdf) {
      steps.Dialog("Print", [pdf](HWND d) {
        options_test::Choose(d, 1139, options_test::Find(d, 1139, kPdfPrinterName));
        CheckDlgButton(d, 1040, BST_CHECKED);
        Press(d, 1040);
        options_test::SetText(d, 1155, pdf);
        Press(d, IDOK);
      });
    }
    // File > Print Preview and File > Print that the checks before a run
    // stop with the message: no preview page, no file.
    void RunRefused(const std::string& message, const std::string& pdf) {
      PreviewGuard guard;
      steps.Message(message);
      Command(kCmdFilePreview);
      EXPECT_FALSE(guard.opened) << "the preview ran";
      PrintDialog(pdf);
      steps.Message(message);
      GetPrintRunContext().lastRunPrinted = false;
      Command(kCmdFilePrint);
      EXPECT_FALSE(GetPrintRunContext().lastRunPrinted);
      EXPECT_FALSE(fs::exists(pdf)) << pdf;
      EXPECT_FALSE(guard.opened);
    }
  };

  // /G refused with the message on standard error: status 1, no PDF.
  void UnattendedRefused(const std::string& report, const std::string& message) {
    int status = 0;
    const std::string err = PrintUnattended(report, &status);
    EXPECT_EQ(status, 1) << err;
    EXPECT_NE(err.find(message), std::string::npos) << err;
    EXPECT_TRUE(Pdfs().empty()) << Pdfs().front();
  }

  // The report opened with its warnings answered, then refused by the checks
  // before a run in the preview, in print and with /G: the run's message is
  // stop (with a blank for its line break on standard error).
  void OpensButEveryRunIsRefused(const std::string& report, const std::vector<std::string>& warnings,
                                 const std::string& stop, const std::function<void(CKmComposite&)>& opened) {
    {
      Program p;
      ASSERT_NE(p.frame, nullptr);
      std::vector<std::pair<std::string, int>> answers;
      for (const std::string& w : warnings) answers.emplace_back(w, IDOK);
      p.Open(report, answers);
      ASSERT_TRUE(p.doc->m_bReportOpen);
      opened(*p.doc->m_pModel);
      p.RunRefused(stop, dir_ + "/refused.pdf");
      ASSERT_EQ(p.steps.messages.size(), warnings.size() + 2);
      EXPECT_EQ(p.steps.messages[warnings.size()], stop);
      EXPECT_EQ(p.steps.messages[warnings.size() + 1], stop);
    }
    std::string line = stop;
    std::replace(line.begin(), line.end(), '\n', ' ');
    UnattendedRefused(report, line);
  }

  std::string dsn_;
  std::string dir_;
};

// The filter's field renamed in the database: the test keeps its place and
// every run is refused until the filter is edited; never all ten lines.
TEST_P(StaleData, AFilterWhoseFieldLeftItsTableStopsEveryRun) {
  const std::string report = dir_ + "/filtered.kmw";
  MakeReport(report, {false, false, true});
  ASSERT_TRUE(Sql("alter table stale_lines rename column company to firm;\n"));
  OpensButEveryRunIsRefused(report,
                            {"Character field 'company' is no longer in table 'stale_lines'",
                             "Filter must be edited: fields deleted"},
                            "Filter must be edited: fields deleted", [](CKmComposite& m) {
                              ASSERT_NE(m.conditionCode, nullptr) << "the filter was dropped";
                              EXPECT_TRUE(ConditionReferencesField(m.conditionCode, m.conditionLength, kNoField));
                            });
}

// The master's linking field renamed in the database: the stand-in is of the
// field's kind, and the check before a run names it so.
TEST_P(StaleData, ANumericJoinFieldThatLeftItsTableIsNamedAsNumeric) {
  const std::string report = dir_ + "/joined.kmw";
  MakeReport(report, {true, true, false});
  ASSERT_TRUE(Sql("alter table stale_lines rename column region_id to area_id;\n"));
  OpensButEveryRunIsRefused(report,
                            {"Numeric field 'region_id' is no longer in table 'stale_lines'",
                             "The join of table 'stale_regions' uses a field that is no longer in its table",
                             "Join must be edited"},
                            "Numeric join field 'region_id' is no longer in table 'stale_lines'\nJoin must be edited",
                            [](CKmComposite& m) {
                              const FieldDef* f = FindConditionDependency(&m);
                              ASSERT_NE(f, nullptr);
                              EXPECT_STREQ(f->name, "?_region_id");
                              EXPECT_EQ(f->flags & kFieldKindMask, kFieldNumeric);
                            });
}

// The lookup table dropped: one question, and No ends the reading.
TEST_P(StaleData, ALookupTableDroppedIsAskedAboutOnceAndNoEndsTheReading) {
  const std::string report = dir_ + "/lookup.kmw";
  MakeReport(report, {true, true, false});
  ASSERT_TRUE(Sql("drop table stale_regions;\n"));

  {
    Program p;
    ASSERT_NE(p.frame, nullptr);
    p.Open(report, {{"Cannot find related table 'stale_regions'.  Re-select table?", IDNO}});
    EXPECT_EQ(p.steps.messages.size(), 1u);
    EXPECT_FALSE(p.doc->m_bReportOpen);
    // Nothing to run: the commands wait for a report.
    EXPECT_EQ(p.doc->m_pModel->fieldList, nullptr);
  }

  UnattendedRefused(report, "stale_regions");
}

// A join whose table nothing uses goes on a plain question; one whose field
// is placed warns first with the field it takes.
TEST_P(StaleData, DeletingAJoinNothingUsesAsksThePlainQuestion) {
  const std::string unused = dir_ + "/unused.kmw", placed = dir_ + "/placed.kmw", saved = dir_ + "/nojoin.kmw";
  MakeReport(unused, {true, false, false});
  MakeReport(placed, {true, true, false});

  {
    Program p;
    ASSERT_NE(p.frame, nullptr);
    p.Open(placed);
    ASSERT_TRUE(p.doc->m_bReportOpen);
    std::string listed;
    p.steps.Dialog("Joins", [&p, &listed](HWND d) {
      SendDlgItemMessageA(d, kJoinList, LB_SETCURSEL, 0, 0);
      p.steps.Dialog("Fields Affected", [&listed](HWND w) {
        const LRESULT n = SendDlgItemMessageA(w, 201, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i) {
          char line[200] = {};
          SendDlgItemMessageA(w, 201, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(line));
          listed += std::string(line) + "\n";
        }
        Press(w, IDCANCEL);
      });
      options_test::Post(d, kJoinDelete);
      p.steps.Dialog("Joins", [](HWND again) { options_test::Post(again, IDCANCEL); });
    });
    p.Command(kCmdJoins);
    EXPECT_EQ(listed, "region_name / Data\n");
    EXPECT_GT(FindTableByAlias(p.doc->m_pModel, "REG"), 0) << "cancelled: the join stays";

    p.Open(unused);
    ASSERT_TRUE(p.doc->m_bReportOpen);
    p.steps.Dialog("Joins", [&p](HWND d) {
      SendDlgItemMessageA(d, kJoinList, LB_SETCURSEL, 0, 0);
      p.steps.Message("Delete join?", IDYES);
      options_test::Post(d, kJoinDelete);
      p.steps.Dialog("Joins", [](HWND again) {
        EXPECT_EQ(SendDlgItemMessageA(again, kJoinList, LB_GETCOUNT, 0, 0), 0);
        options_test::Post(again, IDCANCEL);
      });
    });
    p.Command(kCmdJoins);
    for (int s = 1; s < kMaxTables; ++s) EXPECT_EQ(p.doc->m_pModel->tableSlots[s], nullptr) << s;

    // Saved, opened again, previewed and printed: every line.
    p.steps.File("Save As", saved);
    p.Command(kCmdFileSaveAs);
    p.Open(saved);
    ASSERT_TRUE(p.doc->m_bReportOpen);
    {
      PreviewGuard guard;
      p.Command(kCmdFilePreview);
      EXPECT_TRUE(guard.opened);
    }
    const std::string pdf = dir_ + "/nojoin.pdf";
    p.PrintDialog(pdf);
    p.Command(kCmdFilePrint);
    EXPECT_EQ(Lines(pdf), kAllLines);
    fs::remove(pdf);
  }

  int status = -1;
  const std::string err = PrintUnattended(saved, &status);
  EXPECT_EQ(status, 0) << err;
  EXPECT_EQ(err, "");
  const std::vector<std::string> pdfs = Pdfs();
  ASSERT_EQ(pdfs.size(), 1u);
  EXPECT_EQ(Lines(pdfs[0]), kAllLines);
}

INSTANTIATE_TEST_SUITE_P(Databases, StaleData, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& i) {
                           return i.param == 0 ? std::string("SQLite") : std::string("PostgreSQL");
                         });

}  // namespace
