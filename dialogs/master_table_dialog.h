// Master Table (DATABASE): the report's master table and its alias, changed
// through the table list; for a user-SQL report the SQL Select dialog in
// statement mode stands in for it. Also what every table change ends with.
#pragma once

#include "platform/win/window.h"

#include <string>

class KmDocBase;
class DataAccess;
class CKmComposite;
struct TableOverrideContext;

// The override context of the current data source (quote, owners, kmwsql.ini).
TableOverrideContext CurrentOverrideContext(DataAccess* data);

// Opens the table (or, with a statement, the user SELECT) as the master of a
// report that has none; 0 or an engine code. The slot is named for the
// current data source.
int OpenReportMaster(KmDocBase* doc, const char* reference, const char* statement);

// The Open dialog that asks for a master table file: its title ("Master
// Table"), help context and the filter of the source's kind.
constexpr UINT kStrMasterTableTitle = 67;
constexpr UINT kMasterTableFileHelp = 1044;
UINT MasterTableFileFilter(const DataAccess* data);

INT_PTR MasterTableDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// 1 changed (or kept), 0 cancelled. replaced, when given, tells whether OK
// put another table in the master's place (the designer then lets go of its
// selection, marks, undo and clipboard).
int RunMasterTableDialog(KmDocBase* doc, HWND owner, bool* replaced = nullptr);

// After a table or join change: the fields marked for removal go, the
// report is modified, its item order rebuilt and its views redrawn; a
// changed alias is renamed in the exports' field selections.
void AfterTableChange(KmDocBase* doc, const char* newAlias, const char* oldAlias = "");
