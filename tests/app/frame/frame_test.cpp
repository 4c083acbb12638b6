// The main frame headless: its menus' enable states, placement, closing, the
// title window and the deferred start, the status line, the About box.
#include "app/document.h"
#include "app/open_report.h"
#include "app/print_run.h"
#include "app/splash.h"
#include "platform/win/dialog.h"
#include "platform/win/menu.h"
#include "platform/win/placement.h"
#include "platform/win/profile.h"
#include "platform/win/ui_app.h"
#include "platform/win/window_picture.h"
#include "tests/platform/support/cut_texts.h"
#include "tests/support/answer_box.h"
#include "tests/support/screens.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {
// Runs the window layer's queue (timers included) until done() or about five seconds.
bool PumpUntil(const std::function<bool()>& done) {
  for (int i = 0; i < 500; ++i) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    if (done()) return true;
    ::usleep(10000);
  }
  return done();
}

class FrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UiStartApplication();
    char tmpl[] = "/tmp/vt-frame-XXXXXX";
    dir = ::mkdtemp(tmpl);
    ::setenv("VORTELLE_WINDIR", dir.c_str(), 1);
    SetSplashEnabled(TRUE);
  }
  void TearDown() override {
    ::unsetenv("VORTELLE_WINDIR");
    std::string cmd = "rm -rf '" + dir + "'";
    if (std::system(cmd.c_str()) != 0) ADD_FAILURE() << "cleanup";
  }
  void WriteIni(const std::string& text) { std::ofstream(dir + "/kmw.ini") << text; }
  std::string Ini() const { return dir + "/kmw.ini"; }
  int IniInt(const char* section, const char* key) const {
    return static_cast<int>(GetPrivateProfileIntA(section, key, -999, Ini().c_str()));
  }
  // Opens every popup as the user would, so the frame sets the states.
  void OpenAllPopups(CMainFrame& frame) {
    HMENU bar = GetMenu(frame.m_hWnd);
    for (int i = 0; i < GetMenuItemCount(bar); ++i)
      SendMessageA(frame.m_hWnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(GetSubMenu(bar, i)), i);
  }
  bool Enabled(CMainFrame& frame, UINT id) {
    UINT s = GetMenuState(GetMenu(frame.m_hWnd), id, MF_BYCOMMAND);
    EXPECT_NE(s, kMenuItemMissing) << id;
    return !(s & (MF_GRAYED | MF_DISABLED));
  }
  bool Checked(CMainFrame& frame, UINT id) {
    return (GetMenuState(GetMenu(frame.m_hWnd), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
  }

  std::string dir;
  CKmDoc doc;
};

TEST_F(FrameTest, MenusFollowWhetherAReportIsOpen) {
  CMainFrame frame;
  ASSERT_TRUE(frame.Create(&doc, "VORTELLE"));
  struct Case {
    UINT id;
    bool noReport, reportOpen;
  } cases[] = {
      {32000, true, true},   {32001, true, true},   {32016, true, true},   {32020, true, true},
      {32032, true, true},   {32005, true, true},   {30010, false, true},  {30020, false, true},
      {30000, false, true},  {30030, false, true},  {30512, false, true},  {30600, false, true},
      {30700, false, true},  {30400, false, true},  {30210, false, true},  {30110, false, false},
      {30100, false, false}, {30502, false, false}, {57616, false, false},
  };
  OpenAllPopups(frame);
  for (const Case& c : cases) EXPECT_EQ(Enabled(frame, c.id), c.noReport) << "no report, command " << c.id;
  EXPECT_FALSE(Checked(frame, 30210)) << "no check marks without a report";

  // What start-up found: a printer and its fonts.
  PrintRunContext& print = GetPrintRunContext();
  const DocPrinter savedPrinter = print.printer;
  const std::vector<std::string> savedFaces = print.page.fontFaces;
  print.printer.printerName = "PDF";
  print.page.fontFaces = {"Helvetica"};
  doc.m_bReportOpen = TRUE;
  doc.m_settings.shHzRul = 1;
  doc.m_settings.shGrd = 0;
  OpenAllPopups(frame);
  for (const Case& c : cases) EXPECT_EQ(Enabled(frame, c.id), c.reportOpen) << "report open, command " << c.id;
  // Print and Preview want a printer with fonts.
  print.page.fontFaces.clear();
  OpenAllPopups(frame);
  EXPECT_FALSE(Enabled(frame, 30030));
  EXPECT_FALSE(Enabled(frame, 30040));
  print.printer = savedPrinter;
  print.page.fontFaces = savedFaces;
  EXPECT_TRUE(Checked(frame, 30210));
  EXPECT_FALSE(Checked(frame, 30214));

  // Data-source connections have nothing to offer when both defaults keep the source.
  doc.m_settings.newReportAlwaysUseSameDS = 1;
  doc.m_settings.readReportAlwaysUseSameDS = 1;
  OpenAllPopups(frame);
  EXPECT_FALSE(Enabled(frame, 32005));

  char text[80];
  GetMenuStringA(GetMenu(frame.m_hWnd), 32032, text, sizeof text, MF_BYCOMMAND);
  EXPECT_STREQ(text, "&About VORTELLE Report Designer...");
}

// A letter two items of one menu share only moves between them: Alt+F, C
// would never close the report.
void ExpectOneItemPerLetter(HMENU menu, const std::string& path) {
  std::string seen;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    char text[120] = {};
    GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
    const char* amp = std::strchr(text, '&');
    if (amp != nullptr && amp[1] != '\0') {
      const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(amp[1])));
      EXPECT_EQ(seen.find(letter), std::string::npos) << path << ": " << text;
      seen += letter;
    }
    if (HMENU sub = GetSubMenu(menu, i)) ExpectOneItemPerLetter(sub, path + "/" + text);
  }
}

