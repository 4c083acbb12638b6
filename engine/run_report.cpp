// The entry of one report run: the data and the layout readied before the
// first record, the passes, and the messages of a run that produced nothing.
#include "engine/run_report.h"
#include "layout/page_setup.h"
#include "foundation/page_metrics.h"

#include "engine/chart_output.h"
#include "engine/doc_upkeep.h"
#include "engine/sort_pass_link.h"
#include "model/sort_pass.h"

#include "engine/run_links.h"

#include "foundation/doc_base.h"
#include "data/record_cache.h"
#include "data/select_builder.h"
#include "data/sql_exp_fields.h"
#include "data/sql_literals.h"
#include "engine/band_output.h"
#include "engine/band_output_links.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"
#include "model/record_filter.h"
#include "model/record_pass.h"
#include "platform/win/message_box.h"
#include "platform/win/window.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

constexpr UINT kIdInsufficientMemory = 619;
constexpr UINT kIdFatalError = 627;
constexpr UINT kIdFilterTooComplex = 741;
constexpr UINT kIdFilterMemory = 742;
constexpr UINT kIdNoRecords = 5960;
constexpr UINT kIdStartPageTooLarge = 5961;
constexpr UINT kIdAcrossMemory = 5962;

void DispatchPending() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void ShowRunMessage(KmDocBase* doc, int message, uint32_t value) {
  switch (message) {
    case kMsgNoRecords:
      doc->MessageBoxId(kIdNoRecords, nullptr, MB_OK | MB_ICONINFORMATION);
      break;
    case kMsgStartPageTooLarge:
      doc->ShowErrorId(kIdStartPageTooLarge, nullptr);
      break;
    case kMsgAcrossMemory:
      doc->ShowErrorFmtNum(GetResString(kIdAcrossMemory, 0), static_cast<long>(value));
      break;
    default:
      break;
  }
}

// Between the records of the pages only Cancel and the preview's commands
// are let through: the record counters belong to reading the data before the
// run, and their status box, shown again here, would hold the frame disabled
// while the preview waits on a page.
int PassStatus(CKmComposite*) { return PollRunCancelled(); }

int DefaultFetch(KmDocBase* doc, int /*first*/) {
  if (!doc->m_pModel) return kEndOfRecords;
  return RunRecordPass(doc->m_pModel, PassStatus);
}


void DefaultSaveValues(KmDocBase* doc) {
  if (doc->m_pModel) SaveFieldValues(doc->m_pModel);
}

void DefaultEngineError(KmDocBase* doc, int code) {
  if (doc->m_pModel) ReportScanError(doc->m_pModel, code);
}

// Print and preview jobs are open before the run; only exports start here.
int DefaultStartJob(KmDocBase* doc) { return RunOf(doc) && RunOf(doc)->exportRun ? 0 : 1; }

// The record pass reads the query's rows through the run's row source; an
// unchanged query replays the rows the record cache kept of it.
int DefaultOpenQuery(KmDocBase* doc) {
  CKmComposite* m = doc->m_pModel;
  ReportRun* r = RunOf(doc);
  if (!m || !r) return 0;
  int rc = OpenRunQuery(m);
  if (rc != 0) return rc;
  if (!r->rows) r->rows = new CachedRowSource(m);
  GetRecordPassState(m)->rows = r->rows;
  return 0;
}
void DefaultCloseQuery(KmDocBase* doc) {
  if (doc->m_pModel) CloseReportQuery(doc->m_pModel);
}

// A later copy reads the records again: an open query cannot be replayed, so
// it is executed again; a scan without one starts over.
int DefaultRewind(KmDocBase* doc) {
  CKmComposite* m = doc->m_pModel;
  ReportRun* r = RunOf(doc);
  if (!m) return 0;
  if (r && r->queryOpen) {
    CloseReportQuery(m);
    return DefaultOpenQuery(doc) == 0 ? 0 : 3121;
  }
  ClearScanBuffers(m);
  RewindScan(m);
  return 0;
}

RunDataSignature DefaultSignature(KmDocBase* doc) {
  RunDataSignature sig;
  CKmComposite* m = doc->m_pModel;
  if (!m) return sig;
  SelectInputs* in = GetSelectInputs(m);
  for (int i = 0; in && i < kRunGroupLevels && in->sortKeys[i]; ++i) {
    sig.sortFields[i] = m->GetFieldIndex(in->sortKeys[i]);
    sig.sortLengths[i] = static_cast<uint16_t>(m->GetFieldWidth(in->sortKeys[i]));
    sig.sortDirections[i] = in->sortAscending[i];
  }
  return sig;
}

