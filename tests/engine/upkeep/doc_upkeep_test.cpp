#include "engine/doc_upkeep.h"
#include "engine/run_output.h"
#include "tests/model/recordpass/condition_writer.h"
#include "expr/builtin_table.h"

#include "tests/expr/expr_model_fixture.h"
#include "app/document.h"
#include "expr/code_walks.h"
#include "expr/compiler.h"
#include "expr/compiler_state.h"
#include "core/compiled_code.h"
#include "layout/layout_records.h"
#include "foundation/band_lines.h"
#include "foundation/heap_strings.h"
#include "foundation/page_metrics.h"
#include "files/report_io.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// A document with a model and a band-line table of its own.
struct DocModel {
  CKmDoc doc;
  TestModel t;
  std::vector<BandLineRec> lines = std::vector<BandLineRec>(kBandLineTableRecords);
  DocModel() {
    doc.m_pModel = &t.m;
    t.m.owner = &doc;
    doc.m_bandLines.lines = lines.data();
    ClearBandLineTable(doc.m_bandLines);
    InstallRunListHooks(&t.m);
  }
  ~DocModel() {
    doc.m_bandLines.lines = nullptr;
    doc.m_pModel = nullptr;
  }
};

std::vector<std::pair<uint32_t, std::string>> g_shown;

}  // namespace

// The fields a run needs: placed fields, group and sort keys, band-line
// conditions, link fields, the filter's fields, and what all of those rest on.
TEST(Upkeep, RunListsMarkWhatTheReportUses) {
  DocModel d;
  TestModel& t = d.t;
  FieldDef* placed = t.Add("PLACED", kFieldNumeric | kFieldItem);
  FieldDef* hidden = t.Add("HIDDEN", kFieldNumeric);
  FieldDef* grouped = t.Add("GROUPED", 0);
  FieldDef* lineCond = t.Add("LINECOND", kFieldLogical);
  FieldDef* filtered = t.Add("FILTERED", kFieldNumeric);
  FieldDef* base = t.Add("BASE", kFieldNumeric);
  FieldDef* calc = t.AddCalc("CALC", "BASE * 2");
  ASSERT_EQ(t.lastError, 0);
  calc->flags |= kFieldItem;
  FieldDef* summed = t.Add("SUMMED", kFieldNumeric);
  FieldDef* total = t.Add("TOTAL", kFieldNumeric | kFieldItem);
  total->totalFlags = kTotalIsTotal;
  total->refField = t.Number(summed);
  FieldDef* deleted = t.Add("DELETED", kFieldNumeric | kFieldItem);
  deleted->head.flags |= kItemDeleted;
  for (FieldDef* f : {hidden, grouped, lineCond, filtered, base, summed}) f->flags &= ~kFieldItem;

  t.m.groupFields[0] = t.Number(grouped);
  d.lines[0].kind = 1;
  d.lines[0].objectId = static_cast<int32_t>(t.Number(lineCond));
  // The report's filter "FILTERED > 3", stored as the filter dialogs write it.
  Cond filter;
  filter.Field(t.Number(filtered)).Op(kCondGreater).Number(3).EndMark().Op(kCondEnd);
  const std::vector<uint8_t>& code = filter.b;
  t.m.conditionCode = static_cast<uint8_t*>(HeapAllocZero(0, static_cast<DWORD>(code.size())));
  std::memcpy(t.m.conditionCode, code.data(), code.size());
  t.m.conditionLength = static_cast<uint16_t>(code.size());

  RebuildRunLists(&d.doc, 1, false);
  for (FieldDef* f : {placed, grouped, lineCond, filtered, base, calc, summed, total})
    EXPECT_TRUE(f->flags & kFieldNeeded) << f->name;
  EXPECT_FALSE(hidden->flags & kFieldNeeded);
  EXPECT_FALSE(deleted->flags & kFieldNeeded);
  EXPECT_TRUE(UsesMemoFields(&t.m) == false);
  // A sort the program makes itself needs its sort field's values.
  t.m.sortFields[0] = t.Number(hidden);
  RebuildRunLists(&d.doc, 1, false);
  EXPECT_FALSE(hidden->flags & kFieldNeeded);
  t.m.totalsSortWord = 1;
  RebuildRunLists(&d.doc, 1, false);
  EXPECT_TRUE(hidden->flags & kFieldNeeded);
  t.m.totalsSortWord = 0;
  t.m.sortFields[0] = kNoField;

  // Deleting a field: group slots close up, band lines and the filter follow.
  t.m.sortFields[0] = t.Number(hidden);
  t.m.sortFields[1] = t.Number(filtered);
  const uint32_t filteredBefore = t.Number(filtered);
  ASSERT_TRUE(t.m.DeleteField(hidden, 0));
  EXPECT_EQ(t.m.sortFields[0], filteredBefore - 1);
  EXPECT_EQ(t.m.sortFields[1], kNoField);
  EXPECT_EQ(t.m.groupFields[0], t.Number(grouped));
  EXPECT_EQ(d.lines[0].objectId, static_cast<int32_t>(t.Number(lineCond)));
  std::vector<uint32_t> refs;
  ForEachConditionField(t.m.conditionCode, t.m.conditionLength,
                        [&](uint8_t* token) { refs.push_back(ConditionFieldNumber(token)); });
  EXPECT_EQ(refs, std::vector<uint32_t>{t.Number(filtered)});
  // The field a band line tests goes: the line prints unconditionally.
  ASSERT_TRUE(t.m.DeleteField(lineCond, 0));
  EXPECT_EQ(d.lines[0].objectId, -1);
  // The group field of level 1 of 3 goes: the others move up with their options.
  FieldDef* g2 = t.Add("G2", 0);
  FieldDef* g3 = t.Add("G3", 0);
  t.m.groupFields[1] = t.Number(g2);
  t.m.groupFlags[1] = 0x10;
  t.m.groupFields[2] = t.Number(g3);
  ASSERT_TRUE(t.m.DeleteField(grouped, 0));
  EXPECT_EQ(t.m.groupFields[0], t.Number(g2));
  EXPECT_EQ(t.m.groupFlags[0], 0x10);
  EXPECT_EQ(t.m.groupFields[1], t.Number(g3));
  EXPECT_EQ(t.m.groupFields[2], kNoField);
}

