// Internal to the window layer: the window record behind an HWND, the Qt
// widgets that host windows, and the helpers the layer's files share.
#pragma once

#include "platform/win/gdi.h"
#include "platform/win/window.h"

#include <QPicture>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QDialog;
class QEventLoop;
class QContextMenuEvent;
class QKeyEvent;
class QPainter;
class DropTarget;

struct HMETAFILE__ {
  QPicture picture;
};
struct HENHMETAFILE__ {
  QPicture picture;
  QRectF frame;  // the part of the recording that maps onto a played rectangle
};

struct WindowClassRec {
  std::string name;
  WNDPROC proc;
  UINT style;
  int cbWndExtra;
  HBRUSH background;
  HICON icon;
  bool builtin;
};

// Dialog state kept in the dialog window.
struct DialogRec {
  DLGPROC proc = nullptr;
  HFONT font = nullptr;
  bool ownsFont = false;
  int defId = IDOK;
  int baseX = 6;   // dialog base units of the dialog font
  int baseY = 13;
  bool modal = false;
  bool ended = false;
  INT_PTR result = 0;       // the EndDialog value
  INT_PTR msgResult = 0;    // DWLP_MSGRESULT
  INT_PTR* resultOut = nullptr;  // where a modal run collects the result
  bool* endedOut = nullptr;
  QEventLoop* loop = nullptr;
};

struct HWND__ {
  uint32_t magic;
  WindowClassRec* cls;
  WNDPROC proc;
  HWND parent;  // the parent of a child window; null for top-level windows
  HWND owner;   // the owner of a top-level window
  DWORD style;
  DWORD exStyle;
  LONG_PTR id;
  LONG_PTR userData;
  std::vector<LONG_PTR> extra;
  std::string text;  // Windows-1252
  RECT rect;         // window rectangle: parent-client coordinates for children, screen for the rest
  HFONT font;
  HICON icon;        // SS_ICON statics
  QPointer<QWidget> widget;
  std::vector<std::unique_ptr<QPicture>> overlay;  // drawn through GetDC outside painting
  std::unique_ptr<DialogRec> dlg;
  QPainter* paintPainter;  // set while the widget's paint event runs
  RECT paintRect;          // the update rectangle of the paint event that runs
  QKeyEvent* pendingKey;   // the Qt key event being turned into messages
  HWND lastFocus;  // top-level windows: the child that had the focus, for reactivation
  bool destroying;
  DropTarget* dropTarget = nullptr;  // RegisterDropTarget's, while registered
};

