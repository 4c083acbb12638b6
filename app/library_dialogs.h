// The user's side of report and template libraries: opening a library for
// the document, the Open dialog (DREPREAD) with its Copy, Delete and Open
// File buttons, the Save As dialog (DREPSAVE), the copy's name (DREPCOPYNAME),
// copying and deleting members, and the report's data source on open.
#pragma once

#include "platform/win/window.h"

#include <string>

class CKmDoc;
struct LibFileControlBlock;

// Open modes: 0 read (report and older libraries), 1 read and write (report
// libraries only), 2 read and write (both kinds).
constexpr int kLibOpenRead = 0;
constexpr int kLibOpenWrite = 1;
constexpr int kLibOpenDelete = 2;

// Opens the library at path for the document in mode; 1 with the open file,
// or 0 after a message ("Cannot open library file", "Error opening report")
// with path cleared, or 0 without one for a kind the mode refuses (path cleared).
int OpenReportLibrary(CKmDoc& doc, HWND owner, std::string* path, LibFileControlBlock** out, int mode,
                      BOOL* older);
// Opens a library for File Open, Save or the command line, showing "Invalid
// report library" when it cannot be used in that mode; the file stays
// closed. TRUE when it can be.
BOOL TestReportLibrary(CKmDoc& doc, HWND owner, const char* path, int mode);

// The library's Open dialog on library: 1 with the member's name in the
// document's second report name, 2 when Open File chose a report file (its
// path in the document's current file), 0 on Cancel.
int ChooseLibraryMember(CKmDoc& doc, const char* library);
// The library's Save As dialog: 1 with the member name in the document's
// second report name, 0 on Cancel.
int ChooseSaveMember(CKmDoc& doc, const char* library);
// Copies member source of the library that is open for the dialog into the
// destination library as destination; its own messages on failure.
BOOL CopyLibraryReport(CKmDoc& doc, LibFileControlBlock* sourceLibrary, const char* destination,
                       const char* sourceName, const char* destinationName);

// Makes name the report's data source (connecting it, with a prompt when it
// needs one); without a name, a quiet connection or the user's choice. FALSE
// when the user gave up.
BOOL SetReportDataSource(CKmDoc& doc, const char* name);

// A new, empty report library at path (kind 8); FALSE after a message.
BOOL CreateReportLibrary(CKmDoc& doc, const char* path);
