#include "platform/win/unattended.h"

#include "platform/win/codepage_text.h"

#include <cstdio>
#include <string>

namespace {
bool g_unattended = false;
long g_refused = 0;
long g_written = 0;
std::string g_subject;
}  // namespace

void SetUnattendedRun(bool on) { g_unattended = on; }
bool IsUnattendedRun() { return g_unattended; }
long RefusedModalLoops() { return g_refused; }
void CountRefusedModalLoop() { ++g_refused; }

long UnattendedMessagesWritten() { return g_written; }

void SetUnattendedSubject(const char* path) { g_subject = path != nullptr ? path : ""; }

void WriteUnattendedMessage(const char* caption, const char* text) {
  std::string line = "vortelle: ";
  const std::string plain = text != nullptr ? text : "";
  if (!g_subject.empty() && plain.find(g_subject) == std::string::npos) line += AnsiToUtf8(g_subject) + ": ";
  if (caption != nullptr && *caption != '\0') line += AnsiToUtf8(std::string(caption)) + ": ";
  std::string body = AnsiToUtf8(std::string(text != nullptr ? text : ""));
  for (char& c : body)
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  line += body;
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
  ++g_written;
}
