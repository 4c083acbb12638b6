// The expression compiler: an operator-precedence compiler over the scanner's
// tokens that writes CompiledCode, checks operand types and every call's
// arguments, and reports the first error with its position in the text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CKmComposite;
struct FieldDef;

// Operand classes of the compiler.
constexpr uint8_t kClassNumber = 13;
constexpr uint8_t kClassLogical = 0x8D;
constexpr uint8_t kClassTable = 16;
constexpr uint8_t kClassString = 31;
constexpr uint8_t kClassEmptyString = 0x5F;
constexpr uint8_t kClassEmptyArgument = 32;
constexpr uint8_t kClassDate = 33;
constexpr uint8_t kClassLongText = 35;
constexpr uint8_t kClassQuery = 38;
constexpr uint8_t kClassDateTime = 39;
constexpr uint8_t kClassTime = 40;
constexpr uint8_t kClassDatePart = 42;
constexpr uint8_t kClassTimePart = 43;
constexpr uint8_t kClassTimeLayout = 45;

// The code buffer's capacity: (50,000 - 2 x 1,024) / 2 bytes.
constexpr size_t kCodeBufferSize = 23976;
constexpr int kMaxOpenIifs = 100;

// First id of the compile error texts; code n has id kCompileErrorTextBase + n.
constexpr uint32_t kCompileErrorTextBase = 2600;

struct CompileOutput {
  std::vector<uint8_t> code;  // ends with opcode 8 when the compile succeeded
  uint32_t typeFlags = 0;     // inferred kind and the dependency flags
  uint8_t tableLevel = 0xFF;
  FieldDef* groupField = nullptr;
  uint8_t resultClass = 0;
};

// Compiles text. For a field (or a user function, whose result type is given
// through udfResultType) the seven assumed types are tried in turn. Returns 0
// or the error code; errorPosition is an offset into the text.
int CompileExpression(CKmComposite* m, const char* text, uint32_t* errorPosition,
                      CompileOutput* out, FieldDef* field, uint8_t* udfResultType, int mode);

// Code generation alone (no type tries, no dependency scan).
int GenerateExpressionCode(CKmComposite* m, const char* text, uint32_t* errorPosition,
                           std::vector<uint8_t>* code, uint8_t* resultClass, FieldDef* field);

// Compiles a calculated field's text (or a total's condition text) and keeps
// the code in the field, replacing the old. Returns the compile error.
int CompileFieldText(CKmComposite* m, FieldDef* field, uint32_t* errorPosition);

// The text of a compile error code (code 1's text for codes without one).
const char* CompileErrorText(int code);

// "NAME(arg,arg...)" for the editor; empty when the name matches nothing.
void FormatFunctionPrototype(CKmComposite* m, const char* name, char* out, size_t outSize);
