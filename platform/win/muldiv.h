// MulDiv: a * b / c through a 64-bit product, rounded half away from zero.
#pragma once

#include "platform/win/win_types.h"

// -1 when c is 0 or the result does not fit in 32 bits, as Windows answers.
INT MulDiv(INT a, INT b, INT c);
