#include "engine/output_stream.h"

#include "tests/engine/stub_page_driver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

std::vector<StreamToken> Tokens(const Bytes& line) {
  // A heap copy of exactly the given size, so the sanitizer sees any overread.
  std::unique_ptr<BYTE[]> copy(new BYTE[line.size() ? line.size() : 1]);
  if (!line.empty()) std::memcpy(copy.get(), line.data(), line.size());
  StreamReader r(copy.get(), static_cast<int>(line.size()));
  std::vector<StreamToken> out;
  for (StreamToken t = r.Next(); t.kind != StreamToken::kEnd; t = r.Next()) out.push_back(t);
  return out;
}

std::string TextOf(const Bytes& line, const StreamToken& t) {
  return std::string(reinterpret_cast<const char*>(line.data()) + t.offset, t.length);
}

TEST(PutEscapeSequence, LengthFollowsTheFFFFRule) {
  BYTE buf[16];
  EXPECT_EQ(PutEscapeSequence(buf, 1, 96) - buf, 4);
  EXPECT_EQ(PutEscapeSequence(buf, 3, 0, 0, 100) - buf, 8);
  EXPECT_EQ(PutEscapeSequence(buf, 3, 0, 0) - buf, 6);
  // A second argument of 0xFFFF ends the sequence even when a third is given.
  EXPECT_EQ(PutEscapeSequence(buf, 3, 1, 0xFFFF, 7) - buf, 4);
  // The first place carries any value, 0xFFFF included, little-endian.
  BYTE* end = PutEscapeSequence(buf, 8, 0xFFFF);
  EXPECT_EQ(end - buf, 4);
  EXPECT_EQ(Bytes(buf, end), (Bytes{0x1B, 8, 0xFF, 0xFF}));
  end = PutEscapeSequence(buf, 1, 0x1234);
  EXPECT_EQ(Bytes(buf, end), (Bytes{0x1B, 1, 0x34, 0x12}));
  EXPECT_EQ(PutBareEscape(buf, 5) - buf, 2);
}

// The line of a text item, a left field and a right-aligned amount.
Bytes WorkedLine() {
  BYTE buf[64];
  BYTE* p = buf;
  p = PutEscapeSequence(p, kEscPosition, 0);
  p = PutEscapeSequence(p, kEscFont, 0, 0, 100);
  p = PutEscapeSequence(p, kEscColour, 0, 0, 0);
  p += PutStreamText(p, "City:", 5);
  p = PutEscapeSequence(p, kEscPosition, 96);
  p += PutStreamText(p, "Boston", 6);
  p = PutBareEscape(p, kEscRightOpen);
  p += PutStreamText(p, "10.00", 5);
  p = PutEscapeSequence(p, kEscRightClose, 480);
  return Bytes(buf, p);
}

TEST(PutEscapeSequence, WrittenLineDecodesToTheSameRunsAndPositions) {
  Bytes line = WorkedLine();
  ASSERT_EQ(line.size(), 46u);
  auto t = Tokens(line);
  ASSERT_EQ(t.size(), 9u);
  EXPECT_EQ(t[0].code, kEscPosition);
  EXPECT_EQ(t[0].args[0], 0);
  EXPECT_EQ(t[1].code, kEscFont);
  EXPECT_EQ(t[1].argCount, 3);
  EXPECT_EQ(t[1].args[2], 100);
  EXPECT_EQ(TextOf(line, t[3]), "City:");
  EXPECT_EQ(t[4].args[0], 96);
  EXPECT_EQ(TextOf(line, t[5]), "Boston");
  EXPECT_EQ(t[6].code, kEscRightOpen);
  EXPECT_EQ(t[6].length, 2);
  EXPECT_EQ(TextOf(line, t[7]), "10.00");
  EXPECT_EQ(t[8].code, kEscRightClose);
  EXPECT_EQ(t[8].args[0], 480);
}

TEST(PutEscapeSequence, CentredFieldAndCentredRunAlternateCorrectly) {
  BYTE buf[64];
  BYTE* p = PutEscapeSequence(buf, kEscPosition, 10);
  p = PutEscapeSequence(p, kEscCentreField, 0x1B1B);  // argument bytes equal to ESC
  p += PutStreamText(p, "Mid", 3);
  p = PutBareEscape(p, kEscCentreField);
  p = PutBareEscape(p, kEscCentreOpen);
  p += PutStreamText(p, "Run", 3);
  // A centred run ends with exactly four bytes, read back as one sequence.
  p = PutEscapeSequence(p, kEscCentreClose, 300);
  p += PutStreamText(p, "x", 1);
  Bytes line(buf, p);
  auto t = Tokens(line);
  ASSERT_EQ(t.size(), 8u);
  EXPECT_EQ(t[1].argCount, 1);
  EXPECT_EQ(t[1].args[0], 0x1B1B);
  EXPECT_EQ(TextOf(line, t[2]), "Mid");
  EXPECT_EQ(t[3].code, kEscCentreField);
  EXPECT_EQ(t[3].argCount, 0);
  EXPECT_EQ(t[6].code, kEscCentreClose);
  EXPECT_EQ(t[6].length, 4);
  EXPECT_EQ(TextOf(line, t[7]), "x");
}

