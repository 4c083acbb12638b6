#include "app/document.h"
#include "foundation/message_dialog.h"

#include "foundation/dialog_runner.h"
#include "platform/win/beep.h"
#include "platform/win/gdi.h"
#include "platform/win/help.h"
#include "platform/win/message_box.h"
#include "platform/win/wsprintf.h"
#include "ui_test_util.h"

#include <QImage>
#include <QPixmap>
#include <QSet>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {
using ui_test::WhenRunning;

class MessageDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_test::Start();
    ClearHelpRequests();
    SetMessageBoxResponder([](const MessageBoxRecord&) { return IDOK; });
  }
  void TearDown() override { SetMessageBoxResponder(nullptr); }

  // Shows a message and runs check(dialog) while it is up; check must end it.
  INT_PTR Show(int style, const char* text, std::function<void(HWND)> check) {
    WhenRunning([check] {
      HWND dlg = ui_test::ActiveDialog();
      EXPECT_NE(dlg, nullptr);
      if (dlg) check(dlg);
    });
    return doc.ShowMessageDialog(nullptr, text, "Caption", style);
  }

  CKmDoc doc;
};

struct StyleCase {
  int style;
  std::vector<int> buttons;
  UINT icon;
  int focus;
};
const StyleCase kStyles[] = {
    {0, {1, 300}, IDI_EXCLAMATION, 1}, {1, {6, 7}, IDI_QUESTION, 6},       {2, {6, 7}, IDI_QUESTION, 7},
    {3, {6, 7, 2}, IDI_QUESTION, 6},    {4, {1}, IDI_ASTERISK, 1},          {5, {1, 300}, IDI_HAND, 1},
    {6, {1, 2}, IDI_EXCLAMATION, 2},    {7, {1, 2, 300}, IDI_HAND, 1},      {8, {6, 7, 300}, IDI_QUESTION, 6}};

TEST_F(MessageDialogTest, EveryStyleShowsItsButtonsIconAndFocusAndAnswers) {
  for (const StyleCase& c : kStyles) {
    SCOPED_TRACE("style " + std::to_string(c.style));
    INT_PTR r = Show(c.style, "Save changes to the report?", [&](HWND dlg) {
      for (int id : {1, 2, 6, 7, 300}) {
        bool expected = std::count(c.buttons.begin(), c.buttons.end(), id) != 0;
        EXPECT_EQ(GetDlgItem(dlg, id) != nullptr, expected) << "button " << id;
      }
      EXPECT_EQ(GetDlgCtrlID(GetFocus()), c.focus);
      EXPECT_EQ(doc.m_uMsgIcon, c.icon);
      EXPECT_EQ(ui_test::Text(dlg), "Caption");
      EXPECT_EQ(ui_test::Text(GetDlgItem(dlg, 200)), "Save changes to the report?");
      ui_test::SaveScreenshot(dlg, "message_style_" + std::to_string(c.style));
      // The stored icon was painted into control 201.
      QImage icon = GetDlgItem(dlg, 201)->widget->grab().toImage();
      QSet<QRgb> colours;
      for (int y = 0; y < icon.height(); ++y)
        for (int x = 0; x < icon.width(); ++x) colours.insert(icon.pixel(x, y));
      EXPECT_GT(colours.size(), 3) << "an icon, not an empty control";
      ui_test::KeyToFocus(Qt::Key_Return);
    });
    EXPECT_EQ(r, c.focus) << "Enter answers with the focused button";

    r = Show(c.style, "Escape", [](HWND) { ui_test::KeyToFocus(Qt::Key_Escape); });
    EXPECT_EQ(r, IDCANCEL) << "Escape always answers 2";

    for (int id : c.buttons) {
      if (id == 300) continue;
      r = Show(c.style, "Click", [id](HWND dlg) { ui_test::Click(GetDlgItem(dlg, id)); });
      EXPECT_EQ(r, id);
    }
  }
}