TEST_F(FrameTest, EachMenuLetterChoosesOneItem) {
  CMainFrame frame;
  ASSERT_TRUE(frame.Create(&doc, "VORTELLE"));
  ExpectOneItemPerLetter(GetMenu(frame.m_hWnd), "menu bar");
}

// The letter a text's "&" marks, lower-cased ("&&" is a plain ampersand); 0 without one.
char MarkedLetter(const char* text) {
  for (const char* p = text; p != nullptr && p[0] != '\0' && p[1] != '\0'; ++p) {
    if (p[0] != '&') continue;
    if (p[1] != '&') return static_cast<char>(std::tolower(static_cast<unsigned char>(p[1])));
    ++p;
  }
  return 0;
}

// Every dialog and menu of the program's resources gives each control, and
// each item of a popup, a letter of its own: a letter two share only moves
// the focus between them, so Alt+W would never tick "Word wrap" and Alt+R
// would never reach "Reset".
TEST(Resources, EachLetterOfADialogOrMenuChoosesOneControl) {
  ASSERT_GT(vt_res::kDialogCount, 40u);
  int marked = 0;
  for (unsigned i = 0; i < vt_res::kDialogCount; ++i) {
    const vt_res::DialogTemplateData& d = vt_res::kDialogTable[i];
    std::map<char, std::string> seen;
    for (int k = 0; k < d.itemCount; ++k) {
      const char letter = MarkedLetter(d.items[k].text);
      if (letter == 0) continue;
      ++marked;
      const auto [at, fresh] = seen.emplace(letter, d.items[k].text);
      EXPECT_TRUE(fresh) << d.name << ": \"" << at->second << "\" and \"" << d.items[k].text << "\"";
    }
  }
  EXPECT_GT(marked, 200) << "the dialogs' letters were found";
  // Each text of each dialog shows whole in the dialog's font.
  UiStartApplication();
  for (unsigned i = 0; i < vt_res::kDialogCount; ++i) {
    HWND d = CreateDialogParamA(nullptr, vt_res::kDialogTable[i].name, nullptr, [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    if (d == nullptr) continue;  // a dialog of a control class registered later
    for (const std::string& text : CutControlTexts(d)) ADD_FAILURE() << vt_res::kDialogTable[i].name << ": \"" << text << "\" is cut";
    DestroyWindow(d);
  }
  ASSERT_GT(vt_res::kMenuCount, 0u);
  for (unsigned i = 0; i < vt_res::kMenuCount; ++i) {
    const vt_res::MenuTemplateData& menu = vt_res::kMenuTable[i];
    // The letters of each level's popup; a popup's items start afresh.
    std::vector<std::map<char, std::string>> seen;
    for (int k = 0; k < menu.itemCount; ++k) {
      const vt_res::MenuItemData& item = menu.items[k];
      const size_t level = static_cast<size_t>(std::max(0, item.level));
      seen.resize(level + 1);
      const char letter = MarkedLetter(item.text);
      if (letter == 0) continue;
      const auto [at, fresh] = seen[level].emplace(letter, item.text);
      EXPECT_TRUE(fresh) << "menu " << menu.id << ": \"" << at->second << "\" and \"" << item.text << "\"";
    }
  }
}

TEST_F(FrameTest, MenuCommandsReachTheNeighboursFirst) {
  CMainFrame frame;
  ASSERT_TRUE(frame.Create(&doc, "VORTELLE"));
  AfxGetThread()->m_pMainWnd = &frame;
  // The document's dialogs, answered here: Open is cancelled, the first
  // unsaved-changes question refused.
  struct Answers : ReportOpenDialogs {
    int opens = 0, asked = 0;
    BOOL RunReportOpenDialog(CKmDoc&, BOOL*) override {
      ++opens;
      return FALSE;
    }
    BOOL SaveModified(CKmDoc&) override { return ++asked > 1 ? TRUE : FALSE; }
  } answers;
  SetReportOpenDialogs(&answers);
  PostMessageA(frame.m_hWnd, WM_COMMAND, 32001, 0);
  PumpUntil([&] { return answers.opens > 0; });
  EXPECT_EQ(answers.opens, 1) << "File > Open reaches the document's Open dialog";

  // Exit asks whether the report may go; a refusal keeps the frame.
  answers.asked = 0;
  int& asked = answers.asked;
  SendMessageA(frame.m_hWnd, WM_COMMAND, 32016, 0);
  EXPECT_TRUE(IsWindow(frame.m_hWnd));
  EXPECT_FALSE(frame.m_bClosing);
  SendMessageA(frame.m_hWnd, WM_COMMAND, 32016, 0);
  EXPECT_EQ(frame.m_hWnd, nullptr) << "the frame is gone after the second, agreed exit";
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(AfxGetThread()->GetMainWnd(), nullptr) << "the message loop no longer waits on the frame";
  SetReportOpenDialogs(nullptr);
}

TEST_F(FrameTest, PlacementComesFromTheSettingsByTheRules) {
  struct Case {
    const char* ini;
    int cmdShow;
    bool maximised;
    LONG left, right;  // the normal rectangle afterwards
  } cases[] = {
      {"", 1, false, 60, 820},  // first start: the frame's own rectangle
      {"[Frame]\nShow=3\nLeft=5\nTop=6\nRight=505\nBottom=406\n", 1, true, 5, 505},
      {"[Frame]\nShow=2\nLeft=5\nTop=6\nRight=505\nBottom=406\n", 1, false, 5, 505},  // never minimised
      {"[Frame]\nShow=3\nLeft=5\nTop=6\nRight=505\nBottom=406\n", 7, false, 5, 505},  // started minimised
      {"[Frame]\nShow=1\nLeft=-32000\nTop=6\nRight=505\nBottom=406\n", 1, false, 60, 820},
      {"[Frame]\nShow=1\nLeft=900\nTop=6\nRight=100\nBottom=406\n", 1, false, 60, 820},  // inside out
      {"[Frame]\nShow=77\nLeft=5\nTop=6\nRight=505\nBottom=406\n", 1, false, 5, 505},
      {"[Frame]\nShow=1\nLeft=-31999\nTop=6\nRight=99999999999\nBottom=406\n", 1, false, 60, 820},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini);
    WriteIni(std::string(c.ini) + "[Save List]\nBandWidth=-5\n");
    CMainFrame frame;
    ASSERT_TRUE(frame.Create(&doc, "VORTELLE"));
    frame.m_nCmdShow = c.cmdShow;
    frame.RestorePlacement();
    EXPECT_TRUE(IsWindowVisible(frame.m_hWnd));
    EXPECT_EQ(frame.m_nCmdShow, -1);
    EXPECT_EQ(IsZoomed(frame.m_hWnd) != 0, c.maximised);
    WINDOWPLACEMENT wp{};
    GetWindowPlacement(frame.m_hWnd, &wp);
    EXPECT_EQ(wp.rcNormalPosition.left, c.left);
    EXPECT_EQ(wp.rcNormalPosition.right, c.right);
    EXPECT_TRUE(frame.m_wndStatusBar.IsSinglePane());
    EXPECT_EQ(frame.GetBandWidth(), 80) << "a damaged band width falls back to the default";
    frame.m_nCmdShow = 1;
    frame.RestorePlacement();  // nothing while visible
    EXPECT_EQ(frame.m_nCmdShow, 1);
  }
}

TEST_F(FrameTest, ClosingWritesPlacementAndTheSaveListSwitches) {
  WriteIni("[Save List]\nActionBar=1\nBandWidth=120\n");
  CMainFrame frame;
  ASSERT_TRUE(frame.Create(&doc, "VORTELLE"));
  EXPECT_EQ(frame.GetBandWidth(), 120);
  doc.m_bSettingsRead = TRUE;
  doc.m_settings.actionBar = 0;
  doc.m_settings.shGrd = 0;
  frame.m_nCmdShow = 1;
  frame.RestorePlacement();
  MoveWindow(frame.m_hWnd, 11, 22, 633, 444, TRUE);

  // Closing while a run prints only asks the run to stop.
  ReportRun* running = reinterpret_cast<ReportRun*>(&doc);
  doc.m_pRun = running;
  SendMessageA(frame.m_hWnd, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(frame.m_hWnd));
  EXPECT_EQ(doc.m_nRunState, -3);
  doc.m_pRun = nullptr;

  SendMessageA(frame.m_hWnd, WM_CLOSE, 0, 0);
  EXPECT_EQ(frame.m_hWnd, nullptr);
  EXPECT_EQ(IniInt("Frame", "Show"), 1);
  EXPECT_EQ(IniInt("Frame", "Left"), 11);
  EXPECT_EQ(IniInt("Frame", "Top"), 22);
  EXPECT_EQ(IniInt("Frame", "Right"), 644);
  EXPECT_EQ(IniInt("Frame", "Bottom"), 466);
  EXPECT_EQ(IniInt("Save List", "ActionBar"), 0);
  EXPECT_EQ(IniInt("Save List", "ShGrd"), 0);
  EXPECT_EQ(IniInt("Save List", "FormatBar"), 1);
  EXPECT_EQ(IniInt("Save List", "BandWidth"), 120);

  EXPECT_FALSE(doc.m_bSettingsRead) << "the settings were written back and let go";

  // The next start finds the frame where it was left.
  CKmDoc next;
  CMainFrame again;
  ASSERT_TRUE(again.Create(&next, "VORTELLE"));
  again.RestorePlacement();
  EXPECT_EQ(again.GetBandWidth(), 120);
  RECT r;
  GetWindowRect(again.m_hWnd, &r);
  EXPECT_EQ(r.left, 11);
  EXPECT_EQ(r.bottom, 466);
}

TEST_F(FrameTest, TitleWindowShowsUntilTheDeferredStart) {
  WriteIni("[Preferences]\nSplash=0\n");
  EXPECT_EQ(SplashDelayMs(), 100u);
  EXPECT_TRUE(ShowSplashSetting());
  CMainFrame frame;
  ASSERT_TRUE(frame.Create(&doc, "VORTELLE"));
  // The start dialog, counted and cancelled.
  struct Steps : NewReportSteps {
    int choices = 0;
    int RunStartDialog(CKmDoc&) override {
      ++choices;
      return 0;
    }
  } steps;
  SetNewReportSteps(&steps);
  int& choices = steps.choices;

  frame.ShowTitleWindow(TRUE);
  ASSERT_TRUE(frame.TitleWindowShowing());
  HWND title = frame.m_pTitleWnd;
  EXPECT_TRUE(IsWindowVisible(title));
  RECT r;
  GetWindowRect(title, &r);
  EXPECT_GT(r.right - r.left, 1) << "the title picture sizes the window";

  ASSERT_TRUE(frame.BeginDeferredStart(SplashDelayMs()));
  EXPECT_FALSE(IsWindowEnabled(frame.m_hWnd)) << "disabled while the title shows";
  EXPECT_FALSE(IsWindowVisible(frame.m_hWnd));
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(frame.m_hWnd) != 0; }));
  EXPECT_TRUE(IsWindowEnabled(frame.m_hWnd));
  EXPECT_FALSE(IsWindow(title));
  EXPECT_FALSE(frame.TitleWindowShowing());
  EXPECT_EQ(choices, 1) << "no report open: the start choice runs";
  SetNewReportSteps(nullptr);

  // Hidden once, it never shows again in the run, and a second hide does nothing.
  frame.ShowTitleWindow(TRUE);
  EXPECT_FALSE(frame.TitleWindowShowing());
  frame.ShowTitleWindow(FALSE);
}

