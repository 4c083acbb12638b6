// The page set-up record (PageSetupRec, 28 words) as the document keeps it:
// allocation, whole-record copy and compare, the label arrangement, and the
// record's 112-byte little-endian form.
#pragma once

#include "foundation/page_metrics.h"

#include <cstddef>
#include <cstdint>

constexpr int kPageSetupWords = 28;
constexpr size_t kPageSetupBytes = kPageSetupWords * 4;

// Word indexes (the record's order).
enum PageSetupWord : int {
  kPsPaperLength = 0, kPsTopMargin = 1, kPsBottomMargin = 2, kPsRightMargin = 3, kPsLeftMargin = 4,
  kPsRecordWidth = 5, kPsRecordHeight = 6, kPsNoCompressLines = 7, kPsCopies = 9,
  kPsNoSuppressRecordLines = 10, kPsLandscape = 11, kPsCollate = 13, kPsExtraColumns = 14,
  kPsOutputDestination = 15, kPsNoLineSwitch = 18, kPsPaperWidth = 20, kPsRecordCopies = 22,
  kPsNoHeadFootInSummary = 23, kPsNoBreakRecordArea = 24, kPsPaperSource = 25, kPsRecordsAcross = 26,
  kPsDownOrder = 27
};

constexpr int32_t kOutputToPrinter = 0;
constexpr int32_t kOutputToFile = 2;

// Zero-filled, as the document makes it at start-up; null when out of memory.
// Where every page's first line begins: the page set-up's top margin in
// 1/720 inch; 0 without a page set-up.
int32_t TopMargin720(const KmDocBase& doc);
PageSetupRec* AllocPageSetup();
void FreePageSetup(PageSetupRec* rec);

// Word i (0-27) of the record; any other index reads 0 and writes nothing.
int32_t GetPageSetupWord(const PageSetupRec& rec, int i);
void SetPageSetupWord(PageSetupRec& rec, int i, int32_t value);

bool PageSetupEqual(const PageSetupRec& a, const PageSetupRec& b);
void CopyPageSetup(PageSetupRec& to, const PageSetupRec& from);

// The only writer of ExtraColumns, RecordsAcross and DownOrder: across order
// gives (columns - 1, 1, 0), down order (0, columns, 1). Fewer than one
// column counts as one.
void SetLabelArrangement(PageSetupRec& rec, int columns, bool downOrder);
// The column count the user sees.
int LabelColumns(const PageSetupRec& rec);

// The stored switches are inverted (1 = off); these give what a dialog shows.
inline bool CompressLinesShown(const PageSetupRec& r) { return r.NoCompressLines == 0; }
inline bool SuppressRecordLinesShown(const PageSetupRec& r) { return r.NoSuppressRecordLines == 0; }
inline bool HeadFootInSummaryShown(const PageSetupRec& r) { return r.NoHeadFootInSummary == 0; }
inline bool BreakRecordAreaShown(const PageSetupRec& r) { return r.NoBreakRecordArea == 0; }

// 112 bytes, word by word, little-endian.
void EncodePageSetup(const PageSetupRec& rec, uint8_t out[kPageSetupBytes]);
// False (the record untouched) when fewer than 112 bytes are given.
bool DecodePageSetup(const uint8_t* data, size_t length, PageSetupRec* rec);
