#include "app/status_bar.h"

#include "app/document.h"
#include "foundation/heap_strings.h"
#include "foundation/startup.h"
#include "foundation/text_helpers.h"
#include "core/fields.h"
#include "model/total_description.h"
#include "foundation/units.h"
#include "layout/item_tables.h"
#include "layout/layout_records.h"
#include "layout/picture_size.h"
#include "data/table_fields.h"
#include "core/composite.h"
#include "platform/win/fileio.h"
#include "platform/win/gdi.h"
#include "platform/win/resources.h"
#include "platform/win/wsprintf.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>

namespace {
constexpr const char* kClassName = "KmStatusBar";
constexpr int kMainTextMax = 100;
constexpr int kPositionMax = 31;
constexpr UINT kNormalIds[4] = {kIndicatorSeparator, kIndicatorPosition, kIndicatorCaps, kIndicatorNum};

void RegisterBarClass() {
  static bool done = false;
  if (done) return;
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;  // replaced per window below
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = kClassName;
  done = RegisterClassA(&wc) != 0;
}

int TextWidth(HDC dc, const char* text) {
  SIZE s{0, 0};
  GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &s);
  return s.cx;
}

// At most kMainTextMax bytes of the text into dst (kMainTextMax + 1 bytes).
// A text that names a file in the system's spelling is not cut inside a
// letter: the rest would no longer read as that name.
void CopyMessageText(char* dst, const char* src) {
  const size_t n = CopyBounded(dst, kMainTextMax + 1, src);
  if (src == nullptr || src[n] == '\0' || (static_cast<unsigned char>(src[n]) & 0xC0) != 0x80) return;
  if (FileNameText(src) != src) return;
  size_t cut = n;
  while (cut > 0 && (static_cast<unsigned char>(src[cut]) & 0xC0) == 0x80) --cut;
  dst[cut] = '\0';
}

// The library file's name without its folders.
std::string DisplayFileName(const char* path) {
  const char* slash = std::strrchr(path, '/');
  const char* back = std::strrchr(path, '\\');
  const char* cut = std::max(slash, back);
  return cut ? cut + 1 : path;
}
}  // namespace

CKmStatusBar::~CKmStatusBar() {
  FreeBuffer();
  if (IsWindow(m_hWnd)) {
    SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, 0);
    DestroyWindow(m_hWnd);
  }
}

BOOL CKmStatusBar::Create(HWND parent) {
  RegisterBarClass();
  HWND h = CreateWindowExA(0, kClassName, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<uintptr_t>(kStatusBarId)), nullptr, nullptr);
  if (h == nullptr) return FALSE;
  SetWindowLongPtrA(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CKmStatusBar::WndProc));
  m_hWnd = h;
  // The frame's creation puts the four indicators in place.
  SetSinglePane(FALSE);
  return TRUE;
}

int CKmStatusBar::Height() const {
  HDC dc = GetDC(m_hWnd);
  HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(m_hWnd, dc);
  return std::max<LONG>(20, tm.tmHeight + 8);
}

void CKmStatusBar::Attach(CKmDoc* doc) {
  if (m_pKept == nullptr) m_pKept = static_cast<char*>(HeapAllocZero(0, kMainTextMax + 1));
  m_pDoc = doc;
}

void CKmStatusBar::FreeBuffer() {
  if (m_pKept) HeapFreeBlock(m_pKept);
  m_pKept = nullptr;
}

void CKmStatusBar::SetText(const char* text) { SetTextEx(text, 0); }
void CKmStatusBar::SetTextFlagged(const char* text) { SetTextEx(text, 1); }
void CKmStatusBar::SetTextEx(const char* text, int flag) { SetPaneString(0, text, flag); }

void CKmStatusBar::SetPaneString(int selector, const char* text, int) {
  if (selector == 0) {
    CopyMessageText(m_text, text);
    SetPaneText(0, m_text);
  } else if (selector == 1) {
    CopyBounded(m_position, sizeof m_position, text);
  }
}

