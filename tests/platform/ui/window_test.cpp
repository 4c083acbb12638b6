#include "platform/win/dialog.h"
#include "platform/win/gdi.h"
#include "platform/win/menu.h"
#include "platform/win/ui_app.h"
#include "ui_test_util.h"

#include <QAbstractSlider>
#include <QFontInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <unistd.h>
#include <cstdio>
#include <string>
#include <vector>

namespace {
struct Seen {
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
};
std::vector<Seen> g_log;

LRESULT LoggingProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_USER + 1 || msg == WM_TIMER || msg == WM_DESTROY || msg == WM_NCDESTROY || msg == WM_USER + 2)
    g_log.push_back({h, msg, wParam});
  return DefWindowProcA(h, msg, wParam, lParam);
}

WNDPROC g_before = nullptr;
LRESULT Doubling(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_USER + 2) return 2 * CallWindowProcA(g_before, h, msg, wParam, lParam);
  return CallWindowProcA(g_before, h, msg, wParam, lParam);
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_test::Start();
    WNDCLASSA wc{};
    wc.lpfnWndProc = LoggingProc;
    wc.lpszClassName = "VtLogging";
    RegisterClassA(&wc);
    g_log.clear();
    top = CreateWindowExA(0, "VtLogging", "Top", WS_OVERLAPPED, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(top, nullptr);
  }
  void TearDown() override { DestroyWindow(top); }
  HWND top = nullptr;
};

TEST_F(WindowTest, PostedMessagesRunInOrderInQtsLoopOrThroughGetAndPeek) {
  PostMessageA(top, WM_USER + 1, 1, 0);
  PostMessageA(top, WM_USER + 1, 2, 0);
  EXPECT_TRUE(g_log.empty()) << "posting never calls the procedure at once";
  ui_test::Pump();
  ASSERT_EQ(g_log.size(), 2u);
  EXPECT_EQ(g_log[0].wParam, 1u);
  EXPECT_EQ(g_log[1].wParam, 2u);

  // A loop of its own takes the messages instead of Qt's loop.
  g_log.clear();
  PostMessageA(top, WM_USER + 1, 3, 0);
  PostQuitMessage(5);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_TRUE(g_log.empty());
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  DispatchMessageA(&msg);
  EXPECT_EQ(g_log.size(), 1u);
  EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0)) << "WM_QUIT ends the loop";
  EXPECT_EQ(msg.wParam, 5u);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));

  EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(&g_log), WM_USER, 0, 0)) << "not a window";
}

TEST_F(WindowTest, TimersArriveThroughTheQueueAndStopWhenKilled) {
  ASSERT_EQ(SetTimer(top, 7, 1, nullptr), 7u);
  MSG msg;
  while (!PeekMessageA(&msg, top, WM_TIMER, WM_TIMER, PM_NOREMOVE)) {
  }
  // However long nobody takes it, one WM_TIMER waits at a time.
  int pending = 0;
  for (int i = 0; i < 20; ++i) ui_test::Pump(1);
  while (PeekMessageA(&msg, top, WM_TIMER, WM_TIMER, PM_REMOVE)) {
    EXPECT_EQ(msg.wParam, 7u);
    ++pending;
    if (pending > 1) break;
  }
  EXPECT_LE(pending, 1);
  EXPECT_TRUE(KillTimer(top, 7));
  EXPECT_FALSE(KillTimer(top, 7));
  g_log.clear();
  ui_test::Pump(10);
  for (const Seen& s : g_log) EXPECT_NE(s.msg, static_cast<UINT>(WM_TIMER));
}

