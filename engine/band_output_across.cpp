// Records across: the Record bands of one row collected line by line and sent
// side by side, with the lines, boxes and pictures of each record.
#include "engine/band_output.h"
#include "engine/run_report.h"

#include "engine/band_line_helpers.h"
#include "engine/chart_output.h"
#include "engine/output_messages.h"
#include "engine/page_objects.h"
#include "engine/page_totals.h"
#include "engine/report_run.h"

#include <algorithm>

namespace {

int FirstRecordLine(const BandOutputState* s) {
  const BandLineTable& t = s->layout->Lines();
  for (int i = 0; i <= t.lastUsed && i < kBandLineCount; ++i)
    if (t.lines[i].kind == kBandRecord) return i;
  return -1;
}

AcrossCell* Cell(BandOutputState* s, int place, int line) {
  if (line < 0 || line >= s->linesPerRecord || place < 0) return nullptr;
  size_t i = static_cast<size_t>(place) * static_cast<size_t>(s->linesPerRecord) + static_cast<size_t>(line);
  return i < s->row.size() ? &s->row[i] : nullptr;
}

// The row line a Record band line went to: page-break lines and lines that
// do not print in this pass send nothing.
bool SendsRowLine(const BandLineRec& line) { return (line.flags & kLinePrinted) && !(line.flags & kLineNewPageFlag); }
int RowLineOf(const BandOutputState* s, int firstLine, int bandLine) {
  const BandLineRec* L = s->layout->Lines().lines;
  int n = 0;
  for (int i = firstLine; i < bandLine && i < kBandLineCount; ++i) n += SendsRowLine(L[i]) ? 1 : 0;
  return n;
}
// The Record band line that went to a row line.
int BandLineOfRow(const BandOutputState* s, int firstLine, int row) {
  const BandLineRec* L = s->layout->Lines().lines;
  for (int i = firstLine; i < kBandLineCount && L[i].kind == kBandRecord; ++i)
    if (SendsRowLine(L[i]) && row-- == 0) return i;
  return firstLine;
}

// The row's lines and boxes, one copy per record, from the top of their first
// row line to the bottom of their last; pictures at the bottom of their line.
// A page break inside the row draws it in parts: each part (row lines from
// to to) gets what stands on its lines, a box cut by the break on both pages.
int DrawRowGraphics(ReportRun* run, int firstLine, const std::vector<LONG>& tops,
                    const std::vector<LONG>& bottoms, int records, int from, int to) {
  BandOutputState* s = run->band;
  const int lines = static_cast<int>(bottoms.size());
  to = std::min(to, lines - 1);
  for (ItemOutput& it : s->items) {
    const ReportItemHead& h = *it.head;
    if (!IsGraphicItem(h) || it.line < firstLine) continue;
    if (s->layout->Lines().lines[it.line].kind != kBandRecord) continue;
    const int start = RowLineOf(s, firstLine, it.line);
    if (start >= lines) continue;
    const int end = std::min(lines - 1, std::max(start, RowLineOf(s, firstLine, it.endLine)));
    if (end < from || start > to) continue;
    // A chart is drawn once and placed for each record of the row.
    if (h.flags & kItemKindChart) {
      if (start >= from && !ImbedChart(run, it, bottoms[start], 0, records, s->columnWidth)) return 0;
      continue;
    }
    const int first = std::max(start, from), last = std::min(end, to);
    ItemOutput copy = it;
    copy.openY = std::max<LONG>(1, tops[first]);
    // Cut at the bottom: the part ends with the last line of this page.
    LineBoxItem cut;
    if (const LineBoxItem* lb = LineBoxOfItem(&h); lb != nullptr && last < end) {
      cut = *lb;
      copy.endLine = BandLineOfRow(s, firstLine, last);
      cut.head.bottom = s->layout->Lines().lines[copy.endLine].bottom;
      copy.head = &cut.head;
    }
    for (int place = 0; place < records; ++place) {
      const LONG shift = static_cast<LONG>(place) * s->columnWidth;
      int ok = 1;
      if (IsLineOrBox(h)) {
        ok = OutputLineOrBoxShifted(run, &copy, bottoms[last], bottoms[last] - tops[last], shift);
      } else if ((h.flags & kItemKindPicture) && start >= from && run->driver->HasEntry(20)) {
        ok = OutputPictureShifted(run, &it, bottoms[start], shift);
      }
      if (!ok) return 0;
    }
  }
  return 1;
}

}  // namespace

