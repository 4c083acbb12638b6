// The modeless dialogs that show a run's progress and let the user stop it:
// the run status dialog (record counters while data is read) and the
// "Printing" dialog (records and pages while a report prints or exports).
// Progress reaches them as posted messages, so they update only while the
// run lets pending messages through.
#pragma once

#include "platform/win/window.h"

#include <cstdint>
#include <string>

class CKmDoc;
class KmDocBase;

// Private messages of the dialogs.
enum : UINT {
  kMsgApplyRunStatus = 0x421,  // run status: apply the stored ids and texts
  kMsgShowPageNumber = 0x422,  // "Printing": lParam = page number
  kMsgShowRecordCount = 0x423, // "Printing": lParam = records output
  kMsgShowCopyNumber = 0x424,  // "Printing": wParam = copy number
};

// Label ids: 0 keeps the label, a positive id sets that string, a negative id
// empties it; a non-null text sets the value beside the label. Does nothing
// while the run state is set, and nothing in an unattended run.
void ShowRunStatus(CKmDoc& doc, int captionId, int labelId200, int labelId201, int labelId202,
                   const char* text203, const char* text204, const char* text205);
// Takes the run status dialog down and gives the main frame back.
void CloseRunStatus(CKmDoc& doc);

// The "Printing" dialog; 0 when it cannot be made (or nobody watches the run).
// An export names its kind and output file (from the export settings).
int OpenPrintingDialog(CKmDoc& doc, int isExport, int exportKind = 0, const char* exportFile = nullptr);
// An output file name too long for the dialog: the part after the last
// folder or drive separator, or "File" when there is none.
std::string ExportNameShown(const std::string& path);
void ClosePrintingDialog(CKmDoc& doc);

// The dialog the preview shows while it prints its current page; Cancel
// aborts that printing. Null when it cannot be made.
HWND OpenPreviewPrintDialog(CKmDoc& doc);
void ClosePreviewPrintDialog();

// Progress of the print run, each skipped when the "Printing" dialog is not
// there. Without sync the record count goes only on every tenth record.
void PostRecordCount(CKmDoc& doc, int sync);
void PostPageNumber(CKmDoc& doc);
// The export's running count (read by the export from its job) into the
// page value of the "Printing" dialog; without sync only every tenth.
void PostExportCount(CKmDoc& doc, uint32_t count, int sync);
// pass counts from 0; shown only when the run prints more than one pass.
void PostCopyNumber(CKmDoc& doc, int pass);

// The dialogs' windows, null when not shown.
HWND RunStatusWindow();
HWND PrintingWindow();

// A status line: the prefix string (prefixId, 0 none) alone when id1 is 0,
// else the prefix, string id1, text1, three blanks, string id2 and text2.
std::string FormatStatusText(int id1, int id2, const char* text1, const char* text2, int prefixId);
// Only while the run goes on: to the status bar, or during a preview into the
// preview's status text (at most 100 characters).
void ShowStatusText(CKmDoc& doc, int id1, int id2, const char* text1, const char* text2, int prefixId);
const char* PreviewStatusText();

// The record pass's phase ("Fetching", "Sorting", ...) as the run status
// dialog's caption, and a labelled count on its third line ("Merge files
// remaining:"; a null label takes it down). Nothing while the run state is
// set, nor in an unattended run.
void ShowRunStatusPhase(CKmDoc& doc, const char* text);
void ShowRunStatusCount(CKmDoc& doc, const char* label, uint32_t value);
// Why the run could not do what a setting asks: on the status line (the
// preview's while one runs), on standard error in an unattended run.
void ShowRunNote(CKmDoc& doc, const std::string& text);

// The program's RunShell (engine/run_output.h): the "Printing" dialog, the
// preview's page wait, the run status dialog's counters and the run notes.
class RunShell;
RunShell& AppRunShell();
