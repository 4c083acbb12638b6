#include "expr/collation.h"

#include "foundation/heap_strings.h"
#include "core/composite.h"
#include "platform/win/codepage.h"
#include "platform/win/resources.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

// ---------------------------------------------------------------------------
// Windows-1252 character classes.
namespace {

struct CharTables {
  unsigned char lower[256];
  unsigned char upper[256];
  uint8_t cls[256];  // bit 1 lower, bit 2 upper, bit 4 alpha
  CharTables() {
    for (int c = 0; c < 256; ++c) {
      lower[c] = upper[c] = static_cast<unsigned char>(c);
      cls[c] = 0;
    }
    // Case pairs from the platform's Windows-1252 tables.
    for (int c = 0; c < 256; ++c) {
      unsigned char l = AnsiLower(static_cast<unsigned char>(c));
      if (l != c) {
        lower[c] = l;
        upper[l] = static_cast<unsigned char>(c);
        cls[c] |= 2 | 4;
        cls[l] |= 1 | 4;
      }
    }
    // Lower-case letters without an upper-case form.
    for (int c : {0x83, 0xB5, 0xDF}) cls[c] |= 1 | 4;
    // Ordinal indicators: letters of neither case.
    for (int c : {0xAA, 0xBA}) cls[c] |= 4;
  }
};
const CharTables& Chars() {
  static const CharTables t;
  return t;
}

}  // namespace

unsigned char CharLowerByte(unsigned char c) { return Chars().lower[c]; }
unsigned char CharUpperByte(unsigned char c) { return Chars().upper[c]; }
bool IsCharLowerByte(unsigned char c) { return (Chars().cls[c] & 1) != 0; }
bool IsCharUpperByte(unsigned char c) { return (Chars().cls[c] & 2) != 0; }
bool IsCharAlphaByte(unsigned char c) { return (Chars().cls[c] & 4) != 0; }
void CharLowerInPlace(char* text) {
  const CharTables& t = Chars();
  for (; *text; ++text) *text = static_cast<char>(t.lower[static_cast<unsigned char>(*text)]);
}
void CharUpperInPlace(char* text) {
  const CharTables& t = Chars();
  for (; *text; ++text) *text = static_cast<char>(t.upper[static_cast<unsigned char>(*text)]);
}
unsigned char OemByteToAnsi(unsigned char c) {
  char in = static_cast<char>(c), out = 0;
  OemToCharBuffA(&in, &out, 1);
  return static_cast<unsigned char>(out);
}

// ---------------------------------------------------------------------------
// Active tables and callbacks.
namespace {
const SortOrderTables& DefaultTables() {
  static const SortOrderTables t = [] {
    SortOrderTables s;
    s.BuildIndexes();
    return s;
  }();
  return t;
}
const CollationSwitches kDefaultSwitches;
const SortOrderTables* g_tables = nullptr;
const CollationSwitches* g_switches = nullptr;

inline const SortOrderTables& T() { return g_tables ? *g_tables : DefaultTables(); }
inline const CollationSwitches& S() { return g_switches ? *g_switches : kDefaultSwitches; }
}  // namespace

CompareCallbackTable CompareCallbacks = {CompareTextDefault, CompareFirstCharDefault,
                                         CompareNoCaseCallback, CompareByModeC};

void SetActiveCollation(const SortOrderTables* tables, const CollationSwitches* switches) {
  g_tables = tables;
  g_switches = switches;
}
const SortOrderTables& ActiveSortOrderTables() { return T(); }
const CollationSwitches& ActiveCollationSwitches() { return S(); }

void InstallDefaultCompareCallbacks() {
  CompareCallbacks.CompareText = CompareTextDefault;
  CompareCallbacks.CompareFirstChar = CompareFirstCharDefault;
  CompareCallbacks.CompareSortText = CompareNoCaseCallback;
  CompareCallbacks.CompareFixedText = CompareByModeC;
}
void InstallCollatingCompareCallbacks() {
  CompareCallbacks.CompareText = CollateCompareText;
  CompareCallbacks.CompareFirstChar = CollateCompareFirstChar;
  CompareCallbacks.CompareSortText = CollateCompareSort;
  CompareCallbacks.CompareFixedText = CompareByModeC;
}

