#include "dialogs/total_dialog.h"

#include "dialogs/field_list_box.h"
#include "dialogs/calc_field_dialog.h"

#include <cstdio>
#include <cstring>

#include "foundation/doc_base.h"
#include "expr/code_walks.h"
#include "expr/compiler.h"
#include "foundation/dialog_runner.h"
#include "foundation/heap_strings.h"
#include "model/calc_fields.h"
#include "core/composite.h"
#include "model/field_dependencies.h"
#include "core/fields.h"
#include "platform/win/dialog.h"

namespace {

constexpr int kNameEdit = 200;
constexpr int kSourceList = 201;
constexpr int kResetList = 202;
constexpr int kAccumList = 203;
constexpr int kEndOfReport = 204;
constexpr int kKindFirst = 220;  // Count .. Variance: 220 .. 226
constexpr int kOptionsButton = 230;
constexpr int kRunning = 240;
constexpr int kPreprocessed = 241;
constexpr int kConditionButton = 250;
constexpr int kConditionText = 251;
constexpr int kHelpButton = 300;
constexpr int kOptionsTop = 110;  // dialog units: where the options part starts

constexpr uint32_t kStrGrandTotal = 6020;
constexpr uint32_t kStrPageTotal = 6021;
constexpr uint32_t kStrGroupEntry = 6022;
constexpr uint32_t kStrResetInconsistent = 6023;
constexpr uint32_t kStrNamedError = 6024;
constexpr uint32_t kStrConditionError = 6025;
constexpr uint32_t kStrNewTotal = 6100;
constexpr uint32_t kStrEditTotal = 6101;
constexpr uint32_t kStrEveryComposite = 6102;
constexpr uint32_t kStrOncePerPage = 6103;
constexpr uint32_t kStrSelectField = 6105;
constexpr uint32_t kStrPageNumberSource = 6106;
constexpr uint32_t kStrNameRequired = 6107;
constexpr uint32_t kStrInvalidFrequency = 6108;
constexpr uint32_t kStrAutoName = 6109;
constexpr uint32_t kStrNoFieldMemory = 6110;
constexpr uint32_t kStrNoMemory = 2624;

constexpr WORD kHelpNew = 1013;
constexpr WORD kHelpEdit = 1051;
constexpr WORD kHelpAuto = 1086;
constexpr int kMaxName = 10;
constexpr size_t kConditionBuffer = 513;
constexpr uint32_t kTypeBits = 0x30304;

// What the dialog keeps while it runs.
struct State {
  TotalDialogParams* p = nullptr;
  bool autoTotal = false;
  uint8_t kind = kTotalCount;
  bool countOnly = false;
  bool noPageEntry = false;
  bool optionsShown = false;
  char* condition = nullptr;  // kConditionBuffer bytes
  AutoTotalNumbering savedNumbering;
  std::vector<FieldDef*> created;
  int totalLine = -1;
  bool endOfReportShown = false;
  bool ended = false;  // OK went through: later clicks before the window goes do nothing
};

// The settings OK changes on an edited total, put back when OK is refused.
struct Snapshot {
  uint32_t flags, formatCode, timeFormat, displayWidth, refField;
  uint8_t totalFlags, totalLevel, totalFunction, totalReset, table, displayDecimals, itemWidth;
};
Snapshot Take(const FieldDef* f) {
  return {f->flags,       f->formatCode,    f->timeFormat, f->displayWidth, f->refField,      f->totalFlags,
          f->totalLevel,  f->totalFunction, f->totalReset, f->table,        f->displayDecimals, f->head.width};
}
void Put(FieldDef* f, const Snapshot& s) {
  f->flags = s.flags;
  f->formatCode = s.formatCode;
  f->timeFormat = s.timeFormat;
  f->displayWidth = s.displayWidth;
  f->refField = s.refField;
  f->totalFlags = s.totalFlags;
  f->totalLevel = s.totalLevel;
  f->totalFunction = s.totalFunction;
  f->totalReset = s.totalReset;
  f->table = s.table;
  f->displayDecimals = s.displayDecimals;
  f->head.width = s.itemWidth;
}

std::string Res(uint32_t id) { return GetResString(id, 0); }

bool IsTotalish(const FieldDef* f) { return f && ((f->totalFlags & kTotalIsTotal) || (f->flags & kFieldTotalRelated)); }

FieldDef* Ref(CKmComposite* m, const FieldDef* f) {
  return f->refField != kNoField ? m->GetFieldAt(f->refField) : nullptr;
}

// An alias stands for its own source.
FieldDef* Unalias(CKmComposite* m, FieldDef* f) {
  for (uint32_t guard = 0; f && (f->flags & kFieldAlias) && guard <= m->fieldCount; ++guard) f = Ref(m, f);
  return f;
}

// The total the source rests on: itself, or the first total along its references.
const FieldDef* BaseTotal(CKmComposite* m, const FieldDef* f) {
  for (uint32_t guard = 0; f && !IsTotalNotAlias(f) && (f->flags & kFieldTotalRelated) && guard <= m->fieldCount;
       ++guard)
    f = Ref(m, f);
  return IsTotalNotAlias(f) ? f : nullptr;
}

void ShowText(State* s, const std::string& text) {
  if (s->p->showError) s->p->showError(s->p->model, text.c_str());
  else if (s->p->doc) s->p->doc->ErrorBox(text.c_str());
}

FieldDef* ListSource(HWND dialog, State* s) {
  if (s->autoTotal) return nullptr;
  const LRESULT sel = SendDlgItemMessageA(dialog, kSourceList, LB_GETCURSEL, 0, 0);
  if (sel == LB_ERR) return nullptr;
  const auto n = static_cast<uint32_t>(SendDlgItemMessageA(dialog, kSourceList, LB_GETITEMDATA, static_cast<WPARAM>(sel), 0));
  return s->p->model->GetFieldAt(n);
}

// The field whose behaviour the options follow: the list's, or the first selected item's.
FieldDef* CurrentSource(HWND dialog, State* s) {
  if (!s->autoTotal) return Unalias(s->p->model, ListSource(dialog, s));
  return s->p->items.empty() ? nullptr : Unalias(s->p->model, s->p->items[0]);
}

uint8_t ResetOfEntry(const State* s, LRESULT entry) {
  if (entry <= 0) return kResetGrand;
  if (s->noPageEntry) return static_cast<uint8_t>(entry - 1);
  return entry == 1 ? kResetPage : static_cast<uint8_t>(entry - 2);
}
int EntryOfReset(const State* s, uint8_t reset) {
  if (reset == kResetGrand) return 0;
  if (reset == kResetPage) return s->noPageEntry ? 0 : 1;
  if (reset > 7) return 0;
  return s->noPageEntry ? reset + 1 : reset + 2;
}
uint8_t AccumOfEntry(LRESULT entry) {
  if (entry <= 0) return kAccumulateEvery;
  if (entry >= 9) return kAccumulatePage;
  return static_cast<uint8_t>(entry - 1);
}
int EntryOfAccum(uint8_t a) {
  if (a == kAccumulatePage) return 9;
  if (a <= 7) return a + 1;
  return 0;
}

void AddGroupEntries(CKmComposite* m, HWND dialog, int id) {
  for (int level = 0; level < 8; ++level) {
    const FieldDef* g = m->groupFields[level] != kNoField ? m->GetFieldAt(m->groupFields[level]) : nullptr;
    char entry[160];
    std::snprintf(entry, sizeof entry, Res(kStrGroupEntry).c_str(), level + 1, g ? g->name : "");
    SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
  }
}

bool ResetIsPage(HWND dialog, State* s) {
  return ResetOfEntry(s, SendDlgItemMessageA(dialog, kResetList, CB_GETCURSEL, 0, 0)) == kResetPage;
}

uint8_t ShownAccumulation(HWND dialog, State* s) {
  if (s->autoTotal) return ImpliedAccumulation(s->p->model, CurrentSource(dialog, s));
  if (s->endOfReportShown) return kAccumulateReport;
  return AccumOfEntry(SendDlgItemMessageA(dialog, kAccumList, CB_GETCURSEL, 0, 0));
}

// Pre-processing is impossible for page totals, once-per-page accumulation and
// sources resting on page numbers: Running is then forced.
void UpdateProcessing(HWND dialog, State* s) {
  if (s->autoTotal) return;
  const bool possible = !ResetIsPage(dialog, s) && ShownAccumulation(dialog, s) != kAccumulatePage &&
                        !PageNumberInSourceChain(s->p->model, CurrentSource(dialog, s));
  if (!possible) {
    CheckDlgButton(dialog, kRunning, 1);
    CheckDlgButton(dialog, kPreprocessed, 0);
  }
  EnableWindow(GetDlgItem(dialog, kPreprocessed), possible);
}

void UpdateAccumulationShown(HWND dialog, State* s) {
  if (s->autoTotal) return;
  FieldDef* source = CurrentSource(dialog, s);
  const bool endOfReport = source && ImpliedAccumulation(s->p->model, source) == kAccumulateReport;
  s->endOfReportShown = endOfReport;
  ShowWindow(GetDlgItem(dialog, kAccumList), endOfReport ? SW_HIDE : SW_SHOWNORMAL);
  ShowWindow(GetDlgItem(dialog, kEndOfReport), endOfReport ? SW_SHOWNORMAL : SW_HIDE);
  const FieldDef* t = s->p->total;
  EnableWindow(GetDlgItem(dialog, kAccumList), !t || (!(t->flags & kFieldAlias) && t->totalLevel < kAccumulateReport));
  if (s->p->prompt) s->p->prompt(s->p->model, source);
  EnableWindow(GetDlgItem(dialog, IDOK), ListSource(dialog, s) != nullptr);
  UpdateProcessing(dialog, s);
}

void FillSources(HWND dialog, State* s, FieldDef* select) {
  CKmComposite* m = s->p->model;
  SendDlgItemMessageA(dialog, kSourceList, LB_RESETCONTENT, 0, 0);
  // A placed copy of a field totals the field itself: the field is listed once.
  select = Unalias(m, select);
  uint32_t n = 0;
  for (FieldDef* f = m->fieldList; f; f = f->next, ++n) {
    // The total itself and what rests on it would make a cycle.
    if (f == s->p->total || (f->flags & (kFieldRemoveMark | kFieldRemovePropagated | kFieldAlias))) continue;
    if (!f->name[0] || !IsTotalableField(f, s->kind)) continue;
    const std::string shown = FieldNameWithTable(f->name, f, m);
    const LRESULT at = SendDlgItemMessageA(dialog, kSourceList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(shown.c_str()));
    if (at < 0) continue;
    SendDlgItemMessageA(dialog, kSourceList, LB_SETITEMDATA, static_cast<WPARAM>(at), n);
    if (f == select) SendDlgItemMessageA(dialog, kSourceList, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
  }
  UpdateAccumulationShown(dialog, s);
}

void SetRemovalMarks(State* s) {
  CKmComposite* m = s->p->model;
  ClearFieldMarks(m, false);
  if (!s->p->total) return;
  s->p->total->flags |= kFieldRemoveMark;
  PropagateRemoval(m, true);
}

void ShowCondition(HWND dialog, State* s) {
  std::string text = s->condition;
  while (!text.empty() && text.back() == ' ') text.pop_back();
  SetDlgItemTextA(dialog, kConditionText, text.c_str());
}

void ShowOptions(HWND dialog, bool show) {
  RECT full{};
  GetWindowRect(dialog, &full);
  RECT cut{0, 0, 0, kOptionsTop};
  MapDialogRect(dialog, &cut);
  RECT client{0, 0, 262, 184};
  MapDialogRect(dialog, &client);
  const int frame = (full.bottom - full.top) - (show ? cut.bottom : client.bottom);
  const int height = (show ? client.bottom : cut.bottom) + (frame > 0 ? frame : 0);
  MoveWindow(dialog, full.left, full.top, full.right - full.left, height, TRUE);
  EnableWindow(GetDlgItem(dialog, kOptionsButton), !show);
}

bool InitDialog(HWND dialog, State* s) {
  TotalDialogParams* p = s->p;
  CKmComposite* m = p->model;
  if (!s->autoTotal) SetWindowTextA(dialog, Res(p->total ? kStrEditTotal : kStrNewTotal).c_str());
  s->countOnly = s->autoTotal ? AnySelectedNotTotalable(p->items, kTotalSum) : CountTotalableFields(m, kTotalSum) == 0;
  s->kind = p->total ? p->total->totalFunction : static_cast<uint8_t>(kTotalCount);
  if (s->kind > kTotalVariance) s->kind = kTotalCount;
  if (s->countOnly && s->kind != kTotalMinimum && s->kind != kTotalMaximum) s->kind = kTotalCount;
  if (s->countOnly)
    for (int k : {kTotalSum, kTotalAverage, kTotalStdDeviation, kTotalVariance})
      EnableWindow(GetDlgItem(dialog, kKindFirst + k), FALSE);

  s->condition = static_cast<char*>(HeapAllocZero(0, kConditionBuffer));
  if (!s->condition) {
    ShowText(s, Res(kStrNoMemory));
    return false;
  }
  if (p->total && p->total->conditionText)
    std::snprintf(s->condition, kConditionBuffer, "%s", p->total->conditionText);
  SetRemovalMarks(s);

  SendDlgItemMessageA(dialog, kNameEdit, EM_LIMITTEXT, kMaxName, 0);
  if (p->total) SetDlgItemTextA(dialog, kNameEdit, p->total->name);
  if (s->autoTotal) {
    if (p->items.size() == 1 && p->numbering) {
      char name[32];
      std::snprintf(name, sizeof name, Res(kStrAutoName).c_str(), static_cast<long>(NextAutoTotalNumber(p->numbering)));
      SetDlgItemTextA(dialog, kNameEdit, name);
    } else {
      EnableWindow(GetDlgItem(dialog, kNameEdit), FALSE);
    }
  }
  CheckDlgButton(dialog, kKindFirst + s->kind, 1);

  s->noPageEntry = p->total && p->onBandLines && p->onBandLines(m, p->total);
  SendDlgItemMessageA(dialog, kResetList, CB_RESETCONTENT, 0, 0);
  SendDlgItemMessageA(dialog, kResetList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Res(kStrGrandTotal).c_str()));
  if (!s->noPageEntry)
    SendDlgItemMessageA(dialog, kResetList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Res(kStrPageTotal).c_str()));
  AddGroupEntries(m, dialog, kResetList);
  SendDlgItemMessageA(dialog, kResetList, CB_SETCURSEL, EntryOfReset(s, p->total ? p->total->totalReset : kResetGrand), 0);

