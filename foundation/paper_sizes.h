// The papers of the document's printer, by paper id.
#pragma once

#include <cstddef>

class KmDocBase;

// For the paper with that id of the document's printer: its name (when name
// is not null, cut to nameSize - 1), length and width in tenths of a
// millimetre. 1 when the printer has it, else 0.
int GetPrinterPaperSizes(const KmDocBase& doc, int paperId, char* name, size_t nameSize, long* length, long* width);
