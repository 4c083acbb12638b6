// The option, page and print dialogs driven through their controls on the
// real frame with the sample report open: every refusal of OK with its
// message, Cancel writing nothing, the settings file's keys in their order.
#include "app/app.h"
#include "app/default_settings_dialog.h"
#include "app/document.h"
#include "app/frame_bars.h"
#include "app/label_stocks.h"
#include "app/main_frame.h"
#include "app/print_dialog.h"
#include "app/print_run.h"
#include "app/sample_report.h"
#include "expr/functions_common.h"
#include "files/report_io.h"
#include "layout/band_line_layout.h"
#include "layout/fonts.h"
#include "layout/layout_records.h"
#include "layout/page_setup.h"
#include "platform/win/beep.h"
#include "platform/win/help.h"
#include "platform/win/tooltip.h"
#include "platform/win/ui_app.h"
#include "platform/win/window_picture.h"
#include "tests/app/options/dialog_steps.h"
#include "tests/app/options/sample_setup.h"
#include "tests/support/program_run.h"
#include "tests/support/sample_document.h"
#include "tests/support/screens.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace options_test;

constexpr UINT kCmdPageSetup = 30512, kCmdPrint = 30030, kCmdRecordLayout = 30514, kCmdPreferences = 32020,
               kCmdDataSourcePrefs = 32023, kCmdDefaults = 32018, kCmdFileSettings = 32022,
               kCmdConnections = 32005;
constexpr char kBadNumber[] = "Invalid numeric value or value out of range";


// [section]'s keys in file order.
std::vector<std::string> Keys(const std::string& file, const std::string& section) {
  std::ifstream in(file);
  std::vector<std::string> keys;
  bool inside = false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] == '[') {
      inside = line == "[" + section + "]";
      continue;
    }
    if (inside && line.find('=') != std::string::npos) keys.push_back(line.substr(0, line.find('=')));
  }
  return keys;
}

std::string Slurp(const std::string& file) {
  std::ifstream in(file);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class OptionDialogs : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = SampleDir();
    if (dir_.empty()) return;
    UiStartApplication();
    InstallBuiltinFunctionHandlers();
    report_ = dir_ + "/sales.kmw";
    {
      SampleDocument scratch;
      std::string error;
      if (!WriteSampleReport(scratch.doc, scratch.io, "VortelleSample", report_.c_str(), &error)) return;
    }
    app_ = new CKmApp;
    std::string program = "vortelle";
    char* argv[] = {program.data(), report_.data(), nullptr};
    ready_ = app_->InitInstance(2, argv) != FALSE;
  }
  static void TearDownTestSuite() {
    if (app_ != nullptr) {
      app_->ExitInstance();
      delete app_;
      app_ = nullptr;
    }
  }
  void SetUp() override {
    if (!ready_) GTEST_SKIP() << "the SQLite ODBC driver, sqlite3 or the program's start-up is missing";
    doc = GetActiveKmDoc();
    ASSERT_NE(doc, nullptr);
    ASSERT_TRUE(doc->m_bReportOpen);
    frame = doc->m_pMainFrame->m_hWnd;
    doc->SetModifiedFlag(FALSE);
  }
  void Command(UINT id) {
    steps.Run([this, id] { SendMessageA(frame, WM_COMMAND, id, 0); });
  }
  std::string Ini() const { return dir_ + "/kmw.ini"; }

  static std::string dir_, report_;
  static CKmApp* app_;
  static bool ready_;
  CKmDoc* doc = nullptr;
  HWND frame = nullptr;
  DialogSteps steps;
};
std::string OptionDialogs::dir_, OptionDialogs::report_;
CKmApp* OptionDialogs::app_ = nullptr;
bool OptionDialogs::ready_ = false;

