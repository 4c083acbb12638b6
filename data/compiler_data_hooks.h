// What the expression compiler asks of the data layer about the report's
// data: whether it comes from the user's own SQL statement (where a column
// the server computes, SQLEXP, has no SELECT of the program's to go into),
// and whether the server takes a derived column's text (and of what kind).
#pragma once

class CKmComposite;

// Sets the compiler's data hooks of the model.
void InstallCompilerDataHooks(CKmComposite* model);
