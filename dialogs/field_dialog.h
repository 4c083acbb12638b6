// The Calculations menu's field lists: the report's calculated fields or its
// totals with New, Edit and Delete, each opening that kind's own editor; the
// user functions have their own list.
#pragma once

#include "platform/win/window.h"

class CKmComposite;
class KmDocBase;
struct FieldDef;

constexpr int kFieldDialogTotals = 0;
constexpr int kFieldDialogCalculated = 1;
constexpr int kFieldDialogFunctions = 8;

// What the lists need from the program: the total dialog with the
// document's checks (total null: New Total); true when it changed the model.
struct FieldDialogHooks {
  bool (*editTotal)(KmDocBase* doc, HWND owner, FieldDef* total) = nullptr;
  // After a change: the views, the Insert Field palette and the modified flag.
  void (*changed)(KmDocBase* doc) = nullptr;
};

// Control ids of template DFieldList.
enum : int { kFieldListBoxId = 300, kFieldNewButton = 301, kFieldEditButton = 302, kFieldDeleteButton = 303 };

// Runs the list of kind 0 (totals), 1 (calculated fields) or 8 (user
// functions); IDOK when something changed.
INT_PTR RunFieldDialog(KmDocBase* doc, HWND owner, int kind, const FieldDialogHooks& hooks);
// Removes a calculated or total field and whatever uses it, after the user
// has seen the list of users; false when refused or declined.
bool DeleteCalculation(KmDocBase* doc, FieldDef* field);
