#include "model/external_sort.h"

#include "core/fields.h"

int RunExternalSort(SortContext& ctx, FieldDef* const* keyFields, const uint32_t* ascending,
                    std::string* outName, SortBeginProc begin, SortEndProc end, SortNextProc next,
                    SortOutputProc output, SortKeyProc key, uint32_t payloadWords, const char* kind,
                    uint32_t phase) {
  ctx.next = next;
  ctx.output = output;
  ctx.key = key;
  ctx.end = end;
  ctx.payloadWords = payloadWords;
  ctx.keyOffset = 4 * payloadWords + 8;
  ctx.phase = phase;
  if (begin != nullptr && begin(ctx) != 0) return 1;
  for (WorkFile& f : ctx.runFiles) f.Close();

  ctx.keyCount = 0;
  for (int k = 0; keyFields != nullptr && keyFields[k] != nullptr; ++k) {
    if (k == kMaxSortKeys) break;  // the context holds eight keys
    ctx.keyKinds[k] = SortKeyKindOf(ctx, keyFields[k]);
    ctx.ascending[k] = ascending != nullptr ? ascending[k] : 1;
    ctx.keyCount = k + 1;
  }
  ctx.sequence = 0;
  ctx.outputName.clear();
  if (outName != nullptr) {
    *outName = MakeTempFileName(kind);
    ctx.outputName = *outName;
    if (ctx.outputName.empty()) {
      if (end != nullptr) end(ctx);
      return 1;
    }
  }
  const int r = WriteSortRun(ctx);
  if (end != nullptr) end(ctx);
  if (r != 0) return 1;
  if (ctx.lastRun < 0) return 0;
  return MergeSortRuns(ctx) == 0 ? 0 : 1;
}
