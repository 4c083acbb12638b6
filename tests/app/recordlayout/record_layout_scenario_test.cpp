// The Record Layout and Group Order settings as a user meets them: a report
// opened in the program, the option set in its dialog, the report saved,
// opened again and printed to PDF, read back with pdftotext. Copies of each
// record by a number and by a field, empty record lines left out, a long
// note that stretches its record and keeps it whole on its page, a Print
// Once group field in the PDF and in a Text Data File (whose "Printing"
// dialog counts the rows written), a two-line Swap Footer kept whole at the
// foot of its page, and a sort on a calculation the database cannot order
// by, on SQLite and on PostgreSQL.
#include "app/app.h"
#include "app/document.h"
#include "app/main_frame.h"
#include "app/open_report.h"
#include "app/print_run.h"
#include "app/record_layout_dialog.h"
#include "app/run_status.h"
#include "engine/run_output.h"
#include "engine/run_report.h"
#include "expr/functions_common.h"
#include "files/report_io.h"
#include "layout/page_setup.h"
#include "platform/win/ui_app.h"
#include "platform/win/window_picture.h"
#include "tests/app/options/dialog_steps.h"
#include "tests/app/options/sample_setup.h"
#include "tests/app/roundtrip/report_maker.h"
#include "tests/support/odbc_env.h"
#include "tests/support/program_run.h"
#include "tests/support/screens.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using options_test::Checked;
using options_test::DialogSteps;
using options_test::Press;
using options_test::SetText;
using roundtrip::ReportMaker;

constexpr UINT kCmdGroupOrder = 30630;