// Counters show every tenth record and once more when forced; a cancel seen
// once stops every later call.
TEST(Upkeep, RecordCounters) {
  DocModel d;
  // The run status dialog's counters as they are shown.
  struct CounterLog : RunShell {
    void PostRecordCount(KmDocBase&, int) override {}
    void PostPageNumber(KmDocBase&) override {}
    void PostCopyNumber(KmDocBase&, int) override {}
    void PostExportCount(KmDocBase&, uint32_t, int) override {}
    void PreviewPageDone(KmDocBase&, int) override {}
    void PageEnded(KmDocBase&, int32_t) override {}
    void ShowCounter(KmDocBase&, uint32_t label, const char* text) override { g_shown.emplace_back(label, text); }
    void ShowRunNote(KmDocBase&, const std::string&) override {}
  } log;
  InstallRunShell(&log);
  g_shown.clear();
  d.doc.m_nRunState = 0;
  ResetRecordCounters(&d.t.m);
  for (int i = 0; i < 25; ++i) {
    CountSelected(&d.t.m, false);
    EXPECT_EQ(CountRecordRead(&d.t.m), 0);
  }
  std::vector<std::string> reads;
  for (auto& s : g_shown)
    if (s.first == 217 && !s.second.empty()) reads.push_back(s.second);
  EXPECT_EQ(reads, (std::vector<std::string>{"10", "20"}));
  CountSelected(&d.t.m, true);
  EXPECT_EQ(g_shown.back(), std::make_pair(218u, std::string("25")));
  d.doc.m_nRunState = -3;  // the user's Cancel
  EXPECT_NE(CountRecordRead(&d.t.m), 0);
  d.doc.m_nRunState = 0;
  EXPECT_NE(CountRecordRead(&d.t.m), 0);  // sticky
  ClearStatusCounters(&d.t.m);
  InstallRunShell(nullptr);
}

// QUERY must stand alone; SQLEXP alone on one literal is a single call.
TEST(Upkeep, QueryAndSqlExpChecks) {
  DocModel d;
  TestModel& t = d.t;
  t.m.queryValue = 42;
  std::vector<uint8_t> code;
  ASSERT_EQ(t.Compile("QUERY()", &code), 0);
  int32_t value = 0;
  int error = -1;
  ASSERT_TRUE(FindQueryCall(&t.m, code.data(), code.size(), kSlotQuery, &value, &error));
  EXPECT_EQ(value, 42);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(CheckFieldForExpression(&t.m, nullptr, code.data(), code.size(), &value), 57);
  // The compiler keeps QUERY alone; a code where it is not is refused too.
  code.insert(code.begin(), static_cast<uint8_t>(OP_TRUE));
  ASSERT_TRUE(FindQueryCall(&t.m, code.data(), code.size(), kSlotQuery, &value, &error));
  EXPECT_EQ(error, 56);
  ASSERT_EQ(t.Compile("1 + 2", &code), 0);
  EXPECT_FALSE(FindQueryCall(&t.m, code.data(), code.size(), kSlotQuery, &value, &error));
  // A truncated code is not read past its end.
  EXPECT_FALSE(FindQueryCall(&t.m, code.data(), 3, kSlotQuery, &value, &error));

  FieldDef* derived = t.Add("DERIVED", kFieldNumeric | kFieldCalculation);
  uint32_t pos = 0;
  CompileOutput out;
  ASSERT_EQ(CompileExpression(&t.m, "SQLEXP('a + b')", &pos, &out, derived, nullptr, 1), 0);
  EXPECT_TRUE(IsSingleCallCode(out.code.data(), out.code.size()));
  ASSERT_EQ(t.Compile("'a' + 'b'", &code), 0);
  EXPECT_FALSE(IsSingleCallCode(code.data(), code.size()));

  EXPECT_EQ(GetBandFlagMask(2), 4);
  EXPECT_EQ(GetBandFlagMask(13), 3);
  EXPECT_EQ(GetLineHeightUnit(&d.doc, 1), 10);
  EXPECT_EQ(GetLineHeightUnit(&d.doc, 0), 0);
}

