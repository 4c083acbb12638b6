// Choosing a report's data through the real frame and dialogs: a data source
// from the list, the master table, two joins (one keeping unmatched records),
// a user SELECT, another data source with the same tables; each report is
// printed to PDF and its rows compared with the same query run in SQL.
#include "app/app.h"
#include "app/document.h"
#include "app/open_report.h"
#include "app/print_run.h"
#include "core/composite.h"
#include "data/data_access.h"
#include "data/db_errors.h"
#include "dialogs/field_list_box.h"
#include "expr/functions_common.h"
#include "files/report_io.h"
#include "layout/fonts.h"
#include "layout/layout_records.h"
#include "layout/page_setup.h"
#include "platform/win/dialog.h"
#include "platform/win/menu.h"
#include "platform/win/ui_app.h"
#include "platform/win/window_picture.h"
#include "tests/platform/ui/ui_test_util.h"
#include "tests/support/answer_box.h"
#include "tests/support/odbc_env.h"
#include "tests/support/program_run.h"
#include "tests/support/record_line.h"
#include "tests/support/screens.h"
#include "tests/support/window_sample.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <strings.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const char* const kShopA = "vt_shop_a";
const char* const kShopB = "vt_shop_b";

// The shop's tables: order 13 has no product (kept by the outer join), order
// 14 no customer (dropped by the inner one).
const char* const kShopSql =
    "create table customers (id integer primary key, name varchar(30));"
    "create table products (id integer primary key, title varchar(30));"
    "create table orders (id integer primary key, customer integer, product integer, qty integer);"
    "insert into customers values (1, 'Alder%s');"
    "insert into customers values (2, 'Birch%s');"
    "insert into products values (7, 'Lantern');"
    "insert into products values (8, 'Canvas');"
    "insert into orders values (11, 1, 7, 2);"
    "insert into orders values (12, 2, 8, 5);"
    "insert into orders values (13, 2, 99, 1);"
    "insert into orders values (14, 42, 7, 3);";
const char* const kJoinSql =
    "select o.id, c.name, p.title from orders o inner join customers c on o.customer = c.id "
    "left outer join products p on o.product = p.id order by o.id";

