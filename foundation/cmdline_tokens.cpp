#include "foundation/cmdline_tokens.h"

#include "platform/win/fileio.h"
#include "platform/win/modules.h"

#include <cstring>

int CKmAppCommandLine::ReportCommandLineError(UINT id) {
  lastError_ = id;
  return 0;
}

int CKmAppCommandLine::TokenizeCommandLine(const char* text) {
  std::memset(tokens_, 0, sizeof tokens_);
  for (char*& a : argv_) a = nullptr;
  argc_ = 1;
  if (text == nullptr) text = "";
  const char* p = text;
  while (*p == ' ') ++p;
  int used = 0;        // bytes of the buffer taken, terminators and kept blanks included
  int pending = 0;     // blanks beyond the first seen before the next token
  std::string token;
  while (*p != '\0') {
    token.clear();
    bool started = false;
    while (*p != '\0' && *p != ' ' && *p != '\t') {
      started = true;
      if (p[0] == '\\' && p[1] == '"') {
        token += '"';
        p += 2;
        continue;
      }
      if (*p == '"') {
        ++p;
        // The quoted part runs to the next quote not preceded by a backslash,
        // or to the end of the text when it is never closed.
        while (*p != '\0' && *p != '"') {
          if (p[0] == '\\' && p[1] == '"') {
            token += '"';
            p += 2;
          } else {
            token += *p++;
          }
        }
        if (*p == '"') ++p;
        continue;
      }
      token += *p++;
    }
    if (started) {
      int need = pending + static_cast<int>(token.size()) + 1;
      // Entry 0 stays null and the entry after the last token too: the table
      // holds kMaxArguments - 2 tokens.
      if (used + need > kTokenBufferSize || argc_ > kMaxArguments - 2) {
        std::memset(tokens_, 0, sizeof tokens_);
        for (char*& a : argv_) a = nullptr;
        argc_ = 1;
        return ReportCommandLineError(1001);
      }
      std::memset(tokens_ + used, ' ', static_cast<size_t>(pending));
      used += pending;
      std::memcpy(tokens_ + used, token.data(), token.size());
      argv_[argc_++] = tokens_ + used;
      used += static_cast<int>(token.size());
      tokens_[used++] = '\0';
    }
    pending = 0;
    bool first = true;
    while (*p == ' ' || *p == '\t') {
      if (*p == ' ') {
        if (!first) ++pending;
        first = false;
      }
      ++p;
    }
  }
  argv_[argc_] = nullptr;
  return 1;
}

void CKmAppCommandLine::JoinFileArgument(int first) {
  if (first < 1 || argc_ <= first + 1) return;
  // The terminators between the arguments become blanks; the kept extra
  // blanks already follow them in the buffer.
  for (int i = first; i < argc_ - 1; ++i) {
    char* end = argv_[i] + std::strlen(argv_[i]);
    *end = ' ';
  }
  for (int i = first + 1; i <= argc_; ++i) argv_[i] = nullptr;
  argc_ = first + 1;
}

void CKmAppCommandLine::LoadCommandLineDll() {
  if (optionalDllIndex <= 0) return;
  const char* name = argv(optionalDllIndex);
  optionalDll_ = name != nullptr ? LoadLibraryA(name) : nullptr;
  if (optionalDll_ == nullptr) optionalDllIndex = 0;
}

void CKmAppCommandLine::FreeOptionalDll() {
  if (optionalDllIndex != 0 && optionalDll_ != nullptr) FreeLibrary(optionalDll_);
  optionalDll_ = nullptr;
}

std::string CommandLineFromArgs(int argc, const char* const* argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (argv[i] == nullptr) continue;
    if (!line.empty()) line += ' ';
    std::string arg = ProgramFileName(argv[i]);
    bool quote = arg.empty() || arg.find_first_of(" \t") != std::string::npos;
    if (quote) line += '"';
    for (char c : arg) {
      if (c == '"') line += '\\';
      line += c;
    }
    if (quote) line += '"';
  }
  return line;
}
