// Fields matched against the columns a data source lists, the DATETIME
// question, and streams of earlier format versions.
#include "charts/chart.h"
#include "report_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {

using rs_test::BuildFullReport;
using rs_test::Doc;

// A data layer that lists the master table's columns, one of them gone and
// the order date now a date-time column.
struct ColumnHooks : rs_test::RecordingHooks {
  int rule = 1;
  int asked = 0;
  bool answer = true;
  bool OpenTable(KmDocBase& doc, uint32_t slot) override {
    if (slot != 0) return false;
    auto add = [&](const char* name, uint32_t kind) {
      FieldDef* f = doc.m_pModel->AddField(kind);
      std::snprintf(f->name, sizeof f->name, "%s", name);
      f->table = 0;
    };
    add("ordno", kFieldNumeric);  // names match without regard to case
    add("CUSTNO", kFieldNumeric);
    add("ORDDATE", kFieldDateTime);
    add("PAID", kFieldLogical);
    add("STAMP", kFieldDateTime);
    add("EXTRA", 0);  // a column the report never used
    return true;
  }
  int DateTimeCompatibility(KmDocBase&) override { return rule; }
  bool AskConvertDateTime(KmDocBase&) override {
    ++asked;
    return answer;
  }
};

const FieldDef* Named(CKmComposite& m, const char* name) {
  for (FieldDef* f = m.fieldList; f; f = f->next)
    if (std::strcmp(f->name, name) == 0) return f;
  return nullptr;
}

TEST(FieldMatching, MissingColumnsWarnAndDateTimeIsDecidedOncePerRead) {
  Doc a;
  BuildFullReport(a);
  std::vector<uint8_t> bytes = a.Write(StreamMode::Storage);

  Doc b;
  ColumnHooks hooks;
  b.st.hooks = &hooks;
  ASSERT_EQ(b.Read(bytes, StreamMode::Storage), 0);
  // NOTE is gone from the table: one warning naming kind, field and table.
  ASSERT_EQ(hooks.warnings.size(), 1u);
  EXPECT_EQ(hooks.warnings[0], "Memo field 'NOTE' is no longer in table 'C:\\DATA\\ORDERS.DBF'");
  EXPECT_EQ(Named(b.M(), "NOTE"), nullptr);
  // The filter's field number follows PAID to its new place.
  ASSERT_NE(b.M().conditionCode, nullptr);
  EXPECT_STREQ(b.M().GetFieldAt(b.M().conditionCode[1])->name, "PAID");
  EXPECT_EQ(Named(b.M(), "NOTE"), nullptr);
  // The stored date met a date-time column: asked once, converted.
  EXPECT_EQ(hooks.asked, 1);
  EXPECT_EQ(Named(b.M(), "ORDDATE")->flags & kFieldKindMask, kFieldDate);
  EXPECT_EQ(b.st.settings.dateTimeAnswer, 0);
  // References by number follow the fields to their new places.
  const FieldDef* alias = nullptr;
  for (FieldDef* f = b.M().fieldList; f; f = f->next)
    if (f->flags & kFieldAlias) alias = f;
  ASSERT_NE(alias, nullptr);
  EXPECT_STREQ(b.M().GetFieldAt(alias->refField)->name, "NAME");
  EXPECT_STREQ(b.M().GetFieldAt(b.doc.m_bandLines.lines[2].objectId)->name, "PAID");
  EXPECT_STREQ(b.M().GetFieldAt(b.M().groupFields[0])->name, "ordno");

  // The answer stored in the report ("keep") is used without asking.
  Doc c;
  ColumnHooks keep;
  c.st.hooks = &keep;
  std::vector<uint8_t> again = b.Write(StreamMode::Storage);
  b.st.settings.dateTimeAnswer = 3;
  again = b.Write(StreamMode::Storage);
  ASSERT_EQ(c.Read(again, StreamMode::Storage), 0);
  EXPECT_EQ(keep.asked, 0);
  EXPECT_EQ(Named(c.M(), "ORDDATE")->flags & kFieldKindMask, kFieldDateTime);
}

// The master's linking field and the filter's field gone from the table: the
// link's stand-in keeps the stored kind (the narrowed form takes it from the
// table record), and the filter keeps its test, marked as having lost its
// field, so that no run prints the records the filter left out.
struct GoneColumnsHooks : rs_test::RecordingHooks {
  bool OpenTable(KmDocBase& doc, uint32_t slot) override {
    if (slot != 0) return false;
    for (const char* name : {"ORDNO", "ORDDATE", "NOTE", "STAMP"}) {
      FieldDef* f = doc.m_pModel->AddField(std::strcmp(name, "ORDNO") == 0 ? kFieldNumeric : 0);
      std::snprintf(f->name, sizeof f->name, "%s", name);
      f->table = 0;
    }
    return true;
  }
};

