// The private ODBC set-up of a benchmark: a data source "bench" over a SQLite
// file in dir, with the ODBC variables pointing at that folder.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

// False (after a message) when the SQLite ODBC driver is not installed.
inline bool MakeSqliteOdbcDir(const std::string& dir) {
  const char* driver = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";
  if (access(driver, R_OK) != 0) {
    std::fprintf(stderr, "the SQLite ODBC driver is not installed\n");
    return false;
  }
  std::ofstream(dir + "/odbcinst.ini") << "[SQLite3]\nDriver=" << driver << "\n";
  std::ofstream(dir + "/odbc.ini") << "[bench]\nDriver=SQLite3\nDatabase=" << dir << "/bench.db\nStepAPI=1\n";
  setenv("ODBCSYSINI", dir.c_str(), 1);
  setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
  return true;
}
