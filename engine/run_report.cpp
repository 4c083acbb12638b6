// The entry of one report run: the data and the layout readied before the
// first record, the passes, and the messages of a run that produced nothing.
#include "engine/run_report.h"
#include "layout/page_setup.h"
#include "foundation/page_metrics.h"

#include "engine/band_line_helpers.h"
#include "engine/band_output.h"
#include "engine/chart_output.h"
#include "engine/doc_upkeep.h"
#include "engine/line_text.h"
#include "expr/code_walks.h"

#include "core/composite.h"
#include "data/data_access.h"
#include "data/record_cache.h"
#include "data/select_builder.h"
#include "data/sql_exp_fields.h"
#include "data/sql_literals.h"
#include "foundation/doc_base.h"
#include "foundation/heap_strings.h"
#include "model/filter_spec.h"
#include "model/group_levels.h"
#include "model/record_filter.h"
#include "model/record_pass.h"
#include "model/record_sort.h"
#include "model/sort_pass.h"
#include "platform/win/fileio.h"
#include "platform/win/message_box.h"
#include "platform/win/window.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

namespace {

constexpr UINT kIdInsufficientMemory = 619;
constexpr UINT kIdFatalError = 627;
constexpr UINT kIdFilterTooComplex = 741;
constexpr UINT kIdFilterMemory = 742;
constexpr UINT kIdNoRecords = 5960;
constexpr UINT kIdStartPageTooLarge = 5961;
constexpr UINT kIdAcrossMemory = 5962;
constexpr UINT kIdNoRoomOnPage = 5981;

void DispatchPending() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// A run nobody watches: nothing is shown.
class QuietShell : public RunShell {
 public:
  void PostRecordCount(KmDocBase&, int) override {}
  void PostPageNumber(KmDocBase&) override {}
  void PostCopyNumber(KmDocBase&, int) override {}
  void PostExportCount(KmDocBase&, uint32_t, int) override {}
  void PreviewPageDone(KmDocBase&, int) override {}
  void PageEnded(KmDocBase&, int32_t) override {}
  void ShowCounter(KmDocBase&, uint32_t, const char*) override {}
  void ShowRunNote(KmDocBase&, const std::string&) override {}
};

RunShell* g_shell = nullptr;

}  // namespace

int RunOutput::StartJob(KmDocBase*) { return 1; }

int RunOutput::OutputBand(KmDocBase* doc, int band, int fitLimit) {
  if (PrepareBandOutput(doc) == nullptr) return doc->m_nRunState;
  return ::OutputBand(RunOf(doc), band, fitLimit);
}

void RunOutput::ShowMessage(KmDocBase* doc, int message, uint32_t value) {
  switch (message) {
    case kMsgNoRecords:
      doc->MessageBoxId(kIdNoRecords, nullptr, MB_OK | MB_ICONINFORMATION);
      break;
    case kMsgStartPageTooLarge:
      doc->ShowErrorId(kIdStartPageTooLarge, nullptr);
      break;
    case kMsgNoRoomOnPage:
      doc->ShowErrorId(kIdNoRoomOnPage, nullptr);
      break;
    case kMsgAcrossMemory:
      doc->ShowErrorFmtNum(GetResString(kIdAcrossMemory, 0), static_cast<long>(value));
      break;
    default:
      break;
  }
}

bool RunOutput::ExportedCount(uint32_t*) const { return false; }

RunOutput& PageOutput() {
  static RunOutput output;
  return output;
}

void InstallRunShell(RunShell* shell) { g_shell = shell; }
RunShell* InstalledRunShell() { return g_shell; }
RunShell& TheRunShell() {
  static QuietShell quiet;
  return g_shell != nullptr ? *g_shell : quiet;
}

