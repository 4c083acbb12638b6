#include "engine/report_spec.h"

#include "core/composite.h"
#include "data/select_builder.h"
#include "data/data_access.h"
#include "data/table_fields.h"
#include "data/data_source_settings.h"
#include "engine/band_output.h"
#include "engine/output_messages.h"
#include "engine/report_run.h"
#include "files/report_io.h"
#include "layout/item_tables.h"
#include "layout/layout_records.h"
#include "model/filter_spec.h"
#include "engine/run_report.h"
#include "charts/chart.h"
#include "expr/document_format.h"
#include "expr/value_format.h"
#include "foundation/heap_strings.h"
#include "layout/fonts.h"
#include "model/group_levels.h"
#include "model/relation_wording.h"
#include "model/total_description.h"
#include <strings.h>
#include "foundation/band_lines.h"
#include "foundation/doc_base.h"
#include "foundation/page_metrics.h"
#include "foundation/intl_settings.h"
#include "platform/win/codepage_text.h"
#include "platform/win/fileio.h"
#include "platform/win/version_info.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

constexpr int kLineBytes = 128;      // the driver's line buffer
constexpr int kColumns = 75;         // texts wrap before this column
constexpr int kPageMargin = 360;     // decipoints kept at the top and the bottom
constexpr int kLineHeight = 120;     // decipoints of one line
constexpr int kSpecPointSize = 100;


// One printout's line state and its way to the driver.
class SpecPrinter {
 public:
  explicit SpecPrinter(ReportRun* run) : run_(run), doc_(run->doc) {
    font_ = doc_->m_pFonts != nullptr ? FindDefaultFixedFont(*doc_->m_pFonts) : 0;
    BeginLine();
  }

  bool Ok() {
    if (doc_->m_nRunState >= 0) return true;
    if (pageOpen_) EndSpecPage(true);
    return false;
  }

  void BeginLine() {
    line_.clear();
    // The fixed-pitch font escape: ESC 3 font, style 0, 100 (10 points).
    const unsigned char esc[8] = {0x1B, 0x03, static_cast<unsigned char>(font_ & 0xFF),
                                  static_cast<unsigned char>((font_ >> 8) & 0xFF), 0, 0, kSpecPointSize, 0};
    line_.assign(reinterpret_cast<const char*>(esc), 8);
    column_ = 0;
  }

  void Char(char c) {
    if (static_cast<int>(line_.size()) >= kLineBytes) return;
    // Escape and control bytes of names or formulas never reach the stream.
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    line_.push_back(c);
    ++column_;
  }
  void Text(const std::string& t) {
    for (char c : t) Char(c);
  }
  void Spaces(int n) {
    for (int i = 0; i < n; ++i) Char(' ');
  }
  void Formatted(const char* format, ...) {
    char buf[512];  // bounded: names and paths may be long
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    Text(buf);
  }

  // 1 when the printout is to stop.
  int EndLine() {
    PageDriver* d = run_->driver;
    PageOutputState* s = run_->page;
    if (!d->HasEntry(5) || !d->HasEntry(6) || !d->HasEntry(10) || !d->HasEntry(12) ||
        doc_->m_nRunState == -2)
      return 1;
    if (doc_->m_nRunState == -1) {
      if (pageOpen_) EndSpecPage(true);
      doc_->m_nRunState = -2;
      return 1;
    }
    if (doc_->m_nRunState != 0) return 1;
    CheckRunCancelled();
    if (doc_->m_nRunState != 0) return EndLine();
    if (!pageOpen_) BeginPage();
    if (d->SpaceLeft(s, kPageMargin) < kLineHeight) {
      // The line that found the page full goes on the next page, not lost
      // with the buffer the page end begins afresh.
      const std::string pending = line_;
      const int pendingColumn = column_;
      EndSpecPage(false);
      line_ = pending;
      column_ = pendingColumn;
      if (doc_->m_nRunState != 0) {
        if (doc_->m_nRunState == -1) doc_->m_nRunState = -2;
        return 1;
      }
      BeginPage();
    }
    d->AdvanceBeforeLine(s, kLineHeight, 1);
    if (line_.size() > 8) {
      if (!d->HasEntry(14) ||
          !d->OutputLine(s, reinterpret_cast<const BYTE*>(line_.data()), static_cast<int>(line_.size()))) {
        if (doc_->m_nRunState == 0) ShowOutputRefused(run_);
        doc_->m_nRunState = -1;
      }
    }
    d->AdvanceAfterLine(s, 0, 1);
    BeginLine();
    return 0;
  }

  void BeginPage() {
    run_->driver->BeginPage(run_->page, kPageMargin, 1);
    pageOpen_ = true;
    ++run_->pageCount;
  }

  void EndSpecPage(bool final) {
    if (!pageOpen_) return;
    pageOpen_ = false;
    TheRunShell().PostPageNumber(*doc_);
    EndPage(doc_, final ? 1 : 0);
    BeginLine();
  }

  void Heading(const char* text) {
    Spaces(3);
    Text(text);
    EndLine();
  }

  // Label at indent, the text after it wrapped at textIndent.
  void Labeled(const char* label, const std::string& text, int indent, bool breakFirst, int textIndent) {
    if (label != nullptr) {
      EndLine();
      Spaces(indent);
      Text(label);
      Char(' ');
    }
    if (breakFirst) {
      EndLine();
      Spaces(textIndent);
    }
    Wrapped(text, textIndent);
  }

  // Words kept whole where they fit; a line feed starts a new line.
  void Wrapped(const std::string& text, int indent) {
    size_t i = 0;
    while (i < text.size()) {
      if (text[i] == '\n' || text[i] == '\r') {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        EndLine();
        Spaces(indent);
        ++i;
        continue;
      }
      size_t end = i;
      while (end < text.size() && text[end] != ' ' && text[end] != ',' && text[end] != '\n' && text[end] != '\r') ++end;
      if (end < text.size() && (text[end] == ' ' || text[end] == ',')) ++end;
      std::string piece = text.substr(i, end - i);
      if (column_ + static_cast<int>(piece.size()) >= kColumns && column_ > indent) {
        EndLine();
        Spaces(indent);
      }
      for (char c : piece) {
        if (column_ >= kColumns - 1) {
          EndLine();
          Spaces(indent);
        }
        Char(c);
      }
      i = end;
    }
  }

  void Ends(int n) {
    for (int i = 0; i < n; ++i) EndLine();
  }

  bool pageOpen() const { return pageOpen_; }

 private:
  ReportRun* run_;
  KmDocBase* doc_;
  int font_ = 0;
  std::string line_;
  int column_ = 0;
  bool pageOpen_ = false;
};

