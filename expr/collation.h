// String comparison for the whole program: the comparison switches, the
// sort-order file kmw.srt with its collation rules for characters 128-255, the
// four comparison callbacks and wildcard matching. Texts are Windows-1252.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// ---- Windows-1252 character classes (the program's case rules) ----
unsigned char CharLowerByte(unsigned char c);
unsigned char CharUpperByte(unsigned char c);
bool IsCharLowerByte(unsigned char c);
bool IsCharUpperByte(unsigned char c);
bool IsCharAlphaByte(unsigned char c);
void CharLowerInPlace(char* text);
void CharUpperInPlace(char* text);
// One byte of the OEM code page (850) in Windows-1252; characters with no
// counterpart become '?', line drawing becomes '+', '-' or '|'.
unsigned char OemByteToAnsi(unsigned char c);

// ---- Comparison switches of the report model ----
struct CollationSwitches {
  int32_t IdenticalCompare = 0;     // COMPARISONS: 0 approximate, 1 identical
  int32_t CompareCaseCombined = 0;  // COMPARECASE: 1 folds case in comparisons
  int32_t SortCaseCombined = 0;     // SORTCASE: 1 folds case in sorting
  int32_t SpaceDotChar = 183;       // the pad character standing for a kept blank
};

constexpr int kMaxSortRules = 128;

// The collation rule tables of the document. Entry 0 of every table is blanks
// and never matched; counts are rules + 1.
struct SortOrderTables {
  unsigned char multiWildcard = '%';
  unsigned char singleWildcard = '_';
  unsigned char escapeChar = 0;
  int32_t rulesInstalled = 0;
  uint8_t expansionLowerCount = 1, equivalenceLowerCount = 1, inequalityLowerCount = 1;
  uint8_t expansionCount = 1, equivalenceCount = 1, inequalityCount = 1;
  unsigned char equivalence[kMaxSortRules + 1][2] = {};
  unsigned char expansion[kMaxSortRules + 1][3] = {};
  unsigned char inequality[kMaxSortRules + 1][2] = {};
  int32_t comparisonsUses = 0, caseUses = 0, sortCaseUses = 0, srtCharsUses = 0, compareCaseUses = 0;
  int32_t ansiFlag = 0;
  int32_t spaceDotUses = 0;

  // Index of each character in each table, searched over the whole table
  // ([0]) or only over the lower-case block ([1], used when case is folded);
  // built from the tables so that a look-up costs nothing.
  uint8_t equivalenceIndex[2][256] = {};
  uint8_t expansionIndex[2][256] = {};
  uint8_t inequalityIndex[2][256] = {};

  void BuildIndexes();
};

// ---- The comparison callbacks ----
struct CompareCallbackTable {
  int (*CompareText)(const char* a, const char* b, int identical, int casefold);
  int (*CompareFirstChar)(const unsigned char** a, const unsigned char** b);
  int (*CompareSortText)(const char* a, const char* b);
  int (*CompareFixedText)(const char* a, const char* b, int n, int identical, int casefold);
};
extern CompareCallbackTable CompareCallbacks;

// The tables and switches that the callbacks consult: those of the active
// document and its report model. Null restores built-in defaults.
void SetActiveCollation(const SortOrderTables* tables, const CollationSwitches* switches);
const SortOrderTables& ActiveSortOrderTables();
const CollationSwitches& ActiveCollationSwitches();
void InstallDefaultCompareCallbacks();
void InstallCollatingCompareCallbacks();

int CompareTextDefault(const char* a, const char* b, int identical, int casefold);
int CompareFirstCharDefault(const unsigned char** a, const unsigned char** b);
int CompareNoCaseCallback(const char* a, const char* b);
int CompareByModeC(const char* a, const char* b, int n, int identical, int casefold);

int CollateCompareText(const char* a, const char* b, int identical, int casefold);
int CollateCompareFirstChar(const unsigned char** a, const unsigned char** b);
int CollateCompareSort(const char* a, const char* b);

// Slot 0 over the first n characters of each text.
int CompareStrings(const char* a, const char* b, int32_t n, int identical, int casefold);
// 0 when equal after lower-casing; else +/- the 1-based position of the first difference.
int CompareNoCase(const char* a, const char* b);
int CompareBytes(const void* a, const void* b, size_t n);
int CompareByMode(const char* a, const char* b, int n, int casefold, int locale);

// 1 when the text matches the pattern: '*' (or the multi-character wildcard)
// matches any run, '?' (or the single-character wildcard) any one character,
// the escape character makes the next pattern character literal. Time is
// bounded by pattern length times text length.
int MatchWildcard(const char* pattern, const char* text);

// ---- The sort-order file ----
using SortOrderMessageSink = std::function<void(const std::string& message)>;

// Parses the text of a sort-order file into the tables and switches (both
// reset first) and installs the matching callbacks. Every error is reported
// through the sink and reading goes on; the result is never a crash.
void ParseSortOrderText(const char* data, size_t size, SortOrderTables& tables,
                        CollationSwitches& switches, const SortOrderMessageSink& sink);
// Reads the file at path (a missing or unreadable file leaves the defaults).
void LoadSortOrderFile(const std::string& path, SortOrderTables& tables,
                       CollationSwitches& switches, const SortOrderMessageSink& sink);
// path of kmw.srt in a directory, accepting the upper-case spelling too.
std::string SortOrderFilePath(const std::string& directory);

// ---- The report model's side
class CKmComposite;
// The model's text comparison hook: slot 0 of the callbacks.
int ModelCompareText(CKmComposite* model, const char* a, const char* b, int identical, int casefold);
// True when no sort-order rules change how the model's texts compare and
// match: byte for byte, with case folded or not, as a database compares
// texts for equality and matches patterns.
bool TextCollatedByBytes(const CKmComposite* model);
// Copies the switches read from the sort-order file into the model and hooks
// the model's comparisons to the callbacks.
void ApplyCollationToModel(CKmComposite* model, const CollationSwitches& switches);
