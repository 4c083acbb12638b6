#include "platform/export/page_capture.h"

#include "platform/printer/appender.h"
#include "platform/printer/line_layout.h"
#include "platform/printer/page_driver_qt.h"
#include "platform/win/codepage_text.h"
#include "platform/win/gdi.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <cstring>
#include <memory>
#include <unordered_map>

namespace {

ChartPictureHook gChartHook = nullptr;

std::string Encode(const QImage& image, const std::string& format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, format.c_str())) return std::string();
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// Makes captured runs of laid-out lines, with fonts of its own: the run's
// thread and the scratch file's each have one.
class RunMaker {
 public:
  DriverFontCache fonts;  // owns the fonts captured_ is keyed by

  // c's runs from the laid-out line l.
  void Runs(const LaidOutLine& l, CapturedLine* c) {
    c->runs.clear();
    c->runs.reserve(l.pieces.size());
    for (const LaidOutPiece& p : l.pieces) {
      // Made in place: a run's two strings are not moved again.
      CapturedRun& r = c->runs.emplace_back();
      r.x = p.x;
      r.width = p.width > 0 ? p.width : 0;
      CodePageText(l.TextOf(p), &r.text);
      Font(p, &r);
    }
  }

  // Lays out the page's lines whose runs wait (see CapturedPage::stream),
  // from their bytes: a run's text is made once, in the code page.
  void Resolve(CapturedPage* page) {
    if (page->streamStates.empty()) return;
    const auto* bytes = reinterpret_cast<const BYTE*>(page->stream.data());
    LineFontMemo memo;  // the page keeps its states as they are
    for (CapturedLine& c : page->lines) {
      if (c.streamOffset < 0) continue;
      const BYTE* line = bytes + c.streamOffset;
      LayoutStreamLineBytes(page->streamStates[static_cast<size_t>(c.streamState)].get(), &fonts, line,
                            c.streamCount, &laid_, &memo);
      c.runs.clear();
      c.runs.reserve(laid_.pieces.size());
      for (const LaidOutPiece& p : laid_.pieces) {
        CapturedRun& r = c.runs.emplace_back();
        r.x = p.x;
        // Every run is measured, as a measured layout has it.
        const double width =
            p.width >= 0 || !p.font ? p.width : fonts.AdvanceOfBytes(*p.font, line + p.start, p.length, p.lineDraw);
        r.width = width > 0 ? width : 0;
        BytesText(line + p.start, p.length, p.lineDraw, &r.text);
        Font(p, &r);
      }
      c.streamOffset = -1;
      c.streamCount = 0;
    }
    page->stream.clear();
    page->streamStates.clear();
  }

 private:
  // What a run keeps of its font, worked out once per font: every line
  // names the same few.
  struct CapturedFont {
    std::string face;
    int size = 100;
    bool bold = false, italic = false, underline = false;
  };
  void Font(const LaidOutPiece& p, CapturedRun* r) {
    if (p.font) {
      const CapturedFont& f = FontOf(*p.font);
      r->face = f.face;
      r->size = f.size;
      r->bold = f.bold;
      r->italic = f.italic;
      r->underline = f.underline;
    }
    r->colour = RGB(p.colour.red(), p.colour.green(), p.colour.blue());
  }

  // A piece's bytes in the code page. Printable ASCII is the same byte
  // there and in either face; other bytes go through their characters.
  static void BytesText(const BYTE* b, int n, bool lineDraw, std::string* to) {
    int i = 0;
    while (i < n && b[i] >= 0x20 && b[i] < 0x7F) ++i;
    if (i == n) to->assign(reinterpret_cast<const char*>(b), static_cast<size_t>(n));
    else CodePageText(DecodeStreamText(b, n, lineDraw), to);
  }

  const CapturedFont& FontOf(const DriverFont& font) {
    // Runs mostly keep the font of the one before.
    if (&font == lastFont_) return *lastCaptured_;
    lastFont_ = &font;
    auto it = captured_.find(&font);
    if (it != captured_.end()) return *(lastCaptured_ = &it->second);
    CapturedFont f;
    f.face = font.font.family().toStdString();
    f.size = static_cast<int>(
        std::lround(font.font.pixelSize() > 0 ? font.font.pixelSize() : font.font.pointSizeF() * 10));
    f.bold = font.font.bold();
    f.italic = font.font.italic();
    f.underline = font.font.underline();
    return *(lastCaptured_ = &captured_.emplace(&font, std::move(f)).first->second);
  }

