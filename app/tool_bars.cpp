#include "app/tool_bars.h"

#include "platform/win/gdi.h"
#include "platform/win/tooltip.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char kToolBarClass[] = "VtToolBar";
constexpr int kButton = 24;   // button side at scale 1
constexpr int kGap = 8;       // standard separator
constexpr int kMargin = 2;

bool RegisterToolBarClass(WNDPROC proc) {
  static bool done = false;
  if (done) return true;
  WNDCLASSA wc{};
  wc.lpfnWndProc = proc;
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = kToolBarClass;
  done = RegisterClassA(&wc) != 0;
  return done;
}

// Drawing in a 16 by 16 grid laid over the glyph's rectangle.
class Pen16 {
 public:
  Pen16(HDC dc, const RECT& r, COLORREF c) : dc_(dc), r_(r), colour_(c) {
    unit_ = std::max<int>(1, (r.right - r.left) / 16);
    pen_ = CreatePen(PS_SOLID, unit_, c);
    brush_ = CreateSolidBrush(c);
    oldPen_ = SelectObject(dc, pen_);
    oldBrush_ = SelectObject(dc, GetStockObject(NULL_BRUSH));
  }
  ~Pen16() {
    SelectObject(dc_, oldPen_);
    SelectObject(dc_, oldBrush_);
    DeleteObject(pen_);
    DeleteObject(brush_);
  }
  int X(int u) const { return r_.left + u * (r_.right - r_.left) / 16; }
  int Y(int u) const { return r_.top + u * (r_.bottom - r_.top) / 16; }
  void Line(int x1, int y1, int x2, int y2) {
    MoveToEx(dc_, X(x1), Y(y1), nullptr);
    LineTo(dc_, X(x2), Y(y2));
  }
  void Box(int l, int t, int r, int b) { Rectangle(dc_, X(l), Y(t), X(r) + 1, Y(b) + 1); }
  void Fill(int l, int t, int r, int b) {
    RECT f{X(l), Y(t), X(r), Y(b)};
    FillRect(dc_, &f, brush_);
  }
  void Ring(int l, int t, int r, int b) { Ellipse(dc_, X(l), Y(t), X(r), Y(b)); }
  void Text(const char* text, int weight, bool italic, bool underline) {
    const int h = (r_.bottom - r_.top) * 15 / 16;
    HFONT f = CreateFontA(-h, 0, 0, 0, weight, italic, underline, 0, ANSI_CHARSET, 0, 0, 0, 0, "Times New Roman");
    HGDIOBJ old = SelectObject(dc_, f);
    SetBkMode(dc_, TRANSPARENT);
    SetTextColor(dc_, colour_);
    SIZE s{};
    GetTextExtentPoint32A(dc_, text, static_cast<int>(std::strlen(text)), &s);
    TextOutA(dc_, (r_.left + r_.right - s.cx) / 2, (r_.top + r_.bottom - s.cy) / 2, text,
             static_cast<int>(std::strlen(text)));
    SelectObject(dc_, old);
    DeleteObject(f);
  }

 private:
  HDC dc_;
  RECT r_;
  COLORREF colour_;
  int unit_ = 1;
  HPEN pen_;
  HBRUSH brush_;
  HGDIOBJ oldPen_, oldBrush_;
};

void Page(Pen16& p, int l, int t, int r, int b) {
  p.Line(l, t, r - 3, t);
  p.Line(r - 3, t, r, t + 3);
  p.Line(r, t + 3, r, b);
  p.Line(r, b, l, b);
  p.Line(l, b, l, t);
  p.Line(r - 3, t, r - 3, t + 3);
  p.Line(r - 3, t + 3, r, t + 3);
}

void TextLines(Pen16& p, int align) {
  const int widths[] = {12, 8, 12, 8};
  for (int i = 0; i < 4; ++i) {
    const int w = align == 3 ? 12 : widths[i];
    const int l = align == 0 || align == 3 ? 2 : align == 1 ? (16 - w) / 2 : 14 - w;
    p.Line(l, 3 + i * 3, l + w, 3 + i * 3);
  }
}

}  // namespace