std::string Shell(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

std::string ShopScript(const char* suffix) {
  if (suffix == nullptr) return "pragma user_version = 1;";
  char text[2048];
  std::snprintf(text, sizeof text, kShopSql, suffix, suffix);
  return text;
}

void AddSqliteShop(const char* dsn, const char* suffix) {
  const std::string db = odbc_test::Dir() + "/" + dsn + ".db";
  const std::string script = odbc_test::WriteFile(std::string(dsn) + ".sql", ShopScript(suffix));
  std::system(("rm -f '" + db + "' && sqlite3 '" + db + "' < '" + script + "'").c_str());
  std::ifstream in(odbc_test::Dir() + "/odbc.ini");
  std::stringstream ini;
  ini << in.rdbuf() << "[" << dsn << "]\nDriver=SQLite3\nDatabase=" << db << "\nStepAPI=1\n\n";
  odbc_test::WriteFile("odbc.ini", ini.str());
}

// The shop's tables on the private PostgreSQL server, made afresh by its own
// client (the program's connections only read).
void MakePostgresShop() {
  bool ok = false;
  const std::string said = odbc_test::RunPostgresSql(
      "drop table if exists orders; drop table if exists customers; drop table if exists products;" + ShopScript(""),
      &ok);
  ASSERT_TRUE(ok) << said;
}

// Runs SQL on its own connection: each row's columns joined by "|".
// The program's one document owns this model too; a document made here
// would take its place as the document messages go to.
std::vector<std::string> SqlRows(const char* dsn, const std::string& sql) {
  CKmComposite m(GetActiveDocBase());
  DataAccess* data = GetDataAccess(&m);
  std::vector<std::string> rows;
  if (data->ConnectDataSource(dsn, false, true, nullptr) != 1) {
    ADD_FAILURE() << DbLastErrorText();
    return rows;
  }
  data->SelectDataSource(dsn);
  std::stringstream statements(sql);
  std::string one;
  while (std::getline(statements, one, ';')) {
    if (one.find_first_not_of(" \n") == std::string::npos) continue;
    EXPECT_EQ(data->ExecSql(one.c_str()), 0) << one;
    while (data->FetchNext() == 0) {
      std::string row;
      for (int c = 1; c <= data->GetColumnCount(); ++c) row += std::string(c > 1 ? "|" : "") + data->GetColumnText(c, c, 0);
      rows.push_back(row);
    }
  }
  data->EndStatement();
  return rows;
}

// The steps of a scenario: each waits for a dialog with its caption, acts on
// it and is done; a dialog left open after a failure is ended by the guard.
class DialogScript {
 public:
  using Action = std::function<void(HWND)>;
  // Steps added while a step acts come next, before the steps already waiting.
  void Expect(const std::string& caption, Action action) {
    if (acting_) steps_.insert(steps_.begin() + static_cast<long>(insert_++), {caption, std::move(action)});
    else steps_.push_back({caption, std::move(action)});
  }
  bool Done() const { return next_ >= steps_.size(); }
  std::string Waiting() const {
    if (Done()) return std::string();
    std::string open;
    for (HWND h : vt_ui::AllWindows())
      if (IsWindow(h) && h->dlg && IsWindowVisible(h))
        open += " [" + ui_test::Text(h) + (IsWindowEnabled(h) ? "" : ", disabled") + ": " + ui_test::Text(GetDlgItem(h, 200)) + "]";
    return steps_[next_].caption + "; open:" + open;
  }
  // Each check schedules the next before it acts, so a dialog the action
  // opens (a nested modal loop) is still looked for; the checks go on while
  // no step waits, for an action may add one before its dialog comes.
  void Arm() {
    if (armed_) return;
    armed_ = true;
    Schedule();
  }
  ~DialogScript() { *alive_ = false; }

 private:
  void Schedule() {
    std::shared_ptr<bool> alive = alive_;
    ui_test::After(15, [this, alive] {
      if (*alive) Turn();
    });
  }
  void Turn() {
    Schedule();
    if (Done()) return;
    // The dialog that takes input now: shown, and not disabled under a dialog of its own.
    HWND d = answer_box::Find({steps_[next_].caption});
    if (d == nullptr) return;
    Action a = steps_[next_].action;
    ++next_;
    const bool wasActing = acting_;
    const size_t savedInsert = insert_;
    acting_ = true;
    insert_ = next_;
    a(d);
    acting_ = wasActing;
    // Steps the action adds after a nested dialog has come and gone go after what that dialog used.
    insert_ = std::max(savedInsert, next_);
  }
  struct Step {
    std::string caption;
    Action action;
  };
  std::vector<Step> steps_;
  size_t next_ = 0;
  bool armed_ = false;
  bool acting_ = false;
  size_t insert_ = 0;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

void SelectListed(HWND dialog, int control, const std::string& text) {
  const LRESULT at = SendDlgItemMessageA(dialog, control, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(text.c_str()));
  ASSERT_NE(at, LB_ERR) << text;
  SendDlgItemMessageA(dialog, control, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(control, LBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(dialog, control)));
}

// Chooses the combo entry whose text (after the type letter) begins with name.
void SelectCombo(HWND dialog, int control, const std::string& name) {
  HWND combo = GetDlgItem(dialog, control);
  const int n = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    char text[200] = {};
    SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    if (std::strncmp(text + 2, name.c_str(), name.size()) == 0 && (text[2 + name.size()] == 0 || text[2 + name.size()] == ' ')) {
      SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
      SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(control, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
      return;
    }
  }
  std::string all;
  for (int i = 0; i < n; ++i) {
    char text[200] = {};
    SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    all += std::string("[") + text + "]";
  }
  ADD_FAILURE() << "no entry " << name << " in " << control << ": " << all;
}

void Press(HWND dialog, int id) { SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

class StartBlank : public NewReportSteps {
 public:
  int RunStartDialog(CKmDoc&) override { return 3; }
};

class DataChoiceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!odbc_test::HaveSqliteDriver() || Shell("command -v pdftotext").empty()) return;
    AddSqliteShop(kShopA, "");
    AddSqliteShop(kShopB, " B");
    settings_ = odbc_test::Dir() + "/settings";
    fs::create_directories(settings_);
    std::ofstream(settings_ + "/kmw.ini") << "[Preferences]\nShowSplash=0\n[Defaults]\nDataDir=" << settings_
                                           << "\nLibDir=" << settings_ << "\n";
    fs::copy_file(VT_SOURCE_DIR "/samples/kmwsql.ini", settings_ + "/kmwsql.ini", fs::copy_options::overwrite_existing);
    setenv("VORTELLE_WINDIR", settings_.c_str(), 1);
    app_ = new CKmApp;
    char name[] = "vortelle";
    char* argv[] = {name, nullptr};
    ready_ = app_->InitInstance(1, argv) != FALSE && window_sample::CancelStartDialog();
    // These runs print without asking; the Print dialog has tests of its own.
    SetPrintDialogRunner(nullptr);
  }
  static void TearDownTestSuite() {
    if (app_ == nullptr) return;
    app_->ExitInstance();
    delete app_;
    app_ = nullptr;
  }
  void SetUp() override {
    if (!ready_) GTEST_SKIP() << "the SQLite driver, pdftotext or the program's start-up is missing";
    doc = GetActiveKmDoc();
    ASSERT_NE(doc, nullptr);
    frame = doc->m_pMainFrame->m_hWnd;
    SetNewReportSteps(&steps);
    // Each scenario starts from no report.
    doc->SetModifiedFlag(FALSE);
    doc->ClearReport(TRUE);
  }
  void TearDown() override { SetNewReportSteps(nullptr); }

  // Sends a menu command to the frame and runs the script's dialogs.
  void Command(UINT id) {
    script.Arm();
    SendMessageA(frame, WM_COMMAND, id, 0);
    EXPECT_TRUE(script.Done()) << "still waiting for the dialog " << script.Waiting();
  }

  // The field of the table named table (by its path, an owner aside, or its alias).
  FieldDef* Field(const char* table, const char* name) {
    CKmComposite* m = doc->m_pModel;
    for (int s = 0; s < kMaxTables; ++s) {
      if (m->tableSlots[s] == nullptr) continue;
      std::string path = m->tableSlots[s]->path;
      if (path.find('.') != std::string::npos) path = path.substr(path.find('.') + 1);
      if (strcasecmp(path.c_str(), table) != 0 && strcasecmp(m->tableSlots[s]->alias, table) != 0) continue;
      for (FieldDef* f = m->fieldList; f; f = f->next)
        if (f->table == s && strcasecmp(f->name, name) == 0) return f;
    }
    ADD_FAILURE() << table << "." << name;
    return nullptr;
  }

  // A record line with the fields side by side, as the field palette would place them.
  void PlaceOnRecordLine(const std::vector<FieldDef*>& fields) {
    EXPECT_TRUE(PlaceFieldsOnRecordLine(*doc, fields, 16));
  }

  // Prints the report to PDF: its lines as pdftotext reads them.
  std::vector<std::string> Print(const std::string& name) {
    PrintRunContext& ctx = GetPrintRunContext();
    ctx.printToFile = odbc_test::Dir() + "/" + name + ".pdf";
    std::remove(ctx.printToFile.c_str());
    doc->m_pPageSetup->OutputDestination = 2;
    ctx.lastRunPrinted = false;
    SendMessageA(frame, WM_COMMAND, 30030, 0);
    EXPECT_TRUE(ctx.lastRunPrinted);
    EXPECT_TRUE(fs::exists(ctx.printToFile));
    std::stringstream text(Shell("pdftotext -layout '" + ctx.printToFile + "' - 2>/dev/null"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) {
      std::stringstream words(line);
      std::string word, joined;
      while (words >> word) joined += (joined.empty() ? "" : " ") + word;
      if (!joined.empty()) lines.push_back(joined);
    }
    return lines;
  }

  // Saved under the name, the report closed and its data source disconnected,
  // as when the program ends.
  std::string SaveAndLeave(const std::string& name, const char* dsn) {
    const std::string saved = odbc_test::Dir() + "/" + name;
    EXPECT_TRUE(doc->OnSaveDocument(saved.c_str()));
    doc->SetModifiedFlag(FALSE);
    doc->ForgetCompoundFile();
    doc->ClearReport(TRUE);
    DataAccess* data = GetDataAccess(doc->m_pModel);
    data->SelectDataSource(nullptr);
    data->DisconnectDataSource(dsn);
    return saved;
  }

  // odbc.ini changed by edit (its whole text in, the new text out); the
  // driver manager reads it again as its time (in whole seconds) has changed,
  // so each edit moves it a few seconds on from the last. The driver manager
  // also keeps each value it read for twenty seconds, per search mode: the
  // user and system files are this one file, so each edit looks through
  // another mode and a source renamed just now is not still found.
  static void EditOdbcIni(const std::function<std::string(std::string)>& edit) {
    const std::string ini = odbc_test::Dir() + "/odbc.ini";
    std::ifstream in(ini);
    std::stringstream all;
    all << in.rdbuf();
    static int edits = 0;
    odbc_test::WriteFile("odbc.ini", edit(all.str()));
    fs::last_write_time(ini, fs::last_write_time(ini) + std::chrono::seconds(5 * ++edits));
    static const char* const kModes[] = {"ODBC_BOTH_DSN", "ODBC_USER_DSN", "ODBC_SYSTEM_DSN"};
    setenv("ODBCSEARCH", kModes[edits % 3], 1);
  }

  // File > Print that the checks stop: the one message shown (with the
  // program's caption), and no file made.
  std::string PrintStopped(const std::string& name) {
    PrintRunContext& ctx = GetPrintRunContext();
    ctx.printToFile = odbc_test::Dir() + "/" + name + ".pdf";
    std::remove(ctx.printToFile.c_str());
    doc->m_pPageSetup->OutputDestination = 2;
    ctx.lastRunPrinted = false;
    std::string shown;
    script.Expect(doc->GetAppCaption(), [&shown](HWND e) {
      shown = ui_test::Text(GetDlgItem(e, 200));
      Press(e, IDOK);
    });
    Command(30030);
    EXPECT_FALSE(ctx.lastRunPrinted);
    EXPECT_FALSE(fs::exists(ctx.printToFile));
    return shown;
  }

  // The program run on the report with /G, its messages (standard error) returned.
  static std::string PrintUnattended(const std::string& report, int* status) {
    return program_run::Capture("cd '" + odbc_test::Dir() + "' && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" +
                                    odbc_test::Dir() + "' " + program_run::ProgramLeakOptions() + " timeout 120 '" +
                                    program_run::ProgramPath() + "' /G '" + report + "' 2>&1 >/dev/null",
                                status);
  }

  static std::vector<std::string> AsPrinted(std::vector<std::string> rows) {
    for (std::string& r : rows) {
      std::string out;
      std::stringstream parts(r);
      for (std::string cell; std::getline(parts, cell, '|');)
        if (!cell.empty()) out += (out.empty() ? "" : " ") + cell;
      r = out;
    }
    return rows;
  }

  // With no connection open the data sources ODBC knows are listed; else the
  // open connections, to which the source is added when it is not one of them.
  void ChooseSourceForNewReport(const char* dsn) {
    DataAccess* data = GetDataAccess(doc->m_pModel);
    if (data->GetConnectionCount() == 0) {
      script.Expect("Data Source Connections", [dsn](HWND d) {
        SelectListed(d, 200, dsn);
        Press(d, IDOK);
      });
      return;
    }
    // With one connection open the new report takes it without asking.
    if (data->GetConnectionCount() == 1 && data->IsConnected(dsn)) return;
    if (data->GetConnectionCount() == 1) {
      ASSERT_EQ(data->ConnectDataSource(dsn, false, true, nullptr), 1);
    }
    const bool connected = data->IsConnected(dsn);
    script.Expect("Connected Data Sources", [this, dsn, connected](HWND d) {
      if (!connected) {
        script.Expect("Data Source Connections", [dsn](HWND l) {
          SelectListed(l, 200, dsn);
          Press(l, IDOK);
        });
        Press(d, 201);
      }
      SelectListed(d, 200, dsn);
      Press(d, IDOK);
    });
  }

  // File New on a blank report: the data source and the master table from their lists.
  void NewReportOn(const char* dsn, const std::string& master) {
    ChooseSourceForNewReport(dsn);
    script.Expect("Master  Table", [master](HWND d) {
      // The choice of no master table lies inside the dialog, below the owners where they show.
      HWND noMaster = GetDlgItem(d, 210);
      RECT box, client;
      GetWindowRect(noMaster, &box);
      GetClientRect(d, &client);
      POINT origin{0, 0};
      ClientToScreen(d, &origin);
      EXPECT_TRUE(IsWindowVisible(noMaster));
      EXPECT_LE(box.bottom, origin.y + client.bottom) << "the check box is cut off at the dialog's bottom";
      EXPECT_LE(box.right, origin.x + client.right);
      SelectListed(d, 200, master);
      Press(d, IDOK);
    });
    Command(kCmdFileNew);
    ASSERT_TRUE(doc->m_bReportOpen);
    ASSERT_NE(doc->m_pModel->tableSlots[0], nullptr);
  }

  // Database > Joins: customers by the order's customer, products by its
  // product keeping orders without one.
  void AddTwoJoins(const std::string& customers, const std::string& products) {
    auto join = [this](const std::string& table, const char* from, bool keepUnmatched) {
      script.Expect("New Join", [this, table, from, keepUnmatched](HWND d) {
        script.Expect("Related Table", [table](HWND l) {
          SelectListed(l, 200, table);
          Press(l, IDOK);
        });
        Press(d, 203);
        SelectCombo(d, 201, from);
        SelectCombo(d, 205, "id");
        if (keepUnmatched) {
          Press(d, 214);
          EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, 210)));
          CheckDlgButton(d, 211, BST_UNCHECKED);
          CheckDlgButton(d, 210, BST_CHECKED);
          Press(d, 210);
        }
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, IDOK)));
        Press(d, IDOK);
      });
    };
    join(customers, "customer", false);
    script.Expect("Joins", [this, &join, products](HWND d) {
      EXPECT_EQ(SendDlgItemMessageA(d, 200, LB_GETCOUNT, 0, 0), 1);
      join(products, "product", true);
      script.Expect("Joins", [](HWND j) {
        EXPECT_EQ(SendDlgItemMessageA(j, 200, LB_GETCOUNT, 0, 0), 2);
        Press(j, IDCANCEL);
      });
      Press(d, 202);
    });
    Command(30610);
  }

  void JoinScenario(const char* dsn, const std::string& orders, const std::string& customers,
                    const std::string& products) {
    NewReportOn(dsn, orders);
    AddTwoJoins(customers, products);
    CKmComposite* m = doc->m_pModel;
    int tables = 0;
    for (int s = 0; s < kMaxTables; ++s) tables += m->tableSlots[s] != nullptr;
    ASSERT_EQ(tables, 3);
    PlaceOnRecordLine({Field("orders", "id"), Field("customers", "name"), Field("products", "title")});
    const std::vector<std::string> expected = AsPrinted(SqlRows(dsn, kJoinSql));
    ASSERT_EQ(expected.size(), 3u);
    EXPECT_EQ(Print(std::string(dsn) + "_joins"), expected);

    // Saved, read back and printed again: the joins and their data source come back.
    const std::string saved = odbc_test::Dir() + "/" + dsn + "_joins.kmw";
    ASSERT_TRUE(doc->OnSaveDocument(saved.c_str()));
    doc->SetModifiedFlag(FALSE);
    doc->ForgetCompoundFile();
    ASSERT_TRUE(doc->ReadReport(saved.c_str()));
    tables = 0;
    for (int s = 0; s < kMaxTables; ++s) tables += doc->m_pModel->tableSlots[s] != nullptr;
    EXPECT_EQ(tables, 3);
    EXPECT_EQ(doc->m_pRepIO->m_stream.settings.sources[0].sourceName, dsn);
    EXPECT_EQ(Print(std::string(dsn) + "_joins_read_back"), expected);
  }

  // File > New User SQL with the statement typed into the SQL Select
  // dialog: the message it is refused with (next is then given, to go on),
  // or "" when it is taken.
  std::string GiveStatement(const char* dsn, const std::string& statement, bool refused,
                            const std::string& next = "select count(*) as n from orders") {
    doc->SetModifiedFlag(FALSE);
    doc->ClearReport(TRUE);
    std::string shown;
    ChooseSourceForNewReport(dsn);
    script.Expect("SQL Select", [this, &shown, statement, refused, next](HWND d) {
      SetDlgItemTextA(d, 203, statement.c_str());
      if (refused) {
        script.Expect(doc->GetAppCaption(), [&shown](HWND e) {
          shown = ui_test::Text(GetDlgItem(e, 200));
          Press(e, IDOK);
        });
        script.Expect("SQL Select", [next](HWND again) {
          SetDlgItemTextA(again, 203, next.c_str());
          Press(again, IDOK);
        });
      }
      Press(d, IDOK);
    });
    Command(kCmdFileNewUserSql);
    return shown;
  }

  static CKmApp* app_;
  static bool ready_;
  static std::string settings_;
  CKmDoc* doc = nullptr;
  HWND frame = nullptr;
  StartBlank steps;
  DialogScript script;
};

