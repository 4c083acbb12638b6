// SQL Select (LISTTABLES): the tables and views of the current data source by
// owner, or the statement of a user-SQL report; and the "no tables" dialog.
#pragma once

#include "platform/win/window.h"

#include <string>
#include <vector>

class KmDocBase;
class DataAccess;

constexpr int kStatementBufferSize = 10240;

struct TableListRequest {
  // In.
  int kind = 2;                 // 1, 2 master table; 3, 4 related table
  bool statementMode = false;   // the report's master is its own SELECT
  bool allowNoMaster = false;   // offers "Create Report without Master Table" (kind 1)
  std::string reference;        // in: the table to preselect; out: the one chosen
  char* statement = nullptr;    // statement mode: the report's statement buffer
  int statementSize = kStatementBufferSize;
  // Out.
  bool withoutMaster = false;
  // Directory data sources: the place the chosen table lives in (the data
  // source's own database when empty). The entry of the data source the
  // table was listed from (-1: none known).
  std::string directory;
  int entryIndex = -1;

  // The dialog's working state.
  KmDocBase* doc = nullptr;
  DataAccess* data = nullptr;
  bool showSystem = false;
  bool systemSeen = false;
  bool allOwners = true;
  std::string chosenOwner;
  std::vector<std::string> owners;
  // One row per table: owner, table, system flag.
  struct Row {
    std::string owner, table;
    bool system = false;
  };
  std::vector<Row> rows;
  bool rowsRead = false;
};

INT_PTR TableListDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR NoTablesDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// 1 OK, 0 Cancel or failure, 2 no tables and the user gave up.
int ShowTableListDialog(KmDocBase* doc, HWND owner, TableListRequest* request);

// Both table lists' captions: the master table's (kind 1 or 2) or a related one's.
const char* TableListTitle(int kind);
// "Unable to find or load the setup DLL for %s" over the dialog.
void ShowSetupFailure(HWND dialog, TableListRequest* r, const std::string& name);

// Fills the list: 0 error, 1 filled, 2 no tables.
int FillTableList(HWND dialog, TableListRequest* r);
// 0 no owner combo, 1 one owner, 2 several.
int FillOwnerCombo(HWND dialog, TableListRequest* r);
// The reference a list entry stands for ("owner.table", or the bare table).
std::string TableReferenceFor(const TableListRequest& r, const std::string& listed);
// "Cannot find related table ... Re-select table?": Yes chooses the table
// from the list; true with the new reference in path.
bool ReselectRelatedTable(KmDocBase* doc, std::string* path);
// Checks a user SELECT by running it with no rows; false with the driver's
// message in error.
bool CheckUserSelect(DataAccess* data, const char* sql, std::string* error);
