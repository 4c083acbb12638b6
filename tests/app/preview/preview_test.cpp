// The print preview driven through the real program: the sample report (and
// the same report grown to a hundred pages) opened by the program, File >
// Print Preview from the frame's menu command, the preview's page commands,
// zoom and keys, a preview page against the printed PDF page, Print Report
// from the preview against File > Print, and the Report Specification.
#include "app/app.h"
#include "app/chart_commands.h"
#include "charts/chart.h"
#include "export/export_settings.h"
#include "app/document.h"
#include "app/output_checks.h"
#include "app/preview_view.h"
#include "app/open_report.h"
#include "foundation/library_file.h"
#include "platform/win/profile.h"
#include "app/print_run.h"
#include "app/run_status.h"
#include "app/sample_report.h"
#include "core/composite.h"
#include "core/condition_code.h"
#include "data/select_builder.h"
#include "data/record_cache.h"
#include "engine/output_messages.h"
#include "expr/functions_common.h"
#include "files/report_io.h"
#include "foundation/heap_strings.h"
#include "layout/page_setup.h"
#include "model/field_compile.h"
#include "model/group_levels.h"
#include "layout/layout_records.h"
#include "platform/printer/preview_paint.h"
#include "platform/win/dialog.h"
#include "platform/win/window_picture.h"
#include "platform/win/ui_app.h"
#include "tests/support/answer_box.h"
#include "tests/support/image_compare.h"
#include "tests/support/metafile_bytes.h"
#include "layout/band_line_layout.h"
#include "tests/support/screens.h"

#include "tests/support/odbc_env.h"
#include "tests/support/sample_document.h"
#include "tests/support/sample_folder.h"

#include "tests/support/program_run.h"
#include "tests/platform/ui/ui_test_util.h"
#include "engine/report_run.h"
#include "engine/run_output.h"

#include <gtest/gtest.h>

#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using program_run::Capture;
using program_run::Have;

// Steps run one per timer tick while the preview's page loop waits; a step
// answering false is tried again on the next tick.
std::vector<std::function<bool()>> g_steps;
size_t g_next = 0;
void RunStep(HWND, UINT, UINT_PTR, DWORD) {
  if (g_next < g_steps.size() && g_steps[g_next]()) ++g_next;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) out.push_back(line);
  return out;
}

std::vector<std::string> g_messages;
void CaptureMessage(const std::string& text, const std::string&) { g_messages.push_back(text); }

bool PreviewWaiting() {
  CPreview* v = ActivePreview();
  return v != nullptr && v->m_bWaiting && !v->m_bBusy;
}

// The data source's settings are read once per process: one sample folder
// serves every test (the long report grows it last).
class PreviewRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!Have("sqlite3") || !Have("pdftotext") || !Have("pdftoppm")) return;
    if (Capture("ls /usr/lib/*/odbc/libsqlite3odbc.so 2>/dev/null").empty()) return;
    char tmpl[] = "/tmp/vt_preview_XXXXXX";
    s_dir = ::mkdtemp(tmpl);
    int status = -1;
    Capture("bash '" VT_SOURCE_DIR "/samples/make-sample' '" + s_dir + "' 2>&1", &status);
    if (status != 0) s_dir.clear();
  }
  static void TearDownTestSuite() {
    if (!s_dir.empty()) fs::remove_all(s_dir);
    s_dir.clear();
  }
  void SetUp() override {
    if (s_dir.empty()) GTEST_SKIP() << "sqlite3, poppler or the SQLite ODBC driver is missing";
    dir_ = s_dir;
    fs::remove(Pdf());
    setenv("ODBCINI", (dir_ + "/odbc.ini").c_str(), 1);
    setenv("ODBCSYSINI", dir_.c_str(), 1);
    setenv("VORTELLE_WINDIR", dir_.c_str(), 1);
    // The PDF printer writes next to the program's working folder.
    ASSERT_EQ(::chdir(dir_.c_str()), 0);
    UiStartApplication();
    InstallBuiltinFunctionHandlers();
  }
  static std::string s_dir;

  // The sample report written by the program's writer; extra copies of the
  // order lines make it long.
  void WriteReport(int extraCopies) {
    for (int i = 0; i < extraCopies; ++i)
      Capture("sqlite3 '" + dir_ + "/sample.db' 'insert into order_lines select * from order_lines limit 600'");
    SampleDocument sample;
    std::string error;
    ASSERT_TRUE(sample.Write("VortelleSample", dir_ + "/sales.kmw", &error)) << error;
  }

  // Runs the program on the report and posts command to its frame; the
  // steps run while the command's preview waits.
  void Drive(UINT command, std::vector<std::function<bool()>> steps) {
    g_steps = std::move(steps);
    g_next = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, RunStep);
    PostMessageA(Frame(), WM_COMMAND, command, 0);
    for (int i = 0; i < 6000; ++i) {
      MSG m;
      while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
      if (i > 20 && g_next >= g_steps.size() && Idle()) break;
      ::usleep(5000);
    }
    KillTimer(nullptr, timer);
    EXPECT_EQ(g_next, g_steps.size()) << "steps done";
  }
  bool Idle() { return GetPrintRunContext().printing == 0 && ActivePreview() == nullptr; }
  HWND Frame() { return AfxGetThread()->GetMainWnd() ? AfxGetThread()->GetMainWnd()->m_hWnd : nullptr; }
  std::string Pdf() const { return dir_ + "/sales.pdf"; }
  std::string PdfText(const std::string& pdf) { return Capture("pdftotext -layout '" + pdf + "' - 2>/dev/null"); }
  int PdfPages(const std::string& pdf) {
    std::string info = Capture("pdfinfo '" + pdf + "' 2>/dev/null | grep Pages:");
    return info.empty() ? -1 : std::atoi(info.substr(info.find(':') + 1).c_str());
  }

  // How much the preview's page picture (shot, the paper 4 pixels in) differs
  // from the printed PDF's page at the same size: the share of pixels whose
  // grey is more than half the scale off, so that edges of glyphs drawn by
  // two rasterisers stay alike; negative when a picture cannot be read.
  void ExpectFilteredPreview(const std::function<bool(CKmComposite*)>& filter, const std::string& where,
                             const std::string& shotName);
  void ExpectCalculationFilter();
  void ExpectPreprocessedTotalFilter();
  static bool s_postgres;  // the sample is on the private PostgreSQL server

  double PreviewAgainstPrinted(const std::string& shot, const std::string& pdf, int page, LONG width, LONG height) {
    const std::string ref = dir_ + "/ref";
    Capture("pdftoppm -f " + std::to_string(page) + " -l " + std::to_string(page) + " -png -scale-to-x " +
            std::to_string(width) + " -scale-to-y " + std::to_string(height) + " '" + pdf + "' '" + ref + "'");
    std::string refPng = ref + "-" + std::to_string(page) + ".png";
    if (!fs::exists(refPng)) refPng = ref + "-0" + std::to_string(page) + ".png";
    if (!fs::exists(refPng)) return -1;
    return PixelDifference(shot, 4, 4, width, height, refPng, 128);
  }

  // The sample's Summary band line; -1 when it has none.
  static int SummaryLine(const BandLineTable& L) {
    int summary = -1;
    for (int i = 0; i <= L.lastUsed; ++i)
      if (L.lines[i].kind == kBandSummary) summary = i;
    return summary;
  }

  std::string dir_;
};

std::string PreviewRun::s_dir;
bool PreviewRun::s_postgres = false;

struct Program {
  CKmApp app;
  explicit Program(const std::string& report) {
    std::string a0 = "vortelle", a1 = report;
    char* argv[] = {a0.data(), a1.data(), nullptr};
    ok = app.InitInstance(2, argv);
    // These runs print without asking; the Print dialog has tests of its own.
    SetPrintDialogRunner(nullptr);
    // Messages are collected, not shown in a box nobody answers.
    g_messages.clear();
    SetOutputMessageSink(CaptureMessage);
  }
  ~Program() {
    if (AfxGetThread()->GetMainWnd()) DestroyWindow(AfxGetThread()->GetMainWnd()->m_hWnd);
    app.ExitInstance();
  }
  BOOL ok = FALSE;
};

