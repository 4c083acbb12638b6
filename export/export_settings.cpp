#include "export/export_settings.h"

#include "files/report_stream.h"
#include "foundation/text_helpers.h"
#include "platform/export/output_file.h"
#include "platform/win/fileio.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>

namespace {

// Where each format's name and options are kept in the report's records.
ExportTarget* TargetOf(ReportSettings* s, int format) {
  switch (format) {
    case kExportText: return &s->targets89;
    case kExportXbase: return &s->targets100;
    case kExportWorksheet: return &s->targets101;
    case kExportRtf: return &s->targets119;
    case kExportViewer: return &s->targets142;
    default: return nullptr;
  }
}

// The framework's archived text: a byte length, or 0xFF and a 16-bit one,
// or 0xFF 0xFFFF and a 32-bit one.
void PutArchiveText(std::vector<uint8_t>* b, const std::string& t) {
  const size_t n = t.size();
  if (n < 0xFF) {
    b->push_back(static_cast<uint8_t>(n));
  } else if (n < 0xFFFF) {
    b->push_back(0xFF);
    b->push_back(static_cast<uint8_t>(n));
    b->push_back(static_cast<uint8_t>(n >> 8));
  } else {
    b->insert(b->end(), {0xFF, 0xFF, 0xFF});
    for (int i = 0; i < 4; ++i) b->push_back(static_cast<uint8_t>(n >> (8 * i)));
  }
  b->insert(b->end(), t.begin(), t.end());
}
void PutArchiveU32(std::vector<uint8_t>* b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

struct ArchiveReader {
  const std::vector<uint8_t>& b;
  size_t at = 0;
  bool ok = true;
  uint32_t Take(int bytes) {
    if (!ok || b.size() - at < static_cast<size_t>(bytes)) {
      ok = false;
      return 0;
    }
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<uint32_t>(b[at + i]) << (8 * i);
    at += static_cast<size_t>(bytes);
    return v;
  }
  std::string Text() {
    uint32_t n = Take(1);
    if (n == 0xFF) {
      n = Take(2);
      if (n == 0xFFFF) n = Take(4);
    }
    if (!ok || b.size() - at < n) {
      ok = false;
      return std::string();
    }
    std::string t(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n));
    at += n;
    return t;
  }
};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string Directory(const HtmlExportOptions& o) {
  std::string d = o.outputDirectory;
  while (d.size() > 1 && IsSeparator(d.back())) d.pop_back();
  return d;
}

std::string Slashes(std::string p) {
  for (char& c : p)
    if (c == '\\') c = '/';
  return p;
}

// A link to a file names it by the system's bytes of its name (UTF-8), as
// a browser looks it up.
std::string EscapeUrl(const std::string& p) {
  std::string out;
  for (unsigned char c : OsFileName(p)) {
    if (std::isalnum(c) || std::strchr("/-._~:", c)) {
      out += static_cast<char>(c);
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out += buf;
    }
  }
  return out;
}

}  // namespace

const std::vector<ImageFormatEntry>& ImageFormatTable() {
  static const std::vector<ImageFormatEntry> table = {
      {"PNG", "png", "PNG"}, {"JPEG", "jpg", "JPEG"}, {"BMP", "bmp", "BMP"}};
  return table;
}

int FindImageFormatIndex(const char* text) {
  if (text == nullptr) return -1;
  const auto& t = ImageFormatTable();
  for (size_t i = 0; i < t.size(); ++i)
    if (strcasecmp(text, t[i].name) == 0 || strcasecmp(text, t[i].extension) == 0) return static_cast<int>(i);
  return -1;
}

uint8_t CKmExport::ChosenBand() const {
  switch (format) {
    case kExportXbase: return xbaseBand;
    case kExportWorksheet: return worksheetBand;
    case kExportWordMerge: return wordMergeBand;
    default: return dataFileBand;
  }
}

std::string CKmExport::OutputPath() const {
  if (format == kExportHtml) return MakeExportFilePath(html, html.fileName);
  return format < kExportFormatSlots ? outputNames[format] : std::string();
}

