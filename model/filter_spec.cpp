// The filter described in words, for the Report Specification and for a
// field that shows the filter: "Include all records where " and one text
// per condition row.
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "foundation/heap_strings.h"
#include "core/composite.h"
#include "core/fields.h"
#include "model/filter_spec.h"
#include "model/record_filter.h"
#include "model/record_pass.h"
#include "model/selection_conditions.h"

namespace {

constexpr uint32_t kOperatorWordBase = 249;
constexpr uint32_t kIncludeWhereId = 1240;
constexpr uint32_t kAndWordId = 1241;
constexpr uint32_t kOrWordId = 1242;
constexpr uint32_t kNoMemoryId = 2624;

// The condition rows of the model's filter; false when there are none or
// the stored code cannot be read as rows. noMemory is set when the rows
// could not be had for want of memory.
bool ConditionRows(CKmComposite* m, std::vector<SelectConditionRow>* rows, bool* noMemory) {
  *noMemory = false;
  if (m->conditionCode == nullptr || m->conditionLength == 0 || m->conditionCode[0] == kCondEnd) return false;
  const int count = CountSelectConditions(m);
  if (count <= 0) return false;
  try {
    rows->assign(static_cast<size_t>(count), SelectConditionRow{});
  } catch (const std::bad_alloc&) {
    *noMemory = true;
    return false;
  }
  return FormatSelectCondition(m, count, rows->data()) != 0;
}

}  // namespace

std::string FormatFilterCondition(CKmComposite* m, const SelectConditionRow& row) {
  std::string s;
  if (row.joining == 1 || row.joining == 2) {
    s += GetResString(row.joining == 1 ? kAndWordId : kOrWordId, 0);
    s += ' ';
  }
  s.append(row.open, '(');
  const FieldDef* f = row.field == kNoField ? nullptr : m->GetFieldAt(row.field);
  if (f != nullptr) {
    char name[sizeof f->name + kTablePathSize + 2];
    m->FormatQualifiedFieldName(f, name, sizeof name);
    s += name;
  } else {
    s += "???";
  }
  if (row.op >= kCondEqual && row.op <= kCondIsNotNull) {
    s += ' ';
    s += GetResString(kOperatorWordBase + row.op, 0);
  }
  const size_t n = strnlen(row.values, sizeof row.values);
  if (n > 0 && row.op != kCondIsNull && row.op != kCondIsNotNull) {
    s += ' ';
    s.append(row.values, n);
  }
  s.append(row.close, ')');
  return s;
}

size_t FormatFilterCondition(CKmComposite* m, const SelectConditionRow& row, char* out, size_t outSize) {
  if (out == nullptr || outSize == 0) return 0;
  const std::string s = FormatFilterCondition(m, row);
  const size_t n = s.size() < outSize ? s.size() : outSize - 1;
  std::memcpy(out, s.data(), n);
  out[n] = 0;
  return n;
}

size_t BuildFilterSpecText(CKmComposite* m) {
  std::vector<SelectConditionRow> rows;
  bool noMemory = false;
  if (!ConditionRows(m, &rows, &noMemory)) {
    if (noMemory) ShowPassMessage(GetResString(kNoMemoryId, 0));
    return 0;
  }
  size_t length = std::strlen(GetResString(kIncludeWhereId, 0));
  for (const SelectConditionRow& row : rows) length += FormatFilterCondition(m, row).size() + 1;
  return length;
}

size_t GetFilterSpecText(CKmComposite* m, char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  buffer[0] = 0;
  std::vector<SelectConditionRow> rows;
  bool noMemory = false;
  if (!ConditionRows(m, &rows, &noMemory)) {
    if (noMemory) ShowPassMessage(GetResString(kNoMemoryId, 0));
    return 0;
  }
  size_t used = 0;
  // A piece that would not fit with the closing NUL empties the buffer.
  auto put = [&](const std::string& piece) {
    if (piece.size() >= size - used) return false;
    std::memcpy(buffer + used, piece.data(), piece.size());
    used += piece.size();
    buffer[used] = 0;
    return true;
  };
  bool fits = put(GetResString(kIncludeWhereId, 0));
  for (size_t i = 0; fits && i < rows.size(); ++i)
    fits = (i == 0 || put(" ")) && put(FormatFilterCondition(m, rows[i]));
  if (!fits) {
    buffer[0] = 0;
    return 0;
  }
  return used;
}

bool DescribeFilter(CKmComposite* m, std::string* out) {
  const size_t length = BuildFilterSpecText(m);
  if (length == 0) return false;
  std::string text(length + 1, '\0');
  text.resize(GetFilterSpecText(m, &text[0], text.size()));
  *out = std::move(text);
  return true;
}

void InstallFilterDescription(CKmComposite* m) {
  if (m != nullptr) m->describeFilter = DescribeFilter;
}

namespace {

// 1 when a field the code tests passes test (a lost field's or a special
// number names no field and is passed over).
template <typename Test>
int AnyConditionField(CKmComposite* m, const uint8_t* code, size_t length, Test test) {
  int found = 0;
  ForEachConditionField(code, length, [&](const uint8_t* token) {
    const FieldDef* f = found ? nullptr : m->GetFieldAt(ConditionFieldNumber(token));
    if (f != nullptr && test(f)) found = 1;
  });
  return found;
}

}  // namespace

int CodeUsesTotals(CKmComposite* m, const uint8_t* code, size_t length) {
  return AnyConditionField(m, code, length, [](const FieldDef* f) {
    return (f->flags & (kFieldPreviousRelated | kFieldTotalRelated)) || (f->totalFlags & (kTotalIsTotal | kTotalLevelZero));
  });
}

int CodeUsesPreTotal(CKmComposite* m, const uint8_t* code, size_t length) {
  return AnyConditionField(m, code, length, [](const FieldDef* f) { return (f->totalFlags & kTotalPreprocessed) != 0; });
}

int CodeUsesUnprocessedTotal(CKmComposite* m, const uint8_t* code, size_t length) {
  return AnyConditionField(m, code, length, [](const FieldDef* f) {
    return ((f->flags & kFieldTotalRelated) || (f->totalFlags & kTotalIsTotal)) && !(f->totalFlags & kTotalPreprocessed);
  });
}
