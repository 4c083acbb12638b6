#include "tests/platform/printer/printer_fixture.h"

#include "engine/output_stream.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

QGuiApplication* TestApplication() {
  static int argc = 1;
  static char name[] = "test_printer";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = QGuiApplication::instance()
                                    ? static_cast<QGuiApplication*>(QGuiApplication::instance())
                                    : new QGuiApplication(argc, argv);
  return app;
}

namespace {
std::string TempDir() { return "/tmp/vt_printer_test_" + std::to_string(getpid()); }

class AppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { TestApplication(); }
  // The PDFs and page images stay for a person to look at only when asked.
  void TearDown() override {
    if (!getenv("VT_KEEP_TEST_OUTPUT")) std::filesystem::remove_all(TempDir());
  }
};
const auto* kEnv = ::testing::AddGlobalTestEnvironment(new AppEnvironment);
}  // namespace

PdfRun::PdfRun(bool preview, SHORT paper) {
  PrinterDevMode in;
  in.fields = kDmPaperSize;
  in.paperSize = paper;
  PrinterDevMode mode;
  PrinterDocumentProperties(kPdfPrinterName, &mode, &in);
  device = CreatePrinterDevice(kPdfPrinterName, &mode);
  state.printerDC = device;
  state.previewFlag = preview ? 1 : 0;
  state.printerResX = GetPrinterDeviceCaps(device, kCapLogPixelsX);
  state.printerResY = GetPrinterDeviceCaps(device, kCapLogPixelsY);
  state.physicalWidth = GetPrinterDeviceCaps(device, kCapPhysicalWidth);
  state.physicalHeight = GetPrinterDeviceCaps(device, kCapPhysicalHeight);
  state.screenPpiX = state.screenPpiY = 96;
  state.fontFaces = {"Courier New", "Arial", "Times New Roman"};
  state.fontCount = 3;
  driver = OpenPageDriverModule(PageDriverModuleName());
  BYTE params[kOpenDeviceParamsSize] = {};
  driver->OpenDevice(&state, params, "", 0, 0);
}

PdfRun::~PdfRun() {
  driver->CloseDevice(&state, 0);
  ClosePageDriverModule(driver);
  DeletePrinterDevice(device);
}

std::string TempPath(const std::string& name) {
  std::string dir = TempDir();
  mkdir(dir.c_str(), 0700);
  return dir + "/" + name;
}

std::string RunCommand(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

LineBuilder& LineBuilder::Esc(BYTE code, WORD a1, WORD a2, WORD a3) {
  BYTE buf[8];
  BYTE* end = PutEscapeSequence(buf, code, a1, a2, a3);
  bytes.insert(bytes.end(), buf, end);
  return *this;
}

LineBuilder& LineBuilder::Bare(BYTE code) {
  BYTE buf[2];
  PutBareEscape(buf, code);
  bytes.insert(bytes.end(), buf, buf + 2);
  return *this;
}

LineBuilder& LineBuilder::Text(const std::string& t) {
  size_t at = bytes.size();
  bytes.resize(at + t.size());
  PutStreamText(bytes.data() + at, t.data(), static_cast<int>(t.size()));
  return *this;
}
