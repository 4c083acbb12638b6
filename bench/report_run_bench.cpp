// A grouped report over 100,000 order lines (100 customers, 10,000 orders)
// run to the PDF printer, beside the plain fetch of the same rows through
// the data layer (the floor) and a ReportLab script producing the same
// grouped report from the same SQLite database (when python3-reportlab is
// installed). The report has a title, page header and footer, customer and
// order headers and footers, totals by customer (count, sum, average) and
// by order (sum), and grand totals. Prints the three times; goal: within 3x
// of the floor and faster than ReportLab.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/document.h"
#include "data/data_access.h"
#include "data/db_errors.h"
#include "data/select_builder.h"
#include "data/table_fields.h"
#include "engine/print_job.h"
#include "engine/printer_library.h"
#include "app/run_hooks.h"
#include "engine/run_output.h"
#include "engine/run_report.h"
#include "engine/summary_fields.h"
#include "expr/value_helpers.h"
#include "core/composite.h"
#include "model/field_dependencies.h"
#include "model/record_pass.h"
#include "platform/printer/escape_stream.h"
#include "platform/printer/printer_info.h"
#include "platform/win/ui_app.h"
#include "sqlite_odbc_dir.h"

namespace {

// VT_BENCH_ROWS runs a smaller (or larger) table; VT_BENCH_PDF_COPY keeps a
// copy of the report's PDF for comparing output before and after a change.
long RowCount() {
  const char* v = getenv("VT_BENCH_ROWS");
  long n = v ? std::strtol(v, nullptr, 10) : 0;
  return n > 0 ? n : 100000;
}
const long kRows = RowCount();
const char kQuery[] = "select customer, order_no, product, amount from lines order by customer, order_no, product";

const char kReportLab[] = R"PY(
import sqlite3, sys
from reportlab.lib.pagesizes import letter
from reportlab.pdfgen import canvas

db, out = sys.argv[1], sys.argv[2]
rows = sqlite3.connect(db).execute(
    "select customer, order_no, product, amount from lines order by customer, order_no, product")
c = canvas.Canvas(out, pagesize=letter)
c.setFont("Courier", 10)
height = letter[1]
state = {"y": height, "page": 0}

def new_page():
    if state["page"]:
        c.drawString(36, 24, "PAGE-FOOTER %d" % state["page"])
        c.showPage()
        c.setFont("Courier", 10)
    state["page"] += 1
    state["y"] = height - 36
    line("PAGE-HEADER %d" % state["page"], False)

def line(text, check=True):
    if check and state["y"] < 60:
        new_page()
    c.drawString(36, state["y"], text)
    state["y"] -= 12

new_page()
line("TITLE")
cust = order = None
cn = cs = osum = gn = gs = 0.0
for customer, order_no, product, amount in rows:
    if customer != cust or order_no != order:
        if order is not None:
            line("FOOT2 order_sum=%.4f" % osum)
        if customer != cust and cust is not None:
            line("FOOT1 count=%.4f sum=%.4f avg=%.4f" % (cn, cs, cs / cn if cn else 0))
        if customer != cust:
            line("HEAD1 customer=%s" % customer)
            cn = cs = 0.0
        line("HEAD2 order_no=%d" % order_no)
        osum = 0.0
        cust, order = customer, order_no
    line("LINE product=%s amount=%.2f" % (product, amount))
    if amount is not None:
        cn += 1; cs += amount; osum += amount; gn += 1; gs += amount
line("FOOT2 order_sum=%.4f" % osum)
line("FOOT1 count=%.4f sum=%.4f avg=%.4f" % (cn, cs, cs / cn if cn else 0))
line("GRAND count=%.4f sum=%.4f" % (gn, gs))
c.drawString(36, 24, "PAGE-FOOTER %d" % state["page"])
c.showPage()
c.save()
)PY";

struct Setup {
  std::string dir;
  bool ok = false;
  double floorSeconds = 0, reportSeconds = 0, reportLabSeconds = 0;
  int pages = 0;

