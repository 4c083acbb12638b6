// Starting the program as a new user does: the start dialog and the boxes
// over it, the one title of its windows and message boxes, the save question
// of a new report, and the command line's limits and its library switch.
#include "tests/app/newuser/newuser_fixture.h"

#include "core/composite.h"
#include "foundation/dialog_runner.h"
#include "platform/win/hook.h"
#include "platform/win/window_picture.h"
#include "tests/support/record_line.h"
#include "tests/support/screens.h"

#include <fstream>
#include <strings.h>

namespace newuser_test {
namespace {

constexpr char kTitle[] = "VORTELLE Report Designer";
constexpr UINT kCmdExit = 32016;

// The start dialog shows once the frame shows, also without the title
// window. Its Help box (F1) and About box (Ctrl+F1) take their own keys: a
// letter typed there changes nothing, Enter closes the box, and the start
// dialog, still up, chooses nothing until the user does; its hook goes with
// it. The frame, the start dialog, its Help box and the question to save a
// new, changed report all carry the program's one title, and the question
// names the report "Untitled".
TEST_F(NewUserTest, ScreensTheStartDialogComesWithoutTheSplashAndEveryWindowCarriesTheOneTitle) {
  const std::string about = "About VORTELLE Report Designer";
  HWND start = nullptr;
  int stage = 0, hooksUnderStart = -1;
  std::vector<std::string> closedByEnter;
  // The dialog that takes the keys, when nothing is over the start dialog or
  // closing above it any more.
  auto startAlone = [&] { return ui_test::ActiveDialog() == start && ModalNestingCount() == 0; };
  auto boxUp = [&](const std::string& caption) {
    HWND d = ui_test::ActiveDialog();
    return d != nullptr && d != start && ui_test::Text(d) == caption ? d : nullptr;
  };
  auto typeThenEnter = [&](HWND box, const char* picture) {
    EXPECT_TRUE(SaveWindowPicture(box, ScreenPath(picture).c_str()));
    const std::string caption = ui_test::Text(box);
    ui_test::KeyToFocus(Qt::Key_X, Qt::NoModifier, "x");
    ui_test::KeyToFocus(Qt::Key_Return);
    if (IsWindow(box) && !box->dlg->ended) Press(box, IDOK);  // left up: closed so the test goes on
    else closedByEnter.push_back(caption);
  };
  ui_test::Every steps(20, [&] {
    HWND d = nullptr;
    if (stage == 0 && (d = ui_test::ActiveDialog()) != nullptr && GetDlgItem(d, 204) != nullptr) {
      start = d;
      EXPECT_TRUE(SaveWindowPicture(d, ScreenPath("start-dialog-at-start-up").c_str()));
      ui_test::KeyToFocus(Qt::Key_F1);
      stage = 1;
    } else if (stage == 1 && (d = boxUp(kTitle)) != nullptr) {
      messages.push_back(ui_test::Text(GetDlgItem(d, 200)));
      typeThenEnter(d, "start-dialog-help-box");
      stage = 2;
    } else if (stage == 2 && startAlone()) {
      hooksUnderStart = InstalledMsgFilterHookCount();
      ui_test::KeyToFocus(Qt::Key_F1, Qt::ControlModifier);
      stage = 3;
    } else if (stage == 3 && (d = boxUp(about)) != nullptr) {
      typeThenEnter(d, "start-dialog-about-box");
      stage = 4;
    } else if (stage == 4 && startAlone()) {
      Press(start, 202);  // Blank Report
      stage = 5;
    }
  });
  answers.On(kTitle, [&](HWND d) {
    if (GetDlgItem(d, 204) != nullptr) ++startDialogs;
    else if (stage == 5) Press(d, IDOK);  // later messages; the boxes over the start dialog are the steps'
  });
  file_menu_test::AnswerSampleCustomers(answers);
  ASSERT_TRUE(Start({}));
  EXPECT_EQ(WindowText(), kTitle);
  ASSERT_TRUE(Pump([&] { return doc->m_bReportOpen != FALSE; })) << "no start dialog: the splash is off in kmw.ini";
  EXPECT_EQ(stage, 5);
  EXPECT_EQ(closedByEnter, (std::vector<std::string>{kTitle, about}));
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages[0], "Help cannot be shown: there is no help viewer on this system.");
  EXPECT_EQ(hooksUnderStart, 1) << "the Help box's hook left with it, the start dialog's stayed";
  EXPECT_EQ(InstalledMsgFilterHookCount(), 0) << "the start dialog's hook left with it";
  EXPECT_EQ(PlacedField("company"), nullptr) << "a blank report, not an instant report";
  EXPECT_EQ(startDialogs, 1);
  EXPECT_EQ(WindowText(), std::string("VortelleSample - Untitled - ") + kTitle);
  ShowWindow(frame->m_hWnd, SW_SHOWNORMAL);
  MoveWindow(frame->m_hWnd, 0, 0, 900, 600, TRUE);
  Pump([] { return true; });
  EXPECT_TRUE(SaveWindowPicture(frame->m_hWnd, ScreenPath("main-window-new-blank-report").c_str()));