TEST_F(WindowTest, SubclassingChainsAndDestroyInvalidatesChildrenToo) {
  HWND child = CreateWindowExA(0, "VtLogging", "", WS_CHILD, 0, 0, 10, 10, top, reinterpret_cast<HMENU>(5), nullptr,
                               nullptr);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(GetParent(child), top);
  EXPECT_EQ(GetDlgItem(top, 5), child);
  EXPECT_EQ(GetAncestor(child, GA_ROOT), top);
  g_before = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Doubling)));
  EXPECT_EQ(g_before, LoggingProc);
  SetWindowTextA(child, "abc");
  EXPECT_EQ(SendMessageA(child, WM_USER + 2, 0, 0), 0);
  EXPECT_EQ(SendMessageA(child, WM_GETTEXTLENGTH, 0, 0), 3) << "other messages pass through";
  EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(CreateWindowExA(0, "VtLogging", "", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr)
      << "a child needs a parent";

  g_log.clear();
  EXPECT_TRUE(DestroyWindow(top));
  EXPECT_FALSE(IsWindow(top));
  EXPECT_FALSE(IsWindow(child));
  EXPECT_FALSE(DestroyWindow(child));
  EXPECT_EQ(SendMessageA(child, WM_USER + 2, 0, 0), 0);
  ASSERT_EQ(g_log.size(), 4u);
  EXPECT_EQ(g_log[0].msg, static_cast<UINT>(WM_DESTROY));
  EXPECT_EQ(g_log[0].hwnd, top) << "the parent hears WM_DESTROY first";
  EXPECT_EQ(g_log[3].msg, static_cast<UINT>(WM_NCDESTROY));
  EXPECT_EQ(g_log[3].hwnd, top) << "and WM_NCDESTROY last";
  top = nullptr;
}

TEST_F(WindowTest, GeometryInScreenAndClientCoordinates) {
  HWND popup = CreateWindowExA(0, "VtLogging", "", WS_POPUP | WS_CAPTION | WS_DLGFRAME, 100, 50, 206, 125, nullptr,
                               nullptr, nullptr, nullptr);
  HWND child = CreateWindowExA(0, "VtLogging", "", WS_CHILD, 10, 20, 30, 40, popup, nullptr, nullptr, nullptr);
  RECT c, w;
  GetClientRect(popup, &c);
  EXPECT_EQ(c.right, 206 - 2 * GetSystemMetrics(SM_CXFIXEDFRAME));
  EXPECT_EQ(c.bottom, 125 - 2 * GetSystemMetrics(SM_CYFIXEDFRAME) - GetSystemMetrics(SM_CYCAPTION));
  GetWindowRect(child, &w);
  EXPECT_EQ(w.left, 100 + GetSystemMetrics(SM_CXFIXEDFRAME) + 10);
  EXPECT_EQ(w.top, 50 + GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CYCAPTION) + 20);
  POINT p{w.left, w.top};
  ScreenToClient(popup, &p);
  EXPECT_EQ(p.x, 10);
  EXPECT_EQ(p.y, 20);
  DestroyWindow(popup);
}

// What the window manager is told: an owned window stays above its owner,
// and only a window with a sizing border can be resized by the user.
TEST_F(WindowTest, OwnedWindowsStayAboveTheirOwnerAndOnlySizingBordersResize) {
  HWND frame = CreateWindowExA(0, "VtLogging", "Frame", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                               nullptr, nullptr);
  HWND box = CreateWindowExA(0, "VtLogging", "Box", WS_POPUP | WS_CAPTION | WS_SYSMENU, 40, 40, 200, 100, frame,
                             nullptr, nullptr, nullptr);
  ASSERT_TRUE(frame && box);
  ShowWindow(frame, SW_SHOW);
  ShowWindow(box, SW_SHOW);
  ASSERT_NE(box->widget->windowHandle(), nullptr);
  EXPECT_EQ(box->widget->windowHandle()->transientParent(), frame->widget->windowHandle());
  EXPECT_EQ(top->widget->windowHandle() ? top->widget->windowHandle()->transientParent() : nullptr, nullptr)
      << "a window of no owner stands alone";

  EXPECT_EQ(box->widget->minimumSize(), box->widget->maximumSize());
  MoveWindow(box, 40, 40, 260, 140, TRUE);
  RECT r;
  GetWindowRect(box, &r);
  EXPECT_EQ(r.right - r.left, 260) << "the program still sizes it";
  EXPECT_EQ(box->widget->maximumSize(), box->widget->size());
  EXPECT_EQ(box->widget->minimumSize(), box->widget->size());
  EXPECT_NE(frame->widget->minimumSize(), frame->widget->maximumSize()) << "a sizing border resizes";
  DestroyWindow(frame);
  EXPECT_FALSE(IsWindow(box)) << "the owned window goes with its owner";
}