void SortOrderTables::BuildIndexes() {
  std::memset(equivalenceIndex, 0, sizeof equivalenceIndex);
  std::memset(expansionIndex, 0, sizeof expansionIndex);
  std::memset(inequalityIndex, 0, sizeof inequalityIndex);
  // The first entry of a character wins, as a search from entry 1 would find.
  auto fill = [](uint8_t index[256], const unsigned char* entries, int stride, int limit) {
    for (int i = limit - 1; i >= 1; --i) index[entries[i * stride]] = static_cast<uint8_t>(i);
  };
  fill(equivalenceIndex[0], &equivalence[0][0], 2, equivalenceCount);
  fill(equivalenceIndex[1], &equivalence[0][0], 2, equivalenceLowerCount);
  fill(expansionIndex[0], &expansion[0][0], 3, expansionCount);
  fill(expansionIndex[1], &expansion[0][0], 3, expansionLowerCount);
  fill(inequalityIndex[0], &inequality[0][0], 2, inequalityCount);
  fill(inequalityIndex[1], &inequality[0][0], 2, inequalityLowerCount);
  // Characters below 128 never collate by rule.
  for (int k = 0; k < 2; ++k)
    for (int c = 0; c < 128; ++c) equivalenceIndex[k][c] = expansionIndex[k][c] = inequalityIndex[k][c] = 0;
}

// ---------------------------------------------------------------------------
// Default comparisons.
int CompareNoCase(const char* a, const char* b) {
  const CharTables& t = Chars();
  for (int i = 0;; ++i) {
    unsigned char ca = t.lower[static_cast<unsigned char>(a[i])];
    unsigned char cb = t.lower[static_cast<unsigned char>(b[i])];
    if (ca != cb) return ca < cb ? -(i + 1) : i + 1;
    if (ca == 0) return 0;
  }
}

int CompareBytes(const void* a, const void* b, size_t n) {
  const unsigned char* pa = static_cast<const unsigned char*>(a);
  const unsigned char* pb = static_cast<const unsigned char*>(b);
  for (size_t i = 0; i < n; ++i)
    if (pa[i] != pb[i]) return static_cast<int>(pa[i]) - static_cast<int>(pb[i]);
  return 0;
}

namespace {
int CompareBytesZ(const char* a, const char* b) {
  return std::strcmp(a, b);  // compares as unsigned bytes
}
int CompareAsciiNoCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    int ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
    if (ca >= 'A' && ca <= 'Z') ca += 32;
    if (cb >= 'A' && cb <= 'Z') cb += 32;
    if (ca != cb || ca == 0) return ca - cb;
  }
}
}  // namespace

int CompareByMode(const char* a, const char* b, int n, int casefold, int locale) {
  // Both texts are cut at n bytes; the copies are as long as needed, never a fixed buffer.
  if (n < 0) n = 0;
  std::string sa(a, strnlen(a, static_cast<size_t>(n)));
  std::string sb(b, strnlen(b, static_cast<size_t>(n)));
  if (locale == 0) return casefold ? CompareAsciiNoCase(sa.c_str(), sb.c_str()) : CompareBytesZ(sa.c_str(), sb.c_str());
  // The language-aware order: case folded first, case deciding only ties.
  int r = CompareNoCase(sa.c_str(), sb.c_str());
  if (r != 0 || casefold) return r;
  return CompareBytesZ(sa.c_str(), sb.c_str());
}

int CompareTextDefault(const char* a, const char* b, int, int casefold) {
  return casefold ? CompareNoCase(a, b) : CompareBytesZ(a, b);
}

int CompareFirstCharDefault(const unsigned char** a, const unsigned char** b) {
  unsigned char ca = **a, cb = **b;
  if (S().CompareCaseCombined) {
    ca = CharLowerByte(ca);
    cb = CharLowerByte(cb);
  }
  return ca != cb ? 1 : 0;
}

int CompareNoCaseCallback(const char* a, const char* b) { return CompareNoCase(a, b); }

