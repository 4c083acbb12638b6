// Command routing as the framework does it: command ids go to handlers
// through a table, and each command's update handler says whether its menu
// item or key is enabled, checked and what it reads.
#pragma once

#include "platform/win/win_types.h"

#include <cstddef>
#include <string>

class CCmdUI {
 public:
  explicit CCmdUI(UINT id) : m_nID(id) {}
  void Enable(BOOL on = TRUE) {
    m_bEnabled = on ? TRUE : FALSE;
    m_bEnableSet = true;
  }
  void SetCheck(int check = 1) {
    m_nCheck = check;
    m_bCheckSet = true;
  }
  void SetText(const char* text) {
    m_strText = text ? text : "";
    m_bTextSet = true;
  }

  UINT m_nID;
  BOOL m_bEnabled = TRUE;
  int m_nCheck = 0;
  std::string m_strText;
  bool m_bEnableSet = false;
  bool m_bCheckSet = false;
  bool m_bTextSet = false;
};

// One row of a command map: the ids first..last, the handler and the update
// handler (either may be null).
template <class T>
struct CommandMapEntry {
  UINT first;
  UINT last;
  void (T::*command)(UINT id);
  void (T::*update)(CCmdUI* ui);
};

// The first row that holds id, or null.
template <class T, size_t N>
const CommandMapEntry<T>* FindCommandEntry(const CommandMapEntry<T> (&map)[N], UINT id) {
  for (const CommandMapEntry<T>& e : map)
    if (id >= e.first && id <= e.last) return &e;
  return nullptr;
}
