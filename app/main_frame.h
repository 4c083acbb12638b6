// The main frame window: the menu bar, the band and ruler panes with the
// layout view, the status line, the mode word, the title window, the saved
// placement and the deferred start.
#pragma once

#include "app/layout_view.h"
#include "app/status_bar.h"
#include "platform/mfc/afxwin.h"
#include "platform/win/accel.h"
#include "platform/win/window.h"

#include <string>
#include <vector>

class CKmDoc;
class CMainFrame;

// Volume removal: events and the answer that refuses a query.
constexpr UINT kDeviceQueryRemove = 0x8001;
constexpr UINT kDeviceRemoveComplete = 0x8004;
constexpr UINT kDeviceTypeVolume = 2;
constexpr LRESULT kBroadcastQueryDeny = 0x424D5144;

// Bit n for drive letter 'A' + n of a path that starts with a letter and ':'.
DWORD DriveMaskOfPath(const char* path);
// The answer to a volume event, and the warning to show ("" for none), from
// the volume's unit mask and the drives of the report and of the program.
LRESULT DeviceRemovalAnswer(UINT event, UINT deviceType, DWORD unitMask, DWORD reportMask, DWORD programMask,
                            std::string* warning);

constexpr UINT kMainMenuId = 10029;
constexpr UINT kDeferredStartTimer = 100;
constexpr UINT kLayoutViewId = 59648;  // the splitter's first pane id
constexpr UINT kBandPaneId = 59649;
constexpr int kSplitterGap = 4;  // the splitter bar's width between the panes

class CMainFrame : public CWnd {
 public:
  CMainFrame() = default;
  ~CMainFrame() override;
  CMainFrame(const CMainFrame&) = delete;
  CMainFrame& operator=(const CMainFrame&) = delete;

  // The frame window, hidden, with its menu, panes, layout view and status line.
  BOOL Create(CKmDoc* doc, const char* title);
  // With 0, takes the splash (title) window down if it is showing; with nonzero, shows it.
  void ShowTitleWindow(BOOL show);
  bool TitleWindowShowing() const { return m_pTitleWnd != nullptr; }
  // Shows the frame in the placement kept in the settings (nothing when it is visible).
  void RestorePlacement();
  // The deferred start after the title window: timer 100, the frame disabled
  // until it fires. FALSE when the timer could not be set: the title window is
  // taken down, and showing the frame and the start choice are the caller's.
  BOOL BeginDeferredStart(UINT delayMs);
  void SetStatusText(const char* text);
  // A command for the document's command table: TRUE when it took it.
  BOOL RouteToDocument(UINT id);
  // The document's enable rule for a command: 0 or 1; -1 leaves it to the
  // frame's and the designer's rules.
  int DocumentUpdate(UINT id) const;
  // Text typed in place on the layout is stored, as Enter would, before a
  // command works on the report (the menus grey the commands while the
  // editor is open; one sent all the same finds no editor over the layout
  // it changes); FALSE when the store failed and the command must not go on.
  BOOL EndTextEntryFor(UINT id);
  // Whether the report may go: the unsaved-changes question.
  BOOL SaveModified();
  // Whether a command of the menus is enabled now, and its check mark.
  BOOL IsCommandEnabled(UINT id);
  BOOL IsCommandChecked(UINT id) const;
  // Enables, checks and names the items of a popup as it opens.
  void UpdatePopup(HMENU popup);
  void RecalcLayout();
  // The frame's keys: the point-size keys while a format-bar box has the
  // focus, else the layout's keys unless text entry is open.
  BOOL PreTranslateMessage(MSG* msg);
  // A volume is being or has been removed: warns when the report uses it.
  LRESULT OnDeviceChange(UINT event, UINT deviceType, DWORD unitMask);
  HWND GetBandPane() const { return m_wndBandView.m_hWnd; }
  // The splitter between the band pane and the ruler pane (frame_splitter.cpp):
  // its x in the frame's client area, and whether a drag of it is running.
  int SplitterX() const;
  bool SplitterDragging() const { return m_bSplitterDrag; }
  // Widens the band pane, when a report is opened or gets bands, so that
  // every band's name shows whole (at most a quarter of the frame); never narrows it.
  void FitBandPane();
  // The screen's colours changed (from another window: sender is not the frame).
  void OnPaletteChanged(HWND sender);
  BOOL OnQueryNewPalette();
  const DesignerCursors& Cursors() const { return m_cursors; }
  HWND GetRulerPane() const { return m_wndRulerView.m_hWnd; }
  int GetBandWidth() const { return m_nBandWidth; }

  WORD m_wState = 0;  // the mode word; 0x8000 and above: a modal dialog of the program is running
  CKmStatusBar m_wndStatusBar;
  CBandView m_wndBandView;    // the splitter's left pane
  CRulerView m_wndRulerView;  // the right pane: rulers, scroll bars and the layout view
  CKmView m_wndLayoutView;    // the layout view the ruler pane holds
  CKmView* m_pLayoutView = nullptr;
  CBandView* m_pBandView = nullptr;
  CKmDoc* m_pDoc = nullptr;
  BOOL m_bClosing = FALSE;
  UINT m_nHelpContext = 0;
  BOOL m_bToolTips = TRUE;
  void* m_pPreviewView = nullptr;  // the print preview while it is shown
  HWND m_pTitleWnd = nullptr;      // the title (splash) window while it shows
  const char* m_pszTitleClass = nullptr;
  // The application's show command until the first placement takes it (then -1).
  int m_nCmdShow = 1;
  // The Help menu's texts, filled at start-up.
  char m_szHelpTopicsText[80] = {};
  char m_szAboutText[80] = {};

 private:
  static LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  BOOL OnCreate();
  void OnCommand(UINT id);
  void OnClose();
  // The frame keeps no keyboard focus of its own.
  void OnSetFocus(HWND before);
  // win.ini changed: the regional settings are read again and the model takes them.
  void OnDestroy();
  void OnTimer(UINT_PTR id);
  // The desktop's fonts or settings changed: the layout's fonts are made again.
  void OnFontsOrSettingsChanged(bool settings);
  void WritePlacement();
  BOOL ReportOpen() const;
  BOOL OutputRunning() const;

  // The mouse over the splitter between the panes: TRUE when it took the message.
  BOOL OnSplitterMouse(UINT msg, WPARAM keys, int x, int y);
  bool m_bSplitterDrag = false;
  int m_nSplitterGrab = 0;
  DesignerCursors m_cursors;  // the designer's cursor set
  HACCEL m_hLayoutAccel = nullptr;
  HACCEL m_hPtSizeAccel = nullptr;
  int m_nBandWidth = 80;
  CKmViewHost m_viewHost{*this, m_pDoc};
  FramePanes m_panes{*this};
};