const char* TypeName(const FieldDef* f) {
  switch (FieldKind(f)) {
    case kFieldNumeric: return "Numeric";
    case kFieldDate: return "Date";
    case kFieldDateTime: return "DateTime";
    case kFieldTime: return "Time";
    case kFieldLogical: return "Logical";
    default: return (f->flags & kFieldMemo) ? "Memo" : "Character";
  }
}

const char* ShortTypeName(const FieldDef* f) {
  switch (FieldKind(f)) {
    case kFieldNumeric: return "Num";
    case kFieldDate: return "Date";
    case kFieldDateTime: return "DateTime";
    case kFieldTime: return "Time";
    case kFieldLogical: return "Log";
    default: return (f->flags & kFieldMemo) ? "Memo" : "Char";
  }
}

// Table fields as table.field, others by their name.
std::string QualifiedName(CKmComposite* m, const FieldDef* f) {
  if (f == nullptr) return std::string();
  if ((f->flags & (kFieldCalculation | kFieldAlias)) == 0 && !IsTotal(f) && f->table < m->tableCount &&
      m->tableSlots[f->table] != nullptr) {
    const TableSlot* t = m->tableSlots[f->table];
    std::string table = t->alias[0] ? std::string(t->alias, strnlen(t->alias, sizeof t->alias))
                                    : TableNameForSql(m, t, true);
    if (!table.empty()) return table + "." + f->name;
  }
  return f->name;
}

FieldDef* FieldById(CKmComposite* m, uint32_t id) { return id == kNoField ? nullptr : m->GetFieldAt(id); }

// The report's sort or group slots: the model's, or those its file held in
// the stream settings when the model has none yet.
const uint32_t* SlotsOf(KmDocBase* doc, CKmComposite* m, bool groups) {
  const uint32_t* own = groups ? m->groupFields : m->sortFields;
  if (own[0] != kNoField || doc->m_pRepIO == nullptr) return own;
  const auto& st = doc->m_pRepIO->m_stream.settings;
  return groups ? st.groupFields : st.sortFields;
}

// Hundredths of the report's unit as "%5.2f" wants it.
double InUnit(KmDocBase* doc, int pixels, bool vertical) {
  if (doc->m_pLayout == nullptr) return pixels / 100.0;
  const LayoutMetrics& lm = doc->m_pLayout->metrics;
  return (vertical ? PixelsToMeasureY(lm, pixels) : PixelsToMeasure(lm, pixels)) / 100.0;
}
bool Metric(KmDocBase* doc) { return doc->m_pLayout != nullptr && doc->m_pLayout->metrics.metric; }

// Day, month and year in the order of the user's short date picture and
// with its separator; years of the 1900s as two digits.
std::string FormatSpecDate(const IntlSettings& intl, int day, int month, int year) {
  char d[12], m[12], y[12];  // room for any int
  std::snprintf(d, sizeof d, "%02d", day);
  std::snprintf(m, sizeof m, "%02d", month);
  if (year >= 1900 && year <= 1999) std::snprintf(y, sizeof y, "%02d", year - 1900);
  else std::snprintf(y, sizeof y, "%04d", year);
  char order = 'M', separator = '/';
  bool seenOrder = false, seenSeparator = false;
  for (const char* c = intl.sShortDate; *c != 0; ++c) {
    const char u = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
    if (!seenOrder && (u == 'M' || u == 'D' || u == 'Y')) order = u, seenOrder = true;
    else if (!seenSeparator && !std::isalpha(static_cast<unsigned char>(*c))) separator = *c, seenSeparator = true;
  }
  const std::string sep(1, separator);
  if (order == 'D') return std::string(d) + sep + m + sep + y;
  if (order == 'Y') return std::string(y) + sep + m + sep + d;
  return std::string(m) + sep + d + sep + y;
}

// A file name as the page prints it: its letters in the code page, "?" for
// those a name kept in the system's spelling has beyond it.
std::string PrintedName(const std::string& name) { return Utf8ToAnsi(FileNameText(name)); }

// A file's label at 8 with its name at 12, then a line with the
// modification date and time of the file at path (nothing when the file
// cannot be found).
void PrintFileLine(SpecPrinter& p, KmDocBase* doc, const char* label, const std::string& name,
                   const std::string& path) {
  p.Labeled(label, PrintedName(name), 8, false, 12);
  FileInfo info;
  if (!GetFileInfoByPath(path, &info) && !GetFileInfoByPath(NativePath(path), &info)) return;
  const std::time_t when = static_cast<std::time_t>(info.modifiedSeconds);
  std::tm tm{};
  localtime_r(&when, &tm);
  p.EndLine();
  p.Spaces(12);
  p.Formatted("%s %-11.11s", "Date:", FormatSpecDate(doc->m_intl, tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900).c_str());
  p.Spaces(5);
  p.Formatted("%s %2d:%02d:%02d", "Time:", tm.tm_hour, tm.tm_min, tm.tm_sec);
}

void PrintHeader(SpecPrinter& p, KmDocBase* doc) {
  p.Spaces(5);
  p.Text(kAppTitle);
  p.EndLine();
  {
    const ProgramFileVersion v = GetProgramFileVersion();
    const int update = static_cast<int>((v.versionLs >> 12) & 0xF);
    const int major = static_cast<int>(v.versionMs >> 16), minor = static_cast<int>(v.versionMs & 0xFFFF);
    const int build = static_cast<int>(v.versionLs >> 16);
    p.Spaces(5);
    if (build != 0) p.Formatted("%s 2.0 U0%d  Build: %d.%d.%d", "Version:", update, major, minor, build);
    else p.Formatted("%s 2.0 U0%d  Build: %d.%d", "Version:", update, major, minor);
    p.EndLine();
  }
  SystemVersion os;
  if (GetSystemVersion(&os)) {
    p.Spaces(5);
    p.Formatted("%s %d.%d", os.name.c_str(), os.major, os.minor);
    p.EndLine();
    if (!os.servicePack.empty()) {
      p.Spaces(5);
      p.Text(os.servicePack);
      p.EndLine();
    }
  }
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  p.Spaces(5);
  p.Formatted("%s %02d/%02d/%04d", "Date:", tm.tm_mon + 1, tm.tm_mday, tm.tm_year + 1900);
  p.Spaces(5);
  p.Formatted("%s %2d:%02d", "Time:", tm.tm_hour, tm.tm_min);
  p.EndLine();
  const bool named = doc->m_szReportName[0] != 0;
  const bool member = doc->m_bLibraryMode != FALSE;
  const std::string& file = doc->GetPathName();
  if (named && !member && doc->m_bCompoundFile && !file.empty())
    PrintFileLine(p, doc, "Report Name:", doc->m_szReportName, file);
  else
    p.Labeled("Report Name:", named ? doc->m_szReportName : "None", 8, false, 12);
  if (doc->m_pRepIO != nullptr && !doc->m_pRepIO->m_stream.settings.comments.empty())
    p.Labeled(nullptr, doc->m_pRepIO->m_stream.settings.comments, 8, true, 8);
  int version = 8, revision = 1;
  if (named && doc->m_pRepIO != nullptr && doc->m_pRepIO->m_stream.version != 0) {
    version = doc->m_pRepIO->m_stream.version;
    revision = doc->m_pRepIO->m_stream.headerByte1;
  }
  p.EndLine();
  p.Spaces(8);
  p.Formatted("%s %d.%02d", "Report Version:", version, revision);
  if (named && member && !file.empty()) PrintFileLine(p, doc, "Report Library:", file, file);
  p.EndLine();
}

