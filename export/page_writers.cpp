#include "export/page_writers.h"

#include "platform/win/codepage.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>

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

const std::vector<const CapturedRun*>& RunsInOrder(const CapturedLine& line, std::vector<const CapturedRun*>* out) {
  out->clear();
  for (const CapturedRun& r : line.runs)
    if (!r.text.empty()) out->push_back(&r);
  auto before = [](const CapturedRun* a, const CapturedRun* b) { return a->x < b->x; };
  if (!std::is_sorted(out->begin(), out->end(), before)) std::stable_sort(out->begin(), out->end(), before);
  return *out;
}

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

// The decimal digits of n, as std::to_string gives them.
void AppendDecimal(std::string& out, long n) {
  char buf[24];
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, n);
  out.append(buf, static_cast<size_t>(r.ptr - buf));
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

bool WriteTextPages(const CapturedDocument& doc, const TextPageOptions& o, const ExportSink& sink) {
  const double cell = 720.0 / (o.pitch > 0 ? o.pitch : 10);
  const double row = 720.0 / (o.linesPerInch > 0 ? o.linesPerInch : 6);
  const double left = LeftmostX(doc);
  std::string out, text;
  std::vector<const CapturedLine*> lines;
  std::vector<const CapturedRun*> runs;
  return doc.ForEachPage([&](size_t pi, const CapturedPage& page) {
    out.clear();
    if (pi > 0) out += "\f";
    // Each line takes one row; the blank space between lines becomes as many
    // empty rows as whole character lines fit in it.
    double bottom = -1;
    for (const CapturedLine* l : LinesInOrder(page, &lines)) {
      if (bottom >= 0)
        for (long gap = std::lround((l->y - bottom) / row); gap > 0; --gap) out += "\r\n";
      bottom = l->y + std::max(l->height, 1.0);
      text.clear();
      for (const CapturedRun* run : RunsInOrder(*l, &runs)) {
        size_t col = static_cast<size_t>(std::max(0L, std::lround((run->x - left) / cell)));
        // A run that would overwrite the one before follows it after a blank.
        if (col < text.size()) col = text.empty() ? 0 : text.size() + 1;
        text.resize(col, ' ');
        text += run->text;
      }
      while (!text.empty() && text.back() == ' ') text.pop_back();
      if (o.oemCharacters) CharToOemBuffA(text.c_str(), text.data(), static_cast<DWORD>(text.size()));
      out += text;
      out += "\r\n";
    }
    return sink(out);
  });
}

std::string WriteTextPages(const CapturedDocument& doc, const TextPageOptions& o) {
  std::string all;
  WriteTextPages(doc, o, Into(&all));
  return all;
}

bool WriteRtfPages(const CapturedDocument& doc, const ExportSink& sink) {
  std::map<std::string, int> faces;
  for (const std::string& face : doc.Faces()) faces.emplace(face.empty() ? std::string("Arial") : face, 0);
  if (faces.empty()) faces.emplace("Arial", 0);
  std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl";
  int n = 0;
  for (auto& f : faces) {
    f.second = n;
    out += "{\\f" + std::to_string(n++) + "\\fnil " + f.first + ";}";
  }
  out += "}\r\n";
  const double left = LeftmostX(doc);
  // The run's text added to out with RTF's escapes.
  auto escape = [&out](const std::string& s) {
    static const char kHex[] = "0123456789abcdef";
    for (unsigned char c : s) {
      if (c == '\\' || c == '{' || c == '}') {
        out += '\\';
        out += static_cast<char>(c);
      } else if (c >= 0x80 || c < 0x20) {
        const char e[4] = {'\\', '\'', kHex[c >> 4], kHex[c & 0xF]};
        out.append(e, 4);
      } else {
        out += static_cast<char>(c);
      }
    }
  };
  // A run's face number; runs mostly keep the face of the one before.
  const std::string* lastFace = nullptr;
  int lastNumber = 0;
  auto faceNumber = [&](const std::string& face) {
    if (lastFace == nullptr || *lastFace != face) {
      static const std::string kArial = "Arial";
      lastNumber = faces[face.empty() ? kArial : face];
      lastFace = &face;
    }
    return lastNumber;
  };
  std::vector<const CapturedLine*> lines;
  std::vector<const CapturedRun*> inOrder;
  const bool pagesWritten = doc.ForEachPage([&](size_t pi, const CapturedPage& page) {
    if (pi > 0) out += "\\page\r\n";
    double lastBottom = -1;
    lastFace = nullptr;  // the page read back before may be gone
    for (const CapturedLine* l : LinesInOrder(page, &lines)) {
      const auto& runs = RunsInOrder(*l, &inOrder);
      long space = lastBottom < 0 ? 0 : std::max(0L, std::lround((l->y - lastBottom) * 2));
      out += "\\pard\\plain\\sb";
      AppendDecimal(out, space);
      out += "\\sa0";
      for (const CapturedRun* r : runs) {
        long tab = std::lround((r->x - left) * 2);
        if (tab > 0) {
          out += "\\tx";
          AppendDecimal(out, tab);
        }
      }
      out += ' ';
      for (const CapturedRun* r : runs) {
        if (std::lround((r->x - left) * 2) > 0) out += "\\tab";
        out += "{\\f";
        AppendDecimal(out, faceNumber(r->face));
        out += "\\fs";
        AppendDecimal(out, std::max(2L, std::lround(r->size / 5.0)));
        if (r->bold) out += "\\b";
        if (r->italic) out += "\\i";
        if (r->underline) out += "\\ul";
        out += ' ';
        escape(r->text);
        out += '}';
      }
      out += "\\par\r\n";
      lastBottom = l->y + l->height;
    }
    const bool ok = sink(out);
    out.clear();
    return ok;
  });
  return pagesWritten && sink("}\r\n");
}

