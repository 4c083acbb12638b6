// The File menu's list of recently used reports and libraries, kept in
// kmw.ini [Recent File List] File1..File6 (entry 0 the most recent).
#pragma once

#include "platform/win/win_types.h"

#include <string>
#include <vector>

struct HMENU__;
using HMENU = HMENU__*;

constexpr UINT kCmdRecentFileFirst = 57616;
constexpr int kRecentFileCount = 6;
constexpr int kRecentDisplayLength = 40;

class CKmRecentFileList {
 public:
  CKmRecentFileList();
  // The entries as kmw.ini holds them.
  void ReadList();
  void WriteList() const;
  // Admits a report file or report library (".KMW", ".QB6", ".QB3" after the
  // first character, case ignored) as entry 0; a path already among the
  // first five moves up instead of being listed twice. Written through.
  void Add(const char* path);
  void Remove(int index);
  // Rebuilds the items from the place holder of the menu (the File popup).
  void UpdateMenu(HMENU menu) const;
  const std::string& operator[](int index) const { return entries_[static_cast<size_t>(index)]; }
  int Size() const { return kRecentFileCount; }
  // The menu's text of entry index, shortened to the display length, with
  // currentDir ("folder/") shown as the bare title.
  std::string GetDisplayName(int index, const std::string& currentDir) const;

 private:
  std::vector<std::string> entries_;
};

// A path (UTF-8) shortened to at most maxLength letters for a menu: the
// title alone when even that is too long ("..." after its first
// maxLength - 3), else the first folder, "/..." and the longest tail that fits.
std::string AbbreviatePath(const std::string& path, int maxLength);
