#include "app/layout_view.h"

void CKmView::UpdateCaretAndStatus(BOOL) { ++m_caretUpdates; }
