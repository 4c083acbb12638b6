// The xBase index engine over files of all nine layouts: walks in both
// directions, seeks of every key and of missing ones, compared with the
// independent libraries' reading of the same files where they read them.
#include "tests/data/xbindex/index_fixtures.h"

#include "data/block_io.h"
#include "foundation/byte_order.h"
#include "platform/win/fileio.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cstdint>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <set>

using namespace xbtest;

namespace {

std::string Path(const char* name) { return FixtureDir() + "/" + name; }

std::string Padded(const std::string& s, size_t n) {
  std::string out = s.substr(0, n);
  out.resize(n, ' ');
  return out;
}

// The names in index order, as the engine delivers them.
std::vector<Row> FirstRows(size_t limit) {
  std::vector<Row> rows = Rows();
  if (rows.size() > limit) rows.resize(limit);
  return rows;
}

std::vector<KeyRecord> ExpectedNames(size_t limit = SIZE_MAX) {
  std::vector<Row> rows = FirstRows(limit);
  std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
    const std::string pa = Padded(a.name, 10), pb = Padded(b.name, 10);
    return pa != pb ? pa < pb : a.record < b.record;
  });
  std::vector<KeyRecord> out;
  for (const Row& r : rows) out.push_back(KeyRecord{OemToAnsi(r.name), 0, r.record});
  return out;
}

std::vector<KeyRecord> ExpectedNumbers(double (*form)(double), size_t limit = SIZE_MAX) {
  std::vector<Row> rows = FirstRows(limit);
  std::stable_sort(rows.begin(), rows.end(), [form](const Row& a, const Row& b) {
    return form(a.amount) != form(b.amount) ? form(a.amount) < form(b.amount) : a.record < b.record;
  });
  std::vector<KeyRecord> out;
  for (const Row& r : rows) out.push_back(KeyRecord{"", form(r.amount), r.record});
  return out;
}

double Same(double v) { return v; }
double Truncated(double v) { return std::trunc(v); }

std::vector<std::string> KeysOnly(const std::vector<KeyRecord>& v) {
  std::vector<std::string> out;
  for (const KeyRecord& k : v) out.push_back(k.text);
  return out;
}

class XBaseIndex : public testing::Test {
 protected:
  CKmComposite model{nullptr};

  // Every distinct key is found with one of its records; a key between two
  // stored ones stops on the greater; one past the last finds nothing.
  void CheckSeeks(const std::string& path, const char* tag, const std::vector<KeyRecord>& expected, bool numeric,
                  uint32_t keyType = 0) {
    IndexCursor* c = nullptr;
    ASSERT_FALSE(OpenIndex(&model, path.c_str(), &c, tag)) << path << " error " << IndexLastError(&model);
    if (keyType != 0) c->keyType = keyType;
    BeginIndexUse(&model, &c, 1);
    const bool descending = c->descending != 0;
    std::map<std::string, std::set<uint32_t>> byText;
    std::map<double, std::set<uint32_t>> byNumber;
    for (const KeyRecord& k : expected) {
      if (numeric) byNumber[k.number].insert(k.record);
      else byText[k.text].insert(k.record);
    }
    uint8_t key[kIndexKeyBuffer];
    uint32_t record = 0;
    if (numeric) {
      for (const auto& [value, records] : byNumber) {
        uint8_t search[8];
        PutF64(search, value);
        ASSERT_EQ(SeekKey(&model, c, search, &record), kIndexKeyFound) << path << " " << value;
        EXPECT_TRUE(records.count(record)) << path << " " << value << " record " << record;
        ASSERT_EQ(GetCurrentKey(&model, c, key, &record), kIndexKeyFound);
        EXPECT_EQ(GetF64(key), value);
      }
    } else {
      for (const auto& [text, records] : byText) {
        const std::string search = Padded(text, static_cast<size_t>(c->keyLength));
        ASSERT_EQ(SeekKey(&model, c, search.c_str(), &record), kIndexKeyFound) << path << " [" << text << "]";
        EXPECT_TRUE(records.count(record)) << path << " [" << text << "] record " << record;
      }
      // Missing keys: between two stored ones, and past the end of the order.
      const std::string between = Padded("BRAVO5X", static_cast<size_t>(c->keyLength));
      // Where the seek stops: the neighbour of the missing key in index order.
      const bool none = descending ? byText.lower_bound("BRAVO5X") == byText.begin() : byText.upper_bound("BRAVO5X") == byText.end();
      const int r = SeekKey(&model, c, between.c_str(), &record);
      EXPECT_EQ(r, none ? kIndexNoKey : kIndexGreater) << path;
      if (!none) {
        ASSERT_EQ(GetCurrentKey(&model, c, key, &record), kIndexKeyFound) << path;
        const std::string found = TrimRight(std::string(reinterpret_cast<char*>(key), static_cast<size_t>(c->keyLength)));
        auto next = descending ? std::prev(byText.lower_bound("BRAVO5X")) : byText.upper_bound("BRAVO5X");
        EXPECT_EQ(found, next->first) << path;
      }
      const std::string beyond = Padded(descending ? "" : "\xff\xff", static_cast<size_t>(c->keyLength));
      EXPECT_EQ(SeekKey(&model, c, beyond.c_str(), &record), kIndexNoKey) << path << ": nothing beyond the last key";
    }
    EndIndexUse(&model, &c, 1);
    CloseIndex(&model, c);
  }