CKmApp* DataChoiceTest::app_ = nullptr;
bool DataChoiceTest::ready_ = false;
std::string DataChoiceTest::settings_;

TEST_F(DataChoiceTest, SqliteMasterAndTwoJoinsPrintTheRowsOfTheSameJoinInSql) {
  JoinScenario(kShopA, "orders", "customers", "products");

  // Another data source with the same tables: chosen in Data Source
  // Connections, the master re-picked from its list; the report reads it.
  script.Expect("Connected Data Sources", [this](HWND d) {
    script.Expect("Data Source Connections", [](HWND l) {
      SelectListed(l, 200, kShopB);
      Press(l, IDOK);
    });
    Press(d, 201);
    SelectListed(d, 200, kShopB);
    Press(d, IDOK);
  });
  Command(kCmdDataSources);
  EXPECT_STREQ(GetDataAccess(doc->m_pModel)->GetCurrentDataSourceName(), kShopB);
  script.Expect("Master Table", [](HWND d) {
    Press(d, 210);
    Press(d, IDOK);
  });
  script.Expect("Master  Table", [](HWND l) {
    SelectListed(l, 200, "orders");
    Press(l, IDOK);
  });
  Command(30600);
  EXPECT_EQ(doc->m_pRepIO->m_stream.settings.sources[0].sourceName, kShopB);
  const std::vector<std::string> expected = AsPrinted(SqlRows(kShopB, kJoinSql));
  EXPECT_NE(expected[0].find("Alder B"), std::string::npos);
  EXPECT_EQ(Print("shop_b"), expected);
  EXPECT_NE(std::string(doc->GetWindowText()).find(kShopB), std::string::npos) << doc->GetWindowText();
}

