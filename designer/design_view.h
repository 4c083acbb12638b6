// The design surface: the report's layout drawn band line by band line with
// its fields, texts, lines, boxes and pictures, the caret that marks where
// the next object goes, scrolling in cells and line pitches, the layout's
// keys and commands with their enable rules, and the object and band-line
// popup menus. It sits in the ruler pane beside the band pane.
#pragma once

#include "designer/designer_host.h"
#include "layout/band_line_layout.h"
#include "layout/layout_records.h"
#include "platform/mfc/afxcmd.h"
#include "platform/mfc/afxwin.h"
#include "platform/win/drop_target.h"
#include "platform/win/gdi.h"
#include "platform/win/window.h"

#include <memory>
#include <vector>

class KmDocBase;
class CBandView;
class CRulerView;
class CEditText;

// The layout's share of the mode word (the layout tables' modeWord): what
// the mouse or the keys are doing.
constexpr WORD kModeMoveSelection = 0x0001;
constexpr WORD kModeMarkByMouse = 0x0002;
constexpr WORD kModeRubberBand = 0x0004;
constexpr WORD kModeKeyMove = 0x0010;
constexpr WORD kModeGraphicResize = 0x0020;
constexpr WORD kModeMarkByKeys = 0x0040;
constexpr WORD kModeLineBoxResize = 0x0100;
constexpr WORD kModeFieldWidth = 0x1000;
constexpr WORD kModeFontBox = 0x0400;
constexpr WORD kModeSizeBox = 0x0800;
constexpr WORD kModeModal = 0x8000;
constexpr WORD kModeMouseAction = 0x1327;  // any mouse action
constexpr WORD kModeBlocksPress = 0x9327;
constexpr WORD kModeBlocksRelease = 0x8050;

// Scroll-bar codes of WM_HSCROLL and WM_VSCROLL (the horizontal names).
enum : int { SB_LINELEFT = 0, SB_LINERIGHT = 1, SB_PAGELEFT = 2, SB_PAGERIGHT = 3, SB_LEFT = 6, SB_RIGHT = 7 };

// Key bits of a mouse message's wParam.
constexpr WPARAM kMouseLeftButton = 0x1;
constexpr WPARAM kMouseShift = 0x4;
constexpr WPARAM kMouseControl = 0x8;

inline void ShiftRect(RECT* r, int dx, int dy) {
  r->left += dx;
  r->right += dx;
  r->top += dy;
  r->bottom += dy;
}

// The view's timer that repeats an autoscroll step while the pointer is outside.
constexpr UINT_PTR kAutoScrollTimer = 1;
// Said when an embedded object is asked to open: no object server here.
constexpr UINT kIdsNoObjectServer = 7061;
// Said when a copy leaves embedded objects out.
constexpr UINT kIdsObjectNotCopied = 7062;

// Registers a designer pane's window class (double clicks, window background) once.
bool RegisterPaneClass(const char* className);

class CKmView : public CWnd {
 public:
  CKmView();
  ~CKmView() override;
  CKmView(const CKmView&) = delete;
  CKmView& operator=(const CKmView&) = delete;

  BOOL Create(HWND parent, UINT id);
  // Wires the view to its document, the program around it and its panes.
  void AttachFrameAndDocument(KmDocBase* doc, DesignerHost* host);
  void SetPanes(CBandView* band, CRulerView* ruler) {
    m_pBandView = band;
    m_pRulerView = ruler;
  }
  CBandView* BandView() const { return m_pBandView; }
  CRulerView* RulerView() const { return m_pRulerView; }
  DesignerHost& Host() const { return *m_pHost; }

  // --- state shared with the document ---
  KmDocBase* Doc() const { return m_pDoc; }
  LayoutTables* Layout() const;
  // The document's report-open flag (the enable rules' R).
  bool ReportFlag() const;
  // That, and layout tables to work on.
  bool ReportOpen() const;
  bool OutputRunning() const;
  bool Modal() const;
  bool EditorOpen() const { return m_hEditor != nullptr; }
  // The keys go on to the text being typed in place (a right click, which
  // does nothing else while it is open, may have taken them).
  void KeepKeysInEditor() const;
  // The mode word: the frame's bits and the layout's.
  WORD Mode() const;
  void SetLayoutMode(WORD mode);
  bool GridShown() const;
  bool SnapOn() const;
  int ScrollX() const;
  int ScrollY() const;
  int LayoutWidth() const;
  int CellWidth() const;
  int LinePitch() const;  // a sixth of an inch
  int TextLineHeight() const;
  int LastUsedLine() const;
  const BandLineRec* Line(int i) const;  // null outside the table
  int ClientWidth() const;
  int ClientHeight() const;
  // Layout and view coordinates.
  RECT ViewRect(const ReportItemHead& item) const;

