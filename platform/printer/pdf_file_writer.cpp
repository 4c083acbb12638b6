#include "platform/printer/pdf_file_writer.h"

#include "platform/printer/page_record.h"

#include <QByteArray>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
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
  if (font.letterSpacing() != 0 || font.wordSpacing() != 0 || font.stretch() > 0 && font.stretch() != 100)
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

void Num(std::string* out, double v) {
  long long n = std::llround(v * 100.0);
  if (n < 0) {
    out->push_back('-');
    n = -n;
  }
  char buf[32];
  int len = std::snprintf(buf, sizeof buf, "%lld", n / 100);
  out->append(buf, len);
  int frac = static_cast<int>(n % 100);
  if (frac) {
    out->push_back('.');
    out->push_back(static_cast<char>('0' + frac / 10));
    if (frac % 10) out->push_back(static_cast<char>('0' + frac % 10));
  }
  out->push_back(' ');
}

void Colour(std::string* out, const QColor& c, const char* op) {
  Num(out, c.red() / 255.0);
  Num(out, c.green() / 255.0);
  Num(out, c.blue() / 255.0);
  out->append(op);
  out->push_back('\n');
}

bool PenWritable(const QPen& pen) {
  if (pen.style() == Qt::NoPen) return true;
  if (pen.style() == Qt::CustomDashLine) return false;
  if (pen.brush().style() != Qt::SolidPattern) return false;
  return Opaque(pen.color());
}

bool BrushWritable(const QBrush& brush) {
  return brush.style() == Qt::NoBrush || (brush.style() == Qt::SolidPattern && Opaque(brush.color()));
}

}  // namespace

// Reads a page's steps for the writer.
class PdfPageWriter {
 public:
  static bool CanWrite(const PageRecord& page) {
    for (const QFont& f : page.fonts_)
      if (StandardFontOf(f) < 0) return false;
    for (const PageRecord::TextStep& t : page.texts_) {
      if (!Opaque(t.colour)) return false;
      for (QChar c : t.text)
        if (Cp1252Byte(c.unicode()) < 0) return false;
    }
    for (const PageRecord::LineStep& l : page.lines_)
      if (!PenWritable(l.pen)) return false;
    for (const PageRecord::FillStep& f : page.fills_)
      if (!BrushWritable(f.brush)) return false;
    return page.images_.empty() && page.foreign_.empty();
  }

