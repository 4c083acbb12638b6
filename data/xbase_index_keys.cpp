// Index keys: the stored form of each kind and key type, the conversions
// from and to the caller's values, and the three-way comparisons.
#include "data/xbase_index_engine.h"

#include "expr/collation.h"
#include "foundation/byte_order.h"
#include "platform/win/codepage.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The empty value of numbers and dates.
constexpr double kEmptyValue = -DBL_MAX;

int CompareDoubles(double a, double b) { return a < b ? -1 : (a > b ? 1 : 0); }
int CompareInt32(int32_t a, int32_t b) { return a < b ? -1 : (a > b ? 1 : 0); }

int ComparePackedKeys(const uint8_t* a, const uint8_t* b) {
  const uint16_t wa = GetU16(a), wb = GetU16(b);
  const bool na = (wa & 0x8000) != 0, nb = (wb & 0x8000) != 0;
  if (na != nb) return na ? -2 : 2;
  const int ea = wa & 0x3FF, eb = wb & 0x3FF;
  if (ea != eb) return na ? eb - ea : ea - eb;
  for (int i = 2; i < 12; ++i)
    if (a[i] != b[i]) return na ? b[i] - a[i] : a[i] - b[i];
  return 0;
}

void Reverse(uint8_t* p, int n) {
  for (int i = 0, j = n - 1; i < j; ++i, --j) {
    const uint8_t t = p[i];
    p[i] = p[j];
    p[j] = t;
  }
}

}  // namespace

void ConvertKeyFromOem(IndexEngineState* e, uint8_t* bytes, int32_t length) {
  if (e->charsetSwitch != 0 || length <= 0) return;
  OemToCharBuffA(reinterpret_cast<const char*>(bytes), reinterpret_cast<char*>(bytes), static_cast<DWORD>(length));
}

int PackNumericKey(double value, uint8_t out[12]) {
  std::memset(out, 0, 12);
  if (value == DBL_MAX || value == -DBL_MAX) {
    PutU16(out, value > 0 ? 0x03FF : 0x83FF);
    std::memset(out + 2, 0x99, 10);
    return 0;
  }
  if (value == 0.0 || std::isnan(value)) {
    PutU16(out, 0x0134);
    return 0;
  }
  // Sixteen significant digits with one before the point give the exponent.
  char text[64];
  std::snprintf(text, sizeof text, "%.15e", std::fabs(value));
  const char* ePart = std::strchr(text, 'e');
  if (ePart == nullptr) return 1;
  const int exponent = std::atoi(ePart + 1);
  const int biased = exponent + 309;
  if (biased < 0 || biased > 1023) return 1;
  PutU16(out, static_cast<uint16_t>(biased | (value < 0 ? 0x8000 : 0)));
  int digit = 0;
  for (const char* t = text; t < ePart && digit < 16; ++t) {
    if (*t < '0' || *t > '9') continue;
    const int d = *t - '0';
    out[2 + digit / 2] |= static_cast<uint8_t>(digit % 2 == 0 ? d << 4 : d);
    ++digit;
  }
  return 0;
}

void UnpackNumericKey(const uint8_t key[12], double* valueOut) {
  const uint16_t word = GetU16(key);
  const int biased = word & 0x3FF;
  const bool negative = (word & 0x8000) != 0;
  if (biased == 0x3FF) {
    *valueOut = negative ? -DBL_MAX : DBL_MAX;
    return;
  }
  char text[48];
  int n = 0;
  for (int i = 0; i < 20; ++i) {
    int d = i % 2 == 0 ? key[2 + i / 2] >> 4 : key[2 + i / 2] & 0x0F;
    if (d > 9) d = 9;  // a damaged nibble reads as its nearest digit
    text[n++] = static_cast<char>('0' + d);
    if (i == 0) text[n++] = '.';
  }
  std::snprintf(text + n, sizeof text - static_cast<size_t>(n), "e%d", biased - 309);
  const double v = std::strtod(text, nullptr);
  *valueOut = negative ? -v : v;
}

