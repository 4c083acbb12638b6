// The Database menu's data commands and Data Source Connections.
#pragma once

#include "platform/win/win_types.h"

class CKmDoc;

// Master Table (or SQL select), Joins and Data Source Connections; FALSE for
// any other command.
BOOL DispatchDataCommand(CKmDoc& doc, UINT id);
// A data source is current for the report's tables: the current one, else
// the report's own connected (or one the user chooses).
BOOL HaveDataSource(CKmDoc& doc);
