#include "model/memo_text.h"

#include "expr/collation.h"
#include "expr/value_format.h"
#include "core/composite.h"
#include "core/engine_errors.h"
#include "core/fields.h"
#include "model/record_pass.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

enum State { kNormal = 0, kAfterOne = 1, kAfterTwo = 2 };
constexpr size_t kMaxCode = 255;
constexpr uint8_t kSoftReturn = 141;
constexpr uint8_t kCtrlZ = 26;

// One raw byte: 0..255, -2 at the end, -1 on error.
int RawByte(MemoReader& r) {
  if (r.position >= r.end) return -2;
  if (r.position < r.blockPosition || r.position >= r.blockPosition + r.blockLength) {
    if (r.source == nullptr) return -1;
    uint64_t want = sizeof r.block;
    if (r.end != UINT64_MAX && r.end - r.position < want) want = r.end - r.position;
    const long n = r.source->ReadAt(r.position, r.block, static_cast<size_t>(want));
    if (n < 0) return -1;
    r.blockPosition = r.position;
    r.blockLength = static_cast<size_t>(n);
    if (n == 0) {
      r.end = r.position;
      return -2;
    }
  }
  return r.block[r.position++ - r.blockPosition];
}

// The next character and whether it is plain text (never a code start).
int NextChar(MemoReader& r, bool* literal) {
  *literal = false;
  if (!r.pending.empty()) {
    const auto p = r.pending.front();
    r.pending.pop_front();
    *literal = p.second;
    return static_cast<unsigned char>(p.first) == static_cast<unsigned char>(kMemoLineEnd) && !p.second
               ? kMemoLineEnd
               : static_cast<unsigned char>(p.first);
  }
  return ReadMemoChar(r);
}

void Store(MemoReader& r, char c) {
  if (r.length == kMemoWindow) return;
  r.text[r.length] = c;
  r.styles[r.length] = r.style;
  r.attrs[r.length] = static_cast<uint32_t>(r.size) * 65536u + static_cast<uint32_t>(r.font & 0xFFFF);
  ++r.length;
  r.text[r.length] = 0;
}

void PushBack(MemoReader& r, const std::string& s, bool literal) {
  for (auto it = s.rbegin(); it != s.rend(); ++it) r.pending.emplace_front(*it, literal);
}

bool IsCodeEnd(int c) { return c == ' ' || c == '\t' || c == kMemoLineEnd || c == '\\'; }

}  // namespace

// The field a "\" code names: the whole name, then table.field.
FieldDef* LookUpFieldName(CKmComposite* m, const std::string& name) {
  if (m == nullptr || name.empty()) return nullptr;
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next)
    if (CompareNoCase(f->name, name.c_str()) == 0) return f;
  const size_t dot = name.find('.');
  if (dot == std::string::npos) return nullptr;
  const std::string table = name.substr(0, dot), field = name.substr(dot + 1);
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) {
    if (f->table >= kMaxTables || m->tableSlots[f->table] == nullptr) continue;
    if (CompareNoCase(m->tableSlots[f->table]->alias, table.c_str()) == 0 && CompareNoCase(f->name, field.c_str()) == 0)
      return f;
  }
  return nullptr;
}

namespace {

// The text a field code stands for; false when the name is no insertable field.
bool FieldCodeText(MemoReader& r, const std::string& name, std::string* out) {
  FieldDef* f = LookUpFieldName(r.model, name);
  if (f == nullptr || (f->flags & kFieldMemo)) return false;
  const bool calc = (f->flags & kFieldCalculation) && f->code != nullptr;
  const bool total = (f->totalFlags & kTotalIsTotal) != 0;
  const bool data = !(f->flags & kFieldCalculation) && !total;
  if (!calc && !total && !data) return false;
  // Outside a pass, or when the pass does not need the field, it has no
  // current value of its own: evaluate it for this text.
  if (r.model != nullptr && (f->value == nullptr || !(f->flags & kFieldNeeded))) {
    if (ReevaluateForField(r.model, f) != 0) {
      r.error = kEngineNoMemory;
      return false;
    }
  }
  if (r.model != nullptr && r.previousValues && GivePreviousBuffer(r.model, f) != 0) {
    r.error = kEngineNoMemory;
    return false;
  }
  const uint8_t* v = r.previousValues && f->previous != nullptr ? f->previous : f->value;
  if (v == nullptr || r.format == nullptr) {
    out->clear();
    return true;
  }
  char buffer[20 + kMaxFormattedText + 20] = {};
  // A field that was never placed has no width of its own: its whole value.
  const uint32_t placedWidth = f->displayWidth;
  if (placedWidth == 0) f->displayWidth = FieldKind(f) == 0 ? std::min<uint32_t>(std::max<uint32_t>(f->width, 1), 254) : 20;
  const int n = FormatFieldValue(*r.format, f, buffer, v, -1, kOutputText, nullptr);
  f->displayWidth = placedWidth;
  std::string s(buffer, n > 0 ? static_cast<size_t>(n) : 0);
  const char pad = static_cast<char>(r.format->padChar);
  size_t first = s.find_first_not_of(' ');
  s = first == std::string::npos ? std::string() : s.substr(first);
  if (s.empty() || s.back() != pad)
    while (!s.empty() && s.back() == ' ') s.pop_back();
  for (char& c : s)
    if (c == pad) c = ' ';
  *out = s;
  return true;
}

}  // namespace

