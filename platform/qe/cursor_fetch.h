// The PostgreSQL driver reads a whole result into memory before it hands
// out the first row unless it reads through a cursor. A report reads results
// of any length row by row, so a connection to that driver asks for the
// cursor unless its data source or connection text chooses for itself.
#pragma once

#include <string>

namespace qe_cursor {

// Rows the driver's cursor fetches at a time.
constexpr int kFetchRows = 1000;

// The connection text as it goes to the driver: with "UseDeclareFetch=1"
// and the fetch size appended when the driver the text names (through
// DRIVER= or its data source's entry) is the PostgreSQL one and neither the
// text nor the data source's entry names UseDeclareFetch.
std::string WithCursorFetch(const std::string& connectText);

// The same decision over what the lookups found, for callers that know them:
// driverLibrary is the driver's file (or name), dsnSetsIt whether the data
// source's entry names UseDeclareFetch.
std::string WithCursorFetch(const std::string& connectText, const std::string& driverLibrary, bool dsnSetsIt);

}  // namespace qe_cursor
