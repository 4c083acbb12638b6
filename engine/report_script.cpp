#include "engine/report_script.h"
#include "model/field_compile.h"

#include "core/composite.h"
#include "core/fields.h"
#include "engine/doc_upkeep.h"
#include "engine/instant_text_field.h"
#include "foundation/band_lines.h"
#include "foundation/doc_base.h"
#include "foundation/heap_strings.h"
#include "foundation/units.h"
#include "layout/fonts.h"
#include "layout/layout_helpers.h"
#include "layout/layout_records.h"
#include "layout/page_setup.h"
#include "platform/printer/printer_info.h"
#include "platform/win/fileio.h"
#include "platform/win/string_compare.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

constexpr UINT kMsgInvalidParameter = 6560;
constexpr UINT kMsgNoBandLine = 6561;
constexpr UINT kMsgNoMemoryField = 6110;
constexpr UINT kMsgNoMemoryTotal = 6562;

// A script larger than this is no report description; it is not read.
constexpr uint64_t kScriptFileMax = 16u << 20;

// Handler slots of the keywords.
enum Slot : int {
  kMasterTable = 0, kMenu = 1, kPageSize = 2, kTopMargin = 3, kBottomMargin = 4, kLeftMargin = 5,
  kRightMargin = 6, kLandscape = 7, kInterlineSpacing = 8, kAveryLabel = 9, kRecordsAcross = 10,
  kRecordWidth = 11, kRecordHeight = 12, kCompressRecordGroup = 13, kSuppressRecordLines = 14,
  kBeginLineOnSemi = 15, kHeadFootSummary = 16, kBreakRecordArea = 17, kCharField = 18, kNumField = 19,
  kTextField = 20, kCalcChar = 21, kCalcNum = 22, kDateField = 23, kCalcDate = 24, kPreviewZoom = 25,
  kPrintColsAcross = 26, kDateTimeField = 27, kTimeField = 28, kCalcDateTime = 29, kCalcTime = 30,
  kPointSize = 31, kTextFile = 32, kReportName = 34, kNewPage = 35, kDataSource = 36, kUserName = 37,
  kPassword = 38,
};

struct KeywordEntry {
  const char* name;
  int slot;
};

constexpr KeywordEntry kReportKeywords[] = {{"MasterTable", kMasterTable}, {"TextFile", kTextFile},
                                            {"ReportName", kReportName},   {"DataSource", kDataSource},
                                            {"UserName", kUserName},       {"Password", kPassword}};
constexpr KeywordEntry kActionKeywords[] = {{"Menu", kMenu}};
constexpr KeywordEntry kPageKeywords[] = {
    {"PageSize", kPageSize},       {"TopMargin", kTopMargin}, {"BottomMargin", kBottomMargin},
    {"LeftMargin", kLeftMargin},   {"RightMargin", kRightMargin}, {"Landscape", kLandscape},
    {"InterlineSpacing", kInterlineSpacing}, {"PreviewZoom", kPreviewZoom}};
constexpr KeywordEntry kRecordKeywords[] = {
    {"AveryLabel", kAveryLabel},           {"RecordsAcross", kRecordsAcross},
    {"PrintColsAcross", kPrintColsAcross}, {"RecordWidth", kRecordWidth},
    {"RecordHeight", kRecordHeight},       {"CompressRecordGroup", kCompressRecordGroup},
    {"SuppressRecordLines", kSuppressRecordLines}, {"BeginLineOnSemi", kBeginLineOnSemi},
    {"HeadFootSummary", kHeadFootSummary}, {"BreakRecordArea", kBreakRecordArea}};
constexpr KeywordEntry kBandKeywords[] = {
    {"CharField", kCharField},   {"NumField", kNumField},       {"DateField", kDateField},
    {"TextField", kTextField},   {"CalcChar", kCalcChar},       {"CalcNum", kCalcNum},
    {"CalcDate", kCalcDate},     {"DateTimeField", kDateTimeField}, {"TimeField", kTimeField},
    {"CalcDateTime", kCalcDateTime}, {"CalcTime", kCalcTime}, {"PointSize", kPointSize},
    {"NewPage", kNewPage}};

struct KeywordList {
  const KeywordEntry* entries;
  size_t count;
};
template <size_t N>
constexpr KeywordList List(const KeywordEntry (&a)[N]) {
  return {a, N};
}

constexpr int kNoBand = -1;
constexpr int kSortSection = -2;
constexpr int kGroupSection = -3;

struct SectionEntry {
  const char* name;
  int band;  // band kind, or one of the markers above
  KeywordList keywords;
};

