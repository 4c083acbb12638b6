// Typing text on the layout: the in-place editor opens at the caret (a new
// text) or over the current text, Enter stores what was typed (a new text
// item, changed characters, or the text deleted when emptied), Esc throws it
// away.
#include "designer/band_view.h"
#include "designer/design_view.h"
#include "dialogs/edit_text.h"
#include "engine/doc_upkeep.h"
#include "foundation/doc_base.h"
#include "foundation/heap_strings.h"
#include "layout/fonts.h"
#include "layout/layout_helpers.h"
#include "platform/win/beep.h"
#include "platform/win/dialog.h"
#include "platform/win/resources.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {
constexpr int kTextLimit = 254;
constexpr uint32_t kNotText = 0x7D0;
constexpr unsigned char kBoxFaceFill = 250;

bool IsBoxFace(HFONT font) {
  LOGFONTA lf{};
  if (font == nullptr || GetObjectA(font, sizeof lf, &lf) == 0) return false;
  return strcasecmp(lf.lfFaceName, kBoxDrawingFace) == 0;
}

SIZE Extent(HWND w, HFONT font, const char* text, int n) {
  SIZE s{0, 0};
  HDC dc = GetDC(w);
  if (dc == nullptr) return s;
  HGDIOBJ old = SelectObject(dc, font);
  GetTextExtentPoint32A(dc, text, n, &s);
  SelectObject(dc, old);
  ReleaseDC(w, dc);
  return s;
}
}  // namespace

bool CKmView::BeginTextEdit(int firstChar) {
  LayoutTables* t = Layout();
  if (t == nullptr || m_pDoc == nullptr || EditorOpen() || !ReportOpen() || Mode() != 0) return false;
  TextItem* edited = nullptr;
  if (firstChar == 0) {
    ReportItemHead* current = t->currentItem;
    if (current == nullptr || (current->flags & kNotText)) return false;
    edited = reinterpret_cast<TextItem*>(current);
  }
  DocFonts* fonts = m_pDoc->m_pFonts;
  HFONT font = edited && edited->head.fontHandle ? static_cast<HFONT>(edited->head.fontHandle)
               : fonts && fonts->regularDefault ? fonts->regularDefault
                                                : static_cast<HFONT>(GetStockObject(ANSI_VAR_FONT));
  const char fill = static_cast<char>(IsBoxFace(font) ? kBoxFaceFill : ' ');
  std::string start;
  if (edited) {
    start.assign(edited->text ? edited->text : "", edited->text ? strnlen(edited->text, HeapBlockSize(edited->text)) : 0);
  } else {
    start.assign(1, firstChar == ' ' ? fill : static_cast<char>(firstChar));
  }
  TEXTMETRICA tm{};
  HDC dc = GetDC(m_hWnd);
  if (dc) {
    HGDIOBJ old = ::SelectObject(dc, font);
    GetTextMetricsA(dc, &tm);
    ::SelectObject(dc, old);
    ReleaseDC(m_hWnd, dc);
  }
  const int height = std::max<int>(1, tm.tmHeight + 4);
  if (height > ClientHeight()) {
    MessageBeep(0);
    return false;
  }
  const int descent = tm.tmDescent + 2;
  const int line = edited ? edited->head.bandLine : CaretLine();
  const int base = edited ? edited->head.bottom - edited->head.descent : CaretY();
  int x = 0;
  if (edited) {
    EnsureXVisible(edited->head.right, true);
    x = edited->head.left - ScrollX();
  } else {
    x = m_nCaretX - ScrollX();
    if (x < 0 || x > ClientWidth() - t->metrics.dpiX) {
      EnsureXVisible(m_nCaretX, false);
      x = m_nCaretX - ScrollX();
    }
  }
  x = std::max(x, 0);
  DestroyCaretIfOwned();
  EnsureLineVisible(line, nullptr);
  int top = base - ScrollY() - height + descent;
  if (top > 0 && top + height > ClientHeight()) {
    VScrollLayout(SB_LINEDOWN, 0);
    top = base - ScrollY() - height + descent;
  }
  if (top <= 0) top = 1;
  const SIZE text = Extent(m_hWnd, font, start.c_str(), static_cast<int>(start.size()));
  const SIZE mm = Extent(m_hWnd, font, "MM", 2);
  const int width = std::max(1, std::min<int>(text.cx + mm.cx, ClientWidth() - 1 - x));
  m_rcEditor = RECT{x - 8, top, x + width, top + height};
  m_pEditor = std::make_unique<CEditText>(m_hWnd);
  if (!m_pEditor->StartEdit(font, m_rcEditor, kTextLimit, start.c_str(), fill)) {
    m_pEditor.reset();
    return false;
  }
  m_hEditor = m_pEditor->Window();
  m_pEditedText = edited;
  InvalidateRect(m_hWnd, nullptr, TRUE);
  m_pHost->ShowMessage(LoadResString(192).c_str());
  // The format bar's font controls go grey while the editor is open.
  m_pHost->UpdateFormatBar();
  return true;
}

int CKmView::FitTextToLayoutWidth(const char* text, int length, int left, HFONT font) {
  // Measured from the text's place on the layout, whatever the scrolling.
  int n = length;
  while (n > 0 && left + Extent(m_hWnd, font, text, n).cx > LayoutWidth()) --n;
  return n;
}