TEST_F(PreviewRun, ScreensSamplePreviewPagesZoomAndPrintReport) {
  WriteReport(0);
  Program program(dir_ + "/sales.kmw");
  ASSERT_TRUE(program.ok);
  HWND frame = Frame();
  ASSERT_NE(frame, nullptr);
  MoveWindow(frame, 0, 0, 900, 1000, TRUE);
  // File > Print first: the reference PDF.
  Drive(30030, {});
  ASSERT_TRUE(fs::exists(Pdf()));
  const std::string printed = PdfText(Pdf());
  ASSERT_NE(printed.find("Grand total"), std::string::npos) << printed;
  fs::rename(Pdf(), dir_ + "/printed.pdf");
  const int printedPages = PdfPages(dir_ + "/printed.pdf");

  PageOutputState& s = GetPrintRunContext().page;
  std::string shot = ScreenPath("preview_sample");
  LONG level1W = 0, level1H = 0;
  Drive(30040, {
      [&] {
        if (!PreviewWaiting()) return false;
        CPreview* v = ActivePreview();
        EXPECT_EQ(s.pageShown, 0);
        EXPECT_STREQ(v->StatusText(), "Page:  1");
        EXPECT_FALSE(v->IsCommandEnabled(kCmdPreviewZoomOut)) << "level 0";
        EXPECT_FALSE(v->IsCommandEnabled(kCmdPreviewFirst));
        // Zoom In to the page width: the page fills the window's width.
        EXPECT_TRUE(v->OnPreviewCommand(kCmdPreviewZoomIn));
        EXPECT_EQ(s.zoomLevel, 1);
        RECT c;
        GetClientRect(v->PageWindow(), &c);
        EXPECT_EQ(s.zoom[0].pageWidth, c.right);
        EXPECT_EQ(s.zoom[1].pageWidth, 2 * c.right);
        EXPECT_NEAR(s.zoom[0].pageHeight, c.right * 11.0 / 8.5, 2);
        EXPECT_EQ(s.zoom[0].scrollX, -4);
        level1W = s.zoom[0].pageWidth;
        level1H = s.zoom[0].pageHeight;
        EXPECT_TRUE(SaveWindowPicture(v->PageWindow(), shot.c_str()));
        // The keys: Down scrolls a sixth of an inch; Shift+F3 zooms again, Shift+F4 back.
        PostMessageA(v->PageWindow(), WM_KEYDOWN, VK_DOWN, 0);
        return true;
      },
      [&] {
        EXPECT_EQ(s.zoom[0].scrollY, -4 + 96 / 6);
        CPreview* v = ActivePreview();
        EXPECT_TRUE(v->OnPreviewCommand(kCmdPreviewZoomIn));
        EXPECT_EQ(s.zoomLevel, 2);
        EXPECT_FALSE(v->IsCommandEnabled(kCmdPreviewZoomIn));
        EXPECT_TRUE(v->OnPreviewCommand(kCmdPreviewZoomOut));
        EXPECT_TRUE(v->OnPreviewCommand(kCmdPreviewZoomOut));
        EXPECT_EQ(s.zoomLevel, 0);
        SaveWindowPicture(Frame(), ScreenPath("preview_frame").c_str());
        // Last Page runs to the end (a one-page report is there already).
        if (printedPages > 1) EXPECT_TRUE(v->OnPreviewCommand(kCmdPreviewLast));
        else EXPECT_FALSE(v->IsCommandEnabled(kCmdPreviewLast));
        return true;
      },
      [&] {
        if (!PreviewWaiting()) return false;
        CPreview* v = ActivePreview();
        EXPECT_TRUE(v->m_bRunFinished);
        EXPECT_EQ(s.pagesProduced, printedPages);
        EXPECT_EQ(v->m_nLastPage, printedPages - 1);
        EXPECT_FALSE(v->IsCommandEnabled(kCmdPreviewNext));
        // Print Report: the preview closes and the report prints.
        EXPECT_TRUE(v->OnPreviewCommand(kCmdPreviewPrintReport));
        return true;
      },
  });
  ASSERT_TRUE(fs::exists(Pdf())) << "Print Report printed";
  EXPECT_EQ(PdfText(Pdf()), printed);
  EXPECT_EQ(PdfPages(Pdf()), printedPages);

  // The preview's first page against the printed first page at the same size.
  const double diff = PreviewAgainstPrinted(shot, dir_ + "/printed.pdf", 1, level1W, level1H);
  ASSERT_GE(diff, 0) << "pictures readable";
  EXPECT_LT(diff, 0.01) << diff;
}

// The program's run shell, with what its run status dialog showed on each
// counter recorded (the label line and the value beside it), and the record
// count the "Printing" dialog showed each time the run sent it.
class RecordingShell : public RunShell {
 public:
  RecordingShell() : shell_(AppRunShell()) { InstallRunShell(this); }
  ~RecordingShell() override { InstallRunShell(&shell_); }
  void PostRecordCount(KmDocBase& doc, int sync) override {
    shell_.PostRecordCount(doc, sync);
    if (HWND d = PrintingWindow(); d != nullptr && sync)
      processed.push_back(ui_test::Text(GetDlgItem(d, 204)) + "|" + ui_test::Text(GetDlgItem(d, 202)));
  }
  void PostPageNumber(KmDocBase& doc) override { shell_.PostPageNumber(doc); }
  void PostCopyNumber(KmDocBase& doc, int pass) override { shell_.PostCopyNumber(doc, pass); }
  void PostExportCount(KmDocBase& doc, uint32_t count, int sync) override { shell_.PostExportCount(doc, count, sync); }
  void PreviewPageDone(KmDocBase& doc, int lastPage) override { shell_.PreviewPageDone(doc, lastPage); }
  void PageEnded(KmDocBase& doc, int32_t pageStatus) override { shell_.PageEnded(doc, pageStatus); }
  void ShowRunNote(KmDocBase& doc, const std::string& text) override { shell_.ShowRunNote(doc, text); }
  void ShowCounter(KmDocBase& doc, uint32_t label, const char* text) override {
    shell_.ShowCounter(doc, label, text);
    if (HWND d = RunStatusWindow()) {
      secondLine.push_back(ui_test::Text(GetDlgItem(d, 201)) + "|" + ui_test::Text(GetDlgItem(d, 204)));
      thirdLine.push_back(ui_test::Text(GetDlgItem(d, 202)) + "|" + ui_test::Text(GetDlgItem(d, 205)));
    }
  }
  std::vector<std::string> secondLine, thirdLine;  // "label|value" after each counter
  std::vector<std::string> processed;  // the "Printing" dialog's record count, "label|value"

 private:
  RunShell& shell_;
};

