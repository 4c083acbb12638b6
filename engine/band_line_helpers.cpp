#include "engine/band_line_helpers.h"

#include "core/composite.h"
#include "engine/band_output.h"
#include "engine/report_run.h"
#include "engine/run_report.h"
#include "expr/code_walks.h"
#include "foundation/band_lines.h"
#include "foundation/doc_base.h"

#include <algorithm>

namespace {

constexpr BYTE kLineFlagPageBreak = 1;
constexpr BYTE kLineFlagInvert = 8;
constexpr int kRunModeTestPattern = 1;

int LastLine(const KmDocBase* doc) { return std::min(doc->m_bandLines.lastUsed, kBandLineCount - 1); }

}  // namespace

int LineHasItems(KmDocBase* doc, int line) {
  const CKmComposite* m = doc != nullptr ? doc->m_pModel : nullptr;
  for (const ReportItemHead* it = m != nullptr ? m->itemListHead : nullptr; it != nullptr; it = it->nextInOrder) {
    if (it->flags & kItemDeleted) continue;
    if (it->bandLine == line) return 1;
  }
  return 0;
}

int IsLineShown(KmDocBase* doc, int line, int valueSource) {
  if (doc == nullptr || doc->m_nRunMode == kRunModeTestPattern) return 1;
  const BandLineRec* lines = doc->m_bandLines.lines;
  if (lines == nullptr || line < 0 || line >= kBandLineCount) return 0;
  const BandLineRec& l = lines[line];
  if (l.objectId == -1) return 1;
  CKmComposite* m = doc->m_pModel;
  const FieldDef* f = m != nullptr ? m->GetFieldAt(static_cast<uint32_t>(l.objectId)) : nullptr;
  // A condition whose field is gone no longer holds the line back.
  if (f == nullptr) return 1;
  ReportRun* run = RunOf(doc);
  const BYTE* value =
      valueSource >= 0 && run != nullptr && run->band != nullptr ? GetFieldValueForBand(run, f, valueSource) : f->value;
  const bool set = IsFieldValueSet(m, f, value);
  return (l.flags & kLineFlagInvert) ? !set : set;
}

int FindBandLine(KmDocBase* doc, int bandKind, int checkCondition) {
  if (doc == nullptr || doc->m_bandLines.lines == nullptr) return 0;
  for (int i = 0; i <= LastLine(doc); ++i)
    if (doc->m_bandLines.lines[i].kind == bandKind && (!checkCondition || IsLineShown(doc, i, -1))) return i;
  return 0;
}

int BandHasFlaggedLine(KmDocBase* doc, int bandKind, int skipCondition) {
  if (doc == nullptr || doc->m_bandLines.lines == nullptr) return 0;
  for (int i = 0; i <= LastLine(doc); ++i) {
    const BandLineRec& l = doc->m_bandLines.lines[i];
    if (l.kind == bandKind && (l.flags & kLineFlagPageBreak) && (skipCondition || IsLineShown(doc, i, -1))) return 1;
  }
  return 0;
}

int32_t TrailingBandHeight(KmDocBase* doc, int bandKind, int checkCondition) {
  if (doc == nullptr || doc->m_bandLines.lines == nullptr) return 0;
  int32_t sum = 0;
  bool added = false;
  for (int i = LastLine(doc); i >= 0; --i) {
    const BandLineRec& l = doc->m_bandLines.lines[i];
    if (l.flags & kLineFlagPageBreak) continue;
    const bool ofBand = l.kind == bandKind;
    if (ofBand && LineHasItems(doc, i)) break;
    const bool shown = !checkCondition || IsLineShown(doc, i, -1);
    if (ofBand && shown) {
      sum += LineHeight(doc, i);
      added = true;
    } else if (added) {
      break;
    }
  }
  return sum;
}

LONG RoomLeftOnPage(const ReportRun* run, LONG reserve) {
  if (run == nullptr || run->driver == nullptr || !run->driver->HasEntry(10)) return 0;
  return std::max<LONG>(0, run->driver->SpaceLeft(run->page, run->pageBottom) - reserve);
}

int FlushPendingAdvance(KmDocBase* doc) {
  ReportRun* run = RunOf(doc);
  if (run == nullptr) return 1;
  const LONG fixed = run->fixedAdvance, used = run->advanceUsed;
  run->advanceUsed = 0;
  if (fixed <= 0 || used <= 0 || fixed == used) return 1;
  LONG move = used < fixed ? fixed - used : fixed - used % fixed;
  if (move == fixed) return 1;  // used a whole number of advances
  move = std::min(move, RoomLeftOnPage(run, run->pageFooterHeight));
  if (move <= 0 || run->driver == nullptr || !run->driver->HasEntry(13)) return 1;
  if (run->driver->MoveDown(run->page, move, LinesVisible(run) ? 1 : 0)) return 1;
  doc->m_nRunState = kRunDriverRefused;
  return 0;
}

int GroupLevelOf(KmDocBase* doc, uint32_t fieldIndex) {
  return GroupLevelOf(doc != nullptr ? doc->m_pModel : nullptr, fieldIndex);
}

int GroupLevelOf(CKmComposite* m, uint32_t fieldIndex) {
  if (m == nullptr || fieldIndex == kNoField) return 0;
  const FieldDef* f = m->GetFieldAt(fieldIndex);
  if (f != nullptr && (f->flags & kFieldAlias)) fieldIndex = f->refField;
  for (int level = 0; level < kRunGroupLevels && m->groupFields[level] != kNoField; ++level)
    if (m->groupFields[level] == fieldIndex) return level + 1;
  return 0;
}

void MarkGroupField(ReportRun*, ItemOutput* item) {
  if (item->groupLevel > 0) item->printedOnce = true;
}

int IsGroupFieldSuppressed(ReportRun* run, const ItemOutput* item) {
  if (item->groupLevel <= 0 || !item->printedOnce || run->calc == nullptr) return 0;
  return (run->calc->levels[item->groupLevel - 1].options & kGroupPrintOnce) != 0 ? 1 : 0;
}