TEST_F(FrameTest, SplashSettingsAndTheFailedTimerPath) {
  WriteIni("[Preferences]\nShowSplash=0\n");
  EXPECT_FALSE(ShowSplashSetting());
  EXPECT_EQ(SplashDelayMs(), 3000u);

  // A switched-off splash shows nothing and hides nothing.
  SetSplashEnabled(FALSE);
  CMainFrame frame;
  frame.ShowTitleWindow(TRUE);
  EXPECT_FALSE(frame.TitleWindowShowing());

  // Without a timer the topmost title window must still go.
  SetSplashEnabled(TRUE);
  frame.ShowTitleWindow(TRUE);
  ASSERT_TRUE(frame.TitleWindowShowing());
  HWND title = frame.m_pTitleWnd;
  EXPECT_FALSE(frame.BeginDeferredStart(100)) << "no frame window, no timer";
  EXPECT_FALSE(IsWindow(title));
}

TEST_F(FrameTest, StatusLineFormsTextsAndPosition) {
  CMainFrame frame;
  ASSERT_TRUE(frame.Create(&doc, "VORTELLE"));
  CKmStatusBar& bar = frame.m_wndStatusBar;
  ASSERT_EQ(bar.GetPaneCount(), 4) << "the frame's creation puts the four indicators in place";

  std::string longText(150, 'x');
  bar.SetText(longText.c_str());
  EXPECT_EQ(std::strlen(bar.GetText()), 100u);
  EXPECT_STREQ(bar.GetPaneText(0), bar.GetText());
  bar.SetText(nullptr);
  EXPECT_STREQ(bar.GetText(), "");
  // A long message naming a file in the system's spelling is cut before a
  // letter, never inside it; a code-page text is cut at its 100th byte.
  const std::string omega = "\xCE\xA9";
  const std::string named = "The report is in " + std::string(82, 'x') + omega + "mega.pdf";
  bar.SetText(named.c_str());
  EXPECT_EQ(std::string(bar.GetText()), named.substr(0, 99));
  const std::string ansi = std::string(99, 'x') + "\xCE\xA9\xCE";
  bar.SetText(ansi.c_str());
  EXPECT_EQ(std::string(bar.GetText()), ansi.substr(0, 100));
  bar.SetPaneString(1, longText.c_str(), 0);
  EXPECT_EQ(std::strlen(bar.GetPositionText()), 31u);

  // Not attached: the message shows but is not kept.
  bar.ShowMessage("Reading records");
  EXPECT_TRUE(bar.IsSinglePane());
  EXPECT_EQ(bar.GetKeptMessage(), nullptr);
  bar.Attach(&doc);
  bar.ShowMessage("Reading records");
  EXPECT_STREQ(bar.GetKeptMessage(), "Reading records");
  bar.SetPaneText(0, "something else");
  bar.Refresh();
  EXPECT_STREQ(bar.GetPaneText(0), "Reading records") << "a redraw shows the kept message again";
  bar.SetText("main");
  bar.EndMessage();
  EXPECT_FALSE(bar.InMessageMode());
  EXPECT_FALSE(bar.IsSinglePane());
  EXPECT_STREQ(bar.GetPaneText(0), "main");

  // Line index 0 at 1.25 inches (120 pixels at 96 per inch, on a grid of 8 characters an inch).
  doc.m_bReportOpen = TRUE;
  doc.m_settings.rulPit = 8;
  doc.m_pView = frame.m_pLayoutView;
  frame.m_pLayoutView->m_nCaretX = 120;
  bar.ShowPosition();
  EXPECT_STREQ(bar.GetPositionText(), "Line:   1   Inch: 1.25");
  EXPECT_STREQ(bar.GetPaneText(1), "Line:   1   Inch: 1.25");
  doc.m_measure = 0;
  bar.Refresh();
  EXPECT_EQ(std::strncmp(bar.GetPositionText(), "Line:   1   Cent: ", 18), 0) << bar.GetPositionText();

  // The report name line: the library's file name, or (None).
  bar.ShowReportName();
  EXPECT_STREQ(bar.GetText(), "Library:  (None)");
  BYTE paths[4436] = {};
  std::strcpy(reinterpret_cast<char*>(paths), "/home/u/reports/sales.qb6");
  doc.m_pDocPaths = paths;
  bar.ShowReportName();
  EXPECT_STREQ(bar.GetText(), "Library: sales.qb6");
  doc.m_pDocPaths = nullptr;
  doc.m_bReportOpen = FALSE;
  bar.SetText("kept");
  bar.ShowReportName();
  EXPECT_STREQ(bar.GetText(), "kept") << "without a report nothing changes";
  bar.FreeBuffer();
  doc.m_pView = nullptr;
}

