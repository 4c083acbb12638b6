#include "expr/code_walks.h"
#include "foundation/byte_order.h"

#include "expr/builtin_table.h"
#include "expr/compiler_state.h"
#include "expr/scanner.h"
#include "expr/udf.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace {


bool HasConditionCode(const FieldDef* f) { return f->conditionCode != nullptr && f->conditionLength > 0; }
bool IsTotalRelated(const FieldDef* f) {
  return (f->flags & kFieldTotalRelated) || (f->totalFlags & kTotalIsTotal) || HasConditionCode(f);
}

uint32_t FlagsOfResultType(uint8_t rt, uint8_t lastClass) {
  if (rt & kResultLogicalBit) return kFieldLogical;
  switch (rt) {
    case kResultNumber: return kFieldNumeric;
    case kResultDate: return kFieldDate;
    case kResultDateTime: return kFieldDateTime;
    case kResultTime: return kFieldTime;
    case 9: return kFieldMemo;
    case kResultSame:
      if (lastClass == 0x8D) return kFieldLogical;
      if ((lastClass & 0x7F) == 13) return kFieldNumeric;
      if (lastClass == 33) return kFieldDate;
      if (lastClass == 39) return kFieldDateTime;
      if (lastClass == 40) return kFieldTime;
      if (lastClass == 35) return kFieldMemo;
      return 0;
    default: return 0;
  }
}

// The level a referenced field contributes: a slot, 252, 254 or 255 (none).
uint8_t ReferenceLevel(const FieldDef* f) {
  if (!(f->flags & kFieldCalculation) && !(f->totalFlags & kTotalIsTotal) && f->table < kMaxTables)
    return f->table;
  return f->table;
}

}  // namespace

const uint8_t* FieldCode(const FieldDef* f, size_t* length) {
  if ((f->flags & kFieldCalculation) && f->code) {
    *length = f->codeLength;
    return f->code;
  }
  if (f->conditionCode) {
    *length = f->conditionLength;
    return f->conditionCode;
  }
  *length = 0;
  return nullptr;
}

