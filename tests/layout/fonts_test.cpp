#include "layout/fonts.h"

#include "layout/band_line_layout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <strings.h>

namespace {

PrinterFace Face(const char* name) {
  PrinterFace f;
  f.face = name;
  return f;
}

TEST(Fonts, TableIsSortedWithoutDuplicatesOrScreenRasterFaces) {
  DocFonts f;
  LayoutMetrics m;
  PrinterFace raster = Face("Screen Bitmap");
  raster.trueType = false;
  raster.raster = true;
  PrinterFace device = Face("Printer Roman");
  device.trueType = false;
  device.device = true;
  device.raster = true;
  device.rasterSizes = {10, 12, 10, 0, 300};
  BuildFontTable(f, m, {Face("zeta"), Face("Alpha"), Face("ALPHA"), raster, device}, 96, 96);
  ASSERT_EQ(f.table.size(), 3u);
  EXPECT_STREQ(f.table[0].logFont.lfFaceName, "Alpha");
  EXPECT_STREQ(f.table[1].logFont.lfFaceName, "Printer Roman");
  EXPECT_STREQ(f.table[2].logFont.lfFaceName, "zeta");
  EXPECT_EQ(f.table[1].fontFlags, kFontDevice);
  EXPECT_EQ(f.table[1].sizeCount, 2);  // duplicates and impossible sizes dropped
  EXPECT_EQ(f.table[0].fontFlags, kFontTrueType);
  EXPECT_EQ(f.table[0].regularWeight, FW_NORMAL);
  // The first device font is the default.
  EXPECT_EQ(f.defaultIndex, 1);
  EXPECT_EQ(f.defaultSize, 120);
  EXPECT_EQ(FindFontByFace(f, "ZETA", false), 2);
  EXPECT_EQ(FindFontByFace(f, "Missing", false), -1);
  EXPECT_EQ(FindFontByFace(f, "Missing", true), 1);
  FreeFontTable(f);
  LoadDefaultFonts(f, m);
}

TEST(Fonts, NearestSizeOnARasterFace) {
  DocFonts f;
  FontEntry raster;
  raster.sizeCount = 2;
  raster.sizes[0] = 12;
  raster.sizes[1] = 10;
  f.table.push_back(FontEntry{});
  f.table.push_back(raster);
  EXPECT_EQ(NearestFontSize(f, 1, 110), 100);  // a tie goes to the smaller
  EXPECT_EQ(NearestFontSize(f, 1, 115), 100);  // 11.5 counts as 11
  EXPECT_EQ(NearestFontSize(f, 1, 118), 100);
  EXPECT_EQ(NearestFontSize(f, 1, 130), 120);
  EXPECT_EQ(NearestFontSize(f, 1, 40), 100);  // below every size: the smallest, never 0
  EXPECT_EQ(NearestFontSize(f, 1, 720), 120);
  EXPECT_EQ(NearestFontSize(f, 1, 120), 120);
  EXPECT_EQ(NearestFontSize(f, 0, 95), 95);   // scalable: as asked
  EXPECT_EQ(NearestFontSize(f, 0, 0), 120);   // the default size
  EXPECT_EQ(NearestFontSize(f, 7, 90), 90);   // no such entry
}

TEST(Fonts, ScreenHeightsFollowTheCharacterGrid) {
  LayoutMetrics m;  // 96 dpi, 10 characters per inch
  EXPECT_EQ(ScreenFontHeight(m, 120), -17);
  EXPECT_EQ(ScreenFontHeight(m, 100), -14);
  EXPECT_EQ(ScreenFontHeight(m, 0), -1);
}

struct PdfFonts : ::testing::Test {
  LayoutTables t;
  DocFonts f;
  TextItem texts[3];
  void SetUp() override {
    EnumPrinterFonts(f, t.metrics, "PDF");
    for (int i = 2; i >= 0; --i) {
      texts[i].nextText = t.textHead;
      t.textHead = &texts[i];
    }
  }
  void TearDown() override { ReleaseObjectFonts(t, f, false, false); }
};

TEST_F(PdfFonts, DefaultsComeFromThePdfPrinter) {
  ASSERT_FALSE(f.table.empty());
  for (size_t i = 1; i < f.table.size(); ++i)
    EXPECT_LE(strcasecmp(f.table[i - 1].logFont.lfFaceName, f.table[i].logFont.lfFaceName), 0);
  EXPECT_NE(f.regularDefault, nullptr);
  EXPECT_NE(f.underlineDefault, nullptr);
  EXPECT_EQ(f.ownership, kOwnRegularDefault | kOwnUnderlineDefault);
  EXPECT_GT(f.defaultLineHeight, 0);
  EXPECT_GT(f.defaultDescent, 0);
  // Another printer name that does not exist gives the same table.
  DocFonts other;
  EnumPrinterFonts(other, t.metrics, "No Such Printer");
  EXPECT_EQ(other.table.size(), f.table.size());
  LoadDefaultFonts(other, t.metrics);  // made again: the first defaults are deleted, the last go with it
}

TEST_F(PdfFonts, PlainAndUnderlinedItemsShareTheDefaults) {
  texts[1].head.fontStyle = 4;
  AttachAllFonts(t, f, false);
  EXPECT_EQ(texts[0].head.fontHandle, f.regularDefault);
  EXPECT_EQ(texts[1].head.fontHandle, f.underlineDefault);
  EXPECT_EQ(texts[0].head.height, f.defaultLineHeight);
  EXPECT_EQ(texts[0].head.pointSize, f.defaultSize);
  EXPECT_TRUE(IsFontShared(t, f, f.regularDefault, false, 0));
}

TEST_F(PdfFonts, StyledItemsShareOneFontAndReleaseKeepsTheFace) {
  texts[0].head.fontStyle = 1;
  texts[1].head.fontStyle = 1;
  texts[2].head.pointSize = 240;
  AttachAllFonts(t, f, false);
  ASSERT_NE(texts[0].head.fontHandle, nullptr);
  EXPECT_NE(texts[0].head.fontHandle, f.regularDefault);
  EXPECT_EQ(texts[0].head.fontHandle, texts[1].head.fontHandle);  // shared, not made twice
  EXPECT_GT(texts[2].head.height, texts[0].head.height);           // a bigger font is taller
  EXPECT_GT(texts[2].head.descent, 0);

  // Only the held-for-undo item uses the big font: it goes, the shared bold one stays.
  texts[2].head.flags |= kItemDeleted;
  texts[0].head.flags |= kItemDeleted;
  ReleaseUnusedFonts(t, f, kItemDeleted);
  EXPECT_EQ(texts[2].head.fontHandle, nullptr);
  EXPECT_NE(texts[0].head.fontHandle, nullptr);
  texts[0].head.flags = texts[2].head.flags = 0;

  const int index = texts[0].head.fontIndex;
  ReleaseObjectFonts(t, f, false, true);
  EXPECT_EQ(texts[0].head.fontHandle, nullptr);
  std::string face;
  ASSERT_TRUE(GetFaceAtomName(texts[0].head.faceAtom, &face));
  EXPECT_STREQ(face.c_str(), f.table[index].logFont.lfFaceName);
  LoadDefaultFonts(f, t.metrics);
  AttachAllFonts(t, f, false);
  EXPECT_EQ(texts[0].head.fontIndex, index);  // the same face found again
  EXPECT_EQ(texts[0].head.faceAtom, 0);
}

// Extents recomputed after an edit attach the fonts again: each item keeps
// its own face, and a font given up for another goes once no item holds it
// (the leak check would name it otherwise).
TEST_F(PdfFonts, AttachedAgainAnItemKeepsItsFaceAndGivesUpItsFormerFont) {
  ASSERT_GT(f.table.size(), 1u);
  const int other = f.defaultIndex == 0 ? 1 : 0;
  for (int i = 0; i < 2; ++i) texts[i].head.faceAtom = AddFaceAtom(f.table[other].logFont.lfFaceName);
  AttachAllFonts(t, f, false);
  ASSERT_EQ(texts[0].head.fontIndex, other);
  const HFONT shared = static_cast<HFONT>(texts[0].head.fontHandle);
  ASSERT_NE(shared, nullptr);
  ASSERT_EQ(texts[1].head.fontHandle, shared);
  AttachAllFonts(t, f, false);
  EXPECT_EQ(texts[0].head.fontIndex, other) << "not the default face";
  EXPECT_EQ(texts[0].head.fontHandle, shared);
  texts[0].head.pointSize = 240;
  AttachAllFonts(t, f, false);
  EXPECT_EQ(texts[0].head.fontIndex, other);
  EXPECT_NE(texts[0].head.fontHandle, shared);
  EXPECT_EQ(texts[1].head.fontIndex, other);
  EXPECT_NE(texts[1].head.fontHandle, nullptr);
  EXPECT_NE(texts[1].head.fontHandle, texts[0].head.fontHandle);
  texts[1].head.pointSize = 240;
  AttachAllFonts(t, f, false);
  EXPECT_EQ(texts[1].head.fontHandle, texts[0].head.fontHandle);
  EXPECT_EQ(texts[2].head.fontHandle, f.regularDefault);
}

TEST_F(PdfFonts, ExtentsFollowTheirFontsAndLinesFollowTheItems) {
  char small[] = "Total";
  char large[] = "Total";
  texts[0].text = small;
  texts[0].head.width = 5;
  texts[0].head.column = 2;
  texts[1].text = large;
  texts[1].head.pointSize = 240;
  texts[1].head.width = 5;
  texts[1].head.column = 10;
  texts[1].alignment = kAlignRight;
  texts[1].head.bandLine = 1;
  texts[2].head.bandLine = 1;
  texts[2].head.column = 30;
  t.bandRecords[0].kind = t.bandRecords[1].kind = kBandRecord;
  t.Lines().lastUsed = 1;
  RecalcObjectExtents(t, f, false, true, true);
  const int cell = CharCellWidth(t.metrics, 1);
  EXPECT_EQ(texts[0].head.left, 2 * cell);
  const int smallWidth = texts[0].head.right - texts[0].head.left;
  const int largeWidth = texts[1].head.right - texts[1].head.left;
  EXPECT_GT(smallWidth, 0);
  EXPECT_GT(largeWidth, smallWidth);
  EXPECT_EQ(texts[1].head.right, CharCellWidth(t.metrics, 15));  // right-aligned at column + width
  // Line 1 is as tall as its bigger font; the item stands on its baseline.
  EXPECT_EQ(t.bandRecords[1].pixelHeight, texts[1].head.height);
  EXPECT_EQ(texts[1].head.bottom - texts[1].head.descent, t.bandRecords[1].baseline);
  EXPECT_EQ(t.bandRecords[0].pixelHeight, texts[0].head.height);
}

}  // namespace

