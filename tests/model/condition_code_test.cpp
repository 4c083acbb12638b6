// The condition-code layout against bytes written out by hand: report files
// hold this code, so a changed size or order must fail here.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "expr/calendar.h"
#include "core/condition_code.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Written(size_t (*put)(uint8_t*)) {
  uint8_t buf[32] = {};
  return Bytes(buf, buf + put(buf));
}

TEST(ConditionCode, WritersGiveTheStoredBytes) {
  EXPECT_EQ(Written([](uint8_t* o) { return PutConditionField(o, 0x01020304u); }),
            (Bytes{0x20, 0x04, 0x03, 0x02, 0x01}));
  EXPECT_EQ(Written([](uint8_t* o) { return PutConditionNumber(o, 1.0); }),
            (Bytes{0x23, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
  EXPECT_EQ(Written([](uint8_t* o) { return PutConditionDate(o, 0x80000001u); }),
            (Bytes{0x24, 0x01, 0, 0, 0x80}));
  EXPECT_EQ(Written([](uint8_t* o) { return PutConditionLogical(o, 1); }), (Bytes{0x25, 1}));
  EXPECT_EQ(Written([](uint8_t* o) { return PutConditionDateTime(o, 2, -2.0); }),
            (Bytes{0x30, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xC0}));
  EXPECT_EQ(Written([](uint8_t* o) { return PutConditionTime(o, 0.5); }),
            (Bytes{0x31, 0, 0, 0, 0, 0, 0, 0xE0, 0x3F}));
}

TEST(ConditionCode, ReadersTakeWhatTheWritersPut) {
  uint8_t t[16];
  PutConditionDateTime(t, 0x7FFF0101u, kNullNumber);
  EXPECT_EQ(ConditionDay(t), 0x7FFF0101u);
  EXPECT_EQ(ConditionDateTimeTime(t), kNullNumber);
  EXPECT_EQ(ConditionTokenSize(t, t + sizeof t), kCondDateTimeSize);
  PutConditionField(t, 7);
  SetConditionFieldNumber(t, 0xFFFFFFFFu);
  EXPECT_EQ(ConditionFieldNumber(t), 0xFFFFFFFFu);
  EXPECT_EQ(t[0], kCondField);
  PutConditionNumber(t, -3.25);
  EXPECT_EQ(ConditionNumber(t), -3.25);
  const uint8_t text[] = {kCondText2, 'a', 'b', 0, 0x2A};
  const size_t n = ConditionTokenSize(text, text + sizeof text);
  EXPECT_EQ(n, 4u);
  EXPECT_EQ(ConditionTextLength(n), 2u);
  EXPECT_STREQ(ConditionText(text), "ab");
}

TEST(ConditionCode, TokenSizesStopAtTheEnd) {
  const uint8_t field[] = {kCondField, 1, 0, 0, 0};
  EXPECT_EQ(ConditionTokenSize(field, field + 5), 5u);
  EXPECT_EQ(ConditionTokenSize(field, field + 4), 0u);
  EXPECT_EQ(ConditionTokenSize(field, field), 0u);
  const uint8_t text[] = {kCondText, 'x', 'y'};  // no NUL before the end
  EXPECT_EQ(ConditionTokenSize(text, text + 3), 0u);
  EXPECT_EQ(ConditionTokenSize(text, text + 1), 0u);
  const uint8_t ops[] = {kCondAnd, kCondOpen, kCondEndMark, kCondGreater};
  for (size_t i = 0; i < sizeof ops; ++i) EXPECT_EQ(ConditionTokenSize(ops + i, ops + sizeof ops), 1u);
  EXPECT_EQ(kCondLongestFixedToken, 13u);
  EXPECT_EQ(ConditionTextSize(5), 7u);
}

TEST(ConditionCode, LengthsOneOrTwoBytes) {
  const size_t lengths[] = {0, 0x7F, 0x80, 0x1234, kCondMaxLength};
  const Bytes expected[] = {{0x00}, {0x7F}, {0x80, 0x80}, {0x92, 0x34}, {0xFF, 0xFF}};
  for (size_t i = 0; i < 5; ++i) {
    uint8_t buf[2] = {};
    const size_t w = PutConditionLength(buf, lengths[i]);
    EXPECT_EQ(Bytes(buf, buf + w), expected[i]) << lengths[i];
    EXPECT_EQ(ConditionLengthBytes(lengths[i]), w);
    const uint8_t* p = buf;
    EXPECT_EQ(ReadConditionLength(p), lengths[i]);
    EXPECT_EQ(p, buf + w);
  }
  // A two-byte length cut at the end of the code is refused, not read past.
  const uint8_t cut[] = {0x92};
  const uint8_t* p = cut;
  size_t n = 0;
  EXPECT_FALSE(ReadConditionLength(p, cut + 1, &n));
  EXPECT_EQ(p, cut);
}

TEST(ConditionCode, ByteClasses) {
  for (uint8_t b : {kCondField, kCondText, kCondNumber, kCondDate, kCondLogical, kCondText2, kCondDateTime, kCondTime})
    EXPECT_TRUE(IsConditionOperand(b)) << int(b);
  for (uint8_t b : {uint8_t{0x21}, kCondEndMark, uint8_t{kCondAnd}, uint8_t{kCondOpen}, uint8_t{kCondEqual}})
    EXPECT_FALSE(IsConditionOperand(b)) << int(b);
  EXPECT_TRUE(IsConditionComparison(kCondEqual));
  EXPECT_TRUE(IsConditionComparison(kCondIsNotNull));
  EXPECT_FALSE(IsConditionComparison(kCondEnd));
  EXPECT_FALSE(IsConditionComparison(kCondAnd));
  EXPECT_TRUE(HasConditionLength(kCondOr) && HasConditionLength(kCondNoneOf));
  EXPECT_FALSE(HasConditionLength(kCondBetween));
}

}  // namespace
