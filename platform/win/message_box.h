// The system message box, used where the program's own message dialog cannot be.
#pragma once

#include "platform/win/window.h"

#include <functional>
#include <string>

enum : UINT {
  MB_OK = 0x0, MB_OKCANCEL = 0x1, MB_ABORTRETRYIGNORE = 0x2, MB_YESNOCANCEL = 0x3, MB_YESNO = 0x4,
  MB_RETRYCANCEL = 0x5, MB_TYPEMASK = 0xF, MB_ICONHAND = 0x10, MB_ICONERROR = 0x10, MB_ICONSTOP = 0x10,
  MB_ICONQUESTION = 0x20, MB_ICONEXCLAMATION = 0x30, MB_ICONWARNING = 0x30, MB_ICONASTERISK = 0x40,
  MB_ICONINFORMATION = 0x40, MB_ICONMASK = 0xF0, MB_DEFBUTTON2 = 0x100, MB_DEFBUTTON3 = 0x200,
  MB_APPLMODAL = 0x0, MB_SYSTEMMODAL = 0x1000, MB_TASKMODAL = 0x2000
};

// Application-modal (there is no system modality); returns IDOK, IDCANCEL, IDYES, IDNO ...
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// The answer of the box's default button (MB_DEFBUTTON2/3 or the first).
int DefaultMessageBoxAnswer(UINT type);

// Every message box shown, for tests and diagnostics.
struct MessageBoxRecord {
  HWND owner;
  std::string text;
  std::string caption;
  UINT type;
};
const MessageBoxRecord* LastMessageBox();
long MessageBoxCount();
// While set, message boxes are answered by the function instead of being shown.
void SetMessageBoxResponder(std::function<int(const MessageBoxRecord&)> responder);
