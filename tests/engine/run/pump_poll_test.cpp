// A run lets window messages through by time, not on every record or band:
// the first look is at once, the next one once the interval has passed.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "engine/report_run.h"
#include "engine/run_report.h"
#include "platform/win/ui_app.h"
#include "platform/win/window.h"

namespace {

int g_pumps = 0;
bool g_pending = false;

// A message kept waiting in the queue: each look at the queue delivers it,
// and counts as one.
LRESULT CountingProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_USER + 7) {
    ++g_pumps;
    g_pending = false;
    return 0;
  }
  return DefWindowProcA(h, msg, wParam, lParam);
}

void Pump(ReportRun* run, HWND window) {
  if (!g_pending) {
    PostMessageA(window, WM_USER + 7, 0, 0);
    g_pending = true;
  }
  PumpRunMessages(run);
}

TEST(RunPump, MessagesAreLetThroughByTimeNotByCall) {
  UiStartApplication();
  WNDCLASSA wc{};
  wc.lpfnWndProc = CountingProc;
  wc.lpszClassName = "VtPumpCount";
  RegisterClassA(&wc);
  HWND window = CreateWindowExA(0, "VtPumpCount", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  ReportRun run;
  g_pumps = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 100000; ++i) Pump(&run, window);
  const auto spent = std::chrono::steady_clock::now() - start;
  // However slow the machine, no more looks than intervals passed, plus the first.
  const long intervals = static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(spent).count() / kRunPumpMilliseconds);
  EXPECT_GE(g_pumps, 1);
  EXPECT_LE(g_pumps, intervals + 1);
  const int before = g_pumps;
  std::this_thread::sleep_for(std::chrono::milliseconds(kRunPumpMilliseconds + 10));
  // The clock is read within the next kRunPumpCallsPerLook calls: one look.
  for (int i = 0; i < kRunPumpCallsPerLook; ++i) Pump(&run, window);
  EXPECT_EQ(g_pumps, before + 1);
  DestroyWindow(window);
}

}  // namespace
