// The instant report: a ready layout of the report's fields in columns under
// underlined headings, group sums of the numeric fields with decimals, the
// table's name as title and the date, time, page number and record count.
#pragma once

class CKmDoc;

// Builds it on the new report's fields; false (after "Insufficient memory for
// full instant report") when an item cannot be made.
bool BuildInstantReport(CKmDoc& doc);
