#include "tests/support/sample_document.h"

#include "core/composite.h"
#include "core/condition_code.h"
#include "model/field_compile.h"
#include "model/selection_conditions.h"

#include <cstdio>

bool SampleDocument::Write(const char* dataSource, const std::string& path, std::string* error) {
  return WriteSampleReport(doc, io, dataSource, path.c_str(), error);
}

bool FilterOnLocalAmount(CKmComposite* m, double above) {
  FieldDef* local = CompileField(m, "LOCALAMT", "amount + MONLEN(order_date) * 0", false, nullptr);
  if (local == nullptr) return false;
  char value[32];
  std::snprintf(value, sizeof value, "%g", above);
  return FilterOnField(m, local, kCondGreater, value);
}

bool FilterOnField(CKmComposite* m, FieldDef* field, int op, const char* value) {
  SelectConditionRow row;
  row.field = m->GetFieldIndex(field);
  row.op = static_cast<uint8_t>(op);
  std::snprintf(row.values, sizeof row.values, "%s", value);
  uint32_t failure = 0;
  bool changed = false;
  return ApplyConditionEdits(m, 1, &row, &failure, &changed) == 1;
}
