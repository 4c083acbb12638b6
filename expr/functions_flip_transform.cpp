#include "expr/functions_flip_transform.h"

#include "expr/builtin_table.h"
#include "expr/collation.h"
#include "expr/functions_common.h"
#include "expr/number_text.h"
#include "expr/value_eval.h"
#include "core/composite.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

bool IsCSpace(char c) { return c == ' ' || (c >= 9 && c <= 13); }

std::string CutTrailingBlanksOf(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string AfterFirst(const std::string& s, size_t pos) {
  size_t i = pos + 1;
  while (i < s.size() && IsCSpace(s[i])) ++i;
  return CutTrailingBlanksOf(s.substr(i));
}

int EvalFlip(CKmComposite* m) {
  if (m->argumentCount != 2) return 2;
  size_t ls = PopTextPadToBlank(m, m->stringWork2);
  size_t lt = PopTextPadToBlank(m, m->stringWork1);
  std::string out = FlipText(std::string(m->stringWork1, lt), std::string(m->stringWork2, ls));
  if (out.size() > m->stringWorkSize) out.resize(m->stringWorkSize);
  PushString(m, out.data(), out.size());
  return 0;
}

int EvalTransform(CKmComposite* m) {
  if (m->argumentCount != 2) return 2;
  size_t lp = PopTextPadToBlank(m, m->stringWork2);
  std::string picture(m->stringWork2, lp);
  std::string out;
  if (TopIsNumber(m)) {
    out = TransformNumber(PopNumber(m), picture);
  } else if (TopIsString(m)) {
    size_t n = PopTextPadToBlank(m, m->stringWork1);
    out = TransformText(std::string(m->stringWork1, n), picture);
  } else {
    PopDate(m);
    out = TransformPicture(picture).templ;
  }
  // However long the template, the result stays within the longest string.
  if (out.size() > m->stringWorkSize) out.resize(m->stringWorkSize);
  PushString(m, out.data(), out.size());
  return 0;
}

}  // namespace

std::string FlipText(const std::string& s, const std::string& sep) {
  if (sep.empty()) return s;
  const char c = sep[0];
  if (c == '*') {
    if (sep.size() < 2) return s;
    size_t p = s.find(sep[1]);
    return p == std::string::npos ? s : CutTrailingBlanksOf(s.substr(0, p));
  }
  size_t p = s.find(c);
  if (p == std::string::npos) return s;
  if (sep.size() >= 2 && sep[1] == '*') return AfterFirst(s, p);
  return AfterFirst(s, p) + " " + s.substr(0, p);
}

TransformPicture::TransformPicture(const std::string& picture) {
  size_t start = 0;
  if (!picture.empty() && picture[0] == '@') {
    size_t i = 1;
    for (; i < picture.size() && picture[i] != ' '; ++i) {
      switch (CharUpperByte(static_cast<unsigned char>(picture[i]))) {
        case 'C': creditMark = true; break;
        case 'X': debitMark = true; parenMark = false; break;
        case '(': parenMark = true; debitMark = false; break;
        case 'B': leftJustify = true; break;
        case 'Z': blankZero = true; break;
        case '!': upperCase = true; break;
        case 'R': insertLiterals = true; break;
        default: break;
      }
    }
    start = i < picture.size() ? i + 1 : picture.size();
  }
  templ = picture.substr(start);
}

namespace {
// Counts one template character for the number's width; true at the point.
bool CountPictureDigit(char c, int& count, char& fill) {
  if (c == '9' || c == '#') ++count;
  if (c == '$' || c == '*') {
    ++count;
    if (fill == ' ') fill = c;
  }
  return c == '.';
}
}  // namespace

std::string TransformNumber(double x, const std::string& picture) {
  TransformPicture p(picture);
  char fill = ' ';
  int i = 0, d = 0;
  std::string templ = p.templ;
  const bool given = !templ.empty();
  if (given) {
    size_t k = 0;
    for (; k < templ.size(); ++k)
      if (CountPictureDigit(templ[k], i, fill)) {
        ++k;
        break;
      }
    for (; k < templ.size(); ++k) CountPictureDigit(templ[k], d, fill);
  } else {
    i = 10;
    d = 2;
    templ = "9999999999.99";
  }
  const int w = i + d + (d ? 1 : 0);
  std::vector<char> buf(static_cast<size_t>(w) + 400);
  LegacyFormat(buf.data(), buf.size(), "%*.*f", w, d, x);
  std::string printed(buf.data());
  const bool negative = printed.find('-') != std::string::npos && x < 0;
  const bool overflow = static_cast<int>(printed.size()) > w || !std::isfinite(x);

  std::string out;
  if (!negative) {
    if (x == 0 && p.blankZero) return std::string(static_cast<size_t>(w), fill);
    if (p.parenMark) out += ' ';
  } else {
    size_t minus = printed.find('-');
    if (p.parenMark) {
      printed[minus] = ' ';
      out += '(';
    } else if (p.debitMark) {
      printed[minus] = ' ';
    }
  }

  size_t firstPoint = printed.find('.');
  if (firstPoint == std::string::npos) firstPoint = printed.find(',');
  const bool merge = given || firstPoint == std::string::npos || static_cast<int>(firstPoint) <= i;
  if (merge) {
    size_t cur = 0;
    bool digitWritten = false;
    for (char t : templ) {
      if (t == '$' || t == '*' || t == '9' || t == '#') {
        char c = overflow ? '*' : (cur < printed.size() ? printed[cur] : ' ');
        ++cur;
        if (c == ' ') c = fill;
        if (c >= '0' && c <= '9') digitWritten = true;
        out += c;
      } else if (t == '.') {
        ++cur;
        if (x == 0 && i != 0 && !out.empty()) {
          out.back() = '0';
          digitWritten = true;
        }
        out += '.';
      } else if (t == ',') {
        out += (!overflow && !digitWritten) ? fill : ',';
      } else {
        out += t;
      }
    }
  } else {
    out += printed;
  }

  if (p.leftJustify) {
    size_t b = out.find(' ');
    if (b != std::string::npos) {
      size_t e = b;
      while (e < out.size() && IsCSpace(out[e])) ++e;
      out.erase(b, e - b);
      out.append(e - b, ' ');
    }
  }
  if (!negative && p.creditMark) out += " CR";
  if (negative && p.parenMark) out += ')';
  else if (negative && p.debitMark) out += " DB";
  return out;
}

std::string TransformText(const std::string& s, const std::string& picture) {
  TransformPicture p(picture);
  auto up = [](char c) { return static_cast<char>(CharUpperByte(static_cast<unsigned char>(c))); };
  if (p.templ.empty()) {
    if (!p.upperCase) return s;
    std::string u = s;
    for (char& c : u) c = up(c);
    return u;
  }
  std::string out;
  size_t cur = 0;
  for (char t : p.templ) {
    if (cur >= s.size()) break;
    if (t == 'x' || t == 'X') out += p.upperCase ? up(s[cur++]) : s[cur++];
    else if (t == '!') out += up(s[cur++]);
    else {
      out += t;
      if (!p.insertLiterals) ++cur;
    }
  }
  return out;
}

void InstallFlipTransformFunctions() {
  SetBuiltinHandlers(59, EvalFlip, nullptr);
  SetBuiltinHandlers(60, EvalTransform, nullptr);
}
