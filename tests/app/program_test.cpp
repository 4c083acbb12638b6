// The program itself, run unattended: what it writes on standard error and the
// exit status a calling script sees.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
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
      {"/G /Rnothing-here.kmw", "The /G switch requires a valid Library file and Report name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const Outcome o = RunProgram(c.args, dir_);
    EXPECT_NE(o.status, 0);
    EXPECT_NE(o.status, 124) << "timed out: something waited for a person";
    EXPECT_NE(o.output.find(c.message), std::string::npos) << o.output;
  }
}

}  // namespace