void PrintSelect(SpecPrinter& p, CKmComposite* m) {
  p.Ends(2);
  p.Heading("SELECT STATEMENT");
  p.EndLine();
  p.Spaces(8);
  if (m == nullptr || BuildSelectStatement(m, 2) != 0) return;
  p.Wrapped(GetSelectResult(m)->mainStatement, 8);
  p.EndLine();
}

void PrintFormat(SpecPrinter& p, ReportRun* run) {
  KmDocBase* doc = run->doc;
  const PageSetupRec* ps = doc->m_pPageSetup;
  const bool metric = Metric(doc);
  auto row = [&](const char* label, const std::string& value) {
    p.Spaces(10);
    p.Formatted("%s %s", label, value.c_str());
    p.EndLine();
  };
  auto yesNo = [](int32_t inverted) { return std::string(inverted == 0 ? "Yes" : "No"); };
  auto length = [&](int32_t v) {
    char t[32];
    std::snprintf(t, sizeof t, "%.2f %s", v / 100.0, metric ? "cm." : "inches");
    return std::string(t);
  };
  p.Ends(2);
  p.Heading("FORMAT INFORMATION");
  p.Spaces(8);
  p.Text("Print Options");
  p.EndLine();
  if (doc->m_szPrinterDevice[0]) {
    p.Spaces(10);
    p.Formatted("%s %s on %s", "Current printer:", doc->m_szPrinterDevice,
                doc->m_szPrinterPort[0] ? doc->m_szPrinterPort : "PDF");
    p.EndLine();
  }
  p.Spaces(10);
  p.Formatted("%s %d", "Number of report copies:", ps ? std::max<int>(1, ps->Copies) : 1);
  p.EndLine();
  p.Spaces(10);
  p.Formatted("%s %ld", "Starting page number:", static_cast<long>(run->startPage));
  p.EndLine();
  p.Spaces(10);
  p.Formatted("%s %ld", "Ending page number:", static_cast<long>(run->endPage));
  p.EndLine();
  if (ps == nullptr) return;
  static const char* const kBins[] = {"", "Upper Tray", "Lower Tray", "Middle", "Manual Feed", "Envelope Tray",
                                      "Envelope Manual", "Automatic", "Tractor Feed", "Small Format", "Large Format",
                                      "Large Capacity", "", "", "Cassette", ""};
  if (ps->PaperSource >= 0 && ps->PaperSource < 16) row("Paper Source:", kBins[ps->PaperSource]);
  std::string printFile;
  if (ps->OutputDestination == 2 && doc->m_pRepIO != nullptr) printFile = doc->m_pRepIO->m_stream.settings.printFileName;
  row("Print to File:", printFile.empty() ? "No" : PrintedName(printFile));
  row("Collate copies:", ps->Collate ? "Yes" : "No");
  p.Spaces(8);
  p.Text("Page Setup");
  p.EndLine();
  {
    char t[96];
    // The paper is kept in tenths of a millimetre.
    const double w = ps->PaperWidth / (metric ? 100.0 : 254.0), h = ps->PaperLength / (metric ? 100.0 : 254.0);
    std::snprintf(t, sizeof t, "%.2f x %.2f %s", w, h, metric ? "centimeters" : "inches");
    row("Page length:", t);
  }
  const struct {
    const char* label;
    int32_t value;
  } margins[] = {{"Top margin:", ps->TopMargin}, {"Bottom margin:", ps->BottomMargin},
                 {"Left margin:", ps->LeftMargin}, {"Right margin:", ps->RightMargin}};
  for (const auto& mg : margins) row(mg.label, length(mg.value));
  row("Page orientation:", ps->Landscape == 1 ? "Landscape" : "Portrait");
  row("Interline spacing:", yesNo(ps->NoLineSwitch));
  p.Spaces(8);
  p.Text("Record Layout");
  p.EndLine();
  row("Compress record/group lines?", yesNo(ps->NoCompressLines));
  row("Suppress record lines?", yesNo(ps->NoSuppressRecordLines));
  row("Headers/footers in summary?", yesNo(ps->NoHeadFootInSummary));
  row("Break record area?", yesNo(ps->NoBreakRecordArea));
  row("Record order:", ps->DownOrder == 1 ? "Down" : "Across");
  row("Records across:", std::to_string(ps->DownOrder == 1 ? ps->RecordsAcross : ps->ExtraColumns + 1));
  row("Record width:", length(ps->RecordWidth));
  row("Record height:", length(ps->RecordHeight));
}

void PrintDatabase(SpecPrinter& p, CKmComposite* m) {
  p.Ends(2);
  p.Heading("DATABASE INFORMATION");
  if (m == nullptr || m->tableCount == 0 || m->tableSlots[0] == nullptr) return;
  const TableSlot* master = m->tableSlots[0];
  std::string name = TableNameForSql(m, master, true);
  std::string alias(master->alias, strnlen(master->alias, sizeof master->alias));
  if (!alias.empty() && strcasecmp(alias.c_str(), name.c_str()) != 0) name += "   (Alias: " + alias + ")";
  if (DataAccess* da = GetDataAccess(m)) {
    if (const DataSourceSettings* ds = da->Current()) {
      p.Labeled("Data Source:", da->GetCurrentDataSourceName(), 8, false, 12);
      p.Labeled("DS Driver:", std::string(ds->driverName, strnlen(ds->driverName, sizeof ds->driverName)), 8, false,
                12);
      p.Labeled("DS Driver DBMS:",
                std::string(ds->dbmsName, strnlen(ds->dbmsName, sizeof ds->dbmsName)) + "  Version: " +
                    std::string(ds->dbmsVersion, strnlen(ds->dbmsVersion, sizeof ds->dbmsVersion)),
                8, false, 12);
    }
  }
  p.Labeled("Master Table:", name, 8, false, 12);
  if (m->tableCount > 1) {
    p.EndLine();
    p.Spaces(8);
    p.Text("Related Tables:");
    for (uint32_t i = 1; i < m->tableCount; ++i) {
      const TableSlot* t = m->tableSlots[i];
      if (t == nullptr) continue;
      std::string a(t->alias, strnlen(t->alias, sizeof t->alias));
      p.Labeled("Table:", TableNameForSql(m, t, true) + (a.empty() ? "" : "   (Alias: " + a + ")"), 10, false, 12);
    }
    p.Ends(2);
    p.Spaces(8);
    p.Text("Table Joins:");
    std::string relation;
    for (int n = 1; n < 100 && p.Ok() && FormatRelationExpression(m, n, relation) == 0; ++n) {
      p.EndLine();
      p.Spaces(10);
      p.Formatted("%d. ", n);
      p.Wrapped(relation, 13);
      relation.clear();
    }
  }
  p.EndLine();
}