  // The page's content stream in decipoints from the paper's top-left
  // corner; usedFonts marks the standard fonts the page names.
  static void Content(const PageRecord& page, double paperHeightDp, std::string* out, bool* usedFonts) {
    std::vector<int> standard;
    for (const QFont& f : page.fonts_) standard.push_back(StandardFontOf(f));
    out->append("0.1 0 0 -0.1 0 ");
    Num(out, paperHeightDp / 10.0);
    out->append("cm\n");
    bool inText = false;
    int font = -1;
    QColor fillColour;  // the nonstroking colour in force; invalid at first
    for (const PageRecord::Step& step : page.steps_) {
      switch (step.kind) {
        case PageRecord::Kind::kText: {
          const PageRecord::TextStep& t = page.texts_[step.index];
          if (t.text.isEmpty()) break;
          if (!inText) {
            out->append("BT\n");
            inText = true;
            font = -1;
          }
          if (t.font != font) {
            int s = standard[t.font];
            usedFonts[s] = true;
            out->append("/F");
            out->append(std::to_string(s));
            out->push_back(' ');
            Num(out, FontSize(page.fonts_[t.font]));
            out->append("Tf\n");
            font = t.font;
          }
          if (t.colour != fillColour) {
            Colour(out, t.colour, "rg");
            fillColour = t.colour;
          }
          // Text space turned upright again inside the flipped page.
          out->append("1 0 0 -1 ");
          Num(out, t.at.x());
          Num(out, t.at.y());
          out->append("Tm (");
          for (QChar qc : t.text) {
            int b = Cp1252Byte(qc.unicode());
            if (b == '(' || b == ')' || b == '\\') out->push_back('\\');
            out->push_back(static_cast<char>(b));
          }
          out->append(")Tj\n");
          break;
        }
        case PageRecord::Kind::kLine: {
          const PageRecord::LineStep& l = page.lines_[step.index];
          if (l.pen.style() == Qt::NoPen) break;
          if (inText) {
            out->append("ET\n");
            inText = false;
          }
          double w = l.pen.widthF();
          Num(out, w);
          out->append("w ");
          out->append(l.pen.capStyle() == Qt::RoundCap ? "1 J " : l.pen.capStyle() == Qt::SquareCap ? "2 J " : "0 J ");
          out->push_back('[');
          if (l.pen.style() != Qt::SolidLine) {
            double unit = w > 0 ? w : 1;
            for (qreal d : l.pen.dashPattern()) Num(out, d * unit);
          }
          out->append("] 0 d\n");
          Colour(out, l.pen.color(), "RG");
          Num(out, l.from.x());
          Num(out, l.from.y());
          out->append("m ");
          Num(out, l.to.x());
          Num(out, l.to.y());
          out->append("l S\n");
          break;
        }
        case PageRecord::Kind::kFill: {
          const PageRecord::FillStep& f = page.fills_[step.index];
          if (f.brush.style() == Qt::NoBrush) break;
          if (inText) {
            out->append("ET\n");
            inText = false;
          }
          if (f.brush.color() != fillColour) {
            Colour(out, f.brush.color(), "rg");
            fillColour = f.brush.color();
          }
          QRectF r = f.rect.normalized();
          Num(out, r.x());
          Num(out, r.y());
          Num(out, r.width());
          Num(out, r.height());
          out->append("re f\n");
          break;
        }
        case PageRecord::Kind::kImage:
        case PageRecord::Kind::kForeign:
          break;  // refused by CanWrite
      }
    }
    if (inText) out->append("ET\n");
  }
};

bool PdfFileCanWrite(const PageRecord& page) { return PdfPageWriter::CanWrite(page); }

namespace {

// Appends to the file and keeps the byte offset of everything written.
class PdfOut {
 public:
  explicit PdfOut(FILE* f) : file_(f) {}
  void Put(const std::string& s) { Put(s.data(), s.size()); }
  void Put(const char* s) { Put(s, std::strlen(s)); }
  void Put(const char* s, size_t n) {
    if (ok_ && std::fwrite(s, 1, n, file_) != n) ok_ = false;
    offset_ += n;
  }
  // Starts object number n (numbers are handed out in order of writing or
  // reserved ahead; offsets are filled in as each is written).
  void Begin(size_t n) {
    if (offsets_.size() <= n) offsets_.resize(n + 1, 0);
    offsets_[n] = offset_;
    Put(std::to_string(n) + " 0 obj\n");
  }
  void End() { Put("\nendobj\n"); }
  bool ok() const { return ok_; }
  size_t offset() const { return offset_; }
  const std::vector<size_t>& offsets() const { return offsets_; }

 private:
  FILE* file_;
  bool ok_ = true;
  size_t offset_ = 0;
  std::vector<size_t> offsets_;
};

// The title, in the program's code page, as a PDF text string: plain ASCII
// as it is, anything else as UTF-16 (the document encoding of PDF strings
// differs from the code page at 0x80-0x9F).
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
  char hex[8];
  for (unsigned char c : s) {
    char16_t u = c;
    if (c < 0x20) u = u' ';
    else if (c >= 0x80 && c <= 0x9F) u = kCp1252High[c - 0x80] ? kCp1252High[c - 0x80] : u'?';
    std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(u));
    out += hex;
  }
  return out + ">";
}

// zlib level of the page contents.
constexpr int kCompressLevel = 1;

