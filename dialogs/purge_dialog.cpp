#include "dialogs/purge_dialog.h"

#include "foundation/doc_base.h"
#include "foundation/dialog_runner.h"
#include "core/composite.h"
#include "core/engine_errors.h"
#include "model/field_dependencies.h"
#include "core/fields.h"
#include "platform/win/dialog.h"

namespace {

constexpr int kCalculatedBox = 200;
constexpr int kTotalsBox = 201;
constexpr int kHelpButton = 300;
constexpr WORD kPurgeHelpContext = 1026;

bool IsUnusedOfKinds(const FieldDef* f, int kinds) {
  if ((f->flags & kFieldAlias) || (f->flags & kFieldNeeded)) return false;
  if ((kinds & kPurgeCalculated) && (f->flags & kFieldCalculation)) return true;
  if ((kinds & kPurgeTotals) && (f->totalFlags & kTotalIsTotal)) return true;
  return false;
}

}  // namespace

int PurgeUnusedCalcs(CKmComposite* m, void (*rebuild)(CKmComposite* m)) {
  if (rebuild) rebuild(m);
  int kinds = 0;
  for (FieldDef* f = m->fieldList; f; f = f->next) {
    if (IsUnusedOfKinds(f, kPurgeCalculated)) kinds |= kPurgeCalculated;
    if (IsUnusedOfKinds(f, kPurgeTotals)) kinds |= kPurgeTotals;
  }
  return kinds;
}

int MarkUnusedCalcs(CKmComposite* m, int kinds) {
  ClearRemovalMarks(m);
  for (FieldDef* f = m->fieldList; f; f = f->next)
    if (IsUnusedOfKinds(f, kinds)) f->flags |= kFieldRemoveMark;
  const int rc = CheckRemoval(m);
  if (rc) ClearRemovalMarks(m);
  return rc;
}

void ClearRemovalMarks(CKmComposite* m) { ClearFieldMarks(m, false); }

void DeleteMarkedCalcs(CKmComposite* m) {
  DeleteMarkedFields(m);
  if (FieldDef* bad = PropagateFieldDependencies(m)) ReportEvaluationOrderError(m, bad);
  ClearRemovalMarks(m);
}

INT_PTR PurgeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* p = reinterpret_cast<PurgeDialogParams*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      p = reinterpret_cast<PurgeDialogParams*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      if (p->doc) p->doc->CenterDialogOnOwner(dialog);
      const int kinds = PurgeUnusedCalcs(p->model, p->rebuildRunLists);
      EnableWindow(GetDlgItem(dialog, kCalculatedBox), (kinds & kPurgeCalculated) ? TRUE : FALSE);
      EnableWindow(GetDlgItem(dialog, kTotalsBox), (kinds & kPurgeTotals) ? TRUE : FALSE);
      CheckDlgButton(dialog, kCalculatedBox, BST_UNCHECKED);
      CheckDlgButton(dialog, kTotalsBox, BST_UNCHECKED);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK: {
          int kinds = 0;
          if (IsDlgButtonChecked(dialog, kCalculatedBox) == BST_CHECKED) kinds |= kPurgeCalculated;
          if (IsDlgButtonChecked(dialog, kTotalsBox) == BST_CHECKED) kinds |= kPurgeTotals;
          if (kinds == 0) {
            EndDialog(dialog, IDOK);
            return TRUE;
          }
          const int rc = MarkUnusedCalcs(p->model, kinds);
          if (rc) {
            // A linking field would go: say so and let the user choose again.
            p->model->ShowEngineError(rc);
            return TRUE;
          }
          const bool go = ConfirmRemoveUsers(p->model, "purge");
          if (!go) {
            ClearRemovalMarks(p->model);
            return TRUE;
          }
          if (p->doc) p->doc->SetWaitCursor(1);
          DeleteMarkedCalcs(p->model);
          if (p->doc) p->doc->SetWaitCursor(0);
          p->modified = true;
          EndDialog(dialog, IDOK);
          return TRUE;
        }
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        case kHelpButton:
          if (p && p->doc) p->doc->ShowDialogHelp(dialog, kPurgeHelpContext);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

INT_PTR RunPurgeDialog(HWND owner, PurgeDialogParams* params) {
  return params->doc->DoModalDialog(owner, PurgeDialogProc, "DPURGE", reinterpret_cast<LPARAM>(params));
}
