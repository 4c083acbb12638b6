#include "app/field_commands.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "app/apply_to_selection.h"
#include "app/data_source_choice.h"
#include "app/font_for_selection.h"
#include "app/document.h"
#include "app/main_frame.h"
#include "app/print_run.h"
#include "core/composite.h"
#include "core/fields.h"
#include "dialogs/alignment_dialog.h"
#include "dialogs/calc_field_dialog.h"
#include "dialogs/dependency_warning.h"
#include "dialogs/field_dialog.h"
#include "dialogs/field_format_dialog.h"
#include "dialogs/filter_dialog.h"
#include "dialogs/font_dialog.h"
#include "dialogs/order_dialogs.h"
#include "dialogs/insert_field_dialog.h"
#include "dialogs/purge_dialog.h"
#include "dialogs/sql_dialogs.h"
#include "dialogs/total_dialog.h"
#include "data/master_joins.h"
#include "data/select_builder.h"
#include "data/sql_literals.h"
#include "engine/doc_upkeep.h"
#include "expr/document_format.h"
#include "expr/value_format.h"
#include "files/report_io.h"
#include "model/group_levels.h"
#include "foundation/band_lines.h"
#include "foundation/units.h"
#include "layout/band_line_layout.h"
#include "layout/field_width.h"
#include "layout/fonts.h"
#include "layout/layout_helpers.h"
#include "layout/layout_records.h"
#include "model/field_dependencies.h"
#include "model/record_filter.h"
#include "platform/win/window_from_point.h"
#include "platform/win/beep.h"
#include "platform/win/dialog.h"
#include "platform/win/resources.h"

namespace {

enum : UINT {
  kFieldCmdInsert = 30400, kFieldCmdCalculated = 30700, kFieldCmdTotal = 30710, kFieldCmdFunction = 30720,
  kFieldCmdPurge = 30730, kFieldCmdAutoTotal = 30740, kFieldCmdExpression = 25018, kFieldCmdSort = 30620,
  kFieldCmdGroup = 30630, kFieldCmdFilter = 30640, kFieldCmdShowSql = 30650, kFieldCmdLimit = 30660,
  kFieldCmdProperties = 30504, kFieldCmdFont = 30502, kFieldCmdAlignment = 30500, kFieldCmdFieldDialog = 20078
};
constexpr UINT kStrPlaceCaret = 18616;
constexpr int kDefaultFieldChars = 10;
constexpr int32_t kDefaultPoints = 100;

HWND Owner(CKmDoc& doc) { return doc.GetOwnerWindow(); }

// The views, the palette and the modified flag after the fields changed.
void FieldsChanged(KmDocBase* base) {
  auto* doc = static_cast<CKmDoc*>(base);
  if (doc->m_pLayout != nullptr) BuildLayoutItemOrder(*doc->m_pLayout);
  doc->SetModifiedFlag(TRUE);
  NotifyInsertFieldDialog(-1);
  doc->UpdateViewsByHint(kHintLayoutAll, nullptr);
}

// The font a new item takes: the first item of its line, else the first
// field of the layout (texts are often titles), else Arial at ten points.
const ReportItemHead* FontModel(CKmDoc& doc, int line, const ReportItemHead* except) {
  auto usable = [&](const ReportItemHead& h) { return &h != except && !(h.flags & kItemGraphicKinds) && h.pointSize > 0; };
  for (TextItem* x = doc.m_pLayout->textHead; x != nullptr; x = x->nextText)
    if (usable(x->head) && x->head.bandLine == line) return &x->head;
  const ReportItemHead* any = nullptr;
  for (FieldDef* f = doc.m_pModel->fieldList; f != nullptr; f = f->next) {
    if (!IsPlacedField(f) || !usable(f->head)) continue;
    if (f->head.bandLine == line) return &f->head;
    if (any == nullptr) any = &f->head;
  }
  return any;
}

// The field of a layout item, when the item is a field.
FieldDef* FieldOfItem(CKmDoc& doc, const ReportItemHead* item) {
  if (item == nullptr || !(item->flags & kItemKindField)) return nullptr;
  for (FieldDef* f = doc.m_pModel->fieldList; f != nullptr; f = f->next)
    if (&f->head == item) return f;
  return nullptr;
}

std::vector<FieldDef*> SelectedFields(CKmDoc& doc, int* others) {
  std::vector<FieldDef*> fields;
  for (FieldDef* f = doc.m_pModel->fieldList; f != nullptr; f = f->next)
    if (IsPlacedField(f) && (f->head.flags & kItemSelected)) fields.push_back(f);
  const int all = doc.m_pView != nullptr ? doc.m_pView->CountSelected() : static_cast<int>(fields.size());
  *others = all - static_cast<int>(fields.size());
  // Auto Total goes through the items in the order they print.
  std::vector<FieldDef*> ordered;
  for (ReportItemHead* h = doc.m_pLayout->orderHead; h != nullptr; h = h->nextInOrder)
    for (FieldDef* f : fields)
      if (&f->head == h) ordered.push_back(f);
  return ordered.size() == fields.size() ? ordered : fields;
}

// The automatic "Total" numbers in use, from the names of the report's fields.
AutoTotalNumbering NumberingOf(CKmComposite* m) {
  AutoTotalNumbering n;
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) NoteAutoTotalName(&n, f->name);
  return n;
}

