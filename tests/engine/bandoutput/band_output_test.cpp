#include "engine/field_text_lines.h"
#include "engine/line_text.h"
#include "engine/output_messages.h"
#include "engine/run_report.h"
#include "data/table_fields.h"
#include "layout/fonts.h"
#include "platform/qe/qe.h"
#include "model/memo_text.h"
#include "tests/engine/bandoutput/band_fixture.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

int CountLog(const RecordingDriver& d, const std::string& prefix) {
  return static_cast<int>(std::count_if(d.log.begin(), d.log.end(),
                                        [&](const std::string& e) { return e.rfind(prefix, 0) == 0; }));
}

std::vector<std::string> gMessages;
void Capture(const std::string& text, const std::string&) { gMessages.push_back(text); }

// A long text column of the database: the memo is the whole text its fetch
// brought.
class FetchedText {
 public:
  FetchedText(FieldDef* f, const std::string& text) : f_(f) {
    f->flags = 0;
    f->table = 0;
    FieldBinding* b = GetFieldBinding(f, true);
    b->dbType = QE_DB_MEMO;
    b->fetchSize = static_cast<uint32_t>(text.size() + 1);
    b->fetchBuffer = static_cast<uint8_t*>(std::calloc(b->fetchSize, 1));
    std::memcpy(b->fetchBuffer, text.data(), text.size());
    b->fetchedLength = static_cast<int32_t>(text.size());
  }
  ~FetchedText() {
    std::free(f_->dataBinding->fetchBuffer);
    delete f_->dataBinding;
    f_->dataBinding = nullptr;
  }

 private:
  FieldDef* f_;
};

}  // namespace

TEST_F(BandFixture, TextsAndFieldsAtTheirColumnsWithAlignedRuns) {
  int l = AddLine(kBandRecord);
  AddText(l, 0, "Name:");
  AddTextField(l, 10, 12, "Smith");
  AddNumberField(l, 30, 10, 1234.5)->displayDecimals = 2;
  AddText(l, 50, "Total", kAlignRight);
  Finish();
  ASSERT_EQ(Band(kBandRecord), 0);
  ASSERT_EQ(driver.lines.size(), 1u);
  const std::string& d = driver.lines[0].dump;
  // Left items start at ToDeviceX of their left edge (96 of 100 pixels).
  EXPECT_THAT(d, HasSubstr("<1:0><3:0,0,100><12:0,0,0>Name:"));
  EXPECT_THAT(d, HasSubstr("<1:96>Smith"));
  // A number is right-aligned: its run closes at the field's right edge.
  EXPECT_THAT(d, HasSubstr("<5>1234.50<8:383>"));  // (40 * 10 - 1) * 96 / 100
  EXPECT_THAT(d, HasSubstr("<5>Total<8:527>"));
  EXPECT_EQ(CountLog(driver, "18:60"), 1);
  // Height from the measure, record height counted with the depth.
  EXPECT_EQ(driver.log[0], "5:100:1");
  EXPECT_EQ(run.recordHeight, 120);
}

TEST_F(BandFixture, CentredFieldAndTextShareOneRunAndAnEmptyFieldKeepsPositionAndFont) {
  int l = AddLine(kBandRecord);
  AddTextField(l, 0, 10, "Mid", 0x20);  // centred
  AddText(l, 10, "dle")->head.flags = 0;  // flows on in the field's run
  int e = AddLine(kBandRecord);
  FieldDef* empty = AddTextField(e, 0, 10, "");
  empty->head.fontStyle = 1;
  AddText(e, 10, "x")->head.flags = 0;
  Finish();
  ASSERT_EQ(Band(kBandRecord), 0);
  ASSERT_EQ(driver.lines.size(), 2u);
  // One run: opened before the field, closed once after the text at the
  // centre of both (0 to 124); the closing sequence takes exactly its four
  // bytes, so nothing stray follows it.
  EXPECT_EQ(driver.lines[0].dump, "<6><3:0,0,100><12:0,0,0>Middle<7:62>");
  // The empty field still writes its position and a plain font.
  EXPECT_THAT(driver.lines[1].dump, HasSubstr("<1:0><3:0,0,100>"));
  EXPECT_EQ(driver.lines[1].text, "x");
}

