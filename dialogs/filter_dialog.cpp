#include "dialogs/filter_dialog.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "core/composite.h"
#include "core/condition_code.h"
#include "core/fields.h"
#include "dialogs/field_list_box.h"
#include "foundation/dialog_runner.h"
#include "foundation/doc_base.h"
#include "foundation/message_dialog.h"
#include "model/filter_spec.h"
#include "model/selection_conditions.h"
#include "platform/win/dialog.h"
#include "platform/win/resources.h"

namespace {

constexpr UINT kOperatorWordBase = 249;
constexpr UINT kConditionMessageBase = 899;

struct State {
  FilterDialogParams* p = nullptr;
  std::vector<SelectConditionRow> rows;
};

bool Filterable(const FieldDef* f, void*) { return !(f->flags & kFieldAlias) && f->name[0] != 0; }

void ShowRows(HWND dialog, State* s, int select) {
  SendDlgItemMessageA(dialog, kFilterRows, LB_RESETCONTENT, 0, 0);
  for (const SelectConditionRow& r : s->rows) {
    const std::string text = FormatFilterCondition(s->p->model, r);
    SendDlgItemMessageA(dialog, kFilterRows, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  if (select >= static_cast<int>(s->rows.size())) select = static_cast<int>(s->rows.size()) - 1;
  SendDlgItemMessageA(dialog, kFilterRows, LB_SETCURSEL, static_cast<WPARAM>(select), 0);
  EnableWindow(GetDlgItem(dialog, kFilterReplace), select >= 0);
  EnableWindow(GetDlgItem(dialog, kFilterDelete), select >= 0);
}

int SelectedRow(HWND dialog) { return static_cast<int>(SendDlgItemMessageA(dialog, kFilterRows, LB_GETCURSEL, 0, 0)); }

// The row's parts into the entry controls, to be changed and replaced.
void LoadRow(HWND dialog, State* s, int i) {
  if (i < 0 || i >= static_cast<int>(s->rows.size())) return;
  const SelectConditionRow& r = s->rows[static_cast<size_t>(i)];
  const int count = static_cast<int>(SendDlgItemMessageA(dialog, kFilterField, CB_GETCOUNT, 0, 0));
  FieldDef* f = s->p->model->GetFieldAt(r.field);
  for (int k = 0; k < count; ++k)
    if (GetListedField(dialog, kFilterField, k) == f) SendDlgItemMessageA(dialog, kFilterField, CB_SETCURSEL, k, 0);
  if (r.op >= kCondEqual && r.op <= kCondIsNotNull)
    SendDlgItemMessageA(dialog, kFilterOperator, CB_SETCURSEL, r.op - kCondEqual, 0);
  SetDlgItemTextA(dialog, kFilterValue, r.values);
  CheckDlgButton(dialog, kFilterAnd, r.joining != 2 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, kFilterOr, r.joining == 2 ? BST_CHECKED : BST_UNCHECKED);
}

// A row from the entry controls; false (with the reason shown) when it lacks a field.
bool RowFromEntry(HWND dialog, State* s, SelectConditionRow* row, bool first) {
  FieldDef* f = GetListedField(dialog, kFilterField, -1);
  if (f == nullptr) {
    SetDlgItemTextA(dialog, kFilterMessage, LoadResString(kConditionMessageBase + kCondErrFieldMissing).c_str());
    return false;
  }
  row->field = s->p->model->GetFieldIndex(f);
  const LRESULT op = SendDlgItemMessageA(dialog, kFilterOperator, CB_GETCURSEL, 0, 0);
  row->op = static_cast<uint8_t>(kCondEqual + (op < 0 ? 0 : op));
  GetDlgItemTextA(dialog, kFilterValue, row->values, sizeof row->values);
  row->joining = first ? 0 : IsDlgButtonChecked(dialog, kFilterOr) == BST_CHECKED ? 2 : 1;
  return true;
}

// A refused row: its text under the list, the row itself in the list and in
// the entry controls (row -1: the one being entered), the value box at the
// place the check stopped.
void ShowCheck(HWND dialog, State* s, int code, int row, int position) {
  s->p->lastError = code;
  char text[400];
  std::snprintf(text, sizeof text, "%s", LoadResString(kConditionMessageBase + static_cast<UINT>(code)).c_str());
  SetDlgItemTextA(dialog, kFilterMessage, text);
  if (row >= 0) {
    SendDlgItemMessageA(dialog, kFilterRows, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
    LoadRow(dialog, s, row);
  }
  if (s->p->doc) s->p->doc->ErrorBoxOwner(dialog, text);
  HWND value = GetDlgItem(dialog, kFilterValue);
  SetFocus(value);
  SendMessageA(value, EM_SETSEL, static_cast<WPARAM>(position < 0 ? 0 : position), -1);
}

// The text under the list says why an entry or the list was refused; it
// goes once the user turns to something else.
void ClearCheckText(HWND dialog) { SetDlgItemTextA(dialog, kFilterMessage, ""); }

// The row's value as the list will take it: a refused one is shown and kept
// out of the list. Warnings are asked about when the list is accepted.
bool RowAccepted(HWND dialog, State* s, const SelectConditionRow& entered) {
  SelectConditionRow row = entered;
  int code = 0, position = 0;
  if (ParseConditionValue(s->p->model, &row, &code, &position) ||
      code == kCondWarnRunningTotal || code == kCondWarnOtherLevel) {
    ClearCheckText(dialog);
    return true;
  }
  ShowCheck(dialog, s, code, -1, position);
  return false;
}

bool Ok(HWND dialog, State* s) {
  CKmComposite* m = s->p->model;
  // Checked on a copy: a refused list leaves the rows as the user typed them.
  std::vector<SelectConditionRow> rows = s->rows;
  int code = 0, row = 0;
  if (!rows.empty() && !ParseConditionList(m, static_cast<int>(rows.size()), rows.data(), &code, &row)) {
    const bool warning = code == kCondWarnRunningTotal || code == kCondWarnOtherLevel;
    if (!warning) {
      ShowCheck(dialog, s, code, row, 0);
      return false;
    }
    s->p->lastError = code;
    const std::string text = LoadResString(kConditionMessageBase + static_cast<UINT>(code));
    if (s->p->doc && s->p->doc->ShowMessageDialog(dialog, text.c_str(), s->p->doc->GetAppCaption(), kMsgOkCancel) != IDOK)
      return false;
  }
  uint32_t failure = 0;
  bool changed = false;
  if (!ApplyConditionEdits(m, static_cast<int>(rows.size()), rows.data(), &failure, &changed)) {
    if (s->p->doc) s->p->doc->ErrorBoxOwner(dialog, LoadResString(kConditionMessageBase + kCondErrInvalid).c_str());
    return false;
  }
  s->p->changed = changed;
  return true;
}

void Init(HWND dialog, State* s) {
  CKmComposite* m = s->p->model;
  const int count = CountSelectConditions(m);
  if (count > 0) {
    s->rows.resize(static_cast<size_t>(count));
    if (!FormatSelectCondition(m, count, s->rows.data())) s->rows.clear();
  }
  FillFieldListBox(dialog, kFilterField, m, nullptr, Filterable, nullptr);
  SendDlgItemMessageA(dialog, kFilterField, CB_SETCURSEL, 0, 0);
  for (int op = kCondEqual; op <= kCondIsNotNull; ++op)
    SendDlgItemMessageA(dialog, kFilterOperator, CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(LoadResString(kOperatorWordBase + static_cast<UINT>(op)).c_str()));
  SendDlgItemMessageA(dialog, kFilterOperator, CB_SETCURSEL, 0, 0);
  SendDlgItemMessageA(dialog, kFilterValue, EM_LIMITTEXT, kConditionValueSize - 1, 0);
  CheckDlgButton(dialog, kFilterAnd, BST_CHECKED);
  ShowRows(dialog, s, s->rows.empty() ? -1 : 0);
  LoadRow(dialog, s, 0);
}

}  // namespace

INT_PTR FilterDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
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
        case kFilterRows:
          if (code == LBN_SELCHANGE) {
            LoadRow(dialog, s, SelectedRow(dialog));
            ShowRows(dialog, s, SelectedRow(dialog));
            ClearCheckText(dialog);
          }
          return TRUE;
        case kFilterField:
        case kFilterOperator:
          // The refusal shown was of the entry the user now changes.
          if (code != CBN_SELCHANGE) break;
          ClearCheckText(dialog);
          return TRUE;
        case kFilterAdd: {
          SelectConditionRow row;
          if (!RowFromEntry(dialog, s, &row, s->rows.empty()) || !RowAccepted(dialog, s, row)) return TRUE;
          s->rows.push_back(row);
          ShowRows(dialog, s, static_cast<int>(s->rows.size()) - 1);
          return TRUE;
        }
        case kFilterReplace: {
          const int i = SelectedRow(dialog);
          SelectConditionRow row;
          if (i < 0 || !RowFromEntry(dialog, s, &row, i == 0) || !RowAccepted(dialog, s, row)) return TRUE;
          row.open = s->rows[static_cast<size_t>(i)].open;
          row.close = s->rows[static_cast<size_t>(i)].close;
          s->rows[static_cast<size_t>(i)] = row;
          ShowRows(dialog, s, i);
          return TRUE;
        }
        case kFilterDelete: {
          const int i = SelectedRow(dialog);
          if (i < 0) return TRUE;
          s->rows.erase(s->rows.begin() + i);
          if (!s->rows.empty()) s->rows.front().joining = 0;
          ShowRows(dialog, s, i);
          ClearCheckText(dialog);
          return TRUE;
        }
        case kFilterClear:
          s->rows.clear();
          ShowRows(dialog, s, -1);
          ClearCheckText(dialog);
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

INT_PTR RunFilterDialog(HWND owner, FilterDialogParams* params) {
  State s;
  s.p = params;
  params->changed = false;
  return params->doc->DoModalDialog(owner, FilterDlgProc, "DFilter", reinterpret_cast<LPARAM>(&s));
}
