#include "dialogs/joins_dialog.h"

#include "core/composite.h"
#include "data/data_access.h"
#include "data/master_joins.h"
#include "data/open_tables.h"
#include "dialogs/dependency_warning.h"
#include "dialogs/field_list_box.h"
#include "dialogs/master_table_dialog.h"
#include "dialogs/report_sources.h"
#include "dialogs/table_list_dialog.h"
#include "foundation/doc_base.h"
#include "foundation/heap_strings.h"
#include "foundation/message_dialog.h"
#include "model/field_dependencies.h"
#include "model/relation_wording.h"
#include "platform/win/dialog.h"
#include "platform/win/gdi.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

namespace {

// DREL.
enum : int { kJoinList = 200, kDelete = 201, kNew = 202, kEdit = 203, kSentence = 205, kHelp = 300 };
// DRELATE.
enum : int {
  kFrom = 201, kFromTable = 202, kTableButton = 203, kAliasEdit = 204, kTo = 205, kExact = 206, kApprox = 207,
  kHigh = 208, kLow = 209, kLeft = 210, kNone = 211, kRight = 212, kToTable = 213, kOptions = 214, kFromPairs = 215,
  kToPairs = 216, kPairDelete = 217, kPairLabel = 218, kFromAlias = 219, kFromAliasLabel = 220
};
constexpr UINT kStrNone = 48;
constexpr UINT kStrNewJoin = 178, kStrEditJoin = 179, kStrDeleteJoinCaption = 182, kStrDeleteJoin = 191;
constexpr UINT kStrNoMemory = 619, kStrSelectField = 631, kStrSelectTable = 708;
constexpr UINT kStrFromGone = 2550, kStrToGone = 2554, kStrTooManyPairs = 3241, kStrErrorGettingJoin = 3242;
constexpr UINT kStrNoMatchingTypes = 17107, kStrMultiTable = 17108;
constexpr int kMaxPairs = 10;
constexpr uint32_t kTypeBits = kFieldNumeric | kFieldLogical | kFieldDate | kFieldDateTime | kFieldTime;

struct JoinPair {
  FieldDef* from = nullptr;
  std::string to;
  bool toGone = false;  // the "to" field is no longer in its table
};

struct JoinState {
  KmDocBase* doc = nullptr;
  CKmComposite* m = nullptr;
  DataAccess* data = nullptr;
  int number = 0;  // 0 new, else the relation being edited
  std::string reference;
  std::vector<JoinPair> pairs;
  int match = 0;
  int unmatched = 1;
  bool optionsShown = false;
  std::vector<std::string> toNames;         // the names in the "to" combo
  std::vector<uint32_t> toFlags;            // their kind bits
  std::vector<bool> toGone;                 // and whether each has left its table
  RECT fullRect{};
  int entryIndex = -2;  // the data source entry of a table chosen here; -2 none chosen
};

JoinState* State(HWND dialog) { return reinterpret_cast<JoinState*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

int SlotOf(CKmComposite* m, const TableSlot* t) {
  for (int s = 0; s < kMaxTables; ++s)
    if (m->tableSlots[s] == t) return s;
  return -1;
}

bool PairComplete(const JoinPair& p) {
  if (p.from == nullptr || p.to.empty() || p.toGone) return false;
  if ((p.from->flags & kFieldCalculation) && p.from->sqlText == nullptr) return false;
  return !(p.from->flags2 & kField2NotInTable);
}

void UpdateJoinOkButton(HWND dialog, JoinState* s) {
  bool ok = !s->pairs.empty();
  for (const JoinPair& p : s->pairs) ok = ok && PairComplete(p);
  EnableWindow(GetDlgItem(dialog, IDOK), ok);
}

bool FromFilter(const FieldDef* f, void*) { return IsJoinableField(f) && f->table < kMaxTables; }

// The linking fields of the "to" table, read from the table as the data source lists it.
bool FillToFieldCombo(HWND dialog, JoinState* s, const char* selection) {
  HWND combo = GetDlgItem(dialog, kTo);
  SendMessageA(combo, CB_RESETCONTENT, 0, 0);
  s->toNames.clear();
  s->toFlags.clear();
  s->toGone.clear();
  EnableWindow(combo, TRUE);
  if (s->reference.empty()) return false;
  const FieldDef* from = s->pairs.empty() ? nullptr : s->pairs[0].from;
  auto add = [&](const FieldDef* f) {
    if (!AddJoinFieldCandidate(f, from)) return;
    char text[200];
    FormatFieldListEntry(text, f->name, f, sizeof text, nullptr);
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    s->toNames.push_back(f->name);
    s->toFlags.push_back(f->flags);
    s->toGone.push_back((f->flags2 & kField2NotInTable) != 0);
  };
  const TableSlot* edited = s->number > 0 ? GetTableByNumber(s->m, s->number) : nullptr;
  if (edited != nullptr && strcasecmp(edited->path, s->reference.c_str()) == 0) {
    const int slot = SlotOf(s->m, edited);
    for (FieldDef* f = s->m->fieldList; f; f = f->next)
      if (f->table == slot && !(f->flags & kFieldAlias)) add(f);
  } else {
    // Opened for its field list only, then taken out again.
    uint32_t slot = 0;
    const int rc = OpenTable(s->m, s->reference.c_str(), &slot, true, nullptr, nullptr, nullptr,
                             CurrentOverrideContext(s->data));
    if (rc != 0) {
      s->m->ShowEngineErrorFor(dialog, rc);
      return false;
    }
    for (FieldDef* f = s->m->fieldList; f; f = f->next)
      if (f->table == slot && !(f->flags & kFieldAlias)) add(f);
    AbandonTable(s->m, slot, true);
  }
  if (s->toNames.empty()) {
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(GetResString(kStrNoMatchingTypes, 0)));
    SendMessageA(combo, CB_SETCURSEL, 0, 0);
    EnableWindow(combo, FALSE);
    EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
    return true;
  }
  int at = -1;
  for (size_t i = 0; selection != nullptr && i < s->toNames.size(); ++i)
    if (strcasecmp(s->toNames[i].c_str(), selection) == 0) at = static_cast<int>(i);
  SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
  return true;
}

void ShowJoinFromTable(HWND dialog, JoinState* s) {
  int table = -1;
  bool mixed = false;
  for (const JoinPair& p : s->pairs) {
    if (p.from == nullptr) continue;
    if (table >= 0 && table != p.from->table) mixed = true;
    table = p.from->table;
  }
  if (table < 0 && s->m->tableSlots[0] != nullptr && s->pairs.empty()) table = 0;
  const TableSlot* t = table >= 0 && table < kMaxTables ? s->m->tableSlots[table] : nullptr;
  if (mixed) {
    SetDlgItemTextA(dialog, kFromTable, GetResString(kStrMultiTable, 0));
    SetDlgItemTextA(dialog, kFromAlias, "");
    ShowWindow(GetDlgItem(dialog, kFromAliasLabel), SW_HIDE);
  } else if (t == nullptr) {
    SetDlgItemTextA(dialog, kFromTable, GetResString(kStrNone, 0));
    SetDlgItemTextA(dialog, kFromAlias, "");
    ShowWindow(GetDlgItem(dialog, kFromAliasLabel), SW_HIDE);
  } else {
    SetDlgItemTextA(dialog, kFromTable, t->path);
    SetDlgItemTextA(dialog, kFromAlias, t->alias);
    ShowWindow(GetDlgItem(dialog, kFromAliasLabel), SW_SHOW);
  }
}

bool OuterJoinsAllowed(JoinState* s) {
  const int style = s->data->GetOuterJoinStyle();
  return style != OJ_NONE;
}

void SetJoinMatchType(HWND dialog, JoinState* s, bool enable) {
  const bool approx = enable && s->match != 0;
  CheckDlgButton(dialog, kExact, approx ? BST_UNCHECKED : BST_CHECKED);
  CheckDlgButton(dialog, kApprox, approx ? BST_CHECKED : BST_UNCHECKED);
  EnableWindow(GetDlgItem(dialog, kExact), enable);
  EnableWindow(GetDlgItem(dialog, kApprox), enable && s->data->UseApprox());
  EnableWindow(GetDlgItem(dialog, kHigh), approx);
  EnableWindow(GetDlgItem(dialog, kLow), approx);
  CheckDlgButton(dialog, kHigh, approx && s->match == 1 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, kLow, approx && s->match == 2 ? BST_CHECKED : BST_UNCHECKED);
}

void UpdateUnmatchedButtons(HWND dialog, JoinState* s) {
  const bool exact = s->match == 0 && !s->pairs.empty();
  EnableWindow(GetDlgItem(dialog, kNone), exact);
  EnableWindow(GetDlgItem(dialog, kLeft), exact && OuterJoinsAllowed(s));
  EnableWindow(GetDlgItem(dialog, kRight), exact && OuterJoinsAllowed(s));
  for (int id = kLeft; id <= kRight; ++id) CheckDlgButton(dialog, id, id - kLeft == s->unmatched ? BST_CHECKED : BST_UNCHECKED);
}

std::string PairFromText(const JoinPair& p) { return p.from != nullptr ? p.from->name : std::string(" "); }
std::string PairToText(const JoinPair& p) { return p.to.empty() ? std::string(" ") : p.to; }

void FillPairLists(HWND dialog, JoinState* s) {
  SendDlgItemMessageA(dialog, kFromPairs, LB_RESETCONTENT, 0, 0);
  SendDlgItemMessageA(dialog, kToPairs, LB_RESETCONTENT, 0, 0);
  for (const JoinPair& p : s->pairs) {
    SendDlgItemMessageA(dialog, kFromPairs, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(PairFromText(p).c_str()));
    SendDlgItemMessageA(dialog, kToPairs, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(PairToText(p).c_str()));
  }
  // The blank last line takes a new pair.
  SendDlgItemMessageA(dialog, kFromPairs, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(" "));
  SendDlgItemMessageA(dialog, kToPairs, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(" "));
  const WPARAM last = static_cast<WPARAM>(s->pairs.size());
  SendDlgItemMessageA(dialog, kFromPairs, LB_SETCURSEL, last, 0);
  SendDlgItemMessageA(dialog, kToPairs, LB_SETCURSEL, last, 0);
}

void ShowJoinOptions(HWND dialog, JoinState* s, bool show) {
  const int ids[] = {kPairLabel, kFromPairs, kToPairs, kPairDelete, kExact, kApprox, kHigh, kLow, kLeft, kNone, kRight, 226, 227};
  for (int id : ids) ShowWindow(GetDlgItem(dialog, id), show ? SW_SHOW : SW_HIDE);
  RECT help, dlg;
  GetWindowRect(GetDlgItem(dialog, kOptions), &help);
  GetWindowRect(dialog, &dlg);
  const int height = show ? s->fullRect.bottom - s->fullRect.top : help.bottom + 12 - dlg.top;
  SetWindowPos(dialog, nullptr, 0, 0, dlg.right - dlg.left, height, SWP_NOMOVE | SWP_NOZORDER);
  s->doc->CenterDialogOnOwner(dialog);
  if (!show) return;
  EnableWindow(GetDlgItem(dialog, kOptions), FALSE);
  FillPairLists(dialog, s);
  SetJoinMatchType(dialog, s, s->pairs.size() < 2);
  UpdateUnmatchedButtons(dialog, s);
}

int SelectedPairIndex(HWND dialog, int list) {
  return static_cast<int>(SendDlgItemMessageA(dialog, list, LB_GETCURSEL, 0, 0));
}

JoinPair* PairForChange(HWND dialog, JoinState* s, int list) {
  if (!s->optionsShown) {
    if (s->pairs.empty()) s->pairs.emplace_back();
    return &s->pairs[0];
  }
  const int at = SelectedPairIndex(dialog, list);
  if (at < 0) return nullptr;
  if (at >= static_cast<int>(s->pairs.size())) {
    if (static_cast<int>(s->pairs.size()) >= kMaxPairs) {
      s->doc->ErrorBoxOwner(dialog, GetResString(kStrTooManyPairs, 0));
      return nullptr;
    }
    s->pairs.emplace_back();
    if (s->pairs.size() >= 2) s->match = 0;
    return &s->pairs.back();
  }
  return &s->pairs[static_cast<size_t>(at)];
}

void OnFromChange(HWND dialog, JoinState* s) {
  FieldDef* f = GetListedField(dialog, kFrom, -1);
  if (f == nullptr) return;
  if (f->flags2 & kField2NotInTable) {
    s->doc->ErrorBoxOwner(dialog, GetResString(kStrFromGone, 0));
    return;
  }
  JoinPair* p = PairForChange(dialog, s, kFromPairs);
  if (p == nullptr) return;
  const uint32_t before = p->from != nullptr ? (p->from->flags & kTypeBits) : 0xFFFFFFFFu;
  p->from = f;
  ShowJoinFromTable(dialog, s);
  if (!s->optionsShown) {
    if ((f->flags & kTypeBits) != before) FillToFieldCombo(dialog, s, p->to.c_str());
  } else {
    FillPairLists(dialog, s);
    SetJoinMatchType(dialog, s, s->pairs.size() < 2);
    UpdateUnmatchedButtons(dialog, s);
  }
  UpdateJoinOkButton(dialog, s);
}

void OnToChange(HWND dialog, JoinState* s) {
  const int at = static_cast<int>(SendDlgItemMessageA(dialog, kTo, CB_GETCURSEL, 0, 0));
  if (at < 0 || at >= static_cast<int>(s->toNames.size())) return;
  JoinPair* p = PairForChange(dialog, s, kToPairs);
  if (p == nullptr) return;
  p->to = s->toNames[static_cast<size_t>(at)];
  p->toGone = s->toGone[static_cast<size_t>(at)];
  if (p->toGone) s->doc->ErrorBoxOwner(dialog, GetResString(kStrToGone, 0));
  if (s->optionsShown) {
    FillPairLists(dialog, s);
    UpdateUnmatchedButtons(dialog, s);
  }
  UpdateJoinOkButton(dialog, s);
}

void OnTableButton(HWND dialog, JoinState* s) {
  TableListRequest request;
  request.kind = s->number == 0 ? 3 : 4;
  request.reference = s->reference;
  if (ShowTableListDialog(s->doc, dialog, &request) != 1 || request.reference.empty()) return;
  if (strcasecmp(request.reference.c_str(), s->reference.c_str()) == 0) return;
  s->reference = request.reference;
  s->entryIndex = request.entryIndex;
  SetDlgItemTextA(dialog, kToTable, s->reference.c_str());
  for (JoinPair& p : s->pairs) {
    p.to.clear();
    p.toGone = false;
  }
  std::string ref = s->reference, alias, message;
  ApplyDataSourceOverride(CurrentOverrideContext(s->data), &ref, &alias, &message);
  SetDlgItemTextA(dialog, kAliasEdit, alias.substr(0, 8).c_str());
  FillToFieldCombo(dialog, s, nullptr);
  if (s->optionsShown) FillPairLists(dialog, s);
  UpdateJoinOkButton(dialog, s);
}

bool CheckPairs(HWND dialog, JoinState* s) {
  if (!s->optionsShown && (s->pairs.empty() || s->pairs[0].from == nullptr || s->pairs[0].to.empty())) {
    s->doc->ErrorBoxOwner(dialog, GetResString(kStrSelectField, 0));
    return false;
  }
  for (const JoinPair& p : s->pairs) {
    if (p.from != nullptr && (p.from->flags2 & kField2NotInTable)) {
      s->doc->ErrorBoxOwner(dialog, GetResString(kStrFromGone, 0));
      return false;
    }
    if (p.toGone) {
      s->doc->ErrorBoxOwner(dialog, GetResString(kStrToGone, 0));
      return false;
    }
  }
  if (s->reference.empty()) {
    s->doc->ErrorBoxOwner(dialog, GetResString(kStrSelectTable, 0));
    return false;
  }
  return true;
}

void FocusJoinErrorControl(HWND dialog, uint32_t focus) {
  SetFocus(GetDlgItem(dialog, focus == kJoinFocusLinks ? int{kFrom} : focus == kJoinFocusAlias ? int{kAliasEdit} : int{IDOK}));
}

void OnOk(HWND dialog, JoinState* s) {
  if (!CheckPairs(dialog, s)) return;
  char alias[9] = {};
  GetDlgItemTextA(dialog, kAliasEdit, alias, sizeof alias);
  if (alias[0] == 0) {
    std::string ref = s->reference, derived, message;
    ApplyDataSourceOverride(CurrentOverrideContext(s->data), &ref, &derived, &message);
    std::snprintf(alias, sizeof alias, "%s", derived.c_str());
  }
  std::vector<JoinLinkEntry> links;
  for (const JoinPair& p : s->pairs)
    if (p.from != nullptr) links.push_back({p.from, p.to.c_str(), static_cast<uint8_t>(p.toGone ? 1 : 0)});
  links.push_back(JoinLinkEntry());
  JoinRequest request;
  request.links = links.data();
  request.path = s->reference.c_str();
  request.approximate = static_cast<uint8_t>(s->match);
  request.rule = static_cast<uint8_t>(s->unmatched);
  request.alias = alias;
  const TableOverrideContext ctx = CurrentOverrideContext(s->data);
  int slot = -1;
  if (s->number == 0) {
    const int rc = AddJoin(s->m, &request, ctx, nullptr);
    if (rc != 0) {
      s->m->ShowEngineErrorFor(dialog, rc);
      FocusJoinErrorControl(dialog, request.focus);
      return;
    }
    slot = SlotOf(s->m, GetTableByNumber(s->m, FindTableByAlias(s->m, alias)));
  } else {
    uint32_t count = 0;
    RelationChange pending;
    const int rc = ChangeJoin(s->m, &request, s->number, &count, ctx, &pending);
    if (rc != 0) {
      s->m->ShowEngineErrorFor(dialog, rc);
      FocusJoinErrorControl(dialog, request.focus);
      return;
    }
    if (count > 0) {
      const DependencyWarning w = BuildRemoveUsersWarning(s->m, "the join changes", nullptr);
      if (RunDependencyWarning(s->doc, dialog, kWarnRelationChange, w) <= 0) {
        CancelRelationChange(s->m, &pending);
        SetFocus(GetDlgItem(dialog, IDOK));
        return;
      }
    }
    slot = static_cast<int>(pending.slot);
    ChangeJoinTable(s->m, &request, &pending);
  }
  if (slot > 0) SetSlotSourceName(s->doc, slot, s->data->GetCurrentDataSourceName());
  // The lookup keeps the data source entry its table was chosen from; a new
  // one whose table came from elsewhere takes the master's.
  if (slot > 0 && s->m->tableSlots[slot] != nullptr) {
    if (s->entryIndex != -2) s->m->tableSlots[slot]->dataSourceEntry = s->entryIndex;
    else if (s->number == 0 && s->m->tableSlots[0] != nullptr)
      s->m->tableSlots[slot]->dataSourceEntry = s->m->tableSlots[0]->dataSourceEntry;
  }
  AfterTableChange(s->doc, alias);
  // The database is asked at once whether the joined SELECT still runs.
  RefreshSqlAfterJoinChange(s->m);
  EndDialog(dialog, 1);
}

bool StartExistingJoin(HWND dialog, JoinState* s) {
  if (CountJoinFields(s->m, s->number) > kMaxPairs) {
    s->doc->ErrorBoxOwner(dialog, GetResString(kStrTooManyPairs, 0));
    return false;
  }
  JoinRequest request;
  JoinInfoStorage storage;
  if (GetJoinInfo(s->m, &request, s->number, &storage) != 0) {
    s->doc->ErrorBoxOwner(dialog, GetResString(kStrErrorGettingJoin, 0));
    return false;
  }
  ClearFieldMarks(s->m, false);
  s->reference = storage.path;
  s->match = request.approximate;
  s->unmatched = request.rule;
  for (const JoinLinkEntry& e : storage.links)
    if (e.field != nullptr) s->pairs.push_back({e.field, e.column ? e.column : "", e.notInTable != 0});
  SetDlgItemTextA(dialog, kToTable, s->reference.c_str());
  SetDlgItemTextA(dialog, kAliasEdit, storage.alias.c_str());
  SetWindowTextA(dialog, GetResString(kStrEditJoin, 0));
  FillFieldListBox(dialog, kFrom, s->m, s->pairs.empty() ? nullptr : s->pairs[0].from->name, FromFilter, nullptr);
  FillToFieldCombo(dialog, s, s->pairs.empty() ? nullptr : s->pairs[0].to.c_str());
  ShowJoinFromTable(dialog, s);
  return true;
}

// The sentence's label, and the dialog with it, grow to hold all its lines:
// aliases and field names make it longer than the template allows for.
void FitSentence(HWND dialog, const std::string& sentence) {
  HWND label = GetDlgItem(dialog, kSentence);
  RECT room{};
  if (label == nullptr || !GetClientRect(label, &room)) return;
  HDC dc = GetDC(label);
  if (dc == nullptr) return;
  HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageA(label, WM_GETFONT, 0, 0));
  HGDIOBJ old = font != nullptr ? SelectObject(dc, font) : nullptr;
  RECT needed = room;
  DrawTextA(dc, sentence.c_str(), static_cast<int>(sentence.size()), &needed,
            DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  if (old != nullptr) SelectObject(dc, old);
  ReleaseDC(label, dc);
  const int more = (needed.bottom - needed.top) - (room.bottom - room.top);
  if (more <= 0) return;
  RECT at{}, whole{};
  GetWindowRect(label, &at);
  SetWindowPos(label, nullptr, 0, 0, at.right - at.left, at.bottom - at.top + more, SWP_NOMOVE | SWP_NOZORDER);
  GetWindowRect(dialog, &whole);
  SetWindowPos(dialog, nullptr, 0, 0, whole.right - whole.left, whole.bottom - whole.top + more,
               SWP_NOMOVE | SWP_NOZORDER);
}

// DREL's list and sentence kept in step with the model.
void ShowSentence(HWND dialog, KmDocBase* doc) {
  const int at = static_cast<int>(SendDlgItemMessageA(dialog, kJoinList, LB_GETCURSEL, 0, 0));
  std::string sentence;
  if (at >= 0) DescribeRelation(doc->m_pModel, at + 1, sentence);
  FitSentence(dialog, sentence);
  SetDlgItemTextA(dialog, kSentence, sentence.c_str());
}

void UpdateJoinsButtons(HWND dialog, KmDocBase* doc) {
  const bool any = SendDlgItemMessageA(dialog, kJoinList, LB_GETCOUNT, 0, 0) > 0;
  EnableWindow(GetDlgItem(dialog, kEdit), any);
  EnableWindow(GetDlgItem(dialog, kDelete), any);
  int tables = 0;
  for (int s = 0; s < kMaxTables; ++s)
    if (doc->m_pModel->tableSlots[s] != nullptr) ++tables;
  EnableWindow(GetDlgItem(dialog, kNew), tables < kMaxTables);
}

int EditJoin(KmDocBase* doc, HWND dialog, bool isNew) {
  JoinState s;
  s.doc = doc;
  s.m = doc->m_pModel;
  s.data = GetDataAccess(doc->m_pModel);
  if (!isNew) {
    const int at = static_cast<int>(SendDlgItemMessageA(dialog, kJoinList, LB_GETCURSEL, 0, 0));
    if (at < 0) return 1;
    s.number = at + 1;
  }
  const INT_PTR r = doc->DoModalDialog(dialog, JoinDlgProc, "DRELATE", reinterpret_cast<LPARAM>(&s));
  if (r > 0) {
    FillJoinList(doc, dialog);
    const int count = static_cast<int>(SendDlgItemMessageA(dialog, kJoinList, LB_GETCOUNT, 0, 0));
    SendDlgItemMessageA(dialog, kJoinList, LB_SETCURSEL, static_cast<WPARAM>(count > 0 ? (s.number > 0 ? s.number - 1 : count - 1) : -1), 0);
    UpdateJoinsButtons(dialog, doc);
    ShowSentence(dialog, doc);
  }
  SetFocus(GetDlgItem(dialog, kJoinList));
  return static_cast<int>(r);
}

void DeleteJoin(HWND dialog, KmDocBase* doc) {
  const int at = static_cast<int>(SendDlgItemMessageA(dialog, kJoinList, LB_GETCURSEL, 0, 0));
  if (at < 0) return;
  CKmComposite* m = doc->m_pModel;
  uint32_t count = 0;
  JoinRemoval pending;
  const int rc = FindJoinUsers(m, at + 1, &count, &pending);
  if (rc != 0) {
    m->ShowEngineErrorFor(dialog, rc);
    return;
  }
  if (count == 0) {
    if (doc->ShowMessageDialog(dialog, GetResString(kStrDeleteJoin, 0), GetResString(kStrDeleteJoinCaption, 1),
                               kMsgYesNoFocusNo) != IDYES) {
      CancelJoinRemoval(m, &pending);
      SetFocus(GetDlgItem(dialog, kJoinList));
      return;
    }
  } else {
    const DependencyWarning w = BuildRemoveUsersWarning(m, "the join is deleted", nullptr);
    if (RunDependencyWarning(doc, dialog, kWarnRelationRemoval, w) <= 0) {
      CancelJoinRemoval(m, &pending);
      SetFocus(GetDlgItem(dialog, kJoinList));
      return;
    }
  }
  RemoveJoin(m, &pending);
  FillJoinList(doc, dialog);
  const int left = static_cast<int>(SendDlgItemMessageA(dialog, kJoinList, LB_GETCOUNT, 0, 0));
  if (left == 0) {
    SetDlgItemTextA(dialog, kSentence, "");
    SetFocus(GetDlgItem(dialog, kNew));
  } else {
    SendDlgItemMessageA(dialog, kJoinList, LB_SETCURSEL, static_cast<WPARAM>(std::min(at, left - 1)), 0);
    ShowSentence(dialog, doc);
  }
  UpdateJoinsButtons(dialog, doc);
  AfterTableChange(doc, "");
  RefreshSqlAfterJoinChange(m);
}

}  // namespace

