// The report script reader on a model of its own: each error stops at its
// line with the line's text and number, the page and record settings land
// in their words, sorting and grouping follow the keywords' rules, and
// items get their columns, widths, formats, totals and band lines. Last, a
// few thousand mutated scripts are read without a fault.
#include "engine/report_script.h"

#include "engine/doc_upkeep.h"
#include "engine/instant_text_field.h"
#include "foundation/units.h"
#include "layout/fonts.h"

#include "app/document.h"
#include "core/composite.h"
#include "foundation/band_lines.h"
#include "layout/layout_records.h"
#include "layout/page_setup.h"
#include "platform/win/unattended.h"
#include "platform/win/ui_app.h"

#include "tests/expr/expr_model_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

struct RecordingHost : ScriptHost {
  std::vector<std::string> stocks;
  int zoom = -1;
  bool ApplyLabelStock(const char* key) override {
    stocks.push_back(key);
    return std::string(key) == "5160";
  }
  void SetPreviewZoom(int level) override { zoom = level; }
  bool DefineTextFileMaster(const char*) override { return false; }
};

// A document with a model of five fields, its layout, band lines and page set-up.
class ScriptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UiStartApplication();
    SetUnattendedRun(true);
    doc.m_pModel = &t.m;
    t.m.owner = &doc;
    doc.m_bandLines.lines = lines.data();
    ClearBandLineTable(doc.m_bandLines);
    doc.m_pPageSetup = AllocPageSetup();
    ASSERT_TRUE(doc.CreateReportTables());
    doc.m_pLayout->AttachBandLineTable(&doc.m_bandLines);
    t.AddTable("CUST");
    name = t.Add("Name", 0, 0);
    name->width = 30;
    city = t.Add("City", 0, 0);
    city->width = 20;
    amount = t.Add("Amount", kFieldNumeric, 0);
    amount->displayWidth = 8;
    amount->displayDecimals = 2;
    when = t.Add("Joined", kFieldDate, 0);
    stamp = t.Add("Seen", kFieldDateTime, 0);
    for (FieldDef* f : t.fields) f->flags &= ~kFieldItem;
    char tmpl[] = "/tmp/vt_script_XXXXXX";
    dir = ::mkdtemp(tmpl);
  }
  void TearDown() override {
    doc.FreeLayoutItems();
    FreePageSetup(doc.m_pPageSetup);
    doc.m_pPageSetup = nullptr;
    doc.m_bandLines.lines = nullptr;
    doc.m_pModel = nullptr;
    SetUnattendedRun(false);
    std::filesystem::remove_all(dir);
  }
  // Runs the script; its result, with the messages in *messages.
  int Run(const std::string& text, std::string* messages = nullptr, ScriptReader** keep = nullptr) {
    const std::string path = dir + "/s.kms";
    std::ofstream(path, std::ios::binary) << text;
    testing::internal::CaptureStderr();
    reader.reset(new ScriptReader(doc, host));
    const int r = reader->Run(path.c_str());
    const std::string err = testing::internal::GetCapturedStderr();
    if (messages) *messages = err;
    if (keep) *keep = reader.get();
    return r;
  }
  int LineOf(BYTE kind, int nth = 0) const {
    for (int i = 0; i < kBandLineCount && lines[i].kind != kBandFree; ++i)
      if (lines[i].kind == kind && nth-- == 0) return i;
    return -1;
  }
  const TextItem* Text(const char* s) const {
    for (TextItem* x = doc.m_pLayout->textHead; x; x = x->nextText)
      if (std::string(x->text) == s) return x;
    return nullptr;
  }
  FieldDef* Field(const char* n) const {
    for (FieldDef* f = t.m.fieldList; f; f = f->next)
      if (std::string(f->name) == n) return f;
    return nullptr;
  }

  TestModel t;
  CKmDoc doc;
  std::vector<BandLineRec> lines = std::vector<BandLineRec>(kBandLineTableRecords);
  RecordingHost host;
  std::unique_ptr<ScriptReader> reader;
  FieldDef *name = nullptr, *city = nullptr, *amount = nullptr, *when = nullptr, *stamp = nullptr;
  std::string dir;
};

