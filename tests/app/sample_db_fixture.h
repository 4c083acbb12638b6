// The sample database, its data source and settings in a folder of the
// test's own (made by the sample script), for tests that run the program's
// own routines end to end and read the printed PDF back.
#pragma once

#include "app/document.h"
#include "app/print_run.h"
#include "app/sample_report.h"
#include "files/report_io.h"
#include "core/composite.h"
#include "engine/printer_library.h"
#include "expr/functions_common.h"
#include "layout/fonts.h"
#include "layout/layout_records.h"
#include "layout/page_setup.h"
#include "platform/printer/printer_info.h"
#include "platform/win/ui_app.h"

#include "tests/support/sample_document.h"
#include "tests/support/sample_folder.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace sample_test {

inline std::string Capture(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return out;
  std::array<char, 1024> buf{};
  size_t n = 0;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
  const int raw = ::pclose(p);
  if (status != nullptr) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

inline std::string ProgramPath() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : (self.parent_path() / "vortelle").string();
}

// A calculated field's item on the sample report's record line, right of the amount.
inline void PlaceOnRecordLine(CKmDoc& doc, FieldDef* f) {
  int record = -1;
  for (int i = 0; i <= doc.m_bandLines.lastUsed; ++i)
    if (doc.m_bandLines.lines[i].kind == kBandRecord) record = i;
  if (record < 0) return;
  const BandLineRec& line = doc.m_bandLines.lines[record];
  f->head.bandLine = static_cast<uint8_t>(record);
  f->head.column = 62;
  f->head.width = 9;
  f->head.left = 620;
  f->head.right = 709;
  f->head.top = line.bottom + 1 - line.pixelHeight;
  f->head.bottom = line.bottom;
  f->head.height = line.pixelHeight;
  f->head.pointSize = 100;
  f->head.faceAtom = AddFaceAtom("Arial");
  f->head.flags |= kItemFixedPosition;
  MarkFieldPlaced(f);
  f->flags |= kFieldItem | kFieldNeeded;
  f->displayWidth = 9;
  f->displayDecimals = 2;
  BuildLayoutItemOrder(*doc.m_pLayout);
}

// Prints the document's report through the program's print run to the PDF
// file and gives its text.
inline std::string PrintDocToPdf(CKmDoc& doc, const std::string& pdf) {
  PrintRunContext& ctx = GetPrintRunContext();
  ctx.printer = DocPrinter{};
  ctx.printer.printerName = kPdfPrinterName;
  ctx.page.fontFaces = {"Arial", "Courier New"};
  ctx.printToFile = pdf;
  doc.m_pPageSetup->OutputDestination = 2;
  if (ctx.driver == nullptr) ctx.driver = LoadPrinterLibrary(PageDriverModuleName(), 1);
  RunOutputWithRecovery(doc, 0);
  return Capture("pdftotext -layout '" + pdf + "' - 2>/dev/null");
}

// A document holding the sample report, built as the program's own maker builds it.
struct SampleReportDoc : SampleDocument {
  bool Build(std::string* error) { return BuildSampleReport(doc, io, "VortelleSample", error); }
  bool Write(const std::string& path, std::string* error) { return SampleDocument::Write("VortelleSample", path, error); }
};

class SampleDbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(ProgramPath())) GTEST_SKIP() << "the program is not built";
    if (Capture("command -v sqlite3").empty() || Capture("command -v pdftotext").empty())
      GTEST_SKIP() << "sqlite3 or pdftotext is missing";
    if (Capture("ls /usr/lib/*/odbc/libsqlite3odbc.so 2>/dev/null").empty())
      GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    // The process's one sample folder, made afresh for this test.
    dir_ = sample_folder::MakeFresh();
    ASSERT_FALSE(dir_.empty()) << "the sample could not be made";
    UiStartApplication();
    InstallBuiltinFunctionHandlers();
  }
  void TearDown() override {
    unsetenv("VORTELLE_WINDIR");
    if (!dir_.empty()) sample_folder::Clear();
  }
  // Prints the document's report through the program's print run to a PDF
  // of the folder and gives its text.
  std::string PrintInProcess(CKmDoc& doc, const std::string& name) { return PrintDocToPdf(doc, dir_ + "/" + name); }
  // Runs the program unattended on the report; its exit status and output.
  int RunProgram(const std::string& report, std::string* output) {
    int status = -1;
    *output = Capture("cd '" + dir_ + "' && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" + dir_ +
                          "' timeout 120 '" + ProgramPath() + "' /G '" + report + "' 2>&1",
                      &status);
    return status;
  }
  std::string dir_;
};

}  // namespace sample_test
