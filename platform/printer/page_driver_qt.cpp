// The printer library over Qt. Every page is recorded as a list of drawing
// steps in decipoints of the paper; a print run plays the finished page onto
// the printer device, a preview keeps it for replay on any painter.
#include "platform/printer/page_driver_qt.h"

#include "platform/printer/line_layout.h"
#include "platform/printer/page_record.h"
#include "platform/printer/pdf_file_writer.h"
#include "platform/printer/printer_device_qt.h"
#include "platform/win/ui_internal.h"

#include <QImage>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <cstdlib>
#include <string>
#include <cstring>
#include <cmath>
#include <memory>
#include <unordered_map>
#include <vector>

namespace {

std::atomic<bool> gDeferLines{true};

// Pages a preview keeps past its memory bound go to a file of their own,
// unlinked as soon as it is made, compressed: every page of a long report
// stays in reach while memory stays within the bound. A thread of its own
// packs and writes them, so the run goes on making pages meanwhile; a few
// pages at most wait for it.
class PageSpill {
 public:
  PageSpill() = default;
  PageSpill(const PageSpill&) = delete;
  PageSpill& operator=(const PageSpill&) = delete;
  ~PageSpill() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    if (writer_.joinable()) writer_.join();
    if (fd_ >= 0) ::close(fd_);
  }
  // The page handed to the writer; its number for Get. False when no file can
  // be made or an earlier page could not be written.
  bool Put(std::shared_ptr<const PageRecord> page, size_t* slot) {
    if (fd_ < 0 && !Open()) return false;
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return queue_.size() < kWaiting || failed_; });
    if (failed_) return false;
    *slot = where_.size();
    where_.push_back(Where());
    queue_.push_back({*slot, std::move(page)});
    lock.unlock();
    changed_.notify_all();
    return true;
  }
  // The page of that number read back, null when it cannot be.
  std::shared_ptr<PageRecord> Get(size_t slot) {
    Where at;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (slot >= where_.size()) return nullptr;
      changed_.wait(lock, [&] { return where_[slot].state != kPending; });
      at = where_[slot];
    }
    if (at.state != kWritten) return nullptr;
    QByteArray bytes(static_cast<qsizetype>(at.length), Qt::Uninitialized);
    for (qsizetype done = 0; done < bytes.size();) {
      const ssize_t n = ::pread(fd_, bytes.data() + done, static_cast<size_t>(bytes.size() - done), at.offset + done);
      if (n <= 0) return nullptr;
      done += n;
    }
    auto page = std::make_shared<PageRecord>();
    if (!page->Load(qUncompress(bytes))) return nullptr;
    return page;
  }

 private:
  static constexpr size_t kWaiting = 8;
  enum State { kPending, kWritten, kFailed };
  struct Where {
    qint64 offset = 0;
    quint32 length = 0;
    State state = kPending;
  };

  bool Open() {
    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/vortelle-preview-XXXXXX";
    fd_ = ::mkstemp(path.data());
    if (fd_ < 0) return false;
    ::unlink(path.c_str());
    writer_ = std::thread([this] { Write(); });
    return true;
  }

  void Write() {
    qint64 end = 0;
    for (;;) {
      std::pair<size_t, std::shared_ptr<const PageRecord>> next;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || !queue_.empty(); });
        if (queue_.empty()) return;
        next = queue_.front();
      }
      const QByteArray bytes = qCompress(next.second->Save(), 1);
      next.second.reset();
      bool ok = true;
      for (qsizetype done = 0; ok && done < bytes.size();) {
        const ssize_t n = ::pwrite(fd_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done), end + done);
        ok = n > 0;
        if (ok) done += n;
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        Where& w = where_[next.first];
        w.offset = end;
        w.length = static_cast<quint32>(bytes.size());
        w.state = ok ? kWritten : kFailed;
        if (!ok) failed_ = true;
        queue_.pop_front();
      }
      if (ok) end += bytes.size();
      changed_.notify_all();
    }
  }

  int fd_ = -1;
  std::thread writer_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::pair<size_t, std::shared_ptr<const PageRecord>>> queue_;
  std::vector<Where> where_;
  bool failed_ = false;
  bool stop_ = false;
};

