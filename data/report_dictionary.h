// The report dictionary: an optional dBASE table (with its memo file and an
// xBase index) in which an administrator describes the tables and fields
// reports may use: a description for each field, a security level, hide
// switches and formulas that become calculated fields. Opening a table
// merges its entries into the table's new fields. Only read, never written.
#pragma once

#include <cstdint>
#include <string>

class CKmComposite;
struct FieldDef;

// The nine columns, in the order of the settings' role names.
enum DictionaryRole {
  kDictTableName = 0,
  kDictFieldName,
  kDictSecurity,
  kDictComment,
  kDictExtended,
  kDictFormula,
  kDictFieldHide,
  kDictFilterHide,
  kDictInsertHide,
  kDictRoleCount
};

// The program-wide switches of the dictionary.
struct ReportDictionarySwitches {
  bool messageShown = false;      // at most one dictionary message per run
  bool suspended = false;         // the merge does nothing
  bool globalsSuppressed = false; // global entries are not added (a table is being replaced)
};
ReportDictionarySwitches& DictionarySwitches();

// What one dictionary record yields.
struct DictionaryEntry {
  std::string comment;
  std::string fieldPart;
  bool extended = false, fieldHide = false, filterHide = false, insertHide = false;
  int32_t security = 0;
  uint32_t formulaBlock = 0;
};

// The merge: entries of the fields from *listHead on (the fields just made
// for the table in slotNumber, named tableName in expressions) are merged
// into them; the table's formulas, and for slot 0 the global ones, become
// calculated fields. A field hidden by the dictionary is deleted (*listHead
// moves on when it was the first). reading: a report definition is being
// read, so the field order is left to the reader. 0, or 1 when the
// dictionary or its index is unusable.
int ReadReportDictionary(CKmComposite* m, FieldDef** listHead, const char* tableName, uint32_t slotNumber,
                         bool reading);
// A report whose master is an SQL statement takes the global formula
// entries only: its result columns belong to no table of the dictionary.
int LoadReportDictionary(CKmComposite* m, bool reading);
// The fields the dependency ordering could not place, from field along
// their chain, lose their compiled code: each must be edited before a run.
void DropUnorderedFieldCode(FieldDef* field);
// The description a field list shows for a field: the report dictionary's
// comment of a table column, or the description the user gave a calculated
// field; empty when it has none.
const char* GetFieldDescription(const FieldDef* field);

// The dictionary key: table part padded to len1, field part padded to
// len2, upper-cased. The table part is tableText, or when null the short
// name of the slot's table.
std::string BuildDictionaryKey(CKmComposite* m, int32_t slotNumber, const char* fieldPart, const char* tableText,
                               int32_t len1, int32_t len2);
