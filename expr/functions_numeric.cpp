// The numeric and logical built-in functions: value and type handlers.
#include "expr/functions_numeric.h"

#include "expr/builtin_table.h"
#include "expr/collation.h"
#include "expr/functions_common.h"
#include "expr/type_eval.h"
#include "expr/value_eval.h"
#include "expr/value_helpers.h"
#include "core/composite.h"
#include "platform/win/c_numbers.h"
#include "platform/win/resources.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace {

// ---- Value handlers

int EvalMin(CKmComposite* m) {
  double b = PopNumber(m), a = PopNumber(m);
  PushNumber(m, a < b ? a : b);
  return 0;
}
int EvalMax(CKmComposite* m) {
  double b = PopNumber(m), a = PopNumber(m);
  PushNumber(m, a > b ? a : b);
  return 0;
}
int EvalExp(CKmComposite* m) {
  PushNumber(m, std::exp(PopNumber(m)));
  return 0;
}
int EvalInt(CKmComposite* m) {
  PushNumber(m, std::trunc(PopNumber(m)));
  return 0;
}
int EvalLog(CKmComposite* m) {
  double x = PopNumber(m);
  if (!(x > 0)) {
    SetErrorFlag(m);
    x = 0;
  } else {
    x = std::log(x);
  }
  PushNumber(m, x);
  return 0;
}
int EvalSqrt(CKmComposite* m) {
  double x = PopNumber(m);
  if (x < 0 || std::isnan(x)) {
    SetErrorFlag(m);
    x = 0;
  } else {
    x = std::sqrt(x);
  }
  PushNumber(m, x);
  return 0;
}
int EvalRound(CKmComposite* m) {
  double n = PopNumber(m), x = PopNumber(m);
  PushNumber(m, RoundHalfAway(x, n));
  return 0;
}
int EvalVal(CKmComposite* m) {
  size_t n = PopTextPadToBlank(m, m->stringWork1);
  if (n > 200) m->stringWork1[200] = 0;
  PushNumber(m, ReadLeadingNumber(m->stringWork1));
  return 0;
}
int EvalPageNo(CKmComposite* m) {
  DropEmptyArgument(m);
  PushNumber(m, ActiveBuiltinDocument().pageNumber);
  return 0;
}
int EvalCopy(CKmComposite* m) {
  DropEmptyArgument(m);
  PushNumber(m, ActiveBuiltinDocument().copyNumber);
  return 0;
}
int EvalRecNo(CKmComposite* m) {
  DropEmptyArgument(m);
  // reportRecordNumber is the place of the current record in the report (1
  // for the first); the counter RECNO adds to counts from 0 on that record,
  // and stays there before any record is read.
  const uint32_t counter = m->reportRecordNumber > 0 ? m->reportRecordNumber - 1 : 0;
  PushNumber(m, static_cast<double>(counter) + 1.0);
  return 0;
}
int EvalKmUnin(CKmComposite* m) {
  DropEmptyArgument(m);
  PushNumber(m, 0.0);
  return 0;
}
int EvalAbs(CKmComposite* m) {
  double x = PopNumber(m);
  PushNumber(m, x < 0 ? -x : x);
  return 0;
}
int EvalMod(CKmComposite* m) {
  double b = PopNumber(m), a = PopNumber(m);
  double r = 0;
  if (b == 0) SetErrorFlag(m);
  else r = a - std::floor(a / b) * b;
  PushNumber(m, r);
  return 0;
}
int EvalNothing(CKmComposite*) { return 0; }

int EvalInRange(CKmComposite* m) {
  ValueClass cls = ClassOfTop(m);
  if (cls == ValueClass::Other) cls = ValueClass::Date;
  PoppedValue hi = PopByClass(m, cls);
  PoppedValue lo = PopByClass(m, cls);
  PoppedValue t = PopByClass(m, cls);
  bool in = !(CompareValues(m, t, lo) < 0 || CompareValues(m, hi, t) < 0);
  PushNumber(m, in ? 1.0 : 0.0);
  return 0;
}

ValueClass ComparableClass(ValueClass c) {
  if (c == ValueClass::Time || c == ValueClass::Date) return ValueClass::DateTime;
  if (c == ValueClass::Other) return ValueClass::Date;
  return c;
}

