#include "foundation/units.h"

#include <gtest/gtest.h>

TEST(Units, HorizontalConversionsAndPapers) {
  EXPECT_EQ(ConvertMeasure(850, kMeasureTenthsMm, kMeasureHundredths, 10, 0), 2159u);
  EXPECT_EQ(ConvertMeasure(2159, kMeasureHundredths, kMeasureTenthsMm, 10, 0), 850u);
  EXPECT_EQ(ConvertMeasure(4, kMeasureHundredths, kPaperLetter, 10, 1), 1100u);
  EXPECT_EQ(ConvertMeasure(4, kMeasureHundredths, kPaperLetter, 10, 0), 850u);
  EXPECT_EQ(ConvertMeasure(0, kMeasureTenthsMm, kPaperA4, 10, 0), 2100u);
  EXPECT_EQ(ConvertMeasure(0, kMeasureChars, kPaperLetter, 10, 0), 85u);
  // Characters at a pitch, and pitch 0 read as 10.
  EXPECT_EQ(ConvertMeasure(850, kMeasureChars, kMeasureHundredths, 12, 0), 102u);
  EXPECT_EQ(ConvertMeasure(85, kMeasureHundredths, kMeasureChars, 0, 0), 850u);
  EXPECT_EQ(ConvertMeasure(85, kMeasureTenthsMm, kMeasureChars, 10, 0), 2159u);
  EXPECT_EQ(ConvertMeasure(2159, kMeasureChars, kMeasureTenthsMm, 10, 0), 85u);
  // 16-bit extremes do not wrap inside the arithmetic.
  EXPECT_EQ(ConvertMeasure(65535, kMeasureTenthsMm, kMeasureHundredths, 10, 0), 166459u);
  EXPECT_EQ(ConvertMeasure(65535, kMeasureHundredths, kMeasureChars, 255, 0), 25700u);
  EXPECT_EQ(ConvertMeasure(123, kMeasureHundredths, kMeasureHundredths, 10, 0), 123u);
  EXPECT_EQ(ConvertMeasure(123, 9, kMeasureHundredths, 10, 0), 123u);
}

TEST(Units, VerticalConversionsWithCaps) {
  EXPECT_EQ(ConvertVertMeasure(66, kVertHundredths, kVertLines, 0), 1100u);
  EXPECT_EQ(ConvertVertMeasure(1000, kVert720, kVertHundredths, 0), 7200u);
  EXPECT_EQ(ConvertVertMeasure(10000, kVert720, kVertHundredths, 0), 65535u);
  EXPECT_EQ(ConvertVertMeasure(65535, kVertHundredths, kVertLines, 0), 65535u);
  EXPECT_EQ(ConvertVertMeasure(7200, kVertHundredths, kVert720, 0), 1000u);
  EXPECT_EQ(ConvertVertMeasure(1100, kVertLines, kVertHundredths, 0), 66u);
  EXPECT_EQ(ConvertVertMeasure(2794, kVertHundredths, kVertTenthsMm, 0), 1100u);
  EXPECT_EQ(ConvertVertMeasure(1100, kVertTenthsMm, kVertHundredths, 0), 2794u);
  EXPECT_EQ(ConvertVertMeasure(0, kVertHundredths, kPaperLegal, 0), 1400u);
  EXPECT_EQ(ConvertVertMeasure(0, kVertHundredths, kPaperLegal, 1), 850u);
  EXPECT_EQ(ConvertVertMeasure(0, kVertTenthsMm, kPaperA4, 0), 2970u);
  EXPECT_EQ(ConvertVertMeasure(0, kVertLines, kPaperLetter, 0), 66u);
  EXPECT_EQ(ConvertVertMeasure(5, kPaperExecutive, kVertTenthsMm, 0), 1050u);
  EXPECT_EQ(ConvertVertMeasure(5, kPaperExecutive, kVertTenthsMm, 1), 725u);
}

