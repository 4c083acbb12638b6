// Damaged report files opened and printed to PDF in this process, as /G does
// with them: the sample report, a report with an item of every kind, the
// damaged reports of earlier probes (built below) and any report kept under
// tests/fixtures/reportfuzz, each changed the ways damaged files differ. The
// sanitizers find what the program does wrong; the program only has to end
// each input with a message or a PDF. Every input is bounded by construction:
// at most a few rows and pages are printed.
//
// What a report names outside itself is changed too: its stored data source
// and database records (hostile names among the seeds), its picture files
// and its text table's file, rewritten damaged before runs. No run may make
// a file anywhere but its own output, and every run ends within 2 seconds
// of the process's time.
//
// Each shard is a test of its own, so CTest runs them side by side.
// VT_FUZZ_RUNS sets the inputs per shard for a longer run by hand. The input
// being tried is in the test's temporary folder as reportfuzz-<shard>.kmw: an
// input that brings the program down is there to keep under
// tests/fixtures/reportfuzz.
#include "app/app.h"
#include "app/document.h"
#include "app/print_run.h"
#include "app/run_hooks.h"
#include "core/fields.h"
#include "data/open_tables.h"
#include "data/sql_literals.h"
#include "engine/printer_library.h"
#include "engine/run_output.h"
#include "engine/run_report.h"
#include "expr/functions_common.h"
#include "files/report_io.h"
#include "files/report_stream.h"
#include "layout/layout_records.h"
#include "layout/page_setup.h"
#include "platform/ole/compound_file.h"
#include "platform/printer/printer_info.h"
#include "platform/win/ui_app.h"
#include "platform/win/unattended.h"
#include "tests/files/fuzz/mutator.h"
#include "tests/support/program_run.h"
#include "tests/support/sample_document.h"
#include "tests/support/metafile_bytes.h"
#include "tests/support/sample_folder.h"

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__) && __has_include(<sanitizer/common_interface_defs.h>)
#include <sanitizer/common_interface_defs.h>
#define VT_SANITIZER_REPORT_FD 1
#endif

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using fuzz::Bytes;

constexpr int kShards = 4;
// 20,000 inputs in all by default, as CI runs them.
constexpr long kRunsPerShard = 5000;

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const Bytes& b) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<long>(b.size()));
}

// Every record of a type in a record stream: the payload's offset and length.
void ForEachRecord(const Bytes& b, uint16_t type, const std::function<void(size_t, size_t)>& fn) {
  for (size_t at = 0; at + 4 <= b.size();) {
    const uint16_t t = static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
    const size_t n = static_cast<size_t>(b[at + 2] | (b[at + 3] << 8));
    if ((t & 0x3FFF) == type && at + 4 + n <= b.size()) fn(at + 4, n);
    at += 4 + n;
  }
}

// The report file with its record stream changed.
Bytes WithContents(const vt_ole::Storage& file, const Bytes& contents, const std::string& scratch) {
  vt_ole::Storage copy = file;
  copy.PutStream("Contents", contents);
  if (vt_ole::WriteStorageFile(scratch, copy) != vt_ole::StorageError::kNone) return {};
  return ReadBytes(scratch);
}

