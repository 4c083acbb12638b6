#include "app/preview_view.h"

#include "app/document.h"
#include "app/main_frame.h"
#include "app/print_run.h"
#include "app/run_status.h"
#include "engine/report_run.h"
#include "engine/run_report.h"
#include "platform/printer/preview_paint.h"
#include "platform/win/cursor.h"
#include "platform/win/dialog.h"
#include "platform/win/gdi.h"
#include "platform/win/help.h"
#include "platform/win/menu.h"
#include "platform/win/resources.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <strings.h>

namespace {

constexpr const char* kPreviewClass = "KmPreview";
constexpr const char* kPageClass = "KmPreviewPage";
constexpr int kToolBarHeight = 28;
constexpr int kScrollBarSize = 16;
constexpr UINT kIdPageLabel = 50;
constexpr UINT kIdPageRange = 5983;      // "Page range %lu to %lu"
constexpr UINT kIdPageRangeFrom = 5984;  // "Page range from %lu"
constexpr UINT kIdPreviewWindowError = 638;
constexpr int kHelpContextPreview = 1071;
constexpr int kStatusTextMax = 100;

CPreview* g_preview = nullptr;

struct ToolButtonSpec {
  UINT id;
  const char* text;
};
// Tool bar order: Print Report, Print Current Page | Zoom In, Zoom Out |
// First, Previous, Next, Last | Pause, Close.
const ToolButtonSpec kButtons[10] = {
    {kCmdPreviewPrintReport, "Print Report"}, {kCmdPreviewPrintPage, "Print Page"},
    {kCmdPreviewZoomIn, "Zoom In"},           {kCmdPreviewZoomOut, "Zoom Out"},
    {kCmdPreviewFirst, "First"},              {kCmdPreviewPrevious, "Previous"},
    {kCmdPreviewNext, "Next"},                {kCmdPreviewLast, "Last"},
    {kCmdPreviewPause, "Pause"},              {kCmdPreviewClose, "Close"},
};
const int kButtonGapAfter[10] = {0, 8, 0, 8, 0, 0, 0, 8, 0, 0};

// "PreviewKeys".
const ACCEL kPreviewKeys[] = {
    {FVIRTKEY, VK_LEFT, kCmdScrollLeft},
    {FVIRTKEY, VK_RIGHT, kCmdScrollRight},
    {FVIRTKEY | FCONTROL, VK_LEFT, kCmdScrollPageLeft},
    {FVIRTKEY | FCONTROL, VK_RIGHT, kCmdScrollPageRight},
    {FVIRTKEY, VK_UP, kCmdScrollUp},
    {FVIRTKEY, VK_DOWN, kCmdScrollDown},
    {FVIRTKEY, VK_NEXT, kCmdScrollPageDown},
    {FVIRTKEY, VK_PRIOR, kCmdScrollPageUp},
    {FVIRTKEY, VK_HOME, kCmdScrollTop},
    {FVIRTKEY, VK_END, kCmdScrollBottom},
    {FVIRTKEY, VK_ESCAPE, kCmdPreviewClose},
    {FVIRTKEY, VK_F1, kCmdPreviewHelp},
    {FVIRTKEY | FSHIFT, VK_F1, kCmdPreviewPrintReport},
    {FVIRTKEY | FSHIFT, VK_F1 + 1, kCmdPreviewPrintPage},
    {FVIRTKEY | FSHIFT, VK_F1 + 2, kCmdPreviewZoomIn},
    {FVIRTKEY | FSHIFT, VK_F1 + 3, kCmdPreviewZoomOut},
    {FVIRTKEY | FSHIFT, VK_F1 + 4, kCmdPreviewFirst},
    {FVIRTKEY | FSHIFT, VK_F1 + 5, kCmdPreviewPrevious},
    {FVIRTKEY | FSHIFT, VK_F1 + 6, kCmdPreviewNext},
    {FVIRTKEY | FSHIFT, VK_F1 + 7, kCmdPreviewLast},
    {FVIRTKEY | FSHIFT, VK_F1 + 8, kCmdPreviewPause},
    {FVIRTKEY | FSHIFT, VK_F1 + 9, kCmdPreviewClose},
};

bool RegisterClasses() {
  static bool done = false;
  if (done) return true;
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = kPreviewClass;
  if (RegisterClassA(&wc) == 0) return false;
  WNDCLASSA page{};
  page.lpfnWndProc = DefWindowProcA;
  page.hbrBackground = nullptr;
  page.lpszClassName = kPageClass;
  done = RegisterClassA(&page) != 0;
  return done;
}

LONG Ppi(LONG v) { return v > 0 ? v : 96; }

// The page in printer units, the width brought to the vertical resolution.
void PageUnits(const PageOutputState& s, double* width, double* height) {
  *width = s.pageWidth > 0 ? s.pageWidth : 6120;
  *height = s.pageHeight > 0 ? s.pageHeight : 7920;
  if (s.printerResX > 0 && s.printerResY > 0 && s.printerResX != s.printerResY)
    *width = *width * s.printerResY / s.printerResX;
}

LONG Clamp32767(double v) { return static_cast<LONG>(std::min(32767.0, v)); }

}  // namespace