  if (!s->autoTotal) {
    SendDlgItemMessageA(dialog, kAccumList, CB_RESETCONTENT, 0, 0);
    SendDlgItemMessageA(dialog, kAccumList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Res(kStrEveryComposite).c_str()));
    AddGroupEntries(m, dialog, kAccumList);
    SendDlgItemMessageA(dialog, kAccumList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Res(kStrOncePerPage).c_str()));
    SendDlgItemMessageA(dialog, kAccumList, CB_SETCURSEL, p->total ? EntryOfAccum(p->total->totalLevel) : 0, 0);
    const bool pre = p->total && (p->total->totalFlags & kTotalPreprocessed);
    CheckDlgButton(dialog, kPreprocessed, pre);
    CheckDlgButton(dialog, kRunning, !pre);
    FieldDef* select = p->total ? Ref(m, p->total) : p->selectedField;
    FillSources(dialog, s, select);
    if (ListSource(dialog, s) == nullptr && SendDlgItemMessageA(dialog, kSourceList, LB_GETCOUNT, 0, 0) > 0) {
      SendDlgItemMessageA(dialog, kSourceList, LB_SETCURSEL, 0, 0);
      UpdateAccumulationShown(dialog, s);
    }
    ShowOptions(dialog, false);
  }
  ShowCondition(dialog, s);
  if (p->doc) p->doc->CenterDialogOnOwner(dialog);
  return true;
}

