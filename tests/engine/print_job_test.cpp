#include "engine/print_job.h"

#include "engine/output_messages.h"
#include "engine/printer_library.h"
#include "tests/engine/stub_page_driver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::string> gMessages;
void Capture(const std::string& text, const std::string& caption) {
  gMessages.push_back(caption.empty() ? text : caption + "|" + text);
}

class PrintJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gMessages.clear();
    SetOutputMessageSink(Capture);
    doc.printerName = kPdfPrinterName;
    setup.iniFile = "/nonexistent/kmw.ini";
    setup.fontFaces = {"Arial", "Courier", "Courier New"};
  }
  void TearDown() override {
    if (state.printerDC) {
      if (driver && state.driverData) driver->CloseDevice(&state, -1);
      FinishPrintDevice(&state, true);
    }
    FreeRunDevMode(&doc);
    if (driver) FreePrinterLibrary(driver);
    SetOutputMessageSink(nullptr);
    std::filesystem::remove_all(TempDir());
  }
  static std::string TempDir() { return "/tmp/vt_engine_print_" + std::to_string(getpid()); }
  PageDriver* Library() {
    if (!driver) driver = LoadPrinterLibrary(PageDriverModuleName(), 1);
    return driver;
  }
  std::string Temp(const std::string& name) {
    std::string dir = TempDir();
    mkdir(dir.c_str(), 0700);
    return dir + "/" + name;
  }

  DocPrinter doc;
  PrintRunSetup setup;
  PageOutputState state;
  PageDriver* driver = nullptr;
};

TEST_F(PrintJobTest, DefaultPrinterPapersAndFontsWithoutASystemQueue) {
  // As at start-up: the printer calls below wait for the support loading
  // ahead; a second start does nothing.
  StartPrinterSupport();
  StartPrinterSupport();
  DocPrinter d;
  ASSERT_EQ(GetDefaultPrinter(&d, 1), 1);
  EXPECT_FALSE(d.printerName.empty());
  std::vector<std::string> names = EnumPrinterNames();
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names.back(), kPdfPrinterName);
  if (names.size() == 1) {
    EXPECT_EQ(d.printerName, kPdfPrinterName);
  }

  std::vector<PrinterPaper> papers = GetPrinterPapers(kPdfPrinterName);
  bool letter = false, a4 = false;
  for (const PrinterPaper& p : papers) {
    if (p.code == kDmPaperLetter) letter = p.widthTenthsMm == 2159 && p.heightTenthsMm == 2794;
    if (p.code == kDmPaperA4) a4 = p.widthTenthsMm == 2100 && p.heightTenthsMm == 2970;
  }
  EXPECT_TRUE(letter);
  EXPECT_TRUE(a4);
  EXPECT_TRUE(GetPrinterPapers("No such printer").empty());
  EXPECT_EQ(GetPrinterDevMode("No such printer", nullptr), nullptr);
  EXPECT_EQ(GetPrinterPaperSource(doc), 1);
}

TEST_F(PrintJobTest, LibraryVersionCheck) {
  EXPECT_EQ(LoadPrinterLibrary("/opt/other/driver.so", 1), nullptr);
  ASSERT_EQ(gMessages.size(), 1u);
  EXPECT_EQ(gMessages[0], "Cannot load printer library file /opt/other/driver.so");

  // A library of an older version, as opened from its path.
  auto* old = new StubPageDriver;
  old->version = 0;
  EXPECT_EQ(AcceptPrinterLibrary(old, "C:\\bin\\OLD.DLL", 1), nullptr);
  ASSERT_EQ(gMessages.size(), 2u);
  EXPECT_EQ(gMessages[1], "Error Loading DLL|Error Loading C:\\bin\\OLD.DLL. Required Version: 1;  Actual version: 0");

  // Without a version entry, file version 648 stands for version 1.
  auto versionless = [] {
    auto* d = new StubPageDriver;
    d->version = -1;
    d->fileMajor = 648;
    return d;
  };
  PageDriver* lib = AcceptPrinterLibrary(versionless(), "old.dll", 1);
  EXPECT_NE(lib, nullptr);
  FreePrinterLibrary(lib);
  EXPECT_EQ(AcceptPrinterLibrary(versionless(), "old.dll", 2), nullptr);
  EXPECT_EQ(gMessages.size(), 3u);
}

