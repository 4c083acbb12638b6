// Printers over Qt: the built-in PDF printer (QPdfWriter) and the system's
// queues (QPrinter), their device modes, papers and fonts.
#include "platform/printer/printer_device_qt.h"

#include "platform/printer/line_layout.h"
#include "platform/printer/page_record.h"
#include "platform/printer/pdf_file_writer.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QPageSize>
#include <QPrinterInfo>

#include "platform/win/fileio.h"
#include "platform/win/ui_app.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>
#include <strings.h>
#include <unistd.h>

namespace {

bool IsPdfName(const char* printer) { return printer && strcasecmp(printer, kPdfPrinterName) == 0; }

// The print system's plug-in and the libraries behind it take milliseconds
// to load, which start-up spends making the window instead. Qt's loading of
// it is not safe to begin twice at once, so every use here waits for it.
class SupportLoader {
 public:
  ~SupportLoader() { Wait(); }
  void Start() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (started_) return;
    started_ = true;
    thread_ = std::thread([] { QPrinterInfo::defaultPrinter(); });
  }
  void Wait() {
    std::lock_guard<std::mutex> lock(mutex_);
    started_ = true;  // the printer calls load it themselves from now on
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::mutex mutex_;
  bool started_ = false;
  std::thread thread_;
};

SupportLoader& Support() {
  static SupportLoader loader;
  return loader;
}

QPrinterInfo QueueInfo(const char* printer) {
  if (!printer || !*printer || IsPdfName(printer)) return QPrinterInfo();
  Support().Wait();
  return QPrinterInfo::printerInfo(QString::fromLocal8Bit(printer));
}

bool QueueExists(const char* printer) { return !QueueInfo(printer).isNull(); }

void CopyName(char (&dst)[32], const char* src) {
  std::memset(dst, 0, sizeof dst);
  if (src) std::strncpy(dst, src, sizeof dst - 1);
}

// The driver's own defaults for a printer.
PrinterDevMode DefaultDevMode(const char* printer) {
  PrinterDevMode m;
  CopyName(m.deviceName, printer);
  m.fields = kDmOrientation | kDmPaperSize | kDmCopies | kDmDefaultSource | kDmPrintQuality |
             kDmYResolution | kDmCollate;
  m.orientation = kOrientPortrait;
  m.paperSize = kDmPaperLetter;
  m.copies = 1;
  m.defaultSource = 1;
  m.printQuality = kPdfPrinterDpi;
  m.yResolution = kPdfPrinterDpi;
  m.collate = 0;
  QPrinterInfo info = QueueInfo(printer);
  if (!info.isNull()) {
    int id = info.defaultPageSize().windowsId();
    if (id > 0 && id < kDmPaperUser) m.paperSize = static_cast<SHORT>(id);
    m.printQuality = 300;
    m.yResolution = 300;
  }
  return m;
}

QPageSize PageSizeOf(const PrinterDevMode& m) {
  if (m.paperSize == kDmPaperUser && m.paperWidth > 0 && m.paperLength > 0)
    return QPageSize(QSizeF(m.paperWidth / 10.0, m.paperLength / 10.0), QPageSize::Millimeter,
                     QString(), QPageSize::ExactMatch);
  QPageSize::PageSizeId id = QPageSize::id(m.paperSize);
  if (id == QPageSize::Custom) id = QPageSize::Letter;
  return QPageSize(id);
}

QPageLayout LayoutOf(const PrinterDevMode& m) {
  return QPageLayout(PageSizeOf(m),
                     m.orientation == kOrientLandscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                     QMarginsF(0, 0, 0, 0));
}

}  // namespace

void StartPrinterSupport() { Support().Start(); }

std::vector<std::string> EnumPrinterNames() {
  Support().Wait();
  std::vector<std::string> names;
  for (const QString& n : QPrinterInfo::availablePrinterNames()) names.push_back(n.toStdString());
  names.push_back(kPdfPrinterName);
  return names;
}

