// Which data source each table of the report reads: the name the report file
// keeps with the table, and the marks on the connections the report uses.
#pragma once

#include <string>

class KmDocBase;
class DataAccess;

// The data source named for a table slot ("" when none is named).
std::string SlotSourceName(KmDocBase* doc, int slot);
void SetSlotSourceName(KmDocBase* doc, int slot, const char* name);
// Names the current data source for every table of the report.
void NameCurrentSourceForAllTables(KmDocBase* doc);
// Marks the connections the report's tables use (the rest are unmarked).
void MarkConnectionsInUse(KmDocBase* doc, DataAccess* data);