int EvalInList(CKmComposite* m) {
  const unsigned n = m->argumentCount > 0 ? m->argumentCount - 1 : 0;
  RotateStack(m, n);
  m->valueFlags = 0;
  const ValueClass cls = ComparableClass(ClassOfTop(m));
  PoppedValue t = PopByClass(m, cls);
  const uint32_t kept = m->valueFlags;
  unsigned found = 0;
  for (unsigned j = n; j >= 1; --j) {
    // Each list value by its own class: a value of another class is not equal.
    ValueClass own = ComparableClass(ClassOfTop(m));
    if (found != 0 || own != cls) {
      DropCell(m);
      continue;
    }
    PoppedValue w = PopByClass(m, cls);
    if (CompareValues(m, t, w) == 0) found = j;
  }
  m->valueFlags = kept;
  PushNumber(m, found);
  return 0;
}

int EvalCase(CKmComposite* m) {
  const unsigned argc = m->argumentCount;
  if (argc < 4) return 2;
  const unsigned pairs = argc / 2 - 1;
  RotateStack(m, argc - 1);
  m->valueFlags = 0;
  const ValueClass tcls = ComparableClass(ClassOfTop(m));
  PoppedValue t = PopByClass(m, tcls);
  const uint32_t tflags = m->valueFlags;
  m->valueFlags = 0;
  const ValueClass dcls = ClassOfTop(m);
  PoppedValue result = PopByClass(m, dcls);
  uint32_t rflags = m->valueFlags;
  bool matched = false;
  for (unsigned p = 0; p < pairs; ++p) {
    m->valueFlags = 0;
    if (matched) {
      DropCell(m);
      DropCell(m);
      continue;
    }
    PoppedValue r = PopByClass(m, dcls);
    uint32_t f = m->valueFlags;
    m->valueFlags = 0;
    ValueClass kcls = ComparableClass(ClassOfTop(m));
    bool equal = false;
    if (kcls == tcls) equal = EqualValues(m, t, PopByClass(m, tcls));
    else DropCell(m);
    if (equal) {
      matched = true;
      result = r;
      rflags = f;
    }
  }
  m->valueFlags = tflags | rflags;
  PushPopped(m, result);
  return 0;
}

int EvalError(CKmComposite* m) {
  m->valueFlags = 0;
  ValueClass cls = ClassOfTop(m);
  PopByClass(m, cls == ValueClass::Other ? cls : ComparableClass(cls));
  const bool bad = (m->valueFlags & 5) != 0;
  m->valueFlags = 0;
  PushNumber(m, bad ? 1.0 : 0.0);
  return 0;
}

int EvalIsNull(CKmComposite* m) {
  bool previous = false;
  FieldDef* f = PopFieldRef(m, &previous);
  const bool null = f != nullptr && (previous ? f->previousNull : (f->totalFlags & kTotalNullValue) != 0);
  PushNumber(m, null ? 1.0 : 0.0);
  return 0;
}

int EvalSpellNum(CKmComposite* m) {
  std::string s;
  if (!SpellNumber(PopNumber(m), m->stringWorkSize, &s)) SetErrorFlag(m);
  PushText(m, s);
  return 0;
}

// ---- Type handlers