TEST_F(BandFixture, BlankLinesAreSuppressedButPageBandsKeepThem) {
  int a = AddLine(kBandRecord);
  AddTextField(a, 0, 10, "");  // nothing to show: the line is left out
  int b = AddLine(kBandRecord);
  AddText(b, 0, "\xB7");  // the pad character alone counts as nothing
  int c = AddLine(kBandRecord);
  AddText(c, 0, "kept");
  AddLine(kBandPageFooter);
  Finish();
  ASSERT_EQ(Band(kBandRecord), 0);
  EXPECT_THAT(driver.Texts(), ElementsAre("kept"));
  EXPECT_EQ(CountLog(driver, "13:"), 0);
  // Without the blank-line option they keep their places as blanks.
  run.suppressBlankLines = false;
  driver.log.clear();
  ASSERT_EQ(Band(kBandRecord), 0);
  EXPECT_EQ(CountLog(driver, "13:120"), 2);

  driver.log.clear();
  ASSERT_EQ(Band(kBandPageFooter), 0);
  // Its empty line advances a sixth of an inch.
  EXPECT_THAT(driver.log, ElementsAre("13:120:1", "18:120"));
}

TEST_F(BandFixture, ConditionedLinesFollowTheirFieldAndTheInvertFlag) {
  int a = AddLine(kBandSummary);
  AddText(a, 0, "when true");
  int b = AddLine(kBandSummary, 0x08);
  AddText(b, 0, "when false");
  FieldDef* flag = AddTextField(AddLine(kBandRecord), 0, 1, "");
  flag->flags = kFieldLogical;
  Finish();
  ASSERT_EQ(model.GetFieldIndex(flag), 0u);  // the line conditions name the flag
  layout.Lines().lines[a].objectId = 0;
  layout.Lines().lines[b].objectId = 0;

  flag->value[0] = 1;
  ASSERT_EQ(Band(kBandSummary), 0);
  EXPECT_THAT(driver.Texts(), ElementsAre("when true"));
  flag->value[0] = 0;
  driver.lines.clear();
  ASSERT_EQ(Band(kBandSummary), 0);
  EXPECT_THAT(driver.Texts(), ElementsAre("when false"));

  // A band whose lines all stay out outputs nothing, not even its end.
  layout.Lines().lines[b].flags = 0;
  driver.lines.clear();
  driver.log.clear();
  ASSERT_EQ(Band(kBandSummary), 0);
  EXPECT_TRUE(driver.lines.empty());
  EXPECT_EQ(CountLog(driver, "18:"), 0);
}

TEST_F(BandFixture, WrappedFieldContinuesOverLinesAndHoldsTheItemBelowIt) {
  int a = AddLine(kBandRecord);
  AddTextField(a, 0, 10, "alpha beta gamma delta", 0x40);
  AddText(a, 20, "right of it");
  int b = AddLine(kBandRecord);
  AddText(b, 0, "under");
  Finish();
  ASSERT_EQ(Band(kBandRecord), 0);
  EXPECT_THAT(driver.Texts(), ElementsAre("alpha betaright of it", "gamma", "delta", "under"));
  EXPECT_EQ(CountLog(driver, "18:60"), 1);
}

TEST_F(BandFixture, AMeasuredFieldFillsItsWidthAsThePrinterLibraryMeasuresIt) {
  int a = AddLine(kBandRecord);
  FieldDef* f = AddTextField(a, 0, 10, "alpha beta gamma delta", 0x40);
  f->flags3word |= kFieldMeasuredWidth;
  Finish();
  ASSERT_EQ(Band(kBandRecord), 0);
  // The stub measures 100 twips a character: fourteen fit in the field's
  // inch, where counting would have taken ten.
  EXPECT_THAT(driver.Texts(), ElementsAre("alpha beta", "gamma delta"));
}

TEST_F(BandFixture, AMeasuredFieldCountsCharactersWhenTheLibraryCannotMeasure) {
  driver.missing.insert(3);
  int a = AddLine(kBandRecord);
  FieldDef* f = AddTextField(a, 0, 10, "alpha beta gamma delta", 0x40);
  f->flags3word |= kFieldMeasuredWidth;
  Finish();
  ASSERT_EQ(Band(kBandRecord), 0);
  EXPECT_THAT(driver.Texts(), ElementsAre("alpha beta", "gamma", "delta"));
}

