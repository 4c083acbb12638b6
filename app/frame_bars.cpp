#include "app/frame_bars.h"

#include "app/document.h"
#include "app/main_frame.h"
#include "data/master_joins.h"
#include "designer/layout_editing.h"
#include "foundation/dialog_runner.h"
#include "foundation/message_dialog.h"
#include "layout/page_metrics.h"
#include "foundation/settings.h"
#include "layout/band_line_layout.h"
#include "layout/fonts.h"
#include "platform/win/common_controls.h"
#include "platform/win/dialog.h"
#include "platform/win/gdi.h"

#include <cctype>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr UINT kActionBarId = 59392;
constexpr UINT kFormatBarId = 59396;
constexpr UINT kBarTimer = 1;
constexpr UINT kBarTimerMs = 250;
constexpr size_t kMasterSlot = 16;
constexpr WORD kFontBoxFocus = 0x0400;
constexpr WORD kSizeBoxFocus = 0x0800;

std::vector<ToolSlot> ActionSlots() {
  const std::pair<UINT, const char*> ids[] = {
      {32000, "New"},         {32001, "Open"},          {30010, "Save"},          {0, ""},
      {30031, "Print"},       {30040, "Print Preview"}, {0, ""},                  {30110, "Cut"},
      {30120, "Copy"},        {30130, "Paste"},         {0, ""},                  {30440, "Insert Line"},
      {30450, "Insert Box"},  {30460, "Insert Image"},  {30470, "Insert Chart"},  {0, ""},
      {30600, "Master Table"}, {30610, "Joins"},        {30620, "Sort Order"},    {30630, "Group Order"},
      {30640, "Filter"},      {0, ""},                  {30700, "Calculated Field"}, {30710, "Total Field"}};
  std::vector<ToolSlot> slots;
  for (const auto& [id, tip] : ids) {
    ToolSlot s;
    s.id = id;
    s.tip = tip;
    slots.push_back(s);
  }
  return slots;
}

std::vector<ToolSlot> FormatSlots() {
  struct Def {
    UINT id;
    int width;
    const char* tip;
  };
  const Def defs[] = {{kFontBox, 140, "Font"},          {0, 0, ""},
                      {kSizeBox, 50, "Point Size"},      {0, 12, ""},
                      {kBoldButton, 0, "Bold"},          {kItalicButton, 0, "Italic"},
                      {kUnderlineButton, 0, "Underline"}, {0, 0, ""},
                      {kAlignLeftButton, 0, "Align Left"}, {kAlignCentreButton, 0, "Center"},
                      {kAlignRightButton, 0, "Align Right"}, {kJustifyButton, 0, "Justify"},
                      {0, 0, ""},                        {kTrimButton, 0, "Trim"},
                      {kDeleteButton, 0, "Delete"},      {0, 0, ""},
                      {kAutoFreeformButton, 0, "Automatic/Freeform Lines"}, {kSnapButton, 0, "Snap To Grid"}};
  std::vector<ToolSlot> slots;
  for (const Def& d : defs) {
    ToolSlot s;
    s.id = d.id;
    s.width = d.width;
    s.tip = d.tip;
    slots.push_back(s);
  }
  return slots;
}

LRESULT ComboText(HWND box, LRESULT index, std::string* out) {
  char text[64] = {};
  const LRESULT r = SendMessageA(box, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
  *out = text;
  return r;
}

}  // namespace

FrameBars::~FrameBars() {
  if (boxFont_ != nullptr) DeleteObject(boxFont_);
}

void FrameBars::ApplySettings() {
  if (doc_ == nullptr) return;
  SetToolTips(doc_->m_settings.toolHelp != 0);
  if (frame_ != nullptr) frame_->m_bToolTips = doc_->m_settings.toolHelp != 0;
  ShowActionBar(doc_->m_settings.actionBar != 0);
}

