#include "dialogs/dependency_warning.h"

#include <string>

#include "charts/chart.h"
#include "core/composite.h"
#include "foundation/doc_base.h"
#include "expr/compiler.h"
#include "foundation/dialog_runner.h"
#include "foundation/heap_strings.h"
#include "platform/win/dialog.h"

namespace {

constexpr int kTextControl = 200;
constexpr int kUsersList = 201;
constexpr int kChartsList = 202;

KmDocBase* g_warningDoc = nullptr;

bool AskThroughDialog(CKmComposite*, const DependencyWarning& warning) {
  if (!g_warningDoc) return true;
  return RunDependencyWarning(g_warningDoc, g_warningDoc->GetOwnerWindow(), 0, warning) > 0;
}

void ListChartsOfRemovedFields(HWND dialog, KmDocBase* doc) {
  CKmComposite* m = doc ? doc->m_pModel : nullptr;
  if (m == nullptr || doc->m_pLayout == nullptr) return;
  const LayoutTables& t = *doc->m_pLayout;
  for (int i = 0; i < t.charts.Count(); ++i) {
    const CKmChart* c = ChartOf(*t.charts.At(i));
    if (c == nullptr) continue;
    for (uint32_t n : c->UsedFields()) {
      const FieldDef* f = m->GetFieldAt(n);
      if (f == nullptr || !(f->flags & (kFieldRemoveMark | kFieldRemovePropagated))) continue;
      const std::string title = c->GetTitles().empty() ? GetResString(7044, 0) : c->GetTitles();
      AddDependencyWarningDetail(dialog, title.c_str());
      break;
    }
  }
}

}  // namespace

void SetDependencyWarningText(HWND dialog, const char* text) { SetDlgItemTextA(dialog, kTextControl, text); }

void AddDependencyWarningItem(HWND dialog, const char* text) {
  SendDlgItemMessageA(dialog, kUsersList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

void AddDependencyWarningDetail(HWND dialog, const char* text) {
  SendDlgItemMessageA(dialog, kChartsList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

INT_PTR DependencyWarningDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto* p = reinterpret_cast<const DependencyWarningParams*>(lParam);
      if (p && p->warning) {
        SetDependencyWarningText(dialog, p->warning->text.c_str());
        for (const std::string& line : p->warning->lines) AddDependencyWarningItem(dialog, line.c_str());
      }
      // The charts list shows only when a chart uses a field that goes: the
      // titles of the charts that read such a field.
      if (p && p->warning && p->warning->chartUsesField) ListChartsOfRemovedFields(dialog, p->doc);
      ShowWindow(GetDlgItem(dialog, kChartsList), p && p->warning && p->warning->chartUsesField ? SW_SHOW : SW_HIDE);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        EndDialog(dialog, 1);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 0);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

INT_PTR RunDependencyWarning(KmDocBase* doc, HWND owner, int kind, const DependencyWarning& warning) {
  DependencyWarningParams params;
  params.kind = kind;
  params.warning = &warning;
  params.doc = doc;
  return doc->DoModalDialog(owner, DependencyWarningDlgProc, "DDELCON", reinterpret_cast<LPARAM>(&params));
}

void InstallDependencyWarningDialog(KmDocBase* doc) {
  g_warningDoc = doc;
  SetDependencyWarningHook(doc ? AskThroughDialog : nullptr);
}