TEST_F(BandFixture, MemoTextFromTheRunContinuesOntoTheNextPage) {
  int a = AddLine(kBandRecord);
  FieldDef* memo = AddTextField(a, 0, 12, "", 0x40);
  FetchedText fetched(memo, "one\n\ntwo three four five six");  // a paragraph, then a text
  Finish();
  run.topOfPage = 0;
  driver.y = driver.pageLength - 250;  // room for two lines
  ASSERT_EQ(Band(kBandRecord), 0);
  ASSERT_EQ(driver.lines.size(), 4u) << ::testing::PrintToString(driver.Texts());
  EXPECT_THAT(driver.Texts(), ElementsAre("one", "two three", "four five", "six"));
  EXPECT_EQ(driver.lines[1].page, 1);
  EXPECT_EQ(driver.lines[2].page, 2);
  EXPECT_EQ(driver.lines[2].y, 100);  // first line of the new page
}

// A memo's style codes give its characters their own font, style and size:
// the line switches to them where they start and is measured in them.
TEST_F(BandFixture, AMemosStyledCharactersSwitchTheFontAndMeasureInIt) {
  int a = AddLine(kBandRecord);
  FieldDef* memo = AddTextField(a, 0, 10, "", 0x40);
  // Bold 14-point characters in the document's font 3 between plain ones.
  FetchedText fetched(memo, "aaaa <B FHeading P14>BBBB<R> cc");
  memo->flags3word |= kFieldMeasuredWidth;
  memo->head.fontIndex = 2;
  memo->head.pointSize = 100;
  DocFonts fonts;
  fonts.table.resize(4);
  std::snprintf(fonts.table[3].logFont.lfFaceName, sizeof fonts.table[3].logFont.lfFaceName, "Heading");
  doc.m_pFonts = &fonts;
  Finish();
  driver.boldWidth = 300;
  ASSERT_EQ(Band(kBandRecord), 0);
  // Counted at 100 twips all twelve would fit the inch; the bold ones take
  // 300 each, so the line breaks twice at word boundaries.
  EXPECT_THAT(driver.Texts(), ElementsAre("aaaa", "BBBB", "cc"));
  ASSERT_EQ(driver.lines.size(), 3u);
  EXPECT_NE(driver.lines[1].dump.find("<3:3,1,140>BBBB"), std::string::npos) << driver.lines[1].dump;
  EXPECT_EQ(driver.lines[0].dump.find("<3:3,"), std::string::npos) << driver.lines[0].dump;
  EXPECT_EQ(driver.lines[2].dump.find("<3:3,"), std::string::npos) << driver.lines[2].dump;
  doc.m_pFonts = nullptr;
}

TEST_F(BandFixture, PageEndRulesForBlankAndTextLines) {
  AddLine(kBandGroupHeader);
  AddText(AddLine(kBandGroupHeader), 0, "header");
  AddText(AddLine(kBandGroupFooter), 0, "footer");
  AddLine(kBandGroupFooter);
  Finish();
  // At the top of a page after a break the leading blank is not output.
  run.topOfPage = 1;
  ASSERT_EQ(Band(kBandGroupHeader), 0);
  EXPECT_EQ(driver.log.front(), "5:100:1");

  // A blank that does not fit is dropped without a page break; the blank
  // space owed stops at the page footer's reserve.
  driver.log.clear();
  driver.lines.clear();
  run.pageFooterHeight = 20;
  driver.y = driver.pageLength - 170;
  ASSERT_EQ(Band(kBandGroupFooter), 0);
  EXPECT_THAT(driver.Texts(), ElementsAre("footer"));
  EXPECT_EQ(CountLog(driver, "page"), 0);
  EXPECT_THAT(driver.log, ElementsAre("5:100:1", "13:30:1", "18:70"));

  // A text line that does not fit breaks the page first.
  driver.log.clear();
  driver.lines.clear();
  driver.y = driver.pageLength - 100;
  ASSERT_EQ(Band(kBandGroupHeader), 0);
  EXPECT_EQ(CountLog(driver, "page"), 1);
  ASSERT_EQ(driver.lines.size(), 1u);
  EXPECT_EQ(driver.lines[0].page, 2);
  EXPECT_EQ(driver.lines[0].y, 100);
  EXPECT_EQ(s->breakBand, kBandGroupHeader);
}