  void CheckNames(const char* file, const char* tag, bool descending = false) {
    std::vector<KeyRecord> expected = ExpectedNames();
    if (descending) {
      // Descending order keeps equal keys' records ascending only where the
      // layout stores them so; compare keys, and records as sets.
      std::reverse(expected.begin(), expected.end());
    }
    const std::vector<KeyRecord> forward = Walk(&model, Path(file), tag, false, false);
    const std::vector<KeyRecord> backward = Walk(&model, Path(file), tag, false, true);
    ASSERT_EQ(forward.size(), expected.size()) << file << " " << (tag ? tag : "");
    EXPECT_EQ(KeysOnly(forward), KeysOnly(expected)) << file;
    if (!descending) {
      EXPECT_EQ(forward, expected) << file;
    }
    std::vector<KeyRecord> reversed(backward.rbegin(), backward.rend());
    EXPECT_EQ(reversed, forward) << file << ": stepping backward meets every key of the forward walk";
    CheckSeeks(Path(file), tag, expected, false);
  }

  void CheckNumbers(const char* file, const char* tag, double (*form)(double), uint32_t keyType = 0,
                    size_t limit = SIZE_MAX) {
    const std::vector<KeyRecord> expected = ExpectedNumbers(form, limit);
    const std::vector<KeyRecord> forward = Walk(&model, Path(file), tag, true, false, keyType);
    EXPECT_EQ(forward, expected) << file << " " << (tag ? tag : "");
    const std::vector<KeyRecord> backward = Walk(&model, Path(file), tag, true, true, keyType);
    EXPECT_EQ(std::vector<KeyRecord>(backward.rbegin(), backward.rend()), forward) << file;
    CheckSeeks(Path(file), tag, expected, true, keyType);
  }
};

// Files written by libxbase64 (single dBASE indexes) and by Perl's XBase
// (uncompressed single indexes), read by the engine and by Perl.
TEST_F(XBaseIndex, IndependentWritersFilesMatchTheirLibrariesReading) {
  if (!HavePerlXBase()) GTEST_SKIP() << "Perl's XBase module is not installed";
  for (const char* file : {"name.idx", "name.ndx"}) {
    const bool fromPerl = std::string(file) == "name.idx";
    if (!fromPerl && !HaveXBaseWriter()) continue;
    const size_t rows = fromPerl ? kPerlIndexRows : kLibIndexRows;
    const std::vector<KeyRecord> ours = Walk(&model, Path(file), nullptr, false, false);
    const std::vector<KeyRecord> perl = PerlDump(Path(file), nullptr);
    ASSERT_EQ(ours.size(), ExpectedNames(rows).size()) << file;
    EXPECT_EQ(ours, perl) << file << ": the same keys and records in the same order";
    EXPECT_EQ(KeysOnly(ours), KeysOnly(ExpectedNames(rows))) << file;
    CheckSeeks(Path(file), nullptr, ours, false);
  }
  // Numbers: the FoxBASE double form and the dBASE double.
  CheckNumbers("amt.idx", nullptr, Same, 'N', kPerlIndexRows);
  if (HaveXBaseWriter()) {
    const std::vector<KeyRecord> ours = Walk(&model, Path("amt.ndx"), nullptr, true, false);
    const std::vector<KeyRecord> expected = ExpectedNumbers(Same, kLibIndexRows);
    ASSERT_EQ(ours.size(), expected.size());
    for (size_t i = 0; i < ours.size(); ++i) EXPECT_EQ(ours[i].number, expected[i].number) << i;
    CheckSeeks(Path("amt.ndx"), nullptr, expected, true);
  }
}

