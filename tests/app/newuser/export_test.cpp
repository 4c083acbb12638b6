// File > Export as a new user runs it: a long text column goes whole into a
// delimited file, a memo field stays out of an xBase table, and a Word Merge
// File has the field names line exactly when the Report Specification says
// so. The files are read back by Python's csv module and by dbfread.
#include "tests/app/newuser/newuser_fixture.h"

#include "export/export_library.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace newuser_test {
namespace {

constexpr UINT kCmdExport = 30060, kCmdPrint = 30030;

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

// A Word Merge File's field names line is its own choice in the export's
// options, and the file and the Report Specification agree on it: without
// the names line the file starts with the first record and the printout
// says "Not included on first line"; with it, the names and "On first line".
TEST_F(NewUserTest, AWordMergeFileAndTheReportSpecificationAgreeOnTheNamesLine) {
  const std::string report = dir_ + "/merge.kmw";
  fs::copy_file(dir_ + "/sales.kmw", report, fs::copy_options::overwrite_existing);
  ASSERT_TRUE(Start({report}));
  const std::string merge = dir_ + "/merge.csv";
  std::string contents[2];
  int rows[2] = {0, 0};
  for (bool names : {false, true}) {
    SCOPED_TRACE(names ? "with the names line" : "without the names line");
    bool offered = false;
    ExportAs(answers, kExportWordMerge, merge, true);
    answers.On("Export Options", [&](HWND o) {
      constexpr int kNamesLine = 247;
      offered = IsWindowEnabled(GetDlgItem(o, kNamesLine)) != FALSE;
      CheckDlgButton(o, kNamesLine, names ? BST_CHECKED : BST_UNCHECKED);
      Press(o, IDOK);
    });
    fs::remove(merge);
    Command(kCmdExport);
    EXPECT_TRUE(offered) << "the names line can be chosen";
    ASSERT_TRUE(fs::exists(merge)) << (messages.empty() ? std::string() : messages[0]);
    std::ifstream in(merge, std::ios::binary);
    contents[names] = std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    // Python's csv module reads the rows: one per record, and the names.
    rows[names] = std::atoi(Capture("/usr/bin/python3 -c \"import csv,sys;"
                                    "print(len(list(csv.reader(open(sys.argv[1],encoding='cp1252',newline='')))))\" '" +
                                    merge + "' 2>&1").c_str());

    GetPrintRunContext().printWhat = 2;  // the Report Specification
    const std::string spec = PrintedBy(kCmdPrint, names ? "spec-names" : "spec-no-names");
    GetPrintRunContext().printWhat = 0;
    const size_t block = spec.find("Export Word Merge File");
    ASSERT_NE(block, std::string::npos) << spec;
    const size_t said = spec.find("Field Names:", block);
    ASSERT_NE(said, std::string::npos) << spec;
    const std::string line = spec.substr(said, spec.find('\n', said) - said);
    EXPECT_EQ(line, names ? "Field Names: On first line" : "Field Names: Not included on first line");
  }
  // The same records, the second file with one line before them.
  EXPECT_GT(rows[0], 3);
  EXPECT_EQ(rows[1], rows[0] + 1);
  const size_t end = contents[1].find("\r\n");
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(contents[1].substr(end + 2), contents[0]) << contents[1].substr(0, end);
  EXPECT_EQ(contents[0].find(contents[1].substr(0, end)), std::string::npos) << "the names line is no record";
}

}  // namespace
}  // namespace newuser_test
