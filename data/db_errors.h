// Where data-access messages reach the user. Every message of the data layer
// goes through these calls, so one change points them at the program's
// message dialog; until then the last text is kept (and printed to stderr),
// which is also what tests read back.
#pragma once

#include <string>

// Shows a ready text as an error. The text is shown as it stands, never used
// as a format: driver messages quote SQL that holds '%'.
void DbErrorBox(const char* text);
// Asks an OK/Cancel question; true for OK. Without a handler the answer is Cancel.
bool DbAskOkCancel(const char* text);

using DbErrorSink = void (*)(const char* text);
using DbQuestionSink = bool (*)(const char* text);
// Installs the functions that really show the texts (null restores the default).
void SetDbErrorSink(DbErrorSink sink);
void SetDbQuestionSink(DbQuestionSink sink);

// The record of what was shown, for tests and diagnostics.
const std::string& DbLastErrorText();
int DbErrorCount();
void DbClearErrorRecord();
