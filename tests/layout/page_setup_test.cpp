#include "layout/page_setup.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(PageSetup, StartsZeroAndWordsKeepTheirPlaces) {
  PageSetupRec* rec = AllocPageSetup();
  ASSERT_NE(rec, nullptr);
  for (int i = 0; i < kPageSetupWords; ++i) EXPECT_EQ(GetPageSetupWord(*rec, i), 0) << i;
  // The named words sit at their record positions.
  rec->PaperLength = 2794;
  rec->Copies = 3;
  rec->OutputDestination = kOutputToFile;
  rec->PaperWidth = 2159;
  rec->DownOrder = 1;
  rec->word21 = 77;  // unnamed words are carried too
  EXPECT_EQ(GetPageSetupWord(*rec, kPsPaperLength), 2794);
  EXPECT_EQ(GetPageSetupWord(*rec, kPsCopies), 3);
  EXPECT_EQ(GetPageSetupWord(*rec, kPsOutputDestination), 2);
  EXPECT_EQ(GetPageSetupWord(*rec, kPsPaperWidth), 2159);
  EXPECT_EQ(GetPageSetupWord(*rec, kPsDownOrder), 1);
  EXPECT_EQ(GetPageSetupWord(*rec, 21), 77);
  EXPECT_EQ(GetPageSetupWord(*rec, 28), 0);
  EXPECT_EQ(GetPageSetupWord(*rec, -1), 0);
  SetPageSetupWord(*rec, 28, 5);  // ignored, no write past the record
  SetPageSetupWord(*rec, kPsRecordCopies, 999);
  EXPECT_EQ(rec->RecordCopies, 999);
  FreePageSetup(rec);
}

TEST(PageSetup, LabelArrangementPairs) {
  PageSetupRec r{};
  SetLabelArrangement(r, 3, false);
  EXPECT_EQ(r.ExtraColumns, 2);
  EXPECT_EQ(r.RecordsAcross, 1);
  EXPECT_EQ(r.DownOrder, 0);
  EXPECT_EQ(LabelColumns(r), 3);
  SetLabelArrangement(r, 3, true);
  EXPECT_EQ(r.ExtraColumns, 0);
  EXPECT_EQ(r.RecordsAcross, 3);
  EXPECT_EQ(r.DownOrder, 1);
  EXPECT_EQ(LabelColumns(r), 3);
  SetLabelArrangement(r, 0, true);
  EXPECT_EQ(r.RecordsAcross, 1);
  // A damaged record never yields fewer than one column.
  r.DownOrder = 1;
  r.RecordsAcross = -4;
  EXPECT_EQ(LabelColumns(r), 1);
}

TEST(PageSetup, InvertedSwitchesAndWholeRecordCompare) {
  PageSetupRec a{}, b{};
  EXPECT_TRUE(CompressLinesShown(a));
  a.NoCompressLines = 1;
  a.NoBreakRecordArea = 1;
  EXPECT_FALSE(CompressLinesShown(a));
  EXPECT_FALSE(BreakRecordAreaShown(a));
  EXPECT_TRUE(SuppressRecordLinesShown(a));
  EXPECT_FALSE(PageSetupEqual(a, b));
  CopyPageSetup(b, a);
  EXPECT_TRUE(PageSetupEqual(a, b));
  b.word19 = 1;  // an unnamed word counts as a change as well
  EXPECT_FALSE(PageSetupEqual(a, b));
}

TEST(PageSetup, ByteFormRoundTripsAndRefusesShortInput) {
  PageSetupRec r{};
  for (int i = 0; i < kPageSetupWords; ++i) SetPageSetupWord(r, i, i * 1000 - 7);
  uint8_t bytes[kPageSetupBytes];
  EncodePageSetup(r, bytes);
  // Word 1 (TopMargin = 993) little-endian at offset 4; word 0 = -7.
  EXPECT_EQ(bytes[4], 0xE1);
  EXPECT_EQ(bytes[5], 0x03);
  EXPECT_EQ(bytes[0], 0xF9);
  EXPECT_EQ(bytes[3], 0xFF);
  PageSetupRec back{};
  ASSERT_TRUE(DecodePageSetup(bytes, sizeof bytes, &back));
  EXPECT_TRUE(PageSetupEqual(r, back));

  PageSetupRec untouched{};
  untouched.Copies = 42;
  EXPECT_FALSE(DecodePageSetup(bytes, kPageSetupBytes - 1, &untouched));
  EXPECT_FALSE(DecodePageSetup(nullptr, 200, &untouched));
  EXPECT_FALSE(DecodePageSetup(bytes, 0, &untouched));
  EXPECT_EQ(untouched.Copies, 42);
  EXPECT_EQ(untouched.PaperLength, 0);
}

}  // namespace
