// The record and page loop and the run's end: pages, page ranges, copies,
// columns, record repeats and the messages of a run that printed nothing.
#include "tests/support/run_harness.h"
#include "model/field_compile.h"

#include "core/engine_errors.h"
#include "expr/functions_common.h"
#include "model/field_dependencies.h"
#include "model/record_pass.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

std::vector<FakeRecord> Records(int n, int groupEvery = 0) {
  std::vector<FakeRecord> out;
  for (int i = 0; i < n; ++i) out.push_back(FakeRecord{{groupEvery ? i / groupEvery : 0}});
  return out;
}

// Title, page header, record, summary and page footer of one line each,
// over n records.
struct PlainRun : RunHarness {
  explicit PlainRun(int n = 0) {
    for (BYTE band : {kBandTitle, kBandPageHeader, kBandRecord, kBandSummary, kBandPageFooter}) AddBand(band, 1);
    SetRecords(Records(n));
  }
};

int Count(const std::string& page, const std::string& word) {
  int n = 0;
  size_t pos = 0;
  std::string padded = " " + page + " ";
  while ((pos = padded.find(" " + word + " ", pos)) != std::string::npos) ++n, ++pos;
  return n;
}

TEST(RunLoop, PagesCarryHeaderFooterAndNumbersTitleOnce) {
  PlainRun h(20);
  h.Run();
  std::vector<std::string> pages = h.SentPages();
  ASSERT_EQ(pages.size(), 3u);  // 7 records on the first page, 8 on the others
  for (size_t i = 0; i < pages.size(); ++i) {
    std::string n = std::to_string(i + 1);
    EXPECT_EQ(pages[i].find(i == 0 ? "T PH#1 R1" : "PH#" + n), 0u) << pages[i];
    EXPECT_EQ(pages[i].substr(pages[i].size() - n.size() - 3), "PF#" + n) << pages[i];
  }
  EXPECT_EQ(Count(pages[0], "R7"), 1);
  EXPECT_EQ(pages[1].find("PH#2 R8 "), 0u);
  EXPECT_NE(pages[2].find("R20 S PF#3"), std::string::npos);
  EXPECT_EQ(h.run->recordsOutput, 20u);
  EXPECT_EQ(h.doc.m_nRunState, 0);
  EXPECT_TRUE(h.messages.empty());
}

TEST(RunLoop, PageRangeLaysOutEarlierPagesUnsentAndStopsAfterTheLast) {
  PlainRun h(45);  // six pages
  h.run->startPage = 3;
  h.run->endPage = 4;
  h.Run();
  ASSERT_EQ(h.driver.pages.size(), 4u);
  EXPECT_EQ(h.driver.pages[0].send, 0);
  EXPECT_EQ(h.driver.pages[1].send, 0);
  EXPECT_EQ(h.driver.pages[2].send, 1);
  EXPECT_EQ(h.driver.pages[3].send, 1);
  EXPECT_EQ(h.driver.pages[2].beginSend, 1);
  EXPECT_EQ(h.driver.pages[1].beginSend, 0);
  EXPECT_EQ(h.SentPages()[2].find("PH#3 R16"), 0u);
  // The rest of the records is not read and nothing closes the report.
  EXPECT_LT(h.fetches, 40);
  EXPECT_EQ(h.AllPages()[3].find(" S "), std::string::npos);
  EXPECT_TRUE(h.messages.empty());
}

TEST(RunLoop, RunsThatProduceNothingEndWithTheirMessage) {
  {
    PlainRun h;  // every record filtered out
    h.Run();
    EXPECT_EQ(h.messages, std::vector<int>{kMsgNoRecords});
    EXPECT_TRUE(h.driver.pages.empty());
  }
  {
    PlainRun h(10);
    h.run->startPage = 99;
    h.Run();
    EXPECT_EQ(h.messages, std::vector<int>{kMsgStartPageTooLarge});
    for (const FakePage& p : h.driver.pages) EXPECT_EQ(p.send, 0);
  }
  {
    PlainRun h(10);  // an export says nothing about the start page
    h.run->startPage = 99;
    h.run->exportRun = 1;
    h.Run();
    EXPECT_TRUE(h.messages.empty());
  }
}

