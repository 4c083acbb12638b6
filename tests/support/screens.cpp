#include "tests/support/screens.h"

#include <cstdlib>
#include <filesystem>

std::string ScreenPath(const std::string& name) {
  namespace fs = std::filesystem;
  const char* dir = std::getenv("VT_SCREENS_DIR");
  fs::path base = (dir && *dir) ? fs::path(dir) : fs::temp_directory_path() / "vt-screens";
  std::error_code ec;
  fs::create_directories(base, ec);
  return (base / (name + ".png")).string();
}
