// Mailing-label stocks from kmlabels.ini [Labels]: the line parser, the
// description shown while browsing stocks, and a stock applied to the
// report's page set-up (record size, margins, columns and paper).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class KmDocBase;
struct PageSetupRec;

enum LabelStockType : uint8_t { kStockUser = 0, kStockLetter = 1, kStockA4 = 2, kStockPin = 3, kStockMini = 4 };

// One stock line. Measures are hundredths of an inch, or tenths of a
// millimetre for A4 stocks; for Pin stocks SideMargin is the stock's width.
struct LabelStockDef {
  char Key[16] = {};
  char Description[26] = {};
  uint8_t Type = kStockUser;
  uint16_t LabelHeight = 0, LabelWidth = 0;
  uint16_t CountAcross = 1, CountDown = 1;
  uint16_t TopMargin = 0, SideMargin = 0, HorizontalPitch = 0, VerticalPitch = 0;
};

// The value of one key ("description, type, height, width, across, down,
// top margin, side margin, horizontal pitch, vertical pitch"); false when
// the line is refused (out untouched then).
bool ParseLabelStockLine(const char* key, const char* value, LabelStockDef* out);
// The file the stocks are read from (the library manager's, else the bare name).
std::string LabelsIniPath();
// The keys of [Labels] in file order (as far as the key list's buffer holds them).
std::vector<std::string> ReadLabelStockKeys(const std::string& iniPath);
// A valid stock line for the key.
bool ReadLabelDefinition(const std::string& iniPath, const char* key, LabelStockDef* out);
// The description with " (type, n across, n down, w x h unit)" when it fits.
std::string FormatLabelDescription(const LabelStockDef& def, char decimalChar);
// The measures into the report's unit (1 inches, else centimetres).
void ConvertLabelStockUnits(LabelStockDef* def, int reportUnit);

// The stock's arrangement, size and margins on the page set-up; Letter and
// A4 stocks take the nearest printer paper of their size. A Pin stock's
// labels are centred; margins that would fall below 0 are 0.
void ApplyLabelStockToPage(PageSetupRec& ps, const LabelStockDef& convertedDef, bool down);

class CKmDoc;

// Applies the stock named by key to the report: 1 when applied; 0 for an
// empty key (the stored stock is cleared) or a key that names no valid stock.
int ApplyLabelStock(CKmDoc& doc, const char* key, bool down);
// The first printer paper within 0.3 mm of the size (tenths of a millimetre)
// becomes the report's paper; false when none matches.
bool MatchLabelPaper(CKmDoc& doc, int length, int width);
// The report's stored stock key ("" for none) and its copies field (-1: a fixed number).
std::string ReportLabelStock(CKmDoc& doc);
void SetReportLabelStock(CKmDoc& doc, const std::string& key);
