#include "platform/win/registry.h"

#include "platform/win/codepage.h"
#include "platform/win/fileio.h"
#include "platform/win/windir.h"

#include <cstring>
#include <set>
#include <string>
#include <vector>

// An opened key: its hive and path and the access it was opened with.
struct HKEY__ {
  uint32_t hive;
  std::string path;
  REGSAM access;
};

namespace {
struct Value {
  std::string name;
  DWORD type = REG_SZ;
  std::string data;  // the raw bytes (a REG_SZ without its terminator)
};

struct Key {
  uint32_t hive = 0;
  std::string path;
  std::vector<Value> values;
};

std::set<HKEY__*>& LiveKeys() {
  static std::set<HKEY__*> keys;
  return keys;
}

std::set<uint32_t>& ReadOnlyHives() {
  static std::set<uint32_t> hives;
  return hives;
}

struct HiveName {
  uint32_t id;
  const char* name;
};
const HiveName kHives[] = {{0x80000000u, "HKEY_CLASSES_ROOT"},
                           {0x80000001u, "HKEY_CURRENT_USER"},
                           {0x80000002u, "HKEY_LOCAL_MACHINE"},
                           {0x80000003u, "HKEY_USERS"}};

bool IsPredefined(HKEY key, uint32_t* hive) {
  auto v = static_cast<uint32_t>(reinterpret_cast<intptr_t>(key));
  for (const HiveName& h : kHives)
    if (key == VT_PREDEFINED_KEY(h.id)) {
      *hive = v;
      return true;
    }
  return false;
}

std::string StorePath() { return WindowsDirectory() + "/registry.dat"; }

bool SamePath(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AnsiLower(static_cast<unsigned char>(a[i])) != AnsiLower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// Escapes for the store: \\ and \" for backslash and quote, every byte outside
// printable ASCII as \xNN, so a value cannot break the line structure.
std::string Escape(const std::string& s) {
  static const char* hex = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a quoted, escaped text starting at pos (the opening quote); false when malformed.
bool ReadQuoted(const std::string& line, size_t& pos, std::string& out) {
  if (pos >= line.size() || line[pos] != '"') return false;
  ++pos;
  out.clear();
  while (pos < line.size()) {
    char c = line[pos++];
    if (c == '"') return true;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (pos < line.size() && (line[pos] == '\\' || line[pos] == '"')) {
      out += line[pos++];
      continue;
    }
    if (pos + 3 > line.size() || line[pos] != 'x') return false;
    int hi = HexDigit(line[pos + 1]), lo = HexDigit(line[pos + 2]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi * 16 + lo);
    pos += 3;
  }
  return false;
}

// The store, one key per "[hive\path]" line followed by its values
// ("name"=sz:"text", "name"=dword:hex, "name"=hex:"escaped bytes").
// Malformed lines are skipped.
std::vector<Key> LoadStore() {
  std::vector<Key> keys;
  std::string data;
  if (!ReadWholeFile(StorePath(), data)) {
    // A store never written yet holds what the office suite's set-up leaves:
    // its private folder, here one inside the user's Windows folder, so the
    // program's work files never fall back to its own (unwritable) folder.
    std::string dir = WindowsDirectory() + "/private";
    MakeDirectories(dir, 0700);
    Key office;
    office.hive = 0x80000002u;
    office.path = "SOFTWARE\\Brennick\\Office";
    office.values.push_back(Value{"TARVOPrivateDir", REG_SZ, dir + "/"});
    keys.push_back(office);
    return keys;
  }
  size_t pos = 0;
  while (pos < data.size()) {
    size_t lf = data.find('\n', pos);
    if (lf == std::string::npos) lf = data.size();
    std::string line = data.substr(pos, lf - pos);
    pos = lf + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      size_t p = 1;
      std::string full;
      if (!ReadQuoted(line, p, full) || p >= line.size() || line[p] != ']') continue;
      size_t slash = full.find('\\');
      std::string hive = full.substr(0, slash);
      Key key;
      for (const HiveName& h : kHives)
        if (hive == h.name) key.hive = h.id;
      if (key.hive == 0) continue;
      key.path = slash == std::string::npos ? std::string() : full.substr(slash + 1);
      keys.push_back(key);
      continue;
    }
    if (keys.empty()) continue;
    size_t p = 0;
    Value v;
    if (!ReadQuoted(line, p, v.name) || line.compare(p, 1, "=") != 0) continue;
    ++p;
    if (line.compare(p, 3, "sz:") == 0) {
      p += 3;
      v.type = REG_SZ;
      if (!ReadQuoted(line, p, v.data)) continue;
      v.data = v.data.substr(0, std::strlen(v.data.c_str()));
    } else if (line.compare(p, 4, "hex:") == 0) {
      p += 4;
      v.type = REG_BINARY;
      if (!ReadQuoted(line, p, v.data)) continue;
    } else if (line.compare(p, 6, "dword:") == 0) {
      p += 6;
      uint32_t n = 0;
      size_t digits = 0;
      while (p < line.size() && HexDigit(line[p]) >= 0 && digits < 8) {
        n = n * 16 + static_cast<uint32_t>(HexDigit(line[p++]));
        ++digits;
      }
      if (digits == 0 || p != line.size()) continue;
      v.type = REG_DWORD;
      char bytes[4] = {static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                       static_cast<char>((n >> 16) & 0xFF), static_cast<char>(n >> 24)};
      v.data.assign(bytes, 4);
    } else {
      continue;
    }
    std::vector<Value>& values = keys.back().values;
    bool replaced = false;
    for (Value& old : values)
      if (SamePath(old.name, v.name)) {
        replaced = true;
        break;  // the first of duplicate values wins
      }
    if (!replaced) values.push_back(v);
  }
  return keys;
}

bool SaveStore(const std::vector<Key>& keys) {
  std::string out = "# VORTELLE registry\n";
  for (const Key& key : keys) {
    const char* hive = "";
    for (const HiveName& h : kHives)
      if (h.id == key.hive) hive = h.name;
    std::string full = std::string(hive) + (key.path.empty() ? "" : "\\" + key.path);
    out += "[\"" + Escape(full) + "\"]\n";
    for (const Value& v : key.values) {
      out += "\"" + Escape(v.name) + "\"=";
      if (v.type == REG_DWORD && v.data.size() == 4) {
        static const char* hex = "0123456789abcdef";
        uint32_t n = 0;
        for (int i = 3; i >= 0; --i) n = n * 256 + static_cast<unsigned char>(v.data[static_cast<size_t>(i)]);
        out += "dword:";
        for (int s = 28; s >= 0; s -= 4) out += hex[(n >> s) & 15];
      } else if (v.type == REG_SZ) {
        out += "sz:\"" + Escape(v.data) + "\"";
      } else {
        out += "hex:\"" + Escape(v.data) + "\"";
      }
      out += "\n";
    }
  }
  return WriteWholeFile(StorePath(), out);
}

// Normalised path: backslash-separated components without empty ones.
std::string JoinPath(const std::string& base, const char* sub) {
  std::string all = base;
  if (sub != nullptr && *sub != '\0') all += "\\" + std::string(sub);
  std::string out;
  size_t pos = 0;
  while (pos <= all.size()) {
    size_t next = all.find('\\', pos);
    if (next == std::string::npos) next = all.size();
    if (next > pos) {
      if (!out.empty()) out += '\\';
      out += all.substr(pos, next - pos);
    }
    pos = next + 1;
  }
  return out;
}

// Keys every Windows installation has, so a fresh store can be opened level by level.
const char* const kStandardKeys[] = {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion"};

bool KeyExists(const std::vector<Key>& keys, uint32_t hive, const std::string& path) {
  if (path.empty()) return true;
  if (hive == 0x80000001u || hive == 0x80000002u) {
    for (const char* std_key : kStandardKeys) {
      std::string k = std_key;
      if (SamePath(k, path)) return true;
      if (k.size() > path.size() && k[path.size()] == '\\' && SamePath(k.substr(0, path.size()), path)) return true;
    }
  }
  for (const Key& k : keys) {
    if (k.hive != hive) continue;
    if (SamePath(k.path, path)) return true;
    // A key exists when it has an existing descendant.
    if (k.path.size() > path.size() && k.path[path.size()] == '\\' &&
        SamePath(k.path.substr(0, path.size()), path))
      return true;
  }
  return false;
}

Key* FindKey(std::vector<Key>& keys, uint32_t hive, const std::string& path) {
  for (Key& k : keys)
    if (k.hive == hive && SamePath(k.path, path)) return &k;
  return nullptr;
}

// Resolves a handle to its hive and path; false for an unknown handle.
bool Locate(HKEY key, uint32_t* hive, std::string* path, REGSAM* access) {
  if (IsPredefined(key, hive)) {
    path->clear();
    *access = KEY_ALL_ACCESS;
    return true;
  }
  if (key == nullptr || LiveKeys().count(key) == 0) return false;
  *hive = key->hive;
  *path = key->path;
  *access = key->access;
  return true;
}

bool WantsWrite(REGSAM access) { return (access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) != 0; }

// The hive and full path of sub below an open key, for the calls that hand
// back a new key in *result (cleared first).
LONG LocateSubKey(HKEY key, LPCSTR sub, PHKEY result, uint32_t* hive, std::string* path) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::string base;
  REGSAM parent_access;
  if (!Locate(key, hive, &base, &parent_access)) return ERROR_INVALID_HANDLE;
  *path = JoinPath(base, sub);
  return ERROR_SUCCESS;
}

HKEY NewHandle(uint32_t hive, const std::string& path, REGSAM access) {
  auto* h = new HKEY__{hive, path, access};
  LiveKeys().insert(h);
  return h;
}
}  // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR sub, DWORD, REGSAM access, PHKEY result) {
  uint32_t hive;
  std::string path;
  if (LONG rc = LocateSubKey(key, sub, result, &hive, &path); rc != ERROR_SUCCESS) return rc;
  if (!KeyExists(LoadStore(), hive, path)) return ERROR_FILE_NOT_FOUND;
  if (WantsWrite(access) && ReadOnlyHives().count(hive)) return ERROR_ACCESS_DENIED;
  *result = NewHandle(hive, path, access);
  return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY key, LPCSTR sub, DWORD, LPSTR, DWORD, REGSAM access, void*, PHKEY result,
                     LPDWORD disposition) {
  uint32_t hive;
  std::string path;
  if (LONG rc = LocateSubKey(key, sub, result, &hive, &path); rc != ERROR_SUCCESS) return rc;
  std::vector<Key> keys = LoadStore();
  bool exists = KeyExists(keys, hive, path);
  if (!exists) {
    if (ReadOnlyHives().count(hive)) return ERROR_ACCESS_DENIED;
    Key k;
    k.hive = hive;
    k.path = path;
    keys.push_back(k);
    if (!SaveStore(keys)) return ERROR_WRITE_FAULT;
  } else if (WantsWrite(access) && ReadOnlyHives().count(hive)) {
    return ERROR_ACCESS_DENIED;
  }
  if (disposition != nullptr) *disposition = exists ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
  *result = NewHandle(hive, path, access);
  return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
  uint32_t hive;
  std::string path;
  REGSAM access;
  if (!Locate(key, &hive, &path, &access)) return ERROR_INVALID_HANDLE;
  if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
  std::vector<Key> keys = LoadStore();
  Key* k = FindKey(keys, hive, path);
  std::string wanted = name == nullptr ? std::string() : name;
  const Value* v = nullptr;
  if (k != nullptr)
    for (const Value& x : k->values)
      if (SamePath(x.name, wanted)) {
        v = &x;
        break;
      }
  if (v == nullptr) return ERROR_FILE_NOT_FOUND;
  if (type != nullptr) *type = v->type;
  DWORD needed = static_cast<DWORD>(v->data.size() + (v->type == REG_SZ ? 1 : 0));
  if (data == nullptr) {
    if (size != nullptr) *size = needed;
    return ERROR_SUCCESS;
  }
  if (*size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  std::memcpy(data, v->data.data(), v->data.size());
  if (v->type == REG_SZ) data[v->data.size()] = 0;
  *size = needed;
  return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  uint32_t hive;
  std::string path;
  REGSAM access;
  if (!Locate(key, &hive, &path, &access)) return ERROR_INVALID_HANDLE;
  if (!(access & KEY_SET_VALUE) || ReadOnlyHives().count(hive)) return ERROR_ACCESS_DENIED;
  if (data == nullptr && size != 0) return ERROR_INVALID_PARAMETER;
  Value v;
  v.name = name == nullptr ? std::string() : name;
  v.type = type;
  const char* bytes = reinterpret_cast<const char*>(data);
  if (type == REG_SZ) {
    v.data = size == 0 ? std::string() : std::string(bytes, strnlen(bytes, size));
  } else if (type == REG_DWORD) {
    if (size != 4) return ERROR_INVALID_PARAMETER;
    v.data.assign(bytes, 4);
  } else if (type == REG_BINARY) {
    v.data.assign(bytes == nullptr ? "" : bytes, size);
  } else {
    return ERROR_INVALID_PARAMETER;
  }
  std::vector<Key> keys = LoadStore();
  Key* k = FindKey(keys, hive, path);
  if (k == nullptr) {
    keys.push_back(Key{hive, path, {}});
    k = &keys.back();
  }
  bool replaced = false;
  for (Value& old : k->values)
    if (SamePath(old.name, v.name)) {
      old = v;
      replaced = true;
      break;
    }
  if (!replaced) k->values.push_back(v);
  return SaveStore(keys) ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

LONG RegDeleteValueA(HKEY key, LPCSTR name) {
  uint32_t hive;
  std::string path;
  REGSAM access;
  if (!Locate(key, &hive, &path, &access)) return ERROR_INVALID_HANDLE;
  if (!(access & KEY_SET_VALUE) || ReadOnlyHives().count(hive)) return ERROR_ACCESS_DENIED;
  std::vector<Key> keys = LoadStore();
  Key* k = FindKey(keys, hive, path);
  std::string wanted = name == nullptr ? std::string() : name;
  if (k != nullptr)
    for (size_t i = 0; i < k->values.size(); ++i)
      if (SamePath(k->values[i].name, wanted)) {
        k->values.erase(k->values.begin() + static_cast<long>(i));
        return SaveStore(keys) ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
      }
  return ERROR_FILE_NOT_FOUND;
}

LONG RegCloseKey(HKEY key) {
  uint32_t hive;
  if (IsPredefined(key, &hive)) return ERROR_SUCCESS;
  auto it = LiveKeys().find(key);
  if (it == LiveKeys().end()) return ERROR_INVALID_HANDLE;
  LiveKeys().erase(it);
  delete key;
  return ERROR_SUCCESS;
}

void RegSetHiveReadOnly(HKEY hive, bool readOnly) {
  uint32_t id;
  if (!IsPredefined(hive, &id)) return;
  if (readOnly) ReadOnlyHives().insert(id);
  else ReadOnlyHives().erase(id);
}
