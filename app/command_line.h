// What the command line asks for, once parsed: the switch positions kept by
// the application, and the steps of acting on them that belong to the
// document and the report files, reached through one replaceable interface.
#pragma once

#include "platform/win/win_types.h"

#include <string>
#include <vector>

// The positions of the switches in the argument table (0: not given).
struct CommandLineSwitches {
  int report = 0;      // /R, or a bare report file
  int library = 0;     // /L, or a bare library
  int blank = 0;       // /T
  int instant = 0;     // /I
  int startFile = 0;   // /S
  int queryFile = 0;   // a bare query-definition file
  int dataSource = 0;  // /N
  int dll = 0;         // /D
  int go = 0;          // /G
};

// Start modes the command line runs a new report in.
enum CommandLineStartMode : int {
  kStartInstant = 2,
  kStartBlank = 3,
  kStartScript = 10,
};

// The document and report-file steps of acting on the command line. Every
// default fails, so a step whose owner is not in place opens nothing.
class CommandLineActions {
 public:
  virtual ~CommandLineActions() = default;

  // The start file's master table; false when the file cannot be read.
  virtual bool ReadStartFile(const char* /*path*/, std::string* /*masterTable*/) { return false; }
  // A new report in the given start mode (restored afterwards by the callee).
  virtual BOOL DoFileNew(const char* /*masterTable*/, int /*passThrough*/, int /*ask*/,
                         int /*fromQuery*/, int /*startMode*/) {
    return FALSE;
  }
  virtual bool LoadQueryFile(const char* /*path*/) { return false; }
  // The older-library flag cleared and the default printer taken.
  virtual void PrepareForOpen() {}
  // The library opened read-only; false after its own message.
  virtual bool OpenCommandLineLibrary(const char* /*path*/) { return false; }
  virtual void CloseLibrary() {}
  // The member names, in the library's order; false when none can be read.
  virtual bool ListMembers(std::vector<std::string>* /*names*/) { return false; }
  // The member's first record; false with the library's error text.
  virtual bool FindMember(const char* /*name*/, long* /*firstRecord*/, std::string* /*errorText*/) {
    return false;
  }
  // The document's current library entry (both copies); the model's
  // field-deletion hook cleared.
  virtual void SetLibraryEntry(long /*firstRecord*/) {}
  // Opens the report with no data-source question: 1 opened, 0 declined, -1 failed.
  virtual int OpenReport(const char* /*path*/) { return -1; }
  // After a successful open: the current report name, the output destination
  // (2 with a print-to-file name, else 0), the load finished (not as a
  // template) and the run mode 0.
  virtual void FinishOpen(const char* /*reportName*/) {}
  // Messages: a string-table text with up to two text arguments.
  virtual void ShowError(UINT /*id*/, const char* /*a1*/ = nullptr, const char* /*a2*/ = nullptr) {}
};

// The name tests of the command line, on the last three characters after the
// last dot, ignoring case.
bool HasExtension(const char* name, const char* ext3);
// True when the file begins with the compound-file signature.
bool IsCompoundFileName(const char* path);
// True when the token, though it begins with "/", is an absolute path and
// not a switch: it names an existing file, or its first folder exists
// ("/tmp/new.kmw"). "/L/home/lib.kml" stays a switch: there is no "/L".
bool NamesExistingFile(const char* token);
