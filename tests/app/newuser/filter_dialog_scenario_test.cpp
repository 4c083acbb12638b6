// Database > Filter as a new user meets it: a condition on a running total
// is refused with its reason under the list, the reason goes once another
// field is chosen, and the condition then added filters the saved report,
// read back and printed with the totals SQLite gives for those rows.
#include "tests/platform/support/cut_texts.h"
#include "tests/app/newuser/newuser_fixture.h"

#include "dialogs/filter_dialog.h"
#include "model/selection_conditions.h"

#include <string>
#include <vector>

namespace newuser_test {
namespace {

constexpr UINT kCmdFilter = 30640, kCmdSave = 30010, kCmdPrint = 30030;

// The field combo's entry of that name picked as the mouse picks it.
void ChooseFilterField(HWND d, const char* entry) {
  const LRESULT at = SendDlgItemMessageA(d, kFilterField, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(entry));
  ASSERT_GE(at, 0) << entry;
  SendDlgItemMessageA(d, kFilterField, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
  SendMessageA(d, WM_COMMAND, MAKEWPARAM(kFilterField, CBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(d, kFilterField)));
}

TEST_F(NewUserTest, TheFilterDialogDropsARefusalWhenAnotherFieldIsChosen) {
  const std::string report = dir_ + "/filtered.kmw";
  fs::copy_file(dir_ + "/sales.kmw", report, fs::copy_options::overwrite_existing);
  ASSERT_TRUE(Start({report}));
  std::string refused, afterChoice, afterAdd;
  int rows = -1;
  answers.On("Filter", [&](HWND d) {
    EXPECT_EQ(CutControlTexts(d), std::vector<std::string>{}) << "every operator shows whole";
    ChooseFilterField(d, "N CustomerTotal");
    SetDlgItemTextA(d, kFilterValue, "5");
    Press(d, kFilterAdd);
    refused = ui_test::Text(GetDlgItem(d, kFilterMessage));
    ChooseFilterField(d, "N quantity");
    afterChoice = ui_test::Text(GetDlgItem(d, kFilterMessage));
    SetDlgItemTextA(d, kFilterValue, "2");
    Press(d, kFilterAdd);
    afterAdd = ui_test::Text(GetDlgItem(d, kFilterMessage));
    rows = static_cast<int>(SendDlgItemMessageA(d, kFilterRows, LB_GETCOUNT, 0, 0));
    Press(d, IDOK);
  });
  messages.clear();
  Command(kCmdFilter);
  EXPECT_EQ(messages, std::vector<std::string>{"Cannot filter on a running total"});
  EXPECT_EQ(refused, "Cannot filter on a running total");
  EXPECT_EQ(afterChoice, "") << "the reason was for the field no longer chosen";
  EXPECT_EQ(afterAdd, "");
  EXPECT_EQ(rows, 1);

  Command(kCmdSave);
  Reopen(report);
  EXPECT_EQ(CountSelectConditions(doc->m_pModel), 1);
  const std::string text = PrintedBy(kCmdPrint, "filtered");
  const std::string expected = Capture("sqlite3 '" + dir_ + "/sample.db' \"select printf('%.2f', sum(amount)) from "
                                       "order_lines where quantity = 2\"");
  ASSERT_FALSE(expected.empty());
  const size_t grand = text.find("Grand total");
  ASSERT_NE(grand, std::string::npos) << text;
  const std::string line = text.substr(grand, text.find('\n', grand) - grand);
  EXPECT_NE(line.find(expected.substr(0, expected.find('\n'))), std::string::npos) << line;
}

}  // namespace
}  // namespace newuser_test