BOOL FrameBars::Create(CMainFrame& frame, CKmDoc& doc, int scale) {
  frame_ = &frame;
  doc_ = &doc;
  if (!m_actionBar.Create(frame.m_hWnd, kActionBarId, ActionSlots(), scale)) return FALSE;
  if (!m_formatBar.Create(frame.m_hWnd, kFormatBarId, FormatSlots(), scale)) return FALSE;
  m_actionBar.onClick = [this](UINT id) {
    if (frame_->IsCommandEnabled(id)) SendMessageA(frame_->m_hWnd, WM_COMMAND, id, 0);
  };
  m_formatBar.onClick = [this](UINT id) { HandleCommand(id, BN_CLICKED); };
  m_formatBar.onBoxCommand = [this](UINT id, WORD code) { HandleCommand(id, code); };
  const RECT f = m_formatBar.SlotRect(kFontBox), s = m_formatBar.SlotRect(kSizeBox);
  m_hFontBox = CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWNLIST, f.left,
                               f.top, f.right - f.left - 4, 100 * scale, m_formatBar.m_hWnd,
                               reinterpret_cast<HMENU>(static_cast<uintptr_t>(kFontBox)), nullptr, nullptr);
  m_hSizeBox = CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWN | CBS_SORT,
                               s.left, s.top, s.right - s.left - 4, 100 * scale, m_formatBar.m_hWnd,
                               reinterpret_cast<HMENU>(static_cast<uintptr_t>(kSizeBox)), nullptr, nullptr);
  if (m_hFontBox == nullptr || m_hSizeBox == nullptr) return FALSE;
  SendMessageA(m_hSizeBox, CB_LIMITTEXT, 5, 0);
  boxFont_ = CreateFontA(12 * scale, 0, 0, 0, 400, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0x22, "MS Sans Serif");
  if (boxFont_ != nullptr) {
    SendMessageA(m_hFontBox, WM_SETFONT, reinterpret_cast<WPARAM>(boxFont_), TRUE);
    SendMessageA(m_hSizeBox, WM_SETFONT, reinterpret_cast<WPARAM>(boxFont_), TRUE);
  }
  FillFontCombo();
  SetToolTips(doc.m_settings.toolHelp != 0);
  frame.m_bToolTips = doc.m_settings.toolHelp != 0;
  ShowActionBar(doc.m_settings.actionBar != 0);
  // The bars follow the commands' rules and the selection as the program idles.
  SetTimer(m_actionBar.m_hWnd, kBarTimer, kBarTimerMs, [](HWND bar, UINT, UINT_PTR, DWORD) {
    CKmDoc* d = GetActiveKmDoc();
    if (d == nullptr || d->m_pBars == nullptr || d->m_pBars->m_actionBar.m_hWnd != bar) return;
    d->m_pBars->UpdateActionBar();
    d->m_pBars->UpdateFormatBar();
  });
  return TRUE;
}

int FrameBars::Layout(int top, int width) {
  for (CToolBarWnd* bar : {&m_actionBar, &m_formatBar}) {
    if (!IsWindow(bar->m_hWnd) || !IsWindowVisible(bar->m_hWnd)) continue;
    MoveWindow(bar->m_hWnd, 0, top, width, bar->Height(), TRUE);
    top += bar->Height();
  }
  return top;
}

bool FrameBars::ActionBarShown() const { return IsWindowVisible(m_actionBar.m_hWnd) != FALSE; }
bool FrameBars::FormatBarShown() const { return IsWindowVisible(m_formatBar.m_hWnd) != FALSE; }

void FrameBars::ShowActionBar(bool show) {
  if (ActionBarShown() == show) return;
  ShowWindow(m_actionBar.m_hWnd, show ? SW_SHOWNOACTIVATE : SW_HIDE);
  if (frame_) frame_->RecalcLayout();
}

