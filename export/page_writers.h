// The page-image exports written from the pages a run laid out: plain text
// in character cells, RTF, and HTML with its pictures beside the page.
#pragma once

#include "export/export_settings.h"
#include "platform/export/page_capture.h"

#include <string>
#include <utility>
#include <vector>

struct TextPageOptions {
  int pitch = 10;          // characters per inch
  int linesPerInch = 6;
  bool oemCharacters = false;
};
std::string WriteTextPages(const CapturedDocument& doc, const TextPageOptions& o);

std::string WriteRtfPages(const CapturedDocument& doc);

// The files of an HTML export: (program path, bytes), the first the page
// named by the options.
using ExportFiles = std::vector<std::pair<std::string, std::string>>;
ExportFiles WriteHtmlPages(const CapturedDocument& doc, const HtmlExportOptions& o, const std::string& reportTitle,
                           uint32_t chartHash);
