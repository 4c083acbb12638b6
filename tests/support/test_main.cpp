// The main of every test program: a home folder of the process's own, so
// that nothing the toolkit or the program remembers in the user's settings
// (the file dialogs' last folder, the program's own settings) or the
// pictures a test draws leak between tests running side by side or in from
// the user; and the dialog watchdog.
#include "tests/platform/support/dialog_watchdog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string g_home;

void RemoveHome() {
  std::error_code ec;
  if (!g_home.empty()) std::filesystem::remove_all(g_home, ec);
}

void UseOwnHome() {
  char tmpl[] = "/tmp/vt_home_XXXXXX";
  if (::mkdtemp(tmpl) == nullptr) return;
  g_home = tmpl;
  // Caches stay shared: rebuilding the font cache in every process would
  // only cost time, and the toolkit remembers no choice there.
  if (std::getenv("XDG_CACHE_HOME") == nullptr)
    if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/')
      setenv("XDG_CACHE_HOME", (std::string(home) + "/.cache").c_str(), 1);
  setenv("HOME", g_home.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (g_home + "/.config").c_str(), 1);
  setenv("XDG_DATA_HOME", (g_home + "/.local/share").c_str(), 1);
  setenv("XDG_STATE_HOME", (g_home + "/.local/state").c_str(), 1);
  // Pictures a test draws go there too, unless scripts/screens asks for
  // them: test processes side by side must not read each other's.
  if (std::getenv("VT_SCREENS_DIR") == nullptr) setenv("VT_SCREENS_DIR", (g_home + "/screens").c_str(), 1);
  std::atexit(&RemoveHome);
}

}  // namespace

int main(int argc, char** argv) {
  UseOwnHome();
  dialog_watchdog::Install();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
