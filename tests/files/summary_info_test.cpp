#include "files/summary_info.h"
#include "platform/ole/compound_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace {

uint32_t U32(const std::vector<uint8_t>& s, size_t at) {
  return s[at] | (s[at + 1] << 8) | (s[at + 2] << 16) | (static_cast<uint32_t>(s[at + 3]) << 24);
}

void Patch32(std::vector<uint8_t>& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Offset of property i's value in the stream.
size_t ValueAt(const std::vector<uint8_t>& s, int i) { return 48 + U32(s, 48 + 12 + 8 * i); }

SummaryProperties Sample() {
  SummaryProperties p;
  p.title = "abc";
  p.subject = "abcd";
  p.author = "Ann";
  p.keywords = "sales";
  p.last_author = "la";
  return p;
}

}  // namespace

TEST(SummaryInfo, LayoutOfTheWrittenStream) {
  SummaryProperties p = Sample();
  std::vector<uint8_t> s = EncodeSummaryInformation(p, 0x01D0000000000000ull);
  ASSERT_GE(s.size(), 136u);
  EXPECT_EQ(s[0], 0xFE);
  EXPECT_EQ(s[1], 0xFF);
  EXPECT_EQ(U32(s, 24), 1u);
  EXPECT_EQ(U32(s, 44), 48u);
  EXPECT_EQ(U32(s, 48), s.size() - 48);
  EXPECT_EQ(U32(s, 52), 10u);
  const uint32_t ids[10] = {2, 3, 4, 5, 6, 8, 9, 12, 13, 18};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(U32(s, 56 + 8 * i), ids[i]);
  EXPECT_EQ(U32(s, 60), 88u);
  EXPECT_EQ(U32(s, ValueAt(s, 0) + 4), 4u);  // "abc": characters and a NUL
  EXPECT_EQ(U32(s, ValueAt(s, 1) + 4), 8u);  // "abcd": padded to the next 4
  EXPECT_EQ(U32(s, ValueAt(s, 4) + 4), 0u);  // empty comments: no bytes
  EXPECT_EQ(ValueAt(s, 5), ValueAt(s, 4) + 8);
  EXPECT_EQ(U32(s, ValueAt(s, 7)), 64u);
  EXPECT_EQ(p.revision, 1u);
  EXPECT_EQ(p.create_time, 0x01D0000000000000ull);
}

TEST(SummaryInfo, RevisionAndCreationTimeCarryAcrossSaves) {
  SummaryProperties first = Sample();
  first.revision = 4;
  std::vector<uint8_t> s = EncodeSummaryInformation(first, 1000);  // revision 5
  SummaryProperties read;
  DecodeSummaryInformation(s, read);
  EXPECT_EQ(read.title, "abc");
  EXPECT_EQ(read.subject, "abcd");
  EXPECT_EQ(read.author, "Ann");
  EXPECT_EQ(read.keywords, "sales");
  EXPECT_EQ(read.revision, 5u);
  EXPECT_EQ(read.create_time, 1000u);
  std::vector<uint8_t> again = EncodeSummaryInformation(read, 2000);
  SummaryProperties second;
  DecodeSummaryInformation(again, second);
  EXPECT_EQ(second.revision, 6u);
  EXPECT_EQ(second.create_time, 1000u);  // kept, not the time of the later save
}

TEST(SummaryInfo, ReadingStopsAtTheFirstFault) {
  SummaryProperties p = Sample();
  std::vector<uint8_t> s = EncodeSummaryInformation(p, 5);
  std::vector<uint8_t> big = s;
  Patch32(big, ValueAt(big, 2) + 4, 1024);  // author's count too large
  SummaryProperties r;
  DecodeSummaryInformation(big, r);
  EXPECT_EQ(r.title, "abc");
  EXPECT_EQ(r.subject, "abcd");
  EXPECT_EQ(r.author, "");
  EXPECT_EQ(r.keywords, "");

  std::vector<uint8_t> many = s;
  Patch32(many, 52, 12);  // more properties than pairs read
  SummaryProperties m;
  DecodeSummaryInformation(many, m);
  EXPECT_EQ(m.keywords, "sales");

  std::vector<uint8_t> far = s;
  Patch32(far, 44, 0xFFFFFFF0u);  // section beyond the stream
  SummaryProperties f;
  DecodeSummaryInformation(far, f);
  EXPECT_EQ(f.title, "");
}

TEST(SummaryInfo, TruncatedAndOverlongInputIsSafe) {
  SummaryProperties p = Sample();
  p.title = std::string(5000, 'T');
  std::vector<uint8_t> s = EncodeSummaryInformation(p, 5);
  SummaryProperties r;
  DecodeSummaryInformation(s, r);
  EXPECT_EQ(r.title, std::string(kSummaryMaxText, 'T'));  // what is written is read back
  for (size_t n = 0; n < s.size(); n += 3) {
    SummaryProperties t;
    DecodeSummaryInformation(std::vector<uint8_t>(s.begin(), s.begin() + static_cast<long>(n)), t);
  }
}

TEST(SummaryInfo, AnIndependentReaderSeesTheProperties) {
  if (access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "no python3";
  if (std::system("/usr/bin/python3 -c 'import olefile' 2>/dev/null") != 0) GTEST_SKIP() << "no olefile";
  SummaryProperties p = Sample();
  p.comments = "notes";
  vt_ole::Storage root;
  root.PutStream(kSummaryStreamName, EncodeSummaryInformation(p, CurrentFileTime()));
  root.PutStream("Contents", {1, 0, 17, 0});
  std::string dir = testing::TempDir();
  std::string path = dir + "/summary.kmw";
  ASSERT_EQ(vt_ole::WriteStorageFile(path, root), vt_ole::StorageError::kNone);
  std::ofstream(dir + "/summary.py") <<
      "import olefile,sys,datetime\n"
      "o=olefile.OleFileIO(sys.argv[1])\n"
      "p=o.getproperties('\\x05SummaryInformation', convert_time=True)\n"
      "assert sorted(p)==[2,3,4,5,6,8,9,12,13,18], sorted(p)\n"
      "assert p[2]==b'abc' and p[3]==b'abcd' and p[4]==b'Ann' and p[5]==b'sales', p\n"
      "assert p[6]==b'notes' and p[9]==b'1' and p[18]==b'K&M', p\n"
      "now=datetime.datetime.utcnow()\n"
      "assert abs((p[13]-now).total_seconds())<300, p[13]\n";
  EXPECT_EQ(std::system(("/usr/bin/python3 " + dir + "/summary.py " + path).c_str()), 0);
}
