// Reports made for character-mode printers as they are read: faces from the
// printer-font lists of kmwfif.ini, sizes by the pitch, the stored paper as
// a paper code, field alignments by kind.
#include "layout/character_mode.h"

#include "core/composite.h"
#include "core/fields.h"
#include "foundation/page_metrics.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The font table owns its fonts and is not copied: it is filled in place.
void PrinterWith(DocFonts& f, std::vector<std::string> faces) {
  for (const std::string& face : faces) {
    FontEntry e;
    std::snprintf(e.logFont.lfFaceName, sizeof e.logFont.lfFaceName, "%s", face.c_str());
    f.table.push_back(e);
  }
}

std::string FaceOf(const ReportItemHead& h) {
  std::string face;
  GetFaceAtomName(h.faceAtom, &face);
  return face;
}

TEST(CharacterMode, PaperCodesFromTheStoredPaper) {
  PageSetupRec p{};
  p.word8 = 4;  // the compact code of Legal
  EXPECT_EQ(MatchPaperSize(p, 1), kPaperCodeLegal);
  EXPECT_EQ(p.PaperLength, 3556);
  EXPECT_EQ(p.PaperWidth, 2129);
  p = PageSetupRec{};
  p.PaperLength = 2970;
  EXPECT_EQ(MatchPaperSize(p, 0), kPaperCodeA4);
  p = PageSetupRec{};
  p.PaperLength = 2794;
  EXPECT_EQ(MatchPaperSize(p, 1), kPaperCodeLetter);
  p = PageSetupRec{};
  p.PaperLength = 1234;  // nothing matches: Letter
  EXPECT_EQ(MatchPaperSize(p, 0), kPaperCodeLetter);
  EXPECT_EQ(p.PaperWidth, 2159);
  EXPECT_TRUE(PaperMatches(1, true, 850, 1100, 850, 2794, 2159));
  EXPECT_FALSE(PaperMatches(2, false, 1100, 1100, 850, 2794, 2159));
}

TEST(CharacterMode, FontListsFacesAndSizesByPitch) {
  char tmpl[] = "/tmp/vt_kmwfif_XXXXXX";
  const std::string dir = ::mkdtemp(tmpl);
  const std::string ini = dir + "/kmwfif.ini";
  std::ofstream(ini) << "[orders]\n1=Missing Face, Courier New\n2=Nope\n"
                        "[None]\n10=Nope, Courier\n12=Courier New\nCompressed=Courier\nCompPitch=40\n";
  DocFonts fonts;
  PrinterWith(fonts, {"Courier", "Courier New", "Duridev-ER"});
  EXPECT_EQ(FindPrinterFont(fonts, "courier new"), 1);
  EXPECT_EQ(PickFontFromList(fonts, "Missing Face, Courier New"), "Courier New");
  EXPECT_EQ(PickFontFromList(fonts, "Nope,Other"), "");

  // Without the report's own lists: the pitch choice's list and size.
  struct {
    int choice, pitch;
    const char* face;
    int size;
  } byPitch[] = {{0, 10, "Courier", 120}, {1, 12, "Courier New", 100}, {2, 10, "Courier", 120}};
  for (auto c : byPitch) {
    const CharacterFontLists lists = ReadCharacterFontLists(ini, "", c.choice);
    EXPECT_EQ(lists.pitch, c.pitch) << c.choice;  // CompPitch 40 is out of range: 10
    LayoutTables layout;
    std::vector<char> text = {'T', 'o', 't', 'a', 'l', 0};
    TextItem item;
    item.text = text.data();
    item.head.fontStyle = (3 << 3) | 1;  // font number 3, bold
    layout.textHead = &item;
    SetupCharacterPrinter(layout, fonts, nullptr, lists, 0);
    EXPECT_EQ(FaceOf(item.head), c.face) << c.choice;
    EXPECT_EQ(item.head.pointSize, c.size) << c.choice;
    EXPECT_EQ(item.head.fontStyle, 1);
    layout.textHead = nullptr;
  }

  // The report's own lists by font number; OEM texts become ANSI, line
  // drawing keeps its bytes in the line-draw face, a list of missing faces
  // leaves no face.
  const CharacterFontLists own = ReadCharacterFontLists(ini, "/reports/ORDERS.kmw", 0);
  ASSERT_TRUE(own.byFontNumber);
  LayoutTables layout;
  std::vector<char> oem = {'M', static_cast<char>(0x81), 'n', 'z', 0};  // u with diaeresis in the OEM page
  std::vector<char> box = {static_cast<char>(0xC4), static_cast<char>(0xC4), 0};
  std::vector<char> other = {'x', 0};
  TextItem a, b, c;
  a.text = oem.data();
  b.text = box.data();
  c.text = other.data();
  c.head.fontStyle = 1 << 3;  // font number 1: the list of missing faces
  a.nextText = &b;
  b.nextText = &c;
  layout.textHead = &a;
  SetupCharacterPrinter(layout, fonts, nullptr, own, 0);
  EXPECT_EQ(FaceOf(a.head), "Courier New");
  EXPECT_EQ(static_cast<unsigned char>(oem[1]), 0xFC);
  EXPECT_EQ(FaceOf(b.head), "Duridev-ER");
  EXPECT_EQ(static_cast<unsigned char>(box[0]), 0xC4);
  EXPECT_EQ(c.head.faceAtom, 0);
  layout.textHead = nullptr;
  std::remove(ini.c_str());
  ::rmdir(dir.c_str());
}