const SectionEntry kSections[] = {
    {"Report", kNoBand, List(kReportKeywords)},
    {"Actions", kNoBand, List(kActionKeywords)},
    {"PageFormat", kNoBand, List(kPageKeywords)},
    {"RecordFormat", kNoBand, List(kRecordKeywords)},
    {"Title", kBandTitle, List(kBandKeywords)},
    {"PageHeader", kBandPageHeader, List(kBandKeywords)},
    {"GroupHeader1", kBandGroupHeader + 0, List(kBandKeywords)},
    {"GroupHeader2", kBandGroupHeader + 1, List(kBandKeywords)},
    {"GroupHeader3", kBandGroupHeader + 2, List(kBandKeywords)},
    {"GroupHeader4", kBandGroupHeader + 3, List(kBandKeywords)},
    {"GroupHeader5", kBandGroupHeader + 4, List(kBandKeywords)},
    {"GroupHeader6", kBandGroupHeader + 5, List(kBandKeywords)},
    {"GroupHeader7", kBandGroupHeader + 6, List(kBandKeywords)},
    {"GroupHeader8", kBandGroupHeader + 7, List(kBandKeywords)},
    {"Record", kBandRecord, List(kBandKeywords)},
    {"GroupFooter1", kBandGroupFooter + 0, List(kBandKeywords)},
    {"GroupFooter2", kBandGroupFooter + 1, List(kBandKeywords)},
    {"GroupFooter3", kBandGroupFooter + 2, List(kBandKeywords)},
    {"GroupFooter4", kBandGroupFooter + 3, List(kBandKeywords)},
    {"GroupFooter5", kBandGroupFooter + 4, List(kBandKeywords)},
    {"GroupFooter6", kBandGroupFooter + 5, List(kBandKeywords)},
    {"GroupFooter7", kBandGroupFooter + 6, List(kBandKeywords)},
    {"GroupFooter8", kBandGroupFooter + 7, List(kBandKeywords)},
    {"PageFooter", kBandPageFooter, List(kBandKeywords)},
    {"Summary", kBandSummary, List(kBandKeywords)},
    {"Sort", kSortSection, {nullptr, 0}},
    {"Group", kGroupSection, {nullptr, 0}},
};
constexpr int kSectionCount = static_cast<int>(sizeof kSections / sizeof kSections[0]);

// Format codes by alignment 0-5.
constexpr uint32_t kCharAlign[6] = {0x10, 0x20, 0x30, 0x140, 0x340, 0x240};
constexpr uint32_t kNumAlign[6] = {0x1000, 0x2000, 0x3000, 0, 0x100, 0x300};
constexpr uint32_t kDateAlign[6] = {0x100, 0x200, 0x300, 0, 0x1000, 0x2000};
constexpr uint32_t kNumberFormats[6] = {5, 1, 6, 7, 2, 4};
constexpr uint32_t kDateFormats[24] = {0x1,    0x11,   0x4,    0x5,    0x15,   0x116,  0x117,  0x118,
                                       0x109,  0x10A,  0x1000, 0x1010, 0x2000, 0x2010, 0x3000, 0x3010,
                                       0x4000, 0x4010, 0x5000, 0x6000, 0x7000, 0x8000, 0x9000, 0xA000};
constexpr uint32_t kTimeFormats[9] = {2, 6, 3, 7, 0, 4, 1, 5, 0x8000};

// The papers of PageSize 0-3 (Letter, Legal, Executive, A4) by the compact
// codes that name their sizes.
constexpr int kPaperCompact[4] = {kPaperLetter, kPaperLegal, kPaperExecutive, kPaperA4};
// The same papers by the printer's paper codes.
constexpr SHORT kPaperPrinterCode[4] = {kDmPaperLetter, kDmPaperLegal, kDmPaperExecutive, kDmPaperA4};

constexpr uint32_t kDateKinds = kFieldDate | kFieldDateTime | kFieldTime;

bool EqualNoCase(const char* a, const char* b) { return lstrcmpiA(a, b) == 0; }

bool StartsNoCase(const std::string& s, const char* prefix) {
  const size_t n = std::strlen(prefix);
  return s.size() >= n && lstrcmpiA(s.substr(0, n).c_str(), prefix) == 0;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// "T" or "F" in either case; -1 for anything else.
int ParseBool(const std::string& t) {
  if (t.size() != 1) return -1;
  if (t[0] == 'T' || t[0] == 't') return 1;
  if (t[0] == 'F' || t[0] == 'f') return 0;
  return -1;
}

// Digits only, at most nine of them, so no value can overflow.
bool ParseUnsigned(const std::string& t, long* out) {
  if (t.empty() || t.size() > 9) return false;
  long v = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *out = v;
  return true;
}

// A decimal with at most `decimals` places, as the number times 10^decimals.
bool ParseScaled(const std::string& t, int decimals, long* out) {
  size_t dot = t.find('.');
  std::string whole = dot == std::string::npos ? t : t.substr(0, dot);
  std::string frac = dot == std::string::npos ? std::string() : t.substr(dot + 1);
  if (whole.empty() && frac.empty()) return false;
  if (static_cast<int>(frac.size()) > decimals) return false;
  if (dot != std::string::npos && frac.empty() && whole.empty()) return false;
  long w = 0, f = 0;
  if (!whole.empty() && !ParseUnsigned(whole, &w)) return false;
  if (!frac.empty() && !ParseUnsigned(frac, &f)) return false;
  for (size_t i = frac.size(); i < static_cast<size_t>(decimals); ++i) f *= 10;
  long scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  if (w > 99999) return false;
  *out = w * scale + f;
  return true;
}

bool IsQuoted(const std::string& t) { return t.size() >= 2 && t.front() == '"' && t.back() == '"'; }

}  // namespace

