#include "platform/printer/pdf_file_writer.h"

#include "platform/printer/appender.h"
#include "platform/printer/line_layout.h"
#include "platform/printer/page_record.h"
#include "platform/printer/pdf_content_reader.h"
#include "platform/win/codepage_text.h"
#include "platform/win/file_replace.h"

#include <QByteArray>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <iterator>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <libdeflate.h>
#include <unistd.h>

namespace {

// The twelve standard text fonts: family * 4 + (bold ? 1 : 0) + (italic ? 2 : 0).
const char* const kBaseFonts[12] = {
    "Helvetica",   "Helvetica-Bold", "Helvetica-Oblique", "Helvetica-BoldOblique",
    "Times-Roman", "Times-Bold",     "Times-Italic",      "Times-BoldItalic",
    "Courier",     "Courier-Bold",   "Courier-Oblique",   "Courier-BoldOblique"};

// Characters 0x80-0x9F of Windows-1252; 0 where the code page has none.
const char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

int FamilyOf(const QString& family) {
  static const char* const kNames[3][3] = {{"Liberation Sans", "Arial", "Helvetica"},
                                           {"Liberation Serif", "Times New Roman", "Times"},
                                           {"Liberation Mono", "Courier New", "Courier"}};
  for (int f = 0; f < 3; ++f)
    for (const char* n : kNames[f])
      if (family.compare(QLatin1String(n), Qt::CaseInsensitive) == 0) return f;
  return -1;
}

// The standard font a face is written with, or -1 when it has none.
int StandardFontOf(const QFont& font) {
  if (font.underline() || font.strikeOut() || font.overline()) return -1;
  if (font.letterSpacing() != 0 || font.wordSpacing() != 0 || (font.stretch() > 0 && font.stretch() != 100))
    return -1;
  if (font.capitalization() != QFont::MixedCase) return -1;
  int family = FamilyOf(font.family());
  if (family < 0) return -1;
  bool bold = font.weight() >= QFont::DemiBold;
  bool italic = font.style() != QFont::StyleNormal;
  return family * 4 + (bold ? 1 : 0) + (italic ? 2 : 0);
}

int Cp1252Byte(char16_t c) {
  if (c >= 0x20 && c < 0x7F) return c;
  if (c >= 0xA0 && c <= 0xFF) return c;
  for (int i = 0; i < 32; ++i)
    if (kCp1252High[i] && kCp1252High[i] == c) return 0x80 + i;
  return -1;
}

bool Opaque(const QColor& c) { return c.isValid() && c.alpha() == 255; }

// Size of the font in decipoints: the driver sets pixel sizes in decipoints.
double FontSize(const QFont& font) {
  if (font.pixelSize() > 0) return font.pixelSize();
  return font.pointSizeF() > 0 ? font.pointSizeF() * 10.0 : 100.0;
}

// The number of hundredths n with at most two decimals and a blank after it
// (a page's content is mostly numbers), written two digits at a time at p,
// which has room for 24; where it ends.
char* HundredthsAt(char* p, long long n) {
  static const char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  // A sign, 17 whole digits at most, a point, two decimals and the blank.
  unsigned long long u = static_cast<unsigned long long>(n);
  if (n < 0) {
    *p++ = '-';
    u = 0ULL - u;
  }
  unsigned long long whole = u / 100;
  const unsigned frac = static_cast<unsigned>(u - whole * 100);
  int digits = 1;
  for (unsigned long long ten = 10; digits < 17 && whole >= ten; ten *= 10) ++digits;
  char* const end = p + digits;
  char* q = end;
  while (whole >= 100) {
    const unsigned two = static_cast<unsigned>(whole % 100);
    whole /= 100;
    q -= 2;
    std::memcpy(q, kPairs + 2 * two, 2);
  }
  if (whole >= 10) {
    std::memcpy(q - 2, kPairs + 2 * whole, 2);
  } else {
    q[-1] = static_cast<char>('0' + whole);
  }
  p = end;
  if (frac) {
    *p++ = '.';
    *p++ = kPairs[2 * frac];
    if (frac % 10) *p++ = kPairs[2 * frac + 1];
  }
  *p++ = ' ';
  return p;
}

void PutHundredths(Appender& a, long long n) { a.Advance(HundredthsAt(a.Room(24), n)); }

// The texts of numbers written lately, by a hash of the number: where texts
// are placed, and by how much they move, repeats from line to line and page
// to page.
class NumberTexts {
 public:
  NumberTexts() {
    for (Entry& e : entries_) e.size = static_cast<unsigned char>(HundredthsAt(e.text, e.n) - e.text);
  }
  void Put(Appender& a, long long n) {
    Entry& e = entries_[(static_cast<unsigned long long>(n) * 0x9E3779B97F4A7C15ULL) >> (64 - kBits)];
    if (e.n != n) {
      e.n = n;
      e.size = static_cast<unsigned char>(HundredthsAt(e.text, n) - e.text);
    }
    char* p = a.Room(sizeof e.text);
    std::memcpy(p, e.text, sizeof e.text);  // the whole room: one fixed-size copy
    a.Advance(p + e.size);
  }

