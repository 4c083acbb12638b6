// Exports through the program's own run: reports written by the program's
// writer with an export destination, run unattended (/G), and every file
// read back by an independent reader of its format (python3-dbfread,
// Gnumeric's converter, Python's csv and html.parser, unrtf) against the
// rows SQLite itself returns.
#include "app/document.h"
#include "app/sample_report.h"
#include "core/composite.h"
#include "data/data_access.h"
#include "data/table_fields.h"
#include "export/export_settings.h"
#include "expr/functions_common.h"
#include "files/report_io.h"
#include "foundation/heap_strings.h"
#include "layout/fonts.h"
#include "layout/layout_records.h"
#include "layout/page_setup.h"
#include "model/field_dependencies.h"
#include "platform/win/file_handles.h"
#include "platform/win/fileio.h"
#include "platform/win/ui_app.h"
#include "tests/support/folder_faults.h"
#include "tests/support/program_run.h"
#include "tests/support/sample_document.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string Capture(const std::string& command, int* status = nullptr) { return program_run::Capture(command, status); }

bool Have(const char* tool) { return !Capture(std::string("command -v ") + tool).empty(); }

// A table with a column of every kind a report field can have, and texts
// that a file format must carry exactly: separators, quotes, line breaks,
// letters beyond ASCII.
constexpr const char* kKindsTable = R"SQL(
create table kinds (
  id integer primary key,
  name varchar(40),
  qty integer,
  price numeric(10,2),
  day date,
  stamp timestamp,
  clock time,
  flag bit,
  note varchar(200)
);
insert into kinds values (1, 'Plain', 3, 12.50, '1998-01-12', '1998-01-14 09:30:00', '09:30:00', 1, 'short note');
insert into kinds values (2, 'Comma, "quoted"', -7, 0.25, '2001-12-31', '2001-12-31 23:59:58', '23:59:58', 0,
  'two' || char(10) || char(10) || 'lines; and a tab' || char(9) || 'here');
insert into kinds values (3, 'Malmö Åse Ørsted', 1000, 1299.95, '2024-02-29', '2024-02-29 12:00:00', '12:00:00', 1,
  'naïve café — €5');
)SQL";

struct Placed {
  const char* column;
  int cells;
};

// A report over the kinds table: every column on one Record line, sorted by id.
bool BuildKindsReport(CKmDoc& doc, CKmRepIO& io, std::string* error) {
  if (!doc.CreateReportTables()) return false;
  if (doc.m_pLayout->model == nullptr) doc.m_pLayout->model = doc.m_pModel;
  doc.m_pLayout->AttachBandLineTable(&doc.m_bandLines);
  ClearBandLineTable(doc.m_bandLines);
  doc.m_bandLines.lastUsed = -1;
  CKmComposite& m = *doc.m_pModel;
  DataAccess* data = GetDataAccess(&m);
  if (data->ConnectDataSource("VortelleSample", false, true, nullptr) != 1) {
    *error = "no data source";
    return false;
  }
  data->SelectDataSource("VortelleSample");
  const uint32_t table = m.AddTableSlot("kinds", "", 0, 0, nullptr);
  if (BuildSqlFieldList(&m, table, nullptr, nullptr, nullptr, true, nullptr, 0) != 0) {
    *error = "no columns";
    return false;
  }
  io.m_stream.settings.sources[table].sourceName = "VortelleSample";
  BandLineTable& t = doc.m_bandLines;
  const int line = ++t.lastUsed;
  BandLineRec& rec = t.lines[line];
  rec = BandLineRec{};
  rec.kind = kBandRecord;
  rec.objectId = -1;
  rec.pixelHeight = doc.m_pLayout->DefaultLineHeight();
  rec.bottom = rec.pixelHeight - 1;
  rec.baseline = rec.pixelHeight - 4;
  const Placed columns[] = {{"id", 4},    {"name", 22}, {"qty", 6},   {"price", 10}, {"day", 11},
                            {"stamp", 22}, {"clock", 11}, {"flag", 5}, {"note", 40}};
  int at = 0;
  FieldDef* id = nullptr;
  for (const Placed& p : columns) {
    FieldDef* f = m.tableSlots[table]->firstField;
    for (uint32_t k = 0; f != nullptr && k < m.tableSlots[table]->fieldCount; ++k, f = f->next)
      if (std::strcmp(f->name, p.column) == 0) break;
    if (f == nullptr) {
      *error = std::string("no column ") + p.column;
      return false;
    }
    if (std::strcmp(p.column, "id") == 0) id = f;
    ReportItemHead& h = f->head;
    h.bandLine = static_cast<uint8_t>(line);
    h.column = at;
    h.width = static_cast<uint8_t>(p.cells);
    h.left = at * 10;
    h.right = (at + p.cells) * 10 - 1;
    h.top = 0;
    h.bottom = rec.bottom;
    h.height = rec.pixelHeight;
    h.pointSize = 80;
    h.faceAtom = AddFaceAtom("Arial");
    h.flags |= kItemFixedPosition;
    MarkFieldPlaced(f);
    f->flags |= kFieldItem | kFieldNeeded;
    f->displayWidth = static_cast<uint32_t>(p.cells);
    if (std::strcmp(p.column, "price") == 0) f->displayDecimals = 2;
    at += p.cells + 1;
  }
  io.m_stream.settings.sortFields[0] = m.sortFields[0] = m.GetFieldIndex(id);
  PageSetupRec& page = *doc.m_pPageSetup;
  page.TopMargin = page.BottomMargin = page.LeftMargin = page.RightMargin = 50;
  page.Copies = 1;
  page.PaperLength = 2794;
  page.PaperWidth = 2159;
  page.Landscape = 1;
  BuildLayoutItemOrder(*doc.m_pLayout);
  PropagateFieldDependencies(&m);
  doc.m_bReportOpen = TRUE;
  return true;
}

