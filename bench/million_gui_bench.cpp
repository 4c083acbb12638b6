// The program itself, offscreen, on the million-line sample (bench/run-million
// runs this in the sample folder with its environment; VT_BENCH_REPORT names
// the report):
//  - start-up to the frame shown (from VT_SPAWNED_AT, the monotonic clock in
//    nanoseconds when run-million spawned the process, else from start-up);
//  - File > Print Preview: the first page on screen, then Last Page until
//    the last page is shown; the pages produced and the peak memory;
//  - a 500-line, 2,000-item report (the sample grown to the band-line
//    table's size, written by the program's writer): opened from the command
//    line to the frame showing it, a full repaint of the view at 1280 x 900,
//    and 200 selected items dragged by the mouse, each move repainted.
// Goals: start-up 0.15 s, first page 0.3 s, last page within the /G time,
// open 0.2 s, repaint 20 ms, a drag move 16 ms. Counters carry the figures.
#include <benchmark/benchmark.h>

#include "bench/numbered_text.h"
#include "app/app.h"
#include "app/document.h"
#include "app/main_frame.h"
#include "app/preview_view.h"
#include "app/print_run.h"
#include "app/sample_report.h"
#include "core/composite.h"
#include "designer/design_view.h"
#include "designer/layout_drawing.h"
#include "engine/doc_upkeep.h"
#include "engine/output_messages.h"
#include "expr/functions_common.h"
#include "files/report_io.h"
#include "foundation/band_lines.h"
#include "layout/fonts.h"
#include "layout/layout_records.h"
#include "layout/page_setup.h"
#include "platform/win/gdi.h"
#include "platform/win/ui_app.h"

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

double PeakMb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024.0;
}

std::string Env(const char* name, const char* fallback = "") {
  const char* v = std::getenv(name);
  return v ? v : fallback;
}

bool PumpUntil(const std::function<bool()>& done, int seconds = 120) {
  const Clock::time_point start = Clock::now();
  while (Since(start) < seconds) {
    MSG m;
    bool any = false;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageA(&m);
      any = true;
    }
    if (done()) return true;
    // A busy program is not kept waiting: the sleep is only for an idle one.
    if (!any) ::usleep(100);
  }
  return done();
}

CMainFrame* Frame() { return static_cast<CMainFrame*>(AfxGetThread()->m_pMainWnd); }

void IgnoreMessage(const std::string&, const std::string&) {}

// The program on a report (or none), ended when this goes.
struct Program {
  explicit Program(const std::string& report) {
    InstallBuiltinFunctionHandlers();
    std::string a0 = "vortelle", a1 = report;
    std::vector<char*> argv{a0.data()};
    if (!report.empty()) argv.push_back(a1.data());
    ok = app.InitInstance(static_cast<int>(argv.size()), argv.data()) && Frame() != nullptr;
    SetPrintDialogRunner(nullptr);
    SetOutputMessageSink(IgnoreMessage);
  }
  ~Program() {
    if (Frame()) DestroyWindow(Frame()->m_hWnd);
    app.ExitInstance();
  }
  // The frame shown with the report open in it.
  bool Shown(bool withReport) {
    return PumpUntil([&] {
      CMainFrame* f = Frame();
      return f && IsWindowVisible(f->m_hWnd) && (!withReport || (f->m_pDoc && f->m_pDoc->m_bReportOpen));
    });
  }
  CKmApp app;
  bool ok = false;
};

void BM_StartUpToFrameShown(benchmark::State& state) {
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    const std::string spawned = Env("VT_SPAWNED_AT");
    Program program("");
    if (!program.ok || !program.Shown(false)) {
      state.SkipWithError("the frame was not shown");
      return;
    }
    double seconds = Since(start);
    if (!spawned.empty()) {
      timespec now{};
      clock_gettime(CLOCK_MONOTONIC, &now);
      seconds = (now.tv_sec * 1e9 + now.tv_nsec - std::strtod(spawned.c_str(), nullptr)) / 1e9;
    }
    state.SetIterationTime(seconds);
    state.counters["startup_s"] = seconds;
  }
}
BENCHMARK(BM_StartUpToFrameShown)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// Steps run by a timer while the preview's page loop waits.
std::function<void()> g_tick;
void Tick(HWND, UINT, UINT_PTR, DWORD) {
  if (g_tick) g_tick();
}

bool PreviewWaiting() {
  CPreview* v = ActivePreview();
  return v != nullptr && v->m_bWaiting && !v->m_bBusy;
}

