// The built-in PDF printer's own file writer: pages of text in the standard
// fonts, lines and solid fills go straight from their records into a PDF,
// without drawing them through a paint device.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class DriverFontCache;
class FileReplacement;
class PageRecord;
class QFont;

// True when every step of the page can be written by WritePdfFile: text in
// a face with a standard PDF font of the same metrics whose characters all
// have a Windows-1252 byte, opaque solid lines and fills. A deferred line
// (PageRecord::DeferredLine) counts as its maker judged it.
bool PdfFileCanWrite(const PageRecord& page);
// The same for text of one font and for one character of a text.
bool PdfFileCanWriteFont(const QFont& font);
bool PdfFileCanWriteChar(char16_t c);

// Writes the pages (drawn in decipoints from the paper's top-left corner on
// paper of the given size in decipoints) as a PDF file at path. The file is
// written under a temporary name and renamed over path when complete, so
// that a failed write leaves no partial file. False when it could not be
// written or a page has a step PdfFileCanWrite refuses. The path is the
// system's (UTF-8) and so is the title.
bool WritePdfFile(const std::string& path, const std::string& title, double paperWidthDp,
                  double paperHeightDp, const std::vector<std::shared_ptr<PageRecord>>& pages);

// The same file written a page at a time, as each page ends: only the
// object offsets and content sizes stay in memory, so a document of any
// length prints in the same memory. The file replaces path as any saved
// file does (FileReplacement), by Finish; until then, and whenever a write
// fails, path is left as it was.
class PdfFileWriter {
 public:
  PdfFileWriter();
  ~PdfFileWriter();  // an unfinished file is removed
  PdfFileWriter(const PdfFileWriter&) = delete;
  PdfFileWriter& operator=(const PdfFileWriter&) = delete;

  bool Open(const std::string& path, const std::string& title, double paperWidthDp, double paperHeightDp);
  // False when the write failed (the file is then of no use) or the page
  // has a step PdfFileCanWrite refuses or deferred lines.
  bool AddPage(const PageRecord& page);
  // The same, written by a thread of the writer while the caller goes on to
  // the next page; pages are written in the order given. False when an
  // earlier write failed (a failure of this page shows on the next call or
  // in Finish). The page is released on the caller's thread.
  // The page must be one PdfFileCanWrite accepts. Its deferred lines are
  // laid out on the writer's thread, with fonts of that thread, which are
  // released there once the page is written (the page is left empty).
  bool AddPageInBackground(std::shared_ptr<PageRecord> page);
  // Writes the fonts, page tree and trailer and puts the file in place.
  bool Finish();
  // Removes the unfinished file.
  void Abandon();
  bool IsOpen() const { return file_ != nullptr; }
  size_t PageCount() const { return pages_; }  // after Finish, or of AddPage alone
  // Reads the pages written so far back from the file, one at a time, as
  // recorded pages (for a document whose later page goes through the
  // painter); stops at the first visit returning false. The writer itself
  // is left as it was.
  bool ReadBackPages(const std::function<bool(const PageRecord&)>& visit);

 private:
  // Deferred lines of the page are laid out with fonts (none: the page
  // has none).
  bool WritePage(const PageRecord& page, DriverFontCache* fonts = nullptr);
  // Waits until the background thread has written every page handed to it.
  void Drain();
  void StopBackground();
  void Put(const char* s, size_t n);
  void Put(const std::string& s) { Put(s.data(), s.size()); }
  void Begin(size_t object);
  void End();

  struct Deflater;  // one zlib stream for every page
  std::unique_ptr<Deflater> deflater_;
  struct Numbers;  // texts of numbers the pages repeat
  std::unique_ptr<Numbers> numbers_;
  // While it runs, the members below are the background thread's alone
  // except under Drain.
  struct Background;
  std::unique_ptr<Background> background_;
  FILE* file_ = nullptr;
  std::unique_ptr<FileReplacement> replacement_;  // the new file beside path
  std::vector<char> buffer_;
  std::string content_;  // room for the page's content stream, kept at its size
  bool ok_ = true;
  size_t offset_ = 0;
  std::vector<size_t> offsets_;           // by object number
  std::vector<unsigned> contentSizes_;    // by page: before compression
  size_t pages_ = 0;
  double paperW_ = 0, paperH_ = 0;
  bool usedFonts_[12] = {};
  std::string box_;
};