  // A laid-out text in the code page, character by character; the same as
  // going through UTF-8, which only a lone surrogate (never decoded from
  // stream bytes) would make differ.
  static void CodePageText(QStringView text, std::string* to) {
    // The code page's bytes of the first 256 code points, asked once.
    static const std::array<short, 256> kLow = [] {
      std::array<short, 256> t{};
      for (uint32_t c = 0; c < t.size(); ++c) t[c] = static_cast<short>(UnicodeToAnsi(c));
      return t;
    }();
    std::string& out = *to;
    out.resize(static_cast<size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
      const char16_t c = text[i].unicode();
      if (c >= 0xD800 && c <= 0xDFFF) {
        out = Utf8ToAnsi(text.toString().toStdString());
        return;
      }
      const int b = c < kLow.size() ? kLow[c] : UnicodeToAnsi(c);
      out[static_cast<size_t>(i)] = b < 0 ? '?' : static_cast<char>(b);
    }
  }

  std::unordered_map<const DriverFont*, CapturedFont> captured_;
  const DriverFont* lastFont_ = nullptr;  // and what it captured: the map's items stay put
  const CapturedFont* lastCaptured_ = nullptr;
  LaidOutLine laid_;  // the line laid out last, its room kept
};

class CaptureDriver : public PageDriver {
 public:
  explicit CaptureDriver(CapturedDocument* out) : out_(out), measure_(CreateQtPageDriver()) {}
  ~CaptureDriver() override { ResolveKept(); }

  int ApiVersion() const override { return kPageDriverApiVersion; }
  bool HasEntry(int ordinal) const override { return ordinal >= 1 && ordinal <= 29 && ordinal != 16 && ordinal != 26; }
  void SetImageFuncs(const PageDriverImageFuncs& funcs) override {
    images_ = funcs;
    measure_->SetImageFuncs(funcs);
  }

  // Measuring is the printer's own.
  void AdjustFontStyle(PageOutputState* s, int n, WORD* style) override { measure_->AdjustFontStyle(s, n, style); }
  int FontLineHeight(PageOutputState* s, int n, int style, int size, int measuring) override {
    return measure_->FontLineHeight(s, n, style, size, measuring);
  }
  int CharWidth(PageOutputState* s, int ch, int n, int style, int size) override {
    return measure_->CharWidth(s, ch, n, style, size > 0 ? size : fontSize_);
  }
  int SetFontSize(PageOutputState*, WORD size) override {
    fontSize_ = size;
    return 1;
  }
  // Measured with the capture's own fonts, which are the printer's: the
  // line laid out here is the one OutputLine keeps when the same bytes follow.
  // A line of a page bound for the scratch file is laid out there; only its
  // fonts are looked at here, which give the same height.
  DWORD MeasureLine(PageOutputState* s, const BYTE* line, int count, int measuring) override {
    laidBytes_.assign(reinterpret_cast<const char*>(line), static_cast<size_t>(std::max(count, 0)));
    if (out_->spillPages) {
      laidValid_ = false;
      scannedValid_ = count >= 0;
      FaceCheck check;
      const DWORD height = ScanLineHeight(s, &maker_.fonts, line, count, measuring,
                                          [&](const DriverFont& f, int fontNumber, const BYTE*, int) {
                                            CheckFace(f, fontNumber, &check);
                                          });
      scannedFacesKept_ = check.kept;
      return height;
    }
    laid_ = LayoutStreamLine(s, &maker_.fonts, line, count, true);
    laidValid_ = count >= 0;
    scannedValid_ = false;
    return LaidOutLineHeight(laid_, measuring);
  }