int TypeMinMax(CKmComposite* m) {
  ValueCell b = PopTypeCell(m), a = PopTypeCell(m);
  PushNumberCell(m, std::max(a.intDigits, b.intDigits), std::max(a.decimals, b.decimals), a.format);
  return 0;
}
int TypeExp(CKmComposite* m) {
  ValueCell a = PopTypeCell(m);
  PushNumberCell(m, a.intDigits * 2, a.decimals, a.format);
  return 0;
}
int TypeInt(CKmComposite* m) {
  ValueCell a = PopTypeCell(m);
  a.width = a.width > a.decimals ? a.width - a.decimals : 0;
  a.decimals = 0;
  PushTypeCell(m, a);
  return 0;
}
int TypeRound(CKmComposite* m) {
  ValueCell n = PopTypeCell(m), a = PopTypeCell(m);
  if (n.kind & kKindConstant) {
    double v = std::trunc(n.value);
    int d = v < 0 || std::isnan(v) ? 0 : static_cast<int>(std::min(v, 255.0));
    int w = static_cast<int>(a.width) + d - a.decimals;
    a.width = static_cast<uint32_t>(std::max(0, w));
    a.decimals = static_cast<uint8_t>(d);
  }
  PushTypeCell(m, a);
  return 0;
}
int TypeVal(CKmComposite* m) {
  ValueCell a = PopTypeCell(m);
  if (a.kind & kKindConstant) PushNumberCell(m, a.textIntDigits, a.textDecimals);
  else PushNumberCell(m, 5, 2);
  return 0;
}
int TypeDigits(CKmComposite* m, int digits) {
  DropTypeCells(m, 1);
  PushNumberCell(m, digits, 0);
  return 0;
}
int TypePageNo(CKmComposite* m) { return TypeDigits(m, 4); }
int TypeCopy(CKmComposite* m) { return TypeDigits(m, 3); }
int TypeRecNo(CKmComposite* m) { return TypeDigits(m, 5); }
int TypeAbs(CKmComposite* m) {
  ValueCell a = PopTypeCell(m);
  if (a.kind & kKindConstant) a.value = std::fabs(a.value);
  if (CellKind(a) == kKindLogical) {
    a.kind = kKindNumber | (a.kind & kKindConstant);
    a.format = 5;
    a.width = 1;
  }
  PushTypeCell(m, a);
  return 0;
}
int TypeMod(CKmComposite* m) {
  ValueCell b = PopTypeCell(m);
  PopTypeCell(m);
  b.kind &= ~kKindConstant;
  if (CellKind(b) == kKindLogical) {
    b.kind = kKindNumber;
    b.format = kFormatNumber;
  }
  PushTypeCell(m, b);
  return 0;
}
int TypeIif(CKmComposite* m) {
  ValueCell f = PopTypeCell(m), t = PopTypeCell(m);
  PopTypeCell(m);
  t.kind &= ~kKindConstant;
  if (CellKind(t) == kKindNumber) {
    t.intDigits = std::max(t.intDigits, f.intDigits);
    t.decimals = std::max(t.decimals, f.decimals);
    t.width = static_cast<uint32_t>(t.intDigits) + t.decimals;
  } else {
    t.width = std::max(t.width, f.width);
  }
  t.length = (t.length == 0 || f.length == 0) ? 0 : std::max(t.length, f.length);
  PushTypeCell(m, t);
  return 0;
}
int TypeInRange(CKmComposite* m) {
  DropTypeCells(m, 3);
  PushLogicalCell(m);
  return 0;
}
int TypeInList(CKmComposite* m) {
  unsigned n = m->argumentCount > 0 ? m->argumentCount - 1 : 0;
  DropTypeCells(m, m->argumentCount);
  PushNumberCell(m, n < 10 ? 1 : n < 100 ? 2 : 3, 0);
  return 0;
}
int TypeCase(CKmComposite* m) {
  const unsigned argc = m->argumentCount;
  const unsigned pairs = argc >= 4 ? argc / 2 - 1 : 0;
  ValueCell d = PopTypeCell(m);
  const bool number = CellKind(d) == kKindNumber;
  int intDigits = d.intDigits, decimals = d.decimals;
  uint32_t format = d.format, width = d.width, length = d.length;
  bool zeroLength = d.length == 0;
  ValueCell first = d;
  for (unsigned p = 0; p < pairs; ++p) {
    ValueCell r = PopTypeCell(m);
    PopTypeCell(m);  // the value
    first = r;
    if (number) {
      intDigits = std::max<int>(intDigits, r.intDigits);
      decimals = std::max<int>(decimals, r.decimals);
      format = CombineNumberFormats(format, r.format);
    }
    width = std::max(width, r.width);
    if (r.length == 0) zeroLength = true;
    length = std::max(length, r.length);
  }
  PopTypeCell(m);  // the test value
  if (number) {
    PushNumberCell(m, intDigits, decimals, format);
    return 0;
  }
  first.kind &= ~kKindConstant;
  first.width = width;
  first.length = zeroLength ? 0 : length;
  first.format = d.format;
  PushTypeCell(m, first);
  return 0;
}
int TypeSpellNum(CKmComposite* m) {
  DropTypeCells(m, 1);
  PushStringCell(m, 45, 45);
  return 0;
}

// ---- SPELLNUM words from the string table
constexpr UINT kWordZero = 9510, kWordTwenty = 9530, kWordHundred = 9538, kWordThousand = 9539,
               kWordMinus = 9545, kWordHyphen = 9546;

std::string Word(UINT id) { return LoadResString(id); }

std::string SpellThreeDigits(int h, int t, int u) {
  std::string s;
  if (h) s = Word(kWordZero + h) + " " + Word(kWordHundred);
  if (t == 0 && u == 0) return s;
  if (h) s += ' ';
  if (t == 0) s += Word(kWordZero + u);
  else if (t == 1) s += Word(kWordZero + 10 + u);
  else {
    s += Word(kWordTwenty + t - 2);
    if (u) s += Word(kWordHyphen) + Word(kWordZero + u);
  }
  return s;
}

}  // namespace

