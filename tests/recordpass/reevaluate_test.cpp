// Field values inserted into memo texts when the pass has not evaluated
// those fields: evaluated for the text, with the pass's own state kept.
#include <gtest/gtest.h>

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
    if (pos >= text.size()) return 0;
    const size_t take = std::min(n, text.size() - static_cast<size_t>(pos));
    std::memcpy(buf, text.data() + pos, take);
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
  }
  FieldDef* Calc(const char* name, const char* text) {
    FieldDef* f = model.CompileField(name, text, false, nullptr);
    EXPECT_NE(f, nullptr) << text;
    if (f != nullptr) f->displayWidth = 8;
    return f;
  }
  // The pass needs AMOUNT only; every calculation is left out of it.
  void StartPass() {
    PropagateFieldDependencies(&model);
    for (FieldDef* f = model.fieldList; f != nullptr; f = f->next)
      if (f != amount) f->flags &= ~kFieldNeeded;
    State();
    ASSERT_EQ(OpenScan(&model), 0);
  }
  std::string Memo(const std::string& text, bool previous = false, int32_t* error = nullptr) {
    StringSource src(text);
    MemoReader r;
    r.source = &src;
    r.model = &model;
    r.format = &fmt;
    r.previousValues = previous;
    const int rc = ReadMemoText(r, nullptr, kMemoFromStart);
    if (error != nullptr) *error = r.error;
    else EXPECT_EQ(rc, 0);
    return std::string(r.text, r.length);
  }
  FormatSettings fmt;
  FieldDef *amount, *region;
};

TEST_F(ReevaluateTest, InsertedFieldsTheRecordDidNotNeedTakeTheCurrentRow) {
  FieldDef* tenfold = Calc("TENFOLD", "AMOUNT * 10");
  FieldDef* more = Calc("MORE", "TENFOLD + 1");  // rests on another field the pass left out
  StartPass();
  ASSERT_EQ(region->value, nullptr);
  ASSERT_EQ(RunRecordPass(&model, nullptr), 0);
  State()->acceptedCount = 5;
  model.lastEngineError = 0;
  EXPECT_EQ(Memo("\\REGION has \\MORE from \\TENFOLD\\ units"), "East has 31 from 30 units");
  // The pass's needs, counts and error state are as they were.
  EXPECT_TRUE(amount->flags & kFieldNeeded);
  EXPECT_FALSE(region->flags & kFieldNeeded);
  EXPECT_FALSE(tenfold->flags & kFieldNeeded);
  EXPECT_FALSE(more->flags & kFieldNeeded);
  EXPECT_EQ(State()->acceptedCount, 5u);
  EXPECT_EQ(model.lastEngineError, 0);
  // The next record gives the next values, not those kept from before.
  ASSERT_EQ(RunRecordPass(&model, nullptr), 0);
  EXPECT_EQ(Memo("\\REGION \\MORE"), "West 41");
  FreeFieldBuffers(&model);
  EXPECT_EQ(region->value, nullptr);
}

TEST_F(ReevaluateTest, OutsideAPassAndWithPreviousValues) {
  Calc("FIVE", "2 + 3");
  FieldDef* tenfold = Calc("TENFOLD", "AMOUNT * 10");
  StartPass();
  // Nothing fetched yet: a data field is empty, a calculation still has its value.
  EXPECT_EQ(Memo("[ \\REGION ] \\FIVE"), "[  ] 5");
  ASSERT_EQ(RunRecordPass(&model, nullptr), 0);
  // A reader showing previous values gives the field a previous buffer.
  ASSERT_EQ(tenfold->previous, nullptr);
  EXPECT_EQ(Memo("\\TENFOLD", true), "30");
  EXPECT_NE(tenfold->previous, nullptr);
  // A field the pass needs keeps its own value (no second evaluation).
  const double seven = 7;
  std::memcpy(amount->value, &seven, 8);
  EXPECT_EQ(Memo("\\AMOUNT"), "7");
  // After the pass its buffers are gone; the fields get values again from
  // the query's current row.
  FreeFieldBuffers(&model);
  ASSERT_EQ(amount->value, nullptr);
  EXPECT_EQ(Memo("\\AMOUNT \\TENFOLD"), "3 30");
  EXPECT_TRUE(amount->flags & kFieldNeeded);
}

TEST_F(ReevaluateTest, WrongTypedOrUnknownNamesStayText) {
  StartPass();
  ASSERT_EQ(RunRecordPass(&model, nullptr), 0);
  EXPECT_EQ(Memo("\\NOSUCH and \\REGIONS"), "\\NOSUCH and \\REGIONS");
  // A field whose value cannot be evaluated inserts nothing, and the pass
  // keeps no error from it.
  FieldDef* bad = Calc("RATIO", "AMOUNT / 0");
  ASSERT_NE(bad, nullptr);
  bad->flags &= ~kFieldNeeded;
  model.lastEngineError = 0;
  Memo("\\RATIO");
  EXPECT_EQ(model.lastEngineError, 0);
}

}  // namespace