void PrintFilter(SpecPrinter& p, CKmComposite* m) {
  p.Ends(2);
  p.Heading("FILTER INFORMATION");
  p.Spaces(8);
  std::string text;
  if (m == nullptr || !DescribeFilter(m, &text) || text.empty()) {
    p.Text("None");
    p.EndLine();
    return;
  }
  p.Wrapped(text, 8);
  p.EndLine();
}


std::string ColourName(BYTE code) {
  if (code >= kColorCount) return "None";
  const char* t = GetResString(ColorTable[code].nameId, 0);
  return t ? t : "";
}

// The (font, size) pairs met while listing, numbered from 1; a full list
// gives further new pairs number 0.
struct SpecFontList {
  std::vector<std::pair<int, int>> pairs;
  int Number(int font, int size) {
    for (size_t i = 0; i < pairs.size(); ++i)
      if (pairs[i].first == font && pairs[i].second == size) return static_cast<int>(i) + 1;
    if (pairs.size() >= 100) return 0;
    pairs.emplace_back(font, size);
    return static_cast<int>(pairs.size());
  }
};

// The graphic items met while listing, by kind, in the order met.
struct SpecGraphics {
  std::vector<const PictureItem*> pictures;
  std::vector<const LineBoxItem*> lines, boxes;
  std::vector<const ChartTableEntry*> charts;
};

// A picture with the break character (if any) shown as a blank and, for
// calculated fields, in capitals.
std::string FieldFormatText(KmDocBase* doc, FieldDef* f) {
  const uint32_t kind = FieldKind(f);
  std::string text;
  if (kind == kFieldNumeric) {
    static const char* const kStyles[] = {"??", "Exponential", "General", "??", "Percent", "Fixed", "Currency", "Comma"};
    const uint32_t style = f->formatCode & 0xF;
    text = style < 8 ? kStyles[style] : "??";
  } else if (kind == kFieldDate || kind == kFieldDateTime || kind == kFieldTime) {
    FormatSettings fs;
    TakeDocumentFormat(fs, *doc);
    char buf[300] = {};
    char suffix[64] = {};
    BuildFieldPicture(fs, f, buf, suffix, ' ');
    text = buf;
    if (IsCalc(f) || IsTotal(f))
      for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  } else {
    switch (f->formatCode & 0xF0) {
      case 0x10: text = "Left"; break;
      case 0x20: text = "Center"; break;
      case 0x30: text = "Right"; break;
      case 0x40: text = "Wrapped"; break;
      default: text = "??"; break;
    }
  }
  return text;
}

std::string Attributes(const ReportItemHead* h) {
  std::string a;
  if (h->fontStyle & 1) a += 'B';
  if (h->fontStyle & 4) a += 'U';
  if (h->fontStyle & 2) a += 'I';
  if (h->fontStyle & 8) a += 'S';
  return a.empty() ? std::string(" ") : a;
}

std::string FileNameOnly(const char* path) {
  const char* slash = std::strrchr(path, '/');
  const char* back = std::strrchr(path, '\\');
  if (back != nullptr && (slash == nullptr || back > slash)) slash = back;
  return slash ? slash + 1 : path;
}

// One row per layout item, line by line.
void PrintItems(SpecPrinter& p, KmDocBase* doc, CKmComposite* m, SpecFontList& fonts, SpecGraphics& g) {
  const char* unit = Metric(doc) ? "Cm" : "In";
  p.Spaces(3);
  p.Formatted(" Band Line Pos:%s Width          Field       Type  Format   Font Att Trm Clr", unit);
  p.EndLine();
  p.Spaces(3);
  p.Text("------ --- ----- -------- -------------------- - ----------- --- ---- - -----");
  p.EndLine();
  const BandLineRec* lines = doc->m_bandLines.lines;
  if (lines == nullptr || doc->m_pLayout == nullptr || m->itemListHead == nullptr) {
    p.Spaces(8);
    p.Text("None");
    p.EndLine();
    return;
  }
  std::vector<int> numberInBand(256, 0);
  for (int i = 0; i < kBandLineTableRecords && lines[i].kind != 255; ++i) {
    if (doc->m_nRunState == -2 || !p.Ok()) return;
    const int number = ++numberInBand[lines[i].kind];
    std::vector<ReportItemHead*> items;
    ForEachLayoutItem(*doc->m_pLayout, [&](ReportItemHead& h) {
      if (h.bandLine == i) items.push_back(&h);
    });
    std::stable_sort(items.begin(), items.end(),
                     [](const ReportItemHead* a, const ReportItemHead* b) { return a->left < b->left; });
    if ((lines[i].flags & 1) || items.empty()) {
      p.Spaces(3);
      p.Formatted("%-6.6s %3d %s", SpecBandName(lines[i].kind).c_str(), number,
                  (lines[i].flags & 1) ? "---------------- New-Page-Line --------------------"
                                       : "------------------- Blank Line --------------------");
      p.EndLine();
      continue;
    }
    for (ReportItemHead* h : items) {
      if (ShapeOfFlags(h->flags) == ItemShape::Mixed) continue;  // no one record to describe
      p.Spaces(3);
      p.Formatted("%-6.6s %3d %5.2f ", SpecBandName(lines[i].kind).c_str(), number, InUnit(doc, h->left, false));
      const bool graphic = (h->flags & kItemGraphicKinds) != 0;
      if (graphic) {
        p.Spaces(9);
        if (h->flags & kItemKindLine) {
          g.lines.push_back(LineBoxOfItem(h));
          p.Formatted("%s%-16d", "Line", static_cast<int>(g.lines.size()));
        } else if (h->flags & kItemKindBox) {
          g.boxes.push_back(LineBoxOfItem(h));
          p.Formatted("%s%-17d", "Box", static_cast<int>(g.boxes.size()));
        } else if (h->flags & kItemKindChart) {
          g.charts.push_back(ChartOfItem(h));
          p.Formatted("%s%-17d", "Chart", static_cast<int>(g.charts.size()));
        } else if (h->flags & kItemKindPicture) {
          const PictureItem* pic = PictureOfItem(h);
          g.pictures.push_back(pic);
          std::string name = PrintedName(FileNameOnly(pic->fileName));
          if (name.size() > 20) name = name.substr(0, 17) + "..";
          p.Formatted("%-20.20s", name.c_str());
        } else {
          const CKmCntrItem* item = FindOleItem(*doc->m_pLayout, h);
          std::string type = item != nullptr ? OleItemLabel(*item, GetResString(7001, 0)) : "";
          if (type.size() > 20) type = type.substr(0, 18) + "..";
          p.Formatted("%-20.20s", type.c_str());
        }
        p.EndLine();
        continue;
      }
      std::string width, name, type, format;
      if (FieldDef* f = FieldOfItem(h)) {
        char w[32];
        if (FieldKind(f) == 0 && (f->flags2 & 0x3) != 0) {
          char num[16];
          std::snprintf(num, sizeof num, "%5.2f", h->width / 100.0);
          std::snprintf(w, sizeof w, "%5.5s %s", num, (f->flags2 & 0x1) ? "In" : "Cm");
        } else {
          std::snprintf(w, sizeof w, "%3d %s", h->width, "Chr");
        }
        width = w;
        name = QualifiedName(m, f);
        type = std::string(1, ShortTypeName(f)[0]);
        format = FieldFormatText(doc, f);
      } else {
        const TextItem* t = TextOfItem(h);
        std::string text = t != nullptr && t->text ? t->text : "";
        char w[32];
        std::snprintf(w, sizeof w, "%3d %s", static_cast<int>(text.size()), "Chr");
        width = w;
        if (text.size() > 20) text = text.substr(0, 17) + "...";
        name = text;
        type = "T";
        format = t->alignment == kAlignLeft ? "Left" : t->alignment == kAlignCentre ? "Center"
                 : t->alignment == kAlignRight ? "Right" : "??";
      }
      p.Formatted("%-8s %-20.20s %s %-11s %3d %-4s %s %-5.5s", width.c_str(), name.c_str(), type.c_str(),
                  format.c_str(), fonts.Number(h->fontIndex, h->pointSize), Attributes(h).c_str(),
                  (h->flags & 0x2) ? "N" : "Y", ColourName(h->colour).c_str());
      p.EndLine();
    }
  }
}

