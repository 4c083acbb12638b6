// One export run: the output file name checked, the report run with the
// export's job started at its first record, the values of the chosen band
// handed to the format's library (data exports) or the laid-out pages
// written as text, RTF or HTML (page-image exports), and the end of the job.
#pragma once

#include "export/export_settings.h"
#include "platform/printer/page_driver.h"

#include <string>

class KmDocBase;
class CKmComposite;
struct FieldDef;

// What the export run needs of the program around it.
class ExportRunHost {
 public:
  virtual ~ExportRunHost() = default;
  // The report's run made for driver and page and its data prepared; false
  // after its own message.
  virtual bool PrepareRun(KmDocBase& doc, PageDriver* driver, PageOutputState* page) = 0;
  virtual void CloseRun(KmDocBase& doc) = 0;
  // The printer's state the pages are measured with (faces, resolutions).
  virtual PageOutputState PrinterState() = 0;
  // The report printed as PDF into path (the viewer file); false when not.
  virtual bool PrintToFile(KmDocBase& doc, const std::string& path) = 0;
  virtual void OpenPrintingDialog(KmDocBase& /*doc*/, int /*format*/, const std::string& /*path*/) {}
  virtual void ClosePrintingDialog(KmDocBase& /*doc*/) {}
  virtual std::string ReportTitle(KmDocBase& /*doc*/) { return std::string(); }
  // A file in place is about to be replaced: true to go on.
  virtual bool ConfirmOverwrite(KmDocBase& /*doc*/, const std::string& /*path*/) { return true; }
};

// The export of the report in the format the settings choose; 1 when the
// export was written, 0 when it was not (its message shown).
int RunExport(CKmExport& e, KmDocBase& doc, ExportRunHost& host);

// The output path with its extension; false when it names one of the
// report's own tables or its database file (compared as files, not spellings).
bool MakeOutputFileName(const CKmExport& e, KmDocBase& doc, std::string* path);

// What the data-export libraries ask of the export they serve: whether a
// field goes out, its descriptor for the export's format (1 when it was
// filled), whether a value is empty.
int ExportFieldFilter(const CKmExport& e, KmDocBase& doc, const FieldDef* field);
int DescribeExportField(const CKmExport& e, KmDocBase& doc, const FieldDef* field, ExportFieldDescriptor* d);
int DescribeFieldXbase(const FieldDef* field, ExportFieldDescriptor* d);
int DescribeFieldWorksheet(const FieldDef* field, ExportFieldDescriptor* d);
int DescribeFieldDelimited(KmDocBase& doc, FieldDef* field, ExportFieldDescriptor* d);
int IsExportValueEmpty(const FieldDef* field, const void* value);

// A memo field's whole text for the delimited formats, at most 10,989
// characters: 1 gathered, 0 when its first read fails, -1 when the model
// reads no memos (the value's own text then serves).
int ReadMemoForExport(CKmComposite* m, FieldDef* field, std::string* text);

