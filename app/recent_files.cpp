#include "app/recent_files.h"

#include "foundation/heap_strings.h"
#include "foundation/settings.h"
#include "platform/win/fileio.h"
#include "platform/win/menu.h"
#include "platform/win/profile.h"

#include <cctype>
#include <cstdio>
#include <strings.h>

namespace {

constexpr UINT kIdsSection = 7002;
constexpr UINT kIdsEntryFormat = 7003;

std::string Key(int index) {
  std::string key = GetResString(kIdsEntryFormat, 0);
  const size_t at = key.find("%d");
  if (at != std::string::npos) key.replace(at, 2, std::to_string(index + 1));
  return key;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The absolute form of a path, without "." and ".." steps.
std::string FullPath(const std::string& path) {
  std::string p = NativePath(path);
  if (p.empty()) return p;
  if (p[0] != '/') {
    char cwd[1024] = {};
    if (GetCurrentDir(cwd, sizeof cwd) != nullptr) p = std::string(cwd) + "/" + p;
  }
  std::vector<std::string> parts;
  size_t at = 1;
  while (at <= p.size()) {
    size_t end = p.find('/', at);
    if (end == std::string::npos) end = p.size();
    const std::string part = p.substr(at, end - at);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = end + 1;
  }
  std::string out;
  for (const std::string& part : parts) out += "/" + part;
  return out.empty() ? "/" : out;
}

std::string FileTitle(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

CKmRecentFileList::CKmRecentFileList() : entries_(kRecentFileCount) {}

void CKmRecentFileList::ReadList() {
  const std::string ini = SettingsIniPath();
  const std::string section = GetResString(kIdsSection, 0);
  for (int i = 0; i < kRecentFileCount; ++i) {
    char value[300] = {};
    GetPrivateProfileStringA(section.c_str(), Key(i).c_str(), "", value, sizeof value, ini.c_str());
    entries_[static_cast<size_t>(i)] = value;
  }
}

void CKmRecentFileList::WriteList() const {
  const std::string ini = SettingsIniPath();
  const std::string section = GetResString(kIdsSection, 0);
  for (int i = 0; i < kRecentFileCount; ++i) {
    const std::string& e = entries_[static_cast<size_t>(i)];
    WritePrivateProfileStringA(section.c_str(), Key(i).c_str(), e.empty() ? nullptr : e.c_str(), ini.c_str());
  }
}

void CKmRecentFileList::Add(const char* path) {
  if (path == nullptr || *path == 0) return;
  const std::string full = FullPath(path);
  const std::string upper = Upper(full);
  bool admitted = false;
  for (const char* ext : {".KMW", ".QB6", ".QB3"}) {
    const size_t at = upper.find(ext);
    if (at != std::string::npos && at > 0) admitted = true;
  }
  if (!admitted) return;
  int found = kRecentFileCount - 1;
  for (int i = 0; i < kRecentFileCount - 1; ++i)
    if (strcasecmp(entries_[static_cast<size_t>(i)].c_str(), full.c_str()) == 0) {
      found = i;
      break;
    }
  for (int i = found; i > 0; --i) entries_[static_cast<size_t>(i)] = entries_[static_cast<size_t>(i - 1)];
  entries_[0] = full;
  WriteList();
}

void CKmRecentFileList::Remove(int index) {
  if (index < 0 || index >= kRecentFileCount) return;
  entries_.erase(entries_.begin() + index);
  entries_.push_back(std::string());
  WriteList();
}

namespace {
// Letters of a UTF-8 text: its bytes that do not continue a letter.
int Letters(const std::string& s) {
  int n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

// The first count letters of a UTF-8 text.
std::string FirstLetters(const std::string& s, int count) {
  size_t at = 0;
  for (int seen = 0; at < s.size(); ++at)
    if ((static_cast<unsigned char>(s[at]) & 0xC0) != 0x80 && seen++ == count) break;
  return s.substr(0, at);
}
}  // namespace

std::string AbbreviatePath(const std::string& path, int maxLength) {
  if (Letters(path) <= maxLength) return path;
  const std::string title = FileTitle(path);
  if (Letters(title) > maxLength) return FirstLetters(title, maxLength - 3) + "...";
  // The volume part: the root and the first folder.
  size_t volumeEnd = path.find('/', 1);
  if (volumeEnd == std::string::npos) return title;
  const std::string volume = path.substr(0, volumeEnd);
  if (Letters(volume) + 5 + Letters(title) > maxLength) return title;
  // The longest tail of folders and the name that fits after "volume/...".
  std::string best = "/" + title;
  size_t cut = path.size() - title.size() - 1;
  while (cut > volumeEnd) {
    const size_t prev = path.rfind('/', cut - 1);
    if (prev == std::string::npos || prev < volumeEnd) break;
    const std::string tail = path.substr(prev);
    if (Letters(volume) + 4 + Letters(tail) > maxLength) break;
    best = tail;
    cut = prev;
  }
  return volume + "/..." + best;
}

std::string CKmRecentFileList::GetDisplayName(int index, const std::string& currentDir) const {
  const std::string& path = entries_[static_cast<size_t>(index)];
  if (path.empty()) return std::string();
  const std::string title = FileTitle(path);
  const std::string folder = path.substr(0, path.size() - title.size());
  if (!currentDir.empty() && folder == currentDir) return title;
  // Shortened by the letters a person reads, never inside one, and given
  // back in the program's spelling of names.
  return ProgramFileName(AbbreviatePath(FileNameText(path), kRecentDisplayLength));
}

void CKmRecentFileList::UpdateMenu(HMENU menu) const {
  if (menu == nullptr) return;
  // The place holder's position: its first item, wherever the list begins.
  int place = -1;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    const UINT id = GetMenuItemID(menu, i);
    if (id >= kCmdRecentFileFirst && id < kCmdRecentFileFirst + kRecentFileCount) {
      place = i;
      break;
    }
  }
  if (place < 0) return;
  for (int i = 0; i < kRecentFileCount; ++i) DeleteMenu(menu, kCmdRecentFileFirst + static_cast<UINT>(i), MF_BYCOMMAND);
  if (entries_[0].empty()) {
    InsertMenuA(menu, static_cast<UINT>(place), MF_BYPOSITION | MF_STRING | MF_GRAYED, kCmdRecentFileFirst,
                "Recent File");
    return;
  }
  char cwd[1024] = {};
  std::string current = GetCurrentDir(cwd, sizeof cwd) != nullptr ? std::string(cwd) + "/" : std::string();
  for (int i = 0; i < kRecentFileCount && !entries_[static_cast<size_t>(i)].empty(); ++i) {
    char label[320];
    std::snprintf(label, sizeof label, "&%d %s", (i + 1) % 10, GetDisplayName(i, current).c_str());
    InsertMenuA(menu, static_cast<UINT>(place + i), MF_BYPOSITION | MF_STRING, kCmdRecentFileFirst + static_cast<UINT>(i),
                label);
  }
}