int ScanExpressionDependencies(CKmComposite* m, const uint8_t* code, size_t maxLength,
                               DependencyScan* out, FieldDef* field, bool userFunction, int mode) {
  CompilerState* st = GetCompilerState(m);
  DependencyScan d;
  uint32_t deps = 0;
  bool page = false, several = false;
  int level = -1;
  uint32_t resultFlags = 0;
  int groupLevel = -1;
  int totalLevelSeen = -1;
  bool totalLevelsDiffer = false;
  uint32_t gathered2 = 0;
  bool sqlExp = false;
  bool inCode = false;  // the condition walk's own first reference is not one of the code's
  bool selfReference = false, somePreprocessed = false, allTotalsPreprocessed = true;

  auto reference = [&](FieldDef* f) {
    if (!f) return;
    deps |= f->flags & (kFieldPreviousRelated | kFieldRecordNumber | kFieldPageNumber);
    if (inCode && (f == field || (f->totalFlags & kTotalLevelZero))) selfReference = true;
    if (f->totalFlags & kTotalPreprocessed) somePreprocessed = true;
    else if (IsTotalRelated(f)) allTotalsPreprocessed = false;
    if (IsTotalRelated(f)) {
      deps |= kFieldTotalRelated;
      if (totalLevelSeen >= 0 && totalLevelSeen != f->totalLevel) totalLevelsDiffer = true;
      totalLevelSeen = f->totalLevel;
      if ((f->totalFlags & kTotalIsTotal) && f->totalLevel < 8 && f->totalLevel > groupLevel) {
        groupLevel = f->totalLevel;
        d.groupField = f;
      }
    }
    if (f->flags2 & kField2FilterText) gathered2 |= 0x8;
    if (f->flags2 & 0x40) gathered2 |= 0x40;
    if (!(f->flags & kFieldItem) || (f->flags2 & 0x2)) gathered2 |= 0x2;
    uint8_t l = ReferenceLevel(f);
    if (l == kTablePerRecord) {
      page = true;
    } else if (l != kTableNone) {
      if (level < 0) level = l;
      else if (level != l) several = true;
    }
  };

  const bool conditionWalk = field && field->conditionCode == code && HasConditionCode(field);
  if (conditionWalk) reference(field);
  inCode = true;
  if (field) field->flags2 &= ~kField2ValueSetElsewhere;

  CodeReader r(code, maxLength);
  Instruction in;
  Instruction last;
  int count = 0;
  bool ended = false;
  std::vector<Instruction> all;
  while (r.Next(&in)) {
    if (in.op == OP_END) {
      ended = true;
      d.length = in.offset + 1;
      break;
    }
    ++count;
    switch (in.op) {
      case OP_FIELD:
      case OP_FIELD_PREV: {
        FieldDef* f = FieldAtNumber(m, in.u32);
        reference(f);
        if (in.op == OP_FIELD_PREV) deps |= kFieldPreviousRelated;
        break;
      }
      case OP_TABLE:
        if (level < 0) level = static_cast<int>(in.u32);
        else if (level != static_cast<int>(in.u32)) several = true;
        break;
      case OP_CALL: {
        uint32_t slot = in.u32 & kCallIdMask;
        if (slot == kSlotPageNo) deps |= kFieldPageNumber;
        if (slot == kSlotRecNo) deps |= kFieldRecordNumber;
        if (slot == kSlotPageNo || slot == kSlotRecNo || slot == kSlotPerComp || slot == kSlotSqlExp) page = true;
        if (slot == kSlotQuery) gathered2 |= 0x8;
        if (slot == kSlotSqlExp) sqlExp = true;
        break;
      }
      case OP_UDF_CALL: {
        UdfInfo info;
        if (GetUdfInfo(m, in.u32 & kCallIdMask, &info))
          deps |= info.flags & (kFieldPreviousRelated | kFieldTotalRelated | kFieldRecordNumber | kFieldPageNumber);
        break;
      }
      default:
        break;
    }
    last = in;
    if (all.size() < 3) all.push_back(in);
  }
  if (!ended) {
    d.length = r.position();
    if (out) *out = d;
    return 1;
  }

  if (count > 0) {
    switch (last.op) {
      case OP_ADD: case OP_SUB: case OP_DIV: case OP_MUL: case OP_POW: case OP_PLUS:
      case OP_NEG: case OP_PERCENT: case OP_NUMBER: case OP_DATE_DIFF:
        resultFlags = kFieldNumeric;
        break;
      case OP_TRUE: case OP_FALSE: case OP_EQ: case OP_NE: case OP_LE: case OP_GE: case OP_LT:
      case OP_GT: case OP_AND: case OP_OR: case OP_NOT: case OP_CONTAINS:
        resultFlags = kFieldLogical;
        break;
      case OP_DATE: resultFlags = kFieldDate; break;
      case OP_DATE_ADD: case OP_DATE_SUB:
        resultFlags = st->lastResultClass == 39 ? kFieldDateTime : kFieldDate;
        break;
      case OP_DATETIME: resultFlags = kFieldDateTime; break;
      case OP_TIME: resultFlags = kFieldTime; break;
      case OP_FIELD:
      case OP_FIELD_PREV:
        if (FieldDef* f = FieldAtNumber(m, last.u32)) resultFlags = f->flags & kFieldKindMask;
        break;
      case OP_CALL: {
        const BuiltinFunctionRecord* rec = GetBuiltinFunction(last.u32 & kCallIdMask);
        if (rec) resultFlags = FlagsOfResultType(rec->resultType, st->lastResultClass);
        break;
      }
      case OP_UDF_CALL: {
        UdfInfo info;
        if (GetUdfInfo(m, last.u32 & kCallIdMask, &info))
          resultFlags = FlagsOfResultType(info.resultType, st->lastResultClass);
        break;
      }
      default:
        resultFlags = 0;
        break;
    }
  }

  int err = 0;
  if (sqlExp) {
    if (st->hooks.isSqlReport && st->hooks.isSqlReport(m)) err = 64;
    else if (userFunction || !field) err = userFunction ? 67 : 0;
    if (!err) {
      bool alone = all.size() == 2 && all[0].op == OP_STRING && all[1].op == OP_CALL &&
                   (all[1].u32 & kCallIdMask) == kSlotSqlExp;
      if (!alone) err = 1;
    }
    // Every compile asks (modes 1 and 5); the model's own walks (0) do not.
    if (!err && (mode & 1) && st->hooks.checkDerivedColumn) {
      std::string text(all[0].text, all[0].u32 ? all[0].u32 - 1 : 0);
      for (char& c : text)
        if (c == static_cast<char>(m->SpaceDotChar)) c = ' ';
      err = st->hooks.checkDerivedColumn(m, text.c_str(), field);
    }
    if (field) resultFlags = field->flags & kFieldKindMask;
    gathered2 |= kField2ValueSetElsewhere;
  }
  // SQLEXP sits on the page level, and so does anything that uses it.
  if (page) d.tableLevel = 0xFE;
  else if (level < 0) d.tableLevel = 0xFF;
  else if (several) d.tableLevel = 0;
  else d.tableLevel = static_cast<uint8_t>(level);
  if (totalLevelsDiffer) gathered2 |= 0x20;
  if (field) {
    field->flags2 = (field->flags2 & ~(0x2u | 0x8u | 0x20u | 0x40u)) | gathered2;
    if (selfReference) field->totalFlags |= kTotalLevelZero;
    if (somePreprocessed && allTotalsPreprocessed) field->totalFlags |= kTotalPreprocessed;
  }
  d.typeFlags = resultFlags | deps;
  if (out) *out = d;
  return err;
}