TEST_F(ScriptTest, EveryErrorNamesItsLineAndStopsThere) {
  struct Case {
    const char* script;
    const char* text;  // the line shown
    int line;
  } cases[] = {
      {"Menu=FilePrint\n[Actions]\n", "Menu=FilePrint", 1},
      {"; comment\n\n[Actions]\nMenu=FileOpen\n", "Menu=FileOpen", 4},
      {"[Record]\nRecord\n", "Record", 2},
      {"[Nowhere]\n", "[Nowhere]", 1},
      {"[Report]\nPageSize=1\n", "PageSize=1", 2},
      {"[PageFormat]\nTopMargin=100\n", "TopMargin=100", 2},
      {"[PageFormat]\nTopMargin=0.755\n", "TopMargin=0.755", 2},
      {"[PageFormat]\nPageSize=4\n", "PageSize=4", 2},
      {"[PageFormat]\nLandscape=Yes\n", "Landscape=Yes", 2},
      {"[RecordFormat]\nRecordsAcross=300\n", "RecordsAcross=300", 2},
      {"[RecordFormat]\nAveryLabel=9999\n", "AveryLabel=9999", 2},
      {"[Sort]\nSortField9=Name\n", "SortField9=Name", 2},
      {"[Sort]\nSortField1=Nobody\n", "SortField1=Nobody", 2},
      {"[Group]\nSortField1=Name\n", "SortField1=Name", 2},
      {"[PageHeader]\nNewPage=T\n", "NewPage=T", 2},
      {"[Record]\nNewPage=F\n", "NewPage=F", 2},
      {"[Record]\nNewPage=T\nCharField=Name\n", "CharField=Name", 3},
      {"[Record]\nCharField=Name\nNewPage=T\n", "NewPage=T", 3},
      {"[Record]\nCharField=Amount\n", "CharField=Amount", 2},
      {"[Record]\nNumField=Name\n", "NumField=Name", 2},
      {"[Record]\nCharField=Name,X\n", "CharField=Name,X", 2},
      {"[Record]\nCharField=Name,T,25.4\n", "CharField=Name,T,25.4", 2},
      {"[Record]\nCharField=Name,T,0,6\n", "CharField=Name,T,0,6", 2},
      {"[Record]\nCharField=Name,T,0,0,BX\n", "CharField=Name,T,0,0,BX", 2},
      {"[Record]\nNumField=Amount,T,0,0,,15,6\n", "NumField=Amount,T,0,0,,15,6", 2},
      {"[Record]\nCalcNum=Big,T,0,0,,6,0,,\"Name\"\n", "CalcNum=Big,T,0,0,,6,0,,\"Name\"", 2},
      {"[Record]\nCalcNum=Amount,T,0,0,,6,0,,\"1\"\n", "CalcNum=Amount,T,0,0,,6,0,,\"1\"", 2},
      {"[Record]\nCalcChar=Tot,T,0,0,,10,1,Name,G,E\n", "CalcChar=Tot,T,0,0,,10,1,Name,G,E", 2},
      {"[Record]\nCalcNum=Tot,T,0,0,,6,0,,1,Amount,9,E\n", "CalcNum=Tot,T,0,0,,6,0,,1,Amount,9,E", 2},
      {"[Record]\nPointSize=3.9\n", "PointSize=3.9", 2},
      {"[Record]\nCharField=Name,T,25.3,0,,20\nCharField=City,T,+0.5\n", "CharField=City,T,+0.5", 3},
  };
  for (const Case& c : cases) {
    ClearBandLineTable(doc.m_bandLines);
    std::string messages;
    EXPECT_EQ(Run(c.script, &messages), 0) << c.script;
    const std::string want = std::string("Invalid parameter: ") + c.text + "  Script line: " + std::to_string(c.line);
    EXPECT_NE(messages.find(want), std::string::npos) << c.script << "\n[" << messages << "]";
  }
  // A line longer than 298 characters stops with an empty line text; a
  // line of 298 is read.
  std::string messages;
  EXPECT_EQ(Run("[Report]\nReportName=" + std::string(299 - 11, 'x') + "\n", &messages), 0);
  EXPECT_NE(messages.find("Invalid parameter:   Script line: 2"), std::string::npos) << messages;
  EXPECT_EQ(Run("[Report]\nReportName=" + std::string(298 - 11, 'x') + "\n", &messages), 1) << messages;
  // The 257th band line cannot be made.
  std::string many;
  for (int i = 0; i < 257; ++i) many += "[Record]\n";
  EXPECT_EQ(Run(many, &messages), 0);
  EXPECT_NE(messages.find("Cannot create band line"), std::string::npos) << messages;
  EXPECT_EQ(lines[kBandLineCount - 1].kind, kBandRecord);
  // No message when the file is missing or has no line.
  EXPECT_EQ(Run("", &messages), 0);
  EXPECT_EQ(messages, "");
  EXPECT_EQ(reader->Run((dir + "/none.kms").c_str()), 0);
}

