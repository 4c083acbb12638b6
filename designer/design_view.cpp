#include "designer/design_view.h"

#include "designer/band_view.h"
#include "designer/layout_drawing.h"
#include "designer/ruler_view.h"
#include "dialogs/edit_text.h"
#include "foundation/doc_base.h"
#include "layout/item_tables.h"
#include "layout/layout_helpers.h"
#include "platform/win/beep.h"
#include "platform/win/caret.h"
#include "platform/win/dialog.h"
#include "platform/win/resources.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {
constexpr const char* kViewClass = "KmLayoutView";

}  // namespace

bool RegisterPaneClass(const char* className) {
  // Each pane's class once; a second call finds it registered.
  static std::vector<std::string> registered;
  for (const std::string& name : registered)
    if (name == className) return true;
  WNDCLASSA wc{};
  wc.style = 0x0008;  // double clicks
  wc.lpfnWndProc = DefWindowProcA;
  wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
  wc.lpszClassName = className;
  if (RegisterClassA(&wc) == 0) return false;
  registered.emplace_back(className);
  return true;
}

CKmView::CKmView() = default;

CKmView::~CKmView() {
  m_pEditor.reset();
  m_hEditor = nullptr;
  if (LayoutTables* t = Layout()) {
    // The screen bitmaps the view made for pictures go with it.
    for (int i = 0; m_pLayoutHooks && i < t->pictures.Count(); ++i) {
      PictureItem& p = *t->pictures.At(i);
      if (p.screenBitmap != nullptr && p.screenBitmap != NoScreenBitmap()) DeleteObject(p.screenBitmap);
      p.screenBitmap = NoScreenBitmap();
    }
    if (t->hooks == m_pLayoutHooks.get()) t->hooks = nullptr;
    if (t->Lines().host == m_pBandLineHost.get()) t->Lines().host = nullptr;
  }
  DestroyOwnWindow();
  for (HPEN* pen : {&m_hDotPen, &m_hDashDotPen, &m_hGreyPen, &m_hDashPen})
    if (*pen) DeleteObject(*pen);
}

BOOL CKmView::Create(HWND parent, UINT id) {
  if (!RegisterPaneClass(kViewClass)) return FALSE;
  if (!CreateChild(kViewClass, WS_VISIBLE, parent, id)) return FALSE;
  m_hDotPen = CreatePen(PS_DOT, 1, RGB(0, 0, 0));
  m_hDashDotPen = CreatePen(PS_DASHDOT, 1, RGB(0, 0, 0));
  // Dark grey where the window itself is light grey, so the pen stays visible.
  m_hGreyPen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_WINDOW) == RGB(192, 192, 192) ? RGB(128, 128, 128)
                                                                                      : RGB(192, 192, 192));
  RegisterDrops();
  return TRUE;
}

void CKmView::AttachFrameAndDocument(KmDocBase* doc, DesignerHost* host) {
  m_pDoc = doc;
  m_pHost = host ? host : &m_noHost;
}

// --- state ---

