// Damaged and hostile index files: the engine answers with an error or a
// shorter walk, never reads outside its buffers and never goes round.
#include "tests/data/xbindex/index_fixtures.h"

#include "foundation/byte_order.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <random>

using namespace xbtest;

namespace {

uint32_t GetBE32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) | (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

std::string Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void Save(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

struct Target {
  const char* file;
  const char* tag;
  uint32_t keyType;
};

// One file of each layout (kind 7's tag file is damaged beside its directory).
const Target kTargets[] = {
    {"chars0.ndx", nullptr, 0},  {"chars.ntx", nullptr, 0},  {"chars2.idx", nullptr, 0},
    {"multi.mdx", "AMOUNT", 0},  {"chars4.ix", nullptr, 0},  {"nums5.idx", nullptr, 'N'},
    {"multi.cdx", "NAME", 0},    {"BOOKS.W00", nullptr, 0},  {"multi.nsx", "NAME", 0},
    {"multi.nsx", "NAMEDESC", 0}, {"multi.cdx", "NAMEDESC", 0}, {"multi.mdx", "NAME", 0},
};

// Opens, walks both ways, seeks; the counts bound every loop, so a walk
// that does not end fails the test instead of hanging it.
int Exercise(CKmComposite* m, const std::string& path, const char* tag, uint32_t keyType, std::mt19937* rng) {
  IndexCursor* c = nullptr;
  if (OpenIndex(m, path.c_str(), &c, tag)) return -1;
  if (keyType != 0) c->keyType = keyType;
  BeginIndexUse(m, &c, 1);
  uint8_t key[kIndexKeyBuffer];
  uint32_t record = 0;
  int steps = 0;
  while (NextKey(m, c, key, &record) == kIndexKeyFound && steps < 5000) ++steps;
  EXPECT_LT(steps, 5000) << path << ": the walk went round";
  for (int i = 0; i < 20 && PreviousKey(m, c, key, &record) == kIndexKeyFound; ++i) {
  }
  uint8_t search[kIndexKeyBuffer] = {};
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 16; ++j) search[j] = static_cast<uint8_t>((*rng)() % 96 + 32);
    if (SeekKey(m, c, search, &record) == kIndexFailed) continue;
    GetCurrentKey(m, c, key, &record);
    for (int j = 0; j < 5; ++j) NextKey(m, c, key, &record);
    for (int j = 0; j < 5; ++j) PreviousKey(m, c, key, &record);
  }
  EndIndexUse(m, &c, 1);
  CloseIndex(m, c);
  return steps;
}

TEST(XBaseIndexDamage, MutatedFilesNeverCrashOrLoop) {
  std::mt19937 rng(20261207);
  CKmComposite model(nullptr);
  int opened = 0;
  for (int round = 0; round < 3000; ++round) {
    const Target& t = kTargets[round % (sizeof kTargets / sizeof kTargets[0])];
    std::string bytes = Load(FixtureDir() + "/" + t.file);
    ASSERT_FALSE(bytes.empty()) << t.file;
    const int mutations = 1 + static_cast<int>(rng() % 6);
    for (int k = 0; k < mutations; ++k) {
      const size_t at = rng() % bytes.size();
      switch (rng() % 5) {
        case 0:
          bytes[at] = static_cast<char>(rng());
          break;
        case 1: {  // a word that is a count, an offset or a page number elsewhere
          static const uint32_t kWords[] = {0, 1, 2, 0xFFFF, 0xFFFFFFFFu, 512, 1024, 0x7FFFFFFF, 0x10000};
          if (at + 4 <= bytes.size()) PutU32(reinterpret_cast<uint8_t*>(&bytes[at & ~size_t{3}]), kWords[rng() % 9]);
          break;
        }
        case 2:  // a page that links to the first pages (the root or the header)
          if (at + 4 <= bytes.size()) PutU32(reinterpret_cast<uint8_t*>(&bytes[at & ~size_t{3}]), rng() % 3 * 512);
          break;
        case 3:
          bytes.resize(at + 1);
          break;
        default:  // the header's key length and counts
          bytes[rng() % std::min<size_t>(bytes.size(), 64)] = static_cast<char>(rng() % 4 == 0 ? 0xFF : rng());
          break;
      }
    }
    // Kind 7 reaches its damaged tag file through its directory.
    const bool tagFile = std::strcmp(t.file, "BOOKS.W00") == 0;
    const std::string dir = FixtureDir() + "/fuzz";
    if (round == 0) xbtest::Run("mkdir -p '" + dir + "' && cp '" + FixtureDir() + "/books.wdx' '" + dir + "/'");
    const std::string path = tagFile ? dir + "/BOOKS.W00" : dir + "/mutated" + std::strrchr(t.file, '.');
    Save(path, bytes);
    if (Exercise(&model, tagFile ? dir + "/books.wdx" : path, tagFile ? "NAME" : t.tag, t.keyType, &rng) >= 0) ++opened;
  }
  EXPECT_GT(opened, 1000) << "most mutations leave an index that opens and is walked";
}

