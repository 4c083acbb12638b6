#include "platform/qe/cursor_fetch.h"

#include <odbcinst.h>
#include <strings.h>

#include <string>
#include <vector>

namespace qe_cursor {

namespace {

std::string Trim(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return std::string();
  const size_t b = s.find_last_not_of(" \t");
  return s.substr(a, b - a + 1);
}

// The value of key in a connection text (KEY=value pairs split by ';', a
// value in braces may hold ';'); found says whether the key is there.
std::string Attribute(const std::string& text, const char* key, bool* found) {
  *found = false;
  size_t at = 0;
  while (at < text.size()) {
    const size_t eq = text.find('=', at);
    if (eq == std::string::npos) break;
    size_t end = eq + 1;
    while (end < text.size() && (text[end] == ' ' || text[end] == '\t')) ++end;
    if (end < text.size() && text[end] == '{') {
      const size_t close = text.find('}', end);
      end = close == std::string::npos ? text.size() : close + 1;
    }
    end = text.find(';', end);
    if (end == std::string::npos) end = text.size();
    const std::string name = Trim(text.substr(at, eq - at));
    if (strcasecmp(name.c_str(), key) == 0) {
      *found = true;
      std::string value = Trim(text.substr(eq + 1, end - eq - 1));
      if (value.size() >= 2 && value.front() == '{' && value.back() == '}') value = value.substr(1, value.size() - 2);
      return value;
    }
    at = end + 1;
  }
  return std::string();
}

std::string Profile(const std::string& section, const char* key, const char* file) {
  std::vector<char> buf(1024, '\0');
  const int n = SQLGetPrivateProfileString(section.c_str(), key, "", buf.data(), static_cast<int>(buf.size()) - 1, file);
  return n > 0 ? std::string(buf.data()) : std::string();
}

bool IsPostgresDriver(const std::string& library) {
  // Its file is psqlodbca.so or psqlodbcw.so wherever it is installed.
  const size_t slash = library.find_last_of('/');
  const std::string file = slash == std::string::npos ? library : library.substr(slash + 1);
  return strncasecmp(file.c_str(), "psqlodbc", 8) == 0;
}

}  // namespace

std::string WithCursorFetch(const std::string& connectText, const std::string& driverLibrary, bool dsnSetsIt) {
  bool found = false;
  Attribute(connectText, "UseDeclareFetch", &found);
  if (found || dsnSetsIt || !IsPostgresDriver(driverLibrary)) return connectText;
  std::string text = connectText;
  while (!text.empty() && (text.back() == ' ' || text.back() == ';')) text.pop_back();
  if (!text.empty()) text += ';';
  return text + "UseDeclareFetch=1;Fetch=" + std::to_string(kFetchRows);
}

std::string WithCursorFetch(const std::string& connectText) {
  bool found = false;
  Attribute(connectText, "UseDeclareFetch", &found);
  if (found) return connectText;
  bool named = false;
  std::string driver = Attribute(connectText, "DRIVER", &named);
  bool dsnSetsIt = false;
  if (!named) {
    const std::string dsn = Attribute(connectText, "DSN", &named);
    if (!named || dsn.empty()) return connectText;
    driver = Profile(dsn, "Driver", "odbc.ini");
    dsnSetsIt = !Profile(dsn, "UseDeclareFetch", "odbc.ini").empty();
  }
  if (driver.empty()) return connectText;
  // A driver's name leads to its file through the driver list.
  const std::string library = driver.find('/') != std::string::npos ? driver : Profile(driver, "Driver", "odbcinst.ini");
  return WithCursorFetch(connectText, library.empty() ? driver : library, dsnSetsIt);
}

}  // namespace qe_cursor