int CompareByModeC(const char* a, const char* b, int n, int, int casefold) {
  return CompareByMode(a, b, n, casefold, 0);
}

// ---------------------------------------------------------------------------
// Collating comparisons.
namespace {

struct Lookup {
  int eq = 0, exp = 0, ineq = 0;
};

inline Lookup CollateLookupChar(const SortOrderTables& t, unsigned char c, int casefold) {
  Lookup r;
  if (c < 128) return r;
  int k = casefold ? 1 : 0;
  if ((r.eq = t.equivalenceIndex[k][c]) != 0) return r;
  if ((r.exp = t.expansionIndex[k][c]) != 0) return r;
  r.ineq = t.inequalityIndex[k][c];
  return r;
}

inline unsigned char Fold(unsigned char c, int casefold) { return casefold ? CharLowerByte(c) : c; }

int CollateCompareExpansions(const SortOrderTables& t, int i, int j) {
  if (t.expansion[i][1] == t.expansion[j][1] && t.expansion[i][2] == t.expansion[j][2]) return 0;
  int low = t.expansionLowerCount;
  if (i >= low && j < low) return -1;
  if (i < low && j >= low) return 1;
  return i - j;
}

// The other side minus the expansion, times sign; the other side's text may
// move on by one character when its next character is compared with the
// expansion's second letter.
int CollateCompareExpansionWithChar(const SortOrderTables& t, int expIndex, const Lookup& other,
                                    unsigned char o, const unsigned char** otherPos, int casefold,
                                    int sign) {
  int l1 = t.expansion[expIndex][1], l2 = t.expansion[expIndex][2];
  if (other.ineq) {
    int x = t.inequality[other.ineq][1];
    return x != l1 ? (x - l1) * sign : sign;
  }
  int o2 = other.eq ? t.equivalence[other.eq][1] : o;
  if (o2 != l1) return (o2 - l1) * sign;
  ++*otherPos;
  unsigned char n = Fold(**otherPos, casefold);
  int nv = n;
  if (n >= 128) {
    Lookup ln = CollateLookupChar(t, n, casefold);
    if (ln.ineq) {
      int x = t.inequality[ln.ineq][1];
      return x == l2 ? sign : (x - l2) * sign;
    }
    if (ln.eq) nv = t.equivalence[ln.eq][1];
  }
  return nv == l2 ? 0 : (nv - l2) * sign;
}

}  // namespace

int CollateCompareText(const char* a, const char* b, int identical, int casefold) {
  const SortOrderTables& t = T();
  const unsigned char* pa = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* pb = reinterpret_cast<const unsigned char*>(b);
  int tie = 0;
  for (;;) {
    unsigned char ca0 = *pa, cb0 = *pb;
    if (cb0 != 0 && (ca0 == cb0 || (casefold && CharLowerByte(ca0) == CharLowerByte(cb0)))) {
      ++pa;
      ++pb;
      continue;
    }
    int ca = Fold(ca0, casefold), cb = Fold(cb0, casefold);
    if (cb == 0) {
      if (ca != 0) return ca;
      return identical ? tie : 0;
    }
    if (ca == 0) return -cb;
    if (ca < 128 && cb < 128) return ca - cb;
    Lookup la = CollateLookupChar(t, static_cast<unsigned char>(ca), casefold);
    Lookup lb = CollateLookupChar(t, static_cast<unsigned char>(cb), casefold);
    if (la.exp && lb.exp) {
      int r = CollateCompareExpansions(t, la.exp, lb.exp);
      if (r) return r;
      if (!tie) tie = la.exp - lb.exp;
    } else if (la.exp) {
      int r = CollateCompareExpansionWithChar(t, la.exp, lb, static_cast<unsigned char>(cb), &pb, casefold, -1);
      if (r) return r;
      if (!tie) tie = 1;
    } else if (lb.exp) {
      int r = CollateCompareExpansionWithChar(t, lb.exp, la, static_cast<unsigned char>(ca), &pa, casefold, 1);
      if (r) return r;
      if (!tie) tie = -1;
    } else {
      int xa = la.eq ? t.equivalence[la.eq][1] : la.ineq ? t.inequality[la.ineq][1] : ca;
      int xb = lb.eq ? t.equivalence[lb.eq][1] : lb.ineq ? t.inequality[lb.ineq][1] : cb;
      if (xa != xb) return xa - xb;
      if (la.ineq && !lb.ineq) return 1;
      if (lb.ineq && !la.ineq) return -1;
      if (la.ineq && lb.ineq) {
        if (la.ineq != lb.ineq) return la.ineq - lb.ineq;
      } else if (!tie) {
        if (la.eq && !lb.eq) tie = 1;
        else if (lb.eq && !la.eq) tie = -1;
        else if (la.eq && lb.eq) tie = la.eq - lb.eq;
      }
    }
    ++pa;
    ++pb;
  }
}