TEST(Gdi, DrawTextWrapsAtBlanksAndAWordWiderThanTheLineWidensIt) {
  ui_test::Start();
  HDC dc = GetDC(nullptr);
  SelectObject(dc, GetStockObject(ANSI_VAR_FONT));
  TEXTMETRICA tm;
  ASSERT_TRUE(GetTextMetricsA(dc, &tm));
  EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
  const int line = tm.tmHeight + tm.tmExternalLeading;
  SIZE word;
  GetTextExtentPoint32A(dc, "alpha", 5, &word);
  const UINT calc = DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_EXTERNALLEADING;

  RECT r{0, 0, word.cx + 2, 0};
  EXPECT_EQ(DrawTextA(dc, "alpha alpha alpha", -1, &r, calc), 3 * line);
  EXPECT_EQ(r.right, word.cx);
  RECT wide{0, 0, 1000, 0};
  DrawTextA(dc, "alpha alpha", -1, &wide, calc);
  EXPECT_EQ(wide.bottom, line);
  RECT narrow{0, 0, 5, 0};
  DrawTextA(dc, "alpha", -1, &narrow, calc);
  EXPECT_EQ(narrow.right, word.cx) << "a long word is not broken";
  RECT lines{0, 0, 1000, 0};
  EXPECT_EQ(DrawTextA(dc, "a\r\nb\nc", -1, &lines, calc), 3 * line);
  RECT tab{0, 0, 1000, 0};
  DrawTextA(dc, "\tx", -1, &tab, calc);
  SIZE x;
  GetTextExtentPoint32A(dc, "x", 1, &x);
  EXPECT_EQ(tab.right, 8 * tm.tmAveCharWidth + x.cx);
  RECT amp{0, 0, 1000, 0}, plain{0, 0, 1000, 0};
  DrawTextA(dc, "&Help", -1, &amp, calc);
  DrawTextA(dc, "Help", -1, &plain, calc);
  EXPECT_EQ(amp.right, plain.right) << "the mnemonic marker takes no room";
  ReleaseDC(nullptr, dc);
}

// A text drawn into a fresh white bitmap, as its pixels.
std::vector<COLORREF> DrawnPixels(const char* text, UINT format = DT_SINGLELINE | DT_NOPREFIX) {
  HDC mem = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateCompatibleBitmap(mem, 120, 20);
  HGDIOBJ oldBitmap = SelectObject(mem, bmp);
  RECT all{0, 0, 120, 20};
  FillRect(mem, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SelectObject(mem, GetStockObject(DEFAULT_GUI_FONT));
  DrawTextA(mem, text, -1, &all, format);
  std::vector<COLORREF> pixels;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 120; ++x) pixels.push_back(GetPixel(mem, x, y));
  SelectObject(mem, oldBitmap);
  DeleteObject(bmp);
  DeleteDC(mem);
  return pixels;
}

// A label's marked letter is drawn underlined, as a button's is: the
// underline is all that differs from the plain text, and lies under the
// letter. "&&" is a plain ampersand; without prefixes "&" is drawn as it is.
TEST(Gdi, DrawTextUnderlinesTheMarkedLetter) {
  ui_test::Start();
  for (UINT format : {static_cast<UINT>(DT_SINGLELINE), static_cast<UINT>(DT_WORDBREAK)}) {
    const std::vector<COLORREF> marked = DrawnPixels("Widt&h:", format), plain = DrawnPixels("Width:", format);
    HDC dc = GetDC(nullptr);
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SIZE before, letter;
    GetTextExtentPoint32A(dc, "Widt", 4, &before);
    GetTextExtentPoint32A(dc, "Width", 5, &letter);
    ReleaseDC(nullptr, dc);
    int changed = 0;
    for (size_t i = 0; i < marked.size(); ++i) {
      if (marked[i] == plain[i]) continue;
      ++changed;
      const int x = static_cast<int>(i % 120), y = static_cast<int>(i / 120);
      EXPECT_TRUE(x >= before.cx && x < letter.cx && y >= before.cy - 4) << x << "," << y;
    }
    EXPECT_GT(changed, 2) << "the h is underlined";
    EXPECT_EQ(DrawnPixels("A&&B", format), DrawnPixels("A&B")) << "a double ampersand is one, not underlined";
  }
}