void PrintFontList(SpecPrinter& p, KmDocBase* doc, const SpecFontList& fonts) {
  p.Ends(2);
  p.Spaces(8);
  p.Text("       Font Names");
  p.EndLine();
  p.Spaces(8);
  p.Text("------------------------");
  p.EndLine();
  for (size_t i = 0; i < fonts.pairs.size() && p.Ok(); ++i) {
    const int index = fonts.pairs[i].first;
    const char* face = doc->m_pFonts != nullptr && index >= 0 &&
                               index < static_cast<int>(doc->m_pFonts->table.size())
                           ? doc->m_pFonts->table[index].logFont.lfFaceName
                           : "";
    p.Spaces(8);
    p.Formatted("%d %-20s %4.1f", static_cast<int>(i) + 1, face, fonts.pairs[i].second / 10.0);
    p.EndLine();
  }
}

// OLE objects and pictures share one table form.
void PrintSizedTable(SpecPrinter& p, KmDocBase* doc, const char* heading, const char* firstColumn,
                     const std::vector<std::pair<std::string, const ReportItemHead*>>& rows,
                     const std::vector<int>& scalings) {
  p.Ends(2);
  p.Spaces(8);
  p.Text(heading);
  p.EndLine();
  p.Spaces(8);
  p.Formatted("%-27sWidth     Height   Scaling", firstColumn);
  p.EndLine();
  p.Spaces(8);
  p.Text("------------------------  --------  --------  -------");
  p.EndLine();
  const char* unit = Metric(doc) ? "Cm" : "In";
  static const char* const kScaling[] = {"Zoom", "Crop", "Stretch"};
  for (size_t i = 0; i < rows.size() && p.Ok(); ++i) {
    const ReportItemHead* h = rows[i].second;
    p.Spaces(8);
    p.Wrapped(rows[i].first, 10);
    if (rows[i].first.size() >= 26) {
      p.EndLine();
      p.Spaces(8 + 26);
    } else {
      p.Spaces(26 - static_cast<int>(rows[i].first.size()));
    }
    const double w = InUnit(doc, h->right - h->left + 1, false);
    const double ht = InUnit(doc, h->bottom - h->top + 1, true);
    const char* scaling = scalings[i] >= 0 && scalings[i] <= 2 ? kScaling[scalings[i]] : "";
    if (i == 0) p.Formatted("%5.2f %s  %5.2f %s  %-7s", w, unit, ht, unit, scaling);
    else p.Formatted("%5.2f     %5.2f     %-7s", w, ht, scaling);
    p.EndLine();
  }
}

void PrintLinesAndBoxes(SpecPrinter& p, KmDocBase* doc, const SpecGraphics& g) {
  if (g.lines.empty() && g.boxes.empty()) return;
  p.Ends(2);
  p.Spaces(8);
  p.Text("LINE AND BOX FIELDS");
  p.EndLine();
  p.Spaces(8);
  p.Text("Object   Width     Height   Thick  Color  Fore   Back   Show  Pattern");
  p.EndLine();
  p.Spaces(8);
  p.Text("------  --------  --------  -----  -----  -----  -----  ----  -------");
  p.EndLine();
  const char* unit = Metric(doc) ? "Cm" : "In";
  bool first = true;
  auto measure = [&](double v) {
    if (v == 0) p.Spaces(7);
    else p.Formatted("  %5.2f", v);
    if (first) p.Formatted("%3s", unit);
    else p.Spaces(3);
  };
  for (size_t i = 0; i < g.lines.size() && p.Ok(); ++i) {
    const LineBoxItem* l = g.lines[i];
    p.Spaces(8);
    p.Formatted("%s%-2d", "Line", static_cast<int>(i) + 1);
    measure(InUnit(doc, l->head.right - l->head.left, false));
    measure(InUnit(doc, l->head.bottom - l->head.top, true));
    first = false;
    p.Formatted("    %d    %-5.5s", l->thickness / 2 + 1, ColourName(l->borderColour).c_str());
    p.EndLine();
  }
  for (size_t i = 0; i < g.boxes.size() && p.Ok(); ++i) {
    const LineBoxItem* b = g.boxes[i];
    p.Spaces(8);
    p.Formatted("%s%-3d", "Box", static_cast<int>(i) + 1);
    measure(InUnit(doc, b->head.right - b->head.left, false));
    measure(InUnit(doc, b->head.bottom - b->head.top, true));
    first = false;
    std::string sides;
    if (b->borders & 4) sides += 'T';
    if (b->borders & 2) sides += 'R';
    if (b->borders & 8) sides += 'B';
    if (b->borders & 1) sides += 'L';
    if (sides.size() == 4) sides = "All";
    if (sides.empty()) sides = "None";
    p.Formatted("    %d    %-5.5s  %-5.5s  %-5.5s  %-4s", b->thickness / 2 + 1, ColourName(b->borderColour).c_str(),
                ColourName(b->foreColour).c_str(),
                b->backColour == kNoColour ? "None" : ColourName(b->backColour).c_str(), sides.c_str());
    static const int kPatterns[] = {6, 7, 5, 2, 3, 4};
    if (b->pattern == 255) p.Formatted("     %d", 1);
    else if (b->pattern < 6) p.Formatted("     %d", kPatterns[b->pattern]);
    p.EndLine();
  }
}