namespace {

// The record pass reads the query's rows through the run's row source; an
// unchanged query replays the rows the record cache kept of it. 0, 3121 out
// of memory, any other code already reported.
int OpenQuery(KmDocBase* doc, ReportRun* r) {
  CKmComposite* m = doc->m_pModel;
  int rc = OpenRunQuery(m);
  if (rc != 0) return rc;
  if (!r->rows) r->rows = new CachedRowSource(m);
  GetRecordPassState(m)->rows = r->rows;
  return 0;
}

void CloseQuery(KmDocBase* doc, ReportRun* r) {
  if (doc->m_pModel) CloseReportQuery(doc->m_pModel);
  r->queryOpen = false;
}

// A report reads records from its master table or its SQL statement; one
// without either prints its single Record band.
bool HasRecordSource(const CKmComposite* m) {
  if (m == nullptr) return false;
  if (m->statementText != nullptr && m->statementText[0] != 0) return true;
  return m->tableSlots[0] != nullptr && m->tableSlots[0]->path[0] != 0;
}

// A sort key the database cannot order by (a calculation without SQL text):
// the records are sorted here and the run reads them by their sorted
// positions. 0, or a failure (already shown).
int SortRecordsInProgram(KmDocBase* doc, ReportRun* r) {
  CKmComposite* m = doc->m_pModel;
  GroupSetup setup = RunGroupSetup(m);
  FieldDef* keys[kKeyLevels] = {};
  uint32_t kinds[kKeyLevels] = {};
  const int check = CheckSortForTotals(m, setup, keys, kinds);
  if (check == 1) {
    ReportScanError(m, m->lastEngineError);
    return m->lastEngineError != 0 ? m->lastEngineError : 1;
  }
  // Sorted totals order the groups themselves (the totals sort), but their
  // records still come sorted by the keys, each group in one run.
  if (check != -2 || keys[0] == nullptr) {
    ShowLimitedCounts(m, check == -2, setup.recordLimit != 0);
    return 0;
  }
  std::string positions;
  // The sort tells its own failures.
  if (SortRecords(m, keys, kinds, &positions) != 0) return m->lastEngineError != 0 ? m->lastEngineError : 1;
  // What the sort read, and whether the query held back the rest.
  ShowLimitedCounts(m, true, setup.recordLimit != 0);
  if (int rc = OpenPassFiles(m, positions)) {
    DeleteFileA(positions.c_str());
    ReportScanError(m, rc);
    return rc;
  }
  r->sortedPositions = positions;
  RewindScan(m);
  return 0;
}

// The record sort's positions file goes with the run that made it.
void RemoveSortedPositions(KmDocBase* doc, ReportRun* r) {
  if (r->sortedPositions.empty()) return;
  if (doc->m_pModel) OpenPassFiles(doc->m_pModel, std::string());
  DeleteFileA(r->sortedPositions.c_str());
  r->sortedPositions.clear();
}

// The totals pre-pass (and the totals sort it may ask for) before the
// report pass; a pre-pass that read the rows leaves the query to run again.
int SortPass(KmDocBase* doc, ReportRun* r) {
  CKmComposite* m = doc->m_pModel;
  int reopen = 0;
  if (const int rc = RunSortPass(m, 0, 0, &reopen)) return rc;
  if (!reopen) return 0;
  CloseQuery(doc, r);
  if (const int rc = OpenQuery(doc, r)) return rc;
  r->queryOpen = true;
  return 0;
}

// A later copy reads the records again: an open query cannot be replayed, so
// it is executed again; a scan without one starts over.
int RewindRecords(KmDocBase* doc, ReportRun* r) {
  CKmComposite* m = doc->m_pModel;
  if (!m) return 0;
  if (r->queryOpen) {
    CloseQuery(doc, r);
    if (OpenQuery(doc, r) != 0) return 3121;
    r->queryOpen = true;
    if (!r->sortedPositions.empty() && OpenPassFiles(m, r->sortedPositions) != 0) return 3171;
    RewindScan(m);
    return 0;
  }
  ClearScanBuffers(m);
  RewindScan(m);
  return 0;
}

}  // namespace