// A file name the code page cannot hold is kept in the system's spelling:
// the title, the menus, drawn texts (statics, the status line, messages)
// show its letters, and a code-page text still shows as the code page's.
TEST_F(WindowTest, TextsNamingAFileInTheSystemsSpellingShowItsLetters) {
  const char* name = "Facture \xC3\xA9t\xC3\xA9 \xCE\xA9mega";
  const QString letters = QString::fromUtf8(name);
  SetWindowTextA(top, name);
  EXPECT_EQ(top->widget->windowTitle(), letters);

  HMENU bar = CreateMenu();
  HMENU file = CreatePopupMenu();
  AppendMenuA(file, MF_STRING, 100, (std::string("&1 ") + name).c_str());
  AppendMenuA(file, MF_STRING, 101, "&2 caf\xE9");
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
  ASSERT_TRUE(SetMenu(top, bar));
  QMenuBar* qbar = top->widget->findChild<QMenuBar*>();
  ASSERT_NE(qbar, nullptr);
  QMenu* qfile = qbar->actions()[0]->menu();
  ASSERT_NE(qfile, nullptr);
  ASSERT_EQ(qfile->actions().size(), 2);
  EXPECT_EQ(qfile->actions()[0]->text(), "&1 " + letters);
  EXPECT_EQ(qfile->actions()[1]->text(), QString::fromUtf8("&2 caf\xC3\xA9"));
  SetMenu(top, nullptr);
  DestroyMenu(bar);

  // An edit box shows the name and gives its bytes back; changed, it is a
  // name still. A code-page text is the code page's both ways.
  HWND edit = CreateWindowExA(0, "EDIT", name, WS_CHILD, 0, 0, 200, 20, top, nullptr, nullptr, nullptr);
  auto* line = qobject_cast<QLineEdit*>(edit->widget.data());
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->text(), letters);
  EXPECT_EQ(ui_test::Text(edit), name);
  line->setText(letters + QString::fromUtf8(" \xC3\xBC"));
  EXPECT_EQ(ui_test::Text(edit), std::string(name) + " \xC3\xBC");
  line->setText(QString::fromUtf8("caf\xC3\xA9.kmw"));
  EXPECT_EQ(ui_test::Text(edit), "caf\xE9.kmw") << "a name the code page holds is the program's spelling";
  SetWindowTextA(edit, "caf\xE9");
  EXPECT_EQ(line->text(), QString::fromUtf8("caf\xC3\xA9"));
  line->setText(QString::fromUtf8("caf\xC3\xA9 \xCE\xA9"));
  EXPECT_EQ(ui_test::Text(edit), "caf\xE9 ?");

  // A list row shows it and keeps its bytes.
  HWND list = CreateWindowExA(0, "LISTBOX", "", WS_CHILD, 0, 0, 200, 100, top, nullptr, nullptr, nullptr);
  SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  auto* rows = qobject_cast<QListWidget*>(list->widget.data());
  ASSERT_NE(rows, nullptr);
  EXPECT_EQ(rows->item(0)->text(), letters);
  char row[64] = {};
  SendMessageA(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(row));
  EXPECT_STREQ(row, name);

  // Drawn, a name reads the same in either spelling.
  EXPECT_EQ(DrawnPixels("\xC3\xA9t\xC3\xA9 Zo\xC3\xAB"), DrawnPixels("\xE9t\xE9 Zo\xEB"));
}

TEST(Gdi, WindowsFacesResolveToInstalledMetricCompatibleFonts) {
  ui_test::Start();
  struct {
    const char* face;
    const char* family;
  } cases[] = {{"Arial", "Liberation Sans"},
               {"Times New Roman", "Liberation Serif"},
               {"Courier New", "Liberation Mono"},
               {"MS Sans Serif", "Liberation Sans"}};
  for (const auto& c : cases) {
    HFONT f = CreateFontA(-20, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, c.face);
    QFontInfo info(vt_ui::FontOf(f));
    if (info.family() != QLatin1String(c.family)) {
      DeleteObject(f);
      GTEST_SKIP() << c.family << " is not installed";
    }
    EXPECT_EQ(info.pixelSize(), 20);
    EXPECT_TRUE(info.bold());
    LOGFONTA lf;
    ASSERT_EQ(GetObjectA(f, sizeof lf, &lf), static_cast<int>(sizeof lf));
    EXPECT_STREQ(lf.lfFaceName, c.face);
    DeleteObject(f);
  }
  EXPECT_FALSE(DeleteObject(GetStockObject(ANSI_VAR_FONT))) << "stock objects stay";
  HDC dc = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 96);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 96);
  ReleaseDC(nullptr, dc);
}