TEST(Units, CellsLinesAndSnapping) {
  LayoutMetrics m;
  EXPECT_EQ(CharCellWidth(m, 1), 10);
  EXPECT_EQ(CharCellWidth(m, 254), 2540);
  LayoutMetrics m120{120, 120, 12, 6, true, false};
  EXPECT_EQ(CharCellWidth(m120, 1), 10);
  LayoutMetrics m12{96, 96, 12, 6, true, false};
  EXPECT_EQ(CharCellWidth(m12, 1), 8);
  EXPECT_EQ(PixelsToChars(m, 95), 9u);
  EXPECT_EQ(SnapToCharCell(m, 14), 10);
  EXPECT_EQ(SnapToCharCell(m, 15), 10);  // half a cell rounds down
  EXPECT_EQ(SnapToCharCell(m, 16), 20);
  EXPECT_EQ(LineHeightPixels(m), 16);
  EXPECT_EQ(RoundUpToLine(m, 17), 32);
  EXPECT_EQ(RoundUpToLine(m, 32), 32);
  LayoutMetrics loose = m;
  loose.snapping = false;
  EXPECT_EQ(RoundUpToLine(loose, 17), 17);
  EXPECT_EQ(PixelsTo720(m, 96), 720);
  EXPECT_EQ(HundredthsToPixelsX(m, 850), 816);
  EXPECT_EQ(PixelsToMeasureY(m, 96), 100u);
  LayoutMetrics metric = m;
  metric.metric = true;
  EXPECT_EQ(PixelsToMeasureY(metric, 96), 254u);
  // On the character grid a 10-pixel cell is a tenth of an inch: 100 pixels make an inch.
  EXPECT_EQ(PixelsToMeasure(m, 100), 100u);
  EXPECT_EQ(PixelsToMeasure(m, 96), 96u);
  EXPECT_EQ(PixelsToDisplayUnits(loose, 2, 96), 100u);
  EXPECT_EQ(PixelsToDisplayUnits(loose, 1, 96), 720u);
  EXPECT_EQ(PixelsToDisplayUnits(m, 0, 96), 100u);
  EXPECT_EQ(PixelsToDisplayUnits(m, 1, 96), 720u);
  EXPECT_EQ(MeasureToPixelsY(m, 100, 0), 96);
  EXPECT_EQ(MeasureToPixelsY(m, 720, 1), 96);
  EXPECT_EQ(MeasureToPixelsY(metric, 254, 0), 96);
}

TEST(Units, ZeroPitchOrLineRateFromSettingsNeverDividesByZero) {
  LayoutMetrics zero{96, 96, 0, 0, true, false};
  EXPECT_EQ(CharCellWidth(zero, 1), 10);
  EXPECT_EQ(LineHeightPixels(zero), 10);
  // A pitch far above the resolution makes the cell divisor 0 without the guard.
  LayoutMetrics wide{96, 96, 255, 6, true, false};
  EXPECT_EQ(CharCellWidth(wide, 1), 1);
  EXPECT_EQ(PixelsToChars(wide, 50), 50u);
  EXPECT_EQ(SnapToCharCell(wide, 7), 7);
  LayoutMetrics nodpi{0, 0, 10, 6, true, false};
  EXPECT_EQ(PixelsTo720(nodpi, 5), 3600);
  EXPECT_GE(PixelsToMeasure(nodpi, 5), 0u);
}

TEST(Units, BandLineRaster) {
  // Band from 100 to 148, lines of 16: steps 100-116, 116-132, 132-148.
  EXPECT_EQ(LineTopInBand(148, 48, 16, 120), 116);
  EXPECT_EQ(LineTopInBand(148, 48, 16, 116), 100);  // ends included: the first step holding it
  EXPECT_EQ(NearestLineInBand(148, 48, 16, 123), 116);
  EXPECT_EQ(NearestLineInBand(148, 48, 16, 125), 132);
  EXPECT_EQ(NearestLineInBand(148, 48, 16, 124), 116);  // a tie goes to the upper end
  EXPECT_EQ(LineTopInBand(148, 48, 16, 40), 148);
  EXPECT_EQ(NearestLineInBand(148, 48, 0, 120), 148);
}
