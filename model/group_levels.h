// Group levels and the totals key table: the check that sort fields, group
// fields and pre-processed totals agree, the keys the totals are sorted by,
// and the iteration over the levels that break.
#pragma once

#include <cstdint>
#include <string>

class CKmComposite;
struct FieldDef;

constexpr int kMaxGroupLevels = 8;
constexpr int kKeyLevels = 9;  // the report (0) and the 8 group levels

// One total of a level as stored in the totals file.
struct TotalNode {
  FieldDef* field = nullptr;
  TotalNode* next = nullptr;
  uint16_t storedLength = 0;
};

// One level of the totals key table.
struct SortKeyDef {
  FieldDef* key1 = nullptr;
  uint16_t sortLength1 = 0;
  uint16_t storedLength1 = 0;  // 0: not stored
  FieldDef* key2 = nullptr;
  uint16_t sortLength2 = 0;
  uint16_t storedLength2 = 0;
  uint8_t flags = 0;  // bit 0: the second key is stored but not sorted on
  TotalNode* chain = nullptr;
  uint32_t position = 0xFFFFFFFFu;  // of the level's last record in the totals file
};

// The table hangs from the model (sortKeyTable); keyLevels is the last key level.
struct SortKeyTable {
  SortKeyDef entries[kKeyLevels];
  uint32_t keyLevels = 0;
};

// The document's group and sort settings.
struct GroupLevelSpec {
  uint32_t field = 0xFFFFFFFFu;  // all ones: unused, ends the list
  uint16_t flags = 0;            // bit 0: the level breaks
};
struct GroupSetup {
  GroupLevelSpec levels[kMaxGroupLevels];
  uint32_t sortFields[kMaxGroupLevels] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu,
                                         0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
  uint16_t directions[kMaxGroupLevels] = {};
  int recordLimit = 0;     // the data layer's record limit is set
  int alwaysPreFetch = 0;  // the data source always pre-fetches
  int totalsSorted = 0;
  int totalsSortNeeded = 0;
};

// Bit 0 of a sort slot's word: the slot sorts descending (0, as older
// reports stored it, is ascending).
constexpr uint16_t kSortDescending = 1;
inline uint16_t SortSlotAscending(uint16_t sortWord) { return (sortWord & kSortDescending) ? 0 : 1; }
// The model's group levels and sort slots with their directions.
GroupSetup ModelGroupSetup(const CKmComposite* model);

// Fills keys (9, null ended) and kinds (direction, or 1 for a group key).
// 1 on a conflict (model->lastEngineError 3190, 3192, 3198 or 3199), -2 when
// the totals must be sorted in the program, -1 when not.
int CheckSortAndGroupFields(CKmComposite* model, GroupSetup& setup, FieldDef* keys[kKeyLevels],
                            uint32_t kinds[kKeyLevels]);
// Runs the check; when the totals must be sorted in the program, marks it
// and shows the progress phase. The check's result.
int CheckSortForTotals(CKmComposite* model, GroupSetup& setup, FieldDef* keys[kKeyLevels],
                       uint32_t kinds[kKeyLevels]);
// Evaluates again the needed calculations resting on totals: the running
// chain, the level chains 7 down to 0 and the report chain.
void RecalculateTotalChains(CKmComposite* model);

// Sorts the groups of the open totals file by the keys of levels 1 to the
// last key level into a totals index of 32-bit record positions (for each
// group, those of the levels from the first one that changed). ascending:
// one word per key, null all ascending. 0 with indexName set (no keys: the
// totals file is rewound, no index); 3188 when the sort fails.
int SortTotals(CKmComposite* model, const uint32_t* ascending, std::string* indexName);

// The total a total or total-related field rests on (following refField), or null.
FieldDef* RootTotal(CKmComposite* model, FieldDef* field);
