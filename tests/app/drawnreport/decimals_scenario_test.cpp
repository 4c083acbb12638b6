// Floating-point columns as a new user meets them: the instant report over
// a table of REAL prices shows their cents (and sums them) through save,
// reopen and print; and a price shown without decimals is rounded the same
// way in the printed report, the delimited file and the xBase table (read
// back by pdftotext, Python's csv module and dbfread).
#include "tests/app/newuser/newuser_fixture.h"

#include "export/export_library.h"

#include <fstream>
#include <sstream>

namespace newuser_test {
namespace {

constexpr UINT kCmdExport = 30060, kCmdSaveAs = 30020, kCmdClose = 30000, kCmdOpen = 32001, kCmdPrint = 30030;

// The printed line that names the product, blanks squeezed.
std::string LineOf(const std::string& text, const std::string& product) {
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.find(product) == std::string::npos) continue;
    std::string squeezed;
    for (char c : line)
      if (c != ' ' || (!squeezed.empty() && squeezed.back() != ' ')) squeezed += c;
    while (!squeezed.empty() && squeezed.back() == ' ') squeezed.pop_back();
    return squeezed;
  }
  return std::string();
}

TEST_F(NewUserTest, FloatingPointColumnsKeepTheirDecimalsAndEveryOutputRoundsAlike) {
  // The instant report of the products: the prices keep their cents, and
  // the group sum that a number with decimals gets adds them up.
  ASSERT_TRUE(Start({"/NVortelleSample", "/Iproducts"}));
  ASSERT_TRUE(doc->m_bReportOpen);
  const std::string report = dir_ + "/products.kmw";
  fs::remove(report);
  answers.File("Save As", report);
  Command(kCmdSaveAs);
  ASSERT_TRUE(fs::exists(report));
  Command(kCmdClose);
  answers.File("Open Report", report);
  Command(kCmdOpen);
  ASSERT_TRUE(doc->m_bReportOpen);
  const std::string prices = PrintedBy(kCmdPrint, "products");
  EXPECT_EQ(LineOf(prices, "Sleeping bag"), "11 Sleeping bag Camping 79.50") << prices;
  EXPECT_EQ(LineOf(prices, "Wool socks"), "15 Wool socks Clothing 12.50") << prices;
  EXPECT_NE(prices.find("564.20"), std::string::npos) << prices;

  // The prices without decimals (a start file places them so): 79.50 and
  // 12.50 round up alike on paper, in a delimited file and in a dBASE table.
  const std::string script = dir_ + "/whole.txt";
  std::ofstream(script, std::ios::binary)
      << "[Report]\r\nMasterTable=products\r\nDataSource=VortelleSample\r\nReportName=Whole\r\n"
      << "[Record]\r\nCharField=name,F,0,0,,20\r\nNumField=unit_price,F,3,0,,6,0\r\n";
  ASSERT_TRUE(Start({"/S" + script}));
  ASSERT_TRUE(doc->m_bReportOpen) << testing::PrintToString(messages) << testing::PrintToString(boxes.size());
  const std::string whole = PrintedBy(kCmdPrint, "whole");
  EXPECT_EQ(LineOf(whole, "Sleeping bag"), "Sleeping bag 80") << whole;
  EXPECT_EQ(LineOf(whole, "Wool socks"), "Wool socks 13") << whole;
  const std::string csv = dir_ + "/whole.csv", dbf = dir_ + "/whole.dbf";
  fs::remove(csv);
  fs::remove(dbf);
  ExportAs(answers, kExportDataFile, csv);
  Command(kCmdExport);
  ExportAs(answers, kExportXbase, dbf);
  Command(kCmdExport);
  ASSERT_TRUE(fs::exists(csv) && fs::exists(dbf)) << (messages.empty() ? std::string() : messages[0]);
  const std::string delimited = Capture(
      "/usr/bin/python3 -c \"import csv,sys;print([r[-1].strip() for r in csv.reader(open(sys.argv[1],encoding='cp1252'))"
      " if r and r[0].strip() in ('Sleeping bag','Wool socks')])\" '" + csv + "' 2>&1");
  EXPECT_EQ(delimited, "['80', '13']\n");
  const std::string table = Capture(
      "/usr/bin/python3 -c \"import dbfread,sys;v=[list(r.values()) for r in dbfread.DBF(sys.argv[1],encoding='cp1252')];"
      "print([str(r[-1]) for r in v if r[0].strip() in ('Sleeping bag','Wool socks')])\" '" + dbf + "' 2>&1");
  EXPECT_EQ(table, "['80', '13']\n");
}

}  // namespace
}  // namespace newuser_test