// Qt takes the C library's locale from the environment when it starts, so
// this runs in a fresh process of this program started under a German locale
// (made with localedef under the build folder when none is installed).
TEST(UiLocale, NumbersStayInTheCLocaleUnderAGermanEnvironment) {
  if (std::getenv("VT_LOCALE_CHILD")) GTEST_SKIP() << "inside the child";
  std::string locpath;
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
    locpath = ui_test::ScreenshotDir() + "/../locales";
    std::string make = "mkdir -p '" + locpath + "' && localedef -i de_DE -f UTF-8 '" + locpath +
                       "/de_DE.UTF-8' >/dev/null 2>&1";
    std::system(make.c_str());
    setenv("LOCPATH", locpath.c_str(), 1);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
      unsetenv("LOCPATH");
      std::setlocale(LC_ALL, "C");
      GTEST_SKIP() << "no German locale available";
    }
    unsetenv("LOCPATH");
  }
  char de[16];
  std::snprintf(de, sizeof de, "%.2f", 1.5);
  std::setlocale(LC_ALL, "C");
  ASSERT_STREQ(de, "1,50") << "the German locale formats numbers with a comma";

  char exe[4096];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  ASSERT_GT(n, 0);
  exe[n] = '\0';
  std::string cmd = "VT_LOCALE_CHILD=1 LC_ALL=de_DE.UTF-8 ";
  if (!locpath.empty()) cmd += "LOCPATH='" + locpath + "' ";
  cmd += "'" + std::string(exe) + "' --gtest_filter=UiLocaleChild.* >/dev/null 2>&1";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
}

TEST(UiLocaleChild, QtStartsUnderTheEnvironmentButNumbersStayC) {
  if (!std::getenv("VT_LOCALE_CHILD")) GTEST_SKIP() << "run by UiLocale in a fresh process";
  ASSERT_FALSE(UiApplicationRunning());
  UiStartApplication();
  EXPECT_STRNE(std::setlocale(LC_CTYPE, nullptr), "C") << "Qt applied the environment";
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", 1.5);
  EXPECT_STREQ(buf, "1.50");
  EXPECT_DOUBLE_EQ(std::strtod("2.25", nullptr), 2.25);
  double d = 0;
  EXPECT_EQ(std::sscanf("3.5", "%lf", &d), 1);
  EXPECT_DOUBLE_EQ(d, 3.5);
}

class ControlTest : public WindowTest {};

TEST_F(ControlTest, ListAndComboKeepWindows1252TextsSortedAndFindable) {
  HWND list = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | LBS_SORT | LBS_NOTIFY, 0, 0, 100, 100, top,
                              reinterpret_cast<HMENU>(10), nullptr, nullptr);
  HWND combo = CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | CBS_DROPDOWNLIST, 0, 0, 100, 100, top,
                               reinterpret_cast<HMENU>(11), nullptr, nullptr);
  const char* names[] = {"Orders", "caf\xE9", "Customers"};
  for (const char* n : names) {
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(n));
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(n));
  }
  char buf[64];
  SendMessageA(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(buf));
  EXPECT_STREQ(buf, "caf\xE9") << "sorted ignoring case, bytes kept";
  EXPECT_EQ(SendMessageA(list, LB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("cu")), 1);
  EXPECT_EQ(SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("orders")), 2);
  EXPECT_EQ(SendMessageA(list, LB_GETTEXT, 7, reinterpret_cast<LPARAM>(buf)), LB_ERR);
  EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), LB_ERR);
  SendMessageA(list, LB_SETITEMDATA, 2, 4242);
  SendMessageA(list, LB_SETCURSEL, 2, 0);
  EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(SendMessageA(list, LB_GETITEMDATA, 2, 0), 4242);

  EXPECT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 3);
  EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR) << "adding selects nothing";
  SendMessageA(combo, CB_SETCURSEL, 1, 0);
  EXPECT_EQ(ui_test::Text(combo), "caf\xE9") << "unsorted: in the order added";
  EXPECT_EQ(SendMessageA(combo, CB_GETLBTEXTLEN, 9, 0), CB_ERR);
}