bool GetDefaultPrinterNames(std::string* device, std::string* driver, std::string* port) {
  Support().Wait();
  QPrinterInfo def = QPrinterInfo::defaultPrinter();
  if (!def.isNull()) {
    if (device) *device = def.printerName().toStdString();
    if (driver) *driver = def.makeAndModel().isEmpty() ? "CUPS" : def.makeAndModel().toStdString();
    if (port) *port = def.location().isEmpty() ? "CUPS:" : def.location().toStdString();
    return true;
  }
  if (device) *device = kPdfPrinterName;
  if (driver) *driver = kPdfPrinterName;
  if (port) *port = "PDF:";
  return true;
}

bool PrinterExists(const char* printer) { return IsPdfName(printer) || QueueExists(printer); }

int PrinterDocumentProperties(const char* printer, PrinterDevMode* out, const PrinterDevMode* in) {
  if (!PrinterExists(printer) || !out) return -1;
  PrinterDevMode m = DefaultDevMode(printer);
  if (in) {
    if (in->fields & kDmOrientation)
      m.orientation = in->orientation == kOrientLandscape ? kOrientLandscape : kOrientPortrait;
    if ((in->fields & kDmPaperSize) && in->paperSize > 0) {
      LONG w, h;
      if (in->paperSize == kDmPaperUser || PaperSizeForCode(in->paperSize, &w, &h))
        m.paperSize = in->paperSize;
    }
    if ((in->fields & kDmPaperLength) && in->paperLength > 0) m.paperLength = in->paperLength;
    if ((in->fields & kDmPaperWidth) && in->paperWidth > 0) m.paperWidth = in->paperWidth;
    if ((in->fields & kDmCopies) && in->copies > 0) m.copies = in->copies;
    if (in->fields & kDmDefaultSource) m.defaultSource = in->defaultSource;
    if (in->fields & kDmCollate) m.collate = in->collate ? 1 : 0;
    m.fields |= in->fields & (kDmPaperLength | kDmPaperWidth);
  }
  *out = m;
  return 1;
}

bool PaperSizeForCode(SHORT code, LONG* widthTenthsMm, LONG* heightTenthsMm) {
  if (code <= 0 || code >= kDmPaperUser) return false;
  QPageSize::PageSizeId id = QPageSize::id(code);
  if (id == QPageSize::Custom) return false;
  QSizeF mm = QPageSize(id).size(QPageSize::Millimeter);
  if (widthTenthsMm) *widthTenthsMm = static_cast<LONG>(mm.width() * 10 + 0.5);
  if (heightTenthsMm) *heightTenthsMm = static_cast<LONG>(mm.height() * 10 + 0.5);
  return true;
}

std::vector<PrinterPaper> GetPrinterPapers(const char* printer) {
  std::vector<PrinterPaper> papers;
  if (!PrinterExists(printer)) return papers;
  QList<QPageSize> sizes;
  QPrinterInfo info = QueueInfo(printer);
  if (!info.isNull()) sizes = info.supportedPageSizes();
  if (sizes.isEmpty()) {
    for (QPageSize::PageSizeId id : {QPageSize::Letter, QPageSize::Legal, QPageSize::Executive,
                                     QPageSize::A4, QPageSize::A3, QPageSize::A5, QPageSize::B5,
                                     QPageSize::Tabloid, QPageSize::Envelope10, QPageSize::EnvelopeDL})
      sizes.append(QPageSize(id));
  }
  for (const QPageSize& ps : sizes) {
    int code = ps.windowsId();
    if (code <= 0 || code >= kDmPaperUser) continue;
    PrinterPaper p;
    p.code = static_cast<SHORT>(code);
    p.name = ps.name().toStdString();
    QSizeF mm = ps.size(QPageSize::Millimeter);
    p.widthTenthsMm = static_cast<LONG>(mm.width() * 10 + 0.5);
    p.heightTenthsMm = static_cast<LONG>(mm.height() * 10 + 0.5);
    papers.push_back(p);
  }
  return papers;
}

