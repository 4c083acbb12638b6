// Insert > Text File (30430): the Text File dialog, then the file's lines on
// the layout at the caret.
#pragma once

#include "platform/win/window.h"

class CKmDoc;

BOOL DispatchTextFileCommand(CKmDoc& doc, UINT id);
