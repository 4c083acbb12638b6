#include "run_fakes.h"

#include <algorithm>
#include <cstring>

namespace {
RunHarness* g_harness = nullptr;
}

RunHarness* CurrentHarness() { return g_harness; }

std::string BandName(int band) {
  if (band == kBandTitle) return "T";
  if (band == kBandPageHeader) return "PH";
  if (band >= kBandGroupHeader && band < kBandGroupHeader + 8) return "GH" + std::to_string(band - 20);
  if (band == kBandRecord) return "R";
  if (band >= kBandGroupFooter && band < kBandGroupFooter + 8) return "GF" + std::to_string(band - 70);
  if (band == kBandSummary) return "S";
  if (band == kBandPageFooter) return "PF";
  return "?" + std::to_string(band);
}

void FakeDriver::Note(const std::string& band) {
  if (!open) BeginPage(nullptr, 0, 1);
  pages.back().bands.push_back(band);
}

LONG FakeDriver::EndPage(PageOutputState*, int send) {
  if (!open) pages.push_back(FakePage{});
  pages.back().send = send;
  open = false;
  if (cancelOnEnd) *cancelOnEnd = kRunCancelled;
  return endPageResult;
}

int FakeDriver::SpaceLeft(PageOutputState*, int bottomMargin) {
  int left = pageLength - bottomMargin - y;
  return left > 0 ? left : 0;
}

int FakeDriver::BeginPage(PageOutputState*, int topStart, int send) {
  if (open) return 1;
  open = true;
  y = topStart;
  pages.push_back(FakePage{});
  pages.back().beginSend = send;
  return 1;
}

int FakeDriver::MoveDown(PageOutputState*, int distance, int) {
  if (!open) return 0;
  if (distance < 0) ++moveBacks;
  y = std::max(0, y + distance);
  return 1;
}

namespace {

// Band output: the band's lines move the position down; its name goes on
// the page (the page number with the page header and footer).
int FakeOutputBand(KmDocBase* doc, int band, int) {
  RunHarness* h = CurrentHarness();
  ReportRun* r = RunOf(doc);
  int32_t height = BandHeight(doc, band, 1);
  std::string name = BandName(band);
  if (band == kBandPageHeader || band == kBandPageFooter) name += "#" + std::to_string(r->pageNumber);
  if (band == kBandRecord) name += std::to_string(r->recordsOutput + 1);
  h->driver.Note(name);
  if (height > 0) h->driver.MoveDown(nullptr, height, 1);
  if (PageSendFlag(*r, doc->m_nRunMode)) r->outputEmitted = 1;
  return doc->m_nRunState;
}

// The record pass: the next record's group values, and the group-break
// detection done before each record.
int FakeFetch(KmDocBase* doc, int first) {
  RunHarness* h = CurrentHarness();
  ++h->fetches;
  if (h->failFetchAt >= 0 && h->fetches > h->failFetchAt) return 3001;
  (void)first;
  ReportRun* r = RunOf(doc);
  RunCalcState& c = CalcOf(r);
  c.groupBreakPending = c.pageAffectingBreak = c.pageResetPending = 0;
  c.footerSwap = c.swapHeaderDone = c.swapHeaderPending = 0;
  c.headerSpace = c.reservedFooterSpace = 0;
  std::vector<int> keys;
  if (!h->noRecordSource) {
    if (h->nextRecord >= h->records.size()) return kEndOfRecords;
    keys = h->records[h->nextRecord++].keys;
  }
  int broken = -1;
  for (int level = 0; level < c.levelsUsed; ++level) {
    int value = level < static_cast<int>(keys.size()) ? keys[level] : 0;
    uint8_t* slot = c.previousGroup + level * kGroupSlotBytes;
    int old;
    std::memcpy(&old, slot, sizeof old);
    if (broken < 0 && old != value) broken = level;
    std::memcpy(slot, &value, sizeof value);
  }
  if (broken >= 0) {
    for (int level = broken; level < c.levelsUsed; ++level) {
      RunGroupLevel& g = c.levels[level];
      g.runBits = kRunBreakPending;
      if (g.options & (kGroupResetPage | kGroupSwapFooter | kGroupSwapHeader)) c.pageAffectingBreak = 1;
      if (g.options & kGroupSwapHeader) c.swapHeaderPending = 1;
      if (g.options & kGroupResetPage) c.pageResetPending = 1;
      if (g.options & kGroupSwapFooter) {
        int32_t fh = SumBandLines(doc, kBandGroupFooter + level, 1, 0);
        if (fh > 0) c.reservedFooterSpace += fh;
      }
    }
    c.groupBreakPending = r->recordsOutput > 0 ? 1 : 0;
  }
  return 0;
}

int FakeHandleGroupBreak(KmDocBase* doc) {
  ReportRun* r = RunOf(doc);
  RunCalcState& c = CalcOf(r);
  if (c.groupBreakPending && OutputGroupFooters(doc)) return 1;
  if (c.groupBreakPending && !c.swapHeaderPending) return OutputGroupHeaders(doc, 1);
  return 0;
}

int FakeRewind(KmDocBase*) {
  CurrentHarness()->nextRecord = 0;
  return 0;
}

void FakeMessage(KmDocBase*, int message, uint32_t) { CurrentHarness()->messages.push_back(message); }
void FakeError(KmDocBase*, int code) { CurrentHarness()->reportedError = code; }

}  // namespace

