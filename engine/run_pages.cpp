// Page mechanics of a run: fit tests, page ends and starts, page overflow,
// columns, and the heights of bands and band lines.
#include "engine/run_report.h"

#include "engine/band_line_helpers.h"
#include "engine/band_output.h"
#include "engine/line_text.h"
#include "engine/output_values.h"
#include "engine/summary_fields.h"
#include "expr/functions_common.h"
#include "expr/value_helpers.h"
#include "foundation/byte_order.h"
#include "foundation/doc_base.h"
#include "layout/layout_records.h"
#include "foundation/units.h"
#include "core/composite.h"
#include "model/record_pass.h"
#include "model/totals_readback.h"

#include <cmath>
#include <cstring>

namespace {

bool Has(const ReportRun* r, int ordinal) { return r->driver && r->page && r->driver->HasEntry(ordinal); }

bool IsBandLine(const KmDocBase* doc, int line, int band) {
  return doc->m_bandLines.lines && line >= 0 && line < kBandLineCount &&
         doc->m_bandLines.lines[line].kind == band;
}

int LastLine(const KmDocBase* doc) {
  int last = doc->m_bandLines.lastUsed;
  if (last >= kBandLineCount) last = kBandLineCount - 1;
  return last;
}

// The band line holding the bottom of a line or box, found by its pixel row.
int ItemLastLine(const KmDocBase* doc, const ReportItemHead& item) {
  int found = BandAtY(doc->m_bandLines, item.bottom);
  if (found < item.bandLine || found > LastLine(doc)) return item.bandLine;
  return found;
}

bool TextIsBlank(const ReportItemHead& item, bool lineDrawFont) {
  const TextItem* text = TextOfItem(&item);
  if (text == nullptr || !text->text) return true;
  for (const char* p = text->text; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c == ' ' || (lineDrawFont && c == 250)) continue;
    return false;
  }
  return true;
}

// A new page number: PAGENO() and the copy number read it, and the needed
// calculations that rest on the page number are evaluated again for the page,
// in the previous values too (a group footer shows those).
void PageNumberChanged(KmDocBase* doc, ReportRun* run, uint32_t pageNumber) {
  BuiltinDocumentState& state = ActiveBuiltinDocument();
  state.pageNumber = static_cast<int32_t>(pageNumber);
  state.copyNumber = static_cast<int32_t>(run->copyNumber);
  if (doc->m_pModel != nullptr) SwapValueBuffers(doc->m_pModel);
}

// Whether a field's value for the band comes out empty: a blank value (null
// number, null date, empty or blank text) or a zero shown as empty.
bool FieldValueEmpty(ReportRun* run, const FieldDef* f, int band) {
  const BYTE* value = GetFieldValueForBand(run, f, band);
  if (value == nullptr) return true;
  if (IsValueBlank(f, value, GetNullNumber())) return true;
  return (FieldKind(f) & kFieldNumeric) && (f->formatCode & kFormatZeroIsEmpty) && GetF64(value) == 0.0;
}

}  // namespace

ReportRun* RunOf(KmDocBase* doc) { return doc ? doc->m_pRun : nullptr; }

bool BlankLinesDropped(const ReportRun* run, int band) {
  // The Test Pattern shows every field's picture: no line is blank.
  if (RunModeOf(run) == 1) return false;
  if (band == kBandRecord) return run->suppressBlankLines;
  if ((band >= kBandGroupHeader && band < kBandGroupHeader + kRunGroupLevels) ||
      (band >= kBandGroupFooter && band < kBandGroupFooter + kRunGroupLevels))
    return run->compressGroupLines;
  return false;
}

int PageSendFlag(const ReportRun& run, int runMode) {
  return runMode == 0 && run.pageCount < run.startPage ? 0 : 1;
}

bool DoesNotFit(KmDocBase* doc, int32_t height, int32_t reserve) {
  ReportRun* r = RunOf(doc);
  if (!r || r->topOfPage || !Has(r, 10)) return false;
  int64_t left = r->driver->SpaceLeft(r->page, r->pageBottom);
  return static_cast<int64_t>(height) + reserve > left;
}

