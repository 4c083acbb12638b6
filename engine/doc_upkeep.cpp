#include "engine/doc_upkeep.h"

#include "core/condition_code.h"
#include "expr/builtin_table.h"

#include "foundation/doc_base.h"
#include "layout/page_setup.h"
#include "layout/page_metrics.h"
#include "foundation/paper_sizes.h"
#include "layout/field_width.h"
#include "layout/fonts.h"
#include "layout/layout_records.h"
#include "engine/chart_output.h"
#include "engine/run_report.h"
#include "files/report_io.h"
#include "files/report_reader.h"
#include "expr/code_walks.h"
#include "expr/compiler_state.h"
#include "core/compiled_code.h"
#include "foundation/heap_strings.h"
#include "data/memo_sources.h"
#include "model/table_field_marks.h"
#include "core/composite.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

constexpr uint32_t kLabelRecordsRead = 217;
constexpr uint32_t kLabelSelected = 218;
constexpr uint32_t kLabelGroupTotals = 2560;
constexpr uint32_t kLabelLimited = 2561;
constexpr uint32_t kHideLine = 0xFFFFFFFFu;
constexpr uint32_t kIdNoFieldMemory = 6110;  // "Insufficient memory for additional field"

// A counter of the run status dialog of the model's document.
void Show(CKmComposite* m, uint32_t label, const char* text) {
  if (m != nullptr && m->owner != nullptr) TheRunShell().ShowCounter(*m->owner, label, text);
}

// "%10ld" for the status line, leading blanks removed for display; a count
// beyond ten digits keeps its last ten.
void FormatCount(char (&text)[11], uint32_t n) {
  char buf[32];
  const int length = std::snprintf(buf, sizeof buf, "%10ld", static_cast<long>(n));
  const size_t from = length > 10 ? static_cast<size_t>(length - 10) : 0;
  std::memcpy(text, buf + from, 10);
  text[10] = 0;
}
const char* Trimmed(const char* text) {
  while (*text == ' ') ++text;
  return text;
}
void ShowCount(CKmComposite* m, uint32_t label, char (&text)[11], uint32_t n) {
  FormatCount(text, n);
  Show(m, label, Trimmed(text));
}

FieldDef* Field(CKmComposite* m, uint32_t n) { return n == kNoField ? nullptr : m->GetFieldAt(n); }

void Use(FieldDef* f) {
  if (f) f->flags |= kFieldNeeded;
}

bool Shown(const FieldDef* f) {
  return (f->flags & kFieldItem) && !(f->head.flags & (kItemDeleted | kItemInClipboard));
}

// The fields the report's filter tests (condition code, not expression code).
void MarkFilterFields(CKmComposite* m) {
  ForEachConditionField(m->conditionCode, m->conditionLength,
                        [&](uint8_t* token) { Use(Field(m, ConditionFieldNumber(token))); });
}

// Fields the layout and the settings need for the run.
void MarkNeededByRun(KmDocBase* doc, CKmComposite* m, bool all) {
  for (FieldDef* f = m->fieldList; f; f = f->next) {
    if (!all && m->statementText && f->table == 0) Use(f);
  }
  uint32_t n = 0;
  for (FieldDef* f = m->fieldList; f; f = f->next, ++n) {
    if (!Shown(f) && !IsGroupSlotField(m, n)) continue;
    Use(f);
    if (f->flags & kFieldAlias) Use(Field(m, f->refField));
  }
  if (doc && doc->m_bandLines.lines)
    for (int i = 0; i < kBandLineTableRecords; ++i) {
      const BandLineRec& line = doc->m_bandLines.lines[i];
      if (line.kind != 255 && line.objectId >= 0) Use(Field(m, static_cast<uint32_t>(line.objectId)));
    }
  Use(Field(m, m->recordRepeatField));
  RegisterChartFields(doc);
}

void MarkLinkFields(CKmComposite* m) {
  MarkTableFields(m, true);
  for (FieldDef* f = m->fieldList; f; f = f->next)
    if (f->flags & kFieldJoin) Use(f);
}

