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

// A long export spills its pages, whose lines are laid out on the scratch
// file's thread: what comes back is what a capture in memory keeps, the
// heights the run is given the same, a face named anew between lines
// followed, and a page left open laid out when the device closes.
TEST(PageCapture, SpilledPagesAreLaidOutAsInMemory) {
  UiStartApplication();
  auto run = [](bool spill, std::vector<DWORD>* heights) {
    PageOutputState state;
    state.printerResX = state.printerResY = 720;
    state.fontFaces = {"Courier New", "Arial"};
    state.fontCount = 2;
    auto doc = std::make_unique<CapturedDocument>();
    doc->spillPages = spill;
    std::unique_ptr<PageDriver> capture(CreatePageCaptureDriver(doc.get()));
    for (int page = 0; page < 3; ++page) {
      EXPECT_EQ(capture->BeginPage(&state, 360, 1), 1);
      for (int i = 0; i < 4; ++i) {
        // Font number 1 names another face from the third line of page 1 on.
        if (page == 1 && i == 2) state.fontFaces[1] = "Courier New";
        Line line;
        line.Esc(kEscFont, 1, i % 2, 100 + 20 * i).Esc(kEscPosition, 40 * i).Text("Row \xE9" + std::to_string(i));
        line.Esc(kEscFont, 0, 0, 100).Esc(kEscPosition, 900).Text(std::to_string(page));
        // A right-aligned run of two pieces, one of them Windows-1252 bytes
        // and a control byte, the other plain ASCII.
        line.Esc(kEscRightOpen).Text("\x80\x93\x01").Esc(kEscFont, 1, 0, 90).Text("ok").Esc(kEscRightClose, 1400);
        const int n = static_cast<int>(line.bytes.size());
        // The last line is output without being measured first.
        if (i < 3) heights->push_back(capture->MeasureLine(&state, line.bytes.data(), n, 1));
        capture->AdvanceBeforeLine(&state, 120, 1);
        capture->OutputLine(&state, line.bytes.data(), n);
        capture->AdvanceAfterLine(&state, 30, 1);
      }
      // The last page is still open when the device closes.
      if (page < 2) capture->EndPage(&state, 1);
    }
    capture->CloseDevice(&state, 0);
    return doc;
  };
  std::vector<DWORD> inMemoryHeights, spilledHeights;
  const auto inMemory = run(false, &inMemoryHeights);
  const auto spilled = run(true, &spilledHeights);
  EXPECT_EQ(spilledHeights, inMemoryHeights);
  EXPECT_EQ(spilled->PageCount(), 3u);
  EXPECT_TRUE(spilled->pages.size() <= 1u);
  std::vector<std::string> want, got;
  auto describe = [](std::vector<std::string>* out) {
    return [out](size_t, const CapturedPage& page) {
      for (const CapturedLine& l : page.lines) {
        std::string d = std::to_string(l.y) + "/" + std::to_string(l.height) + ":";
        for (const CapturedRun& r : l.runs)
          d += r.text + "@" + std::to_string(r.x) + "+" + std::to_string(r.width) + " " + r.face + " " +
               std::to_string(r.size) + (r.italic ? "i" : "") + "|";
        out->push_back(d);
      }
      return true;
    };
  };
  ASSERT_TRUE(inMemory->ForEachPage(describe(&want)));
  ASSERT_TRUE(spilled->ForEachPage(describe(&got)));
  ASSERT_EQ(want.size(), 12u);
  EXPECT_EQ(got, want);
  EXPECT_EQ(inMemory->pages[1].lines[1].runs[0].face, "Liberation Sans");
  EXPECT_NE(inMemory->pages[1].lines[2].runs[0].face, "Liberation Sans");
  EXPECT_EQ(spilled->Faces(), inMemory->Faces());
  EXPECT_EQ(spilled->LeftmostText(), inMemory->LeftmostText());
}

}  // namespace
