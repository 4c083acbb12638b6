// Builds a report in code over a connected data source, the way the program
// keeps one it edits: columns of the master table, calculations compiled by
// the model, totals, band lines with their items, and a filter written by
// the selection rows.
#pragma once

#include "app/document.h"
#include "model/field_compile.h"
#include "app/picture_images.h"
#include "core/composite.h"
#include "data/data_access.h"
#include "data/db_errors.h"
#include "data/open_tables.h"
#include "data/reportview.h"
#include "data/table_fields.h"
#include "engine/run_report.h"
#include "engine/summary_fields.h"
#include "files/report_io.h"
#include "foundation/band_lines.h"
#include "foundation/heap_strings.h"
#include "layout/fonts.h"
#include "layout/layout_helpers.h"
#include "layout/layout_records.h"
#include "layout/page_metrics.h"
#include "layout/page_setup.h"
#include "model/field_dependencies.h"
#include "model/group_levels.h"
#include "model/selection_conditions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace roundtrip {

constexpr int kCell = 10;         // pixels of one character cell
constexpr uint8_t kOnBand = 253;  // the total is worked out where it stands

class ReportMaker {
 public:
  ReportMaker(CKmDoc& doc, CKmRepIO& io) : doc_(doc), io_(io) {}

  // The master table from the data source, keeping only the named columns.
  bool Begin(const char* dsn, const char* table, const std::vector<const char*>& keep, std::string* error) {
    if (!Connect(dsn, error)) return false;
    m_->AddTableSlot(table, "", 0, 0, nullptr);
    if (BuildSqlFieldList(m_, 0, nullptr, nullptr, nullptr, true, nullptr, 0) != 0) {
      *error = DbLastErrorText();
      return false;
    }
    io_.m_stream.settings.sources[0].sourceName = dsn;
    // Only what is placed is on the layout.
    for (FieldDef* f = m_->fieldList; f != nullptr; f = f->next) f->head.flags &= ~kItemKindField;
    for (FieldDef* f = m_->fieldList; f != nullptr;) {
      FieldDef* next = f->next;
      if (f->table == 0 &&
          std::none_of(keep.begin(), keep.end(), [f](const char* k) { return std::strcmp(k, f->name) == 0; }))
        m_->DeleteField(f, 0);
      f = next;
    }
    return true;
  }

  // The master is the user's own SELECT: its result's columns are the fields.
  bool BeginStatement(const char* dsn, const char* statement, std::string* error) {
    if (!Connect(dsn, error)) return false;
    if (const int rc = SetupSqlMaster(m_, statement, false, TableOverrideContext())) {
      *error = "the statement was refused with " + std::to_string(rc) + ": " + DbLastErrorText();
      return false;
    }
    io_.m_stream.settings.sources[0].sourceName = dsn;
    for (FieldDef* f = m_->fieldList; f != nullptr; f = f->next) f->head.flags &= ~kItemKindField;
    return true;
  }

  CKmComposite& M() { return *m_; }
  CKmRepIO& Io() { return io_; }

  FieldDef* Column(const char* name) {
    for (FieldDef* f = m_->fieldList; f; f = f->next)
      if (f->table == 0 && std::strcmp(f->name, name) == 0) return f;
    ADD_FAILURE() << "no column " << name;
    return nullptr;
  }

  FieldDef* Calc(const char* name, const char* text) {
    FieldDef* f = CompileField(m_, name, text, false, nullptr);
    EXPECT_NE(f, nullptr) << name << " = " << text;
    return f;
  }

  FieldDef* Total(const char* name, FieldDef* source, uint8_t kind, uint8_t reset, bool preprocessed = false) {
    FieldDef* f = m_->AddField(kFieldNumeric | kFieldItem);
    std::snprintf(f->name, sizeof f->name, "%s", name);
    f->totalFlags = kTotalIsTotal | (preprocessed ? kTotalPreprocessed : 0);
    f->totalFunction = kind;
    f->totalReset = reset;
    f->totalLevel = kOnBand;
    f->refField = m_->GetFieldIndex(source);
    f->table = kTableNone;
    return f;
  }

  // Group level (0-7) on a field, its sort slot with a direction.
  void Group(int level, FieldDef* f, bool descending) {
    m_->groupFields[level] = m_->GetFieldIndex(f);
    m_->groupFlags[level] = 1;
    Sort(level, f, descending);
  }
  void Sort(int slot, FieldDef* f, bool descending) {
    m_->sortFields[slot] = m_->GetFieldIndex(f);
    m_->sortWords[slot] = descending ? kSortDescending : 0;
  }

