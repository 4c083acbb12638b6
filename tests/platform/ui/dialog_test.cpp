#include "platform/win/dialog.h"
#include "platform/win/gdi.h"
#include "tests/support/window_sample.h"
#include "ui_test_util.h"

#include <QImage>
#include <QPixmap>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {
using ui_test::WhenRunning;

// What a test dialog procedure does with WM_INITDIALOG.
enum class Init { FocusFirst, FocusLast, EndAtOnce, AddEdit, AddLabelledEdits };
Init g_init;
std::vector<UINT> g_commands;

INT_PTR TestProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG:
      if (g_init == Init::EndAtOnce) {
        EndDialog(dlg, 77);
        return TRUE;
      }
      if (g_init == Init::AddEdit) {
        HWND edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 10, 10, 80, 20, dlg,
                                    reinterpret_cast<HMENU>(150), nullptr, nullptr);
        SendMessageA(edit, WM_SETFONT, SendMessageA(dlg, WM_GETFONT, 0, 0), 0);
        SetFocus(edit);
        return FALSE;
      }
      if (g_init == Init::AddLabelledEdits) {
        // "&&" is a plain ampersand; a label marked for no letter, a disabled
        // edit and an unmarked label are passed over.
        const char* texts[] = {"Fish && &Chips:", nullptr, "&Width:", nullptr, nullptr, "&Height:", nullptr};
        const DWORD extra[] = {0, WS_TABSTOP, 0, WS_DISABLED | WS_TABSTOP, WS_TABSTOP, 0, WS_TABSTOP};
        for (int i = 0; i < 7; ++i) {
          HWND c = CreateWindowExA(0, texts[i] ? "STATIC" : "EDIT", texts[i] ? texts[i] : "12", WS_CHILD | WS_VISIBLE | extra[i],
                                   10, 10 + 20 * i, 80, 18, dlg, reinterpret_cast<HMENU>(static_cast<intptr_t>(160 + i)),
                                   nullptr, nullptr);
          SendMessageA(c, WM_SETFONT, SendMessageA(dlg, WM_GETFONT, 0, 0), 0);
        }
        SetFocus(GetDlgItem(dlg, IDOK));
        return FALSE;
      }
      if (g_init == Init::FocusLast) {
        SetFocus(GetDlgItem(dlg, IDCANCEL));
        return FALSE;
      }
      return TRUE;
    case WM_COMMAND:
      g_commands.push_back(LOWORD(wParam));
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dlg, LOWORD(wParam));
      return TRUE;
    default:
      return FALSE;
  }
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_test::Start();
    g_commands.clear();
  }
};

TEST_F(DialogTest, InitDialogFocusRuleAndEndingBeforeTheLoop) {
  g_init = Init::FocusFirst;
  int focused = 0;
  WhenRunning([&] {
    focused = GetDlgCtrlID(GetFocus());
    ui_test::KeyToFocus(Qt::Key_Escape);
  });
  EXPECT_EQ(DialogBoxParamA(nullptr, "DOk_Can", nullptr, TestProc, 0), IDCANCEL);
  EXPECT_EQ(focused, IDOK) << "TRUE from WM_INITDIALOG focuses the first tab stop";

  g_init = Init::FocusLast;
  WhenRunning([&] {
    focused = GetDlgCtrlID(GetFocus());
    ui_test::KeyToFocus(Qt::Key_Return);
  });
  EXPECT_EQ(DialogBoxParamA(nullptr, "DOk_Can", nullptr, TestProc, 0), IDCANCEL);
  EXPECT_EQ(focused, IDCANCEL) << "FALSE keeps the focus the procedure set";

  g_init = Init::EndAtOnce;
  EXPECT_EQ(DialogBoxParamA(nullptr, "DOk_Can", nullptr, TestProc, 0), 77);
  EXPECT_EQ(DialogBoxParamA(nullptr, "Missing", nullptr, TestProc, 0), -1);
}

TEST_F(DialogTest, EnterInAnEditUsesTheDefaultButtonAndTheCloseBoxCancels) {
  g_init = Init::AddEdit;
  std::string typed;
  WhenRunning([&] {
    HWND dlg = ui_test::ActiveDialog();
    ui_test::KeyToFocus(Qt::Key_4, Qt::NoModifier, QStringLiteral("4"));
    ui_test::KeyToFocus(Qt::Key_2, Qt::NoModifier, QStringLiteral("2"));
    typed = ui_test::Text(GetDlgItem(dlg, 150));
    SendMessageA(dlg, DM_SETDEFID, IDOK, 0);
    ui_test::KeyToFocus(Qt::Key_Return);
  });
  EXPECT_EQ(DialogBoxParamA(nullptr, "DOk_Can", nullptr, TestProc, 0), IDOK);
  EXPECT_EQ(typed, "42");

  WhenRunning([] { ui_test::ActiveDialog()->widget->close(); });
  EXPECT_EQ(DialogBoxParamA(nullptr, "DOk_Can", nullptr, TestProc, 0), IDCANCEL);
  EXPECT_NE(std::find(g_commands.begin(), g_commands.end(), static_cast<UINT>(IDCANCEL)), g_commands.end())
      << "the close box arrives as Cancel";
}

