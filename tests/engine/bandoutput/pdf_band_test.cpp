// Bands drawn by the real printer library into a PDF file and read back
// with pdftotext: columns, alignment, formats, wrapped text over pages,
// lines and boxes.
#include "engine/print_job.h"
#include "engine/printer_library.h"
#include "expr/calendar.h"
#include "platform/win/ui_app.h"
#include "engine/run_report.h"
#include "tests/engine/bandoutput/band_fixture.h"

#include <gmock/gmock.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <unistd.h>

namespace {

std::string Shell(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> out;
  std::stringstream ss(text);
  std::string line;
  while (std::getline(ss, line, sep)) out.push_back(line);
  return out;
}

const char* const kNotes[] = {
    "Delivered on time; customer asked for the invoice to be sent again next week",
    "Short note",
    "Backorder of three items which will follow in a second shipment as soon as the supplier confirms",
};

class PdfBands : public BandFixture {
 protected:
  void SetUp() override {
    BandFixture::SetUp();
    UiStartApplication();
    pdf = "/tmp/vt_bandoutput_" + std::to_string(getpid()) + ".pdf";
    printer.printerName = kPdfPrinterName;
    setup.iniFile = "/nonexistent/kmw.ini";
    setup.fontFaces = {"Arial", "Courier New"};
    setup.destination = 2;
    setup.printToFile = pdf;
    library = LoadPrinterLibrary(PageDriverModuleName(), 1);
  }
  void TearDown() override {
    if (library) FreePrinterLibrary(library);
    FreeRunDevMode(&printer);
    std::remove(pdf.c_str());
    BandFixture::TearDown();
  }

  // The job on the PDF printer, the run drawing on it; each page's header
  // begins an inch down and its footer ends above the bottom inch.
  bool StartJob() {
    int passes = 0;
    if (library == nullptr || StartPrintJob(library, &printer, setup, &state, 0, &passes) != 1) return false;
    run.driver = library;
    run.page = &state;
    s->units.printerX = static_cast<WORD>(state.printerResX);
    s->units.printerY = static_cast<WORD>(state.printerResY);
    run.pageStartArg = 720;
    run.pageBottom = 720;
    return true;
  }

  DocPrinter printer;
  PrintRunSetup setup;
  PageOutputState state;
  PageDriver* library = nullptr;
  std::string pdf;
};

}  // namespace

TEST_F(PdfBands, ReportPagesReadBackWithTheirColumnsFormatsAndWrappedText) {
  ASSERT_TRUE(StartJob());
  run.pageFooterHeight = 240;

  int ph = AddLine(kBandPageHeader);
  AddText(ph, 0, "Orders by customer");
  AddText(ph, 50, "Amount", kAlignRight);
  AddBox(ph, ph, 0, 60, false);  // a rule under the header
  int r0 = AddLine(kBandRecord);
  FieldDef* name = AddTextField(r0, 0, 20, std::string(20, ' '));
  FieldDef* amount = AddNumberField(r0, 40, 10, 0);
  amount->displayDecimals = 2;
  FieldDef* day = AddTextField(r0, 52, 12, "", 0x1010);  // mm/dd/yyyy
  day->flags = kFieldDate;
  int r1 = AddLine(kBandRecord);
  // The notes, wrapped in 30 columns: their whole text is in the value.
  FieldDef* note = AddTextField(r1, 4, 30, std::string(120, ' '), 0x40);
  AddBox(r0, r1, 0, 66);
  AddText(AddLine(kBandPageFooter), 0, "End of page");
  Finish();

  ASSERT_EQ(library->BeginPage(&state, 720, 1), 1);
  run.topOfPage = 1;
  ASSERT_EQ(OutputBand(&run, kBandPageHeader, 0), 0);
  const double amounts[] = {5.0, 1234.5, 77.25};
  for (uint32_t i = 0; i < 30; ++i) {
    run.recordsOutput = i;
    std::snprintf(reinterpret_cast<char*>(name->value), 21, "Customer %02u", i + 1);
    std::memcpy(amount->value, &amounts[i % 3], 8);
    DateParts d;
    d.year = 2026;
    d.month = 12;
    d.day = static_cast<uint8_t>(1 + i);
    DayNumber n = 0;
    ASSERT_EQ(YMDToJulian(d, n), 0);
    uint32_t dn = static_cast<uint32_t>(n);
    std::memcpy(day->value, &dn, 4);
    std::snprintf(reinterpret_cast<char*>(note->value), 121, "%s", kNotes[i % 3]);
    ASSERT_EQ(OutputBand(&run, kBandRecord, 0), 0) << i;
  }
  // The last page's footer and the page's end.
  OutputPageBreakBands(&doc, 1);
  EndPage(&doc, 1);
  library->CloseDevice(&state, 0);
  FinishPrintDevice(&state, false);

  std::string text = Shell("pdftotext -layout '" + pdf + "' - 2>/dev/null");
  std::vector<std::string> pages = Split(text, '\f');
  while (!pages.empty() && pages.back().find_first_not_of(" \n") == std::string::npos) pages.pop_back();
  ASSERT_GE(pages.size(), 3u) << text;
  for (const std::string& p : pages) {
    EXPECT_THAT(p, ::testing::HasSubstr("Orders by customer"));
    EXPECT_THAT(p, ::testing::HasSubstr("End of page"));
  }
  // Numbers end at the same column whatever their width; names start at the
  // same column.
  int amountEnd = -1, nameStart = -1;
  std::string notes;
  for (const std::string& line : Split(text, '\n')) {
    for (const char* a : {"5.00", "1234.50", "77.25"}) {
      size_t at = line.find(std::string(" ") + a);
      if (at == std::string::npos || line.find("Customer") == std::string::npos) continue;
      int end = static_cast<int>(at + 1 + std::strlen(a));
      if (amountEnd < 0) amountEnd = end;
      EXPECT_EQ(end, amountEnd) << line;
    }
    size_t c = line.find("Customer");
    if (c != std::string::npos) {
      if (nameStart < 0) nameStart = static_cast<int>(c);
      EXPECT_EQ(static_cast<int>(c), nameStart) << line;
      EXPECT_THAT(line, ::testing::ContainsRegex("12/[0-9][0-9]/2026"));
    } else if (line.find("Orders") == std::string::npos && line.find("End of") == std::string::npos) {
      notes += line + " ";
    }
  }
  EXPECT_GT(amountEnd, 0);
  // Every word of the wrapped notes is there, in order, whatever the page.
  std::istringstream words(notes);
  std::vector<std::string> got;
  for (std::string w; words >> w;) got.push_back(w);
  std::vector<std::string> want;
  for (uint32_t i = 0; i < 30; ++i) {
    std::istringstream ws(kNotes[i % 3]);
    for (std::string w; ws >> w;) want.push_back(w);
  }
  EXPECT_EQ(got, want);
}

