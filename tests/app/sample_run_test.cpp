// The README's road on the sample: the database and data source made by the
// sample script, the report built in code and saved by the program's writer,
// then the program run unattended (/G) to the PDF printer. The PDF must show
// the customer groups in order with their lines, each customer's total and
// the grand total. With a report dictionary named in kmw.ini, the headings a
// field list offers as dictionary descriptions reach the page.
#include "app/document.h"
#include "layout/page_setup.h"
#include "app/sample_report.h"
#include "core/composite.h"
#include "data/report_dictionary.h"
#include "expr/functions_common.h"
#include "files/report_io.h"
#include "foundation/heap_strings.h"
#include "foundation/startup_hooks.h"
#include "layout/layout_records.h"
#include "platform/win/ui_app.h"

#include "tests/support/program_run.h"
#include "tests/support/sample_document.h"
#include "tests/support/sample_folder.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

// Start-up's settings reader (foundation/startup.h, whose block sizes clash
// with the page set-up's own header).
int InitSettings(KmDocBase& doc);
void SaveSettingsOnExit(KmDocBase& doc);

namespace {

namespace fs = std::filesystem;

using program_run::Capture;
using program_run::Have;
using program_run::ProgramPath;

class SampleRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(ProgramPath())) GTEST_SKIP() << "the program is not built";
    if (!Have("sqlite3") || !Have("pdftotext")) GTEST_SKIP() << "sqlite3 or pdftotext is missing";
    if (Capture("ls /usr/lib/*/odbc/libsqlite3odbc.so 2>/dev/null").empty())
      GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    // The process's one sample folder, made afresh for this test.
    dir_ = sample_folder::MakeFresh();
    ASSERT_FALSE(dir_.empty()) << "the sample could not be made";
  }
  void TearDown() override {
    if (!dir_.empty()) sample_folder::Clear();
  }
  std::string dir_;
};

// Prints the report unattended with the program; the PDF's text, or empty.
std::string PrintWithProgram(const std::string& dir, const std::string& report) {
  int status = -1;
  const std::string output =
      Capture("cd '" + dir + "' && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" + dir + "' timeout 120 '" +
                  ProgramPath() + "' /G '" + dir + "/" + report + ".kmw' 2>&1",
              &status);
  EXPECT_EQ(status, 0) << output;
  EXPECT_TRUE(fs::exists(dir + "/" + report + ".pdf")) << output;
  return Capture("pdftotext -layout '" + dir + "/" + report + ".pdf' - 2>/dev/null");
}