// Refusal: the message, the fields this run made go, the numbers come back.
bool Refuse(HWND dialog, State* s, const std::string& text, int focus) {
  TotalDialogParams* p = s->p;
  ShowText(s, text);
  for (FieldDef* f : s->created) p->model->DeleteField(f, 0);
  s->created.clear();
  p->made.clear();
  if (p->numbering) *p->numbering = s->savedNumbering;
  if (s->totalLine >= 0 && p->removeTotalLine) p->removeTotalLine(p->model, s->totalLine);
  s->totalLine = -1;
  SetRemovalMarks(s);
  if (HWND c = GetDlgItem(dialog, focus)) SetFocus(c);
  return false;
}

std::string Formatted(uint32_t id, const char* arg) {
  char text[300];
  std::snprintf(text, sizeof text, Res(id).c_str(), arg);
  return text;
}

// Settings and condition of one total; false (with the edited total put back) on refusal.
bool StoreTotal(HWND dialog, State* s, FieldDef* t, FieldDef* source, bool isNew, uint8_t reset, uint8_t accum,
                bool pre) {
  CKmComposite* m = s->p->model;
  const Snapshot before = Take(t);
  const bool kindClassChanged = (t->totalFunction == kTotalCount) != (s->kind == kTotalCount);
  const FieldDef* oldSource = isNew ? nullptr : Ref(m, t);
  const bool sourceTypeChanged = !oldSource || ((oldSource->flags ^ source->flags) & kTypeBits);

  t->totalLevel = accum;
  const bool wasPre = (t->totalFlags & kTotalPreprocessed) != 0;
  if (pre) t->totalFlags |= kTotalPreprocessed;
  else t->totalFlags &= static_cast<uint8_t>(~kTotalPreprocessed);
  if (wasPre != pre) m->totalsPrepassNeeded = 1;
  const bool minMax = s->kind == kTotalMinimum || s->kind == kTotalMaximum;
  t->flags &= ~(kTypeBits | kFieldTotalRelated);
  t->flags |= (minMax ? (source->flags & kTypeBits) : kFieldNumeric) | kFieldItem;
  if (IsTotalish(source)) t->flags |= kFieldTotalRelated;
  if (isNew || kindClassChanged || sourceTypeChanged) SetTotalFormat(t, source, s->kind);
  t->totalFunction = s->kind;
  t->refField = m->GetFieldIndex(source);
  t->totalReset = reset;
  t->table = source->table;
  t->head.width = static_cast<uint8_t>(t->displayWidth > 254 ? 254 : t->displayWidth);

  const bool hadCondition = t->conditionText && t->conditionText[0];
  if (s->condition[0] || hadCondition) {
    CalcDefRequest r;
    r.kind = kCalcKindCondition;
    r.text = s->condition;
    r.field = t;
    uint32_t count = 0;
    PendingCalcDefinition pending;
    const int rc = DefineCalcField(m, &r, &count, &pending);
    if (rc) {
      if (!isNew) Put(t, before);
      char text[400];
      std::snprintf(text, sizeof text, Res(kStrNamedError).c_str(), Res(kStrConditionError).c_str(),
                    CompileErrorText(rc));
      return Refuse(dialog, s, text, kConditionButton);
    }
    CommitCalcDefinition(m, dialog, &r, &pending);
  }
  return true;
}