TEST_F(DataChoiceTest, UserSelectIsCheckedStoredAndChanged) {
  // A refused statement shows the driver's message and is not kept.
  std::string shown;
  ChooseSourceForNewReport(kShopA);
  script.Expect("SQL Select", [this, &shown](HWND d) {
    SetDlgItemTextA(d, 203, "select nosuch from orders");
    script.Expect(doc->GetAppCaption(), [&shown](HWND e) {
      char text[600] = {};
      GetDlgItemTextA(e, 200, text, sizeof text);
      shown = text;
      Press(e, IDOK);
    });
    script.Expect("SQL Select", [](HWND again) {
      SetDlgItemTextA(again, 203, "select id, qty from orders where qty > 1 order by id");
      Press(again, IDOK);
    });
    Press(d, IDOK);
  });
  Command(kCmdFileNewUserSql);
  EXPECT_NE(shown.find("nosuch"), std::string::npos) << shown;
  ASSERT_TRUE(doc->m_bReportOpen);
  ASSERT_NE(doc->m_pModel->statementText, nullptr);
  EXPECT_STREQ(doc->m_pModel->statementText, "select id, qty from orders where qty > 1 order by id");
  PlaceOnRecordLine({Field("RESULT", "id"), Field("RESULT", "qty")});
  EXPECT_EQ(Print("select_1"), AsPrinted(SqlRows(kShopA, "select id, qty from orders where qty > 1 order by id")));

  // Database > SQL select changes the statement; the fields stay by name.
  char item[64] = {};
  doc->UpdateDatabaseMenu();
  GetMenuStringA(GetMenu(frame), 30600, item, sizeof item, MF_BYCOMMAND);
  EXPECT_STREQ(item, "S&QL select...");
  script.Expect("SQL Select", [](HWND d) {
    char text[200] = {};
    GetDlgItemTextA(d, 203, text, sizeof text);
    EXPECT_STREQ(text, "select id, qty from orders where qty > 1 order by id");
    SetDlgItemTextA(d, 203, "select id, qty from orders where qty < 3 order by id");
    Press(d, IDOK);
  });
  Command(30600);
  EXPECT_EQ(Print("select_2"), AsPrinted(SqlRows(kShopA, "select id, qty from orders where qty < 3 order by id")));
  EXPECT_EQ(doc->m_pRepIO->m_stream.settings.sqlStatement, "select id, qty from orders where qty < 3 order by id");

  // Saved, cleared and read back as the command line reads: the report
  // runs its own statement again, not the bare result table.
  const std::string saved = odbc_test::Dir() + "/user_select.kmw";
  ASSERT_TRUE(doc->OnSaveDocument(saved.c_str()));
  doc->SetModifiedFlag(FALSE);
  doc->ForgetCompoundFile();
  doc->ClearReport(TRUE);
  EXPECT_EQ(doc->m_pModel->statementText, nullptr);
  doc->m_pRepIO->m_stream.connect = true;
  ASSERT_TRUE(doc->ReadReport(saved.c_str()));
  ASSERT_TRUE(doc->m_bReportOpen);
  ASSERT_NE(doc->m_pModel->statementText, nullptr);
  EXPECT_STREQ(doc->m_pModel->statementText, "select id, qty from orders where qty < 3 order by id");
  EXPECT_EQ(Print("select_3"), AsPrinted(SqlRows(kShopA, "select id, qty from orders where qty < 3 order by id")));
  GetMenuStringA(GetMenu(frame), 30600, item, sizeof item, MF_BYCOMMAND);
  EXPECT_STREQ(item, "S&QL select...");
}

// A user statement whose result holds a column the program cannot take (a
// BLOB) is refused with the data layer's own message, not in silence; the
// statement given next is taken and prints.
TEST_F(DataChoiceTest, AUserSelectOfABlobColumnSaysWhyItIsRefused) {
  const std::string db = odbc_test::Dir() + "/" + kShopA + ".db";
  std::system(("sqlite3 '" + db + "' \"create table if not exists pictures (id integer, photo blob);" +
               " delete from pictures; insert into pictures values (1, x'00ff');\"")
                  .c_str());
  const std::string shown =
      GiveStatement(kShopA, "select id, photo from pictures", true, "select id, qty from orders order by id");
  EXPECT_EQ(shown, "Select statement would return unsupported data type");
  ASSERT_TRUE(doc->m_bReportOpen);
  ASSERT_NE(doc->m_pModel->statementText, nullptr);
  EXPECT_STREQ(doc->m_pModel->statementText, "select id, qty from orders order by id");
  PlaceOnRecordLine({Field("RESULT", "id"), Field("RESULT", "qty")});
  EXPECT_EQ(Print("blob_refused"), AsPrinted(SqlRows(kShopA, "select id, qty from orders order by id")));
}

// A calculation that asks the server for a column (SQLEXP) has no SELECT of
// the program's to go into when the report runs the user's own statement:
// Calculations > Calculated Field refuses it with the compiler's message and
// keeps no such field, while an ordinary calculation is taken.
TEST_F(DataChoiceTest, SqlExpIsRefusedInAUserSelectReport) {
  ChooseSourceForNewReport(kShopA);
  script.Expect("SQL Select", [](HWND d) {
    SetDlgItemTextA(d, 203, "select id, qty from orders order by id");
    Press(d, IDOK);
  });
  Command(kCmdFileNewUserSql);
  ASSERT_TRUE(doc->m_bReportOpen);
  ASSERT_NE(doc->m_pModel->statementText, nullptr);

  std::string boxed, line;
  script.Expect("Calculated Fields", [&](HWND list) {
    script.Expect("Calculated Field", [&](HWND editor) {
      SetDlgItemTextA(editor, 200, "TWICEQ");
      SetDlgItemTextA(editor, 201, "SQLEXP(\"qty * 2\")");
      script.Expect(doc->GetAppCaption(), [&](HWND box) {
        boxed = ui_test::Text(GetDlgItem(box, 200));
        Press(box, IDOK);
      });
      Press(editor, 202);  // Verify
      line = ui_test::Text(GetDlgItem(editor, 207));
      // The same text as an ordinary calculation is taken.
      SetDlgItemTextA(editor, 201, "qty * 2");
      Press(editor, IDOK);
    });
    Press(list, 301);  // New
    Press(list, IDCANCEL);
  });
  Command(30700);
  EXPECT_EQ(boxed, "The SQLEXP() function is not supported in user-SQL reports.");
  EXPECT_NE(line.find("not supported in user-SQL reports"), std::string::npos) << line;
  FieldDef* twice = nullptr;
  for (FieldDef* f = doc->m_pModel->fieldList; f; f = f->next)
    if (strcasecmp(f->name, "TWICEQ") == 0) twice = f;
  ASSERT_NE(twice, nullptr);
  EXPECT_STREQ(twice->exprText, "qty * 2");
  PlaceOnRecordLine({Field("RESULT", "id"), twice});
  // Each printed row holds the order and twice its quantity, as SQL gives them.
  const std::vector<std::string> printed = Print("sqlexp_refused");
  const std::vector<std::string> rows = SqlRows(kShopA, "select id, qty * 2 from orders order by id");
  ASSERT_EQ(printed.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    std::stringstream got(printed[i]);
    double id = 0, twiceQty = 0;
    got >> id >> twiceQty;
    EXPECT_EQ(std::to_string(static_cast<long>(id)) + "|" + std::to_string(static_cast<long>(twiceQty)), rows[i]);
  }
}