int CollateCompareFirstChar(const unsigned char** a, const unsigned char** b) {
  const SortOrderTables& t = T();
  int casefold = S().CompareCaseCombined;
  int ca = Fold(**a, casefold), cb = Fold(**b, casefold);
  if (ca == cb) return 0;
  if (ca < 128 && cb < 128) return ca - cb;
  Lookup la = CollateLookupChar(t, static_cast<unsigned char>(ca), casefold);
  Lookup lb = CollateLookupChar(t, static_cast<unsigned char>(cb), casefold);
  if (la.exp && lb.exp) return CollateCompareExpansions(t, la.exp, lb.exp);
  if (la.exp) return CollateCompareExpansionWithChar(t, la.exp, lb, static_cast<unsigned char>(cb), b, casefold, -1);
  if (lb.exp) return CollateCompareExpansionWithChar(t, lb.exp, la, static_cast<unsigned char>(ca), a, casefold, 1);
  int xa = la.eq ? t.equivalence[la.eq][1] : ca;
  int xb = lb.eq ? t.equivalence[lb.eq][1] : cb;
  return xa - xb;
}

int CollateCompareSort(const char* a, const char* b) {
  return CollateCompareText(a, b, 1, S().SortCaseCombined);
}

int CompareStrings(const char* a, const char* b, int32_t n, int identical, int casefold) {
  if (n < 0) n = 0;
  size_t un = static_cast<size_t>(n);
  size_t la = strnlen(a, un + 1), lb = strnlen(b, un + 1);
  if (la <= un && lb <= un) return CompareCallbacks.CompareText(a, b, identical, casefold);
  // Cut copies rather than writing into the callers' texts.
  char sa[256], sb[256];
  std::string ha, hb;
  const char* pa = a;
  const char* pb = b;
  if (la > un) {
    if (un < sizeof sa) {
      std::memcpy(sa, a, un);
      sa[un] = 0;
      pa = sa;
    } else {
      ha.assign(a, un);
      pa = ha.c_str();
    }
  }
  if (lb > un) {
    if (un < sizeof sb) {
      std::memcpy(sb, b, un);
      sb[un] = 0;
      pb = sb;
    } else {
      hb.assign(b, un);
      pb = hb.c_str();
    }
  }
  return CompareCallbacks.CompareText(pa, pb, identical, casefold);
}

// ---------------------------------------------------------------------------
// Wildcard matching: the classic single-backtrack scan. Only the last '*'
// needs a resume point: whatever an earlier star matched, a later star can
// take up the difference, so the answers equal those of full backtracking.
namespace {
enum PatKind { kEnd, kStar, kAny, kLiteral };

struct PatternReader {
  const SortOrderTables& t;
  PatKind Kind(const unsigned char* p, const unsigned char** literal, const unsigned char** next) const {
    unsigned char c = *p;
    if (c == 0) return kEnd;
    if (c == '*' || (t.multiWildcard && c == t.multiWildcard)) {
      *next = p + 1;
      return kStar;
    }
    if (c == '?' || (t.singleWildcard && c == t.singleWildcard)) {
      *next = p + 1;
      return kAny;
    }
    if (t.escapeChar && c == t.escapeChar) {
      *literal = p + 1;  // may be the terminator: then nothing matches it
      *next = p[1] ? p + 2 : p + 1;
      return kLiteral;
    }
    *literal = p;
    *next = p + 1;
    return kLiteral;
  }
};

// Compares one literal pattern character with the text at *text; on a match
// *text moves past what was matched (two characters for an expansion).
bool MatchLiteral(const unsigned char* lit, const unsigned char** text) {
  if (*lit == 0) return false;
  const CollationSwitches& s = S();
  if (s.IdenticalCompare) {
    unsigned char a = *lit, b = **text;
    if (a == b || (s.CompareCaseCombined && CharLowerByte(a) == CharLowerByte(b))) {
      ++*text;
      return true;
    }
    return false;
  }
  const unsigned char* p = lit;
  const unsigned char* q = *text;
  if (CompareCallbacks.CompareFirstChar(&p, &q) != 0) return false;
  *text = q + 1;
  return true;
}
}  // namespace

