// The page-image exports written from the pages a run laid out: plain text
// in character cells, RTF, and HTML with its pictures beside the page.
#pragma once

#include "export/export_settings.h"
#include "platform/export/page_capture.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

struct TextPageOptions {
  int pitch = 10;          // characters per inch
  int linesPerInch = 6;
  bool oemCharacters = false;
};
// Where a writer's output goes, a piece at a time as each page is made
// (pages are read back from the document one at a time, so a long report is
// written in the same memory); false stops the writer.
using ExportSink = std::function<bool(const std::string& bytes)>;

bool WriteTextPages(const CapturedDocument& doc, const TextPageOptions& o, const ExportSink& out);
std::string WriteTextPages(const CapturedDocument& doc, const TextPageOptions& o);

bool WriteRtfPages(const CapturedDocument& doc, const ExportSink& out);
std::string WriteRtfPages(const CapturedDocument& doc);

// The files of an HTML export: (program path, bytes), the first the page
// named by the options.
using ExportFiles = std::vector<std::pair<std::string, std::string>>;
ExportFiles WriteHtmlPages(const CapturedDocument& doc, const HtmlExportOptions& o, const std::string& reportTitle,
                           uint32_t chartHash);
// The same written as it is made: the first page's file to page, every
// other file (the later pages' and the pictures') to file as soon as it is
// whole, each picture before the page that shows it.
using ExportFileSink = std::function<bool(const std::string& path, const std::string& bytes, bool isPage)>;
bool WriteHtmlPages(const CapturedDocument& doc, const HtmlExportOptions& o, const std::string& reportTitle,
                    uint32_t chartHash, const ExportSink& page, const ExportFileSink& file);
