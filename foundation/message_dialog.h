// The program's own message dialog in nine styles, sized to its text, and the
// wrappers that format a message, beep and show it.
#pragma once

#include "foundation/doc_base.h"
#include "foundation/message_dialog_args.h"
#include "platform/win/window.h"

#include <cstdint>

// Message styles; the style is always one of 0 to 8.
enum MessageStyle : int {
  kMsgWarning = 0,       // OK, Help; exclamation
  kMsgYesNo = 1,         // Yes, No; focus Yes
  kMsgYesNoFocusNo = 2,  // Yes, No; focus No
  kMsgYesNoCancel = 3,
  kMsgInfo = 4,          // OK; information
  kMsgError = 5,         // OK, Help; stop
  kMsgOkCancel = 6,      // focus Cancel
  kMsgIgnore = 7,        // OK, Ignore, Help
  kMsgYesNoHelp = 8
};

// Help context of every message dialog.
constexpr WORD kMessageHelpContext = 1062;

INT_PTR MessageDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void SizeMessageDialog(HWND dialog, const char* text);
void ErrorBeep();

// Formats into out (size bytes, always ended) with the printf conversions
// messages use (%s %d %i %u %x %X %c %ld %lu %lx, flags, width, precision, %%).
// Text beyond the buffer is cut; a conversion with no argument left prints nothing.
void FormatMessageText(char* out, size_t size, const char* format, const MsgArg* args, int count);
// A format shown without arguments goes through CopyMessageText
// (platform/win/wsprintf.h): "%%" becomes "%", every other character is copied.


constexpr size_t kMessageBufferSize = 524;
