// A user's way through the page dialogs: Default Settings (margins, font and
// size), a new blank report on the sample database, a label stock chosen in
// Record Layout, then File > Print through the Print dialog to the PDF printer
// with a page range. The PDF holds the one page asked for, its labels side by side.
#include "app/app.h"
#include "app/document.h"
#include "app/label_stocks.h"
#include "app/open_report.h"
#include "app/print_run.h"
#include "core/composite.h"
#include "core/fields.h"
#include "data/data_access.h"
#include "expr/functions_common.h"
#include "files/report_io.h"
#include "layout/fonts.h"
#include "layout/layout_records.h"
#include "layout/page_setup.h"
#include "platform/printer/printer_info.h"
#include "platform/win/ui_app.h"
#include "tests/app/options/dialog_steps.h"
#include "tests/app/options/sample_setup.h"
#include "tests/support/program_run.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
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

// The field alone on a record line as tall as most of a page, so each row of
// labels fills a page.
void PlaceTallRecordLine(CKmDoc& doc, FieldDef* f) {
  BandLineTable& t = doc.m_bandLines;
  ClearBandLineTable(t);
  t.lastUsed = 0;
  BandLineRec& rec = t.lines[0];
  rec = BandLineRec{};
  rec.kind = kBandRecord;
  rec.objectId = -1;
  const int line = doc.m_pLayout->DefaultLineHeight();
  rec.pixelHeight = line;
  rec.bottom = line - 1;
  rec.baseline = line - 4;
  ReportItemHead& h = f->head;
  h.bandLine = 0;
  h.column = 0;
  h.width = 24;
  h.left = 0;
  h.right = 239;
  h.top = 0;
  h.bottom = rec.bottom;
  h.height = line;
  h.pointSize = 100;
  h.faceAtom = AddFaceAtom("Arial");
  h.flags |= kItemKindField | kItemFixedPosition;
  f->flags |= kFieldItem | kFieldNeeded;
  f->displayWidth = 24;
  BuildLayoutItemOrder(*doc.m_pLayout);
  SetBandLineHeight(doc, 0, 7 * 96);
}

TEST_F(LabelPrintScenario, DefaultsNewBlankReportLabelStockAndAPageRangeToPdf) {
  CKmApp app;
  std::string program = "vortelle";
  char* argv[] = {program.data(), nullptr};
  // The program ends however the scenario ends.
  struct Exit {
    CKmApp& app;
    ~Exit() {
      if (CKmDoc* d = GetActiveKmDoc()) d->SetModifiedFlag(FALSE);
      app.ExitInstance();
    }
  } exit{app};
  ASSERT_TRUE(app.InitInstance(1, argv));
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
  StartBlank start;
  SetNewReportSteps(&start);
  // The settings name the sample's data source, so only the master table is asked for.
  steps.Dialog("Master  Table", [](HWND d) {
    const LRESULT at = SendDlgItemMessageA(d, 200, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                           reinterpret_cast<LPARAM>("customers"));
    ASSERT_NE(at, LB_ERR);
    SendDlgItemMessageA(d, 200, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
    Press(d, IDOK);
  });
  command(kCmdFileNew);
  ASSERT_TRUE(doc->m_bReportOpen);
  const PageSetupRec& ps = *doc->m_pPageSetup;
  EXPECT_EQ(ps.TopMargin, 30);
  EXPECT_EQ(ps.BottomMargin, 40);
  EXPECT_EQ(ps.LeftMargin, 25);
  EXPECT_EQ(ps.RightMargin, 35);
  // The fonts take the default face and size whenever they are loaded.
  EXPECT_EQ(doc->m_pFonts->settingsFace, face);
  EXPECT_EQ(doc->m_pFonts->settingsSize, 100);
  FieldDef* company = nullptr;
  for (FieldDef* f = doc->m_pModel->fieldList; f; f = f->next)
    if (strcasecmp(f->name, "company") == 0) company = f;
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

}  // namespace
