#include "engine/output_units.h"

#include <gtest/gtest.h>

namespace {

OutputUnits Units(LONG lpi = 6, LONG pitch = 10) {
  OutputUnits u;
  u.printerX = 600;
  u.printerY = 600;
  u.layout.linesPerInch = lpi;
  u.layout.pitch = pitch;
  return u;
}

TEST(OutputUnits, RoundingOfTheDocumentedCases) {
  OutputUnits u = Units();
  EXPECT_EQ(PixelsToDecipointsYUp(u, 1), 8);
  EXPECT_EQ(PixelsToDecipointsY(u, 1), 8);  // 7.5 rounded
  EXPECT_EQ(ToDeviceX(u, 100), 96);         // cell 10 pixels: 100 a inch
  EXPECT_EQ(ScreenToPrinterX(u, 96), 600);
  EXPECT_EQ(DecipointsToPrinterY(u, 720), 600);
  EXPECT_EQ(ObjectToDeviceX(DeviceXScale(u), 100, 5), 101);
  // 6 and 8 lines per inch convert one to one; 7 shrinks by 96/98.
  EXPECT_EQ(LayoutToScreenY(Units(6), 160), 160);
  EXPECT_EQ(LayoutToScreenY(Units(8), 120), 120);
  EXPECT_EQ(LayoutToScreenY(Units(7), 98), 96);
  EXPECT_EQ(LayoutToScreenYUp(Units(7), 1), 1);
  EXPECT_EQ(LayoutToScreenY(Units(7), 1), 1);
  EXPECT_EQ(LayoutToScreenYMulDiv(Units(7), 49), 48);
}

TEST(OutputUnits, ArgumentsAreSixteenBitAndZeroDivisorsAnswerZero) {
  OutputUnits u = Units();
  EXPECT_EQ(ScreenToPrinterX(u, 65536 + 96), 600);
  EXPECT_EQ(PixelsToDecipointsYUp(u, 0x12340001), 8);
  // A pitch or line rate of 0 counts as 10, as on the layout grid.
  EXPECT_EQ(ToDeviceX(Units(6, 0), 100), ToDeviceX(Units(6, 10), 100));
  EXPECT_EQ(LayoutToScreenY(Units(0), 100), LayoutToScreenY(Units(10), 100));
  OutputUnits zero = Units();
  zero.layout.dpiX = 0;
  zero.layout.dpiY = 0;
  EXPECT_EQ(ToDeviceX(zero, 100), 0);
  EXPECT_EQ(LayoutToScreenYUp(zero, 100), 0);
  EXPECT_EQ(PixelsToDecipointsY(zero, 100), 0);
  EXPECT_EQ(PixelsToDecipointsYUp(zero, 100), 0);
  EXPECT_EQ(ScreenToPrinterY(zero, 100), 0);
}

TEST(OutputUnits, DistanceToLineBottomDefaults) {
  OutputUnits u = Units();
  EXPECT_EQ(DistanceToLineBottom(u, 32, 16, 24, 120), 60);
  EXPECT_EQ(DistanceToLineBottom(u, 32, 16, 24, 0), 60);   // 120 units a line
  EXPECT_EQ(DistanceToLineBottom(u, 32, 0, 24, 120), 60);  // a sixth of an inch
  EXPECT_EQ(DistanceToLineBottom(u, 20, 16, 24, 120), 0);  // never negative
}

}  // namespace
