#include "foundation/band_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

struct Host : BandLineHost {
  std::vector<int> itemLines;
  int scrollUpdates = 0;
  int orderBuilds = 0;
  void UpdateScrollBars() override { ++scrollUpdates; }
  void MoveItemsDown(int index) override {
    for (int& l : itemLines)
      if (l >= index) ++l;
  }
  void BuildItemOrder() override { ++orderBuilds; }
  bool ObjectExists(int32_t id) override { return id < 100; }
  bool IsBandFieldValid(int32_t id) override { return id != 7; }
  int32_t ReferredFieldOf(int32_t id) override { return id == 20 ? 3 : -1; }
};

class BandLines : public ::testing::Test {
 protected:
  void SetUp() override {
    t.lines = recs;
    t.host = &host;
    ClearBandLineTable(t);
  }
  // Adds a line of the kind where it belongs, as the designer does.
  void AddLine(BYTE kind) {
    int at = 0;
    FindBandLineRange(t, kind, &at, 1);
    ASSERT_EQ(InsertBandLineAt(t, at), 1);
    recs[at].kind = kind;
    recs[at].objectId = -1;
    RenumberBandLines(t);
  }
  std::vector<int> Kinds() const {
    std::vector<int> k;
    for (int i = 0; i < kBandLineCount && recs[i].kind != kBandFree; ++i) k.push_back(recs[i].kind);
    return k;
  }
  BandLineRec recs[kBandLineTableRecords];
  BandLineTable t;
  Host host;
};

TEST_F(BandLines, EmptyTableAndRenumbering) {
  RenumberBandLines(t);
  EXPECT_EQ(t.lastUsed, 0);
  for (int i = 0; i < 4; ++i) recs[i].kind = kBandRecord;
  RenumberBandLines(t);
  EXPECT_EQ(t.lastUsed, 3);
  EXPECT_EQ(host.scrollUpdates, 1);
  RenumberBandLines(t);
  EXPECT_EQ(host.scrollUpdates, 1) << "no update when nothing changed";
  for (int i = 0; i < kBandLineCount; ++i) recs[i].kind = kBandRecord;
  RenumberBandLines(t);
  EXPECT_EQ(t.lastUsed, 255);
}

TEST_F(BandLines, BandOrderHoldsWhateverOrderFootersArriveIn) {
  std::vector<int> expected = {5, 10, 20, 22, 27, 60, 77, 73, 72, 70, 110, 120};
  std::vector<BYTE> order = {60, 120, 70, 5, 72, 110, 27, 77, 10, 73, 22, 20};
  do {
    ClearBandLineTable(t);
    for (BYTE k : order) AddLine(k);
    ASSERT_EQ(Kinds(), expected);
  } while (std::next_permutation(order.begin() + 2, order.begin() + 6));
}

TEST_F(BandLines, FindRangeOfExistingKindAndInsertionPoints) {
  for (BYTE k : {10, 60, 60, 77, 70, 120}) AddLine(k);
  int at = -1;
  EXPECT_EQ(FindBandLineRange(t, 60, &at, 0), 1);
  EXPECT_EQ(at, 1);
  EXPECT_EQ(FindBandLineRange(t, 60, &at, 1), 1);
  EXPECT_EQ(at, 3);
  EXPECT_EQ(FindBandLineRange(t, 73, &at, 0), 0);
  EXPECT_EQ(at, 4) << "between the 77 and 70 footers";
  EXPECT_EQ(FindBandLineRange(t, 110, &at, 0), 0);
  EXPECT_EQ(at, 5);
  EXPECT_EQ(FindBandLineRange(t, 5, &at, 0), 0);
  EXPECT_EQ(at, 0);
  ClearBandLineTable(t);
  EXPECT_EQ(FindBandLineRange(t, 60, &at, 0), 0);
  EXPECT_EQ(at, 0);
}

