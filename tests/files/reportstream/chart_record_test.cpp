// Chart records: the chart object's own bytes survive a save and a read
// exactly, whether they are of our form, of a form we do not know, or damaged.
#include "charts/chart.h"
#include "core/fields.h"
#include "report_fixture.h"

#include <gtest/gtest.h>

namespace {

using rs_test::BuildFullReport;
using rs_test::Doc;

std::vector<uint8_t> Own(const ChartTableEntry& e) {
  std::vector<uint8_t> out;
  if (const CKmChart* c = ChartOf(e)) c->Serialize(out);
  return out;
}

// The report of the fixture with its chart holding these bytes, written,
// read back and written again.
void RoundTrip(const std::vector<uint8_t>& bytes, bool foreign, bool damaged, size_t warnings) {
  Doc a;
  BuildFullReport(a);
  a.st.settings.charts.clear();
  auto chart = std::make_unique<CKmChart>(&a.M());
  chart->Load(bytes.data(), bytes.size());
  a.L().charts.At(0)->chart.reset(std::move(chart));
  const std::vector<uint8_t> first = a.Write(StreamMode::Storage);
  Doc b;
  ASSERT_EQ(b.Read(first, StreamMode::Storage), 0);
  ASSERT_EQ(b.L().charts.Count(), 1);
  const CKmChart* read = ChartOf(*b.L().charts.At(0));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->IsForeign(), foreign);
  EXPECT_EQ(read->IsDamaged(), damaged);
  EXPECT_EQ(Own(*b.L().charts.At(0)), bytes);
  EXPECT_EQ(b.hooks.warnings.size(), warnings);
  EXPECT_EQ(rs_test::WithoutTime(b.Write(StreamMode::Storage)), rs_test::WithoutTime(first));
}

TEST(ChartRecords, OwnForeignAndDamagedChartBytesComeBackByteForByte) {
  Doc t;
  CKmChart ours(&t.M());
  ours.Settings().titles[0] = "Totals";
  ours.Settings().series = {{0, "First"}};
  std::vector<uint8_t> bytes;
  ours.Serialize(bytes);
  RoundTrip(bytes, false, false, 0);
  // Another program's chart data: kept, no message.
  RoundTrip({0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1, 0, 0, 0, 7, 0xFF}, true, false, 0);
  // Our form cut short: kept as it came, said once.
  std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 5);
  RoundTrip(cut, false, true, 1);
}

// A print or preview marks the fields a chart draws (0x10000 of the second
// flag word, wider than a member keeps): a library member is still written,
// without the mark, and the chart comes back; a report file keeps the word whole.
TEST(ChartRecords, TheRunsChartMarkNeitherRefusesNorEntersALibraryMember) {
  Doc a;
  BuildFullReport(a);
  FieldDef* f = a.M().fieldList;
  ASSERT_NE(f, nullptr);
  f->flags2 |= kField2UsedByChart | kField2UsedByFilter;
  int result = -1;
  const std::vector<uint8_t> member = a.Write(StreamMode::Library, &result);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(a.hooks.errors, std::vector<std::string>{});
  Doc b;
  ASSERT_EQ(b.Read(member, StreamMode::Library), 0);
  EXPECT_EQ(b.L().charts.Count(), 1);
  ASSERT_NE(b.M().fieldList, nullptr);
  EXPECT_EQ(b.M().fieldList->flags2 & (kField2UsedByChart | kField2UsedByFilter), kField2UsedByFilter);
  Doc c;
  ASSERT_EQ(c.Read(a.Write(StreamMode::Storage), StreamMode::Storage), 0);
  EXPECT_EQ(c.M().fieldList->flags2 & kField2UsedByChart, kField2UsedByChart);
}

}  // namespace