bool TotalOnBandLines(CKmComposite* m, const FieldDef* total) {
  auto* doc = static_cast<CKmDoc*>(m->owner);
  return doc != nullptr && IsFieldOnBandLines(doc->m_bandLines, static_cast<int32_t>(m->GetFieldIndex(total))) != 0;
}

bool FilterUsesTotal(CKmComposite* m, const FieldDef* total) {
  return IsFilterOnField(m, m->GetFieldIndex(total));
}

void ShowTotalError(CKmComposite* m, const char* text) {
  if (m->owner != nullptr) m->owner->ErrorBox1("%s", text);
}

}  // namespace

int InsertLineInBand(CKmDoc& doc, BYTE band) {
  LayoutTables& t = *doc.m_pLayout;
  BandLineTable& lines = doc.m_bandLines;
  int at = 0;
  FindBandLineRange(lines, band, &at, 1);
  const bool empty = lines.lines[0].kind == kBandFree;
  // The items at and below the new line's place move down with their lines:
  // the line table's host (the view) moves them as the line opens.
  CreateLinesRequest r;
  r.placement = LinePlacement::Band;
  r.band = band;
  if (!CreateBandLines(t, r)) return -1;
  BuildLayoutItemOrder(t);
  RelayoutAfterFontChange(t, false, -1);
  return empty ? 0 : at;
}

