#include "data/query_desc.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> Inverted(const std::string& plain) {
  std::vector<unsigned char> v(plain.begin(), plain.end());
  for (auto& c : v) c = static_cast<unsigned char>(~c);
  return v;
}

QueryDesc Sample() {
  QueryDesc d;
  d.name = "N";
  d.dataSource = "D";
  d.connect = "C";
  d.query = "select 1";
  return d;
}

}  // namespace

TEST(QueryDesc, PacksByteForByteAndRoundTrips) {
  QueryDesc d = Sample();
  ASSERT_EQ(d.GetPackedSize(), 47);
  std::vector<unsigned char> buf(47, 0xEE);
  ASSERT_TRUE(d.Pack(buf.data(), buf.size()));
  std::string plain = std::string("NAME=N") + '\0' + "DATA_SOURCE=D" + '\0' + "CONNECT=C" + '\0' +
                      "QUERY=select 1" + '\0' + '\0';
  EXPECT_EQ(buf, Inverted(plain));

  QueryDesc back;
  EXPECT_TRUE(back.Parse(buf.data(), buf.size()));
  EXPECT_EQ(back.name, "N");
  EXPECT_EQ(back.dataSource, "D");
  EXPECT_EQ(back.connect, "C");
  EXPECT_EQ(back.query, "select 1");

  std::vector<unsigned char> small(46);
  EXPECT_FALSE(d.Pack(small.data(), small.size()));
  d.query.clear();
  EXPECT_EQ(d.GetPackedSize(), 0);
  EXPECT_FALSE(d.Pack(buf.data(), buf.size()));
}

TEST(QueryDesc, ParsesAnyOrderLaterItemsWinAndSkipsUnknown) {
  std::string plain = std::string("QUERY=q1") + '\0' + "X=1" + '\0' + "CONNECT=c" + '\0' + "NAME=n" + '\0' +
                      "DATA_SOURCE=d" + '\0' + "QUERY=q2" + '\0' + '\0';
  auto buf = Inverted(plain);
  QueryDesc d;
  EXPECT_TRUE(d.Parse(buf.data(), buf.size()));
  EXPECT_EQ(d.query, "q2");
  EXPECT_EQ(d.name, "n");
}

TEST(QueryDesc, HostileFormsNeitherOverreadNorPass) {
  // No CONNECT item: incomplete.
  std::string plain = std::string("NAME=n") + '\0' + "DATA_SOURCE=d" + '\0' + "QUERY=q" + '\0' + '\0';
  auto buf = Inverted(plain);
  QueryDesc d;
  EXPECT_FALSE(d.Parse(buf.data(), buf.size()));

  // No final NUL at all: the last item ends with the block, read exactly to its end.
  std::string open = std::string("NAME=n") + '\0' + "DATA_SOURCE=d" + '\0' + "CONNECT=c" + '\0' + "QUERY=qq";
  auto heap = Inverted(open);
  std::vector<unsigned char> exact(heap.begin(), heap.end());
  EXPECT_TRUE(d.Parse(exact.data(), exact.size()));
  EXPECT_EQ(d.query, "qq");

  // Truncated in the middle of a keyword, and an empty block.
  auto cut = Inverted(std::string("NAME=n") + '\0' + "DATA_SOU");
  EXPECT_FALSE(d.Parse(cut.data(), cut.size()));
  EXPECT_FALSE(d.Parse(nullptr, 10));
  unsigned char one = 0xFF;
  EXPECT_FALSE(d.Parse(&one, 0));
}

TEST(QueryDesc, FromDropTextReadsAFile) {
  QueryDesc d = Sample();
  std::vector<unsigned char> buf(d.GetPackedSize());
  ASSERT_TRUE(d.Pack(buf.data(), buf.size()));
  std::string path = testing::TempDir() + "/q.kwq";
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(buf.data(), 1, buf.size() - 20, f);  // a truncated file first
  std::fclose(f);
  QueryDesc r;
  EXPECT_FALSE(r.FromDropText(path.c_str()));
  f = std::fopen(path.c_str(), "wb");
  std::fwrite(buf.data(), 1, buf.size(), f);
  std::fclose(f);
  EXPECT_TRUE(r.FromDropText(path.c_str()));
  EXPECT_EQ(r.query, "select 1");
  EXPECT_FALSE(r.FromDropText((path + ".missing").c_str()));
  std::remove(path.c_str());
}
