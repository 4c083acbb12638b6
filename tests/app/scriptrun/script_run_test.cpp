// Report scripts end to end: start files (/S) whose scripts between them
// use every section, keyword and item kind are built and printed by the
// program unattended (/G), and the PDF shows what each script placed. A
// script with an error ends the run with the error and its line.
#include "tests/app/sample_db_fixture.h"
#include "tests/support/program_run.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using sample_test::Capture;
using sample_test::ProgramPath;

class ScriptRun : public sample_test::SampleDbTest {
 protected:
  // Writes the start file and runs "/G /S<file>"; the exit status.
  int RunScript(const std::string& name, const std::string& script, std::string* output) {
    const std::string path = dir_ + "/" + name + ".kms";
    std::ofstream(path, std::ios::binary) << script;
    int status = -1;
    *output = Capture("cd '" + dir_ + "' && env -u DISPLAY -u WAYLAND_DISPLAY " + program_run::ProgramLeakOptions() +
                          " XDG_RUNTIME_DIR='" + dir_ + "' timeout 120 '" + ProgramPath() + "' /G '/S" + path +
                          "' 2>&1",
                      &status);
    return status;
  }
  std::string Pdf(const std::string& name) {
    return Capture("pdftotext -layout '" + dir_ + "/" + name + ".pdf' - 2>/dev/null");
  }
  static void ExpectAll(const std::string& text, std::initializer_list<const char*> words) {
    for (const char* w : words) EXPECT_NE(text.find(w), std::string::npos) << w << "\n" << text;
  }
};

// Orders by customer: page and record format, sorting and grouping, texts,
// character, numeric and date fields, calculations and totals of every
// type on every band, a point size and a new page for the summary.
TEST_F(ScriptRun, AStartFileScriptBuildsAndPrintsItsReport) {
  const std::string script =
      "; the sample's order lines by customer\r\n"
      "[Report]\r\n"
      "MasterTable=order_lines\r\n"
      "DataSource=VortelleSample\r\n"
      "ReportName=ScriptOrders\r\n"
      "[PageFormat]\r\n"
      "PageSize=0\r\n"
      "TopMargin=0.50\r\nBottomMargin=0.50\r\nLeftMargin=0.60\r\nRightMargin=0.40\r\n"
      "Landscape=F\r\nInterlineSpacing=T\r\nPreviewZoom=2\r\n"
      "[RecordFormat]\r\n"
      "RecordsAcross=1\r\nPrintColsAcross=T\r\nCompressRecordGroup=T\r\nSuppressRecordLines=F\r\n"
      "BeginLineOnSemi=F\r\nHeadFootSummary=T\r\nBreakRecordArea=T\r\n"
      "[Sort]\r\nSortField1=company\r\nSortOrder1=F\r\nSortField2=order_id\r\n"
      "[Group]\r\nGroupField1=company\r\n"
      "[Title]\r\nPointSize=14\r\nTextField=\"Orders by customer, from a script\",F,0,0,B\r\n"
      "[PageHeader]\r\nPointSize=0\r\n"
      "TextField=\"Order\",F,0.4,0,B\r\nTextField=\"Date\",F,1.2,0,B\r\nTextField=\"Product\",F,2.4,0,B\r\n"
      "TextField=\"Amount\",F,5.0,2,B\r\n"
      "[GroupHeader1]\r\nCharField=company,F,0,0,B,30\r\nCharField=country,F,+0.5,0,I,20\r\n"
      "[Record]\r\n"
      "NumField=order_id,F,0.4,0,,6,0\r\n"
      "DateField=order_date,F,1.2,0,,2\r\n"
      "CharField=product,F,2.4,0,,14\r\n"
      "NumField=quantity,F,3.9,2,,4,0\r\n"
      "NumField=amount,F,4.5,2,,8,2\r\n"
      "CalcNum=Doubled,F,5.6,2,,8,2,,\"amount * 2\"\r\n"
      "CalcChar=Shout,F,6.8,0,,14,\"UPPER(product)\"\r\n"
      "[GroupFooter1]\r\n"
      "TextField=\"Customer total\",F,2.4,0,B\r\n"
      "CalcNum=CustTotal,F,4.5,2,B,8,2,,1,amount,1,E,T\r\n"
      "CalcNum=CustLines,F,3.9,2,,4,0,,0,amount,1,E,T\r\n"
      "[Summary]\r\n"
      "NewPage=T\r\n"
      "[Summary]\r\n"
      "TextField=\"Grand total\",F,2.4,0,B\r\n"
      "CalcNum=GrandTotal,F,4.5,2,B,8,2,,1,amount,G,E,T\r\n"
      "CalcDate=LastOrder,F,0.4,0,,2,4,order_date,G,E,T\r\n"
      "CalcChar=FirstProduct,F,1.6,0,,14,3,product,G,E,T\r\n"
      "[PageFooter]\r\nTextField=\"Printed from a report script\",F,0,0,I\r\n"
      "[Actions]\r\nMenu=FilePrint\r\n";
  std::string output;
  ASSERT_EQ(RunScript("orders", script, &output), 0) << output;
  const std::string text = Pdf("ScriptOrders");
  ExpectAll(text, {"Orders by customer, from a script", "Order", "Product", "Amount", "Alder & Sons",
                   "Norway", "Canvas tent", "CANVAS TENT", "1001", "12-Jan", "756.00", "Customer total",
                   "858.75", "Grand total", "5962.15", "06-Apr", "Camp stove", "Printed from a report script"});
  // Grouped in name order, each customer once, its total after its lines.
  EXPECT_LT(text.find("Alder & Sons"), text.find("Brightwater Ltd"));
  EXPECT_EQ(text.find("Alder & Sons", text.find("Alder & Sons") + 1), std::string::npos);
  EXPECT_LT(text.find("858.75"), text.find("Brightwater Ltd"));
  // The summary starts a page of its own.
  const size_t grand = text.find("Grand total");
  ASSERT_NE(grand, std::string::npos);
  EXPECT_NE(text.rfind('\f', grand), std::string::npos);
}

