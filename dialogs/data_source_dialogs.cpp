#include "dialogs/data_source_dialogs.h"

#include "data/data_access.h"
#include "dialogs/report_sources.h"
#include "foundation/doc_base.h"
#include "foundation/heap_strings.h"
#include "foundation/message_dialog.h"
#include "platform/qe/odbc_admin.h"
#include "platform/win/dialog.h"
#include "platform/win/wsprintf.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

namespace {

enum : int { kList = 200, kConfigure = 201, kAdd = 201, kDisconnect = 202, kHelp = 300 };
constexpr UINT kStrNoSourceList = 3292;
constexpr UINT kStrNoConnectionList = 3293;
constexpr UINT kStrCompatibleTitle = 17100;
constexpr UINT kStrSelect = 17101;
constexpr UINT kStrClose = 17102;
constexpr UINT kStrNoAdministrator = 17111;

DataSourceDialogState* State(HWND dialog) {
  return reinterpret_cast<DataSourceDialogState*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

std::string ListText(HWND dialog, int index) {
  HWND list = GetDlgItem(dialog, kList);
  const LRESULT n = SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (n < 0) return std::string();
  std::string text(static_cast<size_t>(n) + 1, '\0');
  SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(std::strlen(text.c_str()));
  return text;
}

int ListCount(HWND dialog) { return static_cast<int>(SendDlgItemMessageA(dialog, kList, LB_GETCOUNT, 0, 0)); }

int FindExact(HWND dialog, const char* name) {
  for (int i = 0; i < ListCount(dialog); ++i)
    if (strcasecmp(ListText(dialog, i).c_str(), name) == 0) return i;
  return -1;
}

bool Eligible(DataSourceDialogState* s, const char* name) {
  if (s->compatibleOnly) return s->data->IsSameDriverAsCurrent(name);
  return !s->data->IsConnected(name);
}

// Fills DSLIST with the eligible sources; false when the list cannot be read.
bool FillSourceList(HWND dialog, DataSourceDialogState* s) {
  if (!s->data->InitDatabaseLibrary()) return false;
  SendDlgItemMessageA(dialog, kList, LB_RESETCONTENT, 0, 0);
  s->listedCount = 0;
  for (const char* name; (name = s->data->NextDataSourceName()) != nullptr;) {
    ++s->listedCount;
    if (Eligible(s, name)) SendDlgItemMessageA(dialog, kList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  }
  return true;
}

// The chosen source connected, letting the driver ask for a logon.
void ConnectChosen(HWND dialog, DataSourceDialogState* s, const std::string& name) {
  CopyBounded(s->chosenName, sizeof s->chosenName, name.c_str());
  s->doc->SetWaitCursor(1);
  const int r = s->data->ConnectDataSource(s->chosenName, true, true, nullptr);
  s->doc->SetWaitCursor(0);
  if (r == 1) {
    if (s->selectMode) s->data->SelectDataSource(s->chosenName);
    EndDialog(dialog, 0);
    return;
  }
  s->chosenName[0] = 0;
  EndDialog(dialog, 1);
}

void RestoreButtons(HWND dialog, int from) {
  SendDlgItemMessageA(dialog, from, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
  SendMessageA(dialog, DM_SETDEFID, IDOK, 0);
  SetFocus(GetDlgItem(dialog, IDOK));
}

void Configure(HWND dialog, DataSourceDialogState* s) {
  RestoreButtons(dialog, kConfigure);
  const int selected = static_cast<int>(SendDlgItemMessageA(dialog, kList, LB_GETCURSEL, 0, 0));
  const std::string old = selected >= 0 ? ListText(dialog, selected) : std::string();
  RunOdbcDataSourceManager(1, dialog);
  // A source the administrator just made is the one to select.
  std::string pick;
  if (s->data->InitDatabaseLibrary()) {
    for (const char* name; (name = s->data->NextDataSourceName()) != nullptr;)
      if (pick.empty() && Eligible(s, name) && FindExact(dialog, name) < 0) pick = name;
  }
  if (pick.empty()) pick = old;
  if (!FillSourceList(dialog, s)) return;
  const int at = pick.empty() ? -1 : FindExact(dialog, pick.c_str());
  SendDlgItemMessageA(dialog, kList, LB_SETCURSEL, static_cast<WPARAM>(at < 0 ? 0 : at), 0);
}

// CURCONNECT: "Disconnect" only for a source that is neither current nor used by the report.
void ApplySelectionRule(HWND dialog, DataSourceDialogState* s) {
  const int selected = static_cast<int>(SendDlgItemMessageA(dialog, kList, LB_GETCURSEL, 0, 0));
  if (selected < 0) {
    EnableWindow(GetDlgItem(dialog, kDisconnect), FALSE);
    return;
  }
  const std::string name = ListText(dialog, selected);
  const char* current = s->data->GetCurrentDataSourceName();
  const bool isCurrent = current != nullptr && name == current;
  EnableWindow(GetDlgItem(dialog, kDisconnect), !isCurrent && !s->data->IsConnectionMarked(name.c_str()));
}

void UpdateDisconnectButton(HWND dialog, DataSourceDialogState* s) {
  const char* current = s->data->GetCurrentDataSourceName();
  int at = current != nullptr ? FindExact(dialog, current) : -1;
  SendDlgItemMessageA(dialog, kList, LB_SETCURSEL, static_cast<WPARAM>(at < 0 ? 0 : at), 0);
  ApplySelectionRule(dialog, s);
}

bool FillConnectionList(HWND dialog, DataSourceDialogState* s) {
  SendDlgItemMessageA(dialog, kList, LB_RESETCONTENT, 0, 0);
  s->data->RewindConnections();
  for (DataSourceSettings* rec; (rec = s->data->NextConnection()) != nullptr;)
    SendDlgItemMessageA(dialog, kList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(rec->name));
  return true;
}

struct LogonState {
  const char* dataSource;
  std::string* user;
  std::string* password;
};

bool AskLogon(void* context, const char* dataSource, std::string* user, std::string* password) {
  auto* doc = static_cast<KmDocBase*>(context);
  LogonState state{dataSource, user, password};
  return doc->DoModalDialog(doc->GetOwnerWindow(), LogonDlgProc, "LOGON", reinterpret_cast<LPARAM>(&state)) == IDOK;
}

}  // namespace

INT_PTR DataSourcesDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  DataSourceDialogState* s = State(dialog);
  switch (message) {
    case WM_INITDIALOG: {
      s = reinterpret_cast<DataSourceDialogState*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      s->doc->CenterDialogOnOwner(dialog);
      if (s->compatibleOnly) SetWindowTextA(dialog, GetResString(kStrCompatibleTitle, 0));
      if (!FillSourceList(dialog, s)) {
        s->doc->ErrorBoxOwner(dialog, GetResString(kStrNoSourceList, 0));
        // Nothing was connected: the caller must not go on as if it were.
        EndDialog(dialog, 1);
        return TRUE;
      }
      SendDlgItemMessageA(dialog, kList, LB_SETCURSEL, 0, 0);
      if (ListCount(dialog) == 1 && s->selectMode) {
        ConnectChosen(dialog, s, ListText(dialog, 0));
        return TRUE;
      }
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kList:
          if (HIWORD(wParam) != LBN_DBLCLK) break;
          [[fallthrough]];
        case IDOK: {
          const int selected = static_cast<int>(SendDlgItemMessageA(dialog, kList, LB_GETCURSEL, 0, 0));
          if (selected < 0) return TRUE;
          ConnectChosen(dialog, s, ListText(dialog, selected));
          return TRUE;
        }
        case IDCANCEL:
          s->chosenName[0] = 0;
          EndDialog(dialog, 2);
          return TRUE;
        case kConfigure:
          Configure(dialog, s);
          return TRUE;
        case kHelp:
          RestoreButtons(dialog, kHelp);
          s->doc->ShowDialogHelp(dialog, 1083);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

INT_PTR ConnectedSourcesDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  DataSourceDialogState* s = State(dialog);
  switch (message) {
    case WM_INITDIALOG: {
      s = reinterpret_cast<DataSourceDialogState*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      s->listedCount = s->data->CountDataSources();
      SetDlgItemTextA(dialog, IDOK, GetResString(s->selectMode ? kStrSelect : kStrClose, 0));
      s->doc->CenterDialogOnOwner(dialog);
      FillConnectionList(dialog, s);
      MarkConnectionsInUse(s->doc, s->data);
      UpdateDisconnectButton(dialog, s);
      const int listed = ListCount(dialog);
      HWND focus = nullptr;
      if (!s->selectMode || (listed < 2 && listed < s->listedCount)) {
        SendMessageA(dialog, DM_SETDEFID, kAdd, 0);
        focus = GetDlgItem(dialog, kAdd);
      } else if (s->data->Current() == nullptr) {
        focus = GetDlgItem(dialog, kList);
      } else {
        focus = GetDlgItem(dialog, IDOK);
      }
      if (s->listedCount <= listed) EnableWindow(GetDlgItem(dialog, kAdd), FALSE);
      if (focus != nullptr && IsWindowEnabled(focus)) SetFocus(focus);
      return FALSE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kList:
          if (HIWORD(wParam) == LBN_SELCHANGE) ApplySelectionRule(dialog, s);
          if (HIWORD(wParam) != LBN_DBLCLK || !s->selectMode) break;
          [[fallthrough]];
        case IDOK: {
          const int selected = static_cast<int>(SendDlgItemMessageA(dialog, kList, LB_GETCURSEL, 0, 0));
          if (s->selectMode && selected >= 0) s->data->SelectDataSource(ListText(dialog, selected).c_str());
          EndDialog(dialog, 0);
          return TRUE;
        }
        case IDCANCEL:
          EndDialog(dialog, 2);
          return TRUE;
        case kAdd: {
          DataSourceDialogState added;
          added.doc = s->doc;
          added.data = s->data;
          if (s->doc->DoModalDialog(dialog, DataSourcesDlgProc, "DSLIST", reinterpret_cast<LPARAM>(&added)) != 0)
            return TRUE;
          FillConnectionList(dialog, s);
          const int at = FindExact(dialog, added.chosenName);
          SendDlgItemMessageA(dialog, kList, LB_SETCURSEL, static_cast<WPARAM>(at < 0 ? 0 : at), 0);
          EnableWindow(GetDlgItem(dialog, kDisconnect), TRUE);
          if (s->selectMode) EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
          if (s->listedCount <= ListCount(dialog)) EnableWindow(GetDlgItem(dialog, kAdd), FALSE);
          SendMessageA(dialog, DM_SETDEFID, IDOK, 0);
          SetFocus(GetDlgItem(dialog, IDOK));
          return TRUE;
        }
        case kDisconnect: {
          const int selected = static_cast<int>(SendDlgItemMessageA(dialog, kList, LB_GETCURSEL, 0, 0));
          if (selected < 0) return TRUE;
          if (s->data->DisconnectDataSource(ListText(dialog, selected).c_str()))
            SendDlgItemMessageA(dialog, kList, LB_DELETESTRING, static_cast<WPARAM>(selected), 0);
          SendDlgItemMessageA(dialog, kList, LB_SETCURSEL, 0, 0);
          EnableWindow(GetDlgItem(dialog, kAdd), TRUE);
          if (ListCount(dialog) == 0) {
            if (s->selectMode) EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
            EnableWindow(GetDlgItem(dialog, kDisconnect), FALSE);
          } else {
            ApplySelectionRule(dialog, s);
          }
          return TRUE;
        }
        case kHelp:
          s->doc->ShowDialogHelp(dialog, 1074);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

int ShowDataSourcesDialog(KmDocBase* doc, HWND owner, bool selectMode, int* outCount) {
  DataSourceDialogState s;
  s.doc = doc;
  s.data = GetDataAccess(doc->m_pModel);
  s.selectMode = selectMode;
  const INT_PTR r = doc->DoModalDialog(owner, DataSourcesDlgProc, "DSLIST", reinterpret_cast<LPARAM>(&s));
  if (outCount != nullptr) *outCount = s.listedCount;
  return r < 0 ? 2 : static_cast<int>(r);
}

int ShowConnectedSourcesDialog(KmDocBase* doc, HWND owner, bool selectMode) {
  DataSourceDialogState s;
  s.doc = doc;
  s.data = GetDataAccess(doc->m_pModel);
  s.selectMode = selectMode;
  const INT_PTR r = doc->DoModalDialog(owner, ConnectedSourcesDlgProc, "CURCONNECT", reinterpret_cast<LPARAM>(&s));
  return r < 0 ? 2 : static_cast<int>(r);
}

int ChooseCompatibleDataSource(KmDocBase* doc, HWND owner, char* name) {
  DataSourceDialogState s;
  s.doc = doc;
  s.data = GetDataAccess(doc->m_pModel);
  s.compatibleOnly = true;
  const INT_PTR r = doc->DoModalDialog(owner, DataSourcesDlgProc, "DSLIST", reinterpret_cast<LPARAM>(&s));
  if (r != 0) return r < 0 ? 2 : static_cast<int>(r);
  CopyBounded(name, 33, s.chosenName);
  return 0;
}

int RunOdbcDataSourceManager(int load, HWND owner) {
  const std::string admin = FindOdbcAdministrator();
  if (load == 0) return admin.empty() ? 0 : 1;
  if (!admin.empty() && RunOdbcAdministrator(admin)) return 1;
  std::string user, system;
  GetOdbcIniFiles(&user, &system);
  char text[1200];
  std::snprintf(text, sizeof text, GetResString(kStrNoAdministrator, 0), user.c_str(), system.c_str());
  if (KmDocBase* doc = GetActiveDocBase()) doc->ShowMessageDialog(owner, text, doc->GetAppCaption(), kMsgInfo);
  return 0;
}

void InstallLogonPrompt(KmDocBase* doc, DataAccess* data) {
  data->logonPrompt = doc != nullptr ? AskLogon : nullptr;
  data->logonContext = doc;
}

INT_PTR LogonDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* s = reinterpret_cast<LogonState*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      s = reinterpret_cast<LogonState*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      SetDlgItemTextA(dialog, 202, s->dataSource);
      SetDlgItemTextA(dialog, 200, s->user->c_str());
      SetFocus(GetDlgItem(dialog, s->user->empty() ? 200 : 201));
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        char text[256] = {};
        GetDlgItemTextA(dialog, 200, text, sizeof text);
        *s->user = text;
        GetDlgItemTextA(dialog, 201, text, sizeof text);
        *s->password = text;
        std::memset(text, 0, sizeof text);
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      break;
  }
  return FALSE;
}