bool CheckFieldReferences(CKmComposite* m, FieldDef* field) {
  size_t len = 0;
  const uint8_t* code = FieldCode(field, &len);
  if (!code) return true;
  CodeReader r(code, len);
  Instruction in;
  while (r.Next(&in) && in.op != OP_END) {
    // A previous value comes from the record before: it waits for nothing.
    if (in.op == OP_FIELD) {
      FieldDef* f = FieldAtNumber(m, in.u32);
      if (f != field && !(f && (f->flags & kFieldRemoveMark))) return false;
    } else if (in.op == OP_TABLE) {
      bool marked = false;
      for (FieldDef* f = m->fieldList; f && !marked; f = f->next)
        marked = f->table == in.u32 && (f->flags & kFieldRemoveMark);
      if (!marked) return false;
    }
  }
  return true;
}

void PropagateFieldUse(CKmComposite* m, bool all) {
  bool changed = true;
  while (changed) {
    changed = false;
    for (FieldDef* f = m->fieldList; f; f = f->next) {
      if (!(f->flags & kFieldRemovePropagated) || (f->flags & kFieldAlias)) continue;
      size_t len = 0;
      const uint8_t* code = FieldCode(f, &len);
      if (!code) continue;
      ForEachFieldReference(code, len, [&](uint32_t n, bool) {
        FieldDef* g = FieldAtNumber(m, n);
        if (g && !(g->flags & kFieldRemovePropagated)) {
          g->flags |= kFieldRemovePropagated;
          changed = true;
        }
      });
    }
  }
}

void PropagateFieldUseAll(CKmComposite* m) { PropagateFieldUse(m, true); }

namespace {

bool HasCode(const FieldDef* f) {
  size_t len = 0;
  return FieldCode(f, &len) != nullptr;
}

// Marks 0x20 exactly the fields pick accepts, then follows their code.
template <typename Pick>
void MarkAndPropagate(CKmComposite* m, bool all, Pick pick) {
  for (FieldDef* f = m->fieldList; f; f = f->next)
    f->flags = pick(f) ? (f->flags | kFieldRemovePropagated) : (f->flags & ~kFieldRemovePropagated);
  PropagateFieldUse(m, all);
}

}  // namespace

