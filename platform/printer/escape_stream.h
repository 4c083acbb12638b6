// The output-driver stream: text bytes in the report's code page mixed with
// escape sequences (ESC, code, up to three 16-bit little-endian arguments).
// This header is the one reading of the format shared by the printer library
// (measure and draw) and the engine (column shifts); it has no Qt in it.
#pragma once

#include "platform/win/win_types.h"

#include <cstring>

constexpr BYTE kEsc = 0x1B;
constexpr WORD kNoArg = 0xFFFF;  // an argument of this value is not written

// Codes of the stream.
enum EscapeCode : BYTE {
  kEscPosition = 1,      // x: start a left-aligned run at x (screen pixels)
  kEscFont = 3,          // font number, style, size (tenths of a point)
  kEscCentreField = 4,   // width opens a centred field; bare closes it
  kEscRightOpen = 5,     // bare: opens a right-aligned text
  kEscCentreOpen = 6,    // bare: opens a centred run
  kEscCentreClose = 7,   // centre x: closes a centred run
  kEscRightClose = 8,    // right x: closes a right-aligned text or run
  kEscVerticalOffset = 10,  // raise of the following text, in decipoints
  kEscColour = 12,       // red, green, blue
};

// One token of a line: a run of text bytes or one escape sequence.
struct StreamToken {
  enum Kind { kText, kEscape, kEnd } kind = kEnd;
  int offset = 0;   // where the token starts in the line
  int length = 0;   // bytes it takes
  BYTE code = 0;    // escape code
  int argCount = 0; // arguments actually present
  WORD args[3] = {0, 0, 0};
};

// Walks a line token by token. The number of arguments of each code is fixed
// by the format; ESC 4 alternates between its opening form (one argument) and
// its bare closing form within one line. A sequence cut off by the end of the
// line ends the walk, and an unknown code is taken as a bare two-byte
// sequence, so no read ever goes past the count given.
class StreamReader {
 public:
  StreamReader(const BYTE* line, int count);
  // The next token; kind kEnd when the line is exhausted.
  StreamToken Next();
  // Offset of the next byte to read.
  int Position() const { return pos_; }

 private:
  WORD ArgAt(int offset) const;
  const BYTE* line_;
  int count_;
  int pos_ = 0;
  bool centredFieldOpen_ = false;
};

// Defined here, inline: every line is read token by token on the run's
// thread and again on the file writer's.

// Arguments the code takes at most when written by PutEscapeSequence; 0 for
// bare codes and codes the stream does not know.
inline int EscapeArgumentCount(BYTE code, bool centredFieldOpen) {
  switch (code) {
    case kEscPosition:
    case kEscCentreClose:
    case kEscRightClose:
    case kEscVerticalOffset:
      return 1;
    case kEscFont:
    case kEscColour:
      return 3;
    case kEscCentreField:
      return centredFieldOpen ? 0 : 1;
    default:
      return 0;
  }
}

inline StreamReader::StreamReader(const BYTE* line, int count)
    : line_(line), count_(line && count > 0 ? count : 0) {}

inline WORD StreamReader::ArgAt(int offset) const {
  return static_cast<WORD>(line_[offset] | (line_[offset + 1] << 8));
}

inline StreamToken StreamReader::Next() {
  StreamToken t;
  if (pos_ >= count_) return t;
  t.offset = pos_;
  if (line_[pos_] != kEsc) {
    const void* esc = std::memchr(line_ + pos_, kEsc, static_cast<size_t>(count_ - pos_));
    const int end = esc ? static_cast<int>(static_cast<const BYTE*>(esc) - line_) : count_;
    t.kind = StreamToken::kText;
    t.length = end - pos_;
    pos_ = end;
    return t;
  }
  // A lone ESC as the last byte carries no code: nothing more to read.
  if (pos_ + 1 >= count_) {
    pos_ = count_;
    return t;
  }
  t.kind = StreamToken::kEscape;
  t.code = line_[pos_ + 1];
  int want = EscapeArgumentCount(t.code, centredFieldOpen_);
  if (pos_ + 2 + 2 * want > count_) {
    // Cut off inside its arguments: the rest of the line is unusable.
    pos_ = count_;
    t.kind = StreamToken::kEnd;
    return t;
  }
  for (int i = 0; i < want; ++i) t.args[i] = ArgAt(pos_ + 2 + 2 * i);
  t.argCount = want;
  t.length = 2 + 2 * want;
  if (t.code == kEscCentreField) centredFieldOpen_ = !centredFieldOpen_;
  pos_ += t.length;
  return t;
}