TEST(FieldMatching, AGoneLinkingFieldKeepsItsKindAndAGoneFilterFieldKeepsTheTest) {
  for (StreamMode mode : {StreamMode::Storage, StreamMode::Library}) {
    Doc a;
    BuildFullReport(a);
    const std::vector<uint8_t> bytes = a.Write(mode);
    Doc b;
    GoneColumnsHooks hooks;
    b.st.hooks = &hooks;
    ASSERT_EQ(b.Read(bytes, mode), 0);
    const FieldDef* link = Named(b.M(), "?_CUSTNO");
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->flags & kFieldKindMask, kFieldNumeric);
    EXPECT_EQ(link->table, 0);
    EXPECT_TRUE(link->flags2 & kField2NotInTable);
    ASSERT_NE(b.M().conditionCode, nullptr);
    EXPECT_EQ(ConditionFieldNumber(b.M().conditionCode), kNoField);
    EXPECT_NE(std::find(hooks.warnings.begin(), hooks.warnings.end(), "Filter must be edited: fields deleted"),
              hooks.warnings.end());
  }
}

// A chart names its fields by number: when the data source's columns move
// the fields on reading, the chart follows its fields, and one whose field
// is no longer there must be edited before it runs.
TEST(FieldMatching, ChartsFollowTheirFieldsToTheirNewPlaces) {
  Doc a;
  BuildFullReport(a);
  auto number = [&](const char* name) { return a.M().GetFieldIndex(const_cast<FieldDef*>(Named(a.M(), name))); };
  auto follows = std::make_unique<CKmChart>(&a.M());
  follows->Settings().type = 3;
  follows->Settings().series = {{number("PAID"), ""}, {number("SUMORD"), ""}};
  follows->Settings().labelField = number("STAMP");
  a.L().charts.At(0)->chart.reset(std::move(follows));
  ChartTableEntry second = *a.L().charts.At(0);
  auto gone = std::make_unique<CKmChart>(&a.M());
  gone->Settings().type = 1;
  gone->Settings().series = {{number("DOUBLE"), ""}};
  gone->Settings().labelField = number("NOTE");
  second.chart.reset(std::move(gone));
  a.L().charts.Append(second);
  const std::vector<uint8_t> bytes = a.Write(StreamMode::Storage);

  Doc b;
  ColumnHooks hooks;
  b.st.hooks = &hooks;
  ASSERT_EQ(b.Read(bytes, StreamMode::Storage), 0);
  ASSERT_EQ(b.L().charts.Count(), 2);
  const CKmChart* read = ChartOf(*b.L().charts.At(0));
  ASSERT_NE(read, nullptr);
  auto name = [&](uint32_t n) {
    const FieldDef* f = b.M().GetFieldAt(n);
    return std::string(f != nullptr ? f->name : "(none)");
  };
  ASSERT_EQ(read->CountSeries(), 2);
  EXPECT_EQ(name(read->Settings().series[0].field), "PAID");
  EXPECT_EQ(name(read->Settings().series[1].field), "SUMORD");
  EXPECT_EQ(name(read->Settings().labelField), "STAMP");
  EXPECT_EQ(read->CheckSettings(), 0);
  const CKmChart* refused = ChartOf(*b.L().charts.At(1));
  ASSERT_NE(refused, nullptr);
  EXPECT_EQ(name(refused->Settings().series[0].field), "DOUBLE");
  EXPECT_EQ(refused->CheckSettings(), kChartLabelFieldGone);
  // The reader says so as the report opens, naming the chart by its title.
  const std::string said = "Chart must be edited: The chart's label field is no longer in the report.\nChart title is: " +
                           refused->GetTitles();
  EXPECT_NE(std::find(hooks.warnings.begin(), hooks.warnings.end(), said), hooks.warnings.end());
}

TEST(FieldMatching, RuleThreeKeepsDateTimeWithoutAsking) {
  Doc a;
  BuildFullReport(a);
  std::vector<uint8_t> bytes = a.Write(StreamMode::Library);
  Doc b;
  ColumnHooks hooks;
  hooks.rule = 3;
  b.st.hooks = &hooks;
  ASSERT_EQ(b.Read(bytes, StreamMode::Library), 0);
  EXPECT_EQ(hooks.asked, 0);
  EXPECT_EQ(Named(b.M(), "ORDDATE")->flags & kFieldKindMask, kFieldDateTime);
}

