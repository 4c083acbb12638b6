#include "dialogs/master_table_dialog.h"
#include "export/export_settings.h"

#include "core/composite.h"
#include "core/engine_errors.h"
#include "data/data_access.h"
#include "data/master_joins.h"
#include "data/open_tables.h"
#include "data/replace_table.h"
#include "data/reportview.h"
#include "dialogs/dependency_warning.h"
#include "dialogs/insert_field_dialog.h"
#include "dialogs/report_sources.h"
#include "dialogs/table_list_dialog.h"
#include "engine/doc_upkeep.h"
#include "files/report_io.h"
#include "foundation/doc_base.h"
#include "foundation/heap_strings.h"
#include "foundation/startup.h"
#include "foundation/text_helpers.h"
#include "layout/layout_records.h"
#include "model/field_dependencies.h"
#include "platform/win/dialog.h"
#include "platform/win/fileio.h"
#include "platform/win/wsprintf.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

enum : int { kName = 200, kAlias = 201, kTable = 210, kClear = 222, kHelp = 300 };
constexpr UINT kStrInvalidPath = 706;
constexpr int kAliasLength = 8;

struct MasterTableState {
  KmDocBase* doc = nullptr;
  CKmComposite* m = nullptr;
  DataAccess* data = nullptr;
  std::string path;
  std::string oldAlias;
  bool sqlReport = false;
  bool pending = false;
  std::string statement;
  int entryIndex = -1;  // the data source entry the master is read from
  bool replaced = false;  // OK changed the master table
};

// The master slot keeps the data source entry its table was chosen from.
void StoreMasterEntry(MasterTableState* s) {
  if (s->m->tableSlots[0] != nullptr) s->m->tableSlots[0]->dataSourceEntry = s->entryIndex;
}