bool Validate(HWND dialog, State* s) {
  TotalDialogParams* p = s->p;
  CKmComposite* m = p->model;
  ClearFieldMarks(m, false);  // the checks below use the same mark bits
  const uint8_t reset = ResetOfEntry(s, SendDlgItemMessageA(dialog, kResetList, CB_GETCURSEL, 0, 0));

  std::vector<FieldDef*> sources;
  if (s->autoTotal) {
    sources = p->items;
    if (p->insertTotalLine) {
      s->totalLine = p->insertTotalLine(m, reset);
      if (s->totalLine < 0) return Refuse(dialog, s, Res(kStrNoFieldMemory), IDOK);
    }
  } else {
    sources.push_back(ListSource(dialog, s));
  }

  char typed[kMaxName + 2] = {};
  GetDlgItemTextA(dialog, kNameEdit, typed, sizeof typed);
  FieldDef* last = nullptr;
  for (size_t i = 0; i < sources.size(); ++i) {
    FieldDef* item = sources[i];
    FieldDef* source = Unalias(m, item);
    if (!s->autoTotal) {
      if (!source) return Refuse(dialog, s, Res(kStrSelectField), kSourceList);
      if (source->flags & kFieldPageNumber) return Refuse(dialog, s, Res(kStrPageNumberSource), kSourceList);
    }
    if (!source) return Refuse(dialog, s, Res(kStrSelectField), IDOK);

    char name[32] = {};
    if (s->autoTotal && sources.size() > 1) {
      const uint32_t number = p->numbering ? NextAutoTotalNumber(p->numbering) : 0;
      if (number == 0) return Refuse(dialog, s, CompileErrorText(kCalcBadName), IDOK);
      std::snprintf(name, sizeof name, Res(kStrAutoName).c_str(), static_cast<long>(number));
    } else {
      std::snprintf(name, sizeof name, "%s", typed);
    }
    if (!name[0]) return Refuse(dialog, s, Res(kStrNameRequired), kNameEdit);
    if (const int rc = CheckCalcFieldName(m, name, p->total)) return Refuse(dialog, s, CompileErrorText(rc), kNameEdit);

    if (!CheckResetLevel(m, reset, source)) return Refuse(dialog, s, Formatted(kStrResetInconsistent, source->name), kResetList);

    uint8_t accum;
    if (s->autoTotal || ImpliedAccumulation(m, source) == kAccumulateReport) accum = ImpliedAccumulation(m, source);
    else accum = AccumOfEntry(SendDlgItemMessageA(dialog, kAccumList, CB_GETCURSEL, 0, 0));
    const bool pre = !s->autoTotal && IsDlgButtonChecked(dialog, kPreprocessed);

    FieldDef* t = p->total;
    if (t) {
      const bool staysPre = pre && (t->totalFlags & kTotalPreprocessed);
      const bool exempt = reset == kResetGrand && (s->kind == kTotalCount || s->kind == kTotalSum);
      if (!staysPre && !exempt && p->filterDependsOn && p->filterDependsOn(m, t))
        return Refuse(dialog, s, CompileErrorText(kCalcRunningTotalFilter), kResetList);
      if (accum == kAccumulatePage && !(t->flags & kFieldTotalRelated))
        return Refuse(dialog, s, Res(kStrInvalidFrequency), kAccumList);
    } else {
      t = m->AddField(kFieldNumeric | kFieldItem);
      if (!t) return Refuse(dialog, s, Res(kStrNoFieldMemory), IDOK);
      t->totalFlags = kTotalIsTotal | kTotalHidden;  // waits in Insert Field until placed
      t->head.flags = 130;
      t->refField = kNoField;
      s->created.push_back(t);
    }
    // Every record over a source that itself accumulates totals counts them twice.
    const FieldDef* under = (source->flags & kFieldTotalRelated) ? Ref(m, source) : nullptr;
    if (accum == kAccumulateEvery && under && IsTotalish(under))
      return Refuse(dialog, s, Res(kStrInvalidFrequency), kAccumList);

    const bool isNew = t != p->total;
    const std::string oldName = t->name;
    if (!StoreTotal(dialog, s, t, source, isNew, reset, accum, pre)) return false;

    if (!isNew) {
      const uint32_t index = m->GetFieldIndex(t);
      if (std::strcmp(oldName.c_str(), name) != 0) RenameInCompiledCode(m, kRenameField, index, t->table, name, oldName.c_str());
      for (FieldDef* a = m->fieldList; a; a = a->next)
        if ((a->flags & kFieldAlias) && a->refField == index) {
          a->table = t->table;
          a->formatCode = t->formatCode;
          a->timeFormat = t->timeFormat;
          a->displayWidth = t->displayWidth;
          a->displayDecimals = t->displayDecimals;
          a->head.width = t->head.width;
        }
    } else {
      p->lastDefined = t;
      p->made.push_back(t);
      if (s->autoTotal) {
        t->totalFlags &= static_cast<uint8_t>(~kTotalHidden);
        t->head.column = item->head.column;
        if (s->totalLine >= 0) t->head.bandLine = static_cast<uint8_t>(s->totalLine);
      }
    }
    std::snprintf(t->name, sizeof t->name, "%s", name);
    if (p->numbering) NoteAutoTotalName(p->numbering, t->name);
    m->SyncAliasNames();
    if (FieldDef* bad = PropagateFieldDependencies(m)) ReportEvaluationOrderError(m, bad);
    last = t;
  }

  s->created.clear();
  ClearFieldMarks(m, false);
  CheckPreprocessedTotals(m);
  if (last) CheckFieldRemoval(m, last);
  ClearFieldMarks(m, false);
  p->modified = true;
  return true;
}