// A filtered sample report (the filter set by filter, where its SQL over
// order_lines): File > Print prints exactly the rows the database selects,
// each customer's and the grand totals of those rows alone, and "Records
// Processed" ends at their number; the preview shows the same page, its run
// counting the same records, and Print Report from it prints the same.
void PreviewRun::ExpectFilteredPreview(const std::function<bool(CKmComposite*)>& filter, const std::string& where,
                                       const std::string& shotName) {
  {
    SampleDocument sample;
    std::string error;
    ASSERT_TRUE(BuildSampleReport(sample.doc, sample.io, "VortelleSample", &error)) << error;
    ASSERT_TRUE(filter(sample.doc.m_pModel));
    ASSERT_EQ(sample.io.SaveReportFile((dir_ + "/sales.kmw").c_str()), kRepIoOk);
  }
  // The database's rows: the amount, or "count sum", with two decimals.
  auto query = [&](const std::string& sql) {
    std::vector<std::string> out;
    for (const std::string& row : Lines(s_postgres ? odbc_test::RunPostgresSql(sql + ";\n")
                                                   : Capture("sqlite3 '" + dir_ + "/sample.db' \"" + sql + "\""))) {
      const size_t bar = row.find('|');
      char figure[64];
      std::snprintf(figure, sizeof figure, "%.2f", std::atof(row.c_str() + (bar == std::string::npos ? 0 : bar + 1)));
      out.push_back(bar == std::string::npos ? figure : row.substr(0, bar) + " " + figure);
    }
    return out;
  };
  const std::vector<std::string> expected = query("select amount from order_lines where " + where + " order by amount");
  ASSERT_FALSE(expected.empty());
  const std::vector<std::string> groups =
      query("select count(*), sum(amount) from order_lines where " + where + " group by company order by company");
  const std::vector<std::string> grand = query("select count(*), sum(amount) from order_lines where " + where);
  Program program(dir_ + "/sales.kmw");
  ASSERT_TRUE(program.ok);
  std::vector<std::string> processed;
  {
    RecordingShell shell;
    Drive(30030, {});
    processed = shell.processed;
  }
  EXPECT_TRUE(g_messages.empty()) << g_messages.front();
  ASSERT_FALSE(processed.empty());
  EXPECT_EQ(processed.back(), "Records Processed:|" + std::to_string(expected.size()));
  const std::string printed = PdfText(Pdf());
  // The order lines' amounts (a line begins with its order number), the
  // customers' line counts and totals, the grand total.
  std::vector<std::string> amounts, shownGroups, shownGrand;
  for (const std::string& line : Lines(printed)) {
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string word; words >> word;) w.push_back(word);
    if (w.empty()) continue;
    if (w[0].size() == 4 && w[0].rfind("10", 0) == 0) amounts.push_back(w.back());
    if (w.size() == 4 && w[0] + " " + w[1] == "Customer total") shownGroups.push_back(w[2] + " " + w[3]);
    if (w.size() == 4 && w[0] + " " + w[1] == "Grand total") shownGrand.push_back(w[2] + " " + w[3]);
  }
  std::sort(amounts.begin(), amounts.end(), [](const std::string& a, const std::string& b) {
    return std::atof(a.c_str()) < std::atof(b.c_str());
  });
  EXPECT_EQ(amounts, expected) << printed;
  EXPECT_EQ(shownGroups, groups) << printed;
  EXPECT_EQ(shownGrand, grand) << printed;
  fs::rename(Pdf(), dir_ + "/printed.pdf");

  PageOutputState& s = GetPrintRunContext().page;
  const std::string shot = ScreenPath(shotName);
  uint32_t shownRecords = 0;
  LONG width = 0, height = 0;
  Drive(30040, {[&] {
    if (!PreviewWaiting()) return false;
    CPreview* v = ActivePreview();
    EXPECT_TRUE(v->OnPreviewCommand(kCmdPreviewZoomIn));
    width = s.zoom[0].pageWidth;
    height = s.zoom[0].pageHeight;
    EXPECT_TRUE(SaveWindowPicture(v->PageWindow(), shot.c_str()));
    if (ReportRun* run = GetActiveKmDoc()->m_pRun) shownRecords = run->recordsOutput;
    EXPECT_TRUE(v->OnPreviewCommand(kCmdPreviewPrintReport));
    return true;
  }});
  EXPECT_EQ(shownRecords, expected.size());
  const double diff = PreviewAgainstPrinted(shot, dir_ + "/printed.pdf", 1, width, height);
  ASSERT_GE(diff, 0) << "pictures readable";
  EXPECT_LT(diff, 0.01) << diff;
  EXPECT_EQ(PdfText(Pdf()), printed) << "Print Report from the preview";
}

// A filter on a calculation the database is not given, tested by the program.
void PreviewRun::ExpectCalculationFilter() {
  ExpectFilteredPreview([](CKmComposite* m) { return FilterOnLocalAmount(m, 600); }, "amount > 600",
                        "preview_filtered");
}

// A filter on a customer's pre-processed total: only the customers whose
// whole total passes, with those totals unchanged.
void PreviewRun::ExpectPreprocessedTotalFilter() {
  ExpectFilteredPreview(
      [](CKmComposite* m) {
        FieldDef* total = nullptr;
        for (FieldDef* f = m->fieldList; f != nullptr; f = f->next)
          if (std::strcmp(f->name, "CustomerTotal") == 0) total = f;
        if (total == nullptr) return false;
        total->totalFlags |= kTotalPreprocessed;
        return FilterOnField(m, total, kCondGreater, "1000");
      },
      "company in (select company from order_lines group by company having sum(amount) > 1000)",
      "preview_filtered_totals");
}

TEST_F(PreviewRun, AFilterTheSelectCannotCarryShowsOnlyItsRows) { ExpectCalculationFilter(); }
TEST_F(PreviewRun, AFilterOnPreprocessedTotalsShowsOnlyThePassingGroups) { ExpectPreprocessedTotalFilter(); }

// The same on the sample made on the private PostgreSQL server.
class PreviewRunPostgres : public PreviewRun {
 protected:
  static void SetUpTestSuite() {
    s_dir.clear();
    if (!Have("psql") || !Have("pdftotext") || !Have("pdftoppm")) return;
    std::string why;
    if (!odbc_test::StartPostgres(&why)) return;
    int status = -1;
    const std::string dir = odbc_test::Dir() + "/preview_pg";
    sample_folder::MakeOnPostgres(dir, odbc_test::PostgresPort(), &status);
    if (status != 0) return;
    s_dir = dir;
    s_postgres = true;
  }
  static void TearDownTestSuite() {
    s_dir.clear();
    s_postgres = false;
  }
};

TEST_F(PreviewRunPostgres, AFilterTheSelectCannotCarryShowsOnlyItsRows) { ExpectCalculationFilter(); }
TEST_F(PreviewRunPostgres, AFilterOnPreprocessedTotalsShowsOnlyThePassingGroups) { ExpectPreprocessedTotalFilter(); }

// A long report the program sorts reads every row before its first page: a
// preview waiting on that page, its run still going, holds no transaction
// and no lock on the server.
TEST_F(PreviewRunPostgres, AWaitingPreviewHoldsNothingOnTheServer) {
  bool ok = false;
  odbc_test::RunPostgresSql("create table order_lines_kept as select * from order_lines;\n"
                            "insert into order_lines select * from order_lines;\n"
                            "insert into order_lines select * from order_lines;\n"
                            "insert into order_lines select * from order_lines;\n"
                            "insert into order_lines select * from order_lines;\n",
                            &ok);
  ASSERT_TRUE(ok);
  {
    SampleDocument sample;
    std::string error;
    ASSERT_TRUE(BuildSampleReport(sample.doc, sample.io, "VortelleSample", &error)) << error;
    CKmComposite* m = sample.doc.m_pModel;
    FieldDef* zero = CompileField(m, "ZERO", "MONLEN({1/1/2000}) * 0", false, nullptr);  // no database computes it
    ASSERT_NE(zero, nullptr);
    zero->head.flags &= ~kItemKindField;
    for (int i = 7; i > 0; --i) {
      m->sortFields[i] = m->sortFields[i - 1];
      m->sortWords[i] = m->sortWords[i - 1];
    }
    m->sortFields[0] = static_cast<uint32_t>(m->GetFieldIndex(zero));
    ASSERT_EQ(sample.io.SaveReportFile((dir_ + "/sales.kmw").c_str()), kRepIoOk);
  }
  Program program(dir_ + "/sales.kmw");
  ASSERT_TRUE(program.ok);
  Drive(30040, {[&] {
    if (!PreviewWaiting()) return false;
    CPreview* v = ActivePreview();
    EXPECT_FALSE(v->m_bRunFinished);
    EXPECT_EQ(odbc_test::RunPostgresSql("select count(*) from pg_stat_activity where state like 'idle in%';"), "0\n");
    EXPECT_EQ(odbc_test::RunPostgresSql("begin; lock table order_lines in access exclusive mode nowait; commit; "
                                        "select 1;"),
              "1\n");
    PostMessageA(v->PageWindow(), WM_KEYDOWN, VK_ESCAPE, 0);
    return true;
  }});
  EXPECT_TRUE(g_messages.empty()) << g_messages.front();
  odbc_test::RunPostgresSql("delete from order_lines;\ninsert into order_lines select * from order_lines_kept;\n"
                            "drop table order_lines_kept;\n");
}