class XBaseIndexHostile : public testing::Test {
 protected:
  CKmComposite model{nullptr};
  std::string Damaged(const char* file, const std::function<void(std::string&)>& change) {
    std::string bytes = Load(FixtureDir() + "/" + file);
    change(bytes);
    const std::string path = FixtureDir() + "/hostile_" + file;
    Save(path, bytes);
    return path;
  }
  // Walks and answers the last error when the walk failed, else 0.
  int32_t WalkError(const std::string& path, const char* tag = nullptr) {
    int32_t error = -1;
    Walk(&model, path, tag, false, false, 0, &error);
    return error;
  }
};

TEST_F(XBaseIndexHostile, DamagedStructuresGiveTheReadError) {
  // The dBASE layout: header at 0, root page number there, pages of 512 bytes.
  const std::string ndx = Load(FixtureDir() + "/chars0.ndx");
  const uint32_t root = GetU32(reinterpret_cast<const uint8_t*>(ndx.data()));
  // A child pointing back at the root: the path would grow without end.
  std::string p = Damaged("chars0.ndx", [root](std::string& b) {
    PutU32(reinterpret_cast<uint8_t*>(&b[root * 512 + 4]), root);
  });
  EXPECT_EQ(WalkError(p), kIndexErrRead);
  // A key count past the end of the page.
  p = Damaged("chars0.ndx", [root](std::string& b) { PutU16(reinterpret_cast<uint8_t*>(&b[root * 512]), 0x7FFF); });
  EXPECT_EQ(WalkError(p), kIndexErrRead);
  // A child page past the end of the file.
  p = Damaged("chars0.ndx", [root](std::string& b) {
    PutU32(reinterpret_cast<uint8_t*>(&b[root * 512 + 4]), 0x00FFFFFF);
  });
  EXPECT_EQ(WalkError(p), kIndexErrRead);
  // A key longer than the entries the header describes.
  p = Damaged("chars0.ndx", [](std::string& b) { PutU16(reinterpret_cast<uint8_t*>(&b[12]), 40); });
  IndexCursor* c = nullptr;
  EXPECT_TRUE(OpenIndex(&model, p.c_str(), &c, nullptr));
  EXPECT_EQ(IndexLastError(&model), kIndexErrBadIndex);
  // A compound index whose tag walk reaches an interior page, and one whose
  // leaves link in a circle.
  const std::string cdx = Load(FixtureDir() + "/multi.cdx");
  const uint32_t tagRoot = GetU32(reinterpret_cast<const uint8_t*>(cdx.data()));
  p = Damaged("multi.cdx", [tagRoot](std::string& b) {
    const uint32_t leaf = GetBE32(reinterpret_cast<uint8_t*>(&b[tagRoot + 26]));
    PutU32(reinterpret_cast<uint8_t*>(&b[leaf + 8]), tagRoot);  // right sibling: the interior root
  });
  EXPECT_TRUE(OpenIndex(&model, p.c_str(), &c, "NAMEDESC"));
  EXPECT_EQ(IndexLastError(&model), kIndexErrRead) << "a tag-name leaf chain that reaches an interior page";
  p = Damaged("multi.cdx", [tagRoot](std::string& b) {
    const uint32_t leaf = GetBE32(reinterpret_cast<uint8_t*>(&b[tagRoot + 26]));
    PutU32(reinterpret_cast<uint8_t*>(&b[leaf + 8]), leaf);  // right sibling: itself
  });
  EXPECT_TRUE(OpenIndex(&model, p.c_str(), &c, "NAMEDESC"));
  EXPECT_EQ(IndexLastError(&model), kIndexErrRead) << "a tag-name leaf chain in a circle";
  // A compressed leaf whose entry claims more bytes than the key holds.
  p = Damaged("multi.nsx", [](std::string& b) {
    for (size_t at = 1024; at + 1024 <= b.size(); at += 1024)
      if (b[at] == 2) {
        b[at + 6 + 3] = static_cast<char>(200);
        break;
      }
  });
  int32_t error = 0;
  const std::vector<KeyRecord> keys = Walk(&model, p, "NAME", false, false, 0, &error);
  EXPECT_EQ(error, kIndexErrRead);
  EXPECT_LT(keys.size(), Rows().size());
}

}  // namespace
