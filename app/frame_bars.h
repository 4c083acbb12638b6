// The frame's two tool bars: the action bar (file, edit, insert, database and
// calculation commands) and the format bar (font and size boxes, styles,
// alignments, trim, delete, automatic/freeform lines, snap), which shows the
// selection's formatting and applies what the user picks to it.
#pragma once

#include "app/apply_to_selection.h"
#include "app/tool_bars.h"

class CKmDoc;
class CMainFrame;

enum : UINT {
  kFontBox = 20200, kSizeBox = 20201, kBoldButton = 20202, kItalicButton = 20203, kUnderlineButton = 20204,
  kAlignLeftButton = 20205, kAlignCentreButton = 20206, kAlignRightButton = 20207, kJustifyButton = 20208,
  kTrimButton = 20209, kDeleteButton = 20210, kAutoFreeformButton = 20211, kSnapButton = 20212,
  kSizeBoxEnter = 20060, kSizeBoxEscape = 20062
};

class FrameBars {
 public:
  FrameBars() = default;
  ~FrameBars();
  FrameBars(const FrameBars&) = delete;
  FrameBars& operator=(const FrameBars&) = delete;

  // Both bars on the frame (the format bar hidden until a report shows it).
  BOOL Create(CMainFrame& frame, CKmDoc& doc, int scale = 1);
  // Places the shown bars under top across width; answers the top left for the panes.
  int Layout(int top, int width);
  void ShowActionBar(bool show);
  void ShowFormatBar(bool show);
  bool ActionBarShown() const;
  bool FormatBarShown() const;
  void SetToolTips(bool on);
  // The bars as the settings read at start-up want them.
  void ApplySettings();

  // The bars' buttons and boxes follow the report, the selection and the commands' rules.
  void UpdateActionBar();
  void UpdateFormatBar();
  // A format bar command or box notification; FALSE when it was not handled.
  BOOL HandleCommand(UINT id, WORD code);
  // Applies the size box's text (fromEdit) or list choice; false when refused (with a beep).
  bool ApplySizeFromCombo(bool fromEdit);

  CToolBarWnd m_actionBar;
  CToolBarWnd m_formatBar;
  HWND m_hFontBox = nullptr;
  HWND m_hSizeBox = nullptr;
  FormatSelectionState m_state;

 private:
  void FillFontCombo();
  void FillSizeCombo();
  void FocusFrame();
  bool TypingInPlace() const;
  CMainFrame* frame_ = nullptr;
  CKmDoc* doc_ = nullptr;
  HFONT boxFont_ = nullptr;
};

// The Toolbars dialog (View > Toolbars) and the Ruler Spacing dialog.
INT_PTR RunToolbarsDialog(CKmDoc& doc, FrameBars& bars);
// mode 0 puts the focus on the horizontal spacing; answers 1 for OK.
int EditRulerSpacing(CKmDoc& doc, int mode);