RunHarness::RunHarness() : lines_(new BandLineRec[kBandLineTableRecords]) {
  g_harness = this;
  doc.m_bandLines.lines = lines_.get();
  ClearBandLineTable(doc.m_bandLines);
  doc.m_bandLines.lastUsed = -1;
  model = new CKmComposite(&doc);
  doc.m_pModel = model;
  run = CreateReportRun(&doc, &driver, &page);
  RunLinks& l = run->links;
  l = RunLinks{};
  l.outputBand = FakeOutputBand;
  l.fetchRecord = FakeFetch;
  l.rewindRecords = FakeRewind;
  l.handleGroupBreak = FakeHandleGroupBreak;
  l.showMessage = FakeMessage;
  l.reportEngineError = FakeError;
}

RunHarness::~RunHarness() {
  model->itemListHead = nullptr;
  FreeReportRun(&doc);
  doc.m_pModel = nullptr;
  delete model;
  if (g_harness == this) g_harness = nullptr;
}

void RunHarness::AddBand(BYTE kind, int count, int lineHeight, BYTE lineFlags, bool withItems) {
  for (int i = 0; i < count; ++i) {
    int line = ++doc.m_bandLines.lastUsed;
    BandLineRec& rec = lines_[line];
    rec = BandLineRec{};
    rec.kind = kind;
    rec.objectId = -1;
    rec.flags = i == 0 ? lineFlags : 0;
    if (!withItems) continue;
    items_.emplace_back();
    ReportItemHead& item = items_.back();
    item.bandLine = static_cast<uint8_t>(line);
    item.flags = kItemKindField;
    item.pointSize = lineHeight;
    if (lastItem_) lastItem_->nextInOrder = &item;
    else model->itemListHead = &item;
    lastItem_ = &item;
  }
}

void RunHarness::SetGroups(const std::vector<uint8_t>& options) {
  for (size_t i = 0; i < options.size() && i < kRunGroupLevels; ++i) {
    CalcOf(run).levels[i].field = static_cast<uint32_t>(i + 1);
    CalcOf(run).levels[i].options = options[i];
  }
}

void RunHarness::Run() {
  run->hasRecordSource = !noRecordSource;
  nextRecord = 0;
  RunReport(&doc);
}

std::vector<std::string> RunHarness::AllPages() const {
  std::vector<std::string> out;
  for (const FakePage& p : driver.pages) {
    std::string s;
    for (const std::string& b : p.bands) s += (s.empty() ? "" : " ") + b;
    out.push_back(s);
  }
  return out;
}

std::vector<std::string> RunHarness::SentPages() const {
  std::vector<std::string> out = AllPages();
  for (size_t i = 0; i < out.size(); ++i)
    if (driver.pages[i].send != 1) out[i].clear();
  return out;
}
