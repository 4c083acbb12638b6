// A document with a model, layout tables, band lines and page set-up made by
// hand, and a report in it that uses every kind of record the writer emits.
#pragma once

#include "app/document.h"
#include "layout/page_setup.h"
#include "layout/fonts.h"
#include "layout/layout_records.h"
#include "files/report_reader.h"
#include "files/report_stream.h"
#include "files/report_writer.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"
#include "core/condition_code.h"
#include "expr/compiler.h"
#include "model/field_dependencies.h"
#include "model/selection_conditions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace rs_test {

// Messages are collected instead of shown.
struct RecordingHooks : StreamHooks {
  std::vector<std::string> errors, warnings;
  void ShowError(KmDocBase&, const std::string& t) override { errors.push_back(t); }
  void ShowWarning(KmDocBase&, const std::string& t) override { warnings.push_back(t); }
};

inline char* Heap(const char* s) {
  char* p = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(std::strlen(s) + 1)));
  std::memcpy(p, s, std::strlen(s) + 1);
  return p;
}

struct Doc {
  CKmDoc doc;
  RecordStreamState st;
  RecordingHooks hooks;
  std::vector<BandLineRec> lines = std::vector<BandLineRec>(kBandLineTableRecords);

  Doc() {
    doc.m_pModel = new CKmComposite(&doc);
    doc.m_pLayout = new LayoutTables;
    doc.m_pLayout->model = doc.m_pModel;
    doc.m_pPageSetup = AllocPageSetup();
    doc.m_bandLines.lines = lines.data();
    ClearBandLineTable(doc.m_bandLines);
    st.hooks = &hooks;
  }
  ~Doc() {
    ClearReportContents(doc);
    delete doc.m_pModel;
    delete doc.m_pLayout;
    FreePageSetup(doc.m_pPageSetup);
    doc.m_pModel = nullptr;
    doc.m_pLayout = nullptr;
    doc.m_pPageSetup = nullptr;
    doc.m_bandLines.lines = nullptr;
  }
  CKmComposite& M() { return *doc.m_pModel; }
  LayoutTables& L() { return *doc.m_pLayout; }

  FieldDef* Field(const char* name, uint32_t flags, uint8_t table) {
    FieldDef* f = M().AddField(flags);
    std::snprintf(f->name, sizeof f->name, "%s", name);
    f->table = table;
    f->displayWidth = 10;
    f->head.bandLine = 1;
    f->head.column = 4;
    f->head.left = 30;
    f->head.right = 99;
    f->head.pointSize = 100;
    return f;
  }
  TextItem* Text(const char* s, int line, int left) {
    TextItem* x = new TextItem;
    x->text = Heap(s);
    x->head.bandLine = static_cast<uint8_t>(line);
    x->head.left = left;
    x->head.right = left + 50;
    x->head.column = 2;
    x->head.pointSize = 120;
    TextItem** tail = &L().textHead;
    while (*tail) tail = &(*tail)->nextText;
    *tail = x;
    ++L().textCount;
    return x;
  }

  std::vector<uint8_t> Write(StreamMode mode, int* result = nullptr) {
    MemoryRecordSink wide;
    MemoryLibrarySink narrow;
    RecordSink& sink = mode == StreamMode::Storage ? static_cast<RecordSink&>(wide) : narrow;
    int r = writeRep(doc, st, sink);
    if (result != nullptr) *result = r;
    return mode == StreamMode::Storage ? wide.bytes : narrow.bytes;
  }
  int Read(const std::vector<uint8_t>& bytes, StreamMode mode) {
    MemoryRecordSource src(bytes.data(), bytes.size(), mode);
    return ReadReportRecords(doc, st, src);
  }
};

