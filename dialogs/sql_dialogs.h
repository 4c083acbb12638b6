// The Database menu's Show SQL (the SELECT the run executes and the report's
// own SELECT, read-only) and Limit Result (the most records a run reads).
#pragma once

#include <string>

#include "platform/win/window.h"

class KmDocBase;

enum : int { kSqlGenerated = 300, kSqlUser = 301, kLimitEdit = 300 };

// userSelect: the report's own SELECT, or empty.
INT_PTR RunShowSqlDialog(KmDocBase* doc, HWND owner, const std::string& generated, const std::string& userSelect);
// Edits *limit (0: no limit); IDOK when a valid number was given.
INT_PTR RunLimitResultDialog(KmDocBase* doc, HWND owner, long* limit);
