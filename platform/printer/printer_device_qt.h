// Inside the printer layer only: the printer device over Qt, and the painter
// a page is sent through.
#pragma once

#include "platform/printer/pdf_file_writer.h"
#include "platform/printer/printer_info.h"
#include "platform/win/file_replace.h"

#include <QIODevice>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

#include <memory>
#include <string>
#include <vector>

class PageRecord;

// The PDF printer draws at this many dots per inch.
constexpr int kPdfPrinterDpi = 600;

// The painter's output file as a device of the program's own: each write
// goes to the new file's descriptor at once and the first failure is kept,
// so that a full disk fails the document instead of leaving a short file.
class DescriptorDevice : public QIODevice {
 public:
  explicit DescriptorDevice(int fd) : fd_(fd) {}
  int Error() const { return error_; }
  bool seek(qint64 pos) override;

 protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char* data, qint64 n) override;

 private:
  int fd_;
  int error_ = 0;
};

struct PrinterDevice {
  std::string name;
  bool pdf = false;
  PrinterDevMode mode;
  QPageLayout layout;           // paper, orientation, no margins
  int resX = kPdfPrinterDpi, resY = kPdfPrinterDpi;
  int offsetX = 0, offsetY = 0; // unprintable edge, device pixels
  std::string docName;
  std::string outputFile;
  bool docStarted = false;
  bool writing = false;         // the painter is active on the output
  int pagesSent = 0;
  DWORD lastError = kPrintErrorNone;
  PrinterAbortProc abortProc = nullptr;
  // Our own file writer takes the PDF pages as they end while every step
  // so far is one it writes; the first page it cannot write sends the pages
  // written so far, read back from its file, and the rest to pdfWriter.
  std::unique_ptr<PdfFileWriter> directFile;
  bool direct = true;
  // Every output to a file goes through pdfWriter onto file; a queue's
  // pages without a file go to printer.
  std::unique_ptr<DescriptorDevice> file;
  std::unique_ptr<QPdfWriter> pdfWriter;
  std::unique_ptr<QPrinter> printer;
  // The file the painter writes, beside outputFile, renamed over it only
  // when the document ends whole.
  std::unique_ptr<FileReplacement> replacement;
  QPainter painter;
};

// Sends one recorded page (drawn in decipoints from the paper's top-left
// corner) to the started document. False when it could not be written or the
// abort procedure stopped the job.
bool SendDevicePage(PrinterDevice* device, const std::shared_ptr<PageRecord>& page);
// True while the device's pages go to our own PDF file writer, which has no
// use for placed glyphs.
bool DeviceWritesPdfDirectly(const PrinterDevice* device);
// Paper size of the device in decipoints.
QSizeF DevicePaperDecipoints(const PrinterDevice* device);
