// Unattended runs (/G) over bad starts: every one ends by itself (a run
// that would wait for an answer is stopped by `timeout` and fails), fails with its reason naming the file on standard error, and
// leaves every input file as it was.
#include "app/document.h"
#include "core/composite.h"
#include "data/open_tables.h"
#include "layout/layout_records.h"
#include "foundation/library_file.h"
#include "app/sample_report.h"
#include "expr/functions_common.h"
#include "files/report_io.h"
#include "foundation/heap_strings.h"
#include "layout/page_setup.h"
#include "platform/ole/compound_file.h"
#include "platform/win/ui_app.h"

#include "tests/support/odbc_env.h"
#include "tests/support/program_run.h"
#include "tests/support/query_file.h"
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
#include <map>
#include <memory>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

using program_run::Capture;
using program_run::MakeMarkingLibrary;
using program_run::ProgramPath;


std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteAll(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

// Every regular file of the folder (the program's own work folders aside).
std::map<std::string, std::string> Snapshot(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file() && e.path().extension() != ".pdf") files[e.path().filename()] = ReadAll(e.path());
  return files;
}

class BadStart : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!fs::exists(ProgramPath()) || Capture("command -v sqlite3").empty() ||
        Capture("ls /usr/lib/*/odbc/libsqlite3odbc.so 2>/dev/null").empty())
      return;
    char tmpl[] = "/tmp/vt_bad_start_XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    int status = -1;
    Capture("bash '" VT_SOURCE_DIR "/samples/make-sample' '" + dir_ + "' 2>&1", &status);
    if (status != 0) return;
    setenv("ODBCINI", (dir_ + "/odbc.ini").c_str(), 1);
    setenv("ODBCSYSINI", dir_.c_str(), 1);
    setenv("VORTELLE_WINDIR", dir_.c_str(), 1);
    UiStartApplication();
    InstallBuiltinFunctionHandlers();
    SampleDocument sample;
    std::string error;
    ready_ = sample.Write("VortelleSample", dir_ + "/sales.kmw", &error);
    if (ready_ && sample.doc.LibraryEngine() != nullptr) {
      LibraryFile& engine = *sample.doc.LibraryEngine();
      const std::string library = dir_ + "/sales.qb6";
      engine.LibFileClose(engine.LibFileCreate(library.c_str(), lib_of::ReadWrite | lib_of::Create, nullptr,
                                               kLibKindReport, 512));
      sample.io.SaveToLibrary(engine, library.c_str(), "sales");
    }
  }
  static void TearDownTestSuite() {
    if (!dir_.empty()) fs::remove_all(dir_);
  }
  void SetUp() override {
    if (!ready_) GTEST_SKIP() << "the sample set-up cannot be made here";
  }

  struct Outcome {
    int status = -1;
    bool endedByItself = false;
    std::string stderrText;
  };
  // A run left waiting (for a box nobody sees) is stopped: timeout's status
  // 124. The limit only ends such a wait; a loaded machine may be slow.
  static Outcome Run(const std::string& args) {
    Outcome o;
    o.stderrText = Capture("cd '" + dir_ + "' && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" + dir_ +
                               "' timeout 120 '" + ProgramPath() + "' " + args + " 2>&1 >/dev/null",
                           &o.status);
    o.endedByItself = o.status != 124;
    return o;
  }

  static std::string dir_;
  static bool ready_;
};
std::string BadStart::dir_;
bool BadStart::ready_ = false;

struct Case {
  const char* name;
  // Makes the bad input in the folder (and may take something away).
  std::function<void(const std::string& dir)> make;
  std::string args;
  // What the reason must name.
  std::string names;
  int expectedStatus = -2;  // -2: any non-zero status
  // Puts back what make changed outside the bad input itself.
  std::function<void(const std::string& dir)> undo = nullptr;
};

std::string Cut(const std::string& bytes, size_t n) { return bytes.substr(0, std::min(n, bytes.size())); }

