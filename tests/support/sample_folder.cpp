#include "tests/support/sample_folder.h"

#include "tests/support/program_run.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace sample_folder {
namespace {

namespace fs = std::filesystem;

const std::string& ProcessFolder() {
  struct Folder {
    std::string path;
    Folder() {
      char tmpl[] = "/tmp/vt_sample_db_XXXXXX";
      if (::mkdtemp(tmpl) != nullptr) path = tmpl;
    }
    ~Folder() {
      std::error_code ec;
      if (!path.empty()) fs::remove_all(path, ec);
    }
  };
  static Folder folder;
  return folder.path;
}

}  // namespace

void Clear() {
  const std::string& dir = ProcessFolder();
  if (dir.empty()) return;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) fs::remove_all(entry.path(), ec);
}

std::string MakeFresh() {
  const std::string& dir = ProcessFolder();
  if (dir.empty()) return "";
  Clear();
  int status = -1;
  program_run::Capture("bash '" VT_SOURCE_DIR "/samples/make-sample' '" + dir + "' 2>&1", &status);
  if (status != 0) return "";
  setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
  setenv("ODBCSYSINI", dir.c_str(), 1);
  setenv("VORTELLE_WINDIR", dir.c_str(), 1);
  return dir;
}

std::string MakeOnPostgres(const std::string& dir, int port, int* status) {
  std::error_code ec;
  fs::remove_all(dir, ec);
  return program_run::Capture("VORTELLE_SAMPLE_PGPORT=" + std::to_string(port) + " bash '" VT_SOURCE_DIR
                              "/samples/make-sample' '" + dir + "' 2>&1",
                              status);
}

}  // namespace sample_folder
