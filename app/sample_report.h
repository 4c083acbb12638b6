// The sample report shipped with the program: the order lines of the sample
// shop database, grouped by customer, with a total per customer and a grand
// total. Built in code over a connected data source and saved with the
// program's own writer.
#pragma once

#include "app/document.h"
#include "files/report_io.h"

#include <memory>
#include <string>

// The sample database's view the report reads.
constexpr const char kSampleTable[] = "order_lines";

// Builds the report into the document, whose report tables must be empty:
// the master table from the data source (connected here), the fields, the
// customer group with its totals, the band lines and the texts. False, with
// the reason in error, when the data source or the table cannot be had.
bool BuildSampleReport(CKmDoc& doc, CKmRepIO& io, const char* dataSource, std::string* error);

// Builds the report and writes it to path as a report file; false with the
// reason in error.
bool WriteSampleReport(CKmDoc& doc, CKmRepIO& io, const char* dataSource, const char* path,
                       std::string* error);

// A document ready for the sample report's writer: its band-line table, page
// set-up and report I/O, all given back when it goes.
struct SampleReportDocument {
  SampleReportDocument();
  ~SampleReportDocument();
  SampleReportDocument(const SampleReportDocument&) = delete;
  SampleReportDocument& operator=(const SampleReportDocument&) = delete;

  CKmDoc doc;
  std::unique_ptr<BandLineRec[]> lines;
  CKmRepIO io;
};
