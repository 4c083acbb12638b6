// The view's commands: the gate in front of every command, the command map
// with each command's update handler (enable state, check mark, text), the
// layout's keys (table LayoutKeys) and the popup menus.
#include "designer/band_view.h"
#include "designer/design_view.h"
#include "designer/layout_editing.h"
#include "designer/paste_image.h"
#include "dialogs/edit_text.h"
#include "foundation/doc_base.h"
#include "layout/layout_helpers.h"
#include "layout/fonts.h"
#include "platform/win/beep.h"
#include "platform/win/dialog.h"
#include "platform/win/menu.h"
#include "platform/win/resources.h"

#include <cstdio>
#include <map>

namespace {
enum : UINT {
  kCmdUp = 20000, kCmdDown = 20001, kCmdPageUp = 20002, kCmdPageDown = 20003, kCmdHome = 20004, kCmdEnd = 20005,
  kCmdLeft = 20006, kCmdRight = 20007, kCmdCtrlLeft = 20008, kCmdCtrlRight = 20009, kCmdTab = 20014,
  kCmdShiftTab = 20015, kCmdCtrlSpace = 20016, kCmdSpace = 20017, kCmdScrollPageDown = 20020,
  kCmdScrollPageUp = 20021, kCmdScrollLeft = 20022, kCmdScrollRight = 20023, kCmdScrollPageLeft = 20024,
  kCmdScrollPageRight = 20025, kCmdScrollUp = 20026, kCmdScrollDown = 20027, kCmdScrollFarLeft = 20028,
  kCmdScrollFarRight = 20029, kCmdTop = 20030, kCmdBottom = 20031, kCmdInsertSpace = 20032,
  kCmdDeleteSpace = 20033, kCmdCentre = 20044, kCmdEscape = 20045, kCmdEnter = 20046, kCmdMarkLines = 20050,
  kCmdPtSizeEnter = 20060, kCmdPtSizeEscape = 20062, kCmdFieldDialog = 20078, kCmdPasteText = 20100,
  kCmdAltUp = 20104, kCmdAltDown = 20108, kCmdAltLeft = 20112, kCmdAltRight = 20116, kCmdPopup = 20118,
  kCmdSnap = 20212, kCmdClearOrUndo = 20210, kCmdExpression = 25018,
  kCmdProperties = 30028, kCmdClose = 30000, kCmdPrint = 30030, kCmdPrintBar = 30031, kCmdPreview = 30040,
  kCmdUndo = 30100, kCmdCut = 30110, kCmdCopy = 30120, kCmdPaste = 30130, kCmdClear = 30140,
  kCmdMoveFields = 30150, kCmdDuplicate = 30160, kCmdPasteImage = 30170, kCmdToolbars = 30202,
  kCmdFieldNames = 30204, kCmdRulerSpacing = 30206, kCmdHRuler = 30210, kCmdVRuler = 30212, kCmdGrid = 30214,
  kCmdInsertField = 30400, kCmdInsertLine = 30410, kCmdCreateLines = 30420, kCmdTextFile = 30430,
  kCmdLineTool = 30440, kCmdBoxTool = 30450, kCmdPicture = 30460, kCmdChart = 30470, kCmdAlignment = 30500,
  kCmdFont = 30502, kCmdObjectProperties = 30504, kCmdLineProperties = 30508, kCmdJustify = 30510,
  kCmdRecordLayout = 30514, kCmdMaster = 30600, kCmdMasterBar = 30601, kCmdJoins = 30610, kCmdSort = 30620,
  kCmdGroups = 30630, kCmdFilter = 30640, kCmdShowSql = 30650, kCmdLimit = 30660, kCmdCalc = 30700,
  kCmdTotal = 30710, kCmdUdf = 30720, kCmdPurge = 30730, kCmdAutoTotal = 30740, kCmdEditText = 32771,
  kCmdSavePicture = 32774, kCmdDefaults = 32018, kCmdPreferences = 32020, kCmdFileSettings = 32022,
  kCmdChartSettings = 32025, kCmdExit = 32016, kCmdPasteSpecial = 57639, kCmdInsertObject = 57856
};

constexpr uint32_t kTextLikeKinds = kItemKindField;
constexpr uint32_t kNotTextKinds = 0x7D0;
}  // namespace

using Entry = CommandMapEntry<CKmView>;

