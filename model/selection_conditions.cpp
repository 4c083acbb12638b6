#include "model/selection_conditions.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "expr/calendar.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"
#include "model/condition_dates.h"
#include "model/field_dependencies.h"
#include "core/fields.h"
#include "model/filter_spec.h"
#include "model/record_filter.h"
#include "model/record_pass.h"
#include "foundation/text_helpers.h"

namespace {

enum ValueKind { kValEmpty, kValNumber, kValText, kValLogical, kValField, kValDate };
struct Value {
  ValueKind kind = kValEmpty;
  double number = 0;
  std::string text;
  bool logical = false;
  uint32_t field = kNoField;
  int position = 0;
  ConditionDate date;
};

uint32_t Kind(const FieldDef* f) { return f->flags & kFieldKindMask; }
bool IsTextKind(uint32_t k) { return k == 0 || k == kFieldMemo; }
bool IsTotalish(const FieldDef* f) { return (f->flags & kFieldTotalRelated) || (f->totalFlags & kTotalIsTotal); }

const uint8_t* CodeEnd(CKmComposite* m) { return m->conditionCode + m->conditionLength; }

// Text literals of the stored code, for the quote choice.
std::vector<std::string> TextLiterals(CKmComposite* m) {
  std::vector<std::string> out;
  if (!m->conditionCode) return out;
  const uint8_t* p = m->conditionCode;
  const uint8_t* end = CodeEnd(m);
  while (p < end && *p) {
    const size_t n = ConditionTokenSize(p, end);
    if (n == 0) break;
    if (*p == kCondText || *p == kCondText2) out.emplace_back(ConditionText(p), ConditionTextLength(n));
    p += n;
  }
  return out;
}

std::string NumberText(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

// Finds a field by a name as typed ("alias.name" or "name"); 3 when ambiguous.
int FindFieldByName(CKmComposite* m, const std::string& typed, uint32_t* out) {
  std::string alias, name = typed;
  const size_t dot = typed.find('.');
  if (dot != std::string::npos) {
    alias = typed.substr(0, dot);
    name = typed.substr(dot + 1);
  }
  std::string plain;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && i + 1 < name.size()) ++i;
    plain.push_back(name[i]);
  }
  int hits = 0;
  uint32_t n = 0;
  for (FieldDef* f = m->fieldList; f; f = f->next, ++n) {
    if ((f->flags & kFieldAlias) || !EqualNoCase(plain.c_str(), f->name)) continue;
    if (!alias.empty()) {
      const TableSlot* t = f->table < kMaxTables ? m->tableSlots[f->table] : nullptr;
      if (!t || !EqualNoCase(alias.c_str(), t->alias)) continue;
    }
    if (hits++ == 0) *out = n;
  }
  if (hits == 0) return kCondErrInvalid;
  return hits > 1 ? kCondErrQualify : 0;
}