bool WriteTo(FILE* f, const std::string& title, double paperW, double paperH,
             const std::vector<std::shared_ptr<PageRecord>>& pages) {
  PdfOut out(f);
  // Objects: 1 catalog, 2 page tree, 3 information, 4 resources, then a
  // page and its content for each page, then the fonts used.
  const size_t kFirstPage = 5;
  const size_t fontBase = kFirstPage + 2 * pages.size();
  out.Put("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
  out.Begin(1);
  out.Put("<< /Type /Catalog /Pages 2 0 R >>");
  out.End();
  std::string kids;
  for (size_t i = 0; i < pages.size(); ++i) kids += std::to_string(kFirstPage + 2 * i) + " 0 R ";
  out.Begin(2);
  out.Put("<< /Type /Pages /Count " + std::to_string(pages.size()) + " /Kids [" + kids + "] >>");
  out.End();
  out.Begin(3);
  out.Put("<< /Title " + PdfTextString(title) + " /Creator (VORTELLE) /Producer (VORTELLE) >>");
  out.End();

  std::string box = "[0 0 ";
  Num(&box, paperW / 10.0);
  Num(&box, paperH / 10.0);
  box.back() = ']';
  bool used[12] = {};
  std::string content;
  for (size_t i = 0; i < pages.size(); ++i) {
    size_t n = kFirstPage + 2 * i;
    out.Begin(n);
    out.Put("<< /Type /Page /Parent 2 0 R /MediaBox " + box + " /Resources 4 0 R /Contents " +
            std::to_string(n + 1) + " 0 R >>");
    out.End();
    content.clear();
    if (!PdfPageWriter::CanWrite(*pages[i])) return false;
    PdfPageWriter::Content(*pages[i], paperH, &content, used);
    out.Begin(n + 1);
    if (kCompressLevel > 0) {
      // The zlib stream follows qCompress's four-byte length.
      QByteArray packed = qCompress(reinterpret_cast<const uchar*>(content.data()),
                                    static_cast<qsizetype>(content.size()), kCompressLevel);
      if (packed.size() < 4) return false;
      out.Put("<< /Length " + std::to_string(packed.size() - 4) + " /Filter /FlateDecode >>\nstream\n");
      out.Put(packed.constData() + 4, static_cast<size_t>(packed.size() - 4));
    } else {
      out.Put("<< /Length " + std::to_string(content.size()) + " >>\nstream\n");
      out.Put(content);
    }
    out.Put("\nendstream");
    out.End();
  }

  std::string fonts;
  size_t next = fontBase;
  for (int i = 0; i < 12; ++i) {
    if (!used[i]) continue;
    fonts += "/F" + std::to_string(i) + " " + std::to_string(next) + " 0 R ";
    out.Begin(next++);
    out.Put(std::string("<< /Type /Font /Subtype /Type1 /BaseFont /") + kBaseFonts[i] +
            " /Encoding /WinAnsiEncoding >>");
    out.End();
  }
  out.Begin(4);
  out.Put("<< /ProcSet [/PDF /Text] /Font << " + fonts + ">> >>");
  out.End();

  size_t xref = out.offset();
  const std::vector<size_t>& at = out.offsets();
  std::string table = "xref\n0 " + std::to_string(at.size()) + "\n0000000000 65535 f \n";
  char entry[24];
  for (size_t i = 1; i < at.size(); ++i) {
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", at[i]);
    table += entry;
  }
  table += "trailer\n<< /Size " + std::to_string(at.size()) + " /Root 1 0 R /Info 3 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
  out.Put(table);
  return out.ok();
}

}  // namespace

bool WritePdfFile(const std::string& path, const std::string& title, double paperWidthDp,
                  double paperHeightDp, const std::vector<std::shared_ptr<PageRecord>>& pages) {
  static unsigned counter = 0;
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = path + ".~" + std::to_string(getpid()) + "-" + std::to_string(++counter);
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  FILE* f = fdopen(fd, "wb");
  if (!f) {
    close(fd);
    unlink(temp.c_str());
    return false;
  }
  std::vector<char> buffer(1 << 16);
  std::setvbuf(f, buffer.data(), _IOFBF, buffer.size());
  bool ok = WriteTo(f, title, paperWidthDp, paperHeightDp, pages);
  ok = std::fflush(f) == 0 && ok;
  ok = std::fclose(f) == 0 && ok;
  if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok;
}