int ReadMemoChar(MemoReader& r) {
  for (;;) {
    const int b = RawByte(r);
    if (b == -1) return -1;
    if (b == -2 || b == kCtrlZ) {
      if (b == kCtrlZ) r.end = r.position - 1;
      r.atEnd = true;
      return 0;
    }
    if (b == '\r' || b == '\n') {
      // CR LF and LF CR are one line end.
      const int other = b == '\r' ? '\n' : '\r';
      const int n = RawByte(r);
      if (n == -1) return -1;
      if (n >= 0 && n != other) --r.position;
      return kMemoLineEnd;
    }
    if (b == kSoftReturn) return kMemoLineEnd;
    if (b == '\t') return ' ';
    if (b < 32) continue;
    if (r.textTable && !r.ansi) return OemByteToAnsi(static_cast<unsigned char>(b));
    return b;
  }
}

int ApplyStyleCode(MemoReader& r, const std::string& code) {
  if (code.size() == 1 && (code[0] == 'R' || code[0] == 'r')) {
    // The styled part ends: back to the field's own look.
    r.closed = true;
    r.font = r.defaultFont, r.size = r.defaultSize, r.style = r.defaultStyle;
    return 0;
  }
  uint8_t bits = 0;
  bool hadD = false, hadN = false, hadF = false, hadP = false, any = false;
  int32_t font = r.font, size = r.size;
  size_t i = 0;
  while (i < code.size()) {
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(code[i])));
    if (c == ' ') {
      ++i;
      continue;
    }
    if (c == 'B' || c == 'U' || c == 'I') {
      const uint8_t bit = c == 'B' ? kMemoBold : (c == 'U' ? kMemoUnderline : kMemoItalic);
      if ((bits & bit) || hadD || hadN) return 1;
      bits |= bit;
      ++i;
    } else if (c == 'D') {
      if (any) return 1;
      hadD = true;
      font = r.defaultFont, size = r.defaultSize;
      ++i;
    } else if (c == 'N') {
      if (bits || hadN) return 1;
      hadN = true;
      ++i;
    } else if (c == 'F') {
      if (hadF || hadD) return 1;
      size_t e = code.find(' ', i + 1);
      if (e == std::string::npos) e = code.size();
      const std::string face = code.substr(i + 1, e - i - 1);
      const int found = (face.empty() || r.findFace == nullptr) ? -1 : r.findFace(r.doc, face.c_str());
      if (found < 0) return 1;
      font = found;
      hadF = true;
      i = e;
    } else if (c == 'P') {
      if (hadP || hadD) return 1;
      ++i;
      int32_t whole = 0, digits = 0, tenth = 0;
      while (i < code.size() && std::isdigit(static_cast<unsigned char>(code[i])) && digits < 3)
        whole = whole * 10 + (code[i++] - '0'), ++digits;
      if (digits == 0) return 1;
      if (i < code.size() && code[i] == '.') {
        ++i;
        if (i >= code.size() || !std::isdigit(static_cast<unsigned char>(code[i]))) return 1;
        tenth = code[i++] - '0';
      }
      size = whole * 10 + tenth;
      if (size == 0) return 1;
      hadP = true;
    } else {
      return 1;
    }
    any = true;
  }
  if (!any) return 1;
  uint8_t style = r.style;
  if (hadD) style = r.defaultStyle;
  if (hadN) style = kMemoNormal;
  if (bits) style = bits;
  r.font = font, r.size = size, r.style = style;
  if (r.doubleWidth && r.attributes != nullptr) r.attributes(r.doc, r.font, r.style);
  return 0;
}

