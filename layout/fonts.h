// The printer's font table, the document's default fonts, the screen fonts
// of fields and texts (shared between items that ask for the same face,
// style and size), and item extents that follow their fonts.
#pragma once

#include "layout/layout_records.h"
#include "platform/win/gdi.h"

#include <string>
#include <vector>

constexpr BYTE kFontDevice = 1;
// The face whose texts are kept in the OEM character set.
constexpr const char kBoxDrawingFace[] = "Duridev-ER";
constexpr BYTE kFontTrueType = 2;
constexpr int kMaxRasterSizes = 19;

struct FontEntry {
  int32_t regularWeight = 0;
  int32_t boldWeight = FW_BOLD;
  int32_t italicWeight = FW_NORMAL;  // non-zero: italic may be used
  LOGFONTA logFont{};
  BYTE sizeCount = 0;
  BYTE fontFlags = 0;
  BYTE sizes[20] = {};  // whole points, raster families only
};

// One family as the printer reports it.
struct PrinterFace {
  std::string face;
  bool device = false;    // printer-resident
  bool trueType = true;   // scalable outline font
  bool raster = false;    // screen raster font (skipped unless device)
  bool fixedPitch = false;
  std::vector<int> weights{FW_NORMAL, FW_BOLD};
  bool hasItalic = true;
  std::vector<int> rasterSizes;  // whole points
};

constexpr BYTE kOwnRegularDefault = 4;
constexpr BYTE kOwnUnderlineDefault = 8;

// The document's fonts.
struct DocFonts {
  DocFonts() = default;
  // The default fonts it owns go with it.
  ~DocFonts();
  DocFonts(const DocFonts&) = delete;
  DocFonts& operator=(const DocFonts&) = delete;

  std::vector<FontEntry> table;
  WORD printerDpiX = 0, printerDpiY = 0;
  WORD defaultIndex = 0;
  WORD defaultSize = 120;  // tenths of a point
  HFONT regularDefault = nullptr;
  HFONT underlineDefault = nullptr;
  BYTE ownership = 0;
  int defaultLineHeight = 0;
  int defaultDescent = 0;
  // The settings' "FaceName" and "Pts".
  std::string settingsFace;
  int settingsSize = 0;
};

// Builds the table from the families of a printer (case-insensitively
// sorted, one entry per face), then the default fonts.
void BuildFontTable(DocFonts& f, const LayoutMetrics& m, const std::vector<PrinterFace>& faces, int dpiX,
                    int dpiY);
// The same from a printer by name; an unknown printer gives way to the
// default printer (the PDF printer when there is no other).
void EnumPrinterFonts(DocFonts& f, const LayoutMetrics& m, const char* printer);
void FreeFontTable(DocFonts& f);

int FindFontByFace(const DocFonts& f, const char* face, bool fallBackToDefault);
int NearestFontSize(const DocFonts& f, int index, int size);
int FindDefaultFixedFont(const DocFonts& f);
// lfHeight of a screen font of size tenths of a point (never 0).
int ScreenFontHeight(const LayoutMetrics& m, int size);
// A screen font for the entry; null for a bad index or when creation fails.
HFONT CreateFontForEntry(const DocFonts& f, const LayoutMetrics& m, int index, int style, int size);
void LoadDefaultFonts(DocFonts& f, const LayoutMetrics& m);

// Face names kept while fonts are released (the item's face atom).
WORD AddFaceAtom(const char* face);
bool GetFaceAtomName(WORD atom, std::string* face);
void DeleteFaceAtom(WORD atom);

// Fonts of the layout's fields and texts.
HFONT FindFontHandle(LayoutTables& t, int index, int style, int size);
bool IsFontShared(LayoutTables& t, const DocFonts& f, HFONT h, bool any, uint32_t mask);
void AttachObjectFont(LayoutTables& t, DocFonts& f, ReportItemHead& item, bool onlyIfStyled);
void AttachAllFonts(LayoutTables& t, DocFonts& f, bool onlyIfStyled);
void ReleaseUnusedFonts(LayoutTables& t, DocFonts& f, uint32_t mask);
void ReleaseObjectFonts(LayoutTables& t, DocFonts& f, bool recreate, bool reportOpen);
// Gives up ownership of a default font that items still use, then makes the
// defaults anew (so a font in use is never deleted).
void ValidateDefaultFont(LayoutTables& t, DocFonts& f, bool reportOpen);
// The printer changed: fonts released (faces kept), table rebuilt and, with
// redo, fonts attached again and extents recomputed.
void ReloadFonts(LayoutTables& t, DocFonts& f, const char* printer, bool redo);
// Fonts, then each text-like item's pixel extent from its text and
// alignment, then the relayout; the caret keeps its line.
void MeasureObjectExtents(LayoutTables& t, DocFonts& f, bool onlyIfStyled, bool useWidth, bool fromColumns);
// The same for a report laid out afresh (read, built, or on another
// printer): the caret then starts at the left of the first line.
void RecalcObjectExtents(LayoutTables& t, DocFonts& f, bool onlyIfStyled, bool useWidth, bool fromColumns);
