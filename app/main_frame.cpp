#include "app/main_frame.h"

#include "app/app.h"
#include "app/document.h"
#include "app/file_commands.h"
#include "app/frame_bars.h"
#include "app/recent_files.h"
#include "app/preview_view.h"
#include "app/print_run.h"
#include "app/open_report.h"
#include "app/splash.h"
#include "app/wizard_link.h"
#include "layout/layout_records.h"
#include "core/composite.h"
#include "expr/compiler_state.h"
#include "expr/date_settings.h"
#include "foundation/settings.h"
#include "foundation/startup.h"
#include "platform/win/unattended.h"
#include "platform/win/gdi.h"
#include "platform/win/help.h"
#include "platform/win/menu.h"
#include "platform/win/placement.h"
#include "platform/win/profile.h"
#include "platform/win/resources.h"
#include "platform/win/system_notices.h"
#include "platform/win/caret.h"
#include "layout/fonts.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {
constexpr const char* kFrameClass = "KmMainFrame";
constexpr const char* kFrameSection = "Frame";
constexpr int kNoEdge = -32000;
constexpr int kMaxEdge = 32767;
constexpr WORD kMouseActionBits = 0x1327;
constexpr WORD kFontBoxFocus = 0x0400;
constexpr WORD kSizeBoxFocus = 0x0800;

// Command ids of the menus.
enum : UINT {
  kCmdClose = 30000, kCmdSave = 30010, kCmdSaveAs = 30020, kCmdProperties = 30028, kCmdPrint = 30030,
  kCmdPreview = 30040, kCmdExport = 30060, kCmdPageSetup = 30512, kCmdSend = 57612, kCmdRecentFile = 57616,
  kCmdNew = 32000, kCmdOpen = 32001, kCmdNewUserSql = 32002, kCmdConnections = 32005, kCmdExit = 32016,
  kCmdDefaults = 32018, kCmdPreferences = 32020, kCmdFileSettings = 32022, kCmdHelpTopics = 32024,
  kCmdChartSettings = 32025, kCmdAbout = 32032, kCmdAppAbout = 57664, kCmdHelp = 57670,
  kCmdFieldNames = 30204, kCmdHorzRuler = 30210, kCmdVertRuler = 30212, kCmdGrid = 30214, kCmdSnap = 20212
};

enum class Rule { kAlways, kReport, kDesigner, kConnections, kPlaceholder };

// Commands that ask for nothing but a free designer.
constexpr UINT kAlwaysIds[] = {kCmdNew, kCmdNewUserSql, kCmdOpen, kCmdExit, kCmdPreferences, kCmdDefaults,
                               kCmdChartSettings, kCmdFileSettings, kCmdHelpTopics, kCmdAbout, 32023};
// Commands on the open report.
constexpr UINT kReportIds[] = {kCmdClose, kCmdSave, kCmdSaveAs, kCmdProperties, kCmdPageSetup, kCmdExport,
                               kCmdSend, kCmdPrint, kCmdPreview, 30202, kCmdHorzRuler, kCmdVertRuler, kCmdGrid,
                               kCmdFieldNames, 30400, 30410, 30420, 30430, 30440, 30450, 30460, 30470, 57856,
                               30514, 30206, kCmdSnap, 30600, 30610, 30620, 30630, 30640, 30650, 30660, 30700,
                               30710, 30720};
// Commands that also need a selection, marked lines, the designer's clipboard
// or its undo: the designer answers for them; without it they stay off.
constexpr UINT kDesignerIds[] = {30100, 30110, 30120, 30130, 30140, 30170, 57639, 30150,
                                 30160, 30502, 30504, 30510, 30740, 30730};

// Commands that come while text is typed in place without ending it: they
// leave the report alone, or (the styles) change the text being typed.
constexpr UINT kKeepsTextEntryIds[] = {kCmdHelpTopics, kCmdAbout,       kCmdAppAbout,     kCmdHelp,
                                       kBoldButton,    kItalicButton,   kUnderlineButton};

Rule RuleOf(UINT id) {
  if (std::find(std::begin(kAlwaysIds), std::end(kAlwaysIds), id) != std::end(kAlwaysIds)) return Rule::kAlways;
  if (std::find(std::begin(kReportIds), std::end(kReportIds), id) != std::end(kReportIds)) return Rule::kReport;
  if (id == kCmdConnections) return Rule::kConnections;
  if (id == kCmdRecentFile) return Rule::kPlaceholder;
  return Rule::kDesigner;
}

