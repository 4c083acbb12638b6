#include "dialogs/chart_sheet.h"

#include "dialogs/field_list_box.h"
#include "charts/chart_render.h"
#include "core/composite.h"
#include "foundation/dialog_runner.h"
#include "foundation/doc_base.h"
#include "foundation/heap_strings.h"
#include "layout/layout_records.h"
#include "platform/win/dialog.h"
#include "platform/win/gdi.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

const char* const kPreviewClass = "ChartPreview";

struct TypeName {
  uint16_t type;
  const char* name;
};
const TypeName kTypes[] = {{1, "Pie"},          {2, "3-D Pie"},       {3, "Bar"},          {4, "Bar, two axes"},
                           {6, "Line"},         {13, "Line, two axes"}, {8, "Area"},     {14, "Area, two axes"}};
const char* const kStyles[] = {"Clustered", "Stacked", "Stacked 100 %", "Overlapped", "From lowest value"};
const char* const kFaces[] = {"Arial", "Times New Roman", "Courier New"};
constexpr int kPalettes = 10;

LRESULT Send(HWND d, int id, UINT msg, WPARAM w = 0, LPARAM l = 0) { return SendDlgItemMessageA(d, id, msg, w, l); }
void Add(HWND d, int id, const char* text, LPARAM data) {
  const LRESULT i = Send(d, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  Send(d, id, CB_SETITEMDATA, static_cast<WPARAM>(i), data);
}
void SelectData(HWND d, int id, LPARAM data) {
  const LRESULT n = Send(d, id, CB_GETCOUNT);
  for (LRESULT i = 0; i < n; ++i)
    if (Send(d, id, CB_GETITEMDATA, static_cast<WPARAM>(i)) == data) {
      Send(d, id, CB_SETCURSEL, static_cast<WPARAM>(i));
      return;
    }
}
LPARAM SelectedData(HWND d, int id, LPARAM fallback) {
  const LRESULT i = Send(d, id, CB_GETCURSEL);
  return i < 0 ? fallback : Send(d, id, CB_GETITEMDATA, static_cast<WPARAM>(i));
}
std::string Text(HWND d, int id) {
  char b[256] = {};
  GetDlgItemTextA(d, id, b, sizeof b);
  return b;
}
void Check(HWND d, int id, bool on) { CheckDlgButton(d, id, on ? BST_CHECKED : BST_UNCHECKED); }
bool Checked(HWND d, int id) { return IsDlgButtonChecked(d, id) == BST_CHECKED; }

void FillFonts(HWND d, const std::string& face) {
  for (const char* f : kFaces) Send(d, kChartFontFace, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(f));
  SetDlgItemTextA(d, kChartFontFace, face.c_str());
}
void FillPalettes(HWND d, int palette, bool withDefault) {
  if (withDefault) Add(d, kChartPalette, "Default", 0);
  for (int i = 1; i <= kPalettes; ++i) {
    char b[24];
    std::snprintf(b, sizeof b, "Palette %d", i);
    Add(d, kChartPalette, b, i);
  }
  SelectData(d, kChartPalette, palette);
}

struct SheetState {
  KmDocBase* doc = nullptr;
  CKmChart* chart = nullptr;
};

void FillSheet(HWND d, const SheetState& st) {
  const ChartSettings& s = st.chart->Settings();
  for (const TypeName& t : kTypes) Add(d, kChartTypeBox, t.name, t.type);
  SelectData(d, kChartTypeBox, s.type);
  for (int i = 0; i < 5; ++i) Add(d, kChartStyleBox, kStyles[i], i + 1);
  SelectData(d, kChartStyleBox, s.subStyle);
  Check(d, kChartAcross, s.orientation == 1);
  Check(d, kChartDepth, s.depth != 0);
  Check(d, kChartGrid, s.gridLines != 0);
  Check(d, kChartAnchorBottom, s.anchorMode != 0);
  Check(d, kChartLegend, s.legend != 0);
  Check(d, kChartDataLabels, s.dataLabels != 0);
  Add(d, kChartValuesPer, "Record", kChartLevelRecord);
  for (int level = 0; level < 8; ++level) {
    char b[32];
    std::snprintf(b, sizeof b, "Group %d", level + 1);
    Add(d, kChartValuesPer, b, level);
  }
  Add(d, kChartValuesPer, "Report", kChartLevelReport);
  SelectData(d, kChartValuesPer, s.level);
  Add(d, kChartLabelField, "(none)", static_cast<LPARAM>(kNoField));
  CKmComposite* m = st.chart->Model();
  uint32_t n = 0;
  for (FieldDef* f = m ? m->fieldList : nullptr; f; f = f->next, ++n) {
    if (f->flags & kFieldAlias) continue;
    const std::string shown = FieldNameWithTable(f->name, f, m);
    Add(d, kChartLabelField, shown.c_str(), static_cast<LPARAM>(n));
    if (!(FieldKind(f) & (kFieldNumeric | kFieldLogical))) continue;
    const LRESULT i = Send(d, kChartSeriesList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(shown.c_str()));
    Send(d, kChartSeriesList, LB_SETITEMDATA, static_cast<WPARAM>(i), static_cast<LPARAM>(n));
    if (st.chart->HasSeriesFor(n) && n != s.labelField) Send(d, kChartSeriesList, LB_SETSEL, TRUE, i);
  }
  SelectData(d, kChartLabelField, static_cast<LPARAM>(s.labelField));
  SetDlgItemTextA(d, kChartTitle, s.titles[0].c_str());
  SetDlgItemTextA(d, kChartTitleX, s.titles[1].c_str());
  SetDlgItemTextA(d, kChartTitleY, s.titles[2].c_str());
  SetDlgItemTextA(d, kChartTitleYR, s.titles[3].c_str());
  Add(d, kChartBackground, "(none)", 0);
  for (int c = 1; c < kColorCount; ++c) Add(d, kChartBackground, GetResString(ColorTable[c].nameId, 0), c);
  SelectData(d, kChartBackground, s.titleBackground);
  Check(d, kChartUserRange, s.rangeMode == 1);
  char b[48];
  std::snprintf(b, sizeof b, "%g", s.rangeMin);
  SetDlgItemTextA(d, kChartRangeMin, b);
  std::snprintf(b, sizeof b, "%g", s.rangeMax);
  SetDlgItemTextA(d, kChartRangeMax, b);
  FillFonts(d, s.faces[0]);
  FillPalettes(d, s.colourScheme, false);
}

void TakeSheet(HWND d, CKmChart& chart) {
  ChartSettings& s = chart.Settings();
  s.type = static_cast<uint16_t>(SelectedData(d, kChartTypeBox, s.type));
  s.subStyle = static_cast<uint16_t>(SelectedData(d, kChartStyleBox, s.subStyle));
  s.orientation = Checked(d, kChartAcross) ? 1 : 0;
  s.depth = Checked(d, kChartDepth);
  s.gridLines = Checked(d, kChartGrid);
  s.anchorMode = Checked(d, kChartAnchorBottom);
  s.legend = Checked(d, kChartLegend);
  s.dataLabels = Checked(d, kChartDataLabels);
  s.level = static_cast<uint8_t>(SelectedData(d, kChartValuesPer, s.level));
  s.labelField = static_cast<uint32_t>(SelectedData(d, kChartLabelField, static_cast<LPARAM>(kNoField)));
  std::vector<ChartSeries> series;
  const LRESULT count = Send(d, kChartSeriesList, LB_GETCOUNT);
  for (LRESULT i = 0; i < count && series.size() < static_cast<size_t>(kChartMaxSeries); ++i) {
    if (Send(d, kChartSeriesList, LB_GETSEL, static_cast<WPARAM>(i)) <= 0) continue;
    ChartSeries x;
    x.field = static_cast<uint32_t>(Send(d, kChartSeriesList, LB_GETITEMDATA, static_cast<WPARAM>(i)));
    // A series keeps its own label when it stays.
    for (const auto& old : s.series)
      if (old.field == x.field) x.label = old.label;
    series.push_back(std::move(x));
  }
  s.series = std::move(series);
  s.titles[0] = Text(d, kChartTitle);
  s.titles[1] = Text(d, kChartTitleX);
  s.titles[2] = Text(d, kChartTitleY);
  s.titles[3] = Text(d, kChartTitleYR);
  s.titleBackground = static_cast<uint8_t>(SelectedData(d, kChartBackground, 0));
  s.rangeMode = Checked(d, kChartUserRange) ? 1 : 0;
  s.rangeMin = std::strtod(Text(d, kChartRangeMin).c_str(), nullptr);
  s.rangeMax = std::strtod(Text(d, kChartRangeMax).c_str(), nullptr);
  const std::string face = Text(d, kChartFontFace);
  s.faces[0] = face.empty() ? "Arial" : face.substr(0, 31);
  s.colourScheme = static_cast<uint16_t>(SelectedData(d, kChartPalette, s.colourScheme));
}

INT_PTR ChartSheetProc(HWND d, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* st = reinterpret_cast<SheetState*>(GetWindowLongPtrA(d, DWLP_USER));
  switch (msg) {
    case WM_MEASUREITEM:
      if (wParam != kChartBackground) return FALSE;
      MeasureColorItem(reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_DRAWITEM: {
      if (wParam != kChartBackground) return FALSE;
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      const BYTE code = static_cast<BYTE>(item->itemData);
      DrawColorItem(item, ColorTableValue(code), code == 0);
      if (item->itemState & ODS_SELECTED) DrawColorItemFrame(item);
      return TRUE;
    }
    case WM_INITDIALOG:
      SetWindowLongPtrA(d, DWLP_USER, lParam);
      st = reinterpret_cast<SheetState*>(lParam);
      if (st->doc) st->doc->CenterDialogOnOwner(d);
      FillSheet(d, *st);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        TakeSheet(d, *st->chart);
        EndDialog(d, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(d, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

struct FontPageState {
  KmDocBase* doc = nullptr;
  CChartData* data = nullptr;
  std::unique_ptr<CKmChart> preview;
};

void ShowPreview(HWND d, FontPageState& st) {
  if (!st.preview) return;
  st.preview->Settings().faces[0] = Text(d, kChartFontFace);
  const int palette = static_cast<int>(SelectedData(d, kChartPalette, 0));
  st.preview->Settings().colourScheme = static_cast<uint16_t>(palette > 0 ? palette : 4);
  HWND control = GetDlgItem(d, kChartPreview);
  SetWindowLongPtrA(control, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(st.preview.get()));
  InvalidateRect(control, nullptr, TRUE);
}

INT_PTR ChartFontPageProc(HWND d, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* st = reinterpret_cast<FontPageState*>(GetWindowLongPtrA(d, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(d, DWLP_USER, lParam);
      st = reinterpret_cast<FontPageState*>(lParam);
      if (st->doc) st->doc->CenterDialogOnOwner(d);
      FillFonts(d, st->data->baseFace);
      FillPalettes(d, st->data->palette, true);
      ShowPreview(d, *st);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          st->data->baseFace = Text(d, kChartFontFace);
          st->data->palette = static_cast<int>(SelectedData(d, kChartPalette, st->data->palette));
          EndDialog(d, IDOK);
          return TRUE;
        case IDCANCEL:
          EndDialog(d, IDCANCEL);
          return TRUE;
        case kChartFontFace:
        case kChartPalette:
          if (HIWORD(wParam) == CBN_SELCHANGE || HIWORD(wParam) == CBN_EDITCHANGE) ShowPreview(d, *st);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

LRESULT PreviewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg != WM_PAINT) return DefWindowProcA(hwnd, msg, wParam, lParam);
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT r;
  GetClientRect(hwnd, &r);
  const auto* chart = reinterpret_cast<const CKmChart*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (chart != nullptr && r.right > 0 && r.bottom > 0) {
    if (HENHMETAFILE pic = RenderChartMetafile(*chart, r.right, r.bottom, nullptr)) {
      PlayEnhMetaFile(dc, pic, &r);
      DeleteEnhMetaFile(pic);
    }
  }
  EndPaint(hwnd, &ps);
  return 0;
}

}  // namespace

void MeasureColorItem(MEASUREITEMSTRUCT* item) {
  if (item) item->itemHeight = 16;
}

void DrawColorItem(const DRAWITEMSTRUCT* item, COLORREF colour, bool noColour) {
  if (item == nullptr || item->hDC == nullptr) return;
  HDC dc = item->hDC;
  const RECT& r = item->rcItem;
  FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOW));
  RECT swatch{r.left + 2, r.top + 2, r.left + 26, r.bottom - 2};
  if (!noColour) {
    HBRUSH b = CreateSolidBrush(colour);
    FillRect(dc, &swatch, b);
    DeleteObject(b);
  }
  FrameRect(dc, &swatch, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  char name[64] = {};
  SendMessageA(item->hwndItem, CB_GETLBTEXT, item->itemID, reinterpret_cast<LPARAM>(name));
  RECT text{r.left + 30, r.top, r.right, r.bottom};
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  DrawTextA(dc, name, -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

void DrawColorItemFrame(const DRAWITEMSTRUCT* item) {
  if (item == nullptr || item->hDC == nullptr) return;
  RECT r = item->rcItem;
  r.right = r.left + 28;
  FrameRect(item->hDC, &r, GetSysColorBrush(COLOR_HIGHLIGHT));
}

const char* RegisterChartPreviewClass() {
  static bool done = false;
  if (!done) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = PreviewProc;
    wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    wc.lpszClassName = kPreviewClass;
    done = RegisterClassA(&wc) != 0;
  }
  return kPreviewClass;
}

bool RunChartSheet(KmDocBase* doc, HWND owner, CKmChart& chart) {
  if (chart.IsForeign() || chart.IsDamaged()) return false;  // nothing of ours to edit
  SheetState st;
  st.doc = doc;
  st.chart = &chart;
  const INT_PTR r = doc ? doc->DoModalDialog(owner, ChartSheetProc, "DCHARTFORMAT", reinterpret_cast<LPARAM>(&st))
                        : DialogBoxParamA(nullptr, "DCHARTFORMAT", owner, ChartSheetProc, reinterpret_cast<LPARAM>(&st));
  return r == IDOK;
}

bool RunChartFontPage(KmDocBase* doc, HWND owner, CChartData& data, const CKmChart* scratch) {
  RegisterChartPreviewClass();
  FontPageState st;
  st.doc = doc;
  st.data = &data;
  if (scratch) st.preview = std::make_unique<CKmChart>(*scratch);
  const INT_PTR r = doc ? doc->DoModalDialog(owner, ChartFontPageProc, "DCHARTFONT", reinterpret_cast<LPARAM>(&st))
                        : DialogBoxParamA(nullptr, "DCHARTFONT", owner, ChartFontPageProc, reinterpret_cast<LPARAM>(&st));
  return r == IDOK;
}