 private:
  static constexpr int kBits = 9;
  struct Entry {
    long long n = 0;
    unsigned char size = 0;
    char text[24] = {};
  };
  Entry entries_[1 << kBits];
};

long long Hundredths(double v) { return RoundHalfAway(v * 100.0); }

void Num(Appender& a, double v) { PutHundredths(a, Hundredths(v)); }

void Num(std::string* out, double v) {
  Appender a(out);
  Num(a, v);
  a.Done();
}

void Colour(Appender& a, const QColor& c, const char* op) {
  Num(a, c.red() / 255.0);
  Num(a, c.green() / 255.0);
  Num(a, c.blue() / 255.0);
  a.Put(op, 2);
  a.Put('\n');
}

bool PenWritable(const QPen& pen) {
  if (pen.style() == Qt::NoPen) return true;
  if (pen.style() == Qt::CustomDashLine) return false;
  if (pen.brush().style() != Qt::SolidPattern) return false;
  // The pen works its dash pattern out on first asking and keeps it; asked
  // here, on the page's own thread, the writer's thread only reads it.
  if (pen.style() != Qt::SolidLine) (void)pen.dashPattern();
  return Opaque(pen.color());
}

bool BrushWritable(const QBrush& brush) {
  return brush.style() == Qt::NoBrush || (brush.style() == Qt::SolidPattern && Opaque(brush.color()));
}

}  // namespace