void FrameBars::ShowFormatBar(bool show) {
  if (FormatBarShown() == show) return;
  ShowWindow(m_formatBar.m_hWnd, show ? SW_SHOWNOACTIVATE : SW_HIDE);
  if (show) UpdateFormatBar();
  if (frame_) frame_->RecalcLayout();
}

void FrameBars::SetToolTips(bool on) {
  m_actionBar.ShowTips(on);
  m_formatBar.ShowTips(on);
}

void FrameBars::UpdateActionBar() {
  if (frame_ == nullptr || doc_ == nullptr) return;
  const bool sql = doc_->m_bReportOpen && doc_->m_pModel != nullptr && IsSqlReport(doc_->m_pModel);
  const UINT master = sql ? 30601 : 30600;
  if (m_actionBar.Slots()[kMasterSlot].id != master)
    m_actionBar.SetSlotId(kMasterSlot, master, sql ? "View/Change SQL" : "Master Table");
  for (const ToolSlot& s : m_actionBar.Slots()) {
    if (s.id == 0) continue;
    // The Print button prints at once; it is there when File > Print is.
    const UINT rule = s.id == 30031 ? 30030 : s.id == 30601 ? 30600 : s.id;
    m_actionBar.SetState(s.id, frame_->IsCommandEnabled(rule) != FALSE, 0);
  }
  // The format bar shows with a report when its switch says so.
  ShowFormatBar(doc_->m_bReportOpen && doc_->m_settings.formatBar != 0);
}

void FrameBars::FillFontCombo() {
  if (m_hFontBox == nullptr || doc_ == nullptr || doc_->m_pFonts == nullptr) return;
  SendMessageA(m_hFontBox, CB_RESETCONTENT, 0, 0);
  for (const FontEntry& e : doc_->m_pFonts->table)
    SendMessageA(m_hFontBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(e.logFont.lfFaceName));
}

void FrameBars::FillSizeCombo() {
  SendMessageA(m_hSizeBox, CB_RESETCONTENT, 0, 0);
  for (const std::string& t : SizeListEntries(*doc_, doc_->m_pFonts, m_state))
    SendMessageA(m_hSizeBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t.c_str()));
  int select = -1;
  if (m_state.currentSize >= 40 && m_state.currentSize <= 5000)
    select = static_cast<int>(SendMessageA(m_hSizeBox, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                           reinterpret_cast<LPARAM>(SizeText(m_state.currentSize, doc_->m_cDecimal).c_str())));
  SendMessageA(m_hSizeBox, CB_SETCURSEL, static_cast<WPARAM>(select), 0);
}

