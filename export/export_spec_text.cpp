#include "export/export_spec_text.h"

#include "foundation/band_lines.h"
#include "foundation/heap_strings.h"
#include "layout/layout_records.h"

#include <cstdio>
#include <string>

namespace {

std::string Option(const char* label, const std::string& value) { return std::string(label) + " " + value; }

// Only the bands a data export can take its fields from are named.
bool NamedBand(uint8_t band) {
  return band == kBandTitle || band == kBandSummary || band == kBandRecord ||
         (band >= kBandGroupHeader && band < kBandGroupHeader + 8) ||
         (band >= kBandGroupFooter && band < kBandGroupFooter + 8);
}

void AddBand(SpecExportBlock& b, uint8_t band) {
  if (NamedBand(band)) b.lines.emplace_back(12, Option("Band type:", SpecBandName(band)));
}

void AddDelimited(SpecExportBlock& b, uint8_t type, const std::string& separator, uint8_t flags) {
  const char* kind = type == kFileTypeComma ? "Comma Separated Value"
                     : type == kFileTypeTab ? "Tab Separated Value"
                     : type == kFileTypeFixed ? "Fixed Width"
                                              : "User-specified Character Separated Value";
  b.lines.emplace_back(12, Option("File Type:", kind));
  if (type != kFileTypeComma && type != kFileTypeTab && type != kFileTypeFixed)
    b.lines.emplace_back(14, Option("Separator:", separator.empty() ? "<none>" : separator));
  b.lines.emplace_back(12, Option("Character set:", (flags & 0x10) ? "DOS (PC)" : "Windows (ANSI)"));
  b.lines.emplace_back(12, Option("Field Names:", (flags & kDelimitedNamesLine) ? "On first line"
                                                                                  : "Not included on first line"));
}

std::string ColourText(uint32_t value) {
  for (int i = 0; i < kColorCount; ++i)
    if (ColorTable[i].color == value) {
      const char* name = GetResString(ColorTable[i].nameId, 0);
      return name ? name : "";
    }
  return std::string();
}

}  // namespace

std::vector<SpecExportBlock> DescribeExportOptions(const CKmExport& e) {
  std::vector<SpecExportBlock> out;
  auto block = [&](int format, const char* name) -> SpecExportBlock* {
    const std::string& path = e.outputNames[format];
    if (path.empty()) return nullptr;
    out.push_back(SpecExportBlock{name, path, {}});
    return &out.back();
  };
  if (SpecExportBlock* b = block(kExportText, "Text")) {
    // Bit 0 is the export's own switch to the DOS character set.
    b->lines.emplace_back(12, Option("Character set:", (e.textFlags & 0x01) ? "DOS (PC)" : "Windows (ANSI)"));
    b->lines.emplace_back(12, Option("Carriage returns:", (e.textFlags & 0x02) ? "Once per band" : "Every line"));
  }
  if (SpecExportBlock* b = block(kExportXbase, "Xbase")) AddBand(*b, e.xbaseBand);
  if (SpecExportBlock* b = block(kExportWorksheet, "Worksheet")) AddBand(*b, e.worksheetBand);
  block(kExportRtf, "Rich Text Format (RTF)");
  if (!e.html.fileName.empty()) {
    out.push_back(SpecExportBlock{"HTML", MakeExportFilePath(e.html, e.html.fileName), {}});
    SpecExportBlock& b = out.back();
    char text[128];
    if (e.html.borderFlag) {
      std::snprintf(text, sizeof text, "Table Border Width: %u", e.html.borderWidth);
      b.lines.emplace_back(10, text);
    }
    if (e.html.backgroundImage.empty()) {
      std::snprintf(text, sizeof text, "Background Color: 0x%08x %s", e.html.backgroundColour,
                    ColourText(e.html.backgroundColour).c_str());
      b.lines.emplace_back(12, text);
    } else {
      b.lines.emplace_back(12, Option("Background Image:", e.html.backgroundImage));
    }
    const auto& formats = ImageFormatTable();
    std::snprintf(text, sizeof text, "Image File Format: %s",
                  e.html.imageFormat < formats.size() ? formats[e.html.imageFormat].name : "");
    b.lines.emplace_back(12, text);
  }
  block(kExportViewer, "ActiveX Viewer File");
  if (SpecExportBlock* b = block(kExportDataFile, "Text Data File")) {
    AddBand(*b, e.dataFileBand);
    AddDelimited(*b, e.dataFileType, e.dataFileSeparator, e.dataFileFlags);
  }
  if (SpecExportBlock* b = block(kExportWordMerge, "Word Merge File")) {
    AddBand(*b, e.wordMergeBand);
    AddDelimited(*b, e.wordMergeType, e.wordMergeSeparator, e.wordMergeFlags);
  }
  return out;
}