// What OutputLine needs to know of a line it leaves to the file writer,
// gathered text token by text token (see CheckText).
struct DeferredCheck {
  bool writable = true;   // the writer takes its text (see PdfFileCanWrite)
  bool facesKept = true;  // the faces of its fonts are those of the kept state copy
  // The font of the token checked last: the next is mostly in it too.
  const DriverFont* lastFont = nullptr;
  int lastNumber = -1;
  bool lastFontWritable = false;
  const bool* lastBytes = nullptr;  // PdfWritableBytes of it
};

// What NoteTokenFont found of a font, kept from line to line: a line's first
// text is mostly in the font of the line before. It holds while the font
// number, the kept state copy, the state and its line-draw face are the same.
struct NotedFont {
  const DriverFont* font = nullptr;
  int number = -1;
  std::shared_ptr<const PageOutputState> kept;  // held, so that its address names it alone
  const PageOutputState* state = nullptr;
  std::string lineDrawFace;
  bool faceKept = false;  // the kept copy names the font's face for the number
  bool writable = false;  // PdfFileCanWriteFont
  const bool* bytes = nullptr;
};

// A page the preview keeps: in memory, or under its number in the spill file.
struct StoredPage {
  std::shared_ptr<PageRecord> page;
  size_t spillSlot = 0;
};

struct DriverRun {
  PrinterDevice* device = nullptr;  // not owned
  bool preview = false;
  QSizeF paper;                     // decipoints
  double y = 0;
  bool pageOpen = false;
  bool pageSend = true;
  std::shared_ptr<PageRecord> page;
  std::shared_ptr<PageRecord> finished;  // the page last ended (preview)
  bool finishedStored = false;
  std::vector<StoredPage> stored;
  size_t storedBytes = 0;
  PageSpill spill;
  // The spilled page read back last: paging back and forth reads it once.
  LONG loadedIndex = -1;
  std::shared_ptr<PageRecord> loaded;
  // The kept page shown last and its copy with the lines laid out.
  std::shared_ptr<PageRecord> resolvedFrom, resolved;
  WORD fontSize = 100;
  DriverFontCache fonts;
  // The line MeasureLine looked at last, for the OutputLine of the same
  // bytes that follows it: a line is laid out, or scanned, once, not twice.
  enum class Measured { kNone, kLaidOut, kScanned } measured = Measured::kNone;
  std::vector<BYTE> measuredBytes;
  LaidOutLine laid;
  DeferredCheck scanned;
  std::vector<LaidOutPiece> sparePieces;  // room of the line drawn last, for the next
  // The open page's lines are laid out by the PDF file writer's thread (see
  // PageRecord::DeferredLine), with what the layout reads of the state then.
  bool deferPage = false;
  std::shared_ptr<const PageOutputState> layoutState;
  std::unordered_map<const DriverFont*, bool> pdfFonts;  // PdfFileCanWriteFont of each
  NotedFont noted;
};

// std::lround's answer (halves away from zero) without the library call:
// the position is asked for on every line.
long RoundHalfAway(double v) {
  if (!(std::fabs(v) < 1e15)) return std::lround(v);  // NaN, infinite or huge: the library's
  const long t = static_cast<long>(v);                // toward zero
  const double fraction = v - static_cast<double>(t);  // exact
  return fraction >= 0.5 ? t + 1 : fraction <= -0.5 ? t - 1 : t;
}

DriverRun* RunOf(const PageOutputState* s) { return s ? static_cast<DriverRun*>(s->driverData) : nullptr; }

// A line's layout is left to the file writer's thread when the page goes
// straight into a PDF file: that is where the main thread has the most to
// do, and nothing else reads the page before it is written. A preview's
// pages are laid out when shown: most of a long report's never are.
bool DefersLines(const DriverRun* r) {
  return gDeferLines.load(std::memory_order_relaxed) && (r->preview || DeviceWritesPdfDirectly(r->device));
}

