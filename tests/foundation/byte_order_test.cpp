#include "foundation/byte_order.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <vector>

// Doubles are stored low byte first, as report files and value buffers hold them.
TEST(ByteOrder, DoublesLowByteFirst) {
  uint8_t b[10] = {};
  PutF64(b + 1, 1.0);  // unaligned
  EXPECT_EQ(std::vector<uint8_t>(b, b + 10), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F, 0}));
  EXPECT_EQ(GetF64(b + 1), 1.0);
  for (double v : {-DBL_MAX, -0.0, 86399999999.0, DBL_MIN}) {
    PutF64(b, v);
    const double back = GetF64(b);
    EXPECT_EQ(back, v);
    EXPECT_EQ(std::signbit(back), std::signbit(v));
  }
  const uint8_t nullNumber[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xEF, 0xFF};
  EXPECT_EQ(GetF64(nullNumber), -DBL_MAX);
}
