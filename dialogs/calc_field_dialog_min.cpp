#include "dialogs/calc_field_dialog_min.h"

#include <cstdio>
#include <vector>

#include "foundation/doc_base.h"
#include "expr/compiler.h"
#include "foundation/dialog_runner.h"
#include "model/calc_fields.h"
#include "core/composite.h"
#include "model/field_dependencies.h"
#include "core/fields.h"
#include "platform/win/dialog.h"

namespace {

constexpr int kNameEdit = 200;
constexpr int kTextEdit = 201;
constexpr int kVerifyButton = 202;
constexpr int kMaxNameLength = 128;

void Show(CalcFieldDialogParams* p, int code, const char* culprit) {
  p->lastError = code;
  if (p->showError) {
    p->showError(p->model, code, culprit);
    return;
  }
  char text[300];
  std::snprintf(text, sizeof text, CompileErrorText(code), culprit ? culprit : "");
  if (p->doc) p->doc->ErrorBox(text);
}

struct Inputs {
  char name[kMaxNameLength + 2] = {};
  std::vector<char> text = std::vector<char>(kMaxExpressionBuffer + 1);
};

void ReadInputs(HWND dialog, Inputs* in) {
  GetDlgItemTextA(dialog, kNameEdit, in->name, sizeof in->name);
  GetDlgItemTextA(dialog, kTextEdit, in->text.data(), static_cast<int>(in->text.size()));
}

bool Ok(HWND dialog, CalcFieldDialogParams* p) {
  Inputs in;
  ReadInputs(dialog, &in);
  CalcDefRequest r;
  r.kind = kCalcKindField;
  r.name = in.name;
  r.text = in.text.data();
  r.field = p->field;
  uint32_t count = 0;
  const int rc = DefineCalcField(p->model, &r, &count, &p->pending);
  if (rc) {
    Show(p, rc, r.culprit);
    SetFocus(GetDlgItem(dialog, rc == kCalcBadName || rc == kCalcNameUsed ? kNameEdit : kTextEdit));
    return false;
  }
  if (count && !ConfirmEditUsers(p->model, in.name, r.field ? r.field : nullptr)) {
    CancelCalcDefinition(p->model, &r, &p->pending);
    return false;
  }
  CommitCalcDefinition(p->model, dialog, &r, &p->pending);
  p->field = r.field;
  p->changed = true;
  return true;
}

}  // namespace

INT_PTR CalcFieldDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* p = reinterpret_cast<CalcFieldDialogParams*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      p = reinterpret_cast<CalcFieldDialogParams*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      SendDlgItemMessageA(dialog, kNameEdit, EM_LIMITTEXT, kMaxNameLength, 0);
      SendDlgItemMessageA(dialog, kTextEdit, EM_LIMITTEXT, kMaxExpressionBuffer, 0);
      if (p->field) {
        SetDlgItemTextA(dialog, kNameEdit, p->field->name);
        if (p->field->exprText) {
          std::string text = p->field->exprText;
          while (!text.empty() && text.back() == ' ') text.pop_back();
          SetDlgItemTextA(dialog, kTextEdit, text.c_str());
        }
      }
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          if (Ok(dialog, p)) EndDialog(dialog, IDOK);
          return TRUE;
        case kVerifyButton: {
          Inputs in;
          ReadInputs(dialog, &in);
          CalcDefRequest r;
          r.kind = kCalcKindField;
          r.name = in.name;
          r.text = in.text.data();
          r.field = p->field;
          const int rc = TrialCompileCalcField(p->model, &r);
          p->lastError = rc;
          if (rc) Show(p, rc, nullptr);
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

INT_PTR RunCalcFieldDialog(HWND owner, CalcFieldDialogParams* params) {
  return params->doc->DoModalDialog(owner, CalcFieldDlgProc, "DCalcUDF", reinterpret_cast<LPARAM>(params));
}