void MarkRequiredFields(CKmComposite* m, bool* changed, bool all) {
  bool added = false;
  auto use = [&](FieldDef* f) {
    if (f && !(f->flags & kFieldNeeded)) {
      f->flags |= kFieldNeeded;
      added = true;
    }
  };
  auto isAlias = [](const FieldDef* f) { return (f->flags & kFieldAlias) != 0; };
  // 1-2: the selection field, and the bases of in-use calculated aliases.
  use(m->selectionField);
  for (FieldDef* f = m->fieldList; f; f = f->next)
    if ((f->flags & kFieldNeeded) && isAlias(f) && (f->flags & kFieldCalculation))
      use(FieldAtNumber(m, f->refField));
  // 3: a memo in use means fields that keep previous values or refer to
  // themselves must be evaluated on every record.
  bool memoInUse = false;
  for (FieldDef* f = m->fieldList; f; f = f->next)
    memoInUse = memoInUse || ((f->flags & kFieldNeeded) && !isAlias(f) && (f->flags & kFieldMemo));
  if (memoInUse)
    for (FieldDef* f = m->fieldList; f; f = f->next)
      if ((f->flags & kFieldDoubleWidth) || (f->totalFlags & kTotalLevelZero)) use(f);
  // 4: what in-use join fields depend on is needed before the joins are made.
  MarkAndPropagate(m, all, [](FieldDef* f) {
    return (f->flags & (kFieldNeeded | kFieldJoin | kFieldAlias)) == (kFieldNeeded | kFieldJoin);
  });
  for (FieldDef* f = m->fieldList; f; f = f->next)
    if (f->flags & kFieldRemovePropagated) f->needed = 1;
  // 5: everything the code of an in-use or join field refers to is in use.
  MarkAndPropagate(m, all, [&](FieldDef* f) {
    return !isAlias(f) && HasCode(f) && (f->flags & (kFieldJoin | kFieldNeeded));
  });
  for (FieldDef* f = m->fieldList; f; f = f->next) {
    if (f->flags & kFieldRemovePropagated) use(f);
    f->flags &= ~kFieldRemovePropagated;
  }
  // 6.
  m->engineComputedFields = 0;
  for (FieldDef* f = m->fieldList; f; f = f->next)
    if (!isAlias(f) && (f->flags & 0xE000u) == 0xE000u) m->engineComputedFields = 1;
  // 7: what the group-level and report-level chains evaluate is needed.
  for (FieldDef* f = m->fieldList; f; f = f->next) f->flags &= ~kFieldRemovePropagated;
  for (FieldDef* chain : m->levelTotalChains)
    for (FieldDef* f = chain; f; f = f->orderNext)
      if ((f->flags & kFieldNeeded) && !isAlias(f) && HasCode(f)) f->flags |= kFieldRemovePropagated;
  PropagateFieldUse(m, all);
  for (FieldDef* f = m->fieldList; f; f = f->next) {
    if (f->flags & kFieldRemovePropagated) f->needed = 1;
    f->flags &= ~kFieldRemovePropagated;
  }
  if (changed) *changed = added;
}

FieldDef* FindFieldReferencing(CKmComposite* m, uint32_t n, const FieldDef* except) {
  for (FieldDef* f = m->fieldList; f; f = f->next) {
    if (f == except || (f->flags & (kFieldAlias | kFieldRemoveMark | kFieldRemovePropagated))) continue;
    if ((f->flags & kFieldCalculation) && f->code && ExpressionReferencesField(f->code, f->codeLength, n)) return f;
    if (f->conditionCode && ExpressionReferencesField(f->conditionCode, f->conditionLength, n)) return f;
  }
  return nullptr;
}

