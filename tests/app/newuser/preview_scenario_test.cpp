// File > Print Preview as a user meets it: the preview waits on its page
// with its buttons and keys live (no box left over from reading the records
// holds the frame), its buttons are pressed as the mouse presses them, Last
// Page shows the last page of a longer report, and Close or Esc gives the
// designer back.
#include "tests/app/newuser/new_user_fixture.h"

#include "platform/printer/page_driver.h"


#include <string>

namespace new_user {
namespace {

constexpr UINT kFilePrintPreview = 30040;

bool Waiting() {
  CPreview* v = ActivePreview();
  return v != nullptr && v->m_bWaiting && !v->m_bBusy;
}

// Presses a preview button as the mouse does: a disabled button (or one in a
// disabled frame) does nothing.
void PressButton(UINT id) {
  if (CPreview* v = ActivePreview()) ui_test::Click(v->ToolButton(id));
}
// A step that presses the button.
std::function<bool()> Press(UINT id) {
  return [id] {
    PressButton(id);
    return true;
  };
}

TEST_F(NewUser, PreviewWaitsOnTheSamplePageWithItsButtonsLiveAndCloses) {
  ASSERT_NE(Start(), nullptr);
  bool checked = false;
  const bool done = Run(kFilePrintPreview, {
      [&] { return Waiting(); },
      [&] {
        // The records were read before the page; nothing of that stays up.
        EXPECT_EQ(RunStatusWindow(), nullptr);
        EXPECT_TRUE(IsWindowEnabled(Frame()));
        CPreview* v = ActivePreview();
        EXPECT_TRUE(v->m_bRunFinished) << "the sample has one page";
        EXPECT_STREQ(v->StatusText(), "Page:  1");
        // The preview's own keys, pressed on its page: Shift+F3 zooms in,
        // PgDn scrolls down a page, Esc closes.
        PageOutputState& s = GetPrintRunContext().page;
        ui_test::Key(v->PageWindow(), Qt::Key_F3, Qt::ShiftModifier);
        EXPECT_EQ(s.zoomLevel, 1);
        const LONG top = s.currentZoom != nullptr ? s.currentZoom->scrollY : 0;
        ui_test::Key(v->PageWindow(), Qt::Key_PageDown);
        EXPECT_GT(s.currentZoom != nullptr ? s.currentZoom->scrollY : 0, top);
        checked = true;
        ui_test::Key(v->PageWindow(), Qt::Key_Escape);
        return true;
      },
  });
  EXPECT_TRUE(done && checked);
  EXPECT_EQ(ActivePreview(), nullptr) << "Close ended the preview";
  EXPECT_TRUE(IsWindowEnabled(Frame()));
  EXPECT_TRUE(IsWindowVisible(MainFrame().GetBandPane()));
  EXPECT_TRUE(messages_.empty()) << messages_.front();
}

// Copies of the order lines make the sample a report of several pages; the
// copies go again at the end, for the tests after this one.
class LongSample {
 public:
  explicit LongSample(const std::string& db) : db_(db) {
    for (int i = 0; i < 4; ++i) Sql("insert into order_lines select * from order_lines");
  }
  ~LongSample() { Sql("delete from order_lines where rowid > 10"); }

 private:
  void Sql(const std::string& sql) { program_run::Capture("sqlite3 '" + db_ + "' '" + sql + "'"); }
  std::string db_;
};

TEST_F(NewUser, LastPageOfALongerReportShowsItsLastPage) {
  LongSample rows(Dir() + "/sample.db");
  ASSERT_NE(Start(), nullptr);
  PageOutputState& s = GetPrintRunContext().page;
  LONG lastShown = -1;
  std::string status;
  const bool done = Run(kFilePrintPreview, {
      [&] { return Waiting(); },
      [&] {
        EXPECT_EQ(s.pageShown, 0);
        EXPECT_FALSE(ActivePreview()->m_bRunFinished) << "more than one page";
        PressButton(kCmdPreviewNext);
        return true;
      },
      [&] { return Waiting() && s.pageShown == 1; },
      Press(kCmdPreviewLast),
      [&] { return Waiting() && ActivePreview()->m_bRunFinished; },
      [&] {
        CPreview* v = ActivePreview();
        lastShown = s.pageShown;
        status = v->StatusText();
        EXPECT_EQ(v->m_nLastPage, s.pageShown);
        EXPECT_EQ(s.pagesProduced, s.pageShown + 1);
        EXPECT_FALSE(v->IsCommandEnabled(kCmdPreviewNext));
        PressButton(kCmdPreviewFirst);
        return true;
      },
      [&] { return Waiting() && s.pageShown == 0; },
      Press(kCmdPreviewClose),
  });
  EXPECT_TRUE(done);
  EXPECT_GE(lastShown, 2) << "the long sample has at least three pages";
  EXPECT_EQ(status, "Page:  " + std::to_string(lastShown + 1));
  EXPECT_EQ(ActivePreview(), nullptr);
}

}  // namespace
}  // namespace new_user