TEST_F(ScriptTest, PageAndRecordSettingsLandInTheirWords) {
  ScriptReader* r = nullptr;
  ASSERT_EQ(Run("[PageFormat]\nPageSize=3\nTopMargin=0.75\nBottomMargin=1\nLeftMargin=0.5\nRightMargin=.25\n"
                "Landscape=t\nInterlineSpacing=F\nPreviewZoom=2\n"
                "[RecordFormat]\nRecordWidth=2.63\nRecordHeight=1\nCompressRecordGroup=T\nSuppressRecordLines=F\n"
                "BeginLineOnSemi=T\nHeadFootSummary=F\nBreakRecordArea=T\nRecordsAcross=3\nPrintColsAcross=F\n"
                "AveryLabel=5160\n"
                "[Report]\nMasterTable=CUST\nDataSource=X\nUserName=u\nPassword=p\nReportName=" +
                    std::string(40, 'R') + "\n[Actions]\nMenu=FilePrintPreview\nMenu=fileprint\n",
                nullptr, &r),
            1);
  const PageSetupRec& p = *doc.m_pPageSetup;
  EXPECT_EQ(p.PaperWidth, 2100);
  EXPECT_EQ(p.PaperLength, 2970);
  EXPECT_EQ(p.TopMargin, 75);
  EXPECT_EQ(p.BottomMargin, 100);
  EXPECT_EQ(p.LeftMargin, 50);
  EXPECT_EQ(p.RightMargin, 25);
  EXPECT_EQ(p.Landscape, 1);
  EXPECT_EQ(p.word19, 1);
  EXPECT_EQ(p.RecordWidth, 263);
  EXPECT_EQ(p.RecordHeight, 100);
  EXPECT_EQ(p.NoCompressLines, 0);
  EXPECT_EQ(p.NoSuppressRecordLines, 1);
  EXPECT_EQ(p.NoLineSwitch, 0);
  EXPECT_EQ(p.NoHeadFootInSummary, 1);
  EXPECT_EQ(p.NoBreakRecordArea, 0);
  // Three columns, filled down once PrintColsAcross says F.
  EXPECT_EQ(p.ExtraColumns, 0);
  EXPECT_EQ(p.RecordsAcross, 3);
  EXPECT_EQ(p.DownOrder, 1);
  EXPECT_EQ(host.zoom, 2);
  EXPECT_EQ(host.stocks, (std::vector<std::string>{"5160"}));
  EXPECT_EQ(std::string(doc.m_szReportName), std::string(30, 'R'));
  EXPECT_EQ(r->Actions(), kScriptPreview | kScriptPrint);
}