bool RecordDoesNotFit(KmDocBase* doc) {
  ReportRun* r = RunOf(doc);
  if (!r || r->recordsAcrossExtra > 0) return false;  // the row flush decides
  return DoesNotFit(doc, r->recordHeight, r->pageFooterHeight);
}

void SetPageNumber(KmDocBase* doc, uint32_t n) {
  ReportRun* r = RunOf(doc);
  if (!r) return;
  r->pageNumber = n;
  PageNumberChanged(doc, r, n);
}

void NewPage(KmDocBase* doc, int restartNumbering) {
  ReportRun* r = RunOf(doc);
  if (!r) return;
  if (r->columnsAcross <= 1 || r->currentColumn >= r->columnsAcross) {
    r->currentColumn = 1;
    SetPageNumber(doc, restartNumbering ? 1 : r->pageNumber + 1);
    ++r->pageCount;
    // The closed page's footer has printed: the new page's totals start from
    // nothing, whatever the run has read of records that print there.
    CalcOf(r).pageFiguresKept = 0;
    ResetPageTotals(&CalcOf(r));
    // A data export's dialog shows the rows exported where pages would be.
    uint32_t exported = 0;
    if (!r->exportRun || !r->output->ExportedCount(&exported)) TheRunShell().PostPageNumber(*doc);
  } else {
    ++r->currentColumn;
  }
  r->topOfPage = 1;
  ResetPrintedOnceMarks(doc, -1);
}

int EndPage(KmDocBase* doc, int lastPage) {
  ReportRun* r = RunOf(doc);
  if (!r || doc->m_nRunState != kRunGoing) return 1;
  FlushHeldLine(doc);
  if (doc->m_nRunState != kRunGoing) return 1;
  int send = PageSendFlag(*r, doc->m_nRunMode);
  if (r->columnsAcross > 1 && r->currentColumn < r->columnsAcross && !(r->recordsEnded && lastPage)) {
    // The next column starts at the top of the same page.
    if (Has(r, 13) && Has(r, 22)) {
      int used = static_cast<int>(r->driver->CurrentY(r->page)) - r->pageTopInColumn;
      if (used > 0 && !r->driver->MoveDown(r->page, -used, send)) {
        doc->m_nRunState = kRunDriverRefused;
        return 1;
      }
    }
    return 0;
  }
  if (!r->preview) {
    if (!r->pageEndFailed && Has(r, 7)) {
      LONG result = r->driver->EndPage(r->page, send);
      TheRunShell().PageEnded(*doc, static_cast<int32_t>(result));
      if (result < 0) {
        if (doc->m_nRunState != kRunCancelled) doc->m_nRunState = kRunStopped;
        r->pageEndFailed = true;
      }
    }
  } else {
    int last = lastPage || (doc->m_nRunMode == 0 && r->pageCount >= r->endPage) ? 1 : 0;
    TheRunShell().PreviewPageDone(*doc, last);
  }
  return 0;
}

int HandlePageOverflow(KmDocBase* doc, int restartNumbering) {
  ReportRun* r = RunOf(doc);
  if (!r) return 0;
  if (r->topOfPage) return doc->m_nRunState == kRunGoing ? 1 : 0;
  OutputPageBreakBands(doc, 1);
  if (EndPage(doc, 0)) return 0;
  bool rowComplete = r->currentColumn >= r->columnsAcross;
  if (r->pageCount >= r->endPage && rowComplete) return 0;
  if (doc->m_nRunState == kRunGoing) {
    NewPage(doc, restartNumbering);
    // What the new page's start puts there stays at its top: a page-break
    // line of a header repeated there breaks nothing.
    r->layingPageTop = true;
    OutputPageBreakBands(doc, 0);
    const bool failed = doc->m_nRunState == kRunGoing && (!r->recordsEnded || r->closingBands) &&
                        OutputGroupHeaders(doc, 2);
    r->layingPageTop = false;
    if (failed) return 0;
    FlushHeldLine(doc);
    if (Has(r, 22)) {
      r->topBandsPage = r->pageCount;
      r->topBandsColumn = r->currentColumn;
      r->topBandsEnd = r->driver->CurrentY(r->page);
    }
  }
  return doc->m_nRunState == kRunGoing ? 1 : 0;
}