LayoutTables* CKmView::Layout() const { return m_pDoc ? m_pDoc->m_pLayout : nullptr; }
bool CKmView::ReportFlag() const { return m_pDoc && m_pDoc->m_bReportOpen; }
bool CKmView::ReportOpen() const { return ReportFlag() && Layout() && Layout()->Lines().lines; }
bool CKmView::OutputRunning() const { return m_pHost->OutputRunning() || (m_pDoc && m_pDoc->m_pRun); }
bool CKmView::Modal() const { return (Mode() & kModeModal) != 0; }
WORD CKmView::Mode() const {
  const LayoutTables* t = Layout();
  return static_cast<WORD>(m_pHost->FrameMode() | (t ? t->modeWord : 0));
}
void CKmView::SetLayoutMode(WORD mode) {
  if (LayoutTables* t = Layout()) t->modeWord = mode;
}
bool CKmView::GridShown() const { return m_pDoc && m_pDoc->m_settings.shGrd; }
bool CKmView::SnapOn() const { return Layout() && Layout()->metrics.snapping; }
int CKmView::ScrollX() const { return Layout() ? Layout()->scrollX : 0; }
int CKmView::ScrollY() const { return Layout() ? Layout()->scrollY : 0; }
int CKmView::LayoutWidth() const { return Layout() ? LayoutWidthPixels(*Layout()) : 0; }
int CKmView::CellWidth() const { return Layout() ? std::max(1, CharCellWidth(Layout()->metrics, 1)) : 10; }
int CKmView::LinePitch() const { return Layout() ? std::max(1, Layout()->metrics.dpiY / 6) : 16; }
int CKmView::TextLineHeight() const { return Layout() ? std::max(1, LineHeightPixels(Layout()->metrics)) : 16; }
int CKmView::LastUsedLine() const {
  const LayoutTables* t = Layout();
  if (t == nullptr) return 0;
  return std::clamp(t->Lines().lastUsed, 0, kBandLineCount - 1);
}
const BandLineRec* CKmView::Line(int i) const {
  const LayoutTables* t = Layout();
  if (t == nullptr || t->Lines().lines == nullptr || i < 0 || i >= kBandLineTableRecords) return nullptr;
  return &t->Lines().lines[i];
}
int CKmView::ClientWidth() const {
  RECT c{};
  if (IsWindow(m_hWnd)) GetClientRect(m_hWnd, &c);
  return c.right;
}
int CKmView::ClientHeight() const {
  RECT c{};
  if (IsWindow(m_hWnd)) GetClientRect(m_hWnd, &c);
  return c.bottom;
}
RECT CKmView::ViewRect(const ReportItemHead& item) const {
  return Layout() ? ItemViewRect(*Layout(), item) : RECT{item.left, item.top, item.right, item.bottom};
}
int CKmView::CaretLine() const { return Layout() ? std::clamp(Layout()->currentLine, 0, kBandLineCount - 1) : 0; }
int CKmView::CaretY() const { return Layout() ? Layout()->caretY : 0; }

bool CKmView::CaretColumnHasRoom() const {
  const LayoutMetrics& m = Layout()->metrics;
  const unsigned column = PixelsToChars(m, static_cast<unsigned>(std::max(0, m_nCaretX)));
  return static_cast<int>(column) < static_cast<int>(PixelsToChars(m, static_cast<unsigned>(LayoutWidth()))) - 1;
}

void CKmView::KeepKeysInEditor() const {
  if (m_hEditor != nullptr && IsWindow(m_hEditor)) SetFocus(m_hEditor);
}

bool CKmView::Guards() const { return ReportOpen() && !OutputRunning() && !Modal() && !EditorOpen(); }

bool CKmView::Beep() {
  MessageBeep(0);
  return false;
}

// --- drawing and hints ---

void CKmView::OnDraw(HDC dc) {
  RECT clip{};
  if (GetClipBox(dc, &clip) == NULLREGION || clip.right <= clip.left || clip.bottom <= clip.top) return;
  DrawLayoutView(*this, dc, clip);
  m_pHost->RefreshStatus();
}

void CKmView::OnUpdate(int hint, void*) {
  if (!IsWindow(m_hWnd)) return;
  switch (hint) {
    case kHintLayoutAll:
    case kHintLayoutAndVerticalRuler:
    case kHintLayoutAndHorizontalRuler:
    case kHintRulerSpacing:
      InvalidateRect(m_hWnd, nullptr, TRUE);
      break;
    case kHintStoredRect:
      InvalidateRect(m_hWnd, &m_rcInvalid, TRUE);
      break;
    default:
      break;
  }
}

// --- messages ---

