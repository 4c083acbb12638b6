#include "engine/band_output.h"

#include "foundation/doc_base.h"
#include "layout/item_tables.h"
#include "engine/band_line_helpers.h"
#include "engine/line_text.h"
#include "engine/output_messages.h"
#include "engine/page_objects.h"
#include "engine/page_totals.h"
#include "engine/report_run.h"
#include "engine/run_report.h"
#include "expr/document_format.h"
#include "foundation/page_metrics.h"
#include "layout/page_setup.h"
#include "layout/picture_chars.h"
#include "foundation/units.h"
#include "core/composite.h"
#include "core/fields.h"

#include <bitset>
#include <algorithm>

// The column move of a line that a page overflow carried to another column
// (engine/output_stream.cpp).
void ShiftLineColumns(BYTE* text, int length, int fromColumn, int toColumn, int columnWidth);

namespace {

constexpr int kLineLimit = 30000;

bool IsGroupHeader(int band) { return band >= kBandGroupHeader && band <= kBandGroupHeader + 7; }
bool IsGroupFooter(int band) { return band >= kBandGroupFooter && band <= kBandGroupFooter + 7; }
// Bands whose empty lines always print and which never break a page themselves.
bool IsPageLikeBand(int band) {
  return band == kBandPageHeader || band == kBandPageFooter || band == kBandSummary || band == kBandTitle;
}

BYTE GroupOptions(ReportRun* run, int level) {
  if (run->calc == nullptr || level < 0 || level >= run->calc->levelsUsed) return 0;
  return run->calc->levels[level].options;
}

// A group header with Swap Header, or a group footer with Swap Footer, goes
// with the page and holds as many lines as it has.
// The band being laid out (0 between bands): the one a page overflow
// interrupts when the page footer is output from inside it.
int BandInProgress(const ReportRun* run) { return run->calc != nullptr ? run->calc->bandInProgress : 0; }

bool IsSwappedBand(ReportRun* run, int band) {
  if (IsGroupHeader(band)) return (GroupOptions(run, band - kBandGroupHeader) & kGroupSwapHeader) != 0;
  if (IsGroupFooter(band)) return (GroupOptions(run, band - kBandGroupFooter) & kGroupSwapFooter) != 0;
  return false;
}

}  // namespace

void ShowOutputRefused(ReportRun*) { ShowOutputError(OutputMessageText(kIdPrintMemory)); }

int& RunStateOf(ReportRun* run) {
  static int detached = -1;  // no document: stopped
  if (run && run->doc) return run->doc->m_nRunState;
  detached = -1;
  return detached;
}

int RunModeOf(const ReportRun* run) { return run && run->doc ? run->doc->m_nRunMode : 0; }

bool LinesVisible(const ReportRun* run) { return run->pageCount >= run->startPage || RunModeOf(run) == 1; }

LONG DefaultLineHeight(const ReportRun* run) { return 720 / (run->linesPerInch > 0 ? run->linesPerInch : 6); }

LONG BandColumnOffset(const ReportRun* run, int band) {
  if (IsAcrossBand(run, band)) return static_cast<LONG>(run->band->rowRecords) * run->band->columnWidth;
  if (run->columnsAcross <= 1 || run->band == nullptr) return 0;
  if (band != kBandRecord && band != kBandSummary && !IsGroupHeader(band) && !IsGroupFooter(band)) return 0;
  return static_cast<LONG>(run->currentColumn > 1 ? run->currentColumn - 1 : 0) * run->band->columnWidth;
}

LONG LayoutToDecipoints(const BandOutputState* s, LONG pixels) {
  if (pixels <= 0) return 0;
  return PixelsToDecipointsY(s->units, static_cast<DWORD>(LayoutToScreenY(s->units, static_cast<DWORD>(pixels))));
}

LONG ExplicitLineHeight(const BandOutputState* s, const BandLineRec& r) {
  if (r.heightMode == 0) return 0;
  if (r.heightMode == 1) return static_cast<LONG>(r.height & 0xFFFF);  // tenths of a point
  return LayoutToDecipoints(s, r.pixelHeight);
}

