// Code pages: program text is Windows-1252; the OEM code page is 850. Tables
// are built once through iconv; UTF-8 appears only at the Qt and file-name
// boundary.
#pragma once

#include "platform/win/codepage_text.h"
#include "platform/win/win_types.h"

#include <cstdint>
#include <string>

// The Unicode code point of an OEM (850) byte.
uint32_t OemToUnicode(unsigned char c);
// The OEM (850) byte of a code point, or -1 when it has none.
int UnicodeToOem(uint32_t cp);

// OEM to ANSI in place or into dst (dst may equal src). Characters the ANSI
// page lacks take the nearest look-alike (box lines become '-', '|' or '+'),
// else '?'. Always TRUE, as in Win32.
BOOL OemToCharA(LPCSTR src, LPSTR dst);
BOOL OemToCharBuffA(LPCSTR src, LPSTR dst, DWORD length);
BOOL CharToOemA(LPCSTR src, LPSTR dst);
BOOL CharToOemBuffA(LPCSTR src, LPSTR dst, DWORD length);

// Case mapping of Windows-1252 letters (accented letters included).
unsigned char AnsiUpper(unsigned char c);
unsigned char AnsiLower(unsigned char c);
// Compares ignoring Windows-1252 case: <0, 0, >0 by the lower-cased bytes.
int CompareAnsiNoCase(const char* a, const char* b);