  // A field placed: Exit asks to save; Cancel keeps the report.
  FieldDef* company = nullptr;
  for (FieldDef* f = doc->m_pModel->fieldList; f != nullptr; f = f->next)
    if (strcasecmp(f->name, "company") == 0) company = f;
  ASSERT_NE(company, nullptr);
  ASSERT_TRUE(PlaceFieldsOnRecordLine(*doc, {company}, 20));
  doc->SetModifiedFlag(TRUE);
  answer = [](const MessageBoxRecord&) { return IDCANCEL; };
  boxes.clear();
  Command(kCmdExit);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Save changes to report 'Untitled'?");
  EXPECT_EQ(boxes[0].caption, kTitle);
  EXPECT_TRUE(IsWindow(frame->m_hWnd));
  ASSERT_TRUE(doc->m_bReportOpen);

  // Cleared, the window carries the title alone.
  doc->SetModifiedFlag(FALSE);
  doc->ClearReport(TRUE);
  EXPECT_EQ(WindowText(), kTitle);
}

// The command line holds 51 arguments: a report whose name is 51 words
// opens; one more word is error 1001 and the program ends.
TEST_F(NewUserTest, FiftyOneArgumentsOpenTheReportAFiftySecondIsRefused) {
  // The report's name, relative to the folder the program starts in, is
  // one letter repeated: "x x ... x.kmw".
  const std::string folder = dir_ + "/words";
  fs::create_directories(folder);
  const fs::path before = fs::current_path();
  fs::current_path(folder);
  auto words = [&](int n) {
    std::vector<std::string> args(static_cast<size_t>(n), "x");
    args.back() += ".kmw";
    std::string name = "x";
    for (int i = 1; i < n; ++i) name += " x";
    fs::copy_file(dir_ + "/sales.kmw", folder + "/" + name + ".kmw", fs::copy_options::overwrite_existing);
    return args;
  };
  const bool opened = Start(words(51));
  EXPECT_TRUE(opened && doc->m_bReportOpen);
  EXPECT_TRUE(messages.empty()) << messages[0];
  Stop();

  EXPECT_FALSE(Start(words(52)));
  fs::current_path(before);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Invalid or duplicate command line argument");
}

// /L naming a library that is nowhere: the library file cannot be opened,
// and the message names it.
TEST_F(NewUserTest, ALibraryThatIsNowhereIsNamedInItsMessage) {
  ASSERT_TRUE(Start({"/Lnowhere.qb6"}));
  EXPECT_FALSE(doc->m_bReportOpen);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Cannot open library file\r\nnowhere.qb6");
  EXPECT_EQ(boxes[0].caption, kTitle);
}

}  // namespace
}  // namespace newuser_test
