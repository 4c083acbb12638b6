// A tool bar at the top of the frame: a row of slots (buttons with the
// program's own drawn pictures, separators, and room for boxes), each button
// enabled or not and checked off, on or mixed; its tool tip follows the mouse.
#pragma once

#include "platform/win/window.h"

#include <functional>
#include <string>
#include <vector>

struct ToolSlot {
  UINT id = 0;        // 0: a separator
  int width = 0;      // a separator's width in pixels at scale 1 (0: the standard gap)
  std::string tip;    // the tool tip
  bool enabled = true;
  int check = 0;      // 0 off, 1 on, 2 mixed
  RECT rect{};
};

class CToolBarWnd {
 public:
  CToolBarWnd() = default;
  ~CToolBarWnd();
  CToolBarWnd(const CToolBarWnd&) = delete;
  CToolBarWnd& operator=(const CToolBarWnd&) = delete;

  // A hidden child of parent; scale 1 is 24-pixel buttons, 2 doubles everything.
  BOOL Create(HWND parent, UINT id, std::vector<ToolSlot> slots, int scale);
  int Height() const { return 28 * scale_; }
  int Scale() const { return scale_; }
  // Where a separator slot of this id stands (a box is placed there).
  RECT SlotRect(UINT id) const;
  ToolSlot* Find(UINT id);
  const std::vector<ToolSlot>& Slots() const { return slots_; }
  void SetState(UINT id, bool enabled, int check);
  void SetSlotId(size_t slot, UINT id, const std::string& tip);
  void ShowTips(bool on) { tips_ = on; }
  bool TipsShown() const { return tips_; }
  // A click on an enabled button.
  std::function<void(UINT id)> onClick;
  // Notifications of the boxes placed on the bar.
  std::function<void(UINT id, WORD code)> onBoxCommand;

  HWND m_hWnd = nullptr;

 private:
  static LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void Paint();
  int HitTest(int x, int y) const;
  std::vector<ToolSlot> slots_;
  int scale_ = 1;
  int pressed_ = -1;
  int hover_ = -1;
  bool tips_ = true;
};

// The program's button picture of a command, drawn into rect in colour.
void DrawToolGlyph(HDC dc, UINT id, const RECT& rect, COLORREF colour);
