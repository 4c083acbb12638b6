#include "dialogs/user_function_dialog.h"

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
// The editor's controls (the calculated-field editor's template).
constexpr int kHeadingEdit = 200;
constexpr int kBodyEdit = 201;
constexpr int kVerifyButton = 202;
constexpr int kMaxHeading = kUdfHeadingMax;

void ShowCode(UserFunctionDialogParams* p, int code, const char* culprit) {
  p->lastError = code;
  if (p->showError) {
    p->showError(p->model, code, culprit);
    return;
  }
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
  UserFunctionEditParams edit;
  edit.list = p;
  edit.node = node;
  if (p->doc->DoModalDialog(dialog, UserFunctionEditProc, "DCalcUDF", reinterpret_cast<LPARAM>(&edit)) == IDOK)
    p->changed = true;
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

std::string Trimmed(const char* text) {
  std::string s = text ? text : "";
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

bool EditOk(HWND dialog, UserFunctionEditParams* e) {
  UserFunctionDialogParams* p = e->list;
  char heading[kMaxHeading + 2] = {};
  std::vector<char> body(kMaxExpressionBuffer + 1);
  GetDlgItemTextA(dialog, kHeadingEdit, heading, sizeof heading);
  GetDlgItemTextA(dialog, kBodyEdit, body.data(), static_cast<int>(body.size()));
  CalcDefRequest r;
  r.kind = kCalcKindFunction;
  r.name = heading;
  r.text = body.data();
  r.function = e->node;
  uint32_t count = 0;
  const int rc = DefineCalcField(p->model, &r, &count, &e->pending);
  if (rc) {
    ShowCode(p, rc, r.culprit);
    SetFocus(GetDlgItem(dialog, rc >= 46 && rc <= 53 ? kHeadingEdit : kBodyEdit));
    return false;
  }
  if (count && !ConfirmEditUsers(p->model, e->node ? e->node->name : heading, nullptr)) {
    CancelCalcDefinition(p->model, &r, &e->pending);
    return false;
  }
  CommitCalcDefinition(p->model, dialog, &r, &e->pending);
  e->node = r.function;
  return true;
}

}  // namespace

INT_PTR UserFunctionEditProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* e = reinterpret_cast<UserFunctionEditParams*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      e = reinterpret_cast<UserFunctionEditParams*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      SetWindowTextA(dialog, "User Function");
      SetDlgItemTextA(dialog, 210, "&Heading:");
      SetDlgItemTextA(dialog, 211, "&Body:");
      SendDlgItemMessageA(dialog, kHeadingEdit, EM_LIMITTEXT, kMaxHeading, 0);
      SendDlgItemMessageA(dialog, kBodyEdit, EM_LIMITTEXT, kMaxExpressionBuffer, 0);
      // Verify tries calculated fields only; a function is tried by OK.
      EnableWindow(GetDlgItem(dialog, kVerifyButton), FALSE);
      if (e->node) {
        SetDlgItemTextA(dialog, kHeadingEdit, Trimmed(e->node->heading).c_str());
        SetDlgItemTextA(dialog, kBodyEdit, Trimmed(e->node->body).c_str());
      }
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          if (EditOk(dialog, e)) EndDialog(dialog, IDOK);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

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
