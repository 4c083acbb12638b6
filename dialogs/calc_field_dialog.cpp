#include "dialogs/calc_field_dialog.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/composite.h"
#include "core/fields.h"
#include "dialogs/field_list_box.h"
#include "expr/builtin_table.h"
#include "expr/compiler.h"
#include "expr/compiler_state.h"
#include "expr/udf.h"
#include "foundation/dialog_runner.h"
#include "foundation/doc_base.h"
#include "model/field_dependencies.h"
#include "platform/win/dialog.h"
#include "platform/win/resources.h"

namespace {

constexpr int kMaxNameLength = 128;
constexpr UINT kStrNameRequired = 6107;  // "Field name required"
constexpr UINT kStrCaptionField = 18600, kStrCaptionFunction = 18601, kStrCaptionCondition = 18602;
constexpr UINT kStrName = 18603, kStrExpression = 18604, kStrHeading = 18605, kStrBody = 18606;
constexpr UINT kStrCondition = 18607, kStrValid = 18608, kStrAtCharacter = 18609;

// The operators the lists offer; the logical words come from the language's own.
constexpr const char* kOperators[] = {"+", "-", "*", "/", "^", "%", "=", "<>", "<", "<=", ">", ">=", "$", "(", ")"};

struct State {
  CalcFieldDialogParams* p = nullptr;
  int lastList = kCalcFieldList;  // the list Paste takes its piece from
};

State* StateOf(HWND dialog) { return reinterpret_cast<State*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

std::string Trimmed(const char* text) {
  std::string s = text ? text : "";
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string Text(HWND dialog, int id, size_t limit) {
  std::vector<char> buffer(limit + 2);
  GetDlgItemTextA(dialog, id, buffer.data(), static_cast<int>(buffer.size()));
  return buffer.data();
}

// The message goes over the editor, so it shows whatever owns the editor.
void ShowCode(HWND dialog, CalcFieldDialogParams* p, int code, const char* culprit) {
  p->lastError = code;
  char text[300];
  std::snprintf(text, sizeof text, CompileErrorText(code), culprit ? culprit : "");
  if (p->doc) p->doc->ErrorBoxOwner(dialog, text);
}

// The compiler's message in the dialog's own line, the caret where it stopped.
void ShowCompileFailure(HWND dialog, CalcFieldDialogParams* p, int code, uint32_t offset, const char* culprit) {
  p->errorOffset = offset;
  char message[300];
  std::snprintf(message, sizeof message, CompileErrorText(code), culprit ? culprit : "");
  char line[400];
  std::snprintf(line, sizeof line, LoadResString(kStrAtCharacter).c_str(), message, offset + 1);
  SetDlgItemTextA(dialog, kCalcMessageLine, line);
  ShowCode(dialog, p, code, culprit);
  if (!IsWindow(dialog)) return;
  HWND edit = GetDlgItem(dialog, kCalcTextEdit);
  SetFocus(edit);
  SendMessageA(edit, EM_SETSEL, offset, offset);
}

// Built-in functions of the language and the installation's user functions, by name.
void FillFunctions(HWND dialog, CKmComposite* m) {
  HWND list = GetDlgItem(dialog, kCalcFunctionList);
  SendMessageA(list, LB_RESETCONTENT, 0, 0);
  const uint32_t last = m->highestBuiltinSlot < static_cast<uint32_t>(kBuiltinSlotCount) ? m->highestBuiltinSlot
                                                                                       : kBuiltinSlotCount - 1;
  for (uint32_t slot = 0; slot <= last; ++slot) {
    const BuiltinFunctionRecord* f = GetBuiltinFunction(slot);
    if (f == nullptr || f->name == nullptr || *f->name == 0 || IsFreeBuiltinSlot(slot)) continue;
    if (SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(f->name)) >= 0)
      continue;
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(f->name));
  }
  for (UdfNode* n = m->udfList; n != nullptr; n = n->next)
    if (n->name && *n->name) SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(n->name));
}

void FillOperators(HWND dialog, CKmComposite* m) {
  HWND list = GetDlgItem(dialog, kCalcOperatorList);
  SendMessageA(list, LB_RESETCONTENT, 0, 0);
  for (const char* op : kOperators) SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(op));
  CompilerState* st = GetCompilerState(m);
  for (int w : {kWordAnd, kWordOr, kWordNot})
    if (!st->words[w].empty()) SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(st->words[w].c_str()));
}

// Every field but the one edited: a field cannot use itself.
bool NotEdited(const FieldDef* f, void* context) {
  return f != static_cast<const FieldDef*>(context) && !(f->flags & kFieldAlias) && f->name[0] != 0;
}

std::string ListText(HWND list, LRESULT index) {
  const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length < 0) return {};
  std::vector<char> text(static_cast<size_t>(length) + 1);
  SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  return text.data();
}

