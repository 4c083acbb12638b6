#include "data/compiler_data_hooks.h"

#include "core/composite.h"
#include "core/fields.h"
#include "data/data_access.h"
#include "data/db_errors.h"
#include "data/master_joins.h"
#include "data/select_builder.h"
#include "data/table_fields.h"
#include "expr/compiler_state.h"

namespace {

int HookIsSqlReport(CKmComposite* m) { return IsSqlReport(m) ? 1 : 0; }

// The server is asked for the column's description over the report's tables;
// its refusal is shown as it words it. Without a connection there is nobody
// to ask and the text stands until the run.
int HookCheckDerivedColumn(CKmComposite* m, const char* text, FieldDef* field) {
  DataAccess* da = GetDataAccess(m);
  if (da == nullptr || da->Current() == nullptr) return 0;
  // The text goes into the report's SELECT: it must only read, and stay
  // inside its place there.
  const SqlReading reading = ReadSqlExpression(text, da->SqlRules());
  if (!reading.ok) {
    DbErrorBox(reading.why.c_str());
    return 1;
  }
  // A probe of its own: the field keeps its bindings.
  FieldDef probe;
  const int rc = BuildProbeSelect(m, text, &probe, 1, true);
  delete probe.dataBinding;
  if (rc != 0 || field == nullptr) return rc;
  field->flags = (field->flags & ~kFieldKindMask) | (probe.flags & kFieldKindMask);
  // A field not described yet (just made) takes the column's look; one the
  // user has formatted keeps it.
  if (field->displayWidth == 0) {
    field->displayWidth = probe.displayWidth ? probe.displayWidth : 1;
    field->displayDecimals = probe.displayDecimals;
    field->formatCode = probe.formatCode;
    field->timeFormat = probe.timeFormat;
  }
  return rc;
}

}  // namespace

void InstallCompilerDataHooks(CKmComposite* m) {
  ExpressionHooks& hooks = GetCompilerState(m)->hooks;
  hooks.isSqlReport = HookIsSqlReport;
  hooks.checkDerivedColumn = HookCheckDerivedColumn;
}
