// Reports built in code run against the SQLite fixture through ODBC, to the
// PDF printer, read back with pdftotext. The bands are written by a small
// band writer here: each band line lists the fields placed on it.
#include "app/document.h"
#include "data/data_access.h"
#include "data/db_errors.h"
#include "data/expr_to_sql.h"
#include "data/select_builder.h"
#include "data/table_fields.h"
#include "layout/layout_records.h"
#include "engine/print_job.h"
#include "engine/printer_library.h"
#include "engine/run_report.h"
#include "engine/summary_fields.h"
#include "engine/test_pattern.h"
#include "expr/value_helpers.h"
#include "core/composite.h"
#include "model/field_compile.h"
#include "model/field_dependencies.h"
#include "model/record_pass.h"
#include "platform/printer/escape_stream.h"
#include "platform/printer/printer_info.h"
#include "platform/win/ui_app.h"
#include "tests/support/odbc_env.h"

#include "app/run_hooks.h"
#include "engine/run_output.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char* const kRunDsn = "vt_run";
bool g_dsnReady = false;

std::string Command(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

// The fixture database as a data source of its own beside the shared ones.
void MakeRunDataSource() {
  if (g_dsnReady) return;
  std::string db = odbc_test::Dir() + "/report.db";
  std::system(("sqlite3 '" + db + "' < '" VT_TEST_DATA_DIR "/run/report.sql'").c_str());
  std::ifstream in(odbc_test::Dir() + "/odbc.ini");
  std::stringstream ini;
  ini << in.rdbuf() << "[" << kRunDsn << "]\nDriver=SQLite3\nDatabase=" << db << "\nStepAPI=1\n\n";
  odbc_test::WriteFile("odbc.ini", ini.str());
  g_dsnReady = true;
}

const char* const kKindNames[] = {"count", "sum", "avg", "min", "max", "std", "var"};

std::string Figure(double v) {
  char b[64];
  std::snprintf(b, sizeof b, "%.4f", std::fabs(v) < 5e-5 ? 0.0 : v);
  return b;
}

class ReportPdf : public testing::Test {
 protected:
  void SetUp() override {
    if (!odbc_test::HaveSqliteDriver()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    if (Command("command -v pdftotext").empty()) GTEST_SKIP() << "pdftotext is not installed";
    MakeRunDataSource();
    UiStartApplication();
    // The program's links from the record pass to the run; no dialog watches.
    InstallRunHooks(nullptr);
    InstallRunShell(nullptr);
    lines.reset(new BandLineRec[kBandLineTableRecords]);
    doc.m_bandLines.lines = lines.get();
    ClearBandLineTable(doc.m_bandLines);
    doc.m_bandLines.lastUsed = -1;
    m = new CKmComposite(&doc);
    doc.m_pModel = m;
    da = GetDataAccess(m);
    da->sqlIniPath = VT_SOURCE_DIR "/samples/kmwsql.ini";
    ASSERT_EQ(da->ConnectDataSource(kRunDsn, false, true, nullptr), 1) << DbLastErrorText();
    da->SelectDataSource(kRunDsn);
    table = m->AddTableSlot("report_lines", "R", 0, 0, nullptr);
    ASSERT_EQ(BuildSqlFieldList(m, table, nullptr, nullptr, nullptr, true, nullptr, 0), 0);
    FieldDef* f = m->tableSlots[table]->firstField;
    for (uint32_t k = 0; k < m->tableSlots[table]->fieldCount; ++k, f = f->next) f->flags &= ~kFieldNeeded;
    pdf = odbc_test::Dir() + "/report_" + std::to_string(counter++) + ".pdf";
  }

  void TearDown() override {
    if (!m) return;
    RemoveRunHooks();
    FreeReportRun(&doc);
    doc.m_pLayout = nullptr;
    m->itemListHead = nullptr;
    CloseReportQuery(m);
    m->DropAttachment(AttachmentSlot::kRecordPass);
    m->DropAttachment(AttachmentSlot::kSqlFields);
    m->FreeTableSlot(table);
    while (m->fieldList) m->DeleteField(m->fieldList, 2 | 4);
    doc.m_pModel = nullptr;
    delete m;
  }

  FieldDef* Column(const char* name) {
    FieldDef* f = m->tableSlots[table]->firstField;
    for (uint32_t k = 0; k < m->tableSlots[table]->fieldCount; ++k, f = f->next)
      if (std::strcmp(f->name, name) == 0) {
        f->flags |= kFieldNeeded;
        return f;
      }
    ADD_FAILURE() << name;
    return nullptr;
  }

  FieldDef* Total(FieldDef* source, uint8_t kind, uint8_t reset) {
    FieldDef* f = m->AddField(kFieldNumeric | kFieldNeeded | kFieldItem);
    std::snprintf(f->name, sizeof f->name, "%s", kKindNames[kind]);
    f->totalFlags = kTotalIsTotal;
    f->totalFunction = kind;
    f->totalReset = reset;
    f->totalLevel = 253;
    f->refField = m->GetFieldIndex(source);
    return f;
  }

  // A band line holding the fields in order.
  void Line(BYTE kind, std::vector<FieldDef*> fields = {}, BYTE flags = 0) {
    int line = ++doc.m_bandLines.lastUsed;
    BandLineRec& rec = lines[line];
    rec = BandLineRec{};
    rec.kind = kind;
    rec.objectId = -1;
    rec.flags = flags;
    for (FieldDef* f : fields) {
      f->head.bandLine = static_cast<uint8_t>(line);
      f->head.flags |= kItemKindField;
      f->flags |= kFieldItem;  // placed on the layout: the run lists find it
      f->head.pointSize = 100;
      f->needsPrevious = 1;
      placed.push_back(f);
    }
  }

  // The report's layout for band output: each band line 16 pixels high,
  // fields placed at a column of 10 pixels in 10-point type.
  void UseLayout() {
    layout.AttachBandLineTable(&doc.m_bandLines);
    layout.model = m;
    doc.m_pLayout = &layout;
    ownBands = false;
  }
  void PlaceAt(FieldDef* f, int column, int width, uint32_t format = 0) {
    const int line = f->head.bandLine;
    BandLineRec& r = lines[line];
    r.pixelHeight = 16;
    r.bottom = line * 16 + 15;
    r.baseline = r.bottom - 3;
    f->head.width = static_cast<uint8_t>(width);
    f->head.left = column * 10;
    f->head.right = (column + width) * 10 - 1;
    f->head.bottom = r.bottom;
    f->head.top = r.bottom - 15;
    f->head.descent = 3;
    f->displayWidth = static_cast<uint32_t>(width);
    f->formatCode = format;
  }

  // Runs the report to the PDF; the text pdftotext reads from it.
  std::string RunToPdf(std::vector<int>* messages = nullptr) {
    for (int i = 0; i <= doc.m_bandLines.lastUsed; ++i)
      if (lines[i].pixelHeight == 0) {
        lines[i].pixelHeight = 16;
        lines[i].bottom = i * 16 + 15;
        lines[i].baseline = lines[i].bottom - 3;
      }
    if (doc.m_pLayout) {
      BuildLayoutItemOrder(layout);
    } else {
      for (size_t i = 0; i < placed.size(); ++i)
        placed[i]->head.nextInOrder = i + 1 < placed.size() ? &placed[i + 1]->head : nullptr;
      m->itemListHead = placed.empty() ? nullptr : &placed[0]->head;
    }
    PropagateFieldDependencies(m);
    // The totals join the record list after the data fields, as the run
    // lists are rebuilt before a run.
    FieldDef** tail = &m->calcOrderList;
    while (*tail) tail = &(*tail)->orderNext;
    for (FieldDef* f = m->fieldList; f; f = f->next)
      if (IsTotal(f)) {
        *tail = f;
        f->orderNext = nullptr;
        tail = &f->orderNext;
      }
    PageDriver* driver = LoadPrinterLibrary(PageDriverModuleName(), 1);
    EXPECT_NE(driver, nullptr);
    if (!driver) return "";
    DocPrinter printer;
    printer.printerName = kPdfPrinterName;
    PrintRunSetup setup;
    setup.iniFile = "/nonexistent/kmw.ini";
    setup.fontFaces = {"Courier New", "Arial"};
    setup.printToFile = pdf;
    setup.destination = 2;  // to a file
    PageOutputState state;
    int passes = 1;
    EXPECT_EQ(StartPrintJob(driver, &printer, setup, &state, 0, &passes), 1);
    ReportRun* run = CreateReportRun(&doc, driver, &state);
    run->output = ownBands ? static_cast<RunOutput*>(&bandWriter) : &messageLog;
    run->pageBottom = pageBottom;
    run->startPage = startPage;
    run->endPage = endPage;
    run->copies = copies;
    for (int i = 0; i < kRunGroupLevels; ++i) CalcOf(run).levels[i].options = groupOptions[i];
    g_messages.clear();
    if (testPattern) RunTestPattern(run);
    else if (PrepareRunData(&doc) == 0) RunReport(&doc);
    if (messages) *messages = g_messages;
    driver->CloseDevice(&state, doc.m_nRunState);
    FinishPrintDevice(&state, false);
    FreeRunDevMode(&printer);
    FreePrinterLibrary(driver);
    run->driver = nullptr;
    run->page = nullptr;
    if (access(pdf.c_str(), R_OK) != 0) return "";
    return Command("pdftotext -layout '" + pdf + "' - 2>/dev/null");
  }

  // The closing messages of the run, kept; the bands laid out by band output.
  class MessageLog : public RunOutput {
   public:
    void ShowMessage(KmDocBase*, int message, uint32_t) override { g_messages.push_back(message); }
  };
  // The same with each band written by WriteBand.
  class BandWriter : public MessageLog {
   public:
    int OutputBand(KmDocBase* doc, int band, int fitLimit) override { return WriteBand(doc, band, fitLimit); }
  };

  // Each band line: its band's tag, then name=value of every field on it
  // (the previous value in footers and the Summary), the page number in the
  // page header and footer.
  static int WriteBand(KmDocBase* doc, int band, int fitLimit) {
    if (fitLimit) return 0;
    ReportRun* r = RunOf(doc);
    bool previous = (band >= kBandGroupFooter && band < kBandGroupFooter + 8) || band == kBandSummary;
    for (int line = 0; line <= doc->m_bandLines.lastUsed; ++line) {
      if (doc->m_bandLines.lines[line].kind != band) continue;
      std::string text = BandTag(band);
      if (band == kBandPageHeader || band == kBandPageFooter) text += " " + std::to_string(r->pageNumber);
      for (ReportItemHead* it = doc->m_pModel->itemListHead; it; it = it->nextInOrder) {
        if (it->bandLine != line) continue;
        FieldDef* f = reinterpret_cast<FieldDef*>(it);
        text += " " + std::string(f->name) + "=" + ValueText(f, previous ? f->previous : f->value);
      }
      int32_t height = LineHeight(doc, line);
      std::vector<BYTE> bytes = {kEsc, kEscFont, 0, 0, 0, 0, 100, 0, kEsc, kEscPosition, 0, 0};
      for (char c : text) bytes.push_back(static_cast<BYTE>(c));
      if (!r->driver->AdvanceBeforeLine(r->page, height, 1) ||
          !r->driver->OutputLine(r->page, bytes.data(), static_cast<int>(bytes.size())) ||
          !r->driver->AdvanceAfterLine(r->page, 0, 1))
        doc->m_nRunState = kRunDriverRefused;
      if (PageSendFlag(*r, doc->m_nRunMode)) r->outputEmitted = 1;
    }
    return doc->m_nRunState;
  }

  static std::string BandTag(int band) {
    if (band == kBandTitle) return "TITLE";
    if (band == kBandPageHeader) return "PAGE-HEADER";
    if (band == kBandPageFooter) return "PAGE-FOOTER";
    if (band == kBandRecord) return "LINE";
    if (band == kBandSummary) return "GRAND";
    if (band >= kBandGroupHeader && band < kBandGroupHeader + 8) return "HEAD" + std::to_string(band - 19);
    return "FOOT" + std::to_string(band - 69);
  }

  static std::string ValueText(FieldDef* f, const uint8_t* v) {
    if (!v) return "?";
    if (FieldKind(f) & kFieldNumeric) {
      double d;
      std::memcpy(&d, v, 8);
      if (IsNullNumber(d)) return "-";
      if (IsTotal(f)) return Figure(d);
      char b[64];
      std::snprintf(b, sizeof b, d == std::floor(d) ? "%.0f" : "%.2f", d);
      return b;
    }
    std::string s(reinterpret_cast<const char*>(v));
    for (char& c : s)
      if (c == ' ') c = '_';
    return s.empty() ? "-" : s;
  }

  static bool IsTotal(FieldDef* f) { return (f->totalFlags & kTotalIsTotal) != 0; }

  // Totals of amount by customer from SQLite itself (population variance).
  std::map<std::string, std::vector<std::string>> SqliteTotals() {
    std::map<std::string, std::vector<std::string>> out;
    EXPECT_EQ(da->ExecSql("select customer, count(amount), sum(amount), avg(amount), min(amount), max(amount), "
                          "avg(amount * amount) - avg(amount) * avg(amount) from report_lines group by customer"),
              0);
    while (da->FetchNext() == 0) {
      std::vector<double> v;
      for (int c = 2; c <= 7; ++c) v.push_back(std::atof(da->GetColumnText(c, c, '|')));
      double var = v[5] < 0 ? 0 : v[5];
      std::vector<std::string> figures = {Figure(v[0]), Figure(v[1]), Figure(v[2]), Figure(v[3]),
                                          Figure(v[4]), Figure(std::sqrt(var)), Figure(var)};
      out[da->GetColumnText(1, 1, '|')] = figures;
    }
    da->EndStatement();
    return out;
  }

  static std::vector<int> g_messages;
  MessageLog messageLog;
  BandWriter bandWriter;
  static int counter;
  CKmDoc doc;
  CKmComposite* m = nullptr;
  DataAccess* da = nullptr;
  uint32_t table = 0;
  std::unique_ptr<BandLineRec[]> lines;
  std::vector<FieldDef*> placed;
  std::string pdf;
  int32_t pageBottom = 0;
  int32_t startPage = 1, endPage = kDefaultEndPage;
  uint16_t copies = 1;
  LayoutTables layout;
  bool ownBands = true;  // the bands written here rather than by band output
  bool testPattern = false;
  uint8_t groupOptions[kRunGroupLevels] = {};
};

std::vector<int> ReportPdf::g_messages;
int ReportPdf::counter = 0;

std::vector<std::string> Pages(const std::string& text) {
  std::vector<std::string> pages;
  std::string page;
  for (char c : text) {
    if (c == '\f') {
      pages.push_back(page);
      page.clear();
    } else {
      page += c;
    }
  }
  if (page.find_first_not_of(" \n") != std::string::npos) pages.push_back(page);
  return pages;
}

std::vector<std::string> Tokens(const std::string& text, const std::string& prefix) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string w;
  while (in >> w)
    if (w.rfind(prefix, 0) == 0) out.push_back(w);
  return out;
}

TEST_F(ReportPdf, GroupedReportWithTotalsPagesAndOrder) {
  FieldDef* customer = Column("customer");
  FieldDef* order = Column("order_no");
  FieldDef* product = Column("product");
  FieldDef* amount = Column("amount");
  std::vector<FieldDef*> byCustomer, grand;
  for (uint8_t k = 0; k <= 6; ++k) byCustomer.push_back(Total(amount, k, 0));
  grand.push_back(Total(amount, kSummaryCount, kSummaryResetNever));
  grand.push_back(Total(amount, kSummarySum, kSummaryResetNever));
  m->groupFields[0] = m->GetFieldIndex(customer);
  m->groupFields[1] = m->GetFieldIndex(order);
  SelectInputs* in = GetSelectInputs(m);
  in->sortKeys[0] = customer;
  in->sortKeys[1] = order;
  in->sortKeys[2] = product;
  Line(kBandTitle);
  Line(kBandPageHeader);
  Line(kBandGroupHeader, {customer});
  Line(kBandGroupHeader + 1, {order});
  Line(kBandRecord, {product, amount});
  Line(kBandGroupFooter + 1);
  Line(kBandGroupFooter, {byCustomer[0], byCustomer[1], byCustomer[2]});
  Line(kBandGroupFooter, {byCustomer[3], byCustomer[4], byCustomer[5], byCustomer[6]});
  Line(kBandSummary, grand);
  Line(kBandPageFooter);
  pageBottom = 7920 - 2400;  // 20 lines to a page
  std::vector<int> messages;
  std::string text = RunToPdf(&messages);
  ASSERT_FALSE(text.empty());
  if (getenv("VT_SHOW_PDF_TEXT")) fprintf(stderr, "%s\n", text.c_str());
  EXPECT_TRUE(messages.empty());
  std::vector<std::string> pages = Pages(text);
  ASSERT_GE(pages.size(), 2u) << text;
  EXPECT_EQ(Tokens(text, "TITLE").size(), 1u);
  for (size_t i = 0; i < pages.size(); ++i) {
    std::string n = std::to_string(i + 1);
    EXPECT_NE(pages[i].find("PAGE-HEADER " + n), std::string::npos) << pages[i];
    EXPECT_NE(pages[i].find("PAGE-FOOTER " + n), std::string::npos) << pages[i];
  }
  // Customers in order, each header before its lines and footer; orders inside.
  EXPECT_EQ(Tokens(text, "customer="),
            (std::vector<std::string>{"customer=Abbott", "customer=Brandt", "customer=Castillo"}));
  EXPECT_EQ(Tokens(text, "order_no="), (std::vector<std::string>{"order_no=10", "order_no=11", "order_no=12",
                                                                    "order_no=13", "order_no=14"}));
  EXPECT_EQ(Tokens(text, "product="),
            (std::vector<std::string>{"product=Anchor", "product=Bolt", "product=Cable", "product=Anchor",
                                      "product=Bolt", "product=Drill", "product=Epoxy", "product=Fuse",
                                      "product=Gasket", "product=Hinge", "product=Hinge", "product=Hinge"}));
  size_t brandt = text.find("customer=Brandt");
  EXPECT_LT(text.find("FOOT1"), brandt);
  EXPECT_LT(text.find("FOOT2"), text.find("FOOT1"));
  // The totals of each customer's footer are SQLite's own figures.
  std::map<std::string, std::vector<std::string>> expected = SqliteTotals();
  std::vector<std::string> got[7];
  for (int k = 0; k < 7; ++k) got[k] = Tokens(text, std::string(kKindNames[k]) + "=");
  const char* names[] = {"Abbott", "Brandt", "Castillo"};
  for (int c = 0; c < 3; ++c)
    for (int k = 0; k < 7; ++k) {
      ASSERT_GT(got[k].size(), static_cast<size_t>(c)) << kKindNames[k];
      EXPECT_EQ(got[k][c], std::string(kKindNames[k]) + "=" + expected[names[c]][k]) << names[c];
    }
  EXPECT_NE(text.find("GRAND count=11.0000 sum=472.6300"), std::string::npos) << text;
}

TEST_F(ReportPdf, ResetPageStartsEachFilteredGroupOnPageOne) {
  FieldDef* customer = Column("customer");
  FieldDef* product = Column("product");
  m->groupFields[0] = m->GetFieldIndex(customer);
  GetSelectInputs(m)->sortKeys[0] = customer;
  GetSelectInputs(m)->extraCondition = "amount is not null";
  groupOptions[0] = kGroupResetPage;
  pageBottom = 720;
  Line(kBandPageHeader);
  Line(kBandGroupHeader, {customer});
  Line(kBandRecord, {product});
  Line(kBandPageFooter);
  std::string text = RunToPdf();
  std::vector<std::string> pages = Pages(text);
  ASSERT_EQ(pages.size(), 3u) << text;
  for (const std::string& page : pages) {
    EXPECT_NE(page.find("PAGE-HEADER 1"), std::string::npos) << page;
    EXPECT_NE(page.find("PAGE-FOOTER 1"), std::string::npos) << text;
  }
  EXPECT_NE(pages[1].find("customer=Brandt"), std::string::npos);
  EXPECT_EQ(text.find("Epoxy"), std::string::npos);  // its amount is empty
}

TEST_F(ReportPdf, StartAndEndPagePrintOnlyThosePages) {
  FieldDef* product = Column("product");
  Line(kBandPageHeader);
  Line(kBandRecord, {product});
  Line(kBandPageFooter);
  pageBottom = 7920 - 840;  // 5 records to a page: 3 pages
  startPage = 2;
  endPage = 2;
  std::string text = RunToPdf();
  std::vector<std::string> pages = Pages(text);
  ASSERT_EQ(pages.size(), 1u) << text;
  EXPECT_NE(pages[0].find("PAGE-HEADER 2"), std::string::npos);
  EXPECT_EQ(Tokens(text, "product=").size(), 5u);
}

TEST_F(ReportPdf, EveryCopyReadsTheRowsAgain) {
  FieldDef* product = Column("product");
  Line(kBandRecord, {product});
  copies = 2;
  std::string text = RunToPdf();
  EXPECT_EQ(Tokens(text, "product=").size(), 24u) << text;
}

// Band output itself lays the bands out: a word-wrapped long text goes on
// over several lines and on to the next page.
TEST_F(ReportPdf, WrappedTextContinuesAcrossLinesAndPages) {
  UseLayout();
  FieldDef* customer = Column("customer");
  FieldDef* note = Column("note");
  FieldDef* product = Column("product");
  m->groupFields[0] = m->GetFieldIndex(customer);
  GetSelectInputs(m)->sortKeys[0] = customer;
  GetSelectInputs(m)->sortKeys[1] = product;
  Line(kBandGroupHeader, {customer, note});
  PlaceAt(customer, 0, 12);
  PlaceAt(note, 14, 24, 0x40);
  Line(kBandRecord, {product});
  PlaceAt(product, 2, 10);
  pageBottom = 7920 - 720;  // six lines to a page
  std::string text = RunToPdf();
  ASSERT_FALSE(text.empty());
  // Every word of the long note, in order, with the page break among them.
  const std::string note3 = "A very long note about this customer that goes on and on, well past the width of any "
                            "column on the page, so that a word-wrapped field has to continue on the next lines.";
  std::istringstream all(text), wanted(note3);
  std::string w, next;
  bool found = true;
  while (wanted >> next) {
    while ((found = static_cast<bool>(all >> w)) && w != next) {
    }
    if (!found) break;
  }
  EXPECT_TRUE(found) << "missing from \"" << next << "\" on:\n" << text;
  std::vector<std::string> pages = Pages(text);
  ASSERT_GE(pages.size(), 2u);
  size_t first = 0;
  while (first < pages.size() && pages[first].find("this customer") == std::string::npos) ++first;
  ASSERT_LT(first + 1, pages.size()) << text;
  EXPECT_NE(pages[first + 1].find("continue on the next"), std::string::npos) << text;
  EXPECT_EQ(Tokens(text, "Hinge").size(), 3u);
}

// A group footer ending in a page-break line: each customer on a page of its
// own, its header showing its own name (not the one before), and no empty
// page after the last.
TEST_F(ReportPdf, AFooterEndingInAPageBreakStartsEachGroupOnItsOwnPage) {
  UseLayout();
  FieldDef* customer = Column("customer");
  FieldDef* product = Column("product");
  FieldDef* lines = Total(product, kSummaryCount, 0);
  m->groupFields[0] = m->GetFieldIndex(customer);
  GetSelectInputs(m)->sortKeys[0] = customer;
  GetSelectInputs(m)->sortKeys[1] = product;
  Line(kBandGroupHeader, {customer});
  PlaceAt(customer, 0, 12);
  Line(kBandRecord, {product});
  PlaceAt(product, 2, 10);
  Line(kBandGroupFooter, {lines});
  PlaceAt(lines, 2, 6);
  Line(kBandGroupFooter, {}, 1);
  std::string text = RunToPdf();
  std::vector<std::string> pages = Pages(text);
  ASSERT_EQ(pages.size(), 3u) << text;
  const char* names[] = {"Abbott", "Brandt", "Castillo"};
  for (size_t i = 0; i < 3; ++i)
    for (size_t k = 0; k < 3; ++k)
      EXPECT_EQ(pages[i].find(names[k]) != std::string::npos, i == k) << "page " << i + 1 << ":\n" << pages[i];
  EXPECT_NE(pages[2].find("Hinge"), std::string::npos) << pages[2];
}

TEST_F(ReportPdf, TestPatternFillsAPageWithRecordBands) {
  UseLayout();
  FieldDef* product = Column("product");
  Line(kBandPageHeader, {Column("customer")});
  PlaceAt(Column("customer"), 0, 12);
  Line(kBandRecord, {product});
  PlaceAt(product, 2, 10);
  pageBottom = 7920 - 1440;  // twelve lines to a page
  testPattern = true;
  std::string text = RunToPdf();
  // No record is read: the fields show their fill text, one Record band
  // after the other until the page is full, on one page.
  EXPECT_EQ(Pages(text).size(), 1u) << text;
  // Each shows its format's picture: an alignment mark, then an x a column.
  size_t pictures = 0;
  for (const std::string& w : Tokens(text, ""))
    if (w.size() > 4 && w.find_first_not_of('x', 1) == std::string::npos) ++pictures;
  EXPECT_GE(pictures, 5u) << text;
  EXPECT_EQ(Tokens(text, "Anchor").size(), 0u);
}

TEST_F(ReportPdf, RunsThatProduceNothingLeaveNoPages) {
  FieldDef* product = Column("product");
  Line(kBandPageHeader);
  Line(kBandRecord, {product});
  GetSelectInputs(m)->extraCondition = "amount > 100000";
  std::vector<int> messages;
  std::string text = RunToPdf(&messages);
  EXPECT_EQ(messages, std::vector<int>{kMsgNoRecords});
  EXPECT_EQ(Tokens(text, "PAGE-HEADER").size(), 0u);

  GetSelectInputs(m)->extraCondition.clear();  // the query is another: its rows are read anew
  startPage = 50;
  pdf += ".2.pdf";
  text = RunToPdf(&messages);
  EXPECT_EQ(messages, std::vector<int>{kMsgStartPageTooLarge});
  EXPECT_EQ(Tokens(text, "product=").size(), 0u);
}

// A data source set to compute calculations itself prints the server's
// value of a calculation it can translate; without the setting the program
// computes it. Here the server divides whole numbers as whole numbers.
TEST_F(ReportPdf, AlwaysEngineEvalPrintsTheServersCalculation) {
  std::ifstream in(VT_SOURCE_DIR "/samples/kmwsql.ini");
  std::stringstream sample;
  sample << in.rdbuf();
  std::string dialect = sample.str();
  const size_t div = dialect.find("div=%1 * 1.0 / nullif(%2, 0)");
  ASSERT_NE(div, std::string::npos);
  dialect.replace(div, std::strlen("div=%1 * 1.0 / nullif(%2, 0)"), "div=%1 / nullif(%2, 0)");
  const std::string own = odbc_test::WriteFile("own_kmwsql.ini", dialect);
  dialect.replace(dialect.find("[SQLite]\n"), std::strlen("[SQLite]\n"), "[SQLite]\nAlwaysEngineEval=1\n");
  const std::string engine = odbc_test::WriteFile("engine_kmwsql.ini", dialect);

  FieldDef* product = Column("product");
  FieldDef* half = nullptr;
  for (const std::string& ini : {engine, own}) {
    da->DisconnectDataSource(kRunDsn);
    da->sqlIniPath = ini;
    ASSERT_EQ(da->ConnectDataSource(kRunDsn, false, true, nullptr), 1) << DbLastErrorText();
    da->SelectDataSource(kRunDsn);
    if (half == nullptr) {
      // Its SQL text is written in the dialect of the source it compiles on.
      InstallSqlTranslation(m);
      half = CompileField(m, "half", "quantity / 2", false, nullptr);
      ASSERT_NE(half, nullptr);
      Line(kBandRecord, {product, half});
    }
    pdf += ".x.pdf";
    const std::string text = RunToPdf();
    const std::vector<std::string> halves = Tokens(text, "half=");
    ASSERT_EQ(halves.size(), 12u) << text;
    // Fuse: 5 of them.
    const size_t fuse = text.find("product=Fuse");
    ASSERT_NE(fuse, std::string::npos) << text;
    const std::string value = Tokens(text.substr(fuse), "half=").front();
    EXPECT_EQ(value, ini == engine ? "half=2" : "half=2.50") << ini;
    EXPECT_EQ(GetRecordPassState(m)->alwaysEngineEval, ini == engine ? 1 : 0);
    // Without the query the program computes every calculation again.
    CloseReportQuery(m);
    EXPECT_EQ(GetRecordPassState(m)->alwaysEngineEval, 0);
  }
}

}  // namespace