ScriptReader::ScriptReader(KmDocBase& doc, ScriptHost& host) : doc_(doc), host_(host) {}

bool ScriptReader::Open(const char* path) {
  if (path == nullptr || *path == 0) return false;
  const std::string full = FullPathOfExisting(ResolveExistingPath(path));
  if (full.empty()) return false;
  FileInfo info;
  if (!GetFileInfoByPath(full, &info) || !info.regular || info.size > kScriptFileMax) return false;
  if (!ReadWholeFile(full, text_)) return false;
  pos_ = 0;
  ended_ = false;
  lineNumber_ = 0;
  return true;
}

ScriptReader::LineResult ScriptReader::ReadLine() {
  for (;;) {
    if (ended_) return kLineEnd;
    size_t i = pos_;
    while (i < text_.size() && text_[i] != '\n' && text_[i] != '\r' && text_[i] != '\0') ++i;
    // A NUL, or a last line with no line end, ends the reading.
    if (i >= text_.size() || text_[i] == '\0') {
      ended_ = true;
      return kLineEnd;
    }
    const size_t length = i - pos_;
    const size_t start = pos_;
    // A CR takes the byte after it along, whatever that byte is.
    pos_ = text_[i] == '\r' ? i + 2 : i + 1;
    ++lineNumber_;
    if (length > kScriptLineMax) {
      line_.clear();
      return kLineTooLong;
    }
    line_.assign(text_, start, length);
    if (line_.empty() || line_[0] == ';') continue;
    return kLineRead;
  }
}

bool ScriptReader::NextToken(std::string* token) {
  token->clear();
  if (tokenPos_ > value_.size()) return false;
  size_t i = tokenPos_;
  while (i < value_.size() && IsBlank(value_[i])) ++i;
  bool quoted = false;
  size_t j = i;
  for (; j < value_.size(); ++j) {
    if (value_[j] == '"') quoted = !quoted;
    else if (value_[j] == ',' && !quoted) break;
  }
  token->assign(value_, i, j - i);
  tokenPos_ = j + 1;  // past the comma, or past the end: no further token
  return true;
}

bool ScriptReader::BeginSection(const std::string& line) {
  if (line.size() < 2 || line.front() != '[' || line.back() != ']') return false;
  const std::string name = line.substr(1, line.size() - 2);
  int found = -1;
  for (int i = 0; i < kSectionCount; ++i)
    if (EqualNoCase(kSections[i].name, name.c_str())) found = i;
  if (found < 0) return false;
  section_ = found;
  const int band = kSections[found].band;
  if (band < 0) {
    currentLine_ = -1;
    return true;
  }
  BandLineTable& t = doc_.m_bandLines;
  int index = 0;
  if (t.lines[0].kind == kBandFree) {
    index = 0;
  } else {
    FindBandLineRange(t, static_cast<BYTE>(band), &index, 1);
    if (!InsertBandLineAt(t, index)) {
      doc_.ShowErrorText(GetResString(kMsgNoBandLine, 0), nullptr);
      messageShown_ = true;
      return false;
    }
    ShiftItemsFrom(index);
  }
  t.lines[index].kind = static_cast<BYTE>(band);
  ClearBandLine(t, index);
  RenumberBandLines(t);
  currentLine_ = index;
  column_ = 0;
  itemPlaced_ = false;
  newPage_ = false;
  return true;
}

// The table has no host to move the items of the lines below a new line;
// the reader moves those it placed itself.
void ScriptReader::ShiftItemsFrom(int line) {
  if (doc_.m_pLayout == nullptr) return;
  ForEachLayoutItem(*doc_.m_pLayout, [line](ReportItemHead& h) {
    if (h.bandLine >= line && h.bandLine < kBandLineCount - 1) ++h.bandLine;
  });
}

FieldDef* ScriptReader::FindField(const std::string& name) const {
  CKmComposite* m = doc_.m_pModel;
  if (m == nullptr || name.empty()) return nullptr;
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next)
    if (!IsAlias(f) && EqualNoCase(f->name, name.c_str())) return f;
  return nullptr;
}

void ScriptReader::ReportError(const char* lineText) {
  doc_.ShowErrorFmt2(GetResString(kMsgInvalidParameter, 0), lineText, lineNumber_);
  messageShown_ = true;
}