BandOutputState* EnsureBandOutput(ReportRun* run) {
  if (run->band == nullptr) run->band = new BandOutputState;
  return run->band;
}

void FreeBandOutput(ReportRun* run) {
  delete run->band;
  run->band = nullptr;
}

BandOutputState* PrepareBandOutput(KmDocBase* doc) {
  ReportRun* run = RunOf(doc);
  if (run == nullptr) return nullptr;
  if (run->band != nullptr && run->band->layout != nullptr) return run->band;
  BandOutputState* s = EnsureBandOutput(run);
  s->layout = doc->m_pLayout;
  TakeDocumentFormat(s->format, *doc);
  s->format.fonts = doc->m_pFonts;
  s->format.guillemet = GuillemetOfFontTable;
  if (s->layout != nullptr) s->units.layout = s->layout->metrics;
  if (run->page != nullptr) {
    s->units.printerX = static_cast<WORD>(run->page->printerResX);
    s->units.printerY = static_cast<WORD>(run->page->printerResY);
  }
  // Labels: each record of a row stands one record width (hundredths of an
  // inch, as the margins) to the right of the one before it; both orders of
  // labels place their columns one record width apart.
  if (const PageSetupRec* ps = doc->m_pPageSetup)
    if (LabelColumns(*ps) >= 2 && RecordWidthHundredths(*doc) > 0)
      s->columnWidth = static_cast<LONG>(int64_t(RecordWidthHundredths(*doc)) * s->units.layout.dpiX / 100);
  // A label pitch: every record takes that height, and its band never breaks
  // the page.
  s->fixedRecordHeight = RecordPitch720(*doc);
  return s;
}

namespace {

// Whether any item could ever hold item i back: one of its band, on an
// earlier line of the band or higher on its own, that overlaps its columns.
// The same test IsItemHeld makes, less the states that change as lines go.
bool MayBeHeld(const BandOutputState& s, size_t i) {
  const ItemOutput& it = s.items[i];
  if (it.line < 0 || it.line >= kBandLineCount) return true;
  const BandLineRec* L = s.layout->Lines().lines;
  const int band = L[it.line].kind;
  const ReportItemHead& h = *it.head;
  size_t begin = 0, end = 0;
  ItemsAboveInBand(s, it, band, &begin, &end);
  for (size_t o = begin; o < end; ++o) {
    if (o == i) continue;
    const ItemOutput& other = s.items[o];
    if (other.line < 0 || other.line >= kBandLineCount || L[other.line].kind != band) continue;
    const ReportItemHead& oh = *other.head;
    if (oh.right < h.left || oh.left >= h.right) continue;
    if (other.line < it.line) return true;
    if (other.line == it.line && oh.top < h.top && !IsLineOrBox(h) && !IsLineOrBox(oh)) return true;
  }
  return false;
}

}  // namespace

void ItemsAboveInBand(const BandOutputState& s, const ItemOutput& it, int band, size_t* begin, size_t* end) {
  const BandLineRec* L = s.layout->Lines().lines;
  int firstLine = it.line;
  while (firstLine > 0 && L[firstLine - 1].kind == band) --firstLine;
  *begin = static_cast<size_t>(s.firstItemOfLine[firstLine]);
  *end = static_cast<size_t>(it.line) + 1 < s.firstItemOfLine.size()
             ? static_cast<size_t>(s.firstItemOfLine[it.line + 1])
             : s.items.size();
  *end = std::min(*end, s.items.size());
}

