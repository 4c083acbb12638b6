// Small text and value helpers used everywhere: blank and pad-character
// trimming, file-name parts, scaled integers, temporary names, band names,
// field kind codes and Shell sorts. Characters are classified in the "C"
// locale as unsigned bytes, so Windows-1252 letters are never white space.
#pragma once

#include "platform/win/win_types.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

bool IsCSpace(unsigned char c);
// Equality of two texts with ASCII letters compared without regard to case;
// two nulls are equal, a null and a text are not.
bool EqualNoCase(const char* a, const char* b);
// The same for the first n bytes of each, NULs included.
bool EqualNoCase(const char* a, const char* b, size_t n);
// The same for two counted texts: the lengths must match.
bool EqualNoCase(std::string_view a, std::string_view b);

// How many of the first n bytes come before the first below 0x20 (n when
// none is): eight bytes at a time, for the values of every record, and the
// bytes short of a whole eight by a word that ends at the last byte,
// overlapping the ones already looked at. Only a word that has such a byte
// is gone through byte by byte, for where the first is.
inline size_t ControlFreeLength(const char* text, size_t n) {
  constexpr uint64_t kOnes8 = 0x0101010101010101ull, kHighs8 = 0x8080808080808080ull;
  constexpr uint32_t kOnes4 = 0x01010101u, kHighs4 = 0x80808080u;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    __builtin_memcpy(&w, text + i, sizeof w);
    if ((w - kOnes8 * 0x20) & ~w & kHighs8) break;
  }
  if (i < n && i + 8 > n) {
    if (n >= 8) {
      uint64_t w;
      __builtin_memcpy(&w, text + n - 8, sizeof w);
      if (!((w - kOnes8 * 0x20) & ~w & kHighs8)) return n;
    } else if (n >= 4) {
      uint32_t a, b;
      __builtin_memcpy(&a, text, sizeof a);
      __builtin_memcpy(&b, text + n - 4, sizeof b);
      if (!(((a - kOnes4 * 0x20) & ~a & kHighs4) | ((b - kOnes4 * 0x20) & ~b & kHighs4))) return n;
    }
  }
  while (i < n && static_cast<unsigned char>(text[i]) >= 0x20) ++i;
  return i;
}

const char* SkipWhiteSpace(const char* text);
const char* SkipLeadingSpace(const char* text);
// Length without trailing white space and pad characters.
size_t TrimmedLength(const char* text, unsigned char pad);
// Cuts trailing white space and pad characters in place; returns the new length.
size_t TrimTrailing(char* text, unsigned char pad);
// Every pad character becomes a blank, in place; returns the text.
char* PadCharsToBlanks(char* text, unsigned char pad);
// When shorter than width, fills with c up to width and terminates there (the
// buffer holds width + 1 bytes).
void PadString(char* text, char c, int width);
// Copies leaving out every tab and every CR followed by LF (with that LF).
void RemoveTabsAndCrLf(const char* src, char* dst);

// The part after the last separator ('\' or '/'), else after the last ':'.
const char* FileNamePart(const char* path);
// Replaces or adds the extension (without the point) of the path in a buffer of
// size bytes; see the rules in the definition. 1 when the path changed, 0 when
// left (also when the result would not fit).
int ApplyFileExtension(char* path, size_t size, const char* extension, int force);
// Keeps drive, file name and extension, shortening the folders between with
// "..."; cut to size - 1 characters.
void ShortenPathForDisplay(const char* path, char* buffer, size_t size);

// "Jan" to "Dec" from the string table (slot 0); empty for another month.
char* GetMonthAbbrev(int month);

// An unsigned 16-bit value with decimals implied places, the point shown as
// decimalChar; returns the length (bounded by size).
int FormatScaledInt(WORD value, char* buffer, size_t size, unsigned decimals, char decimalChar);
// Parses digits and at most one decimalChar into a value scaled by 10^decimals.
// -1: a character that is not a digit, a second decimal character, or a value
// beyond 65535; -2: more fraction digits than decimals (after trailing zeros are
// dropped). Otherwise the value, also stored in *value.
int strToInt(const char* text, WORD* value, int decimals, char decimalChar);

// The temporary folder, "KMW", the process id in lower-case hexadecimal, "."
// and the suffix, bounded by size; empty when there is no temporary folder.
char* MakeTempFileName(const char* suffix, char* buffer, size_t size);

// Band names: 5 Title, 10 Page Header, 60 Record, 110 Summary, 120 Page
// Footer; group headers 20-27 and footers 70-77 named by level, with the group
// field's name when groupFieldName answers one for the level (0-7); 255 and
// other kinds give an empty text. Bounded by size.
void GetBandName(char* buffer, size_t size, int kind,
                 const std::function<const char*(int level)>& groupFieldName);


// True for the page bands (10, 120), a group header whose group has flag 16 and
// a group footer whose group has flag 8, as testGroupFlag(level, mask) answers.
bool IsPageOrGroupBand(int kind, const std::function<bool(int level, unsigned mask)>& testGroupFlag);

// The width of a logical value: the longer of the true and false texts.
int LogicalTextWidth(const char* trueText, const char* falseText);

// A field's OEM value text made displayable: byte 250 becomes a blank, the text
// is converted from the OEM code page in place, then each blank becomes pad.
void OemTextToAnsi(char* text, size_t length, unsigned char pad);
// Clears 255 bytes of buffer and copies the value (at most 254 bytes) with
// every pad character replaced by a blank.
void CopyWithoutPadChars(const char* value, size_t length, unsigned char pad, char* buffer);

// Shell sort: the gap starts at count / 2 and halves to 0; neighbours a gap
// apart are swapped while the compare answers a positive value.
template <class T, class Compare>
void ShellSortA(T* items, size_t count, Compare compare) {
  for (size_t gap = count / 2; gap > 0; gap /= 2)
    for (size_t i = gap; i < count; ++i)
      for (size_t j = i; j >= gap && compare(items[j - gap], items[j]) > 0; j -= gap) {
        T t = items[j - gap];
        items[j - gap] = items[j];
        items[j] = t;
      }
}
template <class T, class Compare>
void ShellSortB(T* items, size_t count, Compare compare) {
  ShellSortA(items, count, compare);
}
