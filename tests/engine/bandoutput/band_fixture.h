// A report layout built in code, the document's run around it and a printer
// library that records what band output asks of it, with a simple page
// model: every line with text is 100 decipoints high with a depth of 20, the
// page is 11 inches long, and a new page begins at the top.
#pragma once

#include "app/document.h"
#include "layout/layout_records.h"
#include "engine/band_output.h"
#include "engine/report_run.h"
#include "core/composite.h"
#include "core/fields.h"
#include "platform/printer/escape_stream.h"
#include "tests/engine/stub_page_driver.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

class RecordingDriver : public StubPageDriver {
 public:
  struct Sent {
    std::string text;  // text bytes only
    std::string dump;  // text with every sequence as <code:args>
    LONG y = 0;        // baseline
    int visible = 1;
    int page = 0;
  };
  std::vector<Sent> lines;
  std::vector<std::string> log;  // "5:h:v", "13:d:v", "18:band", "page"
  std::vector<LineBoxRecord> boxes, flatLines;
  std::vector<PictureRecord> pictures;
  std::vector<ChartRecord> charts;
  LONG y = 0;
  LONG pageLength = 7920;
  int page = 1;
  bool open = true;  // a page is begun
  int refuse = 0;   // an ordinal that fails

  int AdvanceBeforeLine(PageOutputState*, int height, int visible) override {
    log.push_back("5:" + std::to_string(height) + ":" + std::to_string(visible));
    lastVisible = visible;
    y += height;
    return refuse == 5 ? 0 : 1;
  }
  int AdvanceAfterLine(PageOutputState*, int depth, int) override { return (y += depth), 1; }
  DWORD MeasureLine(PageOutputState*, const BYTE* line, int count, int) override {
    StreamReader r(line, count);
    for (StreamToken t = r.Next(); t.kind != StreamToken::kEnd; t = r.Next())
      if (t.kind == StreamToken::kText) return 100u | (20u << 16);
    return 0;
  }
  int SpaceLeft(PageOutputState*, int bottom) override { return static_cast<int>(std::max<LONG>(0, pageLength - bottom - y)); }
  LONG EndPage(PageOutputState*, int send) override;
  int BeginPage(PageOutputState*, int topStart, int send) override;
  int MoveDown(PageOutputState*, int distance, int visible) override {
    log.push_back("13:" + std::to_string(distance) + ":" + std::to_string(visible));
    return (y += distance), 1;
  }
  int OutputLine(PageOutputState*, const BYTE* line, int count) override;
  // Bold characters may measure wider than the others (twips).
  int boldWidth = 100;
  int CharWidth(PageOutputState*, int, int, int style, int) override { return (style & 1) ? boldWidth : 100; }
  int EndBand(PageOutputState*, int band, int) override { return log.push_back("18:" + std::to_string(band)), 1; }
  int DrawBox(PageOutputState*, const LineBoxRecord* r) override { return boxes.push_back(*r), refuse == 19 ? 0 : 1; }
  int DrawPicture(PageOutputState*, const PictureRecord* r) override { return pictures.push_back(*r), 1; }
  int DrawChart(PageOutputState*, const ChartRecord* r) override { return charts.push_back(*r), 1; }
  WORD CurrentY(PageOutputState*) override { return static_cast<WORD>(y); }
  int DrawLine(PageOutputState*, const LineBoxRecord* r) override { return flatLines.push_back(*r), 1; }

  // The texts sent, one per line.
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const Sent& s : lines) out.push_back(s.text);
    return out;
  }

 private:
  int lastVisible = 1;
};

class BandFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A band line of the kind; explicit height in tenths of a point (0: automatic).
  int AddLine(BYTE kind, BYTE flags = 0, int explicitHeight = 0);
  TextItem* AddText(int line, int column, const std::string& text, BYTE alignment = kAlignLeft);
  // A text field of width columns showing value.
  FieldDef* AddTextField(int line, int column, int width, const std::string& value, uint32_t format = 0);
  FieldDef* AddNumberField(int line, int column, int width, double value, uint32_t format = 0);
  LineBoxItem* AddBox(int firstLine, int lastLine, int column, int width, bool box = true);
  // Indexes the layout for band output once everything is placed.
  void Finish();
  int Band(int band, LONG fitLimit = 0) { return OutputBand(&run, band, fitLimit); }
  int CountPages() const {
    int n = 0;
    for (const std::string& e : driver.log) n += e == "page";
    return n;
  }

  CKmDoc doc;
  RecordingDriver driver;
  PageOutputState page;
  ReportRun run;
  LayoutTables layout;
  CKmComposite model{nullptr};
  BandOutputState* s = nullptr;
  std::vector<std::unique_ptr<TextItem>> texts;
  std::vector<std::unique_ptr<std::string>> textBodies;
  std::vector<std::unique_ptr<FieldDef>> fields;
  std::vector<std::unique_ptr<std::vector<BYTE>>> values;
};
