// The fields that join the report's tables, marked needed for a pass.
#pragma once

class CKmComposite;

// With on, both fields of every link pair of every lookup table get the
// needed bit (0x8000); without, nothing changes.
void MarkTableFields(CKmComposite* model, bool on);