PreviewZoomRecord PreviewLevelOneSize(LONG clientWidth, const PageOutputState& s) {
  double w, h;
  PageUnits(s, &w, &h);
  PreviewZoomRecord z;
  z.pageWidth = std::max<LONG>(1, clientWidth);
  double height = z.pageWidth * h / w;
  if (Ppi(s.screenPpiX) != Ppi(s.screenPpiY)) height = height * Ppi(s.screenPpiY) / Ppi(s.screenPpiX);
  z.pageHeight = std::max<LONG>(1, static_cast<LONG>(height + 0.5));
  return z;
}

void PreviewScrollRange(LONG extent, LONG client, LONG ppi, LONG* minPos, LONG* maxPos) {
  *minPos = -(Ppi(ppi) / 6);
  *maxPos = std::max<LONG>(0, extent - client) + Ppi(ppi) / 6;
}

LONG PreviewScrollPosition(int code, LONG pos, LONG current, LONG extent, LONG client, LONG ppi, bool vertical,
                           int zoomLevel) {
  if (zoomLevel == 0) return current;
  LONG line = vertical ? Ppi(ppi) / 6 : Ppi(ppi) / 10;
  LONG page = 2 * Ppi(ppi);
  if (zoomLevel == 2) {
    line *= 2;
    page *= 2;
  }
  const LONG minPos = -(Ppi(ppi) / 6);
  LONG maxPos = extent - client;
  if (!vertical) maxPos = std::max<LONG>(0, maxPos);
  maxPos += Ppi(ppi) / 6;
  auto step = [&](LONG delta) {
    if (delta < 0 && current <= minPos) return current;
    if (delta > 0 && current >= maxPos) return current;
    return std::clamp<LONG>(current + delta, minPos, std::max(minPos, maxPos));
  };
  switch (code) {
    case SB_LINEUP: return step(-line);
    case SB_LINEDOWN: return step(line);
    case SB_PAGEUP: return step(-page);
    case SB_PAGEDOWN: return step(page);
    case SB_THUMBPOSITION: return std::min<LONG>(pos, maxPos);
    case SB_TOP: return minPos;
    case SB_BOTTOM: return maxPos;
    default: return current;
  }
}

PageRect PreviewWholePage(LONG clientWidth, LONG clientHeight, const PageOutputState& s) {
  double w, h;
  PageUnits(s, &w, &h);
  double height = std::max<LONG>(1, clientHeight - 15);
  if (Ppi(s.screenPpiX) != Ppi(s.screenPpiY)) height = height * Ppi(s.screenPpiX) / Ppi(s.screenPpiY);
  double width = height * w / h;
  // A window narrower than tall: the width decides.
  if (width > clientWidth - 16) {
    width = std::max<double>(1, clientWidth - 16);
    height = width * h / w;
  }
  PageRect r;
  r.left = static_cast<LONG>((clientWidth - width) / 2);
  r.top = 8;
  r.right = r.left + static_cast<LONG>(width);
  r.bottom = std::min<LONG>(r.top + static_cast<LONG>(height), clientHeight - 7);
  return r;
}

CPreview::CPreview(CKmDoc* doc, PageDriver* driver, PageOutputState* state)
    : m_pDoc(doc), m_pDriver(driver), m_pState(state) {}

CPreview::~CPreview() {
  if (m_hAccel) DestroyAcceleratorTable(m_hAccel);
  if (IsWindow(m_hWnd)) DestroyWindow(m_hWnd);
  if (g_preview == this) g_preview = nullptr;
}

