// Drop targets: a window registered here takes what is dragged onto it
// (files from the file manager, data of registered clipboard formats)
// through the four calls a drop target answers. The toolkit's drag events
// reach the window as these calls.
#pragma once

#include "platform/win/window.h"

#include <map>
#include <string>
#include <vector>

constexpr DWORD DROPEFFECT_NONE = 0, DROPEFFECT_COPY = 1, DROPEFFECT_MOVE = 2, DROPEFFECT_LINK = 4;
// Key bits of the drag calls, as in mouse messages.
constexpr DWORD MK_LBUTTON = 0x0001, MK_SHIFT = 0x0004, MK_CONTROL = 0x0008, MK_ALT = 0x0020;

// What a drag carries.
struct DropData {
  // Local file names (Windows-1252), in the order the drag gives them.
  std::vector<std::string> files;
  // Data of registered formats (platform/win/clipboard_formats.h), by format type.
  std::map<std::string, std::vector<unsigned char>> formats;

  bool HasFormat(UINT format) const;
  // Null when the drag has no data of the format.
  const std::vector<unsigned char>* Format(UINT format) const;
  void SetFormat(UINT format, const void* data, size_t size);
};

class DropTarget {
 public:
  virtual ~DropTarget() = default;
  // The effect the drop would have here (DROPEFFECT_...); points are client coordinates.
  virtual DWORD OnDragEnter(const DropData& data, DWORD keys, POINT point) = 0;
  virtual DWORD OnDragOver(const DropData& data, DWORD keys, POINT point) = 0;
  virtual void OnDragLeave() = 0;
  // True when the data was taken.
  virtual BOOL OnDrop(const DropData& data, DWORD effect, POINT point) = 0;
};

// The target answers for the window until revoked or the window goes; the
// caller keeps the target alive that long.
BOOL RegisterDropTarget(HWND hwnd, DropTarget* target);
void RevokeDropTarget(HWND hwnd);
// Drags data onto the window from inside the program: enter at the client
// point with those keys, then the drop when the target accepts (else it is
// left). The effect of the drop, DROPEFFECT_NONE when refused.
DWORD DragDataOntoWindow(HWND hwnd, const DropData& data, POINT point, DWORD keys);
