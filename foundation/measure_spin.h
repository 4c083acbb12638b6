// The spins beside two-decimal measure edits: each click steps the edit's
// value by 0.10 and keeps it within the dialog's limits.
#pragma once

#include "platform/win/window.h"

class CKmDoc;

// From a dialog's WM_NOTIFY: when it is a spin's step (UDN_DELTAPOS) from
// spinId, the edit editId goes up (delta above 0) or down by 0.10 within
// minimum..maximum (hundredths; text that does not read is left alone), its
// text is selected, the spin stays at 0, and the answer is true: the dialog
// consumes the message.
bool StepMeasureSpin(HWND dialog, LPARAM notify, int spinId, int editId, int minimum, int maximum);