namespace {

// What each character below 0x100, and each stream byte plain and in the
// line-draw face, is written as inside a string: its byte (see Cp1252Byte),
// plus kEscaped where a backslash goes before it; -1 where the standard
// fonts' encoding has no such character.
constexpr short kEscaped = 0x100;
struct PdfStringBytes {
  short ofChar[256];
  short ofStream[2][256];
  static short Of(char16_t c) {
    const int b = Cp1252Byte(c);
    return static_cast<short>(b == '(' || b == ')' || b == '\\' ? b | kEscaped : b);
  }
  PdfStringBytes() {
    for (int b = 0; b < 256; ++b) {
      ofChar[b] = Of(static_cast<char16_t>(b));
      for (int draw = 0; draw < 2; ++draw) {
        const BYTE byte = static_cast<BYTE>(b);
        QChar c;
        PutStreamText(&c, &byte, 1, draw != 0);
        ofStream[draw][b] = Of(c.unicode());
      }
    }
  }
};

const PdfStringBytes& StringBytes() {
  static const PdfStringBytes kBytes;
  return kBytes;
}

// Whether the 8 bytes at p are all printable ASCII other than the three a
// string escapes, which stand for themselves in a string of a plain face:
// eight tested at once (each test is exact for the word as a whole).
bool PlainAscii8(const BYTE* p) {
  constexpr uint64_t kOnes = 0x0101010101010101ULL, kHigh = 0x8080808080808080ULL;
  uint64_t x;
  std::memcpy(&x, p, 8);
  auto zeroByte = [](uint64_t v) { return (v - kOnes) & ~v & kHigh; };
  const uint64_t below = (x - kOnes * 0x20) & ~x & kHigh;  // a byte under 0x20
  const uint64_t above = ((x + kOnes * (127 - 0x7E)) | x) & kHigh;  // a byte over 0x7E
  return !(below | above | zeroByte(x ^ (kOnes * '(')) | zeroByte(x ^ (kOnes * ')')) |
           zeroByte(x ^ (kOnes * '\\')));
}

// QColor's own comparison is a library call; a page's texts are mostly one
// colour, copied from one value.
bool SameColour(const QColor& a, const QColor& b) {
  // The same bytes are the same spec.
  if (std::memcmp(&a, &b, sizeof(QColor)) == 0 && a.spec() == QColor::Rgb) return true;
  return a == b;
}

// The text operators of a content stream, with the state a text carries
// over from the one before.
class TextWriter {
 public:
  TextWriter(Appender& a, NumberTexts* numbers) : a_(a), numbers_(numbers) {}
  // Opens the text's string at x, y (hundredths) in the font known by key
  // (standard font s, size in decipoints, asked for only when the font
  // changes) and colour; false when checkOpaque and a colour it changes to
  // is not opaque.
  template <class FontOf>
  bool Open(const void* key, FontOf fontOf, const QColor& colour, long long x, long long y, bool* usedFonts,
            bool checkOpaque) {
    if (!inText_) {
      a_.Put("BT\n");
      inText_ = true;
      placed_ = false;
      font_ = nullptr;
    }
    if (key != font_) {
      int s;
      double size;
      fontOf(&s, &size);
      usedFonts[s] = true;
      a_.Put("/F");
      if (s >= 10) a_.Put('1');
      a_.Put(static_cast<char>('0' + s % 10));
      a_.Put(' ');
      Num(a_, size);
      a_.Put("Tf\n");
      font_ = key;
    }
    if (!SameColour(colour, fill_)) {
      if (checkOpaque && !Opaque(colour)) return false;
      Colour(a_, colour, "rg");
      fill_ = colour;
    }
    if (placed_ && y == lastY_) {
      numbers_->Put(a_, x - lastX_);
      a_.Put("0 Td (");
    } else {
      a_.Put("1 0 0 -1 ");
      numbers_->Put(a_, x);
      numbers_->Put(a_, y);
      a_.Put("Tm (");
      placed_ = true;
    }
    lastX_ = x;
    lastY_ = y;
    return true;
  }
  void Close() { a_.Put(")Tj\n"); }
  void End() {
    if (inText_) {
      a_.Put("ET\n");
      inText_ = false;
    }
  }
  void SetFill(const QColor& colour) {
    if (!SameColour(colour, fill_)) {
      Colour(a_, colour, "rg");
      fill_ = colour;
    }
  }

 private:
  Appender& a_;
  NumberTexts* numbers_;
  bool inText_ = false, placed_ = false;
  long long lastX_ = 0, lastY_ = 0;
  const void* font_ = nullptr;
  QColor fill_;  // the nonstroking colour in force; invalid at first
};

}  // namespace

// Reads a page's steps for the writer.
class PdfPageWriter {
 public:
  // deferredToo: the page's deferred lines count as their maker judged
  // them; otherwise they are left to Content, which checks their text.
  static bool CanWrite(const PageRecord& page, bool deferredToo = true) {
    for (const QFont& f : page.fonts_)
      if (StandardFontOf(f) < 0) return false;
    const PdfStringBytes& bytes = StringBytes();
    for (const PageRecord::TextStep& t : page.texts_) {
      if (!Opaque(t.colour)) return false;
      for (QChar c : t.View()) {
        const char16_t u = c.unicode();
        if ((u < 0x100 ? bytes.ofChar[u] : Cp1252Byte(u)) < 0) return false;
      }
    }
    for (const PageRecord::LineStep& l : page.lines_)
      if (!PenWritable(l.pen)) return false;
    for (const PageRecord::FillStep& f : page.fills_)
      if (!BrushWritable(f.brush)) return false;
    if (deferredToo)
      for (const PageRecord::DeferredStep& d : page.deferred_)
        if (!d.pdfWritable) return false;
    return page.images_.empty() && page.foreign_.empty();
  }

