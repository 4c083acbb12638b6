// The Report Specification: the report's definition printed as plain text
// lines through the printer library, one page after another, in the run's
// print or preview.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct ReportRun;

// One export format's block under Export Options: its name, its output
// file, and its option lines (indent in blanks, text). The export settings
// live above the engine, so their owner describes them.
struct SpecExportBlock {
  std::string formatName;
  std::string path;
  std::vector<std::pair<int, std::string>> lines;
};

// The whole printout; the document's run state carries a stop or a failure.
// exports: the blocks of the formats whose output is set (may be null).
void PrintReportSpecification(ReportRun* run, const std::vector<SpecExportBlock>* exports = nullptr);

// The short band name the printout shows ("Title", "Pg Hdr", "Hdr 1", ...).
std::string SpecBandName(int band);
