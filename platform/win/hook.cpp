#include "platform/win/hook.h"

#include <algorithm>
#include <memory>
#include <vector>

struct HHOOK__ {
  HOOKPROC proc;
};

namespace {
// Most recently installed first, as Windows calls them.
std::vector<std::unique_ptr<HHOOK__>> g_hooks;
}  // namespace

HHOOK SetWindowsHookExA(int kind, HOOKPROC proc, HINSTANCE, DWORD) {
  if (kind != WH_MSGFILTER || proc == nullptr) return nullptr;
  g_hooks.insert(g_hooks.begin(), std::make_unique<HHOOK__>(HHOOK__{proc}));
  return g_hooks.front().get();
}

BOOL UnhookWindowsHookEx(HHOOK hook) {
  auto it = std::find_if(g_hooks.begin(), g_hooks.end(), [hook](const auto& h) { return h.get() == hook; });
  if (it == g_hooks.end()) return FALSE;
  g_hooks.erase(it);
  return TRUE;
}

LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam) {
  auto it = std::find_if(g_hooks.begin(), g_hooks.end(), [hook](const auto& h) { return h.get() == hook; });
  if (it == g_hooks.end() || ++it == g_hooks.end()) return 0;
  return (*it)->proc(code, wParam, lParam);
}

BOOL CallMsgFilterA(MSG* msg, int code) {
  if (g_hooks.empty() || msg == nullptr) return FALSE;
  return g_hooks.front()->proc(code, 0, reinterpret_cast<LPARAM>(msg)) != 0;
}

int InstalledMsgFilterHookCount() { return static_cast<int>(g_hooks.size()); }