bool PageHoldsOnlyItsTop(const ReportRun* r) {
  if (r->topOfPage) return true;
  return r->topBandsPage == r->pageCount && r->topBandsColumn == r->currentColumn && Has(r, 22) &&
         r->driver->CurrentY(r->page) == r->topBandsEnd;
}

int32_t GetLineHeightOverride(KmDocBase* doc, int line, int32_t defaultHeight) {
  if (!doc->m_bandLines.lines || line < 0 || line >= kBandLineCount) return defaultHeight;
  const BandLineRec& rec = doc->m_bandLines.lines[line];
  if (rec.heightMode == 0) return defaultHeight;
  int unit = rec.heightMode == 1 ? 10 : (doc->m_measure != 1 ? 2 : 0);
  UINT h = ConvertVertMeasure(static_cast<WORD>(rec.height & 0xFFFF), 10, unit, 0);
  return h < 1 ? 1 : static_cast<int32_t>(h);
}

namespace {
int32_t FontHeight(ReportRun* r, const ReportItemHead& item) {
  if (!Has(r, 2)) return 0;
  return r->driver->FontLineHeight(r->page, item.fontIndex, item.fontStyle, item.pointSize, 0);
}

bool IsLineDrawFont(const ReportRun* r, const ReportItemHead& item) {
  if (!r->page || item.fontIndex < 0) return false;
  size_t i = static_cast<size_t>(item.fontIndex);
  return i < r->page->fontFaces.size() && r->page->fontFaces[i] == r->page->lineDrawFace;
}
}  // namespace

int32_t LineHeight(KmDocBase* doc, int line) {
  ReportRun* r = RunOf(doc);
  if (!r) return 0;
  int32_t tallest = 0;
  CKmComposite* m = doc->m_pModel;
  for (ReportItemHead* it = m ? m->itemListHead : nullptr; it; it = it->nextInOrder) {
    if (it->bandLine != line || (it->flags & (kItemGraphicKinds | kItemDeleted))) continue;
    int32_t h = FontHeight(r, *it);
    if (h > tallest) tallest = h;
  }
  return GetLineHeightOverride(doc, line, tallest > 0 ? tallest : DefaultLineHeight(r));
}