std::vector<PrinterFontFamily> GetPrinterFontFamilies(const char* printer) {
  std::vector<PrinterFontFamily> fonts;
  if (!PrinterExists(printer)) return fonts;
  // The font database needs the application object; start it here so the
  // list does not depend on whether something else started it first.
  UiStartApplication();
  const QStringList families = QFontDatabase::families();
  for (const QString& family : families) {
    if (QFontDatabase::isPrivateFamily(family)) continue;
    PrinterFontFamily f;
    // A family that more than one foundry installs is listed once per
    // foundry ("C059 [urw]"): a report names the face alone, so it is listed once.
    QString face = family;
    const int foundry = face.indexOf(QLatin1String(" ["));
    if (foundry > 0 && face.endsWith(QLatin1Char(']'))) face.truncate(foundry);
    f.face = face.toStdString();
    if (std::any_of(fonts.begin(), fonts.end(),
                    [&](const PrinterFontFamily& g) { return strcasecmp(g.face.c_str(), f.face.c_str()) == 0; }))
      continue;
    f.fixedPitch = QFontDatabase::isFixedPitch(family);
    f.scalable = QFontDatabase::isScalable(family);
    fonts.push_back(f);
  }
  // The program's documents name the usual office faces; they resolve to
  // metric-compatible families installed here.
  for (const char* office : {"Arial", "Times New Roman", "Courier New"}) {
    bool have = std::any_of(fonts.begin(), fonts.end(),
                            [&](const PrinterFontFamily& f) { return strcasecmp(f.face.c_str(), office) == 0; });
    if (!have) fonts.push_back({office, strcasecmp(office, "Courier New") == 0, true});
  }
  std::sort(fonts.begin(), fonts.end(), [](const PrinterFontFamily& a, const PrinterFontFamily& b) {
    return strcasecmp(a.face.c_str(), b.face.c_str()) < 0;
  });
  return fonts;
}

PrinterDevice* CreatePrinterDevice(const char* printer, const PrinterDevMode* mode) {
  if (!PrinterExists(printer)) return nullptr;
  auto* d = new PrinterDevice;
  d->name = printer;
  d->pdf = IsPdfName(printer);
  PrinterDocumentProperties(printer, &d->mode, mode);
  d->layout = LayoutOf(d->mode);
  if (d->pdf) {
    d->resX = d->resY = kPdfPrinterDpi;
  } else {
    d->printer = std::make_unique<QPrinter>(QueueInfo(printer), QPrinter::HighResolution);
    d->printer->setFullPage(true);
    d->printer->setPageLayout(d->layout);
    d->resX = d->resY = d->printer->resolution();
    QMarginsF min = d->printer->pageLayout().minimumMargins();
    QPageLayout::Unit u = d->printer->pageLayout().units();
    double perUnit = u == QPageLayout::Millimeter ? d->resX / 25.4 : d->resX / 72.0;
    if (u == QPageLayout::Point) perUnit = d->resX / 72.0;
    if (u == QPageLayout::Inch) perUnit = d->resX;
    d->offsetX = static_cast<int>(min.left() * perUnit + 0.5);
    d->offsetY = static_cast<int>(min.top() * perUnit + 0.5);
  }
  return d;
}

void DeletePrinterDevice(PrinterDevice* device) {
  if (!device) return;
  if (device->writing) AbortPrinterDoc(device);
  delete device;
}

QSizeF DevicePaperDecipoints(const PrinterDevice* device) {
  QSizeF pt = device->layout.fullRectPoints().size();
  return QSizeF(pt.width() * 10.0, pt.height() * 10.0);
}

int GetPrinterDeviceCaps(const PrinterDevice* device, int index) {
  if (!device) return 0;
  QSizeF dp = DevicePaperDecipoints(device);
  int w = static_cast<int>(dp.width() * device->resX / 720.0 + 0.5);
  int h = static_cast<int>(dp.height() * device->resY / 720.0 + 0.5);
  switch (index) {
    case kCapLogPixelsX: return device->resX;
    case kCapLogPixelsY: return device->resY;
    case kCapPhysicalWidth: return w;
    case kCapPhysicalHeight: return h;
    case kCapPhysicalOffsetX: return device->offsetX;
    case kCapPhysicalOffsetY: return device->offsetY;
    case kCapHorzRes: return std::max(0, w - 2 * device->offsetX);
    case kCapVertRes: return std::max(0, h - 2 * device->offsetY);
    default: return 0;
  }
}