// The layouts no installed library writes, built from their byte layouts;
// Perl reads some of them too and must agree.
TEST_F(XBaseIndex, EveryLayoutWalksAndSeeksInOrder) {
  CheckNames("chars0.ndx", nullptr);               // kind 0
  CheckNames("books.wdx", "NAME");                 // kind 7
  CheckNames("chars.ntx", nullptr);                // kind 1
  CheckNames("desc.ntx", nullptr, true);           // kind 1, descending
  CheckNames("chars2.idx", nullptr);               // kind 2
  CheckNames("multi.mdx", "NAME");                 // kind 3
  CheckNames("chars4.ix", nullptr);                // kind 4, characters
  CheckNames("chars5.idx", nullptr);               // kind 5
  CheckNames("multi.cdx", "name");                 // kind 6 (tags ignore case)
  CheckNames("multi.cdx", "NAMEDESC", true);       // kind 6, descending
  CheckNames("multi.nsx", "NAME");                 // kind 8
  CheckNames("multi.nsx", "NAMEDESC", true);       // kind 8, descending
  CheckNumbers("nums0.ndx", nullptr, Same);        // kind 0 doubles
  CheckNumbers("books.wdx", "AMOUNT", Same);       // kind 7 doubles
  CheckNumbers("nums2.idx", nullptr, Same, 'N');   // kind 2 doubles
  CheckNumbers("multi.mdx", "AMOUNT", Same);       // kind 3 packed decimals
  CheckNumbers("ints4.ix", nullptr, Truncated);    // kind 4 integers
  CheckNumbers("nums5.idx", nullptr, Same, 'N');   // kind 5 doubles
  CheckNumbers("ints5.idx", nullptr, Truncated, 'N');  // kind 5 4-byte integers
  CheckNumbers("multi.cdx", "AMOUNT", Same, 'N');  // kind 6 doubles
  CheckNumbers("multi.nsx", "AMOUNT", Same);       // kind 8 doubles
  if (HaveXBaseWriter()) {                         // kind 7 over libxbase64's files
    EXPECT_EQ(KeysOnly(Walk(&model, Path("orders.wdx"), "NAME", false, false)), KeysOnly(ExpectedNames(kLibIndexRows)));
    CheckSeeks(Path("orders.wdx"), "NAME", ExpectedNames(kLibIndexRows), false);
    const std::vector<KeyRecord> amounts = Walk(&model, Path("orders.wdx"), "amount", true, false);
    EXPECT_EQ(amounts.size(), kLibIndexRows);
  }
  if (HavePerlXBase()) {
    EXPECT_EQ(Walk(&model, Path("chars0.ndx"), nullptr, false, false), PerlDump(Path("chars0.ndx"), nullptr));
    EXPECT_EQ(Walk(&model, Path("chars.ntx"), nullptr, false, false), PerlDump(Path("chars.ntx"), nullptr));
    EXPECT_EQ(Walk(&model, Path("multi.mdx"), "NAME", false, false), PerlDump(Path("multi.mdx"), "NAME"));
    EXPECT_EQ(Walk(&model, Path("multi.cdx"), "NAME", false, false), PerlDump(Path("multi.cdx"), "NAME"));
  }
}

