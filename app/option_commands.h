// The menu commands of the option and page dialogs: Page Setup, Record
// Layout, Preferences, Data Source, Default Settings and File Settings.
#pragma once

#include "platform/win/window.h"

class CKmDoc;

// TRUE when the command is one of them (it ran).
BOOL DispatchOptionCommand(CKmDoc& doc, UINT id);
// Print runs ask the Print dialog before they print.
void InstallPrintDialog();
