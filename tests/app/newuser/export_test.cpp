// File > Export as a new user runs it: a long text column goes whole into a
// delimited file, and a memo field stays out of an xBase table. The files
// are read back by Python's csv module and by dbfread.
#include "tests/app/newuser/newuser_fixture.h"

#include "export/export_library.h"

#include <fstream>

namespace newuser_test {
namespace {

constexpr UINT kCmdExport = 30060;

// A text of 11,000 characters in a TEXT column: the instant report over
// its table, exported as comma-separated values, gives it back whole.
TEST_F(NewUserTest, ALongTextColumnGoesWholeIntoADelimitedExport) {
  int status = -1;
  Capture("sqlite3 '" + dir_ + "/sample.db' \"DROP TABLE IF EXISTS notes; CREATE TABLE notes(id INTEGER, body TEXT); "
          "INSERT INTO notes VALUES (1, 'S' || hex(zeroblob(5499)) || 'E'); INSERT INTO notes VALUES (2, 'short');\" 2>&1",
          &status);
  ASSERT_EQ(status, 0);
  ASSERT_TRUE(Start({"/NVortelleSample", "/Inotes"}));
  ASSERT_TRUE(doc->m_bReportOpen);
  const std::string csv = dir_ + "/notes.csv";
  fs::remove(csv);
  ExportAs(answers, kExportDataFile, csv);
  Command(kCmdExport);
  ASSERT_TRUE(fs::exists(csv)) << (messages.empty() ? std::string() : messages[0]);
  const std::string lengths = Capture(
      "/usr/bin/python3 -c \"import csv,sys;rows=list(csv.reader(open(sys.argv[1],encoding='cp1252',newline='')));"
      "print(' '.join(str(len(c)) for r in rows for c in r))\" '" + csv + "' 2>&1");
  EXPECT_NE(lengths.find("11000"), std::string::npos) << lengths;
  EXPECT_NE(lengths.find(" 5"), std::string::npos) << lengths;
}

// A memo field (a text file's section) placed beside a number: the xBase
// export takes the number only.
TEST_F(NewUserTest, AMemoFieldStaysOutOfAnXbaseExport) {
  std::ofstream(dir_ + "/greeting.txt", std::ios::binary) << ".GREETING\r\n{Dear \\company\\,}\r\n";
  const std::string script = dir_ + "/memo.txt";
  std::ofstream(script, std::ios::binary)
      << "[Report]\r\nMasterTable=order_lines\r\nDataSource=VortelleSample\r\nReportName=Memo\r\n"
      << "TextFile=" << dir_ << "/greeting.txt\r\n"
      << "[Record]\r\nNumField=order_id,F,0,0,,6,0\r\nCharField=GREETING,F,1,3,,40\r\n";
  ASSERT_TRUE(Start({"/S" + script}));
  ASSERT_TRUE(doc->m_bReportOpen);
  const std::string dbf = dir_ + "/memo.dbf";
  fs::remove(dbf);
  ExportAs(answers, kExportXbase, dbf);
  Command(kCmdExport);
  ASSERT_TRUE(fs::exists(dbf)) << (messages.empty() ? std::string() : messages[0]);
  const std::string fields = Capture(
      "/usr/bin/python3 -c \"import dbfread,sys;t=dbfread.DBF(sys.argv[1],encoding='cp1252',load=True);"
      "print([f.type for f in t.fields], len(t.records))\" '" + dbf + "' 2>&1");
  EXPECT_EQ(fields, "['N'] 10\n");
}

}  // namespace
}  // namespace newuser_test
