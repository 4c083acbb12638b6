#include "dialogs/ds_table_list_dialog.h"

#include "data/data_access.h"
#include "dialogs/data_source_dialogs.h"
#include "foundation/doc_base.h"
#include "foundation/heap_strings.h"
#include "platform/win/dialog.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <strings.h>

namespace {

namespace fs = std::filesystem;

enum : int {
  kList = 200, kNoMaster = 210, kDataSource = 211, kDirectory = 212, kSourceLabel = 214, kSourceText = 215,
  kHelp = 300
};
enum : int { kDirFolder = 200, kDirFiles = 201, kDirRefresh = 202 };
constexpr UINT kStrNoTablesIn = 3273;
constexpr UINT kStrDirectory = 17109;
constexpr UINT kStrDataSource = 17110;
constexpr UINT kStrMasterDirectory = 17113;
constexpr UINT kStrRelatedDirectory = 17114;
constexpr const char kEditJoin[] = "KM EDIT JOIN";
constexpr const char kSetJoin[] = "KM SET JOIN";

struct DsTablesState {
  TableListRequest* r = nullptr;
  std::string ownDatabase;  // the current data source's own database
  std::string ownName;      // the current data source
};

// The "no tables" dialog of a data source: its name, database and driver.
struct NoDsTablesState {
  KmDocBase* doc = nullptr;
  std::string name, database, driver;
};

INT_PTR NoDsTablesDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto* n = reinterpret_cast<NoDsTablesState*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      SetWindowTextA(dialog, n->doc->GetAppCaption());
      SetDlgItemTextA(dialog, 202, n->name.c_str());
      SetDlgItemTextA(dialog, 203, n->database.c_str());
      SetDlgItemTextA(dialog, 204, n->driver.c_str());
      n->doc->CenterDialogOnOwner(dialog);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDCANCEL:
        case 200:
          EndDialog(dialog, LOWORD(wParam));
          return TRUE;
        case kHelp:
          if (auto* n = reinterpret_cast<NoDsTablesState*>(GetWindowLongPtrA(dialog, DWLP_USER)))
            n->doc->ShowDialogHelp(dialog, 1079);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

// 0: the data source was configured, list it again; 1: give up on it.
int HandleNoDataSourceTables(HWND dialog, DsTablesState* s, const std::string& name) {
  TableListRequest* r = s->r;
  NoDsTablesState n;
  n.doc = r->doc;
  n.name = name;
  char text[261] = {};
  if (DataSourceEntry* e = r->data->FindDataSourceEntryByName(name.c_str())) n.database = e->databaseName;
  const char* current = r->data->GetCurrentDataSourceName();
  if (current != nullptr && name == current && r->data->GetDataSourceDriver(text, sizeof text)) n.driver = text;
  const INT_PTR answer =
      r->doc->DoModalDialog(GetActiveWindow(), NoDsTablesDlgProc, "NODSTABLES", reinterpret_cast<LPARAM>(&n));
  if (answer != 200) return 1;
  if (r->data->ConfigureDataSource(name.c_str()) != 0) return 0;
  ShowSetupFailure(dialog, r, name);
  return 1;
}

int OwnEntry(DsTablesState* s) {
  int entry = -1;
  return s->r->data->FindDataSourceEntry(s->ownName.c_str(), &entry) == 1 ? entry : -1;
}

// The report's own data source connected afresh after it was configured.
bool ReconnectOwn(DsTablesState* s) {
  DataAccess* data = s->r->data;
  const char* name = s->ownName.c_str();
  data->SelectDataSource(nullptr);
  data->DisconnectDataSource(name);
  int rc = data->ConnectDataSource(name, false, true, nullptr);
  if (rc == 0) rc = data->ConnectDataSource(name, true, true, nullptr);
  if (rc != 1) return false;
  data->SelectDataSource(name);
  char database[261] = {};
  s->ownDatabase = data->GetDatabaseName(database, sizeof database) ? database : "";
  return true;
}

DsTablesState* StateOf(HWND dialog) { return reinterpret_cast<DsTablesState*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

// Mode 1 names a directory (long ones shortened in the middle), mode 2 a
// data source.
void ShowTableSourceLabel(HWND dialog, int mode, const std::string& text) {
  SetDlgItemTextA(dialog, kSourceLabel, GetResString(mode == 1 ? kStrDirectory : kStrDataSource, 0));
  std::string shown = text;
  if (mode == 1 && shown.size() >= 26 && shown.size() > 40) {
    const size_t cut = shown.find_first_of("/\\", 1);
    const std::string head = cut == std::string::npos ? shown.substr(0, 3) : shown.substr(0, cut);
    const std::string tail = shown.substr(shown.size() - (40 - head.size() - 5));
    shown = head + "\\...\\" + tail;
  }
  SetDlgItemTextA(dialog, kSourceText, shown.c_str());
  ShowWindow(GetDlgItem(dialog, kSourceLabel), SW_SHOW);
  ShowWindow(GetDlgItem(dialog, kSourceText), SW_SHOW);
}

// Lists the tables of another place through the passing connection named
// pseudo; the data source that was current is made current again and the
// passing connection closed whatever happens. 1 listed, 2 none there, 0 failed.
int ListOtherPlace(HWND dialog, DsTablesState* s, const std::string& database, const char* pseudo) {
  TableListRequest* r = s->r;
  DataAccess* data = r->data;
  const std::string saved = data->GetCurrentDataSourceName() ? data->GetCurrentDataSourceName() : "";
  if (!data->ConnectOtherDatabase(database.c_str(), pseudo, nullptr)) return 0;
  data->SelectDataSource(pseudo);
  r->rowsRead = false;
  const int filled = FillTableList(dialog, r);
  data->SelectDataSource(saved.empty() ? nullptr : saved.c_str());
  data->DisconnectDataSource(pseudo);
  r->rowsRead = false;
  return filled;
}

int ListOwnPlace(HWND dialog, DsTablesState* s) {
  s->r->rowsRead = false;
  s->r->directory.clear();
  s->r->entryIndex = OwnEntry(s);
  ShowTableSourceLabel(dialog, 2, s->ownName);
  return FillTableList(dialog, s->r);
}

void OnDataSource(HWND dialog, DsTablesState* s) {
  TableListRequest* r = s->r;
  char name[64] = {};
  const int chosen = ChooseCompatibleDataSource(r->doc, dialog, name);
  if (chosen == 1) {
    EndDialog(dialog, 0);
    return;
  }
  if (chosen != 0) return;
  char database[261] = {};
  if (!r->data->QueryDatabaseName(name, database, sizeof database, true)) return;
  if (std::strcmp(name, s->ownName.c_str()) == 0) {
    if (ListOwnPlace(dialog, s) == 0) EndDialog(dialog, 0);
    return;
  }
  ShowTableSourceLabel(dialog, 2, name);
  int filled;
  while ((filled = ListOtherPlace(dialog, s, database, kSetJoin)) == 2) {
    if (HandleNoDataSourceTables(dialog, s, name) != 0) {
      // Given up: back to the report's own tables.
      if (ListOwnPlace(dialog, s) == 0) EndDialog(dialog, 0);
      return;
    }
    // Configured: its database is read again, as the set-up may have changed it.
    r->data->RemoveDataSourceEntry(name);
    if (!r->data->QueryDatabaseName(name, database, sizeof database, false)) {
      EndDialog(dialog, 0);
      return;
    }
  }
  if (filled == 0) {
    EndDialog(dialog, 0);
    return;
  }
  int index = -1;
  if (r->data->FindDataSourceEntry(name, &index) == 1) r->entryIndex = index;
  r->directory = database;
}

// The database file chosen in the folder dialog.
struct DirectoryChoice {
  KmDocBase* doc = nullptr;
  std::string start;  // a database file or a folder
  std::string ext;
  int kind = 2;
  std::string chosen;
};

std::string FolderOf(const std::string& path) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) return path;
  const size_t cut = path.find_last_of('/');
  return cut == std::string::npos ? std::string(".") : cut == 0 ? std::string("/") : path.substr(0, cut);
}

