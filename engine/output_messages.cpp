#include "engine/output_messages.h"

#include "platform/win/resources.h"

#include <cstdio>

namespace {

void ToStandardError(const std::string& text, const std::string& caption) {
  if (!caption.empty())
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  else
    std::fprintf(stderr, "%s\n", text.c_str());
}

OutputMessageSink gSink = ToStandardError;

}  // namespace

void SetOutputMessageSink(OutputMessageSink sink) { gSink = sink ? sink : ToStandardError; }

void ShowOutputError(const std::string& text, const std::string& caption) { gSink(text, caption); }

std::string OutputMessageText(unsigned id, const std::string& arg) {
  // The argument is inserted as text, never used as a format.
  std::string text = LoadResString(id);
  size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, arg);
  return text;
}
