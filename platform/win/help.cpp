#include "platform/win/help.h"

namespace {
std::vector<HelpRequest> g_requests;
void (*g_notice)(HWND) = nullptr;
bool g_noticeGiven = false;
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
  if (command != HELP_QUIT && g_notice != nullptr && !g_noticeGiven) {
    g_noticeGiven = true;
    g_notice(hwnd);
  }
  return TRUE;
}

void SetHelpUnavailableNotice(void (*notice)(HWND owner)) {
  // A program installs it once at start-up: its run has not told the user yet.
  g_notice = notice;
  g_noticeGiven = false;
}
bool HelpUnavailableNoticeGiven() { return g_noticeGiven; }

const std::vector<HelpRequest>& HelpRequests() { return g_requests; }
void ClearHelpRequests() { g_requests.clear(); }
