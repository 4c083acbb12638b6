#include "platform/qe/odbc_admin.h"

#include <odbcinst.h>

// unixODBC's installer names its own configuration folder here.
extern "C" char* odbcinst_system_file_path(char* buffer);

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {
// The administrators unixODBC's graphical tools install, newest first.
const char* const kAdministrators[] = {"ODBCManageDataSourcesQ5", "ODBCManageDataSourcesQ4", "ODBCConfig"};
}  // namespace

std::string FindOdbcAdministrator() {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return std::string();
  const std::string dirs = path;
  for (const char* name : kAdministrators) {
    size_t at = 0;
    while (at <= dirs.size()) {
      size_t colon = dirs.find(':', at);
      std::string dir = dirs.substr(at, colon == std::string::npos ? std::string::npos : colon - at);
      if (!dir.empty()) {
        std::string candidate = dir + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
      }
      if (colon == std::string::npos) break;
      at = colon + 1;
    }
  }
  return std::string();
}

bool RunOdbcAdministrator(const std::string& path) {
  if (path.empty()) return false;
  pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
  }
  return !(WIFEXITED(status) && WEXITSTATUS(status) == 127);
}

void GetOdbcIniFiles(std::string* user, std::string* system) {
  if (user != nullptr) {
    const char* ini = std::getenv("ODBCINI");
    const char* home = std::getenv("HOME");
    *user = ini != nullptr && *ini ? std::string(ini) : std::string(home != nullptr ? home : "~") + "/.odbc.ini";
  }
  if (system != nullptr) {
    const char* sys = std::getenv("ODBCSYSINI");
    if (sys != nullptr && *sys) {
      *system = std::string(sys) + "/odbc.ini";
    } else {
      char dir[1024] = {};
      // The driver manager's own configuration folder (often /etc).
      *system = std::string(odbcinst_system_file_path(dir)) + "/odbc.ini";
    }
  }
}
