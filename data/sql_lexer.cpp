#include "data/sql_lexer.h"

#include "foundation/heap_strings.h"

#include <cstring>

namespace {

constexpr unsigned kIdQuoteOpen = 62370, kIdCommentOpen = 62371, kIdControl = 62372, kIdBackslash = 62373,
                   kIdParameter = 62374, kIdUnicodeName = 62375, kIdReadDifferently = 62376,
                   kIdLineCommentInPiece = 62377;

// Longest dollar-quote tag taken: a longer one is no tag a person writes,
// and the search for its end stays short.
constexpr size_t kMaxDollarTag = 63;

bool IsAsciiAlpha(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
// Both servers take bytes above 127 as letters of names (what the driver
// sends of a Windows-1252 letter is such bytes).
bool IsNameStart(unsigned char c) { return IsAsciiAlpha(c) || c == '_' || c >= 0x80; }
bool IsNameChar(unsigned char c) { return IsNameStart(c) || IsDigit(c) || c == '$'; }
// A vertical tab is a blank to some server versions and an error to others.
bool IsBlank(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

enum class Quote {
  kPlain,    // '...', '' inside; backslashes as the server's setting says
  kEscape,   // E'...': backslash escapes too
  kRaw,      // X'...', B'...': up to the next quote
  kUnicode,  // U&'...': '' inside, a backslash never ends it
};

class Reader {
 public:
  Reader(const char* text, const SqlLexRules& rules, std::vector<SqlToken>* tokens, std::string* why)
      : s_(text), n_(std::strlen(text)), rules_(rules), tokens_(tokens), why_(why) {}

  bool Run() {
    size_t i = 0;
    while (i < n_) {
      if (!tokens_->empty() && tokens_->back().end == 0) tokens_->back().end = i;
      const unsigned char c = At(i);
      if (IsBlank(c)) {
        ++i;
      } else if (c < 0x20 || c == 0x7f) {
        return Fail(kIdControl);
      } else if (c == '-' && At(i + 1) == '-') {
        if (!LineComment(&i)) return false;
      } else if (c == '/' && At(i + 1) == '*') {
        if (!BlockComment(&i)) return false;
      } else if (c == '\'') {
        if (!Literal(&i, i, Quote::kPlain)) return false;
      } else if (c == '"') {
        if (!QuotedName(&i, i, '"', false)) return false;
      } else if (c == '`' && rules_.server == SqlServer::kSqlite) {
        if (!QuotedName(&i, i, '`', false)) return false;
      } else if (c == '[' && rules_.server == SqlServer::kSqlite) {
        if (!BracketName(&i)) return false;
      } else if (IsNameStart(c)) {
        if (!Word(&i)) return false;
      } else if (IsDigit(c) || (c == '.' && IsDigit(At(i + 1)))) {
        if (!Number(&i)) return false;
      } else if (c == '$' && rules_.server == SqlServer::kPostgres) {
        if (!Dollar(&i)) return false;
      } else if (!Symbol(&i)) {
        return false;
      }
    }
    if (!tokens_->empty() && tokens_->back().end == 0) tokens_->back().end = i;
    return true;
  }

 private:
  unsigned char At(size_t i) const { return i < n_ ? static_cast<unsigned char>(s_[i]) : 0; }

  bool Fail(unsigned id, const std::string& detail = std::string()) {
    *why_ = FilledSqlMessage(id, detail);
    return false;
  }
  bool FailDiffers(const std::string& what) { return Fail(kIdReadDifferently, what); }

  void Add(SqlTokenKind kind, size_t offset, std::string text = std::string()) {
    SqlToken t;
    t.kind = kind;
    t.offset = offset;
    t.text = std::move(text);
    tokens_->push_back(std::move(t));
  }

  // "--" to the end of the line: a carriage return ends it on PostgreSQL,
  // only a line feed on SQLite; elsewhere a lone carriage return in one is
  // read both ways, so it is refused.
  bool LineComment(size_t* i) {
    if (rules_.fragment) return Fail(kIdLineCommentInPiece);
    if (rules_.server == SqlServer::kOther && At(*i + 2) != 0 && !IsBlank(At(*i + 2))) return FailDiffers("--");
    size_t j = *i + 2;
    for (; j < n_; ++j) {
      const char c = s_[j];
      if (c == '\n') break;
      if (c == '\r') {
        if (rules_.server == SqlServer::kPostgres) break;
        if (rules_.server == SqlServer::kOther && At(j + 1) != '\n') return FailDiffers("--");
      }
    }
    *i = j;
    return true;
  }

  // "/* */": nested on PostgreSQL, not on SQLite; elsewhere a comment that
  // holds another "/*", or begins "/*!", is read both ways and refused.
  bool BlockComment(size_t* i) {
    if (rules_.server == SqlServer::kOther && At(*i + 2) == '!') return FailDiffers("/*!");
    int depth = 1;
    size_t j = *i + 2;
    while (j < n_) {
      if (s_[j] == '*' && At(j + 1) == '/') {
        j += 2;
        if (--depth == 0) {
          *i = j;
          return true;
        }
      } else if (s_[j] == '/' && At(j + 1) == '*') {
        if (rules_.server == SqlServer::kOther) return FailDiffers("/*");
        if (rules_.server == SqlServer::kPostgres) ++depth;
        j += 2;
      } else {
        ++j;
      }
    }
    return Fail(kIdCommentOpen);
  }

  // Whether a backslash in this kind of literal escapes the next character.
  bool BackslashEscapes(Quote kind) const {
    if (kind == Quote::kEscape) return true;
    if (kind != Quote::kPlain) return false;
    if (rules_.server == SqlServer::kSqlite) return false;
    return rules_.backslashInStrings == 1;
  }

  // A literal from the quote at *i; start is where its token begins (a
  // prefix such as E or U&). PostgreSQL joins literals separated by blanks
  // holding a line end, the later part read in the first one's way.
  bool Literal(size_t* i, size_t start, Quote kind) {
    size_t j = *i + 1;
    const bool escapes = BackslashEscapes(kind);
    for (;;) {
      if (j >= n_) return Fail(kIdQuoteOpen);
      const char c = s_[j];
      if (c == '\\' && kind == Quote::kPlain && !escapes && rules_.server != SqlServer::kSqlite &&
          rules_.backslashInStrings < 0)
        return Fail(kIdBackslash);
      if (c == '\\' && escapes) {
        j += 2;
        continue;
      }
      if (c == '\'') {
        if (kind != Quote::kRaw && At(j + 1) == '\'') {
          j += 2;
          continue;
        }
        const size_t next = rules_.server == SqlServer::kPostgres ? Continuation(j + 1) : std::string::npos;
        if (next == std::string::npos) break;
        j = next + 1;
        continue;
      }
      ++j;
    }
    Add(SqlTokenKind::kString, start);
    *i = j + 1;
    return true;
  }

  // Where a literal ended before `from` goes on: the quote that follows
  // blanks and "--" comments holding a line end; npos when none does.
  size_t Continuation(size_t from) const {
    bool lineEnd = false;
    size_t j = from;
    while (j < n_) {
      const char c = s_[j];
      if (c == '\n' || c == '\r') {
        lineEnd = true;
        ++j;
      } else if (IsBlank(static_cast<unsigned char>(c))) {
        ++j;
      } else if (c == '-' && At(j + 1) == '-') {
        while (j < n_ && s_[j] != '\n' && s_[j] != '\r') ++j;
      } else {
        break;
      }
    }
    return lineEnd && At(j) == '\'' ? j : std::string::npos;
  }

  // "name", `name` (the quote doubled inside): the name it stands for.
  bool QuotedName(size_t* i, size_t start, char quote, bool unicode) {
    std::string name;
    size_t j = *i + 1;
    for (;;) {
      if (j >= n_) return Fail(kIdQuoteOpen);
      if (s_[j] == quote) {
        if (At(j + 1) != static_cast<unsigned char>(quote)) break;
        ++j;
      }
      // A name written with escapes is a name nobody can compare.
      if (unicode && s_[j] == '\\') return Fail(kIdUnicodeName);
      name += s_[j++];
    }
    Add(SqlTokenKind::kQuotedName, start, name);
    tokens_->back().unicodeName = unicode;
    *i = j + 1;
    return true;
  }

  bool BracketName(size_t* i) {
    const char* end = static_cast<const char*>(std::memchr(s_ + *i + 1, ']', n_ - *i - 1));
    if (end == nullptr) return Fail(kIdQuoteOpen);
    Add(SqlTokenKind::kQuotedName, *i, std::string(s_ + *i + 1, end));
    *i = static_cast<size_t>(end - s_) + 1;
    return true;
  }

  bool Word(size_t* i) {
    const size_t start = *i;
    size_t j = start;
    while (j < n_ && IsNameChar(At(j))) ++j;
    const std::string word(s_ + start, j - start);
    const char next = static_cast<char>(At(j));
    if (word.size() == 1 && (next == '\'' || next == '&')) {
      const char p = Lower(word[0]);
      switch (rules_.server) {
        case SqlServer::kPostgres:
          if (next == '\'' && p == 'e') {
            *i = j;
            return Literal(i, start, Quote::kEscape);
          }
          if (next == '\'' && (p == 'b' || p == 'x')) {
            *i = j;
            return Literal(i, start, Quote::kRaw);
          }
          if (p == 'u' && next == '&' && At(j + 1) == '\'') {
            *i = j + 1;
            return Literal(i, start, Quote::kUnicode);
          }
          if (p == 'u' && next == '&' && At(j + 1) == '"') {
            *i = j + 1;
            return QuotedName(i, start, '"', true);
          }
          break;  // N'...' is a plain literal after its N
        case SqlServer::kSqlite:
          if (next == '\'' && p == 'x') {
            *i = j;
            return Literal(i, start, Quote::kRaw);
          }
          break;
        case SqlServer::kOther:
          // N'...' is plain everywhere; what a server makes of E'...' or
          // B'...' is its own.
          if (next == '\'' && p != 'n') return FailDiffers(word + "'");
          if (p == 'u' && next == '&' && At(j + 1) == '\'') return FailDiffers("U&'");
          break;
      }
    }
    Add(SqlTokenKind::kWord, start, word);
    *i = j;
    return true;
  }

  // Digits and what runs on from them (1e5, 0x1F, 1_000); the part from
  // the first letter is kept, so that no word hides behind a digit. A quote
  // straight after one is read as a literal's prefix by some versions of a
  // server and as an error by others.
  bool Number(size_t* i) {
    const size_t start = *i;
    size_t j = start;
    size_t tail = std::string::npos;
    while (j < n_ && (IsAsciiAlpha(At(j)) || IsDigit(At(j)) || At(j) == '_' || At(j) == '.' || At(j) >= 0x80)) {
      if (tail == std::string::npos && (IsAsciiAlpha(At(j)) || At(j) == '_' || At(j) >= 0x80)) tail = j;
      ++j;
    }
    const char next = static_cast<char>(At(j));
    if (next == '\'' || next == '"' || next == '$' || next == '&' || next == '`')
      return FailDiffers(std::string(s_ + start, j - start + 1));
    Add(SqlTokenKind::kNumber, start, tail == std::string::npos ? std::string() : std::string(s_ + tail, j - tail));
    *i = j;
    return true;
  }

  // PostgreSQL: $tag$...$tag$ is a literal; $1 a parameter.
  bool Dollar(size_t* i) {
    const size_t start = *i;
    size_t j = start + 1;
    if (IsDigit(At(j))) {
      while (IsDigit(At(j))) ++j;
      return Fail(kIdParameter, std::string(s_ + start, j - start));
    }
    if (IsNameStart(At(j)))
      while (j < n_ && (IsNameStart(At(j)) || IsDigit(At(j)))) ++j;
    if (At(j) != '$' || j - start - 1 > kMaxDollarTag) return FailDiffers("$");
    const std::string tag(s_ + start, j - start + 1);
    const char* body = s_ + j + 1;
    const char* end = static_cast<const char*>(memmem(body, n_ - (j + 1), tag.data(), tag.size()));
    if (end == nullptr) return Fail(kIdQuoteOpen);
    Add(SqlTokenKind::kString, start);
    *i = static_cast<size_t>(end - s_) + tag.size();
    return true;
  }

  bool Symbol(size_t* i) {
    const char c = s_[*i];
    if (c == '\\') return FailDiffers("\\");
    if (rules_.server == SqlServer::kSqlite && (c == '$' || c == '@' || c == ':' || c == '#' || c == '?')) {
      size_t j = *i + 1;
      while (j < n_ && IsNameChar(At(j))) ++j;
      return Fail(kIdParameter, std::string(s_ + *i, j - *i));
    }
    if (rules_.server == SqlServer::kOther && (c == '$' || c == '#' || c == '`' || c == '['))
      return FailDiffers(std::string(1, c));
    Add(SqlTokenKind::kSymbol, *i, std::string(1, c));
    ++*i;
    return true;
  }

  const char* s_;
  size_t n_;
  const SqlLexRules& rules_;
  std::vector<SqlToken>* tokens_;
  std::string* why_;
};

}  // namespace

bool ReadSqlTokens(const char* text, const SqlLexRules& rules, std::vector<SqlToken>* tokens, std::string* why) {
  tokens->clear();
  why->clear();
  if (text == nullptr) return true;
  return Reader(text, rules, tokens, why).Run();
}

std::string FilledSqlMessage(unsigned id, const std::string& detail) {
  std::string text = GetResString(id, 0);
  const size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, detail);
  return text;
}

bool SqlWordIs(const std::string& word, const char* keyword) {
  const size_t n = std::strlen(keyword);
  if (word.size() != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (Lower(word[i]) != keyword[i]) return false;
  return true;
}