std::string Flip(std::string bytes, size_t from, size_t count) {
  for (size_t i = from; i < from + count && i < bytes.size(); ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
  return bytes;
}

// The report with the version byte of its first record set to v.
std::string WithStreamVersion(const std::string& path, uint8_t v) {
  vt_ole::Storage root;
  if (vt_ole::ReadStorageFile(path, root) != vt_ole::StorageError::kNone) return std::string();
  for (auto& s : root.streams)
    if (!s.name.empty() && s.name[0] != '\005' && s.data.size() > 4) s.data[4] = v;
  const std::string out = path + ".v.tmp";
  vt_ole::WriteStorageFile(out, root);
  std::string bytes = ReadAll(out);
  fs::remove(out);
  return bytes;
}

// A query-definition file as another program hands one over.
std::string PackedQuery(const char* dataSource, const char* query = "select * from orders") {
  return query_file::Packed(dataSource, query);
}

// The sample report written to file after change() had its way with it.
void WriteChangedSample(const std::string& file, const std::function<void(SampleDocument&)>& change) {
  SampleDocument sample;
  std::string error;
  ASSERT_TRUE(sample.Write("VortelleSample", file, &error)) << error;
  change(sample);
  ASSERT_EQ(sample.io.SaveReportFile(file.c_str()), kRepIoOk);
}

// The rows of a table of the sample database, as sqlite3 counts them.
std::string Rows(const std::string& db, const char* table) {
  return Capture("sqlite3 '" + db + "' 'select count(*) from " + table + "' 2>&1");
}

// The private PostgreSQL server started and its ODBC driver's library; empty
// with the reason when either is missing here.
std::string PostgresDriver(std::string* why) {
  if (!odbc_test::StartPostgres(why)) return std::string();
  const std::string driver = Capture("ls /usr/lib/*/odbc/psqlodbca.so 2>/dev/null | head -1");
  if (driver.empty()) *why = "the PostgreSQL ODBC driver is not installed";
  return driver.substr(0, driver.find('\n'));
}

// An odbc.ini section for a data source on the private server.
std::string PostgresSource(const char* name, const std::string& driver, const char* logon) {
  return std::string("\n[") + name + "]\nDriver=" + driver + "\nServername=127.0.0.1\nPort=" +
         std::to_string(odbc_test::PostgresPort()) + "\nDatabase=postgres\n" + logon + "\n";
}

// Whether one line of the run's standard error holds every one of the texts.
bool SaidOnOneLine(const std::string& stderrText, std::initializer_list<std::string> texts) {
  std::istringstream lines(stderrText);
  for (std::string line; std::getline(lines, line);) {
    bool all = line.rfind("vortelle: ", 0) == 0;
    for (const std::string& t : texts) all = all && line.find(t) != std::string::npos;
    if (all) return true;
  }
  return false;
}

TEST_F(BadStart, EveryBadStartEndsWithItsReasonAndChangesNothing) {
  const std::string report = ReadAll(dir_ + "/sales.kmw");
  auto put = [](const char* file, std::function<std::string()> bytes) {
    return [file, bytes](const std::string& d) { WriteAll(d + "/" + file, bytes()); };
  };
  auto keep = [](const char* file) {
    return [file](const std::string& d) { fs::copy_file(d + "/" + file, d + "/" + file + ".keep"); };
  };
  auto restore = [](const char* file) {
    return [file](const std::string& d) { fs::rename(d + "/" + file + ".keep", d + "/" + file); };
  };
  auto then = [](std::function<void(const std::string&)> a, std::function<void(const std::string&)> b) {
    return [a, b](const std::string& d) {
      a(d);
      b(d);
    };
  };
  auto none = [](const std::string&) {};
  const Case cases[] = {
      {"missing report", none, "/G missing.kmw", "missing.kmw"},
      {"missing report by /R", none, "/G /Rmissing.kmw", "missing.kmw"},
      {"empty report", put("empty.kmw", [] { return std::string(); }), "/G empty.kmw", "empty.kmw"},
      {"truncated report", put("cut.kmw", [&] { return Cut(report, report.size() / 2); }), "/G cut.kmw", "cut.kmw"},
      {"truncated report by /R", put("cut2.kmw", [&] { return Cut(report, 1000); }), "/G /Rcut2.kmw", "cut2.kmw"},
      {"header only", put("head.kmw", [&] { return Cut(report, 512); }), "/G /Rhead.kmw", "head.kmw"},
      {"damaged report", put("bad.kmw", [&] { return Flip(report, 1536, 400); }), "/G bad.kmw", "bad.kmw"},
      {"report stream of version 9", put("v9.kmw", [&] { return WithStreamVersion(dir_ + "/sales.kmw", 9); }),
       "/G v9.kmw", "v9.kmw"},
      {"folder for a report", [](const std::string& d) { fs::create_directory(d + "/folder.kmw"); }, "/G /Rfolder.kmw",
       "folder.kmw"},
      {"damaged library", put("bad.qb6", [] { return std::string(3000, '\x7f'); }), "/G /Lbad.qb6 /Rsales",
       "bad.qb6"},
      {"truncated library", put("cut.qb6", [] { return std::string("\x03\x00\x00", 3); }), "/G cut.qb6", "cut.qb6"},
      {"report taken for a library", put("notlib.qb6", [&] { return report; }), "/G /Lnotlib.qb6 /Rsales",
       "notlib.qb6"},
      {"damaged query file", put("bad.kwq", [] { return std::string("\xff\xfe garbage \x01\x02", 14); }),
       "/G bad.kwq", "bad.kwq"},
      {"query file naming no data source", put("empty.kwq", [] { return std::string(); }), "/G empty.kwq",
       "empty.kwq"},
      {"query file naming an unknown data source", put("nosource.kwq", [] { return PackedQuery("NoSuchSource"); }),
       "/G nosource.kwq", "nosource.kwq"},
      {"missing start file", none, "/G /Smissing.ini", "missing.ini"},
      {"damaged start file", put("bad.ini", [] { return std::string("\x00\xff[Report\x01]MasterTable", 22); }),
       "/G /Sbad.ini", "bad.ini"},
      {"start file naming no table", put("notable.ini", [] { return std::string("[Report]\nDataSource=VortelleSample\n"); }),
       "/G /Snotable.ini", "notable.ini"},
      {"start file naming a missing table",
       put("gone.ini", [] { return std::string("[Report]\nMasterTable=no_such_table\nDataSource=VortelleSample\n"); }),
       "/G /Sgone.ini", "gone.ini"},
      {"damaged kmw.udf", put("kmw.udf", [] { return std::string("garbage\x00\x01", 9); }), "/G sales.kmw",
       "kmw.udf", -2, [](const std::string& d) { fs::remove(d + "/kmw.udf"); }},
      {"damaged kmw.srt", put("kmw.srt", [] { return std::string("NOSUCHSETTING=\x01\nA<<<\n", 20); }),
       "/G sales.kmw", "", 0, [](const std::string& d) { fs::remove(d + "/kmw.srt"); }},
      {"damaged kmw.ini", then(keep("kmw.ini"), put("kmw.ini", [] { return std::string("\x00\xff[Defaults\nRulPit=0\nLibDir=\x01\n", 29); })),
       "/G sales.kmw", "", 0, restore("kmw.ini")},
      {"damaged kmwsql.ini", then(keep("kmwsql.ini"), put("kmwsql.ini", [] { return std::string(700, '\xee'); })),
       "/G sales.kmw", "", 0, restore("kmwsql.ini")},
      {"unknown data source",
       then(keep("odbc.ini"), put("odbc.ini", [] { return std::string("[Other]\nDriver=SQLite3\n"); })),
       "/G sales.kmw", "sales.kmw", -2, restore("odbc.ini")},
      {"vanished table",
       then(keep("sample.db"),
            [](const std::string& d) { Capture("sqlite3 '" + d + "/sample.db' 'drop table order_lines' 2>&1"); }),
       "/G sales.kmw", "sales.kmw", -2, restore("sample.db")},
  };
  int count = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.make(dir_);
    const auto before = Snapshot(dir_);
    const Outcome o = Run(c.args);
    EXPECT_TRUE(o.endedByItself) << o.stderrText;
    if (c.expectedStatus == -2) {
      EXPECT_NE(o.status, 0) << o.stderrText;
      EXPECT_NE(o.status, 124) << "ended by the time limit";
    } else {
      EXPECT_EQ(o.status, c.expectedStatus) << o.stderrText;
    }
    if (!c.names.empty()) {
      bool named = false;
      std::istringstream lines(o.stderrText);
      for (std::string line; std::getline(lines, line);)
        if (line.rfind("vortelle: ", 0) == 0 && line.find(c.names) != std::string::npos) named = true;
      EXPECT_TRUE(named) << o.stderrText;
    }
    EXPECT_EQ(o.stderrText.find("ERROR: AddressSanitizer"), std::string::npos) << o.stderrText;
    EXPECT_EQ(o.stderrText.find("runtime error"), std::string::npos) << o.stderrText;
    const auto after = Snapshot(dir_);
    for (const auto& [name, bytes] : before) {
      auto it = after.find(name);
      EXPECT_TRUE(it != after.end() && it->second == bytes) << name << " changed";
    }
    if (c.undo) c.undo(dir_);
    ++count;
  }
  EXPECT_GE(count, 20);
}

