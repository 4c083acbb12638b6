// The expression scanner: prepares a text (upper-cased outside quotes, dotted
// logical operators marked) and reads it token by token, resolving names
// against the report model as it goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "expr/date_settings.h"

class CKmComposite;

enum TokenCode : int {
  kTokPlus = 1, kTokMinus = 2, kTokDivide = 3, kTokMultiply = 4, kTokPower = 5, kTokPercent = 6,
  kTokOpen = 7, kTokClose = 8, kTokComma = 9, kTokStart = 10, kTokEnd = 11, kTokError = 12,
  kTokNumber = 13, kTokFunction = 14, kTokField = 15, kTokTable = 16, kTokEqual = 17,
  kTokNotEqual = 18, kTokLessEqual = 19, kTokGreaterEqual = 20, kTokLess = 21, kTokGreater = 22,
  kTokAnd = 23, kTokOr = 24, kTokNot = 25, kTokTrue = 26, kTokFalse = 27, kTokContains = 30,
  kTokString = 31, kTokDate = 33, kTokAmbiguous = 36, kTokDateTime = 39, kTokTime = 40,
  kTokKeyword = 41,
};

// Capacities of the prepared-text area and its list of quoted ranges.
constexpr size_t kPreparedTextSize = 1024;
constexpr size_t kMaxQuotedRanges = 200;

struct ScanToken {
  int code = kTokEnd;
  size_t start = 0;  // offset of the token in the prepared (and the source) text
  size_t end = 0;    // one past its last character
  uint8_t pointCount = 0;
  double number = 0.0;
  uint32_t value = 0;    // field number, table slot, day number
  int32_t function = 0;  // built-in slot, or the negated user-function id
  double time = 0.0;
  std::string text;      // string literal bytes (pad characters for blanks)
  uint8_t keywordClass = 0, keywordTag = 0, keywordValue = 0;
  // A field or table name written with a table part: where the "." stands.
  size_t dotAt = 0;
  bool qualified = false;
};

struct ExpressionScan {
  std::string prepared;
  std::vector<std::pair<size_t, size_t>> quoted;  // first character inside, closing character
  size_t position = 0;
  bool tableArgumentNext = false;  // the function just read takes a table first
};

// 0, 13 (unterminated quote) or 9 (text or quoted ranges beyond the area).
int PrepareExpressionText(CKmComposite* m, ExpressionScan& scan, const char* text);
// Reads one token at scan.position and moves past it and the blanks after it.
// With markError an unrecognised word leaves the position at its start.
int NextExpressionToken(CKmComposite* m, ExpressionScan& scan, ScanToken& token, bool markError);

// 0 and the field number (or -1 when ambiguous), or 1 when no field has the name.
int LookUpFieldName(CKmComposite* m, const char* name, size_t length, int32_t& number,
                    bool ambiguityCheck);
// The slot 0-99 whose alias is the name, or -1.
int FindTableSlotByAlias(CKmComposite* m, const char* name, size_t length);

// The first field in use (0x8000) whose code is missing, or null.
struct FieldDef;
FieldDef* FindUncompiledField(CKmComposite* m);

// The field at a position of the field list, or null.
FieldDef* FieldAtNumber(const CKmComposite* m, uint32_t n);
