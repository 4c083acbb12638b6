// Format > Properties (and a double click) on lines or boxes: the line or
// box dialog on the current one; on OK the other selected boxes (or lines)
// take its attributes.
#include "designer/design_view.h"
#include "designer/pictures.h"
#include "dialogs/line_box_dialog.h"
#include "foundation/doc_base.h"
#include "layout/item_tables.h"

namespace {
constexpr uint32_t kLineOrBox = kItemKindLine | kItemKindBox;
constexpr UINT kCmdLineProperties = 30508;

LineBoxItem& AsLineBox(ReportItemHead& h) { return reinterpret_cast<LineBoxItem&>(h); }
}  // namespace

bool CKmView::SelectionIsLinesOrBoxes() const {
  const int all = CountSelected();
  return all > 0 && (CountSelected(kItemKindLine) == all || CountSelected(kItemKindBox) == all);
}

bool CKmView::EditLineBoxProperties() {
  LayoutTables* t = Layout();
  if (t == nullptr || m_pDoc == nullptr) return false;
  ReportItemHead* current = FirstSelected();
  if (current == nullptr) current = t->orderHead;
  while (current != nullptr && !(current->flags & kLineOrBox)) current = current->nextInOrder;
  if (current == nullptr) return false;
  t->currentItem = current;
  LineBoxItem& model = AsLineBox(*current);
  if (RunLineBoxDialog(m_pDoc, m_hWnd, &model) != IDOK) {
    UpdateCaretAndStatus(FALSE);
    return false;
  }
  const bool box = (current->flags & kItemKindBox) != 0;
  if (box && CountSelected(kItemKindBox) >= 2) {
    ForEachLayoutItem(*t, [&](ReportItemHead& h) {
      if (&h == current || !(h.flags & kItemSelected) || !(h.flags & kItemKindBox)) return;
      LineBoxItem& x = AsLineBox(h);
      x.thickness = model.thickness;
      x.pattern = model.pattern;
      x.borderColour = model.borderColour;
      x.backColour = model.backColour;
      x.foreColour = model.foreColour;
    });
  } else if (!box && CountSelected(kItemKindLine) > 1) {
    ForEachLayoutItem(*t, [&](ReportItemHead& h) {
      if (&h == current || !(h.flags & kItemSelected) || !(h.flags & kItemKindLine)) return;
      LineBoxItem& x = AsLineBox(h);
      x.thickness = model.thickness;
      x.borderColour = model.borderColour;
    });
  }
  m_pDoc->SetModifiedFlag(TRUE);
  RedrawAllPanes();
  m_pHost->ShowPrompt(current);
  UpdateCaretAndStatus(FALSE);
  return true;
}

void CKmView::OnPropertiesCommand(UINT) {
  // Marked lines come first; fields, texts and charts have their own sheets elsewhere.
  if (!ReportOpen()) return;
  if (MarkedLineCount() > 0) {
    OnLineCommand(kCmdLineProperties);
  } else if (CountSelected() > 0 && CountSelected(kItemKindOle) == CountSelected()) {
    // One object has its properties; several have none in common.
    if (CountSelected() == 1 && EditObjectProperties(*this)) {
      if (Layout() != nullptr) Layout()->currentLine = FirstSelected()->bandLine;
      UpdateCaretAndStatus(FALSE);
    }
  } else if (CountSelected() > 0 && CountSelected(kItemKindPicture) == CountSelected()) {
    EditPictureProperties(*this);
  } else if (SelectionIsLinesOrBoxes()) {
    EditLineBoxProperties();
  }
  SetLayoutMode(0);
}
