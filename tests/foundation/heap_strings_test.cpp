#include "foundation/heap_strings.h"
#include "platform/win/heap.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(Heap, BlocksStartZeroAndGrowZeroFilled) {
  auto* p = static_cast<unsigned char*>(HeapAllocZero(0x42, 100));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(p[i], 0);
  EXPECT_EQ(HeapBlockSize(p), 100u);
  std::memset(p, 0xAB, 100);
  p = static_cast<unsigned char*>(HeapReAllocZero(p, 5000));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(HeapBlockSize(p), 5000u);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(p[i], 0xAB);
  for (int i = 100; i < 5000; ++i) ASSERT_EQ(p[i], 0);
  EXPECT_TRUE(HeapFreeBlock(p));
  EXPECT_TRUE(HeapFreeBlock(nullptr));
}

TEST(Heap, ZeroSizeIsUniqueAndFailedGrowthKeepsBlock) {
  void* a = HeapAllocZero(2, 0);
  void* b = HeapAllocZero(2, 0);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  auto* c = static_cast<char*>(HeapAllocZero(2, 8));
  std::strcpy(c, "keep");
  HeapFailAfter(1);
  EXPECT_EQ(HeapReAllocZero(c, 64), nullptr);
  EXPECT_STREQ(c, "keep");
  EXPECT_EQ(HeapBlockSize(c), 8u);
  HeapFreeBlock(a);
  HeapFreeBlock(b);
  HeapFreeBlock(c);
}

TEST(ResStrings, SlotsHoldTwoTextsAndMissingIdsAreEmpty) {
  char* a = GetResString(610, 0);
  char* b = GetResString(619, 1);
  EXPECT_STREQ(a, "Value(s) not in range");
  EXPECT_STREQ(b, "Insufficient memory");
  EXPECT_STREQ(GetResString(1, 0), "");
  EXPECT_EQ(GetResString(619, 7), ResStringSlot(0));
}

TEST(ResStrings, CountRepeatRun) {
  EXPECT_EQ(CountRepeatRun("YYYY-MM"), 4);
  EXPECT_EQ(CountRepeatRun("Y"), 1);
  EXPECT_EQ(CountRepeatRun(""), 1);
}