// A library member is printed by /L and /R; the query file of a failed /G
// run is still there afterwards.
TEST_F(BadStart, LibraryMemberPrintsAndQueryFileStays) {
  ASSERT_TRUE(fs::exists(dir_ + "/sales.qb6"));
  fs::remove(dir_ + "/sales.pdf");
  // The member is found, read over the data source it was saved with, and printed.
  const Outcome o = Run("/G /Lsales.qb6 /Rsales");
  EXPECT_EQ(o.status, 0) << o.stderrText;
  EXPECT_TRUE(fs::exists(dir_ + "/sales.pdf")) << o.stderrText;
  if (!Capture("command -v pdftotext").empty()) {
    EXPECT_NE(Capture("pdftotext -layout '" + dir_ + "/sales.pdf' - 2>/dev/null").find("Grand total"), std::string::npos);
  }

  // Extra connection text on the command line reaches the connection intact.
  for (const char* extra : {"/EUID=x", "/E\"UID=someone;PWD=secret\""}) {
    const Outcome e = Run(std::string("/G ") + extra + " sales.kmw");
    EXPECT_EQ(e.status, 0) << extra << "\n" << e.stderrText;
    EXPECT_EQ(e.stderrText.find("AddressSanitizer"), std::string::npos) << e.stderrText;
  }

  WriteAll(dir_ + "/kept.kwq", std::string("\x01\x02\x03", 3));
  Run("/G kept.kwq");
  EXPECT_TRUE(fs::exists(dir_ + "/kept.kwq"));
}