BOOL CPreview::Create(CMainFrame* frame) {
  if (!RegisterClasses() || frame == nullptr || !IsWindow(frame->m_hWnd)) return FALSE;
  m_pFrame = frame;
  m_hAccel = CreateAcceleratorTableA(kPreviewKeys, static_cast<int>(sizeof kPreviewKeys / sizeof kPreviewKeys[0]));
  m_hWnd = CreateWindowExA(0, kPreviewClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0, 0, frame->m_hWnd,
                           nullptr, nullptr, nullptr);
  if (m_hWnd == nullptr) return FALSE;
  SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CPreview::WndProc));
  for (int i = 0; i < 10; ++i) {
    m_hButtons[i] = CreateWindowExA(0, "BUTTON", kButtons[i].text, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0, 0, 0,
                                    m_hWnd, reinterpret_cast<HMENU>(static_cast<uintptr_t>(kButtons[i].id)), nullptr,
                                    nullptr);
    if (m_hButtons[i] == nullptr) return FALSE;
  }
  m_hPage = CreateWindowExA(0, kPageClass, "", WS_CHILD | WS_VISIBLE | WS_BORDER, 0, 0, 0, 0, m_hWnd, nullptr,
                            nullptr, nullptr);
  m_hHScroll = CreateWindowExA(0, "SCROLLBAR", "", WS_CHILD | WS_VISIBLE | SBS_HORZ, 0, 0, 0, 0, m_hWnd, nullptr,
                               nullptr, nullptr);
  m_hVScroll = CreateWindowExA(0, "SCROLLBAR", "", WS_CHILD | WS_VISIBLE | SBS_VERT, 0, 0, 0, 0, m_hWnd, nullptr,
                               nullptr, nullptr);
  if (m_hPage == nullptr || m_hHScroll == nullptr || m_hVScroll == nullptr) return FALSE;
  SetWindowLongPtrA(m_hPage, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrA(m_hPage, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CPreview::PageProc));
  g_preview = this;
  Layout();
  UpdateToolBar();
  SetFocus(m_hPage);
  return TRUE;
}

HWND CPreview::ToolButton(UINT id) const {
  for (int i = 0; i < 10; ++i)
    if (kButtons[i].id == id) return m_hButtons[i];
  return nullptr;
}

// Over the frame's panes, between the menu bar and the status line.
void CPreview::Layout() {
  if (m_pFrame == nullptr || !IsWindow(m_hWnd)) return;
  RECT c;
  GetClientRect(m_pFrame->m_hWnd, &c);
  int top = GetMenuBarHeight(m_pFrame->m_hWnd);
  int status = IsWindow(m_pFrame->m_wndStatusBar.m_hWnd) ? m_pFrame->m_wndStatusBar.Height() : 0;
  int height = std::max<int>(0, c.bottom - status - top);
  MoveWindow(m_hWnd, 0, top, c.right, height, TRUE);
  int x = 4;
  for (int i = 0; i < 10; ++i) {
    int w = kButtons[i].id == kCmdPreviewPrintReport ? 84 : 64;
    MoveWindow(m_hButtons[i], x, 3, w, kToolBarHeight - 6, TRUE);
    x += w + 2 + kButtonGapAfter[i];
  }
  int pageW = std::max<int>(0, c.right - kScrollBarSize);
  int pageH = std::max<int>(0, height - kToolBarHeight - kScrollBarSize);
  MoveWindow(m_hPage, 0, kToolBarHeight, pageW, pageH, TRUE);
  MoveWindow(m_hVScroll, pageW, kToolBarHeight, kScrollBarSize, pageH, TRUE);
  MoveWindow(m_hHScroll, 0, kToolBarHeight + pageH, pageW, kScrollBarSize, TRUE);
  OnSize();
}

void CPreview::OnSize() {
  if (m_pState == nullptr || !IsWindow(m_hPage)) return;
  RECT c;
  GetClientRect(m_hPage, &c);
  PageOutputState& s = *m_pState;
  PreviewZoomRecord one = PreviewLevelOneSize(c.right, s);
  s.zoom[0].pageWidth = one.pageWidth;
  s.zoom[0].pageHeight = one.pageHeight;
  s.zoom[1].pageWidth = 2 * one.pageWidth;
  s.zoom[1].pageHeight = 2 * one.pageHeight;
  UpdateScrollBars();
  if (m_pDriver && m_pDriver->HasEntry(21)) m_pDriver->PreviewResized(&s);
  Repaint();
}