// The totals pre-pass (and the totals sort it may ask for) before the
// report pass; a pre-pass that read the rows leaves the query to run again.
int DefaultSortPass(KmDocBase* doc) {
  CKmComposite* m = doc->m_pModel;
  if (!m) return 0;
  InstallSortPassLink();
  int reopen = 0;
  if (const int rc = RunSortPass(m, 0, 0, &reopen)) return rc;
  if (!reopen) return 0;
  DefaultCloseQuery(doc);
  return DefaultOpenQuery(doc);
}

RunLinks MakeDefaultLinks() {
  RunLinks l;
  l.fetchRecord = DefaultFetch;
  l.rewindRecords = DefaultRewind;
  l.saveFieldValues = DefaultSaveValues;
  l.startOutputJob = DefaultStartJob;
  l.reportEngineError = DefaultEngineError;
  l.showMessage = ShowRunMessage;
  l.pumpMessages = DispatchPending;
  l.openQuery = DefaultOpenQuery;
  l.closeQuery = DefaultCloseQuery;
  l.dataSignature = DefaultSignature;
  l.runSortPass = DefaultSortPass;
  InstallCalcLinks(l);
  InstallBandOutputLinks(l);
  return l;
}

bool IsStretchingPlaced(KmDocBase* doc, ReportRun* r, const ReportItemHead* item) {
  return (item->flags & kItemKindField) && r->links.isStretchingField && r->links.isStretchingField(doc, item);
}

}  // namespace

RunLinks& DefaultRunLinks() {
  static RunLinks links = MakeDefaultLinks();
  return links;
}

ReportRun* CreateReportRun(KmDocBase* doc, PageDriver* driver, PageOutputState* page) {
  if (!doc->m_pRun) {
    doc->m_pRun = new ReportRun;
    doc->m_pRun->doc = doc;
  }
  ReportRun* r = doc->m_pRun;
  if (!r->calc) {
    r->calc = r->links.newCalcState ? r->links.newCalcState(doc) : nullptr;
    r->calcDeleter = r->calc ? r->links.deleteCalcState : nullptr;
    if (!r->calc) {
      r->calc = new RunCalcState;
      r->calc->model = doc->m_pModel;
      r->ownsCalc = true;
    }
    InstallRunCalcHooks(r);
  }
  doc->m_pRun->driver = driver;
  doc->m_pRun->page = page;
  return doc->m_pRun;
}

void FreeReportRun(KmDocBase* doc) {
  if (!doc->m_pRun) return;
  ReleaseAcrossBuffer(doc);
  ReportRun* r = doc->m_pRun;
  FreeBandOutput(r);
  if (r->rows && doc->m_pModel && GetRecordPassState(doc->m_pModel)->rows == r->rows)
    GetRecordPassState(doc->m_pModel)->rows = nullptr;
  delete r->rows;
  if (r->ownsCalc) delete r->calc;
  else if (r->calc && r->calcDeleter) r->calcDeleter(r->calc);
  delete doc->m_pRun;
  doc->m_pRun = nullptr;
}

void PumpRunMessages(ReportRun* r) {
  if (!r->links.pumpMessages) return;
  const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now().time_since_epoch()).count();
  if (r->lastPumpMs != INT64_MIN && now - r->lastPumpMs < kRunPumpMilliseconds) return;
  r->lastPumpMs = now;
  r->links.pumpMessages();
}

