// Field values inserted into memo texts when the pass has not evaluated
// those fields: evaluated for the text, with the pass's own state kept.
#include <gtest/gtest.h>
#include "model/field_compile.h"

#include <cstring>
#include <string>

#include "expr/value_format.h"
#include "model/field_dependencies.h"
#include "model/memo_text.h"
#include "pass_fixture.h"

namespace {

class StringSource : public MemoByteSource {
 public:
  explicit StringSource(std::string t) : text(std::move(t)) {}
  long ReadAt(uint64_t pos, uint8_t* buf, size_t n) override {
    const size_t take = pos >= text.size() ? 0 : std::min(n, text.size() - static_cast<size_t>(pos));
    if (take) std::memcpy(buf, text.data() + pos, take);
    return static_cast<long>(take);
  }
  std::string text;
};

class ReevaluateTest : public PassTest {
 protected:
  ReevaluateTest() {
    amount = Data("AMOUNT", kFieldNumeric);
    amount->displayWidth = 8;
    region = Data("REGION", 0, 10);
    region->displayWidth = 10;
    rows.rows = {{Num(3), Txt("East")}, {Num(4), Txt("West")}};
    tenfold = Calc("TENFOLD", "AMOUNT * 10");
    more = Calc("MORE", "TENFOLD + 1");  // rests on another field the pass leaves out
    Calc("FIVE", "2 + 3");
    // The pass needs AMOUNT only.
    PropagateFieldDependencies(&model);
    for (FieldDef* f = model.fieldList; f != nullptr; f = f->next)
      if (f != amount) f->flags &= ~kFieldNeeded;
    State();
    EXPECT_EQ(OpenScan(&model), 0);
  }
  FieldDef* Calc(const char* name, const char* text) {
    FieldDef* f = CompileField(&model, name, text, false, nullptr);
    EXPECT_NE(f, nullptr) << text;
    f->displayWidth = 8;
    return f;
  }
  std::string Memo(const std::string& text, bool previous = false) {
    StringSource src(text);
    MemoReader r;
    r.source = &src;
    r.model = &model;
    r.format = &fmt;
    r.previousValues = previous;
    EXPECT_EQ(ReadMemoText(r, nullptr, kMemoFromStart), 0);
    return std::string(r.text, r.length);
  }
  FormatSettings fmt;
  FieldDef *amount, *region, *tenfold, *more;
};

TEST_F(ReevaluateTest, InsertedFieldsTheRecordDidNotNeedTakeTheCurrentRow) {
  // Nothing fetched yet: a data field is empty, a calculation has its value.
  EXPECT_EQ(Memo("[ \\REGION ] \\FIVE"), "[  ] 5");
  ASSERT_EQ(RunRecordPass(&model, nullptr), 0);
  State()->acceptedCount = 5;
  EXPECT_EQ(Memo("\\REGION has \\MORE from \\TENFOLD\\ units"), "East has 31 from 30 units");
  // The pass's needs and counts are as they were.
  EXPECT_TRUE(amount->flags & kFieldNeeded);
  EXPECT_FALSE((region->flags | tenfold->flags | more->flags) & kFieldNeeded);
  EXPECT_EQ(State()->acceptedCount, 5u);
  // The next record gives the next values, not those kept from before.
  ASSERT_EQ(RunRecordPass(&model, nullptr), 0);
  EXPECT_EQ(Memo("\\REGION \\MORE"), "West 41");
  // A reader showing previous values gives the field a previous buffer.
  EXPECT_EQ(Memo("\\TENFOLD", true), "40");
  EXPECT_NE(tenfold->previous, nullptr);
}

TEST_F(ReevaluateTest, NeededFieldsKeepTheirValueUntilTheirBuffersGo) {
  ASSERT_EQ(RunRecordPass(&model, nullptr), 0);
  const double seven = 7;
  std::memcpy(amount->value, &seven, 8);
  EXPECT_EQ(Memo("\\AMOUNT"), "7");
  // After the pass its buffers are gone: the query's current row again.
  FreeFieldBuffers(&model);
  ASSERT_EQ(amount->value, nullptr);
  EXPECT_EQ(Memo("\\AMOUNT \\TENFOLD"), "3 30");
  EXPECT_TRUE(amount->flags & kFieldNeeded);
}

}  // namespace
