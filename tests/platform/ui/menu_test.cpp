#include "platform/win/menu.h"
#include "platform/win/placement.h"
#include "ui_test_util.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
std::vector<MSG> g_seen;

LRESULT MenuOwnerProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITMENUPOPUP) {
    g_seen.push_back({h, msg, wParam, lParam, 0, {0, 0}});
    // The owner decides the state as the popup opens.
    EnableMenuItem(reinterpret_cast<HMENU>(wParam), 101, MF_BYCOMMAND | MF_GRAYED);
  }
  if (msg == WM_COMMAND || msg == WM_SIZE) g_seen.push_back({h, msg, wParam, lParam, 0, {0, 0}});
  return DefWindowProcA(h, msg, wParam, lParam);
}

class MenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_test::Start();
    WNDCLASSA wc{};
    wc.lpfnWndProc = MenuOwnerProc;
    wc.lpszClassName = "VtMenuOwner";
    RegisterClassA(&wc);
    g_seen.clear();
    top = CreateWindowExA(0, "VtMenuOwner", "Menus", WS_OVERLAPPEDWINDOW, 10, 10, 400, 300, nullptr, nullptr,
                          nullptr, nullptr);
    ASSERT_NE(top, nullptr);
  }
  void TearDown() override { DestroyWindow(top); }
  HWND top = nullptr;
};

std::string ItemText(HMENU m, UINT item, UINT flags) {
  char buf[64];
  GetMenuStringA(m, item, buf, sizeof buf, flags);
  return buf;
}
}  // namespace

