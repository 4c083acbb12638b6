// The state of one report run, from preparation to the last page. The
// document holds it (m_pRun) while a run is in progress. Each part of the run
// keeps its own block: the record and page loop here, the calculated-field
// and totals state, and the band output state.
#pragma once

#include "platform/printer/page_driver.h"

class CKmDoc;
struct RunCalcState;     // calculated fields pass, totals pre-pass, summary fields
struct BandOutputState;  // band output and line text assembly

struct ReportRun {
  CKmDoc* doc = nullptr;
  PageDriver* driver = nullptr;        // the printer library the run draws through
  PageOutputState* page = nullptr;     // the device and its metrics for this run
  RunCalcState* calc = nullptr;        // owned by the run, made by the calculation side
  BandOutputState* band = nullptr;     // owned by the run, made by the band output side
};
