#include "engine/print_job.h"

#include "engine/output_messages.h"
#include "foundation/byte_order.h"
#include "foundation/units.h"
#include "platform/win/muldiv.h"
#include "platform/win/profile.h"
#include "platform/win/resources.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

namespace {

constexpr int kRunModeSpecification = 2;
constexpr int kDestinationFile = 2;
constexpr int kExportViewer = 9;

int FindFace(const std::vector<std::string>& faces, const char* face) {
  for (size_t i = 0; i < faces.size(); ++i)
    if (strcasecmp(faces[i].c_str(), face) == 0) return static_cast<int>(i);
  return -1;
}

// Fails the run after the device mode is known: the copy goes, once.
int FailWithDevMode(DocPrinter* doc, PageOutputState* state, unsigned messageId) {
  FreeRunDevMode(doc);
  if (state->printerDC) {
    DeletePrinterDevice(static_cast<PrinterDevice*>(state->printerDC));
    state->printerDC = nullptr;
  }
  ShowOutputError(OutputMessageText(messageId));
  return 0;
}

}  // namespace

int GetDefaultPrinter(DocPrinter* doc, int clearOnFailure) {
  std::string device, driver, port;
  if (GetDefaultPrinterNames(&device, &driver, &port) && !device.empty()) {
    doc->printerName = device;
    doc->driverName = driver;
    doc->portName = port;
    return 1;
  }
  if (clearOnFailure == 1) doc->printerName.clear();
  return 0;
}

PrinterDevMode* GetPrinterDevMode(const char* printerName, const PrinterDevMode* stored) {
  if (!printerName || !*printerName) return nullptr;
  auto* mode = new PrinterDevMode;
  if (PrinterDocumentProperties(printerName, mode, stored) != 1) {
    delete mode;
    return nullptr;
  }
  return mode;
}

void FreePrinterDevMode(PrinterDevMode* mode) { delete mode; }

SHORT GetPrinterPaperSource(const DocPrinter& doc) {
  PrinterDevMode* mode = GetPrinterDevMode(doc.printerName.c_str(), doc.storedDevMode);
  SHORT source = mode ? mode->defaultSource : 1;
  FreePrinterDevMode(mode);
  return source;
}

void FreeRunDevMode(DocPrinter* doc) {
  FreePrinterDevMode(doc->runDevMode);
  doc->runDevMode = nullptr;
}

std::string DefaultPdfFileName(const PrintRunSetup& setup) {
  std::string name = setup.reportName;
  size_t cut = name.find_last_of("/\\");
  if (cut != std::string::npos) name = name.substr(cut + 1);
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name = name.substr(0, dot);
  if (name.empty()) name = LoadResString(120);
  name += ".pdf";
  if (setup.reportFolder.empty()) return name;
  return setup.reportFolder + (setup.reportFolder.back() == '/' ? "" : "/") + name;
}

