// Connecting a new report's data source by name, with no dialog: the data
// source the command line names (/N) and the master table it names (/T, /I).
// The interactive choice of a data source calls this once the user has
// picked a name.
#pragma once

#include "platform/win/win_types.h"

#include <string>

class CKmDoc;

// The data source the command line names (/N) made ready for a new report,
// its master table (/T, /I) with it; FALSE (the reason shown) when it cannot be.
BOOL EnsureCommandLineDataSource(CKmDoc& doc);

// Connects the named data source (asking for a log-on only when allowPrompt
// is set) and makes it current; with a master table, the table becomes the
// report's master with its columns listed. The name is kept as the report's
// data source. False, with the reason in error, when the source cannot be
// connected or the table cannot be read.
bool ConnectNamedDataSource(CKmDoc& doc, const char* source, const char* masterTable, bool allowPrompt,
                            std::string* error);