MasterTableState* State(HWND dialog) {
  return reinterpret_cast<MasterTableState*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

std::string DerivedAlias(DataAccess* data, const std::string& path) {
  std::string ref = path, alias, message;
  ApplyDataSourceOverride(CurrentOverrideContext(data), &ref, &alias, &message);
  return alias.substr(0, kAliasLength);
}

// A table file's alias: its name without folder and without anything from
// the first ".".
std::string FileAlias(const std::string& path) {
  std::string name = FileNamePart(path.c_str());
  name = name.substr(0, name.find('.'));
  return MakeTableAlias(name.substr(0, kAliasLength).c_str()).substr(0, kAliasLength);
}

void EnableMasterTableControls(HWND dialog, MasterTableState* s, bool on) {
  if (!on) {
    SetDlgItemTextA(dialog, kName, "");
    SetDlgItemTextA(dialog, kAlias, "");
  }
  EnableWindow(GetDlgItem(dialog, kName), on);
  EnableWindow(GetDlgItem(dialog, kAlias), on);
  bool dependents = false;
  if (on && s->m->tableSlots[0] != nullptr) {
    // Fields that use the master's fields keep it from being cleared.
    for (FieldDef* f = s->m->fieldList; f; f = f->next)
      f->flags = f->table == 0 && !(f->flags & kFieldAlias) ? (f->flags | kFieldRemoveMark) : (f->flags & ~kFieldRemoveMark);
    PropagateRemovalMarksOnly(s->m);
    for (FieldDef* f = s->m->fieldList; f; f = f->next) {
      if (f->table != 0 && (f->flags & (kFieldRemoveMark | kFieldRemovePropagated))) dependents = true;
      f->flags &= ~(kFieldRemoveMark | kFieldRemovePropagated);
    }
  }
  EnableWindow(GetDlgItem(dialog, kClear), on && !dependents);
}

// Changing a user SELECT: the new statement is opened in the master's slot
// and its columns matched to the fields by name before anything is kept.
int ChangeStatement(MasterTableState* s, HWND dialog) {
  CKmComposite* m = s->m;
  MasterSourceRequest request;
  MasterSourceText present;
  GetMasterSource(m, &request, &present);
  request.statement = s->statement.c_str();
  MasterChange pending;
  int rc = ChangeMasterTable(m, &request, CurrentOverrideContext(s->data), nullptr, &pending);
  if (rc != 0) return rc;
  if (request.result == 1) {
    const DependencyWarning w = BuildRemoveUsersWarning(m, "the SQL statement changes", nullptr);
    if (RunDependencyWarning(s->doc, dialog, kWarnMasterChange, w) <= 0) {
      CancelMasterChange(m, &pending);
      return -2;
    }
  }
  if (CommitMasterChange(m, &request, &pending)) FlushPendingFileName(*s->doc);
  return 0;
}

void KeepStatementInReport(KmDocBase* doc, const char* statement) {
  if (doc->m_pRepIO == nullptr) return;
  doc->m_pRepIO->m_stream.settings.sqlReport = statement != nullptr;
  doc->m_pRepIO->m_stream.settings.sqlStatement = statement != nullptr ? statement : "";
}

// A source whose tables are files, with the common file dialog preferred.
bool ChoosesTableFile(const MasterTableState* s) {
  return !s->sqlReport && s->data->IsFileDataSource() && s->doc->m_settings.useCommonDlg;
}

// The table file from the Open dialog, starting in the report's folder.
void OnTableFile(HWND dialog, MasterTableState* s) {
  s->doc->SetStatusText(FileNamePart(s->path.c_str()));
  const std::string folder = s->doc->GetReportFolder();
  const BOOL chosen = s->doc->RunOpenFileDialog(dialog, nullptr, folder.c_str(), MasterTableFileFilter(s->data),
                                                s->data->GetTableFileExtension(), kStrMasterTableTitle,
                                                kMasterTableFileHelp);
  s->doc->SetStatusText("");
  if (!chosen || s->path == s->doc->m_files.chosenPath) return;
  s->pending = true;
  s->path = s->doc->m_files.chosenPath;
  EnableMasterTableControls(dialog, s, true);
  SetDlgItemTextA(dialog, kName, FileNamePart(s->path.c_str()));
  SetDlgItemTextA(dialog, kAlias, FileAlias(s->path).c_str());
  SetFocus(GetDlgItem(dialog, kAlias));
  SendDlgItemMessageA(dialog, kAlias, EM_SETSEL, 0, -1);
}

void OnTable(HWND dialog, MasterTableState* s) {
  if (ChoosesTableFile(s)) {
    OnTableFile(dialog, s);
    return;
  }
  TableListRequest request;
  request.kind = 2;
  request.statementMode = s->sqlReport;
  request.reference = s->path;
  std::string buffer(kStatementBufferSize, '\0');
  if (s->sqlReport) {
    // Back from a change the user did not make, the statement as typed.
    const char* text = !s->statement.empty() ? s->statement.c_str()
                       : s->m->statementText != nullptr ? s->m->statementText : "";
    CopyBounded(&buffer[0], buffer.size(), text);
    request.statement = &buffer[0];
  }
  s->doc->SetStatusText(s->path.c_str());
  const int r = ShowTableListDialog(s->doc, s->sqlReport ? s->doc->GetOwnerWindow() : dialog, &request);
  s->doc->SetStatusText("");
  if (r != 1) return;
  if (s->sqlReport) {
    s->statement = buffer.c_str();
    s->pending = !s->statement.empty();
    return;
  }
  if (request.reference.empty()) return;
  s->pending = true;
  s->entryIndex = request.entryIndex;
  s->path = request.reference;
  SetDlgItemTextA(dialog, kName, s->path.c_str());
  EnableMasterTableControls(dialog, s, true);
  SetDlgItemTextA(dialog, kAlias, DerivedAlias(s->data, s->path).c_str());
  SetFocus(GetDlgItem(dialog, kAlias));
  SendDlgItemMessageA(dialog, kAlias, EM_SETSEL, 0, -1);
}

// The statement road: SQL Select stands in for this dialog, which never
// shows. A change the engine refuses, or whose removals the user cancels,
// goes back to SQL Select, as the table road goes back to its list; SQL
// Select's Cancel ends it.
void RunStatementRoad(HWND dialog, MasterTableState* s) {
  CKmComposite* m = s->m;
  for (;;) {
    s->pending = false;
    OnTable(dialog, s);
    if (!s->pending) break;
    const int rc = ChangeStatement(s, dialog);
    if (rc == 0) {
      KeepStatementInReport(s->doc, m->statementText);
      SetSlotSourceName(s->doc, 0, s->data->GetCurrentDataSourceName());
      AfterTableChange(s->doc, m->tableSlots[0] ? m->tableSlots[0]->alias : "");
      // A new statement replaces the result table as a new table does.
      s->replaced = true;
      EndDialog(dialog, 1);
      return;
    }
    if (rc != -2) m->ShowEngineErrorFor(dialog, rc);
  }
  EndDialog(dialog, 0);
}

void OnOk(HWND dialog, MasterTableState* s) {
  CKmComposite* m = s->m;
  if (ChoosesTableFile(s) && !s->path.empty()) {
    // The file may have gone since it was chosen; it is kept by its full name.
    const std::string full = ProgramFileName(FullPathOfExisting(s->path));
    if (full.empty()) {
      s->doc->ErrorBoxOwner(dialog, GetResString(kStrInvalidPath, 0));
      SetFocus(GetDlgItem(dialog, kName));
      return;
    }
    s->path = full;
  }
  char alias[kAliasLength + 1] = {};
  GetDlgItemTextA(dialog, kAlias, alias, sizeof alias);
  if (!s->path.empty() && alias[0] == 0) {
    CopyBounded(alias, sizeof alias, (ChoosesTableFile(s) ? FileAlias(s->path) : DerivedAlias(s->data, s->path)).c_str());
    SetDlgItemTextA(dialog, kAlias, alias);
  }
  if (s->path.empty()) {
    if (m->tableSlots[0] == nullptr) {
      EndDialog(dialog, 1);
      return;
    }
    s->doc->ErrorBoxOwner(dialog, GetResString(kStrInvalidPath, 0));
    SetFocus(GetDlgItem(dialog, kTable));
    return;
  }
  if (m->tableSlots[0] == nullptr) {
    const int rc = OpenReportMaster(s->doc, s->path.c_str(), nullptr);
    if (rc != 0) {
      m->ShowEngineErrorFor(dialog, rc);
      SetFocus(GetDlgItem(dialog, kTable));
      return;
    }
    if (alias[0]) std::snprintf(m->tableSlots[0]->alias, sizeof m->tableSlots[0]->alias, "%s", alias);
    StoreMasterEntry(s);
    AfterTableChange(s->doc, alias, s->oldAlias.c_str());
    EndDialog(dialog, 1);
    return;
  }
  MasterSourceRequest request;
  request.path = s->path.c_str();
  request.alias = alias;
  MasterChange pending;
  const int rc = ChangeMasterTable(m, &request, CurrentOverrideContext(s->data), nullptr, &pending);
  if (rc != 0) {
    m->ShowEngineErrorFor(dialog, rc);
    SetFocus(GetDlgItem(dialog, request.result == 1 ? kTable : request.result == 2 ? kAlias : kHelp));
    return;
  }
  if (request.result == 1) {
    const DependencyWarning w = BuildRemoveUsersWarning(m, "the master table changes", nullptr);
    if (RunDependencyWarning(s->doc, dialog, kWarnMasterChange, w) <= 0) {
      CancelMasterChange(m, &pending);
      SetFocus(GetDlgItem(dialog, IDOK));
      return;
    }
  }
  if (CommitMasterChange(m, &request, &pending)) FlushPendingFileName(*s->doc);
  // The report now reads the current data source: its tables are named for it.
  const std::string before = SlotSourceName(s->doc, 0);
  const char* current = s->data->GetCurrentDataSourceName();
  if (current != nullptr && before != current) NameCurrentSourceForAllTables(s->doc);
  else SetSlotSourceName(s->doc, 0, current);
  StoreMasterEntry(s);
  AfterTableChange(s->doc, alias, s->oldAlias.c_str());
  s->replaced = true;
  EndDialog(dialog, 1);
}

}  // namespace