TEST_F(BandLines, InsertAtMovesLaterItemsAndRecordsAndRefusesWhenFull) {
  for (int i = 0; i < 6; ++i) recs[i].kind = kBandRecord, recs[i].objectId = i;
  RenumberBandLines(t);
  host.itemLines = {3, 5};
  ASSERT_EQ(InsertBandLineAt(t, 4), 1);
  EXPECT_EQ(host.itemLines, (std::vector<int>{3, 6}));
  EXPECT_EQ(recs[5].objectId, 4);
  EXPECT_EQ(recs[6].objectId, 5);
  EXPECT_EQ(host.orderBuilds, 1);

  for (int i = 0; i < kBandLineCount; ++i) recs[i].kind = kBandRecord;
  recs[256].kind = kBandFree;
  RenumberBandLines(t);
  host.itemLines = {255};
  EXPECT_EQ(InsertBandLineAt(t, 10), 0);
  EXPECT_EQ(recs[256].kind, kBandFree) << "the spare record stays untouched";
  EXPECT_EQ(host.itemLines[0], 255);
}

TEST_F(BandLines, InsertBandLinesFillsFreeRecordsWithTheLastKind) {
  EXPECT_EQ(InsertBandLines(t, 10, 2), 1);
  EXPECT_EQ(Kinds(), (std::vector<int>{10, 10, 10}));
  EXPECT_EQ(t.lastUsed, 2);
  recs[2].objectId = 9;
  recs[2].kind = 60;
  EXPECT_EQ(InsertBandLines(t, 10, 4), 1);
  EXPECT_EQ(Kinds(), (std::vector<int>{10, 10, 60, 60, 60}));
  EXPECT_EQ(recs[4].objectId, -1);
  EXPECT_EQ(InsertBandLines(t, 10, 3), 0) << "nothing free below";
  EXPECT_EQ(InsertBandLines(t, 10, 300), 0);
}

TEST_F(BandLines, BandAtYAndClear) {
  const int bottoms[] = {19, 39, 59};
  for (int i = 0; i < 3; ++i) {
    recs[i].kind = kBandRecord;
    recs[i].pixelHeight = 19;
    recs[i].bottom = bottoms[i];
  }
  recs[0].bottom = 19;
  RenumberBandLines(t);
  EXPECT_EQ(BandAtY(t, 39), 1) << "on the bottom row";
  EXPECT_EQ(BandAtY(t, 40), 2);
  EXPECT_EQ(BandAtY(t, -5), 0);
  EXPECT_EQ(BandAtY(t, 60), 255);
  recs[1].flags = 1;
  recs[1].heightMode = 2;
  recs[1].height = 50;
  recs[1].objectId = 4;
  ClearBandLine(t, 1);
  EXPECT_EQ(recs[1].kind, kBandRecord);
  EXPECT_EQ(recs[1].objectId, -1);
  EXPECT_EQ(recs[1].flags + recs[1].heightMode + recs[1].height, 0u);
}

TEST_F(BandLines, ObjectQueriesLookOnlyAtUsedRecords) {
  recs[0].kind = kBandRecord;
  recs[0].objectId = 20;
  recs[1].kind = kBandRecord;
  recs[1].objectId = 5;
  recs[3].objectId = 7;  // beyond the used part
  RenumberBandLines(t);
  EXPECT_EQ(IsFieldOnBandLines(t, 5), 1);
  EXPECT_EQ(IsFieldOnBandLines(t, 7), 0);
  EXPECT_EQ(IsFieldOnBandLines(t, 3), 1) << "through the total-related field";
  EXPECT_EQ(IsFieldOnBandLines(t, 4), 0);
  EXPECT_EQ(ValidateBandLineObjects(t), 1);
  recs[1].objectId = 7;
  EXPECT_EQ(ValidateBandLineObjects(t), 0);
  recs[1].objectId = 107;  // gone objects are not checked
  EXPECT_EQ(ValidateBandLineObjects(t), 1);
}

}  // namespace
