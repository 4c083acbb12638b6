#include "layout/character_mode.h"

#include "core/composite.h"
#include "core/fields.h"
#include "foundation/page_metrics.h"
#include "foundation/units.h"
#include "expr/value_format.h"
#include "layout/field_width.h"
#include "layout/layout_records.h"
#include "platform/win/codepage.h"
#include "platform/win/profile.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

namespace {

constexpr int kFontLists = 32;
constexpr BYTE kFirstLineDraw = 176, kLastLineDraw = 223;
constexpr BYTE kCharacterFill = 250;  // the character printers' fill dot

struct Paper {
  int code;
  int inchLong, inchShort;  // hundredths of an inch
  int mmLong, mmShort;      // tenths of a millimetre, as matched
  int storedLong, storedShort;  // tenths of a millimetre, as stored
};
// In matching order; Legal is stored 2129 wide though matched at 2159.
const Paper kPapers[] = {{kPaperCodeLetter, 1100, 850, 2794, 2159, 2794, 2159},
                         {kPaperCodeLegal, 1400, 850, 3556, 2159, 3556, 2129},
                         {kPaperCodeExecutive, 1050, 725, 2670, 1840, 2670, 1840},
                         {kPaperCodeA4, 1170, 830, 2970, 2100, 2970, 2100}};

std::string Trimmed(const std::string& s) {
  size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

std::string IniText(const char* section, const char* key, const std::string& ini) {
  char buf[256] = {};
  GetPrivateProfileStringA(section, key, "", buf, sizeof buf, ini.c_str());
  return buf;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of("/\\:");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

void SetFace(ReportItemHead& h, const std::string& face) {
  if (h.faceAtom != 0) DeleteFaceAtom(h.faceAtom);
  h.faceAtom = face.empty() ? 0 : AddFaceAtom(face.c_str());
}

}  // namespace

int FindPrinterFont(const DocFonts& f, const char* face) {
  if (face == nullptr) return -1;
  for (size_t i = 0; i < f.table.size(); ++i)
    if (strcasecmp(f.table[i].logFont.lfFaceName, face) == 0) return static_cast<int>(i);
  return -1;
}

std::string PickFontFromList(const DocFonts& f, const std::string& list) {
  size_t at = 0;
  while (at <= list.size()) {
    size_t comma = list.find(',', at);
    if (comma == std::string::npos) comma = list.size();
    const std::string face = Trimmed(list.substr(at, comma - at));
    if (!face.empty() && FindPrinterFont(f, face.c_str()) >= 0) return face;
    at = comma + 1;
  }
  return std::string();
}

void SetFieldAlignmentDefaults(FieldDef* field, int numberSetting) {
  static const uint32_t kGeneral[4] = {4096, 8192, 12288, 16384};
  static const uint32_t kFixed[4] = {20480, 24576, 28672, 32768};
  const int n = numberSetting >= 0 && numberSetting < 4 ? numberSetting : 0;
  if (field->flags & kFieldNumeric) {
    const uint32_t style = field->formatCode & 0xF;
    if (style == 2) field->formatCode = kGeneral[n];
    else if (style == 3) field->formatCode = kFixed[n];
    if (((field->formatCode >> 8) & 0xF) == 0) field->formatCode |= 0x100;
  } else if (field->flags & kFieldDate) {
    field->formatCode |= 0x3000;
  }
}

bool PaperMatches(int unit, bool landscape, int value, int inchLong, int inchShort, int mmLong, int mmShort) {
  if (unit == 1) return value == (landscape ? inchShort : inchLong);
  if (unit == 0) return value == (landscape ? mmShort : mmLong);
  return false;
}

int MatchPaperSize(PageSetupRec& page, int unit) {
  const Paper* chosen = &kPapers[0];
  if (page.word8 >= kPaperLetter && page.word8 <= kPaperA4) {
    chosen = &kPapers[page.word8 - kPaperLetter];
  } else {
    // The stored length is tenths of a millimetre; matched in the report's unit.
    const int value = unit == 1 ? (page.PaperLength * 100 + 127) / 254 : page.PaperLength;
    for (const Paper& p : kPapers)
      if (PaperMatches(unit, page.Landscape == 1, value, p.inchLong, p.inchShort, p.mmLong, p.mmShort)) {
        chosen = &p;
        break;
      }
  }
  page.word8 = chosen->code;
  page.PaperLength = chosen->storedLong;
  page.PaperWidth = chosen->storedShort;
  return chosen->code;
}

CharacterFontLists ReadCharacterFontLists(const std::string& iniPath, const std::string& reportPath,
                                          int pitchChoice) {
  CharacterFontLists out;
  const std::string section = BaseName(reportPath);
  if (!reportPath.empty() && !IniText(section.c_str(), "1", iniPath).empty()) {
    out.byFontNumber = true;
    for (int n = 1; n <= kFontLists; ++n) out.lists.push_back(IniText(section.c_str(), std::to_string(n).c_str(), iniPath));
    return out;
  }
  const char* key = "Compressed";
  if (pitchChoice == 0) {
    out.pitch = 10;
    key = "10";
  } else if (pitchChoice == 1) {
    out.pitch = 12;
    key = "12";
  } else if (pitchChoice == 2) {
    const int p = static_cast<int>(GetPrivateProfileIntA("None", "CompPitch", 10, iniPath.c_str()));
    out.pitch = p >= 4 && p <= 30 ? p : 10;
  } else {
    out.pitch = 12;
  }
  out.lists.push_back(IniText("None", key, iniPath));
  return out;
}

void SetupCharacterPrinter(LayoutTables& layout, const DocFonts& fonts, CKmComposite* model,
                           const CharacterFontLists& lists, int numberSetting) {
  const bool lineDraw = FindPrinterFont(fonts, kBoxDrawingFace) >= 0;
  const int size = (120 / (lists.pitch > 0 ? lists.pitch : 10)) * 10;
  auto faceFor = [&](ReportItemHead& h) {
    // The item's font number is the high five bits of its style byte.
    const int number = h.fontStyle >> 3;
    h.fontStyle &= 7;
    if (!lists.byFontNumber) {
      h.pointSize = size;
      SetFace(h, lists.lists.empty() ? std::string() : PickFontFromList(fonts, lists.lists[0]));
    } else {
      const std::string& list = lists.lists[static_cast<size_t>(number) % lists.lists.size()];
      SetFace(h, PickFontFromList(fonts, list));
    }
  };
  if (model != nullptr)
    for (FieldDef* f = model->fieldList; f != nullptr; f = f->next) {
      SetFieldAlignmentDefaults(f, numberSetting);
      if (f->head.flags & kItemKindField) faceFor(f->head);
    }
  for (TextItem* t = layout.textHead; t != nullptr; t = t->nextText) {
    faceFor(t->head);
    if (t->text != nullptr && lists.byFontNumber) {
      const BYTE first = static_cast<BYTE>(t->text[0]);
      if (lineDraw && first >= kFirstLineDraw && first <= kLastLineDraw)
        SetFace(t->head, kBoxDrawingFace);
      else
        OemToCharBuffA(t->text, t->text, static_cast<DWORD>(std::strlen(t->text)));
    }
    // The character printer's fill dots print as blanks.
    for (char* c = t->text; c != nullptr && *c != 0; ++c)
      if (static_cast<BYTE>(*c) == kCharacterFill) *c = ' ';
  }
  BuildLayoutItemOrder(layout);
  for (ReportItemHead* h = layout.orderHead; h != nullptr; h = h->nextInOrder) SetItemContinuation(*h);
}

void SetItemContinuation(ReportItemHead& item) {
  FormatSettings plain;
  auto sizeToText = [&](ReportItemHead& h) {
    if (h.flags & kItemKindField) h.width = static_cast<uint8_t>(std::min(GetObjectWidth(plain, reinterpret_cast<FieldDef&>(h)), 254));
  };
  sizeToText(item);
  ReportItemHead* prev = item.prevInOrder;
  if (prev != nullptr) sizeToText(*prev);
  // An item that starts where the item before it on its line ends prints
  // straight after that item's text. Whether the item before starts a run
  // of its own does not matter: the first item of every line does, so the
  // chain would never begin.
  if (prev != nullptr && (item.flags & kItemGraphicKinds) == 0 && (prev->flags & kItemGraphicKinds) == 0 &&
      prev->bandLine == item.bandLine && prev->column + prev->width == item.column)
    item.flags &= ~kItemFixedPosition;
  else
    item.flags |= kItemFixedPosition;
}
