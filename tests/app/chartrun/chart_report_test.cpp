// Charts through the whole road: the sample sales report (grouped by
// customer) gets a bar chart of each customer's lines in the group footer
// and a pie of the customers' totals in the Summary, made through the
// program's own chart commands; it is saved, read back and printed
// unattended to PDF. The values the charts drew are read back from the PDF
// (the words inside each chart's box) and must equal SQLite's own sums.
#include "app/app.h"
#include "app/chart_commands.h"
#include "app/print_run.h"
#include "app/document.h"
#include "app/main_frame.h"
#include "app/sample_report.h"
#include "charts/chart.h"
#include "core/composite.h"
#include "dialogs/dependency_warning.h"
#include "engine/doc_upkeep.h"
#include "model/field_dependencies.h"
#include "expr/functions_common.h"
#include "files/report_io.h"
#include "layout/band_line_layout.h"
#include "layout/page_setup.h"
#include "platform/win/profile.h"
#include "platform/win/ui_app.h"
#include "platform/win/window_picture.h"
#include "tests/platform/ui/ui_test_util.h"
#include "tests/support/answer_box.h"
#include "tests/support/image_compare.h"
#include "tests/support/metafile_bytes.h"
#include "tests/support/pdf_words.h"
#include "tests/support/program_run.h"
#include "tests/support/sample_document.h"
#include "tests/support/screens.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using program_run::Capture;
using program_run::Have;
using program_run::ProgramPath;



uint32_t FieldNumber(CKmComposite* m, const char* name) {
  uint32_t n = 0;
  for (FieldDef* f = m->fieldList; f; f = f->next, ++n)
    if (std::strcmp(f->name, name) == 0) return n;
  ADD_FAILURE() << name;
  return kNoField;
}

using Word = PdfWord;
std::vector<Word> Words(const std::string& pdf) { return ReadPdfWords(pdf); }

bool IsNumber(const std::string& s, double* v) {
  char* end = nullptr;
  *v = std::strtod(s.c_str(), &end);
  return !s.empty() && end != nullptr && *end == 0;
}

// The numbers inside the box below each appearance of a chart's title word.
// The value axis's labels, right-aligned on one edge, are left out: what
// stays is what the chart wrote beside its bars or slices.
std::vector<std::vector<double>> ChartNumbers(const std::vector<Word>& words, const std::string& titleWord,
                                              double width, double height) {
  std::vector<std::vector<double>> charts;
  for (const Word& t : words) {
    if (t.text != titleWord) continue;
    std::vector<const Word*> inside;
    std::map<long, int> edges;
    for (const Word& w : words) {
      double v;
      if (w.page != t.page || !IsNumber(w.text, &v)) continue;
      if (w.yMin >= t.yMin && w.yMax < t.yMin + height && w.xMin > t.xMin - width && w.xMax < t.xMax + width) {
        inside.push_back(&w);
        ++edges[std::lround(w.xMax * 2)];
      }
    }
    long axis = -1;
    int most = 1;
    for (const auto& e : edges)
      if (e.second > most) most = e.second, axis = e.first;
    std::vector<double> values;
    for (const Word* w : inside)
      if (std::lround(w->xMax * 2) != axis) values.push_back(std::stod(w->text));
    charts.push_back(values);
  }
  return charts;
}

// The sample report built in a document of its own.
struct SampleDoc {
  CKmDoc doc;
  std::unique_ptr<BandLineRec[]> lines{new BandLineRec[kBandLineTableRecords]};
  CKmRepIO io{&doc};
  bool Build() {
    doc.m_bandLines.lines = lines.get();
    doc.m_pPageSetup = AllocPageSetup();
    doc.m_pRepIO = &io;
    std::string error;
    const bool ok = BuildSampleReport(doc, io, "VortelleSample", &error);
    EXPECT_TRUE(ok) << error;
    return ok;
  }
  ~SampleDoc() {
    FreePageSetup(doc.m_pPageSetup);
    doc.m_pPageSetup = nullptr;
    doc.m_pRepIO = nullptr;
  }
};

