// The print preview: the view that takes the frame's place while a report is
// previewed, its tool bar and keys, the zoom levels and scrolling, and the
// loop in which the run waits for the user after each page.
#pragma once

#include <string>

#include "platform/mfc/afxwin.h"
#include "platform/printer/page_driver.h"
#include "platform/win/accel.h"
#include "platform/win/window.h"

#include <cstdint>

class CKmDoc;
class CMainFrame;
class KmDocBase;

// Commands of the preview (tool bar and "PreviewKeys").
enum : UINT {
  kCmdPreviewFirst = 30041,
  kCmdPreviewPrevious = 30042,
  kCmdPreviewClose = 30043,
  kCmdPreviewNext = 30044,
  kCmdPreviewLast = 30045,
  kCmdPreviewZoomIn = 30046,
  kCmdPreviewZoomOut = 30047,
  kCmdPreviewPrintReport = 30048,
  kCmdPreviewPause = 30049,
  kCmdPreviewPrintPage = 30050,
  kCmdPreviewHelp = 30051,
  kCmdScrollLeft = 20068,
  kCmdScrollRight = 20069,
  kCmdScrollUp = 20070,
  kCmdScrollDown = 20071,
  kCmdScrollPageDown = 20072,
  kCmdScrollPageUp = 20073,
  kCmdScrollTop = 20074,
  kCmdScrollBottom = 20075,
  kCmdScrollPageLeft = 20076,
  kCmdScrollPageRight = 20077,
};

// Level 1's page size for a client width: the page's aspect corrected for
// the printer's and the screen's resolution ratios.
PreviewZoomRecord PreviewLevelOneSize(LONG clientWidth, const PageOutputState& s);
// The scroll range of a zoom record along one axis at levels 1 and 2.
void PreviewScrollRange(LONG extent, LONG client, LONG ppi, LONG* minPos, LONG* maxPos);
// A scroll request (codes 0-4, 6, 7) at levels 1 and 2: the new position.
LONG PreviewScrollPosition(int code, LONG pos, LONG current, LONG extent, LONG client, LONG ppi, bool vertical,
                           int zoomLevel);
// Level 0's paper rectangle in a client area.
PageRect PreviewWholePage(LONG clientWidth, LONG clientHeight, const PageOutputState& s);

class CPreview : public CWnd {
 public:
  CPreview(CKmDoc* doc, PageDriver* driver, PageOutputState* state);
  ~CPreview() override;
  CPreview(const CPreview&) = delete;
  CPreview& operator=(const CPreview&) = delete;

  BOOL Create(CMainFrame* frame);
  // A command of the tool bar or the keys; FALSE when it is disabled.
  BOOL OnPreviewCommand(UINT id);
  BOOL IsCommandEnabled(UINT id) const;
  void OnSize();
  void UpdateScrollBars();
  void ScrollRequest(int code, int pos, bool vertical);
  void ClickZoom(POINT at);
  void OnDraw(HDC dc);
  // The gray surround, the paper with its shadow, and the page replayed on it.
  void PaintPreviewPage(HDC dc);
  void ShowPageNumber();
  void PrintCurrentPage();
  // The frame is asked to close while the preview shows: the preview closes
  // as its Close button would; the frame stays.
  void OnCloseRequest();
  BOOL PreTranslateMessage(MSG* msg);
  // The page just ended: shown (and waited on) or only stored.
  void PageDone(int isLast);
  HWND PageWindow() const { return m_hPage; }
  HWND ToolButton(UINT id) const;
  const char* StatusText() const { return m_szStatus; }
  // The status line's message pane: the page range in force, then what the
  // run tells.
  std::string PreviewMessageText() const;
  // Over the frame's panes, between the menu bar and the status line.
  void Layout();

  int m_bPrintRequested = 0;
  CKmDoc* m_pDoc = nullptr;
  int m_bRunFinished = 0;
  int m_bWaiting = 0;
  int m_bBusy = 1;
  int m_bSkipInvalidate = 0;
  HACCEL m_hAccel = nullptr;
  int m_nLastPage = -1;
  HWND m_pPrintingDlg = nullptr;
  RECT m_rcPage{0, 0, 0, 0};

 private:
  static LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT PageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT HandlePage(UINT msg, WPARAM wParam, LPARAM lParam);
  void UpdateToolBar();
  void Repaint();
  void AfterPageChange();
  void EndWait();

  PageDriver* m_pDriver = nullptr;
  PageOutputState* m_pState = nullptr;
  CMainFrame* m_pFrame = nullptr;
  HWND m_hPage = nullptr;
  HWND m_hHScroll = nullptr;
  HWND m_hVScroll = nullptr;
  HWND m_hButtons[10] = {};
  // When a run going to the last page last showed its page number and let
  // messages through (steady clock, milliseconds); INT64_MIN before.
  int64_t m_nLastLookMs = INT64_MIN;
  HWND m_hStatus = nullptr;
  char m_szStatus[128] = {};
};

// The preview of the document's frame: made at the start of a preview run,
// taken down at its end; ClosePreviewView answers the Print Report request.
// CreatePreviewView shows its own message and answers 0 on failure.
int CreatePreviewView(CKmDoc& doc, PageDriver* driver, PageOutputState* state);
int ClosePreviewView(CKmDoc& doc);
CPreview* ActivePreview();
// The run's page hand-over (the run's previewPageDone link).
void PreviewPageDone(KmDocBase* doc, int isLast);
