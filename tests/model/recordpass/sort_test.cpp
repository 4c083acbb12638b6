#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "expr/collation.h"
#include "model/external_sort.h"
#include "core/engine_errors.h"
#include "pass_fixture.h"

namespace {

// Records from memory: a text and a number key, null when asked.
struct Source {
  std::vector<std::string> text;
  std::vector<double> number;
  std::vector<bool> textNull;
  size_t next = 0;
  size_t current = 0;
  std::vector<uint32_t> out;
  int cancelAfter = -1;
  int cancelChecks = 0;
  void (*afterRuns)(SortContext&) = nullptr;
};

int Next(SortContext& ctx) {
  Source* s = static_cast<Source*>(ctx.user);
  if (s->next >= s->text.size()) return kEngineEndOfData;
  s->current = s->next++;
  return 0;
}

int Key(SortContext& ctx, uint8_t* area, uint32_t room) {
  Source* s = static_cast<Source*>(ctx.user);
  if (room < ctx.keyOffset) return 1;
  uint32_t pos = ctx.keyOffset;
  const std::string& t = s->text[s->current];
  uint8_t tag = kSortKeyPresent | (s->textNull.empty() || !s->textNull[s->current] ? 0 : kSortKeyNull);
  uint32_t n = PutTextKey(area + pos, room - pos, tag, t.data(), t.size(), 183);
  if (n == 0) return 1;
  pos += n;
  if (ctx.keyCount > 1) {
    const double v = s->number[s->current];
    n = PutNumberKey(area + pos, room - pos, kSortKeyPresent | (IsNullNumber(v) ? kSortKeyNull : 0), v);
    if (n == 0) return 1;
    pos += n;
  }
  PutU32(area, pos);
  PutU32(area + 8, static_cast<uint32_t>(s->current));
  ctx.longest = std::max(ctx.longest, pos);
  return 0;
}

int Output(SortContext& ctx, WorkFile& file, const uint8_t* record) {
  static_cast<Source*>(ctx.user)->out.push_back(GetU32(record + 8));
  if (file.IsOpen()) return file.Write(record + 8, 4) ? 0 : 1;
  return 0;
}

Source* g_sorting = nullptr;  // the source of the sort running now

// The user's answer to whether the sort goes on.
int Cancel(CKmComposite*) {
  Source* s = g_sorting;
  ++s->cancelChecks;
  return s->cancelAfter >= 0 && s->cancelChecks > s->cancelAfter;
}

void End(SortContext& ctx) {
  Source* s = static_cast<Source*>(ctx.user);
  if (s->afterRuns) s->afterRuns(ctx);
}

class SortTest : public PassTest {
 protected:
  int Run(Source& s, int keys, const uint32_t* asc, uint32_t pool, std::string* name) {
    text.flags = 0;
    number.flags = kFieldNumeric;
    FieldDef* list[3] = {&text, keys > 1 ? &number : nullptr, nullptr};
    ctx.user = &s;
    ctx.poolSize = pool;
    g_sorting = &s;
    GetRecordPassHooks().cancelled = Cancel;
    const int r = RunExternalSort(ctx, list, asc, name, nullptr, End, Next, Output, Key, 1, "SO#", 3);
    GetRecordPassHooks().cancelled = nullptr;
    return r;
  }
  FieldDef text, number;
  SortContext ctx;

