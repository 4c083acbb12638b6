#include "model/relation_wording.h"

#include "expr/code_walks.h"
#include "core/compiled_code.h"
#include "expr/scanner.h"
#include "core/composite.h"

#include <cctype>
#include <cstring>

namespace {

bool PairUsed(const uint32_t pair[2]) { return pair[0] != kNoField || pair[1] != kNoField; }

bool SecondPairUsed(const TableSlot* t) { return PairUsed(t->link.pairs[1]); }

const char* SlotAlias(CKmComposite* m, int slot) {
  if (slot < 0 || slot >= kMaxTables || !m->tableSlots[slot]) return "";
  return m->tableSlots[slot]->alias;
}

// The report side of the first pair decides which table the relation starts from.
int ReportSideSlot(CKmComposite* m, const TableSlot* t) {
  if (!PairUsed(t->link.pairs[0])) return 0;
  FieldDef* f = FieldAtNumber(m, t->link.pairs[0][0]);
  return (f && f->table < 128) ? f->table : 0;
}

}  // namespace

TableSlot* GetTableByNumber(CKmComposite* m, int number) {
  if (number < 1 || number > 99) return nullptr;
  uint8_t map[100];
  m->GetTableOrder(map);
  uint8_t slot = map[number - 1];
  if (slot == 255 || slot >= kMaxTables) return nullptr;
  return m->tableSlots[slot];
}

int FindTableByAlias(CKmComposite* m, const char* alias) {
  for (int n = 1; n <= 99; ++n) {
    TableSlot* t = GetTableByNumber(m, n);
    if (!t) return -1;
    if (strcasecmp(t->alias, alias) == 0) return n;
  }
  return -1;
}

void AppendShortFieldName(std::string& out, const FieldDef* field) {
  if (field) out.append(field->name, strnlen(field->name, 10));
}

int FormatRelationExpression(CKmComposite* m, int number, std::string& out) {
  TableSlot* t = GetTableByNumber(m, number);
  if (!t) return 1;
  out.clear();
  bool untranslatable = false;
  for (const JoinLink* b = &t->link; b; b = b->next)
    for (const auto& pair : b->pairs) {
      if (!PairUsed(pair)) continue;
      FieldDef* report = FieldAtNumber(m, pair[0]);
      FieldDef* lookup = FieldAtNumber(m, pair[1]);
      if ((report && (report->flags2 & kField2NotInTable)) || (lookup && (lookup->flags2 & kField2NotInTable)) ||
          (report && (report->flags & kFieldCalculation) && !report->sqlText))
        untranslatable = true;
    }
  if (untranslatable) out += "? ";
  out += (t->relationBits & kRelationApproxPrev) ? "approxlo(" : (t->relationBits & kRelationApproxNext) ? "approxhi(" : "join(";
  if (PairUsed(t->link.pairs[0])) {
    const bool more = SecondPairUsed(t);
    FieldDef* report = FieldAtNumber(m, t->link.pairs[0][0]);
    if (report && report->table < 128) {
      out += SlotAlias(m, report->table);
      out += ".";
    }
    AppendShortFieldName(out, report);
    if (more) out += "...";
    out += ", ";
    out += t->alias;
    out += ".";
    AppendShortFieldName(out, FieldAtNumber(m, t->link.pairs[0][1]));
    if (more) out += "...";
    out += ", ";
    uint8_t rule = t->relationBits & 0x60;
    out += rule == 0x20 ? "related-blank)" : rule == 0x40 ? "skip)" : "initial-blank)";
  } else {
    out += SlotAlias(m, 0);
    out += ",";
    out += t->alias;
    out += ")";
  }
  return 0;
}

int DescribeRelation(CKmComposite* m, int number, std::string& out) {
  TableSlot* t = GetTableByNumber(m, number);
  if (!t) return 1;
  const std::string master = SlotAlias(m, ReportSideSlot(m, t));
  const std::string lookup = t->alias;
  out = "For each " + master;
  if (!PairUsed(t->link.pairs[0])) {
    out += " record, use every " + lookup + " record.  ";
    return 0;
  }
  const bool more = SecondPairUsed(t);
  FieldDef* report = FieldAtNumber(m, t->link.pairs[0][0]);
  FieldDef* key = FieldAtNumber(m, t->link.pairs[0][1]);
  out += " record, use the ";
  out += report ? report->name : "";
  out += more ? " field and others to " : " field to ";
  out += "look up the matching ";
  if (t->relationBits & kRelationApproxNext) out += "or next ";
  out += lookup + " table record using its ";
  if (t->relationBits & kRelationSet) {
    out += key ? key->name : "";
    out += more ? " field and others. " : " field. ";
  }
  switch (t->relationBits & 0x60) {
    case 0x20:
      out += "For each " + master + " record without a matching " + lookup + " record, use one blank " + lookup +
             " record.  ";
      break;
    case 0x40:
      out += "If no " + lookup + " record is found, skip the " + master + " table record. ";
      break;
    case 0x60:
      out += "For each " + lookup + " record without a matching " + master + " record, use one blank " + master +
             " record.  ";
      break;
    default:
      break;
  }
  return 0;
}

FieldDef* FindFieldUsingTable(CKmComposite* m, int slot) {
  for (FieldDef* f = m->fieldList; f; f = f->next) {
    bool calc = f->flags & kFieldCalculation;
    bool total = f->totalFlags & kTotalIsTotal;
    if ((!calc && !total) || (f->flags & 0x32)) continue;
    const uint8_t* code = calc ? f->code : f->conditionCode;
    size_t length = calc ? f->codeLength : f->conditionLength;
    if (!code) continue;
    CodeReader r(code, length);
    Instruction in;
    while (r.Next(&in) && in.op != OP_END) {
      if (in.op == OP_TABLE && static_cast<int>(in.u32) == slot) return f;
      if (in.op == OP_FIELD || in.op == OP_FIELD_PREV) {
        FieldDef* g = FieldAtNumber(m, in.u32);
        if (g && !(g->flags & kFieldCalculation) && g->table == slot) return f;
      }
    }
  }
  return nullptr;
}