  int AdvanceBeforeLine(PageOutputState*, int height, int) override {
    lineTop_ = y_;
    lineHeight_ = height;
    y_ += height;
    return 1;
  }
  int AdvanceAfterLine(PageOutputState*, int depth, int) override {
    // The line just output reaches down to its depth.
    if (CapturedPage* p = Page(); p && !p->lines.empty() && p->lines.back().y == lineTop_)
      p->lines.back().height = lineHeight_ + depth;
    y_ += depth;
    return 1;
  }
  LONG EndPage(PageOutputState*, int) override {
    pageOpen_ = false;
    // The page goes to the scratch file's thread as soon as it is whole.
    if (deferPage_) {
      deferPage_ = false;
      if (!out_->spillPages || !out_->SpillFinishedPages()) ResolveKept();
    }
    return 1;
  }
  int OpenDevice(PageOutputState*, const BYTE*, const char*, LPARAM, LPARAM) override { return 1; }
  int SpaceLeft(PageOutputState* s, int bottomMargin) override {
    double length = s->pageLength > 0 ? s->pageLength : out_->paperHeight;
    double left = length - std::max<double>(bottomMargin, s->endOffset) - y_;
    return left > 0 ? static_cast<int>(std::floor(left + 1e-6)) : 0;
  }
  // A page left open keeps no line unmade.
  void CloseDevice(PageOutputState*, LONG) override { ResolveKept(); }
  int BeginPage(PageOutputState* s, int topStart, int send) override {
    if (pageOpen_) return 1;
    pageOpen_ = true;
    y_ = std::max<double>(topStart, s->topOffset);
    // Pages before the first page asked for are laid out but not kept.
    if (send) {
      if (out_->spillPages && !out_->SpillFinishedPages()) ResolveKept();
      out_->pages.emplace_back();
    }
    keep_ = send != 0;
    deferPage_ = keep_ && out_->spillPages;
    return 1;
  }
  int MoveDown(PageOutputState* s, int distance, int) override {
    y_ = std::max<double>(s->topOffset, y_ + distance);
    return 1;
  }
  int OutputLine(PageOutputState* s, const BYTE* line, int count) override {
    const bool same = count >= 0 && laidBytes_.size() == static_cast<size_t>(count) &&
                      std::memcmp(laidBytes_.data(), line, laidBytes_.size()) == 0;
    const bool laidSame = same && laidValid_, scannedSame = same && scannedValid_;
    laidValid_ = scannedValid_ = false;
    CapturedPage* page = Page();
    if (!page) return 1;
    CapturedLine c;
    c.y = lineTop_;
    c.height = lineHeight_;
    c.band = s->currentBand;
    c.layoutLine = s->currentLayoutLine;
    if (deferPage_) {
      bool facesKept = true;
      if (scannedSame) {
        facesKept = scannedFacesKept_;
      } else {
        FaceCheck check;
        ForEachLineText(s, &maker_.fonts, line, count, [&](const DriverFont& f, int fontNumber, const BYTE*, int) {
          CheckFace(f, fontNumber, &check);
        });
        facesKept = check.kept;
      }
      layoutState_ = LayoutStateOf(*s, std::move(layoutState_), facesKept);
      if (page->streamStates.empty() || page->streamStates.back() != layoutState_)
        page->streamStates.push_back(layoutState_);
      c.streamOffset = static_cast<int>(page->stream.size());
      c.streamCount = count;
      c.streamState = static_cast<int>(page->streamStates.size()) - 1;
      if (count > 0) page->stream.append(reinterpret_cast<const char*>(line), static_cast<size_t>(count));
    } else {
      maker_.Runs(laidSame ? laid_ : LayoutStreamLine(s, &maker_.fonts, line, count, true), &c);
    }
    page->lines.push_back(std::move(c));
    return 1;
  }
  void PreviewPageFinished(PageOutputState*) override {}
  int RealizePalette(PageOutputState*) override { return 1; }
  int EndBand(PageOutputState*, int, int) override { return 1; }
  int DrawBox(PageOutputState* s, const LineBoxRecord* rec) override { return DrawShape(s, rec, true); }
  int DrawLine(PageOutputState* s, const LineBoxRecord* rec) override { return DrawShape(s, rec, false); }
  int DrawPicture(PageOutputState* s, const PictureRecord* rec) override {
    if (!Page() || !rec || !images_.getImage || !out_->graphics) return 1;
    PageDriverImage img;
    if (!images_.getImage(rec->image, &img) || !img.pixels || img.width <= 0 || img.height <= 0 ||
        img.stride < img.width * 4)
      return 1;
    QImage q(img.pixels, img.width, img.height, img.stride, QImage::Format_ARGB32);
    CapturedPicture p;
    p.bytes = Encode(q.convertToFormat(QImage::Format_RGB32), out_->imageFormat);
    if (p.bytes.empty()) return 1;
    Place(s, &p, rec->x, rec->y, rec->width, rec->height);
    Page()->pictures.push_back(std::move(p));
    return 1;
  }
  void PreviewResized(PageOutputState*) override {}
  WORD CurrentY(PageOutputState*) override {
    return static_cast<WORD>(std::clamp<long>(std::lround(y_), 0, 0xFFFF));
  }
  int ReplayPage(PageOutputState*, const PageRect*) override { return 1; }
  int StorePage(PageOutputState*, void*, LONG) override { return 1; }
  int DrawOleItem(PageOutputState*, const OleItemRecord*) override { return 1; }
  int DrawChart(PageOutputState* s, const ChartRecord* rec) override {
    if (!Page() || !rec || !gChartHook || !rec->metafile || !out_->graphics) return 1;
    CapturedPicture p;
    p.chart = true;
    if (!gChartHook(rec->metafile, std::max<int>(rec->width, 1), std::max<int>(rec->height, 1),
                    out_->imageFormat.c_str(), &p.bytes) ||
        p.bytes.empty())
      return 1;
    Place(s, &p, rec->x, rec->y, rec->width, rec->height);
    Page()->pictures.push_back(std::move(p));
    return 1;
  }

