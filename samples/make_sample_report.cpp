// Writes the sample report with the program's own writer:
//   make-sample-report <data source> <report file>
// The run script builds this beside the program and runs it once.
#include "app/app.h"
#include "app/document.h"
#include "layout/page_setup.h"
#include "app/sample_report.h"
#include "expr/functions_common.h"
#include "files/report_io.h"
#include "foundation/band_lines.h"
#include "platform/win/ui_app.h"

#include <cstdio>
#include <memory>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make-sample-report <data source> <report file>\n");
    return 2;
  }
  ChooseWindowPlatform();
  UiStartApplication(&argc, argv);
  InstallBuiltinFunctionHandlers();
  CKmDoc doc;
  std::unique_ptr<BandLineRec[]> lines(new BandLineRec[kBandLineTableRecords]);
  doc.m_bandLines.lines = lines.get();
  doc.m_pPageSetup = AllocPageSetup();
  CKmRepIO io(&doc);
  doc.m_pRepIO = &io;
  std::string error;
  const bool ok = WriteSampleReport(doc, io, argv[1], argv[2], &error);
  if (!ok) std::fprintf(stderr, "make-sample-report: %s\n", error.c_str());
  doc.m_pRepIO = nullptr;
  FreePageSetup(doc.m_pPageSetup);
  doc.m_pPageSetup = nullptr;
  return ok ? 0 : 1;
}
