// The rows of the report's open query as the record pass sees them: the next
// row, a row by its 1-based number, and the conversion of the fetched row into
// the fields' value buffers. The data-access layer provides one over its
// statement; tests and benchmarks provide rows from memory.
#pragma once

#include <cstdint>

class CKmComposite;

class RecordRowSource {
 public:
  virtual ~RecordRowSource() = default;
  // 0 a row was fetched, 1 the end, -1 a failure the data layer has told.
  virtual int FetchNextRow() = 0;
  virtual int FetchRow(uint32_t recordNumber) = 0;
  // Fills the value buffers of the fetched fields, with their null bits.
  virtual void ConvertFetchedRow(CKmComposite* model) = 0;
};
