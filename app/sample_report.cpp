#include "app/sample_report.h"

#include "app/chart_commands.h"
#include "app/document.h"
#include "layout/page_setup.h"
#include "data/data_access.h"
#include "data/master_joins.h"
#include "data/open_tables.h"
#include "dialogs/master_table_dialog.h"
#include "dialogs/total_field_dialogs.h"
#include "data/db_errors.h"
#include "data/table_fields.h"
#include "layout/fonts.h"
#include "layout/layout_records.h"
#include "engine/summary_fields.h"
#include "files/report_io.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"
#include "model/field_dependencies.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <cstring>
#include <vector>

namespace {

constexpr int kCellPixels = 10;  // one character cell at ten characters an inch
constexpr int32_t kBodyPoints = 100;
constexpr int32_t kTitlePoints = 140;
constexpr uint8_t kBold = 1;
constexpr uint8_t kTotalOnBand = 253;

class Builder {
 public:
  Builder(CKmDoc& doc, CKmRepIO& io) : doc_(doc), io_(io), m_(*doc.m_pModel), layout_(*doc.m_pLayout) {}

  bool Build(const char* dataSource, std::string* error) {
    DataAccess* data = GetDataAccess(&m_);
    if (data->ConnectDataSource(dataSource, false, true, nullptr) != 1) {
      *error = "cannot connect to the data source " + std::string(dataSource) + ": " + DbLastErrorText();
      return false;
    }
    data->SelectDataSource(dataSource);
    table_ = m_.AddTableSlot(kSampleTable, "", 0, 0, nullptr);
    if (BuildSqlFieldList(&m_, table_, nullptr, nullptr, nullptr, true, nullptr, 0) != 0) {
      *error = "cannot read the columns of " + std::string(kSampleTable) + ": " + DbLastErrorText();
      return false;
    }
    // Its alias as File > New gives a master table chosen from the list.
    DeriveMasterAlias(&m_, CurrentOverrideContext(data));
    RecordStreamState& st = io_.m_stream;
    st.settings.sources[table_].sourceName = dataSource;

    FieldDef* company = Column("company");
    FieldDef* country = Column("country");
    FieldDef* order = Column("order_id");
    FieldDef* date = Column("order_date");
    FieldDef* product = Column("product");
    FieldDef* quantity = Column("quantity");
    FieldDef* amount = Column("amount");
    if (!company || !country || !order || !date || !product || !quantity || !amount) {
      *error = "the table " + std::string(kSampleTable) + " lacks a column the report shows";
      return false;
    }
    // The columns the report does not show stay out of it: every field of a
    // report file is one of its layout items.
    const FieldDef* shown[] = {company, country, order, date, product, quantity, amount};
    for (FieldDef* f = m_.tableSlots[table_]->firstField; f != nullptr;) {
      FieldDef* next = f->next;
      if (f->table == table_ && std::find(std::begin(shown), std::end(shown), f) == std::end(shown))
        m_.DeleteField(f, 0);
      f = next;
    }
    FieldDef* customerTotal = Total("CustomerTotal", amount, kSummarySum, 0);
    FieldDef* customerLines = Total("CustomerLines", amount, kSummaryCount, 0);
    FieldDef* grandTotal = Total("GrandTotal", amount, kSummarySum, kSummaryResetNever);
    FieldDef* grandLines = Total("GrandLines", amount, kSummaryCount, kSummaryResetNever);

    // One group: the customer, sorted by name.
    // The model's slots are what the report file keeps; the Group Order
    // dialog marks a level it makes with 1.
    m_.groupFields[0] = m_.GetFieldIndex(company);
    m_.groupFlags[0] = 1;
    st.settings.sortFields[0] = m_.sortFields[0] = m_.GetFieldIndex(company);
    st.settings.sortFields[1] = m_.sortFields[1] = m_.GetFieldIndex(order);

    const int title = Line(kBandTitle);
    Text(title, 0, "Orders by customer", kTitlePoints, kBold);
    const int header = Line(kBandPageHeader);
    Text(header, 4, "Order", kBodyPoints, kBold);
    Text(header, 12, "Date", kBodyPoints, kBold);
    Text(header, 24, "Product", kBodyPoints, kBold);
    Text(header, 40, "Quantity", kBodyPoints, kBold);
    Text(header, 52, "Amount", kBodyPoints, kBold);
    const int group = Line(kBandGroupHeader);
    Place(company, group, 0, 30, kBold);
    Place(country, group, 32, 20, 0);
    const int record = Line(kBandRecord);
    Place(order, record, 4, 6, 0);
    Place(date, record, 12, 10, 0);
    Place(product, record, 24, 14, 0);
    Place(quantity, record, 40, 8, 0);
    Place(amount, record, 50, 12, 0, 2);
    const int footer = Line(kBandGroupFooter);
    Text(footer, 24, "Customer total", kBodyPoints, kBold);
    Place(customerLines, footer, 40, 8, 0);
    Place(customerTotal, footer, 50, 12, kBold, 2);
    Line(kBandGroupFooter);  // a blank line between customers
    const int summary = Line(kBandSummary);
    Text(summary, 24, "Grand total", kBodyPoints, kBold);
    Place(grandLines, summary, 40, 8, 0);
    Place(grandTotal, summary, 50, 12, kBold, 2);

    PageSetupRec& page = *doc_.m_pPageSetup;
    page.TopMargin = page.BottomMargin = page.LeftMargin = page.RightMargin = 50;
    page.Copies = 1;
    page.PaperLength = 2794;
    page.PaperWidth = 2159;
    page.OutputDestination = kOutputToPrinter;

    BuildLayoutItemOrder(layout_);
    PropagateFieldDependencies(&m_);
    doc_.m_bReportOpen = TRUE;
    doc_.m_nChartWord = OnNewReportCharts();
    return true;
  }

