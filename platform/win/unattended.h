// An unattended run (the run-and-end switch) has nobody to answer a window.
// While it is on, every message box and dialog writes its texts to standard
// error and takes its default answer; no modal loop is ever started.
#pragma once

// Turned on by the application before anything can show a message.
void SetUnattendedRun(bool on);
bool IsUnattendedRun();

// One line "vortelle: caption: text" in UTF-8 on standard error; line breaks
// inside the text become blanks so a calling script reads one line. A line
// the same as the one before it is not written again.
void WriteUnattendedMessage(const char* caption, const char* text);
// How many such lines were written so far: a caller that has a reason of its
// own to give says it only when nothing was said yet.
long UnattendedMessagesWritten();

// The file being worked on: while set, each unattended message that does not
// name it already starts with it, so a calling script learns which file.
void SetUnattendedSubject(const char* path);

// How many modal loops were refused so far (message boxes and dialogs that
// were answered without waiting).
long RefusedModalLoops();
void CountRefusedModalLoop();