void FillFiles(HWND dialog, DirectoryChoice* c) {
  char folder[600] = {};
  GetDlgItemTextA(dialog, kDirFolder, folder, sizeof folder);
  SendDlgItemMessageA(dialog, kDirFiles, LB_RESETCONTENT, 0, 0);
  for (const std::string& f : SiblingDatabaseFiles(folder, c->ext))
    SendDlgItemMessageA(dialog, kDirFiles, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(f.c_str()));
}

INT_PTR DirectoryDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* c = reinterpret_cast<DirectoryChoice*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      c = reinterpret_cast<DirectoryChoice*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      SetWindowTextA(dialog, GetResString(c->kind <= 2 ? kStrMasterDirectory : kStrRelatedDirectory, 0));
      SetDlgItemTextA(dialog, kDirFolder, FolderOf(c->start).c_str());
      FillFiles(dialog, c);
      // The data source's own file is preselected.
      const std::string own = fs::path(c->start).filename().string();
      const LRESULT at = SendDlgItemMessageA(dialog, kDirFiles, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                             reinterpret_cast<LPARAM>(own.c_str()));
      SendDlgItemMessageA(dialog, kDirFiles, LB_SETCURSEL, at == LB_ERR ? 0 : static_cast<WPARAM>(at), 0);
      c->doc->CenterDialogOnOwner(dialog);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kDirRefresh:
          FillFiles(dialog, c);
          return TRUE;
        case kDirFiles:
          if (HIWORD(wParam) != LBN_DBLCLK) return TRUE;
          [[fallthrough]];
        case IDOK: {
          char folder[600] = {};
          GetDlgItemTextA(dialog, kDirFolder, folder, sizeof folder);
          const int at = static_cast<int>(SendDlgItemMessageA(dialog, kDirFiles, LB_GETCURSEL, 0, 0));
          std::string file;
          if (at >= 0) {
            char name[300] = {};
            SendDlgItemMessageA(dialog, kDirFiles, LB_GETTEXT, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(name));
            file = name;
          }
          std::string path = folder;
          while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
          std::error_code ec;
          // A folder names its chosen file; a typed file name is taken as it is.
          if (fs::is_directory(path, ec)) {
            if (file.empty()) return TRUE;
            path = (fs::path(path) / file).string();
          }
          c->chosen = path;
          EndDialog(dialog, IDOK);
          return TRUE;
        }
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

