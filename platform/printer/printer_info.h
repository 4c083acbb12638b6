// Printers as the program sees them: names, device modes, papers and fonts,
// and the printer device a print job draws on. A printer named "PDF" is
// always present and writes each job to a PDF file; the system's print
// queues are listed beside it when there are any. No Qt type appears here.
#pragma once

#include "platform/win/win_types.h"

#include <string>
#include <vector>

constexpr const char kPdfPrinterName[] = "PDF";

// Paper codes (as the report files store them).
constexpr SHORT kDmPaperLetter = 1;
constexpr SHORT kDmPaperLegal = 5;
constexpr SHORT kDmPaperExecutive = 7;
constexpr SHORT kDmPaperA4 = 9;
constexpr SHORT kDmPaperUser = 256;

// Bits of PrinterDevMode::fields: which members a device mode carries.
constexpr DWORD kDmOrientation = 0x00000001;
constexpr DWORD kDmPaperSize = 0x00000002;
constexpr DWORD kDmPaperLength = 0x00000004;
constexpr DWORD kDmPaperWidth = 0x00000008;
constexpr DWORD kDmCopies = 0x00000100;
constexpr DWORD kDmDefaultSource = 0x00000200;
constexpr DWORD kDmPrintQuality = 0x00000400;
constexpr DWORD kDmYResolution = 0x00002000;
constexpr DWORD kDmCollate = 0x00008000;

constexpr SHORT kOrientPortrait = 1;
constexpr SHORT kOrientLandscape = 2;

// A printer's settings for one job.
struct PrinterDevMode {
  char deviceName[32] = {};
  DWORD fields = 0;
  SHORT orientation = kOrientPortrait;
  SHORT paperSize = kDmPaperLetter;
  SHORT paperLength = 0;   // tenths of a millimetre, for kDmPaperUser
  SHORT paperWidth = 0;
  SHORT copies = 1;
  SHORT defaultSource = 1;
  SHORT printQuality = 0;  // dots per inch, or a negative draft/high code
  SHORT yResolution = 0;
  SHORT collate = 0;
};

// The stored form of a device mode: the 156-byte public layout a report
// file keeps (little-endian). Decoding reads only what both the given size
// and the record's own size field cover, and refuses a record too short to
// hold the members through the collate setting.
constexpr size_t kDevModeStoredSize = 156;
bool DecodeDevMode(const BYTE* bytes, size_t size, PrinterDevMode* out);
// Writes kDevModeStoredSize bytes.
void EncodeDevMode(const PrinterDevMode& mode, BYTE* out);

struct PrinterPaper {
  SHORT code = 0;
  std::string name;
  LONG widthTenthsMm = 0, heightTenthsMm = 0;
};

struct PrinterFontFamily {
  std::string face;
  bool fixedPitch = false;
  bool scalable = true;
};

// Starts loading the system's printer support on a thread of its own; every
// printer call waits for it. Once the application object exists.
void StartPrinterSupport();

// Every printer, the PDF printer last.
std::vector<std::string> EnumPrinterNames();
// The system's default queue, else the PDF printer; always succeeds while
// the PDF printer exists. Driver and port are informative names.
bool GetDefaultPrinterNames(std::string* device, std::string* driver, std::string* port);
bool PrinterExists(const char* printer);

// Reads the printer's device mode into out; with in, the members in's fields
// name are taken from in first (where the printer can do them). Returns 1
// (IDOK) or -1 for an unknown printer.
int PrinterDocumentProperties(const char* printer, PrinterDevMode* out, const PrinterDevMode* in);

std::vector<PrinterPaper> GetPrinterPapers(const char* printer);
std::vector<PrinterFontFamily> GetPrinterFontFamilies(const char* printer);
// Paper size in tenths of a millimetre for a code; false for an unknown code.
bool PaperSizeForCode(SHORT code, LONG* widthTenthsMm, LONG* heightTenthsMm);

// The printer device a job draws on: created for a printer and a device
// mode, measured, then started, ended or aborted as a document.
struct PrinterDevice;

// Capability indexes.
constexpr int kCapHorzRes = 8;
constexpr int kCapVertRes = 10;
constexpr int kCapLogPixelsX = 88;
constexpr int kCapLogPixelsY = 90;
constexpr int kCapPhysicalWidth = 110;
constexpr int kCapPhysicalHeight = 111;
constexpr int kCapPhysicalOffsetX = 112;
constexpr int kCapPhysicalOffsetY = 113;

// Null for an unknown printer.
PrinterDevice* CreatePrinterDevice(const char* printer, const PrinterDevMode* mode);
void DeletePrinterDevice(PrinterDevice* device);
int GetPrinterDeviceCaps(const PrinterDevice* device, int index);
const char* PrinterDeviceName(const PrinterDevice* device);
bool IsPdfPrinterDevice(const PrinterDevice* device);

// Error codes left by StartPrinterDoc.
constexpr DWORD kPrintErrorNone = 0;
constexpr DWORD kPrintErrorCancelled = 63;
constexpr DWORD kPrintErrorNoOutput = 2;
constexpr DWORD kPrintErrorWrite = 29;
constexpr DWORD kPrintErrorNotFile = 222;  // the output cannot be a file: a pipe, a folder, a link not to follow
constexpr DWORD kPrintErrorNoFonts = 1002;   // a page of text, and no font to draw it with

// Starts a document: > 0 on success, else <= 0 with the reason in
// PrinterDeviceLastError. The PDF printer needs an output file; a system
// queue prints to outputFile (as PDF) when one is given. Nothing is written
// until the first page is sent, so a job that sends no page leaves no file.
int StartPrinterDoc(PrinterDevice* device, const char* docName, const char* outputFile);
// Finishes the document: > 0 on success, negative when writing failed.
int EndPrinterDoc(PrinterDevice* device);
// Throws the document away; a partly written output file is removed.
int AbortPrinterDoc(PrinterDevice* device);
DWORD PrinterDeviceLastError(const PrinterDevice* device);
// The page status a device's error gives the run: -3 stopped, -4 a write
// that failed, -6 no fonts, -1 any other.
LONG PrinterErrorPageStatus(DWORD error);
// Pages sent so far in the current document.
int PrinterDevicePageCount(const PrinterDevice* device);

// Called after each page is sent; returning FALSE aborts the job.
using PrinterAbortProc = BOOL (*)(PrinterDevice* device, int code);
void SetPrinterAbortProc(PrinterDevice* device, PrinterAbortProc proc);