bool IsAcrossBand(const ReportRun* run, int band) {
  return band == kBandRecord && run->recordsAcrossExtra > 0 && run->band != nullptr;
}

void ClearPageCells(ReportRun* run) {
  BandOutputState* s = run->band;
  if (s == nullptr) return;
  for (AcrossCell& c : s->row) c = AcrossCell();
  s->rowRecords = 0;
  s->rowLines = 0;
  s->recordLines = 0;
  s->rowFirstLeftOut = false;
  s->rowTopLaidOut = false;
  s->rowFirstAtTop.clear();
  s->rowMarks.clear();
  s->rowTopMarks.clear();
}

void RowStartsPage(ReportRun* run) {
  BandOutputState* s = run->band;
  if (s == nullptr) return;
  if (s->rowTopLaidOut) {
    for (int line = 0; line < s->linesPerRecord; ++line)
      if (AcrossCell* c = Cell(s, 0, line))
        c->text = static_cast<size_t>(line) < s->rowFirstAtTop.size() ? s->rowFirstAtTop[static_cast<size_t>(line)]
                                                                       : std::vector<BYTE>();
  }
  for (const std::vector<int>* marks : {&s->rowMarks, &s->rowTopMarks})
    for (int e : *marks)
      if (e >= 0 && static_cast<size_t>(e) < s->items.size()) MarkGroupField(run, &s->items[static_cast<size_t>(e)]);
}

DWORD MeasureRowLine(ReportRun* run, const std::vector<BYTE>* extraText, int line, LONG minHeight) {
  BandOutputState* s = run->band;
  const DWORD byDefault = static_cast<DWORD>(DefaultLineHeight(run)) & 0xFFFF;
  AcrossCell* first = Cell(s, 0, line);
  if (first == nullptr || (first->flags & kCellSent)) return byDefault;
  if (minHeight != 0 || first->height != 0) return static_cast<DWORD>(std::max<LONG>(minHeight, first->height)) & 0xFFFF;
  DWORD height = 0, depth = 0;
  auto measure = [&](const std::vector<BYTE>& text) {
    if (text.empty() || !run->driver->HasEntry(8)) return;
    DWORD m = run->driver->MeasureLine(run->page, text.data(), static_cast<int>(text.size()),
                                       s->measureSwitch ? 0 : 1);
    height = std::max(height, m & 0xFFFF);
    depth = std::max(depth, m >> 16);
  };
  for (int place = 0; place < s->rowRecords; ++place)
    if (AcrossCell* c = Cell(s, place, line)) measure(c->text);
  if (extraText) measure(*extraText);
  if (height == 0) return byDefault;
  return height | (depth << 16);
}

int PutTextRun(ReportRun* run, const std::vector<BYTE>& lineText) {
  if (lineText.empty() || !run->driver->HasEntry(14)) return 1;
  return run->driver->OutputLine(run->page, lineText.data(), static_cast<int>(lineText.size())) ? 1 : 0;
}

void PutRowLine(ReportRun* run, int line) {
  BandOutputState* s = run->band;
  AcrossCell* first = Cell(s, 0, line);
  if (first == nullptr || (first->flags & kCellSent) || !LinesVisible(run)) return;
  for (int place = 0; place < s->rowRecords; ++place) {
    AcrossCell* c = Cell(s, place, line);
    if (c && !PutTextRun(run, c->text)) {
      if (RunStateOf(run) == 0) ShowOutputRefused(run);
      RunStateOf(run) = -1;
      return;
    }
  }
  first->flags |= kCellSent;
}

