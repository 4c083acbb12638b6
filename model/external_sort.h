// The one entry point of the program's external merge sort: it fills the
// sort context from the key fields, names the output work file and runs the
// run formation and the merge of model/record_sort.h. The records, their keys
// and where the sorted records go belong to the caller's call-backs.
#pragma once

#include <cstdint>
#include <string>

#include "model/record_sort.h"

// keyFields: null ended, most significant first, at most 8. ascending: one
// word per key, non-zero ascending. outName: receives the output file's name
// (temporary folder, "KMW", process id, ".", kind); null creates no output
// file. Comparison settings, pool size, model and user data are taken from
// ctx as the caller left them. 0 when every record went to the output
// call-back in order, 1 on failure (no run file is left either way).
int RunExternalSort(SortContext& ctx, FieldDef* const* keyFields, const uint32_t* ascending,
                    std::string* outName, SortBeginProc begin, SortEndProc end, SortNextProc next,
                    SortOutputProc output, SortKeyProc key, uint32_t payloadWords, const char* kind,
                    uint32_t phase);