void DrawToolGlyph(HDC dc, UINT id, const RECT& rect, COLORREF colour) {
  Pen16 p(dc, rect, colour);
  switch (id) {
    case 32000:  // New
      Page(p, 3, 1, 13, 15);
      break;
    case 32001:  // Open: a folder
      p.Line(1, 4, 6, 4);
      p.Line(6, 4, 7, 6);
      p.Line(7, 6, 14, 6);
      p.Box(1, 6, 14, 14);
      p.Line(3, 9, 15, 9);
      break;
    case 30010:  // Save: a disk
      p.Box(2, 2, 14, 14);
      p.Box(5, 2, 11, 7);
      p.Fill(5, 10, 11, 14);
      break;
    case 30031:  // Print: a printer
      p.Box(4, 1, 12, 6);
      p.Box(1, 6, 15, 12);
      p.Box(4, 10, 12, 15);
      p.Fill(12, 8, 14, 9);
      break;
    case 30040:  // Print Preview: a page under a lens
      Page(p, 2, 1, 11, 14);
      p.Ring(6, 6, 13, 13);
      p.Line(12, 12, 15, 15);
      break;
    case 30110:  // Cut: scissors
      p.Ring(2, 10, 7, 15);
      p.Ring(9, 10, 14, 15);
      p.Line(5, 10, 11, 1);
      p.Line(11, 10, 5, 1);
      break;
    case 30120:  // Copy: two pages
      p.Box(2, 1, 10, 11);
      p.Box(6, 5, 14, 15);
      break;
    case 30130:  // Paste: a clipboard
      p.Box(2, 3, 12, 15);
      p.Fill(5, 1, 9, 4);
      p.Box(7, 7, 14, 15);
      break;
    case 30440:  // Line
      p.Line(2, 14, 14, 2);
      break;
    case 30450:  // Box
      p.Box(2, 3, 14, 13);
      break;
    case 30460:  // Picture: a frame with hills and a sun
      p.Box(1, 2, 15, 14);
      p.Line(2, 13, 6, 7);
      p.Line(6, 7, 9, 11);
      p.Line(9, 11, 11, 9);
      p.Line(11, 9, 14, 13);
      p.Ring(10, 3, 13, 6);
      break;
    case 30470:  // Chart: bars on an axis
      p.Line(1, 1, 1, 15);
      p.Line(1, 15, 15, 15);
      p.Fill(3, 9, 6, 15);
      p.Fill(7, 4, 10, 15);
      p.Fill(11, 7, 14, 15);
      break;
    case 30600:  // Master Table: a grid
      p.Box(1, 2, 15, 14);
      p.Fill(1, 2, 15, 5);
      p.Line(1, 8, 15, 8);
      p.Line(1, 11, 15, 11);
      p.Line(6, 2, 6, 14);
      break;
    case 30601:  // View/Change SQL
      p.Text("SQL", FW_BOLD, false, false);
      break;
    case 30610:  // Joins: two linked tables
      p.Box(1, 1, 7, 7);
      p.Box(9, 9, 15, 15);
      p.Line(7, 4, 12, 4);
      p.Line(12, 4, 12, 9);
      break;
    case 30620:  // Sort Order: lines growing, an arrow down
      p.Line(1, 3, 5, 3);
      p.Line(1, 7, 7, 7);
      p.Line(1, 11, 9, 11);
      p.Line(12, 1, 12, 14);
      p.Line(10, 12, 12, 14);
      p.Line(14, 12, 12, 14);
      break;
    case 30630:  // Group Order: brackets around lines
      p.Line(2, 2, 2, 14);
      p.Line(2, 2, 4, 2);
      p.Line(2, 14, 4, 14);
      p.Line(6, 5, 14, 5);
      p.Line(6, 8, 14, 8);
      p.Line(6, 11, 14, 11);
      break;
    case 30640:  // Filter: a funnel
      p.Line(1, 2, 15, 2);
      p.Line(1, 2, 6, 8);
      p.Line(15, 2, 10, 8);
      p.Line(6, 8, 6, 14);
      p.Line(10, 8, 10, 12);
      p.Line(6, 14, 10, 12);
      break;
    case 30700:  // Calculated Field
      p.Text("f(x)", FW_NORMAL, true, false);
      break;
    case 30710:  // Total Field: a sum sign
      p.Line(3, 2, 13, 2);
      p.Line(3, 2, 9, 8);
      p.Line(9, 8, 3, 14);
      p.Line(3, 14, 13, 14);
      break;
    case 20202:
      p.Text("B", FW_BOLD, false, false);
      break;
    case 20203:
      p.Text("I", FW_NORMAL, true, false);
      break;
    case 20204:
      p.Text("U", FW_NORMAL, false, true);
      break;
    case 20205:
    case 20206:
    case 20207:
    case 20208:
      TextLines(p, static_cast<int>(id - 20205));
      break;
    case 20209:  // Trim: text pulled against a bar
      p.Line(13, 2, 13, 14);
      p.Line(2, 8, 11, 8);
      p.Line(8, 5, 11, 8);
      p.Line(8, 11, 11, 8);
      break;
    case 20210:  // Delete
      p.Line(3, 3, 13, 13);
      p.Line(13, 3, 3, 13);
      break;
    case 20211:  // Automatic/freeform lines: band lines with an arrow
      p.Line(1, 4, 15, 4);
      p.Line(1, 12, 15, 12);
      p.Line(8, 5, 8, 11);
      p.Line(6, 9, 8, 11);
      p.Line(10, 9, 8, 11);
      break;
    case 20212:  // Snap to grid: dots
      for (int y = 2; y <= 14; y += 4)
        for (int x = 2; x <= 14; x += 4) p.Fill(x, y, x + 1, y + 1);
      break;
    default:
      p.Box(4, 4, 12, 12);
      break;
  }
}

