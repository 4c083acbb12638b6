#include "expr/compiler_state.h"

#include "expr/date_text.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"

#include <new>

CompilerState* GetCompilerState(CKmComposite* m) {
  if (!m->compilerState) InitCompiler(m, 50000, kStringWorkSize);
  return static_cast<CompilerState*>(m->compilerState);
}

int InitCompiler(CKmComposite* m, uint32_t totalSize, uint32_t stringSize) {
  if (m->compilerState) return 0;
  auto* st = new (std::nothrow) CompilerState;
  if (!st) return 1;
  for (int i = 0; i < kWordCount; ++i) st->words[i] = GetResString(2240 + i, 0);
  st->dates.padChar = static_cast<char>(m->SpaceDotChar);
  GetDateOrder(st->dates);
  m->compilerState = st;
  return 0;
}

void FreeCompiler(CKmComposite* m) {
  delete static_cast<CompilerState*>(m->compilerState);
  m->compilerState = nullptr;
}

DateSettings& ModelDateSettings(CKmComposite* m) {
  CompilerState* st = GetCompilerState(m);
  st->dates.padChar = static_cast<char>(m->SpaceDotChar);
  return st->dates;
}