TEST(PutEscapeSequence, HostileLinesEndTheWalkInsideTheBuffer) {
  // A sequence cut off inside its arguments, a lone ESC, an unknown code.
  auto cut = Tokens({'A', 0x1B, 3, 0, 0, 0});
  ASSERT_EQ(cut.size(), 1u);
  EXPECT_EQ(cut[0].kind, StreamToken::kText);
  EXPECT_EQ(Tokens({'A', 'B', 0x1B}).size(), 1u);
  auto unknown = Tokens({0x1B, 0x63, 'Z'});
  ASSERT_EQ(unknown.size(), 2u);
  EXPECT_EQ(unknown[0].length, 2);
  EXPECT_TRUE(Tokens({}).empty());
  StreamReader none(nullptr, 50);
  EXPECT_EQ(none.Next().kind, StreamToken::kEnd);
  StreamReader negative(reinterpret_cast<const BYTE*>("abc"), -3);
  EXPECT_EQ(negative.Next().kind, StreamToken::kEnd);
}

TEST(PutEscapeSequence, FontAndColourAreSixteenBytesAfterTheLibrarysStyle) {
  StubPageDriver driver;
  PageOutputState state;
  BYTE buf[32];
  EXPECT_EQ(PutFontAndColorSequences(&driver, &state, 2, 0xF3, 120, 0x00332211, buf), 16);
  auto t = Tokens(Bytes(buf, buf + 16));
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[0].args[0], 2);
  EXPECT_EQ(t[0].args[1], 3);  // low four bits of the style byte
  EXPECT_EQ(t[0].args[2], 120);
  EXPECT_EQ(t[1].args[0], 0x11);
  EXPECT_EQ(t[1].args[1], 0x22);
  EXPECT_EQ(t[1].args[2], 0x33);
  driver.forcedStyle = 1;
  PutFontAndColorSequences(&driver, &state, 2, 0x03, 120, 0, buf);
  EXPECT_EQ(Tokens(Bytes(buf, buf + 16))[0].args[1], 1);
  // Without ordinal 1 the style is kept.
  driver.missing.insert(1);
  PutFontAndColorSequences(&driver, &state, 2, 0x02, 120, 0, buf);
  EXPECT_EQ(Tokens(Bytes(buf, buf + 16))[0].args[1], 2);
}

struct Cells {
  WORD chars[kFieldCells] = {};
  WORD fonts[kFieldCells] = {};
  WORD sizes[kFieldCells] = {};
  void Set(const std::string& text, WORD size = 100) {
    for (size_t i = 0; i < text.size() && i < kFieldCells; ++i) {
      chars[i] = static_cast<BYTE>(text[i]);
      sizes[i] = size;
    }
  }
};

std::string VisibleText(const Bytes& line) {
  std::string s;
  for (const StreamToken& t : Tokens(line))
    if (t.kind == StreamToken::kText) s += TextOf(line, t);
  return s;
}

TEST(FieldTextLine, AlignmentsWriteTheirOpeningAndClosingSequences) {
  Cells c;
  c.Set("Total   ");
  BYTE out[kFieldTextLineMax];
  FieldLinePlacement left;
  left.x = 40;
  int n = BuildTextLine(c.chars, c.fonts, c.sizes, left, out);
  Bytes l(out, out + n);
  auto t = Tokens(l);
  EXPECT_EQ(t.front().code, kEscPosition);
  EXPECT_EQ(VisibleText(l), "Total");  // trailing blanks cut

  FieldLinePlacement centre = left;
  centre.alignment = kFieldAlignCentre;
  centre.width = 200;
  n = BuildTextLine(c.chars, c.fonts, c.sizes, centre, out);
  t = Tokens(Bytes(out, out + n));
  EXPECT_EQ(t[1].code, kEscCentreField);
  EXPECT_EQ(t[1].args[0], 200);
  EXPECT_EQ(t.back().code, kEscCentreField);
  EXPECT_EQ(t.back().argCount, 0);
  centre.continued = true;
  n = BuildTextLine(c.chars, c.fonts, c.sizes, centre, out);
  for (const StreamToken& tok : Tokens(Bytes(out, out + n))) EXPECT_NE(tok.code, kEscCentreField);

  FieldLinePlacement right;
  right.alignment = kFieldAlignRight;
  right.rightX = 500;
  n = BuildTextLine(c.chars, c.fonts, c.sizes, right, out);
  t = Tokens(Bytes(out, out + n));
  EXPECT_EQ(t.front().code, kEscRightOpen);
  EXPECT_EQ(t.back().code, kEscRightClose);
  EXPECT_EQ(t.back().args[0], 500);

  Cells blank;
  blank.Set("      ");
  EXPECT_EQ(BuildTextLine(blank.chars, blank.fonts, blank.sizes, left, out), 0);
}

