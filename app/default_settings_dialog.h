// Options > Default Settings (paper, margins, ruler spacing, snap, logical
// texts, font, size and colour that new reports start with) and Options >
// File Settings (folders, extensions, the report dictionary files), and the
// printer's paper list they show.
#pragma once

#include "platform/printer/printer_info.h"
#include "platform/win/window.h"

#include <string>
#include <vector>

class CKmDoc;

constexpr UINT kCmdDefaultSettings = 32018;
constexpr UINT kCmdFileSettings = 32022;

// The papers of the document's printer (at most 68; more counts as none),
// added to the combo when a dialog is given; the combo is enabled when there are any.
std::vector<PrinterPaper> FillPaperSizeCombo(CKmDoc& doc, HWND dialog, int comboId);
// Position of a paper code in the list, 0 when absent.
int FindPaperIndex(const std::vector<PrinterPaper>& papers, int code);
// "User defined: w x h unit" for a user-defined paper, else nothing.
std::string UserPaperSizeText(const PrinterPaper& paper, int unit, char decimal);

// Margins that leave no room on the paper, checked as the dialogs that set
// them check them: top plus bottom against the page's length, left plus
// right against its width. Margins in hundredths of an inch when inches,
// else tenths of a millimetre; the paper (tenths of a millimetre) as it
// stands upright, turned when landscape. The message for the first pair at
// fault and the edit to go back to, or null.
struct MarginFault {
  const char* text = nullptr;
  int control = 0;
};
MarginFault CheckMarginsOnPaper(long top, long bottom, long left, long right, bool inches, long paperWidth,
                                long paperLength, bool landscape, int topControl, int leftControl);

INT_PTR DefaultSettingsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR EditDefaultSettings(CKmDoc& doc);
// Writes the [Defaults] keys of the dialog in their order; false when a write failed.
bool WriteDefaultSettings(CKmDoc& doc);

INT_PTR FileSettingsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR RunFileSettingsDialog(CKmDoc& doc);
// The warnings about missing folders and files, one a line ("" when all is well).
std::string FileSettingsProblems(const std::string& reportDir, const std::string& imageDir,
                                 const std::string& templateDir, const std::string& dictTable,
                                 const std::string& dictIndex);