TEST_F(BandFixture, ALineCarriedToTheNextColumnMovesWithIt) {
  AddText(AddLine(kBandRecord), 5, "moved");
  Finish();
  run.columnsAcross = 2;  // the overflow goes on in the next column of the page
  s->columnWidth = 300;
  run.topOfPage = 0;
  driver.y = driver.pageLength - 50;
  ASSERT_EQ(Band(kBandRecord), 0);
  ASSERT_EQ(driver.lines.size(), 1u);
  EXPECT_THAT(driver.lines[0].dump, HasSubstr("<1:348><3:0,0,100>"));  // 48 + one column of 300
}

TEST_F(BandFixture, PagesBeforeTheFirstPageAreLaidOutInvisibly) {
  int a = AddLine(kBandRecord);
  AddText(a, 0, "hidden");
  Finish();
  run.startPage = 3;
  run.pageNumber = 5;  // a restarted page number does not decide it
  ASSERT_EQ(Band(kBandRecord), 0);
  EXPECT_TRUE(driver.lines.empty());
  EXPECT_EQ(driver.log.front(), "5:100:0");
  EXPECT_EQ(run.recordHeight, 120);
  run.pageCount = 3;
  ASSERT_EQ(Band(kBandRecord), 0);
  EXPECT_THAT(driver.Texts(), ElementsAre("hidden"));
}

// A band running over the pages of a range: the line carried over to the
// range's first page shows there, and at the range's last page the band
// stops and says so to its caller, with the run still going; nothing goes
// on to a page that has ended.
TEST_F(BandFixture, ABandOverTheRangeShowsItsFirstPageWholeAndStopsAtItsLast) {
  gMessages.clear();
  SetOutputMessageSink(Capture);
  for (int i = 0; i < 150; ++i) AddText(AddLine(kBandRecord), 0, "line" + std::to_string(i));
  Finish();
  run.topOfPage = 0;
  run.startPage = 2;
  run.endPage = 2;
  EXPECT_EQ(Band(kBandRecord), 1);
  EXPECT_EQ(doc.m_nRunState, 0);
  EXPECT_EQ(CountPages(), 1);
  ASSERT_EQ(driver.lines.size(), 66u);  // a page of 7920 holds 66 lines of 120
  EXPECT_EQ(driver.lines.front().text, "line66");
  for (const RecordingDriver::Sent& l : driver.lines) EXPECT_EQ(l.page, 2) << l.text;
  EXPECT_TRUE(gMessages.empty());
  SetOutputMessageSink(nullptr);
}

TEST_F(BandFixture, MeasuringDrawsNothingAndAnswersWhenTheBandIsTooTall) {
  for (int i = 0; i < 3; ++i) AddText(AddLine(kBandRecord), 0, "line");
  AddLine(kBandRecord);
  Finish();
  s->measuredHeight = 0;
  EXPECT_EQ(Band(kBandRecord, 1000), 0);
  EXPECT_EQ(s->measuredHeight, 3 * 120 + 120);
  EXPECT_EQ(s->measuredTrailing, 120);
  s->measuredHeight = 0;
  EXPECT_EQ(Band(kBandRecord, 300), 1);
  EXPECT_TRUE(driver.log.empty());
  EXPECT_TRUE(driver.lines.empty());
}

TEST_F(BandFixture, PageBreakLinesAndTheTestPattern) {
  int a = AddLine(kBandRecord);
  AddText(a, 0, "before");
  AddLine(kBandRecord, 0x01);
  AddText(AddLine(kBandRecord), 0, "after");
  Finish();
  run.topOfPage = 0;
  ASSERT_EQ(Band(kBandRecord), 0);
  EXPECT_THAT(driver.log, ::testing::Contains("page"));
  ASSERT_EQ(driver.lines.size(), 2u);
  EXPECT_EQ(driver.lines[1].page, 2);
  EXPECT_EQ(s->breakBand, kBandRecord);

  // The Test Pattern ends at the first page-break line.
  doc.m_nRunMode = 1;
  driver.lines.clear();
  EXPECT_EQ(Band(kBandRecord), 1);
  EXPECT_THAT(driver.Texts(), ElementsAre("before"));
}