// A data layer that refuses one source and records what it was asked.
struct ConnectHooks : rs_test::RecordingHooks {
  std::vector<std::string> asked;
  std::vector<bool> checked;
  std::string refuse;
  bool ConnectSource(KmDocBase&, const TableSourceGroup& g, bool check) override {
    asked.push_back(g.sourceName);
    checked.push_back(check);
    return g.sourceName != refuse;
  }
};

TEST(DataSources, OverrideReplacesTheFirstSourceAndAFailedConnectionEndsTheRead) {
  Doc a;
  BuildFullReport(a);
  a.st.settings.sources[1].entryForm = false;
  a.st.settings.sources[1].sourceName = "Orders DB";  // the related table uses the master's source
  std::vector<uint8_t> bytes = a.Write(StreamMode::Storage);

  Doc b;
  ConnectHooks hooks;
  b.st.hooks = &hooks;
  b.st.connect = true;
  b.st.overrideSource = "Test DB";
  b.st.keepOverride = true;  // this read uses the preset
  ASSERT_EQ(b.Read(bytes, StreamMode::Storage), 0);
  EXPECT_EQ(hooks.asked, (std::vector<std::string>{"Test DB", "Test DB"}));
  EXPECT_EQ(hooks.checked, (std::vector<bool>{true, false}));  // driver and user text only on the master
  // The preset lasts one read.
  hooks.asked.clear();
  ASSERT_EQ(b.Read(bytes, StreamMode::Storage), 0);
  EXPECT_EQ(hooks.asked, (std::vector<std::string>{"Orders DB", "Orders DB"}));

  // A refused connection gives result 1.
  Doc c;
  ConnectHooks refuse;
  refuse.refuse = "Orders DB";
  c.st.hooks = &refuse;
  c.st.connect = true;
  EXPECT_EQ(c.Read(bytes, StreamMode::Storage), 1);
  // A library member is not connected while it is read.
  Doc e;
  e.st.hooks = &refuse;
  e.st.connect = true;
  EXPECT_EQ(e.Read(a.Write(StreamMode::Library), StreamMode::Library), 0);
  EXPECT_TRUE(refuse.asked.size() == 1u);
}

struct PictureHooks : rs_test::RecordingHooks {
  std::vector<std::string> asked;
  std::string answer;
  int loaded = 0;
  std::string AskForPictureFile(KmDocBase&, const std::string& stored) override {
    asked.push_back(stored);
    return answer;
  }
  void LoadPicture(KmDocBase&, PictureItem&) override { ++loaded; }
};

