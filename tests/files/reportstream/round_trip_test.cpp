// A report survives write and read in both forms, and writes the same bytes again.
#include "report_fixture.h"

#include <strings.h>

namespace {

using rs_test::BuildFullReport;
using rs_test::Doc;
using rs_test::WithoutTime;

std::string FaceOf(const ReportItemHead& h) {
  std::string face;
  GetFaceAtomName(h.faceAtom, &face);
  return face;
}

class RoundTrip : public ::testing::TestWithParam<StreamMode> {};

TEST_P(RoundTrip, FullReportReadsBackAndRewritesIdentically) {
  const StreamMode mode = GetParam();
  Doc a;
  BuildFullReport(a);
  int result = -5;
  std::vector<uint8_t> first = a.Write(mode, &result);
  ASSERT_EQ(result, 0) << (a.hooks.errors.empty() ? "" : a.hooks.errors[0]);

  Doc b;
  ASSERT_EQ(b.Read(first, mode), 0) << (b.hooks.errors.empty() ? "" : b.hooks.errors[0]);
  EXPECT_TRUE(b.hooks.errors.empty());
  EXPECT_TRUE(b.hooks.warnings.empty()) << b.hooks.warnings[0];

  // Model: fields in their order with kinds, tables and references.
  CKmComposite& m = b.M();
  ASSERT_EQ(m.fieldCount, a.M().fieldCount);
  for (uint32_t i = 0; i < m.fieldCount; ++i) {
    const FieldDef* x = a.M().GetFieldAt(i);
    const FieldDef* y = m.GetFieldAt(i);
    EXPECT_STREQ(x->name, y->name) << i;
    EXPECT_EQ(x->flags & 0x3ABCF, y->flags & 0x3ABCF) << i;
    EXPECT_EQ(x->table, y->table) << i;
    EXPECT_EQ(x->displayWidth, y->displayWidth) << i;
    EXPECT_EQ(x->formatCode, y->formatCode) << i;
  }
  const FieldDef* calc = m.GetFieldAt(8);
  EXPECT_STREQ(calc->exprText, "ORDNO * 2");
  EXPECT_STREQ(calc->text, "second text");
  const FieldDef* total = m.GetFieldAt(9);
  EXPECT_EQ(total->totalFlags & kTotalIsTotal, kTotalIsTotal);
  EXPECT_EQ(total->refField, 0u);
  EXPECT_STREQ(total->conditionText, "ORDNO > 1");
  EXPECT_STREQ(total->exprText, "ORDNO");
  const FieldDef* alias = m.GetFieldAt(10);
  EXPECT_TRUE(alias->flags & kFieldAlias);
  EXPECT_EQ(alias->refField, 7u);
  EXPECT_EQ(alias->flags2 & kField2KeepRefNumber, 0u);
  EXPECT_EQ(FaceOf(m.GetFieldAt(0)->head), "Courier New");
  ASSERT_NE(m.tableSlots[1], nullptr);
  EXPECT_STREQ(m.tableSlots[1]->path, "C:\\DATA\\CUST.DBF");
  EXPECT_STREQ(m.tableSlots[1]->alias, "CU");
  EXPECT_EQ(m.tableSlots[1]->link.pairs[0][0], 1u);
  EXPECT_EQ(m.tableSlots[1]->link.pairs[0][1], 6u);
  EXPECT_EQ(m.tableSlots[1]->relationBits, a.M().tableSlots[1]->relationBits);
  EXPECT_EQ(m.groupFields[0], 0u);
  EXPECT_EQ(m.groupFields[1], kNoField);
  // The slots come back on the model, where the run and field editing read them.
  EXPECT_EQ(m.groupFlags[0], 1);
  EXPECT_EQ(m.sortFields[0], 0u);
  EXPECT_EQ(m.sortFields[1], 7u);
  EXPECT_EQ(m.sortWords[1], 1);
  EXPECT_EQ(m.sortFields[2], kNoField);
  // The filter as the selection rows wrote it, on PAID.
  ASSERT_EQ(m.conditionLength, a.M().conditionLength);
  EXPECT_EQ(std::memcmp(m.conditionCode, a.M().conditionCode, m.conditionLength), 0);
  EXPECT_EQ(m.conditionCode[0], kCondField);
  EXPECT_STREQ(m.GetFieldAt(ConditionFieldNumber(m.conditionCode))->name, "PAID");
  // Calculations and total conditions are compiled again.
  EXPECT_NE(calc->code, nullptr);
  EXPECT_NE(total->conditionCode, nullptr);

  // Layout and page.
  LayoutTables& t = b.L();
  ASSERT_EQ(t.textCount, 2);
  EXPECT_STREQ(t.textHead->text, "Orders \xB7 list");
  EXPECT_EQ(FaceOf(t.textHead->head), "Arial");
  EXPECT_STREQ(t.textHead->nextText->text, "");
  ASSERT_EQ(t.linesBoxes.Count(), 2);
  EXPECT_EQ(t.linesBoxes.At(0)->thickness, 2);
  EXPECT_EQ(t.linesBoxes.At(1)->head.height, -1);
  ASSERT_EQ(t.pictures.Count(), 1);
  EXPECT_STREQ(t.pictures.At(0)->fileName, "C:\\PICS\\LOGO.BMP");
  EXPECT_EQ(t.pictures.At(0)->source[2], 640);
  ASSERT_EQ(t.charts.Count(), 1);
  const BandLineRec* l = b.doc.m_bandLines.lines;
  EXPECT_EQ(l[2].objectId, 4);
  EXPECT_EQ(l[1].height, 140u);
  EXPECT_EQ(l[3].reserved, 1);
  EXPECT_EQ(l[4].kind, kBandPageFooter);
  EXPECT_EQ(l[5].kind, kBandFree);
  EXPECT_TRUE(PageSetupEqual(*a.doc.m_pPageSetup, *b.doc.m_pPageSetup));
  EXPECT_EQ(b.st.settings.comments, "Monthly orders");
  EXPECT_EQ(b.st.settings.printFileName, "C:\\OUT\\ORDERS.PRN");
  EXPECT_EQ(b.st.settings.exportDefinitions.at(0).module, "C:\\X\\SHEET.DLL");
  EXPECT_EQ(b.st.settings.sources[1].databaseName, "C:\\DATA");

  std::vector<uint8_t> second = b.Write(mode, &result);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(WithoutTime(first), WithoutTime(second)) << rs_test::FirstDifference(WithoutTime(first), WithoutTime(second));
}

INSTANTIATE_TEST_SUITE_P(BothForms, RoundTrip, ::testing::Values(StreamMode::Storage, StreamMode::Library));

TEST(RoundTripRules, FontsSurviveWithoutFormatTextsAndEmptyReportIsMinimal) {
  Doc a;
  BuildFullReport(a);
  a.st.settings.formatTexts[0].clear();  // no record 75
  std::vector<uint8_t> bytes = a.Write(StreamMode::Storage);
  Doc b;
  ASSERT_EQ(b.Read(bytes, StreamMode::Storage), 0);
  EXPECT_EQ(FaceOf(b.L().textHead->head), "Arial");
  EXPECT_EQ(FaceOf(b.M().GetFieldAt(0)->head), "Courier New");

  // An empty report still carries the fixed records and reads back.
  Doc e;
  std::vector<uint8_t> empty = e.Write(StreamMode::Library);
  Doc f;
  EXPECT_EQ(f.Read(empty, StreamMode::Library), 0);
  EXPECT_EQ(f.M().fieldCount, 0u);
}

TEST(RoundTripRules, AReportReadIntoAModelThatHeldAStatementTakesNoneOfIt) {
  Doc a;
  BuildFullReport(a);
  std::vector<uint8_t> bytes = a.Write(StreamMode::Storage);
  // The model of a report started from a query, then a table report read into it.
  Doc b;
  b.M().statementText = rs_test::Heap("select company from order_lines");
  b.M().reportViewName = "Lines";
  ASSERT_EQ(b.Read(bytes, StreamMode::Storage), 0);
  EXPECT_EQ(b.M().statementText, nullptr);
  EXPECT_EQ(b.M().reportViewName, "RESULT");
  EXPECT_EQ(WithoutTime(b.Write(StreamMode::Storage)), WithoutTime(bytes)) << "no statement is written back";
}

TEST(RoundTripRules, LibraryMemberThroughTheEngine) {
  char dir[] = "/tmp/vt_rs_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/reports.qb6";
  LibraryFile lib;
  LibFileControlBlock* f = lib.LibFileCreate(path.c_str(), lib_of::ReadWrite, nullptr, kLibKindReport, 64);
  ASSERT_NE(f, nullptr);
  const DWORD first = lib.LibAllocRecord(f);
  ASSERT_NE(first, 0u);
  Doc a;
  BuildFullReport(a);
  lib.LibRewind(f, first);
  LibraryRecordSink sink(lib, f);
  ASSERT_EQ(writeRep(a.doc, a.st, sink), 0);
  std::vector<uint8_t> inMemory = a.Write(StreamMode::Library);

  Doc b;
  lib.LibRewind(f, first);
  LibraryRecordSource src(lib, f);
  ASSERT_EQ(ReadReportRecords(b.doc, b.st, src), 0);
  EXPECT_EQ(WithoutTime(b.Write(StreamMode::Library)), WithoutTime(inMemory));
  lib.LibFileClose(f);
  std::remove(path.c_str());
  rmdir(dir);
}

TEST(RoundTripRules, GroupSlotOfAMissingFieldEndsTheUsedSlots) {
  Doc a;
  BuildFullReport(a);
  for (int i = 0; i < 8; ++i) a.M().groupFields[i] = static_cast<uint32_t>(i);
  a.M().groupFields[2] = 500;  // no such field
  std::vector<uint8_t> bytes = a.Write(StreamMode::Storage);
  Doc b;
  ASSERT_EQ(b.Read(bytes, StreamMode::Storage), 0);
  EXPECT_EQ(b.M().groupFields[0], 0u);
  EXPECT_EQ(b.M().groupFields[1], 1u);
  for (int i = 2; i < 8; ++i) EXPECT_EQ(b.M().groupFields[i], kNoField) << i;
}

TEST(RoundTripRules, StoredLayoutUnitsRescaleAndZeroMeansNone) {
  Doc a;
  BuildFullReport(a);
  std::vector<uint8_t> bytes = a.Write(StreamMode::Storage);
  // Find record 88 and set its horizontal unit.
  auto setUnit = [](std::vector<uint8_t> v, uint16_t unit) {
    for (size_t i = 0; i + 4 <= v.size();) {
      const unsigned type = (v[i] | (v[i + 1] << 8)) & 0x3FFF;
      const size_t n = v[i + 2] | (v[i + 3] << 8);
      if (type == rec::LayoutUnits) {
        v[i + 4] = static_cast<uint8_t>(unit);
        v[i + 5] = static_cast<uint8_t>(unit >> 8);
      }
      if (type == rec::End) break;
      i += 4 + n;
    }
    return v;
  };
  Doc zero;
  ASSERT_EQ(zero.Read(setUnit(bytes, 0), StreamMode::Storage), 0);
  EXPECT_EQ(zero.L().linesBoxes.At(0)->head.left, 5);
  Doc half;
  ASSERT_EQ(half.Read(setUnit(bytes, 50), StreamMode::Storage), 0);
  EXPECT_EQ(half.L().linesBoxes.At(0)->head.left, 10);
  EXPECT_EQ(half.L().pictures.At(0)->head.left, 800);
}

}  // namespace

