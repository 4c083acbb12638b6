#include "foundation/library_manager.h"

#include "platform/win/fileio.h"
#include "platform/win/modules.h"
#include "platform/win/process.h"
#include "platform/win/windir.h"
#include "platform/win/wsprintf.h"

#include <cstring>
#include <vector>

namespace {
CExplicitLibraryManager* g_manager = nullptr;
std::string g_startupDir;

bool HasDirectory(const std::string& path) {
  for (char c : path)
    if (IsPathSeparator(c) || c == ':') return true;
  return false;
}

std::string WithSeparator(std::string dir) {
  if (!dir.empty() && !IsPathSeparator(dir.back())) dir += kPathSep;
  return dir;
}

bool FileExistsAccess(const std::string& path) { return AccessPath(path.c_str(), 0) == 0; }

std::string FullForm(const std::string& path) {
  std::string full = FullPathOfExisting(path);
  return full.empty() ? path : full;
}

std::string CurrentDirSlash() {
  char buf[MAX_PATH + 1];
  if (GetCurrentDir(buf, sizeof buf) == nullptr) return std::string();
  return WithSeparator(buf);
}

using HelpDirectoryProc = int (*)(char*, int);
}  // namespace

CExplicitLibraryManager::CExplicitLibraryManager() : settingsFile_("kmw.ini") {
  char module[MAX_PATH + 1] = {};
  DWORD n = GetModuleFileNameA(nullptr, module, MAX_PATH);
  if (n > 0 && n < MAX_PATH) {
    std::string path(module, n);
    size_t sep = path.find_last_of("/\\");
    if (sep != std::string::npos) programDir_ = path.substr(0, sep + 1);
  }
  // Linux file names keep their case, so the folder is not upper-cased.
  if (!programDir_.empty() && FileExistsAccess(programDir_ + "kmw.ini")) settingsFile_ = programDir_ + "kmw.ini";

  appPathsDir_ = WithSeparator(QueryAppPathsString("kmw.exe", "Path", ""));

  std::string helper = FindDllPath("zelphdir.dll");
  if (HMODULE lib = LoadLibraryA(helper.c_str())) {
    FARPROC proc = GetProcAddress(lib, "TarvoGetHelpDirectory");
    if (proc != nullptr) {
      // One byte beyond the 260 handed over keeps the answer terminated.
      char dir[MAX_PATH + 1] = {};
      if (reinterpret_cast<HelpDirectoryProc>(proc)(dir, MAX_PATH) != 0) helpDir_ = WithSeparator(dir);
    }
    FreeLibrary(lib);
  }
}

CExplicitLibraryManager::~CExplicitLibraryManager() {
  if (g_manager == this) g_manager = nullptr;
}

std::string CExplicitLibraryManager::FindInProgramDir(const char* name) const {
  if (!programDir_.empty() && FileExistsAccess(programDir_ + name)) return programDir_ + name;
  if (!appPathsDir_.empty() && FileExistsAccess(appPathsDir_ + name)) return appPathsDir_ + name;
  return name;
}

std::string CExplicitLibraryManager::FindDllPath(const char* name) const {
  if (!programDir_.empty() && FileExistsAccess(programDir_ + name)) return FullForm(programDir_ + name);
  if (!appPathsDir_.empty() && FileExistsAccess(appPathsDir_ + name)) return FullForm(appPathsDir_ + name);
  std::string found = SearchPathList(name);
  return found == name ? found : FullForm(found);
}

bool CExplicitLibraryManager::IniExists(const std::string& path) const {
  if (!HasDirectory(path)) return FileExistsAccess(WindowsDirectory() + "/" + path);
  return FileExistsAccess(path);
}

std::string CExplicitLibraryManager::FindIniPath(const char* name) const {
  for (const std::string* dir : {&programDir_, &appPathsDir_}) {
    std::string candidate = *dir + name;
    if (!IniExists(candidate)) continue;
    // A bare name found in the Windows folder stays bare: the profile calls
    // look for it there, where a full-name query would look in the current folder.
    return HasDirectory(candidate) ? FullForm(candidate) : candidate;
  }
  return name;
}

bool CExplicitLibraryManager::HelpExists(const std::string& path, std::string* found) const {
  if (FileExistsAccess(path)) {
    *found = path;
    return true;
  }
  if (!HasDirectory(path)) return false;
  size_t sep = path.find_last_of("/\\:");
  std::string bare = path.substr(sep + 1);
  if (FileExistsAccess(bare)) {
    *found = bare;
    return true;
  }
  return false;
}

std::string CExplicitLibraryManager::FindHelpPath(const char* name) const {
  std::string found;
  for (const std::string* dir : {&helpDir_, &programDir_, &appPathsDir_}) {
    if (dir->empty()) continue;
    if (HelpExists(*dir + name, &found)) return FullForm(found);
  }
  return name;
}

std::string CExplicitLibraryManager::SearchPathList(const char* name) const {
  std::vector<std::string> dirs;
  if (!programDir_.empty()) dirs.push_back(programDir_);
  std::string cwd = CurrentDirSlash();
  if (!cwd.empty() && cwd != programDir_) dirs.push_back(cwd);
  dirs.push_back(SystemDirectory() + "/");
  std::string windir = WindowsDirectory() + "/";
  if (windir != cwd) dirs.push_back(windir);
  // PATH is read into a 260-character buffer as the program always did; a
  // longer PATH is not searched at all.
  char path[MAX_PATH] = {};
  DWORD n = GetEnvironmentVariableA("PATH", path, sizeof path);
  if (n > 0 && n < sizeof path) {
    std::string list(path, n);
    size_t pos = 0;
    while (pos <= list.size()) {
      size_t next = list.find(':', pos);
      if (next == std::string::npos) next = list.size();
      std::string entry = list.substr(pos, next - pos);
      pos = next + 1;
      if (entry.empty()) continue;
      entry = WithSeparator(entry);
      if (entry != windir) dirs.push_back(entry);
    }
  }
  for (const std::string& d : dirs)
    if (FileExistsAccess(d + name)) return d + name;
  return name;
}