int FlushAcrossRow(ReportRun* run, int fromLine) {
  BandOutputState* s = run->band;
  if (s == nullptr || s->layout == nullptr) return 1;
  PageDriver* d = run->driver;
  if (s->rowRecords == 0) {
    ClearPageCells(run);
    return 1;
  }
  if (d == nullptr || !d->HasEntry(5) || !d->HasEntry(6) || !d->HasEntry(22)) {
    ClearPageCells(run);
    return 0;
  }
  const int firstLine = std::max(0, FirstRecordLine(s));
  const int lines = std::min(s->rowLines, s->linesPerRecord);
  int result = 1;

  // The row stays together: when it does not fit below what the page holds,
  // it goes to the next page.
  LONG rowHeight = 0;
  for (int line = std::max(0, fromLine); line < lines; ++line) {
    DWORD m = MeasureRowLine(run, nullptr, line, 0);
    rowHeight += static_cast<LONG>((m & 0xFFFF) + (m >> 16));
  }
  rowHeight = std::max(rowHeight, s->fixedRecordHeight);
  if (!run->topOfPage && rowHeight > RoomLeftOnPage(run, run->pageFooterHeight)) {
    s->breakBand = kBandRecord;
    s->breakInGroupFooter = false;
    // The page ends without the row: its totals are over the rows it holds.
    LeaveRowToNextPage(run->calc);
    if (!CloseSpanningGraphicsAtPageEnd(run) || !HandlePageOverflow(run->doc, 0)) {
      ClearPageCells(run);
      return 0;
    }
    StartPageWithRow(run->calc);
    RowStartsPage(run);
  }
  ForgetRowFigures(run->calc);

  const LONG rowTop = d->CurrentY(run->page);
  const int32_t rowPage = run->pageCount;
  const int records = s->rowRecords;
  std::vector<LONG> tops(static_cast<size_t>(std::max(0, lines)), 0), bottoms(tops.size(), 0);
  // The row's graphics on the page its lines from partFrom on went to.
  int partFrom = std::max(0, fromLine);
  auto drawPart = [&](int to) {
    const bool ok = !LinesVisible(run) || DrawRowGraphics(run, firstLine, tops, bottoms, records, partFrom, to);
    partFrom = to + 1;
    return ok;
  };
  // The record height the fit tests read is this row's, as it is one
  // record's when records are not across: the rows above are already off
  // the room left, and a group break after many rows would see no room.
  run->recordHeight = 0;
  for (int line = std::max(0, fromLine); line < lines && RunStateOf(run) == 0; ++line) {
    AcrossCell* first = Cell(s, 0, line);
    tops[line] = d->CurrentY(run->page);
    if (!(first->flags & kCellSent)) {
      // Visible by the page the line lands on, which a page end in the row changes.
      const int visible = LinesVisible(run) ? 1 : 0;
      DWORD m = MeasureRowLine(run, nullptr, line, 0);
      LONG height = static_cast<LONG>(m & 0xFFFF), depth = static_cast<LONG>(m >> 16);
      if (!d->AdvanceBeforeLine(run->page, height, visible)) {
        if (RunStateOf(run) == 0) ShowOutputRefused(run);
        RunStateOf(run) = -2;
        result = 0;
        break;
      }
      PutRowLine(run, line);
      run->recordHeight += height + depth;
      d->AdvanceAfterLine(run->page, depth, visible);
      if (visible) s->pageHasOutput = true;
      run->topOfPage = 0;
    }
    bottoms[line] = d->CurrentY(run->page);
    if (first->flags & kCellPageAfter) {
      s->breakBand = kBandRecord;
      s->breakInGroupFooter = false;
      if (!drawPart(line) || !HandlePageOverflow(run->doc, 0)) {
        result = 0;
        break;
      }
    }
  }
  if (result && RunStateOf(run) == 0 && partFrom < lines && !drawPart(lines - 1)) result = 0;
  // A label pitch: the row takes that height whatever its lines took.
  if (result && RunStateOf(run) == 0 && s->fixedRecordHeight > 0 && run->pageCount == rowPage) {
    run->fixedAdvance = s->fixedRecordHeight;
    run->advanceUsed = std::max<LONG>(0, d->CurrentY(run->page) - rowTop);
    if (!FlushPendingAdvance(run->doc)) result = 0;
  }
  ClearPageCells(run);
  return result && RunStateOf(run) == 0 ? 1 : 0;
}
