// The string and miscellaneous built-in functions: value and type handlers.
#include "expr/functions_string.h"

#include "expr/builtin_table.h"
#include "expr/collation.h"
#include "expr/functions_common.h"
#include "expr/number_text.h"
#include "expr/type_eval.h"
#include "expr/value_eval.h"
#include "core/composite.h"
#include "platform/win/modules.h"
#include "platform/win/resources.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace {

constexpr UINT kStrUntitled = 120;
const char kDefaultBreaks[] = " -";

inline size_t L(const CKmComposite* m) { return m->stringWorkSize; }

bool IsSpaceOrPad(const CKmComposite* m, unsigned char c) {
  return c == ' ' || (c >= 9 && c <= 13) || c == static_cast<unsigned char>(m->SpaceDotChar);
}

// The case argument of the searches: omitted, the model's switch folds; given,
// a non-zero value makes the search case-sensitive.
int PopCaseFold(CKmComposite* m) {
  bool given = false;
  double v = PopOptionalNumber(m, 0, &given);
  if (!given) return m->CompareCaseCombined ? 1 : 0;
  return v == 0 ? 1 : 0;
}

// Optional word-break characters into stringWork2 (pad characters to blanks).
const char* PopBreaks(CKmComposite* m) {
  if (DropEmptyArgument(m)) return kDefaultBreaks;
  PopTextPadToBlank(m, m->stringWork2);
  return m->stringWork2;
}

inline bool IsBreak(const char* breaks, char c) { return c != 0 && std::strchr(breaks, c) != nullptr; }

// Positions (0-based) where find occurs in within, in order.
template <typename F>
void ForEachMatch(CKmComposite* m, const char* within, size_t lw, const char* find, size_t lf, int fold, F f) {
  if (lf == 0 || lf > lw) return;
  for (size_t i = 0; i + lf <= lw; ++i)
    if (CompareStrings(within + i, find, static_cast<int32_t>(lf), m->IdenticalCompare, fold) == 0)
      if (!f(i)) return;
}

// ---- Value handlers

int EvalAt(CKmComposite* m) {
  int fold = PopCaseFold(m);
  size_t lw = PopTextPadToBlank(m, m->stringWork2);
  size_t lf = PopTextPadToBlank(m, m->stringWork1);
  size_t pos = 0;
  ForEachMatch(m, m->stringWork2, lw, m->stringWork1, lf, fold, [&](size_t i) {
    pos = i + 1;
    return false;
  });
  PushNumber(m, static_cast<double>(pos));
  return 0;
}

int EvalLen(CKmComposite* m) {
  PushNumber(m, static_cast<double>(PopText(m, m->stringWork1)));
  return 0;
}

int EvalLower(CKmComposite* m) {
  PopText(m, m->stringWork1);
  CharLowerInPlace(m->stringWork1);
  PushText(m, m->stringWork1);
  return 0;
}

int EvalUpper(CKmComposite* m) {
  PopText(m, m->stringWork1);
  CharUpperInPlace(m->stringWork1);
  PushText(m, m->stringWork1);
  return 0;
}

int EvalSpace(CKmComposite* m) {
  int64_t n = PopRoundedClamped(m, 0, static_cast<int64_t>(L(m)));
  std::memset(m->stringWork1, m->SpaceDotChar, static_cast<size_t>(n));
  PushString(m, m->stringWork1, static_cast<size_t>(n));
  return 0;
}

int64_t PopOptionalRounded(CKmComposite* m, int64_t def) {
  if (DropEmptyArgument(m)) return def;
  return PopRoundedInt(m);
}

int EvalSubstr(CKmComposite* m) {
  int64_t len = PopOptionalRounded(m, kSubstrDefaultLength);
  int64_t start = PopRoundedInt(m);
  size_t n = PopText(m, m->stringWork1);
  if (start < 1 || len < 0 || start > static_cast<int64_t>(n)) {
    PushText(m, "");
    return 0;
  }
  size_t from = static_cast<size_t>(start - 1);
  size_t count = std::min(static_cast<size_t>(std::min<int64_t>(len, static_cast<int64_t>(n))), n - from);
  PushString(m, m->stringWork1 + from, count);
  return 0;
}