TEST(RunLoop, FailuresStopTheRunWithoutClaimingThereWereNoRecords) {
  {
    PlainRun h(10);  // a fetch error after three records
    h.failFetchAt = 3;
    h.Run();
    EXPECT_EQ(h.reportedError, kEngineFetchFailed);
    EXPECT_EQ(h.doc.m_nRunState, kRunStopped);
    EXPECT_TRUE(h.messages.empty());
  }
  {
    PlainRun h(3);  // the output job cannot start
    h.output.refuseJob = true;
    h.Run();
    EXPECT_EQ(h.doc.m_nRunState, kRunStopped);
    EXPECT_TRUE(h.driver.pages.empty());
    EXPECT_TRUE(h.messages.empty());
  }
  {
    PlainRun h(20);  // the printer refuses a page end; later ends are skipped
    h.driver.endPageResult = -1;
    h.Run();
    EXPECT_EQ(h.doc.m_nRunState, kRunStopped);
    EXPECT_EQ(h.driver.pages.size(), 1u);
    EXPECT_TRUE(h.messages.empty());
  }
  {
    PlainRun h(20);  // a cancel stays a cancel when the page end then fails
    h.driver.endPageResult = -1;
    h.driver.cancelOnEnd = &h.doc.m_nRunState;
    h.Run();
    EXPECT_EQ(h.doc.m_nRunState, kRunCancelled);
  }
  {
    PlainRun h(3);  // records across beyond any memory
    h.run->recordsAcrossExtra = 0x7FFFFFFF;
    h.Run();
    EXPECT_EQ(h.messages, std::vector<int>{kMsgAcrossMemory});
    EXPECT_TRUE(h.driver.pages.empty());
    EXPECT_EQ(h.run->acrossBuffer, nullptr);
  }
}

TEST(RunLoop, RecordRepeatCountIsBoundedAndDefined) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::pair<double, uint32_t> cases[] = {{0, 1},  {1, 1},          {1.9, 1},           {3.7, 3},
                                               {-5, 1}, {std::nan(""), 1}, {1e300, 2147483647u}, {inf, 2147483647u}};
  for (const auto& c : cases) EXPECT_EQ(RecordRepeatCount(c.first), c.second) << c.first;

  PlainRun h(2);
  h.driver.pageLength = 100000;
  h.model->recordRepeatField = h.model->GetFieldIndex(h.copies);
  h.copiesValue = 3.7;
  h.Run();
  EXPECT_EQ(h.SentPages()[0], "T PH#1 R1 R1 R1 R2 R2 R2 S PF#1");
}

// The notes a run leaves in the status line, kept.
struct NoteLog : RunShell {
  void PostRecordCount(KmDocBase&, int) override {}
  void PostPageNumber(KmDocBase&) override {}
  void PostCopyNumber(KmDocBase&, int) override {}
  void PostExportCount(KmDocBase&, uint32_t, int) override {}
  void PreviewPageDone(KmDocBase&, int) override {}
  void PageEnded(KmDocBase&, int32_t) override {}
  void ShowCounter(KmDocBase&, uint32_t, const char*) override {}
  void ShowRunNote(KmDocBase&, const std::string& text) override { notes.push_back(text); }
  std::vector<std::string> notes;
};

// Copies a repeat field cannot give: a field that holds no number prints each
// record once, one that asks for more than the Record Layout allows prints
// that many; the run says why, once, and never hangs on a huge value.
TEST(RunLoop, ARepeatFieldThatCannotGiveItsCopiesPrintsWhatItCanAndSaysWhy) {
  {
    PlainRun h(2);
    h.driver.pageLength = 100000;
    NoteLog log;
    InstallRunShell(&log);
    FieldDef* text = h.model->AddField(kFieldNeeded);  // a text field
    std::snprintf(text->name, sizeof text->name, "LABEL");
    h.model->recordRepeatField = h.model->GetFieldIndex(text);
    h.Run();
    InstallRunShell(nullptr);
    EXPECT_EQ(h.SentPages()[0], "T PH#1 R1 R2 S PF#1");
    ASSERT_EQ(log.notes.size(), 1u);
    EXPECT_NE(log.notes[0].find("LABEL holds no number"), std::string::npos) << log.notes[0];
  }
  PlainRun h(2);
  h.driver.pageLength = 10000000;
  NoteLog log;
  InstallRunShell(&log);
  h.model->recordRepeatField = h.model->GetFieldIndex(h.copies);
  h.copiesValue = 1e12;
  h.Run();
  InstallRunShell(nullptr);
  EXPECT_EQ(h.run->recordsOutput, 2u);
  EXPECT_EQ(Count(h.SentPages()[0], "R1"), kMaxRecordCopies);
  EXPECT_EQ(Count(h.SentPages()[0], "R2"), kMaxRecordCopies);
  ASSERT_EQ(log.notes.size(), 1u);
  EXPECT_NE(log.notes[0].find("more than 999"), std::string::npos) << log.notes[0];
}