  // The filter from selection rows (joining 0 none, 1 and, 2 or).
  bool Filter(std::vector<SelectConditionRow> rows, std::string* error) {
    int code = 0, row = 0;
    if (ParseConditionList(m_, static_cast<int>(rows.size()), rows.data(), &code, &row) != 1) {
      *error = "condition row " + std::to_string(row) + " refused with " + std::to_string(code);
      return false;
    }
    uint32_t failure = 0;
    bool changed = false;
    return ApplyConditionEdits(m_, static_cast<int>(rows.size()), rows.data(), &failure, &changed) == 1;
  }
  SelectConditionRow Row(uint8_t joining, FieldDef* f, uint8_t op, const char* values) {
    SelectConditionRow r;
    r.joining = joining;
    r.field = m_->GetFieldIndex(f);
    r.op = op;
    std::snprintf(r.values, sizeof r.values, "%s", values);
    return r;
  }

  int Line(BYTE kind, int height = 0) {
    BandLineTable& t = doc_.m_bandLines;
    const int index = ++t.lastUsed;
    BandLineRec& rec = t.lines[index];
    rec = BandLineRec{};
    rec.kind = kind;
    rec.objectId = -1;
    rec.pixelHeight = height > 0 ? height : doc_.m_pLayout->DefaultLineHeight();
    const int top = index == 0 ? 0 : t.lines[index - 1].bottom + 1;
    rec.bottom = top + rec.pixelHeight - 1;
    rec.baseline = rec.pixelHeight - 4;
    return index;
  }

  void Place(FieldDef* f, int line, int column, int cells, int decimals = -1) {
    Head(f->head, line, column, cells);
    f->head.flags |= kItemKindField;
    f->flags |= kFieldItem | kFieldNeeded;
    f->displayWidth = static_cast<uint32_t>(cells);
    if (decimals >= 0) f->displayDecimals = static_cast<uint8_t>(decimals);
  }

  void Text(int line, int column, const char* text) {
    auto* x = new TextItem;
    const size_t n = std::strlen(text);
    x->text = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(n + 1)));
    std::memcpy(x->text, text, n);
    Head(x->head, line, column, static_cast<int>(n));
    TextItem** tail = &doc_.m_pLayout->textHead;
    while (*tail != nullptr) tail = &(*tail)->nextText;
    *tail = x;
    ++doc_.m_pLayout->textCount;
  }

  void Box(int line, int column, int cells) {
    LineBoxItem b = MakeNewBox();
    Head(b.head, line, column, cells);
    b.head.height = -1;  // as high as its line
    b.thickness = 1;
    doc_.m_pLayout->linesBoxes.Append(b);
  }
  void Rule(int line, int column, int cells) {
    LineBoxItem l = MakeNewLine(kBorderTop);
    Head(l.head, line, column, cells);
    l.head.height = -1;
    l.thickness = 1;
    doc_.m_pLayout->linesBoxes.Append(l);
  }

  // A picture from a file, at its place on the line.
  void Picture(int line, int column, const std::string& file) {
    PictureItem p;
    p.head.flags = kNewPictureFlags;
    const BandLineRec& l = doc_.m_bandLines.lines[line];
    p.head.bandLine = static_cast<uint8_t>(line);
    p.head.left = column * kCell;
    p.head.right = p.head.left + 15;
    p.head.top = l.bottom + 1 - l.pixelHeight;
    p.head.bottom = l.bottom;
    p.shownWidth = 16;
    p.shownHeight = 16;
    p.source[2] = 1;
    p.source[3] = 1;
    std::snprintf(p.fileName, sizeof p.fileName, "%s", file.c_str());
    PictureItem* added = doc_.m_pLayout->pictures.Append(p);
    ASSERT_NE(added, nullptr);
    // Its image, read as the program reads a picture it places.
    EXPECT_EQ(LoadPictureImage(doc_, *added), 0) << file;
  }

  // Ordered and marked as the program leaves a report it edits.
  void Finish() {
    PageSetupRec& page = *doc_.m_pPageSetup;
    page.TopMargin = page.BottomMargin = page.LeftMargin = page.RightMargin = 50;
    page.Copies = 1;
    page.PaperLength = 2794;
    page.PaperWidth = 2159;
    page.OutputDestination = kOutputToPrinter;
    BuildLayoutItemOrder(*doc_.m_pLayout);
    // The fields sized to their text in their fonts, as the program sizes a
    // field it places, so that the report prints the same here as after it
    // is saved and opened again.
    if (doc_.m_pFonts != nullptr) {
      doc_.m_pFonts->settingsFace = doc_.m_settings.faceName;
      doc_.m_pFonts->settingsSize = doc_.m_settings.pts;
      ReloadFonts(*doc_.m_pLayout, *doc_.m_pFonts, doc_.m_szPrinterDevice, false);
      for (ReportItemHead* h : PlacedFields(m_)) {
        AttachObjectFont(*doc_.m_pLayout, *doc_.m_pFonts, *h, false);
        SizeObjectToText(*doc_.m_pLayout, *h);
      }
    }
    CalcPageMetrics(doc_);
    PropagateFieldDependencies(m_);
    doc_.m_bReportOpen = TRUE;
  }

 private:
  bool Connect(const char* dsn, std::string* error) {
    if (!doc_.CreateReportTables()) return false;
    m_ = doc_.m_pModel;
    doc_.m_pLayout->model = m_;
    doc_.m_pLayout->AttachBandLineTable(&doc_.m_bandLines);
    ClearBandLineTable(doc_.m_bandLines);
    doc_.m_bandLines.lastUsed = -1;
    DataAccess* data = GetDataAccess(m_);
    data->sqlIniPath = VT_SOURCE_DIR "/samples/kmwsql.ini";
    if (data->ConnectDataSource(dsn, false, true, nullptr) != 1) {
      *error = DbLastErrorText();
      return false;
    }
    data->SelectDataSource(dsn);
    return true;
  }

  void Head(ReportItemHead& h, int line, int column, int cells) {
    const BandLineRec& l = doc_.m_bandLines.lines[line];
    h.bandLine = static_cast<uint8_t>(line);
    h.column = column;
    h.width = static_cast<uint8_t>(std::min(cells, 255));
    h.left = column * kCell;
    h.right = (column + cells) * kCell - 1;
    h.top = l.bottom + 1 - l.pixelHeight;
    h.bottom = l.bottom;
    h.height = l.pixelHeight;
    h.pointSize = 100;
    h.faceAtom = AddFaceAtom("Arial");
    h.flags |= kItemFixedPosition;
  }

  CKmDoc& doc_;
  CKmRepIO& io_;
  CKmComposite* m_ = nullptr;
};