int EvalTrim(CKmComposite* m) {
  size_t n = PopTextPadToBlank(m, m->stringWork1);
  n = TrimText(m, m->stringWork1, n);
  PushString(m, m->stringWork1, n);
  return 0;
}

int EvalLtrim(CKmComposite* m) {
  size_t n = PopTextPadToBlank(m, m->stringWork1);
  size_t i = 0;
  while (i < n && IsSpaceOrPad(m, static_cast<unsigned char>(m->stringWork1[i]))) ++i;
  PushString(m, m->stringWork1 + i, n - i);
  return 0;
}

int EvalAsc(CKmComposite* m) {
  PopTextPadToBlank(m, m->stringWork1);
  PushNumber(m, static_cast<unsigned char>(m->stringWork1[0]));
  return 0;
}

int EvalChr(CKmComposite* m) {
  int64_t n = PopRoundedInt(m);
  char c = static_cast<char>(n);
  PushString(m, &c, (n >= 1 && n <= 255) ? 1 : 0);
  return 0;
}

int EvalStr(CKmComposite* m) {
  int64_t dec = std::max<int64_t>(0, std::min<int64_t>(PopOptionalRounded(m, 0), 1000));
  int64_t len = std::max<int64_t>(-1000, std::min<int64_t>(PopOptionalRounded(m, 10), 1000));
  double x = PopNumber(m);
  std::string out;
  bool ok = len + dec < 101;
  while (ok) {
    char buf[512];
    LegacyFormat(buf, sizeof buf, "%*.*f", static_cast<int>(len), static_cast<int>(dec), x);
    const char* dot = std::strchr(buf, '.');
    size_t before = dot ? static_cast<size_t>(dot - buf) : std::strlen(buf);
    if (!std::isfinite(x) || static_cast<int64_t>(before) > len) {
      ok = false;
      break;
    }
    int64_t excess = static_cast<int64_t>(std::strlen(buf)) - len;
    if (excess > 0) {
      dec = excess >= dec ? 0 : dec - excess;
      continue;
    }
    out = buf;
    break;
  }
  if (!ok) SetErrorFlag(m);
  PushText(m, out);
  return 0;
}

template <bool (*Test)(unsigned char)>
int EvalCharTest(CKmComposite* m) {
  size_t n = PopTextPadToBlank(m, m->stringWork1);
  PushNumber(m, (n > 0 && Test(static_cast<unsigned char>(m->stringWork1[0]))) ? 1.0 : 0.0);
  return 0;
}

int EvalLeft(CKmComposite* m) {
  int64_t k = PopRoundedInt(m);
  size_t n = PopText(m, m->stringWork1);
  k = std::max<int64_t>(0, std::min<int64_t>(k, static_cast<int64_t>(n)));
  PushString(m, m->stringWork1, static_cast<size_t>(k));
  return 0;
}

int EvalRight(CKmComposite* m) {
  int64_t k = PopRoundedInt(m);
  size_t n = PopText(m, m->stringWork1);
  k = std::max<int64_t>(0, std::min<int64_t>(k, static_cast<int64_t>(n)));
  PushString(m, m->stringWork1 + n - static_cast<size_t>(k), static_cast<size_t>(k));
  return 0;
}

int EvalReplicate(CKmComposite* m) {
  int64_t count = PopRoundedInt(m);
  size_t k = PopText(m, m->stringWork1);
  std::string out;
  if (m->valueFlags == 0 && k > 0 && count > 0) {
    const size_t limit = L(m);
    const size_t q = limit / k;
    if (static_cast<int64_t>(q) < count) {
      for (size_t i = 0; i < q; ++i) out.append(m->stringWork1, k);
      out.append(m->stringWork1, limit - q * k);
    } else {
      for (int64_t i = 0; i < count; ++i) out.append(m->stringWork1, k);
    }
  }
  PushText(m, out);
  return 0;
}

