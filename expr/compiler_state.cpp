#include "expr/compiler_state.h"

#include "expr/date_text.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"

#include <new>

CompilerState::CompilerState(CKmComposite* m) {
  for (int i = 0; i < kWordCount; ++i) words[i] = GetResString(2240 + i, 0);
  dates.padChar = static_cast<char>(m->SpaceDotChar);
  GetDateOrder(dates);
}

CompilerState* GetCompilerState(CKmComposite* m) { return m->GetAttachment<CompilerState>(); }

int InitCompiler(CKmComposite* m, uint32_t /*totalSize*/, uint32_t /*stringSize*/) {
  return m->GetAttachment<CompilerState>() != nullptr ? 0 : 1;
}

DateSettings& ModelDateSettings(CKmComposite* m) {
  CompilerState* st = GetCompilerState(m);
  st->dates.padChar = static_cast<char>(m->SpaceDotChar);
  return st->dates;
}