void CPreview::UpdateScrollBars() {
  if (m_pState == nullptr) return;
  PageOutputState& s = *m_pState;
  if (s.zoomLevel == 0 || s.currentZoom == nullptr) {
    SetScrollRange(m_hHScroll, SB_CTL, 1, 100, FALSE);
    SetScrollPos(m_hHScroll, SB_CTL, 1, FALSE);
    SetScrollRange(m_hVScroll, SB_CTL, 1, 100, FALSE);
    SetScrollPos(m_hVScroll, SB_CTL, 1, FALSE);
  } else {
    RECT c;
    GetClientRect(m_hPage, &c);
    const PreviewZoomRecord& z = *s.currentZoom;
    LONG lo, hi;
    PreviewScrollRange(z.pageWidth, c.right, s.screenPpiX, &lo, &hi);
    SetScrollRange(m_hHScroll, SB_CTL, lo, hi, FALSE);
    SetScrollPos(m_hHScroll, SB_CTL, z.scrollX, FALSE);
    PreviewScrollRange(z.pageHeight, c.bottom, s.screenPpiY, &lo, &hi);
    SetScrollRange(m_hVScroll, SB_CTL, lo, hi, FALSE);
    SetScrollPos(m_hVScroll, SB_CTL, z.scrollY, FALSE);
  }
  if (m_bSkipInvalidate) m_bSkipInvalidate = 0;
  else Repaint();
}

void CPreview::ScrollRequest(int code, int pos, bool vertical) {
  if (m_pState == nullptr || m_pState->zoomLevel == 0 || m_pState->currentZoom == nullptr) return;
  PageOutputState& s = *m_pState;
  PreviewZoomRecord& z = *s.currentZoom;
  RECT c;
  GetClientRect(m_hPage, &c);
  LONG& current = vertical ? z.scrollY : z.scrollX;
  LONG next = PreviewScrollPosition(code, pos, current, vertical ? z.pageHeight : z.pageWidth,
                                    vertical ? c.bottom : c.right, vertical ? s.screenPpiY : s.screenPpiX, vertical,
                                    s.zoomLevel);
  if (next == current) return;
  current = next;
  SetScrollPos(vertical ? m_hVScroll : m_hHScroll, SB_CTL, next, TRUE);
  Repaint();
}

void CPreview::ClickZoom(POINT at) {
  if (m_pState == nullptr) return;
  PageOutputState& s = *m_pState;
  if (!PtInRect(&m_rcPage, at)) return;
  if (s.zoomLevel == 2) {
    s.zoomLevel = 0;
    s.currentZoom = &s.zoom[2];
  } else {
    // The page point under the mouse stays under it.
    double oldW, oldH, oldX, oldY, left, top;
    if (s.zoomLevel == 0) {
      oldW = s.wholePage.right - s.wholePage.left;
      oldH = s.wholePage.bottom - s.wholePage.top;
      oldX = 0;
      oldY = 0;
      left = s.wholePage.left;
      top = s.wholePage.top;
    } else {
      oldW = s.zoom[0].pageWidth;
      oldH = s.zoom[0].pageHeight;
      oldX = s.zoom[0].scrollX;
      oldY = s.zoom[0].scrollY;
      left = -s.zoom[0].scrollX;
      top = -s.zoom[0].scrollY;
      left += oldX;  // the page's left at level 1 is minus the scroll
      top += oldY;
    }
    ++s.zoomLevel;
    PreviewZoomRecord& z = s.zoom[s.zoomLevel - 1];
    s.currentZoom = &z;
    if (oldW > 0 && oldH > 0) {
      z.scrollX = Clamp32767((at.x - left + oldX) * z.pageWidth / oldW - at.x);
      z.scrollY = Clamp32767((at.y - top + oldY) * z.pageHeight / oldH - at.y);
    }
  }
  GetPrintRunContext().rememberedZoom = s.zoomLevel;
  UpdateScrollBars();
  UpdateWindow(m_hPage);
  UpdateToolBar();
}

void CPreview::OnDraw(HDC dc) { PaintPreviewPage(dc); }