void PrintCharts(SpecPrinter& p, KmDocBase* doc, CKmComposite* m, const SpecGraphics& g) {
  if (g.charts.empty()) return;
  p.Ends(2);
  p.Spaces(8);
  p.Text("CHART FIELDS");
  p.EndLine();
  auto line = [&](int indent, const std::string& text) {
    p.Spaces(indent);
    p.Text(text);
    p.EndLine();
  };
  auto fieldName = [&](uint32_t id) {
    FieldDef* f = FieldById(m, id);
    return f ? QualifiedName(m, f) : std::string();
  };
  for (size_t i = 0; i < g.charts.size() && p.Ok(); ++i) {
    const CKmChart* c = dynamic_cast<const CKmChart*>(g.charts[i]->chart.get());
    p.Ends(2);
    p.Spaces(8);
    p.Formatted("%s%-3d", "Chart", static_cast<int>(i) + 1);
    if (c == nullptr) {
      p.EndLine();
      continue;
    }
    const ChartSettings& st = c->Settings();
    const char* type = "Unknown type";
    switch (st.type) {
      case 1: case 2: type = "Pie"; break;
      case 3: case 4: type = "Bar"; break;
      case 6: case 13: type = "Line"; break;
      case 8: case 14: type = "Area"; break;
      case 9: type = "Scatter"; break;
      case 11: type = "OHLC"; break;
      case 12: type = "Bubble"; break;
      default: break;
    }
    static const char* const kSub[] = {"Simple", "Stacked", "Stacked percentage", "Stacked floating", "Absolute",
                                       "High-Low-Close", "Open-High-Low-Close", "Candlestick", "High-Low"};
    const char* sub = st.subStyle >= 1 && st.subStyle <= 9 ? kSub[st.subStyle - 1] : "";
    const bool threeD = st.type == 2 || st.type == 4 || st.type == 13 || st.type == 14;
    static const char* const kGrid[] = {"None", "Horizontal", "Vertical", "Both"};
    char bars[64] = "";
    if (st.type == 3 || st.type == 4)
      std::snprintf(bars, sizeof bars, "%s = %s,", "Bars", st.orientation == 1 ? "Horizontal" : "Vertical");
    p.Formatted("%s (%s, %s %s, %s = %s)", type, sub, bars, threeD ? "3D" : "2D", "Grid lines",
                kGrid[st.gridLines & 3]);
    p.EndLine();
    line(8, "Value Fields:");
    for (const ChartSeries& s : st.series) line(10, fieldName(s.field));
    line(8, "Label Field: " + fieldName(st.labelField));
    line(8, "Chart Title: " + st.titles[0]);
    line(8, "X-axis Title: " + st.titles[1]);
    line(8, "Y-axis Title: " + st.titles[2] + " (Left-to-right)");
    line(8, std::string("Legend: ") + (st.legend ? "Yes" : "No"));
    line(8, std::string("Label points: ") + (st.dataLabels ? "Yes" : "No"));
    p.Spaces(8);
    p.Text("Size:");
    p.Formatted(" %5.2f", InUnit(doc, g.charts[i]->head.right - g.charts[i]->head.left + 1, false));
    p.Formatted(" x %5.2f", InUnit(doc, g.charts[i]->head.bottom - g.charts[i]->head.top + 1, true));
    p.Formatted("%3s", Metric(doc) ? "Cm" : "In");
    p.EndLine();
    line(8, std::string("Anchor: ") + (st.anchorMode ? "Bottom" : "Top"));
    if (st.rangeMode == 1) {
      p.Spaces(8);
      p.Formatted("%s: %s, %f - %f", "Range", "User-defined", st.rangeMin, st.rangeMax);
      p.EndLine();
    } else {
      line(8, "Range: Automatic");
    }
    std::string faces;
    for (const std::string& f : st.faces)
      if (!f.empty() && faces.find(f) == std::string::npos) faces += (faces.empty() ? "" : ", ") + f;
    line(8, "Font: " + faces);
    static const char* const kPalettes[] = {"16-Color", "Shades of gray", "Pastels", "Shades of RGBCMY", "Rainbow",
                                            "Shades of red", "Shades of green", "Shades of blue", "Shades of cyan",
                                            "Shades of magenta", "Shades of yellow"};
    if (st.colourScheme < 11) line(8, std::string("Palette: ") + kPalettes[st.colourScheme]);
  }
}

void PrintGraphicTables(SpecPrinter& p, KmDocBase* doc, CKmComposite* m, const SpecGraphics& g) {
  // The document's objects, whether or not the lines listed them.
  std::vector<std::pair<std::string, const ReportItemHead*>> objects;
  std::vector<int> objectScalings;
  const LayoutTables* t = doc->m_pLayout;
  for (int i = 0; t != nullptr && i < t->oleItems.Count(); ++i) {
    const CKmCntrItem& item = *t->oleItems.At(i);
    if (item.head.flags & (kItemDeleted | kItemInClipboard)) continue;
    objects.emplace_back(OleItemLabel(item, GetResString(7001, 0)), &item.head);
    objectScalings.push_back(item.scaling);
  }
  if (!objects.empty()) PrintSizedTable(p, doc, "OLE OBJECT FIELDS", "Type", objects, objectScalings);
  if (!g.pictures.empty()) {
    std::vector<std::pair<std::string, const ReportItemHead*>> rows;
    std::vector<int> scalings;
    for (const PictureItem* pic : g.pictures) rows.emplace_back(PrintedName(pic->fileName), &pic->head), scalings.push_back(pic->scaling);
    PrintSizedTable(p, doc, "PICTURE FIELDS", "File", rows, scalings);
  }
  PrintLinesAndBoxes(p, doc, g);
  PrintCharts(p, doc, m, g);
}

