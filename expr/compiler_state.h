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

struct ExpressionHooks {
  // A user function by name: whole name ignoring case, or (prefix) the first
  // whose name begins with the given text, case-sensitively.
  bool (*findUdfByName)(CKmComposite* m, const char* name, size_t length, bool prefix,
                        uint32_t* id) = nullptr;
  bool (*getUdfInfo)(CKmComposite* m, uint32_t id, UdfInfo* out) = nullptr;
  // The engine's check of the fields an expression uses: 0, 59 or 60.
  int (*checkFieldForExpression)(CKmComposite* m, FieldDef* field, const uint8_t* code,
                                 uint32_t* errorPosition) = nullptr;
  // The data-access check of a derived column expression; 0 when acceptable.
  int (*checkDerivedColumn)(CKmComposite* m, const char* text) = nullptr;
  // Non-zero when the report's data comes from the user's own SQL.
  int (*isSqlReport)(CKmComposite* m) = nullptr;
  // The type evaluator, run over each new code to describe the field's output.
  int (*inferExpressionType)(CKmComposite* m, const uint8_t* code, FieldDef* field) = nullptr;
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
};

// Made on first use with the default settings and the words loaded.
CompilerState* GetCompilerState(CKmComposite* m);
// Sets up the compiler's state; 0, or 1 when memory is exhausted.
int InitCompiler(CKmComposite* m, uint32_t totalSize, uint32_t stringSize);
// The regional settings that date literals are read with, with the model's
// pad character and date order brought up to date.
DateSettings& ModelDateSettings(CKmComposite* m);