namespace {

TEST(Fonts, TextsFollowTheBoxDrawingFaceAcrossAFaceChange) {
  LayoutTables t;
  DocFonts f;
  PrinterFace box = Face(kBoxDrawingFace);
  box.device = true;  // the default face
  BuildFontTable(f, t.metrics, {box, Face("Alpha")}, 96, 96);
  ASSERT_EQ(f.defaultIndex, FindFontByFace(f, kBoxDrawingFace, false));
  char text[] = "a\xB7" "b";
  TextItem x;
  x.text = text;
  t.textHead = &x;
  x.head.faceAtom = AddFaceAtom("Gone Face");  // not on this printer: the default is taken
  AttachObjectFont(t, f, x.head, false);
  EXPECT_EQ(static_cast<unsigned char>(text[1]), 250);
  EXPECT_EQ(x.head.faceAtom, 0);
  ReleaseObjectFonts(t, f, false, false);

  // Back from the box face to an ordinary one: the OEM text is converted.
  DocFonts plain;
  BuildFontTable(plain, t.metrics, {Face("Alpha")}, 96, 96);
  x.head.faceAtom = AddFaceAtom(kBoxDrawingFace);
  AttachObjectFont(t, plain, x.head, false);
  EXPECT_NE(static_cast<unsigned char>(text[1]), 250);
  ReleaseObjectFonts(t, plain, false, false);
}

TEST(Fonts, DefaultsInUseAreNotDeletedWhenRemade) {
  LayoutTables t;
  DocFonts f;
  BuildFontTable(f, t.metrics, {Face("Alpha")}, 96, 96);
  TextItem x;
  t.textHead = &x;
  AttachObjectFont(t, f, x.head, false);
  HFONT inUse = f.regularDefault;
  ASSERT_EQ(x.head.fontHandle, inUse);
  ValidateDefaultFont(t, f, true);
  EXPECT_NE(f.regularDefault, inUse);  // new defaults were made
  // The old one was handed over to the item, so it still measures.
  HDC dc = GetDC(nullptr);
  SelectObject(dc, inUse);
  TEXTMETRICA tm{};
  EXPECT_TRUE(GetTextMetricsA(dc, &tm));
  EXPECT_GT(tm.tmHeight, 0);
  ReleaseDC(nullptr, dc);
  DeleteObject(inUse);
}

}  // namespace