int EvalStuff(CKmComposite* m) {
  size_t li = PopText(m, m->stringWork2);
  int64_t count = PopRoundedInt(m);
  int64_t start = PopRoundedInt(m);
  size_t n = PopText(m, m->stringWork1);
  if (start < 1 || start > static_cast<int64_t>(n) || count < 0) {
    PushText(m, "");
    return 0;
  }
  size_t from = static_cast<size_t>(start - 1);
  size_t c = static_cast<size_t>(std::min<int64_t>(count, static_cast<int64_t>(n - from)));
  std::string out(m->stringWork1, from);
  out.append(m->stringWork2, li);
  out.append(m->stringWork1 + from + c, n - from - c);
  if (out.size() > L(m)) out.resize(L(m));  // never past the longest string
  PushString(m, out.data(), out.size());
  return 0;
}

int EvalStrSearch(CKmComposite* m) {
  int fold = PopCaseFold(m);
  int64_t occurrence = PopRoundedInt(m);
  size_t lw = PopTextPadToBlank(m, m->stringWork2);
  size_t lf = PopTextPadToBlank(m, m->stringWork1);
  if (occurrence < 0) {
    int64_t c = 0;
    ForEachMatch(m, m->stringWork2, lw, m->stringWork1, lf, fold, [&](size_t) { return ++c, true; });
    occurrence = c + 1 + occurrence;
  }
  size_t pos = 0;
  if (occurrence > 0)
    ForEachMatch(m, m->stringWork2, lw, m->stringWork1, lf, fold, [&](size_t i) {
      if (--occurrence == 0) {
        pos = i + 1;
        return false;
      }
      return true;
    });
  PushNumber(m, static_cast<double>(pos));
  return 0;
}

int EvalStrCount(CKmComposite* m) {
  int fold = PopCaseFold(m);
  size_t lw = PopTextPadToBlank(m, m->stringWork2);
  size_t lf = PopTextPadToBlank(m, m->stringWork1);
  double c = 0;
  ForEachMatch(m, m->stringWork2, lw, m->stringWork1, lf, fold, [&](size_t) { return ++c, true; });
  PushNumber(m, c);
  return 0;
}

int EvalStrRep(CKmComposite* m) {
  int fold = PopCaseFold(m);
  size_t lr = PopTextPadToBlank(m, m->stringScratch);
  size_t lf = PopTextPadToBlank(m, m->stringWork2);
  size_t ls = PopTextPadToBlank(m, m->stringWork1);
  const char* s = m->stringWork1;
  const size_t limit = L(m);
  std::string out;
  if (lf == 0 || lf > ls) {
    out.assign(s, ls);
  } else {
    size_t i = 0;
    for (; i + lf <= ls;) {
      if (CompareStrings(s + i, m->stringWork2, static_cast<int32_t>(lf), m->IdenticalCompare, fold) == 0) {
        out.append(m->stringScratch, std::min(lr, limit - std::min(limit, out.size())));
        i += lf;
      } else {
        if (out.size() < limit) out += s[i];
        ++i;
      }
    }
    if (i < ls) out.append(s + i, std::min(ls - i, limit - std::min(limit, out.size())));
  }
  PushString(m, out.data(), std::min(out.size(), limit));
  return 0;
}

int EvalCapFirst(CKmComposite* m) {
  const char* breaks = PopBreaks(m);
  size_t n = PopTextPadToBlank(m, m->stringWork1);
  bool start = true;
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(m->stringWork1[i]);
    if (IsBreak(breaks, static_cast<char>(c))) {
      start = true;
      continue;
    }
    m->stringWork1[i] = static_cast<char>(start ? CharUpperByte(c) : CharLowerByte(c));
    start = false;
  }
  PushString(m, m->stringWork1, n);
  return 0;
}

int EvalSoundex(CKmComposite* m) {
  const char* breaks = PopBreaks(m);
  size_t n = PopTextPadToBlank(m, m->stringWork1);
  n = TrimText(m, m->stringWork1, n);
  PushText(m, Soundex(m->stringWork1, breaks));
  return 0;
}

int EvalWdCount(CKmComposite* m) {
  const char* breaks = PopBreaks(m);
  PopTextPadToBlank(m, m->stringWork1);
  PushNumber(m, WordCount(m->stringWork1, breaks));
  return 0;
}