// A data source whose password is wrong: the run ends at once with the
// driver's own reason and the report's name, and the report is unchanged.
TEST_F(BadStart, AWrongPasswordEndsWithTheDriversReason) {
  std::string why;
  using namespace odbc_test;
  const std::string driver = PostgresDriver(&why);
  if (driver.empty()) GTEST_SKIP() << why;
  bool ok = false;
  const std::string hba =
      RunPostgresSql("DROP ROLE IF EXISTS vt_locked; CREATE ROLE vt_locked LOGIN PASSWORD 'right'; SHOW hba_file;", &ok);
  ASSERT_TRUE(ok) << hba;
  // The file's name is the last line psql printed.
  std::string hbaFile = hba.substr(0, hba.find_last_not_of("\n") + 1);
  hbaFile = hbaFile.substr(hbaFile.rfind('\n') + 1);
  // The private server trusts everyone else; this one role must give its password.
  const std::string rules = ReadAll(hbaFile);
  WriteAll(hbaFile, "host all vt_locked 127.0.0.1/32 scram-sha-256\n" + rules);
  RunPostgresSql("SELECT pg_reload_conf();", &ok);
  ASSERT_TRUE(ok);
  const std::string odbcIni = ReadAll(dir_ + "/odbc.ini");
  WriteAll(dir_ + "/odbc.ini", odbcIni + PostgresSource("LockedPg", driver, "Username=vt_locked\nPassword=wrong"));
  const auto before = Snapshot(dir_);
  const Outcome o = Run("/G /NLockedPg sales.kmw");
  WriteAll(dir_ + "/odbc.ini", odbcIni);
  WriteAll(hbaFile, rules);
  RunPostgresSql("SELECT pg_reload_conf();");
  EXPECT_TRUE(o.endedByItself) << o.stderrText;
  EXPECT_NE(o.status, 0) << o.stderrText;
  EXPECT_NE(o.status, 124) << "ended by the time limit";
  EXPECT_NE(o.stderrText.find("password authentication failed"), std::string::npos) << o.stderrText;
  EXPECT_NE(o.stderrText.find("sales.kmw"), std::string::npos) << o.stderrText;
  const auto after = Snapshot(dir_);
  EXPECT_EQ(before.at("sales.kmw"), after.at("sales.kmw"));
}

