// The design surface on its own, offscreen: a top-level window holding the
// band pane and the ruler pane with the layout view, over a document whose
// layout is built in the test (band lines, texts, lines and boxes) with real
// screen fonts. Input is sent as window messages and key chords.
#pragma once

#include "designer/band_view.h"
#include "designer/design_view.h"
#include "designer/ruler_view.h"
#include "engine/doc_upkeep.h"
#include "foundation/doc_base.h"
#include "layout/band_line_layout.h"
#include "layout/fonts.h"
#include "layout/layout_helpers.h"
#include "platform/win/accel.h"
#include "platform/win/beep.h"
#include "platform/win/gdi.h"
#include "platform/win/ui_app.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

class SurfaceHost : public DesignerHost {
 public:
  void ShowPrompt(const ReportItemHead* object) override { prompted = object; }
  void ShowPosition() override { ++positions; }
  void ShowMessage(const char* text) override { message = text ? text : ""; }
  void ShowReportName() override { ++reportNames; }
  BOOL ForwardCommand(UINT id) override {
    forwarded.push_back(id);
    return TRUE;
  }
  int ForwardUpdate(UINT id) override { return id == 30130 ? pasteHolds : -1; }
  bool OutputRunning() const override { return output; }
  WORD FrameMode() const override { return frameMode; }
  const ReportItemHead* prompted = nullptr;
  int positions = 0, reportNames = 0, pasteHolds = 0;
  std::string message;
  std::vector<UINT> forwarded;
  bool output = false;
  WORD frameMode = 0;
};

class SurfaceViews : public DocViews {
 public:
  void UpdateAllViews(int hint, void* sender) override {
    if (view) view->OnUpdate(hint, sender);
    if (band) band->OnUpdate(hint);
    if (ruler) ruler->OnUpdate(hint);
  }
  CKmView* view = nullptr;
  CBandView* band = nullptr;
  CRulerView* ruler = nullptr;
};

class Surface : public ::testing::Test {
 protected:
  static constexpr int kBandWidth = 80;

  void SetUp() override {
    UiStartApplication();
    lines.reset(new BandLineRec[kBandLineTableRecords]);
    doc.m_bandLines.lines = lines.get();
    ClearBandLineTable(doc.m_bandLines);
    layout.AttachBandLineTable(&doc.m_bandLines);
    doc.m_pLayout = &layout;
    doc.m_pFonts = &fonts;
    EnumPrinterFonts(fonts, layout.metrics, nullptr);
    doc.m_settings.shGrd = 0;
    doc.m_pageMetrics.printableWidth = 75;
    doc.m_pViews = &views;
  }

  void TearDown() override {
    doc.m_pViews = nullptr;
    if (keys != nullptr) DestroyAcceleratorTable(keys);
    keys = nullptr;
    frame.reset();
    // The items' fonts go while the items still name them.
    ReleaseObjectFonts(layout, fonts, false, false);
    FreeTextItems(&doc);
    FreeFontTable(fonts);
    doc.m_pLayout = nullptr;
    doc.m_pFonts = nullptr;
  }

  // --- building the report ---
  int AddLine(BYTE kind, BYTE heightMode = 0, uint32_t height = 0) {
    BandLineTable& t = doc.m_bandLines;
    const int index = t.lines[0].kind == kBandFree ? 0 : t.lastUsed + 1;
    t.lastUsed = index;
    BandLineRec& r = t.lines[index];
    r = BandLineRec{};
    r.kind = kind;
    r.objectId = -1;
    r.heightMode = heightMode;
    r.height = height;
    return index;
  }
  TextItem* AddText(int line, int column, const char* text, int points = 100, BYTE colour = 0) {
    const size_t n = std::strlen(text);
    TextItem* x = NewTextItem(&doc, static_cast<uint32_t>(n + 1));
    std::memcpy(x->text, text, n);
    x->head.bandLine = static_cast<uint8_t>(line);
    x->head.column = column;
    x->head.width = static_cast<uint8_t>(n);
    x->head.pointSize = points;
    x->head.colour = colour;
    x->head.faceAtom = AddFaceAtom("Arial");
    x->head.flags |= kItemFixedPosition;
    x->head.left = column * 10;
    return x;
  }
  LineBoxItem* AddBox(int line, int left, int top, int right, int bottom, bool isLine = false) {
    LineBoxItem b = isLine ? MakeNewLine(0) : MakeNewBox();
    b.head.bandLine = static_cast<uint8_t>(line);
    b.head.left = left;
    b.head.top = top;
    b.head.right = right;
    b.head.bottom = bottom;
    b.head.height = bottom - top + 1;
    return layout.linesBoxes.Append(b);
  }
  // Fonts, extents and the relayout, as after a report is read.
  void Finish() {
    RecalcObjectExtents(layout, fonts, false, false, true);
    BuildLayoutItemOrder(layout);
    doc.m_bReportOpen = TRUE;
  }

