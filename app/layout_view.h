// The program's side of the design surface: what the layout view asks of the
// frame, the status line and the document, and the frame's panes as the
// document's views (every redraw hint reaches them here).
#pragma once

#include "designer/band_view.h"
#include "designer/design_view.h"
#include "designer/ruler_view.h"
#include "foundation/doc_base.h"

class CKmDoc;
class CMainFrame;

class CKmViewHost : public DesignerHost {
 public:
  CKmViewHost(CMainFrame& frame, CKmDoc*& doc) : frame_(frame), doc_(doc) {}
  WORD FrameMode() const override;
  bool OutputRunning() const override;
  void ShowPrompt(const ReportItemHead* object) override;
  void ShowPosition() override;
  void ShowMessage(const char* text) override;
  void RefreshStatus() override;
  void ShowReportName() override;
  BOOL ForwardCommand(UINT id) override;
  int ForwardUpdate(UINT id) override;
  void UpdateFormatBar() override;
  const char* GroupFieldName(int level) override;
  bool IsSqlReport() override;
  bool CanPrint() override;
  bool AskPictureFile(bool save, std::string* path) override;
  void ReportImageError(int code, const char* fileName) override;
  bool PlaceChart(const RECT& layoutRect) override;
  const DesignerCursors& Cursors() override;
  bool EditRulerSpacing(bool vertical) override;
  // Drops and handed-over queries (view_drops.cpp).
  bool IsDroppableFile(const char* path) override;
  bool OpenDroppedFile(const char* path) override;
  bool NewReportFromQuery(const QueryDesc& query) override;

 private:
  CMainFrame& frame_;
  CKmDoc*& doc_;
};

// The band pane, the rulers and the layout view as the document's views.
class FramePanes : public DocViews {
 public:
  explicit FramePanes(CMainFrame& frame) : frame_(frame) {}
  void UpdateAllViews(int hint, void* sender) override;
  // Rulers and scroll bars as the document's switches say, after a report
  // is opened, made or closed.
  void SyncPanes();

 private:
  CMainFrame& frame_;
};