// A preview's page is never handed to the file writer with its lines left
// (see Resolved), so whether the writer would take them is not asked.
DeferredCheck StartCheck(const DriverRun* r) {
  DeferredCheck check;
  check.writable = !r->preview;
  return check;
}

// Which bytes of the stream decode to characters the PDF file writer takes,
// without and with the line-draw face.
const bool* PdfWritableBytes(bool lineDraw) {
  static const auto table = [] {
    std::array<std::array<bool, 256>, 2> t{};
    for (int draw = 0; draw < 2; ++draw)
      for (int b = 0; b < 256; ++b) {
        const BYTE c = static_cast<BYTE>(b);
        t[draw][b] = PdfFileCanWriteChar(DecodeStreamText(&c, 1, draw != 0).at(0).unicode());
      }
    return t;
  }();
  return table[lineDraw ? 1 : 0].data();
}

// CheckText's look at a token in another font than the one before.
__attribute__((noinline)) void NoteTokenFont(DriverRun* r, const PageOutputState* s, DeferredCheck* check,
                                             const DriverFont& f, int fontNumber) {
  NotedFont& n = r->noted;
  if (n.font != &f || n.number != fontNumber || n.kept != r->layoutState || n.state != s ||
      n.lineDrawFace != s->lineDrawFace) {
    n.font = &f;
    n.number = fontNumber;
    n.kept = r->layoutState;
    n.state = s;
    n.lineDrawFace = s->lineDrawFace;
    n.faceKept = n.kept && StreamFace(n.kept.get(), fontNumber) == f.face;
    auto it = r->pdfFonts.find(&f);
    if (it == r->pdfFonts.end()) it = r->pdfFonts.emplace(&f, PdfFileCanWriteFont(f.font)).first;
    n.writable = it->second;
    n.bytes = PdfWritableBytes(IsLineDrawFont(s, f));
  }
  check->facesKept = check->facesKept && n.faceKept;
  check->lastFont = &f;
  check->lastNumber = fontNumber;
  if (check->writable) {
    check->lastFontWritable = n.writable;
    check->lastBytes = n.bytes;
  }
}

// One text token of a line left to the file writer: the writer takes text
// of a font it has a standard font for whose characters all have a byte in
// its code page (the stream's colours are all opaque). Inline in the scans
// of every token of every line.
inline __attribute__((always_inline)) void CheckText(DriverRun* r, const PageOutputState* s, DeferredCheck* check,
                                                     const DriverFont& f, int fontNumber, const BYTE* bytes, int n) {
  const bool sameFont = &f == check->lastFont && fontNumber == check->lastNumber;
  if (!sameFont) NoteTokenFont(r, s, check, f, fontNumber);
  if (!check->writable) return;
  if (!check->lastFontWritable) {
    check->writable = false;
    return;
  }
  // Without a branch per byte: a token is a short run of text.
  const bool* writable = check->lastBytes;
  bool ok = true;
  for (int i = 0; i < n; ++i) ok &= writable[bytes[i]];
  check->writable = ok;
}

class QtPageDriver : public PageDriver {
 public:
  int ApiVersion() const override { return kPageDriverApiVersion; }
  bool HasEntry(int ordinal) const override {
    return ordinal >= 1 && ordinal <= 29 && ordinal != 16 && ordinal != 26 && ordinal != 28;
  }
  void SetImageFuncs(const PageDriverImageFuncs& funcs) override { images_ = funcs; }

  // Scalable faces do every style: nothing to take away.
  void AdjustFontStyle(PageOutputState*, int, WORD*) override {}

  int FontLineHeight(PageOutputState* s, int fontNumber, int style, int size, int measuring) override {
    const DriverFont& f = Fonts(s).Get(s, fontNumber, style, size);
    return static_cast<int>(std::ceil(f.ascent + f.descent + (measuring ? f.leading : 0) - 1e-6));
  }