TEST_F(XBaseIndex, KeyFormsAndCursorEnds) {
  uint8_t k[12];
  const uint8_t zero[12] = {0x34, 0x01};
  const uint8_t minusOne[12] = {0x35, 0x81, 0x10};
  const uint8_t v12345[12] = {0x37, 0x01, 0x12, 0x34, 0x50};
  EXPECT_EQ(PackNumericKey(0.0, k), 0);
  EXPECT_EQ(0, std::memcmp(k, zero, 12));
  EXPECT_EQ(PackNumericKey(-1.0, k), 0);
  EXPECT_EQ(0, std::memcmp(k, minusOne, 12));
  EXPECT_EQ(PackNumericKey(123.45, k), 0);
  EXPECT_EQ(0, std::memcmp(k, v12345, 12));
  double v = 0;
  UnpackNumericKey(k, &v);
  EXPECT_DOUBLE_EQ(v, 123.45);
  EXPECT_EQ(PackNumericKey(DBL_MAX, k), 0);
  EXPECT_EQ(GetU16(k), 0x03FF);
  EXPECT_EQ(k[11], 0x99);
  EXPECT_EQ(PackNumericKey(1e-320, k), 1) << "an exponent below the packed range";

  // Kind 1 numbers as text: a negative number is searched in its complemented form.
  IndexCursor* c = nullptr;
  ASSERT_FALSE(OpenIndex(&model, Path("nums.ntx").c_str(), &c, nullptr));
  c->keyType = 'N';
  BeginIndexUse(&model, &c, 1);
  const std::vector<Row>& rows = Rows();
  const Row* negative = nullptr;
  for (const Row& r : rows)
    if (r.amount < -10) negative = &r;
  ASSERT_NE(negative, nullptr);
  char text[16];
  std::snprintf(text, sizeof text, "-%09.2f", -negative->amount);
  uint32_t record = 0;
  ASSERT_EQ(SeekKey(&model, c, text, &record), kIndexKeyFound) << text;
  uint8_t key[kIndexKeyBuffer];
  ASSERT_EQ(GetCurrentKey(&model, c, key, &record), kIndexKeyFound);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(key), 10), text) << "read back as it was sought";
  EndIndexUse(&model, &c, 1);
  CloseIndex(&model, c);

  // A 4-byte integer key never matches 5.5 exactly: the seek stops on the next greater.
  ASSERT_FALSE(OpenIndex(&model, Path("ints5.idx").c_str(), &c, nullptr));
  c->keyType = 'N';
  BeginIndexUse(&model, &c, 1);
  uint8_t search[8];
  PutF64(search, 5.5);
  EXPECT_EQ(SeekKey(&model, c, search, &record), kIndexGreater);
  ASSERT_EQ(GetCurrentKey(&model, c, key, &record), kIndexKeyFound);
  EXPECT_GT(GetF64(key), 5.5);
  // The ends: past the last key, and before the first.
  while (NextKey(&model, c, key, &record) == kIndexKeyFound) {
  }
  EXPECT_EQ(NextKey(&model, c, key, &record), kIndexPastEnd);
  EXPECT_EQ(GetCurrentKey(&model, c, key, &record), kIndexPastEnd);
  PutF64(search, -1e9);
  EXPECT_EQ(SeekKey(&model, c, search, &record), kIndexGreater);
  EXPECT_EQ(PreviousKey(&model, c, key, &record), kIndexBeforeFirst);
  // Beyond the integer range a value is the smallest or the largest key:
  // it sorts before every key or after them all, not among them.
  ASSERT_EQ(NextKey(&model, c, key, &record), kIndexKeyFound);
  const double first = GetF64(key);
  PutF64(search, -3e9);
  EXPECT_EQ(SeekKey(&model, c, search, &record), kIndexGreater);
  ASSERT_EQ(GetCurrentKey(&model, c, key, &record), kIndexKeyFound);
  EXPECT_EQ(GetF64(key), first);
  PutF64(search, 3e9);
  EXPECT_EQ(SeekKey(&model, c, search, &record), kIndexNoKey) << "nothing is not less than it";
  EndIndexUse(&model, &c, 1);
  CloseIndex(&model, c);
}