// What the SQL Select dialog sends, on SQLite and on the PostgreSQL server:
// a statement that would change data, load code or reach outside the query
// is refused with its reason when OK is pressed, and nothing it would have
// done is done (rows, large objects, a library's marker file); the forms a
// report's statement takes (a REPORTVIEW definition, VALUES, TABLE, a
// procedure call, one that fills a temporary table of its own) are taken
// and print the rows SQL gives.
TEST_F(DataChoiceTest, TheSqlSelectDialogSendsOnlyWhatReads) {
  const std::string marker = odbc_test::Dir() + "/dialog.mark", library = odbc_test::Dir() + "/dialog.so";
  program_run::MakeMarkingLibrary(library, marker);
  const std::string file = odbc_test::Dir() + "/dialog_export.txt";
  struct Refused {
    const char* dsn;
    std::string statement, says;
  };
  std::vector<Refused> refused = {
      {kShopA, "select \"load_extension\"('" + library + "')", "load_extension"},
      {kShopA, "select [load_extension]('" + library + "')", "load_extension"},
      {kShopA, "select blob_export(x'41', '" + file + "')", "blob_export"},
      {kShopA, "delete from orders", "only reads data"},
  };
  std::string why;
  const bool pg = odbc_test::StartPostgres(&why);
  if (pg) {
    MakePostgresShop();
    bool ok = false;
    odbc_test::RunPostgresSql(
        "select lo_unlink(oid) from pg_largeobject_metadata where oid = 4242; select lo_from_bytea(4242, 'kept');"
        "create or replace function vt_order_rows() returns table (id integer, qty integer) language plpgsql as $$\n"
        "#variable_conflict use_column\nbegin\n"
        "  create temp table vt_work (id integer, qty integer) on commit drop;\n"
        "  insert into vt_work select o.id, o.qty from orders o;\n"
        "  return query select w.id, w.qty from vt_work w order by w.id;\nend $$;",
        &ok);
    ASSERT_TRUE(ok);
    refused.insert(refused.end(),
                   {{odbc_test::kPgDsn,
                     "select 1 as a --\r; commit; start transaction read write; delete from orders; commit; select 1",
                     "second statement"},
                    {odbc_test::kPgDsn, "select lo_unlink(4242)", "lo_unlink"},
                    {odbc_test::kPgDsn, "select set_config('default_transaction_read_only', 'off', false)",
                     "set_config"},
                    {odbc_test::kPgDsn, "{call lo_unlink(4242)}", "lo_unlink"}});
  }
  for (const Refused& r : refused) {
    SCOPED_TRACE(r.statement);
    const std::string shown = GiveStatement(r.dsn, r.statement, true);
    EXPECT_NE(shown.find("only reads data"), std::string::npos) << shown;
    EXPECT_NE(shown.find(r.says), std::string::npos) << shown;
    EXPECT_EQ(SqlRows(r.dsn, "select count(*) from orders"), std::vector<std::string>{"4"});
  }
  EXPECT_FALSE(fs::exists(marker)) << "the statement's library was loaded";
  EXPECT_FALSE(fs::exists(file)) << "the statement wrote a file";
  if (pg) {
    EXPECT_EQ(odbc_test::RunPostgresSql("select convert_from(lo_get(4242), 'UTF8');"), "kept\n");
  }

  struct Taken {
    const char* dsn;
    std::string statement, table;
    std::vector<std::string> columns;
    std::string same;  // the SQL whose rows the report prints
  };
  std::vector<Taken> taken = {
      {kShopA, "define reportview Sales (ident, amount) as select id, qty from orders order by id", "Sales",
       {"ident", "amount"}, "select id, qty from orders order by id"},
      {kShopA, "select id, qty from orders where 'a\\b into' <> '' order by id", "RESULT", {"id", "qty"},
       "select id, qty from orders order by id"},
      // "union" in a literal and a comment is no keyword.
      {kShopA, "select id, qty from orders where 'union x' <> '' /* union */ order by id", "RESULT", {"id", "qty"},
       "select id, qty from orders order by id"},
  };
  // Every clause that may follow WHERE, and the text's end in a ";" or a
  // "--" comment, on each server.
  for (const char* dsn : {kShopA, pg ? odbc_test::kPgDsn : nullptr}) {
    if (dsn == nullptr) continue;
    taken.insert(taken.end(),
                 {{dsn, "select id, qty from orders limit 2", "RESULT", {"id", "qty"}, "select id, qty from orders limit 2"},
                  {dsn, "select id, qty from orders where qty > 1 order by id limit 2 offset 1;", "RESULT", {"id", "qty"},
                   "select id, qty from orders where qty > 1 order by id limit 2 offset 1"},
                  {dsn, "select id, qty from orders where qty > 1 window w as (order by qty) order by id -- by id",
                   "RESULT", {"id", "qty"}, "select id, qty from orders where qty > 1 order by id"}});
  }
  if (pg) {
    taken.insert(taken.end(),
                 {{odbc_test::kPgDsn, "select id, qty from orders order by id offset 1 rows fetch first 2 rows only",
                   "RESULT", {"id", "qty"}, "select id, qty from orders order by id offset 1 limit 2"},
                  {odbc_test::kPgDsn,
                   "with update as (select id, qty as update from orders), replace as (select * from update) "
                   "select id, substring('abcdefgh' for update) as qty from replace order by id",
                   "RESULT", {"id", "qty"}, "select id, substring('abcdefgh' for qty) from orders order by id"}});
    taken.insert(taken.end(), {{odbc_test::kPgDsn, "values (1, 'a into'), (2, 'b')", "RESULT",
                                {"column1", "column2"}, "select 1, 'a into' union all select 2, 'b'"},
                               {odbc_test::kPgDsn, "table customers", "RESULT", {"id", "name"},
                                "select id, name from customers"},
                               {odbc_test::kPgDsn, "{call vt_order_rows()}", "RESULT", {"id", "qty"},
                                "select id, qty from orders order by id"}});
  }
  for (const Taken& t : taken) {
    SCOPED_TRACE(t.statement);
    EXPECT_EQ(GiveStatement(t.dsn, t.statement, false), "");
    ASSERT_TRUE(doc->m_bReportOpen);
    std::vector<FieldDef*> fields;
    for (const std::string& c : t.columns) fields.push_back(Field(t.table.c_str(), c.c_str()));
    PlaceOnRecordLine(fields);
    EXPECT_EQ(Print("dialog_form"), AsPrinted(SqlRows(t.dsn, t.same)));
  }
}

// A data source whose settings join across directories lists its tables
// in the directory form of the list: its own, and those of a database file
// next to its own through a passing connection that is closed again.
TEST_F(DataChoiceTest, ScreensDirectorySourceListsASiblingDatabaseFile) {
  const std::string other = odbc_test::Dir() + "/vt_sibling.db";
  ASSERT_EQ(std::system(("rm -f '" + other + "' && sqlite3 '" + other +
                         "' 'create table only_here (x integer); insert into only_here values (7)'").c_str()), 0);
  NewReportOn(kShopA, "orders");
  const std::string ini = settings_ + "/kmwsql.ini";
  std::string before;
  {
    std::ifstream in(ini);
    std::stringstream all;
    all << in.rdbuf();
    before = all.str();
  }
  std::string joined = before;
  joined.insert(joined.find("[SQLite]\n") + 9, "JoinAcrossDir=1\n");
  std::ofstream(ini) << joined;
  DataAccess* data = GetDataAccess(doc->m_pModel);
  ASSERT_EQ(data->JoinAcrossDir(), 1);

  std::vector<std::string> ownTables, otherTables, files;
  std::string ownLabel, otherLabel, directoryCaption;
  auto items = [](HWND list) {
    std::vector<std::string> out;
    const int n = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
      char text[300] = {};
      SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
      out.push_back(text);
    }
    return out;
  };
  script.Expect("Master Table", [&](HWND d) {
    script.Expect("Master  Table", [&](HWND l) {
      ownTables = items(GetDlgItem(l, 200));
      ownLabel = ui_test::Text(GetDlgItem(l, 214)) + " " + ui_test::Text(GetDlgItem(l, 215));
      SaveWindowPicture(l, ScreenPath("directory_table_list").c_str());
      script.Expect("Master Table Directory", [&](HWND f) {
        directoryCaption = "Master Table Directory";
        files = items(GetDlgItem(f, 201));
        SaveWindowPicture(f, ScreenPath("directory_choice").c_str());
        SelectListed(f, 201, "vt_sibling.db");
        Press(f, IDOK);
      });
      Press(l, 212);
      otherTables = items(GetDlgItem(l, 200));
      otherLabel = ui_test::Text(GetDlgItem(l, 214)) + " " + ui_test::Text(GetDlgItem(l, 215));
      Press(l, IDCANCEL);
    });
    Press(d, 210);
    Press(d, IDCANCEL);
  });
  Command(30600);
  std::ofstream(ini) << before;
  EXPECT_NE(std::find(ownTables.begin(), ownTables.end(), "orders"), ownTables.end());
  EXPECT_EQ(ownLabel, std::string("Data Source: ") + kShopA);
  EXPECT_EQ(directoryCaption, "Master Table Directory");
  EXPECT_NE(std::find(files.begin(), files.end(), "vt_sibling.db"), files.end());
  EXPECT_NE(std::find(files.begin(), files.end(), std::string(kShopA) + ".db"), files.end());
  // Only database files of the source's kind are offered.
  EXPECT_EQ(std::find(files.begin(), files.end(), "odbc.ini"), files.end());
  EXPECT_EQ(otherTables, std::vector<std::string>{"only_here"});
  EXPECT_EQ(otherLabel.rfind("Directory: ", 0), 0u) << otherLabel;
  // The report's own source is current again and no passing connection stays.
  EXPECT_STREQ(data->GetCurrentDataSourceName(), kShopA);
  EXPECT_FALSE(data->IsConnected("KM SET JOIN"));
  EXPECT_FALSE(data->IsConnected("KM EDIT JOIN"));
  EXPECT_EQ(std::string(doc->m_pModel->tableSlots[0]->path), "orders");
}