// A label stock named by the script arranges the records as the stock
// says: two labels across and two down, so two records share a line.
TEST_F(ScriptRun, ALabelStockArrangesTheRecords) {
  std::ofstream(dir_ + "/kmlabels.ini") << "[Labels]\nBig2=Big labels, L, 4.5, 3.5, 2, 2, 0.5, 0.25, 4, 5\n";
  const std::string script =
      "[Report]\r\nMasterTable=order_lines\r\nDataSource=VortelleSample\r\nReportName=ScriptLabels\r\n"
      "[RecordFormat]\r\nPrintColsAcross=F\r\nAveryLabel=Big2\r\n"
      "[Record]\r\nNumField=order_id,F,0,0,,6,0\r\n"
      "[Actions]\r\nMenu=FilePrint\r\n";
  std::string output;
  ASSERT_EQ(RunScript("labels", script, &output), 0) << output;
  const std::string text = Pdf("ScriptLabels");
  std::istringstream lines(text);
  int shared = 0;
  for (std::string line; std::getline(lines, line);) {
    size_t first = line.find("10"), second = first == std::string::npos ? first : line.find("10", first + 4);
    if (second != std::string::npos) ++shared;
  }
  EXPECT_GT(shared, 0) << "no line holds two labels\n" << text;
  // An unknown stock stops the script at its line.
  const std::string unknown = "[Report]\r\nMasterTable=order_lines\r\nDataSource=VortelleSample\r\n"
                              "[RecordFormat]\r\nAveryLabel=NoSuchStock\r\n";
  EXPECT_NE(RunScript("nostock", unknown, &output), 0);
  EXPECT_NE(output.find("Script line: 5"), std::string::npos) << output;
}