  int CharWidth(PageOutputState* s, int ch, int fontNumber, int style, int size) override {
    DriverRun* r = RunOf(s);
    if (size <= 0) size = r ? r->fontSize : 100;
    const DriverFont& f = Fonts(s).Get(s, fontNumber, style, size);
    BYTE b = static_cast<BYTE>(ch);
    // The character as the line's layout decodes it in this font.
    double dp = Fonts(s).Advance(f, DecodeStreamText(&b, 1, IsLineDrawFont(s, f)));
    return static_cast<int>(std::lround(dp * 2));  // decipoints to twips
  }

  int SetFontSize(PageOutputState* s, WORD size) override {
    if (DriverRun* r = RunOf(s)) r->fontSize = size;
    return 1;
  }

  int AdvanceBeforeLine(PageOutputState* s, int height, int) override { return Move(s, height); }
  int AdvanceAfterLine(PageOutputState* s, int depth, int) override { return Move(s, depth); }

  LONG EndPage(PageOutputState* s, int send) override {
    DriverRun* r = RunOf(s);
    if (!r) return -1;
    if (!r->pageOpen) return 1;
    r->page->EndForeign();
    r->pageOpen = false;
    std::shared_ptr<PageRecord> page = std::move(r->page);
    if (r->preview) {
      r->finished = page;
      r->finishedStored = false;
      return 1;
    }
    if (!send || !r->pageSend || s->abortWord) return 1;
    if (!r->device || !SendDevicePage(r->device, page)) {
      return PrinterErrorPageStatus(r->device ? PrinterDeviceLastError(r->device) : 0);
    }
    return 1;
  }

  DWORD MeasureLine(PageOutputState* s, const BYTE* line, int count, int measuring) override {
    DriverRun* run = RunOf(s);
    // Laid out later, by the file writer: only its fonts are looked at here.
    if (run && DefersLines(run)) {
      DeferredCheck check = StartCheck(run);
      const DWORD height = ScanLineHeight(s, &run->fonts, line, count, measuring,
                                          [&](const DriverFont& f, int fontNumber, const BYTE* bytes, int n) {
                                            CheckText(run, s, &check, f, fontNumber, bytes, n);
                                          });
      KeepMeasured(run, line, count, DriverRun::Measured::kScanned);
      run->scanned = check;
      return height;
    }
    LaidOutLine l = LayoutStreamLine(s, &Fonts(s), line, count, false, run ? &run->sparePieces : nullptr);
    if (l.pieces.empty()) return 0;
    const DWORD height = LaidOutLineHeight(l, measuring);
    if (run) {
      KeepMeasured(run, line, count, DriverRun::Measured::kLaidOut);
      run->laid = std::move(l);
    }
    return height;
  }

  int OpenDevice(PageOutputState* s, const BYTE*, const char*, LPARAM, LPARAM) override {
    if (!s) return 0;
    CloseDevice(s, 0);
    auto* device = static_cast<PrinterDevice*>(s->printerDC);
    if (!device && !s->previewFlag) return 0;
    auto* r = new DriverRun;
    r->device = device;
    r->preview = s->previewFlag != 0;
    r->paper = device ? DevicePaperDecipoints(device) : QSizeF(6120, 7920);
    s->driverData = r;
    if (s->pageWidth <= 0 && device) s->pageWidth = GetPrinterDeviceCaps(device, kCapPhysicalWidth);
    if (s->pageHeight <= 0 && device) s->pageHeight = GetPrinterDeviceCaps(device, kCapPhysicalHeight);
    return 1;
  }

  // Room between the current position and the usable page bottom: the paper
  // less the bottom margin, the printable area and any end offset kept free.
  int SpaceLeft(PageOutputState* s, int bottomMargin) override {
    DriverRun* r = RunOf(s);
    if (!r) return 0;
    double length = s->pageLength > 0 ? s->pageLength : r->paper.height();
    double bottom = length - std::max<double>(bottomMargin, s->endOffset);
    if (s->printableHeight > 0) bottom = std::min<double>(bottom, s->topOffset + s->printableHeight);
    double left = bottom - r->y;
    // Truncation is the floor of a positive number.
    return left > 0 ? static_cast<int>(left + 1e-6) : 0;
  }