 private:
  CapturedPage* Page() { return pageOpen_ && keep_ && !out_->pages.empty() ? &out_->pages.back() : nullptr; }
  // Whether the kept state copy names the font's face for its number (its
  // other faces are not compared: the line does not read them).
  // Whether the kept state gives each font of a line the face the line has;
  // the font of the text before is not looked at again.
  struct FaceCheck {
    bool kept = true;
    const DriverFont* last = nullptr;
    int lastNumber = -1;
  };
  void CheckFace(const DriverFont& f, int fontNumber, FaceCheck* c) const {
    if (!c->kept || (&f == c->last && fontNumber == c->lastNumber)) return;
    c->last = &f;
    c->lastNumber = fontNumber;
    c->kept = layoutState_ && StreamFace(layoutState_.get(), fontNumber) == f.face;
  }
  // The pages in memory with all their runs made here: those the scratch
  // file did not take.
  void ResolveKept() {
    for (CapturedPage& p : out_->pages) maker_.Resolve(&p);
  }
  // A line or box becomes a picture of its own, drawn at the screen's
  // resolution with the pen's width around it; outside the shape it is
  // transparent where the image format allows.
  int DrawShape(PageOutputState* s, const LineBoxRecord* rec, bool box) {
    if (!Page() || !rec || !out_->graphics) return 1;
    const double rx = s->printerResX > 0 ? s->printerResX : 720, ry = s->printerResY > 0 ? s->printerResY : 720;
    const double pen = std::max<double>(1, rec->penWidth) * 720.0 / rx;  // decipoints
    // Across from where the printer places its lines, as the printed page has them.
    const double origin = PrinterOriginX(s);
    const QPointF a(origin + rec->left * 720.0 / rx, rec->top * 720.0 / ry),
        b(origin + rec->right * 720.0 / rx, rec->bottom * 720.0 / ry);
    const QRectF around = QRectF(a, b).normalized().adjusted(-pen / 2, -pen / 2, pen / 2, pen / 2);
    const double sx = (s->screenPpiX > 0 ? s->screenPpiX : 96) / 720.0, sy = (s->screenPpiY > 0 ? s->screenPpiY : 96) / 720.0;
    const int w = std::clamp<int>(static_cast<int>(std::ceil(around.width() * sx)), 1, 20000);
    const int h = std::clamp<int>(static_cast<int>(std::ceil(around.height() * sy)), 1, 20000);
    const bool clear = out_->imageFormat == "PNG";
    QImage image(w, h, clear ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    image.fill(clear ? QColor(Qt::transparent) : QColor(Qt::white));
    {
      QPainter painter(&image);
      painter.scale(sx, sy);
      painter.translate(-around.topLeft());
      struct Canvas {
        QPainter& p;
        void Line(const QPen& pen, const QPointF& from, const QPointF& to) {
          p.setPen(pen);
          p.drawLine(from, to);
        }
        void Fill(const QRectF& rect, const QBrush& brush) { p.fillRect(rect, brush); }
      } canvas{painter};
      PaintLineOrBox(canvas, *rec, a, b, pen, box);
    }
    CapturedPicture p;
    p.shape = true;
    p.bytes = Encode(image, out_->imageFormat);
    if (p.bytes.empty()) return 1;
    p.x = around.left();
    p.y = around.top();
    p.width = around.width();
    p.height = around.height();
    Page()->pictures.push_back(std::move(p));
    return 1;
  }
  // x and sizes in screen pixels, y the bottom in printer pixels.
  void Place(const PageOutputState* s, CapturedPicture* p, double x, double y, double w, double h) {
    const double sx = s->screenPpiX > 0 ? s->screenPpiX : 96, sy = s->screenPpiY > 0 ? s->screenPpiY : 96;
    const double py = s->printerResY > 0 ? s->printerResY : 720;
    p->x = PrinterOriginX(s) + x * 720 / sx;
    p->width = w * 720 / sx;
    p->height = h * 720 / sy;
    p->y = y * 720 / py - p->height;
  }

  CapturedDocument* out_;
  std::unique_ptr<PageDriver> measure_;
  PageDriverImageFuncs images_;
  RunMaker maker_;  // lays out the lines not left to the scratch file's thread
  // The line MeasureLine looked at last and its bytes: laid out, or (when
  // the page is to spill) scanned for its fonts, for the OutputLine of the
  // same bytes that follows.
  LaidOutLine laid_;
  std::string laidBytes_;
  bool laidValid_ = false, scannedValid_ = false, scannedFacesKept_ = false;
  // The open page's lines are left to the scratch file's thread, laid out
  // with what the layout read of the state then (see CapturedPage::stream).
  bool deferPage_ = false;
  std::shared_ptr<const PageOutputState> layoutState_;
  WORD fontSize_ = 100;
  double y_ = 0, lineTop_ = 0, lineHeight_ = 0;
  bool pageOpen_ = false, keep_ = true;
};

}  // namespace

