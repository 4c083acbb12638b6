#include "expr/scanner.h"

#include "expr/builtin_table.h"
#include "expr/calendar.h"
#include "expr/compiler_state.h"
#include "expr/date_text.h"
#include "expr/udf.h"
#include "foundation/text_helpers.h"
#include "core/composite.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cstring>

namespace {

const char kOperatorChars[] = "+-/*^%(),=#<>$!\"'[{";

bool IsOperatorChar(char c) { return c != '\0' && std::strchr(kOperatorChars, c) != nullptr; }
char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

bool InQuoted(const ExpressionScan& scan, size_t at) {
  for (const auto& r : scan.quoted)
    if (at >= r.first && at < r.second) return true;
  return false;
}

struct KeywordEntry {
  const char* word;
  uint8_t cls, tag, value;
};
const KeywordEntry kKeywords[] = {
    {"YYYY", 42, 24, 1}, {"YEAR", 42, 24, 1}, {"Q", 42, 24, 2}, {"QUARTER", 42, 24, 2},
    {"M", 42, 24, 3}, {"MONTH", 42, 24, 3}, {"Y", 42, 24, 4}, {"DAYOFYEAR", 42, 24, 4},
    {"D", 42, 24, 5}, {"DAY", 42, 24, 5}, {"W", 42, 24, 6}, {"WEEKDAY", 42, 24, 6},
    {"WW", 42, 24, 7}, {"WEEK", 42, 24, 7}, {"H", 43, 25, 8}, {"HOURS", 43, 25, 8},
    {"N", 43, 25, 9}, {"MINUTES", 43, 25, 9}, {"S", 43, 25, 10}, {"SECONDS", 43, 25, 10},
    {"HH", 45, 27, 1}, {"MM", 45, 27, 2}, {"SS", 45, 27, 3}, {"HH:MM", 45, 27, 4},
    {"HH:MM:SS", 45, 27, 5}, {"MM:SS", 45, 27, 6},
};

bool ReadNumber(const std::string& w, ScanToken& t) {
  size_t dots = 0, digits = 0, after = 0;
  for (char c : w) {
    if (c == '.') {
      if (++dots > 1) return false;
    } else if (c >= '0' && c <= '9') {
      ++digits;
      if (dots) ++after;
    } else {
      return false;
    }
  }
  if (digits == 0) return false;
  std::string head = w.substr(0, 100);
  // Independent of the process locale: the point is always ".".
  if (head.back() == '.') head.pop_back();
  double v = 0;
  std::from_chars(head.data(), head.data() + head.size(), v);
  t.number = v;
  t.pointCount = dots ? static_cast<uint8_t>(after + 1 > 255 ? 255 : after + 1) : 0;
  return true;
}

// Function lookup: built-ins exactly, user functions exactly, then
// abbreviations of four or more characters in the same order.
bool FindFunction(CKmComposite* m, const std::string& name, int32_t& out) {
  if (name.empty()) return false;
  int slot = FindBuiltinExact(name.data(), name.size());
  if (slot >= 0) {
    out = slot;
    return true;
  }
  uint32_t id = 0;
  if (FindUdfIdByName(m, name.data(), name.size(), false, &id)) {
    out = -static_cast<int32_t>(id);
    return true;
  }
  if (name.size() < 4) return false;
  slot = FindBuiltinByPrefix(name.data(), name.size());
  if (slot >= 0) {
    out = slot;
    return true;
  }
  if (FindUdfIdByName(m, name.data(), name.size(), true, &id)) {
    out = -static_cast<int32_t>(id);
    return true;
  }
  return false;
}

uint8_t FirstArgumentType(CKmComposite* m, int32_t function) {
  if (function >= 0) return BuiltinArgType(static_cast<uint32_t>(function), 0);
  UdfInfo info;
  if (GetUdfInfo(m, static_cast<uint32_t>(-function), &info) &&
      info.argumentList && info.argumentList[0] > 0)
    return info.argumentList[1];
  return 0;
}

int FieldNamed(CKmComposite* m, const char* name, size_t len, int table, int32_t& number,
               bool ambiguityCheck) {
  int32_t found = -1;
  uint32_t n = 0;
  for (FieldDef* f = m->fieldList; f; f = f->next, ++n) {
    if (f->flags & kFieldAlias) continue;
    if (table >= 0 && f->table != table) continue;
    if (!EqualNoCase(std::string_view(name, len), f->name)) continue;
    if (found >= 0) {
      number = -1;
      return 0;
    }
    found = static_cast<int32_t>(n);
    if (!ambiguityCheck) break;
  }
  if (found < 0) return 1;
  number = found;
  return 0;
}

}  // namespace

FieldDef* FieldAtNumber(const CKmComposite* m, uint32_t n) {
  FieldDef* f = m->fieldList;
  while (f && n--) f = f->next;
  return f;
}

