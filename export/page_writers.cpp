#include "export/page_writers.h"

#include "engine/line_text.h"
#include "platform/printer/appender.h"
#include "platform/win/codepage.h"
#include "platform/win/fileio.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

namespace {

// A page's lines top to bottom, and a line's runs with text left to right,
// each in the order made where it ties; into out, whose room is kept from
// one call to the next. Most come in order already, and are left so.
const std::vector<const CapturedLine*>& LinesInOrder(const CapturedPage& page,
                                                      std::vector<const CapturedLine*>* out) {
  out->clear();
  for (const CapturedLine& l : page.lines) out->push_back(&l);
  auto above = [](const CapturedLine* a, const CapturedLine* b) { return a->y < b->y; };
  if (!std::is_sorted(out->begin(), out->end(), above)) std::stable_sort(out->begin(), out->end(), above);
  return *out;
}

// Runs left to right; mostly they come so already.
void SortRunsByX(std::vector<const CapturedRun*>* runs) {
  auto before = [](const CapturedRun* a, const CapturedRun* b) { return a->x < b->x; };
  if (!std::is_sorted(runs->begin(), runs->end(), before)) std::stable_sort(runs->begin(), runs->end(), before);
}

const std::vector<const CapturedRun*>& RunsInOrder(const CapturedLine& line, std::vector<const CapturedRun*>* out) {
  out->clear();
  for (const CapturedRun& r : line.runs)
    if (!r.text.empty()) out->push_back(&r);
  SortRunsByX(out);
  return *out;
}

// A page's rows of text top to bottom, as the printed page shows them: the
// lines that share a top are one row (the records of a records-across row
// and the columns of a page are output one line each at the same height),
// its runs with text left to right, its height its tallest line's.
class PageRows {
 public:
  explicit PageRows(const CapturedPage& page, std::vector<const CapturedLine*>* lines,
                    std::vector<const CapturedRun*>* runs)
      : lines_(LinesInOrder(page, lines)), runs_(*runs) {}
  // The next row; false after the last.
  bool Next() {
    if (next_ >= lines_.size()) return false;
    y = lines_[next_]->y;
    height = 0;
    runs_.clear();
    for (; next_ < lines_.size() && lines_[next_]->y == y; ++next_) {
      height = std::max(height, lines_[next_]->height);
      for (const CapturedRun& r : lines_[next_]->runs)
        if (!r.text.empty()) runs_.push_back(&r);
    }
    SortRunsByX(&runs_);
    return true;
  }
  const std::vector<const CapturedRun*>& Runs() const { return runs_; }
  double y = 0, height = 0;

 private:
  const std::vector<const CapturedLine*>& lines_;
  std::vector<const CapturedRun*>& runs_;
  size_t next_ = 0;
};

double LeftmostX(const CapturedDocument& doc) {
  const double left = doc.LeftmostText();
  return left < 0 ? 0 : left;
}

// Collects a writer's pieces into one text.
ExportSink Into(std::string* all) {
  return [all](const std::string& bytes) {
    all->append(bytes);
    return true;
  };
}

long Round(double v) { return static_cast<long>(RoundHalfAway(v)); }

// Runs this close (decipoints) touch on the page: pieces of one text.
constexpr double kTouching = 1.0;

// Bytes a text may be written with as they are, in RTF and in HTML.
struct PlainBytes {
  bool rtf[256], html[256];
  PlainBytes() {
    for (int c = 0; c < 256; ++c) {
      rtf[c] = c >= 0x20 && c < 0x80 && c != '\\' && c != '{' && c != '}';
      html[c] = c < 0x80 && c != '&' && c != '<' && c != '>' && c != '"';
    }
  }
};
const PlainBytes kPlain;

// The code-page text with HTML's escapes, in UTF-8, the pages' encoding; a
// stretch of plain bytes is copied whole.
void PutHtmlText(Appender& a, const std::string& s) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data());
  const unsigned char* end = p + s.size();
  std::string letters;
  while (p < end) {
    const unsigned char* plain = p;
    while (p < end && kPlain.html[*p]) ++p;
    a.Put(reinterpret_cast<const char*>(plain), static_cast<size_t>(p - plain));
    if (p == end) break;
    if (*p >= 0x80) {
      const unsigned char* high = p;
      while (p < end && *p >= 0x80) ++p;
      letters.clear();
      AnsiToUtf8(reinterpret_cast<const char*>(high), static_cast<size_t>(p - high), letters);
      a.Put(letters);
      continue;
    }
    switch (*p++) {
      case '&': a.Put("&amp;"); break;
      case '<': a.Put("&lt;"); break;
      case '>': a.Put("&gt;"); break;
      default: a.Put("&quot;"); break;
    }
  }
}

