// The band pane on the sample report: the pane is as wide as its longest
// band name needs (the sample's group bands are named after their field),
// so no name is cut. The names are in the program's bold interface font,
// made at start-up, and their g, p and y keep their bottoms, also once the
// report is saved and opened again. Band Line Properties puts the focus
// back in the height box after refusing a height.
#include "tests/app/newuser/new_user_fixture.h"
#include "tests/app/newuser/newuser_fixture.h"

#include "platform/win/gdi.h"
#include "platform/win/profile.h"
#include "platform/win/window_picture.h"
#include "tests/support/screens.h"

#include "foundation/text_helpers.h"
#include "layout/band_line_layout.h"
#include "layout/layout_records.h"


#include <cstring>
#include <string>

namespace new_user {
namespace {

TEST_F(NewUser, ScreensTheBandPaneShowsEveryBandNameWhole) {
  WritePrivateProfileStringA("Save List", "BandWidth", nullptr, (Dir() + "/kmw.ini").c_str());
  ASSERT_NE(Start(), nullptr);
  CBandView& pane = MainFrame().m_wndBandView;
  RECT c{};
  GetClientRect(pane.m_hWnd, &c);
  EXPECT_GT(pane.NamesWidth(), 80) << "the sample's group names need more than the default width";
  EXPECT_GE(c.right, pane.NamesWidth());
  HFONT ui = Doc().m_hUiFont;
  ASSERT_NE(ui, nullptr);
  LOGFONTA font{};
  ASSERT_GT(GetObjectA(ui, sizeof font, &font), 0);
  EXPECT_EQ(font.lfWeight, 700);
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(font.lfHeight, GetDeviceCaps(screen, LOGPIXELSY) / 8);
  ReleaseDC(nullptr, screen);
  // The names are measured in that font: without it (the stock font) they need less.
  const int boldWidth = pane.NamesWidth();
  Doc().m_hUiFont = nullptr;
  const int plainWidth = pane.NamesWidth();
  Doc().m_hUiFont = ui;
  EXPECT_GT(boldWidth, plainWidth);
  EXPECT_TRUE(SaveWindowPicture(Frame(), ScreenPath("designer-sample-band-pane").c_str()));
}

}  // namespace
}  // namespace new_user

