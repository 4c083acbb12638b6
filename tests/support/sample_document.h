// A document ready for the sample report's writer: its band-line table, page
// set-up and report I/O, all given back when it goes.
#pragma once

#include "app/sample_report.h"

#include <string>

struct SampleDocument : SampleReportDocument {
  // Builds the sample report on the data source and writes it to path.
  bool Write(const char* dataSource, const std::string& path, std::string* error);
};