// The layout's commands. A row without a handler leaves the command to the
// document, the frame or the dialogs; the view only gives its enable rule.
static const Entry kCommandMap[] = {
    {kCmdUp, kCmdEnd, &CKmView::OnCaretKey, &CKmView::OnUpdateReport},
    {kCmdLeft, kCmdCtrlRight, &CKmView::OnCaretKey, &CKmView::OnUpdateReport},
    {kCmdAltUp, kCmdAltUp, &CKmView::OnCaretKey, &CKmView::OnUpdateReport},
    {kCmdAltDown, kCmdAltDown, &CKmView::OnCaretKey, &CKmView::OnUpdateReport},
    {kCmdAltLeft, kCmdAltLeft, &CKmView::OnCaretKey, &CKmView::OnUpdateReport},
    {kCmdAltRight, kCmdAltRight, &CKmView::OnCaretKey, &CKmView::OnUpdateReport},
    {kCmdTop, kCmdBottom, &CKmView::OnCaretKey, &CKmView::OnUpdateIdleKeys},
    {kCmdScrollPageDown, kCmdScrollFarRight, &CKmView::OnScrollKey, &CKmView::OnUpdateIdleKeys},
    {kCmdTab, kCmdShiftTab, &CKmView::OnTabKey, &CKmView::OnUpdateIdleKeys},
    {kCmdCtrlSpace, kCmdSpace, &CKmView::OnSpaceKey, &CKmView::OnUpdateItemKeys},
    {kCmdMarkLines, kCmdMarkLines, &CKmView::OnMarkKey, &CKmView::OnUpdateIdleKeys},
    {kCmdEscape, kCmdEnter, &CKmView::OnEscapeKey, &CKmView::OnUpdateReport},
    {kCmdPopup, kCmdPopup, &CKmView::OnPopupKey, nullptr},
    {kCmdInsertSpace, kCmdDeleteSpace, &CKmView::OnSpaceCommand, &CKmView::OnUpdateItemKeys},
    {kCmdCentre, kCmdCentre, &CKmView::OnCentreCommand, &CKmView::OnUpdateItemKeys},
    {kCmdFieldDialog, kCmdFieldDialog, nullptr, &CKmView::OnUpdateItemKeys},
    {kCmdPasteText, kCmdPasteText, &CKmView::OnPasteTextCommand, &CKmView::OnUpdateReport},
    {kCmdPtSizeEnter, kCmdPtSizeEnter, nullptr, nullptr},
    {kCmdPtSizeEscape, kCmdPtSizeEscape, nullptr, nullptr},
    {kCmdHRuler, kCmdHRuler, &CKmView::OnViewToggle, &CKmView::OnUpdateViewToggle},
    {kCmdVRuler, kCmdVRuler, &CKmView::OnViewToggle, &CKmView::OnUpdateViewToggle},
    {kCmdGrid, kCmdGrid, &CKmView::OnViewToggle, &CKmView::OnUpdateViewToggle},
    {kCmdFieldNames, kCmdFieldNames, &CKmView::OnViewToggle, &CKmView::OnUpdateViewToggle},
    {kCmdSnap, kCmdSnap, &CKmView::OnViewToggle, &CKmView::OnUpdateViewToggle},
    {kCmdProperties, kCmdProperties, nullptr, &CKmView::OnUpdateReport},
    {kCmdClose, kCmdClose, nullptr, &CKmView::OnUpdateReport},
    {kCmdExit, kCmdExit, nullptr, &CKmView::OnUpdateAlways},
    {kCmdPrint, kCmdPrintBar, nullptr, &CKmView::OnUpdatePrint},
    {kCmdPreview, kCmdPreview, nullptr, &CKmView::OnUpdatePrint},
    {kCmdUndo, kCmdUndo, &CKmView::OnEditCommand, &CKmView::OnUpdateUndo},
    {kCmdCut, kCmdCopy, &CKmView::OnEditCommand, &CKmView::OnUpdateEditItems},
    {kCmdPaste, kCmdPaste, &CKmView::OnEditCommand, &CKmView::OnUpdatePaste},
    {kCmdClear, kCmdClear, &CKmView::OnEditCommand, &CKmView::OnUpdateEditItems},
    {kCmdClearOrUndo, kCmdClearOrUndo, &CKmView::OnEditCommand, &CKmView::OnUpdateClearOrUndo},
    {kCmdPasteImage, kCmdPasteImage, &CKmView::OnPictureCommand, &CKmView::OnUpdatePasteImage},
    {kCmdPasteSpecial, kCmdPasteSpecial, nullptr, &CKmView::OnUpdateNever},
    {kCmdMoveFields, kCmdMoveFields, &CKmView::OnMoveCommand, &CKmView::OnUpdateSelection},
    {kCmdDuplicate, kCmdDuplicate, &CKmView::OnDuplicateCommand, &CKmView::OnUpdateSelection},
    {kCmdInsertObject, kCmdInsertObject, nullptr, &CKmView::OnUpdateNever},
    {kCmdToolbars, kCmdToolbars, nullptr, &CKmView::OnUpdateReport},
    {kCmdInsertField, kCmdInsertField, nullptr, &CKmView::OnUpdateReport},
    {kCmdInsertLine, kCmdCreateLines, &CKmView::OnLineCommand, &CKmView::OnUpdateInsertLine},
    {kCmdTextFile, kCmdTextFile, nullptr, &CKmView::OnUpdateReport},
    {kCmdLineTool, kCmdBoxTool, &CKmView::OnToolCommand, &CKmView::OnUpdateReport},
    {kCmdPicture, kCmdPicture, &CKmView::OnOutlineToolCommand, &CKmView::OnUpdateReport},
    {kCmdChart, kCmdChart, &CKmView::OnOutlineToolCommand, &CKmView::OnUpdateInsertChart},
    {kCmdAlignment, kCmdAlignment, nullptr, &CKmView::OnUpdateAlignment},
    {kCmdFont, kCmdFont, nullptr, &CKmView::OnUpdateFont},
    {kCmdObjectProperties, kCmdObjectProperties, &CKmView::OnPropertiesCommand, &CKmView::OnUpdateProperties},
    {kCmdSavePicture, kCmdSavePicture, &CKmView::OnPictureCommand, &CKmView::OnUpdateSavePicture},
    {kCmdLineProperties, kCmdLineProperties, &CKmView::OnLineCommand, &CKmView::OnUpdateLines},
    {kCmdJustify, kCmdJustify, &CKmView::OnJustifyLines, &CKmView::OnUpdateLines},
    {kCmdLineProperties, kCmdJustify, nullptr, &CKmView::OnUpdateLines},
    {kCmdRecordLayout, kCmdRecordLayout, nullptr, &CKmView::OnUpdateReport},
    {kCmdRulerSpacing, kCmdRulerSpacing, nullptr, &CKmView::OnUpdateReport},
    {kCmdPreferences, kCmdPreferences, nullptr, &CKmView::OnUpdateAlways},
    {kCmdDefaults, kCmdDefaults, nullptr, &CKmView::OnUpdateAlways},
    {kCmdChartSettings, kCmdChartSettings, nullptr, &CKmView::OnUpdateAlways},
    {kCmdFileSettings, kCmdFileSettings, nullptr, &CKmView::OnUpdateAlways},
    {kCmdMaster, kCmdMasterBar, nullptr, &CKmView::OnUpdateMasterTable},
    {kCmdJoins, kCmdSort, nullptr, &CKmView::OnUpdateNotSql},
    {kCmdGroups, kCmdLimit, nullptr, &CKmView::OnUpdateReport},
    {kCmdCalc, kCmdUdf, nullptr, &CKmView::OnUpdateReport},
    {kCmdPurge, kCmdAutoTotal, nullptr, &CKmView::OnUpdateReport},
    {kCmdExpression, kCmdExpression, nullptr, &CKmView::OnUpdateExpression},
    {kCmdEditText, kCmdEditText, &CKmView::OnEditTextCommand, &CKmView::OnUpdateSelection},
};