// One folder for the whole suite: the ODBC layer keeps the data source's
// database path for the life of the process.
class ExportRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!fs::exists(program_run::ProgramPath()) || !Have("sqlite3") ||
        Capture("ls /usr/lib/*/odbc/libsqlite3odbc.so 2>/dev/null").empty())
      return;
    char tmpl[] = "/tmp/vt_export_run_XXXXXX";
    std::string dir = ::mkdtemp(tmpl);
    int status = -1;
    Capture("bash '" VT_SOURCE_DIR "/samples/make-sample' '" + dir + "' 2>&1", &status);
    if (status != 0) return;
    Capture("sqlite3 '" + dir + "/sample.db' <<'EOF'\n" + std::string(kKindsTable) + "\nEOF\n", &status);
    if (status != 0) return;
    setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("VORTELLE_WINDIR", dir.c_str(), 1);
    UiStartApplication();
    InstallBuiltinFunctionHandlers();
    suiteDir_ = dir;
  }
  static void TearDownTestSuite() {
    if (!suiteDir_.empty() && std::getenv("VT_KEEP_EXPORTS") == nullptr) fs::remove_all(suiteDir_);
  }
  void SetUp() override {
    if (suiteDir_.empty()) GTEST_SKIP() << "the program, sqlite3 or the SQLite ODBC driver is missing";
    dir_ = suiteDir_;
  }

  // Writes the report (sample or kinds) with the export settings set by
  // choose and an export destination, then runs the program on it with /G
  // (env: assignments for the program's environment).
  int RunExport(bool kinds, const std::function<void(CKmExport&)>& choose, std::string* output,
                double paperLength = 0, const std::string& env = std::string()) {
    const std::string report = dir_ + (kinds ? "/kinds.kmw" : "/sales.kmw");
    {
      SampleDocument scratch;
      CKmDoc& doc = scratch.doc;
      CKmRepIO& io = scratch.io;
      std::string error;
      const bool built = kinds ? BuildKindsReport(doc, io, &error) : BuildSampleReport(doc, io, "VortelleSample", &error);
      EXPECT_TRUE(built) << error;
      if (!built) return -1;
      CKmExport e;
      choose(e);
      e.StoreTo(&io.m_stream.settings);
      doc.m_pPageSetup->word12 = 255;
      if (paperLength > 0) doc.m_pPageSetup->PaperLength = static_cast<int32_t>(paperLength);
      EXPECT_EQ(io.SaveReportFile(report.c_str()), kRepIoOk);
    }
    int status = -1;
    *output = Capture("cd '" + dir_ + "' && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" + dir_ + "' " + env +
                          " timeout 120 '" + program_run::ProgramPath() + "' /G '" + report + "' 2>&1",
                      &status);
    return status;
  }

  // The independent reader of the format, against the database's own rows.
  void Check(const char* what, int format, const std::string& file, const std::string& extra = std::string()) {
    int status = -1;
    const std::string out = Capture("/usr/bin/python3 '" VT_SOURCE_DIR "/tests/app/exportrun/check_export.py' " +
                                        std::string(what) + " " + std::to_string(format) + " '" + file + "' '" + dir_ +
                                        "/sample.db' " + extra + " 2>&1",
                                    &status);
    EXPECT_EQ(status, 0) << what << " format " << format << ":\n" << out;
  }

  static std::string suiteDir_;
  std::string dir_;
};
std::string ExportRun::suiteDir_;