void PrintFields(SpecPrinter& p, KmDocBase* doc, CKmComposite* m) {
  p.Ends(3);
  p.Heading("FIELD INFORMATION");
  if (m == nullptr) return;
  SpecFontList fonts;
  SpecGraphics graphics;
  PrintItems(p, doc, m, fonts, graphics);
  if (doc->m_nRunState == -2) return;
  PrintFontList(p, doc, fonts);
  PrintGraphicTables(p, doc, m, graphics);
  p.Ends(2);
  std::vector<FieldDef*> list;
  int calcs = 0, totals = 0;
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) {
    if (IsAlias(f)) continue;
    if (IsTotal(f)) ++totals;
    else if (IsCalc(f)) ++calcs;
    else continue;
    list.push_back(f);
  }
  std::sort(list.begin(), list.end(), [](const FieldDef* a, const FieldDef* b) { return std::strcmp(a->name, b->name) < 0; });
  p.EndLine();
  p.Spaces(5);
  p.Formatted("%d Calculated and %d Total Fields", calcs, totals);
  p.EndLine();
  for (FieldDef* f : list) {
    if (!p.Ok()) return;
    p.EndLine();
    p.Spaces(5);
    p.Formatted("%-10.10s(%-20.20s) %s ", f->name, QualifiedName(m, f).c_str(), TypeName(f));
    if (IsTotal(f)) p.Text((f->flags & kFieldTotalRelated) ? "Total from Total" : "Total");
    else p.Text((f->flags & kFieldTotalRelated) ? "Calculated from Total" : "Calculated");
    if (f->text != nullptr && f->text[0]) p.Labeled(nullptr, std::string(), 0, true, 8), p.Wrapped(f->text, 8);
    if (IsTotal(f)) {
      char what[600] = {};
      BuildTotalDescription(m, f, what, sizeof what, 1, [&](int level) -> const FieldDef* {
        return level >= 0 && level < 8 ? FieldById(m, SlotsOf(doc, m, true)[level]) : nullptr;
      });
      p.Labeled(nullptr, what, 0, true, 8);
      if (f->conditionText != nullptr && f->conditionText[0]) {
        p.Labeled(nullptr, std::string("Condition: ") + f->conditionText, 0, true, 8);
        if (f->conditionCode == nullptr) p.Labeled(nullptr, "(Cannot be evaluated)", 0, true, 8);
      }
    } else {
      p.Labeled(nullptr, f->exprText ? f->exprText : "", 0, true, 8);
      if (f->code == nullptr) p.Labeled(nullptr, "(Cannot be evaluated)", 0, true, 8);
      if (f->sqlText != nullptr && f->sqlText[0]) p.Labeled(nullptr, std::string("Translation: ") + f->sqlText, 0, true, 8);
    }
    p.EndLine();
  }
  // FIELD DATA TYPES.
  p.Ends(2);
  p.Spaces(8);
  p.Text("FIELD DATA TYPES");
  p.EndLine();
  p.Spaces(8);
  p.Text("       Field         Rep type Database type");
  p.EndLine();
  p.Spaces(8);
  p.Text("-------------------- -------- -------------");
  p.EndLine();
  for (FieldDef* f = m->fieldList; f != nullptr && p.Ok(); f = f->next) {
    if (f->flags & (kFieldAlias | kFieldMemo)) continue;
    if (IsCalc(f) || IsTotal(f)) continue;
    p.Spaces(8);
    p.Formatted("%-20.20s %-8s", QualifiedName(m, f).c_str(), ShortTypeName(f));
    // The data sources here name no type table of their own: the driver's type number.
    if (f->dataBinding != nullptr) p.Formatted(" code %ld", f->dataBinding->dbType);
    p.EndLine();
  }
}

void PrintLines(SpecPrinter& p, KmDocBase* doc, CKmComposite* m) {
  p.Ends(2);
  p.Heading("LINE INFORMATION");
  p.Spaces(5);
  p.Text("Conditional Lines:");
  p.Ends(2);
  const BandLineRec* lines = doc->m_bandLines.lines;
  bool any = false;
  for (int i = 0; lines != nullptr && m != nullptr && i < kBandLineTableRecords && p.Ok(); ++i) {
    const BandLineRec& l = lines[i];
    if (l.kind == 255 || l.objectId < 0) continue;
    FieldDef* cond = FieldById(m, static_cast<uint32_t>(l.objectId));
    if (cond == nullptr) continue;
    if (!any) {
      p.Spaces(8);
      p.Text("  Band    Line    Condition Field     Print If");
      p.EndLine();
      p.Spaces(8);
      p.Text("--------  ----  --------------------  --------");
      p.EndLine();
      any = true;
    }
    int number = 1;
    for (int j = 0; j < i; ++j) number += lines[j].kind == l.kind;
    p.Spaces(8);
    p.Formatted("%-8.8s  %4d  %-20.20s  %s", SpecBandName(l.kind).c_str(), number, QualifiedName(m, cond).c_str(),
                (l.flags & 8) ? "False" : "True");
    p.EndLine();
  }
  if (!any) {
    p.Spaces(8);
    p.Text("None");
    p.EndLine();
  }
}

void PrintSortGroup(SpecPrinter& p, KmDocBase* doc, CKmComposite* m) {
  p.Ends(2);
  p.Heading("SORT/GROUP INFORMATION");
  if (m == nullptr) return;
  const GroupSetup setup = ModelGroupSetup(m);
  const uint32_t* sorts = SlotsOf(doc, m, false);
  const uint32_t* groups = SlotsOf(doc, m, true);
  FieldDef* firstSort = FieldById(m, sorts[0]);
  FieldDef* firstGroup = FieldById(m, groups[0]);
  if (firstSort == nullptr && firstGroup == nullptr) {
    p.Spaces(8);
    p.Text("None");
    p.EndLine();
    return;
  }
  for (const char* header : {"                     Sort                       Print  Rst  Swap   Rpt",
                             "     Sort Fields     Order    Group Fields      Data   Pg# Hdr Ftr Hdr",
                             "---------------------- - ---------------------- ------ --- --- --- ---"}) {
    p.Spaces(5);
    p.Text(header);
    p.EndLine();
  }
  for (int i = 0; i < 8 && p.Ok(); ++i) {
    FieldDef* s = FieldById(m, sorts[i]);
    FieldDef* g = FieldById(m, groups[i]);
    if (s == nullptr && g == nullptr) break;
    // Columns 5, 28, 30, 53, 61, 65, 69 and 73 of the header lines.
    std::string row(5, ' ');
    auto at = [&](size_t column, const std::string& text) {
      if (row.size() < column) row.append(column - row.size(), ' ');
      row += text;
    };
    char buf[64];
    if (s != nullptr) {
      std::snprintf(buf, sizeof buf, "%d %-20.20s", i + 1, s->name);
      at(5, buf);
      at(28, setup.directions[i] ? "A" : "D");
    }
    if (g != nullptr) {
      std::snprintf(buf, sizeof buf, "%d %-20.20s", i + 1, g->name);
      at(30, buf);
      const unsigned flags = m->groupFlags[i];
      at(53, (flags & 0x4) ? "Once" : "Always");
      at(61, (flags & 0x2) ? "Y" : "N");
      at(65, (flags & 0x10) ? "Y" : "N");
      at(69, (flags & 0x8) ? "Y" : "N");
      at(73, (flags & 0x20) ? "Y" : "N");
    }
    p.Text(row);
    p.EndLine();
  }
}