TEST_F(PreviewRun, ReportSpecificationPrintsTheDefinition) {
  WriteReport(0);
  Program program(dir_ + "/sales.kmw");
  ASSERT_TRUE(program.ok);
  GetPrintRunContext().printWhat = 2;
  Drive(30030, {});
  GetPrintRunContext().printWhat = 0;
  ASSERT_TRUE(fs::exists(Pdf()));
  const std::string text = PdfText(Pdf());
  for (const char* expected : {"VORTELLE Report Designer", "SELECT STATEMENT", "SELECT", "order_lines",
                               "FORMAT INFORMATION", "DATABASE INFORMATION", "Master Table:", "FIELD INFORMATION",
                               "Calculated and", "Total Fields", "FIELD DATA TYPES", "company", "amount",
                               "SORT/GROUP INFORMATION", "Sort Fields", "1 company", "LINE INFORMATION",
                               "FILTER INFORMATION", "Orders by customer", "Customer total", "Record"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  // The printout's columns line up: it is set in the fixed-pitch face of the
  // printer's fonts (Courier New, which the PDF embeds as its metric twin).
  const std::string fonts = Capture("pdffonts '" + Pdf() + "' 2>/dev/null");
  EXPECT_TRUE(fonts.find("Mono") != std::string::npos || fonts.find("Courier") != std::string::npos) << fonts;
  // A print dialog answering Preview for the Report Specification: the
  // preview opens at the page width, and Print Report prints it.
  fs::remove(Pdf());
  int asked = 0;
  SetPrintDialogRunner([&](CKmDoc& d) {
    ++asked;
    d.m_nRunMode = 2;
    return 3;
  });
  Drive(30030, {[&] {
    if (!PreviewWaiting()) return false;
    EXPECT_EQ(GetPrintRunContext().page.zoomLevel, 1);
    EXPECT_EQ(GetActiveKmDoc()->m_nRunMode, 2);
    ActivePreview()->OnPreviewCommand(kCmdPreviewPrintReport);
    return true;
  }});
  SetPrintDialogRunner(nullptr);
  EXPECT_EQ(asked, 1);
  const std::string again = PdfText(Pdf());
  ASSERT_NE(again.find("SELECT STATEMENT"), std::string::npos) << again;
  EXPECT_EQ(again.substr(again.find("SELECT STATEMENT")), text.substr(text.find("SELECT STATEMENT")))
      << "the same printout";
  EXPECT_EQ(GetActiveKmDoc()->m_nRunMode, 0) << "a print run ends in run mode 0";
  // The SELECT printed is the one a run of the report sends, ORDER BY and all.
  Drive(30030, {});
  auto bare = [](std::string t) {
    t.erase(std::remove_if(t.begin(), t.end(), [](unsigned char c) { return std::isspace(c); }), t.end());
    return t;
  };
  const size_t from = text.find("SELECT STATEMENT") + 16;
  const std::string sent = GetSelectResult(GetActiveKmDoc()->m_pModel)->mainStatement;
  EXPECT_NE(sent.find("order by"), std::string::npos) << sent;
  EXPECT_EQ(bare(text.substr(from, text.find("FORMAT INFORMATION") - from)), bare(sent));
}

// The printout's object tables, fonts, export options and regional
// settings: the sample report with a line, a box, a chart, a taller line and
// two exports set, saved by the program's writer, opened and printed.
TEST_F(PreviewRun, ReportSpecificationListsObjectsFontsExportsAndRegionalSettings) {
  {
    SampleDocument sample;
    std::string error;
    ASSERT_TRUE(sample.Write("VortelleSample", dir_ + "/sales.kmw", &error)) << error;
    CKmDoc& doc = sample.doc;
    doc.m_bReportOpen = TRUE;
    LayoutTables& t = *doc.m_pLayout;
    BandLineTable& L = doc.m_bandLines;
    const int summary = SummaryLine(L);
    ASSERT_GT(summary, 0);
    L.lines[summary].heightMode = 1;  // tenths of a point
    L.lines[summary].height = 245;
    const int top = L.lines[summary].bottom - L.lines[summary].pixelHeight + 1;
    LineBoxItem box = MakeNewBox();
    box.head.bandLine = static_cast<uint8_t>(summary);
    box.head.left = 96;
    box.head.right = 96 + 192;  // two inches at 96 dots
    box.head.top = top;
    box.head.bottom = top + 10;
    box.borders = 0x0F;
    box.backColour = kNoColour;
    box.pattern = 3;
    ASSERT_NE(t.linesBoxes.Append(box), nullptr);
    LineBoxItem line = MakeNewLine(0);
    line.head.bandLine = static_cast<uint8_t>(summary);
    line.head.left = 0;
    line.head.right = 96;
    line.head.top = line.head.bottom = top;
    line.thickness = 4;
    ASSERT_NE(t.linesBoxes.Append(line), nullptr);
    t.currentLine = summary;
    ChartTableEntry* chart = AddChart(doc, RECT{300, top, 400, top + 4});
    ASSERT_NE(chart, nullptr);
    ChartSettings& c = dynamic_cast<CKmChart*>(chart->chart.get())->Settings();
    c.type = 1;
    c.titles[0] = "Customershares";
    // A chart that can run: one series over the report's first number field.
    for (FieldDef* f = doc.m_pModel->fieldList; f != nullptr && c.series.empty(); f = f->next)
      if (FieldKind(f) & kFieldNumeric) c.series.push_back({doc.m_pModel->GetFieldIndex(f), ""});
    ASSERT_FALSE(c.series.empty());
    BuildLayoutItemOrder(t);
    CKmExport e;
    e.format = kExportDataFile;
    e.outputNames[kExportDataFile] = dir_ + "/lines.txt";
    e.dataFileType = kFileTypeUserSeparator;
    e.dataFileSeparator = "|";
    e.dataFileFlags = kDelimitedNamesLine;
    e.outputNames[kExportText] = dir_ + "/sales.txt";
    e.textFlags = 0x02;
    e.StoreTo(&sample.io.m_stream.settings);
    ASSERT_EQ(sample.io.SaveReportFile((dir_ + "/sales.kmw").c_str()), kRepIoOk);
  }
  Program program(dir_ + "/sales.kmw");
  ASSERT_TRUE(program.ok);
  GetPrintRunContext().printWhat = 2;
  Drive(30030, {});
  GetPrintRunContext().printWhat = 0;
  const std::string text = PdfText(Pdf());
  auto has = [&](const std::string& what) { return text.find(what) != std::string::npos; };
  for (const char* expected :
       {"Export Options", "Export Text", "Carriage returns: Once per band", "Character set: Windows (ANSI)",
        "Export Text Data File", "lines.txt", "User-specified Character Separated Value", "Separator: |",
        "Field Names: On first line", "Font Names", "LINE AND BOX FIELDS", "Line1", "Box1", "All", "CHART FIELDS",
        "Chart1", "Pie (Simple,", "Chart Title: Customershares", "Chart1", "Line Height Overrides:",
        " 24.5 points", "REGIONAL SETTINGS", "Decimal point: DOT", "Thousands: COMMA", "Currency: $ (Prefix)",
        "Short Date:", "True: T", "False: F", "Hdr 1", "Ftr 1", "Data Source: VortelleSample",
        // The DBMS line is the one that fills the first page: it goes on the next.
        "DS Driver DBMS: SQLite", "Print to File: No", "Database type", "Record Layout", "Compress record/group lines?"})
    EXPECT_TRUE(has(expected)) << expected << "\n" << text;
  // A text column's database type by the driver's number, however wide the
  // qualified names before it are.
  const size_t charType = text.find("Char ");
  ASSERT_NE(charType, std::string::npos) << text;
  EXPECT_EQ(text.compare(text.find_first_not_of(' ', charType + 4), 6, "code 2"), 0) << text;
  // The table rows: the box with every side, no back colour and pattern
  // code 3 as number 2; the line with thickness code 4 as 3. Widths are in
  // the report's inches.
  const std::string boxRow = text.substr(text.rfind("Box1"), text.find('\n', text.rfind("Box1")) - text.rfind("Box1"));
  EXPECT_NE(boxRow.find("None"), std::string::npos) << boxRow;
  EXPECT_NE(boxRow.find("All"), std::string::npos) << boxRow;
  EXPECT_EQ(boxRow.back(), '2') << boxRow;
  const std::string lineRow = text.substr(text.rfind("Line1"), text.find('\n', text.rfind("Line1")) - text.rfind("Line1"));
  EXPECT_NE(lineRow.find(" In "), std::string::npos) << lineRow;
  EXPECT_NE(lineRow.find(" 3 "), std::string::npos) << lineRow;
  EXPECT_TRUE(has("1 company              A 1 company              Always N")) << text;
  // Each field row names its font by number, and the list names that face.
  const std::string fonts = text.substr(text.find("Font Names"));
  EXPECT_NE(fonts.find("1 "), std::string::npos) << fonts;
  // The sections in the printout's order.
  EXPECT_LT(text.find("FORMAT INFORMATION"), text.find("Export Options"));
  EXPECT_LT(text.find("Export Options"), text.find("DATABASE INFORMATION"));
  EXPECT_LT(text.find("LINE INFORMATION"), text.find("SORT/GROUP INFORMATION"));
  EXPECT_LT(text.find("SORT/GROUP INFORMATION"), text.find("REGIONAL SETTINGS"));
}

// Counts the pixels near a colour on every page of a PDF rendered by
// pdftoppm (binary PPM pages).
int CountPdfPixels(const std::string& pdf, const std::string& dir, int r, int g, int b) {
  Capture("rm -f '" + dir + "'/pixels-*.ppm; pdftoppm -r 50 '" + pdf + "' '" + dir + "/pixels'");
  int n = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("pixels", 0) != 0 || entry.path().extension() != ".ppm") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::string magic;
    int w = 0, h = 0, max = 0;
    in >> magic >> w >> h >> max;
    in.get();
    if (magic != "P6" || w <= 0 || h <= 0) continue;
    std::vector<unsigned char> px(static_cast<size_t>(w) * h * 3);
    in.read(reinterpret_cast<char*>(px.data()), static_cast<std::streamsize>(px.size()));
    for (size_t i = 0; i + 2 < px.size(); i += 3)
      if (std::abs(px[i] - r) < 40 && std::abs(px[i + 1] - g) < 40 && std::abs(px[i + 2] - b) < 40) ++n;
    fs::remove(entry.path());
  }
  return n;
}

