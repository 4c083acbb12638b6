#include "tests/support/sample_document.h"

bool SampleDocument::Write(const char* dataSource, const std::string& path, std::string* error) {
  return WriteSampleReport(doc, io, dataSource, path.c_str(), error);
}
