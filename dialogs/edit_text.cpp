#include "dialogs/edit_text.h"

#include "platform/win/clipboard_formats.h"
#include "platform/win/dialog.h"

#include <algorithm>
#include <vector>

namespace {
constexpr UINT kCaretUp = 20000;
constexpr UINT kCaretDown = 20001;
}  // namespace

CEditText::~CEditText() { Close(); }

void CEditText::Close() {
  HWND w = m_hWnd;
  m_hWnd = nullptr;
  if (w != nullptr && IsWindow(w)) {
    SetWindowLongPtrA(w, GWLP_USERDATA, 0);
    SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_oldProc));
    DestroyWindow(w);
  }
  if (m_hFont != nullptr) DeleteObject(m_hFont);
  m_hFont = nullptr;
}

void DestroyTextEditor(CEditText* editor) {
  if (editor != nullptr) editor->Close();
}

bool CEditText::StartEdit(HFONT font, const RECT& rect, int limit, const char* text, char fill) {
  if (m_hWnd != nullptr || !IsWindow(m_hOwner)) return false;
  LOGFONTA lf{};
  m_hFont = font != nullptr && GetObjectA(font, sizeof lf, &lf) != 0 ? CreateFontIndirectA(&lf) : nullptr;
  m_cFill = fill;
  m_nLeft = rect.left;
  m_hWnd = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, rect.left, rect.top,
                           std::max<int>(1, rect.right - rect.left), std::max<int>(1, rect.bottom - rect.top),
                           m_hOwner, nullptr, nullptr, nullptr);
  if (m_hWnd == nullptr) {
    if (m_hFont != nullptr) DeleteObject(m_hFont);
    m_hFont = nullptr;
    return false;
  }
  if (m_hFont) SendMessageA(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(m_hFont), 0);
  SendMessageA(m_hWnd, EM_LIMITTEXT, static_cast<WPARAM>(std::max(1, limit)), 0);
  SetWindowTextA(m_hWnd, text ? text : "");
  const int n = GetWindowTextLengthA(m_hWnd);
  SendMessageA(m_hWnd, EM_SETSEL, static_cast<WPARAM>(n), n);
  m_oldProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(m_hWnd, GWLP_WNDPROC));
  SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CEditText::Proc));
  SetFocus(m_hWnd);
  return true;
}

void CEditText::SetStyle(int style) {
  LOGFONTA lf{};
  if (m_hWnd == nullptr || m_hFont == nullptr || GetObjectA(m_hFont, sizeof lf, &lf) == 0) return;
  lf.lfWeight = (style & 1) ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = (style & 2) ? 1 : 0;
  lf.lfUnderline = (style & 4) ? 1 : 0;
  HFONT font = CreateFontIndirectA(&lf);
  if (font == nullptr) return;
  SendMessageA(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  DeleteObject(m_hFont);
  m_hFont = font;
  Grow();
}

std::string CEditText::Text() const {
  if (m_hWnd == nullptr) return std::string();
  const int n = GetWindowTextLengthA(m_hWnd);
  std::vector<char> buffer(static_cast<size_t>(std::max(0, n)) + 1, '\0');
  GetWindowTextA(m_hWnd, buffer.data(), static_cast<int>(buffer.size()));
  return std::string(buffer.data());
}

int CEditText::WidthFor(const std::string& text) const {
  HDC dc = GetDC(m_hOwner);
  SIZE a{0, 0}, b{0, 0};
  if (dc != nullptr) {
    HGDIOBJ old = m_hFont ? SelectObject(dc, m_hFont) : nullptr;
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &a);
    GetTextExtentPoint32A(dc, "MM", 2, &b);
    if (old) SelectObject(dc, old);
    ReleaseDC(m_hOwner, dc);
  }
  RECT c{};
  GetClientRect(m_hOwner, &c);
  return std::max(1, std::min<int>(a.cx + b.cx + 8, c.right - 1 - m_nLeft));
}

void CEditText::Grow() {
  if (m_hWnd == nullptr) return;
  RECT r{};
  GetWindowRect(m_hWnd, &r);
  POINT p{r.left, r.top};
  ScreenToClient(m_hOwner, &p);
  MoveWindow(m_hWnd, p.x, p.y, WidthFor(Text()), r.bottom - r.top, TRUE);
}

LRESULT CEditText::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CEditText*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcA(hwnd, msg, wParam, lParam);
  // Posted: the owner closes this window when the command arrives.
  if (msg == WM_KEYDOWN) {
    switch (wParam) {
      case VK_RETURN:
      case VK_TAB:
        PostMessageA(self->m_hOwner, WM_COMMAND, kEditTextCommit, 0);
        return 0;
      case VK_ESCAPE:
        PostMessageA(self->m_hOwner, WM_COMMAND, kEditTextCancel, 0);
        return 0;
      case VK_F3:
        if (GetKeyState(VK_SHIFT) < 0) {
          PasteClipboardTextToFocus(hwnd);
          return 0;
        }
        break;
      case VK_UP:
      case VK_DOWN:
        PostMessageA(self->m_hOwner, WM_COMMAND, kEditTextCommit, 0);
        PostMessageA(self->m_hOwner, WM_COMMAND, wParam == VK_UP ? kCaretUp : kCaretDown, 0);
        return 0;
      default:
        break;
    }
  }
  if (msg == WM_CHAR && (wParam == '\r' || wParam == '\t' || wParam == 27)) return 0;
  const LRESULT result = CallWindowProcA(self->m_oldProc, hwnd, msg, wParam, lParam);
  if (msg == WM_CHAR || msg == WM_KEYDOWN || msg == WM_SETTEXT) self->Grow();
  return result;
}

int PasteClipboardTextToFocus(HWND editor) {
  std::string text;
  if (!ReadClipboardText(&text)) return 0;
  constexpr int kMost = 254;
  const int have = editor != nullptr && IsWindow(editor) ? GetWindowTextLengthA(editor) : 0;
  int room = static_cast<int>(text.size());
  if (have + room >= kMost + 1) room = std::max(0, kMost - have);
  int typed = 0;
  for (char c : text) {
    if (typed >= room) break;
    const auto u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127) continue;
    // The first character may open an editor, which then has the focus.
    HWND focus = GetFocus();
    if (focus == nullptr) break;
    SendMessageA(focus, WM_CHAR, u, 0);
    ++typed;
  }
  return typed;
}
