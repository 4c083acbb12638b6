// Text conversions between the program's code page (Windows-1252) and
// Unicode. Needs no Win32 types, so code beside the database driver headers,
// which define their own, can include it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The Unicode code point of a Windows-1252 byte. The five bytes Windows-1252
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to U+0081 ... as Windows does.
uint32_t AnsiToUnicode(unsigned char c);
// The Windows-1252 byte of a code point, or -1 when it has none.
int UnicodeToAnsi(uint32_t cp);

// Appends the UTF-8 form of len Windows-1252 bytes to out.
void AnsiToUtf8(const char* text, size_t len, std::string& out);
std::string AnsiToUtf8(const std::string& text);
// Characters without a Windows-1252 byte, and malformed UTF-8, become '?'.
std::string Utf8ToAnsi(const std::string& text);

// Decodes one UTF-8 sequence at p (text ending at end) into cp. Returns its
// length; 0 when it is not a well-formed sequence (overlong forms, code points
// past U+10FFFF and stray continuation bytes included); -1 when it is a valid
// start cut short by the end of the text.
int DecodeUtf8(const unsigned char* p, const unsigned char* end, uint32_t* cp);