void SetExportChartPictureHook(ChartPictureHook hook) { gChartHook = hook; }

// --- the scratch file of finished pages ---

namespace {

// The page's bytes are many short pieces, put through room made ahead.
void PutBytes(Appender* out, const void* p, size_t n) { out->Put(static_cast<const char*>(p), n); }
template <typename T>
void Put(Appender* out, T v) {
  PutBytes(out, &v, sizeof v);
}
// A count or length seven bits a byte, low bits first: most are small.
void PutCount(Appender* out, uint64_t n) {
  char* p = out->Room(10);
  for (; n >= 0x80; n >>= 7) *p++ = static_cast<char>((n & 0x7F) | 0x80);
  *p++ = static_cast<char>(n);
  out->Advance(p);
}
void PutText(Appender* out, const std::string& s) {
  PutCount(out, s.size());
  out->Put(s);
}

// A spilled page read back: its bytes in memory, taken apart with every
// count checked against what is left of them.
class PageBytes {
 public:
  PageBytes(const char* data, size_t size) : at_(data), left_(size) {}
  template <typename T>
  bool Get(T* v) {
    if (left_ < sizeof *v) return false;
    std::memcpy(v, at_, sizeof *v);
    at_ += sizeof *v;
    left_ -= sizeof *v;
    return true;
  }
  bool GetVarint(uint64_t* n) {
    *n = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (left_ == 0) return false;
      const auto b = static_cast<unsigned char>(*at_++);
      --left_;
      *n |= static_cast<uint64_t>(b & 0x7F) << shift;
      if (!(b & 0x80)) return true;
    }
    return false;
  }
  bool GetText(std::string* s) {
    uint64_t n = 0;
    if (!GetVarint(&n) || n > left_) return false;
    s->assign(at_, static_cast<size_t>(n));
    at_ += n;
    left_ -= static_cast<size_t>(n);
    return true;
  }
  // At most as many items as there are bytes left (every one takes some).
  bool GetCount(uint64_t* n) { return GetVarint(n) && *n <= left_; }
  bool AtEnd() const { return left_ == 0; }

 private:
  const char* at_;
  size_t left_;
};

// The page's bytes, ahead of them their count, put at the start of bytes
// (kept at its size from page to page, not cleared for each); returns how
// many. A run's face is the number of the page's face it is, a face new to
// the page written out where it is first numbered.
size_t Serialize(const CapturedPage& page, std::string* bytes, std::vector<const std::string*>* faces) {
  Appender put(bytes, 0);
  Appender* out = &put;
  const size_t head = out->Offset();
  Put<uint64_t>(out, 0);
  faces->clear();
  PutCount(out, page.lines.size());
  for (const CapturedLine& l : page.lines) {
    Put(out, l.y);
    Put(out, l.height);
    Put<int32_t>(out, l.band);
    Put<int32_t>(out, l.layoutLine);
    PutCount(out, l.runs.size());
    for (const CapturedRun& r : l.runs) {
      Put(out, r.x);
      Put(out, r.width);
      PutText(out, r.text);
      size_t face = 0;
      while (face < faces->size() && *(*faces)[face] != r.face) ++face;
      PutCount(out, face);
      if (face == faces->size()) {
        faces->push_back(&r.face);
        PutText(out, r.face);
      }
      Put<int32_t>(out, r.size);
      Put<uint8_t>(out, static_cast<uint8_t>((r.bold ? 1 : 0) | (r.italic ? 2 : 0) | (r.underline ? 4 : 0)));
      Put<uint32_t>(out, static_cast<uint32_t>(r.colour));
    }
  }
  PutCount(out, page.pictures.size());
  for (const CapturedPicture& p : page.pictures) {
    Put(out, p.x);
    Put(out, p.y);
    Put(out, p.width);
    Put(out, p.height);
    PutText(out, p.bytes);
    Put<uint8_t>(out, p.chart ? 1 : p.shape ? 2 : 0);
  }
  const uint64_t size = out->Offset() - head - sizeof(uint64_t);
  std::memcpy(out->At(head), &size, sizeof size);
  return put.Offset();
}

