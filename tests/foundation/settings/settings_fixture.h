// A Windows folder and a program folder made afresh for each test, fixtures
// copied in, and start-up hooks that record messages instead of showing them.
#pragma once

#include "app/document.h"
#include "foundation/startup.h"
#include "foundation/startup_hooks.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace settings_test {

struct RecordingHooks : StartupHooks {
  std::vector<std::string> warnings, errors;
  std::string programDir;
  bool compilerOk = true;
  unsigned handlesGiven = 0;  // 0: as many as asked
  unsigned handlesAsked = 0;
  int dpi = 96;
  std::vector<std::string> calls;

  void Warning(KmDocBase&, const char* text) override { warnings.push_back(text); }
  void Error(KmDocBase&, const char* text) override { errors.push_back(text); }
  std::string ProgramDirectory() override { return programDir; }
  bool InitCompiler(KmDocBase&, unsigned, unsigned) override { return compilerOk; }
  unsigned SetHandleCount(unsigned n) override {
    handlesAsked = n;
    return handlesGiven ? handlesGiven : n;
  }
  void MeasureScreen(KmDocBase&) override {
    g_screen.dpiX = g_screen.dpiY = static_cast<WORD>(dpi);
  }
  void GetDefaultPrinter(KmDocBase&) override { calls.push_back("printer"); }
  void LoadSortOrderFile(KmDocBase&) override { calls.push_back("sort order"); }
  void QuitHelp(KmDocBase&) override { calls.push_back("help"); }
  void RemoveWorkFiles(KmDocBase&) override { calls.push_back("work files"); }
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

class SettingsFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vt-settings-XXXXXX";
    root = ::mkdtemp(tmpl);
    win = root + "/win";
    prog = root + "/prog/";
    ::mkdir(win.c_str(), 0700);
    ::mkdir(prog.c_str(), 0700);
    ::setenv("VORTELLE_WINDIR", win.c_str(), 1);
    hooks.programDir = prog;
    SetStartupHooks(&hooks);
    WriteFile(win + "/kmwsql.ini", "[ODBC]\n");
  }
  void TearDown() override {
    SetStartupHooks(nullptr);
    ::unsetenv("VORTELLE_WINDIR");
    std::string cmd = "rm -rf '" + root + "'";
    if (std::system(cmd.c_str()) != 0) ADD_FAILURE() << "cleanup";
  }
  static std::string Fixture(const char* name) {
    return ReadFile(std::string(VT_TEST_DATA_DIR) + "/settings/" + name);
  }
  void UseWinIni(const char* name) { WriteFile(win + "/win.ini", Fixture(name)); }
  void UseKmwIni(const char* name) { WriteFile(win + "/kmw.ini", Fixture(name)); }

  std::string root, win, prog;
  RecordingHooks hooks;
};

}  // namespace settings_test