// Names a report stores never become parts of the connect text: a data
// source name no data source can have, or a database name with connect-text
// syntax, is refused with its message before anything is connected with it,
// so the driver never loads the library a report names; a database name on
// a source whose database is its file opens nothing else and makes no file.
TEST_F(BadStart, StoredSourceAndDatabaseNamesNeverBecomeConnectText) {
  const std::string marker = dir_ + "/loaded.mark", library = dir_ + "/evil.so";
  MakeMarkingLibrary(library, marker);
  const std::string load = ";LoadExt=" + library;
  struct Named {
    const char* file;
    std::string source, database, says;
  } cases[] = {
      {"source.kmw", "VortelleSample" + load, "", "The data source name"},
      {"database.kmw", "VortelleSample", "main" + load, "The database name"},
      {"braced.kmw", "VortelleSample", "main}" + load, "The database name"},
      {"long.kmw", std::string(33, 'V'), "", "The data source name"},
  };
  for (const Named& c : cases) {
    SCOPED_TRACE(c.file);
    WriteChangedSample(dir_ + "/" + c.file, [&](SampleDocument& d) {
      d.io.m_stream.settings.sources[0].sourceName = c.source;
      d.io.m_stream.settings.databaseName = c.database;
    });
    const Outcome o = Run(std::string("/G ") + c.file);
    EXPECT_EQ(o.status, 1) << o.stderrText;
    EXPECT_TRUE(SaidOnOneLine(o.stderrText, {c.says, "cannot be used"})) << o.stderrText;
    EXPECT_FALSE(fs::exists(marker)) << "the report's library was loaded";
  }

  // Another database of a SQLite source: ignored, as the writer never stores
  // one; the source's own rows print and no file appears.
  const auto before = Snapshot(dir_);
  WriteChangedSample(dir_ + "/other.kmw", [&](SampleDocument& d) { d.io.m_stream.settings.databaseName = "other.db"; });
  fs::remove(dir_ + "/other.pdf");
  const Outcome o = Run("/G other.kmw");
  EXPECT_EQ(o.status, 0) << o.stderrText;
  EXPECT_FALSE(fs::exists(dir_ + "/other.db"));
  for (const auto& e : fs::directory_iterator(dir_)) {
    const std::string name = e.path().filename().string();
    EXPECT_TRUE(before.count(name) != 0 || name == "other.kmw" || e.path().extension() == ".pdf" || e.is_directory())
        << name;
  }
  if (!Capture("command -v pdftotext").empty()) {
    EXPECT_NE(Capture("pdftotext -layout '" + dir_ + "/other.pdf' - 2>/dev/null").find("Grand total"),
              std::string::npos);
  }
}

