// A user's way through the page dialogs: Default Settings (margins, font and
// size), a new blank report on the sample database, a label stock chosen in
// Record Layout, then File > Print through the Print dialog to the PDF printer
// with a page range. The PDF holds the one page asked for, its labels side by side.
// Then labels as Record Layout sets them: the default face and size come from
// the settings file at start-up and go to every field of a new blank report;
// three columns filled across, with a pitch set with the height's spin, are
// saved, read back and printed, then printed filled down with a taller pitch.
// The words' boxes in the PDF show the arrangement.
#include "app/app.h"
#include "app/document.h"
#include "app/label_stocks.h"
#include "app/open_report.h"
#include "app/print_run.h"
#include "core/composite.h"
#include "core/fields.h"
#include "data/data_access.h"
#include "expr/functions_common.h"
#include "foundation/settings.h"
#include "files/report_io.h"
#include "layout/fonts.h"
#include "layout/layout_records.h"
#include "layout/page_setup.h"
#include "platform/printer/printer_info.h"
#include "platform/win/profile.h"
#include "platform/win/ui_app.h"
#include "tests/app/options/dialog_steps.h"
#include "tests/app/options/sample_setup.h"
#include "tests/support/program_run.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <strings.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace options_test;

class StartBlank : public NewReportSteps {
 public:
  int RunStartDialog(CKmDoc&) override { return 3; }
};

struct WordBox {
  double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
  int page = 0;
};

// The first box of each word of the PDF, by its text, from pdftotext -bbox.
std::map<std::string, WordBox> WordBoxes(const std::string& pdf) {
  std::map<std::string, WordBox> boxes;
  std::istringstream in(program_run::Capture("pdftotext -bbox '" + pdf + "' - 2>/dev/null"));
  std::string line;
  int page = 0;
  while (std::getline(in, line)) {
    if (line.find("<page ") != std::string::npos) ++page;
    if (line.find("<word ") == std::string::npos) continue;
    WordBox b;
    b.page = page;
    auto attr = [&](const char* name) {
      const size_t at = line.find(std::string(name) + "=\"");
      return at == std::string::npos ? 0.0 : std::atof(line.c_str() + at + std::strlen(name) + 2);
    };
    b.xMin = attr("xMin");
    b.yMin = attr("yMin");
    b.xMax = attr("xMax");
    b.yMax = attr("yMax");
    const size_t open = line.find('>'), close = line.rfind("</word>");
    if (open == std::string::npos || close == std::string::npos || close < open) continue;
    boxes.emplace(line.substr(open + 1, close - open - 1), b);
  }
  return boxes;
}

class LabelPrintScenario : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = SampleDir();
    if (dir_.empty()) GTEST_SKIP() << "the SQLite ODBC driver, sqlite3 or pdftotext is missing";
    UiStartApplication();
    InstallBuiltinFunctionHandlers();
  }
  void TearDown() override { SetNewReportSteps(nullptr); }
  std::string dir_;
};

// The field alone on the one record line, the line height pixels tall.
void PlaceAloneOnRecordLine(CKmDoc& doc, FieldDef* f, int height) {
  BandLineTable& t = doc.m_bandLines;
  ClearBandLineTable(t);
  t.lastUsed = 0;
  BandLineRec& rec = t.lines[0];
  rec = BandLineRec{};
  rec.kind = kBandRecord;
  rec.objectId = -1;
  const int line = doc.m_pLayout->DefaultLineHeight();
  rec.pixelHeight = std::max(line, f->head.height);
  rec.bottom = rec.pixelHeight - 1;
  rec.baseline = rec.bottom - std::max(3, static_cast<int>(f->head.descent));
  ReportItemHead& h = f->head;
  h.bandLine = 0;
  h.column = 0;
  h.width = 24;
  h.left = 0;
  h.right = 239;
  h.top = 0;
  h.bottom = rec.bottom;
  if (h.height == 0) h.height = line;
  h.flags |= kItemFixedPosition;
  MarkFieldPlaced(f);
  f->flags |= kFieldItem | kFieldNeeded;
  f->displayWidth = 24;
  BuildLayoutItemOrder(*doc.m_pLayout);
  if (height > rec.pixelHeight) SetBandLineHeight(doc, 0, height);
}

// The field alone on a record line as tall as most of a page, so each row of
// labels fills a page.
void PlaceTallRecordLine(CKmDoc& doc, FieldDef* f) {
  ReportItemHead& h = f->head;
  h.height = doc.m_pLayout->DefaultLineHeight();
  h.pointSize = 100;
  h.faceAtom = AddFaceAtom("Arial");
  PlaceAloneOnRecordLine(doc, f, 7 * 96);
}