struct AboutSeen {
  std::string caption, version, db;
  int runs = 0;
};
AboutSeen g_about;

void ReadAboutAndClose(HWND dialog) {
  char buf[128];
  GetWindowTextA(dialog, buf, sizeof buf);
  g_about.caption = buf;
  GetDlgItemTextA(dialog, 200, buf, sizeof buf);
  g_about.version = buf;
  GetDlgItemTextA(dialog, 207, buf, sizeof buf);
  g_about.db = buf;
  ++g_about.runs;
  answer_box::Click(dialog, IDOK);
}

TEST_F(FrameTest, AboutBoxFromHelpMenuAndTheApplicationCommand) {
  CMainFrame frame;
  ASSERT_TRUE(frame.Create(&doc, "VORTELLE"));
  frame.RestorePlacement();
  g_about = AboutSeen();
  for (UINT command : {32032u, 57664u}) {
    const answer_box::Answer about({"About VORTELLE Report Designer", 207}, ReadAboutAndClose);
    SendMessageA(frame.m_hWnd, WM_COMMAND, command, 0);
  }
  EXPECT_EQ(g_about.runs, 2) << "ID_APP_ABOUT shows the same box instead of nothing";
  EXPECT_EQ(g_about.caption, "About VORTELLE Report Designer");
  EXPECT_EQ(g_about.version, "VORTELLE Report Designer Version 1.0.09");
  EXPECT_EQ(g_about.db.rfind("DB access version", 0), 0u) << g_about.db;
  EXPECT_EQ(TitleVersionText(), "Version 1.0.09");
  EXPECT_EQ(frame.m_wState & 0x8000, 0) << "the modal state ends with the box";
}

