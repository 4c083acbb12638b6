// The chart object: its stored form (ours kept exactly, any other form kept
// byte for byte, damaged bytes refused without reading past them), the
// fields it follows, what it collects per record and per group, and the
// drawing rules (colours, axis ticks, sample data).
#include "charts/chart.h"
#include "charts/chart_render.h"
#include "foundation/byte_order.h"
#include "platform/win/ui_app.h"
#include "tests/expr/expr_model_fixture.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

struct ChartModel : TestModel {
  FieldDef* name = Add("NAME", 0);
  FieldDef* amount = Add("AMOUNT", kFieldNumeric);
  FieldDef* qty = Add("QTY", kFieldNumeric);
  uint32_t N(FieldDef* f) const { return m.GetFieldIndex(f); }
};

CKmChart FullChart(ChartModel& t) {
  CKmChart c(&t.m);
  ChartSettings& s = c.Settings();
  s.type = 8;
  s.subStyle = 3;
  s.pieOptions = 0x1800;
  s.colourScheme = 5;
  s.dataLabels = 1;
  s.seriesLabelProperty = -1;
  s.titles[0] = "Sales";
  s.titles[3] = "Right \xE9";
  s.titleBackground = 9;
  s.faces[2] = "Courier New";
  s.sizes[1] = 6;
  s.rangeMode = 1;
  s.rangeMin = -5.5;
  s.rangeMax = 770;
  s.anchorMode = 1;
  s.level = 2;
  s.labelField = t.N(t.name);
  s.series = {{t.N(t.amount), "Amount"}, {t.N(t.qty), ""}};
  return c;
}

std::vector<uint8_t> Bytes(const CKmChart& c) {
  std::vector<uint8_t> out;
  c.Serialize(out);
  return out;
}

// A value source over a map, as a run would give it.
struct Values : ChartValueSource {
  std::map<uint32_t, double> numbers;
  std::map<uint32_t, std::string> texts;
  bool Number(uint32_t f, double* v) override {
    auto it = numbers.find(f);
    if (it == numbers.end()) return false;
    *v = it->second;
    return true;
  }
  std::string Text(uint32_t f) override { return texts[f]; }
};

TEST(ChartStoredForm, OurFormReadsBackAndWritesTheSameBytes) {
  ChartModel t;
  const CKmChart a = FullChart(t);
  const std::vector<uint8_t> bytes = Bytes(a);
  ASSERT_GE(bytes.size(), 10u);
  EXPECT_EQ(GetU32(bytes.data()), kChartSignature);
  CKmChart b(&t.m);
  ASSERT_TRUE(b.Load(bytes.data(), bytes.size()));
  EXPECT_FALSE(b.IsForeign() || b.IsDamaged());
  EXPECT_EQ(b.Settings().titles[3], "Right \xE9");
  EXPECT_EQ(b.Settings().series[0].label, "Amount");
  EXPECT_EQ(b.Settings().rangeMin, -5.5);
  EXPECT_EQ(b.GetFontSize(1), 300);
  EXPECT_EQ(b.GetAnchorMode(), 1);
  EXPECT_EQ(Bytes(b), bytes);
  // A copy (a duplicated chart entry) writes the same.
  const CKmChart c(b);
  EXPECT_EQ(Bytes(c), bytes);
}

TEST(ChartStoredForm, BytesOfAnotherFormOrDamagedAreKeptExactly) {
  ChartModel t;
  std::vector<uint8_t> ours = Bytes(FullChart(t));
  std::vector<std::vector<uint8_t>> cases = {
      {},                                // nothing at all
      {1, 2, 0, 4},                      // too short for a head
      {0x11, 0x22, 0x33, 0x44, 1, 0, 0, 0, 0, 0, 9, 9},  // another signature
  };
  std::vector<uint8_t> later = ours;
  PutU16(later.data() + 4, kChartFormVersion + 1);  // a later form of ours
  cases.push_back(later);
  for (const auto& bytes : cases) {
    CKmChart c(&t.m);
    EXPECT_FALSE(c.Load(bytes.data(), bytes.size()));
    EXPECT_TRUE(c.IsForeign());
    EXPECT_EQ(Bytes(c), bytes);
    EXPECT_EQ(c.CheckSettings(), 0) << "a chart of another form never holds up a run";
    EXPECT_EQ(RenderChartMetafile(c, 100, 100, nullptr), nullptr);
  }
  // Damaged bodies of our form: cut short, a length pointing past the end,
  // a series count beyond the limit, a body length that does not match.
  std::vector<std::vector<uint8_t>> damaged;
  damaged.push_back(std::vector<uint8_t>(ours.begin(), ours.end() - 3));
  std::vector<uint8_t> longText = ours;
  PutU16(longText.data() + 10 + 16, 0xFFFF);  // the title's length
  damaged.push_back(longText);
  std::vector<uint8_t> wrongLength = ours;
  PutU32(wrongLength.data() + 6, 0x7FFFFFFF);
  damaged.push_back(wrongLength);
  std::vector<uint8_t> trailing = ours;
  trailing.push_back(0);
  damaged.push_back(trailing);
  for (const auto& bytes : damaged) {
    CKmChart c(&t.m);
    EXPECT_FALSE(c.Load(bytes.data(), bytes.size()));
    EXPECT_TRUE(c.IsDamaged());
    EXPECT_EQ(Bytes(c), bytes);
    ChartArrays a;
    EXPECT_FALSE(c.BuildChartArrays(&a));
  }
}

