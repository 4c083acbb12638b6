// Running the program and other commands from a test: the output and exit
// status of a shell command, the program beside the test, and a document
// ready to have a report built into it and written.
#pragma once

#include "app/document.h"
#include "files/report_io.h"

#include <memory>
#include <string>

// Standard output of the shell command; its exit status into status.
std::string CaptureCommand(const std::string& command, int* status = nullptr);
// The vortelle program built beside the running test ("" when unknown).
std::string ProgramPath();

// A document with its band lines, page set-up and report file object, as
// the program's start-up gives them, for building a report in code.
struct ScratchReportDoc {
  ScratchReportDoc();
  ~ScratchReportDoc();
  std::unique_ptr<BandLineRec[]> lines;
  CKmDoc doc;
  CKmRepIO io;
};
