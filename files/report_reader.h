// The report reader: a record stream back into the document's model, layout
// tables and page set-up. The entry point ReadReportRecords is declared with
// the stream in files/report_stream.h.
#pragma once

#include <cstdint>

#include "files/report_stream.h"

class CKmComposite;

// Empties what a read fills: the model's fields and tables and the filter,
// the band lines, and the layout's texts, lines and boxes, pictures and
// charts. Texts are the reader's own blocks (TextItem by new, its text from
// the heap); FreeReportTextItems releases them.
void ClearReportContents(KmDocBase& doc);
void FreeReportTextItems(KmDocBase& doc);

// The slot a stored table number refers to: numbers with bit 0x80 are kept;
// otherwise the first slot remembering that number; -1 when none.
int TableSlotFromOrdinal(const int storedSlots[], int stored);