// faces: the page's faces as they are numbered, room kept between pages.
bool Deserialize(PageBytes in, CapturedPage* page, std::vector<std::string>* faces) {
  size_t faceCount = 0;
  uint64_t lines = 0;
  if (!in.GetCount(&lines)) return false;
  page->lines.resize(static_cast<size_t>(lines));
  for (CapturedLine& l : page->lines) {
    int32_t band = 0, layoutLine = 0;
    uint64_t runs = 0;
    if (!in.Get(&l.y) || !in.Get(&l.height) || !in.Get(&band) || !in.Get(&layoutLine) || !in.GetCount(&runs))
      return false;
    l.band = band;
    l.layoutLine = layoutLine;
    l.runs.resize(static_cast<size_t>(runs));
    for (CapturedRun& r : l.runs) {
      int32_t size = 0;
      uint8_t style = 0;
      uint32_t colour = 0;
      uint64_t face = 0;
      if (!in.Get(&r.x) || !in.Get(&r.width) || !in.GetText(&r.text) || !in.GetVarint(&face) || face > faceCount)
        return false;
      if (face == faceCount) {
        if (faces->size() == faceCount) faces->emplace_back();
        if (!in.GetText(&(*faces)[faceCount++])) return false;
      }
      r.face = (*faces)[static_cast<size_t>(face)];
      if (!in.Get(&size) || !in.Get(&style) || !in.Get(&colour)) return false;
      r.size = size;
      r.bold = (style & 1) != 0;
      r.italic = (style & 2) != 0;
      r.underline = (style & 4) != 0;
      r.colour = colour;
    }
  }
  uint64_t pictures = 0;
  if (!in.GetCount(&pictures)) return false;
  page->pictures.resize(static_cast<size_t>(pictures));
  for (CapturedPicture& p : page->pictures) {
    uint8_t chart = 0;
    if (!in.Get(&p.x) || !in.Get(&p.y) || !in.Get(&p.width) || !in.Get(&p.height) || !in.GetText(&p.bytes) ||
        !in.Get(&chart))
      return false;
    p.chart = chart == 1;
    p.shape = chart == 2;
  }
  return in.AtEnd();
}

void Summarize(const CapturedPage& page, double* leftmost, std::set<std::string>* faces) {
  // Runs mostly keep the face of the one before, which the set has already.
  const std::string* last = nullptr;
  for (const CapturedLine& l : page.lines)
    for (const CapturedRun& r : l.runs) {
      if (last == nullptr || *last != r.face) faces->insert(r.face);
      last = &r.face;
      if (!r.text.empty() && (*leftmost < 0 || r.x < *leftmost)) *leftmost = r.x;
    }
}

}  // namespace

// The scratch file and the thread that writes finished pages into it. The
// thread owns the file and the summary of the pages written while it runs;
// the document reads them only once it has waited for the thread.
struct CapturedDocument::Spill {
  // Room for a few pages: writing an export ahead makes the thread wait on
  // the disk at times, which the run should not.
  static constexpr size_t kMaxWaiting = 8;
  struct Closer {
    void operator()(FILE* f) const { std::fclose(f); }
  };
  // The file's buffer: the C library makes one of a few kilobytes itself,
  // whatever size is asked for, unless it is given one. Freed after the file.
  std::unique_ptr<char[]> buffer;
  std::unique_ptr<FILE, Closer> file;
  bool atEnd = true;  // false once reading back moved the file away from its end
  double leftmost = -1;
  std::set<std::string> faces;