class ReportFuzz : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    if (!program_run::Have("sqlite3")) GTEST_SKIP() << "sqlite3 is missing";
    if (program_run::Capture("ls /usr/lib/*/odbc/libsqlite3odbc.so 2>/dev/null").empty())
      GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    dir_ = sample_folder::MakeFresh();
    ASSERT_FALSE(dir_.empty()) << "the sample could not be made";
    UiStartApplication();
    InstallBuiltinFunctionHandlers();
    InstallRunHooks(nullptr);
    InstallRunShell(nullptr);
    PrintRunContext& ctx = GetPrintRunContext();
    const PageDriverImageFuncs images = ImageLibrary::PrinterEntries();
    if (ctx.driver == nullptr) ctx.driver = LoadPrinterLibrary(PageDriverModuleName(), kPageDriverApiVersion, &images);
    ASSERT_NE(ctx.driver, nullptr);
    ctx.printer = DocPrinter{};
    ::GetDefaultPrinter(&ctx.printer, 1);
    ctx.page.fontFaces.clear();
    for (const PrinterFontFamily& f : GetPrinterFontFamilies(ctx.printer.printerName.c_str()))
      ctx.page.fontFaces.push_back(f.face);
    // Messages go to standard error, as in a /G run, and nothing waits for an answer.
    SetUnattendedRun(true);
  }
  void TearDown() override {
    SetUnattendedRun(false);
    RemoveRunHooks();
    if (!dir_.empty()) sample_folder::Clear();
  }

  // The sample report, and the sample with a line, a box, a picture and a chart added.
  std::vector<Bytes> Seeds() {
    std::vector<Bytes> seeds;
    const unsigned char png[] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0x0D, 0x49, 0x48, 0x44,
                                 0x52, 0, 0, 0, 1, 0, 0, 0, 1, 8, 6, 0, 0, 0, 0x1F, 0x15, 0xC4, 0x89, 0, 0, 0,
                                 0x0D, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0xF8, 0xCF, 0xC0, 0xF0, 0x1F,
                                 0, 0x05, 0x00, 0x01, 0xFF, 0x89, 0x99, 0x3D, 0x1D, 0, 0, 0, 0, 0x49, 0x45,
                                 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
    WriteBytes(dir_ + "/logo.png", Bytes(png, png + sizeof png));
    SampleDocument& sample = *doc_;
    std::string error;
    EXPECT_TRUE(sample.Write("VortelleSample", dir_ + "/sales.kmw", &error)) << error;
    seeds.push_back(ReadBytes(dir_ + "/sales.kmw"));
    LayoutTables& t = *sample.doc.m_pLayout;
    LineBoxItem box = MakeNewBox();
    box.head.bandLine = 0;
    box.head.right = 300;
    box.head.bottom = 20;
    t.linesBoxes.Append(box);
    LineBoxItem line = MakeNewLine(kBorderBottom);
    line.head.bandLine = 1;
    line.head.right = 500;
    t.linesBoxes.Append(line);
    PictureItem picture;
    picture.head.flags = kNewPictureFlags;
    picture.head.left = 400;
    picture.head.right = 440;
    picture.head.height = 30;
    picture.shownWidth = 40;
    picture.shownHeight = 30;
    std::snprintf(picture.fileName, sizeof picture.fileName, "%s/logo.png", dir_.c_str());
    t.pictures.Append(picture);
    ChartTableEntry chart;
    chart.head.flags = kItemKindChart;
    chart.head.bandLine = 0;
    chart.head.left = 500;
    chart.head.right = 700;
    chart.head.bottom = 100;
    t.charts.Append(chart);
    EXPECT_EQ(sample.io.SaveReportFile((dir_ + "/kinds.kmw").c_str()), kRepIoOk);
    seeds.push_back(ReadBytes(dir_ + "/kinds.kmw"));
    // A metafile picture, a text table, and the stored database record.
    pictureSeeds_ = {Bytes(png, png + sizeof png),
                     metafile_bytes::Emf(5080, 2540, 0x0000FF, 0, 0, 100, 100)};
    WriteBytes(dir_ + "/logo.emf", pictureSeeds_[1]);
    picture.head.left = 200;
    picture.head.right = 260;
    std::snprintf(picture.fileName, sizeof picture.fileName, "%s/logo.emf", dir_.c_str());
    t.pictures.Append(picture);
    textSeed_ = "Dear customer,\r\n\\Customer\\ thanks you.\r\n";
    WriteBytes(dir_ + "/notes.txt", Bytes(textSeed_.begin(), textSeed_.end()));
    EXPECT_EQ(OpenTextTable(sample.doc.m_pModel, (dir_ + "/notes.txt").c_str(), "NOTES"), 0);
    ReportSettings& stored = sample.io.m_stream.settings;
    stored.databaseName = "main";
    EXPECT_EQ(sample.io.SaveReportFile((dir_ + "/outside.kmw").c_str()), kRepIoOk);
    seeds.push_back(ReadBytes(dir_ + "/outside.kmw"));
    // Names no connect text may take, and a database that is another file.
    const std::string source = stored.sources[0].sourceName;
    for (const auto& [name, database] : std::vector<std::pair<std::string, std::string>>{
             {source + ";LoadExt=" + dir_ + "/evil.so", ""},
             {source, "main;LoadExt=" + dir_ + "/evil.so"},
             {source, "other.db"},
             {source, std::string("db\x01\x7f{}=", 7)},
             {std::string(40, 'S'), ""}}) {
      stored.sources[0].sourceName = name;
      stored.sources[0].entryForm = !database.empty();
      stored.sources[0].databaseName = database;
      stored.databaseName = database;
      EXPECT_EQ(sample.io.SaveReportFile((dir_ + "/outside.kmw").c_str()), kRepIoOk);
      seeds.push_back(ReadBytes(dir_ + "/outside.kmw"));
    }
    for (const char* name : {"sales.kmw", "kinds.kmw", "outside.kmw"}) fs::remove(dir_ + "/" + name);
    return seeds;
  }

  // The damaged reports earlier probes found: kind bits that name another
  // item (a text read as a field or a picture, a field read as a picture, a
  // box read as a text), the stored server-computed bit on every field, and
  // fields of two value kinds.
  std::vector<Bytes> ProbeInputs(const Bytes& seed) {
    const std::string scratch = dir_ + "/probe.kmw";
    WriteBytes(scratch, seed);
    vt_ole::Storage file;
    if (vt_ole::ReadStorageFile(scratch, file) != vt_ole::StorageError::kNone || !file.FindStream("Contents"))
      return {};
    const Bytes contents = file.FindStream("Contents")->data;
    std::vector<Bytes> out;
    auto damaged = [&](uint16_t type, size_t offset, uint8_t bits) {
      Bytes c = contents;
      ForEachRecord(c, type, [&](size_t at, size_t n) {
        if (offset < n) c[at + offset] |= bits;
      });
      out.push_back(WithContents(file, c, scratch));
    };
    damaged(rec::WideText, 2, kItemKindField);
    damaged(rec::WideText, 2, kItemKindPicture);
    damaged(rec::FieldItem, 2, kItemKindPicture);
    damaged(rec::WideTotal, 2, kItemKindPicture);
    damaged(rec::WideBox, 0, kItemKindField);
    damaged(rec::FieldItem, 31 + 11, 0x40);  // flags2 bit 0x4000
    damaged(rec::WideCalc, 31 + 11, 0x40);
    // Totals and calculations of two kinds at once (number and logical).
    damaged(rec::WideTotal, 31 + 7, 0x01);
    damaged(rec::WideCalc, 31 + 7, 0x01);
    return out;
  }

  // Opens the file as the command line opens a report into the program's one
  // document (its data source connected while it is read, nobody asked for
  // another), and prints it to a PDF.
  void OpenAndPrint(const std::string& path) {
    CKmDoc& doc = doc_->doc;
    doc_->io.m_stream.hooks = &GetAppStreamHooks();
    doc_->io.m_stream.connect = true;
    doc.m_settings.newReportAlwaysUseSameDS = doc.m_settings.readReportAlwaysUseSameDS = 1;
    if (doc.OpenReport(path.c_str()) == 1) {
      doc.FinishReportLoad(FALSE);
      // A few rows and pages are all any input prints.
      SetRecordLimit(doc.m_pModel, 40);
      ReportSettings& s = doc_->io.m_stream.settings;
      s.firstPage = std::min<uint32_t>(s.firstPage, 3);
      s.lastPage = std::min<uint32_t>(std::max(s.lastPage, s.firstPage), s.firstPage + 2);
      PrintRunContext& ctx = GetPrintRunContext();
      ctx.printToFile = dir_ + "/fuzz.pdf";
      std::remove(ctx.printToFile.c_str());
      doc.m_pPageSetup->OutputDestination = kOutputToFile;
      doc.m_nRunMode = 0;
      RunOutputWithRecovery(doc, 0);
      ctx.printToFile.clear();
      ++printed_;
    }
    FreeReportRun(&doc);
  }

  // The files a report names, each rewritten (damaged, or as it was) before a run.
  void ChangeNamedFiles(std::mt19937& rng) {
    const bool damage = rng() % 2 == 0;
    for (size_t i = 0; i < pictureSeeds_.size(); ++i)
      WriteBytes(dir_ + (i == 0 ? "/logo.png" : "/logo.emf"),
                 damage ? fuzz::Mutate(pictureSeeds_[i], rng) : pictureSeeds_[i]);
    const Bytes text(textSeed_.begin(), textSeed_.end());
    WriteBytes(dir_ + "/notes.txt", damage ? fuzz::Mutate(text, rng) : text);
  }

  std::string dir_;
  std::unique_ptr<SampleDocument> doc_ = std::make_unique<SampleDocument>();
  long printed_ = 0;
  std::vector<Bytes> pictureSeeds_;
  std::string textSeed_;
};

