// A printer library that keeps the pages of a page-image export (text, RTF,
// HTML) as positioned text runs and pictures instead of drawing them. Texts
// are measured exactly as the printer measures them, so the export lays out
// its lines where a printed page would have them. No Qt type appears here.
#pragma once

#include "platform/printer/page_driver.h"

#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

struct CapturedRun {
  double x = 0;          // decipoints from the paper's left edge
  double width = 0;      // decipoints
  std::string text;      // the report's code page
  std::string face;
  int size = 100;        // tenths of a point
  bool bold = false, italic = false, underline = false;
  COLORREF colour = 0;
};

struct CapturedLine {
  double y = 0;          // decipoints from the paper's top: the line's top
  double height = 0;
  int band = 0;          // the band and layout line the engine named
  int layoutLine = 0;
  std::vector<CapturedRun> runs;
  // A line whose runs are not made yet (see CapturedPage::stream): its bytes
  // there and its state's index; streamOffset is -1 once the runs are made.
  int streamOffset = -1, streamCount = 0, streamState = 0;
};

// A picture, chart, line or box placed on the page, kept as image file
// bytes in the document's image format.
struct CapturedPicture {
  double x = 0, y = 0, width = 0, height = 0;  // decipoints
  std::string bytes;
  bool chart = false;
  bool shape = false;  // a line or a box, drawn under the text
};

struct CapturedPage {
  std::vector<CapturedLine> lines;
  std::vector<CapturedPicture> pictures;
  // A spilled page's lines are laid out into runs by the scratch file's
  // thread, not the run's: until then their output stream bytes and what the
  // layout reads of the state wait here. Empty on any page a reader is given.
  std::string stream;
  std::vector<std::shared_ptr<const PageOutputState>> streamStates;
};

struct CapturedDocument {
  double paperWidth = 6120, paperHeight = 7920;  // decipoints
  std::string imageFormat = "PNG";               // "PNG", "JPEG" or "BMP"
  bool graphics = true;                          // pictures, charts, lines and boxes kept
  // The pages in memory: all of them, or with spillPages the one being made
  // (those before it are in the scratch file).
  std::vector<CapturedPage> pages;
  // A long document is kept in the same memory: as a page ends, it moves to
  // a scratch file, read back one at a time. A thread of its own lays its
  // lines out and writes it, so the run goes on meanwhile; a few pages at
  // most wait for it.
  bool spillPages = false;

  CapturedDocument();
  ~CapturedDocument();
  CapturedDocument(const CapturedDocument&) = delete;
  CapturedDocument& operator=(const CapturedDocument&) = delete;

  // Moves the pages in memory, all finished, to the scratch file; false when
  // it cannot be written (the pages not written then come back to memory,
  // and no more move).
  bool SpillFinishedPages();
  size_t PageCount() const { return spilled_ + pages.size(); }
  // Every page in order, the spilled ones read back; stops at the first
  // visit answering false. False when a visit did or the scratch file
  // cannot be read.
  bool ForEachPage(const std::function<bool(size_t index, const CapturedPage& page)>& visit) const;
  // The leftmost x of a run with text (-1 when none) and the faces of all
  // runs, over every page.
  double LeftmostText() const;
  std::set<std::string> Faces() const;

  // An export written while the run goes: visit is given each page once, in
  // order, as soon as the scratch file holds it (on that file's thread), and
  // at FinishPagesAhead the pages that never went there. Once a visit answers
  // false no page is given again. False, and nothing set, once a page went to
  // the scratch file: those would be missed.
  using PageVisit = std::function<bool(size_t index, const CapturedPage& page)>;
  bool SetPagesAhead(PageVisit visit);
  // Waits for the scratch file's thread, then gives the pages not given yet;
  // true when every page was given and every visit answered true. No page is
  // given afterwards.
  bool FinishPagesAhead();
  // No page is given from here on; waits for a visit under way.
  void StopPagesAhead();

 private:
  struct Spill;
  // Waits until the pages handed to the writer are in the file, or one could
  // not be written; the pages left unwritten then, in order (else none).
  const std::deque<CapturedPage>* WaitForSpill() const;
  // What the scratch file's thread gives pages ahead with; it alone uses it
  // while it runs, the document once it has waited for the thread.
  struct Ahead {
    PageVisit visit;
    size_t given = 0;  // pages given
    bool ok = true;    // every visit so far answered true
  };
  Ahead ahead_;
  std::unique_ptr<Spill> spill_;
  size_t spilled_ = 0;  // pages handed to the scratch file
};

// Turns a chart's picture (its metafile) into image file bytes of the given
// pixel size and format ("PNG", "JPEG", "BMP"); the charting side installs
// it. Without it a chart gives no picture.
using ChartPictureHook = bool (*)(void* metafile, int width, int height, const char* format, std::string* bytes);
void SetExportChartPictureHook(ChartPictureHook hook);

// The driver writes into out, which must outlive it; out's paper size and
// image format are read when pages and pictures are made.
PageDriver* CreatePageCaptureDriver(CapturedDocument* out);