namespace {

// Red pixels of each page of a PDF, rendered by pdftoppm (binary PPM).
std::vector<int> RedPixelsPerPage(const std::string& pdf) {
  const std::string stem = pdf + "-page";
  Shell("pdftoppm -r 50 '" + pdf + "' '" + stem + "' 2>/dev/null");
  std::vector<int> counts;
  for (int page = 1;; ++page) {
    std::string name = stem + "-" + std::to_string(page) + ".ppm";
    FILE* f = std::fopen(name.c_str(), "rb");
    if (f == nullptr) break;
    char magic[3] = {};
    int w = 0, h = 0, max = 0;
    int n = 0;
    if (std::fscanf(f, "%2s %d %d %d", magic, &w, &h, &max) == 4 && std::string(magic) == "P6" && w > 0 && h > 0) {
      std::fgetc(f);
      std::vector<unsigned char> px(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
      const size_t got = std::fread(px.data(), 1, px.size(), f);
      for (size_t i = 0; i + 2 < got; i += 3)
        if (px[i] > 200 && px[i + 1] < 80 && px[i + 2] < 80) ++n;
    }
    std::fclose(f);
    std::remove(name.c_str());
    counts.push_back(n);
  }
  return counts;
}

}  // namespace

// Labels printed three across whose Record band has a page break after its
// first line: the row's red boxes, which run over both lines, are printed in
// two parts, the upper on the row's first page and the lower on the next.
TEST_F(PdfBands, ARecordsAcrossRowCutByAPageBreakKeepsItsBoxes) {
  ASSERT_TRUE(StartJob());

  const int top = AddLine(kBandRecord);
  FieldDef* name = AddTextField(top, 1, 12, std::string(12, ' '));
  AddLine(kBandRecord, 0x01);  // the page breaks here
  const int below = AddLine(kBandRecord);
  FieldDef* city = AddTextField(below, 1, 12, std::string(12, ' '));
  LineBoxItem* box = AddBox(top, below, 0, 20);
  box->borderColour = 9;  // red
  box->thickness = 4;
  Finish();
  run.recordsAcrossExtra = 2;
  s->columnWidth = 240;

  ASSERT_EQ(library->BeginPage(&state, 720, 1), 1);
  run.topOfPage = 1;
  const char* const names[][2] = {{"Alder", "Leeds"}, {"Birch", "York"}, {"Cedar", "Bath"}};
  for (const auto& n : names) {
    std::snprintf(reinterpret_cast<char*>(name->value), 13, "%s", n[0]);
    std::snprintf(reinterpret_cast<char*>(city->value), 13, "%s", n[1]);
    ASSERT_EQ(OutputBand(&run, kBandRecord, 0), 0);
  }
  EndPage(&doc, 1);
  library->CloseDevice(&state, 0);
  FinishPrintDevice(&state, false);

  const std::vector<std::string> pages = Split(Shell("pdftotext -layout '" + pdf + "' - 2>/dev/null"), '\f');
  ASSERT_GE(pages.size(), 2u);
  for (const char* word : {"Alder", "Birch", "Cedar"}) EXPECT_THAT(pages[0], ::testing::HasSubstr(word));
  for (const char* word : {"Leeds", "York", "Bath"}) EXPECT_THAT(pages[1], ::testing::HasSubstr(word));
  const std::vector<int> red = RedPixelsPerPage(pdf);
  ASSERT_GE(red.size(), 2u);
  EXPECT_GT(red[0], 60) << "the boxes' upper parts";
  EXPECT_GT(red[1], 60) << "the boxes' lower parts";
}