  void CloseDevice(PageOutputState* s, LONG) override {
    DriverRun* r = RunOf(s);
    if (!r) return;
    delete r;
    s->driverData = nullptr;
  }

  // Begins a page unless one is open: the Title band and the page header of
  // the first page both ask for the page start, and the second call must
  // not start another page. The start is counted from the paper's top edge,
  // never above the printable area.
  int BeginPage(PageOutputState* s, int topStart, int send) override {
    DriverRun* r = RunOf(s);
    if (!r) return 0;
    if (r->pageOpen) return 1;
    r->page = std::make_shared<PageRecord>();
    r->pageOpen = true;
    r->deferPage = DefersLines(r);
    r->pageSend = send != 0;
    r->y = std::max<double>(topStart, s->topOffset);
    return 1;
  }

  int MoveDown(PageOutputState* s, int distance, int) override {
    DriverRun* r = RunOf(s);
    if (!r || !r->pageOpen) return 0;
    r->y = std::max<double>(s->topOffset, r->y + distance);
    return 1;
  }

  int OutputLine(PageOutputState* s, const BYTE* line, int count) override {
    DriverRun* r = RunOf(s);
    if (!r || !r->pageOpen) return 0;
    if (s->abortWord) return 1;
    if (r->deferPage) {
      // Every line of the page, so that its fonts are all of the writer's cache.
      DeferredCheck check = StartCheck(r);
      if (TakeMeasured(r, line, count, DriverRun::Measured::kScanned)) {
        check = r->scanned;
      } else {
        ForEachLineText(s, &r->fonts, line, count, [&](const DriverFont& f, int fontNumber, const BYTE* bytes, int n) {
          CheckText(r, s, &check, f, fontNumber, bytes, n);
        });
      }
      r->layoutState = LayoutStateOf(*s, std::move(r->layoutState), check.facesKept);
      r->page->DeferredLine(line, count, r->y, r->layoutState, check.writable);
      return 1;
    }
    LaidOutLine l = TakeMeasured(r, line, count, DriverRun::Measured::kLaidOut)
                        ? std::move(r->laid)
                        : LayoutStreamLine(s, &r->fonts, line, count, false, &r->sparePieces);
    // Glyphs are placed here only for the painter, so that the device does
    // not shape every line again. A preview running to its end keeps its
    // pages without them, so it places none.
    const bool place = r->preview ? !s->runningToEnd : !DeviceWritesPdfDirectly(r->device);
    r->page->LaidOutText(l, r->y, place);
    l.pieces.clear();
    r->sparePieces = std::move(l.pieces);
    return 1;
  }

  // The page just ended is the one shown; pages before the start page are
  // never stored, so the shown index is the number stored so far.
  void PreviewPageFinished(PageOutputState* s) override {
    DriverRun* r = RunOf(s);
    if (!r) return;
    s->pageShown = static_cast<LONG>(r->stored.size());
    s->pagesProduced = s->pageShown + 1;
  }

  int RealizePalette(PageOutputState*) override { return 1; }
  int EndBand(PageOutputState*, int, int) override { return 1; }

  int DrawBox(PageOutputState* s, const LineBoxRecord* rec) override { return DrawLineOrBox(s, rec, true); }
  int DrawLine(PageOutputState* s, const LineBoxRecord* rec) override { return DrawLineOrBox(s, rec, false); }

