#include "expr/builtin_table.h"

#include <cstring>

#include "expr/type_eval.h"
#include "foundation/text_helpers.h"

namespace {

// Argument lists: count byte, then one type byte per argument, in 4-byte steps.
const uint8_t kArgs0[] = {2, kArgNumber, kArgNumber, 0};
const uint8_t kArgs1[] = {1, kArgNumber, 0, 0};
const uint8_t kArgs2[] = {3, kArgString, kArgString, kArgNumber | kArgOptional};
const uint8_t kArgs3[] = {1, kArgString, 0, 0};
const uint8_t kArgs4[] = {3, kArgString, kArgNumber, kArgNumber | kArgOptional};
const uint8_t kArgs5[] = {3, kArgNumber, kArgNumber | kArgOptional, kArgNumber | kArgOptional};
const uint8_t kArgs6[] = {1, kArgNone, 0, 0};
const uint8_t kArgs7[] = {1, kArgDate, 0, 0};
const uint8_t kArgs8[] = {2, kArgDate, kArgNumber | kArgOptional, 0};
const uint8_t kArgs9[] = {2, kArgString, kArgNumber, 0};
const uint8_t kArgs10[] = {4, kArgString, kArgNumber, kArgNumber, kArgString, 0, 0, 0};
const uint8_t kArgs11[] = {2, kArgDate, kArgNumber, 0};
const uint8_t kArgs12[] = {2, kArgDate, kArgDate, 0};
const uint8_t kArgs13[] = {3, kArgValue, kArgValue, kArgSame};
const uint8_t kArgs14[] = {3, kArgAny, kArgSame, kArgSame};
const uint8_t kArgs15[] = {kArgCountRepeat, kArgAny, 0, 0};
const uint8_t kArgs16[] = {2, kArgString, kArgString, 0};
const uint8_t kArgs17[] = {2, kArgAny, kArgString, 0};
const uint8_t kArgs18[] = {2, kArgString, kArgString | kArgOptional, 0};
const uint8_t kArgs19[] = {kArgCountCase, 0, 0, 0};
const uint8_t kArgs20[] = {1, kArgAny, 0, 0};
const uint8_t kArgs21[] = {3, kArgString, kArgNumber, kArgString | kArgOptional};
const uint8_t kArgs22[] = {1, kArgField, 0, 0};
const uint8_t kArgs23[] = {4, kArgString, kArgString, kArgNumber, kArgNumber | kArgOptional, 0, 0, 0};
const uint8_t kArgs24[] = {4, kArgString, kArgString, kArgString, kArgNumber | kArgOptional, 0, 0, 0};
const uint8_t kArgs25[] = {2, kArgString, kArgText, 0};
const uint8_t kArgs26[] = {3, kArgString, kArgString, kArgString};
const uint8_t kArgs27[] = {1, kArgValue, 0, 0};
const uint8_t kArgs28[] = {1, kArgNumber | kArgOptional, 0, 0};
const uint8_t kArgs29[] = {3, kArgDate, kArgNumber, kArgNumber};
const uint8_t kArgs30[] = {3, kArgInterval, kArgNumber, kArgDateTime};
const uint8_t kArgs31[] = {3, kArgInterval, kArgDateTime, kArgDateTime};
const uint8_t kArgs32[] = {1, kArgDateTime, 0, 0};
const uint8_t kArgs33[] = {2, kArgInterval, kArgDateTime, 0};
const uint8_t kArgs34[] = {1, kArgTime, 0, 0};
const uint8_t kArgs35[] = {2, kArgString, kArgTimeLayout | kArgOptional, 0};
const uint8_t kArgs36[] = {2, kArgNumber, kArgTimeLayout | kArgOptional, 0};

}  // namespace

