// Charts in a report run: their fields made part of the run, their series
// reset at each pass and fed per record and per group, and each chart item
// drawn from what it collected and placed on the page.
#pragma once

#include "engine/band_output.h"

#include <string>

class KmDocBase;
class CKmChart;

// Renders one chart item and sends its record, copies times (the records
// of a records-across row), each copy copyWidth screen pixels right of the
// one before; y as for pictures. 0 when the library refused a record (the
// run state is then -1); a chart that draws nothing places nothing and the
// run goes on.
int ImbedChart(ReportRun* run, ItemOutput& item, LONG y, LONG shift, int copies = 1, LONG copyWidth = 0);

// The run's calculation hook: the values of one level go to the charts
// the pass fills (the pre-pass: the header charts; the run: the others).
void FeedRunCharts(ReportRun* run, int level, bool atEnd);
// The charts in footers, the Summary and the Record band start afresh (each
// pass of a run); header charts keep what the pre-pass gave them.
void ResetRunCharts(KmDocBase* doc);
// Charts in the Title, page header or a group header show values before the
// records are output: a pass over every record fills them first. An engine
// code (0 also when there are none); the caller reads the records again.
bool HasHeaderCharts(KmDocBase* doc);
int RunChartPrepass(KmDocBase* doc);

// The fields the charts read are marked as used by a chart and needed by
// the run.
void RegisterChartFields(KmDocBase* doc);
// A field left the report: the charts follow its number. False when a
// chart used it (that chart must be edited before it prints again).
bool ChartsFieldDeleted(KmDocBase* doc, uint32_t field);
void RenumberChartFieldRefs(KmDocBase* doc, uint32_t oldField, uint32_t newField);