TEST_F(BandFixture, CurrentOrPreviousValueByBand) {
  FieldDef* f = AddTextField(AddLine(kBandRecord), 0, 5, "now");
  Finish();
  BYTE previous[8] = "then";
  f->previous = previous;
  f->valueStatus = 1;
  f->previousStatus = 2;
  auto shown = [&](int band) { return GetFieldValueForBand(&run, f, band) == f->value ? "current" : "previous"; };
  EXPECT_STREQ(shown(kBandRecord), "current");
  EXPECT_STREQ(shown(kBandTitle), "current");
  EXPECT_STREQ(shown(kBandGroupFooter + 2), "previous");
  EXPECT_STREQ(shown(kBandSummary), "previous");
  EXPECT_STREQ(shown(kBandGroupHeader), "current");
  EXPECT_STREQ(shown(kBandPageFooter), "previous");  // after a group break
  run.band->breakBand = kBandRecord;
  EXPECT_STREQ(shown(kBandPageFooter), "current");
  run.groupEndedOnPage = true;  // the record is the next group's, not yet on the page
  EXPECT_STREQ(shown(kBandPageFooter), "previous");
  run.groupEndedOnPage = false;
  run.band->breakBand = kBandGroupFooter;
  run.band->breakInGroupFooter = true;
  EXPECT_STREQ(shown(kBandPageHeader), "previous");
  EXPECT_STREQ(shown(kBandGroupHeader + 1), "previous");
  run.band->breakInGroupFooter = false;
  run.recordedRepeatBand = kBandGroupHeader + 1;
  EXPECT_STREQ(shown(kBandGroupHeader + 1), "previous");
  EXPECT_STREQ(shown(kBandGroupHeader), "current");
  run.recordedRepeatBand = 0;
  EXPECT_EQ(FieldValueStatus(&run, f, f->value), 1);
  EXPECT_EQ(FieldValueStatus(&run, f, previous), 2);
}

// The page footer output when a band's line does not fit shows the values
// of that band's record: current ones inside the Summary or the Title,
// previous ones inside a group footer.
// A group footer's page-break line begins a new page: the headers of the
// groups that go on there are repeated, over what is left of the footer; a
// group whose footer ended there has ended. The page holds only its start
// then: a header's page-break line leaves it where it is.
TEST_F(BandFixture, APageBegunByAFooterRepeatsOnlyTheGroupsThatGoOn) {
  AddText(AddLine(kBandGroupHeader), 0, "outer");
  AddLine(kBandGroupHeader + 1, 0x01);
  AddText(AddLine(kBandGroupHeader + 1), 0, "inner");
  AddText(AddLine(kBandGroupFooter + 1), 0, "footer1");
  AddLine(kBandGroupFooter + 1, 0x01);
  AddText(AddLine(kBandGroupFooter), 0, "footer0");
  AddLine(kBandGroupFooter, 0x01);
  AddText(AddLine(kBandGroupFooter), 0, "more0");
  Finish();
  run.calc->levelsUsed = 2;
  for (int level : {0, 1}) {
    run.calc->levels[level].field = 0;
    run.calc->levels[level].options = kGroupRepeatHeader;
  }
  run.topOfPage = 0;
  run.calc->levels[1].runBits = kRunBreakPending;  // the inner group ends
  ASSERT_EQ(Band(kBandGroupFooter + 1), 0);
  ASSERT_EQ(Band(kBandGroupHeader + 1), 0);  // the next one begins
  for (int level : {0, 1}) run.calc->levels[level].runBits = kRunBreakPending;  // both end
  ASSERT_EQ(Band(kBandGroupFooter), 0);
  std::vector<std::string> placed;
  for (const auto& line : driver.lines) placed.push_back(line.text + "@" + std::to_string(line.page));
  EXPECT_THAT(placed, ElementsAre("footer1@1", "outer@2", "inner@2", "footer0@2", "outer@3", "inner@3", "more0@3"));
}