TEST_F(MenuTest, ItemsAreFoundByCommandInPopupsAndByPosition) {
  HMENU bar = CreateMenu();
  HMENU file = CreatePopupMenu();
  ASSERT_TRUE(AppendMenuA(file, MF_STRING, 100, "&Open"));
  ASSERT_TRUE(AppendMenuA(file, MF_SEPARATOR, 0, nullptr));
  ASSERT_TRUE(AppendMenuA(file, MF_STRING | MF_GRAYED, 101, "&Save"));
  ASSERT_TRUE(AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File"));

  EXPECT_EQ(GetMenuState(bar, 101, MF_BYCOMMAND), static_cast<UINT>(MF_GRAYED)) << "found inside the popup";
  EXPECT_EQ(EnableMenuItem(bar, 101, MF_BYCOMMAND | MF_ENABLED), static_cast<UINT>(MF_GRAYED)) << "answers the old state";
  EXPECT_EQ(GetMenuState(file, 2, MF_BYPOSITION), 0u);
  EXPECT_EQ(CheckMenuItem(file, 100, MF_BYCOMMAND | MF_CHECKED), 0u);
  EXPECT_EQ(GetMenuState(file, 100, MF_BYCOMMAND), static_cast<UINT>(MF_CHECKED));
  EXPECT_EQ(GetMenuState(bar, 0, MF_BYPOSITION), (3u << 8) | MF_POPUP) << "a popup answers its item count";
  EXPECT_EQ(GetMenuItemID(file, 1), 0u) << "separator";
  EXPECT_EQ(GetMenuItemID(bar, 0), kMenuItemMissing) << "popup";
  EXPECT_EQ(GetSubMenu(bar, 0), file);

  ASSERT_TRUE(ModifyMenuA(bar, 100, MF_BYCOMMAND | MF_STRING, 100, "&Open Report..."));
  EXPECT_EQ(ItemText(file, 0, MF_BYPOSITION), "&Open Report...");
  char tiny[4];
  EXPECT_EQ(GetMenuStringA(file, 100, tiny, sizeof tiny, MF_BYCOMMAND), 3) << "cut to the buffer";
  EXPECT_STREQ(tiny, "&Op");

  // Missing items, bad positions and dead handles answer as Win32 does.
  EXPECT_EQ(GetMenuState(bar, 999, MF_BYCOMMAND), kMenuItemMissing);
  EXPECT_EQ(EnableMenuItem(file, 7, MF_BYPOSITION), kMenuItemMissing);
  EXPECT_EQ(GetSubMenu(bar, -1), nullptr);
  EXPECT_FALSE(AppendMenuA(file, MF_POPUP, reinterpret_cast<UINT_PTR>(bar), "Loop")) << "a menu never holds itself";
  EXPECT_FALSE(AppendMenuA(file, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "Self"));

  ASSERT_TRUE(DeleteMenu(file, 1, MF_BYPOSITION));
  EXPECT_EQ(GetMenuItemCount(file), 2);
  ASSERT_TRUE(DestroyMenu(bar));
  EXPECT_FALSE(IsMenu(file)) << "popups go with their menu";
  EXPECT_EQ(GetMenuItemCount(file), -1);
}

TEST_F(MenuTest, CompiledMenuLoadsWithItsPopupsAndStates) {
  EXPECT_EQ(LoadMenuA(nullptr, MAKEINTRESOURCEA(4242)), nullptr);
  EXPECT_EQ(LoadMenuA(nullptr, "NoSuchMenu"), nullptr);
  HMENU bar = LoadMenuA(nullptr, "#10029");
  ASSERT_NE(bar, nullptr);
  ASSERT_EQ(GetMenuItemCount(bar), 9);
  EXPECT_EQ(ItemText(bar, 0, MF_BYPOSITION), "&File");
  EXPECT_EQ(ItemText(bar, 8, MF_BYPOSITION), "&Help");
  EXPECT_EQ(GetMenuState(bar, 57616, MF_BYCOMMAND), static_cast<UINT>(MF_GRAYED)) << "the recent-file place holder";
  EXPECT_NE(GetMenuState(bar, 32001, MF_BYCOMMAND), kMenuItemMissing);
  EXPECT_EQ(ItemText(bar, 32001, MF_BYCOMMAND), "&Open...\tCtrl+O");
  DestroyMenu(bar);
}

TEST_F(MenuTest, BarOpensPopupsThroughTheOwnerAndPostsCommands) {
  HMENU bar = CreateMenu();
  HMENU file = CreatePopupMenu();
  AppendMenuA(file, MF_STRING, 100, "&Open");
  AppendMenuA(file, MF_STRING, 101, "&Save");
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
  ASSERT_TRUE(SetMenu(top, bar));
  EXPECT_EQ(GetMenu(top), bar);
  EXPECT_GT(GetMenuBarHeight(top), 0);
  EXPECT_FALSE(SetMenu(top, file)) << "a popup is no menu bar";

  QMenuBar* qbar = top->widget->findChild<QMenuBar*>();
  ASSERT_NE(qbar, nullptr);
  ASSERT_EQ(qbar->actions().size(), 1);
  QMenu* qfile = qbar->actions()[0]->menu();
  ASSERT_NE(qfile, nullptr);
  Q_EMIT qfile->aboutToShow();
  ASSERT_FALSE(g_seen.empty());
  EXPECT_EQ(g_seen[0].message, static_cast<UINT>(WM_INITMENUPOPUP));
  EXPECT_EQ(reinterpret_cast<HMENU>(g_seen[0].wParam), file);
  ASSERT_EQ(qfile->actions().size(), 2);
  EXPECT_TRUE(qfile->actions()[0]->isEnabled());
  EXPECT_FALSE(qfile->actions()[1]->isEnabled()) << "the owner's WM_INITMENUPOPUP answer shows";

  g_seen.clear();
  qfile->actions()[0]->trigger();
  EXPECT_TRUE(g_seen.empty()) << "the command is posted, not sent";
  ui_test::Pump();
  ASSERT_EQ(g_seen.size(), 1u);
  EXPECT_EQ(g_seen[0].message, static_cast<UINT>(WM_COMMAND));
  EXPECT_EQ(LOWORD(g_seen[0].wParam), 100);

  ASSERT_TRUE(SetMenu(top, nullptr));
  EXPECT_EQ(GetMenuBarHeight(top), 0) << "no bar once the menu is taken off";
  DestroyMenu(bar);
}

TEST_F(MenuTest, PlacementKeepsTheNormalRectangleWhileMaximised) {
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  ASSERT_TRUE(GetWindowPlacement(top, &wp));
  EXPECT_EQ(wp.showCmd, static_cast<UINT>(SW_SHOWNORMAL));
  EXPECT_EQ(wp.rcNormalPosition.left, 10);
  EXPECT_EQ(wp.rcNormalPosition.right, 410);

  TrackWindowGeometry(top);
  wp.rcNormalPosition = RECT{30, 40, 330, 260};
  wp.showCmd = SW_SHOWMAXIMIZED;
  ASSERT_TRUE(SetWindowPlacement(top, &wp));
  ui_test::Pump();
  EXPECT_TRUE(IsZoomed(top));
  EXPECT_TRUE(IsWindowVisible(top));
  WINDOWPLACEMENT back{};
  ASSERT_TRUE(GetWindowPlacement(top, &back));
  EXPECT_EQ(back.showCmd, static_cast<UINT>(SW_SHOWMAXIMIZED));
  EXPECT_EQ(back.rcNormalPosition.left, 30);
  EXPECT_EQ(back.rcNormalPosition.bottom, 260);

  wp.showCmd = SW_SHOWNORMAL;
  ASSERT_TRUE(SetWindowPlacement(top, &wp));
  EXPECT_FALSE(IsZoomed(top));
  RECT r;
  GetWindowRect(top, &r);
  EXPECT_EQ(r.left, 30);
  EXPECT_EQ(r.right, 330);

  WINDOWPLACEMENT bad = wp;
  bad.rcNormalPosition = RECT{300, 40, 100, 260};
  EXPECT_FALSE(SetWindowPlacement(top, &bad)) << "an inside-out rectangle is refused";
  bad.rcNormalPosition = RECT{-2000000000, 0, 2000000000, 100};
  EXPECT_FALSE(SetWindowPlacement(top, &bad)) << "so is one wider than any screen";
  EXPECT_FALSE(SetWindowPlacement(top, nullptr));
}

TEST_F(MenuTest, AWindowsMenuGoesWithItAndPopupsLoseTheirFrame) {
  HWND other = CreateWindowExA(0, "VtMenuOwner", "Other", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                               nullptr, nullptr);
  HMENU bar = CreateMenu();
  ASSERT_TRUE(SetMenu(other, bar));
  EXPECT_FALSE(SetMenu(top, bar)) << "one menu bar belongs to one window";
  DestroyWindow(other);
  ui_test::Pump();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the widget goes after the window
  EXPECT_FALSE(IsMenu(bar));

  HWND popup = CreateWindowExA(WS_EX_TOPMOST, "VtMenuOwner", "", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr,
                               nullptr);
  ApplyTopLevelStyles(popup);
  EXPECT_TRUE(popup->widget->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(popup->widget->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(IsWindowVisible(popup)) << "a hidden window stays hidden";
  ApplyTopLevelStyles(top);
  EXPECT_FALSE(top->widget->windowFlags() & Qt::FramelessWindowHint) << "a captioned window keeps its frame";
  DestroyWindow(popup);
}
