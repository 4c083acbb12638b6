#include "dialogs/total_field_dialogs.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/doc_base.h"
#include "expr/compiler.h"
#include "foundation/dialog_runner.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"
#include "model/field_dependencies.h"
#include "core/fields.h"
#include "platform/win/dialog.h"

namespace {

constexpr uint32_t kStrGrandTotal = 6020;
constexpr uint32_t kStrPageTotal = 6021;
constexpr uint32_t kStrGroupEntry = 6022;
constexpr uint32_t kStrResetInconsistent = 6023;
constexpr uint32_t kStrNamedError = 6024;
constexpr int kFromList = 200;
constexpr int kToList = 201;
constexpr int kHelpButton = 300;
constexpr WORD kBatchResetHelp = 1087;
constexpr int kPageTotalLineControl = 27;
constexpr int kRunningTotalFilter = 61;

int LevelRank(uint8_t level) {
  if (level == kResetGrand) return 0;
  if (level == kResetPage) return 1;
  return level + 2;
}

void FillLevelList(CKmComposite* m, HWND dialog, int id) {
  SendDlgItemMessageA(dialog, id, CB_RESETCONTENT, 0, 0);
  SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(GetResString(kStrGrandTotal, 0)));
  SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(GetResString(kStrPageTotal, 0)));
  for (int level = 0; level < 8; ++level) {
    const FieldDef* g = m->groupFields[level] != kNoField ? m->GetFieldAt(m->groupFields[level]) : nullptr;
    char entry[160];
    std::snprintf(entry, sizeof entry, GetResString(kStrGroupEntry, 0), level + 1, g ? g->name : "");
    SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
  }
  SendDlgItemMessageA(dialog, id, CB_SETCURSEL, 0, 0);
}

void ShowError(BatchResetParams* p, const std::string& text) {
  if (p->showError) p->showError(p->model, text.c_str());
  else if (p->doc) p->doc->ErrorBox(text.c_str());
}

// The first reason the total cannot move to the level, or empty.
std::string MoveRefusal(BatchResetParams* p, FieldDef* total, uint8_t to) {
  CKmComposite* m = p->model;
  if (to == kResetPage && p->onBandLines && p->onBandLines(m, total)) return CompileErrorText(kPageTotalLineControl);
  const FieldDef* source = m->GetFieldAt(total->refField);
  if (source && !CheckResetLevel(m, to, source)) {
    char text[200];
    std::snprintf(text, sizeof text, GetResString(kStrResetInconsistent, 0), source->name);
    return text;
  }
  // Each total's own kind decides whether a grand total escapes the filter check.
  const bool exempt = to == kResetGrand && (total->totalFunction == kTotalCount || total->totalFunction == kTotalSum);
  if (!(total->totalFlags & kTotalPreprocessed) && !exempt && p->filterDependsOn && p->filterDependsOn(m, total))
    return CompileErrorText(kRunningTotalFilter);
  return std::string();
}

}  // namespace

uint32_t NextAutoTotalNumber(AutoTotalNumbering* n) {
  if (n->high == 0) {
    n->low = n->high = n->next;
    return n->next++;
  }
  if (n->next < n->low) return n->next++;
  if (n->high < 99999) {
    ++n->high;
    n->next = n->high + 1;
    return n->high;
  }
  return 0;
}

bool CanAllocateAutoNumbers(const AutoTotalNumbering& n, int count) {
  AutoTotalNumbering trial = n;
  for (int i = 0; i < count; ++i)
    if (NextAutoTotalNumber(&trial) == 0) return false;
  return true;
}

