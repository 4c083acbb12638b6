// Painting the layout view: the new-page guides, boxes and lines with their
// borders, patterns and backgrounds, pictures, charts and OLE items, the
// dotted grid, texts and fields in their fonts and colours, and the handles
// of the selection. Everything is drawn in view coordinates (layout pixels
// less the scroll offsets) and only where it meets the update rectangle.
#pragma once

#include "layout/layout_records.h"
#include "platform/win/gdi.h"

class CKmView;
struct LineBoxItem;

void DrawLayoutView(CKmView& view, HDC dc, const RECT& update);
// Not held for undo or in the designer's clipboard, and meeting the update
// rectangle (edges included) with its handles.
bool IsObjectVisible(const CKmView& view, const ReportItemHead& item, const RECT& update);
void DrawLineOrBox(HDC dc, const LineBoxItem& item, const RECT& viewRect);
void DrawGrid(CKmView& view, HDC dc, const RECT& update);
// The text a field or text item shows on the layout (field names when asked).
std::string ItemDisplayText(CKmView& view, const ReportItemHead& item);