namespace {

// Auto Total's line: a new last line of the band the totals reset in.
int InsertTotalLine(CKmComposite* m, uint8_t reset) {
  auto* doc = static_cast<CKmDoc*>(m->owner);
  if (doc == nullptr || doc->m_pLayout == nullptr) return -1;
  const BYTE band = reset <= 7 ? static_cast<BYTE>(kBandGroupFooter + reset)
                                : reset == kResetPage ? kBandPageFooter : kBandSummary;
  return InsertLineInBand(*doc, band);
}

// A refused Auto Total takes its line back: the layout is as before.
void RemoveTotalLine(CKmComposite* m, int line) {
  auto* doc = static_cast<CKmDoc*>(m->owner);
  if (doc == nullptr || doc->m_pLayout == nullptr || line < 0 || line >= kBandLineCount) return;
  LayoutTables& t = *doc->m_pLayout;
  std::vector<BYTE> marked(kBandLineCount);
  for (int i = 0; i < kBandLineCount; ++i) {
    marked[static_cast<size_t>(i)] = t.bandRecords[i].flags & kLineMarked;
    t.bandRecords[i].flags &= static_cast<BYTE>(~kLineMarked);
  }
  t.bandRecords[line].flags |= kLineMarked;
  SaveMarkedLines(t, true);
  // The user's own marks stay on their lines, which moved up by one below it.
  for (int i = 0; i + 1 < kBandLineCount; ++i)
    t.bandRecords[i].flags |= marked[static_cast<size_t>(i < line ? i : i + 1)];
  BuildLayoutItemOrder(t);
  RelayoutAfterFontChange(t, false, -1);
}

// A total the dialog made or changed is shown at its size; Auto Total's
// stand on their line under the fields they total.
void FinishTotals(CKmDoc& doc, TotalDialogParams& p, bool place) {
  for (size_t i = 0; i < p.made.size(); ++i) {
    FieldDef* t = p.made[i];
    // A new total from New Total waits in the Insert Field palette until placed.
    if (!place) t->head.flags &= ~kItemKindField;
    if (place && (t->head.flags & kItemKindField)) {
      // Under the field it totals (the made totals follow the items' order).
      const int x = i < p.items.size() ? p.items[i]->head.left
                                       : t->head.column * CharCellWidth(doc.m_pLayout->metrics, 1);
      t->head.flags &= ~kItemKindField;
      t->head.width = 0;
      FieldDef* placed = PlaceFieldOnLayout(doc, t, t->head.bandLine, x);
      // Sized to its own text, it keeps its anchor under the anchor of the
      // field it totals: a right-aligned total ends where that field ends.
      if (placed != nullptr && i < p.items.size()) {
        LayoutTables& layout = *doc.m_pLayout;
        ReportItemHead& h = placed->head;
        const int dx = GetAlignedX(layout, p.items[i]->head) - GetAlignedX(layout, h);
        h.left += dx;
        h.right += dx;
        ClampToPageWidth(layout, h, h.right - h.left);
        BuildLayoutItemOrder(layout);
      }
    }
  }
  if (p.total != nullptr && (p.total->head.flags & kItemKindField)) SizeObjectToText(*doc.m_pLayout, p.total->head);
  FieldsChanged(&doc);
}

void FillTotalParams(CKmDoc& doc, TotalDialogParams* p, AutoTotalNumbering* numbering) {
  p->doc = &doc;
  p->model = doc.m_pModel;
  p->numbering = numbering;
  p->onBandLines = TotalOnBandLines;
  p->filterDependsOn = FilterUsesTotal;
  p->showError = ShowTotalError;
  // The source list's selection shows its field's prompt on the status bar.
  p->prompt = [](CKmComposite* m, const FieldDef* source) {
    auto* d = m != nullptr ? static_cast<CKmDoc*>(m->owner) : nullptr;
    if (d != nullptr && d->m_pMainFrame != nullptr && source != nullptr)
      d->m_pMainFrame->m_wndStatusBar.ShowFieldPrompt(source);
  };
}

bool EditTotal(KmDocBase* base, HWND owner, FieldDef* total) {
  auto& doc = *static_cast<CKmDoc*>(base);
  AutoTotalNumbering numbering = NumberingOf(doc.m_pModel);
  TotalDialogParams p;
  FillTotalParams(doc, &p, &numbering);
  p.total = total;
  int others = 0;
  const std::vector<FieldDef*> fields = SelectedFields(doc, &others);
  p.selectedField = GetSelectedTotalField(doc.m_pModel, fields, others);
  if (OpenTotalDialog(owner, &p) != IDOK || !p.modified) return false;
  FinishTotals(doc, p, false);
  return true;
}

void AutoTotal(CKmDoc& doc) {
  int others = 0;
  AutoTotalNumbering numbering = NumberingOf(doc.m_pModel);
  TotalDialogParams p;
  FillTotalParams(doc, &p, &numbering);
  p.items = SelectedFields(doc, &others);
  p.insertTotalLine = InsertTotalLine;
  p.removeTotalLine = RemoveTotalLine;
  const bool room = doc.m_bandLines.lines != nullptr && doc.m_bandLines.lines[kBandLineCount - 1].kind == kBandFree;
  if (!CheckAutoTotalSelection(p.items, others, numbering, room)) {
    MessageBeep(0);
    return;
  }
  if (OpenAutoTotalDialog(Owner(doc), &p) == IDOK && p.modified) FinishTotals(doc, p, true);
}

void Purge(CKmDoc& doc) {
  PurgeDialogParams p;
  p.doc = &doc;
  p.model = doc.m_pModel;
  p.rebuildRunLists = [](CKmComposite* m) { RebuildRunLists(m->owner, 0, true); };
  if (RunPurgeDialog(Owner(doc), &p) == IDOK && p.modified) FieldsChanged(&doc);
}

}  // namespace