TEST(CharacterMode, FieldAlignmentByKind) {
  FieldDef number;
  number.flags = kFieldNumeric;
  number.formatCode = 3;
  SetFieldAlignmentDefaults(&number, 1);
  EXPECT_EQ(number.formatCode, 24576u | 0x100u);
  FieldDef date;
  date.flags = kFieldDate;
  SetFieldAlignmentDefaults(&date, 0);
  EXPECT_EQ(date.formatCode & 0x3000u, 0x3000u);
  FieldDef text;
  SetFieldAlignmentDefaults(&text, 0);
  EXPECT_EQ(text.formatCode, 0u);
}

}  // namespace

namespace {

// After the conversion a text that starts where the one before it on its
// line ends prints straight after it; one with a gap, or the first of a
// line, keeps its own column. Fill dots become blanks.
TEST(CharacterMode, ContinuationAndFillDots) {
  DocFonts fonts;
  PrinterWith(fonts, {"Courier"});
  CharacterFontLists lists;
  lists.lists.push_back("Courier");
  LayoutTables layout;
  std::vector<char> label = {'N', 'a', 'm', 'e', ':', 0};
  std::vector<char> dots = {'A', static_cast<char>(250), static_cast<char>(250), 'B', 0};
  std::vector<char> apart = {'x', 0};
  std::vector<char> below = {'y', 0};
  TextItem a, b, c, d;
  auto place = [](TextItem& t, std::vector<char>& text, int line, int column) {
    t.text = text.data();
    t.head.bandLine = static_cast<uint8_t>(line);
    t.head.column = column;
    t.head.width = static_cast<uint8_t>(std::strlen(text.data()));
    t.head.left = column * 10;
    t.head.top = line * 20;
    t.head.flags = kItemFixedPosition;
  };
  place(a, label, 0, 0);
  place(b, dots, 0, 5);    // touches "Name:"
  place(c, apart, 0, 12);  // a gap after the dots
  place(d, below, 1, 9);   // the first of its line, though the line above ends at 9
  a.nextText = &b;
  b.nextText = &c;
  c.nextText = &d;
  layout.textHead = &a;
  SetupCharacterPrinter(layout, fonts, nullptr, lists, 0);
  EXPECT_EQ(a.head.flags & kItemFixedPosition, kItemFixedPosition);
  EXPECT_EQ(b.head.flags & kItemFixedPosition, 0u);
  EXPECT_EQ(c.head.flags & kItemFixedPosition, kItemFixedPosition);
  EXPECT_EQ(d.head.flags & kItemFixedPosition, kItemFixedPosition);
  EXPECT_STREQ(b.text, "A  B");
  layout.textHead = nullptr;
}

}  // namespace