TEST_F(BandFixture, APageFooterOutputInsideABandShowsTheValuesThatBandShows) {
  AddText(AddLine(kBandSummary), 0, "summary");
  AddText(AddLine(kBandGroupFooter), 0, "footer");
  FieldDef* f = AddTextField(AddLine(kBandPageFooter), 0, 5, "now");
  Finish();
  BYTE previous[8] = "then";
  f->previous = previous;
  run.pageFooterHeight = 120;
  run.topOfPage = 0;
  driver.y = driver.pageLength - 100;  // not even the Summary's line fits
  ASSERT_EQ(Band(kBandSummary), 0);
  EXPECT_THAT(driver.Texts(), ElementsAre("now", "summary"));
  EXPECT_EQ(run.calc->bandInProgress, 0) << "no band is in progress between bands";

  driver.lines.clear();
  run.topOfPage = 0;
  driver.y = driver.pageLength - 150;
  ASSERT_EQ(Band(kBandGroupFooter), 0);
  EXPECT_THAT(driver.Texts(), ElementsAre("then", "footer"));
}

// The page store of a page-image export learns where its lines come from:
// an RTF export their band, an HTML export also their layout line; a print
// tells it nothing.
TEST_F(BandFixture, ExportsOfPagesLearnEachLinesBandAndLayoutLine) {
  AddText(AddLine(kBandRecord), 0, "first");
  const int second = AddLine(kBandRecord);
  AddText(second, 0, "second");
  AddText(AddLine(kBandSummary), 0, "end");
  Finish();
  ASSERT_EQ(Band(kBandRecord), 0);
  EXPECT_EQ(page.currentBand, 0);
  run.exportRun = kExportRunRtf;
  ASSERT_EQ(Band(kBandSummary), 0);
  EXPECT_EQ(page.currentBand, kBandSummary);
  EXPECT_EQ(page.currentLayoutLine, 0);
  run.exportRun = kExportRunHtml;
  ASSERT_EQ(Band(kBandRecord), 0);
  EXPECT_EQ(page.currentBand, kBandRecord);
  EXPECT_EQ(page.currentLayoutLine, second);
}

TEST_F(BandFixture, GroupFieldWithPrintOncePrintsOncePerGroup) {
  FieldDef* g = AddTextField(AddLine(kBandRecord), 0, 5, "East");
  // The field is the group field of level 1, which prints once.
  model.groupFields[0] = model.GetFieldIndex(g);
  run.calc->levels[0].field = model.groupFields[0];
  run.calc->levels[0].options = kGroupPrintOnce;
  run.calc->levelsUsed = 1;
  Finish();
  ASSERT_EQ(Band(kBandRecord), 0);
  ASSERT_EQ(Band(kBandRecord), 0);
  EXPECT_THAT(driver.Texts(), ElementsAre("East"));
  ResetPrintedOnceMarks(&doc, 0);  // the group broke
  ASSERT_EQ(Band(kBandRecord), 0);
  EXPECT_THAT(driver.Texts(), ElementsAre("East", "East"));
}

TEST_F(BandFixture, HostileDataNeverLeavesItsBuffersOrTheStream) {
  int a = AddLine(kBandRecord);
  // An escape byte and other control bytes in data become blanks.
  AddTextField(a, 0, 10, std::string("a\x1b\x03\x01z"));
  // A wrapped field whose buffer has no terminator is read only as far as
  // it is long.
  AddTextField(AddLine(kBandRecord), 0, 4, "", 0x40);
  std::fill(values.back()->begin(), values.back()->end(), 'W');
  // A text far longer than a line may hold.
  AddText(AddLine(kBandRecord), 0, std::string(40000, 'L'));
  Finish();
  ASSERT_EQ(Band(kBandRecord), 0);
  ASSERT_GE(driver.lines.size(), 3u);
  EXPECT_EQ(driver.lines[0].text, "a   z");
  EXPECT_EQ(driver.lines[1].text, "WWWW");
  EXPECT_EQ(driver.lines[2].text, "W");
  for (const auto& line : driver.lines) EXPECT_LE(line.dump.size(), 40000u);
  // The long text was left off, not cut into the stream.
  EXPECT_EQ(driver.lines.back().text.find('L'), std::string::npos);
}