int ScriptReader::Run(const char* path) {
  actions_ = 0;
  paperCode_ = 0;
  if (!Open(path)) return 0;
  LineResult r = ReadLine();
  if (r != kLineRead) return 0;
  if (!BeginSection(line_)) {
    if (!messageShown_) ReportError(line_.c_str());
    return 0;
  }
  for (;;) {
    r = ReadLine();
    if (r == kLineEnd) return 1;
    if (r == kLineTooLong) {
      ReportError("");
      return 0;
    }
    const int k = DoKeyword(line_);
    if (k > 0) continue;
    if (k < 0) return 0;
    if (BeginSection(line_)) continue;
    if (!messageShown_) ReportError(line_.c_str());
    return 0;
  }
}

int ScriptReader::DoKeyword(const std::string& line) {
  if (section_ < 0) return 0;
  const SectionEntry& s = kSections[section_];
  if (s.band == kSortSection || s.band == kGroupSection) return SortOrGroup(line);
  const size_t eq = line.find('=');
  if (eq == std::string::npos) return 0;
  const std::string keyword = line.substr(0, eq);
  for (size_t i = 0; i < s.keywords.count; ++i) {
    if (!EqualNoCase(s.keywords.entries[i].name, keyword.c_str())) continue;
    size_t v = eq + 1;
    while (v < line.size() && IsBlank(line[v])) ++v;
    value_ = line.substr(v);
    tokenPos_ = 0;
    const int r = Keyword(s.keywords.entries[i].slot, value_.c_str());
    if (r == 0 && messageShown_) return -1;
    return r;
  }
  return 0;
}

int ScriptReader::SortOrGroup(const std::string& line) {
  CKmComposite* m = doc_.m_pModel;
  const bool sort = kSections[section_].band == kSortSection;
  const char* names[] = {"SortField", "SortOrder"};
  int which = -1;
  size_t n = 0;
  if (sort) {
    for (int i = 0; i < 2; ++i)
      if (StartsNoCase(line, names[i])) {
        which = i;
        n = std::strlen(names[i]);
      }
  } else if (StartsNoCase(line, "GroupField")) {
    which = 2;
    n = std::strlen("GroupField");
  }
  if (which < 0 || m == nullptr) return 0;
  if (line.size() < n + 2 || line[n] < '1' || line[n] > '8' || line[n + 1] != '=') return 0;
  const int level = line[n] - '1';
  size_t v = n + 2;
  while (v < line.size() && IsBlank(line[v])) ++v;
  const std::string value = line.substr(v);
  if (which == 1) {
    const int b = ParseBool(value);
    if (b < 0) return 0;
    m->sortWords[level] = static_cast<uint16_t>(b);
    return 1;
  }
  FieldDef* f = FindField(value);
  if (f == nullptr) return 0;
  const uint32_t index = m->GetFieldIndex(f);
  if (which == 0) {
    m->sortFields[level] = index;
    if (!groupFieldSeen_) m->groupFields[level] = index;
  } else {
    m->groupFields[level] = index;
    groupFieldSeen_ = true;
  }
  return 1;
}

