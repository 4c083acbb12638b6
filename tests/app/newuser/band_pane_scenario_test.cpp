// The band pane on the sample report: the pane is as wide as its longest
// band name needs (the sample's group bands are named after their field),
// so no name is cut. The names are in the program's bold interface font,
// made at start-up.
#include "tests/app/newuser/new_user_fixture.h"

#include "platform/win/gdi.h"
#include "platform/win/profile.h"
#include "platform/win/window_picture.h"
#include "tests/support/screens.h"

#include "foundation/text_helpers.h"
#include "layout/layout_records.h"

#include <QImage>

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

  // The names' g, p and y keep their bottoms: in each name's strip the
  // lowest ink lies at least two rows below the foot of its first letter,
  // which stands on the baseline, and within the strip.
  const std::string picture = ScreenPath("band-pane-names");
  ASSERT_TRUE(SaveWindowPicture(pane.m_hWnd, picture.c_str()));
  const QImage shot(QString::fromStdString(picture));
  ASSERT_FALSE(shot.isNull());
  const LayoutTables& layout = *Doc().m_pLayout;
  const BandLineTable& lines = layout.Lines();
  const int shift = pane.GetRulerOffset();
  auto dark = [&](int x, int y) { return qGray(shot.pixel(x, y)) < 90; };
  int checked = 0;
  for (int i = 0; i <= lines.lastUsed; ++i) {
    const BandLineRec& r = lines.lines[i];
    if (i < lines.lastUsed && lines.lines[i + 1].kind == r.kind) continue;  // the name is on a band's last line
    char name[64];
    GetBandName(name, sizeof name, r.kind, [&](int level) { return MainFrame().m_wndLayoutView.Host().GroupFieldName(level); });
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
    ASSERT_GE(footOfFirst, 0) << "no name drawn";
    EXPECT_GE(lowest, footOfFirst + 2) << "the descenders are cut";
    EXPECT_LE(lowest, bottom);
    ++checked;
  }
  EXPECT_GE(checked, 2) << "Page Header and the company group's bands";
}

}  // namespace
}  // namespace new_user