  // --- drawing and hints ---
  void OnDraw(HDC dc);
  void OnUpdate(int hint, void* sender);
  void SetViewRect(const RECT& r) { m_rcInvalid = r; }

  // --- commands ---
  // The gate in front of every command; TRUE when handled (or swallowed).
  BOOL OnCommand(UINT id);
  // The enable state, check and text of a command; FALSE when the view has no rule for it.
  BOOL UpdateCommand(CCmdUI* ui);
  BOOL IsCommandEnabled(UINT id);

  // --- scrolling, rulers and grid ---
  void UpdateScrollBars();
  void SetScrollBars(HWND horizontal, HWND vertical) {
    m_hHScroll = horizontal;
    m_hVScroll = vertical;
  }
  HWND HScrollBar() const { return m_hHScroll; }
  HWND VScrollBar() const { return m_hVScroll; }
  bool HScrollLayout(int code, int position);
  bool VScrollLayout(int code, int position);
  void OnScrollMessage(bool vertical, int code, int position);
  void OnMouseWheel(int delta, WPARAM keys);
  bool EnsureLineVisible(int line, const ReportItemHead* item);
  bool EnsureXVisible(int x, bool alignRight);
  void InvalidateLine(int line);
  void RedrawLayoutAndHRuler();
  void RedrawAllPanes();
  void ToggleHorizontalRuler();
  void ToggleVerticalRuler();
  // A ruler was double-clicked or right-clicked: its spacing is asked for.
  void OnRulerSpacing(bool vertical);

  // --- caret and status ---
  void UpdateCaretAndStatus(BOOL clearCurrent);
  void UpdateCaret();
  void PlaceCaretAfterMove();
  void SetRulerMarker(int viewX);
  void CaretLeft(UINT command);
  void CaretRight(UINT command);
  void CaretUp(bool alt);
  void CaretDown(bool alt);
  void CaretPageDown();
  void CaretPageUp();
  void CaretHome();
  void CaretEnd();
  void CaretTop();
  void CaretToLine(int line);
  void StepCurrentObject(bool forward);
  void MoveCaretToPoint(int x, int y, bool clearSelection, bool force);
  void SetCurrentLineAtY(int viewY);
  int CaretLine() const;
  int CaretY() const;
  int CaretHeight() const { return m_nCaretHeight; }
  // The status line formats the position again on its next refresh.
  void ForgetShownPosition() { m_nShownLine = m_nShownX = -1; }
  int CaretUpdates() const { return m_caretUpdates; }

  // --- selection (the designer's editing builds on these) ---
  // The topmost object at the view point: the current object first, then
  // the item order from the last; null on empty layout.
  ReportItemHead* HitTestObject(int x, int y);
  bool HitTestOne(const ReportItemHead& item, int x, int y) const;
  // The rectangle an object covers with its handles, in view coordinates.
  RECT InflateObjectRect(const ReportItemHead& item, bool handles) const;
  bool ClearSelection();
  void SelectObject(ReportItemHead& item, bool select);
  void MakeObjectCurrent(ReportItemHead* item);
  // Selected items, of any kind (mask 0) or of those kind bits.
  int CountSelected(uint32_t kindMask = 0) const;
  ReportItemHead* FirstSelected() const;
  ReportItemHead* ItemAtCaret() const;
  int MarkedLineCount() const;
  bool UnmarkAllLines();

  // --- popup menus ---
  // The menus as they open (the caller destroys them).
  HMENU BuildObjectPopup();
  HMENU BuildLinePopup();
  void ShowObjectPopupMenu(int x, int y);
  void ShowLinePopupMenu(int x, int y);
  void ShowPopupForSelection();
  void ApplyPopupStates(HMENU menu, BOOL& popupOpen);

  // The caret's x in layout pixels, and the pair the status line last showed (-1: none).
  int m_nCaretX = 0;
  int m_nShownLine = -1;
  int m_nShownX = -1;
  // Whether the last undoable edit was a move (Edit > Undo then undoes it):
  // set and cleared only with the move snapshot below.
  BOOL m_bMoveUndo = FALSE;

