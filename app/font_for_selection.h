// Format > Font: the font dialog for the selected text items, and the
// choice it leaves applied through the format bar's own font operation.
#pragma once

#include "platform/win/window.h"

class CKmDoc;
struct FontDialogParams;

// Runs the dialog for the selection; true when the user chose (params holds it).
bool PickFontForSelection(CKmDoc& doc, HWND owner, FontDialogParams* params);
void ApplyFontChoice(CKmDoc& doc, const FontDialogParams& params);
// Both, from the menu, F5 and the object popup.
void ChooseFontForSelection(CKmDoc& doc);