TEST(ChartFields, ARemovedSeriesFieldIsRefusedAndLaterNumbersFollow) {
  ChartModel t;
  CKmChart c = FullChart(t);
  EXPECT_EQ(c.CheckSettings(), 0);
  const uint32_t qty = t.N(t.qty);
  EXPECT_TRUE(c.HasSeriesFor(qty));
  // A field after all the chart's goes: nothing changes.
  EXPECT_TRUE(c.FieldDeleted(99));
  EXPECT_EQ(c.CheckSettings(), 0);
  CKmChart d = FullChart(t);
  EXPECT_FALSE(d.FieldDeleted(t.N(t.amount)));
  EXPECT_EQ(d.CheckSettings(), kChartSeriesFieldGone);
  EXPECT_EQ(d.Settings().series[1].field, qty - 1);
  // Renumbering follows a swapped field.
  d.RenumberFieldRefs(qty - 1, 42);
  EXPECT_EQ(d.Settings().series[1].field, 42u);
  CKmChart none(&t.m);
  EXPECT_EQ(none.CheckSettings(), kChartNoSeries);
  CKmChart text = FullChart(t);
  text.Settings().series = {{t.N(t.name), ""}};
  EXPECT_EQ(text.CheckSettings(), kChartSeriesNotNumeric);
}