void NoteAutoTotalName(AutoTotalNumbering* n, const char* name) {
  static const char kPrefix[] = "TOTAL";
  for (int i = 0; i < 5; ++i) {
    char c = name[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (c != kPrefix[i]) return;
  }
  uint32_t value = 0;
  for (int i = 5; i < 10; ++i) {
    if (name[i] < '0' || name[i] > '9') return;
    value = value * 10 + static_cast<uint32_t>(name[i] - '0');
  }
  if (value == 0) return;
  if (n->high == 0) n->low = n->high = value;
  else if (value < n->low) n->low = value;
  else if (value > n->high) n->high = value;
}

bool IsTotalableField(const FieldDef* f, uint8_t kind) {
  if (f->flags & (kFieldPageNumber | kFieldMemo)) return false;
  if (f->flags2 & kField2NotInTable) return false;
  const bool needsNumber = kind == kTotalSum || kind == kTotalAverage || kind == kTotalStdDeviation ||
                           kind == kTotalVariance;
  return !needsNumber || (f->flags & (kFieldNumeric | kFieldLogical));
}

bool CheckResetLevel(CKmComposite* m, uint8_t level, const FieldDef* source) {
  const FieldDef* base = source;
  for (uint32_t guard = 0; base && !IsTotalNotAlias(base) && (base->flags & kFieldTotalRelated) && guard <= m->fieldCount;
       ++guard)
    base = base->refField != kNoField ? m->GetFieldAt(base->refField) : nullptr;
  if (!IsTotalNotAlias(base)) return true;
  return LevelRank(level) <= LevelRank(base->totalReset);
}

void SetTotalFormat(FieldDef* total, const FieldDef* source, uint8_t kind) {
  const bool minMax = kind == kTotalMinimum || kind == kTotalMaximum;
  if (kind == kTotalCount || (!minMax && (source->flags & kFieldLogical))) {
    total->formatCode = 0x3005;
    total->timeFormat = 0;
    total->displayDecimals = 0;
    total->displayWidth = 3;
    return;
  }
  total->formatCode = source->formatCode;
  total->timeFormat = source->timeFormat;
  total->displayDecimals = source->displayDecimals;
  total->displayWidth = source->displayWidth;
  if (kind == kTotalSum && source->displayWidth + source->displayDecimals < 20) ++total->displayWidth;
}

uint8_t ResetLevelOfEntry(int entry) {
  if (entry <= 0) return kResetGrand;
  if (entry == 1) return kResetPage;
  return static_cast<uint8_t>(entry - 2);
}

INT_PTR BatchResetDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* p = reinterpret_cast<BatchResetParams*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      p = reinterpret_cast<BatchResetParams*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      if (p->doc) p->doc->CenterDialogOnOwner(dialog);
      FillLevelList(p->model, dialog, kFromList);
      FillLevelList(p->model, dialog, kToList);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK: {
          CKmComposite* m = p->model;
          const uint8_t from = ResetLevelOfEntry(static_cast<int>(SendDlgItemMessageA(dialog, kFromList, CB_GETCURSEL, 0, 0)));
          const uint8_t to = ResetLevelOfEntry(static_cast<int>(SendDlgItemMessageA(dialog, kToList, CB_GETCURSEL, 0, 0)));
          bool any = false;
          for (FieldDef* f = m->fieldList; f; f = f->next) {
            if (!IsTotalNotAlias(f) || f->totalReset != from) continue;
            any = true;
            const std::string why = MoveRefusal(p, f, to);
            if (!why.empty()) {
              char text[400];
              std::snprintf(text, sizeof text, GetResString(kStrNamedError, 0), f->name, why.c_str());
              ShowError(p, text);
              return TRUE;
            }
          }
          if (any && from != to) {
            for (FieldDef* f = m->fieldList; f; f = f->next)
              if (IsTotalNotAlias(f) && f->totalReset == from) {
                f->totalReset = to;
                CheckFieldRemoval(m, f);
              }
            ClearFieldMarks(m, false);
            if (FieldDef* bad = PropagateFieldDependencies(m)) ReportEvaluationOrderError(m, bad);
            CheckPreprocessedTotals(m);
            p->modified = true;
          }
          EndDialog(dialog, IDOK);
          return TRUE;
        }
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        case kHelpButton:
          if (p && p->doc) p->doc->ShowDialogHelp(dialog, kBatchResetHelp);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

INT_PTR OpenBatchResetDialog(HWND owner, BatchResetParams* params) {
  return params->doc->DoModalDialog(owner, BatchResetDialogProc, "DBATRESET", reinterpret_cast<LPARAM>(params));
}
