// A run without a printer or a database: a printer library that keeps pages
// as lists of band names, bands laid out by their line heights, and records
// with group values, with the group-break detection a real run does in its
// record pass.
#pragma once

#include "app/document.h"
#include "engine/run_report.h"
#include "core/composite.h"
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

// A report laid out and run through the run's links.
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
  int failFetchAt = -1;       // the fetch that answers an engine error
  int reportedError = 0;
  bool noRecordSource = false;  // every fetch gives a record without keys
  std::vector<FakeRecord> records;
  size_t nextRecord = 0;

 private:
  std::unique_ptr<BandLineRec[]> lines_;
  std::deque<ReportItemHead> items_;
  ReportItemHead* lastItem_ = nullptr;
};

// The harness of the run now in progress (for the links).
RunHarness* CurrentHarness();
std::string BandName(int band);
