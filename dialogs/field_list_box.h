// The field list the dialogs share: a list box or combo box of fields, each
// entry a type letter, the field's name (or its description) and its table,
// with the field itself as the entry's data.
#pragma once

#include "platform/win/window.h"

#include <cstdint>
#include <string>

class CKmComposite;
class KmDocBase;
struct FieldDef;

// What the entries show (kmw.ini [Preferences] field list choice).
enum FieldListShow : int { kFieldListNames = 0, kFieldListDescriptions = 1, kFieldListBoth = 2 };

// Where descriptions come from: the report dictionary fills this in; without
// it, or when a field has no description, the entry shows the name.
using FieldDescriptionSource = const char* (*)(KmDocBase* doc, const FieldDef* field);
void SetFieldDescriptionSource(FieldDescriptionSource source);
void SetFieldListShow(int show);
int GetFieldListShow();

// Filter of a fill: true keeps the field.
using FieldListFilter = bool (*)(const FieldDef* field, void* context);

// The type letter of a field: N number, L logical, D date, T time, S date
// and time, M memo, C text.
char FieldTypeLetter(const FieldDef* field);
// "%c %s%s%s": type letter, the name (or description), and the table's alias
// in parentheses when the model has more than one table; at most length - 1
// characters.
void FormatFieldListEntry(char* out, const char* name, const FieldDef* field, int length, const CKmComposite* m);
// The name with its table's alias in brackets when the report has more than
// one table, as every list of fields shows it, so that same-named columns of
// joined tables are told apart.
std::string FieldNameWithTable(const char* name, const FieldDef* field, const CKmComposite* m);

// Empties the list or combo and adds every field of one table that passes
// the filter (null: all data fields), each with the field as its data.
// selection (a field name, ignoring case) is selected when listed. Returns
// the number added.
int FillFieldListForTable(HWND dialog, int control, const CKmComposite* m, uint32_t table, const char* selection,
                          FieldListFilter filter, void* context);
// The same over the fields of every table and the calculated fields.
int FillFieldListBox(HWND dialog, int control, const CKmComposite* m, const char* selection, FieldListFilter filter,
                     void* context);
// The field of entry index (-1: the selected entry); null for none.
FieldDef* GetListedField(HWND dialog, int control, int index);
// Type-ahead on the names: a typed character selects the next entry whose
// name (after the type letter) begins with it. True when the message was
// taken; result receives the answer.
bool HandleFieldListMessage(HWND list, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
// Sent to the list's dialog when an entry was dragged out of the list and
// released elsewhere: wParam the list's id, lParam the POINT* of the release
// in screen coordinates; the selected entry is the dragged field.
constexpr UINT kFieldListDropped = WM_USER + 0x2F0;
// Routes the control's keys through HandleFieldListMessage, and lets an
// entry be dragged out of it with the left button.
void SubclassFieldList(HWND list);