void MarkSortFields(CKmComposite* m) {
  for (uint32_t id : m->sortFields) {
    if (id == kNoField) break;
    Use(Field(m, id));
  }
}

// Totals, groups and calculations pull in what they rest on, until stable.
void MarkDependencies(CKmComposite* m, bool all) {
  for (int rounds = 0; rounds < 1000; ++rounds) {
    bool changed = false;
    uint32_t n = 0;
    for (FieldDef* f = m->fieldList; f; f = f->next, ++n)
      if (!(f->flags & kFieldNeeded) && IsTotalSource(m, n)) {
        f->flags |= kFieldNeeded;
        changed = true;
      }
    bool added = false;
    MarkRequiredFields(m, &added, all);
    if (!changed && !added) break;
  }
}

bool FilterHasText(CKmComposite* m) { return m->conditionCode != nullptr && m->conditionLength > 0; }

}  // namespace

RunCounters& CountersOf(CKmComposite* m) { return m->counters; }

int CountRecordRead(CKmComposite* m) {
  RunCounters& c = CountersOf(m);
  ++c.recordsRead;
  if (c.force || c.recordsRead > c.lastShownRead + 9) {
    c.lastShownRead = c.recordsRead;
    ShowCount(m, kLabelRecordsRead, c.readText, c.recordsRead);
    CountSelected(m, true);
  }
  if (c.cancelled) return c.cancelled;
  c.cancelled = PollRunCancelled();
  return c.cancelled;
}

void ResetRecordCounters(CKmComposite* m) {
  RunCounters& c = CountersOf(m);
  const int32_t force = c.force;
  c = RunCounters();
  c.force = force;
  std::memset(c.readText, ' ', 10);
  std::memset(c.selectedText, ' ', 10);
  std::memset(c.groupText, ' ', 10);
  Show(m, kLabelRecordsRead, "");
  Show(m, kLabelSelected, "");
}

void ResetReadCounter(CKmComposite* m) {
  RunCounters& c = CountersOf(m);
  c.recordsRead = 0;
  c.lastShownRead = 0;
  std::memset(c.readText, ' ', 10);
  Show(m, kLabelRecordsRead, "");
}

void CountSelected(CKmComposite* m, bool force) {
  RunCounters& c = CountersOf(m);
  if (!force) {
    ++c.selectedPending;
    return;
  }
  c.selected += c.selectedPending;
  c.selectedPending = 0;
  ShowCount(m, kLabelSelected, c.selectedText, c.selected);
}

void ResetGroupTotalsCounter(CKmComposite* m) {
  RunCounters& c = CountersOf(m);
  c.groupTotalsRead = 0;
  std::memset(c.groupText, ' ', 10);
  Show(m, kLabelGroupTotals, "");
}

void CountGroupTotalRead(CKmComposite* m) {
  RunCounters& c = CountersOf(m);
  ++c.groupTotalsRead;
  ShowCount(m, kLabelGroupTotals, c.groupText, c.groupTotalsRead);
}

void ClearStatusCounters(CKmComposite* m) {
  // The run goes on after the totals sort: a Cancel seen stays seen.
  RunCounters& c = CountersOf(m);
  const int32_t force = c.force, cancelled = c.cancelled;
  c = RunCounters();
  c.force = force;
  c.cancelled = cancelled;
  Show(m, kHideLine, "");
}

void GroupTotalsCounterStep(CKmComposite* m, int step) {
  if (step == 0) ResetGroupTotalsCounter(m);
  else if (step == 1) CountGroupTotalRead(m);
  else ClearStatusCounters(m);
}

void SelectedCounterStep(CKmComposite* m, int step) {
  if (step == 0) ResetRecordCounters(m);
  else CountSelected(m, false);
}

void ShowLimitedCounts(CKmComposite* m, bool sortedTotals, bool limited) {
  if (sortedTotals) ShowCounters(m);
  // The marker is the line's label: it stands alone.
  if (limited) Show(m, kLabelLimited, "");
}

