#include "platform/win/profile.h"

#include "platform/win/c_numbers.h"
#include "platform/win/codepage.h"
#include "platform/win/fileio.h"
#include "platform/win/windir.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& s, size_t from, size_t to) {
  while (from < to && IsBlank(s[from])) ++from;
  while (to > from && IsBlank(s[to - 1])) --to;
  return s.substr(from, to - from);
}

bool SameName(const std::string& a, const char* b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (AnsiLower(static_cast<unsigned char>(a[i])) != AnsiLower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

enum class Kind { kOther, kSection, kEntry };

// One physical line of the file as read; the text keeps its bytes exactly.
struct Line {
  std::string text;
  Kind kind = Kind::kOther;
  std::string name;   // section name, or key
  std::string value;  // entry value, quotes removed
  std::string eol;    // how this line ended in the file (empty: as the file's first)
};

struct IniFile {
  std::string path;
  std::vector<Line> lines;
  std::string eol = "\r\n";
  bool final_newline = true;
};

Line ParseLine(const std::string& text) {
  Line line;
  line.text = text;
  size_t begin = 0;
  while (begin < text.size() && IsBlank(text[begin])) ++begin;
  if (begin == text.size() || text[begin] == ';') return line;
  if (text[begin] == '[') {
    size_t close = text.find(']', begin + 1);
    size_t end = close == std::string::npos ? text.size() : close;
    line.kind = Kind::kSection;
    line.name = Trim(text, begin + 1, end);
    return line;
  }
  size_t eq = text.find('=', begin);
  line.kind = Kind::kEntry;
  if (eq == std::string::npos) {
    line.name = Trim(text, begin, text.size());
    return line;
  }
  line.name = Trim(text, begin, eq);
  std::string v = Trim(text, eq + 1, text.size());
  if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) v = v.substr(1, v.size() - 2);
  line.value = v;
  return line;
}

// A bare name lives in the Windows directory; a path is used as given, with the
// exact spelling first and a case-insensitive match second.
std::string ResolveFile(const char* file) {
  std::string name = file;
  bool has_dir = false;
  for (char c : name)
    if (IsPathSeparator(c)) has_dir = true;
  std::string path = has_dir ? NativePath(name) : WindowsDirectory() + "/" + name;
  std::string existing = ResolveExistingPath(path);
  if (!existing.empty()) return existing;
  // A new file goes into its folder as the disk spells it.
  size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return path;
  std::string dir = ResolveExistingPath(path.substr(0, slash));
  return dir.empty() ? path : dir + path.substr(slash);
}

IniFile Parse(const std::string& path, const std::string& data) {
  IniFile ini;
  ini.path = path;
  size_t first_lf = data.find('\n');
  if (first_lf != std::string::npos && (first_lf == 0 || data[first_lf - 1] != '\r')) ini.eol = "\n";
  size_t pos = 0;
  while (pos < data.size()) {
    size_t lf = data.find('\n', pos);
    size_t end = lf == std::string::npos ? data.size() : lf;
    size_t text_end = (end > pos && data[end - 1] == '\r') ? end - 1 : end;
    ini.lines.push_back(ParseLine(data.substr(pos, text_end - pos)));
    ini.lines.back().eol = data.substr(text_end, end - text_end) + (lf == std::string::npos ? "" : "\n");
    if (lf == std::string::npos) {
      ini.final_newline = false;
      break;
    }
    pos = lf + 1;
  }
  return ini;
}

// Files parsed once and kept while they stay as read: settings are read a
// value at a time, a hundred times over at start-up.
struct KeptIni {
  DiskStamp stamp;
  std::shared_ptr<const IniFile> ini;
};
std::mutex gKeptMutex;
std::unordered_map<std::string, KeptIni> gKept;
constexpr size_t kMaxKept = 32;

std::shared_ptr<const IniFile> Load(const char* file) {
  const std::string path = ResolveFile(file);
  const std::string os = OsFileName(path);
  DiskStamp now;
  const bool exists = TakeDiskStamp(os, &now);
  std::lock_guard<std::mutex> lock(gKeptMutex);
  auto kept = gKept.find(os);
  if (exists && kept != gKept.end() && StillAsRead(kept->second.stamp, now)) return kept->second.ini;
  if (kept != gKept.end()) gKept.erase(kept);
  std::string data;
  if (!exists || !ReadWholeFile(path, data)) {
    auto empty = std::make_shared<IniFile>();
    empty->path = path;
    return empty;
  }
  auto ini = std::make_shared<const IniFile>(Parse(path, data));
  // A file that changed while it was read is read again next time.
  DiskStamp after;
  if (now.settled && TakeDiskStamp(os, &after) && StillAsRead(now, after)) {
    if (gKept.size() >= kMaxKept) gKept.clear();
    gKept.emplace(os, KeptIni{now, ini});
  }
  return ini;
}

bool Save(const IniFile& ini) {
  std::string data;
  for (size_t i = 0; i < ini.lines.size(); ++i) {
    const Line& line = ini.lines[i];
    data += line.text;
    // Lines keep their own ending; new ones, and a last line that had none,
    // take the file's.
    if (i + 1 < ini.lines.size() || ini.final_newline) data += line.eol.empty() ? ini.eol : line.eol;
  }
  return WriteWholeFile(ini.path, data);
}

// The first entry of the key in the first sections of that name, in file order.
const Line* FindEntry(const IniFile& ini, const char* section, const char* key) {
  bool in_section = false;
  for (const Line& line : ini.lines) {
    if (line.kind == Kind::kSection) in_section = SameName(line.name, section);
    else if (in_section && line.kind == Kind::kEntry && SameName(line.name, key)) return &line;
  }
  return nullptr;
}

DWORD CopyOut(const std::string& text, LPSTR buf, DWORD size) {
  if (size == 0) return 0;
  // A value holding a zero byte ends there, so the count matches the text.
  size_t len = strnlen(text.c_str(), text.size());
  size_t n = len < size - 1 ? len : size - 1;
  std::memcpy(buf, text.data(), n);
  buf[n] = '\0';
  return static_cast<DWORD>(n);
}

// A double-terminated list of names, cut to fit but still double-terminated.
DWORD CopyList(const std::vector<std::string>& names, LPSTR buf, DWORD size) {
  if (size < 2) {
    if (size == 1) buf[0] = '\0';
    return 0;
  }
  DWORD pos = 0;
  for (const std::string& name : names) {
    for (char c : name) {
      if (c == '\0') break;
      if (pos + 2 >= size) {
        buf[pos] = '\0';
        buf[pos + 1] = '\0';
        return size - 2;
      }
      buf[pos++] = c;
    }
    if (pos + 2 >= size) {
      buf[pos] = '\0';
      buf[pos + 1] = '\0';
      return size - 2;
    }
    buf[pos++] = '\0';
  }
  buf[pos] = '\0';
  return pos;
}

bool Contains(const char* text, const char* chars) { return std::strpbrk(text, chars) != nullptr; }
}  // namespace

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buf,
                               DWORD size, LPCSTR file) {
  if (buf == nullptr || size == 0) return 0;
  if (file == nullptr || *file == '\0') file = "win.ini";
  const std::shared_ptr<const IniFile> kept = Load(file);
  const IniFile& ini = *kept;
  if (section == nullptr) {
    std::vector<std::string> names;
    for (const Line& line : ini.lines) {
      if (line.kind != Kind::kSection) continue;
      bool seen = false;
      for (const std::string& n : names) seen = seen || SameName(n, line.name.c_str());
      if (!seen) names.push_back(line.name);
    }
    return CopyList(names, buf, size);
  }
  if (key == nullptr) {
    std::vector<std::string> keys;
    bool in_section = false;
    for (const Line& line : ini.lines) {
      if (line.kind == Kind::kSection) {
        in_section = SameName(line.name, section);
      } else if (in_section && line.kind == Kind::kEntry && !line.name.empty()) {
        bool seen = false;
        for (const std::string& k : keys) seen = seen || SameName(k, line.name.c_str());
        if (!seen) keys.push_back(line.name);
      }
    }
    return CopyList(keys, buf, size);
  }
  if (const Line* entry = FindEntry(ini, section, key)) return CopyOut(entry->value, buf, size);
  std::string def = defaultValue == nullptr ? "" : defaultValue;
  while (!def.empty() && def.back() == ' ') def.pop_back();
  return CopyOut(def, buf, size);
}

UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR file) {
  char text[30];
  DWORD n = GetPrivateProfileStringA(section, key, "", text, sizeof text, file);
  if (n == 0 || section == nullptr || key == nullptr) return static_cast<UINT>(defaultValue);
  return static_cast<UINT>(static_cast<INT>(AtolC(text)));
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file) {
  if (section == nullptr) return TRUE;
  if (file == nullptr || *file == '\0') file = "win.ini";
  // Names that could not be read back as written are refused.
  if (Contains(section, "]\r\n")) return FALSE;
  if (key != nullptr && (Contains(key, "=\r\n") || key[strspn(key, " \t")] == '[' ||
                         key[strspn(key, " \t")] == ';'))
    return FALSE;
  IniFile ini = *Load(file);
  std::vector<Line>& lines = ini.lines;

  size_t sec = lines.size();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind == Kind::kSection && SameName(lines[i].name, section)) {
      sec = i;
      break;
    }
  }
  size_t sec_end = lines.size();
  if (sec < lines.size()) {
    for (size_t i = sec + 1; i < lines.size(); ++i)
      if (lines[i].kind == Kind::kSection) {
        sec_end = i;
        break;
      }
  }

  if (key == nullptr) {
    if (sec == lines.size()) return TRUE;
    lines.erase(lines.begin() + static_cast<long>(sec), lines.begin() + static_cast<long>(sec_end));
    return Save(ini) ? TRUE : FALSE;
  }

  size_t found = lines.size();
  size_t last_entry = sec;
  if (sec < lines.size()) {
    for (size_t i = sec + 1; i < sec_end; ++i) {
      if (lines[i].kind != Kind::kEntry) continue;
      if (found == lines.size() && SameName(lines[i].name, key)) found = i;
      last_entry = i;
    }
  }

  if (value == nullptr) {
    if (found == lines.size()) return TRUE;
    lines.erase(lines.begin() + static_cast<long>(found));
    return Save(ini) ? TRUE : FALSE;
  }

  std::string v(value, std::strcspn(value, "\r\n"));
  std::string k = key;
  size_t kb = 0, ke = k.size();
  while (kb < ke && IsBlank(k[kb])) ++kb;
  while (ke > kb && IsBlank(k[ke - 1])) --ke;
  k = k.substr(kb, ke - kb);

  if (found < lines.size()) {
    // Keep the spelling the file already uses for the key.
    std::string eol = lines[found].eol;
    lines[found] = ParseLine(lines[found].name + "=" + v);
    lines[found].eol = eol;
  } else if (sec < lines.size()) {
    lines.insert(lines.begin() + static_cast<long>(last_entry + 1), ParseLine(k + "=" + v));
  } else {
    if (!lines.empty() && !lines.back().text.empty()) lines.push_back(ParseLine(""));
    lines.push_back(ParseLine("[" + std::string(section) + "]"));
    lines.push_back(ParseLine(k + "=" + v));
  }
  ini.final_newline = true;
  return Save(ini) ? TRUE : FALSE;
}

DWORD GetProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buf, DWORD size) {
  return GetPrivateProfileStringA(section, key, defaultValue, buf, size, "win.ini");
}

UINT GetProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue) {
  return GetPrivateProfileIntA(section, key, defaultValue, "win.ini");
}

BOOL WriteProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value) {
  return WritePrivateProfileStringA(section, key, value, "win.ini");
}