// Groups ordered by their own totals: the totals are read back and sorted
// before the report runs, and the run status dialog counts them as it goes.
TEST_F(PreviewRun, GroupsSortedByTheirTotalsCountTheTotalsReadBack) {
  {
    SampleDocument sample;
    std::string error;
    ASSERT_TRUE(sample.Write("VortelleSample", dir_ + "/sales.kmw", &error)) << error;
    CKmComposite* m = sample.doc.m_pModel;
    FieldDef* total = nullptr;
    for (FieldDef* f = m->fieldList; f != nullptr; f = f->next)
      if (std::strcmp(f->name, "CustomerTotal") == 0) total = f;
    ASSERT_NE(total, nullptr);
    total->totalFlags |= kTotalPreprocessed;
    m->sortFields[0] = static_cast<uint32_t>(m->GetFieldIndex(total));
    m->sortFields[1] = kNoField;
    ASSERT_EQ(sample.io.SaveReportFile((dir_ + "/sales.kmw").c_str()), kRepIoOk);
  }
  Program program(dir_ + "/sales.kmw");
  ASSERT_TRUE(program.ok);
  RecordingShell shell;
  Drive(30030, {});
  EXPECT_TRUE(g_messages.empty()) << g_messages.front();
  // The printout: each group with its total, from the smallest to the largest.
  const std::string text = PdfText(Pdf());
  std::vector<double> totals;
  std::istringstream printed(text);
  for (std::string line; std::getline(printed, line);)
    if (line.find("Customer total") != std::string::npos) totals.push_back(std::atof(line.substr(line.rfind(' ')).c_str()));
  ASSERT_GE(totals.size(), 5u) << text;
  EXPECT_TRUE(std::is_sorted(totals.begin(), totals.end())) << text;
  // The run status dialog counted the totals records as the sort read them
  // back: shown empty, then one by one, at least one a group.
  std::vector<std::string> counted;
  for (const std::string& line : shell.thirdLine)
    if (line.rfind("Group totals read:|", 0) == 0) counted.push_back(line.substr(line.find('|') + 1));
  ASSERT_GT(counted.size(), totals.size()) << ::testing::PrintToString(counted);
  EXPECT_EQ(counted.front(), "");
  for (size_t i = 1; i < counted.size(); ++i) EXPECT_EQ(counted[i], std::to_string(i));
}

// Database > Limit Result: a run of the sorted report reads only that many
// records, sorts them itself and says so in the run status dialog, counting
// the records it selected.
TEST_F(PreviewRun, ALimitedRunShowsItsMarker) {
  WriteReport(0);
  Program program(dir_ + "/sales.kmw");
  ASSERT_TRUE(program.ok);
  Drive(30660, {[] {
    HWND d = ui_test::ActiveDialog();
    if (d == nullptr || ui_test::Text(d) != "Limit Result") return false;
    SetDlgItemTextA(d, 300, "4");
    SendMessageA(d, WM_COMMAND, IDOK, 0);
    return true;
  }});
  RecordingShell shell;
  Drive(30030, {});
  EXPECT_NE(std::find(shell.thirdLine.begin(), shell.thirdLine.end(), "LIMITED |"), shell.thirdLine.end())
      << ::testing::PrintToString(shell.thirdLine);
  // The sort counted the four records it took.
  std::string selected;
  for (const std::string& line : shell.secondLine)
    if (line.rfind("Selected:|", 0) == 0) selected = line.substr(line.find('|') + 1);
  selected.erase(0, selected.find_first_not_of(' '));
  EXPECT_EQ(selected, "4") << ::testing::PrintToString(shell.secondLine);
  // Four order lines, no more.
  const std::string text = PdfText(Pdf());
  int lines = 0;
  std::istringstream printed(text);
  for (std::string line; std::getline(printed, line);)
    if (line.find("Customer total") != std::string::npos) ++lines;
  EXPECT_GE(lines, 1) << text;
  const std::string all = Capture("sqlite3 '" + dir_ + "/sample.db' 'select count(*) from order_lines'");
  EXPECT_GT(std::atoi(all.c_str()), 4);
  EXPECT_EQ(text.find("5962.15"), std::string::npos) << "the grand total of every line\n" << text;
}