void CKmStatusBar::ShowMessage(const char* text) {
  SetSinglePane(TRUE);
  m_bMessageMode = TRUE;
  if (text && text[0]) {
    SetText(text);
    // Without the buffer (not attached) the message shows but is not kept.
    if (m_pKept) CopyMessageText(m_pKept, text);
  }
}

void CKmStatusBar::EndMessage() {
  if (!m_bMessageMode) return;
  SetSinglePane(FALSE);
  SetPaneText(0, m_text);
  ShowPosition();
  m_bMessageMode = FALSE;
}

void CKmStatusBar::Refresh() {
  if (m_bMessageMode) {
    // Copied first: ShowMessage copies into the kept buffer again.
    char kept[kMainTextMax + 1] = {};
    if (m_pKept) CopyBounded(kept, sizeof kept, m_pKept);
    ShowMessage(kept);
    return;
  }
  SetPaneText(0, m_text);
  if (m_pDoc && m_pDoc->m_pView) m_pDoc->m_pView->ForgetShownPosition();
  ShowPosition();
}

BOOL CKmStatusBar::SetSinglePane(BOOL single) {
  m_bSinglePane = single ? TRUE : FALSE;
  // The message pane keeps its text across the change of form.
  for (int i = 1; i < 4; ++i) m_panes[i][0] = '\0';
  if (!m_bSinglePane) {
    CopyBounded(m_panes[1], kPositionMax + 1, m_position);
  }
  Redraw();
  return TRUE;
}

void CKmStatusBar::ShowPosition() {
  if (m_pDoc == nullptr || m_pDoc->m_pView == nullptr) return;
  CKmView* view = m_pDoc->m_pView;
  if (view->CaretLine() == view->m_nShownLine && view->m_nCaretX == view->m_nShownX) return;
  if (!m_pDoc->m_bReportOpen) return;
  LayoutMetrics m;
  m.dpiX = g_screen.dpiX;
  m.dpiY = g_screen.dpiY;
  m.pitch = m_pDoc->m_settings.rulPit;
  m.metric = m_pDoc->m_measure != 1;
  UINT measure = PixelsToMeasure(m, std::max(0, view->m_nCaretX));
  char number[32];
  FormatScaledInt(static_cast<WORD>(std::min<UINT>(measure, 0xFFFF)), number, sizeof number, 2, m_pDoc->m_cDecimal);
  char line[16], unit[16];
  CopyBounded(line, sizeof line, GetResString(46, 0));
  CopyBounded(unit, sizeof unit, GetResString(m_pDoc->m_measure == 1 ? 51 : 156, 0));
  char text[96];
  std::snprintf(text, sizeof text, "%s: %3d   %s %s", line, view->CaretLine() + 1, unit, number);
  SetPaneString(1, text, 0);
  view->m_nShownLine = view->CaretLine();
  view->m_nShownX = view->m_nCaretX;
  // The frame shows the kept position text in the position pane.
  if (!m_bSinglePane) SetPaneText(1, m_position);
}

void CKmStatusBar::ShowReportName() {
  ++m_reportNameShown;
  if (m_pDoc == nullptr || !m_pDoc->m_bReportOpen) return;
  char path[262] = {};
  if (m_pDoc->m_pDocPaths) std::memcpy(path, m_pDoc->m_pDocPaths + kDocPathsLibrary, 261);
  std::string label = GetResString(233, 0);
  std::string name = path[0] ? DisplayFileName(path) : std::string(GetResString(48, 1));
  std::string text = label + ": " + name;
  SetText(text.c_str());
}

UINT CKmStatusBar::GetItemID(int index) const {
  if (index < 0 || index >= GetPaneCount()) return 0;
  return m_bSinglePane ? 0 : kNormalIds[index];
}