TEST_F(DialogTest, AltWithALabelsLetterFocusesTheControlAfterIt) {
  g_init = Init::AddLabelledEdits;
  std::vector<int> focused;
  DWORD selection = 0;
  WhenRunning([&] {
    ui_test::KeyToFocus(Qt::Key_W, Qt::AltModifier, QStringLiteral("w"));
    focused.push_back(GetDlgCtrlID(GetFocus()));
    selection = static_cast<DWORD>(SendMessageA(GetFocus(), EM_GETSEL, 0, 0));
    ui_test::KeyToFocus(Qt::Key_C, Qt::AltModifier, QStringLiteral("c"));
    focused.push_back(GetDlgCtrlID(GetFocus()));
    ui_test::KeyToFocus(Qt::Key_H, Qt::AltModifier, QStringLiteral("h"));
    focused.push_back(GetDlgCtrlID(GetFocus()));
    ui_test::KeyToFocus(Qt::Key_F, Qt::AltModifier, QStringLiteral("f"));
    focused.push_back(GetDlgCtrlID(GetFocus()));
    ui_test::KeyToFocus(Qt::Key_Escape);
  });
  EXPECT_EQ(DialogBoxParamA(nullptr, "DOk_Can", nullptr, TestProc, 0), IDCANCEL);
  EXPECT_EQ(focused, (std::vector<int>{164, 161, 166, 166})) << "W skips the disabled edit; F is no label's letter";
  EXPECT_EQ(selection, MAKELONG(0, 2)) << "the edit's text is selected for typing over";
}

// The window manager activates the window a modal dialog disabled when the
// user clicks it: the dialog comes back to the front with the keys.
TEST_F(DialogTest, ActivatingTheWindowAModalDialogDisabledHandsTheKeysBack) {
  g_init = Init::FocusFirst;
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "vtOwnerOfAModal";
  RegisterClassA(&wc);
  HWND owner = CreateWindowExA(0, wc.lpszClassName, "Owner", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                               nullptr, nullptr);
  ShowWindow(owner, SW_SHOW);
  const auto until = window_sample::PumpUntil;
  // The window system's report that the owner is active: it comes after the
  // request, as after a window manager's activation of a clicked window.
  bool ownerActivated = false;
  QObject watch;
  QObject::connect(qApp, &QGuiApplication::focusWindowChanged, &watch, [&](QWindow* w) {
    if (w != nullptr && w == owner->widget->windowHandle()) ownerActivated = true;
  });
  bool dialogGotItBack = false;
  WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    ASSERT_NE(d, nullptr);
    until([&] { return QApplication::activeWindow() == d->widget; });
    ownerActivated = false;
    // Asked of the window system itself: the toolkit counts the owner
    // active while its dialog is, so activateWindow() would ask nothing.
    owner->widget->windowHandle()->requestActivate();
    if (until([&] { return ownerActivated; }))
      dialogGotItBack = until([&] { return QApplication::activeWindow() == d->widget; });
    EndDialog(d, IDCANCEL);
  });
  EXPECT_EQ(DialogBoxParamA(nullptr, "DOk_Can", owner, TestProc, 0), IDCANCEL);
  EXPECT_TRUE(ownerActivated);
  EXPECT_TRUE(dialogGotItBack);
  DestroyWindow(owner);
}

// A modal dialog's title bar offers closing, not minimizing or maximizing.
TEST_F(DialogTest, TheTitleBarHasTheButtonsTheStyleAsksFor) {
  g_init = Init::FocusFirst;
  Qt::WindowFlags flags;
  WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    flags = d->widget->windowFlags();
    EndDialog(d, IDCANCEL);
  });
  EXPECT_EQ(DialogBoxParamA(nullptr, "DOk_Can", nullptr, TestProc, 0), IDCANCEL);
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
}

// A window that paints through BeginPaint: a red square, a text, then the picture if any.
HMETAFILE g_picture = nullptr;
LRESULT PaintingProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    RECT r{10, 10, 30, 30};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &r, red);
    DeleteObject(red);
    SetBkMode(dc, TRANSPARENT);
    TextOutA(dc, 40, 10, "Total", 5);
    if (g_picture) PlayMetaFile(dc, g_picture);
    EndPaint(h, &ps);
    return 0;
  }
  return DefWindowProcA(h, msg, wParam, lParam);
}