const FieldDialogHooks& ProgramFieldDialogHooks() {
  static const FieldDialogHooks hooks = [] {
    FieldDialogHooks h;
    h.editTotal = EditTotal;
    h.changed = FieldsChanged;
    return h;
  }();
  return hooks;
}

namespace {

// The expression of an item: a total opens its total dialog, a calculated
// field the expression editor.
void EditItemExpression(CKmDoc& doc, ReportItemHead* item) {
  FieldDef* f = FieldOfItem(doc, item);
  if (f != nullptr && (f->flags & kFieldAlias)) f = doc.m_pModel->GetFieldAt(f->refField);
  if (f == nullptr || !((f->flags & kFieldCalculation) || IsTotal(f))) {
    MessageBeep(0);
    return;
  }
  if (IsTotal(f)) {
    EditTotal(&doc, Owner(doc), f);
    return;
  }
  CalcFieldDialogParams p;
  p.doc = &doc;
  p.model = doc.m_pModel;
  p.field = f;
  if (RunCalcFieldDialog(Owner(doc), &p) == IDOK && p.changed) {
    if (f->head.flags & kItemKindField) SizeObjectToText(*doc.m_pLayout, f->head);
    FieldsChanged(&doc);
  }
}

// A field or text under the caret: a field placed there would hide exactly
// under it, and the two would print over each other.
bool TextAtCaret(CKmDoc& doc) {
  const int line = doc.m_pView->CaretLine();
  const int x = doc.m_pView->m_nCaretX;
  for (const ReportItemHead* h = doc.m_pLayout->orderHead; h != nullptr; h = h->nextInOrder)
    if (!(h->flags & (kItemGraphicKinds | kItemDeleted | kItemInClipboard)) && h->bandLine == line && x >= h->left &&
        x <= h->right)
      return true;
  return false;
}

bool PlaceAtCaret(KmDocBase* base, FieldDef* field) {
  auto& doc = *static_cast<CKmDoc*>(base);
  // The report being printed or previewed is not changed under the run.
  if (!doc.m_bReportOpen || doc.m_pView == nullptr || doc.m_pLayout == nullptr || doc.m_pRun != nullptr) return false;
  const int line = doc.m_pView->CaretLine();
  if (!TextAtCaret(doc))
    if (FieldDef* placed = PlaceFieldOnLayout(doc, field, line, doc.m_pView->m_nCaretX)) {
      // The caret goes one cell past the new field, so that the next field
      // chosen in the palette lands beside it rather than on it.
      const int cell = CharCellWidth(doc.m_pLayout->metrics, 1);
      const int x = cell > 0 ? ((placed->head.right + cell) / cell + 1) * cell : placed->head.right + 1;
      if (x < doc.m_pView->LayoutWidth()) {
        doc.m_pView->m_nCaretX = x;
        doc.m_pView->UpdateCaretAndStatus(FALSE);
      }
      return true;
    }
  doc.SetStatusText(LoadResString(kStrPlaceCaret).c_str());
  MessageBeep(0);
  return false;
}

// A field dragged from the palette: the caret goes to the layout point under
// the release, and the field is placed there as at the caret.
bool PlaceAtPoint(KmDocBase* base, FieldDef* field, POINT screen) {
  auto& doc = *static_cast<CKmDoc*>(base);
  if (!doc.m_bReportOpen || doc.m_pView == nullptr || doc.m_pRun != nullptr) return false;
  HWND view = doc.m_pView->m_hWnd;
  if (view == nullptr || WindowFromPoint(screen) != view) return false;
  POINT at = screen;
  ScreenToClient(view, &at);
  doc.m_pView->MoveCaretToPoint(at.x, at.y, true, false);
  return PlaceAtCaret(base, field);
}

// A new group level gets a header line showing its field and a footer line.
void AddGroupBands(CKmDoc& doc, int level) {
  LayoutTables& t = *doc.m_pLayout;
  for (BYTE band : {static_cast<BYTE>(kBandGroupHeader + level), static_cast<BYTE>(kBandGroupFooter + level)}) {
    int at = 0;
    if (FindBandLineRange(doc.m_bandLines, band, &at, 1)) continue;
    const int line = InsertLineInBand(doc, band);
    if (line >= 0 && band == kBandGroupHeader + level)
      PlaceFieldOnLayout(doc, doc.m_pModel->GetFieldAt(doc.m_pModel->groupFields[level]), line,
                         CharCellWidth(t.metrics, 1) * 2 * level);
  }
}

void EditOrder(CKmDoc& doc, int kind) {
  OrderDialogParams p;
  p.doc = &doc;
  p.model = doc.m_pModel;
  p.kind = kind;
  if (RunOrderDialog(Owner(doc), &p) != IDOK || !p.changed) return;
  // The stream's copy of the sort slots is the one a run falls back on.
  if (doc.m_pRepIO != nullptr)
    for (int i = 0; i < kMaxGroupLevels; ++i) doc.m_pRepIO->m_stream.settings.sortFields[i] = doc.m_pModel->sortFields[i];
  for (int level = 0; level < kMaxGroupLevels; ++level)
    if (p.newLevels & (1u << level)) AddGroupBands(doc, level);
  FieldsChanged(&doc);
  if (p.newLevels != 0 && doc.m_pMainFrame != nullptr) doc.m_pMainFrame->FitBandPane();
}

void EditSortOrder(CKmDoc& doc) { EditOrder(doc, kOrderSort); }
void EditGroupOrder(CKmDoc& doc) { EditOrder(doc, kOrderGroup); }

void EditFilter(CKmDoc& doc) {
  FilterDialogParams p;
  p.doc = &doc;
  p.model = doc.m_pModel;
  if (RunFilterDialog(Owner(doc), &p) == IDOK && p.changed) FieldsChanged(&doc);
}

// The SELECT a run would execute now, built by the run's own steps, beside
// the report's own SELECT when it has one.
void ShowSqlDialog(CKmDoc& doc) {
  if (!HaveDataSource(doc)) return;
  CKmComposite* m = doc.m_pModel;
  SetQuerySortKeys(doc);
  if (FieldDef* bad = PropagateFieldDependencies(m)) {
    ReportEvaluationOrderError(m, bad);
    return;
  }
  if (m->conditionCode != nullptr && RebuildConditionCode(m) != 0) return;
  RebuildRunLists(&doc, 1, false);
  BuildSelectStatement(m, 0);
  const std::string user = m->statementText != nullptr ? m->statementText : "";
  RunShowSqlDialog(&doc, Owner(doc), GetSelectResult(m)->mainStatement, user);
}

void EditLimitResult(CKmDoc& doc) {
  long limit = GetRecordLimit(doc.m_pModel);
  if (RunLimitResultDialog(&doc, Owner(doc), &limit) == IDOK) SetRecordLimit(doc.m_pModel, limit);
}

// Format > Properties for a selection of fields of one kind or of text
// objects: the kind's sheet, then the alignment and trim it leaves to the
// selection operations and the font its Font button chose. False leaves the
// command to the other items' dialogs.
bool EditTextProperties(CKmDoc& doc) {
  int others = 0;
  const std::vector<FieldDef*> fields = SelectedFields(doc, &others);
  std::vector<ReportItemHead*> texts;
  if (fields.empty())
    for (TextItem* x = doc.m_pLayout->textHead; x != nullptr; x = x->nextText)
      if ((x->head.flags & kItemSelected) && !(x->head.flags & (kItemGraphicKinds | kItemDeleted))) texts.push_back(&x->head);
  if (fields.empty() && (texts.empty() || static_cast<int>(texts.size()) != others)) return false;
  if (!fields.empty() && others != 0) return false;
  const uint32_t kind = fields.empty() ? 0 : FieldKind(fields.front());
  for (const FieldDef* f : fields)
    if (FieldKind(f) != kind) return false;
  FontDialogParams font;
  bool fontChosen = false;
  ItemPropertyChoice choice;
  if (doc.m_pFonts != nullptr && !doc.m_pFonts->table.empty())
    choice.chooseFont = [&](HWND owner) {
      font = FontDialogParams{};
      return fontChosen = PickFontForSelection(doc, owner, &font);
    };
  INT_PTR result;
  if (!texts.empty()) result = ShowTextObjectProperties(&doc, Owner(doc), texts, &choice);
  else if (kind & kFieldNumeric) result = ShowNumericFieldProperties(&doc, Owner(doc), fields, &choice);
  else if (kind & kFieldDateTime) result = ShowDateTimeFieldProperties(&doc, Owner(doc), fields, &choice);
  else if (kind & kFieldTime) result = ShowTimeFieldProperties(&doc, Owner(doc), fields, &choice);
  else if (kind & kFieldDate) result = ShowDateFieldProperties(&doc, Owner(doc), fields, &choice);
  else result = ShowCharFieldProperties(&doc, Owner(doc), fields, &choice);
  if (result != IDOK) return true;
  if (choice.alignment >= 0) {
    bool allWrapped = !fields.empty();
    for (const FieldDef* f : fields) allWrapped = allWrapped && kind == 0 && ((f->formatCode >> 4) & 0xF) == 4;
    const int second = choice.alignment == 2 ? 1 : choice.alignment == 3 ? 2 : 0;
    ApplyAlignmentToSelection(doc, std::min(choice.alignment, allWrapped ? 3 : 2), allWrapped, second);
  }
  if (choice.trim != BST_INDETERMINATE) ApplyTrimToSelection(doc, choice.trim == BST_CHECKED ? 1 : 0);
  if (fontChosen) ApplyFontChoice(doc, font);
  for (FieldDef* f : fields) SizeObjectToText(*doc.m_pLayout, f->head);
  for (ReportItemHead* h : texts) SizeObjectToText(*doc.m_pLayout, *h);
  FieldsChanged(&doc);
  return true;
}

// F2: the dialog of the item at the caret, else of the current item.
void OpenFieldDialog(CKmDoc& doc) {
  ReportItemHead* item = doc.m_pView != nullptr ? doc.m_pView->ItemAtCaret() : nullptr;
  if (item == nullptr || (item->flags & kItemGraphicKinds)) item = doc.m_pLayout->currentItem;
  // A text is edited where it stands.
  if (item != nullptr && doc.m_pView != nullptr && !(item->flags & (kItemGraphicKinds | kItemKindField))) {
    doc.m_pView->MakeObjectCurrent(item);
    if (!doc.m_pView->BeginTextEdit(0)) MessageBeep(0);
    return;
  }
  EditItemExpression(doc, item);
}

// The alignment of the one selected line, box or picture.
void EditAlignment(CKmDoc& doc) {
  ReportItemHead* item = doc.m_pLayout->currentItem;
  if (doc.m_pView == nullptr || doc.m_pView->CountSelected() != 1 || item == nullptr) return;
  uint8_t* alignment = nullptr;
  if (item->flags & (kItemKindLine | kItemKindBox)) alignment = &reinterpret_cast<LineBoxItem*>(item)->alignment;
  else if (item->flags & kItemKindPicture) alignment = &reinterpret_cast<PictureItem*>(item)->alignment;
  if (alignment == nullptr) return;
  if (RunAlignmentDialog(&doc, Owner(doc), alignment) == IDOK) {
    doc.SetModifiedFlag(TRUE);
    doc.UpdateViewsByHint(kHintLayoutAll, nullptr);
  }
}

void ShowInsertFieldDialog(CKmDoc& doc) {
  if (!doc.m_bReportOpen) return;
  if (!doc.m_pInsertField) {
    InsertFieldHooks hooks;
    hooks.placeAtCaret = PlaceAtCaret;
    hooks.placeAtPoint = PlaceAtPoint;
    doc.m_pInsertField = std::make_unique<InsertFieldPalette>(&doc, hooks);
  }
  const bool opening = doc.m_pInsertFieldPalette == nullptr;
  if (!doc.m_pInsertField->Show(Owner(doc))) return;
  // Asked for while a print or a preview runs, it waits off until the run
  // ends, as it would had it been open when the run began.
  if (doc.m_bRunHoldsPalette) HoldPaletteForRun(doc, true);
  if (!opening || doc.m_pView == nullptr) return;
  // It opens at the top right of the layout, clear of the menus and the
  // band pane, where the caret it places fields at is seldom hidden.
  RECT area, own;
  HWND palette = doc.m_pInsertField->m_hWnd;
  if (!GetWindowRect(doc.m_pView->m_hWnd, &area) || !GetWindowRect(palette, &own)) return;
  const int width = own.right - own.left;
  const int x = std::max<int>(area.left, area.right - width - 8);
  SetWindowPos(palette, nullptr, x, area.top + 8, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

FieldDef* PlaceFieldOnLayout(CKmDoc& doc, FieldDef* field, int line, int x) {
  LayoutTables* t = doc.m_pLayout;
  CKmComposite* m = doc.m_pModel;
  if (t == nullptr || m == nullptr || field == nullptr || doc.m_bandLines.lines == nullptr) return nullptr;
  if (line < 0 || line >= kBandLineCount) return nullptr;
  FieldDef* f = field;
  // A field already on the layout is placed again as a copy; a hidden one comes back itself.
  if (IsPlacedField(f)) {
    f = DuplicateField(&doc, field);
    if (f == nullptr) return nullptr;
  }
  // Below the last band line the lines down to the caret's join the band
  // above, as for a text typed there.
  const bool newLines = InsertBandLines(doc.m_bandLines, kBandRecord, line) != 0;
  ReportItemHead& h = f->head;
  const ReportItemHead* model = FontModel(doc, line, &h);
  h.pointSize = model != nullptr ? model->pointSize : kDefaultPoints;
  h.faceAtom = model != nullptr ? model->faceAtom : AddFaceAtom("Arial");
  h.fontIndex = model != nullptr ? model->fontIndex : 0;
  h.colour = model != nullptr ? model->colour : 0;
  h.fontStyle = 0;
  h.fontHandle = nullptr;
  const int cell = CharCellWidth(t->metrics, 1);
  const int column = x > 0 ? x / cell : 0;
  if (h.width == 0) h.width = static_cast<uint8_t>(f->displayWidth > 0 && f->displayWidth <= kMaxFieldChars
                                                       ? f->displayWidth
                                                       : kDefaultFieldChars);
  FormatSettings fmt;
  TakeDocumentFormat(fmt, doc);
  h.width = static_cast<uint8_t>(PlacedFieldChars(fmt, *f, h.width));
  // A text, memo or logical field of a new report has no display width yet:
  // it prints as many characters as its box holds.
  if (!(f->flags & (kFieldNumeric | kFieldDate | kFieldDateTime | kFieldTime)) && f->displayWidth == 0)
    f->displayWidth = h.width;
  h.bandLine = static_cast<uint8_t>(line);
  h.column = column;
  h.left = column * cell;
  h.right = h.left + h.width * cell - 1;
  h.bottom = doc.m_bandLines.lines[line].bottom;
  h.flags = (h.flags & ~(kItemSelected | kItemDeleted)) | kItemFixedPosition;
  MarkFieldPlaced(f);
  f->flags |= kFieldItem | kFieldNeeded;
  if (doc.m_pFonts != nullptr) AttachObjectFont(*t, *doc.m_pFonts, h, false);
  SizeObjectToText(*t, h);
  BuildLayoutItemOrder(*t);
  RelayoutAfterFontChange(*t, true, -1);
  if (FieldDef* bad = PropagateFieldDependencies(m)) ReportEvaluationOrderError(m, bad);
  if (doc.m_pView != nullptr) {
    doc.m_pView->ClearSelection();
    doc.m_pView->SelectObject(h, true);
    doc.m_pView->MakeObjectCurrent(&h);
  }
  doc.SetModifiedFlag(TRUE);
  doc.UpdateViewsByHint(kHintLayoutAll, nullptr);
  if (newLines) doc.UpdateViewsByHint(kHintBandPane, nullptr);
  return f;
}

BOOL DispatchFieldCommand(CKmDoc& doc, UINT id) {
  switch (id) {
    case kFieldCmdInsert:
    case kFieldCmdCalculated:
    case kFieldCmdTotal:
    case kFieldCmdFunction:
    case kFieldCmdPurge:
    case kFieldCmdAutoTotal:
    case kFieldCmdExpression:
    case kFieldCmdGroup:
    case kFieldCmdFilter:
    case kFieldCmdShowSql:
    case kFieldCmdLimit:
    case kFieldCmdFieldDialog:
    case kFieldCmdAlignment:
      break;
    case kFieldCmdSort:
      if (doc.m_pModel != nullptr && IsSqlReport(doc.m_pModel)) return TRUE;
      break;
    case kFieldCmdProperties:
      // Marked band lines take the command before any selected item does.
      if (doc.m_pView != nullptr && doc.m_pView->MarkedLineCount() > 0) return FALSE;
      return doc.m_bReportOpen && doc.m_pModel != nullptr && doc.m_pLayout != nullptr && EditTextProperties(doc);
    case kFieldCmdFont:
      if (doc.m_bReportOpen && doc.m_pLayout != nullptr) ChooseFontForSelection(doc);
      return TRUE;
    default:
      return FALSE;
  }
  if (!doc.m_bReportOpen || doc.m_pModel == nullptr || doc.m_pLayout == nullptr) return TRUE;
  switch (id) {
    case kFieldCmdInsert:
      ShowInsertFieldDialog(doc);
      break;
    case kFieldCmdCalculated:
      RunFieldDialog(&doc, Owner(doc), kFieldDialogCalculated, ProgramFieldDialogHooks());
      break;
    case kFieldCmdTotal:
      RunFieldDialog(&doc, Owner(doc), kFieldDialogTotals, ProgramFieldDialogHooks());
      break;
    case kFieldCmdFunction:
      // The report's open loaded the functions, so the library's stamp is current.
      RunFieldDialog(&doc, Owner(doc), kFieldDialogFunctions, ProgramFieldDialogHooks());
      break;
    case kFieldCmdAutoTotal:
      AutoTotal(doc);
      break;
    case kFieldCmdPurge:
      Purge(doc);
      break;
    case kFieldCmdExpression:
      EditItemExpression(doc, doc.m_pLayout->currentItem);
      break;
    case kFieldCmdFieldDialog:
      OpenFieldDialog(doc);
      break;
    case kFieldCmdAlignment:
      EditAlignment(doc);
      break;
    case kFieldCmdSort:
      EditSortOrder(doc);
      break;
    case kFieldCmdGroup:
      EditGroupOrder(doc);
      break;
    case kFieldCmdFilter:
      EditFilter(doc);
      break;
    case kFieldCmdShowSql:
      ShowSqlDialog(doc);
      break;
    case kFieldCmdLimit:
      EditLimitResult(doc);
      break;
    default:
      break;
  }
  return TRUE;
}
