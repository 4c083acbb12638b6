// The application's own argument vector: the command line split into tokens
// in one 200-character buffer (entry 0 null, at most 53 arguments), the
// joining of the arguments back into one file name, the module named by /D
// and the /E connection text. The application object derives from this class.
#pragma once

#include "platform/win/win_types.h"

#include <string>

class CKmAppCommandLine {
 public:
  static constexpr int kTokenBufferSize = 200;
  static constexpr int kMaxArguments = 53;

  CKmAppCommandLine() = default;
  virtual ~CKmAppCommandLine() = default;
  CKmAppCommandLine(const CKmAppCommandLine&) = delete;
  CKmAppCommandLine& operator=(const CKmAppCommandLine&) = delete;

  // 1 when the tokens fit; else the result of ReportCommandLineError(1001)
  // (which is 0) and the vector holds no arguments.
  int TokenizeCommandLine(const char* text);
  // Arguments first to count - 1 become one text (argument first) with the
  // spacing they had on the command line; the count becomes first + 1. A
  // file name is the last thing on the line: switches may stand before it.
  void JoinFileArgument(int first = 1);
  // Loads the module named by the /D argument; a failed load clears the index.
  void LoadCommandLineDll();
  void FreeOptionalDll();
  void SetConnectText(const char* text) { connectText_ = text == nullptr ? "" : text; }
  std::string GetConnectText() const { return connectText_; }

  // Shows string id over the main window and returns 0. This version only
  // remembers the id; the application object overrides it with the message.
  virtual int ReportCommandLineError(UINT id);

  int argc() const { return argc_; }
  // Entry i (0 is always null); null past the last argument.
  const char* argv(int i) const { return (i >= 0 && i <= argc_) ? argv_[i] : nullptr; }
  // The document's /D argument index (0 when the switch was not given).
  int optionalDllIndex = 0;
  HMODULE optionalDll() const { return optionalDll_; }
  UINT lastCommandLineError() const { return lastError_; }

 private:
  char tokens_[kTokenBufferSize] = {};
  char* argv_[kMaxArguments + 2] = {};
  int argc_ = 0;
  HMODULE optionalDll_ = nullptr;
  std::string connectText_;
  UINT lastError_ = 0;
};

// The command line as Windows would pass it, rebuilt from argv[1..]: arguments
// joined by single blanks, one holding a blank or tab (or empty) put in double
// quotes, an embedded double quote written as \". The system gives the words
// in its own spelling (UTF-8); each becomes program text here, once, as a
// file name does (a word with letters outside the code page keeps its bytes).
std::string CommandLineFromArgs(int argc, const char* const* argv);