void CPreview::PaintPreviewPage(HDC dc) {
  if (m_pState == nullptr || m_pDoc == nullptr) return;
  PageOutputState& s = *m_pState;
  RECT c;
  GetClientRect(m_hPage, &c);
  if (c.right <= 0 || c.bottom <= 0 || m_pDoc->m_nRunState < 0) return;
  HBRUSH gray = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
  HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  HBRUSH paper = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  RECT sheet;
  if (s.zoomLevel == 0 || s.currentZoom == nullptr) {
    s.wholePage = PreviewWholePage(c.right, c.bottom, s);
    sheet = {s.wholePage.left, s.wholePage.top, s.wholePage.right, s.wholePage.bottom};
  } else {
    const PreviewZoomRecord& z = *s.currentZoom;
    sheet = {-z.scrollX, -z.scrollY, -z.scrollX + z.pageWidth, -z.scrollY + z.pageHeight};
  }
  FillRect(dc, &c, gray);
  RECT shadowRight{sheet.right, sheet.top + 2, sheet.right + 2, sheet.bottom + 2};
  RECT shadowBottom{sheet.left + 2, sheet.bottom, sheet.right + 2, sheet.bottom + 2};
  FillRect(dc, &shadowRight, black);
  FillRect(dc, &shadowBottom, black);
  FillRect(dc, &sheet, paper);
  FrameRect(dc, &sheet, black);
  // The visible paper less its frame is where the page is drawn.
  m_rcPage = {std::max<LONG>(sheet.left + 1, 0), std::max<LONG>(sheet.top + 1, 0),
              std::min<LONG>(sheet.right - 1, c.right), std::min<LONG>(sheet.bottom - 1, c.bottom)};
  if (m_rcPage.right <= m_rcPage.left || m_rcPage.bottom <= m_rcPage.top) return;
  // Too small a window shows the paper without its content.
  if (c.bottom < Ppi(s.screenPpiY) * 3 / 2) return;
  PageRect clip{m_rcPage.left, m_rcPage.top, m_rcPage.right, m_rcPage.bottom};
  if (m_pDriver && m_pDriver->HasEntry(24) && ReplayPreviewOnDc(m_pDriver, &s, dc, &clip) == 0) {
    m_pDoc->m_nRunState = -6;
    EndWait();
  }
}

void CPreview::ShowPageNumber() {
  if (m_pState == nullptr || m_pDoc == nullptr) return;
  const ReportRun* r = m_pDoc->m_pRun;
  const long start = m_pDoc->m_nRunMode == 0 ? (r != nullptr ? r->startPage : 1) : 1;
  std::snprintf(m_szStatus, sizeof m_szStatus, "%s  %lu", LoadResString(kIdPageLabel).c_str(),
                static_cast<unsigned long>(m_pState->pageShown + start));
  if (m_pFrame && IsWindow(m_pFrame->m_wndStatusBar.m_hWnd)) {
    m_pFrame->m_wndStatusBar.SetPaneText(0, PreviewMessageText().c_str());
    m_pFrame->m_wndStatusBar.SetPaneText(1, m_szStatus);
  }
}

std::string CPreview::PreviewMessageText() const {
  const char* status = PreviewStatusText();
  const ReportRun* r = m_pDoc != nullptr ? m_pDoc->m_pRun : nullptr;
  // The page range stored with the report governs what the preview shows:
  // it says so, beside what the run tells.
  if (r == nullptr || m_pDoc->m_nRunMode != 0 || (r->startPage <= 1 && r->endPage >= kDefaultEndPage)) return status;
  char range[100];
  if (r->endPage >= kDefaultEndPage)
    std::snprintf(range, sizeof range, LoadResString(kIdPageRangeFrom).c_str(), static_cast<unsigned long>(r->startPage));
  else
    std::snprintf(range, sizeof range, LoadResString(kIdPageRange).c_str(),
                  static_cast<unsigned long>(std::max<int32_t>(r->startPage, 1)), static_cast<unsigned long>(r->endPage));
  return *status != '\0' ? std::string(range) + "   " + status : std::string(range);
}

void CPreview::Repaint() {
  if (IsWindow(m_hPage)) InvalidateRect(m_hPage, nullptr, FALSE);
}

void CPreview::EndWait() {
  m_bWaiting = 0;
  // The page loop sleeps in the message queue: wake it.
  PostMessageA(m_hWnd, WM_NULL, 0, 0);
}

void CPreview::AfterPageChange() {
  ResetPageOrigin(*m_pState);
  m_bSkipInvalidate = 0;
  UpdateScrollBars();
  ShowPageNumber();
  UpdateToolBar();
}