bool IsFieldValueSet(CKmComposite* m, const FieldDef* f, const uint8_t* value) {
  if (!value) return false;
  uint32_t kind = f->flags & kFieldKindMask;
  if (kind & kFieldLogical) return value[0] != 0;
  if (kind & kFieldNumeric) {
    double v = GetF64(value);
    return v != 0 && v != -1.7976931348623157e308 && std::isfinite(v);
  }
  if (kind & (kFieldDateTime | kFieldTime)) {
    double t = GetF64(value + 4);
    return t != -1.7976931348623157e308 && std::isfinite(t);
  }
  if (kind & kFieldDate) {
    uint32_t d = GetU32(value);
    return d != 0x80000001u && d != 0x7FFFFFFFu;
  }
  const char* text = reinterpret_cast<const char*>(value);
  size_t n = strnlen(text, kStringWorkSize);
  if (kind & kFieldMemo) {
    for (size_t i = 0; i < n; ++i)
      if (!std::isspace(static_cast<unsigned char>(text[i]))) return true;
    return false;
  }
  while (n > 0 && text[n - 1] == ' ') --n;
  return n > 0;
}

bool CodeCallsFunction(const uint8_t* code, size_t length, uint32_t id, bool builtin) {
  if (!code) return false;
  CodeReader r(code, length);
  Instruction in;
  while (r.Next(&in) && in.op != OP_END)
    if (in.op == (builtin ? OP_CALL : OP_UDF_CALL) && (in.u32 & kCallIdMask) == (id & kCallIdMask)) return true;
  return false;
}

bool UsesCopyFunction(CKmComposite* m) {
  for (FieldDef* f = m->fieldList; f; f = f->next)
    if ((f->flags & kFieldNeeded) && (f->flags & kFieldCalculation) && !(f->flags & kFieldAlias) &&
        CodeCallsFunction(f->code, f->codeLength, kSlotCopy, true))
      return true;
  return false;
}

std::string EscapeExpressionName(const char* name) {
  std::string s;
  for (const char* p = name; *p; ++p) {
    if (*p == ' ' || std::strchr("+-/*^%(),=#<>$!\"'[{", *p)) s += '\\';
    s += *p;
  }
  return s;
}

std::string RenameInExpressionText(CKmComposite* m, const char* text, int kind,
                                   uint32_t fieldNumber, int tableSlot, const char* newName,
                                   bool qualifyOnly) {
  ExpressionScan scan;
  std::string result(text);
  if (PrepareExpressionText(m, scan, text)) return result;
  struct Edit {
    size_t from, to;
    std::string with;
  };
  std::vector<Edit> edits;
  const std::string name = EscapeExpressionName(newName);
  ScanToken t;
  while (NextExpressionToken(m, scan, t, false) != kTokEnd) {
    if (t.code == kTokField && kind == kRenameField && t.value == fieldNumber) {
      if (qualifyOnly) {
        if (!t.qualified) edits.push_back({t.start, t.start, name + "."});
      } else if (t.qualified) {
        edits.push_back({t.dotAt + 1, t.end, name});
      } else {
        edits.push_back({t.start, t.end, name});
      }
    } else if (kind == kRenameFunction && t.code == kTokFunction && t.function < 0 &&
               static_cast<uint32_t>(-static_cast<int64_t>(t.function)) == fieldNumber) {
      edits.push_back({t.start, t.end, name});
    } else if (kind == kRenameTable && t.code == kTokTable && static_cast<int>(t.value) == tableSlot) {
      edits.push_back({t.start, t.end, name});
    } else if (kind == kRenameTable && t.code == kTokField && t.qualified) {
      FieldDef* f = FieldAtNumber(m, t.value);
      if (f && f->table == tableSlot) edits.push_back({t.start, t.dotAt, name});
    }
    if (t.code == kTokError && scan.position == t.start) break;
  }
  for (auto e = edits.rbegin(); e != edits.rend(); ++e) result.replace(e->from, e->to - e->from, e->with);
  return result;
}