int ScriptReader::Keyword(int slot, const char* value) {
  const std::string v = value;
  PageSetupRec* page = doc_.m_pPageSetup;
  long n = 0;
  auto measure = [&](int32_t PageSetupRec::*word) {
    if (page == nullptr || !ParseScaled(v, 2, &n) || n > 9999) return 0;
    page->*word = static_cast<int32_t>(n);
    return 1;
  };
  auto inverse = [&](int32_t PageSetupRec::*word) {
    const int b = ParseBool(v);
    if (page == nullptr || b < 0) return 0;
    page->*word = b ? 0 : 1;
    return 1;
  };
  switch (slot) {
    case kMasterTable:
    case kDataSource:
    case kUserName:
    case kPassword:
      // The start file's reader has taken these already.
      return 1;
    case kTextFile:
      if (AccessPath(value, 0) != 0) return 0;
      return host_.DefineTextFileMaster(value) ? 1 : 0;
    case kReportName: {
      char name[31] = {};
      std::strncpy(name, value, 30);
      std::snprintf(doc_.m_szReportName, sizeof doc_.m_szReportName, "%s", name);
      std::snprintf(doc_.m_szReportName2, sizeof doc_.m_szReportName2, "%s", name);
      return 1;
    }
    case kMenu:
      if (EqualNoCase(value, "FilePrintPreview")) actions_ |= kScriptPreview;
      else if (EqualNoCase(value, "FilePrint")) actions_ |= kScriptPrint;
      else return 0;
      return 1;
    case kPageSize: {
      if (page == nullptr || !ParseUnsigned(v, &n) || n > 3) return 0;
      const PaperSize* paper = PaperByCode(kPaperCompact[n]);
      if (paper == nullptr) return 0;
      page->word8 = kPaperCompact[n];
      paperCode_ = kPaperPrinterCode[n];
      page->PaperLength = paper->heightTenthsMm;
      page->PaperWidth = paper->widthTenthsMm;
      return 1;
    }
    case kTopMargin: return measure(&PageSetupRec::TopMargin);
    case kBottomMargin: return measure(&PageSetupRec::BottomMargin);
    case kLeftMargin: return measure(&PageSetupRec::LeftMargin);
    case kRightMargin: return measure(&PageSetupRec::RightMargin);
    case kRecordWidth: return measure(&PageSetupRec::RecordWidth);
    case kRecordHeight: return measure(&PageSetupRec::RecordHeight);
    case kLandscape: {
      const int b = ParseBool(v);
      if (page == nullptr || b < 0) return 0;
      page->Landscape = b;
      return 1;
    }
    case kInterlineSpacing: return inverse(&PageSetupRec::word19);
    case kCompressRecordGroup: return inverse(&PageSetupRec::NoCompressLines);
    case kSuppressRecordLines: return inverse(&PageSetupRec::NoSuppressRecordLines);
    case kBeginLineOnSemi: return inverse(&PageSetupRec::NoLineSwitch);
    case kHeadFootSummary: return inverse(&PageSetupRec::NoHeadFootInSummary);
    case kBreakRecordArea: return inverse(&PageSetupRec::NoBreakRecordArea);
    case kPreviewZoom:
      if (!ParseUnsigned(v, &n) || n > 2) return 0;
      host_.SetPreviewZoom(static_cast<int>(n));
      return 1;
    case kAveryLabel:
      return !v.empty() && host_.ApplyLabelStock(value) ? 1 : 0;
    case kRecordsAcross:
      // The stored column count is one byte: more than 255 columns would
      // come back from the file as another number.
      if (page == nullptr || !ParseUnsigned(v, &n) || n < 1 || n > 255) return 0;
      SetLabelArrangement(*page, static_cast<int>(n), page->DownOrder == 1);
      return 1;
    case kPrintColsAcross: {
      const int b = ParseBool(v);
      if (page == nullptr || b < 0) return 0;
      SetLabelArrangement(*page, LabelColumns(*page), b == 0);
      return 1;
    }
    case kPointSize: {
      if (!ParseScaled(v, 1, &n)) return 0;
      if (n != 0 && (n < 40 || n > 5000)) return 0;
      pointSize_ = static_cast<int32_t>(n);
      return 1;
    }
    case kNewPage: {
      if (ParseBool(v) != 1 || itemPlaced_ || newPage_ || currentLine_ < 0) return 0;
      const int band = kSections[section_].band;
      if (band == kBandPageHeader || band == kBandPageFooter) return 0;
      CKmComposite* m = doc_.m_pModel;
      if (m != nullptr && band >= kBandGroupHeader && band < kBandGroupHeader + 8 &&
          (m->groupFlags[band - kBandGroupHeader] & 16))
        return 0;
      if (m != nullptr && band >= kBandGroupFooter && band < kBandGroupFooter + 8 &&
          (m->groupFlags[band - kBandGroupFooter] & 8))
        return 0;
      doc_.m_bandLines.lines[currentLine_].flags |= 1;
      newPage_ = true;
      return 1;
    }
    default:
      return BandItem(slot);
  }
}

bool ScriptReader::CanPlaceItem() const {
  return currentLine_ >= 0 && !newPage_ && doc_.m_pModel != nullptr && doc_.m_pLayout != nullptr;
}

int ScriptReader::ParseItemPrefix(bool fieldName, int maxAlignment, ItemPrefix* out) {
  std::string t;
  if (!NextToken(&t) || t.empty()) return 0;
  // A name or text of at most 254 characters; a text keeps its quotes here.
  if (t.size() > (IsQuoted(t) ? 256u : 254u)) return 0;
  out->name = t;
  if (fieldName && FindField(t) == nullptr) return 0;
  if (!NextToken(&t)) {
    out->ended = true;
    return 1;
  }
  if (!t.empty()) {
    const int b = ParseBool(t);
    if (b < 0) return 0;
    out->trim = b == 1;
  }
  if (!NextToken(&t)) {
    out->ended = true;
    return 1;
  }
  if (!t.empty()) {
    const bool relative = t[0] == '+';
    long hundredths = 0;
    if (!ParseScaled(relative ? t.substr(1) : t, 2, &hundredths)) return 0;
    const long tenths = hundredths / 10;
    if (tenths > 253) return 0;
    // A relative position is kept as a negative column, so one below a
    // tenth is column 0.
    out->position = static_cast<int32_t>(relative ? -tenths : tenths);
  }
  if (!NextToken(&t)) {
    out->ended = true;
    return 1;
  }
  if (!t.empty()) {
    long a = 0;
    if (!ParseUnsigned(t, &a) || a > maxAlignment) return 0;
    out->alignment = static_cast<int>(a);
  }
  if (!NextToken(&t)) {
    out->ended = true;
    return 1;
  }
  if (t.size() > 4) return 0;
  for (char c : t) {
    switch (c) {
      case 'B': case 'b': out->style |= 1; break;
      case 'I': case 'i': out->style |= 2; break;
      case 'U': case 'u': out->style |= 4; break;
      case 'S': case 's': out->style |= 8; break;
      default: return 0;
    }
  }
  return 1;
}

