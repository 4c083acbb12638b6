#include "core/composite.h"

#include "data/data_access.h"
#include "data/select_builder.h"
#include "data/sql_literals.h"
#include "data/table_fields.h"
#include "expr/compiler_state.h"
#include "core/stack_value.h"
#include "expr/udf.h"
#include "foundation/heap_strings.h"
#include "model/record_pass.h"

#include <new>

// Members start at their declared defaults; the work area is made on first use.
CKmComposite::CKmComposite(KmDocBase* ownerDoc) : owner(ownerDoc) {}

// Fields and tables are emptied by the document before the model goes. Every
// side record hung on the model is released here, the pass's work files
// removed, and the data access (which ends its connections) last: some side
// records are keyed by the model's address, which a later model may reuse.
CKmComposite::~CKmComposite() {
  FreeRecordPassState(this);
  FreeSelectState(this);
  FreeSqlRunState(this);
  FreeSqlModelState(this);
  FreeCompiler(this);
  FreeUdfState(this);
  FreeDataAccess(this);
  if (ownedPassBlock != nullptr) HeapFreeBlock(ownedPassBlock);
  ownedPassBlock = nullptr;
  FreeEvalArea();
}

bool CKmComposite::InitEvalArea() {
  if (evalStackBase != nullptr) return true;
  // Separate blocks, so that strings, stack and type cells never overlap.
  evalStackBase = static_cast<uint8_t*>(HeapAllocZero(0, kEvalStackBytes));
  stringWork1 = static_cast<char*>(HeapAllocZero(0, stringWorkSize + 1));
  stringWork2 = static_cast<char*>(HeapAllocZero(0, stringWorkSize + 1));
  stringScratch = static_cast<char*>(HeapAllocZero(0, stringWorkSize + 5));
  // A rotation holds one whole cell: the longest string, its count, status and tag.
  rotateBuffer = static_cast<uint8_t*>(HeapAllocZero(0, stringWorkSize + 16));
  typeStackCapacity = kEvalStackBytes / 30;
  typeStack = new (std::nothrow) ValueCell[typeStackCapacity];
  if (evalStackBase == nullptr || stringWork1 == nullptr || stringWork2 == nullptr ||
      stringScratch == nullptr || rotateBuffer == nullptr || typeStack == nullptr) {
    FreeEvalArea();
    return false;
  }
  evalStackLimit = evalStackBase + kEvalStackBytes;
  evalStackTop = evalStackBase;
  return true;
}

void CKmComposite::FreeEvalArea() {
  HeapFreeBlock(evalStackBase);
  HeapFreeBlock(stringWork1);
  HeapFreeBlock(stringWork2);
  HeapFreeBlock(stringScratch);
  HeapFreeBlock(rotateBuffer);
  delete[] typeStack;
  evalStackBase = evalStackLimit = evalStackTop = nullptr;
  stringWork1 = stringWork2 = stringScratch = nullptr;
  rotateBuffer = nullptr;
  typeStack = nullptr;
  typeStackCapacity = typeStackCount = 0;
}