ReportRun* CreateReportRun(KmDocBase* doc, PageDriver* driver, PageOutputState* page) {
  if (!doc->m_pRun) {
    doc->m_pRun = new ReportRun;
    doc->m_pRun->doc = doc;
  }
  ReportRun* r = doc->m_pRun;
  if (!r->calc) {
    r->calc = NewRunCalcState(doc->m_pModel);
    r->calc->run = r;
  }
  r->driver = driver;
  r->page = page;
  return r;
}

void FreeReportRun(KmDocBase* doc) {
  if (!doc->m_pRun) return;
  ReleaseAcrossBuffer(doc);
  ReportRun* r = doc->m_pRun;
  FreeBandOutput(r);
  RemoveSortedPositions(doc, r);
  // The run's filter evaluation goes with its data; the next run builds it again.
  if (doc->m_pModel) {
    GetRecordPassState(doc->m_pModel)->filterOn = 0;
    FreeFilterCode(doc->m_pModel);
  }
  if (r->rows && doc->m_pModel && GetRecordPassState(doc->m_pModel)->rows == r->rows)
    GetRecordPassState(doc->m_pModel)->rows = nullptr;
  delete r->rows;
  DeleteRunCalcState(r->calc);
  delete doc->m_pRun;
  doc->m_pRun = nullptr;
}

void PumpRunMessagesNow(ReportRun* r) {
  r->pumpCalls = 0;
  const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now().time_since_epoch()).count();
  if (r->lastPumpMs != INT64_MIN && now - r->lastPumpMs < kRunPumpMilliseconds) return;
  r->lastPumpMs = now;
  DispatchPending();
}

int32_t CheckRunCancelled() {
  KmDocBase* doc = GetActiveDocBase();
  DispatchPending();
  return doc ? doc->m_nRunState : 0;
}

int32_t PollRunCancelled() {
  KmDocBase* doc = GetActiveDocBase();
  ReportRun* r = RunOf(doc);
  if (r) PumpRunMessages(r);
  else DispatchPending();
  return doc ? doc->m_nRunState : 0;
}

int SetRunMode(KmDocBase* doc, int mode) {
  doc->m_nRunMode = mode;
  ReportRun* r = RunOf(doc);
  if (mode == 2 || !r) return 0;
  r->pageNumber = kPageNumberBeforeRun;
  // Labels filled down: the page holds that many columns, each filled from
  // the top before the next.
  // Without a page set-up the run keeps the columns it was given.
  if (const PageSetupRec* ps = doc->m_pPageSetup)
    r->columnsAcross = ps->DownOrder == 1 && ps->RecordsAcross >= 2 ? static_cast<uint32_t>(ps->RecordsAcross) : 1;
  if (r->columnsAcross == 0) r->columnsAcross = 1;
  r->currentColumn = 1;
  int32_t footer = SumBandLines(doc, kBandPageFooter, 0, 0);
  r->pageFooterHeight = footer > 0 ? footer : 0;
  int used = 0;
  while (used < kRunGroupLevels && CalcOf(r).levels[used].field != kRunNoField) ++used;
  CalcOf(r).levelsUsed = used;
  return 0;
}

int RewindRunRecords(KmDocBase* doc) {
  ReportRun* r = RunOf(doc);
  return r != nullptr ? RewindRecords(doc, r) : 0;
}

void ReleaseAcrossBuffer(KmDocBase* doc) {
  ReportRun* r = RunOf(doc);
  if (!r || !r->acrossBuffer) return;
  HeapFreeBlock(r->acrossBuffer);
  r->acrossBuffer = nullptr;
}