TEST_F(SampleRun, TheSampleReportPrintsItsGroupsAndTotalsToPdf) {
  UiStartApplication();
  InstallBuiltinFunctionHandlers();
  {
    SampleDocument sample;
    std::string error;
    ASSERT_TRUE(sample.Write("VortelleSample", dir_ + "/sales.kmw", &error)) << error;
  }

  // Started from another folder: the PDF goes beside the report all the same, and the run says where.
  int status = -1;
  const std::string output =
      Capture("cd / && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" + dir_ + "' timeout 120 '" +
                  ProgramPath() + "' /G '" + dir_ + "/sales.kmw' 2>&1",
              &status);
  ASSERT_EQ(status, 0) << output;
  ASSERT_TRUE(fs::exists(dir_ + "/sales.pdf")) << output;
  EXPECT_NE(output.find("The report is in " + dir_ + "/sales.pdf"), std::string::npos) << output;
  const std::string text = Capture("pdftotext -layout '" + dir_ + "/sales.pdf' - 2>/dev/null");
  for (const char* expected : {"Orders by customer", "Alder & Sons", "Brightwater Ltd", "Castell Trading",
                               "Esker Outfitters", "Fennick Tools", "Canvas tent", "1299.50", "Customer total",
                               "858.75", "3424.50", "448.90", "Grand total", "5962.15"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  // The groups come in name order, each customer once, whatever the order of the rows in the table.
  const size_t alder = text.find("Alder & Sons");
  EXPECT_EQ(text.find("Alder & Sons", alder + 1), std::string::npos) << text;
  EXPECT_LT(alder, text.find("Brightwater Ltd"));
  EXPECT_LT(text.find("Brightwater Ltd"), text.find("Castell Trading"));
  EXPECT_LT(text.find("Esker Outfitters"), text.find("Fennick Tools"));
  EXPECT_LT(text.find("Fennick Tools"), text.find("Grand total"));
  // Each customer's total follows its own lines and comes before the next customer.
  EXPECT_LT(text.find("162.75"), text.find("858.75"));
  EXPECT_LT(text.find("858.75"), text.find("Brightwater Ltd"));
}

// A returned line makes its customer's total negative: the totals carry the
// format the Total dialog gives them, which prints the minus sign.
TEST_F(SampleRun, ACustomerTotalBelowZeroPrintsItsMinusSign) {
  UiStartApplication();
  InstallBuiltinFunctionHandlers();
  int status = -1;
  Capture("sqlite3 '" + dir_ + "/sample.db' \"insert into order_lines values "
          "('Gale Returns', 'Norway', 1101, '1998-03-02', 'Canvas tent', 1, 40.0, 40.0), "
          "('Gale Returns', 'Norway', 1102, '1998-03-09', 'Canvas tent', -1, 65.25, -65.25)\" 2>&1",
          &status);
  ASSERT_EQ(status, 0);
  {
    SampleDocument sample;
    std::string error;
    ASSERT_TRUE(sample.Write("VortelleSample", dir_ + "/sales.kmw", &error)) << error;
  }
  const std::string text = PrintWithProgram(dir_, "sales");
  const size_t gale = text.find("Gale Returns");
  ASSERT_NE(gale, std::string::npos) << text;
  const size_t total = text.find("Customer total", gale);
  ASSERT_NE(total, std::string::npos) << text;
  const std::string line = text.substr(total, text.find('\n', total) - total);
  EXPECT_NE(line.find("-25.25"), std::string::npos) << line;
  EXPECT_NE(text.find("5936.90"), std::string::npos) << text;
}

// /G runs that end without printing say why in one line and end with their
// own status: 2 for "No records found", 3 for "Starting page too large".
TEST_F(SampleRun, UnattendedRunsWithoutOutputEndWithTheirOwnStatus) {
  UiStartApplication();
  InstallBuiltinFunctionHandlers();
  {
    SampleDocument sample;
    std::string error;
    ASSERT_TRUE(sample.Write("VortelleSample", dir_ + "/sales.kmw", &error)) << error;
    sample.io.m_stream.settings.firstPage = 999;
    ASSERT_EQ(sample.io.SaveReportFile((dir_ + "/late.kmw").c_str()), kRepIoOk);
  }
  auto run = [&](const char* report, int* status) {
    return Capture("cd '" + dir_ + "' && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" + dir_ +
                       "' timeout 120 '" + ProgramPath() + "' /G '" + dir_ + "/" + report + ".kmw' 2>&1",
                   status);
  };
  auto lines = [](const std::string& text) {
    int n = 0;
    for (size_t at = text.find("vortelle: "); at != std::string::npos; at = text.find("vortelle: ", at + 1)) ++n;
    return n;
  };
  int status = -1;
  std::string output = run("late", &status);
  EXPECT_EQ(status, 3) << output;
  EXPECT_NE(output.find("Starting page too large"), std::string::npos) << output;
  EXPECT_EQ(lines(output), 1) << output;

  ASSERT_EQ(Capture("sqlite3 '" + dir_ + "/sample.db' 'delete from order_lines' 2>&1", &status), "");
  output = run("sales", &status);
  EXPECT_EQ(status, 2) << output;
  EXPECT_NE(output.find("No records found"), std::string::npos) << output;
  EXPECT_EQ(lines(output), 1) << output;
}

// A dictionary entry of the sample table; the last column is the index key.
std::string DictionaryEntry(const char* field, const char* comment) {
  char key[64];
  std::snprintf(key, sizeof key, "%-12s%-11s", "ORDER_LINES", field);
  for (char* c = key; *c; ++c) *c = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
  return std::string("order_lines|") + field + "|" + comment + "|" + key + "\n";
}

// Start-up without a screen, printers or messages.
struct QuietHooks : StartupHooks {
  std::string programDir;
  void Warning(KmDocBase&, const char*) override {}
  void Error(KmDocBase&, const char*) override {}
  std::string ProgramDirectory() override { return programDir; }
  void GetDefaultPrinter(KmDocBase&) override {}
  void MeasureScreen(KmDocBase&) override {}
};

// The dictionary names the sample table's columns; field lists set to show
// its descriptions offer them, and the column headings taken from them are
// printed by the program, which opens the dictionary again as it reads the report.
TEST_F(SampleRun, DictionaryDescriptionsReachThePrintedPage) {
  int status = -1;
  Capture("perl -MXBase -e 1 2>&1", &status);
  if (status != 0) GTEST_SKIP() << "Perl's XBase module is not installed";
  std::ofstream(dir_ + "/dict.in") << DictionaryEntry("product", "Item bought") << DictionaryEntry("amount", "Line total")
                                   << DictionaryEntry("company", "Buyer");
  const std::string tool = VT_SOURCE_DIR "/tests/tools/xbase_tool.pl";
  Capture("cd '" + dir_ + "' && perl '" + tool +
              "' create dict.dbf TABLE_NAME:C:12:0,FIELD_NAME:C:11:0,COMMENT:C:40:0,DICTKEY:C:23:0 < dict.in && "
              "perl '" + tool + "' idx dict.dbf dict.idx DICTKEY 2>&1",
          &status);
  ASSERT_EQ(status, 0);
  std::ofstream(dir_ + "/kmw.ini") << "[Defaults]\nDefaultDataSource=VortelleSample\nLibDir=" << dir_ << "\nDataDir=" << dir_
                                   << "\n[Preferences]\nShowSplash=0\nFieldLists=1\n[Data Dictionary]\nDataDict=" << dir_
                                   << "/dict.dbf\nDataDictIndex=" << dir_ << "/dict.idx\n";
  UiStartApplication();
  InstallBuiltinFunctionHandlers();
  QuietHooks hooks;
  hooks.programDir = dir_ + "/";
  SetStartupHooks(&hooks);
  CKmDoc settings;
  // The start-up blocks go back however the test ends.
  struct GiveBack {
    CKmDoc& doc;
    bool due = false;
    ~GiveBack() {
      if (due) SaveSettingsOnExit(doc);
    }
  } giveBack{settings};
  giveBack.due = InitSettings(settings) == 1;
  SetStartupHooks(nullptr);
  ASSERT_TRUE(giveBack.due);
  EXPECT_EQ(settings.m_settings.fieldLists, 1) << "field lists show the dictionary's descriptions";
  {
    SampleDocument sample;
    std::string error;
    ASSERT_TRUE(BuildSampleReport(sample.doc, sample.io, "VortelleSample", &error)) << error;
    // The table's fields take their entries as opening a table gives them.
    CKmComposite* m = sample.doc.m_pModel;
    FieldDef* first = m->tableSlots[0]->firstField;
    ASSERT_EQ(ReadReportDictionary(m, &first, m->tableSlots[0]->alias, 0, true), 0);
    auto field = [m](const char* name) -> FieldDef* {
      for (FieldDef* f = m->fieldList; f != nullptr; f = f->next)
        if (std::strcmp(f->name, name) == 0) return f;
      return nullptr;
    };
    ASSERT_NE(field("product"), nullptr);
    EXPECT_STREQ(GetFieldDescription(field("product")), "Item bought");
    EXPECT_STREQ(GetFieldDescription(field("amount")), "Line total");
    EXPECT_STREQ(GetFieldDescription(field("company")), "Buyer");
    EXPECT_STREQ(GetFieldDescription(field("quantity")), "") << "a column without an entry has no description";
    // The column headings are the descriptions the field list offers.
    for (TextItem* x = sample.doc.m_pLayout->textHead; x != nullptr; x = x->nextText) {
      const char* from = std::strcmp(x->text, "Product") == 0  ? "product"
                         : std::strcmp(x->text, "Amount") == 0 ? "amount"
                                                                 : nullptr;
      if (from == nullptr) continue;
      const char* description = GetFieldDescription(field(from));
      const size_t n = std::strlen(description);
      HeapFreeBlock(x->text);
      x->text = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(n + 1)));
      std::memcpy(x->text, description, n);
      x->head.width = static_cast<uint8_t>(n);
      x->head.right = x->head.left + static_cast<int32_t>(n) * 10 - 1;
    }
    ASSERT_EQ(sample.io.SaveReportFile((dir_ + "/described.kmw").c_str()), kRepIoOk);
  }
  giveBack.due = false;
  SaveSettingsOnExit(settings);  // gives back the start-up blocks, the dictionary's paths with them
  const std::string text = PrintWithProgram(dir_, "described");
  for (const char* expected : {"Item bought", "Line total", "Orders by customer", "Canvas tent", "Grand total", "5962.15"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  EXPECT_EQ(text.find("Product"), std::string::npos) << text;
}

}  // namespace