TextItem* CKmView::PlaceNewText(const char* text, int n) {
  LayoutTables& t = *Layout();
  DocFonts* fonts = m_pDoc->m_pFonts;
  TextItem* x = NewTextItem(m_pDoc, static_cast<uint32_t>(n + 1));
  if (x == nullptr) {
    m_pDoc->ShowErrorId(616, this);
    return nullptr;
  }
  std::memcpy(x->text, text, static_cast<size_t>(n));
  x->head.colour = m_pDoc->m_settings.color;
  if (fonts) AttachObjectFont(t, *fonts, x->head, false);
  x->head.bandLine = static_cast<uint8_t>(CaretLine());
  x->head.width = static_cast<uint8_t>(n);
  x->head.flags = kItemFixedPosition;
  x->head.column = 0;
  x->head.left = m_nCaretX;
  x->alignment = kAlignLeft;
  SizeObjectToText(t, x->head);
  x->head.bottom = CaretY() + x->head.descent;
  x->head.top = x->head.bottom - x->head.height;
  InsertBandLines(t.Lines(), kBandRecord, x->head.bandLine);
  const BandLineRec& r = t.Lines().lines[x->head.bandLine];
  const bool tall = r.heightMode != kHeightAutomatic && r.pixelHeight > x->head.height + x->head.descent;
  RelayoutAfterFontChange(t, !tall && r.heightMode != kHeightAutomatic, kNoAnchor);
  BuildLayoutItemOrder(t);
  t.currentItem = &x->head;
  return x;
}

bool CKmView::CommitTextEdit(bool* relaid) {
  LayoutTables& t = *Layout();
  DocFonts* fonts = m_pDoc->m_pFonts;
  std::string typed = m_pEditor->Text();
  if (typed.size() > static_cast<size_t>(kTextLimit)) typed.resize(kTextLimit);
  TextItem* edited = m_pEditedText;
  HFONT font = edited && edited->head.fontHandle ? static_cast<HFONT>(edited->head.fontHandle)
               : fonts && fonts->regularDefault ? fonts->regularDefault
                                                : static_cast<HFONT>(GetStockObject(ANSI_VAR_FONT));
  const int left = edited ? edited->head.left : m_nCaretX;
  const int n = FitTextToLayoutWidth(typed.c_str(), static_cast<int>(typed.size()), left, font);
  typed.resize(static_cast<size_t>(n));
  // Blanks are stored as the editor's fill character.
  for (char& c : typed)
    if (c == ' ') c = m_pEditor->FillChar();
  if (n == 0) {
    if (edited != nullptr) {
      for (const MoveSnapshotEntry& e : m_moveSnapshot)
        if (e.object == &edited->head) ForgetMoveSnapshot();
      if (t.currentItem == &edited->head) t.currentItem = nullptr;
      DeleteTextItem(m_pDoc, edited);
      m_pEditedText = nullptr;
      RelayoutAfterFontChange(t, false, kNoAnchor);
      BuildLayoutItemOrder(t);
      t.currentItem = nullptr;
      *relaid = true;
      m_pDoc->SetModifiedFlag(TRUE);
    }
    return true;
  }
  if (edited == nullptr) {
    if (PlaceNewText(typed.data(), n) == nullptr) return false;
    *relaid = true;
  } else {
    const std::string before(edited->text ? edited->text : "");
    if (before != typed) {
      if (static_cast<size_t>(n) + 1 > HeapBlockSize(edited->text)) {
        void* grown = HeapReAllocZero(edited->text, static_cast<DWORD>(n + 1));
        if (grown == nullptr) {
          m_pDoc->ShowErrorId(616, this);
          return false;
        }
        edited->text = static_cast<char*>(grown);
      }
      std::memset(edited->text, 0, HeapBlockSize(edited->text));
      std::memcpy(edited->text, typed.data(), static_cast<size_t>(n));
      edited->head.width = static_cast<uint8_t>(n);
      SizeObjectToText(t, edited->head);
    }
    t.currentItem = &edited->head;
  }
  m_pDoc->SetModifiedFlag(TRUE);
  return true;
}

void CKmView::ShowEditedTextStyle() {
  if (!EditorOpen() || m_pEditor == nullptr || m_pEditedText == nullptr) return;
  m_pEditor->SetStyle(m_pEditedText->head.fontStyle & 7);
  KeepKeysInEditor();
}

bool CKmView::EndTextEdit(bool commit) {
  if (!EditorOpen() || m_pEditor == nullptr) return true;
  bool relaid = false;
  bool stored = true;
  if (commit && Layout() != nullptr && m_pDoc != nullptr) stored = CommitTextEdit(&relaid);
  SetFocus(m_hWnd);
  DestroyTextEditor(m_pEditor.get());
  m_pEditor.reset();
  m_hEditor = nullptr;
  m_pEditedText = nullptr;
  if (relaid && m_pBandView) m_pBandView->RedrawBandPane();
  if (relaid && m_pDoc) m_pDoc->UpdateViewsByHint(kHintVerticalRuler, this);
  InvalidateRect(m_hWnd, nullptr, TRUE);
  m_pHost->ShowMessage("");
  m_pHost->UpdateFormatBar();
  UpdateCaretAndStatus(FALSE);
  return stored;
}
