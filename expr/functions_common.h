// What the built-in function handlers share: the document values some of
// them read, popping and pushing values by their class, comparing them, and
// the type descriptions they push.
#pragma once

#include <cstdint>
#include <string>

#include "core/stack_value.h"
#include "expr/value_format.h"

class CKmComposite;
struct FieldDef;

// Values of the document that functions report. The report run, the shell
// and the settings reader keep them up to date.
struct BuiltinDocumentState {
  int32_t pageNumber = 0;
  int32_t copyNumber = 0;
  int32_t libraryOpen = 0;          // a report library is open
  std::string libraryName;          // its name as the open-library record holds it
  std::string reportName;           // stored report name; empty for a new report
  std::string reportTitleName;      // the name the document shows in titles
  std::string programDirectory;     // with its trailing separator
  FormatSettings format;            // regional settings for DTOC, DTTOC, TTOC
  // Tests pin "today" and "now" here; a day of 0xFFFFFFFF means the clock.
  uint32_t fixedToday = 0xFFFFFFFFu;
  double fixedNowTime = 0.0;
};
BuiltinDocumentState& ActiveBuiltinDocument();

// Installs every built-in handler into the function table (idempotent).
void InstallBuiltinFunctionHandlers();
void InstallNumericFunctions();
void InstallStringFunctions();
void InstallFlipTransformFunctions();
void InstallDateFunctions();

// ---- Values by class
enum class ValueClass { Number, String, Date, DateTime, Time, Other };

struct PoppedValue {
  ValueClass cls = ValueClass::Number;
  double number = 0.0;
  std::string text;
  uint32_t day = 0;
  double time = 0.0;
  FieldDef* field = nullptr;
  bool previous = false;
};

// The class of the top cell (a field by its kind).
ValueClass ClassOfTop(const CKmComposite* m);
// Pops the top cell as the class says; strings get pad characters turned to
// blanks and trailing blanks cut.
PoppedValue PopByClass(CKmComposite* m, ValueClass cls);
void PushPopped(CKmComposite* m, const PoppedValue& v);
// Ordering of two values of one class: numbers exactly, strings by the
// active collation with the model's switches, dates and times by day then time.
int CompareValues(CKmComposite* m, const PoppedValue& a, const PoppedValue& b);
// Equality as the '=' operator sees it (numbers within the model's tolerance).
bool EqualValues(CKmComposite* m, const PoppedValue& a, const PoppedValue& b);

// ---- Strings
// Pops a string into buffer (stringWorkSize + 1 bytes); returns its length.
size_t PopText(CKmComposite* m, char* buffer);
// Pops a string with pad characters turned into blanks.
size_t PopTextPadToBlank(CKmComposite* m, char* buffer);
// Cuts trailing white space and pad characters; returns the new length.
size_t TrimText(const CKmComposite* m, char* text, size_t length);
void PushText(CKmComposite* m, const char* text);
// Sets the null/error flag before the push that follows.
void SetErrorFlag(CKmComposite* m);
// A count popped as a rounded integer and held inside [lo, hi].
int64_t PopRoundedClamped(CKmComposite* m, int64_t lo, int64_t hi);
// An optional number argument: the default when it was omitted.
double PopOptionalNumber(CKmComposite* m, double defaultValue, bool* given = nullptr);

// ---- Type descriptions
void PushNumberCell(CKmComposite* m, int intDigits, int decimals, uint32_t format = 0x3005);
void PushStringCell(CKmComposite* m, uint32_t width, uint32_t length);
void PushLogicalCell(CKmComposite* m);
// Pops n cells and drops them.
void DropTypeCells(CKmComposite* m, unsigned n);
// The shared type handler of the logical functions.
int LogicalTypeHandler(CKmComposite* m);
// Digits of a width: 1 below 10, 2 below 100, else 3.
int DigitsOfWidth(uint32_t w);
// Format combination of arithmetic (operation 0 = '+').
uint32_t CombineNumberFormats(uint32_t a, uint32_t b);

inline void PushText(CKmComposite* m, const std::string& s) { PushText(m, s.c_str()); }