void ShowCounters(CKmComposite* m) {
  RunCounters& c = CountersOf(m);
  ShowCount(m, kLabelRecordsRead, c.readText, c.recordsRead);
  ShowCount(m, kLabelSelected, c.selectedText, c.selected + c.selectedPending);
}

void RebuildRunLists(KmDocBase* doc, int /*repeatArg*/, bool all) {
  CKmComposite* m = doc ? doc->m_pModel : nullptr;
  if (!m) return;
  for (FieldDef* f = m->fieldList; f; f = f->next) {
    f->flags &= ~kFieldNeeded;
    f->needed = 0;
  }
  MarkNeededByRun(doc, m, all);
  MarkMemoFieldCodes(m);
  MarkLinkFields(m);
  if (all || m->totalsSortWord) MarkSortFields(m);
  if (all || FilterHasText(m)) MarkFilterFields(m);
  MarkDependencies(m, all);
}

void ResolveQueryFields(KmDocBase* doc) {
  CKmComposite* m = doc ? doc->m_pModel : nullptr;
  if (!m) return;
  if (FilterHasText(m)) MarkFilterFields(m);
  MarkDependencies(m, false);
}

bool UsesMemoFields(CKmComposite* m) {
  for (FieldDef* f = m->fieldList; f; f = f->next)
    if ((f->flags & kFieldMemo) && (Shown(f) || (f->flags & kFieldNeeded))) return true;
  return false;
}

bool IsGroupSlotField(CKmComposite* m, uint32_t index) {
  for (uint32_t id : m->groupFields)
    if (id == index && id != kNoField) return true;
  return false;
}

bool IsTotalSource(CKmComposite* m, uint32_t index) {
  for (FieldDef* f = m->fieldList; f; f = f->next)
    if ((f->totalFlags & kTotalIsTotal) && (f->flags & kFieldNeeded) && f->refField == index) return true;
  return false;
}

namespace {
// A list of field numbers ended by all ones, with one companion byte each:
// the entry of the field that went closes up as the model's slots do, and
// later numbers move down one.
void CloseFieldSlot(uint32_t* fields, uint8_t* companion, int count, uint32_t id) {
  int kept = 0;
  for (int i = 0; i < count && fields[i] != kNoField; ++i) {
    if (fields[i] == id) continue;
    fields[kept] = fields[i] > id ? fields[i] - 1 : fields[i];
    companion[kept++] = companion[i];
  }
  for (int i = kept; i < count; ++i) {
    fields[i] = kNoField;
    companion[i] = 0;
  }
}
}  // namespace

void OnFieldDeleted(CKmComposite* m, uint32_t id) {
  // The model has moved its own references (codes, slots, totals); the
  // document's band lines follow here.
  KmDocBase* doc = m->owner;
  // The field is freed after this: the layout and its view let go of it.
  FieldDef* going = m->GetFieldAt(id);
  if (doc && doc->m_pLayout && going) {
    if (doc->m_pLayout->currentItem == &going->head) doc->m_pLayout->currentItem = nullptr;
    doc->m_pLayout->Hooks().ForgetItem(going->head);
  }
  if (doc && doc->m_bandLines.lines)
    for (int i = 0; i < kBandLineTableRecords; ++i) {
      int32_t& obj = doc->m_bandLines.lines[i].objectId;
      if (obj < 0) continue;
      if (static_cast<uint32_t>(obj) == id) obj = -1;
      else if (static_cast<uint32_t>(obj) > id) --obj;
    }
  // The report keeps its own copy of the sort and group slots (a run falls
  // back on it, and it is saved): it follows the model's.
  if (doc && doc->m_pRepIO) {
    ReportSettings& st = doc->m_pRepIO->m_stream.settings;
    CloseFieldSlot(st.sortFields, st.sortWords, kSortSlots, id);
    CloseFieldSlot(st.groupFields, st.groupFlags, kSortSlots, id);
  }
  ChartsFieldDeleted(doc, id);
}