namespace {

// The Record Layout settings of the report: copies of each record (a fixed
// number, or a field's value), which empty lines stay out, and whether a
// stretched Record band is kept whole on its page.
void TakeRecordLayout(KmDocBase* doc, ReportRun* r) {
  if (const PageSetupRec* ps = doc->m_pPageSetup) {
    r->recordRepeat = ps->RecordCopies >= 1 && ps->RecordCopies <= kMaxRecordCopies
                          ? static_cast<uint32_t>(ps->RecordCopies)
                          : 1;
    r->suppressBlankLines = SuppressRecordLinesShown(*ps) || CompressLinesShown(*ps);
    r->compressGroupLines = CompressLinesShown(*ps);
    r->recordsStretch = !BreakRecordAreaShown(*ps);
  }
  r->recordRepeatField = doc->m_pModel != nullptr ? doc->m_pModel->recordRepeatField : kRunNoField;
  r->repeatFieldNoted = r->tallRecordNoted = false;
}

}  // namespace

int PrepareRun(KmDocBase* doc) {
  ReportRun* r = RunOf(doc);
  if (!r) return 1;
  // The layout as it stands now decides the heights.
  r->bandHeights.Clear();
  TakeRecordLayout(doc, r);
  r->recordHasStretch = 0;
  CKmComposite* m = doc->m_pModel;
  if (doc->m_bandLines.lines) {
    for (ReportItemHead* it = m ? m->itemListHead : nullptr; it; it = it->nextInOrder) {
      if (it->bandLine < kBandLineCount && doc->m_bandLines.lines[it->bandLine].kind == kBandRecord &&
          !(it->flags & kItemDeleted) && IsStretchingField(*it)) {
        r->recordHasStretch = 1;
        break;
      }
    }
  }
  int32_t lines = SumBandLines(doc, kBandRecord, 0, 1);
  r->recordBandLines = lines > 0 ? static_cast<uint32_t>(lines) : 0;
  ReleaseAcrossBuffer(doc);
  // Labels filled across: the records of a row beyond the first.
  if (const PageSetupRec* ps = doc->m_pPageSetup)
    r->recordsAcrossExtra = ps->DownOrder == 0 && ps->ExtraColumns > 0 && ps->ExtraColumns < 1000
                                ? static_cast<uint32_t>(ps->ExtraColumns)
                                : 0;
  if (r->recordsAcrossExtra > 0 && r->recordBandLines > 0) {
    uint64_t bytes = (static_cast<uint64_t>(r->recordsAcrossExtra) + 1) * r->recordBandLines * kAcrossCellBytes;
    if (bytes <= 0x7FFFFFFF) r->acrossBuffer = static_cast<BYTE*>(HeapAllocZero(0, static_cast<DWORD>(bytes)));
    if (!r->acrossBuffer) {
      r->output->ShowMessage(doc, kMsgAcrossMemory, r->recordsAcrossExtra + 1);
      return 1;
    }
  }
  // The page begins at the page set-up's top margin and ends at its bottom margin.
  if (const int32_t top = TopMargin720(*doc); top > 0) r->pageStartArg = top;
  if (doc->m_pageMetrics.bottomMargin720 > 0) r->pageBottom = doc->m_pageMetrics.bottomMargin720;
  // The Record band's height without its empty bottom lines, unless records
  // go across (each record then keeps its whole band).
  int32_t height = SumBandLines(doc, kBandRecord, 0, 0);
  if (height > 0 && r->recordsAcrossExtra == 0) height -= TrailingBandHeight(doc, kBandRecord, 1);
  r->recordHeight = height > 0 ? height : 0;
  // A label pitch is the height every record takes on the page.
  if (r->recordsAcrossExtra == 0) r->recordHeight = std::max(r->recordHeight, RecordPitch720(*doc));
  r->fixedAdvance = r->advanceUsed = 0;
  if (r->band != nullptr) ClearPageCells(r);
  return 0;
}

