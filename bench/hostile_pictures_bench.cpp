// Metafile pictures that ask for much painting from few bytes: a polyline
// of a thin pen that the picture's window widens to the picture's size, one
// of a pen wider than any picture, a filled polygon whose edges all cross, a
// font of a new face for each letter; beside sound pictures: a polyline of a
// hairline pen of the same size, and ordinary charts and a map as drawing
// programs write them (a 300-bar chart, a 3,000-dot scatter plot, a map of
// 20,000 points, a line chart of 20,000 points, a 500-point sine curve),
// which must print. (A Windows metafile of 390,000 pens, its object table
// full, is there for the reader's own work on its table.) Each is timed two ways:
//  - DrawPicture: the image library reading the file as the report run
//    does, drawing it at the printer's fineness, in the process (a refused
//    picture takes only its counting);
//  - UnattendedPrint: the program printing the sample report with the
//    picture on it (/G), as a whole process, in a sample folder made by
//    samples/make-sample; the program is the vortelle beside this benchmark.
// Goal: the ordinary pictures drawn, every unattended print within a few
// seconds. Counters: drawn (1) or refused (0); model_ms, the painter's time
// the reader's cost model counted before drawing (counted no further than
// allowed_ms, what a picture of its size may take); and the program's exit
// status.
#include <benchmark/benchmark.h>

#include "app/sample_report.h"
#include "expr/functions_common.h"
#include "layout/layout_records.h"
#include "platform/image/image_library.h"
#include "platform/image/metafile_picture.h"
#include "files/report_io.h"
#include "platform/win/ui_app.h"
#include "tests/support/metafile_bytes.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Picture {
  const char* name;
  std::vector<uint8_t> bytes;
};

// A square metre, so that the picture is drawn at the largest size there is.
constexpr int kFrame = 100000;
// Device pixels of that frame on the reference device: a window unit is then
// four pixels of the drawn picture; at a thousand times that, a thousand.
constexpr int kPlainViewport = 3937;
constexpr int kWideningViewport = 1000000;

void StartOffscreen() {
  static int argc = 1;
  static char name[] = "bench";
  static char* argv[] = {name, nullptr};
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  UiStartApplication(&argc, argv);
}

const std::vector<Picture>& Pictures() {
  static const std::vector<Picture> pictures = {
      {"hairline_polyline_300", metafile_bytes::EmfPolyline(300, 0, kPlainViewport, kFrame)},
      // Such a line is drawn at 16 points, within what it may take; at a hundred it would take seconds.
      {"thin_pen_polyline_16", metafile_bytes::EmfPolyline(16, 1, kWideningViewport, kFrame)},
      {"thin_pen_polyline_100", metafile_bytes::EmfPolyline(100, 1, kWideningViewport, kFrame)},
      {"thin_pen_polyline_300", metafile_bytes::EmfPolyline(300, 1, kWideningViewport, kFrame)},
      {"thin_pen_polyline_20000", metafile_bytes::EmfPolyline(20000, 1, kWideningViewport, kFrame)},
      {"wide_pen_polyline_40", metafile_bytes::EmfPolyline(40, 2000000000, kPlainViewport, kFrame)},
      {"crossing_polygon_60", metafile_bytes::EmfCrossingPolygon(60, kFrame)},
      {"crossing_polygon_2000", metafile_bytes::EmfCrossingPolygon(2000, kFrame)},
      {"font_faces_2000", metafile_bytes::EmfFontFlood(2000)},
      {"font_faces_30000", metafile_bytes::EmfFontFlood(30000)},
      {"pen_table_flood_390000", metafile_bytes::WmfPenFlood(390000)},
      {"bar_chart_300", metafile_bytes::EmfBarChart(300)},
      {"scatter_plot_3000", metafile_bytes::EmfScatterPlot(3000)},
      {"outline_map_20000", metafile_bytes::EmfOutlineMap(20000)},
      {"line_chart_20000", metafile_bytes::EmfLineChart(20000)},
      {"sine_curve_500", metafile_bytes::EmfSineCurve(500)},
  };
  return pictures;
}

// The folders this benchmark made, removed when it ends.
std::vector<std::string>& Made() {
  static std::vector<std::string> made;
  return made;
}
void RemoveMade() {
  std::error_code ec;
  for (const std::string& dir : Made()) fs::remove_all(dir, ec);
}
bool MakeFolder(char* tmpl) {
  if (mkdtemp(tmpl) == nullptr) return false;
  if (Made().empty()) std::atexit(RemoveMade);
  Made().push_back(tmpl);
  return true;
}

