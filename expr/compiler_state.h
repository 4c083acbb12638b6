// Per-model state of the expression compiler and scanner: the regional date
// settings they read, the language's words from the string table, and the
// hooks through which other subsystems (user functions, the engine's field
// check, data access) take part. An attachment of the model.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "expr/date_settings.h"
#include "core/model_attachment.h"

class CKmComposite;
struct FieldDef;

// What the compiler needs of one user function.
struct UdfInfo {
  uint32_t id = 0;
  const uint8_t* argumentList = nullptr;  // count byte, then the type bytes
  uint8_t resultType = 1;
  bool compiled = false;
  uint32_t flags = 0;  // 0x1, 0x40, 0x400, 0x800 carry into the callers' flags
};

// What the compiler asks of the layers above it. The application installs
// both when its document makes the model (CKmDoc::CreateReportTables).
struct ExpressionHooks {
  // The engine's check of a field (or, without one, a function or plain
  // expression) whose code was just made: 0, 56, 57, 59 or 60.
  int (*checkFieldForExpression)(CKmComposite* m, FieldDef* field, const uint8_t* code, size_t length,
                                 uint32_t* errorPosition) = nullptr;
  // The data-access check of a derived column (SQLEXP's text, blanks back in
  // place); 0 when the server takes it, and then the field has the column's
  // kind in its type flags.
  int (*checkDerivedColumn)(CKmComposite* m, const char* text, FieldDef* field) = nullptr;
  // Non-zero when the report's data comes from the user's own SQL.
  int (*isSqlReport)(CKmComposite* m) = nullptr;
};

// Indexes of the words loaded from the string table (ids 2240-2255).
enum LanguageWord {
  kWordDotAnd, kWordDotOr, kWordDotNot, kWordDotT, kWordDotF,
  kWordTrue, kWordYes, kWordOn, kWordFalse, kWordNo, kWordOff,
  kWordAnd, kWordOr, kWordNot, kWordTrueName, kWordFalseName, kWordCount
};

struct CompilerState : ModelAttachment {
  static constexpr AttachmentSlot kSlot = AttachmentSlot::kCompiler;
  // The default settings, with the words loaded and the model's pad character.
  explicit CompilerState(CKmComposite* m);

  DateSettings dates;
  ExpressionHooks hooks;
  std::string words[kWordCount];
  // The operand class of the last compiled expression's result (for calls
  // whose result has the type of an argument).
  uint8_t lastResultClass = 0;
  // While a copy of a listed field is compiled on trial, the field it stands
  // for: the checks of who uses the field look for that one.
  FieldDef* trialOf = nullptr;
};

// Made on first use with the default settings and the words loaded.
CompilerState* GetCompilerState(CKmComposite* m);
// Sets up the compiler's state; 0, or 1 when memory is exhausted.
int InitCompiler(CKmComposite* m, uint32_t totalSize, uint32_t stringSize);
// The regional settings that date literals are read with, with the model's
// pad character and date order brought up to date.
DateSettings& ModelDateSettings(CKmComposite* m);