const CommandMapEntry<CKmView>* CKmView::FindCommand(UINT id) { return FindCommandEntry(kCommandMap, id); }

BOOL CKmView::OnCommand(UINT id) {
  // While output runs the designer takes no command at all.
  if (OutputRunning()) return TRUE;
  if (ReportFlag() || (id >= 32000 && id <= 32999)) {
    if ((Mode() & kModeMarkByKeys) && !(id >= kCmdUp && id <= kCmdPageDown)) {
      if (m_pBandView) m_pBandView->EndMarking(false);
      if (id == kCmdMarkLines) return TRUE;
    }
  }
  if (!ReportFlag()) m_pHost->ShowReportName();
  const Entry* e = FindCommand(id);
  if (e == nullptr || e->command == nullptr) return FALSE;
  if (e->update != nullptr && !IsCommandEnabled(id)) return TRUE;
  (this->*(e->command))(id);
  return TRUE;
}

BOOL CKmView::UpdateCommand(CCmdUI* ui) {
  const Entry* e = FindCommand(ui->m_nID);
  if (e == nullptr || e->update == nullptr) return FALSE;
  (this->*(e->update))(ui);
  return TRUE;
}

BOOL CKmView::IsCommandEnabled(UINT id) {
  CCmdUI ui(id);
  if (!UpdateCommand(&ui)) return TRUE;
  return ui.m_bEnabled;
}

