// The status line at the bottom of the main frame: a message pane, the
// position pane and CAP/NUM in its normal form, or one message pane alone.
#pragma once

#include "platform/mfc/afxwin.h"
#include "platform/win/window.h"

#include <string>

class CKmDoc;
struct FieldDef;
struct ReportItemHead;

// Indicator ids of the panes.
constexpr UINT kIndicatorSeparator = 0;
constexpr UINT kIndicatorCaps = 59137;
constexpr UINT kIndicatorNum = 59138;
constexpr UINT kIndicatorPosition = 59142;
constexpr UINT kStatusBarId = 59393;

class CKmStatusBar : public CWnd {
 public:
  CKmStatusBar() = default;
  ~CKmStatusBar() override;
  CKmStatusBar(const CKmStatusBar&) = delete;
  CKmStatusBar& operator=(const CKmStatusBar&) = delete;

  // The bar's window on the frame, with the four indicators of the normal form.
  BOOL Create(HWND parent);
  int Height() const;

  void Attach(CKmDoc* doc);  // the kept-message buffer and the document
  void FreeBuffer();

  // At most 100 characters are kept; null empties the text.
  void SetText(const char* text);
  void SetTextFlagged(const char* text);
  void SetTextEx(const char* text, int flag);
  // Selector 0: the message pane (100 characters); 1: the position text (31), not shown by itself.
  void SetPaneString(int selector, const char* text, int flag);
  void ShowMessage(const char* text);
  void EndMessage();
  void Refresh();
  // TRUE: one pane across the bar; FALSE: the four panes.
  BOOL SetSinglePane(BOOL single);
  void ShowPosition();
  // "Library: name" of the open report's library, or "Library:  (None)".
  void ShowReportName();
  // The prompt for the object under the caret or selected; null: the marked
  // lines' print condition. Not forced, it waits while a mouse action runs.
  void ShowPrompt(const ReportItemHead* object, BOOL force);
  // "Print when <field> is TRUE/FALSE" while the marked lines share one condition.
  BOOL ShowLinePrompt();
  // The prompt text of one object, at most size - 1 characters; 1 for a field
  // missing from its table.
  int GetPromptText(const ReportItemHead* object, char* buffer, int size);
  int BuildPromptText(const ReportItemHead* object, std::string* text);
  int BuildFieldPromptText(const FieldDef* field, std::string* text);
  // A field's prompt, whether or not it is placed (a dialog's chosen field).
  void ShowFieldPrompt(const FieldDef* field);
  int HitTest(int, int) const { return 0; }

  // The framework side: pane texts as shown.
  BOOL SetPaneText(int index, const char* text);
  const char* GetPaneText(int index) const;
  int GetPaneCount() const { return m_bSinglePane ? 1 : 4; }
  UINT GetItemID(int index) const;

  const char* GetText() const { return m_text; }
  const char* GetPositionText() const { return m_position; }
  const char* GetKeptMessage() const { return m_pKept; }
  BOOL InMessageMode() const { return m_bMessageMode; }
  BOOL IsSinglePane() const { return m_bSinglePane; }
  int ReportNameShown() const { return m_reportNameShown; }

  CKmDoc* m_pDoc = nullptr;

 private:
  static LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void Paint(HWND hwnd);
  void Redraw();

  char m_position[32] = {};
  BOOL m_bMessageMode = TRUE;
  char* m_pKept = nullptr;  // 101 bytes from the process heap once attached
  char m_text[101] = {};
  BOOL m_bSinglePane = TRUE;
  char m_panes[4][101] = {};
  int m_reportNameShown = 0;
};