TEST_F(ExportRun, DataExportsOfEveryFieldKindReadBackAsTheDatabaseHasThem) {
  struct Case {
    int format;
    int fileType;
    const char* name;
  } cases[] = {{kExportXbase, 0, "kinds.dbf"},      {kExportWorksheet, 0, "kinds.wks"},
               {kExportDataFile, 1, "kinds.csv"},   {kExportDataFile, 2, "kinds_tab.txt"},
               {kExportDataFile, 4, "kinds_semi.txt"}, {kExportWordMerge, 1, "merge.csv"},
               {kExportDataFile, 3, "kinds.sdf"}};
  for (const Case& c : cases) {
    const std::string file = dir_ + "/" + c.name;
    std::string output;
    ASSERT_EQ(RunExport(true,
                        [&](CKmExport& e) {
                          e.format = static_cast<uint8_t>(c.format);
                          e.dataFileType = static_cast<uint8_t>(c.fileType ? c.fileType : 1);
                          e.wordMergeType = static_cast<uint8_t>(c.fileType ? c.fileType : 1);
                          e.dataFileSeparator = ";";
                          e.dataFileFlags = kDelimitedNamesLine;
                          e.SetOutputPath(file);
                        },
                        &output),
              0)
        << c.name << "\n" << output;
    ASSERT_TRUE(fs::exists(file)) << c.name << "\n" << output;
    Check("kinds", c.format, file, std::to_string(c.fileType));
  }
}

// Each format also where the file system takes no locks (NFS without its
// lock service): made, then replaced twice over, as anywhere else.
TEST_F(ExportRun, TheSampleReportExportsToEveryFormat) {
  struct Case {
    int format;
    const char* name;
  } cases[] = {{kExportXbase, "sales.dbf"},   {kExportWorksheet, "sales.wks"}, {kExportDataFile, "sales.csv"},
               {kExportWordMerge, "sales_merge.csv"}, {kExportText, "sales.txt"},   {kExportRtf, "sales.rtf"},
               {kExportHtml, "html/sales.htm"},   {kExportViewer, "sales.pdf"}};
  const std::string unlocked = dir_ + "/nolocks";
  fs::create_directories(unlocked);
  const std::string noLocks = program_run::NoLocksEnvironment(dir_ + "/nolocks.so", unlocked);
  for (const std::string& folder : {dir_, unlocked}) {
    const bool locks = folder == dir_;
    if (!locks && noLocks.empty()) break;
    for (const Case& c : cases) {
      const std::string file = folder + "/" + c.name;
      for (int run = 0; run < (locks ? 1 : 3); ++run) {
        std::string output;
        ASSERT_EQ(RunExport(false,
                            [&](CKmExport& e) {
                              e.format = static_cast<uint8_t>(c.format);
                              e.SetOutputPath(file);
                              e.html.options = kHtmlPagePerPage;
                              e.html.borderFlag = 1;
                            },
                            &output, 0, locks ? std::string() : noLocks),
                  0)
            << c.name << " run " << run << "\n" << output;
        ASSERT_TRUE(fs::exists(file)) << c.name << "\n" << output;
      }
      Check("sample", c.format, file);
    }
  }
}

// Pages short enough that the sample takes several: text, RTF and HTML
// keep the report's text in order over the pages, the HTML export one file
// per page linked to the next.
TEST_F(ExportRun, PageImagesOfAReportOfSeveralPages) {
  for (int format : {kExportText, kExportRtf, kExportHtml}) {
    const std::string file = dir_ + "/short/pages" + std::to_string(format) + ".out";
    fs::create_directories(dir_ + "/short");
    std::string output;
    ASSERT_EQ(RunExport(false,
                        [&](CKmExport& e) {
                          e.format = static_cast<uint8_t>(format);
                          e.SetOutputPath(file);
                          e.html.options = kHtmlPagePerPage;
                        },
                        &output, 1000),
              0)
        << output;
    Check("sample", format, file);
  }
  int pages = 0;
  for (const auto& entry : fs::directory_iterator(dir_ + "/short"))
    if (entry.path().filename().string().rfind("pages8", 0) == 0) ++pages;
  EXPECT_GE(pages, 2);
  EXPECT_NE(program_run::Capture("cat '" + dir_ + "/short/pages0.out'").find('\f'), std::string::npos);
}

