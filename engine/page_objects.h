// Graphic objects of a band placed on the page after the lines they belong
// to: lines and boxes, opened at their first line and drawn at their end
// line (cut at a page end and continued on the next page), and pictures.
// Charts are drawn by chart output; embedded objects have no renderer here
// yet: their waiting marks are cleared and nothing is drawn.
#pragma once

#include "engine/band_output.h"

// Places every waiting object of the kind whose line is in band and not
// after lastLine, y being the bottom of the line just output (decipoints).
// 0 when the library refused one (the run state is then -1).
int OutputWaitingPictures(ReportRun* run, int band, int lastLine, LONG y);
int OutputWaitingCharts(ReportRun* run, int band, int lastLine, LONG y);
int OutputWaitingOleItems(ReportRun* run, int band, int lastLine, LONG y);

// After output line line of band, whose bottom is at y and which took
// lineHeight decipoints: opens the lines and boxes starting there and draws
// those ending there. 0 when the library refused one.
int TrackSpanningGraphics(ReportRun* run, int band, int line, LONG y, LONG lineHeight);
// At a page end: every open line and box is drawn down to the page's last
// usable position (without its bottom side) and opens again on the next
// page (ReopenSpanningGraphics; band output also does it at the start of the
// next band that is not a page band). Whoever ends a page calls it first.
int CloseSpanningGraphicsAtPageEnd(ReportRun* run);
// After the new page has begun (its header output): the lines and boxes cut
// at the last page end open again at the current position. Nothing happens
// on the page (and column) where they were cut.
void ReopenSpanningGraphics(ReportRun* run);
// For the run's page steps: at a page end the open lines and boxes are cut,
// once the next page has begun they open again.
void SpanningGraphicsAtPageChange(ReportRun* run);

// Draws one line or box whose end line has its bottom at y.
int OutputLineOrBox(ReportRun* run, ItemOutput* item, LONG y, LONG lineHeight);
// The same, and a picture whose line's bottom is at y, moved right by shift
// screen pixels (one record's copy in a records-across row).
int OutputLineOrBoxShifted(ReportRun* run, ItemOutput* item, LONG y, LONG lineHeight, LONG shift);
int OutputPictureShifted(ReportRun* run, ItemOutput* item, LONG y, LONG shift);

// Where a picture, chart or embedded object goes: x and sizes in screen
// pixels (x moved right by shift), the bottom y in printer pixels.
struct GraphicPlace {
  WORD x = 0, y = 0, width = 0, height = 0;
};
GraphicPlace PlaceGraphic(ReportRun* run, const ItemOutput& item, LONG shift, LONG y);
// A record the library refused: the memory message once, run state -1; 0.
int RefuseGraphic(ReportRun* run);