  // --- mouse editing (view_mouse.cpp) ---
  bool BeginRubberBand(int x, int y, bool clearSelection);
  void RubberBandStep(int x, int y);
  void UpdateRubberBand(int x, int y);
  // Selects by the band on release; true when an object was toggled.
  bool FinishOutline(int x, int y);
  bool SetHoverCursor(int x, int y);
  void SelectOnly(ReportItemHead& item);
  // The rubber band or the resize outline being dragged (view coordinates;
  // empty when none), drawn dotted over the layout.
  const RECT* DraggedOutline() const;
  bool ButtonDown() const { return m_bLButtonDown != FALSE; }
  void OnMouseMove(WPARAM keys, int x, int y);
  void OnAutoScrollTimer();
  // Esc during a mouse action, or a release outside the view: the layout
  // stays as it was before the press.
  void CancelMouseAction();

  // --- moving the selection (view_move.cpp) ---
  // One entry of the move's undo record: where an object stood before it.
  struct MoveSnapshotEntry {
    ReportItemHead* object;
    uint32_t line;
    int left, top, right, bottom;
  };
  bool BeginObjectDrag(bool byMouse, int x, int y, bool duplicate);
  void MoveStep(int x, int y);
  int SnapMoveX(int x);
  int SnapMoveY(int x, int y, int mode);
  void MoveSelectionLeft(int n, bool scroll);
  void MoveSelectionRight(int n, bool scroll);
  void MoveSelectionUp(int n);
  void MoveSelectionDown(int n);
  void MoveSelectionHome();
  void MoveSelectionEnd();
  void AlignObjects(bool force);
  void MoveObjectBy(ReportItemHead& item, bool scrolled);
  void FinishMouseAction();
  void AutoScrollMove(int x, int y, int stepX, int stepY);
  // The undo record of the last move: Edit > Undo puts every object back
  // where the record has it. One level; a new move replaces it.
  int MoveSnapshotCount() const { return static_cast<int>(m_moveSnapshot.size()); }
  const std::vector<MoveSnapshotEntry>& MoveSnapshot() const { return m_moveSnapshot; }
  bool UndoMove();
  // Dropped whenever an object it names is freed or held (a clear, cut or delete).
  void ForgetMoveSnapshot();
  // The object is about to be freed: the move's undo record lets go of it.
  void ForgetItem(const ReportItemHead& item);

  // --- handle resizing (handle_resize.cpp) ---
  // Handle codes: 1 left, 2 right, 4 top, 8 bottom; corners add two.
  int HitTestHandles(int x, int y, bool start);
  int HandleAt(const ReportItemHead& item, int x, int y) const;
  bool HasWidthHandles(const ReportItemHead& item) const;
  bool TrackHandle(int x, int y);
  bool EndHandleResize();
  bool SetHandleCursor();
  int ActiveHandle() const { return m_tracker.handle; }

  // --- the line and box tools (view_tools.cpp) ---
  // The drawing tool armed: 0 none, 1 box, 0x81 line.
  DWORD ToolMode() const { return m_dwToolMode; }
  void ArmLineOrBoxTool(bool line);
  void CancelLineBoxTool();
  // A new line (kind line) or box from a view rectangle; null when the table is full.
  LineBoxItem* AddLineOrBox(const RECT& viewRect, uint32_t kind);
  LineBoxItem* CreateLineFromDrag(int x1, int y1, int x2, int y2);
  // The line tool's drag: from the anchor to this end (view coordinates).
  bool DraggingLine(POINT* from, POINT* to) const;

  // --- Duplicate Fields, centring and line/box properties (view_duplicate.cpp, line_box_properties.cpp) ---
  // Ctrl+F7: the one selected object centred in the report's width.
  void CentreSelectedObject();
  bool Duplicating() const { return m_bDuplicate; }
  // Format > Properties on lines only or boxes only: the line or box dialog
  // on the current one, its choices given to the others selected; true on OK.
  bool EditLineBoxProperties();
  bool SelectionIsLinesOrBoxes() const;
  void OnDuplicateCommand(UINT id);
  void OnCentreCommand(UINT id);
  void OnPropertiesCommand(UINT id);

  // --- the picture and chart outline tools (outline_tools.cpp) ---
  // Insert > Picture and Insert > Chart: the next drag outlines the new object.
  void ArmOutlineTool(bool chart);
  void CancelOutlineMode();
  void OnOutlineToolCommand(UINT id);
  // The outline dragged with an armed picture or chart tool (view rectangle).
  void FinishToolOutline(const RECT& band);