TEST_F(MessageDialogTest, HelpButtonAndF1AskForContext1062OnceAndLeaveTheDialogOpen) {
  for (int style : {0, 5, 7, 8}) {
    SCOPED_TRACE("style " + std::to_string(style));
    ClearHelpRequests();
    INT_PTR r = Show(style, "Help me", [&](HWND dlg) {
      ui_test::Click(GetDlgItem(dlg, 300));
      ASSERT_EQ(HelpRequests().size(), 1u);
      EXPECT_EQ(HelpRequests()[0].command, static_cast<UINT>(HELP_CONTEXT));
      EXPECT_EQ(HelpRequests()[0].data, 1062u);
      EXPECT_FALSE(dlg->dlg->ended);
      // Focus and default move to OK, or to Yes where there is no OK.
      int expected = style == 8 ? IDYES : IDOK;
      EXPECT_EQ(GetDlgCtrlID(GetFocus()), expected);
      EXPECT_EQ(LOWORD(static_cast<uintptr_t>(SendMessageA(dlg, DM_GETDEFID, 0, 0))), expected);

      ClearHelpRequests();
      ui_test::KeyToFocus(Qt::Key_F1);
      WhenRunning([dlg] {
        EXPECT_EQ(HelpRequests().size(), 1u);
        if (!HelpRequests().empty()) {
          EXPECT_EQ(HelpRequests()[0].data, 1062u);
        }
        EXPECT_TRUE(IsWindow(dlg));
        ui_test::KeyToFocus(Qt::Key_Escape);
      });
    });
    EXPECT_EQ(r, IDCANCEL);
  }
}

TEST_F(MessageDialogTest, MissingTemplateShowsTheSystemMessageAndCallersSeeCancel) {
  long before = MessageBoxCount();
  auto proc = [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; };
  EXPECT_EQ(doc.DoModalDialog(nullptr, proc, "NoSuchTemplate", 0), -1);
  ASSERT_EQ(MessageBoxCount(), before + 1);
  EXPECT_EQ(LastMessageBox()->text, "Cannot display dialog box. Check available memory.");
  EXPECT_EQ(LastMessageBox()->caption, "Hollowmark");
  EXPECT_TRUE(LastMessageBox()->type & MB_SYSTEMMODAL);
  EXPECT_EQ(ModalNestingCount(), 0);
  EXPECT_EQ(InstalledMsgFilterHookCount(), 0);

  EXPECT_EQ(doc.DoModalDialog(nullptr, nullptr, "DEx_Mess", 0), 0) << "no procedure, nothing runs";
  EXPECT_EQ(MessageBoxCount(), before + 1);

  // A dialog that ends with 0 or less reads as Cancel.
  INT_PTR r = Show(1, "zero", [](HWND dlg) { PostMessageA(dlg, WM_COMMAND, 0, 0); });
  EXPECT_EQ(r, IDCANCEL);
}

// Where the layout put things, in the dialog's client coordinates.
struct Layout {
  RECT text, frame, icon, window, client;
  std::vector<RECT> buttons;
};

RECT ClientRectOf(HWND dlg, HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  POINT a{r.left, r.top}, b{r.right, r.bottom};
  ScreenToClient(dlg, &a);
  ScreenToClient(dlg, &b);
  return RECT{a.x, a.y, b.x, b.y};
}

Layout Measure(HWND dlg) {
  Layout l;
  l.text = ClientRectOf(dlg, GetDlgItem(dlg, 200));
  l.frame = ClientRectOf(dlg, GetDlgItem(dlg, 202));
  l.icon = ClientRectOf(dlg, GetDlgItem(dlg, 201));
  GetWindowRect(dlg, &l.window);
  GetClientRect(dlg, &l.client);
  for (int id : {1, 6, 7, 2, 300})
    if (HWND b = GetDlgItem(dlg, id)) l.buttons.push_back(ClientRectOf(dlg, b));
  return l;
}

