// Running the built program (or any command) from a test and reading what it wrote.
#pragma once

#include <string>

namespace program_run {
// Runs the command through the shell; its standard output, and its exit status.
std::string Capture(const std::string& command, int* status = nullptr);
// The program beside the running test program.
std::string ProgramPath();
}  // namespace program_run