void OnDirectory(HWND dialog, DsTablesState* s) {
  TableListRequest* r = s->r;
  DirectoryChoice c;
  c.doc = r->doc;
  c.kind = r->kind;
  c.ext = r->data->GetTableFileExtension();
  // A data source whose database is a file lists the files of its kind.
  if (c.ext.size() < 2) c.ext = fs::path(s->ownDatabase).extension().string();
  if (!c.ext.empty() && c.ext[0] == '.') c.ext.erase(0, 1);
  if (c.ext.size() < 2) c.ext = "*";
  c.start = !r->directory.empty() ? r->directory : s->ownDatabase;
  if (r->doc->DoModalDialog(dialog, DirectoryDlgProc, "DSDIRECTORY", reinterpret_cast<LPARAM>(&c)) != IDOK) return;
  if (c.chosen == s->ownDatabase) {
    if (ListOwnPlace(dialog, s) == 0) EndDialog(dialog, 0);
    return;
  }
  ShowTableSourceLabel(dialog, 1, c.chosen);
  const int filled = ListOtherPlace(dialog, s, c.chosen, kSetJoin);
  if (filled == 0) {
    EndDialog(dialog, 0);
    return;
  }
  r->directory = c.chosen;
  // The folder's tables are read through the report's own data source.
  r->entryIndex = OwnEntry(s);
  if (filled == 2) {
    char text[800];
    std::snprintf(text, sizeof text, GetResString(kStrNoTablesIn, 0), c.chosen.c_str());
    r->doc->ErrorBoxOwner(dialog, text);
    EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
    return;
  }
  EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
}

void OnOk(HWND dialog, DsTablesState* s) {
  TableListRequest* r = s->r;
  if (IsDlgButtonChecked(dialog, kNoMaster) == BST_CHECKED) {
    r->withoutMaster = true;
    EndDialog(dialog, 1);
    return;
  }
  const int selected = static_cast<int>(SendDlgItemMessageA(dialog, kList, LB_GETCURSEL, 0, 0));
  if (selected < 0) return;
  char listed[300] = {};
  SendDlgItemMessageA(dialog, kList, LB_GETTEXT, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(listed));
  if (!r->showSystem && r->systemSeen && selected == 0) {
    r->showSystem = true;
    const int filled = r->directory.empty() ? ListOwnPlace(dialog, s) : ListOtherPlace(dialog, s, r->directory, kSetJoin);
    if (filled == 0) EndDialog(dialog, 0);
    return;
  }
  // A table of another place carries that place; the own tables keep their names.
  r->reference = r->directory.empty() ? TableReferenceFor(*r, listed) : r->directory + "\\" + listed;
  EndDialog(dialog, 1);
}