TEST_F(MessageDialogTest, SizeFollowsTheTextForShortEmptyAndLongTexts) {
  RECT desk;
  GetWindowRect(GetDesktopWindow(), &desk);
  const int deskW = desk.right - desk.left;
  std::string longText;
  for (int i = 0; i < 90; ++i) longText += "The selected table has no index on the linking field. ";

  for (const std::string& text : {std::string("Short text."), std::string(), longText}) {
    SCOPED_TRACE("text length " + std::to_string(text.size()));
    Show(2, text.c_str(), [&](HWND dlg) {
      Layout l = Measure(dlg);
      int iconW = l.icon.right - l.icon.left, iconH = l.icon.bottom - l.icon.top;
      int bw = l.buttons[0].right - l.buttons[0].left, bh = l.buttons[0].bottom - l.buttons[0].top;
      int count = static_cast<int>(l.buttons.size());
      int tw = l.text.right - l.text.left, th = l.text.bottom - l.text.top;
      RECT in = vt_ui::NonClientInsets(dlg);

      // What the text needs at the widest allowed line, in the text control's font.
      RECT need{in.left + l.icon.right + 5, 20, deskW / 2, 0};
      HDC dc = GetDC(GetDlgItem(dlg, 200));
      DrawTextA(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_EXTERNALLEADING);
      ReleaseDC(nullptr, dc);
      int needW = need.right - need.left, needH = need.bottom - need.top;

      if (text.empty()) {
        EXPECT_EQ(tw, count * bw + 5);
        EXPECT_EQ(th, iconH);
      } else if (text.size() < 20) {
        EXPECT_EQ(tw, std::max(needW, count * bw + 5));
        EXPECT_EQ(th, iconH);
      } else {
        EXPECT_EQ(tw, needW);
        EXPECT_EQ(th, needH);
        EXPECT_GT(th, 5 * iconH) << "a long text wraps into many lines";
        EXPECT_LE(l.window.right - l.window.left, deskW);
      }
      EXPECT_EQ(l.text.left, in.left + l.icon.right + 5);
      EXPECT_EQ(l.text.top, 20);
      EXPECT_EQ(l.frame.left, 5);
      EXPECT_EQ(l.frame.top, 10);
      EXPECT_EQ(l.frame.right - l.frame.left, tw + 30 + iconW);
      EXPECT_EQ(l.frame.bottom - l.frame.top, th + 30);
      EXPECT_EQ(l.window.right - l.window.left, in.left + l.frame.right + 10 + 2 * GetSystemMetrics(SM_CXBORDER));
      EXPECT_EQ(l.window.bottom - l.window.top, in.top + l.frame.bottom + GetSystemMetrics(SM_CYFIXEDFRAME) + 20 + bh);
      // Buttons: one row below the frame, 10 pixels apart, centred in the client area.
      for (size_t i = 0; i < l.buttons.size(); ++i) {
        EXPECT_EQ(l.buttons[i].top, l.buttons[0].top);
        EXPECT_GT(l.buttons[i].top, l.frame.bottom);
        EXPECT_LE(l.buttons[i].bottom, l.client.bottom);
        if (i > 0) {
          EXPECT_EQ(l.buttons[i].left, l.buttons[i - 1].right + 10);
        }
      }
      int centre = (l.buttons.front().left + l.buttons.back().right) / 2;
      EXPECT_NEAR(centre, l.client.right / 2, 2);
      // No main frame: centred on the desktop.
      EXPECT_NEAR((l.window.left + l.window.right) / 2, (desk.left + desk.right) / 2, 1);
      EXPECT_NEAR((l.window.top + l.window.bottom) / 2, (desk.top + desk.bottom) / 2, 1);
      if (text.size() > 20) ui_test::SaveScreenshot(dlg, "message_long_text");
      EndDialog(dlg, IDNO);
    });
  }
}

class WrapperTest : public MessageDialogTest {
 protected:
  void SetUp() override {
    MessageDialogTest::SetUp();
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "VtTestFrame";
    RegisterClassA(&wc);
    frameWnd = CreateWindowExA(0, "VtTestFrame", "Frame", WS_OVERLAPPEDWINDOW, 40, 30, 600, 400, nullptr, nullptr,
                               nullptr, nullptr);
    frame.m_hWnd = frameWnd;
  }
  void TearDown() override {
    DestroyWindow(frameWnd);
    MessageDialogTest::TearDown();
  }
  // Runs a wrapper and returns the text its dialog showed.
  std::string Capture(std::function<void()> call, int answerKey = Qt::Key_Escape) {
    std::string shown = "(nothing shown)";
    WhenRunning([&shown, answerKey] {
      HWND dlg = ui_test::ActiveDialog();
      if (dlg == nullptr) return;
      shown = ui_test::Text(GetDlgItem(dlg, 200));
      ui_test::KeyToFocus(answerKey);
    });
    call();
    ui_test::Pump();
    return shown;
  }

  HWND frameWnd = nullptr;
  CMainFrame frame;
};