void BuildBandItemIndex(BandOutputState* s) {
  s->items.clear();
  s->firstItemOfLine.assign(kBandLineTableRecords + 1, 0);
  s->built = true;
  s->firstLineOfBand.fill(-1);
  s->firstUsedLineOfBand.fill(-1);
  s->lastUsedLineOfBand.fill(-1);
  if (s->layout == nullptr) return;
  LayoutTables& t = *s->layout;
  if (t.orderHead == nullptr) BuildLayoutItemOrder(t);
  const BandLineTable& lines = t.Lines();
  for (ReportItemHead* h = t.orderHead; h != nullptr; h = h->nextInOrder) {
    if (h->flags & (kItemDeleted | kItemInClipboard)) continue;
    // An item whose kind bits name no one record is never output.
    if (ShapeOfFlags(h->flags) == ItemShape::Mixed) continue;
    ItemOutput it;
    it.head = h;
    it.line = h->bandLine;
    it.endLine = it.line;
    if (FieldDef* f = FieldOfItem(h); f != nullptr && t.model != nullptr)
      it.groupLevel = static_cast<int8_t>(GroupLevelOf(t.model, t.model->GetFieldIndex(f)));
    if (const LineBoxItem* lb = LineBoxOfItem(h)) {
      it.sides = (h->flags & kItemKindLine) ? 0 : (lb->borders & 0x0F);
      int end = LineAtY(t, h->bottom);
      // The end line must be a used line of the same run of lines; anything
      // else (a damaged layout) ends the object on its own line.
      if (end >= it.line && end <= lines.lastUsed && end < kBandLineCount) it.endLine = end;
    }
    s->items.push_back(std::move(it));
  }
  // The order is by band line, so each line's items are one stretch.
  std::stable_sort(s->items.begin(), s->items.end(),
                   [](const ItemOutput& a, const ItemOutput& b) { return a.line < b.line; });
  size_t e = 0;
  for (int l = 0; l <= kBandLineTableRecords; ++l) {
    while (e < s->items.size() && s->items[e].line < l) ++e;
    s->firstItemOfLine[l] = static_cast<int>(e);
  }
  for (size_t i = 0; i < s->items.size(); ++i) s->items[i].mayBeHeld = MayBeHeld(*s, i);
  // From the last line up: the first of each kind is the one that stays.
  const int lastUsed = std::min(lines.lastUsed, kBandLineCount - 1);
  for (int l = kBandLineCount - 1; l >= 0; --l) {
    const BYTE kind = lines.lines[l].kind;
    s->firstLineOfBand[kind] = static_cast<int16_t>(l);
    if (l > lastUsed) continue;
    s->firstUsedLineOfBand[kind] = static_cast<int16_t>(l);
    if (s->lastUsedLineOfBand[kind] < 0) s->lastUsedLineOfBand[kind] = static_cast<int16_t>(l);
  }
}

void ClearPrintOnceMarks(BandOutputState* s, int level) {
  for (ItemOutput& it : s->items)
    if (it.groupLevel > 0 && (level < 0 || it.groupLevel == level + 1)) it.printedOnce = false;
}

const BYTE* GetFieldValueShown(ReportRun* run, const FieldDef* field, int band) {
  const BYTE* current = field->value;
  const BYTE* previous = field->previous;
  if (previous == nullptr || band == kBandRecord || band == kBandTitle) return current;
  // Before band output began (a band measured for the first fit test) no
  // band is being broken or repeated.
  static const BandOutputState kIdle;
  const BandOutputState* s = run->band != nullptr ? run->band : &kIdle;
  if (band == kBandPageFooter) {
    if (run->calc != nullptr && ShowsClosedPageFigure(run->calc, field)) return previous;
    // Whatever band then breaks the page (the next group's header, a row
    // across, the next record), it ends after the finished group; the
    // page's own figures are the page's.
    if (run->groupEndedOnPage && !IsPageFigure(run->calc, field)) return previous;
    // A Page Footer the run draws itself is no band in overflow: the band
    // noted as breaking the page tells.
    const int inOverflow = BandInProgress(run) != kBandPageFooter ? BandInProgress(run) : 0;
    bool fromCurrent = s->breakBand == kBandRecord || IsGroupHeader(s->breakBand) || s->recordRepeating ||
                       run->recordRepeating || (inOverflow != 0 && !IsGroupFooter(inOverflow));
    return fromCurrent ? current : previous;
  }
  if (band == kBandPageHeader || IsGroupHeader(band)) {
    bool fromPrevious = s->breakInGroupFooter || run->recordedRepeatBand == band;
    return fromPrevious ? previous : current;
  }
  return previous;
}