double RoundHalfAway(double x, double n) {
  const double s = std::pow(10.0, n);
  if (!std::isfinite(x)) return x;
  // A scale that overflows, or a value already past the last fraction bit,
  // leaves the value as it is; a scale that underflows rounds to zero.
  if (!std::isfinite(s)) return x;
  if (s == 0) return std::copysign(0.0, x);
  const bool negative = x < 0;
  const double scaled = std::fabs(x) * s;
  if (!std::isfinite(scaled) || scaled >= 4503599627370496.0) return x;  // already whole
  double t = scaled + 0.5;
  // Below 2^51 a value one unit short of a half rounds up, as its decimal
  // text would; above it every value is a whole or a half and adds exactly.
  if (scaled < 2251799813685248.0) {
    uint64_t bits = DoubleBits(t);
    if (bits & 1) t = DoubleFromBits(bits + 1);
  }
  double r = std::floor(t) / s;
  return negative ? -r : r;
}

double ReadLeadingNumber(const char* text) {
  // White space, sign, digits, point, exponent: the first other character
  // ends the number. No hexadecimal, infinity or NaN forms.
  const char* p = text;
  while (*p == ' ' || (*p >= 9 && *p <= 13)) ++p;
  std::string t;
  if (*p == '+' || *p == '-') t += *p++;
  size_t digits = 0;
  while (*p >= '0' && *p <= '9') t += *p++, ++digits;
  if (*p == '.') {
    t += *p++;
    while (*p >= '0' && *p <= '9') t += *p++, ++digits;
  }
  if (digits == 0) return 0.0;
  if (*p == 'e' || *p == 'E') {
    const char* q = p + 1;
    std::string e = "e";
    if (*q == '+' || *q == '-') e += *q++;
    if (*q >= '0' && *q <= '9') {
      while (*q >= '0' && *q <= '9') e += *q++;
      t += e;
    }
  }
  return StrToDoubleC(t.c_str(), nullptr);
}

bool SpellNumber(double x, uint32_t limit, std::string* out) {
  std::string s;
  double ip = 0;
  bool ok = std::isfinite(x) && std::fabs(x) < 1e21;
  if (ok) {
    std::modf(x, &ip);
    char digits[32];
    std::snprintf(digits, sizeof digits, "%021.0f", std::fabs(ip));
    // "minus" only for a non-zero integer part: -0.5 spells "Zero".
    if (ip < 0) s = Word(kWordMinus);
    for (int g = 7; g >= 1; --g) {
      const char* d = digits + (7 - g) * 3;
      std::string w = SpellThreeDigits(d[0] - '0', d[1] - '0', d[2] - '0');
      if (w.empty()) continue;
      if (!s.empty()) s += ' ';
      s += w;
      if (g >= 2) s += " " + Word(kWordThousand + g - 2);
    }
    if (s.empty() || s == Word(kWordMinus)) s = Word(kWordZero);
    s[0] = static_cast<char>(CharUpperByte(static_cast<unsigned char>(s[0])));
  }
  if (!ok || s.size() > limit) {
    // Too large to spell: the shape of an overflow.
    s.assign(ok ? limit : std::min<uint32_t>(limit, 45), '*');
    *out = s;
    return false;
  }
  *out = s;
  return true;
}

void InstallNumericFunctions() {
  SetBuiltinHandlers(0, EvalMin, TypeMinMax);
  SetBuiltinHandlers(1, EvalMax, TypeMinMax);
  SetBuiltinHandlers(2, EvalExp, TypeExp);
  SetBuiltinHandlers(3, EvalInt, TypeInt);
  SetBuiltinHandlers(4, EvalLog, DefaultTypeHandler);
  SetBuiltinHandlers(5, EvalRound, TypeRound);
  SetBuiltinHandlers(6, EvalSqrt, DefaultTypeHandler);
  SetBuiltinHandlers(17, EvalVal, TypeVal);
  SetBuiltinHandlers(28, EvalPageNo, TypePageNo);
  SetBuiltinHandlers(29, EvalRecNo, TypeRecNo);
  SetBuiltinHandlers(39, EvalAbs, TypeAbs);
  SetBuiltinHandlers(40, EvalMod, TypeMod);
  SetBuiltinHandlers(56, EvalNothing, TypeIif);
  SetBuiltinHandlers(57, EvalInRange, TypeInRange);
  SetBuiltinHandlers(58, EvalInList, TypeInList);
  SetBuiltinHandlers(62, EvalCase, TypeCase);
  SetBuiltinHandlers(63, EvalError, LogicalTypeHandler);
  SetBuiltinHandlers(67, EvalSpellNum, TypeSpellNum);
  SetBuiltinHandlers(68, EvalNothing, DefaultTypeHandler);
  SetBuiltinHandlers(69, EvalCopy, TypeCopy);
  SetBuiltinHandlers(84, EvalKmUnin, TypeRecNo);
  SetBuiltinHandlers(118, EvalIsNull, LogicalTypeHandler);
}
