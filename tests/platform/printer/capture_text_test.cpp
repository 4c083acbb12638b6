// The page capture of the page-image exports keeps each run's text in the
// report's code page, as the stream gave it.
#include "tests/platform/printer/printer_fixture.h"

#include "platform/export/page_capture.h"
#include "platform/printer/escape_stream.h"

#include <memory>

namespace {

TEST(PageCapture, RunsKeepTheCodePageBytesAndTheirFont) {
  TestApplication();
  PdfRun run;
  CapturedDocument doc;
  std::unique_ptr<PageDriver> capture(CreatePageCaptureDriver(&doc));
  ASSERT_EQ(capture->BeginPage(&run.state, 360, 1), 1);
  LineBuilder line;
  // Latin-1 letters, Windows-1252 punctuation, a byte it leaves undefined
  // and a control byte (drawn as a blank).
  line.Esc(kEscFont, 1, 1, 120).Esc(kEscPosition, 0).Text("caf\xE9 \x80\x93q\x81\x01!");
  line.Esc(kEscFont, 1, 0, 100).Esc(kEscPosition, 200).Text("plain");
  ASSERT_EQ(capture->AdvanceBeforeLine(&run.state, 120, 1), 1);
  ASSERT_EQ(capture->OutputLine(&run.state, line.data(), line.size()), 1);
  ASSERT_EQ(doc.pages.size(), 1u);
  ASSERT_EQ(doc.pages[0].lines.size(), 1u);
  const std::vector<CapturedRun>& runs = doc.pages[0].lines[0].runs;
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].text, "caf\xE9 \x80\x93q\x81 !");
  EXPECT_EQ(runs[0].face, "Liberation Sans");
  EXPECT_EQ(runs[0].size, 120);
  EXPECT_TRUE(runs[0].bold);
  EXPECT_EQ(runs[1].text, "plain");
  EXPECT_EQ(runs[1].size, 100);
  EXPECT_FALSE(runs[1].bold);
}

}  // namespace