// The names of the files in a folder and the folders under it.
std::set<std::string> Listing(const std::string& dir) {
  std::set<std::string> names;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); it != fs::recursive_directory_iterator(); it.increment(ec))
    names.insert(it->path().string());
  return names;
}

double ProcessSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

TEST_P(ReportFuzz, DamagedReportsOpenAndPrintWithoutAFault) {
  const int shard = GetParam();
  std::vector<Bytes> seeds = Seeds();
  ASSERT_EQ(seeds.size(), 8u);
  std::mt19937 rng(0xF0220000u + static_cast<uint32_t>(shard));
  for (const Bytes& probe : ProbeInputs(seeds[1])) seeds.push_back(probe);
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(VT_TEST_DATA_DIR "/reportfuzz", ec))
    if (e.is_regular_file() && e.path().extension() == ".kmw") seeds.push_back(ReadBytes(e.path().string()));

  // Half the inputs change the record stream inside a sound file, the rest
  // the file's own bytes.
  std::vector<vt_ole::Storage> files(seeds.size());
  std::vector<Bytes> contents(seeds.size());
  const std::string input = testing::TempDir() + "/reportfuzz-" + std::to_string(shard) + ".kmw";
  // The run's own folder: a file made "beside the run" lands here.
  const std::string here = fs::current_path().string();
  const std::string runFolder = dir_ + "/run";
  fs::create_directory(runFolder);
  fs::current_path(runFolder);
  for (size_t i = 0; i < seeds.size(); ++i) {
    WriteBytes(input, seeds[i]);
    if (vt_ole::ReadStorageFile(input, files[i]) == vt_ole::StorageError::kNone && files[i].FindStream("Contents"))
      contents[i] = files[i].FindStream("Contents")->data;
  }
  // What the run says goes where a /G run's messages go, not into the test's log.
  // The sanitizers still report on the test's own standard error.
  const int savedErr = dup(2);
