#include "data/compiler_data_hooks.h"

#include "data/master_joins.h"
#include "expr/compiler_state.h"

namespace {

int HookIsSqlReport(CKmComposite* m) { return IsSqlReport(m) ? 1 : 0; }

}  // namespace

void InstallCompilerDataHooks(CKmComposite* m) { GetCompilerState(m)->hooks.isSqlReport = HookIsSqlReport; }