int MatchWildcard(const char* pattern, const char* text) {
  PatternReader rd{T()};
  const unsigned char* p = reinterpret_cast<const unsigned char*>(pattern);
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* starP = nullptr;  // pattern after the last star
  const unsigned char* starS = nullptr;  // where the star's run ends now
  for (;;) {
    const unsigned char* lit = nullptr;
    const unsigned char* next = nullptr;
    PatKind k = rd.Kind(p, &lit, &next);
    if (k == kStar) {
      while (k == kStar) {
        p = next;
        k = rd.Kind(p, &lit, &next);
      }
      if (k == kEnd) return 1;  // a trailing star takes the rest
      starP = p;
      starS = s;
      continue;
    }
    bool ok = false;
    if (k == kEnd) {
      if (*s == 0) return 1;
    } else if (*s != 0) {
      if (k == kAny) {
        ++s;
        ok = true;
      } else {
        ok = MatchLiteral(lit, &s);
      }
      if (ok) p = next;
    }
    if (ok) continue;
    if (starP == nullptr || *starS == 0) return 0;
    ++starS;
    p = starP;
    s = starS;
  }
}

// ---------------------------------------------------------------------------
// The sort-order file.
namespace {

enum SrtState {
  kStart = 0, kSkip = 1, kEquivalence = 2, kExpansion = 3, kInequality = 4, kName = 5,
  kComparisons = 6, kCase = 8, kCompareCase = 9, kSortCase = 10, kSrtChars = 16, kSpaceDot = 17
};

constexpr int kTokenMax = 29;

// String-table ids of the messages (res/strings/functions.str).
constexpr UINT kMsgInvalidSettingLine = 9500;
constexpr UINT kMsgInvalidEquivalence = 9501;
constexpr UINT kMsgInvalidExpansion = 9502;
constexpr UINT kMsgInvalidInequality = 9503;
constexpr UINT kMsgTooManyEquivalences = 9504;
constexpr UINT kMsgTooManyExpansions = 9505;
constexpr UINT kMsgTooManyInequalities = 9506;
constexpr UINT kMsgMultipleSettings = 9507;
constexpr UINT kMsgInvalidSettingValue = 9508;

struct Rule {
  unsigned char c, l1, l2;
};

inline bool IsAsciiAlpha(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

struct SrtParser {
  SortOrderTables& t;
  CollationSwitches& sw;
  const SortOrderMessageSink& sink;
  int line = 1;
  int state = kStart;
  int letters = 0;
  unsigned char letter1 = 0, letter2 = 0;
  char token[kTokenMax + 1] = {};
  int tokenLen = 0;  // counts every character met, even past the kept 29
  std::vector<Rule> eq, exp, ineq;
  bool prevCR = false;

  SrtParser(SortOrderTables& tables, CollationSwitches& switches, const SortOrderMessageSink& messages)
      : t(tables), sw(switches), sink(messages) {}

  // Messages with text arguments (the names and values are at most 29 characters).
  void Say(UINT id, const char* arg1 = nullptr, const char* arg2 = nullptr) {
    if (!sink) return;
    std::string fmt = LoadResString(id);
    char buf[512];
    if (arg1 && arg2) std::snprintf(buf, sizeof buf, fmt.c_str(), arg1, arg2);
    else if (arg1) std::snprintf(buf, sizeof buf, fmt.c_str(), arg1);
    else std::snprintf(buf, sizeof buf, "%s", fmt.c_str());
    sink(buf);
  }
  void SayLine(UINT id) {
    if (!sink) return;
    std::string fmt = LoadResString(id);
    char buf[512];
    std::snprintf(buf, sizeof buf, fmt.c_str(), line);
    sink(buf);
  }

  void RestartToken() {
    tokenLen = 0;
    token[0] = 0;
  }
  void Append(char c) {
    if (tokenLen < kTokenMax) {
      token[tokenLen] = c;
      token[tokenLen + 1] = 0;
    }
    ++tokenLen;
  }
  bool RightSideOk() const { return tokenLen == 1 && static_cast<unsigned char>(token[0]) >= 128; }

  void AddRule(std::vector<Rule>& list, Rule r, UINT tooMany) {
    if (list.size() >= static_cast<size_t>(kMaxSortRules)) {
      Say(tooMany);
      state = kSkip;
      return;
    }
    list.push_back(r);
  }

  void ProcessRule() {
    unsigned char c = static_cast<unsigned char>(token[0]);
    switch (state) {
      case kEquivalence:
        if (letters == 1 && IsAsciiAlpha(letter1) && RightSideOk())
          AddRule(eq, {c, letter1, 0}, kMsgTooManyEquivalences);
        else {
          SayLine(kMsgInvalidEquivalence);
          state = kSkip;
        }
        break;
      case kExpansion:
        if (letters == 2 && letter1 < 128 && letter2 < 128 && IsAsciiAlpha(letter1) && IsAsciiAlpha(letter2) &&
            RightSideOk())
          AddRule(exp, {c, letter1, letter2}, kMsgTooManyExpansions);
        else {
          SayLine(kMsgInvalidExpansion);
          state = kSkip;
        }
        break;
      case kInequality:
        if (letters == 1 && letter1 < 128 && RightSideOk())
          AddRule(ineq, {c, letter1, 0}, kMsgTooManyInequalities);
        else {
          SayLine(kMsgInvalidInequality);
          state = kSkip;
        }
        break;
      default:
        break;
    }
  }

  static bool Is(const char* a, const char* b) { return CompareAsciiNoCase(a, b) == 0; }

  void InvalidValue(const char* name) { Say(kMsgInvalidSettingValue, name, token); }

  void ProcessSetting() {
    const char* name = "";
    switch (state) {
      case kComparisons:
        name = "COMPARISONS";
        if (++t.comparisonsUses > 1) return Say(kMsgMultipleSettings, name);
        if (Is(token, "APPROXIMATE")) sw.IdenticalCompare = 0;
        else if (Is(token, "IDENTICAL")) sw.IdenticalCompare = 1;
        else InvalidValue(name);
        return;
      case kCase:
        name = "CASE";
        if (++t.caseUses > 1 || t.sortCaseUses > 0) return Say(kMsgMultipleSettings, name);
        if (Is(token, "DISTINCT")) sw.CompareCaseCombined = sw.SortCaseCombined = 0;
        else if (Is(token, "COMBINED")) sw.CompareCaseCombined = sw.SortCaseCombined = 1;
        else InvalidValue(name);
        return;
      case kCompareCase:
        name = "COMPARECASE";
        if (++t.compareCaseUses > 1) return Say(kMsgMultipleSettings, name);
        if (Is(token, "DISTINCT")) sw.CompareCaseCombined = 0;
        else if (Is(token, "COMBINED")) sw.CompareCaseCombined = 1;
        else InvalidValue(name);
        return;
      case kSortCase:
        name = "SORTCASE";
        if (++t.sortCaseUses > 1 || t.caseUses > 0) return Say(kMsgMultipleSettings, name);
        if (Is(token, "DISTINCT")) sw.SortCaseCombined = 0;
        else if (Is(token, "COMBINED")) sw.SortCaseCombined = 1;
        else InvalidValue(name);
        return;
      case kSrtChars:
        name = "SRTCHARS";
        if (++t.srtCharsUses > 1) return Say(kMsgMultipleSettings, name);
        if (Is(token, "ANSI")) t.ansiFlag = 1;
        else if (Is(token, "OEM") || Is(token, "IBMPC")) t.ansiFlag = 0;
        else InvalidValue(name);
        return;
      case kSpaceDot: {
        name = "SPACEDOT";
        if (++t.spaceDotUses > 1) return Say(kMsgMultipleSettings, name);
        // atoi of at most 29 characters, without its overflow.
        long v = std::strtol(token, nullptr, 10);
        if (tokenLen > kTokenMax || v < 33 || v > 255) InvalidValue(name);
        else sw.SpaceDotChar = static_cast<int32_t>(v);
        return;
      }
      default:
        return;
    }
  }

  void ProcessPending() {
    if (state >= kEquivalence && state <= kInequality) ProcessRule();
    else if (state >= kComparisons) ProcessSetting();
  }

  void LookUpName() {
    struct {
      const char* name;
      int state;
    } static const names[] = {{"COMPARISONS", kComparisons}, {"CASE", kCase},         {"COMPARECASE", kCompareCase},
                              {"SORTCASE", kSortCase},       {"SRTCHARS", kSrtChars}, {"SPACEDOT", kSpaceDot}};
    if (tokenLen <= kTokenMax)
      for (const auto& n : names)
        if (Is(token, n.name)) {
          state = n.state;
          RestartToken();
          return;
        }
    if (sink) {
      std::string fmt = LoadResString(kMsgInvalidSettingLine);
      char buf[512];
      std::snprintf(buf, sizeof buf, fmt.c_str(), token, line);
      sink(buf);
    }
    state = kSkip;
  }

  void EndOfLine() {
    ProcessPending();
    state = kStart;
    letters = 0;
    letter1 = letter2 = 0;
    RestartToken();
  }

  // Returns false at the end-of-file mark.
  bool Feed(unsigned char c) {
    bool wasCR = prevCR;
    prevCR = false;
    switch (c) {
      case '\t':
      case ' ':
        return true;
      case 26:
        return false;
      case '\r':
      case '\f':
        EndOfLine();
        ++line;
        prevCR = (c == '\r');
        return true;
      case '\n':
        EndOfLine();
        if (!wasCR) ++line;  // LF-only files still get true line numbers
        return true;
      case ';':
        ProcessPending();
        state = kSkip;
        return true;
      case '=':
        if (state == kStart) {
          if (letters == 1) state = kEquivalence;
          else if (letters == 2) state = kExpansion;
          else {
            SayLine(kMsgInvalidEquivalence);
            state = kSkip;
            return true;
          }
          RestartToken();
        } else if (state == kEquivalence || state == kExpansion) {
          ProcessRule();
          if (state != kSkip) RestartToken();
        } else if (state == kName) {
          LookUpName();
        } else if (state != kSkip) {
          SayLine(kMsgInvalidEquivalence);
        }
        return true;
      case '<':
        if (state == kStart) {
          if (letters == 0) {
            SayLine(kMsgInvalidInequality);
            state = kSkip;
            return true;
          }
          state = kInequality;
          RestartToken();
        } else if (state == kInequality) {
          ProcessRule();
          if (state != kSkip) RestartToken();
        } else if (state != kSkip) {
          SayLine(kMsgInvalidInequality);
        }
        return true;
      default:
        if (state == kSkip) return true;
        Append(static_cast<char>(c));
        if (state == kStart) {
          if (letters == 0) letter1 = c;
          else if (letters == 1) letter2 = c;
          ++letters;
          if (letters >= 3) state = kName;
        }
        return true;
    }
  }

  void Finish() {
    EndOfLine();
    if (eq.empty() && exp.empty() && ineq.empty()) return;
    InstallCollatingCompareCallbacks();
    t.rulesInstalled = 1;
    auto conv = [this](unsigned char c) { return t.ansiFlag ? c : OemByteToAnsi(c); };
    uint8_t low = 1;
    for (size_t i = 0; i < eq.size(); ++i) {
      t.equivalence[i + 1][0] = conv(eq[i].c);
      t.equivalence[i + 1][1] = conv(eq[i].l1);
      if (IsCharLowerByte(t.equivalence[i + 1][1])) ++low;
    }
    t.equivalenceCount = static_cast<uint8_t>(eq.size() + 1);
    t.equivalenceLowerCount = low;
    low = 1;
    for (size_t i = 0; i < exp.size(); ++i) {
      t.expansion[i + 1][0] = conv(exp[i].c);
      t.expansion[i + 1][1] = conv(exp[i].l1);
      t.expansion[i + 1][2] = conv(exp[i].l2);
      if (IsCharLowerByte(t.expansion[i + 1][1])) ++low;
    }
    t.expansionCount = static_cast<uint8_t>(exp.size() + 1);
    t.expansionLowerCount = low;
    low = 1;
    for (size_t i = 0; i < ineq.size(); ++i) {
      t.inequality[i + 1][0] = conv(ineq[i].c);
      t.inequality[i + 1][1] = conv(ineq[i].l1);
      if (IsCharLowerByte(t.inequality[i + 1][1])) ++low;
    }
    t.inequalityCount = static_cast<uint8_t>(ineq.size() + 1);
    t.inequalityLowerCount = low;
    t.BuildIndexes();
  }
};

void ResetSortOrder(SortOrderTables& tables, CollationSwitches& switches) {
  unsigned char multi = tables.multiWildcard, single = tables.singleWildcard, esc = tables.escapeChar;
  tables = SortOrderTables();
  tables.multiWildcard = multi;
  tables.singleWildcard = single;
  tables.escapeChar = esc;
  for (int i = 0; i <= kMaxSortRules; ++i) {
    std::memset(tables.equivalence[i], ' ', 2);
    std::memset(tables.expansion[i], ' ', 3);
    std::memset(tables.inequality[i], ' ', 2);
  }
  tables.BuildIndexes();
  switches = CollationSwitches();
  InstallDefaultCompareCallbacks();
}

}  // namespace

void ParseSortOrderText(const char* data, size_t size, SortOrderTables& tables, CollationSwitches& switches,
                        const SortOrderMessageSink& sink) {
  ResetSortOrder(tables, switches);
  SrtParser p(tables, switches, sink);
  for (size_t i = 0; i < size; ++i)
    if (!p.Feed(static_cast<unsigned char>(data[i]))) break;
  p.Finish();
}

void LoadSortOrderFile(const std::string& path, SortOrderTables& tables, CollationSwitches& switches,
                       const SortOrderMessageSink& sink) {
  ResetSortOrder(tables, switches);
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return;
  SrtParser p(tables, switches, sink);
  char block[200];
  bool more = true;
  size_t n;
  while (more && (n = std::fread(block, 1, sizeof block, f)) > 0)
    for (size_t i = 0; i < n && more; ++i) more = p.Feed(static_cast<unsigned char>(block[i]));
  std::fclose(f);
  p.Finish();
}

std::string SortOrderFilePath(const std::string& directory) {
  std::string dir = directory;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  std::string lower = dir + "kmw.srt";
  if (FILE* f = std::fopen(lower.c_str(), "rb")) {
    std::fclose(f);
    return lower;
  }
  std::string upper = dir + "KMW.SRT";
  if (FILE* f = std::fopen(upper.c_str(), "rb")) {
    std::fclose(f);
    return upper;
  }
  return lower;
}

// ---------------------------------------------------------------------------
int ModelCompareText(CKmComposite*, const char* a, const char* b, int identical, int casefold) {
  return CompareCallbacks.CompareText(a, b, identical, casefold);
}

bool TextCollatedByBytes(const CKmComposite* model) {
  // The rules come and go with the callbacks as a set.
  return model->compareText == nullptr || CompareCallbacks.CompareText == CompareTextDefault;
}

void ApplyCollationToModel(CKmComposite* model, const CollationSwitches& switches) {
  model->IdenticalCompare = switches.IdenticalCompare;
  model->CompareCaseCombined = switches.CompareCaseCombined;
  model->SortCaseCombined = switches.SortCaseCombined;
  model->SpaceDotChar = switches.SpaceDotChar;
  model->compareText = ModelCompareText;
}