TEST_F(BandFixture, LongValuesKeepTheirLettersAndLoseTheirControlBytesAnywhere) {
  // Code-page letters stay; escapes and a tab past the first eight bytes,
  // and one in the last byte, become blanks, one each.
  const std::string letters = "Gr\xFC\xDF" "e aus K\xF6ln,";
  AddTextField(AddLine(kBandRecord), 0, 40, letters + " \x1b\x1b\x09 ende\x1b");
  AddTextField(AddLine(kBandRecord), 0, 40, letters + letters);
  AddTextField(AddLine(kBandRecord), 0, 40, letters + "\x1b" "xyz xyz xyz");
  Finish();
  ASSERT_EQ(Band(kBandRecord), 0);
  ASSERT_EQ(driver.lines.size(), 3u);
  EXPECT_EQ(driver.lines[0].text, letters + std::string(5, ' ') + "ende ");
  EXPECT_EQ(driver.lines[1].text, letters + letters);
  EXPECT_EQ(driver.lines[2].text, letters + " xyz xyz xyz");
}

TEST_F(BandFixture, LibraryFailuresStopTheRunWithOneMessage) {
  gMessages.clear();
  SetOutputMessageSink(Capture);
  AddText(AddLine(kBandRecord), 0, "a");
  AddText(AddLine(kBandRecord), 0, "b");
  Finish();
  driver.refuse = 5;
  EXPECT_EQ(Band(kBandRecord), -2);
  EXPECT_THAT(gMessages, ElementsAre("Insufficient memory for print/preview"));
  EXPECT_EQ(Band(kBandRecord), -2);  // a stopped run outputs nothing more
  EXPECT_EQ(gMessages.size(), 1u);
  // Without the entries a line needs, the step is skipped and the run goes on.
  doc.m_nRunState = 0;
  driver.refuse = 0;
  driver.missing.insert(8);
  driver.log.clear();
  EXPECT_EQ(Band(kBandRecord), 0);
  EXPECT_TRUE(driver.lines.empty());
  SetOutputMessageSink(nullptr);
}

TEST(WrappedLines, CutAtBlanksHyphensAndLineEnds) {
  struct Case {
    const char* text;
    int width;
    std::vector<std::string> lines;
  } cases[] = {
      {"alpha beta gamma", 10, {"alpha beta", "gamma"}},
      {"well-known words", 8, {"well-", "known", "words"}},
      {"a -b (-c", 4, {"a -b", "(-c"}},  // no cut after a hyphen that follows a blank or "("
      {"x -yz", 3, {"x", "-yz"}},
      {"one\n\ntwo", 10, {"one", "", "two"}},
      {"abcdefghijkl", 5, {"abcde", "fghij", "kl"}},
      {"ab   cd", 3, {"ab", "cd"}},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    size_t pos = 0;
    std::vector<std::string> got;
    while (pos < text.size() && got.size() < 10) got.push_back(NextWrappedLine(text, &pos, c.width));
    EXPECT_EQ(got, c.lines) << c.text;
  }
}

TEST_F(BandFixture, ItemsUnderAStretchedFieldMoveDownButNotPastAPageBreakLine) {
  int a = AddLine(kBandRecord);
  AddTextField(a, 0, 10, "alpha beta gamma delta", 0x40);
  int b = AddLine(kBandRecord);
  AddText(b, 0, "under");
  AddText(b, 20, "beside");
  AddText(AddLine(kBandRecord), 0, "two below");
  AddLine(kBandRecord, 0x01);
  AddText(AddLine(kBandRecord), 0, "next page");
  Finish();
  run.topOfPage = 0;
  ASSERT_EQ(Band(kBandRecord), 0);
  // The items under the field keep their order and the line between them;
  // the item past the page-break line is not moved and prints on the next
  // page, after the moved ones.
  EXPECT_THAT(driver.Texts(), ElementsAre("alpha beta", "gammabeside", "delta", "under", "two below", "next page"));
  ASSERT_EQ(driver.lines.size(), 6u);
  EXPECT_EQ(driver.lines[4].page, 1);
  EXPECT_EQ(driver.lines[5].page, 2);
  EXPECT_EQ(CountPages(), 1);
}