int StartPrintJob(PageDriver* driver, DocPrinter* doc, const PrintRunSetup& setup,
                  PageOutputState* state, int preview, int* passCount) {
  if (passCount) *passCount = 1;
  if (!driver) {
    ShowOutputError(OutputMessageText(624, PageDriverModuleName()));
    return 0;
  }
  const bool spec = setup.runMode == kRunModeSpecification;

  // The run works on its own copy of the printer's device mode.
  PrinterDevMode* mode = doc->printerName.empty()
                             ? nullptr
                             : GetPrinterDevMode(doc->printerName.c_str(), doc->storedDevMode);
  if (!mode) {
    ShowOutputError(OutputMessageText(628));
    return 0;
  }
  FreeRunDevMode(doc);
  doc->runDevMode = mode;

  mode->paperSize = doc->paperCode;
  mode->fields &= ~(kDmOrientation | kDmPaperSize | kDmPaperLength | kDmPaperWidth | kDmDefaultSource);
  if (doc->paperCode == kDmPaperUser) {
    mode->fields |= kDmPaperLength | kDmPaperWidth;
    if (setup.paperLength > 0) mode->paperLength = static_cast<SHORT>(std::min<LONG>(setup.paperLength, 0x7FFF));
    if (setup.paperWidth > 0) mode->paperWidth = static_cast<SHORT>(std::min<LONG>(setup.paperWidth, 0x7FFF));
  } else {
    mode->fields |= kDmPaperSize;
  }
  mode->fields |= kDmOrientation | kDmDefaultSource;
  mode->orientation = setup.landscape && !spec ? kOrientLandscape : kOrientPortrait;
  mode->defaultSource = setup.paperSource;
  state->printQuality = mode->printQuality;
  state->yResolution = mode->yResolution;

  if (!preview) {
    // The printer makes the copies itself only when no pass needs to know
    // which copy it is printing and the output is not a file.
    bool deviceCopies = setup.copySwitch == 0 && setup.copies > 1 &&
                        setup.destination != kDestinationFile && !setup.usesCopyFunction;
    mode->fields |= kDmCopies | kDmCollate;
    if (deviceCopies) {
      mode->copies = static_cast<SHORT>(std::min(setup.copies, 0x7FFF));
      mode->collate = 0;
      if (passCount) *passCount = 1;
    } else {
      mode->copies = 1;
      if (passCount) *passCount = std::max(1, setup.copies);
    }
  }

  PrinterDevice* device = CreatePrinterDevice(doc->printerName.c_str(), mode);
  if (!device) return FailWithDevMode(doc, state, 643);
  state->printerDC = device;

  // Device metrics and run settings.
  const int resX = std::max(1, GetPrinterDeviceCaps(device, kCapLogPixelsX));
  const int resY = std::max(1, GetPrinterDeviceCaps(device, kCapLogPixelsY));
  state->physicalWidth = GetPrinterDeviceCaps(device, kCapPhysicalWidth);
  state->physicalHeight = GetPrinterDeviceCaps(device, kCapPhysicalHeight);
  state->physicalOffsetX = GetPrinterDeviceCaps(device, kCapPhysicalOffsetX);
  state->physicalOffsetY = GetPrinterDeviceCaps(device, kCapPhysicalOffsetY);
  state->printerResX = resX;
  state->printerResY = resY;
  state->pageWidth = state->physicalWidth;
  state->pageHeight = state->physicalHeight;
  doc->printerResX = static_cast<WORD>(resX);
  doc->printerResY = static_cast<WORD>(resY);
  state->topOffset = MulDiv(state->physicalOffsetY, 720, resY);
  state->printableHeight = MulDiv(GetPrinterDeviceCaps(device, kCapVertRes), 720, resY);
  LONG margin = spec ? 0 : setup.leftMargin;
  // Metric margins are tenths of a millimetre: to hundredths of an inch first.
  if (!spec && doc->measureUnit != 1)
    margin = static_cast<LONG>(ConvertMeasure(static_cast<WORD>(margin), kMeasureHundredths, kMeasureTenthsMm,
                                                 doc->pitch, setup.landscape));
  state->leftMargin = std::max<LONG>(0, MulDiv(margin, resX, 100) - state->physicalOffsetX);
  state->pitch = spec ? 10 : doc->pitch;
  state->pageShown = 0;
  state->pagesProduced = 1;
  state->counterA = 0;
  state->counterB = 1;
  state->zoomLevel = std::clamp<LONG>(setup.zoomLevel, 0, 2);
  state->currentZoom = &state->zoom[state->zoomLevel == 0 ? 2 : state->zoomLevel - 1];
  state->screenPpiX = setup.screenPpiX;
  state->screenPpiY = setup.screenPpiY;
  state->fontFaces = setup.fontFaces;
  state->fontCount = static_cast<LONG>(setup.fontFaces.size());
  state->courierIndex = FindFace(setup.fontFaces, "Courier");
  state->courierNewIndex = FindFace(setup.fontFaces, "Courier New");
  state->previewFlag = preview ? 1 : 0;
  state->abortWord = 0;
  state->runningToEnd = 0;
  state->paused = 0;
  state->firstPageIndex = 0;
  state->lineDrawFace = "Duridev-ER";
  const char* ini = setup.iniFile.c_str();
  state->overPrint = static_cast<LONG>(GetPrivateProfileIntA("Special", "OverPrint", 1, ini));
  state->minMem = static_cast<LONG>(GetPrivateProfileIntA("Memory", "MinMem", 256, ini));
  state->fastPrint = static_cast<LONG>(GetPrivateProfileIntA("Preferences", "FastPrint", 1, ini));

  // The library's device: a 260-byte name (the viewer export's output) and
  // the parameter record, of which only the last two fields carry values.
  char name[MAX_PATH] = {};
  if (setup.exportKind == kExportViewer) {
    std::string out = setup.exportOutputName.empty() ? LoadResString(120) : setup.exportOutputName;
    std::strncpy(name, out.c_str(), sizeof name - 1);
  }
  BYTE params[kOpenDeviceParamsSize] = {};
  PutU32(params + 56, setup.exportKind == kExportViewer ? setup.exportJobValue : 0);
  PutU32(params + 60, static_cast<DWORD>(margin));
  if (!driver->HasEntry(9) || !driver->OpenDevice(state, params, name, 0, 0))
    return FailWithDevMode(doc, state, 626);

  if (!preview) {
    doc->outputFile.clear();
    std::string docName = setup.title.empty() ? LoadResString(120) : setup.title;
    std::string output;
    if (setup.destination == kDestinationFile)
      output = setup.exportKind == kExportViewer ? setup.exportOutputName : setup.printToFile;
    if (output.empty() && IsPdfPrinterDevice(device)) output = DefaultPdfFileName(setup);
    SetPrinterAbortProc(device, setup.abortProc);
    if (StartPrinterDoc(device, docName.c_str(), output.empty() ? nullptr : output.c_str()) <= 0) {
      DWORD err = PrinterDeviceLastError(device);
      if (driver->HasEntry(11)) driver->CloseDevice(state, -1);
      DeletePrinterDevice(device);
      state->printerDC = nullptr;
      // A pipe or a folder where the file goes, or a link that may not be
      // followed: the file cannot be opened.
      if (err == kPrintErrorNotFile)
        ShowOutputError(OutputMessageText(620, output));
      else if (err != kPrintErrorNone && err != kPrintErrorCancelled)
        ShowOutputError(OutputMessageText(641));
      return 0;
    }
    doc->outputFile = output;
  }
  return 1;
}