UINT MasterTableFileFilter(const DataAccess* data) {
  constexpr UINT kStrParadoxFiles = 6122, kStrDbaseFiles = 6123;
  return data->IsParadox() ? kStrParadoxFiles : kStrDbaseFiles;
}

TableOverrideContext CurrentOverrideContext(DataAccess* data) {
  char quote[11] = {};
  data->GetIdentifierQuote(quote);
  return ReadTableOverride(data->sqlIniPath.c_str(), quote[0] == ' ' ? 0 : quote[0], data->SupportsOwnerNames() != 0);
}

int OpenReportMaster(KmDocBase* doc, const char* reference, const char* statement) {
  CKmComposite* m = doc->m_pModel;
  DataAccess* data = GetDataAccess(m);
  const TableOverrideContext ctx = CurrentOverrideContext(data);
  int rc = 0;
  if (statement != nullptr && *statement) {
    rc = SetupSqlMaster(m, statement, data->UsePassExec() != 0, ctx);
    if (rc == 0) KeepStatementInReport(doc, m->statementText);
  } else {
    if (m->tableSlots[0] != nullptr) return 0;
    uint32_t slot = m->AddTableSlot("", "", 0, 0, nullptr);
    if (slot != 0) {
      if (slot != kNoField) m->FreeTableSlot(slot);
      return kEngineNoMemory;
    }
    rc = OpenTable(m, reference, &slot, false, nullptr, nullptr, nullptr, ctx);
    if (rc != 0 && m->tableSlots[0] != nullptr) m->FreeTableSlot(0);
    if (rc == 0) KeepStatementInReport(doc, nullptr);
  }
  if (rc == 0) SetSlotSourceName(doc, 0, data->GetCurrentDataSourceName());
  return rc;
}