namespace {

void MarkFieldsForRun(KmDocBase* doc) {
  CKmComposite* m = doc->m_pModel;
  if (!m) return;
  const BandLineRec* lines = doc->m_bandLines.lines;
  for (FieldDef* f = m->fieldList; f; f = f->next) {
    if (!(f->flags & kFieldNeeded)) continue;
    BYTE kind = lines && f->head.bandLine < kBandLineCount ? lines[f->head.bandLine].kind : kBandFree;
    if (kind != kBandRecord && kind != kBandTitle) f->needsPrevious = 1;
  }
  if (lines) {
    for (int i = 0; i <= doc->m_bandLines.lastUsed && i < kBandLineCount; ++i) {
      if (lines[i].objectId == -1 || lines[i].kind == kBandRecord) continue;
      if (FieldDef* f = m->GetFieldAt(static_cast<uint32_t>(lines[i].objectId))) f->needsPrevious = 1;
    }
  }
  // A calculation shown at a group's or page's end is worked out again from
  // the record that ended it: what it reads keeps that record's values too.
  std::vector<FieldDef*> todo;
  for (FieldDef* f = m->fieldList; f; f = f->next)
    if (f->needsPrevious) todo.push_back(f);
  auto mark = [&](FieldDef* f) {
    if (f != nullptr && !f->needsPrevious) {
      f->needsPrevious = 1;
      todo.push_back(f);
    }
  };
  while (!todo.empty()) {
    FieldDef* f = todo.back();
    todo.pop_back();
    if (IsAlias(f)) {
      mark(const_cast<FieldDef*>(m->AliasedField(f)));
    } else if ((f->flags & kFieldCalculation) && f->code != nullptr) {
      ForEachFieldReference(f->code, f->codeLength, [&](uint32_t n, bool) { mark(m->GetFieldAt(n)); });
    }
  }
}

// A totals pre-pass (a total worked out before the report pass) or a chart
// pre-pass reads the records before the report pass reads them again.
bool PrePassRereads(KmDocBase* doc) {
  for (const FieldDef* f = doc->m_pModel->fieldList; f != nullptr; f = f->next)
    if ((f->totalFlags & kTotalPreprocessed) != 0) return true;
  return HasHeaderCharts(doc);
}

// The report's query executed (the record cache replays the rows of a query
// that did not change since the last run), the records sorted here when the
// database cannot, the totals pre-pass and the chart pre-pass.
// reread: the records are read anew (after the chart pre-pass).
int PrepareReportData(KmDocBase* doc, ReportRun* r, bool reread = false) {
  CKmComposite* m = doc->m_pModel;
  if (!m) return 0;
  m->BuildFieldIndex();
  if (!r->hasRecordSource) {
    // Only calculations: the one Record band is evaluated from them.
    if (OpenScan(m) != 0) {
      doc->ShowErrorId(kIdInsufficientMemory, nullptr);
      return 3121;
    }
    m->passPhase = kPhaseReportRun;
    return 0;
  }
  RemoveSortedPositions(doc, r);
  if (r->queryOpen) CloseQuery(doc, r);
  // The record cache keeps the rows for whoever reads them next: another run,
  // or the report pass after a totals or chart pre-pass of this one.
  GetRecordCache(m)->record = !r->onlyRun || PrePassRereads(doc);
  // The server's own columns are asked of it while no query is open (the
  // question ends the open statement); one that would do more than read
  // stops the run.
  if (ResolveSqlExpFields(m) < 0) return 1;
  int rc = OpenQuery(doc, r);
  if (rc == 3121) {
    doc->ShowErrorId(kIdInsufficientMemory, nullptr);
    return rc;
  }
  if (rc) return rc;
  r->queryOpen = true;
  ++r->queryOpens;
  if ((rc = SortRecordsInProgram(doc, r)) != 0) return rc;
  if ((rc = SortPass(doc, r)) != 0) {
    ReportScanError(m, rc);
    return rc;
  }
  // A pre-pass that closed the sorted positions (its query ran again) leaves
  // the report pass to read them from the first.
  if (!r->sortedPositions.empty() && !GetRecordPassState(m)->positionFile.IsOpen()) {
    if ((rc = OpenPassFiles(m, r->sortedPositions)) != 0) {
      ReportScanError(m, rc);
      return rc;
    }
    RewindScan(m);
  }
  // The fields the query and the pre-passes left out of the run are needed
  // again.
  ResolveQueryFields(doc);
  // Header charts are filled by a pass over every record first; the run
  // then reads the records from the first again.
  if (!reread && HasHeaderCharts(doc)) {
    if (int code = RunChartPrepass(doc)) {
      ReportScanError(m, code);
      return code;
    }
    return PrepareReportData(doc, r, true);
  }
  m->passPhase = kPhaseReportRun;
  return 0;
}

}  // namespace

