// Format > Record Layout on the sample as a new user meets it: the label
// stocks that come with the sample are offered with no warning about the
// label file; a stock chosen puts the records side by side, the layout
// draws no mark of its own at the record's width, and the report keeps the
// stock through save and reopen and prints.
#include "tests/app/newuser/newuser_fixture.h"

#include "app/label_stocks.h"
#include "app/record_layout_dialog.h"
#include "designer/design_view.h"
#include "designer/layout_drawing.h"
#include "foundation/page_metrics.h"
#include "layout/picture_size.h"

#include <algorithm>
#include <string>
#include <vector>

namespace newuser_test {
namespace {

constexpr UINT kCmdSave = 30010, kCmdPrint = 30030;
constexpr int kColumns = 203, kWidth = 205, kLabelType = 220, kAcross = 221, kDown = 222;

// The layout view drawn into a bitmap of its size: the colours of its
// column at view x, from top to bottom.
std::vector<COLORREF> ViewColumn(CKmView& view, int x) {
  const int w = view.ClientWidth(), h = view.ClientHeight();
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(nullptr, w, h);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECT all{0, 0, w, h};
  FillRect(dc, &all, GetSysColorBrush(COLOR_WINDOW));
  DrawLayoutView(view, dc, all);
  std::vector<COLORREF> column;
  for (int y = 0; y < h; ++y) column.push_back(GetPixel(dc, x, y));
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return column;
}

// The rows where two drawings of a column differ.
std::vector<int> Changed(const std::vector<COLORREF>& a, const std::vector<COLORREF>& b) {
  std::vector<int> rows;
  for (size_t y = 0; y < std::min(a.size(), b.size()); ++y)
    if (a[y] != b[y]) rows.push_back(static_cast<int>(y));
  return rows;
}

TEST_F(NewUserTest, RecordLayoutOnTheSampleOffersItsStocksAndDrawsNoRecordWidthMark) {
  const std::string report = dir_ + "/labels.kmw";
  fs::copy_file(dir_ + "/sales.kmw", report, fs::copy_options::overwrite_existing);
  ASSERT_TRUE(Start({report}));
  ShowWindow(frame->m_hWnd, SW_SHOWNORMAL);
  MoveWindow(frame->m_hWnd, 0, 0, 1000, 720, TRUE);
  Pump([] { return true; });
  CKmView& view = frame->m_wndLayoutView;
  const LayoutTables& layout = *doc->m_pLayout;
  // The place of the record width to come: two and three quarter inches.
  const int x = FromHundredthsX(layout.metrics, 275) - layout.scrollX;
  ASSERT_LT(x, view.ClientWidth());
  const std::vector<COLORREF> plain = ViewColumn(view, x);

  // First three records across, each two and three quarter inches wide, typed.
  std::vector<std::string> offered;
  answers.On("Record Layout", [&offered](HWND d) {
    offered = ListItems(d, kLabelType, true);
    SetDlgItemTextA(d, kColumns, "3");
    SetDlgItemTextA(d, kWidth, "2.75");
    CheckDlgButton(d, kAcross, BST_CHECKED);
    CheckDlgButton(d, kDown, BST_UNCHECKED);
    Press(d, IDOK);
  });
  messages.clear();
  Command(kCmdRecordLayout);
  EXPECT_EQ(messages, std::vector<std::string>{}) << "no warning about the label file";
  ASSERT_GE(offered.size(), 2u);
  EXPECT_EQ(offered[0], "User-defined");
  for (const char* stock : {"Letter 30 up", "A4 21 up", "Pin 1 across", "Mini 2x1"})
    EXPECT_NE(std::find(offered.begin(), offered.end(), stock), offered.end()) << stock;
  EXPECT_EQ(LabelColumns(*doc->m_pPageSetup), 3);
  ASSERT_EQ(RecordWidthHundredths(*doc), 275);
  // The layout's drawing is the same at the record's width: no mark there.
  EXPECT_EQ(Changed(plain, ViewColumn(view, x)), std::vector<int>{});

  // Then a stock of the sample's: the same pitch, three across.
  answers.On("Record Layout", [](HWND d) {
    const LRESULT at = SendDlgItemMessageA(d, kLabelType, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                           reinterpret_cast<LPARAM>("Letter 30 up"));
    SendDlgItemMessageA(d, kLabelType, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(kLabelType, CBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(d, kLabelType)));
    Press(d, IDOK);
  });
  Command(kCmdRecordLayout);
  EXPECT_EQ(ReportLabelStock(*doc), "Letter 30 up");
  EXPECT_EQ(LabelColumns(*doc->m_pPageSetup), 3);
  EXPECT_EQ(RecordWidthHundredths(*doc), 275);

  // Saved, opened again and printed: the stock is still there, still no mark.
  Command(kCmdSave);
  Command(30000);  // File > Close
  answers.File("Open Report", report);
  Command(32001);  // File > Open
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_EQ(ReportLabelStock(*doc), "Letter 30 up");
  EXPECT_EQ(Changed(plain, ViewColumn(view, x)), std::vector<int>{});
  const std::string text = PrintedBy(kCmdPrint, "labels");
  EXPECT_NE(text.find("Orders by customer"), std::string::npos) << text;
  EXPECT_EQ(messages, std::vector<std::string>{});
}

}  // namespace
}  // namespace newuser_test