bool EditCondition(CKmComposite* m, HWND owner, std::string* text);

}  // namespace

INT_PTR TotalDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* s = reinterpret_cast<State*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      s = reinterpret_cast<State*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      if (!InitDialog(dialog, s)) EndDialog(dialog, IDCANCEL);
      return TRUE;
    case WM_COMMAND: {
      if (!s || s->ended) break;
      const int id = LOWORD(wParam);
      if (id >= kKindFirst && id <= kKindFirst + kTotalVariance) {
        s->kind = static_cast<uint8_t>(id - kKindFirst);
        if (!s->autoTotal) FillSources(dialog, s, ListSource(dialog, s));
        return TRUE;
      }
      switch (id) {
        case kSourceList:
          if (HIWORD(wParam) == LBN_SELCHANGE) UpdateAccumulationShown(dialog, s);
          return TRUE;
        case kResetList:
        case kAccumList:
          if (HIWORD(wParam) == CBN_SELCHANGE) UpdateProcessing(dialog, s);
          return TRUE;
        case kOptionsButton:
          ShowOptions(dialog, true);
          return TRUE;
        case kConditionButton: {
          std::string text = s->condition;
          if (EditCondition(s->p->model, dialog, &text)) {
            std::snprintf(s->condition, kConditionBuffer, "%s", text.c_str());
            ShowCondition(dialog, s);
          }
          return TRUE;
        }
        case IDOK:
          if (Validate(dialog, s)) {
            s->ended = true;
            s->p->modified = true;
            EndDialog(dialog, IDOK);
          }
          return TRUE;
        case IDCANCEL:
          for (FieldDef* f : s->created) s->p->model->DeleteField(f, 0);
          s->created.clear();
          if (s->autoTotal && s->p->numbering) *s->p->numbering = s->savedNumbering;
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        case kHelpButton:
          if (s->p->doc)
            s->p->doc->ShowDialogHelp(dialog, s->autoTotal ? kHelpAuto : s->p->total ? kHelpEdit : kHelpNew);
          return TRUE;
      }
      break;
    }
  }
  return FALSE;
}