void RenumberFieldRefs(KmDocBase* doc, uint32_t oldId, uint32_t newId) {
  CKmComposite* m = doc ? doc->m_pModel : nullptr;
  if (!m) return;
  if (m->currentField == oldId) m->currentField = newId;
  if (m->recordRepeatField == oldId) m->recordRepeatField = newId;
  for (uint32_t& g : m->groupFields)
    if (g == oldId) g = newId;
  for (uint32_t& s : m->sortFields)
    if (s == oldId) {
      s = newId;
      break;
    }
  if (doc->m_bandLines.lines)
    for (int i = 0; i < kBandLineTableRecords; ++i)
      if (doc->m_bandLines.lines[i].objectId == static_cast<int32_t>(oldId))
        doc->m_bandLines.lines[i].objectId = static_cast<int32_t>(newId);
  RenumberChartFieldRefs(doc, oldId, newId);
}

void InstallRunListHooks(CKmComposite* m) {
  m->fieldRemovedHook = OnFieldDeleted;
  m->rebuildRunLists = [](CKmComposite* model) {
    if (model->owner) RebuildRunLists(model->owner, 1, false);
  };
  // A replaced table's field takes its old number's place in the charts too.
  m->swapFieldHook = [](CKmComposite* model, uint32_t from, uint32_t to) {
    if (model->owner) RenumberChartFieldRefs(model->owner, from, to);
  };
}

int GetLineHeightUnit(const KmDocBase* doc, int heightMode) {
  if (heightMode == 1) return 10;
  return doc && doc->m_measure != 1 ? 2 : 0;
}

bool FindQueryCall(CKmComposite* m, const uint8_t* code, size_t length, uint32_t function,
                   int32_t* value, int* error) {
  if (!code) return false;
  CodeReader r(code, length);
  Instruction in;
  int position = 0;
  bool frameFirst = false;
  while (r.Next(&in) && in.op != OP_END) {
    if (position == 0) frameFirst = in.op == OP_EMPTY_ARG;
    if (in.op == OP_CALL && (in.u32 & kCallIdMask) == function) {
      if (value) *value = m->queryValue;
      Instruction next;
      const bool alone = frameFirst && position == 1 && r.Next(&next) && next.op == OP_END;
      if (error) *error = alone ? 0 : 56;
      return true;
    }
    ++position;
  }
  return false;
}

bool IsFilterOnField(CKmComposite* m, uint32_t id) {
  if (m->selectionField) {
    const FieldDef* s = m->selectionField;
    const uint8_t* code = (s->flags & kFieldCalculation) ? s->code : s->conditionCode;
    const size_t length = (s->flags & kFieldCalculation) ? s->codeLength : s->conditionLength;
    CodeReader r(code, code ? length : 0);
    Instruction in;
    return r.Next(&in) && (in.op == OP_FIELD || in.op == OP_FIELD_PREV) && in.u32 == id;
  }
  return m->conditionCode && ConditionReferencesField(m->conditionCode, m->conditionLength, id);
}

int CheckFieldForExpression(CKmComposite* m, FieldDef* field, const uint8_t* code, size_t length,
                            int32_t* value, const FieldDef* listed) {
  int error = 0;
  if (!field) return FindQueryCall(m, code, length, kSlotQuery, value, &error) ? 57 : 0;
  // The dependency scan has just marked whether the code calls QUERY.
  if (!(field->flags2 & kField2FilterText)) return 0;
  if (FindQueryCall(m, code, length, kSlotQuery, value, &error) && error) return 56;
  if (!listed) listed = field;
  uint32_t n = 0;
  const FieldDef* f = m->fieldList;
  for (; f && f != listed; f = f->next) ++n;
  // A field not in the list yet is used by nobody.
  if (!f) return 0;
  // The field's own earlier code is replaced by this one: it does not count.
  if (FindFieldReferencing(m, n, listed)) return 59;
  return IsFilterOnField(m, n) ? 60 : 0;
}