INT_PTR DataSourceTablesDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  DsTablesState* s = StateOf(dialog);
  switch (message) {
    case WM_INITDIALOG: {
      s = reinterpret_cast<DsTablesState*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      TableListRequest* r = s->r;
      SetWindowTextA(dialog, TableListTitle(r->kind));
      ShowWindow(GetDlgItem(dialog, kNoMaster), r->kind == 1 && r->allowNoMaster ? SW_SHOW : SW_HIDE);
      EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
      r->doc->CenterDialogOnOwner(dialog);
      // A reference that carries another place opens the list there.
      const size_t cut = r->reference.find_last_of('\\');
      const std::string place = cut == std::string::npos ? std::string() : r->reference.substr(0, cut);
      int filled;
      if (!place.empty() && place != s->ownDatabase) {
        ShowTableSourceLabel(dialog, 1, place);
        filled = ListOtherPlace(dialog, s, place, kEditJoin);
        r->directory = place;
        if (filled == 2) {
          char text[800];
          std::snprintf(text, sizeof text, GetResString(kStrNoTablesIn, 0), place.c_str());
          r->doc->ErrorBoxOwner(dialog, text);
          filled = ListOwnPlace(dialog, s);
        }
      } else {
        filled = ListOwnPlace(dialog, s);
      }
      // A data source without tables: the user may set it up and list it again.
      while (filled == 2) {
        if (HandleNoDataSourceTables(dialog, s, s->ownName) != 0 || !ReconnectOwn(s)) break;
        filled = ListOwnPlace(dialog, s);
      }
      if (filled != 1) EndDialog(dialog, 0);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kList:
          if (HIWORD(wParam) == LBN_SELCHANGE) EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
          if (HIWORD(wParam) == LBN_DBLCLK) OnOk(dialog, s);
          return TRUE;
        case IDOK:
          OnOk(dialog, s);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
        case kDataSource:
          OnDataSource(dialog, s);
          return TRUE;
        case kDirectory:
          OnDirectory(dialog, s);
          return TRUE;
        case kNoMaster: {
          const bool on = IsDlgButtonChecked(dialog, kNoMaster) == BST_CHECKED;
          EnableWindow(GetDlgItem(dialog, kList), !on);
          EnableWindow(GetDlgItem(dialog, IDOK), on || SendDlgItemMessageA(dialog, kList, LB_GETCURSEL, 0, 0) >= 0);
          return TRUE;
        }
        case kHelp:
          s->r->doc->ShowDialogHelp(dialog, 1044);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

std::vector<std::string> SiblingDatabaseFiles(const std::string& path, const std::string& ext) {
  std::vector<std::string> out;
  std::error_code ec;
  const std::string folder = FolderOf(path);
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    const std::string name = it->path().filename().string();
    const std::string e = it->path().extension().string();
    if (ext.empty() || ext == "*" || (e.size() > 1 && strcasecmp(e.c_str() + 1, ext.c_str()) == 0)) out.push_back(name);
  }
  std::sort(out.begin(), out.end());
  return out;
}

int ShowDataSourceTablesDialog(KmDocBase* doc, HWND owner, TableListRequest* request) {
  DsTablesState s;
  s.r = request;
  request->directory.clear();
  request->entryIndex = -1;
  DataAccess* data = request->data;
  if (data->Current() == nullptr) return 0;
  s.ownName = data->GetCurrentDataSourceName() ? data->GetCurrentDataSourceName() : "";
  char database[261] = {};
  if (data->GetDatabaseName(database, sizeof database)) s.ownDatabase = database;
  const INT_PTR r = doc->DoModalDialog(owner, DataSourceTablesDlgProc, "LISTDSTABLES", reinterpret_cast<LPARAM>(&s));
  // Whatever happened, the report's own data source is current again.
  if (!s.ownName.empty()) data->SelectDataSource(s.ownName.c_str());
  return r < 0 ? 0 : static_cast<int>(r);
}
