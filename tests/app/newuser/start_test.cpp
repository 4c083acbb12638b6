// Starting the program as a new user does: the start dialog, the one title
// of its windows and message boxes, the save question of a new report, and
// the command line's limits and its library switch.
#include "tests/app/newuser/newuser_fixture.h"

#include "core/composite.h"
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
// window; the frame, the start dialog and the question to save a new,
// changed report all carry the program's one title, and the question
// names the report "Untitled".
TEST_F(NewUserTest, ScreensTheStartDialogComesWithoutTheSplashAndEveryWindowCarriesTheOneTitle) {
  startChoice = [](HWND d) {
    EXPECT_TRUE(SaveWindowPicture(d, ScreenPath("start-dialog-at-start-up").c_str()));
    Press(d, 202);  // Blank Report
  };
  file_menu_test::AnswerSampleCustomers(answers);
  ASSERT_TRUE(Start({}));
  EXPECT_EQ(WindowText(), kTitle);
  ASSERT_TRUE(Pump([&] { return doc->m_bReportOpen != FALSE; })) << "no start dialog: the splash is off in kmw.ini";
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