// --- handlers ---

void CKmView::OnCaretKey(UINT id) {
  // The keyboard move of the selection takes these keys while it runs.
  if (Mode() & kModeKeyMove) {
    const int cell = CellWidth();
    switch (id) {
      case kCmdLeft: case kCmdAltLeft: MoveSelectionLeft(cell, true); break;
      case kCmdCtrlLeft: MoveSelectionLeft(cell * 5, true); break;
      case kCmdRight: case kCmdAltRight: MoveSelectionRight(cell, true); break;
      case kCmdCtrlRight: MoveSelectionRight(cell * 5, true); break;
      case kCmdUp: case kCmdAltUp: MoveSelectionUp(LinePitch()); break;
      case kCmdDown: case kCmdAltDown: MoveSelectionDown(LinePitch()); break;
      case kCmdHome: MoveSelectionHome(); break;
      case kCmdEnd: MoveSelectionEnd(); break;
      default: break;
    }
    return;
  }
  // Any other mouse action leaves the caret alone.
  if (Mode() & kModeMouseAction & ~kModeMarkByMouse) return;
  switch (id) {
    case kCmdLeft: case kCmdAltLeft: case kCmdCtrlLeft: CaretLeft(id); break;
    case kCmdRight: case kCmdAltRight: case kCmdCtrlRight: CaretRight(id); break;
    case kCmdUp: CaretUp(false); break;
    case kCmdAltUp: CaretUp(true); break;
    case kCmdDown: CaretDown(false); break;
    case kCmdAltDown: CaretDown(true); break;
    case kCmdPageDown: CaretPageDown(); break;
    case kCmdPageUp: CaretPageUp(); break;
    case kCmdHome: CaretHome(); break;
    case kCmdEnd: CaretEnd(); break;
    case kCmdTop: CaretTop(); break;
    case kCmdBottom: CaretToLine(LastUsedLine() + 1); break;
    default: return;
  }
  if ((Mode() & kModeMarkByKeys) && m_pBandView &&
      (id == kCmdUp || id == kCmdDown || id == kCmdPageUp || id == kCmdPageDown))
    m_pBandView->ExtendMarking(CaretLine());
}

void CKmView::OnScrollKey(UINT id) {
  switch (id) {
    case kCmdScrollPageDown: VScrollLayout(SB_PAGEDOWN, 0); break;
    case kCmdScrollPageUp: VScrollLayout(SB_PAGEUP, 0); break;
    case kCmdScrollUp: VScrollLayout(SB_LINEUP, 0); break;
    case kCmdScrollDown: VScrollLayout(SB_LINEDOWN, 0); break;
    case kCmdScrollLeft: HScrollLayout(SB_LINELEFT, 0); break;
    case kCmdScrollRight: HScrollLayout(SB_LINERIGHT, 0); break;
    case kCmdScrollPageLeft: HScrollLayout(SB_PAGELEFT, 0); break;
    case kCmdScrollPageRight: HScrollLayout(SB_PAGERIGHT, 0); break;
    case kCmdScrollFarLeft: HScrollLayout(SB_LEFT, 0); break;
    case kCmdScrollFarRight: HScrollLayout(SB_RIGHT, 0); break;
    default: break;
  }
}

// Tab moves the current object only: the selection stays as it is.
void CKmView::OnTabKey(UINT id) { StepCurrentObject(id == kCmdTab); }

void CKmView::OnSpaceKey(UINT id) {
  if (EditorOpen()) return;
  ReportItemHead* item = ItemAtCaret();
  if (item == nullptr) {
    // A blank where no object is starts a text there.
    if (id == kCmdSpace && !BeginTextEdit(' ')) MessageBeep(0);
    return;
  }
  const bool wasSelected = (item->flags & kItemSelected) != 0;
  if (id == kCmdSpace) ClearSelection();
  SelectObject(*item, !wasSelected);
  MakeObjectCurrent(item);
  m_pHost->UpdateFormatBar();
}

