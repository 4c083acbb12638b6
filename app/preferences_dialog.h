// Options > Preferences (File New, field lists, the layout's scroll bars) and
// Options > Data Source (which data source new and opened reports use).
#pragma once

#include "platform/win/window.h"

class CKmDoc;

constexpr UINT kCmdPreferences = 32020;

INT_PTR PreferencesDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR DataSourcePrefsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Writes the switch's state (1 or 0) to [Preferences] key; on success stores
// it in value and answers 1, else shows the write error and answers 0.
int WritePreferenceSwitch(HWND dialog, int switchId, const char* key, int32_t* value);

INT_PTR EditPreferences(CKmDoc& doc);
INT_PTR EditDataSourcePreferences(CKmDoc& doc);
