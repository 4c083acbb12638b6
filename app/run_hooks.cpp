#include "app/run_hooks.h"

#include "app/document.h"
#include "app/run_status.h"
#include "core/composite.h"
#include "data/memo_sources.h"
#include "engine/doc_upkeep.h"
#include "engine/run_output.h"
#include "engine/run_report.h"
#include "engine/sort_pass_link.h"
#include "engine/summary_fields.h"
#include "model/record_pass.h"

namespace {

int RunCancelled(CKmComposite*) { return PollRunCancelled() != 0 ? 1 : 0; }

CKmDoc* DocOf(CKmComposite* model) {
  return model != nullptr && model->owner != nullptr ? static_cast<CKmDoc*>(model->owner) : GetActiveKmDoc();
}

void ShowPassPhase(CKmComposite* model, const char* text) {
  if (CKmDoc* doc = DocOf(model)) ShowRunStatusPhase(*doc, text);
}

void ShowPassStatus(CKmComposite* model, const char* label, uint32_t value) {
  if (CKmDoc* doc = DocOf(model)) ShowRunStatusCount(*doc, label, value);
}

}  // namespace

void InstallRunHooks(void (*message)(const char* text)) {
  RecordPassHooks& pass = GetRecordPassHooks();
  pass.updateSummaries = UpdateSummaries;
  pass.totalsPrepass = SortPassTotalsPrepass;
  pass.memoReader = MemoReaderFor;
  pass.cancelled = RunCancelled;
  pass.showPhase = ShowPassPhase;
  pass.showStatus = ShowPassStatus;
  pass.message = message;
  pass.groupTotalsCounter = GroupTotalsCounterStep;
  pass.selectedCounter = SelectedCounterStep;
  InstallRunShell(&AppRunShell());
}

void RemoveRunHooks() {
  GetRecordPassHooks() = RecordPassHooks();
  InstallRunShell(nullptr);
}