  // The page's content stream in decipoints from the paper's top-left
  // corner, the first *size characters of out (whose room is kept and
  // written over); usedFonts marks the standard fonts the page names. A
  // text on the line of the one before is placed by its move from it, in
  // whole hundredths; a line's first text is placed where it is, so that
  // what a reader adds up in floating point starts afresh each line.
  // Deferred lines are laid out here with fonts, their pieces written as
  // the Text steps ResolveLines would make of them; false when one has text
  // the standard fonts cannot write (nothing is then to be written).
  static bool Content(const PageRecord& page, double paperHeightDp, DriverFontCache* fonts, NumberTexts* numbers,
                      std::string* out, size_t* size, bool* usedFonts) {
    const PdfStringBytes& stringBytes = StringBytes();
    std::vector<int> standard;
    for (const QFont& f : page.fonts_) standard.push_back(StandardFontOf(f));
    // The standard font and size of each font of the deferred lines.
    struct PieceFont {
      const DriverFont* font;
      int standard;
      double size;
    };
    std::vector<PieceFont> pieceFonts;
    int pieceFont = -1;  // the last piece's
    LaidOutLine laid;
    LineFontMemo lineFont;  // the page keeps its states as they are
    Appender a(out, 0);
    a.Put("0.1 0 0 -0.1 0 ");
    Num(a, paperHeightDp / 10.0);
    a.Put("cm\n");
    TextWriter text(a, numbers);
    for (const PageRecord::Step& step : page.steps_) {
      switch (step.kind) {
        case PageRecord::Kind::kText: {
          const PageRecord::TextStep& t = page.texts_[step.index];
          if (t.length <= 0) break;
          const QFont& font = page.fonts_[t.font];
          text.Open(
              &font,
              [&](int* s, double* dp) {
                *s = standard[t.font];
                *dp = FontSize(font);
              },
              t.colour, Hundredths(t.at.x()), Hundredths(t.at.y()), usedFonts, false);
          char* p = a.Room(2 * static_cast<size_t>(t.length));
          for (QChar qc : t.View()) {
            const char16_t c = qc.unicode();
            const int b = c < 0x100 ? stringBytes.ofChar[c] : PdfStringBytes::Of(c);
            if (b & kEscaped) *p++ = '\\';
            *p++ = static_cast<char>(b);
          }
          a.Advance(p);
          text.Close();
          break;
        }
        case PageRecord::Kind::kDeferred: {
          if (!fonts) break;  // refused by AddPage
          const PageRecord::DeferredStep& d = page.deferred_[step.index];
          const auto* line = reinterpret_cast<const BYTE*>(page.deferredBytes_.data()) + d.offset;
          LayoutStreamLineBytes(page.states_[d.state].get(), fonts, line, d.count, &laid, &lineFont);
          for (const LaidOutPiece& piece : laid.pieces) {
            if (piece.length <= 0) continue;
            if (pieceFont < 0 || pieceFonts[pieceFont].font != piece.font) {
              pieceFont = -1;
              for (size_t f = 0; f < pieceFonts.size(); ++f)
                if (pieceFonts[f].font == piece.font) pieceFont = static_cast<int>(f);
              if (pieceFont < 0) {
                pieceFont = static_cast<int>(pieceFonts.size());
                pieceFonts.push_back({piece.font, StandardFontOf(piece.font->font), FontSize(piece.font->font)});
              }
            }
            const PieceFont& pf = pieceFonts[pieceFont];
            if (pf.standard < 0) return false;
            // Colours of a line are made opaque; checked as CanWrite does
            // all the same, where the colour changes.
            if (!text.Open(
                    piece.font,
                    [&](int* s, double* dp) {
                      *s = pf.standard;
                      *dp = pf.size;
                    },
                    piece.colour, Hundredths(piece.x), Hundredths(d.y + piece.baseline), usedFonts, true))
              return false;
            const short* table = stringBytes.ofStream[piece.lineDraw ? 1 : 0];
            const BYTE* from = line + piece.start;
            char* p = a.Room(2 * static_cast<size_t>(piece.length) + 8);
            int i = 0;
            if (!piece.lineDraw)
              for (; i + 8 <= piece.length && PlainAscii8(from + i); i += 8, p += 8) std::memcpy(p, from + i, 8);
            for (; i < piece.length; ++i) {
              // Mostly a byte as it is: one test for the others.
              unsigned b = static_cast<unsigned short>(table[from[i]]);
              if (b > 0xFF) {
                if (b > (0xFF | kEscaped)) return false;  // -1
                *p++ = '\\';
              }
              *p++ = static_cast<char>(b);
            }
            a.Advance(p);
            text.Close();
          }
          break;
        }
        case PageRecord::Kind::kLine: {
          const PageRecord::LineStep& l = page.lines_[step.index];
          if (l.pen.style() == Qt::NoPen) break;
          text.End();
          double w = l.pen.widthF();
          Num(a, w);
          a.Put("w ");
          a.Put(l.pen.capStyle() == Qt::RoundCap ? "1 J " : l.pen.capStyle() == Qt::SquareCap ? "2 J " : "0 J ", 4);
          a.Put('[');
          if (l.pen.style() != Qt::SolidLine) {
            double unit = w > 0 ? w : 1;
            for (qreal dash : l.pen.dashPattern()) Num(a, dash * unit);
          }
          a.Put("] 0 d\n");
          Colour(a, l.pen.color(), "RG");
          Num(a, l.from.x());
          Num(a, l.from.y());
          a.Put("m ");
          Num(a, l.to.x());
          Num(a, l.to.y());
          a.Put("l S\n");
          break;
        }
        case PageRecord::Kind::kFill: {
          const PageRecord::FillStep& f = page.fills_[step.index];
          if (f.brush.style() == Qt::NoBrush) break;
          text.End();
          text.SetFill(f.brush.color());
          QRectF r = f.rect.normalized();
          Num(a, r.x());
          Num(a, r.y());
          Num(a, r.width());
          Num(a, r.height());
          a.Put("re f\n");
          break;
        }
        case PageRecord::Kind::kImage:
        case PageRecord::Kind::kForeign:
          break;  // refused by CanWrite
      }
    }
    text.End();
    *size = a.Offset();
    return true;
  }
};

