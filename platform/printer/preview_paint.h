// The preview's pages on a window: the stored page replayed (ordinal 24) on
// the painter of a paint DC, and what the page store holds.
#pragma once

#include "platform/printer/page_driver.h"
#include "platform/win/window.h"

#include <cstddef>

// Ordinal 24 with the clip onto the DC of WM_PAINT; 0 when the driver
// refuses the page (the caller's "out of memory"), 1 otherwise.
int ReplayPreviewOnDc(PageDriver* driver, PageOutputState* state, HDC dc, const PageRect* clip);
int PreviewStoredPages(const PageOutputState* state);
size_t PreviewStoredBytes(const PageOutputState* state);
