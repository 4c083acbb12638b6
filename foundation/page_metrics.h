// The report's page set-up record and the page values derived from it.
#pragma once

#include "platform/win/win_types.h"

#include <cstddef>
#include <cstdint>

class KmDocBase;

// 28 words; lengths in the report's measure unless said otherwise.
struct PageSetupRec {
  int32_t PaperLength;  // tenths of a millimetre
  int32_t TopMargin;
  int32_t BottomMargin;
  int32_t RightMargin;
  int32_t LeftMargin;
  int32_t RecordWidth;
  int32_t RecordHeight;
  int32_t NoCompressLines;
  int32_t word8;
  int32_t Copies;
  int32_t NoSuppressRecordLines;
  int32_t Landscape;
  int32_t word12;
  int32_t Collate;
  int32_t ExtraColumns;
  int32_t OutputDestination;
  int32_t word16;
  int32_t word17;
  int32_t NoLineSwitch;
  int32_t word19;
  int32_t PaperWidth;  // tenths of a millimetre
  int32_t word21;
  int32_t RecordCopies;
  int32_t NoHeadFootInSummary;
  int32_t NoBreakRecordArea;
  int32_t PaperSource;
  int32_t RecordsAcross;
  int32_t DownOrder;
};
static_assert(sizeof(PageSetupRec) == 112, "the page set-up record is 28 words");

// Values the document derives from the page set-up.
struct PageMetrics {
  int32_t pageHeight720 = 0;  // 1/720 inch
  int32_t pageWidth720 = 0;
  int32_t bottomMargin720 = 0;
  int32_t printableWidth = 0;  // characters at the ruler pitch
  int32_t pageWidthPixels = 0;
};

// The page's sizes (1/720 inch and screen pixels), its bottom margin and its
// printable width from the page set-up; nothing without one.
void CalcPageSizes(KmDocBase& doc);
// The paper width less both margins, in characters at the ruler pitch; never
// below 0 when the margins pass the page.
int CalcPrintableWidth(KmDocBase& doc);
// A label's pitch from the page set-up: the height every record takes
// (1/720 inch) and the width of one record (hundredths of an inch); 0 when
// not set.
int32_t RecordPitch720(const KmDocBase& doc);
int32_t RecordWidthHundredths(const KmDocBase& doc);
// The page set-up's left margin in hundredths of an inch; 0 without one.
int32_t LeftMarginHundredths(const KmDocBase& doc);

// A change of the document's measurement system (1 inches, 0 metric); each
// does nothing when the systems are equal. The page set-up's margins and
// record size:
void ConvertMarginUnits(KmDocBase& doc, int oldSystem, int newSystem);
// Band lines of a height in the report's measure (mode 2 and above) convert
// that height and recompute their pixels.
void ConvertBandLineUnits(KmDocBase& doc, int oldSystem, int newSystem);
// Gives a band line a fixed height of pixels, kept in display units.
void SetBandLineHeight(KmDocBase& doc, int line, int pixels);

