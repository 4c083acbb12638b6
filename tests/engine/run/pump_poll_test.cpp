// A run lets window messages through by time, not on every record or band:
// the first look is at once, the next one once the interval has passed.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "engine/report_run.h"
#include "engine/run_report.h"

namespace {

int g_pumps = 0;

TEST(RunPump, MessagesAreLetThroughByTimeNotByCall) {
  ReportRun run;
  run.links.pumpMessages = [] { ++g_pumps; };
  g_pumps = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 100000; ++i) PumpRunMessages(&run);
  const auto spent = std::chrono::steady_clock::now() - start;
  // However slow the machine, no more looks than intervals passed, plus the first.
  const long intervals = static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(spent).count() / kRunPumpMilliseconds);
  EXPECT_GE(g_pumps, 1);
  EXPECT_LE(g_pumps, intervals + 1);
  const int before = g_pumps;
  std::this_thread::sleep_for(std::chrono::milliseconds(kRunPumpMilliseconds + 10));
  PumpRunMessages(&run);
  EXPECT_EQ(g_pumps, before + 1);
  run.links.pumpMessages = nullptr;
  PumpRunMessages(&run);  // no hook: nothing to call
  EXPECT_EQ(g_pumps, before + 1);
}

}  // namespace
