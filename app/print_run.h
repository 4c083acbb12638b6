// The Print and Print Preview commands around one report run: the checks,
// the printer and its output state, the run itself and the closing messages.
#pragma once

#include "engine/print_job.h"
#include "platform/printer/page_driver.h"
#include "platform/win/win_types.h"

#include <functional>
#include <string>

class CKmDoc;

// The document's printer side, kept for the program's whole run.
struct PrintRunContext {
  DocPrinter printer;
  PageOutputState page;
  PageDriver* driver = nullptr;     // the printer library loaded at start-up
  int printing = 0;                 // a Print or Print Preview command is running
  int preview = 0;                  // a preview run is active
  LONG pageStatus = 0;              // the library's answer for the last page
  DWORD processId = 0;              // the process that started the print run
  int passCount = 1;
  std::string printToFile;          // the print-to-file name of the document's settings
  std::string viewerExportFile;     // the viewer export's file while it prints, else empty
  // How the last print run ended: it started a job, ran to its end and the
  // job was handed over without an error.
  bool lastRunPrinted = false;
  // The message a finished run ended with instead of output (the engine's
  // RunMessage: no records, starting page too large), -1 for none.
  int lastRunMessage = -1;
  LONG rememberedZoom = 0;          // the preview's zoom level, kept between previews
  // What File > Print prints when no print dialog chooses: 0 the report,
  // 1 the Test Pattern, 2 the Report Specification.
  int printWhat = 0;
  bool previewStoreFailed = false;  // the preview could not keep a page
  // The program ends after the next run, which makes one copy (/G).
  bool onlyRun = false;
};

// The one context of the document (the program has one document).
PrintRunContext& GetPrintRunContext();

// The steps of a run that belong to the engine and the model. The defaults
// pass every check and prepare nothing, so no run starts until the engine's
// own steps are installed.
class PrintRunServices {
 public:
  virtual ~PrintRunServices() = default;
  // The charts, joins, filter, functions and totals can run (its message shown otherwise).
  virtual bool CheckChartsBeforeOutput(CKmDoc& /*doc*/) { return true; }
  // An object on a new-page line (shown as an error); true when one is found.
  virtual bool CheckNewPageLineObjects(CKmDoc& /*doc*/, int /*showError*/) { return false; }
  // The run's data: the record pass prepared; false after its own message.
  virtual bool PrepareRunData(CKmDoc& /*doc*/) { return false; }
  // The run's data closed again.
  virtual void CloseRunData(CKmDoc& /*doc*/) {}
  // Produces the pages of run mode 0, 1 or 2; the run state tells how it ended.
  virtual void Run(CKmDoc& /*doc*/, int /*runMode*/) {}
  // The report's title and whether a calculated field or function calls COPY.
  virtual std::string ReportTitle(CKmDoc& /*doc*/) { return std::string(); }
  virtual bool UsesCopyFunction(CKmDoc& /*doc*/) { return false; }
  // The answer of the print dialog: 0 cancelled, 1 print, 3 preview. The
  // dialog sets what is printed (the document's run mode). Without a dialog
  // the context's print-what setting is printed.
  virtual int ShowPrintDialog(CKmDoc& doc);
};

// The print dialog, when one is installed: its answer (0 cancelled, 1 print,
// 3 preview) after setting what is printed (the document's run mode).
using PrintDialogRunner = std::function<int(CKmDoc& doc)>;
void SetPrintDialogRunner(PrintDialogRunner runner);

// Null restores the defaults.
void SetPrintRunServices(PrintRunServices* services);
PrintRunServices& GetPrintRunServices();

// The print run. With ask = 1 the print dialog comes first. Returns 1 only
// when the print dialog's answer was Preview; else 0.
int RunOutputWithRecovery(CKmDoc& doc, int ask);

// The Insert Field palette would place fields on the report being run: it is
// off from the start of a run to its end (under a preview out of the way as
// well), and nothing shown meanwhile gives it back.
void HoldPaletteForRun(CKmDoc& doc, bool hold);

// The preview run. fresh = 1 (File > Print Preview) previews the report
// itself; 0 (the print dialog's Preview) keeps the run mode. Nonzero when the
// user chose Print Report in the preview.
int StartPrintOrPreview(CKmDoc& doc, int fresh);

// The commands: File > Print (the print dialog, with its Preview answer
// looping through the preview), the Print button (no dialog) and File >
// Print Preview.
// The ORDER BY of the run's query from the report's sort and group fields
// (the run and Show SQL build the same SELECT).
void SetQuerySortKeys(CKmDoc& doc);
// The report's printer is still installed; else the default printer takes its
// place (its fonts measured again). True when the printer changed.
bool CheckPrinterReady(CKmDoc& doc);
void PrintCommand(CKmDoc& doc);
void PrintButtonCommand(CKmDoc& doc);
void PreviewCommand(CKmDoc& doc);

// The next preview page shows its top left corner with a margin.
void ResetPageOrigin(PageOutputState& page);
// Print Current Page: the shown preview page alone on the printer.
void PrintPreviewPage(CKmDoc& doc);

// The message a spooler error in the last page's status calls for, or 0.
unsigned SpoolerErrorMessage(LONG pageStatus, int runState);
