#include "platform/printer/preview_paint.h"

#include "platform/printer/page_driver_qt.h"
#include "platform/win/ui_internal.h"

int ReplayPreviewOnDc(PageDriver* driver, PageOutputState* state, HDC dc, const PageRect* clip) {
  QPainter* painter = vt_ui::PainterOfDc(dc);
  if (driver == nullptr || state == nullptr || painter == nullptr) return 1;
  void* old = state->previewDC;
  state->previewDC = painter;
  const int result = driver->ReplayPage(state, clip);
  state->previewDC = old;
  return result;
}

int PreviewStoredPages(const PageOutputState* state) { return StoredPreviewPageCount(state); }

size_t PreviewStoredBytes(const PageOutputState* state) { return StoredPreviewBytes(state); }