LRESULT CKmView::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(m_hWnd, &ps);
      if (dc) OnDraw(dc);
      EndPaint(m_hWnd, &ps);
      return 0;
    }
    case WM_COMMAND:
      // The in-place editor's Enter (store) and Esc (throw away).
      if (LOWORD(wParam) == kEditTextCommit || LOWORD(wParam) == kEditTextCancel) {
        EndTextEdit(LOWORD(wParam) == kEditTextCommit);
        return 0;
      }
      OnCommand(LOWORD(wParam));
      return 0;
    case WM_CHAR:
      // A character typed on the layout starts a text there, but not over
      // the current object, nor at the layout's last column, where no text
      // has room.
      if (wParam >= 32 && wParam != 127 && Guards() && Mode() == 0 && !m_bLButtonDown && !m_bRButtonDown &&
          Layout() != nullptr && Layout()->currentItem == nullptr && CaretColumnHasRoom()) {
        if (!BeginTextEdit(static_cast<int>(wParam))) MessageBeep(0);
      }
      return 0;
    case WM_MOUSEMOVE:
      OnMouseMove(wParam, x, y);
      return 0;
    case WM_TIMER:
      if (wParam == kAutoScrollTimer) {
        OnAutoScrollTimer();
        return 0;
      }
      break;
    case WM_LBUTTONDOWN:
      OnLButtonDown(wParam, x, y);
      return 0;
    case WM_LBUTTONUP:
      OnLButtonUp(x, y);
      return 0;
    case WM_LBUTTONDBLCLK:
      OnLButtonDblClk(wParam, x, y);
      return 0;
    case WM_RBUTTONDOWN:
      OnRButtonDown(x, y);
      return 0;
    case WM_RBUTTONUP:
      m_bRButtonDown = FALSE;
      return 0;
    case WM_SETCURSOR:
      return TRUE;
    case WM_HSCROLL:
    case WM_VSCROLL:
      OnScrollMessage(msg == WM_VSCROLL, LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_MOUSEWHEEL:
      OnMouseWheel(static_cast<short>(HIWORD(wParam)), LOWORD(wParam));
      return 0;
    case WM_SIZE:
      DefWindowProcA(m_hWnd, msg, wParam, lParam);
      OnSize();
      return 0;
    case WM_SETFOCUS:
      if (ReportOpen() && Layout()->currentItem) m_pHost->ShowPrompt(Layout()->currentItem);
      break;
    case WM_DESTROY:
      DestroyCaret();
      m_pEditor.reset();
      m_hEditor = nullptr;
      m_pEditedText = nullptr;
      if (m_bAutoScrollTimer) KillTimer(m_hWnd, kAutoScrollTimer);
      m_bAutoScrollTimer = false;
      break;
    default:
      break;
  }
  return DefWindowProcA(m_hWnd, msg, wParam, lParam);
}

void CKmView::OnLButtonDblClk(WPARAM, int x, int y) {
  if (EditorOpen()) EndTextEdit(true);
  if (!Guards() || Mode() != 0 || m_bRButtonDown) return;
  ReportItemHead* hit = HitTestObject(x, y);
  if (hit == nullptr) {
    // The Insert Field dialog belongs to the field dialogs.
    m_pHost->ForwardCommand(30400);
    return;
  }
  ClearSelection();
  UnmarkAllLines();
  SelectObject(*hit, true);
  MakeObjectCurrent(hit);
  if (hit->flags & (kItemKindLine | kItemKindBox)) EditLineBoxProperties();
  // An embedded object would open in its server; there is none here.
  if (hit->flags & kItemKindOle) m_pHost->ShowMessage(LoadResString(kIdsNoObjectServer).c_str());
}

void CKmView::OnRButtonDown(int x, int y) {
  m_ptRButton = POINT{x, y};
  if (!ReportOpen() || OutputRunning()) return;
  if (Modal() || m_bLButtonDown) return;
  // Text being typed in place keeps the right click: no popup over it.
  if (EditorOpen()) {
    KeepKeysInEditor();
    return;
  }
  if (Mode() & kModeKeyMove) FinishMouseAction();
  CancelLineBoxTool();
  m_bRButtonDown = TRUE;
  if ((Mode() & kModeMarkByKeys) && m_pBandView) m_pBandView->EndMarking(false);
  ShowObjectPopupMenu(x, y);
  m_bRButtonDown = FALSE;
  SetFocus(m_hWnd);
}

void CKmView::OnSize() {
  if (EditorOpen()) EndTextEdit(true);
  if (!ReportOpen() || OutputRunning() || Modal()) return;
  if (m_pBandView) m_pBandView->RedrawBandPane();
  UpdateScrollBars();
  InvalidateRect(m_hWnd, nullptr, TRUE);
}