void ShowSyntax(HWND dialog, CalcFieldDialogParams* p, int list) {
  HWND box = GetDlgItem(dialog, list);
  const LRESULT i = SendMessageA(box, LB_GETCURSEL, 0, 0);
  if (i < 0) return;
  if (list == kCalcFunctionList) {
    char prototype[300] = {};
    FormatFunctionPrototype(p->model, ListText(box, i).c_str(), prototype, sizeof prototype);
    SetDlgItemTextA(dialog, kCalcSyntaxLine, prototype);
  } else if (list == kCalcFieldList) {
    FieldDef* f = GetListedField(dialog, kCalcFieldList, static_cast<int>(i));
    SetDlgItemTextA(dialog, kCalcSyntaxLine, f && f->exprText ? Trimmed(f->exprText).c_str() : "");
  }
}

// The chosen list entry goes into the expression at the caret: a field by
// its name, a function as a call with the caret between its parentheses, an
// operator with a blank either side.
void PasteFromList(HWND dialog, int list) {
  HWND box = GetDlgItem(dialog, list);
  const LRESULT i = SendMessageA(box, LB_GETCURSEL, 0, 0);
  if (i < 0) return;
  std::string piece;
  int back = 0;
  if (list == kCalcFieldList) {
    FieldDef* f = GetListedField(dialog, kCalcFieldList, static_cast<int>(i));
    if (f == nullptr) return;
    piece = f->name;
  } else if (list == kCalcFunctionList) {
    piece = ListText(box, i) + "()";
    back = 1;
  } else {
    piece = " " + ListText(box, i) + " ";
  }
  HWND edit = GetDlgItem(dialog, kCalcTextEdit);
  DWORD start = 0, end = 0;
  SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  SetFocus(edit);
  // The focus may move the caret: the selection is put back before the paste.
  SendMessageA(edit, EM_SETSEL, start, end);
  SendMessageA(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(piece.c_str()));
  const DWORD caret = start + static_cast<DWORD>(piece.size()) - static_cast<DWORD>(back);
  SendMessageA(edit, EM_SETSEL, caret, caret);
}

// The request the name and text make, for a check or a trial.
CalcDefRequest Request(CalcFieldDialogParams* p, const std::string& name, const std::string& text) {
  CalcDefRequest r;
  r.text = text.c_str();
  switch (p->kind) {
    case kEditUserFunction:
      r.kind = kCalcKindFunction;
      r.name = name.c_str();
      r.function = p->function;
      break;
    case kEditTotalCondition:
      r.kind = kCalcKindCondition;
      break;
    default:
      r.kind = kCalcKindField;
      r.name = name.c_str();
      r.field = p->field;
      break;
  }
  return r;
}

// A blank condition means none; anything else must compile as a condition.
bool Verify(HWND dialog, CalcFieldDialogParams* p, bool quietWhenValid) {
  const std::string name = Text(dialog, kCalcNameEdit, kUdfHeadingMax);
  const std::string text = Text(dialog, kCalcTextEdit, kMaxExpressionBuffer);
  if (p->kind == kEditTotalCondition && Trimmed(text.c_str()).find_first_not_of(' ') == std::string::npos) return true;
  CalcDefRequest r = Request(p, name, text);
  int rc;
  if (p->kind == kEditUserFunction) {
    // A function is tried by its check, then taken back at once.
    PendingCalcDefinition trial;
    uint32_t count = 0;
    rc = DefineCalcField(p->model, &r, &count, &trial);
    if (rc == 0) CancelCalcDefinition(p->model, &r, &trial);
  } else {
    rc = TrialCompileCalcField(p->model, &r);
  }
  if (rc) {
    ShowCompileFailure(dialog, p, rc, r.errorPosition, r.culprit);
    return false;
  }
  p->lastError = 0;
  if (!quietWhenValid) SetDlgItemTextA(dialog, kCalcMessageLine, LoadResString(kStrValid).c_str());
  return true;
}