namespace {

INT_PTR Run(HWND owner, TotalDialogParams* params, bool autoTotal) {
  State s;
  s.p = params;
  s.autoTotal = autoTotal;
  if (params->numbering) s.savedNumbering = *params->numbering;
  params->modified = false;
  params->made.clear();
  params->lastDefined = nullptr;
  const INT_PTR rc =
      params->doc->DoModalDialog(owner, TotalDialogProc, autoTotal ? "DAUTOTOT" : "DFLDTOT", reinterpret_cast<LPARAM>(&s));
  if (rc != IDOK) {
    for (FieldDef* f : s.created) params->model->DeleteField(f, 0);
    if (autoTotal && params->numbering) *params->numbering = s.savedNumbering;
  }
  ClearFieldMarks(params->model, false);
  if (s.condition) HeapFreeBlock(s.condition);
  return rc;
}

// The condition editor on the calculated-field template: the expression
// only, with Verify compiling it as a condition.
bool EditCondition(CKmComposite* m, HWND owner, std::string* text) {
  KmDocBase* doc = m->owner;
  if (!doc) return false;
  CalcFieldDialogParams e;
  e.doc = doc;
  e.model = m;
  e.kind = kEditTotalCondition;
  e.condition = text;
  return RunCalcFieldDialog(owner, &e) == IDOK;
}

}  // namespace