BOOL CPreview::IsCommandEnabled(UINT id) const {
  if (m_pState == nullptr || m_pDoc == nullptr) return FALSE;
  const PageOutputState& s = *m_pState;
  const ReportRun* r = m_pDoc->m_pRun;
  const bool lastOfRange = m_pDoc->m_nRunMode == 0 && r != nullptr && r->pageCount >= r->endPage;
  const bool moreToMake = !m_bRunFinished && !lastOfRange;
  switch (id) {
    case kCmdPreviewPrintReport:
    case kCmdPreviewClose:
    case kCmdPreviewHelp:
      return TRUE;
    case kCmdPreviewPrintPage: {
      if (m_bBusy) return FALSE;
      if (m_pDoc->m_pPageSetup != nullptr && m_pDoc->m_pPageSetup->OutputDestination == 2) return FALSE;
      const std::string& port = GetPrintRunContext().printer.portName;
      return !(port.size() >= 4 && strncasecmp(port.c_str(), "file", 4) == 0);
    }
    case kCmdPreviewFirst:
    case kCmdPreviewPrevious:
      return !m_bBusy && s.pageShown > 0;
    case kCmdPreviewNext:
    case kCmdPreviewLast:
      return !m_bBusy && (s.pageShown + 1 < s.pagesProduced || moreToMake);
    case kCmdPreviewPause:
      return s.runningToEnd && !m_bWaiting;
    case kCmdPreviewZoomIn:
      return !m_bBusy && !s.runningToEnd && s.zoomLevel < 2;
    case kCmdPreviewZoomOut:
      return !m_bBusy && !s.runningToEnd && s.zoomLevel > 0;
    default:
      return id >= kCmdScrollLeft && id <= kCmdScrollPageRight;
  }
}

void CPreview::UpdateToolBar() {
  for (int i = 0; i < 10; ++i)
    if (IsWindow(m_hButtons[i])) EnableWindow(m_hButtons[i], IsCommandEnabled(kButtons[i].id));
}

void CPreview::OnCloseRequest() {
  if (m_pDoc == nullptr) return;
  m_pDoc->m_nRunState = -1;
  EndWait();
}

BOOL CPreview::OnPreviewCommand(UINT id) {
  if (m_pState == nullptr || m_pDoc == nullptr) return FALSE;
  PageOutputState& s = *m_pState;
  s.paused = 0;
  if (!IsCommandEnabled(id)) return FALSE;
  switch (id) {
    case kCmdPreviewPrintReport:
      m_bPrintRequested = 1;
      m_pDoc->m_nRunState = -1;
      EndWait();
      break;
    case kCmdPreviewClose:
      OnCloseRequest();
      break;
    case kCmdPreviewPrintPage:
      PrintCurrentPage();
      break;
    case kCmdPreviewFirst:
      s.pageShown = s.firstPageIndex;
      Repaint();
      AfterPageChange();
      break;
    case kCmdPreviewPrevious:
      if (s.pageShown > 0) --s.pageShown;
      Repaint();
      AfterPageChange();
      break;
    case kCmdPreviewNext:
      if (s.pageShown + 1 < s.pagesProduced) {
        ++s.pageShown;
        Repaint();
      } else {
        m_bBusy = 1;
        SetCursor(LoadCursorA(nullptr, IDC_WAIT));
        m_bSkipInvalidate = 1;
        EndWait();
      }
      AfterPageChange();
      break;
    case kCmdPreviewLast:
      if (m_nLastPage >= 0) {
        s.pageShown = m_nLastPage;
        Repaint();
      } else {
        m_bBusy = 1;
        SetCursor(LoadCursorA(nullptr, IDC_WAIT));
        s.pageShown = s.pagesProduced - 1;
        s.runningToEnd = 1;
        EndWait();
      }
      AfterPageChange();
      break;
    case kCmdPreviewPause:
      s.paused = 1;
      if (s.runningToEnd) {
        s.runningToEnd = 0;
        m_bWaiting = 1;
      }
      UpdateToolBar();
      break;
    case kCmdPreviewZoomIn:
      s.currentZoom = &s.zoom[s.zoomLevel > 0 ? 1 : 0];
      ++s.zoomLevel;
      GetPrintRunContext().rememberedZoom = s.zoomLevel;
      UpdateScrollBars();
      Repaint();
      UpdateToolBar();
      break;
    case kCmdPreviewZoomOut:
      s.currentZoom = &s.zoom[0];
      --s.zoomLevel;
      if (s.zoomLevel == 0) s.currentZoom = &s.zoom[2];
      GetPrintRunContext().rememberedZoom = s.zoomLevel;
      UpdateScrollBars();
      Repaint();
      UpdateToolBar();
      break;
    case kCmdPreviewHelp:
      WinHelpA(m_hWnd, m_pDoc->GetHelpFileName(), HELP_CONTEXT, kHelpContextPreview);
      break;
    case kCmdScrollLeft: ScrollRequest(SB_LINEUP, 0, false); break;
    case kCmdScrollRight: ScrollRequest(SB_LINEDOWN, 0, false); break;
    case kCmdScrollPageLeft: ScrollRequest(SB_PAGEUP, 0, false); break;
    case kCmdScrollPageRight: ScrollRequest(SB_PAGEDOWN, 0, false); break;
    case kCmdScrollUp: ScrollRequest(SB_LINEUP, 0, true); break;
    case kCmdScrollDown: ScrollRequest(SB_LINEDOWN, 0, true); break;
    case kCmdScrollPageUp: ScrollRequest(SB_PAGEUP, 0, true); break;
    case kCmdScrollPageDown: ScrollRequest(SB_PAGEDOWN, 0, true); break;
    case kCmdScrollTop: ScrollRequest(SB_TOP, 0, true); break;
    case kCmdScrollBottom: ScrollRequest(SB_BOTTOM, 0, true); break;
    default:
      return FALSE;
  }
  return TRUE;
}