TEST_F(ControlTest, DialogItemIntegersFailVisiblyOnBadText) {
  HWND edit = CreateWindowExA(0, "EDIT", "", WS_CHILD, 0, 0, 50, 20, top, reinterpret_cast<HMENU>(12), nullptr,
                              nullptr);
  ASSERT_NE(edit, nullptr);
  struct {
    const char* text;
    BOOL isSigned;
    BOOL ok;
    UINT value;
  } cases[] = {{" 42 ", FALSE, TRUE, 42},      {"-7", TRUE, TRUE, static_cast<UINT>(-7)}, {"-7", FALSE, FALSE, 0},
               {"4x", FALSE, FALSE, 0},        {"", FALSE, FALSE, 0},                     {"4294967295", FALSE, TRUE, 4294967295u},
               {"4294967296", FALSE, FALSE, 0}, {"2147483648", TRUE, FALSE, 0}};
  for (const auto& c : cases) {
    SetDlgItemTextA(top, 12, c.text);
    BOOL ok = -1;
    EXPECT_EQ(GetDlgItemInt(top, 12, &ok, c.isSigned), c.value) << c.text;
    EXPECT_EQ(ok, c.ok) << c.text;
  }
  BOOL ok = TRUE;
  EXPECT_EQ(GetDlgItemInt(top, 99, &ok, FALSE), 0u);
  EXPECT_FALSE(ok);
}

TEST(DialogTemplates, EveryMessageTemplateIsFoundIgnoringCaseAndMapsDialogUnits) {
  ui_test::Start();
  for (const char* name : {"DEx_Mess", "DYNY_Mess", "dynn_mess", "DYNC_MESS", "DInfo_Mess", "DOk_Can", "DIgnore",
                           "DYNCH_Mess"})
    EXPECT_NE(vt_res::FindDialogTemplate(name), nullptr) << name;
  EXPECT_EQ(vt_res::FindDialogTemplate("Nothing"), nullptr);
  EXPECT_EQ(vt_res::FindDialogTemplate(MAKEINTRESOURCEA(5)), nullptr);

  HWND dlg = CreateDialogParamA(nullptr, "DOk_Can", nullptr, nullptr, 0);
  ASSERT_NE(dlg, nullptr);
  RECT r{0, 0, 40, 14};
  ASSERT_TRUE(MapDialogRect(dlg, &r));
  RECT ok;
  GetWindowRect(GetDlgItem(dlg, IDOK), &ok);
  EXPECT_EQ(ok.right - ok.left, r.right);
  EXPECT_EQ(ok.bottom - ok.top, r.bottom);
  EXPECT_EQ(LOWORD(static_cast<uintptr_t>(SendMessageA(dlg, DM_GETDEFID, 0, 0))), IDCANCEL)
      << "the template's default button";
  RECT icon;
  GetWindowRect(GetDlgItem(dlg, 201), &icon);
  EXPECT_EQ(icon.right - icon.left, 32);
  DestroyWindow(dlg);
}
}  // namespace

namespace {
std::vector<std::pair<UINT, WPARAM>> g_notes;
LRESULT NotedParent(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COMMAND || msg == WM_HSCROLL) g_notes.emplace_back(msg, wParam);
  // The owner of a scroll bar moves it, as a Win32 owner must.
  if (msg == WM_HSCROLL && LOWORD(wParam) == SB_LINEDOWN) {
    HWND bar = reinterpret_cast<HWND>(lParam);
    SetScrollPos(bar, SB_CTL, GetScrollPos(bar, SB_CTL) + 1, TRUE);
  }
  return DefWindowProcA(h, msg, wParam, lParam);
}

LRESULT PassOn(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcA(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(h, GWLP_USERDATA)), h, msg, wParam, lParam);
}

