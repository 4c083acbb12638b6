#include "app/layout_view.h"

#include "app/chart_commands.h"
#include "app/document.h"
#include "app/file_dialogs.h"
#include "app/frame_bars.h"
#include "app/main_frame.h"
#include "app/picture_images.h"
#include "app/print_run.h"
#include "dialogs/band_line_dialogs.h"
#include "core/composite.h"
#include "data/master_joins.h"
#include "foundation/page_metrics.h"

void FramePanes::UpdateAllViews(int hint, void* sender) {
  // Hint 0 (a report opened, made or closed) and the band-pane hint that ends
  // every load bring the rulers and scroll bars in line with the switches.
  if (hint == 0 || hint == kHintBandPane) SyncPanes();
  if (hint == 0) {
    if (IsWindow(frame_.m_wndLayoutView.m_hWnd)) InvalidateRect(frame_.m_wndLayoutView.m_hWnd, nullptr, TRUE);
    frame_.m_wndBandView.RedrawBandPane();
    return;
  }
  frame_.m_wndLayoutView.OnUpdate(hint, sender);
  frame_.m_wndBandView.OnUpdate(hint);
  frame_.m_wndRulerView.OnUpdate(hint);
}

void FramePanes::SyncPanes() {
  CKmDoc* doc = frame_.m_pDoc;
  const bool open = doc != nullptr && doc->m_bReportOpen;
  CRulerView& rulers = frame_.m_wndRulerView;
  if (!IsWindow(rulers.m_hWnd)) return;
  const bool h = open && doc->m_settings.shHzRul, v = open && doc->m_settings.shVtRul;
  // The horizontal ruler marks the right margin's column.
  if (open) CalcPrintableWidth(*doc);
  if (rulers.HorizontalBar().Shown() != h) rulers.ShowBar(rulers.HorizontalBar(), h);
  if (rulers.VerticalBar().Shown() != v) rulers.ShowBar(rulers.VerticalBar(), v);
  rulers.RepositionBars();
  frame_.m_wndLayoutView.UpdateScrollBars();
  // The format bar comes and goes with the report now, not at the bars' next
  // idle update, which would move the view under an in-place entry begun meanwhile.
  if (doc != nullptr && doc->m_pBars != nullptr) doc->m_pBars->UpdateActionBar();
}

WORD CKmViewHost::FrameMode() const { return frame_.m_wState; }
bool CKmViewHost::OutputRunning() const { return doc_ != nullptr && doc_->m_pRun != nullptr; }
void CKmViewHost::ShowPrompt(const ReportItemHead* object) { frame_.m_wndStatusBar.ShowPrompt(object, FALSE); }
void CKmViewHost::ShowPosition() { frame_.m_wndStatusBar.ShowPosition(); }
void CKmViewHost::ShowMessage(const char* text) { frame_.m_wndStatusBar.ShowMessage(text); }
void CKmViewHost::RefreshStatus() { frame_.m_wndStatusBar.ShowPosition(); }
void CKmViewHost::ShowReportName() { frame_.m_wndStatusBar.ShowReportName(); }
BOOL CKmViewHost::ForwardCommand(UINT id) { return frame_.RouteToDocument(id); }
int CKmViewHost::ForwardUpdate(UINT id) { return frame_.DocumentUpdate(id); }
void CKmViewHost::UpdateFormatBar() {
  if (doc_ != nullptr) doc_->UpdateFormatBar();
}
const char* CKmViewHost::GroupFieldName(int level) {
  if (doc_ == nullptr || doc_->m_pModel == nullptr || level < 0 || level > 7) return nullptr;
  CKmComposite& m = *doc_->m_pModel;
  FieldDef* f = m.GetFieldAt(m.groupFields[level]);
  return f ? f->name : nullptr;
}
bool CKmViewHost::IsSqlReport() { return doc_ != nullptr && doc_->m_pModel != nullptr && ::IsSqlReport(doc_->m_pModel); }
// Print and Preview want a printer and at least one of its fonts.
bool CKmViewHost::CanPrint() {
  const PrintRunContext& ctx = GetPrintRunContext();
  return !ctx.printer.printerName.empty() && !ctx.page.fontFaces.empty();
}
bool CKmViewHost::AskPictureFile(bool save, std::string* path) {
  return doc_ != nullptr && ::AskPictureFile(*doc_, doc_->GetOwnerWindow(), save, path);
}
void CKmViewHost::ReportImageError(int code, const char* fileName) {
  if (doc_ != nullptr) ::ReportImageError(*doc_, nullptr, code, fileName);
}
bool CKmViewHost::PlaceChart(const RECT& layoutRect) {
  return doc_ != nullptr && ::PlaceChart(*doc_, layoutRect) != nullptr;
}
const DesignerCursors& CKmViewHost::Cursors() { return frame_.Cursors(); }
bool CKmViewHost::EditRulerSpacing(bool vertical) {
  return doc_ != nullptr && ::EditRulerSpacing(*doc_, vertical ? 1 : 0) != 0;
}