// Reads the value text into values; 0 or an error code with its position.
int ReadValues(CKmComposite* m, const char* text, std::vector<Value>* values, int* position) {
  values->clear();
  const char* p = text;
  bool negate = false;
  bool afterValue = false;  // a value was read since the last ","
  bool any = false;
  while (*p) {
    if (*p == ' ' || *p == '\t') { ++p; continue; }
    const int at = static_cast<int>(p - text);
    if (*p == ',') {
      if (!afterValue) values->push_back(Value{});
      afterValue = false;
      any = true;
      ++p;
      continue;
    }
    if (afterValue) { *position = at; return kCondErrInvalid; }
    Value v;
    v.position = at;
    if (*p == '-') { negate = !negate; ++p; continue; }
    if ((*p >= '0' && *p <= '9') || *p == '.') {
      char* endp = nullptr;
      v.number = std::strtod(p, &endp);
      if (endp == p) { *position = at; return kCondErrInvalid; }
      if (negate) v.number = -v.number;
      negate = false;
      if (std::fabs(v.number) >= 1e18) { *position = at; return kCondErrInvalid; }
      v.kind = kValNumber;
      p = endp;
    } else if (*p == '\'' || *p == '"' || *p == '[') {
      const char close = *p == '[' ? ']' : *p;
      const char* q = std::strchr(p + 1, close);
      if (!q) { *position = at; return kCondErrUnterminated; }
      v.text.assign(p + 1, q);
      v.kind = v.text.empty() ? kValEmpty : kValText;
      p = q + 1;
    } else if (*p == '{') {
      const char* q = std::strchr(p + 1, '}');
      if (!q) { *position = at; return kCondErrInvalid; }
      if (int rc = ReadConditionDate(m, p + 1, q, &v.date)) { *position = at; return rc; }
      v.kind = v.date.token ? kValDate : kValEmpty;
      p = q + 1;
    } else {
      std::string word;
      while (*p && *p != ',' && !(*p == ' ' && (word.empty() || word.back() != '\\'))) word.push_back(*p++);
      if (EqualNoCase(word.c_str(), "TRUE") || EqualNoCase(word.c_str(), "FALSE")) {
        v.kind = kValLogical;
        v.logical = EqualNoCase(word.c_str(), "TRUE");
      } else {
        int rc = FindFieldByName(m, word, &v.field);
        if (rc) { *position = at; return rc; }
        v.kind = kValField;
      }
    }
    values->push_back(v);
    afterValue = true;
    any = true;
  }
  if (any && !afterValue) values->push_back(Value{});  // a trailing ","
  return 0;
}

int FieldOwnChecks(CKmComposite* m, const FieldDef* f, int* warning) {
  if (f->flags & kFieldRecordNumber) return kCondErrRecordNumber;
  if (f->flags & kFieldPageNumber) return kCondErrPageNumber;
  if (f->flags2 & kField2FilterText) return kCondErrQuery;
  const int w = CheckTotalFieldCondition(m, f);
  if (w == kCondWarnRunningTotal || w == kCondWarnOtherLevel) *warning = w;
  else if (w) return w;
  return 0;
}

int CompareValues(CKmComposite* m, const Value& a, const Value& b) {
  if (a.kind == kValNumber) return a.number < b.number ? -1 : a.number > b.number ? 1 : 0;
  if (a.kind == kValDate) return CompareConditionDates(a.date, b.date);
  if (a.kind == kValText) {
    if (m->compareText) return m->compareText(m, a.text.c_str(), b.text.c_str(), m->IdenticalCompare, m->CompareCaseCombined);
    return std::strcmp(a.text.c_str(), b.text.c_str());
  }
  return 0;
}

size_t ValueSize(const Value& v, const FieldDef* f) {
  switch (v.kind) {
    case kValNumber: return kCondNumberSize;
    case kValField: return kCondFieldSize;
    case kValLogical: return kCondLogicalSize;
    case kValText: return ConditionTextSize(v.text.size());
    case kValDate: return ConditionDateSize(v.date, Kind(f));
    default: return NullLiteralSize(f);
  }
}

}  // namespace

int KindErrorCode(uint32_t kind) {
  switch (kind) {
    case kFieldNumeric: return kCondErrNumber;
    case kFieldDate: return kCondErrDate;
    case kFieldLogical: return kCondErrLogical;
    case kFieldDateTime: return kCondErrDateTime;
    case kFieldTime: return kCondErrTime;
    default: return kCondErrText;
  }
}

size_t NullLiteralSize(const FieldDef* f) {
  uint8_t token[kCondLongestFixedToken];
  return WriteNullLiteral(token, f);
}

size_t WriteNullLiteral(uint8_t* out, const FieldDef* f) {
  auto emptyText = [out](uint8_t type) {
    out[0] = type;
    out[kCondPayload] = 0;
    return ConditionTextSize(0);
  };
  switch (Kind(f)) {
    case kFieldDate: return PutConditionDate(out, 0x80000001u);
    case kFieldLogical: return PutConditionLogical(out, 0);
    case kFieldMemo: return emptyText(kCondText2);
    case kFieldDateTime: return PutConditionDateTime(out, 0x80000001u, kNullNumber);
    case kFieldNumeric:
    case kFieldTime: return PutConditionNumber(out, kNullNumber);
    default: return emptyText(kCondText);
  }
}