// Date-time and time columns and their totals, in landscape on legal paper,
// the report's lines placed relative to each other.
TEST_F(ScriptRun, DateTimeAndTimeItemsPrint) {
  int status = -1;
  Capture("sqlite3 '" + dir_ + "/sample.db' \"create table visits (guest varchar(20), arrived timestamp, "
          "at_time time, nights integer); insert into visits values ('Ines Moll', '1998-05-04 10:15:00', "
          "'10:15:00', 3); insert into visits values ('Tom Berg', '1998-06-11 16:40:00', '16:40:00', 1);\" 2>&1",
          &status);
  ASSERT_EQ(status, 0);
  const std::string script =
      "[Report]\nMasterTable=visits\nDataSource=VortelleSample\nReportName=ScriptVisits\n"
      "[PageFormat]\nPageSize=1\nLandscape=T\n"
      "[PageHeader]\nTextField=\"Guest\",F,0,0,B\nTextField=\"Arrived\",F,+1.5,0,B\n"
      "[Record]\nCharField=guest,T,0,0,,20\nDateTimeField=arrived,F,2.0,0,,0,0\n"
      "TimeField=at_time,F,4.5,0,,0\nNumField=nights,F,6.0,2,,3,0\n"
      "[Summary]\nTextField=\"Last arrival\",F,0,0,U\n"
      "CalcDateTime=LastArrival,F,2.0,0,,0,0,4,arrived,G,E,T\n"
      "CalcTime=EarliestTime,F,4.5,0,,0,3,at_time,G,E,T\n"
      "CalcNum=AllNights,F,6.0,2,,3,0,,1,nights,G,E\n";
  std::string output;
  ASSERT_EQ(RunScript("visits", script, &output), 0) << output;
  const std::string text = Pdf("ScriptVisits");
  ExpectAll(text, {"Guest", "Arrived", "Ines Moll", "04-May-98 10:15", "Tom Berg", "16:40"});
  // The latest arrival, the earliest time of day and the nights together.
  const size_t last = text.find("Last arrival");
  ASSERT_NE(last, std::string::npos) << text;
  const std::string summary = text.substr(last, text.find('\n', last) - last);
  EXPECT_NE(summary.find("11-Jun-98 16:40"), std::string::npos) << summary;
  EXPECT_NE(summary.find("10:15"), std::string::npos) << summary;
  EXPECT_NE(summary.find(" 4"), std::string::npos) << summary;
}

// A script with an error: nothing prints, the run fails, and standard
// error names the line and its number (comments and empty lines counted).
TEST_F(ScriptRun, AnErrorStopsTheRunWithItsLine) {
  const std::string script =
      "[Report]\nMasterTable=order_lines\nDataSource=VortelleSample\nReportName=Broken\n"
      "; a comment\n\n"
      "[Record]\nCharField=company,F,0,0,,20\nCharField=no_such_column,F,3.0\n";
  std::string output;
  EXPECT_NE(RunScript("broken", script, &output), 0) << output;
  EXPECT_NE(output.find("Invalid parameter: CharField=no_such_column,F,3.0"), std::string::npos) << output;
  EXPECT_NE(output.find("Script line: 9"), std::string::npos) << output;
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/Broken.pdf"));
}