std::string ReplaceNameInExpressionText(CKmComposite* m, const char* text, const char* alias) {
  ExpressionScan scan;
  std::string result(text);
  if (PrepareExpressionText(m, scan, text)) return result;
  std::vector<size_t> at;
  ScanToken t;
  while (NextExpressionToken(m, scan, t, false) != kTokEnd)
    if (t.code == kTokField && !t.qualified) at.push_back(t.start);
  const std::string prefix = EscapeExpressionName(alias) + ".";
  for (auto p = at.rbegin(); p != at.rend(); ++p) result.insert(*p, prefix);
  return result;
}

void RenameInCompiledCode(CKmComposite* m, int kind, uint32_t fieldNumber, int tableSlot,
                          const char* newName, const char* oldName) {
  const bool qualify = oldName == nullptr;
  std::string qualifier;
  if (qualify) {
    FieldDef* f = FieldAtNumber(m, fieldNumber);
    if (!f || f->table >= kMaxTables || !m->tableSlots[f->table]) return;
    qualifier = m->tableSlots[f->table]->alias;
    newName = qualifier.c_str();
    kind = kRenameField;
  }
  for (FieldDef* f = m->fieldList; f; f = f->next) {
    if (f->flags & kFieldAlias) continue;
    char** texts[2] = {(f->flags & kFieldCalculation) ? &f->exprText : nullptr, &f->conditionText};
    const uint8_t* codes[2] = {f->code, f->conditionCode};
    uint32_t lengths[2] = {f->codeLength, f->conditionLength};
    for (int i = 0; i < 2; ++i) {
      if (!texts[i] || !*texts[i] || !codes[i]) continue;
      bool refers = false;
      CodeReader r(codes[i], lengths[i]);
      Instruction in;
      while (!refers && r.Next(&in) && in.op != OP_END) {
        if (in.op == OP_FIELD || in.op == OP_FIELD_PREV) {
          if (kind == kRenameField) {
            refers = in.u32 == fieldNumber;
          } else {
            FieldDef* g = FieldAtNumber(m, in.u32);
            refers = g && g->table == tableSlot;
          }
        } else if (in.op == OP_TABLE) {
          refers = kind == kRenameTable && static_cast<int>(in.u32) == tableSlot;
        }
      }
      if (!refers) continue;
      std::string s = RenameInExpressionText(m, *texts[i], kind, fieldNumber, tableSlot, newName, qualify);
      char* block = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(s.size() + 1)));
      if (!block) continue;
      std::memcpy(block, s.c_str(), s.size() + 1);
      HeapFreeBlock(*texts[i]);
      *texts[i] = block;
    }
  }
}

namespace {

constexpr uint32_t kUdfMarks = kUdfMarkCompiles | kUdfMarkBroken;

bool FieldCallsUdf(const FieldDef* f, uint32_t id) {
  if (f->flags & kFieldAlias) return false;
  if ((f->flags & kFieldCalculation) && CodeCallsFunction(f->code, f->codeLength, id, false)) return true;
  return CodeCallsFunction(f->conditionCode, f->conditionLength, id, false);
}

}  // namespace

bool IsFunctionUsed(CKmComposite* m, uint32_t id) {
  for (FieldDef* f = m->fieldList; f; f = f->next) f->flags &= ~(kFieldRemoveMark | kFieldRemovePropagated);
  for (UdfNode* n = m->udfList; n; n = n->next) n->flags &= ~kUdfMarks;
  bool used = false;
  for (UdfNode* n = m->udfList; n; n = n->next) {
    if ((n->id & kCallIdMask) == (id & kCallIdMask)) {
      n->flags |= kUdfMarkCompiles;
    } else if (CodeCallsFunction(n->code, n->codeLength, id, false)) {
      n->flags |= kUdfMarkCompiles;
      used = true;
    }
  }
  for (FieldDef* f = m->fieldList; f; f = f->next)
    if (FieldCallsUdf(f, id)) {
      f->flags |= kFieldRemoveMark;
      used = true;
    }
  return used;
}

