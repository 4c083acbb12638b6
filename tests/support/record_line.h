// A report's record line with the given fields side by side, as the Insert
// Field palette places them: the layout a scenario prints after it has
// chosen its data through the real dialogs.
#pragma once

#include <vector>

class CKmDoc;
struct FieldDef;

// The band-line table becomes one record line holding the fields (null
// entries are skipped), each width characters wide; no other field is on
// the layout afterwards. False when a field was null.
bool PlaceFieldsOnRecordLine(CKmDoc& doc, const std::vector<FieldDef*>& fields, int width);