bool RegisterClasses() {
  static bool done = false;
  if (done) return true;
  WNDCLASSA frame{};
  frame.lpfnWndProc = DefWindowProcA;
  frame.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  frame.lpszClassName = kFrameClass;
  done = RegisterClassA(&frame) != 0;
  return done;
}

int ProfileInt(const char* key, int def) {
  return static_cast<int>(GetPrivateProfileIntA(kFrameSection, key, def, SettingsIniPath().c_str()));
}
}  // namespace

CMainFrame::~CMainFrame() {
  if (m_pDoc && m_pDoc->m_pViews == &m_panes) m_pDoc->m_pViews = nullptr;
  if (m_pDoc && m_pDoc->m_pMainFrame == this) m_pDoc->m_pMainFrame = nullptr;
  if (m_pDoc && m_pDoc->m_pView == &m_wndLayoutView) m_pDoc->m_pView = nullptr;
  if (AfxGetThread()->m_pMainWnd == this) AfxGetThread()->m_pMainWnd = nullptr;
  // The object goes away without the close sequence: the window quietly follows.
  if (IsWindow(m_hWnd)) {
    SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, 0);
    DestroyWindow(m_hWnd);
  }
  if (IsWindow(m_pTitleWnd)) DestroyWindow(m_pTitleWnd);
  if (m_hLayoutAccel) DestroyAcceleratorTable(m_hLayoutAccel);
  if (m_hPtSizeAccel) DestroyAcceleratorTable(m_hPtSizeAccel);
}

BOOL CMainFrame::Create(CKmDoc* doc, const char* title) {
  if (IsWindow(m_hWnd) || !RegisterClasses()) return FALSE;
  m_pDoc = doc;
  m_wndStatusBar.m_pDoc = doc;
  m_pLayoutView = &m_wndLayoutView;
  // The document reaches the frame and its view through these.
  if (doc && doc->m_pMainFrame == nullptr) doc->m_pMainFrame = this;
  if (doc && doc->m_pView == nullptr) doc->m_pView = m_pLayoutView;
  if (!m_szHelpTopicsText[0]) std::snprintf(m_szHelpTopicsText, sizeof m_szHelpTopicsText, "%s", LoadResString(7110).c_str());
  if (!m_szAboutText[0]) std::snprintf(m_szAboutText, sizeof m_szAboutText, "%s", LoadResString(7111).c_str());
  // A missing table only leaves its keys out.
  if (m_hLayoutAccel == nullptr) m_hLayoutAccel = LoadAcceleratorsA(nullptr, "LayoutKeys");
  if (m_hPtSizeAccel == nullptr) m_hPtSizeAccel = LoadAcceleratorsA(nullptr, "FORMAT_PTSIZE_KEYS");
  HWND h = CreateWindowExA(0, kFrameClass, title ? title : "", WS_OVERLAPPEDWINDOW, 60, 40, 760, 540, nullptr,
                           nullptr, nullptr, nullptr);
  if (h == nullptr) return FALSE;
  m_hWnd = h;
  SetWindowLongPtrA(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CMainFrame::WndProc));
  if (!OnCreate()) {
    SetWindowLongPtrA(h, GWLP_USERDATA, 0);
    DestroyWindow(h);
    m_hWnd = nullptr;
    if (doc && doc->m_pMainFrame == this) doc->m_pMainFrame = nullptr;
    if (doc && doc->m_pView == m_pLayoutView) doc->m_pView = nullptr;
    return FALSE;
  }
  return TRUE;
}

