// The view's editing commands: Edit > Undo, Cut, Copy, Paste, Clear and the
// format bar's clear-or-undo; the band-line commands (Insert, Create,
// Properties); pictures (Paste Clipboard Image, Save As
// Picture); and what the layout tables ask of the view (redraws, the
// modified flag, picture bitmaps).
#include "designer/band_view.h"
#include "designer/design_view.h"
#include "designer/layout_editing.h"
#include "designer/paste_image.h"
#include "designer/pictures.h"
#include "foundation/doc_base.h"
#include "layout/band_line_layout.h"
#include "layout/item_tables.h"
#include "core/composite.h"
#include "model/field_checks.h"

namespace {

enum : UINT {
  kCmdUndo = 30100, kCmdCut = 30110, kCmdCopy = 30120, kCmdPaste = 30130, kCmdClear = 30140,
  kCmdClearOrUndo = 20210, kCmdPasteImage = 30170, kCmdInsertLine = 30410, kCmdCreateLines = 30420,
  kCmdLineProperties = 30508, kCmdSavePicture = 32774
};

class ViewLayoutHooks : public LayoutHooks {
 public:
  explicit ViewLayoutHooks(CKmView& view) : v_(view) {}
  bool BuildPictureBitmap(PictureItem& p) override { return ::BuildPictureBitmap(*v_.Layout(), p); }
  void RedrawAllPanes() override { v_.RedrawAllPanes(); }
  void InvalidateViewRect(const RECT& r) override {
    v_.SetViewRect(r);
    if (v_.Doc()) v_.Doc()->UpdateViewsByHint(kHintStoredRect, &v_);
  }
  void UpdateScrollBars() override { v_.UpdateScrollBars(); }
  void SetModified() override {
    if (v_.Doc()) v_.Doc()->SetModifiedFlag(TRUE);
  }
  void ForgetUndoDelete() override { ::ForgetUndoDelete(v_, true); }
  void ForgetItem(const ReportItemHead& item) override { v_.ForgetItem(item); }
  void ClearStatusText() override { v_.Host().ShowMessage(""); }
  void ResetCaretX() override {
    v_.m_nCaretX = 0;
    v_.UpdateCaretAndStatus(FALSE);
  }

 private:
  CKmView& v_;
};

// Lines opened in the table take the items at and below them down.
class ViewBandLineHost : public BandLineHost {
 public:
  explicit ViewBandLineHost(CKmView& view) : v_(view) {}
  void UpdateScrollBars() override { v_.UpdateScrollBars(); }
  void MoveItemsDown(int index) override {
    ForEachLayoutItem(*v_.Layout(), [&](ReportItemHead& h) {
      if (h.bandLine >= index && h.bandLine < kBandLineCount - 1) h.bandLine = static_cast<uint8_t>(h.bandLine + 1);
    });
  }
  void BuildItemOrder() override { BuildLayoutItemOrder(*v_.Layout()); }
  // A band line's object is a field of the report's model.
  bool ObjectExists(int32_t id) override { return Field(id) != nullptr; }
  bool IsBandFieldValid(int32_t id) override {
    const FieldDef* f = Field(id);
    return f == nullptr || ::IsBandFieldValid(*v_.Doc()->m_pModel, f);
  }
  int32_t ReferredFieldOf(int32_t id) override {
    const FieldDef* f = Field(id);
    if (f == nullptr || !(f->flags & kFieldTotalRelated) || f->refField == kNoField) return -1;
    return static_cast<int32_t>(f->refField);
  }

 private:
  const FieldDef* Field(int32_t id) const {
    const KmDocBase* doc = v_.Doc();
    if (id < 0 || doc == nullptr || doc->m_pModel == nullptr) return nullptr;
    return doc->m_pModel->GetFieldAt(static_cast<uint32_t>(id));
  }
  CKmView& v_;
};

class ViewPasteImageHost : public PasteImageHost {
 public:
  explicit ViewPasteImageHost(CKmView& view) : v_(view) {}
  void WaitCursor(bool on) override {
    if (v_.Doc()) v_.Doc()->SetWaitCursor(on ? 1 : 0);
  }
  void* CreateImage(const ClipboardImage& image) override {
    return v_.Layout()->images.ImgCreateHandle(image.width, image.height, image.bgra.data(), image.bgra.size());
  }
  void ShowError(UINT id) override {
    if (v_.Doc()) v_.Doc()->ShowErrorId(id, nullptr);
  }

 private:
  CKmView& v_;
};

}  // namespace

void CKmView::InstallLayoutHooks() {
  LayoutTables* t = Layout();
  if (t == nullptr) return;
  if (!m_pLayoutHooks) m_pLayoutHooks = std::make_unique<ViewLayoutHooks>(*this);
  if (t->hooks == nullptr) t->hooks = m_pLayoutHooks.get();
  if (!m_pBandLineHost) m_pBandLineHost = std::make_unique<ViewBandLineHost>(*this);
  if (t->Lines().host == nullptr) t->Lines().host = m_pBandLineHost.get();
}

void CKmView::OnEditCommand(UINT id) {
  // A query handed over on the clipboard starts a report, with or without one open.
  if (id == kCmdPaste && PasteQuery()) return;
  if (!ReportOpen()) return;
  InstallLayoutHooks();
  switch (id) {
    case kCmdUndo:
      // The last move first, then the last Clear.
      if (CanUndoMove(*this)) UndoLastMove(*this);
      else UndoClear(*this);
      break;
    case kCmdCut: CutOrCopy(*this, true); break;
    case kCmdCopy:
      // Embedded objects are left out of the copy; the user is told why.
      if (CountSelected(kItemKindOle) > 0) Doc()->ShowErrorId(kIdsObjectNotCopied, nullptr);
      CutOrCopy(*this, false);
      break;
    case kCmdPaste: PasteClipboard(*this); break;
    case kCmdClear: ClearSelectedItems(*this); break;
    case kCmdClearOrUndo: ClearOrUndoClear(*this); break;
    default: return;
  }
  if (id != kCmdClear && id != kCmdClearOrUndo) m_pHost->ShowPrompt(Layout()->currentItem);
}

void CKmView::OnLineCommand(UINT id) {
  if (!ReportOpen()) return;
  InstallLayoutHooks();
  LayoutTables& t = *Layout();
  bool changed = false;
  switch (id) {
    case kCmdInsertLine: changed = InsertBandLineCommand(t); break;
    case kCmdCreateLines: changed = CreateBandLinesCommand(t); break;
    case kCmdLineProperties: changed = EditLinePropertiesCommand(t); break;
    default: return;
  }
  if (!changed) return;
  if (m_pBandView) m_pBandView->SyncMarkedLines();
  m_pHost->UpdateFormatBar();
  UpdateCaretAndStatus(FALSE);
}

void CKmView::OnPictureCommand(UINT id) {
  if (!ReportOpen()) return;
  InstallLayoutHooks();
  LayoutTables& t = *Layout();
  switch (id) {
    case kCmdPasteImage: {
      ViewPasteImageHost host(*this);
      if (PictureItem* p = PasteClipboardImage(t, host, m_nCaretX)) {
        ClearSelection();
        p->head.flags |= kItemSelected;
        t.currentItem = &p->head;
        if (m_pDoc) m_pDoc->SetModifiedFlag(TRUE);
        RedrawAllPanes();
      }
      break;
    }
    case kCmdSavePicture: SaveSelectionAsPicture(*this); break;
    default: return;
  }
  m_pHost->ShowPrompt(t.currentItem);
  UpdateCaretAndStatus(FALSE);
}
