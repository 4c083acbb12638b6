// A report built in code, printed to a PDF in this process by the program's
// own print run (the printer library, its fonts, the PDF printer), as File >
// Print to a file would print it.
#pragma once

#include "app/document.h"
#include "app/print_run.h"
#include "app/picture_images.h"
#include "engine/printer_library.h"
#include "engine/run_output.h"
#include "layout/page_setup.h"
#include "platform/printer/printer_info.h"

#include <filesystem>
#include <string>

namespace roundtrip {

// Prints the document's report (run mode 0, or 1 for the Test Pattern) into
// pdf; false when the run did not print it.
inline bool PrintToPdfHere(CKmDoc& doc, const std::string& pdf, int runMode = 0) {
  PrintRunContext& ctx = GetPrintRunContext();
  const PageDriverImageFuncs images = ImageLibrary::PrinterEntries();
  if (ctx.driver == nullptr) ctx.driver = LoadPrinterLibrary(PageDriverModuleName(), kPageDriverApiVersion, &images);
  ctx.printer = DocPrinter{};
  ::GetDefaultPrinter(&ctx.printer, 1);
  ctx.page.fontFaces.clear();
  for (const PrinterFontFamily& f : GetPrinterFontFamilies(ctx.printer.printerName.c_str()))
    ctx.page.fontFaces.push_back(f.face);
  std::filesystem::remove(pdf);
  ctx.printToFile = pdf;
  doc.m_pPageSetup->OutputDestination = kOutputToFile;
  doc.m_nRunMode = runMode;
  RunOutputWithRecovery(doc, 0);
  doc.m_nRunMode = 0;
  doc.m_pPageSetup->OutputDestination = kOutputToPrinter;
  ctx.printToFile.clear();
  return ctx.lastRunPrinted && std::filesystem::exists(pdf);
}

}  // namespace roundtrip
