// The start choices: report wizards, instant report, blank report, template,
// and at program start also an existing report. The answer is the start
// mode of File New (1 to 5), 0 when cancelled.
#pragma once

#include "platform/win/win_types.h"

class CKmDoc;

constexpr int kStartWizard = 1;
constexpr int kStartInstantReport = 2;
constexpr int kStartBlankReport = 3;
constexpr int kStartTemplate = 4;
constexpr int kStartOpenExisting = 5;

// "DNewOpen" with the Open choice when openAllowed, else "DFileNew".
int RunStartDialog(CKmDoc& doc, BOOL openAllowed);

// The report wizard program: whether one is set up, and handing File New
// over to it. No wizard program is set up yet: the choice is disabled in the
// start dialog, and a File New preference for the wizards is told so.
BOOL FindWizardProgram(CKmDoc& doc);
BOOL StartReportWizard(CKmDoc& doc);