bool Ok(HWND dialog, CalcFieldDialogParams* p) {
  if (p->kind == kEditTotalCondition) {
    if (!Verify(dialog, p, true)) return false;
    *p->condition = Trimmed(Text(dialog, kCalcTextEdit, kMaxExpressionBuffer).c_str());
    p->changed = true;
    return true;
  }
  const std::string name = Text(dialog, kCalcNameEdit, kUdfHeadingMax);
  const std::string text = Text(dialog, kCalcTextEdit, kMaxExpressionBuffer);
  // A field needs a name before anything else about it is checked.
  if (p->kind != kEditUserFunction && name.find_first_not_of(' ') == std::string::npos) {
    if (p->doc) p->doc->ErrorBoxOwner(dialog, LoadResString(kStrNameRequired).c_str());
    if (IsWindow(dialog)) SetFocus(GetDlgItem(dialog, kCalcNameEdit));
    return false;
  }
  CalcDefRequest r = Request(p, name, text);
  uint32_t count = 0;
  const int rc = DefineCalcField(p->model, &r, &count, &p->pending);
  if (rc) {
    const bool nameFault = p->kind == kEditUserFunction ? rc >= 46 && rc <= 53 : rc == kCalcBadName || rc == kCalcNameUsed;
    if (nameFault) {
      ShowCode(dialog, p, rc, r.culprit);
      if (IsWindow(dialog)) SetFocus(GetDlgItem(dialog, kCalcNameEdit));
    } else {
      ShowCompileFailure(dialog, p, rc, r.errorPosition, r.culprit);
    }
    return false;
  }
  if (count) {
    const char* subject = p->kind == kEditUserFunction ? (p->function ? p->function->name : name.c_str()) : name.c_str();
    if (!ConfirmEditUsers(p->model, subject, p->kind == kEditCalcField ? r.field : nullptr)) {
      CancelCalcDefinition(p->model, &r, &p->pending);
      return false;
    }
  }
  CommitCalcDefinition(p->model, dialog, &r, &p->pending);
  if (p->kind == kEditUserFunction) p->function = r.function;
  else p->field = r.field;
  p->changed = true;
  return true;
}

void InitDialog(HWND dialog, CalcFieldDialogParams* p) {
  const bool function = p->kind == kEditUserFunction, condition = p->kind == kEditTotalCondition;
  SetWindowTextA(dialog, LoadResString(function ? kStrCaptionFunction : condition ? kStrCaptionCondition
                                                                                  : kStrCaptionField).c_str());
  SetDlgItemTextA(dialog, kCalcNameLabel, LoadResString(function ? kStrHeading : kStrName).c_str());
  SetDlgItemTextA(dialog, kCalcTextLabel,
                  LoadResString(function ? kStrBody : condition ? kStrCondition : kStrExpression).c_str());
  SendDlgItemMessageA(dialog, kCalcNameEdit, EM_LIMITTEXT, function ? kUdfHeadingMax : kMaxNameLength, 0);
  SendDlgItemMessageA(dialog, kCalcTextEdit, EM_LIMITTEXT, kMaxExpressionBuffer, 0);
  // A condition has no name of its own.
  if (condition) {
    ShowWindow(GetDlgItem(dialog, kCalcNameEdit), SW_HIDE);
    ShowWindow(GetDlgItem(dialog, kCalcNameLabel), SW_HIDE);
  }
  FillFieldListBox(dialog, kCalcFieldList, p->model, nullptr, NotEdited, p->field);
  SubclassFieldList(GetDlgItem(dialog, kCalcFieldList));
  FillFunctions(dialog, p->model);
  FillOperators(dialog, p->model);
  if (function && p->function) {
    SetDlgItemTextA(dialog, kCalcNameEdit, Trimmed(p->function->heading).c_str());
    SetDlgItemTextA(dialog, kCalcTextEdit, Trimmed(p->function->body).c_str());
  } else if (condition && p->condition) {
    SetDlgItemTextA(dialog, kCalcTextEdit, p->condition->c_str());
  } else if (p->field) {
    SetDlgItemTextA(dialog, kCalcNameEdit, p->field->name);
    if (p->field->exprText) SetDlgItemTextA(dialog, kCalcTextEdit, Trimmed(p->field->exprText).c_str());
  }
  SetFocus(GetDlgItem(dialog, condition || p->field || p->function ? kCalcTextEdit : kCalcNameEdit));
}

}  // namespace

INT_PTR CalcFieldDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  State* s = StateOf(dialog);
  CalcFieldDialogParams* p = s ? s->p : nullptr;
  switch (message) {
    case WM_INITDIALOG: {
      s = reinterpret_cast<State*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      InitDialog(dialog, s->p);
      return FALSE;
    }
    case WM_COMMAND: {
      if (p == nullptr) break;
      const int id = LOWORD(wParam), code = HIWORD(wParam);
      switch (id) {
        case IDOK:
          if (Ok(dialog, p)) EndDialog(dialog, IDOK);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        case kCalcVerify:
          Verify(dialog, p, false);
          return TRUE;
        case kCalcFieldList:
        case kCalcFunctionList:
        case kCalcOperatorList:
          if (code == LBN_DBLCLK) PasteFromList(dialog, id);
          if (code == LBN_SELCHANGE) {
            s->lastList = id;
            ShowSyntax(dialog, p, id);
          }
          return TRUE;
        case kCalcPaste:
          PasteFromList(dialog, s->lastList);
          return TRUE;
      }
      break;
    }
  }
  return FALSE;
}

INT_PTR RunCalcFieldDialog(HWND owner, CalcFieldDialogParams* params) {
  State s;
  s.p = params;
  params->changed = false;
  return params->doc->DoModalDialog(owner, CalcFieldDlgProc, "DCalcUDF", reinterpret_cast<LPARAM>(&s));
}