BOOL CPreview::PreTranslateMessage(MSG* msg) {
  if (m_hAccel == nullptr || msg == nullptr || msg->message != WM_KEYDOWN) return FALSE;
  if (msg->hwnd != m_hWnd && !IsChild(m_hWnd, msg->hwnd) && msg->hwnd != (m_pFrame ? m_pFrame->m_hWnd : nullptr))
    return FALSE;
  return TranslateAcceleratorA(m_hWnd, m_hAccel, msg) != 0;
}

void CPreview::PrintCurrentPage() {
  m_bBusy = 1;
  SetCursor(LoadCursorA(nullptr, IDC_WAIT));
  m_pPrintingDlg = OpenPreviewPrintDialog(*m_pDoc);
  if (m_pFrame) EnableWindow(m_pFrame->m_hWnd, FALSE);
  m_pState->previewActive = 0;
  PrintPreviewPage(*m_pDoc);
  m_pState->previewActive = 1;
  ClosePreviewPrintDialog();
  m_pPrintingDlg = nullptr;
  if (m_pFrame) EnableWindow(m_pFrame->m_hWnd, TRUE);
  SetFocus(m_hPage);
  Repaint();
  m_pState->abortWord = 0;
  m_bBusy = 0;
  SetCursor(LoadCursorA(nullptr, IDC_ARROW));
  ShowPageNumber();
  UpdateToolBar();
}

void CPreview::PageDone(int isLast) {
  PageOutputState& s = *m_pState;
  const ReportRun* r = m_pDoc->m_pRun;
  if (m_pDriver == nullptr) return;
  // The page's recording ends here; the preview keeps it.
  if (m_pDriver->HasEntry(7)) m_pDriver->EndPage(&s, 1);
  const bool beforeStart = m_pDoc->m_nRunMode == 0 && r != nullptr && r->pageCount < r->startPage;
  if ((s.runningToEnd && !isLast) || beforeStart) {
    if (beforeStart) {
      if (m_pDriver->HasEntry(15)) m_pDriver->PreviewPageFinished(&s);
      return;
    }
    if (m_pDriver->HasEntry(15)) m_pDriver->PreviewPageFinished(&s);
    if (m_pDriver->HasEntry(25) && !m_pDriver->StorePage(&s, s.previewWindow, m_pDoc->m_nRunState)) {
      ShowStatusText(*m_pDoc, 0, 0, nullptr, nullptr, 626);
      if (m_pFrame) m_pFrame->m_wndStatusBar.SetPaneText(0, PreviewMessageText().c_str());
      m_pDoc->m_nRunState = -2;
      GetPrintRunContext().previewStoreFailed = true;
      return;
    }
    // The page number, Pause and Close, between pages as often as the run
    // lets messages through: the status bar painted for every page took
    // longer than making the page.
    const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now().time_since_epoch()).count();
    if (m_nLastLookMs != INT64_MIN && now - m_nLastLookMs < kRunPumpMilliseconds) return;
    m_nLastLookMs = now;
    ShowPageNumber();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (PreTranslateMessage(&msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (s.runningToEnd || m_pDoc->m_nRunState != 0) return;
    // Paused: this page is shown and waited on.
  }
  SetCursor(LoadCursorA(nullptr, IDC_ARROW));
  m_bRunFinished = isLast;
  if (isLast) {
    m_nLastPage = static_cast<int>(s.pagesProduced - 1);
    s.runningToEnd = 0;
  }
  if (m_pDriver->HasEntry(15)) m_pDriver->PreviewPageFinished(&s);
  if (isLast) m_nLastPage = static_cast<int>(s.pageShown);
  m_bWaiting = 1;
  m_bBusy = 0;
  ResetPageOrigin(s);
  UpdateScrollBars();
  ShowPageNumber();
  UpdateToolBar();
  UpdateWindow(m_hPage);
  MSG msg;
  while (m_pDoc->m_nRunState == 0 && m_bWaiting) {
    if (!GetMessageA(&msg, nullptr, 0, 0)) {
      // The program is ending: stop the run and leave the quit for the main loop.
      PostQuitMessage(static_cast<int>(msg.wParam));
      m_pDoc->m_nRunState = -1;
      break;
    }
    if (PreTranslateMessage(&msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (m_pDoc->m_nRunState >= 0 && m_pDriver->HasEntry(25) &&
      !m_pDriver->StorePage(&s, s.previewWindow, m_pDoc->m_nRunState)) {
    ShowStatusText(*m_pDoc, 0, 0, nullptr, nullptr, 626);
    if (m_pFrame) m_pFrame->m_wndStatusBar.SetPaneText(0, PreviewMessageText().c_str());
    m_pDoc->m_nRunState = -2;
    GetPrintRunContext().previewStoreFailed = true;
  }
}

LRESULT CPreview::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CPreview*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcA(hwnd, msg, wParam, lParam);
  return self->Handle(msg, wParam, lParam);
}

LRESULT CPreview::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_COMMAND:
      OnPreviewCommand(LOWORD(wParam));
      return 0;
    case WM_HSCROLL:
    case WM_VSCROLL:
      ScrollRequest(LOWORD(wParam), static_cast<short>(HIWORD(wParam)), msg == WM_VSCROLL);
      return 0;
    case WM_SIZE:
      return 0;
    default:
      return DefWindowProcA(m_hWnd, msg, wParam, lParam);
  }
}

LRESULT CPreview::PageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CPreview*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcA(hwnd, msg, wParam, lParam);
  return self->HandlePage(msg, wParam, lParam);
}

