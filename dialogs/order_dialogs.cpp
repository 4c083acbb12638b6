#include "dialogs/order_dialogs.h"

#include <algorithm>
#include <utility>
#include <string>
#include <vector>

#include "core/composite.h"
#include "core/fields.h"
#include "dialogs/field_list_box.h"
#include "engine/calc_pass.h"
#include "expr/compiler.h"
#include "foundation/dialog_runner.h"
#include "foundation/doc_base.h"
#include "model/field_dependencies.h"
#include "model/calc_fields.h"
#include "model/group_levels.h"
#include "platform/win/beep.h"
#include "platform/win/dialog.h"
#include "platform/win/resources.h"

namespace {

constexpr UINT kStrSortOrder = 18617, kStrGroupOrder = 18618, kStrAscending = 18619, kStrDescending = 18620;
constexpr uint8_t kGroupBreaks = 1;
// The option boxes and the level flag each one sets.
constexpr std::pair<int, uint8_t> kOptionBoxes[] = {
    {kOrderPrintOnce, kGroupPrintOnce}, {kOrderResetPage, kGroupResetPage}, {kOrderSwapHeader, kGroupSwapHeader},
    {kOrderSwapFooter, kGroupSwapFooter}, {kOrderRepeatHeader, kGroupRepeatHeader}};

struct Entry {
  uint32_t field = kNoField;
  bool descending = false;
  uint8_t groupFlags = kGroupBreaks;
};

struct State {
  OrderDialogParams* p = nullptr;
  std::vector<Entry> entries;
};

// Memo fields and copies of fields cannot order records.
bool Orderable(const FieldDef* f, void*) { return !(f->flags & (kFieldAlias | kFieldMemo)) && f->name[0] != 0; }

bool DescendingSlot(const CKmComposite* m, uint32_t field) {
  for (int i = 0; i < kMaxGroupLevels && m->sortFields[i] != kNoField; ++i)
    if (m->sortFields[i] == field) return !SortSlotAscending(m->sortWords[i]);
  return false;
}

void ShowEntries(HWND dialog, State* s, int select) {
  CKmComposite* m = s->p->model;
  SendDlgItemMessageA(dialog, kOrderList, LB_RESETCONTENT, 0, 0);
  for (size_t i = 0; i < s->entries.size(); ++i) {
    const FieldDef* f = m->GetFieldAt(s->entries[i].field);
    std::string text = std::to_string(i + 1) + "  " + (f ? f->name : "???") + " (" +
                       LoadResString(s->entries[i].descending ? kStrDescending : kStrAscending) + ")";
    SendDlgItemMessageA(dialog, kOrderList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  if (select >= static_cast<int>(s->entries.size())) select = static_cast<int>(s->entries.size()) - 1;
  SendDlgItemMessageA(dialog, kOrderList, LB_SETCURSEL, static_cast<WPARAM>(select), 0);
  const bool any = select >= 0;
  CheckDlgButton(dialog, kOrderDescending, any && s->entries[select].descending ? BST_CHECKED : BST_UNCHECKED);
  EnableWindow(GetDlgItem(dialog, kOrderRemove), any);
  EnableWindow(GetDlgItem(dialog, kOrderDescending), any);
  EnableWindow(GetDlgItem(dialog, kOrderAdd), s->entries.size() < static_cast<size_t>(kMaxGroupLevels));
  const bool group = s->p->kind == kOrderGroup;
  for (const auto& [id, flag] : kOptionBoxes) {
    ShowWindow(GetDlgItem(dialog, id), group ? SW_SHOW : SW_HIDE);
    EnableWindow(GetDlgItem(dialog, id), any);
    CheckDlgButton(dialog, id, any && (s->entries[static_cast<size_t>(select)].groupFlags & flag) ? BST_CHECKED : BST_UNCHECKED);
  }
  ShowWindow(GetDlgItem(dialog, 312), group ? SW_SHOW : SW_HIDE);
}

int Selected(HWND dialog) { return static_cast<int>(SendDlgItemMessageA(dialog, kOrderList, LB_GETCURSEL, 0, 0)); }

// A page number is known only as the pages are laid out, after the records
// were ordered: a field that rests on one cannot order them.
bool RefusePageNumber(HWND dialog, State* s, const FieldDef* f) {
  if (f == nullptr || !(f->flags & kFieldPageNumber)) return false;
  s->p->doc->ErrorBoxOwner(dialog, CompileErrorText(kCalcPageNumberSort));
  return true;
}

void Add(HWND dialog, State* s) {
  FieldDef* f = GetListedField(dialog, kOrderFieldList, -1);
  if (f == nullptr || s->entries.size() >= static_cast<size_t>(kMaxGroupLevels)) return;
  if (RefusePageNumber(dialog, s, f)) return;
  const uint32_t index = s->p->model->GetFieldIndex(f);
  for (const Entry& e : s->entries)
    if (e.field == index) {
      MessageBeep(0);
      return;
    }
  Entry e;
  e.field = index;
  e.descending = IsDlgButtonChecked(dialog, kOrderDescending) == BST_CHECKED && Selected(dialog) < 0;
  s->entries.push_back(e);
  ShowEntries(dialog, s, static_cast<int>(s->entries.size()) - 1);
}

void Move(HWND dialog, State* s, int by) {
  const int i = Selected(dialog), j = i + by;
  if (i < 0 || j < 0 || j >= static_cast<int>(s->entries.size())) return;
  std::swap(s->entries[static_cast<size_t>(i)], s->entries[static_cast<size_t>(j)]);
  ShowEntries(dialog, s, j);
}

// The order the dialog proposes, as the model would hold it.
GroupSetup Proposed(State* s, uint32_t sortFields[kMaxGroupLevels], uint16_t sortWords[kMaxGroupLevels],
                    uint32_t groupFields[kMaxGroupLevels], uint8_t groupFlags[kMaxGroupLevels]) {
  CKmComposite* m = s->p->model;
  for (int i = 0; i < kMaxGroupLevels; ++i) {
    sortFields[i] = m->sortFields[i];
    sortWords[i] = m->sortWords[i];
    groupFields[i] = m->groupFields[i];
    groupFlags[i] = m->groupFlags[i];
  }
  std::vector<Entry> sorts;
  if (s->p->kind == kOrderSort) {
    sorts = s->entries;
  } else {
    for (int i = 0; i < kMaxGroupLevels; ++i) {
      groupFields[i] = i < static_cast<int>(s->entries.size()) ? s->entries[static_cast<size_t>(i)].field : kNoField;
      groupFlags[i] = i < static_cast<int>(s->entries.size()) ? s->entries[static_cast<size_t>(i)].groupFlags : 0;
    }
    // The group fields lead the sort order; the other sort fields follow.
    sorts = s->entries;
    for (int i = 0; i < kMaxGroupLevels && m->sortFields[i] != kNoField; ++i) {
      const bool grouped = std::any_of(s->entries.begin(), s->entries.end(),
                                       [&](const Entry& e) { return e.field == m->sortFields[i]; });
      if (!grouped && sorts.size() < static_cast<size_t>(kMaxGroupLevels))
        sorts.push_back(Entry{m->sortFields[i], !SortSlotAscending(m->sortWords[i]), 0});
    }
  }
  for (int i = 0; i < kMaxGroupLevels; ++i) {
    const bool used = i < static_cast<int>(sorts.size());
    sortFields[i] = used ? sorts[static_cast<size_t>(i)].field : kNoField;
    const uint16_t keep = static_cast<uint16_t>(m->sortWords[i] & ~kSortDescending);
    sortWords[i] = used ? static_cast<uint16_t>(keep | (sorts[static_cast<size_t>(i)].descending ? kSortDescending : 0))
                        : 0;
  }
  GroupSetup setup = ModelGroupSetup(m);
  for (int i = 0; i < kMaxGroupLevels; ++i) {
    setup.levels[i].field = groupFields[i];
    setup.levels[i].flags = groupFlags[i];
    setup.sortFields[i] = sortFields[i];
    setup.directions[i] = SortSlotAscending(sortWords[i]);
  }
  return setup;
}

bool Ok(HWND dialog, State* s) {
  CKmComposite* m = s->p->model;
  uint32_t sortFields[kMaxGroupLevels], groupFields[kMaxGroupLevels];
  uint16_t sortWords[kMaxGroupLevels];
  uint8_t groupFlags[kMaxGroupLevels];
  // An order the report came with (from a file made elsewhere) is refused
  // as a new one is.
  for (const Entry& e : s->entries)
    if (RefusePageNumber(dialog, s, m->GetFieldAt(e.field))) return false;
  GroupSetup setup = Proposed(s, sortFields, sortWords, groupFields, groupFlags);
  FieldDef* keys[kKeyLevels] = {};
  uint32_t kinds[kKeyLevels] = {};
  // Refused orders are told and change nothing.
  if (CheckSortAndGroupFields(m, setup, keys, kinds) == 1) {
    m->ShowEngineErrorFor(dialog, m->lastEngineError);
    return false;
  }
  if (CheckTotalsSetup(m, setup, dialog, true) != 0) return false;
  for (int i = 0; i < kMaxGroupLevels; ++i) {
    if (groupFields[i] != kNoField && m->groupFields[i] == kNoField) s->p->newLevels |= static_cast<uint8_t>(1u << i);
    m->sortFields[i] = sortFields[i];
    m->sortWords[i] = sortWords[i];
    m->groupFields[i] = groupFields[i];
    m->groupFlags[i] = groupFlags[i];
  }
  s->p->changed = true;
  return true;
}

void Init(HWND dialog, State* s) {
  CKmComposite* m = s->p->model;
  const bool group = s->p->kind == kOrderGroup;
  SetWindowTextA(dialog, LoadResString(group ? kStrGroupOrder : kStrSortOrder).c_str());
  for (int i = 0; i < kMaxGroupLevels; ++i) {
    const uint32_t field = group ? m->groupFields[i] : m->sortFields[i];
    if (field == kNoField) break;
    Entry e;
    e.field = field;
    e.descending = group ? DescendingSlot(m, field) : !SortSlotAscending(m->sortWords[i]);
    e.groupFlags = group ? m->groupFlags[i] : 0;
    s->entries.push_back(e);
  }
  FillFieldListBox(dialog, kOrderFieldList, m, nullptr, Orderable, nullptr);
  SubclassFieldList(GetDlgItem(dialog, kOrderFieldList));
  SendDlgItemMessageA(dialog, kOrderFieldList, LB_SETCURSEL, 0, 0);
  ShowEntries(dialog, s, s->entries.empty() ? -1 : 0);
}

}  // namespace

INT_PTR OrderDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* s = reinterpret_cast<State*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      s = reinterpret_cast<State*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      Init(dialog, s);
      return TRUE;
    case WM_COMMAND: {
      if (s == nullptr) break;
      const int id = LOWORD(wParam), code = HIWORD(wParam);
      switch (id) {
        case kOrderAdd:
          Add(dialog, s);
          return TRUE;
        case kOrderFieldList:
          if (code == LBN_DBLCLK) Add(dialog, s);
          return TRUE;
        case kOrderRemove: {
          const int i = Selected(dialog);
          if (i >= 0) s->entries.erase(s->entries.begin() + i);
          ShowEntries(dialog, s, i);
          return TRUE;
        }
        case kOrderList:
          if (code == LBN_SELCHANGE) ShowEntries(dialog, s, Selected(dialog));
          return TRUE;
        case kOrderDescending: {
          const int i = Selected(dialog);
          if (i >= 0) s->entries[static_cast<size_t>(i)].descending =
                          IsDlgButtonChecked(dialog, kOrderDescending) == BST_CHECKED;
          ShowEntries(dialog, s, i);
          return TRUE;
        }
        case kOrderPrintOnce:
        case kOrderResetPage:
        case kOrderSwapHeader:
        case kOrderSwapFooter:
        case kOrderRepeatHeader: {
          const int i = Selected(dialog);
          if (i < 0) return TRUE;
          for (const auto& [box, flag] : kOptionBoxes)
            if (box == id) {
              uint8_t& flags = s->entries[static_cast<size_t>(i)].groupFlags;
              flags = IsDlgButtonChecked(dialog, id) == BST_CHECKED ? flags | flag : flags & ~flag;
            }
          return TRUE;
        }
        case kOrderUp:
          Move(dialog, s, -1);
          return TRUE;
        case kOrderDown:
          Move(dialog, s, 1);
          return TRUE;
        case IDOK:
          if (Ok(dialog, s)) EndDialog(dialog, IDOK);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
      }
      break;
    }
  }
  return FALSE;
}

INT_PTR RunOrderDialog(HWND owner, OrderDialogParams* params) {
  State s;
  s.p = params;
  params->changed = false;
  params->newLevels = 0;
  return params->doc->DoModalDialog(owner, OrderDlgProc, "DOrder", reinterpret_cast<LPARAM>(&s));
}