int PrepareRunData(KmDocBase* doc) {
  ReportRun* r = RunOf(doc);
  if (!r) return 1;
  // Fonts, layout and settings may have changed since the last run.
  r->bandHeights.Clear();
  r->hasRecordSource = HasRecordSource(doc->m_pModel);
  if (CKmComposite* m = doc->m_pModel) {
    m->passPhase = kPhaseIdle;
    // Built afresh every run: a filter edited or removed since the last run
    // must not be tested as it was.
    int rc = RebuildConditionCode(m);
    if (rc) {
      doc->ShowErrorId(rc == 1 ? kIdFilterMemory : rc == 3 ? kIdFilterTooComplex : kIdFatalError, nullptr);
      return rc;
    }
    GetRecordPassState(m)->filterUsesTotals = CodeUsesTotals(m, m->conditionCode, m->conditionLength);
  }
  // A report whose records the program sorts reads every sort field.
  if (doc->m_pModel) NoteProgramSort(doc->m_pModel);
  RebuildRunLists(doc, 1, false);
  if (doc->m_pModel) ResetRecordCounters(doc->m_pModel);
  MarkFieldsForRun(doc);
  r->outputEmitted = 0;
  return PrepareReportData(doc, r);
}

void RunReport(KmDocBase* doc) {
  ReportRun* r = RunOf(doc);
  if (!r) return;
  NoteSummaryNewPage(doc);
  if (PrepareRun(doc)) {
    ReleaseAcrossBuffer(doc);
    return;
  }
  doc->m_nRunState = kRunGoing;
  SetRunMode(doc, 0);
  // The record pass updates the totals while the report runs, and only then.
  if (doc->m_pModel) GetRecordPassState(doc->m_pModel)->summaries = true;
  // The query is under way: the window's waiting paints are done while the
  // data source makes its first rows ready, not after.
  PumpRunMessages(r);
  RunReportPass(doc);
  if (doc->m_pModel) GetRecordPassState(doc->m_pModel)->summaries = false;
  bool tooLarge = doc->m_nRunState == kRunGoing && !r->outputEmitted && doc->m_nRunMode == 0 &&
                  r->pageCount < r->startPage;
  if (doc->m_pModel) {
    // The rows are read: the statement ends, and with it what the server
    // holds for it (a transaction, its locks), not when the report closes.
    if (r->queryOpen) EndSelect(doc->m_pModel);
    // The rows stay in the cache's file for a later run of the same query.
    OpenCacheFile(doc->m_pModel);
    doc->m_pModel->FreeFieldIndex();
    doc->m_pModel->RelinkItemBackPointers();
  }
  ReleaseAcrossBuffer(doc);
  r->endMessage = -1;
  if (r->recordsOutput == 0 && doc->m_nRunState == kRunGoing && !r->outputEmitted) {
    r->endMessage = kMsgNoRecords;
    r->output->ShowMessage(doc, kMsgNoRecords, 0);
  } else if (tooLarge && !r->exportRun) {
    r->endMessage = kMsgStartPageTooLarge;
    r->output->ShowMessage(doc, kMsgStartPageTooLarge, 0);
  }
}