// On a PostgreSQL server: a database name or source name a report stores
// never adds a connect attribute, so no setting of the report's runs SQL.
TEST_F(BadStart, StoredNamesRunNothingOnTheServer) {
  std::string why;
  using namespace odbc_test;
  const std::string driver = PostgresDriver(&why);
  if (driver.empty()) GTEST_SKIP() << why;
  const std::string odbcIni = ReadAll(dir_ + "/odbc.ini");
  WriteAll(dir_ + "/odbc.ini", odbcIni + PostgresSource("VtCanary", driver, "Username=postgres"));
  const std::string drop = ";ConnSettings=drop table vt_canary";
  struct Named {
    const char* file;
    std::string source, database;
  } cases[] = {
      {"pg_database.kmw", "VtCanary", "postgres" + drop},
      {"pg_source.kmw", "VtCanary" + drop, ""},
  };
  for (const Named& c : cases) {
    SCOPED_TRACE(c.file);
    bool ok = false;
    RunPostgresSql("DROP TABLE IF EXISTS vt_canary; CREATE TABLE vt_canary (x integer);", &ok);
    ASSERT_TRUE(ok);
    WriteChangedSample(dir_ + "/" + c.file, [&](SampleDocument& d) {
      d.io.m_stream.settings.sources[0].sourceName = c.source;
      d.io.m_stream.settings.databaseName = c.database;
    });
    const Outcome o = Run(std::string("/G ") + c.file);
    EXPECT_EQ(o.status, 1) << o.stderrText;
    EXPECT_NE(o.stderrText.find("cannot be used"), std::string::npos) << o.stderrText;
    RunPostgresSql("SELECT count(*) FROM vt_canary;", &ok);
    EXPECT_TRUE(ok) << "the report's setting ran on the server";
  }
  WriteAll(dir_ + "/odbc.ini", odbcIni);
}

// What a report names where a file is expected: a pipe, a device or a file
// far larger than any report text is refused with a message at once; a
// picture that is not there is said on one line and left out.
TEST_F(BadStart, FilesAReportNamesAreRegularFilesOrRefused) {
  const std::string text = dir_ + "/notes.txt";
  WriteAll(text, "Dear customer,\nthank you.\n");
  WriteChangedSample(dir_ + "/letter.kmw", [&](SampleDocument& d) {
    ASSERT_EQ(OpenTextTable(d.doc.m_pModel, text.c_str(), "NOTES"), 0);
  });
  const std::string keep = ReadAll(text);
  const std::string big = dir_ + "/big.txt";
  auto pipe = [](const std::string& p) {
    fs::remove(p);
    ASSERT_EQ(mkfifo(p.c_str(), 0644), 0);
  };
  // The text table as a pipe, as a huge sparse file.
  pipe(text);
  Outcome o = Run("/G letter.kmw");
  EXPECT_NE(o.status, 124) << "ended by the time limit";
  EXPECT_TRUE(o.endedByItself) << o.stderrText;
  EXPECT_TRUE(SaidOnOneLine(o.stderrText, {"notes.txt"})) << o.stderrText;
  fs::remove(text);
  { std::ofstream(text, std::ios::binary); }
  fs::resize_file(text, uintmax_t{3} << 30);
  o = Run("/G letter.kmw");
  EXPECT_NE(o.status, 124) << "ended by the time limit";
  EXPECT_EQ(o.stderrText.find("bad_alloc"), std::string::npos) << o.stderrText;
  EXPECT_TRUE(SaidOnOneLine(o.stderrText, {"notes.txt"})) << o.stderrText;
  fs::remove(text);
  WriteAll(text, keep);

  // A library that is a pipe.
  pipe(dir_ + "/pipe.qb6");
  o = Run("/G /Lpipe.qb6 /Rsales");
  EXPECT_NE(o.status, 124) << "ended by the time limit";
  EXPECT_NE(o.status, 0);
  EXPECT_TRUE(SaidOnOneLine(o.stderrText, {"pipe.qb6"})) << o.stderrText;
  fs::remove(dir_ + "/pipe.qb6");

  // A picture whose file is gone.
  WriteChangedSample(dir_ + "/picture.kmw", [&](SampleDocument& d) {
    PictureItem picture;
    picture.head.flags = kNewPictureFlags;
    picture.head.left = 400;
    picture.head.right = 440;
    picture.head.height = 30;
    picture.shownWidth = 40;
    picture.shownHeight = 30;
    std::snprintf(picture.fileName, sizeof picture.fileName, "%s/gone.png", dir_.c_str());
    d.doc.m_pLayout->pictures.Append(picture);
  });
  o = Run("/G picture.kmw");
  EXPECT_EQ(o.status, 0) << o.stderrText;
  EXPECT_TRUE(SaidOnOneLine(o.stderrText, {"Cannot open picture file", "gone.png"})) << o.stderrText;
}

}  // namespace