// Pictures kept as metafile files print: a placeable Windows metafile
// (blue) and an enhanced one (red) on the Summary line, saved, read back by
// the program and printed with the rest of the report.
TEST_F(PreviewRun, MetafilePicturesPrint) {
  const std::vector<uint8_t> wmf = metafile_bytes::PlaceableWmf(1440, 1440, 720, 0xFF0000, 0, 0, 1440, 720);
  const std::vector<uint8_t> emf = metafile_bytes::Emf(2540, 1270, 0x0000FF, 0, 0, 100, 50);
  ASSERT_TRUE(metafile_bytes::WriteFile(dir_ + "/blue.wmf", wmf));
  ASSERT_TRUE(metafile_bytes::WriteFile(dir_ + "/red.emf", emf));
  {
    SampleDocument sample;
    std::string error;
    ASSERT_TRUE(sample.Write("VortelleSample", dir_ + "/sales.kmw", &error)) << error;
    CKmDoc& doc = sample.doc;
    BandLineTable& L = doc.m_bandLines;
    const int summary = SummaryLine(L);
    ASSERT_GT(summary, 0);
    L.lines[summary].heightMode = 1;
    L.lines[summary].height = 800;  // 80 points: room for the pictures
    L.lines[summary].pixelHeight = 111;
    RelayoutAfterFontChange(*doc.m_pLayout, true, kNoAnchor);
    auto picture = [&](const std::string& file, int left) {
      PictureItem p;
      p.head.flags = kNewPictureFlags;
      p.head.bandLine = static_cast<uint8_t>(summary);
      p.head.left = left;
      p.head.right = left + 99;
      p.head.bottom = L.lines[summary].bottom;
      p.head.top = p.head.bottom - 49;
      p.shownWidth = 100;
      p.shownHeight = 50;
      p.scaling = kScaleStretch;
      std::snprintf(p.fileName, sizeof p.fileName, "%s", file.c_str());
      ASSERT_NE(doc.m_pLayout->pictures.Append(p), nullptr);
    };
    picture(dir_ + "/blue.wmf", 20);
    picture(dir_ + "/red.emf", 200);
    BuildLayoutItemOrder(*doc.m_pLayout);
    ASSERT_EQ(sample.io.SaveReportFile((dir_ + "/sales.kmw").c_str()), kRepIoOk);
  }
  Program program(dir_ + "/sales.kmw");
  ASSERT_TRUE(program.ok);
  CKmDoc* doc = GetActiveKmDoc();
  ASSERT_EQ(doc->m_pLayout->pictures.Count(), 2);
  EXPECT_NE(doc->m_pLayout->pictures.At(0)->image, nullptr);
  EXPECT_NE(doc->m_pLayout->pictures.At(1)->image, nullptr);
  Drive(30030, {});
  ASSERT_TRUE(fs::exists(Pdf()));
  const std::string text = PdfText(Pdf());
  EXPECT_NE(text.find("Grand total"), std::string::npos) << text;
  // Each picture is about an inch by half an inch: at 50 dots some 1,250 pixels.
  EXPECT_GT(CountPdfPixels(Pdf(), dir_, 0, 0, 255), 600);
  EXPECT_GT(CountPdfPixels(Pdf(), dir_, 255, 0, 0), 600);
}