 private:
  FieldDef* Column(const char* name) {
    FieldDef* f = m_.tableSlots[table_]->firstField;
    for (uint32_t k = 0; f != nullptr && k < m_.tableSlots[table_]->fieldCount; ++k, f = f->next)
      if (std::strcmp(f->name, name) == 0) return f;
    return nullptr;
  }

  FieldDef* Total(const char* name, FieldDef* source, uint8_t kind, uint8_t reset) {
    FieldDef* f = m_.AddField(kFieldNumeric | kFieldItem);
    std::snprintf(f->name, sizeof f->name, "%s", name);
    f->totalFlags = kTotalIsTotal;
    f->totalFunction = kind;
    f->totalReset = reset;
    f->totalLevel = kTotalOnBand;
    f->refField = m_.GetFieldIndex(source);
    f->table = kTableNone;
    // The format the Total dialog gives a new total of this kind.
    SetTotalFormat(f, source, kind);
    return f;
  }

  int Line(BYTE kind) {
    BandLineTable& t = doc_.m_bandLines;
    const int index = ++t.lastUsed;
    BandLineRec& rec = t.lines[index];
    rec = BandLineRec{};
    rec.kind = kind;
    rec.objectId = -1;
    rec.pixelHeight = layout_.DefaultLineHeight();
    rec.bottom = (index + 1) * rec.pixelHeight - 1;
    rec.baseline = rec.pixelHeight - 4;
    return index;
  }

  void Head(ReportItemHead& h, int line, int column, int cells, int32_t points, uint8_t style) {
    h.bandLine = static_cast<uint8_t>(line);
    h.column = column;
    h.width = static_cast<uint8_t>(cells);
    h.left = column * kCellPixels;
    h.right = (column + cells) * kCellPixels - 1;
    h.top = doc_.m_bandLines.lines[line].bottom + 1 - doc_.m_bandLines.lines[line].pixelHeight;
    h.bottom = doc_.m_bandLines.lines[line].bottom;
    h.height = doc_.m_bandLines.lines[line].pixelHeight;
    h.pointSize = points;
    h.fontStyle = style;
    h.faceAtom = AddFaceAtom("Arial");
    // Every item keeps the place it is given rather than following the one before.
    h.flags |= kItemFixedPosition;
  }

  void Place(FieldDef* f, int line, int column, int cells, uint8_t style, int decimals = -1) {
    Head(f->head, line, column, cells, kBodyPoints, style);
    MarkFieldPlaced(f);
    f->flags |= kFieldItem | kFieldNeeded;
    f->displayWidth = static_cast<uint32_t>(cells);
    if (decimals >= 0) f->displayDecimals = static_cast<uint8_t>(decimals);
  }

  void Text(int line, int column, const char* text, int32_t points, uint8_t style) {
    auto* x = new TextItem;
    const size_t n = std::strlen(text);
    x->text = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(n + 1)));
    std::memcpy(x->text, text, n);
    Head(x->head, line, column, static_cast<int>(n), points, style);
    TextItem** tail = &layout_.textHead;
    while (*tail != nullptr) tail = &(*tail)->nextText;
    *tail = x;
    ++layout_.textCount;
  }

  CKmDoc& doc_;
  CKmRepIO& io_;
  CKmComposite& m_;
  LayoutTables& layout_;
  uint32_t table_ = 0;
};

}  // namespace

bool BuildSampleReport(CKmDoc& doc, CKmRepIO& io, const char* dataSource, std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  if (!doc.CreateReportTables() || doc.m_bandLines.lines == nullptr || doc.m_pPageSetup == nullptr) {
    *error = "the document has no report tables";
    return false;
  }
  if (doc.m_pLayout->model == nullptr) doc.m_pLayout->model = doc.m_pModel;
  doc.m_pLayout->AttachBandLineTable(&doc.m_bandLines);
  ClearBandLineTable(doc.m_bandLines);
  doc.m_bandLines.lastUsed = -1;
  return Builder(doc, io).Build(dataSource, error);
}

bool WriteSampleReport(CKmDoc& doc, CKmRepIO& io, const char* dataSource, const char* path,
                       std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  if (!BuildSampleReport(doc, io, dataSource, error)) return false;
  if (io.SaveReportFile(path) != kRepIoOk) {
    *error = "cannot write the report file " + std::string(path);
    return false;
  }
  return true;
}

SampleReportDocument::SampleReportDocument() : lines(new BandLineRec[kBandLineTableRecords]), io(&doc) {
  doc.m_bandLines.lines = lines.get();
  doc.m_pPageSetup = AllocPageSetup();
  doc.m_pRepIO = &io;
}

SampleReportDocument::~SampleReportDocument() {
  doc.m_pRepIO = nullptr;
  FreePageSetup(doc.m_pPageSetup);
  doc.m_pPageSetup = nullptr;
}
