// The shell classes the foundation and dialogs reach: document, frame, status bar, view.
#pragma once

#include "app/document.h"
#include "app/layout_view.h"
#include "app/main_frame.h"
#include "app/status_bar.h"