void CKmView::OnMarkKey(UINT) {
  if (m_pBandView == nullptr) return;
  if (Mode() & kModeMarkByKeys)
    m_pBandView->EndMarking(false);
  else
    m_pBandView->BeginKeyboardMarking(true);
}

void CKmView::OnMoveCommand(UINT) {
  if (Mode() & (kModeMouseAction | kModeKeyMove)) return;
  BeginObjectDrag(false, 0, 0, false);
}

void CKmView::OnEditTextCommand(UINT) {
  if (!BeginTextEdit(0)) MessageBeep(0);
}

void CKmView::OnEscapeKey(UINT id) {
  // Enter and Esc end a key move, the objects staying where they are.
  if (Mode() & kModeKeyMove) {
    FinishMouseAction();
    return;
  }
  // Esc during a mouse action puts everything back as it was at the press.
  if (id == kCmdEscape && (Mode() & (kModeMoveSelection | kModeRubberBand | kModeGraphicResize |
                                     kModeLineBoxResize | kModeFieldWidth))) {
    CancelMouseAction();
    return;
  }
  if (id != kCmdEscape || Mode() != 0 || m_bLButtonDown || m_bRButtonDown) return;
  CancelLineBoxTool();
  const bool changed = ClearSelection() | UnmarkAllLines();
  if (changed) RedrawAllPanes();
  m_pHost->UpdateFormatBar();
  UpdateCaretAndStatus(FALSE);
}

void CKmView::OnPopupKey(UINT) { ShowPopupForSelection(); }

void CKmView::OnSpaceCommand(UINT id) {
  if (!ReportOpen()) return;
  if (!(id == kCmdInsertSpace ? InsertSpace() : DeleteSpace())) MessageBeep(0);
}

void CKmView::OnPasteTextCommand(UINT) {
  if (ReportOpen()) PasteClipboardTextToFocus(m_pEditor ? m_pEditor->Window() : nullptr);
}

void CKmView::OnViewToggle(UINT id) {
  if (m_pDoc == nullptr) return;
  DocSettings& s = m_pDoc->m_settings;
  switch (id) {
    case kCmdHRuler: ToggleHorizontalRuler(); break;
    case kCmdVRuler: ToggleVerticalRuler(); break;
    case kCmdGrid:
      InvalidateRect(m_hWnd, nullptr, TRUE);
      s.shGrd = s.shGrd ? 0 : 1;
      UpdateWindow(m_hWnd);
      UpdateCaretAndStatus(FALSE);
      break;
    case kCmdFieldNames:
      s.fieldNames = s.fieldNames ? 0 : 1;
      InvalidateRect(m_hWnd, nullptr, TRUE);
      m_pHost->ShowPrompt(Layout() ? Layout()->currentItem : nullptr);
      break;
    case kCmdSnap:
      s.snapTo = s.snapTo ? 0 : 1;
      if (Layout()) Layout()->metrics.snapping = s.snapTo != 0;
      m_pHost->UpdateFormatBar();
      UpdateCaretAndStatus(FALSE);
      break;
    default: break;
  }
}

// --- update handlers: R report open, E no in-place entry, I idle, N no mouse action ---

void CKmView::OnUpdateAlways(CCmdUI* ui) { ui->Enable(!EditorOpen()); }
void CKmView::OnUpdateReport(CCmdUI* ui) { ui->Enable(ReportFlag() && !EditorOpen()); }
// Charts only where the document said, when the report was opened or made, that they can be placed.
void CKmView::OnUpdateInsertChart(CCmdUI* ui) {
  ui->Enable(ReportFlag() && !EditorOpen() && m_pDoc != nullptr && m_pDoc->m_nChartWord != 0);
}
void CKmView::OnUpdateIdleKeys(CCmdUI* ui) {
  ui->Enable(ReportFlag() && !EditorOpen() && (Mode() & kModeMouseAction) == 0);
}
void CKmView::OnUpdateItemKeys(CCmdUI* ui) { ui->Enable(ReportFlag() && !EditorOpen() && Mode() == 0); }
void CKmView::OnUpdateNever(CCmdUI* ui) { ui->Enable(FALSE); }

