// A report named with letters outside ASCII, as a new user names it: saved,
// printed, exported, put into a library, opened again by the frame and by
// the command line (its Report Specification printed too), and run
// unattended. The disk has the name as the user typed it (UTF-8); the window
// title, the recent-file list, the status line, the PDF's title and the
// unattended run's messages all spell it the same.
#include "tests/app/newuser/newuser_fixture.h"

#include "app/recent_files.h"
#include "export/export_library.h"
#include "files/report_io.h"

#include <fstream>
#include <map>

namespace newuser_test {
namespace {

constexpr UINT kCmdOpen = 32001, kCmdClose = 30000, kCmdSaveAs = 30020, kCmdPrint = 30030, kCmdExport = 30060;
constexpr int kFormatList = 201, kFileEdit = 203;

// The user's name for the report, as the system spells it and as the
// program's code page holds it.
const std::string kName = "Ventes \xC3\xA9t\xC3\xA9 2024 Zo\xC3\xAB";
const std::string kNameAnsi = "Ventes \xE9t\xE9 2024 Zo\xEB";

// The File popup's recent-file entries, as the menu shows them.
std::vector<std::string> RecentEntries(HWND frame) {
  HMENU file = GetSubMenu(GetMenu(frame), 0);
  SendMessageA(frame, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(file), 0);
  std::vector<std::string> items;
  for (int i = 0; i < GetMenuItemCount(file); ++i) {
    const UINT id = GetMenuItemID(file, i);
    if (id < kCmdRecentFileFirst || id >= kCmdRecentFileFirst + 16) continue;
    char text[300] = {};
    GetMenuStringA(file, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
    items.push_back(text);
  }
  return items;
}

int Count(const std::vector<std::string>& items, const std::string& part) {
  int n = 0;
  for (const std::string& s : items) n += s.find(part) != std::string::npos;
  return n;
}

// The program run unattended on the arguments in the sample folder: its
// standard error and exit status.
std::string RunUnattended(const std::string& dir, const std::string& args, int* status) {
  return Capture("cd '" + dir + "' && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" + dir + "' " +
                     program_run::ProgramLeakOptions() + " timeout 120 '" + program_run::ProgramPath() + "' " + args +
                     " 2>&1",
                 status);
}

int Lines(const std::string& text) {
  int n = 0;
  for (size_t at = text.find("vortelle: "); at != std::string::npos; at = text.find("vortelle: ", at + 1)) ++n;
  return n;
}

TEST_F(NewUserTest, AReportNamedOutsideAsciiKeepsItsNameThroughFramePrintExportLibraryAndCommandLine) {
  const std::string kmw = dir_ + "/" + kName + ".kmw";
  const std::string kmwAnsi = dir_ + "/" + kNameAnsi + ".kmw";
  const std::string title = "VortelleSample - " + kNameAnsi + ".kmw - " + kAppTitle;
  fs::remove(kmw);
  // Saved under the name typed in the Save As dialog.
  ASSERT_TRUE(OpenSampleSavedAs(kmw));
  EXPECT_EQ(doc->GetPathName(), kmwAnsi);
  EXPECT_EQ(WindowText(), title);

  // File > Print to the PDF printer: the PDF beside the report under the
  // report's name, its title the same, and the status line naming it.
  PrintRunContext& ctx = GetPrintRunContext();
  ctx.printToFile.clear();
  doc->m_pPageSetup->OutputDestination = 0;
  const std::string pdf = dir_ + "/" + kName + ".pdf";
  fs::remove(pdf);
  Command(kCmdPrint);
  ASSERT_TRUE(fs::exists(pdf));
  EXPECT_NE(Capture("pdftotext -layout '" + pdf + "' - 2>/dev/null").find("Grand total"), std::string::npos);
  EXPECT_NE(Capture("pdfinfo '" + pdf + "' 2>/dev/null").find(kName), std::string::npos);
  const char* told = frame->m_wndStatusBar.GetKeptMessage();
  ASSERT_NE(told, nullptr);
  EXPECT_EQ(std::string(told), "The report is in " + dir_ + "/" + kNameAnsi + ".pdf");
  for (const auto& e : fs::directory_iterator(dir_))
    EXPECT_EQ(e.path().filename().string().find("\xEF\xBF\xBD"), std::string::npos) << e.path();

  // Exported to a file typed in the Export dialog.
  const std::string csv = dir_ + "/" + kName + ".csv";
  fs::remove(csv);
  answers.On("Export", [&](HWND d) {
    const LRESULT n = SendDlgItemMessageA(d, kFormatList, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i)
      if (SendDlgItemMessageA(d, kFormatList, LB_GETITEMDATA, static_cast<WPARAM>(i), 0) == kExportDataFile) {
        SendDlgItemMessageA(d, kFormatList, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
        SendMessageA(d, WM_COMMAND, MAKEWPARAM(kFormatList, LBN_SELCHANGE), 0);
      }
    SetDlgItemTextA(d, kFileEdit, (dir_ + "/" + kNameAnsi + ".csv").c_str());
    Press(d, IDOK);
  });
  Command(kCmdExport);
  EXPECT_TRUE(fs::exists(csv)) << (messages.empty() ? std::string() : messages.back());

  // Added to a library of such a name, as a member named so too.
  const std::string library = dir_ + "/Biblioth\xC3\xA8que \xC3\xBC.qb6";
  fs::remove(library);
  answers.File("Save As", library);
  answers.On("Save Report", [](HWND d) {
    SetDlgItemTextA(d, 200, "R\xE9sum\xE9 \xFC");
    Press(d, IDOK);
  });
  Command(kCmdSaveAs);
  ASSERT_TRUE(fs::exists(library));
  EXPECT_STREQ(doc->m_szReportName, "R\xE9sum\xE9 \xFC");
  EXPECT_NE(WindowText().find("R\xE9sum\xE9 \xFC"), std::string::npos) << WindowText();
  Command(kCmdClose);

  // Opened again through the Open dialog: one recent entry for the file.
  answers.File("Open Report", kmw);
  Command(kCmdOpen);
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_EQ(WindowText(), title);
  EXPECT_EQ(Count(RecentEntries(frame->m_hWnd), kNameAnsi + ".kmw"), 1);
  Command(kCmdClose);
  Stop();

  // And from the command line, as the shell passes the name.
  ASSERT_TRUE(Start({kmw}));
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_EQ(WindowText(), title);
  EXPECT_EQ(doc->GetPathName(), kmwAnsi);
  const std::vector<std::string> recent = RecentEntries(frame->m_hWnd);
  EXPECT_EQ(Count(recent, kNameAnsi + ".kmw"), 1);
  EXPECT_EQ(Count(recent, "\xC3"), 0) << "no entry spelt in the system's bytes";
  fs::remove(pdf);
  Command(kCmdPrint);
  EXPECT_TRUE(fs::exists(pdf));
  told = frame->m_wndStatusBar.GetKeptMessage();
  ASSERT_NE(told, nullptr);
  EXPECT_EQ(std::string(told), "The report is in " + dir_ + "/" + kNameAnsi + ".pdf");

  // The Report Specification, chosen in the Print dialog, names the report as it is.
  SetPrintDialogRunner([](CKmDoc& d) {
    d.m_nRunMode = 2;
    return 1;
  });
  fs::remove(pdf);
  Command(kCmdPrint);
  SetPrintDialogRunner(nullptr);
  const std::string spec = Capture("pdftotext -layout '" + pdf + "' - 2>/dev/null");
  EXPECT_NE(spec.find(kName + ".kmw"), std::string::npos) << spec;
  EXPECT_EQ(spec.find("\xC3\x83"), std::string::npos) << spec;
}

// The same name unattended: the PDF under the report's name and the
// closing line spelling it as the user does; a stored print file that
// exists is printed over with no question; a run that fails says its one
// reason once, naming the report as it is.
TEST_F(NewUserTest, AnUnattendedRunKeepsTheNameAsksNothingAndSaysAFailureOnce) {
  const std::string kmw = dir_ + "/" + kName + ".kmw";
  fs::copy_file(dir_ + "/sales.kmw", kmw, fs::copy_options::overwrite_existing);
  const std::string pdf = dir_ + "/" + kName + ".pdf";
  fs::remove(pdf);
  int status = -1;
  std::string out = RunUnattended(dir_, "/G '" + kmw + "'", &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_TRUE(fs::exists(pdf)) << out;
  EXPECT_NE(out.find("The report is in " + pdf), std::string::npos) << out;
  EXPECT_EQ(out.find("\xC3\x83"), std::string::npos) << out;

  // A report that prints to the file it stores, which is there already.
  const std::string stored = dir_ + "/join \xC3\xAB.pdf";
  {
    ASSERT_TRUE(Start({kmw}));
    doc->m_pPageSetup->OutputDestination = 2;
    doc->m_pRepIO->m_stream.settings.printFileName = dir_ + "/join \xEB.pdf";
    doc->SetModifiedFlag(TRUE);
    Command(30010);  // File > Save
    EXPECT_FALSE(doc->IsModified());
    Stop();
  }
  std::ofstream(stored, std::ios::binary) << "an older print";
  out = RunUnattended(dir_, "/G '" + kmw + "'", &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(out.find("Overwrite"), std::string::npos) << out;
  EXPECT_EQ(out.find('?'), std::string::npos) << out;
  EXPECT_NE(Capture("pdftotext -layout '" + stored + "' - 2>/dev/null").find("Grand total"), std::string::npos) << out;

  // Its master table gone: one line, naming the report as the user does.
  ASSERT_EQ(Capture("sqlite3 '" + dir_ + "/sample.db' 'ALTER TABLE order_lines RENAME TO lines_gone' 2>&1"), "");
  out = RunUnattended(dir_, "/G '" + kmw + "'", &status);
  Capture("sqlite3 '" + dir_ + "/sample.db' 'ALTER TABLE lines_gone RENAME TO order_lines' 2>&1");
  EXPECT_NE(status, 0) << out;
  EXPECT_EQ(Lines(out), 1) << out;
  EXPECT_NE(out.find(kName), std::string::npos) << out;
  EXPECT_EQ(out.find("\xC3\x83"), std::string::npos) << out;
  fs::remove(kmw);
  fs::remove(pdf);
  fs::remove(stored);
}

// A name the code page cannot hold (Greek beside é, ë and ü) keeps the
// system's spelling: the status line after printing, the recent-file
// entry, the save question and every title read as its letters; the
// library member proposed from it has "?" for the Greek, as a member's name
// is the code page's; its HTML export is valid in the encoding it declares.
TEST_F(NewUserTest, ANameBeyondTheCodePageReadsAsItsLettersWhereverItIsShown) {
  const std::string name = "Facture \xC3\xA9t\xC3\xA9 \xCE\xA9mega Zo\xC3\xAB M\xC3\xBCller";
  const std::string kmw = dir_ + "/" + name + ".kmw";
  fs::remove(kmw);
  ASSERT_TRUE(OpenSampleSavedAs(kmw));
  EXPECT_EQ(ui_test::Shown(WindowText()), "VortelleSample - " + name + ".kmw - " + kAppTitle);

  // Printed beside the report: the status line names the PDF.
  GetPrintRunContext().printToFile.clear();
  doc->m_pPageSetup->OutputDestination = 0;
  const std::string pdf = dir_ + "/" + name + ".pdf";
  fs::remove(pdf);
  Command(kCmdPrint);
  ASSERT_TRUE(fs::exists(pdf));
  EXPECT_EQ(ui_test::Shown(frame->m_wndStatusBar.GetPaneText(0)), "The report is in " + pdf);

  // Exported as HTML: one encoding, declared, that iconv and an HTML parser
  // read the whole page in; its title is the report's name.
  const std::string html = dir_ + "/html/" + name + ".htm";
  fs::remove_all(dir_ + "/html");
  fs::create_directories(dir_ + "/html");
  ExportAs(answers, kExportHtml, html);
  Command(kCmdExport);
  ASSERT_TRUE(fs::exists(html)) << (messages.empty() ? std::string() : messages.back());
  const std::string read = Capture(
      "f='" + html + "'; cs=$(grep -o -m1 'charset=\"[^\"]*\"' \"$f\" | cut -d'\"' -f2); "
      "iconv -f \"$cs\" -t UTF-8 \"$f\" > \"$f.read\" && /usr/bin/python3 -c '\n"
      "import html.parser, sys\n"
      "class P(html.parser.HTMLParser):\n"
      "  title, inTitle = \"\", False\n"
      "  def handle_starttag(self, tag, attrs): self.inTitle = tag == \"title\"\n"
      "  def handle_endtag(self, tag): self.inTitle = False\n"
      "  def handle_data(self, data):\n"
      "    if self.inTitle: self.title += data\n"
      "p = P(); p.feed(sys.stdin.read()); print(p.title)' < \"$f.read\" 2>&1");
  EXPECT_EQ(read, name + ".kmw\n");
  Command(kCmdClose);

  // The File menu lists it under its letters, and opens it.
  const std::vector<std::string> recent = RecentEntries(frame->m_hWnd);
  ASSERT_FALSE(recent.empty());
  EXPECT_EQ(ui_test::Shown(recent[0]), "&1 " + name + ".kmw");
  Command(kCmdRecentFileFirst);
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_EQ(doc->GetPathName(), kmw);

  // Changed, then closed: the question names it.
  doc->SetModifiedFlag(TRUE);
  boxes.clear();
  answer = [](const MessageBoxRecord&) { return IDNO; };
  Command(kCmdClose);
  answer = nullptr;
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(ui_test::Shown(boxes[0].text), "Save changes to report '" + kmw + "'?");
  EXPECT_FALSE(doc->m_bReportOpen);

  // Saved into a library: the proposed member name.
  Command(kCmdRecentFileFirst);
  ASSERT_TRUE(doc->m_bReportOpen);
  const std::string library = dir_ + "/Biblioth\xC3\xA8que \xC3\xBC.qb6";
  fs::remove(library);
  std::string proposed;
  answers.File("Save As", library);
  answers.On("Save Report", [&](HWND d) {
    proposed = ui_test::Text(GetDlgItem(d, 200));
    Press(d, IDOK);
  });
  Command(kCmdSaveAs);
  ASSERT_TRUE(fs::exists(library));
  EXPECT_EQ(ui_test::Shown(proposed), "Facture \xC3\xA9t\xC3\xA9 ?mega Zo\xC3\xAB M\xC3\xBCller");
  EXPECT_STREQ(doc->m_szReportName, "Facture \xE9t\xE9 ?mega Zo\xEB M\xFCller");
  fs::remove(kmw);
  fs::remove(pdf);
  fs::remove(library);
}

}  // namespace
}  // namespace newuser_test
