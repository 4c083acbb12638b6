#include "dialogs/field_dialog.h"

#include <cstdio>
#include <string>

#include "core/composite.h"
#include "core/fields.h"
#include "dialogs/calc_field_dialog.h"
#include "dialogs/field_list_box.h"
#include "dialogs/user_function_dialog.h"
#include "foundation/dialog_runner.h"
#include "foundation/doc_base.h"
#include "foundation/message_dialog.h"
#include "model/field_dependencies.h"
#include "platform/win/dialog.h"
#include "platform/win/resources.h"

namespace {

constexpr UINT kStrCalculatedFields = 18610, kStrTotalFields = 18611, kStrConfirmDelete = 18613;
constexpr int kRemovalRefused = 3126;

struct State {
  KmDocBase* doc = nullptr;
  int kind = kFieldDialogCalculated;
  const FieldDialogHooks* hooks = nullptr;
  bool changed = false;
};

bool IsCalculated(const FieldDef* f, void*) {
  return (f->flags & kFieldCalculation) && !(f->flags & kFieldAlias) && !IsTotal(f);
}
bool IsTotalField(const FieldDef* f, void*) { return IsTotal(f) && !(f->flags & kFieldAlias); }

void Fill(HWND dialog, State* s, const char* select) {
  FillFieldListBox(dialog, kFieldListBoxId, s->doc->m_pModel, select,
                   s->kind == kFieldDialogTotals ? IsTotalField : IsCalculated, nullptr);
  if (SendDlgItemMessageA(dialog, kFieldListBoxId, LB_GETCURSEL, 0, 0) < 0)
    SendDlgItemMessageA(dialog, kFieldListBoxId, LB_SETCURSEL, 0, 0);
  const bool any = SendDlgItemMessageA(dialog, kFieldListBoxId, LB_GETCOUNT, 0, 0) > 0;
  EnableWindow(GetDlgItem(dialog, kFieldEditButton), any);
  EnableWindow(GetDlgItem(dialog, kFieldDeleteButton), any);
}

void Changed(State* s) {
  s->changed = true;
  if (s->hooks->changed) s->hooks->changed(s->doc);
}

void Edit(HWND dialog, State* s, FieldDef* field) {
  FieldDef* result = field;
  bool changed = false;
  if (s->kind == kFieldDialogTotals) {
    changed = s->hooks->editTotal && s->hooks->editTotal(s->doc, dialog, field);
  } else {
    CalcFieldDialogParams p;
    p.doc = s->doc;
    p.model = s->doc->m_pModel;
    p.kind = kEditCalcField;
    p.field = field;
    changed = RunCalcFieldDialog(dialog, &p) == IDOK && p.changed;
    result = p.field;
    // A new field waits in the Insert Field palette until the user places it.
    if (changed && field == nullptr && result != nullptr) result->head.flags &= ~kItemKindField;
  }
  if (changed) Changed(s);
  Fill(dialog, s, result ? result->name : nullptr);
}

void Delete(HWND dialog, State* s) {
  FieldDef* f = GetListedField(dialog, kFieldListBoxId, -1);
  if (f == nullptr) return;
  if (DeleteCalculation(s->doc, f)) Changed(s);
  Fill(dialog, s, nullptr);
}

INT_PTR FieldListProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* s = reinterpret_cast<State*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      s = reinterpret_cast<State*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      SetWindowTextA(dialog,
                     LoadResString(s->kind == kFieldDialogTotals ? kStrTotalFields : kStrCalculatedFields).c_str());
      SubclassFieldList(GetDlgItem(dialog, kFieldListBoxId));
      Fill(dialog, s, nullptr);
      return TRUE;
    case WM_COMMAND:
      if (s == nullptr) break;
      switch (LOWORD(wParam)) {
        case kFieldNewButton:
          Edit(dialog, s, nullptr);
          return TRUE;
        case kFieldEditButton:
          if (FieldDef* f = GetListedField(dialog, kFieldListBoxId, -1)) Edit(dialog, s, f);
          return TRUE;
        case kFieldListBoxId:
          if (HIWORD(wParam) == LBN_DBLCLK)
            if (FieldDef* f = GetListedField(dialog, kFieldListBoxId, -1)) Edit(dialog, s, f);
          return TRUE;
        case kFieldDeleteButton:
          Delete(dialog, s);
          return TRUE;
        case IDOK:
        case IDCANCEL:
          EndDialog(dialog, s->changed ? IDOK : IDCANCEL);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

bool DeleteCalculation(KmDocBase* doc, FieldDef* field) {
  CKmComposite* m = doc->m_pModel;
  ClearFieldMarks(m, false);
  field->flags |= kFieldRemoveMark;
  if (CheckRemoval(m) == kRemovalRefused) {
    m->ShowEngineError(kRemovalRefused);
    ClearFieldMarks(m, false);
    return false;
  }
  PropagateRemoval(m, false);
  bool go;
  if (CountFieldsToRemove(m) > 1) {
    go = ConfirmRemoveUsers(m, field->name);
  } else {
    char question[300];
    std::snprintf(question, sizeof question, LoadResString(kStrConfirmDelete).c_str(), field->name);
    go = doc->ShowMessageDialog(doc->GetOwnerWindow(), question, doc->GetAppCaption(), kMsgOkCancel) == IDOK;
  }
  if (!go) {
    ClearFieldMarks(m, false);
    return false;
  }
  DeleteMarkedFields(m);
  return true;
}

INT_PTR RunFieldDialog(KmDocBase* doc, HWND owner, int kind, const FieldDialogHooks& hooks) {
  if (doc == nullptr || doc->m_pModel == nullptr) return IDCANCEL;
  if (kind == kFieldDialogFunctions) {
    UserFunctionDialogParams p;
    p.doc = doc;
    p.model = doc->m_pModel;
    const INT_PTR result = RunUserFunctionDialog(owner, &p);
    if (p.changed && hooks.changed) hooks.changed(doc);
    return p.changed ? INT_PTR{IDOK} : result;
  }
  State s;
  s.doc = doc;
  s.kind = kind;
  s.hooks = &hooks;
  doc->DoModalDialog(owner, FieldListProc, "DFieldList", reinterpret_cast<LPARAM>(&s));
  return s.changed ? IDOK : IDCANCEL;
}
