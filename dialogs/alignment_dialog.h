// Alignment of one line, box or picture: its alignment byte (0x10 left,
// 0x20 centred, 0x30 right), changed only by OK.
#pragma once

#include <cstdint>

#include "platform/win/window.h"

class KmDocBase;

enum : int { kAlignLeftButton = 300, kAlignCenterButton = 301, kAlignRightButton = 302 };

// IDOK when *alignment took the chosen code.
INT_PTR RunAlignmentDialog(KmDocBase* doc, HWND owner, uint8_t* alignment);