void CKmView::OnUpdateViewToggle(CCmdUI* ui) {
  OnUpdateReport(ui);
  if (m_pDoc == nullptr || !ReportFlag()) return;
  const DocSettings& s = m_pDoc->m_settings;
  int check = 0;
  switch (ui->m_nID) {
    case kCmdHRuler: check = s.shHzRul; break;
    case kCmdVRuler: check = s.shVtRul; break;
    case kCmdGrid: check = s.shGrd; break;
    case kCmdFieldNames: check = s.fieldNames; break;
    case kCmdSnap: check = SnapOn(); break;
    default: break;
  }
  ui->SetCheck(check ? 1 : 0);
}

void CKmView::OnUpdateUndo(CCmdUI* ui) {
  const int forwarded = m_pHost->ForwardUpdate(ui->m_nID);
  const bool held = Layout() != nullptr && CanUndoClear(*Layout());
  const bool on = ReportFlag() && !EditorOpen() && Mode() == 0 && (m_bMoveUndo || held || forwarded == 1);
  ui->Enable(on);
  ui->SetText(LoadResString(on ? (m_bMoveUndo ? 831 : 91) : 119).c_str());
}

void CKmView::OnUpdateClearOrUndo(CCmdUI* ui) {
  const bool held = Layout() != nullptr && CanUndoClear(*Layout());
  ui->Enable(ReportFlag() && !EditorOpen() && Mode() == 0 && (CountSelected() > 0 || MarkedLineCount() > 0 || held));
}

void CKmView::OnUpdatePasteImage(CCmdUI* ui) { ui->Enable(CanPasteClipboardImage(ReportFlag(), EditorOpen())); }

void CKmView::OnUpdateSavePicture(CCmdUI* ui) {
  // The one selected picture (OLE items have no presentation this program can write).
  const ReportItemHead* one = CountSelected() == 1 ? FirstSelected() : nullptr;
  ui->Enable(ReportFlag() && !EditorOpen() && one != nullptr && (one->flags & kItemKindPicture) != 0);
}

void CKmView::OnUpdateEditItems(CCmdUI* ui) {
  const bool items = CountSelected() > 0 && !m_bLinePopupOpen;
  const bool lines = MarkedLineCount() > 0 && !m_bObjectPopupOpen;
  ui->Enable(ReportFlag() && !EditorOpen() && (items || lines));
  if (ui->m_nID != kCmdClear || m_bObjectPopupOpen || m_bLinePopupOpen) return;
  std::string word;
  if (CountSelected() == 1) {
    const ReportItemHead* one = FirstSelected();
    const uint32_t k = one ? one->flags : 0;
    word = (k & kItemKindPicture) ? LoadResString(176)
           : (k & kItemKindBox)   ? LoadResString(175)
           : (k & kItemKindOle)   ? LoadResString(7001)
           : (k & kItemKindChart) ? LoadResString(7044)
                                  : std::string();
  }
  char text[128];
  std::snprintf(text, sizeof text, LoadResString(115).c_str(), word.c_str());
  ui->SetText(text);
}

void CKmView::OnUpdatePaste(CCmdUI* ui) {
  const LayoutTables* t = Layout();
  const bool lines = t != nullptr && ClipboardHoldsLines(*t);
  const bool items = t != nullptr && ClipboardHoldsItems(*t);
  const bool holds = lines || items || m_pHost->ForwardUpdate(ui->m_nID) == 1;
  ui->Enable((ReportFlag() && !EditorOpen() && holds) || QueryToPaste());
  if (!m_bObjectPopupOpen && !m_bLinePopupOpen) ui->SetText(LoadResString(lines ? 78 : items ? 105 : 76).c_str());
}

void CKmView::OnUpdateSelection(CCmdUI* ui) {
  bool on = ReportFlag() && !EditorOpen() && CountSelected() > 0;
  if (ui->m_nID == kCmdEditText) {
    const ReportItemHead* current = Layout() ? Layout()->currentItem : nullptr;
    on = on && CountSelected() == 1 && current != nullptr && !(current->flags & kNotTextKinds);
  }
  ui->Enable(on);
}

void CKmView::OnUpdateFont(CCmdUI* ui) {
  const bool fonts = m_pDoc && m_pDoc->m_pFonts && !m_pDoc->m_pFonts->table.empty();
  const int textLike = CountSelected() - CountSelected(kItemGraphicKinds);
  ui->Enable(ReportFlag() && !EditorOpen() && textLike > 0 && fonts);
}

