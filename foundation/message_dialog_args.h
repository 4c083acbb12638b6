// The arguments of the message wrappers.
#pragma once

#include <cstddef>

// One argument of a formatted message: a text or a number, so a format's
// conversions take exactly what the caller passed.
struct MsgArg {
  MsgArg(const char* s) : text(s), isText(true) {}
  MsgArg(char* s) : text(s), isText(true) {}
  MsgArg(int v) : number(v) {}
  MsgArg(unsigned v) : number(v) {}
  MsgArg(long v) : number(v) {}
  MsgArg(unsigned long v) : number(static_cast<long long>(v)) {}
  MsgArg(long long v) : number(v) {}
  const char* text = nullptr;
  long long number = 0;
  bool isText = false;
};
