// The Report Specification: the report's definition printed as plain text
// lines through the printer library, one page after another, in the run's
// print or preview.
#pragma once

struct ReportRun;

// The whole printout; the document's run state carries a stop or a failure.
void PrintReportSpecification(ReportRun* run);