BOOL CMainFrame::OnCreate() {
  HMENU menu = LoadMenuA(nullptr, MAKEINTRESOURCEA(kMainMenuId));
  if (menu == nullptr || !SetMenu(m_hWnd, menu)) return FALSE;
  // The band pane and the ruler pane side by side; the ruler pane holds the layout view.
  m_nBandWidth = static_cast<int>(GetPrivateProfileIntA("Save List", "BandWidth", 80, SettingsIniPath().c_str()));
  if (m_nBandWidth < 0 || m_nBandWidth > 2000) m_nBandWidth = 80;
  m_cursors.Load();
  if (!m_wndBandView.Create(m_hWnd, kBandPaneId)) return FALSE;
  if (!m_wndRulerView.Create(m_hWnd, kLayoutViewId, &m_wndLayoutView, m_pDoc)) return FALSE;
  m_pBandView = &m_wndBandView;
  m_wndBandView.SetWidth(m_nBandWidth);
  m_wndBandView.CacheDocument(m_pDoc, &m_wndLayoutView);
  m_wndLayoutView.AttachFrameAndDocument(m_pDoc, &m_viewHost);
  m_wndLayoutView.SetPanes(&m_wndBandView, &m_wndRulerView);
  if (m_pDoc && m_pDoc->m_pViews == nullptr) m_pDoc->m_pViews = &m_panes;
  if (!m_wndStatusBar.Create(m_hWnd)) return FALSE;
  TrackWindowGeometry(m_hWnd);
  SetSystemNoticeWindow(m_hWnd);
  SetPreTranslateFilter(m_hWnd, [this](MSG* msg) { return PreTranslateMessage(msg); });
  RecalcLayout();
  return TRUE;
}

BOOL CMainFrame::PreTranslateMessage(MSG* msg) {
  // The print preview's keys come first while it shows, as its window holds the focus.
  if (m_pPreviewView != nullptr && static_cast<CPreview*>(m_pPreviewView)->PreTranslateMessage(msg)) return TRUE;
  if ((m_wState & (kFontBoxFocus | kSizeBoxFocus)) && m_hPtSizeAccel)
    return TranslateAcceleratorA(m_hWnd, m_hPtSizeAccel, msg);
  if (m_wndLayoutView.EditorOpen()) return FALSE;
  if (m_hLayoutAccel) return TranslateAcceleratorA(m_hWnd, m_hLayoutAccel, msg);
  return FALSE;
}

void CMainFrame::RecalcLayout() {
  if (!IsWindow(m_hWnd)) return;
  RECT c;
  GetClientRect(m_hWnd, &c);
  int top = GetMenuBarHeight(m_hWnd);
  // The tool bars stand under the menu; the panes take the rest.
  if (m_pDoc != nullptr && m_pDoc->m_pBars != nullptr) top = m_pDoc->m_pBars->Layout(top, c.right);
  int statusHeight = IsWindow(m_wndStatusBar.m_hWnd) ? m_wndStatusBar.Height() : 0;
  int bottom = std::max<int>(top, c.bottom - statusHeight);
  if (IsWindow(m_wndStatusBar.m_hWnd)) MoveWindow(m_wndStatusBar.m_hWnd, 0, bottom, c.right, statusHeight, TRUE);
  int band = std::min<int>(m_nBandWidth, std::max<int>(0, c.right - kSplitterGap));
  if (IsWindow(m_wndBandView.m_hWnd)) m_wndBandView.SetWidth(band);
  if (IsWindow(m_wndBandView.m_hWnd)) MoveWindow(m_wndBandView.m_hWnd, 0, top, band, bottom - top, TRUE);
  int x = band + kSplitterGap;
  int width = std::max<int>(0, c.right - x);
  if (IsWindow(m_wndRulerView.m_hWnd)) {
    MoveWindow(m_wndRulerView.m_hWnd, x, top, width, bottom - top, TRUE);
    m_wndRulerView.RepositionBars();
  }
  // The print preview covers the panes while it is shown.
  if (m_pPreviewView != nullptr) static_cast<CPreview*>(m_pPreviewView)->Layout();
}

void CMainFrame::ShowTitleWindow(BOOL show) { ::ShowTitleWindow(this, show); }

void CMainFrame::SetStatusText(const char* text) { m_wndStatusBar.SetPaneText(0, text ? text : ""); }