// Once installed, every compile asks where QUERY may stand: not in a field
// that another field or the filter uses, not in a function.
TEST(Upkeep, CompilerRefusesQueryWhereItWouldBeUsed) {
  DocModel d;
  TestModel& t = d.t;
  InstallExpressionChecks(&t.m);
  FieldDef* used = t.AddCalc("USED", "1 + 2");
  t.AddCalc("USER", "USED * 2");
  ASSERT_EQ(t.lastError, 0);
  CompileOutput out;
  uint32_t pos = 9;
  EXPECT_EQ(CompileExpression(&t.m, "QUERY()", &pos, &out, used, nullptr, 2), 59);
  EXPECT_EQ(pos, 0u);
  EXPECT_TRUE(out.code.empty());
  EXPECT_STREQ(CompileErrorText(59), "Function used in another function cannot contain QUERY()");
  EXPECT_FALSE(used->flags2 & kField2FilterText) << "a refused text leaves no QUERY mark";
  // The expression editor's trial copy answers for the field it stands for.
  FieldDef copy;
  copy.flags = kFieldCalculation | kFieldItem;
  EXPECT_EQ(CompileExpression(&t.m, "QUERY()", &pos, &out, &copy, nullptr, 2), 0);
  GetCompilerState(&t.m)->trialOf = used;
  EXPECT_EQ(CompileExpression(&t.m, "QUERY()", &pos, &out, &copy, nullptr, 2), 59);
  GetCompilerState(&t.m)->trialOf = nullptr;
  // Nobody uses it: QUERY stands; its own former code does not count as a user.
  EXPECT_EQ(t.AddCalc("ALONE", "QUERY()")->code != nullptr, true);
  EXPECT_EQ(t.lastError, 0);
  FieldDef* self = t.AddCalc("SELF", "PREVIOUS(SELF) + 1");
  ASSERT_EQ(t.lastError, 0);
  EXPECT_EQ(CompileExpression(&t.m, "QUERY()", &pos, &out, self, nullptr, 2), 0);

  // The filter tests the field.
  FieldDef* tested = t.AddCalc("TESTED", "'x'");
  Cond filter;
  filter.Field(t.Number(tested)).Op(kCondEqual).Text("y").EndMark().Op(kCondEnd);
  t.m.conditionCode = static_cast<uint8_t*>(HeapAllocZero(0, static_cast<DWORD>(filter.b.size())));
  std::memcpy(t.m.conditionCode, filter.b.data(), filter.b.size());
  t.m.conditionLength = static_cast<uint16_t>(filter.b.size());
  EXPECT_EQ(CompileExpression(&t.m, "QUERY()", &pos, &out, tested, nullptr, 2), 60);
  EXPECT_EQ(CompileExpression(&t.m, "UPPER('z')", &pos, &out, tested, nullptr, 2), 0);
  HeapFreeBlock(t.m.conditionCode);
  t.m.conditionCode = nullptr;
  t.m.conditionLength = 0;

  // A function body, or an expression of no field.
  uint8_t resultType = 4;
  EXPECT_EQ(CompileExpression(&t.m, "QUERY()", &pos, &out, nullptr, &resultType, 2), 57);
  EXPECT_EQ(resultType, 4);
  EXPECT_EQ(CompileExpression(&t.m, "QUERY()", &pos, &out, nullptr, nullptr, 1), 57);
  EXPECT_EQ(CompileExpression(&t.m, "USED + 1", &pos, &out, nullptr, &resultType, 2), 0);
}