  // --- drops and handed-over queries (view_drop.cpp) ---
  // The view takes dropped report files, libraries and query descriptors.
  void RegisterDrops();
  // A query descriptor on the system clipboard that Edit > Paste would take:
  // there is one and the designer's own clipboard holds nothing.
  bool QueryToPaste() const;
  // Edit > Paste of that descriptor; false when there is none to take.
  bool PasteQuery();
  // A packed query descriptor starts a new report from its query; false,
  // after the message, when the bytes hold no complete descriptor.
  bool StartReportFromQuery(std::vector<unsigned char> packed);

  // --- in-place text entry (text_entry.cpp) ---
  // Opens the editor at the caret (a new text) or over the current text
  // (first character 0); false when it cannot open.
  bool BeginTextEdit(int firstChar);
  // Alt+Ins, Alt+Del: the items right of the caret on its text line move one
  // step right or left; false (nothing moved) when one would leave the layout.
  bool InsertSpace();
  bool DeleteSpace();
  int SpaceStep(const ReportItemHead& item, bool right);
  int CountItemsRightOfCaret(bool* blocked);
  void ShiftItemsAtCaret(bool right);
  bool ShiftsAtCaret(const ReportItemHead& item, int x);
  // Insert > Text File: the lines as texts from the caret down; the count placed.
  int InsertTextLines(const std::vector<std::string>& lines);
  // Typing starts a text only left of the layout's last column.
  bool CaretColumnHasRoom() const;
  // Closes the editor, storing its text first with commit; false when that
  // store failed (the typed text is lost, the report is as it was).
  bool EndTextEdit(bool commit);
  CEditText* TextEditor() const { return m_pEditor.get(); }
  const TextItem* EditedText() const { return m_pEditedText; }
  // The editor shows the style the text it edits now has.
  void ShowEditedTextStyle();

 private:
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void OnLButtonDown(WPARAM keys, int x, int y);
  void OnLButtonUp(int x, int y);
  void OnLButtonDblClk(WPARAM keys, int x, int y);
  void OnRButtonDown(int x, int y);
  void OnSize();
  bool Guards() const;
  bool Beep();
  void DestroyCaretIfOwned();
  // After the caret jumped: every pane when the view scrolled, else the band pane; then the hub.
  void RedrawAfterJump(bool scrolled);


 public:
  // Command handlers and update handlers, reached through the command map (view_commands.cpp).
  void OnCaretKey(UINT id);
  void OnScrollKey(UINT id);
  void OnTabKey(UINT id);
  void OnSpaceKey(UINT id);
  void OnMarkKey(UINT id);
  void OnEscapeKey(UINT id);
  void OnSpaceCommand(UINT id);
  void OnPasteTextCommand(UINT id);
  void OnPopupKey(UINT id);
  void OnViewToggle(UINT id);
  void OnMoveCommand(UINT id);
  void OnToolCommand(UINT id);
  void OnEditTextCommand(UINT id);
  void OnUpdateAlways(CCmdUI* ui);
  void OnUpdateReport(CCmdUI* ui);
  void OnUpdateInsertChart(CCmdUI* ui);
  void OnUpdateIdleKeys(CCmdUI* ui);
  void OnUpdateItemKeys(CCmdUI* ui);
  void OnUpdateViewToggle(CCmdUI* ui);
  void OnUpdateUndo(CCmdUI* ui);
  void OnUpdateEditItems(CCmdUI* ui);
  void OnUpdatePaste(CCmdUI* ui);
  void OnUpdateSelection(CCmdUI* ui);
  void OnUpdateFont(CCmdUI* ui);
  void OnUpdateProperties(CCmdUI* ui);
  // Whether Format > Properties has a dialog for the selection: one item, or
  // items of one kind that share one (fields of one type, texts, boxes, lines).
  bool SelectionHasProperties() const;
  void OnUpdateAlignment(CCmdUI* ui);
  void OnUpdateExpression(CCmdUI* ui);
  void OnUpdateLines(CCmdUI* ui);
  void OnUpdateInsertLine(CCmdUI* ui);
  void OnUpdateMasterTable(CCmdUI* ui);
  void OnUpdateNotSql(CCmdUI* ui);
  void OnUpdatePrint(CCmdUI* ui);
  void OnUpdateOleOne(CCmdUI* ui);
  void OnUpdateNever(CCmdUI* ui);
  // Edit > Undo, Cut, Copy, Paste, Clear; the band-line commands; pictures (view_editing.cpp).
  void OnEditCommand(UINT id);
  void OnLineCommand(UINT id);
  // Format > Band Line Justify (line_justify.cpp).
  void OnJustifyLines(UINT id);
  void OnPictureCommand(UINT id);
  void OnUpdateSavePicture(CCmdUI* ui);
  void OnUpdateClearOrUndo(CCmdUI* ui);
  void OnUpdatePasteImage(CCmdUI* ui);
  static const CommandMapEntry<CKmView>* FindCommand(UINT id);

