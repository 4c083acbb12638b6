#include "dialogs/user_function_dialog.h"

#include "dialogs/calc_field_dialog.h"

#include <cstdio>
#include <string>
#include <vector>

#include "core/composite.h"
#include "expr/compiler.h"
#include "expr/udf.h"
#include "expr/udf_library.h"
#include "foundation/dialog_runner.h"
#include "foundation/doc_base.h"
#include "model/field_dependencies.h"
#include "platform/win/dialog.h"

namespace {

constexpr int kList = 300;
constexpr int kNewButton = 301;
constexpr int kEditButton = 302;
constexpr int kDeleteButton = 303;

void ShowCode(UserFunctionDialogParams* p, int code, const char* culprit) {
  p->lastError = code;
  char text[300];
  std::snprintf(text, sizeof text, CompileErrorText(code), culprit ? culprit : "");
  if (p->doc) p->doc->ErrorBox1("%s", text);
}

void ShowLibraryError(UserFunctionDialogParams* p, int code) {
  if (p->doc) p->doc->ErrorBox1("%s", UdfLibraryErrorText(p->model, code));
}

void FillList(HWND dialog, CKmComposite* m) {
  SendDlgItemMessageA(dialog, kList, LB_RESETCONTENT, 0, 0);
  for (UdfNode* n = m->udfList; n != nullptr; n = n->next) {
    LRESULT i = SendDlgItemMessageA(dialog, kList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(n->name));
    if (i >= 0) SendDlgItemMessageA(dialog, kList, LB_SETITEMDATA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(n));
  }
}

UdfNode* Selected(HWND dialog) {
  LRESULT i = SendDlgItemMessageA(dialog, kList, LB_GETCURSEL, 0, 0);
  if (i == LB_ERR) return nullptr;
  return reinterpret_cast<UdfNode*>(SendDlgItemMessageA(dialog, kList, LB_GETITEMDATA, static_cast<WPARAM>(i), 0));
}

// The library is open for writing from the command's start to its end; a
// library that cannot be written stops the command with its message.
bool OpenLibrary(UserFunctionDialogParams* p) {
  const int rc = LoadUserFunctions(p->model);
  if (rc == kUdfLibOk) return true;
  ShowLibraryError(p, rc);
  SaveUserFunctions(p->model);
  return false;
}

void Edit(HWND dialog, UserFunctionDialogParams* p, UdfNode* node) {
  if (!OpenLibrary(p)) return;
  CalcFieldDialogParams edit;
  edit.doc = p->doc;
  edit.model = p->model;
  edit.kind = kEditUserFunction;
  edit.function = node;
  const INT_PTR result = RunCalcFieldDialog(dialog, &edit);
  p->lastError = edit.lastError;
  if (result == IDOK) p->changed = true;
  SaveUserFunctions(p->model);
  FillList(dialog, p->model);
}

void Delete(HWND dialog, UserFunctionDialogParams* p, UdfNode* node) {
  if (node == nullptr || !OpenLibrary(p)) return;
  CalcDefRequest r;
  r.kind = kCalcKindFunction;
  r.status = 1;
  r.function = node;
  PendingCalcDefinition pending;
  uint32_t count = 0;
  const int rc = DefineCalcField(p->model, &r, &count, &pending);
  if (rc) {
    ShowCode(p, rc, r.culprit);
  } else if (count && !ConfirmRemoveUsers(p->model, node->name)) {
    CancelCalcDefinition(p->model, &r, &pending);
  } else {
    CommitCalcDefinition(p->model, dialog, &r, &pending);
    p->changed = true;
  }
  SaveUserFunctions(p->model);
  FillList(dialog, p->model);
}

}  // namespace

INT_PTR UserFunctionListProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* p = reinterpret_cast<UserFunctionDialogParams*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      p = reinterpret_cast<UserFunctionDialogParams*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      FillList(dialog, p->model);
      SendDlgItemMessageA(dialog, kList, LB_SETCURSEL, 0, 0);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kNewButton:
          Edit(dialog, p, nullptr);
          return TRUE;
        case kEditButton:
          if (UdfNode* n = Selected(dialog)) Edit(dialog, p, n);
          return TRUE;
        case kList:
          if (HIWORD(wParam) == LBN_DBLCLK)
            if (UdfNode* n = Selected(dialog)) Edit(dialog, p, n);
          return TRUE;
        case kDeleteButton:
          Delete(dialog, p, Selected(dialog));
          return TRUE;
        case IDOK:
        case IDCANCEL:
          EndDialog(dialog, p->changed ? IDOK : IDCANCEL);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

INT_PTR RunUserFunctionDialog(HWND owner, UserFunctionDialogParams* params) {
  return params->doc->DoModalDialog(owner, UserFunctionListProc, "DUdfList", reinterpret_cast<LPARAM>(params));
}