namespace {

TEST(RoundTripRules, MeasuresStoredInInchesConvertForAMetricDocument) {
  Doc a;
  BuildFullReport(a);
  a.doc.m_measure = 1;
  a.doc.m_bandLines.lines[2].heightMode = 2;
  a.doc.m_bandLines.lines[2].height = 50;  // half an inch
  std::vector<uint8_t> bytes = a.Write(StreamMode::Library);
  Doc b;
  b.doc.m_measure = 0;
  ASSERT_EQ(b.Read(bytes, StreamMode::Library), 0);
  EXPECT_EQ(b.doc.m_pPageSetup->TopMargin, 254);                // an inch in tenths of a millimetre
  EXPECT_EQ(b.doc.m_bandLines.lines[2].height, 127u);
  EXPECT_EQ(b.doc.m_bandLines.lines[1].height, 140u);           // points do not change
  Doc c;
  c.doc.m_measure = 1;
  ASSERT_EQ(c.Read(bytes, StreamMode::Library), 0);
  EXPECT_EQ(c.doc.m_pPageSetup->TopMargin, 100);
}

}  // namespace

namespace {
// Counts what the reader asks of the program about tables and data sources.
struct CountingHooks : rs_test::RecordingHooks {
  int opens = 0, reselects = 0, connects = 0;
  bool OpenTable(KmDocBase&, uint32_t) override { return ++opens, false; }
  bool ReselectTable(KmDocBase&, uint32_t) override { return ++reselects, false; }
  bool ConnectSource(KmDocBase&, const TableSourceGroup&, bool) override { return ++connects, true; }
};
// A desktop-file report kept relative to its master stores a lookup table in
// the master's folder by its file name and one elsewhere on the drive from
// the drive's root; one on another drive keeps its whole path. A report not
// kept relative stores every path whole.
TEST(RelativeTablePaths, LookupTablesAreStoredRelativeToTheMaster) {
  auto stored = [](const char* path, uint16_t masterBits, uint16_t tableBits) {
    Doc a;
    BuildFullReport(a);
    std::snprintf(a.M().tableSlots[1]->path, sizeof a.M().tableSlots[1]->path, "%s", path);
    a.st.settings.sources[0].placeBits = masterBits;
    a.st.settings.sources[1].placeBits = tableBits;
    int result = -5;
    const std::vector<uint8_t> bytes = a.Write(StreamMode::Storage, &result);
    EXPECT_EQ(result, 0);
    Doc b;
    EXPECT_EQ(b.Read(bytes, StreamMode::Storage), 0);
    return b.M().tableSlots[1] != nullptr ? std::string(b.M().tableSlots[1]->path) : std::string("(none)");
  };
  EXPECT_EQ(stored("C:\\DATA\\CUST.DBF", 2, 2), "CUST.DBF");
  EXPECT_EQ(stored("C:\\OTHER\\CUST.DBF", 2, 2), "\\OTHER\\CUST.DBF");
  EXPECT_EQ(stored("D:\\DATA\\CUST.DBF", 2, 2), "D:\\DATA\\CUST.DBF");
  // The master's source, and with it the master's way of storing.
  EXPECT_EQ(stored("C:\\DATA\\CUST.DBF", 2, 8), "CUST.DBF");
  EXPECT_EQ(stored("C:\\DATA\\CUST.DBF", 0, 4 | 8), "C:\\DATA\\CUST.DBF");
  EXPECT_EQ(stored("C:\\DATA\\CUST.DBF", 2, 0), "C:\\DATA\\CUST.DBF");
}

}  // namespace