bool CExplicitLibraryManager::FileExistsOrSearch(const char* name) const {
  std::string path = name;
  if (!HasDirectory(path)) path = SearchPathList(name);
  return FileExistsAccess(path);
}

std::string CExplicitLibraryManager::GetOdbcCpDllPath() const {
  return FileExistsOrSearch("odbccp32.dll") ? "odbccp32.dll" : "";
}

std::string CExplicitLibraryManager::GetLinkIniBaseName() const {
  // The file's own name up to its first '.', never a '.' in a folder name.
  std::string path = GetLinkIniPath();
  size_t sep = path.find_last_of("/\\:");
  std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
  return name.substr(0, name.find('.'));
}

std::string CExplicitLibraryManager::FindLanguageDll(WORD language) const {
  if (language == 0) language = GetSystemDefaultLangID();
  char name[32];
  wsprintfBounded(name, sizeof name, "repv%04x.dll", static_cast<unsigned>(language));
  if (FileExistsOrSearch(name)) return FindDllPath(name);
  // The short form names the primary language (10 bits), so languages above
  // 15 find their own library rather than another's.
  wsprintfBounded(name, sizeof name, "repv04%02X.dll", static_cast<unsigned>(PRIMARYLANGID(language)));
  if (FileExistsOrSearch(name)) return FindDllPath(name);
  return std::string();
}

CExplicitLibraryManager* AppLibraryManager() { return g_manager; }
void SetAppLibraryManager(CExplicitLibraryManager* manager) { g_manager = manager; }

HKEY OpenAppPathsKey(REGSAM access) {
  static const char* const kLevels[] = {"SOFTWARE", "Microsoft", "Windows", "CurrentVersion"};
  HKEY key = HKEY_LOCAL_MACHINE;
  for (const char* level : kLevels) {
    HKEY next = nullptr;
    LONG rc = RegOpenKeyExA(key, level, 0, access, &next);
    if (key != HKEY_LOCAL_MACHINE) RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return nullptr;
    key = next;
  }
  HKEY app = nullptr;
  LONG rc = (access & KEY_CREATE_SUB_KEY)
                ? RegCreateKeyExA(key, "App Paths", 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &app, nullptr)
                : RegOpenKeyExA(key, "App Paths", 0, access, &app);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS ? app : nullptr;
}

HKEY CreateAppPathsSubKey(const char* program) {
  HKEY app = OpenAppPathsKey(KEY_READ | KEY_WRITE);
  if (app == nullptr || program == nullptr) {
    if (app != nullptr) RegCloseKey(app);
    return nullptr;
  }
  HKEY sub = nullptr;
  LONG rc = RegCreateKeyExA(app, program, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &sub,
                            nullptr);
  RegCloseKey(app);
  return rc == ERROR_SUCCESS ? sub : nullptr;
}

namespace {
HKEY OpenProgramKeyForReading(const char* program) {
  HKEY app = OpenAppPathsKey(KEY_READ);
  if (app == nullptr || program == nullptr) {
    if (app != nullptr) RegCloseKey(app);
    return nullptr;
  }
  HKEY sub = nullptr;
  LONG rc = RegOpenKeyExA(app, program, 0, KEY_READ, &sub);
  RegCloseKey(app);
  return rc == ERROR_SUCCESS ? sub : nullptr;
}
}  // namespace

DWORD QueryAppPathsDword(const char* program, const char* valueName, DWORD defaultValue) {
  HKEY key = OpenProgramKeyForReading(program);
  if (key == nullptr) return defaultValue;
  DWORD value = 0, size = sizeof value, type = 0;
  LONG rc = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return (rc == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value) ? value : defaultValue;
}

std::string QueryAppPathsString(const char* program, const char* valueName, const char* defaultValue) {
  std::string result = defaultValue == nullptr ? "" : defaultValue;
  HKEY key = OpenProgramKeyForReading(program);
  if (key == nullptr) return result;
  DWORD size = 0, type = 0;
  if (RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ) {
    // One byte more than asked for, zero-filled, so the text ends whatever was stored.
    std::vector<char> buf(size + 1, '\0');
    if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size) ==
        ERROR_SUCCESS)
      result = buf.data();
  }
  RegCloseKey(key);
  return result;
}

std::string StartupDirectory() {
  if (!g_startupDir.empty()) return g_startupDir;
  char buf[MAX_PATH + 1];
  return GetCurrentDir(buf, sizeof buf) != nullptr ? buf : "";
}

void SetStartupDirectory(const char* dir) { g_startupDir = dir == nullptr ? "" : dir; }

char* CopyDirWithSlash(const char* directory, char* out, size_t size) {
  if (out == nullptr || size == 0) return out;
  std::string dir = (directory != nullptr && *directory != '\0') ? directory : StartupDirectory();
  size_t n = CopyBounded(out, size, dir.c_str());
  if (n > 0 && !IsPathSeparator(out[n - 1]) && n + 1 < size) {
    out[n++] = kPathSep;
    out[n] = '\0';
  }
  return out + n;
}

DWORD DriveBit(const char* path) {
  if (path == nullptr || path[0] == '\0' || path[1] != ':') return 0;
  unsigned char c = static_cast<unsigned char>(path[0]);
  if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 32);
  if (c < 'A' || c > 'Z') return 0;
  return 1u << (c - 'A');
}
