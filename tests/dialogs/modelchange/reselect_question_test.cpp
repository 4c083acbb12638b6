#include "model/reselect_tables.h"

#include "tests/platform/ui/ui_test_util.h"
#include "app/document.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Chooser {
  std::vector<int> answers;
  size_t asked = 0;
  std::string selected;
  std::vector<std::string> texts;
};
int Choose(void* c) {
  auto* ch = static_cast<Chooser*>(c);
  return ch->asked < ch->answers.size() ? ch->answers[ch->asked++] : 2;
}
void Select(void* c, const char* name) { static_cast<Chooser*>(c)->selected = name; }

// Answers every question that shows with the button given, noting its text.
void AnswerQuestions(Chooser* ch, int button, int times) {
  if (times <= 0) return;
  ui_test::WhenRunning([ch, button, times] {
    HWND d = ui_test::ActiveDialog();
    if (!d) return;
    ch->texts.push_back(ui_test::Text(GetDlgItem(d, 200)));
    AnswerQuestions(ch, button, times - 1);
    ui_test::Click(GetDlgItem(d, button));
  });
}

class DataSourceQuestionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_test::Start();
    q.doc = &doc;
    q.masterPath = "C:\\DATA\\ORDERS.DBF";
    q.choose = Choose;
    q.select = Select;
    q.currentSource = "Sales";
    q.context = &chooser;
  }
  CKmDoc doc;
  Chooser chooser;
  DataSourceQuestion q;
};

}  // namespace

TEST_F(DataSourceQuestionTest, AsksAgainUntilASourceIsChosen) {
  chooser.answers = {1, 0};
  AnswerQuestions(&chooser, IDYES, 2);
  EXPECT_EQ(AskAnotherDataSource(q), 0);
  EXPECT_EQ(chooser.asked, 2u);
  ASSERT_EQ(chooser.texts.size(), 2u);
  EXPECT_EQ(chooser.texts[0], "Cannot access master table 'C:\\DATA\\ORDERS.DBF'. Try another Data Source?");
}

TEST_F(DataSourceQuestionTest, CancelledChooserGoesBackToTheOldSource) {
  chooser.answers = {2};
  q.sqlReport = true;
  AnswerQuestions(&chooser, IDYES, 1);
  EXPECT_EQ(AskAnotherDataSource(q), 1);
  EXPECT_EQ(chooser.selected, "Sales");
  ASSERT_EQ(chooser.texts.size(), 1u);
  EXPECT_EQ(chooser.texts[0], "Error executing SELECT statement for report. Try another Data Source?");
}

TEST_F(DataSourceQuestionTest, NoOrSuppressedPromptsDecline) {
  AnswerQuestions(&chooser, IDNO, 1);
  EXPECT_EQ(AskAnotherDataSource(q), 1);
  EXPECT_EQ(chooser.asked, 0u);
  q.promptSuppressed = true;
  EXPECT_EQ(AskAnotherDataSource(q), 1);
  EXPECT_EQ(chooser.texts.size(), 1u);
}
