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
// The hook whose procedure runs now (null outside a pass over the chain).
HHOOK g_running = nullptr;

auto Find(HHOOK hook) {
  return std::find_if(g_hooks.begin(), g_hooks.end(), [hook](const auto& h) { return h.get() == hook; });
}

// Runs one hook with it marked as the running one, the caller's mark restored after.
LRESULT RunHook(HHOOK hook, int code, WPARAM wParam, LPARAM lParam) {
  HHOOK outer = g_running;
  g_running = hook;
  LRESULT r = hook->proc(code, wParam, lParam);
  g_running = outer;
  return r;
}
}  // namespace

HHOOK SetWindowsHookExA(int kind, HOOKPROC proc, HINSTANCE, DWORD) {
  if (kind != WH_MSGFILTER || proc == nullptr) return nullptr;
  g_hooks.insert(g_hooks.begin(), std::make_unique<HHOOK__>(HHOOK__{proc}));
  return g_hooks.front().get();
}

BOOL UnhookWindowsHookEx(HHOOK hook) {
  auto it = Find(hook);
  if (it == g_hooks.end()) return FALSE;
  if (g_running == hook) g_running = nullptr;
  g_hooks.erase(it);
  return TRUE;
}

LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam) {
  // Within a pass the message moves on from the hook that runs, whatever
  // handle it names: a handle of a hook earlier in the chain would send the
  // message round again for ever.
  auto it = Find(g_running != nullptr ? g_running : hook);
  if (it == g_hooks.end() || ++it == g_hooks.end()) return 0;
  return RunHook(it->get(), code, wParam, lParam);
}

BOOL CallMsgFilterA(MSG* msg, int code) {
  if (g_hooks.empty() || msg == nullptr) return FALSE;
  return RunHook(g_hooks.front().get(), code, 0, reinterpret_cast<LPARAM>(msg)) != 0;
}

int InstalledMsgFilterHookCount() { return static_cast<int>(g_hooks.size()); }