TEST(GdiDrawing, WindowPaintMemoryBitmapAndMetafile) {
  ui_test::Start();
  WNDCLASSA wc{};
  wc.lpfnWndProc = PaintingProc;
  wc.lpszClassName = "VtPainting";
  wc.hbrBackground = GetStockObject(WHITE_BRUSH);
  RegisterClassA(&wc);

  // A bitmap with a black line, copied into a metafile.
  HDC mem = CreateCompatibleDC(nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(mem, 0, 5), nullptr);
  HBITMAP bmp = CreateCompatibleBitmap(mem, 20, 20);
  ASSERT_NE(bmp, nullptr);
  SelectObject(mem, bmp);
  RECT all{0, 0, 20, 20};
  FillRect(mem, &all, GetStockObject(WHITE_BRUSH));
  SelectObject(mem, GetStockObject(BLACK_PEN));
  MoveToEx(mem, 0, 5, nullptr);
  LineTo(mem, 20, 5);
  HDC meta = CreateMetaFileA(nullptr);
  EXPECT_TRUE(BitBlt(meta, 0, 0, 20, 20, mem, 0, 0, SRCCOPY));
  g_picture = CloseMetaFile(meta);
  ASSERT_NE(g_picture, nullptr);

  HWND w = CreateWindowExA(0, "VtPainting", "", WS_POPUP, 0, 0, 100, 50, nullptr, nullptr, nullptr, nullptr);
  QImage shot = w->widget->grab().toImage();
  EXPECT_EQ(shot.pixelColor(25, 25), QColor(255, 0, 0));
  EXPECT_EQ(shot.pixelColor(15, 5), QColor(0, 0, 0)) << "the line from the bitmap";
  EXPECT_EQ(shot.pixelColor(15, 15), QColor(255, 255, 255)) << "the bitmap covers the square";
  EXPECT_EQ(shot.pixelColor(90, 45), QColor(255, 255, 255));
  DestroyWindow(w);
  DeleteMetaFile(g_picture);
  g_picture = nullptr;
  DeleteDC(mem);
  DeleteObject(bmp);
}

// The template compiler refuses bad files with a message instead of building a wrong table.
TEST(DialogTemplateCompiler, RefusesBrokenTemplates) {
  const std::string dir = ui_test::ScreenshotDir() + "/../rescomp_test";
  std::system(("mkdir -p '" + dir + "'").c_str());
  const char* bad[] = {
      "CONTROL 1 BUTTON \"OK\" 0 0 0 10 10\n",                                      // no DIALOG first
      "DIALOG A\nCONTROL 1 BUTTON \"OK\" BS_NOPE 0 0 10 10\n",                      // unknown style
      "DIALOG A\nCONTROL 1 BUTTON \"OK\" 0 0 0 10\n",                               // too few fields
      "DIALOG A\nCONTROL x BUTTON \"OK\" 0 0 0 10 10\n",                            // id not a number
      "DIALOG A\nCAPTION \"unterminated\n",                                         // open quote
      "DIALOG A\nDIALOG a\n",                                                       // same name twice
      "DIALOG A\nCAPTION \"\\q\"\n",                                                // bad escape
      "DIALOG A\nFROB 1\n",                                                         // unknown keyword
  };
  int i = 0;
  for (const char* text : bad) {
    std::string path = dir + "/bad" + std::to_string(i++) + ".dlg";
    std::ofstream(path) << text;
    std::string cmd = "python3 '" VT_SOURCE_DIR "/scripts/rescomp.py' dialogs '" + dir + "/out.cpp' '" + path +
                      "' >/dev/null 2>&1";
    EXPECT_NE(std::system(cmd.c_str()), 0) << text;
  }
  std::string good = dir + "/good.dlg";
  std::ofstream(good) << "DIALOG T\nSIZE 0 0 10 10\nFONT 8 \"MS Sans Serif\"\nCAPTION \"caf\\xE9\"\n"
                         "CONTROL 5 edit \"\" ES_NUMBER|WS_TABSTOP 1 2 3 4 WS_EX_CLIENTEDGE\n";
  std::string cmd = "python3 '" VT_SOURCE_DIR "/scripts/rescomp.py' dialogs '" + dir + "/out.cpp' '" + good + "'";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream in(dir + "/out.cpp");
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(all.find("{5, \"EDIT\", 0x50012000u, 0x00000200u, 1, 2, 3, 4, \"\"}"), std::string::npos) << all;
  EXPECT_NE(all.find("\"caf\\351\""), std::string::npos);
}
}  // namespace
