// Columns the database server computes for the report: a calculated field
// that is only SQLEXP("expression") fetches the expression's value as a
// column of the SELECT instead of being evaluated by the program.
#pragma once

class CKmComposite;
struct FieldDef;

// The SQL text of a field whose code is exactly one SQLEXP call on a string
// (the report's pad characters back to blanks); false for any other code.
bool SqlExpColumnText(const CKmComposite* model, const FieldDef* field, char** text);

// Gives every server-computed calculation its column text and, asked of the
// server, its type (a calculation whose kind does not match the column's
// takes the column's). Without a connection nothing is done. 0, or the
// number of expressions the server refused (each keeps no column text, so
// the run's SELECT reports the server's own error); -1 after the message
// when a text would do more than read.
int ResolveSqlExpFields(CKmComposite* model);
