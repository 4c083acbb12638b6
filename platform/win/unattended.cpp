#include "platform/win/unattended.h"

#include "platform/win/codepage_text.h"
#include "platform/win/fileio.h"

#include <cstdio>
#include <string>

namespace {
bool g_unattended = false;
long g_refused = 0;
long g_written = 0;
std::string g_subject;
std::string g_lastLine;
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
  if (!g_subject.empty() && plain.find(g_subject) == std::string::npos) line += FileNameText(g_subject) + ": ";
  if (caption != nullptr && *caption != '\0') line += AnsiToUtf8(std::string(caption)) + ": ";
  // The text may name a file the code page cannot hold: such a name keeps
  // the system's spelling, and so does the line.
  std::string body = FileNameText(text != nullptr ? text : "");
  for (char& c : body)
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  line += body;
  // The same reason given again (another step meeting the same fault) is
  // said once; it still counts as said.
  ++g_written;
  if (line == g_lastLine) return;
  g_lastLine = line;
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}