int ReadMemoText(MemoReader& r, FieldDef* field, uint32_t count) {
  r.error = 0;
  if (count == kMemoFromStart) {
    r.position = r.start;
    r.state = kNormal;
    r.closed = r.inserting = r.atEnd = false;
    r.pending.clear();
    r.length = 0;
    r.text[0] = 0;
    r.font = r.defaultFont, r.size = r.defaultSize, r.style = r.defaultStyle;
    count = kMemoWindow;
  }
  if (count > kMemoWindow) count = kMemoWindow;
  // Shift out what the caller has used.
  const size_t keep = kMemoWindow - count;
  if (r.length > keep) {
    const size_t drop = r.length - keep;
    std::memmove(r.text, r.text + drop, keep);
    std::memmove(r.styles, r.styles + drop, keep);
    std::memmove(r.attrs, r.attrs + drop, keep * sizeof r.attrs[0]);
    r.length = keep;
    r.text[keep] = 0;
  }
  int failure = 0;
  while (r.length < kMemoWindow) {
    bool literal;
    const int c = NextChar(r, &literal);
    if (c < 0) {
      failure = 1;
      break;
    }
    if (c == 0) break;
    if (r.pending.empty()) r.inserting = false;
    if (r.state == kAfterOne) {
      if (c == kMemoLineEnd && !literal) {
        Store(r, kMemoLineEnd);
        r.state = kAfterTwo;
      } else {
        Store(r, ' ');
        r.state = kNormal;
        r.pending.emplace_front(static_cast<char>(c), literal);
      }
      continue;
    }
    if (r.state == kAfterTwo) {
      if (c == kMemoLineEnd && !literal) Store(r, kMemoLineEnd);
      else {
        r.state = kNormal;
        r.pending.emplace_front(static_cast<char>(c), literal);
      }
      continue;
    }
    if (c == kMemoLineEnd && !literal) {
      r.state = kAfterOne;
      continue;
    }
    const bool angle = c == '<' && !literal;
    const bool slash = c == '\\' && !literal && !r.inserting;
    if (!angle && !slash) {
      Store(r, static_cast<char>(c));
      continue;
    }
    std::string code;
    int ender = 0;
    bool endLiteral = false;
    if (angle) {
      int n = NextChar(r, &endLiteral);
      if (n == '<' && !endLiteral) {
        Store(r, '<');
        continue;
      }
      while (n > 0 && !(n == '>' && !endLiteral)) {
        if (code.size() < kMaxCode) code.push_back(static_cast<char>(n));
        else break;  // too long for a code: read as text
        n = NextChar(r, &endLiteral);
      }
      if (n < 0) {
        failure = 1;
        break;
      }
      ender = n;
      if (ender == '>' && ApplyStyleCode(r, code) == 0) continue;
    } else {
      int n = NextChar(r, &endLiteral);
      while (n > 0 && !IsCodeEnd(n) && code.size() < kMaxCode) {
        code.push_back(static_cast<char>(n));
        n = NextChar(r, &endLiteral);
      }
      if (n < 0) {
        failure = 1;
        break;
      }
      ender = n;
      std::string value;
      const bool isField = FieldCodeText(r, code, &value);
      if (r.error != 0) {
        failure = 1;
        break;
      }
      if (isField) {
        if (ender != 0 && ender != '\\') r.pending.emplace_front(static_cast<char>(ender), endLiteral);
        PushBack(r, value, true);
        r.inserting = !value.empty();
        continue;
      }
      if (ApplyStyleCode(r, code) == 0) {
        if (ender != 0 && ender != '\\') r.pending.emplace_front(static_cast<char>(ender), endLiteral);
        continue;
      }
    }
    // Not a code: its characters are text, the opener included.
    if (ender > 0) r.pending.emplace_front(static_cast<char>(ender), ender != kMemoLineEnd);
    PushBack(r, code, true);
    Store(r, static_cast<char>(c));
  }
  if (field != nullptr && field->value != nullptr) {
    if (r.doubleWidth) {
      for (size_t i = 0; i < r.length; ++i) {
        field->value[2 * i] = static_cast<uint8_t>(r.text[i]);
        field->value[2 * i + 1] = r.styles[i];
      }
      if (2 * r.length < kMemoValueBytes) field->value[2 * r.length] = 0;
    } else {
      std::memcpy(field->value, r.text, r.length);
      field->value[r.length] = 0;
    }
  }
  return failure;
}

int ReadWholeMemo(MemoReader& r, std::string* text, size_t limit) {
  return ReadWholeMemo(r, text, nullptr, nullptr, limit);
}

int ReadWholeMemo(MemoReader& r, std::string* text, std::vector<uint8_t>* styles, std::vector<uint32_t>* attrs,
                  size_t limit) {
  text->clear();
  if (styles) styles->clear();
  if (attrs) attrs->clear();
  auto take = [&] {
    text->append(r.text, r.length);
    if (styles) styles->insert(styles->end(), r.styles, r.styles + r.length);
    if (attrs) attrs->insert(attrs->end(), r.attrs, r.attrs + r.length);
  };
  int failed = ReadMemoText(r, nullptr, kMemoFromStart);
  take();
  while (!failed && !r.atEnd && r.length > 0 && text->size() < limit) {
    failed = ReadMemoText(r, nullptr, kMemoWindow);
    take();
  }
  if (text->size() > limit) text->resize(limit);
  if (styles && styles->size() > limit) styles->resize(limit);
  if (attrs && attrs->size() > limit) attrs->resize(limit);
  return failed;
}
