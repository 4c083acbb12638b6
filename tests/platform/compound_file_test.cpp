#include "platform/ole/compound_file.h"

#include "tests/support/folder_faults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string TempPath(const char* leaf) {
  std::string dir = testing::TempDir();
  return dir + (dir.back() == '/' ? "" : "/") + leaf;
}

std::vector<uint8_t> Bytes(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7);
  return v;
}

vt_ole::Storage SampleTree() {
  vt_ole::Storage root;
  root.PutStream("Contents", Bytes(9000, 1));  // big-block stream
  root.PutStream("\005SummaryInformation", Bytes(300, 2));  // small-block stream
  root.PutStream("Empty", {});
  root.PutStream("Caf\xE9", Bytes(5, 3));  // a Windows-1252 name
  vt_ole::Storage& item = root.PutStorage("Embedding 1");
  // An object's class: {00000316-0000-0000-C000-000000000046}.
  const uint8_t cls[16] = {0x16, 0x03, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
  std::copy(cls, cls + 16, item.classId);
  item.PutStream("\001Ole", Bytes(20, 4));
  item.PutStorage("Inner").PutStream("Data", Bytes(4097, 5));
  return root;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

void ExpectSameTree(const vt_ole::Storage& a, const vt_ole::Storage& b) {
  EXPECT_TRUE(std::equal(a.classId, a.classId + 16, b.classId)) << a.name;
  ASSERT_EQ(a.streams.size(), b.streams.size());
  for (const auto& s : a.streams) {
    const vt_ole::Stream* t = b.FindStream(s.name);
    ASSERT_NE(t, nullptr) << s.name;
    EXPECT_EQ(s.data, t->data) << s.name;
  }
  ASSERT_EQ(a.storages.size(), b.storages.size());
  for (const auto& s : a.storages) {
    const vt_ole::Storage* t = b.FindStorage(s.name);
    ASSERT_NE(t, nullptr) << s.name;
    ExpectSameTree(s, *t);
  }
}

}  // namespace

TEST(CompoundFile, TreeSurvivesWriteAndRead) {
  std::string path = TempPath("tree.kmw");
  vt_ole::Storage tree = SampleTree();
  ASSERT_EQ(vt_ole::WriteStorageFile(path, tree), vt_ole::StorageError::kNone);
  EXPECT_TRUE(vt_ole::IsStorageFile(path));
  vt_ole::Storage back;
  ASSERT_EQ(vt_ole::ReadStorageFile(path, back), vt_ole::StorageError::kNone);
  ExpectSameTree(tree, back);
  // Names are found ignoring case, as in the file format.
  EXPECT_NE(back.FindStream("CONTENTS"), nullptr);
  // Writing again over the file replaces it whole.
  back.RemoveStream("Empty");
  ASSERT_EQ(vt_ole::WriteStorageFile(path, back), vt_ole::StorageError::kNone);
  vt_ole::Storage again;
  ASSERT_EQ(vt_ole::ReadStorageFile(path, again), vt_ole::StorageError::kNone);
  EXPECT_EQ(again.FindStream("Empty"), nullptr);
  EXPECT_EQ(access((path + ".~new").c_str(), F_OK), -1);
}

TEST(CompoundFile, AnIndependentReaderSeesTheStreams) {
  if (access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "no python3";
  if (std::system("/usr/bin/python3 -c 'import olefile' 2>/dev/null") != 0) GTEST_SKIP() << "no olefile";
  std::string path = TempPath("olefile.kmw");
  ASSERT_EQ(vt_ole::WriteStorageFile(path, SampleTree()), vt_ole::StorageError::kNone);
  std::string script =
      "import olefile,sys\n"
      "o=olefile.OleFileIO(sys.argv[1])\n"
      "names=sorted('/'.join(p) for p in o.listdir())\n"
      "assert 'Contents' in names and '\\x05SummaryInformation' in names, names\n"
      "assert 'Embedding 1/Inner/Data' in names, names\n"
      "d=o.openstream('Contents').read()\n"
      "assert len(d)==9000 and d[1]==(1+7)%256, len(d)\n"
      "assert len(o.openstream(['Embedding 1','Inner','Data']).read())==4097\n"
      "assert o.getclsid('Embedding 1').upper()=='00000316-0000-0000-C000-000000000046', o.getclsid('Embedding 1')\n";
  std::string py = TempPath("check_ole.py");
  std::ofstream(py) << script;
  EXPECT_EQ(std::system(("/usr/bin/python3 " + py + " " + path).c_str()), 0);
}

TEST(CompoundFile, MissingPlainAndDamagedFilesGiveErrors) {
  vt_ole::Storage s;
  std::string msg;
  EXPECT_EQ(vt_ole::ReadStorageFile(TempPath("absent.kmw"), s, &msg), vt_ole::StorageError::kNotFound);
  std::string plain = TempPath("plain.txt");
  WriteFile(plain, {'h', 'e', 'l', 'l', 'o'});
  EXPECT_FALSE(vt_ole::IsStorageFile(plain));
  EXPECT_EQ(vt_ole::ReadStorageFile(plain, s, &msg), vt_ole::StorageError::kNotCompound);
  std::string sig_only = TempPath("sig.kmw");
  WriteFile(sig_only, {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1, 0, 0, 0});
  EXPECT_FALSE(vt_ole::IsStorageFile(sig_only));
  EXPECT_EQ(vt_ole::ReadStorageFile(sig_only, s, &msg), vt_ole::StorageError::kCorrupt);
  EXPECT_FALSE(msg.empty());
}

TEST(CompoundFile, TruncatedAndMutatedFilesNeverCrash) {
  std::string good = TempPath("good.kmw");
  ASSERT_EQ(vt_ole::WriteStorageFile(good, SampleTree()), vt_ole::StorageError::kNone);
  std::vector<uint8_t> bytes = ReadFile(good);
  ASSERT_GT(bytes.size(), 2048u);
  std::string bad = TempPath("bad.kmw");
  for (size_t cut : {size_t{8}, size_t{511}, size_t{512}, size_t{1500}, bytes.size() / 2, bytes.size() - 1}) {
    WriteFile(bad, std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(cut)));
    vt_ole::Storage s;
    vt_ole::ReadStorageFile(bad, s);  // any result but a crash
  }
  std::mt19937 rng(1234);
  for (int round = 0; round < 150; ++round) {
    std::vector<uint8_t> m = bytes;
    for (int k = 0; k < 8; ++k) m[rng() % m.size()] = static_cast<uint8_t>(rng());
    WriteFile(bad, m);
    vt_ole::Storage s;
    if (vt_ole::ReadStorageFile(bad, s) != vt_ole::StorageError::kNone) {
      EXPECT_TRUE(s.streams.empty() && s.storages.empty());
    }
  }
}

TEST(CompoundFile, AFailedSaveLeavesTheOldFile) {
  // A folder that refuses the new file makes the save fail.
  FaultyFolder folder(FaultyFolder::kReadOnly);
  if (!folder.Unavailable().empty()) GTEST_SKIP() << folder.Unavailable();
  std::string path = folder.Path() + "/keep.kmw";
  ASSERT_EQ(vt_ole::WriteStorageFile(path, SampleTree()), vt_ole::StorageError::kNone);
  std::vector<uint8_t> before = ReadFile(path);
  ASSERT_TRUE(folder.Arm());
  vt_ole::Storage other;
  other.PutStream("Contents", Bytes(10, 9));
  EXPECT_NE(vt_ole::WriteStorageFile(path, other), vt_ole::StorageError::kNone);
  EXPECT_EQ(ReadFile(path), before);
}

// Saving keeps what the user had: the link and its target, the mode, a file
// that happens to carry the old temporary name, and the old file on a full disk.
TEST(CompoundFile, SavingKeepsLinkModeAndNeighbours) {
  const std::string target = TempPath("linked_target.kmw");
  const std::string link = TempPath("linked.kmw");
  std::remove(link.c_str());
  ASSERT_EQ(vt_ole::WriteStorageFile(target, SampleTree()), vt_ole::StorageError::kNone);
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  ASSERT_EQ(chmod(target.c_str(), 0600), 0);
  const std::string neighbour = link + ".~new";
  { std::ofstream(neighbour) << "mine"; }

  vt_ole::Storage other;
  other.PutStream("Contents", Bytes(10, 9));
  ASSERT_EQ(vt_ole::WriteStorageFile(link, other), vt_ole::StorageError::kNone);
  struct stat st {};
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays a link";
  vt_ole::Storage back;
  ASSERT_EQ(vt_ole::ReadStorageFile(target, back), vt_ole::StorageError::kNone);
  ASSERT_NE(back.FindStream("Contents"), nullptr);
  EXPECT_EQ(back.FindStream("Contents")->data, Bytes(10, 9)) << "the target has the new report";
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(ReadFile(neighbour), std::vector<uint8_t>({'m', 'i', 'n', 'e'}));
  std::remove(neighbour.c_str());
  std::remove(link.c_str());

  FaultyFolder full(FaultyFolder::kFull, 256 * 1024);
  if (!full.Unavailable().empty()) return;
  const std::string onFull = full.Path() + "/full.kmw";
  ASSERT_EQ(vt_ole::WriteStorageFile(onFull, other), vt_ole::StorageError::kNone);
  const std::vector<uint8_t> small = ReadFile(onFull);
  ASSERT_TRUE(full.Arm());
  EXPECT_NE(vt_ole::WriteStorageFile(onFull, SampleTree()), vt_ole::StorageError::kNone);
  EXPECT_EQ(ReadFile(onFull), small);
}

// A link whose file is not there yet is saved through: the file appears where
// the link points (a relative link from the link's own folder) and the link
// stays. A file with a second hard link keeps both names, each showing the
// new report; a loop of links fails the save and changes nothing.
TEST(CompoundFile, SavingKeepsDanglingLinksAndHardLinks) {
  const std::string dir = TempPath("links_dir");
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir + "/reports");
  const std::string link = dir + "/dangling.kmw";
  ASSERT_EQ(symlink("reports/new.kmw", link.c_str()), 0);
  vt_ole::Storage first;
  first.PutStream("Contents", Bytes(12, 1));
  ASSERT_EQ(vt_ole::WriteStorageFile(link, first), vt_ole::StorageError::kNone);
  struct stat st {};
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays a link";
  vt_ole::Storage back;
  ASSERT_EQ(vt_ole::ReadStorageFile(dir + "/reports/new.kmw", back), vt_ole::StorageError::kNone);
  ASSERT_NE(back.FindStream("Contents"), nullptr);
  EXPECT_EQ(back.FindStream("Contents")->data, Bytes(12, 1));

  const std::string main = dir + "/reports/new.kmw", other = dir + "/other-name.kmw";
  ASSERT_EQ(::link(main.c_str(), other.c_str()), 0);
  vt_ole::Storage second;
  second.PutStream("Contents", Bytes(3000, 2));
  ASSERT_EQ(vt_ole::WriteStorageFile(other, second), vt_ole::StorageError::kNone);
  struct stat a {}, b {};
  ASSERT_EQ(stat(main.c_str(), &a), 0);
  ASSERT_EQ(stat(other.c_str(), &b), 0);
  EXPECT_EQ(a.st_ino, b.st_ino) << "both names are still the one file";
  EXPECT_EQ(a.st_nlink, 2u);
  EXPECT_EQ(ReadFile(main), ReadFile(other));
  vt_ole::Storage again;
  ASSERT_EQ(vt_ole::ReadStorageFile(main, again), vt_ole::StorageError::kNone);
  ASSERT_NE(again.FindStream("Contents"), nullptr);
  EXPECT_EQ(again.FindStream("Contents")->data, Bytes(3000, 2));
  // No temporary file is left beside either name.
  int entries = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
    entries += e.is_regular_file() && !e.is_symlink() ? 1 : 0;
  EXPECT_EQ(entries, 2);

  const std::string loopA = dir + "/a.kmw", loopB = dir + "/b.kmw";
  ASSERT_EQ(symlink("b.kmw", loopA.c_str()), 0);
  ASSERT_EQ(symlink("a.kmw", loopB.c_str()), 0);
  EXPECT_NE(vt_ole::WriteStorageFile(loopA, first), vt_ole::StorageError::kNone);
  ASSERT_EQ(lstat(loopA.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  std::filesystem::remove_all(dir);
}