// The text with RTF's escapes: \\, \{ and \}, and \'hh for control
// characters and bytes above 127.
void PutRtfText(Appender& a, const std::string& s) {
  static const char kHex[] = "0123456789abcdef";
  char* out = a.Room(s.size() * 4);
  for (unsigned char c : s) {
    if (kPlain.rtf[c]) {
      *out++ = static_cast<char>(c);
    } else if (c == '\\' || c == '{' || c == '}') {
      *out++ = '\\';
      *out++ = static_cast<char>(c);
    } else {
      *out++ = '\\';
      *out++ = '\'';
      *out++ = kHex[c >> 4];
      *out++ = kHex[c & 0xF];
    }
  }
  a.Advance(out);
}

// A UTF-8 text with HTML's escapes.
std::string HtmlText(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// "%.1fpt" of the points; whole decipoints (most positions and sizes) are
// written digit by digit, the same text without the cost of printf's
// floating-point path.
void AppendPt(std::string& out, double decipoints) {
  if (decipoints == static_cast<double>(static_cast<long long>(decipoints)) && std::fabs(decipoints) < 1e15 &&
      !(decipoints == 0 && std::signbit(decipoints))) {
    const long long d = static_cast<long long>(decipoints);
    if (d < 0) out += '-';
    const unsigned long long a = static_cast<unsigned long long>(d < 0 ? -d : d);
    out += std::to_string(a / 10);
    out += '.';
    out += static_cast<char>('0' + a % 10);
    out += "pt";
    return;
  }
  // to_chars with a precision writes what printf's "%.1f" does, faster.
  char buf[400];
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, decipoints / 10.0, std::chars_format::fixed, 1);
  if (r.ec == std::errc()) {
    out.append(buf, static_cast<size_t>(r.ptr - buf));
  } else {
    std::snprintf(buf, sizeof buf, "%.1f", decipoints / 10.0);
    out += buf;
  }
  out += "pt";
}

// The tenths in q rounded as printf's "%.1f" rounds them: q's exact binary
// value, halves to the even digit. False from 1e15 on (and for NaN).
bool Tenths(double q, uint64_t* tenths) {
  if (!(std::fabs(q) < 1e15)) return false;
  uint64_t bits = 0;
  std::memcpy(&bits, &q, sizeof bits);
  const int exponent = static_cast<int>((bits >> 52) & 0x7FF);
  uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
  int shift = 1074;  // |q| is mantissa / 2^shift
  if (exponent != 0) {
    mantissa |= uint64_t{1} << 52;
    shift = 1075 - exponent;
  }
  const uint64_t t = mantissa * 10;  // below 2^57
  if (shift <= 0) {
    *tenths = t << -shift;  // a whole number below 1e15
    return true;
  }
  if (shift >= 64) {
    *tenths = 0;  // less than half a tenth
    return true;
  }
  uint64_t whole = t >> shift;
  const uint64_t rest = t & ((uint64_t{1} << shift) - 1), half = uint64_t{1} << (shift - 1);
  if (rest > half || (rest == half && (whole & 1))) ++whole;
  *tenths = whole;
  return true;
}

// AppendPt's text put through an appender, its digits worked out exactly
// from the value instead of by the library's floating-point printing.
void PutPt(Appender& a, double decipoints) {
  const double q = decipoints / 10.0;
  uint64_t tenths = 0;
  if (!Tenths(q, &tenths)) {
    std::string text;
    AppendPt(text, decipoints);
    a.Put(text);
    return;
  }
  char* p = a.Room(32);
  if (std::signbit(q)) *p++ = '-';  // "-0.0" too, as printf has it
  p = std::to_chars(p, p + 24, tenths / 10).ptr;
  *p++ = '.';
  *p++ = static_cast<char>('0' + tenths % 10);
  *p++ = 'p';
  *p++ = 't';
  a.Advance(p);
}