TEST_F(DataChoiceTest, PostgresMasterAndTwoJoinsPrintTheRowsOfTheSameJoinInSql) {
  std::string why;
  if (!odbc_test::StartPostgres(&why)) GTEST_SKIP() << why;
  MakePostgresShop();
  JoinScenario(odbc_test::kPgDsn, "orders", "customers", "products");
  EXPECT_EQ(doc->m_pModel->tableSlots[0]->path, std::string("public.orders"));
}

// A report on a statement keeps the database it was made on: made while the
// connection was on another database than the data source's default, it
// reopens and prints from its own, and a run after the connection went back
// to the default still takes the report's.
TEST_F(DataChoiceTest, PostgresReportRunsOnTheDatabaseItWasMadeOn) {
  std::string why;
  if (!odbc_test::StartPostgres(&why)) GTEST_SKIP() << why;
  bool ok = false;
  const std::string out = odbc_test::RunPostgresSql(
      "drop database if exists vt_east;\ndrop database if exists vt_west;\ncreate database vt_east;\n"
      "create database vt_west;\n\\c vt_east\ncreate table towns (name varchar(20));\n"
      "insert into towns values ('Bergen'), ('Tromso');\n\\c vt_west\ncreate table towns (name varchar(20));\n"
      "insert into towns values ('Cork');\n",
      &ok);
  ASSERT_TRUE(ok) << out;
  EditOdbcIni([](std::string text) {
    return text + "[vt_pg_towns]\nDriver=PostgreSQL ANSI\nServername=127.0.0.1\nPort=" +
           std::to_string(odbc_test::PostgresPort()) + "\nDatabase=vt_west\nUsername=postgres\n\n";
  });
  DataAccess* data = GetDataAccess(doc->m_pModel);
  char database[261] = {};
  auto current = [&] {
    EXPECT_TRUE(data->GetDatabaseName(database, sizeof database));
    return std::string(database);
  };
  ASSERT_EQ(data->ConnectDataSource("vt_pg_towns", false, true, nullptr), 1);
  data->SelectDataSource("vt_pg_towns");
  ASSERT_EQ(current(), "vt_west");
  // The connection goes over to the server's other database.
  ASSERT_TRUE(data->SwitchDatabase("vt_east"));
  ASSERT_EQ(current(), "vt_east");
  ChooseSourceForNewReport("vt_pg_towns");
  script.Expect("SQL Select", [](HWND d) {
    SetDlgItemTextA(d, 203, "select name from towns order by name");
    Press(d, IDOK);
  });
  Command(kCmdFileNewUserSql);
  ASSERT_TRUE(doc->m_bReportOpen);
  PlaceOnRecordLine({Field("RESULT", "name")});
  const std::vector<std::string> east = {"Bergen", "Tromso"};
  EXPECT_EQ(Print("towns_east"), east);
  const std::string saved = SaveAndLeave("towns.kmw", "vt_pg_towns");

  // Read as the command line reads: connected afresh the source opens on
  // vt_west, and the report goes over to vt_east.
  doc->m_pRepIO->m_stream.connect = true;
  ASSERT_TRUE(doc->ReadReport(saved.c_str()));
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_EQ(current(), "vt_east");
  EXPECT_EQ(Print("towns_reopened"), east);

  // Connected again on the source's default, the run still takes the report's own.
  data->DisconnectDataSource("vt_pg_towns");
  ASSERT_EQ(data->ConnectDataSource("vt_pg_towns", false, true, nullptr), 1);
  data->SelectDataSource("vt_pg_towns");
  ASSERT_EQ(current(), "vt_west");
  EXPECT_EQ(Print("towns_rerun"), east);
  data->SelectDataSource(nullptr);
  data->DisconnectDataSource("vt_pg_towns");
}

// The data source a report names was renamed: opening it says so, asks
// "Try another Data Source?", and the source chosen then serves the report,
// which prints and is saved naming it.
TEST_F(DataChoiceTest, ARenamedDataSourceIsReplacedOnOpen) {
  AddSqliteShop("vt_shop_d", "");
  NewReportOn("vt_shop_d", "orders");
  PlaceOnRecordLine({Field("orders", "id"), Field("orders", "qty")});
  const std::vector<std::string> expected = AsPrinted(SqlRows("vt_shop_d", "select id, qty from orders order by id"));
  ASSERT_EQ(expected.size(), 4u);
  const std::string saved = SaveAndLeave("renamed.kmw", "vt_shop_d");
  DataAccess* data = GetDataAccess(doc->m_pModel);
  EditOdbcIni([](std::string text) { return text.replace(text.find("[vt_shop_d]"), 11, "[vt_shop_e]"); });

  // The driver's word on the missing source, then the question; the source
  // is chosen from the lists as for a new report.
  std::vector<std::string> said;
  std::function<void(HWND)> answer = [&](HWND d) {
    const std::string text = ui_test::Text(GetDlgItem(d, 200));
    said.push_back(text);
    if (text.find("Try another Data Source?") != std::string::npos) {
      ChooseSourceForNewReport("vt_shop_e");
      Press(d, IDYES);
      return;
    }
    script.Expect(doc->GetAppCaption(), answer);
    Press(d, IDOK);
  };
  script.Expect(doc->GetAppCaption(), answer);
  script.Arm();
  doc->m_pRepIO->m_stream.connect = true;
  ASSERT_TRUE(doc->ReadReport(saved.c_str()));
  EXPECT_TRUE(script.Done()) << script.Waiting();
  ASSERT_FALSE(said.empty());
  EXPECT_EQ(said.back(), "Cannot access master table 'orders'. Try another Data Source?");
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_STREQ(data->GetCurrentDataSourceName(), "vt_shop_e");
  EXPECT_EQ(doc->m_pRepIO->m_stream.settings.sources[0].sourceName, "vt_shop_e");
  EXPECT_EQ(Print("renamed_source"), expected);
}

TEST_F(DataChoiceTest, AVanishedServerLeavesTheReportAsItWas) {
  std::string why;
  NewReportOn(kShopA, "customers");
  const std::string before = doc->m_pModel->tableSlots[0]->path;
  // The broken source's server is gone: its message shows and nothing changes.
  std::string shown;
  script.Expect("Connected Data Sources", [this, &shown](HWND d) {
    script.Expect("Data Source Connections", [this, &shown](HWND l) {
      script.Expect(doc->GetAppCaption(), [&shown](HWND e) {
        char text[600] = {};
        GetDlgItemTextA(e, 200, text, sizeof text);
        shown = text;
        Press(e, IDOK);
      });
      SelectListed(l, 200, odbc_test::kBrokenDsn);
      Press(l, IDOK);
    });
    Press(d, 201);
    Press(d, IDCANCEL);
  });
  Command(kCmdDataSources);
  EXPECT_NE(shown.find("DB access"), std::string::npos) << shown;
  EXPECT_EQ(doc->m_pModel->tableSlots[0]->path, before);
  EXPECT_FALSE(GetDataAccess(doc->m_pModel)->IsConnected(odbc_test::kBrokenDsn));
}