TEST(ChartCollect, RecordsStayWithTheirGroupAndGroupsTakeTheFinishedGroupsLabel) {
  ChartModel t;
  CKmChart perRecord(&t.m), perGroup(&t.m);
  perRecord.Settings().series = {{t.N(t.amount), ""}};
  perRecord.Settings().labelField = t.N(t.name);
  perGroup.Settings().series = {{t.N(t.qty), ""}};
  perGroup.Settings().labelField = t.N(t.name);
  perGroup.Settings().level = 0;
  Values v;
  auto record = [&](const char* name, double amount, double groupTotal, bool breaks) {
    v.texts[t.N(t.name)] = name;
    v.numbers[t.N(t.amount)] = amount;
    v.numbers[t.N(t.qty)] = groupTotal;  // the finished group's total at the break
    for (CKmChart* c : {&perRecord, &perGroup}) {
      c->FeedLevel(kChartLevelRecord, false, v);
      if (breaks) c->FeedLevel(0, false, v);
    }
  };
  record("A", 1, 0, true);  // the first record breaks every level: nothing yet
  record("A", 2, 0, false);
  EXPECT_EQ(perGroup.CategoryCount(), 0u);
  record("B", 5, 3, true);  // group A ends with total 3
  ChartArrays a;
  ASSERT_TRUE(perRecord.BuildChartArrays(&a));
  EXPECT_EQ(a.values, (std::vector<double>{1, 2})) << "B's first record is not in A's chart";
  perRecord.ClearDrawnValues();  // A's footer drew it
  ASSERT_TRUE(perGroup.BuildChartArrays(&a));
  EXPECT_EQ(a.categoryLabels, (std::vector<std::string>{"A"}));
  EXPECT_EQ(a.values, (std::vector<double>{3}));
  v.numbers[t.N(t.qty)] = 5;
  for (CKmChart* c : {&perRecord, &perGroup})
    for (int level = kChartLevelRecord; level >= 0; --level) c->FeedLevel(level, true, v);
  ASSERT_TRUE(perRecord.BuildChartArrays(&a));
  EXPECT_EQ(a.values, (std::vector<double>{5}));
  EXPECT_EQ(a.seriesLabels, (std::vector<std::string>{"AMOUNT"}));
  ASSERT_TRUE(perGroup.BuildChartArrays(&a));
  EXPECT_EQ(a.categoryLabels, (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(a.values, (std::vector<double>{3, 5}));
  perGroup.ResetSeries();
  EXPECT_FALSE(perGroup.BuildChartArrays(&a));
}

TEST(ChartRules, ColoursTicksSampleDataAndFaces) {
  EXPECT_EQ(ChartColourNumbers(5, 9), (std::vector<int>{127, 119, 111, 103, 95, 87, 79, 71, 127}));
  EXPECT_EQ(ChartColourNumbers(1, 3), (std::vector<int>{32, 48, 64}));
  EXPECT_EQ(ChartColourNumbers(4, 2), (std::vector<int>{32, 40}));
  EXPECT_EQ(ChartColourNumbers(99, 1), ChartColourNumbers(4, 1));
  EXPECT_EQ(ChartAxisTicks(0, 250), 5);
  EXPECT_EQ(ChartAxisTicks(0, 770), 7);
  EXPECT_EQ(ChartAxisTicks(0, 3e12), 10) << "a span too large for a count gets the library's spacing";
  EXPECT_EQ(ChartAxisTicks(5, 5), 1);
  ChartArrays pie = ChartSampleData(1, 1, 0, true);
  EXPECT_EQ(pie.categoryCount, 1);
  EXPECT_EQ(pie.values, (std::vector<double>{5, 10, 15, 20}));
  EXPECT_EQ(pie.seriesLabels, (std::vector<std::string>{"A", "B", "C", "D"}));
  ChartArrays bars = ChartSampleData(3, 1, 2, true);
  ASSERT_EQ(bars.values.size(), 4u);
  EXPECT_DOUBLE_EQ(bars.values[0], 300 / 1.8);
  EXPECT_EQ(ChartSampleData(6, 1, 2, true).categoryCount, 0) << "a plain line chart draws without samples";
  EXPECT_EQ(ChartFontFace("Times New Roman", ""), "Times New Roman");
  EXPECT_EQ(ChartFontFace("", ""), "Arial");
}

TEST(ChartRender, EveryKindDrawsIntoAPictureOfTheItemsSize) {
  UiStartApplication();
  ChartModel t;
  for (int type : {1, 2, 3, 4, 6, 8, 13, 14}) {
    CKmChart c = FullChart(t);
    c.Settings().type = static_cast<uint16_t>(type);
    c.Settings().orientation = type == 3 ? 1 : 0;
    HENHMETAFILE pic = RenderChartMetafile(c, 240, 120, nullptr);
    ASSERT_NE(pic, nullptr) << type;
    RECT frame{};
    ASSERT_TRUE(GetEnhMetaFileFrame(pic, &frame));
    EXPECT_EQ(frame.right - frame.left, 240);
    EXPECT_EQ(frame.bottom - frame.top, 120);
    DeleteEnhMetaFile(pic);
  }
  // Collected values, the user-defined range and an image file.
  CKmChart c = FullChart(t);
  ChartArrays a;
  a.categoryCount = 2;
  a.seriesCount = 2;
  a.values = {1, 2, 3, 4};
  a.categoryLabels = {"x", "y"};
  a.seriesLabels = {"s", "t"};
  const std::string path = ::testing::TempDir() + "chart_render.png";
  EXPECT_TRUE(RenderChartToImageFile(c, 200, 100, &a, path.c_str()));
  EXPECT_EQ(std::remove(path.c_str()), 0);
  EXPECT_FALSE(RenderChartToImageFile(c, 0, 100, &a, path.c_str()));
}

}  // namespace

namespace {

TEST(ChartRender, TheDesignViewDrawsTheItemOnceAndKeepsThePicture) {
  UiStartApplication();
  ChartModel t;
  ChartTableEntry e;
  e.head.left = 10, e.head.top = 20, e.head.right = 209, e.head.bottom = 119;
  EXPECT_FALSE(DrawChartItem(e, nullptr, RECT{0, 0, 200, 100}));
  e.chart.reset(std::make_unique<CKmChart>(FullChart(t)));
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 200, 100);
  SelectObject(dc, bitmap);
  EXPECT_TRUE(DrawChartItem(e, dc, RECT{0, 0, 200, 100}));
  HENHMETAFILE first = e.metafileCache.Newest();
  EXPECT_TRUE(DrawChartItem(e, dc, RECT{0, 0, 200, 100}));
  EXPECT_EQ(e.metafileCache.Newest(), first) << "drawn once, played again";
  // A duplicated entry has its own chart object and starts from the same picture.
  ChartTableEntry copy = e;
  EXPECT_NE(ChartOf(copy), ChartOf(e));
  EXPECT_EQ(copy.metafileCache.Newest(), first);
  // Resized (by its handles, or an Undo): the same picture, played into the
  // new rectangle; one kept.
  e.head.right = 309;
  EXPECT_TRUE(DrawChartItem(e, dc, RECT{0, 0, 300, 100}));
  EXPECT_EQ(e.metafileCache.Newest(), first);
  EXPECT_EQ(e.metafileCache.Count(), 1u);
  DeleteDC(dc);
  DeleteObject(bitmap);
  ReleaseDC(nullptr, screen);
}

}  // namespace

namespace {

// The chart's title ground takes its colour code as the screen does: the
// system's window colour for 15, the table's colour for the others.
TEST(ChartRender, TitleGroundFollowsTheSystemColours) {
  UiStartApplication();
  EXPECT_EQ(ColorFromCode(15), GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(ColorFromCode(kNoColour), GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(ColorFromCode(0), GetSysColor(COLOR_WINDOWTEXT));
  EXPECT_EQ(ColorFromCode(9), ColorTableValue(9));
}

}  // namespace
