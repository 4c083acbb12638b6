// A document ready for the sample report's writer: its band-line table, page
// set-up and report I/O, all given back when it goes.
#pragma once

#include "app/document.h"
#include "files/report_io.h"

#include <memory>
#include <string>

struct SampleDocument {
  SampleDocument();
  ~SampleDocument();
  SampleDocument(const SampleDocument&) = delete;
  SampleDocument& operator=(const SampleDocument&) = delete;

  // Builds the sample report on the data source and writes it to path.
  bool Write(const char* dataSource, const std::string& path, std::string* error);

  CKmDoc doc;
  std::unique_ptr<BandLineRec[]> lines;
  CKmRepIO io;
};