int AliasValueStatus(ReportRun* run, const FieldDef* field, const BYTE* value) {
  const BandOutputState* s = run->band;
  const FieldDef* f = (field->flags & kFieldAlias) && s != nullptr && s->format.model != nullptr
                         ? s->format.model->AliasedField(field)
                         : field;
  bool current = value == nullptr || value == field->value;
  return (current ? f->valueStatus : f->previousStatus) & 7;
}

void RecordHasItsPage(ReportRun* run) {
  if (run->calc != nullptr) TakeRecordPageTotals(run->calc);
  run->groupEndedOnPage = false;
}

void NoteBreakBand(ReportRun* run, int band) {
  if (run == nullptr || run->band == nullptr) return;
  run->band->breakBand = band;
  run->band->breakInGroupFooter = false;
}

int SendOutputLine(ReportRun* run, const std::vector<BYTE>& lineText, LONG fitLimit, int band,
                   LONG* trailingUsed, bool recordLine, int kind, LONG height, int layoutLine) {
  BandOutputState* s = run->band;
  PageDriver* d = run->driver;
  PageOutputState* ps = run->page;
  int& runState = RunStateOf(run);
  if (runState != 0) return runState;
  if (d == nullptr || !d->HasEntry(5) || !d->HasEntry(6) || !d->HasEntry(8) || !d->HasEntry(13)) return 0;
  const bool empty = kind != kLineText;
  const bool pageBand = IsPageLikeBand(band);
  if (kind == kLineEmpty && run->topOfPage && !pageBand) return 0;

  const int count = std::min<int>(static_cast<int>(lineText.size()), kMaxLineText);
  if (fitLimit == 0 && IsAcrossBand(run, band)) {
    // The line goes to this record's place in the row; the row is measured
    // and sent as a whole.
    const int line = s->recordLines;
    if (line >= s->linesPerRecord) return 0;
    if (s->layingOutRowTop) {
      // The row's first record as at the top of a page: its lines apart.
      if (s->rowFirstAtTop.size() <= static_cast<size_t>(line)) s->rowFirstAtTop.resize(static_cast<size_t>(line) + 1);
      if (!empty) s->rowFirstAtTop[static_cast<size_t>(line)].assign(lineText.begin(), lineText.begin() + count);
      ++s->recordLines;
      return runState;
    }
    const size_t at = static_cast<size_t>(s->rowRecords) * static_cast<size_t>(s->linesPerRecord) +
                      static_cast<size_t>(line);
    if (at >= s->row.size()) return 0;
    if (!empty) s->row[at].text.insert(s->row[at].text.end(), lineText.begin(), lineText.begin() + count);
    AcrossCell& first = s->row[static_cast<size_t>(line)];
    first.height = static_cast<WORD>(std::max<LONG>(first.height, std::min<LONG>(height, 0xFFFF)));
    ++s->recordLines;
    if (!empty) *trailingUsed = 0;
    PumpRunMessages(run);
    return runState;
  }
  LONG depth = 0;
  if (height == 0 && !empty && count > 0) {
    DWORD m = d->MeasureLine(ps, lineText.data(), count, s->measureSwitch ? 0 : 1);
    height = static_cast<LONG>(m & 0xFFFF);
    depth = static_cast<LONG>(m >> 16);
  }
  if (height == 0) height = DefaultLineHeight(run);

  if (fitLimit != 0) {
    s->measuredHeight += height + depth;
    if (empty) {
      s->measuredTrailing += height + depth;
      return 0;
    }
    s->measuredTrailing = 0;
    return s->measuredHeight > fitLimit && !run->topOfPage ? 1 : 0;
  }

  std::vector<BYTE> shifted;
  const std::vector<BYTE>* text = &lineText;
  if (!pageBand && RunModeOf(run) == 0 && !s->swappedFooterOutput && !run->topOfPage) {
    LONG room = RoomLeftOnPage(run, run->pageFooterHeight);
    if (height + depth > room) {
      if (empty) return 0;  // a blank that does not fit is dropped, not carried over
      s->breakBand = band;
      s->breakInGroupFooter = IsGroupFooter(band);
      const uint32_t fromColumn = run->currentColumn;
      if (!CloseSpanningGraphicsAtPageEnd(run)) return 1;
      if (!HandlePageOverflow(run->doc, 0)) return 1;
      s->breakInGroupFooter = false;
      if (runState != 0) return runState;
      ReopenSpanningGraphics(run);
      if (run->columnsAcross > 1 && run->currentColumn != fromColumn) {
        shifted.assign(lineText.begin(), lineText.begin() + count);
        ShiftLineColumns(shifted.data(), count, static_cast<int>(fromColumn), static_cast<int>(run->currentColumn),
                         static_cast<int>(s->columnWidth));
        text = &shifted;
      }
    }
  } else if ((band == kBandTitle || band == kBandSummary) && !run->topOfPage && !empty) {
    // Without the footer's reserve it may still fit; if not even then, the
    // line starts a new page of its own.
    if (height + depth > RoomLeftOnPage(run, 0)) {
      if (!CloseSpanningGraphicsAtPageEnd(run)) return 1;
      if (NewPageForBand(run->doc, band, 1) != 0) return 1;
      if (runState != 0) return runState;
      ReopenSpanningGraphics(run);
    }
  }

  // The page store of an RTF export learns each line's band, an HTML
  // export's also its layout line.
  if (ps != nullptr && (run->exportRun == kExportRunRtf || run->exportRun == kExportRunHtml)) {
    ps->currentBand = band;
    if (run->exportRun == kExportRunHtml) ps->currentLayoutLine = layoutLine;
  }

  // Visible by the page the line lands on: a line carried over to the
  // range's first page shows there.
  const int visible = LinesVisible(run) ? 1 : 0;
  // The record's first text line has its page now: the record counts there.
  if (!empty && band == kBandRecord) RecordHasItsPage(run);
  if (!empty) {
    if (!d->AdvanceBeforeLine(ps, height, visible)) {
      if (runState == 0) ShowOutputRefused(run);
      runState = -2;
      return 1;
    }
    if (visible && count > 0 && d->HasEntry(14) && !d->OutputLine(ps, text->data(), count)) {
      if (runState == 0) ShowOutputRefused(run);
      runState = -1;
      return 1;
    }
    d->AdvanceAfterLine(ps, depth, visible);
    if (recordLine) run->recordHeight += height + depth;
    *trailingUsed = 0;
  } else if (!(kind == kLineBoxSpan && recordLine && run->topOfPage)) {
    *trailingUsed += height;
    d->MoveDown(ps, height, visible);  // a refused move only loses this blank
    if (recordLine) run->recordHeight += height;
  }

  if (visible) s->pageHasOutput = true;
  if (band != kBandPageHeader) run->topOfPage = false;
  PumpRunMessages(run);
  return runState;
}

