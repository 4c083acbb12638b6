// The keys the menus show: each is in the frame's key table for the command
// of its item, and Ctrl+S, Ctrl+O and Ctrl+N do from the keyboard what
// File > Save, Open and New do.
#include "tests/app/newuser/new_user_fixture.h"

#include "platform/win/accel.h"
#include "platform/win/menu.h"
#include "platform/win/resources.h"


#include <sys/stat.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace new_user {
namespace {

constexpr UINT kMainMenu = 10029;

// "Ctrl+F11", "Shift+Del", "Delete", "Z" as an accelerator's key and flags;
// false for a text that names no key.
bool ParseKey(std::string text, ACCEL* out) {
  BYTE flags = FVIRTKEY;
  for (;;) {
    if (text.rfind("Ctrl+", 0) == 0) flags |= FCONTROL, text.erase(0, 5);
    else if (text.rfind("Shift+", 0) == 0) flags |= FSHIFT, text.erase(0, 6);
    else if (text.rfind("Alt+", 0) == 0) flags |= FALT, text.erase(0, 4);
    else break;
  }
  WORD key = 0;
  if (text.size() == 1 && std::isalnum(static_cast<unsigned char>(text[0])))
    key = static_cast<WORD>(std::toupper(static_cast<unsigned char>(text[0])));
  else if (text.size() > 1 && text[0] == 'F' && std::isdigit(static_cast<unsigned char>(text[1])))
    key = static_cast<WORD>(VK_F1 + std::atoi(text.c_str() + 1) - 1);
  else if (text == "Del" || text == "Delete")
    key = VK_DELETE;
  else if (text == "Ins" || text == "Insert")
    key = VK_INSERT;
  if (key == 0) return false;
  *out = ACCEL{flags, key, 0};
  return true;
}

struct ShownKey {
  UINT command;
  std::string label;  // the item's text
  std::string key;    // the key hint after the tab (or the backspace)
};

// Every item of the menu and its popups that shows a key.
void CollectShownKeys(HMENU menu, std::vector<ShownKey>* out) {
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    if (HMENU sub = GetSubMenu(menu, i)) {
      CollectShownKeys(sub, out);
      continue;
    }
    char text[256] = {};
    GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
    const char* tab = std::strchr(text, '\t');
    if (tab != nullptr) out->push_back({GetMenuItemID(menu, i), std::string(text, static_cast<size_t>(tab - text)), tab + 1});
  }
}

TEST_F(NewUser, EveryKeyAMenuShowsIsInTheKeyTableForItsCommand) {
  std::vector<ShownKey> shown;
  HMENU menu = LoadMenuA(nullptr, MAKEINTRESOURCEA(kMainMenu));
  ASSERT_NE(menu, nullptr);
  CollectShownKeys(menu, &shown);
  DestroyMenu(menu);
  // The texts the Edit menu takes from the string table, their key after a backspace.
  for (auto [id, command] : {std::pair<UINT, UINT>{91, 30100}, {831, 30100}, {119, 30100}, {76, 30130},
                             {78, 30130}, {105, 30130}, {115, 30140}}) {
    const std::string text = LoadResString(id);
    const size_t at = text.find('\b');
    ASSERT_NE(at, std::string::npos) << text;
    shown.push_back({command, text.substr(0, at), text.substr(at + 1)});
  }
  ASSERT_GT(shown.size(), 20u);

  HACCEL keys = LoadAcceleratorsA(nullptr, "LayoutKeys");
  ASSERT_NE(keys, nullptr);
  std::vector<ACCEL> table(static_cast<size_t>(CopyAcceleratorTableA(keys, nullptr, 0)));
  CopyAcceleratorTableA(keys, table.data(), static_cast<int>(table.size()));
  DestroyAcceleratorTable(keys);
  for (const ShownKey& s : shown) {
    ACCEL want{};
    ASSERT_TRUE(ParseKey(s.key, &want)) << s.label << ": " << s.key;
    // The first entry of the key decides, as the translation takes it.
    const ACCEL* first = nullptr;
    for (const ACCEL& a : table)
      if (a.key == want.key && (a.fVirt & ~FNOINVERT) == want.fVirt) {
        first = &a;
        break;
      }
    ASSERT_NE(first, nullptr) << s.label << " shows " << s.key << ", which no key of the table sends";
    EXPECT_EQ(first->cmd, s.command) << s.label << " shows " << s.key;
  }
}

// A key pressed on the layout, as the keyboard sends it.
void PressOnLayout(CMainFrame& f, int qtKey, Qt::KeyboardModifiers mods) {
  ui_test::Key(f.m_wndLayoutView.m_hWnd, qtKey, mods);
}

long long Stamp(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec : 0;
}

TEST_F(NewUser, CtrlSSavesCtrlOAsksForAReportAndCtrlNStartsANewOne) {
  ASSERT_NE(Start(), nullptr);
  const std::string report = Dir() + "/sales.kmw";
  // An edit first: the next item made current, selected and cleared.
  PressOnLayout(MainFrame(), Qt::Key_Tab, Qt::NoModifier);
  PressOnLayout(MainFrame(), Qt::Key_Space, Qt::NoModifier);
  PressOnLayout(MainFrame(), Qt::Key_Delete, Qt::NoModifier);
  ASSERT_TRUE(Doc().IsModified()) << "Tab, Space and Del cleared an item";
  const long long before = Stamp(report);
  PressOnLayout(MainFrame(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_FALSE(Doc().IsModified()) << "Ctrl+S saved the report";
  EXPECT_NE(Stamp(report), before);

  EXPECT_TRUE(While([&] { PressOnLayout(MainFrame(), Qt::Key_O, Qt::ControlModifier); },
                    {[&] {
                      ui_test::FileDialogHandle fd = ui_test::FileDialogHandle::TakeActive();
                      if (!fd) return false;
                      fd.Cancel();
                      return true;
                    }}));
  EXPECT_TRUE(Doc().m_bReportOpen) << "cancelled: the report stays";

  std::string newTitle;
  EXPECT_TRUE(While([&] { PressOnLayout(MainFrame(), Qt::Key_N, Qt::ControlModifier); },
                    {answer_box::Step({"New", 202}, [&](HWND d) {
                      newTitle = ui_test::Text(d);
                      SendMessageA(d, WM_COMMAND, IDCANCEL, 0);
                    })}));
  EXPECT_FALSE(newTitle.empty()) << "Ctrl+N asked how to start the new report";
  EXPECT_TRUE(Doc().m_bReportOpen);
}

}  // namespace
}  // namespace new_user
