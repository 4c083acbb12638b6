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

// The wizards choice is enabled when kmw.ini names a wizard program
// (CKmDoc::FindWizardProgram); File New then hands over to the wizard link.