namespace {

bool LineHasItems(const BandOutputState* s, int line) {
  return s->firstItemOfLine[line] < s->firstItemOfLine[line + 1];
}

// Whether a printed line after the band's page-break line holds items or
// breaks a page again: something of the band follows on the new page.
bool BandGoesOnAfter(const BandOutputState* s, int line, int last) {
  const BandLineRec* L = s->layout->Lines().lines;
  for (int l = line + 1; l <= last; ++l)
    if ((L[l].flags & kLinePrinted) && (LineHasItems(s, l) || (L[l].flags & kLineNewPageFlag))) return true;
  return false;
}

// A group footer with Reset Page or Swap Header breaks its page only when
// something still follows on the band (after the last record, also when an
// enclosing group's footer still prints).
bool FooterBreakWanted(ReportRun* run, int band, int line, int last) {
  const bool later = BandGoesOnAfter(run->band, line, last);
  const int level = band - kBandGroupFooter;
  const BYTE opts = GroupOptions(run, level);
  if (run->recordsEnded) return later || OuterFooterPending(run->doc, band);
  if (opts & (kGroupResetPage | kGroupSwapHeader)) return later;
  return true;
}

}  // namespace

namespace {

int OutputBandLines(ReportRun* run, int band, LONG fitLimit) {
  int& runState = RunStateOf(run);
  BandOutputState* s = run->band;
  if (s == nullptr || s->layout == nullptr || runState != 0) return runState;
  if (!s->built) BuildBandItemIndex(s);
  const bool measuring = fitLimit != 0;
  const int runMode = RunModeOf(run);
  BandLineTable& table = s->layout->Lines();
  BandLineRec* L = table.lines;
  const int lastUsed = std::min(table.lastUsed, kBandLineCount - 1);

  if (band < 0 || band >= static_cast<int>(s->firstUsedLineOfBand.size())) return runState;
  const int first = s->firstUsedLineOfBand[static_cast<size_t>(band)];
  const int last = s->lastUsedLineOfBand[static_cast<size_t>(band)];
  if (first < 0) return runState;
  const bool swapped = IsSwappedBand(run, band);
  const bool across = IsAcrossBand(run, band);
  const int lineLimit =
      (band == kBandPageHeader || band == kBandPageFooter || swapped || across) ? last - first + 1 : kLineLimit;
  if (across && !measuring) {
    const int lines = last - first + 1;
    const size_t cells = (static_cast<size_t>(run->recordsAcrossExtra) + 1) * static_cast<size_t>(lines);
    if (s->linesPerRecord != lines || s->row.size() != cells) {
      s->row.assign(cells, AcrossCell());
      s->linesPerRecord = lines;
      s->rowRecords = s->rowLines = 0;
    }
    s->recordLines = 0;
  }

  // Which lines print, and the blank height owed at the band's end.
  for (int i = first; i <= last; ++i) {
    bool printed = L[i].kind == band;
    if (printed && L[i].objectId >= 0 && runMode != 1) printed = IsLineShown(run->doc, i, band) != 0;
    if (printed) L[i].flags |= kLinePrinted;
    else L[i].flags &= static_cast<BYTE>(~kLinePrinted);
  }
  LONG trailingOwed = 0;
  for (int i = last; i >= first && !across; --i) {
    if (!(L[i].flags & kLinePrinted)) continue;
    if (LineHasItems(s, i)) break;
    LONG h = ExplicitLineHeight(s, L[i]);
    trailingOwed += h ? h : DefaultLineHeight(run);
  }

  // Items: fresh state; those of lines that do not print are done; the
  // lines inside a box spanning several lines keep their blank lines.
  std::bitset<kBandLineTableRecords + 1> inBox;
  for (int e = s->firstItemOfLine[first]; e < s->firstItemOfLine[last + 1]; ++e) {
    ItemOutput& it = s->items[e];
    BYTE keep = it.state & kItemWaiting;  // lines and boxes opened in an earlier band stay open
    it.state = keep;
    it.holdCount = 0;
    it.movedTo = -1;
    it.wrapLines = 0;
    it.wrapPos = 0;
    it.wrapText.clear();
    it.wrapStyles.clear();
    it.wrapAttrs.clear();
    if (!(L[it.line].flags & kLinePrinted)) it.state |= kItemDone;
    if ((it.head->flags & kItemKindBox) && it.endLine > it.line && (L[it.line].flags & kLinePrinted)) {
      for (int l = it.line + 1; l <= it.endLine && l <= lastUsed; ++l)
        if (L[l].flags & kLinePrinted) inBox[l] = true;
    }
  }
  if (!measuring) {
    // A band output from inside another (the page footer of an overflow)
    // keeps the counts of the band it interrupts.
    if (s->nesting == 1) s->waitingPictures = s->waitingCharts = s->waitingOleItems = 0;
    // Lines and boxes cut by the last page end open again where this band starts.
    if (band != kBandPageHeader && band != kBandPageFooter) ReopenSpanningGraphics(run);
  }

  // A record of a label pitch: where it starts, to fill the pitch at its end.
  const bool pitched = band == kBandRecord && !across && !measuring && s->fixedRecordHeight > 0 && run->driver &&
                       run->driver->HasEntry(22) && run->driver->HasEntry(13);
  const LONG pitchTop = pitched ? run->driver->CurrentY(run->page) : 0;
  const int32_t pitchPage = run->pageCount;

  int held = 0, continuing = 0, outputLines = 0;
  LONG trailingUsed = 0;
  bool anyOutput = false;
  bool repeat = false;
  int step = 0;
  int line = first;
  while (runState == 0 && outputLines < lineLimit && line < kBandLineCount &&
         (line <= last || continuing > 0 || held > 0)) {
    const bool inBand = line <= last;
    if (inBand && !(L[line].flags & kLinePrinted)) {
      ++line;
      continue;
    }
    // Labels' Record band (a fixed record height) never breaks a page.
    const bool breakLine = inBand && (L[line].flags & kLineNewPageFlag) &&
                           !(band == kBandRecord && s->fixedRecordHeight != 0);
    if (breakLine && continuing == 0 && held == 0) {
      if (runMode == 1) return 1;
      if (across && !measuring) {
        // The row breaks its page after the row line this record ended at.
        if (s->recordLines > 0) s->row[static_cast<size_t>(s->recordLines - 1)].flags |= kCellPageAfter;
      } else if (!measuring) {
        int failed = 0;
        if (band == kBandTitle || band == kBandSummary) {
          bool afterSummary = line > 0 && L[line - 1].kind == kBandSummary;
          if (!CloseSpanningGraphicsAtPageEnd(run)) return 1;
          failed = NewPageForBand(run->doc, band, afterSummary ? 0 : 1);
        } else if (!swapped && band != kBandPageHeader && band != kBandPageFooter &&
                   (!IsGroupFooter(band) || FooterBreakWanted(run, band, line, last))) {
          s->breakBand = band;
          s->breakInGroupFooter = IsGroupFooter(band);
          if (IsGroupFooter(band) && !BandGoesOnAfter(s, line, last)) s->breakEndedGroupFooter = band;
          if (!CloseSpanningGraphicsAtPageEnd(run)) return 1;
          // A page that holds only what its start put there (the page
          // header, repeated headers) is at its top: it stays.
          failed = run->layingPageTop || PageHoldsOnlyItsTop(run) || HandlePageOverflow(run->doc, 0) ? 0 : 1;
          // The new page's headers are out: the next group's header shows its own values.
          s->breakInGroupFooter = false;
          s->breakEndedGroupFooter = 0;
        }
        if (failed != 0) return 1;
        ReopenSpanningGraphics(run);
      }
      repeat = false;
      ++line;
      continue;
    }

    LONG yBefore = 0;
    const bool track = !measuring && !across && run->driver && run->driver->HasEntry(22);
    if (track) yBefore = run->driver->CurrentY(run->page);
    if (s->lineTexts.size() < static_cast<size_t>(s->nesting)) s->lineTexts.resize(static_cast<size_t>(s->nesting));
    std::vector<BYTE>& text = s->lineTexts[static_cast<size_t>(s->nesting) - 1];
    LONG height = 0;
    s->outputStep = step++;  // a band output inside this one keeps its own count
    int kind = OutputBandObjects(run, &text, measuring, line, band, &held, &continuing, repeat, &height);
    if (kind < 0) return measuring ? 1 : RunStateOf(run);
    if (kind != kLineText && inBand && inBox[line]) kind = measuring ? kLineText : kLineBoxSpan;
    const bool graphicsPending =
        s->waitingPictures + s->waitingCharts + s->waitingOleItems + s->openLinesBoxes > 0;
    const bool send = !BlankLinesDropped(run, band) || swapped || kind != kLineNothing ||
                      (height > 0 && graphicsPending);
    if (send) {
      int sendKind = kind == kLineNothing ? kLineEmpty : kind;
      // A blank takes its own line's explicit height (beyond the band: the default).
      if (sendKind != kLineText) height = inBand ? ExplicitLineHeight(s, L[line]) : 0;
      int stop = SendOutputLine(run, text, fitLimit, band, &trailingUsed, band == kBandRecord, sendKind, height,
                                line);
      // A stop with the run still going is the page range's end, reached
      // inside the band: the callers end the pass on it.
      if (stop != 0) return measuring || RunStateOf(run) == 0 ? 1 : RunStateOf(run);
      anyOutput = true;
      ++outputLines;
    }
    // Where the line ended matters only to graphics waiting for it.
    if (track && (s->waitingPictures > 0 || s->waitingCharts > 0 || s->waitingOleItems > 0 || s->openLinesBoxes > 0)) {
      LONG yAfter = run->driver->CurrentY(run->page);
      if (s->waitingPictures > 0 && !OutputWaitingPictures(run, band, line, yAfter)) return RunStateOf(run);
      if (s->waitingCharts > 0) OutputWaitingCharts(run, band, line, yAfter);
      if (s->waitingOleItems > 0) OutputWaitingOleItems(run, band, line, yAfter);
      if (s->openLinesBoxes > 0 && !TrackSpanningGraphics(run, band, line, yAfter, yAfter - yBefore))
        return RunStateOf(run);
    }
    // What this output line showed is done; wrapped fields with more to come
    // stay continuing.
    for (int e = s->firstItemOfLine[first]; e < s->firstItemOfLine[last + 1]; ++e) {
      ItemOutput& it = s->items[e];
      if (it.state & kItemOutput) it.state = static_cast<BYTE>((it.state & ~kItemOutput) | kItemDone);
    }

    if (breakLine) {
      // The break waits until its line's items are finished, and then
      // still breaks the page: this line is taken once more.
      repeat = true;
    } else {
      repeat = false;
      // Past the band's own lines a long text goes on in further output
      // lines; their index stops at the table's last, the text does not.
      if (line <= last || line < kBandLineCount - 1) ++line;
    }
  }
  if (measuring || runState != 0) return runState;

  if (across) {
    if (s->layingOutRowTop) return runState;
    if (s->rowRecords == 0 && s->rowFirstLeftOut && runMode == 0) {
      // The row may yet go to the next page and start it: its first record
      // is laid out once more as it prints there.
      const int lines = s->recordLines;
      s->layingOutRowTop = true;
      s->rowFirstAtTop.clear();
      s->rowTopMarks.clear();
      OutputBandLines(run, band, 0);
      s->layingOutRowTop = false;
      s->rowTopLaidOut = true;
      s->recordLines = lines;
      if (runState != 0) return runState;
    }
    s->rowLines = std::max(s->rowLines, s->recordLines);
    ++s->rowRecords;
    if (s->rowRecords > static_cast<int>(run->recordsAcrossExtra) && !FlushAcrossRow(run, 0) && runState == 0)
      return 1;
  }
  LONG owed = trailingOwed - trailingUsed;
  if (owed > 0 && s->fixedRecordHeight == 0 && (!PageHoldsOnlyItsTop(run) || IsPageLikeBand(band)) && run->driver &&
      run->driver->HasEntry(13)) {
    LONG room = RoomLeftOnPage(run, run->pageFooterHeight);
    LONG move = std::min(owed, room);
    if (move > 0 && !run->driver->MoveDown(run->page, move, LinesVisible(run) ? 1 : 0)) runState = -2;
  }
  // What the record used of its pitch; the run moves on by the rest of it
  // (FlushPendingAdvance).
  if (pitched && runState == 0 && run->pageCount == pitchPage) {
    run->fixedAdvance = s->fixedRecordHeight;
    run->advanceUsed = std::max<LONG>(0, run->driver->CurrentY(run->page) - pitchTop);
  }
  if (anyOutput && runState == 0 && run->driver && run->driver->HasEntry(18)) {
    if (!run->driver->EndBand(run->page, band, LinesVisible(run) ? 1 : 0)) runState = -2;
  }
  return runState;
}

}  // namespace

int OutputBand(ReportRun* run, int band, LONG fitLimit) {
  BandOutputState* s = run->band;
  if (s == nullptr) return RunStateOf(run);
  ++s->nesting;
  // Only a band the run itself draws is the one in progress; a band output
  // from inside it (the page footer of an overflow) or measured is not.
  const bool outermost = s->nesting == 1 && fitLimit == 0 && run->calc != nullptr;
  if (outermost) run->calc->bandInProgress = band;
  int result = OutputBandLines(run, band, fitLimit);
  if (outermost) run->calc->bandInProgress = 0;
  --s->nesting;
  return result;
}