int ScriptReader::PlaceItem(ReportItemHead& head, const ItemPrefix& prefix, const std::string& text) {
  LayoutTables& t = *doc_.m_pLayout;
  int32_t column = prefix.position < 0 ? column_ - prefix.position : prefix.position;
  if (column > 253) return 0;
  const int pitch = GridPitch(t.metrics);
  int32_t cells = pitch != 10 ? column * pitch / 10 : column;
  if (cells > 253) cells = 253;
  head.bandLine = static_cast<uint8_t>(currentLine_);
  head.column = cells;
  head.fontStyle = prefix.style;
  head.pointSize = pointSize_;
  if (prefix.trim) head.flags &= ~kItemFixedPosition;
  else head.flags |= kItemFixedPosition;
  const BandLineRec& line = doc_.m_bandLines.lines[currentLine_];
  const int height = line.pixelHeight > 0 ? line.pixelHeight : t.DefaultLineHeight();
  head.height = height;
  head.left = CharCellWidth(t.metrics, cells);
  head.right = head.left + CharCellWidth(t.metrics, head.width > 0 ? head.width : 1) - 1;
  head.top = line.bottom + 1 - height;
  head.bottom = line.bottom;

  // A text is measured in its font; a field by the cells it takes.
  int pixels = head.right - head.left + 1;
  if (!text.empty() && doc_.m_pFonts != nullptr) {
    AttachObjectFont(t, *doc_.m_pFonts, head, false);
    if (head.fontHandle != nullptr) pixels = MeasureObjectText(t, head, text, nullptr, nullptr, nullptr);
  }
  const int perTenth = std::max(1, (t.metrics.dpiX + 5) / 10);
  column_ = column + pixels / perTenth;
  itemPlaced_ = true;
  BuildLayoutItemOrder(t);
  return 1;
}

int ScriptReader::BandItem(int slot) {
  if (!CanPlaceItem()) return 0;
  const bool fieldName = slot == kCharField || slot == kNumField || slot == kDateField ||
                         slot == kDateTimeField || slot == kTimeField;
  ItemPrefix p;
  if (!ParseItemPrefix(fieldName, 5, &p)) return 0;
  if (fieldName) return FieldItem(slot, p);
  if (slot == kTextField) return TextItemKeyword(p);
  return CalcItem(slot, p);
}

namespace {
// The next token as a number in [lo, hi]: 1 given, 0 empty or absent, -1 bad.
int NumberToken(ScriptReader& r, bool* more, long lo, long hi, long* out) {
  std::string t;
  if (!*more || !r.NextToken(&t)) {
    *more = false;
    return 0;
  }
  if (t.empty()) return 0;
  long v = 0;
  if (!ParseUnsigned(t, &v) || v < lo || v > hi) return -1;
  *out = v;
  return 1;
}

bool KindMatches(int slot, uint32_t flags) {
  switch (slot) {
    case kCharField:
    case kCalcChar: return (flags & (kFieldNumeric | kDateKinds)) == 0;
    case kNumField:
    case kCalcNum: return (flags & kFieldNumeric) != 0;
    case kDateField:
    case kCalcDate: return (flags & kDateKinds) == kFieldDate;
    case kDateTimeField:
    case kCalcDateTime: return (flags & kFieldDateTime) != 0;
    case kTimeField:
    case kCalcTime: return (flags & kFieldTime) != 0;
    default: return false;
  }
}

// The display settings the item's further tokens give.
struct ItemFormat {
  uint32_t width = 0;
  uint32_t digits = 0, decimals = 0;
  bool digitsGiven = false, decimalsGiven = false;
  uint32_t formatCode = 0;
  uint32_t timeFormat = 0;
};

bool IsDateSlot(int slot) { return slot == kDateField || slot == kCalcDate; }
bool IsDateTimeSlot(int slot) { return slot == kDateTimeField || slot == kCalcDateTime; }
bool IsTimeSlot(int slot) { return slot == kTimeField || slot == kCalcTime; }
bool IsNumSlot(int slot) { return slot == kNumField || slot == kCalcNum; }
bool IsCharSlot(int slot) { return slot == kCharField || slot == kCalcChar; }

// Reads the tokens after the prefix up to the expression; 0 on a bad token.
int ReadFormatTokens(ScriptReader& r, int slot, int alignment, bool more, ItemFormat* fmt) {
  long v = 0;
  int got = 0;
  if (IsCharSlot(slot)) {
    got = NumberToken(r, &more, slot == kCalcChar ? 1 : 0, 254, &v);
    if (got < 0) return 0;
    if (got > 0) fmt->width = static_cast<uint32_t>(v);
    fmt->formatCode = kCharAlign[alignment];
  } else if (IsNumSlot(slot)) {
    got = NumberToken(r, &more, 0, 20, &v);
    if (got < 0) return 0;
    fmt->digitsGiven = got > 0;
    fmt->digits = static_cast<uint32_t>(v);
    v = 0;
    got = NumberToken(r, &more, 0, 20, &v);
    if (got < 0) return 0;
    fmt->decimalsGiven = got > 0;
    fmt->decimals = static_cast<uint32_t>(v);
    v = 0;
    got = NumberToken(r, &more, 0, 5, &v);
    if (got < 0) return 0;
    fmt->formatCode = kNumAlign[alignment] + (got > 0 ? kNumberFormats[v] : 0);
  } else {
    fmt->formatCode = kDateAlign[alignment];
    if (!IsTimeSlot(slot)) {
      got = NumberToken(r, &more, 0, 23, &v);
      if (got < 0) return 0;
      if (got > 0) fmt->formatCode += kDateFormats[v];
      fmt->width = 8;
    }
    if (!IsDateSlot(slot)) {
      v = 0;
      got = NumberToken(r, &more, 0, 8, &v);
      if (got < 0) return 0;
      if (got > 0) fmt->timeFormat = kTimeFormats[v] + (IsDateTimeSlot(slot) ? 48 : 0);
    }
  }
  return 1;
}

// The width a field's column shows in; 0 when it has none.
uint32_t ColumnWidth(const FieldDef* f) { return f->displayWidth != 0 ? f->displayWidth : f->width; }

// A field's width as a layout item takes it: 1 to 254 cells.
uint8_t ItemCells(uint32_t width) { return static_cast<uint8_t>(std::clamp<uint32_t>(width, 1, 254)); }
}  // namespace

