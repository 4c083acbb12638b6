// The File menu's file commands as the program runs them: the dialogs that
// File New, Open and Save go through, Close, the recent-file entries and
// Send, installed on the document and the frame at start-up.
#pragma once

#include "platform/win/win_types.h"

class CKmDoc;
class CMainFrame;
class CKmApp;

// Puts the program's own dialogs and steps in place of the cancelling
// defaults (those a caller set already are kept) and reads the recent-file list.
void InstallFileCommands(CKmApp& app);
// Takes the dialogs back out (before the document or the list goes).
void RemoveFileCommands();

// The start choice when no report is open at start-up: it may also open an
// existing report.
void OfferStartChoice(CKmDoc& doc);
// The enable state of the recent-file entries and Close: 0 or 1 (0 while
// text is typed in place on the layout); -1 for any other command.
int FileCommandState(const CKmDoc* doc, UINT id, BOOL inPlaceEdit);

// kmw.ini [Preferences] FileNew: how File New starts (0 ask, 1 wizards,
// 2 instant, 3 blank, 4 template); 0 for any other value.
int FileNewPreference();

// Close, the recent files (their command ids) and Send; FALSE for any other command.
BOOL DispatchFileListCommand(CKmDoc& doc, UINT id);
// Close: the unsaved-changes question, then an empty document.
void OnFileClose(CKmDoc& doc);
// Opens entry index of the recent-file list; an entry that no longer opens
// leaves the list.
BOOL OpenRecentFile(CKmDoc& doc, int index);
// Send: the report, written fresh, attached to a mail message.
void OnFileSendMail(CKmDoc& doc);
