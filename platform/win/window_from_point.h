// Which window lies under a screen point.
#pragma once

#include "platform/win/window.h"

// The visible window at a screen point, the innermost child there; null when none.
HWND WindowFromPoint(POINT pt);