void CKmExport::SetOutputPath(const std::string& path) {
  if (format >= kExportFormatSlots) return;
  if (format != kExportHtml) {
    outputNames[format] = path;
    return;
  }
  // The HTML page names its directory and its file name apart.
  size_t cut = path.find_last_of("/\\");
  html.outputDirectory = cut == std::string::npos ? std::string() : path.substr(0, cut);
  html.fileName = cut == std::string::npos ? path : path.substr(cut + 1);
}

void CKmExport::LoadFrom(const ReportSettings& s) {
  ReportSettings& m = const_cast<ReportSettings&>(s);
  bool chosen = false;
  for (int f : {kExportText, kExportXbase, kExportWorksheet, kExportRtf, kExportViewer}) {
    const ExportTarget* t = TargetOf(&m, f);
    if (!t->set) continue;
    format = t->format;
    chosen = true;
    outputNames[f] = t->fileName;
    if (f == kExportText) textFlags = t->option;
    if (f == kExportXbase) xbaseBand = t->option;
    if (f == kExportWorksheet) worksheetBand = t->option;
    if (f == kExportViewer) viewerOption = t->option;
  }
  auto options = [&](const ExportOptions& o, int f, uint8_t* band, uint8_t* type, std::string* sep, uint8_t* flags) {
    if (!o.set) return;
    format = o.format;
    chosen = true;
    *band = o.options[0] ? o.options[0] : kExportBandDefault;
    *type = o.options[1] >= kFileTypeComma && o.options[1] <= kFileTypeUserSeparator ? o.options[1] : kFileTypeComma;
    *flags = o.options[2];
    *sep = o.exportText;
    outputNames[f] = o.settingsText;
  };
  options(s.options120, kExportDataFile, &dataFileBand, &dataFileType, &dataFileSeparator, &dataFileFlags);
  options(s.options121, kExportWordMerge, &wordMergeBand, &wordMergeType, &wordMergeSeparator, &wordMergeFlags);
  uint8_t htmlFormat = 0;
  HtmlExportOptions h;
  if (!s.htmlOptions.empty() && DecodeHtmlOptions(s.htmlOptions, &htmlFormat, &h)) {
    html = h;
    format = htmlFormat;
    chosen = true;
  }
  if (!chosen || format >= kExportFormatSlots || format == 3 || format == 4) format = kExportText;
}

void CKmExport::StoreTo(ReportSettings* s) const {
  for (int f : {kExportText, kExportXbase, kExportWorksheet, kExportRtf, kExportViewer}) {
    ExportTarget* t = TargetOf(s, f);
    t->set = !outputNames[f].empty();
    t->format = format;
    t->fileName = outputNames[f];
    t->option = f == kExportText ? textFlags : f == kExportXbase ? xbaseBand : f == kExportWorksheet ? worksheetBand
                : f == kExportViewer ? viewerOption : 0;
  }
  auto options = [&](ExportOptions* o, int f, uint8_t band, uint8_t type, const std::string& sep, uint8_t flags) {
    o->set = !outputNames[f].empty();
    o->format = format;
    o->options[0] = band;
    o->options[1] = type;
    o->options[2] = flags;
    o->exportText = sep;
    o->settingsText = outputNames[f];
  };
  options(&s->options120, kExportDataFile, dataFileBand, dataFileType, dataFileSeparator, dataFileFlags);
  options(&s->options121, kExportWordMerge, wordMergeBand, wordMergeType, wordMergeSeparator, wordMergeFlags);
  if (!html.fileName.empty() || format == kExportHtml)
    s->htmlOptions = EncodeHtmlOptions(format, html);
  else
    s->htmlOptions.clear();
}