TEST_F(PrintJobTest, SpecificationPrintsPortraitWithoutMarginWhateverTheSetup) {
  setup.landscape = true;
  setup.leftMargin = 100;
  doc.pitch = 12;
  setup.runMode = 2;
  ASSERT_EQ(StartPrintJob(Library(), &doc, setup, &state, 1, nullptr), 1);
  EXPECT_EQ(doc.runDevMode->orientation, kOrientPortrait);
  EXPECT_EQ(state.leftMargin, 0);
  EXPECT_EQ(state.pitch, 10);

  // The report itself gets the set-up's orientation, margin and pitch.
  driver->CloseDevice(&state, 0);
  FinishPrintDevice(&state, true);
  setup.runMode = 0;
  ASSERT_EQ(StartPrintJob(Library(), &doc, setup, &state, 1, nullptr), 1);
  EXPECT_EQ(doc.runDevMode->orientation, kOrientLandscape);
  EXPECT_EQ(state.leftMargin, state.printerResX);  // one inch
  EXPECT_EQ(state.pitch, 12);
  EXPECT_EQ(state.physicalWidth, 11 * state.printerResX);  // Letter turned
  EXPECT_EQ(state.courierIndex, 1);
  EXPECT_EQ(state.courierNewIndex, 2);
  EXPECT_EQ(state.pagesProduced, 1);
  EXPECT_EQ(state.overPrint, 1);
  EXPECT_EQ(state.minMem, 256);
  EXPECT_EQ(state.fastPrint, 1);
  EXPECT_TRUE(gMessages.empty());
}

TEST_F(PrintJobTest, MetricMarginIsConvertedFirst) {
  doc.measureUnit = 2;
  setup.leftMargin = 254;  // 25.4 mm
  ASSERT_EQ(StartPrintJob(Library(), &doc, setup, &state, 1, nullptr), 1);
  EXPECT_EQ(state.leftMargin, state.printerResX);
}

TEST_F(PrintJobTest, CopiesGoToThePrinterOnlyWhenNoPassNeedsTheCopyNumber) {
  struct Case {
    bool usesCopy;
    int destination;
    LONG copySwitch;
    int passes;
    SHORT deviceCopies;
  } cases[] = {{false, 0, 0, 1, 2}, {true, 0, 0, 2, 1}, {false, 2, 0, 2, 1}, {false, 0, 1, 2, 1}};
  setup.copies = 2;
  setup.printToFile = Temp("copies.pdf");
  for (const Case& c : cases) {
    setup.usesCopyFunction = c.usesCopy;
    setup.destination = c.destination;
    setup.copySwitch = c.copySwitch;
    int passes = 0;
    ASSERT_EQ(StartPrintJob(Library(), &doc, setup, &state, 0, &passes), 1);
    EXPECT_EQ(passes, c.passes);
    EXPECT_EQ(doc.runDevMode->copies, c.deviceCopies);
    driver->CloseDevice(&state, 0);
    FinishPrintDevice(&state, true);
  }
}

TEST_F(PrintJobTest, FailuresShowTheirMessageAndFreeTheDeviceModeOnce) {
  EXPECT_EQ(StartPrintJob(nullptr, &doc, setup, &state, 0, nullptr), 0);
  doc.printerName = "No such printer";
  EXPECT_EQ(StartPrintJob(Library(), &doc, setup, &state, 0, nullptr), 0);
  doc.printerName.clear();
  EXPECT_EQ(StartPrintJob(Library(), &doc, setup, &state, 0, nullptr), 0);

  StubPageDriver stub;
  stub.missing.insert(9);
  doc.printerName = kPdfPrinterName;
  EXPECT_EQ(StartPrintJob(&stub, &doc, setup, &state, 1, nullptr), 0);
  EXPECT_EQ(doc.runDevMode, nullptr);
  EXPECT_EQ(state.printerDC, nullptr);
  stub.missing.clear();
  stub.openResult = 0;
  EXPECT_EQ(StartPrintJob(&stub, &doc, setup, &state, 1, nullptr), 0);
  EXPECT_EQ(doc.runDevMode, nullptr);

  // A file in a folder that cannot take it: the job does not start.
  setup.destination = 2;
  setup.printToFile = "/nonexistent-folder/out.pdf";
  EXPECT_EQ(StartPrintJob(Library(), &doc, setup, &state, 0, nullptr), 0);
  EXPECT_EQ(state.printerDC, nullptr);
  EXPECT_NE(doc.runDevMode, nullptr);  // kept for the end of the run

  std::vector<std::string> want = {
      "Cannot load printer library file kmpd.dll", "Error retrieving printer information",
      "Error retrieving printer information", "Insufficient memory for print/preview",
      "Insufficient memory for print/preview", "Unable to start print job"};
  EXPECT_EQ(gMessages, want);
}