// A position's text as last written: lines repeat their runs' positions,
// sizes and tops, which are then copied instead of worked out again.
struct PtText {
  uint64_t bits = 0;  // of the value: -0.0 is not 0.0
  bool valid = false;
  size_t size = 0;
  char text[32];
};

void PutPt(Appender& a, PtText* last, double decipoints) {
  uint64_t bits = 0;
  std::memcpy(&bits, &decipoints, sizeof bits);
  if (!last->valid || last->bits != bits) {
    const size_t from = a.Offset();
    PutPt(a, decipoints);
    const size_t size = a.Offset() - from;
    last->valid = size <= sizeof last->text;
    if (!last->valid) return;
    std::memcpy(last->text, a.At(from), size);
    last->size = size;
    last->bits = bits;
    return;
  }
  a.Put(last->text, last->size);
}

std::string Pt(double decipoints) {
  std::string s;
  AppendPt(s, decipoints);
  return s;
}

std::string Colour(COLORREF c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", static_cast<unsigned>(c & 0xFF), static_cast<unsigned>((c >> 8) & 0xFF),
                static_cast<unsigned>((c >> 16) & 0xFF));
  return buf;
}

std::string BaseName(const std::string& fileName) {
  size_t dot = fileName.find_last_of('.');
  return dot == std::string::npos ? fileName : fileName.substr(0, dot);
}

std::string Extension(const std::string& fileName) {
  size_t dot = fileName.find_last_of('.');
  return dot == std::string::npos ? std::string("htm") : fileName.substr(dot + 1);
}

}  // namespace

namespace {

// Text in character cells, a page at a time.
class TextWriter {
 public:
  TextWriter(const TextPageOptions& o, double left)
      : cell_(720.0 / (o.pitch > 0 ? o.pitch : 10)),
        row_(720.0 / (o.linesPerInch > 0 ? o.linesPerInch : 6)),
        oem_(o.oemCharacters),
        left_(left) {}
  void SetLeft(double left) { left_ = left; }

  bool Page(size_t pi, const CapturedPage& page, const ExportSink& sink) {
    out_.clear();
    Appender a(&out_);
    if (pi > 0) a.Put('\f');
    // Each row of text takes one line; the blank space between rows becomes
    // as many empty lines as whole character lines fit in it.
    double bottom = -1;
    PageRows rows(page, &lines_, &runs_);
    while (rows.Next()) {
      if (bottom >= 0)
        for (long gap = Round((rows.y - bottom) / row_); gap > 0; --gap) a.Put("\r\n");
      bottom = rows.y + std::max(rows.height, 1.0);
      // The line's text is put together in place, from start on.
      const size_t start = a.Offset();
      double printedEnd = 0;  // where the run before ends on the page
      for (const CapturedRun* run : rows.Runs()) {
        const size_t size = a.Offset() - start;
        size_t col = static_cast<size_t>(std::max(0L, Round((run->x - left_) / cell_)));
        // A run that would overwrite the one before follows it after a blank,
        // as does one the page shows apart from it; the pieces of one text
        // (a change of font) follow one another.
        if (size > 0 && std::fabs(run->x - printedEnd) <= kTouching) col = size;
        else if (size > 0 && col <= size) col = size + 1;
        a.Fill(' ', col - size);
        a.Put(run->text);
        printedEnd = run->x + run->width;
      }
      size_t end = a.Offset();
      while (end > start && *a.At(end - 1) == ' ') --end;
      a.CutTo(end);
      if (oem_) CharToOemBuffA(a.At(start), a.At(start), static_cast<DWORD>(end - start));
      a.Put("\r\n");
    }
    return sink(a.Done());
  }