namespace {
// The items of a band line, gathered for the run on first use.
const std::vector<ReportItemHead*>& ItemsOfLine(KmDocBase* doc, ReportRun* r, int line) {
  std::vector<std::vector<ReportItemHead*>>& lines = r->bandHeights.lineItems;
  if (lines.empty()) {
    lines.resize(kBandLineCount);
    CKmComposite* m = doc->m_pModel;
    for (ReportItemHead* it = m ? m->itemListHead : nullptr; it; it = it->nextInOrder) {
      if ((it->flags & kItemDeleted) || it->bandLine >= kBandLineCount) continue;
      lines[it->bandLine].push_back(it);
      if (it->flags & (kItemKindLine | kItemKindBox)) {
        const int last = ItemLastLine(doc, *it);
        if (last != it->bandLine && last >= 0 && last < kBandLineCount) lines[static_cast<size_t>(last)].push_back(it);
      }
    }
  }
  static const std::vector<ReportItemHead*> kNone;
  return line >= 0 && line < kBandLineCount ? lines[static_cast<size_t>(line)] : kNone;
}

// The height of one output line of a band; *variable is set when it depends
// on the record's values (a stretching field, a field that may be empty).
int32_t LineOutputHeightOf(KmDocBase* doc, int line, int countEmpty, int band, bool* variable) {
  ReportRun* r = RunOf(doc);
  if (!r) return 0;
  const bool blankStay = !BlankLinesDropped(r, band);
  bool present = false, nonEmpty = false, onlyGraphics = true;
  int32_t tallest = 0;
  // A line measured before for this band: only its fields' values are asked.
  BandHeightMemo::LineShape* shape = nullptr;
  if (Has(r, 2) && line >= 0 && line < kBandLineCount) {
    std::vector<BandHeightMemo::LineShape>& shapes = r->bandHeights.lineShapes;
    if (shapes.empty()) shapes.resize(kBandLineCount);
    shape = &shapes[static_cast<size_t>(line)];
    if (shape->known && shape->band == band && shape->blankStay == blankStay) {
      if (shape->variable) *variable = true;
      bool kept = shape->nonEmpty;
      for (size_t i = 0; !kept && i < shape->fields.size(); ++i) kept = !FieldValueEmpty(r, shape->fields[i], band);
      if (!shape->present && !countEmpty) return 0;
      if (shape->present && !kept && !blankStay) return 0;
      const int32_t h = (!shape->present || shape->onlyGraphics || shape->tallest <= 0) ? DefaultLineHeight(r)
                                                                                        : shape->tallest;
      return GetLineHeightOverride(doc, line, h);
    }
    shape->known = false;
  }
  const std::vector<ReportItemHead*>& items = ItemsOfLine(doc, r, line);
  bool stretching = false;               // no shape is kept for the line
  std::vector<FieldDef*> emptiable;      // the fields asked while nothing else kept the line
  bool fixedNonEmpty = false;            // kept whatever the values
  // Font heights are the run's for good only with the device's fonts at hand.
  std::vector<int32_t>* fontHeights = nullptr;
  if (Has(r, 2) && line >= 0 && line < kBandLineCount) {
    std::vector<std::vector<int32_t>>& all = r->bandHeights.itemFontHeights;
    if (all.empty()) all.resize(kBandLineCount);
    fontHeights = &all[static_cast<size_t>(line)];
    if (fontHeights->size() != items.size()) fontHeights->assign(items.size(), -1);
  }
  for (size_t i = 0; i < items.size(); ++i) {
    ReportItemHead* it = items[i];
    if (it->flags & (kItemKindLine | kItemKindBox)) {
      present = nonEmpty = fixedNonEmpty = true;
      continue;
    }
    present = true;
    if (it->flags & kItemGraphicKinds) {
      nonEmpty = fixedNonEmpty = true;
      continue;
    }
    onlyGraphics = false;
    int32_t h;
    if (fontHeights != nullptr) {
      int32_t& known = (*fontHeights)[i];
      if (known < 0) known = FontHeight(r, *it);
      h = known;
    } else {
      h = FontHeight(r, *it);
    }
    if (FieldDef* f = FieldOfItem(it)) {
      // A Record band that may break across pages is fitted by its own
      // lines; its text goes on over the page end.
      const bool keepsStretch = band != kBandRecord || r->recordsStretch;
      if (IsStretchingField(*it)) stretching = true;
      if (keepsStretch && IsStretchingField(*it) && PrepareBandOutput(doc) != nullptr) {
        *variable = true;
        int32_t laid = StretchedFieldHeight(r, f, band);
        if (laid > h) h = laid;
      }
      if (blankStay) {
        nonEmpty = fixedNonEmpty = true;
      } else {
        *variable = true;
        emptiable.push_back(f);
        if (!nonEmpty && !FieldValueEmpty(r, f, band)) nonEmpty = true;
      }
    } else if (blankStay || !TextIsBlank(*it, IsLineDrawFont(r, *it))) {
      nonEmpty = fixedNonEmpty = true;
    }
    if (h > tallest) tallest = h;
  }
  if (shape != nullptr && !stretching && fontHeights != nullptr) {
    shape->known = true;
    shape->band = band;
    shape->blankStay = blankStay;
    shape->present = present;
    shape->nonEmpty = fixedNonEmpty;
    shape->onlyGraphics = onlyGraphics;
    shape->variable = !emptiable.empty();
    shape->tallest = tallest;
    shape->fields = std::move(emptiable);
  }
  if (!present && !countEmpty) return 0;
  if (present && !nonEmpty && !blankStay) return 0;
  int32_t h = (!present || onlyGraphics || tallest <= 0) ? DefaultLineHeight(r) : tallest;
  return GetLineHeightOverride(doc, line, h);
}

// A Record band with stretching text that is kept whole on its page: its
// height is that of a trial layout in the room above the page footer (more
// than the room when it does not fit there). False when there is no room to
// try it in.
bool TrialRecordHeight(KmDocBase* doc, ReportRun* r, int mode, int32_t* height) {
  if (!r->recordHasStretch || !r->recordsStretch || BandHasFlaggedLine(doc, kBandRecord, 1)) return false;
  const LONG room = RoomLeftOnPage(r, r->pageFooterHeight);
  BandOutputState* s = room > 0 ? PrepareBandOutput(doc) : nullptr;
  if (s == nullptr || s->layout == nullptr || s->nesting > 0) return false;
  s->measuredHeight = s->measuredTrailing = 0;
  OutputBand(r, kBandRecord, room);
  *height = mode == 0 ? s->measuredHeight - s->measuredTrailing : s->measuredHeight;
  s->measuredHeight = s->measuredTrailing = 0;
  return true;
}
}  // namespace