int EvalWord(CKmComposite* m) {
  const char* breaks = PopBreaks(m);
  int64_t k = PopRoundedInt(m);
  PopTextPadToBlank(m, m->stringWork1);
  const char* s = m->stringWork1;
  int words = WordCount(s, breaks);
  if (k < 0) k = k + 1 + words;
  std::string out;
  if (k >= 1 && k <= words) {
    int w = 0;
    for (size_t i = 0; s[i];) {
      while (s[i] && IsBreak(breaks, s[i])) ++i;
      size_t b = i;
      while (s[i] && !IsBreak(breaks, s[i])) ++i;
      if (i > b && ++w == k) {
        out.assign(s + b, i - b);
        break;
      }
    }
  }
  PushText(m, out);
  return 0;
}

int EvalLike(CKmComposite* m) {
  double r = 0;
  if (TopIsString(m) || m->matchLongText == nullptr) {
    size_t lt = PopTextPadToBlank(m, m->stringWork2);
    TrimText(m, m->stringWork2, lt);
    size_t lp = PopTextPadToBlank(m, m->stringWork1);
    TrimText(m, m->stringWork1, lp);
    r = MatchWildcard(m->stringWork1, m->stringWork2) ? 1.0 : 0.0;
  } else {
    bool previous = false;
    FieldDef* f = PopFieldRef(m, &previous);
    size_t lp = PopTextPadToBlank(m, m->stringWork1);
    TrimText(m, m->stringWork1, lp);
    r = m->matchLongText(m, m->stringWork1, f, previous) ? 1.0 : 0.0;
  }
  PushNumber(m, r);
  return 0;
}

int EvalRiParam(CKmComposite* m) {
  PopText(m, m->stringWork1);
  SetErrorFlag(m);
  PushText(m, "");
  return 0;
}

int EvalQuery(CKmComposite* m) {
  if (m->argumentCount != 1 || TopTag(m) != kTagEmptyArg) return 2;
  DropEmptyArgument(m);
  PushQueryMarker(m);
  return 0;
}

int EvalCdll(CKmComposite* m) {
  // The user's function may write its result over the argument: a buffer of
  // the longest string, with a terminator the function cannot remove.
  std::string arg(L(m) + 1, '\0');
  size_t n = PopText(m, m->stringScratch);
  n = TrimText(m, m->stringScratch, n);
  std::memcpy(&arg[0], m->stringScratch, n);
  size_t lf = PopText(m, m->stringWork2);
  TrimText(m, m->stringWork2, lf);
  size_t ll = PopText(m, m->stringWork1);
  TrimText(m, m->stringWork1, ll);
  if (!CallUserLibrary(m->stringWork1, m->stringWork2, &arg[0], L(m))) {
    SetErrorFlag(m);
    arg[0] = 0;
  }
  PushText(m, arg.c_str());
  return 0;
}

int EvalLibName(CKmComposite* m) {
  DropEmptyArgument(m);
  const BuiltinDocumentState& d = ActiveBuiltinDocument();
  PushText(m, d.libraryOpen ? d.libraryName : std::string());
  return 0;
}

std::string UdfPath() { return ActiveBuiltinDocument().programDirectory + "KMW.UDF"; }

int EvalUdfName(CKmComposite* m) {
  DropEmptyArgument(m);
  PushText(m, UdfPath());
  return 0;
}

int EvalRepName(CKmComposite* m) {
  double flag = PopOptionalNumber(m, 0);
  PushText(m, ReportNameText(flag != 0));
  return 0;
}

int EvalSqlExp(CKmComposite* m) {
  PushNumber(m, static_cast<double>(PopText(m, m->stringWork1)));
  return 0;
}

// ---- Type handlers

