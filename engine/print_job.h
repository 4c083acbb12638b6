// The document's printer and the start of a print or preview run: the default
// printer, the printer's device mode adjusted for the run, the device and its
// metrics in the PageOutputState, the library's device and the print job.
#pragma once

#include "platform/printer/page_driver.h"
#include "platform/printer/printer_info.h"

#include <string>
#include <vector>

// What the document remembers of its printer.
struct DocPrinter {
  std::string printerName, driverName, portName;
  SHORT paperCode = kDmPaperLetter;
  BYTE measureUnit = 1;          // 1 inches, other values metric
  LONG pitch = 10;               // characters per inch
  const PrinterDevMode* storedDevMode = nullptr;  // the report's, may be null
  PrinterDevMode* runDevMode = nullptr;           // the run's copy (FreeRunDevMode)
  WORD printerResX = 0, printerResY = 0;
  std::string outputFile;        // the file the last print job writes; empty for a printer
};

// The page set-up and run choices a print job starts from.
struct PrintRunSetup {
  LONG leftMargin = 0;           // hundredths of an inch; tenths of a millimetre in metric mode
  bool landscape = false;
  int copies = 1;
  LONG copySwitch = 0;
  int destination = 0;           // 2: to a file
  SHORT paperSource = 1;
  LONG paperWidth = 0, paperLength = 0;  // tenths of a millimetre, for a user-defined paper
  int runMode = 0;               // 2: the Report Specification
  bool usesCopyFunction = false; // a calculated field or user function calls COPY
  std::string title;             // the report's title
  std::string reportName;        // names the PDF printer's file when there is no other
  std::string reportFolder;      // where that file goes: the report's folder ("" the current one)
  std::string printToFile;
  int exportKind = -1;           // 9: a viewer export
  std::string exportOutputName;
  DWORD exportJobValue = 0;
  std::vector<std::string> fontFaces;  // the printer font table, by font number
  LONG zoomLevel = 0;            // remembered preview zoom
  LONG screenPpiX = 96, screenPpiY = 96;
  std::string iniFile = "kmw.ini";
  PrinterAbortProc abortProc = nullptr;
};

// The default printer's device, driver and port into the document; 1 on
// success, else 0 (the name emptied when clearOnFailure is 1).
int GetDefaultPrinter(DocPrinter* doc, int clearOnFailure);
// The printer's device mode with the report's stored one merged in (when
// given); null when the printer cannot be read. Free with FreePrinterDevMode.
PrinterDevMode* GetPrinterDevMode(const char* printerName, const PrinterDevMode* stored);
void FreePrinterDevMode(PrinterDevMode* mode);
// The default paper source of the document's printer, or 1.
SHORT GetPrinterPaperSource(const DocPrinter& doc);

// Prepares the printer for a run; 1 when ready, else 0 after its message.
// passCount receives the passes the run makes for the copies asked.
int StartPrintJob(PageDriver* driver, DocPrinter* doc, const PrintRunSetup& setup,
                  PageOutputState* state, int preview, int* passCount);
// The end of a run: the run's device-mode copy is freed, once.
void FreeRunDevMode(DocPrinter* doc);
// Ends (or, with abort, throws away) the print job and deletes the printer
// device of the state. Returns the result of ending the job: > 0 success,
// else the page status its failure gives (PrinterErrorPageStatus).
int FinishPrintDevice(PageOutputState* state, bool abort);

// The preview's device, on which no job was started, deleted.
void DeletePreviewDevice(PageOutputState& state);
// Print Current Page: a job of one page on the preview's device (its file
// when the device is the PDF printer); > 0 when it started.
int StartPreviewPageDoc(PageOutputState& state, const std::string& title, const std::string& pdfFile);
int EndPreviewPageDoc(PageOutputState& state);

// The file the built-in PDF printer writes when the run names none: beside
// the report, named after it.
std::string DefaultPdfFileName(const PrintRunSetup& setup);