// File > New, a blank report on the customers (the settings name the
// sample's data source, so only the master table is asked for).
void NewBlankOnCustomers(DialogSteps& steps, HWND frame) {
  static StartBlank start;
  SetNewReportSteps(&start);
  steps.Dialog("Master  Table", [](HWND d) {
    const LRESULT at = SendDlgItemMessageA(d, 200, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                           reinterpret_cast<LPARAM>("customers"));
    ASSERT_NE(at, LB_ERR);
    SendDlgItemMessageA(d, 200, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
    Press(d, IDOK);
  });
  steps.Run([&] { SendMessageA(frame, WM_COMMAND, kCmdFileNew, 0); });
}

FieldDef* FieldNamed(CKmDoc& doc, const char* name) {
  for (FieldDef* f = doc.m_pModel->fieldList; f; f = f->next)
    if (strcasecmp(f->name, name) == 0) return f;
  return nullptr;
}

TEST_F(LabelPrintScenario, DefaultsNewBlankReportLabelStockAndAPageRangeToPdf) {
  RunningProgram program;
  ASSERT_TRUE(program.started);
  CKmDoc* doc = GetActiveKmDoc();
  ASSERT_NE(doc, nullptr);
  HWND frame = doc->m_pMainFrame->m_hWnd;
  DialogSteps steps;
  auto command = [&](UINT id) { steps.Run([&] { SendMessageA(frame, WM_COMMAND, id, 0); }); };

  // Options > Default Settings: margins, font and size for new reports; the
  // face is one of the printer's other than the first.
  const std::vector<PrinterFontFamily> families = GetPrinterFontFamilies(kPdfPrinterName);
  ASSERT_GT(families.size(), 1u);
  const std::string face = families.back().face;
  steps.Dialog("Default Settings", [&](HWND d) {
    SetText(d, 201, "0.30");
    SetText(d, 203, "0.40");
    SetText(d, 205, "0.25");
    SetText(d, 207, "0.35");
    SetText(d, 217, face);
    SetText(d, 218, "10.0");
    Press(d, IDOK);
  });
  command(32018);
  EXPECT_EQ(doc->m_settings.topM, 30);
  EXPECT_EQ(doc->m_settings.pts, 100);

  // File > New, a blank report on the customers.
  NewBlankOnCustomers(steps, frame);
  ASSERT_TRUE(doc->m_bReportOpen);
  const PageSetupRec& ps = *doc->m_pPageSetup;
  EXPECT_EQ(ps.TopMargin, 30);
  EXPECT_EQ(ps.BottomMargin, 40);
  EXPECT_EQ(ps.LeftMargin, 25);
  EXPECT_EQ(ps.RightMargin, 35);
  // The fonts take the default face and size whenever they are loaded.
  EXPECT_EQ(doc->m_pFonts->settingsFace, face);
  EXPECT_EQ(doc->m_pFonts->settingsSize, 100);
  FieldDef* company = FieldNamed(*doc, "company");
  ASSERT_NE(company, nullptr);
  PlaceTallRecordLine(*doc, company);

  // Format > Record Layout: the stock, filled down its columns.
  steps.Dialog("Record Layout", [](HWND d) {
    Choose(d, 220, Find(d, 220, "Big 2 across"));
    CheckDlgButton(d, 221, BST_UNCHECKED);
    CheckDlgButton(d, 222, BST_CHECKED);
    Press(d, IDOK);
  });
  command(30514);
  EXPECT_EQ(ReportLabelStock(*doc), "Big 2 across");
  EXPECT_EQ(ps.RecordsAcross, 2);
  EXPECT_EQ(ps.RecordWidth, 400);
  EXPECT_EQ(ps.TopMargin, 50);

  // File > Print: the PDF printer, page 2 only, to a file.
  const std::string pdf = dir_ + "/labels.pdf";
  steps.Dialog("Print", [&](HWND d) {
    Choose(d, 1139, Find(d, 1139, kPdfPrinterName));
    CheckDlgButton(d, 1056, BST_UNCHECKED);
    CheckDlgButton(d, 1058, BST_CHECKED);
    SetText(d, 1152, "2");
    SetText(d, 1153, "2");
    CheckDlgButton(d, 1040, BST_CHECKED);
    Press(d, 1040);
    SetText(d, 1155, pdf);
    Press(d, IDOK);
  });
  GetPrintRunContext().lastRunPrinted = false;
  command(30030);
  EXPECT_TRUE(GetPrintRunContext().lastRunPrinted);
  ASSERT_TRUE(fs::exists(pdf));
  const std::string info = program_run::Capture("pdfinfo '" + pdf + "' 2>/dev/null | grep Pages:");
  EXPECT_EQ(info.substr(info.find_last_of(' ') + 1), "1\n") << info;
  const std::string text = program_run::Capture("pdftotext -layout '" + pdf + "' - 2>/dev/null");
  // The second row of labels, its two records side by side on one line.
  size_t line = text.find("Castell Trading");
  ASSERT_NE(line, std::string::npos) << text;
  const size_t end = text.find('\n', line);
  EXPECT_NE(text.substr(line, end - line).find("Dunmore Supply"), std::string::npos) << text;
  for (const char* other : {"Alder", "Brightwater", "Esker", "Fennick"})
    EXPECT_EQ(text.find(other), std::string::npos) << other << "\n" << text;
}

TEST_F(LabelPrintScenario, StartupFontAcrossWithPitchSavedReadBackAndPrintedThenDown) {
  // The settings file names a face of the PDF printer other than the first,
  // at 18 points, before the program starts.
  const std::vector<PrinterFontFamily> families = GetPrinterFontFamilies(kPdfPrinterName);
  ASSERT_GT(families.size(), 1u);
  const std::string face = families.back().face;
  const std::string ini = SettingsIniPath();
  ASSERT_TRUE(WritePrivateProfileStringA("Defaults", "FaceName", face.c_str(), ini.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringA("Defaults", "Pts", "180", ini.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringA("Defaults", "TopM", "50", ini.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringA("Defaults", "BotM", "50", ini.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringA("Defaults", "PgLM", "1", ini.c_str()));

  RunningProgram program;
  ASSERT_TRUE(program.started);
  CKmDoc* doc = GetActiveKmDoc();
  ASSERT_NE(doc, nullptr);
  HWND frame = doc->m_pMainFrame->m_hWnd;
  DialogSteps steps;
  auto command = [&](UINT id) { steps.Run([&] { SendMessageA(frame, WM_COMMAND, id, 0); }); };

  // File > New, a blank report on the customers: its fields take the face and size.
  NewBlankOnCustomers(steps, frame);
  ASSERT_TRUE(doc->m_bReportOpen);
  ASSERT_FALSE(doc->m_pFonts->table.empty());
  const int faceIndex = FindFontByFace(*doc->m_pFonts, face.c_str(), false);
  ASSERT_GE(faceIndex, 0);
  EXPECT_EQ(doc->m_pFonts->defaultIndex, faceIndex);
  for (FieldDef* f = doc->m_pModel->fieldList; f; f = f->next) {
    EXPECT_EQ(f->head.fontIndex, faceIndex) << f->name;
    EXPECT_EQ(f->head.pointSize, 180) << f->name;
  }
  FieldDef* company = FieldNamed(*doc, "company");
  ASSERT_NE(company, nullptr);
  PlaceAloneOnRecordLine(*doc, company, 0);

  // Format > Record Layout: three columns 2.75 inches apart, filled across,
  // the pitch stepped up from one inch with the height's spin.
  steps.Dialog("Record Layout", [](HWND d) {
    Choose(d, 220, 0);
    SetText(d, 203, "3");
    SetText(d, 205, "2.75");
    SetText(d, 207, "1.00");
    for (int i = 0; i < 5; ++i) SendDlgItemMessageA(d, 208, WM_KEYDOWN, VK_UP, 0);
    EXPECT_EQ(ControlText(d, 207), "1.50");
    CheckDlgButton(d, 221, BST_CHECKED);
    CheckDlgButton(d, 222, BST_UNCHECKED);
    Press(d, IDOK);
  });
  command(30514);
  EXPECT_EQ(LabelColumns(*doc->m_pPageSetup), 3);
  EXPECT_EQ(doc->m_pPageSetup->DownOrder, 0);
  EXPECT_EQ(doc->m_pPageSetup->RecordHeight, 150);
  EXPECT_EQ(doc->m_pPageSetup->RecordWidth, 275);

  // File > Save As, then read back through File > Open: the layout comes back as set.
  const std::string report = dir_ + "/labels_across.kmw";
  steps.File("Save As", report);
  command(kCmdFileSaveAs);
  ASSERT_TRUE(fs::exists(report));
  EXPECT_FALSE(doc->IsModified());
  steps.File("Open Report", report);
  command(kCmdFileOpen);
  ASSERT_TRUE(doc->m_bReportOpen);
  ASSERT_NE(doc->m_pPageSetup, nullptr);
  EXPECT_EQ(LabelColumns(*doc->m_pPageSetup), 3);
  EXPECT_EQ(doc->m_pPageSetup->DownOrder, 0);
  EXPECT_EQ(doc->m_pPageSetup->RecordHeight, 150);
  EXPECT_EQ(doc->m_pPageSetup->RecordWidth, 275);

  auto print = [&](const std::string& pdf) {
    GetPrintRunContext().lastRunPrinted = false;
    PrintToPdfFile(steps, frame, pdf);
    EXPECT_TRUE(GetPrintRunContext().lastRunPrinted);
    ASSERT_TRUE(fs::exists(pdf));
  };

  // Across: three to a row, a record width apart; the next row one pitch lower.
  const std::string across = dir_ + "/across.pdf";
  print(across);
  std::map<std::string, WordBox> w = WordBoxes(across);
  for (const char* word : {"Alder", "Brightwater", "Castell", "Dunmore", "Esker", "Fennick"})
    ASSERT_EQ(w.count(word), 1u) << word;
  const double inch = 72.0;
  EXPECT_NEAR(w["Brightwater"].yMin, w["Alder"].yMin, 1.0);
  EXPECT_NEAR(w["Castell"].yMin, w["Alder"].yMin, 1.0);
  EXPECT_NEAR(w["Brightwater"].xMin - w["Alder"].xMin, 2.75 * inch, 2.0);
  EXPECT_NEAR(w["Castell"].xMin - w["Brightwater"].xMin, 2.75 * inch, 2.0);
  EXPECT_NEAR(w["Dunmore"].xMin, w["Alder"].xMin, 1.0);
  EXPECT_NEAR(w["Dunmore"].yMin - w["Alder"].yMin, 1.5 * inch, 2.0);
  EXPECT_NEAR(w["Fennick"].yMin - w["Castell"].yMin, 1.5 * inch, 2.0);
  // The default size: an 18-point word stands far taller than a 12-point one.
  EXPECT_GT(w["Alder"].yMax - w["Alder"].yMin, 15.0);
  const std::string fonts = program_run::Capture("pdffonts '" + across + "' 2>/dev/null");
  // The family without its foundry, as the PDF names the embedded font.
  std::string squeezed = face.substr(0, face.find(" ["));
  squeezed.erase(std::remove(squeezed.begin(), squeezed.end(), ' '), squeezed.end());
  EXPECT_TRUE(fonts.find(face) != std::string::npos || fonts.find(squeezed) != std::string::npos)
      << face << "\n" << fonts;

  // Down, four inches a label: two fill a column of the ten-inch page, the
  // third starts the next column at the top.
  steps.Dialog("Record Layout", [](HWND d) {
    SetText(d, 207, "4.00");
    CheckDlgButton(d, 221, BST_UNCHECKED);
    CheckDlgButton(d, 222, BST_CHECKED);
    Press(d, IDOK);
  });
  command(30514);
  EXPECT_EQ(doc->m_pPageSetup->DownOrder, 1);
  EXPECT_EQ(LabelColumns(*doc->m_pPageSetup), 3);
  const std::string down = dir_ + "/down.pdf";
  print(down);
  w = WordBoxes(down);
  for (const char* word : {"Alder", "Brightwater", "Castell", "Dunmore", "Esker", "Fennick"})
    ASSERT_EQ(w.count(word), 1u) << word;
  EXPECT_NEAR(w["Brightwater"].xMin, w["Alder"].xMin, 1.0);
  EXPECT_NEAR(w["Brightwater"].yMin - w["Alder"].yMin, 4 * inch, 2.0);
  EXPECT_NEAR(w["Castell"].yMin, w["Alder"].yMin, 1.0);
  EXPECT_NEAR(w["Castell"].xMin - w["Alder"].xMin, 2.75 * inch, 2.0);
  EXPECT_NEAR(w["Dunmore"].yMin, w["Brightwater"].yMin, 1.0);
  EXPECT_NEAR(w["Esker"].xMin - w["Castell"].xMin, 2.75 * inch, 2.0);
  EXPECT_EQ(w["Fennick"].page, 1);
}

}  // namespace