int CheckTotalFieldCondition(CKmComposite* m, const FieldDef* f) {
  if (!IsTotalish(f)) return 0;
  const FieldDef* total = f;
  for (uint32_t guard = 0; total && !(total->totalFlags & kTotalIsTotal) && guard <= m->fieldCount; ++guard)
    total = total->refField != kNoField ? m->GetFieldAt(total->refField) : nullptr;
  const int lowest = GetLowestPreTotalLevel(m);
  if (lowest >= 0) {
    if (!((f->totalFlags & kTotalIsTotal) && (f->totalFlags & kTotalPreprocessed)) && f == total)
      return kCondWarnRunningTotal;
    if (!total || !(total->totalFlags & kTotalPreprocessed)) return kCondWarnRunningTotal;
    return total->totalReset != lowest ? kCondWarnOtherLevel : 0;
  }
  if (!total) return 0;
  return total->totalLevel < 255 || (total->totalReset != 0 && total->totalReset != 1) ? kCondErrRunningTotal : 0;
}

int CountSelectConditions(CKmComposite* m) {
  if (!m->conditionCode) return 0;
  int count = 1;
  const uint8_t* p = m->conditionCode;
  const uint8_t* end = CodeEnd(m);
  while (p < end && *p) {
    const size_t n = ConditionTokenSize(p, end);
    if (n == 0) break;
    if (*p == kCondAnd || *p == kCondOr) ++count;
    p += n;
  }
  return count;
}

char ChooseQuoteChar(CKmComposite* m) {
  const std::vector<std::string> texts = TextLiterals(m);
  auto none = [&](const char* chars) {
    for (const std::string& t : texts)
      if (t.find_first_of(chars) != std::string::npos) return false;
    return true;
  };
  if (none("'")) return '\'';
  if (none("\"")) return '"';
  if (none("[]")) return '[';
  return '\'';
}

int FormatSelectCondition(CKmComposite* m, int count, SelectConditionRow* rows) {
  if (!m->conditionCode) return 0;
  const char quote = ChooseQuoteChar(m);
  const char closeQuote = quote == '[' ? ']' : quote;
  const uint8_t* p = m->conditionCode;
  const uint8_t* end = CodeEnd(m);
  for (int i = 0; i < count; ++i) {
    SelectConditionRow& r = rows[i];
    r = SelectConditionRow{};
    if (p < end && (*p == kCondAnd || *p == kCondOr)) r.joining = *p++ == kCondAnd ? 1 : 2;
    while (p < end && *p == kCondOpen) { ++r.open; ++p; }
    if (static_cast<size_t>(end - p) < kCondFieldAndOperator || *p != kCondField) return 0;
    r.field = ConditionFieldNumber(p);
    r.op = p[kCondFieldSize];
    p += kCondFieldAndOperator;
    std::string text;
    bool first = true;
    while (p < end && *p != kCondEndMark) {
      const size_t n = ConditionTokenSize(p, end);
      if (n == 0) return 0;
      if (r.op != kCondIsNull && r.op != kCondIsNotNull) {
        if (!first) text += ",";
        first = false;
        switch (*p) {
          case kCondField: {
            const uint32_t fn = ConditionFieldNumber(p);
            const FieldDef* f = fn == kNoField ? nullptr : m->GetFieldAt(fn);
            if (!f) { text += "???"; break; }
            r.operand = fn;
            uint32_t found = 0;
            if (FindFieldByName(m, f->name, &found) == kCondErrQualify && f->table < kMaxTables &&
                m->tableSlots[f->table]) {
              text += m->tableSlots[f->table]->alias;
              text += ".";
            }
            for (const char* c = f->name; *c; ++c) {
              if (*c == ' ') text += '\\';
              text += *c;
            }
            break;
          }
          case kCondText:
          case kCondText2:
            text += quote;
            text.append(ConditionText(p), ConditionTextLength(n));
            text += closeQuote;
            break;
          case kCondNumber: {
            const double v = ConditionNumber(p);
            if (v != kNullNumber) text += NumberText(v);
            break;
          }
          case kCondLogical: text += ConditionLogical(p) ? "True" : "False"; break;
          case kCondDate:
          case kCondDateTime:
          case kCondTime:
            text += FormatConditionDate(m, p, n);
            break;
          default: break;
        }
      }
      p += n;
    }
    if (p >= end) return 0;
    ++p;  // end mark
    while (p < end && *p == kCondClose) { ++r.close; ++p; }
    std::snprintf(r.values, sizeof r.values, "%s", text.c_str());
  }
  return 1;
}

