#include <cstring>

#include "eval_fixture.h"
#include "expr/type_eval.h"
#include "foundation/doc_base.h"

class TypeEvalTest : public EvalTest {
 protected:
  FieldDef* Calc(uint32_t flags = kFieldNumeric) {
    FieldDef* f = model.AddField(flags | kFieldCalculation);
    f->table = 254;
    return f;
  }
  int32_t Infer(const CodeWriter& w, FieldDef* f) {
    std::vector<uint8_t> code = w.bytes();
    return InferExpressionType(&model, code.data(), f);
  }
};

TEST_F(TypeEvalTest, NumberDigitsAndDecimals) {
  FieldDef* f = Calc();
  CodeWriter mul;  // 1.25 * 3
  mul.Number(1.25, 3), mul.Number(3, 0), mul.Op(OP_MUL), mul.End();
  ASSERT_EQ(Infer(mul, f), 0);
  EXPECT_EQ(f->displayDecimals, 2);
  EXPECT_EQ(f->displayWidth, 4u);  // 2 integer digits + 2 decimals
  EXPECT_EQ(f->formatCode, 0x3005u);

  CodeWriter add;  // 99 + 1 needs a carry digit
  add.Number(99), add.Number(1), add.Op(OP_ADD), add.End();
  Infer(add, f);
  EXPECT_EQ(f->displayWidth, 3u);
  EXPECT_EQ(f->displayDecimals, 0);

  CodeWriter big;  // 25 integer digits: 20, then cut to 19
  big.Number(1234567890123456789012345.0, 0), big.End();
  Infer(big, f);
  EXPECT_EQ(f->displayWidth, 19u);
  EXPECT_EQ(f->displayDecimals, 0);

  CodeWriter neg;  // -5: the sign takes a digit
  neg.Number(5), neg.Op(OP_NEG), neg.End();
  Infer(neg, f);
  EXPECT_EQ(f->displayWidth, 2u);

  CodeWriter wide;  // 18 digits and 4 decimals keep 2 decimals
  wide.Number(123456789012345678.0, 0), wide.Number(0.1234, 5), wide.Op(OP_ADD), wide.End();
  Infer(wide, f);
  EXPECT_EQ(f->displayDecimals, 2);
  EXPECT_EQ(f->displayWidth, 19u);
}

TEST_F(TypeEvalTest, FormatStylesCombine) {
  FieldDef* a = AddValueField("A", kFieldNumeric);
  FieldDef* b = AddValueField("B", kFieldNumeric);
  a->formatCode = 0x3006, a->displayWidth = 6, a->displayDecimals = 2;
  b->formatCode = 0x3007, b->displayWidth = 4;
  FieldDef* f = Calc();
  struct Case {
    uint8_t op;
    uint32_t expect;
  } cases[] = {{OP_ADD, 0x3006}, {OP_DIV, 0x3006}, {OP_MUL, 0x3006}};
  for (const Case& c : cases) {
    CodeWriter w;
    w.Field(0), w.Field(1), w.Op(c.op), w.End();
    Infer(w, f);
    EXPECT_EQ(f->formatCode, c.expect) << int(c.op);
  }
  b->formatCode = 0x3006;
  CodeWriter div;  // two 6-styles divided give style 7
  div.Field(0), div.Field(1), div.Op(OP_DIV), div.End();
  Infer(div, f);
  EXPECT_EQ(f->formatCode, 0x3007u);
}

TEST_F(TypeEvalTest, StringsDatesAndLimits) {
  FieldDef* s10 = AddValueField("S10", 0, 10);
  FieldDef* s20 = AddValueField("S20", 0, 20);
  s10->displayWidth = 10, s20->displayWidth = 20;
  s10->formatCode = s20->formatCode = 0x11;
  FieldDef* f = Calc(0);
  CodeWriter cat;
  cat.Field(0), cat.Field(1), cat.Op(OP_CONCAT), cat.End();
  ASSERT_EQ(Infer(cat, f), 0);
  EXPECT_EQ(f->displayWidth, 30u);
  EXPECT_EQ(DeclaredLength(f), 30u);

  // A calculated text field brings its stored length.
  FieldDef* calcText = Calc(kFieldItem);
  SetDeclaredLength(calcText, 12);
  calcText->displayWidth = 12;
  CodeWriter withCalc;
  withCalc.Field(0), withCalc.Field(model.GetFieldIndex(calcText)), withCalc.Op(OP_CONCAT), withCalc.End();
  Infer(withCalc, f);
  EXPECT_EQ(DeclaredLength(f), 22u);

  CodeWriter longLit;  // widths above 254 are stored as 254
  longLit.String(std::string(300, 'a')), longLit.End();
  Infer(longLit, f);
  EXPECT_EQ(f->displayWidth, 254u);
  EXPECT_EQ(DeclaredLength(f), 300u);

  FieldDef* d = Calc(kFieldDate);
  CodeWriter date;
  date.Date(100), date.Number(5), date.Op(OP_DATE_ADD), date.End();
  Infer(date, d);
  EXPECT_EQ(d->formatCode, 0xA100u);
  EXPECT_EQ(d->displayWidth, 8u);

  CodeWriter diff;
  diff.Date(100), diff.Date(5), diff.Op(OP_DATE_DIFF), diff.End();
  Infer(diff, f);
  EXPECT_EQ(f->displayWidth, 3u);

  FieldDef* l = Calc(kFieldLogical);
  model.logicalWidth = 5;
  CodeWriter cmp;
  cmp.Number(1), cmp.Number(2), cmp.Op(OP_LT), cmp.End();
  Infer(cmp, l);
  EXPECT_EQ(l->formatCode, 0x11u);
  EXPECT_EQ(l->displayWidth, 5u);
}