void BM_PreviewMillion(benchmark::State& state) {
  const std::string report = Env("VT_BENCH_REPORT");
  if (report.empty()) {
    state.SkipWithError("VT_BENCH_REPORT names no report");
    return;
  }
  for (auto _ : state) {
    Program program(report);
    if (!program.ok || !program.Shown(true)) {
      state.SkipWithError("the report did not open");
      return;
    }
    PageOutputState& page = GetPrintRunContext().page;
    double first = -1, last = -1;
    int stage = 0, pages = 0;
    bool storeFailed = false;
    Clock::time_point start, lastStart;
    g_tick = [&] {
      CPreview* v = ActivePreview();
      if (stage == 1 && v == nullptr) {
        // The preview ended before its last page: the pages kept reached its bound.
        last = Since(lastStart);
        pages = page.pagesProduced;
        storeFailed = true;
        stage = 2;
        return;
      }
      if (stage == 0 && PreviewWaiting()) {
        first = Since(start);
        stage = 1;
        lastStart = Clock::now();
        v->OnPreviewCommand(kCmdPreviewLast);
      } else if (stage == 1 && PreviewWaiting() &&
                 ((v->m_bRunFinished && page.pageShown == v->m_nLastPage) || GetPrintRunContext().previewStoreFailed)) {
        // The run ends at its last page, or where the pages kept reach the preview's bound.
        last = Since(lastStart);
        storeFailed = GetPrintRunContext().previewStoreFailed;
        pages = page.pagesProduced;
        stage = 2;
        v->OnPreviewCommand(kCmdPreviewClose);
      }
    };
    const UINT_PTR timer = SetTimer(nullptr, 0, 1, Tick);
    start = Clock::now();
    PostMessageA(Frame()->m_hWnd, WM_COMMAND, 30040, 0);  // File > Print Preview
    PumpUntil([&] { return stage == 2 && ActivePreview() == nullptr && GetPrintRunContext().printing == 0; }, 600);
    KillTimer(nullptr, timer);
    g_tick = nullptr;
    if (stage != 2) {
      state.SkipWithError("the preview did not reach its last page");
      return;
    }
    state.SetIterationTime(first);
    state.counters["preview_first_s"] = first;
    state.counters["preview_last_s"] = last;
    state.counters["preview_pages_n"] = pages;
    state.counters["preview_peak_mb"] = PeakMb();
    state.counters["preview_bound_n"] = storeFailed ? 1 : 0;
  }
}
BENCHMARK(BM_PreviewMillion)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// --- the designer on a report of 500 text rows and 2,000 items ---

constexpr int kItems = 2000;
constexpr int kRowsPerLine = 2;

int CountItems(const CKmDoc& doc) {
  int n = static_cast<int>(doc.m_pLayout->textCount);
  for (FieldDef* f = doc.m_pModel->fieldList; f != nullptr; f = f->next)
    if (IsPlacedField(f)) ++n;
  return n;
}

// The sample report grown to the band-line table's size: record lines two
// text rows high inserted before the Summary line, texts four to a row until
// the report holds kItems items; written by the program's writer.
bool WriteLargeLayout(const std::string& path, std::string* error) {
  SampleReportDocument sample;
  CKmDoc& doc = sample.doc;
  CKmRepIO& io = sample.io;
  bool ok = BuildSampleReport(doc, io, "VortelleSample", error);
  if (ok) {
    BandLineTable& L = doc.m_bandLines;
    LayoutTables& t = *doc.m_pLayout;
    const int summary = L.lastUsed;
    const int last = kBandLineCount - 1;
    const int row = t.DefaultLineHeight();
    // The Summary line and its items go to the end of the table.
    L.lines[last] = L.lines[summary];
    for (FieldDef* f = doc.m_pModel->fieldList; f != nullptr; f = f->next)
      if (IsPlacedField(f) && f->head.bandLine == summary) f->head.bandLine = static_cast<uint8_t>(last);
    for (TextItem* x = t.textHead; x != nullptr; x = x->nextText)
      if (x->head.bandLine == summary) x->head.bandLine = static_cast<uint8_t>(last);
    int record = 0;
    while (record < summary && L.lines[record].kind != kBandRecord) ++record;
    const BandLineRec recordLine = L.lines[record];
    for (int i = summary; i < last; ++i) {
      BandLineRec& r = L.lines[i];
      r = recordLine;
      r.kind = kBandRecord;
      r.objectId = -1;
      r.heightMode = 1;
      r.height = 120 * kRowsPerLine;  // tenths of a point
      r.pixelHeight = row * kRowsPerLine;
    }
    L.lastUsed = last;
    for (int i = 0; i <= last; ++i)
      L.lines[i].bottom = (i ? L.lines[i - 1].bottom : -1) + L.lines[i].pixelHeight;
    auto place = [&](ReportItemHead& h, int rowInLine) {
      const BandLineRec& r = L.lines[h.bandLine];
      h.top = r.bottom + 1 - r.pixelHeight + rowInLine * row;
      h.bottom = h.top + row - 1;
      h.height = row;
    };
    for (FieldDef* f = doc.m_pModel->fieldList; f != nullptr; f = f->next)
      if (IsPlacedField(f)) place(f->head, 0);
    for (TextItem* x = t.textHead; x != nullptr; x = x->nextText) place(x->head, 0);
    int items = CountItems(doc);
    for (int i = summary, k = 0; items < kItems; ++items, ++k) {
      if (k == 4 * kRowsPerLine) {
        k = 0;
        if (++i == last) i = summary;
      }
      TextItem* x = AddNumberedText(&doc, items, i, (k % 4) * 16, 100, "Arial");
      x->head.left = x->head.column * 10;
      x->head.right = x->head.left + x->head.width * 10 - 1;
      place(x->head, k / 4);
    }
    BuildLayoutItemOrder(t);
    if (io.SaveReportFile(path.c_str()) != kRepIoOk) {
      *error = "cannot write " + path;
      ok = false;
    }
  }
  return ok;
}