int TypeSearch(CKmComposite* m) {  // AT, STRSEARCH, STRCOUNT: digits of the within text
  const unsigned argc = m->argumentCount;
  ValueCell within = PeekTypeCell(m, argc - 2) ? *PeekTypeCell(m, argc - 2) : ValueCell();
  DropTypeCells(m, argc);
  PushNumberCell(m, DigitsOfWidth(within.width), 0);
  return 0;
}
int TypeLen(CKmComposite* m) {
  ValueCell s = PopTypeCell(m);
  PushNumberCell(m, DigitsOfWidth(s.width), 0);
  return 0;
}
int TypeWdCount(CKmComposite* m) {
  PopTypeCell(m);
  ValueCell s = PopTypeCell(m);
  PushNumberCell(m, DigitsOfWidth((s.width + 1) / 2), 0);
  return 0;
}
int TypeAsc(CKmComposite* m) {
  PopTypeCell(m);
  PushNumberCell(m, 3, 0);
  return 0;
}
int TypeChr(CKmComposite* m) {
  PopTypeCell(m);
  PushStringCell(m, 1, 1);
  return 0;
}
bool IsConstant(const ValueCell& c) { return (c.kind & kKindConstant) != 0; }
uint32_t ClampWidth(double v) { return v <= 0 || std::isnan(v) ? 0 : v > 1e6 ? 1000000u : static_cast<uint32_t>(v); }

int TypeSpace(CKmComposite* m) {
  ValueCell n = PopTypeCell(m);
  if (IsConstant(n)) {
    uint32_t w = ClampWidth(std::floor(n.value + 0.5));
    PushStringCell(m, w, w);
  } else {
    PushStringCell(m, n.intDigits == 1 ? 9 : 20, 0);
  }
  return 0;
}
int TypeSubstr(CKmComposite* m) {
  ValueCell len = PopTypeCell(m), start = PopTypeCell(m), s = PopTypeCell(m);
  int64_t p = IsConstant(start) ? static_cast<int64_t>(std::trunc(start.value)) - 1 : 0;
  if (IsConstant(len) && CellKind(len) != kKindEmpty) {
    uint32_t w = ClampWidth(std::trunc(len.value));
    PushStringCell(m, std::max<uint32_t>(w, 1), std::max<uint32_t>(w, 1));
    return 0;
  }
  int64_t w = static_cast<int64_t>(s.width) - p;
  int64_t l = (IsConstant(start) && s.length != 0) ? static_cast<int64_t>(s.length) - p : 0;
  if (w < 1) w = 1;
  if (l < 0) l = 1;
  ValueCell c = DescribeString(m, static_cast<uint32_t>(std::min<int64_t>(w, 1000000)));
  c.length = static_cast<uint32_t>(std::min<int64_t>(l, m->stringWorkSize));
  PushTypeCell(m, c);
  return 0;
}
int TypeStr(CKmComposite* m) {
  PopTypeCell(m);
  ValueCell len = PopTypeCell(m);
  PopTypeCell(m);
  if (IsConstant(len) && len.value > 0) {
    uint32_t n = ClampWidth(len.value);
    PushStringCell(m, n, n);
  } else {
    PushStringCell(m, 10, 0);
  }
  return 0;
}
int TypeLeftRight(CKmComposite* m) {
  ValueCell n = PopTypeCell(m), s = PopTypeCell(m);
  if (IsConstant(n)) {
    uint32_t w = std::max<uint32_t>(1, ClampWidth(std::floor(n.value + 0.5)));
    PushStringCell(m, w, w);
  } else {
    PushStringCell(m, s.width, 0);
  }
  return 0;
}
int TypeReplicate(CKmComposite* m) {
  ValueCell n = PopTypeCell(m), s = PopTypeCell(m);
  if (IsConstant(n)) {
    uint32_t w = ClampWidth(std::floor(s.width * n.value + 0.5));
    PushStringCell(m, w, s.length != 0 ? w : 0);
  } else {
    PushStringCell(m, 20, 0);
  }
  return 0;
}
int TypeStuff(CKmComposite* m) {
  ValueCell ins = PopTypeCell(m);
  PopTypeCell(m);
  PopTypeCell(m);
  ValueCell s = PopTypeCell(m);
  uint32_t w = s.width + ins.width;
  PushStringCell(m, w, (IsConstant(s) && IsConstant(ins)) ? w : 0);
  return 0;
}
int TypeStrRep(CKmComposite* m) {
  DropTypeCells(m, 3);
  ValueCell s = PopTypeCell(m);
  PushStringCell(m, s.width + 1, 0);
  return 0;
}
int TypeCapFirst(CKmComposite* m) {
  PopTypeCell(m);
  ValueCell s = PopTypeCell(m);
  s.kind &= ~kKindConstant;
  PushTypeCell(m, s);
  return 0;
}
int TypeSoundex(CKmComposite* m) {
  DropTypeCells(m, 2);
  PushStringCell(m, 4, 4);
  return 0;
}
int TypeWordFlip(CKmComposite* m) {  // WORD and FLIP: the text's description
  const unsigned argc = m->argumentCount;
  ValueCell s = PeekTypeCell(m, argc - 1) ? *PeekTypeCell(m, argc - 1) : ValueCell();
  DropTypeCells(m, argc);
  PushStringCell(m, s.width, s.length);
  return 0;
}
int TypeTransform(CKmComposite* m) {
  ValueCell pic = PopTypeCell(m), v = PopTypeCell(m);
  switch (CellKind(v)) {
    case kKindString:
      PushStringCell(m, std::max(v.width, pic.width),
                     (v.length == 0 || pic.length == 0) ? 0 : std::max(v.length, pic.length));
      break;
    case kKindNumber:
    case kKindLogical: {
      uint32_t w = pic.width <= 3 ? 16 : pic.width < 25 ? 25 : pic.width;
      PushStringCell(m, w, w);
      break;
    }
    default:
      PushStringCell(m, pic.width, pic.width);
  }
  return 0;
}
int TypeRiParam(CKmComposite* m) {
  PopTypeCell(m);
  PushStringCell(m, 15, 0);
  return 0;
}
int TypeCdll(CKmComposite* m) {
  DropTypeCells(m, 3);
  PushStringCell(m, 10, 0);
  return 0;
}
int TypeQuery(CKmComposite* m) {
  DropTypeCells(m, m->argumentCount);
  ValueCell c = DescribeLongText();
  c.width = 50;
  c.length = 0;
  PushTypeCell(m, c);
  return 0;
}
int TypeLibName(CKmComposite* m) {
  DropTypeCells(m, m->argumentCount);
  const BuiltinDocumentState& d = ActiveBuiltinDocument();
  ValueCell c = DescribeString(m, d.libraryOpen ? static_cast<uint32_t>(d.libraryName.size()) : 30);
  c.length = 260;
  PushTypeCell(m, c);
  return 0;
}
int TypeUdfName(CKmComposite* m) {
  DropTypeCells(m, m->argumentCount);
  ValueCell c = DescribeString(m, static_cast<uint32_t>(ActiveBuiltinDocument().programDirectory.size() + 7));
  c.length = 260;
  PushTypeCell(m, c);
  return 0;
}
int TypeRepName(CKmComposite* m) {
  ValueCell flag = PopTypeCell(m);
  ValueCell c = DescribeString(m, static_cast<uint32_t>(ReportNameText(flag.value != 0).size()));
  c.length = 260;
  PushTypeCell(m, c);
  return 0;
}

}  // namespace

