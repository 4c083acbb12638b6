// The page capture of the page-image exports keeps each run's text in the
// report's code page, as the stream gave it, and its font.
#include "engine/output_stream.h"
#include "platform/export/page_capture.h"
#include "platform/printer/escape_stream.h"
#include "platform/win/ui_app.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct Line {
  std::vector<BYTE> bytes;
  Line& Esc(BYTE code, WORD a1 = 0xFFFF, WORD a2 = 0xFFFF, WORD a3 = 0xFFFF) {
    BYTE buf[8];
    BYTE* end = PutEscapeSequence(buf, code, a1, a2, a3);
    bytes.insert(bytes.end(), buf, end);
    return *this;
  }
  Line& Text(const std::string& t) {
    const size_t at = bytes.size();
    bytes.resize(at + t.size());
    PutStreamText(bytes.data() + at, t.data(), static_cast<int>(t.size()));
    return *this;
  }
};

TEST(PageCapture, RunsKeepTheCodePageBytesAndTheirFont) {
  UiStartApplication();
  PageOutputState state;
  state.printerResX = state.printerResY = 720;
  state.fontFaces = {"Courier New", "Arial"};
  state.fontCount = 2;
  CapturedDocument doc;
  std::unique_ptr<PageDriver> capture(CreatePageCaptureDriver(&doc));
  ASSERT_EQ(capture->BeginPage(&state, 360, 1), 1);
  Line line;
  // Latin-1 letters, Windows-1252 punctuation, a byte it leaves undefined
  // and a control byte (drawn as a blank).
  line.Esc(kEscFont, 1, 1, 120).Esc(kEscPosition, 0).Text("caf\xE9 \x80\x93q\x81\x01!");
  line.Esc(kEscFont, 1, 0, 100).Esc(kEscPosition, 200).Text("plain");
  const int n = static_cast<int>(line.bytes.size());
  // Measured first, as the run does, then output: the same runs either way.
  for (bool measured : {true, false}) {
    if (measured) {
      ASSERT_NE(capture->MeasureLine(&state, line.bytes.data(), n, 0), 0u);
    }
    ASSERT_EQ(capture->AdvanceBeforeLine(&state, 120, 1), 1);
    ASSERT_EQ(capture->OutputLine(&state, line.bytes.data(), n), 1);
  }
  ASSERT_EQ(doc.pages.size(), 1u);
  ASSERT_EQ(doc.pages[0].lines.size(), 2u);
  for (const CapturedLine& l : doc.pages[0].lines) {
    ASSERT_EQ(l.runs.size(), 2u);
    EXPECT_EQ(l.runs[0].text, "caf\xE9 \x80\x93q\x81 !");
    EXPECT_EQ(l.runs[0].face, "Liberation Sans");
    EXPECT_EQ(l.runs[0].size, 120);
    EXPECT_TRUE(l.runs[0].bold);
    EXPECT_GT(l.runs[0].width, 0);
    EXPECT_EQ(l.runs[1].text, "plain");
    EXPECT_EQ(l.runs[1].size, 100);
    EXPECT_FALSE(l.runs[1].bold);
    EXPECT_EQ(l.runs[1].x, doc.pages[0].lines[0].runs[1].x);
  }
}

}  // namespace
