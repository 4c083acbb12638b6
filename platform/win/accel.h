// Accelerator tables: key chords that become WM_COMMAND, loaded from the
// compiled resources (res/dialogs) or built at run time, and the hook through
// which a top-level window sees the keys of all its windows before they do.
#pragma once

#include "platform/win/window.h"

#include <functional>

struct HACCEL__;
using HACCEL = HACCEL__*;

struct ACCEL {
  BYTE fVirt;
  WORD key;
  WORD cmd;
};
enum : BYTE { FVIRTKEY = 0x01, FNOINVERT = 0x02, FSHIFT = 0x04, FCONTROL = 0x08, FALT = 0x10 };

HACCEL CreateAcceleratorTableA(const ACCEL* entries, int count);
BOOL DestroyAcceleratorTable(HACCEL table);
// A table from the compiled resources, by name ignoring case; null when there is none.
HACCEL LoadAcceleratorsA(HINSTANCE instance, LPCSTR name);
int CopyAcceleratorTableA(HACCEL table, ACCEL* out, int count);
// A key-down message whose key and Shift/Ctrl/Alt state match an entry (the
// first that matches) sends WM_COMMAND (high word 1) to the window and
// answers 1. A command whose item in the window's menu is disabled, once the
// menu's owner has been asked (WM_INITMENUPOPUP), is swallowed without it.
int TranslateAcceleratorA(HWND hwnd, HACCEL table, MSG* msg);

// Key-down messages for the top-level window or any window inside it go to
// the filter first; a nonzero answer consumes the key. An empty filter removes it.
void SetPreTranslateFilter(HWND topLevel, std::function<BOOL(MSG*)> filter);

namespace vt_res {
struct AccelItemData {
  BYTE flags;
  WORD key;
  WORD cmd;
};
struct AccelTableData {
  const char* name;
  int itemCount;
  const AccelItemData* items;
};
extern const AccelTableData kAccelTable[];
extern const unsigned kAccelCount;
}  // namespace vt_res
