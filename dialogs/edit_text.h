// The in-place text editor of the layout: a one-line edit over the spot
// where a text item is typed, in the item's font, growing with its text up
// to its owner's right edge. Enter and Tab send command 1001 to the owner
// (store the text), Esc 1002 (throw it away); Up and Down send 1001 and then
// the caret command 20000 or 20001.
#pragma once

#include "platform/win/gdi.h"
#include "platform/win/window.h"

#include <string>

constexpr UINT kEditTextCommit = 1001;
constexpr UINT kEditTextCancel = 1002;

class CEditText {
 public:
  explicit CEditText(HWND owner) : m_hOwner(owner) {}
  ~CEditText();
  CEditText(const CEditText&) = delete;
  CEditText& operator=(const CEditText&) = delete;

  // Opens over the rectangle (owner coordinates) with the font, at most
  // limit characters, the starting text and the fill character shown for
  // spaces when stored; the caret goes after the text. False when the
  // window cannot be made.
  bool StartEdit(HFONT font, const RECT& rect, int limit, const char* text, char fill);
  std::string Text() const;
  char FillChar() const { return m_cFill; }
  // The text shown bold (1), italic (2) or underlined (4), in the face and
  // size it was started with.
  void SetStyle(int style);
  HWND Window() const { return m_hWnd; }
  // The window goes; the object can start again.
  void Close();
  // The editor's width for its text: the text and two wide letters, ending
  // a pixel before the owner's right edge.
  int WidthFor(const std::string& text) const;

 private:
  static LRESULT Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void Grow();

  HWND m_hOwner = nullptr;
  HWND m_hWnd = nullptr;
  // The editor's own copy of the font it was started with: the layout may
  // free its fonts (a new font for the selection, the system's fonts
  // changed) while the editor is open.
  HFONT m_hFont = nullptr;
  WNDPROC m_oldProc = nullptr;
  int m_nLeft = 0;
  char m_cFill = ' ';
};

// Closes the editor (its window goes; the object stays with its owner).
void DestroyTextEditor(CEditText* editor);

// Shift+F3: the clipboard's text typed into the window that has the focus,
// one WM_CHAR per character, no more than keeps the open editor (null when
// none) below 255 characters. Line ends and other control characters are
// not typed: they would end the entry. The characters typed.
int PasteClipboardTextToFocus(HWND editor);