int ParseConditionValue(CKmComposite* m, SelectConditionRow* row, int* code, int* position) {
  *code = 0;
  *position = 0;
  int warning = 0;
  const FieldDef* f = row->field == kNoField ? nullptr : m->GetFieldAt(row->field);
  if (!f) { *code = kCondErrFieldMissing; return 0; }
  if (int rc = FieldOwnChecks(m, f, &warning)) { *code = rc; return 0; }
  if (row->op == kCondIsNull || row->op == kCondIsNotNull) {
    row->values[0] = '\0';
    if (warning) { *code = warning; return 0; }
    return 1;
  }
  std::vector<Value> values;
  if (int rc = ReadValues(m, row->values, &values, position)) { *code = rc; return 0; }
  const uint32_t kind = Kind(f);
  const bool range = row->op == kCondBetween || row->op == kCondNotBetween;
  const bool list = row->op == kCondOneOf || row->op == kCondNoneOf;
  row->operand = kConditionNoOperand;
  for (const Value& v : values) {
    *position = v.position;
    int rc = 0;
    switch (v.kind) {
      case kValNumber: rc = kind == kFieldNumeric ? 0 : KindErrorCode(kind); break;
      case kValLogical: rc = kind == kFieldLogical ? 0 : kCondErrLogical; break;
      case kValText: rc = IsTextKind(kind) ? 0 : KindErrorCode(kind); break;
      case kValDate: rc = CheckConditionDateKind(v.date, kind); break;
      case kValField: {
        const FieldDef* g = m->GetFieldAt(v.field);
        rc = FieldOwnChecks(m, g, &warning);
        if (!rc && range) rc = kCondErrFieldInRange;
        if (!rc && list) rc = kCondErrFieldInList;
        const uint32_t gk = Kind(g);
        if (!rc && !(gk == kind || (kind == kFieldMemo && gk == 0))) rc = kCondErrTypes;
        if (!rc) row->operand = v.field;
        break;
      }
      default: break;
    }
    if (rc) { *code = rc; return 0; }
  }
  *position = 0;
  const size_t n = values.size();
  bool anyEmpty = false;
  for (const Value& v : values) anyEmpty = anyEmpty || v.kind == kValEmpty;
  if (row->op >= kCondEqual && row->op <= kCondLessEqual) {
    if (n >= 2) { *code = kCondErrSingle; return 0; }
    if (n == 0 || anyEmpty) {
      if (row->op >= kCondGreater) { *code = kCondErrRangeEmpty; return 0; }
      row->op = row->op == kCondEqual ? kCondIsNull : kCondIsNotNull;
      row->operand = kConditionEmptyBecameNull;
      row->values[0] = '\0';
    }
  } else if (range) {
    if (n != 2) { *code = kCondErrRangeTwo; return 0; }
    if (anyEmpty) { *code = kCondErrRangeEmpty; return 0; }
    if (values[0].kind == values[1].kind && CompareValues(m, values[0], values[1]) > 0) {
      *code = kCondErrRangeOrder;
      return 0;
    }
  } else if (list) {
    if (n == 1) { *code = kCondErrListTwo; return 0; }
  }
  if (warning) { *code = warning; return 0; }
  return 1;
}