bool MarkFunctionUsers(CKmComposite* m, uint32_t id) {
  bool found = false;
  for (UdfNode* n = m->udfList; n; n = n->next)
    if ((n->id & kCallIdMask) != (id & kCallIdMask) && CodeCallsFunction(n->code, n->codeLength, id, false)) {
      n->flags |= kUdfMarkCompiles;
      found = true;
    }
  // Each marked function is processed once (0x10 becomes 0x20) and marks its
  // own callers, so a chain A -> B -> C is followed to its end even with cycles.
  for (bool more = true; more;) {
    more = false;
    for (UdfNode* n = m->udfList; n; n = n->next) {
      if (!(n->flags & kUdfMarkCompiles)) continue;
      n->flags = (n->flags & ~kUdfMarkCompiles) | kUdfMarkBroken;
      more = true;
      for (UdfNode* c = m->udfList; c; c = c->next)
        if (!(c->flags & kUdfMarks) && (c->id & kCallIdMask) != (id & kCallIdMask) &&
            CodeCallsFunction(c->code, c->codeLength, n->id, false))
          c->flags |= kUdfMarkCompiles;
    }
  }
  for (FieldDef* f = m->fieldList; f; f = f->next) {
    if (!(f->flags & kFieldCalculation) && !f->conditionCode) continue;
    bool calls = FieldCallsUdf(f, id);
    for (UdfNode* n = m->udfList; n && !calls; n = n->next)
      calls = (n->flags & kUdfMarkBroken) && FieldCallsUdf(f, n->id);
    if (calls) {
      f->flags |= kFieldRemoveMark;
      found = true;
    }
  }
  return found;
}

UdfNode* FindUncompiledUdf(CKmComposite* m) {
  MarkUsedUdfs(m);
  for (UdfNode* n = m->udfList; n; n = n->next)
    if ((n->flags & kUdfUsed) && n->code == nullptr) return n;
  return nullptr;
}

void RenameFunctionInTexts(CKmComposite* m, uint32_t id, const char* newName) {
  auto rewrite = [&](char*& text) {
    if (!text) return;
    std::string renamed = RenameInExpressionText(m, text, kRenameFunction, id & kCallIdMask, -1, newName, false);
    if (renamed == text) return;
    char* block = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(renamed.size() + 1)));
    if (!block) return;  // the old text stays; the code (by id) is still right
    std::memcpy(block, renamed.data(), renamed.size());
    HeapFreeBlock(text);
    text = block;
  };
  for (FieldDef* f = m->fieldList; f; f = f->next) {
    if (!FieldCallsUdf(f, id)) continue;
    if (f->flags & kFieldCalculation) rewrite(f->exprText);
    rewrite(f->conditionText);
  }
  for (UdfNode* n = m->udfList; n; n = n->next) {
    if ((n->id & kCallIdMask) == (id & kCallIdMask) || !CodeCallsFunction(n->code, n->codeLength, id, false)) continue;
    if (!n->body) continue;
    // A body keeps its padding, so a later rename still fits in place.
    const size_t oldLength = std::strlen(n->body);
    std::string renamed = RenameInExpressionText(m, n->body, kRenameFunction, id & kCallIdMask, -1, newName, false);
    size_t trimmed = renamed.size();
    while (trimmed > 0 && renamed[trimmed - 1] == ' ') --trimmed;
    renamed.resize(trimmed);
    if (renamed.size() < oldLength) renamed.append(oldLength - renamed.size(), ' ');
    char* block = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(renamed.size() + 1)));
    if (!block) continue;
    std::memcpy(block, renamed.data(), renamed.size());
    HeapFreeBlock(n->body);
    n->body = block;
  }
}

