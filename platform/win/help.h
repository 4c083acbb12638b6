// The help service. There is no help viewer on this platform: every request
// is recorded (window, file, command, data) and nothing is opened; the first
// request that would open help tells the user so through the notice the
// application installs.
#pragma once

#include "platform/win/window.h"

#include <string>
#include <vector>

using ULONG_PTR = uintptr_t;

enum : UINT {
  HELP_CONTEXT = 0x0001, HELP_QUIT = 0x0002, HELP_INDEX = 0x0003, HELP_CONTEXTMENU = 0x000A,
  HELP_FINDER = 0x000B, HELP_WM_HELP = 0x000C
};

// For HELP_WM_HELP and HELP_CONTEXTMENU data points to (control id, context)
// pairs ended by a zero pair; those pairs are recorded too.
BOOL WinHelpA(HWND hwnd, LPCSTR helpFile, UINT command, ULONG_PTR data);

struct HelpRequest {
  HWND hwnd;
  std::string file;
  UINT command;
  ULONG_PTR data;
  std::vector<DWORD> pairs;
};
// Called with the requesting window for the first request after it is set
// that would open help (one that closes it does not count); null for none.
void SetHelpUnavailableNotice(void (*notice)(HWND owner));
// Whether the notice was given in this run.
bool HelpUnavailableNoticeGiven();

const std::vector<HelpRequest>& HelpRequests();
void ClearHelpRequests();