  Setup() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    char tmpl[] = "/tmp/vt_report_bench_XXXXXX";
    dir = mkdtemp(tmpl);
    if (!MakeSqliteOdbcDir(dir)) return;
    std::string script = dir + "/make.sql";
    std::ofstream(script) << "create table lines (customer varchar(30), order_no integer, product varchar(20), "
                             "amount double);\n"
                             "with recursive n(v) as (select 0 union all select v + 1 from n where v < "
                          << kRows - 1
                          << ")\n insert into lines select printf('Customer %03d', v / 1000), v / 10, "
                             "'Product ' || (v % 10), (v % 997) * 0.25 from n;\n";
    ok = std::system(("sqlite3 '" + dir + "/bench.db' < '" + script + "'").c_str()) == 0;
    std::ofstream(dir + "/report.py") << kReportLab;
  }
  ~Setup() {
    if (floorSeconds > 0 && reportSeconds > 0) {
      std::printf("\ngrouped report of %ld rows (%d pages): fetch through the data layer %.3f s, report run to PDF "
                  "%.3f s (%.2fx the fetch)",
                  kRows, pages, floorSeconds, reportSeconds, reportSeconds / floorSeconds);
      if (reportLabSeconds > 0) std::printf(", ReportLab %.3f s", reportLabSeconds);
      else std::printf(", ReportLab not run");
      std::printf("\n");
    }
    std::system(("rm -rf '" + dir + "'").c_str());
  }
};

// The source tree: VT_SOURCE_DIR from the environment, else where this file
// was compiled from.
std::string SourceDir() {
  if (const char* dir = getenv("VT_SOURCE_DIR")) return dir;
  std::string file = __FILE__;
  size_t cut = file.rfind("/bench/");
  return cut == std::string::npos ? "." : file.substr(0, cut);
}

Setup& Data() {
  static Setup s;
  return s;
}

void Fetch(benchmark::State& state) {
  Setup& d = Data();
  if (!d.ok) return state.SkipWithError("no test database");
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    DataAccess da;
    if (da.ConnectDataSource("bench", false, true, nullptr) != 1) return state.SkipWithError("no connection");
    da.SelectDataSource("bench");
    if (da.ExecSql(kQuery) != 0) return state.SkipWithError(DbLastErrorText().c_str());
    char customer[31], product[21];
    int32_t order;
    double amount;
    int32_t cells[4];
    da.BindColumn(1, customer, sizeof customer, &cells[0]);
    da.BindColumn(2, &order, 4, &cells[1]);
    da.BindColumn(3, product, sizeof product, &cells[2]);
    da.BindColumn(4, &amount, 8, &cells[3]);
    long rows = 0;
    double sum = 0;
    while (da.FetchNext() == 0) {
      ++rows;
      sum += amount + order + customer[0] + product[0];
    }
    benchmark::DoNotOptimize(sum);
    da.EndStatement();
    da.TermDatabaseLibrary();
    d.floorSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (rows != kRows) state.SkipWithError("wrong row count");
  }
}

// The report's bands: each band line lists the fields placed on it.
std::string ValueText(FieldDef* f, const uint8_t* v) {
  char b[64];
  if (!v) return "?";
  if (FieldKind(f) & kFieldNumeric) {
    double d;
    std::memcpy(&d, v, 8);
    if (IsNullNumber(d)) return "-";
    std::snprintf(b, sizeof b, (f->totalFlags & kTotalIsTotal) ? "%.4f" : "%.2f", d);
    return b;
  }
  return reinterpret_cast<const char*>(v);
}