TEST(Pictures, SearchedBesideTheReportThenAsStoredThenInTheImageFolderThenAsked) {
  char dir[] = "/tmp/vt_rs_pic_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string base = std::string(dir) + "/base", images = std::string(dir) + "/images";
  ASSERT_EQ(mkdir(base.c_str(), 0700), 0);
  ASSERT_EQ(mkdir(images.c_str(), 0700), 0);
  std::FILE* f = std::fopen((images + "/LOGO.BMP").c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  f = std::fopen((base + "/NEAR.BMP").c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);

  Doc a;
  BuildFullReport(a);  // C:\PICS\LOGO.BMP, which is nowhere
  PictureItem near;
  std::snprintf(near.fileName, sizeof near.fileName, "NEAR.BMP");  // stored without a folder
  a.L().pictures.Append(near);
  PictureItem lost;
  std::snprintf(lost.fileName, sizeof lost.fileName, "C:\\GONE\\LOST.BMP");
  a.L().pictures.Append(lost);
  std::vector<uint8_t> bytes = a.Write(StreamMode::Storage);

  Doc b;
  PictureHooks hooks;
  hooks.answer = "";
  b.st.hooks = &hooks;
  b.st.baseDirectory = base;
  b.st.imageFolder = images;
  ASSERT_EQ(b.Read(bytes, StreamMode::Storage), 0);
  ASSERT_EQ(b.L().pictures.Count(), 3);
  EXPECT_EQ(std::string(b.L().pictures.At(0)->fileName), images + "/LOGO.BMP");
  EXPECT_EQ(std::string(b.L().pictures.At(1)->fileName), base + "/NEAR.BMP");
  EXPECT_STREQ(b.L().pictures.At(2)->fileName, "C:\\GONE\\LOST.BMP");  // kept when nobody finds it
  EXPECT_EQ(hooks.asked, (std::vector<std::string>{"C:\\GONE\\LOST.BMP"}));
  EXPECT_EQ(hooks.loaded, 2);  // the one let go was reported once, when asked for
  EXPECT_TRUE(b.st.modifiedByLoading);

  // Written again relative to the report's folder: the one beside it has no folder.
  b.st.baseDirectory = base;
  std::vector<uint8_t> again = b.Write(StreamMode::Storage);
  Doc c;
  PictureHooks none;
  c.st.hooks = &none;
  ASSERT_EQ(c.Read(again, StreamMode::Storage), 0);
  EXPECT_FALSE(c.st.modifiedByLoading);  // the stored paths exist now

  std::remove((images + "/LOGO.BMP").c_str());
  std::remove((base + "/NEAR.BMP").c_str());
  rmdir(images.c_str());
  rmdir(base.c_str());
  rmdir(dir);
}

// A narrowed stream of format version 6, as written before the wide form.
TEST(OlderVersions, VersionSixStreamWithRetiredRecordTypes) {
  std::vector<uint8_t> s;
  auto rec = [&](uint16_t type, std::vector<uint8_t> p) {
    s.push_back(static_cast<uint8_t>(type));
    s.push_back(static_cast<uint8_t>(type >> 8));
    s.push_back(static_cast<uint8_t>(p.size()));
    s.push_back(static_cast<uint8_t>(p.size() >> 8));
    s.insert(s.end(), p.begin(), p.end());
  };
  auto text = [](std::vector<uint8_t> head, const char* t) {
    head.insert(head.end(), t, t + std::strlen(t));
    return head;
  };
  rec(rec::Header, {6, 0, 0xC6, 7, 1, 2, 3, 4, 5});
  rec(rec::PageRange, {1, 2, 3, 4, 5, 6, 7, 8});  // before version 7 this named the data source
  rec(rec::MasterPath, text({}, "ORDERS.DBF"));
  // Older field: 13-byte descriptor, name with an OEM character (0x81, u with diaeresis).
  rec(rec::OldField, text({0, 0, 4, 0x80, 0, 0, 0, 0, 1, 3, 0, 8, 2}, "M\x81NZE"));
  rec(rec::ObjectFlags, {0x80});
  rec(rec::ColumnHead, {10, 0, 40, 0, 2, 0, 0});
  // Older total with its older condition, and a calculation carrying the group flag.
  rec(rec::OldTotalCondition, text({1, 0, 0}, "M\x81NZE > 0"));
  rec(rec::OldTotal, text({1, 0, 4, 0x80, 2, 0, 0, 0, 2, 0, 0, 8, 0, 0, 0, 1, 1, 0}, "TOT"));
  rec(rec::ObjectFlags, {0x80});
  rec(rec::ColumnHead, {10, 0, 40, 0, 2, 0, 0});
  rec(rec::Calc | kGroupRecordFlag,
      text({2, 0, 0x0C, 0x80, 0, 0, 0, 0, 0, 2, 0, 0, 0, 8, 0, 0, 4, 'C', 'A', 'L', 'C'}, ""));
  rec(rec::ObjectFlags, std::vector<uint8_t>(15, 0));
  rec(rec::ColumnHead, {0, 0, 10, 0, 0, 0, 0});
  rec(rec::ExpressionText, {'T', 'O', 'T', ' ', '*', ' ', '2', 0});
  rec(rec::OldPageRange, {5, 0, 0x0F, 0x27});  // a last page of 9999 means no limit
  rec(rec::OldText, text({2, 4, 3, 1}, "abc"));
  rec(rec::ObjectFlags, {0});
  rec(rec::ColumnHead, {0, 0, 10, 0, 0, 0, 0});
  rec(rec::OldOutputBits, {4 | 8});
  rec(rec::OldLayout, {});
  rec(rec::Ignored36, {9, 9});
  rec(rec::End, {});

  Doc d;
  ASSERT_EQ(d.Read(s, StreamMode::Library), 0) << (d.hooks.errors.empty() ? "" : d.hooks.errors[0]);
  CKmComposite& m = d.M();
  ASSERT_EQ(m.fieldCount, 3u);
  EXPECT_STREQ(m.GetFieldAt(0)->name, "M\xFCNZE");
  EXPECT_EQ(m.GetFieldAt(0)->flags & kFieldKindMask, kFieldNumeric);
  EXPECT_EQ(m.GetFieldAt(0)->head.left, 10);
  const FieldDef* total = m.GetFieldAt(1);
  EXPECT_EQ(total->totalFlags & kTotalIsTotal, kTotalIsTotal);
  EXPECT_EQ(total->refField, 0u);
  EXPECT_STREQ(total->conditionText, "M\x81NZE > 0");  // conditions are not names: left as stored
  const FieldDef* calc = m.GetFieldAt(2);
  EXPECT_STREQ(calc->name, "CALC");
  EXPECT_STREQ(calc->exprText, "TOT * 2");
  EXPECT_EQ(d.st.settings.sources[0].sourceName, "R");
  EXPECT_EQ(d.st.settings.firstPage, 5u);
  EXPECT_EQ(d.st.settings.lastPage, 999999999u);
  ASSERT_NE(d.L().textHead, nullptr);
  EXPECT_STREQ(d.L().textHead->text, "abc");
  EXPECT_EQ(d.L().textHead->alignment, 16);
  EXPECT_EQ(d.L().textHead->head.flags & 2u, 2u);  // the second output mode reaches the texts
  EXPECT_EQ(d.doc.m_pPageSetup->Landscape, 1);
  EXPECT_EQ(d.st.settings.oldLayout, 1);
}

}  // namespace