#ifdef VT_SANITIZER_REPORT_FD
  __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<intptr_t>(savedErr)));
#endif
  const int devNull = open("/dev/null", O_WRONLY);
  dup2(devNull, 2);
  close(devNull);
  const long runs = fuzz::Runs(kRunsPerShard);
  double slowest = 0;
  long tried = 0;
  // What the runs may write: their output and scratch file, the input and
  // the files a report names, rewritten here.
  const std::set<std::string> allowed = {dir_ + "/fuzz.pdf", dir_ + "/scratch.kmw"};
  std::set<std::string> before = Listing(dir_);
  std::set<std::string> strays;
  auto attempt = [&](const Bytes& b) {
    WriteBytes(input, b);
    ChangeNamedFiles(rng);
    // Time the process spent, not the time of a machine shared with other tests.
    const double start = ProcessSeconds();
    OpenAndPrint(input);
    const double spent = ProcessSeconds() - start;
    if (spent > 2.0) {
      ADD_FAILURE() << "a run took " << spent << " s; the input is kept as " << input << ".slow";
      WriteBytes(input + ".slow", b);
    }
    slowest = std::max(slowest, spent);
    for (const std::string& name : Listing(dir_))
      if (before.count(name) == 0 && allowed.count(name) == 0 && strays.insert(name).second)
        ADD_FAILURE() << "a run made " << name << "; the input is kept as " << input << ".stray";
    if (!strays.empty() && !fs::exists(input + ".stray")) WriteBytes(input + ".stray", b);
    ++tried;
  };
  if (shard == 0)
    for (const Bytes& s : seeds) attempt(s);
  for (long i = 0; i < runs; ++i) {
    const size_t k = static_cast<size_t>(rng() % seeds.size());
    if (i % 2 == 0 && !contents[k].empty()) {
      const Bytes b = WithContents(files[k], fuzz::Mutate(contents[k], rng), dir_ + "/scratch.kmw");
      if (!b.empty()) attempt(b);
    } else {
      attempt(fuzz::Mutate(seeds[k], rng));
    }
  }
  fs::current_path(here);
  dup2(savedErr, 2);
#ifdef VT_SANITIZER_REPORT_FD
  __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<intptr_t>(2)));
#endif
  close(savedErr);
  std::remove(input.c_str());
  RecordProperty("inputs", static_cast<int>(tried));
  RecordProperty("printed", static_cast<int>(printed_));
  RecordProperty("slowest_ms", static_cast<int>(slowest * 1000));
  std::printf("%ld inputs, %ld opened and printed, the slowest %.0f ms\n", tried, printed_, slowest * 1000);
  EXPECT_GT(printed_, 0);
}

INSTANTIATE_TEST_SUITE_P(Shards, ReportFuzz, testing::Range(0, kShards),
                         [](const testing::TestParamInfo<int>& i) { return "Shard" + std::to_string(i.param); });

}  // namespace
