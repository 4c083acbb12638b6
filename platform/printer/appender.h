// Text put together at the end of a string through a pointer into room made
// ahead: output files are mostly short pieces, and the string's own append
// is a call with checks of its own for each.
#pragma once

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

class Appender {
 public:
  explicit Appender(std::string* s) : s_(s) {
    const size_t used = s->size();
    s->resize(std::max(s->capacity(), used + 4096));
    base_ = &(*s)[0];
    at_ = base_ + used;
    end_ = base_ + s->size();
  }
  // The string's own characters from `from` on are taken as room, written
  // over without being cleared first: for a buffer kept at its size and
  // filled again and again (see Offset for what was put).
  Appender(std::string* s, size_t from) : s_(s) {
    if (s->size() < from + 4096) s->resize(std::max(s->capacity(), from + 4096));
    base_ = &(*s)[0];
    at_ = base_ + from;
    end_ = base_ + s->size();
  }
  Appender(const Appender&) = delete;
  Appender& operator=(const Appender&) = delete;
  // The string cut back to what was put; nothing is put after.
  std::string& Done() {
    s_->resize(Offset());
    return *s_;
  }
  size_t Offset() const { return static_cast<size_t>(at_ - base_); }
  char* At(size_t offset) { return base_ + offset; }
  void CutTo(size_t offset) { at_ = base_ + offset; }
  // Room for n more characters; where they go.
  char* Room(size_t n) {
    if (static_cast<size_t>(end_ - at_) < n) Grow(n);
    return at_;
  }
  void Advance(char* to) { at_ = to; }
  void Put(char c) {
    Room(1);
    *at_++ = c;
  }
  void Put(const char* p, size_t n) {
    std::memcpy(Room(n), p, n);
    at_ += n;
  }
  void Put(const std::string& t) { Put(t.data(), t.size()); }
  // A literal's length is known here: copied without a library call.
  template <size_t N>
  void Put(const char (&literal)[N]) {
    std::memcpy(Room(N - 1), literal, N - 1);
    at_ += N - 1;
  }
  void Fill(char c, size_t n) {
    std::memset(Room(n), c, n);
    at_ += n;
  }
  // The decimal digits of n, as std::to_string gives them.
  void Decimal(long long n) {
    char* p = Room(24);
    at_ = std::to_chars(p, p + 24, n).ptr;
  }

 private:
  void Grow(size_t n) {
    const size_t used = Offset();
    s_->resize(std::max(s_->size() * 2, used + n + 4096));
    base_ = &(*s_)[0];
    at_ = base_ + used;
    end_ = base_ + s_->size();
  }
  std::string* s_;
  char* base_;
  char* at_;
  char* end_;
};

// std::llround without the library call: the same for every value below
// 1e15 in size (where v less its whole part is exact), llround itself beyond.
inline long long RoundHalfAway(double v) {
  if (!(std::fabs(v) < 1e15)) return std::llround(v);
  long long whole = static_cast<long long>(v);
  const double rest = v - static_cast<double>(whole);
  if (rest >= 0.5) ++whole;
  else if (rest <= -0.5) --whole;
  return whole;
}
