#include "core/composite.h"

#include "core/stack_value.h"
#include "foundation/heap_strings.h"

#include <new>

void HeapBlockRelease::operator()(void* block) const { HeapFreeBlock(block); }

// Members start at their declared defaults; the work area is made on first use.
CKmComposite::CKmComposite(KmDocBase* ownerDoc) : owner(ownerDoc) {}

// Fields and tables are emptied by the document before the model goes. The
// attachments go in slot order, while the model's own blocks still stand.
CKmComposite::~CKmComposite() {
  // What the model still holds goes with it, in the order the document empties
  // a model: the data layer's bindings first, while fields and tables exist.
  fieldRemovedHook = nullptr;
  DropAttachment(AttachmentSlot::kSqlFields);
  while (fieldList != nullptr)
    if (!DeleteField(fieldList, 2 | 4)) break;
  for (uint32_t s = 0; s < static_cast<uint32_t>(kMaxTables); ++s) FreeTableSlot(s);
  HeapFreeBlock(statementText);
  statementText = nullptr;
  HeapFreeBlock(conditionCode);
  conditionCode = nullptr;
  for (size_t i = 0; i < kAttachmentSlots; ++i) DropAttachment(static_cast<AttachmentSlot>(i));
  ownedPassBlock.reset();
  FreeEvalArea();
}

ModelAttachment* CKmComposite::Attach(AttachmentSlot slot, ModelAttachment* (*make)(CKmComposite* model)) {
  std::unique_ptr<ModelAttachment>& held = attachments_[static_cast<size_t>(slot)];
  if (held == nullptr) held.reset(make(this));
  return held.get();
}

void CKmComposite::DropAttachment(AttachmentSlot slot) {
  std::unique_ptr<ModelAttachment>& held = attachments_[static_cast<size_t>(slot)];
  // The state stays findable while it winds down: its release may go
  // through the subsystem's own functions, which find it on the model.
  ModelAttachment* state = held.get();
  delete state;
  held.release();
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