std::string AddExportExtension(const CKmExport& e, const std::string& path) {
  const char* ext = "TXT";
  switch (e.format) {
    case kExportXbase: ext = "DBF"; break;
    case kExportWorksheet: ext = "WKS"; break;
    case kExportRtf: ext = "RTF"; break;
    case kExportHtml: ext = "HTM"; break;
    // The viewer file is written as PDF on this platform.
    case kExportViewer: ext = "pdf"; break;
    case kExportDataFile:
      ext = e.dataFileType == kFileTypeComma ? "CSV" : e.dataFileType == kFileTypeFixed ? "SDF" : "TXT";
      break;
    case kExportWordMerge: ext = e.wordMergeType == kFileTypeComma ? "CSV" : "TXT"; break;
    default: break;
  }
  // A path that names its own extension keeps it.
  std::vector<char> named(path.size() + std::strlen(ext) + 2, '\0');
  std::memcpy(named.data(), path.data(), path.size());
  ApplyFileExtension(named.data(), named.size(), ext, 0);
  return named.data();
}

std::vector<uint8_t> EncodeHtmlOptions(uint8_t format, const HtmlExportOptions& o) {
  std::vector<uint8_t> b;
  b.push_back(format);
  PutArchiveU32(&b, o.options);
  PutArchiveU32(&b, o.borderFlag);
  PutArchiveU32(&b, o.borderWidth);
  PutArchiveText(&b, o.outputDirectory);
  PutArchiveU32(&b, o.backgroundColour);
  PutArchiveText(&b, o.backgroundImage);
  PutArchiveText(&b, o.fileName);
  PutArchiveU32(&b, o.imageFormat);
  PutArchiveText(&b, o.title);
  PutArchiveU32(&b, o.reserved1);
  PutArchiveU32(&b, o.reserved2);
  PutArchiveText(&b, o.reserved3);
  return b;
}

bool DecodeHtmlOptions(const std::vector<uint8_t>& bytes, uint8_t* format, HtmlExportOptions* o) {
  ArchiveReader r{bytes};
  HtmlExportOptions h;
  uint8_t f = static_cast<uint8_t>(r.Take(1));
  h.options = r.Take(4);
  h.borderFlag = r.Take(4);
  h.borderWidth = r.Take(4);
  h.outputDirectory = r.Text();
  h.backgroundColour = r.Take(4);
  h.backgroundImage = r.Text();
  h.fileName = r.Text();
  h.imageFormat = r.Take(4);
  h.title = r.Text();
  h.reserved1 = r.Take(4);
  h.reserved2 = r.Take(4);
  h.reserved3 = r.Text();
  if (!r.ok) return false;
  if (h.imageFormat >= ImageFormatTable().size()) h.imageFormat = 0;
  *format = f;
  *o = h;
  return true;
}

bool CreateOutputDirectory(const HtmlExportOptions& o) {
  std::string d = Directory(o);
  return d.empty() || MakeDirectoryTree(d);
}

std::string MakeExportFilePath(const HtmlExportOptions& o, const std::string& fileName) {
  std::string d = Directory(o);
  if (d.empty()) return fileName;
  // Joined as the folder is written: a stored Windows folder keeps its
  // backslashes, any other takes the slash.
  const bool windows = d.find('\\') != std::string::npos && d.find('/') == std::string::npos;
  return d + (windows ? "\\" : "/") + fileName;
}

std::string MakeRelativeUrl(const HtmlExportOptions& o, const std::string& path) {
  std::string dir = Slashes(Directory(o));
  std::string p = Slashes(path);
  if (dir.empty()) {
    if (!p.empty() && p[0] != '/') return EscapeUrl(p);
  } else if (p.size() > dir.size() + 1 && p.compare(0, dir.size(), dir) == 0 && p[dir.size()] == '/') {
    return EscapeUrl(p.substr(dir.size() + 1));
  }
  return "file://" + std::string(p.empty() || p[0] != '/' ? "/" : "") + EscapeUrl(p);
}

int RenameFieldInExports(ReportSettings& s, const std::string& oldName, const std::string& newName) {
  if (oldName.empty() || oldName == newName) return 0;
  // Per format the stored texts are its file name and separator, never a
  // field: there is no selection to walk.
  (void)s;
  return 0;
}
