#include "platform/win/accel.h"
#include "platform/win/menu.h"
#include "ui_test_util.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
std::vector<WPARAM> g_commands;

LRESULT CommandLogProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COMMAND) g_commands.push_back(wParam);
  return DefWindowProcA(h, msg, wParam, lParam);
}

class AccelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_test::Start();
    WNDCLASSA wc{};
    wc.lpfnWndProc = CommandLogProc;
    wc.lpszClassName = "VtAccelOwner";
    RegisterClassA(&wc);
    g_commands.clear();
    top = CreateWindowExA(0, "VtAccelOwner", "Keys", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr, nullptr,
                          nullptr);
    child = CreateWindowExA(0, "VtAccelOwner", "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 100, top, nullptr, nullptr,
                            nullptr);
    ShowWindow(top, SW_SHOW);
    const ACCEL keys[] = {{FVIRTKEY, VK_HOME, 1}, {FVIRTKEY | FCONTROL, VK_HOME, 2},
                          {FVIRTKEY, VK_HOME, 3},  // shadowed by the first
                          {FVIRTKEY | FSHIFT | FCONTROL, VK_LEFT, 4}, {FVIRTKEY | FALT, VK_INSERT, 5},
                          {FVIRTKEY, VK_DELETE, 6}};
    table = CreateAcceleratorTableA(keys, 6);
    SetPreTranslateFilter(top, [this](MSG* m) { return TranslateAcceleratorA(top, table, m); });
  }
  void TearDown() override {
    SetPreTranslateFilter(top, {});
    DestroyAcceleratorTable(table);
    DestroyWindow(top);
  }
  HWND top = nullptr, child = nullptr;
  HACCEL table = nullptr;
};
}  // namespace

TEST_F(AccelTest, ChordsOfAnyWindowInTheTreeBecomeCommands) {
  ui_test::Key(child, Qt::Key_Home);
  ui_test::Key(child, Qt::Key_Home, Qt::ControlModifier);
  ui_test::Key(top, Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier);
  ui_test::Key(top, Qt::Key_Insert, Qt::AltModifier);
  ui_test::Key(top, Qt::Key_Left, Qt::ControlModifier);  // no entry: the window has it
  ui_test::Key(top, Qt::Key_Home, Qt::ShiftModifier);    // modifiers must match exactly
  ASSERT_EQ(g_commands.size(), 4u);
  EXPECT_EQ(g_commands[0], MAKEWPARAM(1, 1)) << "the first of two entries for a key wins";
  EXPECT_EQ(g_commands[1], MAKEWPARAM(2, 1));
  EXPECT_EQ(g_commands[2], MAKEWPARAM(4, 1));
  EXPECT_EQ(g_commands[3], MAKEWPARAM(5, 1));
}

TEST_F(AccelTest, ADisabledMenuItemSwallowsItsKey) {
  HMENU bar = CreateMenu();
  HMENU edit = CreatePopupMenu();
  AppendMenuA(edit, MF_STRING | MF_GRAYED, 6, "Cle&ar");
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(edit), "&Edit");
  SetMenu(top, bar);
  ui_test::Key(child, Qt::Key_Delete);
  EXPECT_TRUE(g_commands.empty());
  EnableMenuItem(bar, 6, MF_ENABLED);
  ui_test::Key(child, Qt::Key_Delete);
  ASSERT_EQ(g_commands.size(), 1u);
  EXPECT_EQ(LOWORD(g_commands[0]), 6);
}

TEST_F(AccelTest, CompiledTablesLoadByNameIgnoringCase) {
  HACCEL layout = LoadAcceleratorsA(nullptr, "layoutkeys");
  ASSERT_NE(layout, nullptr);
  EXPECT_EQ(CopyAcceleratorTableA(layout, nullptr, 0), 61);
  ACCEL first[2];
  ASSERT_EQ(CopyAcceleratorTableA(layout, first, 2), 2);
  EXPECT_EQ(first[0].key, 'N');
  EXPECT_EQ(first[0].fVirt, FVIRTKEY | FCONTROL);
  EXPECT_EQ(first[0].cmd, 32000);
  DestroyAcceleratorTable(layout);
  EXPECT_EQ(LoadAcceleratorsA(nullptr, "NoSuchKeys"), nullptr);
  EXPECT_EQ(LoadAcceleratorsA(nullptr, nullptr), nullptr);
  EXPECT_EQ(CreateAcceleratorTableA(nullptr, 3), nullptr);
  EXPECT_FALSE(DestroyAcceleratorTable(layout)) << "a table goes once";
}
