#include "platform/win/modules.h"

#include "platform/win/codepage.h"
#include "platform/win/fileio.h"
#include "platform/win/windir.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <string>

namespace {
struct Builtin {
  const BuiltinExport* exports;
  size_t count;
};

// A loaded module; the handle given out is its address.
struct Module {
  std::string key;   // lower-cased base name or resolved path
  std::string path;  // what GetModuleFileNameA reports
  Builtin builtin{nullptr, 0};
  void* dl = nullptr;
  int refs = 0;
};

std::string LowerBaseName(const char* name) {
  const char* base = name;
  for (const char* p = name; *p != '\0'; ++p)
    if (IsPathSeparator(*p) || *p == ':') base = p + 1;
  std::string out;
  for (const char* p = base; *p != '\0'; ++p) out += static_cast<char>(AnsiLower(static_cast<unsigned char>(*p)));
  return out;
}

std::map<std::string, Builtin>& Registry() {
  static std::map<std::string, Builtin> registry;
  return registry;
}

std::map<std::string, Module*>& Loaded() {
  static std::map<std::string, Module*> loaded;
  return loaded;
}

Module* FromHandle(HMODULE h) {
  for (auto& entry : Loaded())
    if (reinterpret_cast<HMODULE>(entry.second) == h) return entry.second;
  return nullptr;
}

std::string ExePath() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return std::string();
  return std::string(buf, static_cast<size_t>(n));
}

// A bare name is looked for as Windows would: the program's folder, the
// current folder, the system and Windows folders; dlopen's own search last.
std::string LocateFile(const char* name) {
  bool has_dir = false;
  for (const char* p = name; *p != '\0'; ++p)
    if (IsPathSeparator(*p)) has_dir = true;
  if (has_dir) return ResolveExistingPath(name);
  const std::string dirs[] = {ProgramDirectory(), "./", SystemDirectory() + "/", WindowsDirectory() + "/"};
  for (const std::string& d : dirs) {
    std::string p = ResolveExistingPath(d + name);
    if (!p.empty()) return p;
  }
  return std::string();
}
}  // namespace

void RegisterBuiltinModule(const char* fileName, const BuiltinExport* exports, size_t count) {
  if (fileName == nullptr) return;
  Registry()[LowerBaseName(fileName)] = Builtin{exports, count};
}

void UnregisterBuiltinModule(const char* fileName) {
  if (fileName != nullptr) Registry().erase(LowerBaseName(fileName));
}

HMODULE LoadLibraryA(LPCSTR fileName) {
  if (fileName == nullptr || *fileName == '\0') return nullptr;
  std::string base = LowerBaseName(fileName);
  std::string key;
  Builtin builtin{nullptr, 0};
  std::string path;
  auto reg = Registry().find(base);
  if (reg != Registry().end()) {
    key = "builtin:" + base;
    builtin = reg->second;
    path = std::string(ProgramDirectory()) + base;
  } else {
    path = LocateFile(fileName);
    if (path.empty()) path = fileName;
    key = "file:" + path;
  }
  auto it = Loaded().find(key);
  if (it != Loaded().end()) {
    ++it->second->refs;
    return reinterpret_cast<HMODULE>(it->second);
  }
  auto* m = new Module;
  m->key = key;
  m->path = path;
  m->builtin = builtin;
  if (reg == Registry().end()) {
    m->dl = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m->dl == nullptr) {
      delete m;
      return nullptr;
    }
  }
  m->refs = 1;
  Loaded()[key] = m;
  return reinterpret_cast<HMODULE>(m);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
  Module* m = FromHandle(module);
  if (m == nullptr || procName == nullptr) return nullptr;
  if (m->dl != nullptr) {
    // Shared objects have no numbered entries.
    if (IsOrdinalName(procName)) return nullptr;
    void* sym = ::dlsym(m->dl, procName);
    FARPROC proc;
    static_assert(sizeof proc == sizeof sym, "function and data pointers differ in size");
    std::memcpy(&proc, &sym, sizeof proc);
    return proc;
  }
  for (size_t i = 0; i < m->builtin.count; ++i) {
    const BuiltinExport& e = m->builtin.exports[i];
    if (IsOrdinalName(procName)) {
      if (e.ordinal != 0 && e.ordinal == reinterpret_cast<uintptr_t>(procName)) return e.proc;
    } else if (e.name != nullptr && std::strcmp(e.name, procName) == 0) {
      return e.proc;
    }
  }
  return nullptr;
}

BOOL FreeLibrary(HMODULE module) {
  Module* m = FromHandle(module);
  if (m == nullptr) return FALSE;
  if (--m->refs > 0) return TRUE;
  Loaded().erase(m->key);
  if (m->dl != nullptr) ::dlclose(m->dl);
  delete m;
  return TRUE;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buf, DWORD size) {
  if (buf == nullptr || size == 0) return 0;
  std::string path;
  if (module == nullptr) {
    path = ExePath();
  } else {
    Module* m = FromHandle(module);
    if (m == nullptr) {
      buf[0] = '\0';
      return 0;
    }
    path = m->path;
  }
  if (path.size() + 1 > size) {
    std::memcpy(buf, path.data(), size - 1);
    buf[size - 1] = '\0';
    return size;
  }
  std::memcpy(buf, path.c_str(), path.size() + 1);
  return static_cast<DWORD>(path.size());
}

const char* ProgramDirectory() {
  static const std::string dir = [] {
    std::string exe = ExePath();
    size_t slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
  }();
  return dir.c_str();
}
