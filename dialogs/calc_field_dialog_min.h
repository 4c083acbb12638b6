// The calculated-field editor, as far as the model's changes need it: a name
// and an expression, Verify, and OK running the check, the warning about
// fields that would no longer compile, and the commit or the cancel.
#pragma once

#include <cstdint>

#include "model/calc_fields.h"
#include "platform/win/window.h"

class CKmComposite;
class KmDocBase;
struct FieldDef;

struct CalcFieldDialogParams {
  KmDocBase* doc = nullptr;
  CKmComposite* model = nullptr;
  FieldDef* field = nullptr;  // the field edited; null for a new one; out: the new field
  // Shows the text of a calculation error code (with the culprit for 43 and 54).
  void (*showError)(CKmComposite* m, int code, const char* culprit) = nullptr;
  int lastError = 0;    // out: the last code shown
  bool changed = false; // out
  // The definition between OK's check and its commit or cancel.
  PendingCalcDefinition pending;
};

INT_PTR CalcFieldDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR RunCalcFieldDialog(HWND owner, CalcFieldDialogParams* params);
