#include "engine/report_spec.h"

#include "core/composite.h"
#include "data/select_builder.h"
#include "engine/output_messages.h"
#include "engine/report_run.h"
#include "files/report_io.h"
#include "layout/layout_records.h"
#include "model/filter_spec.h"
#include "engine/run_report.h"
#include <strings.h>
#include "foundation/band_lines.h"
#include "foundation/doc_base.h"
#include "foundation/page_metrics.h"

#include <algorithm>
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

const char* const kBandNames[] = {"Title", "Pg Hdr", "Record", "Pg Ftr", "Summary"};

// One printout's line state and its way to the driver.
class SpecPrinter {
 public:
  explicit SpecPrinter(ReportRun* run) : run_(run), doc_(run->doc) {
    const PageOutputState* s = run->page;
    font_ = s->courierNewIndex >= 0 ? s->courierNewIndex : s->courierIndex >= 0 ? s->courierIndex : 0;
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
    if (run_->links.pumpMessages) run_->links.pumpMessages();
    if (doc_->m_nRunState != 0) return EndLine();
    if (!pageOpen_) BeginPage();
    if (d->SpaceLeft(s, kPageMargin) < kLineHeight) {
      EndSpecPage(false);
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
        doc_->m_nRunState = -1;
        ShowOutputError(OutputMessageText(626));
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
    if (run_->links.progress) run_->links.progress(doc_, kProgressPages, static_cast<uint32_t>(run_->pageCount));
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

const char* BandName(int band) {
  switch (band) {
    case kBandTitle: return kBandNames[0];
    case kBandPageHeader: return kBandNames[1];
    case kBandRecord: return kBandNames[2];
    case kBandPageFooter: return kBandNames[3];
    case kBandSummary: return kBandNames[4];
    default: break;
  }
  static char text[16];
  if (band > kBandPageHeader && band < kBandRecord) std::snprintf(text, sizeof text, "Hdr %d", band / 5 - 1);
  else std::snprintf(text, sizeof text, "Ftr %d", (band - kBandRecord) / 5);
  return text;
}

void PrintHeader(SpecPrinter& p, KmDocBase* doc) {
  p.Spaces(5);
  p.Text("VORTELLE Report Designer");
  p.EndLine();
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  p.Spaces(5);
  p.Formatted("%s %02d/%02d/%04d", "Date:", tm.tm_mon + 1, tm.tm_mday, tm.tm_year + 1900);
  p.Spaces(5);
  p.Formatted("%s %2d:%02d", "Time:", tm.tm_hour, tm.tm_min);
  p.EndLine();
  p.Labeled("Report Name:", doc->m_szReportName[0] ? doc->m_szReportName : "None", 8, false, 12);
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
  const PageSetupRec* ps = run->doc->m_pPageSetup;
  p.Ends(2);
  p.Heading("FORMAT INFORMATION");
  p.Spaces(8);
  p.Text("Print Options");
  p.EndLine();
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
  p.Spaces(8);
  p.Text("Page Setup");
  p.EndLine();
  const struct {
    const char* label;
    int32_t value;
  } margins[] = {{"Top margin:", ps->TopMargin}, {"Bottom margin:", ps->BottomMargin},
                 {"Left margin:", ps->LeftMargin}, {"Right margin:", ps->RightMargin}};
  for (const auto& mg : margins) {
    p.Spaces(10);
    p.Formatted("%s %.2f inches", mg.label, mg.value / 100.0);
    p.EndLine();
  }
  p.Spaces(10);
  p.Formatted("%s %s", "Page orientation:", ps->Landscape == 1 ? "Landscape" : "Portrait");
  p.EndLine();
}

void PrintDatabase(SpecPrinter& p, CKmComposite* m) {
  p.Ends(2);
  p.Heading("DATABASE INFORMATION");
  if (m == nullptr || m->tableCount == 0 || m->tableSlots[0] == nullptr) return;
  const TableSlot* master = m->tableSlots[0];
  std::string name = TableNameForSql(m, master, true);
  std::string alias(master->alias, strnlen(master->alias, sizeof master->alias));
  if (!alias.empty() && strcasecmp(alias.c_str(), name.c_str()) != 0) name += "   (Alias: " + alias + ")";
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

// One row per layout item, line by line.
void PrintItems(SpecPrinter& p, KmDocBase* doc, CKmComposite* m) {
  p.Spaces(3);
  p.Text(" Band Line Pos:In Width          Field       Type");
  p.EndLine();
  p.Spaces(3);
  p.Text("------ --- ----- -------- -------------------- -");
  p.EndLine();
  const BandLineRec* lines = doc->m_bandLines.lines;
  if (lines == nullptr || doc->m_pLayout == nullptr) {
    p.Spaces(8);
    p.Text("None");
    p.EndLine();
    return;
  }
  int lineBoxes = 0, boxes = 0, charts = 0;
  std::vector<int> numberInBand(256, 0);
  for (int i = 0; i < kBandLineTableRecords && lines[i].kind != 255 && p.Ok(); ++i) {
    const int number = ++numberInBand[lines[i].kind];
    std::vector<ReportItemHead*> items;
    ForEachLayoutItem(*doc->m_pLayout, [&](ReportItemHead& h) {
      if (h.bandLine == i) items.push_back(&h);
    });
    std::stable_sort(items.begin(), items.end(),
                     [](const ReportItemHead* a, const ReportItemHead* b) { return a->left < b->left; });
    if ((lines[i].flags & 1) || items.empty()) {
      p.Spaces(3);
      p.Formatted("%-6.6s %3d %s", BandName(lines[i].kind), number,
                  (lines[i].flags & 1) ? "---------------- New-Page-Line --------------------"
                                       : "------------------- Blank Line --------------------");
      p.EndLine();
      continue;
    }
    for (ReportItemHead* h : items) {
      std::string name, type, width;
      if (h->flags & kItemKindField) {
        const FieldDef* f = reinterpret_cast<const FieldDef*>(h);
        name = QualifiedName(m, f);
        type = std::string(1, ShortTypeName(f)[0]);
        char w[16];
        std::snprintf(w, sizeof w, "%3d Chr", h->width);
        width = w;
      } else if (h->flags & kItemKindLine) {
        name = "         Line " + std::to_string(++lineBoxes);
      } else if (h->flags & kItemKindBox) {
        name = "         Box " + std::to_string(++boxes);
      } else if (h->flags & kItemKindChart) {
        name = "         Chart " + std::to_string(++charts);
      } else if (h->flags & kItemKindPicture) {
        const char* file = reinterpret_cast<const PictureItem*>(h)->fileName;
        const char* slash = std::strrchr(file, '/');
        name = std::string("         ") + (slash ? slash + 1 : file);
      } else if (h->flags & kItemKindOle) {
        name = "         Object";
      } else {
        const TextItem* t = reinterpret_cast<const TextItem*>(h);
        std::string text = t->text ? t->text : "";
        if (text.size() > 20) text = text.substr(0, 17) + "...";
        name = text;
        type = "T";
        char w[16];
        std::snprintf(w, sizeof w, "%3d Chr", static_cast<int>(t->text ? std::strlen(t->text) : 0));
        width = w;
      }
      p.Spaces(3);
      p.Formatted("%-6.6s %3d %5.2f %-8s %-20.20s %s", BandName(lines[i].kind), number, h->left / 100.0,
                  width.c_str(), name.c_str(), type.c_str());
      p.EndLine();
    }
  }
}

void PrintFields(SpecPrinter& p, KmDocBase* doc, CKmComposite* m) {
  p.Ends(3);
  p.Heading("FIELD INFORMATION");
  if (m == nullptr) return;
  PrintItems(p, doc, m);
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
      FieldDef* source = FieldById(m, f->refField);
      static const char* const kKinds[] = {"Count", "Sum", "Average", "Minimum", "Maximum", "Std Deviation",
                                           "Variance"};
      std::string what = std::string(f->totalFunction < 7 ? kKinds[f->totalFunction] : "Total") + " of " +
                         (source ? QualifiedName(m, source) : std::string("?"));
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
  p.Text("       Field         Rep type");
  p.EndLine();
  p.Spaces(8);
  p.Text("-------------------- --------");
  p.EndLine();
  for (FieldDef* f = m->fieldList; f != nullptr && p.Ok(); f = f->next) {
    if (f->flags & (kFieldAlias | kFieldMemo)) continue;
    if (IsCalc(f) || IsTotal(f)) continue;
    p.Spaces(8);
    p.Formatted("%-20.20s %-8s", QualifiedName(m, f).c_str(), ShortTypeName(f));
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
    p.Formatted("%-8.8s  %4d  %-20.20s  %s", BandName(l.kind), number, QualifiedName(m, cond).c_str(),
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
  bool any = false;
  for (int i = 0; i < 8; ++i) {
    FieldDef* s = FieldById(m, SlotsOf(doc, m, false)[i]);
    if (s == nullptr) continue;
    p.Spaces(8);
    p.Formatted("Sort %d: %s", i + 1, QualifiedName(m, s).c_str());
    p.EndLine();
    any = true;
  }
  for (int i = 0; i < 8; ++i) {
    FieldDef* g = FieldById(m, SlotsOf(doc, m, true)[i]);
    if (g == nullptr) continue;
    p.Spaces(8);
    p.Formatted("Group %d: %s", i + 1, QualifiedName(m, g).c_str());
    p.EndLine();
    any = true;
  }
  if (!any) {
    p.Spaces(8);
    p.Text("None");
    p.EndLine();
  }
}

}  // namespace

void PrintReportSpecification(ReportRun* run) {
  if (run == nullptr || run->doc == nullptr || run->driver == nullptr || run->page == nullptr) return;
  KmDocBase* doc = run->doc;
  CKmComposite* m = doc->m_pModel;
  SpecPrinter p(run);
  if (run->driver->HasEntry(12)) p.BeginPage();
  if (p.Ok()) PrintHeader(p, doc);
  if (p.Ok()) PrintSelect(p, m);
  if (p.Ok()) PrintFormat(p, run);
  if (p.Ok()) PrintDatabase(p, m);
  if (p.Ok()) PrintFilter(p, m);
  p.Ends(3);
  if (p.Ok()) PrintFields(p, doc, m);
  if (p.Ok()) PrintSortGroup(p, doc, m);
  if (p.Ok()) PrintLines(p, doc, m);
  p.EndLine();
  if (doc->m_nRunState == 0) p.EndSpecPage(true);
}