TEST(RunLoop, WithoutRecordSourceOneRecordBand) {
  PlainRun h;
  h.noRecordSource = true;
  h.Run();
  ASSERT_EQ(h.SentPages().size(), 1u);
  EXPECT_EQ(h.SentPages()[0], "T PH#1 R1 S PF#1");
}

TEST(RunLoop, BandTallerThanPageGoesToTopOfNextPageOnce) {
  RunHarness h;
  h.AddBand(kBandPageHeader, 1);
  h.AddBand(kBandRecord, 12);  // 1,440 of a 1,200 page
  h.AddBand(kBandPageFooter, 1);
  h.SetRecords(Records(3));
  h.Run();
  std::vector<std::string> pages = h.SentPages();
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[0], "PH#1 R1 PF#1");
  EXPECT_EQ(pages[1], "PH#2 R2 PF#2");
  EXPECT_EQ(pages[2], "PH#3 R3 PF#3");
}

TEST(RunLoop, ColumnsFillThePageBeforeItEnds) {
  RunHarness h;
  h.AddBand(kBandPageHeader, 1);
  h.AddBand(kBandRecord, 1);
  h.AddBand(kBandPageFooter, 1);
  h.SetRecords(Records(20));  // 8 to a column
  h.run->columnsAcross = 3;
  h.Run();
  EXPECT_EQ(h.driver.moveBacks, 2);
  ASSERT_EQ(h.SentPages().size(), 1u);
  EXPECT_EQ(Count(h.SentPages()[0], "PH#1"), 1);
  EXPECT_EQ(Count(h.SentPages()[0], "PF#1"), 1);
  EXPECT_EQ(Count(h.SentPages()[0], "R20"), 1);
}

TEST(RunLoop, CopiesRunAPassEachUnlessTheFirstSentNothing) {
  {
    PlainRun h(2);
    h.driver.pageLength = 100000;
    h.run->copies = 2;
    h.Run();
    EXPECT_EQ(h.SentPages(), (std::vector<std::string>{"T PH#1 R1 R2 S PF#1", "T PH#1 R1 R2 S PF#1"}));
  }
  {
    PlainRun h(2);
    h.run->copies = 2;
    h.run->startPage = 5;
    h.Run();
    EXPECT_EQ(h.driver.pages.size(), 1u);
    EXPECT_EQ(h.fetches, 3);
  }
}

TEST(RunLoop, RecordHeightLeavesOutEmptyBottomLines) {
  RunHarness h;
  h.AddBand(kBandRecord, 1, 200);
  h.AddBand(kBandRecord, 2, 0, 0, false);
  h.AddBand(kBandPageFooter, 2);
  ASSERT_EQ(PrepareRun(&h.doc), 0);
  EXPECT_EQ(h.run->recordHeight, 200);
  EXPECT_EQ(h.run->recordBandLines, 3u);
  EXPECT_EQ(BandHeight(&h.doc, kBandRecord, 1), 440);
  SetRunMode(&h.doc, 0);
  EXPECT_EQ(h.run->pageFooterHeight, 240);
}

}  // namespace

// A new page number is evaluated again in the previous values as well (a
// group footer closing on the new page prints those), whatever the count of
// records accepted so far.
TEST(RunLoop, ANewPageNumberReachesThePreviousValuesToo) {
  InstallBuiltinFunctionHandlers();
  PlainRun h(0);
  FieldDef* page = CompileField(h.model, "PAGEX", "PAGENO() * 10", false, nullptr);
  ASSERT_NE(page, nullptr);
  page->needsPrevious = 1;
  PropagateFieldDependencies(h.model);
  page->flags |= kFieldNeeded | kFieldPageNumber;  // as the dependency scan marks it when printed
  ASSERT_EQ(OpenScan(h.model), 0);
  for (uint32_t accepted : {0u, 1u, 7u}) {
    GetRecordPassState(h.model)->acceptedCount = accepted;
    std::memset(page->value, 0, 8);
    std::memset(page->previous, 0, 8);
    SetPageNumber(&h.doc, 4 + accepted);
    double now = 0, before = 0;
    std::memcpy(&now, page->value, 8);
    std::memcpy(&before, page->previous, 8);
    EXPECT_EQ(now, 40 + 10 * accepted);
    EXPECT_EQ(before, 40 + 10 * accepted);
    EXPECT_EQ(GetRecordPassState(h.model)->acceptedCount, accepted);
  }
}