  // --- the windows ---
  void Open(int width = 900, int height = 500) {
    frame = std::make_unique<Windows>();
    Windows& w = *frame;
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = "SurfaceTop";
    RegisterClassA(&wc);
    w.top = CreateWindowExA(0, "SurfaceTop", "Surface", WS_POPUP, 0, 0, width, height, nullptr, nullptr, nullptr,
                            nullptr);
    ASSERT_TRUE(w.top != nullptr);
    ASSERT_TRUE(w.band.Create(w.top, 2));
    ASSERT_TRUE(w.ruler.Create(w.top, 1, &w.view, &doc));
    w.band.CacheDocument(&doc, &w.view);
    w.view.AttachFrameAndDocument(&doc, &host);
    w.view.SetPanes(&w.band, &w.ruler);
    views.view = &w.view;
    views.band = &w.band;
    views.ruler = &w.ruler;
    MoveWindow(w.band.m_hWnd, 0, 0, kBandWidth, height, TRUE);
    MoveWindow(w.ruler.m_hWnd, kBandWidth + 4, 0, width - kBandWidth - 4, height, TRUE);
    w.ruler.ShowBar(w.ruler.HorizontalBar(), doc.m_settings.shHzRul != 0);
    w.ruler.ShowBar(w.ruler.VerticalBar(), doc.m_settings.shVtRul != 0);
    w.view.UpdateScrollBars();
    ShowWindow(w.top, SW_SHOWNORMAL);
    w.view.UpdateCaretAndStatus(FALSE);
  }
  CKmView& View() { return frame->view; }
  CBandView& Band() { return frame->band; }
  CRulerView& Rulers() { return frame->ruler; }

  // A command as the layout's key table would send it.
  void Command(UINT id) { SendMessageA(View().m_hWnd, WM_COMMAND, id, 0); }
  void Key(int vk, BYTE mods = 0) {
    if (keys == nullptr) keys = LoadAcceleratorsA(nullptr, "LayoutKeys");
    ACCEL table[128];
    const int n = CopyAcceleratorTableA(keys, table, 128);
    for (int i = 0; i < n; ++i)
      if (table[i].key == vk && (table[i].fVirt & (FSHIFT | FCONTROL | FALT)) == mods) {
        Command(table[i].cmd);
        return;
      }
    ADD_FAILURE() << "no key " << vk;
  }
  void Click(HWND w, int x, int y, WPARAM keys = 0) {
    SendMessageA(w, WM_LBUTTONDOWN, keys | 1, MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)));
    SendMessageA(w, WM_LBUTTONUP, keys, MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)));
  }

  struct Windows {
    ~Windows() {
      if (IsWindow(top)) DestroyWindow(top);
    }
    HWND top = nullptr;
    CBandView band;
    CRulerView ruler;
    CKmView view;
  };

  KmDocBase doc;
  LayoutTables layout;
  DocFonts fonts;
  std::unique_ptr<BandLineRec[]> lines;
  SurfaceHost host;
  SurfaceViews views;
  std::unique_ptr<Windows> frame;
  HACCEL keys = nullptr;
};