TEST_F(BandFixture, AFieldEndingOnAPageBreakLineStillBreaksThePage) {
  int c = AddLine(kBandRecord);
  AddTextField(c, 0, 10, "alpha beta gamma", 0x40);
  AddLine(kBandRecord, 0x01);
  AddText(AddLine(kBandRecord), 0, "after");
  Finish();
  run.topOfPage = 0;
  ASSERT_EQ(Band(kBandRecord), 0);
  EXPECT_THAT(driver.Texts(), ElementsAre("alpha beta", "gamma", "after"));
  ASSERT_EQ(driver.lines.size(), 3u);
  EXPECT_EQ(driver.lines[1].page, 1);
  EXPECT_EQ(driver.lines[2].page, 2);

  // The page-break line test the move asks.
  EXPECT_TRUE(AnyPageBreakLineBetween(*s->layout, c, c + 2));
  EXPECT_FALSE(AnyPageBreakLineBetween(*s->layout, c, c + 1));
  EXPECT_FALSE(AnyPageBreakLineBetween(*s->layout, c + 2, c + 3));
}

TEST_F(BandFixture, ARecordsHeightFollowsItsBlankLineFromRecordToRecord) {
  FieldDef* f = AddTextField(AddLine(kBandRecord), 0, 10, "");
  AddText(AddLine(kBandRecord), 0, "always");
  Finish();
  // The lines' shapes are kept for the run; whether the field's line drops
  // is asked again for each record.
  const int32_t without = BandHeight(&doc, kBandRecord, 1);
  f->value[0] = 'x';
  const int32_t with = BandHeight(&doc, kBandRecord, 1);
  EXPECT_GT(with, without);
  EXPECT_GT(BandHeight(&doc, kBandRecord, 0), 0);
  f->value[0] = 0;
  EXPECT_EQ(BandHeight(&doc, kBandRecord, 1), without);
  // Kept blank lines count whatever the value.
  run.suppressBlankLines = false;
  EXPECT_EQ(BandHeight(&doc, kBandRecord, 1), with);
}

TEST_F(BandFixture, AnItemTooLongToGatherInPlaceArrivesWholeRecordAfterRecord) {
  int l = AddLine(kBandRecord);
  AddText(l, 0, "a");
  AddText(l, 2, std::string(3000, 'M'));
  AddTextField(l, 60, 4, "z");
  Finish();
  const std::string want = "a" + std::string(3000, 'M') + "z";
  for (int record = 0; record < 2; ++record) {
    ASSERT_EQ(Band(kBandRecord), 0);
    ASSERT_EQ(driver.lines.size(), static_cast<size_t>(record + 1));
    EXPECT_EQ(driver.lines.back().text, want);
  }
  EXPECT_EQ(driver.lines[0].dump, driver.lines[1].dump);
}

TEST_F(BandFixture, ALongLineOfManyItemsKeepsEachInOrderAndLeavesOffOnlyOneTooLong) {
  int l = AddLine(kBandRecord);
  std::string want;
  for (int i = 0; i < 60; ++i) {
    const std::string text = std::string(29, static_cast<char>('a' + i % 26)) + std::to_string(i % 10);
    AddText(l, i, text);
    want += text;
    // Past the line's limit: left off, and the items after it still come.
    if (i == 40) AddText(l, i, std::string(33000, 'L'));
  }
  Finish();
  for (int record = 0; record < 2; ++record) {
    ASSERT_EQ(Band(kBandRecord), 0);
    ASSERT_EQ(driver.lines.size(), static_cast<size_t>(record + 1));
    EXPECT_EQ(driver.lines.back().text, want);
  }
  const std::string& d = driver.lines[0].dump;
  EXPECT_EQ(d, driver.lines[1].dump);
  size_t positions = 0;
  for (size_t at = d.find("<1:"); at != std::string::npos; at = d.find("<1:", at + 1)) ++positions;
  EXPECT_EQ(positions, 60u);
  EXPECT_THAT(d, HasSubstr(std::string(29, 'o') + "4<1:"));
}
