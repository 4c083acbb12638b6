// The expression editor: one dialog for a calculated field, a user function
// and a total's condition. The expression is typed or built from the field,
// function and operator lists; Verify compiles it and, when it fails, shows
// the compiler's message and puts the caret where the compiler stopped. OK
// checks the definition, asks about the fields it would break, and commits
// it; nothing that does not compile is stored.
#pragma once

#include <cstdint>
#include <string>

#include "model/calc_fields.h"
#include "platform/win/window.h"

class CKmComposite;
class KmDocBase;
struct FieldDef;
struct UdfNode;

// What the editor defines.
enum CalcEditorKind : int { kEditCalcField = 1, kEditTotalCondition = 3, kEditUserFunction = 8 };

struct CalcFieldDialogParams {
  KmDocBase* doc = nullptr;
  CKmComposite* model = nullptr;
  int kind = kEditCalcField;
  // kEditCalcField: the field edited, null for a new one; out: the committed field.
  FieldDef* field = nullptr;
  // kEditUserFunction: the function edited, null for a new one; out: the
  // committed node. The user-function library must be open for writing.
  UdfNode* function = nullptr;
  // kEditTotalCondition: the condition text, in and out (blank: no condition).
  std::string* condition = nullptr;
  int lastError = 0;         // out: the last code shown
  uint32_t errorOffset = 0;  // out: where the last failed compile stopped
  bool changed = false;      // out
  // The definition between OK's check and its commit or cancel.
  PendingCalcDefinition pending;
};

// Control ids of template DCalcUDF.
enum : int {
  kCalcNameEdit = 200, kCalcTextEdit = 201, kCalcVerify = 202, kCalcFieldList = 203, kCalcFunctionList = 204,
  kCalcOperatorList = 205, kCalcSyntaxLine = 206, kCalcMessageLine = 207, kCalcPaste = 208,
  kCalcNameLabel = 210, kCalcTextLabel = 211
};

INT_PTR CalcFieldDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR RunCalcFieldDialog(HWND owner, CalcFieldDialogParams* params);