 private:
  const double cell_, row_;
  const bool oem_;
  double left_;
  std::string out_;
  std::vector<const CapturedLine*> lines_;
  std::vector<const CapturedRun*> runs_;
};

// RTF, a page at a time: the font table of the faces given heads the first.
class RtfWriter {
 public:
  RtfWriter(const std::set<std::string>& faces, double left) : left_(left) {
    for (const std::string& face : faces) faces_.emplace(face.empty() ? std::string("Arial") : face, 0);
    if (faces_.empty()) faces_.emplace("Arial", 0);
    out_ = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl";
    int n = 0;
    for (auto& f : faces_) {
      f.second = n;
      out_ += "{\\f" + std::to_string(n++) + "\\fnil " + f.first + ";}";
    }
    out_ += "}\r\n";
  }
  void SetLeft(double left) { left_ = left; }
  // The document's end: its head too when no page carried it out.
  bool End(const ExportSink& sink) {
    out_ += "}\r\n";
    const bool ok = sink(out_);
    out_.clear();
    return ok;
  }
  // Whether the font table has every face of the page's runs.
  bool HasFaces(const CapturedPage& page) const {
    const std::string* last = nullptr;
    for (const CapturedLine& l : page.lines)
      for (const CapturedRun& r : l.runs) {
        if (last != nullptr && *last == r.face) continue;
        if (faces_.count(r.face.empty() ? std::string("Arial") : r.face) == 0) return false;
        last = &r.face;
      }
    return true;
  }

  bool Page(size_t pi, const CapturedPage& page, const ExportSink& sink) {
    Appender a(&out_);
    if (pi > 0) a.Put("\\page\r\n");
    double lastBottom = -1;
    lastFace_ = nullptr;  // the page given before may be gone
    PageRows rows(page, &lines_, &inOrder_);
    while (rows.Next()) {
      const auto& runs = rows.Runs();
      long space = lastBottom < 0 ? 0 : std::max(0L, Round((rows.y - lastBottom) * 2));
      a.Put("\\pard\\plain\\sb");
      a.Decimal(space);
      a.Put("\\sa0");
      tabs_.clear();
      for (const CapturedRun* r : runs) {
        tabs_.push_back(Round((r->x - left_) * 2));
        if (tabs_.back() > 0) {
          a.Put("\\tx");
          a.Decimal(tabs_.back());
        }
      }
      a.Put(' ');
      for (size_t i = 0; i < runs.size(); ++i) {
        const CapturedRun* r = runs[i];
        if (tabs_[i] > 0) a.Put("\\tab");
        a.Put("{\\f");
        a.Decimal(FaceNumber(r->face));
        a.Put("\\fs");
        a.Decimal(std::max(2L, Round(r->size / 5.0)));
        if (r->bold) a.Put("\\b");
        if (r->italic) a.Put("\\i");
        if (r->underline) a.Put("\\ul");
        a.Put(' ');
        PutRtfText(a, r->text);
        a.Put('}');
      }
      a.Put("\\par\r\n");
      lastBottom = rows.y + rows.height;
    }
    const bool ok = sink(a.Done());
    out_.clear();
    return ok;
  }

 private:
  // A run's face number; runs mostly keep the face of the one before.
  int FaceNumber(const std::string& face) {
    if (lastFace_ == nullptr || *lastFace_ != face) {
      static const std::string kArial = "Arial";
      lastNumber_ = faces_[face.empty() ? kArial : face];
      lastFace_ = &face;
    }
    return lastNumber_;
  }

  std::map<std::string, int> faces_;
  double left_;
  std::string out_;  // the font table until the first page takes it
  const std::string* lastFace_ = nullptr;
  int lastNumber_ = 0;
  std::vector<const CapturedLine*> lines_;
  std::vector<const CapturedRun*> inOrder_;
  std::vector<long> tabs_;  // of the line's runs
};

// HTML, a page at a time: with perPage a file of its own for each, linked
// to the ones beside it (count pages in all), else one file for all.
class HtmlWriter {
 public:
  HtmlWriter(const CapturedDocument& doc, const HtmlExportOptions& o, const std::string& reportTitle, bool perPage,
             size_t count)
      : o_(o),
        perPage_(perPage),
        count_(count),
        chartHash_(HashChartName(o.fileName.c_str())),
        base_(BaseName(o.fileName.empty() ? std::string("report.htm") : o.fileName)),
        ext_(Extension(o.fileName.empty() ? std::string("report.htm") : o.fileName)),
        // The report's title is its file's, which may keep the system's spelling.
        title_(HtmlText(FileNameText(o.title.empty() ? reportTitle : o.title))),
        pageStyle_("<div class=\"page\" style=\"width:" + Pt(doc.paperWidth) + ";height:" + Pt(doc.paperHeight) +
                   "\">\r\n") {
    const auto& formats = ImageFormatTable();
    imageExt_ = formats[o.imageFormat < formats.size() ? o.imageFormat : 0].extension;
    body_ = Head();
  }