int FindTableSlotByAlias(CKmComposite* m, const char* name, size_t length) {
  if (length == 0 || std::memchr(name, '.', length)) return -1;
  for (int i = 0; i < kMaxTables; ++i) {
    TableSlot* t = m->tableSlots[i];
    if (t && t->alias[0] && EqualNoCase(std::string_view(name, length), t->alias)) return i;
  }
  return -1;
}

int LookUpFieldName(CKmComposite* m, const char* name, size_t length, int32_t& number,
                    bool ambiguityCheck) {
  if (FieldNamed(m, name, length, -1, number, ambiguityCheck) == 0) return 0;
  const char* dot = static_cast<const char*>(std::memchr(name, '.', length));
  if (!dot) return 1;
  size_t tl = static_cast<size_t>(dot - name);
  int slot = FindTableSlotByAlias(m, name, tl);
  if (slot < 0 && EqualNoCase(std::string_view(name, tl), m->reportViewName.c_str())) slot = kTableDerivedColumn;
  if (slot < 0) return 1;
  // With a table part a name cannot be ambiguous: the first field of that table wins.
  return FieldNamed(m, dot + 1, length - tl - 1, slot, number, false);
}

int PrepareExpressionText(CKmComposite* m, ExpressionScan& scan, const char* text) {
  CompilerState* st = GetCompilerState(m);
  scan = ExpressionScan{};
  size_t n = std::strlen(text);
  if (n >= kPreparedTextSize) return 9;
  std::string& p = scan.prepared;
  p.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    char c = text[i];
    if (c == '\\') {
      p += c;
      if (i + 1 < n) p += text[++i];
      continue;
    }
    if (c == '"' || c == '\'' || c == '[') {
      char close = (c == '[') ? ']' : c;
      const char* end = std::strchr(text + i + 1, close);
      if (!end) return 13;
      if (scan.quoted.size() >= kMaxQuotedRanges) return 9;
      size_t closeAt = static_cast<size_t>(end - text);
      scan.quoted.emplace_back(i + 1, closeAt);
      p.append(text + i, closeAt - i + 1);
      i = closeAt;
      continue;
    }
    p += Upper(c);
  }
  for (int w = kWordDotAnd; w <= kWordDotF; ++w) {
    const std::string& word = st->words[w];
    if (word.size() < 2) continue;
    for (size_t at = p.find(word); at != std::string::npos; at = p.find(word, at + 1)) {
      if (InQuoted(scan, at)) continue;
      p[at] = '!';
      p[at + word.size() - 1] = '!';
    }
  }
  return 0;
}

