// File > Export (30060) and the /G run of a report whose output is an
// export: the report's export settings, the Export dialog, and the export
// run over the program's print run.
#pragma once

class CKmDoc;

// The Export dialog, then the export; the settings chosen stay with the
// report. 1 when a file was written.
int OnFileExport(CKmDoc& doc);

// The report's page set-up sends its output to an export (destination codes
// 253 to 255): /G then exports instead of printing.
bool ReportOutputIsExport(const CKmDoc& doc);
// The export the report's settings describe, without questions; 1 when written.
int RunReportExport(CKmDoc& doc);