int WordCount(const char* text, const char* breaks) {
  int n = 0;
  bool in = false;
  for (const char* p = text; *p; ++p) {
    bool brk = IsBreak(breaks, *p);
    if (!brk && !in) ++n;
    in = !brk;
  }
  return n;
}

namespace {
char SoundexCode(unsigned char c) {
  switch (CharUpperByte(c)) {
    case 'B': case 'F': case 'P': case 'V': return '1';
    case 'C': case 'G': case 'J': case 'K': case 'Q': case 'S': case 'X': case 'Z': return '2';
    case 'D': case 'T': return '3';
    case 'L': return '4';
    case 'M': case 'N': return '5';
    case 'R': return '6';
    default: return 0;
  }
}
}  // namespace

std::string Soundex(const char* s, const char* breaks) {
  if (!s[0]) return std::string();
  std::string out(1, static_cast<char>(CharUpperByte(static_cast<unsigned char>(s[0]))));
  out += "000";
  char prev = SoundexCode(static_cast<unsigned char>(s[0]));
  int written = 0;
  for (const char* p = s + 1; *p && !IsBreak(breaks, *p) && written < 3; ++p) {
    char c = SoundexCode(static_cast<unsigned char>(*p));
    if (c != 0 && c != prev) out[1 + written++] = c;
    prev = c;
  }
  return out;
}