void CKmView::OnUpdateProperties(CCmdUI* ui) {
  ui->Enable(ReportFlag() && !EditorOpen() && (MarkedLineCount() > 0 || SelectionHasProperties()));
}

bool CKmView::SelectionHasProperties() const {
  const int n = CountSelected();
  if (n <= 1) return n == 1;
  // Boxes only or lines only share their dialog; pictures, charts and
  // objects have one each.
  const int boxes = CountSelected(kItemKindBox), lines = CountSelected(kItemKindLine);
  if (boxes != 0) return boxes == n;
  if (lines != 0) return lines == n;
  if (CountSelected(kItemKindPicture | kItemKindOle | kItemKindChart) != 0) return false;
  // Texts and fields: texts alone, or fields all of one type.
  LayoutTables* t = Layout();
  if (t == nullptr) return false;
  int texts = 0;
  std::map<uint32_t, int> fieldKinds;
  ForEachLayoutItem(*t, [&](ReportItemHead& h) {
    if (!(h.flags & kItemSelected)) return;
    if (h.flags & kItemKindField)
      ++fieldKinds[reinterpret_cast<const FieldDef&>(h).flags & (kFieldNumeric | kFieldDate | kFieldDateTime | kFieldTime)];
    else
      ++texts;
  });
  if (texts != 0) return texts == n;
  return fieldKinds.size() == 1;
}

void CKmView::OnUpdateAlignment(CCmdUI* ui) {
  // The one selected line, box or picture (the popup offers it only for those).
  const ReportItemHead* one = CountSelected() == 1 ? FirstSelected() : nullptr;
  ui->Enable(ReportFlag() && !EditorOpen() && one != nullptr &&
             (one->flags & (kItemKindLine | kItemKindBox | kItemKindPicture)) != 0);
}

void CKmView::OnUpdateExpression(CCmdUI* ui) {
  const ReportItemHead* current = Layout() ? Layout()->currentItem : nullptr;
  bool on = false;
  if (current && (current->flags & kItemKindField)) {
    const FieldDef& f = reinterpret_cast<const FieldDef&>(*current);
    on = ((f.flags & 8) != 0 || f.totalFlags != 0) && (f.flags3word & 1) == 0;
  }
  ui->Enable(ReportFlag() && !EditorOpen() && on);
}

void CKmView::OnUpdateLines(CCmdUI* ui) { ui->Enable(ReportFlag() && MarkedLineCount() > 0 && !EditorOpen()); }

void CKmView::OnUpdateInsertLine(CCmdUI* ui) {
  const BandLineRec* last = Line(kBandLineCount - 1);
  ui->Enable(ReportFlag() && !EditorOpen() && last != nullptr && last->kind == kBandFree &&
             CaretLine() < kBandLineCount - 1);
}

void CKmView::OnUpdateMasterTable(CCmdUI* ui) {
  OnUpdateReport(ui);
  ui->SetText(LoadResString(ReportFlag() && m_pHost->IsSqlReport() ? 1031 : 1030).c_str());
}

void CKmView::OnUpdateNotSql(CCmdUI* ui) { ui->Enable(ReportFlag() && !EditorOpen() && !m_pHost->IsSqlReport()); }

void CKmView::OnUpdatePrint(CCmdUI* ui) { ui->Enable(ReportFlag() && !EditorOpen() && m_pHost->CanPrint()); }

void CKmView::OnUpdateOleOne(CCmdUI* ui) {
  ui->Enable(ReportFlag() && CountSelected() == 1 && CountSelected(kItemKindOle) == 1);
}

// --- popup menus ---

namespace {
void Append(HMENU menu, UINT id, UINT text) { AppendMenuA(menu, MF_STRING, id, LoadResString(text).c_str()); }
void Separator(HMENU menu) { AppendMenuA(menu, MF_SEPARATOR, 0, nullptr); }

}  // namespace

// Sets each item's state by the view's update handlers as the menu opens,
// with the popup's own flag up (the edit commands look at it).
void CKmView::ApplyPopupStates(HMENU menu, BOOL& popupOpen) {
  const BOOL was = popupOpen;
  popupOpen = TRUE;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    const UINT id = GetMenuItemID(menu, i);
    if (id == 0 || id == kMenuItemMissing) continue;
    CCmdUI ui(id);
    if (!UpdateCommand(&ui)) continue;
    EnableMenuItem(menu, static_cast<UINT>(i), MF_BYPOSITION | (ui.m_bEnabled ? MF_ENABLED : MF_GRAYED));
  }
  popupOpen = was;
}