BOOL CKmStatusBar::SetPaneText(int index, const char* text) {
  if (index < 0 || index >= GetPaneCount()) return FALSE;
  CopyBounded(m_panes[index], sizeof m_panes[index], text);
  Redraw();
  return TRUE;
}

const char* CKmStatusBar::GetPaneText(int index) const {
  if (index < 0 || index >= GetPaneCount()) return "";
  return m_panes[index];
}

void CKmStatusBar::Redraw() {
  if (IsWindow(m_hWnd)) InvalidateRect(m_hWnd, nullptr, TRUE);
}

LRESULT CKmStatusBar::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CKmStatusBar*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self && msg == WM_PAINT) {
    self->Paint(hwnd);
    return 0;
  }
  if (self && msg == WM_NCDESTROY) self->m_hWnd = nullptr;
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void CKmStatusBar::Paint(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT client;
  GetClientRect(hwnd, &client);
  HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  HBRUSH edge = GetSysColorBrush(COLOR_BTNSHADOW);
  RECT panes[4];
  int count = GetPaneCount();
  if (m_bSinglePane) {
    panes[0] = client;
  } else {
    // Widths from the indicator texts; the message pane takes the rest.
    const char* sizing[3] = {GetResString(kIndicatorPosition, 0), "CAP", "NUM"};
    int right = client.right - 2;
    for (int i = 3; i >= 1; --i) {
      int w = TextWidth(dc, sizing[i - 1]) + 12;
      panes[i] = RECT{right - w, client.top + 2, right, client.bottom - 1};
      right -= w + 2;
    }
    panes[0] = RECT{client.left + 2, client.top + 2, right, client.bottom - 1};
  }
  for (int i = 0; i < count; ++i) {
    if (!m_bSinglePane) FrameRect(dc, &panes[i], edge);
    RECT t = panes[i];
    t.left += 4;
    t.right -= 2;
    DrawTextA(dc, m_panes[i], -1, &t, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX);
  }
  SelectObject(dc, oldFont);
  EndPaint(hwnd, &ps);
}

// --- prompts ---

