// The Font dialog of the selected text items: a font of the report's font
// table, a size and the bold, italic and underline styles (grey when the
// items differ, which keeps each item's).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/win/window.h"

class KmDocBase;

enum : int { kFontFace = 400, kFontSize = 401, kFontBold = 402, kFontItalic = 403, kFontUnderline = 404 };

struct FontDialogParams {
  std::vector<std::string> faces;  // by font index
  std::vector<std::string> sizes;  // the size list's entries
  int font = -1;                   // in and out; -1 none in common / keep each item's
  std::string sizeText;            // in: the common size's text, empty when mixed
  int size = -1;                   // out: tenths of a point, -1 keeps each item's
  int styles[3] = {0, 0, 0};       // bold, italic, underline as BST_ states
  // The size typed or chosen, in tenths, for the font; -1 refuses it.
  std::function<int(const std::string& text, int font)> parseSize;
};

// IDOK with the choice in params; IDCANCEL leaves it.
INT_PTR RunFontDialog(KmDocBase* doc, HWND owner, FontDialogParams* params);