bool IsJoinableField(const FieldDef* f) {
  if (f->flags2 & kField2ValueSetElsewhere) return true;
  if (!(f->flags & 0x2c2a) && !(f->totalFlags & 0x12)) return true;
  return (f->flags & 0x2a) == kFieldCalculation && f->sqlText != nullptr;
}

bool AddJoinFieldCandidate(const FieldDef* f, const FieldDef* from) {
  if ((f->flags & 0x2d0a) || (f->totalFlags & 0x12)) return false;
  if (from == nullptr) return true;
  const uint32_t want = from->flags & kTypeBits;
  if (want == 0) return (f->flags & kTypeBits) == 0;
  return (f->flags & want) == want;
}

int FillJoinList(KmDocBase* doc, HWND dialog) {
  SendDlgItemMessageA(dialog, kJoinList, LB_RESETCONTENT, 0, 0);
  int n = 0;
  for (int number = 1; number < kMaxTables; ++number) {
    std::string text;
    if (FormatRelationExpression(doc->m_pModel, number, text) != 0) break;
    SendDlgItemMessageA(dialog, kJoinList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    ++n;
  }
  return n;
}

INT_PTR JoinsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* doc = reinterpret_cast<KmDocBase*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      doc = reinterpret_cast<KmDocBase*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      doc->CenterDialogOnOwner(dialog);
      if (FillJoinList(doc, dialog) > 0) {
        SendDlgItemMessageA(dialog, kJoinList, LB_SETCURSEL, 0, 0);
        ShowSentence(dialog, doc);
      } else {
        PostMessageA(dialog, WM_COMMAND, kNew, 0);
      }
      UpdateJoinsButtons(dialog, doc);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kJoinList:
          if (HIWORD(wParam) == LBN_SELCHANGE) ShowSentence(dialog, doc);
          if (HIWORD(wParam) == LBN_DBLCLK) EditJoin(doc, dialog, false);
          return TRUE;
        case kNew:
        case kEdit: {
          const int r = EditJoin(doc, dialog, LOWORD(wParam) == kNew);
          int tables = 0;
          for (int s = 0; s < kMaxTables; ++s)
            if (doc->m_pModel->tableSlots[s] != nullptr) ++tables;
          if (LOWORD(wParam) == kNew && r <= 0 && tables < 2) EndDialog(dialog, 0);
          return TRUE;
        }
        case kDelete:
          DeleteJoin(dialog, doc);
          return TRUE;
        case IDCANCEL:
        case IDOK:
          EndDialog(dialog, 0);
          return TRUE;
        case kHelp:
          doc->ShowDialogHelp(dialog, 1029);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

INT_PTR JoinDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  JoinState* s = State(dialog);
  switch (message) {
    case WM_INITDIALOG: {
      s = reinterpret_cast<JoinState*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      GetWindowRect(dialog, &s->fullRect);
      SendDlgItemMessageA(dialog, kAliasEdit, EM_LIMITTEXT, 8, 0);
      for (FieldDef* f = s->m->fieldList; f; f = f->next) f->flags &= ~kFieldRemovePropagated;
      if (s->number == 0) {
        SetWindowTextA(dialog, GetResString(kStrNewJoin, 0));
        SetDlgItemTextA(dialog, kToTable, GetResString(kStrNone, 0));
        EnableWindow(GetDlgItem(dialog, kTo), FALSE);
        FillFieldListBox(dialog, kFrom, s->m, nullptr, FromFilter, nullptr);
        ShowJoinFromTable(dialog, s);
      } else if (!StartExistingJoin(dialog, s)) {
        EndDialog(dialog, 0);
        return TRUE;
      }
      s->optionsShown = s->pairs.size() >= 2;
      if (s->optionsShown) s->match = 0;
      ShowJoinOptions(dialog, s, s->optionsShown);
      UpdateJoinOkButton(dialog, s);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kFrom:
          if (HIWORD(wParam) == CBN_SELCHANGE) OnFromChange(dialog, s);
          return TRUE;
        case kTo:
          if (HIWORD(wParam) == CBN_SELCHANGE) OnToChange(dialog, s);
          return TRUE;
        case kTableButton:
          OnTableButton(dialog, s);
          return TRUE;
        case kOptions:
          s->optionsShown = true;
          ShowJoinOptions(dialog, s, true);
          return TRUE;
        case kFromPairs:
        case kToPairs:
          if (HIWORD(wParam) == LBN_SELCHANGE) {
            const int at = SelectedPairIndex(dialog, LOWORD(wParam));
            SendDlgItemMessageA(dialog, LOWORD(wParam) == kFromPairs ? kToPairs : kFromPairs, LB_SETCURSEL,
                                static_cast<WPARAM>(at), 0);
            const bool real = at >= 0 && at < static_cast<int>(s->pairs.size());
            EnableWindow(GetDlgItem(dialog, kPairDelete), real);
          }
          return TRUE;
        case kPairDelete: {
          const int at = SelectedPairIndex(dialog, kFromPairs);
          if (at >= 0 && at < static_cast<int>(s->pairs.size())) s->pairs.erase(s->pairs.begin() + at);
          FillPairLists(dialog, s);
          SetJoinMatchType(dialog, s, s->pairs.size() < 2);
          UpdateUnmatchedButtons(dialog, s);
          UpdateJoinOkButton(dialog, s);
          return TRUE;
        }
        case kExact:
        case kApprox:
        case kHigh:
        case kLow:
          s->match = LOWORD(wParam) == kExact ? 0 : LOWORD(wParam) == kApprox ? (s->match == 0 ? 1 : s->match)
                                                                            : LOWORD(wParam) - kApprox;
          if (s->match != 0) s->unmatched = 1;
          SetJoinMatchType(dialog, s, s->pairs.size() < 2);
          UpdateUnmatchedButtons(dialog, s);
          return TRUE;
        case kLeft:
        case kNone:
        case kRight:
          s->unmatched = LOWORD(wParam) - kLeft;
          UpdateUnmatchedButtons(dialog, s);
          return TRUE;
        case IDOK:
          OnOk(dialog, s);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
        case kHelp:
          s->doc->ShowDialogHelp(dialog, static_cast<WORD>(s->number == 0 ? 1030 : 1049));
          return TRUE;
      }
      break;
  }
  return FALSE;
}

void RunJoinsDialog(KmDocBase* doc, HWND owner) {
  doc->DoModalDialog(owner, JoinsDlgProc, "DREL", reinterpret_cast<LPARAM>(doc));
}