int WriteBand(KmDocBase* doc, int band, int fitLimit) {
  if (fitLimit) return 0;
  ReportRun* r = RunOf(doc);
  bool previous = (band >= kBandGroupFooter && band < kBandGroupFooter + 8) || band == kBandSummary;
  for (int line = 0; line <= doc->m_bandLines.lastUsed; ++line) {
    if (doc->m_bandLines.lines[line].kind != band) continue;
    std::string text = band == kBandPageHeader ? "PAGE-HEADER " + std::to_string(r->pageNumber)
                       : band == kBandPageFooter ? "PAGE-FOOTER " + std::to_string(r->pageNumber)
                                                 : "BAND" + std::to_string(band);
    for (ReportItemHead* it = doc->m_pModel->itemListHead; it; it = it->nextInOrder) {
      if (it->bandLine != line) continue;
      FieldDef* f = reinterpret_cast<FieldDef*>(it);
      text += " " + std::string(f->name) + "=" + ValueText(f, previous ? f->previous : f->value);
    }
    std::vector<BYTE> bytes = {kEsc, kEscFont, 0, 0, 0, 0, 100, 0, kEsc, kEscPosition, 0, 0};
    bytes.insert(bytes.end(), text.begin(), text.end());
    if (!r->driver->AdvanceBeforeLine(r->page, LineHeight(doc, line), 1) ||
        !r->driver->OutputLine(r->page, bytes.data(), static_cast<int>(bytes.size())) ||
        !r->driver->AdvanceAfterLine(r->page, 0, 1))
      doc->m_nRunState = kRunDriverRefused;
  }
  return doc->m_nRunState;
}

// The run's bands as WriteBand writes them; the closing messages go nowhere.
class BandWriter : public RunOutput {
 public:
  int OutputBand(KmDocBase* doc, int band, int fitLimit) override { return WriteBand(doc, band, fitLimit); }
  void ShowMessage(KmDocBase*, int, uint32_t) override {}
};

