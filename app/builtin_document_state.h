// The values of the open document that built-in functions report (the
// report's name, the regional settings for dates and times, the program's
// folder), taken from the document before a run evaluates anything.
#pragma once

class CKmDoc;

void TakeBuiltinDocumentState(CKmDoc& doc);
