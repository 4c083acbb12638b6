// The per-model state of the user functions, shared by the function list
// and the user-function library.
#pragma once

#include "foundation/library_file.h"
#include "core/model_attachment.h"
#include "platform/win/win_types.h"

#include <memory>
#include <string>

class CKmComposite;
struct FieldDef;
struct UdfNode;

struct UdfState : ModelAttachment {
  static constexpr AttachmentSlot kSlot = AttachmentSlot::kUdf;
  explicit UdfState(CKmComposite* owner) : model(owner) {}
  // A pending definition is dropped, the report's fields come back and the
  // library closes.
  ~UdfState() override;

  CKmComposite* model;
  // The report's field list while a heading's parameters stand in for it.
  FieldDef* savedFieldList = nullptr;
  uint32_t savedFieldCount = 0;
  FieldDef** savedFieldIndex = nullptr;
  bool fieldsSetAside = false;

  // A definition between its check and its commit or cancel.
  UdfNode* pending = nullptr;
  UdfNode* pendingTarget = nullptr;  // the node it replaces; null for a new one

  // The user-function library.
  LibraryFile* engine = nullptr;  // the document's engine, or ownEngine
  std::unique_ptr<LibraryFile> ownEngine;
  LibFileControlBlock* library = nullptr;
  std::string path;                 // kmw.udf
  char nodeName[21] = {};           // function written or deleted, for messages
  DWORD stamp = 0;                  // when the program last closed the library
  char message[512] = {};
};
