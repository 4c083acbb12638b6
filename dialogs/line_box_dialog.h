// The properties of one line (thickness and colour) or one box (border
// thickness and colour, the sides shown, the shading pattern and its two
// colours). The record changes only on OK.
#pragma once

#include "layout/layout_records.h"
#include "platform/win/window.h"

class KmDocBase;

enum : int {
  kLineBoxThickness = 200, kLineBoxColour = 201, kBoxShowLeft = 202, kBoxShowRight = 203, kBoxShowTop = 204,
  kBoxShowBottom = 205, kBoxPattern = 206, kBoxForeground = 207, kBoxBackground = 208
};

// The thicknesses offered, in pixels.
constexpr BYTE kLineThicknesses[] = {1, 2, 4, 6, 8};

// "DLine" for a line (borders bit 0x80), else "DBox"; IDOK when the record took the choices.
INT_PTR RunLineBoxDialog(KmDocBase* doc, HWND owner, LineBoxItem* item);
