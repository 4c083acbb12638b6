#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "expr/value_format.h"
#include "core/composite.h"
#include "core/fields.h"
#include "model/memo_text.h"
#include "model/record_filter.h"
#include "model/record_pass.h"
#include <vector>

namespace {

class TextSource : public MemoByteSource {
 public:
  explicit TextSource(std::string t) : text(std::move(t)) {}
  long ReadAt(uint64_t pos, uint8_t* buf, size_t n) override {
    if (failAt >= 0 && pos + n > static_cast<uint64_t>(failAt)) return -1;
    if (pos >= text.size()) return 0;
    const size_t take = std::min(n, text.size() - static_cast<size_t>(pos));
    std::memcpy(buf, text.data() + pos, take);
    return static_cast<long>(take);
  }
  std::string text;
  long failAt = -1;
};

std::string Read(const std::string& text, MemoReader* out = nullptr, CKmComposite* m = nullptr) {
  TextSource src(text);
  MemoReader r;
  r.source = &src;
  r.model = m;
  EXPECT_EQ(ReadMemoText(r, nullptr, kMemoFromStart), 0);
  std::string s(r.text, r.length);
  if (out) {
    out->font = r.font, out->size = r.size, out->style = r.style;
    std::memcpy(out->styles, r.styles, sizeof r.styles);
    out->length = r.length;
  }
  return s;
}

TEST(MemoTextTest, LineEndsBecomeWordAndParagraphBreaks) {
  EXPECT_EQ(Read("one\r\ntwo"), "one two");
  EXPECT_EQ(Read("one\n\rtwo"), "one two");              // LF CR is one line end too
  EXPECT_EQ(Read("one\r\n\r\ntwo"), "one\ntwo");         // paragraph
  EXPECT_EQ(Read("a\r\n\r\n\r\nb"), "a\n\nb");           // further line ends each count
  EXPECT_EQ(Read("a\x8d" "b\tc\x01" "d\x1a" "ignored"), "a b cd");  // soft return, tab, control, Ctrl-Z
}

TEST(MemoTextTest, StyleCodesChangeTheStyleOrStayText) {
  MemoReader r;
  EXPECT_EQ(Read("a<B>b<N>c", &r), "abc");
  EXPECT_EQ(r.styles[0], kMemoDefault);
  EXPECT_EQ(r.styles[1], kMemoBold);
  EXPECT_EQ(r.styles[2], kMemoNormal);
  EXPECT_EQ(Read("x<BB>y"), "x<BB>y");    // a letter twice: not a code
  EXPECT_EQ(Read("x<<y"), "x<y");
  EXPECT_EQ(Read("1 < 2 and 3 > 2"), "1 < 2 and 3 > 2");
  EXPECT_EQ(Read("x<P12.5>y", &r), "xy");
  EXPECT_EQ(r.size, 125);
  EXPECT_EQ(Read("x<P0>y"), "x<P0>y");
  EXPECT_EQ(Read("x\\BU y"), "x y");      // the blank that ends a "\" code is read again as text
  EXPECT_EQ(Read("x<Fnone>y"), "x<Fnone>y");  // no font table: unknown face
  EXPECT_EQ(Read("open <B"), "open <B");  // the text ends inside a code
  const std::string longCode = "<" + std::string(300, 'B') + ">";
  EXPECT_EQ(Read(longCode), longCode.substr(0, 255));
}

TEST(MemoTextTest, FieldCodesInsertFormattedValues) {
  CKmComposite m(nullptr);
  FieldDef* f = m.AddField(0);
  std::strcpy(f->name, "CITY");
  f->displayWidth = 10;
  f->flags |= kFieldNeeded;  // the pass's own value
  uint8_t value[16] = "Oslo";
  f->value = value;
  FormatSettings fmt;
  TextSource src("Hello \\CITY and \\NOPE x");
  MemoReader r;
  r.source = &src;
  r.model = &m;
  r.format = &fmt;
  ASSERT_EQ(ReadMemoText(r, nullptr, kMemoFromStart), 0);
  EXPECT_EQ(std::string(r.text, r.length), "Hello Oslo and \\NOPE x");
  f->value = nullptr;
  m.DeleteField(f, 2 | 4);
}

TEST(MemoTextTest, WindowShiftsAndReadErrors) {
  std::string text;
  for (int i = 0; i < 600; ++i) text.push_back(static_cast<char>('a' + i % 26));
  TextSource src(text);
  MemoReader r;
  r.source = &src;
  ASSERT_EQ(ReadMemoText(r, nullptr, kMemoFromStart), 0);
  EXPECT_EQ(r.length, 255u);
  ASSERT_EQ(ReadMemoText(r, nullptr, 100), 0);  // 100 used: 100 new at the end
  EXPECT_EQ(std::string(r.text, r.length), text.substr(100, 255));
  ASSERT_EQ(ReadMemoText(r, nullptr, 255), 0);
  EXPECT_EQ(std::string(r.text, r.length), text.substr(355, 245));  // the end of the text
  src.failAt = 10;
  EXPECT_EQ(ReadMemoText(r, nullptr, kMemoFromStart), 1);
  // OEM text of a text table becomes Windows-1252.
  TextSource oem("\x82t\x82");
  MemoReader o;
  o.source = &oem;
  o.textTable = true;
  o.ansi = false;
  ASSERT_EQ(ReadMemoText(o, nullptr, kMemoFromStart), 0);
  EXPECT_EQ(std::string(o.text, o.length), "\xe9t\xe9");
}

}  // namespace

namespace {

class MemoFilterTest : public ::testing::Test {
 protected:
  MemoFilterTest() : model(nullptr) {}
  CKmComposite model;
};

TEST_F(MemoFilterTest, PatternsFloatThroughTheWholeText) {
  std::string text(600, 'x');
  text += "needle in the hay";
  TextSource src(text);
  MemoReader r;
  r.source = &src;
  EXPECT_EQ(MatchCondition(&model, "*needle*", r, 1), 1);   // past the first window
  EXPECT_EQ(MatchCondition(&model, "*hay", r, 1), 1);
  EXPECT_EQ(MatchCondition(&model, "*hey", r, 1), 0);
  EXPECT_EQ(MatchCondition(&model, "x?x*", r, 1), 1);
  EXPECT_EQ(MatchCondition(&model, "xx", r, 1), 0);         // the rest must match too
  EXPECT_EQ(MatchCondition(&model, "", r, 1), 0);           // not empty
  TextSource none("");
  MemoReader e;
  e.source = &none;
  EXPECT_EQ(MatchCondition(&model, "", e, 1), 1);
  EXPECT_EQ(MatchCondition(&model, "*a", e, 1), 0);
}

std::vector<std::string> g_memoMessages;

TEST_F(MemoFilterTest, UnreadableMemoIsToldOncePerPass) {
  GetRecordPassHooks().message = [](const char* text) { g_memoMessages.push_back(text); };
  g_memoMessages.clear();
  TextSource src("abc");
  src.failAt = 0;
  MemoReader r;
  r.source = &src;
  for (int i = 0; i < 5; ++i) EXPECT_EQ(MatchCondition(&model, "*b*", r, 1), 0);
  EXPECT_EQ(g_memoMessages.size(), 1u);
  ResetRunCounters(&model);
  EXPECT_EQ(MatchCondition(&model, "*b*", r, 1), 0);
  EXPECT_EQ(g_memoMessages.size(), 2u);
  GetRecordPassHooks().message = nullptr;
}

}  // namespace