TEST_F(OptionDialogs, RecordLayoutRefusalsAndCancelKeepTheReport) {
  const PageSetupRec before = *doc->m_pPageSetup;
  steps.Dialog("Record Layout", [](HWND d) {
    EXPECT_EQ(ControlText(d, 215), "Dimensions (Inches)");
    EXPECT_EQ(SendDlgItemMessageA(d, 220, CB_GETCOUNT, 0, 0), 4);  // User-defined and the three stocks
    EXPECT_EQ(SendDlgItemMessageA(d, 220, CB_GETCURSEL, 0, 0), 0);
    EXPECT_TRUE(Checked(d, 216));
    EXPECT_FALSE(Enabled(d, 209));
    SetText(d, 203, "0");
    Press(d, IDOK);
  });
  steps.Message(kBadNumber);
  steps.Dialog("Record Layout", [](HWND d) {
    EXPECT_EQ(GetFocus(), GetDlgItem(d, 203));
    SetText(d, 203, "2");
    SetText(d, 205, "100.00");
    Press(d, IDOK);
  });
  steps.Message("Maximum record width is 99.99 inches");
  steps.Dialog("Record Layout", [](HWND d) {
    SetText(d, 205, "0.00");
    Press(d, IDOK);
  });
  steps.Message(kBadNumber);
  steps.Dialog("Record Layout", [](HWND d) {
    SetText(d, 205, "3.00");
    SetText(d, 207, "100.00");
    Press(d, IDOK);
  });
  steps.Message("Maximum record height is 99.99 inches");
  steps.Dialog("Record Layout", [](HWND d) {
    SetText(d, 207, "0.00");  // a record without height is allowed
    SetText(d, 218, "0");
    Press(d, IDOK);
  });
  steps.Message(kBadNumber);
  steps.Dialog("Record Layout", [](HWND d) {
    CheckDlgButton(d, 216, BST_UNCHECKED);
    CheckDlgButton(d, 217, BST_CHECKED);
    Press(d, 217);
    EXPECT_TRUE(Enabled(d, 209));
    EXPECT_FALSE(Enabled(d, 218));
    EXPECT_GT(SendDlgItemMessageA(d, 209, CB_GETCOUNT, 0, 0), 0);
    SendDlgItemMessageA(d, 209, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    Press(d, IDOK);
  });
  steps.Message("Record copies: Invalid field name or numeric value");
  steps.Dialog("Record Layout", [](HWND d) { Press(d, IDCANCEL); });
  Command(kCmdRecordLayout);
  EXPECT_EQ(steps.messages.size(), 6u);
  EXPECT_TRUE(PageSetupEqual(before, *doc->m_pPageSetup));
  EXPECT_FALSE(doc->IsModified());
}

TEST_F(OptionDialogs, RecordLayoutTakesAStockAndAUserLayout) {
  const int32_t noLineSwitch = doc->m_pPageSetup->NoLineSwitch;
  steps.Dialog("Record Layout", [this](HWND d) {
    Choose(d, 220, Find(d, 220, "Broken"));  // a line that does not parse changes nothing
    EXPECT_TRUE(Enabled(d, 205));
    Choose(d, 220, Find(d, 220, "Address 3x10"));
    EXPECT_EQ(ControlText(d, 203), "3");
    EXPECT_EQ(ControlText(d, 205), "2.75");
    EXPECT_EQ(ControlText(d, 207), "1.00");
    EXPECT_FALSE(Enabled(d, 203));
    EXPECT_FALSE(Enabled(d, 205));
    CheckDlgButton(d, 221, BST_UNCHECKED);
    CheckDlgButton(d, 222, BST_CHECKED);
    CheckDlgButton(d, 214, BST_UNCHECKED);
    Press(d, IDOK);
    (void)this;
  });
  Command(kCmdRecordLayout);
  const PageSetupRec& ps = *doc->m_pPageSetup;
  EXPECT_EQ(ReportLabelStock(*doc), "Address 3x10");
  EXPECT_EQ(ps.RecordsAcross, 3);
  EXPECT_EQ(ps.DownOrder, 1);
  EXPECT_EQ(ps.RecordWidth, 275);
  EXPECT_EQ(ps.RecordHeight, 100);
  EXPECT_EQ(ps.LeftMargin, 19);
  EXPECT_EQ(ps.TopMargin, 50);
  EXPECT_EQ(ps.NoBreakRecordArea, 1);
  EXPECT_EQ(ps.NoLineSwitch, noLineSwitch);  // no control shows it, so OK leaves it
  EXPECT_TRUE(doc->IsModified());
  // Back to a user-defined layout: the stock is forgotten.
  doc->SetModifiedFlag(FALSE);
  steps.Dialog("Record Layout", [](HWND d) {
    EXPECT_EQ(ControlText(d, 220), "Address 3x10");
    EXPECT_FALSE(Enabled(d, 203));
    Choose(d, 220, 0);
    EXPECT_TRUE(Enabled(d, 203));
    SetText(d, 203, "2");
    SetText(d, 205, "4.00");
    SetText(d, 207, "1.50");
    CheckDlgButton(d, 222, BST_UNCHECKED);
    CheckDlgButton(d, 221, BST_CHECKED);
    SetText(d, 218, "2");
    Press(d, IDOK);
  });
  Command(kCmdRecordLayout);
  EXPECT_EQ(ReportLabelStock(*doc), "");
  EXPECT_EQ(ps.ExtraColumns, 1);
  EXPECT_EQ(ps.RecordsAcross, 1);
  EXPECT_EQ(ps.DownOrder, 0);
  EXPECT_EQ(ps.RecordWidth, 400);
  EXPECT_EQ(ps.RecordHeight, 150);
  EXPECT_EQ(ps.RecordCopies, 2);
  EXPECT_TRUE(doc->IsModified());
}

TEST_F(OptionDialogs, PrintDialogChecksCloseAndPreview) {
  PrintRunContext& ctx = GetPrintRunContext();
  ctx.printer.printerName = kPdfPrinterName;
  doc->m_pRepIO->m_stream.settings.firstPage = 1;
  doc->m_pRepIO->m_stream.settings.lastPage = 65535;
  doc->m_pPageSetup->OutputDestination = 0;
  doc->m_pPageSetup->Copies = 1;
  const std::string missingDir = dir_ + "/no/such/folder/out.pdf";
  steps.Dialog("Print", [&](HWND d) {
    EXPECT_TRUE(Checked(d, 1056));  // first page 1 and last 65535: all pages
    EXPECT_EQ(ControlText(d, 1139), kPdfPrinterName);
    EXPECT_EQ(ControlText(d, 1140), "Report");
    EXPECT_FALSE(Enabled(d, 1155));
    EXPECT_EQ(ControlText(d, IDCANCEL), "Cancel");
    CheckDlgButton(d, 1056, BST_UNCHECKED);
    CheckDlgButton(d, 1058, BST_CHECKED);
    SetText(d, 1152, "65535");
    Press(d, IDOK);
  });
  steps.Message("The page number is too large.  Please enter a value less than or equal to 65534.");
  steps.Dialog("Print", [&](HWND d) {
    EXPECT_EQ(GetFocus(), GetDlgItem(d, 1152));
    EXPECT_EQ(ControlText(d, IDCANCEL), "Clos&e");
    SetText(d, 1152, "65534");
    SetText(d, 1153, "65534");
    CheckDlgButton(d, 1040, BST_CHECKED);
    Press(d, 1040);
    EXPECT_TRUE(Enabled(d, 1155));
    SetText(d, 1155, "");
    Press(d, IDOK);
  });
  steps.Message("Please enter a print-to-file name");
  steps.Dialog("Print", [&](HWND d) {
    SetText(d, 1155, missingDir);
    Press(d, IDOK);
  });
  steps.Message("Cannot open file: " + missingDir);
  // A name longer than the settings hold is refused whole, not cut short
  // into a file of another name, even where the disk would take it.
  const std::string deep = dir_ + "/" + std::string(140, 'd') + "/" + std::string(140, 'd');
  fs::create_directories(deep);
  const std::string longName = deep + "/out.pdf";
  steps.Dialog("Print", [&](HWND d) {
    SetText(d, 1155, longName);
    Press(d, IDOK);
  });
  steps.Message("Cannot open file: " + deep.substr(0, 100));
  steps.Dialog("Print", [&](HWND d) {
    EXPECT_EQ(GetFocus(), GetDlgItem(d, 1155));
    // Close keeps what was changed and prints nothing.
    CheckDlgButton(d, 1040, BST_UNCHECKED);
    Press(d, 1040);
    SetText(d, 1154, "3");
    Press(d, IDCANCEL);
  });
  int answer = -1;
  steps.Run([&] { answer = ShowPrintDialog(*doc); });
  EXPECT_EQ(answer, kPrintAnswerNothing);
  EXPECT_EQ(steps.messages.size(), 4u);
  EXPECT_TRUE(fs::is_empty(deep));
  EXPECT_EQ(doc->m_pPageSetup->Copies, 3);
  EXPECT_EQ(doc->m_pRepIO->m_stream.settings.firstPage, 65534u);
  EXPECT_TRUE(doc->IsModified());

  // Preview answers 3 although the dialog ends through OK; All stores 1 to 65535.
  steps.Dialog("Print", [](HWND d) {
    EXPECT_TRUE(Checked(d, 1058));
    EXPECT_EQ(ControlText(d, 1152), "65534");
    CheckDlgButton(d, 1058, BST_UNCHECKED);
    CheckDlgButton(d, 1056, BST_CHECKED);
    Choose(d, 1140, 2);
    Press(d, 1026);
  });
  steps.Run([&] { answer = ShowPrintDialog(*doc); });
  EXPECT_EQ(answer, kPrintAnswerPreview);
  EXPECT_EQ(doc->m_nRunMode, 2);
  EXPECT_EQ(ctx.printWhat, 2);
  EXPECT_EQ(doc->m_pRepIO->m_stream.settings.firstPage, 1u);
  EXPECT_EQ(doc->m_pRepIO->m_stream.settings.lastPage, 65535u);
  ctx.printWhat = 0;
  doc->m_nRunMode = 0;

  // Cancel without a change stores nothing.
  steps.Dialog("Print", [](HWND d) {
    SetText(d, 1154, "9");  // the change makes it Close...
    EXPECT_EQ(ControlText(d, IDCANCEL), "Clos&e");
    Press(d, IDOK);  // ...but OK prints
  });
  steps.Run([&] { answer = ShowPrintDialog(*doc); });
  EXPECT_EQ(answer, kPrintAnswerPrint);
  EXPECT_EQ(doc->m_pPageSetup->Copies, 9);
  doc->m_pPageSetup->Copies = 1;
}

TEST_F(OptionDialogs, APrinterThatWentAwayIsReportedNotPrinted) {
  PrintRunContext& ctx = GetPrintRunContext();
  const std::string kept = ctx.printer.printerName;
  ctx.printer.printerName = "vt-queue-that-went-away";
  steps.Message("Error retrieving printer information");
  int answer = -1;
  steps.Run([&] { answer = ShowPrintDialog(*doc); });
  EXPECT_EQ(answer, kPrintAnswerNothing);
  // Nor can Page Setup run on it.
  EXPECT_EQ(OnFilePageSetup(*doc), 0);
  ctx.printer.printerName = kept;
}

TEST_F(OptionDialogs, PageSetupMarginsPaperAndOrientation) {
  PrintRunContext& ctx = GetPrintRunContext();
  ctx.printer.printerName = kPdfPrinterName;
  std::snprintf(doc->m_szPrinterDevice, sizeof doc->m_szPrinterDevice, "%s", kPdfPrinterName);
  const PageSetupRec before = *doc->m_pPageSetup;
  steps.Dialog("Page Setup", [](HWND d) {
    SetText(d, 205, "0.50");
    Press(d, IDCANCEL);
  });
  Command(kCmdPageSetup);
  EXPECT_TRUE(PageSetupEqual(before, *doc->m_pPageSetup));
  EXPECT_FALSE(doc->IsModified());
  steps.Dialog("Page Setup", [](HWND d) {
    EXPECT_EQ(ControlText(d, 209), "Margins (Inches)");
    SetText(d, 201, "6.00");
    SetText(d, 203, "5.00");
    Press(d, IDOK);
  });
  steps.Message("Top plus bottom margin exceeds page length");
  // A left margin wider than the paper, upright or turned.
  steps.Dialog("Page Setup", [](HWND d) {
    SetText(d, 201, "0.50");
    SetText(d, 203, "0.50");
    SetText(d, 205, "9.00");
    Press(d, IDOK);
  });
  steps.Message("Left plus right margin exceeds page width");
  steps.Dialog("Page Setup", [](HWND d) {
    EXPECT_EQ(GetFocus(), GetDlgItem(d, 205));
    SetText(d, 205, "4.00");
    SetText(d, 207, "4.50");
    Press(d, IDOK);
  });
  steps.Message("Left plus right margin exceeds page width");
  steps.Dialog("Page Setup", [](HWND d) {
    SetText(d, 201, "4.50");
    SetText(d, 203, "4.00");
    SetText(d, 205, "0.50");
    SetText(d, 207, "0.50");
    CheckDlgButton(d, 230, BST_UNCHECKED);
    CheckDlgButton(d, 231, BST_CHECKED);
    Press(d, IDOK);
  });
  steps.Message("Top plus bottom margin exceeds page length");
  steps.Dialog("Page Setup", [](HWND d) {
    CheckDlgButton(d, 231, BST_UNCHECKED);
    CheckDlgButton(d, 230, BST_CHECKED);
    SetText(d, 201, "x");
    Press(d, IDOK);
  });
  steps.Message(kBadNumber);
  steps.Dialog("Page Setup", [](HWND d) {
    SetText(d, 201, "0.75");
    SetText(d, 203, "0.60");
    SetText(d, 205, "0.50");
    Choose(d, 200, Find(d, 200, "A4"));
    CheckDlgButton(d, 230, BST_UNCHECKED);
    CheckDlgButton(d, 231, BST_CHECKED);
    Press(d, IDOK);
  });
  Command(kCmdPageSetup);
  const PageSetupRec& ps = *doc->m_pPageSetup;
  EXPECT_EQ(ps.LeftMargin, 50);
  EXPECT_EQ(ps.TopMargin, 75);
  EXPECT_EQ(ps.BottomMargin, 60);
  EXPECT_EQ(ps.Landscape, 1);
  EXPECT_EQ(ctx.printer.paperCode, kDmPaperA4);
  EXPECT_EQ(ps.PaperLength, 2970);
  EXPECT_TRUE(doc->IsModified());
  *doc->m_pPageSetup = before;
  ctx.printer.paperCode = kDmPaperLetter;
}

TEST_F(OptionDialogs, DefaultSettingsChecksAndTheKeysInOrder) {
  const DocSettings before = doc->m_settings;
  const std::string iniBefore = Slurp(Ini());
  steps.Dialog("Default Settings", [](HWND d) { Press(d, IDCANCEL); });
  Command(kCmdDefaults);
  EXPECT_EQ(Slurp(Ini()), iniBefore);
  steps.Dialog("Default Settings", [this](HWND d) {
    EXPECT_EQ(ControlText(d, 209), "Margins (Inches)");
    const int pts = doc->m_settings.pts;
    EXPECT_EQ(ControlText(d, 218), std::to_string(pts / 10) + "." + std::to_string(pts % 10));
    EXPECT_EQ(SendDlgItemMessageA(d, 223, CB_GETCOUNT, 0, 0), 16);
    if (Enabled(d, 200)) Choose(d, 200, Find(d, 200, "Letter"));
    SetText(d, 201, "5.00");
    SetText(d, 203, "6.00");
    Press(d, IDOK);
  });
  steps.Message("Top plus bottom margin exceeds page length");
  steps.Dialog("Default Settings", [](HWND d) {
    EXPECT_EQ(GetFocus(), GetDlgItem(d, 201));
    SetText(d, 201, "0.40");
    SetText(d, 203, "0.30");
    SetText(d, 205, "9.00");
    Press(d, IDOK);
  });
  steps.Message("Left plus right margin exceeds page width");
  steps.Dialog("Default Settings", [](HWND d) {
    EXPECT_EQ(GetFocus(), GetDlgItem(d, 205));
    SetText(d, 205, "0.50");
    SetText(d, 218, "3.9");
    Press(d, IDOK);
  });
  steps.Message("Invalid point size:\r\nRange is 4 to 500 points");
  steps.Dialog("Default Settings", [](HWND d) {
    SetText(d, 218, "500.1");
    Press(d, IDOK);
  });
  steps.Message("Invalid point size:\r\nRange is 4 to 500 points");
  steps.Dialog("Default Settings", [](HWND d) {
    SetText(d, 218, "500.0");
    SetText(d, 211, "3");
    Press(d, IDOK);
  });
  steps.Message("Ruler spacing may be 4 to 30 units per inch");
  steps.Dialog("Default Settings", [](HWND d) {
    SetText(d, 211, "30");
    SetText(d, 220, "31");
    Press(d, IDOK);
  });
  steps.Message("Ruler spacing may be 4 to 30 units per inch");
  steps.Dialog("Default Settings", [this](HWND d) {
    // The settings file cannot be written: said so, the dialog stays, nothing changes.
    fs::rename(Ini(), Ini() + ".kept");
    fs::create_directory(Ini());
    SetText(d, 220, "4");
    SetText(d, 218, "9.5");
    SetText(d, 217, "Courier");
    Choose(d, 223, 9);
    Press(d, IDOK);
  });
  steps.Message("Error writing to program initialization file");
  steps.Dialog("Default Settings", [this, &before](HWND d) {
    EXPECT_EQ(doc->m_settings.pts, before.pts);
    fs::remove(Ini());
    fs::rename(Ini() + ".kept", Ini());
    Press(d, IDOK);
  });
  Command(kCmdDefaults);
  EXPECT_EQ(steps.messages.size(), 7u);
  const DocSettings& s = doc->m_settings;
  EXPECT_EQ(s.topM, 40);
  EXPECT_EQ(s.botM, 30);
  EXPECT_EQ(s.leftM, 50);
  EXPECT_EQ(s.pts, 95);
  EXPECT_EQ(s.rulPit, 30);
  EXPECT_EQ(s.vRulPit, 4);
  EXPECT_STREQ(s.faceName, "Courier");
  EXPECT_EQ(s.color, 9);
  std::vector<std::string> keys = Keys(Ini(), "Defaults");
  // The file's own keys first, then the dialog's in the order it writes them.
  keys.erase(keys.begin(), keys.begin() + static_cast<long>(keys.size() - 14));
  EXPECT_EQ(keys, (std::vector<std::string>{"DefMeas", "PgLM", "BotM", "LeftM", "RightM", "TopM", "RulPit",
                                            "VRulPit", "Pts", "SnapTo", "Color", "FaceName", "LogF", "LogT"}));
  doc->m_settings = before;
}

TEST_F(OptionDialogs, FileSettingsWarningsAndTheFolderKeys) {
  const std::string iniBefore = Slurp(Ini());
  const std::string images = dir_ + "/images";
  fs::create_directories(images);
  steps.Dialog("Default File Settings", [&](HWND d) {
    EXPECT_EQ(SendDlgItemMessageA(d, 1124, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SendDlgItemMessageA(d, 1125, CB_GETCOUNT, 0, 0), 12);
    SetText(d, 1122, dir_ + "/missing");
    SetText(d, 1121, images + "/");
    Press(d, IDOK);
  });
  steps.Message("Report directory does not exist", IDCANCEL);
  steps.Dialog("Default File Settings", [&](HWND d) {
    SetText(d, 1122, dir_);
    SetText(d, 1127, dir_ + "/kmw.ini");  // a table without its index
    Press(d, IDOK);
  });
  steps.Message("Report dictionary requires a table and an index file", IDCANCEL);
  steps.Dialog("Default File Settings", [&](HWND d) { Press(d, IDCANCEL); });
  Command(kCmdFileSettings);
  EXPECT_EQ(Slurp(Ini()), iniBefore);

  steps.Dialog("Default File Settings", [&](HWND d) {
    SetText(d, 1122, dir_);
    SetText(d, 1121, images + "/");
    SetText(d, 1126, dir_ + "/templates");
    SetText(d, 1124, "PRN");
    Press(d, IDOK);
  });
  steps.Message("Template directory does not exist", IDOK);  // accepted anyway
  Command(kCmdFileSettings);
  EXPECT_STREQ(doc->m_settings.imgDir, images.c_str());  // without its trailing separator
  EXPECT_STREQ(doc->m_settings.memExt, "PRN");
  const std::vector<std::string> keys = Keys(Ini(), "Defaults");
  for (const char* k : {"LibDir", "ImgDir", "MemExt", "ImgExt", "TemplateDir"})
    EXPECT_NE(std::find(keys.begin(), keys.end(), k), keys.end()) << k;
  EXPECT_EQ(Keys(Ini(), "Data Dictionary"), (std::vector<std::string>{"DataDict", "DataDictIndex"}));
}

TEST_F(OptionDialogs, PreferencesWriteTheirKeysAndKeepTheDialogOnAFailedWrite) {
  DocSettings& s = doc->m_settings;
  const DocSettings before = s;
  s.fileNew = 0;
  s.fieldLists = 0;
  s.scrBarHz = s.scrBarVt = 1;
  const std::string iniBefore = Slurp(Ini());
  steps.Dialog("Preferences", [](HWND d) {
    EXPECT_TRUE(Checked(d, 200));
    EXPECT_TRUE(Checked(d, 212));
    EXPECT_TRUE(Checked(d, 206));
    Press(d, 203);
    Press(d, IDCANCEL);
  });
  Command(kCmdPreferences);
  EXPECT_EQ(Slurp(Ini()), iniBefore);
  EXPECT_EQ(s.fileNew, 0);

  steps.Dialog("Preferences", [this](HWND d) {
    CheckDlgButton(d, 200, BST_UNCHECKED);
    CheckDlgButton(d, 203, BST_CHECKED);
    Press(d, 203);
    CheckDlgButton(d, 212, BST_UNCHECKED);
    CheckDlgButton(d, 214, BST_CHECKED);
    Press(d, 214);
    CheckDlgButton(d, 206, BST_UNCHECKED);
    fs::rename(Ini(), Ini() + ".kept");
    fs::create_directory(Ini());
    Press(d, IDOK);
  });
  steps.Message("Error writing to program initialization file");
  steps.Dialog("Preferences", [this](HWND d) {
    EXPECT_EQ(doc->m_settings.fileNew, 0);
    EXPECT_EQ(doc->m_settings.scrBarHz, 1);
    fs::remove(Ini());
    fs::rename(Ini() + ".kept", Ini());
    Press(d, IDOK);
  });
  Command(kCmdPreferences);
  EXPECT_EQ(s.fileNew, 3);
  EXPECT_EQ(s.fieldLists, 2);
  EXPECT_EQ(s.scrBarHz, 0);
  EXPECT_EQ(s.scrBarVt, 1);
  std::vector<std::string> keys = Keys(Ini(), "Preferences");
  std::vector<std::string> ours;
  for (const std::string& k : keys)
    if (k == "FileNew" || k == "FieldLists" || k == "ScrBarHz" || k == "ScrBarVt") ours.push_back(k);
  EXPECT_EQ(ours, (std::vector<std::string>{"FileNew", "FieldLists", "ScrBarHz", "ScrBarVt"}));
  EXPECT_NE(Slurp(Ini()).find("ScrBarHz=0"), std::string::npos);
  // The layout lost its horizontal scroll bar at once.
  int shownHorizontal = 0;
  for (HWND h : vt_ui::AllWindows()) {
    char cls[32] = {};
    if (IsWindow(h) && GetParent(h) == doc->m_pMainFrame->m_wndRulerView.m_hWnd && GetClassNameA(h, cls, sizeof cls) &&
        std::string(cls) == "SCROLLBAR" && (GetWindowLongA(h, GWL_STYLE) & SBS_VERT) == 0 && IsWindowVisible(h))
      ++shownHorizontal;
  }
  EXPECT_EQ(shownHorizontal, 0);
  s = before;
  doc->m_pMainFrame->m_wndRulerView.RepositionBars();
}

TEST_F(OptionDialogs, DataSourcePreferencesAndTheConnectionsCommand) {
  DocSettings& s = doc->m_settings;
  const DocSettings before = s;
  s.newReportAlwaysUseSameDS = 1;
  std::snprintf(s.defaultDataSource, sizeof s.defaultDataSource, "%s", "GoneAway");
  s.readReportAlwaysUseSameDS = 0;
  steps.Dialog("Data Source", [](HWND d) {
    EXPECT_TRUE(Checked(d, 201));
    EXPECT_EQ(SendDlgItemMessageA(d, 202, CB_GETCURSEL, 0, 0), -1);  // the stored source is gone
    EXPECT_TRUE(Enabled(d, 202));
    EXPECT_NE(Find(d, 202, "VortelleSample"), -1);
    Choose(d, 202, Find(d, 202, "VortelleSample"));
    CheckDlgButton(d, 203, BST_UNCHECKED);
    CheckDlgButton(d, 204, BST_CHECKED);
    Press(d, IDOK);
  });
  Command(kCmdDataSourcePrefs);
  EXPECT_STREQ(s.defaultDataSource, "VortelleSample");
  EXPECT_EQ(s.readReportAlwaysUseSameDS, 1);
  EXPECT_FALSE(doc->m_pMainFrame->IsCommandEnabled(kCmdConnections));
  const std::string ini = Slurp(Ini());
  EXPECT_NE(ini.find("NewReportAlwaysUseSameDS=1"), std::string::npos) << ini;
  EXPECT_NE(ini.find("ReadReportAlwaysUseSameDS=1"), std::string::npos) << ini;
  EXPECT_EQ(Keys(Ini(), "Defaults").back(), "ReadReportAlwaysUseSameDS");

  steps.Dialog("Data Source", [](HWND d) {
    CheckDlgButton(d, 201, BST_UNCHECKED);
    CheckDlgButton(d, 200, BST_CHECKED);
    Press(d, 200);
    EXPECT_FALSE(Enabled(d, 202));
    Press(d, IDOK);
  });
  Command(kCmdDataSourcePrefs);
  EXPECT_EQ(s.newReportAlwaysUseSameDS, 0);
  EXPECT_TRUE(doc->m_pMainFrame->IsCommandEnabled(kCmdConnections));
  s = before;
}

TEST_F(OptionDialogs, TheLabelFileWarningComesOncePerDocument) {
  fs::rename(dir_ + "/kmlabels.ini", dir_ + "/kmlabels.kept");
  doc->m_bLabelFileWarned = FALSE;
  steps.Message("Unable to read KMLABELS.INI");
  steps.Dialog("Record Layout", [](HWND d) {
    EXPECT_EQ(SendDlgItemMessageA(d, 220, CB_GETCOUNT, 0, 0), 1);
    Press(d, IDCANCEL);
  });
  steps.Dialog("Record Layout", [](HWND d) { Press(d, IDCANCEL); });
  steps.Run([this] {
    SendMessageA(frame, WM_COMMAND, kCmdRecordLayout, 0);
    SendMessageA(frame, WM_COMMAND, kCmdRecordLayout, 0);
  });
  EXPECT_EQ(steps.messages.size(), 1u);
  fs::rename(dir_ + "/kmlabels.kept", dir_ + "/kmlabels.ini");
}

// What the format tests change of an item, to be put back (its font handle
// belongs to the layout and is not copied).
struct ItemLook {
  explicit ItemLook(ReportItemHead& h)
      : item(h), fontIndex(h.fontIndex), pointSize(h.pointSize), fontStyle(h.fontStyle), flags(h.flags) {}
  ~ItemLook() {
    item.fontIndex = fontIndex;
    item.pointSize = pointSize;
    item.fontStyle = fontStyle;
    item.flags = flags & ~kItemSelected;
  }
  ReportItemHead& item;
  int32_t fontIndex, pointSize;
  uint8_t fontStyle;
  uint32_t flags;
};

// The placed fields of the report, in layout order.
std::vector<ReportItemHead*> PlacedItems(CKmDoc& doc) {
  std::vector<ReportItemHead*> items;
  ForEachLayoutItem(*doc.m_pLayout, [&items](ReportItemHead& h) {
    if ((h.flags & kItemKindField) != 0) items.push_back(&h);
  });
  return items;
}

TEST_F(OptionDialogs, FormatBarShowsMixedSelectionsAndAppliesStyles) {
  FrameBars* bars = doc->m_pBars;
  ASSERT_NE(bars, nullptr);
  doc->m_settings.formatBar = 1;
  bars->UpdateActionBar();
  ASSERT_TRUE(bars->FormatBarShown());
  std::vector<ReportItemHead*> items = PlacedItems(*doc);
  ASSERT_GE(items.size(), 3u);
  ReportItemHead& a = *items[0];
  ReportItemHead& b = *items[1];
  ReportItemHead& c = *items[2];
  ItemLook keptA(a), keptB(b), keptC(c);
  // Two in one size, one in another; one bold; one trimmed.
  for (ReportItemHead* h : {&a, &b, &c}) {
    h->fontIndex = a.fontIndex;
    h->fontStyle = 0;
    h->flags |= kItemFixedPosition;
  }
  a.pointSize = b.pointSize = 100;
  c.pointSize = 120;
  a.fontStyle = 1;
  b.flags &= ~kItemFixedPosition;
  CKmView& view = *doc->m_pView;
  view.ClearSelection();
  view.SelectObject(a, true);
  view.SelectObject(b, true);
  view.SelectObject(c, true);
  bars->UpdateFormatBar();
  const FormatSelectionState& s = bars->m_state;
  EXPECT_EQ(s.selected, 3);
  EXPECT_EQ(s.currentFont, a.fontIndex);
  EXPECT_EQ(s.currentSize, -1);  // mixed sizes: no size chosen
  EXPECT_EQ(SendMessageA(bars->m_hSizeBox, CB_GETCURSEL, 0, 0), -1);
  EXPECT_EQ(SendMessageA(bars->m_hFontBox, CB_GETCURSEL, 0, 0), a.fontIndex);
  EXPECT_EQ(s.bold, 2);
  EXPECT_EQ(s.italic, 0);
  EXPECT_EQ(s.trim, 2);
  EXPECT_EQ(bars->m_formatBar.Find(kBoldButton)->check, 2);
  EXPECT_TRUE(bars->m_formatBar.Find(kBoldButton)->enabled);
  EXPECT_FALSE(bars->m_formatBar.Find(kJustifyButton)->enabled);  // not all word-wrapped
  // Bold on a mixed selection makes all bold, and again makes none bold.
  EXPECT_TRUE(bars->HandleCommand(kBoldButton, BN_CLICKED));
  EXPECT_EQ((a.fontStyle & b.fontStyle & c.fontStyle) & 1, 1);
  EXPECT_EQ(bars->m_formatBar.Find(kBoldButton)->check, 1);
  EXPECT_TRUE(bars->HandleCommand(kBoldButton, BN_CLICKED));
  EXPECT_EQ((a.fontStyle | b.fontStyle | c.fontStyle) & 1, 0);
  EXPECT_TRUE(doc->IsModified());
  // Trim on a mixed selection trims all.
  EXPECT_TRUE(bars->HandleCommand(kTrimButton, BN_CLICKED));
  EXPECT_EQ((a.flags | b.flags | c.flags) & kItemFixedPosition, 0u);
  // Right alignment: the right button is on for all.
  EXPECT_TRUE(bars->HandleCommand(kAlignRightButton, BN_CLICKED));
  EXPECT_EQ(bars->m_state.right, 1);
  EXPECT_EQ(bars->m_state.left, 0);
  // Nothing selected: the style buttons are off and take no command.
  view.ClearSelection();
  bars->UpdateFormatBar();
  EXPECT_FALSE(bars->m_formatBar.Find(kBoldButton)->enabled);
  EXPECT_FALSE(bars->HandleCommand(kBoldButton, BN_CLICKED));
  EXPECT_FALSE(bars->HandleCommand(kAlignLeftButton, BN_CLICKED));
}

// Auto/Freeform follows the marked lines: off with none, down when all are
// freeform, mixed between; a click makes automatic lines freeform (and mixed
// ones automatic), and the heights are in the saved report.
TEST_F(OptionDialogs, AutoFreeformButtonTogglesTheMarkedLines) {
  FrameBars* bars = doc->m_pBars;
  ASSERT_NE(bars, nullptr);
  // The bar shows what it reflects only while shown (a settings file may hide it).
  bars->ShowFormatBar(true);
  ASSERT_TRUE(bars->FormatBarShown());
  LayoutTables& t = *doc->m_pLayout;
  ASSERT_GE(t.Lines().lastUsed, 1);
  for (int i = 0; i <= t.Lines().lastUsed; ++i) t.bandRecords[i].flags &= static_cast<BYTE>(~kLineMarked);
  bars->UpdateFormatBar();
  const ToolSlot* button = bars->m_formatBar.Find(kAutoFreeformButton);
  ASSERT_NE(button, nullptr);
  EXPECT_FALSE(button->enabled);
  EXPECT_FALSE(bars->HandleCommand(kAutoFreeformButton, BN_CLICKED));
  // Delete clears or brings the last Clear back: with nothing selected,
  // marked or held it is off, and up.
  EXPECT_FALSE(bars->m_formatBar.Find(kDeleteButton)->enabled);
  EXPECT_EQ(bars->m_formatBar.Find(kDeleteButton)->check, 0);

  BandLineRec& first = t.bandRecords[0];
  BandLineRec& second = t.bandRecords[1];
  ASSERT_EQ(first.heightMode, kHeightAutomatic);
  ASSERT_EQ(second.heightMode, kHeightAutomatic);
  first.flags |= kLineMarked;
  bars->UpdateFormatBar();
  EXPECT_TRUE(button->enabled);
  EXPECT_EQ(button->check, 0);
  EXPECT_TRUE(bars->HandleCommand(kAutoFreeformButton, BN_CLICKED));
  EXPECT_NE(first.heightMode, kHeightAutomatic);
  EXPECT_GT(first.height, 0u);
  EXPECT_EQ(second.heightMode, kHeightAutomatic);
  EXPECT_EQ(button->check, 1);
  EXPECT_TRUE(doc->IsModified());
  second.flags |= kLineMarked;
  bars->UpdateFormatBar();
  EXPECT_EQ(button->check, 2);
  EXPECT_TRUE(bars->HandleCommand(kAutoFreeformButton, BN_CLICKED));
  EXPECT_EQ(first.heightMode, kHeightAutomatic);
  EXPECT_EQ(second.heightMode, kHeightAutomatic);
  EXPECT_EQ(button->check, 0);
  // Freeform once more, then back: the sample report is left as it was.
  second.flags &= static_cast<BYTE>(~kLineMarked);
  EXPECT_TRUE(bars->HandleCommand(kAutoFreeformButton, BN_CLICKED));
  EXPECT_NE(first.heightMode, kHeightAutomatic);
  EXPECT_TRUE(bars->HandleCommand(kAutoFreeformButton, BN_CLICKED));
  first.flags &= static_cast<BYTE>(~kLineMarked);
  doc->SetModifiedFlag(FALSE);
}

// The spins beside the measure and count edits step them as the arrows are
// pressed, within each field's limits; Cancel keeps the report as it was.
TEST_F(OptionDialogs, SpinsStepTheirFieldsWithinTheirLimits) {
  const PageSetupRec before = *doc->m_pPageSetup;
  // A spin's arrow keys step it as its arrows do.
  auto press = [](HWND d, int spin, WPARAM key, int times) {
    for (int i = 0; i < times; ++i) SendDlgItemMessageA(d, spin, WM_KEYDOWN, key, 0);
  };
  auto up = [&](HWND d, int spin, int times) { press(d, spin, VK_UP, times); };
  auto down = [&](HWND d, int spin, int times) { press(d, spin, VK_DOWN, times); };
  steps.Dialog("Record Layout", [&](HWND d) {
    Choose(d, 220, 0);  // User-defined: the size fields and their spins are open
    ASSERT_TRUE(Enabled(d, 208));
    SetText(d, 207, "1.00");
    up(d, 208, 5);
    EXPECT_EQ(ControlText(d, 207), "1.50");
    SetText(d, 207, "99.95");
    up(d, 208, 2);
    EXPECT_EQ(ControlText(d, 207), "99.99");
    SetText(d, 207, "0.05");
    down(d, 208, 2);
    EXPECT_EQ(ControlText(d, 207), "0.00");
    SetText(d, 205, "0.15");
    down(d, 206, 3);
    EXPECT_EQ(ControlText(d, 205), "0.10");  // a record is never narrower
    SetText(d, 203, "998");
    up(d, 204, 3);
    EXPECT_EQ(ControlText(d, 203), "999");
    // A stock fixes the size: its spins close with the fields.
    Choose(d, 220, Find(d, 220, "Address 3x10"));
    EXPECT_FALSE(Enabled(d, 204));
    EXPECT_FALSE(Enabled(d, 208));
    Press(d, IDCANCEL);
  });
  Command(kCmdRecordLayout);
  EXPECT_TRUE(PageSetupEqual(before, *doc->m_pPageSetup));

  steps.Dialog("Default Settings", [&](HWND d) {
    SetText(d, 201, "0.05");
    down(d, 202, 1);
    EXPECT_EQ(ControlText(d, 201), "0.00");
    up(d, 202, 3);
    EXPECT_EQ(ControlText(d, 201), "0.30");
    SetText(d, 207, "abc");
    up(d, 208, 1);
    EXPECT_EQ(ControlText(d, 207), "abc");  // text that does not read is left alone
    SetText(d, 211, "29");
    up(d, 212, 3);
    EXPECT_EQ(ControlText(d, 211), "30");
    SetText(d, 220, "5");
    down(d, 221, 3);
    EXPECT_EQ(ControlText(d, 220), "4");
    Press(d, IDCANCEL);
  });
  Command(kCmdDefaults);
}

// F1 on a control the Print dialog adds gives that control's help; on another
// control, the dialog's own.
TEST_F(OptionDialogs, PrintDialogContextHelp) {
  GetPrintRunContext().printer.printerName = kPdfPrinterName;
  ClearHelpRequests();
  steps.Dialog("Print", [](HWND d) {
    SendDlgItemMessageA(d, 1140, WM_KEYDOWN, VK_F1, 0);
    SendDlgItemMessageA(d, 1026, WM_KEYDOWN, VK_F1, 0);
    SendDlgItemMessageA(d, 1154, WM_KEYDOWN, VK_F1, 0);
    Press(d, IDCANCEL);
  });
  // The first request of the run says that no help viewer exists.
  steps.Message("no help viewer");
  Command(kCmdPrint);
  const std::vector<HelpRequest>& asked = HelpRequests();
  ASSERT_EQ(asked.size(), 3u);
  EXPECT_EQ(asked[0].command, static_cast<UINT>(HELP_WM_HELP));
  ASSERT_GE(asked[0].pairs.size(), 2u);
  EXPECT_EQ(asked[0].pairs[0], 1140u);
  EXPECT_EQ(asked[0].pairs[1], 1109u);
  ASSERT_GE(asked[1].pairs.size(), 2u);
  EXPECT_EQ(asked[1].pairs[1], 1111u);
  EXPECT_EQ(asked[2].command, static_cast<UINT>(HELP_CONTEXT));
  EXPECT_EQ(asked[2].data, 1023u);
}

TEST_F(OptionDialogs, SizeBoxRefusesWhatTheFontCannotTake) {
  FrameBars* bars = doc->m_pBars;
  ASSERT_NE(bars, nullptr);
  doc->m_settings.formatBar = 1;
  bars->UpdateActionBar();
  std::vector<ReportItemHead*> items = PlacedItems(*doc);
  ASSERT_GE(items.size(), 1u);
  ReportItemHead& a = *items[0];
  ItemLook kept(a);
  a.pointSize = 100;
  doc->m_pView->ClearSelection();
  doc->m_pView->SelectObject(a, true);
  bars->UpdateFormatBar();
  const long beeps = BeepCount();
  SetWindowTextA(bars->m_hSizeBox, "501");
  SendMessageA(frame, WM_COMMAND, kSizeBoxEnter, 0);
  EXPECT_EQ(BeepCount(), beeps + 1);
  EXPECT_EQ(a.pointSize, 100);
  SetWindowTextA(bars->m_hSizeBox, "3.9");
  SendMessageA(frame, WM_COMMAND, kSizeBoxEnter, 0);
  EXPECT_EQ(BeepCount(), beeps + 2);
  SetWindowTextA(bars->m_hSizeBox, "4");
  SendMessageA(frame, WM_COMMAND, kSizeBoxEnter, 0);
  EXPECT_EQ(a.pointSize, 40);
  SetWindowTextA(bars->m_hSizeBox, " 9.5");
  SendMessageA(frame, WM_COMMAND, kSizeBoxEnter, 0);
  EXPECT_EQ(a.pointSize, 95);
  EXPECT_GE(SendMessageA(bars->m_hSizeBox, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                         reinterpret_cast<LPARAM>("  9.5")), 0);
  EXPECT_EQ(ui_test::Text(bars->m_hSizeBox), "  9.5");
  // A font of fixed sizes takes only its own.
  FontEntry& font = doc->m_pFonts->table[static_cast<size_t>(a.fontIndex)];
  const FontEntry keptFont = font;
  font.sizeCount = 2;
  font.sizes[0] = 8;
  font.sizes[1] = 10;
  bars->UpdateFormatBar();
  EXPECT_EQ(SendMessageA(bars->m_hSizeBox, CB_GETCOUNT, 0, 0), 2);
  SetWindowTextA(bars->m_hSizeBox, "12");
  SendMessageA(frame, WM_COMMAND, kSizeBoxEnter, 0);
  EXPECT_EQ(BeepCount(), beeps + 3);
  EXPECT_EQ(a.pointSize, 95);
  SetWindowTextA(bars->m_hSizeBox, "10");
  SendMessageA(frame, WM_COMMAND, kSizeBoxEnter, 0);
  EXPECT_EQ(a.pointSize, 100);
  font = keptFont;
  doc->m_pView->ClearSelection();
}

TEST_F(OptionDialogs, ToolbarsDialogShowsAndHidesTheBars) {
  FrameBars* bars = doc->m_pBars;
  ASSERT_NE(bars, nullptr);
  doc->m_settings.formatBar = 1;
  bars->UpdateActionBar();
  ASSERT_TRUE(bars->ActionBarShown());
  ASSERT_TRUE(bars->FormatBarShown());
  // The bar list's rows carry their check; a click on a row toggles it.
  auto rowChecked = [](HWND d, int row) { return SendDlgItemMessageA(d, 200, LB_GETITEMDATA, row, 0) == 1; };
  auto clickRow = [](HWND d, int row) {
    SendDlgItemMessageA(d, 200, WM_LBUTTONDOWN, 1, MAKELPARAM(20, static_cast<WORD>(row * 14 + 5)));
  };
  steps.Dialog("Toolbars", [&](HWND d) {
    EXPECT_TRUE(rowChecked(d, 0));
    EXPECT_TRUE(rowChecked(d, 1));
    clickRow(d, 1);
    EXPECT_FALSE(rowChecked(d, 1));
    EXPECT_EQ(SendDlgItemMessageA(d, 200, LB_GETCURSEL, 0, 0), 1);
    Press(d, IDCANCEL);
  });
  Command(30202);
  EXPECT_TRUE(bars->FormatBarShown());
  steps.Dialog("Toolbars", [&](HWND d) {
    // Space toggles the selected row; a bar's first letter only selects it.
    HWND list = GetDlgItem(d, 200);
    SendMessageA(list, WM_CHAR, 'f', 0);
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 1);
    EXPECT_TRUE(rowChecked(d, 1));
    SendMessageA(list, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_FALSE(rowChecked(d, 1));
    clickRow(d, 0);
    clickRow(d, 0);
    EXPECT_TRUE(rowChecked(d, 0));
    CheckDlgButton(d, 201, BST_UNCHECKED);
    Press(d, IDOK);
  });
  Command(30202);
  EXPECT_FALSE(bars->FormatBarShown());
  EXPECT_TRUE(bars->ActionBarShown());
  EXPECT_FALSE(bars->m_formatBar.TipsShown());
  EXPECT_NE(Slurp(Ini()).find("ToolHelp=0"), std::string::npos);
  bars->UpdateActionBar();  // the switch keeps it hidden
  EXPECT_FALSE(bars->FormatBarShown());
  doc->m_settings.formatBar = 1;
  doc->m_settings.toolHelp = 1;
  bars->ApplySettings();
  bars->UpdateActionBar();
}

TEST_F(OptionDialogs, RulerSpacingTakesFourToThirty) {
  const BYTE kept = doc->m_settings.rulPit;
  steps.Dialog("Ruler Spacing", [](HWND d) {
    HWND track = GetDlgItem(d, 200);
    // The track bar's own keys: Page Down, Left, Right.
    for (int i = 0; i < 20; ++i) SendMessageA(track, WM_KEYDOWN, VK_NEXT, 0);
    EXPECT_EQ(ControlText(d, 201), "Horizontal Spacing: 30");
    for (int i = 0; i < 20; ++i) SendMessageA(track, WM_KEYDOWN, VK_LEFT, 0);
    EXPECT_EQ(ControlText(d, 201), "Horizontal Spacing: 4");
    SendMessageA(track, WM_KEYDOWN, VK_RIGHT, 0);
    Press(d, IDOK);
  });
  Command(30206);
  EXPECT_EQ(doc->m_settings.rulPit, 6);
  doc->m_settings.rulPit = kept;
}

TEST_F(OptionDialogs, ScreensBothBarsAtOneAndTwoTimes) {
  FrameBars* bars = doc->m_pBars;
  ASSERT_NE(bars, nullptr);
  doc->m_settings.formatBar = 1;
  bars->UpdateActionBar();
  std::vector<ReportItemHead*> items = PlacedItems(*doc);
  ASSERT_GE(items.size(), 2u);
  doc->m_pView->ClearSelection();
  doc->m_pView->SelectObject(*items[0], true);
  doc->m_pView->SelectObject(*items[1], true);
  bars->UpdateFormatBar();
  ShowWindow(frame, SW_SHOWNORMAL);
  MoveWindow(frame, 0, 0, 1000, 600, TRUE);
  ui_test::Pump();
  // The tool tip follows the mouse from tool to tool.
  const RECT bold = bars->m_formatBar.Find(kBoldButton)->rect;
  SendMessageA(bars->m_formatBar.m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(bold.left + 2, bold.top + 2));
  char tip[64] = {};
  GetWindowToolTipA(bars->m_formatBar.m_hWnd, tip, sizeof tip);
  EXPECT_STREQ(tip, "Bold");
  const RECT save = bars->m_actionBar.Find(30010)->rect;
  SendMessageA(bars->m_actionBar.m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(save.left + 2, save.top + 2));
  GetWindowToolTipA(bars->m_actionBar.m_hWnd, tip, sizeof tip);
  EXPECT_STREQ(tip, "Save");
  // Resting there, the tip comes up beside the mouse.
  EXPECT_TRUE(SaveWindowPictureWithToolTip(bars->m_actionBar.m_hWnd, save.left + 4, save.top + 4,
                                           ScreenPath("action-bar-tool-tip").c_str()));
  SendMessageA(bars->m_formatBar.m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(2, 1));
  EXPECT_TRUE(SaveWindowPicture(bars->m_actionBar.m_hWnd, ScreenPath("action-bar").c_str()));
  EXPECT_TRUE(SaveWindowPicture(bars->m_formatBar.m_hWnd, ScreenPath("format-bar").c_str()));
  EXPECT_TRUE(SaveWindowPicture(frame, ScreenPath("main-window-with-bars").c_str()));
  // The same pictures drawn twice as large stay sharp: they are drawn, not scaled.
  std::vector<ToolSlot> formatTools;
  for (const ToolSlot& f : bars->m_formatBar.Slots())
    if (f.width == 0) formatTools.push_back(f);
  const std::pair<std::vector<ToolSlot>, const char*> rows[] = {{bars->m_actionBar.Slots(), "action-bar-200-percent"},
                                                               {formatTools, "format-buttons-200-percent"}};
  for (const auto& [tools, name] : rows) {
    CToolBarWnd big;
    ASSERT_TRUE(big.Create(frame, 1, tools, 2));
    MoveWindow(big.m_hWnd, 0, 0, static_cast<int>(big.Slots().back().rect.right) + 8, big.Height(), TRUE);
    ShowWindow(big.m_hWnd, SW_SHOWNOACTIVATE);
    big.SetState(kBoldButton, true, 2);
    big.SetState(kItalicButton, true, 1);
    ui_test::Pump();
    EXPECT_TRUE(SaveWindowPicture(big.m_hWnd, ScreenPath(name).c_str()));
  }
  doc->m_pView->ClearSelection();
}

TEST_F(OptionDialogs, ScreensOptionAndPrintDialogs) {
  GetPrintRunContext().printer.printerName = kPdfPrinterName;
  const std::pair<UINT, const char*> dialogs[] = {
      {kCmdRecordLayout, "Record Layout"}, {kCmdPageSetup, "Page Setup"},   {kCmdPrint, "Print"},
      {kCmdDefaults, "Default Settings"},  {kCmdFileSettings, "Default File Settings"},
      {kCmdPreferences, "Preferences"},    {kCmdDataSourcePrefs, "Data Source"},
      {30202, "Toolbars"},                 {30206, "Ruler Spacing"}};
  for (const auto& [id, caption] : dialogs) {
    const std::string name = std::string("dialog-") + caption;
    steps.Dialog(caption, [name](HWND d) {
      EXPECT_TRUE(SaveWindowPicture(d, ScreenPath(name).c_str()));
      Press(d, IDCANCEL);
    });
    Command(id);
  }
}

}  // namespace
