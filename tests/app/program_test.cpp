// The program itself, run unattended: what it writes on standard error and the
// exit status a calling script sees.
#include "app/app.h"
#include "app/document.h"
#include "app/open_report.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string ProgramPath() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : (self.parent_path() / "vortelle").string();
}

struct Outcome {
  int status = -1;
  std::string output;
};

// Runs the program with the arguments (a shell word list) in a settings
// folder of its own, with no display.
Outcome RunProgram(const std::string& args, const std::string& settings) {
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM VORTELLE_WINDIR='" + settings +
                              "' XDG_RUNTIME_DIR='" + settings + "' timeout 60 '" + ProgramPath() + "' " + args +
                              " 2>&1";
  Outcome out;
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return out;
  std::array<char, 512> buf{};
  while (std::fgets(buf.data(), static_cast<int>(buf.size()), p) != nullptr) out.output += buf.data();
  const int raw = ::pclose(p);
  out.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(ProgramPath())) GTEST_SKIP() << "the program is not built";
    char tmpl[] = "/tmp/vt_program_XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    fs::permissions(dir_, fs::perms::owner_all);
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }
  std::string dir_;
};

TEST_F(ProgramTest, UnattendedRunsThatCannotPrintEndNonZeroWithTheirMessage) {
  struct Case {
    const char* args;
    const char* message;
  } cases[] = {
      {"/G", "The /G switch requires a valid Library file and Report name"},
      {"/G /X", "Invalid or duplicate command line argument"},
      {"/G /G", "Invalid or duplicate command line argument"},
      // The file's own reason, and no generic line after it.
      {"/G /Rnothing-here.kmw", "Cannot open nothing-here.kmw: there is no such file."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const Outcome o = RunProgram(c.args, dir_);
    EXPECT_NE(o.status, 0);
    EXPECT_NE(o.status, 124) << "timed out: something waited for a person";
    EXPECT_NE(o.output.find(c.message), std::string::npos) << o.output;
    EXPECT_EQ(o.output.find("vortelle: ", o.output.find(c.message)), std::string::npos) << o.output;
  }
}

// A report that cannot be opened says why in one line: no generic line about
// the /G switch follows the real reason.
TEST_F(ProgramTest, AFailedOpenUnderGoSaysItsReasonOnce) {
  const std::string damaged = dir_ + "/damaged.kmw";
  { std::FILE* f = std::fopen(damaged.c_str(), "wb"); std::fputs("not a report at all", f); std::fclose(f); }
  const Outcome o = RunProgram("/G '" + damaged + "'", dir_);
  EXPECT_EQ(o.status, 1) << o.output;
  EXPECT_NE(o.output.find("it is not a report file, or it is damaged"), std::string::npos) << o.output;
  EXPECT_EQ(o.output.find("The /G switch requires"), std::string::npos) << o.output;
}

// The window platform: offscreen only when no display can be reached, and
// never over a platform the environment names.
TEST(WindowPlatform, OffscreenWithoutAReachableDisplay) {
  struct Saved {
    const char* name;
    std::string value;
    bool set;
  } saved[] = {{"QT_QPA_PLATFORM", "", false}, {"DISPLAY", "", false}, {"WAYLAND_DISPLAY", "", false}};
  for (Saved& s : saved)
    if (const char* v = std::getenv(s.name)) s.value = v, s.set = true;
  auto platform = [] {
    const char* v = std::getenv("QT_QPA_PLATFORM");
    return std::string(v != nullptr ? v : "");
  };
  struct Case {
    const char* display;
    const char* wayland;
    const char* preset;
    const char* expected;
  } cases[] = {
      {nullptr, nullptr, nullptr, "offscreen"},
      {":97531", nullptr, nullptr, "offscreen"},        // no such local server
      {"remotehost:0", nullptr, nullptr, ""},             // taken on trust
      {nullptr, "/nonexistent/wayland-9", nullptr, "offscreen"},
      {nullptr, nullptr, "minimal", "minimal"},
  };
  for (const Case& c : cases) {
    unsetenv("QT_QPA_PLATFORM");
    if (c.display) setenv("DISPLAY", c.display, 1); else unsetenv("DISPLAY");
    if (c.wayland) setenv("WAYLAND_DISPLAY", c.wayland, 1); else unsetenv("WAYLAND_DISPLAY");
    if (c.preset) setenv("QT_QPA_PLATFORM", c.preset, 1);
    ChooseWindowPlatform();
    EXPECT_EQ(platform(), c.expected) << (c.display ? c.display : "-") << " " << (c.wayland ? c.wayland : "-");
  }
  for (const Saved& s : saved)
    if (s.set) setenv(s.name, s.value.c_str(), 1); else unsetenv(s.name);
}

}  // namespace

// The File menu reaches the document: commands it owns are handled (doing
// nothing without a report), others are left to the frame.
TEST(FileCommands, HandledHereOrLeftToTheFrame) {
  CKmDoc doc;
  EXPECT_TRUE(DispatchFileCommand(doc, kCmdFilePrint));  // no report: nothing printed
  EXPECT_FALSE(doc.m_bReportOpen);
  EXPECT_FALSE(DispatchFileCommand(doc, 57664));  // About is the frame's
}

// Without a runtime folder from the session the program's own private one serves.
TEST(WindowPlatform, RuntimeFolderWhenTheSessionHasNone) {
  const char* before = std::getenv("XDG_RUNTIME_DIR");
  const std::string saved = before ? before : "";
  unsetenv("XDG_RUNTIME_DIR");
  ChooseWindowPlatform();
  const char* now = std::getenv("XDG_RUNTIME_DIR");
  ASSERT_NE(now, nullptr);
  EXPECT_TRUE(std::filesystem::is_directory(now));
  EXPECT_EQ(std::filesystem::status(now).permissions() & std::filesystem::perms::group_all,
            std::filesystem::perms::none);
  if (before) setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
}