BuiltinFunctionRecord BuiltinFunctionTable[kBuiltinSlotCount] = {
    {"MIN", 8800, 2000, kResultNumber, kArgs0, nullptr, nullptr},  // 0
    {"MAX", 8801, 2001, kResultNumber, kArgs0, nullptr, nullptr},  // 1
    {"EXP", 8802, 2002, kResultNumber, kArgs1, nullptr, nullptr},  // 2
    {"INT", 8803, 2003, kResultNumber, kArgs1, nullptr, nullptr},  // 3
    {"LOG", 8804, 2004, kResultNumber, kArgs1, nullptr, DefaultTypeHandler},  // 4
    {"ROUND", 8805, 2005, kResultNumber, kArgs0, nullptr, nullptr},  // 5
    {"SQRT", 8806, 2006, kResultNumber, kArgs1, nullptr, DefaultTypeHandler},  // 6
    {"AT", 8807, 2007, kResultNumber, kArgs2, nullptr, nullptr},  // 7
    {"LEN", 8808, 2008, kResultNumber, kArgs3, nullptr, nullptr},  // 8
    {"LOWER", 8809, 2009, kResultString, kArgs3, nullptr, DefaultTypeHandler},  // 9
    {"UPPER", 8810, 2010, kResultString, kArgs3, nullptr, DefaultTypeHandler},  // 10
    {"SPACE", 8811, 2011, kResultString, kArgs1, nullptr, nullptr},  // 11
    {"SUBSTR", 8812, 2012, kResultString, kArgs4, nullptr, nullptr},  // 12
    {"TRIM", 8813, 2013, kResultString, kArgs3, nullptr, DefaultTypeHandler},  // 13
    {"ASC", 8814, 2014, kResultNumber, kArgs3, nullptr, nullptr},  // 14
    {"CHR", 8815, 2015, kResultString, kArgs1, nullptr, nullptr},  // 15
    {"STR", 8816, 2016, kResultString, kArgs5, nullptr, nullptr},  // 16
    {"VAL", 8817, 2017, kResultNumber, kArgs3, nullptr, nullptr},  // 17
    {"DATE", 8818, 2018, kResultDate, kArgs6, nullptr, nullptr},  // 18
    {"CDOW", 8819, 2019, kResultString, kArgs7, nullptr, nullptr},  // 19
    {"CMONTH", 8820, 2020, kResultString, kArgs7, nullptr, nullptr},  // 20
    {"CTOD", 8821, 2021, kResultDate, kArgs3, nullptr, nullptr},  // 21
    {"DAY", 8822, 2022, kResultNumber, kArgs7, nullptr, nullptr},  // 22
    {"DOW", 8823, 2023, kResultNumber, kArgs7, nullptr, nullptr},  // 23
    {"DTOC", 8824, 2024, kResultString, kArgs8, nullptr, nullptr},  // 24
    {"MONTH", 8825, 2025, kResultNumber, kArgs7, nullptr, nullptr},  // 25
    {"YEAR", 8826, 2026, kResultNumber, kArgs7, nullptr, nullptr},  // 26
    {"TIME", 8827, 2027, kResultString, kArgs6, nullptr, nullptr},  // 27
    {"PAGENO", 8828, 2028, kResultNumber, kArgs6, nullptr, nullptr},  // 28
    {"RECNO", 8829, 2029, kResultNumber, kArgs6, nullptr, nullptr},  // 29
    {"ISALPHA", 8830, 2030, kResultLogical, kArgs3, nullptr, nullptr},  // 30
    {"ISLOWER", 8831, 2031, kResultLogical, kArgs3, nullptr, nullptr},  // 31
    {"ISUPPER", 8832, 2032, kResultLogical, kArgs3, nullptr, nullptr},  // 32
    {"LTRIM", 8833, 2033, kResultString, kArgs3, nullptr, DefaultTypeHandler},  // 33
    {"RTRIM", 8834, 2034, kResultString, kArgs3, nullptr, DefaultTypeHandler},  // 34
    {"LEFT", 8835, 2035, kResultString, kArgs9, nullptr, nullptr},  // 35
    {"RIGHT", 8836, 2036, kResultString, kArgs9, nullptr, nullptr},  // 36
    {"REPLICATE", 8837, 2037, kResultString, kArgs9, nullptr, nullptr},  // 37
    {"STUFF", 8838, 2038, kResultString, kArgs10, nullptr, nullptr},  // 38
    {"ABS", 8839, 2039, kResultNumber, kArgs1, nullptr, nullptr},  // 39
    {"MOD", 8840, 2040, kResultNumber, kArgs0, nullptr, nullptr},  // 40
    {"ADDDAYS", 8841, 2041, kResultDate, kArgs11, nullptr, nullptr},  // 41
    {"ADDWKS", 8842, 2042, kResultDate, kArgs11, nullptr, nullptr},  // 42
    {"ADDMONS", 8843, 2043, kResultDate, kArgs11, nullptr, nullptr},  // 43
    {"ADDYRS", 8844, 2044, kResultDate, kArgs11, nullptr, nullptr},  // 44
    {"SUBDAYS", 8845, 2045, kResultDate, kArgs11, nullptr, nullptr},  // 45
    {"SUBWKS", 8846, 2046, kResultDate, kArgs11, nullptr, nullptr},  // 46
    {"SUBMONS", 8847, 2047, kResultDate, kArgs11, nullptr, nullptr},  // 47
    {"SUBYRS", 8848, 2048, kResultDate, kArgs11, nullptr, nullptr},  // 48
    {"DAYSBTWN", 8849, 2049, kResultNumber, kArgs12, nullptr, nullptr},  // 49
    {"WKSBTWN", 8850, 2050, kResultNumber, kArgs12, nullptr, nullptr},  // 50
    {"MONSBTWN", 8851, 2051, kResultNumber, kArgs12, nullptr, nullptr},  // 51
    {"YRSBTWN", 8852, 2052, kResultNumber, kArgs12, nullptr, nullptr},  // 52
    {"WEEK", 8853, 2053, kResultNumber, kArgs7, nullptr, nullptr},  // 53
    {"DQTR", 8854, 2054, kResultDate, kArgs7, nullptr, DefaultTypeHandler},  // 54
    {"QTR", 8855, 2055, kResultNumber, kArgs7, nullptr, nullptr},  // 55
    {"IIF", 8856, 2056, kResultSame, kArgs13, nullptr, nullptr},  // 56
    {"INRANGE", 8857, 2057, kResultLogical, kArgs14, nullptr, nullptr},  // 57
    {"INLIST", 8858, 2058, kResultNumber, kArgs15, nullptr, nullptr},  // 58
    {"FLIP", 8859, 2059, kResultString, kArgs16, nullptr, nullptr},  // 59
    {"TRANSFORM", 8860, 2060, kResultString, kArgs17, nullptr, nullptr},  // 60
    {"CAPFIRST", 8861, 2061, kResultString, kArgs18, nullptr, nullptr},  // 61
    {"CASE", 8862, 2062, kResultSame, kArgs19, nullptr, nullptr},  // 62
    {"ERROR", 8863, 2063, kResultLogical, kArgs20, nullptr, nullptr},  // 63
    {"SOUNDEX", 8864, 2064, kResultString, kArgs18, nullptr, nullptr},  // 64
    {"WDCOUNT", 8865, 2065, kResultNumber, kArgs18, nullptr, nullptr},  // 65
    {"WORD", 8866, 2066, kResultString, kArgs21, nullptr, nullptr},  // 66
    {"SPELLNUM", 8867, 2067, kResultString, kArgs1, nullptr, nullptr},  // 67
    {"PREVIOUS", 8868, 2068, kResultSame, kArgs22, nullptr, DefaultTypeHandler},  // 68
    {"COPY", 8869, 2069, kResultNumber, kArgs6, nullptr, nullptr},  // 69
    {"QUERY", 8870, 2070, kResultQuery, kArgs6, nullptr, nullptr},  // 70
    {"STRSEARCH", 8871, 2071, kResultNumber, kArgs23, nullptr, nullptr},  // 71
    {"STRCOUNT", 8872, 2072, kResultNumber, kArgs2, nullptr, nullptr},  // 72
    {"STRREP", 8873, 2073, kResultString, kArgs24, nullptr, nullptr},  // 73
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 74 free
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 75 free
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 76 free
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 77 free
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 78 free
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 79 free
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 80 free
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 81 free
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 82 free
    {"LIKE", 8883, 2083, kResultLogical, kArgs25, nullptr, nullptr},  // 83
    {"KMUNIN", 8884, 2084, kResultNumber, kArgs6, nullptr, nullptr},  // 84
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 85 free
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 86 free
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 87 free
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 88 free
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 89 free
    {"RIPARAM", 8890, 2090, kResultString, kArgs3, nullptr, nullptr},  // 90
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 91 free
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 92 free
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 93 free
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 94 free
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 95 free
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 96 free
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 97 free
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 98 free
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 99 free
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 100 free
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 101 free
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 102 free
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 103 free
    {"CDLL", 8904, 2104, kResultString, kArgs26, nullptr, nullptr},  // 104
    {"SQLEXP", 8905, 2105, kResultNumber, kArgs3, nullptr, nullptr},  // 105
    {"KM", 8906, 2106, kResultSame, kArgs27, nullptr, DefaultTypeHandler},  // 106
    {"LIBNAME", 8907, 2107, kResultString, kArgs6, nullptr, nullptr},  // 107
    {"REPNAME", 8908, 2108, kResultString, kArgs28, nullptr, nullptr},  // 108
    {"UDFNAME", 8909, 2109, kResultString, kArgs6, nullptr, nullptr},  // 109
    {"HALF", 8910, 2110, kResultNumber, kArgs7, nullptr, nullptr},  // 110
    {"MONLEN", 8911, 2111, kResultNumber, kArgs7, nullptr, nullptr},  // 111
    {"AGED", 8912, 2112, kResultLogical, kArgs29, nullptr, nullptr},  // 112
    {"PAST", 8913, 2113, kResultLogical, kArgs8, nullptr, nullptr},  // 113
    {"FUTURE", 8914, 2114, kResultLogical, kArgs8, nullptr, nullptr},  // 114
    {"OVER", 8915, 2115, kResultLogical, kArgs11, nullptr, nullptr},  // 115
    {"NDOW", 8916, 2116, kResultDate, kArgs11, nullptr, nullptr},  // 116
    {"PDOW", 8917, 2117, kResultDate, kArgs11, nullptr, nullptr},  // 117
    {"ISNULL", 8918, 2118, kResultLogical, kArgs22, nullptr, nullptr},  // 118
    {"DTEADD", 8919, 2119, kResultDate, kArgs30, nullptr, nullptr},  // 119
    {"DTEDIFF", 8920, 2120, kResultNumber, kArgs31, nullptr, nullptr},  // 120
    {"TODATE", 8921, 2121, kResultDate, kArgs32, nullptr, nullptr},  // 121
    {"DTEPART", 8922, 2122, kResultNumber, kArgs33, nullptr, nullptr},  // 122
    {"", 8923, 2123, kResultDateTime, kArgs30, nullptr, nullptr},  // 123
    {"", 8924, 2124, kResultTime, kArgs30, nullptr, nullptr},  // 124
    {"TOTIME", 8925, 2125, kResultTime, kArgs32, nullptr, nullptr},  // 125
    {"DTTOC", 8926, 2126, kResultString, kArgs32, nullptr, nullptr},  // 126
    {"TTOC", 8927, 2127, kResultString, kArgs34, nullptr, nullptr},  // 127
    {"", kFreeSlotTextId, 0, 0, nullptr, nullptr, nullptr},  // 128 free
    {"TTOS", 8929, 2129, kResultNumber, kArgs34, nullptr, nullptr},  // 129
    {"CTDT", 8930, 2130, kResultDateTime, kArgs3, nullptr, nullptr},  // 130
    {"CTOS", 8931, 2131, kResultNumber, kArgs35, nullptr, nullptr},  // 131
    {"CTOT", 8932, 2132, kResultTime, kArgs3, nullptr, nullptr},  // 132
    {"STOC", 8933, 2133, kResultString, kArgs36, nullptr, nullptr},  // 133
    {"PERCOMP", 8934, 2134, kResultSame, kArgs27, nullptr, DefaultTypeHandler},  // 134
    {"NOW", 8935, 2135, kResultDateTime, kArgs6, nullptr, nullptr},  // 135
    {nullptr, 0, 0, 0, nullptr, nullptr, nullptr},  // 136 ends name searches
};