void CMainFrame::RestorePlacement() {
  if (!IsWindow(m_hWnd) || IsWindowVisible(m_hWnd)) return;
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  GetWindowPlacement(m_hWnd, &wp);
  int show = ProfileInt("Show", -1);
  RECT r{ProfileInt("Left", kNoEdge), ProfileInt("Top", kNoEdge), ProfileInt("Right", kNoEdge),
         ProfileInt("Bottom", kNoEdge)};
  // A damaged profile (an edge beyond the coordinate range, a rectangle
  // turned inside out) would leave the frame unshown or out of reach.
  auto edgeOk = [](LONG v) { return v > kNoEdge && v <= kMaxEdge; };
  if (edgeOk(r.left) && edgeOk(r.top) && edgeOk(r.right) && edgeOk(r.bottom) && r.right > r.left && r.bottom > r.top)
    wp.rcNormalPosition = r;
  int cmd = m_nCmdShow < 0 ? SW_SHOWNORMAL : m_nCmdShow;
  // Only a normal start takes the stored state, and never minimised; values
  // the window cannot take are left out too.
  if (m_nCmdShow == SW_SHOWNORMAL && (show == SW_SHOWNORMAL || show == SW_SHOWMAXIMIZED)) cmd = show;
  wp.showCmd = static_cast<UINT>(cmd);
  SetWindowPlacement(m_hWnd, &wp);
  m_nCmdShow = -1;
  RecalcLayout();
  m_wndStatusBar.SetSinglePane(TRUE);
}

BOOL CMainFrame::BeginDeferredStart(UINT delayMs) {
  if (IsWindow(m_hWnd) && SetTimer(m_hWnd, kDeferredStartTimer, delayMs, nullptr) != 0) {
    EnableWindow(m_hWnd, FALSE);
    return TRUE;
  }
  // Without the timer nothing would ever take the topmost title window down.
  ShowTitleWindow(FALSE);
  return FALSE;
}

BOOL CMainFrame::RouteToDocument(UINT id) { return m_pDoc != nullptr && DispatchFileCommand(*m_pDoc, id); }
int CMainFrame::DocumentUpdate(UINT id) const { return FileCommandState(m_pDoc, id, m_wndLayoutView.EditorOpen()); }

BOOL CMainFrame::EndTextEntryFor(UINT id) {
  if (!m_wndLayoutView.EditorOpen()) return TRUE;
  if (std::find(std::begin(kKeepsTextEntryIds), std::end(kKeepsTextEntryIds), id) != std::end(kKeepsTextEntryIds))
    return TRUE;
  return m_wndLayoutView.EndTextEdit(true) ? TRUE : FALSE;
}
BOOL CMainFrame::SaveModified() { return m_pDoc == nullptr || GetReportOpenDialogs().SaveModified(*m_pDoc); }

BOOL CMainFrame::ReportOpen() const { return m_pDoc != nullptr && m_pDoc->m_bReportOpen; }
BOOL CMainFrame::OutputRunning() const { return m_pDoc != nullptr && m_pDoc->m_pRun != nullptr; }

BOOL CMainFrame::IsCommandEnabled(UINT id) {
  const int answer = DocumentUpdate(id);
  if (answer >= 0) return answer != 0;
  CCmdUI ui(id);
  if (m_wndLayoutView.UpdateCommand(&ui)) return ui.m_bEnabled;
  // The document's rules see whether text is being typed in place.
  const BOOL editing = m_wndLayoutView.EditorOpen() ? TRUE : FALSE;
  const bool docAllows = m_pDoc == nullptr || DocumentCommandState(*m_pDoc, id, editing) != 0;
  switch (RuleOf(id)) {
    case Rule::kAlways:
      return docAllows;
    case Rule::kReport:
      return ReportOpen() && docAllows;
    case Rule::kConnections:
      return docAllows;
    case Rule::kPlaceholder:
    case Rule::kDesigner:
      return FALSE;
  }
  return FALSE;
}

BOOL CMainFrame::IsCommandChecked(UINT id) const {
  if (m_pDoc == nullptr || !m_pDoc->m_bReportOpen) return FALSE;
  CCmdUI ui(id);
  if (const_cast<CKmView&>(m_wndLayoutView).UpdateCommand(&ui) && ui.m_bCheckSet) return ui.m_nCheck != 0;
  const DocSettings& s = m_pDoc->m_settings;
  switch (id) {
    case kCmdHorzRuler: return s.shHzRul != 0;
    case kCmdVertRuler: return s.shVtRul != 0;
    case kCmdGrid: return s.shGrd != 0;
    case kCmdFieldNames: return s.fieldNames != 0;
    case kCmdSnap: return s.snapTo != 0;
    default: return FALSE;
  }
}

