#include "engine/printer_library.h"

#include "engine/output_messages.h"

#include <cstdio>

namespace {

constexpr int kVersionOneFileMajor = 648;

}  // namespace

PageDriver* LoadPrinterLibrary(const char* path, int requiredVersion,
                               const PageDriverImageFuncs* imageFuncs) {
  const char* shown = path ? path : "";
  PageDriver* library = OpenPageDriverModule(shown);
  if (!library) {
    ShowOutputError(OutputMessageText(624, shown));
    return nullptr;
  }
  return AcceptPrinterLibrary(library, shown, requiredVersion, imageFuncs);
}

PageDriver* AcceptPrinterLibrary(PageDriver* library, const char* path, int requiredVersion,
                                 const PageDriverImageFuncs* imageFuncs) {
  const char* shown = path ? path : "";
  int version = library->ApiVersion();
  if (version < 0) version = library->FileVersionMajor() == kVersionOneFileMajor ? 1 : 0;
  if (version < requiredVersion) {
    char text[64 + 1024];
    std::snprintf(text, sizeof text, "Error Loading %.1000s. Required Version: %d;  Actual version: %d",
                  shown, requiredVersion, version);
    ShowOutputError(text, "Error Loading DLL");
    ClosePageDriverModule(library);
    return nullptr;
  }
  if (imageFuncs) library->SetImageFuncs(*imageFuncs);
  return library;
}

void FreePrinterLibrary(PageDriver* library) { ClosePageDriverModule(library); }