TEST_F(TypeEvalTest, LogicalWidthIsTheDocumentsOnceTheModelHasOne) {
  // The document's true and false texts decide, not the model's own default.
  KmDocBase doc;
  doc.m_settings.logicalWidth = 3;  // "Yes" and "No"
  model.owner = &doc;
  FieldDef* l = Calc(kFieldLogical);
  CodeWriter cmp;
  cmp.Number(1), cmp.Number(2), cmp.Op(OP_LT), cmp.End();
  Infer(cmp, l);
  EXPECT_EQ(l->displayWidth, 3u);
  // A type failure falls back to the same width.
  CodeWriter bad;
  bad.Op(38), bad.End();
  l->displayWidth = 77;
  EXPECT_EQ(Infer(bad, l), 0);
  EXPECT_EQ(l->displayWidth, 3u);
  model.owner = nullptr;
}

TEST_F(TypeEvalTest, FallbacksAreNotErrors) {
  FieldDef* f = Calc(kFieldDateTime);
  f->displayWidth = 77;
  CodeWriter missing;  // a built-in slot that does not exist
  missing.Number(1), missing.Call(80, 1), missing.End();
  EXPECT_EQ(Infer(missing, f), 0);
  EXPECT_EQ(f->formatCode, 0xA100u);
  EXPECT_EQ(f->timeFormat, 0x8030u);
  EXPECT_EQ(f->displayWidth, 24u);

  FieldDef* t = Calc(0);
  CodeWriter bad;
  bad.Op(38), bad.End();
  EXPECT_EQ(Infer(bad, t), 0);
  EXPECT_EQ(t->displayWidth, 254u);

  // Values set elsewhere are left alone.
  FieldDef* elsewhere = Calc();
  elsewhere->flags2 |= kField2ValueSetElsewhere;
  elsewhere->displayWidth = 9;
  EXPECT_EQ(Infer(missing, elsewhere), 0);
  EXPECT_EQ(elsewhere->displayWidth, 9u);

  // Overflowing the type stack falls back too.
  FieldDef* n = Calc();
  CodeWriter deep;
  for (int i = 0; i < 1000; ++i) deep.Number(i);
  for (int i = 0; i < 999; ++i) deep.Op(OP_ADD);
  deep.End();
  EXPECT_EQ(Infer(deep, n), 0);
  EXPECT_EQ(n->displayWidth, 1u);
}

TEST_F(TypeEvalTest, DefaultHandlerAndIifArms) {
  FieldDef* f = Calc();
  CodeWriter log;  // LOG(2.5) is described like its argument
  log.Number(2.5, 2), log.Call(4, 1), log.End();
  ASSERT_EQ(Infer(log, f), 0);
  EXPECT_EQ(f->displayDecimals, 1);
  EXPECT_EQ(f->displayWidth, 2u);

  // Both arms of an IIF are described; the handler picks.
  auto pickWider = [](CKmComposite* m) {
    ValueCell b = PopTypeCell(m), a = PopTypeCell(m);
    PopTypeCell(m);
    PushTypeCell(m, a.width > b.width ? a : b);
    return 0;
  };
  HandlerGuard g(kSlotIif, nullptr, pickWider);
  CodeWriter iif;
  iif.Op(OP_TRUE);
  size_t j = iif.Jump(OP_JUMP_FALSE);
  iif.Number(12345);
  size_t k = iif.Jump(OP_JUMP);
  iif.PatchJump(j, iif.size());
  iif.Number(1);
  iif.PatchJump(k, iif.size());
  iif.Call(kSlotIif, 3), iif.End();
  Infer(iif, f);
  EXPECT_EQ(f->displayWidth, 5u);
}

namespace {
std::vector<uint8_t>* g_body = nullptr;
bool FindSelf(CKmComposite*, uint32_t id, UdfCallTarget* out) {
  if (id != 9) return false;
  out->code = g_body->data();
  out->resultType = 1;
  return true;
}
}  // namespace

TEST_F(TypeEvalTest, UserFunctionsAreFollowedAndBounded) {
  CodeWriter body;  // F(x) = x * 10 + F(x): endless, the walk stops by itself
  body.Param(0), body.Number(10), body.Op(OP_MUL), body.Param(0), body.UdfCall(9, 1), body.Op(OP_ADD), body.End();
  std::vector<uint8_t> code = body.Take();
  g_body = &code;
  model.findUdf = FindSelf;
  FieldDef* f = Calc();
  CodeWriter call;
  call.Number(5), call.UdfCall(9, 1), call.End();
  EXPECT_EQ(Infer(call, f), 0);
  EXPECT_GE(f->displayWidth, 1u);
  EXPECT_LE(f->displayWidth, 254u);
  g_body = nullptr;
}