void BM_DesignerLargeReport(benchmark::State& state) {
  const std::string path = Env("VT_BENCH_FOLDER", "/tmp") + "/designer-2000.kmw";
  std::string error;
  UiStartApplication();
  InstallBuiltinFunctionHandlers();
  if (!WriteLargeLayout(path, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  for (auto _ : state) {
    // Opened from the command line: start-up included, to the view drawn once.
    const Clock::time_point start = Clock::now();
    Program program(path);
    if (!program.ok || !program.Shown(true)) {
      state.SkipWithError("the report did not open");
      return;
    }
    CMainFrame* frame = Frame();
    CKmView& view = frame->m_wndLayoutView;
    constexpr int kWidth = 1280, kHeight = 900;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(nullptr, kWidth, kHeight);
    SelectObject(dc, bitmap);
    const RECT all{0, 0, kWidth, kHeight};
    auto paint = [&] {
      FillRect(dc, &all, GetSysColorBrush(COLOR_WINDOW));
      DrawLayoutView(view, dc, all);
      GetPixel(dc, 0, 0);  // the picture is finished only when the painter lets it go
    };
    // The view itself at 1280 x 900: the frame grown by what its bars and panes take.
    RECT c{};
    GetClientRect(view.m_hWnd, &c);
    RECT f{};
    GetWindowRect(frame->m_hWnd, &f);
    MoveWindow(frame->m_hWnd, 0, 0, (f.right - f.left) + kWidth - c.right, (f.bottom - f.top) + kHeight - c.bottom,
               TRUE);
    PumpUntil([] { return true; });
    paint();
    const double open = Since(start);

    const int kRepaints = 50;
    Clock::time_point t0 = Clock::now();
    for (int i = 0; i < kRepaints; ++i) paint();
    const double repaint = Since(t0) / kRepaints;

    // 200 items selected, then dragged by the first of them.
    CKmDoc& doc = *frame->m_pDoc;
    LayoutTables& t = *doc.m_pLayout;
    view.ClearSelection();
    std::vector<TextItem*> chosen;
    for (TextItem* x = t.textHead; x != nullptr && chosen.size() < 200; x = x->nextText)
      if (std::strncmp(x->text, "Item ", 5) == 0) chosen.push_back(x);
    for (TextItem* x : chosen) view.SelectObject(x->head, true);
    const RECT grip = view.ViewRect(chosen.front()->head);
    const int x0 = (grip.left + grip.right) / 2, y0 = (grip.top + grip.bottom) / 2;
    auto at = [](int x, int y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); };
    SendMessageA(view.m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, at(x0, y0));
    const int kMoves = 40;
    t0 = Clock::now();
    for (int i = 1; i <= kMoves; ++i) {
      SendMessageA(view.m_hWnd, WM_MOUSEMOVE, MK_LBUTTON, at(x0 + 3 * i, y0 + (i % 2)));
      paint();
    }
    const double drag = Since(t0) / kMoves;
    SendMessageA(view.m_hWnd, WM_LBUTTONUP, 0, at(x0 + 3 * kMoves, y0));
    DeleteDC(dc);
    DeleteObject(bitmap);
    // Nothing is saved: the dragged report is left unchanged on disk.
    doc.SetModifiedFlag(FALSE);
    state.SetIterationTime(open);
    state.counters["designer_open_s"] = open;
    state.counters["designer_repaint_s"] = repaint;
    state.counters["designer_drag_s"] = drag;
    state.counters["designer_items_n"] = CountItems(doc);
  }
}
BENCHMARK(BM_DesignerLargeReport)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