bool PdfFileCanWrite(const PageRecord& page) { return PdfPageWriter::CanWrite(page); }
bool PdfFileCanWriteFont(const QFont& font) { return StandardFontOf(font) >= 0; }
bool PdfFileCanWriteChar(char16_t c) { return Cp1252Byte(c) >= 0; }

namespace {

// The title (UTF-8) as a PDF text string: plain ASCII as it is, anything
// else as UTF-16.
std::string PdfTextString(const std::string& s) {
  bool ascii = true;
  for (unsigned char c : s) ascii = ascii && c >= 0x20 && c < 0x7F;
  if (ascii) {
    std::string out = "(";
    for (char c : s) {
      if (c == '(' || c == ')' || c == '\\') out.push_back('\\');
      out.push_back(c);
    }
    return out + ")";
  }
  std::string out = "<FEFF";
  char hex[16];
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const auto* end = p + s.size();
  while (p < end) {
    uint32_t cp = *p;
    int n = 1;
    if (cp >= 0x80) {
      n = DecodeUtf8(p, end, &cp);
      if (n <= 0) {
        n = 1;
        cp = u'?';
      }
    }
    p += n;
    if (cp < 0x20) cp = u' ';
    if (cp > 0xFFFF) {
      cp -= 0x10000;
      std::snprintf(hex, sizeof hex, "%04X%04X", 0xD800u + (cp >> 10), 0xDC00u + (cp & 0x3FF));
    } else {
      std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(cp));
    }
    out += hex;
  }
  return out + ">";
}

// Compression level of the page contents.
constexpr int kCompressLevel = 1;
// Objects: 1 catalog, 2 page tree, 3 information, 4 resources, then a page
// and its content for each page, then the fonts used.
constexpr size_t kFirstPage = 5;

// Appends the decimal digits of n.
void Decimal(std::string* out, size_t n) {
  char buf[24];
  char* p = buf + sizeof buf;
  do {
    *--p = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n != 0);
  out->append(p, static_cast<size_t>(buf + sizeof buf - p));
}

}  // namespace