LRESULT CPreview::HandlePage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(m_hPage, &ps);
      if (dc != nullptr) OnDraw(dc);
      EndPaint(m_hPage, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_SIZE:
      OnSize();
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      ClickZoom(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      return 0;
    case WM_MOUSEMOVE: {
      POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      const bool busy = m_bBusy != 0;
      const bool arrow = m_pState == nullptr || m_pState->zoomLevel == 2 || !PtInRect(&m_rcPage, at);
      SetCursor(LoadCursorA(nullptr, busy ? IDC_WAIT : arrow ? IDC_ARROW : MAKEINTRESOURCEA(32515)));
      return 0;
    }
    default:
      return DefWindowProcA(m_hPage, msg, wParam, lParam);
  }
}

int CreatePreviewView(CKmDoc& doc, PageDriver* driver, PageOutputState* state) {
  CMainFrame* frame = doc.m_pMainFrame;
  if (frame == nullptr || !IsWindow(frame->m_hWnd)) {
    doc.ShowErrorId(kIdPreviewWindowError, nullptr);
    return 0;
  }
  if (g_preview != nullptr) return 1;
  auto* view = new CPreview(&doc, driver, state);
  if (!view->Create(frame)) {
    delete view;
    doc.ShowErrorId(kIdPreviewWindowError, nullptr);
    return 0;
  }
  frame->m_pPreviewView = view;
  // The design panes make way for the preview.
  ShowWindow(frame->GetBandPane(), SW_HIDE);
  ShowWindow(frame->GetRulerPane(), SW_HIDE);
  state->previewWindow = view->PageWindow();
  state->previewActive = 1;
  frame->m_wndStatusBar.SetSinglePane(FALSE);
  return 1;
}

int ClosePreviewView(CKmDoc& doc) {
  CPreview* view = g_preview;
  if (view == nullptr) return 0;
  const int requested = view->m_bPrintRequested;
  CMainFrame* frame = doc.m_pMainFrame;
  PageOutputState& s = GetPrintRunContext().page;
  s.previewWindow = nullptr;
  s.previewActive = 0;
  delete view;
  if (frame != nullptr) {
    frame->m_pPreviewView = nullptr;
    ShowWindow(frame->GetBandPane(), SW_SHOW);
    ShowWindow(frame->GetRulerPane(), SW_SHOW);
    frame->m_wndStatusBar.SetSinglePane(TRUE);
    frame->RecalcLayout();
    InvalidateRect(frame->m_hWnd, nullptr, TRUE);
  }
  return requested;
}

CPreview* ActivePreview() { return g_preview; }

void PreviewPageDone(KmDocBase* doc, int isLast) {
  (void)doc;
  if (g_preview != nullptr) g_preview->PageDone(isLast);
}
