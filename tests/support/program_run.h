// Running shell commands and the program itself from a test.
#pragma once

#include <string>

namespace program_run {

// The standard output of a shell command; its exit status in status.
std::string Capture(const std::string& command, int* status = nullptr);
bool Have(const char* tool);
// The program built beside the test program.
std::string ProgramPath();
// An environment assignment for a command line that runs the program: the
// leak checker's list of memory that is not ours (tests/lsan.supp) is given
// to the program whatever the test itself was started with, as the program
// has no list built in and fontconfig keeps its memory to the end.
std::string ProgramLeakOptions();
// A shared library that leaves a marker file when something loads it (and
// is an SQLite extension, so that the driver takes it). False without a C
// compiler: the refusals are still checked, the marker then proves nothing.
bool MakeMarkingLibrary(const std::string& library, const std::string& marker);
// Environment assignments that run the program as if the folder were on a
// file system taking no locks (every record lock and flock on a file there
// fails with ENOLCK, as on NFS without its lock service), through a library
// made at library; empty without a C compiler.
std::string NoLocksEnvironment(const std::string& library, const std::string& folder);

}  // namespace program_run
