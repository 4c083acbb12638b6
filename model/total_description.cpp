#include "model/total_description.h"

#include "core/composite.h"
#include "foundation/heap_strings.h"
#include "platform/win/wsprintf.h"

#include <cstring>
#include <string>

namespace {
// A field's name, with its table's alias when the report has several tables,
// and "()" after a calculation or a total.
void AppendFieldName(std::string& out, CKmComposite* model, const FieldDef* f, int qualify) {
  if (qualify && model->tableCount > 1 && f->table < 0x80 && f->table < kMaxTables + 1 &&
      model->tableSlots[f->table] != nullptr && model->tableSlots[f->table]->alias[0]) {
    out.append(model->tableSlots[f->table]->alias, strnlen(model->tableSlots[f->table]->alias, 8));
    out += '.';
  }
  out.append(f->name, strnlen(f->name, sizeof f->name));
  if ((f->flags & kFieldCalculation) || (f->totalFlags & kTotalIsTotal)) out += "()";
}

void AppendLevel(std::string& out, CKmComposite* model, int level, int qualify,
                 const std::function<const FieldDef*(int level)>& groupField) {
  const FieldDef* g = groupField ? groupField(level) : nullptr;
  if (g != nullptr) {
    AppendFieldName(out, model, g, qualify);
    return;
  }
  char text[300];
  wsprintfBounded(text, sizeof text, "%s %d", GetResString(132, 0), level + 1);
  out += text;
}
}  // namespace

void BuildTotalDescription(CKmComposite* model, const FieldDef* field, char* buffer, size_t size, int qualify,
                           const std::function<const FieldDef*(int level)>& groupField) {
  if (buffer == nullptr || size == 0) return;
  buffer[0] = '\0';
  if (model == nullptr || field == nullptr) return;
  const FieldDef* total = field;
  if (total->flags & kFieldAlias) total = model->GetFieldAt(total->refField);
  if (total == nullptr || !(total->totalFlags & kTotalIsTotal)) return;
  const FieldDef* totalled = model->GetFieldAt(total->refField);
  if (totalled == nullptr) return;
  std::string out = total->totalFunction <= 6 ? GetResString(136 + total->totalFunction, 0) : "";
  out += '(';
  AppendFieldName(out, model, totalled, qualify);
  out += ", ";
  switch (total->totalReset) {
    case 255: out += GetResString(129, 0); break;
    case 254: out += GetResString(130, 0); break;
    default: AppendLevel(out, model, total->totalReset, qualify, groupField); break;
  }
  out += ", ";
  switch (total->totalLevel) {
    case 253: out += GetResString(133, 0); break;
    case 254: out += GetResString(130, 0); break;
    case 255: out += GetResString(131, 0); break;
    default: AppendLevel(out, model, total->totalLevel, qualify, groupField); break;
  }
  out += ", ";
  out += GetResString((total->totalFlags & kTotalPreprocessed) ? 134 : 135, 0);
  if ((total->conditionText && total->conditionText[0]) || total->conditionLength > 0) {
    out += ", ";
    out += GetResString(319, 0);
  }
  out += ')';
  CopyBounded(buffer, size, out.c_str());
}