TEST(DeviceRemoval, VolumesInUseAreRefusedWithTheirDrives) {
  EXPECT_EQ(DriveMaskOfPath("d:\\pics\\logo.bmp"), 1u << 3);
  EXPECT_EQ(DriveMaskOfPath("\\\\server\\share\\logo.bmp"), 0u) << "a UNC path names no drive";
  EXPECT_EQ(DriveMaskOfPath("/home/u/logo.bmp"), 0u);
  EXPECT_EQ(DriveMaskOfPath("D"), 0u);
  EXPECT_EQ(DriveMaskOfPath(nullptr), 0u);

  std::string text;
  const DWORD d = DriveMaskOfPath("D:\\x"), a = DriveMaskOfPath("A:\\x");
  EXPECT_EQ(DeviceRemovalAnswer(kDeviceQueryRemove, kDeviceTypeVolume, d, d, 0, &text), kBroadcastQueryDeny);
  EXPECT_EQ(text,
            "You are attempting to remove the volume in drive D, in use by the current report.\r\n"
            "Please close the report and try again");
  EXPECT_EQ(DeviceRemovalAnswer(kDeviceRemoveComplete, kDeviceTypeVolume, a | d, a | d, a, &text), 1);
  EXPECT_EQ(text,
            "You have removed the volumes in drives A, D, in use by the current report.\r\n"
            "Please replace the volumes or close the report and exit Report Designer");

  // Another volume, another device type or another event: nothing to say.
  EXPECT_EQ(DeviceRemovalAnswer(kDeviceQueryRemove, kDeviceTypeVolume, a, d, 0, &text), 1);
  EXPECT_TRUE(text.empty());
  EXPECT_EQ(DeviceRemovalAnswer(kDeviceQueryRemove, 5, d, d, 0, &text), 1);
  EXPECT_EQ(DeviceRemovalAnswer(0x8000, kDeviceTypeVolume, d, d, 0, &text), 1);
  EXPECT_TRUE(text.empty());
}