  std::mutex mutex;
  std::condition_variable changed;
  // Pages waiting, in order; the first stays until it is written.
  std::deque<CapturedPage> waiting;
  bool writing = false, failed = false, stop = false;
  std::thread thread;

  Ahead* ahead;

  static constexpr size_t kBuffer = size_t{1} << 20;

  Spill(FILE* f, Ahead* a) : buffer(new char[kBuffer]), file(f), ahead(a) {
    // Pages go out and come back a megabyte at a time, not a few kilobytes.
    std::setvbuf(f, buffer.get(), _IOFBF, kBuffer);
    thread = std::thread([this] { Write(); });
  }
  ~Spill() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stop = true;
    }
    changed.notify_all();
    thread.join();
  }

  void Write() {
    std::string bytes;
    std::vector<const std::string*> pageFaces;
    // Lays the pages' lines out; made and ended on this thread, which owns
    // its fonts.
    RunMaker maker;
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      changed.wait(lock, [this] { return stop || (!waiting.empty() && !failed); });
      if (stop) return;
      writing = true;
      CapturedPage& page = waiting.front();  // only this thread takes it off
      lock.unlock();
      maker.Resolve(&page);
      bool ok = atEnd || std::fseek(file.get(), 0, SEEK_END) == 0;
      atEnd = ok;
      if (ok) {
        const size_t size = Serialize(page, &bytes, &pageFaces);
        ok = std::fwrite(bytes.data(), 1, size, file.get()) == size;
      }
      if (ok) Summarize(page, &leftmost, &faces);
      // Only a page in the file is given ahead: one that failed comes back
      // to the document, which gives it at the end.
      if (ok && ahead->visit && ahead->ok) ahead->ok = ahead->visit(ahead->given++, page);
      lock.lock();
      if (!ok) {
        // No page is handed over once this is seen; those waiting are made
        // whole for the document to take back.
        failed = true;
        lock.unlock();
        for (CapturedPage& p : waiting) maker.Resolve(&p);
        lock.lock();
      }
      writing = false;
      // A page that failed stays waiting, with those after it, for the
      // document to take back; the part of it written is never read.
      if (ok) waiting.pop_front();
      changed.notify_all();
    }
  }
};

namespace {

// The scratch file's pages read back and taken apart on a thread of its
// own, a few pages ahead of the one visited: the writer that visits them
// has its own work to do. The file is the reader's until it is destroyed.
class PageReader {
 public:
  PageReader(FILE* file, size_t count) : file_(file), count_(count) {
    thread_ = std::thread([this] { Read(); });
  }
  ~PageReader() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  PageReader(const PageReader&) = delete;
  PageReader& operator=(const PageReader&) = delete;

  // The next page in order, kept until Done; null when it cannot be read.
  const CapturedPage* Next() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return ready_ > done_ || failed_; });
    return ready_ > done_ ? &slots_[done_ % kSlots] : nullptr;
  }
  void Done() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++done_;
    }
    changed_.notify_all();
  }

 private:
  static constexpr size_t kSlots = 3;

  void Read() {
    std::string bytes;
    for (size_t i = 0; i < count_; ++i) {
      {
        // The slot the visitor holds is never the one filled.
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || i - done_ < kSlots; });
        if (stop_) return;
      }
      const bool ok = ReadPage(&bytes, &slots_[i % kSlots]);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (ok) ready_ = i + 1;
        else failed_ = true;
      }
      changed_.notify_all();
      if (!ok) return;
    }
  }

  bool ReadPage(std::string* bytes, CapturedPage* page) {
    uint64_t size = 0;
    // A page is far smaller; a count beyond this is a damaged file.
    if (std::fread(&size, sizeof size, 1, file_) != 1 || size > (uint64_t{1} << 31)) return false;
    bytes->resize(static_cast<size_t>(size));
    if (size > 0 && std::fread(&(*bytes)[0], 1, bytes->size(), file_) != bytes->size()) return false;
    return Deserialize(PageBytes(bytes->data(), bytes->size()), page, &faces_);
  }

  FILE* file_;
  const size_t count_;
  CapturedPage slots_[kSlots];
  std::vector<std::string> faces_;  // of the page being read
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t ready_ = 0, done_ = 0;  // pages read, and those the visitor is done with
  bool failed_ = false, stop_ = false;
  std::thread thread_;
};

}  // namespace

CapturedDocument::CapturedDocument() = default;
CapturedDocument::~CapturedDocument() = default;