namespace {
constexpr size_t kPromptSize = 335;

std::string Format(const char* format, std::initializer_list<std::string> args) {
  // Every format here is a run of %s (and literal text); fill them in order.
  std::string out;
  auto arg = args.begin();
  for (const char* p = format; *p; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      if (arg != args.end()) out += *arg++;
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

std::string Res(UINT id) { return LoadResString(id); }

std::string TwoDecimals(UINT value, char decimal) {
  char buf[32];
  FormatScaledInt(static_cast<WORD>(std::min<UINT>(value, 9999)), buf, sizeof buf, 2, decimal);
  return buf;
}

// Hundredths of an inch as the report measures: the same, or tenths of a
// millimetre in a metric report.
UINT InReportUnits(int hundredths, bool metric, int pitch) {
  const int v = std::max(0, hundredths);
  if (!metric) return static_cast<UINT>(v);
  return ConvertMeasure(static_cast<WORD>(std::min(v, 65535)), kMeasureTenthsMm, kMeasureHundredths, pitch, 0);
}

std::string BandNameOf(CKmDoc* doc, const ReportItemHead* object) {
  char name[64] = {};
  if (doc->m_bandLines.lines) {
    int kind = doc->m_bandLines.lines[object->bandLine].kind;
    GetBandName(name, sizeof name, kind, [](int) -> const char* { return nullptr; });
  }
  return name;
}

std::string TypeNameOf(const FieldDef* f) {
  switch (ObjectKindCode(f->flags)) {
    case 8: return Res(8);
    case 10: return Res(10);
    case 11: return Res(11);
    case 12: return Res(12);
    case 800: return Res(800);
    case 801: return Res(801);
    default: return Res(9);
  }
}
}  // namespace

// The prompt of a field, placed or not; 1 for one missing from its table.
int CKmStatusBar::BuildFieldPromptText(const FieldDef* f, std::string* out) {
  out->clear();
  if (f == nullptr || m_pDoc == nullptr) return 0;
  CKmComposite* model = m_pDoc->m_pModel;
  if (f->flags & kFieldAlias) {
    f = model ? model->GetFieldAt(f->refField) : nullptr;
    if (f == nullptr) return 0;
  }
  std::string name;
  if (model && model->tableCount >= 2 && f->table < 128 && model->tableSlots[f->table])
    name = std::string(model->tableSlots[f->table]->alias) + ".";
  name += f->name;
  name += ":";
  if (f->flags & kFieldCalculation) {
    char expr[1024] = {};
    if (f->exprText && std::strlen(f->exprText) < sizeof expr) RemoveTabsAndCrLf(f->exprText, expr);
    *out = name + " " + expr;
    return 0;
  }
  if (f->totalFlags & kTotalIsTotal) {
    char total[256] = {};
    BuildTotalDescription(model, f, total, sizeof total, 1, [](int) -> const FieldDef* { return nullptr; });
    *out = name + " " + total;
    return 0;
  }
  if (FieldKind(f) == kFieldMemo) {
    *out = name + "    (" + TypeNameOf(f) + ")";
    return 0;
  }
  // No description is kept for fields, so the details always show.
  const bool missing = (f->flags2 & kField2NotInTable) != 0;
  std::string size;
  char num[32];
  uint32_t length = DeclaredLength(f);
  if (FieldKind(f) == kFieldNumeric && length != 0) {
    std::snprintf(num, sizeof num, "%d.%d", static_cast<int>(length) - f->displayDecimals, f->displayDecimals);
    size = num;
  } else if (f->flags2 & 0x200) {
    std::snprintf(num, sizeof num, "%u", f->width);
    size = num;
  }
  const char* dbType = model ? GetFieldTypeText(model, const_cast<FieldDef*>(f)) : "";
  std::string source = Format(Res(3449).c_str(), {dbType ? dbType : ""});
  *out = name + "  (" + (missing ? Res(2552) : "") + TypeNameOf(f) + (size.empty() ? "" : " / " + size) + ") " +
         source;
  return missing ? 1 : 0;
}

void CKmStatusBar::ShowFieldPrompt(const FieldDef* field) {
  EndMessage();
  std::string text;
  const int missing = field != nullptr ? BuildFieldPromptText(field, &text) : 0;
  if (text.size() > kPromptSize) text.resize(kPromptSize - 1);
  if (missing) SetTextFlagged(text.c_str());
  else SetText(text.c_str());
}

int CKmStatusBar::BuildPromptText(const ReportItemHead* object, std::string* out) {
  out->clear();
  if (object == nullptr || m_pDoc == nullptr) return 0;
  CKmDoc* doc = m_pDoc;
  const bool inches = doc->m_measure == 1;
  const char decimal = doc->m_cDecimal;
  const uint32_t kind = object->flags;
  if (kind & kItemKindField) return BuildFieldPromptText(reinterpret_cast<const FieldDef*>(object), out);
  if (!(kind & (kItemKindPicture | kItemKindLine | kItemKindField | kItemKindBox | kItemKindOle | kItemKindChart))) {
    const TextItem* t = reinterpret_cast<const TextItem*>(object);
    char shown[256] = {};
    if (t->text) CopyWithoutPadChars(t->text, std::strlen(t->text), 0xB7, shown);
    *out = Res(128) + ": \"" + shown + "\"";
    return 0;
  }
  UINT w = 0, h = 0;
  if (kind & kItemKindPicture) {
    const PictureItem* p = reinterpret_cast<const PictureItem*>(object);
    w = static_cast<UINT>(std::max(0, p->shownWidth));
    h = static_cast<UINT>(std::max(0, p->shownHeight));
  } else {
    // The layout's own pixels per inch, across and down, not the screen's.
    LayoutMetrics m;
    m.pitch = doc->m_settings.rulPit;
    if (doc->m_pLayout != nullptr) m = doc->m_pLayout->metrics;
    w = InReportUnits(ToHundredthsX(m, std::max(0, object->right - object->left)), !inches, doc->m_settings.rulPit);
    h = InReportUnits(ToHundredthsY(m, std::max(0, object->bottom - object->top)), !inches, doc->m_settings.rulPit);
  }
  const std::string unit = Res(inches ? 13 : 2229);
  const std::string ws = TwoDecimals(w, decimal), hs = TwoDecimals(h, decimal);
  const std::string band = BandNameOf(doc, object);
  const std::string sizeText = Format("%sW x %sH %s", {ws, hs, unit});
  if (kind & kItemKindPicture) {
    const PictureItem* p = reinterpret_cast<const PictureItem*>(object);
    *out = Format("%s: %s  (%s, %s)", {Res(176), FileNamePart(p->fileName), band, sizeText});
  } else if (kind & kItemKindChart) {
    *out = Format("%s (%s)", {Res(7044), band});
  } else if (kind & kItemKindOle) {
    const CKmCntrItem* item = doc->m_pLayout ? FindOleItem(*doc->m_pLayout, object) : nullptr;
    *out = Format("%s: %s  (%s, %s)", {Res(7001), item ? item->typeName : std::string(), band, sizeText});
  } else if (kind & kItemKindLine) {
    // A line has one length: the longer of its two.
    *out = Format("%s (%s,%s)", {Res(46), band, (w >= h ? ws : hs) + " " + unit});
  } else {
    *out = Format("%s (%s,%s)", {Res(175), band, sizeText});
  }
  return 0;
}

int CKmStatusBar::GetPromptText(const ReportItemHead* object, char* buffer, int size) {
  std::string text;
  int missing = BuildPromptText(object, &text);
  if (buffer && size > 0) CopyBounded(buffer, static_cast<size_t>(size), text.c_str());
  return missing;
}

BOOL CKmStatusBar::ShowLinePrompt() {
  if (m_pDoc == nullptr || m_pDoc->m_bandLines.lines == nullptr) return FALSE;
  const BandLineTable& t = m_pDoc->m_bandLines;
  int32_t object = -1;
  int flag = -1;
  int last = std::min(t.lastUsed, kBandLineCount - 1);
  for (int i = 0; i <= last; ++i) {
    const BandLineRec& r = t.lines[i];
    if (!(r.flags & 4)) continue;
    if (r.objectId == -1) return FALSE;
    int bit = (r.flags & 8) ? 1 : 0;
    if (object != -1 && (r.objectId != object || bit != flag)) return FALSE;
    object = r.objectId;
    flag = bit;
  }
  if (object == -1) return FALSE;
  const FieldDef* f = m_pDoc->m_pModel ? m_pDoc->m_pModel->GetFieldAt(static_cast<uint32_t>(object)) : nullptr;
  std::string text = Format(Res(4211).c_str(), {f ? f->name : "", Res(flag ? 2248 : 2245)});
  SetText(text.c_str());
  return TRUE;
}

void CKmStatusBar::ShowPrompt(const ReportItemHead* object, BOOL force) {
  EndMessage();
  if (m_pDoc && m_pDoc->m_pMainFrame && m_pDoc->m_pMainFrame->m_wState != 0 && !force) return;
  if (object) {
    std::string text;
    int missing = BuildPromptText(object, &text);
    // One of exactly the prompt size stays whole; a longer one keeps one less.
    if (text.size() > kPromptSize) text.resize(kPromptSize - 1);
    if (missing) SetTextFlagged(text.c_str());
    else SetText(text.c_str());
    return;
  }
  if (m_pDoc && m_pDoc->m_bReportOpen && !ShowLinePrompt() && m_text[0]) SetText("");
}