  bool Page(size_t pi, const CapturedPage& page, const ExportSink& firstPage, const ExportFileSink& file) {
    if (perPage_ && pi > 0) body_ = Head();
    body_ += pageStyle_;
    // Lines and boxes lie under the text, pictures and charts over it.
    for (const CapturedPicture& p : page.pictures)
      if (p.shape && !Picture(p, file)) return false;
    Appender a(&body_);
    for (const CapturedLine* l : LinesInOrder(page, &lines_)) {
      size_t place = 0;
      for (const CapturedRun* r : RunsInOrder(*l, &runs_)) {
        if (place == lefts_.size()) lefts_.emplace_back();
        a.Put("<span style=\"left:");
        PutPt(a, &lefts_[place++], r->x);
        a.Put(";top:");
        PutPt(a, &top_, l->y);
        a.Put(";font-family:'");
        if (r->face != face_) {
          face_ = r->face;
          faceText_ = HtmlText(AnsiToUtf8(face_));
        }
        a.Put(faceText_);
        a.Put("';font-size:");
        PutPt(a, &size_, r->size);
        if (r->bold) a.Put(";font-weight:bold");
        if (r->italic) a.Put(";font-style:italic");
        if (r->underline) a.Put(";text-decoration:underline");
        if (r->colour) {
          a.Put(";color:");
          a.Put(Colour(r->colour));
        }
        a.Put("\">");
        PutHtmlText(a, r->text);
        a.Put("</span>\r\n");
      }
    }
    a.Done();
    for (const CapturedPicture& p : page.pictures)
      if (!p.shape && !Picture(p, file)) return false;
    body_ += "</div>\r\n";
    if (!perPage_) {
      // One page file for all: what is made goes out page by page.
      const bool ok = firstPage(body_);
      body_.clear();
      return ok;
    }
    body_ += "<p>";
    if (pi > 0)
      body_ += "<a href=\"" + MakeRelativeUrl(o_, MakeExportFilePath(o_, PageName(pi - 1))) + "\">Previous</a> ";
    if (pi + 1 < count_)
      body_ += "<a href=\"" + MakeRelativeUrl(o_, MakeExportFilePath(o_, PageName(pi + 1))) + "\">Next</a>";
    body_ += "</p>\r\n" + std::string(kTail);
    return pi == 0 ? firstPage(body_) : file(MakeExportFilePath(o_, PageName(pi)), body_, true);
  }

  // The one file's end.
  bool End(const ExportSink& firstPage) { return perPage_ || firstPage(body_ + kTail); }

 private:
  static constexpr const char* kTail = "</body>\r\n</html>\r\n";

  // The picture's image file and its tag. A chart's file is named by the
  // hash of the export's file name and the run's count of charts, from 1.
  bool Picture(const CapturedPicture& p, const ExportFileSink& file) {
    char chart[32];
    if (p.chart) std::snprintf(chart, sizeof chart, "Chart %08x %d.", chartHash_, ++charts_);
    const std::string path = MakeExportFilePath(
        o_, (p.chart ? std::string(chart) : base_ + "_image" + std::to_string(pictures_++) + ".") + imageExt_);
    if (!file(path, p.bytes, false)) return false;
    body_ += "<img src=\"" + MakeRelativeUrl(o_, path) + "\" alt=\"\" style=\"left:" + Pt(p.x) + ";top:" + Pt(p.y) +
             ";width:" + Pt(p.width) + ";height:" + Pt(p.height) + "\">\r\n";
    return true;
  }