int ScriptReader::FieldItem(int slot, const ItemPrefix& p) {
  FieldDef* f = FindField(p.name);
  if (f == nullptr || !KindMatches(slot, f->flags)) return 0;
  ItemFormat fmt;
  if (!ReadFormatTokens(*this, slot, p.alignment, !p.ended, &fmt)) return 0;
  const uint32_t columnWidth = ColumnWidth(f);
  if (slot == kNumField) {
    const uint32_t colDecimals = f->displayDecimals;
    if (!fmt.digitsGiven) fmt.digits = columnWidth > colDecimals ? columnWidth - colDecimals : 6;
    if (!fmt.decimalsGiven && columnWidth != 0) fmt.decimals = colDecimals;
    fmt.width = fmt.digits + fmt.decimals;
    if (fmt.width < 1 || fmt.width > 20) return 0;
  } else if (slot == kCharField && fmt.width == 0) {
    fmt.width = columnWidth != 0 ? std::min<uint32_t>(columnWidth, 254) : 10;
  } else if (slot == kTimeField) {
    fmt.width = 8;
  }
  // A field shows once on the layout; a second place gets a copy of it.
  if (f->flags & kFieldItem) {
    FieldDef* copy = DuplicateField(&doc_, f);
    if (copy == nullptr) {
      doc_.ShowErrorText(GetResString(kMsgNoMemoryField, 0), nullptr);
      messageShown_ = true;
      return 0;
    }
    f = copy;
  }
  f->displayWidth = fmt.width;
  if (IsNumSlot(slot)) f->displayDecimals = static_cast<uint8_t>(fmt.decimals);
  f->formatCode = fmt.formatCode;
  if (IsDateTimeSlot(slot) || IsTimeSlot(slot)) f->timeFormat = fmt.timeFormat;
  f->head.width = ItemCells(fmt.width);
  MarkFieldPlaced(f);
  f->head.flags &= ~kItemDeleted;
  f->flags |= kFieldItem | kFieldNeeded;
  return PlaceItem(f->head, p, std::string());
}

int ScriptReader::TextItemKeyword(const ItemPrefix& p) {
  // A text not in quotes, or of the wrong length, is passed over.
  if (!IsQuoted(p.name) || p.name.size() < 3 || p.name.size() > 256) return 1;
  const std::string text = p.name.substr(1, p.name.size() - 2);
  const BYTE alignment = p.alignment == 0 ? 0x10 : p.alignment == 1 ? 0x20 : 0x30;
  TextItem* x = CreateInstantTextField(&doc_, text, currentLine_, 0, p.style, alignment, p.trim);
  if (x == nullptr) {
    messageShown_ = true;
    return 0;
  }
  x->head.width = ItemCells(static_cast<uint32_t>(text.size()));
  if (!PlaceItem(x->head, p, text)) {
    DeleteTextItem(&doc_, x);
    return 0;
  }
  return 1;
}