TEST_F(DataChoiceTest, AMovedTableIsChosenAgainAndAGoneFieldNamesItsJoin) {
  AddSqliteShop("vt_shop_c", "");
  NewReportOn("vt_shop_c", "orders");
  AddTwoJoins("customers", "products");
  const std::string saved = odbc_test::Dir() + "/moved.kmw";
  ASSERT_TRUE(doc->OnSaveDocument(saved.c_str()));
  doc->SetModifiedFlag(FALSE);
  doc->ForgetCompoundFile();
  doc->ClearReport(TRUE);
  GetDataAccess(doc->m_pModel)->SelectDataSource(nullptr);
  GetDataAccess(doc->m_pModel)->DisconnectDataSource("vt_shop_c");
  const std::string db = odbc_test::Dir() + "/vt_shop_c.db";
  ASSERT_EQ(std::system(("sqlite3 '" + db + "' 'alter table customers rename to clients; "
                         "alter table products rename column id to pid;'").c_str()), 0);

  // The customers table is asked for again and chosen from the list; the
  // products join lost its field: the report opens and the message names it.
  std::string question, warning;
  script.Expect(doc->GetAppCaption(), [this, &question](HWND d) {
    question = ui_test::Text(GetDlgItem(d, 200));
    script.Expect("Related Table", [](HWND l) {
      SelectListed(l, 200, "clients");
      Press(l, IDOK);
    });
    Press(d, IDYES);
  });
  // The reader's own word on the missing field, the message that says which
  // join to edit, and last that a join must be edited.
  std::function<void(HWND)> note = [&](HWND d) {
    const std::string text = ui_test::Text(GetDlgItem(d, 200));
    warning += text + "\n";
    if (text != "Join must be edited") script.Expect(doc->GetAppCaption(), note);
    Press(d, IDOK);
  };
  script.Expect(doc->GetAppCaption(), note);
  script.Arm();
  // Read as the command line reads: the report's own data source is connected.
  doc->m_pRepIO->m_stream.connect = true;
  ASSERT_TRUE(doc->ReadReport(saved.c_str()));
  EXPECT_TRUE(script.Done()) << script.Waiting();
  EXPECT_EQ(question, "Cannot find related table 'customers'.  Re-select table?");
  EXPECT_NE(warning.find("The join of table 'products' uses a field that is no longer in its table"), std::string::npos)
      << warning;
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_NE(Field("clients", "name"), nullptr);
  FieldDef* gone = Field("products", "?_id");
  ASSERT_NE(gone, nullptr);
  EXPECT_TRUE(gone->flags2 & kField2NotInTable);

  // Editing that join says the field has to be chosen again.
  std::string said;
  script.Expect("Joins", [this, &said](HWND d) {
    ASSERT_EQ(SendDlgItemMessageA(d, 200, LB_GETCOUNT, 0, 0), 2);
    SendDlgItemMessageA(d, 200, LB_SETCURSEL, 1, 0);
    script.Expect("Edit Join", [this, &said](HWND j) {
      script.Expect(doc->GetAppCaption(), [&said](HWND e) {
        said = ui_test::Text(GetDlgItem(e, 200));
        Press(e, IDOK);
      });
      Press(j, IDOK);
      Press(j, IDCANCEL);
    });
    Press(d, 203);
    Press(d, IDCANCEL);
  });
  Command(30610);
  EXPECT_EQ(said, "To-field is no longer in table");

  // Printing stops before the run starts, naming the field and its table;
  // the report stays open as it was, for the join to be mended.
  const std::string stopMessage = "Numeric join field 'id' is no longer in table 'products'\nJoin must be edited";
  EXPECT_EQ(PrintStopped("moved"), stopMessage);
  EXPECT_TRUE(doc->m_bReportOpen);
  EXPECT_EQ(Field("products", "?_id"), gone);

  // Saved as it stands and printed from the command line: the same message
  // on standard error, a failed run and no output file.
  const std::string again = odbc_test::Dir() + "/moved_again.kmw";
  ASSERT_TRUE(doc->OnSaveDocument(again.c_str()));
  doc->SetModifiedFlag(FALSE);
  int status = 0;
  const std::string err = PrintUnattended(again, &status);
  EXPECT_NE(status, 0) << err;
  EXPECT_NE(err.find("Numeric join field 'id' is no longer in table 'products'"), std::string::npos) << err;
  EXPECT_NE(err.find("Join must be edited"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(odbc_test::Dir() + "/moved_again.pdf"));
}

TEST_F(DataChoiceTest, ScreensDataDialogs) {
  NewReportOn(kShopA, "orders");
  auto shoot = [](const char* name) {
    return [name](HWND d) {
      SaveWindowPicture(d, ScreenPath(name).c_str());
      Press(d, IDCANCEL);
    };
  };
  script.Expect("Connected Data Sources", [this, shoot](HWND d) {
    script.Expect("Data Source Connections", shoot("data_source_connections"));
    Press(d, 201);
    SaveWindowPicture(d, ScreenPath("connected_data_sources").c_str());
    Press(d, IDCANCEL);
  });
  Command(kCmdDataSources);
  script.Expect("Master Table", [this, shoot](HWND d) {
    script.Expect("Master  Table", shoot("master_table_list"));
    Press(d, 210);
    SaveWindowPicture(d, ScreenPath("master_table").c_str());
    Press(d, IDCANCEL);
  });
  Command(30600);
  script.Expect("New Join", [this, shoot](HWND d) {
    SelectCombo(d, 201, "customer");
    script.Expect("Related Table", [](HWND l) {
      SelectListed(l, 200, "customers");
      Press(l, IDOK);
    });
    Press(d, 203);
    SelectCombo(d, 205, "id");
    Press(d, 214);
    SaveWindowPicture(d, ScreenPath("join").c_str());
    Press(d, IDOK);
  });
  script.Expect("Joins", [](HWND d) {
    SaveWindowPicture(d, ScreenPath("joins").c_str());
    Press(d, IDCANCEL);
  });
  Command(30610);

  // The logon a driver asks for, as the data layer asks for it.
  DataAccess* data = GetDataAccess(doc->m_pModel);
  script.Expect("Data Source Logon", [](HWND d) {
    SetDlgItemTextA(d, 201, "secret");
    SaveWindowPicture(d, ScreenPath("data_source_logon").c_str());
    Press(d, IDOK);
  });
  script.Arm();
  std::string user = "reporter", password;
  ASSERT_NE(data->logonPrompt, nullptr);
  EXPECT_TRUE(data->logonPrompt(data->logonContext, kShopA, &user, &password));
  EXPECT_EQ(password, "secret");

  // The SQL Select dialog in statement mode.
  doc->SetModifiedFlag(FALSE);
  doc->ClearReport(TRUE);
  ChooseSourceForNewReport(kShopA);
  script.Expect("SQL Select", [](HWND d) {
    SetDlgItemTextA(d, 203, "select id, qty\r\nfrom orders\r\nwhere qty > 1");
    SaveWindowPicture(d, ScreenPath("sql_select").c_str());
    Press(d, IDOK);
  });
  Command(kCmdFileNewUserSql);

  // A data source without tables.
  AddSqliteShop("vt_empty", nullptr);
  doc->SetModifiedFlag(FALSE);
  doc->ClearReport(TRUE);
  ChooseSourceForNewReport("vt_empty");
  script.Expect(doc->GetAppCaption(), [](HWND d) {
    SaveWindowPicture(d, ScreenPath("no_tables").c_str());
    Press(d, IDCANCEL);
  });
  Command(kCmdFileNew);
  EXPECT_FALSE(doc->m_bReportOpen);
}

// The SQLite platform section of the tests' settings with JoinAcrossDir on
// while it lives: the table lists then reach other database files.
class JoinAcrossDirOn {
 public:
  explicit JoinAcrossDirOn(const std::string& ini, const std::string& section = "[SQLite]\n") : ini_(ini) {
    std::ifstream in(ini);
    std::stringstream all;
    all << in.rdbuf();
    before_ = all.str();
    std::string joined = before_;
    joined.insert(joined.find(section) + section.size(), "JoinAcrossDir=1\n");
    std::ofstream(ini) << joined;
  }
  ~JoinAcrossDirOn() { std::ofstream(ini_) << before_; }

 private:
  std::string ini_, before_;
};

// A lookup table in another database file beside the report's own: listed
// through the folder choice, joined, read through the file attached to the
// report's connection, printed; saved and read back it prints the same.
TEST_F(DataChoiceTest, ATableOfAnotherDatabaseFileJoinsAndPrints) {
  const std::string other = odbc_test::Dir() + "/vt_ratings.db";
  ASSERT_EQ(std::system(("rm -f '" + other + "' && sqlite3 '" + other +
                         "' 'create table ratings (product integer, stars integer); insert into ratings values (7, 5);"
                         " insert into ratings values (8, 3); insert into ratings values (99, 1)'").c_str()), 0);
  NewReportOn(kShopA, "orders");
  JoinAcrossDirOn across(settings_ + "/kmwsql.ini");
  DataAccess* data = GetDataAccess(doc->m_pModel);
  ASSERT_EQ(data->JoinAcrossDir(), 1);
  script.Expect("New Join", [this](HWND d) {
    script.Expect("Related Table", [this](HWND l) {
      script.Expect("Related Table Directory", [](HWND f) {
        SelectListed(f, 201, "vt_ratings.db");
        Press(f, IDOK);
      });
      Press(l, 212);
      SelectListed(l, 200, "ratings");
      Press(l, IDOK);
    });
    Press(d, 203);
    SelectCombo(d, 201, "product");
    SelectCombo(d, 205, "product");
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, IDOK)));
    Press(d, IDOK);
  });
  script.Expect("Joins", [](HWND j) {
    EXPECT_EQ(SendDlgItemMessageA(j, 200, LB_GETCOUNT, 0, 0), 1);
    Press(j, IDCANCEL);
  });
  Command(30610);
  CKmComposite* m = doc->m_pModel;
  ASSERT_NE(m->tableSlots[1], nullptr);
  EXPECT_EQ(std::string(m->tableSlots[1]->path), other + "\\ratings");
  // The join keeps the entry of the data source its table was listed through.
  int entry = -1;
  ASSERT_EQ(data->FindDataSourceEntry(kShopA, &entry), 1);
  EXPECT_EQ(m->tableSlots[1]->dataSourceEntry, entry);
  PlaceOnRecordLine({Field("orders", "id"), Field(m->tableSlots[1]->alias, "stars")});
  const std::vector<std::string> expected = {"11 5", "12 3", "13 1", "14 5"};
  auto sorted = [](std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
  };
  EXPECT_EQ(sorted(Print("other_file_join")), expected);

  const std::string saved = odbc_test::Dir() + "/other_file_join.kmw";
  ASSERT_TRUE(doc->OnSaveDocument(saved.c_str()));
  doc->SetModifiedFlag(FALSE);
  doc->ForgetCompoundFile();
  doc->ClearReport(TRUE);
  doc->m_pRepIO->m_stream.connect = true;
  ASSERT_TRUE(doc->ReadReport(saved.c_str()));
  ASSERT_NE(doc->m_pModel->tableSlots[1], nullptr);
  EXPECT_EQ(sorted(Print("other_file_join_read_back")), expected);
}