void AfterTableChange(KmDocBase* doc, const char* newAlias, const char* oldAlias) {
  CommitMarkedFields(doc);
  if (doc->m_pRepIO != nullptr && oldAlias != nullptr && newAlias != nullptr)
    RenameFieldInExports(doc->m_pRepIO->m_stream.settings, oldAlias, newAlias);
  doc->SetModifiedFlag(TRUE);
  if (doc->m_pLayout != nullptr) BuildLayoutItemOrder(*doc->m_pLayout);
  doc->UpdateFormatBar();
  doc->UpdateViewsByHint(0, nullptr);
  // The palette lists the fields as they are now: the removed ones are gone.
  NotifyInsertFieldDialog(-1);
}

INT_PTR MasterTableDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  MasterTableState* s = State(dialog);
  switch (message) {
    case WM_INITDIALOG: {
      s = reinterpret_cast<MasterTableState*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      s->doc->CenterDialogOnOwner(dialog);
      if (s->sqlReport) {
        RunStatementRoad(dialog, s);
        return TRUE;
      }
      SendDlgItemMessageA(dialog, kAlias, EM_LIMITTEXT, kAliasLength, 0);
      if (s->m->tableSlots[0] != nullptr) s->entryIndex = s->m->tableSlots[0]->dataSourceEntry;
      {
        MasterSourceRequest present;
        MasterSourceText text;
        GetMasterSource(s->m, &present, &text);
        s->path = text.path;
        s->oldAlias = text.alias;
      }
      if (s->path.empty()) {
        EnableMasterTableControls(dialog, s, false);
      } else {
        SetDlgItemTextA(dialog, kName, ChoosesTableFile(s) ? FileNamePart(s->path.c_str()) : s->path.c_str());
        SetDlgItemTextA(dialog, kAlias, s->oldAlias.c_str());
        EnableMasterTableControls(dialog, s, true);
      }
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kTable:
          OnTable(dialog, s);
          SendDlgItemMessageA(dialog, kTable, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
          SendMessageA(dialog, DM_SETDEFID, IDOK, 0);
          return TRUE;
        case kClear:
          s->path.clear();
          EnableMasterTableControls(dialog, s, false);
          return TRUE;
        case IDOK:
          OnOk(dialog, s);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
        case kHelp:
          s->doc->ShowDialogHelp(dialog, 1003);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

int RunMasterTableDialog(KmDocBase* doc, HWND owner, bool* replaced) {
  MasterTableState s;
  s.doc = doc;
  s.m = doc->m_pModel;
  s.data = GetDataAccess(doc->m_pModel);
  s.sqlReport = IsSqlReport(doc->m_pModel);
  const INT_PTR r = doc->DoModalDialog(owner, MasterTableDlgProc, "DATABASE", reinterpret_cast<LPARAM>(&s));
  if (replaced != nullptr) *replaced = r == 1 && s.replaced;
  return r == 1 ? 1 : 0;
}