void PrintHeightOverrides(SpecPrinter& p, KmDocBase* doc) {
  p.Ends(2);
  p.Spaces(5);
  p.Text("Line Height Overrides:");
  p.Ends(2);
  const BandLineRec* lines = doc->m_bandLines.lines;
  bool any = false;
  std::vector<int> numberInBand(256, 0);
  for (int i = 0; lines != nullptr && i < kBandLineTableRecords && lines[i].kind != 255 && p.Ok(); ++i) {
    const BandLineRec& l = lines[i];
    const int number = ++numberInBand[l.kind];
    if (l.heightMode == 0) continue;
    if (!any) {
      p.Spaces(8);
      p.Text("  Band    Line     Height");
      p.EndLine();
      p.Spaces(8);
      p.Text("--------  ----  ------------");
      p.EndLine();
      any = true;
    }
    const unsigned h = l.height & 0xFFFF;
    char value[32];
    // At least three digits before the point and one after, blank-padded.
    if (l.heightMode == 1) std::snprintf(value, sizeof value, "%3u.%01u %s", h / 10, h % 10, "points");
    else std::snprintf(value, sizeof value, " %u.%02u %s", h / 100, h % 100, Metric(doc) ? "centimeters" : "inches");
    p.Spaces(8);
    p.Formatted("%-8.8s  %4d  %s", SpecBandName(l.kind).c_str(), number, value);
    p.EndLine();
  }
  if (!any) {
    p.Spaces(8);
    p.Text("None");
    p.EndLine();
  }
}

const char* SeparatorName(char c) {
  switch (c) {
    case '.': return "DOT  ";
    case ',': return "COMMA";
    case ' ': return "SPACE";
    case '(': return "Parentheses";
    case '-': return "Minus sign ";
    default: return "??";
  }
}

void PrintRegional(SpecPrinter& p, KmDocBase* doc) {
  p.Ends(2);
  p.Heading("REGIONAL SETTINGS");
  const IntlSettings& in = doc->m_intl;
  auto row = [&](const char* label, const std::string& value) {
    p.Spaces(8);
    p.Formatted("%s: ", label);
    p.Text(value);
    p.EndLine();
  };
  row("Decimal point", SeparatorName(in.sDecimal));
  row("Thousands", SeparatorName(in.sThousand));
  std::string symbol(in.sCurrency, strnlen(in.sCurrency, sizeof in.sCurrency));
  while (!symbol.empty() && symbol.back() == ' ') symbol.pop_back();
  while (!symbol.empty() && symbol.front() == ' ') symbol.erase(0, 1);
  row("Currency", symbol + " (" + (in.currencyBefore ? "Prefix" : "Suffix") + ")");
  row("Short Date", std::string(in.sShortDate, strnlen(in.sShortDate, sizeof in.sShortDate)));
  row("True", std::string(doc->m_settings.logT, strnlen(doc->m_settings.logT, sizeof doc->m_settings.logT)));
  row("False", std::string(doc->m_settings.logF, strnlen(doc->m_settings.logF, sizeof doc->m_settings.logF)));
}

void PrintExportOptions(SpecPrinter& p, const std::vector<SpecExportBlock>* exports) {
  if (exports == nullptr || exports->empty()) return;
  p.EndLine();
  p.Spaces(8);
  p.Text("Export Options");
  for (const SpecExportBlock& b : *exports) {
    if (!p.Ok()) return;
    p.EndLine();
    p.Spaces(10);
    p.Formatted("%s %s", "Export", b.formatName.c_str());
    p.Labeled("File name:", PrintedName(b.path), 12, false, 14);
    for (const auto& l : b.lines) {
      p.EndLine();
      p.Spaces(l.first);
      p.Text(l.second);
    }
  }
  p.EndLine();
}

}  // namespace

std::string SpecBandName(int band) {
  switch (band) {
    case kBandTitle: return "Title";
    case kBandPageHeader: return "Pg Hdr";
    case kBandRecord: return "Record";
    case kBandPageFooter: return "Pg Ftr";
    case kBandSummary: return "Summary";
    default: break;
  }
  char text[16];
  if (band >= kBandGroupHeader && band < kBandGroupHeader + 8)
    std::snprintf(text, sizeof text, "Hdr %d", band - kBandGroupHeader + 1);
  else if (band >= kBandGroupFooter && band < kBandGroupFooter + 8)
    std::snprintf(text, sizeof text, "Ftr %d", band - kBandGroupFooter + 1);
  else std::snprintf(text, sizeof text, "%d", band);
  return text;
}

void PrintReportSpecification(ReportRun* run, const std::vector<SpecExportBlock>* exports) {
  if (run == nullptr || run->doc == nullptr || run->driver == nullptr || run->page == nullptr) return;
  KmDocBase* doc = run->doc;
  CKmComposite* m = doc->m_pModel;
  SpecPrinter p(run);
  if (run->driver->HasEntry(12)) p.BeginPage();
  if (p.Ok()) PrintHeader(p, doc);
  if (p.Ok()) PrintSelect(p, m);
  if (p.Ok()) PrintFormat(p, run);
  if (p.Ok()) PrintExportOptions(p, exports);
  if (p.Ok()) PrintDatabase(p, m);
  if (p.Ok()) PrintFilter(p, m);
  p.Ends(3);
  if (p.Ok()) PrintFields(p, doc, m);
  if (p.Ok()) PrintLines(p, doc, m);
  if (p.Ok()) PrintHeightOverrides(p, doc);
  if (p.Ok() && doc->m_nRunState != -2) PrintSortGroup(p, doc, m);
  if (p.Ok()) PrintRegional(p, doc);
  p.EndLine();
  if (doc->m_nRunState == 0) p.EndSpecPage(true);
}
