// The engine's totals pre-pass as the model's sort pass calls it
// (RecordPassHooks::totalsPrepass): the pre-pass, and whether the totals it
// wrote wait to be sorted into an index.
#pragma once

class CKmComposite;
struct TotalsPrepassResult;

int SortPassTotalsPrepass(CKmComposite* model, int progressArg1, int progressArg2, TotalsPrepassResult* out);
