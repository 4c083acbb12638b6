#include "platform/win/help.h"

namespace {
std::vector<HelpRequest> g_requests;
}  // namespace

BOOL WinHelpA(HWND hwnd, LPCSTR helpFile, UINT command, ULONG_PTR data) {
  HelpRequest r{hwnd, helpFile ? helpFile : "", command, data, {}};
  if ((command == HELP_WM_HELP || command == HELP_CONTEXTMENU) && data != 0) {
    // The table ends with a zero pair.
    const DWORD* p = reinterpret_cast<const DWORD*>(data);
    for (int i = 0; i < 512 && (p[0] != 0 || p[1] != 0); ++i, p += 2) {
      r.pairs.push_back(p[0]);
      r.pairs.push_back(p[1]);
    }
  }
  g_requests.push_back(std::move(r));
  return TRUE;
}

const std::vector<HelpRequest>& HelpRequests() { return g_requests; }
void ClearHelpRequests() { g_requests.clear(); }
