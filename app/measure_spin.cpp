#include "app/measure_spin.h"

#include "foundation/text_helpers.h"
#include "platform/win/common_controls.h"
#include "platform/win/dialog.h"

#include <string>

namespace {

// Reads the edit as two decimals (what does not read counts as 0) and writes
// it back one step up or down, never past the limits.
void StepMeasureField(HWND dialog, int editId, int direction, long minimum, long maximum, char decimal) {
  char text[16] = {};
  GetDlgItemTextA(dialog, editId, text, 6);
  const char* p = text;
  while (*p == ' ' || *p == '\t') ++p;
  WORD v = 0;
  long value = strToInt(p, &v, 2, decimal) < 0 ? 0 : static_cast<long>(v);
  value += direction > 0 ? 10 : -10;
  if (value > maximum) value = maximum;
  if (value < minimum) value = minimum;
  char out[16];
  FormatScaledInt(static_cast<WORD>(value), out, sizeof out, 2, decimal);
  SetDlgItemTextA(dialog, editId, out);
}

}  // namespace

bool StepMeasureSpin(HWND dialog, LPARAM notify, int spinId, int editId, long minimum, long maximum, char decimal) {
  const auto* n = reinterpret_cast<const NMUPDOWN*>(notify);
  if (n == nullptr || n->hdr.code != UDN_DELTAPOS || static_cast<int>(n->hdr.idFrom) != spinId) return false;
  StepMeasureField(dialog, editId, n->iDelta, minimum, maximum, decimal);
  SendDlgItemMessageA(dialog, editId, EM_SETSEL, 0, -1);
  SendDlgItemMessageA(dialog, spinId, UDM_SETPOS, 0, 0);
  SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 1);
  return true;
}