 public:
  FieldDef* Text() { return &text; }
  FieldDef* Number() { return &number; }
};

// Text ascending folding case, number descending; equal keys in read order.
std::vector<uint32_t> Expected(const Source& s, bool numberDescending) {
  std::vector<uint32_t> idx(s.text.size());
  for (uint32_t i = 0; i < idx.size(); ++i) idx[i] = i;
  std::stable_sort(idx.begin(), idx.end(), [&](uint32_t a, uint32_t b) {
    int c = CompareNoCase(s.text[a].c_str(), s.text[b].c_str());
    if (c != 0) return c < 0;
    if (numberDescending) return s.number[a] > s.number[b];
    return false;
  });
  return idx;
}

Source RandomSource(size_t n, unsigned seed) {
  Source s;
  std::mt19937 rng(seed);
  for (size_t i = 0; i < n; ++i) {
    std::string t(1 + rng() % 3, 'a');
    for (char& c : t) c = static_cast<char>((rng() % 2 ? 'a' : 'A') + rng() % 4);
    s.text.push_back(t);
    s.number.push_back(static_cast<double>(rng() % 7));
  }
  return s;
}

TEST_F(SortTest, ManyRunsMergeInStepsStablyAndLeaveOnlyTheOutput) {
  Source s = RandomSource(6000, 7);
  const uint32_t asc[2] = {1, 0};
  std::string name;
  ASSERT_EQ(Run(s, 2, asc, 10000, &name), 0);
  EXPECT_GT(ctx.runsWritten, 20u);  // more runs than one merge step takes
  EXPECT_GE(ctx.mergeSteps, 2u);
  EXPECT_EQ(s.out, Expected(s, true));
  EXPECT_EQ(ReadPositions(name), s.out);
  EXPECT_NE(name.find("KMW"), std::string::npos);
  EXPECT_EQ(name.substr(name.size() - 4), ".SO#");
  std::vector<std::string> left = LeftoverWorkFiles();
  ASSERT_EQ(left.size(), 1u);  // the output stays for its reader
  RemoveWorkFile(name);
  EXPECT_TRUE(LeftoverWorkFiles().empty());
}

TEST_F(SortTest, EverythingInThePoolOrNothingAtAll) {
  Source s = RandomSource(300, 3);
  const uint32_t asc[2] = {1, 0};
  std::string name;
  ASSERT_EQ(Run(s, 2, asc, 0, &name), 0);  // 0: the default pool
  EXPECT_EQ(ctx.runsWritten, 0u);
  EXPECT_EQ(ctx.lastRun, -1);
  EXPECT_EQ(s.out, Expected(s, true));
  RemoveWorkFile(name);

  Source empty;
  ASSERT_EQ(Run(empty, 1, asc, 0, &name), 0);
  EXPECT_TRUE(empty.out.empty());
  WorkFile f;
  ASSERT_TRUE(f.OpenRead(name));  // an empty output file exists
  f.Close();
  RemoveWorkFile(name);
  EXPECT_TRUE(LeftoverWorkFiles().empty());
}

TEST_F(SortTest, PoolTooSmallForOneLongKeyStillFinishes) {
  Source s;
  for (int i = 0; i < 60; ++i) {
    s.text.push_back(std::string(1200, static_cast<char>('z' - i % 26)));  // cut to 1,000
    s.number.push_back(0);
  }
  const uint32_t asc[1] = {1};
  std::string name;
  ASSERT_EQ(Run(s, 1, asc, 1000, &name), 0);
  EXPECT_GT(ctx.runsWritten, 2u);
  EXPECT_EQ(s.out, Expected(s, false));
  RemoveWorkFile(name);
  EXPECT_TRUE(LeftoverWorkFiles().empty());
}

TEST_F(SortTest, NullOrders) {
  Source s;
  s.text = {"b", "", "a", ""};
  s.textNull = {false, true, false, true};
  s.number = {0, 0, 0, 0};
  const uint32_t desc[1] = {0};
  const uint32_t asc[1] = {1};
  ctx.nullOrder = 2;  // always first, also descending
  ASSERT_EQ(Run(s, 1, desc, 0, nullptr), 0);
  EXPECT_EQ(s.out, (std::vector<uint32_t>{1, 3, 0, 2}));
  s.out.clear(), s.next = 0;
  ctx.nullOrder = 0;  // lowest: last when descending
  ASSERT_EQ(Run(s, 1, desc, 0, nullptr), 0);
  EXPECT_EQ(s.out, (std::vector<uint32_t>{0, 2, 1, 3}));
  s.out.clear(), s.next = 0;
  ctx.nullOrder = 3;
  ASSERT_EQ(Run(s, 1, asc, 0, nullptr), 0);
  EXPECT_EQ(s.out, (std::vector<uint32_t>{2, 0, 1, 3}));

  // Null numbers count as zero unless told otherwise.
  Source n;
  n.text = {"x", "x", "x"};
  n.number = {-1, GetNullNumber(), 1};
  const uint32_t both[2] = {1, 1};
  ctx.nullOrder = 1;
  ASSERT_EQ(Run(n, 2, both, 0, nullptr), 0);
  EXPECT_EQ(n.out, (std::vector<uint32_t>{0, 1, 2}));
  n.out.clear(), n.next = 0;
  ctx.nullNumbersAsZero = 0;
  ASSERT_EQ(Run(n, 2, both, 0, nullptr), 0);
  EXPECT_EQ(n.out, (std::vector<uint32_t>{0, 2, 1}));
}

TEST_F(SortTest, CancelOrDamagedRunFailsWithoutLeftovers) {
  Source s = RandomSource(3000, 11);
  s.cancelAfter = 2;
  const uint32_t asc[2] = {1, 1};
  std::string name;
  EXPECT_EQ(Run(s, 2, asc, 10000, &name), 1);
  EXPECT_TRUE(LeftoverWorkFiles().empty());

  // A run whose first length word points past any record is refused.
  Source d = RandomSource(3000, 12);
  d.afterRuns = [](SortContext&) {
    WorkFile f;
    ASSERT_TRUE(f.Create(MakeSortRunName(0)));
    const uint8_t bad[4] = {0xFF, 0xFF, 0, 0};
    f.Write(bad, 4);
    f.Close();
  };
  EXPECT_EQ(Run(d, 2, asc, 10000, &name), 1);
  EXPECT_TRUE(LeftoverWorkFiles().empty());

  // A truncated run (a length but not the record) likewise.
  Source t = RandomSource(3000, 13);
  t.afterRuns = [](SortContext&) {
    WorkFile f;
    ASSERT_TRUE(f.Create(MakeSortRunName(1)));
    const uint8_t cut[6] = {40, 0, 0, 0, 1, 0};
    f.Write(cut, 6);
    f.Close();
  };
  EXPECT_EQ(Run(t, 2, asc, 10000, &name), 1);
  EXPECT_TRUE(LeftoverWorkFiles().empty());
}

TEST_F(SortTest, DateKeysCompareWithoutOverflowAndPatternsSymmetric) {
  SortContext c;
  c.keyCount = 1;
  c.keyKinds[0] = kSortKeyDate;
  c.ascending[0] = 1;
  auto rec = [](uint32_t seq, uint32_t day) {
    std::vector<uint8_t> r(17);
    PutU32(r.data() + 4, seq);
    PutDateKey(r.data() + 12, 5, kSortKeyPresent, day);
    PutU32(r.data(), 17);
    return r;
  };
  // A large positive day against a negative one: a subtraction would wrap.
  auto hi = rec(0, 0x7FFFFFF0u), lo = rec(1, 0x800001F0u);
  EXPECT_EQ(CompareSortRecords(c, lo.data(), hi.data()), 1);
  EXPECT_EQ(CompareSortRecords(c, hi.data(), lo.data()), 0);
  // A pattern is equal to any date from either side: arrival decides.
  auto pattern = rec(5, 0x87E0FEFEu), day = rec(6, 1000);
  EXPECT_EQ(CompareSortRecords(c, pattern.data(), day.data()), 1);
  EXPECT_EQ(CompareSortRecords(c, day.data(), pattern.data()), 0);
}

// Texts that read the same in the code page sort by what their '?' stood
// for (a text's own '?' first), and the next key decides between equals,
// through runs kept in files as through the pool.
struct LostRow {
  const char* text;
  const char* lost;  // FieldDef::lostChars
  double number;
};
const LostRow kLostRows[] = {{"?mega", "\xD0\x94", 1}, {"?mega", "\xCE\xA9", 2}, {"?mega", "", 3},
                             {"Amega", "", 4},          {"?mega", "\xCE\xA9", 5}, {"?mega?", "\xCE\xA9?", 6}};
SortTest* g_lostTest = nullptr;

int LostKey(SortContext& ctx, uint8_t* area, uint32_t room) {
  Source* s = static_cast<Source*>(ctx.user);
  const LostRow& row = kLostRows[s->current % std::size(kLostRows)];
  FieldDef* fields[3] = {g_lostTest->Text(), g_lostTest->Number(), nullptr};
  std::snprintf(reinterpret_cast<char*>(fields[0]->value), 16, "%s", row.text);
  fields[0]->lostChars = row.lost;
  const double v = row.number;
  std::memcpy(fields[1]->value, &v, 8);
  const uint32_t end = BuildFieldKeys(ctx, fields, area, room);
  if (end == 0) return 1;
  PutU32(area, end);
  PutU32(area + 8, static_cast<uint32_t>(s->current));
  ctx.longest = std::max(ctx.longest, end);
  return 0;
}

TEST_F(SortTest, TextsThatLostLettersToTheCodePageSortByThem) {
  uint8_t textValue[16] = {}, numberValue[16] = {};
  text.value = textValue;
  text.width = 15;
  number.value = numberValue;
  number.flags = kFieldNumeric;
  ctx.model = &model;
  g_lostTest = this;
  for (size_t rows : {std::size(kLostRows), size_t{600}}) {
    Source s;
    s.text.resize(rows);
    FieldDef* list[3] = {&text, &number, nullptr};
    const uint32_t asc[2] = {1, 0};
    ctx.user = &s;
    ctx.poolSize = rows > 100 ? 10000 : 524288;
    std::string name;
    ASSERT_EQ(RunExternalSort(ctx, list, asc, &name, nullptr, nullptr, Next, Output, LostKey, 1, "SO#", 3), 0);
    RemoveWorkFile(name);
    std::vector<std::string> got;
    for (uint32_t i : s.out) got.push_back(std::to_string(kLostRows[i % std::size(kLostRows)].number));
    got.erase(std::unique(got.begin(), got.end()), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"3.000000", "5.000000", "2.000000", "1.000000", "6.000000", "4.000000"}))
        << rows << " rows";
  }
  text.value = number.value = nullptr;
}

TEST_F(SortTest, TextKeysDropPadsTrailingBlanksAndPastAThousand) {
  uint8_t buf[1100];
  const std::string t = "ab\xB7 c \xB7 ";
  ASSERT_EQ(PutTextKey(buf, sizeof buf, 0x80, t.data(), t.size(), 0xB7), 7u);
  EXPECT_STREQ(reinterpret_cast<char*>(buf + 1), "ab  c");
  std::string longText(1500, 'q');
  EXPECT_EQ(PutTextKey(buf, sizeof buf, 0x80, longText.data(), longText.size(), 0xB7), 1002u);
  EXPECT_EQ(PutTextKey(buf, 1001, 0x80, longText.data(), longText.size(), 0xB7), 0u);  // no room
}

}  // namespace