int32_t CheckRunCancelled() {
  KmDocBase* doc = GetActiveDocBase();
  ReportRun* r = RunOf(doc);
  if (r && r->links.pumpMessages) r->links.pumpMessages();
  else if (!r) DispatchPending();
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

void ReleaseAcrossBuffer(KmDocBase* doc) {
  ReportRun* r = RunOf(doc);
  if (!r || !r->acrossBuffer) return;
  HeapFreeBlock(r->acrossBuffer);
  r->acrossBuffer = nullptr;
}

int PrepareRun(KmDocBase* doc) {
  ReportRun* r = RunOf(doc);
  if (!r) return 1;
  r->recordHasStretch = 0;
  CKmComposite* m = doc->m_pModel;
  if (doc->m_bandLines.lines) {
    for (ReportItemHead* it = m ? m->itemListHead : nullptr; it; it = it->nextInOrder) {
      if (it->bandLine < kBandLineCount && doc->m_bandLines.lines[it->bandLine].kind == kBandRecord &&
          IsStretchingPlaced(doc, r, it)) {
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
      if (r->links.showMessage) r->links.showMessage(doc, kMsgAcrossMemory, r->recordsAcrossExtra + 1);
      return 1;
    }
  }
  // The Record band's height without its empty bottom lines, unless records
  // go across (each record then keeps its whole band).
  // The page ends at the page set-up's bottom margin.
  if (doc->m_pageMetrics.bottomMargin720 > 0) r->pageBottom = doc->m_pageMetrics.bottomMargin720;
  int32_t height = BandHeight(doc, kBandRecord, r->recordsAcrossExtra > 0 ? 1 : 0);
  r->recordHeight = height > 0 ? height : 0;
  // A label pitch is the height every record takes on the page.
  if (r->recordsAcrossExtra == 0) r->recordHeight = std::max(r->recordHeight, RecordPitch720(*doc));
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
  if (!lines) return;
  for (int i = 0; i <= doc->m_bandLines.lastUsed && i < kBandLineCount; ++i) {
    if (lines[i].objectId == -1 || lines[i].kind == kBandRecord) continue;
    if (FieldDef* f = m->GetFieldAt(static_cast<uint32_t>(lines[i].objectId))) f->needsPrevious = 1;
  }
}

// The query of the last run is kept while nothing it depends on changed.
// reread: the records are read anew whatever changed (after the chart pre-pass).
int PrepareReportData(KmDocBase* doc, ReportRun* r, bool reread = false) {
  CKmComposite* m = doc->m_pModel;
  if (!m) return 0;
  m->BuildFieldIndex();
  RunDataSignature now = r->links.dataSignature ? r->links.dataSignature(doc) : RunDataSignature{};
  // Without a record-position cache to replay, the rows are read again.
  bool reuse = !reread && r->queryOpen && r->cacheValid && !r->dataChanged && now == r->lastSignature;
  if (!reuse) {
    if (r->queryOpen && r->links.closeQuery) r->links.closeQuery(doc);
    r->queryOpen = false;
    // The server's own columns are asked of it while no query is open (the
    // question ends the open statement).
    ResolveSqlExpFields(m);
    int rc = r->links.openQuery ? r->links.openQuery(doc) : 0;
    if (rc == 3121) {
      doc->ShowErrorId(kIdInsufficientMemory, nullptr);
      return rc;
    }
    if (rc) return rc;
    r->queryOpen = true;
    ++r->queryOpens;
  } else {
    ClearScanBuffers(m);
    RewindScan(m);
  }
  r->lastSignature = now;
  r->dataChanged = false;
  if (r->links.runSortPass) {
    if (int rc = r->links.runSortPass(doc)) {
      r->queryOpen = false;  // the records must be read again next time
      if (r->links.reportEngineError) r->links.reportEngineError(doc, rc);
      return rc;
    }
  }
  // Header charts are filled by a pass over every record first; the run
  // then reads the records from the first again.
  if (!reread && HasHeaderCharts(doc)) {
    if (int rc = RunChartPrepass(doc)) {
      r->queryOpen = false;
      if (r->links.reportEngineError) r->links.reportEngineError(doc, rc);
      return rc;
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
  if (CKmComposite* m = doc->m_pModel) {
    m->passPhase = kPhaseIdle;
    int rc = m->conditionCode ? RebuildConditionCode(m) : 0;
    if (rc) {
      doc->ShowErrorId(rc == 1 ? kIdFilterMemory : rc == 3 ? kIdFilterTooComplex : kIdFatalError, nullptr);
      return rc;
    }
  }
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
  BeginRunRecordPass(doc);
  RunReportPass(doc);
  EndRunRecordPass(doc);
  bool tooLarge = doc->m_nRunState == kRunGoing && !r->outputEmitted && doc->m_nRunMode == 0 &&
                  r->pageCount < r->startPage;
  if (doc->m_pModel) {
    // The rows stay in the cache's file for a later run of the same query.
    OpenCacheFile(doc->m_pModel);
    doc->m_pModel->FreeFieldIndex();
    doc->m_pModel->RelinkItemBackPointers();
  }
  ReleaseAcrossBuffer(doc);
  if (r->recordsOutput == 0 && doc->m_nRunState == kRunGoing && !r->outputEmitted) {
    if (r->links.showMessage) r->links.showMessage(doc, kMsgNoRecords, 0);
  } else if (tooLarge && !r->exportRun && r->links.showMessage) {
    r->links.showMessage(doc, kMsgStartPageTooLarge, 0);
  }
}