void CMainFrame::UpdatePopup(HMENU popup) {
  // The File menu's recent files are named as it opens.
  if (CKmApp* app = AfxGetKmApp()) app->RecentFiles().UpdateMenu(popup);
  int count = GetMenuItemCount(popup);
  for (int i = 0; i < count; ++i) {
    UINT id = GetMenuItemID(popup, i);
    if (id == kMenuItemMissing || id == 0) continue;
    UINT pos = static_cast<UINT>(i);
    UINT check = IsCommandChecked(id) ? MF_CHECKED : MF_UNCHECKED;
    const char* text = id == kCmdHelpTopics ? m_szHelpTopicsText : id == kCmdAbout ? m_szAboutText : nullptr;
    // The view's update handlers name some items by the state (Undo, Paste, Clear, Master Table).
    CCmdUI ui(id);
    if (!text && m_wndLayoutView.UpdateCommand(&ui) && ui.m_bTextSet) text = ui.m_strText.c_str();
    if (text && text[0]) ModifyMenuA(popup, pos, MF_BYPOSITION | MF_STRING, id, text);
    EnableMenuItem(popup, pos, MF_BYPOSITION | (IsCommandEnabled(id) ? MF_ENABLED : MF_GRAYED));
    CheckMenuItem(popup, pos, MF_BYPOSITION | check);
  }
}

LRESULT CMainFrame::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CMainFrame*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcA(hwnd, msg, wParam, lParam);
  return self->Handle(hwnd, msg, wParam, lParam);
}

LRESULT CMainFrame::Handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_SIZE:
      RecalcLayout();
      break;
    case WM_INITMENUPOPUP:
      UpdatePopup(reinterpret_cast<HMENU>(wParam));
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam));
      return 0;
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_SETFOCUS:
      OnSetFocus(reinterpret_cast<HWND>(wParam));
      return 0;
    case WM_DESTROY:
      OnDestroy();
      break;
    case WM_NCDESTROY:
      m_hWnd = nullptr;
      if (AfxGetThread()->m_pMainWnd == this) AfxGetThread()->m_pMainWnd = nullptr;
      break;
    case WM_TIMER:
      OnTimer(static_cast<UINT_PTR>(wParam));
      break;
    case kWizardDoneMessage:
      if (m_pDoc != nullptr) m_pDoc->OnWizardDone(wParam);
      return 0;
    case WM_HELP:
      // F1 in the designer: the frame's Help command, as its key.
      OnCommand(kCmdHelp);
      return TRUE;
    case WM_ACTIVATE:
      // Another window of the program takes over: the layout's caret goes.
      if (LOWORD(wParam) == 0 && !m_wndLayoutView.EditorOpen()) DestroyCaret();
      break;
    case WM_ACTIVATEAPP:
      if (wParam && ReportOpen() && !OutputRunning() && m_pPreviewView == nullptr && m_wState < 0x8000)
        m_wndLayoutView.UpdateCaretAndStatus(0);
      break;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      if (OnSplitterMouse(msg, wParam, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam))) return 0;
      break;
    case WM_QUERYNEWPALETTE:
      return OnQueryNewPalette();
    case WM_PALETTECHANGED:
      OnPaletteChanged(reinterpret_cast<HWND>(wParam));
      break;
    case WM_SYSCOLORCHANGE:
      InvalidateRect(m_hWnd, nullptr, TRUE);
      m_panes.UpdateAllViews(0, nullptr);
      break;
    case WM_SETTINGCHANGE:
    case WM_FONTCHANGE:
      OnFontsOrSettingsChanged(msg == WM_SETTINGCHANGE);
      break;
    case WM_QUERYENDSESSION:
      // The user is asked about unsaved changes before the session may end.
      return EndTextEntryFor(kCmdExit) && SaveModified();
    case WM_ENDSESSION:
      if (wParam && m_pDoc && m_pDoc->m_bSettingsRead) SaveSettingsOnExit(*m_pDoc);
      break;
    default:
      break;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void CMainFrame::OnFontsOrSettingsChanged(bool settings) {
  if (m_pDoc == nullptr) return;
  if (settings) {
    ReadIntlSettings(*m_pDoc);
    // The run copies the number settings from the document; the dates live in the model.
    if (m_pDoc->m_pModel != nullptr) ApplyIntlDateSettings(m_pDoc->m_intl, ModelDateSettings(m_pDoc->m_pModel));
  }
  // While a run prints, its printer and fonts stay as they are.
  if (OutputRunning() || m_pPreviewView) return;
  // A printer removed from the system gives way to the default one.
  if (settings) CheckPrinterReady(*m_pDoc);
  // The fonts are made again: text typed in place is stored first, as Enter
  // would, so no editor is left over a text whose font has gone.
  if (m_wndLayoutView.EditorOpen()) m_wndLayoutView.EndTextEdit(true);
  if (m_pDoc->m_pLayout && m_pDoc->m_pFonts)
    ReloadFonts(*m_pDoc->m_pLayout, *m_pDoc->m_pFonts, m_pDoc->m_szPrinterDevice, m_pDoc->m_bReportOpen != 0);
  if (ReportOpen()) m_wndLayoutView.RedrawAllPanes();
}