  int DrawPicture(PageOutputState* s, const PictureRecord* rec) override {
    DriverRun* r = RunOf(s);
    if (!r || !r->pageOpen || !rec) return 0;
    if (!images_.getImage) return 1;
    PageDriverImage img;
    if (!images_.getImage(rec->image, &img) || !img.pixels || img.width <= 0 || img.height <= 0 ||
        img.stride < img.width * 4)
      return 1;
    QImage q(img.pixels, img.width, img.height, img.stride, QImage::Format_ARGB32);
    QRectF target = GraphicRect(s, rec->x, rec->y, rec->width, rec->height);
    // Printed at the size the user gave it, standing on the same bottom.
    if (rec->exactWidth > 0) target.setWidth(rec->exactWidth);
    if (rec->exactHeight > 0) target.setTop(target.bottom() - rec->exactHeight);
    QRectF source(0, 0, img.width, img.height);
    if (rec->cropWidth > 0 && rec->cropHeight > 0)
      source = QRectF(0, 0, std::min<int>(rec->cropWidth, img.width), std::min<int>(rec->cropHeight, img.height));
    r->page->Image(target, q, source);
    return 1;
  }

  void PreviewResized(PageOutputState*) override {}

  WORD CurrentY(PageOutputState* s) override {
    DriverRun* r = RunOf(s);
    if (!r) return 0;
    return static_cast<WORD>(std::clamp<long>(RoundHalfAway(r->y), 0, 0xFFFF));
  }

  // The shown page onto the preview's painter, fitted to the page rectangle
  // of the zoom in use; without a clip rectangle onto the printer (Print
  // Current Page), whose document the caller has started.
  int ReplayPage(PageOutputState* s, const PageRect* clip) override {
    DriverRun* r = RunOf(s);
    if (!r) return 0;
    std::shared_ptr<PageRecord> page = Resolved(r, ShownPage(r, s->pageShown));
    // A kept page that cannot be read back fails like one that cannot be made.
    if (!page) return s->pageShown >= 0 && static_cast<size_t>(s->pageShown) < r->stored.size() ? 0 : 1;
    if (!clip) {
      auto* device = static_cast<PrinterDevice*>(s->printerDC);
      if (!device) return 1;
      SendDevicePage(device, page);
      return 1;
    }
    auto* painter = static_cast<QPainter*>(s->previewDC);
    if (!painter) return 1;
    QRectF paperRect;
    if (s->zoomLevel == 0 || !s->currentZoom) {
      paperRect = QRectF(s->wholePage.left, s->wholePage.top, s->wholePage.right - s->wholePage.left,
                         s->wholePage.bottom - s->wholePage.top);
    } else {
      const PreviewZoomRecord& z = *s->currentZoom;
      paperRect = QRectF(-z.scrollX, -z.scrollY, z.pageWidth, z.pageHeight);
    }
    painter->save();
    painter->setClipRect(QRect(clip->left, clip->top, clip->right - clip->left, clip->bottom - clip->top));
    Replay(painter, *page, r->paper, paperRect);
    painter->restore();
    return 1;
  }

  int StorePage(PageOutputState* s, void*, LONG) override {
    DriverRun* r = RunOf(s);
    if (!r) return 0;
    if (r->finished && !r->finishedStored) {
      // Kept pages are shaped again when shown: the placed glyphs would
      // double what a page of text takes.
      r->finished->DropGlyphs();
      size_t bytes = r->finished->ApproxBytes();
      StoredPage kept;
      if (r->storedBytes + bytes <= s->previewStoreLimit) {
        kept.page = r->finished;
        r->storedBytes += bytes;
      } else if (!r->spill.Put(r->finished, &kept.spillSlot)) {
        return 0;
      }
      r->stored.push_back(std::move(kept));
      r->finishedStored = true;
    }
    return 1;
  }

  int DrawOleItem(PageOutputState* s, const OleItemRecord* rec) override {
    DriverRun* r = RunOf(s);
    if (!r || !r->pageOpen || !rec) return 0;
    QRectF t = GraphicRect(s, rec->x, rec->y, rec->width, rec->height);
    // Only the object's stored bytes travel with the report: it prints as
    // a placeholder naming its type.
    DrawObjectPlaceholder(*r->page, t, rec->label);
    return 1;
  }