void InstallExpressionChecks(CKmComposite* m) {
  GetCompilerState(m)->hooks.checkFieldForExpression = [](CKmComposite* model, FieldDef* field,
                                                          const uint8_t* code, size_t length,
                                                          uint32_t* errorPosition) {
    int32_t value = 0;
    const int rc = CheckFieldForExpression(model, field, code, length, &value, GetCompilerState(model)->trialOf);
    // The code keeps no positions in the text: the caret goes to its start.
    if (errorPosition) *errorPosition = 0;
    return rc;
  };
}

bool IsSingleCallCode(const uint8_t* code, size_t length) {
  if (!code) return false;
  CodeReader r(code, length);
  Instruction a, b, c;
  return r.Next(&a) && a.op == OP_STRING && r.Next(&b) && b.op == OP_CALL &&
         (b.u32 & kCallIdMask) == kSlotSqlExp && r.Next(&c) && c.op == OP_END;
}

void ResetSortAndGroups(CKmComposite* m) {
  for (int i = 0; i < 8; ++i) {
    m->groupFields[i] = kNoField;
    m->groupFlags[i] = 0;
    m->sortFields[i] = kNoField;
    m->sortWords[i] = 0;
    m->sortLengths[i] = 1;
  }
}

void ResetRunSettings(KmDocBase* doc) {
  if (!doc) return;
  if (CKmComposite* m = doc->m_pModel) {
    HeapFreeBlock(m->conditionCode);
    m->conditionCode = nullptr;
    m->conditionLength = 0;
    ResetSortAndGroups(m);
    m->recordRepeatField = kNoField;
    m->currentField = kNoField;
    CountersOf(m) = RunCounters();
  }
  // The report keeps its own copy of the slots, the copies field, the page
  // range and the label stock (a run falls back on them, a save writes
  // them): they go with the model's, or the next report takes this one's.
  if (doc->m_pRepIO) {
    ReportSettings& st = doc->m_pRepIO->m_stream.settings;
    std::fill(std::begin(st.sortFields), std::end(st.sortFields), kNoField);
    std::fill(std::begin(st.sortWords), std::end(st.sortWords), 0);
    std::fill(std::begin(st.groupFields), std::end(st.groupFields), kNoField);
    std::fill(std::begin(st.groupFlags), std::end(st.groupFlags), 0);
    st.recordCopiesField = -1;
    st.firstPage = 1;
    st.lastPage = 999999999;
    st.labelStock.clear();
  }
  if (doc->m_pPageSetup) {
    std::memset(doc->m_pPageSetup, 0, sizeof *doc->m_pPageSetup);
    SetPageSetupWord(*doc->m_pPageSetup, kPsNoLineSwitch, 1);
  }
  if (doc->m_bandLines.lines) ClearBandLineTable(doc->m_bandLines);
  FreeTextItems(doc);
  doc->m_bModified = TRUE;
}

void InitReportState(KmDocBase* doc, bool opened) {
  CKmComposite* m = doc ? doc->m_pModel : nullptr;
  if (!m) return;
  InstallRunListHooks(m);
  if (opened) return;
  if (doc->m_bandLines.lines) {
    ClearBandLineTable(doc->m_bandLines);
    BandLineRec& first = doc->m_bandLines.lines[0];
    first.kind = kBandRecord;
    first.objectId = -1;
    doc->m_bandLines.lastUsed = 0;
  }
  doc->SetTitleAlways("");
  for (FieldDef* f = m->fieldList; f; f = f->next) {
    f->flags &= ~kFieldItem;
    f->head.flags = kItemKindField | kItemFixedPosition;  // item kind 130: a field,
    f->totalFlags |= kTotalHidden;                        // hidden until it is placed
  }
  if (PageSetupRec* p = doc->m_pPageSetup) {
    long length = 0, width = 0;
    if (!GetPrinterPaperSizes(*doc, doc->m_settings.pgLM, nullptr, 0, &length, &width) || length <= 0 ||
        width <= 0) {
      length = 2794;  // letter, in tenths of a millimetre
      width = 2159;
    }
    p->PaperLength = static_cast<int32_t>(length);
    p->PaperWidth = static_cast<int32_t>(width);
    p->TopMargin = doc->m_settings.topM;
    p->BottomMargin = doc->m_settings.botM;
    p->LeftMargin = doc->m_settings.leftM;
    p->RightMargin = doc->m_settings.rightM;
    SetPageSetupWord(*p, kPsNoLineSwitch, 1);
    CalcPageMetrics(*doc);
  }
}