void CMainFrame::OnCommand(UINT id) {
  if (!EndTextEntryFor(id)) return;
  if (RouteToDocument(id)) return;
  if (m_wndLayoutView.OnCommand(id)) return;
  // While output runs the designer takes no commands.
  if (OutputRunning()) return;
  switch (id) {
    case kCmdHelpTopics:
      WinHelpA(m_hWnd, m_pDoc ? m_pDoc->GetHelpFileName() : "kmw.hlp", HELP_FINDER, 1);
      if (ReportOpen() && m_pLayoutView) m_pLayoutView->UpdateCaretAndStatus(0);
      break;
    case kCmdAbout:
    case kCmdAppAbout:
      ShowAboutBox(m_hWnd);
      break;
    case kCmdHelp:
      if (m_nHelpContext) WinHelpA(m_hWnd, m_pDoc ? m_pDoc->GetHelpFileName() : "kmw.hlp", HELP_CONTEXT, m_nHelpContext);
      else WinHelpA(m_hWnd, m_pDoc ? m_pDoc->GetHelpFileName() : "kmw.hlp", HELP_FINDER, 0);
      break;
    case kCmdExit:
      m_bClosing = TRUE;
      if ((m_wndLayoutView.Mode() & kMouseActionBits) == 0 && SaveModified()) {
        m_wState = 0;
        DestroyWindow(m_hWnd);
      } else {
        m_bClosing = FALSE;
      }
      break;
    default:
      break;
  }
}

// A click on the menu bar or the splitter leaves the keys where they were in
// the frame (the layout, text typed in place, a format-bar box), so the
// letters typed after a menu reach them; the frame on its own hands them to
// the view it shows.
void CMainFrame::OnSetFocus(HWND before) {
  HWND to = nullptr;
  if (IsWindow(before) && IsChild(m_hWnd, before) && IsWindowVisible(before) && IsWindowEnabled(before))
    to = before;
  else if (m_pPreviewView != nullptr)
    to = static_cast<CPreview*>(m_pPreviewView)->PageWindow();
  else if (m_pLayoutView != nullptr && IsWindow(m_pLayoutView->m_hWnd) && IsWindowVisible(m_pLayoutView->m_hWnd))
    to = m_pLayoutView->m_hWnd;
  if (IsWindow(to)) SetFocus(to);
}

void CMainFrame::OnClose() {
  // A preview closes as its own Close would; the frame stays.
  if (m_pPreviewView) {
    static_cast<CPreview*>(m_pPreviewView)->OnCloseRequest();
    return;
  }
  if (OutputRunning()) {
    // The run stops at its next check; the frame stays.
    if (m_pDoc) m_pDoc->m_nRunState = -3;
    return;
  }
  if (!EndTextEntryFor(kCmdExit)) return;
  m_bClosing = TRUE;
  if (!SaveModified()) {
    m_bClosing = FALSE;
    return;
  }
  DestroyWindow(m_hWnd);
}

void CMainFrame::WritePlacement() {
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  if (!GetWindowPlacement(m_hWnd, &wp)) return;
  WriteIniInt(kFrameSection, "Show", static_cast<int>(wp.showCmd));
  WriteIniInt(kFrameSection, "Left", wp.rcNormalPosition.left);
  WriteIniInt(kFrameSection, "Top", wp.rcNormalPosition.top);
  WriteIniInt(kFrameSection, "Right", wp.rcNormalPosition.right);
  WriteIniInt(kFrameSection, "Bottom", wp.rcNormalPosition.bottom);
}

