// New Total, Edit Total and Auto Total: one dialog procedure defines a total
// field (its kind, source, reset level, accumulation, processing and
// condition) or, in Auto Total, one total for each selected field item.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dialogs/total_field_dialogs.h"
#include "platform/win/window.h"

class CKmComposite;
class KmDocBase;
struct FieldDef;

constexpr uint8_t kAccumulateEvery = 253;
constexpr uint8_t kAccumulatePage = 254;
constexpr uint8_t kAccumulateReport = 255;

struct TotalDialogParams {
  KmDocBase* doc = nullptr;
  CKmComposite* model = nullptr;
  FieldDef* total = nullptr;            // the total edited; null for a new one
  FieldDef* selectedField = nullptr;    // the single selected layout field, if any
  std::vector<FieldDef*> items;         // Auto Total: the selected field items
  AutoTotalNumbering* numbering = nullptr;
  // The total is placed on a band line (it cannot then be a page total).
  bool (*onBandLines)(CKmComposite* m, const FieldDef* total) = nullptr;
  // The record filter would become invalid with the total running.
  bool (*filterDependsOn)(CKmComposite* m, const FieldDef* total) = nullptr;
  void (*showError)(CKmComposite* m, const char* text) = nullptr;
  // Auto Total: inserts a line at the end of the band for the reset level and
  // returns it; -1 when no line can be made. removeTotalLine takes it back.
  int (*insertTotalLine)(CKmComposite* m, uint8_t reset) = nullptr;
  void (*removeTotalLine)(CKmComposite* m, int line) = nullptr;
  // The status-bar prompt for the source field.
  void (*prompt)(CKmComposite* m, const FieldDef* source) = nullptr;

  // Out. After IDOK the caller sizes each total in made (and the edited one)
  // to its text, gives new ones their font, updates the views, rebuilds the
  // item order after Auto Total and tells the Insert Field palette.
  bool modified = false;
  FieldDef* lastDefined = nullptr;
  std::vector<FieldDef*> made;  // the totals OK made (Auto Total: in item order)
};

INT_PTR TotalDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// New Total or Edit Total (template DFLDTOT).
INT_PTR OpenTotalDialog(HWND owner, TotalDialogParams* params);
// Auto Total (template DAUTOTOT) over params->items.
INT_PTR OpenAutoTotalDialog(HWND owner, TotalDialogParams* params);

// True when Auto Total can run over the selection: at least one item, every
// item a field that is neither page-number-related nor Memo, automatic
// numbers free for all of them, and room for one more band line.
bool CheckAutoTotalSelection(const std::vector<FieldDef*>& fields, int otherSelected,
                             const AutoTotalNumbering& numbering, bool bandLineRoom);
// The field a new total proposes: the one selected field (its source when it is an alias).
FieldDef* GetSelectedTotalField(CKmComposite* m, const std::vector<FieldDef*>& fields, int otherSelected);
int CountTotalableFields(CKmComposite* m, uint8_t kind);
bool AnySelectedNotTotalable(const std::vector<FieldDef*>& fields, uint8_t kind);
// The accumulation a source implies: end of report over a grand total,
// once per page or group over a page or group total, else every record.
uint8_t ImpliedAccumulation(CKmComposite* m, const FieldDef* source);
// A page-number-related field among the source and the totals it rests on.
bool PageNumberInSourceChain(CKmComposite* m, const FieldDef* source);