int ScriptReader::ParseTotalSpec(const std::string& text, bool charOnly, TotalSpec* out) {
  // The five tokens come from the rest of the value: the expression token
  // started them.
  std::string kindTok = text, t;
  if (kindTok.size() != 1 || kindTok[0] < '0' || kindTok[0] > '6') return 0;
  out->kind = kindTok[0] - '0';
  if (charOnly && out->kind != 0 && out->kind != 3 && out->kind != 4) return 0;
  if (!NextToken(&t)) return 0;
  out->source = FindField(t);
  if (out->source == nullptr) return 0;
  if (!NextToken(&t) || t.size() != 1) return 0;
  const char r = static_cast<char>(std::toupper(static_cast<unsigned char>(t[0])));
  if (r >= '1' && r <= '8') out->reset = static_cast<uint8_t>(r - '1');
  else if (r == 'G') out->reset = 255;
  else if (r == 'P') out->reset = 254;
  else return 0;
  if (!NextToken(&t) || t.size() != 1) return 0;
  const char w = static_cast<char>(std::toupper(static_cast<unsigned char>(t[0])));
  if (w >= '1' && w <= '8') out->printWhen = static_cast<uint8_t>(w - '1');
  else if (w == 'E' || w == 'A') out->printWhen = 253;
  else if (w == 'P') out->printWhen = 254;
  else return 0;
  if (!NextToken(&t)) return 1;
  if (t.empty()) return 1;
  const int b = ParseBool(t);
  if (b < 0) return 0;
  out->preprocessed = b == 0;
  return 1;
}

int ScriptReader::CalcItem(int slot, const ItemPrefix& p) {
  CKmComposite* m = doc_.m_pModel;
  if (p.ended || p.name.size() > 129 || FindField(p.name) != nullptr) return 0;
  ItemFormat fmt;
  if (!ReadFormatTokens(*this, slot, p.alignment, true, &fmt)) return 0;
  std::string expr;
  if (!NextToken(&expr) || expr.empty()) return 0;
  FieldDef* f = nullptr;
  if (IsQuoted(expr)) {
    const std::string body = expr.substr(1, expr.size() - 2);
    if (IsNumSlot(slot) && ((fmt.digits == 0 && fmt.decimals == 0) || fmt.digits + fmt.decimals > 20)) return 0;
    f = CompileField(m, p.name.c_str(), body.c_str(), false, nullptr);
    if (f == nullptr) return 0;
    if (f->code == nullptr || !KindMatches(slot, f->flags)) {
      m->DeleteField(f, 2 | 4);
      return 0;
    }
    if (IsNumSlot(slot)) fmt.width = fmt.digits + fmt.decimals;
  } else {
    TotalSpec spec;
    if (!ParseTotalSpec(expr, IsCharSlot(slot), &spec)) return 0;
    const FieldDef* src = spec.source;
    if (IsNumSlot(slot)) {
      const uint32_t srcWidth = ColumnWidth(src);
      if (!fmt.decimalsGiven && srcWidth != 0 && spec.kind != 0) fmt.decimals = src->displayDecimals;
      if (!fmt.digitsGiven) fmt.digits = srcWidth != 0 ? srcWidth : 6;
      if (spec.kind != 0) fmt.digits = fmt.digits > fmt.decimals ? fmt.digits - fmt.decimals : 0;
      if (fmt.digits + fmt.decimals < 20) ++fmt.digits;
      if (spec.kind == 1 && fmt.digits + fmt.decimals < 20) ++fmt.digits;
      if ((fmt.digits == 0 && fmt.decimals == 0) || fmt.digits + fmt.decimals > 20) return 0;
      fmt.width = fmt.digits + fmt.decimals;
    }
    const uint32_t typeFlags = IsCharSlot(slot) ? kFieldItem : IsNumSlot(slot) ? kFieldItem | kFieldNumeric
                                                                             : kFieldItem | kFieldDate;
    f = m->AddField(typeFlags);
    if (f == nullptr) {
      doc_.ShowErrorText(GetResString(kMsgNoMemoryTotal, 0), nullptr);
      messageShown_ = true;
      return 0;
    }
    std::snprintf(f->name, sizeof f->name, "%s", p.name.c_str());
    f->totalFlags = static_cast<uint8_t>(kTotalIsTotal | (spec.preprocessed ? kTotalPreprocessed : 0));
    f->totalFunction = static_cast<uint8_t>(spec.kind);
    f->refField = m->GetFieldIndex(src);
    f->totalReset = spec.reset;
    f->totalLevel = spec.printWhen;
    f->table = src->table;
    if (!IsCharSlot(slot) && !IsNumSlot(slot)) f->flags = (f->flags & ~kDateKinds) | (src->flags & kDateKinds);
    if (IsCharSlot(slot) && fmt.width == 0) fmt.width = std::min<uint32_t>(ColumnWidth(src), 254);
  }
  if (fmt.width == 0) fmt.width = 8;
  f->displayWidth = fmt.width;
  if (IsNumSlot(slot)) f->displayDecimals = static_cast<uint8_t>(fmt.decimals);
  f->formatCode = fmt.formatCode;
  if (IsDateTimeSlot(slot) || IsTimeSlot(slot)) f->timeFormat = fmt.timeFormat;
  f->head.width = ItemCells(fmt.width);
  MarkFieldPlaced(f);
  f->flags |= kFieldItem | kFieldNeeded;
  return PlaceItem(f->head, p, std::string());
}