CToolBarWnd::~CToolBarWnd() {
  if (IsWindow(m_hWnd)) {
    SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, 0);
    DestroyWindow(m_hWnd);
  }
}

BOOL CToolBarWnd::Create(HWND parent, UINT id, std::vector<ToolSlot> slots, int scale) {
  if (!RegisterToolBarClass(WndProc)) return FALSE;
  scale_ = std::max(1, scale);
  slots_ = std::move(slots);
  int x = kMargin * scale_;
  for (ToolSlot& s : slots_) {
    const int w = s.id == 0 || s.width > 0 ? (s.width > 0 ? s.width : kGap) * scale_ : kButton * scale_;
    s.rect = RECT{x, kMargin * scale_, x + w, kMargin * scale_ + kButton * scale_};
    x += w;
  }
  m_hWnd = CreateWindowExA(0, kToolBarClass, "", WS_CHILD, 0, 0, x + kMargin * scale_, Height(), parent,
                           reinterpret_cast<HMENU>(static_cast<uintptr_t>(id)), nullptr, nullptr);
  if (m_hWnd == nullptr) return FALSE;
  SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  return TRUE;
}

RECT CToolBarWnd::SlotRect(UINT id) const {
  for (const ToolSlot& s : slots_)
    if (s.id == id) return s.rect;
  return RECT{};
}

ToolSlot* CToolBarWnd::Find(UINT id) {
  for (ToolSlot& s : slots_)
    if (s.id == id) return &s;
  return nullptr;
}

void CToolBarWnd::SetState(UINT id, bool enabled, int check) {
  ToolSlot* s = Find(id);
  if (s == nullptr || (s->enabled == enabled && s->check == check)) return;
  s->enabled = enabled;
  s->check = check;
  if (IsWindow(m_hWnd)) InvalidateRect(m_hWnd, &s->rect, TRUE);
}

void CToolBarWnd::SetSlotId(size_t slot, UINT id, const std::string& tip) {
  if (slot >= slots_.size()) return;
  slots_[slot].id = id;
  slots_[slot].tip = tip;
  if (IsWindow(m_hWnd)) InvalidateRect(m_hWnd, &slots_[slot].rect, TRUE);
}

