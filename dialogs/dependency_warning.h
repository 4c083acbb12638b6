// The dependency warning: the fields a change removes or breaks, shown before
// the user agrees to the change.
#pragma once

#include "model/field_dependencies.h"
#include "platform/win/window.h"

class KmDocBase;
class CKmComposite;

// Kinds the callers pass.
constexpr int kWarnRelationChange = 2;
constexpr int kWarnRelationRemoval = 3;
constexpr int kWarnMasterChange = 4;
constexpr int kWarnPurge = 9;

struct DependencyWarningParams {
  int kind = 0;
  const DependencyWarning* warning = nullptr;
  KmDocBase* doc = nullptr;  // its charts are listed by title
};

INT_PTR DependencyWarningDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void SetDependencyWarningText(HWND dialog, const char* text);
void AddDependencyWarningItem(HWND dialog, const char* text);
void AddDependencyWarningDetail(HWND dialog, const char* text);
// Positive for OK, 0 or less for Cancel.
INT_PTR RunDependencyWarning(KmDocBase* doc, HWND owner, int kind, const DependencyWarning& warning);
// Makes the model's confirmations ask through this dialog on the document.
void InstallDependencyWarningDialog(KmDocBase* doc);