// Selects the field of that name in a field list combo box (its entries
// begin with the type letter and a blank); false when it is not listed.
bool ChooseField(HWND dialog, int id, const std::string& name) {
  const LRESULT n = SendDlgItemMessageA(dialog, id, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < n; ++i) {
    char text[128] = {};
    SendDlgItemMessageA(dialog, id, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    if (std::strlen(text) > 2 && name == text + 2) {
      SendDlgItemMessageA(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
      return true;
    }
  }
  return false;
}
constexpr int kWidth = 205, kCopiesNumber = 216, kCopiesByField = 217, kCopies = 218, kCopiesField = 209, kCompress = 210,
              kSuppress = 211, kBreakArea = 214;

std::string Capture(const std::string& command) { return program_run::Capture(command); }

// The rows every report here prints: names, their group, a copies count, an
// optional second line and an amount a calculation orders them by.
std::string DataScript(const char* number, const char* text) {
  std::ostringstream s;
  s << "drop table if exists layout_rows;\n"
    << "create table layout_rows (row_id integer, name varchar(20), grp varchar(10), copies " << number
    << ", extra varchar(20), amount " << number << ");\n"
    << "insert into layout_rows values (1, 'Alpha', 'East', 1, 'x-one', 10);\n"
    << "insert into layout_rows values (2, 'Bravo', 'East', 3.7, null, 20);\n"
    << "insert into layout_rows values (3, 'Charlie', 'West', 0, 'x-three', 30);\n"
    << "insert into layout_rows values (4, 'Delta', 'West', 2, null, 40);\n"
    << "insert into layout_rows values (5, 'Echo', 'West', 1.9, 'x-five', 50);\n"
    << "drop table if exists note_rows;\n"
    << "create table note_rows (row_id integer, name varchar(20), note " << text << ");\n";
  // Notes of three to eleven wrapped lines, enough to fill several pages.
  for (int i = 1; i <= 40; ++i) {
    std::string note;
    for (int w = 0; w < 6 + (i * 7) % 30; ++w) note += "word" + std::to_string(i) + "x" + std::to_string(w) + " ";
    s << "insert into note_rows values (" << i << ", 'N" << i << "', '" << note << "');\n";
  }
  // One note longer than a page.
  std::string tall;
  for (int w = 0; w < 500; ++w) tall += "tall" + std::to_string(w) + " ";
  s << "insert into note_rows values (41, 'N41', '" << tall << "');\n";
  return s.str();
}

// The first box of each word of the PDF in page order: its text, page and top.
struct Word {
  std::string text;
  int page = 0;
  double y = 0;
};
std::vector<Word> Words(const std::string& pdf) {
  std::vector<Word> out;
  std::istringstream in(Capture("pdftotext -bbox '" + pdf + "' - 2>/dev/null"));
  std::string line;
  int page = 0;
  while (std::getline(in, line)) {
    if (line.find("<page ") != std::string::npos) ++page;
    if (line.find("<word ") == std::string::npos) continue;
    const size_t at = line.find("yMin=\"");
    const size_t open = line.find('>'), close = line.rfind("</word>");
    if (at == std::string::npos || open == std::string::npos || close == std::string::npos || close < open) continue;
    out.push_back({line.substr(open + 1, close - open - 1), page, std::atof(line.c_str() + at + 6)});
  }
  return out;
}

int Count(const std::vector<Word>& words, const std::string& text) {
  int n = 0;
  for (const Word& w : words) n += w.text == text;
  return n;
}

// The names of the report's rows in the order they print.
std::vector<std::string> Names(const std::vector<Word>& words) {
  std::vector<std::string> out;
  for (const Word& w : words)
    for (const char* n : {"Alpha", "Bravo", "Charlie", "Delta", "Echo"})
      if (w.text == n) out.push_back(n);
  return out;
}

// The program's shell, with the "Printing" dialog's rows-exported value read
// back each time the run sends it the export's count.
class ExportCountWatch : public RunShell {
 public:
  void PostRecordCount(KmDocBase& doc, int sync) override { AppRunShell().PostRecordCount(doc, sync); }
  void PostPageNumber(KmDocBase& doc) override { AppRunShell().PostPageNumber(doc); }
  void PostCopyNumber(KmDocBase& doc, int pass) override { AppRunShell().PostCopyNumber(doc, pass); }
  void PostExportCount(KmDocBase& doc, uint32_t count, int sync) override {
    AppRunShell().PostExportCount(doc, count, sync);
    if (!sync || PrintingWindow() == nullptr) return;
    char shown[32] = {};
    GetDlgItemTextA(PrintingWindow(), 203, shown, sizeof shown);
    char label[64] = {};
    GetDlgItemTextA(PrintingWindow(), 205, label, sizeof label);
    seen.push_back(std::string(label) + " " + shown + " of " + std::to_string(count));
    SaveWindowPicture(PrintingWindow(), ScreenPath("export_rows_exported").c_str());
  }
  void PreviewPageDone(KmDocBase& doc, int lastPage) override { AppRunShell().PreviewPageDone(doc, lastPage); }
  void ShowCounter(KmDocBase& doc, uint32_t label, const char* text) override {
    AppRunShell().ShowCounter(doc, label, text);
  }
  void ShowRunNote(KmDocBase& doc, const std::string& text) override { AppRunShell().ShowRunNote(doc, text); }
  std::vector<std::string> seen;
};

// The data and the program's folder on SQLite (0) or PostgreSQL (1).
class LayoutScenario : public ::testing::Test {
 protected:
  virtual int Database() const { return 0; }
  void SetUp() override {
    if (!fs::exists(program_run::ProgramPath())) GTEST_SKIP() << "the program is not built";
    if (Capture("command -v pdftotext").empty() || Capture("command -v sqlite3").empty())
      GTEST_SKIP() << "pdftotext or sqlite3 is missing";
    if (!odbc_test::HaveSqliteDriver()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    if (Database() == 0) {
      dsn_ = odbc_test::kSqliteDsn;
      std::ofstream(odbc_test::Dir() + "/layout_rows.sql") << DataScript("double", "varchar(8000)");
      ASSERT_EQ(std::system(("sqlite3 '" + odbc_test::Dir() + "/test.db' < '" + odbc_test::Dir() +
                             "/layout_rows.sql'")
                                .c_str()),
                0);
    } else {
      std::string why;
      if (!odbc_test::StartPostgres(&why)) GTEST_SKIP() << why;
      dsn_ = odbc_test::kPgDsn;
      bool ok = false;
      const std::string out = odbc_test::RunPostgresSql(DataScript("double precision", "varchar(8000)"), &ok);
      ASSERT_TRUE(ok) << out;
    }
    dir_ = odbc_test::Dir() + "/record_layout_" + std::to_string(Database());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    std::ofstream(dir_ + "/kmw.ini") << "[Preferences]\nShowSplash=0\n";
    std::ofstream(dir_ + "/kmlabels.ini") << options_test::kTestLabels;
    fs::copy_file(VT_SOURCE_DIR "/samples/kmwsql.ini", dir_ + "/kmwsql.ini");
    setenv("VORTELLE_WINDIR", dir_.c_str(), 1);
    UiStartApplication();
    InstallBuiltinFunctionHandlers();
  }

  // A report over a table, built as the program keeps one, saved to path.
  using Layout = std::function<void(ReportMaker&)>;
  void MakeReport(const std::string& path, const char* table, const std::vector<const char*>& columns,
                  const Layout& layout) {
    roundtrip::MakeReportFile(dsn_.c_str(), path, table, columns, layout);
  }

  // The program up, with the steps of the dialogs it will show.
  struct Program {
    options_test::RunningProgram program;
    CKmDoc* doc = nullptr;
    HWND frame = nullptr;
    DialogSteps steps;
    // The program up with the report opened through File > Open.
    explicit Program(const std::string& report) {
      doc = GetActiveKmDoc();
      if (doc != nullptr && doc->m_pMainFrame != nullptr) frame = doc->m_pMainFrame->m_hWnd;
      EXPECT_NE(frame, nullptr);
      if (frame != nullptr) Open(report);
      opened = doc != nullptr && doc->m_bReportOpen;
    }
    // Format > Record Layout, the record as wide as the page and the rest as
    // set.
    void RecordLayout(const std::function<void(HWND)>& set) {
      steps.Dialog("Record Layout", [set](HWND d) {
        SetText(d, kWidth, "8.00");
        set(d);
        Press(d, IDOK);
      });
      Command(kCmdRecordLayout);
    }
    // Database > Group Order: the option's check box of the first level ticked.
    void GroupOption(int box) {
      steps.Dialog("Group Order", [box](HWND d) {
        SendDlgItemMessageA(d, 300, LB_SETCURSEL, 0, 0);
        SendMessageA(d, WM_COMMAND, MAKEWPARAM(300, LBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(d, 300)));
        CheckDlgButton(d, box, BST_CHECKED);
        Press(d, box);
        Press(d, IDOK);
      });
      Command(kCmdGroupOrder);
    }
    bool opened = false;
    void Command(UINT id) {
      steps.Run([&] { SendMessageA(frame, WM_COMMAND, id, 0); });
    }
    void Open(const std::string& path) {
      steps.File("Open Report", path);
      Command(kCmdFileOpen);
    }
    // Saved under a new name, then opened again from it.
    void SaveAndReopen(const std::string& path) {
      steps.File("Save As", path);
      Command(kCmdFileSaveAs);
      EXPECT_FALSE(doc->IsModified());
      Open(path);
      ASSERT_TRUE(doc->m_bReportOpen);
    }
    std::vector<Word> Print(const std::string& pdf) {
      GetPrintRunContext().lastRunPrinted = false;
      options_test::PrintToPdfFile(steps, frame, pdf);
      EXPECT_TRUE(GetPrintRunContext().lastRunPrinted) << pdf;
      return Words(pdf);
    }
  };

  std::string dsn_;
  std::string dir_;
};

// The gap between a word and the next occurrence of another after it, in
// lines of the given pitch.
double LinesBetween(const std::vector<Word>& words, const std::string& from, const std::string& to, double pitch) {
  for (size_t i = 0; i < words.size(); ++i) {
    if (words[i].text != from) continue;
    for (size_t j = i + 1; j < words.size(); ++j)
      if (words[j].text == to && words[j].page == words[i].page) return (words[j].y - words[i].y) / pitch;
    break;
  }
  return -1;
}

TEST_F(LayoutScenario, CopiesByNumberAndByFieldAndEmptyLinesLeftOut) {
  const std::string report = dir_ + "/copies.kmw";
  MakeReport(report, "layout_rows", {"name", "copies", "extra"}, [](ReportMaker& r) {
    const int first = r.Line(kBandRecord);
    r.Place(r.Column("name"), first, 0, 12);
    r.Place(r.Column("copies"), first, 20, 6, 1);
    r.Place(r.Column("extra"), r.Line(kBandRecord), 4, 12);
    r.Text(r.Line(kBandRecord), 0, "row-end");
  });
  Program p(report);
  ASSERT_TRUE(p.opened);

  // Two copies of every record, every line kept.
  p.RecordLayout([](HWND d) {
    CheckDlgButton(d, kCopiesNumber, BST_CHECKED);
    Press(d, kCopiesNumber);
    SetText(d, kCopies, "2");
    CheckDlgButton(d, kCompress, BST_UNCHECKED);
    CheckDlgButton(d, kSuppress, BST_UNCHECKED);
  });
  p.SaveAndReopen(dir_ + "/copies2.kmw");
  EXPECT_EQ(p.doc->m_pPageSetup->RecordCopies, 2);
  std::vector<Word> w = p.Print(dir_ + "/copies2.pdf");
  for (const char* name : {"Alpha", "Bravo", "Charlie", "Delta", "Echo"}) EXPECT_EQ(Count(w, name), 2) << name;
  EXPECT_EQ(Names(w), (std::vector<std::string>{"Alpha", "Alpha", "Bravo", "Bravo", "Charlie", "Charlie", "Delta",
                                                "Delta", "Echo", "Echo"}));
  // A line pitch from a record whose three lines all print; Bravo's empty
  // second line still takes its place.
  const double pitch = LinesBetween(w, "Alpha", "x-one", 1.0);
  ASSERT_GT(pitch, 0);
  EXPECT_NEAR(LinesBetween(w, "Alpha", "row-end", pitch), 2.0, 0.2);
  EXPECT_NEAR(LinesBetween(w, "Bravo", "row-end", pitch), 2.0, 0.2);

  // The copies from the field (below 2 once, else rounded down), and the
  // empty record lines left out.
  p.RecordLayout([](HWND d) {
    CheckDlgButton(d, kCopiesNumber, BST_UNCHECKED);
    CheckDlgButton(d, kCopiesByField, BST_CHECKED);
    Press(d, kCopiesByField);
    EXPECT_TRUE(ChooseField(d, kCopiesField, "copies"));
    CheckDlgButton(d, kSuppress, BST_CHECKED);
  });
  EXPECT_TRUE(p.doc->IsModified());
  p.SaveAndReopen(dir_ + "/byfield.kmw");
  const FieldDef* copies = nullptr;
  for (const FieldDef* f = p.doc->m_pModel->fieldList; f; f = f->next)
    if (std::string(f->name) == "copies") copies = f;
  ASSERT_NE(copies, nullptr);
  EXPECT_EQ(p.doc->m_pModel->recordRepeatField, p.doc->m_pModel->GetFieldIndex(copies));
  EXPECT_TRUE(SuppressRecordLinesShown(*p.doc->m_pPageSetup));
  w = p.Print(dir_ + "/byfield.pdf");
  EXPECT_EQ(Names(w), (std::vector<std::string>{"Alpha", "Bravo", "Bravo", "Bravo", "Charlie", "Delta", "Delta",
                                                "Echo"}));
  EXPECT_NEAR(LinesBetween(w, "Alpha", "row-end", pitch), 2.0, 0.2);
  EXPECT_NEAR(LinesBetween(w, "Bravo", "row-end", pitch), 1.0, 0.2);
  EXPECT_NEAR(LinesBetween(w, "Delta", "row-end", pitch), 1.0, 0.2);
}

TEST_F(LayoutScenario, ALongNoteStretchesItsRecordAndKeepsItWholeWhenTheAreaMayNotBreak) {
  const std::string report = dir_ + "/notes.kmw";
  MakeReport(report, "note_rows", {"name", "note"}, [](ReportMaker& r) {
    r.Place(r.Column("name"), r.Line(kBandRecord), 0, 8);
    FieldDef* note = r.Column("note");
    r.Place(note, r.Line(kBandRecord), 4, 30);
    note->formatCode = (note->formatCode & ~0xF0u) | 0x40;  // word-wrapped: stretches its line
    r.Text(r.Line(kBandRecord), 0, "after-note");
  });
  Program p(report);
  ASSERT_TRUE(p.opened);

  // Records may break across pages.
  p.RecordLayout([](HWND d) { CheckDlgButton(d, kBreakArea, BST_CHECKED); });
  p.SaveAndReopen(dir_ + "/notes_break.kmw");
  std::vector<Word> w = p.Print(dir_ + "/notes_break.pdf");
  // Each note's last word prints above its record's "after-note", which the
  // stretched note pushed down; at least one record runs over a page end.
  int split = 0;
  std::string where;  // each record's first and last page
  for (int i = 1; i <= 40; ++i) {
    const std::string name = "N" + std::to_string(i);
    int at = -1;
    for (size_t k = 0; k < w.size(); ++k)
      if (w[k].text == name) at = static_cast<int>(k);
    ASSERT_GE(at, 0) << name;
    int last = at, after = -1;
    for (size_t k = static_cast<size_t>(at) + 1; k < w.size(); ++k) {
      if (w[k].text.rfind("word" + std::to_string(i) + "x", 0) == 0) last = static_cast<int>(k);
      if (w[k].text == "after-note") {
        after = static_cast<int>(k);
        break;
      }
    }
    ASSERT_GT(after, last) << name;
    EXPECT_TRUE(w[after].page > w[last].page || w[after].y > w[last].y) << name;
    if (w[last].page != w[at].page) ++split;
    where += name + ":" + std::to_string(w[at].page) + "-" + std::to_string(w[last].page) + " ";
  }
  EXPECT_GT(split, 0) << where;

  // Kept whole: every record's name, note and end on one page; the note
  // longer than a page prints whole across pages all the same.
  p.RecordLayout([](HWND d) { CheckDlgButton(d, kBreakArea, BST_UNCHECKED); });
  p.SaveAndReopen(dir_ + "/notes_whole.kmw");
  EXPECT_FALSE(BreakRecordAreaShown(*p.doc->m_pPageSetup));
  w = p.Print(dir_ + "/notes_whole.pdf");
  for (int i = 1; i <= 40; ++i) {
    const std::string name = "N" + std::to_string(i);
    int page = -1;
    for (const Word& word : w) {
      if (word.text == name) page = word.page;
      if (page > 0 && word.text.rfind("word" + std::to_string(i) + "x", 0) == 0) {
        EXPECT_EQ(word.page, page) << name;
      }
    }
    EXPECT_GT(page, 0) << name;
  }
  int tall = 0, firstPage = 0, lastPage = 0;
  for (const Word& word : w)
    if (word.text.rfind("tall", 0) == 0) {
      ++tall;
      if (firstPage == 0) firstPage = word.page;
      lastPage = word.page;
    }
  EXPECT_EQ(tall, 500);
  EXPECT_GT(lastPage, firstPage);
}

TEST_F(LayoutScenario, ScreensAPrintOnceGroupFieldPrintedOncePerGroupInThePdfAndTheExport) {
  const std::string report = dir_ + "/groups.kmw";
  MakeReport(report, "layout_rows", {"name", "grp"}, [](ReportMaker& r) {
    FieldDef* grp = r.Column("grp");
    r.Group(0, grp, false);
    const int line = r.Line(kBandRecord);
    r.Place(grp, line, 0, 8);
    r.Place(r.Column("name"), line, 10, 12);
  });
  Program p(report);
  ASSERT_TRUE(p.opened);
  p.GroupOption(307);  // Print Once
  p.SaveAndReopen(dir_ + "/groups_once.kmw");
  EXPECT_EQ(p.doc->m_pModel->groupFlags[0] & 0x04, 0x04);
  std::vector<Word> w = p.Print(dir_ + "/groups_once.pdf");
  EXPECT_EQ(Count(w, "East"), 1);
  EXPECT_EQ(Count(w, "West"), 1);
  EXPECT_EQ(Names(w), (std::vector<std::string>{"Alpha", "Bravo", "Charlie", "Delta", "Echo"}));

  // The same as a Text Data File: the group's name on its first row only;
  // the "Printing" dialog shows the rows written.
  ExportCountWatch watch;
  InstallRunShell(&watch);
  const std::string csv = dir_ + "/groups.csv";
  p.steps.Dialog("Export", [&](HWND d) {
    const LRESULT n = SendDlgItemMessageA(d, 201, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i)
      if (SendDlgItemMessageA(d, 201, LB_GETITEMDATA, static_cast<WPARAM>(i), 0) == 6) {
        SendDlgItemMessageA(d, 201, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
        SendMessageA(d, WM_COMMAND, MAKEWPARAM(201, LBN_SELCHANGE), 0);
      }
    SetText(d, 203, csv);
    Press(d, IDOK);
  });
  p.Command(kCmdFileExport);
  InstallRunShell(&AppRunShell());
  std::ifstream in(csv);
  std::vector<std::string> rows;
  std::string all;
  for (std::string line; std::getline(in, line);) rows.push_back(line), all += line + "\n";
  EXPECT_EQ(rows, (std::vector<std::string>{"East,Alpha\r", ",Bravo\r", "West,Charlie\r", ",Delta\r", ",Echo\r"}))
      << all;
  ASSERT_FALSE(watch.seen.empty());
  EXPECT_EQ(watch.seen.back(), "Records Exported: 5 of 5");
}

// The program itself in a fresh process prints the report unattended (/G);
// the words of the PDF it writes beside the report.
std::vector<Word> PrintUnattended(const std::string& dir, const std::string& report) {
  int status = -1;
  const std::string out = program_run::Capture("cd '" + dir + "' && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" +
                                                   dir + "' " + program_run::ProgramLeakOptions() + " timeout 120 '" +
                                                   program_run::ProgramPath() + "' /G '" + report + "' 2>&1",
                                               &status);
  EXPECT_EQ(status, 0) << out;
  return Words(fs::path(report).replace_extension(".pdf").string());
}

// A group footer of two lines with Swap Footer stands whole at the foot of
// its page, in the page footer's place: one page a group.
void ExpectSwappedFooters(const std::vector<Word>& w, const char* how) {
  int pages = 0;
  for (const Word& x : w) pages = std::max(pages, x.page);
  EXPECT_EQ(pages, 2) << how << ": one page for each of the two groups";
  EXPECT_EQ(Count(w, "Pagefoot"), 0) << how << ": the group footers stand in the page footer's place";
  std::vector<std::string> seen;
  for (size_t i = 0; i < w.size(); ++i) {
    if (w[i].text != "Total") continue;
    // The group's name stands on the same line.
    for (const Word& x : w)
      if (x.page == w[i].page && x.text != "Total" && std::abs(x.y - w[i].y) < 1)
        seen.push_back(x.text + " on " + std::to_string(x.page));
    // Its second line right below it, on the same page, at the page's foot
    // (Letter, 792 points, half an inch of margin).
    size_t closing = i + 1;
    while (closing < w.size() && w[closing].text != "Closing") ++closing;
    ASSERT_LT(closing, w.size()) << how;
    EXPECT_EQ(w[closing].page, w[i].page) << how << ": the footer is not split";
    EXPECT_LT(w[closing].y - w[i].y, 20) << how;
    EXPECT_GT(w[closing].y, 720) << how << ": at the foot of the page";
  }
  std::string all;
  for (const Word& x : w) all += std::to_string(x.page) + ":" + std::to_string(static_cast<int>(x.y)) + " " + x.text + "\n";
  EXPECT_EQ(seen, (std::vector<std::string>{"East on 1", "West on 2"})) << how << "\n" << all;
}

TEST_F(LayoutScenario, ASwappedGroupFooterOfTwoLinesStaysWholeAtTheFootOfEachPage) {
  const std::string report = dir_ + "/swapped.kmw";
  MakeReport(report, "layout_rows", {"name", "grp"}, [](ReportMaker& r) {
    FieldDef* grp = r.Column("grp");
    r.Group(0, grp, false);
    r.Place(r.Column("name"), r.Line(kBandRecord), 4, 12);
    const int total = r.Line(kBandGroupFooter);
    r.Text(total, 0, "Total");
    r.Place(grp, total, 8, 8);
    r.Text(r.Line(kBandGroupFooter), 0, "Closing");
    r.Text(r.Line(kBandPageFooter), 0, "Pagefoot");
  });
  Program p(report);
  ASSERT_TRUE(p.opened);
  p.GroupOption(313);  // Swap Footer
  const std::string saved = dir_ + "/swapped_footer.kmw";
  p.SaveAndReopen(saved);
  EXPECT_EQ(p.doc->m_pModel->groupFlags[0] & 0x08, 0x08);
  ExpectSwappedFooters(p.Print(dir_ + "/swapped_frame.pdf"), "printed from the frame");
  ExpectSwappedFooters(PrintUnattended(dir_, saved), "printed with /G");
}

// The same on either database.
class OnBothDatabases : public LayoutScenario, public ::testing::WithParamInterface<int> {
 protected:
  int Database() const override { return GetParam(); }
};

TEST_P(OnBothDatabases, ASortOnACalculationWithoutSqlTextPrintsInItsOrder) {
  const std::string report = dir_ + "/sorted.kmw";
  MakeReport(report, "layout_rows", {"name", "amount"}, [](ReportMaker& r) {
    // No SQL text: a time picture's seconds (none) make it the program's own.
    FieldDef* key = r.Calc("SORTKEY", "IIF(AMOUNT > 25, 100 - AMOUNT, AMOUNT) + CTOS(STOC(0))");
    ASSERT_NE(key, nullptr);
    r.Sort(0, key, false);
    const int line = r.Line(kBandRecord);
    r.Place(r.Column("name"), line, 0, 12);
    r.Place(key, line, 20, 8, 0);
  });
  Program p(report);
  ASSERT_TRUE(p.opened);
  FieldDef* key = nullptr;
  for (FieldDef* f = p.doc->m_pModel->fieldList; f; f = f->next)
    if (std::string(f->name) == "SORTKEY") key = f;
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->sqlText, nullptr);
  const std::vector<Word> w = p.Print(dir_ + "/sorted.pdf");
  // Keys 10, 20, 70, 60, 50.
  EXPECT_EQ(Names(w), (std::vector<std::string>{"Alpha", "Bravo", "Echo", "Delta", "Charlie"}));
}

INSTANTIATE_TEST_SUITE_P(Sorted, OnBothDatabases, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& i) {
                           return i.param == 0 ? std::string("SQLite") : std::string("PostgreSQL");
                         });

}  // namespace