void CMainFrame::OnDestroy() {
  SetPreTranslateFilter(m_hWnd, {});
  SetSystemNoticeWindow(nullptr);
  DestroyCaret();
  // An unattended run changed nothing the user would keep; the settings
  // file stays as it was (a damaged one included).
  if (!IsUnattendedRun()) {
    WritePlacement();
    WriteIniInt("Save List", "BandWidth", m_nBandWidth);
  }
  KillTimer(m_hWnd, kDeferredStartTimer);
  KillTimer(m_hWnd, kWizardTimer);
  if (IsWindow(m_pTitleWnd)) DestroyWindow(m_pTitleWnd);
  m_pTitleWnd = nullptr;
  // Once only: the settings teardown frees the document's blocks.
  if (m_pDoc && m_pDoc->m_bSettingsRead) SaveSettingsOnExit(*m_pDoc);
  PostQuitMessage(0);
}

void CMainFrame::OnTimer(UINT_PTR id) {
  if (id == kWizardTimer) {
    if (m_pDoc != nullptr) m_pDoc->OnWizardTimer();
    return;
  }
  if (id != kDeferredStartTimer) return;
  KillTimer(m_hWnd, kDeferredStartTimer);
  EnableWindow(m_hWnd, TRUE);
  ShowTitleWindow(FALSE);
  RestorePlacement();
  if (!ReportOpen() && m_pDoc != nullptr) OfferStartChoice(*m_pDoc);
}

// --- volume removal ---

DWORD DriveMaskOfPath(const char* path) {
  if (path == nullptr || std::strlen(path) < 2 || path[1] != ':') return 0;
  char c = path[0];
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (c < 'A' || c > 'Z') return 0;
  return 1u << (c - 'A');
}

LRESULT DeviceRemovalAnswer(UINT event, UINT deviceType, DWORD unitMask, DWORD reportMask, DWORD programMask,
                            std::string* warning) {
  if (warning) warning->clear();
  if ((event != kDeviceQueryRemove && event != kDeviceRemoveComplete) || deviceType != kDeviceTypeVolume) return 1;
  DWORD report = reportMask & unitMask;
  DWORD program = programMask & unitMask;
  if (report == 0 && program == 0) return 1;
  std::string drives;
  int count = 0;
  for (int i = 0; i < 26; ++i)
    if ((report | program) & (1u << i)) {
      drives += static_cast<char>('A' + i);
      drives += ", ";
      ++count;
    }
  const bool query = event == kDeviceQueryRemove;
  UINT id = query ? (count == 1 ? 809 : 812) : (count == 1 ? 810 : 813);
  std::string exitText = program ? LoadResString(814) : std::string();
  std::string format = LoadResString(id);
  std::string text;
  const std::string* args[2] = {&drives, &exitText};
  int next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's') {
      if (next < 2) text += *args[next++];
      ++i;
    } else {
      text += format[i];
    }
  }
  if (warning) *warning = text;
  return query ? kBroadcastQueryDeny : 1;
}

LRESULT CMainFrame::OnDeviceChange(UINT event, UINT deviceType, DWORD unitMask) {
  if (m_pDoc == nullptr) return 1;
  DWORD report = 0, program = 0;
  if (CKmComposite* model = m_pDoc->m_pModel)
    for (TableSlot* slot : model->tableSlots)
      if (slot) report |= DriveMaskOfPath(slot->path);
  if (m_pDoc->m_pLayout)
    for (int i = 0; i < m_pDoc->m_pLayout->pictures.Count(); ++i)
      report |= DriveMaskOfPath(m_pDoc->m_pLayout->pictures.At(i)->fileName);
  if (m_pDoc->m_pDocPaths) {
    report |= DriveMaskOfPath(reinterpret_cast<const char*>(m_pDoc->m_pDocPaths + kDocPathsLibrary));
    report |= DriveMaskOfPath(reinterpret_cast<const char*>(m_pDoc->m_pDocPaths + kDocPathsPending));
  }
  report |= DriveMaskOfPath(DirBlockEntryText(kDirWork));
  report |= DriveMaskOfPath(DirBlockEntryText(kDirDictTable));
  program |= DriveMaskOfPath(DirBlockEntryText(kDirProgram));
  program |= DriveMaskOfPath(DirBlockEntryText(kDirStartup));
  std::string warning;
  LRESULT answer = DeviceRemovalAnswer(event, deviceType, unitMask, report, program, &warning);
  if (!warning.empty()) m_pDoc->WarningBox(warning.c_str());
  return answer;
}