const char* PrinterDeviceName(const PrinterDevice* device) { return device ? device->name.c_str() : ""; }
bool IsPdfPrinterDevice(const PrinterDevice* device) { return device && device->pdf; }

int StartPrinterDoc(PrinterDevice* device, const char* docName, const char* outputFile) {
  if (!device) return 0;
  if (device->docStarted) AbortPrinterDoc(device);
  device->lastError = kPrintErrorNone;
  // The job's name and file cross to the system here, once: the title as a
  // person reads it (UTF-8), the file under the system's spelling.
  device->docName = FileNameText(docName ? docName : "");
  device->outputFile = outputFile && *outputFile ? OsFileName(outputFile) : "";
  device->pagesSent = 0;
  device->directFile.reset();
  device->direct = true;
  if (device->pdf && device->outputFile.empty()) {
    device->lastError = kPrintErrorNoOutput;
    return 0;
  }
  // Nothing is written before the first page, but an output that cannot
  // take the file fails the job now rather than after the run.
  if (!device->outputFile.empty()) {
    const int refused = CheckReplaceable(device->outputFile);
    if (refused != 0) {
      device->lastError = refused == kFileErrNotRegular ? kPrintErrorNotFile : kPrintErrorWrite;
      return 0;
    }
  }
  device->docStarted = true;
  return 1;
}