struct PdfFileWriter::Numbers : NumberTexts {};

struct PdfFileWriter::Deflater {
  libdeflate_compressor* packer = nullptr;
  // The stream is the first size bytes; the room beyond is kept, so that
  // the next page's is not cleared again.
  std::vector<unsigned char> out;
  size_t size = 0;
  ~Deflater() { libdeflate_free_compressor(packer); }
  // The zlib stream of size bytes at data, in out; false when it cannot be
  // made. One call a page: the whole content is at hand, and this packer
  // takes half the time zlib does at its fastest level for a smaller file.
  bool Pack(const char* data, size_t size) {
    if (!packer) packer = libdeflate_alloc_compressor(kCompressLevel);
    if (!packer) return false;
    const size_t bound = libdeflate_zlib_compress_bound(packer, size);
    if (out.size() < bound) out.resize(bound);
    this->size = libdeflate_zlib_compress(packer, data, size, out.data(), bound);
    return this->size != 0;
  }
};

// The pages waiting for the writer's thread, at most a few so that memory
// stays flat when the file is slower than the report. A writer that caught
// up sleeps until a few pages wait, not woken for every page.
struct PdfFileWriter::Background {
  static constexpr size_t kMaxWaiting = 6;
  static constexpr size_t kWakeAt = 3;
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::shared_ptr<PageRecord>> waiting;
  // Written pages, released by the caller: a page's fonts belong to the
  // thread that made them.
  std::vector<std::shared_ptr<const PageRecord>> written;
  bool writing = false, stop = false, failed = false;
  bool draining = false;  // every waiting page is wanted written now
  std::thread thread;
};

PdfFileWriter::PdfFileWriter() = default;
PdfFileWriter::~PdfFileWriter() { Abandon(); }

bool PdfFileWriter::AddPageInBackground(std::shared_ptr<PageRecord> page) {
  if (!file_ || !page) return false;
  if (!background_) {
    if (!ok_) return false;
    background_ = std::make_unique<Background>();
    Background* b = background_.get();
    b->thread = std::thread([this, b] {
      // Fonts of the lines laid out here: made, used and released on this
      // thread. Font keys of a page are the fonts of one cache.
      DriverFontCache fonts;
      std::unique_lock<std::mutex> lock(b->mutex);
      for (;;) {
        if (b->waiting.empty()) {
          b->changed.wait(lock, [b] {
            return b->stop || b->waiting.size() >= (b->draining ? 1 : Background::kWakeAt);
          });
          if (b->waiting.empty()) return;
        }
        std::shared_ptr<PageRecord> next = std::move(b->waiting.front());
        b->waiting.pop_front();
        b->writing = true;
        lock.unlock();
        bool ok = !b->failed;
        if (ok && next->HasDeferredLines()) {
          // The lines are laid out as they are written. Judged writable by
          // their maker; were that wrong, the file fails rather than come
          // out wrong.
          ok = PdfPageWriter::CanWrite(*next, false) && WritePage(*next, &fonts);
          if (!ok) ok_ = false;
          next->Clear();
        } else {
          ok = ok && WritePage(*next);
        }
        lock.lock();
        if (!ok) b->failed = true;
        b->written.push_back(std::move(next));
        b->writing = false;
        b->changed.notify_all();
      }
    });
  }
  Background* b = background_.get();
  std::vector<std::shared_ptr<const PageRecord>> release;
  bool wake = false;
  {
    std::unique_lock<std::mutex> lock(b->mutex);
    b->changed.wait(lock, [b] { return b->failed || b->waiting.size() < Background::kMaxWaiting; });
    release.swap(b->written);
    if (b->failed) return false;
    b->waiting.push_back(std::move(page));
    wake = b->waiting.size() >= Background::kWakeAt;
  }
  if (wake) b->changed.notify_all();
  return true;
}

void PdfFileWriter::Drain() {
  if (!background_) return;
  Background* b = background_.get();
  std::vector<std::shared_ptr<const PageRecord>> release;
  std::unique_lock<std::mutex> lock(b->mutex);
  b->draining = true;
  b->changed.notify_all();
  b->changed.wait(lock, [b] { return b->waiting.empty() && !b->writing; });
  b->draining = false;
  release.swap(b->written);
}