// A text file named by the script is the report's text table: its sections
// are long texts the script places by name, with each record's fields put
// in where the text names them. A file whose sections are followed by other
// text, or a second text file, stops the script at its line.
TEST_F(ScriptRun, ATextFileGivesTheReportItsSections) {
  std::ofstream(dir_ + "/letter.txt", std::ios::binary)
      << ".GREETING\r\n{Dear \\company\\,}\r\n.CLOSING\r\n{Your order \\order_id\\ is on its way.}\r\n";
  const std::string head = "[Report]\r\nMasterTable=order_lines\r\nDataSource=VortelleSample\r\nReportName=ScriptLetter\r\n"
                           "TextFile=" + dir_ + "/letter.txt\r\n";
  const std::string script = head +
                             "[Record]\r\nCharField=GREETING,F,0,3,,40\r\n"
                             "[Record]\r\nCharField=CLOSING,F,0.5,3,I,50\r\n"
                             "[Actions]\r\nMenu=FilePrint\r\n";
  std::string output;
  ASSERT_EQ(RunScript("letter", script, &output), 0) << output;
  const std::string text = Pdf("ScriptLetter");
  ExpectAll(text, {"Dear Alder & Sons,", "Dear Brightwater Ltd,", "Your order 1001 is on its way."});

  std::ofstream(dir_ + "/trailing.txt", std::ios::binary) << ".A\r\n{one}\r\nloose text\r\n";
  const std::string trailing = "[Report]\r\nMasterTable=order_lines\r\nDataSource=VortelleSample\r\n"
                               "TextFile=" + dir_ + "/trailing.txt\r\n";
  EXPECT_NE(RunScript("trailing", trailing, &output), 0);
  EXPECT_NE(output.find("Script line: 4"), std::string::npos) << output;
  EXPECT_NE(RunScript("twice", head + "TextFile=" + dir_ + "/letter.txt\r\n", &output), 0);
  EXPECT_NE(output.find("Script line: 6"), std::string::npos) << output;
  const std::string missing = "[Report]\r\nMasterTable=order_lines\r\nDataSource=VortelleSample\r\n"
                              "TextFile=" + dir_ + "/no_such.txt\r\n";
  EXPECT_NE(RunScript("missing", missing, &output), 0);
  EXPECT_NE(output.find("Script line: 4"), std::string::npos) << output;
}

// RECNO() on the record line, in a group footer and in the summary: each
// footer, printed once the next customer's first line was fetched, shows the
// number of its customer's last line.
TEST_F(ScriptRun, RecordNumbersInFootersAreThoseOfTheirGroupsLastRecords) {
  const std::string script =
      "[Report]\r\nMasterTable=order_lines\r\nDataSource=VortelleSample\r\nReportName=ScriptRecno\r\n"
      "[Sort]\r\nSortField1=company\r\n[Group]\r\nGroupField1=company\r\n"
      "[Record]\r\nCalcNum=LineNo,F,0,2,,4,0,,\"RECNO()\"\r\nCharField=company,F,0.8,0,,20\r\n"
      "[GroupFooter1]\r\nTextField=\"Last line\",F,0.8,0,B\r\nCalcNum=LastNo,F,3.0,2,,4,0,,\"RECNO()\"\r\n"
      "[Summary]\r\nTextField=\"Lines printed\",F,0.8,0,B\r\nCalcNum=AllNo,F,3.0,2,,4,0,,\"RECNO()\"\r\n"
      "[Actions]\r\nMenu=FilePrint\r\n";
  std::string output;
  ASSERT_EQ(RunScript("recno", script, &output), 0) << output;
  const std::string text = Pdf("ScriptRecno");
  std::vector<int> footers;
  int summary = -1, lastLine = 0;
  bool orderKept = true;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string first;
    words >> first;
    if (first == "Last" || first == "Lines") {
      std::string label;
      int n = -1;
      words >> label >> n;
      if (first == "Last") {
        footers.push_back(n);
        orderKept = orderKept && n == lastLine;
      } else {
        summary = n;
      }
    } else if (!first.empty() && std::isdigit(static_cast<unsigned char>(first[0]))) {
      lastLine = std::stoi(first);
    }
  }
  // Alder & Sons 3 lines, Brightwater Ltd 3, Castell Trading 1, Esker Outfitters 2, Fennick Tools 1.
  EXPECT_EQ(footers, std::vector<int>({3, 6, 7, 9, 10})) << text;
  EXPECT_TRUE(orderKept) << text;
  EXPECT_EQ(summary, 10) << text;
}

