// The page-image exports written from the pages a run laid out: plain text
// in character cells, RTF, and HTML with its pictures beside the page.
#pragma once

#include "export/export_settings.h"
#include "platform/export/page_capture.h"

#include <functional>
#include <memory>
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
ExportFiles WriteHtmlPages(const CapturedDocument& doc, const HtmlExportOptions& o, const std::string& reportTitle);
// The same written as it is made: the first page's file to page, every
// other file (the later pages' and the pictures') to file as soon as it is
// whole, each picture before the page that shows it.
using ExportFileSink = std::function<bool(const std::string& path, const std::string& bytes, bool isPage)>;
bool WriteHtmlPages(const CapturedDocument& doc, const HtmlExportOptions& o, const std::string& reportTitle,
                    const ExportSink& page, const ExportFileSink& file);

// An export written while the run goes, each page as the document gives it
// (CapturedDocument::SetPagesAhead). Text and RTF take the leftmost text of
// the pages given so far, RTF the faces of the first page for its font
// table; a later page with text further left or a face the table lacks
// stops them, as a page with pictures stops HTML. Finish then empties the
// file (rewind) and writes the whole again: the bytes are always those the
// writers above give.
class PageExportAhead {
 public:
  virtual ~PageExportAhead() = default;
  // False, nothing started, once pages went to the scratch file.
  bool Start(CapturedDocument* doc);
  // After the run: the pages not given yet and the end, or the whole again.
  // False when anything could not be written.
  bool Finish(CapturedDocument* doc, const std::function<bool()>& rewind);

 protected:
  virtual bool Page(size_t index, const CapturedPage& page) = 0;  // false stops
  virtual bool End() = 0;
  virtual bool Whole(const CapturedDocument& doc) = 0;
};
std::unique_ptr<PageExportAhead> TextExportAhead(const TextPageOptions& o, const ExportSink& out);
std::unique_ptr<PageExportAhead> RtfExportAhead(const ExportSink& out);
// Null for a file per page: a page links the next, which it cannot know of.
std::unique_ptr<PageExportAhead> HtmlExportAhead(const CapturedDocument& doc, const HtmlExportOptions& o,
                                                 const std::string& reportTitle,
                                                 const ExportSink& page, const ExportFileSink& file);