std::string ReportNameText(bool stored) {
  const BuiltinDocumentState& d = ActiveBuiltinDocument();
  if (d.reportName.empty()) return LoadResString(kStrUntitled);
  if (stored) return d.reportName;
  std::string t = d.reportTitleName.empty() ? d.reportName : d.reportTitleName;
  size_t dot = t.rfind('.');
  if (dot != std::string::npos && t.size() - dot - 1 == 3 && CompareNoCase(t.c_str() + dot + 1, "KMW") == 0)
    t.erase(dot);
  return t;
}

bool CallUserLibrary(const char* library, const char* function, char* buffer, size_t capacity) {
  HMODULE h = LoadLibraryA(library);
  if (h == nullptr) return false;
  using UserFn = int32_t (*)(char*);
  FARPROC p = function[0] ? GetProcAddress(h, function) : nullptr;
  int32_t r = 0;
  if (p != nullptr) r = reinterpret_cast<UserFn>(p)(buffer);
  FreeLibrary(h);
  buffer[capacity] = 0;
  return p != nullptr && r != 0;
}

void InstallStringFunctions() {
  SetBuiltinHandlers(7, EvalAt, TypeSearch);
  SetBuiltinHandlers(8, EvalLen, TypeLen);
  SetBuiltinHandlers(9, EvalLower, DefaultTypeHandler);
  SetBuiltinHandlers(10, EvalUpper, DefaultTypeHandler);
  SetBuiltinHandlers(11, EvalSpace, TypeSpace);
  SetBuiltinHandlers(12, EvalSubstr, TypeSubstr);
  SetBuiltinHandlers(13, EvalTrim, DefaultTypeHandler);
  SetBuiltinHandlers(14, EvalAsc, TypeAsc);
  SetBuiltinHandlers(15, EvalChr, TypeChr);
  SetBuiltinHandlers(16, EvalStr, TypeStr);
  SetBuiltinHandlers(30, EvalCharTest<IsCharAlphaByte>, LogicalTypeHandler);
  SetBuiltinHandlers(31, EvalCharTest<IsCharLowerByte>, LogicalTypeHandler);
  SetBuiltinHandlers(32, EvalCharTest<IsCharUpperByte>, LogicalTypeHandler);
  SetBuiltinHandlers(33, EvalLtrim, DefaultTypeHandler);
  SetBuiltinHandlers(34, EvalTrim, DefaultTypeHandler);
  SetBuiltinHandlers(35, EvalLeft, TypeLeftRight);
  SetBuiltinHandlers(36, EvalRight, TypeLeftRight);
  SetBuiltinHandlers(37, EvalReplicate, TypeReplicate);
  SetBuiltinHandlers(38, EvalStuff, TypeStuff);
  SetBuiltinHandlers(59, nullptr, TypeWordFlip);
  SetBuiltinHandlers(60, nullptr, TypeTransform);
  SetBuiltinHandlers(61, EvalCapFirst, TypeCapFirst);
  SetBuiltinHandlers(64, EvalSoundex, TypeSoundex);
  SetBuiltinHandlers(65, EvalWdCount, TypeWdCount);
  SetBuiltinHandlers(66, EvalWord, TypeWordFlip);
  SetBuiltinHandlers(70, EvalQuery, TypeQuery);
  SetBuiltinHandlers(71, EvalStrSearch, TypeSearch);
  SetBuiltinHandlers(72, EvalStrCount, TypeSearch);
  SetBuiltinHandlers(73, EvalStrRep, TypeStrRep);
  SetBuiltinHandlers(83, EvalLike, LogicalTypeHandler);
  SetBuiltinHandlers(90, EvalRiParam, TypeRiParam);
  SetBuiltinHandlers(104, EvalCdll, TypeCdll);
  SetBuiltinHandlers(105, EvalSqlExp, TypeLen);
  SetBuiltinHandlers(106, [](CKmComposite*) { return 0; }, DefaultTypeHandler);
  SetBuiltinHandlers(107, EvalLibName, TypeLibName);
  SetBuiltinHandlers(108, EvalRepName, TypeRepName);
  SetBuiltinHandlers(109, EvalUdfName, TypeUdfName);
  SetBuiltinHandlers(134, [](CKmComposite*) { return 0; }, DefaultTypeHandler);
}
