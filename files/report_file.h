// Report files on disk: a compound file holding the summary stream, the
// Contents stream (records, then the OLE item list) and the items' own
// storages. The opening and saving entries are CKmRepIO's (report_io.h);
// this is the small reader the file dialogs use.
#pragma once

#include <string>

// Reads the data source a report file names without opening it as the
// document. False, with the outs untouched, for a path that is not a report
// file; otherwise the data-source out is set (" (None)" for a report stored
// without one) and the result is whether it is non-empty. The connect user
// and driver outs are filled when given and the file names them.
bool ReadReportFileInfo(const char* path, std::string* dataSource, std::string* connectUser = nullptr,
                        std::string* driver = nullptr);
