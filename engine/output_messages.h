// Where the output Parts' error messages go. The application routes them to
// its message dialog; until it does (and in unattended runs) they are written
// to standard error.
#pragma once

#include <string>

using OutputMessageSink = void (*)(const std::string& text, const std::string& caption);

// Null restores the default (standard error).
void SetOutputMessageSink(OutputMessageSink sink);
void ShowOutputError(const std::string& text, const std::string& caption = std::string());
// "Insufficient memory for print/preview": the page driver took no more.
constexpr unsigned kIdPrintMemory = 626;

// The string-table text id, with one %s or %d filled in when the text has one.
std::string OutputMessageText(unsigned id, const std::string& arg = std::string());