  int DrawChart(PageOutputState* s, const ChartRecord* rec) override {
    DriverRun* r = RunOf(s);
    if (!r || !r->pageOpen || !rec) return 0;
    if (rec->metafile) {
      QRectF t = GraphicRect(s, rec->x, rec->y, rec->width, rec->height);
      if (QPainter* p = r->page->BeginForeign()) {
        // The chart's picture is an enhanced metafile of the window layer.
        vt_ui::PlayEnhMetaFileOn(p, static_cast<HENHMETAFILE>(rec->metafile), t);
        r->page->EndForeign();
      }
    }
    return 1;
  }

  static void KeepMeasured(DriverRun* r, const BYTE* line, int count, DriverRun::Measured how) {
    r->measured = count < 0 ? DriverRun::Measured::kNone : how;
    if (count > 0) r->measuredBytes.assign(line, line + count);
    else r->measuredBytes.clear();
  }

  // Whether the line is the one MeasureLine looked at last, in that way.
  static bool TakeMeasured(DriverRun* r, const BYTE* line, int count, DriverRun::Measured how) {
    const bool same = r->measured == how && count >= 0 && r->measuredBytes.size() == static_cast<size_t>(count) &&
                      (count == 0 || std::memcmp(r->measuredBytes.data(), line, static_cast<size_t>(count)) == 0);
    r->measured = DriverRun::Measured::kNone;
    return same;
  }

  static void Replay(QPainter* painter, const PageRecord& page, const QSizeF& paper, const QRectF& target) {
    if (paper.width() <= 0 || paper.height() <= 0) return;
    painter->save();
    painter->translate(target.topLeft());
    painter->scale(target.width() / paper.width(), target.height() / paper.height());
    page.Play(painter);
    painter->restore();
  }

  static std::shared_ptr<PageRecord> ShownPage(DriverRun* r, LONG index) {
    if (index >= 0 && static_cast<size_t>(index) < r->stored.size()) return StoredAt(r, static_cast<size_t>(index));
    return r->finished;
  }

  // The page as it is drawn: a kept page's lines are laid out in a copy,
  // kept while it is the one shown, so that the kept page stays as small as
  // it went into the memory bound and is never changed under the spill.
  static std::shared_ptr<PageRecord> Resolved(DriverRun* r, std::shared_ptr<PageRecord> page) {
    if (!page || !page->HasDeferredLines()) return page;
    if (r->resolvedFrom != page) {
      auto copy = std::make_shared<PageRecord>();
      if (!copy->Load(page->Save())) return nullptr;
      copy->ResolveLines(&r->fonts, true);
      r->resolvedFrom = std::move(page);
      r->resolved = std::move(copy);
    }
    return r->resolved;
  }

  // A kept page, read back from the spill file when it went there; null when
  // it cannot be read.
  static std::shared_ptr<PageRecord> StoredAt(DriverRun* r, size_t index) {
    const StoredPage& kept = r->stored[index];
    if (kept.page) return kept.page;
    if (r->loadedIndex != static_cast<LONG>(index)) {
      r->loaded = r->spill.Get(kept.spillSlot);
      // Read back for showing: its lines are laid out in place, once.
      if (r->loaded) r->loaded->ResolveLines(&r->fonts, true);
      r->loadedIndex = r->loaded ? static_cast<LONG>(index) : -1;
    }
    return r->loaded;
  }

 private:
  DriverFontCache& Fonts(PageOutputState* s) {
    DriverRun* r = RunOf(s);
    return r ? r->fonts : fonts_;
  }

  int Move(PageOutputState* s, int distance) {
    DriverRun* r = RunOf(s);
    if (!r) return 0;
    r->y = std::max<double>(0, r->y + distance);
    return 1;
  }

  double PrinterXToDp(const PageOutputState* s, double x) const {
    const double res = s->printerResX > 0 ? s->printerResX : 720;
    return PrinterOriginX(s) + x * 720.0 / res;
  }
  double PrinterYToDp(const PageOutputState* s, double y) const {
    double res = s->printerResY > 0 ? s->printerResY : 720;
    return y * 720.0 / res;
  }

