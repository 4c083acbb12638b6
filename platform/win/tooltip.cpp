#include "platform/win/tooltip.h"

#include "platform/win/ui_internal.h"

#include <QWidget>

#include <algorithm>
#include <cstring>
#include <string>

BOOL SetWindowToolTipA(HWND hwnd, LPCSTR text) {
  if (!IsWindow(hwnd) || !hwnd->widget) return FALSE;
  hwnd->widget->setToolTip(text && *text ? vt_ui::FromAnsi(text) : QString());
  return TRUE;
}

int GetWindowToolTipA(HWND hwnd, LPSTR buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  buffer[0] = '\0';
  if (!IsWindow(hwnd) || !hwnd->widget) return 0;
  const std::string text = vt_ui::ToAnsi(hwnd->widget->toolTip());
  const int n = std::min<int>(static_cast<int>(text.size()), size - 1);
  std::memcpy(buffer, text.data(), static_cast<size_t>(n));
  buffer[n] = '\0';
  return n;
}
