#include "platform/printer/escape_stream.h"

#include <cstring>

int EscapeArgumentCount(BYTE code, bool centredFieldOpen) {
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

StreamReader::StreamReader(const BYTE* line, int count)
    : line_(line), count_(line && count > 0 ? count : 0) {}

WORD StreamReader::ArgAt(int offset) const {
  return static_cast<WORD>(line_[offset] | (line_[offset + 1] << 8));
}

StreamToken StreamReader::Next() {
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
