// Whether a dialog's texts show whole in the font used here: its template
// texts, and the texts the program fills in.
#pragma once

#include "platform/win/window.h"

#include <string>
#include <vector>

// The texts of a window's controls that are cut as they show: labels,
// buttons, check boxes, group titles, and every item of its lists and
// drop-down lists (owner-drawn ones as their parent draws them), each wider
// or higher than the room its control gives it. Empty when all show whole.
std::vector<std::string> CutControlTexts(HWND window);
