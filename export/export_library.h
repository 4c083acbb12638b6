// The export output libraries: one writer per data-export format behind the
// interface the export run drives (set-up, begin, one field value, end), with
// the export's answers to which fields go out, how each is described and
// whether a value is empty. The status codes, the rule of which values come
// as text and which as value buffers, and the descriptor values are what the
// written files show.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct FieldDef;

// Export format codes (the chosen format byte of the export settings).
enum ExportFormatCode : int {
  kExportText = 0,
  kExportXbase = 1,
  kExportWorksheet = 2,
  kExportRtf = 5,
  kExportDataFile = 6,   // Text Data File
  kExportWordMerge = 7,  // Word Merge File
  kExportHtml = 8,
  kExportViewer = 9,
};
constexpr int kExportFormatSlots = 10;
bool IsPageImageFormat(int format);
bool IsDataExportFormat(int format);

// Job status codes.
constexpr uint32_t kExportStatusNoField = 1;     // no field on the selected line
constexpr uint32_t kExportStatusCannotCreate = 2;
constexpr uint32_t kExportStatusNoMemory = 3;
constexpr uint32_t kExportStatusWriteError = 4;
constexpr uint32_t kExportStatusLine = 7;        // written by the program before each line
constexpr uint32_t kExportStatusStop = 10;       // the library asks to stop, quietly

// File types of formats 6 and 7.
constexpr int kFileTypeComma = 1;
constexpr int kFileTypeTab = 2;
constexpr int kFileTypeFixed = 3;
constexpr int kFileTypeUserSeparator = 4;
// Flag of formats 6 and 7: the field names make the first line (a Word
// Merge File always has them).
constexpr uint8_t kDelimitedNamesLine = 0x01;

// The record handed to every entry.
struct ExportJobRecord {
  uint32_t status = 0;
  std::string fileName;
  int format = 0;
  int fileType = kFileTypeComma;  // formats 6 and 7
  std::string separator;          // file type 4
  uint8_t flags = 0;
  uint32_t count = 0;             // rows written: the progress display reads it
  // The library's own words for a write error it can name (a limit of its
  // format), shown instead of the general message.
  std::string reason;
};

// What a descriptor routine fills for one field.
struct ExportFieldDescriptor {
  const char* name = nullptr;
  uint32_t width = 0;
  uint32_t decimals = 0;
  uint32_t worksheetCode = 0;  // written by the Worksheet routine only
  uint8_t type = 'C';          // 'C','N','D','L','M','T' or kDescDateTime
};
constexpr uint8_t kDescDateTime = 1;

// The export a library serves: its settings (format and chosen band) and
// the document whose fields go out. The library asks the export which
// fields go out, how each is described and whether a value is empty
// (ExportFieldFilter, DescribeExportField, IsExportValueEmpty).
class CKmExport;
class KmDocBase;
struct ExportHost {
  const CKmExport* settings = nullptr;
  KmDocBase* doc = nullptr;
};

class ExportLibrary {
 public:
  virtual ~ExportLibrary() = default;
  // The set-up entry: 0, or a string id (negative: the export stops).
  virtual int Setup(ExportJobRecord* /*job*/) { return 0; }
  // Ordinal 1: fields is the null-ended list of the model's items, valid for
  // this call only. Nonzero when the job started; else job->status says why.
  virtual int Begin(ExportJobRecord* job, FieldDef* const* fields, const ExportHost& host) = 0;
  // Ordinal 2: one field's value. Value is the field's value buffer, or the
  // value as text where the format takes text (memo texts always come
  // whole). state 0 is a value; empty is null when the line does not print.
  virtual void FieldValue(ExportJobRecord* job, const FieldDef* field, const void* value, const char* name,
                          int state, const ExportHost& host, bool passEmptyTest) = 0;
  // Ordinal 3: only after a successful Begin. The file is complete and in
  // place only when the job's status is not a write error afterwards.
  virtual void End(ExportJobRecord* job) = 0;
  // Instead of End when the run failed: nothing is left behind.
  virtual void Abort(ExportJobRecord* job) = 0;
  // Whether this format takes non-text values as text (formats 6 and 7).
  virtual bool TakesText() const { return false; }
  // A row handed over in part and not yet written (it counts as exported).
  virtual bool RowPending() const { return false; }
};

// The library of a data-export format; null for the page-image formats.
std::unique_ptr<ExportLibrary> OpenExportLibrary(int format);

// The value kinds a library decodes from a value buffer.
double ExportNumber(const void* value);
int32_t ExportDay(const void* value);
double ExportDateTimeMicros(const void* value);  // the time part of a date-time value
