// Writes the sample report with the program's own writer:
//   make-sample-report <data source> <report file> [<export format> <export file>]
// The run script builds this beside the program and runs it once. With an
// export format (0 text, 1 xBase, 2 worksheet, 5 RTF, 6 delimited text,
// 8 HTML) the report's page set-up sends its output to that export, so /G
// writes the export file instead of printing.
#include "app/app.h"
#include "app/sample_report.h"
#include "layout/page_setup.h"
#include "export/export_settings.h"
#include "expr/functions_common.h"
#include "platform/win/ui_app.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3 && argc != 5) {
    std::fprintf(stderr, "usage: make-sample-report <data source> <report file> [<export format> <export file>]\n");
    return 2;
  }
  ChooseWindowPlatform();
  UiStartApplication(&argc, argv);
  InstallBuiltinFunctionHandlers();
  SampleReportDocument sample;
  CKmDoc& doc = sample.doc;
  CKmRepIO& io = sample.io;
  std::string error;
  bool ok = BuildSampleReport(doc, io, argv[1], &error);
  if (ok && argc == 5) {
    const int format = std::atoi(argv[3]);
    if (format < 0 || format >= kExportFormatSlots) {
      error = "no export format " + std::string(argv[3]);
      ok = false;
    } else {
      CKmExport e;
      e.format = static_cast<uint8_t>(format);
      e.dataFileFlags = kDelimitedNamesLine;
      e.SetOutputPath(argv[4]);
      e.StoreTo(&io.m_stream.settings);
      doc.m_pPageSetup->word12 = 255;  // an export destination: the stored settings name which
    }
  }
  if (ok && io.SaveReportFile(argv[2]) != kRepIoOk) {
    error = "cannot write the report file " + std::string(argv[2]);
    ok = false;
  }
  if (!ok) std::fprintf(stderr, "make-sample-report: %s\n", error.c_str());
  return ok ? 0 : 1;
}