int ParseConditionList(CKmComposite* m, int count, SelectConditionRow* rows, int* code, int* row) {
  *code = 0;
  *row = 0;
  int firstWarning = 0, warningRow = 0;
  int depth = 0;
  for (int i = 0; i < count; ++i) {
    int c = 0, pos = 0;
    if (!ParseConditionValue(m, &rows[i], &c, &pos)) {
      if (c != kCondWarnRunningTotal && c != kCondWarnOtherLevel) {
        *code = c;
        *row = i;
        return 0;
      }
      if (!firstWarning) { firstWarning = c; warningRow = i; }
    }
    depth += rows[i].open;
    depth -= rows[i].close;
    if (depth < 0) break;
  }
  if (depth != 0) {
    *code = kCondErrBrackets;
    *row = 0;
    return 0;
  }
  if (firstWarning) {
    *code = firstWarning;
    *row = warningRow;
    return 0;
  }
  return 1;
}

size_t ConditionCodeLength(CKmComposite* m, int count, const SelectConditionRow* rows) {
  size_t total = 0;
  for (int i = 0; i < count; ++i) {
    const SelectConditionRow& r = rows[i];
    const FieldDef* f = m->GetFieldAt(r.field);
    if (i > 0) ++total;
    total += r.open + kCondFieldAndOperator;
    if (r.op == kCondIsNull || r.op == kCondIsNotNull || !f) {
      total += kCondLogicalSize;
    } else {
      std::vector<Value> values;
      int pos = 0;
      ReadValues(m, r.values, &values, &pos);
      for (const Value& v : values) total += ValueSize(v, f);
    }
    total += 1 + r.close;
  }
  return total + 1;
}

int ApplyConditionEdits(CKmComposite* m, int count, const SelectConditionRow* rows, uint32_t* failure, bool* changed) {
  *failure = 0;
  *changed = false;
  if (count <= 0) {
    if (m->conditionCode) {
      HeapFreeBlock(m->conditionCode);
      *changed = true;
    }
    m->conditionCode = nullptr;
    m->conditionLength = 0;
    GetRecordPassState(m)->filterUsesTotals = 0;
    return 1;
  }
  const size_t size = ConditionCodeLength(m, count, rows);
  if (size > 0xFFFF) {
    *failure = 0xFFFFFFFFu;
    return 0;
  }
  auto* code = static_cast<uint8_t*>(HeapAllocZero(0, static_cast<DWORD>(size)));
  if (!code) {
    *failure = 0xFFFFFFFFu;
    return 0;
  }
  uint8_t* w = code;
  for (int i = 0; i < count; ++i) {
    const SelectConditionRow& r = rows[i];
    const FieldDef* f = m->GetFieldAt(r.field);
    if (i > 0) *w++ = r.joining == 2 ? kCondOr : kCondAnd;
    for (int b = 0; b < r.open; ++b) *w++ = kCondOpen;
    w += PutConditionField(w, r.field);
    *w++ = r.op;
    if (r.op == kCondIsNull || r.op == kCondIsNotNull || !f) {
      w += PutConditionLogical(w, 1);
    } else {
      std::vector<Value> values;
      int pos = 0;
      ReadValues(m, r.values, &values, &pos);
      for (const Value& v : values) {
        switch (v.kind) {
          case kValNumber: w += PutConditionNumber(w, v.number); break;
          case kValField: w += PutConditionField(w, v.field); break;
          case kValLogical: w += PutConditionLogical(w, v.logical ? 1 : 0); break;
          case kValText: {
            *w++ = Kind(f) == kFieldMemo ? kCondText2 : kCondText;
            for (char c : v.text) *w++ = static_cast<uint8_t>(c == static_cast<char>(m->SpaceDotChar) ? ' ' : c);
            *w++ = 0;
            break;
          }
          case kValDate: w += WriteConditionDate(w, v.date, Kind(f)); break;
          default: w += WriteNullLiteral(w, f); break;
        }
      }
    }
    *w++ = kCondEndMark;
    for (int b = 0; b < r.close; ++b) *w++ = kCondClose;
  }
  *w++ = 0;
  const size_t length = static_cast<size_t>(w - code);
  *changed = !m->conditionCode || m->conditionLength != length || std::memcmp(m->conditionCode, code, length) != 0;
  if (m->conditionCode) HeapFreeBlock(m->conditionCode);
  m->conditionCode = code;
  m->conditionLength = static_cast<uint16_t>(length);
  GetRecordPassState(m)->filterUsesTotals = CodeUsesTotals(m, code, length);
  return 1;
}
