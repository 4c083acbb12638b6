// The Insert and Calculations commands and the field dialogs they open: the
// Insert Field palette, the calculated-field, total and user-function lists,
// Auto Total, Purge Calculations and the expression of the current item.
#pragma once

#include "platform/win/win_types.h"

class CKmDoc;
struct FieldDef;

// TRUE when the command is one of these and was carried out (or refused).
BOOL DispatchFieldCommand(CKmDoc& doc, UINT id);
// What the Calculations menu's lists ask of the program (the total dialog,
// the refresh after a change).
const struct FieldDialogHooks& ProgramFieldDialogHooks();

// Puts a field on the layout at band line `line`, its left edge in the cell
// at layout pixel x: a field already on the layout gets a placed copy. The
// field takes the font of the first item of the line (else of the layout),
// is sized to its sample, selected and made current. Null when it cannot go there.
FieldDef* PlaceFieldOnLayout(CKmDoc& doc, FieldDef* field, int line, int x);

// A new last line of the band (a band line kind); the items below it move
// down with their lines. The new line's index, or -1 when the table is full.
int InsertLineInBand(CKmDoc& doc, BYTE band);