// Builds a report with tables, a join, fields of every kind, calculations,
// totals, an alias, group and sort slots, band lines, texts, lines, boxes,
// pictures, a chart, page set-up and report settings.
inline void BuildFullReport(Doc& d) {
  CKmComposite& m = d.M();
  m.AddTableSlot("C:\\DATA\\ORDERS.DBF", "", 0, 0, nullptr);
  m.AddTableSlot("C:\\DATA\\CUST.DBF", "CU", 1, 0, nullptr);
  FieldDef* ordno = d.Field("ORDNO", kFieldNumeric, 0);
  FieldDef* custno = d.Field("CUSTNO", kFieldNumeric, 0);
  d.Field("ORDDATE", kFieldDate, 0)->head.bandLine = 2;
  d.Field("NOTE", kFieldMemo, 0);
  d.Field("PAID", kFieldLogical, 0);
  d.Field("STAMP", kFieldDateTime, 0);
  d.Field("CUSTNO", kFieldNumeric, 1);
  FieldDef* name = d.Field("NAME", 0, 1);
  name->formatCode = 7;
  name->flags2 = 0x20;
  name->timeFormat = 3;
  FieldDef* calc = d.Field("DOUBLE", kFieldCalculation | kFieldNumeric, 0);
  calc->exprText = Heap("ORDNO * 2");
  calc->text = Heap("second text");
  FieldDef* total = d.Field("SUMORD", kFieldNumeric, kTableNone);
  total->totalFlags = kTotalIsTotal;
  total->refField = 0;
  total->totalFunction = 1;
  total->totalLevel = 1;
  total->exprText = Heap("ORDNO");
  total->conditionText = Heap("ORDNO > 1");
  FieldDef* alias = m.AddFieldAlias(name);
  alias->head.bandLine = 3;
  alias->displayWidth = 10;
  (void)ordno;
  (void)custno;
  const uint32_t pairs[] = {1, 6, kNoField, kNoField};
  m.SetRelation(1, 0, 0x20, pairs);
  m.groupFields[0] = 0;
  m.groupFlags[0] = 1;
  m.sortFields[0] = 0;
  m.sortFields[1] = 7;
  m.sortWords[1] = 1;
  // The filter, as the selection rows make it: PAID = true (field 4).
  SelectConditionRow row;
  row.field = 4;
  row.op = kCondEqual;
  std::snprintf(row.values, sizeof row.values, "true");
  int code = 0, at = 0;
  ASSERT_EQ(ParseConditionList(&m, 1, &row, &code, &at), 1) << code;
  uint32_t failure = 0;
  bool changed = false;
  ASSERT_EQ(ApplyConditionEdits(&m, 1, &row, &failure, &changed), 1);

  BandLineRec* l = d.doc.m_bandLines.lines;
  const uint8_t kinds[] = {kBandPageHeader, kBandRecord, kBandRecord, kBandSummary, kBandPageFooter};
  for (int i = 0; i < 5; ++i) {
    l[i].kind = kinds[i];
    l[i].bottom = (i + 1) * 20 - 1;
    l[i].pixelHeight = 20;
  }
  d.doc.m_bandLines.lastUsed = 4;
  l[2].objectId = 4;  // PAID decides whether line 2 prints
  l[1].heightMode = 1;
  l[1].height = 140;
  l[3].reserved = 1;
  l[3].flags = 1;

  d.Text("Orders \xB7 list", 0, 10)->head.faceAtom = AddFaceAtom("Arial");
  d.Text("", 4, 0);
  ordno->head.faceAtom = AddFaceAtom("Courier New");
  LineBoxItem box = MakeNewBox();
  box.head.bandLine = 1;
  box.head.left = 5;
  box.head.right = 200;
  box.head.top = 25;
  box.head.bottom = 34;
  box.thickness = 2;
  d.L().linesBoxes.Append(box);
  LineBoxItem line = MakeNewLine(kBorderTop);
  line.head.bandLine = 3;
  line.head.left = 0;
  line.head.right = 300;
  line.head.top = 60;
  line.head.bottom = 79;  // as high as its line
  d.L().linesBoxes.Append(line);
  PictureItem pic;
  pic.head.flags = kNewPictureFlags;
  pic.head.bandLine = 0;
  pic.head.left = 400;
  pic.head.top = 2;
  pic.shownWidth = 150;
  pic.shownHeight = 75;
  pic.source[2] = 640;
  pic.source[3] = 480;
  std::snprintf(pic.fileName, sizeof pic.fileName, "C:\\PICS\\LOGO.BMP");
  d.L().pictures.Append(pic);
  ChartTableEntry chart;
  chart.head.flags = kItemKindChart;
  chart.head.bandLine = 3;
  chart.head.left = 10;
  chart.head.top = 41;
  chart.head.right = 210;
  chart.head.bottom = 59;
  d.L().charts.Append(chart);

  PageSetupRec& p = *d.doc.m_pPageSetup;
  p.PaperLength = 2970;
  p.PaperWidth = 2100;
  p.TopMargin = 100;
  p.BottomMargin = 110;
  p.LeftMargin = 120;
  p.RightMargin = 130;
  p.Copies = 2;
  p.Collate = 1;
  p.OutputDestination = kOutputToFile;
  p.NoSuppressRecordLines = 1;
  p.Landscape = 1;
  p.NoBreakRecordArea = 1;
  p.PaperSource = 3;
  p.RecordHeight = 500;
  p.RecordWidth = 800;
  p.RecordCopies = 1;
  p.ExtraColumns = 2;
  p.RecordsAcross = 1;

  ReportSettings& s = d.st.settings;
  s.comments = "Monthly orders";
  s.charts = {{1, 2, 0, 4}};
  s.printFileName = "C:\\OUT\\ORDERS.PRN";
  s.sources[0].driver = "SQLite3";
  s.sources[0].connectUser = "UID=a;PWD=b";
  s.sources[0].quote = '"';
  s.sources[0].sourceName = "Orders DB";
  s.sources[1].entryForm = true;
  s.sources[1].sourceName = "Customers";
  s.sources[1].databaseName = "C:\\DATA";
  s.sources[1].placeBits = 4 | 8;
  s.labelStock = "Avery 5160";
  s.pageLength = 11000;
  s.firstPage = 2;
  s.lastPage = 9;
  s.textOption = 1;
  s.shortTexts[0] = "A";
  s.shortTexts[1] = "B text";
  s.shortTexts[2] = "C text";
  s.formatOptions[1] = 1;
  s.displayPictures[0] = "#,##0.00";
  s.displayPictures[3] = "MM/DD/YY";
  s.timePicture = 5;
  s.formatTexts[0] = "fmt";
  s.formatTexts[2] = "last";
  s.targets89 = {true, 3, 1, "C:\\OUT\\A.TXT"};
  s.targets119 = {true, 4, 0, "C:\\OUT\\B.TXT"};
  s.htmlOptions = {1, 2, 3, 0, 0, 9};
  s.options120 = {true, 5, {1, 2, 3}, "exp", "settings"};
  s.exportDefinitions.push_back({0x0101, "Sheet", "C:\\X\\SHEET.DLL", {9, 8, 7}});
  // Compiled and ordered as the program keeps a report it edits.
  ASSERT_EQ(CompileFieldText(&m, calc, nullptr), 0);
  ASSERT_EQ(CompileFieldText(&m, total, nullptr), 0);
  PropagateFieldDependencies(&m);
}

// Where two streams first differ, as "record type at offset", for failure output.
inline std::string FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  size_t i = 0, start = 0;
  unsigned type = 0;
  for (size_t r = 0; r + 4 <= a.size();) {
    const size_t n = a[r + 2] | (a[r + 3] << 8);
    if (i >= r + 4 + n) { r += 4 + n; continue; }
    break;
  }
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  for (size_t r = 0; r + 4 <= a.size();) {
    const size_t n = a[r + 2] | (a[r + 3] << 8);
    if (i < r + 4 + n) { start = r; type = (a[r] | (a[r + 1] << 8)); break; }
    r += 4 + n;
  }
  return "offset " + std::to_string(i) + " in record " + std::to_string(type) + " at " + std::to_string(start) +
         " (sizes " + std::to_string(a.size()) + ", " + std::to_string(b.size()) + ")";
}

// The header record's save time, which differs between two writes.
inline std::vector<uint8_t> WithoutTime(std::vector<uint8_t> b) {
  for (size_t i = 6; i < 13 && i < b.size(); ++i) b[i] = 0;
  return b;
}

}  // namespace rs_test