int NextExpressionToken(CKmComposite* m, ExpressionScan& scan, ScanToken& t, bool markError) {
  CompilerState* st = GetCompilerState(m);
  const std::string& p = scan.prepared;
  size_t& pos = scan.position;
  t = ScanToken{};
  while (pos < p.size() && std::isspace(static_cast<unsigned char>(p[pos]))) ++pos;
  t.start = pos;
  auto finish = [&](int code, size_t next) {
    pos = next;
    t.end = next;
    while (pos < p.size() && std::isspace(static_cast<unsigned char>(p[pos]))) ++pos;
    t.code = code;
    return code;
  };
  if (pos >= p.size()) return finish(kTokEnd, pos);

  char c = p[pos];
  char c1 = pos + 1 < p.size() ? p[pos + 1] : '\0';
  if (IsOperatorChar(c)) {
    bool tableNext = scan.tableArgumentNext;
    scan.tableArgumentNext = tableNext && c == '(';
    switch (c) {
      case '+': return finish(kTokPlus, pos + 1);
      case '-': return finish(kTokMinus, pos + 1);
      case '/': return finish(kTokDivide, pos + 1);
      case '*': return c1 == '*' ? finish(kTokPower, pos + 2) : finish(kTokMultiply, pos + 1);
      case '^': return finish(kTokPower, pos + 1);
      case '%': return finish(kTokPercent, pos + 1);
      case '(': return finish(kTokOpen, pos + 1);
      case ')': return finish(kTokClose, pos + 1);
      case ',': return finish(kTokComma, pos + 1);
      case '=': return finish(kTokEqual, pos + 1);
      case '#': return finish(kTokNotEqual, pos + 1);
      case '$': return finish(kTokContains, pos + 1);
      case '<':
        if (c1 == '>') return finish(kTokNotEqual, pos + 2);
        if (c1 == '=') return finish(kTokLessEqual, pos + 2);
        return finish(kTokLess, pos + 1);
      case '>':
        if (c1 == '=') return finish(kTokGreaterEqual, pos + 2);
        return finish(kTokGreater, pos + 1);
      case '!': {
        static const int kCodes[] = {kTokAnd, kTokOr, kTokNot, kTokTrue, kTokFalse};
        for (int w = kWordDotAnd; w <= kWordDotF; ++w) {
          const std::string& word = st->words[w];
          if (word.size() < 2) continue;
          size_t inner = word.size() - 2;
          if (p.compare(pos + 1, inner, word, 1, inner) == 0 && pos + 1 + inner < p.size() &&
              p[pos + 1 + inner] == '!')
            return finish(kCodes[w - kWordDotAnd], pos + inner + 2);
        }
        return finish(kTokError, markError ? pos : pos + 1);
      }
      case '{': {
        size_t close = p.find('}', pos + 1);
        if (close == std::string::npos) return finish(kTokError, markError ? pos : p.size());
        std::string lit = p.substr(pos + 1, close - pos - 1);
        if (lit.size() > m->stringWorkSize) lit.resize(m->stringWorkSize);
        double time = 0;
        uint32_t day = 0;
        int kind = ParseDateTimeLiteral(ModelDateSettings(m), lit.c_str(), time, day);
        t.value = day;
        t.time = time;
        if (kind == kLiteralDate) return finish(kTokDate, close + 1);
        if (kind == kLiteralDateTime) return finish(kTokDateTime, close + 1);
        if (kind == kLiteralTime) return finish(kTokTime, close + 1);
        return finish(kTokError, markError ? pos : close + 1);
      }
      default: {  // quotes
        char closeChar = (c == '[') ? ']' : c;
        size_t close = p.find(closeChar, pos + 1);
        if (close == std::string::npos) return finish(kTokError, markError ? pos : p.size());
        t.text = p.substr(pos + 1, close - pos - 1);
        if (t.text.size() > m->stringWorkSize) t.text.resize(m->stringWorkSize);
        char pad = static_cast<char>(m->SpaceDotChar);
        for (char& ch : t.text)
          if (ch == ' ') ch = pad;
        return finish(kTokString, close + 1);
      }
    }
  }

  // A word: up to a blank or an operator character; a backslash takes the
  // next character into the word.
  std::string word;
  size_t i = pos;
  while (i < p.size() && p[i] != ' ' && !IsOperatorChar(p[i])) {
    if (p[i] == '\\' && i + 1 < p.size()) {
      word += p[i + 1];
      i += 2;
      continue;
    }
    if (p[i] == '.' && !t.qualified) {
      t.qualified = true;
      t.dotAt = i;
    }
    word += p[i++];
  }
  if (word.empty()) return finish(kTokEnd, pos);
  while (!word.empty() && word.back() == ' ') word.pop_back();
  size_t after = i;
  while (after < p.size() && p[after] == ' ') ++after;
  bool paren = after < p.size() && p[after] == '(';
  bool tableArgument = scan.tableArgumentNext;
  scan.tableArgumentNext = false;

  if (ReadNumber(word, t)) return finish(kTokNumber, i);
  int32_t fn = 0;
  bool isFunction = FindFunction(m, word, fn);
  if (paren && isFunction) {
    t.function = fn;
    scan.tableArgumentNext = (FirstArgumentType(m, fn) & 0x1F) == kArgTable;
    return finish(kTokFunction, i);
  }
  if (tableArgument) {
    int slot = FindTableSlotByAlias(m, word.data(), word.size());
    if (slot >= 0) {
      t.value = static_cast<uint32_t>(slot);
      return finish(kTokTable, i);
    }
  }
  int32_t number = 0;
  if (LookUpFieldName(m, word.data(), word.size(), number, true) == 0) {
    if (number < 0) return finish(kTokAmbiguous, i);
    t.value = static_cast<uint32_t>(number);
    // A name with a "." that is itself a field's whole name has no table part.
    int32_t whole = 0;
    if (t.qualified && FieldNamed(m, word.data(), word.size(), -1, whole, false) == 0) t.qualified = false;
    return finish(kTokField, i);
  }
  int slot = FindTableSlotByAlias(m, word.data(), word.size());
  if (slot >= 0) {
    t.value = static_cast<uint32_t>(slot);
    return finish(kTokTable, i);
  }
  static const struct { int word; int code; } kPlain[] = {
      {kWordTrue, kTokTrue}, {kWordYes, kTokTrue}, {kWordOn, kTokTrue},
      {kWordFalse, kTokFalse}, {kWordNo, kTokFalse}, {kWordOff, kTokFalse},
      {kWordAnd, kTokAnd}, {kWordOr, kTokOr}, {kWordNot, kTokNot}};
  for (const auto& w : kPlain)
    if (EqualNoCase(word, st->words[w.word].c_str())) return finish(w.code, i);
  for (const auto& k : kKeywords) {
    if (EqualNoCase(word, k.word)) {
      t.keywordClass = k.cls;
      t.keywordTag = k.tag;
      t.keywordValue = k.value;
      return finish(kTokKeyword, i);
    }
  }
  if (isFunction) {
    t.function = fn;
    return finish(kTokFunction, i);
  }
  return finish(kTokError, markError ? pos : i);
}

FieldDef* FindUncompiledField(CKmComposite* m) {
  for (FieldDef* f = m->fieldList; f; f = f->next) {
    if (!(f->flags & kFieldNeeded) || (f->flags & kFieldAlias)) continue;
    if ((f->flags & kFieldCalculation) && f->exprText && f->exprText[0] && !f->code) return f;
    if (f->conditionText && f->conditionText[0] && !f->conditionCode) return f;
  }
  return nullptr;
}