 private:

  KmDocBase* m_pDoc = nullptr;
  DesignerHost m_noHost;
  DesignerHost* m_pHost = &m_noHost;
  CBandView* m_pBandView = nullptr;
  CRulerView* m_pRulerView = nullptr;
  HWND m_hHScroll = nullptr;
  HWND m_hVScroll = nullptr;
  HWND m_hEditor = nullptr;  // the in-place text editor while it is open
  std::unique_ptr<CEditText> m_pEditor;
  TextItem* m_pEditedText = nullptr;  // null: a new text at the caret
  RECT m_rcEditor{0, 0, 0, 0};
  bool CommitTextEdit(bool* relaid);
  // A new left-aligned text of n characters at the caret; null after the memory message.
  TextItem* PlaceNewText(const char* text, int n);
  int FitTextToLayoutWidth(const char* text, int length, int left, HFONT font);

  // The move state.
  int m_nScrollXAtStep = 0, m_nScrollYAtStep = 0;
  int m_nPendingDx = 0, m_nPendingDy = 0;
  ReportItemHead* m_pTopmost = nullptr;
  ReportItemHead* m_pBottommost = nullptr;
  ReportItemHead* m_pLeftmost = nullptr;
  ReportItemHead* m_pRightmost = nullptr;
  std::vector<MoveSnapshotEntry> m_moveSnapshot;
  int m_nLastX = 0, m_nLastY = 0;
  int m_nGrabX = 0, m_nGrabY = 0;
  bool m_bLineShift = false;
  bool m_bDuplicate = false;  // the move runs on copies made by Duplicate Fields
  bool m_bAutoScrollTimer = false;
  WPARAM m_wMouseKeys = 0;  // the key bits of the last mouse message
  POINT m_ptOutside{0, 0};
  bool AllOnAutoLines() const;
  void RestoreMoveSnapshot();
  // The band line at layout y, counting the unused lines below the last used
  // one at their laid-out heights (moves and resizes may reach them).
  int LineUnder(int layoutY) const;
  bool SnapsToLines(const ReportItemHead& item) const;
  int NextLineStep(bool down) const;
  void FindReferenceObjects();
  void SetAutoScroll(bool on, int x, int y);

  // The rubber band.
  int m_nAnchorX = 0, m_nAnchorY = 0;
  POINT m_ptLineEnd{0, 0};
  DWORD m_dwToolMode = 0;
  WORD m_wLineBorders = 0;  // the line tool's remembered borders word
  int SnapToolY(int viewY, int autoMode) const;
  RECT m_rcBand{0, 0, 0, 0};

  // The resize tracker: which handle, the outline, the object.
  struct Tracker {
    int handle = 0;
    RECT outline{0, 0, 0, 0};
    ReportItemHead* object = nullptr;
  } m_tracker;

 public:
  // Drawing objects made with the view.
  HPEN m_hDotPen = nullptr;
  HPEN m_hDashDotPen = nullptr;
  HPEN m_hGreyPen = nullptr;
  HPEN m_hDashPen = nullptr;  // the new-page guides' pen, made on first use

 private:
  BOOL m_bObjectPopupOpen = FALSE;
  BOOL m_bLinePopupOpen = FALSE;
  POINT m_ptRButton{0, 0};
  BOOL m_bLButtonDown = FALSE;
  bool m_bCtrlPress = false;
  BOOL m_bRButtonDown = FALSE;
  RECT m_rcInvalid{0, 0, 0, 0};
  int m_nCaretHeight = 0;
  int m_caretUpdates = 0;
  std::unique_ptr<LayoutHooks> m_pLayoutHooks;  // what the layout tables ask of this view
  std::unique_ptr<BandLineHost> m_pBandLineHost;  // and the band-line table
  std::unique_ptr<DropTarget> m_pDropTarget;  // while the window is registered for drops

 public:
  void InstallLayoutHooks();
};
