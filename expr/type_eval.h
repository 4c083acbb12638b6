// The type evaluator's stack operations and standard descriptions, used by
// InferExpressionType and by the built-ins' type handlers.
// Pushes and pops do nothing after a type-stack overflow (pops give an empty
// description).
#pragma once

#include <cstdint>

#include "core/stack_value.h"
#include "core/composite.h"

// Describes the value the code yields (type, format, width, decimals) into
// the field, without running it.
int32_t InferExpressionType(CKmComposite* m, const uint8_t* code, FieldDef* field);

void PushTypeCell(CKmComposite* m, const ValueCell& cell);
ValueCell PopTypeCell(CKmComposite* m);
// The description `depth` places below the top (0 = top), or null.
ValueCell* PeekTypeCell(CKmComposite* m, unsigned depth);

// Standard descriptions.
ValueCell DescribeNumber(int intDigits, int decimals);  // applies the 19-digit rule
ValueCell DescribeDate();
ValueCell DescribeDateTime();
ValueCell DescribeTime();
ValueCell DescribeLogical(const CKmComposite* m);
ValueCell DescribeString(const CKmComposite* m, uint32_t length);  // cut to stringWorkSize
ValueCell DescribeLongText();
// intDigits + decimals at most 19 (decimals kept at most 2 when cut), 1 digit
// when both are 0; width = their sum.
void ApplyDigitRule(ValueCell* cell);
// Digits before the point of v printed with `decimals` decimals (sign counted).
int IntegerDigitsOf(double v, int decimals);