TEST_F(WrapperTest, ErrorBoxWithoutFrameShowsNothingAndAnswersZero) {
  long beeps = BeepCount();
  EXPECT_EQ(doc.ErrorBox1("Cannot open %s", "ORDERS.DBF"), 0);
  EXPECT_EQ(doc.m_pszMsgCaption, nullptr) << "no dialog ran";
  EXPECT_EQ(BeepCount(), beeps + 1);
  EXPECT_EQ(doc.m_waitCursorOff, 1);
  ui_test::Pump();
}

TEST_F(WrapperTest, FormattedTextsCaptionsStylesAndAnswers) {
  doc.m_pMainFrame = &frame;
  EXPECT_EQ(Capture([&] { doc.InternalErrorBox2(26, 3); }),
            "Fatal error. Save your report, and exit the program 001a (0003)");
  EXPECT_EQ(doc.m_uMsgIcon, static_cast<UINT>(IDI_HAND));
  EXPECT_EQ(Capture([&] { doc.InternalErrorBox(7); }), "Fatal error. Save your report, and exit the program (7)");
  // Texts without arguments are shown literally: a "%s" in a name reads nothing.
  EXPECT_EQ(Capture([&] { doc.ErrorBox("Table 100%% full: %s %d"); }), "Table 100% full: %s %d");
  EXPECT_EQ(Capture([&] { doc.ErrorBoxChar("Bad character '%c'", 0x141); }), "Bad character 'A'");

  INT_PTR answer = 0;
  std::string shown = Capture([&] { answer = doc.WarningBox1("Delete %s?", "ORDERS"); }, Qt::Key_Return);
  EXPECT_EQ(shown, "Delete ORDERS?");
  EXPECT_EQ(answer, IDOK);
  EXPECT_EQ(doc.m_uMsgIcon, static_cast<UINT>(IDI_EXCLAMATION));
  EXPECT_EQ(Capture([&] { answer = doc.ErrorBox3("%s-%s-%s", "a", "b", "c"); }, Qt::Key_Return), "a-b-c");
  EXPECT_EQ(answer, 0) << "ErrorBox3 answers 0 whatever was pressed";
  ui_test::Pump();
}

TEST_F(WrapperTest, MessageDialogIsCentredOverTheMainFrame) {
  doc.m_pMainFrame = &frame;
  Show(4, "Centred", [&](HWND dlg) {
    RECT f, d;
    GetWindowRect(frameWnd, &f);
    GetWindowRect(dlg, &d);
    EXPECT_EQ(d.left, f.left + ((f.right - f.left) - (d.right - d.left)) / 2);
    EXPECT_EQ(d.top, f.top + ((f.bottom - f.top) - (d.bottom - d.top)) / 2);
    EndDialog(dlg, IDOK);
  });
}

TEST(MessageFormat, ConversionsTakeWhatWasPassedAndLongTextsAreCut) {
  char out[kMessageBufferSize];
  MsgArg args[] = {"abc", 42, -1, 'x', 7};
  FormatMessageText(out, sizeof out, "[%5s|%-4d|%04x|%c|%lu%%]", args, 5);
  EXPECT_STREQ(out, "[  abc|42  |ffffffff|x|7%]");
  // More conversions than arguments, and a text where a number is expected.
  MsgArg one[] = {"text"};
  FormatMessageText(out, sizeof out, "%d and %s and %q", one, 1);
  EXPECT_STREQ(out, "0 and  and %q");
  // A number where a text is expected prints in decimal; octal is served; a
  // '*' width has no argument to take and stays as written.
  MsgArg mixed[] = {-12, 8, 8, 5};
  FormatMessageText(out, sizeof out, "%4s|%o|%#o|%*d|%.*d", mixed, 4);
  EXPECT_STREQ(out, " -12|10|010|%*d|%.*d");

  std::string huge(2000, 'n');
  MsgArg big[] = {huge.c_str(), huge.c_str()};
  FormatMessageText(out, sizeof out, "%s%s", big, 2);
  EXPECT_EQ(std::strlen(out), kMessageBufferSize - 1);
  std::string fmt(3000, '%');
  CopyMessageText(out, sizeof out, fmt.c_str());
  EXPECT_EQ(std::strlen(out), kMessageBufferSize - 1);
  EXPECT_EQ(std::string(out), std::string(kMessageBufferSize - 1, '%'));
}
}  // namespace