void PdfFileWriter::StopBackground() {
  if (!background_) return;
  Drain();
  {
    std::lock_guard<std::mutex> lock(background_->mutex);
    background_->stop = true;
  }
  background_->changed.notify_all();
  background_->thread.join();
  background_.reset();
}

void PdfFileWriter::Put(const char* s, size_t n) {
  if (ok_ && std::fwrite(s, 1, n, file_) != n) ok_ = false;
  offset_ += n;
}

void PdfFileWriter::Begin(size_t object) {
  if (offsets_.size() <= object) offsets_.resize(object + 1, 0);
  offsets_[object] = offset_;
  std::string head;
  Decimal(&head, object);
  head.append(" 0 obj\n");
  Put(head);
}

void PdfFileWriter::End() { Put("\nendobj\n", 8); }

bool PdfFileWriter::Open(const std::string& path, const std::string& title, double paperWidthDp,
                         double paperHeightDp) {
  Abandon();
  replacement_ = std::make_unique<FileReplacement>();
  file_ = replacement_->Begin(path, false) ? replacement_->TakeStream() : nullptr;
  if (!file_) {
    replacement_.reset();
    return false;
  }
  buffer_.resize(1 << 16);
  std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
  ok_ = true;
  offset_ = 0;
  offsets_.clear();
  contentSizes_.clear();
  pages_ = 0;
  paperW_ = paperWidthDp;
  paperH_ = paperHeightDp;
  std::fill(std::begin(usedFonts_), std::end(usedFonts_), false);
  box_ = "[0 0 ";
  Num(&box_, paperW_ / 10.0);
  Num(&box_, paperH_ / 10.0);
  box_.back() = ']';

  Put("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
  Begin(1);
  Put("<< /Type /Catalog /Pages 2 0 R >>");
  End();
  // The page tree, object 2, is written at the end, when its pages are known.
  Begin(3);
  Put("<< /Title " + PdfTextString(title) + " /Creator (VORTELLE) /Producer (VORTELLE) >>");
  End();
  return ok_;
}

bool PdfFileWriter::AddPage(const PageRecord& page) {
  StopBackground();
  if (!file_ || !ok_) return false;
  if (!PdfPageWriter::CanWrite(page) || page.HasDeferredLines()) return false;
  return WritePage(page);
}

bool PdfFileWriter::WritePage(const PageRecord& page, DriverFontCache* fonts) {
  const size_t n = kFirstPage + 2 * pages_;
  std::string head;
  Begin(n);
  head.append("<< /Type /Page /Parent 2 0 R /MediaBox ");
  head.append(box_);
  head.append(" /Resources 4 0 R /Contents ");
  Decimal(&head, n + 1);
  head.append(" 0 R >>");
  Put(head);
  End();
  size_t size = 0;
  if (!numbers_) numbers_ = std::make_unique<Numbers>();
  if (!PdfPageWriter::Content(page, paperH_, fonts, numbers_.get(), &content_, &size, usedFonts_))
    return ok_ = false;
  Begin(n + 1);
  head.clear();
  if (kCompressLevel > 0) {
    if (!deflater_) deflater_ = std::make_unique<Deflater>();
    if (!deflater_->Pack(content_.data(), size)) return ok_ = false;
    head.append("<< /Length ");
    Decimal(&head, deflater_->size);
    head.append(" /Filter /FlateDecode >>\nstream\n");
    Put(head);
    Put(reinterpret_cast<const char*>(deflater_->out.data()), deflater_->size);
  } else {
    head.append("<< /Length ");
    Decimal(&head, size);
    head.append(" >>\nstream\n");
    Put(head);
    Put(content_.data(), size);
  }
  Put("\nendstream", 10);
  End();
  contentSizes_.push_back(static_cast<unsigned>(size));
  ++pages_;
  return ok_;
}

bool PdfFileWriter::Finish() {
  StopBackground();
  if (!file_) return false;
  std::string fonts;
  size_t next = kFirstPage + 2 * pages_;
  for (int i = 0; i < 12; ++i) {
    if (!usedFonts_[i]) continue;
    fonts += "/F" + std::to_string(i) + " " + std::to_string(next) + " 0 R ";
    Begin(next++);
    Put(std::string("<< /Type /Font /Subtype /Type1 /BaseFont /") + kBaseFonts[i] +
        " /Encoding /WinAnsiEncoding >>");
    End();
  }
  Begin(4);
  Put("<< /ProcSet [/PDF /Text] /Font << " + fonts + ">> >>");
  End();
  Begin(2);
  std::string tree = "<< /Type /Pages /Count ";
  Decimal(&tree, pages_);
  tree.append(" /Kids [");
  for (size_t i = 0; i < pages_; ++i) {
    Decimal(&tree, kFirstPage + 2 * i);
    tree.append(" 0 R ");
    if (tree.size() > (1 << 15)) {
      Put(tree);
      tree.clear();
    }
  }
  tree.append("] >>");
  Put(tree);
  End();

  const size_t xref = offset_;
  std::string table = "xref\n0 " + std::to_string(offsets_.size()) + "\n0000000000 65535 f \n";
  char entry[24];
  for (size_t i = 1; i < offsets_.size(); ++i) {
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offsets_[i]);
    table += entry;
  }
  table += "trailer\n<< /Size " + std::to_string(offsets_.size()) + " /Root 1 0 R /Info 3 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
  Put(table);
  bool ok = std::fflush(file_) == 0 && ok_;
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  if (ok) ok = replacement_->Commit();
  replacement_.reset();  // an uncommitted file is removed
  return ok;
}

