// Message-filter hooks: while a dialog runs its modal loop every key message
// is offered to the installed WH_MSGFILTER hooks before the dialog handles it.
#pragma once

#include "platform/win/window.h"

struct HHOOK__;
using HHOOK = HHOOK__*;
using HOOKPROC = LRESULT (*)(int code, WPARAM wParam, LPARAM lParam);

enum : int { WH_MSGFILTER = -1 };
enum : int { MSGF_DIALOGBOX = 0 };

// Only WH_MSGFILTER for the current thread is supported; other kinds give null.
HHOOK SetWindowsHookExA(int kind, HOOKPROC proc, HINSTANCE module, DWORD threadId);
BOOL UnhookWindowsHookEx(HHOOK hook);
LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam);
// Runs the hook chain over msg; nonzero when a hook ate it.
BOOL CallMsgFilterA(MSG* msg, int code);

// How many hooks are installed (for tests and diagnostics).
int InstalledMsgFilterHookCount();