void CommitMarkedFields(KmDocBase* doc) {
  CKmComposite* m = doc ? doc->m_pModel : nullptr;
  if (!m) return;
  for (FieldDef* f = m->fieldList; f; f = f->next) {
    if (!(f->flags & kFieldRemoveMark)) continue;
    f->flags &= ~(kFieldRemoveMark | kFieldItem);
    f->head.flags &= ~(kItemDeleted | kItemSelected);
  }
}

TextItem* AppendTextItem(KmDocBase* doc) {
  LayoutTables* t = doc ? doc->m_pLayout : nullptr;
  if (!t) return nullptr;
  TextItem* item = new TextItem;
  TextItem** tail = &t->textHead;
  while (*tail) tail = &(*tail)->nextText;
  *tail = item;
  ++t->textCount;
  return item;
}

TextItem* NewTextItem(KmDocBase* doc, uint32_t textSize) {
  char* text = static_cast<char*>(HeapAllocZero(0, textSize ? textSize : 1));
  if (!text) return nullptr;
  TextItem* item = AppendTextItem(doc);
  if (!item) {
    HeapFreeBlock(text);
    return nullptr;
  }
  item->text = text;
  return item;
}

bool DeleteTextItem(KmDocBase* doc, TextItem* item) {
  LayoutTables* t = doc ? doc->m_pLayout : nullptr;
  if (!t || !item) return false;
  for (TextItem** p = &t->textHead; *p; p = &(*p)->nextText)
    if (*p == item) {
      *p = item->nextText;
      --t->textCount;
      if (item->head.faceAtom != 0) DeleteFaceAtom(item->head.faceAtom);
      HeapFreeBlock(item->text);
      delete item;
      return true;
    }
  return false;
}

void FreeTextItems(KmDocBase* doc) {
  if (doc) FreeReportTextItems(*doc);
}

FieldDef* DuplicateField(KmDocBase* doc, FieldDef* field) {
  CKmComposite* m = doc ? doc->m_pModel : nullptr;
  if (!m || !field) return nullptr;
  FieldDef* copy = m->AddFieldAlias(field);
  if (!copy) {
    doc->ShowErrorText(GetResString(kIdNoFieldMemory, 0), nullptr);
    return nullptr;
  }
  copy->displayWidth = field->displayWidth;
  copy->displayDecimals = field->displayDecimals;
  copy->formatCode = field->formatCode;
  copy->timeFormat = field->timeFormat;
  ReportItemHead head = field->head;
  head.nextInOrder = head.prevInOrder = nullptr;
  copy->head = head;
  copy->head.flags &= ~(kItemDeleted | kItemInClipboard);
  copy->head.flags |= kItemFixedPosition;  // marked as a copy
  copy->flags3word = field->flags3word;
  copy->flags |= kFieldItem;
  return copy;
}

int GetObjectAlignment(KmDocBase* doc, const ReportItemHead* object) {
  if (!object) return 0;
  auto nibble = [](uint32_t v) { return v ? static_cast<int>(v) - 1 : 0; };
  // A field's head starts its record, so the field is found from it.
  if (object->flags & kItemKindField) return FieldAlignment(*reinterpret_cast<const FieldDef*>(object));
  (void)doc;
  if (object->flags & (kItemKindLine | kItemKindBox)) {
    const LineBoxItem* x = reinterpret_cast<const LineBoxItem*>(object);
    return nibble(x->alignment >> 4);
  }
  if (object->flags & kItemKindPicture) {
    const PictureItem* x = reinterpret_cast<const PictureItem*>(object);
    return nibble(x->alignment >> 4);
  }
  if (object->flags & (kItemKindChart | kItemKindOle)) return 0;
  const TextItem* x = reinterpret_cast<const TextItem*>(object);
  return nibble(x->alignment >> 4);
}