void CopyWithLength(const std::string& from, const std::string& to, long delta) {
  std::ifstream in(from, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  bytes.resize(static_cast<size_t>(static_cast<long>(bytes.size()) + delta), '\0');
  std::ofstream(to, std::ios::binary) << bytes;
}

// Ten indexes share the twenty page buffers: two each, so deeper levels
// take over their parents' buffers or read into the shared page, and two
// walks taking turns must still each see every key in order.
TEST_F(XBaseIndex, IndexesSharingThePagePoolWalkInTurns) {
  std::vector<IndexCursor*> open;
  for (const char* file : {"chars.ntx", "multi.nsx", "chars0.ndx", "chars5.idx", "chars2.idx", "chars4.ix", "chars.ntx",
                           "chars.ntx", "chars.ntx", "chars.ntx"}) {
    IndexCursor* c = nullptr;
    ASSERT_FALSE(OpenIndex(&model, Path(file).c_str(), &c, "NAME")) << file;
    open.push_back(c);
  }
  ASSERT_TRUE(BeginIndexUse(&model, open.data(), static_cast<int>(open.size())));
  const std::vector<std::string> expected = KeysOnly(ExpectedNames());
  std::vector<std::vector<std::string>> seen(open.size());
  uint8_t key[kIndexKeyBuffer];
  uint32_t record = 0;
  for (size_t step = 0; step < expected.size(); ++step)
    for (size_t i = 0; i < open.size(); ++i) {
      ASSERT_EQ(NextKey(&model, open[i], key, &record), kIndexKeyFound) << i << " at " << step;
      seen[i].push_back(TrimRight(std::string(reinterpret_cast<char*>(key), static_cast<size_t>(open[i]->keyLength))));
    }
  for (size_t i = 0; i < open.size(); ++i) {
    EXPECT_EQ(seen[i], expected) << i;
    EXPECT_EQ(NextKey(&model, open[i], key, &record), kIndexPastEnd) << i;
  }
  EndIndexUse(&model, open.data(), static_cast<int>(open.size()));
  for (IndexCursor* c : open) CloseIndex(&model, c);
}

TEST(BlockInput, AReadAtTheEndOfAFileReturnsTheShorterCount) {
  const std::string path = FixtureDir() + "/ten.bin";
  std::ofstream(path, std::ios::binary) << "0123456789";
  const int file = OpenExistingFile(path, kFileRead);
  ASSERT_GE(file, 0);
  char buffer[100];
  EXPECT_EQ(zread(file, buffer, sizeof buffer), 10);
  EXPECT_EQ(zread(file, buffer, sizeof buffer), 0);
  CloseFileHandle(file);

  // Whole blocks by number; a block the file ends inside is not read.
  const std::string blocks = FixtureDir() + "/blocks.bin";
  std::string bytes(kBlockSize * 2 + 100, 'a');
  std::fill(bytes.begin() + kBlockSize, bytes.begin() + 2 * kBlockSize, 'b');
  std::ofstream(blocks, std::ios::binary) << bytes;
  const int f = OpenExistingFile(blocks, kFileRead);
  ASSERT_GE(f, 0);
  char block[kBlockSize];
  EXPECT_EQ(ReadBlock(f, 1, block), 0);
  EXPECT_EQ(std::string(block, kBlockSize), std::string(kBlockSize, 'b'));
  EXPECT_EQ(ReadBlock(f, 2, block), 1);
  EXPECT_EQ(ReadBlock(f, 9, block), 1);
  CloseFileHandle(f);
}

TEST_F(XBaseIndex, OpeningChecksTagsLengthsAndSlots) {
  IndexCursor* c = nullptr;
  EXPECT_TRUE(OpenIndex(&model, Path("multi.cdx").c_str(), &c, ""));
  EXPECT_EQ(IndexLastError(&model), kIndexErrTag) << "a compound index needs a tag name";
  EXPECT_TRUE(OpenIndex(&model, Path("multi.nsx").c_str(), &c, "NOSUCH"));
  EXPECT_EQ(IndexLastError(&model), kIndexErrTag);
  EXPECT_TRUE(OpenIndex(&model, Path("missing.ntx").c_str(), &c, nullptr));
  EXPECT_EQ(IndexLastError(&model), kIndexErrOpen);
  // One byte past whole pages is an end-of-file mark; two bytes is not an index.
  CopyWithLength(Path("chars2.idx"), Path("plus1.idx"), 1);
  CopyWithLength(Path("chars2.idx"), Path("plus2.idx"), 2);
  ASSERT_FALSE(OpenIndex(&model, Path("plus1.idx").c_str(), &c, nullptr));
  CloseIndex(&model, c);
  EXPECT_TRUE(OpenIndex(&model, Path("plus2.idx").c_str(), &c, nullptr));
  EXPECT_EQ(IndexLastError(&model), kIndexErrBadIndex);
  // A hundred indexes may be open at once; the next one is refused.
  std::vector<IndexCursor*> open;
  for (int i = 0; i < kIndexSlots; ++i) {
    IndexCursor* one = nullptr;
    ASSERT_FALSE(OpenIndex(&model, Path("chars5.idx").c_str(), &one, nullptr)) << i;
    open.push_back(one);
  }
  EXPECT_TRUE(OpenIndex(&model, Path("chars5.idx").c_str(), &c, nullptr));
  EXPECT_EQ(IndexLastError(&model), kIndexErrNoSlot);
  BeginIndexUse(&model, open.data(), static_cast<int>(open.size()));
  uint32_t record = 0;
  uint8_t key[kIndexKeyBuffer];
  EXPECT_EQ(NextKey(&model, open[99], key, &record), kIndexKeyFound) << "the others stay usable";
  EndIndexUse(&model, open.data(), static_cast<int>(open.size()));
  for (IndexCursor* one : open) CloseIndex(&model, one);
}

}  // namespace
