// Owner-drawn combo box items: the list's items are measured and drawn by
// the parent window, which gets each item's number, data and a device context.
#include "tests/platform/ui/ui_test_util.h"

#include <QAbstractItemView>
#include <QComboBox>

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Seen {
  std::vector<UINT> measured;
  std::vector<DRAWITEMSTRUCT> drawn;
};
Seen* g_seen = nullptr;

LRESULT OwnerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_MEASUREITEM && g_seen) {
    auto* m = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
    g_seen->measured.push_back(m->itemID);
    m->itemHeight = 16;
    return TRUE;
  }
  if (msg == WM_DRAWITEM && g_seen) {
    const auto* d = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    g_seen->drawn.push_back(*d);
    HBRUSH b = CreateSolidBrush(static_cast<COLORREF>(d->itemData));
    FillRect(d->hDC, &d->rcItem, b);
    DeleteObject(b);
    return TRUE;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

TEST(OwnerDraw, TheParentMeasuresAndDrawsEachItemWithItsData) {
  ui_test::Start();
  WNDCLASSA wc{};
  wc.lpfnWndProc = OwnerProc;
  wc.lpszClassName = "VtOwnerDrawParent";
  RegisterClassA(&wc);
  Seen seen;
  g_seen = &seen;
  HWND top = CreateWindowExA(0, "VtOwnerDrawParent", "", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                             nullptr, nullptr);
  HWND combo = CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED,
                               10, 10, 120, 100, top, reinterpret_cast<HMENU>(77), nullptr, nullptr);
  ASSERT_NE(combo, nullptr);
  const COLORREF colours[] = {RGB(255, 0, 0), RGB(0, 0, 255)};
  for (COLORREF c : colours) {
    const LRESULT i = SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("x"));
    SendMessageA(combo, CB_SETITEMDATA, static_cast<WPARAM>(i), static_cast<LPARAM>(c));
  }
  auto* box = qobject_cast<QComboBox*>(combo->widget.data());
  ASSERT_NE(box, nullptr);
  box->showPopup();  // the list as the user opens it
  ui_test::Pump();
  const QImage picture = box->view()->grab().toImage();
  box->hidePopup();
  ASSERT_GE(seen.drawn.size(), 2u);
  EXPECT_EQ(seen.drawn[0].CtlID, 77u);
  EXPECT_EQ(seen.drawn[0].CtlType, static_cast<UINT>(ODT_COMBOBOX));
  EXPECT_EQ(seen.drawn[1].itemID, 1u);
  EXPECT_EQ(seen.drawn[1].itemData, static_cast<ULONG_PTR>(RGB(0, 0, 255)));
  EXPECT_FALSE(seen.measured.empty());
  // What the parent drew is what the list shows.
  const QRgb first = picture.pixel(5, seen.drawn[0].rcItem.top + 4);
  EXPECT_EQ(qRed(first), 255);
  EXPECT_EQ(qBlue(first), 0);
  g_seen = nullptr;
  DestroyWindow(top);
}

}  // namespace
