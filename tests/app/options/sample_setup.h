// One sample set-up (database, data source, settings and label files) for the
// whole test program: the ODBC driver manager reads its data sources once per
// process, so every test of the program works on the same folder.
#pragma once

#include "tests/support/program_run.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace options_test {

constexpr char kTestLabels[] =
    "[Labels]\n"
    "Address 3x10=Address labels, L, 1, 2.63, 3, 10, 0.5, 0.19, 2.75, 1\n"
    "Broken=Broken stock, Q, 1, 1, 1, 1, 0, 0, 1, 1\n"
    "Big 2 across=Big labels, L, 4.5, 3.5, 2, 2, 0.5, 0.25, 4, 5\n";

// The folder, made on first use ("" when the sample cannot be made); gone at exit.
inline const std::string& SampleDir() {
  struct Folder {
    std::string path;
    Folder() {
      if (program_run::Capture("ls /usr/lib/*/odbc/libsqlite3odbc.so 2>/dev/null").empty() ||
          program_run::Capture("command -v sqlite3").empty() || program_run::Capture("command -v pdftotext").empty())
        return;
      char tmpl[] = "/tmp/vt_options_XXXXXX";
      if (::mkdtemp(tmpl) == nullptr) return;
      int status = -1;
      program_run::Capture("bash '" VT_SOURCE_DIR "/samples/make-sample' '" + std::string(tmpl) + "' 2>&1", &status);
      if (status != 0) return;
      path = tmpl;
      std::ofstream(path + "/kmlabels.ini") << kTestLabels;
      setenv("ODBCINI", (path + "/odbc.ini").c_str(), 1);
      setenv("ODBCSYSINI", path.c_str(), 1);
      setenv("VORTELLE_WINDIR", path.c_str(), 1);
    }
    ~Folder() {
      std::error_code ec;
      if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
  };
  static Folder folder;
  return folder.path;
}

}  // namespace options_test