// One sample folder for the suite: the ODBC layer keeps the data source's
// settings once read, so every test works on the same database.
class ChartRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!fs::exists(ProgramPath()) || !Have("sqlite3") || !Have("pdftotext") ||
        Capture("ls /usr/lib/*/odbc/libsqlite3odbc.so 2>/dev/null").empty())
      return;
    char tmpl[] = "/tmp/vt_chart_run_XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    int status = -1;
    Capture("bash '" VT_SOURCE_DIR "/samples/make-sample' '" + dir_ + "' 2>&1", &status);
    if (status != 0) dir_.clear();
  }
  static void TearDownTestSuite() {
    if (!dir_.empty()) fs::remove_all(dir_);
    dir_.clear();
  }
  void SetUp() override {
    if (dir_.empty()) GTEST_SKIP() << "the program, sqlite3, pdftotext or the SQLite ODBC driver is missing";
    setenv("ODBCINI", (dir_ + "/odbc.ini").c_str(), 1);
    setenv("ODBCSYSINI", dir_.c_str(), 1);
    setenv("VORTELLE_WINDIR", dir_.c_str(), 1);
    UiStartApplication();
    InstallBuiltinFunctionHandlers();
  }

  // SQLite's own sums per customer, in name order.
  std::vector<std::pair<std::string, double>> CustomerSums() {
    const std::string out = Capture("sqlite3 -separator '|' '" + dir_ +
                                    "/sample.db' 'select company, sum(amount) from order_lines group by company "
                                    "order by company'");
    std::vector<std::pair<std::string, double>> sums;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
      const size_t bar = line.rfind('|');
      if (bar != std::string::npos) sums.emplace_back(line.substr(0, bar), std::stod(line.substr(bar + 1)));
    }
    return sums;
  }

  static std::string dir_;
};
std::string ChartRun::dir_;

