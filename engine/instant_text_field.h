// A text item made for a report built in one go (the instant report, report
// scripts): placed at a column of a band line in the document's text list.
#pragma once

#include "platform/win/win_types.h"

#include <string>

class KmDocBase;
struct TextItem;

// A new text item holding text on band line `line` at character column
// `column` (its left edge the cell width of the column), as wide as the text,
// in the font style `style`, with the alignment byte `alignment`; kept at a
// fixed position unless plain. In the default font "Duridev-ER" the text is
// stored in the OEM set with its blanks as that font's fill character. When
// memory runs out: the message "Insufficient memory for full instant report"
// and null.
TextItem* CreateInstantTextField(KmDocBase* doc, const std::string& text, int line, int column, BYTE style,
                                 BYTE alignment, bool plain);