namespace {

// Opens the output on the first page, so that a job without pages writes
// nothing. A file, the PDF printer's or a queue's printed to a file, is
// written by the toolkit's PDF writer onto the new file the replacement
// made, through a device that sees every write fail.
bool BeginOutput(PrinterDevice* d) {
  if (!d->outputFile.empty()) {
    d->replacement = std::make_unique<FileReplacement>();
    if (!d->replacement->Begin(d->outputFile, false)) {
      d->replacement.reset();
      return false;
    }
    d->file = std::make_unique<DescriptorDevice>(d->replacement->Handle());
    if (!d->file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
    d->pdfWriter = std::make_unique<QPdfWriter>(d->file.get());
    d->pdfWriter->setResolution(d->resX);
    d->pdfWriter->setPageLayout(d->layout);
    d->pdfWriter->setTitle(QString::fromUtf8(d->docName.c_str()));
    d->pdfWriter->setCreator(QStringLiteral("VORTELLE"));
    if (!d->painter.begin(d->pdfWriter.get())) return false;
  } else {
    d->printer->setDocName(QString::fromUtf8(d->docName.c_str()));
    d->printer->setCopyCount(std::max<int>(1, d->mode.copies));
    d->printer->setCollateCopies(d->mode.collate != 0);
    if (!d->painter.begin(d->printer.get())) return false;
  }
  d->writing = true;
  return true;
}

}  // namespace

namespace {

// Draws one page through the painter, opening the output on the first.
bool PaintDevicePage(PrinterDevice* d, const PageRecord& page) {
  // With no font at all the painter leaves every text out: the job fails
  // rather than print blank pages.
  if (page.HasText() && QFontInfo(QFont()).family().isEmpty()) {
    d->lastError = kPrintErrorNoFonts;
    return false;
  }
  // The file's first failed write (a full disk) ends the job at once: the
  // painter itself goes on as if nothing happened, page after page.
  const auto written = [d] {
    if (!d->file || d->file->Error() == 0) return true;
    d->lastError = kPrintErrorWrite;
    return false;
  };
  if (!d->writing) {
    if (!BeginOutput(d)) return false;
  } else {
    bool ok = d->pdfWriter ? d->pdfWriter->newPage() : d->printer->newPage();
    if (!ok) return false;
  }
  if (!written()) return false;
  d->painter.save();
  d->painter.resetTransform();
  // Recorded pages are in decipoints of the paper; a queue's device origin
  // is the paper's corner too (full-page mode).
  d->painter.scale(d->resX / 720.0, d->resY / 720.0);
  page.Play(&d->painter);
  d->painter.restore();
  return written();
}

}  // namespace

bool SendDevicePage(PrinterDevice* d, const std::shared_ptr<PageRecord>& page) {
  if (!d || !d->docStarted || !page) return false;
  if (d->pdf && d->direct && PdfFileCanWrite(*page)) {
    // Written as it ends: the painter does the same pages several times
    // slower, and nothing of the page is kept.
    if (!d->directFile) {
      d->directFile = std::make_unique<PdfFileWriter>();
      const QSizeF paper = DevicePaperDecipoints(d);
      if (!d->directFile->Open(d->outputFile, d->docName, paper.width(), paper.height())) {
        d->directFile.reset();
        d->lastError = kPrintErrorWrite;
        return false;
      }
    }
    if (!d->directFile->AddPageInBackground(page)) {
      d->directFile.reset();
      d->lastError = kPrintErrorWrite;
      return false;
    }
  } else {
    if (d->pdf && d->direct) {
      // A step our writer does not do: the whole document goes through the
      // painter, the pages written so far first, read back one at a time.
      d->direct = false;
      std::unique_ptr<PdfFileWriter> written = std::move(d->directFile);
      if (written && !written->ReadBackPages([d](const PageRecord& p) { return PaintDevicePage(d, p); })) {
        if (d->lastError == kPrintErrorNone) d->lastError = kPrintErrorWrite;
        return false;
      }
    }
    // Lines left for the file writer, which does not take this page, are
    // laid out here, all with fonts of one cache.
    DriverFontCache fonts;
    page->ResolveLines(&fonts);
    if (!PaintDevicePage(d, *page)) {
      if (d->lastError == kPrintErrorNone) d->lastError = kPrintErrorWrite;
      return false;
    }
  }
  ++d->pagesSent;
  if (d->abortProc && !d->abortProc(d, 0)) {
    d->lastError = kPrintErrorCancelled;
    return false;
  }
  return true;
}

bool DeviceWritesPdfDirectly(const PrinterDevice* d) { return d && d->pdf && d->docStarted && d->direct; }

int EndPrinterDoc(PrinterDevice* device) {
  if (!device || !device->docStarted) return -1;
  bool ok = true;
  if (device->writing) ok = device->painter.end();
  if (device->file) ok = ok && device->file->Error() == 0;
  if (device->directFile) ok = device->directFile->Finish() && ok;
  device->directFile.reset();
  device->writing = false;
  device->docStarted = false;
  device->pdfWriter.reset();
  device->file.reset();
  // The painter's file replaces the old one only now, complete.
  if (device->replacement) ok = ok && device->replacement->Commit();
  device->replacement.reset();
  if (!ok) {
    device->lastError = kPrintErrorWrite;
    return -1;
  }
  return 1;
}

int AbortPrinterDoc(PrinterDevice* device) {
  if (!device) return 0;
  if (device->writing) {
    if (!device->pdfWriter) device->printer->abort();
    device->painter.end();
  }
  device->writing = false;
  device->directFile.reset();  // removes its unfinished file
  device->pdfWriter.reset();
  device->file.reset();
  // So does the painter's: a file of the same name from before stays.
  device->replacement.reset();
  device->docStarted = false;
  return 1;
}

DWORD PrinterDeviceLastError(const PrinterDevice* device) { return device ? device->lastError : 0; }

LONG PrinterErrorPageStatus(DWORD error) {
  return error == kPrintErrorCancelled ? -3 : error == kPrintErrorWrite ? -4 : error == kPrintErrorNoFonts ? -6 : -1;
}

bool DescriptorDevice::seek(qint64 pos) {
  return QIODevice::seek(pos) && lseek(fd_, static_cast<off_t>(pos), SEEK_SET) == pos;
}

qint64 DescriptorDevice::writeData(const char* data, qint64 n) {
  for (qint64 done = 0; error_ == 0 && done < n;) {
    const ssize_t w = ::write(fd_, data + done, static_cast<size_t>(n - done));
    if (w > 0) done += w;
    else if (w == 0) error_ = ENOSPC;
    else if (errno != EINTR) error_ = errno;
  }
  return error_ == 0 ? n : -1;
}
int PrinterDevicePageCount(const PrinterDevice* device) { return device ? device->pagesSent : 0; }
void SetPrinterAbortProc(PrinterDevice* device, PrinterAbortProc proc) {
  if (device) device->abortProc = proc;
}
