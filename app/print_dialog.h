// The Print dialog shown before a print run (the printer, what to print, the
// page range, copies, collation and print to file, and Preview), and the
// Page Setup dialog (paper, orientation, source and margins).
#pragma once

#include "platform/win/window.h"

class CKmDoc;

// One run of the Print dialog.
struct CKmPrintDialog {
  int Initialised = 0;       // edit notifications count only after the dialog is set up
  int PreviewRequested = 0;  // closed through Preview
  int Changed = 0;           // the user changed a setting: Cancel reads Close
  int Result = -1;           // 1 after OK, 0 after Close
  CKmDoc* Document = nullptr;
};

constexpr int kPrintAnswerNothing = 0;
constexpr int kPrintAnswerPrint = 1;
constexpr int kPrintAnswerPreview = 3;

// Runs the dialog for the document: 0 nothing to print (cancelled, closed
// after changes, or an error), 1 print, 3 preview. The choices are stored in
// the document (printer, page range, collation, destination, copies, what to print).
int ShowPrintDialog(CKmDoc& doc);
INT_PTR PrintDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The page range is all pages.
bool PrintsAllPages(unsigned firstPage, unsigned lastPage);

// File > Page Setup; nonzero for OK.
int OnFilePageSetup(CKmDoc& doc);
INT_PTR PageSetupDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
