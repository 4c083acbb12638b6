#include "app/label_stocks.h"

#include "app/document.h"
#include "app/print_run.h"
#include "files/report_io.h"
#include "foundation/library_manager.h"
#include "foundation/page_metrics.h"
#include "foundation/units.h"
#include "layout/page_setup.h"
#include "platform/printer/printer_info.h"
#include "platform/win/profile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kValueBuffer = 75;    // one stock line as the profile call reads it
constexpr size_t kKeyListBuffer = 3000;
constexpr size_t kFieldMax = 25;
constexpr size_t kKeyMax = 15;
constexpr uint32_t kMeasureMax = 9999;
constexpr size_t kDescriptionMax = 334;

// Characters skipped around a field: blanks and controls, '=', and codes above 165.
bool IsPadding(unsigned char c) { return c <= 32 || c == '=' || c > 165; }

// Cuts the field that starts at p (padding skipped first): up to the next
// comma, or with last set up to the end. Null when a comma is missing.
const char* CutField(const char* p, bool last, std::string* field) {
  while (*p != '\0' && IsPadding(static_cast<unsigned char>(*p))) ++p;
  const char* end = last ? p + std::strlen(p) : std::strchr(p, ',');
  if (end == nullptr) return nullptr;
  std::string f(p, std::min<size_t>(static_cast<size_t>(end - p), kFieldMax));
  while (f.size() > 1 && (IsPadding(static_cast<unsigned char>(f.back())) || f.back() == ';')) f.pop_back();
  *field = f;
  return *end == ',' ? end + 1 : end;
}

// Digits with at most one point: the whole part and the fraction digits.
bool SplitNumber(const std::string& f, uint64_t* whole, std::string* fraction) {
  *whole = 0;
  fraction->clear();
  bool point = false;
  for (char c : f) {
    if (c == '.') {
      if (point) return false;
      point = true;
    } else if (c >= '0' && c <= '9') {
      if (point) fraction->push_back(c);
      else if (*whole < 1000000) *whole = *whole * 10 + static_cast<uint64_t>(c - '0');
    } else {
      return false;
    }
  }
  return true;
}

// The number times scale, half rounded up, at most 9999.
bool ParseMeasure(const std::string& f, int scale, uint16_t* out) {
  uint64_t whole = 0;
  std::string fraction;
  if (!SplitNumber(f, &whole, &fraction)) return false;
  fraction.resize(std::min<size_t>(fraction.size(), 9));
  uint64_t frac = 0, denom = 1;
  for (char c : fraction) {
    frac = frac * 10 + static_cast<uint64_t>(c - '0');
    denom *= 10;
  }
  uint64_t v = whole * static_cast<uint64_t>(scale) + (frac * static_cast<uint64_t>(scale) * 2 + denom) / (2 * denom);
  *out = static_cast<uint16_t>(std::min<uint64_t>(v, kMeasureMax));
  return true;
}

bool ParseCount(const std::string& f, uint32_t maximum, uint16_t* out) {
  uint64_t whole = 0;
  std::string fraction;
  if (!SplitNumber(f, &whole, &fraction)) return false;
  if (whole == 0) whole = 1;
  *out = static_cast<uint16_t>(std::min<uint64_t>(whole, maximum));
  return true;
}

std::string Trimmed(std::string s) {
  while (!s.empty() && IsPadding(static_cast<unsigned char>(s.back()))) s.pop_back();
  size_t i = 0;
  while (i < s.size() && IsPadding(static_cast<unsigned char>(s[i]))) ++i;
  return s.substr(i);
}

const char* TypeName(uint8_t type) {
  static const char* const names[] = {"User", "Letter", "A4", "Pin", "Mini"};
  return type < 5 ? names[type] : "User";
}

std::string TwoDecimals(unsigned v, char decimalChar) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%u%c%02u", v / 100, decimalChar, v % 100);
  return buf;
}

}  // namespace

bool ParseLabelStockLine(const char* key, const char* value, LabelStockDef* out) {
  if (key == nullptr || value == nullptr || *value == '\0') return false;
  const std::string text(value, std::min<size_t>(std::strlen(value), kValueBuffer - 1));
  LabelStockDef d;
  std::snprintf(d.Key, sizeof d.Key, "%.*s", static_cast<int>(kKeyMax), key);
  const char* p = text.c_str();
  // The description runs to the first comma.
  const char* start = p;
  while (*start != '\0' && IsPadding(static_cast<unsigned char>(*start))) ++start;
  const char* comma = std::strchr(start, ',');
  if (comma == nullptr) return false;
  const std::string description =
      Trimmed(std::string(start, std::min<size_t>(static_cast<size_t>(comma - start), kFieldMax)));
  std::snprintf(d.Description, sizeof d.Description, "%s", description.c_str());
  p = comma + 1;
  std::string f;
  if ((p = CutField(p, false, &f)) == nullptr || f.empty()) return false;
  int scale = 100;
  switch (f[0] & ~0x20) {
    case 'A': d.Type = kStockA4; scale = 10; break;
    case 'L': d.Type = kStockLetter; break;
    case 'M': d.Type = kStockMini; break;
    case 'P': d.Type = kStockPin; break;
    case 'U': d.Type = kStockUser; break;
    default: return false;
  }
  uint16_t* const measures[] = {&d.LabelHeight, &d.LabelWidth, nullptr, nullptr, &d.TopMargin,
                                &d.SideMargin, &d.HorizontalPitch, &d.VerticalPitch};
  for (int i = 0; i < 8; ++i) {
    if ((p = CutField(p, i == 7, &f)) == nullptr) return false;
    f = Trimmed(f);
    bool ok = false;
    if (i == 2) ok = ParseCount(f, 99, &d.CountAcross);
    else if (i == 3) ok = ParseCount(f, 999, &d.CountDown);
    else ok = ParseMeasure(f, scale, measures[i]);
    if (!ok) return false;
  }
  *out = d;
  return true;
}