HMENU CKmView::BuildObjectPopup() {
  HMENU menu = CreatePopupMenu();
  Append(menu, kCmdCut, 8201);
  Append(menu, kCmdCopy, 8202);
  Append(menu, kCmdPaste, 8203);
  Append(menu, kCmdClear, 8204);
  Separator(menu);
  Append(menu, kCmdFont, 8205);
  Append(menu, kCmdExpression, 8206);
  Separator(menu);
  const ReportItemHead* current = Layout() ? Layout()->currentItem : nullptr;
  if (current && (current->flags & kItemGraphicKinds)) Append(menu, kCmdAlignment, 8207);
  Append(menu, kCmdObjectProperties, 8208);
  // OLE objects have no server to offer verbs here: only their picture can be saved.
  const ReportItemHead* one = CountSelected() == 1 ? FirstSelected() : nullptr;
  if (one && (one->flags & (kItemKindOle | kItemKindPicture))) Append(menu, kCmdSavePicture, 8209);
  ApplyPopupStates(menu, m_bObjectPopupOpen);
  return menu;
}

HMENU CKmView::BuildLinePopup() {
  HMENU menu = CreatePopupMenu();
  Append(menu, kCmdCut, 8201);
  Append(menu, kCmdCopy, 8202);
  Append(menu, kCmdPaste, 8210);
  Append(menu, kCmdClear, 8204);
  Separator(menu);
  Append(menu, kCmdInsertLine, 8211);
  Append(menu, kCmdCreateLines, 8212);
  Append(menu, kCmdJustify, 8213);
  Separator(menu);
  Append(menu, kCmdLineProperties, 8208);
  ApplyPopupStates(menu, m_bLinePopupOpen);
  return menu;
}

void CKmView::ShowObjectPopupMenu(int x, int y) {
  if (!ReportOpen() || x < 0 || y < 0 || x >= ClientWidth() || y >= ClientHeight()) return;
  SetLayoutMode(0);
  ClearSelection();
  UnmarkAllLines();
  if (ReportItemHead* hit = HitTestObject(x, y)) {
    SelectObject(*hit, true);
    MakeObjectCurrent(hit);
  } else {
    Layout()->currentItem = nullptr;
  }
  m_pHost->ShowPrompt(Layout()->currentItem);
  HMENU menu = BuildObjectPopup();
  POINT p{x, y + 2};
  ClientToScreen(m_hWnd, &p);
  m_bObjectPopupOpen = TRUE;
  TrackPopupMenu(menu, TPM_LEFTALIGN, p.x, p.y, 0, GetAncestor(m_hWnd, GA_ROOT), nullptr);
  m_bObjectPopupOpen = FALSE;
  DestroyMenu(menu);
}

void CKmView::ShowLinePopupMenu(int x, int y) {
  if (!ReportOpen() || m_pBandView == nullptr) return;
  const int line = m_pBandView->LineAtY(y);
  if (line < 0) return;
  if (!(Line(line)->flags & kLineMarked)) {
    ClearSelection();
    UnmarkAllLines();
    m_pBandView->MarkLine(line, true);
    m_pBandView->SyncMarkedLines();
  }
  SetLayoutMode(0);
  HMENU menu = BuildLinePopup();
  POINT p{x, y + 2};
  ClientToScreen(m_pBandView->m_hWnd, &p);
  m_bLinePopupOpen = TRUE;
  TrackPopupMenu(menu, TPM_LEFTALIGN, p.x, p.y, 0, GetAncestor(m_hWnd, GA_ROOT), nullptr);
  m_bLinePopupOpen = FALSE;
  DestroyMenu(menu);
}

void CKmView::ShowPopupForSelection() {
  if (!ReportOpen()) return;
  if (MarkedLineCount() > 0 && m_pBandView) {
    int first = 0;
    while (first <= LastUsedLine() && !(Line(first)->flags & kLineMarked)) ++first;
    RECT c{};
    GetClientRect(m_pBandView->m_hWnd, &c);
    ShowLinePopupMenu(c.right - 12, Line(first)->bottom - ScrollY() + m_pBandView->GetRulerOffset());
    return;
  }
  if (ReportItemHead* first = FirstSelected())
    ShowObjectPopupMenu(first->right - ScrollX() - 4, first->bottom - ScrollY() - 4);
}
