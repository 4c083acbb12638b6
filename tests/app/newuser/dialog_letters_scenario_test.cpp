// The Alt letters of the field and total dialogs as a new user presses them:
// Alt+W in Character Field Properties ticks "Word wrap", so the narrowed
// field prints wrapped instead of cut; Alt+R in New Total reaches the
// Reset list. Saved, read back and printed.
#include "tests/app/newuser/newuser_fixture.h"

#include "core/composite.h"
#include "core/fields.h"
#include "designer/design_view.h"
#include "tests/platform/ui/ui_test_util.h"

#include <sstream>
#include <string>
#include <vector>

namespace newuser_test {
namespace {

constexpr UINT kCmdProperties = 30504, kCmdTotalField = 30710, kCmdSave = 30010, kCmdPrint = 30030;
constexpr int kWidth = 301, kWordWrap = 306, kNewField = 301, kTotalName = 200, kTotalReset = 202;

// The dialog made the active window, as the window system makes the one the
// user works in; the letters of its buttons work only there.
void Activate(HWND d) {
  SetActiveWindow(d);
  window_sample::PumpUntil([d] { return GetActiveWindow() == d; });
}

// Alt and a letter, as pressed in the dialog where the focus is.
void AltLetter(char letter) {
  ui_test::KeyToFocus(Qt::Key_A + (letter - 'a'), Qt::AltModifier, QString(QChar(letter)));
}

TEST_F(NewUserTest, AltWTicksWordWrapAndAltRReachesReset) {
  const std::string report = dir_ + "/letters.kmw";
  fs::copy_file(dir_ + "/sales.kmw", report, fs::copy_options::overwrite_existing);
  ASSERT_TRUE(Start({report}));
  FieldDef* company = PlacedField("company");
  ASSERT_NE(company, nullptr);
  CKmView& view = frame->m_wndLayoutView;
  view.ClearSelection();
  view.SelectObject(company->head, true);

  // Eight characters wide, and Alt+W: the box ticked, the focus on it.
  bool ticked = false;
  answers.On("Character Field Properties", [&](HWND d) {
    SetDlgItemTextA(d, kWidth, "8");
    Activate(d);
    SetFocus(GetDlgItem(d, kWidth));
    AltLetter('w');
    // A button pressed by its letter clicks a moment later, as the toolkit shows the press.
    ticked = Pump([&] { return IsDlgButtonChecked(d, kWordWrap) == BST_CHECKED; });
    Press(d, IDOK);
  });
  Command(kCmdProperties);
  EXPECT_TRUE(ticked) << "Alt+W ticks Word wrap";
  EXPECT_EQ(company->displayWidth, 8u);

  // New Total: Alt+R puts the focus in the Reset list.
  HWND focused = nullptr, reset = nullptr;
  answers.On("Total Fields", [](HWND list) {
    Press(list, kNewField);
    Press(list, IDCANCEL);
  });
  answers.On("New Total", [&](HWND d) {
    Activate(d);
    SetFocus(GetDlgItem(d, kTotalName));
    AltLetter('r');
    focused = GetFocus();
    reset = GetDlgItem(d, kTotalReset);
    Press(d, IDCANCEL);
  });
  Command(kCmdTotalField);
  ASSERT_NE(reset, nullptr) << "New Total was shown";
  EXPECT_EQ(focused, reset) << "Alt+R reaches Reset";

  Command(kCmdSave);
  Reopen(report);
  company = PlacedField("company");
  ASSERT_NE(company, nullptr);
  EXPECT_EQ(company->displayWidth, 8u);
  const std::string text = PrintedBy(kCmdPrint, "letters");
  // A company name longer than eight characters prints wrapped: its first
  // eight characters on one line, never its first nine.
  std::string name = Capture("sqlite3 '" + dir_ + "/sample.db' \"select company from customers where length(company) > 12 limit 1\"");
  name = name.substr(0, name.find('\n'));
  ASSERT_GT(name.size(), 12u);
  EXPECT_NE(text.find(name.substr(0, 8)), std::string::npos) << text;
  EXPECT_EQ(text.find(name.substr(0, 9)), std::string::npos) << text;
}

}  // namespace
}  // namespace newuser_test