// The record cache: a second print, a preview and Print Report from it
// replay the rows of the first run while the query stays the same (a change
// in the database meanwhile is not seen); a changed query reads the database
// again. A cache that cannot be read back stops the run with its message,
// one the rows outgrow is not kept, and the file goes with the program.
TEST_F(PreviewRun, RunsAgainReplayTheCachedRowsUntilTheQueryChanges) {
  WriteReport(0);
  auto sql = [&](const std::string& text) {
    int status = -1;
    const std::string out = Capture("sqlite3 '" + dir_ + "/sample.db' \"" + text + "\" 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
  };
  auto print = [&](std::vector<std::function<bool()>> steps = {}) {
    fs::remove(Pdf());
    Drive(30030, std::move(steps));
    return PdfText(Pdf());
  };
  std::string cachePath;
  {
    Program program(dir_ + "/sales.kmw");
    ASSERT_TRUE(program.ok);
    CKmComposite* m = GetActiveKmDoc()->m_pModel;
    const std::string first = print();
    ASSERT_NE(first.find("Alder & Sons"), std::string::npos) << first;
    RecordCache* c = m->FindAttachment<RecordCache>();
    ASSERT_NE(c, nullptr);
    const uint64_t fetched = c->rowsFetched;
    EXPECT_GT(fetched, 0u);
    EXPECT_TRUE(c->complete);
    cachePath = c->path;
    ASSERT_FALSE(cachePath.empty());
    EXPECT_TRUE(fs::exists(cachePath));

    // The same query again: the rows of the first run, none fetched.
    sql("update order_lines set company = 'Alder Renamed' where company = 'Alder & Sons'");
    EXPECT_EQ(print(), first);
    EXPECT_EQ(c->rowsFetched, fetched);
    EXPECT_GT(c->rowsReplayed, 0u);
    fs::remove(Pdf());
    Drive(30040, {[&] {
      if (!PreviewWaiting()) return false;
      EXPECT_TRUE(ActivePreview()->OnPreviewCommand(kCmdPreviewPrintReport));
      return true;
    }});
    EXPECT_EQ(PdfText(Pdf()), first);
    EXPECT_EQ(c->rowsFetched, fetched);

    // Another order of the orders: the database's rows as they are now.
    m->sortWords[1] |= kSortDescending;
    const std::string renamed = print();
    EXPECT_NE(renamed.find("Alder Renamed"), std::string::npos) << renamed;
    EXPECT_GT(c->rowsFetched, fetched);
    EXPECT_TRUE(c->complete);

    // A cache file cut short: "Cannot read record cache", nothing printed;
    // the run after it reads the database.
    fs::resize_file(c->path, 5);
    std::string shown;
    // The message box, not the run's status box, which also has a control 200.
    print({answer_box::Press({GetActiveKmDoc()->GetAppCaption(), 200}, IDOK, &shown)});
    EXPECT_EQ(shown, "Cannot read record cache");
    EXPECT_FALSE(GetPrintRunContext().lastRunPrinted);
    uint64_t before = c->rowsFetched;
    EXPECT_EQ(print(), renamed);
    EXPECT_GT(c->rowsFetched, before);

    // Rows that outgrow the cache's limit are not kept: each run fetches them.
    c->limit = 64;
    m->sortWords[1] &= static_cast<uint16_t>(~kSortDescending);
    before = c->rowsFetched;
    const std::string ascending = print();
    EXPECT_NE(ascending.find("Alder Renamed"), std::string::npos);
    EXPECT_FALSE(c->complete);
    EXPECT_FALSE(fs::exists(c->path));
    EXPECT_GT(c->rowsFetched, before);
    before = c->rowsFetched;
    EXPECT_EQ(print(), ascending);
    EXPECT_GT(c->rowsFetched, before);
    c->limit = kRecordCacheLimit;
    print();
    cachePath = c->path;
    EXPECT_TRUE(fs::exists(cachePath));

    // A run the program ends after (/G, one copy) writes no rows down.
    GetPrintRunContext().onlyRun = true;
    m->sortWords[1] |= kSortDescending;
    before = c->rowsFetched;
    EXPECT_EQ(print(), renamed);
    GetPrintRunContext().onlyRun = false;
    EXPECT_GT(c->rowsFetched, before);
    EXPECT_FALSE(c->complete);
    EXPECT_FALSE(fs::exists(c->path));
  }
  EXPECT_FALSE(fs::exists(cachePath)) << "the cache goes with the program";
  sql("update order_lines set company = 'Alder & Sons' where company = 'Alder Renamed'");
}

TEST_F(PreviewRun, HundredPagesLastPageAndCloseDuringTheRun) {
  WriteReport(19);  // about 8,000 order lines, over a hundred pages
  Program program(dir_ + "/sales.kmw");
  ASSERT_TRUE(program.ok);
  PageOutputState& s = GetPrintRunContext().page;
  size_t bytes = 0;
  Drive(30040, {
      [&] {
        if (!PreviewWaiting()) return false;
        EXPECT_TRUE(ActivePreview()->OnPreviewCommand(kCmdPreviewNext));
        return true;
      },
      [&] {
        if (!PreviewWaiting()) return false;
        EXPECT_EQ(s.pageShown, 1);
        EXPECT_STREQ(ActivePreview()->StatusText(), "Page:  2");
        EXPECT_TRUE(ActivePreview()->OnPreviewCommand(kCmdPreviewLast));
        return true;
      },
      [&] {
        if (!PreviewWaiting()) return false;
        CPreview* v = ActivePreview();
        EXPECT_GE(s.pagesProduced, 100);
        EXPECT_EQ(s.pageShown, s.pagesProduced - 1);
        EXPECT_EQ(v->m_nLastPage, s.pagesProduced - 1);
        bytes = PreviewStoredBytes(&s);
        // Back to the first page from the store.
        EXPECT_TRUE(v->OnPreviewCommand(kCmdPreviewFirst));
        EXPECT_EQ(s.pageShown, 0);
        PostMessageA(v->PageWindow(), WM_KEYDOWN, VK_ESCAPE, 0);
        return true;
      },
  });
  EXPECT_EQ(ActivePreview(), nullptr);
  // Pages are kept as recorded steps, their texts counted whole: well under
  // 64 KB a page (a picture of the page would take megabytes).
  EXPECT_GT(bytes, 0u);
  EXPECT_LT(bytes / 100, 64u * 1024) << bytes;
  EXPECT_FALSE(fs::exists(Pdf())) << "closing prints nothing";

  // The whole report printed: each preview page below is checked against its page.
  Drive(30030, {});
  ASSERT_TRUE(fs::exists(Pdf()));
  const std::string whole = dir_ + "/whole.pdf";
  fs::rename(Pdf(), whole);
  const int pages = PdfPages(whole);
  ASSERT_GE(pages, 100);
  auto pageText = [&](const std::string& pdf, int page) {
    return Capture("pdftotext -layout -f " + std::to_string(page) + " -l " + std::to_string(page) + " '" + pdf +
                   "' - 2>/dev/null");
  };

  // A bound of about a page: the pages past it are kept out of memory, Last
  // Page reaches the report's true last page, and every page back is there.
  s.previewStoreLimit = 20000;
  const int middle = pages / 2;
  Drive(30040, {
      [&] {
        if (!PreviewWaiting()) return false;
        EXPECT_TRUE(ActivePreview()->OnPreviewCommand(kCmdPreviewLast));
        return true;
      },
      [&] {
        if (!PreviewWaiting()) return false;
        CPreview* v = ActivePreview();
        EXPECT_TRUE(v->m_bRunFinished);
        EXPECT_EQ(s.pagesProduced, pages);
        EXPECT_EQ(s.pageShown, pages - 1);
        EXPECT_EQ(v->StatusText(), "Page:  " + std::to_string(pages));
        EXPECT_LE(PreviewStoredBytes(&s), 20000u) << "memory within the bound";
        EXPECT_TRUE(v->OnPreviewCommand(kCmdPreviewPrevious));
        EXPECT_EQ(s.pageShown, pages - 2);
        EXPECT_TRUE(v->OnPreviewCommand(kCmdPreviewFirst));
        EXPECT_EQ(s.pageShown, 0);
        for (int i = 0; i < middle; ++i) EXPECT_TRUE(v->OnPreviewCommand(kCmdPreviewNext));
        EXPECT_EQ(s.pageShown, middle);
        UpdateWindow(v->PageWindow());  // drawn from the pages kept out of memory
        // Print Current Page prints the page kept, as the report printed it.
        EXPECT_TRUE(v->OnPreviewCommand(kCmdPreviewPrintPage));
        PostMessageA(v->PageWindow(), WM_KEYDOWN, VK_ESCAPE, 0);
        return true;
      },
  });
  EXPECT_EQ(ActivePreview(), nullptr);
  EXPECT_TRUE(g_messages.empty()) << g_messages.front();
  ASSERT_TRUE(fs::exists(Pdf()));
  EXPECT_EQ(PdfPages(Pdf()), 1);
  const std::string printedPage = pageText(Pdf(), 1);
  EXPECT_NE(printedPage.find_first_not_of(" \n\f"), std::string::npos);
  EXPECT_EQ(printedPage, pageText(whole, middle + 1));
  fs::remove(Pdf());

  // Where the pages past the bound cannot be kept either, the preview ends
  // with its message.
  const char* tmp = std::getenv("TMPDIR");
  const std::string keptTmp = tmp ? tmp : "";
  setenv("TMPDIR", (dir_ + "/no such folder").c_str(), 1);
  Drive(30040, {[&] {
    if (!PreviewWaiting()) return false;
    ActivePreview()->OnPreviewCommand(kCmdPreviewLast);
    return true;
  }});
  if (tmp) setenv("TMPDIR", keptTmp.c_str(), 1);
  else unsetenv("TMPDIR");
  EXPECT_EQ(ActivePreview(), nullptr);
  ASSERT_FALSE(g_messages.empty());
  EXPECT_EQ(g_messages.back(), "Insufficient memory for print/preview");
  s.previewStoreLimit = size_t(256) << 20;

  // Closing during the run (after page 1 of about a hundred) stops it cleanly.
  Drive(30040, {[&] {
    if (!PreviewWaiting()) return false;
    ActivePreview()->OnPreviewCommand(kCmdPreviewClose);
    return true;
  }});
  EXPECT_EQ(ActivePreview(), nullptr);
  EXPECT_EQ(GetActiveKmDoc()->m_pRun, nullptr);

  // Closing the program's window while the preview shows closes the preview
  // as its Close would, and the program stays.
  Drive(30040, {[&] {
    if (!PreviewWaiting()) return false;
    SendMessageA(Frame(), WM_CLOSE, 0, 0);
    return true;
  }});
  EXPECT_EQ(ActivePreview(), nullptr);
  ASSERT_NE(Frame(), nullptr);
  EXPECT_TRUE(IsWindow(Frame()));
  EXPECT_EQ(GetActiveKmDoc()->m_pRun, nullptr);
}

// A printer taken away from the system: the settings-change notice the
// window receives puts the default printer in its place, and printing works.
TEST_F(PreviewRun, ARemovedPrinterGivesWayToTheDefaultOnASettingsChange) {
  WriteReport(0);
  Program program(dir_ + "/sales.kmw");
  ASSERT_TRUE(program.ok);
  PrintRunContext& ctx = GetPrintRunContext();
  const std::string installed = ctx.printer.printerName;
  ASSERT_FALSE(installed.empty());
  ctx.printer.printerName = "Printer Taken Away";
  SendMessageA(Frame(), WM_SETTINGCHANGE, 0, 0);
  EXPECT_EQ(ctx.printer.printerName, installed);
  EXPECT_STREQ(GetActiveKmDoc()->m_szPrinterDevice, installed.c_str());
  fs::remove(Pdf());
  Drive(30031, {});
  ASSERT_TRUE(fs::exists(Pdf()));
  EXPECT_NE(PdfText(Pdf()).find("Alder"), std::string::npos);
}

TEST(OutputChecks, FormulaCallsFindsTheFunctionAsAWord) {
  EXPECT_TRUE(FormulaCalls("COPY() * 2", "COPY"));
  EXPECT_TRUE(FormulaCalls("iif(copy (1) > 1, 1, 0)", "COPY"));
  EXPECT_FALSE(FormulaCalls("COPYRIGHT(1)", "COPY"));
  EXPECT_FALSE(FormulaCalls("MYCOPY(1)", "COPY"));
  EXPECT_FALSE(FormulaCalls("\"COPY(\" + name", "COPY"));
  EXPECT_FALSE(FormulaCalls(nullptr, "COPY"));
}

TEST(PreviewGeometry, ScrollStepsBoundsAndLevelOne) {
  PageOutputState s;
  s.pageWidth = 5100;
  s.pageHeight = 6600;
  PreviewZoomRecord z = PreviewLevelOneSize(850, s);
  EXPECT_EQ(z.pageHeight, 1100);
  // Level 0 does not scroll; a line is a sixth of an inch down, twice that at level 2.
  EXPECT_EQ(PreviewScrollPosition(1, 0, 10, 1100, 500, 96, true, 0), 10);
  EXPECT_EQ(PreviewScrollPosition(1, 0, 10, 1100, 500, 96, true, 1), 26);
  EXPECT_EQ(PreviewScrollPosition(1, 0, 10, 1100, 500, 96, true, 2), 42);
  EXPECT_EQ(PreviewScrollPosition(1, 0, 10, 1100, 500, 96, false, 1), 19);
  EXPECT_EQ(PreviewScrollPosition(6, 0, 300, 1100, 500, 96, true, 1), -16);
  EXPECT_EQ(PreviewScrollPosition(7, 0, 0, 1100, 500, 96, true, 1), 616);
  EXPECT_EQ(PreviewScrollPosition(4, 5000, 0, 1100, 500, 96, true, 1), 616);
  // A narrow page scrolls horizontally only over its margin.
  EXPECT_EQ(PreviewScrollPosition(7, 0, 0, 400, 500, 96, false, 1), 16);
  PageRect whole = PreviewWholePage(300, 1000, s);
  EXPECT_LE(whole.right - whole.left, 300 - 16);
}

// The printout's header: the program's version, the system it runs on, the
// report's file with its date, the report's version; for a library member
// the library with its date.
struct ChooseMember : ReportOpenDialogs {
  std::string library;
  BOOL RunReportOpenDialog(CKmDoc& doc, BOOL*) override {
    std::snprintf(doc.m_files.chosenPath, sizeof doc.m_files.chosenPath, "%s", library.c_str());
    return TRUE;
  }
  int ChooseLibraryMember(CKmDoc& doc, const char*) override {
    std::snprintf(doc.m_szReportName2, sizeof doc.m_szReportName2, "%s", "sales");
    return 1;
  }
};

TEST_F(PreviewRun, ReportSpecificationHeaderNamesVersionSystemAndLibrary) {
  WriteReport(0);
  const std::string library = dir_ + "/sales.qb6";
  {
    SampleDocument sample;
    std::string error;
    ASSERT_TRUE(sample.Write("VortelleSample", dir_ + "/member.kmw", &error)) << error;
    LibraryFile* engine = sample.doc.LibraryEngine();
    ASSERT_NE(engine, nullptr);
    fs::remove(library);
    engine->LibFileClose(engine->LibFileCreate(library.c_str(), lib_of::ReadWrite | lib_of::Create, nullptr,
                                               kLibKindReport, 512));
    ASSERT_EQ(sample.io.SaveToLibrary(*engine, library.c_str(), "sales"), 1);
  }
  struct utsname u {};
  ASSERT_EQ(uname(&u), 0);
  int major = 0, minor = 0;
  std::sscanf(u.release, "%d.%d", &major, &minor);
  const std::string system = std::string(u.sysname) + " " + std::to_string(major) + "." + std::to_string(minor);

  Program program(dir_ + "/sales.kmw");
  ASSERT_TRUE(program.ok);
  struct SpecOnly {
    SpecOnly() { GetPrintRunContext().printWhat = 2; }
    ~SpecOnly() { GetPrintRunContext().printWhat = 0; }
  } specOnly;
  Drive(30030, {});
  ASSERT_TRUE(fs::exists(Pdf()));
  std::string text = PdfText(Pdf());
  size_t at = 0;
  for (const std::string& expected : {std::string("VORTELLE Report Designer"),
                                      std::string("Version: 2.0 U00"), std::string("Build: 1.0.9"), system, std::string("Date:"),
                                      std::string("Report Name:"), std::string("sales.kmw"), std::string("Date:"),
                                      std::string("Time:"), std::string("Report Version: 8.01"),
                                      std::string("SELECT STATEMENT")}) {
    const size_t found = text.find(expected, at);
    ASSERT_NE(found, std::string::npos) << expected << " after " << at << "\n" << text;
    at = found + expected.size();
  }
  EXPECT_EQ(text.find("Report Library:"), std::string::npos) << "a report file is no library member";

  // File > Open of the library, its member chosen.
  ChooseMember chooser;
  chooser.library = library;
  SetReportOpenDialogs(&chooser);
  SendMessageA(Frame(), WM_COMMAND, kCmdFileOpen, 0);
  SetReportOpenDialogs(nullptr);
  EXPECT_TRUE(GetActiveKmDoc()->m_bLibraryMode);
  fs::remove(Pdf());
  Drive(30030, {});
  // The member's printout, named after it: the newest PDF of the folder.
  std::string pdf = Pdf();
  fs::file_time_type newest{};
  for (const auto& entry : fs::directory_iterator(dir_))
    if (entry.path().extension() == ".pdf" && entry.last_write_time() > newest) {
      newest = entry.last_write_time();
      pdf = entry.path().string();
    }
  ASSERT_TRUE(fs::exists(pdf));
  text = PdfText(pdf);
  at = 0;
  for (const std::string& expected : {std::string("Report Version: 8.01"), std::string("Report Library:"), library,
                                      std::string("Date:"), std::string("Time:"), std::string("SELECT STATEMENT")}) {
    const size_t found = text.find(expected, at);
    ASSERT_NE(found, std::string::npos) << expected << " after " << at << "\n" << text;
    at = found + expected.size();
  }
  fs::remove(pdf);
}

// A box whose border has no colour of its own: printed black from the
// colour table, or, with the preview-window-colour switch on, in the
// system's window colour as the layout shows it.
TEST_F(PreviewRun, ABoxBorderNamingASystemColourPrintsInIt) {
  {
    SampleDocument sample;
    std::string error;
    ASSERT_TRUE(sample.Write("VortelleSample", dir_ + "/sales.kmw", &error)) << error;
    CKmDoc& doc = sample.doc;
    doc.m_bReportOpen = TRUE;
    LayoutTables& t = *doc.m_pLayout;
    BandLineTable& L = doc.m_bandLines;
    const int summary = SummaryLine(L);
    ASSERT_GT(summary, 0);
    const int top = L.lines[summary].bottom - L.lines[summary].pixelHeight + 1;
    LineBoxItem box = MakeNewBox();
    box.head.bandLine = static_cast<uint8_t>(summary);
    box.head.left = 96;
    box.head.right = 96 + 384;  // four inches at 96 dots
    box.head.top = top;
    box.head.bottom = L.lines[summary].bottom;
    box.borders = 0x0F;
    box.thickness = 8;
    box.borderColour = kNoColour;
    box.backColour = 12;  // blue
    ASSERT_NE(t.linesBoxes.Append(box), nullptr);
    BuildLayoutItemOrder(t);
    ASSERT_EQ(sample.io.SaveReportFile((dir_ + "/sales.kmw").c_str()), kRepIoOk);
  }
  // Dark pixels of the printed page at 50 dots per inch.
  auto darkPixels = [&](const char* prevWinClr) {
    WritePrivateProfileStringA("Preferences", "PrevWinClr", prevWinClr, "kmw.ini");
    fs::remove(Pdf());
    {
      Program program(dir_ + "/sales.kmw");
      EXPECT_TRUE(program.ok);
      Drive(30030, {});
    }
    WritePrivateProfileStringA("Preferences", "PrevWinClr", "0", "kmw.ini");
    const std::string ppm = dir_ + "/page";
    Capture("pdftoppm -r 50 -f 1 -l 1 '" + Pdf() + "' '" + ppm + "'");
    std::string file = ppm + "-1.ppm";
    if (!fs::exists(file)) file = ppm + "-01.ppm";
    std::ifstream in(file, std::ios::binary);
    std::string magic;
    int w = 0, h = 0, max = 0;
    in >> magic >> w >> h >> max;
    in.get();
    if (magic != "P6" || w <= 0 || h <= 0) return -1;
    std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
    in.read(reinterpret_cast<char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
    int dark = 0;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3)
      if (rgb[i] < 100 && rgb[i + 1] < 100 && rgb[i + 2] < 100) ++dark;
    fs::remove(file);
    return dark;
  };
  const int table = darkPixels("0");
  const int system = darkPixels("1");
  ASSERT_GT(table, 0);
  ASSERT_GE(system, 0);
  // Four inches and a bit around at 50 dots, at least a dot wide.
  EXPECT_GT(table - system, 400) << table << " " << system;
}

}  // namespace
