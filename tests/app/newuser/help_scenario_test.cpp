// Help as a new user asks for it: no help viewer exists here, so the first
// request of a run (F1 on the layout, Help > Help Topics or a dialog's Help
// button) says so in a message, once; the request itself is still made.
#include "tests/app/newuser/newuser_fixture.h"

#include "platform/win/help.h"

namespace newuser_test {
namespace {

constexpr UINT kCmdHelpTopics = 32024, kCmdPageSetup = 30512;
const char kNoViewer[] = "Help cannot be shown: there is no help viewer on this system.";

int Said(const std::vector<std::string>& messages) {
  int n = 0;
  for (const std::string& m : messages) n += m == kNoViewer;
  return n;
}

TEST_F(NewUserTest, F1AndHelpTopicsSayOnceThatNoHelpViewerExists) {
  ASSERT_TRUE(Start({dir_ + "/sales.kmw"}));
  ASSERT_TRUE(doc->m_bReportOpen);
  ClearHelpRequests();
  ui_test::Key(frame->m_wndLayoutView.m_hWnd, Qt::Key_F1);
  EXPECT_EQ(Said(messages), 1);
  ASSERT_FALSE(HelpRequests().empty()) << "F1 asks for help";
  Command(kCmdHelpTopics);
  EXPECT_EQ(Said(messages), 1) << "said once a run";
  EXPECT_EQ(HelpRequests().size(), 2u);
  EXPECT_EQ(HelpRequests().back().command, static_cast<UINT>(HELP_FINDER));
}

TEST_F(NewUserTest, ADialogsHelpButtonSaysNoHelpViewerExistsOverTheDialog) {
  ASSERT_TRUE(Start({dir_ + "/sales.kmw"}));
  ASSERT_TRUE(doc->m_bReportOpen);
  bool stillUp = false;
  answers.On("Page Setup", [&](HWND d) {
    Press(d, 300);  // Help
    stillUp = IsWindow(d) != FALSE;
    Press(d, IDCANCEL);
  });
  Command(kCmdPageSetup);
  EXPECT_TRUE(stillUp);
  EXPECT_EQ(Said(messages), 1);
  Command(kCmdHelpTopics);
  EXPECT_EQ(Said(messages), 1);
}

}  // namespace
}  // namespace newuser_test