namespace {

// A data source whose database is a bare file name, as users write them:
// the database name a report stores is never opened as a file of its own.
// No file is made (in the folder, its parent, or by a "file:" name) and the
// rows printed are the data source's own.
TEST_F(BadStart, ARelativeDatabaseNameOpensNoOtherFile) {
  const std::string odbcIni = ReadAll(dir_ + "/odbc.ini");
  WriteAll(dir_ + "/odbc.ini", odbcIni + "\n[RelativeSample]\nDriver=SQLite3\nDatabase=sample.db\nStepAPI=1\n");
  // Another database beside it, whose rows must not be the ones printed.
  fs::copy_file(dir_ + "/sample.db", dir_ + "/other.db", fs::copy_options::overwrite_existing);
  Capture("sqlite3 '" + dir_ + "/other.db' \"update customers set company = 'Other Database Co'\" 2>&1");
  const std::string parent = fs::path(dir_).parent_path().string();
  const auto before = Snapshot(dir_);
  for (const char* stored : {"main", "other.db", "../vt_created_dotdot.db", "file:vt_made.db"}) {
    SCOPED_TRACE(stored);
    WriteChangedSample(dir_ + "/relative.kmw", [&](SampleDocument& d) {
      d.io.m_stream.settings.sources[0].sourceName = "RelativeSample";
      d.io.m_stream.settings.databaseName = stored;
    });
    fs::remove(dir_ + "/relative.pdf");
    const Outcome o = Run("/G relative.kmw");
    EXPECT_EQ(o.status, 0) << o.stderrText;
    for (const char* made : {"main", "vt_made.db", "file:vt_made.db"}) EXPECT_FALSE(fs::exists(dir_ + "/" + made)) << made;
    EXPECT_FALSE(fs::exists(parent + "/vt_created_dotdot.db"));
    for (const auto& e : fs::directory_iterator(dir_)) {
      const std::string name = e.path().filename().string();
      EXPECT_TRUE(before.count(name) != 0 || name == "relative.kmw" || e.path().extension() == ".pdf" ||
                  e.is_directory())
          << name;
    }
    if (!Capture("command -v pdftotext").empty()) {
      const std::string text = Capture("pdftotext -layout '" + dir_ + "/relative.pdf' - 2>/dev/null");
      EXPECT_NE(text.find("Grand total"), std::string::npos) << text;
      EXPECT_EQ(text.find("Other Database Co"), std::string::npos) << "another database's rows were printed";
    }
  }
  fs::remove(parent + "/vt_created_dotdot.db");
  fs::remove(dir_ + "/other.db");
  WriteAll(dir_ + "/odbc.ini", odbcIni);
}

// A start file's user name or password that would close its braces and add
// an attribute of its own (the SQLite driver splits the text at every ";"
// and reads no braces) is refused with its reason: the run ends with status
// 1 and no library is loaded.
TEST_F(BadStart, AStartFileLogOnNeverAddsConnectAttributes) {
  const std::string marker = dir_ + "/logon.mark", library = dir_ + "/logon.so";
  MakeMarkingLibrary(library, marker);
  for (const char* key : {"UserName", "Password"}) {
    SCOPED_TRACE(key);
    WriteAll(dir_ + "/logon.ini", std::string("[Report]\nMasterTable=customers\nDataSource=VortelleSample\n") + key +
                                      "=x};LoadExt=" + library + ";{\n");
    const Outcome o = Run("/G /Slogon.ini");
    EXPECT_EQ(o.status, 1) << o.stderrText;
    EXPECT_TRUE(SaidOnOneLine(o.stderrText, {"logon.ini", std::string(key) == "UserName" ? "user name" : "password",
                                             "cannot be used"}))
        << o.stderrText;
    EXPECT_FALSE(fs::exists(marker)) << "the start file's library was loaded";
  }
}

// A statement that would change the data, or load a library, never reaches
// the data source: handed over in a query file or stored in a report, the
// unattended run ends with status 1 and the reason, and the rows stay.
TEST_F(BadStart, UserSqlThatChangesTheDataIsRefused) {
  const std::string db = dir_ + "/sample.db";
  const std::string marker = dir_ + "/statement.mark", library = dir_ + "/statement.so";
  MakeMarkingLibrary(library, marker);
  const std::string rows = Rows(db, "order_lines");
  ASSERT_GT(std::atoi(rows.c_str()), 0) << rows;
  const std::string load = "select load_extension('" + library + "')";
  for (const std::string& statement :
       {std::string("delete from order_lines"), std::string("select 1; delete from order_lines"), load}) {
    SCOPED_TRACE(statement);
    WriteAll(dir_ + "/change.kwq", PackedQuery("VortelleSample", statement.c_str()));
    Outcome o = Run("/G change.kwq");
    EXPECT_EQ(o.status, 1) << o.stderrText;
    EXPECT_TRUE(SaidOnOneLine(o.stderrText, {"only reads data"})) << o.stderrText;

    WriteChangedSample(dir_ + "/change.kmw", [&](SampleDocument& d) {
      CKmComposite* m = d.doc.m_pModel;
      auto* copy = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(statement.size() + 1)));
      ASSERT_NE(copy, nullptr);
      std::memcpy(copy, statement.c_str(), statement.size());
      if (m->statementText != nullptr) HeapFreeBlock(m->statementText);
      m->statementText = copy;
    });
    o = Run("/G change.kmw");
    EXPECT_EQ(o.status, 1) << o.stderrText;
    EXPECT_TRUE(SaidOnOneLine(o.stderrText, {"change.kmw", "only reads data"})) << o.stderrText;
    EXPECT_EQ(Rows(db, "order_lines"), rows);
    EXPECT_FALSE(fs::exists(marker)) << "the statement's library was loaded";
  }
  fs::remove(dir_ + "/change.kwq");
}

