// A bounded formatter in the manner of wsprintfA: integers, characters and
// texts only, never the C library's locale, and never more than the
// destination holds. A message text is never used as a format: the
// no-argument message forms go through CopyMessageText.
#pragma once

#include "platform/win/win_types.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>

// One conversion as the format writes it: its letter and size prefixes.
struct FormatConversion {
  char letter = 0;
  int longs = 0;  // count of 'l'
  bool half = false;
  bool sized = false;
};

// One argument as a conversion takes it: a text, or a number whose magnitude
// and sign are given apart (%s of a number prints it in decimal).
struct FormatValue {
  const char* text = nullptr;
  uint64_t magnitude = 0;
  bool negative = false;
  bool isText = false;
};

// Where the bounded formatter takes its arguments from.
class FormatArgSource {
 public:
  virtual ~FormatArgSource() = default;
  // Whether this source serves the conversion letter at all; a letter it does
  // not serve is copied as it stands.
  virtual bool Serves(char letter) const = 0;
  // A '*' width or precision; false leaves the directive as written.
  virtual bool Count(int* value) = 0;
  // The next argument; false when none is left, and the conversion prints nothing.
  virtual bool Next(const FormatConversion& conv, FormatValue* value) = 0;
};

// The formatter behind wvsprintfBounded, with the conversions of the list
// below plus %o where the source serves it.
int FormatBounded(LPSTR buf, size_t size, LPCSTR format, FormatArgSource& args);

// Conversions: %s, %c (low byte of an int), %d, %i, %u, %x, %X, with the flags
// '-', '0', '+', ' ', '#', a width and a precision (also '*'), and the size
// prefixes 'l', 'h', 'll', 'z'; "%%" is a percent sign. A null %s argument is
// "(null)". Anything else is copied as it stands. Writes at most size - 1
// characters and a terminator; returns the count written (0 when size is 0).
int wvsprintfBounded(LPSTR buf, size_t size, LPCSTR format, va_list args);
int wsprintfBounded(LPSTR buf, size_t size, LPCSTR format, ...)
    __attribute__((format(printf, 3, 4)));

// The text as the no-argument message forms show it: "%%" becomes "%", every
// other character is copied literally. Bounded as above.
int CopyMessageText(LPSTR buf, size_t size, LPCSTR text);

// Bounded copy: at most size - 1 characters and a terminator; returns the count.
size_t CopyBounded(LPSTR dst, size_t size, LPCSTR src);
// Bounded append to a terminated text in a buffer of size bytes.
size_t AppendBounded(LPSTR dst, size_t size, LPCSTR src);
