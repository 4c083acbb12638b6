// The Export dialog (DEXPORT): the format, the output file, and the
// options of each format in a dialog of its own.
#pragma once

#include "export/export_settings.h"
#include "platform/win/dialog.h"

class KmDocBase;

struct ExportDialogParams {
  KmDocBase* doc = nullptr;
  CKmExport* settings = nullptr;  // edited in place on OK
};

// IDOK when the user chose to export (settings updated), IDCANCEL otherwise.
INT_PTR RunExportDialog(ExportDialogParams* params, HWND owner);
INT_PTR ExportDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// The options dialog of the settings' chosen format; IDOK when changed.
// Formats without options answer IDCANCEL without a dialog.
INT_PTR RunExportOptionsDialog(ExportDialogParams* params, HWND owner);
// The formats in the order the dialog lists them.
extern const int kExportDialogFormats[8];