int32_t LineOutputHeight(KmDocBase* doc, int line, int countEmpty, int band) {
  bool variable = false;
  return LineOutputHeightOf(doc, line, countEmpty, band, &variable);
}

namespace {

// The lines BandHeight adds up for the band and mode, from the last up, kept
// in the run's memo; false (nothing kept) when a line of the band has a
// condition, which may leave it out for some records.
bool KeepBandLineOrder(KmDocBase* doc, ReportRun* r, int band, int mode) {
  const int last = LastLine(doc);
  for (int line = 0; line <= last; ++line)
    if (IsBandLine(doc, line, band) && doc->m_bandLines.lines[line].objectId != -1) return false;
  BandHeightMemo& memo = r->bandHeights;
  if (memo.lineOrder.empty()) memo.lineOrder.resize(256 * BandHeightMemo::kModes);
  std::vector<int16_t>& order = memo.lineOrder[static_cast<size_t>(band) * BandHeightMemo::kModes + (mode + 1)];
  order.clear();
  const int firstLine = band == kBandRecord && mode == 0 && !r->recordsStretch ? FindBandLine(doc, kBandRecord, 1) : 0;
  for (int line = last; line >= firstLine; --line)
    if (IsBandLine(doc, line, band)) order.push_back(static_cast<int16_t>(line));
  return true;
}

}  // namespace

int32_t BandHeight(KmDocBase* doc, int band, int mode) {
  ReportRun* r = RunOf(doc);
  if (!r || !doc->m_bandLines.lines) return 0;
  if (band == kBandRecord) {
    int32_t trial = 0;
    if (TrialRecordHeight(doc, r, mode, &trial)) return trial;
  }
  // Only with the device's fonts at hand is a height the run's for good.
  const bool memoable = band >= 0 && band < 256 && mode >= -1 && mode <= 1 && Has(r, 2);
  BandHeightMemo& memo = r->bandHeights;
  if (memoable && memo.known[band][mode + 1]) return memo.height[band][mode + 1];
  bool variable = false;
  int32_t sum = 0;
  bool broken = false;
  auto add = [&](int line) {
    if (doc->m_bandLines.lines[line].flags & 1) {
      sum = 0;
      broken = true;
      return;
    }
    const int countEmpty = mode != 0 || sum > 0 ? 1 : 0;
    sum += LineOutputHeightOf(doc, line, countEmpty, band, &variable);
  };
  // A band of a height asked for every record, with no line condition: its
  // lines are found once and their heights added up.
  bool kept = false;
  if (memoable) {
    uint8_t& state = memo.orderKnown[band][mode + 1];
    if (state == 0) state = KeepBandLineOrder(doc, r, band, mode) ? 1 : 2;
    if (state == 1) {
      for (int16_t line : memo.lineOrder[static_cast<size_t>(band) * BandHeightMemo::kModes + (mode + 1)]) add(line);
      kept = true;
    }
  }
  if (!kept) {
    // A record whose text does not stretch counts from its first shown line.
    const int firstLine =
        band == kBandRecord && mode == 0 && !r->recordsStretch ? FindBandLine(doc, kBandRecord, 1) : 0;
    for (int line = LastLine(doc); line >= firstLine; --line) {
      if (!IsBandLine(doc, line, band)) continue;
      if (doc->m_bandLines.lines[line].objectId != -1) {
        variable = true;
        if (!IsLineShown(doc, line, band)) continue;
      }
      add(line);
    }
  }
  const int32_t height = sum == 0 ? (broken ? -1 : 0) : sum;
  if (memoable && !variable) {
    memo.height[band][mode + 1] = height;
    memo.known[band][mode + 1] = 1;
  }
  return height;
}

