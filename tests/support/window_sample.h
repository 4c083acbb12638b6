// A sample folder for scenarios that run the program's window in the test
// process: the sample database and its data source, kmw.ini without the
// splash, the environment pointed at the folder, the toolkit started and
// the sample report written as sales.kmw.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

class CKmApp;
class CMainFrame;

namespace window_sample {

// The folder (made under /tmp with the prefix), or "" when the program, the
// SQLite ODBC driver or one of the command-line tools is missing, or the
// sample cannot be made. One per test suite: the ODBC library keeps the data
// sources it has read for the life of the process.
std::string Make(const std::string& prefix, std::initializer_list<const char*> tools);

// Runs the window layer's queue (timers included) until done(); false when
// it has not come after half a minute.
bool PumpUntil(const std::function<bool()>& done);

// Started without a report, the program offers its start dialog once its
// frame shows; this cancels it as the user would (or waits while a test's
// own steps answer it). False when the start choice never came.
bool CancelStartDialog();

// The program started in this process with these arguments (the program's
// name comes first), its frame shown at 1000 x 720 once its report is open;
// null when the start fails.
CMainFrame* StartFrame(CKmApp& app, std::vector<std::string> args);

}  // namespace window_sample
