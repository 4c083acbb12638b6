// The layout view as far as the document and the dialogs reach it.
#pragma once

#include "platform/win/win_types.h"

class CKmView {
 public:
  void UpdateCaretAndStatus(BOOL clear);
  int CaretUpdates() const { return m_caretUpdates; }

 private:
  int m_caretUpdates = 0;
};