void EncodeSearchKey(IndexEngineState* e, uint8_t* key, const IndexCursor* c, bool* inexact) {
  const int32_t type = static_cast<int32_t>(c->keyType & 0xFF);
  if (type == 'C' && c->kind != kIndex20DA) return;
  switch (c->kind) {
    case kIndexNtx:
      // Negative numbers sort before positive ones when their digits are
      // complemented behind a comma.
      if (key[0] == '-') {
        key[0] = ',';
        for (int32_t i = 1; i < c->keyLength && key[i] != 0; ++i)
          if (key[i] >= '0' && key[i] <= '9') key[i] = static_cast<uint8_t>(92 - key[i]);
      }
      return;
    case kIndex20DA: {
      const int code = static_cast<int>((c->keyType >> 8) & 0xFF);
      if (code == 1 || code == 5) return;
      const double v = GetF64(key);
      int32_t n = 0;
      if (code == 2) n = v == kEmptyValue ? 0 : static_cast<int32_t>(std::trunc(v - 2305508.0)) - 109877;
      else if (code == 3)
        n = v == kEmptyValue || !(std::fabs(v) < 2147483648.0) ? INT32_MIN : static_cast<int32_t>(std::trunc(v));
      else return;
      PutU32(key, static_cast<uint32_t>(n));
      return;
    }
    case kIndexIdx:
    case kIndexCompactIdx:
    case kIndexCdx:
    case kIndexNsx: {
      const double v = GetF64(key);
      if (c->keyLength != 4) {
        Reverse(key, 8);
        if (key[0] & 0x80)
          for (int i = 0; i < 8; ++i) key[i] = static_cast<uint8_t>(~key[i]);
        else
          key[0] |= 0x80;
        return;
      }
      // Beyond the integer range a value is clamped to the smallest or the
      // largest key (stored 00000000 and FFFFFFFF), so it still sorts in place.
      uint32_t n;
      if (std::isnan(v) || v < -2147483647.0) {
        n = 0x80000000u;
        if (!(v == -2147483648.0)) *inexact = true;
      } else if (v > 2147483647.0) {
        n = 0x7FFFFFFFu;
        *inexact = true;
      } else {
        const double t = std::trunc(v);
        if (t != v) *inexact = true;
        n = static_cast<uint32_t>(static_cast<int32_t>(t));
      }
      PutU32(key, n);
      Reverse(key, 4);
      key[0] ^= 0x80;
      return;
    }
    default:
      return;
  }
}

int DecodeStoredKey(IndexEngineState* e, uint8_t* key, const IndexCursor* c) {
  const int32_t type = static_cast<int32_t>(c->keyType & 0xFF);
  switch (c->kind) {
    case kIndexMdx:
      if (type == 'N') {
        double v = 0;
        UnpackNumericKey(key, &v);
        PutF64(key, v);
      }
      return 0;
    case kIndexNtx:
      if (type != 'C') {
        if (key[0] < '-' && key[0] != ',') return 1;
        if (key[0] == ',') {
          key[0] = '-';
          for (int32_t i = 1; i < c->keyLength && key[i] != 0; ++i)
            if (key[i] >= 92 - '9' && key[i] <= 92 - '0') key[i] = static_cast<uint8_t>(92 - key[i]);
        }
      }
      return 0;
    case kIndex20DA: {
      const int code = static_cast<int>((c->keyType >> 8) & 0xFF);
      const int32_t n = static_cast<int32_t>(GetU32(key));
      if (code == 2) PutF64(key, n == 0 ? kEmptyValue : static_cast<double>(n) + 109877.0 + 2305508.0);
      else if (code == 3) PutF64(key, n == INT32_MIN ? kEmptyValue : static_cast<double>(n));
      return 0;
    }
    case kIndexIdx:
    case kIndexCompactIdx:
    case kIndexCdx:
    case kIndexNsx:
      if (type == 'C') return 0;
      if (c->keyLength != 4) {
        if (key[0] & 0x80) key[0] &= 0x7F;
        else
          for (int i = 0; i < 8; ++i) key[i] = static_cast<uint8_t>(~key[i]);
        Reverse(key, 8);
      } else {
        key[0] ^= 0x80;
        Reverse(key, 4);
        PutF64(key, static_cast<double>(static_cast<int32_t>(GetU32(key))));
      }
      return 0;
    default:
      return 0;
  }
}

int CompareKeys(IndexEngineState* e, const IndexCursor* c, const uint8_t* entry, const uint8_t* search, int32_t length) {
  const int32_t type = static_cast<int32_t>(c->keyType & 0xFF);
  int r;
  if (c->kind == kIndex20DA) {
    const int code = static_cast<int>((c->keyType >> 8) & 0xFF);
    if (code == 1)
      r = CompareCallbacks.CompareFixedText(reinterpret_cast<const char*>(entry), reinterpret_cast<const char*>(search),
                                            length, 1, e->collation);
    else if (code == 5)
      r = CompareDoubles(GetF64(entry), GetF64(search));
    else
      r = CompareInt32(static_cast<int32_t>(GetU32(entry)), static_cast<int32_t>(GetU32(search)));
  } else if (c->kind == kIndexMdx && type == 'N') {
    r = ComparePackedKeys(entry, search);
  } else if ((c->kind == kIndexNdx || c->kind == kIndexWdx || c->kind == kIndexMdx) && type != 'C') {
    r = CompareDoubles(GetF64(entry), GetF64(search));
  } else if (type == 'C') {
    r = CompareCallbacks.CompareFixedText(reinterpret_cast<const char*>(entry), reinterpret_cast<const char*>(search),
                                          length, 1, e->collation);
  } else {
    r = std::memcmp(entry, search, static_cast<size_t>(length));
  }
  if ((c->kind == kIndexNtx || c->kind == kIndexMdx) && c->descending) r = -r;
  return r;
}
