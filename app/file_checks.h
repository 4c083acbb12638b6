// Tests that tell report files, libraries and query files apart, whether
// another process holds a report file, and the "Copy of" file opened instead.
#pragma once

#include "platform/win/win_types.h"

#include <string>

// A report file is a compound file.
BOOL IsCompoundFile(const char* path);
// TRUE when another holder keeps the report file open (see HoldReportFile);
// a missing or unreadable file gives FALSE.
BOOL IsCompoundFileInUse(const char* path);

// Extension tests: the text after the last "." must be exactly three
// characters; case is ignored.
BOOL IsReportLibraryName(const char* name);    // QB6, QB3
BOOL IsTemplateLibraryName(const char* name);  // QN6
BOOL IsQueryFileName(const char* name);        // KWQ
BOOL EndsWithTemplateLibraryExt(const char* name);

// Marks the report file as held by this process for as long as the handle
// lives, so other processes see it in use; -1 when the file cannot be opened.
int HoldReportFile(const char* path);
void ReleaseReportFile(int handle);

// Copies path to a new file "Copy of <name>" in its folder; when that name
// is taken, "Copy (2) of <name>", "Copy (3) of <name>" and so on. An existing
// file is never replaced. The copy's path, or empty when no copy was made.
std::string MakeInUseCopy(const char* path);

class CKmDoc;
// A message of the document's file commands in the system message box over
// the document's window, with the program's caption.
void ShowDocMessage(CKmDoc& doc, const std::string& text, UINT icon);
// The string's format with up to two texts put in.
std::string FormatDocString(UINT id, const char* a1, const char* a2 = nullptr);
