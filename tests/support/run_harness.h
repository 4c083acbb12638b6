// A run without a printer or a database: a printer library that keeps pages
// as lists of band names, a run output that lays each band out by its line
// heights and names it on the page, and records with group values that the
// model's record pass reads from memory (the run's own group-break
// detection acts on them).
#pragma once

#include "app/document.h"
#include "engine/run_report.h"
#include "core/composite.h"
#include "core/row_source.h"
#include "tests/engine/stub_page_driver.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

struct FakePage {
  std::vector<std::string> bands;
  int send = -1;        // the end-of-page send flag, -1 before the page ends
  int beginSend = -1;   // the page-start send flag
};

class FakeDriver : public StubPageDriver {
 public:
  int FontLineHeight(PageOutputState*, int, int, int size, int) override { return size > 0 ? size : 120; }
  int CharWidth(PageOutputState*, int, int, int, int) override { return 0; }
  LONG EndPage(PageOutputState*, int send) override;
  int SpaceLeft(PageOutputState*, int bottomMargin) override;
  int BeginPage(PageOutputState*, int topStart, int send) override;
  int MoveDown(PageOutputState*, int distance, int) override;
  WORD CurrentY(PageOutputState*) override { return static_cast<WORD>(y); }

  // Adds a band to the open page (one is opened when none is).
  void Note(const std::string& band);

  int pageLength = 1200;
  int y = 0;
  bool open = false;
  int* cancelOnEnd = nullptr; // a run state the page end sets to cancelled
  LONG endPageResult = 1;
  int moveBacks = 0;          // upward moves (a new column)
  std::vector<FakePage> pages;
};

// One record: its group values, outermost first.
struct FakeRecord {
  std::vector<int> keys;
};

// The records as the record pass reads them: one numeric key field per
// group level, a fetch that fails after failAt fetches.
class HarnessRows : public RecordRowSource {
 public:
  int FetchNextRow() override;
  int FetchRow(uint32_t recordNumber) override;
  void ConvertFetchedRow(CKmComposite* model) override;
  class RunHarness* harness = nullptr;
  size_t current = 0;
};

// Band output reduced to its effect: the band's height moves the page down
// and its name goes on the page; the closing messages are kept.
class HarnessOutput : public RunOutput {
 public:
  int StartJob(KmDocBase*) override { return refuseJob ? 0 : 1; }
  int OutputBand(KmDocBase* doc, int band, int fitLimit) override;
  void ShowMessage(KmDocBase* doc, int message, uint32_t value) override;
  bool refuseJob = false;  // the output job cannot start
};

// A report laid out and run by the program's run.
class RunHarness {
 public:
  RunHarness();
  ~RunHarness();
  // Band lines in layout order: each line of a band holds one field whose
  // font height is the line's height (0: the default line height).
  void AddBand(BYTE kind, int lines, int lineHeight = 0, BYTE lineFlags = 0, bool withItems = true);
  void SetGroups(const std::vector<uint8_t>& options);
  void SetRecords(const std::vector<FakeRecord>& r) { records = r; }
  // Prepares the layout figures and runs the report.
  void Run();

  // The bands of each sent page joined by blanks ("" for a page not sent).
  std::vector<std::string> SentPages() const;
  // Every page, sent or not.
  std::vector<std::string> AllPages() const;

  CKmDoc doc;
  CKmComposite* model = nullptr;
  FakeDriver driver;
  PageOutputState page;
  ReportRun* run = nullptr;
  std::vector<int> messages;
  int fetches = 0;
  int failFetchAt = -1;       // the fetch after which the rows fail
  int reportedError = 0;      // the code the run stopped with
  bool noRecordSource = false;  // the report has no master table
  std::vector<FakeRecord> records;
  size_t nextRecord = 0;
  FieldDef* keys[kRunGroupLevels] = {};  // the group key fields of the records
  FieldDef* copies = nullptr;            // a numeric field every record holds copiesValue in
  double copiesValue = 0;
  HarnessRows rows;
  HarnessOutput output;

 private:
  std::unique_ptr<BandLineRec[]> lines_;
  std::deque<FieldDef> items_;
  ReportItemHead* lastItem_ = nullptr;
};

// The harness of the run now in progress (for the links).
RunHarness* CurrentHarness();
std::string BandName(int band);
