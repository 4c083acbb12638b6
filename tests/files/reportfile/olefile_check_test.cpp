// A report file as another program sees it: an independent compound-file
// reader lists its streams and reads the summary properties.
#include "reportfile_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>

using namespace rftest;

namespace {

const char kScript[] = R"PY(
import sys, olefile
ole = olefile.OleFileIO(sys.argv[1])
print('streams=' + ','.join(sorted('/'.join(e) for e in ole.listdir())))
p = ole.getproperties('\x05SummaryInformation', convert_time=True)
print('ids=' + ','.join(str(k) for k in sorted(p)))
for k in (2, 3, 4, 5, 6, 8, 9, 18):
    print('%d=%s' % (k, p[k].decode('cp1252')))
import calendar
for k in (12, 13):
    print('%d=%d' % (k, calendar.timegm(p[k].utctimetuple())))
)PY";

std::string RunChecker(const std::string& file) {
  const std::string script = FreshPath("check.py");
  FILE* s = std::fopen(script.c_str(), "w");
  if (s == nullptr) return {};
  std::fputs(kScript, s);
  std::fclose(s);
  const std::string cmd = "/usr/bin/python3 " + script + " " + file + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return {};
  std::string out;
  char buf[512];
  while (std::fgets(buf, sizeof buf, p)) out += buf;
  pclose(p);
  return out;
}

std::string Field(const std::string& out, const std::string& key) {
  const std::string k = "\n" + key + "=";
  const size_t at = ("\n" + out).find(k);
  if (at == std::string::npos) return "<none>";
  const size_t start = at + k.size() - 1;
  return out.substr(start, out.find('\n', start) - start);
}

TEST(OlefileCheck, StreamsAndSummaryPropertiesAsSet) {
  if (std::system("/usr/bin/python3 -c 'import olefile' >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "python3-olefile is not installed";
  Report a;
  CKmRepIO& io = a.io;
  io.ResetProperties();
  io.m_summary.m_strTitle = "Sales by region";
  io.m_summary.m_strSubject = "Quarterly";
  io.m_summary.m_strAuthor = "Bo";
  io.m_summary.m_strKeywords = "north, south";
  io.m_summary.m_strComments = "Draft \xE9t\xE9";
  const std::string path = FreshPath("olefile.kmw");
  const long long before = static_cast<long long>(std::time(nullptr));
  ASSERT_EQ(io.SaveReportFile(path.c_str()), 0);
  const std::string first = RunChecker(path);

  EXPECT_EQ(Field(first, "streams"), "\x05SummaryInformation,Contents") << first;
  EXPECT_EQ(Field(first, "ids"), "2,3,4,5,6,8,9,12,13,18");
  EXPECT_EQ(Field(first, "2"), "Sales by region");
  EXPECT_EQ(Field(first, "3"), "Quarterly");
  EXPECT_EQ(Field(first, "4"), "Bo");
  EXPECT_EQ(Field(first, "5"), "north, south");
  EXPECT_EQ(Field(first, "6"), "Draft \xC3\xA9t\xC3\xA9");
  EXPECT_EQ(Field(first, "8"), "Ann Owner");
  EXPECT_EQ(Field(first, "9"), "1");
  EXPECT_EQ(Field(first, "18"), "K&M");
  const long long saved = std::atoll(Field(first, "13").c_str());
  EXPECT_GE(saved, before - 2);
  EXPECT_LE(saved, static_cast<long long>(std::time(nullptr)) + 2);
  EXPECT_EQ(Field(first, "12"), Field(first, "13"));

  // Saved again a little later: the creation time stays.
  sleep(1);
  Report b(false);
  // A stored name may differ in case from the disk's.
  ASSERT_EQ(b.io.OpenReportFile((ScratchDir() + "/OLEFILE.KMW").c_str()), 0);
  ASSERT_EQ(b.io.SaveReportFile(path.c_str()), 0);
  const std::string second = RunChecker(path);
  EXPECT_EQ(Field(second, "12"), Field(first, "12"));
  EXPECT_NE(Field(second, "13"), Field(first, "13"));
  EXPECT_EQ(Field(second, "9"), "2");
  EXPECT_EQ(Field(second, "2"), "Sales by region");
}

}  // namespace
