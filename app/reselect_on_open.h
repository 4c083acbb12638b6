// A table a report names that cannot be opened while the report is read: the
// user is asked whether to choose another, the chooser (the data source's
// table list once it plugs in, else the typed name) gives it, and the slot
// takes it so the reader can open it.
#pragma once

#include <cstdint>
#include <string>

class KmDocBase;
class TableChooser;

// True when the slot now names the chosen table (the document is modified).
bool ReselectTableOnOpen(KmDocBase& doc, uint32_t slot, TableChooser& chooser);

// A picture file the report names that is nowhere to be found: the user is
// told and may choose where it is now. The chosen path, or empty when the
// user ignores it (the picture keeps its stored path).
std::string AskForPictureOnOpen(KmDocBase& doc, const std::string& stored);
