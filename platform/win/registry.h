// A registry kept in a text file in the Windows directory (registry.dat): keys
// by hive and path (compared ignoring case), string, 32-bit and binary
// values. Read on every call and written through, like the profile files.
// Before the store is first written it holds the office suite's private folder
// (HKEY_LOCAL_MACHINE SOFTWARE\Brennick\Office, value TARVOPrivateDir).
#pragma once

#include "platform/win/win_types.h"

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;
using LPBYTE = BYTE*;
using LPDWORD = DWORD*;

#define VT_PREDEFINED_KEY(v) (reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<int32_t>(v))))
#define HKEY_CLASSES_ROOT VT_PREDEFINED_KEY(0x80000000u)
#define HKEY_CURRENT_USER VT_PREDEFINED_KEY(0x80000001u)
#define HKEY_LOCAL_MACHINE VT_PREDEFINED_KEY(0x80000002u)
#define HKEY_USERS VT_PREDEFINED_KEY(0x80000003u)

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_WRITE_FAULT = 29;

constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Opens an existing key (sub may be null or empty for the key itself).
LONG RegOpenKeyExA(HKEY key, LPCSTR sub, DWORD options, REGSAM access, PHKEY result);
// Opens or creates the key and its missing parents.
LONG RegCreateKeyExA(HKEY key, LPCSTR sub, DWORD reserved, LPSTR keyClass, DWORD options,
                     REGSAM access, void* security, PHKEY result, LPDWORD disposition);
// With data null: the size needed (strings with their terminator) in *size.
// A buffer too small gives ERROR_MORE_DATA and the size needed. A string read
// whole is always terminated.
LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD size);
// REG_SZ keeps the text up to its terminator or size bytes; REG_DWORD needs 4
// bytes (little-endian).
LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD size);
LONG RegDeleteValueA(HKEY key, LPCSTR name);
LONG RegCloseKey(HKEY key);

// Test hook: refuse write access to a hive (as for a user without rights).
void RegSetHiveReadOnly(HKEY hive, bool readOnly);
