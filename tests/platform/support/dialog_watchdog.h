// A modal dialog that no step of a test answers fails that test, naming the
// dialog, and is closed, so a test never hangs in a modal loop. Every test
// program has it from its start (tests/support/test_main.cpp).
#pragma once

namespace dialog_watchdog {

// Watches from the toolkit's start on, in every modal loop of the process.
void Install();

// How many of the watchdog's turns (a tenth of a second each, counted only
// while the event loop runs) the innermost modal dialog may wait; returns
// the old figure. For the watchdog's own tests.
int SetPatience(int turns);

}  // namespace dialog_watchdog