// [Sort] before [Group]: the sort fields read before any GroupField line
// are group levels too, and a level without bands of its own prints nothing.
// The page is the one the same script prints with the sections swapped: no
// order number where the script placed none.
TEST_F(ScriptRun, SortAndGroupSectionsPrintTheSameInEitherOrder) {
  const std::string sort = "[Sort]\r\nSortField1=company\r\nSortField2=order_id\r\n";
  const std::string group = "[Group]\r\nGroupField1=company\r\n";
  const std::string rest =
      "[GroupHeader1]\r\nCharField=company,F,0,0,B,30\r\n"
      "[Record]\r\nCharField=product,F,2.4,0,,14\r\nNumField=amount,F,4.5,2,,8,2\r\n"
      "[Actions]\r\nMenu=FilePrint\r\n";
  auto head = [](const char* name) {
    return std::string("[Report]\r\nMasterTable=order_lines\r\nDataSource=VortelleSample\r\nReportName=") + name +
           "\r\n";
  };
  std::string output;
  ASSERT_EQ(RunScript("sortfirst", head("ScriptSortFirst") + sort + group + rest, &output), 0) << output;
  ASSERT_EQ(RunScript("groupfirst", head("ScriptGroupFirst") + group + sort + rest, &output), 0) << output;
  const std::string first = Pdf("ScriptSortFirst");
  ExpectAll(first, {"Alder & Sons", "Brightwater Ltd", "Canvas tent", "1299.50"});
  EXPECT_EQ(first, Pdf("ScriptGroupFirst"));
  for (const char* number : {"1001", "1002", "1007"}) EXPECT_EQ(first.find(number), std::string::npos) << first;
  // Within a customer the lines follow the order numbers: 1002's before 1007's.
  EXPECT_LT(first.find("1299.50"), first.find("1500.00")) << first;
}

// A long text column placed unwrapped (alignments 0-2) prints the start of
// its text as the text's reader gives it: style codes make no text and the
// fields it names are put in, as when it is wrapped (alignments 3-5), which
// prints it whole. A second place of the column reads the same text.
TEST_F(ScriptRun, ALongTextColumnPrintsItsTextWrappedOrNot) {
  int status = -1;
  Capture("sqlite3 '" + dir_ + "/sample.db' \"create table notes (id integer, grp varchar(5), body text); "
          "insert into notes values (1, 'Kappa', 'Start <B>bold part<R> of \\grp\\ then ' || "
          "replace(hex(zeroblob(40)), '00', 'ab ') || 'LASTWORD');\" 2>&1",
          &status);
  ASSERT_EQ(status, 0);
  const std::string script =
      "[Report]\r\nMasterTable=notes\r\nDataSource=VortelleSample\r\nReportName=ScriptNotes\r\n"
      "[Record]\r\nNumField=id,F,0,0,,3,0\r\nCharField=grp,F,0.5,0,,6\r\nCharField=body,F,1.5,0,,30\r\n"
      "[Record]\r\nCharField=body,F,1.5,3,,30\r\n"
      "[Actions]\r\nMenu=FilePrint\r\n";
  std::string output;
  ASSERT_EQ(RunScript("notes", script, &output), 0) << output;
  const std::string text = Pdf("ScriptNotes");
  EXPECT_EQ(text.find("<B>"), std::string::npos) << text;
  EXPECT_EQ(text.find("\\grp"), std::string::npos) << text;
  // The unwrapped one on the record's first line: its width of the text.
  const std::string first = text.substr(0, text.find('\n'));
  EXPECT_NE(first.find("Start bold part of Kappa"), std::string::npos) << text;
  EXPECT_EQ(first.find("LASTWORD"), std::string::npos) << text;
  // The wrapped one under it, whole.
  EXPECT_NE(text.find("Start bold part of Kappa", first.size()), std::string::npos) << text;
  EXPECT_NE(text.find("LASTWORD"), std::string::npos) << text;
}

}  // namespace