TEST(FieldTextLine, FontChangeOnEveryCellStaysWithin488BytesWithItsClose) {
  Cells c;
  for (int i = 0; i < kFieldCells; ++i) {
    c.chars[i] = 'a' + i % 26;
    c.fonts[i] = i % 2;
    c.sizes[i] = 100;
  }
  for (int align : {kFieldAlignLeft, kFieldAlignCentre, kFieldAlignRight}) {
    FieldLinePlacement p;
    p.alignment = align;
    p.width = 100;
    p.rightX = 100;
    std::vector<BYTE> out(kFieldTextLineMax);  // exactly the room the caller gives
    int n = BuildTextLine(c.chars, c.fonts, c.sizes, p, out.data());
    EXPECT_LE(n, kFieldTextLineMax) << align;
    EXPECT_GT(n, kFieldTextLineMax - 9) << align;
    Bytes line(out.begin(), out.begin() + n);
    auto t = Tokens(line);
    if (align == kFieldAlignRight) {
      EXPECT_EQ(t.back().code, kEscRightClose);
    }
    if (align == kFieldAlignCentre) {
      EXPECT_EQ(t.back().code, kEscCentreField);
    }
    std::string all;
    for (int i = 0; i < kFieldCells; ++i) all += static_cast<char>('a' + i % 26);
    std::string shown = VisibleText(line);
    EXPECT_GT(shown.size(), 50u);
    EXPECT_EQ(all.substr(0, shown.size()), shown);
  }
}

TEST(FieldTextLine, EscapeByteInDataIsNeverReadAsASequence) {
  Cells c;
  c.Set(std::string("a\x1B\x03" "bc\x01", 6));
  FieldLinePlacement p;
  BYTE out[kFieldTextLineMax];
  int n = BuildTextLine(c.chars, c.fonts, c.sizes, p, out);
  Bytes line(out, out + n);
  EXPECT_EQ(VisibleText(line), "a  bc");
  BYTE buf[8];
  PutStreamText(buf, "\x1B\x0C" "ab", 4);
  EXPECT_EQ(Tokens(Bytes(buf, buf + 4)).size(), 1u);
}

TEST(ColumnShift, MovesEveryPositionAndParsesEveryCode) {
  BYTE buf[96];
  BYTE* p = PutEscapeSequence(buf, kEscPosition, 10);
  // Arguments whose bytes are 27 must not be taken for a new sequence.
  p = PutEscapeSequence(p, kEscVerticalOffset, 0x1B1B);
  p = PutEscapeSequence(p, kEscCentreField, 0x081B);
  p += PutStreamText(p, "A", 1);
  p = PutBareEscape(p, kEscCentreField);
  p = PutEscapeSequence(p, kEscFont, 0x1B, 0x1B, 0x1B);
  p = PutEscapeSequence(p, kEscColour, 27, 27, 27);
  p = PutBareEscape(p, kEscCentreOpen);
  p += PutStreamText(p, "B", 1);
  p = PutEscapeSequence(p, kEscCentreClose, 150);
  p = PutBareEscape(p, kEscRightOpen);
  p += PutStreamText(p, "C", 1);
  p = PutEscapeSequence(p, kEscRightClose, 400);
  Bytes before(buf, p);
  int n = static_cast<int>(p - buf);
  ShiftLineColumns(buf, n, 1, 3, 250);
  Bytes after(buf, p);
  auto tb = Tokens(before), ta = Tokens(after);
  ASSERT_EQ(tb.size(), ta.size());
  for (size_t i = 0; i < tb.size(); ++i) {
    ASSERT_EQ(tb[i].code, ta[i].code);
    bool moves = ta[i].kind == StreamToken::kEscape &&
                 (ta[i].code == kEscPosition || ta[i].code == kEscCentreClose || ta[i].code == kEscRightClose);
    for (int a = 0; a < ta[i].argCount; ++a)
      EXPECT_EQ(ta[i].args[a], static_cast<WORD>(tb[i].args[a] + (moves && a == 0 ? 500 : 0))) << i;
  }
  EXPECT_EQ(VisibleText(after), "ABC");
  // Moving back restores the line byte for byte.
  ShiftLineColumns(buf, n, 3, 1, 250);
  EXPECT_EQ(Bytes(buf, p), before);
}

TEST(ColumnShift, TruncatedLineIsLeftAlone) {
  Bytes line = {'x', 0x1B, kEscPosition, 0x10};
  std::unique_ptr<BYTE[]> copy(new BYTE[line.size()]);
  std::memcpy(copy.get(), line.data(), line.size());
  ShiftLineColumns(copy.get(), static_cast<int>(line.size()), 1, 2, 100);
  EXPECT_EQ(Bytes(copy.get(), copy.get() + line.size()), line);
}

}  // namespace
