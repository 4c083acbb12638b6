// The user-function list: the installation's functions with New, Edit and
// Delete. Each command opens the user-function library for writing first, so
// what is committed goes to kmw.udf at once, and closes it afterwards.
#pragma once

#include "model/calc_fields.h"
#include "platform/win/window.h"

class CKmComposite;
class KmDocBase;
struct UdfNode;

struct UserFunctionDialogParams {
  KmDocBase* doc = nullptr;
  CKmComposite* model = nullptr;
  int lastError = 0;     // out: the last code shown
  bool changed = false;  // out: a function was added, changed or removed
};

INT_PTR UserFunctionListProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Runs the list (the Calculations menu's User Function command).
INT_PTR RunUserFunctionDialog(HWND owner, UserFunctionDialogParams* params);
