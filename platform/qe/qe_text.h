// Text between the program's code page (Windows-1252) and the drivers' UTF-8.
#pragma once

#include <cstddef>
#include <string>

namespace qe_text {

// Appends the UTF-8 form of len program-code-page bytes to out.
void AnsiToUtf8(const char* text, size_t len, std::string& out);
std::string AnsiToUtf8(const char* text);

// Converts UTF-8 to the program's code page into out (at most outSize - 1
// bytes, always terminated when outSize > 0). Bytes that are not valid UTF-8
// are taken as already in the code page; characters it lacks become '?'.
// An incomplete sequence at the very end is dropped (a driver cut it).
// Returns the number of bytes the whole text needs; a result >= outSize means
// the text was cut.
size_t Utf8ToAnsi(const char* text, size_t len, char* out, size_t outSize);
// Whether Utf8ToAnsi turns characters of the text into '?' because the code
// page lacks them; lost then receives what each '?' of the converted text
// stands for (a '?' of the text itself as "?"), in order, as UTF-8, and is
// emptied otherwise.
bool LostCharacters(const char* text, size_t len, std::string* lost);
// How many of the first len bytes are ASCII, up to the first that is not.
size_t AsciiRun(const char* text, size_t len);
std::string Utf8ToAnsi(const char* text, size_t len);
std::string Utf8ToAnsi(const std::string& text);

}  // namespace qe_text
