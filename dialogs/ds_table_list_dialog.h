// The table list of a data source whose tables may lie in other places
// (its settings join across directories): the current data source's tables,
// or those of another compatible data source or of another database file
// next to its own, listed through a passing second connection.
#pragma once

#include "dialogs/table_list_dialog.h"

// 1 OK, 0 Cancel or failure. The chosen table of another place comes back
// as that place, a backslash and the table; request->directory holds the place.
int ShowDataSourceTablesDialog(KmDocBase* doc, HWND owner, TableListRequest* request);

// The database files beside path (a database file or a folder) whose
// extension is ext ("*" or empty: every file), sorted by name.
std::vector<std::string> SiblingDatabaseFiles(const std::string& path, const std::string& ext);