void SetBuiltinHandlers(uint32_t slot, BuiltinEvalFn evaluate, BuiltinTypeFn inferType) {
  // Free slots and the end record stay without handlers: they are not functions.
  if (slot >= kBuiltinSlotCount - 1 || IsFreeBuiltinSlot(slot)) return;
  if (evaluate != nullptr) BuiltinFunctionTable[slot].evaluate = evaluate;
  if (inferType != nullptr) BuiltinFunctionTable[slot].inferType = inferType;
}

const BuiltinFunctionRecord* GetBuiltinFunction(uint32_t slot) {
  return slot < kBuiltinSlotCount ? &BuiltinFunctionTable[slot] : nullptr;
}

bool IsFreeBuiltinSlot(uint32_t slot) {
  return slot >= kBuiltinSlotCount || BuiltinFunctionTable[slot].syntaxTextId == kFreeSlotTextId ||
         BuiltinFunctionTable[slot].argumentList == nullptr;
}

uint8_t BuiltinArgCount(uint32_t slot) {
  const BuiltinFunctionRecord* r = GetBuiltinFunction(slot);
  return (r != nullptr && r->argumentList != nullptr) ? r->argumentList[0] : 0;
}

uint8_t BuiltinArgType(uint32_t slot, unsigned i) {
  const BuiltinFunctionRecord* r = GetBuiltinFunction(slot);
  if (r == nullptr || r->argumentList == nullptr) return 0;
  const uint8_t count = r->argumentList[0];
  if (count == kArgCountRepeat) return r->argumentList[1];
  if (count == kArgCountCase || i >= count) return 0;
  return r->argumentList[1 + i];
}

int FindBuiltinExact(const char* name, size_t length) {
  if (name == nullptr || length == 0) return -1;
  for (int slot = 0; slot < kBuiltinSlotCount; ++slot) {
    const char* n = BuiltinFunctionTable[slot].name;
    if (n == nullptr) break;
    if (std::strlen(n) == length && EqualNoCase(n, name, length)) return slot;
  }
  return -1;
}

int FindBuiltinByPrefix(const char* name, size_t length) {
  if (name == nullptr || length < 4) return -1;
  for (int slot = 0; slot < kBuiltinSlotCount; ++slot) {
    const char* n = BuiltinFunctionTable[slot].name;
    if (n == nullptr) break;
    if (std::strlen(n) >= length && EqualNoCase(n, name, length)) return slot;
  }
  return -1;
}

int DefaultTypeHandler(CKmComposite* model) {
  ValueCell cell = PopTypeCell(model);
  cell.kind &= ~kKindConstant;
  PushTypeCell(model, cell);
  return 0;
}
