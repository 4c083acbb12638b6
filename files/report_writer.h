// The report writer: the open report as a record stream, wide (report file)
// or narrowed (library member). The entry point writeRep is declared with the
// stream in files/report_stream.h.
#pragma once

#include <string>
#include <vector>

#include "files/report_stream.h"

struct ReportItemHead;

// The face name an item's font is saved under (its face atom, else its font
// table entry); empty when it has none.
std::string ItemFaceName(KmDocBase& doc, const ReportItemHead& head);

// The used faces in the order their 76 records are written (at most 256).
std::vector<std::string> UsedFontFaces(KmDocBase& doc);