const std::deque<CapturedPage>* CapturedDocument::WaitForSpill() const {
  static const std::deque<CapturedPage> kNone;
  if (!spill_) return &kNone;
  std::unique_lock<std::mutex> lock(spill_->mutex);
  spill_->changed.wait(lock, [this] { return !spill_->writing && (spill_->waiting.empty() || spill_->failed); });
  return &spill_->waiting;
}

bool CapturedDocument::SpillFinishedPages() {
  if (pages.empty()) return true;
  if (!spill_) {
    FILE* f = std::tmpfile();
    if (f == nullptr) return false;
    spill_ = std::make_unique<Spill>(f, &ahead_);
  }
  Spill& s = *spill_;
  size_t handed = 0;
  bool failed = false;
  {
    std::unique_lock<std::mutex> lock(s.mutex);
    for (; handed < pages.size(); ++handed) {
      s.changed.wait(lock, [&s] { return s.failed || s.waiting.size() < Spill::kMaxWaiting; });
      if (s.failed) break;
      s.waiting.push_back(std::move(pages[handed]));
      ++spilled_;
      s.changed.notify_all();
    }
    failed = s.failed;
  }
  pages.erase(pages.begin(), pages.begin() + static_cast<long>(handed));
  if (!failed) return true;
  // The pages not written come back ahead of those not handed over, and no
  // more move.
  WaitForSpill();
  std::deque<CapturedPage>& back = s.waiting;
  pages.insert(pages.begin(), std::make_move_iterator(back.begin()), std::make_move_iterator(back.end()));
  spilled_ -= back.size();
  back.clear();
  spillPages = false;
  return false;
}

bool CapturedDocument::ForEachPage(const std::function<bool(size_t, const CapturedPage&)>& visit) const {
  size_t index = 0;
  // Pages a failed write left waiting follow those in the file.
  const std::deque<CapturedPage>& unwritten = *WaitForSpill();
  const size_t written = spilled_ - unwritten.size();
  if (written > 0) {
    FILE* f = spill_->file.get();
    spill_->atEnd = false;
    if (std::fflush(f) != 0 || std::fseek(f, 0, SEEK_SET) != 0) return false;
    PageReader reader(f, written);
    for (; index < written; ++index) {
      const CapturedPage* page = reader.Next();
      if (page == nullptr || !visit(index, *page)) return false;
      reader.Done();
    }
  }
  for (const CapturedPage& page : unwritten)
    if (!visit(index++, page)) return false;
  for (const CapturedPage& page : pages)
    if (!visit(index++, page)) return false;
  return true;
}

bool CapturedDocument::SetPagesAhead(PageVisit visit) {
  if (spill_) return false;
  ahead_ = Ahead();
  ahead_.visit = std::move(visit);
  return true;
}

bool CapturedDocument::FinishPagesAhead() {
  const std::deque<CapturedPage>& unwritten = *WaitForSpill();
  Ahead& a = ahead_;
  bool ok = a.visit && a.ok && a.given == spilled_ - unwritten.size();
  for (const CapturedPage& page : unwritten) ok = ok && a.visit(a.given++, page);
  for (const CapturedPage& page : pages) ok = ok && a.visit(a.given++, page);
  StopPagesAhead();
  return ok;
}

void CapturedDocument::StopPagesAhead() {
  if (spill_) {
    WaitForSpill();
    // The thread reads the visit only while it writes a page, and none is
    // handed over while this runs.
    std::lock_guard<std::mutex> lock(spill_->mutex);
    ahead_.visit = nullptr;
  } else {
    ahead_.visit = nullptr;
  }
}

double CapturedDocument::LeftmostText() const {
  double left = -1;
  std::set<std::string> faces;
  for (const CapturedPage& p : *WaitForSpill()) Summarize(p, &left, &faces);
  if (spill_ && spill_->leftmost >= 0 && (left < 0 || spill_->leftmost < left)) left = spill_->leftmost;
  for (const CapturedPage& p : pages) Summarize(p, &left, &faces);
  return left;
}

std::set<std::string> CapturedDocument::Faces() const {
  double left = -1;
  std::set<std::string> faces;
  for (const CapturedPage& p : *WaitForSpill()) Summarize(p, &left, &faces);
  if (spill_) faces.insert(spill_->faces.begin(), spill_->faces.end());
  for (const CapturedPage& p : pages) Summarize(p, &left, &faces);
  return faces;
}

PageDriver* CreatePageCaptureDriver(CapturedDocument* out) { return new CaptureDriver(out); }