namespace vt_ui {
// The painter behind a paint DC (BeginPaint); null for DCs of other kinds.
QPainter* PainterOfDc(HDC dc);
constexpr uint32_t kWindowMagic = 0x57494E44;

// Windows-1252 <-> Qt text.
QString FromAnsi(const char* text, int length = -1);
QString FromAnsi(const std::string& text);
// A program text as a person reads it on the screen (titles, menus,
// messages, the status line, static texts): one that holds a file name in
// the system's spelling shows that name's letters (FileNameText).
QString FromProgramText(const char* text, int length = -1);
QString FromProgramText(const std::string& text);
std::string ToAnsi(const QString& text);

HWND FromWidget(const QWidget* widget);
// Places a window of the toolkit's own (a file dialog, a message box) over
// the middle of the window's top-level frame, or of the screen without one;
// fitFirst sizes it to its contents before.
void CenterOverWindow(QWidget& window, HWND over, bool fitFirst = true);
// Runs a dialog of the toolkit's own (a message box, a file dialog) as a
// modal window over the top-level window root (may be null), with root
// disabled meanwhile and given the keys back after; the dialog's answer.
int ExecModalOver(QDialog& dialog, HWND root);
// Non-client insets (left, top, right, bottom) of a window of that style.
RECT NonClientInsets(HWND hwnd);
// Pushes the window rectangle to the Qt widget.
void SyncGeometry(HWND hwnd);
// The class procedures of the standard controls, and the widget factory.
LRESULT ButtonProc(HWND, UINT, WPARAM, LPARAM);
LRESULT EditProc(HWND, UINT, WPARAM, LPARAM);
LRESULT StaticProc(HWND, UINT, WPARAM, LPARAM);
LRESULT ListBoxProc(HWND, UINT, WPARAM, LPARAM);
LRESULT ComboBoxProc(HWND, UINT, WPARAM, LPARAM);
LRESULT ScrollBarProc(HWND, UINT, WPARAM, LPARAM);
LRESULT DialogClassProc(HWND, UINT, WPARAM, LPARAM);
QWidget* CreateControlWidget(HWND hwnd, QWidget* parentWidget);
// The scroll code (SB_..., the same numbers as a track bar's TB_...) of a
// Qt slider action; false for an action that is no move.
bool SliderActionCode(int action, WORD* code);
// Spins and track bars (common_controls.cpp): their procedures, and their
// widgets (null for another class).
LRESULT UpDownProc(HWND, UINT, WPARAM, LPARAM);
LRESULT TrackBarProc(HWND, UINT, WPARAM, LPARAM);
QWidget* CreateCommonControlWidget(HWND hwnd, QWidget* parentWidget);
QWidget* CreateGenericWidget(HWND hwnd, QWidget* parentWidget);
// Pass the pending Qt key event to the widget's own Qt handling.
void PassKeyToWidget(HWND hwnd);
void ApplyControlFont(HWND hwnd);
// A list box shows whole rows, as Windows sizes one unless its style says
// otherwise: its height drops to the rows that fit in its rectangle.
void FitListRows(HWND hwnd);

// Sends WM_COMMAND with a notification code from a control to its parent.
void NotifyParent(HWND control, WORD code);

// Painting support shared with GDI.
int PaintDepth();
void EnterPaint();
void LeavePaint();
HDC CreatePainterDC(QPainter* painter, HWND hwnd);
// While set, each text DrawText paints clipped to its rectangle is handed
// to the watcher with that rectangle and the one its lines take.
using DrawnTextWatcher = void (*)(const QString& text, const QRect& room, const QRect& taken);
void WatchDrawnTexts(DrawnTextWatcher watcher);
void ReplayOverlay(HWND hwnd, QPainter* painter);
// The caret, when this window owns it and shows it, drawn over the painting.
void PaintCaret(HWND hwnd, QPainter* painter);
// Forgets the caret of a window that goes away.
void DropCaretOf(HWND hwnd);
// Font handles to Qt fonts, for controls.
QFont FontOf(HFONT font);
// Enhanced metafiles of recorded pictures, and their playing into a painter
// (scaled so that the frame fills the target rectangle).
HENHMETAFILE NewEnhMetaFile(const QPicture& picture, const QRectF& frame);
bool PlayEnhMetaFileOn(QPainter* painter, HENHMETAFILE metafile, const QRectF& target);
HFONT DefaultGuiFont();
// Word-wrapped text layout shared by DrawTextA and the static control.
int DrawTextImpl(const QFont& font, QPainter* painter, const char* text, int length, RECT* rect, UINT format);
void DrawIconAt(QPainter* painter, int x, int y, HICON icon);

// Every window in creation order (for lookups by widget, and the modal loops).
const std::vector<HWND>& AllWindows();
// The dialog keyboard interface: Enter, Escape. True when the key was used.
bool DialogKey(HWND focus, int vk);
// Depth of running modal dialog loops.
int ModalLoopDepth();
void SetModalLoopDepth(int depth);
// Keyboard input: the modal filter hooks and dialog keys first (true when they
// used the key), then WM_KEYDOWN/WM_CHAR/WM_KEYUP through the window procedure.
bool PreTranslateKey(HWND hwnd, QKeyEvent* e);
void RouteKey(HWND hwnd, QKeyEvent* e, bool down);
int VirtualKey(const QKeyEvent* e);
void NoteModifiers(Qt::KeyboardModifiers mods);
void SendContextMenu(HWND hwnd, const QContextMenuEvent* e);
bool InDialog(HWND hwnd);
// Records a Qt focus change as the window focus and tells the window.
void NoteFocus(HWND hwnd);
// A drag event for the window's drop target; false when it has none.
bool DragEventToTarget(QWidget* widget, QEvent* e);
// Sets how many GetMessageA/PeekMessageA loops take the queue; returns the old count.
int SwapManualPumpDepth(int depth);
}  // namespace vt_ui