void FrameBars::UpdateFormatBar() {
  if (doc_ == nullptr) return;
  m_state = ComputeSelectionState(*doc_, doc_->m_pFonts);
  if (!doc_->m_bReportOpen || !FormatBarShown()) return;
  const DocFonts* fonts = doc_->m_pFonts;
  const bool haveFonts = fonts != nullptr && !fonts->table.empty();
  const bool ok = haveFonts && m_state.textObjects > 0;
  // The font controls rest while text is typed in place: they would give the
  // layout new fonts under the open editor.
  const bool fontsOn = ok && !TypingInPlace();
  if (SendMessageA(m_hFontBox, CB_GETCOUNT, 0, 0) == 0) FillFontCombo();
  // The boxes are left alone while the user works in them.
  const bool boxBusy = frame_ != nullptr && (frame_->m_wState & (kFontBoxFocus | kSizeBoxFocus)) != 0;
  if (!boxBusy) {
    if (ok && (m_state.currentFont >= 0 || m_state.scalable)) {
      SendMessageA(m_hFontBox, CB_SETCURSEL, static_cast<WPARAM>(m_state.currentFont), 0);
      FillSizeCombo();
    } else {
      SendMessageA(m_hFontBox, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
      SendMessageA(m_hSizeBox, CB_RESETCONTENT, 0, 0);
      SetWindowTextA(m_hSizeBox, "");
    }
  }
  EnableWindow(m_hFontBox, fontsOn ? TRUE : FALSE);
  EnableWindow(m_hSizeBox, fontsOn && (m_state.currentFont >= 0 || m_state.scalable) ? TRUE : FALSE);
  const bool any = m_state.selected > 0;
  const bool text = m_state.textObjects > 0;
  // The styles stay on while text is typed in place: they change the
  // selection, and the typing goes on.
  m_formatBar.SetState(kBoldButton, ok, ok ? m_state.bold : 0);
  m_formatBar.SetState(kItalicButton, ok, ok ? m_state.italic : 0);
  m_formatBar.SetState(kUnderlineButton, ok, ok ? m_state.underline : 0);
  m_formatBar.SetState(kAlignLeftButton, any, m_state.left);
  m_formatBar.SetState(kAlignCentreButton, any && !m_state.allWrapped, m_state.centre);
  m_formatBar.SetState(kAlignRightButton, any, m_state.right);
  m_formatBar.SetState(kJustifyButton, any && m_state.allWrapped, m_state.justify);
  m_formatBar.SetState(kTrimButton, text, text ? m_state.trim : 0);
  // Delete clears the selection, or brings back the last Clear when nothing
  // is selected; it shows down while a Clear can be undone.
  const bool held = doc_->m_pLayout != nullptr && CanUndoClear(*doc_->m_pLayout);
  m_formatBar.SetState(kDeleteButton, frame_ != nullptr && frame_->IsCommandEnabled(kDeleteButton), held ? 1 : 0);
  // Auto/Freeform: down when every marked line is freeform, mixed when some are.
  int automatic = 0, freeform = 0;
  const int markedLines = doc_->m_pLayout != nullptr ? CountMarkedLines(*doc_->m_pLayout, &automatic, &freeform) : 0;
  m_formatBar.SetState(kAutoFreeformButton, markedLines > 0,
                       markedLines == 0 || automatic == markedLines ? 0 : freeform == markedLines ? 1 : 2);
  m_formatBar.SetState(kSnapButton, true, doc_->m_settings.snapTo ? 1 : 0);
}

void FrameBars::FocusFrame() {
  if (frame_ != nullptr) {
    frame_->m_wState &= static_cast<WORD>(~(kFontBoxFocus | kSizeBoxFocus));
    if (frame_->m_pLayoutView && IsWindow(frame_->m_pLayoutView->m_hWnd)) SetFocus(frame_->m_pLayoutView->m_hWnd);
  }
}

bool FrameBars::ApplySizeFromCombo(bool fromEdit) {
  std::string text;
  if (fromEdit) {
    char buf[8] = {};
    GetWindowTextA(m_hSizeBox, buf, 6);
    text = buf;
  } else {
    const LRESULT sel = SendMessageA(m_hSizeBox, CB_GETCURSEL, 0, 0);
    if (sel < 0) return false;
    ComboText(m_hSizeBox, sel, &text);
  }
  const int size = ParseSizeEntry(text, doc_->m_cDecimal, doc_->m_pFonts, m_state.currentFont);
  if (size < 0) {
    ErrorBeep();
    return false;
  }
  m_state.currentSize = size;
  ApplyFontToSelection(*doc_, m_state.currentFont, size, -1);
  FocusFrame();
  UpdateFormatBar();
  return true;
}

bool FrameBars::TypingInPlace() const {
  return frame_ != nullptr && frame_->m_pLayoutView != nullptr && frame_->m_pLayoutView->EditorOpen();
}

BOOL FrameBars::HandleCommand(UINT id, WORD code) {
  if (doc_ == nullptr || !doc_->m_bReportOpen) return FALSE;
  // The font boxes are off while text is typed in place (see UpdateFormatBar).
  if (TypingInPlace() && (id == kFontBox || id == kSizeBox || id == kSizeBoxEnter)) return FALSE;
  m_state = ComputeSelectionState(*doc_, doc_->m_pFonts);
  switch (id) {
    case kAlignLeftButton:
    case kAlignCentreButton:
    case kAlignRightButton:
    case kJustifyButton:
      if (m_state.selected == 0 || (id == kJustifyButton && !m_state.allWrapped) ||
          (id == kAlignCentreButton && m_state.allWrapped))
        return FALSE;
      ApplyAlignmentToSelection(*doc_, static_cast<int>(id - kAlignLeftButton), m_state.allWrapped,
                                id <= kAlignCentreButton ? 0 : static_cast<int>(id - kAlignCentreButton));
      break;
    case kBoldButton:
    case kItalicButton:
    case kUnderlineButton:
      if (m_state.textObjects == 0) return FALSE;
      ApplyFontToSelection(*doc_, -1, -1, 1 << (id - kBoldButton));
      // Text typed in place goes on taking the keys.
      if (TypingInPlace()) frame_->m_pLayoutView->KeepKeysInEditor();
      break;
    case kTrimButton:
      if (m_state.textObjects == 0) return FALSE;
      ApplyTrimToSelection(*doc_, m_state.trim == 1 ? 0 : 1);
      break;
    case kDeleteButton:
      // Clear, or undo of the last Clear, by the layout view's own command
      // (the frame hands this id to the bar).
      if (frame_ == nullptr || frame_->m_pLayoutView == nullptr || !frame_->IsCommandEnabled(kDeleteButton))
        return FALSE;
      frame_->m_pLayoutView->OnCommand(kDeleteButton);
      break;
    case kAutoFreeformButton:
      if (doc_->m_pLayout == nullptr || CountMarkedLines(*doc_->m_pLayout, nullptr, nullptr) == 0) return FALSE;
      ToggleAutoFreeformLines(*doc_->m_pLayout);
      doc_->SetModifiedFlag(TRUE);
      break;
    case kSnapButton:
      doc_->m_settings.snapTo = doc_->m_settings.snapTo ? 0 : 1;
      if (doc_->m_pLayout) doc_->m_pLayout->metrics.snapping = doc_->m_settings.snapTo != 0;
      break;
    case kFontBox:
      if (code == CBN_SELCHANGE || code == 9) {
        const LRESULT sel = SendMessageA(m_hFontBox, CB_GETCURSEL, 0, 0);
        const DocFonts* fonts = doc_->m_pFonts;
        if (fonts == nullptr || sel < 0 || static_cast<size_t>(sel) >= fonts->table.size()) return TRUE;
        const FontEntry& e = fonts->table[static_cast<size_t>(sel)];
        int size = -1;
        if (e.sizeCount != 0) {
          bool has = false;
          for (int i = 0; i < e.sizeCount && i < static_cast<int>(sizeof e.sizes); ++i)
            has = has || e.sizes[i] * 10 == m_state.currentSize;
          if (!(m_state.currentSize > 0 && has)) size = e.sizes[0] * 10;
        }
        m_state.currentFont = static_cast<int>(sel);
        ApplyFontToSelection(*doc_, static_cast<int>(sel), size, -1);
        FocusFrame();
        break;
      }
      return FALSE;
    case kSizeBox:
      if (code == CBN_SELCHANGE || code == 9) return ApplySizeFromCombo(false) ? TRUE : TRUE;
      // Typing in the box: its keys go to the size box's own accelerators.
      if (code == CBN_EDITCHANGE && frame_ != nullptr) frame_->m_wState |= kSizeBoxFocus;
      return FALSE;
    case kSizeBoxEnter:
      ApplySizeFromCombo(true);
      return TRUE;
    case kSizeBoxEscape:
      FocusFrame();
      break;
    default:
      return FALSE;
  }
  UpdateFormatBar();
  return TRUE;
}

// --- Toolbars dialog ---

namespace {

enum : int { kBarList = 200, kTipsBox = 201, kToolbarsHelp = 300 };
constexpr int kBarRow = 14;  // pixels of each row of the bar list
const char* const kBarNames[2] = {"Standard", "Formatting"};

struct ToolbarsRun {
  CKmDoc* doc;
  FrameBars* bars;
  WNDPROC listProc = nullptr;  // the bar list's own procedure, under ours
};

// Each row's check state is its item data.
bool BarChecked(HWND list, int row) { return SendMessageA(list, LB_GETITEMDATA, static_cast<WPARAM>(row), 0) == 1; }

void ToggleBar(HWND list, int row) {
  SendMessageA(list, LB_SETITEMDATA, static_cast<WPARAM>(row), BarChecked(list, row) ? 0 : 1);
  SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
  InvalidateRect(list, nullptr, TRUE);
}

// A click on a row toggles it, Space toggles the selected row, and the first
// letter of a bar's name selects it.
LRESULT BarListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* r = reinterpret_cast<ToolbarsRun*>(GetWindowLongPtrA(GetParent(list), DWLP_USER));
  if (r == nullptr || r->listProc == nullptr) return DefWindowProcA(list, message, wParam, lParam);
  switch (message) {
    case WM_LBUTTONDOWN: {
      const int row = GET_Y_LPARAM(lParam) / kBarRow;
      if (row == 0 || row == 1) {
        ToggleBar(list, row);
        SetFocus(list);
        return 0;
      }
      break;
    }
    case WM_KEYDOWN:
      if (wParam == VK_SPACE) {
        const LRESULT row = SendMessageA(list, LB_GETCURSEL, 0, 0);
        if (row == 0 || row == 1) ToggleBar(list, static_cast<int>(row));
        return 0;
      }
      break;
    case WM_CHAR: {
      const int c = std::toupper(static_cast<unsigned char>(wParam));
      for (int row = 0; row < 2; ++row)
        if (c == kBarNames[row][0]) {
          SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
          InvalidateRect(list, nullptr, TRUE);
          return 0;
        }
      break;
    }
    default:
      break;
  }
  return CallWindowProcA(r->listProc, list, message, wParam, lParam);
}

// A 12-pixel check box with its mark, then the name in the selection's colours.
void DrawBarRow(const DRAWITEMSTRUCT& d) {
  if (d.itemID > 1) return;
  HDC dc = d.hDC;
  const RECT& rc = d.rcItem;
  const int top = rc.top + (rc.bottom - rc.top - 12) / 2;
  const RECT box{rc.left + 1, top, rc.left + 13, top + 12};
  FillRect(dc, &box, GetSysColorBrush(COLOR_WINDOW));
  auto line = [dc](COLORREF colour, int x1, int y1, int x2, int y2) {
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
    SelectObject(dc, old);
    DeleteObject(pen);
  };
  // Sunken edges: dark grey and black above and left, light grey below and right.
  line(RGB(0x80, 0x80, 0x80), box.left, box.bottom - 1, box.left, box.top);
  line(RGB(0x80, 0x80, 0x80), box.left, box.top, box.right, box.top);
  line(RGB(0, 0, 0), box.left + 1, box.bottom - 2, box.left + 1, box.top + 1);
  line(RGB(0, 0, 0), box.left + 1, box.top + 1, box.right - 1, box.top + 1);
  line(RGB(0xC0, 0xC0, 0xC0), box.left + 1, box.bottom - 1, box.right - 1, box.bottom - 1);
  line(RGB(0xC0, 0xC0, 0xC0), box.right - 1, box.bottom - 1, box.right - 1, box.top);
  if (SendMessageA(d.hwndItem, LB_GETITEMDATA, d.itemID, 0) == 1) {
    // The mark: seven short strokes, a short leg down then a long one up.
    const int x = box.left + 3, y = box.top + 5;
    for (int i = 0; i < 7; ++i) {
      const int dy = i < 3 ? i : 4 - i;
      line(RGB(0, 0, 0), x + i, y + dy, x + i, y + dy + 3);
    }
  }
  const bool selected = (d.itemState & ODS_SELECTED) != 0;
  RECT label{rc.left + 15, rc.top, rc.right, rc.bottom};
  FillRect(dc, &label, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  RECT text{rc.left + 16, rc.top, rc.right, rc.bottom};
  DrawTextA(dc, kBarNames[d.itemID], -1, &text, DT_LEFT | DT_BOTTOM | DT_SINGLELINE);
  if (d.itemState & ODS_FOCUS) {
    const COLORREF c = GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
    HPEN pen = CreatePen(PS_DOT, 1, c);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, label.left, label.top, nullptr);
    LineTo(dc, label.right - 1, label.top);
    LineTo(dc, label.right - 1, label.bottom - 1);
    LineTo(dc, label.left, label.bottom - 1);
    LineTo(dc, label.left, label.top);
    SelectObject(dc, old);
    DeleteObject(pen);
  }
}

INT_PTR ToolbarsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* r = reinterpret_cast<ToolbarsRun*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      r = reinterpret_cast<ToolbarsRun*>(lParam);
      r->doc->CenterDialogOnOwner(dialog);
      {
        HWND list = GetDlgItem(dialog, kBarList);
        r->listProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BarListProc)));
        CheckDlgButton(dialog, kTipsBox, r->doc->m_pMainFrame && r->doc->m_pMainFrame->m_bToolTips ? BST_CHECKED
                                                                                                      : BST_UNCHECKED);
        const bool shown[2] = {r->bars->ActionBarShown(), r->bars->FormatBarShown()};
        for (int row = 0; row < 2; ++row) {
          SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kBarNames[row]));
          SendMessageA(list, LB_SETITEMDATA, static_cast<WPARAM>(row), shown[row] ? 1 : 0);
        }
        SendMessageA(list, LB_SETCURSEL, 0, 0);
        SetFocus(list);
      }
      return FALSE;
    case WM_MEASUREITEM:
      if (wParam != static_cast<WPARAM>(kBarList)) break;
      reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = kBarRow;
      return TRUE;
    case WM_DRAWITEM:
      if (wParam != static_cast<WPARAM>(kBarList)) break;
      DrawBarRow(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_DESTROY:
      if (r != nullptr && r->listProc != nullptr)
        SetWindowLongPtrA(GetDlgItem(dialog, kBarList), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(r->listProc));
      break;
    case WM_COMMAND:
      if (r == nullptr) break;
      switch (LOWORD(wParam)) {
        case IDOK: {
          const bool tips = IsDlgButtonChecked(dialog, kTipsBox) == BST_CHECKED;
          if (!WriteIniInt("Preferences", "ToolHelp", tips ? 1 : 0)) {
            r->doc->ErrorBoxOwner(dialog, "Error writing to program initialization file");
            return TRUE;
          }
          r->doc->m_settings.toolHelp = tips ? 1 : 0;
          if (r->doc->m_pMainFrame) r->doc->m_pMainFrame->m_bToolTips = tips;
          r->bars->SetToolTips(tips);
          const bool action = BarChecked(GetDlgItem(dialog, kBarList), 0);
          const bool format = BarChecked(GetDlgItem(dialog, kBarList), 1);
          r->doc->m_settings.actionBar = action ? 1 : 0;
          r->doc->m_settings.formatBar = format ? 1 : 0;
          r->bars->ShowActionBar(action);
          r->bars->ShowFormatBar(format && r->doc->m_bReportOpen);
          EndDialog(dialog, TRUE);
          return TRUE;
        }
        case IDCANCEL:
          EndDialog(dialog, FALSE);
          return TRUE;
        case kToolbarsHelp:
          r->doc->ShowDialogHelp(dialog, 1081);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

// --- Ruler Spacing ---

enum : int { kHorzTrack = 200, kHorzLabel = 201, kVertTrack = 202, kVertLabel = 203, kRulerHelp = 300 };

struct RulerRun {
  CKmDoc* doc;
  int mode;
  int horizontal, vertical;
};

void ShowSpacing(HWND dialog, RulerRun& r) {
  char text[64];
  std::snprintf(text, sizeof text, "Horizontal Spacing: %u", static_cast<unsigned>(r.horizontal));
  SetDlgItemTextA(dialog, kHorzLabel, text);
  std::snprintf(text, sizeof text, "Vertical Spacing: %u", static_cast<unsigned>(r.vertical));
  SetDlgItemTextA(dialog, kVertLabel, text);
}

INT_PTR RulerSpacingDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* r = reinterpret_cast<RulerRun*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      r = reinterpret_cast<RulerRun*>(lParam);
      r->doc->CenterDialogOnOwner(dialog);
      for (int id : {kHorzTrack, kVertTrack}) {
        HWND t = GetDlgItem(dialog, id);
        SendMessageA(t, TBM_SETRANGE, FALSE, static_cast<LPARAM>(MAKELONG(4, 30)));
        SendMessageA(t, TBM_SETLINESIZE, 0, 2);
        SendMessageA(t, TBM_SETPAGESIZE, 0, 4);
        SendMessageA(t, TBM_SETTICFREQ, 2, 0);
        SendMessageA(t, TBM_SETPOS, TRUE, id == kHorzTrack ? r->horizontal : r->vertical);
      }
      ShowSpacing(dialog, *r);
      SetFocus(GetDlgItem(dialog, r->mode == 0 ? kHorzTrack : kVertTrack));
      return FALSE;
    case WM_HSCROLL:
      // The track bars move themselves (line 2, page 4, within 4 to 30).
      if (r == nullptr) break;
      r->horizontal = static_cast<int>(SendDlgItemMessageA(dialog, kHorzTrack, TBM_GETPOS, 0, 0));
      r->vertical = static_cast<int>(SendDlgItemMessageA(dialog, kVertTrack, TBM_GETPOS, 0, 0));
      ShowSpacing(dialog, *r);
      return TRUE;
    case WM_COMMAND:
      if (r == nullptr) break;
      switch (LOWORD(wParam)) {
        case IDOK:
          r->horizontal = static_cast<int>(SendDlgItemMessageA(dialog, kHorzTrack, TBM_GETPOS, 0, 0));
          r->vertical = static_cast<int>(SendDlgItemMessageA(dialog, kVertTrack, TBM_GETPOS, 0, 0));
          EndDialog(dialog, IDOK);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        case kRulerHelp:
          r->doc->ShowDialogHelp(dialog, 1034);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

INT_PTR RunToolbarsDialog(CKmDoc& doc, FrameBars& bars) {
  ToolbarsRun r{&doc, &bars};
  return doc.DoModalDialog(doc.GetOwnerWindow(), ToolbarsDlgProc, "DToolBar", reinterpret_cast<LPARAM>(&r));
}

int EditRulerSpacing(CKmDoc& doc, int mode) {
  RulerRun r{&doc, mode, doc.m_settings.rulPit, doc.m_settings.vRulPit};
  if (r.horizontal < 4 || r.horizontal > 30) r.horizontal = 10;
  if (r.vertical < 4 || r.vertical > 30) r.vertical = 10;
  if (doc.DoModalDialog(doc.GetOwnerWindow(), RulerSpacingDlgProc, "10048", reinterpret_cast<LPARAM>(&r)) != IDOK)
    return 0;
  doc.m_settings.rulPit = static_cast<BYTE>(r.horizontal);
  doc.m_settings.vRulPit = static_cast<BYTE>(r.vertical);
  // The layout's cell follows the character pitch, which the print job takes
  // too. Its text line does not follow the vertical spacing: that only marks
  // the vertical ruler, and what prints must not move with it.
  if (doc.m_pLayout != nullptr) doc.m_pLayout->metrics.pitch = doc.m_settings.rulPit;
  CalcPrintableWidth(doc);
  return 1;
}
