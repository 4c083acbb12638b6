// Text comparison in the user's sort order. Linux has no Windows word sort;
// this approximation compares letters alphabetically ignoring case and
// accents, weighs hyphens and apostrophes only when all else is equal, and
// breaks remaining ties by the case-folded bytes.
#pragma once

#include "platform/win/win_types.h"

int lstrcmpiA(LPCSTR a, LPCSTR b);