int CToolBarWnd::HitTest(int x, int y) const {
  for (size_t i = 0; i < slots_.size(); ++i) {
    const ToolSlot& s = slots_[i];
    if (s.id == 0 || s.width > 0) continue;
    if (x >= s.rect.left && x < s.rect.right && y >= s.rect.top && y < s.rect.bottom) return static_cast<int>(i);
  }
  return -1;
}

void CToolBarWnd::Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(m_hWnd, &ps);
  RECT client;
  GetClientRect(m_hWnd, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  HPEN shadow = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
  HPEN light = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
  HBRUSH mixed = CreateHatchBrush(HS_BDIAGONAL, GetSysColor(COLOR_BTNHIGHLIGHT));
  HGDIOBJ oldPen = SelectObject(dc, shadow);
  MoveToEx(dc, 0, client.bottom - 1, nullptr);
  LineTo(dc, client.right, client.bottom - 1);
  for (size_t i = 0; i < slots_.size(); ++i) {
    const ToolSlot& s = slots_[i];
    if (s.id == 0 || s.width > 0) continue;
    const RECT& r = s.rect;
    const bool down = s.check != 0 || static_cast<int>(i) == pressed_;
    if (s.check == 2) {
      RECT inner{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
      FillRect(dc, &inner, mixed);
    }
    if (down || static_cast<int>(i) == hover_) {
      SelectObject(dc, down ? shadow : light);
      MoveToEx(dc, r.left, r.bottom - 1, nullptr);
      LineTo(dc, r.left, r.top);
      LineTo(dc, r.right - 1, r.top);
      SelectObject(dc, down ? light : shadow);
      LineTo(dc, r.right - 1, r.bottom - 1);
      LineTo(dc, r.left, r.bottom - 1);
    }
    const int inset = 4 * scale_ + (down ? 1 : 0);
    const RECT g{r.left + inset, r.top + inset, r.right - 4 * scale_ + (down ? 1 : 0),
                 r.bottom - 4 * scale_ + (down ? 1 : 0)};
    DrawToolGlyph(dc, s.id, g, s.enabled ? GetSysColor(COLOR_BTNTEXT) : GetSysColor(COLOR_GRAYTEXT));
  }
  SelectObject(dc, oldPen);
  DeleteObject(shadow);
  DeleteObject(light);
  DeleteObject(mixed);
  EndPaint(m_hWnd, &ps);
}

LRESULT CToolBarWnd::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* bar = reinterpret_cast<CToolBarWnd*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (bar == nullptr) return DefWindowProcA(hwnd, msg, wParam, lParam);
  switch (msg) {
    case WM_PAINT:
      bar->Paint();
      return 0;
    case WM_MOUSEMOVE: {
      const int at = bar->HitTest(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      if (at != bar->hover_) {
        bar->hover_ = at;
        SetWindowToolTipA(hwnd, at >= 0 && bar->tips_ ? bar->slots_[static_cast<size_t>(at)].tip.c_str() : "");
        InvalidateRect(hwnd, nullptr, TRUE);
      }
      return 0;
    }
    case WM_LBUTTONDOWN: {
      const int at = bar->HitTest(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      if (at >= 0 && bar->slots_[static_cast<size_t>(at)].enabled) {
        bar->pressed_ = at;
        InvalidateRect(hwnd, nullptr, TRUE);
      }
      return 0;
    }
    case WM_LBUTTONUP: {
      const int at = bar->HitTest(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      const int pressed = bar->pressed_;
      bar->pressed_ = -1;
      InvalidateRect(hwnd, nullptr, TRUE);
      if (at >= 0 && at == pressed && bar->slots_[static_cast<size_t>(at)].enabled && bar->onClick)
        bar->onClick(bar->slots_[static_cast<size_t>(at)].id);
      return 0;
    }
    case WM_COMMAND:
      if (bar->onBoxCommand) bar->onBoxCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_SETFOCUS: {
      // A tool bar takes no keyboard focus: a click on it (a greyed button
      // too) leaves the keys where they were, in text typed in place as well.
      HWND before = reinterpret_cast<HWND>(wParam);
      if (before != nullptr && before != hwnd && IsWindow(before) && IsWindowVisible(before)) SetFocus(before);
      return 0;
    }
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}