  // Picture, object and chart rectangles: x and sizes in screen pixels,
  // the bottom edge in printer pixels.
  QRectF GraphicRect(const PageOutputState* s, WORD x, WORD bottom, WORD width, WORD height) const {
    double ppiX = s->screenPpiX > 0 ? s->screenPpiX : 96;
    double ppiY = s->screenPpiY > 0 ? s->screenPpiY : 96;
    double left = PrinterXToDp(s, 0) + x * 720.0 / ppiX;
    double h = height * 720.0 / ppiY;
    double b = PrinterYToDp(s, bottom);
    return QRectF(left, b - h, width * 720.0 / ppiX, h);
  }

  // No server draws an embedded object here: a grey frame with its name.
  void DrawObjectPlaceholder(PageRecord& page, const QRectF& t, const char* label) {
    const QPen pen(QColor(128, 128, 128), 7);
    page.Line(pen, t.topLeft(), t.topRight());
    page.Line(pen, t.topRight(), t.bottomRight());
    page.Line(pen, t.bottomRight(), t.bottomLeft());
    page.Line(pen, t.bottomLeft(), t.topLeft());
    if (label == nullptr || *label == 0) return;
    if (placeholderFont_.pixelSize() != kPlaceholderTextSize) {
      placeholderFont_ = QFont(QStringLiteral("Sans Serif"));
      placeholderFont_.setPixelSize(kPlaceholderTextSize);
    }
    page.Text(&placeholderFont_, placeholderFont_, QColor(128, 128, 128),
              QPointF(t.left() + 30, t.top() + 30 + kPlaceholderTextSize), vt_ui::FromAnsi(label));
  }

  int DrawLineOrBox(PageOutputState* s, const LineBoxRecord* rec, bool box) {
    DriverRun* r = RunOf(s);
    if (!r || !r->pageOpen || !rec) return 0;
    double x1 = PrinterXToDp(s, rec->left), x2 = PrinterXToDp(s, rec->right);
    double y1 = PrinterYToDp(s, rec->top), y2 = PrinterYToDp(s, rec->bottom);
    double res = s->printerResX > 0 ? s->printerResX : 720;
    PaintLineOrBox(*r->page, *rec, QPointF(x1, y1), QPointF(x2, y2), std::max<double>(1, rec->penWidth) * 720.0 / res,
                   box);
    return 1;
  }

  PageDriverImageFuncs images_;
  DriverFontCache fonts_;  // measuring before a device is open
  static constexpr int kPlaceholderTextSize = 80;  // 8 points, in decipoints
  QFont placeholderFont_;
};

}  // namespace

PageDriver* CreateQtPageDriver() { return new QtPageDriver; }


void SetPageDriverDefersLines(bool defer) { gDeferLines.store(defer, std::memory_order_relaxed); }

int StoredPreviewPageCount(const PageOutputState* s) {
  DriverRun* r = RunOf(s);
  return r ? static_cast<int>(r->stored.size()) : 0;
}

bool ReplayPreviewPage(const PageOutputState* s, int index, QPainter* painter, const QRectF& paperRect) {
  DriverRun* r = RunOf(s);
  if (!r || !painter) return false;
  std::shared_ptr<PageRecord> page;
  if (index < 0)
    page = r->finished;
  else if (static_cast<size_t>(index) < r->stored.size())
    page = QtPageDriver::StoredAt(r, static_cast<size_t>(index));
  page = QtPageDriver::Resolved(r, std::move(page));
  if (!page) return false;
  QtPageDriver::Replay(painter, *page, r->paper, paperRect);
  return true;
}

size_t StoredPreviewBytes(const PageOutputState* s) {
  DriverRun* r = RunOf(s);
  return r ? r->storedBytes : 0;
}

QSizeF DriverPaperDecipoints(const PageOutputState* s) {
  DriverRun* r = RunOf(s);
  return r ? r->paper : QSizeF();
}
