// Programs this one starts: run directly (no shell sees the arguments), with
// no open file of ours but the standard ones, watched by their exit code.
#pragma once

#include "platform/win/win_types.h"

#include <string>
#include <vector>

struct ChildProcess;
using HPROCESS = ChildProcess*;

// The exit code of a program that has not ended yet.
constexpr DWORD STILL_ACTIVE = 259;

// Starts the program with args as its arguments after its own name (which
// is the path). Null when it cannot be started, with the system's error
// number in *error.
HPROCESS StartProgram(const std::string& path, const std::vector<std::string>& args, DWORD* error);
// The program's exit code, STILL_ACTIVE while it runs; FALSE when it cannot
// be learnt. A program killed by a signal ends with 128 + the signal.
BOOL GetExitCodeProcess(HPROCESS process, DWORD* code);
// Lets go of the handle. A program still running runs on; its end is
// collected then, so it never lingers as a zombie.
void CloseProcessHandle(HPROCESS process);
