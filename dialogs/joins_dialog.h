// Joins (DREL: the report's lookup tables) and Join (DRELATE: one lookup
// table, the fields that link it, the join type and the unmatched records).
#pragma once

#include "platform/win/window.h"

class KmDocBase;
struct FieldDef;

INT_PTR JoinsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR JoinDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Database > Joins.
void RunJoinsDialog(KmDocBase* doc, HWND owner);

// Fills DREL's list with the join expressions; the count added.
int FillJoinList(KmDocBase* doc, HWND dialog);
// A field that can link a join: a data field, a server-computed column, or a
// calculation with an SQL form.
bool IsJoinableField(const FieldDef* field);
// The filter of the "to" fields: same kind as the from field.
bool AddJoinFieldCandidate(const FieldDef* field, const FieldDef* from);
