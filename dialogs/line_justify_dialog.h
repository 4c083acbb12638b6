// Band Line Justify ("DLJustify"): how the fields and texts of the marked
// band lines are set across the layout.
#pragma once

class KmDocBase;

enum class LineJustify : int { Left = 0, Center = 1, Right = 2, Spread = 3 };

// The choice into *mode (its value on entry is preselected); false when cancelled.
bool RunLineJustifyDialog(KmDocBase& doc, LineJustify* mode);