  std::string PageName(size_t i) const {
    return i == 0 ? base_ + "." + ext_ : base_ + "_" + std::to_string(i + 1) + "." + ext_;
  }
  std::string Head() const {
    std::string h = "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta charset=\"utf-8\">\r\n<title>" + title_ +
                    "</title>\r\n<style>\r\n.page{position:relative;margin:8pt auto;background:" +
                    Colour(o_.backgroundColour);
    if (!o_.backgroundImage.empty())
      h += ";background-image:url(\"" + MakeRelativeUrl(o_, o_.backgroundImage) + "\")";
    if (o_.borderFlag) h += ";border:" + std::to_string(o_.borderWidth) + "px solid #000";
    h += "}\r\n.page span{position:absolute;white-space:pre}\r\n.page img{position:absolute}\r\n</style>\r\n"
         "</head>\r\n<body>\r\n";
    return h;
  }

  const HtmlExportOptions o_;
  const bool perPage_;
  const size_t count_;
  const uint32_t chartHash_;
  const std::string base_, ext_, title_, pageStyle_;
  std::string imageExt_;
  std::string body_;
  int pictures_ = 0, charts_ = 0;
  std::string face_, faceText_ = HtmlText(face_);  // the face last written, as written
  std::vector<const CapturedLine*> lines_;
  std::vector<const CapturedRun*> runs_;
  std::vector<PtText> lefts_;  // by the run's place in its line
  PtText top_, size_;
};

}  // namespace

bool WriteTextPages(const CapturedDocument& doc, const TextPageOptions& o, const ExportSink& sink) {
  TextWriter w(o, LeftmostX(doc));
  return doc.ForEachPage([&](size_t pi, const CapturedPage& page) { return w.Page(pi, page, sink); });
}

std::string WriteTextPages(const CapturedDocument& doc, const TextPageOptions& o) {
  std::string all;
  WriteTextPages(doc, o, Into(&all));
  return all;
}

bool WriteRtfPages(const CapturedDocument& doc, const ExportSink& sink) {
  RtfWriter w(doc.Faces(), LeftmostX(doc));
  const bool pagesWritten =
      doc.ForEachPage([&](size_t pi, const CapturedPage& page) { return w.Page(pi, page, sink); });
  return pagesWritten && w.End(sink);
}

std::string WriteRtfPages(const CapturedDocument& doc) {
  std::string all;
  WriteRtfPages(doc, Into(&all));
  return all;
}

bool WriteHtmlPages(const CapturedDocument& doc, const HtmlExportOptions& o, const std::string& reportTitle,
                    const ExportSink& firstPage, const ExportFileSink& file) {
  const size_t count = doc.PageCount();
  HtmlWriter w(doc, o, reportTitle, (o.options & kHtmlPagePerPage) != 0 && count > 1, count);
  const bool pagesWritten =
      doc.ForEachPage([&](size_t pi, const CapturedPage& page) { return w.Page(pi, page, firstPage, file); });
  return pagesWritten && w.End(firstPage);
}

ExportFiles WriteHtmlPages(const CapturedDocument& doc, const HtmlExportOptions& o, const std::string& reportTitle) {
  // The first page, the later pages, then the pictures.
  ExportFiles pages(1), pictures;
  const std::string name = o.fileName.empty() ? std::string("report.htm") : o.fileName;
  pages[0].first = MakeExportFilePath(o, BaseName(name) + "." + Extension(name));
  WriteHtmlPages(doc, o, reportTitle, Into(&pages[0].second),
                 [&](const std::string& path, const std::string& bytes, bool isPage) {
                   (isPage ? pages : pictures).emplace_back(path, bytes);
                   return true;
                 });
  pages.insert(pages.end(), pictures.begin(), pictures.end());
  return pages;
}

namespace {

// The leftmost text of the pages given so far, as the document finds it
// over all of them: the pages before the first with text do not read it,
// that page sets it, and a later page must keep it.
class LeftSoFar {
 public:
  // False when the page has text left of what the pages before were
  // written with (or where the document would not simply take the least).
  bool Take(const CapturedPage& page) {
    bool text = false;
    for (const CapturedLine& l : page.lines)
      for (const CapturedRun& r : l.runs) {
        if (r.text.empty()) continue;
        if (!(r.x >= 0)) return false;
        if (!text && !set_) left_ = r.x;
        text = true;
        if (r.x < left_) {
          if (set_) return false;
          left_ = r.x;
        }
      }
    set_ = set_ || text;
    return true;
  }
  double Left() const { return set_ ? left_ : 0; }