TEST_F(ScriptTest, SortingAndGroupingFollowTheKeywordOrder) {
  ASSERT_EQ(Run("[Sort]\nSortField1=Name\nSortOrder1=T\nSortField2=City\n[Group]\nGroupField2=City\n"
                "[Sort]\nsortfield3=Amount\n"),
            1);
  EXPECT_EQ(t.m.sortFields[0], t.Number(name));
  EXPECT_EQ(t.m.sortWords[0], 1);
  EXPECT_EQ(t.m.sortFields[1], t.Number(city));
  EXPECT_EQ(t.m.groupFields[0], t.Number(name));
  EXPECT_EQ(t.m.groupFields[1], t.Number(city));
  // After a GroupField line, SortField no longer sets groups.
  EXPECT_EQ(t.m.sortFields[2], t.Number(amount));
  EXPECT_EQ(t.m.groupFields[2], kNoField);

  for (int i = 0; i < 8; ++i) t.m.groupFields[i] = t.m.sortFields[i] = kNoField;
  ASSERT_EQ(Run("[Group]\nGroupField1=City\n[Sort]\nSortField1=Name\n"), 1);
  EXPECT_EQ(t.m.groupFields[0], t.Number(city));
  EXPECT_EQ(t.m.sortFields[0], t.Number(name));
}

TEST_F(ScriptTest, ItemsTakeTheirColumnsFormatsAndLines) {
  ASSERT_EQ(Run("[Record]\n[record]\n"
                "CharField=Name,T,1.5,0,B,20\nCharField=City,T,+0.5,0,,10\n"
                "NumField=Amount,F,6,0,,,,1\n"
                "TextField=Hello,F,0\nTextField=\"Total\",F,0.1,1,IU\n"
                "CharField=Name,F,12,4\n"
                "[Title]\nNewPage=T\n"
                "[GroupFooter2]\nCalcNum=Sum,F,0,2,,,,,1,Amount,2,P,F\n"
                "CalcNum=Calc,F,2,0,,5,1,3,\"Amount * 2\"\n"
                "DateField=Joined,F,4,1,,10\nDateTimeField=Seen,F,6,4,,3,8\n"
                "CalcChar=Least,F,8,0,,12,3,Name,G,A\n"
                "[GroupHeader1]\nPointSize=12.5\nTextField=\"Head\",F,0,2,S\n"),
            1);
  // Lines in band order: Title, GroupHeader1, the two Record lines, GroupFooter2.
  const int title = LineOf(kBandTitle), head = LineOf(kBandGroupHeader), rec1 = LineOf(kBandRecord),
            rec2 = LineOf(kBandRecord, 1), foot = LineOf(kBandGroupFooter + 1);
  EXPECT_EQ(title, 0);
  EXPECT_EQ(head, 1);
  EXPECT_EQ(rec1, 2);
  EXPECT_EQ(rec2, 3);
  EXPECT_EQ(foot, 4);
  EXPECT_EQ(lines[title].flags & 1, 1);
  EXPECT_EQ(lines[rec1].flags & 1, 0);

  // Name at column 15, bold, 20 wide, trimmed; the copy of Name placed later.
  EXPECT_EQ(name->head.column, 15);
  EXPECT_EQ(name->head.width, 20);
  EXPECT_EQ(name->head.fontStyle, 1);
  EXPECT_EQ(name->formatCode, 0x10u);
  EXPECT_EQ(name->head.flags & kItemFixedPosition, 0u);
  EXPECT_EQ(name->head.bandLine, rec2);  // moved down with its line when the Title line came in above
  // City starts five tenths after Name's twenty cells.
  const int perTenth = (doc.m_pLayout->metrics.dpiX + 5) / 10;
  EXPECT_EQ(city->head.column, 15 + CharCellWidth(doc.m_pLayout->metrics, 20) / perTenth + 5);
  // Amount: 6 digits and the column's 2 decimals, number format 1.
  EXPECT_EQ(amount->displayWidth, 8u);
  EXPECT_EQ(amount->displayDecimals, 2);
  EXPECT_EQ(amount->formatCode, 0x1000u + 1);
  EXPECT_EQ(amount->head.column, 60);
  EXPECT_NE(amount->head.flags & kItemFixedPosition, 0u);
  // An unquoted text is passed over; the quoted one is centred and styled.
  EXPECT_EQ(Text("Hello"), nullptr);
  const TextItem* total = Text("Total");
  ASSERT_NE(total, nullptr);
  EXPECT_EQ(total->alignment, 0x20);
  EXPECT_EQ(total->head.fontStyle, 2 | 4);
  EXPECT_EQ(total->head.column, 1);
  // The second Name is a copy, aligned 4 (0x340).
  int copies = 0;
  for (FieldDef* f = t.m.fieldList; f; f = f->next)
    if (IsAlias(f) && (f->flags & kFieldItem)) {
      ++copies;
      EXPECT_EQ(f->formatCode, 0x340u);
      EXPECT_EQ(f->head.column, 120);
    }
  EXPECT_EQ(copies, 1);
  // The total: sum of Amount, reset at level 2, printed by page, not preprocessed.
  FieldDef* sum = Field("Sum");
  ASSERT_NE(sum, nullptr);
  EXPECT_TRUE(IsTotal(sum));
  EXPECT_EQ(sum->totalFunction, 1);
  EXPECT_EQ(sum->refField, t.Number(amount));
  EXPECT_EQ(sum->totalReset, 1);
  EXPECT_EQ(sum->totalLevel, 254);
  EXPECT_NE(sum->totalFlags & kTotalPreprocessed, 0);
  EXPECT_EQ(sum->flags & kFieldNumeric, kFieldNumeric);
  // Digits from the source's 8 less 2 decimals, one more for the sign and one for a sum.
  EXPECT_EQ(sum->displayDecimals, 2);
  EXPECT_EQ(sum->displayWidth, 10u);
  EXPECT_EQ(sum->head.bandLine, foot);
  FieldDef* calc = Field("Calc");
  ASSERT_NE(calc, nullptr);
  EXPECT_TRUE(IsCalc(calc));
  EXPECT_EQ(calc->displayWidth, 6u);
  EXPECT_EQ(calc->formatCode, 0x1000u + 7);
  EXPECT_EQ(when->formatCode, 0x200u + 0x1000u);
  EXPECT_EQ(stamp->formatCode, 0x1000u + 0x5u);
  EXPECT_EQ(stamp->timeFormat, 0x8000u + 48);
  FieldDef* least = Field("Least");
  ASSERT_NE(least, nullptr);
  EXPECT_EQ(least->totalFunction, 3);
  EXPECT_EQ(least->totalReset, 255);
  EXPECT_EQ(least->totalLevel, 253);
  EXPECT_EQ(least->displayWidth, 12u);
  const TextItem* headText = Text("Head");
  ASSERT_NE(headText, nullptr);
  EXPECT_EQ(headText->head.pointSize, 125);
  EXPECT_EQ(headText->head.bandLine, head);
  EXPECT_EQ(headText->alignment, 0x30);
}