TEST_F(PrintJobTest, PrintRunWritesTheNamedFileAndAbortLeavesNone) {
  setup.destination = 2;
  setup.printToFile = Temp("job.pdf");
  std::remove(setup.printToFile.c_str());
  ASSERT_EQ(StartPrintJob(Library(), &doc, setup, &state, 0, nullptr), 1);
  ASSERT_EQ(driver->BeginPage(&state, 360, 1), 1);
  LineBoxRecord rule;
  rule.right = 3000;
  rule.top = rule.bottom = 600;
  rule.penWidth = 6;
  ASSERT_EQ(driver->DrawLine(&state, &rule), 1);
  ASSERT_GT(driver->EndPage(&state, 1), 0);
  driver->CloseDevice(&state, 1);
  EXPECT_GT(FinishPrintDevice(&state, false), 0);
  EXPECT_EQ(access(setup.printToFile.c_str(), R_OK), 0);

  setup.printToFile = Temp("aborted.pdf");
  ASSERT_EQ(StartPrintJob(Library(), &doc, setup, &state, 0, nullptr), 1);
  ASSERT_EQ(driver->BeginPage(&state, 360, 1), 1);
  ASSERT_EQ(driver->DrawLine(&state, &rule), 1);
  ASSERT_GT(driver->EndPage(&state, 1), 0);
  driver->CloseDevice(&state, -3);
  FinishPrintDevice(&state, true);
  EXPECT_NE(access(setup.printToFile.c_str(), F_OK), 0);
  EXPECT_TRUE(gMessages.empty());
}

TEST(PrintJobNames, PdfPrinterFileFollowsTheReportNameBesideTheReport) {
  PrintRunSetup s;
  s.reportName = "/home/u/reports/Sales.rpt";
  EXPECT_EQ(DefaultPdfFileName(s), "Sales.pdf") << "no folder known: the current one";
  s.reportFolder = "/home/u/reports/";
  EXPECT_EQ(DefaultPdfFileName(s), "/home/u/reports/Sales.pdf");
  s.reportFolder = "/srv/libraries";
  s.reportName = "Monthly";
  EXPECT_EQ(DefaultPdfFileName(s), "/srv/libraries/Monthly.pdf") << "a library member beside its library";
  s.reportName.clear();
  s.reportFolder.clear();
  EXPECT_EQ(DefaultPdfFileName(s), "Untitled.pdf");
}

}  // namespace

namespace {

TEST(StoredDevMode, RoundTripAndHostileRecords) {
  PrinterDevMode m;
  std::strcpy(m.deviceName, "Office Laser");
  m.fields = kDmOrientation | kDmPaperSize | kDmCopies;
  m.orientation = kOrientLandscape;
  m.paperSize = kDmPaperA4;
  m.copies = 3;
  m.collate = 1;
  BYTE bytes[kDevModeStoredSize];
  EncodeDevMode(m, bytes);
  PrinterDevMode back;
  ASSERT_TRUE(DecodeDevMode(bytes, sizeof bytes, &back));
  EXPECT_STREQ(back.deviceName, "Office Laser");
  EXPECT_EQ(back.fields, m.fields);
  EXPECT_EQ(back.orientation, kOrientLandscape);
  EXPECT_EQ(back.paperSize, kDmPaperA4);
  EXPECT_EQ(back.copies, 3);
  EXPECT_EQ(back.collate, 1);

  // Too short to reach the collate member, or claiming to be: refused.
  EXPECT_FALSE(DecodeDevMode(bytes, 69, &back));
  BYTE small[kDevModeStoredSize];
  std::memcpy(small, bytes, sizeof small);
  small[36] = 20;
  small[37] = 0;
  EXPECT_FALSE(DecodeDevMode(small, sizeof small, &back));
  EXPECT_FALSE(DecodeDevMode(nullptr, 156, &back));
  // A name with no terminator is cut inside its field; a record that says it
  // is larger than what was read is read no further.
  std::vector<BYTE> exact(bytes, bytes + 70);
  std::memset(exact.data(), 'N', 32);
  exact[36] = 0xFF;
  exact[37] = 0xFF;
  ASSERT_TRUE(DecodeDevMode(exact.data(), exact.size(), &back));
  EXPECT_EQ(std::string(back.deviceName), std::string(31, 'N'));
  // The stored mode merges into the printer's own.
  PrinterDevMode merged;
  ASSERT_EQ(PrinterDocumentProperties(kPdfPrinterName, &merged, &m), 1);
  EXPECT_EQ(merged.orientation, kOrientLandscape);
  EXPECT_EQ(merged.paperSize, kDmPaperA4);
  EXPECT_EQ(merged.copies, 3);
}

}  // namespace
