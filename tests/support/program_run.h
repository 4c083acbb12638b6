// Running shell commands and the program itself from a test.
#pragma once

#include <string>

namespace program_run {

// The standard output of a shell command; its exit status in status.
std::string Capture(const std::string& command, int* status = nullptr);
bool Have(const char* tool);
// The program built beside the test program.
std::string ProgramPath();

}  // namespace program_run