void Report(benchmark::State& state) {
  Setup& d = Data();
  if (!d.ok) return state.SkipWithError("no test database");
  UiStartApplication();
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    CKmDoc doc;
    std::unique_ptr<BandLineRec[]> lines(new BandLineRec[kBandLineTableRecords]);
    doc.m_bandLines.lines = lines.get();
    ClearBandLineTable(doc.m_bandLines);
    doc.m_bandLines.lastUsed = -1;
    auto* m = new CKmComposite(&doc);
    doc.m_pModel = m;
    DataAccess* da = GetDataAccess(m);
    da->sqlIniPath = SourceDir() + "/samples/kmwsql.ini";
    if (da->ConnectDataSource("bench", false, true, nullptr) != 1) return state.SkipWithError("no connection");
    da->SelectDataSource("bench");
    uint32_t t = m->AddTableSlot("lines", "L", 0, 0, nullptr);
    BuildSqlFieldList(m, t, nullptr, nullptr, nullptr, true, nullptr, 0);
    FieldDef* col[4] = {};
    FieldDef* f = m->tableSlots[t]->firstField;
    for (uint32_t k = 0; k < m->tableSlots[t]->fieldCount && k < 4; ++k, f = f->next) col[k] = f;
    auto total = [&](const char* name, uint8_t kind, uint8_t reset) {
      FieldDef* g = m->AddField(kFieldNumeric | kFieldNeeded | kFieldItem);
      std::snprintf(g->name, sizeof g->name, "%s", name);
      g->totalFlags = kTotalIsTotal;
      g->totalFunction = kind;
      g->totalReset = reset;
      g->totalLevel = 253;
      g->refField = m->GetFieldIndex(col[3]);
      return g;
    };
    FieldDef* cCount = total("count", kSummaryCount, 0);
    FieldDef* cSum = total("sum", kSummarySum, 0);
    FieldDef* cAvg = total("avg", kSummaryAverage, 0);
    FieldDef* oSum = total("order_sum", kSummarySum, 1);
    FieldDef* gCount = total("count", kSummaryCount, kSummaryResetNever);
    FieldDef* gSum = total("sum", kSummarySum, kSummaryResetNever);
    std::vector<FieldDef*> placed;
    auto line = [&](BYTE kind, std::vector<FieldDef*> fields) {
      int i = ++doc.m_bandLines.lastUsed;
      lines[i] = BandLineRec{};
      lines[i].kind = kind;
      lines[i].objectId = -1;
      for (FieldDef* g : fields) {
        g->flags |= kFieldNeeded | kFieldItem;  // placed on the layout: the run lists find it
        g->head.bandLine = static_cast<uint8_t>(i);
        g->head.flags |= kItemKindField;
        g->head.pointSize = 100;
        g->needsPrevious = 1;
        placed.push_back(g);
      }
    };
    line(kBandTitle, {});
    line(kBandPageHeader, {});
    line(kBandGroupHeader, {col[0]});
    line(kBandGroupHeader + 1, {col[1]});
    line(kBandRecord, {col[2], col[3]});
    line(kBandGroupFooter + 1, {oSum});
    line(kBandGroupFooter, {cCount, cSum, cAvg});
    line(kBandSummary, {gCount, gSum});
    line(kBandPageFooter, {});
    for (size_t i = 0; i < placed.size(); ++i)
      placed[i]->head.nextInOrder = i + 1 < placed.size() ? &placed[i + 1]->head : nullptr;
    m->itemListHead = &placed[0]->head;
    m->groupFields[0] = m->GetFieldIndex(col[0]);
    m->groupFields[1] = m->GetFieldIndex(col[1]);
    SelectInputs* in = GetSelectInputs(m);
    in->sortKeys[0] = col[0];
    in->sortKeys[1] = col[1];
    in->sortKeys[2] = col[2];
    PropagateFieldDependencies(m);
    FieldDef** tail = &m->calcOrderList;
    while (*tail) tail = &(*tail)->orderNext;
    for (FieldDef* g : {cCount, cSum, cAvg, oSum, gCount, gSum}) {
      *tail = g;
      g->orderNext = nullptr;
      tail = &g->orderNext;
    }
    PageDriver* driver = LoadPrinterLibrary(PageDriverModuleName(), 1);
    DocPrinter printer;
    printer.printerName = kPdfPrinterName;
    PrintRunSetup setup;
    setup.iniFile = "/nonexistent/kmw.ini";
    setup.fontFaces = {"Courier New"};
    setup.printToFile = d.dir + "/report.pdf";
    setup.destination = 2;
    PageOutputState page;
    if (!driver || StartPrintJob(driver, &printer, setup, &page, 0, nullptr) != 1)
      return state.SkipWithError("no print job");
    InstallRunHooks(nullptr);
    InstallRunShell(nullptr);
    BandWriter writer;
    ReportRun* run = CreateReportRun(&doc, driver, &page);
    run->output = &writer;
    if (PrepareRunData(&doc) == 0) RunReport(&doc);
    d.pages = run->pageCount;
    long output = run->recordsOutput;
    driver->CloseDevice(&page, doc.m_nRunState);
    FinishPrintDevice(&page, false);
    FreeRunDevMode(&printer);
    FreeReportRun(&doc);
    RemoveRunHooks();
    m->itemListHead = nullptr;
    CloseReportQuery(m);
    m->DropAttachment(AttachmentSlot::kRecordPass);
    m->DropAttachment(AttachmentSlot::kSqlFields);
    m->FreeTableSlot(t);
    while (m->fieldList) m->DeleteField(m->fieldList, 2 | 4);
    doc.m_pModel = nullptr;
    delete m;
    FreePrinterLibrary(driver);
    d.reportSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (const char* copy = getenv("VT_BENCH_PDF_COPY"))
      std::system(("cp '" + d.dir + "/report.pdf' '" + copy + "'").c_str());
    if (output != kRows) state.SkipWithError("wrong record count");
  }
}

void ReportLab(benchmark::State& state) {
  Setup& d = Data();
  if (!d.ok) return state.SkipWithError("no test database");
  // The system's interpreter has the Debian package even when another
  // python3 comes first on the path.
  std::string python;
  for (const char* candidate : {"python3", "/usr/bin/python3"})
    if (std::system((std::string(candidate) + " -c 'import reportlab' 2>/dev/null").c_str()) == 0) {
      python = candidate;
      break;
    }
  if (python.empty()) return state.SkipWithError("python3-reportlab is not installed");
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    int rc = std::system((python + " '" + d.dir + "/report.py' '" + d.dir + "/bench.db' '" + d.dir + "/rl.pdf'").c_str());
    d.reportLabSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (rc != 0) state.SkipWithError("the ReportLab script failed");
  }
}

}  // namespace

BENCHMARK(Fetch)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Report)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(ReportLab)->Iterations(1)->Unit(benchmark::kMillisecond);