// A list box shows whole rows in its rectangle, and one whose procedure a
// dialog subclassed still tells its parent of a double-click on a row.
TEST_F(ControlTest, ListBoxesShowWholeRowsAndTellDoubleClicksThroughASubclass) {
  SetWindowLongPtrA(top, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(NotedParent));
  HWND list = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_VISIBLE | LBS_NOTIFY, 0, 0, 120, 101, top,
                              reinterpret_cast<HMENU>(12), nullptr, nullptr);
  HWND tall = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | LBS_NOINTEGRALHEIGHT, 0, 0, 120, 101, top, nullptr,
                              nullptr, nullptr);
  for (const char* n : {"one", "two", "three", "four", "five", "six", "seven", "eight", "nine", "ten"}) {
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(n));
    SendMessageA(tall, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(n));
  }
  auto* lw = qobject_cast<QListWidget*>(list->widget.data());
  ASSERT_NE(lw, nullptr);
  const int row = lw->sizeHintForRow(0);
  ASSERT_GT(row, 0);
  EXPECT_LE(lw->height(), 101);
  EXPECT_EQ((lw->height() - 2 * lw->frameWidth()) % row, 0) << "no row cut at the bottom";
  EXPECT_EQ(tall->widget->height(), 101) << "unless the style asks for the whole height";

  SetWindowLongPtrA(list, GWLP_USERDATA, SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PassOn)));
  ui_test::Pump();
  g_notes.clear();
  const QPoint third = lw->visualItemRect(lw->item(2)).center();
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                            QEvent::MouseButtonRelease}) {
    QMouseEvent e(type, third, lw->viewport()->mapToGlobal(third), Qt::LeftButton,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(lw->viewport(), &e);
  }
  EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 2);
  const std::pair<UINT, WPARAM> told{WM_COMMAND, MAKEWPARAM(12, LBN_DBLCLK)};
  EXPECT_NE(std::find(g_notes.begin(), g_notes.end(), told), g_notes.end());
}

TEST(Controls, ButtonsAndScrollBarsNotifyTheirParentTheWin32Way) {
  ui_test::Start();
  WNDCLASSA wc{};
  wc.lpfnWndProc = NotedParent;
  wc.lpszClassName = "VtNoted";
  RegisterClassA(&wc);
  HWND parent = CreateWindowExA(0, "VtNoted", "", WS_OVERLAPPED, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
  HWND autoCheck = CreateWindowExA(0, "BUTTON", "Auto", WS_CHILD | BS_AUTOCHECKBOX, 0, 0, 80, 20, parent,
                                   reinterpret_cast<HMENU>(21), nullptr, nullptr);
  HWND plainCheck = CreateWindowExA(0, "BUTTON", "Plain", WS_CHILD | BS_CHECKBOX, 0, 20, 80, 20, parent,
                                    reinterpret_cast<HMENU>(22), nullptr, nullptr);
  HWND bar = CreateWindowExA(0, "SCROLLBAR", "", WS_CHILD | SBS_HORZ, 0, 50, 200, 16, parent,
                             reinterpret_cast<HMENU>(23), nullptr, nullptr);
  g_notes.clear();
  ui_test::Click(autoCheck);
  ui_test::Click(plainCheck);
  EXPECT_EQ(IsDlgButtonChecked(parent, 21), static_cast<UINT>(BST_CHECKED));
  EXPECT_EQ(IsDlgButtonChecked(parent, 22), static_cast<UINT>(BST_UNCHECKED)) << "a plain check box waits for its owner";
  ASSERT_EQ(g_notes.size(), 2u);
  EXPECT_EQ(g_notes[0].second, MAKEWPARAM(21, BN_CLICKED));
  EXPECT_EQ(g_notes[1].second, MAKEWPARAM(22, BN_CLICKED));

  SetScrollRange(bar, SB_CTL, 0, 10, TRUE);
  SetScrollPos(bar, SB_CTL, 3, TRUE);
  EXPECT_EQ(SetScrollPos(bar, SB_CTL, 99, TRUE), 3);
  EXPECT_EQ(GetScrollPos(bar, SB_CTL), 10) << "clamped to the range";
  SetScrollPos(bar, SB_CTL, 3, TRUE);
  g_notes.clear();
  auto* sb = qobject_cast<QAbstractSlider*>(bar->widget.data());
  ASSERT_NE(sb, nullptr);
  sb->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  ASSERT_EQ(g_notes.size(), 1u);
  EXPECT_EQ(LOWORD(g_notes[0].second), SB_LINEDOWN);
  EXPECT_EQ(GetScrollPos(bar, SB_CTL), 4);
  EXPECT_EQ(sb->value(), 4);
  sb->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(GetScrollPos(bar, SB_CTL), 4) << "the owner did not move it";
  EXPECT_EQ(sb->value(), 4);
  DestroyWindow(parent);
}
}  // namespace