// The commands the frame's window receives, recorded on their way in.
std::vector<UINT> g_commands;
WNDPROC g_frameProc = nullptr;
LRESULT RecordCommands(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COMMAND) g_commands.push_back(LOWORD(wParam));
  return CallWindowProcA(g_frameProc, hwnd, msg, wParam, lParam);
}

TEST_F(FrameTest, KeysGoThroughTheTableTheFocusCallsFor) {
  CMainFrame frame;
  ASSERT_TRUE(frame.Create(&doc, "VORTELLE"));
  g_commands.clear();
  g_frameProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(frame.m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordCommands)));
  ASSERT_NE(g_frameProc, nullptr);
  MSG enter{frame.m_hWnd, WM_KEYDOWN, VK_RETURN, 1, 0, {0, 0}};
  EXPECT_TRUE(frame.PreTranslateMessage(&enter));
  frame.m_wState = 0x0800;  // the point-size box has the focus
  EXPECT_TRUE(frame.PreTranslateMessage(&enter));
  frame.m_wState = 0;
  ASSERT_EQ(g_commands.size(), 2u);
  EXPECT_EQ(g_commands[0], 20046u) << "Enter on the layout";
  EXPECT_EQ(g_commands[1], 20060u) << "Enter in the point-size box";

  // A menu key whose command is off without a report is swallowed.
  MSG del{frame.m_hWnd, WM_KEYDOWN, VK_DELETE, 1, 0, {0, 0}};
  EXPECT_TRUE(frame.PreTranslateMessage(&del));
  EXPECT_EQ(g_commands.size(), 2u);
  SetWindowLongPtrA(frame.m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_frameProc));
}
}  // namespace

// scripts/screens: the main window as it first opens, with no report.
TEST_F(FrameTest, ScreensMainWindowEmpty) {
  CMainFrame frame;
  ASSERT_TRUE(frame.Create(&doc, "VORTELLE"));
  ShowWindow(frame.m_hWnd, SW_SHOWNORMAL);
  EXPECT_TRUE(SaveWindowPicture(frame.m_hWnd, ScreenPath("main-window-empty").c_str()));
}
