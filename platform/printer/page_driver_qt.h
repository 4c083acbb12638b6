// The printer library's Qt side, for the window layer and the printer tests:
// replaying stored preview pages onto any painter.
#pragma once

#include "platform/printer/page_driver.h"

#include <QPainter>
#include <QRectF>

PageDriver* CreateQtPageDriver();

// Pages the preview has stored so far.
int StoredPreviewPageCount(const PageOutputState* s);
// What the stored pages take in memory (see PageOutputState::previewStoreLimit).
size_t StoredPreviewBytes(const PageOutputState* s);
// Draws stored page index (or, with index -1, the page just finished) so that
// the paper fills paperRect of the painter. False when there is no such page.
bool ReplayPreviewPage(const PageOutputState* s, int index, QPainter* painter, const QRectF& paperRect);
// The paper of the open device in decipoints.
QSizeF DriverPaperDecipoints(const PageOutputState* s);
// Whether a run writing straight into a PDF file leaves the layout of its
// lines to the file writer's thread (on unless switched off, for the tests
// comparing the two).
void SetPageDriverDefersLines(bool defer);