// Mutations of a script that uses every section: bytes flipped, inserted
// and deleted, lines doubled and cut, long runs and huge numbers. The
// reader must neither fault nor read outside its buffers (the sanitizers
// watch); each run's report is thrown away.
TEST_F(ScriptTest, InstantTextsTakeTheirColumnAndTheLineDrawingFacesCharacters) {
  ASSERT_NE(doc.m_pFonts, nullptr);
  DocFonts& fonts = *doc.m_pFonts;
  FontEntry plainFace, boxFace;
  std::strcpy(plainFace.logFont.lfFaceName, "Arial");
  std::strcpy(boxFace.logFont.lfFaceName, "Duridev-ER");
  fonts.table = {plainFace, boxFace};
  fonts.defaultIndex = 0;
  TextItem* a = CreateInstantTextField(&doc, "caf\xe9 bar", 2, 7, 1, 0x20, false);
  ASSERT_NE(a, nullptr);
  EXPECT_STREQ(a->text, "caf\xe9 bar");
  EXPECT_EQ(a->head.bandLine, 2);
  EXPECT_EQ(a->head.column, 7);
  EXPECT_EQ(a->head.left, CharCellWidth(doc.m_pLayout->metrics, 7));
  EXPECT_EQ(a->head.width, 8);
  EXPECT_EQ(a->head.fontStyle, 1);
  EXPECT_EQ(a->head.flags, kItemFixedPosition);
  EXPECT_EQ(a->alignment, 0x20);
  // In the line-drawing face the text is in the OEM set and its blanks are
  // the face's fill; a plain text is not kept at a fixed position.
  fonts.defaultIndex = 1;
  TextItem* b = CreateInstantTextField(&doc, "caf\xe9 bar", 0, 0, 0, 0x10, true);
  ASSERT_NE(b, nullptr);
  EXPECT_STREQ(b->text, "caf\x82\xfa" "bar");
  EXPECT_EQ(b->head.flags, 0u);
  EXPECT_TRUE(DeleteTextItem(&doc, a));
  EXPECT_TRUE(DeleteTextItem(&doc, b));
  fonts.table.clear();
  fonts.defaultIndex = 0;
}

