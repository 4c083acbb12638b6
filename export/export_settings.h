// The report's export settings (CKmExport): the chosen format, each format's
// options and output name, the HTML options, and the state of one export
// job. They are kept in the report file's export records; the operations
// here read and write them there and answer the small questions of the
// export run about file names, folders and links.
#pragma once

#include "export/export_library.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct ReportSettings;

// The HTML export options record, fields in their stored order.
struct HtmlExportOptions {
  uint32_t options = 0;         // bit 0: one file per page
  uint32_t borderFlag = 0;      // a border around each page
  uint32_t borderWidth = 1;     // pixels
  std::string outputDirectory;  // where the page and its pictures go
  uint32_t backgroundColour = 0xFFFFFF;  // 0x00BBGGRR
  std::string backgroundImage;
  std::string fileName;         // the page's file name inside the directory
  uint32_t imageFormat = 0;     // index into the image format table
  std::string title;
  uint32_t reserved1 = 0, reserved2 = 0;
  std::string reserved3;
};
constexpr uint32_t kHtmlPagePerPage = 0x01;

// The image formats HTML pictures and charts can be written in.
struct ImageFormatEntry {
  const char* name;       // as the options list shows it
  const char* extension;  // file extension
  const char* writer;     // the format name the picture writer takes
};
const std::vector<ImageFormatEntry>& ImageFormatTable();
// Index of the entry whose name or extension is text (any case); -1 when none.
int FindImageFormatIndex(const char* text);

// Bands a data export may take its values from.
constexpr uint8_t kExportBandDefault = 60;  // Record

class CKmExport {
 public:
  uint8_t format = kExportText;  // the chosen format code
  // Per data format: the band kind whose fields are exported.
  uint8_t xbaseBand = kExportBandDefault, worksheetBand = kExportBandDefault;
  uint8_t dataFileBand = kExportBandDefault, wordMergeBand = kExportBandDefault;
  // Formats 6 and 7: file type, separator text (type 4) and flags. A merge
  // file starts with the field names line a mail merge reads.
  uint8_t dataFileType = kFileTypeComma, wordMergeType = kFileTypeComma;
  std::string dataFileSeparator = ";", wordMergeSeparator = ";";
  uint8_t dataFileFlags = 0, wordMergeFlags = kDelimitedNamesLine;
  // Text: bit 0 the OEM character set, bit 1 a line end after each band only.
  uint8_t textFlags = 0;
  uint8_t viewerOption = 0;
  std::string outputNames[kExportFormatSlots];  // per format code; HTML takes html
  HtmlExportOptions html;
  // Formats greyed out by the settings (the xGray switches), by format code.
  bool grayed[kExportFormatSlots] = {};

  // One job.
  ExportJobRecord job;
  bool jobStarted = false;

  // The band chosen for the current format (xBase, Worksheet and 7 their
  // own, every other code the Text Data File's).
  uint8_t ChosenBand() const;
  // The output path of the current format as the user set it.
  std::string OutputPath() const;
  void SetOutputPath(const std::string& path);

  // The export records of a report.
  void LoadFrom(const ReportSettings& s);
  void StoreTo(ReportSettings* s) const;
};

// Extension by format and file type, added only when the path has none.
std::string AddExportExtension(const CKmExport& e, const std::string& path);
// The HTML options as the report file keeps them (a framework archive with
// the chosen format byte first); false when the bytes do not hold them.
std::vector<uint8_t> EncodeHtmlOptions(uint8_t format, const HtmlExportOptions& o);
bool DecodeHtmlOptions(const std::vector<uint8_t>& bytes, uint8_t* format, HtmlExportOptions* o);

// Renames a field or table alias inside the field selections the report's
// export formats keep, and answers how many names changed. The formats of
// this program take their fields from the chosen band and keep no selection,
// and the registered formats of older reports keep their bytes unread, so
// nothing is renamed: a renamed alias reaches every export through its band.
int RenameFieldInExports(ReportSettings& s, const std::string& oldName, const std::string& newName);

// Makes the HTML output directory and its parents; false when it cannot be.
bool CreateOutputDirectory(const HtmlExportOptions& o);
// The file name appended to the output directory (with a backslash).
std::string MakeExportFilePath(const HtmlExportOptions& o, const std::string& fileName);
// The link from the HTML page to path: relative when path lies in the
// page's directory or below, else a "file:///" URL; characters a URL cannot
// hold are escaped.
std::string MakeRelativeUrl(const HtmlExportOptions& o, const std::string& path);