INT_PTR OpenTotalDialog(HWND owner, TotalDialogParams* params) { return Run(owner, params, false); }
INT_PTR OpenAutoTotalDialog(HWND owner, TotalDialogParams* params) { return Run(owner, params, true); }

bool CheckAutoTotalSelection(const std::vector<FieldDef*>& fields, int otherSelected,
                             const AutoTotalNumbering& numbering, bool bandLineRoom) {
  if (fields.empty() || otherSelected > 0 || !bandLineRoom) return false;
  for (const FieldDef* f : fields)
    if (!f || (f->flags & (kFieldPageNumber | kFieldMemo))) return false;
  return CanAllocateAutoNumbers(numbering, static_cast<int>(fields.size()));
}

FieldDef* GetSelectedTotalField(CKmComposite* m, const std::vector<FieldDef*>& fields, int otherSelected) {
  if (fields.size() != 1 || otherSelected > 0 || !fields[0]) return nullptr;
  if (fields[0]->head.flags & kItemGraphicKinds) return nullptr;
  return Unalias(m, fields[0]);
}

int CountTotalableFields(CKmComposite* m, uint8_t kind) {
  int n = 0;
  for (FieldDef* f = m->fieldList; f; f = f->next)
    if (IsTotalableField(f, kind)) ++n;
  return n;
}

bool AnySelectedNotTotalable(const std::vector<FieldDef*>& fields, uint8_t kind) {
  for (const FieldDef* f : fields)
    if (!f || !IsTotalableField(f, kind)) return true;
  return false;
}

uint8_t ImpliedAccumulation(CKmComposite* m, const FieldDef* source) {
  const FieldDef* base = source ? BaseTotal(m, source) : nullptr;
  if (!base) return kAccumulateEvery;
  if (base->totalReset == kResetGrand) return kAccumulateReport;
  if (base->totalReset == kResetPage) return kAccumulatePage;
  return base->totalReset <= 7 ? base->totalReset : kAccumulateEvery;
}

bool PageNumberInSourceChain(CKmComposite* m, const FieldDef* f) {
  for (uint32_t guard = 0; f && guard <= m->fieldCount; ++guard) {
    if (f->flags & kFieldPageNumber) return true;
    if (!IsTotalish(f) && !(f->flags & kFieldAlias)) return false;
    f = Ref(m, f);
  }
  return false;
}