TEST_F(ScriptTest, MutatedScriptsNeverFault) {
  const std::string base =
      "[Report]\r\nReportName=Fuzz\r\nMasterTable=CUST\r\n[PageFormat]\r\nPageSize=2\r\nTopMargin=0.5\r\n"
      "Landscape=F\r\n[RecordFormat]\r\nRecordsAcross=2\r\nPrintColsAcross=T\r\nRecordWidth=3.5\r\n"
      "[Sort]\r\nSortField1=Name\r\nSortOrder1=T\r\n[Group]\r\nGroupField1=City\r\n"
      "[Title]\r\nPointSize=12.5\r\nTextField=\"Fuzzed, quoted\",F,0,1,BIUS\r\n"
      "[Record]\r\nCharField=Name,T,1.5,0,B,20\r\nCharField=City,T,+0.5,0,,10\r\nNumField=Amount,F,6,2,,,,1\r\n"
      "DateField=Joined,F,7,0,,3\r\nDateTimeField=Seen,F,8,1,,2,4\r\n"
      "CalcNum=C1,F,1,0,,6,2,1,\"Amount * 3\"\r\nCalcChar=C2,F,2,0,,10,\"Name\"\r\n"
      "[GroupFooter1]\r\nCalcNum=T1,F,0,2,B,,,,1,Amount,1,1,T\r\nCalcDate=T2,F,3,0,,1,4,Joined,G,E\r\n"
      "[Summary]\r\nNewPage=T\r\n[Actions]\r\nMenu=FilePrint\r\n";
  const char* pieces[] = {",", "\"", "=", "[", "]", "\r", "\n", "\0", "+", ".", "99999999999999999999",
                          "-1", "T", "F", "[Record]\r\n", "CharField=Name,", "CalcNum=X,F,0,0,,,,,1,Amount,G,E\r\n"};
  std::mt19937 rng(20261207);
  std::string messages;
  int built = 0;
  for (int n = 0; n < 3000; ++n) {
    std::string s = base;
    const int edits = 1 + static_cast<int>(rng() % 6);
    for (int e = 0; e < edits && !s.empty(); ++e) {
      const size_t at = rng() % s.size();
      switch (rng() % 6) {
        case 0: s[at] = static_cast<char>(rng() % 256); break;
        case 1: s.erase(at, 1 + rng() % 8); break;
        case 2: {
          const char* p = pieces[rng() % (sizeof pieces / sizeof pieces[0])];
          s.insert(at, p, std::max<size_t>(1, std::strlen(p)));
          break;
        }
        case 3: s.insert(at, std::string(100 + rng() % 400, static_cast<char>('A' + rng() % 26))); break;
        case 4: s.insert(at, s.substr(at, rng() % 120)); break;
        default: s.resize(at); break;
      }
    }
    // Each run starts from the five fields on an empty layout, as a new
    // report does.
    for (FieldDef* f = t.m.fieldList; f != nullptr;) {
      FieldDef* next = f->next;
      if (std::find(t.fields.begin(), t.fields.end(), f) == t.fields.end()) t.m.DeleteField(f, 2 | 4);
      f = next;
    }
    for (FieldDef* f : t.fields) f->head = ReportItemHead{};
    for (int i = 0; i < 8; ++i) t.m.groupFields[i] = t.m.sortFields[i] = kNoField;
    doc.FreeLayoutItems();
    ClearBandLineTable(doc.m_bandLines);
    built += Run(s, &messages);
  }
  EXPECT_GT(built, 0);
}

}  // namespace
