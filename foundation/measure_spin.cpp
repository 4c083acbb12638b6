#include "foundation/measure_spin.h"

#include "foundation/dialog_runner.h"
#include "platform/win/common_controls.h"
#include "platform/win/dialog.h"

bool StepMeasureSpin(HWND dialog, LPARAM notify, int spinId, int editId, int minimum, int maximum) {
  const auto* n = reinterpret_cast<const NMUPDOWN*>(notify);
  if (n == nullptr || n->hdr.code != UDN_DELTAPOS || static_cast<int>(n->hdr.idFrom) != spinId) return false;
  SpinDecimalField(dialog, editId, minimum, maximum, n->iDelta > 0 ? 0 : 1);
  SendDlgItemMessageA(dialog, editId, EM_SETSEL, 0, -1);
  SendDlgItemMessageA(dialog, spinId, UDM_SETPOS, 0, 0);
  SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 1);
  return true;
}