// Text items: appended in order, deleted from anywhere, an unknown item refused.
TEST(Upkeep, TextItemsAndFieldCopies) {
  DocModel d;
  LayoutTables layout;
  d.doc.m_pLayout = &layout;
  TextItem* a = NewTextItem(&d.doc, 10);
  TextItem* b = NewTextItem(&d.doc, 4);
  TextItem* c = AppendTextItem(&d.doc);
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(layout.textCount, 3);
  EXPECT_EQ(layout.textHead, a);
  EXPECT_EQ(a->nextText, b);
  EXPECT_TRUE(DeleteTextItem(&d.doc, b));
  EXPECT_EQ(a->nextText, c);
  TextItem stranger;
  EXPECT_FALSE(DeleteTextItem(&d.doc, &stranger));
  EXPECT_EQ(layout.textCount, 2);
  FreeTextItems(&d.doc);
  EXPECT_EQ(layout.textHead, nullptr);
  EXPECT_EQ(layout.textCount, 0);

  // A copy of a field shows the same value with the same format.
  FieldDef* price = d.t.Add("PRICE", kFieldNumeric);
  price->formatCode = 0x3005;
  price->displayWidth = 9;
  price->head.flags |= kItemDeleted;
  FieldDef* copy = DuplicateField(&d.doc, price);
  ASSERT_NE(copy, nullptr);
  EXPECT_TRUE(copy->flags & kFieldAlias);
  EXPECT_EQ(copy->refField, d.t.Number(price));
  EXPECT_EQ(copy->formatCode, 0x3005u);
  EXPECT_EQ(copy->displayWidth, 9u);
  EXPECT_FALSE(copy->head.flags & kItemDeleted);
  EXPECT_EQ(GetObjectAlignment(&d.doc, &copy->head), 2);  // numbers: the top nibble, less one

  // Resetting the run settings empties the slots and the filter, the
  // report's own copy of the slots, its label stock and page range, and
  // the page set-up (records across with it).
  CKmRepIO io(&d.doc);
  d.doc.m_pRepIO = &io;
  ReportSettings& st = io.m_stream.settings;
  PageSetupRec page{};
  page.ExtraColumns = 1;
  page.RecordWidth = 370;
  d.doc.m_pPageSetup = &page;
  d.t.m.groupFields[0] = 0;
  d.t.m.sortFields[0] = 0;
  d.t.m.recordRepeatField = 0;
  st.sortFields[2] = 0;
  st.sortWords[2] = 1;
  st.groupFields[0] = 0;
  st.recordCopiesField = 0;
  st.firstPage = 2;
  st.labelStock = "Big 2 across";
  ResetRunSettings(&d.doc);
  EXPECT_EQ(d.t.m.groupFields[0], kNoField);
  EXPECT_EQ(d.t.m.sortFields[0], kNoField);
  EXPECT_EQ(d.t.m.recordRepeatField, kNoField);
  EXPECT_EQ(st.sortFields[2], kNoField);
  EXPECT_EQ(st.sortWords[2], 0);
  EXPECT_EQ(st.groupFields[0], kNoField);
  EXPECT_EQ(st.recordCopiesField, -1);
  EXPECT_EQ(st.firstPage, 1u);
  EXPECT_TRUE(st.labelStock.empty());
  EXPECT_EQ(page.ExtraColumns, 0);
  EXPECT_EQ(page.RecordWidth, 0);
  EXPECT_EQ(page.NoLineSwitch, 1);
  EXPECT_TRUE(d.doc.m_bModified);
  d.doc.m_pPageSetup = nullptr;
  d.doc.m_pRepIO = nullptr;
  d.doc.m_pLayout = nullptr;
}

// A new report starts with one Record line, its fields off the layout, and
// the page of the settings; an opened one keeps its layout.
TEST(Upkeep, NewReportState) {
  DocModel d;
  FieldDef* a = d.t.Add("A", kFieldNumeric);
  d.lines[3].kind = kBandTitle;
  PageSetupRec page{};
  d.doc.m_pPageSetup = &page;
  d.doc.m_settings.topM = 75;
  InitReportState(&d.doc, true);
  EXPECT_TRUE(a->flags & kFieldItem);
  EXPECT_EQ(d.lines[3].kind, kBandTitle);
  InitReportState(&d.doc, false);
  EXPECT_EQ(d.lines[0].kind, kBandRecord);
  EXPECT_EQ(d.lines[3].kind, kBandFree);
  EXPECT_FALSE(a->flags & kFieldItem);
  EXPECT_GT(page.PaperLength, 0);
  EXPECT_GT(page.PaperWidth, 0);
  EXPECT_EQ(page.TopMargin, 75);
  EXPECT_GT(d.doc.m_pageMetrics.pageHeight720, 0);
  d.doc.m_pPageSetup = nullptr;
}