// The pictures as files, made once.
const std::string& PictureFolder() {
  static std::string dir;
  if (!dir.empty()) return dir;
  char tmpl[] = "/tmp/vt_hostile_pictures_XXXXXX";
  if (!MakeFolder(tmpl)) return dir;
  for (const Picture& p : Pictures())
    if (!metafile_bytes::WriteFile(std::string(tmpl) + "/" + p.name + ".emf", p.bytes)) return dir;
  dir = tmpl;
  return dir;
}

void DrawPicture(benchmark::State& state) {
  StartOffscreen();
  const Picture& p = Pictures()[static_cast<size_t>(state.range(0))];
  state.SetLabel(p.name);
  const std::string file = PictureFolder() + "/" + p.name + ".emf";
  MetafilePaintCount count;
  if (CountMetafilePicture(p.bytes.data(), p.bytes.size(), kMetafileDpi, &count)) {
    state.counters["model_ms"] = count.paintNs / 1e6;
    state.counters["allowed_ms"] = count.allowedNs / 1e6;
  }
  ImageLibrary library;
  bool drawn = false;
  for (auto _ : state) {
    int error = 0;
    void* image = library.ImgDecompressFile(file.c_str(), &error);
    drawn = image != nullptr;
    if (image != nullptr) library.ImgDeleteBitmap(image);
  }
  state.counters["drawn"] = drawn ? 1 : 0;
}

std::string Here() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  path[n] = '\0';
  return fs::path(path).parent_path().string();
}

// The sample folder with a report for each picture, made once.
const std::string& SampleFolder() {
  static std::string dir;
  if (!dir.empty()) return dir;
  char tmpl[] = "/tmp/vt_hostile_sample_XXXXXX";
  if (!MakeFolder(tmpl)) return dir;
  const std::string made = tmpl;
  if (std::system(("bash '" VT_SOURCE_DIR "/samples/make-sample' '" + made + "' >/dev/null").c_str()) != 0) return dir;
  setenv("ODBCINI", (made + "/odbc.ini").c_str(), 1);
  setenv("ODBCSYSINI", made.c_str(), 1);
  setenv("VORTELLE_WINDIR", made.c_str(), 1);
  setenv("XDG_RUNTIME_DIR", made.c_str(), 1);
  InstallBuiltinFunctionHandlers();
  for (const Picture& p : Pictures()) {
    const std::string file = PictureFolder() + "/" + p.name + ".emf";
    SampleReportDocument sample;
    std::string error;
    if (!BuildSampleReport(sample.doc, sample.io, "VortelleSample", &error)) {
      std::fprintf(stderr, "the sample report cannot be made: %s\n", error.c_str());
      return dir;
    }
    PictureItem picture;
    picture.head.flags = kNewPictureFlags;
    picture.head.left = 400;
    picture.head.right = 600;
    picture.head.height = 200;
    picture.shownWidth = 200;
    picture.shownHeight = 200;
    std::snprintf(picture.fileName, sizeof picture.fileName, "%s", file.c_str());
    sample.doc.m_pLayout->pictures.Append(picture);
    if (sample.io.SaveReportFile((made + "/" + p.name + ".kmw").c_str()) != kRepIoOk) return dir;
  }
  dir = made;
  return dir;
}

void UnattendedPrint(benchmark::State& state) {
  StartOffscreen();
  const Picture& p = Pictures()[static_cast<size_t>(state.range(0))];
  state.SetLabel(p.name);
  const std::string& dir = SampleFolder();
  const std::string program = Here() + "/vortelle";
  if (dir.empty() || access(program.c_str(), X_OK) != 0) {
    state.SkipWithError("no sample folder or no program beside the benchmark");
    return;
  }
  int status = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    status = std::system(("cd '" + dir + "' && env -u DISPLAY -u WAYLAND_DISPLAY '" + program + "' /G " + p.name +
                          ".kmw >/dev/null 2>&1")
                             .c_str());
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.counters["status"] = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

BENCHMARK(DrawPicture)->DenseRange(0, 15)->Unit(benchmark::kMillisecond);
BENCHMARK(UnattendedPrint)->DenseRange(0, 15)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