TEST(RoundTripRules, AReportWithoutAMasterTableOpensNoTableAndAsksForNone) {
  Doc a;
  a.Text("Title only", 1, 10);
  std::vector<uint8_t> bytes = a.Write(StreamMode::Storage);
  Doc b;
  CountingHooks hooks;
  b.st.hooks = &hooks;
  b.st.connect = true;
  ASSERT_EQ(b.Read(bytes, StreamMode::Storage), 0);
  EXPECT_EQ(b.M().tableSlots[0], nullptr);
  EXPECT_EQ(hooks.opens, 0);
  EXPECT_EQ(hooks.reselects, 0);
  EXPECT_EQ(hooks.connects, 0);
  ASSERT_NE(b.L().textHead, nullptr);
  EXPECT_STREQ(b.L().textHead->text, "Title only");
  // A report on a master still opens it, and asks again when it cannot.
  Doc c;
  c.M().AddTableSlot("CUSTOMERS", "", 0, 0, nullptr);
  bytes = c.Write(StreamMode::Storage);
  Doc d;
  CountingHooks more;
  d.st.hooks = &more;
  ASSERT_EQ(d.Read(bytes, StreamMode::Storage), 0);
  ASSERT_NE(d.M().tableSlots[0], nullptr);
  EXPECT_EQ(more.opens, 1);
  EXPECT_EQ(more.reselects, 1);
}
