#include "dialogs/table_list_dialog.h"

#include "data/data_access.h"
#include "data/select_params.h"
#include "data/user_statement.h"
#include "dialogs/data_source_dialogs.h"
#include "dialogs/ds_table_list_dialog.h"
#include "foundation/doc_base.h"
#include "foundation/heap_strings.h"
#include "foundation/message_dialog.h"
#include "platform/win/dialog.h"
#include "platform/win/unattended.h"
#include "platform/win/wsprintf.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

enum : int {
  kList = 200, kListLabel = 201, kGroup = 202, kEdit = 203, kDatabases = 204, kOwners = 205, kDbLabel = 206,
  kOwnerLabel = 207, kCopy = 208, kPaste = 209, kNoMaster = 210, kHelp = 300
};
constexpr UINT kStrMasterTitle = 67;
constexpr UINT kStrRelatedTitle = 68;
constexpr UINT kStrNoMemory = 619;
constexpr UINT kStrEmptyStatement = 1498;
constexpr UINT kStrCannotFetch = 3237;
constexpr UINT kStrSetupDll = 3248;
constexpr UINT kStrSystemTables = 17105;
constexpr UINT kStrAllOwners = 17106;
constexpr UINT kStrReselect = 3331;

TableListRequest* State(HWND dialog) { return reinterpret_cast<TableListRequest*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

std::string ItemText(HWND dialog, int control, int index, bool combo) {
  HWND box = GetDlgItem(dialog, control);
  const LRESULT n = SendMessageA(box, combo ? UINT{CB_GETLBTEXTLEN} : UINT{LB_GETTEXTLEN}, static_cast<WPARAM>(index), 0);
  if (n < 0) return std::string();
  std::string text(static_cast<size_t>(n) + 1, '\0');
  SendMessageA(box, combo ? UINT{CB_GETLBTEXT} : UINT{LB_GETTEXT}, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(std::strlen(text.c_str()));
  return text;
}

std::string TrimRight(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string FileNamePartOf(const std::string& ref) {
  const size_t cut = ref.find_last_of("\\/");
  return cut == std::string::npos ? ref : ref.substr(cut + 1);
}

// The rows of the data source's table list, read once a run.
bool ReadRows(TableListRequest* r) {
  if (r->rowsRead) return true;
  r->rows.clear();
  r->doc->SetWaitCursor(1);
  if (r->data->ListTables("")) {
    r->doc->SetWaitCursor(0);
    return false;
  }
  int result = 0;
  while ((result = r->data->FetchNext()) == 0) {
    TableListRequest::Row row;
    row.owner = TrimRight(r->data->GetColumnText(2, 2, 0));
    row.table = TrimRight(r->data->GetColumnText(3, 3, 0));
    row.system = std::atoi(r->data->GetColumnText(4, 4, 0)) != 0;
    if (!row.table.empty()) r->rows.push_back(row);
  }
  r->data->EndStatement();
  r->doc->SetWaitCursor(0);
  if (result != 1) return false;
  r->rowsRead = true;
  return true;
}

void EnableOk(HWND dialog, bool on) { EnableWindow(GetDlgItem(dialog, IDOK), on ? TRUE : FALSE); }

// Places and shows the controls of the mode.
void ArrangeSqlSelectDialog(HWND dialog, TableListRequest* r, bool ownerCombo) {
  const int table[] = {kList, kListLabel, kOwners, kOwnerLabel};
  for (int id : table) ShowWindow(GetDlgItem(dialog, id), r->statementMode ? SW_HIDE : SW_SHOW);
  ShowWindow(GetDlgItem(dialog, kOwners), !r->statementMode && ownerCombo ? SW_SHOW : SW_HIDE);
  ShowWindow(GetDlgItem(dialog, kOwnerLabel), !r->statementMode && ownerCombo ? SW_SHOW : SW_HIDE);
  const bool noMaster = !r->statementMode && r->kind == 1 && r->allowNoMaster;
  ShowWindow(GetDlgItem(dialog, kNoMaster), noMaster ? SW_SHOW : SW_HIDE);
  ShowWindow(GetDlgItem(dialog, kDatabases), SW_HIDE);
  ShowWindow(GetDlgItem(dialog, kDbLabel), SW_HIDE);
  ShowWindow(GetDlgItem(dialog, kGroup), r->statementMode ? SW_SHOW : SW_HIDE);
  ShowWindow(GetDlgItem(dialog, kEdit), r->statementMode ? SW_SHOW : SW_HIDE);
  ShowWindow(GetDlgItem(dialog, kCopy), r->statementMode ? SW_SHOW : SW_HIDE);
  ShowWindow(GetDlgItem(dialog, kPaste), r->statementMode ? SW_SHOW : SW_HIDE);
  // The table mode is the narrower dialog: the list and the buttons beside it.
  RECT dlg, cancel, bottom;
  GetWindowRect(dialog, &dlg);
  GetWindowRect(GetDlgItem(dialog, IDCANCEL), &cancel);
  // The check box stands below the owners, so it decides the height when shown.
  const int lowest = r->statementMode ? kEdit : noMaster ? kNoMaster : ownerCombo ? kOwners : kList;
  GetWindowRect(GetDlgItem(dialog, lowest), &bottom);
  if (!r->statementMode) {
    RECT help;
    GetWindowRect(GetDlgItem(dialog, kCopy), &help);
    POINT p{help.left, help.top};
    ScreenToClient(dialog, &p);
    SetWindowPos(GetDlgItem(dialog, kHelp), nullptr, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  }
  const int height = std::max(bottom.bottom, cancel.bottom + 60) - dlg.top + 12;
  SetWindowPos(dialog, nullptr, 0, 0, dlg.right - dlg.left, height, SWP_NOMOVE | SWP_NOZORDER);
  r->doc->CenterDialogOnOwner(dialog);
  if (r->statementMode) {
    SendDlgItemMessageA(dialog, kEdit, EM_LIMITTEXT, static_cast<WPARAM>(r->statementSize - 1), 0);
    if (r->statement != nullptr && r->statement[0]) SetDlgItemTextA(dialog, kEdit, r->statement);
    EnableOk(dialog, true);
    SetFocus(GetDlgItem(dialog, kEdit));
  }
}

int HandleNoTables(HWND dialog, TableListRequest* r) {
  const INT_PTR answer = r->doc->DoModalDialog(GetActiveWindow(), NoTablesDlgProc, "NOTABLES", reinterpret_cast<LPARAM>(r));
  DataAccess* data = r->data;
  std::string name = data->GetCurrentDataSourceName() ? data->GetCurrentDataSourceName() : "";
  if (answer == 200) {
    if (data->ConfigureDataSource(name.c_str()) == 0) {
      ShowSetupFailure(dialog, r, name);
      EndDialog(dialog, 200);
      return 1;
    }
    data->SelectDataSource(nullptr);
    data->DisconnectDataSource(name.c_str());
    if (data->ConnectDataSource(name.c_str(), true, true, nullptr) != 1) {
      EndDialog(dialog, 200);
      return 1;
    }
    data->SelectDataSource(name.c_str());
    r->rowsRead = false;
    return 0;
  }
  if (answer == 201) {
    const int chosen = data->GetConnectionCount() == 0 ? ShowDataSourcesDialog(r->doc, dialog, true, nullptr)
                                                       : ShowConnectedSourcesDialog(r->doc, dialog, true);
    if (chosen != 0 || data->Current() == nullptr) {
      data->SelectDataSource(nullptr);
      EndDialog(dialog, 201);
      return 1;
    }
    r->rowsRead = false;
    return 0;
  }
  data->SelectDataSource(nullptr);
  if (!name.empty()) data->DisconnectDataSource(name.c_str());
  EndDialog(dialog, 2);
  return 1;
}

void RefillOwners(HWND dialog, TableListRequest* r) {
  const int owners = FillOwnerCombo(dialog, r);
  EnableWindow(GetDlgItem(dialog, kOwners), owners == 2);
  if (owners == 1) {
    r->chosenOwner = r->owners[0];
    r->allOwners = false;
  }
  if (!r->allOwners) FillTableList(dialog, r);
}

void SelectedOk(HWND dialog, TableListRequest* r) {
  if (IsDlgButtonChecked(dialog, kNoMaster) == BST_CHECKED) {
    r->withoutMaster = true;
    EndDialog(dialog, 1);
    return;
  }
  const int selected = static_cast<int>(SendDlgItemMessageA(dialog, kList, LB_GETCURSEL, 0, 0));
  if (selected < 0) return;
  const std::string listed = ItemText(dialog, kList, selected, false);
  if (!r->showSystem && r->systemSeen && selected == 0) {
    // "<<System tables>>": the system tables are listed instead.
    EnableOk(dialog, false);
    r->showSystem = true;
    r->chosenOwner.clear();
    r->allOwners = true;
    if (FillTableList(dialog, r) == 0) {
      EndDialog(dialog, 0);
      return;
    }
    RefillOwners(dialog, r);
    return;
  }
  r->reference = TableReferenceFor(*r, listed);
  EndDialog(dialog, 1);
}

void StatementOk(HWND dialog, TableListRequest* r) {
  const int length = GetWindowTextLengthA(GetDlgItem(dialog, kEdit));
  std::string text(static_cast<size_t>(std::max(length, 0)) + 1, '\0');
  GetDlgItemTextA(dialog, kEdit, &text[0], static_cast<int>(text.size()));
  text.resize(std::strlen(text.c_str()));
  if (static_cast<int>(text.size()) > r->statementSize - 1) text.resize(static_cast<size_t>(r->statementSize - 1));
  bool blank = true;
  for (char c : text) blank = blank && static_cast<unsigned char>(c) <= 0x20;
  if (blank) {
    r->doc->ErrorBoxOwner(dialog, GetResString(kStrEmptyStatement, 0));
    return;
  }
  // A statement the data source refuses is shown with the driver's message and not kept.
  std::string error;
  r->doc->SetWaitCursor(1);
  const bool ok = CheckUserSelect(r->data, text.c_str(), &error);
  r->doc->SetWaitCursor(0);
  if (!ok) {
    r->doc->ErrorBoxOwner(dialog, error.c_str());
    SetFocus(GetDlgItem(dialog, kEdit));
    return;
  }
  if (r->statement != nullptr) CopyBounded(r->statement, static_cast<size_t>(r->statementSize), text.c_str());
  EndDialog(dialog, 1);
}

}  // namespace

bool CheckUserSelect(DataAccess* data, const char* sql, std::string* error) {
  // A statement that would change the data never reaches the data source.
  const SqlReading reading = ReadReportStatement(sql, data->SqlRules());
  if (!reading.ok) {
    *error = reading.why;
    return false;
  }
  if (data->Current() == nullptr) return true;
  // What is tried is what the report will send: a REPORTVIEW's SELECT, a
  // procedure call as the data source takes it.
  char* substituted = SubstituteSelectParameters(sql + reading.queryOffset, nullptr);
  if (substituted == nullptr) {
    *error = sql;
    return false;
  }
  std::string probe;
  const char* first = substituted + std::strspn(substituted, " \t\r\n");
  if (!reading.procedure && strncasecmp(first, "select", 6) == 0) {
    MakeLayoutOnlySelectAll(probe, substituted, data->SqlRules().lex);
  } else {
    probe = substituted;
  }
  HeapFreeBlock(substituted);
  char message[700] = {};
  const int rc = data->ExecReportSql(probe.c_str(), message, sizeof message, DataAccess::SqlUse::kReportStatement);
  data->EndStatement();
  if (rc != 0) *error = message;
  return rc == 0;
}

std::string TableReferenceFor(const TableListRequest& r, const std::string& listed) {
  std::string owner, table = listed;
  if (r.allOwners) {
    // The listed text is owner.table when the row has an owner.
    for (const TableListRequest::Row& row : r.rows)
      if (!row.owner.empty() && row.owner + "." + row.table == listed) {
        owner = row.owner;
        table = row.table;
        break;
      }
  } else {
    owner = r.chosenOwner;
  }
  if (owner.empty()) return table;
  if (r.data->IsOracle() && strcasecmp(owner.c_str(), "PUBLIC") == 0) return table;
  return owner + "." + table;
}

int FillTableList(HWND dialog, TableListRequest* r) {
  SendDlgItemMessageA(dialog, kList, LB_RESETCONTENT, 0, 0);
  if (!ReadRows(r)) {
    r->doc->ErrorBoxOwner(dialog, GetResString(kStrCannotFetch, 0));
    return 0;
  }
  if (r->rows.empty()) return 2;
  r->systemSeen = false;
  for (const TableListRequest::Row& row : r->rows) {
    if (row.system) r->systemSeen = true;
    if (row.system != r->showSystem) continue;
    std::string shown;
    if (r->allOwners) shown = row.owner.empty() ? row.table : row.owner + "." + row.table;
    else if (row.owner == r->chosenOwner) shown = row.table;
    else continue;
    SendDlgItemMessageA(dialog, kList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(shown.c_str()));
  }
  // The given reference is preselected by its file-name part.
  int at = -1;
  const std::string want = FileNamePartOf(r->reference);
  const int count = static_cast<int>(SendDlgItemMessageA(dialog, kList, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count && !want.empty() && at < 0; ++i) {
    const std::string item = ItemText(dialog, kList, i, false);
    const std::string tail = item.substr(item.find('.') == std::string::npos ? 0 : item.find('.') + 1);
    if (strncasecmp(item.c_str(), want.c_str(), want.size()) == 0 || strcasecmp(tail.c_str(), want.c_str()) == 0 ||
        strcasecmp(item.c_str(), r->reference.c_str()) == 0)
      at = i;
  }
  if (!r->showSystem && r->systemSeen) {
    SendDlgItemMessageA(dialog, kList, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(GetResString(kStrSystemTables, 0)));
    if (at >= 0) ++at;
  }
  SendDlgItemMessageA(dialog, kList, LB_SETCURSEL, static_cast<WPARAM>(at < 0 ? 0 : at), 0);
  EnableOk(dialog, true);
  return 1;
}

int FillOwnerCombo(HWND dialog, TableListRequest* r) {
  SendDlgItemMessageA(dialog, kOwners, CB_RESETCONTENT, 0, 0);
  r->owners.clear();
  // A driver that claims owners but returns none gives no combo; a row
  // without an owner adds none.
  for (const TableListRequest::Row& row : r->rows) {
    if (row.system != r->showSystem || row.owner.empty()) continue;
    bool seen = false;
    for (const std::string& o : r->owners) seen = seen || strcasecmp(o.c_str(), row.owner.c_str()) == 0;
    if (!seen) r->owners.push_back(row.owner);
  }
  if (r->owners.empty()) return 0;
  if (r->owners.size() > 1)
    SendDlgItemMessageA(dialog, kOwners, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(GetResString(kStrAllOwners, 0)));
  for (const std::string& o : r->owners)
    SendDlgItemMessageA(dialog, kOwners, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(o.c_str()));
  LRESULT at = r->chosenOwner.empty() ? CB_ERR
                                      : SendDlgItemMessageA(dialog, kOwners, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                            reinterpret_cast<LPARAM>(r->chosenOwner.c_str()));
  if (at == CB_ERR) {
    at = 0;
    r->chosenOwner.clear();
  }
  SendDlgItemMessageA(dialog, kOwners, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
  return r->owners.size() > 1 ? 2 : 1;
}

const char* TableListTitle(int kind) { return GetResString(kind <= 2 ? kStrMasterTitle : kStrRelatedTitle, 0); }

void ShowSetupFailure(HWND dialog, TableListRequest* r, const std::string& name) {
  r->doc->ErrorBoxOwner1(dialog, GetResString(kStrSetupDll, 0), name.c_str());
}

INT_PTR TableListDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  TableListRequest* r = State(dialog);
  switch (message) {
    case WM_INITDIALOG: {
      r = reinterpret_cast<TableListRequest*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      if (!r->statementMode)
        SetWindowTextA(dialog, TableListTitle(r->kind));
      if (r->statementMode && r->statement == nullptr) {
        r->doc->ErrorBoxOwner(dialog, GetResString(kStrNoMemory, 0));
        EndDialog(dialog, 0);
        return TRUE;
      }
      bool ownerCombo = false;
      if (!r->statementMode) {
        EnableOk(dialog, false);
        for (;;) {
          const int filled = FillTableList(dialog, r);
          if (filled == 1) break;
          if (filled == 0) {
            EndDialog(dialog, 0);
            return TRUE;
          }
          if (HandleNoTables(dialog, r) == 1) return TRUE;
        }
        const int owners = FillOwnerCombo(dialog, r);
        ownerCombo = owners != 0;
        // An owner in the given reference narrows the list to it.
        const size_t dot = r->reference.find('.');
        if (owners == 2 && dot != std::string::npos) {
          const std::string owner = r->reference.substr(0, dot);
          const LRESULT at = SendDlgItemMessageA(dialog, kOwners, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                 reinterpret_cast<LPARAM>(owner.c_str()));
          if (at != CB_ERR) {
            SendDlgItemMessageA(dialog, kOwners, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
            r->chosenOwner = owner;
            r->allOwners = false;
          }
        }
        EnableWindow(GetDlgItem(dialog, kOwners), owners == 2);
        if (owners == 1) {
          r->chosenOwner = r->owners[0];
          r->allOwners = false;
        }
        if (!r->allOwners) FillTableList(dialog, r);
      }
      ArrangeSqlSelectDialog(dialog, r, ownerCombo);
      if (r->statementMode && IsUnattendedRun()) {
        // Nobody can write or mend the statement: OK's checks say what they
        // refuse, and the dialog never hands back the statement the run
        // could not use. The unattended run ends.
        StatementOk(dialog, r);
        EndDialog(dialog, 0);
        return TRUE;
      }
      return r->statementMode ? FALSE : TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kList:
          if (HIWORD(wParam) == LBN_SELCHANGE) EnableOk(dialog, true);
          if (HIWORD(wParam) == LBN_DBLCLK) SelectedOk(dialog, r);
          return TRUE;
        case IDOK:
          if (r->statementMode) StatementOk(dialog, r);
          else SelectedOk(dialog, r);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
        case kOwners:
          if (HIWORD(wParam) == CBN_SELCHANGE) {
            const int at = static_cast<int>(SendDlgItemMessageA(dialog, kOwners, CB_GETCURSEL, 0, 0));
            r->allOwners = at <= 0 && r->owners.size() > 1;
            r->chosenOwner = r->allOwners ? std::string() : ItemText(dialog, kOwners, at, true);
            EnableOk(dialog, false);
            if (FillTableList(dialog, r) == 0) EndDialog(dialog, 0);
          }
          return TRUE;
        case kNoMaster: {
          const bool on = IsDlgButtonChecked(dialog, kNoMaster) == BST_CHECKED;
          EnableWindow(GetDlgItem(dialog, kList), !on);
          EnableOk(dialog, on || SendDlgItemMessageA(dialog, kList, LB_GETCURSEL, 0, 0) >= 0);
          return TRUE;
        }
        case kCopy:
          SendDlgItemMessageA(dialog, kEdit, EM_SETSEL, 0, -1);
          SendDlgItemMessageA(dialog, kEdit, WM_COPY, 0, 0);
          return TRUE;
        case kPaste:
          SendDlgItemMessageA(dialog, kEdit, WM_PASTE, 0, 0);
          return TRUE;
        case kHelp:
          r->doc->ShowDialogHelp(dialog, r->statementMode ? 1075 : 1044);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

INT_PTR NoTablesDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto* r = reinterpret_cast<TableListRequest*>(lParam);
      SetWindowTextA(dialog, r->doc->GetAppCaption());
      const char* name = r->data->GetCurrentDataSourceName();
      SetDlgItemTextA(dialog, 202, name != nullptr ? name : "");
      char database[261] = {};
      if (r->data->GetDatabaseName(database, sizeof database)) SetDlgItemTextA(dialog, 203, database);
      char driver[261] = {};
      if (r->data->GetDataSourceDriver(driver, sizeof driver)) SetDlgItemTextA(dialog, 204, driver);
      r->doc->CenterDialogOnOwner(dialog);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDCANCEL:
        case 200:
        case 201:
          EndDialog(dialog, LOWORD(wParam));
          return TRUE;
        case kHelp:
          if (KmDocBase* doc = GetActiveDocBase()) doc->ShowDialogHelp(dialog, 1079);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

bool ReselectRelatedTable(KmDocBase* doc, std::string* path) {
  char text[700];
  std::snprintf(text, sizeof text, GetResString(kStrReselect, 0), path->c_str());
  if (doc->ShowMessageDialog(doc->GetOwnerWindow(), text, doc->GetAppCaption(), kMsgYesNo) != IDYES) return false;
  TableListRequest request;
  request.kind = 4;
  request.reference = *path;
  if (ShowTableListDialog(doc, doc->GetOwnerWindow(), &request) != 1 || request.reference.empty()) return false;
  *path = request.reference;
  return true;
}

int ShowTableListDialog(KmDocBase* doc, HWND owner, TableListRequest* request) {
  request->doc = doc;
  request->data = GetDataAccess(doc->m_pModel);
  request->withoutMaster = false;
  // The table is listed from the current data source unless the list goes elsewhere.
  const char* current = request->data->GetCurrentDataSourceName();
  int entry = -1;
  request->entryIndex = current != nullptr && request->data->FindDataSourceEntry(current, &entry) == 1 ? entry : -1;
  // Data sources whose tables may lie in other places list them there too.
  if (!request->statementMode && request->data->JoinAcrossDir() != 0)
    return ShowDataSourceTablesDialog(doc, owner, request);
  const INT_PTR r = doc->DoModalDialog(owner, TableListDlgProc, "LISTTABLES", reinterpret_cast<LPARAM>(request));
  return r < 0 ? 0 : static_cast<int>(r);
}