// A compatible data source without tables, chosen in the directory table
// list: its "no tables" dialog names it; Configure finds no set-up for it
// here and says so; the list shows the report's own tables again.
TEST_F(DataChoiceTest, ScreensADataSourceWithoutTablesOffersItsSetUp) {
  AddSqliteShop("vt_bare", nullptr);
  NewReportOn(kShopA, "orders");
  JoinAcrossDirOn across(settings_ + "/kmwsql.ini");
  std::string named, said, label;
  std::vector<std::string> after;
  script.Expect("Master Table", [&](HWND d) {
    script.Expect("Master  Table", [&](HWND l) {
      script.Expect("Available Data Source Connections", [](HWND c) {
        SelectListed(c, 200, "vt_bare");
        Press(c, IDOK);
      });
      script.Expect(doc->GetAppCaption(), [&](HWND n) {
        named = ui_test::Text(GetDlgItem(n, 202));
        EXPECT_EQ(ui_test::Text(GetDlgItem(n, 200)), "&Configure...");
        EXPECT_EQ(GetDlgItem(n, 201), nullptr);  // no Connect button here
        SaveWindowPicture(n, ScreenPath("no_data_source_tables").c_str());
        script.Expect(doc->GetAppCaption(), [&](HWND e) {
          said = ui_test::Text(GetDlgItem(e, 200));
          Press(e, IDOK);
        });
        Press(n, 200);
      });
      Press(l, 211);
      label = ui_test::Text(GetDlgItem(l, 214)) + " " + ui_test::Text(GetDlgItem(l, 215));
      const int n = static_cast<int>(SendDlgItemMessageA(l, 200, LB_GETCOUNT, 0, 0));
      for (int i = 0; i < n; ++i) {
        char text[300] = {};
        SendDlgItemMessageA(l, 200, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        after.push_back(text);
      }
      Press(l, IDCANCEL);
    });
    Press(d, 210);
    Press(d, IDCANCEL);
  });
  Command(30600);
  EXPECT_EQ(named, "vt_bare");
  EXPECT_EQ(said, "Unable to find or load the setup DLL for vt_bare");
  EXPECT_EQ(label, std::string("Data Source: ") + kShopA);
  EXPECT_NE(std::find(after.begin(), after.end(), "orders"), after.end());
  DataAccess* data = GetDataAccess(doc->m_pModel);
  EXPECT_STREQ(data->GetCurrentDataSourceName(), kShopA);
  EXPECT_FALSE(data->IsConnected("KM SET JOIN"));
  EXPECT_EQ(std::string(doc->m_pModel->tableSlots[0]->path), "orders");
}

// On PostgreSQL a lookup table listed through another data source of the
// same database comes back with that database as its place; the report
// reads it as its own table, keeps the entry it was listed from, and prints
// the rows of the same join run in SQL.
TEST_F(DataChoiceTest, PostgresTableListedThroughAnotherDataSourceOfTheSameDatabase) {
  std::string why;
  if (!odbc_test::StartPostgres(&why)) GTEST_SKIP() << why;
  // A report read before may still hold the tables: its connection goes first.
  DataAccess* before = GetDataAccess(doc->m_pModel);
  before->SelectDataSource(nullptr);
  if (before->IsConnected(odbc_test::kPgDsn)) before->DisconnectDataSource(odbc_test::kPgDsn);
  MakePostgresShop();
  std::ifstream in(odbc_test::Dir() + "/odbc.ini");
  std::stringstream ini;
  ini << in.rdbuf();
  std::string all = ini.str();
  if (all.find("[vt_pg_again]") == std::string::npos) {
    const size_t at = all.find(std::string("[") + odbc_test::kPgDsn + "]");
    ASSERT_NE(at, std::string::npos);
    const size_t end = all.find("\n\n", at);
    std::string again = all.substr(at, end - at);
    again.replace(0, again.find(']') + 1, "[vt_pg_again]");
    odbc_test::WriteFile("odbc.ini", all + "\n" + again + "\n\n");
  }
  NewReportOn(odbc_test::kPgDsn, "orders");
  JoinAcrossDirOn across(settings_ + "/kmwsql.ini", "[PostgreSQL]\n");
  DataAccess* data = GetDataAccess(doc->m_pModel);
  ASSERT_EQ(data->JoinAcrossDir(), 1);
  std::string label;
  script.Expect("New Join", [&](HWND d) {
    script.Expect("Related Table", [&](HWND l) {
      script.Expect("Available Data Source Connections", [](HWND c) {
        SelectListed(c, 200, "vt_pg_again");
        Press(c, IDOK);
      });
      Press(l, 211);
      label = ui_test::Text(GetDlgItem(l, 214)) + " " + ui_test::Text(GetDlgItem(l, 215));
      SelectListed(l, 200, "public.customers");
      Press(l, IDOK);
    });
    Press(d, 203);
    SelectCombo(d, 201, "customer");
    SelectCombo(d, 205, "id");
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, IDOK)));
    Press(d, IDOK);
  });
  script.Expect("Joins", [](HWND j) { Press(j, IDCANCEL); });
  Command(30610);
  EXPECT_EQ(label, "Data Source: vt_pg_again");
  CKmComposite* m = doc->m_pModel;
  ASSERT_NE(m->tableSlots[1], nullptr);
  char database[261] = {};
  ASSERT_TRUE(data->GetDatabaseName(database, sizeof database));
  EXPECT_EQ(std::string(m->tableSlots[1]->path), std::string(database) + "\\public.customers");
  int entry = -1;
  ASSERT_EQ(data->FindDataSourceEntry("vt_pg_again", &entry), 1);
  EXPECT_EQ(m->tableSlots[1]->dataSourceEntry, entry);
  EXPECT_STREQ(data->GetCurrentDataSourceName(), odbc_test::kPgDsn);
  EXPECT_FALSE(data->IsConnected("KM SET JOIN"));
  PlaceOnRecordLine({Field("orders", "id"), Field(m->tableSlots[1]->alias, "name")});
  std::vector<std::string> expected = AsPrinted(SqlRows(
      odbc_test::kPgDsn, "select o.id, c.name from orders o inner join customers c on o.customer = c.id order by o.id"));
  ASSERT_EQ(expected.size(), 3u);
  std::vector<std::string> printed = Print("pg_other_source_join");
  std::sort(printed.begin(), printed.end());
  EXPECT_EQ(printed, expected);
}

}  // namespace