std::string LabelsIniPath() {
  CExplicitLibraryManager* m = AppLibraryManager();
  return m ? m->GetLabelsIniPath() : std::string("kmlabels.ini");
}

std::vector<std::string> ReadLabelStockKeys(const std::string& iniPath) {
  std::vector<char> buf(kKeyListBuffer, '\0');
  GetPrivateProfileStringA("Labels", nullptr, "", buf.data(), static_cast<DWORD>(buf.size()), iniPath.c_str());
  std::vector<std::string> keys;
  for (const char* p = buf.data(); *p != '\0' && p < buf.data() + buf.size(); p += std::strlen(p) + 1)
    keys.emplace_back(p);
  return keys;
}

bool ReadLabelDefinition(const std::string& iniPath, const char* key, LabelStockDef* out) {
  if (key == nullptr || *key == '\0') return false;
  char value[kValueBuffer] = {};
  GetPrivateProfileStringA("Labels", key, "", value, sizeof value, iniPath.c_str());
  return ParseLabelStockLine(key, value, out);
}

std::string FormatLabelDescription(const LabelStockDef& def, char decimalChar) {
  std::string text(def.Description);
  if (text.size() > kDescriptionMax) text.resize(kDescriptionMax);
  char tail[160];
  std::snprintf(tail, sizeof tail, " (%s, %d %s, %d %s, %s x %s %s)", TypeName(def.Type), def.CountAcross, "across",
                def.CountDown, "down", TwoDecimals(def.LabelWidth, decimalChar).c_str(),
                TwoDecimals(def.LabelHeight, decimalChar).c_str(), def.Type == kStockA4 ? "Cm" : "In");
  if (text.size() + std::strlen(tail) <= kDescriptionMax) text += tail;
  return text;
}

void ConvertLabelStockUnits(LabelStockDef* def, int reportUnit) {
  const int from = def->Type == kStockA4 ? kMeasureTenthsMm : kMeasureHundredths;
  const int to = reportUnit == 1 ? kMeasureHundredths : kMeasureTenthsMm;
  for (uint16_t* v : {&def->LabelHeight, &def->LabelWidth, &def->TopMargin, &def->SideMargin,
                      &def->HorizontalPitch, &def->VerticalPitch})
    *v = static_cast<uint16_t>(std::min<UINT>(ConvertMeasure(*v, to, from, 0, 0), 0xFFFF));
}

void ApplyLabelStockToPage(PageSetupRec& ps, const LabelStockDef& d, bool down) {
  SetLabelArrangement(ps, d.CountAcross, down);
  ps.RecordWidth = d.HorizontalPitch;
  ps.RecordHeight = d.VerticalPitch;
  ps.RightMargin = ps.LeftMargin = d.SideMargin;
  ps.BottomMargin = ps.TopMargin = d.TopMargin;
  ps.Landscape = 0;
  if (d.Type == kStockPin) {
    // The labels sit in the middle of their pitch and of the stock; a label
    // row wider than the stock, or a label higher than its pitch, gets none.
    const int vertical = (ps.RecordHeight - d.LabelHeight) / 2;
    const int horizontal = (d.SideMargin - ((d.CountAcross - 1) * ps.RecordWidth + d.LabelWidth)) / 2;
    ps.TopMargin = ps.BottomMargin = std::max(0, vertical);
    ps.RightMargin = ps.LeftMargin = std::max(0, horizontal);
  }
}

int ApplyLabelStock(CKmDoc& doc, const char* key, bool down) {
  if (key == nullptr || *key == '\0') {
    SetReportLabelStock(doc, std::string());
    return 0;
  }
  LabelStockDef d;
  if (doc.m_pPageSetup == nullptr || !ReadLabelDefinition(LabelsIniPath(), key, &d)) return 0;
  SetReportLabelStock(doc, key);
  ConvertLabelStockUnits(&d, doc.m_measure);
  ApplyLabelStockToPage(*doc.m_pPageSetup, d, down);
  if (d.Type == kStockLetter) MatchLabelPaper(doc, 2794, 2159);
  else if (d.Type == kStockA4) MatchLabelPaper(doc, 2970, 2100);
  return 1;
}

bool MatchLabelPaper(CKmDoc& doc, int length, int width) {
  PrintRunContext& ctx = GetPrintRunContext();
  if (ctx.printer.printerName.empty() || doc.m_pPageSetup == nullptr) return false;
  const std::vector<PrinterPaper> papers = GetPrinterPapers(ctx.printer.printerName.c_str());
  if (papers.empty() || papers.size() > 68) return false;
  for (const PrinterPaper& p : papers) {
    if (std::abs(p.widthTenthsMm - width) <= 3 && std::abs(p.heightTenthsMm - length) <= 3) {
      doc.m_pPageSetup->PaperLength = p.heightTenthsMm;
      doc.m_pPageSetup->PaperWidth = p.widthTenthsMm;
      ctx.printer.paperCode = p.code;
      return true;
    }
  }
  return false;
}

std::string ReportLabelStock(CKmDoc& doc) {
  return doc.m_pRepIO != nullptr ? doc.m_pRepIO->m_stream.settings.labelStock : std::string();
}

void SetReportLabelStock(CKmDoc& doc, const std::string& key) {
  if (doc.m_pRepIO != nullptr) doc.m_pRepIO->m_stream.settings.labelStock = key.substr(0, kKeyMax);
}