// A scenario's settings folder made afresh (its kmw.ini, the shipped
// kmwsql.ini) and named to the program as its Windows folder.
inline void MakeSettingsFolder(const std::string& dir) {
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "/kmw.ini") << "[Preferences]\nShowSplash=0\n";
  std::filesystem::copy_file(VT_SOURCE_DIR "/samples/kmwsql.ini", dir + "/kmwsql.ini");
  setenv("VORTELLE_WINDIR", dir.c_str(), 1);
}

// A document to build a report in code: its band lines, page set-up and
// report file object. The run and the page set-up go with it, and the data
// source it names (none: nothing) is let go.
class MadeDocument {
 public:
  explicit MadeDocument(std::string dsn = std::string()) : dsn_(std::move(dsn)) {
    doc.m_bandLines.lines = lines_.get();
    doc.m_pPageSetup = AllocPageSetup();
    doc.m_pRepIO = &io;
  }
  ~MadeDocument() {
    FreeReportRun(&doc);
    doc.m_pRepIO = nullptr;
    FreePageSetup(doc.m_pPageSetup);
    doc.m_pPageSetup = nullptr;
    if (!dsn_.empty() && doc.m_pModel != nullptr) GetDataAccess(doc.m_pModel)->DisconnectDataSource(dsn_.c_str());
  }
  MadeDocument(const MadeDocument&) = delete;
  MadeDocument& operator=(const MadeDocument&) = delete;

  CKmDoc doc;

 private:
  std::unique_ptr<BandLineRec[]> lines_{new BandLineRec[kBandLineTableRecords]};
  std::string dsn_;

 public:
  CKmRepIO io{&doc};
};

// A report begun by begin (its master: false with the reason), laid out by
// layout, saved to path as the program saves one; the data source is let
// go again.
inline void MakeReportFile(const char* dsn, const std::string& path,
                           const std::function<bool(ReportMaker&, std::string*)>& begin,
                           const std::function<void(ReportMaker&)>& layout) {
  MadeDocument d(dsn);
  {
    ReportMaker r(d.doc, d.io);
    std::string error;
    ASSERT_TRUE(begin(r, &error)) << error;
    layout(r);
    r.Finish();
  }
  EXPECT_EQ(d.io.SaveReportFile(path.c_str()), kRepIoOk);
}

// A report over the table's named columns laid out by layout.
inline void MakeReportFile(const char* dsn, const std::string& path, const char* table,
                           const std::vector<const char*>& columns, const std::function<void(ReportMaker&)>& layout) {
  MakeReportFile(
      dsn, path, [&](ReportMaker& r, std::string* error) { return r.Begin(dsn, table, columns, error); }, layout);
}

}  // namespace roundtrip