// Also scripts/screens: the printed pages with their charts.
TEST_F(ChartRun, ScreensBarChartPerGroupAndPieOfTotalsPrintSqliteSums) {
  const std::string report = dir_ + "/charts.kmw";
  {
    SampleDoc sample;
    ASSERT_TRUE(sample.Build());
    CKmDoc& doc = sample.doc;
    CKmRepIO& io = sample.io;
    LayoutTables& t = *doc.m_pLayout;
    BandLineTable& L = doc.m_bandLines;
    // The blank line after each customer's total holds the bar chart; a new
    // Summary line under the grand total holds the pie.
    int blankFooter = -1, summary = -1, groupHeader = -1;
    for (int i = 0; i <= L.lastUsed; ++i) {
      if (L.lines[i].kind == kBandGroupHeader) groupHeader = i;
      if (L.lines[i].kind == kBandGroupFooter) blankFooter = i;
      if (L.lines[i].kind == kBandSummary) summary = i;
    }
    ASSERT_GT(blankFooter, 0);
    ASSERT_EQ(summary, L.lastUsed);
    const int pie = ++L.lastUsed;
    L.lines[pie] = L.lines[summary];
    ASSERT_GT(groupHeader, 0);
    for (int line : {blankFooter, pie, groupHeader}) {
      L.lines[line].heightMode = kHeightMeasure;
      L.lines[line].pixelHeight = line == pie ? 240 : line == groupHeader ? 150 : 180;
      L.lines[line].height = PixelsToMeasureY(t.metrics, L.lines[line].pixelHeight);
    }
    RelayoutAfterFontChange(t, true, kNoAnchor);

    auto top = [&](int line) { return L.lines[line].bottom - L.lines[line].pixelHeight + 1; };
    t.currentLine = blankFooter;
    ChartTableEntry* bars = AddChart(doc, RECT{40, top(blankFooter), 480, top(blankFooter) + 175});
    ASSERT_NE(bars, nullptr);
    ChartSettings& b = ChartOf(*bars)->Settings();
    b.type = 3;
    b.subStyle = 1;
    b.dataLabels = 1;
    b.legend = 0;
    b.titles[0] = "Lineamounts";
    b.level = kChartLevelRecord;
    b.labelField = FieldNumber(doc.m_pModel, "product");
    b.series = {{FieldNumber(doc.m_pModel, "amount"), ""}};

    ChartTableEntry* slices = AddChart(doc, RECT{40, top(pie), 600, top(pie) + 235});
    ASSERT_NE(slices, nullptr);
    ChartSettings& p = ChartOf(*slices)->Settings();
    p.type = 1;
    p.dataLabels = 1;
    p.titles[0] = "Customershares";
    p.level = 0;  // one slice per customer group
    p.labelField = FieldNumber(doc.m_pModel, "company");
    p.series = {{FieldNumber(doc.m_pModel, "CustomerTotal"), ""}};
    // A header chart: every customer's total beside each customer's name,
    // known before the records are output (the chart pre-pass).
    ChartTableEntry* head = AddChart(doc, RECT{540, top(groupHeader), 719, top(groupHeader) + 140});
    ASSERT_NE(head, nullptr);
    ChartSettings& h = ChartOf(*head)->Settings();
    h.type = 3;
    h.dataLabels = 1;
    h.titles[0] = "Headtotals";
    h.legend = 0;
    h.level = 0;
    h.labelField = FieldNumber(doc.m_pModel, "country");
    h.series = {{FieldNumber(doc.m_pModel, "CustomerTotal"), ""}};
    ASSERT_EQ(io.SaveReportFile(report.c_str()), kRepIoOk);
  }

  // Read back: both charts with their settings.
  {
    CKmDoc doc;
    std::vector<BandLineRec> lines(kBandLineTableRecords);
    doc.m_bandLines.lines = lines.data();
    ClearBandLineTable(doc.m_bandLines);
    doc.m_pPageSetup = AllocPageSetup();
    CKmRepIO io(&doc);
    doc.m_pRepIO = &io;
    ASSERT_TRUE(doc.ReadReport(report.c_str()));
    ASSERT_EQ(doc.m_pLayout->charts.Count(), 3);
    const CKmChart* bars = ChartOf(*doc.m_pLayout->charts.At(0));
    const CKmChart* pie = ChartOf(*doc.m_pLayout->charts.At(1));
    ASSERT_TRUE(bars && pie);
    EXPECT_EQ(bars->Settings().type, 3);
    EXPECT_EQ(bars->GetTitles(), "Lineamounts");
    EXPECT_EQ(pie->Settings().level, 0);
    ASSERT_EQ(pie->CountSeries(), 1);
    EXPECT_EQ(pie->Settings().series[0].field, FieldNumber(doc.m_pModel, "CustomerTotal"));
    EXPECT_EQ(pie->CheckSettings(), 0);
    FreePageSetup(doc.m_pPageSetup);
    doc.m_pPageSetup = nullptr;
  }

  int status = -1;
  const std::string output =
      Capture("cd '" + dir_ + "' && env -u DISPLAY -u WAYLAND_DISPLAY " + program_run::ProgramLeakOptions() +
                  " XDG_RUNTIME_DIR='" + dir_ + "' timeout 120 '" +
                  ProgramPath() + "' /G '" + report + "' 2>&1",
              &status);
  ASSERT_EQ(status, 0) << output;
  const std::string pdf = dir_ + "/charts.pdf";
  ASSERT_TRUE(fs::exists(pdf)) << output;
  const std::vector<Word> words = Words(pdf);
  const auto sums = CustomerSums();
  ASSERT_GE(sums.size(), 3u);

  // One bar chart per customer, its bars' labels adding up to the customer's sum.
  const auto barCharts = ChartNumbers(words, "Lineamounts", 330, 128);
  ASSERT_EQ(barCharts.size(), sums.size());
  for (size_t g = 0; g < sums.size(); ++g) {
    double drawn = 0;
    for (double v : barCharts[g]) drawn += v;
    EXPECT_NEAR(drawn, sums[g].second, 0.005) << sums[g].first;
  }

  // The header chart, above each customer's lines, shows every customer's total.
  const auto heads = ChartNumbers(words, "Headtotals", 130, 100);
  ASSERT_EQ(heads.size(), sums.size());
  for (const auto& values : heads) {
    std::vector<double> drawn = values, expected;
    for (const auto& s : sums) expected.push_back(s.second);
    std::sort(drawn.begin(), drawn.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(drawn.size(), expected.size());
    for (size_t i = 0; i < std::min(drawn.size(), expected.size()); ++i) EXPECT_NEAR(drawn[i], expected[i], 0.005);
  }

  // The pie: one slice per customer, labelled with SQLite's sum.
  const auto pies = ChartNumbers(words, "Customershares", 420, 180);
  ASSERT_EQ(pies.size(), 1u);
  std::vector<double> slices = pies[0], expected;
  for (const auto& s : sums) expected.push_back(s.second);
  std::sort(slices.begin(), slices.end());
  std::sort(expected.begin(), expected.end());
  ASSERT_EQ(slices.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(slices[i], expected[i], 0.005);
  for (int page : {1, 2}) {
    std::string png = ScreenPath("printed-charts-page" + std::to_string(page));
    png.resize(png.size() - 4);
    Capture("pdftoppm -r 72 -png -singlefile -f " + std::to_string(page) + " -l " + std::to_string(page) + " '" +
            pdf + "' '" + png + "'");
    EXPECT_TRUE(fs::exists(png + ".png"));
  }
  // The report's own text is still there around the charts.
  const std::string text = Capture("pdftotext -layout '" + pdf + "' - 2>/dev/null");
  EXPECT_NE(text.find("Grand total"), std::string::npos);
  EXPECT_NE(text.find(sums[0].first), std::string::npos);
}


// Ordinary pictures as charting and mapping programs write them print
// unattended, each at its own size on a line of the Summary: a bar chart of
// 300 bars, a scatter plot of 3,000 dots, a map of 20,000 points, a line
// chart of 20,000 points and a sine curve of 500. The pages are rendered and
// each picture's colour is found inside a box of its size, on one page. A picture that would keep the painter
// for seconds (a font of a new face for each of 30,000 letters) on a line
// of its own is left out as damaged, and the run says so.
TEST_F(ChartRun, OrdinaryChartAndMapPicturesPrintInTheirBoxes) {
  if (!Have("pdftoppm")) GTEST_SKIP() << "pdftoppm is missing";
  struct Shown {
    std::string name;
    std::vector<uint8_t> bytes;
    unsigned colour;
    double contentWidth, contentHeight;  // the share of the box the drawing in that colour spans
  };
  using namespace metafile_bytes;
  const std::vector<Shown> pictures = {
      {"bars", EmfBarChart(300), kBarColour, 0.91, 0.70},
      {"scatter", EmfScatterPlot(3000), kDotColour, 0.70, 0.65},
      {"map", EmfOutlineMap(20000), kMapColours[0], 0.85, 0.70},
      {"readings", EmfLineChart(20000), kLineColour, 0.88, 0.50},
      {"sine", EmfSineCurve(500), kSineColour, 0.88, 0.70},
      {"fonts", EmfFontFlood(30000), kFloodColour, 0, 0},
  };
  // Boxes of six by four inches (the map's eight by six shown at that width).
  constexpr int kBoxWidth = 576, kBoxHeight = 384, kLeft = 48;
  const std::string report = dir_ + "/pictures.kmw";
  {
    SampleDoc sample;
    ASSERT_TRUE(sample.Build());
    CKmDoc& doc = sample.doc;
    LayoutTables& t = *doc.m_pLayout;
    BandLineTable& L = doc.m_bandLines;
    const int summary = L.lastUsed;
    ASSERT_EQ(L.lines[summary].kind, kBandSummary);
    for (size_t i = 0; i < pictures.size(); ++i) {
      const int line = ++L.lastUsed;
      L.lines[line] = L.lines[summary];
      L.lines[line].heightMode = kHeightMeasure;
      L.lines[line].pixelHeight = kBoxHeight + 8;
      L.lines[line].height = PixelsToMeasureY(t.metrics, L.lines[line].pixelHeight);
    }
    RelayoutAfterFontChange(t, true, kNoAnchor);
    for (size_t i = 0; i < pictures.size(); ++i) {
      const std::string file = dir_ + "/" + pictures[i].name + ".emf";
      ASSERT_TRUE(WriteFile(file, pictures[i].bytes));
      const BandLineRec& line = L.lines[summary + 1 + i];
      PictureItem p;
      p.head.flags = kNewPictureFlags;
      p.head.bandLine = static_cast<uint8_t>(summary + 1 + i);
      p.head.left = kLeft;
      p.head.right = kLeft + kBoxWidth - 1;
      p.head.bottom = line.bottom;
      p.head.top = line.bottom - kBoxHeight + 1;
      p.shownWidth = kBoxWidth * 100 / 96;
      p.shownHeight = kBoxHeight * 100 / 96;
      p.scaling = kScaleStretch;
      std::snprintf(p.fileName, sizeof p.fileName, "%s", file.c_str());
      ASSERT_NE(t.pictures.Append(p), nullptr);
    }
    BuildLayoutItemOrder(t);
    ASSERT_EQ(sample.io.SaveReportFile(report.c_str()), kRepIoOk);
  }

  int status = -1;
  const std::string output =
      Capture("cd '" + dir_ + "' && env -u DISPLAY -u WAYLAND_DISPLAY " + program_run::ProgramLeakOptions() +
                  " XDG_RUNTIME_DIR='" + dir_ + "' timeout 300 '" + ProgramPath() + "' /G '" + report + "' 2>&1",
              &status);
  EXPECT_EQ(status, 0) << output;
  // A picture was refused, as a damaged one (the flood, whose letters are
  // nowhere on the pages).
  EXPECT_NE(output.find("Invalid picture file format"), std::string::npos) << output;
  const std::string pdf = dir_ + "/pictures.pdf";
  ASSERT_TRUE(fs::exists(pdf)) << output;

  // The pages from the grand total's on, at two thirds of the pictures' fineness.
  constexpr int kDpi = 200;
  int first = 0, last = 0;
  for (const Word& w : Words(pdf)) {
    if (w.text == "Grand" && first == 0) first = w.page;
    last = std::max(last, w.page);
  }
  const int pages = std::atoi(Capture("pdfinfo '" + pdf + "' | sed -n 's/^Pages: *//p'").c_str());
  ASSERT_GT(first, 0);
  last = std::max(last, pages);
  std::vector<std::string> rendered;
  for (int page = first; page <= last; ++page) {
    const std::string png = dir_ + "/pictures-" + std::to_string(page);
    Capture("pdftoppm -r " + std::to_string(kDpi) + " -png -singlefile -f " + std::to_string(page) + " -l " +
            std::to_string(page) + " '" + pdf + "' '" + png + "'");
    rendered.push_back(png + ".png");
  }
  const double box[2] = {kBoxWidth * double(kDpi) / 96, kBoxHeight * double(kDpi) / 96};
  std::vector<unsigned> colours;
  for (const Shown& shown : pictures) colours.push_back(shown.colour);
  std::vector<int> pagesWith(colours.size());
  for (const std::string& png : rendered) {
    const std::vector<ColourSpread> found = FindColourPixels(png, colours, 24);
    EXPECT_EQ(found.back().count, 0) << png;
    for (size_t i = 0; i + 1 < colours.size(); ++i) {
      const Shown& shown = pictures[i];
      const ColourSpread& s = found[i];
      SCOPED_TRACE(shown.name);
      ASSERT_GE(s.count, 0) << png;
      if (s.count < 500) continue;
      ++pagesWith[i];
      EXPECT_LE(s.width(), box[0] + 3);
      EXPECT_LE(s.height(), box[1] + 3);
      EXPECT_GE(s.width(), box[0] * shown.contentWidth * 0.95);
      EXPECT_GE(s.height(), box[1] * shown.contentHeight * 0.95);
    }
  }
  for (size_t i = 0; i + 1 < colours.size(); ++i) EXPECT_EQ(pagesWith[i], 1) << pictures[i].name;
  for (const std::string& png : rendered) fs::remove(png);
}

// A filter on a calculation the database is not given: the pie of the
// customers' totals has a slice only for each customer with passing lines,
// each the sum of those lines alone.
TEST_F(ChartRun, AFilteredReportChartsOnlyTheRowsThatPass) {
  const std::string report = dir_ + "/filtered.kmw";
  {
    SampleDoc sample;
    ASSERT_TRUE(sample.Build());
    CKmDoc& doc = sample.doc;
    CKmComposite* m = doc.m_pModel;
    ASSERT_TRUE(FilterOnLocalAmount(m, 600));
    BandLineTable& L = doc.m_bandLines;
    int summary = -1;
    for (int i = 0; i <= L.lastUsed; ++i)
      if (L.lines[i].kind == kBandSummary) summary = i;
    ASSERT_EQ(summary, L.lastUsed);
    const int pie = ++L.lastUsed;
    L.lines[pie] = L.lines[summary];
    L.lines[pie].heightMode = kHeightMeasure;
    L.lines[pie].pixelHeight = 240;
    L.lines[pie].height = PixelsToMeasureY(doc.m_pLayout->metrics, 240);
    RelayoutAfterFontChange(*doc.m_pLayout, true, kNoAnchor);
    const int top = L.lines[pie].bottom - L.lines[pie].pixelHeight + 1;
    ChartTableEntry* slices = AddChart(doc, RECT{40, top, 600, top + 235});
    ASSERT_NE(slices, nullptr);
    ChartSettings& p = ChartOf(*slices)->Settings();
    p.type = 1;
    p.dataLabels = 1;
    p.titles[0] = "Passingshares";
    p.level = 0;
    p.labelField = FieldNumber(m, "company");
    p.series = {{FieldNumber(m, "CustomerTotal"), ""}};
    ASSERT_EQ(sample.io.SaveReportFile(report.c_str()), kRepIoOk);
  }
  int status = -1;
  const std::string output =
      Capture("cd '" + dir_ + "' && env -u DISPLAY -u WAYLAND_DISPLAY " + program_run::ProgramLeakOptions() +
                  " XDG_RUNTIME_DIR='" + dir_ + "' timeout 120 '" + ProgramPath() + "' /G '" + report + "' 2>&1",
              &status);
  ASSERT_EQ(status, 0) << output;
  std::vector<double> expected;
  std::istringstream rows(Capture("sqlite3 '" + dir_ + "/sample.db' 'select sum(amount) from order_lines "
                                  "where amount > 600 group by company'"));
  for (std::string line; std::getline(rows, line);)
    if (!line.empty()) expected.push_back(std::stod(line));
  ASSERT_EQ(expected.size(), 2u);
  const auto pies = ChartNumbers(Words(dir_ + "/filtered.pdf"), "Passingshares", 420, 180);
  ASSERT_EQ(pies.size(), 1u);
  std::vector<double> drawn = pies[0];
  std::sort(drawn.begin(), drawn.end());
  std::sort(expected.begin(), expected.end());
  ASSERT_EQ(drawn.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(drawn[i], expected[i], 0.005);
}

int FindItem(HWND d, int id, UINT message, const char* text) {
  return static_cast<int>(SendDlgItemMessageA(d, id, message, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text)));
}

// The user's road: Insert > Chart on the Summary line opens the chart
// sheet on a new chart; a pie of the customer totals is chosen there; the
// report is saved, read back and printed. A chart whose series field then
// leaves the report is refused before printing with its message.
TEST_F(ChartRun, ScreensInsertChartFromTheMenuSetItUpAndPrint) {
  const std::string report = dir_ + "/menu.kmw";
  SampleDoc sample;
  ASSERT_TRUE(sample.Build());
  CKmDoc& doc = sample.doc;
  CKmRepIO& io = sample.io;
  BandLineTable& L = doc.m_bandLines;
  const int summary = ++L.lastUsed;  // a Summary line of its own under the grand total
  L.lines[summary] = L.lines[summary - 1];
  RelayoutAfterFontChange(*doc.m_pLayout, true, kNoAnchor);
  doc.m_pLayout->currentLine = summary;

  CMainFrame frame;
  ASSERT_TRUE(frame.Create(&doc, "VORTELLE"));
  ShowWindow(frame.m_hWnd, SW_SHOWNORMAL);
  answer_box::Answer sheet({"Chart Properties", 500}, [&](HWND d) {
    SendDlgItemMessageA(d, 500, CB_SETCURSEL, FindItem(d, 500, CB_FINDSTRINGEXACT, "Pie"), 0);
    SendDlgItemMessageA(d, 510, CB_SETCURSEL, FindItem(d, 510, CB_FINDSTRINGEXACT, "Group 1"), 0);
    SendDlgItemMessageA(d, 511, CB_SETCURSEL, FindItem(d, 511, CB_FINDSTRINGEXACT, "company"), 0);
    SendDlgItemMessageA(d, 512, LB_SETSEL, TRUE, FindItem(d, 512, LB_FINDSTRINGEXACT, "CustomerTotal"));
    SetDlgItemTextA(d, 520, "Menushares");
    CheckDlgButton(d, 531, BST_CHECKED);
    EXPECT_TRUE(SaveWindowPicture(d, ScreenPath("chart-properties").c_str()));
    ui_test::Click(GetDlgItem(d, IDOK));
  });
  // Insert > Chart arms the outline tool; three inches by one and a half
  // outlined from the Summary line's top places the chart and opens its sheet.
  MoveWindow(frame.m_hWnd, 0, 0, 1000, 720, TRUE);
  SendMessageA(frame.m_hWnd, WM_COMMAND, kCmdInsertChart, 0);
  {
    const LayoutTables& lt = *doc.m_pLayout;
    const BandLineRec& line = L.lines[summary];
    const int x0 = 2 - lt.scrollX, y0 = line.bottom - line.pixelHeight + 3 - lt.scrollY;
    HWND view = frame.m_wndLayoutView.m_hWnd;
    SendMessageA(view, WM_LBUTTONDOWN, 1, MAKELPARAM(x0, y0));
    SendMessageA(view, WM_MOUSEMOVE, 1, MAKELPARAM(x0 + 288, y0 + 144));
    SendMessageA(view, WM_LBUTTONUP, 0, MAKELPARAM(x0 + 288, y0 + 144));
  }
  ASSERT_EQ(sheet.count(), 1);
  // The designer shows the new chart where it was placed.
  EXPECT_TRUE(SaveWindowPicture(frame.m_hWnd, ScreenPath("designer-with-chart").c_str()));
  ASSERT_EQ(doc.m_pLayout->charts.Count(), 1);
  const CKmChart* chart = ChartOf(*doc.m_pLayout->charts.At(0));
  ASSERT_NE(chart, nullptr);
  EXPECT_EQ(chart->Settings().type, 1);
  EXPECT_EQ(chart->Settings().level, 0);
  EXPECT_EQ(chart->GetTitles(), "Menushares");
  ASSERT_EQ(chart->CountSeries(), 1);
  EXPECT_EQ(chart->Settings().series[0].field, FieldNumber(doc.m_pModel, "CustomerTotal"));
  EXPECT_EQ(doc.m_pLayout->charts.At(0)->head.bandLine, summary);
  EXPECT_EQ(GetPrintRunServices().CheckChartsBeforeOutput(doc), true);
  ASSERT_EQ(io.SaveReportFile(report.c_str()), kRepIoOk);

  int status = -1;
  const std::string output =
      Capture("cd '" + dir_ + "' && env -u DISPLAY -u WAYLAND_DISPLAY " + program_run::ProgramLeakOptions() +
                  " XDG_RUNTIME_DIR='" + dir_ + "' timeout 120 '" +
                  ProgramPath() + "' /G '" + report + "' 2>&1",
              &status);
  ASSERT_EQ(status, 0) << output;
  const std::vector<Word> words = Words(dir_ + "/menu.pdf");
  const auto pies = ChartNumbers(words, "Menushares", 300, 170);
  ASSERT_EQ(pies.size(), 1u);
  double drawn = 0, total = 0;
  for (double v : pies[0]) drawn += v;
  for (const auto& s : CustomerSums()) total += s.second;
  EXPECT_NEAR(drawn, total, 0.01);

  // Removing the customer total asks first, naming the chart that shows it.
  FieldDef* gone = doc.m_pModel->GetFieldAt(FieldNumber(doc.m_pModel, "CustomerTotal"));
  InstallDependencyWarningDialog(&doc);
  gone->flags |= kFieldRemoveMark;
  PropagateRemovalMarksOnly(doc.m_pModel);
  std::vector<std::string> listed;
  answer_box::Answer affected({"Fields Affected", 202}, [&](HWND d) {
    const LRESULT n = SendDlgItemMessageA(d, 202, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
      char text[128] = {};
      SendDlgItemMessageA(d, 202, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
      listed.push_back(text);
    }
    EndDialog(d, 1);
  });
  EXPECT_TRUE(ConfirmRemoveUsers(doc.m_pModel, "delete"));
  EXPECT_EQ(listed, (std::vector<std::string>{"Menushares"}));
  InstallDependencyWarningDialog(nullptr);
  ClearFieldMarks(doc.m_pModel, false);
  // It leaves the report (with the model's links of an opened report in
  // place): the chart must be edited before the report prints again.
  InitReportState(&doc, true);
  gone->head.flags &= ~kItemKindField;
  doc.m_pModel->DeleteField(gone, 0);
  std::string message;
  answer_box::Answer refused({doc.GetAppCaption(), 200}, IDOK, &message);
  EXPECT_FALSE(GetPrintRunServices().CheckChartsBeforeOutput(doc));
  EXPECT_NE(message.find("Chart must be edited:"), std::string::npos) << message;
  EXPECT_NE(message.find("Chart title is: Menushares"), std::string::npos) << message;
}

// Options > Chart Settings writes the base font (cut to 31 characters) and
// the palette to [Defaults]; Cancel writes nothing.
TEST(ChartDefaults, ScreensTheSheetWritesItsTwoKeys) {
  UiStartApplication();
  char tmpl[] = "/tmp/vt_chart_defaults_XXXXXX";
  const std::string dir = ::mkdtemp(tmpl);
  setenv("VORTELLE_WINDIR", dir.c_str(), 1);
  const std::string ini = dir + "/kmw.ini";
  CKmDoc doc;
  CMainFrame frame;
  ASSERT_TRUE(frame.Create(&doc, "VORTELLE"));

  {
    const answer_box::Answer cancel({"Chart Defaults", 540}, IDCANCEL);
    SendMessageA(frame.m_hWnd, WM_COMMAND, kCmdChartDefaults, 0);
    EXPECT_EQ(cancel.count(), 1);
  }
  EXPECT_FALSE(fs::exists(ini)) << "Cancel leaves the file as it was";

  const std::string longFace(40, 'F');
  const answer_box::Answer chosen({"Chart Defaults", 540}, [&](HWND d) {
    EXPECT_TRUE(SaveWindowPicture(d, ScreenPath("chart-defaults").c_str()));
    SetDlgItemTextA(d, 540, longFace.c_str());
    SendDlgItemMessageA(d, 541, CB_SETCURSEL, FindItem(d, 541, CB_FINDSTRINGEXACT, "Palette 7"), 0);
    ui_test::Click(GetDlgItem(d, IDOK));
  });
  SendMessageA(frame.m_hWnd, WM_COMMAND, kCmdChartDefaults, 0);
  char face[64] = {};
  GetPrivateProfileStringA("Defaults", "ChartFontBase", "", face, sizeof face, ini.c_str());
  EXPECT_EQ(std::string(face), longFace.substr(0, 31));
  EXPECT_EQ(GetPrivateProfileIntA("Defaults", "ChartPalette", -1, ini.c_str()), 7u);
  EXPECT_EQ(doc.m_settings.chartPalette, 7);
  // New charts take them.
  std::unique_ptr<CKmChart> fresh = NewDefaultChart(&doc);
  EXPECT_EQ(fresh->Settings().colourScheme, 7);
  unsetenv("VORTELLE_WINDIR");
  fs::remove_all(dir);
}

}  // namespace
