#include "export/export_library.h"

#include "foundation/byte_order.h"

#include <cstring>

std::unique_ptr<ExportLibrary> CreateXbaseLibrary();
std::unique_ptr<ExportLibrary> CreateWorksheetLibrary();
std::unique_ptr<ExportLibrary> CreateDelimitedLibrary();

bool IsPageImageFormat(int format) {
  return format == kExportText || format == kExportRtf || format == kExportHtml || format == kExportViewer;
}
bool IsDataExportFormat(int format) { return format >= 0 && format < kExportFormatSlots && !IsPageImageFormat(format); }

std::unique_ptr<ExportLibrary> OpenExportLibrary(int format) {
  switch (format) {
    case kExportXbase: return CreateXbaseLibrary();
    case kExportWorksheet: return CreateWorksheetLibrary();
    case kExportDataFile:
    case kExportWordMerge: return CreateDelimitedLibrary();
    default: return nullptr;
  }
}

double ExportNumber(const void* value) {
  double d = 0;
  if (value) std::memcpy(&d, value, sizeof d);
  return d;
}

int32_t ExportDay(const void* value) {
  int32_t d = 0;
  if (value) std::memcpy(&d, value, sizeof d);
  return d;
}

double ExportDateTimeMicros(const void* value) {
  double d = 0;
  if (value) std::memcpy(&d, static_cast<const uint8_t*>(value) + 4, sizeof d);
  return d;
}