int32_t SumBandLines(KmDocBase* doc, int band, int stopAtFlag, int count) {
  if (!doc->m_bandLines.lines) return -1;
  int32_t sum = 0;
  for (int line = 0; line <= LastLine(doc); ++line) {
    if (!IsBandLine(doc, line, band)) continue;
    if (stopAtFlag && (doc->m_bandLines.lines[line].flags & 1)) break;
    sum += count ? 1 : LineHeight(doc, line);
  }
  return sum == 0 ? -1 : sum;
}

void ResetGroupBreaks(KmDocBase* doc, int setPending) {
  ReportRun* r = RunOf(doc);
  if (!r || CalcOf(r).levels[0].field == kRunNoField) return;
  ClearGroupValues(&CalcOf(r));
  for (int level = 0; level < CalcOf(r).levelsUsed && level < kRunGroupLevels; ++level) {
    if (setPending) CalcOf(r).levels[level].runBits |= kRunBreakPending;
    else CalcOf(r).levels[level].runBits &= static_cast<uint8_t>(~kRunLevelBits);
  }
}

void ResetRunPass(KmDocBase* doc) {
  ReportRun* r = RunOf(doc);
  if (!r) return;
  int used = 0;
  while (used < kRunGroupLevels && CalcOf(r).levels[used].field != kRunNoField) ++used;
  CalcOf(r).levelsUsed = used;
  ResetGroupBreaks(doc, 0);
  FinishSummaries(&CalcOf(r));
  r->recordsOutput = 0;
}

int CalcAllLevels(KmDocBase* doc) {
  ReportRun* r = RunOf(doc);
  if (!r) return 0;
  ResetGroupBreaks(doc, 1);
  CKmComposite* m = doc->m_pModel;
  if (m == nullptr) return 0;
  for (int level = kRunGroupLevels - 1; level >= 0; --level) {
    if (level >= CalcOf(r).levelsUsed) continue;
    if (int code = CalcBandFields(m, level)) return code;
  }
  if (int code = CalcBandFields(m, kPageList)) return code;
  return CalcBandFields(m, kReportList);
}

void NoteSummaryNewPage(KmDocBase* doc) {
  ReportRun* r = RunOf(doc);
  if (!r || !doc->m_bandLines.lines) return;
  for (int line = 0; line < kBandLineCount; ++line) {
    const BandLineRec& rec = doc->m_bandLines.lines[line];
    if (rec.kind == kBandFree) break;
    if (rec.kind == kBandSummary && (rec.flags & 1)) {
      r->summaryNewPage = true;
      break;
    }
  }
}

uint32_t RecordRepeatCount(double value) {
  // A value that is not a number, negative or below 2 prints the record once;
  // a huge one is bounded so the conversion stays defined.
  if (!(value >= 2.0)) return 1;
  if (value >= 2147483647.0) return 2147483647u;
  return static_cast<uint32_t>(std::floor(value));
}