// A group footer as the band: one row per customer with its totals, the
// last one after the end of the data.
TEST_F(ExportRun, AGroupFooterBandExportsEachGroupsTotals) {
  const std::string file = dir_ + "/footer.csv";
  std::string output;
  ASSERT_EQ(RunExport(false,
                      [&](CKmExport& e) {
                        e.format = kExportDataFile;
                        e.dataFileBand = kBandGroupFooter;
                        e.dataFileFlags = kDelimitedNamesLine;
                        e.SetOutputPath(file);
                      },
                      &output),
            0)
      << output;
  Check("footer", kExportDataFile, file, "1");
}

// An export never writes over the report that is running, whatever the
// format; it keeps the user's links as a saved report does (a symbolic link
// stays a link to the file it names, a file of two names keeps both); and a
// pipe where the file should be is refused at once.
TEST_F(ExportRun, AnExportKeepsTheReportItsLinksAndRefusesPipes) {
  std::string output;
  const std::string report = dir_ + "/kinds.kmw";
  for (int format : {kExportXbase, kExportWorksheet, kExportDataFile, kExportWordMerge}) {
    SCOPED_TRACE(format);
    EXPECT_EQ(RunExport(true,
                        [&](CKmExport& e) {
                          e.format = static_cast<uint8_t>(format);
                          e.SetOutputPath(report);
                        },
                        &output),
              1);
    EXPECT_NE(output.find("Cannot export to master or related file"), std::string::npos) << output;
    EXPECT_EQ(Capture("head -c 4 '" + report + "' | od -An -tx1"), " d0 cf 11 e0\n");
  }

  for (int format : {kExportXbase, kExportWorksheet, kExportDataFile, kExportViewer}) {
    SCOPED_TRACE(format);
    const std::string real = dir_ + "/real" + std::to_string(format) + ".out", link = real + ".link",
                      other = real + ".other";
    { std::FILE* f = std::fopen(real.c_str(), "w"); std::fputs("old", f); std::fclose(f); }
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(real, link);
    fs::create_hard_link(real, other);
    ASSERT_EQ(RunExport(true,
                        [&](CKmExport& e) {
                          e.format = static_cast<uint8_t>(format);
                          e.SetOutputPath(link);
                        },
                        &output),
              0)
        << output;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_GT(fs::file_size(real), 3u);
    EXPECT_TRUE(fs::equivalent(real, other)) << "the file's other name was split off";
    EXPECT_EQ(fs::hard_link_count(real), 2u);
    EXPECT_EQ(fs::status(real).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    for (const auto& entry : fs::directory_iterator(dir_))
      EXPECT_EQ(entry.path().filename().string().find(".~"), std::string::npos) << entry.path();
  }

  for (int format : {kExportText, kExportRtf, kExportHtml, kExportViewer}) {
    SCOPED_TRACE(format);
    const std::string pipe = dir_ + "/pipe" + std::to_string(format) + ".out";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
    int status = RunExport(false,
                           [&](CKmExport& e) {
                             e.format = static_cast<uint8_t>(format);
                             e.SetOutputPath(pipe);
                           },
                           &output);
    EXPECT_EQ(status, 1) << output;
    EXPECT_NE(output.find("Cannot open file"), std::string::npos) << output;
    EXPECT_NE(output.find("pipe" + std::to_string(format) + ".out"), std::string::npos) << output;
    EXPECT_EQ(fs::status(pipe).type(), fs::file_type::fifo);
    fs::remove(pipe);
  }
}

// What must never happen to a user's files: the report's own database
// written over (whatever the spelling of its name), a file left half
// written, a read-only file replaced, a file made for a report without rows.
TEST_F(ExportRun, AFailedExportLeavesEveryFileAsItWas) {
  const std::string db = dir_ + "/sample.db";
  const auto dbSize = fs::file_size(db);
  std::string output;
  fs::create_symlink(db, dir_ + "/alias.db");
  for (const std::string& spelling : {dir_ + "/./sample.db", dir_ + "/alias.db"}) {
    EXPECT_NE(RunExport(true,
                        [&](CKmExport& e) {
                          e.format = kExportXbase;
                          e.SetOutputPath(spelling);
                        },
                        &output),
              0);
    EXPECT_NE(output.find("Cannot export to master or related file"), std::string::npos) << output;
    EXPECT_EQ(fs::file_size(db), dbSize);
  }

  // A place no file can be made (under a plain file, which even root
  // cannot write into): the Parts' message, no file, no scratch file.
  const std::string plain = dir_ + "/plain";
  { std::FILE* f = std::fopen(plain.c_str(), "w"); std::fclose(f); }
  EXPECT_NE(RunExport(true,
                      [&](CKmExport& e) {
                        e.format = kExportDataFile;
                        e.SetOutputPath(plain + "/out.csv");
                      },
                      &output),
            0);
  EXPECT_NE(output.find("Error creating or writing to " + plain + "/out.csv"), std::string::npos) << output;
  EXPECT_EQ(fs::file_size(plain), 0u);

  // A read-only file in place stays as it was.
  const std::string kept = dir_ + "/kept.txt";
  { std::FILE* f = std::fopen(kept.c_str(), "w"); std::fputs("old", f); std::fclose(f); }
  fs::permissions(kept, fs::perms::owner_read);
  {
    EXPECT_NE(RunExport(false,
                        [&](CKmExport& e) {
                          e.format = kExportText;
                          e.SetOutputPath(kept);
                        },
                        &output),
              0);
    EXPECT_NE(output.find("Cannot open file, file is read only: " + kept), std::string::npos) << output;
    EXPECT_EQ(fs::file_size(kept), 3u);
  }

  // A file another program holds open: the plain message, the file as it was.
  const std::string held = dir_ + "/held.rtf";
  { std::FILE* f = std::fopen(held.c_str(), "w"); std::fputs("older", f); std::fclose(f); }
  {
    const int reader = OpenFileForRead(held.c_str());
    ASSERT_GE(reader, 0);
    EXPECT_NE(RunExport(false,
                        [&](CKmExport& e) {
                          e.format = kExportRtf;
                          e.SetOutputPath(held);
                        },
                        &output),
              0);
    CloseFileHandle(reader);
    EXPECT_NE(output.find("Cannot open file: " + held), std::string::npos) << output;
    EXPECT_EQ(fs::file_size(held), 5u);
  }

  // A full disk: every format says so, and the earlier file stays whole.
  FaultyFolder full(FaultyFolder::kFull, 256 * 1024);
  if (full.Mounted()) {
    std::vector<std::string> earlier;
    const int formats[] = {kExportXbase, kExportWorksheet, kExportDataFile, kExportWordMerge,
                           kExportText,  kExportRtf,       kExportHtml,     kExportViewer};
    for (int format : formats) {
      earlier.push_back(full.Path() + "/full" + std::to_string(format) + ".out");
      std::ofstream(earlier.back()) << "earlier";
    }
    ASSERT_TRUE(full.Arm());
    for (size_t i = 0; i < earlier.size(); ++i) {
      SCOPED_TRACE(formats[i]);
      EXPECT_EQ(RunExport(false,
                          [&](CKmExport& e) {
                            e.format = static_cast<uint8_t>(formats[i]);
                            e.SetOutputPath(earlier[i]);
                          },
                          &output),
                1)
          << output;
      EXPECT_FALSE(output.empty());
      EXPECT_EQ(Capture("cat '" + earlier[i] + "'"), "earlier");
    }
    for (const auto& entry : fs::directory_iterator(full.Path()))
      EXPECT_EQ(entry.path().filename().string().find(".~"), std::string::npos) << entry.path();
  }

  // One row more than a worksheet holds: the message names the limit, no file.
  int status = -1;
  Capture("sqlite3 '" + db + "' \"with recursive n(i) as (select 4 union all select i + 1 from n where i < 8192) "
          "insert into kinds select i, 'Row', 1, 1.5, '2000-01-01', '2000-01-01 00:00:00', '00:00:00', 1, 'n' "
          "from n\"",
          &status);
  ASSERT_EQ(status, 0);
  const std::string wide = dir_ + "/wide.wks";
  EXPECT_NE(RunExport(true,
                      [&](CKmExport& e) {
                        e.format = kExportWorksheet;
                        e.SetOutputPath(wide);
                      },
                      &output),
            0);
  EXPECT_NE(output.find("A worksheet holds at most 8,191 rows below its field names; this export has more, and " +
                        wide + " was not written."),
            std::string::npos)
      << output;
  EXPECT_FALSE(fs::exists(wide));

  // No rows: no file at all.
  Capture("sqlite3 '" + db + "' 'delete from kinds'", &status);
  ASSERT_EQ(status, 0);
  for (int format : {kExportXbase, kExportHtml}) {
    const std::string none = dir_ + "/none" + std::to_string(format) + ".out";
    RunExport(true,
              [&](CKmExport& e) {
                e.format = static_cast<uint8_t>(format);
                e.SetOutputPath(none);
              },
              &output);
    EXPECT_FALSE(fs::exists(none)) << output;
    EXPECT_NE(output.find("No records found"), std::string::npos) << output;
  }
  for (const auto& entry : fs::directory_iterator(dir_))
    EXPECT_EQ(entry.path().filename().string().find(".vt"), std::string::npos) << entry.path();
}

}  // namespace
