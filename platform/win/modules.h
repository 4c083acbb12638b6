// Run-time loading. Modules built into the program register under their file
// name (compared ignoring case, any folder ignored) with named and numbered
// entries; LoadLibraryA finds those first and only then loads a shared object
// from disk with dlopen.
#pragma once

#include "platform/win/win_types.h"

#include <cstddef>

using FARPROC = void (*)();

// An ordinal passed where a name is expected, as in Win32 (values below 0x10000).
inline LPCSTR MAKEINTRESOURCEA(WORD ordinal) {
  return reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(ordinal));
}
inline bool IsOrdinalName(LPCSTR name) { return reinterpret_cast<uintptr_t>(name) < 0x10000; }

struct BuiltinExport {
  const char* name;  // null when the entry is reached by ordinal only
  WORD ordinal;      // 0 when it has none
  FARPROC proc;
};

// Registers (or replaces) a built-in module; the table must outlive the
// registration. Modules already loaded keep the table they were loaded with.
void RegisterBuiltinModule(const char* fileName, const BuiltinExport* exports, size_t count);
void UnregisterBuiltinModule(const char* fileName);

// Null when neither a built-in module nor a loadable file answers the name.
// Loading a module twice gives the same handle and needs two FreeLibrary calls.
HMODULE LoadLibraryA(LPCSTR fileName);
// By name, or by ordinal through MAKEINTRESOURCEA; null when absent.
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
BOOL FreeLibrary(HMODULE module);

// The program's own path for a null module (from /proc/self/exe), the loaded
// path (or registered name) of a module otherwise. Copies at most size - 1
// characters and a terminator and returns the count (size when cut, as Win32).
DWORD GetModuleFileNameA(HMODULE module, LPSTR buf, DWORD size);

// The program's folder with a trailing separator.
const char* ProgramDirectory();
