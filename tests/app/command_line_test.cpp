// The command line: switches, duplicates, bad arguments and bare names as a
// table of cases, and acting on what was parsed with the document's steps
// replaced by a recorder.
#include "app/app.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

void WriteCompoundFile(const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  const unsigned char sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  out.write(reinterpret_cast<const char*>(sig), sizeof sig);
  out << std::string(504, '\0');
}

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vt_cmdline_XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    report_ = dir_ + "/sales.kmw";
    WriteCompoundFile(report_);
    spaced_ = dir_ + "/my  report.kmw";
    WriteCompoundFile(spaced_);
    std::ofstream(dir_ + "/plain.kmw") << "not a compound file";
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string dir_, report_, spaced_;
};

struct ParseCase {
  const char* line;  // "$R" stands for the report's path, "$S" for the spaced one
  bool ok;
  bool fileGiven;
  const char* slots;  // letters of the positions that must be set: R L T I S Q N D G
};

std::string Expand(const std::string& text, const std::string& report, const std::string& spaced) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '$' && i + 1 < text.size() && (text[i + 1] == 'R' || text[i + 1] == 'S')) {
      out += text[i + 1] == 'R' ? report : spaced;
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string SetSlots(const CommandLineSwitches& s) {
  std::string out;
  if (s.report) out += 'R';
  if (s.library) out += 'L';
  if (s.blank) out += 'T';
  if (s.instant) out += 'I';
  if (s.startFile) out += 'S';
  if (s.queryFile) out += 'Q';
  if (s.dataSource) out += 'N';
  if (s.dll) out += 'D';
  if (s.go) out += 'G';
  return out;
}

TEST_F(CommandLineTest, SwitchesDuplicatesAndBareNames) {
  const ParseCase cases[] = {
      {"", true, false, ""},
      {"/Rsales.kmw", true, true, "R"},
      {"/rsales.kmw /g", true, true, "RG"},
      {"/Ra.kmw /Rb.kmw", false, false, ""},
      {"/Lreports.qb6 /Rmonthly", true, true, "RL"},
      {"/Lone.qb6 /Ltwo.qb6", false, false, ""},
      {"/Tcustomers", true, true, "T"},
      {"/Tcustomers /Iorders", false, false, ""},
      {"/Iorders /Iorders", false, false, ""},
      {"/Nsample", true, false, "N"},
      {"/Nsample /Nother", false, false, ""},
      {"/Euid=me /Epwd=x", false, false, ""},
      {"/Dlibextra.so", true, false, "D"},
      {"/Da.so /Db.so", false, false, ""},
      {"/G", true, false, "G"},
      {"/G /G", false, false, ""},
      {"/X", false, false, ""},
      {"/", false, false, ""},
      // A start file ends the parse: what follows is never looked at.
      {"/Sstart.txt /Rb.kmw /X", true, true, "S"},
      {"/Rb.kmw /Sstart.txt", false, false, ""},
      {"/Tcust /Sstart.txt", false, false, ""},
      // Bare names: classified by content or extension, from their own place.
      {"$R", true, true, "R"},
      {"/G $R", true, true, "RG"},
      {"/Rother.kmw $R", false, false, ""},
      {"monthly.QB6", true, true, "L"},
      {"templates.qn6", true, true, "L"},
      {"orders.kwq", true, true, "Q"},
      {"notes.txt", false, false, ""},
      {"plain.kmw", false, false, ""},
      // A quoted path keeps its blanks; an unquoted one takes the rest of the line.
      {"\"$S\"", true, true, "R"},
      {"/G \"$S\"", true, true, "RG"},
      // Unquoted, an absolute path with blanks is still a path (its first
      // folder exists) and takes the rest of the line.
      {"/G $S", true, true, "RG"},
      // A switch whose value is an absolute path stays a switch.
      {"/L/nowhere/reports.qb6 /Rmonthly", true, true, "RL"},
  };
  for (const ParseCase& c : cases) {
    CKmApp app;
    const std::string line = Expand(c.line, report_, spaced_);
    BOOL fileGiven = -1;
    const BOOL ok = app.ParseCommandLine(line.c_str(), &fileGiven);
    SCOPED_TRACE(line);
    EXPECT_EQ(ok != 0, c.ok);
    EXPECT_EQ(app.lastCommandLineError(), c.ok ? 0u : 1001u);
    if (c.ok) {
      EXPECT_EQ(fileGiven != 0, c.fileGiven);
      EXPECT_EQ(SetSlots(app.Switches()), c.slots);
    }
  }
}

TEST_F(CommandLineTest, ValuesComeFromTheirSwitchesAndBareNamesWhole) {
  CKmApp app;
  ASSERT_TRUE(app.ParseCommandLine("/Nsample /Euid=me /Lbooks.qb6 /Rjan", nullptr));
  EXPECT_STREQ(app.SwitchValue(app.Switches().library), "books.qb6");
  EXPECT_STREQ(app.SwitchValue(app.Switches().report), "jan");
  EXPECT_EQ(app.CommandLineDsn(), "sample");
  EXPECT_EQ(app.GetConnectText(), "uid=me");
  EXPECT_FALSE(app.LibraryModeFromCommandLine());
  EXPECT_STREQ(app.SwitchValue(0), "");

  // A relative name with blanks, unquoted, runs to the end of the line with its spacing.
  const fs::path before = fs::current_path();
  fs::current_path(dir_);
  CKmApp spaced;
  const BOOL spacedOk = spaced.ParseCommandLine("/G my  report.kmw", nullptr);
  fs::current_path(before);
  ASSERT_TRUE(spacedOk);
  EXPECT_STREQ(spaced.SwitchValue(spaced.Switches().report), "my  report.kmw") << "two blanks kept";

  CKmApp absolute;
  ASSERT_TRUE(absolute.ParseCommandLine(report_.c_str(), nullptr)) << "an existing absolute path is a file";
  EXPECT_EQ(absolute.SwitchValue(absolute.Switches().report), report_);

  // A report that does not exist yet, given by its absolute path, is a file
  // that cannot be read, not the /T switch its first letters spell.
  CKmApp missing;
  EXPECT_FALSE(missing.ParseCommandLine(("/G " + dir_ + "/tables.kmw").c_str(), nullptr));
  EXPECT_EQ(missing.Switches().blank, 0);

  CKmApp library;
  ASSERT_TRUE(library.ParseCommandLine("monthly.qb3", nullptr));
  EXPECT_TRUE(library.LibraryModeFromCommandLine());
}

TEST_F(CommandLineTest, OverlongLinesAndTooManyTokensAreRefused) {
  CKmApp app;
  EXPECT_FALSE(app.ParseCommandLine(("/R" + std::string(210, 'a')).c_str(), nullptr));
  EXPECT_EQ(app.lastCommandLineError(), 1001u);
  std::string many;
  for (int i = 0; i < 52; ++i) many += "/G ";
  CKmApp app2;
  EXPECT_FALSE(app2.ParseCommandLine(many.c_str(), nullptr));
  EXPECT_EQ(app2.lastCommandLineError(), 1001u);
}

TEST_F(CommandLineTest, LibraryArgumentIsFoundAsGivenOrInTheLibraryFolder) {
  std::ofstream(dir_ + "/books.qb6") << "x";
  const std::string cwdName = "vt_no_such_library.qb6";
  {
    CKmApp app;
    ASSERT_TRUE(app.ParseCommandLine(("/L" + dir_ + "/books.qb6").c_str(), nullptr));
    app.ApplyLibraryArgument();
    EXPECT_EQ(app.CurrentFile(), dir_ + "/books.qb6");
  }
  {
    CKmApp app;
    app.SetLibraryFolder(dir_);
    ASSERT_TRUE(app.ParseCommandLine("/Lbooks.qb6", nullptr));
    app.ApplyLibraryArgument();
    EXPECT_EQ(app.CurrentFile(), dir_ + "/books.qb6");
  }
  {
    CKmApp app;
    app.SetLibraryFolder(dir_);
    ASSERT_TRUE(app.ParseCommandLine(("/L" + cwdName).c_str(), nullptr));
    app.ApplyLibraryArgument();
    EXPECT_EQ(app.CurrentFile(), "");
  }
}

// Records what acting on the command line asked of the document.
class RecordingActions : public CommandLineActions {
 public:
  bool ReadStartFile(const char* path, std::string* master) override {
    log.push_back(std::string("start ") + path);
    *master = startMaster;
    return startReads;
  }
  BOOL DoFileNew(const char* master, int, int, int fromQuery, int mode) override {
    log.push_back("new " + std::string(master ? master : "-") + " " + std::to_string(fromQuery) + " " +
                  std::to_string(mode));
    return TRUE;
  }
  bool LoadQueryFile(const char* path) override {
    log.push_back(std::string("query ") + path);
    return true;
  }
  bool OpenCommandLineLibrary(const char* path) override {
    log.push_back(std::string("openlib ") + path);
    return true;
  }
  void CloseLibrary() override { log.push_back("closelib"); }
  bool ListMembers(std::vector<std::string>* names) override {
    *names = members;
    return !members.empty();
  }
  bool FindMember(const char* name, long* first, std::string* error) override {
    for (size_t i = 0; i < members.size(); ++i)
      if (members[i] == name) {
        *first = static_cast<long>(10 * (i + 1));
        return true;
      }
    *error = "Member not found";
    return false;
  }
  void SetLibraryEntry(long first) override { log.push_back("entry " + std::to_string(first)); }
  int OpenReport(const char* path) override {
    log.push_back(std::string("open ") + path);
    return openResult;
  }
  void FinishOpen(const char* name) override { log.push_back(std::string("finish ") + name); }
  void ShowError(UINT id, const char* a1, const char* a2) override {
    log.push_back("error " + std::to_string(id) + (a1 ? std::string(" ") + a1 : "") + (a2 ? std::string(" ") + a2 : ""));
  }

  std::vector<std::string> log;
  std::string startMaster = "customers";
  bool startReads = true;
  std::vector<std::string> members{"monthly"};
  int openResult = 1;
};

using Log = std::vector<std::string>;

Log Act(const std::string& line, RecordingActions& actions, BOOL* loaded, const std::string& folder = "") {
  CKmApp app;
  app.SetCommandLineActions(&actions);
  app.SetLibraryFolder(folder);
  EXPECT_TRUE(app.ParseCommandLine(line.c_str(), nullptr)) << line;
  app.ApplyLibraryArgument();
  *loaded = app.RunCommandLine();
  EXPECT_EQ(*loaded, app.ReportLoaded());
  return actions.log;
}

TEST_F(CommandLineTest, EachWayOfOpeningReachesItsDocumentStep) {
  BOOL loaded = FALSE;
  {
    RecordingActions a;
    EXPECT_EQ(Act("/Sstart.txt", a, &loaded), (Log{"start start.txt", "new customers 0 10"}));
    EXPECT_TRUE(loaded);
  }
  {
    RecordingActions a;
    a.startMaster.clear();
    EXPECT_EQ(Act("/Sstart.txt", a, &loaded), (Log{"start start.txt", "error 677"}));
    EXPECT_FALSE(loaded);
  }
  {
    RecordingActions a;
    a.startReads = false;  // the reader has said why; no second message
    EXPECT_EQ(Act("/Sgone.txt", a, &loaded), (Log{"start gone.txt"}));
    EXPECT_FALSE(loaded);
  }
  {
    RecordingActions a;
    EXPECT_EQ(Act("/G " + report_, a, &loaded), (Log{"open " + report_, "finish " + report_}));
    EXPECT_TRUE(loaded);
  }
  {
    RecordingActions a;
    EXPECT_EQ(Act("/R" + dir_ + "/plain.kmw", a, &loaded), (Log{"error 62304 " + dir_ + "/plain.kmw"}))
        << "not a report file: nothing opened, and the file is named";
    EXPECT_FALSE(loaded);
  }
  {
    RecordingActions a;
    a.openResult = -1;
    EXPECT_EQ(Act("/R" + report_, a, &loaded), (Log{"open " + report_}));
    EXPECT_FALSE(loaded);
  }
  {
    RecordingActions a;
    EXPECT_EQ(Act("/Tcustomers", a, &loaded), (Log{"new customers 0 3"}));
    RecordingActions b;
    EXPECT_EQ(Act("/Iorders", b, &loaded), (Log{"new orders 0 2"}));
    RecordingActions c;
    EXPECT_EQ(Act("orders.kwq", c, &loaded), (Log{"query orders.kwq", "new - 1 2"}));
    EXPECT_TRUE(loaded);
  }
  {
    RecordingActions a;
    EXPECT_EQ(Act("/G", a, &loaded), Log{});
    EXPECT_FALSE(loaded);
  }
}

TEST_F(CommandLineTest, LibraryMembersAreChosenByNameOrWhenAlone) {
  std::ofstream(dir_ + "/books.qb6") << "x";
  const std::string lib = dir_ + "/books.qb6";
  BOOL loaded = FALSE;
  {
    RecordingActions a;  // one member: it is the report
    EXPECT_EQ(Act("/L" + lib, a, &loaded),
              (Log{"openlib " + lib, "closelib", "openlib " + lib, "entry 10", "open " + lib, "finish monthly"}));
    EXPECT_TRUE(loaded);
  }
  {
    RecordingActions a;  // several and none named: nothing opens
    a.members = {"jan", "feb"};
    EXPECT_EQ(Act("/Lbooks.qb6", a, &loaded, dir_), (Log{"openlib " + lib, "closelib"}));
    EXPECT_FALSE(loaded);
  }
  {
    RecordingActions a;
    a.members = {"jan", "feb"};
    EXPECT_EQ(Act("/L" + lib + " /Rfeb", a, &loaded),
              (Log{"openlib " + lib, "entry 20", "open " + lib, "finish feb"}));
    EXPECT_TRUE(loaded);
  }
  {
    RecordingActions a;
    EXPECT_EQ(Act("/L" + lib + " /Rmarch", a, &loaded),
              (Log{"openlib " + lib, "error 1024 Member not found march", "closelib"}));
    EXPECT_FALSE(loaded);
  }
}

}  // namespace