int FinishPrintDevice(PageOutputState* state, bool abort) {
  auto* device = static_cast<PrinterDevice*>(state->printerDC);
  if (!device) return 0;
  int result = abort ? AbortPrinterDoc(device) : EndPrinterDoc(device);
  if (result < 0) result = static_cast<int>(PrinterErrorPageStatus(PrinterDeviceLastError(device)));
  DeletePrinterDevice(device);
  state->printerDC = nullptr;
  return result;
}

void DeletePreviewDevice(PageOutputState& state) {
  auto* device = static_cast<PrinterDevice*>(state.printerDC);
  if (!device) return;
  DeletePrinterDevice(device);
  state.printerDC = nullptr;
}

int StartPreviewPageDoc(PageOutputState& state, const std::string& title, const std::string& pdfFile) {
  auto* device = static_cast<PrinterDevice*>(state.printerDC);
  if (!device) return 0;
  const char* out = IsPdfPrinterDevice(device) && !pdfFile.empty() ? pdfFile.c_str() : nullptr;
  return StartPrinterDoc(device, title.c_str(), out);
}

int EndPreviewPageDoc(PageOutputState& state) {
  auto* device = static_cast<PrinterDevice*>(state.printerDC);
  if (!device) return 0;
  return state.abortWord ? AbortPrinterDoc(device) : EndPrinterDoc(device);
}
