// The layout's band-line table: 256 usable records (and one spare the
// relayout fills) ordered from the top of the report down. Free records carry
// kind 255 and follow the used ones. These helpers find, insert, clear and
// check records; the designer edits lines itself.
#pragma once

#include "platform/win/win_types.h"

#include <cstdint>

constexpr BYTE kBandFree = 255;
constexpr BYTE kBandTitle = 5;
constexpr BYTE kBandPageHeader = 10;
constexpr BYTE kBandGroupHeader = 20;  // 20 to 27 by level
constexpr BYTE kBandRecord = 60;
constexpr BYTE kBandGroupFooter = 70;  // 70 to 77 by level
constexpr BYTE kBandSummary = 110;
constexpr BYTE kBandPageFooter = 120;

constexpr int kBandLineCount = 256;       // usable records
constexpr int kBandLineTableRecords = 257;

// Kept naturally aligned in memory (the report file writes its 25 bytes field
// by field), so callers may take references to its members.
struct BandLineRec {
  BYTE kind;            // BandKind; 255 free
  int32_t objectId;     // the logical field deciding whether the line prints; -1 none
  BYTE flags;           // 1 new page, 4 marked, 8 print when false
  BYTE reserved;
  BYTE savedIndex;
  BYTE heightMode;      // 0 automatic, 1 tenths of a point, 2 the report's measure
  uint32_t height;      // explicit height in the mode's unit (low 16 bits used)
  int32_t pixelHeight;  // computed
  int32_t baseline;     // computed
  int32_t bottom;       // computed: last pixel row of the line, inclusive
};
constexpr DWORD kBandLineTableBytes = kBandLineTableRecords * sizeof(BandLineRec);

// What the table operations need from the layout and the model.
class BandLineHost {
 public:
  virtual ~BandLineHost() = default;
  virtual void UpdateScrollBars() {}
  // Every layout item on a band line at or below index moves one line down.
  virtual void MoveItemsDown(int /*index*/) {}
  virtual void BuildItemOrder() {}
  virtual bool ObjectExists(int32_t /*id*/) { return false; }
  virtual bool IsBandFieldValid(int32_t /*id*/) { return true; }
  // The field a total-related field refers to, or -1 when id is no such field.
  virtual int32_t ReferredFieldOf(int32_t /*id*/) { return -1; }
};

struct BandLineTable {
  BandLineRec* lines = nullptr;  // kBandLineTableRecords records
  int lastUsed = 0;
  BandLineHost* host = nullptr;  // may be null
};

// Marks every record free (kind 255, no object).
void ClearBandLineTable(BandLineTable& t);
void RenumberBandLines(BandLineTable& t);
void ClearBandLine(BandLineTable& t, int index);
int InsertBandLines(BandLineTable& t, BYTE kind, int upTo);
// 1 with the first record of the kind (toEnd: just after its last), else 0
// with the place where a new line of that kind belongs.
int FindBandLineRange(const BandLineTable& t, BYTE kind, int* index, int toEnd);
// Opens a place at index; 0 (nothing moved) when the table is full.
int InsertBandLineAt(BandLineTable& t, int index);
int BandAtY(const BandLineTable& t, int y);
int IsFieldOnBandLines(const BandLineTable& t, int32_t id);
int ValidateBandLineObjects(const BandLineTable& t);

// The band-flag mask of a stored band word (its low three bits, reordered).
int GetBandFlagMask(int v);