 private:
  bool set_ = false;
  double left_ = 0;
};

class TextAhead : public PageExportAhead {
 public:
  TextAhead(const TextPageOptions& o, ExportSink out) : o_(o), out_(std::move(out)), w_(o, 0) {}

 private:
  bool Page(size_t index, const CapturedPage& page) override {
    if (!left_.Take(page)) return false;
    w_.SetLeft(left_.Left());
    return w_.Page(index, page, out_);
  }
  bool End() override { return true; }
  bool Whole(const CapturedDocument& doc) override { return WriteTextPages(doc, o_, out_); }

  const TextPageOptions o_;
  const ExportSink out_;
  TextWriter w_;
  LeftSoFar left_;
};

class RtfAhead : public PageExportAhead {
 public:
  explicit RtfAhead(ExportSink out) : out_(std::move(out)) {}

 private:
  bool Page(size_t index, const CapturedPage& page) override {
    // The font table goes out with the first page: its faces are taken for all.
    if (!w_) {
      std::set<std::string> faces;
      for (const CapturedLine& l : page.lines)
        for (const CapturedRun& r : l.runs) faces.insert(r.face);
      w_ = std::make_unique<RtfWriter>(faces, 0);
    } else if (!w_->HasFaces(page)) {
      return false;
    }
    if (!left_.Take(page)) return false;
    w_->SetLeft(left_.Left());
    return w_->Page(index, page, out_);
  }
  bool End() override {
    // No page: a document of the head alone, as the whole document's writer has it.
    if (!w_) w_ = std::make_unique<RtfWriter>(std::set<std::string>(), 0);
    return w_->End(out_);
  }
  bool Whole(const CapturedDocument& doc) override { return WriteRtfPages(doc, out_); }

  const ExportSink out_;
  std::unique_ptr<RtfWriter> w_;
  LeftSoFar left_;
};

class HtmlAhead : public PageExportAhead {
 public:
  HtmlAhead(const CapturedDocument& doc, const HtmlExportOptions& o, const std::string& reportTitle,
            ExportSink page, ExportFileSink file)
      : o_(o),
        title_(reportTitle),
        page_(std::move(page)),
        file_(std::move(file)),
        w_(doc, o, reportTitle, false, 0) {}

 private:
  // A page with pictures stops it: their files are written on the run's
  // thread only.
  bool Page(size_t index, const CapturedPage& page) override {
    return page.pictures.empty() && w_.Page(index, page, page_, file_);
  }
  bool End() override { return w_.End(page_); }
  bool Whole(const CapturedDocument& doc) override {
    return WriteHtmlPages(doc, o_, title_, page_, file_);
  }

  const HtmlExportOptions o_;
  const std::string title_;
  const ExportSink page_;
  const ExportFileSink file_;
  HtmlWriter w_;
};

}  // namespace

bool PageExportAhead::Start(CapturedDocument* doc) {
  return doc->SetPagesAhead([this](size_t index, const CapturedPage& page) { return Page(index, page); });
}

bool PageExportAhead::Finish(CapturedDocument* doc, const std::function<bool()>& rewind) {
  if (doc->FinishPagesAhead()) return End();
  return rewind() && Whole(*doc);
}

std::unique_ptr<PageExportAhead> TextExportAhead(const TextPageOptions& o, const ExportSink& out) {
  return std::make_unique<TextAhead>(o, out);
}

std::unique_ptr<PageExportAhead> RtfExportAhead(const ExportSink& out) { return std::make_unique<RtfAhead>(out); }

std::unique_ptr<PageExportAhead> HtmlExportAhead(const CapturedDocument& doc, const HtmlExportOptions& o,
                                                 const std::string& reportTitle,
                                                 const ExportSink& page, const ExportFileSink& file) {
  if (o.options & kHtmlPagePerPage) return nullptr;
  return std::make_unique<HtmlAhead>(doc, o, reportTitle, page, file);
}