namespace {

TEST(OlderVersions, VersionThreeStyleByteCarriesTheFont) {
  std::vector<uint8_t> s = {rec::Header, 0, 2, 0, 3, 0};
  const std::vector<uint8_t> field = {rec::OldField, 0, 16, 0,  0, 0, 4, 0x80, 0, 0, 0, 0,
                                      0,            0, 0x1A, 8, 0, 'Q', 'T', 'Y'};
  s.insert(s.end(), field.begin(), field.end());
  s.insert(s.end(), {rec::End, 0, 0, 0});
  Doc d;
  ASSERT_EQ(d.Read(s, StreamMode::Library), 0);
  ASSERT_EQ(d.M().fieldCount, 1u);
  EXPECT_STREQ(d.M().fieldList->name, "QTY");
  EXPECT_EQ(d.M().fieldList->head.fontIndex, 2);
  EXPECT_EQ(d.M().fieldList->head.fontStyle, 4);  // older streams kept style 4 as 2
}

}  // namespace

// A calculation whose text no longer compiles is kept, without code, and the
// user is told which one must be edited; the rest of the report reads.
TEST(ReaderCompile, ACalculationThatNoLongerCompilesIsKeptAndNamed) {
  rs_test::Doc a;
  rs_test::BuildFullReport(a);
  FieldDef* calc = nullptr;
  for (FieldDef* f = a.M().fieldList; f; f = f->next)
    if (std::strcmp(f->name, "DOUBLE") == 0) calc = f;
  ASSERT_NE(calc, nullptr);
  HeapFreeBlock(calc->exprText);
  calc->exprText = rs_test::Heap("GONE * 2");
  rs_test::Doc b;
  ASSERT_EQ(b.Read(a.Write(StreamMode::Storage), StreamMode::Storage), 0);
  ASSERT_EQ(b.hooks.warnings.size(), 1u);
  EXPECT_EQ(b.hooks.warnings[0], "Calculated field 'DOUBLE' must be edited");
  const FieldDef* kept = nullptr;
  for (FieldDef* f = b.M().fieldList; f; f = f->next)
    if (std::strcmp(f->name, "DOUBLE") == 0) kept = f;
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->code, nullptr);
  EXPECT_STREQ(kept->exprText, "GONE * 2");
}


// A calculation that is only a column reopens with its code, whichever table
// holds the column and however the name is spelled.
TEST(ReaderCompile, ACalculationThatIsOnlyAColumnReopens) {
  for (const char* text : {"CU.CUSTNO", "NAME", "name", "ORDNO", "CU.NAME"}) {
    rs_test::Doc a;
    rs_test::BuildFullReport(a);
    FieldDef* calc = a.Field("GNC", kFieldCalculation | kFieldNumeric, 0);
    calc->exprText = rs_test::Heap(text);
    rs_test::Doc b;
    ASSERT_EQ(b.Read(a.Write(StreamMode::Storage), StreamMode::Storage), 0) << text;
    EXPECT_TRUE(b.hooks.warnings.empty()) << text << ": " << (b.hooks.warnings.empty() ? "" : b.hooks.warnings[0]);
    const FieldDef* kept = nullptr;
    for (FieldDef* f = b.M().fieldList; f; f = f->next)
      if (std::strcmp(f->name, "GNC") == 0) kept = f;
    ASSERT_NE(kept, nullptr) << text;
    EXPECT_NE(kept->code, nullptr) << text;
  }
}
