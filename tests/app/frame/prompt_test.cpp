// The status line's prompts for the objects of the layout and the marked lines.
#include "app/document.h"
#include "layout/layout_records.h"
#include "foundation/band_lines.h"
#include "foundation/startup.h"
#include "core/fields.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {
class PromptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lines.reset(new BandLineRec[kBandLineTableRecords]);
    doc.m_bandLines.lines = lines.get();
    ClearBandLineTable(doc.m_bandLines);
    doc.m_bandLines.lines[0].kind = 60;  // a Record line
    doc.m_bandLines.lastUsed = 3;
    doc.m_pMainFrame = &frame;
    bar.m_pDoc = &doc;
    g_screen.dpiX = g_screen.dpiY = 96;
  }
  void TearDown() override { doc.m_bandLines.lines = nullptr; }
  std::string Prompt(const ReportItemHead* object, int* missing = nullptr) {
    std::string text;
    int m = bar.BuildPromptText(object, &text);
    if (missing) *missing = m;
    return text;
  }

  std::unique_ptr<BandLineRec[]> lines;
  CKmDoc doc;
  CMainFrame frame;
  CKmStatusBar& bar = frame.m_wndStatusBar;
};

TEST_F(PromptTest, GraphicObjectsShowKindBandAndSize) {
  char word[] = "Total\xB7" "due";
  TextItem text;
  text.text = word;
  EXPECT_EQ(Prompt(&text.head), "Text: \"Total due\"") << "pad characters show as blanks";

  LineBoxItem box = MakeNewBox();
  box.head.left = 0;
  // The layout's own inch: 100 pixels across (ten cells of ten), 96 down.
  box.head.right = 200;  // two inches
  box.head.top = 0;
  box.head.bottom = 48;  // half an inch
  EXPECT_EQ(Prompt(&box.head), "Box (Record,2.00W x 0.50H inches)") << "both sides and the unit";
  LineBoxItem line = MakeNewLine(0);
  line.head.right = 100;
  EXPECT_EQ(Prompt(&line.head), "Line (Record,1.00 inches)");
  doc.m_measure = 0;
  EXPECT_EQ(Prompt(&line.head), "Line (Record,2.54 cm.)") << "tenths of a millimetre in a metric report";
  doc.m_measure = 1;

  PictureItem pic;
  pic.head.flags = kNewPictureFlags;
  pic.shownWidth = 150;
  pic.shownHeight = 75;
  std::strcpy(pic.fileName, "/srv/pictures/logo.bmp");
  EXPECT_EQ(Prompt(&pic.head), "Picture: logo.bmp  (Record, 1.50W x 0.75H inches)");

  ChartTableEntry chart;
  chart.head.flags = kItemKindChart;
  EXPECT_EQ(Prompt(&chart.head), "Chart (Record)");
}

TEST_F(PromptTest, FieldsShowTypeSizeAndWhetherTheyAreMissing) {
  FieldDef amount;
  amount.head.flags = kItemKindField;
  amount.flags = kFieldNumeric;
  std::strcpy(amount.name, "Amount");
  SetDeclaredLength(&amount, 10);
  amount.displayDecimals = 2;
  int missing = -1;
  EXPECT_EQ(Prompt(&amount.head, &missing), "Amount:  (Numeric / 8.2) (DB: )");
  EXPECT_EQ(missing, 0);

  FieldDef gone;
  gone.head.flags = kItemKindField;
  std::strcpy(gone.name, "Region");
  gone.flags2 = kField2NotInTable | 0x200;
  gone.width = 12;
  EXPECT_EQ(Prompt(&gone.head, &missing), "Region:  (Missing Character / 12) (DB: )");
  EXPECT_EQ(missing, 1);

  FieldDef calc;
  calc.head.flags = kItemKindField;
  calc.flags = kFieldCalculation | kFieldNumeric;
  std::strcpy(calc.name, "Net");
  char expr[] = "Amount\t*\r\n0.8";
  calc.exprText = expr;
  EXPECT_EQ(Prompt(&calc.head), "Net: Amount*0.8");
  calc.exprText = nullptr;

  FieldDef memo;
  memo.head.flags = kItemKindField;
  memo.flags = kFieldMemo;
  std::strcpy(memo.name, "Notes");
  EXPECT_EQ(Prompt(&memo.head), "Notes:    (Memo)");

  // An alias of a field that does not exist gives no prompt.
  FieldDef alias;
  alias.head.flags = kItemKindField;
  alias.flags = kFieldAlias;
  EXPECT_EQ(Prompt(&alias.head, &missing), "");
  EXPECT_EQ(missing, 0);
}

TEST_F(PromptTest, PromptLengthsNeverPassTheirBuffers) {
  std::string longText(400, 'w');
  FieldDef calc;
  calc.head.flags = kItemKindField;
  calc.flags = kFieldCalculation;
  std::strcpy(calc.name, "Long");
  calc.exprText = &longText[0];
  ReportItemHead& text = calc.head;
  // The caller's buffer is exactly its size: nothing is written beyond it.
  std::unique_ptr<char[]> buffer(new char[335]);
  bar.GetPromptText(&text, buffer.get(), 335);
  EXPECT_EQ(std::strlen(buffer.get()), 334u);
  char small[8];
  bar.GetPromptText(&text, small, sizeof small);
  EXPECT_STREQ(small, "Long: w");
  bar.GetPromptText(&text, small, 0);  // no room at all: no write
  calc.exprText = nullptr;
}

TEST_F(PromptTest, ShowPromptWaitsForMouseActionsAndBuildsTheLinePrompt) {
  doc.m_bReportOpen = TRUE;
  bar.SetText("Moving 2 objects");
  frame.m_wState = 0x1;  // a move runs
  char word[] = "Hello";
  TextItem text;
  text.text = word;
  bar.ShowPrompt(&text.head, FALSE);
  EXPECT_STREQ(bar.GetText(), "Moving 2 objects") << "the move's own text stays";
  bar.ShowPrompt(&text.head, TRUE);
  EXPECT_STREQ(bar.GetText(), "Text: \"Hello\"");
  frame.m_wState = 0;

  // Marked lines with one condition give the line prompt.
  doc.m_bandLines.lines[1].flags = 4;
  doc.m_bandLines.lines[1].objectId = 7;
  doc.m_bandLines.lines[2].flags = 4 | 8;
  doc.m_bandLines.lines[2].objectId = 7;
  bar.ShowPrompt(nullptr, FALSE);
  EXPECT_STREQ(bar.GetText(), "") << "the two lines differ in the print-when-false bit";
  doc.m_bandLines.lines[1].flags = 4 | 8;
  bar.ShowPrompt(nullptr, FALSE);
  EXPECT_STREQ(bar.GetText(), "Print when  is FALSE");
  doc.m_bandLines.lines[2].objectId = 8;
  bar.ShowPrompt(nullptr, FALSE);
  EXPECT_STREQ(bar.GetText(), "") << "conditions on different fields: no prompt, the text is cleared";
  doc.m_bandLines.lines[2].objectId = -1;
  EXPECT_FALSE(bar.ShowLinePrompt()) << "a marked line without a condition";
}
}  // namespace
