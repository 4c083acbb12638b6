#include "tests/support/run_harness.h"

#include "app/run_hooks.h"
#include "model/record_pass.h"

#include <algorithm>
#include <cstdio>
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

// Band output: the band's lines move the position down; its name goes on
// the page (the page number with the page header and footer).
int HarnessOutput::OutputBand(KmDocBase* doc, int band, int fitLimit) {
  if (fitLimit != 0) return 0;
  ReportRun* r = RunOf(doc);
  FakeDriver* driver = static_cast<FakeDriver*>(r->driver);
  int32_t height = BandHeight(doc, band, 1);
  std::string name = BandName(band);
  if (band == kBandPageHeader || band == kBandPageFooter) name += "#" + std::to_string(r->pageNumber);
  if (band == kBandRecord) name += std::to_string(r->recordsOutput + 1);
  driver->Note(name);
  if (height > 0) driver->MoveDown(nullptr, height, 1);
  if (PageSendFlag(*r, doc->m_nRunMode)) r->outputEmitted = 1;
  return doc->m_nRunState;
}

void HarnessOutput::ShowMessage(KmDocBase*, int message, uint32_t) { CurrentHarness()->messages.push_back(message); }

int HarnessRows::FetchNextRow() {
  ++harness->fetches;
  // A pass that starts over (a later copy) reads the rows from the first.
  if (harness->model->recordNumber == 0) harness->nextRecord = 0;
  if (harness->failFetchAt >= 0 && harness->fetches > harness->failFetchAt) return -1;
  if (harness->nextRecord >= harness->records.size()) return 1;
  current = harness->nextRecord++;
  return 0;
}

int HarnessRows::FetchRow(uint32_t recordNumber) {
  if (recordNumber == 0 || recordNumber > harness->records.size()) return 1;
  current = recordNumber - 1;
  harness->nextRecord = recordNumber;
  return 0;
}

void HarnessRows::ConvertFetchedRow(CKmComposite*) {
  const std::vector<int>& keys = harness->records[current].keys;
  for (int level = 0; level < kRunGroupLevels; ++level) {
    FieldDef* f = harness->keys[level];
    if (f == nullptr || f->value == nullptr) continue;
    const double v = level < static_cast<int>(keys.size()) ? keys[level] : 0;
    std::memcpy(f->value, &v, sizeof v);
  }
  if (harness->copies->value != nullptr) std::memcpy(harness->copies->value, &harness->copiesValue, 8);
}

RunHarness::RunHarness() : lines_(new BandLineRec[kBandLineTableRecords]) {
  g_harness = this;
  // The program's links to the record pass; no dialog watches this run.
  InstallRunHooks(nullptr);
  InstallRunShell(nullptr);
  doc.m_bandLines.lines = lines_.get();
  ClearBandLineTable(doc.m_bandLines);
  doc.m_bandLines.lastUsed = -1;
  model = new CKmComposite(&doc);
  doc.m_pModel = model;
  model->scanMask = kFieldNeeded;
  for (int level = 0; level < kRunGroupLevels; ++level) {
    keys[level] = model->AddField(kFieldNumeric | kFieldNeeded);
    std::snprintf(keys[level]->name, sizeof keys[level]->name, "K%d", level);
  }
  copies = model->AddField(kFieldNumeric | kFieldNeeded);
  std::snprintf(copies->name, sizeof copies->name, "COPIES");
  rows.harness = this;
  GetRecordPassState(model)->rows = &rows;
  run = CreateReportRun(&doc, &driver, &page);
  run->output = &output;
}

RunHarness::~RunHarness() {
  model->itemListHead = nullptr;
  GetRecordPassState(model)->rows = nullptr;
  FreeReportRun(&doc);
  doc.m_pModel = nullptr;
  delete model;
  RemoveRunHooks();
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
    ReportItemHead& item = items_.back().head;
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
    model->groupFields[i] = model->GetFieldIndex(keys[i]);
    CalcOf(run).levels[i].field = model->groupFields[i];
    CalcOf(run).levels[i].options = options[i];
  }
}

void RunHarness::Run() {
  run->hasRecordSource = !noRecordSource;
  nextRecord = 0;
  GetRecordPassState(model)->rows = noRecordSource ? nullptr : &rows;
  OpenScan(model);
  model->passPhase = kPhaseReportRun;
  RunReport(&doc);
  reportedError = run->fetchResult != kEndOfRecords ? run->fetchResult : 0;
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
