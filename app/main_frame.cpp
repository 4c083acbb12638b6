#include "app/main_frame.h"

void CKmMainFrame::ShowTitleWindow(BOOL show) { m_titleShowing = show != 0; }
