// The beep sink: beeps are counted (a test can read the count) and rung on
// the terminal bell only when a display is attached.
#pragma once

#include "platform/win/win_types.h"

BOOL MessageBeep(UINT type);
long BeepCount();
UINT LastBeepType();