namespace newuser_test {
namespace {

constexpr UINT kCmdClose = 30000, kCmdSaveAs = 30020, kCmdPrint = 30030, kCmdOpen = 32001;

// The band names with a g, p or y in a picture of the pane: in each name's
// strip the lowest ink lies at least two rows below the foot of its first
// letter, which stands on the baseline, and within the strip. Answers how
// many names were looked at.
int CheckDescenders(CMainFrame& frame, const std::string& picture) {
  CBandView& pane = frame.m_wndBandView;
  EXPECT_TRUE(SaveWindowPicture(pane.m_hWnd, picture.c_str()));
  const QImage shot(QString::fromStdString(picture));
  if (shot.isNull()) {
    ADD_FAILURE() << "no picture of the band pane";
    return 0;
  }
  const LayoutTables& layout = *frame.m_pDoc->m_pLayout;
  const BandLineTable& lines = layout.Lines();
  const int shift = pane.GetRulerOffset();
  auto dark = [&](int x, int y) { return qGray(shot.pixel(x, y)) < 90; };
  int checked = 0;
  for (int i = 0; i <= lines.lastUsed; ++i) {
    const BandLineRec& r = lines.lines[i];
    if (i < lines.lastUsed && lines.lines[i + 1].kind == r.kind) continue;  // the name is on a band's last line
    char name[64];
    GetBandName(name, sizeof name, r.kind, [&](int level) { return frame.m_wndLayoutView.Host().GroupFieldName(level); });
    if (std::strpbrk(name, "gpy") == nullptr) continue;
    // Below the separator lines over the strip.
    const int top = std::max(shift, r.bottom - r.pixelHeight - layout.scrollY + shift + 3);
    const int bottom = r.bottom - layout.scrollY + shift;
    const int right = std::min(shot.width(), pane.NamesWidth() - 14);  // not the gutter's lines
    int firstColumn = -1, firstEnd = -1, footOfFirst = -1, lowest = -1;
    for (int x = 0; x < right; ++x) {
      bool ink = false;
      for (int y = top; y <= bottom && y < shot.height(); ++y)
        if (dark(x, y)) {
          ink = true;
          lowest = std::max(lowest, y);
          if (firstEnd < 0) footOfFirst = std::max(footOfFirst, y);
        }
      if (ink && firstColumn < 0) firstColumn = x;
      if (!ink && firstColumn >= 0 && firstEnd < 0) firstEnd = x;
    }
    SCOPED_TRACE(name);
    EXPECT_GE(footOfFirst, 0) << "no name drawn";
    EXPECT_GE(lowest, footOfFirst + 2) << "the descenders are cut";
    EXPECT_LE(lowest, bottom);
    ++checked;
  }
  return checked;
}

TEST_F(NewUserTest, BandNamesKeepTheirDescendersSavedAndOpenedAgain) {
  ASSERT_TRUE(Start({dir_ + "/sales.kmw"}));
  ShowWindow(frame->m_hWnd, SW_SHOWNORMAL);
  EXPECT_GE(CheckDescenders(*frame, dir_ + "/names.png"), 2) << "Page Header and the company group's bands";

  // Saved under another name, closed and opened from the File menu: the
  // pane drawn afresh for the report read back.
  const std::string report = dir_ + "/names.kmw";
  answers.File("Save As", report);
  Command(kCmdSaveAs);
  ASSERT_EQ(doc->GetPathName(), report);
  Command(kCmdClose);
  answers.File("Open Report", report);
  Command(kCmdOpen);
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_GE(CheckDescenders(*frame, dir_ + "/names-again.png"), 2) << "Page Header and the company group's bands";
  const std::string text = PrintedBy(kCmdPrint, "names");
  EXPECT_NE(text.find("Grand total"), std::string::npos) << text;
}

// Band Line Properties refuses a height that is no number with "Invalid
// line height" and puts the focus back in the height box, where the user
// types the height again.
TEST_F(NewUserTest, AnInvalidLineHeightLeavesTheFocusInTheHeightBox) {
  const std::string report = dir_ + "/height.kmw";
  fs::copy_file(dir_ + "/sales.kmw", report, fs::copy_options::overwrite_existing);
  ASSERT_TRUE(Start({report}));
  CBandView& pane = frame->m_wndBandView;
  const LayoutTables& layout = *doc->m_pLayout;
  const BandLineRec& line = layout.Lines().lines[3];
  ui_test::MouseClick(pane.m_hWnd->widget.data(),
                      QPoint(10, line.bottom - 3 - layout.scrollY + pane.GetRulerOffset()), false);
  ASSERT_EQ(frame->m_wndLayoutView.MarkedLineCount(), 1);
  constexpr int kFreeform = 251, kPoints = 253, kHeight = 254;
  HWND focus = nullptr, height = nullptr;
  answers.On("Band Line Properties", [&](HWND d) {
    ui_test::Click(GetDlgItem(d, kFreeform));
    ui_test::Click(GetDlgItem(d, kPoints));
    SetDlgItemTextA(d, kHeight, "tall");
    Press(d, IDOK);
    focus = GetFocus();
    height = GetDlgItem(d, kHeight);
    SetDlgItemTextA(d, kHeight, "30");
    Press(d, IDOK);
  });
  messages.clear();
  Command(30504);  // Format > Properties
  EXPECT_EQ(messages, std::vector<std::string>{"Invalid line height"});
  EXPECT_EQ(focus, height) << "the focus is in the height box after the message";
  ASSERT_NE(line.heightMode, kHeightAutomatic);
  EXPECT_GE(line.height, 300u) << "at least thirty points, in tenths";

  Command(30010);  // File > Save
  Reopen(report);
  EXPECT_NE(doc->m_pLayout->Lines().lines[3].heightMode, kHeightAutomatic);
  const std::string text = PrintedBy(kCmdPrint, "height");
  EXPECT_NE(text.find("Grand total"), std::string::npos) << text;
}

}  // namespace
}  // namespace newuser_test