// On the PostgreSQL server a report's statement changes no table either:
// one that says so is refused before it is sent, and one that hides the
// change in a function fails on the read-only connection. The canary table
// keeps its rows.
TEST_F(BadStart, TheCanaryTableOnTheServerKeepsItsRows) {
  std::string why;
  using namespace odbc_test;
  const std::string driver = PostgresDriver(&why);
  if (driver.empty()) GTEST_SKIP() << why;
  bool ok = false;
  RunPostgresSql("DROP TABLE IF EXISTS vt_canary; CREATE TABLE vt_canary (x integer); "
                 "INSERT INTO vt_canary VALUES (1), (2); "
                 "CREATE OR REPLACE FUNCTION vt_wipe() RETURNS integer LANGUAGE sql AS "
                 "'DELETE FROM vt_canary; SELECT 1';",
                 &ok);
  ASSERT_TRUE(ok);
  const std::string odbcIni = ReadAll(dir_ + "/odbc.ini");
  WriteAll(dir_ + "/odbc.ini", odbcIni + PostgresSource("VtCanary", driver, "Username=postgres"));
  for (const char* statement : {"delete from vt_canary", "select vt_wipe() as wiped", "select 1; delete from vt_canary",
                                "select * into vt_copy from vt_canary"}) {
    SCOPED_TRACE(statement);
    WriteAll(dir_ + "/canary.kwq", PackedQuery("VtCanary", statement));
    const Outcome o = Run("/G canary.kwq");
    EXPECT_EQ(o.status, 1) << o.stderrText;
    EXPECT_TRUE(o.endedByItself) << o.stderrText;
    EXPECT_EQ(RunPostgresSql("SELECT count(*) FROM vt_canary;", &ok), "2\n");
    EXPECT_EQ(RunPostgresSql("SELECT to_regclass('vt_copy') IS NULL;", &ok), "t\n");
  }
  fs::remove(dir_ + "/canary.kwq");
  WriteAll(dir_ + "/odbc.ini", odbcIni);
}

}  // namespace