void PdfFileWriter::Abandon() {
  StopBackground();
  if (file_) std::fclose(file_);
  file_ = nullptr;
  replacement_.reset();
}

bool PdfFileWriter::ReadBackPages(const std::function<bool(const PageRecord&)>& visit) {
  StopBackground();
  if (!file_ || !ok_ || std::fflush(file_) != 0) return false;
  const int fd = fileno(file_);
  std::string stream;
  for (size_t i = 0; i < pages_; ++i) {
    const size_t object = kFirstPage + 2 * i + 1;
    const size_t from = offsets_[object];
    const size_t to = object + 1 < offsets_.size() ? offsets_[object + 1] : offset_;
    stream.resize(to - from);
    if (pread(fd, &stream[0], stream.size(), static_cast<off_t>(from)) != static_cast<ssize_t>(stream.size()))
      return false;
    const size_t body = stream.find("stream\n");
    const size_t end = stream.rfind("\nendstream");
    if (body == std::string::npos || end == std::string::npos || end < body + 7) return false;
    QByteArray content;
    if (kCompressLevel > 0) {
      // qUncompress wants the size before compression ahead of the zlib stream.
      const unsigned size = contentSizes_[i];
      QByteArray packed;
      packed.reserve(static_cast<qsizetype>(end - body - 7 + 4));
      packed.append(static_cast<char>(size >> 24)).append(static_cast<char>(size >> 16));
      packed.append(static_cast<char>(size >> 8)).append(static_cast<char>(size));
      packed.append(stream.data() + body + 7, static_cast<qsizetype>(end - body - 7));
      content = qUncompress(packed);
      if (content.size() != static_cast<qsizetype>(size)) return false;
    } else {
      content = QByteArray(stream.data() + body + 7, static_cast<qsizetype>(end - body - 7));
    }
    PageRecord page;
    if (!ReadPdfPageContent(content.constData(), static_cast<size_t>(content.size()), &page))
      return false;
    if (!visit(page)) return false;
  }
  std::fseek(file_, 0, SEEK_END);
  return true;
}

bool WritePdfFile(const std::string& path, const std::string& title, double paperWidthDp,
                  double paperHeightDp, const std::vector<std::shared_ptr<PageRecord>>& pages) {
  PdfFileWriter writer;
  if (!writer.Open(path, title, paperWidthDp, paperHeightDp)) return false;
  for (const std::shared_ptr<PageRecord>& page : pages)
    if (!writer.AddPage(*page)) return false;
  return writer.Finish();
}