std::string WriteRtfPages(const CapturedDocument& doc) {
  std::string all;
  WriteRtfPages(doc, Into(&all));
  return all;
}


bool WriteHtmlPages(const CapturedDocument& doc, const HtmlExportOptions& o, const std::string& reportTitle,
                    uint32_t chartHash, const ExportSink& firstPage, const ExportFileSink& file) {
  const size_t count = doc.PageCount();
  const bool perPage = (o.options & kHtmlPagePerPage) != 0 && count > 1;
  const std::string base = BaseName(o.fileName.empty() ? std::string("report.htm") : o.fileName);
  const std::string ext = Extension(o.fileName.empty() ? std::string("report.htm") : o.fileName);
  const auto& formats = ImageFormatTable();
  const std::string imageExt = formats[o.imageFormat < formats.size() ? o.imageFormat : 0].extension;
  auto pageName = [&](size_t i) { return i == 0 ? base + "." + ext : base + "_" + std::to_string(i + 1) + "." + ext; };
  const std::string title = HtmlText(o.title.empty() ? reportTitle : o.title);
  auto head = [&]() {
    std::string h = "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta charset=\"windows-1252\">\r\n<title>" + title +
                    "</title>\r\n<style>\r\n.page{position:relative;margin:8pt auto;background:" +
                    Colour(o.backgroundColour);
    if (!o.backgroundImage.empty())
      h += ";background-image:url(\"" + MakeRelativeUrl(o, o.backgroundImage) + "\")";
    if (o.borderFlag) h += ";border:" + std::to_string(o.borderWidth) + "px solid #000";
    h += "}\r\n.page span{position:absolute;white-space:pre}\r\n.page img{position:absolute}\r\n</style>\r\n"
         "</head>\r\n<body>\r\n";
    return h;
  };
  const char* tail = "</body>\r\n</html>\r\n";
  std::string body = head();
  int pictures = 0, charts = 0;
  std::string face, faceText = HtmlText(face);  // the face last written, as written
  std::vector<const CapturedLine*> lines;
  std::vector<const CapturedRun*> runs;
  const bool pagesWritten = doc.ForEachPage([&](size_t pi, const CapturedPage& page) {
    if (perPage && pi > 0) body = head();
    body += "<div class=\"page\" style=\"width:" + Pt(doc.paperWidth) + ";height:" + Pt(doc.paperHeight) + "\">\r\n";
    for (const CapturedLine* l : LinesInOrder(page, &lines)) {
      for (const CapturedRun* r : RunsInOrder(*l, &runs)) {
        body += "<span style=\"left:";
        AppendPt(body, r->x);
        body += ";top:";
        AppendPt(body, l->y);
        body += ";font-family:'";
        if (r->face != face) {
          face = r->face;
          faceText = HtmlText(face);
        }
        body += faceText;
        body += "';font-size:";
        AppendPt(body, r->size);
        if (r->bold) body += ";font-weight:bold";
        if (r->italic) body += ";font-style:italic";
        if (r->underline) body += ";text-decoration:underline";
        if (r->colour) body += ";color:" + Colour(r->colour);
        body += "\">";
        body += HtmlText(r->text);
        body += "</span>\r\n";
      }
    }
    for (const CapturedPicture& p : page.pictures) {
      char name[64];
      if (p.chart)
        std::snprintf(name, sizeof name, "Chart %08x %d.%s", chartHash, charts++, imageExt.c_str());
      else
        std::snprintf(name, sizeof name, "%s_image%d.%s", base.c_str(), pictures++, imageExt.c_str());
      const std::string path = MakeExportFilePath(o, name);
      if (!file(path, p.bytes, false)) return false;
      body += "<img src=\"" + MakeRelativeUrl(o, path) + "\" alt=\"\" style=\"left:" + Pt(p.x) + ";top:" + Pt(p.y) +
              ";width:" + Pt(p.width) + ";height:" + Pt(p.height) + "\">\r\n";
    }
    body += "</div>\r\n";
    if (!perPage) {
      // One page file for all: what is made goes out page by page.
      const bool ok = firstPage(body);
      body.clear();
      return ok;
    }
    body += "<p>";
    if (pi > 0) body += "<a href=\"" + MakeRelativeUrl(o, MakeExportFilePath(o, pageName(pi - 1))) + "\">Previous</a> ";
    if (pi + 1 < count)
      body += "<a href=\"" + MakeRelativeUrl(o, MakeExportFilePath(o, pageName(pi + 1))) + "\">Next</a>";
    body += "</p>\r\n" + std::string(tail);
    return pi == 0 ? firstPage(body) : file(MakeExportFilePath(o, pageName(pi)), body, true);
  });
  return pagesWritten && (perPage || firstPage(body + tail));
}

ExportFiles WriteHtmlPages(const CapturedDocument& doc, const HtmlExportOptions& o, const std::string& reportTitle,
                           uint32_t chartHash) {
  // The first page, the later pages, then the pictures.
  ExportFiles pages(1), pictures;
  const std::string name = o.fileName.empty() ? std::string("report.htm") : o.fileName;
  pages[0].first = MakeExportFilePath(o, BaseName(name) + "." + Extension(name));
  WriteHtmlPages(doc, o, reportTitle, chartHash, Into(&pages[0].second),
                 [&](const std::string& path, const std::string& bytes, bool isPage) {
                   (isPage ? pages : pictures).emplace_back(path, bytes);
                   return true;
                 });
  pages.insert(pages.end(), pictures.begin(), pictures.end());
  return pages;
}
